// EXPLAIN PLAN FOR and DBMS_XPLAN.DISPLAY: the plan is SQLite's own query plan of the translated statement,
// written in the table form DBMS_XPLAN shows, so that a worksheet's plan view works against the emulator.
#include "emulator/EmuEngine.h"

#include <sqlite3.h>

#include <algorithm>
#include <map>

namespace vemu {

namespace {

struct PlanStep {
    int depth = 0;
    std::string operation, name;
};

// "SCOTT.EMP" as SQLite names it: the Oracle table name is the part after the owner.
std::string TableName(const std::string& word) {
    std::string w = word;
    if (w.size() > 1 && w.front() == '"' && w.back() == '"') w = w.substr(1, w.size() - 2);
    const size_t dot = w.rfind('.');
    return dot == std::string::npos ? w : w.substr(dot + 1);
}

std::string Word(const std::string& s, size_t& at) {
    while (at < s.size() && s[at] == ' ')
        ++at;
    const size_t b = at;
    while (at < s.size() && s[at] != ' ')
        ++at;
    return s.substr(b, at - b);
}

// Table names by the aliases the translated statement gives them ("SCOTT.EMP" AS "E"): SQLite's plan names
// a table by its alias.
std::map<std::string, std::string> AliasTables(const std::string& sql) {
    std::map<std::string, std::string> m;
    const std::string as = "\" AS \"";
    for (size_t at = sql.find(as); at != std::string::npos; at = sql.find(as, at + 1)) {
        const size_t open = sql.rfind('"', at - 1);
        const size_t close = sql.find('"', at + as.size());
        if (open == std::string::npos || close == std::string::npos) continue;
        m[sql.substr(at + as.size(), close - at - as.size())] =
            TableName(sql.substr(open + 1, at - open - 1));
    }
    return m;
}

// One line of SQLite's plan in Oracle's words: SCAN t is a full table access, SEARCH t USING INDEX i an
// index range scan under an access by index rowid (a covering index alone), SEARCH t USING ... PRIMARY
// KEY an access by rowid; the rest keeps SQLite's text. Depths are relative to the line.
std::vector<PlanStep> StepsOf(const std::string& detail, const std::map<std::string, std::string>& aliases) {
    size_t at = 0;
    const std::string verb = Word(detail, at);
    if (verb == "SCAN" || verb == "SEARCH") {
        std::string table = Word(detail, at);
        if (table == "TABLE") table = Word(detail, at); // older SQLite: "SCAN TABLE t"
        const auto alias = aliases.find(table);
        table = alias != aliases.end() ? alias->second : TableName(table);
        const std::string rest = detail.substr(std::min(at, detail.size()));
        const size_t idx = rest.find("INDEX ");
        if (idx == std::string::npos)
            return {{0, verb == "SCAN" ? "TABLE ACCESS FULL" : "TABLE ACCESS BY ROWID", table}};
        size_t k = idx + 6;
        const std::string index = TableName(Word(rest, k));
        const std::string scan = verb == "SCAN" ? "INDEX FULL SCAN" : "INDEX RANGE SCAN";
        if (rest.find("COVERING INDEX") != std::string::npos) return {{0, scan, index}};
        return {{0, "TABLE ACCESS BY INDEX ROWID", table}, {1, scan, index}};
    }
    if (detail.find("ORDER BY") != std::string::npos) return {{0, "SORT ORDER BY", ""}};
    if (detail.find("GROUP BY") != std::string::npos) return {{0, "SORT GROUP BY", ""}};
    if (detail.find("DISTINCT") != std::string::npos) return {{0, "HASH UNIQUE", ""}};
    return {{0, detail, ""}};
}

std::string Pad(const std::string& s, size_t width, bool right = false) {
    if (s.size() >= width) return s.substr(0, width);
    return right ? std::string(width - s.size(), ' ') + s : s + std::string(width - s.size(), ' ');
}

} // namespace

Translation TranslateExplain(EmuEngine& e, const std::vector<Tok>& toks, const std::string& text) {
    Translation tr;
    tr.kind = StmtKind::Explain;
    tr.commandType = 50;
    // The token list ends with its End token; reading past it reads that token again.
    auto tok = [&toks](size_t k) -> const Tok& { return toks[std::min(k, toks.size() - 1)]; };
    size_t i = 1;
    if (!tok(i).Is("PLAN")) {
        tr.error = MakeError(905, "", static_cast<int>(tok(i).pos));
        return tr;
    }
    ++i;
    if (tok(i).Is("SET")) {
        // SET STATEMENT_ID = 'text': the emulator keeps one plan per session
        if (!tok(i + 1).Is("STATEMENT_ID") || !tok(i + 2).IsOp("=") || tok(i + 3).kind != TokKind::String) {
            tr.error = MakeError(905, "", static_cast<int>(tok(i + 1).pos));
            return tr;
        }
        i += 4;
    }
    if (tok(i).Is("INTO")) {
        ++i;
        // [schema.]table
        auto name = [&tok](size_t k) {
            return (tok(k).kind == TokKind::Ident && !tok(k).Is("FOR")) ||
                   tok(k).kind == TokKind::QuotedIdent;
        };
        if (!name(i)) {
            tr.error = MakeError(903, "", static_cast<int>(tok(i).pos));
            return tr;
        }
        ++i;
        if (tok(i).IsOp(".") && name(i + 1)) i += 2;
    }
    if (!tok(i).Is("FOR") || tok(i + 1).kind == TokKind::End) {
        tr.error = MakeError(905, "", static_cast<int>(tok(i).pos));
        return tr;
    }
    if (tok(i + 1).Is("EXPLAIN")) { // one plan of one statement, not a plan of a plan
        tr.error = MakeError(905, "", static_cast<int>(tok(i + 1).pos));
        return tr;
    }
    const std::string inner = text.substr(tok(i + 1).pos);
    bool ok;
    size_t ep;
    const std::vector<Tok> innerToks = Tokenize(inner, ok, ep);
    if (!ok) {
        tr.error = MakeError(1756, "", static_cast<int>(tok(i + 1).pos + ep));
        return tr;
    }
    Translation in = TranslateStatement(e, innerToks, inner);
    if (in.error) {
        tr.error = in.error;
        return tr;
    }
    if ((in.kind != StmtKind::Query && in.kind != StmtKind::Dml) || in.sql.empty()) {
        tr.error = MakeError(905, "", static_cast<int>(tok(i + 1).pos));
        return tr;
    }
    tr.sql = in.sql;
    tr.dictViews = in.dictViews;
    tr.bindCount = in.bindCount;
    tr.explainedCommand = in.commandType;
    return tr;
}

OraError EmuEngine::Explain(EmuStatement& s) {
    if (!s.tr.dictViews.empty()) PrepareDictionary(s.tr.dictViews);
    sqlite3_stmt* st = nullptr;
    const std::string sql = "EXPLAIN QUERY PLAN " + s.tr.sql;
    int rc = sqlite3_prepare_v2(conn_, sql.c_str(), -1, &st, nullptr);
    if (rc != SQLITE_OK) return MapSqliteError(rc, sqlite3_errmsg(conn_), &s);
    std::map<long long, int> depthOf; // plan node id -> depth under the statement line
    std::vector<PlanStep> steps;
    const std::map<std::string, std::string> aliases = AliasTables(s.tr.sql);
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        const long long id = sqlite3_column_int64(st, 0), parent = sqlite3_column_int64(st, 1);
        const int depth = depthOf.count(parent) ? depthOf[parent] + 1 : 1;
        depthOf[id] = depth;
        for (PlanStep p : StepsOf(ColumnText(st, 3), aliases)) {
            p.depth += depth;
            steps.push_back(p);
        }
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) return MapSqliteError(rc, sqlite3_errmsg(conn_), &s);

