#include "cli/ScriptReader.h"

#include "app/History.h"
#include "app/Worksheet.h"
#include "dataset/OraParser.h"

namespace {

std::string Join(const std::vector<std::string>& lines) {
    std::string s;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) s += "\r\n";
        s += lines[i];
    }
    return s;
}

// Reads the first significant tokens; a text the lexer cannot read counts as no block.
bool StartsBlock(const std::string& text) {
    try {
        TOraParser p(text);
        p.OmitComment = true;
        std::string tok;
        int code = p.GetNextToken(tok);
        if (code == opBegin || code == opDeclare) return true;
        if (code != opCreate) return false;
        code = p.GetNextToken(tok);
        if (code == opOr) {
            if (p.GetNextToken(tok) != opReplace) return false;
            code = p.GetNextToken(tok);
        }
        return code == opFunction || code == opProcedure || code == opPackage || code == opTrigger ||
               code == opType;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

bool TScriptReader::IsBlock() const {
    return StartsBlock(Join(lines_));
}

bool TScriptReader::HasContent() const {
    const std::string text = Join(lines_);
    try {
        TOraParser p(text);
        p.OmitComment = true;
        std::string tok;
        return p.GetNextToken(tok) != lxEnd;
    } catch (const std::exception&) {
        return !TrimWorksheetText(text).empty();
    }
}

void TScriptReader::Complete() {
    if (HasContent()) {
        // Leading blank lines are not part of the statement.
        size_t first = 0;
        while (first < lines_.size() && TrimWorksheetText(lines_[first]).empty())
            ++first;
        lines_.erase(lines_.begin(), lines_.begin() + long(first));
        done_ = Join(lines_);
        ready_ = true;
    }
    lines_.clear();
}

bool TScriptReader::AddLine(const std::string& line) {
    ready_ = false;
    const std::string trimmed = TrimWorksheetText(line);
    if (trimmed == "/") {
        Complete();
        return ready_;
    }
    if (lines_.empty() && trimmed.empty()) return false;
    lines_.push_back(line);
    if (!trimmed.empty() && trimmed.back() == ';' && !IsBlock()) {
        // drop the terminating ";" and whatever blanks follow it
        std::string& last = lines_.back();
        last.erase(last.find_last_of(';'));
        Complete();
    }
    return ready_;
}

std::string TScriptReader::Take() {
    ready_ = false;
    return std::move(done_);
}

bool TScriptReader::Finish() {
    ready_ = false;
    if (!lines_.empty()) Complete();
    return ready_;
}

std::vector<std::string> TScriptReader::SplitScript(const std::string& text) {
    TScriptReader r;
    std::vector<std::string> out;
    for (const std::string& line : SplitLines(text))
        if (r.AddLine(line)) out.push_back(r.Take());
    if (r.Finish()) out.push_back(r.Take());
    return out;
}
