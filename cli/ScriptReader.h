// Splits a script into statements the way users write them for SQL tools: a statement ends with ";" at the
// end of a line (the ";" is dropped) or with a line holding only "/"; a PL/SQL block (BEGIN, DECLARE, CREATE
// ... FUNCTION/PROCEDURE/PACKAGE/TRIGGER/TYPE) keeps its semicolons and ends only with a "/" line.
#pragma once

#include <string>
#include <vector>

class TScriptReader {
public:
    // Feeds one line (without its line break). Returns true when a statement is complete; take it with
    // Take().
    bool AddLine(const std::string& line);
    std::string Take();
    // True while a statement has begun but is not complete (for the continuation prompt).
    bool Pending() const { return !lines_.empty(); }
    // At the end of input: the unfinished statement, if it holds anything but blanks and comments.
    bool Finish();

    // Splits a whole text (lines ended by CR LF, CR or LF).
    static std::vector<std::string> SplitScript(const std::string& text);

private:
    bool IsBlock() const;
    bool HasContent() const;
    void Complete();

    std::vector<std::string> lines_;
    std::string done_;
    bool ready_ = false;
};
