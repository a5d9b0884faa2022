#include "oracle/OraObjects.h"

#include "dataset/DBErrors.h"
#include "dataset/DateTimeUtil.h"
#include "dataset/Variant.h"
#include "oracle/OraClasses.h"
#include "oracle/OraError.h"

#include <algorithm>
#include <cstring>
#include <mutex>

using namespace oracall;

namespace {

constexpr size_t P = sizeof(void*);

size_t RoundUp(size_t n, size_t to) {
    return (n + to - 1) / to * to;
}

std::string UpperTrim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    size_t e = s.find_last_not_of(" \t\r\n");
    std::string r = b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return r;
}

std::recursive_mutex& CacheLock() {
    static std::recursive_mutex m;
    return m;
}

std::vector<TOraType*>& Cache() {
    static std::vector<TOraType*> cache;
    return cache;
}

// The describe handle, freed on every way out.
struct TDescribeHandle {
    dvoid* h = nullptr;
    TDescribeHandle() { OraCheckGlobal(OCIHandleAlloc(hOCIEnv, &h, OCI_HTYPE_DESCRIBE, 0, nullptr)); }
    ~TDescribeHandle() {
        if (h) OCIHandleFree(h, OCI_HTYPE_DESCRIBE);
    }
};

std::string TextAttr(const void* param, ub4 attr) {
    char* text = nullptr;
    ub4 len = 0;
    OraCheckGlobal(OCIAttrGet(param, OCI_DTYPE_PARAM, &text, &len, attr, hOCIError));
    return text ? std::string(text, len) : std::string();
}

template <class T> T NumAttr(const void* param, ub4 attr) {
    T v{};
    OraCheckGlobal(OCIAttrGet(param, OCI_DTYPE_PARAM, &v, nullptr, attr, hOCIError));
    return v;
}

int16_t ReadInd(const void* p) {
    int16_t v;
    memcpy(&v, p, 2);
    return v;
}

void WriteInd(void* p, int16_t v) {
    memcpy(p, &v, 2);
}

void* ReadPtr(const void* slot) {
    void* p;
    memcpy(&p, slot, P);
    return p;
}

bool IsCollection(uint16_t dt) {
    return dt == dtArray || dt == dtTable;
}

} // namespace

// ---- Type ----

bool TOraAttribute::Embedded() const {
    return DataType == dtObject && ObjectType && ObjectType->DataType == dtObject && ObjectType->Final();
}

TOraType::TOraType(OCISvcCtx* svc, const std::string& name) : svc_(svc) {
    Name = name;
}

TOraType::~TOraType() {
    std::lock_guard<std::recursive_mutex> g(CacheLock());
    auto& c = Cache();
    c.erase(std::remove(c.begin(), c.end(), this), c.end());
    for (TOraAttribute& a : attributes_)
        if (a.ObjectType) a.ObjectType->Release();
}

TOraType* TOraType::Find(OCISvcCtx* svc, const std::string& nameIn) {
    std::string name = UpperTrim(nameIn);
    std::lock_guard<std::recursive_mutex> g(CacheLock());
    for (TOraType* t : Cache())
        if (t->svc_ == svc && t->Name == name) {
            t->AddRef();
            return t;
        }
    auto* t = new TOraType(svc, name);
    Cache().push_back(t);
    try {
        t->Describe();
    } catch (...) {
        t->Release();
        throw;
    }
    return t;
}

void TOraType::ForgetSvcCtx(OCISvcCtx* svc) {
    std::lock_guard<std::recursive_mutex> g(CacheLock());
    auto& c = Cache();
    c.erase(std::remove_if(c.begin(), c.end(), [svc](TOraType* t) { return !svc || t->svc_ == svc; }),
            c.end());
}

int TOraType::CacheCount() {
    std::lock_guard<std::recursive_mutex> g(CacheLock());
    return int(Cache().size());
}

const TOraAttribute* TOraType::FindAttribute(const std::string& name) const {
    std::string n = UpperTrim(name);
    for (const TOraAttribute& a : attributes_)
        if (a.Name == n) return &a;
    return nullptr;
}

