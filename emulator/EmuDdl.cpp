// DDL: CREATE/DROP TABLE, INDEX, SEQUENCE, VIEW, TRUNCATE, simple ALTER TABLE; keys and constraints are kept
// in the emulator's own catalog tables so that the dictionary views can show them under their Oracle names.
#include "emulator/EmuEngine.h"

#include <sqlite3.h>

#include <atomic>

namespace vemu {

namespace {

bool IsName(const Tok& t) {
    return t.kind == TokKind::Ident || t.kind == TokKind::QuotedIdent;
}

std::atomic<int> g_sysConstraint{10000};
std::string SysName() {
    return "SYS_C00" + std::to_string(++g_sysConstraint);
}

struct ConsDef {
    std::string name;
    char type = 'C'; // P U R C
    std::vector<std::string> cols;
    std::string refTable; // "OWNER.T"
    std::vector<std::string> refCols;
    std::string condition;
    std::string deleteRule = "NO ACTION";
};

class DdlParser {
public:
    DdlParser(EmuEngine& e, const std::vector<Tok>& t, const std::string& text, Translation& tr)
        : e_(e), t_(t), text_(text), tr_(tr) {}

    void Run() {
        tr_.kind = StmtKind::Ddl;
        const Tok& w = t_[0];
        if (w.Is("CREATE")) {
            i_ = 1;
            bool orReplace = false, unique = false;
            if (t_[i_].Is("OR") && t_[i_ + 1].Is("REPLACE")) {
                orReplace = true;
                i_ += 2;
            }
            if (t_[i_].Is("GLOBAL") && t_[i_ + 1].Is("TEMPORARY")) i_ += 2;
            if (t_[i_].Is("UNIQUE") || t_[i_].Is("BITMAP")) {
                unique = t_[i_].Is("UNIQUE");
                ++i_;
            }
            if (t_[i_].Is("FORCE") || t_[i_].Is("NOFORCE")) ++i_;
            if (t_[i_].Is("TABLE")) return CreateTable();
            if (t_[i_].Is("INDEX")) return CreateIndex(unique);
            if (t_[i_].Is("SEQUENCE")) return CreateSequence();
            if (t_[i_].Is("VIEW")) return CreateView(orReplace);
            if (t_[i_].Is("USER") || t_[i_].Is("ROLE") || t_[i_].Is("SYNONYM") || t_[i_].Is("PUBLIC")) {
                tr_.kind = StmtKind::Ignore;
                return;
            }
            if (t_[i_].Is("PROCEDURE") || t_[i_].Is("FUNCTION") || t_[i_].Is("PACKAGE") ||
                t_[i_].Is("TRIGGER") || t_[i_].Is("TYPE")) {
                tr_.error =
                    MakeError(6550, "line 1, column 1:\nPLS-00000: stored program units are not supported "
                                    "by vestra-emu");
                return;
            }
            return Fail(901, i_);
        }
        if (w.Is("DROP")) return Drop();
        if (w.Is("TRUNCATE")) {
            i_ = 1;
            if (t_[i_].Is("TABLE")) ++i_;
            TableRef r;
            if (!Table(r)) return;
            tr_.ddl.push_back("DELETE FROM " + QuoteIdent(r.sqliteName));
            tr_.commandType = 85;
            return;
        }
        if (w.Is("ALTER")) return Alter();
        // COMMENT, GRANT, REVOKE, ANALYZE, RENAME: accepted, nothing to keep
        tr_.kind = StmtKind::Ignore;
        tr_.commandType = w.Is("GRANT") ? 17 : w.Is("REVOKE") ? 18 : 0;
    }

private:
    void Fail(int code, size_t tok) {
        if (!tr_.error)
            tr_.error = MakeError(code, "", static_cast<int>(t_[std::min(tok, t_.size() - 1)].pos));
    }
    // [schema.]name
    bool Name(std::string& owner, std::string& name) {
        if (!IsName(t_[i_])) return false;
        owner = e_.User();
        name = t_[i_].text;
        ++i_;
        if (t_[i_].IsOp(".") && IsName(t_[i_ + 1])) {
            owner = name;
            name = t_[i_ + 1].text;
            i_ += 2;
        }
        return true;
    }
    bool Table(TableRef& r) {
        size_t at = i_;
        std::string owner, name;
        if (!Name(owner, name)) {
            Fail(903, at);
            return false;
        }
        if (!e_.ResolveTable(owner == e_.User() && !(at + 1 < t_.size() && t_[at + 1].IsOp(".")) ? "" : owner,
                             name, r) ||
            r.dictionary) {
            Fail(942, at);
            return false;
        }
        return true;
    }
    bool Exists(const std::string& full, const char* type) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(e_.Handle(),
                               "SELECT 1 FROM sqlite_master WHERE name = ?1 AND (?2 = '' OR type = ?2)", -1,
                               &st, nullptr) != SQLITE_OK) {
            sqlite3_finalize(st);
            return false;
        }
        sqlite3_bind_text(st, 1, full.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, type, -1, SQLITE_TRANSIENT);
        bool ok = sqlite3_step(st) == SQLITE_ROW;
        sqlite3_finalize(st);
        return ok;
    }
    std::vector<std::string> ColList() { // ( a, b )
        std::vector<std::string> cols;
        if (!t_[i_].IsOp("(")) {
            Fail(906, i_);
            return cols;
        }
        ++i_;
        while (IsName(t_[i_])) {
            cols.push_back(t_[i_].text);
            ++i_;
            if (t_[i_].Is("ASC") || t_[i_].Is("DESC")) ++i_;
            if (t_[i_].IsOp(",")) ++i_;
        }
        if (!t_[i_].IsOp(")"))
            Fail(907, i_);
        else
            ++i_;
        return cols;
    }
    size_t ParenEnd(size_t open) {
        int d = 0;
        for (size_t k = open; k < t_.size(); ++k) {
            if (t_[k].IsOp("("))
                ++d;
            else if (t_[k].IsOp(")") && --d == 0)
                return k;
        }
        return t_.size() - 1;
    }
    std::string Expr(size_t from, size_t to) {
        OraError err;
        std::map<std::string, int> none;
        std::string s = TranslateFragment(e_, t_, from, to, none, err);
        if (err && !tr_.error) tr_.error = err;
        return s;
    }
    bool ParseType(ColumnType& ct) {
        if (t_[i_].kind != TokKind::Ident) return false;
        std::string tn = t_[i_].text;
        ++i_;
        if (tn == "LONG" && t_[i_].Is("RAW")) {
            tn = "LONG RAW";
            ++i_;
        }
        if ((tn == "DOUBLE" && t_[i_].Is("PRECISION"))) ++i_;
        static const std::set<std::string> known = {
            "VARCHAR2", "VARCHAR",   "NVARCHAR2",     "CHAR",         "NCHAR",    "NUMBER", "NUMERIC",
            "DECIMAL",  "INTEGER",   "INT",           "SMALLINT",     "FLOAT",    "REAL",   "DOUBLE",
            "DATE",     "TIMESTAMP", "RAW",           "LONG",         "LONG RAW", "CLOB",   "NCLOB",
            "BLOB",     "ROWID",     "BINARY_DOUBLE", "BINARY_FLOAT", "INTERVAL", "BOOLEAN"};
        if (!known.count(tn)) return false;
        std::string decl = tn;
        if (tn == "INTERVAL") {
            // INTERVAL YEAR [(p)] TO MONTH, INTERVAL DAY [(p)] TO SECOND [(s)]
            for (int part = 0; part < 2; ++part) {
                if (!t_[i_].Is(part == 0 ? "YEAR" : "MONTH") && !t_[i_].Is(part == 0 ? "DAY" : "SECOND"))
                    return false;
                decl += " " + t_[i_].text;
                ++i_;
                if (t_[i_].IsOp("(")) {
                    size_t close = ParenEnd(i_);
                    decl += "(";
                    for (size_t k = i_ + 1; k < close; ++k)
                        decl += t_[k].raw;
                    decl += ")";
                    i_ = close + 1;
                }
                if (part == 0) {
                    if (!t_[i_].Is("TO")) return false;
                    ++i_;
                }
            }
            ct = ParseDeclType(decl);
            return true;
        }
        if (t_[i_].IsOp("(")) {
            size_t close = ParenEnd(i_);
            decl += "(";
            for (size_t k = i_ + 1; k < close; ++k)
                if (!t_[k].Is("BYTE") && !t_[k].Is("CHAR")) decl += t_[k].raw;
            decl += ")";
            i_ = close + 1;
        }
        if (t_[i_].Is("WITH") || t_[i_].Is("WITHOUT")) { // TIMESTAMP WITH [LOCAL] TIME ZONE
            const bool with = t_[i_].Is("WITH");
            while (IsName(t_[i_]) && !t_[i_].Is("NOT") && !t_[i_].Is("DEFAULT")) {
                if (with && t_[i_].Is("LOCAL")) decl += " WITH LOCAL TIME ZONE";
                if (with && t_[i_].Is("ZONE") && decl.find("LOCAL") == std::string::npos)
                    decl += " WITH TIME ZONE";
                ++i_;
            }
        }
        ct = ParseDeclType(decl);
        if ((ct.type == kOraVarchar2 || ct.type == kOraRaw) && decl.find('(') == std::string::npos)
            return false;
        return true;
    }
    bool Constraint(ConsDef& c, const std::string& column) {
        // [CONSTRAINT name] PRIMARY KEY | UNIQUE | REFERENCES | FOREIGN KEY | CHECK
        if (t_[i_].Is("CONSTRAINT")) {
            ++i_;
            if (!IsName(t_[i_])) {
                Fail(902, i_);
                return false;
            }
            c.name = t_[i_].text;
            ++i_;
        }
        if (t_[i_].Is("PRIMARY") && t_[i_ + 1].Is("KEY")) {
            c.type = 'P';
            i_ += 2;
            c.cols = column.empty() ? ColList() : std::vector<std::string>{column};
        } else if (t_[i_].Is("UNIQUE")) {
            c.type = 'U';
            ++i_;
            c.cols = column.empty() ? ColList() : std::vector<std::string>{column};
        } else if (t_[i_].Is("FOREIGN") || t_[i_].Is("REFERENCES")) {
            c.type = 'R';
            if (t_[i_].Is("FOREIGN")) {
                i_ += 2; // FOREIGN KEY
                c.cols = ColList();
            } else {
                c.cols = {column};
            }
            if (!t_[i_].Is("REFERENCES")) {
                Fail(905, i_);
                return false;
            }
            ++i_;
            TableRef r;
            if (!Table(r)) return false;
            c.refTable = r.sqliteName;
            if (t_[i_].IsOp("(")) c.refCols = ColList();
            if (t_[i_].Is("ON") && t_[i_ + 1].Is("DELETE")) {
                i_ += 2;
                if (t_[i_].Is("CASCADE")) {
                    c.deleteRule = "CASCADE";
                    ++i_;
                } else if (t_[i_].Is("SET") && t_[i_ + 1].Is("NULL")) {
                    c.deleteRule = "SET NULL";
                    i_ += 2;
                }
            }
        } else if (t_[i_].Is("CHECK")) {
            c.type = 'C';
            ++i_;
            size_t close = ParenEnd(i_);
            c.condition = text_.substr(t_[i_ + 1].pos, t_[close].pos - t_[i_ + 1].pos);
            checkSql_ = Expr(i_ + 1, close);
            i_ = close + 1;
        } else {
            Fail(902, i_);
            return false;
        }
        while (t_[i_].Is("ENABLE") || t_[i_].Is("DISABLE") || t_[i_].Is("DEFERRABLE") ||
               t_[i_].Is("INITIALLY") || t_[i_].Is("IMMEDIATE") || t_[i_].Is("DEFERRED") ||
               t_[i_].Is("VALIDATE") || t_[i_].Is("NOVALIDATE"))
            ++i_;
        if (t_[i_].Is("USING") && t_[i_ + 1].Is("INDEX")) {
            i_ += 2;
            while (!t_[i_].IsOp(",") && !t_[i_].IsOp(")") && t_[i_].kind != TokKind::End)
                ++i_;
        }
        if (c.name.empty()) c.name = c.type == 'P' && false ? "" : SysName();
        return !tr_.error;
    }

