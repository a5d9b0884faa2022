// The data-set framework: field types and field objects, field definitions, the navigable data set with its
// states, record buffers, bookmarks and events, data sources and data links for the controls, and
// parameters. Concrete data sets (TMemDataSet) fill record buffers through the virtual buffer operations.
#pragma once

#include "dataset/DBConsts.h"
#include "dataset/DBErrors.h"
#include "dataset/Streams.h"
#include "dataset/Variant.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

enum TFieldType : uint8_t {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftGraphic,
    ftFmtMemo,
    ftParadoxOle,
    ftDBaseOle,
    ftTypedBinary,
    ftCursor,
    ftFixedChar,
    ftWideString,
    ftLargeint,
    ftADT,
    ftArray,
    ftReference,
    ftDataSet,
    ftOraBlob,
    ftOraClob,
    ftVariant,
    ftInterface,
    ftIDispatch,
    ftGuid,
    ftTimeStamp,
    ftFMTBcd,
};
inline constexpr int FieldTypeCount = ftFMTBcd + 1;

enum TDataSetState : uint8_t {
    dsInactive,
    dsBrowse,
    dsEdit,
    dsInsert,
    dsSetKey,
    dsCalcFields,
    dsFilter,
    dsNewValue,
    dsOldValue,
    dsCurValue,
    dsBlockRead,
    dsInternalCalc,
    dsOpening,
};

enum TDataEvent : uint8_t {
    deFieldChange,
    deRecordChange,
    deDataSetChange,
    deDataSetScroll,
    deLayoutChange,
    deUpdateRecord,
    deUpdateState,
    deCheckBrowseMode,
    dePropertyChange,
    deFieldListChange,
    deFocusControl,
};

enum TFieldKind : uint8_t { fkData, fkCalculated, fkLookup, fkInternalCalc };
enum TGetMode : uint8_t { gmCurrent, gmNext, gmPrior };
enum TGetResult : uint8_t { grOK, grBOF, grEOF, grError };
enum TBookmarkFlag : uint8_t { bfCurrent, bfBOF, bfEOF, bfInserted };
enum TBlobStreamMode : uint8_t { bmRead, bmWrite, bmReadWrite };
enum TParamType : uint8_t { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

// Locate options (bit set).
inline constexpr int loCaseInsensitive = 1;
inline constexpr int loPartialKey = 2;
// Filter options (bit set).
inline constexpr int foCaseInsensitive = 1;
inline constexpr int foNoPartialCompare = 2;
// Field-definition attributes (bit set).
inline constexpr int faHiddenCol = 1;
inline constexpr int faReadonly = 2;
inline constexpr int faRequired = 4;
inline constexpr int faLink = 8;
inline constexpr int faUnNamed = 16;
inline constexpr int faFixed = 32;

using TBookmark = std::vector<uint8_t>; // empty = no bookmark

class TDataSet;
class TField;
class TObjectField;
class TDataSource;

// ---- Field definitions ----

class TFieldDefs;

class TFieldDef {
public:
    TFieldDef(TFieldDefs* owner, const std::string& name, TFieldType type, int size, bool required,
              int fieldNo);
    ~TFieldDef();
    std::string Name;
    TFieldType DataType;
    int Size;
    int Precision = 0;
    bool Required;
    int Attributes = 0;
    int FieldNo; // the record store's field number
    TFieldDefs& ChildDefs();
    bool HasChildDefs() const;
    TFieldDef* Parent() const;
    // The field object for this definition (and its children), owned by the data set.
    TField* CreateField(TDataSet* dataSet, TObjectField* parent = nullptr);

private:
    TFieldDefs* owner_;
    std::unique_ptr<TFieldDefs> childDefs_;
    friend class TFieldDefs;
};

class TFieldDefs {
public:
    explicit TFieldDefs(TFieldDef* parentDef = nullptr) : parentDef_(parentDef) {}
    int Count() const { return int(items_.size()); }
    TFieldDef* operator[](int i) const { return items_[size_t(i)].get(); }
    TFieldDef* Add(const std::string& name, TFieldType type, int size = 0, bool required = false,
                   int fieldNo = 0);
    void Clear() { items_.clear(); }
    TFieldDef* Find(const std::string& name) const;
    TFieldDef* ParentDef() const { return parentDef_; }
    bool Updated = false;

private:
    TFieldDef* parentDef_;
    std::vector<std::unique_ptr<TFieldDef>> items_;
};

// ---- Fields ----

using TFieldNotify = std::function<void(TField&)>;

class TField {
public:
    TField(TFieldType type, int size = 0);
    virtual ~TField();
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    // Identity and attributes.
    const std::string& FieldName() const { return fieldName_; }
    void SetFieldName(const std::string& name) { fieldName_ = name; }
    // Full name of a child field (PARENT.CHILD).
    std::string FullName() const;
    std::string DisplayLabel() const { return displayLabel_.empty() ? fieldName_ : displayLabel_; }
    void SetDisplayLabel(const std::string& s) { displayLabel_ = s; }
    TFieldType DataType() const { return dataType_; }
    int Size() const { return size_; }
    void SetSize(int size) { size_ = size; }
    int FieldNo() const { return fieldNo_; }
    void SetFieldNo(int n) { fieldNo_ = n; }
    TFieldKind FieldKind() const { return fieldKind_; }
    void SetFieldKind(TFieldKind k) { fieldKind_ = k; }
    bool Calculated() const { return fieldKind_ == fkCalculated || fieldKind_ == fkLookup; }
    TDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TDataSet* ds);
    TObjectField* ParentField() const { return parentField_; }
    void SetParentField(TObjectField* p) { parentField_ = p; }
    int Offset() const { return offset_; }
    void SetOffset(int o) { offset_ = o; }
    bool Required = false;
    bool ReadOnly = false;
    bool Visible = true;
    bool IsBlobField() const;
    std::string DefaultExpression;
    int DisplayWidth = 0;
    int Tag = 0;
    // Whether a value was written into the field since the record was read (blobs use it).
    bool Modified = false;