void TOraType::Describe() {
    if (!svc_) throw Exception(SSvcCtxNotDefined);
    std::string schema, type = Name, describeName = Name;
    size_t dot = Name.find('.');
    if (dot != std::string::npos) {
        schema = Name.substr(0, dot);
        type = Name.substr(dot + 1);
        describeName = "\"" + schema + "\".\"" + type + "\"";
    }
    if (type.empty()) throw Exception(SInvalidAttrName);
    OCIType* tdo = nullptr;
    OraCheckGlobal(OCITypeByName(hOCIEnv, hOCIError, svc_, reinterpret_cast<const OraText*>(schema.c_str()),
                                 ub4(schema.size()), reinterpret_cast<const OraText*>(type.c_str()),
                                 ub4(type.size()), nullptr, 0, OCI_DURATION_SESSION, OCI_TYPEGET_ALL, &tdo));
    tdo_ = tdo;
    TDescribeHandle d;
    OraCheckGlobal(OCIDescribeAny(svc_, hOCIError, const_cast<char*>(describeName.c_str()),
                                  ub4(describeName.size()), OCI_OTYPE_NAME, 0, OCI_PTYPE_TYPE,
                                  static_cast<OCIDescribe*>(d.h)));
    OCIParam* param = nullptr;
    OraCheckGlobal(OCIAttrGet(d.h, OCI_HTYPE_DESCRIBE, &param, nullptr, OCI_ATTR_PARAM, hOCIError));
    typeCode_ = NumAttr<ub2>(param, OCI_ATTR_TYPECODE);
    if (typeCode_ == OCI_TYPECODE_OBJECT || typeCode_ == OCI_TYPECODE_OPAQUE) {
        DataType = dtObject;
        final_ = true;
        if (OCIFunctionGroups & OCIGroupOCI9) final_ = NumAttr<ub1>(param, OCI_ATTR_IS_FINAL_TYPE) != 0;
        ub2 count = NumAttr<ub2>(param, OCI_ATTR_NUM_TYPE_ATTRS);
        OCIParam* list = nullptr;
        OraCheckGlobal(
            OCIAttrGet(param, OCI_DTYPE_PARAM, &list, nullptr, OCI_ATTR_LIST_TYPE_ATTRS, hOCIError));
        for (ub4 i = 1; i <= count; ++i) {
            dvoid* attr = nullptr;
            OraCheckGlobal(OCIParamGet(list, OCI_DTYPE_PARAM, hOCIError, &attr, i));
            DescribeAttribute(static_cast<OCIParam*>(attr), int(i));
        }
    } else if (typeCode_ == OCI_TYPECODE_NAMEDCOLLECTION) {
        ub2 coll = NumAttr<ub2>(param, OCI_ATTR_COLLECTION_TYPECODE);
        if (coll == OCI_TYPECODE_VARRAY)
            DataType = dtArray;
        else if (coll == OCI_TYPECODE_TABLE)
            DataType = dtTable;
        else
            throw Exception(SDataTypeNotSupported);
        OCIParam* element = nullptr;
        OraCheckGlobal(
            OCIAttrGet(param, OCI_DTYPE_PARAM, &element, nullptr, OCI_ATTR_COLLECTION_ELEMENT, hOCIError));
        Size = int(NumAttr<ub4>(param, OCI_ATTR_NUM_ELEMS));
        DescribeAttribute(element, 1);
    } else {
        throw Exception(SDataTypeNotSupported);
    }
}

