// TOCIRecordSet: describe, defines, block fetch straight into the storage blocks, the DATE form in records,
// LOB holders, fetch-all and background open and fetch.
#include "dataset/ByteIO.h"
#include "oracle/OraClasses.h"
#include "oracle/OraLocks.h"
#include "oracle/OraObjects.h"

#include "dataset/DAHooks.h"
#include "dataset/DBConsts.h"
#include "dataset/DBErrors.h"

#include <algorithm>
#include <climits>
#include <cstring>

using namespace oracall;

ub2 ToExternalType(uint16_t dataType, bool memoAsText);

namespace {

constexpr uint16_t PtrSize = uint16_t(sizeof(void*));

bool IsMemoAsText(const TFieldDesc* f) {
    return f->DataType == dtMemo && f->SubDataType == 1;
}
bool IsLong(const TFieldDesc* f) {
    return (f->DataType == dtMemo && f->SubDataType != 1) || f->DataType == dtBlob;
}
// Values fetched through a handle, locator or descriptor that a holder of the record owns.
bool IsHolder(const TFieldDesc* f) {
    switch (f->DataType) {
    case dtOraBlob:
    case dtOraClob:
    case dtBFile:
    case dtCFile:
    case dtCursor:
    case dtTimeStamp:
    case dtTimeStampTZ:
    case dtTimeStampLTZ:
    case dtIntervalYM:
    case dtIntervalDS:
    case dtObject:
    case dtArray:
    case dtTable:
    case dtReference:
        return true;
    default:
        return false;
    }
}
bool IsObjectLike(const TFieldDesc* f) {
    return f->DataType == dtObject || f->DataType == dtArray || f->DataType == dtTable ||
           f->DataType == dtReference;
}
bool IsAux(const TFieldDesc* f) {
    return f->DataType == dtExtString || f->DataType == dtExtVarBytes || IsMemoAsText(f) || IsHolder(f);
}
int AuxSize(const TFieldDesc* f) {
    if (f->DataType == dtExtString || IsMemoAsText(f)) return f->Length + 1;
    if (f->DataType == dtExtVarBytes) return f->Length + 2;
    return PtrSize;
}

} // namespace

TOCIRecordSet::TOCIRecordSet() {
    InitCommand();
    fetchRows_ = 25;
    byteNullFlags_ = false; // two-byte indicators, see GetNull/SetNull
}

TOCIRecordSet::~TOCIRecordSet() {
    try {
        if (Cmd()->BackgroundRunning()) {
            Cmd()->Break();
        }
        Cmd()->WaitBackground();
        Close();
    } catch (...) {
    }
    try {
        UnPrepare();
    } catch (...) {
    }
}

std::unique_ptr<TQxCommand> TOCIRecordSet::CreateCommand() {
    return std::make_unique<TOCICommand>();
}

void TOCIRecordSet::SetConnection(TQxConnection* connection) {
    conn_ = static_cast<TOCIConnection*>(connection);
    TQxRecordSet::SetConnection(connection);
}

void TOCIRecordSet::ComputeKind() {
    TOCICommand* cmd = Cmd();
    resultKind_ = (cmd->IsSelect() || (cmd->IsPlSql() && cmd->CursorParam())) ? rkRows : rkNoRows;
    kindSQL_ = cmd->GetSQL();
}

bool TOCIRecordSet::ReturnsRows() {
    return resultKind_ == rkRows && kindSQL_ == Cmd()->GetSQL();
}

void TOCIRecordSet::SetSQL(const std::string& text) {
    if (text != Cmd()->GetSQL())
        resultKind_ = rkUnknown; // the kind of the previous statement says nothing about this one
    TQxRecordSet::SetSQL(text);
}

bool TOCIRecordSet::BackgroundRunning() const {
    return const_cast<TOCIRecordSet*>(this)->Cmd()->BackgroundRunning();
}

// ---- Types ----

void TOCIRecordSet::GetBlobTypes(TDataTypeSet& set) {
    set = TDataTypeSet{dtBlob, dtMemo, 102, 103, 104, 105};
}

void TOCIRecordSet::GetComplexTypes(TDataTypeSet& set) {
    GetBlobTypes(set);
    set |= TDataTypeSet{dtObject, dtReference, dtArray, dtTable, dtExtString, dtExtVarBytes,
                        101,      109,         110,     111,     112,         113};
}

void TOCIRecordSet::CreateComplexFields(uint8_t* recBuf, bool withBlob) {
    for (int i = 0; i < FieldCount(); ++i) {
        TFieldDesc* f = fields_[i];
        if (f->ParentField) continue;
        uint8_t* p = recBuf + f->Offset;
        switch (f->DataType) {
        case dtOraBlob:
        case dtOraClob:
            if (withBlob) {
                auto* l = new TOraLob(f->DataType == dtOraBlob ? SQLT_BLOB : SQLT_CLOB, conn_);
                l->Cached = true;
                Store<TBlob*>(p, l);
            }
            break;
        case dtBFile:
        case dtCFile:
            if (withBlob) {
                auto* l = new TOraLob(f->DataType == dtBFile ? SQLT_BFILEE : SQLT_CFILEE, conn_);
                Store<TBlob*>(p, l);
            }
            break;
        case dtCursor:
            Store<TSharedObject*>(p, new TOraCursor);
            break;
        case dtTimeStamp:
        case dtTimeStampTZ:
        case dtTimeStampLTZ:
            Store<TSharedObject*>(p, new TOraTimeStamp(f->DataType == dtTimeStamp ? OCI_DTYPE_TIMESTAMP
                                                       : f->DataType == dtTimeStampTZ
                                                           ? OCI_DTYPE_TIMESTAMP_TZ
                                                           : OCI_DTYPE_TIMESTAMP_LTZ));
            break;
        case dtIntervalYM:
        case dtIntervalDS:
            Store<TSharedObject*>(p, new TOraInterval(f->DataType == dtIntervalYM ? OCI_DTYPE_INTERVAL_YM
                                                                                  : OCI_DTYPE_INTERVAL_DS));
            break;
        case dtObject:
        case dtArray:
        case dtTable: {
            auto* t = static_cast<TOraType*>(f->ObjectType());
            TOraObject* o = f->DataType == dtObject  ? new TOraObject(t)
                            : f->DataType == dtArray ? new TOraArray(t)
                                                     : new TOraNestTable(t);
            Store<TSharedObject*>(p, o);
            break;
        }
        case dtReference:
            Store<TSharedObject*>(p, new TOraRef(static_cast<TOraType*>(f->ObjectType())));
            break;
        case dtExtString:
        case dtExtVarBytes:
            Store<void*>(p, nullptr);
            break;
        default:
            if (IsComplexFieldType(f->DataType)) {
                if (IsBlobFieldType(f->DataType)) {
                    if (withBlob) Store<TBlob*>(p, new TBlob(false));
                } else
                    Store<void*>(p, nullptr);
            }
        }
    }
}