    TFieldNotify OnChange;
    TFieldNotify OnValidate;

    // Bytes of the value in the exchange form.
    virtual int DataSize() const = 0;

    // Reads the value of the current buffer into buffer (nil: only tells whether there is a value).
    bool GetData(void* buffer) const;
    // Writes a value (nil = null) through the data set, which checks the state and validates first.
    void SetData(const void* buffer);
    // Runs OnValidate with the value about to be written readable through the field.
    virtual void Validate(const void* buffer);
    void Change();

    bool IsNull() const;
    void Clear() { SetData(nullptr); }
    bool CanModify() const;
    void FocusControl();

    // Value access; unconvertible values raise EConvertError.
    virtual Variant GetAsVariant() const = 0;
    virtual void SetAsVariant(const Variant& v);
    virtual std::string GetAsString() const;
    virtual void SetAsString(const std::string& s);
    virtual int32_t GetAsInteger() const;
    virtual void SetAsInteger(int32_t v);
    virtual int64_t GetAsLargeInt() const;
    virtual void SetAsLargeInt(int64_t v);
    virtual double GetAsFloat() const;
    virtual void SetAsFloat(double v);
    virtual bool GetAsBoolean() const;
    virtual void SetAsBoolean(bool v);
    virtual TDateTime GetAsDateTime() const;
    virtual void SetAsDateTime(TDateTime v);
    virtual std::u16string GetAsWideString() const;
    virtual void SetAsWideString(const std::u16string& v);
    // Text for display (the same as AsString here).
    virtual std::string DisplayText() const { return GetAsString(); }

    Variant AsVariant() const { return GetAsVariant(); }
    std::string AsString() const { return GetAsString(); }
    int32_t AsInteger() const { return GetAsInteger(); }
    double AsFloat() const { return GetAsFloat(); }
    bool AsBoolean() const { return GetAsBoolean(); }
    TDateTime AsDateTime() const { return GetAsDateTime(); }

    // The value before the current edit, and the value being applied.
    Variant OldValue() const;
    Variant NewValue() const;
    // The exact decimal text (a point as separator) of a number that a double cannot hold, when the data
    // set keeps one for this value; false otherwise (the value is then exactly what the double says).
    bool ExactNumber(std::string& text) const;
    bool OldExactNumber(std::string& text) const;

