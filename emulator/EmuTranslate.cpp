// Oracle SQL -> SQLite: table names resolved into schemas, identifiers upper-cased, Oracle functions and
// pseudo-columns mapped, NULL-tolerant concatenation, ROWNUM limits, and select items named as Oracle names
// them.
#include "emulator/EmuEngine.h"

#include <set>

namespace vemu {

namespace {

const std::set<std::string>& SqlKeywords() {
    static const std::set<std::string> k = {
        "SELECT",    "FROM",      "WHERE",    "AND",    "OR",        "NOT",       "NULL",      "IS",
        "IN",        "LIKE",      "BETWEEN",  "EXISTS", "AS",        "ON",        "JOIN",      "INNER",
        "LEFT",      "RIGHT",     "FULL",     "OUTER",  "CROSS",     "NATURAL",   "GROUP",     "BY",
        "HAVING",    "ORDER",     "ASC",      "DESC",   "NULLS",     "FIRST",     "LAST",      "UNION",
        "ALL",       "INTERSECT", "DISTINCT", "CASE",   "WHEN",      "THEN",      "ELSE",      "END",
        "INSERT",    "INTO",      "VALUES",   "UPDATE", "SET",       "DELETE",    "ESCAPE",    "ANY",
        "SOME",      "DEFAULT",   "USING",    "OVER",   "PARTITION", "ROWS",      "RANGE",     "UNBOUNDED",
        "PRECEDING", "FOLLOWING", "CURRENT",  "ROW",    "WITH",      "RECURSIVE", "RETURNING", "COLLATE",
        "CAST"};
    return k;
}

// Words that end a table reference (cannot be its alias).
const std::set<std::string>& AliasStop() {
    static const std::set<std::string> k = {
        "WHERE",   "JOIN",   "INNER",  "LEFT",    "RIGHT",     "FULL",      "CROSS",  "NATURAL",   "ON",
        "GROUP",   "ORDER",  "HAVING", "UNION",   "MINUS",     "INTERSECT", "EXCEPT", "SET",       "VALUES",
        "CONNECT", "START",  "FOR",    "USING",   "PARTITION", "SAMPLE",    "WITH",   "RETURNING", "RETURN",
        "LOG",     "SELECT", "FROM",   "INTO",    "WHEN",      "THEN",      "OUTER",  "AS",        "IN",
        "MODE",    "NOWAIT", "WAIT",   "DEFAULT", "LIMIT",     "FETCH",     "OFFSET"};
    return k;
}

const std::set<std::string>& ClauseEnd() {
    static const std::set<std::string> k = {
        "WHERE", "GROUP", "HAVING", "ORDER", "UNION",  "INTERSECT", "MINUS",  "EXCEPT", "CONNECT", "START",
        "FOR",   "LIMIT", "FETCH",  "SET",   "VALUES", "RETURNING", "RETURN", "INTO",   "MODE",    "IN"};
    return k;
}

bool IsName(const Tok& t) {
    return t.kind == TokKind::Ident || t.kind == TokKind::QuotedIdent;
}
std::string NameOf(const Tok& t) {
    return t.text;
} // idents are upper-cased already

struct RefPos {
    size_t start = 0, end = 0; // name tokens [start, end)
    std::string alias;         // written alias (empty = none)
    bool insertTarget = false;
    TableRef ref;
};

struct Scope {
    std::vector<std::pair<std::string, TableRef>> tables; // alias (or table name) -> table
};

ColumnType VarcharOf(int size) {
    ColumnType t;
    t.type = kOraVarchar2;
    t.size = size < 1 ? 1 : (size > 4000 ? 4000 : size);
    return t;
}
ColumnType NumberType() {
    ColumnType t;
    t.type = kOraNumber;
    t.size = 22;
    return t;
}
ColumnType DateType() {
    ColumnType t;
    t.type = kOraDate;
    t.size = 7;
    return t;
}
ColumnType UnknownType() {
    ColumnType t;
    t.type = 0;
    t.size = 4000;
    return t;
}

size_t MatchParen(const std::vector<Tok>& t, size_t open, size_t limit) {
    int depth = 0;
    for (size_t i = open; i < limit; ++i) {
        if (t[i].IsOp("("))
            ++depth;
        else if (t[i].IsOp(")") && --depth == 0)
            return i;
    }
    return limit;
}

// Type inference over select items, forgiving: whatever it does not understand is "unknown".
class Inferer {
public:
    Inferer(EmuEngine& e, const std::vector<Tok>& t, const Scope& s) : e_(e), t_(t), scope_(s) {}
    ColumnType Range(size_t from, size_t to) {
        i_ = from;
        end_ = to;
        if (from >= to) return UnknownType();
        ColumnType r = Additive();
        return r;
    }

private:
    ColumnType Additive() {
        ColumnType a = Multiplicative();
        while (i_ < end_ && t_[i_].kind == TokKind::Op) {
            const std::string& op = t_[i_].text;
            if (op == "||") {
                ++i_;
                ColumnType b = Multiplicative();
                int sz = (a.type == kOraDate ? 75 : a.size) + (b.type == kOraDate ? 75 : b.size);
                a = VarcharOf(sz);
            } else if (op == "+" || op == "-") {
                ++i_;
                ColumnType b = Multiplicative();
                if (a.type == kOraDate && b.type == kOraDate && op == "-")
                    a = NumberType();
                else if (a.type == kOraDate || b.type == kOraDate)
                    a = DateType();
                else if (a.type == 0 || b.type == 0)
                    a = UnknownType();
                else
                    a = NumberType();
            } else {
                break;
            }
        }
        return a;
    }
    ColumnType Multiplicative() {
        ColumnType a = Unary();
        while (i_ < end_ && (t_[i_].IsOp("*") || t_[i_].IsOp("/"))) {
            ++i_;
            Unary();
            a = NumberType();
        }
        return a;
    }
    ColumnType Unary() {
        if (i_ < end_ && (t_[i_].IsOp("-") || t_[i_].IsOp("+"))) {
            ++i_;
            ColumnType a = Unary();
            return a.type == 0 ? a : NumberType();
        }
        return Primary();
    }
    std::vector<std::pair<size_t, size_t>> Args(size_t open, size_t close) {
        std::vector<std::pair<size_t, size_t>> args;
        size_t start = open + 1;
        int depth = 0;
        for (size_t k = open + 1; k < close; ++k) {
            if (t_[k].IsOp("("))
                ++depth;
            else if (t_[k].IsOp(")"))
                --depth;
            else if (depth == 0 && t_[k].IsOp(",")) {
                args.push_back({start, k});
                start = k + 1;
            }
        }
        if (start < close) args.push_back({start, close});
        return args;
    }
    ColumnType Sub(std::pair<size_t, size_t> r) {
        Inferer in(e_, t_, scope_);
        return in.Range(r.first, r.second);
    }
    ColumnType Primary() {
        if (i_ >= end_) return UnknownType();
        const Tok& t = t_[i_];
        switch (t.kind) {
        case TokKind::Number:
            ++i_;
            return NumberType();
        case TokKind::String: {
            ++i_;
            ColumnType c;
            c.type = t.text.empty() ? kOraVarchar2 : kOraChar;
            c.size = t.text.empty() ? 0 : static_cast<int>(t.text.size());
            return c;
        }
        case TokKind::Bind:
            ++i_;
            return VarcharOf(4000);
        case TokKind::Op:
            if (t.IsOp("(")) {
                size_t close = MatchParen(t_, i_, end_);
                ColumnType r;
                if (i_ + 1 < close && t_[i_ + 1].Is("SELECT")) {
                    r = SubqueryType(i_ + 1, close);
                } else {
                    r = Sub({i_ + 1, close});
                }
                i_ = close + 1;
                return r;
            }
            ++i_;
            return UnknownType();
        case TokKind::QuotedIdent:
        case TokKind::Ident:
            break;
        default:
            ++i_;
            return UnknownType();
        }
        if (t.Is("NULL")) {
            ++i_;
            return VarcharOf(0);
        }
        if ((t.Is("DATE") || t.Is("TIMESTAMP")) && i_ + 1 < end_ && t_[i_ + 1].kind == TokKind::String) {
            i_ += 2;
            return DateType();
        }
        if (t.Is("SYSDATE") || t.Is("CURRENT_DATE") || t.Is("SYSTIMESTAMP")) {
            ++i_;
            return DateType();
        }
        if (t.Is("USER")) {
            ++i_;
            return VarcharOf(30);
        }
        if (t.Is("ROWNUM") || t.Is("UID") || t.Is("LEVEL")) {
            ++i_;
            return NumberType();
        }
        if (t.Is("ROWID")) {
            ++i_;
            ColumnType c;
            c.type = kOraRowid;
            c.size = 18;
            return c;
        }
        if (t.Is("CASE")) {
            // type of the first THEN branch
            int depth = 0;
            size_t k = i_ + 1;
            ColumnType r = UnknownType();
            bool got = false;
            for (; k < end_; ++k) {
                if (t_[k].Is("CASE"))
                    ++depth;
                else if (t_[k].Is("END")) {
                    if (depth == 0) break;
                    --depth;
                } else if (!got && depth == 0 && t_[k].Is("THEN")) {
                    size_t s = k + 1, e = s;
                    int d2 = 0;
                    for (; e < end_; ++e) {
                        if (t_[e].IsOp("(") || t_[e].Is("CASE"))
                            ++d2;
                        else if (t_[e].IsOp(")") || (t_[e].Is("END") && d2 > 0))
                            --d2;
                        else if (d2 == 0 && (t_[e].Is("WHEN") || t_[e].Is("ELSE") || t_[e].Is("END")))
                            break;
                    }
                    r = Sub({s, e});
                    got = true;
                }
            }
            i_ = k + 1;
            return r;
        }
        // function call
        if (t.kind == TokKind::Ident && i_ + 1 < end_ && t_[i_ + 1].IsOp("(")) {
            size_t close = MatchParen(t_, i_ + 1, end_);
            auto args = Args(i_ + 1, close);
            std::string f = t.text;
            i_ = close + 1;
            static const std::set<std::string> dateF = {"TO_DATE", "ADD_MONTHS",   "LAST_DAY", "NEXT_DAY",
                                                        "SYSDATE", "TO_TIMESTAMP", "NEW_TIME"};
            static const std::set<std::string> numF = {"COUNT",
                                                       "SUM",
                                                       "AVG",
                                                       "LENGTH",
                                                       "LENGTHB",
                                                       "INSTR",
                                                       "TO_NUMBER",
                                                       "MOD",
                                                       "MONTHS_BETWEEN",
                                                       "SIGN",
                                                       "FLOOR",
                                                       "CEIL",
                                                       "POWER",
                                                       "SQRT",
                                                       "ASCII",
                                                       "NLS_CHARSET_ID",
                                                       "STDDEV",
                                                       "VARIANCE",
                                                       "ROW_NUMBER",
                                                       "RANK",
                                                       "DENSE_RANK",
                                                       "EXTRACT",
                                                       "ABS",
                                                       "EXP",
                                                       "LN",
                                                       "LOG",
                                                       "BITAND",
                                                       "VSIZE",
                                                       "DBMS_LOB.GETLENGTH",
                                                       "MEDIAN"};
            static const std::set<std::string> sameF = {"NVL",   "COALESCE", "MAX",   "MIN",   "TRUNC",
                                                        "ROUND", "GREATEST", "LEAST", "NULLIF"};
            if (dateF.count(f)) return DateType();
            if (numF.count(f)) return NumberType();
            if (sameF.count(f) && !args.empty()) {
                ColumnType a = Sub(args[0]);
                if ((f == "NVL" || f == "COALESCE") && args.size() > 1) {
                    ColumnType b = Sub(args[1]);
                    if (a.type == 0 || (a.type == kOraVarchar2 && a.size == 0))
                        a = b;
                    else if (a.type == kOraVarchar2 && b.type == kOraVarchar2)
                        a.size = std::max(a.size, b.size);
                }
                if ((f == "TRUNC" || f == "ROUND") && a.type == kOraNumber) a = NumberType();
                if (a.type == kOraChar) a.type = kOraVarchar2;
                return a;
            }
            if (f == "NVL2" && args.size() >= 2) return Sub(args[1]);
            if (f == "DECODE" && args.size() >= 3) {
                ColumnType a = Sub(args[2]);
                if (a.type == kOraChar || a.type == kOraVarchar2) {
                    int sz = a.size;
                    for (size_t k = 4; k < args.size(); k += 2)
                        sz = std::max(sz, Sub(args[k]).size);
                    if (args.size() % 2 == 0) sz = std::max(sz, Sub(args.back()).size);
                    a = VarcharOf(sz);
                }
                return a;
            }
            if (f == "TO_CHAR") {
                if (!args.empty() && Sub(args[0]).type == kOraDate) return VarcharOf(75);
                return VarcharOf(args.size() > 1 ? 64 : 40);
            }
            if ((f == "UPPER" || f == "LOWER" || f == "INITCAP" || f == "TRIM" || f == "LTRIM" ||
                 f == "RTRIM" || f == "REPLACE" || f == "TRANSLATE") &&
                !args.empty()) {
                ColumnType a = Sub(args[0]);
                return VarcharOf(a.type == kOraVarchar2 || a.type == kOraChar ? a.size : 4000);
            }
            if (f == "SUBSTR" && !args.empty()) {
                ColumnType a = Sub(args[0]);
                int sz = a.type == kOraVarchar2 || a.type == kOraChar ? a.size : 4000;
                if (args.size() > 2 && args[2].second == args[2].first + 1 &&
                    t_[args[2].first].kind == TokKind::Number)
                    sz = std::min(sz, std::atoi(t_[args[2].first].text.c_str()));
                return VarcharOf(sz);
            }
            if ((f == "LPAD" || f == "RPAD") && args.size() > 1 && args[1].second == args[1].first + 1 &&
                t_[args[1].first].kind == TokKind::Number)
                return VarcharOf(std::atoi(t_[args[1].first].text.c_str()));
            if (f == "CHR") return VarcharOf(1);
            return VarcharOf(4000);
        }
        // [qualifier .] column  or  sequence.NEXTVAL
        std::string q, name = NameOf(t);
        ++i_;
        while (i_ + 1 < end_ && t_[i_].IsOp(".") && IsName(t_[i_ + 1])) {
            q = name;
            name = NameOf(t_[i_ + 1]);
            i_ += 2;
        }
        if (name == "NEXTVAL" || name == "CURRVAL") return NumberType();
        return ColumnOf(q, name);
    }
    ColumnType ColumnOf(const std::string& q, const std::string& name) {
        for (const auto& [alias, ref] : scope_.tables) {
            if (!q.empty() && alias != q && ref.name != q) continue;
            for (const ColumnMeta& c : e_.TableColumns(ref.sqliteName))
                if (c.name == name) return c.t;
        }
        return UnknownType();
    }
    ColumnType SubqueryType(size_t selectTok, size_t close) {
        // first item of the sub-select
        size_t s = selectTok + 1;
        if (s < close && (t_[s].Is("DISTINCT") || t_[s].Is("ALL") || t_[s].Is("UNIQUE"))) ++s;
        size_t e = s;
        int depth = 0;
        for (; e < close; ++e) {
            if (t_[e].IsOp("("))
                ++depth;
            else if (t_[e].IsOp(")"))
                --depth;
            else if (depth == 0 && (t_[e].IsOp(",") || t_[e].Is("FROM")))
                break;
        }
        return Sub({s, e});
    }

