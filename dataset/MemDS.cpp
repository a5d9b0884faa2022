// TMemDataSet: buffers, field definitions and the type map, field access by state, editing, filtering,
// search, record numbers, blob streams and cached updates over a record store.
#include "dataset/MemDS.h"
#include "dataset/ByteIO.h"
#include "dataset/DecimalText.h"
#include "dataset/StrUtil.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Record info: record number (i32), update status (u8), bookmark flag (u8), holds-references flag (u8),
// spare.
constexpr int kRecInfoSize = 8;
constexpr int kInfoRecNo = 0;
constexpr int kInfoStatus = 4;
constexpr int kInfoFlag = 5;
constexpr int kInfoRefs = 6;

std::vector<std::string> SplitNames(const std::string& names) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t i = 0; i <= names.size(); ++i)
        if (i == names.size() || names[i] == ';') {
            std::string n = Trim(names.substr(start, i - start));
            if (!n.empty()) out.push_back(n);
            start = i + 1;
        }
    return out;
}

// Reverse type map for parameters, indexed by the framework field type.
struct ReverseMap {
    uint16_t map[128] = {};
    ReverseMap() {
        map[ftString] = dtString;
        map[ftFixedChar] = dtString;
        map[ftSmallint] = dtInt32;
        map[ftInteger] = dtInt32;
        map[ftWord] = dtInt32;
        map[ftBoolean] = dtBoolean;
        map[ftFloat] = dtFloat;
        map[ftCurrency] = dtCurrency;
        map[ftDate] = dtDate;
        map[ftTime] = dtTime;
        map[ftDateTime] = dtDateTime;
        map[ftBytes] = dtBytes;
        map[ftVarBytes] = dtVarBytes;
        map[ftBlob] = dtBlob;
        map[ftMemo] = dtMemo;
        map[ftWideString] = dtWideString;
        map[ftLargeint] = dtInt64;
        map[ftADT] = dtObject;
        map[ftArray] = dtArray;
        map[ftReference] = dtReference;
        map[ftDataSet] = dtTable;
        map[ftVariant] = dtVariant;
    }
};

} // namespace

uint16_t FieldTypeToDataType(TFieldType type) {
    static const ReverseMap m;
    return size_t(type) < 128 ? m.map[type] : 0;
}

// ---- Construction ----

TMemDataSet::TMemDataSet() {
    LocalConstraints = true;
    CreateRecordStore();
}

TMemDataSet::~TMemDataSet() {
    try {
        UnPrepare();
    } catch (...) {
        // Closing during destruction does not raise.
    }
    data_.reset();
}

void TMemDataSet::CreateRecordStore() {
    SetRecordStore(std::make_unique<TMemData>());
}

void TMemDataSet::SetRecordStore(std::unique_ptr<TData> store) {
    data_ = std::move(store);
    if (!data_) return;
    data_->SetCachedUpdates(cachedUpdates_);
    data_->OnAppend = [this](uint8_t*) { DoPerformAppend(); };
    data_->OnDelete = [this]() { DoPerformDelete(); };
    data_->OnUpdate = [this](uint8_t*) { DoPerformUpdate(); };
    data_->OnApplyRecord = [this](TUpdateKind kind, TUpdateAction& action) { DoApplyRecord(kind, action); };
}

void TMemDataSet::Assign(const TMemDataSet& other) {
    SetCachedUpdates(other.cachedUpdates_);
    LocalConstraints = other.LocalConstraints;
    LocalUpdate = other.LocalUpdate;
}

// ---- Field definitions and the type map ----

// The framework field type of a data-type code; ftUnknown for a code without one.
TFieldType FieldTypeOfDataType(uint16_t dataType) {
    switch (dataType) {
    case dtString:
    case dtExtString:
        return ftString;
    case dtInt16:
        return ftSmallint;
    case dtInt32:
        return ftInteger;
    case dtFloat:
        return ftFloat;
    case dtDate:
        return ftDate;
    case dtTime:
        return ftTime;
    case dtDateTime:
        return ftDateTime;
    case dtBoolean:
        return ftBoolean;
    case dtBlob:
        return ftBlob;
    case dtMemo:
        return ftMemo;
    case dtObject:
        return ftADT;
    case dtReference:
        return ftReference;
    case dtArray:
        return ftArray;
    case dtTable:
        return ftDataSet;
    case dtVariant:
        return ftVariant;
    case dtBytes:
        return ftBytes;
    case dtVarBytes:
    case dtExtVarBytes:
        return ftVarBytes;
    case dtUInt32:
        return ftLargeint;
    case dtWideString:
    case dtExtWideString:
        return ftWideString;
    default:
        return ftUnknown;
    }
}

TFieldType TMemDataSet::GetFieldType(uint16_t dataType) {
    const TFieldType type = FieldTypeOfDataType(dataType);
    if (type == ftUnknown && dataType != dtUnknown) RaiseAssertion(SUnknownDataType);
    return type;
}

namespace {

int DefSize(TFieldType ft, const TFieldDesc* d) {
    switch (ft) {
    case ftString:
    case ftWideString:
    case ftGuid:
    case ftFixedChar:
        return std::max<int>(d->Length, 1);
    case ftBytes:
    case ftVarBytes:
        return d->Length;
    default:
        return 0;
    }
}

} // namespace

