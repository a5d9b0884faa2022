// TMemDataSet: the framework's data set over a record store (TData / TMemData), with local filtering, locate
// and lookup, record numbers, bookmarks, blob streams and cached updates. TBlobStream is the stream over one
// blob field of the current record.
#pragma once

#include "dataset/DB.h"
#include "dataset/MemData.h"

#include <functional>
#include <memory>
#include <string>

// Locate option bits of LocateRecord (the framework's locate passes only the first two).
inline constexpr int lxCaseInsensitive = 1;
inline constexpr int lxPartialKey = 2;
inline constexpr int lxNearest = 4;
inline constexpr int lxNext = 8;
inline constexpr int lxUp = 16;

// The data-type code for a framework field type (parameters); 0 for types without one.
uint16_t FieldTypeToDataType(TFieldType type);

class TMemDataSet;

using TUpdateRecordEvent = std::function<void(TDataSet&, TUpdateKind, TUpdateAction&)>;
using TUpdateErrorEvent = std::function<void(TDataSet&, EDatabaseError&, TUpdateKind, TUpdateAction&)>;

// A comparison value prepared from a locate key.
struct TLocateValue {
    bool HasValue = false;
    uint16_t Type = 0; // comparison type: a data-type code
    std::string Text;
    std::u16string Wide;
    int64_t Int = 0;
    double Float = 0;
    uint8_t Raw[8] = {};
    std::vector<uint8_t> Bytes;
};

// The framework field type of a data-type code; ftUnknown for a code without one.
TFieldType FieldTypeOfDataType(uint16_t dataType);

class TMemDataSet : public TDataSet {
public:
    TMemDataSet();
    ~TMemDataSet() override;

    // ---- Virtual operations added by this class, in slot order ----
    virtual void CreateRecordStore();
    virtual void SetRecordStore(std::unique_ptr<TData> store);
    virtual void CreateFieldDefs();
    virtual TFieldType GetFieldType(uint16_t dataType);
    virtual void SetNumberRange(TFieldDef* def);
    virtual void PerformPost();
    virtual void PerformAppend() {}
    virtual void PerformDelete() {}
    virtual void PerformUpdate() {}
    virtual void PrepareLocateValue(const Variant& key, TFieldDesc* field, TLocateValue& out);
    virtual bool CompareLocateValue(const TLocateValue& key, TFieldDesc* field, uint8_t* recBuf, int options);
    virtual void Prepare();
    virtual void UnPrepare();

    TData* Data() const { return data_.get(); }
    TMemData* MemData() const { return dynamic_cast<TMemData*>(data_.get()); }

    // ---- Options ----
    bool CachedUpdates() const { return cachedUpdates_; }
    void SetCachedUpdates(bool value);
    bool LocalConstraints = true;
    bool LocalUpdate = false;
    bool NumberRange = false;
    bool ScrollableCursor = false;
    void Assign(const TMemDataSet& other);

    // ---- Cached updates ----
    TUpdateRecordEvent OnUpdateRecord;
    TUpdateErrorEvent OnUpdateError;
    void ApplyUpdates();
    void CommitUpdates();
    void CancelUpdates();
    void RevertRecord();
    void RestoreUpdates();
    bool UpdatesPending();
    TUpdateStatus UpdateStatus() override;
    uint8_t UpdateResult();

    // ---- Search ----
    bool Locate(const std::string& keyFields, const Variant& keyValues, int options) override;
    Variant Lookup(const std::string& keyFields, const Variant& keyValues,
                   const std::string& resultFields) override;
    // The full search with the lx... option bits.
    bool LocateRecord(const std::string& keyFields, const Variant& keyValues, bool forLookup, int options);

    // ---- Filtering ----
    void SetFiltered(bool value) override;
    void SetFilterText(const std::string& text) override;
    void SetFilterOptions(int options) override;
    void SetOnFilterRecord(TFilterRecordEvent ev) override;

    // ---- Record numbers and bookmarks ----
    bool IsSequenced() override { return true; }
    bool BookmarkValid(const TBookmark& bookmark) override;
    int CompareBookmarks(const TBookmark& b1, const TBookmark& b2) override;
    TBookmark GetBookmark() override;