void TOraType::DescribeAttribute(OCIParam* param, int number) {
    TOraAttribute a;
    a.Name = UpperTrim(TextAttr(param, OCI_ATTR_NAME));
    if (a.Name.empty()) a.Name = "ELEMENT";
    a.AttributeNo = number;
    a.OraType = NumAttr<ub2>(param, OCI_ATTR_DATA_TYPE);
    ub2 size = NumAttr<ub2>(param, OCI_ATTR_DATA_SIZE);
    bool aligned = true; // the slot starts at a multiple of the pointer size
    a.NativeSize = P;
    a.IndicatorSize = 2;
    switch (a.OraType) {
    case 1:
    case 96:
        a.DataType = dtString;
        a.Fixed = a.OraType == 96;
        a.Length = size;
        a.Size = uint16_t(size + 1);
        break;
    case 2: {
        int precision = NumAttr<ub1>(param, OCI_ATTR_PRECISION);
        int scale = NumAttr<sb1>(param, OCI_ATTR_SCALE);
        a.Length = uint16_t(precision);
        a.Scale = uint16_t(std::abs(scale));
        if (scale == 0 && precision >= 1 && precision <= 9) {
            a.DataType = dtInt32;
            a.Size = 4;
        } else {
            a.DataType = dtFloat;
            a.Size = 8;
        }
        a.NativeSize = 22;
        aligned = false;
        break;
    }
    case 12:
        a.DataType = dtDateTime;
        a.Size = 8;
        a.NativeSize = 8;
        aligned = false;
        break;
    case 23:
        a.DataType = dtString; // hexadecimal text
        a.Length = uint16_t(2 * size);
        a.Size = uint16_t(2 * size + 1);
        break;
    case 108: {
        std::string sub = TextAttr(param, OCI_ATTR_TYPE_NAME);
        std::string subSchema = TextAttr(param, OCI_ATTR_SCHEMA_NAME);
        a.ObjectType = Find(svc_, subSchema.empty() ? sub : subSchema + "." + sub);
        a.DataType = a.ObjectType->DataType;
        a.Size = uint16_t(P);
        if (a.ObjectType->DataType == dtObject && a.ObjectType->Final()) {
            a.NativeSize = RoundUp(a.ObjectType->NativeSize(), P);
            a.IndicatorSize = a.ObjectType->IndicatorSize();
        }
        break;
    }
    case 110: {
        std::string sub = TextAttr(param, OCI_ATTR_TYPE_NAME);
        std::string subSchema = TextAttr(param, OCI_ATTR_SCHEMA_NAME);
        a.RefTypeName = subSchema.empty() ? sub : subSchema + "." + sub;
        a.DataType = dtReference;
        a.Size = uint16_t(P);
        break;
    }
    case 112:
    case 113:
        a.DataType = a.OraType == 112 ? dtOraClob : dtOraBlob;
        a.Size = uint16_t(P);
        break;
    case 187:
    case 188:
    case 232:
    case 189:
    case 190:
        if (!(OCIFunctionGroups & OCIGroupOCI9)) throw Exception(SDataTypeNotSupported);
        a.DataType = a.OraType == 187   ? dtTimeStamp
                     : a.OraType == 188 ? dtTimeStampTZ
                     : a.OraType == 232 ? dtTimeStampLTZ
                     : a.OraType == 189 ? dtIntervalYM
                                        : dtIntervalDS;
        a.Size = uint16_t(P);
        break;
    default:
        RaiseAssertion(SUnknownDataType);
    }
    if (aligned) nativeSize_ = RoundUp(nativeSize_, P);
    a.NativeOffset = nativeSize_;
    a.IndicatorOffset = indicatorSize_;
    nativeSize_ += a.NativeSize;
    indicatorSize_ += a.IndicatorSize;
    // The framework's view of the attribute.
    TAttribute* fa = AddAttribute(a.Name, a.DataType, a.Length, a.Size);
    fa->Fixed = a.Fixed;
    if (a.ObjectType) {
        fa->SetObjectType(a.ObjectType);
        fa->Count = a.ObjectType->Size;
    }
    attributes_.push_back(std::move(a));
}

// ---- Object ----

TOraObject::TOraObject(TOraType* type) : TDBObject(type) {}

TOraObject::~TOraObject() {
    try {
        FreeObject();
    } catch (...) {
    }
    if (parent_) parent_->Release();
}

void TOraObject::SetOraType(TOraType* type) {
    if (type == OraType()) return;
    FreeObject();
    SetObjectType(type);
}

OCISvcCtx* TOraObject::SvcCtx() const {
    return OraType() ? OraType()->SvcCtx() : nullptr;
}

void TOraObject::AllocObject() {
    TOraType* t = OraType();
    if (!t) throw Exception(STypeNotDefined);
    if (!t->SvcCtx()) throw Exception(SSvcCtxNotDefined);
    FreeObject();
    dvoid* inst = nullptr;
    OraCheckGlobal(OCIObjectNew(hOCIEnv, hOCIError, t->SvcCtx(), t->TypeCode(), t->TDO(), nullptr,
                                OCI_DURATION_SESSION, 1, &inst));
    instance_ = inst;
    owned_ = true;
    dvoid* ind = nullptr;
    try {
        OraCheckGlobal(OCIObjectGetInd(hOCIEnv, hOCIError, inst, &ind));
    } catch (...) {
        FreeObject();
        throw;
    }
    indicator_ = ind;
}

void TOraObject::FreeObject() {
    void* inst = instance_;
    bool owned = owned_;
    instance_ = nullptr;
    indicator_ = nullptr;
    owned_ = false;
    if (inst && owned) OraCheckGlobal(OCIObjectFree(hOCIEnv, hOCIError, inst, OCI_OBJECTFREE_FORCE));
}

void TOraObject::SetInstance(void* instance) {
    FreeObject();
    if (!instance) return;
    dvoid* ind = nullptr;
    OraCheckGlobal(OCIObjectGetInd(hOCIEnv, hOCIError, instance, &ind));
    instance_ = instance;
    indicator_ = ind;
}

void TOraObject::AdoptInstance(void* instance) {
    SetInstance(instance);
    owned_ = instance_ != nullptr;
}

namespace {

std::string Quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        q += c;
        if (c == '\'') q += c;
    }
    return q + "'";
}

std::string NumberText(double v) {
    char buf[40];
    snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

} // namespace