bool TOCIRecordSet::GetNull(int fieldNo, const uint8_t* recBuf) {
    TFieldDesc* f = fields_[fieldNo - 1];
    if (f->ParentField) return TQxRecordSet::GetNull(fieldNo, recBuf);
    return Load<int16_t>(recBuf + dataSize_ + 2 * (fieldNo - 1)) < 0;
}

void TOCIRecordSet::SetNull(int fieldNo, uint8_t* recBuf, bool isNull) {
    TFieldDesc* f = fields_[fieldNo - 1];
    if (f->ParentField) {
        TQxRecordSet::SetNull(fieldNo, recBuf, isNull);
        return;
    }
    Store<int16_t>(recBuf + dataSize_ + 2 * (fieldNo - 1), int16_t(isNull ? -1 : 0));
    if (isNull && IsBlobFieldType(f->DataType))
        if (TBlob* b = Load<TBlob*>(recBuf + f->Offset)) {
            if (auto* l = dynamic_cast<TOraLob*>(b)) l->NotRead = false;
            b->Clear();
        }
}

void TOCIRecordSet::GetDateFromBuf(const uint8_t* buf, void* dest, TDateMode mode) {
    // The store's conversions work on a day-count double; an empty DATE gives 0 milliseconds.
    const TDateTime dt = OraDateToDateTime(buf);
    if (mode == dfMSecs && dt == 0) {
        const double zero = 0;
        std::memcpy(dest, &zero, 8);
        return;
    }
    uint8_t tmp[8];
    std::memcpy(tmp, &dt, 8);
    TData::GetDateFromBuf(tmp, dest, mode);
}

void TOCIRecordSet::PutDateToBuf(uint8_t* buf, const void* source, TDateMode mode) {
    uint8_t tmp[8];
    TData::PutDateToBuf(tmp, source, mode); // to a day-count double
    double dt;
    std::memcpy(&dt, tmp, 8);
    DateTimeToOraDate(dt, buf);
}

std::string TOCIRecordSet::HolderText(TFieldDesc* f, uint8_t* recBuf) {
    // A record copied for editing may hold a plain blob where a file's holder was: checked casts.
    auto* o = Load<TSharedObject*>(recBuf + f->Offset);
    if (!o) return std::string();
    switch (f->DataType) {
    case dtTimeStamp:
    case dtTimeStampTZ:
    case dtTimeStampLTZ:
        if (auto* t = dynamic_cast<TOraTimeStamp*>(o)) return t->AsText(f->Scale);
        break;
    case dtIntervalYM:
        if (auto* t = dynamic_cast<TOraInterval*>(o)) return t->AsText(f->Length - 4, 0);
        break;
    case dtIntervalDS:
        if (auto* t = dynamic_cast<TOraInterval*>(o)) return t->AsText(f->Length - f->Scale - 11, f->Scale);
        break;
    case dtBFile:
    case dtCFile:
        if (auto* l = dynamic_cast<TOraLob*>(o)) return l->FileLocatorText();
        break;
    case dtCursor:
        return "(Cursor)";
    case dtObject:
    case dtArray:
    case dtTable:
        if (auto* obj = dynamic_cast<TOraObject*>(o)) return obj->AsText();
        break;
    case dtReference:
        if (auto* ref = dynamic_cast<TOraRef*>(o)) {
            std::string name = ref->RefType() ? ref->RefType()->Name : std::string();
            size_t dot = name.rfind('.');
            return "REF " + (dot == std::string::npos ? name : name.substr(dot + 1));
        }
        break;
    default:
        break;
    }
    return std::string();
}

bool TOCIRecordSet::IsShownAsText(uint16_t dataType) {
    switch (dataType) {
    case dtTimeStamp:
    case dtTimeStampTZ:
    case dtTimeStampLTZ:
    case dtIntervalYM:
    case dtIntervalDS:
    case dtBFile:
    case dtCFile:
    case dtCursor:
    case dtObject:
    case dtArray:
    case dtTable:
    case dtReference:
        return true;
    default:
        return false;
    }
}

void TOCIRecordSet::GetFieldData(TFieldDesc* field, uint8_t* recBuf, void* dest) {
    if (field->ParentField || !IsShownAsText(field->DataType)) {
        TQxRecordSet::GetFieldData(field, recBuf, dest);
        return;
    }
    // The data set reads these columns as text fields of Length characters.
    std::string text = HolderText(field, recBuf);
    size_t n = std::min<size_t>(text.size(), field->Length);
    std::memcpy(dest, text.data(), n);
    static_cast<char*>(dest)[n] = 0;
}

void TOCIRecordSet::PutFieldData(TFieldDesc* field, uint8_t* recBuf, const void* source) {
    // The text of a holder-held value is only shown: writing it would overwrite the holder.
    if (!field->ParentField && IsShownAsText(field->DataType))
        throw EDatabaseError(FormatMsg(SFieldReadOnly, {field->Name}));
    TQxRecordSet::PutFieldData(field, recBuf, source);
}

void TOCIRecordSet::GetFieldAsVariant(int fieldNo, uint8_t* recBuf, Variant& value) {
    TFieldDesc* f = fields_[fieldNo - 1];
    if (!f->ParentField && IsShownAsText(f->DataType)) {
        if (GetNull(fieldNo, recBuf))
            value = Variant::Null();
        else
            value = Variant(HolderText(f, recBuf));
        return;
    }
    if (!f->ParentField && (f->DataType == dtOraBlob || f->DataType == dtOraClob)) {
        if (GetNull(fieldNo, recBuf)) {
            value = Variant::Null();
            return;
        }
        TBlob* b = Load<TBlob*>(recBuf + f->Offset);
        std::string s;
        if (b) {
            uint32_t n = b->Size();
            s.resize(n);
            if (n) b->Read(0, n, s.data());
        }
        value = f->DataType == dtOraClob ? Variant(std::move(s)) : Variant::FromBytes(s.data(), s.size());
        return;
    }
    TQxRecordSet::GetFieldAsVariant(fieldNo, recBuf, value);
}

