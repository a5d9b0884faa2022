// The record-number index of the row store: every RecNoIndexStep-th visible item, so that a jump by number
// into a big result starts near its target.
#include "dataset/MemData.h"

#include <algorithm>
#include <climits>

bool TMemData::IndexEntryValid(const TIndexEntry& e, int recNo) {
    PItemHeader it = e.Item;
    // Never read an item whose block is gone or whose slot is free.
    if (!blockMan_->IsItemInUse(it, e.Serial)) return false;
    // A rollback copy or a reused slot outside the list is not linked.
    bool linked = it->Prev ? it->Prev->Next == it : firstItem_ == it;
    if (!linked || IsHidden(it)) return false;
    return it->Order + recNoOffset_ == recNo;
}

void TMemData::ExtendRecNoIndex(int upTo) {
    const int step = RecNoIndexStep;
    PItemHeader it = nullptr;
    int no = 0;
    auto entryNo = [&](size_t k) { return int(k) * step + 1; };
    bool tailGood = indexTailNo_ > 0 && !recIndex_.empty() &&
                    size_t((indexTailNo_ - 1) / step) + 1 == recIndex_.size() &&
                    IndexEntryValid(recIndex_.back(), entryNo(recIndex_.size() - 1)) &&
                    IndexEntryValid(indexTail_, indexTailNo_);
    if (tailGood) {
        it = indexTail_.Item;
        no = indexTailNo_;
    } else {
        while (!recIndex_.empty() && !IndexEntryValid(recIndex_.back(), entryNo(recIndex_.size() - 1)))
            recIndex_.pop_back();
        if (recIndex_.empty()) {
            it = firstItem_;
            while (it && IsHidden(it))
                it = it->Next;
            if (!it) {
                indexTailNo_ = 0;
                return;
            }
            // Numbers need not start at 1 (a unidirectional store drops the rows it has passed).
            no = it->Order + recNoOffset_;
            if (no != 1) {
                indexTailNo_ = 0;
                return;
            }
            recIndex_.push_back({it, it->Block->Serial});
        } else {
            it = recIndex_.back().Item;
            no = entryNo(recIndex_.size() - 1);
        }
    }
    while (no < upTo) {
        PItemHeader next = it->Next;
        while (next && IsHidden(next))
            next = next->Next;
        if (!next) break;
        it = next;
        ++no;
        if ((no - 1) % step == 0) recIndex_.push_back({it, it->Block->Serial});
    }
    indexTail_ = {it, it->Block->Serial};
    indexTailNo_ = no;
}

PItemHeader TMemData::IndexedItemAtOrBefore(int recNo) {
    if (recNo <= 0 || !firstItem_) return nullptr;
    size_t k = size_t((recNo - 1) / RecNoIndexStep);
    if (k < recIndex_.size() && IndexEntryValid(recIndex_[k], int(k) * RecNoIndexStep + 1))
        return recIndex_[k].Item;
    if (k < recIndex_.size()) recIndex_.resize(k);
    ExtendRecNoIndex(recNo);
    if (recIndex_.empty()) return nullptr;
    k = std::min(k, recIndex_.size() - 1);
    return recIndex_[k].Item;
}

void TMemData::RowsAppended(int countBefore) {
    if (indexTailNo_ > 0 || recIndex_.empty()) ExtendRecNoIndex(INT_MAX);
    int added = recordCount_ - countBefore;
    if (added > 0 && OnRowsAppended) OnRowsAppended(countBefore + 1, added);
}
