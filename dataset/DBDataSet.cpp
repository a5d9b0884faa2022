// The framework's data set: states, the active record buffer, navigation, editing, bookmarks, events, and the
// data sources and data links through which controls follow it.
//
// The data set keeps one active record buffer (the current record) plus a temporary buffer for reading ahead;
// views that show many rows read them from the record store by number.
#include "dataset/DB.h"
#include "dataset/StrUtil.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

// ---- Exception display ----

namespace {
TExceptionHandler& Handler() {
    static TExceptionHandler h;
    return h;
}
} // namespace

void SetApplicationExceptionHandler(TExceptionHandler handler) {
    Handler() = std::move(handler);
}

void ShowException(const std::exception& e) {
    if (Handler())
        Handler()(e);
    else
        std::fprintf(stderr, "%s\n", e.what());
}

// ---- TDataLink ----

TDataLink::~TDataLink() {
    SetDataSource(nullptr);
}

void TDataLink::SetDataSource(TDataSource* ds) {
    if (ds == dataSource_) return;
    if (dataSource_) {
        auto& v = dataSource_->links_;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }
    dataSource_ = ds;
    if (ds) ds->links_.push_back(this);
    UpdateState();
}

TDataSet* TDataLink::DataSet() const {
    return dataSource_ ? dataSource_->DataSet() : nullptr;
}

bool TDataLink::Active() const {
    return active_;
}

void TDataLink::UpdateState() {
    bool a =
        dataSource_ && dataSource_->Enabled() && dataSource_->DataSet() && dataSource_->DataSet()->Active();
    if (a != active_) {
        active_ = a;
        ActiveChanged();
    }
    bool e = a && (dataSource_->State() == dsEdit || dataSource_->State() == dsInsert ||
                   dataSource_->State() == dsSetKey);
    if (e != editing_) {
        editing_ = e;
        EditingChanged();
    }
}

bool TDataLink::Edit() {
    if (dataSource_ && !editing_) dataSource_->Edit();
    return editing_;
}

void TDataLink::UpdateRecord() {
    updating_ = true;
    try {
        UpdateData();
    } catch (...) {
        updating_ = false;
        throw;
    }
    updating_ = false;
}

void TDataLink::DataEvent(TDataEvent event, TField* field) {
    if (event == deUpdateState) {
        UpdateState();
        return;
    }
    if (!active_) return;
    switch (event) {
    case deFieldChange:
    case deRecordChange:
        if (!updating_) RecordChanged(field);
        break;
    case deDataSetChange:
        DataSetChanged();
        break;
    case deDataSetScroll:
        DataSetScrolled(0);
        break;
    case deLayoutChange:
    case deFieldListChange:
        LayoutChanged();
        break;
    case deUpdateRecord:
        UpdateRecord();
        break;
    case deCheckBrowseMode:
        CheckBrowseMode();
        break;
    case deFocusControl:
        FocusControl(field);
        break;
    default:
        break;
    }
}

// ---- TDataSource ----

TDataSource::~TDataSource() {
    for (TDataLink* l : std::vector<TDataLink*>(links_))
        l->SetDataSource(nullptr);
    SetDataSet(nullptr);
}

void TDataSource::SetDataSet(TDataSet* ds) {
    if (ds == dataSet_) return;
    if (dataSet_) {
        auto& v = dataSet_->dataSources_;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }
    dataSet_ = ds;
    if (ds) ds->dataSources_.push_back(this);
    lastState_ = State();
    for (TDataLink* l : std::vector<TDataLink*>(links_))
        l->UpdateState();
    if (OnStateChange) OnStateChange(*this);
}

void TDataSource::SetEnabled(bool value) {
    if (enabled_ == value) return;
    enabled_ = value;
    // The state the links see changes with the switch; remember it, so that the data set's next state change
    // (a close after an open that happened while disabled) is told to the links.
    TDataSetState s = State();
    bool changed = s != lastState_;
    lastState_ = s;
    for (TDataLink* l : std::vector<TDataLink*>(links_))
        l->UpdateState();
    if (changed && OnStateChange) OnStateChange(*this);
}

