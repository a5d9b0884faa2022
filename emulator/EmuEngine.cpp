#include "emulator/EmuEngine.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <unistd.h>

namespace vemu {

std::string ColumnText(sqlite3_stmt* st, int column) {
    const unsigned char* t = sqlite3_column_text(st, column);
    if (!t) return std::string();
    return std::string(reinterpret_cast<const char*>(t),
                       static_cast<size_t>(sqlite3_column_bytes(st, column)));
}

// ---------------------------------------------------------------- types

ColumnType ParseDeclType(const std::string& declIn) {
    ColumnType t;
    std::string d = UpperAscii(declIn);
    auto num = [&](size_t from, int& a, int& b, bool& two) {
        a = b = 0;
        two = false;
        size_t p = d.find('(', from);
        if (p == std::string::npos) return false;
        a = std::atoi(d.c_str() + p + 1);
        if (d.compare(p + 1, 1, "*") == 0) a = 0;
        size_t c = d.find(',', p);
        if (c != std::string::npos) {
            b = std::atoi(d.c_str() + c + 1);
            two = true;
        }
        return true;
    };
    int a, b;
    bool two;
    // The current protocol's own types; the classic protocol sees the nearest classic type.
    auto digitsAfter = [&](const char* word, int otherwise) {
        size_t w = d.find(word);
        if (w == std::string::npos) return otherwise;
        size_t p = w + std::strlen(word);
        while (p < d.size() && d[p] == ' ')
            ++p;
        return p < d.size() && d[p] == '(' ? std::atoi(d.c_str() + p + 1) : otherwise;
    };
    if (d.rfind("BINARY_DOUBLE", 0) == 0 || d.rfind("BINARY_FLOAT", 0) == 0) {
        t.type = kOraNumber;
        t.size = 22;
        t.precision = 126;
        t.scale = -127;
        t.wire = d[7] == 'D' ? 101 : 100;
        return t;
    }
    if (d.rfind("INTERVAL", 0) == 0) {
        // "INTERVAL YEAR(p) TO MONTH" as declared, "INTERVAL_YM(p)" or "INTERVAL_DS(p,s)" as kept in SQLite
        const bool kept = d.rfind("INTERVAL_", 0) == 0;
        const bool ym = d.find(kept ? "_YM" : "YEAR") != std::string::npos;
        t.type = kOraVarchar2;
        t.size = 30;
        t.wire = ym ? 182 : 183;
        if (kept && num(0, a, b, two)) {
            t.wireLead = std::clamp(a, 0, 9);
            t.wireFraction = ym ? 0 : std::clamp(two ? b : 6, 0, 9);
        } else {
            t.wireLead = std::clamp(digitsAfter(ym ? "YEAR" : "DAY", 2), 0, 9);
            t.wireFraction = ym ? 0 : std::clamp(digitsAfter("SECOND", 6), 0, 9);
        }
        return t;
    }
    if (d.rfind("BOOLEAN", 0) == 0) {
        t.type = kOraNumber;
        t.size = 22;
        t.precision = 1;
        t.scale = 0;
        t.scaleGiven = true;
        t.wire = 252;
        return t;
    }
    if (d.rfind("TIMESTAMP", 0) == 0) {
        t.type = kOraDate;
        t.size = 7;
        // "TIMESTAMP(p) WITH [LOCAL] TIME ZONE" as declared, "TIMESTAMP_TZ(p)" or "TIMESTAMP_LTZ(p)" as kept
        const bool local = d.find("LOCAL") != std::string::npos || d.rfind("TIMESTAMP_LTZ", 0) == 0;
        const bool zone = d.find("ZONE") != std::string::npos || d.rfind("TIMESTAMP_TZ", 0) == 0;
        t.wire = local ? 231 : zone ? 181 : 180;
        t.wireFraction = std::clamp(num(0, a, b, two) ? a : 6, 0, 9);
        return t;
    }
    if (d.rfind("NVARCHAR", 0) == 0 || d.rfind("NCHAR", 0) == 0) t.national = true;
    if (d.rfind("NUMBER", 0) == 0 || d.rfind("NUMERIC", 0) == 0 || d.rfind("DECIMAL", 0) == 0) {
        t.type = kOraNumber;
        t.size = 22;
        if (num(0, a, b, two)) {
            t.precision = a;
            t.scale = b;
            t.scaleGiven = true;
        } else {
            t.scale = -127;
        }
    } else if (d.rfind("INTEGER", 0) == 0 || d.rfind("INT", 0) == 0 || d.rfind("SMALLINT", 0) == 0) {
        t.type = kOraNumber;
        t.size = 22;
        t.precision = 38;
        t.scale = 0;
        t.scaleGiven = true;
    } else if (d.rfind("FLOAT", 0) == 0 || d.rfind("REAL", 0) == 0 || d.rfind("DOUBLE", 0) == 0) {
        t.type = kOraNumber;
        t.size = 22;
        t.precision = 126;
        t.scale = -127;
    } else if (d.rfind("VARCHAR", 0) == 0 || d.rfind("NVARCHAR", 0) == 0) {
        t.type = kOraVarchar2;
        t.size = num(0, a, b, two) ? a : 4000;
    } else if (d.rfind("CHAR", 0) == 0 || d.rfind("NCHAR", 0) == 0) {
        t.type = kOraChar;
        t.size = num(0, a, b, two) ? a : 1;
    } else if (d.rfind("DATE", 0) == 0 || d.rfind("TIMESTAMP", 0) == 0) {
        t.type = kOraDate;
        t.size = 7;
    } else if (d.rfind("LONG RAW", 0) == 0) {
        t.type = kOraLongRaw;
        t.size = 0;
    } else if (d.rfind("LONG", 0) == 0) {
        t.type = kOraLong;
        t.size = 0;
    } else if (d.rfind("RAW", 0) == 0) {
        t.type = kOraRaw;
        t.size = num(0, a, b, two) ? a : 2000;
    } else if (d.rfind("CLOB", 0) == 0 || d.rfind("NCLOB", 0) == 0 || d == "TEXT") {
        t.type = kOraClob;
        t.size = 4000;
    } else if (d.rfind("BLOB", 0) == 0) {
        t.type = kOraBlob;
        t.size = 4000;
    } else if (d.rfind("ROWID", 0) == 0) {
        t.type = kOraRowid;
        t.size = 18;
    } else {
        t.type = kOraVarchar2;
        t.size = 4000;
    }
    if (t.size < 0) t.size = 0;
    return t;
}

std::string DeclTypeText(const ColumnType& t) {
    // SQLite takes a type name of words and one parenthesis at its end.
    const std::string fraction = "(" + std::to_string(t.wireFraction) + ")";
    switch (t.wire) {
    case 100:
        return "BINARY_FLOAT";
    case 101:
        return "BINARY_DOUBLE";
    case 180:
        return "TIMESTAMP" + fraction;
    case 181:
        return "TIMESTAMP_TZ" + fraction;
    case 231:
        return "TIMESTAMP_LTZ" + fraction;
    case 182: // the letters INT give the column integer affinity; its texts are no integers
        return "INTERVAL_YM(" + std::to_string(t.wireLead) + ")";
    case 183:
        return "INTERVAL_DS(" + std::to_string(t.wireLead) + "," + std::to_string(t.wireFraction) + ")";
    case 252:
        return "BOOLEAN";
    default:
        break;
    }
    if (t.national && t.type == kOraChar) return "NCHAR(" + std::to_string(t.size) + ")";
    if (t.national && t.type == kOraVarchar2) return "NVARCHAR2(" + std::to_string(t.size) + ")";
    switch (t.type) {
    case kOraNumber:
        if (!t.scaleGiven || t.scale == -127) return t.precision == 126 ? "FLOAT" : "NUMBER";
        if (t.precision == 0) return "NUMBER(*," + std::to_string(t.scale) + ")";
        return "NUMBER(" + std::to_string(t.precision) + "," + std::to_string(t.scale) + ")";
    case kOraChar:
        return "CHAR(" + std::to_string(t.size) + ")";
    case kOraDate:
        return "DATE";
    case kOraLong:
        return "LONG TEXT"; // the word TEXT keeps SQLite from turning digits into numbers
    case kOraLongRaw:
        return "LONG RAW BLOB";
    case kOraRaw:
        return "RAW BLOB(" + std::to_string(t.size) + ")";
    case kOraClob:
        return "CLOB";
    case kOraBlob:
        return "BLOB";
    default:
        return "VARCHAR2(" + std::to_string(t.size) + ")";
    }
}

double DayNumberFromDateTime(const DateTime& dt) {
    return JulianFromDateTime(dt) - 2415018.5;
}
DateTime DateTimeFromDayNumber(double d) {
    return DateTimeFromJulian(d + 2415018.5);
}

// ---------------------------------------------------------------- statements

EmuStatement::~EmuStatement() {
    if (tracker) tracker->Untrack(this);
    if (st) sqlite3_finalize(st);
}

// ---------------------------------------------------------------- engine

EmuEngine::EmuEngine(EmuDatabase& db, int sid, const std::string& user) : db_(db), sid_(sid), user_(user) {
    conn_ = db_.Connect();
    RegisterFunctions(conn_, this);
}

void EmuEngine::SetInterruptCheck(std::function<bool()> f) {
    interruptCheck_ = std::move(f);
    sqlite3_progress_handler(
        conn_, interruptCheck_ ? 20000 : 0,
        [](void* self) -> int {
            auto* e = static_cast<EmuEngine*>(self);
            return e->interruptCheck_ && e->interruptCheck_() ? 1 : 0;
        },
        this);
}

EmuEngine::~EmuEngine() {
    for (EmuStatement* s : open_)
        s->tracker = nullptr;
    if (writing_) {
        for (EmuStatement* s : open_)
            if (s->st) sqlite3_reset(s->st);
        char* msg = nullptr;
        sqlite3_exec(conn_, "ROLLBACK", nullptr, nullptr, &msg);
        sqlite3_free(msg);
        db_.ReleaseWriter(sid_);
    }
    sqlite3_close_v2(conn_);
}

bool EmuEngine::Exec(const std::string& sql, OraError& err) {
    char* msg = nullptr;
    int rc = sqlite3_exec(conn_, sql.c_str(), nullptr, nullptr, &msg);
    if (rc != SQLITE_OK) {
        err = MapSqliteError(rc, msg ? msg : sqlite3_errmsg(conn_), nullptr);
        sqlite3_free(msg);
        return false;
    }
    return true;
}

bool EmuEngine::ResolveTable(const std::string& schema, const std::string& name, TableRef& out) {
    static const std::set<std::string> dict = {"DBA_TABLES",
                                               "ALL_TABLES",
                                               "USER_TABLES",
                                               "ALL_TAB_COLUMNS",
                                               "DBA_TAB_COLUMNS",
                                               "USER_TAB_COLUMNS",
                                               "DBA_CONSTRAINTS",
                                               "ALL_CONSTRAINTS",
                                               "USER_CONSTRAINTS",
                                               "DBA_CONS_COLUMNS",
                                               "ALL_CONS_COLUMNS",
                                               "USER_CONS_COLUMNS",
                                               "DBA_INDEXES",
                                               "ALL_INDEXES",
                                               "USER_INDEXES",
                                               "DBA_IND_COLUMNS",
                                               "ALL_IND_COLUMNS",
                                               "USER_IND_COLUMNS",
                                               "DBA_TRIGGERS",
                                               "ALL_TRIGGERS",
                                               "USER_TRIGGERS",
                                               "V$SESSION",
                                               "V$PARAMETER",
                                               "XPLAN$DISPLAY",
                                               "NLS_SESSION_PARAMETERS",
                                               "USER_ERRORS",
                                               "ALL_ERRORS",
                                               "DBA_ERRORS",
                                               "DBA_USERS",
                                               "ALL_USERS",
                                               "DBA_OBJECTS",
                                               "ALL_OBJECTS",
                                               "USER_OBJECTS",
                                               "DBA_SEQUENCES",
                                               "ALL_SEQUENCES",
                                               "USER_SEQUENCES",
                                               "DBA_VIEWS",
                                               "ALL_VIEWS",
                                               "USER_VIEWS",
                                               "V$VERSION",
                                               "NLS_DATABASE_PARAMETERS",
                                               "V$NLS_PARAMETERS",
                                               "DICTIONARY",
                                               "DICT",
                                               "TAB",
                                               "CAT",
                                               "PRODUCT_COMPONENT_VERSION"};
    auto exists = [&](const std::string& full, bool& isView) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(conn_,
                               "SELECT type FROM sqlite_master WHERE name = ?1 AND type IN ('table','view')",
                               -1, &st, nullptr) != SQLITE_OK) {
            sqlite3_finalize(st);
            return false;
        }
        sqlite3_bind_text(st, 1, full.c_str(), -1, SQLITE_TRANSIENT);
        bool ok = sqlite3_step(st) == SQLITE_ROW;
        if (ok) isView = ColumnText(st, 0) == "view";
        sqlite3_finalize(st);
        return ok;
    };
    bool isView = false;
    if ((schema.empty() || schema == "SYS" || schema == "PUBLIC") && dict.count(name)) {
        out.owner = "SYS";
        out.name = name;
        out.sqliteName = "SYS." + name;
        out.dictionary = true;
        return true;
    }
    std::string owner = schema.empty() ? user_ : schema;
    if (exists(owner + "." + name, isView)) {
        out = {owner, name, owner + "." + name, false, isView};
        return true;
    }
    if (schema.empty()) { // public synonyms
        for (const char* o : {"SYS", "SYSTEM"})
            if (name == "DUAL" && exists(std::string(o) + "." + name, isView)) {
                out = {o, name, std::string(o) + "." + name, false, isView};
                return true;
            }
    }
    return false;
}