void TMemDataSet::CreateFieldDefs() {
    TFieldDefs& defs = FieldDefs();
    defs.Clear();
    TFieldDescs& descs = data_->Fields();
    // Child definitions of an ADT or array definition, from the store's child descriptors.
    std::function<void(TFieldDef*, TFieldDesc*)> addChildren = [&](TFieldDef* parentDef, TFieldDesc* parent) {
        for (int i = 0; i < descs.Count(); ++i) {
            TFieldDesc* c = descs[i];
            if (c->ParentField != parent) continue;
            TFieldType ft = GetFieldType(c->DataType);
            if (ft == ftUnknown) continue;
            std::string name = c->Name;
            if (name.size() > 2 && name.front() == '[' && name.back() == ']')
                name = name.substr(1, name.size() - 2);
            TFieldDef* cd = parentDef->ChildDefs().Add(name, ft, DefSize(ft, c), false, c->FieldNo);
            if (ft == ftADT || ft == ftArray) addChildren(cd, c);
        }
    };
    for (int i = 0; i < descs.Count(); ++i) {
        TFieldDesc* d = descs[i];
        if (d->Hidden) continue;
        if (d->ParentField && !d->ParentField->Hidden) continue;
        TFieldType ft = GetFieldType(d->DataType);
        if (ft == ftUnknown) continue;
        TFieldDef* def = defs.Add(d->Name, ft, DefSize(ft, d), d->Required && LocalConstraints, d->FieldNo);
        if (ft == ftSmallint || ft == ftFloat) def->Precision = d->Length;
        if (ft == ftBCD || ft == ftFMTBcd) {
            def->Precision = d->Length;
            def->Size = d->Scale;
        }
        if (ft == ftADT || ft == ftArray) addChildren(def, d);
        if (d->ReadOnly) def->Attributes |= faReadonly;
        if (d->HiddenCol) def->Attributes |= faHiddenCol;
        if (d->Fixed) def->Attributes |= faFixed;
    }
    defs.Updated = true;
}

void TMemDataSet::SetNumberRange(TFieldDef* def) {
    TField* f = FindField(def->Name);
    if (!f || def->FieldNo <= 0 || def->FieldNo > data_->FieldCount()) return;
    TFieldDesc* d = data_->Fields()[def->FieldNo - 1];
    if (auto* fi = dynamic_cast<TIntegerField*>(f); fi && def->DataType == ftInteger) {
        if (d->Length > 0 && d->Length < 19) {
            int64_t max = 1;
            for (int i = 0; i < d->Length; ++i)
                max *= 10;
            fi->MaxValue = max - 1;
            fi->MinValue = -(max - 1);
        }
    } else if (auto* ff = dynamic_cast<TFloatField*>(f); ff && def->DataType == ftFloat) {
        if (d->Length > 0 && d->Length <= 15) {
            ff->Precision = d->Length;
            ff->MaxValue = std::pow(10.0, int(d->Length) - int(d->Scale)) - std::pow(10.0, -int(d->Scale));
            ff->MinValue = -ff->MaxValue;
        }
    }
}

void TMemDataSet::Prepare() {
    if (data_->Prepared()) return;
    data_->Prepare();
    CreateFieldDefs();
}

void TMemDataSet::UnPrepare() {
    if (Active()) Close();
    data_->UnPrepare();
    FieldDefs().Updated = false;
}

// ---- Perform hooks ----

void TMemDataSet::PerformPost() {
    if (State() == dsEdit)
        DoPerformUpdate();
    else
        DoPerformAppend();
}

void TMemDataSet::DoPerformAppend() {
    if (LocalUpdate) return;
    bool m = Modified();
    PerformAppend();
    SetModified(m);
}

void TMemDataSet::DoPerformDelete() {
    if (LocalUpdate) return;
    bool m = Modified();
    PerformDelete();
    SetModified(m);
}

void TMemDataSet::DoPerformUpdate() {
    if (LocalUpdate) return;
    bool m = Modified();
    PerformUpdate();
    SetModified(m);
}

// ---- Buffers ----

uint8_t* TMemDataSet::AllocRecordBuffer() {
    auto* p = static_cast<uint8_t*>(std::calloc(size_t(std::max(recordBufSize_, 1)), 1));
    if (!p) throw std::bad_alloc();
    return p;
}

void TMemDataSet::ReleaseBufferRefs(uint8_t* buffer) {
    if (!buffer || buffer[recInfoOfs_ + kInfoRefs] == 0) return;
    buffer[recInfoOfs_ + kInfoRefs] = 0;
    data_->ReleaseComplexRefs(buffer);
}

void TMemDataSet::FreeRecordBuffer(uint8_t*& buffer) {
    ReleaseBufferRefs(buffer);
    std::free(buffer);
    buffer = nullptr;
}

void TMemDataSet::InternalOpen() {
    data_->Open();
    try {
        CreateFieldDefs();
        if (DefaultFields())
            CreateFields();
        else
            for (int i = 0; i < FieldListCount(); ++i) {
                TField* f = FieldList(i);
                if (f->DataType() == ftString || f->DataType() == ftWideString)
                    if (TFieldDef* d = FieldDefs().Find(f->FieldName())) f->SetSize(d->Size);
            }
        if (NumberRange)
            for (int i = 0; i < FieldDefs().Count(); ++i)
                SetNumberRange(FieldDefs()[i]);
        BindFields(true);
        if (ObjectView)
            for (int i = 0; i < FieldListCount(); ++i)
                if (auto* of = dynamic_cast<TObjectField*>(FieldList(i)))
                    if (of->FieldNo() > 0 && of->FieldNo() <= data_->FieldCount())
                        if (TObjectType* t = data_->Fields()[of->FieldNo() - 1]->ObjectType())
                            of->ObjectType = t->Name;
        recInfoOfs_ = data_->RecordSize() + calcFieldsSize_;
        bookmarkOfs_ = recInfoOfs_ + kRecInfoSize;
        recordBufSize_ = bookmarkOfs_ + int(sizeof(TRecBookmark));
        SetBookmarkSize(int(sizeof(TRecBookmark)));
        oldValueBuf_ = AllocRecordBuffer();
        newCacheBuf_ = AllocRecordBuffer();
        oldCacheBuf_ = AllocRecordBuffer();
        peekBuf_ = AllocRecordBuffer();
        data_->SetCacheRecBuf(newCacheBuf_, oldCacheBuf_);
        if (filtered_) ActivateFilters();
        if (filtered_) data_->FilterUpdated();
    } catch (...) {
        std::free(oldValueBuf_);
        std::free(newCacheBuf_);
        std::free(oldCacheBuf_);
        std::free(peekBuf_);
        oldValueBuf_ = newCacheBuf_ = oldCacheBuf_ = peekBuf_ = nullptr;
        data_->SetCacheRecBuf(nullptr, nullptr);
        DestroyDefaultFields();
        data_->Close();
        throw;
    }
}

