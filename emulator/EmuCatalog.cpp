// The data dictionary, derived live from the database each time a statement reads it: session-private
// temporary tables named like the Oracle views (SYS.DBA_TABLES, ALL_TAB_COLUMNS, V$SESSION, ...).
#include "emulator/EmuEngine.h"

#include <sqlite3.h>

#include <cstring>
#include <functional>

namespace vemu {

namespace {

using Row = std::vector<Value>;

Value T(const std::string& s) {
    Value v;
    if (!s.empty()) {
        v.kind = Value::Text;
        v.s = s;
    }
    return v;
}
Value N(long long i) {
    Value v;
    v.kind = Value::Int;
    v.i = i;
    return v;
}
Value Nul() {
    return Value();
}
Value D(double d) {
    Value v;
    v.kind = Value::Real;
    v.r = d;
    return v;
}

struct DictDef {
    const char* name;
    const char* columns; // "OWNER VARCHAR2(30), ..."
    std::function<void(EmuEngine&, std::vector<Row>&)> fill;
};

void Query(EmuEngine& e, const char* sql, const std::function<void(sqlite3_stmt*)>& each) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(e.Handle(), sql, -1, &st, nullptr) != SQLITE_OK) return;
    while (sqlite3_step(st) == SQLITE_ROW)
        each(st);
    sqlite3_finalize(st);
}

bool SplitName(const std::string& full, std::string& owner, std::string& name) {
    size_t dot = full.find('.');
    if (dot == std::string::npos || full.rfind("vemu$", 0) == 0 || full.rfind("sqlite_", 0) == 0)
        return false;
    owner = full.substr(0, dot);
    name = full.substr(dot + 1);
    return true;
}

std::string TypeName(const ColumnType& t) {
    switch (t.type) {
    case kOraNumber:
        return t.precision == 126 ? "FLOAT" : "NUMBER";
    case kOraChar:
        return "CHAR";
    case kOraDate:
        return "DATE";
    case kOraLong:
        return "LONG";
    case kOraLongRaw:
        return "LONG RAW";
    case kOraRaw:
        return "RAW";
    case kOraClob:
        return "CLOB";
    case kOraBlob:
        return "BLOB";
    case kOraRowid:
        return "ROWID";
    default:
        return "VARCHAR2";
    }
}

// A column default as Oracle shows it: the emulator's function names back to Oracle's.
std::string OracleDefault(std::string d) {
    if (d.size() >= 2 && d.front() == '(' && d.back() == ')') d = d.substr(1, d.size() - 2);
    const std::pair<const char*, const char*> names[] = {
        {"vemu_sysdate()", "SYSDATE"}, {"vemu_user()", "USER"}, {"vemu_", ""}};
    for (const auto& [from, to] : names)
        for (size_t p = d.find(from); p != std::string::npos; p = d.find(from, p)) {
            d.replace(p, std::strlen(from), to);
            p += std::strlen(to);
        }
    return d;
}

double Created() {
    return 45000.5;
} // a fixed creation date for the demo objects

