// TMemData: the row list, record numbers, navigation, bookmarks, editing and cached updates.
#include "dataset/ByteIO.h"
#include "dataset/MemData.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

std::atomic<int32_t> g_generation{0};

// Rollback items are never rows of the list; their status byte marks them so that no bookmark lands on one.
constexpr uint8_t kRollbackStatus = 0xFF;

} // namespace

TMemData::TMemData() : blockMan_(std::make_unique<TBlockManager>()) {
    InitData();
}

TMemData::~TMemData() {
    try {
        Close();
    } catch (...) {
        // A destructor does not raise; the memory is released below in any case.
    }
    FreeData();
    fields_.Clear();
}

void TMemData::InitData() {
    TData::InitData();
    firstItem_ = lastItem_ = currentItem_ = nullptr;
    generation_ = ++g_generation;
}

void TMemData::FreeData() {
    if (hasComplexFields_ && firstItem_) {
        bool fast = !heap_->HasLargeBuffers();
        if (fast) heap_->Clear();
        for (PItemHeader it = firstItem_; it; it = it->Next) {
            FreeComplexValues(ItemData(it), true, fast);
            if (it->Rollback) FreeComplexValues(ItemData(it->Rollback), true, fast);
        }
    }
    FreeAllUpdateNodes();
    heap_->Clear();
    blockMan_->FreeAllBlocks();
    InitData();
}

void TMemData::InitFields() {
    CheckAssert(firstItem_ == nullptr, "InitFields with loaded rows");
    TData::InitFields();
    blockMan_->FreeAllBlocks();
    blockMan_->RecordSize = recordSize_;
}

bool TMemData::GetEOF() {
    return !currentItem_ && eof_;
}
bool TMemData::GetBOF() {
    return !currentItem_ && bof_;
}

int TMemData::GetRecNo() {
    return currentItem_ ? currentItem_->Order + recNoOffset_ : 0;
}

// ---- Item list ----

PItemHeader TMemData::AppendItem() {
    PItemHeader item = blockMan_->AllocItem();
    item->Prev = lastItem_;
    item->Next = nullptr;
    item->Order = lastItem_ ? lastItem_->Order + 1 : 1;
    if (lastItem_)
        lastItem_->Next = item;
    else
        firstItem_ = item;
    lastItem_ = item;
    currentItem_ = item;
    bof_ = eof_ = false;
    return item;
}

void TMemData::LinkItemAtEnd(PItemHeader item) {
    item->Prev = lastItem_;
    item->Next = nullptr;
    item->Order = lastItem_ ? lastItem_->Order + 1 : 1;
    if (lastItem_)
        lastItem_->Next = item;
    else
        firstItem_ = item;
    lastItem_ = item;
}

PItemHeader TMemData::InsertItem() {
    if (GetEOF()) return AppendItem();
    PItemHeader before = (bof_ && !currentItem_) ? firstItem_ : currentItem_;
    if (!before) return AppendItem();
    PItemHeader item = blockMan_->AllocItem();
    item->Next = before;
    item->Prev = before->Prev;
    if (before->Prev)
        before->Prev->Next = item;
    else
        firstItem_ = item;
    before->Prev = item;
    currentItem_ = item;
    bof_ = eof_ = false;
    return item;
}

void TMemData::DeleteItem(PItemHeader item) {
    if (item->Prev)
        item->Prev->Next = item->Next;
    else
        firstItem_ = item->Next;
    if (item->Next)
        item->Next->Prev = item->Prev;
    else
        lastItem_ = item->Prev;
    if (item == currentItem_) currentItem_ = item->Next ? item->Next : item->Prev;
    if (!firstItem_) {
        currentItem_ = nullptr;
        bof_ = eof_ = true;
    }
    item->Prev = item->Next = nullptr;
    blockMan_->FreeItem(item);
}

bool TMemData::IsFilteredOut(PItemHeader item) {
    if (cachedUpdates_ && !(filterItemTypes_ & UpdateStatusBit(TUpdateStatus(item->Status)))) return true;
    uint8_t* rec = ItemData(item);
    if (FilterFunc && !FilterFunc(rec)) return true;
    if (filterRoot_ && !EvaluateNode(filterRoot_, rec)) return true;
    return false;
}