    EmuEngine& e_;
    const std::vector<Tok>& t_;
    const Scope& scope_;
    size_t i_ = 0, end_ = 0;
};

class Translator {
public:
    Translator(EmuEngine& e, const std::vector<Tok>& t, size_t from, size_t to,
               const std::map<std::string, int>* bindMap, Translation& tr)
        : e_(e), t_(t), from_(from), to_(to), bindMap_(bindMap), tr_(tr), pre_(t.size() + 1), post_(t.size()),
          repl_(t.size()), skip_(t.size(), false), hasRepl_(t.size(), false) {}

    bool Run(std::string& out) {
        if (!FindTables()) return false;
        PlanSelectLists();
        PlanConcat();
        PlanDateLiterals();
        PlanRownumAndLocks();
        PlanOrderByNulls();
        if (tr_.error) return false;
        PlanHiddenRowid();
        return Emit(out);
    }
    Scope scope;

private:
    bool Fail(int code, const std::string& detail, size_t tok) {
        if (!tr_.error) tr_.error = MakeError(code, detail, static_cast<int>(t_[tok].pos));
        return false;
    }

    // Pass 1: table references.
    bool FindTables() {
        std::vector<bool> fromList(1, false);
        int depth = 0;
        bool expect = false, insertCtx = false;
        for (size_t i = from_; i < to_; ++i) {
            const Tok& t = t_[i];
            if (t.IsOp("(")) {
                ++depth;
                if ((int)fromList.size() <= depth) fromList.resize(depth + 1, false);
                fromList[depth] = false;
                expect = false;
                continue;
            }
            if (t.IsOp(")")) {
                fromList[depth] = false;
                if (depth > 0) --depth;
                continue;
            }
            if (expect && IsName(t)) {
                expect = false;
                RefPos rp;
                rp.start = i;
                std::string schema, name = NameOf(t);
                size_t j = i + 1;
                if (j + 1 < to_ && t_[j].IsOp(".") && IsName(t_[j + 1])) {
                    schema = name;
                    name = NameOf(t_[j + 1]);
                    j += 2;
                }
                if (j < to_ && t_[j].IsOp("@")) return Fail(942, "", i); // no database links here
                rp.end = j;
                if (j < to_ && t_[j].Is("AS") && j + 1 < to_ && IsName(t_[j + 1])) ++j;
                if (j < to_ &&
                    ((t_[j].kind == TokKind::Ident && !AliasStop().count(t_[j].text)) ||
                     t_[j].kind == TokKind::QuotedIdent) &&
                    !(insertCtx && j + 1 < to_ && t_[j].kind == TokKind::Ident && t_[j + 1].IsOp("(") &&
                      false))
                    rp.alias = NameOf(t_[j]);
                rp.insertTarget = insertCtx;
                if (!e_.ResolveTable(schema, name, rp.ref)) return Fail(942, "", i);
                if (rp.ref.dictionary) tr_.dictViews.insert(rp.ref.name);
                scope.tables.push_back({rp.alias.empty() ? rp.ref.name : rp.alias, rp.ref});
                if (insertCtx || updateTarget_) {
                    tr_.dmlTable = rp.ref.sqliteName;
                    updateTarget_ = false;
                }
                refs_[i] = rp;
                insertCtx = false;
                i = (rp.alias.empty() ? rp.end : j + 1) - 1;
                continue;
            }
            expect = false;
            if (t.kind != TokKind::Ident) {
                if (t.IsOp(",") && fromList[depth]) expect = true;
                continue;
            }
            if (t.Is("FROM")) {
                expect = true;
                fromList[depth] = !(i > from_ && t_[i - 1].Is("DELETE"));
                if (i > from_ && t_[i - 1].Is("DELETE")) updateTarget_ = true;
            } else if (t.Is("JOIN")) {
                expect = true;
                fromList[depth] = true;
            } else if (t.Is("INTO") && i > from_ && (t_[i - 1].Is("INSERT") || t_[i - 1].Is("ALL"))) {
                expect = true;
                insertCtx = true;
            } else if (t.Is("UPDATE") && !(i > from_ && t_[i - 1].Is("FOR"))) {
                expect = true;
                updateTarget_ = true;
            } else if (t.Is("DELETE") && i + 1 < to_ && !t_[i + 1].Is("FROM")) {
                expect = true;
                updateTarget_ = true;
                pre_[i + 1] += "FROM ";
            } else if (t.Is("TABLE") && i > from_ && (t_[i - 1].Is("LOCK") || t_[i - 1].Is("TRUNCATE"))) {
                expect = true;
            } else if (ClauseEnd().count(t.text) || t.Is("ON")) {
                if (!t.Is("ON")) fromList[depth] = false;
            }
        }
        return true;
    }