TDataSetState TDataSource::State() const {
    return (dataSet_ && enabled_) ? dataSet_->State() : dsInactive;
}

void TDataSource::Edit() {
    if (AutoEdit && dataSet_ && dataSet_->State() == dsBrowse) dataSet_->Edit();
}

void TDataSource::NotifyLinks(TDataEvent event, TField* field) {
    for (TDataLink* l : std::vector<TDataLink*>(links_))
        l->DataEvent(event, field);
}

void TDataSource::DataEvent(TDataEvent event, TField* field) {
    if (event == deUpdateState) {
        TDataSetState s = State();
        if (s != lastState_) {
            lastState_ = s;
            NotifyLinks(deUpdateState, nullptr);
            if (OnStateChange) OnStateChange(*this);
        }
        return;
    }
    if (!enabled_) return;
    NotifyLinks(event, field);
    switch (event) {
    case deFieldChange:
    case deRecordChange:
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
        if (OnDataChange) OnDataChange(*this, event == deFieldChange ? field : nullptr);
        break;
    case deUpdateRecord:
        if (OnUpdateData) OnUpdateData(*this);
        break;
    default:
        break;
    }
}

// ---- TDataSet ----

TDataSet::TDataSet() = default;

TDataSet::~TDataSet() {
    for (TDataSource* ds : std::vector<TDataSource*>(dataSources_))
        ds->SetDataSet(nullptr);
}

void TDataSet::CheckActive() const {
    if (state_ == dsInactive) throw EDatabaseError(SDataSetClosed);
}

void TDataSet::CheckInactive() const {
    if (state_ != dsInactive) throw EDatabaseError(SDataSetOpen);
}

void TDataSet::SetState(TDataSetState value) {
    if (state_ == value) return;
    state_ = value;
    modified_ = false;
    DataEvent(deUpdateState);
}

TDataSetState TDataSet::SetTempState(TDataSetState state) {
    TDataSetState old = state_;
    state_ = state;
    return old;
}

void TDataSet::RestoreState(TDataSetState state) {
    state_ = state;
}

void TDataSet::FieldChangeEvent(TField* field) {
    if (field && (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc)) modified_ = true;
    if (field) field->Change();
    if (calcFieldsSize_ > 0 && AutoCalcFields && state_ != dsSetKey && activeBuf_ &&
        (state_ == dsEdit || state_ == dsInsert))
        GetCalcFields(activeBuf_);
}

void TDataSet::NotifyDataSources(TDataEvent event, TField* field) {
    if (disableCount_ > 0) {
        if (event != deFieldChange && event != deUpdateRecord && event != deCheckBrowseMode &&
            event != deFocusControl)
            pendingChange_ = true;
        return;
    }
    for (TDataSource* ds : std::vector<TDataSource*>(dataSources_))
        ds->DataEvent(event, field);
}

void TDataSet::DisableControls() {
    if (disableCount_ == 0) {
        disableState_ = state_;
        pendingChange_ = false;
    }
    ++disableCount_;
}

void TDataSet::EnableControls() {
    if (disableCount_ == 0) return;
    if (--disableCount_ > 0) return;
    if (disableState_ != state_) DataEvent(deUpdateState);
    if (pendingChange_ || disableState_ != dsInactive || state_ != dsInactive) {
        pendingChange_ = false;
        DataEvent(deDataSetChange);
    }
}

// ---- Fields ----

void TDataSet::AddToFieldList(TField* f) {
    fieldList_.push_back(f);
}

TField* TDataSet::AddField(std::unique_ptr<TField> field) {
    CheckInactive();
    for (TField* f : fields_)
        if (AnsiSameText(f->FieldName(), field->FieldName()))
            throw EDatabaseError(FormatMsg(SDuplicateFieldName, {field->FieldName()}));
    field->SetDataSet(this);
    TField* f = field.get();
    ownedFields_.push_back(std::move(field));
    fields_.push_back(f);
    AddToFieldList(f);
    return f;
}