void TMemDataSet::InternalClose() {
    if (data_->HasComplexFields() && activeBuf_) {
        if (insertPending_)
            data_->FreeComplexFields(activeBuf_, true);
        else if (editPending_)
            data_->FreeComplexFields(activeBuf_, false);
    }
    insertPending_ = editPending_ = false;
    ReleaseBufferRefs(activeBuf_);
    ReleaseBufferRefs(tempBuf_);
    ReleaseBufferRefs(peekBuf_);
    std::free(oldValueBuf_);
    std::free(newCacheBuf_);
    std::free(oldCacheBuf_);
    std::free(peekBuf_);
    oldValueBuf_ = newCacheBuf_ = oldCacheBuf_ = peekBuf_ = nullptr;
    data_->SetCacheRecBuf(nullptr, nullptr);
    BindFields(false);
    DestroyDefaultFields();
    FieldDefs().Updated = false;
    data_->Close();
}

bool TMemDataSet::IsCursorOpen() {
    return data_->Active();
}

void TMemDataSet::InternalInitFieldDefs() {
    if (!data_->Active()) data_->InitFields();
    CreateFieldDefs();
}

void TMemDataSet::InternalFirst() {
    data_->SetToBegin();
}
void TMemDataSet::InternalLast() {
    data_->SetToEnd();
}

TGetResult TMemDataSet::GetRecord(uint8_t* buffer, TGetMode mode, bool) {
    ReleaseBufferRefs(buffer);
    switch (mode) {
    case gmCurrent:
        data_->GetRecord(buffer);
        break;
    case gmNext:
        data_->GetNextRecord(buffer);
        break;
    case gmPrior:
        data_->GetPriorRecord(buffer);
        break;
    }
    if (data_->GetBOF()) return grBOF;
    if (data_->GetEOF()) return grEOF;
    uint8_t* info = buffer + recInfoOfs_;
    Store<int32_t>(info + kInfoRecNo, data_->GetRecNo());
    info[kInfoStatus] = data_->GetUpdateStatus();
    info[kInfoFlag] = bfCurrent;
    if (ScrollableCursor) {
        info[kInfoRefs] = 1;
        data_->AddRefComplexFields(buffer);
    }
    GetCalcFields(buffer);
    TRecBookmark bm;
    data_->GetBookmark(bm);
    std::memcpy(buffer + bookmarkOfs_, &bm, sizeof bm);
    return grOK;
}

void TMemDataSet::InternalInitRecord(uint8_t* buffer) {
    ReleaseBufferRefs(buffer);
    if (data_->HasComplexFields()) {
        std::memset(buffer, 0, size_t(data_->RecordSize()));
        data_->CreateComplexFields(buffer, true);
    }
    data_->InitNullFlags(buffer);
    uint8_t* info = buffer + recInfoOfs_;
    Store<int32_t>(info + kInfoRecNo, 0);
    info[kInfoStatus] = usInserted;
    info[kInfoFlag] = bfInserted;
    oldValueStale_ = true; // reset to all-null when an old value is first asked for
}

void TMemDataSet::ClearCalcFields(uint8_t* buffer) {
    if (calcFieldsSize_ > 0) std::memset(buffer + data_->RecordSize(), 0, size_t(calcFieldsSize_));
}

void TMemDataSet::InternalAddRecord(uint8_t* buffer, bool append) {
    if (append)
        data_->AppendRecord(buffer);
    else
        data_->InsertRecord(buffer);
}

void TMemDataSet::InternalDelete() {
    data_->DeleteRecord();
}

void TMemDataSet::InternalPost() {
    TDataSet::InternalPost();
    TMemData* md = MemData();
    if (State() == dsEdit) {
        if (md)
            md->PostRecord(activeBuf_);
        else
            data_->UpdateRecord(activeBuf_);
    } else {
        if (InsertAtEnd() || InsertBookmark().empty())
            data_->AppendRecord(activeBuf_);
        else {
            InternalGotoBookmark(InsertBookmark().data());
            data_->InsertRecord(activeBuf_);
        }
        // The new row's blobs keep what was written; a later edit saves its own rollback.
        data_->CommitBlobs(activeBuf_);
    }
    insertPending_ = editPending_ = false;
}

void TMemDataSet::InternalCancel() {
    if (State() == dsInsert) {
        if (data_->HasComplexFields()) data_->FreeComplexFields(activeBuf_, true);
    } else if (State() == dsEdit)
        data_->CancelRecord(activeBuf_);
    insertPending_ = editPending_ = false;
}

void TMemDataSet::InternalEdit() {
    ReleaseBufferRefs(activeBuf_);
    if (TMemData* md = MemData()) md->EditRecord(activeBuf_);
    editPending_ = true;
}

void TMemDataSet::InternalInsert() {
    insertPending_ = true;
}

void TMemDataSet::InternalRefresh() {
    ReleaseBufferRefs(activeBuf_);
    ReleaseBufferRefs(tempBuf_);
    TRecBookmark bm;
    data_->GetBookmark(bm);
    data_->Reopen();
    data_->SetToBookmark(bm);
}

void TMemDataSet::FreeFieldBuffers() {
    for (int i = 0; i < FieldListCount(); ++i)
        FieldList(i)->Modified = false;
}

void TMemDataSet::InternalGotoBookmark(const uint8_t* bookmark) {
    TRecBookmark bm;
    std::memcpy(&bm, bookmark, sizeof bm);
    data_->SetToBookmark(bm);
}

void TMemDataSet::InternalSetToRecord(uint8_t* buffer) {
    InternalGotoBookmark(buffer + bookmarkOfs_);
}

void TMemDataSet::GetBookmarkData(const uint8_t* buffer, uint8_t* data) {
    std::memcpy(data, buffer + bookmarkOfs_, sizeof(TRecBookmark));
}

TBookmarkFlag TMemDataSet::GetBookmarkFlag(const uint8_t* buffer) {
    return TBookmarkFlag(buffer[recInfoOfs_ + kInfoFlag]);
}

