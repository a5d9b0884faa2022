// Record storage: field descriptors, the fixed record layout, value conversions, the local filter (TData) and
// the row store built on it (TMemData): items carved from blocks, record numbers, bookmarks, navigation with
// filtering and cached updates. Variable-length values live in the reference-counted string heap and in
// piece-list blobs.
//
// Record buffers are raw bytes: every field value is read and written with memcpy.
#pragma once

#include "dataset/DBConsts.h"
#include "dataset/DBErrors.h"
#include "dataset/Streams.h"
#include "dataset/Variant.h"

#include <bitset>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// ---- Data-type codes of the store (the server layer uses 100 and above) ----
enum : uint16_t {
    dtUnknown = 0,
    dtString = 1,
    dtInt8 = 2,
    dtInt16 = 3,
    dtInt32 = 4,
    dtFloat = 5,
    dtDate = 6,
    dtTime = 7,
    dtDateTime = 8,
    dtUInt16 = 9,
    dtBoolean = 10,
    dtInt64 = 11,
    dtCurrency = 12,
    dtBlob = 13,
    dtMemo = 14,
    dtObject = 15,
    dtReference = 16,
    dtArray = 17,
    dtTable = 18,
    dtVariant = 19,
    dtExtString = 20,
    dtBytes = 21,
    dtVarBytes = 22,
    dtExtVarBytes = 23,
    dtUInt32 = 24,
    dtWideString = 25,
    dtExtWideString = 26,
};

// A set of data-type codes; codes of 256 and above are never members.
class TDataTypeSet {
public:
    TDataTypeSet() = default;
    TDataTypeSet(std::initializer_list<int> codes) {
        for (int c : codes)
            Include(c);
    }
    void Include(int code) {
        if (code >= 0 && code < 256) bits_.set(size_t(code));
    }
    bool Contains(int code) const { return code >= 0 && code < 256 && bits_.test(size_t(code)); }
    TDataTypeSet& operator|=(const TDataTypeSet& o) {
        bits_ |= o.bits_;
        return *this;
    }

private:
    std::bitset<256> bits_;
};

// Modes of GetDateFromBuf / PutDateToBuf.
enum TDateMode : int {
    dfMSecs = 0,    // time-stamp milliseconds as a double
    dfDateTime = 1, // the day-count double itself
    dfTime = 2,     // 4-byte milliseconds since midnight
    dfDate = 3,     // 4-byte day number (1 = 1 January 0001)
};

// ---- Shared objects ----

class TSharedObject {
public:
    TSharedObject() = default;
    TSharedObject(const TSharedObject&) = delete;
    TSharedObject& operator=(const TSharedObject&) = delete;
    int RefCount() const { return refCount_; }
    void AddRef() { ++refCount_; }
    // Frees the object when this was the last reference.
    void Release();

protected:
    virtual ~TSharedObject() = default;

private:
    int refCount_ = 1;
};

// A shared holder of one Variant: the stored form of dtVariant fields.
class TVariantObject : public TSharedObject {
public:
    Variant Value;
};

class TObjectType;

class TAttribute {
public:
    std::string Name;
    uint16_t DataType = 0;
    uint16_t Length = 0;
    uint16_t Size = 0;
    bool Fixed = false;
    int Count = 0; // element count of an array attribute
    TObjectType* Owner = nullptr;

    ~TAttribute();
    TObjectType* ObjectType() const { return objectType_; }
    // Holds a reference to the type, except when the type is the owner's own type (a self-reference).
    void SetObjectType(TObjectType* type);

private:
    TObjectType* objectType_ = nullptr;
    bool holdsRef_ = false;
};

class TObjectType : public TSharedObject {
public:
    std::string Name;
    uint16_t DataType = dtObject; // 15 object, 17 array, 18 table
    int Size = 0;                 // element count of an array type