// ---- Describe ----

int TOCIRecordSet::NlsLength(int slot, bool timestamp) {
    std::string fmt = AnsiUpperCase(conn_ ? conn_->NlsValue(slot) : std::string());
    int len = int(fmt.size());
    if (fmt.find("MONTH") != std::string::npos) len += 7;
    if (fmt.find("DAY") != std::string::npos) len += 9;
    if (timestamp && fmt.find("SSXFF") != std::string::npos) len += 4;
    return len;
}

namespace {

std::string TextParam(const void* prm, ub4 attr, OCIError* err) {
    char* text = nullptr;
    ub4 len = 0;
    if (OCIAttrGet(prm, OCI_DTYPE_PARAM, &text, &len, attr, err) != OCI_SUCCESS || !text)
        return std::string();
    return std::string(text, len);
}

} // namespace

void TOCIRecordSet::DescribeField(OCIStmt* stmt, int col, TFieldDesc& f) {
    OCIError* err = conn_->ErrorHandle();
    dvoid* prm = nullptr;
    conn_->Check(OCIParamGet(stmt, OCI_HTYPE_STMT, err, &prm, ub4(col)));
    char* name = nullptr;
    ub4 nameLen = 0;
    conn_->Check(OCIAttrGet(prm, OCI_DTYPE_PARAM, &name, &nameLen, OCI_ATTR_NAME, err));
    ub2 type = 0, size = 0;
    sb2 precision = 0;
    sb1 scale = 0;
    ub1 nullable = 1;
    conn_->Check(OCIAttrGet(prm, OCI_DTYPE_PARAM, &type, nullptr, OCI_ATTR_DATA_TYPE, err));
    conn_->Check(OCIAttrGet(prm, OCI_DTYPE_PARAM, &size, nullptr, OCI_ATTR_DATA_SIZE, err));
    OCIAttrGet(prm, OCI_DTYPE_PARAM, &precision, nullptr, OCI_ATTR_PRECISION, err);
    OCIAttrGet(prm, OCI_DTYPE_PARAM, &scale, nullptr, OCI_ATTR_SCALE, err);
    OCIAttrGet(prm, OCI_DTYPE_PARAM, &nullable, nullptr, OCI_ATTR_IS_NULL, err);
    f.Name = name ? std::string(name, nameLen) : std::string();
    f.ActualName = f.Name;
    f.SubDataType = 0;
    f.Length = 0;
    f.Scale = 0;
    f.Required = nullable == 0;
    bool asString = Cmd()->FieldsAsString();
    switch (type) {
    case 1:
    case 96:
        if (size < 256 || longStrings_) {
            if (size < 32 || flatBuffers_) {
                f.DataType = dtString;
                f.Size = uint16_t(size + 1);
            } else {
                f.DataType = dtExtString;
                f.Size = PtrSize;
            }
        } else {
            f.DataType = dtMemo;
            f.SubDataType = 1;
            f.Size = PtrSize;
        }
        f.Length = size;
        f.Fixed = type == 96;
        break;
    case 2:
        if (asString) {
            f.DataType = dtString;
            f.Length = uint16_t(precision <= 0 ? 40 : precision + 2);
            f.Size = uint16_t(f.Length + 1);
        } else {
            f.Length = uint16_t(std::max<int>(precision, 0));
            f.Scale = uint16_t(std::abs(int(scale)));
            if (conn_->EnableIntegers() && scale == 0 && precision >= 1 && precision <= 9) {
                f.DataType = dtInt32;
                f.Size = 4;
            } else {
                f.DataType = dtFloat;
                // A column that can hold more digits than a double keeps the NUMBER bytes behind it.
                const bool wide = precision <= 0 || precision > 15 || scale == -127;
                f.Size = uint16_t(wide ? ExactNumberFieldSize : 8);
            }
        }
        break;
    case 8:
        f.DataType = dtMemo;
        f.Size = PtrSize;
        break;
    case 11:
        f.DataType = dtString;
        f.SubDataType = 100;
        f.Length = 18;
        f.Size = 19;
        break;
    case 12:
        if (asString) {
            f.DataType = dtString;
            f.Length = uint16_t(NlsLength(1, false));
            f.Size = uint16_t(f.Length + 1);
        } else {
            f.DataType = dtDateTime;
            f.Size = 7;
        }
        break;
    case 23:
        if (asString) {
            f.DataType = dtString;
            f.Length = uint16_t(2 * size);
            f.Size = uint16_t(f.Length + 1);
        } else if (size < 32 || flatBuffers_) {
            f.DataType = dtVarBytes;
            f.Size = uint16_t(size + 2);
            f.Length = size;
        } else {
            f.DataType = dtExtVarBytes;
            f.Size = PtrSize;
            f.Length = size;
        }
        break;
    case 24:
        f.DataType = dtBlob;
        f.Size = PtrSize;
        break;
    case 104:
        f.DataType = dtString;
        if (size < 5) {
            f.SubDataType = 100;
            f.Length = 18;
        } else {
            f.SubDataType = 114;
            f.Length = uint16_t((size * 134 + 99) / 100);
        }
        f.Size = uint16_t(f.Length + 1);
        break;
    case 108: {
        // A named type: its descriptor from the type cache (described now when it is not cached yet).
        std::string typeName = TextParam(prm, OCI_ATTR_TYPE_NAME, err);
        std::string schema = TextParam(prm, OCI_ATTR_SCHEMA_NAME, err);
        TOraType* t = TOraType::Find(conn_->SvcCtx(), schema.empty() ? typeName : schema + "." + typeName);
        f.DataType = t->DataType;
        f.Size = PtrSize;
        f.Length = 255; // the width of its text form
        f.SetObjectType(t);
        t->Release();
        break;
    }
    case 110: {
        // A REF: its referenced type names the holder's type (shown as REF and the type's name).
        f.DataType = dtReference;
        f.Size = PtrSize;
        f.Length = 40;
        std::string typeName = TextParam(prm, OCI_ATTR_TYPE_NAME, err);
        std::string schema = TextParam(prm, OCI_ATTR_SCHEMA_NAME, err);
        if (!typeName.empty()) {
            TOraType* t =
                TOraType::Find(conn_->SvcCtx(), schema.empty() ? typeName : schema + "." + typeName);
            f.SetObjectType(t);
            t->Release();
        }
        break;
    }
    case 112:
    case 113:
        f.DataType = type == 112 ? dtOraClob : dtOraBlob;
        f.Size = PtrSize;
        break;
    case SQLT_BFILEE:
    case SQLT_CFILEE:
        // The locator is shown (directory and file name); the contents stay on the server.
        f.DataType = type == SQLT_BFILEE ? dtBFile : dtCFile;
        f.Size = PtrSize;
        f.Length = 300;
        break;
    case SQLT_CUR:
    case SQLT_RSET:
        f.DataType = dtCursor;
        f.Size = PtrSize;
        f.Length = 12;
        break;
    case SQLT_IBFLOAT:
    case SQLT_IBDOUBLE:
        // BINARY_FLOAT and BINARY_DOUBLE arrive as 8-byte floats (a float widens exactly).
        if (asString) {
            f.DataType = dtString;
            f.Length = 40;
            f.Size = 41;
        } else {
            f.DataType = dtFloat;
            f.Size = 8;
        }
        break;
    case SQLT_UROWID:
        // A universal ROWID as text, like a ROWID descriptor of its size.
        f.DataType = dtString;
        f.SubDataType = 114;
        f.Length = uint16_t(std::min<int>((size * 134 + 99) / 100, 8000));
        f.Size = uint16_t(f.Length + 1);
        break;
    case SQLT_TIMESTAMP:
    case SQLT_TIMESTAMP_TZ:
    case SQLT_TIMESTAMP_LTZ:
    case SQLT_INTERVAL_YM:
    case SQLT_INTERVAL_DS:
        if (!(OCIFunctionGroups & OCIGroupOCI9)) throw Exception(SDataTypeNotSupported);
        if (asString) {
            f.DataType = dtString;
            if (type == SQLT_INTERVAL_YM)
                f.Length = uint16_t(std::max<int>(precision, 0) + 4);
            else if (type == SQLT_INTERVAL_DS)
                f.Length = uint16_t(std::max<int>(scale, 0) + std::max<int>(precision, 0) + 11);
            else
                f.Length = uint16_t(NlsLength(type == SQLT_TIMESTAMP_TZ ? 3 : 2, true));
            f.Size = uint16_t(f.Length + 1);
            break;
        }
        // Held in their descriptors; shown as text whose width Length gives. Scale keeps the fraction
        // digits, and for intervals Length - 4 (year-month) or Length - Scale - 11 (day-second) the leading
        // precision.
        f.Size = PtrSize;
        f.Scale = uint16_t(std::clamp<int>(scale, 0, 9));
        switch (type) {
        case SQLT_TIMESTAMP:
            f.DataType = dtTimeStamp;
            f.Length = uint16_t(19 + (f.Scale ? f.Scale + 1 : 0));
            break;
        case SQLT_TIMESTAMP_TZ:
            f.DataType = dtTimeStampTZ;
            f.Length = uint16_t(26 + (f.Scale ? f.Scale + 1 : 0));
            break;
        case SQLT_TIMESTAMP_LTZ:
            f.DataType = dtTimeStampLTZ;
            f.Length = uint16_t(19 + (f.Scale ? f.Scale + 1 : 0));
            break;
        case SQLT_INTERVAL_YM:
            f.DataType = dtIntervalYM;
            f.Scale = 0;
            f.Length = uint16_t(std::clamp<int>(precision, 0, 9) + 4);
            break;
        default:
            f.DataType = dtIntervalDS;
            f.Length = uint16_t(f.Scale + std::clamp<int>(precision, 0, 9) + 11);
            break;
        }
        break;
    default:
        throw Exception(SDataTypeNotSupported);
    }
}