void TMemDataSet::SetBookmarkFlag(uint8_t* buffer, TBookmarkFlag flag) {
    buffer[recInfoOfs_ + kInfoFlag] = flag;
}

TBookmark TMemDataSet::GetBookmark() {
    if (State() == dsFilter && filterBuf_) {
        if (TMemData* md = MemData()) {
            TRecBookmark bm;
            md->GetBookmarkOfRecord(filterBuf_, bm);
            TBookmark out(sizeof bm);
            std::memcpy(out.data(), &bm, sizeof bm);
            return out;
        }
    }
    return TDataSet::GetBookmark();
}

bool TMemDataSet::BookmarkValid(const TBookmark& bookmark) {
    if (bookmark.size() != sizeof(TRecBookmark)) return false;
    TRecBookmark bm;
    std::memcpy(&bm, bookmark.data(), sizeof bm);
    return data_->BookmarkValid(&bm);
}

int TMemDataSet::CompareBookmarks(const TBookmark& b1, const TBookmark& b2) {
    TRecBookmark x, y;
    bool h1 = b1.size() == sizeof x, h2 = b2.size() == sizeof y;
    if (h1) std::memcpy(&x, b1.data(), sizeof x);
    if (h2) std::memcpy(&y, b2.data(), sizeof y);
    return data_->CompareBookmarks(h1 ? &x : nullptr, h2 ? &y : nullptr);
}

int TMemDataSet::GetRecordCount() {
    return Active() ? data_->GetRecordCount() : 0;
}

int TMemDataSet::GetRecNo() {
    uint8_t* buf = State() == dsCalcFields ? calcBuf_ : (IsEmpty() ? nullptr : activeBuf_);
    if (!buf) return 0;
    return Load<int32_t>(buf + recInfoOfs_ + kInfoRecNo);
}

void TMemDataSet::SetRecNoValue(int value) {
    CheckBrowseMode();
    DoBeforeScroll();
    UpdateCursorPos();
    data_->SetRecNo(value);
    Resync();
    DoAfterScroll();
}

// ---- Reading other records ----

bool TMemDataSet::ReadOtherRecord(int recNo, const std::function<void()>& read) {
    if (!Active() || recNo <= 0 || recNo > data_->GetRecordCount() || !peekBuf_) return false;
    // The store's cursor may move; the active record is found again by its bookmark on the next navigation.
    cursorPosChanged_ = true;
    data_->SetRecNo(recNo);
    if (data_->GetRecNo() != recNo) return false;
    if (GetRecord(peekBuf_, gmCurrent, false) != grOK) return false;
    uint8_t* savedCalc = calcBuf_;
    TDataSetState saved = SetTempState(dsCalcFields);
    calcBuf_ = peekBuf_;
    try {
        read();
    } catch (...) {
        calcBuf_ = savedCalc;
        RestoreState(saved);
        throw;
    }
    calcBuf_ = savedCalc;
    RestoreState(saved);
    return true;
}

bool TMemDataSet::GetRecordValues(int recNo, std::vector<Variant>& values) {
    values.clear();
    return ReadOtherRecord(recNo, [&] {
        for (int i = 0; i < FieldCount(); ++i)
            values.push_back(Fields(i)->GetAsVariant());
    });
}

// ---- Field access ----

uint8_t* TMemDataSet::GetActiveRecBuf() {
    switch (State()) {
    case dsBrowse:
    case dsBlockRead:
        return IsEmpty() ? nullptr : activeBuf_;
    case dsEdit:
    case dsInsert:
    case dsNewValue:
        return activeBuf_;
    case dsCalcFields:
    case dsInternalCalc:
        return calcBuf_;
    case dsFilter:
        return filterBuf_;
    case dsOldValue:
        if (applying_) return oldCacheBuf_;
        if (insertPending_) {
            if (oldValueStale_ && oldValueBuf_) {
                std::memset(oldValueBuf_, 0, size_t(data_->RecordSize()));
                for (int i = 1; i <= data_->FieldCount(); ++i)
                    if (!data_->Fields()[i - 1]->ParentField) data_->SetNull(i, oldValueBuf_, true);
                oldValueStale_ = false;
            }
            return oldValueBuf_;
        }
        if (IsEmpty() || !oldValueBuf_) return nullptr;
        UpdateCursorPos();
        data_->GetOldRecord(oldValueBuf_);
        return oldValueBuf_;
    default:
        return nullptr;
    }
}

bool TMemDataSet::GetFieldData(const TField* field, void* buffer) {
    // The common case first: a data field of the current record.
    if (State() == dsBrowse && field->FieldKind() == fkData) {
        int no = field->FieldNo();
        if (IsEmpty() || no <= 0 || no > data_->FieldCount())
            return IsEmpty() ? false : GetFieldData(field, buffer, true);
        bool blank;
        data_->GetField(no, activeBuf_, buffer, blank);
        return !blank;
    }
    return GetFieldData(field, buffer, true);
}

bool TMemDataSet::GetFieldData(const TField* field, void* buffer, bool) {
    uint8_t* rec = GetActiveRecBuf();
    if (!rec) return false;
    if (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc) {
        int no = field->FieldNo();
        if (no <= 0 || no > data_->FieldCount())
            throw EDatabaseError(FormatMsg(SFieldNotFound, {field->FieldName()}));
        bool blank;
        data_->GetField(no, rec, buffer, blank);
        return !blank;
    }
    TDataSetState s = State();
    if (s != dsBrowse && s != dsEdit && s != dsInsert && s != dsCalcFields) return false;
    const uint8_t* p = rec + data_->RecordSize() + field->Offset();
    if (p[0] == 0) return false;
    if (buffer) std::memcpy(buffer, p + 1, size_t(field->DataSize()));
    return true;
}

bool TMemDataSet::GetFieldExactNumber(const TField* field, std::string& text) {
    if (field->FieldKind() != fkData || field->DataType() != ftFloat || !data_) return false;
    const int no = field->FieldNo();
    if (no <= 0 || no > data_->FieldCount()) return false;
    if (State() == dsBrowse && IsEmpty()) return false;
    return data_->GetExactNumber(no, GetActiveRecBuf(), text);
}