TField* TDataSet::AddChildField(TObjectField* parent, std::unique_ptr<TField> field) {
    field->SetDataSet(this);
    field->SetParentField(parent);
    TField* f = field.get();
    ownedFields_.push_back(std::move(field));
    parent->AddChild(f);
    AddToFieldList(f);
    return f;
}

TField* TDataSet::FindField(const std::string& name) const {
    for (TField* f : fields_)
        if (AnsiSameText(f->FieldName(), name)) return f;
    for (TField* f : fieldList_)
        if (f->ParentField() && AnsiSameText(f->FullName(), name)) return f;
    return nullptr;
}

TField* TDataSet::FieldByName(const std::string& name) const {
    TField* f = FindField(name);
    if (!f) throw EDatabaseError(FormatMsg(SFieldNotFound, {name}));
    return f;
}

Variant TDataSet::FieldValues(const std::string& names) const {
    std::vector<std::string> list;
    size_t start = 0;
    for (size_t i = 0; i <= names.size(); ++i)
        if (i == names.size() || names[i] == ';') {
            std::string n = names.substr(start, i - start);
            while (!n.empty() && n.front() == ' ')
                n.erase(n.begin());
            while (!n.empty() && n.back() == ' ')
                n.pop_back();
            if (!n.empty()) list.push_back(n);
            start = i + 1;
        }
    if (list.size() == 1) return FieldByName(list[0])->GetAsVariant();
    VariantArray values;
    for (const auto& n : list)
        values.push_back(FieldByName(n)->GetAsVariant());
    return Variant::FromArray(std::move(values));
}

void TDataSet::CreateFields() {
    for (int i = 0; i < fieldDefs_.Count(); ++i) {
        TFieldDef* d = fieldDefs_[i];
        if (d->DataType == ftUnknown || (d->Attributes & faHiddenCol)) continue;
        d->CreateField(this);
    }
}

void TDataSet::DestroyDefaultFields() {
    if (!defaultFields_) return;
    fields_.clear();
    fieldList_.clear();
    ownedFields_.clear();
    defaultFields_ = false;
}

void TDataSet::BindFields(bool binding) {
    calcFieldsSize_ = 0;
    if (!binding) return;
    for (TField* f : fieldList_) {
        if (f->FieldKind() == fkCalculated || f->FieldKind() == fkLookup) {
            f->SetFieldNo(-1);
            f->SetOffset(calcFieldsSize_);
            calcFieldsSize_ += 1 + f->DataSize();
        } else if (f->FieldKind() == fkData && !f->ParentField()) {
            TFieldDef* d = fieldDefs_.Find(f->FieldName());
            if (!d) throw EDatabaseError(FormatMsg(SFieldNotFound, {f->FieldName()}));
            f->SetFieldNo(d->FieldNo);
        }
    }
}

void TDataSet::InitFieldDefs() {
    if (Active() && fieldDefs_.Updated) return;
    InternalInitFieldDefs();
    fieldDefs_.Updated = true;
}

// ---- Opening and closing ----

void TDataSet::SetActive(bool value) {
    if (value == Active()) return;
    if (value) {
        Fire(BeforeOpen);
        try {
            OpenCursor();
        } catch (...) {
            SetState(dsInactive);
            try {
                CloseCursor();
            } catch (...) {
            }
            throw;
        }
        Fire(AfterOpen);
        Fire(AfterScroll);
    } else {
        Fire(BeforeClose);
        SetState(dsInactive);
        CloseCursor();
        Fire(AfterClose);
    }
}

void TDataSet::DoInternalOpen() {
    defaultFields_ = fields_.empty();
    InternalOpen();
    bufValid_ = false;
    bof_ = true;
    eof_ = true;
}