std::vector<ColumnMeta> EmuEngine::TableColumns(const std::string& sqliteName) {
    std::vector<ColumnMeta> cols;
    sqlite3_stmt* st = nullptr;
    std::string schema = "main";
    if (sqliteName.rfind("SYS.", 0) == 0) {
        // dictionary views live in the temp schema
        sqlite3_stmt* chk = nullptr;
        if (sqlite3_prepare_v2(conn_, "SELECT 1 FROM temp.sqlite_master WHERE name = ?1", -1, &chk,
                               nullptr) == SQLITE_OK) {
            sqlite3_bind_text(chk, 1, sqliteName.c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(chk) == SQLITE_ROW) schema = "temp";
        }
        sqlite3_finalize(chk);
    }
    std::string sql = "SELECT name, type, \"notnull\" FROM pragma_table_info(?1, ?2) ORDER BY cid";
    if (sqlite3_prepare_v2(conn_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return cols;
    sqlite3_bind_text(st, 1, sqliteName.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, schema.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW) {
        ColumnMeta c;
        c.name = ColumnText(st, 0);
        const unsigned char* ty = sqlite3_column_text(st, 1);
        c.t = ParseDeclType(ty ? reinterpret_cast<const char*>(ty) : "");
        c.nullable = sqlite3_column_int(st, 2) == 0;
        cols.push_back(c);
    }
    sqlite3_finalize(st);
    return cols;
}

// A failed constraint as Oracle reports it: unique (ORA-00001), not null (ORA-01400), foreign keys
// (ORA-02291/02292), and the checks the emulator adds for lengths, number types and precision.
OraError EmuEngine::ConstraintError(const std::string& msg, const EmuStatement* s) {
    auto constraintFor = [&](const std::string& table, const std::string& columns, const char* types) {
        // the constraint of that table whose columns are the ones named
        sqlite3_stmt* st = nullptr;
        std::string name;
        if (sqlite3_prepare_v2(
                conn_,
                "SELECT c.OWNER || '.' || c.CONSTRAINT_NAME, group_concat(cc.COLUMN_NAME, ',') "
                "FROM \"vemu$constraints\" c JOIN \"vemu$cons_columns\" cc ON cc.OWNER = c.OWNER AND "
                "cc.CONSTRAINT_NAME = c.CONSTRAINT_NAME WHERE c.OWNER || '.' || c.TABLE_NAME = ?1 AND "
                "instr(?2, c.CONSTRAINT_TYPE) > 0 GROUP BY c.OWNER, c.CONSTRAINT_NAME",
                -1, &st, nullptr) != SQLITE_OK) {
            sqlite3_finalize(st);
            return name;
        }
        sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, types, -1, SQLITE_TRANSIENT);
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::string cols = ColumnText(st, 1);
            if (name.empty() || cols == columns) name = ColumnText(st, 0);
            if (cols == columns) break;
        }
        sqlite3_finalize(st);
        return name;
    };
    auto split = [&](const std::string& m, const char* prefix, std::string& table, std::string& cols) {
        size_t p = m.find(prefix);
        if (p == std::string::npos) return false;
        std::string rest = m.substr(p + std::strlen(prefix));
        // "SCOTT.EMP.EMPNO, SCOTT.EMP.ENAME"
        size_t start = 0;
        while (start < rest.size()) {
            size_t comma = rest.find(", ", start);
            std::string item =
                rest.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            size_t dot = item.rfind('.');
            if (dot != std::string::npos) {
                table = item.substr(0, dot);
                cols += (cols.empty() ? "" : ",") + item.substr(dot + 1);
            }
            if (comma == std::string::npos) break;
            start = comma + 2;
        }
        return true;
    };
    std::string table, cols;
    if (split(msg, "UNIQUE constraint failed: ", table, cols)) {
        std::string c = constraintFor(table, cols, "PU");
        return MakeError(1, c.empty() ? table + "." + cols : c);
    }
    if (split(msg, "NOT NULL constraint failed: ", table, cols)) {
        size_t dot = table.find('.');
        std::string owner = table.substr(0, dot),
                    tname = dot == std::string::npos ? table : table.substr(dot + 1);
        return MakeError(1400, "\"" + owner + "\".\"" + tname + "\".\"" + cols + "\"");
    }
    if (msg.find("FOREIGN KEY") != std::string::npos) {
        bool del = s && s->tr.commandType == 7;
        std::string c;
        if (s && !s->tr.dmlTable.empty()) {
            if (!del) {
                c = constraintFor(s->tr.dmlTable, "", "R");
            } else {
                sqlite3_stmt* st = nullptr;
                if (sqlite3_prepare_v2(
                        conn_,
                        "SELECT c.OWNER || '.' || c.CONSTRAINT_NAME FROM \"vemu$constraints\" c JOIN "
                        "\"vemu$constraints\" p ON p.OWNER = c.R_OWNER AND p.CONSTRAINT_NAME = "
                        "c.R_CONSTRAINT_NAME WHERE p.OWNER || '.' || p.TABLE_NAME = ?1",
                        -1, &st, nullptr) == SQLITE_OK) {
                    sqlite3_bind_text(st, 1, s->tr.dmlTable.c_str(), -1, SQLITE_TRANSIENT);
                }
                if (st && sqlite3_step(st) == SQLITE_ROW) c = ColumnText(st, 0);
                sqlite3_finalize(st);
            }
        }
        if (s && s->tr.commandType == 6 && !c.empty()) del = false;
        return MakeError(del ? 2292 : 2291, c);
    }
    size_t p = msg.find("CHECK constraint failed: ");
    if (p != std::string::npos) {
        std::string name = msg.substr(p + 25);
        auto column = [&](size_t prefix) {
            std::string col = name.substr(prefix);
            std::string table = s ? s->tr.dmlTable : std::string();
            size_t dot = table.find('.');
            if (dot == std::string::npos) return "\"" + col + "\"";
            return "\"" + table.substr(0, dot) + "\".\"" + table.substr(dot + 1) + "\".\"" + col + "\"";
        };
        if (name.rfind("VEMU$LEN$", 0) == 0) return MakeError(12899, column(9));
        if (name.rfind("VEMU$NUMTYPE$", 0) == 0) return MakeError(1722);
        if (name.rfind("VEMU$PREC$", 0) == 0) return MakeError(1438);
        std::string owner =
            s && !s->tr.dmlTable.empty() ? s->tr.dmlTable.substr(0, s->tr.dmlTable.find('.')) : user_;
        return MakeError(2290, owner + "." + name);
    }
    return MakeError(1, msg);
}