    TAttribute* AddAttribute(const std::string& name, uint16_t dataType, uint16_t length = 0,
                             uint16_t size = 0);
    int AttributeCount() const { return int(attributes_.size()); }
    TAttribute* Attribute(int i) const { return attributes_[size_t(i)].get(); }
    TAttribute* FindAttribute(const std::string& path) const;
    TAttribute* AttributeByName(const std::string& path) const;

protected:
    ~TObjectType() override;

private:
    std::vector<std::unique_ptr<TAttribute>> attributes_;
};

// Base of object-typed values (objects, references, arrays, nested tables). The server layer overrides the
// attribute access.
// Attribute values cross in the exchange form of the attribute's type (the form of GetFieldData); a nil
// source sets the attribute null, a nil destination asks only for the null flag.
class TDBObject : public TSharedObject {
public:
    explicit TDBObject(TObjectType* type = nullptr);
    TObjectType* ObjectType() const { return objectType_; }
    void SetObjectType(TObjectType* type);
    virtual void GetAttributeValue(const std::string& path, void* dest, bool& isNull);
    virtual void SetAttributeValue(const std::string& path, const void* source);

protected:
    ~TDBObject() override;

private:
    TObjectType* objectType_ = nullptr;
};

// ---- Field descriptors ----

class TFieldDesc {
public:
    TFieldDesc() = default;
    ~TFieldDesc();
    TFieldDesc(const TFieldDesc&) = delete;
    TFieldDesc& operator=(const TFieldDesc&) = delete;

    std::string Name;
    std::string ActualName;
    uint16_t DataType = dtUnknown;
    uint16_t SubDataType = 0;
    uint16_t Length = 0;
    uint16_t Scale = 0;
    uint16_t FieldNo = 0;
    uint16_t ActualFieldNo = 0;
    uint16_t Size = 0;
    int32_t Offset = 0;
    bool Required = false;
    bool ReadOnly = false;
    bool Fixed = false;
    bool HiddenCol = false;
    bool Hidden = false;
    TFieldDesc* ParentField = nullptr;

    TObjectType* ObjectType() const { return objectType_; }
    // Releases the previous type and holds a reference to the new one.
    void SetObjectType(TObjectType* type);

private:
    TObjectType* objectType_ = nullptr;
};

class TFieldDescs {
public:
    int Count() const { return int(items_.size()); }
    // 0-based.
    TFieldDesc* operator[](int i) const { return items_[size_t(i)].get(); }
    TFieldDesc* Add(std::unique_ptr<TFieldDesc> desc);
    void Clear() { items_.clear(); }
    // Case-insensitive; compares ActualName when the name contains "." or "[".
    TFieldDesc* FindField(const std::string& name) const;
    TFieldDesc* FieldByName(const std::string& name) const; // raises "Field %s not found."

private:
    std::vector<std::unique_ptr<TFieldDesc>> items_;
};

// ---- String heap ----

class TStringHeap {
public:
    static constexpr int HeaderSize = 6;
    static constexpr int MaxSmall = 2000;
    static constexpr int BlockSize = 16384;
    static constexpr uint16_t RefFree = 100;
    static constexpr uint16_t RefOne = 101;

    TStringHeap() = default;
    ~TStringHeap();
    TStringHeap(const TStringHeap&) = delete;
    TStringHeap& operator=(const TStringHeap&) = delete;

    // A buffer of at least n bytes, or nil for n <= 0.
    char* NewBuf(int n);
    char* AllocStr(const char* text, bool trimRight = false);
    char* AllocStr(const std::string& text, bool trimRight = false);
    char16_t* AllocWideStr(const char16_t* text, bool trimRight = false);
    char* ReAllocStr(char* old, const char* text, bool trimRight = false);
    void DisposeBuf(void* p);
    void AddRefStr(void* p);
    void Clear();
    bool Empty() const { return empty_; }
    bool HasLargeBuffers() const { return largeCount_ > 0; }
    // The usable size recorded for a live buffer and its reference word (for checks and tests).
    static int BufSize(const void* p);
    static uint16_t RefWord(const void* p);

private:
    void NewBlock();
    void PushFree(char* p, int size);