void TDataSet::OpenCursor() {
    DoInternalOpen();
    activeBuf_ = AllocRecordBuffer();
    tempBuf_ = AllocRecordBuffer();
    SetState(dsBrowse);
    // First record.
    bufValid_ = false;
    InternalFirst();
    if (GetRecord(activeBuf_, gmNext, true) == grOK) {
        bufValid_ = true;
        bof_ = true;
        eof_ = false;
    } else {
        bof_ = eof_ = true;
    }
    cursorPosChanged_ = false;
    DataEvent(deUpdateState);
    DataEvent(deDataSetChange);
}

void TDataSet::CloseCursor() {
    bufValid_ = false;
    // The concrete data set closes first: it frees what pending buffers hold before the store goes.
    try {
        InternalClose();
    } catch (...) {
        if (activeBuf_) FreeRecordBuffer(activeBuf_);
        if (tempBuf_) FreeRecordBuffer(tempBuf_);
        activeBuf_ = tempBuf_ = nullptr;
        throw;
    }
    if (activeBuf_) FreeRecordBuffer(activeBuf_);
    if (tempBuf_) FreeRecordBuffer(tempBuf_);
    activeBuf_ = tempBuf_ = nullptr;
    bof_ = eof_ = true;
    DataEvent(deDataSetChange);
}

// ---- Navigation ----

void TDataSet::ClearBuffers() {
    bufValid_ = false;
}

void TDataSet::First() {
    CheckBrowseMode();
    DoBeforeScroll();
    bufValid_ = false;
    InternalFirst();
    if (GetRecord(activeBuf_, gmNext, true) == grOK) {
        bufValid_ = true;
        eof_ = false;
    } else
        eof_ = true;
    bof_ = true;
    cursorPosChanged_ = false;
    DataEvent(deDataSetChange);
    DoAfterScroll();
}

void TDataSet::Last() {
    CheckBrowseMode();
    DoBeforeScroll();
    bufValid_ = false;
    InternalLast();
    if (GetRecord(activeBuf_, gmPrior, true) == grOK) {
        bufValid_ = true;
        bof_ = false;
    } else
        bof_ = true;
    eof_ = true;
    cursorPosChanged_ = false;
    DataEvent(deDataSetChange);
    DoAfterScroll();
}

int TDataSet::MoveBy(int distance) {
    CheckBrowseMode();
    int moved = 0;
    if (distance == 0 || (distance > 0 && eof_) || (distance < 0 && bof_)) return 0;
    DoBeforeScroll();
    UpdateCursorPos();
    TGetMode mode = distance > 0 ? gmNext : gmPrior;
    int steps = distance > 0 ? distance : -distance;
    while (moved < steps) {
        if (GetRecord(tempBuf_, mode, true) != grOK) {
            cursorPosChanged_ = true; // the store ran off the end; the active record stays
            if (distance > 0)
                eof_ = true;
            else
                bof_ = true;
            break;
        }
        std::swap(activeBuf_, tempBuf_);
        bufValid_ = true;
        ++moved;
        if (distance > 0)
            bof_ = false;
        else
            eof_ = false;
    }
    DataEvent(deDataSetScroll);
    DoAfterScroll();
    return distance > 0 ? moved : -moved;
}

void TDataSet::UpdateCursorPos() {
    if (cursorPosChanged_ && bufValid_ && activeBuf_) InternalSetToRecord(activeBuf_);
    cursorPosChanged_ = false;
}

void TDataSet::Resync() {
    bool ok = GetRecord(activeBuf_, gmCurrent, false) == grOK;
    if (!ok) ok = GetRecord(activeBuf_, gmNext, false) == grOK;
    if (!ok) ok = GetRecord(activeBuf_, gmPrior, false) == grOK;
    bufValid_ = ok;
    if (ok)
        bof_ = eof_ = false;
    else
        bof_ = eof_ = true;
    cursorPosChanged_ = false;
    DataEvent(deDataSetChange);
}

