// vestra-sql's reader of scripts and of the terminal: the statements as TStatementSplitter finds them (a ";"
// at a line end, a "/" line; PL/SQL blocks keep their semicolons and end with the "/" line).
#pragma once

#include "app/StatementSplitter.h"

#include <string>
#include <vector>

class TScriptReader {
public:
    // Feeds one line (without its line break). Returns true when a statement is complete; take it with
    // Take().
    bool AddLine(const std::string& line) { return splitter_.AddLine(line); }
    std::string Take() { return splitter_.Take().text; }
    // True while a statement has begun but is not complete (for the continuation prompt).
    bool Pending() const { return splitter_.Pending(); }
    // At the end of input: the unfinished statement, if it holds anything but blanks and comments.
    bool Finish() { return splitter_.Finish(); }

    // Splits a whole text (lines ended by CR LF, CR or LF).
    static std::vector<std::string> SplitScript(const std::string& text);

private:
    TStatementSplitter splitter_;
};
