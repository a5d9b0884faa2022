#include "dataset/QxParser.h"

#include "dataset/Platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

const char* const kParserTable[] = {
    "!", "\"", "#", "$", "%", "&", "'", "(",  ")", "*", "+", ",", "-",   ".",   "/",  ":",
    ";", "<",  "=", ">", "?", "@", "[", "\\", "]", "^", "_", "`", "AND", "NOT", "OR",
};

const char* const kBoolParserTable[] = {
    "=", ">", "<",   ">=",    "<=",   "<>",  "(",    ")",  "-",    "+",
    "[", "]", "AND", "FALSE", "LIKE", "NOT", "NULL", "OR", "TRUE",
};

const char kEmpty[] = "";

inline char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

} // namespace

TParser::TParser(const char* text) {
    SetTable(kParserTable, 28, 3);
    SetText(text);
}

TParser::~TParser() = default;

void TParser::SetTable(const char* const* entries, int symbolCount, int keywordCount) {
    table_ = entries;
    symbolCount_ = symbolCount;
    keywordCount_ = keywordCount;
    maxSymbolLen_ = 0;
    maxKeywordLen_ = 0;
    std::fill(std::begin(singleSymbol_), std::end(singleSymbol_), 0);
    for (int i = 0; i < symbolCount; ++i) {
        const size_t len = std::strlen(entries[i]);
        maxSymbolLen_ = std::max(maxSymbolLen_, len);
        if (len == 1 && !singleSymbol_[static_cast<unsigned char>(entries[i][0])])
            singleSymbol_[static_cast<unsigned char>(entries[i][0])] = i + 1;
    }
    for (int i = symbolCount; i < symbolCount + keywordCount; ++i)
        maxKeywordLen_ = std::max(maxKeywordLen_, std::strlen(entries[i]));
}

const char* TParser::TableEntry(int code) const {
    if (code < 1 || code > symbolCount_ + keywordCount_) return nullptr;
    return table_[code - 1];
}

void TParser::SetText(const char* text) {
    text_ = text ? text : kEmpty;
    Reset();
}

void TParser::Reset() {
    pos_ = tokenStart_ = prevTokenStart_ = text_;
    line_ = tokenLine_ = 0;
    lineStart_ = tokenLineStart_ = text_;
}

// Character classes of the generic lexer.
bool TParser::IsBlank(unsigned char c) const {
    return c == 9 || c == 10 || c == 13 || c == 32;
}

bool TParser::IsSymbol(unsigned char c) const {
    return (c >= 33 && c <= 47) || (c >= 58 && c <= 64) || (c >= 91 && c <= 94) || c == 96 ||
           (c >= 123 && c <= 126);
}

bool TParser::IsAlpha(unsigned char c) const {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 128;
}

bool TParser::IsNumber(unsigned char c) const {
    return c >= '0' && c <= '9';
}

bool TParser::IsStringQuote(unsigned char c) const {
    return c == '\'' || c == '"';
}

bool TParser::IsIdentQuote(unsigned char) const {
    return false;
}

bool TParser::IsInlineComment(const char* p) const {
    return p[0] == '/' && p[1] == '/';
}

// The class operations are virtual; their answers are cached per byte on first use (a constructor cannot ask
// the subclass), so that scanning costs one table look-up per character.
void TParser::BuildClasses() {
    for (int i = 0; i < 256; ++i) {
        unsigned char c = static_cast<unsigned char>(i);
        uint8_t cls = 0;
        if (IsBlank(c)) cls |= cBlank;
        if (IsSymbol(c)) cls |= cSymbol;
        if (IsAlpha(c)) cls |= cAlpha;
        if (IsNumber(c)) cls |= cDigit;
        if (IsStringQuote(c)) cls |= cStrQuote;
        if (IsIdentQuote(c)) cls |= cIdentQuote;
        classes_[i] = cls;
    }
    classesBuilt_ = true;
}

void TParser::CountLineBreaks(const char* from, const char* to) {
    for (const char* p = from; p < to; ++p) {
        if (*p == '\r') {
            if (p + 1 < to && p[1] == '\n') ++p;
            ++line_;
            lineStart_ = p + 1;
        } else if (*p == '\n') {
            ++line_;
            lineStart_ = p + 1;
        }
    }
}

void TParser::SkipBlanks() {
    const char* p = pos_;
    while (*p && Is(static_cast<unsigned char>(*p), cBlank)) {
        if (*p == '\r') {
            if (p[1] == '\n') ++p;
            ++line_;
            lineStart_ = p + 1;
        } else if (*p == '\n') {
            ++line_;
            lineStart_ = p + 1;
        }
        ++p;
    }
    pos_ = p;
}

// Skips a line or block comment starting at the position; false when none starts here.
bool TParser::SkipComment() {
    const char* p = pos_;
    if (IsInlineComment(p)) {
        while (*p && *p != '\r' && *p != '\n')
            ++p;
        pos_ = p;
        return true;
    }
    size_t beginLen = std::strlen(blockCommentBegin_);
    if (beginLen && std::strncmp(p, blockCommentBegin_, beginLen) == 0) {
        const char* end = std::strstr(p + beginLen, blockCommentEnd_);
        const char* stop = end ? end + std::strlen(blockCommentEnd_) : p + std::strlen(p);
        CountLineBreaks(p, stop);
        pos_ = stop;
        return true;
    }
    return false;
}

