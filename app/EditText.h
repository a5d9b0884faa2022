// The editor's text operations that need no window: find and replace, commenting lines, upper and lower case,
// matching brackets. Text is Windows-1252 bytes, one byte per editor character, so offsets are the editor's.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct TFindOptions {
    bool caseSensitive = false;
    bool wholeWord = false;
    bool regularExpression = false;
};

// A pattern that is no valid regular expression; the message is for the user.
class EFindPattern : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TFindMatch {
    size_t pos = 0;
    size_t length = 0;
    // The groups of a regular expression (group 0 is the whole match); empty for a plain search.
    std::vector<std::pair<size_t, size_t>> groups;
};

// A prepared search.
class TTextFinder {
public:
    // Throws EFindPattern for a broken regular expression.
    TTextFinder(const std::string& pattern, const TFindOptions& options);
    ~TTextFinder();
    TTextFinder(const TTextFinder&) = delete;
    TTextFinder& operator=(const TTextFinder&) = delete;

    // The first match that starts at from or later; with wrap, the search goes on from the start.
    std::optional<TFindMatch> Next(const std::string& text, size_t from, bool wrap = true) const;
    // The last match that ends at before or earlier; with wrap, the search goes on from the end.
    std::optional<TFindMatch> Previous(const std::string& text, size_t before, bool wrap = true) const;
    // Every match, left to right, none overlapping.
    std::vector<TFindMatch> All(const std::string& text) const;

private:
    std::optional<TFindMatch> MatchAt(const std::string& text, size_t from) const;
    bool WordBoundsOk(const std::string& text, size_t pos, size_t len) const;

    std::string pattern_;
    std::string folded_;
    TFindOptions options_;
    struct TRegex;
    TRegex* regex_ = nullptr;
};

// One piece of a replacement: a literal text, or a group of the match (for "$1".."$9" and "$&" in a regular
// expression's replacement; "$$" is a dollar sign).
struct TReplacePiece {
    std::string literal;
    int group = -1; // -1: the literal
};
std::vector<TReplacePiece> ParseReplacement(const std::string& replacement, bool regularExpression);
// The replacement for one match, built from the text it was found in.
std::string ExpandReplacement(const std::vector<TReplacePiece>& pieces, const TFindMatch& match,
                              const std::string& text);

// Commenting lines: when every non-blank line of the block starts (after its indentation) with "--", the
// marks (and one blank after each) are removed; otherwise "-- " is put in front of every non-blank line at
// the block's smallest indentation. Lines are separated by '\n' (a '\r' before it stays with its line).
std::string ToggleLineComments(const std::string& lines);

// Windows-1252 upper and lower case (the letters with accents included; "ß" has no single upper letter and
// stays).
std::string UpperCase1252(std::string text);
std::string LowerCase1252(std::string text);

// The bracket that matches the one at pos ("(" forwards, ")" backwards), skipping brackets inside strings,
// quoted identifiers and comments; none when pos holds no bracket or it has no partner.
std::optional<size_t> MatchingBracket(const std::string& text, size_t pos);
