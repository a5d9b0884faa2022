#include "dataset/QxAccess.h"
#include "dataset/StrUtil.h"

#include <cstring>

void RaiseUnknownProp(int code) {
    RaiseAssertion(std::to_string(code));
}

// ---- TParamDesc ----

TParamDesc::~TParamDesc() = default;

bool TParamDesc::SetValue(const Variant& value) {
    value_ = value;
    isNull_ = value.IsNullOrEmpty();
    return isNull_;
}

void TParamDesc::SetNull(bool isNull) {
    isNull_ = isNull;
    if (isNull) value_ = Variant::Null();
}

TParamDesc* TParamDescs::Add(std::unique_ptr<TParamDesc> desc) {
    items_.push_back(std::move(desc));
    return items_.back().get();
}

void TParamDescs::Delete(int i) {
    CheckAssert(i >= 0 && i < Count(), "DeleteParam index");
    items_.erase(items_.begin() + i);
}

TParamDesc* TParamDescs::FindParam(const std::string& name) const {
    for (auto& p : items_)
        if (SameText(p->GetName(), name)) return p.get();
    return nullptr;
}

// ---- TQxConnection ----

TQxConnection::~TQxConnection() = default;

void TQxConnection::SetProp(int code, const Variant& value) {
    switch (code) {
    case prAutoCommit:
        autoCommit_ = value.AsBoolean();
        break;
    case prConvertEOL:
        convertEOL_ = value.AsBoolean();
        break;
    default:
        RaiseUnknownProp(code);
    }
}

void TQxConnection::GetProp(int code, Variant&) {
    RaiseUnknownProp(code);
}

void TQxConnection::SetMethodProp(int code, TQxMethod) {
    RaiseUnknownProp(code);
}

// ---- TQxCommand ----

TQxCommand::~TQxCommand() = default;

TParamDesc* TQxCommand::AddParam() {
    return params_.Add(std::make_unique<TParamDesc>());
}

void TQxCommand::SetProp(int code, const Variant& value) {
    switch (code) {
    case prAutoCommit:
        autoCommit_ = value.AsBoolean();
        break;
    default:
        RaiseUnknownProp(code);
    }
}

void TQxCommand::GetProp(int code, Variant& value) {
    switch (code) {
    case prScanParams:
        value = false;
        break;
    case prExecuting:
        value = executing_;
        break;
    default:
        RaiseUnknownProp(code);
    }
}

void TQxCommand::SetMethodProp(int code, TQxMethod method) {
    switch (code) {
    case prOnAfterExecute:
        afterExecute_ = std::move(method);
        break;
    default:
        RaiseUnknownProp(code);
    }
}

void TQxCommand::DoAfterExecute(bool result) {
    if (!afterExecute_) return;
    TQxMethodArgs args;
    args.Sender = this;
    args.Result = result;
    afterExecute_(args);
}

// ---- TQxRecordSet ----

TQxRecordSet::TQxRecordSet() = default;

TQxRecordSet::~TQxRecordSet() = default;

void TQxRecordSet::InitCommand() {
    if (!command_) SetCommand(CreateCommand());
}

TQxCommand* TQxRecordSet::GetCommand() {
    InitCommand();
    return command_.get();
}

void TQxRecordSet::InternalPrepare() {
    GetCommand()->Prepare();
}

void TQxRecordSet::InternalUnPrepare() {
    GetCommand()->Unprepare();
}

void TQxRecordSet::InternalOpen() {
    eof_ = false;
    try {
        ExecuteAndFirstFetch();
    } catch (...) {
        if (!prepared_) {
            try {
                InternalUnPrepare();
            } catch (...) {
                // The execution error is the one the caller needs to see.
            }
        }
        throw;
    }
}

bool TQxRecordSet::GetConvertEOL() {
    TQxConnection* c = GetCommand()->GetConnection();
    return c && c->GetConvertEOL();
}

void TQxRecordSet::Prepare() {
    if (prepared_) return;
    try {
        InternalPrepare();
        // A statement known to return rows describes its columns right after preparing.
        if (resultKind_ == rkRows) InitFields();
    } catch (...) {
        prepared_ = false;
        try {
            InternalUnPrepare();
        } catch (...) {
        }
        throw;
    }
    prepared_ = true;
}

void TQxRecordSet::ExecuteAndFirstFetch() {
    uint8_t kindBefore = resultKind_;
    ExecCommand();
    // Columns not described at prepare time are described now; a store whose descriptors were dropped when it
    // closed unprepared describes them again.
    if (kindBefore != rkRows || FieldCount() == 0) InitFields();
    if (fetchAll_)
        FetchAll();
    else
        Fetch(false);
    // A statement without rows opens empty with Eof already set.
    if (!firstItem_) eof_ = true;
}

void TQxRecordSet::ExecCommand() {
    GetCommand()->Execute(1);
}

void TQxRecordSet::FetchAll() {
    while (Fetch(false)) {
    }
}

void TQxRecordSet::SetConnection(TQxConnection* connection) {
    GetCommand()->SetConnection(connection);
}

void TQxRecordSet::SetSQL(const std::string& text) {
    GetCommand()->SetSQL(text);
    resultKind_ = rkUnknown;
}