int TDataSet::RecordCount() {
    if (!Active()) return 0;
    return GetRecordCount();
}

int TDataSet::RecNo() {
    return GetRecNo();
}

void TDataSet::SetRecNo(int value) {
    SetRecNoValue(value);
}

// ---- Editing ----

void TDataSet::CheckBrowseMode() {
    CheckActive();
    DataEvent(deCheckBrowseMode);
    switch (state_) {
    case dsEdit:
    case dsInsert:
        UpdateRecord();
        if (modified_)
            Post();
        else
            Cancel();
        break;
    case dsSetKey:
        Post();
        break;
    default:
        break;
    }
}

void TDataSet::UpdateRecord() {
    if (state_ != dsEdit && state_ != dsInsert && state_ != dsSetKey) throw EDatabaseError(SNotEditing);
    DataEvent(deUpdateRecord);
}

void TDataSet::Edit() {
    if (state_ == dsEdit || state_ == dsInsert) return;
    CheckActive();
    if (!GetCanModify()) throw EDatabaseError(SDataSetReadOnly);
    if (IsEmpty()) {
        Insert();
        return;
    }
    CheckBrowseMode();
    Fire(BeforeEdit);
    UpdateCursorPos();
    InternalEdit();
    GetCalcFields(activeBuf_);
    SetState(dsEdit);
    DataEvent(deRecordChange);
    Fire(AfterEdit);
}

void TDataSet::BeginInsert(bool append) {
    CheckBrowseMode();
    if (!GetCanModify()) throw EDatabaseError(SDataSetReadOnly);
    Fire(BeforeInsert);
    DoBeforeScroll();
    insertBookmark_.clear();
    insertAtEnd_ = append || IsEmpty();
    if (!insertAtEnd_) {
        UpdateCursorPos();
        insertBookmark_.resize(size_t(bookmarkSize_));
        GetBookmarkData(activeBuf_, insertBookmark_.data());
    } else if (!IsEmpty()) {
        // Keep the record we came from, to return to it on cancel.
        insertBookmark_.resize(size_t(bookmarkSize_));
        GetBookmarkData(activeBuf_, insertBookmark_.data());
    }
    if (append) InternalLast();
    InternalInsert();
    InitRecord(activeBuf_);
    SetBookmarkFlag(activeBuf_, insertAtEnd_ ? bfEOF : bfInserted);
    bufValid_ = true;
    bof_ = eof_ = false;
    SetState(dsInsert);
    try {
        DoOnNewRecord();
    } catch (...) {
        InternalCancel();
        SetState(dsBrowse);
        Resync();
        throw;
    }
    modified_ = false;
    DataEvent(deDataSetChange);
    Fire(AfterInsert);
    DoAfterScroll();
}

void TDataSet::InitRecord(uint8_t* buffer) {
    InternalInitRecord(buffer);
    ClearCalcFields(buffer);
}

void TDataSet::ClearCalcFields(uint8_t* buffer) {}

void TDataSet::DoOnNewRecord() {
    for (TField* f : fields_)
        if (!f->DefaultExpression.empty()) f->SetAsString(f->DefaultExpression);
    Fire(OnNewRecord);
}

void TDataSet::CheckRequiredFields() {
    for (TField* f : fieldList_)
        if (f->Required && !f->ReadOnly && f->FieldKind() == fkData && f->IsNull()) {
            f->FocusControl();
            throw EDatabaseError(FormatMsg(SFieldRequired, {f->DisplayLabel()}));
        }
}

void TDataSet::InternalPost() {
    CheckRequiredFields();
}

void TDataSet::Post() {
    UpdateRecord();
    switch (state_) {
    case dsEdit:
    case dsInsert: {
        DataEvent(deCheckBrowseMode);
        Fire(BeforePost);
        if (state_ == dsEdit) UpdateCursorPos(); // the store writes to its current record
        InternalPost();
        FreeFieldBuffers();
        SetState(dsBrowse);
        Resync();
        Fire(AfterPost);
        break;
    }
    default:
        break;
    }
}