bool TMemDataSet::SetFieldExactNumber(TField* field, const std::string& text) {
    const TDataSetState s = State();
    if ((s != dsEdit && s != dsInsert) || field->FieldKind() != fkData || field->ReadOnly || !data_)
        return false;
    const int no = field->FieldNo();
    uint8_t* rec = GetActiveRecBuf();
    if (no <= 0 || no > data_->FieldCount() || !rec) return false;
    TFieldDesc* f = data_->Fields()[no - 1];
    if (f->DataType != dtFloat || f->Size <= 8) return false;
    // The double goes through validation as any write does; then the exact form is stored with it.
    TDecimal d;
    if (!ParseDecimal(text, d)) return false;
    const double v = DecimalToDouble(d);
    field->Validate(&v);
    if (!data_->PutExactNumber(no, rec, text)) return false;
    DataEvent(deFieldChange, field);
    return true;
}

void TMemDataSet::SetFieldData(TField* field, const void* buffer) {
    TDataSetState s = State();
    // The common case first: a writable data field of the record being edited or inserted.
    if ((s == dsEdit || s == dsInsert) && field->FieldKind() == fkData && !field->ReadOnly && buffer) {
        int no = field->FieldNo();
        if (no > 0 && no <= data_->FieldCount() &&
            !data_->IsBlobFieldType(data_->Fields()[no - 1]->DataType)) {
            field->Validate(buffer);
            data_->PutField(no, activeBuf_, buffer);
            DataEvent(deFieldChange, field);
            return;
        }
    }
    SetFieldDataByState(field, buffer);
}

void TMemDataSet::SetFieldDataByState(TField* field, const void* buffer) {
    TDataSetState s = State();
    if (s != dsEdit && s != dsInsert && s != dsSetKey && s != dsCalcFields && s != dsFilter &&
        s != dsNewValue && s != dsInternalCalc)
        throw EDatabaseError(SNotEditing);
    bool dataField = field->FieldKind() == fkData;
    if (dataField && s == dsCalcFields) throw EDatabaseError(SNotEditing);
    if (field->ReadOnly && s != dsSetKey && s != dsFilter)
        throw EDatabaseError(FormatMsg(SFieldReadOnly, {field->DisplayLabel()}));
    uint8_t* rec = GetActiveRecBuf();
    if (!rec) throw EDatabaseError(SNotEditing);
    field->Validate(buffer);
    if (dataField) {
        int no = field->FieldNo();
        if (no <= 0 || no > data_->FieldCount())
            throw EDatabaseError(FormatMsg(SFieldNotFound, {field->FieldName()}));
        if (!buffer && field->IsBlobField())
            data_->TruncateBlob(no, rec, 0); // keeps the contents for cancelling the edit
        else
            data_->PutField(no, rec, buffer);
    } else if (field->FieldKind() != fkInternalCalc) {
        if (field->DataType() == ftVariant)
            throw EDatabaseError(FormatMsg(SFieldTypeMismatch, {field->DisplayLabel()}));
        uint8_t* p = rec + data_->RecordSize() + field->Offset();
        p[0] = buffer ? 1 : 0;
        if (buffer)
            std::memcpy(p + 1, buffer, size_t(field->DataSize()));
        else
            std::memset(p + 1, 0, size_t(field->DataSize()));
    }
    if (s != dsCalcFields && s != dsFilter && s != dsNewValue) DataEvent(deFieldChange, field);
}

std::unique_ptr<TStream> TMemDataSet::CreateBlobStream(TField* field, TBlobStreamMode mode) {
    return std::make_unique<TBlobStream>(field, mode);
}

// ---- Cached updates ----

void TMemDataSet::SetCachedUpdates(bool value) {
    if (value == cachedUpdates_) return;
    CheckInactive();
    data_->SetCachedUpdates(value);
    cachedUpdates_ = value;
}

void TMemDataSet::DoApplyRecord(TUpdateKind kind, TUpdateAction& action) {
    bool savedModified = Modified();
    uint8_t* savedActive = activeBuf_;
    activeBuf_ = newCacheBuf_ ? newCacheBuf_ : activeBuf_;
    applying_ = true;
    auto restore = [&]() {
        activeBuf_ = savedActive;
        applying_ = false;
        SetModified(savedModified);
    };
    try {
        try {
            bool builtIn = true;
            if (OnUpdateRecord) {
                action = uaFail;
                OnUpdateRecord(*this, kind, action);
                if (action == uaAbort) throw EAbort();
                builtIn = uint8_t(action) == uaDefault;
            }
            if (builtIn) {
                switch (kind) {
                case ukModify:
                    DoPerformUpdate();
                    break;
                case ukInsert:
                    DoPerformAppend();
                    break;
                case ukDelete:
                    DoPerformDelete();
                    break;
                }
                action = uaApplied;
            }
        } catch (EDatabaseError& e) {
            if (!OnUpdateError) throw;
            TUpdateAction a = uint8_t(action) == uaDefault ? uaFail : action;
            OnUpdateError(*this, e, kind, a);
            if (a == uaFail) throw;
            if (a == uaAbort) throw EAbort();
            action = a;
        }
    } catch (...) {
        restore();
        throw;
    }
    restore();
}

void TMemDataSet::ApplyUpdates() {
    CheckActive();
    if (State() == dsEdit || State() == dsInsert) Post();
    UpdateCursorPos();
    try {
        data_->ApplyUpdates();
    } catch (...) {
        Resync();
        throw;
    }
    Resync();
}

void TMemDataSet::CommitUpdates() {
    CheckActive();
    if (State() == dsEdit || State() == dsInsert) Post();
    UpdateCursorPos();
    try {
        data_->CommitUpdates();
    } catch (...) {
        Resync();
        throw;
    }
    Resync();
}

void TMemDataSet::CancelUpdates() {
    if (!Active()) {
        data_->CancelUpdates();
        return;
    }
    Cancel();
    UpdateCursorPos();
    data_->CancelUpdates();
    Resync();
}

