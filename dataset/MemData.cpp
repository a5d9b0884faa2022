// TData: descriptors, object types, record layout, value conversions, blobs by field and the lifecycle.
#include "dataset/MemData.h"
#include "dataset/ByteIO.h"
#include "dataset/DecimalText.h"
#include "dataset/StrUtil.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::string Upper(const std::string& s) {
    return AnsiUpperCase(s);
}

// Rounds to the given decimals by writing fixed-point text with 18 significant digits and reading it back.
double RoundToScale(double v, int scale) {
    if (scale <= 0 || !std::isfinite(v)) return v;
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", scale, v);
    double r = std::strtod(buf, nullptr);
    std::snprintf(buf, sizeof buf, "%.18g", r);
    return std::strtod(buf, nullptr);
}

// Copies text with every line feed that does not follow a carriage return written as CR LF.
size_t ExpandEOL(const char* src, char* dest) {
    size_t n = 0;
    char prev = 0;
    for (const char* p = src; *p; ++p) {
        if (*p == '\n' && prev != '\r') dest[n++] = '\r';
        dest[n++] = *p;
        prev = *p;
    }
    dest[n] = 0;
    return n;
}

size_t WideLen(const uint8_t* p, size_t maxChars) {
    size_t n = 0;
    while (n < maxChars) {
        char16_t c;
        std::memcpy(&c, p + n * 2, 2);
        if (!c) break;
        ++n;
    }
    return n;
}

} // namespace

// ---- TAttribute, TObjectType, TDBObject ----

TAttribute::~TAttribute() {
    if (objectType_ && holdsRef_) objectType_->Release();
}

void TAttribute::SetObjectType(TObjectType* type) {
    if (type == objectType_) return;
    if (objectType_ && holdsRef_) objectType_->Release();
    objectType_ = type;
    holdsRef_ = type && !(Owner && AnsiSameText(type->Name, Owner->Name));
    if (holdsRef_) type->AddRef();
}

TObjectType::~TObjectType() = default;

TAttribute* TObjectType::AddAttribute(const std::string& name, uint16_t dataType, uint16_t length,
                                      uint16_t size) {
    auto a = std::make_unique<TAttribute>();
    a->Name = name;
    a->DataType = dataType;
    a->Length = length;
    a->Size = size;
    a->Owner = this;
    attributes_.push_back(std::move(a));
    return attributes_.back().get();
}

TAttribute* TObjectType::FindAttribute(const std::string& pathIn) const {
    std::string path = Upper(pathIn);
    const TObjectType* type = this;
    size_t i = 0;
    while (type) {
        while (i < path.size() && path[i] == ' ')
            ++i;
        std::string step;
        if (i < path.size() && path[i] == '[') {
            size_t close = path.find(']', i);
            if (close == std::string::npos) return nullptr;
            step = "ELEMENT";
            i = close + 1;
            if (i < path.size() && path[i] == '.') ++i;
        } else {
            size_t e = path.find_first_of(".[", i);
            if (e == std::string::npos) e = path.size();
            step = path.substr(i, e - i);
            i = e;
            if (i < path.size() && path[i] == '.') ++i;
        }
        TAttribute* found = nullptr;
        for (const auto& a : type->attributes_)
            if (Upper(a->Name) == step) {
                found = a.get();
                break;
            }
        if (!found) return nullptr;
        if (i >= path.size()) return found;
        if (found->DataType < dtObject || found->DataType > dtTable) return nullptr;
        type = found->ObjectType();
    }
    return nullptr;
}

TAttribute* TObjectType::AttributeByName(const std::string& path) const {
    TAttribute* a = FindAttribute(path);
    if (!a) throw EDatabaseError(FormatMsg(SAttributeNotFound, {path}));
    return a;
}

TDBObject::TDBObject(TObjectType* type) {
    SetObjectType(type);
}

TDBObject::~TDBObject() {
    if (objectType_) objectType_->Release();
}

void TDBObject::SetObjectType(TObjectType* type) {
    if (type == objectType_) return;
    if (type) type->AddRef();
    if (objectType_) objectType_->Release();
    objectType_ = type;
}

void TDBObject::GetAttributeValue(const std::string&, void*, bool& isNull) {
    isNull = true;
}
void TDBObject::SetAttributeValue(const std::string&, const void*) {}

// ---- TFieldDesc(s) ----

TFieldDesc::~TFieldDesc() {
    if (objectType_) objectType_->Release();
}

void TFieldDesc::SetObjectType(TObjectType* type) {
    if (type == objectType_) return;
    if (type) type->AddRef();
    if (objectType_) objectType_->Release();
    objectType_ = type;
}

TFieldDesc* TFieldDescs::Add(std::unique_ptr<TFieldDesc> desc) {
    if (desc->FieldNo == 0) desc->FieldNo = uint16_t(items_.size() + 1);
    if (desc->ActualName.empty()) desc->ActualName = desc->Name;
    items_.push_back(std::move(desc));
    return items_.back().get();
}

TFieldDesc* TFieldDescs::FindField(const std::string& name) const {
    bool byPath = name.find_first_of(".[") != std::string::npos;
    for (const auto& d : items_)
        if (AnsiSameText(byPath ? d->ActualName : d->Name, name)) return d.get();
    return nullptr;
}

TFieldDesc* TFieldDescs::FieldByName(const std::string& name) const {
    TFieldDesc* d = FindField(name);
    if (!d) throw EDatabaseError(FormatMsg(SFieldNotFoundStore, {name}));
    return d;
}

// ---- TData ----

TData::TData() : heap_(std::make_unique<TStringHeap>()) {}

TData::~TData() {
    // Derived stores close themselves; the base releases what is left.
    FreeFilter();
    fields_.Clear();
}

void TData::InitData() {
    bof_ = eof_ = true;
    recordCount_ = 0;
    recNoOffset_ = 0;
}

void TData::FreeData() {
    InitData();
}

int TData::GetIndicatorSize() {
    return fields_.Count();
}

bool TData::GetEOF() {
    return eof_;
}
bool TData::GetBOF() {
    return bof_;
}

