#include "app/StatementSplitter.h"

#include "dataset/OraParser.h"

#include <cstring>

namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

bool IsIdentChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_' ||
           u == '$' || u == '#' || u >= 128;
}

std::string_view Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// The closing delimiter of q'<open>...<close>': brackets close with their partner, anything else with itself.
char QuoteClose(char open) {
    switch (open) {
    case '[':
        return ']';
    case '{':
        return '}';
    case '(':
        return ')';
    case '<':
        return '>';
    default:
        return open;
    }
}

// What one line holds in code (outside strings' ends and comments).
struct TLineScan {
    int code = 0;       // characters of code: words, symbols, literals
    long lastCode = -1; // index of the last code character
};

using TState = TStatementSplitter::TState;

// Runs the lexical state over one line. Literals count as code; comments and blanks do not.
TLineScan ScanLine(std::string_view line, TState& state, char& qClose) {
    TLineScan r;
    const size_t n = line.size();
    size_t i = 0;
    auto mark = [&](size_t at) {
        ++r.code;
        r.lastCode = long(at);
    };
    while (i < n) {
        switch (state) {
        case TState::Code: {
            const char c = line[i];
            if (IsBlank(c)) {
                ++i;
            } else if (c == '-' && i + 1 < n && line[i + 1] == '-') {
                return r; // a line comment runs to the line's end
            } else if (c == '/' && i + 1 < n && line[i + 1] == '*') {
                state = TState::BlockComment;
                i += 2;
            } else if (c == '\'') {
                mark(i);
                // q'X...X' (also nq'...'): the quote character inside needs no doubling.
                const bool q =
                    i > 0 && (line[i - 1] == 'q' || line[i - 1] == 'Q') &&
                    (i == 1 || !IsIdentChar(line[i - 2]) || line[i - 2] == 'n' || line[i - 2] == 'N');
                if (q && i + 1 < n && !IsBlank(line[i + 1])) {
                    qClose = QuoteClose(line[i + 1]);
                    state = TState::QString;
                    i += 2;
                } else {
                    state = TState::String;
                    ++i;
                }
            } else if (c == '"') {
                mark(i);
                state = TState::QuotedIdent;
                ++i;
            } else {
                mark(i);
                ++i;
            }
            break;
        }
        case TState::String: {
            const size_t q = line.find('\'', i);
            if (q == std::string_view::npos) return r;
            mark(q);
            if (q + 1 < n && line[q + 1] == '\'') {
                i = q + 2; // a doubled quote stands for one
            } else {
                state = TState::Code;
                i = q + 1;
            }
            break;
        }
        case TState::QString: {
            size_t k = i;
            while (k + 1 < n && !(line[k] == qClose && line[k + 1] == '\''))
                ++k;
            if (k + 1 >= n) return r;
            mark(k + 1);
            state = TState::Code;
            i = k + 2;
            break;
        }
        case TState::QuotedIdent: {
            const size_t q = line.find('"', i);
            if (q == std::string_view::npos) return r;
            mark(q);
            state = TState::Code;
            i = q + 1;
            break;
        }
        case TState::BlockComment: {
            const size_t e = line.find("*/", i);
            if (e == std::string_view::npos) return r;
            state = TState::Code;
            i = e + 2;
            break;
        }
        }
    }
    return r;
}

} // namespace

// Reads the statement's first significant words; Unknown while the text ends before they are known. Text
// the lexer cannot read counts as no block.
TStatementSplitter::TBlock TStatementSplitter::BlockKind() {
    if (block_ != TBlock::Unknown) return block_;
    std::string text;
    for (const TLine& l : lines_) {
        text += l.text;
        text += '\n';
    }
    try {
        TOraParser p(text);
        p.OmitComment = true;
        std::string tok;
        int code = p.GetNextToken(tok);
        if (code == lxEnd) return TBlock::Unknown;
        if (code == opBegin || code == opDeclare) return block_ = TBlock::Yes;
        if (code != opCreate) return block_ = TBlock::No;
        code = p.GetNextToken(tok);
        if (code == opOr) {
            code = p.GetNextToken(tok);
            if (code == lxEnd) return TBlock::Unknown;
            if (code != opReplace) return block_ = TBlock::No;
            code = p.GetNextToken(tok);
        }
        auto upper = [](std::string t) {
            for (char& c : t)
                if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
            return t;
        };
        while (code == lxIdent &&
               (upper(tok) == "EDITIONABLE" || upper(tok) == "NONEDITIONABLE" || upper(tok) == "EDITIONING"))
            code = p.GetNextToken(tok);
        if (code == lxEnd) return TBlock::Unknown;
        const bool yes = code == opFunction || code == opProcedure || code == opPackage ||
                         code == opTrigger || code == opType;
        return block_ = yes ? TBlock::Yes : TBlock::No;
    } catch (const std::exception&) {
        return block_ = TBlock::No;
    }
}