void TMemDataSet::RevertRecord() {
    CheckActive();
    if (State() == dsEdit || State() == dsInsert) Cancel();
    UpdateCursorPos();
    data_->RevertRecord();
    Resync();
}

void TMemDataSet::RestoreUpdates() {
    data_->RestoreUpdates();
}

bool TMemDataSet::UpdatesPending() {
    return data_->GetUpdatesPending();
}

TUpdateStatus TMemDataSet::UpdateStatus() {
    if (applying_) return data_->GetUpdateStatus();
    if (!cachedUpdates_ || IsEmpty()) return usUnmodified;
    uint8_t* buf = State() == dsCalcFields ? calcBuf_ : activeBuf_;
    return buf ? TUpdateStatus(buf[recInfoOfs_ + kInfoStatus]) : usUnmodified;
}

uint8_t TMemDataSet::UpdateResult() {
    if (!Active() || IsEmpty()) return urNone;
    UpdateCursorPos();
    return data_->GetUpdateResult();
}

// ---- Filtering ----

bool TMemDataSet::RecordFilter(uint8_t* record) {
    TDataSetState saved = SetTempState(dsFilter);
    uint8_t* savedBuf = filterBuf_;
    filterBuf_ = record;
    bool accept = true;
    try {
        if (onFilterRecord_) onFilterRecord_(*this, accept);
    } catch (const EAbort&) {
    } catch (const std::exception& e) {
        ShowException(e);
    }
    filterBuf_ = savedBuf;
    RestoreState(saved);
    return accept;
}

void TMemDataSet::ActivateFilters() {
    DeactivateFilters();
    data_->FilterCaseInsensitive = (filterOptions_ & foCaseInsensitive) != 0;
    data_->FilterNoPartialCompare = (filterOptions_ & foNoPartialCompare) != 0;
    if (onFilterRecord_) data_->FilterFunc = [this](uint8_t* rec) { return RecordFilter(rec); };
    if (!Trim(filterText_).empty()) {
        try {
            data_->SetFilterText(filterText_);
        } catch (...) {
            data_->FilterFunc = nullptr;
            throw;
        }
    }
}

void TMemDataSet::DeactivateFilters() {
    data_->FilterFunc = nullptr;
    data_->SetFilterText("");
}

void TMemDataSet::RefreshAfterFilterChange() {
    data_->FilterUpdated();
    // Going to the first record re-reads the buffers; a resynchronisation around the old position first
    // would only scan the hidden records once more.
    First();
}

void TMemDataSet::SetFiltered(bool value) {
    if (Active()) {
        CheckBrowseMode();
        UpdateCursorPos();
    }
    if (value == filtered_) return;
    if (value) {
        try {
            ActivateFilters();
        } catch (...) {
            if (Active()) RefreshAfterFilterChange();
            throw;
        }
    } else
        DeactivateFilters();
    filtered_ = value;
    if (Active()) RefreshAfterFilterChange();
}

void TMemDataSet::SetFilterData(const std::string& text, int options) {
    if (Active()) {
        CheckBrowseMode();
        UpdateCursorPos();
    }
    if (text == filterText_ && options == filterOptions_) return;
    data_->FilterCaseInsensitive = (options & foCaseInsensitive) != 0;
    data_->FilterNoPartialCompare = (options & foNoPartialCompare) != 0;
    filterText_ = text;
    filterOptions_ = options;
    try {
        if (filtered_)
            data_->SetFilterText(Trim(text).empty() ? std::string() : text);
        else
            data_->SetFilterText(std::string());
    } catch (...) {
        if (Active() && filtered_) RefreshAfterFilterChange();
        throw;
    }
    if (Active() && filtered_) RefreshAfterFilterChange();
}

void TMemDataSet::SetFilterText(const std::string& text) {
    SetFilterData(text, filterOptions_);
}
void TMemDataSet::SetFilterOptions(int options) {
    SetFilterData(filterText_, options);
}

void TMemDataSet::SetOnFilterRecord(TFilterRecordEvent ev) {
    if (Active()) {
        CheckBrowseMode();
        UpdateCursorPos();
    }
    onFilterRecord_ = std::move(ev);
    if (filtered_ && onFilterRecord_)
        data_->FilterFunc = [this](uint8_t* rec) { return RecordFilter(rec); };
    else
        data_->FilterFunc = nullptr;
    if (Active()) RefreshAfterFilterChange();
}

bool TMemDataSet::FindRecord(bool restart, bool goForward) {
    CheckBrowseMode();
    DoBeforeScroll();
    SetFoundFlag(false);
    UpdateCursorPos();
    bool tempFilter = !filtered_;
    if (tempFilter) ActivateFilters();
    try {
        if (goForward) {
            if (restart) data_->SetToBegin();
            data_->GetNextRecord(nullptr);
        } else {
            if (restart) data_->SetToEnd();
            data_->GetPriorRecord(nullptr);
        }
    } catch (...) {
        if (tempFilter) DeactivateFilters();
        cursorPosChanged_ = true;
        throw;
    }
    if (tempFilter) DeactivateFilters();
    bool found = !data_->GetBOF() && !data_->GetEOF();
    if (found) {
        Resync();
        SetFoundFlag(true);
    } else
        cursorPosChanged_ = true;
    DoAfterScroll();
    return found;
}

// ---- Locate and lookup ----

bool TMemDataSet::Locate(const std::string& keyFields, const Variant& keyValues, int options) {
    return LocateRecord(keyFields, keyValues, false, options & (loCaseInsensitive | loPartialKey));
}

Variant TMemDataSet::Lookup(const std::string& keyFields, const Variant& keyValues,
                            const std::string& resultFields) {
    if (!LocateRecord(keyFields, keyValues, true, 0)) return Variant::Null();
    uint8_t* buf = tempBuf_;
    Variant result;
    uint8_t* savedCalc = calcBuf_;
    GetCalcFields(buf);
    TDataSetState saved = SetTempState(dsCalcFields);
    calcBuf_ = buf;
    try {
        result = FieldValues(resultFields);
    } catch (...) {
        calcBuf_ = savedCalc;
        RestoreState(saved);
        throw;
    }
    calcBuf_ = savedCalc;
    RestoreState(saved);
    return result;
}