void TMemData::ReorderItems(PItemHeader p, int mode) {
    if (mode == 2) {
        int c = 1;
        for (PItemHeader it = firstItem_; it; it = it->Next)
            if (!IsHidden(it)) it->Order = c++;
        recNoOffset_ = 0;
        recordCount_ = c - 1;
        return;
    }
    if (!p) return;
    // A visible row appended after a visible last row: one more than its neighbour.
    if (mode == 0 && !p->Next && p->Prev && !IsHidden(p) && !IsHidden(p->Prev) &&
        p->Prev->Order > (recordCount_ + recNoOffset_) / 2) {
        p->Order = p->Prev->Order + 1;
        return;
    }
    PItemHeader nb = p->Next ? p->Next : p->Prev;
    if (!nb) {
        p->Order = 1;
        recNoOffset_ = 0;
        return;
    }
    int b = nb->Order;
    if (b > (recordCount_ + recNoOffset_) / 2) {
        PItemHeader q = p->Prev;
        while (q && IsHidden(q))
            q = q->Prev;
        int c;
        if (q)
            c = q->Order + 1;
        else {
            c = 1;
            recNoOffset_ = 0;
        }
        for (PItemHeader it = p; it; it = it->Next)
            if (!IsHidden(it)) it->Order = c++;
    } else {
        PItemHeader q = p->Next;
        while (q && IsHidden(q))
            q = q->Next;
        int c;
        if (q) {
            c = q->Order - 1;
            recNoOffset_ += mode == 0 ? 1 : -1;
        } else {
            c = recordCount_;
            recNoOffset_ = 0;
        }
        for (PItemHeader it = p; it; it = it->Prev)
            if (!IsHidden(it)) it->Order = c--;
    }
}

void TMemData::SetRecNo(int n) {
    if (n <= 0 || !firstItem_) return;
    PItemHeader cur = currentItem_ ? currentItem_ : firstItem_;
    int curNo = cur->Order + recNoOffset_;
    int lastNo = lastItem_->Order + recNoOffset_;
    long dFirst = n, dCur = std::labs(long(curNo) - n), dLast = std::labs(long(lastNo) - n);
    PItemHeader start;
    if (dFirst < dCur && dFirst < dLast)
        start = firstItem_;
    else if (dLast < dCur)
        start = lastItem_;
    else
        start = cur;
    // A long way from every end: start from the record-number index.
    if (std::min(dFirst, std::min(dCur, dLast)) > 4 * RecNoIndexStep)
        if (PItemHeader ix = IndexedItemAtOrBefore(n)) start = ix;
    int startNo = start->Order + recNoOffset_;
    PItemHeader it = start;
    if (startNo < n || (start == firstItem_ && IsHidden(start))) {
        while (it) {
            if (!IsHidden(it)) {
                int no = it->Order + recNoOffset_;
                if (no == n) {
                    currentItem_ = it;
                    bof_ = eof_ = false;
                    return;
                }
                if (no > n) return;
            }
            if (!it->Next && !Fetch(false)) return;
            it = it->Next;
        }
    } else {
        while (it) {
            if (!IsHidden(it)) {
                int no = it->Order + recNoOffset_;
                if (no == n) {
                    currentItem_ = it;
                    bof_ = eof_ = false;
                    return;
                }
                if (no < n) return;
            }
            it = it->Prev;
        }
    }
}

// ---- Navigation ----

void TMemData::GetNextRecord(uint8_t* recBuf) {
    if (GetEOF()) return;
    PItemHeader item = currentItem_ ? currentItem_->Next : firstItem_;
    bof_ = false;
    while (item && IsHidden(item))
        item = item->Next;
    currentItem_ = item;
    if (!item) {
        eof_ = true;
        return;
    }
    eof_ = false;
    if (recBuf) std::memcpy(recBuf, ItemData(item), size_t(recordSize_));
}