    // Validation buffer while OnValidate runs.
    const void* ValidatingBuffer() const { return validating_ ? valueBuffer_ : nullptr; }

protected:
    [[noreturn]] void RaiseRangeError(double value, double min, double max) const;
    [[noreturn]] void RaiseNoDataSet() const;
    bool ReadInto(void* buffer) const { return GetData(buffer); }

    std::string fieldName_;
    std::string displayLabel_;
    TFieldType dataType_;
    int size_;
    int fieldNo_ = 0;
    int offset_ = 0;
    TFieldKind fieldKind_ = fkData;
    TDataSet* dataSet_ = nullptr;
    TObjectField* parentField_ = nullptr;
    bool validating_ = false;
    const void* valueBuffer_ = nullptr;
};

class TStringField : public TField {
public:
    explicit TStringField(int size = 20, TFieldType type = ftString) : TField(type, size) {}
    bool FixedChar() const { return dataType_ == ftFixedChar; }
    int DataSize() const override { return size_ + 1; }
    Variant GetAsVariant() const override;
    std::string GetAsString() const override;
    void SetAsString(const std::string& s) override;
    // Reads the value without allocating when the caller keeps the buffer; returns false for null.
    bool GetValue(std::string& out) const;
    int32_t GetAsInteger() const override;
    double GetAsFloat() const override;
    bool GetAsBoolean() const override;
    TDateTime GetAsDateTime() const override;
    void SetAsVariant(const Variant& v) override;

private:
    mutable std::vector<char> scratch_;
};

class TWideStringField : public TField {
public:
    explicit TWideStringField(int size = 20) : TField(ftWideString, size) {}
    int DataSize() const override { return (size_ + 1) * 2; }
    Variant GetAsVariant() const override;
    std::string GetAsString() const override;
    void SetAsString(const std::string& s) override;
    std::u16string GetAsWideString() const override;
    void SetAsWideString(const std::u16string& v) override;
    void SetAsVariant(const Variant& v) override;
};

class TNumericField : public TField {
public:
    using TField::TField;
    int Precision = 0;
};

class TIntegerField : public TNumericField {
public:
    explicit TIntegerField(TFieldType type = ftInteger) : TNumericField(type, 0) {}
    int DataSize() const override;
    Variant GetAsVariant() const override;
    int32_t GetAsInteger() const override;
    void SetAsInteger(int32_t v) override;
    int64_t GetAsLargeInt() const override { return GetAsInteger(); }
    double GetAsFloat() const override { return GetAsInteger(); }
    std::string GetAsString() const override;
    void SetAsString(const std::string& s) override;
    void SetAsFloat(double v) override;
    void SetAsVariant(const Variant& v) override;
    // Range check when either bound is non-zero.
    int64_t MinValue = 0;
    int64_t MaxValue = 0;
    // Reads without conversions; false for null.
    bool GetValue(int32_t& out) const;
};

class TSmallintField : public TIntegerField {
public:
    TSmallintField() : TIntegerField(ftSmallint) {}
};

class TWordField : public TIntegerField {
public:
    TWordField() : TIntegerField(ftWord) {}
};

class TLargeintField : public TNumericField {
public:
    TLargeintField() : TNumericField(ftLargeint, 0) {}
    int DataSize() const override { return 8; }
    Variant GetAsVariant() const override;
    int64_t GetAsLargeInt() const override;
    void SetAsLargeInt(int64_t v) override;
    int32_t GetAsInteger() const override;
    void SetAsInteger(int32_t v) override { SetAsLargeInt(v); }
    double GetAsFloat() const override { return double(GetAsLargeInt()); }
    std::string GetAsString() const override;
    void SetAsString(const std::string& s) override;
    void SetAsVariant(const Variant& v) override;
};

class TFloatField : public TNumericField {
public:
    explicit TFloatField(TFieldType type = ftFloat) : TNumericField(type, 0) {}
    int DataSize() const override { return 8; }
    Variant GetAsVariant() const override;
    double GetAsFloat() const override;
    void SetAsFloat(double v) override;
    int32_t GetAsInteger() const override;
    void SetAsInteger(int32_t v) override { SetAsFloat(v); }
    std::string GetAsString() const override;
    void SetAsString(const std::string& s) override;
    void SetAsVariant(const Variant& v) override;
    bool GetValue(double& out) const;
    double MinValue = 0;
    double MaxValue = 0;
    bool Currency = false;
};