bool TData::InternalAppend(uint8_t* recBuf) {
    if (OnAppend) OnAppend(recBuf);
    return true;
}

void TData::InternalDelete() {
    if (OnDelete) OnDelete();
}

void TData::InternalUpdate(uint8_t* recBuf) {
    if (OnUpdate) OnUpdate(recBuf);
}

void TData::ApplyRecord(TUpdateKind kind, TUpdateAction& action) {
    if (OnApplyRecord) OnApplyRecord(kind, action);
}

void TData::Open() {
    if (active_) return;
    try {
        InitData();
        InternalOpen();
        ParseFilter();
    } catch (...) {
        FreeData();
        FreeFilter();
        throw;
    }
    active_ = true;
}

void TData::Close() {
    if (!active_ && !heap_->HasLargeBuffers() && recordCount_ == 0) {
        // Nothing was open; still release anything a failed open left.
    }
    try {
        if (active_) InternalClose();
    } catch (...) {
        active_ = false;
        FreeData();
        if (AutoInitFields && !prepared_) fields_.Clear();
        FreeFilter();
        throw;
    }
    active_ = false;
    FreeData();
    if (AutoInitFields && !prepared_) fields_.Clear();
    FreeFilter();
}

void TData::Prepare() {
    InternalPrepare();
    prepared_ = true;
}

void TData::UnPrepare() {
    if (!prepared_) return;
    prepared_ = false;
    if (AutoInitFields) fields_.Clear();
    InternalUnPrepare();
}

void TData::Reopen() {
    Close();
    Open();
}

void TData::InitFields() {
    if (AutoInitFields) {
        fields_.Clear();
        InternalInitFields();
        UniqueFieldNames();
    }
    GetComplexTypes(complexTypes_);
    GetBlobTypes(blobTypes_);
    typeSetsKnown_ = true;
    int size = 0;
    for (int i = 0; i < fields_.Count(); ++i) {
        TFieldDesc* f = fields_[i];
        f->Offset = size;
        size += f->Size;
    }
    dataSize_ = size;
    recordSize_ = dataSize_ + GetIndicatorSize();
    hasComplexFields_ = false;
    bool childFields = false;
    for (int i = 0; i < fields_.Count(); ++i) {
        if (complexTypes_.Contains(fields_[i]->DataType)) hasComplexFields_ = true;
        if (fields_[i]->ParentField) childFields = true;
    }
    plainNullCount_ = hasComplexFields_ || childFields ? -1 : fields_.Count();
}

void TData::InitNullFlags(uint8_t* recBuf) {
    if (byteNullFlags_ && plainNullCount_ >= 0 && plainNullCount_ == fields_.Count()) {
        // Only top-level fields of plain types: their null flags follow the data area.
        std::memset(recBuf + dataSize_, 1, size_t(plainNullCount_));
        return;
    }
    for (int i = 1; i <= fields_.Count(); ++i)
        if (!fields_[i - 1]->ParentField) SetNull(i, recBuf, true);
}

void TData::UniqueFieldNames() {
    std::vector<TFieldDesc*> list;
    for (int i = 0; i < fields_.Count(); ++i)
        if (!fields_[i]->ParentField) list.push_back(fields_[i]);
    auto cmp = [](TFieldDesc* a, TFieldDesc* b) {
        std::string ua = Upper(a->Name), ub = Upper(b->Name);
        if (ua != ub) return ua < ub;
        return a->FieldNo < b->FieldNo;
    };
    std::sort(list.begin(), list.end(), cmp);
    size_t i = 0;
    while (i < list.size()) {
        size_t j = i + 1;
        while (j < list.size() && AnsiSameText(list[j]->Name, list[i]->Name))
            ++j;
        // list[i..j) share a name in FieldNo order: the first keeps it, the others get _1, _2, ...
        for (size_t k = i + 1; k < j; ++k) {
            std::string base = list[k]->Name;
            std::string candidate = base + "_" + std::to_string(k - i);
            list[k]->Name = candidate;
            if (list[k]->ActualName == base) list[k]->ActualName = candidate;
        }
        i = j;
    }
}

void TData::InitChildFields(TFieldDesc* parent) {
    TObjectType* type = parent->ObjectType();
    if (!type) return;
    int copies = type->DataType == dtArray ? std::min(type->Size, 100) : 1;
    for (int a = 0; a < type->AttributeCount(); ++a) {
        TAttribute* attr = type->Attribute(a);
        for (int c = 0; c < copies; ++c) {
            auto d = std::make_unique<TFieldDesc>();
            if (type->DataType == dtArray) {
                d->Name.assign(1, '[');
                d->Name.append(std::to_string(c));
                d->Name.push_back(']');
                d->ActualName = parent->ActualName + d->Name;
            } else {
                d->Name = attr->Name;
                d->ActualName = parent->ActualName + "." + attr->Name;
            }
            d->DataType = attr->DataType;
            d->Length = attr->Length;
            d->Size = attr->Size;
            d->Fixed = attr->Fixed;
            d->SetObjectType(attr->ObjectType());
            d->ParentField = parent;
            d->FieldNo = uint16_t(fields_.Count() + 1);
            TFieldDesc* child = fields_.Add(std::move(d));
            if (child->DataType == dtObject || child->DataType == dtArray) {
                // A type that contains itself is not expanded again: the child stays a leaf.
                bool cycle = false;
                for (TFieldDesc* p = parent; p && !cycle; p = p->ParentField)
                    cycle = p->ObjectType() == child->ObjectType();
                if (!cycle) InitChildFields(child);
            }
        }
    }
}

void TData::GetBlobTypes(TDataTypeSet& set) {
    set = TDataTypeSet{dtBlob, dtMemo};
}

void TData::GetComplexTypes(TDataTypeSet& set) {
    GetBlobTypes(set);
    set |= TDataTypeSet{dtVariant, dtExtString, dtExtVarBytes, dtExtWideString};
}

void TData::LoadTypeSets() {
    GetComplexTypes(complexTypes_);
    GetBlobTypes(blobTypes_);
    typeSetsKnown_ = true;
}