    char* firstBlock_ = nullptr; // linked through the first 8 bytes
    char* cur_ = nullptr;        // next free byte in the current block
    int free_ = 0;               // bytes left in the current block
    char* freeLists_[MaxSmall / 8 + 1] = {};
    int largeCount_ = 0;
    bool empty_ = true;
};

// ---- Blobs ----

class TBlob;

#pragma pack(push, 1)
struct TPieceHeader {
    TBlob* Blob;
    uint32_t Size; // capacity
    uint32_t Used;
    TPieceHeader* Prev;
    TPieceHeader* Next;
    uint16_t Reserved;
};
#pragma pack(pop)
using PPieceHeader = TPieceHeader*;

class TBlob : public TSharedObject {
public:
    static constexpr uint32_t DefaultPieceSize = 65536 - 22;

    TBlob() = default;
    explicit TBlob(bool isUnicode) : IsUnicode(isUnicode) {}

    // Virtual operations in slot order.
    virtual void CheckValue() {}
    virtual uint32_t Size();
    virtual uint32_t Read(uint32_t position, uint32_t count, void* dest);
    virtual void Write(uint32_t position, uint32_t count, const void* source);
    virtual void LoadFromStream(TStream& stream);
    virtual void SaveToStream(TStream& stream);
    virtual void Commit();
    virtual void Cancel();

    void Truncate(uint32_t newSize);
    void Clear();
    void SaveToRollback();
    std::string AsString();
    void SetAsString(const std::string& s);
    void Compact();
    void ExpandLineFeeds();
    void CollapseLineFeeds();
    bool HasRollback() const { return rollback_ != nullptr; }
    // Hands the saved rollback contents over to the caller (who then owns the reference).
    TBlob* TakeRollback();

    static uint8_t* PieceData(PPieceHeader p) { return reinterpret_cast<uint8_t*>(p) + sizeof(TPieceHeader); }
    PPieceHeader FirstPiece() const { return firstPiece_; }
    PPieceHeader AllocPiece(uint32_t capacity);
    void AppendPiece(PPieceHeader piece);
    void DeletePiece(PPieceHeader piece);
    void FreePieces();

    bool Cached = false;
    bool IsUnicode = false;
    uint32_t PieceSize = DefaultPieceSize;

protected:
    ~TBlob() override;
    void CheckValid() const;
    void SaveRollbackIfCached();
    // Copies the first limit bytes of the rollback contents into the (empty) blob.
    void CopyFromRollback(uint32_t limit);

private:
    PPieceHeader firstPiece_ = nullptr;
    TBlob* rollback_ = nullptr;
    uint8_t test_ = 0xDD;
};

// ---- Items and blocks ----

struct TBlockHeader;

#pragma pack(push, 1)
struct TItemHeader {
    TBlockHeader* Block;
    TItemHeader* Prev;
    TItemHeader* Next;
    TItemHeader* Rollback;
    uint8_t Status;       // TUpdateStatus
    uint8_t UpdateResult; // TUpdateAction or urNone
    int32_t Order;
    uint8_t Flag; // 0xDD free, 0xEE in use
};

struct TBlockHeader {
    uint16_t ItemCount;
    uint16_t UsedItems;
    TBlockHeader* Next; // newer block
    TBlockHeader* Prev; // older block
    uint8_t Test;       // 0xDD
    uint64_t Serial;    // tells a block apart from a later one at the same address
};
#pragma pack(pop)
using PItemHeader = TItemHeader*;
using PBlockHeader = TBlockHeader*;

inline constexpr uint8_t flFree = 0xDD;
inline constexpr uint8_t flUsed = 0xEE;

class TBlockManager {
public:
    TBlockManager() = default;
    ~TBlockManager();
    TBlockManager(const TBlockManager&) = delete;
    TBlockManager& operator=(const TBlockManager&) = delete;

    int RecordSize = 0;
    int DefaultItemCount = 10;

    size_t ItemSize() const { return sizeof(TItemHeader) + size_t(RecordSize); }
    static uint8_t* ItemData(PItemHeader item) {
        return reinterpret_cast<uint8_t*>(item) + sizeof(TItemHeader);
    }
    PItemHeader BlockItem(PBlockHeader block, int i) const;

