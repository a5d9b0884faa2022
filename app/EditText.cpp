#include "app/EditText.h"

#include <algorithm>
#include <regex>

namespace {

unsigned char Lower(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return static_cast<unsigned char>(c + 32);
    switch (c) {
    case 0x8A:
        return 0x9A; // S with caron
    case 0x8C:
        return 0x9C; // OE
    case 0x8E:
        return 0x9E; // Z with caron
    case 0x9F:
        return 0xFF; // Y with diaeresis
    default:
        return c;
    }
}

unsigned char Upper(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return static_cast<unsigned char>(c - 32);
    switch (c) {
    case 0x9A:
        return 0x8A;
    case 0x9C:
        return 0x8C;
    case 0x9E:
        return 0x8E;
    case 0xFF:
        return 0x9F;
    default:
        return c;
    }
}

// Letters, digits and what an Oracle name may hold.
bool IsWordChar(unsigned char c) {
    return (c >= '0' && c <= '9') || c == '_' || c == '$' || c == '#' || Lower(c) != c || Upper(c) != c ||
           c == 0xDF || c == 0xAA || c == 0xBA;
}

// Longer lines are refused for regular expressions (the matcher recurses per character of a match).
constexpr size_t kMaxRegexLine = 20000;

} // namespace

std::string UpperCase1252(std::string text) {
    for (char& c : text)
        c = static_cast<char>(Upper(static_cast<unsigned char>(c)));
    return text;
}

std::string LowerCase1252(std::string text) {
    for (char& c : text)
        c = static_cast<char>(Lower(static_cast<unsigned char>(c)));
    return text;
}

struct TTextFinder::TRegex {
    std::regex re;
};

TTextFinder::TTextFinder(const std::string& pattern, const TFindOptions& options)
    : pattern_(pattern), folded_(LowerCase1252(pattern)), options_(options) {
    if (!options.regularExpression) return;
    auto flags = std::regex::ECMAScript;
    if (!options.caseSensitive) flags |= std::regex::icase;
    try {
        regex_ = new TRegex{std::regex(pattern, flags)};
    } catch (const std::regex_error&) {
        throw EFindPattern("Ung\xFCltiger regul\xE4rer Ausdruck: " + pattern);
    }
}

TTextFinder::~TTextFinder() {
    delete regex_;
}

bool TTextFinder::WordBoundsOk(const std::string& text, size_t pos, size_t len) const {
    if (!options_.wholeWord) return true;
    if (pos > 0 && IsWordChar(static_cast<unsigned char>(text[pos - 1]))) return false;
    const size_t end = pos + len;
    return !(end < text.size() && IsWordChar(static_cast<unsigned char>(text[end])));
}

std::optional<TFindMatch> TTextFinder::MatchAt(const std::string& text, size_t from) const {
    if (pattern_.empty() || from > text.size()) return std::nullopt;
    if (regex_) {
        // A regular expression is matched line by line: "^" and "$" mean a line's start and end, and the
        // matcher's depth stays bounded by the longest line (it recurses per character).
        for (size_t at = from; at <= text.size();) {
            const size_t lineStart = at == 0 ? 0 : text.find_last_of('\n', at - 1) + 1;
            size_t lineEnd = text.find('\n', at);
            if (lineEnd == std::string::npos) lineEnd = text.size();
            if (lineEnd - lineStart > kMaxRegexLine)
                throw EFindPattern("Eine Zeile ist f\xFCr regul\xE4re Ausdr\xFC"
                                   "cke zu lang.");
            // A match never takes the line's carriage return.
            const size_t end = lineEnd > lineStart && text[lineEnd - 1] == '\r' ? lineEnd - 1 : lineEnd;
            if (at <= end) {
                auto flags = std::regex_constants::match_default;
                if (at > lineStart) flags |= std::regex_constants::match_prev_avail;
                std::smatch m;
                bool found = false;
                try {
                    found = std::regex_search(text.begin() + std::ptrdiff_t(at),
                                              text.begin() + std::ptrdiff_t(end), m, regex_->re, flags);
                } catch (const std::regex_error&) {
                    throw EFindPattern("Der regul\xE4re Ausdruck ist f\xFCr diesen Text zu aufw\xE4ndig.");
                }
                if (found) {
                    const size_t pos = at + size_t(m.position(0));
                    const size_t len = size_t(m.length(0));
                    // An empty match finds nothing a user could see: go on behind it.
                    if (len > 0 && WordBoundsOk(text, pos, len)) {
                        TFindMatch r{pos, len, {}};
                        for (size_t g = 0; g < m.size(); ++g)
                            r.groups.emplace_back(m[g].matched ? at + size_t(m.position(g)) : pos,
                                                  m[g].matched ? size_t(m.length(g)) : 0);
                        return r;
                    }
                    at = pos + 1;
                    continue;
                }
            }
            at = lineEnd + 1;
        }
        return std::nullopt;
    }
    const std::string* hay = &text;
    std::string folded;
    const std::string& needle = options_.caseSensitive ? pattern_ : folded_;
    if (!options_.caseSensitive) {
        folded = LowerCase1252(text);
        hay = &folded;
    }
    for (size_t at = from;;) {
        const size_t pos = hay->find(needle, at);
        if (pos == std::string::npos) return std::nullopt;
        if (WordBoundsOk(text, pos, needle.size())) return TFindMatch{pos, needle.size(), {}};
        at = pos + 1;
    }
}

