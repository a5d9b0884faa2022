#include "app/SelectParser.h"
#include "dataset/StrUtil.h"

#include <cstdio>

namespace {

const char kLineKeywords[] = " SELECT FROM WHERE GROUP HAVING ORDER UPDATE SET INSERT VALUES ";
const char kJoinKeywords[] = " ALL DISTINCT BY INTO ";
const char kListWords[] = " , AND OR ";

const char kIndent[] = "   ";

std::string Upper(const std::string& s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return r;
}

// Removes every character of code 32 or less at both ends.
// A token belongs to a list when " TOKEN " occurs in the list text, so only whole entries match.
bool InList(const char* list, const std::string& token) {
    return std::string(list).find(" " + Upper(token) + " ") != std::string::npos;
}

bool IsSeparator(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == 27 || c == ',';
}

} // namespace

std::string TSelectParser::FormatStatement(const std::string& statement) {
    text_ = Trim(statement);
    tokens_.clear();
    lines_.clear();
    if (text_.empty()) return std::string();
    if (text_.back() == ';') text_.pop_back();
    text_ += ' ';

    Tokenize(text_);
    Layout();
    NormalizeAliases();

    std::string out;
    for (const std::string& line : lines_) {
        out += line;
        out += "\r\n";
    }
    return out;
}

// Splits at separators outside groups. A group is open while the parentheses do not balance or either quote
// count is odd; parenthesised expressions and quoted literals stay one token, with their line breaks deleted.
void TSelectParser::Tokenize(const std::string& text) {
    int open = 0, close = 0, single = 0, dbl = 0;
    size_t start = 0;
    auto addToken = [this](const std::string& raw) {
        std::string tok;
        tok.reserve(raw.size());
        for (char c : Trim(raw))
            if (c != '\r' && c != '\n') tok += c;
        if (!tok.empty()) tokens_.push_back(tok);
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '(')
            ++open;
        else if (c == ')')
            ++close;
        else if (c == '\'')
            ++single;
        else if (c == '"')
            ++dbl;
        const bool inGroup = open != close || (single & 1) || (dbl & 1);
        if (!inGroup && IsSeparator(c)) {
            addToken(text.substr(start, i - start));
            if (c == ',') tokens_.push_back(",");
            start = i + 1;
        }
    }
    // A group left open (an unbalanced parenthesis or quote) keeps the rest of the statement as one token
    // instead of losing it.
    if (start < text.size()) addToken(text.substr(start));
}

std::string& TSelectParser::LastLine() {
    if (lines_.empty()) {
        char msg[80];
        std::snprintf(msg, sizeof msg,
                      "Listenindex \xFC"
                      "berschreitet das Maximum (%d)",
                      -1);
        throw EListError(msg);
    }
    return lines_.back();
}

void TSelectParser::Layout() {
    bool newLine = true;
    for (const std::string& tok : tokens_) {
        if (InList(kLineKeywords, tok)) {
            lines_.push_back(Upper(tok));
            newLine = true;
        } else if (InList(kJoinKeywords, tok)) {
            LastLine() += " " + Upper(tok);
            newLine = true;
        } else if (tok == ",") {
            LastLine() += ",";
            newLine = true;
        } else if (InList(kListWords, tok)) { // AND, OR
            lines_.push_back(kIndent + tok);
            newLine = false;
        } else {
            if (newLine)
                lines_.push_back(kIndent + tok);
            else
                LastLine() += " " + tok;
            newLine = false;
        }
    }
}

// In the select list, " as " between an expression and its alias is written " AS ".
void TSelectParser::NormalizeAliases() {
    if (lines_.empty() || lines_[0].compare(0, 6, "SELECT") != 0) return;
    for (size_t i = 1; i < lines_.size(); ++i) {
        std::string& line = lines_[i];
        if (line.compare(0, 4, "FROM") == 0) break;
        const std::string trimmed = Trim(line);
        if (!trimmed.empty() && trimmed.back() == '*') continue;
        const size_t at = Upper(line).find(" AS ");
        if (at == std::string::npos) continue;
        std::string comma;
        if (line.back() == ',') { // a comma is appended without a blank, so it is never part of " AS "
            line.pop_back();
            comma = ",";
        }
        line = line.substr(0, at) + " AS " + Trim(line.substr(at + 4)) + comma;
    }
}