void TMemData::GetPriorRecord(uint8_t* recBuf) {
    if (GetBOF()) return;
    PItemHeader item = currentItem_ ? currentItem_->Prev : lastItem_;
    eof_ = false;
    while (item && IsHidden(item))
        item = item->Prev;
    currentItem_ = item;
    if (!item) {
        bof_ = true;
        return;
    }
    bof_ = false;
    if (recBuf) std::memcpy(recBuf, ItemData(item), size_t(recordSize_));
}

void TMemData::GetRecord(uint8_t* recBuf) {
    if (GetEOF() || GetBOF() || !currentItem_) return;
    if (IsHidden(currentItem_)) {
        GetNextRecord(recBuf);
        return;
    }
    if (recBuf) std::memcpy(recBuf, ItemData(currentItem_), size_t(recordSize_));
}

void TMemData::CheckCurrentNotHidden() {
    if (currentItem_ && IsHidden(currentItem_)) GetNextRecord(nullptr);
}

void TMemData::SetToBegin() {
    currentItem_ = nullptr;
    bof_ = true;
    if (firstItem_) eof_ = false;
}

void TMemData::SetToEnd() {
    currentItem_ = nullptr;
    eof_ = true;
    if (firstItem_) bof_ = false;
}

void TMemData::PutRecord(uint8_t* recBuf) {
    CheckAssert(currentItem_ != nullptr);
    std::memcpy(ItemData(currentItem_), recBuf, size_t(recordSize_));
}

void TMemData::GetOldRecord(uint8_t* recBuf) {
    CheckCurrentNotHidden();
    if (!currentItem_) return;
    PItemHeader src = currentItem_->Rollback ? currentItem_->Rollback : currentItem_;
    std::memcpy(recBuf, ItemData(src), size_t(recordSize_));
}

// ---- Bookmarks ----

void TMemData::GetBookmark(TRecBookmark& bm) {
    bm.Generation = generation_;
    bm.Item = currentItem_;
    bm.RecNo = currentItem_ ? GetRecNo() : -1;
    bm.BlockSerial = currentItem_ ? currentItem_->Block->Serial : 0;
}

void TMemData::GetBookmarkOfRecord(const uint8_t* record, TRecBookmark& bm) {
    auto* item = reinterpret_cast<PItemHeader>(const_cast<uint8_t*>(record) - sizeof(TItemHeader));
    bm.Generation = generation_;
    bm.Item = item;
    bm.RecNo = -1; // the number of a record under test is not known yet
    bm.BlockSerial = item->Block->Serial;
}

void TMemData::SetToBookmark(const TRecBookmark& bm) {
    if (bm.Generation == generation_ && blockMan_->IsItemInUse(bm.Item, bm.BlockSerial) &&
        bm.Item->Status != kRollbackStatus) {
        currentItem_ = bm.Item;
        bof_ = eof_ = false;
    } else if (bm.RecNo != -1)
        SetRecNo(bm.RecNo);
}

bool TMemData::BookmarkValid(const TRecBookmark* bm) {
    return bm && !(bm->RecNo == -1 && bm->Item == nullptr);
}

int TMemData::CompareBookmarks(const TRecBookmark* b1, const TRecBookmark* b2) {
    if (!b1 || !b2) return (!b1 && b2) ? 1 : (b1 && !b2) ? -1 : 0;
    if (b1->Generation == b2->Generation && b1->Item == b2->Item) return 0;
    long d = long(b1->RecNo) - b2->RecNo;
    return d < 0 ? -1 : d > 0 ? 1 : 0;
}

// ---- Editing ----

void TMemData::AppendRecord(uint8_t* recBuf) {
    SetToEnd();
    InsertRecord(recBuf);
}

