// The grid's moves that read every row, in a form that runs on any thread: they touch only the data set, ask
// a stop test between rows (or blocks) and raise a counter of the rows they have reached, so that the grid
// can run them off the GUI thread and show progress. No Qt.
#pragma once

#include "grid/QxGridLogic.h"

#include <atomic>
#include <functional>
#include <vector>

class TDataSet;
class TField;

// The error of a walk that the user stopped between two rows (a stop during a server call ends with the
// server's cancel error instead).
class EWalkStopped : public EDatabaseError {
public:
    EWalkStopped();
};

// Asked between rows; empty means never stop.
using TStopTest = std::function<bool()>;

// Fetches every remaining row block by block (asking stop before each block, counting the fetched rows in
// rows) and moves to the last record. A stop leaves the rows fetched so far and the current record where it
// was. Works on any data set: one that does not fetch in blocks just moves to its last record.
void FetchToEnd(TDataSet& ds, const TStopTest& stop = nullptr, std::atomic<long>* rows = nullptr);

struct TSummaryJob {
    TField* Field = nullptr;
    TSummaryMode Mode = smNone;
};

// The summaries of the jobs' fields over every record, from the first to the end (which fetches every
// remaining row): minimum and maximum start from the current record's value, the others at zero; a null
// counts as 0. The values come back unformatted (Text empty, Computed false). The data set's controls are
// disabled during the walk and its position restored afterwards, also when the walk fails or is stopped
// (stop is asked before every move; rows counts the records walked).
std::vector<TSummaryValue> WalkSummaries(TDataSet& ds, const std::vector<TSummaryJob>& jobs,
                                         const TStopTest& stop = nullptr, std::atomic<long>* rows = nullptr);