void TOCIRecordSet::DescribeFields() {
    TOCICommand* cmd = Cmd();
    if (cmd->CurrentCursor() == cmd->OwnCursor()) {
        if (cmd->OwnCursor()->State() == csInactive) cmd->Prepare();
        if (cmd->IsSelect()) {
            if (cmd->GetCursorState() < csExecuted) {
                TCmdLock lock(cmd, cmd->NonBlocking());
                if (cmd->GetCursorState() < csBound) cmd->BindParams();
                cmd->ExecuteOnce(OCI_DESCRIBE_ONLY);
            }
        } else if (cmd->IsPlSql() && cmd->CursorParam()) {
            if (cmd->GetCursorState() < csExecuted) {
                cmd->BindParams();
                cmd->ExecuteOnce(0);
            }
            cmd->SetCurrentCursor(cmd->CursorParam()->Cursor());
        } else {
            return;
        }
    } else {
        cmd->CheckActive();
    }
    TConnLock lock(conn_);
    OCIStmt* stmt = cmd->CurrentCursor()->Handle();
    ub4 count = 0;
    conn_->Check(
        OCIAttrGet(stmt, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, conn_->ErrorHandle()));
    for (ub4 col = 1; col <= count; ++col) {
        auto f = std::make_unique<TFieldDesc>();
        DescribeField(stmt, int(col), *f);
        f->FieldNo = uint16_t(col);
        f->ActualFieldNo = uint16_t(col);
        fields_.Add(std::move(f));
    }
}

void TOCIRecordSet::InternalInitFields() {
    if (!conn_) throw Exception(SSessionNotDefined);
    DescribeFields();
}

void TOCIRecordSet::InternalPrepare() {
    TOCICommand* cmd = Cmd();
    cmd->RunParamHook();
    cmd->Prepare();
    ComputeKind();
}

void TOCIRecordSet::InternalUnPrepare() {
    Cmd()->Unprepare();
    resultKind_ = rkUnknown;
}

// ---- Open and close ----

void TOCIRecordSet::InternalOpen() {
    TQxRecordSet::InternalOpen();
}

void TOCIRecordSet::ExecCommand() {
    TOCICommand* cmd = Cmd();
    cmd->RunParamHook();
    if (cmd->NonBlocking()) {
        // The kind must be known before the statement leaves for the background: a query is not run here
        // but opened by the caller, which fetches its rows.
        if (cmd->OwnCursor()->State() == csInactive) cmd->Prepare();
        ComputeKind();
        if (resultKind_ == rkRows) return;
    }
    if (cmd->NonBlocking()) {
        // Runs in the background; the command's completion reports to the data set.
        TQxRecordSet::ExecCommand();
        return;
    }
    try {
        TQxRecordSet::ExecCommand();
    } catch (...) {
        DoAfterExecute(false);
        throw;
    }
    ComputeKind();
    // A query is opened next, and the open reports.
    if (resultKind_ != rkRows) DoAfterExecute(true);
}