    static const std::map<int, const char*> kTop = {
        {2, "INSERT STATEMENT"}, {6, "UPDATE STATEMENT"}, {7, "DELETE STATEMENT"}};
    const auto top = kTop.find(s.tr.explainedCommand);
    steps.insert(steps.begin(), PlanStep{0, top == kTop.end() ? "SELECT STATEMENT" : top->second, ""});
    size_t opWidth = 9, nameWidth = 4;
    for (const PlanStep& p : steps) {
        opWidth = std::max(opWidth, p.operation.size() + size_t(p.depth));
        nameWidth = std::max(nameWidth, p.name.size());
    }
    opWidth = std::min<size_t>(opWidth, 200);
    nameWidth = std::min<size_t>(nameWidth, 60);
    const std::string rule(6 + opWidth + 3 + nameWidth + 3 + 1, '-');
    std::vector<std::string> out;
    unsigned long hash = 5381;
    for (char c : s.tr.sql)
        hash = (hash * 33 + static_cast<unsigned char>(c)) % 4000000000UL;
    out.push_back("Plan hash value: " + std::to_string(hash));
    out.push_back("");
    out.push_back(rule);
    out.push_back("| Id  | " + Pad("Operation", opWidth) + " | " + Pad("Name", nameWidth) + " |");
    out.push_back(rule);
    for (size_t k = 0; k < steps.size(); ++k)
        out.push_back("| " + Pad(std::to_string(k), 3, true) + " | " +
                      Pad(std::string(size_t(steps[k].depth), ' ') + steps[k].operation, opWidth) + " | " +
                      Pad(steps[k].name, nameWidth) + " |");
    out.push_back(rule);
    explainedPlan = std::move(out);
    return {};
}

bool RewriteXplanDisplay(const std::vector<Tok>& toks, const std::string& text, std::string& rewritten) {
    // Every occurrence in one pass, so that the translation that follows finds none left.
    std::string out;
    size_t copied = 0; // text before this offset is in out
    for (size_t i = 0; i + 5 < toks.size(); ++i) {
        if (!toks[i].Is("TABLE") || !toks[i + 1].IsOp("(")) continue;
        size_t k = i + 2;
        if (toks[k].Is("SYS") && toks[k + 1].IsOp(".")) k += 2;
        if (k + 2 >= toks.size()) break;
        if (!toks[k].Is("DBMS_XPLAN") || !toks[k + 1].IsOp(".") || !toks[k + 2].Is("DISPLAY")) continue;
        // the arguments (table name, statement id, format) do not change the emulator's one plan
        int depth = 1;
        size_t close = i + 2;
        for (; close < toks.size() && toks[close].kind != TokKind::End; ++close) {
            if (toks[close].IsOp("(")) ++depth;
            if (toks[close].IsOp(")") && --depth == 0) break;
        }
        if (depth != 0 || close >= toks.size() || toks[close].kind == TokKind::End) break;
        out += text.substr(copied, toks[i].pos - copied) + "SYS.XPLAN$DISPLAY";
        copied = toks[close].pos + 1;
        i = close;
    }
    if (copied == 0) return false;
    rewritten = out + text.substr(copied);
    return true;
}

} // namespace vemu