void TMemData::InsertRecord(uint8_t* recBuf) {
    PItemHeader prev = currentItem_;
    bool prevBof = bof_, prevEof = eof_;
    PItemHeader item = InsertItem();
    bool noded = false;
    try {
        if (cachedUpdates_) {
            AddUpdateNode(item);
            noded = true;
            item->Status = usInserted;
            item->UpdateResult = urNone;
        } else
            InternalAppend(recBuf);
        PutRecord(recBuf);
    } catch (...) {
        if (noded) RemoveUpdateNode(item);
        DeleteItem(item);
        currentItem_ = prev;
        bof_ = prevBof;
        eof_ = prevEof;
        throw;
    }
    ++recordCount_;
    ReorderItems(item, 0);
}

void TMemData::UpdateRecord(uint8_t* recBuf) {
    CheckAssert(currentItem_ != nullptr);
    PItemHeader item = currentItem_;
    if (!cachedUpdates_) {
        InternalUpdate(recBuf);
        PutRecord(recBuf);
        return;
    }
    if (item->Status == usUnmodified) AddUpdateNode(item);
    if (!(item->Status == usInserted && item->UpdateResult != uaApplied)) {
        item->Status = usModified;
        if (!item->Rollback) {
            PItemHeader rb = blockMan_->AllocItem();
            rb->Status = kRollbackStatus;
            rb->Prev = rb->Next = nullptr;
            std::memcpy(ItemData(rb), ItemData(item), size_t(recordSize_));
            AddRefComplexFields(ItemData(rb));
            item->Rollback = rb;
        }
    }
    if (PItemHeader rb = item->Rollback) {
        // A blob rewritten since the row was read keeps its saved contents in the rollback record.
        for (int i = 0; i < fields_.Count(); ++i) {
            TFieldDesc* f = fields_[i];
            if (f->ParentField || !IsBlobFieldType(f->DataType)) continue;
            TBlob* ib = Load<TBlob*>(ItemData(item) + f->Offset);
            TBlob* rbb = Load<TBlob*>(ItemData(rb) + f->Offset);
            if (ib && ib == rbb && ib->HasRollback()) {
                Store<TBlob*>(ItemData(rb) + f->Offset, ib->TakeRollback());
                ib->Release();
            }
        }
    }
    item->UpdateResult = urNone;
    PutRecord(recBuf);
}

void TMemData::DeleteRecord() {
    CheckAssert(currentItem_ != nullptr);
    if (currentItem_ == lastItem_) Fetch(false);
    PItemHeader item = currentItem_;
    if (!cachedUpdates_) {
        InternalDelete();
        FreeComplexFields(ItemData(item), true);
        PItemHeader nb = item->Next ? item->Next : item->Prev;
        DeleteItem(item);
        --recordCount_;
        if (nb) ReorderItems(nb, 1);
        return;
    }
    switch (item->Status) {
    case usUnmodified:
        AddUpdateNode(item);
        item->Status = usDeleted;
        item->UpdateResult = urNone;
        --recordCount_;
        ReorderItems(item, 1);
        break;
    case usModified: {
        FreeComplexFields(ItemData(item), true);
        std::memcpy(ItemData(item), ItemData(item->Rollback), size_t(recordSize_));
        blockMan_->FreeItem(item->Rollback);
        item->Rollback = nullptr;
        item->Status = usDeleted;
        item->UpdateResult = urNone;
        --recordCount_;
        ReorderItems(item, 1);
        break;
    }
    case usInserted: {
        RemoveUpdateNode(item);
        FreeComplexFields(ItemData(item), true);
        PItemHeader nb = item->Next ? item->Next : item->Prev;
        DeleteItem(item);
        --recordCount_;
        if (nb) ReorderItems(nb, 1);
        break;
    }
    default:
        RaiseAssertion();
    }
}

void TMemData::EditRecord(uint8_t* recBuf) {
    CheckAssert(currentItem_ != nullptr);
    uint8_t* tmp = AllocRecBuf();
    try {
        std::memcpy(tmp, ItemData(currentItem_), size_t(recordSize_));
        CreateComplexFields(tmp, false);
        CopyComplexFields(recBuf, tmp, false);
        PutRecord(tmp);
    } catch (...) {
        FreeRecBuf(tmp);
        throw;
    }
    FreeRecBuf(tmp);
}