void TDataSet::Cancel() {
    if (state_ != dsEdit && state_ != dsInsert && state_ != dsSetKey) return;
    DataEvent(deCheckBrowseMode);
    Fire(BeforeCancel);
    bool wasInsert = state_ == dsInsert;
    InternalCancel();
    FreeFieldBuffers();
    SetState(dsBrowse);
    if (wasInsert) {
        if (!insertBookmark_.empty())
            InternalGotoBookmark(insertBookmark_.data());
        else
            InternalFirst();
        cursorPosChanged_ = false;
    } else
        UpdateCursorPos();
    Resync();
    Fire(AfterCancel);
}

void TDataSet::Delete() {
    CheckActive();
    if (state_ == dsInsert || state_ == dsSetKey) {
        Cancel();
        return;
    }
    if (IsEmpty()) throw EDatabaseError(SDataSetEmpty);
    if (!GetCanModify()) throw EDatabaseError(SDataSetReadOnly);
    DataEvent(deCheckBrowseMode);
    Fire(BeforeDelete);
    DoBeforeScroll();
    if (state_ == dsEdit) {
        // The edit buffer holds values of its own: give them back before the row goes.
        InternalCancel();
        SetState(dsBrowse);
    }
    UpdateCursorPos();
    InternalDelete();
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync();
    Fire(AfterDelete);
    DoAfterScroll();
}

void TDataSet::Refresh() {
    Fire(BeforeRefresh);
    CheckBrowseMode();
    UpdateCursorPos();
    InternalRefresh();
    Resync();
    Fire(AfterRefresh);
}

void TDataSet::SetFields(const std::vector<Variant>& values) {
    if (state_ != dsEdit && state_ != dsInsert && state_ != dsSetKey) throw EDatabaseError(SNotEditing);
    for (size_t i = 0; i < values.size() && i < fields_.size(); ++i)
        if (!values[i].IsEmpty()) fields_[i]->SetAsVariant(values[i]);
}

void TDataSet::ClearFields() {
    if (state_ != dsEdit && state_ != dsInsert && state_ != dsSetKey) throw EDatabaseError(SNotEditing);
    for (TField* f : fields_)
        if (f->FieldKind() == fkData && !f->ReadOnly) f->Clear();
}

void TDataSet::InsertOrAppendRecord(const std::vector<Variant>& values, bool append) {
    BeginInsert(append);
    try {
        SetFields(values);
        Post();
    } catch (...) {
        Cancel();
        throw;
    }
}

// ---- Bookmarks ----

TBookmark TDataSet::GetBookmark() {
    TBookmark bm;
    if (Active() && !IsEmpty() && bookmarkSize_ > 0) {
        bm.resize(size_t(bookmarkSize_));
        GetBookmarkData(activeBuf_, bm.data());
    }
    return bm;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
    if (bookmark.empty()) return;
    CheckBrowseMode();
    DoBeforeScroll();
    InternalGotoBookmark(bookmark.data());
    Resync();
    DoAfterScroll();
}

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField* field, TBlobStreamMode mode) {
    throw EDatabaseError(SNotBlob);
}

// ---- Calculated fields ----

void TDataSet::GetCalcFields(uint8_t* buffer) {
    if (calcFieldsSize_ == 0 || !OnCalcFields) return;
    TDataSetState saved = SetTempState(dsCalcFields);
    uint8_t* savedCalc = calcBuf_;
    calcBuf_ = buffer;
    try {
        ClearCalcFields(buffer);
        CalculateFieldsHook(buffer);
        OnCalcFields(*this);
    } catch (...) {
        calcBuf_ = savedCalc;
        RestoreState(saved);
        throw;
    }
    calcBuf_ = savedCalc;
    RestoreState(saved);
}