uint8_t* TData::AllocRecBuf() {
    return static_cast<uint8_t*>(std::calloc(size_t(std::max(recordSize_, 1)), 1));
}
void TData::FreeRecBuf(uint8_t* buf) {
    std::free(buf);
}

// ---- Nulls ----

bool TData::GetNull(int fieldNo, const uint8_t* recBuf) {
    TFieldDesc* f = CheckFieldNo(fieldNo);
    if (f->ParentField) {
        TFieldDesc* root;
        std::string path = ChildFieldPath(f, root);
        TDBObject* obj = Load<TDBObject*>(recBuf + root->Offset);
        if (!obj) return true;
        bool isNull = true;
        obj->GetAttributeValue(path, nullptr, isNull);
        return isNull;
    }
    return recBuf[dataSize_ + fieldNo - 1] == 1;
}

void TData::SetNull(int fieldNo, uint8_t* recBuf, bool isNull) {
    TFieldDesc* f = CheckFieldNo(fieldNo);
    if (f->ParentField) {
        if (isNull) {
            TFieldDesc* root;
            std::string path = ChildFieldPath(f, root);
            if (TDBObject* obj = Load<TDBObject*>(recBuf + root->Offset))
                obj->SetAttributeValue(path, nullptr);
        }
        return;
    }
    recBuf[dataSize_ + fieldNo - 1] = isNull ? 1 : 0;
    if (isNull && IsBlobFieldType(f->DataType))
        if (TBlob* b = Load<TBlob*>(recBuf + f->Offset)) b->Clear();
}

std::string TData::ChildFieldPath(TFieldDesc* desc, TFieldDesc*& root) const {
    std::string path;
    TFieldDesc* d = desc;
    while (d->ParentField) {
        if (!d->Name.empty() && d->Name[0] == '[')
            path = d->Name + path;
        else
            path = (path.empty() || path[0] == '[') ? d->Name + path : d->Name + "." + path;
        d = d->ParentField;
    }
    root = d;
    return path;
}

// ---- Field access ----

void TData::GetChildField(TFieldDesc* f, uint8_t* recBuf, void* dest, bool& isBlank) {
    TFieldDesc* root;
    std::string path = ChildFieldPath(f, root);
    TDBObject* obj = Load<TDBObject*>(recBuf + root->Offset);
    isBlank = true;
    if (obj) obj->GetAttributeValue(path, dest, isBlank);
}

void TData::PutChildField(TFieldDesc* f, uint8_t* recBuf, const void* source) {
    TFieldDesc* root;
    std::string path = ChildFieldPath(f, root);
    if (TDBObject* obj = Load<TDBObject*>(recBuf + root->Offset)) obj->SetAttributeValue(path, source);
}

void TData::GetField(int fieldNo, uint8_t* recBuf, void* dest, bool& isBlank) {
    TFieldDesc* f = CheckFieldNo(fieldNo);
    if (f->ParentField) {
        GetChildField(f, recBuf, dest, isBlank);
        return;
    }
    isBlank = byteNullFlags_ ? recBuf[dataSize_ + fieldNo - 1] == 1 : GetNull(fieldNo, recBuf);
    if (!dest) return;
    if (isBlank) {
        if (IsComplexFieldType(f->DataType) && f->DataType != dtExtString && f->DataType != dtExtVarBytes &&
            f->DataType != dtExtWideString && f->DataType != dtVariant)
            std::memcpy(dest, recBuf + f->Offset, sizeof(void*));
        return;
    }
    GetFieldData(f, recBuf, dest);
    if (f->Fixed && TrimFixedChar) {
        if (f->DataType == dtString) {
            char* s = static_cast<char*>(dest);
            size_t n = std::strlen(s);
            while (n > 1 && (s[n - 1] == ' ' || s[n - 1] == 0))
                s[--n] = 0;
        } else if (f->DataType == dtWideString) {
            uint8_t* s = static_cast<uint8_t*>(dest);
            size_t n = WideLen(s, f->Length);
            const char16_t zero = 0;
            while (n > 1) {
                char16_t c;
                std::memcpy(&c, s + (n - 1) * 2, 2);
                if (c != u' ' && c != 0) break;
                std::memcpy(s + (n - 1) * 2, &zero, 2);
                --n;
            }
        }
    }
}

void TData::PutField(int fieldNo, uint8_t* recBuf, const void* source) {
    TFieldDesc* f = CheckFieldNo(fieldNo);
    if (f->ParentField) {
        PutChildField(f, recBuf, source);
        return;
    }
    if (!source) {
        SetNull(fieldNo, recBuf, true);
        return;
    }
    if (!KeepEmptyStrings) {
        if (f->DataType == dtString && *static_cast<const char*>(source) == 0) {
            SetNull(fieldNo, recBuf, true);
            return;
        }
        if (f->DataType == dtWideString) {
            char16_t c;
            std::memcpy(&c, source, 2);
            if (c == 0) {
                SetNull(fieldNo, recBuf, true);
                return;
            }
        }
    }
    PutFieldData(f, recBuf, source);
    if (byteNullFlags_)
        recBuf[dataSize_ + fieldNo - 1] = 0;
    else
        SetNull(fieldNo, recBuf, false);
}

// ---- Exchange form ----

namespace {

// Fixed-size values: the common sizes without a library call.
inline void CopyFixed(void* dest, const void* source, size_t size) {
    if (size == 4)
        std::memcpy(dest, source, 4);
    else if (size == 8)
        std::memcpy(dest, source, 8);
    else
        std::memcpy(dest, source, size);
}

} // namespace