void TOCIRecordSet::OpenStep() {
    TOCICommand* cmd = Cmd();
    uint8_t kindBefore = resultKind_;
    if (cmd->CurrentCursor() == cmd->OwnCursor() && cmd->GetCursorState() < csExecuted) {
        if (cmd->OwnCursor()->State() == csInactive) cmd->Prepare();
        if (cmd->StatementType() != SQL_NOBIND) cmd->BindParams();
        cmd->ExecuteStatement();
    }
    ComputeKind();
    if (resultKind_ != rkRows) throw Exception(SNotRows);
    if (cmd->IsPlSql() && cmd->CursorParam()) cmd->SetCurrentCursor(cmd->CursorParam()->Cursor());
    if (kindBefore != rkRows || FieldCount() == 0) {
        if (cmd->NonBlocking() && std::this_thread::get_id() != conn_->OwnerThread()) {
            // fields were described on the calling thread
        } else {
            InitFields();
        }
    }
    endReached_ = false;
}

void TOCIRecordSet::ExecuteAndFirstFetch() {
    TOCICommand* cmd = Cmd();
    cmd->RunParamHook();
    cmd->SetExecuting(true);
    if (!cmd->NonBlocking()) {
        try {
            OpenStep();
            Fetch(false);
        } catch (...) {
            EndOpen(false);
            throw;
        }
        EndOpen(true);
        return;
    }
    if (!conn_ || !conn_->ThreadSafety()) {
        cmd->SetExecuting(false);
        throw Exception(SNeedThreadSafety);
    }
    // Describe here, so that the fields exist before the rows arrive.
    if (!prepared_ || FieldCount() == 0) {
        if (cmd->OwnCursor()->State() == csInactive) cmd->Prepare();
        ComputeKind();
        if (resultKind_ == rkRows) InitFields();
    }
    if (resultKind_ != rkRows) {
        cmd->SetExecuting(false);
        throw Exception(SNotRows);
    }
    event_.Reset();
    cmd->RunInBackground(
        [this] {
            event_.Pulse();
            try {
                OpenStep();
                if (fetchAll_)
                    FetchAllLoop();
                else
                    Fetch(false);
            } catch (...) {
                Cmd()->SetCursorState(csInactive);
                event_.Set();
                throw;
            }
            event_.Set();
        },
        [this](bool ok) { EndOpen(ok); }, true);
}

void TOCIRecordSet::EndOpen(bool success) {
    TOCICommand* cmd = Cmd();
    cmd->SetExecuting(false);
    if (success && fetchAll_ && !cmd->NonBlocking()) FetchAll();
    if (success && cmd->NonBlocking()) DoAfterFetch();
    DoAfterExecute(success);
}

void TOCIRecordSet::InternalClose() {
    TOCICommand* cmd = Cmd();
    if (cmd->NonBlocking() && (cmd->BackgroundRunning() || cmd->Executing())) {
        if (cmd->BackgroundRunning()) {
            cmd->Break();
            event_.Wait();
        }
        cmd->WaitBackground();
        cmd->DropPendingCompletion(); // also a run that has not started yet
        event_.Set();
    }
    if (cmd->CurrentCursor() != cmd->OwnCursor()) {
        // The cursor of a REF CURSOR parameter is closed; the parameter binds a fresh one next time.
        TOraCursor* c = cmd->CurrentCursor();
        if (c) c->FreeCursor();
        cmd->SetCurrentCursor(cmd->OwnCursor());
    }
    if (cmd->GetCursorState() > csPrepared) cmd->SetCursorState(csPrepared);
    endReached_ = false;
    FreeAux();
    if (!prepared_) cmd->Unprepare();
}

void TOCIRecordSet::Reopen() {
    TOCICommand* cmd = Cmd();
    if (cmd->CurrentCursor() != cmd->OwnCursor() && cmd->StatementType() == 0)
        throw Exception(SReopenNotAllowed);
    TQxRecordSet::Reopen();
}

bool TOCIRecordSet::GetEOF() {
    // Once every row is in the store (the end was reached), the store answers, even before the posted
    // completion of the run has cleared the executing flag.
    TOCICommand* cmd = Cmd();
    if (cmd->BackgroundRunning() ||
        (cmd->NonBlocking() && cmd->Executing() && cmd->GetCursorState() != csFetched)) {
        // The background fetch links new items under the command lock.
        TCmdLock lock(cmd, true);
        if (!currentItem_ || !currentItem_->Next) return true;
    }
    return TQxRecordSet::GetEOF();
}

void TOCIRecordSet::SetToEnd() {
    TOCICommand* cmd = Cmd();
    if (cmd->NonBlocking()) {
        // The last record is known only when every row is in the store, and the store is read only when no
        // background run writes it: an open that has not started runs here, a running one is waited for,
        // and the rows still missing are fetched on this thread.
        cmd->RunPendingHere();
        cmd->WaitBackground();
        if (cmd->GetCursorState() != csFetched && cmd->GetCursorState() >= csExecuted) FetchAllLoop();
    } else if (cmd->GetCursorState() != csFetched && cmd->GetCursorState() >= csExecuted) {
        FetchAll();
    }
    TQxRecordSet::SetToEnd();
}

// ---- Fetch ----

void TOCIRecordSet::AllocAux() {
    auxRowSize_ = 0;
    for (int i = 0; i < FieldCount(); ++i)
        if (!fields_[i]->ParentField && IsAux(fields_[i])) auxRowSize_ += AuxSize(fields_[i]);
    if (auxRowSize_ > 0 && aux_.size() != size_t(auxRowSize_) * size_t(fetchRows_))
        aux_.assign(size_t(auxRowSize_) * size_t(fetchRows_), 0);
}

void TOCIRecordSet::FreeAux() {
    aux_.clear();
    aux_.shrink_to_fit();
    auxRowSize_ = 0;
}