OraError EmuEngine::MapSqliteError(int rc, const std::string& msg, const EmuStatement* s) {
    int prc = rc & 0xFF;
    auto posOf = [&](const std::string& word) -> int {
        if (!s) return 0;
        std::string up = UpperAscii(s->text), w = UpperAscii(word);
        size_t p = up.find(w);
        return p == std::string::npos ? 0 : static_cast<int>(p);
    };
    if (prc == SQLITE_BUSY || prc == SQLITE_LOCKED) return MakeError(54);
    if (prc == SQLITE_INTERRUPT) return MakeError(1013);
    if (prc == SQLITE_CONSTRAINT) return ConstraintError(msg, s);
    if (msg.rfind("no such column: ", 0) == 0) {
        std::string col = msg.substr(16);
        size_t dot = col.rfind('.');
        std::string shown = col;
        if (dot != std::string::npos)
            shown = "\"" + col.substr(0, dot) + "\".\"" + col.substr(dot + 1) + "\"";
        else
            shown = "\"" + col + "\"";
        return MakeError(904, shown, posOf(dot == std::string::npos ? col : col.substr(dot + 1)));
    }
    if (msg.rfind("no such table", 0) == 0) return MakeError(942);
    if (msg.rfind("no such function: ", 0) == 0) {
        std::string f = msg.substr(18);
        return MakeError(904, "\"" + UpperAscii(f) + "\"", posOf(f));
    }
    if (msg.find("already exists") != std::string::npos) return MakeError(955);
    if (msg.rfind("ORA-", 0) == 0) {
        OraError e;
        e.code = std::atoi(msg.c_str() + 4);
        e.text = msg;
        return e;
    }
    if (msg.find("syntax error") != std::string::npos) {
        size_t q1 = msg.find('"'), q2 = msg.rfind('"');
        int pos = 0;
        if (q1 != std::string::npos && q2 > q1) pos = posOf(msg.substr(q1 + 1, q2 - q1 - 1));
        return MakeError(933, "", pos);
    }
    if (msg.find("incomplete input") != std::string::npos) return MakeError(936);
    if (msg.find("ambiguous column name") != std::string::npos) return MakeError(918);
    if (msg.find("misuse of aggregate") != std::string::npos || msg.find("GROUP BY") != std::string::npos)
        return MakeError(979);
    // "table T has 3 columns but 4 values were supplied", "4 values for 3 columns"
    if (msg.find("columns but") != std::string::npos || msg.find("values for") != std::string::npos) {
        auto numberAfter = [&msg](const char* word) {
            size_t at = msg.rfind(word);
            return at == std::string::npos ? -1LL : std::atoll(msg.c_str() + at + std::strlen(word));
        };
        bool columnsFirst = msg.find("columns but") != std::string::npos;
        long long columns = numberAfter(columnsFirst ? " has " : " values for ");
        long long values = columnsFirst ? numberAfter(" but ") : std::atoll(msg.c_str());
        return MakeError(values > columns ? 913 : 947);
    }
    return MakeError(600, msg);
}

