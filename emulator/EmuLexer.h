// Tokeniser for Oracle SQL and PL/SQL texts as the emulator needs them (its own, independent of the client's
// lexer).
#pragma once
#include <string>
#include <vector>

namespace vemu {

enum class TokKind { Ident, QuotedIdent, String, Number, Bind, Op, End };

struct Tok {
    TokKind kind = TokKind::End;
    std::string
        text; // Ident: upper-cased; QuotedIdent: inside of the quotes; String: value; Bind: name; Op: symbol
    std::string raw; // as written
    size_t pos = 0;  // byte offset in the statement text
    bool Is(const char* upperWord) const { return kind == TokKind::Ident && text == upperWord; }
    bool IsOp(const char* op) const { return kind == TokKind::Op && text == op; }
};

// Splits the text into tokens (comments dropped). An unterminated string or quoted name gives ok = false and
// the position of its start.
std::vector<Tok> Tokenize(const std::string& text, bool& ok, size_t& errorPos);

// Names of the placeholders in the order the client numbers them: every ":" followed by a name, a number or a
// keyword; for PL/SQL blocks each name once (case-insensitive); scanning stops at the keyword TRIGGER.
std::vector<std::string> PlaceholderNames(const std::vector<Tok>& toks, bool plsql);

// SQL text written by the emulator itself: a name in double quotes and a literal in single quotes, the
// quote character doubled inside.
std::string QuoteIdent(const std::string& s);
std::string QuoteLiteral(const std::string& s);

} // namespace vemu
