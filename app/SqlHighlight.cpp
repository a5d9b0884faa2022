#include "app/SqlHighlight.h"

#include "dataset/OraParser.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>

namespace {

// Sorted (byte order) for a binary search: SQL and the PL/SQL words a block is built from.
constexpr std::string_view kKeywords[] = {
    "ADD",     "ALL",      "ALTER",      "AND",       "ANY",      "AS",         "ASC",       "BEGIN",
    "BETWEEN", "BODY",     "BOOLEAN",    "BY",        "CASE",     "CHAR",       "CHECK",     "CLOSE",
    "COLUMN",  "COMMENT",  "COMMIT",     "CONNECT",   "CONSTANT", "CONSTRAINT", "CREATE",    "CROSS",
    "CURSOR",  "DATE",     "DECLARE",    "DEFAULT",   "DELETE",   "DESC",       "DISTINCT",  "DROP",
    "ELSE",    "ELSIF",    "END",        "EXCEPTION", "EXECUTE",  "EXISTS",     "EXIT",      "FETCH",
    "FOR",     "FOREIGN",  "FROM",       "FULL",      "FUNCTION", "GRANT",      "GROUP",     "HAVING",
    "IF",      "IN",       "INDEX",      "INNER",     "INSERT",   "INTEGER",    "INTERSECT", "INTO",
    "IS",      "JOIN",     "KEY",        "LEFT",      "LIKE",     "LOOP",       "MERGE",     "MINUS",
    "MODIFY",  "NOT",      "NULL",       "NUMBER",    "OF",       "ON",         "OPEN",      "OR",
    "ORDER",   "OTHERS",   "OUT",        "OUTER",     "PACKAGE",  "PRIMARY",    "PRIOR",     "PROCEDURE",
    "RAISE",   "RECORD",   "REFERENCES", "RENAME",    "REPLACE",  "RETURN",     "RETURNING", "REVOKE",
    "RIGHT",   "ROLLBACK", "ROWTYPE",    "SAVEPOINT", "SELECT",   "SEQUENCE",   "SET",       "START",
    "SYNONYM", "TABLE",    "THEN",       "TO",        "TRIGGER",  "TRUNCATE",   "TYPE",      "UNION",
    "UNIQUE",  "UPDATE",   "USING",      "VALUES",    "VARCHAR2", "VIEW",       "WHEN",      "WHERE",
    "WHILE",   "WITH",     "BULK",       "COLLECT",   "FORALL",   "PRAGMA",
};

struct TSortedKeywords {
    std::vector<std::string_view> words{std::begin(kKeywords), std::end(kKeywords)};
    TSortedKeywords() { std::sort(words.begin(), words.end()); }
};

const TSortedKeywords& Keywords() {
    static const TSortedKeywords k;
    return k;
}

// The lexer knows only blanks, symbols, letters and digits; any other byte (a control character) would stop
// it, so such bytes are lexed as blanks. Offsets stay the same.
std::string Lexable(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 32 && u != 9 && u != 10 && u != 13) || u == 127) c = ' ';
    }
    return out;
}

// Lexes text (starting at base in the line) and returns the state left open at its end.
int LexRest(const std::string& line, int base, std::vector<THighlightSpan>& out) {
    const std::string text = Lexable(std::string_view(line).substr(size_t(base)));
    TOraParser lexer(text);
    lexer.OmitComment = false;
    lexer.UppercaseKeywords = false;
    lexer.KeepQuotes = true;
    std::string tok;
    int state = hsNone;
    bool afterColon = false; // the previous token was a ":" right before this one
    int colonEnd = -1;
    for (;;) {
        const int code = lexer.GetNextToken(tok);
        if (code == lxEnd) break;
        // Token start: behind the blanks that the lexer skipped.
        const int end = lexer.CurrPos();
        const int start = end - int(tok.size());
        const int at = base + start;
        const int len = int(tok.size());
        if (code == lxComment) {
            out.push_back({at, len, THighlightKind::Comment});
            if (tok.size() >= 2 && tok[0] == '/' && tok[1] == '*' &&
                (tok.size() < 4 || tok.compare(tok.size() - 2, 2, "*/") != 0))
                state = hsBlockComment;
        } else if (code == lxString) {
            out.push_back({at, len, THighlightKind::String});
            if (tok.size() < 2 || tok.back() != '\'') state = hsString;
        } else if (code == lxIdent && !tok.empty() && tok[0] == '"') {
            out.push_back({at, len, THighlightKind::QuotedIdent});
            if (tok.size() < 2 || tok.back() != '"') state = hsQuotedIdent;
        } else if (code == lxNumber) {
            out.push_back({at, len, THighlightKind::Number});
        } else if (code == opColon) {
            afterColon = true;
            colonEnd = end;
            continue;
        } else if (afterColon && start == colonEnd &&
                   (code == lxIdent || code > opSlash || code == lxNumber)) {
            // A parameter marker: a colon directly followed by a name (or a position).
            if (!out.empty() && out.back().start == at && out.back().kind == THighlightKind::Number)
                out.pop_back();
            out.push_back({at - 1, len + 1, THighlightKind::Parameter});
        } else if (code > opSlash || code == lxIdent) {
            std::string upper = tok;
            for (char& c : upper)
                if (c >= 'a' && c <= 'z') c = char(c - 32);
            if (code > opSlash || IsSqlKeyword(upper)) out.push_back({at, len, THighlightKind::Keyword});
        }
        afterColon = false;
    }
    return state;
}

} // namespace

bool IsSqlKeyword(const std::string& upperWord) {
    const auto& w = Keywords().words;
    return std::binary_search(w.begin(), w.end(), std::string_view(upperWord));
}

int HighlightSqlLine(const std::string& line, int stateIn, std::vector<THighlightSpan>& out) {
    int from = 0;
    // Finish what the previous line left open.
    if (stateIn == hsBlockComment || stateIn == hsString || stateIn == hsQuotedIdent) {
        const char* closer = stateIn == hsBlockComment ? "*/" : stateIn == hsString ? "'" : "\"";
        const size_t close = line.find(closer);
        const THighlightKind kind = stateIn == hsBlockComment ? THighlightKind::Comment
                                    : stateIn == hsString     ? THighlightKind::String
                                                              : THighlightKind::QuotedIdent;
        if (close == std::string::npos) {
            if (!line.empty()) out.push_back({0, int(line.size()), kind});
            return stateIn;
        }
        from = int(close + std::strlen(closer));
        out.push_back({0, from, kind});
    }
    return LexRest(line, from, out);
}
