// Oracle object types: the type descriptor TOraType with its attributes and the process-wide type cache, and
// the holders of instances: TOraObject (an object), TOraArray (a VARRAY), TOraNestTable (a nested table) and
// TOraRef (a REF). Everything goes through the call-interface table; in network mode the object routines
// answer "Function is not supported".
//
// Native instances are the client library's C structures: every pointer-holding slot (strings, collections,
// REFs, LOBs, timestamps, objects stored by reference) takes one pointer and starts at a multiple of the
// pointer size, an Oracle number takes 22 bytes and a date 8, an embedded final object takes its own size
// rounded up to the pointer size. The indicator structure holds one 16-bit indicator for the object as a
// whole, then one per attribute (an embedded final object's whole indicator structure in its place).
#pragma once

#include "dataset/DateTimeUtil.h"
#include "dataset/MemData.h"
#include "ocicall/OraCall.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TOraType;
class TOraArray;
class TOraRef;

// Conversion errors of the attribute accessors.
inline constexpr const char* SCannotConvertDate = "Cannot convert type to Date";
inline constexpr const char* SCannotConvertFloat = "Cannot convert type to Float";
inline constexpr const char* SCannotConvertInteger = "Cannot convert type to Integer";
inline constexpr const char* SCannotConvertInterval = "Cannot convert type to Interval";
inline constexpr const char* SCannotConvertLob = "Cannot convert type to Lob";
inline constexpr const char* SCannotConvertOCIDate = "Cannot convert type to OCIDate";
inline constexpr const char* SCannotConvertOCINumber = "Cannot convert type to OCINumber";
inline constexpr const char* SCannotConvertOCIString = "Cannot convert type to OCIString";
inline constexpr const char* SCannotConvertObject = "Cannot convert type to Object";
inline constexpr const char* SCannotConvertString = "Cannot convert type to String";
inline constexpr const char* SCannotConvertTimeStamp = "Cannot convert type to TimeStamp";
inline constexpr const char* SObjectNotAllocated = "Object is not allocated";
inline constexpr const char* STypeNotDefined = "Type of object must be defined";
inline constexpr const char* STypeMustBeArray = "Type of object must be Array";
inline constexpr const char* STypeMustBeTable = "Type of object must be Table";
inline constexpr const char* SRefNotDefined = "Reference is not defined";
inline constexpr const char* SRefNotAssigned = "OCIRef is not assigned";
inline constexpr const char* SInvalidAttrName = "Invalid attribute name";

// The date structure of object attributes (OCIDate).
struct TOraObjDate {
    int16_t Year;
    uint8_t Month, Day, Hour, Minute, Second, Pad;
};

struct TOraAttribute {
    std::string Name; // upper case; "ELEMENT" for a collection's element
    int AttributeNo = 0;
    uint16_t OraType = 0; // the attribute's Oracle type code (1, 96, 2, 12, 23, 108, 110, 112, ...)
    uint16_t DataType = 0;
    uint16_t SubDataType = 0;
    uint16_t Length = 0;
    uint16_t Scale = 0;
    bool Fixed = false;
    uint16_t Size = 0; // in a record
    size_t NativeSize = 0;
    size_t NativeOffset = 0;
    size_t IndicatorOffset = 0; // bytes from the start of the owner's indicator structure
    size_t IndicatorSize = 2;
    // Object and collection attributes: the attribute's type (a reference held by the owning type).
    TOraType* ObjectType = nullptr;
    // REF attributes: the full name of the referenced type (looked up when the REF is pinned).
    std::string RefTypeName;
    // An object stored inside the instance (a final object type); otherwise an object is held by pointer.
    bool Embedded() const;
};

// The descriptor of an object or collection type. The framework's view (Name, DataType, Size = maximum
// element count, the attribute list) is filled from the same description.
class TOraType : public TObjectType {
public:
    // The type of that name (trimmed, upper case; "SCHEMA.NAME" or "NAME") on the service context, from the
    // process-wide cache or described and cached now. The caller receives a reference.
    static TOraType* Find(oracall::OCISvcCtx* svc, const std::string& name);
    // Descriptors in the cache (for tests and diagnostics).
    static int CacheCount();
    // Takes the descriptors of a service context that goes away (nil: of every one) out of the cache; holders
    // keep theirs, and a later lookup describes the type again.
    static void ForgetSvcCtx(oracall::OCISvcCtx* svc);