    PItemHeader AllocItem();
    void FreeItem(PItemHeader item);
    // A block of n items, all counted as used (flag 0xEE), for filling fetched rows directly.
    PBlockHeader AllocBlock(int n);
    // Gives the items from index first on back as free items (the rest of a block that a fetch did not fill).
    void FreeUnusedItems(PBlockHeader block, int first);
    void FreeBlock(PBlockHeader block);
    void FreeAllBlocks();
    PBlockHeader FirstBlock() const { return firstBlock_; }
    int BlockCount() const { return liveBlocks_; }

    // Whether item points at an item in use inside a live block with that serial; never reads released
    // memory.
    bool IsItemInUse(const void* item, uint64_t blockSerial) const;

private:
    PBlockHeader NewBlock(int n);
    void PushFree(PItemHeader item);
    void UnlinkFree(PItemHeader item);
    bool OnFreeList(PItemHeader item) const { return item == firstFree_ || item->Prev != nullptr; }

    PBlockHeader firstBlock_ = nullptr; // newest block
    PItemHeader firstFree_ = nullptr;
    uint64_t nextSerial_ = 1;
    // Live blocks by serial: slot (serial - serialBase_) holds the block, or nil once it is released. Serials
    // are never reused, so a bookmark's serial finds its block or nothing; the table starts afresh when every
    // block has been released.
    uint64_t serialBase_ = 1;
    std::vector<PBlockHeader> bySerial_;
    size_t headSlot_ = 0; // slots before it are all released
    int liveBlocks_ = 0;
};

// ---- Bookmarks ----

struct TRecBookmark {
    int32_t Generation = 0;
    int32_t RecNo = -1;
    PItemHeader Item = nullptr;
    uint64_t BlockSerial = 0;
};

// ---- Filter tree (parsed from FilterText) ----

struct TFilterOperand {
    TFieldDesc* Field = nullptr; // a field, or nil for the constant Value
    Variant Value;
};

struct TFilterNode {
    enum Kind : uint8_t { fnAnd, fnOr, fnNot, fnTrue, fnFalse, fnCompare };
    Kind NodeKind = fnTrue;
    int Op = 0; // comparator token code of the filter lexer
    TFilterNode* Left = nullptr;
    TFilterNode* Right = nullptr;
    TFilterOperand A, B;
};

// ---- TData ----

using TFilterFunc = std::function<bool(uint8_t* recBuf)>;
using TRecordHook = std::function<void(uint8_t* recBuf)>;
using TDeleteHook = std::function<void()>;
using TApplyRecordHook = std::function<void(TUpdateKind kind, TUpdateAction& action)>;

class TData {
public:
    TData();
    virtual ~TData();
    TData(const TData&) = delete;
    TData& operator=(const TData&) = delete;