    // Oracle refuses values that do not fit a column; SQLite would keep them: checks with names the error
    // mapping knows turn such values into ORA-12899, ORA-01438 and ORA-01722.
    static std::string SizeChecks(const std::string& col, const ColumnType& ct) {
        std::string c;
        if ((ct.type == kOraVarchar2 || ct.type == kOraChar || ct.type == kOraRaw) && ct.size > 0)
            c += " CONSTRAINT " + QuoteIdent("VEMU$LEN$" + col) + " CHECK (length(" + QuoteIdent(col) +
                 ") <= " + std::to_string(ct.size) + ")";
        if (ct.wire == 100 || ct.wire == 101) {
            // BINARY_FLOAT and BINARY_DOUBLE hold what a NUMBER column holds and the three values SQLite has
            // no number for.
            const std::string q = QuoteIdent(col);
            c += " CONSTRAINT " + QuoteIdent("VEMU$NUMTYPE$" + col) + " CHECK (typeof(" + q +
                 ") IN ('integer','real','null') OR (typeof(" + q + ") = 'text' AND " + q +
                 " GLOB '*[0-9]#') OR " + q + " IN ('NaN','Inf','-Inf'))";
        } else if (ct.type == kOraNumber) {
            // A number a double would round is kept as marked text (WideNumberText): digits, then '#'.
            const std::string q = QuoteIdent(col);
            c += " CONSTRAINT " + QuoteIdent("VEMU$NUMTYPE$" + col) + " CHECK (typeof(" + q +
                 ") IN ('integer','real','null') OR (typeof(" + q + ") = 'text' AND " + q +
                 " GLOB '*[0-9]#'))";
            // The digits of such a text are not checked against the precision (its double may round up to
            // the limit).
            if (ct.scaleGiven && ct.precision > 0 && ct.precision - ct.scale <= 38)
                c += " CONSTRAINT " + QuoteIdent("VEMU$PREC$" + col) + " CHECK (typeof(" + q +
                     ") = 'text' OR abs(" + q + ") < 1e" + std::to_string(ct.precision - ct.scale) + ")";
        }
        return c;
    }