    // Select items: aliases as Oracle names them, inferred types.
    void PlanSelectLists() {
        for (size_t i = from_; i < to_; ++i) {
            if (!t_[i].Is("SELECT")) continue;
            size_t s = i + 1;
            if (s < to_ && (t_[s].Is("DISTINCT") || t_[s].Is("ALL") || t_[s].Is("UNIQUE"))) ++s;
            int depth = 0;
            size_t itemStart = s;
            for (size_t k = s; k <= to_; ++k) {
                bool end = k == to_;
                if (!end) {
                    if (t_[k].IsOp("(")) {
                        ++depth;
                        continue;
                    }
                    if (t_[k].IsOp(")")) {
                        if (depth == 0)
                            end = true;
                        else {
                            --depth;
                            continue;
                        }
                    }
                }
                bool sep = !end && depth == 0 && t_[k].IsOp(",");
                bool stop =
                    end || (depth == 0 && (t_[k].Is("FROM") || t_[k].Is("INTO") || t_[k].Is("UNION") ||
                                           t_[k].Is("MINUS") || t_[k].Is("INTERSECT")));
                if (sep || stop) {
                    PlanItem(itemStart, k);
                    itemStart = k + 1;
                }
                if (stop) break;
            }
        }
    }

    void PlanItem(size_t s, size_t e) {
        if (s >= e) return;
        if (e - s == 1 && t_[s].IsOp("*")) return;
        if (e - s >= 3 && t_[e - 1].IsOp("*") && t_[e - 2].IsOp(".")) return;
        // alias?
        size_t exprEnd = e;
        std::string alias;
        if (e - s >= 2 && IsName(t_[e - 1]) &&
            !(t_[e - 1].kind == TokKind::Ident && SqlKeywords().count(t_[e - 1].text) &&
              !t_[e - 2].Is("AS"))) {
            const Tok& prev = t_[e - 2];
            bool aliasLike =
                prev.Is("AS") || prev.IsOp(")") || prev.kind == TokKind::Number ||
                prev.kind == TokKind::String || prev.kind == TokKind::Bind ||
                (IsName(prev) && !prev.IsOp(".") && !(prev.kind == TokKind::Ident && (prev.Is("DISTINCT"))));
            if (IsName(prev) && e - s >= 3 && t_[e - 3].IsOp(".")) aliasLike = true; // a.b alias
            if (prev.Is("END")) aliasLike = true;
            if (aliasLike) {
                alias = NameOf(t_[e - 1]);
                exprEnd = prev.Is("AS") ? e - 2 : e - 1;
            }
        }
        Inferer inf(e_, t_, scope);
        ColumnType ct = inf.Range(s, exprEnd);
        if (alias.empty()) {
            // a plain (qualified) column keeps its own name; anything else is named by its text
            bool plainColumn = true;
            for (size_t k = s; k < exprEnd; ++k)
                if (!(IsName(t_[k]) || t_[k].IsOp("."))) plainColumn = false;
            if (plainColumn && IsName(t_[exprEnd - 1]) && !t_[exprEnd - 1].Is("SYSDATE") &&
                !t_[exprEnd - 1].Is("USER") && !t_[exprEnd - 1].Is("ROWNUM") &&
                !t_[exprEnd - 1].Is("NEXTVAL") && !t_[exprEnd - 1].Is("CURRVAL") &&
                !t_[exprEnd - 1].Is("UID") && !t_[exprEnd - 1].Is("NULL")) {
                if (!t_[exprEnd - 1].Is("ROWID")) {
                    tr_.itemTypes[NameOf(t_[exprEnd - 1])] = ct;
                    return;
                }
            }
            std::string name;
            // Oracle names a qualified ROWID column plainly ROWID.
            const size_t from = plainColumn && t_[exprEnd - 1].Is("ROWID") ? exprEnd - 1 : s;
            for (size_t k = from; k < exprEnd; ++k) {
                const Tok& t = t_[k];
                if (t.kind == TokKind::QuotedIdent)
                    name += t.text;
                else
                    name += UpperAscii(t.raw);
            }
            if (name.size() > 30 && false) name.resize(30);
            alias = name;
        }
        post_[exprEnd - 1] += " AS " + QuoteIdent(alias);
        for (size_t k = exprEnd; k < e; ++k)
            skip_[k] = true;
        tr_.itemTypes[alias] = ct;
    }