std::unique_ptr<EmuStatement> EmuEngine::Parse(const std::string& text, OraError& err) {
    auto s = std::make_unique<EmuStatement>();
    s->text = text;
    bool ok;
    size_t epos;
    s->toks = Tokenize(text, ok, epos);
    if (!ok) {
        err = MakeError(text[epos] == '"' ? 1740 : 1756, "", static_cast<int>(epos));
        return nullptr;
    }
    s->tr = TranslateStatement(*this, s->toks, text);
    if (s->tr.error) {
        err = s->tr.error;
        return nullptr;
    }
    if ((s->tr.kind == StmtKind::Query || s->tr.kind == StmtKind::Dml) && !s->tr.sql.empty()) {
        PrepareDictionary(s->tr.dictViews);
        int rc = sqlite3_prepare_v3(conn_, s->tr.sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &s->st, nullptr);
        if (rc != SQLITE_OK) {
            err = MapSqliteError(rc, sqlite3_errmsg(conn_), s.get());
            return nullptr;
        }
        if (s->tr.kind == StmtKind::Query) {
            int n = sqlite3_column_count(s->st);
            for (int c = 0; c < n; ++c) {
                ColumnMeta m;
                const char* nm = sqlite3_column_name(s->st, c);
                m.name = nm ? nm : "";
                const char* decl = sqlite3_column_decltype(s->st, c);
                auto it = s->tr.itemTypes.find(m.name);
                if (decl && !(it != s->tr.itemTypes.end() && it->second.type == kOraRowid)) {
                    m.t = ParseDeclType(decl);
                    const char* tab = sqlite3_column_table_name(s->st, c);
                    const char* org = sqlite3_column_origin_name(s->st, c);
                    const char* dbn = sqlite3_column_database_name(s->st, c);
                    int notnull = 0, pk = 0, ai = 0;
                    const char *dt = nullptr, *coll = nullptr;
                    if (tab && org &&
                        sqlite3_table_column_metadata(conn_, dbn, tab, org, &dt, &coll, &notnull, &pk, &ai) ==
                            SQLITE_OK)
                        m.nullable = !notnull;
                    if (tab && org && dbn && std::strcmp(dbn, "main") == 0) {
                        m.originTable = tab;
                        m.originColumn = org;
                    }
                } else if (it != s->tr.itemTypes.end()) {
                    m.t = it->second;
                } else {
                    m.t.type = 0;
                }
                s->cols.push_back(m);
            }
            if (s->tr.hiddenRowid && !s->cols.empty() && s->cols.back().name == "VEMU$RID") {
                s->rowidColumn = static_cast<int>(s->cols.size()) - 1;
                s->cols.pop_back();
            }
        }
    }
    return s;
}

