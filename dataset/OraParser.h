// The Oracle SQL lexer: "--" line comments, double-quoted identifiers, "#" and "$" inside identifiers.
#pragma once

#include "dataset/QxParser.h"

class TOraParser : public TParser {
public:
    explicit TOraParser(const char* text);
    explicit TOraParser(const std::string& text) : TOraParser(text.c_str()) {}
    TOraParser(std::string&&) = delete;

protected:
    bool IsAlpha(unsigned char c) const override;
    bool IsStringQuote(unsigned char c) const override;
    bool IsIdentQuote(unsigned char c) const override;
    bool IsInlineComment(const char* p) const override;
};

// Codes of the TOraParser table. The sixth symbol entry is " :=" with a leading blank; symbol runs never hold
// a blank, so ":=" always reads as ":" followed by "=".
enum : int {
    opStar = 1,
    opEqual,
    opColon,
    opComma,
    opDot,
    opAssign,
    opSlash,
    opAnd = 8,
    opAs,
    opBegin,
    opBody,
    opBy,
    opConnect,
    opCreate,
    opDeclare,
    opDelete,
    opEnd,
    opFor,
    opFrom,
    opFunction,
    opGroup,
    opInsert,
    opInto,
    opIs,
    opOr,
    opOrder,
    opPackage,
    opProcedure,
    opReplace,
    opReturning,
    opSelect,
    opStart,
    opTrigger,
    opType,
    opUnion,
    opUpdate,
    opWhere,
};
