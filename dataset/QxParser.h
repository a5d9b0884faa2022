// Table-driven lexers for SQL-like text: the generic TParser and the filter lexer TBoolParser.
//
// A lexer works in place on a NUL-terminated text that the caller keeps alive; only token texts are copied.
// It is parameterised by a table (symbols first, then keywords in ascending byte order) and by the character
// classes below, which subclasses override.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// Token codes. Positive codes are 1-based indexes into the lexer's table.
enum : int {
    lxEnd = 0,
    lxSymbol = -102,
    lxIdent = -103,
    lxNumber = -105,
    lxString = -106,
    lxBlank = -107,
    lxComment = -108,
};

// The one error a lexer raises: a character that belongs to no class.
class EParserError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TParser {
public:
    explicit TParser(const char* text);
    explicit TParser(const std::string& text) : TParser(text.c_str()) {}
    TParser(std::string&&) = delete; // the lexer keeps a pointer into the text: no temporaries
    virtual ~TParser();
    TParser(const TParser&) = delete;
    TParser& operator=(const TParser&) = delete;

    // Replaces the text (kept by pointer) and returns to its start.
    void SetText(const char* text);
    void SetText(const std::string& text) { SetText(text.c_str()); }
    void SetText(std::string&&) = delete;
    // Back to the start of the text, line 0.
    void Reset();

    // Reads the next token; returns its code and stores its text.
    int GetNextToken(std::string& text);
    // The next GetNextToken returns the current token again.
    void StepBack();
    // Reads tokens until one with the code (or the end); returns the code of the last token read.
    int ToToken(int code);

    // Offsets from the start of the text. The token start is where the scan for the token began, in front of
    // the blanks and comments that were skipped before it.
    int CurrPos() const { return int(pos_ - text_); }
    int TokenPos() const { return int(tokenStart_ - text_); }
    int PrevTokenPos() const { return int(prevTokenStart_ - text_); }
    // Line numbers count from 0; a line start is an offset from the start of the text.
    int CurrLine() const { return line_; }
    int CurrLineStart() const { return int(lineStart_ - text_); }
    int TokenLine() const { return tokenLine_; }
    int TokenLineStart() const { return int(tokenLineStart_ - text_); }

    // The table: symbol entries are codes 1..SymbolCount, keywords follow.
    int SymbolCount() const { return symbolCount_; }
    int KeywordCount() const { return keywordCount_; }
    const char* TableEntry(int code) const;

    bool OmitBlank = true;
    bool OmitComment = false;
    bool UppercaseKeywords = true;
    bool KeepQuotes = false;

protected:
    // Subclasses call this in their constructor. The table must stay alive as long as the lexer.
    void SetTable(const char* const* entries, int symbolCount, int keywordCount);

    // Character classes, in slot order.
    virtual bool IsBlank(unsigned char c) const;
    virtual bool IsSymbol(unsigned char c) const;
    virtual bool IsAlpha(unsigned char c) const;
    virtual bool IsNumber(unsigned char c) const;
    virtual bool IsStringQuote(unsigned char c) const;
    virtual bool IsIdentQuote(unsigned char c) const;
    // Whether a line comment starts at p.
    virtual bool IsInlineComment(const char* p) const;

    const char* blockCommentBegin_ = "/*";
    const char* blockCommentEnd_ = "*/";

private:
    enum : uint8_t { cBlank = 1, cSymbol = 2, cAlpha = 4, cDigit = 8, cStrQuote = 16, cIdentQuote = 32 };

    void BuildClasses();
    bool Is(unsigned char c, uint8_t cls) const { return (classes_[c] & cls) != 0; }
    void SkipBlanks();
    bool SkipComment();
    void CountLineBreaks(const char* from, const char* to);
    int MatchSymbol(std::string& text);
    int FindKeyword(const char* upper) const;

    const char* text_ = nullptr;
    const char* pos_ = nullptr;
    const char* tokenStart_ = nullptr;
    const char* prevTokenStart_ = nullptr;
    int line_ = 0;
    const char* lineStart_ = nullptr;
    int tokenLine_ = 0;
    const char* tokenLineStart_ = nullptr;

    const char* const* table_ = nullptr;
    int symbolCount_ = 0;
    int keywordCount_ = 0;
    size_t maxSymbolLen_ = 0;
    size_t maxKeywordLen_ = 0;
    int singleSymbol_[256] = {}; // code of the one-character symbol entry per character, 0 for none

    bool classesBuilt_ = false;
    uint8_t classes_[256] = {};
};

// The lexer of the local filter expressions.
class TBoolParser : public TParser {
public:
    explicit TBoolParser(const char* text);
    explicit TBoolParser(const std::string& text) : TBoolParser(text.c_str()) {}
    TBoolParser(std::string&&) = delete;
};

// Codes of the TBoolParser table.
enum : int {
    bpEqual = 1,
    bpGreater,
    bpLess,
    bpGreaterEqual,
    bpLessEqual,
    bpNotEqual,
    bpLParen,
    bpRParen,
    bpMinus,
    bpPlus,
    bpLBracket,
    bpRBracket,
    bpAnd = 13,
    bpFalse,
    bpLike,
    bpNot,
    bpNull,
    bpOr,
    bpTrue,
};

// Codes of the TParser table used by callers.
enum : int {
    pcAmpersand = 6,
    pcComma = 12,
    pcMinus = 13,
    pcDot = 14,
    pcEqual = 19,
    pcAnd = 29,
    pcNot = 30,
    pcOr = 31,
};