std::string TOraObject::AsText() {
    TOraType* t = OraType();
    if (!t || IsNull()) return "NULL";
    std::string name = t->Name;
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) name = name.substr(dot + 1);
    std::vector<std::string> parts;
    auto attrText = [&](const TOraAttribute& a, const std::string& path) -> std::string {
        if (AttrIsNull(path)) return "NULL";
        switch (a.DataType) {
        case dtString:
            return Quoted(AttrAsString(path));
        case dtInt32:
        case dtFloat:
            return NumberText(AttrAsFloat(path));
        case dtDateTime:
            return Quoted(DateTimeToStr(AttrAsDateTime(path)));
        case dtObject: {
            TOraObject* o = AttrAsObject(path);
            std::string text = o->AsText();
            o->Release();
            return text;
        }
        case dtArray:
        case dtTable: {
            TOraArray* o = AttrAsArray(path);
            std::string text = o->AsText();
            o->Release();
            return text;
        }
        case dtReference:
            return "REF";
        default:
            return "(" + a.Name + ")";
        }
    };
    if (IsCollection(t->DataType)) {
        auto* self = static_cast<TOraArray*>(this);
        const TOraAttribute& e = self->Element();
        int n = self->Size();
        for (int i = 0; i < n; ++i) {
            std::string path = "[" + std::to_string(i) + "]";
            parts.push_back(attrText(e, path));
        }
    } else {
        for (const TOraAttribute& a : t->Attributes())
            parts.push_back(attrText(a, a.Name));
    }
    std::string text = name + "(";
    for (size_t i = 0; i < parts.size(); ++i)
        text += (i ? ", " : "") + parts[i];
    return text + ")";
}

void TOraObject::AttachTo(TOraObject* parent, void* instance, void* indicator) {
    parent->AddRef();
    parent_ = parent;
    instance_ = instance;
    indicator_ = indicator ? indicator : &ownIndicator_;
}

void TOraObject::CheckAllocated() const {
    if (!instance_) throw Exception(SObjectNotAllocated);
}

void TOraObject::Flush() {
    CheckAllocated();
    OraCheckGlobal(OCIObjectFlush(hOCIEnv, hOCIError, instance_));
}

void TOraObject::MarkDelete() {
    CheckAllocated();
    OraCheckGlobal(OCIObjectMarkDelete(hOCIEnv, hOCIError, instance_));
}

bool TOraObject::IsNull() const {
    return !instance_ || !indicator_ || ReadInd(indicator_) != OCI_IND_NOTNULL;
}

void TOraObject::SetNull(bool isNull) {
    CheckAllocated();
    if (indicator_) WriteInd(indicator_, isNull ? OCI_IND_NULL : OCI_IND_NOTNULL);
}

TOraObject::TPlace TOraObject::Walk(const std::string& pathIn) {
    CheckAllocated();
    TPlace pl;
    std::string path = UpperTrim(pathIn);
    if (path.empty()) throw Exception(SInvalidAttrName);
    TOraType* t = OraType();
    if (!t) throw Exception(STypeNotDefined);
    uint8_t* base = static_cast<uint8_t*>(instance_);
    uint8_t* ind = static_cast<uint8_t*>(indicator_);
    if (ind) {
        pl.Indicators.push_back(ind);
        if (ReadInd(ind) != OCI_IND_NOTNULL) pl.Null = true;
    }
    const TOraAttribute* cur = nullptr; // the attribute base points at; nil: the holder's own value
    bool curIsElement = false;
    size_t i = 0;
    while (i < path.size()) {
        if (cur) {
            // Step into the object or collection the last part named.
            if (cur->DataType == dtObject && (curIsElement || cur->Embedded())) {
                // embedded: the instance and its indicator structure lie where the attribute's do
            } else if (cur->DataType == dtObject) {
                base = static_cast<uint8_t*>(ReadPtr(base));
                if (!base) {
                    pl.Null = true;
                    pl.Missing = true;
                    pl.Value = nullptr;
                    return pl;
                }
                dvoid* sub = nullptr;
                OraCheckGlobal(OCIObjectGetInd(hOCIEnv, hOCIError, base, &sub));
                ind = static_cast<uint8_t*>(sub);
                pl.Indicators.push_back(ind);
                if (ReadInd(ind) != OCI_IND_NOTNULL) pl.Null = true;
            } else if (IsCollection(cur->DataType)) {
                base = static_cast<uint8_t*>(ReadPtr(base));
            } else {
                throw Exception(SInvalidAttrName);
            }
            t = cur->ObjectType;
            if (!t || !base) throw Exception(SInvalidAttrName);
        }
        if (path[i] == '[') {
            size_t close = path.find(']', i);
            if (close == std::string::npos || close == i + 1) throw Exception(SInvalidAttrName);
            std::string num = path.substr(i + 1, close - i - 1);
            if (num.find_first_not_of("0123456789") != std::string::npos || num.size() > 9)
                throw Exception(SInvalidAttrName);
            if (!IsCollection(t->DataType)) throw Exception(SInvalidAttrName);
            int exists = 0;
            dvoid* elem = nullptr;
            dvoid* elemind = nullptr;
            OraCheckGlobal(OCICollGetElem(hOCIEnv, hOCIError, reinterpret_cast<OCIColl*>(base),
                                          sb4(std::stoi(num)), &exists, &elem, &elemind));
            pl.Attr = &t->Attributes().at(0);
            i = close + 1;
            if (i < path.size() && path[i] == '.') ++i;
            if (!exists) {
                pl.Null = true;
                pl.Missing = true;
                pl.Value = nullptr;
                return pl;
            }
            base = static_cast<uint8_t*>(elem);
            ind = static_cast<uint8_t*>(elemind);
            if (ind) {
                pl.Indicators.push_back(ind);
                if (ReadInd(ind) != OCI_IND_NOTNULL) pl.Null = true;
            }
            cur = pl.Attr;
            curIsElement = true;
            pl.Element = true;
        } else {
            size_t end = path.find_first_of(".[", i);
            std::string name = path.substr(i, end == std::string::npos ? std::string::npos : end - i);
            if (t->DataType != dtObject) throw Exception(SInvalidAttrName);
            const TOraAttribute* a = t->FindAttribute(name);
            if (!a || name.empty()) throw Exception(SInvalidAttrName);
            base += a->NativeOffset;
            ind += a->IndicatorOffset;
            pl.Indicators.push_back(ind);
            if (ReadInd(ind) != OCI_IND_NOTNULL) pl.Null = true;
            pl.Attr = a;
            cur = a;
            curIsElement = false;
            pl.Element = false;
            i = end == std::string::npos ? path.size() : end;
            if (i < path.size() && path[i] == '.') {
                ++i;
                if (i == path.size()) throw Exception(SInvalidAttrName);
            }
        }
        pl.Value = base;
    }
    return pl;
}

