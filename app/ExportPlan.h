// The export of the current result or of whole tables to delimited files: the choices of the export form, the
// plan of the table mode, the writer that lets a file appear whole or not at all, and the run through the
// worksheet.
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

class IResultSource;
class TCustomDADataSet;

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

// The folder of the user's folders (UserFolder: the program folder when unpacked) with a trailing separator.
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
// The tables' steps in list order. No two steps share a file: a name an earlier table of the same export
// took (equally named tables of two owners) becomes OWNER_TABLE, and when that is taken too, OWNER_TABLE_2,
// _3 and so on, so that no file written earlier in the export is overwritten.
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

// What the export needs of the worksheet window. The export runs in steps: those marked "GUI thread" run on
// the window's thread; the work handed to RunWork (the server call, the walk over the rows and the file) runs
// where the host puts it, off the GUI thread where it can, and meanwhile the GUI thread leaves the session,
// the query and its rows alone.
class IExportWorksheet {
public:
    virtual ~IExportWorksheet() = default;
    // GUI thread: puts the text into the editor and runs the worksheet's Execute up to the server call
    // (status, grid reset, parameters, worksheet commands); false when the parameter dialog was cancelled.
    virtual bool BeginExecute(const std::string& text1252) = 0;
    // Work: the server call of that Execute. Server errors propagate.
    virtual void RunStatement() = 0;
    // GUI thread: the rest of Execute (status line, history entry).
    virtual void EndExecute(const std::string& text1252) = 0;
    // The worksheet query's current result, read by the work.
    virtual IResultSource& Result() = 0;
    virtual void SetStatus(const std::string& text1252) = 0;
    // Lets the window repaint (the status line before each file).
    virtual void Repaint() = 0;
    // Attaches the grid to the worksheet query or detaches it (the data source enabled or disabled).
    virtual void SetGridAttached(bool on) = 0;
    // Work, about five times a second while a file is written, with the file (named as PathText gives it)
    // and its records so far; false cancels it and the rest.
    virtual bool Progress(const std::string& fileName, long records) = 0;
    // A path as Windows-1252 text for the status line.
    virtual std::string PathText(const std::string& path) { return path; }
    // Runs work and then done on the GUI thread with work's exception or nullptr; records, when given, is
    // the count the work raises. Here both run at once; a host with a worker thread runs work there.
    virtual void RunWork(std::function<void()> work, std::function<void(std::exception_ptr)> done,
                         const std::atomic<long>* records);
    // True once the user stopped the work that runs or has just ended (Escape, the "Stopp" button). Asked by
    // the work and, right after it, by its done.
    virtual bool StopRequested() { return false; }
    // GUI thread: a file's writing starts (its name for the status line and the count the work raises), or
    // has ended.
    virtual void WriteStarted(const std::string& shownName, const std::atomic<long>& records) {
        (void)shownName;
        (void)records;
    }
    virtual void WriteEnded() {}
};

enum class TExportOutcome { Done, Cancelled };

// Status texts (Windows-1252).
std::string ExportSavingText(const std::string& fileName);                 // "... Speichere Datei X ..."
std::string ExportProgressText(const std::string& fileName, long records); // with the records so far
std::string ExportCancelledText(const std::string& fileName);
// The cancel text of a table with more tables after it.
std::string ExportCancelledRestText(const std::string& fileName);

// The end of an export, on the GUI thread: Done or Cancelled, and the failure that stopped it (nullptr).
using TExportFinished = std::function<void(TExportOutcome, std::exception_ptr)>;

// The whole export after the form closed with OK. The separator is read first, so that a bad hexadecimal
// pair stops before anything is written. Result mode writes the query's current result (the worksheet's
// WriteResultFile: status line, grid detached during the walk and re-attached whatever happens, the result
// streamed into the file, the query back on its first record, "OK"). Table mode: per marked table, in order,
// the statement goes through the worksheet's Execute and its result into its file; the first failure or
// cancel stops the remaining tables, and the files written before stay. A cancelled file leaves its target
// untouched and the status line says so. finished follows once, on the GUI thread (before this returns when
// the host runs the work at once).
void StartExport(const TExportSettings& settings, IExportWorksheet& ws, TExportFinished finished);

// StartExport for a host that runs the work at once: returns the outcome, rethrows the failure.
TExportOutcome RunExport(const TExportSettings& settings, IExportWorksheet& ws);

// Rows per fetch of the worksheet query while an export reads a table through it.
constexpr int kExportFetchRows = 1000;

// The export's fetch size on the worksheet query, and the query's own size back afterwards: at once when the
// query is closed, otherwise when it next closes (the export leaves the last table's result open, and the
// worksheet's next statement closes it first), so that later statements fetch as before.
class TExportFetchRows {
public:
    // Remembers the query's own size (taking over a restore still pending from an earlier export).
    explicit TExportFetchRows(TCustomDADataSet& query);
    // Sets the export's size; the query must be closed.
    void Use();
    // Gives the query its own size back (now or when it closes); nothing when neither Use was called nor a
    // restore was taken over.
    void Restore();
    int OwnRows() const { return own_; }

private:
    TCustomDADataSet& q_;
    int own_;
    bool used_ = false;
};