    void CreateTable() {
        ++i_;
        std::string owner, name;
        if (!Name(owner, name)) return Fail(903, i_);
        std::string full = owner + "." + name;
        if (Exists(full, "")) return Fail(955, i_ - 1);
        tr_.commandType = 1;
        std::vector<std::string> colSql;
        std::vector<std::string> colNames;
        std::vector<ConsDef> cons;
        std::vector<std::string> checks, fks;
        std::vector<std::pair<std::string, int>> rounded, padded;
        if (t_[i_].Is("AS")) return CreateTableAs(full, owner, name, i_ + 1);
        if (!t_[i_].IsOp("(")) return Fail(906, i_);
        size_t close = ParenEnd(i_);
        ++i_;
        while (i_ < close && !tr_.error) {
            if (t_[i_].Is("CONSTRAINT") || t_[i_].Is("PRIMARY") || t_[i_].Is("UNIQUE") ||
                t_[i_].Is("FOREIGN") || t_[i_].Is("CHECK")) {
                ConsDef c;
                checkSql_.clear();
                if (!Constraint(c, "")) return;
                if (c.type == 'C')
                    checks.push_back("CONSTRAINT " + QuoteIdent(c.name) + " CHECK (" + checkSql_ + ")");
                cons.push_back(c);
            } else {
                if (!IsName(t_[i_])) return Fail(904, i_);
                std::string col = t_[i_].text;
                ++i_;
                ColumnType ct;
                size_t at = i_;
                if (!ParseType(ct)) return Fail(902, at);
                std::string def =
                    QuoteIdent(col) + " " + DeclTypeText(ct) + CharColumnCollation(ct) + SizeChecks(col, ct);
                if (ct.type == kOraChar) padded.emplace_back(col, ct.size);
                bool notNull = false;
                while (i_ < close && !t_[i_].IsOp(",") && !tr_.error) {
                    if (t_[i_].Is("DEFAULT")) {
                        size_t s = ++i_;
                        int d = 0;
                        while (i_ < close) {
                            if (t_[i_].IsOp("("))
                                ++d;
                            else if (t_[i_].IsOp(")"))
                                --d;
                            else if (d == 0 &&
                                     (t_[i_].IsOp(",") || t_[i_].Is("NOT") || t_[i_].Is("NULL") ||
                                      t_[i_].Is("CONSTRAINT") || t_[i_].Is("PRIMARY") ||
                                      t_[i_].Is("UNIQUE") || t_[i_].Is("REFERENCES") || t_[i_].Is("CHECK")))
                                break;
                            ++i_;
                        }
                        def += " DEFAULT (" + Expr(s, i_) + ")";
                    } else if (t_[i_].Is("NOT") && t_[i_ + 1].Is("NULL")) {
                        notNull = true;
                        i_ += 2;
                    } else if (t_[i_].Is("NULL")) {
                        ++i_;
                    } else {
                        ConsDef c;
                        checkSql_.clear();
                        if (!Constraint(c, col)) return;
                        if (c.type == 'P') notNull = true;
                        if (c.type == 'C')
                            checks.push_back("CONSTRAINT " + QuoteIdent(c.name) + " CHECK (" + checkSql_ +
                                             ")");
                        cons.push_back(c);
                    }
                }
                if (notNull) {
                    def += " NOT NULL";
                    ConsDef nn;
                    nn.name = SysName();
                    nn.type = 'C';
                    nn.cols = {col};
                    nn.condition = "\"" + col + "\" IS NOT NULL";
                    cons.push_back(nn);
                }
                colSql.push_back(def);
                colNames.push_back(col);
                // NUMBER(p,s) and the integer types keep values rounded to their scale (SQLite's round
                // takes no negative digits: such scales are left as they come).
                if (ct.type == kOraNumber && ct.scaleGiven && ct.scale >= 0 && ct.precision != 126)
                    rounded.emplace_back(col, ct.scale);
            }
            if (t_[i_].IsOp(",")) ++i_;
        }
        if (tr_.error) return;
        // primary key columns are NOT NULL
        for (const ConsDef& c : cons)
            if (c.type == 'P')
                for (const std::string& pc : c.cols)
                    for (size_t k = 0; k < colNames.size(); ++k)
                        if (colNames[k] == pc && colSql[k].find("NOT NULL") == std::string::npos)
                            colSql[k] += " NOT NULL";
        std::string sql = "CREATE TABLE " + QuoteIdent(full) + " (";
        for (size_t k = 0; k < colSql.size(); ++k)
            sql += (k ? ", " : "") + colSql[k];
        std::vector<std::string> indexes;
        for (ConsDef& c : cons) {
            if (c.type == 'R') {
                if (c.refCols.empty()) c.refCols = KeyOf(c.refTable, 'P', {});
                std::string rc = RefConstraint(c.refTable, c.refCols);
                if (rc.empty() && c.refTable != full) return Fail(2270, i_);
                sql += ", CONSTRAINT " + QuoteIdent(c.name) + " FOREIGN KEY (";
                for (size_t k = 0; k < c.cols.size(); ++k)
                    sql += (k ? "," : "") + QuoteIdent(c.cols[k]);
                sql += ") REFERENCES " + QuoteIdent(c.refTable) + " (";
                for (size_t k = 0; k < c.refCols.size(); ++k)
                    sql += (k ? "," : "") + QuoteIdent(c.refCols[k]);
                sql += ")";
                if (c.deleteRule != "NO ACTION") sql += " ON DELETE " + c.deleteRule;
            } else if (c.type == 'P' || c.type == 'U') {
                std::string ix = "CREATE UNIQUE INDEX " + QuoteIdent(owner + "." + c.name) + " ON " +
                                 QuoteIdent(full) + " (";
                for (size_t k = 0; k < c.cols.size(); ++k)
                    ix += (k ? "," : "") + QuoteIdent(c.cols[k]);
                indexes.push_back(ix + ")");
            }
        }
        for (const std::string& ch : checks)
            sql += ", " + ch;
        sql += ")";
        tr_.ddl.push_back(sql);
        for (auto& ix : indexes)
            tr_.ddl.push_back(ix);
        RoundingTriggers(full, rounded);
        for (const std::string& pad : CharPadTriggers(full, padded))
            tr_.ddl.push_back(pad);
        if (!padded.empty()) e_.Db().NoteCharColumns();
        AddCatalog(owner, name, cons);
    }

