// The worksheet's tabs: several worksheets in one window, each with its own editor text, result, history
// position and file name, all on the one session. This unit decides what the window shows and asks (captions,
// the question before a tab closes, which tab becomes current) and what the tabs leave for the next start;
// the window only lays them out and wires them. Texts are Windows-1252; file names are the program's paths.
#pragma once

#include <string>
#include <vector>

// What a tab is, as far as anything outside its widgets is concerned.
struct TWorksheetTab {
    int number = 1;        // "Arbeitsblatt <number>" while the tab has no file
    std::string fileName;  // the SQL file the text was opened from or saved to; empty: none
    bool modified = false; // the text differs from what was opened, saved or given at the start
    int historyPos = 0;    // the entry of the one history list this tab shows (0: none)
    std::string text;      // the editor's text (Windows-1252, CR LF); filled only for saving
};

class TWorksheetTabs {
public:
    // One tab, "Arbeitsblatt 1", current.
    TWorksheetTabs();

    int Count() const { return int(tabs_.size()); }
    int Current() const { return current_; }
    TWorksheetTab& At(int index) { return tabs_.at(size_t(index)); }
    const TWorksheetTab& At(int index) const { return tabs_.at(size_t(index)); }
    const std::vector<TWorksheetTab>& All() const { return tabs_; }

    // A new tab after the last one, numbered with the smallest number no other file-less tab shows, and
    // made current; returns its index. historyPos: where the new tab stands in the history (its end).
    int Add(int historyPos);
    void SetCurrent(int index);
    // Removes the tab and returns the index that is current afterwards: the current tab stays current; when
    // the closed tab was current, the one to its right takes over (the one to its left when it was the last).
    // The last tab is never removed: it is emptied instead (no file, no changes, number 1) and stays current.
    int Close(int index);
    // Puts back the tabs of an earlier run (at least one; the current index is kept within range).
    void Restore(std::vector<TWorksheetTab> tabs, int current);

    // "Arbeitsblatt 2", or the file's name without its folder; "*" follows while the text is unsaved.
    std::string Caption(int index) const;
    // The tab's name in questions and in the accessible name: the caption without the "*".
    std::string Name(int index) const;

    // What closing a tab needs first: nothing, the question about its unsaved text, or the question about
    // the statement still running in it (which is stopped when the user says Yes).
    enum class TCloseCheck { Close, AskUnsaved, AskRunning };
    TCloseCheck CheckClose(int index, bool statementRunsInIt) const;
    // The question for the check (Windows-1252), answered Yes (close) or No (keep the tab).
    std::string CloseQuestion(int index, TCloseCheck check) const;

    // Over the status line when Execute is asked for while another tab's statement runs.
    std::string BusyMessage(int runningIndex) const;

private:
    int FreeNumber() const;

    std::vector<TWorksheetTab> tabs_;
    int current_ = 0;
};

// The tab name's file part: the path without its folder.
std::string FileBaseName(const std::string& path);