void EmuEngine::Materialize(EmuStatement* s) {
    if (s->materialized || !s->st || !s->executed) return;
    std::vector<std::vector<Value>> rows;
    int n = sqlite3_column_count(s->st);
    auto grab = [&] {
        std::vector<Value> r(static_cast<size_t>(n));
        for (int c = 0; c < n; ++c)
            r[static_cast<size_t>(c)] = ColumnValue(*s, c);
        rows.push_back(std::move(r));
    };
    if (s->pending) grab();
    if (!s->done) {
        while (sqlite3_step(s->st) == SQLITE_ROW)
            grab();
    }
    sqlite3_reset(s->st);
    s->rows = std::move(rows);
    s->rowIndex = 0;
    s->materialized = true;
    s->pending = false;
    s->done = false;
}

Value EmuEngine::ColumnValue(EmuStatement& s, int c) {
    Value v;
    if (s.materialized) {
        if (s.rowIndex == 0 || s.rowIndex > s.rows.size()) return v;
        const auto& row = s.rows[s.rowIndex - 1];
        return static_cast<size_t>(c) < row.size() ? row[static_cast<size_t>(c)] : v;
    }
    switch (sqlite3_column_type(s.st, c)) {
    case SQLITE_INTEGER:
        v.kind = Value::Int;
        v.i = sqlite3_column_int64(s.st, c);
        break;
    case SQLITE_FLOAT:
        v.kind = Value::Real;
        v.r = sqlite3_column_double(s.st, c);
        break;
    case SQLITE_TEXT:
        v.kind = Value::Text;
        v.s = ColumnText(s.st, c);
        break;
    case SQLITE_BLOB: {
        v.kind = Value::Blob;
        const void* p = sqlite3_column_blob(s.st, c);
        v.s.assign(static_cast<const char*>(p), static_cast<size_t>(sqlite3_column_bytes(s.st, c)));
        break;
    }
    default:
        break;
    }
    return v;
}