class TCurrencyField : public TFloatField {
public:
    TCurrencyField() : TFloatField(ftCurrency) { Currency = true; }
};

class TBCDField : public TFloatField {
public:
    TBCDField() : TFloatField(ftBCD) {}
};

class TBooleanField : public TField {
public:
    TBooleanField() : TField(ftBoolean, 0) {}
    int DataSize() const override { return 2; }
    Variant GetAsVariant() const override;
    bool GetAsBoolean() const override;
    void SetAsBoolean(bool v) override;
    std::string GetAsString() const override;
    void SetAsString(const std::string& s) override;
    void SetAsVariant(const Variant& v) override;
};

// Date, time and date-time fields; the exchange form is the day number (date), milliseconds of the day (time)
// or time-stamp milliseconds (date-time).
class TDateTimeField : public TField {
public:
    explicit TDateTimeField(TFieldType type = ftDateTime) : TField(type, 0) {}
    int DataSize() const override { return dataType_ == ftDateTime ? 8 : 4; }
    Variant GetAsVariant() const override;
    TDateTime GetAsDateTime() const override;
    void SetAsDateTime(TDateTime v) override;
    double GetAsFloat() const override { return GetAsDateTime(); }
    void SetAsFloat(double v) override { SetAsDateTime(v); }
    std::string GetAsString() const override;
    void SetAsString(const std::string& s) override;
    void SetAsVariant(const Variant& v) override;
    bool GetValue(TDateTime& out) const;
};

class TDateField : public TDateTimeField {
public:
    TDateField() : TDateTimeField(ftDate) {}
};

class TTimeField : public TDateTimeField {
public:
    TTimeField() : TDateTimeField(ftTime) {}
};

class TBytesField : public TField {
public:
    explicit TBytesField(int size = 16, TFieldType type = ftBytes) : TField(type, size) {}
    int DataSize() const override { return dataType_ == ftVarBytes ? size_ + 2 : size_; }
    Variant GetAsVariant() const override;
    std::string GetAsString() const override;
    void SetAsString(const std::string& s) override;
    void SetAsVariant(const Variant& v) override;
};

class TVarBytesField : public TBytesField {
public:
    explicit TVarBytesField(int size = 16) : TBytesField(size, ftVarBytes) {}
};

class TBlobField : public TField {
public:
    explicit TBlobField(TFieldType type = ftBlob) : TField(type, 0) {}
    int DataSize() const override { return int(sizeof(void*)); }
    Variant GetAsVariant() const override;
    std::string GetAsString() const override;
    void SetAsString(const std::string& s) override;
    void SetAsVariant(const Variant& v) override;
    int64_t BlobSize() const;
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;
};

class TMemoField : public TBlobField {
public:
    TMemoField() : TBlobField(ftMemo) {}
    Variant GetAsVariant() const override;
};

class TVariantField : public TField {
public:
    TVariantField() : TField(ftVariant, 0) {}
    int DataSize() const override { return int(sizeof(Variant)); }
    Variant GetAsVariant() const override;
    void SetAsVariant(const Variant& v) override;
    std::string GetAsString() const override;
    void SetAsString(const std::string& s) override { SetAsVariant(Variant(s)); }
};

// Fields with child fields: ADT and array fields; references and nested data sets carry no children.
class TObjectField : public TField {
public:
    explicit TObjectField(TFieldType type) : TField(type, 0) {}
    int DataSize() const override { return int(sizeof(void*)); }
    Variant GetAsVariant() const override;
    int FieldCount() const { return int(children_.size()); }
    TField* Field(int i) const { return children_[size_t(i)]; }
    void AddChild(TField* f) { children_.push_back(f); }
    TField* FindChild(const std::string& name) const;
    std::string ObjectType; // name of the server's type, given when ObjectView is on

private:
    std::vector<TField*> children_; // owned by the data set
};

class TADTField : public TObjectField {
public:
    TADTField() : TObjectField(ftADT) {}
};

class TArrayField : public TObjectField {
public:
    TArrayField() : TObjectField(ftArray) {}
};

class TReferenceField : public TObjectField {
public:
    TReferenceField() : TObjectField(ftReference) {}
};

class TDataSetField : public TObjectField {
public:
    TDataSetField() : TObjectField(ftDataSet) {}
};

