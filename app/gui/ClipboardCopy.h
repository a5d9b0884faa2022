// The clipboard copy behind BitBtn2 and the action AusgabeinZwischenablage.
#pragma once

#include <QString>

#include <exception>
#include <functional>

class IResultSource;
class TDataSet;
class TDataSource;
class TWorksheetRun;

// The clipboard text of the result (BuildClipboardText's lines) as Unicode, converted piece by piece as the
// walk builds it; the source is left on its first record.
QString ClipboardTextOf(IResultSource& source);

// Puts the whole result (header line, every record in the current order and filter, tab-separated, CR LF)
// on the clipboard as Unicode plain text. The grid is detached (the data source disabled) during the walk and
// re-attached whatever happens; the query is left on its first record. A closed query raises the data set's
// closed-data-set error and leaves the clipboard as it was.
void CopyResultToClipboard(TDataSet& query, TDataSource* dataSource);

// The same copy with the walk over the records on the worksheet's runner thread (the grid detached, the
// status line counting the records, Stop ending it: a break during a fetch, or between two records the
// walk's own stop error). The text goes to the clipboard on the GUI thread once the walk is complete; a walk
// that fails or is stopped leaves the clipboard as it was. done follows with the error or nullptr. A closed
// query, or a run that does not run in the background, copies at once as above. False (nothing copied) while
// something else runs.
bool CopyResultToClipboard(TDataSet& query, TDataSource* dataSource, TWorksheetRun& run,
                           std::function<void(std::exception_ptr)> done);
