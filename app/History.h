// The statement history and the SQL and history file formats (Windows-1252 text, CR LF line ends).
#pragma once

#include "app/FileSave.h"

#include <string>
#include <vector>

class THistory {
public:
    // Appends the editor's text with every CR LF replaced by "§§" and moves to the new last entry.
    void Record(const std::string& editorText);
    // Back and Forward move by one entry and return the entry's text with "§§" turned back into CR LF;
    // false (and nothing changes) at either end.
    bool Back(std::string& editorText);
    bool Forward(std::string& editorText);

    int Pos() const { return pos_; }
    // Moves to an entry without showing it (a worksheet tab's own place); kept within 0..count.
    void SetPos(int pos);
    int Count() const { return int(entries_.size()); }
    const std::vector<std::string>& Entries() const { return entries_; }
    // "2 / 5"
    std::string LabelText() const;

    // Writes one line per entry, each ended by CR LF; an empty history gives an empty file.
    void SaveToFile(const std::string& fileName) const;
    // Reads the file (refused beyond the editor's capacity), replaces the history with its lines, moves to
    // entry 1 and returns its text. A file that cannot be read leaves the history as it was; a file without
    // lines leaves the history empty at position 1 and raises the list index error.
    std::string LoadFromFile(const std::string& fileName);
    // Puts back a history kept elsewhere (the recovery file): the entries as recorded, and the position
    // (kept within 0..count).
    void Restore(std::vector<std::string> entries, int pos);
    // Empties the list; the position stays (the caller decides what to show).
    void Clear() { entries_.clear(); }

    static std::string Encode(const std::string& editorText);
    static std::string Decode(const std::string& entry);

private:
    std::vector<std::string> entries_;
    int pos_ = 0;
};

// SQL files: the editor's text byte for byte; loading turns lone CR or LF into CR LF and refuses a file
// beyond the editor's capacity before reading it.
void SaveSqlFile(const std::string& fileName, const std::string& editorText);
std::string LoadSqlFile(const std::string& fileName);

// Whole-file helpers raising EFileError; writing replaces the file as WriteFileReplacing does.
std::string ReadWholeFile(const std::string& fileName);
void WriteWholeFile(const std::string& fileName, const std::string& content);
// Splits at CR, LF or CR LF; a final line break adds no empty line.
std::vector<std::string> SplitLines(const std::string& text);