// A field without value access (cursor fields and other types the framework only carries).
class TGenericField : public TField {
public:
    explicit TGenericField(TFieldType type) : TField(type, 0) {}
    int DataSize() const override { return int(sizeof(void*)); }
    Variant GetAsVariant() const override;
};

// Creates the field class for a framework type (nil for ftUnknown).
std::unique_ptr<TField> CreateFieldOfType(TFieldType type, int size);

// ---- Data links and data sources ----

class TDataLink {
public:
    TDataLink() = default;
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSource* DataSource() const { return dataSource_; }
    void SetDataSource(TDataSource* ds);
    TDataSet* DataSet() const;
    bool Active() const;
    bool Editing() const { return editing_; }
    bool Edit();
    void UpdateRecord();

    // Notifications, dispatched from the data set's events.
    virtual void ActiveChanged() {}
    virtual void DataSetChanged() { RecordChanged(nullptr); }
    virtual void DataSetScrolled(int distance) { DataSetChanged(); }
    virtual void RecordChanged(TField* field) {}
    virtual void EditingChanged() {}
    virtual void LayoutChanged() { DataSetChanged(); }
    virtual void FocusControl(TField* field) {}
    virtual void UpdateData() {}
    virtual void CheckBrowseMode() {}

    void DataEvent(TDataEvent event, TField* field);

private:
    void UpdateState();
    TDataSource* dataSource_ = nullptr;
    bool active_ = false;
    bool editing_ = false;
    bool updating_ = false;
    friend class TDataSource;
};

class TDataSource {
public:
    TDataSource() = default;
    explicit TDataSource(TDataSet* ds) { SetDataSet(ds); }
    ~TDataSource();
    TDataSource(const TDataSource&) = delete;
    TDataSource& operator=(const TDataSource&) = delete;

    TDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TDataSet* ds);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    bool AutoEdit = true;
    TDataSetState State() const;
    void Edit();

    std::function<void(TDataSource&, TField*)> OnDataChange;
    std::function<void(TDataSource&)> OnStateChange;
    std::function<void(TDataSource&)> OnUpdateData;

    void DataEvent(TDataEvent event, TField* field);
    int LinkCount() const { return int(links_.size()); }

private:
    void NotifyLinks(TDataEvent event, TField* field);
    TDataSet* dataSet_ = nullptr;
    bool enabled_ = true;
    TDataSetState lastState_ = dsInactive;
    std::vector<TDataLink*> links_;
    friend class TDataLink;
    friend class TDataSet;
};

// ---- Parameters ----

class TParam {
public:
    TParam() = default;
    TParam(const std::string& name, TFieldType type, TParamType paramType)
        : Name(name), DataType(type), ParamType(paramType) {}
    std::string Name;
    TFieldType DataType = ftUnknown;
    TParamType ParamType = ptUnknown;
    int Size = 0;
    bool Bound = false;

    const Variant& Value() const { return value_; }
    // Takes the value; the data type follows the value when it is still unknown.
    void SetValue(const Variant& v);
    bool IsNull() const { return value_.IsNullOrEmpty(); }
    void Clear() { value_ = Variant::Null(); }
    void Assign(const TParam& other);

    std::string AsString() const { return VarToStr(value_); }
    void SetAsString(const std::string& s) { SetTyped(ftString, Variant(s)); }
    int32_t AsInteger() const { return value_.IsNullOrEmpty() ? 0 : value_.AsInteger(); }
    void SetAsInteger(int32_t v) { SetTyped(ftInteger, Variant(v)); }
    double AsFloat() const { return value_.IsNullOrEmpty() ? 0 : value_.AsDouble(); }
    void SetAsFloat(double v) { SetTyped(ftFloat, Variant(v)); }
    bool AsBoolean() const { return !value_.IsNullOrEmpty() && value_.AsBoolean(); }
    void SetAsBoolean(bool v) { SetTyped(ftBoolean, Variant(v)); }
    TDateTime AsDateTime() const { return value_.IsNullOrEmpty() ? 0 : value_.AsDateTime(); }
    void SetAsDateTime(TDateTime v) { SetTyped(ftDateTime, Variant::FromDateTime(v)); }
    void SetAsDate(TDateTime v) { SetTyped(ftDate, Variant::FromDateTime(v)); }
    void SetAsMemo(const std::string& s) { SetTyped(ftMemo, Variant(s)); }
    void SetAsBlob(const std::vector<uint8_t>& b) { SetTyped(ftBlob, Variant::FromBytes(b)); }
    // Takes data type and value from a field.
    void AssignField(const TField& field);

private:
    void SetTyped(TFieldType t, const Variant& v) {
        DataType = t;
        value_ = v;
        Bound = true;
    }
    Variant value_ = Variant::Null();
};