bool TMemDataSet::LocateRecord(const std::string& keyFields, const Variant& keyValues, bool forLookup,
                               int options) {
    CheckBrowseMode();
    CursorPosChanged();
    UpdateCursorPos();
    uint8_t* buf = tempBuf_;
    ReleaseBufferRefs(buf);
    std::vector<TFieldDesc*> descs;
    for (const std::string& n : SplitNames(keyFields))
        descs.push_back(data_->FieldByName(n));
    std::vector<TLocateValue> keys(descs.size());
    for (size_t i = 0; i < descs.size(); ++i) {
        Variant k;
        if (keyValues.IsVariantArray()) {
            const VariantArray& items = keyValues.Items();
            k = i < items.size() ? items[i] : Variant::Null();
        } else
            k = i == 0 ? keyValues : Variant::Null();
        if (k.IsNullOrEmpty())
            keys[i].HasValue = false;
        else {
            PrepareLocateValue(k, descs[i], keys[i]);
            keys[i].HasValue = true;
        }
    }
    if (!forLookup) DoBeforeScroll();
    TRecBookmark saved;
    data_->GetBookmark(saved);
    if (!(options & (lxNext | lxUp))) data_->SetToBegin();
    bool found = false;
    for (;;) {
        if (options & lxUp)
            data_->GetPriorRecord(buf);
        else
            data_->GetNextRecord(buf);
        if (data_->GetEOF() || data_->GetBOF()) break;
        bool all = true;
        for (size_t i = 0; i < descs.size() && all; ++i) {
            bool isNull = data_->GetNull(descs[i]->FieldNo, buf);
            if (keys[i].HasValue)
                all = !isNull && CompareLocateValue(keys[i], descs[i], buf, options);
            else
                all = isNull;
        }
        if (all) {
            found = true;
            break;
        }
    }
    if (forLookup || !found) {
        data_->SetToBookmark(saved);
        cursorPosChanged_ = true;
    }
    if (!forLookup && found) {
        Resync();
        DoAfterScroll();
    }
    return found;
}

void TMemDataSet::PrepareLocateValue(const Variant& key, TFieldDesc* field, TLocateValue& out) {
    uint16_t t = field->DataType;
    if (key.IsString()) {
        if (t == dtBoolean) {
            out.Type = dtBoolean;
            out.Int = key.AsBoolean() ? 1 : 0;
        } else if (t == dtBytes || t == dtVarBytes || t == dtExtVarBytes) {
            std::string s = key.AsString();
            out.Type = t;
            out.Bytes.assign(s.begin(), s.end());
        } else if (t == dtWideString) {
            out.Type = dtWideString;
            out.Wide = key.AsWideString();
        } else {
            out.Type = dtString;
            out.Text = key.AsString();
        }
        return;
    }
    out.Type = t;
    switch (t) {
    case dtInt8:
    case dtInt16:
    case dtInt32:
    case dtUInt16:
        out.Int = key.AsInteger();
        break;
    case dtFloat:
    case dtCurrency:
        out.Float = key.AsDouble();
        break;
    case dtDate:
    case dtTime:
    case dtDateTime: {
        double dt = key.AsDateTime();
        data_->PutDateToBuf(out.Raw, &dt, dfDateTime);
        break;
    }
    case dtBoolean:
        out.Int = key.AsBoolean() ? 1 : 0;
        break;
    case dtInt64:
        out.Int = key.AsInt64();
        break;
    case dtBytes:
    case dtVarBytes:
    case dtExtVarBytes:
        CheckAssert(key.IsByteArray(), "Invalid VType");
        out.Bytes = key.Bytes();
        break;
    case dtUInt32:
        out.Int = int64_t(uint32_t(key.AsInt64()));
        break;
    default:
        RaiseConvertError();
    }
}

namespace {

// The record value of a field as text, for text comparison of locate keys.
std::string RecordText(TData& data, TFieldDesc* f, uint8_t* rec) {
    const uint8_t* p = rec + f->Offset;
    switch (f->DataType) {
    case dtString: {
        std::string s(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), f->Size));
        if (f->Fixed && data.TrimFixedChar)
            while (!s.empty() && s.back() == ' ')
                s.pop_back();
        return s;
    }
    case dtExtString: {
        const char* s = Load<const char*>(p);
        std::string r = s ? s : "";
        if (f->Fixed && data.TrimFixedChar)
            while (!r.empty() && r.back() == ' ')
                r.pop_back();
        return r;
    }
    case dtDate: {
        double d;
        data.GetDateFromBuf(p, &d, dfDateTime);
        return DateToStr(d);
    }
    case dtTime: {
        double d;
        data.GetDateFromBuf(p, &d, dfDateTime);
        return TimeToStr(d);
    }
    case dtDateTime: {
        double d;
        data.GetDateFromBuf(p, &d, dfDateTime);
        return DateTimeToStr(d);
    }
    case dtBlob:
    case dtMemo: {
        uint32_t n = data.GetBlobSize(f->FieldNo, rec);
        std::string s(n, '\0');
        if (n) s.resize(data.ReadBlob(f->FieldNo, rec, 0, n, s.data()));
        return s;
    }
    default: {
        Variant v;
        data.GetFieldAsVariant(f->FieldNo, rec, v);
        if (v.IsByteArray()) {
            const auto& b = v.Bytes();
            return std::string(b.begin(), b.end());
        }
        return VarToStr(v);
    }
    }
}

std::vector<uint8_t> RecordBytes(TFieldDesc* f, const uint8_t* rec) {
    const uint8_t* p = rec + f->Offset;
    switch (f->DataType) {
    case dtBytes:
        return std::vector<uint8_t>(p, p + f->Length);
    case dtVarBytes: {
        uint16_t n = std::min<uint16_t>(Load<uint16_t>(p), f->Length);
        return std::vector<uint8_t>(p + 2, p + 2 + n);
    }
    default: {
        const uint8_t* s = Load<const uint8_t*>(p);
        if (!s) return {};
        uint16_t n = Load<uint16_t>(s);
        return std::vector<uint8_t>(s + 2, s + 2 + n);
    }
    }
}

} // namespace

