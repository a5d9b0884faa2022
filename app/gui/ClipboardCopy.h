// The clipboard copy behind BitBtn2 and the action AusgabeinZwischenablage.
#pragma once

#include <QString>

#include <atomic>
#include <exception>
#include <functional>

class IResultSource;
class TDataSet;
class TDataSource;

// The clipboard text of the result (BuildClipboardText's lines) as Unicode, converted piece by piece as the
// walk builds it; the source is left on its first record.
QString ClipboardTextOf(IResultSource& source);

// Puts the whole result (header line, every record in the current order and filter, tab-separated, CR LF)
// on the clipboard as Unicode plain text. The grid is detached (the data source disabled) during the walk and
// re-attached whatever happens; the query is left on its first record. A closed query raises the data set's
// closed-data-set error and leaves the clipboard as it was.
void CopyResultToClipboard(TDataSet& query, TDataSource* dataSource);

// Runs work on another thread as the worksheet's runner does (TWorksheetRun::RunInBackground): done follows
// on the GUI thread; false when something else runs.
using TRunInBackground = std::function<bool(
    std::function<void()> work, std::function<void(std::exception_ptr)> done, const std::atomic<long>* rows)>;

// The same copy with the walk over the records run through run (the status line counting the records). The
// grid stays detached until done; checkStop is called before every move to the next record and throws when
// the user asked for a stop (a stop during a fetch ends with the server's cancel error). The text goes to the
// clipboard on the GUI thread once the walk is complete; a walk that fails or is stopped leaves the clipboard
// as it was. done follows with the error or nullptr. A closed query copies (and fails) at once as above.
// False (nothing copied, done not called) while something else runs.
bool CopyResultToClipboard(TDataSet& query, TDataSource* dataSource, const TRunInBackground& run,
                           std::function<void()> checkStop, std::function<void(std::exception_ptr)> done);
