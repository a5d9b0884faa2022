// The colour classes of an SQL editor line, read from the Oracle lexer. A line is lexed on its own; what runs
// on past its end (a block comment, a string, a quoted identifier) is carried to the next line as a state.
#pragma once

#include <string>
#include <vector>

enum class THighlightKind { Keyword, String, Comment, Number, Parameter, QuotedIdent };

struct THighlightSpan {
    int start = 0; // offset in the line
    int length = 0;
    THighlightKind kind = THighlightKind::Keyword;
    bool operator==(const THighlightSpan&) const = default;
};

// What a line leaves open for the next one.
enum THighlightState : int { hsNone = 0, hsBlockComment = 1, hsString = 2, hsQuotedIdent = 3 };

// Appends the spans of one line (Windows-1252 bytes, without its line break) to out; returns the state that
// the line leaves open. SQL and PL/SQL reserved words are keywords, whether or not the lexer's own table
// knows them.
int HighlightSqlLine(const std::string& line, int stateIn, std::vector<THighlightSpan>& out);

// Whether an upper-case word is an SQL or PL/SQL reserved word.
bool IsSqlKeyword(const std::string& upperWord);