    // Oracle's || treats NULL as an empty string; dates are shown in the session's format.
    size_t OperandStartBack(size_t k) { // operand ends at k (inclusive)
        size_t i = k;
        if (t_[i].IsOp(")")) {
            int depth = 0;
            for (size_t j = i + 1; j-- > from_;) {
                if (t_[j].IsOp(")"))
                    ++depth;
                else if (t_[j].IsOp("(") && --depth == 0) {
                    i = j;
                    break;
                }
            }
            if (i > from_ && t_[i - 1].kind == TokKind::Ident && !SqlKeywords().count(t_[i - 1].text)) --i;
        } else if (t_[i].Is("END")) {
            int depth = 0;
            for (size_t j = i + 1; j-- > from_;) {
                if (t_[j].Is("END"))
                    ++depth;
                else if (t_[j].Is("CASE") && --depth == 0) {
                    i = j;
                    break;
                }
            }
        } else if (t_[i].kind == TokKind::String && i > from_ && (t_[i - 1].Is("DATE"))) {
            --i;
        }
        while (i >= from_ + 2 && t_[i - 1].IsOp(".") && IsName(t_[i - 2]))
            i -= 2;
        return i;
    }
    size_t OperandEndFwd(size_t i) { // operand starts at i; returns the last token index
        if (i >= to_) return i;
        if (t_[i].IsOp("-") || t_[i].IsOp("+")) return OperandEndFwd(i + 1);
        if (t_[i].IsOp("(")) return MatchParen(t_, i, to_);
        if (t_[i].Is("CASE")) {
            int depth = 0;
            for (size_t j = i; j < to_; ++j) {
                if (t_[j].Is("CASE"))
                    ++depth;
                else if (t_[j].Is("END") && --depth == 0)
                    return j;
            }
            return to_ - 1;
        }
        if (t_[i].Is("DATE") && i + 1 < to_ && t_[i + 1].kind == TokKind::String) return i + 1;
        size_t j = i;
        while (j + 2 < to_ && t_[j + 1].IsOp(".") && IsName(t_[j + 2]))
            j += 2;
        if (j + 1 < to_ && t_[j + 1].IsOp("(") && t_[j].kind == TokKind::Ident)
            return MatchParen(t_, j + 1, to_);
        return j;
    }
    void WrapOperand(size_t s, size_t e) {
        Inferer inf(e_, t_, scope);
        ColumnType ct = inf.Range(s, e + 1);
        if (ct.type == kOraDate) {
            pre_[s] += "vemu_datechar(";
            post_[e] = ")" + post_[e];
        } else {
            pre_[s] += "vemu_str(";
            post_[e] = ")" + post_[e];
        }
    }
    void PlanConcat() {
        std::set<size_t> wrappedStart;
        for (size_t k = from_; k < to_; ++k) {
            if (!t_[k].IsOp("||") || k == from_ || k + 1 >= to_) continue;
            size_t ls = OperandStartBack(k - 1);
            if (!wrappedStart.count(ls)) {
                WrapOperand(ls, k - 1);
                wrappedStart.insert(ls);
            }
            size_t re = OperandEndFwd(k + 1);
            if (re >= to_) re = to_ - 1;
            WrapOperand(k + 1, re);
            wrappedStart.insert(k + 1);
        }
    }