class TParams {
public:
    int Count() const { return int(items_.size()); }
    TParam* operator[](int i) const { return items_[size_t(i)].get(); }
    TParam* Items(int i) const { return items_[size_t(i)].get(); }
    TParam* CreateParam(TFieldType type, const std::string& name, TParamType paramType);
    void Add(std::unique_ptr<TParam> p) { items_.push_back(std::move(p)); }
    void Delete(int i) { items_.erase(items_.begin() + i); }
    void Clear() { items_.clear(); }
    TParam* FindParam(const std::string& name) const;
    TParam* ParamByName(const std::string& name) const; // raises "Parameter '%s' nicht gefunden"
    // Copies the values of same-named parameters from source.
    void AssignValues(const TParams& source);
    void Assign(const TParams& source);
    // Finds the colon-prefixed parameter names in SQL (outside strings and comments), replacing each by "?"
    // in the returned text; with doCreate the list is rebuilt with one parameter per name (values of same-
    // named parameters kept). "::" stands for a literal colon.
    std::string ParseSQL(const std::string& sql, bool doCreate);

private:
    std::vector<std::unique_ptr<TParam>> items_;
};

// ---- The application's exception display ----

// Shows an exception that the framework caught and did not let through (a failing filter event); without a
// handler the message goes to the standard error stream.
using TExceptionHandler = std::function<void(const std::exception&)>;
void SetApplicationExceptionHandler(TExceptionHandler handler);
void ShowException(const std::exception& e);

// ---- The data set ----

using TDataSetNotify = std::function<void(TDataSet&)>;
using TFilterRecordEvent = std::function<void(TDataSet&, bool& accept)>;

class TDataSet {
public:
    TDataSet();
    virtual ~TDataSet();
    TDataSet(const TDataSet&) = delete;
    TDataSet& operator=(const TDataSet&) = delete;

    std::string Name;

    // ---- Opening and closing ----
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    bool Active() const { return state_ != dsInactive; }
    void SetActive(bool value);
    TDataSetState State() const { return state_; }
    bool ObjectView = true;

    // ---- Fields ----
    TFieldDefs& FieldDefs() { return fieldDefs_; }
    int FieldCount() const { return int(fields_.size()); }
    TField* Fields(int i) const { return fields_[size_t(i)]; }
    // Every field including child fields.
    int FieldListCount() const { return int(fieldList_.size()); }
    TField* FieldList(int i) const { return fieldList_[size_t(i)]; }
    TField* FindField(const std::string& name) const;
    TField* FieldByName(const std::string& name) const; // raises "Feld '%s' nicht gefunden"
    Variant FieldValues(const std::string& names) const;
    // Adds a persistent field (data, calculated or internal-calculated) before the data set opens.
    TField* AddField(std::unique_ptr<TField> field);
    // Adds a child field of an ADT or array field.
    TField* AddChildField(TObjectField* parent, std::unique_ptr<TField> field);
    bool DefaultFields() const { return defaultFields_; }
    void InitFieldDefs();

    // ---- Navigation ----
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    int MoveBy(int distance);
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    bool IsEmpty() const { return !active_buffer_valid(); }
    int RecordCount();
    int RecNo();
    void SetRecNo(int value);
    virtual bool IsSequenced() { return false; }

    // ---- Editing ----
    void Edit();
    void Insert() { BeginInsert(false); }
    void Append() { BeginInsert(true); }
    void Post();
    void Cancel();
    void Delete();
    void Refresh();
    void AppendRecord(const std::vector<Variant>& values) { InsertOrAppendRecord(values, true); }
    void InsertRecord(const std::vector<Variant>& values) { InsertOrAppendRecord(values, false); }
    void SetFields(const std::vector<Variant>& values);
    void ClearFields();
    bool Modified() const { return modified_; }
    bool CanModify() { return GetCanModify(); }
    void CheckBrowseMode();
    void UpdateRecord();
    void CursorPosChanged() { cursorPosChanged_ = true; }
    void UpdateCursorPos();
    void Resync();