TOraObject::TPlace TOraObject::WalkForWrite(const std::string& path) {
    TPlace pl = Walk(path);
    if (pl.Missing) throw Exception(SIndexOutOfRange);
    return pl;
}

bool TOraObject::AttrIsNull(const std::string& path) {
    return Walk(path).Null;
}

void TOraObject::SetAttrNull(const std::string& path) {
    TPlace pl = WalkForWrite(path);
    WriteInd(pl.Indicators.back(), OCI_IND_NULL);
}

namespace {

// A value was written: it and every object on the way are not null any more.
void MarkNotNull(const std::vector<void*>& indicators) {
    for (void* p : indicators)
        WriteInd(p, OCI_IND_NOTNULL);
}

bool IsNumber(const TOraAttribute* a) {
    return a->DataType == dtInt32 || a->DataType == dtFloat;
}

} // namespace

double TOraObject::AttrAsFloat(const std::string& path) {
    TPlace pl = Walk(path);
    if (!IsNumber(pl.Attr)) throw Exception(SCannotConvertFloat);
    if (pl.Null) return 0;
    double v = 0;
    OraCheckGlobal(OCINumberToReal(hOCIError, static_cast<OCINumber*>(pl.Value), sizeof v, &v));
    return v;
}

void TOraObject::SetAttrAsFloat(const std::string& path, double value) {
    TPlace pl = WalkForWrite(path);
    if (!IsNumber(pl.Attr)) throw Exception(SCannotConvertFloat);
    OraCheckGlobal(OCINumberFromReal(hOCIError, &value, sizeof value, static_cast<OCINumber*>(pl.Value)));
    MarkNotNull(pl.Indicators);
}

int32_t TOraObject::AttrAsInteger(const std::string& path) {
    TPlace pl = Walk(path);
    if (!IsNumber(pl.Attr)) throw Exception(SCannotConvertInteger);
    if (pl.Null) return 0;
    int32_t v = 0;
    OraCheckGlobal(
        OCINumberToInt(hOCIError, static_cast<OCINumber*>(pl.Value), sizeof v, OCI_NUMBER_SIGNED, &v));
    return v;
}

void TOraObject::SetAttrAsInteger(const std::string& path, int32_t value) {
    TPlace pl = WalkForWrite(path);
    if (!IsNumber(pl.Attr)) throw Exception(SCannotConvertInteger);
    OraCheckGlobal(OCINumberFromInt(hOCIError, &value, sizeof value, OCI_NUMBER_SIGNED,
                                    static_cast<OCINumber*>(pl.Value)));
    MarkNotNull(pl.Indicators);
}

std::string TOraObject::AttrAsString(const std::string& path) {
    TPlace pl = Walk(path);
    const TOraAttribute* a = pl.Attr;
    if (a->DataType == dtString) {
        if (pl.Null) return "";
        auto* s = static_cast<OCIString*>(ReadPtr(pl.Value));
        OraText* text = s ? OCIStringPtr(hOCIEnv, s) : nullptr;
        return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
    }
    if (IsNumber(a)) {
        if (pl.Null) return "";
        double v = 0;
        OraCheckGlobal(OCINumberToReal(hOCIError, static_cast<OCINumber*>(pl.Value), sizeof v, &v));
        return VarToStr(Variant(v));
    }
    throw Exception(SCannotConvertString);
}

