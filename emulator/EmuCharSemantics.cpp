// CHAR columns as Oracle has them: a value is stored blank-padded to the column's length; compared with
// another CHAR value (a text literal, a CHAR column, a bind of a fixed-length character type) trailing blanks
// do not count, compared with a VARCHAR2 value (a bind of a varying character type) every blank counts.
// SQLite gets there with the column's RTRIM collation, triggers that pad what is written, and an explicit
// BINARY collation on the varying binds of statements while any table has CHAR columns.
#include "emulator/EmuEngine.h"

#include <sqlite3.h>

#include <algorithm>

namespace vemu {

std::string CharColumnCollation(const ColumnType& t) {
    return t.type == kOraChar ? " COLLATE RTRIM" : std::string();
}

std::vector<std::string> CharPadTriggers(const std::string& table,
                                         const std::vector<std::pair<std::string, int>>& cols) {
    std::vector<std::string> out;
    if (cols.empty()) return out;
    auto quote = [](const std::string& s) {
        std::string q = "\"";
        for (char c : s) {
            q += c;
            if (c == '"') q += '"';
        }
        return q + "\"";
    };
    std::string set, names;
    for (size_t k = 0; k < cols.size(); ++k) {
        const std::string c = quote(cols[k].first), n = std::to_string(cols[k].second);
        set += (k ? ", " : "") + c + " = CASE WHEN length(" + c + ") < " + n + " THEN " + c +
               " || substr(printf('%" + n + "s', ''), 1, " + n + " - length(" + c + ")) ELSE " + c + " END";
        names += (k ? ", " : "") + c;
    }
    const std::string body = " ON " + quote(table) + " BEGIN UPDATE " + quote(table) + " SET " + set +
                             " WHERE rowid = NEW.rowid; END";
    out.push_back("CREATE TRIGGER " + quote("VEMU$PADI$" + table) + " AFTER INSERT" + body);
    out.push_back("CREATE TRIGGER " + quote("VEMU$PADU$" + table) + " AFTER UPDATE OF " + names + body);
    return out;
}

namespace {

// The statement's text with each placeholder ?N of a varying character bind compared byte for byte.
std::string WithExactBinds(const std::string& sql, const std::vector<bool>& exact) {
    std::string out;
    out.reserve(sql.size() + 32);
    for (size_t i = 0; i < sql.size();) {
        const char c = sql[i];
        if (c == '\'' || c == '"') {
            size_t end = i + 1;
            while (end < sql.size()) {
                if (sql[end] == c) {
                    if (end + 1 < sql.size() && sql[end + 1] == c) {
                        end += 2;
                        continue;
                    }
                    break;
                }
                ++end;
            }
            end = std::min(end + 1, sql.size());
            out.append(sql, i, end - i);
            i = end;
            continue;
        }
        if (c == '?' && i + 1 < sql.size() && sql[i + 1] >= '0' && sql[i + 1] <= '9') {
            size_t end = i + 1;
            while (end < sql.size() && sql[end] >= '0' && sql[end] <= '9' && end - i < 7)
                ++end;
            const std::string ph = sql.substr(i, end - i);
            const size_t n = std::stoul(ph.substr(1));
            if (n >= 1 && n <= exact.size() && exact[n - 1])
                out += "(" + ph + " COLLATE BINARY)";
            else
                out += ph;
            i = end;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

} // namespace

OraError EmuEngine::UseBindCollations(EmuStatement& s, const std::vector<Value>& binds) {
    if (!db_.HasCharColumns() || !s.st || s.tr.sql.empty()) return {};
    std::vector<bool> exact(binds.size());
    bool any = false;
    for (size_t k = 0; k < binds.size(); ++k) {
        exact[k] = binds[k].kind == Value::Text && !binds[k].fixedChar;
        any = any || exact[k];
    }
    if (!any) exact.clear();
    if (exact == s.exactBinds) return {};
    sqlite3_stmt* st = nullptr;
    const std::string sql = exact.empty() ? s.tr.sql : WithExactBinds(s.tr.sql, exact);
    int rc = sqlite3_prepare_v2(conn_, sql.c_str(), -1, &st, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(st);
        return MapSqliteError(rc, sqlite3_errmsg(conn_), &s);
    }
    if (s.tracker) s.tracker->Untrack(&s);
    sqlite3_finalize(s.st);
    s.st = st;
    s.exactBinds = std::move(exact);
    return {};
}

} // namespace vemu