void TMemData::PostRecord(uint8_t* recBuf) {
    CheckAssert(currentItem_ != nullptr);
    uint8_t* tmp = AllocRecBuf();
    try {
        std::memcpy(tmp, ItemData(currentItem_), size_t(recordSize_));
        UpdateRecord(recBuf);
    } catch (...) {
        FreeRecBuf(tmp);
        throw;
    }
    CommitBlobs(recBuf);
    FreeComplexFields(tmp, false);
    FreeRecBuf(tmp);
}

void TMemData::CancelRecord(uint8_t* recBuf) {
    TData::CancelRecord(recBuf);
    FreeComplexFields(recBuf, false);
}

// ---- Cached updates ----

void TMemData::AddUpdateNode(PItemHeader item) {
    auto* node = new TUpdateNode{item, nullptr};
    if (updateTail_)
        updateTail_->Next = node;
    else
        updateHead_ = node;
    updateTail_ = node;
}

TMemData::TUpdateNode* TMemData::FindUpdateNode(PItemHeader item) const {
    for (TUpdateNode* n = updateHead_; n; n = n->Next)
        if (n->Item == item) return n;
    return nullptr;
}

void TMemData::RemoveUpdateNode(PItemHeader item) {
    TUpdateNode* prev = nullptr;
    for (TUpdateNode* n = updateHead_; n; prev = n, n = n->Next) {
        if (n->Item != item) continue;
        if (prev)
            prev->Next = n->Next;
        else
            updateHead_ = n->Next;
        if (updateTail_ == n) updateTail_ = prev;
        delete n;
        return;
    }
}

void TMemData::FreeAllUpdateNodes() {
    while (updateHead_) {
        TUpdateNode* next = updateHead_->Next;
        delete updateHead_;
        updateHead_ = next;
    }
    updateTail_ = nullptr;
}

int TMemData::UpdateListCount() const {
    int n = 0;
    for (TUpdateNode* p = updateHead_; p; p = p->Next)
        ++n;
    return n;
}

void TMemData::SetCachedUpdates(bool value) {
    if (value == cachedUpdates_) return;
    if (!value) CancelUpdates();
    cachedUpdates_ = value;
    if (value)
        SetFilterItemTypes(UpdateStatusBit(usUnmodified) | UpdateStatusBit(usModified) |
                           UpdateStatusBit(usInserted));
}

void TMemData::SetFilterItemTypes(TUpdateStatusSet value) {
    if (value == filterItemTypes_) return;
    filterItemTypes_ = value;
    ReorderItems(nullptr, 2);
    eof_ = recordCount_ == 0;
}

void TMemData::FilterUpdated() {
    ReorderItems(nullptr, 2);
    eof_ = recordCount_ == 0;
}

TUpdateStatus TMemData::GetUpdateStatus() {
    return currentItem_ ? TUpdateStatus(currentItem_->Status) : usUnmodified;
}

uint8_t TMemData::GetUpdateResult() {
    return currentItem_ ? currentItem_->UpdateResult : urNone;
}

void TMemData::SetCacheRecBuf(uint8_t* newBuf, uint8_t* oldBuf) {
    newCacheRecBuf_ = newBuf;
    oldCacheRecBuf_ = oldBuf;
}

bool TMemData::GetUpdatesPending() {
    for (TUpdateNode* n = updateHead_; n; n = n->Next)
        if (n->Item->UpdateResult != uaApplied) return true;
    return false;
}