const std::vector<DictDef>& Defs() {
    static const std::vector<DictDef> defs = {
        {"DBA_TABLES",
         "OWNER VARCHAR2(30), TABLE_NAME VARCHAR2(30), TABLESPACE_NAME VARCHAR2(30), STATUS VARCHAR2(8), "
         "NUM_ROWS NUMBER, TEMPORARY VARCHAR2(1)",
         [](EmuEngine& e, std::vector<Row>& rows) {
             Query(e, "SELECT name FROM main.sqlite_master WHERE type = 'table' ORDER BY name",
                   [&](sqlite3_stmt* st) {
                       std::string o, n;
                       if (SplitName(ColumnText(st, 0), o, n))
                           rows.push_back(
                               {T(o), T(n), T(o == "SYS" ? "SYSTEM" : "USERS"), T("VALID"), Nul(), T("N")});
                   });
         }},
        {"ALL_TAB_COLUMNS",
         "OWNER VARCHAR2(30), TABLE_NAME VARCHAR2(30), COLUMN_NAME VARCHAR2(30), DATA_TYPE VARCHAR2(106), "
         "DATA_LENGTH NUMBER, DATA_PRECISION NUMBER, DATA_SCALE NUMBER, NULLABLE VARCHAR2(1), COLUMN_ID "
         "NUMBER, "
         "DATA_DEFAULT LONG TEXT, CHAR_LENGTH NUMBER",
         [](EmuEngine& e, std::vector<Row>& rows) {
             Query(e,
                   "SELECT m.name, p.name, p.type, p.\"notnull\", p.cid, p.dflt_value FROM "
                   "main.sqlite_master m, "
                   "pragma_table_info(m.name) p WHERE m.type IN ('table','view') ORDER BY m.name, p.cid",
                   [&](sqlite3_stmt* st) {
                       std::string o, n;
                       if (!SplitName(ColumnText(st, 0), o, n)) return;
                       ColumnType t = ParseDeclType(ColumnText(st, 2));
                       Value prec = t.type == kOraNumber && t.scaleGiven && t.precision ? N(t.precision)
                                    : t.type == kOraNumber && t.precision == 126        ? N(126)
                                                                                        : Nul();
                       Value scale = t.type == kOraNumber && t.scaleGiven ? N(t.scale) : Nul();
                       int len = t.type == kOraNumber                       ? 22
                                 : t.type == kOraDate                       ? 7
                                 : t.type == kOraClob || t.type == kOraBlob ? 4000
                                                                            : t.size;
                       bool chars = t.type == kOraVarchar2 || t.type == kOraChar;
                       rows.push_back({T(o), T(n), T(ColumnText(st, 1)), T(TypeName(t)), N(len), prec, scale,
                                       T(sqlite3_column_int(st, 3) ? "N" : "Y"),
                                       N(sqlite3_column_int(st, 4) + 1), T(OracleDefault(ColumnText(st, 5))),
                                       N(chars ? t.size : 0)});
                   });
         }},
        {"DBA_CONSTRAINTS",
         "OWNER VARCHAR2(30), CONSTRAINT_NAME VARCHAR2(30), CONSTRAINT_TYPE VARCHAR2(1), TABLE_NAME "
         "VARCHAR2(30), "
         "SEARCH_CONDITION LONG TEXT, R_OWNER VARCHAR2(30), R_CONSTRAINT_NAME VARCHAR2(30), DELETE_RULE "
         "VARCHAR2(9), "
         "STATUS VARCHAR2(8), DEFERRABLE VARCHAR2(14), DEFERRED VARCHAR2(9), VALIDATED VARCHAR2(13), "
         "GENERATED VARCHAR2(14), INDEX_NAME VARCHAR2(30)",
         [](EmuEngine& e, std::vector<Row>& rows) {
             Query(e,
                   "SELECT OWNER, CONSTRAINT_NAME, CONSTRAINT_TYPE, TABLE_NAME, SEARCH_CONDITION, R_OWNER, "
                   "R_CONSTRAINT_NAME, DELETE_RULE, STATUS, INDEX_NAME FROM \"vemu$constraints\" ORDER BY "
                   "OWNER, "
                   "TABLE_NAME, CONSTRAINT_NAME",
                   [&](sqlite3_stmt* st) {
                       std::string name = ColumnText(st, 1);
                       rows.push_back({T(ColumnText(st, 0)), T(name), T(ColumnText(st, 2)),
                                       T(ColumnText(st, 3)), T(ColumnText(st, 4)), T(ColumnText(st, 5)),
                                       T(ColumnText(st, 6)), T(ColumnText(st, 7)), T(ColumnText(st, 8)),
                                       T("NOT DEFERRABLE"), T("IMMEDIATE"), T("VALIDATED"),
                                       T(name.rfind("SYS_C", 0) == 0 ? "GENERATED NAME" : "USER NAME"),
                                       T(ColumnText(st, 9))});
                   });
         }},
        {"DBA_CONS_COLUMNS",
         "OWNER VARCHAR2(30), CONSTRAINT_NAME VARCHAR2(30), TABLE_NAME VARCHAR2(30), COLUMN_NAME "
         "VARCHAR2(4000), "
         "POSITION NUMBER",
         [](EmuEngine& e, std::vector<Row>& rows) {
             Query(e,
                   "SELECT OWNER, CONSTRAINT_NAME, TABLE_NAME, COLUMN_NAME, POSITION FROM "
                   "\"vemu$cons_columns\" "
                   "ORDER BY OWNER, CONSTRAINT_NAME, POSITION",
                   [&](sqlite3_stmt* st) {
                       rows.push_back({T(ColumnText(st, 0)), T(ColumnText(st, 1)), T(ColumnText(st, 2)),
                                       T(ColumnText(st, 3)),
                                       sqlite3_column_type(st, 4) == SQLITE_NULL
                                           ? Nul()
                                           : N(sqlite3_column_int(st, 4))});
                   });
         }},
        {"DBA_INDEXES",
         "OWNER VARCHAR2(30), INDEX_NAME VARCHAR2(30), INDEX_TYPE VARCHAR2(27), TABLE_OWNER VARCHAR2(30), "
         "TABLE_NAME VARCHAR2(30), TABLE_TYPE VARCHAR2(11), UNIQUENESS VARCHAR2(9), TABLESPACE_NAME "
         "VARCHAR2(30), "
         "STATUS VARCHAR2(8), LAST_ANALYZED DATE, COMPRESSION VARCHAR2(8)",
         [](EmuEngine& e, std::vector<Row>& rows) {
             Query(e,
                   "SELECT m.name, m.tbl_name, l.\"unique\" FROM main.sqlite_master m JOIN "
                   "pragma_index_list(m.tbl_name) l "
                   "ON l.name = m.name WHERE m.type = 'index' ORDER BY m.name",
                   [&](sqlite3_stmt* st) {
                       std::string o, n, to, tn;
                       if (!SplitName(ColumnText(st, 0), o, n) || !SplitName(ColumnText(st, 1), to, tn))
                           return;
                       rows.push_back({T(o), T(n), T("NORMAL"), T(to), T(tn), T("TABLE"),
                                       T(sqlite3_column_int(st, 2) ? "UNIQUE" : "NONUNIQUE"), T("USERS"),
                                       T("VALID"), Nul(), T("DISABLED")});
                   });
         }},
        {"DBA_IND_COLUMNS",
         "INDEX_OWNER VARCHAR2(30), INDEX_NAME VARCHAR2(30), TABLE_OWNER VARCHAR2(30), TABLE_NAME "
         "VARCHAR2(30), "
         "COLUMN_NAME VARCHAR2(4000), COLUMN_POSITION NUMBER, COLUMN_LENGTH NUMBER, DESCEND VARCHAR2(4)",
         [](EmuEngine& e, std::vector<Row>& rows) {
             Query(e,
                   "SELECT m.name, m.tbl_name, i.name, i.seqno, x.desc FROM main.sqlite_master m, "
                   "pragma_index_info(m.name) i, pragma_index_xinfo(m.name) x WHERE m.type = 'index' AND "
                   "x.seqno = "
                   "i.seqno ORDER BY m.name, i.seqno",
                   [&](sqlite3_stmt* st) {
                       std::string o, n, to, tn;
                       if (!SplitName(ColumnText(st, 0), o, n) || !SplitName(ColumnText(st, 1), to, tn))
                           return;
                       rows.push_back({T(o), T(n), T(to), T(tn), T(ColumnText(st, 2)),
                                       N(sqlite3_column_int(st, 3) + 1), N(22),
                                       T(sqlite3_column_int(st, 4) ? "DESC" : "ASC")});
                   });
         }},
        {"DBA_TRIGGERS",
         "OWNER VARCHAR2(30), TRIGGER_NAME VARCHAR2(30), TRIGGER_TYPE VARCHAR2(16), TRIGGERING_EVENT "
         "VARCHAR2(227), "
         "TABLE_OWNER VARCHAR2(30), BASE_OBJECT_TYPE VARCHAR2(16), TABLE_NAME VARCHAR2(30), "
         "COLUMN_NAME VARCHAR2(4000), REFERENCING_NAMES VARCHAR2(128), WHEN_CLAUSE VARCHAR2(4000), STATUS "
         "VARCHAR2(8), "
         "DESCRIPTION VARCHAR2(4000), ACTION_TYPE VARCHAR2(11), TRIGGER_BODY LONG TEXT",
         [](EmuEngine&, std::vector<Row>&) {}},
        {"DBA_ERRORS",
         "OWNER VARCHAR2(30), NAME VARCHAR2(30), TYPE VARCHAR2(12), SEQUENCE NUMBER, LINE NUMBER, POSITION "
         "NUMBER, "
         "TEXT VARCHAR2(4000)",
         [](EmuEngine&, std::vector<Row>&) {}},
        {"DBA_USERS",
         "USERNAME VARCHAR2(30), USER_ID NUMBER, ACCOUNT_STATUS VARCHAR2(32), DEFAULT_TABLESPACE "
         "VARCHAR2(30), "
         "CREATED DATE",
         [](EmuEngine& e, std::vector<Row>& rows) {
             std::set<std::string> users = {"SYS", "SYSTEM", "SCOTT"};
             for (const auto& [n, p] : e.Db().Options().extraUsers)
                 users.insert(UpperAscii(n));
             int id = 0;
             for (const std::string& u : users)
                 rows.push_back({T(u),
                                 N(u == "SYS"      ? 0
                                   : u == "SYSTEM" ? 5
                                                   : 50 + ++id),
                                 T("OPEN"), T(u == "SYS" || u == "SYSTEM" ? "SYSTEM" : "USERS"),
                                 D(Created())});
         }},
        {"DBA_OBJECTS",
         "OWNER VARCHAR2(30), OBJECT_NAME VARCHAR2(128), OBJECT_ID NUMBER, OBJECT_TYPE VARCHAR2(18), CREATED "
         "DATE, "
         "LAST_DDL_TIME DATE, STATUS VARCHAR2(7)",
         [](EmuEngine& e, std::vector<Row>& rows) {
             int id = 1000;
             Query(e,
                   "SELECT name, type FROM main.sqlite_master WHERE type IN ('table','view','index') ORDER "
                   "BY name",
                   [&](sqlite3_stmt* st) {
                       std::string o, n;
                       if (!SplitName(ColumnText(st, 0), o, n)) return;
                       rows.push_back({T(o), T(n), N(++id), T(UpperAscii(ColumnText(st, 1))), D(Created()),
                                       D(Created()), T("VALID")});
                   });
             Query(e, "SELECT OWNER, NAME FROM \"vemu$sequences\" ORDER BY OWNER, NAME",
                   [&](sqlite3_stmt* st) {
                       rows.push_back({T(ColumnText(st, 0)), T(ColumnText(st, 1)), N(++id), T("SEQUENCE"),
                                       D(Created()), D(Created()), T("VALID")});
                   });
         }},
        {"DBA_SEQUENCES",
         "SEQUENCE_OWNER VARCHAR2(30), SEQUENCE_NAME VARCHAR2(30), MIN_VALUE NUMBER, MAX_VALUE NUMBER, "
         "INCREMENT_BY NUMBER, CYCLE_FLAG VARCHAR2(1), LAST_NUMBER NUMBER",
         [](EmuEngine& e, std::vector<Row>& rows) {
             Query(e,
                   "SELECT OWNER, NAME, MIN_VALUE, MAX_VALUE, INCREMENT_BY, CYCLE_FLAG, LAST_NUMBER FROM "
                   "\"vemu$sequences\" ORDER BY OWNER, NAME",
                   [&](sqlite3_stmt* st) {
                       rows.push_back(
                           {T(ColumnText(st, 0)), T(ColumnText(st, 1)), N(sqlite3_column_int64(st, 2)),
                            sqlite3_column_int64(st, 3) ? N(sqlite3_column_int64(st, 3))
                                                        : T("999999999999999999999999999"),
                            N(sqlite3_column_int64(st, 4)), T(sqlite3_column_int(st, 5) ? "Y" : "N"),
                            N(sqlite3_column_int64(st, 6))});
                   });
         }},
        {"DBA_VIEWS", "OWNER VARCHAR2(30), VIEW_NAME VARCHAR2(30), TEXT_LENGTH NUMBER, TEXT LONG TEXT",
         [](EmuEngine& e, std::vector<Row>& rows) {
             Query(e, "SELECT name, sql FROM main.sqlite_master WHERE type = 'view' ORDER BY name",
                   [&](sqlite3_stmt* st) {
                       std::string o, n;
                       if (!SplitName(ColumnText(st, 0), o, n)) return;
                       std::string text = ColumnText(st, 1);
                       rows.push_back({T(o), T(n), N(static_cast<long long>(text.size())), T(text)});
                   });
         }},
        {"V$SESSION",
         "SADDR RAW BLOB(8), SID NUMBER, SERIAL# NUMBER, AUDSID NUMBER, USERNAME VARCHAR2(30), STATUS "
         "VARCHAR2(8), "
         "SCHEMANAME VARCHAR2(30), OSUSER VARCHAR2(30), PROCESS VARCHAR2(12), MACHINE VARCHAR2(64), "
         "TERMINAL VARCHAR2(16), PROGRAM VARCHAR2(64), TYPE VARCHAR2(10), LOGON_TIME DATE, SQL_ADDRESS RAW "
         "BLOB(8), "
         "SQL_HASH_VALUE NUMBER",
         [](EmuEngine& e, std::vector<Row>& rows) {
             for (const SessionInfo& s : e.Db().Sessions()) {
                 Value saddr;
                 saddr.kind = Value::Blob;
                 saddr.s = std::string(8, '\0');
                 saddr.s[7] = static_cast<char>(s.sid);
                 DateTime dt;
                 std::string err;
                 double logon = ParseDate(s.logonTime, "YYYY-MM-DD HH24:MI:SS", "AMERICAN", dt, err)
                                    ? DayNumberFromDateTime(dt)
                                    : DayNumberFromDateTime(NowLocal());
                 rows.push_back({saddr, N(s.sid), N(s.sid * 3 + 1), N(s.sid + 1000), T(s.user),
                                 T(s.sid == e.Sid() ? "ACTIVE" : "INACTIVE"), T(s.user), T(s.osuser),
                                 T(s.process), T(s.machine), T("vestra"), T(s.program), T("USER"), D(logon),
                                 saddr, N(0)});
             }
         }},
        {"V$PARAMETER",
         "NUM NUMBER, NAME VARCHAR2(64), TYPE NUMBER, VALUE VARCHAR2(512), ISDEFAULT VARCHAR2(9), "
         "DESCRIPTION VARCHAR2(64)",
         [](EmuEngine& e, std::vector<Row>& rows) {
             std::string sid = e.Db().Options().sid;
             int p = e.Db().Options().protocol;
             std::string compat = p == 4 ? "7.3.4" : p == 5 ? "8.0.6" : "8.1.7";
             const std::vector<std::vector<std::string>> params = {
                 {"compatible", "2", compat,
                  "database will be completely compatible with this software version"},
                 {"db_block_size", "3", "8192", "Size of database block in bytes"},
                 {"db_name", "2", sid, "database name specified in CREATE DATABASE"},
                 {"instance_name", "2", sid, "instance name supported by the instance"},
                 {"service_names", "2", sid, "service names supported by the instance"},
                 {"nls_language", "2", "AMERICAN", "NLS language name"},
                 {"nls_territory", "2", "AMERICA", "NLS territory name"},
                 {"nls_date_format", "2", "DD-MON-RR", "NLS Oracle date format"},
                 {"open_cursors", "3", "300", "max # cursors per session"},
                 {"processes", "3", "150", "user processes"},
                 {"sessions", "3", "170", "max. number of user and system sessions"},
                 {"shared_pool_size", "6", "33554432", "size in bytes of shared pool"},
                 {"sort_area_size", "3", "65536", "size of in-memory sort work area"},
                 {"optimizer_mode", "2", "CHOOSE", "optimizer mode"},
             };
             int num = 0;
             for (const auto& r : params)
                 rows.push_back(
                     {N(++num * 10), T(r[0]), N(std::atoi(r[1].c_str())), T(r[2]), T("FALSE"), T(r[3])});
         }},
        {"PRODUCT_COMPONENT_VERSION", "PRODUCT VARCHAR2(64), VERSION VARCHAR2(64), STATUS VARCHAR2(64)",
         [](EmuEngine& e, std::vector<Row>& rows) {
             int p = e.Db().Options().protocol;
             std::string v = p == 4 ? "7.3.4.0.0" : p == 5 ? "8.0.6.0.0" : "8.1.7.0.0";
             std::string ed = p == 4   ? "Oracle7 Server "
                              : p == 5 ? "Oracle8 Enterprise Edition "
                                       : "Oracle8i Enterprise Edition ";
             rows.push_back({T("NLSRTL "), T(v), T("Production")});
             rows.push_back({T(ed), T(v), T("Production")});
             rows.push_back({T("PL/SQL "), T(v), T("Production")});
             rows.push_back({T("TNS for Linux: "), T(v), T("Production")});
         }},
        {"V$VERSION", "BANNER VARCHAR2(64)",
         [](EmuEngine& e, std::vector<Row>& rows) {
             int p = e.Db().Options().protocol;
             std::string v = p == 4 ? "7.3.4.0.0" : p == 5 ? "8.0.6.0.0" : "8.1.7.0.0";
             std::string ed = p == 4   ? "Oracle7 Server Release "
                              : p == 5 ? "Oracle8 Enterprise Edition Release "
                                       : "Oracle8i Enterprise Edition Release ";
             rows.push_back({T(ed + v + " - Production")});
             rows.push_back({T("PL/SQL Release " + v + " - Production")});
             rows.push_back({T("TNS for Linux: Version " + v + " - Production")});
         }},
        {"NLS_SESSION_PARAMETERS", "PARAMETER VARCHAR2(30), VALUE VARCHAR2(64)",
         [](EmuEngine& e, std::vector<Row>& rows) {
             const std::vector<std::pair<std::string, std::string>> p = {
                 {"NLS_LANGUAGE", e.nlsDateLanguage},
                 {"NLS_TERRITORY", e.nlsTerritory},
                 {"NLS_CURRENCY", "$"},
                 {"NLS_ISO_CURRENCY", e.nlsTerritory},
                 {"NLS_NUMERIC_CHARACTERS", e.nlsNumericChars},
                 {"NLS_CALENDAR", "GREGORIAN"},
                 {"NLS_DATE_FORMAT", e.nlsDateFormat},
                 {"NLS_DATE_LANGUAGE", e.nlsDateLanguage},
                 {"NLS_SORT", e.nlsSort},
                 {"NLS_TIME_FORMAT", "HH.MI.SSXFF AM"},
                 {"NLS_TIMESTAMP_FORMAT", e.nlsTimestampFormat},
                 {"NLS_TIME_TZ_FORMAT", "HH.MI.SSXFF AM TZR"},
                 {"NLS_TIMESTAMP_TZ_FORMAT", e.nlsTimestampTzFormat},
                 {"NLS_DUAL_CURRENCY", "$"},
                 {"NLS_COMP", "BINARY"}};
             for (const auto& [k, v] : p)
                 rows.push_back({T(k), T(v)});
         }},
        {"NLS_DATABASE_PARAMETERS", "PARAMETER VARCHAR2(30), VALUE VARCHAR2(64)",
         [](EmuEngine&, std::vector<Row>& rows) {
             const std::vector<std::pair<std::string, std::string>> p = {
                 {"NLS_LANGUAGE", "AMERICAN"},         {"NLS_TERRITORY", "AMERICA"},
                 {"NLS_CHARACTERSET", "WE8MSWIN1252"}, {"NLS_NCHAR_CHARACTERSET", "WE8MSWIN1252"},
                 {"NLS_DATE_FORMAT", "DD-MON-RR"},     {"NLS_DATE_LANGUAGE", "AMERICAN"},
                 {"NLS_NUMERIC_CHARACTERS", ".,"}};
             for (const auto& [k, v] : p)
                 rows.push_back({T(k), T(v)});
         }},
        {"XPLAN$DISPLAY", "PLAN_TABLE_OUTPUT VARCHAR2(300)",
         [](EmuEngine& e, std::vector<Row>& rows) {
             for (const std::string& line : e.explainedPlan)
                 rows.push_back({T(line)});
         }},
        {"DICTIONARY", "TABLE_NAME VARCHAR2(30), COMMENTS VARCHAR2(4000)",
         [](EmuEngine&, std::vector<Row>& rows) {
             for (const char* n : {"DBA_TABLES", "ALL_TAB_COLUMNS", "DBA_CONSTRAINTS", "DBA_CONS_COLUMNS",
                                   "DBA_INDEXES", "DBA_TRIGGERS", "V$SESSION", "V$PARAMETER",
                                   "PRODUCT_COMPONENT_VERSION", "NLS_SESSION_PARAMETERS", "USER_ERRORS"})
                 rows.push_back({T(n), T("Data dictionary view")});
         }},
        {"TAB", "TNAME VARCHAR2(30), TABTYPE VARCHAR2(7), CLUSTERID NUMBER",
         [](EmuEngine& e, std::vector<Row>& rows) {
             Query(e,
                   "SELECT name, type FROM main.sqlite_master WHERE type IN ('table','view') ORDER BY name",
                   [&](sqlite3_stmt* st) {
                       std::string o, n;
                       if (SplitName(ColumnText(st, 0), o, n) && o == e.User())
                           rows.push_back({T(n), T(UpperAscii(ColumnText(st, 1))), Nul()});
                   });
         }},
    };
    return defs;
}