bool TStatementSplitter::HasContent() const {
    return content_;
}

void TStatementSplitter::Complete(size_t stop) {
    if (HasContent()) {
        size_t first = 0, last = lines_.size();
        while (first < last && Trim(lines_[first].text).empty())
            ++first;
        while (last > first && Trim(lines_[last - 1].text).empty())
            --last;
        TSqlStatement s;
        for (size_t i = first; i < last; ++i) {
            if (i > first) s.text += "\r\n";
            s.text += lines_[i].text;
        }
        s.begin = lines_[first].at;
        s.end = lines_[last - 1].at + lines_[last - 1].text.size();
        s.stop = stop < s.end ? s.end : stop;
        s.line = lines_[first].number;
        done_ = std::move(s);
        ready_ = true;
    }
    lines_.clear();
    content_ = false;
    block_ = TBlock::Unknown;
}

bool TStatementSplitter::AddLine(std::string_view line) {
    return AddLine(line, nextAt_);
}

bool TStatementSplitter::AddLine(std::string_view line, size_t at) {
    ready_ = false;
    const int number = nextLine_++;
    nextAt_ = at + line.size() + 1;
    const size_t lineEnd = at + line.size();
    const TState startState = state_;
    const std::string_view trimmed = Trim(line);

    if (startState == TState::Code) {
        if (trimmed == "/") {
            Complete(lineEnd);
            return ready_;
        }
        if (trimmed.empty()) {
            if (lines_.empty()) return false;
            if (emptyLineEnds_ && BlockKind() != TBlock::Yes) {
                Complete(lines_.back().at + lines_.back().text.size());
                return ready_;
            }
        }
    }
    const TLineScan scan = ScanLine(line, state_, qClose_);
    lines_.push_back({std::string(line), at, number});
    const bool semicolonEnd =
        state_ == TState::Code && scan.lastCode >= 0 && line[size_t(scan.lastCode)] == ';';
    // A lone ";" is no content: ";" on a line of its own ends an empty statement.
    if (scan.code > (semicolonEnd ? 1 : 0)) content_ = true;
    if (semicolonEnd && BlockKind() != TBlock::Yes) {
        // The terminating ";" goes, and whatever follows it on the line (blanks, a line comment).
        lines_.back().text.erase(size_t(scan.lastCode));
        Complete(lineEnd);
    }
    return ready_;
}

TSqlStatement TStatementSplitter::Take() {
    ready_ = false;
    return std::move(done_);
}

bool TStatementSplitter::Finish() {
    ready_ = false;
    if (!lines_.empty()) Complete(lines_.back().at + lines_.back().text.size());
    state_ = TState::Code;
    return ready_;
}

std::vector<TSqlStatement> TStatementSplitter::Split(std::string_view text, bool emptyLineEnds) {
    TStatementSplitter s(emptyLineEnds);
    std::vector<TSqlStatement> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t e = pos;
        while (e < text.size() && text[e] != '\r' && text[e] != '\n')
            ++e;
        if (s.AddLine(text.substr(pos, e - pos), pos)) out.push_back(s.Take());
        if (e < text.size() && text[e] == '\r' && e + 1 < text.size() && text[e + 1] == '\n') ++e;
        pos = e + 1;
    }
    if (s.Finish()) out.push_back(s.Take());
    return out;
}

const TSqlStatement* StatementAt(const std::vector<TSqlStatement>& statements, size_t offset) {
    const TSqlStatement* before = nullptr;
    for (const TSqlStatement& s : statements) {
        if (offset >= s.begin && offset <= s.stop) return &s;
        if (s.stop < offset) before = &s;
        if (s.begin > offset) return before ? before : &s;
    }
    return before;
}

std::string FirstLineOf(const std::string& text, size_t maxChars) {
    size_t e = 0;
    while (e < text.size() && text[e] != '\r' && text[e] != '\n')
        ++e;
    std::string first(Trim(std::string_view(text).substr(0, e)));
    if (first.size() > maxChars) first = first.substr(0, maxChars > 3 ? maxChars - 3 : 0) + "...";
    return first;
}