    // ---- Reading other records (views that paint many rows) ----
    // Reads the visible record with number recNo without moving the current record and returns the values of
    // the top-level fields in field order (Null where a field has no value). False when there is no such
    // record. Positioning starts from the nearest of first, last and the record read before, so reading rows
    // in order costs one step each.
    bool GetRecordValues(int recNo, std::vector<Variant>& values);
    // The display text of every top-level field of visible record recNo, exactly as the field renders it when
    // that record is current, without moving the current record and without fetching: NULL gives an empty
    // text, bytes and var-bytes are hexadecimal, memo and LOB values give their first memoChars characters
    // only. False when the record is not among the rows fetched so far.
    bool GetRecordTexts(int recNo, std::vector<std::string>& texts, int memoChars = 256);
    // The text of one field of the current buffer by the same rules (also for the edit buffer of a pending
    // row).
    static std::string FieldViewText(TField* field, int memoChars = 256);
    // Fetches the next block of rows from the record set without moving the current record; returns the
    // number of rows appended (0 at the end of the data or for a store that does not fetch).
    int FetchNextBlock();
    // Whether every row of the result is in the store (no further fetch can add rows).
    bool AllRowsFetched();
    // Where a pending row of the edit buffer stands among the rows: in insert state the record number it
    // takes (the rows from there on move down by one), in edit state the current record number. False in
    // other states.
    bool PendingRow(int& recNo, bool& inserted);

    // ---- Field access ----
    bool GetFieldData(const TField* field, void* buffer) override;
    bool GetFieldExactNumber(const TField* field, std::string& text) override;
    bool SetFieldExactNumber(TField* field, const std::string& text) override;
    // The general path by state.
    bool GetFieldData(const TField* field, void* buffer, bool byState);
    void SetFieldData(TField* field, const void* buffer) override;
    void SetFieldDataByState(TField* field, const void* buffer);
    std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode) override;
    // The record buffer that field access uses in the current state (nil: fields read as null).
    uint8_t* GetActiveRecBuf();

    // Buffer layout: record, calculated fields, record info (8 bytes), bookmark.
    int RecordInfoOffset() const { return recInfoOfs_; }
    int BookmarkOffset() const { return bookmarkOfs_; }

protected:
    // Makes visible record recNo the buffer the fields read, runs read, and puts the current record back as
    // it was (also when read throws). False when there is no such record.
    bool ReadOtherRecord(int recNo, const std::function<void()>& read);
    uint8_t* AllocRecordBuffer() override;
    void FreeRecordBuffer(uint8_t*& buffer) override;
    TGetResult GetRecord(uint8_t* buffer, TGetMode mode, bool doCheck) override;
    void InternalOpen() override;
    void InternalClose() override;
    bool IsCursorOpen() override;
    void InternalInitFieldDefs() override;
    void InternalFirst() override;
    void InternalLast() override;
    void InternalInitRecord(uint8_t* buffer) override;
    void InternalAddRecord(uint8_t* buffer, bool append) override;
    void InternalDelete() override;
    void InternalPost() override;
    void InternalCancel() override;
    void InternalEdit() override;
    void InternalInsert() override;
    void InternalRefresh() override;
    void InternalGotoBookmark(const uint8_t* bookmark) override;
    void InternalSetToRecord(uint8_t* buffer) override;
    void GetBookmarkData(const uint8_t* buffer, uint8_t* data) override;
    TBookmarkFlag GetBookmarkFlag(const uint8_t* buffer) override;
    void SetBookmarkFlag(uint8_t* buffer, TBookmarkFlag flag) override;
    int GetRecordCount() override;
    int GetRecNo() override;
    void SetRecNoValue(int value) override;
    void ClearCalcFields(uint8_t* buffer) override;
    bool FindRecord(bool restart, bool goForward) override;
    void FreeFieldBuffers() override;

    // Perform hooks with the modified flag kept and LocalUpdate honoured.
    void DoPerformAppend();
    void DoPerformDelete();
    void DoPerformUpdate();
    void DoApplyRecord(TUpdateKind kind, TUpdateAction& action);
    void ReleaseBufferRefs(uint8_t* buffer);
    void ActivateFilters();
    void DeactivateFilters();
    bool RecordFilter(uint8_t* record);
    void SetFilterData(const std::string& text, int options);
    void RefreshAfterFilterChange();

    std::unique_ptr<TData> data_;
    bool cachedUpdates_ = false;
    bool insertPending_ = false;
    bool editPending_ = false;
    bool applying_ = false;
    bool oldValueStale_ = false;
    uint8_t* oldValueBuf_ = nullptr;
    uint8_t* newCacheBuf_ = nullptr;
    uint8_t* oldCacheBuf_ = nullptr;
    uint8_t* filterBuf_ = nullptr;
    uint8_t* peekBuf_ = nullptr;
    int recordBufSize_ = 0;
    int recInfoOfs_ = 0;
    int bookmarkOfs_ = 0;

    friend class TBlobStream;
};

class TBlobStream : public TStream {
public:
    TBlobStream(TField* field, TBlobStreamMode mode);
    ~TBlobStream() override;
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t size) override;
    bool Opened() const { return opened_; }

private:
    uint8_t* RecBuf() const;
    TField* field_;
    TMemDataSet* dataSet_;
    TBlobStreamMode mode_;
    bool opened_ = false;
    bool modified_ = false;
    int64_t position_ = 0;
};
