#include "grid/QxGridWork.h"

#include "dataset/DB.h"
#include "dataset/MemDS.h"

#include <algorithm>

EWalkStopped::EWalkStopped() : EDatabaseError("Der Vorgang wurde vom Benutzer abgebrochen.") {}

namespace {

void CheckStop(const TStopTest& stop) {
    if (stop && stop()) throw EWalkStopped();
}

} // namespace

void FetchToEnd(TDataSet& ds, const TStopTest& stop, std::atomic<long>* rows) {
    if (rows) rows->store(std::max(ds.RecordCount(), 0), std::memory_order_relaxed);
    if (auto* mds = dynamic_cast<TMemDataSet*>(&ds)) {
        while (!mds->AllRowsFetched()) {
            CheckStop(stop);
            const int added = mds->FetchNextBlock();
            if (rows) rows->store(std::max(mds->RecordCount(), 0), std::memory_order_relaxed);
            if (added == 0) break;
        }
    }
    CheckStop(stop);
    ds.Last();
    if (rows) rows->store(std::max(ds.RecordCount(), 0), std::memory_order_relaxed);
}

namespace {

// Float sums, maxima and minima over values of which one has more than 15 digits (rare: a NUMBER column
// wider than a double) are found again exactly, from every value's digits, in a second walk.
bool ExactModes(TSummaryMode mode) {
    return mode == smSum || mode == smMax || mode == smMin;
}

void SumExactly(TDataSet& ds, const std::vector<TSummaryJob>& jobs, std::vector<TSummaryValue>& out,
                const std::vector<bool>& wide, const TStopTest& stop) {
    std::vector<size_t> exact;
    for (size_t i = 0; i < jobs.size(); ++i)
        if (wide[i]) exact.push_back(i);
    if (exact.empty()) return;
    std::string text;
    for (ds.First(); !ds.Eof(); ds.Next()) {
        for (size_t i : exact) {
            TField* f = jobs[i].Field;
            if (f->IsNull()) { // counts as 0, as in the first walk
                SummaryAddExact(out[i], jobs[i].Mode, nullptr, 0.0);
                continue;
            }
            const bool has = f->ExactNumber(text);
            SummaryAddExact(out[i], jobs[i].Mode, has ? &text : nullptr, f->AsFloat());
        }
        CheckStop(stop);
    }
}

} // namespace

std::vector<TSummaryValue> WalkSummaries(TDataSet& ds, const std::vector<TSummaryJob>& jobs,
                                         const TStopTest& stop, std::atomic<long>* rows) {
    std::vector<TSummaryValue> out(jobs.size());
    TBookmark bm = ds.GetBookmark();
    ds.DisableControls();
    auto restore = [&] {
        if (!bm.empty() && ds.Active() && ds.BookmarkValid(bm)) ds.GotoBookmark(bm);
    };
    try {
        for (size_t i = 0; i < jobs.size(); ++i) {
            TField* f = jobs[i].Field;
            const bool isFloat = IsFloatType(f->DataType());
            const bool isNull = f->IsNull();
            SummaryStart(out[i], jobs[i].Mode, isFloat, isNull, isNull || isFloat ? 0 : f->AsInteger(),
                         isNull || !isFloat ? 0 : f->AsFloat());
        }
        CheckStop(stop);
        ds.First();
        long walked = 0;
        std::vector<bool> wide(jobs.size(), false); // a sum job met a value of more than 15 digits
        std::string text;
        while (!ds.Eof()) {
            for (size_t i = 0; i < jobs.size(); ++i) {
                TField* f = jobs[i].Field;
                const bool isNull = f->IsNull();
                if (out[i].IsFloat) {
                    SummaryAdd(out[i], jobs[i].Mode, isNull, 0, isNull ? 0 : f->AsFloat());
                    if (ExactModes(jobs[i].Mode) && !wide[i] && !isNull) wide[i] = f->ExactNumber(text);
                } else
                    SummaryAdd(out[i], jobs[i].Mode, isNull, isNull ? 0 : f->AsInteger(), 0);
            }
            if (rows) rows->store(++walked, std::memory_order_relaxed);
            CheckStop(stop);
            ds.Next();
        }
        SumExactly(ds, jobs, out, wide, stop);
        restore();
    } catch (...) {
        try {
            restore();
        } catch (...) {
            // The walk's own error is the one to report.
        }
        ds.EnableControls();
        throw;
    }
    ds.EnableControls();
    return out;
}