std::optional<TFindMatch> TTextFinder::Next(const std::string& text, size_t from, bool wrap) const {
    if (auto m = MatchAt(text, from)) return m;
    if (wrap && from > 0) return MatchAt(text, 0);
    return std::nullopt;
}

std::vector<TFindMatch> TTextFinder::All(const std::string& text) const {
    std::vector<TFindMatch> out;
    for (size_t at = 0;;) {
        auto m = MatchAt(text, at);
        if (!m) break;
        at = m->pos + m->length;
        out.push_back(std::move(*m));
    }
    return out;
}

std::optional<TFindMatch> TTextFinder::Previous(const std::string& text, size_t before, bool wrap) const {
    std::vector<TFindMatch> all = All(text);
    if (all.empty()) return std::nullopt;
    for (auto it = all.rbegin(); it != all.rend(); ++it)
        if (it->pos + it->length <= before) return *it;
    if (wrap) return all.back();
    return std::nullopt;
}

std::vector<TReplacePiece> ParseReplacement(const std::string& replacement, bool regularExpression) {
    std::vector<TReplacePiece> pieces;
    auto literal = [&pieces](char c) {
        if (pieces.empty() || pieces.back().group >= 0) pieces.push_back({});
        pieces.back().literal += c;
    };
    for (size_t i = 0; i < replacement.size(); ++i) {
        const char c = replacement[i];
        if (regularExpression && c == '$' && i + 1 < replacement.size()) {
            const char n = replacement[i + 1];
            if (n >= '0' && n <= '9') {
                pieces.push_back({{}, n - '0'});
                ++i;
                continue;
            }
            if (n == '&') {
                pieces.push_back({{}, 0});
                ++i;
                continue;
            }
            if (n == '$') {
                literal('$');
                ++i;
                continue;
            }
        }
        literal(c);
    }
    return pieces;
}

std::string ExpandReplacement(const std::vector<TReplacePiece>& pieces, const TFindMatch& match,
                              const std::string& text) {
    std::string out;
    for (const TReplacePiece& p : pieces) {
        if (p.group < 0) {
            out += p.literal;
        } else if (p.group == 0) {
            out.append(text, match.pos, match.length);
        } else if (size_t(p.group) < match.groups.size()) {
            out.append(text, match.groups[size_t(p.group)].first, match.groups[size_t(p.group)].second);
        }
        // A group the pattern does not have gives nothing.
    }
    return out;
}

std::string ToggleLineComments(const std::string& lines) {
    std::vector<std::string> parts;
    for (size_t start = 0;;) {
        const size_t nl = lines.find('\n', start);
        parts.push_back(lines.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    auto indentOf = [](const std::string& l) {
        size_t i = 0;
        while (i < l.size() && (l[i] == ' ' || l[i] == '\t'))
            ++i;
        return i;
    };
    auto blank = [&indentOf](const std::string& l) {
        const size_t i = indentOf(l);
        return i == l.size() || (i + 1 == l.size() && l[i] == '\r');
    };
    bool allCommented = true, anyCode = false;
    size_t minIndent = std::string::npos;
    for (const std::string& l : parts) {
        if (blank(l)) continue;
        anyCode = true;
        const size_t i = indentOf(l);
        minIndent = std::min(minIndent, i);
        if (l.compare(i, 2, "--") != 0) allCommented = false;
    }
    if (!anyCode) return lines;
    std::string out;
    for (size_t k = 0; k < parts.size(); ++k) {
        std::string l = parts[k];
        if (!blank(l)) {
            if (allCommented) {
                const size_t i = indentOf(l);
                size_t n = 2;
                if (i + 2 < l.size() && l[i + 2] == ' ') n = 3;
                l.erase(i, n);
            } else {
                l.insert(minIndent, "-- ");
            }
        }
        out += l;
        if (k + 1 < parts.size()) out += '\n';
    }
    return out;
}

std::optional<size_t> MatchingBracket(const std::string& text, size_t pos) {
    if (pos >= text.size() || (text[pos] != '(' && text[pos] != ')')) return std::nullopt;
    // Which bytes are code: one pass over strings, quoted identifiers and comments.
    std::vector<bool> code(text.size(), true);
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        size_t end = i + 1;
        if (c == '\'' || c == '"') {
            const size_t close = text.find(c, i + 1);
            end = close == std::string::npos ? text.size() : close + 1;
        } else if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
            const size_t eol = text.find_first_of("\r\n", i);
            end = eol == std::string::npos ? text.size() : eol;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            const size_t close = text.find("*/", i + 2);
            end = close == std::string::npos ? text.size() : close + 2;
        } else {
            ++i;
            continue;
        }
        for (size_t k = i; k < end; ++k)
            code[k] = false;
        i = end;
    }
    if (!code[pos]) return std::nullopt;
    int depth = 0;
    if (text[pos] == '(') {
        for (size_t i = pos; i < text.size(); ++i) {
            if (!code[i]) continue;
            if (text[i] == '(') ++depth;
            if (text[i] == ')' && --depth == 0) return i;
        }
    } else {
        for (size_t i = pos + 1; i-- > 0;) {
            if (!code[i]) continue;
            if (text[i] == ')') ++depth;
            if (text[i] == '(' && --depth == 0) return i;
        }
    }
    return std::nullopt;
}