    // A single-table query over a table with LOB columns also returns the rowid, so that the LOB values can
    // be handed out as locators of their rows (which can then be written).
    void PlanHiddenRowid() {
        if (bindMap_ || scope.tables.size() != 1 || !t_[from_].Is("SELECT")) return;
        const TableRef& ref = scope.tables[0].second;
        if (ref.dictionary || ref.isView) return;
        bool lob = false;
        for (const ColumnMeta& c : e_.TableColumns(ref.sqliteName))
            if (c.t.type == kOraClob || c.t.type == kOraBlob) lob = true;
        if (!lob) return;
        int depth = 0;
        size_t fromTok = 0;
        for (size_t k = from_; k < to_; ++k) {
            if (t_[k].IsOp("("))
                ++depth;
            else if (t_[k].IsOp(")"))
                --depth;
            else if (depth == 0 && (t_[k].Is("DISTINCT") || t_[k].Is("UNIQUE") || t_[k].Is("GROUP") ||
                                    t_[k].Is("UNION") || t_[k].Is("MINUS") || t_[k].Is("INTERSECT")))
                return;
            else if (depth == 0 && t_[k].Is("FROM") && !fromTok)
                fromTok = k;
        }
        if (!fromTok) return;
        pre_[fromTok] += ", " + QuoteIdent(scope.tables[0].first) + ".rowid AS \"VEMU$RID\" ";
        tr_.hiddenRowid = true;
    }

    // hiredate > '01-JAN-81': Oracle converts the text with the session's date format
    void PlanDateLiterals() {
        auto isCmp = [&](size_t k) {
            static const char* ops[] = {"=", "<>", "!=", "^=", "<", ">", "<=", ">="};
            for (const char* op : ops)
                if (t_[k].IsOp(op)) return true;
            return t_[k].Is("BETWEEN") || t_[k].Is("AND") || t_[k].Is("IN") || t_[k].IsOp(",") ||
                   (t_[k].IsOp("(") && k > from_ && t_[k - 1].Is("IN"));
        };
        auto dateAt = [&](size_t last) {
            if (!(IsName(t_[last]) || t_[last].IsOp(")"))) return false;
            size_t first = OperandStartBack(last);
            Inferer inf(e_, t_, scope);
            return inf.Range(first, last + 1).type == kOraDate;
        };
        for (size_t k = from_ + 2; k < to_; ++k) {
            if (t_[k].kind != TokKind::String || !isCmp(k - 1)) continue;
            size_t op = k - 1;
            bool date = false;
            if (t_[op].Is("AND")) { // x BETWEEN 'a' AND 'b'
                if (k >= from_ + 4 && t_[k - 2].kind == TokKind::String && t_[k - 3].Is("BETWEEN"))
                    date = dateAt(k - 4);
            } else if (t_[op].IsOp("(")) { // x IN ('a', ...
                if (op >= from_ + 2) date = dateAt(op - 2);
            } else if (t_[op].IsOp(",") || t_[op].Is("IN")) { // x IN ('a', 'b')
                size_t j = op;
                while (j > from_ && !t_[j].Is("IN")) {
                    if (t_[j].IsOp("(") && j > from_ && t_[j - 1].Is("IN")) break;
                    if (!(t_[j].IsOp(",") || t_[j].IsOp("(") || t_[j].kind == TokKind::String)) break;
                    --j;
                }
                if (t_[j].IsOp("(") && j > from_ + 1 && t_[j - 1].Is("IN"))
                    date = dateAt(j - 2);
                else if (t_[j].Is("IN") && j > from_)
                    date = dateAt(j - 1);
            } else {
                date = dateAt(op - 1);
            }
            if (!date) continue;
            pre_[k] += "vemu_to_date(";
            post_[k] = ")" + post_[k];
        }
        // '01-JAN-81' < hiredate
        for (size_t k = from_; k + 2 < to_; ++k) {
            if (t_[k].kind != TokKind::String || !isCmp(k + 1) || t_[k + 1].Is("AND") || t_[k + 1].IsOp(","))
                continue;
            size_t end = OperandEndFwd(k + 2);
            if (end >= to_) continue;
            Inferer inf(e_, t_, scope);
            if (inf.Range(k + 2, end + 1).type != kOraDate) continue;
            pre_[k] += "vemu_to_date(";
            post_[k] = ")" + post_[k];
        }
    }

    size_t SelectLevelEnd(size_t i) {
        int depth = 0;
        for (size_t k = i; k < to_; ++k) {
            if (t_[k].IsOp("("))
                ++depth;
            else if (t_[k].IsOp(")")) {
                if (depth == 0) return k;
                --depth;
            } else if (depth == 0 && (t_[k].Is("UNION") || t_[k].Is("MINUS") || t_[k].Is("INTERSECT") ||
                                      (t_[k].Is("FOR") && k + 1 < to_ && t_[k + 1].Is("UPDATE"))))
                return k;
        }
        return to_;
    }

    // SELECT COUNT(*) FROM t WHERE ... AND ROWNUM <= n: the limit must apply before the aggregation, so the
    // one table of the FROM clause becomes (SELECT * FROM t WHERE ... LIMIT n) t.
    bool WrapLimited(size_t rownumTok, long long n) {
        // find the SELECT and FROM of this level
        int depth = 0;
        size_t sel = std::string::npos, from = std::string::npos, where = std::string::npos;
        for (size_t k = rownumTok; k-- > from_;) {
            if (t_[k].IsOp(")"))
                ++depth;
            else if (t_[k].IsOp("(")) {
                if (depth == 0) break;
                --depth;
            } else if (depth == 0 && t_[k].Is("WHERE") && where == std::string::npos)
                where = k;
            else if (depth == 0 && t_[k].Is("FROM") && from == std::string::npos)
                from = k;
            else if (depth == 0 && t_[k].Is("SELECT")) {
                sel = k;
                break;
            }
        }
        if (sel == std::string::npos || from == std::string::npos || where == std::string::npos) return false;
        bool aggregate = false;
        static const std::set<std::string> agg = {"COUNT", "SUM", "AVG", "MIN", "MAX", "DISTINCT", "UNIQUE"};
        for (size_t k = sel + 1; k < from; ++k)
            if (t_[k].kind == TokKind::Ident && agg.count(t_[k].text)) aggregate = true;
        size_t end = SelectLevelEnd(rownumTok);
        size_t clauseEnd = end;
        depth = 0;
        for (size_t k = where; k < end; ++k) {
            if (t_[k].IsOp("("))
                ++depth;
            else if (t_[k].IsOp(")"))
                --depth;
            else if (depth == 0 && (t_[k].Is("GROUP") || t_[k].Is("ORDER") || t_[k].Is("HAVING"))) {
                if (t_[k].Is("GROUP")) aggregate = true;
                clauseEnd = k;
                break;
            }
        }
        if (!aggregate) return false;
        auto ref = refs_.find(from + 1);
        if (ref == refs_.end()) return false;
        size_t afterRef = ref->second.alias.empty() ? ref->second.end : ref->second.end + 1;
        if (afterRef < to_ && t_[afterRef - 1].Is("AS")) ++afterRef;
        if (afterRef != where) return false; // more than one table
        std::string alias = ref->second.alias.empty() ? ref->second.ref.name : ref->second.alias;
        pre_[from + 1] += "(SELECT * FROM ";
        pre_[clauseEnd] += " LIMIT " + std::to_string(n) + ") AS " + QuoteIdent(alias) + " ";
        return true;
    }

