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
        while (!ds.Eof()) {
            for (size_t i = 0; i < jobs.size(); ++i) {
                TField* f = jobs[i].Field;
                const bool isNull = f->IsNull();
                if (out[i].IsFloat)
                    SummaryAdd(out[i], jobs[i].Mode, isNull, 0, isNull ? 0 : f->AsFloat());
                else
                    SummaryAdd(out[i], jobs[i].Mode, isNull, isNull ? 0 : f->AsInteger(), 0);
            }
            if (rows) rows->store(++walked, std::memory_order_relaxed);
            CheckStop(stop);
            ds.Next();
        }
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
