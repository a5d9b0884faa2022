// Writing a row back: the perform operations, PerformSQL with OLD_ parameters, strict update, refresh and
// check of the current record, and the update statements holder.
#include "dataset/DEDozivo.h"
#include "dataset/StrUtil.h"

#include <cctype>
#include <cstring>

namespace {

bool HasOldPrefix(const std::string& name) {
    if (name.size() < 4) return false;
    return std::toupper(static_cast<unsigned char>(name[0])) == 'O' &&
           std::toupper(static_cast<unsigned char>(name[1])) == 'L' &&
           std::toupper(static_cast<unsigned char>(name[2])) == 'D' && name[3] == '_';
}

bool IsNumber(const std::string& s) {
    if (s.empty() || s.size() > 5) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// Field types whose values are not written back from parameters.
bool IsComplexFieldType(TFieldType t) {
    switch (t) {
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
    case ftTypedBinary:
    case ftCursor:
    case ftADT:
    case ftArray:
    case ftReference:
    case ftDataSet:
    case ftOraBlob:
    case ftOraClob:
        return true;
    default:
        return false;
    }
}

// The shared object a complex record value points to, by its data-type code.
TSharedObject* ComplexObject(uint16_t dataType, const uint8_t* p) {
    void* raw = nullptr;
    std::memcpy(&raw, p, sizeof(raw));
    if (!raw) return nullptr;
    switch (dataType) {
    case dtBlob:
    case dtMemo:
        return static_cast<TBlob*>(raw);
    case dtObject:
    case dtReference:
    case dtArray:
    case dtTable:
        return static_cast<TDBObject*>(raw);
    case dtVariant:
        return static_cast<TVariantObject*>(raw);
    default:
        return nullptr;
    }
}

bool IsSharedObjectType(uint16_t dataType) {
    switch (dataType) {
    case dtBlob:
    case dtMemo:
    case dtObject:
    case dtReference:
    case dtArray:
    case dtTable:
    case dtVariant:
        return true;
    default:
        return false;
    }
}

// Assigns a value to a field, making a read-only field writable for the assignment.
void AssignToField(TField* f, const Variant& v) {
    bool ro = f->ReadOnly;
    f->ReadOnly = false;
    try {
        f->SetAsVariant(v);
    } catch (...) {
        f->ReadOnly = ro;
        throw;
    }
    f->ReadOnly = ro;
}

} // namespace

// ---- Perform operations ----

std::string TCustomDADataSet::UpdateStatementText(TStatementType kind) {
    if (!updateObject_) return std::string();
    switch (kind) {
    case stInsert:
        return updateObject_->InsertSQL;
    case stUpdate:
        return updateObject_->ModifySQL;
    case stDelete:
        return updateObject_->DeleteSQL;
    case stRefresh:
        return updateObject_->RefreshSQL;
    default:
        return std::string();
    }
}

void TCustomDADataSet::PerformAppend() {
    if (PerformSQL(UpdateStatementText(stInsert), StmtBit(stInsert)) && (RefreshOptions & roAfterInsert))
        RefreshRecord();
}

void TCustomDADataSet::PerformUpdate() {
    if (PerformSQL(UpdateStatementText(stUpdate), StmtBit(stUpdate)) && (RefreshOptions & roAfterUpdate))
        RefreshRecord();
}

void TCustomDADataSet::PerformDelete() {
    PerformSQL(UpdateStatementText(stDelete), StmtBit(stDelete));
}

void TCustomDADataSet::RefreshRecord() {
    CheckActive();
    ReleaseBufferRefs(activeBuf_);
    PerformSQL(UpdateStatementText(stRefresh), StmtBit(stRefresh));
}

// ---- PerformSQL ----

bool TCustomDADataSet::PerformSQL(const std::string& text, TStatementTypes kinds) {
    if (text.empty()) return false;
    if (!connection_) throw EDAError(SConnectionNotDefined);

    // 1. The update query, created through the connection on first use.
    if (!updateQuery_) {
        updateQuery_ = connection_->CreateDataSet();
        updateQuery_->Internal = true;
        updateQuery_->Name = Name + ".UpdateQuery";
        updateQuery_->SetConnection(connection_);
    }
    TCustomDADataSet& uq = *updateQuery_;
    uq.Close();
    uq.SetTrimFixedChar(options_.TrimFixedChar);
    uq.SetFlatBuffers(true);

    // The statement text, trimmed, and auto-commit for writing statements only.
    std::string trimmed = Trim(text);
    if (trimmed != uq.SQL()) uq.SetSQL(trimmed);
    const TStatementTypes writes = StmtBit(stInsert) | StmtBit(stUpdate) | StmtBit(stDelete);
    uq.SetAutoCommit((kinds & writes) != 0 && AutoCommit() && !holdCommit_);

    // 4. Parameter values from the fields.
    TParams& params = uq.Params();
    for (int i = 0; i < params.Count(); ++i) {
        TParam* p = params[i];
        bool old = HasOldPrefix(p->Name);
        std::string name = old ? p->Name.substr(4) : p->Name;
        TField* field = nullptr;
        if (IsNumber(name)) {
            int n = std::stoi(name);
            for (int k = 0; k < FieldCount() && !field; ++k)
                if (Fields(k)->FieldNo() == n) field = Fields(k);
        } else {
            field = FindField(name);
        }
        if (field) {
            const bool oldValue = old && State() != dsInsert;
            Variant v = oldValue ? field->OldValue() : field->GetAsVariant();
            // A number of more than 15 digits goes as its exact text, which the command binds digit for
            // digit: a column written back unchanged must keep every digit it was read with.
            std::string exact;
            if (field->DataType() == ftFloat &&
                (oldValue ? field->OldExactNumber(exact) : field->ExactNumber(exact)))
                v = Variant(exact);
            p->SetValue(v);
            p->DataType = field->DataType();
            // A CHAR column's value (trimmed when read) goes as a fixed-length character value, which the
            // server compares blank-padded: "KEY = :OLD_KEY" then finds the row.
            if (p->DataType == ftString && field->FieldNo() > 0 && field->FieldNo() <= data_->FieldCount() &&
                data_->Fields()[field->FieldNo() - 1]->Fixed)
                p->DataType = ftFixedChar;
        } else if ((kinds & StmtBit(stRefresh)) && Params().FindParam(name)) {
            TParam* src = Params().FindParam(name);
            std::string keep = p->Name;
            p->Assign(*src);
            p->Name = keep;
        } else if (!BeforeUpdateExecute) {
            throw EDAError(FormatMsg(SNoCorrespondParam, {p->Name}));
        }
        p->ParamType = ptInput;
    }
    AdjustUpdateParams(params, kinds);

    // The caller may adjust the parameters; every one must have a type by then.
    if (BeforeUpdateExecute) BeforeUpdateExecute(*this, kinds, params);
    for (int i = 0; i < params.Count(); ++i)
        if (params[i]->DataType == ftUnknown)
            throw EDAError(FormatMsg(SUnknownParamDataType, {params[i]->Name}));

    // Run it.
    uq.Execute();

    if ((kinds & (StmtBit(stRefresh) | StmtBit(stCheck))) && uq.Active()) {
        // 7. Refresh or check the current record from the statement's first row.
        rowsAffected_ = uq.RecordCount();
        if (options_.StrictUpdate && rowsAffected_ != 1)
            throw EDAError(FormatMsg(SRefreshFailed, {std::to_string(rowsAffected_)}));
        uq.First();
        bool check = (kinds & StmtBit(stCheck)) != 0;
        bool refresh = (kinds & StmtBit(stRefresh)) != 0;
        uint8_t* active = ActiveBuffer();
        for (int i = 0; i < uq.FieldCount(); ++i) {
            TField* src = uq.Fields(i);
            TField* dst = FindField(src->FieldName());
            if (!dst || dst->FieldNo() <= 0 || src->FieldNo() <= 0) continue;
            TFieldDesc* srcDesc = uq.Data()->Fields()[src->FieldNo() - 1];
            TFieldDesc* dstDesc = data_->Fields()[dst->FieldNo() - 1];
            if (IsSharedObjectType(srcDesc->DataType) && IsSharedObjectType(dstDesc->DataType)) {
                // A blob or object replaces the reference in the active record.
                if (!refresh || !active) continue;
                uint8_t* srcRec = uq.GetActiveRecBuf();
                TSharedObject* nobj =
                    srcRec ? ComplexObject(srcDesc->DataType, srcRec + srcDesc->Offset) : nullptr;
                TSharedObject* oobj = ComplexObject(dstDesc->DataType, active + dstDesc->Offset);
                void* raw = nullptr;
                if (srcRec) std::memcpy(&raw, srcRec + srcDesc->Offset, sizeof(raw));
                if (nobj) nobj->AddRef();
                std::memcpy(active + dstDesc->Offset, &raw, sizeof(raw));
                if (oobj) oobj->Release();
                bool isNull = !srcRec || uq.Data()->GetNull(src->FieldNo(), srcRec);
                data_->SetNull(dst->FieldNo(), active, isNull);
                if (raw && (State() == dsEdit || State() == dsInsert) &&
                    (dstDesc->DataType == dtBlob || dstDesc->DataType == dtMemo))
                    static_cast<TBlob*>(raw)->Cached = true;
                continue;
            }
            Variant v = src->GetAsVariant();
            std::string exact;
            if (src->DataType() == ftFloat && src->ExactNumber(exact)) v = Variant(exact); // every digit
            if (check) {
                TDataSetState st = State();
                const bool oldValue = st == dsEdit || st == dsInsert || st == dsSetKey;
                Variant mine = oldValue ? dst->OldValue() : dst->GetAsVariant();
                if (dst->DataType() == ftFloat &&
                    (oldValue ? dst->OldExactNumber(exact) : dst->ExactNumber(exact)))
                    mine = Variant(exact);
                bool same = mine.IsNullOrEmpty() ? v.IsNullOrEmpty() : (!v.IsNullOrEmpty() && mine.Equals(v));
                if (!same) throw EDAError(SRecordChanged);
            } else if (!inPost_) {
                if (active) data_->PutFieldAsVariant(dst->FieldNo(), active, v);
            } else {
                AssignToField(dst, v);
            }
        }
        if (!check && !inPost_ && active) {
            // The refreshed record goes back into the store; the buffer keeps references of its own.
            InternalSetToRecord(active);
            data_->PutRecord(active);
            if (data_->HasComplexFields()) {
                data_->AddRefComplexFields(active);
                active[RecordInfoOffset() + 6] = 1;
            }
            DataEvent(deRecordChange);
        }
    } else {
        // 8. A write statement.
        rowsAffected_ = uq.RowsAffected();
        // The custom kind (a key sequence's block) writes no row, so there is no row count to hold to.
        if (options_.StrictUpdate && !(kinds & StmtBit(stCustom)) &&
            (rowsAffected_ == 0 || rowsAffected_ > 1))
            throw EDAError(FormatMsg(SUpdateFailed, {std::to_string(rowsAffected_)}));
        if (options_.ReturnParams || (kinds & StmtBit(stRefresh))) {
            for (int i = 0; i < params.Count(); ++i) {
                TParam* p = params[i];
                if (HasOldPrefix(p->Name)) continue;
                TField* f = FindField(p->Name);
                if (!f || IsComplexFieldType(f->DataType())) continue;
                if (State() == dsEdit || State() == dsInsert)
                    AssignToField(f, p->Value());
                else if (uint8_t* active = ActiveBuffer(); active && f->FieldNo() > 0)
                    data_->PutFieldAsVariant(f->FieldNo(), active, p->Value());
            }
        }
    }

    // The caller sees the parameters after the statement; the update query is closed again.
    if (AfterUpdateExecute) AfterUpdateExecute(*this, kinds, params);
    uq.Close();
    return true;
}

// ---- Update statements holder ----

TCustomDAUpdateSQL::~TCustomDAUpdateSQL() {
    if (dataSet_ && dataSet_->updateObject_ == this) dataSet_->updateObject_ = nullptr;
}

std::string& TCustomDAUpdateSQL::SQL(TUpdateKind kind) {
    switch (kind) {
    case ukModify:
        return ModifySQL;
    case ukInsert:
        return InsertSQL;
    default:
        return DeleteSQL;
    }
}

void TCustomDAUpdateSQL::SetDataSet(TCustomDADataSet* dataSet) {
    if (dataSet)
        dataSet->SetUpdateObject(this);
    else if (dataSet_)
        dataSet_->SetUpdateObject(nullptr);
}

void TCustomDAUpdateSQL::ExecStatement(TUpdateKind kind) {
    if (!dataSet_) throw EDAError("The update object serves no data set.");
    dataSet_->PerformSQL(SQL(kind), StmtBit(stUpdate));
}