    void PlanRownumAndLocks() {
        // SELECT ... UNION (SELECT ...): SQLite takes the members of a compound select without parentheses
        for (size_t i = from_; i + 2 < to_; ++i) {
            bool setOp =
                t_[i].Is("UNION") || t_[i].Is("MINUS") || t_[i].Is("INTERSECT") || t_[i].Is("EXCEPT");
            size_t open = i + 1;
            if (setOp && t_[open].Is("ALL")) ++open;
            if (setOp && open + 1 < to_ && t_[open].IsOp("(") && t_[open + 1].Is("SELECT")) {
                size_t close = MatchParen(t_, open, to_);
                if (close < to_) {
                    skip_[open] = true;
                    skip_[close] = true;
                }
            }
        }
        for (size_t i = from_; i < to_; ++i) {
            const Tok& t = t_[i];
            if (t.Is("ROWNUM") && i > from_ && (t_[i - 1].Is("WHERE") || t_[i - 1].Is("AND")) &&
                i + 2 < to_ && t_[i + 2].kind == TokKind::Number &&
                (t_[i + 1].IsOp("<=") || t_[i + 1].IsOp("<") || t_[i + 1].IsOp("="))) {
                long long n = std::atoll(t_[i + 2].text.c_str());
                if (t_[i + 1].IsOp("<")) --n;
                if (t_[i + 1].IsOp("=")) n = n == 1 ? 1 : 0;
                if (n < 0) n = 0;
                repl_[i] = "1";
                hasRepl_[i] = true;
                skip_[i + 1] = skip_[i + 2] = true;
                if (!WrapLimited(i, n)) pre_[SelectLevelEnd(i)] += " LIMIT " + std::to_string(n) + " ";
                i += 2;
            } else if (t.Is("FOR") && i + 1 < to_ && t_[i + 1].Is("UPDATE")) {
                int depth = 0;
                for (size_t k = from_; k < i; ++k)
                    depth += t_[k].IsOp("(") ? 1 : (t_[k].IsOp(")") ? -1 : 0);
                if (depth != 0) continue;
                tr_.lockRows = true;
                for (size_t k = i; k < to_; ++k) {
                    if (t_[k].Is("NOWAIT")) tr_.noWait = true;
                    skip_[k] = true;
                }
                break;
            }
        }
    }

    // Oracle sorts NULLs last in ascending and first in descending order, SQLite the other way round: every
    // ORDER BY item that does not say where its NULLs go gets Oracle's place written out.
    void PlanOrderByNulls() {
        for (size_t i = from_; i + 1 < to_; ++i) {
            if (!(t_[i].Is("ORDER") && t_[i + 1].Is("BY"))) continue;
            size_t itemStart = i + 2, k = i + 2;
            auto finish = [&](size_t end) { // the item is [itemStart, end)
                if (end <= itemStart) return;
                int depth = 0;
                for (size_t m = itemStart; m < end; ++m) {
                    depth += t_[m].IsOp("(") ? 1 : (t_[m].IsOp(")") ? -1 : 0);
                    if (depth == 0 && t_[m].Is("NULLS")) return;
                }
                post_[end - 1] += t_[end - 1].Is("DESC") ? " NULLS FIRST" : " NULLS LAST";
            };
            int depth = 0;
            for (; k < to_; ++k) {
                const Tok& t = t_[k];
                if (t.kind == TokKind::End || t.IsOp(";")) break;
                if (t.IsOp("(")) {
                    ++depth;
                } else if (t.IsOp(")")) {
                    if (depth == 0) break;
                    --depth;
                } else if (depth == 0) {
                    if (t.IsOp(",")) {
                        finish(k);
                        itemStart = k + 1;
                    } else if (t.Is("FOR") || t.Is("UNION") || t.Is("MINUS") || t.Is("INTERSECT") ||
                               t.Is("EXCEPT") || t.Is("ROWS") || t.Is("RANGE") || t.Is("LIMIT") ||
                               t.Is("OFFSET") || t.Is("FETCH")) {
                        break;
                    }
                }
            }
            // Tokens dropped from the text (FOR UPDATE) end the list where they start.
            while (k > itemStart && skip_[k - 1])
                --k;
            finish(k);
        }
    }