void TOraObject::SetAttrAsString(const std::string& path, const std::string& value) {
    TPlace pl = WalkForWrite(path);
    if (pl.Attr->DataType != dtString) throw Exception(SCannotConvertString);
    auto* s = static_cast<OCIString*>(ReadPtr(pl.Value));
    OraCheckGlobal(OCIStringResize(hOCIEnv, hOCIError, ub4(value.size() + 1), &s));
    memcpy(pl.Value, &s, P);
    OraCheckGlobal(OCIStringAssignText(hOCIEnv, hOCIError, reinterpret_cast<const OraText*>(value.data()),
                                       ub4(value.size()), &s));
    memcpy(pl.Value, &s, P);
    MarkNotNull(pl.Indicators);
}

TDateTime TOraObject::AttrAsDateTime(const std::string& path) {
    TPlace pl = Walk(path);
    if (pl.Attr->DataType != dtDateTime) throw Exception(SCannotConvertDate);
    if (pl.Null) return 0;
    TOraObjDate d;
    memcpy(&d, pl.Value, sizeof d);
    TDateTime date = 0, time = 0;
    if (!TryEncodeDate(d.Year, d.Month, d.Day, date) || !TryEncodeTime(d.Hour, d.Minute, d.Second, 0, time))
        return 0;
    return date < 0 ? date - time : date + time;
}

void TOraObject::SetAttrAsDateTime(const std::string& path, TDateTime value) {
    TPlace pl = WalkForWrite(path);
    if (pl.Attr->DataType != dtDateTime) throw Exception(SCannotConvertDate);
    int y, mo, d, h, mi, s, ms;
    DecodeDate(value, y, mo, d);
    DecodeTime(value, h, mi, s, ms);
    TOraObjDate od{int16_t(y), uint8_t(mo), uint8_t(d), uint8_t(h), uint8_t(mi), uint8_t(s), 0};
    memcpy(pl.Value, &od, sizeof od);
    MarkNotNull(pl.Indicators);
}

void TOraObject::GetAttributeValue(const std::string& path, void* dest, bool& isNull) {
    TPlace pl = Walk(path);
    isNull = pl.Null;
    if (!dest || isNull) return;
    switch (pl.Attr->DataType) {
    case dtString: {
        std::string s = AttrAsString(path);
        size_t n = std::min<size_t>(s.size(), pl.Attr->Length);
        memcpy(dest, s.data(), n);
        static_cast<char*>(dest)[n] = 0;
        break;
    }
    case dtInt32: {
        int32_t v = AttrAsInteger(path);
        memcpy(dest, &v, sizeof v);
        break;
    }
    case dtFloat: {
        double v = AttrAsFloat(path);
        memcpy(dest, &v, sizeof v);
        break;
    }
    case dtDateTime: {
        double ms = DateTimeToMSecs(AttrAsDateTime(path));
        memcpy(dest, &ms, sizeof ms);
        break;
    }
    default:
        RaiseConvertError();
    }
}

void TOraObject::SetAttributeValue(const std::string& path, const void* source) {
    if (!source) {
        SetAttrNull(path);
        return;
    }
    TPlace pl = WalkForWrite(path);
    switch (pl.Attr->DataType) {
    case dtString:
        SetAttrAsString(path, std::string(static_cast<const char*>(source),
                                          strnlen(static_cast<const char*>(source), pl.Attr->Length)));
        break;
    case dtInt32: {
        int32_t v;
        memcpy(&v, source, sizeof v);
        SetAttrAsInteger(path, v);
        break;
    }
    case dtFloat: {
        double v;
        memcpy(&v, source, sizeof v);
        SetAttrAsFloat(path, v);
        break;
    }
    case dtDateTime: {
        double ms;
        memcpy(&ms, source, sizeof ms);
        SetAttrAsDateTime(path, TimeStampToDateTime(MSecsToTimeStamp(ms)));
        break;
    }
    default:
        RaiseConvertError();
    }
}

OCINumber* TOraObject::AttrAsOCINumber(const std::string& path) {
    TPlace pl = Walk(path);
    if (!IsNumber(pl.Attr)) throw Exception(SCannotConvertOCINumber);
    return static_cast<OCINumber*>(pl.Value);
}

OCIString** TOraObject::AttrAsOCIString(const std::string& path) {
    TPlace pl = Walk(path);
    if (pl.Attr->DataType != dtString) throw Exception(SCannotConvertOCIString);
    return static_cast<OCIString**>(pl.Value);
}

