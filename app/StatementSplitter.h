// Splits SQL text into statements the way users write them for SQL tools. A statement ends with ";" as the
// last code character of a line (the ";" is dropped), or with a line holding only "/"; a PL/SQL block
// (BEGIN, DECLARE, CREATE [OR REPLACE] FUNCTION/PROCEDURE/PACKAGE/TRIGGER/TYPE) keeps its semicolons and
// ends only with a "/" line. For the statement under the editor's cursor an empty line ends a statement too
// (not a block). Inside a string literal, a quoted identifier or a comment that runs over several lines
// neither ";" nor "/" nor an empty line ends anything. vestra-sql's script reader and the worksheet use it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct TSqlStatement {
    // The statement's lines joined with CR LF, without its terminator; leading and trailing empty lines
    // are left out.
    std::string text;
    // Offsets in the source: the start of the statement's first line, the end of its text, and the end of
    // the line that terminated it (the ";" line or the "/" line; the end of the text otherwise).
    size_t begin = 0, end = 0, stop = 0;
    // The 0-based source line of the statement's first line.
    int line = 0;
};

class TStatementSplitter {
public:
    // emptyLineEnds: an empty line ends a statement (the editor's statement under the cursor).
    explicit TStatementSplitter(bool emptyLineEnds = false) : emptyLineEnds_(emptyLineEnds) {}

    // Feeds the next line (without its line break), which starts at offset `at` of the source and ends
    // at `at` + its length. True when a statement is complete; take it with Take().
    bool AddLine(std::string_view line, size_t at);
    // The same for text that arrives line by line (a terminal): offsets count as if lines were ended by LF.
    bool AddLine(std::string_view line);
    TSqlStatement Take();
    // True while a statement has begun but is not complete (for the continuation prompt).
    bool Pending() const { return !lines_.empty(); }
    // At the end of input: the unfinished statement, if it holds anything but blanks and comments.
    bool Finish();

    // Splits a whole text (lines ended by CR LF, CR or LF).
    static std::vector<TSqlStatement> Split(std::string_view text, bool emptyLineEnds = false);

    // The lexical state that runs from one line into the next.
    enum class TState { Code, String, QString, QuotedIdent, BlockComment };

private:
    struct TLine {
        std::string text;
        size_t at = 0;
        int number = 0;
    };
    enum class TBlock { Unknown, Yes, No };
    void Complete(size_t stop);
    bool HasContent() const;
    TBlock BlockKind();

    bool emptyLineEnds_;
    std::vector<TLine> lines_;
    TState state_ = TState::Code;
    char qClose_ = 0; // the closing delimiter of a q'...' literal
    bool content_ = false;
    TBlock block_ = TBlock::Unknown;
    int nextLine_ = 0;
    size_t nextAt_ = 0;
    TSqlStatement done_;
    bool ready_ = false;
};

// The statement the cursor (an offset in the source) belongs to: the one whose lines, up to its terminator,
// hold the offset; between statements the one before it, else the one after it. nullptr when there is none.
const TSqlStatement* StatementAt(const std::vector<TSqlStatement>& statements, size_t offset);

// The first line of a statement's text, for logs (at most maxChars characters, "..." when cut).
std::string FirstLineOf(const std::string& text, size_t maxChars = 80);