    oracall::OCISvcCtx* SvcCtx() const { return svc_; }
    oracall::OCIType* TDO() const { return tdo_; }
    // The type code of OCIObjectNew: 108 objects (58 opaque), 122 collections.
    uint16_t TypeCode() const { return typeCode_; }
    int MaxElements() const { return Size; }
    bool Final() const { return final_; }
    size_t NativeSize() const { return nativeSize_; }
    size_t IndicatorSize() const { return indicatorSize_; }
    const std::vector<TOraAttribute>& Attributes() const { return attributes_; }
    // The attribute of that name (any case), or nil.
    const TOraAttribute* FindAttribute(const std::string& name) const;

protected:
    ~TOraType() override;

private:
    TOraType(oracall::OCISvcCtx* svc, const std::string& name);
    void Describe();
    void DescribeAttribute(oracall::OCIParam* param, int number);

    oracall::OCISvcCtx* svc_;
    oracall::OCIType* tdo_ = nullptr;
    uint16_t typeCode_ = 0;
    bool final_ = true;
    size_t nativeSize_ = 0;
    size_t indicatorSize_ = 2;
    std::vector<TOraAttribute> attributes_;
};

// An object instance with its indicator structure. The holder frees only an instance it created itself.
class TOraObject : public TDBObject {
public:
    explicit TOraObject(TOraType* type = nullptr); // takes its own reference on type
    TOraType* OraType() const { return static_cast<TOraType*>(ObjectType()); }
    void SetOraType(TOraType* type);
    oracall::OCISvcCtx* SvcCtx() const;
    void* Instance() const { return instance_; }
    void* Indicator() const { return indicator_; }
    bool OwnsInstance() const { return owned_; }

    // A new instance of the type (OCIObjectNew, then OCIObjectGetInd); an old one is freed first.
    void AllocObject();
    // Frees the instance when it was created here; forgets it otherwise.
    void FreeObject();
    // Takes an instance that belongs to someone else (a pinned object): its indicators are fetched here.
    void SetInstance(void* instance);
    // Takes an instance the library allocated for this holder (a fetched value): freed with the holder.
    void AdoptInstance(void* instance);
    // The value as SQL shows it: TYPE_NAME('text', 12, NESTED_T(...)), NULL for null parts.
    std::string AsText();
    void Flush();
    void MarkDelete();
    // The object as a whole is null.
    bool IsNull() const;
    void SetNull(bool isNull);

    // Attribute access by path: names separated by ".", collection elements as "[index]" (the call
    // interface's 0-based index), for example "HOME.CITY" or "PHONES[1]". Reading a missing element gives
    // null.
    bool AttrIsNull(const std::string& path);
    void SetAttrNull(const std::string& path);
    double AttrAsFloat(const std::string& path);
    void SetAttrAsFloat(const std::string& path, double value);
    int32_t AttrAsInteger(const std::string& path);
    void SetAttrAsInteger(const std::string& path, int32_t value);
    std::string AttrAsString(const std::string& path);
    void SetAttrAsString(const std::string& path, const std::string& value);
    TDateTime AttrAsDateTime(const std::string& path);
    void SetAttrAsDateTime(const std::string& path, TDateTime value);
    // The framework's access (child fields of an object column): values in the exchange form of the
    // attribute's type (text with a terminating zero, 32-bit integer, double, date-time as milliseconds);
    // a nil destination asks only for the null flag, a nil source makes the attribute null.
    void GetAttributeValue(const std::string& path, void* dest, bool& isNull) override;
    void SetAttributeValue(const std::string& path, const void* source) override;
    // The native forms, by address.
    oracall::OCINumber* AttrAsOCINumber(const std::string& path);
    oracall::OCIString** AttrAsOCIString(const std::string& path);
    TOraObjDate* AttrAsOCIDate(const std::string& path);
    oracall::OCILobLocator* AttrAsLobLocator(const std::string& path);
    oracall::OCIDateTime* AttrAsTimeStamp(const std::string& path);
    oracall::OCIInterval* AttrAsInterval(const std::string& path);
    // Holders over an object, collection or REF attribute; the caller receives a reference, and the holder
    // keeps one on this object (whose instance it points into).
    TOraObject* AttrAsObject(const std::string& path);
    TOraArray* AttrAsArray(const std::string& path);
    TOraRef* AttrAsRef(const std::string& path);

protected:
    ~TOraObject() override;
    void CheckAllocated() const;
    // The place of a path: the attribute, its value's address and indicator, and every indicator on the way.
    struct TPlace {
        const TOraAttribute* Attr = nullptr;
        void* Value = nullptr;
        bool Null = false;
        bool Missing = false; // an element that does not exist
        bool Element = false; // the last part was "[index]"
        std::vector<void*> Indicators;
    };
    TPlace Walk(const std::string& path);
    TPlace WalkForWrite(const std::string& path);
    // A child holder over a value inside this object's instance.
    void AttachTo(TOraObject* parent, void* instance, void* indicator);