sb4 TOCIRecordSet::LongCallback(void* ctx, OCIDefine*, ub4 iter, void** bufpp, ub4** alenpp, ub1* piecep,
                                void** indpp, ub2** rcodep) {
    auto* d = static_cast<TLongDefine*>(ctx);
    TOCIRecordSet* rs = d->Owner;
    *rcodep = nullptr;
    if (!d->Block || iter >= d->Block->ItemCount || iter >= d->PieceLens.size()) {
        *bufpp = nullptr;
        *alenpp = nullptr;
        return -24200;
    }
    uint8_t* rec = TMemData::ItemData(rs->BlockManager().BlockItem(d->Block, int(iter)));
    TBlob* b = Load<TBlob*>(rec + d->Field->Offset);
    ub4& len = d->PieceLens[iter];
    // The piece handed out before for this row receives the length the server filled in.
    if (PPieceHeader last = b->FirstPiece()) {
        while (last->Next)
            last = last->Next;
        if (last->Used == last->Size && len < last->Size) last->Used = len;
    }
    PPieceHeader piece = b->AllocPiece(b->PieceSize);
    piece->Used = piece->Size;
    b->AppendPiece(piece);
    len = piece->Size;
    *bufpp = TBlob::PieceData(piece);
    *alenpp = &len;
    *indpp = rec + rs->dataSize_ + 2 * (d->Field->FieldNo - 1);
    *piecep = OCI_NEXT_PIECE;
    return -24200;
}

bool TOCIRecordSet::FetchBlock() {
    TBlockManager& bm = BlockManager();
    if (uniDirectional_) DropFetchedRows();
    int rows = fetchRows_;
    PBlockHeader block = bm.AllocBlock(rows);
    const uint64_t serial = block->Serial;
    for (int i = 0; i < rows; ++i) {
        uint8_t* rec = ItemData(bm.BlockItem(block, i));
        std::memset(rec, 0, size_t(recordSize_));
        for (int f = 0; f < FieldCount(); ++f)
            Store<int16_t>(rec + dataSize_ + 2 * f, -1);
        if (hasComplexFields_) CreateComplexFields(rec, true);
    }
    auto releaseItems = [&](int from) {
        for (int i = from; i < rows; ++i)
            if (hasComplexFields_) FreeComplexFields(ItemData(bm.BlockItem(block, i)), true);
    };
    if (hasComplexFields_) AllocAux();
    longDefines_.clear();
    int fetched = 0;
    try {
        PrimeAuxSlots(block, rows);
        fetched = DefineAndFetch(block, rows);
        FinishLongPieces(block, fetched);
        FinishExactNumbers(block, fetched);
        longDefines_.clear();
    } catch (...) {
        longDefines_.clear();
        // A fatal error may have closed the store (and freed its blocks) from the error callback.
        if (active_ && bm.IsItemInUse(bm.BlockItem(block, 0), serial)) {
            releaseItems(0);
            bm.FreeUnusedItems(block, 0);
        }
        throw;
    }
    if (fetched <= 0) {
        releaseItems(0);
        bm.FreeUnusedItems(block, 0);
        FreeAux();
        endReached_ = true;
        return false;
    }
    MoveAuxValues(block, fetched);
    LinkFetchedRows(block, fetched);
    releaseItems(fetched);
    if (fetched < rows) {
        bm.FreeUnusedItems(block, fetched);
        endReached_ = true;
    }
    return true;
}

// A uni-directional record set keeps only the block being read: the rows read before are dropped.
void TOCIRecordSet::DropFetchedRows() {
    int dropped = 0;
    while (firstItem_) {
        if (!IsHidden(firstItem_)) ++dropped;
        FreeComplexFields(ItemData(firstItem_), true);
        DeleteItem(firstItem_);
    }
    recNoOffset_ += dropped;
    recordCount_ = 0;
    currentItem_ = nullptr;
}

// The auxiliary slots of the block's rows: LOB columns get their holders' locators, the others zeros.
void TOCIRecordSet::PrimeAuxSlots(PBlockHeader block, int rows) {
    TBlockManager& bm = BlockManager();
    int auxOfs = 0;
    for (int fi = 0; fi < FieldCount(); ++fi) {
        TFieldDesc* f = fields_[fi];
        if (f->ParentField || !IsAux(f)) continue;
        for (int i = 0; i < rows; ++i) {
            uint8_t* slot = aux_.data() + size_t(i) * size_t(auxRowSize_) + size_t(auxOfs);
            uint8_t* holder = ItemData(bm.BlockItem(block, i)) + f->Offset;
            if (f->DataType == dtOraBlob || f->DataType == dtOraClob || f->DataType == dtBFile ||
                f->DataType == dtCFile) {
                auto* l = static_cast<TOraLob*>(Load<TBlob*>(holder));
                l->AllocLob();
                Store<OCILobLocator*>(slot, l->Locator());
            } else if (f->DataType == dtTimeStamp || f->DataType == dtTimeStampTZ ||
                       f->DataType == dtTimeStampLTZ) {
                auto* t = static_cast<TOraTimeStamp*>(Load<TSharedObject*>(holder));
                t->AllocDesc();
                Store<OCIDateTime*>(slot, t->Handle());
            } else if (f->DataType == dtIntervalYM || f->DataType == dtIntervalDS) {
                auto* t = static_cast<TOraInterval*>(Load<TSharedObject*>(holder));
                t->AllocDesc();
                Store<OCIInterval*>(slot, t->Handle());
            } else if (f->DataType == dtCursor) {
                auto* c = static_cast<TOraCursor*>(Load<TSharedObject*>(holder));
                c->AllocCursor();
                Store<OCIStmt*>(slot, c->Handle());
            } else {
                // Objects and REFs: the library allocates the instance into the empty slot.
                std::memset(slot, 0, size_t(AuxSize(f)));
            }
        }
        auxOfs += AuxSize(f);
    }
}