void TData::GetFieldData(TFieldDesc* f, uint8_t* recBuf, void* dest) {
    uint8_t* p = recBuf + f->Offset;
    switch (f->DataType) {
    case dtFloat:
        std::memcpy(dest, p, 8); // the double only, not the exact form behind it
        break;
    case dtString:
        if (GetConvertEOL()) {
            std::string tmp(reinterpret_cast<const char*>(p),
                            strnlen(reinterpret_cast<const char*>(p), f->Size));
            ExpandEOL(tmp.c_str(), static_cast<char*>(dest));
        } else {
            std::memcpy(dest, p, f->Size);
            if (f->Size > 0) static_cast<char*>(dest)[f->Size - 1] = 0;
        }
        break;
    case dtDate:
        GetDateFromBuf(p, dest, dfDate);
        break;
    case dtTime:
        GetDateFromBuf(p, dest, dfTime);
        break;
    case dtDateTime:
        GetDateFromBuf(p, dest, dfMSecs);
        break;
    case dtVariant: {
        TVariantObject* v = Load<TVariantObject*>(p);
        *static_cast<Variant*>(dest) = v ? v->Value : Variant();
        break;
    }
    case dtExtString: {
        const char* s = Load<const char*>(p);
        char* d = static_cast<char*>(dest);
        if (!s) {
            d[0] = 0;
            break;
        }
        // The exchange buffer holds Length characters (twice that with line-break expansion).
        size_t cap = f->Length ? f->Length : std::strlen(s);
        std::string tmp(s, strnlen(s, cap));
        if (GetConvertEOL())
            ExpandEOL(tmp.c_str(), d);
        else
            std::memcpy(d, tmp.c_str(), tmp.size() + 1);
        break;
    }
    case dtExtVarBytes: {
        const uint8_t* s = Load<const uint8_t*>(p);
        uint16_t n = 0;
        if (s) std::memcpy(&n, s, 2);
        n = std::min<uint16_t>(n, f->Length ? f->Length : n);
        std::memcpy(dest, &n, 2);
        if (n) std::memcpy(static_cast<uint8_t*>(dest) + 2, s + 2, n);
        break;
    }
    case dtUInt32: {
        int64_t v = Load<uint32_t>(p);
        std::memcpy(dest, &v, 8);
        break;
    }
    case dtWideString:
        std::memcpy(dest, p, f->Size);
        break;
    case dtExtWideString: {
        const uint8_t* s = Load<const uint8_t*>(p);
        size_t n = s ? WideLen(s, f->Length ? f->Length : SIZE_MAX / 4) : 0;
        if (n) std::memcpy(dest, s, n * 2);
        std::memset(static_cast<uint8_t*>(dest) + n * 2, 0, 2);
        break;
    }
    default:
        CopyFixed(dest, p, f->Size);
    }
}

void TData::PutFieldData(TFieldDesc* f, uint8_t* recBuf, const void* source) {
    uint8_t* p = recBuf + f->Offset;
    switch (f->DataType) {
    case dtString: {
        // At most Length characters and the terminator, whatever the source holds.
        const char* s = static_cast<const char*>(source);
        size_t n = strnlen(s, f->Size > 0 ? f->Size - 1 : 0);
        std::memcpy(p, s, n);
        std::memset(p + n, 0, f->Size - n);
        break;
    }
    case dtFloat: {
        double v;
        std::memcpy(&v, source, 8);
        if (f->Scale > 0) v = RoundToScale(v, f->Scale);
        Store(p, v);
        ClearExactNumber(f, recBuf);
        break;
    }
    case dtDate:
        PutDateToBuf(p, source, dfDate);
        break;
    case dtTime:
        PutDateToBuf(p, source, dfTime);
        break;
    case dtDateTime:
        PutDateToBuf(p, source, dfMSecs);
        break;
    case dtVariant: {
        TVariantObject* v = Load<TVariantObject*>(p);
        if (!v) {
            v = new TVariantObject;
            Store(p, v);
        }
        v->Value = *static_cast<const Variant*>(source);
        break;
    }
    case dtExtString: {
        heap_->DisposeBuf(Load<char*>(p));
        Store(p, heap_->AllocStr(static_cast<const char*>(source)));
        break;
    }
    case dtExtVarBytes: {
        heap_->DisposeBuf(Load<char*>(p));
        char* buf = nullptr;
        if (source) {
            uint16_t n;
            std::memcpy(&n, source, 2);
            buf = heap_->NewBuf(n + 2);
            std::memcpy(buf, source, size_t(n) + 2);
        }
        Store(p, buf);
        break;
    }
    case dtWideString: {
        const uint8_t* s = static_cast<const uint8_t*>(source);
        size_t n = WideLen(s, f->Length);
        std::memcpy(p, s, n * 2);
        std::memset(p + n * 2, 0, f->Size - n * 2);
        break;
    }
    case dtExtWideString: {
        heap_->DisposeBuf(Load<char*>(p));
        const uint8_t* s = static_cast<const uint8_t*>(source);
        size_t n = WideLen(s, SIZE_MAX / 4);
        char* buf = heap_->NewBuf(int((n + 1) * 2));
        std::memcpy(buf, s, n * 2);
        std::memset(buf + n * 2, 0, 2);
        Store(p, buf);
        break;
    }
    default:
        CopyFixed(p, source, f->Size);
    }
}

// ---- Exact numbers ----

void TData::ClearExactNumber(const TFieldDesc* f, uint8_t* recBuf) {
    if (f->DataType == dtFloat && f->Size > 8) std::memset(recBuf + f->Offset + 8, 0, size_t(f->Size) - 8);
}

bool TData::GetExactNumber(int fieldNo, const uint8_t* recBuf, std::string& text) {
    if (fieldNo < 1 || fieldNo > FieldCount() || !recBuf) return false;
    TFieldDesc* f = fields_[fieldNo - 1];
    if (f->DataType != dtFloat || f->Size <= 8 || GetNull(fieldNo, recBuf)) return false;
    TDecimal d;
    return DecodeExactNumber(recBuf + f->Offset + 8, size_t(f->Size) - 8, text) && ParseDecimal(text, d) &&
           d.SignificantDigits() > 15;
}

bool TData::PutExactNumber(int fieldNo, uint8_t* recBuf, const std::string& text) {
    if (fieldNo < 1 || fieldNo > FieldCount() || !recBuf) return false;
    TFieldDesc* f = fields_[fieldNo - 1];
    TDecimal d;
    if (f->DataType != dtFloat || f->Size <= 8 || !ParseDecimal(text, d)) return false;
    uint8_t* p = recBuf + f->Offset;
    if (!EncodeExactNumber(DecimalToText(d), p + 8, size_t(f->Size) - 8)) return false;
    Store(p, DecimalToDouble(d));
    SetNull(fieldNo, recBuf, false);
    return true;
}

