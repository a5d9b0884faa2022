// Shared objects, the string heap, blobs and the block manager of the row store.
#include "dataset/MemData.h"

#include <cstdlib>
#include <cstring>
#include <new>

// ---- TSharedObject ----

void TSharedObject::Release() {
    CheckAssert(refCount_ > 0);
    if (refCount_ == 1) {
        refCount_ = 0;
        delete this;
    } else
        --refCount_;
}

// ---- TStringHeap ----
//
// A buffer is preceded by a 6-byte header: the recorded size (u32) and the reference word (u16). Small
// buffers (up to 2000 bytes, rounded to multiples of 8) are carved from 16 KB blocks and recycled through one
// free list per size class; the first bytes of a free buffer link it to the next one.

namespace {

inline uint32_t ReadSize(const char* p) {
    uint32_t v;
    std::memcpy(&v, p - 6, 4);
    return v;
}
inline void WriteSize(char* p, uint32_t v) {
    std::memcpy(p - 6, &v, 4);
}
inline uint16_t ReadRef(const char* p) {
    uint16_t v;
    std::memcpy(&v, p - 2, 2);
    return v;
}
inline void WriteRef(char* p, uint16_t v) {
    std::memcpy(p - 2, &v, 2);
}
inline char* ReadLink(const char* p) {
    char* v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void WriteLink(char* p, char* v) {
    std::memcpy(p, &v, sizeof v);
}

constexpr int kLinkSize = int(sizeof(char*));

} // namespace

TStringHeap::~TStringHeap() {
    Clear();
}

int TStringHeap::BufSize(const void* p) {
    return int(ReadSize(static_cast<const char*>(p)));
}
uint16_t TStringHeap::RefWord(const void* p) {
    return ReadRef(static_cast<const char*>(p));
}

void TStringHeap::NewBlock() {
    char* block = static_cast<char*>(std::malloc(BlockSize));
    if (!block) throw std::bad_alloc();
    WriteLink(block, firstBlock_);
    firstBlock_ = block;
    cur_ = block + kLinkSize;
    free_ = BlockSize - kLinkSize;
}

void TStringHeap::PushFree(char* p, int size) {
    WriteSize(p, uint32_t(size));
    WriteRef(p, RefFree);
    WriteLink(p, freeLists_[size / 8]);
    freeLists_[size / 8] = p;
}

char* TStringHeap::NewBuf(int n) {
    if (n <= 0) return nullptr;
    empty_ = false;
    if (n > MaxSmall) {
        char* raw = static_cast<char*>(std::malloc(size_t(n) + HeaderSize));
        if (!raw) throw std::bad_alloc();
        char* p = raw + HeaderSize;
        WriteSize(p, uint32_t(n));
        WriteRef(p, RefOne);
        ++largeCount_;
        return p;
    }
    int size = (n + 7) & ~7;
    if (char* p = freeLists_[size / 8]) {
        freeLists_[size / 8] = ReadLink(p);
        WriteRef(p, RefOne);
        return p;
    }
    if (!firstBlock_ || size + HeaderSize > free_) {
        // The rest of the current block becomes a free buffer of its own size class.
        if (firstBlock_) {
            int rest = ((free_ - HeaderSize) / 8) * 8;
            if (rest >= 8 && rest >= kLinkSize) PushFree(cur_ + HeaderSize, rest);
        }
        NewBlock();
    }
    char* p = cur_ + HeaderSize;
    cur_ += size + HeaderSize;
    free_ -= size + HeaderSize;
    if (free_ < 14) {
        // Too little left for another buffer: the last bytes go to this one (while it stays a small buffer).
        int extra = (free_ / 8) * 8;
        if (size + extra <= MaxSmall) size += extra;
        NewBlock();
    }
    WriteSize(p, uint32_t(size));
    WriteRef(p, RefOne);
    return p;
}

char* TStringHeap::AllocStr(const char* text, bool trimRight) {
    if (!text) return nullptr;
    size_t len = std::strlen(text);
    if (trimRight)
        while (len > 0 && text[len - 1] == ' ')
            --len;
    char* p = NewBuf(int(len + 1));
    std::memcpy(p, text, len);
    p[len] = 0;
    return p;
}

char* TStringHeap::AllocStr(const std::string& text, bool trimRight) {
    size_t len = std::strlen(text.c_str()); // up to the first NUL, like the C form
    if (trimRight)
        while (len > 0 && text[len - 1] == ' ')
            --len;
    char* p = NewBuf(int(len + 1));
    std::memcpy(p, text.data(), len);
    p[len] = 0;
    return p;
}

char16_t* TStringHeap::AllocWideStr(const char16_t* text, bool trimRight) {
    if (!text) return nullptr;
    size_t len = std::char_traits<char16_t>::length(text);
    if (trimRight)
        while (len > 0 && text[len - 1] == u' ')
            --len;
    char* p = NewBuf(int((len + 1) * 2));
    std::memcpy(p, text, len * 2);
    std::memset(p + len * 2, 0, 2);
    return reinterpret_cast<char16_t*>(p);
}

char* TStringHeap::ReAllocStr(char* old, const char* text, bool trimRight) {
    char* p = AllocStr(text, trimRight);
    DisposeBuf(old);
    return p;
}

void TStringHeap::DisposeBuf(void* buf) {
    char* p = static_cast<char*>(buf);
    if (!p) return;
    uint16_t ref = ReadRef(p);
    CheckAssert(ref > RefFree, "DisposeBuf failed");
    if (ref > RefOne) {
        WriteRef(p, uint16_t(ref - 1));
        return;
    }
    int size = int(ReadSize(p));
    if (size > MaxSmall) {
        WriteRef(p, RefFree);
        std::free(p - HeaderSize);
        --largeCount_;
        return;
    }
    PushFree(p, size);
}

void TStringHeap::AddRefStr(void* buf) {
    char* p = static_cast<char*>(buf);
    if (!p) return;
    uint16_t ref = ReadRef(p);
    CheckAssert(ref > RefFree, "AddRefStr failed");
    CheckAssert(ref < 0xFFFF, "AddRefStr failed");
    WriteRef(p, uint16_t(ref + 1));
}

void TStringHeap::Clear() {
    if (empty_) return;
    while (firstBlock_) {
        char* next = ReadLink(firstBlock_);
        std::free(firstBlock_);
        firstBlock_ = next;
    }
    cur_ = nullptr;
    free_ = 0;
    std::memset(freeLists_, 0, sizeof freeLists_);
    empty_ = largeCount_ == 0;
}

// ---- TBlob ----

TBlob::~TBlob() {
    FreePieces();
    if (rollback_) {
        rollback_->Release();
        rollback_ = nullptr;
    }
    test_ = 0;
}

void TBlob::CheckValid() const {
    if (test_ != 0xDD) throw Exception(SInvalidBlob);
}

PPieceHeader TBlob::AllocPiece(uint32_t capacity) {
    CheckAssert(capacity > 0);
    auto* p = static_cast<PPieceHeader>(std::malloc(sizeof(TPieceHeader) + capacity));
    if (!p) throw std::bad_alloc();
    p->Blob = nullptr;
    p->Size = capacity;
    p->Used = 0;
    p->Prev = p->Next = nullptr;
    p->Reserved = 0;
    return p;
}

void TBlob::AppendPiece(PPieceHeader piece) {
    piece->Blob = this;
    piece->Next = nullptr;
    if (!firstPiece_) {
        piece->Prev = nullptr;
        firstPiece_ = piece;
        return;
    }
    PPieceHeader last = firstPiece_;
    while (last->Next)
        last = last->Next;
    last->Next = piece;
    piece->Prev = last;
}

void TBlob::DeletePiece(PPieceHeader piece) {
    if (piece->Prev)
        piece->Prev->Next = piece->Next;
    else
        firstPiece_ = piece->Next;
    if (piece->Next) piece->Next->Prev = piece->Prev;
    std::free(piece);
}

void TBlob::FreePieces() {
    PPieceHeader p = firstPiece_;
    while (p) {
        PPieceHeader next = p->Next;
        std::free(p);
        p = next;
    }
    firstPiece_ = nullptr;
}

uint32_t TBlob::Size() {
    CheckValid();
    CheckValue();
    uint64_t n = 0;
    for (PPieceHeader p = firstPiece_; p; p = p->Next)
        n += p->Used;
    return uint32_t(n);
}

uint32_t TBlob::Read(uint32_t position, uint32_t count, void* dest) {
    CheckValid();
    CheckValue();
    if (!firstPiece_) return 0;
    uint32_t size = Size();
    if (position > size) return 0;
    if (count == 0 || uint64_t(position) + count > size) count = size - position;
    uint8_t* out = static_cast<uint8_t*>(dest);
    uint64_t offset = 0, end = uint64_t(position) + count;
    uint32_t copied = 0;
    for (PPieceHeader p = firstPiece_; p && offset < end; p = p->Next) {
        uint64_t ps = offset, pe = offset + p->Used;
        uint64_t a = std::max<uint64_t>(ps, position), b = std::min<uint64_t>(pe, end);
        if (a < b) {
            std::memcpy(out + (a - position), PieceData(p) + (a - ps), size_t(b - a));
            copied += uint32_t(b - a);
        }
        offset = pe;
    }
    return copied;
}

void TBlob::SaveRollbackIfCached() {
    if (Cached && !rollback_) SaveToRollback();
}

void TBlob::Write(uint32_t position, uint32_t count, const void* source) {
    CheckValid();
    if (Cached && !rollback_) {
        uint32_t old = Size();
        SaveToRollback();
        // The saved contents move to the rollback in one step; a write that keeps some of them (one that
        // starts after 0 or ends before the old end) gets a copy of those bytes back.
        if (old > 0 && (position > 0 || uint64_t(count) < old)) CopyFromRollback(old);
    }
    uint32_t size = Size();
    if (position > size) position = size;
    if (count == 0) return;
    const uint8_t* src = static_cast<const uint8_t*>(source);
    uint32_t left = count, pos = position;
    uint64_t offset = 0;
    PPieceHeader last = nullptr;
    for (PPieceHeader p = firstPiece_; p && left > 0; p = p->Next) {
        last = p;
        uint32_t room = p->Next ? p->Used : p->Size; // only the last piece grows
        if (pos < offset + room) {
            uint32_t at = uint32_t(pos - offset);
            uint32_t n = std::min(left, room - at);
            std::memcpy(PieceData(p) + at, src, n);
            if (at + n > p->Used) p->Used = at + n;
            src += n;
            left -= n;
            pos += n;
        }
        offset += p->Used;
    }
    (void)last;
    while (left > 0) {
        uint32_t cap = std::min(PieceSize, left);
        PPieceHeader p = AllocPiece(cap);
        std::memcpy(PieceData(p), src, cap);
        p->Used = cap;
        AppendPiece(p);
        src += cap;
        left -= cap;
    }
}

void TBlob::Truncate(uint32_t newSize) {
    CheckValid();
    if (Cached && !rollback_) {
        uint32_t old = Size();
        SaveToRollback();
        if (newSize > 0 && old > 0) CopyFromRollback(std::min(old, newSize));
        return;
    }
    if (newSize == 0) {
        FreePieces();
        return;
    }
    uint64_t offset = 0;
    PPieceHeader p = firstPiece_;
    while (p) {
        if (offset + p->Used >= newSize) {
            p->Used = uint32_t(newSize - offset);
            PPieceHeader rest = p->Next;
            p->Next = nullptr;
            while (rest) {
                PPieceHeader next = rest->Next;
                std::free(rest);
                rest = next;
            }
            return;
        }
        offset += p->Used;
        p = p->Next;
    }
}

void TBlob::Clear() {
    CheckValid();
    SaveRollbackIfCached();
    FreePieces();
}

void TBlob::SaveToRollback() {
    CheckValid();
    if (!Cached) throw Exception(SBlobNotCached);
    if (rollback_) return;
    rollback_ = new TBlob(IsUnicode);
    rollback_->firstPiece_ = firstPiece_;
    for (PPieceHeader p = firstPiece_; p; p = p->Next)
        p->Blob = rollback_;
    firstPiece_ = nullptr;
}

void TBlob::CopyFromRollback(uint32_t limit) {
    uint32_t copied = 0;
    for (PPieceHeader p = rollback_->firstPiece_; p && copied < limit; p = p->Next) {
        uint32_t n = std::min(p->Used, limit - copied);
        if (n == 0) continue;
        PPieceHeader q = AllocPiece(n);
        std::memcpy(PieceData(q), PieceData(p), n);
        q->Used = n;
        AppendPiece(q);
        copied += n;
    }
}

TBlob* TBlob::TakeRollback() {
    TBlob* r = rollback_;
    rollback_ = nullptr;
    return r;
}

void TBlob::Commit() {
    CheckValid();
    if (rollback_) {
        rollback_->Release();
        rollback_ = nullptr;
    }
    Cached = false;
}

void TBlob::Cancel() {
    CheckValid();
    if (rollback_) {
        std::swap(firstPiece_, rollback_->firstPiece_);
        for (PPieceHeader p = firstPiece_; p; p = p->Next)
            p->Blob = this;
        for (PPieceHeader p = rollback_->firstPiece_; p; p = p->Next)
            p->Blob = rollback_;
        rollback_->Release();
        rollback_ = nullptr;
    }
    Cached = false;
}

void TBlob::LoadFromStream(TStream& stream) {
    Clear();
    stream.SetPosition(0);
    std::vector<uint8_t> buf(PieceSize);
    uint32_t pos = 0;
    for (;;) {
        int64_t n = stream.Read(buf.data(), PieceSize);
        if (n <= 0) break;
        Write(pos, uint32_t(n), buf.data());
        pos += uint32_t(n);
    }
}

void TBlob::SaveToStream(TStream& stream) {
    CheckValid();
    CheckValue();
    stream.SetSize(0);
    stream.SetPosition(0);
    for (PPieceHeader p = firstPiece_; p; p = p->Next)
        stream.Write(PieceData(p), p->Used);
}

std::string TBlob::AsString() {
    std::string s(Size(), '\0');
    if (!s.empty()) s.resize(Read(0, uint32_t(s.size()), s.data()));
    return s;
}

void TBlob::SetAsString(const std::string& s) {
    Clear();
    if (!s.empty()) Write(0, uint32_t(s.size()), s.data());
}

void TBlob::Compact() {
    CheckValid();
    PPieceHeader p = firstPiece_;
    while (p) {
        PPieceHeader next = p->Next;
        if (p->Used == 0)
            DeletePiece(p);
        else if (p->Used < p->Size) {
            PPieceHeader prev = p->Prev;
            auto* q = static_cast<PPieceHeader>(std::realloc(p, sizeof(TPieceHeader) + p->Used));
            if (q) {
                q->Size = q->Used;
                if (prev)
                    prev->Next = q;
                else
                    firstPiece_ = q;
                if (next) next->Prev = q;
            }
        }
        p = next;
    }
}

void TBlob::ExpandLineFeeds() {
    CheckValid();
    std::string src = AsString();
    std::string out;
    out.reserve(src.size() + src.size() / 16);
    for (size_t i = 0; i < src.size(); ++i) {
        if (src[i] == '\n' && (i == 0 || src[i - 1] != '\r')) out += '\r';
        out += src[i];
    }
    if (out.size() == src.size()) return;
    SaveRollbackIfCached();
    FreePieces();
    size_t pos = 0;
    while (pos < out.size()) {
        size_t remaining = out.size() - pos;
        size_t cap = remaining < PieceSize / 2 ? std::min<size_t>(remaining * 2, PieceSize) : PieceSize;
        size_t n = std::min(cap, remaining);
        PPieceHeader p = AllocPiece(uint32_t(cap));
        std::memcpy(PieceData(p), out.data() + pos, n);
        p->Used = uint32_t(n);
        AppendPiece(p);
        pos += n;
    }
}

void TBlob::CollapseLineFeeds() {
    CheckValid();
    std::string src = AsString();
    std::string out;
    out.reserve(src.size());
    for (size_t i = 0; i < src.size(); ++i) {
        if (src[i] == '\r' && i + 1 < src.size() && src[i + 1] == '\n') continue;
        out += src[i];
    }
    if (out.size() == src.size()) return;
    SaveRollbackIfCached();
    FreePieces();
    if (!out.empty()) Write(0, uint32_t(out.size()), out.data());
}

// ---- TBlockManager ----

TBlockManager::~TBlockManager() {
    FreeAllBlocks();
}

PItemHeader TBlockManager::BlockItem(PBlockHeader block, int i) const {
    return reinterpret_cast<PItemHeader>(reinterpret_cast<uint8_t*>(block) + sizeof(TBlockHeader) +
                                         size_t(i) * ItemSize());
}

PBlockHeader TBlockManager::NewBlock(int n) {
    CheckAssert(n > 0 && n <= 0xFFFF);
    size_t bytes = sizeof(TBlockHeader) + size_t(n) * ItemSize();
    auto* b = static_cast<PBlockHeader>(std::malloc(bytes));
    if (!b) throw std::bad_alloc();
    b->ItemCount = uint16_t(n);
    b->UsedItems = 0;
    b->Prev = nullptr;
    b->Next = firstBlock_;
    b->Test = 0xDD;
    b->Serial = nextSerial_++;
    if (firstBlock_) firstBlock_->Prev = b;
    firstBlock_ = b;
    if (liveBlocks_ == 0) {
        // Nothing is live: older serials can all be forgotten.
        bySerial_.clear();
        serialBase_ = b->Serial;
        headSlot_ = 0;
    }
    bySerial_.push_back(b);
    ++liveBlocks_;
    return b;
}

void TBlockManager::PushFree(PItemHeader item) {
    item->Flag = flFree;
    item->Prev = nullptr;
    item->Next = firstFree_;
    if (firstFree_) firstFree_->Prev = item;
    firstFree_ = item;
}

void TBlockManager::UnlinkFree(PItemHeader item) {
    if (item->Prev)
        item->Prev->Next = item->Next;
    else
        firstFree_ = item->Next;
    if (item->Next) item->Next->Prev = item->Prev;
    item->Prev = item->Next = nullptr;
}

PItemHeader TBlockManager::AllocItem() {
    if (!firstFree_) {
        PBlockHeader b = NewBlock(DefaultItemCount);
        for (int i = b->ItemCount - 1; i >= 0; --i) {
            PItemHeader it = BlockItem(b, i);
            it->Block = b;
            it->Rollback = nullptr;
            PushFree(it);
        }
    }
    PItemHeader item = firstFree_;
    CheckAssert(item->Flag == flFree);
    UnlinkFree(item);
    item->Flag = flUsed;
    item->Rollback = nullptr;
    item->Status = usUnmodified;
    item->UpdateResult = urNone;
    item->Order = 0;
    item->Block->UsedItems++;
    return item;
}

void TBlockManager::FreeItem(PItemHeader item) {
    CheckAssert(item->Flag == flUsed);
    PBlockHeader b = item->Block;
    if (b->UsedItems > 1) {
        item->Prev = item->Next = nullptr;
        PushFree(item);
        b->UsedItems--;
        return;
    }
    // The block's last item: take the others off the free list and release the block.
    item->Flag = flFree;
    for (int i = 0; i < b->ItemCount; ++i) {
        PItemHeader it = BlockItem(b, i);
        if (it == item) continue;
        CheckAssert(it->Flag == flFree);
        if (OnFreeList(it)) UnlinkFree(it);
    }
    b->UsedItems = 0;
    FreeBlock(b);
}

PBlockHeader TBlockManager::AllocBlock(int n) {
    PBlockHeader b = NewBlock(n);
    for (int i = 0; i < n; ++i) {
        PItemHeader it = BlockItem(b, i);
        it->Block = b;
        it->Prev = it->Next = it->Rollback = nullptr;
        it->Status = usUnmodified;
        it->UpdateResult = urNone;
        it->Order = 0;
        it->Flag = flUsed;
    }
    b->UsedItems = uint16_t(n);
    return b;
}

void TBlockManager::FreeUnusedItems(PBlockHeader block, int first) {
    for (int i = block->ItemCount - 1; i >= first; --i) {
        PItemHeader it = BlockItem(block, i);
        if (it->Flag != flUsed) continue;
        it->Rollback = nullptr;
        PushFree(it);
        block->UsedItems--;
    }
    if (block->UsedItems == 0) {
        for (int i = 0; i < block->ItemCount; ++i) {
            PItemHeader it = BlockItem(block, i);
            if (OnFreeList(it)) UnlinkFree(it);
        }
        FreeBlock(block);
    }
}

void TBlockManager::FreeBlock(PBlockHeader block) {
    CheckAssert(block->Test == 0xDD);
    if (block->Prev)
        block->Prev->Next = block->Next;
    else
        firstBlock_ = block->Next;
    if (block->Next) block->Next->Prev = block->Prev;
    bySerial_[size_t(block->Serial - serialBase_)] = nullptr;
    --liveBlocks_;
    // Drop released slots at the front once they are the larger part of the table.
    while (headSlot_ < bySerial_.size() && !bySerial_[headSlot_])
        ++headSlot_;
    if (headSlot_ >= 64 && headSlot_ * 2 >= bySerial_.size()) {
        bySerial_.erase(bySerial_.begin(), bySerial_.begin() + std::ptrdiff_t(headSlot_));
        serialBase_ += headSlot_;
        headSlot_ = 0;
    }
    block->Test = 0;
    std::free(block);
}

void TBlockManager::FreeAllBlocks() {
    while (firstBlock_) {
        PBlockHeader next = firstBlock_->Next;
        std::free(firstBlock_);
        firstBlock_ = next;
    }
    bySerial_.clear();
    serialBase_ = nextSerial_;
    headSlot_ = 0;
    liveBlocks_ = 0;
    firstFree_ = nullptr;
}

bool TBlockManager::IsItemInUse(const void* item, uint64_t blockSerial) const {
    if (!item) return false;
    if (blockSerial < serialBase_ || blockSerial - serialBase_ >= bySerial_.size()) return false;
    PBlockHeader b = bySerial_[size_t(blockSerial - serialBase_)];
    if (!b) return false;
    // Inside that live block, the address must be an item start.
    uintptr_t a = reinterpret_cast<uintptr_t>(item);
    uintptr_t first = reinterpret_cast<uintptr_t>(b) + sizeof(TBlockHeader);
    if (a < first || (a - first) % ItemSize() != 0 || (a - first) / ItemSize() >= b->ItemCount) return false;
    return static_cast<const TItemHeader*>(item)->Flag == flUsed;
}