    // ---- Bookmarks ----
    virtual TBookmark GetBookmark();
    void GotoBookmark(const TBookmark& bookmark);
    virtual bool BookmarkValid(const TBookmark& bookmark) { return false; }
    virtual int CompareBookmarks(const TBookmark& b1, const TBookmark& b2) { return 0; }
    int BookmarkSize() const { return bookmarkSize_; }

    // ---- Search ----
    virtual bool Locate(const std::string& keyFields, const Variant& keyValues, int options) { return false; }
    virtual Variant Lookup(const std::string& keyFields, const Variant& keyValues,
                           const std::string& resultFields) {
        return Variant::Null();
    }
    bool FindFirst() { return FindRecord(true, true); }
    bool FindNext() { return FindRecord(false, true); }
    bool FindPrior() { return FindRecord(false, false); }
    bool FindLast() { return FindRecord(true, false); }
    bool Found() const { return found_; }

    // ---- Filtering ----
    const std::string& Filter() const { return filterText_; }
    void SetFilter(const std::string& text) { SetFilterText(text); }
    bool Filtered() const { return filtered_; }
    virtual void SetFiltered(bool value) { filtered_ = value; }
    int FilterOptions() const { return filterOptions_; }
    virtual void SetFilterOptions(int options) { filterOptions_ = options; }
    virtual void SetFilterText(const std::string& text) { filterText_ = text; }
    const TFilterRecordEvent& OnFilterRecord() const { return onFilterRecord_; }
    virtual void SetOnFilterRecord(TFilterRecordEvent ev) { onFilterRecord_ = std::move(ev); }

    // ---- Controls ----
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }
    // Field-change bookkeeping and the attached data sources; the common case (no sources, no field change)
    // costs a test.
    void DataEvent(TDataEvent event, TField* field = nullptr) {
        if (event == deFieldChange) FieldChangeEvent(field);
        if (!dataSources_.empty()) NotifyDataSources(event, field);
    }

    // ---- Buffers (for field access and derived data sets) ----
    uint8_t* ActiveBuffer() const { return activeBuf_; }
    uint8_t* TempBuffer() const { return tempBuf_; }
    uint8_t* CalcBuffer() const { return calcBuf_; }
    int CalcFieldsSize() const { return calcFieldsSize_; }
    // The field's value in the current buffer; false when the field is null.
    virtual bool GetFieldData(const TField* field, void* buffer) = 0;
    virtual void SetFieldData(TField* field, const void* buffer) = 0;
    // Exact numbers beside the double (see TField::ExactNumber); data sets without them keep none.
    virtual bool GetFieldExactNumber(const TField* field, std::string& text) { return false; }
    // Stores a number of more than 15 digits exactly; false when the data set cannot (the caller then
    // stores the double).
    virtual bool SetFieldExactNumber(TField* field, const std::string& text) { return false; }
    virtual std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode);
    virtual TUpdateStatus UpdateStatus() { return usUnmodified; }
    // Switches to a temporary state for field access (filter, calculated fields, old value) and back.
    TDataSetState SetTempState(TDataSetState state);
    void RestoreState(TDataSetState state);

    // ---- Events ----
    TDataSetNotify BeforeOpen, AfterOpen, BeforeClose, AfterClose, BeforeInsert, AfterInsert, BeforeEdit,
        AfterEdit, BeforePost, AfterPost, BeforeCancel, AfterCancel, BeforeDelete, AfterDelete, BeforeScroll,
        AfterScroll, BeforeRefresh, AfterRefresh, OnNewRecord, OnCalcFields;
    bool AutoCalcFields = true;