TOraObjDate* TOraObject::AttrAsOCIDate(const std::string& path) {
    TPlace pl = Walk(path);
    if (pl.Attr->DataType != dtDateTime) throw Exception(SCannotConvertOCIDate);
    return static_cast<TOraObjDate*>(pl.Value);
}

OCILobLocator* TOraObject::AttrAsLobLocator(const std::string& path) {
    TPlace pl = Walk(path);
    if (pl.Attr->DataType != dtOraBlob && pl.Attr->DataType != dtOraClob) throw Exception(SCannotConvertLob);
    return pl.Value ? static_cast<OCILobLocator*>(ReadPtr(pl.Value)) : nullptr;
}

OCIDateTime* TOraObject::AttrAsTimeStamp(const std::string& path) {
    TPlace pl = Walk(path);
    uint16_t dt = pl.Attr->DataType;
    if (dt != dtTimeStamp && dt != dtTimeStampTZ && dt != dtTimeStampLTZ)
        throw Exception(SCannotConvertTimeStamp);
    return pl.Value ? static_cast<OCIDateTime*>(ReadPtr(pl.Value)) : nullptr;
}

OCIInterval* TOraObject::AttrAsInterval(const std::string& path) {
    TPlace pl = Walk(path);
    uint16_t dt = pl.Attr->DataType;
    if (dt != dtIntervalYM && dt != dtIntervalDS) throw Exception(SCannotConvertInterval);
    return pl.Value ? static_cast<OCIInterval*>(ReadPtr(pl.Value)) : nullptr;
}

TOraObject* TOraObject::AttrAsObject(const std::string& path) {
    TPlace pl = Walk(path);
    if (pl.Attr->DataType != dtObject) throw Exception(SCannotConvertObject);
    auto* child = new TOraObject(pl.Attr->ObjectType);
    if (pl.Missing || !pl.Value) return child;
    if (pl.Element || pl.Attr->Embedded()) {
        child->AttachTo(this, pl.Value, pl.Indicators.back());
    } else {
        void* inst = ReadPtr(pl.Value);
        if (inst) {
            dvoid* ind = nullptr;
            try {
                OraCheckGlobal(OCIObjectGetInd(hOCIEnv, hOCIError, inst, &ind));
            } catch (...) {
                child->Release();
                throw;
            }
            child->AttachTo(this, inst, ind);
        }
    }
    return child;
}

TOraArray* TOraObject::AttrAsArray(const std::string& path) {
    TPlace pl = Walk(path);
    if (!IsCollection(pl.Attr->DataType)) throw Exception(SCannotConvertObject);
    TOraArray* child = pl.Attr->DataType == dtTable ? new TOraNestTable(pl.Attr->ObjectType)
                                                    : new TOraArray(pl.Attr->ObjectType);
    if (pl.Missing || !pl.Value) return child;
    void* coll = ReadPtr(pl.Value);
    if (coll) child->AttachTo(this, coll, pl.Indicators.back());
    return child;
}

TOraRef* TOraObject::AttrAsRef(const std::string& path) {
    TPlace pl = Walk(path);
    if (pl.Attr->DataType != dtReference) throw Exception(SCannotConvertObject);
    TOraType* refType =
        pl.Attr->RefTypeName.empty() ? nullptr : TOraType::Find(SvcCtx(), pl.Attr->RefTypeName);
    auto* ref = new TOraRef(refType);
    if (refType) refType->Release(); // the holder keeps its own
    if (!pl.Missing && pl.Value) {
        AddRef();
        ref->parent_ = this;
        ref->slot_ = pl.Value;
    }
    return ref;
}

// ---- Collections ----

TOraArray::TOraArray(TOraType* type) : TOraObject(type) {
    if (type && !IsCollection(type->DataType)) throw Exception(STypeMustBeArray);
}

const TOraAttribute& TOraArray::Element() const {
    if (!OraType()) throw Exception(STypeNotDefined);
    return OraType()->Attributes().at(0);
}

int TOraArray::Size() {
    CheckAllocated();
    sb4 n = 0;
    OraCheckGlobal(OCICollSize(hOCIEnv, hOCIError, Collection(), &n));
    return n;
}

void TOraArray::Append(const void* value, bool isNull) {
    CheckAllocated();
    sb2 ind = isNull ? OCI_IND_NULL : OCI_IND_NOTNULL;
    OraCheckGlobal(OCICollAppend(hOCIEnv, hOCIError, value, &ind, Collection()));
    if (indicator_) WriteInd(indicator_, OCI_IND_NOTNULL);
}

namespace {

// A temporary string value, freed on every way out (a new size of 0 frees a string).
struct TTempString {
    OCIString* s = nullptr;
    explicit TTempString(const std::string& v) {
        OraCheckGlobal(OCIStringAssignText(hOCIEnv, hOCIError, reinterpret_cast<const OraText*>(v.data()),
                                           ub4(v.size()), &s));
    }
    ~TTempString() {
        if (s) OCIStringResize(hOCIEnv, hOCIError, 0, &s);
    }
};

} // namespace

