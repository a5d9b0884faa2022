// The clipboard copy behind BitBtn2 and the action AusgabeinZwischenablage.
#pragma once

#include <QString>

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