static void BindValue(sqlite3_stmt* st, int idx, const Value& v) {
    switch (v.kind) {
    case Value::Null:
        sqlite3_bind_null(st, idx);
        break;
    case Value::Int:
        sqlite3_bind_int64(st, idx, v.i);
        break;
    case Value::Real:
        sqlite3_bind_double(st, idx, v.r);
        break;
    case Value::Text:
        if (v.s.empty())
            sqlite3_bind_null(st, idx); // '' is NULL
        else
            sqlite3_bind_text(st, idx, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
        break;
    case Value::Blob:
        sqlite3_bind_blob(st, idx, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
        break;
    }
}

OraError EmuEngine::EnsureWriting(int timeoutMs) {
    if (writing_) return {};
    if (!db_.AcquireWriter(sid_, timeoutMs)) return MakeError(54);
    OraError err;
    for (int attempt = 0; attempt < 2; ++attempt) {
        char* msg = nullptr;
        int rc = sqlite3_exec(conn_, "BEGIN IMMEDIATE", nullptr, nullptr, &msg);
        sqlite3_free(msg);
        if (rc == SQLITE_OK) {
            writing_ = true;
            static std::atomic<int> txnSeq{1};
            txnId_ = !pendingTxnId_.empty()
                         ? pendingTxnId_
                         : std::to_string(sid_ % 100) + "." + std::to_string(txnSeq++ % 100) + "." +
                               std::to_string(sid_ * 7 + 1000);
            return {};
        }
        // open cursors hold an old snapshot: detach them from SQLite and try again
        for (EmuStatement* s : open_)
            Materialize(s);
    }
    db_.ReleaseWriter(sid_);
    return MakeError(54);
}

OraError EmuEngine::Commit() {
    pendingTxnId_.clear();
    if (!writing_) return {};
    db_.SeqFlush(conn_);
    OraError err;
    if (!Exec("COMMIT", err)) {
        for (EmuStatement* s : open_)
            Materialize(s);
        err = {};
        if (!Exec("COMMIT", err)) return err;
    }
    writing_ = false;
    savepoints_.clear();
    pendingTxnId_.clear();
    db_.ReleaseWriter(sid_);
    return {};
}

OraError EmuEngine::Rollback() {
    pendingTxnId_.clear();
    if (!writing_) return {};
    for (EmuStatement* s : open_)
        Materialize(s);
    OraError err;
    Exec("ROLLBACK", err);
    writing_ = false;
    savepoints_.clear();
    db_.ReleaseWriter(sid_);
    return err;
}

long long EmuEngine::NextVal(const std::string& owner, const std::string& seq, OraError& err) {
    long long v;
    if (!db_.SeqNext(owner, seq, v)) {
        err = MakeError(2289);
        return 0;
    }
    currVals_[owner + "." + seq] = v;
    return v;
}

long long EmuEngine::CurrVal(const std::string& owner, const std::string& seq, OraError& err) {
    auto it = currVals_.find(owner + "." + seq);
    if (it == currVals_.end()) {
        err = db_.SeqExists(owner, seq) ? MakeError(8002, seq) : MakeError(2289);
        return 0;
    }
    return it->second;
}

OraError EmuEngine::Execute(EmuStatement& s, const std::vector<Value>& binds, long long& rows) {
    rows = 0;
    OraError err;
    switch (s.tr.kind) {
    case StmtKind::Commit:
        return Commit();
    case StmtKind::Rollback:
        return Rollback();
    case StmtKind::Savepoint: {
        if (OraError e = EnsureWriting(db_.Options().lockWaitMs)) return e;
        if (!Exec("SAVEPOINT \"" + s.tr.savepoint + "\"", err)) return err;
        savepoints_.insert(s.tr.savepoint);
        return {};
    }
    case StmtKind::RollbackTo: {
        if (!savepoints_.count(s.tr.savepoint)) return MakeError(1086, s.tr.savepoint);
        for (EmuStatement* o : open_)
            Materialize(o);
        if (!Exec("ROLLBACK TO \"" + s.tr.savepoint + "\"", err)) return err;
        return {};
    }
    case StmtKind::AlterSession: {
        const std::string& n = s.tr.alterName;
        std::string v = s.tr.alterValue;
        if (n == "NLS_DATE_FORMAT")
            nlsDateFormat = v;
        else if (n == "NLS_DATE_LANGUAGE")
            nlsDateLanguage = UpperAscii(v);
        else if (n == "NLS_LANGUAGE")
            nlsDateLanguage = UpperAscii(v);
        else if (n == "NLS_TERRITORY")
            nlsTerritory = UpperAscii(v);
        else if (n == "NLS_NUMERIC_CHARACTERS")
            nlsNumericChars = v;
        else if (n == "NLS_TIMESTAMP_FORMAT")
            nlsTimestampFormat = v;
        else if (n == "NLS_TIMESTAMP_TZ_FORMAT")
            nlsTimestampTzFormat = v;
        else if (n == "NLS_SORT")
            nlsSort = UpperAscii(v);
        else if (n == "CURRENT_SCHEMA")
            user_ = UpperAscii(v);
        return {};
    }
    case StmtKind::Ignore:
        return {};
    case StmtKind::Explain:
        return Explain(s);
    case StmtKind::Ddl: {
        if (OraError e = Commit()) return e;
        if (OraError e = EnsureWriting(db_.Options().lockWaitMs)) return e;
        for (const std::string& sql : s.tr.ddl) {
            if (!Exec(sql, err)) {
                Rollback();
                return err;
            }
        }
        if (s.tr.afterDdl) s.tr.afterDdl(*this);
        return Commit();
    }
    case StmtKind::Plsql:
        return MakeError(6550, "line 1, column 1:\nPLS-00103: block must run through the PL/SQL path");
    case StmtKind::Query:
    case StmtKind::Dml:
        break;
    }
    if (s.tr.lockRows || s.tr.kind == StmtKind::Dml) {
        if (OraError e = EnsureWriting(s.tr.noWait ? 0 : db_.Options().lockWaitMs)) return e;
    }
    if (!s.st) return {}; // LOCK TABLE: holding the write lock is the lock
    if (!s.tr.dictViews.empty()) RefreshDictionary(s.tr.dictViews);
    if (OraError e = UseBindCollations(s, binds)) return e;
    sqlite3_reset(s.st);
    sqlite3_clear_bindings(s.st);
    int np = sqlite3_bind_parameter_count(s.st);
    for (int i = 1; i <= np; ++i)
        if (static_cast<size_t>(i) <= binds.size()) BindValue(s.st, i, binds[static_cast<size_t>(i - 1)]);
    if (s.tr.kind == StmtKind::Query) {
        s.executed = true;
        s.done = s.pending = s.materialized = false;
        s.rows.clear();
        s.rowIndex = 0;
        s.rowsFetched = 0;
        static std::atomic<uint64_t> runs{0};
        s.runSerial = ++runs;
        Track(&s);
        int rc = sqlite3_step(s.st);
        if (rc == SQLITE_ROW) {
            s.pending = true;
        } else if (rc == SQLITE_DONE) {
            s.done = true;
        } else {
            s.executed = false;
            Untrack(&s);
            OraError e = MapSqliteError(rc, sqlite3_errmsg(conn_), &s);
            sqlite3_reset(s.st);
            return e;
        }
        // columns whose type could not be told from the text take the type of their first value
        for (size_t c = 0; c < s.cols.size(); ++c) {
            if (s.cols[c].t.type != 0) continue;
            int ty = s.pending ? sqlite3_column_type(s.st, static_cast<int>(c)) : SQLITE_NULL;
            if (ty == SQLITE_INTEGER || ty == SQLITE_FLOAT) {
                s.cols[c].t.type = kOraNumber;
                s.cols[c].t.size = 22;
                s.cols[c].t.scale = -127;
            } else if (ty == SQLITE_BLOB) {
                s.cols[c].t.type = kOraRaw;
                s.cols[c].t.size = 2000;
            } else {
                s.cols[c].t.type = kOraVarchar2;
                s.cols[c].t.size = 4000;
            }
        }
        return {};
    }
    int rc;
    while ((rc = sqlite3_step(s.st)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
        OraError e = MapSqliteError(rc, sqlite3_errmsg(conn_), &s);
        sqlite3_reset(s.st);
        return e;
    }
    rows = sqlite3_changes64(conn_);
    sqlite3_reset(s.st);
    return {};
}

bool EmuEngine::Step(EmuStatement& s, OraError& err) {
    if (!s.executed) {
        err = MakeError(1002);
        return false;
    }
    if (s.materialized) {
        if (s.rowIndex >= s.rows.size()) {
            s.rowIndex = s.rows.size() + 1;
            return false;
        }
        ++s.rowIndex;
        ++s.rowsFetched;
        return true;
    }
    if (s.pending) {
        s.pending = false;
        ++s.rowsFetched;
        return true;
    }
    if (s.done) return false;
    int rc = sqlite3_step(s.st);
    if (rc == SQLITE_ROW) {
        ++s.rowsFetched;
        return true;
    }
    s.done = true;
    if (rc != SQLITE_DONE) err = MapSqliteError(rc, sqlite3_errmsg(conn_), &s);
    sqlite3_reset(s.st);
    return false;
}

void EmuEngine::Close(EmuStatement* s) {
    if (!s) return;
    Untrack(s);
    if (s->st) sqlite3_reset(s->st);
    s->executed = false;
}

std::string EmuEngine::DateText(double dayNumber) {
    return FormatDate(DateTimeFromDayNumber(dayNumber), nlsDateFormat, nlsDateLanguage);
}

std::string EmuEngine::ValueText(const Value& v, bool isDate) {
    switch (v.kind) {
    case Value::Null:
        return {};
    case Value::Int:
        if (isDate) return DateText(static_cast<double>(v.i));
        return std::to_string(v.i);
    case Value::Real:
        if (isDate) return DateText(v.r);
        return DecimalToText(DecimalFromDouble(v.r));
    case Value::Text:
        return v.s;
    case Value::Blob:
        return HexEncode(reinterpret_cast<const uint8_t*>(v.s.data()), v.s.size());
    }
    return {};
}

std::string EmuEngine::MakeLocator(int type, const std::string& table, const std::string& column,
                                   long long rowid) {
    std::string l = "VEMULOB";
    l += static_cast<char>(type == kOraClob ? 'C' : 'B');
    l += table + '\x01' + column + '\x01' + std::to_string(rowid);
    return l;
}

static bool SplitLocator(const std::string& loc, bool& clob, std::string& table, std::string& column,
                         long long& rowid) {
    if (loc.size() < 9 || loc.compare(0, 7, "VEMULOB") != 0) return false;
    clob = loc[7] == 'C';
    size_t a = loc.find('\x01', 8);
    if (a == std::string::npos) return false;
    size_t b = loc.find('\x01', a + 1);
    if (b == std::string::npos) return false;
    table = loc.substr(8, a - 8);
    column = loc.substr(a + 1, b - a - 1);
    rowid = std::atoll(loc.c_str() + b + 1);
    return !table.empty() && !column.empty();
}

std::string EmuEngine::MakeTempLocator(int type, const std::string& content) {
    std::string key =
        "VEMULOBT" + std::string(1, type == kOraClob ? 'C' : 'B') + std::to_string(nextTempLob_++);
    tempLobs_[key] = content;
    while (tempLobs_.size() > 20000)
        tempLobs_.erase(tempLobs_.begin());
    return key;
}

bool EmuEngine::ReadLob(const std::string& locator, std::string& content, bool& isClob, OraError& err) {
    auto invalid = [&] {
        err = MakeError(22275);
        return false;
    };
    if (locator.rfind("VEMULOBT", 0) == 0 && locator.size() > 8) {
        auto it = tempLobs_.find(locator);
        if (it == tempLobs_.end()) return invalid();
        isClob = locator[8] == 'C';
        content = it->second;
        return true;
    }
    std::string table, column;
    long long rowid;
    if (!SplitLocator(locator, isClob, table, column, rowid)) return invalid();
    sqlite3_stmt* st = nullptr;
    std::string sql = "SELECT \"" + column + "\" FROM \"" + table + "\" WHERE rowid = ?1";
    if (sqlite3_prepare_v2(conn_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        err = MapSqliteError(SQLITE_ERROR, sqlite3_errmsg(conn_), nullptr);
        return false;
    }
    sqlite3_bind_int64(st, 1, rowid);
    content.clear();
    if (sqlite3_step(st) == SQLITE_ROW) {
        const void* p = sqlite3_column_blob(st, 0);
        content.assign(static_cast<const char*>(p ? p : ""),
                       static_cast<size_t>(sqlite3_column_bytes(st, 0)));
    }
    sqlite3_finalize(st);
    return true;
}

OraError EmuEngine::StoreLob(const std::string& locator, const std::string& content) {
    if (locator.rfind("VEMULOBT", 0) == 0) {
        auto it = tempLobs_.find(locator);
        if (it == tempLobs_.end()) {
            return MakeError(22275);
        }
        it->second = content;
        return {};
    }
    std::string table, column;
    long long rowid;
    bool clob;
    if (!SplitLocator(locator, clob, table, column, rowid)) {
        return MakeError(22275);
    }
    if (OraError e = EnsureWriting(db_.Options().lockWaitMs)) return e;
    sqlite3_stmt* st = nullptr;
    std::string sql = "UPDATE \"" + table + "\" SET \"" + column + "\" = ?1 WHERE rowid = ?2";
    if (sqlite3_prepare_v2(conn_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
        return MapSqliteError(SQLITE_ERROR, sqlite3_errmsg(conn_), nullptr);
    if (clob)
        sqlite3_bind_text(st, 1, content.data(), static_cast<int>(content.size()), SQLITE_TRANSIENT);
    else
        sqlite3_bind_blob(st, 1, content.data(), static_cast<int>(content.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(st, 2, rowid);
    int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) return MapSqliteError(rc, sqlite3_errmsg(conn_), nullptr);
    return {};
}

OraError EmuEngine::ExecuteReturning(EmuStatement& s, const std::vector<Value>& binds, long long& rows,
                                     std::vector<Value>& returned) {
    rows = 0;
    if (OraError e = EnsureWriting(db_.Options().lockWaitMs)) return e;
    sqlite3_reset(s.st);
    sqlite3_clear_bindings(s.st);
    int np = sqlite3_bind_parameter_count(s.st);
    for (int i = 1; i <= np; ++i)
        if (static_cast<size_t>(i) <= binds.size()) BindValue(s.st, i, binds[static_cast<size_t>(i - 1)]);
    int rc;
    int n = sqlite3_column_count(s.st);
    while ((rc = sqlite3_step(s.st)) == SQLITE_ROW) {
        ++rows;
        returned.assign(static_cast<size_t>(n), Value());
        for (int c = 0; c < n; ++c)
            returned[static_cast<size_t>(c)] = ColumnValue(s, c);
    }
    if (rc != SQLITE_DONE) {
        OraError e = MapSqliteError(rc, sqlite3_errmsg(conn_), &s);
        sqlite3_reset(s.st);
        return e;
    }
    sqlite3_reset(s.st);
    return {};
}

std::string EmuEngine::TransactionIdFor(bool create) {
    if (writing_) return txnId_;
    if (create && pendingTxnId_.empty()) {
        static std::atomic<int> seq{1};
        pendingTxnId_ = std::to_string(sid_ % 100) + "." + std::to_string(seq++ % 100) + "." +
                        std::to_string(sid_ * 7 + 2000);
    }
    return pendingTxnId_;
}

} // namespace vemu