    // Oracle stores a NUMBER with a scale rounded to it (1.235 in NUMBER(5,2) is 1.24); SQLite keeps what it
    // is given. Triggers after insert and update round the row's values in place; the range checks of
    // SizeChecks then see the rounded value as well. Values already on their scale are left untouched, so
    // integers stay integers.
    void RoundingTriggers(const std::string& full, const std::vector<std::pair<std::string, int>>& cols) {
        if (cols.empty()) return;
        std::string set, names;
        for (size_t k = 0; k < cols.size(); ++k) {
            const std::string c = QuoteIdent(cols[k].first), d = std::to_string(cols[k].second);
            set += (k ? ", " : "") + c + " = CASE WHEN " + c + " = round(" + c + ", " + d + ") THEN " + c +
                   " ELSE round(" + c + ", " + d + ") END";
            names += (k ? ", " : "") + c;
        }
        const std::string body = " ON " + QuoteIdent(full) + " BEGIN UPDATE " + QuoteIdent(full) + " SET " +
                                 set + " WHERE rowid = NEW.rowid; END";
        tr_.ddl.push_back("CREATE TRIGGER " + QuoteIdent("VEMU$ROUNDI$" + full) + " AFTER INSERT" + body);
        tr_.ddl.push_back("CREATE TRIGGER " + QuoteIdent("VEMU$ROUNDU$" + full) + " AFTER UPDATE OF " +
                          names + body);
    }