// Which definition serves a view name, and whether it is the USER_ form.
const DictDef* DefFor(const std::string& view, bool& userForm) {
    userForm = view.rfind("USER_", 0) == 0;
    std::string base = view;
    if (base == "ALL_TABLES" || base == "USER_TABLES")
        base = "DBA_TABLES";
    else if (base == "DBA_TAB_COLUMNS" || base == "USER_TAB_COLUMNS")
        base = "ALL_TAB_COLUMNS";
    else if (base.rfind("ALL_", 0) == 0 || base.rfind("USER_", 0) == 0)
        base = "DBA_" + base.substr(base.find('_') + 1);
    if (base == "DBA_TAB_COLUMNS") base = "ALL_TAB_COLUMNS";
    if (base == "DICT") base = "DICTIONARY";
    if (base == "CAT") base = "TAB";
    if (base == "V$NLS_PARAMETERS") base = "NLS_SESSION_PARAMETERS";
    for (const DictDef& d : Defs())
        if (base == d.name) return &d;
    return nullptr;
}

} // namespace

void EmuEngine::PrepareDictionary(const std::set<std::string>& views) {
    for (const std::string& v : views) {
        bool user;
        const DictDef* d = DefFor(v, user);
        if (!d) continue;
        std::string cols = d->columns;
        if (user && cols.rfind("OWNER ", 0) == 0) cols = cols.substr(cols.find(',') + 2);
        // quote the column names (SERIAL#, TYPE ...)
        std::string def;
        size_t p = 0;
        while (p < cols.size()) {
            size_t comma = cols.find(", ", p);
            std::string item = cols.substr(p, comma == std::string::npos ? std::string::npos : comma - p);
            // a comma inside NUMBER(10,2)-like types does not occur in these definitions
            size_t sp = item.find(' ');
            def += (def.empty() ? "" : ", ") + QuoteIdent(item.substr(0, sp)) + item.substr(sp);
            if (comma == std::string::npos) break;
            p = comma + 2;
        }
        char* msg = nullptr;
        sqlite3_exec(conn_,
                     ("CREATE TEMP TABLE IF NOT EXISTS " + QuoteIdent("SYS." + v) + " (" + def + ")").c_str(),
                     nullptr, nullptr, &msg);
        sqlite3_free(msg);
    }
}