// ---- Dates ----

void TData::GetDateFromBuf(const uint8_t* buf, void* dest, TDateMode mode) {
    double dt = Load<double>(buf);
    switch (mode) {
    case dfMSecs: {
        double ms = DateTimeToMSecs(dt);
        std::memcpy(dest, &ms, 8);
        break;
    }
    case dfDateTime:
        std::memcpy(dest, &dt, 8);
        break;
    case dfTime: {
        int32_t t = DateTimeToTimeStamp(dt).Time;
        std::memcpy(dest, &t, 4);
        break;
    }
    case dfDate: {
        int32_t d = DateTimeToTimeStamp(dt).Date;
        std::memcpy(dest, &d, 4);
        break;
    }
    }
}

void TData::PutDateToBuf(uint8_t* buf, const void* source, TDateMode mode) {
    double dt = 0;
    switch (mode) {
    case dfMSecs: {
        double ms;
        std::memcpy(&ms, source, 8);
        // Out of range or NaN stays as it is for the conversion to refuse.
        if (ms > -9.0e17 && ms < 9.0e17) ms = double(RoundMSecs(ms));
        dt = TimeStampToDateTime(MSecsToTimeStamp(ms));
        break;
    }
    case dfDateTime:
        std::memcpy(&dt, source, 8);
        break;
    case dfTime: {
        TTimeStamp ts;
        std::memcpy(&ts.Time, source, 4);
        ts.Date = DateDelta;
        dt = TimeStampToDateTime(ts);
        break;
    }
    case dfDate: {
        TTimeStamp ts;
        std::memcpy(&ts.Date, source, 4);
        ts.Time = 0;
        dt = TimeStampToDateTime(ts);
        break;
    }
    }
    Store(buf, dt);
}

// ---- Variant access ----

void TData::GetFieldAsVariant(int fieldNo, uint8_t* recBuf, Variant& value) {
    TFieldDesc* f = CheckFieldNo(fieldNo);
    if (f->ParentField) {
        GetChildAsVariant(f, recBuf, value);
        return;
    }
    if (GetNull(fieldNo, recBuf)) {
        value = Variant::Null();
        return;
    }
    const uint8_t* p = recBuf + f->Offset;
    switch (f->DataType) {
    case dtString: {
        std::string s(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), f->Size));
        if (f->Fixed && TrimFixedChar)
            while (!s.empty() && s.back() == ' ')
                s.pop_back();
        value = Variant(std::move(s));
        break;
    }
    case dtInt8:
        value = Variant::FromShortInt(Load<int8_t>(p));
        break;
    case dtInt16:
        value = Variant(Load<int16_t>(p));
        break;
    case dtInt32:
        value = Variant(Load<int32_t>(p));
        break;
    case dtFloat:
    case dtCurrency:
        value = Variant(Load<double>(p));
        break;
    case dtDate:
    case dtTime:
    case dtDateTime: {
        double dt;
        GetDateFromBuf(p, &dt, dfDateTime);
        value = Variant::FromDateTime(dt);
        break;
    }
    case dtUInt16:
        value = Variant(Load<uint16_t>(p));
        break;
    case dtBoolean:
        value = Variant(Load<int16_t>(p) != 0);
        break;
    case dtInt64:
        value = Variant(Load<int64_t>(p));
        break;
    case dtBlob:
    case dtMemo: {
        TBlob* b = Load<TBlob*>(p);
        std::string s = b ? b->AsString() : std::string();
        if (f->DataType == dtMemo)
            value = Variant(std::move(s));
        else
            value = Variant::FromBytes(s.data(), s.size());
        break;
    }
    case dtVariant: {
        TVariantObject* v = Load<TVariantObject*>(p);
        value = v ? v->Value : Variant::Null();
        break;
    }
    case dtExtString: {
        const char* s = Load<const char*>(p);
        value = Variant(std::string(s ? s : ""));
        break;
    }
    case dtBytes:
        value = Variant::FromBytes(p, f->Length);
        break;
    case dtVarBytes: {
        uint16_t n = std::min<uint16_t>(Load<uint16_t>(p), f->Length);
        value = Variant::FromBytes(p + 2, n);
        break;
    }
    case dtExtVarBytes: {
        const uint8_t* s = Load<const uint8_t*>(p);
        uint16_t n = s ? Load<uint16_t>(s) : 0;
        value = Variant::FromBytes(s ? s + 2 : nullptr, n);
        break;
    }
    case dtUInt32:
        value = Variant(Load<uint32_t>(p));
        break;
    case dtWideString: {
        size_t n = WideLen(p, f->Length);
        std::u16string w(n, u'\0');
        std::memcpy(w.data(), p, n * 2);
        if (f->Fixed && TrimFixedChar)
            while (!w.empty() && w.back() == u' ')
                w.pop_back();
        value = Variant(std::move(w));
        break;
    }
    case dtExtWideString: {
        const uint8_t* s = Load<const uint8_t*>(p);
        size_t n = s ? WideLen(s, SIZE_MAX / 4) : 0;
        std::u16string w(n, u'\0');
        if (n) std::memcpy(w.data(), s, n * 2);
        value = Variant(std::move(w));
        break;
    }
    default:
        RaiseConvertError();
    }
}