protected:
    // ---- Virtual buffer operations of a concrete data set ----
    virtual uint8_t* AllocRecordBuffer() = 0;
    virtual void FreeRecordBuffer(uint8_t*& buffer) = 0;
    virtual TGetResult GetRecord(uint8_t* buffer, TGetMode mode, bool doCheck) = 0;
    virtual void InternalOpen() = 0;
    virtual void InternalClose() = 0;
    virtual bool IsCursorOpen() = 0;
    virtual void InternalInitFieldDefs() = 0;
    virtual void InternalFirst() = 0;
    virtual void InternalLast() = 0;
    virtual void InternalInitRecord(uint8_t* buffer) = 0;
    virtual void InternalAddRecord(uint8_t* buffer, bool append) = 0;
    virtual void InternalDelete() = 0;
    virtual void InternalPost();
    virtual void InternalCancel() {}
    virtual void InternalEdit() {}
    virtual void InternalInsert() {}
    virtual void InternalRefresh() {}
    virtual void InternalGotoBookmark(const uint8_t* bookmark) = 0;
    virtual void InternalSetToRecord(uint8_t* buffer) = 0;
    virtual void GetBookmarkData(const uint8_t* buffer, uint8_t* data) = 0;
    virtual TBookmarkFlag GetBookmarkFlag(const uint8_t* buffer) = 0;
    virtual void SetBookmarkFlag(uint8_t* buffer, TBookmarkFlag flag) = 0;
    virtual bool GetCanModify() { return true; }
    virtual int GetRecordCount() { return -1; }
    virtual int GetRecNo() { return -1; }
    virtual void SetRecNoValue(int value) {}
    virtual void InitRecord(uint8_t* buffer);
    virtual void ClearCalcFields(uint8_t* buffer);
    virtual void DoOnNewRecord();
    virtual bool FindRecord(bool restart, bool goForward) { return false; }
    virtual void OpenCursor();
    virtual void CloseCursor();
    virtual void FreeFieldBuffers() {}
    virtual void CheckRequiredFields();
    virtual void CalculateFieldsHook(uint8_t* buffer) {}

    // ---- Helpers for derived data sets ----
    void CheckActive() const;
    void CheckInactive() const;
    void SetState(TDataSetState value);
    void GetCalcFields(uint8_t* buffer);
    void CreateFields();
    void DestroyDefaultFields();
    void BindFields(bool binding);
    void ClearBuffers();
    void ActivateBuffers() { bufValid_ = true; }
    void SetBookmarkSize(int n) { bookmarkSize_ = n; }
    void SetModified(bool v) { modified_ = v; }
    void DoBeforeScroll() { Fire(BeforeScroll); }
    void DoAfterScroll() { Fire(AfterScroll); }
    void Fire(const TDataSetNotify& ev) {
        if (ev) ev(*this);
    }
    bool active_buffer_valid() const { return bufValid_ && state_ != dsInactive; }
    void SetBofEof(bool bof, bool eof) {
        bof_ = bof;
        eof_ = eof;
    }
    void SetFoundFlag(bool v) { found_ = v; }
    const TBookmark& InsertBookmark() const { return insertBookmark_; }
    bool InsertAtEnd() const { return insertAtEnd_; }

    uint8_t* activeBuf_ = nullptr;
    uint8_t* tempBuf_ = nullptr;
    uint8_t* calcBuf_ = nullptr;
    int calcFieldsSize_ = 0;
    bool cursorPosChanged_ = false;
    std::string filterText_;
    int filterOptions_ = 0;
    bool filtered_ = false;
    TFilterRecordEvent onFilterRecord_;

private:
    void FieldChangeEvent(TField* field);
    void NotifyDataSources(TDataEvent event, TField* field);
    void BeginInsert(bool append);
    void InsertOrAppendRecord(const std::vector<Variant>& values, bool append);
    void DoInternalOpen();
    void AddToFieldList(TField* f);

    TDataSetState state_ = dsInactive;
    TDataSetState stateBeforeTemp_ = dsInactive;
    bool bof_ = true;
    bool eof_ = true;
    bool bufValid_ = false;
    bool modified_ = false;
    bool found_ = false;
    bool defaultFields_ = false;
    int bookmarkSize_ = 0;
    int disableCount_ = 0;
    TDataSetState disableState_ = dsInactive;
    bool pendingChange_ = false;
    TBookmark insertBookmark_;
    bool insertAtEnd_ = false;
    TFieldDefs fieldDefs_;
    std::vector<std::unique_ptr<TField>> ownedFields_;
    std::vector<TField*> fields_;    // top level, in order
    std::vector<TField*> fieldList_; // all, including children
    std::vector<TDataSource*> dataSources_;
    friend class TDataSource;
};