// Longest match over the symbol entries: characters are appended while they are symbol characters, and the
// last accumulated text that equals an entry wins. Entries are short, so the run is cut once it is longer
// than the longest entry (no longer run can match).
int TParser::MatchSymbol(std::string& text) {
    const char* start = pos_;
    const char* p = start;
    int code = lxSymbol;
    const char* matchEnd = start + 1;
    size_t len = 0;
    while (*p && Is(static_cast<unsigned char>(*p), cSymbol) && len < maxSymbolLen_) {
        ++p;
        ++len;
        if (len == 1) {
            if (int single = singleSymbol_[static_cast<unsigned char>(*start)]) {
                code = single;
                matchEnd = p;
            }
            continue;
        }
        for (int i = 0; i < symbolCount_; ++i) {
            const char* e = table_[i];
            if (std::strncmp(e, start, len) == 0 && e[len] == 0) {
                code = i + 1;
                matchEnd = p;
                break;
            }
        }
    }
    text.assign(start, matchEnd);
    pos_ = matchEnd;
    return code;
}

int TParser::FindKeyword(const char* upper) const {
    int lo = 0, hi = keywordCount_ - 1;
    const char* const* keywords = table_ + symbolCount_;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int cmp = std::strcmp(keywords[mid], upper);
        if (cmp == 0) return symbolCount_ + mid + 1;
        if (cmp < 0)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return 0;
}

int TParser::GetNextToken(std::string& text) {
    if (!classesBuilt_) BuildClasses();
    prevTokenStart_ = tokenStart_;
    tokenStart_ = pos_;
    tokenLine_ = line_;
    tokenLineStart_ = lineStart_;
    text.clear();

    for (;;) {
        const char* blankStart = pos_;
        SkipBlanks();
        if (pos_ != blankStart && !OmitBlank) {
            text.assign(blankStart, pos_);
            return lxBlank;
        }
        if (*pos_ == 0) return lxEnd;
        const char* commentStart = pos_;
        if (!SkipComment()) break;
        if (!OmitComment) {
            text.assign(commentStart, pos_);
            return lxComment;
        }
    }

    const unsigned char c = static_cast<unsigned char>(*pos_);
    const char* start = pos_;
    if (Is(c, cSymbol)) {
        if (Is(c, cStrQuote)) {
            const char* p = start + 1;
            while (*p && *p != *start)
                ++p;
            const char* contentEnd = p;
            if (*p) ++p;
            CountLineBreaks(start, p);
            if (KeepQuotes)
                text.assign(start, p);
            else
                text.assign(start + 1, contentEnd);
            pos_ = p;
            return lxString;
        }
        if (Is(c, cIdentQuote)) {
            const char* p = start + 1;
            while (*p && *p != *start)
                ++p;
            if (*p) ++p;
            CountLineBreaks(start, p);
            text.assign(start, p);
            pos_ = p;
            return lxIdent;
        }
        return MatchSymbol(text);
    }
    if (Is(c, cAlpha) || c == '_') {
        const char* p = start + 1;
        while (*p && (Is(static_cast<unsigned char>(*p), cAlpha | cDigit) || *p == '_'))
            ++p;
        pos_ = p;
        text.assign(start, p);
        const size_t len = size_t(p - start);
        char upper[64];
        if (keywordCount_ > 0 && len <= maxKeywordLen_ && len < sizeof upper) {
            for (size_t i = 0; i < len; ++i)
                upper[i] = UpperAscii(start[i]);
            upper[len] = 0;
            if (int code = FindKeyword(upper)) {
                if (UppercaseKeywords) text.assign(upper, len);
                return code;
            }
        }
        return lxIdent;
    }
    if (Is(c, cDigit)) {
        const char sep = platform::DecimalSeparator();
        const char* p = start + 1;
        while (Is(static_cast<unsigned char>(*p), cDigit))
            ++p;
        if (*p == sep && Is(static_cast<unsigned char>(p[1]), cDigit)) {
            p += 2;
            while (Is(static_cast<unsigned char>(*p), cDigit))
                ++p;
        }
        pos_ = p;
        text.assign(start, p);
        return lxNumber;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "Parser: The unknown symbol '%c'  $%02X", char(c), unsigned(c));
    throw EParserError(buf);
}

void TParser::StepBack() {
    pos_ = tokenStart_;
    line_ = tokenLine_;
    lineStart_ = tokenLineStart_;
}

int TParser::ToToken(int code) {
    std::string text;
    int got;
    do {
        got = GetNextToken(text);
    } while (got != code && got != lxEnd);
    return got;
}

TBoolParser::TBoolParser(const char* text) : TParser(text) {
    SetTable(kBoolParserTable, 12, 7);
}