void TData::PutFieldAsVariant(int fieldNo, uint8_t* recBuf, const Variant& value) {
    TFieldDesc* f = CheckFieldNo(fieldNo);
    if (value.IsNullOrEmpty()) {
        SetNull(fieldNo, recBuf, true);
        return;
    }
    if (f->ParentField) {
        PutChildAsVariant(f, recBuf, value);
        return;
    }
    uint8_t* p = recBuf + f->Offset;
    TVarType vt = value.VarType();
    auto isOneOf = [vt](std::initializer_list<TVarType> l) {
        return std::find(l.begin(), l.end(), vt) != l.end();
    };
    switch (f->DataType) {
    case dtString: {
        std::string s = value.AsString();
        size_t n = std::min<size_t>(strnlen(s.c_str(), s.size()), f->Length);
        std::memcpy(p, s.data(), n);
        std::memset(p + n, 0, f->Size - n);
        break;
    }
    case dtInt8: {
        int64_t v = value.AsInt64();
        if (v < -128 || v > 127) RaiseConvertError();
        Store(p, int8_t(v));
        break;
    }
    case dtInt16: {
        if (!isOneOf({varSmallint, varInteger, varByte, varWord, varShortInt})) RaiseConvertError();
        int64_t v = value.AsInt64();
        if (v < -32768 || v > 32767) RaiseConvertError();
        Store(p, int16_t(v));
        break;
    }
    case dtInt32: {
        if (vt == varString || vt == varOleStr) {
            int64_t v;
            if (!TryStrToInt64(value.AsString(), v) || v < INT32_MIN || v > INT32_MAX) RaiseConvertError();
            Store(p, int32_t(v));
        } else if (isOneOf({varSmallint, varInteger, varSingle, varDouble, varCurrency, varByte, varWord,
                            varShortInt}))
            Store(p, value.AsInteger());
        else
            RaiseConvertError();
        break;
    }
    case dtFloat:
    case dtCurrency: {
        double v;
        if (isOneOf({varSmallint, varInteger, varByte, varShortInt, varWord}))
            v = value.AsDouble();
        else if (isOneOf({varSingle, varDouble, varCurrency}))
            v = RoundToScale(value.AsDouble(), f->Scale);
        else if (vt == varString || vt == varOleStr) {
            // A text of more than 15 digits (written with a point) keeps them where the field has room.
            if (f->Size > 8 && IsWideDecimalText(value.AsString()) &&
                PutExactNumber(fieldNo, recBuf, value.AsString()))
                break;
            if (!TryStrToFloat(value.AsString(), v)) RaiseConvertError();
            v = RoundToScale(v, f->Scale);
        } else
            RaiseConvertError();
        Store(p, v);
        ClearExactNumber(f, recBuf);
        break;
    }
    case dtDate:
    case dtTime:
    case dtDateTime: {
        double dt = value.AsDateTime();
        PutDateToBuf(p, &dt, dfDateTime);
        break;
    }
    case dtUInt16: {
        if (!isOneOf({varSmallint, varInteger, varByte, varWord})) RaiseConvertError();
        int64_t v = value.AsInt64();
        if (v < 0 || v > 65535) RaiseConvertError();
        Store(p, uint16_t(v));
        break;
    }
    case dtBoolean:
        if (vt != varBoolean) RaiseConvertError();
        Store(p, int16_t(value.AsBoolean() ? -1 : 0));
        break;
    case dtInt64:
        if (vt != varInt64) RaiseConvertError();
        Store(p, value.AsInt64());
        break;
    case dtBlob:
    case dtMemo: {
        TBlob* b = Load<TBlob*>(p);
        CheckAssert(b != nullptr, "Blob is not allocated");
        if (value.IsByteArray()) {
            const auto& bytes = value.Bytes();
            b->Clear();
            if (!bytes.empty()) b->Write(0, uint32_t(bytes.size()), bytes.data());
        } else
            b->SetAsString(value.AsString());
        break;
    }
    case dtVariant: {
        TVariantObject* v = Load<TVariantObject*>(p);
        if (!v) {
            v = new TVariantObject;
            Store(p, v);
        }
        v->Value = value;
        break;
    }
    case dtExtString: {
        heap_->DisposeBuf(Load<char*>(p));
        Store(p, heap_->AllocStr(value.AsString()));
        break;
    }
    case dtBytes:
    case dtVarBytes:
    case dtExtVarBytes: {
        CheckAssert(value.IsByteArray(), "Invalid VType");
        const auto& bytes = value.Bytes();
        if (f->DataType == dtBytes)
            CheckAssert(bytes.size() == f->Length, "Invalid data size");
        else
            CheckAssert(bytes.size() <= f->Length, "Invalid data size");
        uint16_t n = uint16_t(bytes.size());
        if (f->DataType == dtBytes)
            std::memcpy(p, bytes.data(), n);
        else if (f->DataType == dtVarBytes) {
            Store(p, n);
            if (n) std::memcpy(p + 2, bytes.data(), n);
        } else {
            heap_->DisposeBuf(Load<char*>(p));
            char* buf = heap_->NewBuf(n + 2);
            std::memcpy(buf, &n, 2);
            if (n) std::memcpy(buf + 2, bytes.data(), n);
            Store(p, buf);
        }
        break;
    }
    case dtUInt32:
        if (vt != varLongWord) RaiseConvertError();
        Store(p, uint32_t(value.AsInt64()));
        break;
    case dtWideString: {
        std::u16string w = value.AsWideString();
        size_t n = std::min<size_t>(w.size(), f->Length);
        for (size_t i = 0; i < n; ++i)
            if (w[i] == 0) {
                n = i;
                break;
            }
        std::memcpy(p, w.data(), n * 2);
        std::memset(p + n * 2, 0, f->Size - n * 2);
        break;
    }
    case dtExtWideString: {
        heap_->DisposeBuf(Load<char*>(p));
        std::u16string w = value.AsWideString();
        Store(p, reinterpret_cast<char*>(heap_->AllocWideStr(w.c_str())));
        break;
    }
    default:
        RaiseConvertError();
    }
    SetNull(fieldNo, recBuf, false);
}

// ---- Child fields as Variants ----
//
// A child value crosses TDBObject in the exchange form of the attribute's type, the same form GetField and
// PutField use; only the simple types convert to and from Variants.