    std::string Tr(size_t i, size_t& next) {
        const Tok& t = t_[i];
        next = i + 1;
        switch (t.kind) {
        case TokKind::String:
            if (t.text.empty()) return "NULL";
            return QuoteLiteral(t.text);
        case TokKind::Number: {
            // A literal a double would round goes in as the exact text SQLite keeps it in.
            Decimal d;
            if (t.text.size() > 15 && DecimalFromText(t.text, d) && IsWideDecimal(d))
                return QuoteLiteral(WideNumberText(d));
            return t.text;
        }
        case TokKind::QuotedIdent:
            return QuoteIdent(t.text);
        case TokKind::Bind: {
            if (bindMap_) {
                auto it = bindMap_->find(UpperAscii(t.text));
                if (it == bindMap_->end()) {
                    Fail(1008, "", i);
                    return "NULL";
                }
                return "?" + std::to_string(it->second);
            }
            return "?" + std::to_string(++tr_.bindCount);
        }
        case TokKind::Op:
            if (t.IsOp("-") && i + 1 < to_ && t_[i + 1].kind == TokKind::Number &&
                t_[i + 1].text.size() > 15) {
                // A negative literal a double would round: the minus goes into the exact text, when it is
                // a sign (not a subtraction).
                const bool sign = i == from_ || (t_[i - 1].kind == TokKind::Op && !t_[i - 1].IsOp(")")) ||
                                  t_[i - 1].Is("SELECT") || t_[i - 1].Is("THEN") || t_[i - 1].Is("ELSE") ||
                                  t_[i - 1].Is("RETURN") || t_[i - 1].Is("AND") || t_[i - 1].Is("OR");
                Decimal d;
                if (sign && DecimalFromText("-" + t_[i + 1].text, d) && IsWideDecimal(d)) {
                    next = i + 2;
                    return pre_[i + 1] + QuoteLiteral(WideNumberText(d));
                }
            }
            if (t.text == "!=" || t.text == "^=") return "<>";
            if (t.text == "/") return "* 1.0 /"; // Oracle divides exactly
            if (t.text == ":=" || t.text == "@") {
                Fail(933, "", i);
                return "";
            }
            return t.text;
        case TokKind::End:
            return "";
        case TokKind::Ident:
            break;
        }
        const std::string& w = t.text;
        bool call = i + 1 < to_ && t_[i + 1].IsOp("(");
        // sequence.NEXTVAL, schema.sequence.NEXTVAL
        if (i + 2 < to_ && t_[i + 1].IsOp(".") && (t_[i + 2].Is("NEXTVAL") || t_[i + 2].Is("CURRVAL"))) {
            next = i + 3;
            return "vemu_seq(" + QuoteLiteral(e_.User()) + "," + QuoteLiteral(w) + "," +
                   (t_[i + 2].Is("NEXTVAL") ? "1" : "0") + ")";
        }
        if (i + 4 < to_ && t_[i + 1].IsOp(".") && IsName(t_[i + 2]) && t_[i + 3].IsOp(".") &&
            (t_[i + 4].Is("NEXTVAL") || t_[i + 4].Is("CURRVAL"))) {
            next = i + 5;
            return "vemu_seq(" + QuoteLiteral(w) + "," + QuoteLiteral(NameOf(t_[i + 2])) + "," +
                   (t_[i + 4].Is("NEXTVAL") ? "1" : "0") + ")";
        }
        if (call) {
            static const std::map<std::string, std::string> fmap = {{"NVL", "ifnull"},
                                                                    {"SUBSTR", "vemu_substr"},
                                                                    {"SUBSTRB", "vemu_substr"},
                                                                    {"INSTR", "vemu_instr"},
                                                                    {"UPPER", "vemu_upper"},
                                                                    {"LOWER", "vemu_lower"},
                                                                    {"LENGTH", "vemu_length"},
                                                                    {"LENGTHB", "vemu_lengthb"},
                                                                    {"REPLACE", "vemu_replace"},
                                                                    {"CONCAT", "vemu_concat"},
                                                                    {"TO_DATE", "vemu_to_date"},
                                                                    {"TO_NUMBER", "vemu_to_number"},
                                                                    {"DECODE", "vemu_decode"},
                                                                    {"NVL2", "vemu_nvl2"},
                                                                    {"MOD", "vemu_mod"},
                                                                    {"TRUNC", "vemu_trunc"},
                                                                    {"ROUND", "vemu_round"},
                                                                    {"ADD_MONTHS", "vemu_add_months"},
                                                                    {"LAST_DAY", "vemu_last_day"},
                                                                    {"MONTHS_BETWEEN", "vemu_months_between"},
                                                                    {"LPAD", "vemu_lpad"},
                                                                    {"RPAD", "vemu_rpad"},
                                                                    {"INITCAP", "vemu_initcap"},
                                                                    {"CHR", "vemu_chr"},
                                                                    {"UNISTR", "vemu_unistr"},
                                                                    {"ASCII", "vemu_ascii"},
                                                                    {"FLOOR", "vemu_floor"},
                                                                    {"CEIL", "vemu_ceil"},
                                                                    {"SIGN", "vemu_sign"},
                                                                    {"POWER", "vemu_power"},
                                                                    {"SQRT", "vemu_sqrt"},
                                                                    {"GREATEST", "max"},
                                                                    {"LEAST", "min"},
                                                                    {"NLS_CHARSET_ID", "vemu_charset_id"},
                                                                    {"SYS_CONTEXT", "vemu_sys_context"},
                                                                    {"USERENV", "vemu_userenv"},
                                                                    {"NEXT_DAY", "vemu_next_day"},
                                                                    {"TO_TIMESTAMP", "vemu_to_date"},
                                                                    {"RAWTOHEX", "hex"},
                                                                    {"HEXTORAW", "vemu_hextoraw"},
                                                                    {"TO_CLOB", "vemu_str"},
                                                                    {"TRANSLATE", "vemu_translate"},
                                                                    {"EMPTY_CLOB", "vemu_empty_clob"},
                                                                    {"EMPTY_BLOB", "vemu_empty_blob"},
                                                                    {"VSIZE", "vemu_lengthb"},
                                                                    {"BITAND", "vemu_bitand"},
                                                                    {"DUMP", "vemu_str"}};
            if (w == "TO_CHAR") {
                size_t close = MatchParen(t_, i + 1, to_);
                // first argument's type decides between the date and the number form
                size_t argEnd = i + 2;
                int depth = 0;
                for (; argEnd < close; ++argEnd) {
                    if (t_[argEnd].IsOp("("))
                        ++depth;
                    else if (t_[argEnd].IsOp(")"))
                        --depth;
                    else if (depth == 0 && t_[argEnd].IsOp(","))
                        break;
                }
                Inferer inf(e_, t_, scope);
                ColumnType ct = inf.Range(i + 2, argEnd);
                return ct.type == kOraDate ? "vemu_to_char_date" : "vemu_to_char";
            }
            if (w == "TRUNC" || w == "ROUND") {
                size_t close = MatchParen(t_, i + 1, to_);
                size_t argEnd = i + 2;
                int depth = 0;
                for (; argEnd < close; ++argEnd) {
                    if (t_[argEnd].IsOp("("))
                        ++depth;
                    else if (t_[argEnd].IsOp(")"))
                        --depth;
                    else if (depth == 0 && t_[argEnd].IsOp(","))
                        break;
                }
                Inferer inf(e_, t_, scope);
                if (inf.Range(i + 2, argEnd).type == kOraDate)
                    return w == "TRUNC" ? "vemu_trunc_date" : "vemu_round_date";
            }
            auto it = fmap.find(w);
            if (it != fmap.end()) return it->second;
            if (w == "DBMS_LOB") return "vemu_dbms_lob";
            return w; // COUNT, SUM, AVG, MIN, MAX, ABS, COALESCE, NULLIF, ROW_NUMBER ...
        }
        if (w == "SYSDATE" || w == "CURRENT_DATE" || w == "SYSTIMESTAMP") return "vemu_sysdate()";
        if (w == "USER") return "vemu_user()";
        if (w == "UID") return "vemu_uid()";
        if (w == "ROWNUM") return "(row_number() OVER ())";
        if (w == "VEMU$ROWID") return "rowid";
        if (w == "MINUS") return "EXCEPT";
        if (w == "ROWID") {
            // the ROWID of the (qualified or only) table
            std::string q;
            if (i >= from_ + 2 && t_[i - 1].IsOp(".")) q = ""; // qualifier already written
            const TableRef* ref = scope.tables.empty() ? nullptr : &scope.tables.front().second;
            if (i >= from_ + 2 && t_[i - 1].IsOp(".")) {
                std::string qual = NameOf(t_[i - 2]);
                for (const auto& [alias, r] : scope.tables)
                    if (alias == qual) ref = &r;
            }
            std::string obj = ref ? QuoteLiteral(ref->sqliteName) : "''";
            if (i >= from_ + 2 && t_[i - 1].IsOp(".")) return "rowid";
            return "vemu_rowid(" + obj + ", rowid)";
        }
        if ((w == "DATE" || w == "TIMESTAMP") && i + 1 < to_ && t_[i + 1].kind == TokKind::String) {
            next = i + 2;
            return "vemu_to_date(" + QuoteLiteral(t_[i + 1].text) + ",'YYYY-MM-DD HH24:MI:SS')";
        }
        if (SqlKeywords().count(w)) return w;
        return QuoteIdent(w);
    }