void TQxRecordSet::SetProp(int code, const Variant& value) {
    switch (code) {
    case prUniDirectional:
        uniDirectional_ = value.AsBoolean();
        break;
    case prFetchRows:
        fetchRows_ = value.AsInteger();
        break;
    case prFetchAll:
        fetchAll_ = value.AsBoolean();
        break;
    case prLongStrings:
        longStrings_ = value.AsBoolean();
        break;
    case prKeepEmptyStrings:
        KeepEmptyStrings = value.AsBoolean();
        break;
    case prFlatBuffers:
        flatBuffers_ = value.AsBoolean();
        break;
    default:
        RaiseUnknownProp(code);
    }
}

void TQxRecordSet::GetProp(int code, Variant&) {
    RaiseUnknownProp(code);
}

void TQxRecordSet::SetMethodProp(int code, TQxMethod method) {
    switch (code) {
    case prOnRSAfterExecute:
        onAfterExecute_ = std::move(method);
        break;
    case prOnAfterFetch:
        onAfterFetch_ = std::move(method);
        break;
    case prOnFetchBracket:
        onFetchBracket_ = std::move(method);
        break;
    default:
        RaiseUnknownProp(code);
    }
}

void TQxRecordSet::DoAfterExecute(bool result) {
    if (!onAfterExecute_) return;
    TQxMethodArgs args;
    args.Sender = this;
    args.Result = result;
    onAfterExecute_(args);
}

void TQxRecordSet::DoAfterFetch() {
    if (!onAfterFetch_) return;
    TQxMethodArgs args;
    args.Sender = this;
    onAfterFetch_(args);
}

bool TQxRecordSet::DoFetchBracket(bool before) {
    if (!onFetchBracket_) return false;
    TQxMethodArgs args;
    args.Sender = this;
    args.Before = before;
    args.Cancel = false;
    onFetchBracket_(args);
    return before && args.Cancel;
}

// ---- Fetching navigation ----

PItemHeader TQxRecordSet::NextVisible(PItemHeader from, bool fromStart) {
    PItemHeader item = fromStart ? firstItem_ : from->Next;
    for (;;) {
        if (!item) {
            // Ran off the end of the loaded rows: ask the server for more. The remembered last item is
            // checked against the block registry before use, as the server layer may have replaced items.
            PItemHeader last = lastItem_;
            uint64_t serial = last ? last->Block->Serial : 0;
            if (!Fetch(false)) return nullptr;
            if (uniDirectional_ || CanFetchBack()) {
                if (firstItem_) firstItem_->Prev = nullptr;
                if (lastItem_) lastItem_->Next = nullptr;
            }
            if (uniDirectional_)
                item = firstItem_;
            else if (last && blockMan_->IsItemInUse(last, serial) && last->Next)
                item = last->Next;
            else
                item = firstItem_;
            if (!item) return nullptr;
        }
        if (!IsHidden(item)) return item;
        item = item->Next;
    }
}

PItemHeader TQxRecordSet::PriorVisible(PItemHeader from, bool fromEnd) {
    PItemHeader item = fromEnd ? lastItem_ : from->Prev;
    for (;;) {
        if (!item) {
            PItemHeader first = firstItem_;
            uint64_t serial = first ? first->Block->Serial : 0;
            if (!Fetch(true)) return nullptr;
            if (firstItem_) firstItem_->Prev = nullptr;
            if (lastItem_) lastItem_->Next = nullptr;
            if (first && blockMan_->IsItemInUse(first, serial) && first->Prev)
                item = first->Prev;
            else
                item = lastItem_;
            if (!item) return nullptr;
        }
        if (!IsHidden(item)) return item;
        item = item->Prev;
    }
}

void TQxRecordSet::GetNextRecord(uint8_t* recBuf) {
    if (GetEOF()) return;
    PItemHeader item = NextVisible(currentItem_, currentItem_ == nullptr);
    currentItem_ = item;
    if (!item) {
        eof_ = true;
        return;
    }
    bof_ = eof_ = false;
    if (recBuf) std::memcpy(recBuf, ItemData(item), size_t(recordSize_));
}

void TQxRecordSet::GetPriorRecord(uint8_t* recBuf) {
    if (uniDirectional_) {
        // Rows before the current one are gone: the cursor stands at its beginning.
        bof_ = true;
        currentItem_ = nullptr;
        return;
    }
    if (!CanFetchBack()) {
        TMemData::GetPriorRecord(recBuf);
        return;
    }
    if (GetBOF()) return;
    PItemHeader item = PriorVisible(currentItem_, currentItem_ == nullptr);
    currentItem_ = item;
    if (!item) {
        bof_ = true;
        return;
    }
    bof_ = eof_ = false;
    if (recBuf) std::memcpy(recBuf, ItemData(item), size_t(recordSize_));
}

void TQxRecordSet::SetRecNo(int recNo) {
    if (!uniDirectional_ && !CanFetchBack()) {
        TMemData::SetRecNo(recNo);
        return;
    }
    if (recNo <= 0) return;
    // Within the loaded rows the store finds the item without fetching.
    PItemHeader lastVisible = lastItem_;
    while (lastVisible && IsHidden(lastVisible))
        lastVisible = lastVisible->Prev;
    if (lastVisible && recNo <= lastVisible->Order + recNoOffset_) {
        TMemData::SetRecNo(recNo);
        return;
    }
    // Beyond them, a fetch may free the items a walk would hold on to: step with the fetching navigation,
    // which re-reads the list after every fetch.
    if (lastVisible && currentItem_ != lastVisible) {
        currentItem_ = lastVisible;
        bof_ = eof_ = false;
    }
    while (!GetEOF() && GetRecNo() < recNo)
        GetNextRecord(nullptr);
}