    // ---- Virtual operations, in slot order ----
    virtual void InternalPrepare() {}
    virtual void InternalUnPrepare() {}
    virtual void InternalOpen() {}
    virtual void InternalClose() {}
    virtual void InitData();
    virtual void FreeData();
    virtual void InternalInitFields() {}
    virtual int GetIndicatorSize();
    virtual bool GetConvertEOL() { return false; }
    virtual bool GetEOF();
    virtual bool GetBOF();
    virtual int GetRecordCount() { return -1; }
    virtual int GetRecNo() { return -1; }
    virtual void SetRecNo(int recNo) {}
    virtual bool InternalAppend(uint8_t* recBuf);
    virtual void InternalDelete();
    virtual void InternalUpdate(uint8_t* recBuf);
    virtual bool GetUpdatesPending() { return false; }
    virtual void SetFilterItemTypes(TUpdateStatusSet value) { filterItemTypes_ = value; }
    virtual void Open();
    virtual void Close();
    virtual void Prepare();
    virtual void UnPrepare();
    virtual void Reopen();
    virtual void InitFields();
    virtual void GetFieldData(TFieldDesc* field, uint8_t* recBuf, void* dest);
    virtual void PutFieldData(TFieldDesc* field, uint8_t* recBuf, const void* source);
    virtual bool GetNull(int fieldNo, const uint8_t* recBuf);
    virtual void SetNull(int fieldNo, uint8_t* recBuf, bool isNull);
    virtual void GetFieldAsVariant(int fieldNo, uint8_t* recBuf, Variant& value);
    virtual void PutFieldAsVariant(int fieldNo, uint8_t* recBuf, const Variant& value);
    virtual void GetDateFromBuf(const uint8_t* buf, void* dest, TDateMode mode);
    virtual void PutDateToBuf(uint8_t* buf, const void* source, TDateMode mode);
    virtual void GetBlobTypes(TDataTypeSet& set);
    virtual void GetComplexTypes(TDataTypeSet& set);
    virtual void GetRecord(uint8_t* recBuf) {}
    virtual void GetNextRecord(uint8_t* recBuf) {}
    virtual void GetPriorRecord(uint8_t* recBuf) {}
    virtual void PutRecord(uint8_t* recBuf) {}
    virtual void AppendRecord(uint8_t* recBuf) {}
    virtual void InsertRecord(uint8_t* recBuf) {}
    virtual void UpdateRecord(uint8_t* recBuf) {}
    virtual void DeleteRecord() {}
    virtual void CancelRecord(uint8_t* recBuf);
    virtual void CreateComplexFields(uint8_t* recBuf, bool withBlob);
    virtual void FreeComplexFields(uint8_t* recBuf, bool withBlob);
    virtual void CopyComplexFields(const uint8_t* source, uint8_t* dest, bool withBlob);
    virtual void AddRefComplexFields(uint8_t* recBuf);
    // Gives back one reference of every complex value of the record, keeping the pointers (for buffers that
    // added references of their own).
    void ReleaseComplexRefs(uint8_t* recBuf);
    // Commits every blob of the record (drops the saved contents).
    void CommitBlobs(uint8_t* recBuf);
    virtual void SetToBegin() {}
    virtual void SetToEnd() {}
    virtual void GetBookmark(TRecBookmark& bookmark) {}
    virtual void SetToBookmark(const TRecBookmark& bookmark) {}
    virtual bool BookmarkValid(const TRecBookmark* bookmark) { return false; }
    virtual int CompareBookmarks(const TRecBookmark* b1, const TRecBookmark* b2) { return 0; }
    virtual TUpdateStatus GetUpdateStatus() { return usUnmodified; }
    virtual uint8_t GetUpdateResult() { return urNone; }
    virtual void SetCacheRecBuf(uint8_t* newBuf, uint8_t* oldBuf) {}
    virtual void ApplyUpdates() {}
    virtual void CommitUpdates() {}
    virtual void CancelUpdates() {}
    virtual void RestoreUpdates() {}
    virtual void RevertRecord() {}
    virtual void ApplyRecord(TUpdateKind kind, TUpdateAction& action);
    virtual void GetOldRecord(uint8_t* recBuf) {}
    virtual void FilterUpdated() {}
    virtual uint32_t ReadBlob(int fieldNo, uint8_t* recBuf, uint32_t position, uint32_t count, void* dest);
    virtual void WriteBlob(int fieldNo, uint8_t* recBuf, uint32_t position, uint32_t count,
                           const void* source);
    virtual void TruncateBlob(int fieldNo, uint8_t* recBuf, uint32_t size);
    virtual uint32_t GetBlobSize(int fieldNo, uint8_t* recBuf);
    // The store's layout of an exact number in the room behind a float field's double (see
    // GetExactNumber); a base store has none.
    virtual bool DecodeExactNumber(const uint8_t* room, size_t size, std::string& text) { return false; }
    virtual bool EncodeExactNumber(const std::string& text, uint8_t* room, size_t size) { return false; }

    // ---- Field access by number (1-based) ----
    void GetField(int fieldNo, uint8_t* recBuf, void* dest, bool& isBlank);
    void PutField(int fieldNo, uint8_t* recBuf, const void* source);
    TBlob* GetBlob(int fieldNo, const uint8_t* recBuf);