void TData::GetChildAsVariant(TFieldDesc* f, uint8_t* recBuf, Variant& value) {
    TFieldDesc* root;
    std::string path = ChildFieldPath(f, root);
    TDBObject* obj = Load<TDBObject*>(recBuf + root->Offset);
    value = Variant::Null();
    if (!obj) return;
    if (f->DataType == dtVariant) {
        Variant v;
        bool isNull = true;
        obj->GetAttributeValue(path, &v, isNull);
        if (!isNull) value = v;
        return;
    }
    std::vector<uint8_t> ex(size_t(f->Length) * 4 + 16, 0);
    bool isNull = true;
    obj->GetAttributeValue(path, ex.data(), isNull);
    if (isNull) return;
    const uint8_t* p = ex.data();
    switch (f->DataType) {
    case dtString:
        value = Variant(std::string(reinterpret_cast<const char*>(p),
                                    strnlen(reinterpret_cast<const char*>(p), ex.size() - 1)));
        break;
    case dtWideString: {
        size_t n = WideLen(p, ex.size() / 2 - 1);
        std::u16string w(n, u'\0');
        std::memcpy(w.data(), p, n * 2);
        value = Variant(std::move(w));
        break;
    }
    case dtInt8:
        value = Variant::FromShortInt(Load<int8_t>(p));
        break;
    case dtInt16:
        value = Variant(Load<int16_t>(p));
        break;
    case dtInt32:
        value = Variant(Load<int32_t>(p));
        break;
    case dtUInt16:
        value = Variant(Load<uint16_t>(p));
        break;
    case dtUInt32:
        value = Variant(uint32_t(Load<int64_t>(p)));
        break;
    case dtInt64:
        value = Variant(Load<int64_t>(p));
        break;
    case dtFloat:
    case dtCurrency:
        value = Variant(Load<double>(p));
        break;
    case dtBoolean:
        value = Variant(Load<int16_t>(p) != 0);
        break;
    case dtDate: {
        TTimeStamp ts{0, Load<int32_t>(p)};
        value = Variant::FromDateTime(TimeStampToDateTime(ts));
        break;
    }
    case dtTime: {
        TTimeStamp ts{Load<int32_t>(p), DateDelta};
        value = Variant::FromDateTime(TimeStampToDateTime(ts));
        break;
    }
    case dtDateTime:
        value = Variant::FromDateTime(TimeStampToDateTime(MSecsToTimeStamp(Load<double>(p))));
        break;
    default:
        RaiseConvertError();
    }
}

void TData::PutChildAsVariant(TFieldDesc* f, uint8_t* recBuf, const Variant& value) {
    TFieldDesc* root;
    std::string path = ChildFieldPath(f, root);
    TDBObject* obj = Load<TDBObject*>(recBuf + root->Offset);
    if (!obj) return;
    if (value.IsNullOrEmpty()) {
        obj->SetAttributeValue(path, nullptr);
        return;
    }
    if (f->DataType == dtVariant) {
        obj->SetAttributeValue(path, &value);
        return;
    }
    std::vector<uint8_t> ex(size_t(f->Length) * 4 + 16, 0);
    uint8_t* p = ex.data();
    switch (f->DataType) {
    case dtString: {
        std::string s = value.AsString();
        std::memcpy(p, s.data(), std::min<size_t>(s.size(), f->Length));
        break;
    }
    case dtWideString: {
        std::u16string w = value.AsWideString();
        std::memcpy(p, w.data(), std::min<size_t>(w.size(), f->Length) * 2);
        break;
    }
    case dtInt8:
        Store(p, int8_t(value.AsInteger()));
        break;
    case dtInt16:
        Store(p, int16_t(value.AsInteger()));
        break;
    case dtInt32:
        Store(p, value.AsInteger());
        break;
    case dtUInt16:
        Store(p, uint16_t(value.AsInteger()));
        break;
    case dtUInt32:
        Store(p, uint32_t(value.AsInt64()));
        break;
    case dtInt64:
        Store(p, value.AsInt64());
        break;
    case dtFloat:
    case dtCurrency:
        Store(p, RoundToScale(value.AsDouble(), f->Scale));
        break;
    case dtBoolean:
        Store(p, int16_t(value.AsBoolean() ? -1 : 0));
        break;
    case dtDate:
        Store(p, DateTimeToTimeStamp(value.AsDateTime()).Date);
        break;
    case dtTime:
        Store(p, DateTimeToTimeStamp(value.AsDateTime()).Time);
        break;
    case dtDateTime:
        Store(p, DateTimeToMSecs(value.AsDateTime()));
        break;
    default:
        RaiseConvertError();
    }
    obj->SetAttributeValue(path, p);
}

// ---- Complex values ----

void TData::CreateComplexFields(uint8_t* recBuf, bool withBlob) {
    for (int i = 0; i < fields_.Count(); ++i) {
        TFieldDesc* f = fields_[i];
        if (f->ParentField || !IsComplexFieldType(f->DataType)) continue;
        uint8_t* p = recBuf + f->Offset;
        if (IsBlobFieldType(f->DataType)) {
            if (withBlob) Store<TBlob*>(p, new TBlob(false));
        } else if (f->DataType == dtVariant)
            Store<TVariantObject*>(p, new TVariantObject);
        else
            Store<void*>(p, nullptr);
    }
}

void TData::FreeComplexValues(uint8_t* recBuf, bool withBlob, bool skipHeap, bool clear) {
    for (int i = 0; i < fields_.Count(); ++i) {
        TFieldDesc* f = fields_[i];
        if (f->ParentField || !IsComplexFieldType(f->DataType)) continue;
        uint8_t* p = recBuf + f->Offset;
        switch (f->DataType) {
        case dtExtString:
        case dtExtVarBytes:
        case dtExtWideString:
            if (!skipHeap) heap_->DisposeBuf(Load<void*>(p));
            if (clear) Store<void*>(p, nullptr);
            break;
        default:
            if (IsBlobFieldType(f->DataType) && !withBlob) break;
            if (TSharedObject* o = Load<TSharedObject*>(p)) o->Release();
            if (clear) Store<void*>(p, nullptr);
        }
    }
}

void TData::FreeComplexFields(uint8_t* recBuf, bool withBlob) {
    FreeComplexValues(recBuf, withBlob, false);
}