    void* instance_ = nullptr;
    void* indicator_ = nullptr;
    bool owned_ = false;
    TOraObject* parent_ = nullptr;
    int16_t ownIndicator_ = 0; // collections held by pointer inside another instance
};

// A collection (VARRAY or nested table). Elements are addressed by the call interface's 0-based index.
class TOraArray : public TOraObject {
public:
    explicit TOraArray(TOraType* type = nullptr);
    oracall::OCIColl* Collection() const { return static_cast<oracall::OCIColl*>(instance_); }
    const TOraAttribute& Element() const;
    int Size();
    bool ItemIsNull(int index) { return AttrIsNull(Index(index)); }
    std::string ItemAsString(int index) { return AttrAsString(Index(index)); }
    double ItemAsFloat(int index) { return AttrAsFloat(Index(index)); }
    int32_t ItemAsInteger(int index) { return AttrAsInteger(Index(index)); }
    TDateTime ItemAsDateTime(int index) { return AttrAsDateTime(Index(index)); }
    void SetItemAsString(int index, const std::string& v) { SetAttrAsString(Index(index), v); }
    void SetItemAsFloat(int index, double v) { SetAttrAsFloat(Index(index), v); }
    void SetItemAsInteger(int index, int32_t v) { SetAttrAsInteger(Index(index), v); }
    // Appends one element (OCICollAppend); a null element with AppendNull.
    void AppendString(const std::string& value);
    void AppendFloat(double value);
    void AppendInteger(int32_t value);
    void AppendNull();

protected:
    static std::string Index(int i) { return "[" + std::to_string(i) + "]"; }
    void Append(const void* value, bool isNull);
};

// A nested table: its elements can be deleted, leaving gaps that OCITableNext skips.
class TOraNestTable : public TOraArray {
public:
    explicit TOraNestTable(TOraType* type = nullptr);
    // Elements that are not deleted.
    int TableSize();
    void DeleteItem(int index);
    // The next existing index after index (-1 for the first); -1 when there is none.
    int NextIndex(int index);
};

// A REF with its referenced type; pins the referenced object on demand.
class TOraRef : public TDBObject {
public:
    explicit TOraRef(TOraType* refType = nullptr); // takes its own reference on refType
    TOraType* RefType() const { return static_cast<TOraType*>(ObjectType()); }
    oracall::OCIRef* Handle() const;
    // The address a define or bind hands the REF through (the holder's own REF).
    oracall::OCIRef** HandleAddr() { return &own_; }
    bool IsNull() const;
    void Clear();
    // Copies a REF (OCIRefAssign) into this holder.
    void Assign(const oracall::OCIRef* source);
    // The referenced object, pinned on first use (OCIObjectPin); the holder keeps it.
    TOraObject* Object();

protected:
    ~TOraRef() override;

private:
    friend class TOraObject;
    void UnpinObject();
    oracall::OCIRef* own_ = nullptr;
    void* slot_ =
        &own_; // where the REF pointer lies: the holder's own, or a REF attribute inside an instance
    TOraObject* parent_ = nullptr; // the object whose instance holds the REF attribute
    TOraObject* object_ = nullptr;
};