    bool Emit(std::string& out) {
        for (size_t i = from_; i < to_;) {
            out += pre_[i];
            auto rit = refs_.find(i);
            if (rit != refs_.end() && !skip_[i]) {
                const RefPos& rp = rit->second;
                out += rp.ref.dictionary ? "temp." + QuoteIdent(rp.ref.sqliteName)
                                         : QuoteIdent(rp.ref.sqliteName);
                if (rp.alias.empty()) {
                    if (!rp.insertTarget) out += " AS " + QuoteIdent(rp.ref.name);
                } else {
                    out += " AS " + QuoteIdent(rp.alias);
                }
                out += " ";
                size_t after = rp.end;
                if (!rp.alias.empty()) {
                    after = rp.end;
                    if (t_[after].Is("AS")) ++after;
                    ++after;
                }
                for (size_t k = i; k < after; ++k)
                    out += post_[k];
                i = after;
                continue;
            }
            if (skip_[i]) {
                ++i;
                continue;
            }
            size_t next;
            std::string piece;
            if (hasRepl_[i]) {
                piece = repl_[i];
                next = i + 1;
            } else {
                // ROWID after a qualifier: alias.ROWID -> vemu_rowid(table, alias.rowid)
                if (t_[i].Is("ROWID") && i >= from_ + 2 && t_[i - 1].IsOp(".") && IsName(t_[i - 2])) {
                    std::string qual = NameOf(t_[i - 2]);
                    std::string obj = "''";
                    for (const auto& [alias, r] : scope.tables)
                        if (alias == qual) obj = QuoteLiteral(r.sqliteName);
                    // rewrite what was written for the qualifier and the dot
                    size_t cut = out.rfind(QuoteIdent(qual));
                    if (cut != std::string::npos) out.erase(cut);
                    piece = "vemu_rowid(" + obj + "," + QuoteIdent(qual) + ".rowid)";
                    next = i + 1;
                } else {
                    piece = Tr(i, next);
                }
            }
            out += piece;
            for (size_t k = i; k < next; ++k)
                out += post_[k];
            out += " ";
            i = next;
        }
        out += pre_[to_];
        return !tr_.error;
    }

    EmuEngine& e_;
    const std::vector<Tok>& t_;
    size_t from_, to_;
    const std::map<std::string, int>* bindMap_;
    Translation& tr_;
    std::map<size_t, RefPos> refs_;
    std::vector<std::string> pre_, post_, repl_;
    std::vector<bool> skip_, hasRepl_;
    bool updateTarget_ = false;
};

int CommandTypeOf(const std::string& w) {
    if (w == "SELECT" || w == "WITH") return 3;
    if (w == "INSERT") return 2;
    if (w == "UPDATE") return 6;
    if (w == "DELETE") return 7;
    return 0;
}

} // namespace

std::string TranslateFragment(EmuEngine& e, const std::vector<Tok>& toks, size_t from, size_t to,
                              const std::map<std::string, int>& bindIndex, OraError& err,
                              std::map<std::string, ColumnType>* itemTypes) {
    Translation tr;
    Translator t(e, toks, from, to, &bindIndex, tr);
    std::string out;
    t.Run(out);
    err = tr.error;
    if (itemTypes) *itemTypes = tr.itemTypes;
    if (!tr.dictViews.empty()) {
        e.PrepareDictionary(tr.dictViews);
        e.RefreshDictionary(tr.dictViews);
    }
    return out;
}

ColumnType InferFragmentType(EmuEngine& e, const std::vector<Tok>& toks, size_t from, size_t to) {
    Scope s;
    Inferer inf(e, toks, s);
    return inf.Range(from, to);
}

Translation TranslateStatement(EmuEngine& e, const std::vector<Tok>& toks, const std::string& text) {
    Translation tr;
    size_t first = 0;
    while (first < toks.size() && toks[first].IsOp("("))
        ++first;
    const Tok& t0 = toks[first];
    size_t end = toks.size() - 1; // End token
    while (end > 0 && toks[end - 1].IsOp(";"))
        --end;
    if (t0.kind == TokKind::End) {
        tr.error = MakeError(900);
        return tr;
    }
    std::string w = t0.kind == TokKind::Ident ? t0.text : "";
    if (w == "EXPLAIN") return TranslateExplain(e, toks, text);
    if (std::string rewritten; w != "BEGIN" && w != "DECLARE" && RewriteXplanDisplay(toks, text, rewritten)) {
        bool ok;
        size_t ep;
        return TranslateStatement(e, Tokenize(rewritten, ok, ep), rewritten);
    }
    if (w == "BEGIN" || w == "DECLARE") {
        tr.kind = StmtKind::Plsql;
        tr.commandType = 47;
        return tr;
    }
    if (w == "COMMIT") {
        tr.kind = StmtKind::Commit;
        tr.commandType = 44;
        return tr;
    }
    if (w == "ROLLBACK") {
        tr.commandType = 45;
        // ROLLBACK [WORK] [TO [SAVEPOINT] name]
        size_t i = 1;
        if (toks[i].Is("WORK")) ++i;
        if (toks[i].Is("TO")) {
            ++i;
            if (toks[i].Is("SAVEPOINT")) ++i;
            if (!IsName(toks[i])) {
                tr.error = MakeError(933, "", static_cast<int>(toks[i].pos));
                return tr;
            }
            tr.kind = StmtKind::RollbackTo;
            tr.savepoint = NameOf(toks[i]);
            return tr;
        }
        tr.kind = StmtKind::Rollback;
        return tr;
    }
    if (w == "SAVEPOINT") {
        tr.commandType = 46;
        if (!IsName(toks[1])) {
            tr.error = MakeError(933, "", static_cast<int>(toks[1].pos));
            return tr;
        }
        tr.kind = StmtKind::Savepoint;
        tr.savepoint = NameOf(toks[1]);
        return tr;
    }
    if (w == "SET" && toks[1].Is("TRANSACTION")) {
        tr.kind = StmtKind::Ignore;
        tr.commandType = 48;
        return tr;
    }
    if (w == "ALTER" && toks[1].Is("SESSION")) {
        tr.kind = StmtKind::AlterSession;
        tr.commandType = 42;
        // ALTER SESSION SET name = value
        if (!toks[2].Is("SET") || !IsName(toks[3]) || !toks[4].IsOp("=")) {
            tr.error = MakeError(922, "", static_cast<int>(toks[std::min<size_t>(2, end)].pos));
            return tr;
        }
        tr.alterName = NameOf(toks[3]);
        tr.alterValue = toks[5].kind == TokKind::String || toks[5].kind == TokKind::QuotedIdent
                            ? toks[5].text
                            : toks[5].text;
        return tr;
    }
    if (w == "CREATE" || w == "DROP" || w == "ALTER" || w == "TRUNCATE" || w == "COMMENT" || w == "GRANT" ||
        w == "REVOKE" || w == "RENAME" || w == "ANALYZE")
        return TranslateDdl(e, toks, text);
    if (w == "LOCK") {
        tr.kind = StmtKind::Dml;
        tr.commandType = 26;
        tr.lockRows = true;
        std::string out;
        Translator t(e, toks, 0, end, nullptr, tr);
        if (!t.Run(out)) return tr;
        for (size_t i = 0; i < end; ++i)
            if (toks[i].Is("NOWAIT")) tr.noWait = true;
        tr.sql.clear(); // nothing to run: the lock is the write lock
        return tr;
    }
    int ct = CommandTypeOf(w);
    if (ct == 0 && !toks[0].IsOp("(")) {
        if (w == "MERGE" || w == "EXPLAIN" || w == "CALL") {
            tr.error = MakeError(900, "", static_cast<int>(t0.pos));
            return tr;
        }
        tr.error = MakeError(900, "", static_cast<int>(t0.pos));
        return tr;
    }
    if (ct == 0) ct = 3;
    tr.commandType = ct;
    tr.kind = ct == 3 ? StmtKind::Query : StmtKind::Dml;
    std::string out;
    Translator t(e, toks, 0, end, nullptr, tr);
    if (!t.Run(out)) return tr;
    tr.sql = out;
    return tr;
}

} // namespace vemu
