#include "dataset/OraParser.h"

namespace {

const char* const kOraParserTable[] = {
    "*",       "=",     ":",       ",",         ".",       " :=",       "/",       "AND",
    "AS",      "BEGIN", "BODY",    "BY",        "CONNECT", "CREATE",    "DECLARE", "DELETE",
    "END",     "FOR",   "FROM",    "FUNCTION",  "GROUP",   "INSERT",    "INTO",    "IS",
    "OR",      "ORDER", "PACKAGE", "PROCEDURE", "REPLACE", "RETURNING", "SELECT",  "START",
    "TRIGGER", "TYPE",  "UNION",   "UPDATE",    "WHERE",
};

} // namespace

TOraParser::TOraParser(const char* text) : TParser(text) {
    SetTable(kOraParserTable, 7, 30);
}

// "#" and "$" are letters only inside an identifier: as a first character they are symbol characters, and the
// symbol test comes first.
bool TOraParser::IsAlpha(unsigned char c) const {
    return TParser::IsAlpha(c) || c == '#' || c == '$';
}

bool TOraParser::IsStringQuote(unsigned char c) const {
    return c == '\'';
}

bool TOraParser::IsIdentQuote(unsigned char c) const {
    return c == '"';
}

bool TOraParser::IsInlineComment(const char* p) const {
    return p[0] == '-' && p[1] == '-';
}