bool TMemDataSet::CompareLocateValue(const TLocateValue& key, TFieldDesc* f, uint8_t* rec, int options) {
    bool nearest = (options & lxNearest) != 0;
    bool partial = (options & lxPartialKey) != 0;
    bool noCase = (options & lxCaseInsensitive) != 0;
    const uint8_t* p = rec + f->Offset;
    switch (key.Type) {
    case dtString: {
        std::string r = RecordText(*data_, f, rec);
        if (partial) {
            if (r.size() < key.Text.size()) return false;
            r.resize(key.Text.size());
        }
        int c = noCase ? AnsiCompareText(key.Text, r) : AnsiCompareStr(key.Text, r);
        return c == 0 || (nearest && c < 0);
    }
    case dtWideString: {
        Variant v;
        data_->GetFieldAsVariant(f->FieldNo, rec, v);
        std::u16string r = v.IsNullOrEmpty() ? std::u16string() : v.AsWideString();
        if (partial) {
            if (r.size() < key.Wide.size()) return false;
            r.resize(key.Wide.size());
        }
        std::string ka = WideToAnsi(key.Wide), ra = WideToAnsi(r);
        int c = noCase ? AnsiCompareText(ka, ra) : AnsiCompareStr(ka, ra);
        return c == 0 || (nearest && c < 0);
    }
    case dtInt8:
    case dtInt16:
    case dtInt32:
    case dtUInt16:
    case dtUInt32:
    case dtInt64: {
        int64_t r = 0;
        switch (f->DataType) {
        case dtInt8:
            r = Load<int8_t>(p);
            break;
        case dtInt16:
            r = Load<int16_t>(p);
            break;
        case dtInt32:
            r = Load<int32_t>(p);
            break;
        case dtUInt16:
            r = Load<uint16_t>(p);
            break;
        case dtUInt32:
            r = Load<uint32_t>(p);
            break;
        case dtInt64:
            r = Load<int64_t>(p);
            break;
        default:
            RaiseAssertion();
        }
        return r == key.Int || (nearest && r >= key.Int);
    }
    case dtFloat:
    case dtCurrency: {
        double r = Load<double>(p);
        return r == key.Float || (nearest && r >= key.Float);
    }
    case dtDate:
    case dtTime:
    case dtDateTime:
        return std::memcmp(p, key.Raw, 8) == 0;
    case dtBoolean:
        return (Load<int16_t>(p) != 0) == (key.Int != 0);
    case dtBytes:
    case dtVarBytes:
    case dtExtVarBytes: {
        std::vector<uint8_t> r = RecordBytes(f, rec);
        if (partial) {
            if (r.size() < key.Bytes.size()) return false;
            return std::equal(key.Bytes.begin(), key.Bytes.end(), r.begin());
        }
        return r == key.Bytes;
    }
    default:
        RaiseAssertion();
    }
}

// ---- TBlobStream ----

TBlobStream::TBlobStream(TField* field, TBlobStreamMode mode) : field_(field), mode_(mode) {
    dataSet_ = dynamic_cast<TMemDataSet*>(field->DataSet());
    CheckAssert(dataSet_ != nullptr, "Blob stream needs a TMemDataSet");
    uint8_t* rec = dataSet_->GetActiveRecBuf();
    if (!rec) return;
    if (dataSet_->State() == dsFilter) throw EDatabaseError(SBlobInFilter);
    if (mode != bmRead && !field->Modified) {
        if (field->ReadOnly) throw EDatabaseError(FormatMsg(SFieldReadOnly, {field->DisplayLabel()}));
        if (dataSet_->State() != dsEdit && dataSet_->State() != dsInsert) throw EDatabaseError(SNotEditing);
    }
    opened_ = true;
    if (mode == bmWrite) {
        dataSet_->data_->TruncateBlob(field->FieldNo(), rec, 0);
        modified_ = true;
    }
}

TBlobStream::~TBlobStream() {
    if (!modified_) return;
    field_->Modified = true;
    try {
        dataSet_->DataEvent(deFieldChange, field_);
    } catch (const std::exception& e) {
        ShowException(e);
    }
}

uint8_t* TBlobStream::RecBuf() const {
    return opened_ ? dataSet_->GetActiveRecBuf() : nullptr;
}

int64_t TBlobStream::Read(void* buffer, int64_t count) {
    uint8_t* rec = RecBuf();
    if (!rec || count <= 0) return 0;
    int64_t size = dataSet_->data_->GetBlobSize(field_->FieldNo(), rec);
    int64_t n = std::min(count, size - position_);
    if (n <= 0) return 0;
    uint32_t got =
        dataSet_->data_->ReadBlob(field_->FieldNo(), rec, uint32_t(position_), uint32_t(n), buffer);
    position_ += got;
    return got;
}

int64_t TBlobStream::Write(const void* buffer, int64_t count) {
    uint8_t* rec = RecBuf();
    if (!rec || count <= 0) return 0;
    if (position_ + count > int64_t(UINT32_MAX)) throw EDatabaseError(SInvalidBlob);
    dataSet_->data_->WriteBlob(field_->FieldNo(), rec, uint32_t(position_), uint32_t(count), buffer);
    position_ += count;
    modified_ = true;
    return count;
}

int64_t TBlobStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = 0;
    if (origin == soCurrent)
        base = position_;
    else if (origin == soEnd) {
        uint8_t* rec = RecBuf();
        base = rec ? dataSet_->data_->GetBlobSize(field_->FieldNo(), rec) : 0;
    }
    position_ = std::max<int64_t>(0, base + offset);
    return position_;
}

void TBlobStream::SetSize(int64_t size) {
    uint8_t* rec = RecBuf();
    if (!rec) return;
    dataSet_->data_->TruncateBlob(field_->FieldNo(), rec, uint32_t(std::max<int64_t>(0, size)));
    position_ = std::min(position_, size);
    modified_ = true;
}
