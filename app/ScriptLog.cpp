#include "app/ScriptLog.h"

#include "app/Worksheet.h"

#include <cstdio>

std::string SecondsText(double seconds) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.2f s", seconds < 0 ? 0.0 : seconds);
    std::string s = buf;
    for (char& c : s)
        if (c == '.') c = ',';
    return s;
}

std::string ScriptLogLine(size_t number, size_t count, const std::string& statement,
                          const TScriptStepResult& r) {
    std::string line =
        "[" + std::to_string(number) + "/" + std::to_string(count) + "] " + FirstLineOf(statement) + ": ";
    if (r.ok) {
        line += StatusTextFor(r.rowsAffected);
    } else {
        // The message's first line; the rest (PL/SQL positions) stays in the error box's detail.
        line += "Fehler: " + FirstLineOf(r.error, 400);
    }
    return line + " (" + SecondsText(r.seconds) + ")";
}

TScriptProgress::TScriptProgress(std::vector<TSqlStatement> statements, bool continueOnError)
    : statements_(std::move(statements)), continueOnError_(continueOnError) {}

bool TScriptProgress::Over() const {
    return stopped_ || failed_ || next_ >= statements_.size();
}

const TSqlStatement* TScriptProgress::Next() {
    if (Over()) return nullptr;
    return &statements_[next_++];
}

std::string TScriptProgress::Record(const TScriptStepResult& r) {
    ++ran_;
    seconds_ += r.seconds;
    if (!r.ok) {
        ++errors_;
        if (!continueOnError_) failed_ = true;
    }
    const size_t at = next_ == 0 ? 0 : next_ - 1;
    return ScriptLogLine(at + 1, statements_.size(), at < statements_.size() ? statements_[at].text : "", r);
}

std::string TScriptProgress::Summary() const {
    const std::string ran =
        std::to_string(ran_) + " von " + std::to_string(statements_.size()) + " Anweisungen ausgef\xFChrt";
    if (stopped_) return "Skript abgebrochen: " + ran;
    if (failed_ && ran_ < statements_.size()) return "Skript nach einem Fehler beendet: " + ran;
    return "Skript beendet: " + std::to_string(ran_) + " Anweisungen, " + std::to_string(errors_) +
           " Fehler (" + SecondsText(seconds_) + ")";
}