    // Exact numbers. A float field whose descriptor has room beyond its double (Size above 8) keeps the
    // value's exact form in that room, in the layout of the store that fetched it; a write of the double
    // empties it. GetExactNumber gives the decimal text (a point as separator) only for values of more than
    // 15 significant digits, the ones the double rounds; PutExactNumber stores such a text and its double,
    // false when the field has no room or the store cannot encode the value.
    bool GetExactNumber(int fieldNo, const uint8_t* recBuf, std::string& text);
    bool PutExactNumber(int fieldNo, uint8_t* recBuf, const std::string& text);
    // Empties the exact form of a float field (nothing for other fields).
    static void ClearExactNumber(const TFieldDesc* f, uint8_t* recBuf);

    // Whether a data-type code is in the complex / blob set of this store.
    bool IsComplexFieldType(uint16_t dataType) {
        if (!typeSetsKnown_) LoadTypeSets();
        return complexTypes_.Contains(dataType);
    }
    bool IsBlobFieldType(uint16_t dataType) {
        if (!typeSetsKnown_) LoadTypeSets();
        return blobTypes_.Contains(dataType);
    }

    // Appends a top-level descriptor with the record size its type needs (for stores whose columns the caller
    // defines: switch AutoInitFields off, add the fields, then InitFields).
    TFieldDesc* AddFieldDesc(const std::string& name, uint16_t dataType, uint16_t length = 0,
                             uint16_t scale = 0, bool required = false, bool fixed = false);
    // Bytes a value of the type occupies in the record.
    static uint16_t FieldSizeOf(uint16_t dataType, uint16_t length);

    // Creates the child descriptors of an object or array field (depth first, appended to the list).
    void InitChildFields(TFieldDesc* parent);
    void UniqueFieldNames();

    // Allocation of record buffers of RecordSize bytes (zeroed).
    uint8_t* AllocRecBuf();
    void FreeRecBuf(uint8_t* buf);

    // ---- State ----
    TFieldDescs& Fields() { return fields_; }
    int FieldCount() const { return fields_.Count(); }
    TFieldDesc* FieldByName(const std::string& name) const { return fields_.FieldByName(name); }
    TFieldDesc* FindField(const std::string& name) const { return fields_.FindField(name); }
    TStringHeap& StringHeap() { return *heap_; }
    int RecordSize() const { return recordSize_; }
    int DataSize() const { return dataSize_; }
    bool Active() const { return active_; }
    bool Prepared() const { return prepared_; }
    bool HasComplexFields() const { return hasComplexFields_; }
    // Marks every top-level field of the record null.
    void InitNullFlags(uint8_t* recBuf);
    bool CachedUpdates() const { return cachedUpdates_; }
    virtual void SetCachedUpdates(bool value) { cachedUpdates_ = value; }
    TUpdateStatusSet FilterItemTypes() const { return filterItemTypes_; }

    bool TrimFixedChar = true;
    bool KeepEmptyStrings = false;
    bool AutoInitFields = true;
    bool FilterCaseInsensitive = false;
    bool FilterNoPartialCompare = false;
    TFilterFunc FilterFunc;

    // Owner hooks.
    TRecordHook OnAppend;
    TDeleteHook OnDelete;
    TRecordHook OnUpdate;
    TApplyRecordHook OnApplyRecord;

