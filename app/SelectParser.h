// The SELECT formatter: one clause keyword per line, the clause's items indented below it.
//
// A token-based layout, not an SQL parser: anything inside parentheses or quotes stays one token, and tokens
// are never reordered or dropped.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

// EListError is raised when a token must be appended to a line and there is none yet (the statement starts
// with a joining keyword or a comma). The caller keeps the editor's text.
#include "app/ListIndexError.h"

class TSelectParser {
public:
    // Returns the laid-out statement, every line ended by CR LF; an empty text for a blank input.
    std::string FormatStatement(const std::string& statement);

private:
    void Tokenize(const std::string& text);
    void Layout();
    void NormalizeAliases();
    std::string& LastLine();

    std::string text_;
    std::vector<std::string> tokens_;
    std::vector<std::string> lines_;
};
