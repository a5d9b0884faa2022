// The export of the current result or of whole tables to delimited files: the choices of the export form, the
// plan of the table mode, the writer that lets a file appear whole or not at all, and the run through the
// worksheet.
#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

class IResultSource;

// What the export form hands over (Windows-1252 texts).
struct TExportSettings {
    bool tableMode = false;          // "Tabellendaten exportieren"
    std::string fileName;            // the result's file (EdtDatei)
    std::string folder;              // the tables' folder, ending with the separator (EdtOrdner)
    bool ownerAndTableNames = false; // files named OWNER_TABLE instead of TABLE
    std::string extension = "DAT";
    std::vector<std::string> tables; // the marked OWNER.TABLE items, in list order
    bool headers = true;
    bool trim = true;
    std::string separatorText = "|";
    bool separatorHex = false; // the separator typed as two-digit hexadecimal codes
    // File names are paths as the file system takes them; table names and the extension are Windows-1252
    // text, turned into path bytes by this (unchanged when empty).
    std::function<std::string(const std::string&)> textToPath;
};

// The program folder (ProgramFolder) with a trailing separator.
std::string ExportProgramFolder();
// The start values of the form: the program folder's DAT folder, and output.DAT in it.
std::string DefaultExportFolder(const std::string& programFolder);
std::string DefaultExportFile(const std::string& programFolder);

// One table of the table mode.
struct TTableExportStep {
    std::string item;      // OWNER.TABLE
    std::string statement; // "select * from OWNER.TABLE"
    std::string fileName;  // folder + TABLE or OWNER_TABLE + "." + extension
};

// The file of one item: the part after the first "." (the table), or the item with its first "." turned
// into "_"; an item without "." is taken whole.
std::string TableExportFileName(const std::string& folder, const std::string& item, bool ownerAndTableNames,
                                const std::string& extension);
std::vector<TTableExportStep> PlanTableExport(const TExportSettings& settings);

// A cancelled file: its target is untouched.
class EExportCancelled : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file written into a temporary file beside the target and renamed over it by Commit; destroyed without
// Commit, it removes the temporary file and leaves the target as it was. A read-only target, a missing folder
// or a failed write raise EFileError.
class TAtomicFile {
public:
    explicit TAtomicFile(const std::string& target);
    ~TAtomicFile();
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;
    void Write(const char* data, size_t size);
    void Write(const std::string& text) { Write(text.data(), text.size()); }
    void Commit();
    const std::string& TempName() const { return temp_; }

private:
    void Fail(const std::string& what, int err);
    std::string target_, temp_;
    int fd_ = -1;
    unsigned mode_ = 0;
    bool committed_ = false;
};

// Progress while a file is written: called about five times a second with the records written so far;
// false cancels the file.
using TExportProgress = std::function<bool(const std::string& fileName, long records)>;

// The export file's lines streamed into the file through TAtomicFile; returns the records written. The source
// is left on its first record. A cancel raises EExportCancelled.
long WriteResultFileAtomic(IResultSource& source, const std::string& fileName, const std::string& separator,
                           bool headers, bool trim, const TExportProgress& progress = {});

// What the export needs of the worksheet window.
class IExportWorksheet {
public:
    virtual ~IExportWorksheet() = default;
    // Puts the text into the editor and runs the worksheet's Execute on it (status, grid, history entry);
    // false when the parameter dialog was cancelled. Server errors propagate.
    virtual bool ExecuteEditorText(const std::string& text1252) = 0;
    // The worksheet query's current result.
    virtual IResultSource& Result() = 0;
    virtual void SetStatus(const std::string& text1252) = 0;
    // Lets the window repaint (the status line before each file).
    virtual void Repaint() = 0;
    // Attaches the grid to the worksheet query or detaches it (the data source enabled or disabled).
    virtual void SetGridAttached(bool on) = 0;
    // Progress of the file being written (named as PathText gives it); false cancels it and the rest.
    virtual bool Progress(const std::string& fileName, long records) = 0;
    // A path as Windows-1252 text for the status line.
    virtual std::string PathText(const std::string& path) { return path; }
};

enum class TExportOutcome { Done, Cancelled };

// Status texts (Windows-1252).
std::string ExportSavingText(const std::string& fileName);                 // "... Speichere Datei X ..."
std::string ExportProgressText(const std::string& fileName, long records); // with the records so far
std::string ExportCancelledText(const std::string& fileName);

// The worksheet's WriteResultFile: status line, grid detached during the walk (re-attached whatever happens),
// the result streamed into the file, the query back on its first record, "OK". Cancelled: the status line
// says so and false is returned.
bool ExportResultFile(IExportWorksheet& ws, const std::string& fileName, const std::string& separator,
                      bool headers, bool trim);

// The whole export after the form closed with OK. The separator is read first, so that a bad hexadecimal
// pair stops before anything is written. Table mode: per marked table, in order, the statement goes through
// the worksheet's Execute and its result into its file; the first failure (raised) or cancel stops the
// remaining tables, and the files written before stay.
TExportOutcome RunExport(const TExportSettings& settings, IExportWorksheet& ws);