    const std::string& FilterText() const { return filterText_; }
    // Parsed at once when the store is open ("Illegal filter expression." or "Field %s not found." on error,
    // leaving no filter tree).
    void SetFilterText(const std::string& text);
    bool HasFilterTree() const { return filterRoot_ != nullptr; }

protected:
    // The child-field path from the root (ADDRESS.LINES[0]) and the root descriptor.
    std::string ChildFieldPath(TFieldDesc* desc, TFieldDesc*& root) const;
    void ParseFilter();
    void FreeFilter();
    bool EvaluateNode(const TFilterNode* node, uint8_t* recBuf);
    bool EvaluateCompare(const TFilterNode* node, uint8_t* recBuf);
    uint8_t* ValuePtr(TFieldDesc* f, uint8_t* recBuf) const { return recBuf + f->Offset; }
    const uint8_t* ValuePtr(TFieldDesc* f, const uint8_t* recBuf) const { return recBuf + f->Offset; }
    TFieldDesc* CheckFieldNo(int fieldNo) const {
        if (fieldNo < 1 || fieldNo > fields_.Count()) RaiseAssertion();
        return fields_[fieldNo - 1];
    }
    void LoadTypeSets();
    void GetChildField(TFieldDesc* f, uint8_t* recBuf, void* dest, bool& isBlank);
    void PutChildField(TFieldDesc* f, uint8_t* recBuf, const void* source);
    void GetChildAsVariant(TFieldDesc* f, uint8_t* recBuf, Variant& value);
    void PutChildAsVariant(TFieldDesc* f, uint8_t* recBuf, const Variant& value);
    bool CompareFast(const TFilterNode* node, uint8_t* recBuf, bool& result);
    // Releases the complex values of a record, skipping string-heap values when skipHeap is set.
    void FreeComplexValues(uint8_t* recBuf, bool withBlob, bool skipHeap, bool clear = true);

    TFieldDescs fields_;
    std::unique_ptr<TStringHeap> heap_;
    int recordSize_ = 0;
    int dataSize_ = 0;
    bool active_ = false;
    bool prepared_ = false;
    bool hasComplexFields_ = false;
    int plainNullCount_ = -1; // field count when all are top-level and plain, else -1
    // Whether a top-level field's null flag is one byte (1 = null) after the data area; stores that keep
    // other indicators override GetNull/SetNull and clear this.
    bool byteNullFlags_ = true;
    bool cachedUpdates_ = false;
    bool bof_ = true;
    bool eof_ = true;
    int recordCount_ = 0;
    int recNoOffset_ = 0;
    TUpdateStatusSet filterItemTypes_ =
        UpdateStatusBit(usUnmodified) | UpdateStatusBit(usModified) | UpdateStatusBit(usInserted);
    std::string filterText_;
    TFilterNode* filterRoot_ = nullptr;
    std::vector<std::unique_ptr<TFilterNode>> filterNodes_; // the chain of all nodes, freed together
    uint8_t* newCacheRecBuf_ = nullptr;
    uint8_t* oldCacheRecBuf_ = nullptr;
    // Cached complex-type set, refreshed by InitFields.
    TDataTypeSet complexTypes_;
    TDataTypeSet blobTypes_;
    bool typeSetsKnown_ = false;

    friend class TFilterParser;
};

// ---- TMemData: the row store ----

class TMemData : public TData {
public:
    TMemData();
    ~TMemData() override;

    void InitData() override;
    void FreeData() override;
    bool GetEOF() override;
    bool GetBOF() override;
    int GetRecordCount() override { return recordCount_; }
    int GetRecNo() override;
    void SetRecNo(int recNo) override;
    bool GetUpdatesPending() override;
    void SetFilterItemTypes(TUpdateStatusSet value) override;
    void InitFields() override;
    void GetRecord(uint8_t* recBuf) override;
    void GetNextRecord(uint8_t* recBuf) override;
    void GetPriorRecord(uint8_t* recBuf) override;
    void PutRecord(uint8_t* recBuf) override;
    void AppendRecord(uint8_t* recBuf) override;
    void InsertRecord(uint8_t* recBuf) override;
    void UpdateRecord(uint8_t* recBuf) override;
    void DeleteRecord() override;
    void SetToBegin() override;
    void SetToEnd() override;
    void GetBookmark(TRecBookmark& bookmark) override;
    // The bookmark of a record that lies in the store (the record under test of a filter).
    void GetBookmarkOfRecord(const uint8_t* record, TRecBookmark& bookmark);
    void SetToBookmark(const TRecBookmark& bookmark) override;
    bool BookmarkValid(const TRecBookmark* bookmark) override;
    int CompareBookmarks(const TRecBookmark* b1, const TRecBookmark* b2) override;
    TUpdateStatus GetUpdateStatus() override;
    uint8_t GetUpdateResult() override;
    void SetCacheRecBuf(uint8_t* newBuf, uint8_t* oldBuf) override;
    void ApplyUpdates() override;
    void CommitUpdates() override;
    void CancelUpdates() override;
    void RestoreUpdates() override;
    void RevertRecord() override;
    void GetOldRecord(uint8_t* recBuf) override;
    void FilterUpdated() override;
    virtual bool Fetch(bool fetchBack) { return false; }
    // Whether the store holds every row (a record set that still has rows on the server says no).
    virtual bool AllRowsFetched() { return true; }