void TData::CopyComplexFields(const uint8_t* source, uint8_t* dest, bool withBlob) {
    for (int i = 0; i < fields_.Count(); ++i) {
        TFieldDesc* f = fields_[i];
        if (f->ParentField || !IsComplexFieldType(f->DataType)) continue;
        const uint8_t* s = source + f->Offset;
        uint8_t* d = dest + f->Offset;
        switch (f->DataType) {
        case dtExtString:
        case dtExtVarBytes:
        case dtExtWideString: {
            const char* sp = Load<const char*>(s);
            char* copy = nullptr;
            if (sp) {
                int n = TStringHeap::BufSize(sp);
                copy = heap_->NewBuf(n);
                std::memcpy(copy, sp, size_t(n));
            }
            heap_->DisposeBuf(Load<void*>(d));
            Store(d, copy);
            break;
        }
        case dtVariant: {
            TVariantObject* sv = Load<TVariantObject*>(s);
            TVariantObject* dv = Load<TVariantObject*>(d);
            if (!dv) {
                dv = new TVariantObject;
                Store(d, dv);
            }
            dv->Value = sv ? sv->Value : Variant();
            break;
        }
        default:
            if (IsBlobFieldType(f->DataType)) {
                if (!withBlob) break;
                TBlob* sb = Load<TBlob*>(s);
                TBlob* db = Load<TBlob*>(d);
                if (!db) {
                    db = new TBlob(sb ? sb->IsUnicode : false);
                    Store(d, db);
                }
                if (sb) {
                    std::string content = sb->AsString();
                    db->SetAsString(content);
                }
            } else {
                TSharedObject* so = Load<TSharedObject*>(s);
                TSharedObject* dob = Load<TSharedObject*>(d);
                if (so) so->AddRef();
                if (dob) dob->Release();
                Store(d, so);
            }
        }
    }
}

void TData::AddRefComplexFields(uint8_t* recBuf) {
    for (int i = 0; i < fields_.Count(); ++i) {
        TFieldDesc* f = fields_[i];
        if (f->ParentField || !IsComplexFieldType(f->DataType)) continue;
        uint8_t* p = recBuf + f->Offset;
        switch (f->DataType) {
        case dtExtString:
        case dtExtVarBytes:
        case dtExtWideString:
            heap_->AddRefStr(Load<void*>(p));
            break;
        default:
            if (TSharedObject* o = Load<TSharedObject*>(p)) o->AddRef();
        }
    }
}

void TData::CancelRecord(uint8_t* recBuf) {
    for (int i = 0; i < fields_.Count(); ++i) {
        TFieldDesc* f = fields_[i];
        if (!f->ParentField && IsBlobFieldType(f->DataType))
            if (TBlob* b = Load<TBlob*>(recBuf + f->Offset)) b->Cancel();
    }
}

void TData::ReleaseComplexRefs(uint8_t* recBuf) {
    FreeComplexValues(recBuf, true, false, false);
}

void TData::CommitBlobs(uint8_t* recBuf) {
    if (!hasComplexFields_) return;
    for (int i = 0; i < fields_.Count(); ++i) {
        TFieldDesc* f = fields_[i];
        if (!f->ParentField && IsBlobFieldType(f->DataType))
            if (TBlob* b = Load<TBlob*>(recBuf + f->Offset)) b->Commit();
    }
}

// ---- Blobs by field ----

TBlob* TData::GetBlob(int fieldNo, const uint8_t* recBuf) {
    TFieldDesc* f = CheckFieldNo(fieldNo);
    if (!IsBlobFieldType(f->DataType)) throw EDatabaseError(SNotBlob);
    TBlob* b = Load<TBlob*>(recBuf + f->Offset);
    if (!b) throw EDatabaseError(SInvalidBlob);
    return b;
}

uint32_t TData::ReadBlob(int fieldNo, uint8_t* recBuf, uint32_t position, uint32_t count, void* dest) {
    return GetBlob(fieldNo, recBuf)->Read(position, count, dest);
}

void TData::WriteBlob(int fieldNo, uint8_t* recBuf, uint32_t position, uint32_t count, const void* source) {
    TBlob* b = GetBlob(fieldNo, recBuf);
    b->Cached = true;
    b->Write(position, count, source);
    SetNull(fieldNo, recBuf, false);
}

void TData::TruncateBlob(int fieldNo, uint8_t* recBuf, uint32_t size) {
    TBlob* b = GetBlob(fieldNo, recBuf);
    b->Cached = true;
    b->Truncate(size);
    if (size == 0) SetNull(fieldNo, recBuf, true);
}

uint32_t TData::GetBlobSize(int fieldNo, uint8_t* recBuf) {
    return GetBlob(fieldNo, recBuf)->Size();
}

// ---- Descriptors defined by the caller ----

uint16_t TData::FieldSizeOf(uint16_t dataType, uint16_t length) {
    switch (dataType) {
    case dtString:
        return uint16_t(length + 1);
    case dtInt8:
        return 1;
    case dtInt16:
    case dtUInt16:
    case dtBoolean:
        return 2;
    case dtInt32:
    case dtUInt32:
        return 4;
    case dtFloat:
    case dtDate:
    case dtTime:
    case dtDateTime:
    case dtInt64:
    case dtCurrency:
        return 8;
    case dtBytes:
        return length;
    case dtVarBytes:
        return uint16_t(length + 2);
    case dtWideString:
        return uint16_t((length + 1) * 2);
    case dtBlob:
    case dtMemo:
    case dtObject:
    case dtReference:
    case dtArray:
    case dtTable:
    case dtVariant:
    case dtExtString:
    case dtExtVarBytes:
    case dtExtWideString:
        return uint16_t(sizeof(void*));
    default:
        return 0;
    }
}

TFieldDesc* TData::AddFieldDesc(const std::string& name, uint16_t dataType, uint16_t length, uint16_t scale,
                                bool required, bool fixed) {
    auto d = std::make_unique<TFieldDesc>();
    d->Name = name;
    d->ActualName = name;
    d->DataType = dataType;
    d->Length = length;
    d->Scale = scale;
    d->Required = required;
    d->Fixed = fixed;
    d->Size = FieldSizeOf(dataType, length);
    d->FieldNo = uint16_t(fields_.Count() + 1);
    d->ActualFieldNo = d->FieldNo;
    return fields_.Add(std::move(d));
}
