#include "app/WorksheetTabs.h"

#include <algorithm>

TWorksheetTabs::TWorksheetTabs() : tabs_(1) {}

int TWorksheetTabs::FreeNumber() const {
    // Numbers of tabs that show a file are free again: their caption is the file's name.
    for (int n = 1;; ++n) {
        const bool taken = std::any_of(tabs_.begin(), tabs_.end(), [n](const TWorksheetTab& t) {
            return t.fileName.empty() && t.number == n;
        });
        if (!taken) return n;
    }
}

int TWorksheetTabs::Add(int historyPos) {
    TWorksheetTab t;
    t.number = FreeNumber();
    t.historyPos = historyPos;
    tabs_.push_back(std::move(t));
    current_ = Count() - 1;
    return current_;
}

void TWorksheetTabs::SetCurrent(int index) {
    if (index >= 0 && index < Count()) current_ = index;
}

int TWorksheetTabs::Close(int index) {
    if (index < 0 || index >= Count()) return current_;
    if (Count() == 1) {
        // The window always holds a worksheet: the last one starts afresh instead of going.
        const int pos = tabs_[0].historyPos;
        tabs_[0] = TWorksheetTab();
        tabs_[0].historyPos = pos;
        current_ = 0;
        return current_;
    }
    tabs_.erase(tabs_.begin() + index);
    if (index < current_)
        --current_;
    else if (index == current_ && current_ >= Count())
        current_ = Count() - 1;
    return current_;
}

void TWorksheetTabs::Restore(std::vector<TWorksheetTab> tabs, int current) {
    if (tabs.empty()) tabs.emplace_back();
    for (TWorksheetTab& t : tabs)
        if (t.number < 1) t.number = 1;
    tabs_ = std::move(tabs);
    current_ = std::clamp(current, 0, Count() - 1);
}

std::string TWorksheetTabs::Name(int index) const {
    const TWorksheetTab& t = At(index);
    if (!t.fileName.empty()) return FileBaseName(t.fileName);
    return "Arbeitsblatt " + std::to_string(t.number);
}

std::string TWorksheetTabs::Caption(int index) const {
    return Name(index) + (At(index).modified ? "*" : "");
}

TWorksheetTabs::TCloseCheck TWorksheetTabs::CheckClose(int index, bool statementRunsInIt) const {
    if (statementRunsInIt) return TCloseCheck::AskRunning;
    if (At(index).modified) return TCloseCheck::AskUnsaved;
    return TCloseCheck::Close;
}

std::string TWorksheetTabs::CloseQuestion(int index, TCloseCheck check) const {
    // The name in German quotation marks: „ and “ are 0x84 and 0x93 in Windows-1252.
    const std::string name = "\x84" + Name(index) + "\x93";
    switch (check) {
    case TCloseCheck::AskRunning:
        return "In " + name +
               " l\xE4uft eine Anweisung. Anweisung abbrechen und Arbeitsblatt schlie\xDF"
               "en?";
    case TCloseCheck::AskUnsaved:
        return "Der Text in " + name +
               " ist nicht gespeichert. Arbeitsblatt trotzdem schlie\xDF"
               "en?";
    case TCloseCheck::Close:
        break;
    }
    return std::string();
}

std::string TWorksheetTabs::BusyMessage(int runningIndex) const {
    return "In \x84" + Name(runningIndex) +
           "\x93 l\xE4uft eine Anweisung. Diese Anweisung kann erst danach ausgef\xFChrt werden (Esc bricht "
           "die laufende ab).";
}

std::string FileBaseName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