void TOraArray::AppendString(const std::string& value) {
    if (Element().DataType != dtString) throw Exception(SCannotConvertString);
    CheckAllocated();
    TTempString s(value);
    Append(s.s, false);
}

void TOraArray::AppendFloat(double value) {
    if (!IsNumber(&Element())) throw Exception(SCannotConvertFloat);
    CheckAllocated();
    alignas(8) uint8_t num[22] = {};
    OraCheckGlobal(OCINumberFromReal(hOCIError, &value, sizeof value, reinterpret_cast<OCINumber*>(num)));
    Append(num, false);
}

void TOraArray::AppendInteger(int32_t value) {
    if (!IsNumber(&Element())) throw Exception(SCannotConvertInteger);
    CheckAllocated();
    alignas(8) uint8_t num[22] = {};
    OraCheckGlobal(OCINumberFromInt(hOCIError, &value, sizeof value, OCI_NUMBER_SIGNED,
                                    reinterpret_cast<OCINumber*>(num)));
    Append(num, false);
}

void TOraArray::AppendNull() {
    CheckAllocated();
    const TOraAttribute& e = Element();
    if (e.DataType == dtString) {
        TTempString s("");
        Append(s.s, true);
    } else if (IsNumber(&e)) {
        alignas(8) uint8_t num[22] = {};
        int32_t zero = 0;
        OraCheckGlobal(OCINumberFromInt(hOCIError, &zero, sizeof zero, OCI_NUMBER_SIGNED,
                                        reinterpret_cast<OCINumber*>(num)));
        Append(num, true);
    } else if (e.DataType == dtDateTime) {
        TOraObjDate d{1, 1, 1, 0, 0, 0, 0};
        Append(&d, true);
    } else {
        throw Exception(SDataTypeNotSupported);
    }
}

TOraNestTable::TOraNestTable(TOraType* type) : TOraArray(type) {
    if (type && type->DataType != dtTable) throw Exception(STypeMustBeTable);
}

int TOraNestTable::TableSize() {
    CheckAllocated();
    sb4 n = 0;
    OraCheckGlobal(OCITableSize(hOCIEnv, hOCIError, Collection(), &n));
    return n;
}

void TOraNestTable::DeleteItem(int index) {
    CheckAllocated();
    OraCheckGlobal(OCITableDelete(hOCIEnv, hOCIError, sb4(index), Collection()));
}

int TOraNestTable::NextIndex(int index) {
    CheckAllocated();
    sb4 next = -1;
    int exists = 0;
    OraCheckGlobal(OCITableNext(hOCIEnv, hOCIError, sb4(index), Collection(), &next, &exists));
    return exists ? next : -1;
}

// ---- REF ----

TOraRef::TOraRef(TOraType* refType) : TDBObject(refType) {}

TOraRef::~TOraRef() {
    UnpinObject();
    if (own_) {
        try {
            OraCheckGlobal(OCIObjectFree(hOCIEnv, hOCIError, own_, OCI_OBJECTFREE_FORCE));
        } catch (...) {
        }
    }
    if (parent_) parent_->Release();
}

OCIRef* TOraRef::Handle() const {
    return static_cast<OCIRef*>(ReadPtr(slot_));
}

void TOraRef::UnpinObject() {
    if (object_) object_->Release();
    object_ = nullptr;
}

bool TOraRef::IsNull() const {
    OCIRef* h = Handle();
    return !h || OCIRefIsNull(hOCIEnv, h) != 0;
}

void TOraRef::Clear() {
    UnpinObject();
    if (OCIRef* h = Handle()) OCIRefClear(hOCIEnv, h); // reports nothing
}

void TOraRef::Assign(const OCIRef* source) {
    if (!source) throw Exception(SRefNotAssigned);
    UnpinObject();
    OCIRef* target = Handle();
    OraCheckGlobal(OCIRefAssign(hOCIEnv, hOCIError, source, &target));
    memcpy(slot_, &target, P);
}

TOraObject* TOraRef::Object() {
    if (object_) return object_;
    if (!RefType()) throw Exception(SRefNotDefined);
    if (IsNull()) throw Exception(SRefNotAssigned);
    dvoid* obj = nullptr;
    OraCheckGlobal(OCIObjectPin(hOCIEnv, hOCIError, Handle(), nullptr, OCI_PIN_LATEST, OCI_DURATION_SESSION,
                                OCI_LOCK_NONE, &obj));
    auto* o = new TOraObject(RefType());
    try {
        o->SetInstance(obj);
    } catch (...) {
        o->Release();
        throw;
    }
    object_ = o;
    return o;
}