void EmuEngine::RefreshDictionary(const std::set<std::string>& views) {
    for (const std::string& v : views) {
        bool user;
        const DictDef* d = DefFor(v, user);
        if (!d) continue;
        std::vector<Row> rows;
        d->fill(*this, rows);
        std::string table = QuoteIdent("SYS." + v);
        char* msg = nullptr;
        sqlite3_exec(conn_, ("DELETE FROM temp." + table).c_str(), nullptr, nullptr, &msg);
        sqlite3_free(msg);
        bool dropOwner = user && std::string(d->columns).rfind("OWNER ", 0) == 0;
        bool userFilter = user;
        if (rows.empty()) continue;
        size_t ncols = rows[0].size() - (dropOwner ? 1 : 0);
        std::string sql = "INSERT INTO temp." + table + " VALUES (";
        for (size_t k = 0; k < ncols; ++k)
            sql += (k ? ",?" : "?");
        sql += ")";
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(conn_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) continue;
        for (const Row& r : rows) {
            if (userFilter && dropOwner && !(r[0].kind == Value::Text && r[0].s == user_)) continue;
            if (userFilter && !dropOwner && v == "USER_USERS") continue;
            for (size_t k = 0; k < ncols; ++k) {
                const Value& val = r[k + (dropOwner ? 1 : 0)];
                int idx = static_cast<int>(k + 1);
                switch (val.kind) {
                case Value::Null:
                    sqlite3_bind_null(st, idx);
                    break;
                case Value::Int:
                    sqlite3_bind_int64(st, idx, val.i);
                    break;
                case Value::Real:
                    sqlite3_bind_double(st, idx, val.r);
                    break;
                case Value::Text:
                    sqlite3_bind_text(st, idx, val.s.c_str(), -1, SQLITE_TRANSIENT);
                    break;
                case Value::Blob:
                    sqlite3_bind_blob(st, idx, val.s.data(), static_cast<int>(val.s.size()),
                                      SQLITE_TRANSIENT);
                    break;
                }
            }
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
    }
}

} // namespace vemu