// Defines every column's receiving buffers on the block's rows (values in the records, long values through
// the piece callback, the others in the auxiliary slots) and fetches one block; the rows fetched.
int TOCIRecordSet::DefineAndFetch(PBlockHeader block, int rows) {
    TOCICommand* cmd = Cmd();
    TBlockManager& bm = BlockManager();
    const size_t stride = bm.ItemSize();
    int auxOfs = 0;
    int fetched = 0;
    OCIStmt* stmt = cmd->CurrentCursor()->Handle();
    OCIError* err = conn_->ErrorHandle();
    {
        TConnLock lock(conn_);
        uint8_t* rec0 = ItemData(bm.BlockItem(block, 0));
        for (int fi = 0; fi < FieldCount(); ++fi) {
            TFieldDesc* f = fields_[fi];
            if (f->ParentField) continue;
            OCIDefine* def = nullptr;
            ub4 col = f->FieldNo;
            uint8_t* ind = rec0 + dataSize_ + 2 * fi;
            if (IsLong(f)) {
                ub2 ext = f->DataType == dtBlob ? SQLT_LBI : SQLT_LNG;
                conn_->Check(OCIDefineByPos(stmt, &def, err, col, nullptr, INT_MAX, ext, ind, nullptr,
                                            nullptr, OCI_DYNAMIC_FETCH));
                auto ld = std::make_unique<TLongDefine>();
                ld->Define = def;
                ld->Field = f;
                ld->Owner = this;
                ld->Block = block;
                ld->PieceLens.assign(size_t(rows), 0);
                conn_->Check(OCIDefineDynamic(def, err, ld.get(), &TOCIRecordSet::LongCallback));
                longDefines_.push_back(std::move(ld));
                conn_->Check(OCIDefineArrayOfStruct(def, err, 0, ub4(stride), 0, 0));
                continue;
            }
            if (IsAux(f)) {
                uint8_t* slot = aux_.data() + auxOfs;
                ub2 ext = ToExternalType(f->DataType, IsMemoAsText(f));
                if (f->DataType == dtExtVarBytes)
                    conn_->Check(OCIDefineByPos(stmt, &def, err, col, slot + 2, f->Length, ext, ind,
                                                reinterpret_cast<ub2*>(slot), nullptr, 0));
                else if (IsObjectLike(f)) {
                    // Objects, collections and REFs: the instance pointers through OCIDefineObject, their
                    // nulls in the instances' null structures.
                    conn_->Check(
                        OCIDefineByPos(stmt, &def, err, col, nullptr, 0, ext, nullptr, nullptr, nullptr, 0));
                    auto* t = static_cast<TOraType*>(f->ObjectType());
                    conn_->Check(OCIDefineObject(def, err, t ? t->TDO() : nullptr,
                                                 reinterpret_cast<dvoid**>(slot), nullptr, nullptr, nullptr));
                } else if (IsHolder(f))
                    conn_->Check(
                        OCIDefineByPos(stmt, &def, err, col, slot, PtrSize, ext, ind, nullptr, nullptr, 0));
                else
                    conn_->Check(OCIDefineByPos(stmt, &def, err, col, slot, f->Length + 1, ext, ind, nullptr,
                                                nullptr, 0));
                conn_->Check(OCIDefineArrayOfStruct(def, err, ub4(auxRowSize_), ub4(stride),
                                                    f->DataType == dtExtVarBytes ? ub4(auxRowSize_) : 0, 0));
                auxOfs += AuxSize(f);
                continue;
            }
            uint8_t* value = rec0 + f->Offset;
            if (f->DataType == dtVarBytes) {
                conn_->Check(OCIDefineByPos(stmt, &def, err, col, value + 2, f->Length, SQLT_BIN, ind,
                                            reinterpret_cast<ub2*>(value), nullptr, 0));
                conn_->Check(OCIDefineArrayOfStruct(def, err, ub4(stride), ub4(stride), ub4(stride), 0));
                continue;
            }
            if (f->DataType == dtFloat && f->Size == ExactNumberFieldSize) {
                // The NUMBER bytes behind the double, their length before them; the double follows after
                // the fetch (FinishExactNumbers).
                conn_->Check(OCIDefineByPos(stmt, &def, err, col, value + 10, 22, SQLT_NUM, ind,
                                            reinterpret_cast<ub2*>(value + 8), nullptr, 0));
                conn_->Check(OCIDefineArrayOfStruct(def, err, ub4(stride), ub4(stride), ub4(stride), 0));
                continue;
            }
            ub2 ext = ToExternalType(f->DataType, false);
            conn_->Check(OCIDefineByPos(stmt, &def, err, col, value, f->Size, ext, ind, nullptr, nullptr, 0));
            if (f->DataType == dtString && conn_->CharsetId() != 0) {
                ub2 id = ub2(conn_->CharsetId());
                conn_->Check(OCIAttrSet(def, OCI_HTYPE_DEFINE, &id, 0, OCI_ATTR_CHARSET_ID, err));
            }
            conn_->Check(OCIDefineArrayOfStruct(def, err, ub4(stride), ub4(stride), 0, 0));
        }
        fetched = cmd->Fetch(rows);
    }
    return fetched;
}

// The last piece of each row's long value keeps the length the server reported for that row; empty
// pieces go.
void TOCIRecordSet::FinishLongPieces(PBlockHeader block, int fetched) {
    TBlockManager& bm = BlockManager();
    for (auto& ld : longDefines_) {
        // The last piece of each row keeps the length the server reported for that row.
        for (int i = 0; i < fetched; ++i) {
            TBlob* b = Load<TBlob*>(ItemData(bm.BlockItem(block, i)) + ld->Field->Offset);
            PPieceHeader p = b->FirstPiece();
            while (p && p->Next)
                p = p->Next;
            ub4 len = size_t(i) < ld->PieceLens.size() ? ld->PieceLens[size_t(i)] : 0;
            if (p && p->Used == p->Size && len < p->Size) p->Used = len;
            for (PPieceHeader q = b->FirstPiece(); q;) {
                PPieceHeader next = q->Next;
                if (q->Used == 0) b->DeletePiece(q);
                q = next;
            }
        }
    }
}