    // ---- Views over many rows ----
    // Every RecNoIndexStep-th visible record is remembered, so that positioning by number jumps near its
    // target instead of walking the list from one end. Entries are checked before use (block serial, link,
    // visibility, number) and rebuilt from the last good one when stale.
    static constexpr int RecNoIndexStep = 256;
    // The indexed visible item with the greatest number not above recNo (extending the index up to recNo),
    // or nil.
    PItemHeader IndexedItemAtOrBefore(int recNo);
    // Called by a record set after a fetch appended rows: extends the index and tells OnRowsAppended.
    void RowsAppended(int countBefore);
    // A fetch appended rows firstRecNo .. firstRecNo + count - 1.
    std::function<void(int firstRecNo, int count)> OnRowsAppended;

    void SetCachedUpdates(bool value) override;

    // The edit protocol used by the data set.
    void EditRecord(uint8_t* recBuf);
    void PostRecord(uint8_t* recBuf);
    void CancelRecord(uint8_t* recBuf) override;

    // Renumbering after an insert (mode 0) or delete (mode 1) at item, or of the whole list (mode 2).
    void ReorderItems(PItemHeader item, int mode);
    bool IsHidden(PItemHeader item) {
        if (!item) return true;
        if (!cachedUpdates_ && !filterRoot_ && !FilterFunc) return false;
        return IsFilteredOut(item);
    }
    bool IsFilteredOut(PItemHeader item);

    // Item access for the record-set layers, which fill fetched rows straight into blocks.
    TBlockManager& BlockManager() { return *blockMan_; }
    PItemHeader FirstItem() const { return firstItem_; }
    PItemHeader LastItem() const { return lastItem_; }
    PItemHeader CurrentItem() const { return currentItem_; }
    void SetCurrentItem(PItemHeader item) { currentItem_ = item; }
    static uint8_t* ItemData(PItemHeader item) { return TBlockManager::ItemData(item); }
    PItemHeader AppendItem();
    PItemHeader InsertItem();
    void DeleteItem(PItemHeader item);
    // Links an item filled by the caller after the last item, numbering it.
    void LinkItemAtEnd(PItemHeader item);
    int UpdateListCount() const;

protected:
    struct TUpdateNode {
        PItemHeader Item;
        TUpdateNode* Next;
    };
    void AddUpdateNode(PItemHeader item);
    void RemoveUpdateNode(PItemHeader item);
    TUpdateNode* FindUpdateNode(PItemHeader item) const;
    void RevertItem(PItemHeader item);
    void FreeRollback(PItemHeader item);
    void FreeAllUpdateNodes();
    void CheckCurrentNotHidden();

    PItemHeader firstItem_ = nullptr;
    PItemHeader lastItem_ = nullptr;
    PItemHeader currentItem_ = nullptr;
    TUpdateNode* updateHead_ = nullptr;
    TUpdateNode* updateTail_ = nullptr;
    int32_t generation_ = 0;
    std::unique_ptr<TBlockManager> blockMan_;

private:
    struct TIndexEntry {
        PItemHeader Item = nullptr;
        uint64_t Serial = 0;
    };
    bool IndexEntryValid(const TIndexEntry& e, int recNo);
    void ExtendRecNoIndex(int upTo);
    std::vector<TIndexEntry> recIndex_; // entry k: the record numbered k * RecNoIndexStep + 1
    TIndexEntry indexTail_;             // the last item the index walk reached
    int indexTailNo_ = 0;
};