void TMemData::ApplyUpdates() {
    if (!cachedUpdates_) return;
    uint8_t* newBuf = newCacheRecBuf_;
    uint8_t* oldBuf = oldCacheRecBuf_;
    std::unique_ptr<uint8_t, void (*)(void*)> ownNew(nullptr, std::free), ownOld(nullptr, std::free);
    if (!newBuf) {
        newBuf = AllocRecBuf();
        ownNew.reset(newBuf);
    }
    if (!oldBuf) {
        oldBuf = AllocRecBuf();
        ownOld.reset(oldBuf);
    }
    PItemHeader saved = currentItem_;
    bool savedBof = bof_, savedEof = eof_;
    TUpdateNode* node = updateHead_;
    while (node) {
        PItemHeader item = node->Item;
        if (item->UpdateResult == uaApplied) {
            node = node->Next;
            continue;
        }
        currentItem_ = item;
        TUpdateAction action = uaFail;
        uint8_t* data = ItemData(item);
        switch (item->Status) {
        case usModified:
            std::memcpy(newBuf, data, size_t(recordSize_));
            std::memcpy(oldBuf, item->Rollback ? ItemData(item->Rollback) : data, size_t(recordSize_));
            ApplyRecord(ukModify, action);
            std::memcpy(data, newBuf, size_t(recordSize_));
            break;
        case usInserted:
            std::memcpy(newBuf, data, size_t(recordSize_));
            std::memcpy(oldBuf, data, size_t(recordSize_));
            ApplyRecord(ukInsert, action);
            std::memcpy(data, newBuf, size_t(recordSize_));
            break;
        case usDeleted:
            std::memcpy(newBuf, data, size_t(recordSize_));
            std::memcpy(oldBuf, data, size_t(recordSize_));
            ApplyRecord(ukDelete, action);
            break;
        default:
            RaiseAssertion();
        }
        item->UpdateResult = action;
        if (action != uaRetry) node = node->Next;
    }
    currentItem_ = saved;
    bof_ = savedBof;
    eof_ = savedEof;
}

void TMemData::FreeRollback(PItemHeader item) {
    if (!item->Rollback) return;
    FreeComplexFields(ItemData(item->Rollback), true);
    blockMan_->FreeItem(item->Rollback);
    item->Rollback = nullptr;
}

void TMemData::CommitUpdates() {
    if (GetUpdatesPending()) ApplyUpdates();
    TUpdateNode* prev = nullptr;
    TUpdateNode* node = updateHead_;
    while (node) {
        TUpdateNode* next = node->Next;
        PItemHeader item = node->Item;
        if (item->UpdateResult != uaApplied) {
            prev = node;
            node = next;
            continue;
        }
        FreeRollback(item);
        if (item->Status == usDeleted) {
            FreeComplexFields(ItemData(item), true);
            DeleteItem(item);
        } else {
            item->Status = usUnmodified;
            item->UpdateResult = urNone;
        }
        if (prev)
            prev->Next = next;
        else
            updateHead_ = next;
        if (updateTail_ == node) updateTail_ = prev;
        delete node;
        node = next;
    }
}

void TMemData::RevertItem(PItemHeader item) {
    switch (item->Status) {
    case usModified:
        if (item->Rollback) {
            FreeComplexFields(ItemData(item), true);
            std::memcpy(ItemData(item), ItemData(item->Rollback), size_t(recordSize_));
            blockMan_->FreeItem(item->Rollback);
            item->Rollback = nullptr;
        }
        item->Status = usUnmodified;
        item->UpdateResult = urNone;
        break;
    case usInserted:
        FreeRollback(item);
        FreeComplexFields(ItemData(item), true);
        DeleteItem(item);
        break;
    case usDeleted:
        FreeRollback(item);
        item->Status = usUnmodified;
        item->UpdateResult = urNone;
        break;
    default:
        item->UpdateResult = urNone;
    }
}

void TMemData::CancelUpdates() {
    while (updateHead_) {
        TUpdateNode* node = updateHead_;
        updateHead_ = node->Next;
        RevertItem(node->Item);
        delete node;
    }
    updateTail_ = nullptr;
    ReorderItems(nullptr, 2);
}

void TMemData::RevertRecord() {
    if (!currentItem_) return;
    PItemHeader item = currentItem_;
    if (!FindUpdateNode(item)) return;
    RemoveUpdateNode(item);
    RevertItem(item);
    ReorderItems(nullptr, 2);
}

void TMemData::RestoreUpdates() {
    for (TUpdateNode* n = updateHead_; n; n = n->Next)
        n->Item->UpdateResult = urNone;
}