// Moves the values of the auxiliary slots into the records: texts and bytes to the heap, memos to their
// blobs, LOB holders marked unread (and read when LOBs are cached).
void TOCIRecordSet::MoveAuxValues(PBlockHeader block, int fetched) {
    TOCICommand* cmd = Cmd();
    TBlockManager& bm = BlockManager();
    int auxOfs = 0;
    for (int fi = 0; fi < FieldCount(); ++fi) {
        TFieldDesc* f = fields_[fi];
        if (f->ParentField || !IsAux(f)) continue;
        for (int i = 0; i < fetched; ++i) {
            uint8_t* rec = ItemData(bm.BlockItem(block, i));
            uint8_t* slot = aux_.data() + size_t(i) * size_t(auxRowSize_) + size_t(auxOfs);
            bool isNull = Load<int16_t>(rec + dataSize_ + 2 * fi) < 0;
            if (f->DataType == dtExtString) {
                if (!isNull) {
                    std::string s(reinterpret_cast<char*>(slot),
                                  strnlen(reinterpret_cast<char*>(slot), f->Length));
                    Store<char*>(rec + f->Offset, heap_->AllocStr(s, f->Fixed && TrimFixedChar));
                }
            } else if (f->DataType == dtExtVarBytes) {
                if (!isNull) {
                    uint16_t n = std::min<uint16_t>(Load<uint16_t>(slot), f->Length);
                    char* buf = heap_->NewBuf(n + 2);
                    std::memcpy(buf, &n, 2);
                    std::memcpy(buf + 2, slot + 2, n);
                    Store<char*>(rec + f->Offset, buf);
                }
            } else if (IsMemoAsText(f)) {
                TBlob* b = Load<TBlob*>(rec + f->Offset);
                if (!isNull)
                    b->SetAsString(std::string(reinterpret_cast<char*>(slot),
                                               strnlen(reinterpret_cast<char*>(slot), f->Length)));
            } else if (f->DataType == dtOraBlob || f->DataType == dtOraClob) {
                auto* l = static_cast<TOraLob*>(Load<TBlob*>(rec + f->Offset));
                if (!isNull) {
                    l->NotRead = true;
                    if (!deferredLobRead_ && cmd->CacheLobs()) l->ReadLob();
                }
            } else if (f->DataType == dtTimeStamp || f->DataType == dtTimeStampTZ ||
                       f->DataType == dtTimeStampLTZ) {
                static_cast<TOraTimeStamp*>(Load<TSharedObject*>(rec + f->Offset))->Indicator =
                    isNull ? -1 : 0;
            } else if (f->DataType == dtIntervalYM || f->DataType == dtIntervalDS) {
                static_cast<TOraInterval*>(Load<TSharedObject*>(rec + f->Offset))->Indicator =
                    isNull ? -1 : 0;
            } else if (f->DataType == dtCursor) {
                static_cast<TOraCursor*>(Load<TSharedObject*>(rec + f->Offset))->SetState(csExecuted);
            } else if (IsObjectLike(f)) {
                void* value = Load<void*>(slot);
                Store<void*>(slot, nullptr);
                bool objNull = true;
                if (f->DataType == dtReference) {
                    auto* ref = static_cast<TOraRef*>(Load<TSharedObject*>(rec + f->Offset));
                    if (value) {
                        auto* r = static_cast<OCIRef*>(value);
                        objNull = OCIRefIsNull(hOCIEnv, r) != 0;
                        if (!objNull) ref->Assign(r);
                        OraCheckGlobal(OCIObjectFree(hOCIEnv, hOCIError, r, 0));
                    }
                } else {
                    auto* o = static_cast<TOraObject*>(Load<TSharedObject*>(rec + f->Offset));
                    o->AdoptInstance(value);
                    objNull = o->IsNull();
                }
                Store<int16_t>(rec + dataSize_ + 2 * fi, int16_t(objNull ? -1 : 0));
            }
        }
        auxOfs += AuxSize(f);
    }
}

// Links the fetched rows at the end of the store, numbered after the last visible row.
void TOCIRecordSet::LinkFetchedRows(PBlockHeader block, int fetched) {
    TBlockManager& bm = BlockManager();
    int order = 1;
    for (PItemHeader it = lastItem_; it; it = it->Prev)
        if (!IsHidden(it)) {
            order = it->Order + 1;
            break;
        }
    for (int i = 0; i < fetched; ++i) {
        PItemHeader item = bm.BlockItem(block, i);
        item->Flag = flUsed;
        item->Rollback = nullptr;
        item->Status = usUnmodified;
        item->UpdateResult = urNone;
        LinkItemAtEnd(item);
        if (!IsHidden(item)) {
            item->Order = order++;
            ++recordCount_;
        }
    }
}

bool TOCIRecordSet::Fetch(bool fetchBack) {
    if (fetchBack) return false;
    TOCICommand* cmd = Cmd();
    if (cmd->GetCursorState() < csExecuted || cmd->GetCursorState() == csFetched) return false;
    bool onOwner = std::this_thread::get_id() == (conn_ ? conn_->OwnerThread() : std::this_thread::get_id());
    // While a background run fills the store, the owning thread leaves it alone; the completion
    // resynchronises.
    if (onOwner && cmd->BackgroundRunning()) return false;
    if (onOwner && DoFetchBracket(true)) {
        if (cmd->GetCursorState() == csFetchingAll) cmd->SetCursorState(csFetching);
        DoFetchBracket(false);
        return false;
    }
    bool result = false;
    const int countBefore = recordCount_;
    try {
        TCmdLock lock(cmd, cmd->NonBlocking());
        result = FetchBlock();
        if (cmd->NonBlocking()) event_.Pulse();
    } catch (...) {
        if (onOwner) DoFetchBracket(false);
        throw;
    }
    if (onOwner) DoFetchBracket(false);
    if (endReached_ && autoClose_ && onOwner) {
        // the statement is not needed any more
        cmd->SetCursorState(csFetched);
    }
    if (result && onOwner) RowsAppended(countBefore);
    return result;
}

bool TOCIRecordSet::AllRowsFetched() {
    if (!active_ || endReached_) return true;
    TOCICommand* cmd = Cmd();
    return cmd->GetCursorState() < csExecuted || cmd->GetCursorState() == csFetched;
}

void TOCIRecordSet::FetchAllLoop() {
    TOCICommand* cmd = Cmd();
    if (cmd->GetCursorState() < csFetchingAll && cmd->GetCursorState() > csPrepared)
        cmd->SetCursorState(csFetchingAll);
    while (cmd->GetCursorState() != csFetched && Fetch(false)) {
    }
}

void TOCIRecordSet::FetchAll() {
    TOCICommand* cmd = Cmd();
    if (cmd->GetCursorState() <= csPrepared || cmd->GetCursorState() >= csFetchingAll) return;
    if (!cmd->NonBlocking()) {
        FetchAllLoop();
        return;
    }
    if (!conn_->ThreadSafety()) throw Exception(SNeedThreadSafety);
    event_.Reset();
    cmd->SetCursorState(csFetchingAll);
    cmd->RunInBackground(
        [this] {
            Cmd()->Event().Pulse();
            try {
                FetchAllLoop();
            } catch (...) {
                Cmd()->SetCursorState(csInactive);
                event_.Set();
                throw;
            }
            event_.Set();
        },
        [this](bool) { DoAfterFetch(); });
}

// ---- Properties ----

void TOCIRecordSet::SetProp(int code, const Variant& value) {
    switch (code) {
    case prFetchRows:
        if (value.AsInteger() != fetchRows_) FreeAux();
        TQxRecordSet::SetProp(code, value);
        break;
    case prAutoClose:
        autoClose_ = value.AsBoolean();
        break;
    case prDeferredLobRead:
        deferredLobRead_ = value.AsBoolean();
        break;
    default:
        TQxRecordSet::SetProp(code, value);
    }
}

void TOCIRecordSet::GetProp(int code, Variant& value) {
    TQxRecordSet::GetProp(code, value);
}