    void CreateTableAs(const std::string& full, const std::string& owner, const std::string& name,
                       size_t from) {
        OraError err;
        std::string sub = text_.substr(t_[from].pos);
        auto st = e_.Parse(sub, err);
        if (!st) {
            tr_.error = err;
            tr_.error.pos += static_cast<int>(t_[from].pos);
            return;
        }
        std::string sql = "CREATE TABLE " + QuoteIdent(full) + " (";
        for (size_t k = 0; k < st->cols.size(); ++k) {
            ColumnType ct = st->cols[k].t;
            if (ct.type == 0) ct = ParseDeclType("VARCHAR2(4000)");
            if (ct.type == kOraChar && ct.size == 0) ct = ParseDeclType("VARCHAR2(1)");
            if (ct.type == kOraVarchar2 && ct.size == 0) ct.size = 1;
            sql += (k ? ", " : "") + QuoteIdent(UpperAscii(st->cols[k].name)) + " " + DeclTypeText(ct);
        }
        sql += ")";
        tr_.ddl.push_back(sql);
        tr_.ddl.push_back("INSERT INTO " + QuoteIdent(full) + " " + st->tr.sql);
        tr_.commandType = 1;
        (void)owner;
        (void)name;
    }

    std::vector<std::string> KeyOf(const std::string& table, char type, const std::vector<std::string>&) {
        std::vector<std::string> cols;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(
                e_.Handle(),
                "SELECT cc.COLUMN_NAME FROM \"vemu$constraints\" c JOIN \"vemu$cons_columns\" cc ON "
                "cc.OWNER = c.OWNER AND cc.CONSTRAINT_NAME = c.CONSTRAINT_NAME WHERE c.OWNER || '.' || "
                "c.TABLE_NAME = ?1 AND c.CONSTRAINT_TYPE = ?2 ORDER BY cc.POSITION",
                -1, &st, nullptr) != SQLITE_OK) {
            sqlite3_finalize(st);
            return cols;
        }
        sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        std::string ty(1, type);
        sqlite3_bind_text(st, 2, ty.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(st) == SQLITE_ROW)
            cols.push_back(ColumnText(st, 0));
        sqlite3_finalize(st);
        return cols;
    }
    std::string RefConstraint(const std::string& table, const std::vector<std::string>& cols) {
        std::string joined;
        for (size_t k = 0; k < cols.size(); ++k)
            joined += (k ? "," : "") + cols[k];
        sqlite3_stmt* st = nullptr;
        std::string found;
        if (sqlite3_prepare_v2(
                e_.Handle(),
                "SELECT c.CONSTRAINT_NAME, group_concat(cc.COLUMN_NAME, ',') FROM \"vemu$constraints\" c "
                "JOIN \"vemu$cons_columns\" cc ON cc.OWNER = c.OWNER AND cc.CONSTRAINT_NAME = "
                "c.CONSTRAINT_NAME WHERE c.OWNER || '.' || c.TABLE_NAME = ?1 AND c.CONSTRAINT_TYPE IN "
                "('P','U') GROUP BY c.CONSTRAINT_NAME",
                -1, &st, nullptr) != SQLITE_OK) {
            sqlite3_finalize(st);
            return found;
        }
        sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(st) == SQLITE_ROW)
            if (joined == ColumnText(st, 1)) found = ColumnText(st, 0);
        sqlite3_finalize(st);
        return found;
    }
    void AddCatalog(const std::string& owner, const std::string& table, const std::vector<ConsDef>& cons) {
        for (const ConsDef& c : cons) {
            std::string rOwner, rName;
            if (c.type == 'R') {
                size_t dot = c.refTable.find('.');
                rOwner = c.refTable.substr(0, dot);
                rName = RefConstraint(c.refTable, c.refCols);
            }
            tr_.ddl.push_back("INSERT INTO \"vemu$constraints\" VALUES (" + QuoteLiteral(owner) + "," +
                              QuoteLiteral(c.name) + "," + QuoteLiteral(std::string(1, c.type)) + "," +
                              QuoteLiteral(table) + "," + (rOwner.empty() ? "NULL" : QuoteLiteral(rOwner)) +
                              "," + (rName.empty() ? "NULL" : QuoteLiteral(rName)) + "," +
                              (c.condition.empty() ? "NULL" : QuoteLiteral(c.condition)) + "," +
                              (c.type == 'R' ? QuoteLiteral(c.deleteRule) : "NULL") + ",'ENABLED'," +
                              (c.type == 'P' || c.type == 'U' ? QuoteLiteral(c.name) : "NULL") + ")");
            for (size_t k = 0; k < c.cols.size(); ++k)
                tr_.ddl.push_back(
                    "INSERT INTO \"vemu$cons_columns\" VALUES (" + QuoteLiteral(owner) + "," +
                    QuoteLiteral(c.name) + "," + QuoteLiteral(table) + "," + QuoteLiteral(c.cols[k]) + "," +
                    (c.condition.find("IS NOT NULL") != std::string::npos ? "NULL" : std::to_string(k + 1)) +
                    ")");
        }
    }

    void CreateIndex(bool unique) {
        ++i_;
        std::string owner, name;
        if (!Name(owner, name)) return Fail(903, i_);
        if (!t_[i_].Is("ON")) return Fail(969, i_);
        ++i_;
        TableRef r;
        if (!Table(r)) return;
        if (Exists(r.owner + "." + name, "index")) return Fail(955, i_);
        if (!t_[i_].IsOp("(")) return Fail(906, i_);
        size_t close = ParenEnd(i_);
        std::string cols;
        for (size_t k = i_ + 1; k < close; ++k) {
            if (IsName(t_[k]) && !t_[k].Is("ASC") && !t_[k].Is("DESC"))
                cols += QuoteIdent(t_[k].text);
            else
                cols += " " + t_[k].raw + " ";
        }
        tr_.ddl.push_back(std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " +
                          QuoteIdent(r.owner + "." + name) + " ON " + QuoteIdent(r.sqliteName) + " (" + cols +
                          ")");
        tr_.commandType = 9;
    }

    void CreateSequence() {
        ++i_;
        std::string owner, name;
        if (!Name(owner, name)) return Fail(903, i_);
        if (e_.Db().SeqExists(owner, name)) return Fail(955, i_ - 1);
        Sequence s;
        bool startGiven = false;
        while (t_[i_].kind != TokKind::End && !t_[i_].IsOp(";")) {
            auto num = [&](size_t k) {
                bool neg = t_[k].IsOp("-");
                long long v = std::atoll(t_[neg ? k + 1 : k].text.c_str());
                i_ = neg ? k + 2 : k + 1;
                return neg ? -v : v;
            };
            if (t_[i_].Is("START") && t_[i_ + 1].Is("WITH")) {
                s.next = num(i_ + 2);
                startGiven = true;
            } else if (t_[i_].Is("INCREMENT") && t_[i_ + 1].Is("BY")) {
                s.increment = num(i_ + 2);
                if (s.increment == 0) s.increment = 1;
            } else if (t_[i_].Is("MINVALUE")) {
                s.minValue = num(i_ + 1);
            } else if (t_[i_].Is("MAXVALUE")) {
                s.maxValue = num(i_ + 1);
            } else if (t_[i_].Is("CACHE")) {
                num(i_ + 1);
            } else if (t_[i_].Is("CYCLE")) {
                s.cycle = true;
                ++i_;
            } else {
                ++i_;
            }
        }
        if (!startGiven) s.next = s.increment > 0 ? s.minValue : (s.maxValue ? s.maxValue : -1);
        tr_.commandType = 13;
        tr_.ddl.push_back("INSERT INTO \"vemu$sequences\" VALUES (" + QuoteLiteral(owner) + "," +
                          QuoteLiteral(name) + "," + std::to_string(s.minValue) + "," +
                          std::to_string(s.maxValue) + "," + std::to_string(s.increment) + "," +
                          std::to_string(s.next) + "," + (s.cycle ? "1" : "0") + ")");
        tr_.afterDdl = [owner, name, s](EmuEngine& e) { e.Db().SeqCreate(owner, name, s); };
    }

    void CreateView(bool orReplace) {
        ++i_;
        std::string owner, name;
        if (!Name(owner, name)) return Fail(903, i_);
        std::string full = owner + "." + name;
        if (t_[i_].IsOp("(")) i_ = ParenEnd(i_) + 1; // column aliases are not kept
        if (!t_[i_].Is("AS")) return Fail(905, i_);
        size_t from = i_ + 1;
        if (Exists(full, "table")) return Fail(955, i_);
        if (Exists(full, "view")) {
            if (!orReplace) return Fail(955, i_);
            tr_.ddl.push_back("DROP VIEW " + QuoteIdent(full));
        }
        size_t end = t_.size() - 1;
        while (end > from && t_[end - 1].IsOp(";"))
            --end;
        OraError err;
        std::map<std::string, int> none;
        std::string sel = TranslateFragment(e_, t_, from, end, none, err);
        if (err) {
            tr_.error = err;
            return;
        }
        tr_.ddl.push_back("CREATE VIEW " + QuoteIdent(full) + " AS " + sel);
        tr_.commandType = 21;
    }

    void Drop() {
        i_ = 1;
        std::string kind = t_[i_].text;
        ++i_;
        std::string owner, name;
        size_t at = i_;
        if (!Name(owner, name)) return Fail(903, i_);
        std::string full = owner + "." + name;
        if (kind == "TABLE") {
            tr_.commandType = 12;
            if (!Exists(full, "table")) return Fail(942, at);
            bool cascade = false;
            for (size_t k = i_; k < t_.size(); ++k)
                if (t_[k].Is("CASCADE")) cascade = true;
            // other tables' foreign keys pointing here
            sqlite3_stmt* st = nullptr;
            if (sqlite3_prepare_v2(
                    e_.Handle(),
                    "SELECT c.OWNER || '.' || c.TABLE_NAME, c.OWNER, c.CONSTRAINT_NAME FROM "
                    "\"vemu$constraints\" c JOIN \"vemu$constraints\" p ON p.OWNER = c.R_OWNER AND "
                    "p.CONSTRAINT_NAME = c.R_CONSTRAINT_NAME WHERE p.OWNER = ?1 AND p.TABLE_NAME = ?2 AND "
                    "c.TABLE_NAME <> p.TABLE_NAME",
                    -1, &st, nullptr) != SQLITE_OK) {
                sqlite3_finalize(st);
                return Fail(600, at);
            }
            sqlite3_bind_text(st, 1, owner.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
            bool referenced = false;
            while (sqlite3_step(st) == SQLITE_ROW) {
                referenced = true;
                tr_.ddl.push_back(
                    "DELETE FROM \"vemu$cons_columns\" WHERE OWNER = " + QuoteLiteral(ColumnText(st, 1)) +
                    " AND CONSTRAINT_NAME = " + QuoteLiteral(ColumnText(st, 2)));
                tr_.ddl.push_back(
                    "DELETE FROM \"vemu$constraints\" WHERE OWNER = " + QuoteLiteral(ColumnText(st, 1)) +
                    " AND CONSTRAINT_NAME = " + QuoteLiteral(ColumnText(st, 2)));
            }
            sqlite3_finalize(st);
            if (referenced && !cascade) {
                tr_.ddl.clear();
                return Fail(2449, at);
            }
            // the emulator does not rebuild referencing tables: their rows stay, their keys are forgotten
            tr_.ddl.insert(tr_.ddl.begin(), "PRAGMA defer_foreign_keys = ON");
            tr_.ddl.push_back("DROP TABLE " + QuoteIdent(full));
            tr_.ddl.push_back("DELETE FROM \"vemu$cons_columns\" WHERE OWNER = " + QuoteLiteral(owner) +
                              " AND TABLE_NAME = " + QuoteLiteral(name));
            tr_.ddl.push_back("DELETE FROM \"vemu$constraints\" WHERE OWNER = " + QuoteLiteral(owner) +
                              " AND TABLE_NAME = " + QuoteLiteral(name));
        } else if (kind == "INDEX") {
            tr_.commandType = 10;
            if (!Exists(full, "index")) return Fail(1418, at);
            tr_.ddl.push_back("DROP INDEX " + QuoteIdent(full));
        } else if (kind == "VIEW") {
            tr_.commandType = 22;
            if (!Exists(full, "view")) return Fail(942, at);
            tr_.ddl.push_back("DROP VIEW " + QuoteIdent(full));
        } else if (kind == "SEQUENCE") {
            tr_.commandType = 16;
            if (!e_.Db().SeqExists(owner, name)) return Fail(2289, at);
            tr_.ddl.push_back("DELETE FROM \"vemu$sequences\" WHERE OWNER = " + QuoteLiteral(owner) +
                              " AND NAME = " + QuoteLiteral(name));
            tr_.afterDdl = [owner, name](EmuEngine& e) { e.Db().SeqDrop(owner, name); };
        } else if (kind == "USER" || kind == "SYNONYM" || kind == "PUBLIC") {
            tr_.kind = StmtKind::Ignore;
        } else {
            Fail(950, 1);
        }
    }

    void Alter() {
        i_ = 1;
        if (!t_[i_].Is("TABLE")) {
            tr_.kind = StmtKind::Ignore; // ALTER SYSTEM, ALTER USER ...: accepted, nothing to do
            return;
        }
        ++i_;
        TableRef r;
        if (!Table(r)) return;
        tr_.commandType = 15;
        if (t_[i_].Is("ADD")) {
            ++i_;
            if (t_[i_].Is("CONSTRAINT") || t_[i_].Is("PRIMARY") || t_[i_].Is("UNIQUE") ||
                t_[i_].Is("FOREIGN") || t_[i_].Is("CHECK")) {
                ConsDef c;
                checkSql_.clear();
                if (!Constraint(c, "")) return;
                if (c.type == 'P' || c.type == 'U') {
                    std::string ix = "CREATE UNIQUE INDEX " + QuoteIdent(r.owner + "." + c.name) + " ON " +
                                     QuoteIdent(r.sqliteName) + " (";
                    for (size_t k = 0; k < c.cols.size(); ++k)
                        ix += (k ? "," : "") + QuoteIdent(c.cols[k]);
                    tr_.ddl.push_back(ix + ")");
                } else if (c.type == 'R' && c.refCols.empty()) {
                    c.refCols = KeyOf(c.refTable, 'P', {});
                }
                AddCatalog(r.owner, r.name, {c});
                return;
            }
            bool paren = t_[i_].IsOp("(");
            if (paren) ++i_;
            while (IsName(t_[i_])) {
                std::string col = t_[i_].text;
                ++i_;
                ColumnType ct;
                size_t at = i_;
                if (!ParseType(ct)) return Fail(902, at);
                std::string def = "ALTER TABLE " + QuoteIdent(r.sqliteName) + " ADD COLUMN " +
                                  QuoteIdent(col) + " " + DeclTypeText(ct);
                while (!t_[i_].IsOp(",") && !t_[i_].IsOp(")") && t_[i_].kind != TokKind::End) {
                    if (t_[i_].Is("DEFAULT")) {
                        size_t s = ++i_;
                        while (!t_[i_].IsOp(",") && !t_[i_].IsOp(")") && !t_[i_].Is("NOT") &&
                               t_[i_].kind != TokKind::End)
                            ++i_;
                        def += " DEFAULT (" + Expr(s, i_) + ")";
                    } else if (t_[i_].Is("NOT") && t_[i_ + 1].Is("NULL")) {
                        def += " NOT NULL";
                        i_ += 2;
                    } else {
                        ++i_;
                    }
                }
                tr_.ddl.push_back(def);
                if (t_[i_].IsOp(",")) ++i_;
                if (!paren) break;
            }
            return;
        }
        if (t_[i_].Is("DROP") && t_[i_ + 1].Is("COLUMN") && IsName(t_[i_ + 2])) {
            tr_.ddl.push_back("ALTER TABLE " + QuoteIdent(r.sqliteName) + " DROP COLUMN " +
                              QuoteIdent(t_[i_ + 2].text));
            return;
        }
        if (t_[i_].Is("RENAME") && t_[i_ + 1].Is("COLUMN") && IsName(t_[i_ + 2]) && t_[i_ + 3].Is("TO") &&
            IsName(t_[i_ + 4])) {
            tr_.ddl.push_back("ALTER TABLE " + QuoteIdent(r.sqliteName) + " RENAME COLUMN " +
                              QuoteIdent(t_[i_ + 2].text) + " TO " + QuoteIdent(t_[i_ + 4].text));
            return;
        }
        Fail(1735, i_);
    }

    EmuEngine& e_;
    const std::vector<Tok>& t_;
    const std::string& text_;
    Translation& tr_;
    size_t i_ = 0;
    std::string checkSql_;
};

} // namespace

Translation TranslateDdl(EmuEngine& e, const std::vector<Tok>& toks, const std::string& text) {
    Translation tr;
    DdlParser p(e, toks, text, tr);
    p.Run();
    return tr;
}

} // namespace vemu
