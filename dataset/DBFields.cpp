// Field definitions, field objects and parameters of the data-set framework.
#include "dataset/DB.h"
#include "dataset/DecimalText.h"
#include "dataset/Platform.h"
#include "dataset/StrUtil.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

[[noreturn]] void RaiseInvalidValue(const char* kind, const std::string& text) {
    throw EConvertError(FormatMsg("'%s' ist kein g\xFCltiger %s", {text, kind}));
}

} // namespace

// ---- TFieldDef(s) ----

TFieldDef::TFieldDef(TFieldDefs* owner, const std::string& name, TFieldType type, int size, bool required,
                     int fieldNo)
    : Name(name), DataType(type), Size(size), Required(required), FieldNo(fieldNo), owner_(owner) {}

TFieldDef::~TFieldDef() = default;

TFieldDefs& TFieldDef::ChildDefs() {
    if (!childDefs_) childDefs_ = std::make_unique<TFieldDefs>(this);
    return *childDefs_;
}

bool TFieldDef::HasChildDefs() const {
    return childDefs_ && childDefs_->Count() > 0;
}

TFieldDef* TFieldDef::Parent() const {
    return owner_ ? owner_->ParentDef() : nullptr;
}

TField* TFieldDef::CreateField(TDataSet* dataSet, TObjectField* parent) {
    std::unique_ptr<TField> f = CreateFieldOfType(DataType, Size);
    if (!f) return nullptr;
    f->SetFieldName(Name);
    f->SetFieldNo(FieldNo);
    f->Required = Required;
    f->ReadOnly = (Attributes & faReadonly) != 0;
    if (auto* n = dynamic_cast<TNumericField*>(f.get())) n->Precision = Precision;
    TField* field = parent ? dataSet->AddChildField(parent, std::move(f)) : dataSet->AddField(std::move(f));
    if (HasChildDefs())
        if (auto* obj = dynamic_cast<TObjectField*>(field))
            for (int i = 0; i < childDefs_->Count(); ++i)
                (*childDefs_)[i]->CreateField(dataSet, obj);
    return field;
}

TFieldDef* TFieldDefs::Add(const std::string& name, TFieldType type, int size, bool required, int fieldNo) {
    if (fieldNo == 0) fieldNo = Count() + 1;
    items_.push_back(std::make_unique<TFieldDef>(this, name, type, size, required, fieldNo));
    return items_.back().get();
}

TFieldDef* TFieldDefs::Find(const std::string& name) const {
    for (const auto& d : items_)
        if (AnsiSameText(d->Name, name)) return d.get();
    return nullptr;
}

// ---- TField ----

TField::TField(TFieldType type, int size) : dataType_(type), size_(size) {}
TField::~TField() = default;

void TField::SetDataSet(TDataSet* ds) {
    dataSet_ = ds;
}

std::string TField::FullName() const {
    if (!parentField_) return fieldName_;
    std::string p = parentField_->FullName();
    if (!fieldName_.empty() && fieldName_[0] == '[') return p + fieldName_;
    return p + "." + fieldName_;
}

bool TField::IsBlobField() const {
    switch (dataType_) {
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
    case ftOraClob:
        return true;
    default:
        return false;
    }
}

bool TField::GetData(void* buffer) const {
    if (validating_) {
        if (!valueBuffer_) return false;
        if (buffer) std::memcpy(buffer, valueBuffer_, size_t(DataSize()));
        return true;
    }
    if (!dataSet_) RaiseNoDataSet();
    return dataSet_->GetFieldData(this, buffer);
}

void TField::SetData(const void* buffer) {
    if (!dataSet_) RaiseNoDataSet();
    dataSet_->SetFieldData(this, buffer);
}

void TField::RaiseNoDataSet() const {
    throw EDatabaseError(FormatMsg(SFieldNotFound, {fieldName_}));
}

void TField::Validate(const void* buffer) {
    if (!OnValidate) return;
    validating_ = true;
    valueBuffer_ = buffer;
    try {
        OnValidate(*this);
    } catch (...) {
        validating_ = false;
        valueBuffer_ = nullptr;
        throw;
    }
    validating_ = false;
    valueBuffer_ = nullptr;
}

void TField::Change() {
    if (OnChange) OnChange(*this);
}

bool TField::IsNull() const {
    return !GetData(nullptr);
}

bool TField::CanModify() const {
    return !ReadOnly && dataSet_ && dataSet_->CanModify();
}

void TField::FocusControl() {
    if (dataSet_) dataSet_->DataEvent(deFocusControl, this);
}

void TField::RaiseRangeError(double value, double min, double max) const {
    throw EDatabaseError(
        FormatMsg(SFieldRangeError, {FloatToStr(value), DisplayLabel(), FloatToStr(min), FloatToStr(max)}));
}

void TField::SetAsVariant(const Variant& v) {
    if (v.IsNullOrEmpty())
        Clear();
    else
        throw EDatabaseError(FormatMsg(SFieldTypeMismatch, {DisplayLabel()}));
}

std::string TField::GetAsString() const {
    return VarToStr(GetAsVariant());
}
void TField::SetAsString(const std::string& s) {
    SetAsVariant(Variant(s));
}
int32_t TField::GetAsInteger() const {
    Variant v = GetAsVariant();
    return v.IsNullOrEmpty() ? 0 : v.AsInteger();
}
void TField::SetAsInteger(int32_t v) {
    SetAsVariant(Variant(v));
}
int64_t TField::GetAsLargeInt() const {
    Variant v = GetAsVariant();
    return v.IsNullOrEmpty() ? 0 : v.AsInt64();
}
void TField::SetAsLargeInt(int64_t v) {
    SetAsVariant(Variant(v));
}
double TField::GetAsFloat() const {
    Variant v = GetAsVariant();
    return v.IsNullOrEmpty() ? 0 : v.AsDouble();
}
void TField::SetAsFloat(double v) {
    SetAsVariant(Variant(v));
}
bool TField::GetAsBoolean() const {
    Variant v = GetAsVariant();
    return !v.IsNullOrEmpty() && v.AsBoolean();
}
void TField::SetAsBoolean(bool v) {
    SetAsVariant(Variant(v));
}
TDateTime TField::GetAsDateTime() const {
    Variant v = GetAsVariant();
    return v.IsNullOrEmpty() ? 0 : v.AsDateTime();
}
void TField::SetAsDateTime(TDateTime v) {
    SetAsVariant(Variant::FromDateTime(v));
}
std::u16string TField::GetAsWideString() const {
    return AnsiToWide(GetAsString());
}
void TField::SetAsWideString(const std::u16string& v) {
    SetAsString(WideToAnsi(v));
}

Variant TField::OldValue() const {
    TDataSet* ds = dataSet_;
    TDataSetState saved = ds->SetTempState(dsOldValue);
    try {
        Variant v = GetAsVariant();
        ds->RestoreState(saved);
        return v;
    } catch (...) {
        ds->RestoreState(saved);
        throw;
    }
}

bool TField::ExactNumber(std::string& text) const {
    if (validating_ || !dataSet_) return false;
    return dataSet_->GetFieldExactNumber(this, text);
}

bool TField::OldExactNumber(std::string& text) const {
    if (validating_ || !dataSet_) return false;
    TDataSet* ds = dataSet_;
    TDataSetState saved = ds->SetTempState(dsOldValue);
    try {
        bool got = ds->GetFieldExactNumber(this, text);
        ds->RestoreState(saved);
        return got;
    } catch (...) {
        ds->RestoreState(saved);
        throw;
    }
}

Variant TField::NewValue() const {
    TDataSet* ds = dataSet_;
    TDataSetState saved = ds->SetTempState(dsNewValue);
    try {
        Variant v = GetAsVariant();
        ds->RestoreState(saved);
        return v;
    } catch (...) {
        ds->RestoreState(saved);
        throw;
    }
}

// ---- TStringField ----

bool TStringField::GetValue(std::string& out) const {
    size_t cap = size_t(size_) * 2 + 2;
    if (scratch_.size() < cap) scratch_.assign(cap, '\0');
    scratch_[0] = 0;
    if (!GetData(scratch_.data())) {
        out.clear();
        return false;
    }
    out.assign(scratch_.data(), strnlen(scratch_.data(), scratch_.size()));
    return true;
}

std::string TStringField::GetAsString() const {
    std::string s;
    GetValue(s);
    return s;
}

Variant TStringField::GetAsVariant() const {
    std::string s;
    if (!GetValue(s)) return Variant::Null();
    return Variant(std::move(s));
}

void TStringField::SetAsString(const std::string& s) {
    size_t n = std::min<size_t>(s.size(), size_t(size_));
    char small[256];
    if (size_t(size_) < sizeof small) {
        std::memcpy(small, s.data(), n);
        std::memset(small + n, 0, size_t(size_) + 1 - n);
        SetData(small);
        return;
    }
    std::vector<char> buf(size_t(size_) + 1, '\0');
    std::memcpy(buf.data(), s.data(), n);
    SetData(buf.data());
}

void TStringField::SetAsVariant(const Variant& v) {
    if (v.IsNullOrEmpty())
        Clear();
    else
        SetAsString(v.AsString());
}

int32_t TStringField::GetAsInteger() const {
    std::string s = GetAsString();
    if (Trim(s).empty()) return 0;
    int64_t v;
    if (!TryStrToInt64(s, v) || v < INT32_MIN || v > INT32_MAX) RaiseInvalidValue("Integerwert", s);
    return int32_t(v);
}

double TStringField::GetAsFloat() const {
    std::string s = GetAsString();
    if (Trim(s).empty()) return 0;
    double d;
    if (!TryStrToFloat(s, d)) RaiseInvalidValue("Gleitkommawert", s);
    return d;
}

bool TStringField::GetAsBoolean() const {
    std::string s = Trim(GetAsString());
    if (s.empty()) return false;
    char c = AnsiUpperChar(s[0]);
    return c == 'T' || c == 'Y' || c == 'J';
}

TDateTime TStringField::GetAsDateTime() const {
    std::string s = GetAsString();
    if (Trim(s).empty()) return 0;
    TDateTime d;
    if (!TryStrToDateTime(s, d)) RaiseInvalidValue("Datum und Uhrzeit", s);
    return d;
}

// ---- TWideStringField ----

std::u16string TWideStringField::GetAsWideString() const {
    std::vector<char16_t> buf(size_t(size_) + 1, u'\0');
    if (!GetData(buf.data())) return std::u16string();
    size_t n = 0;
    while (n < buf.size() && buf[n])
        ++n;
    return std::u16string(buf.data(), n);
}

void TWideStringField::SetAsWideString(const std::u16string& v) {
    std::vector<char16_t> buf(size_t(size_) + 1, u'\0');
    std::copy_n(v.begin(), std::min<size_t>(v.size(), size_t(size_)), buf.begin());
    SetData(buf.data());
}

Variant TWideStringField::GetAsVariant() const {
    if (IsNull()) return Variant::Null();
    return Variant(GetAsWideString());
}

std::string TWideStringField::GetAsString() const {
    return WideToAnsi(GetAsWideString());
}
void TWideStringField::SetAsString(const std::string& s) {
    SetAsWideString(AnsiToWide(s));
}

void TWideStringField::SetAsVariant(const Variant& v) {
    if (v.IsNullOrEmpty())
        Clear();
    else
        SetAsWideString(v.AsWideString());
}

// ---- Integer fields ----

int TIntegerField::DataSize() const {
    return (dataType_ == ftSmallint || dataType_ == ftWord) ? 2 : 4;
}

bool TIntegerField::GetValue(int32_t& out) const {
    uint8_t buf[8] = {};
    if (!GetData(buf)) return false;
    if (dataType_ == ftSmallint) {
        int16_t v;
        std::memcpy(&v, buf, 2);
        out = v;
    } else if (dataType_ == ftWord) {
        uint16_t v;
        std::memcpy(&v, buf, 2);
        out = v;
    } else
        std::memcpy(&out, buf, 4);
    return true;
}

int32_t TIntegerField::GetAsInteger() const {
    int32_t v = 0;
    return GetValue(v) ? v : 0;
}

Variant TIntegerField::GetAsVariant() const {
    int32_t v;
    if (!GetValue(v)) return Variant::Null();
    if (dataType_ == ftSmallint) return Variant(int16_t(v));
    if (dataType_ == ftWord) return Variant(uint16_t(v));
    return Variant(v);
}

std::string TIntegerField::GetAsString() const {
    int32_t v;
    return GetValue(v) ? std::to_string(v) : std::string();
}

void TIntegerField::SetAsInteger(int32_t v) {
    int64_t lo = dataType_ == ftSmallint ? -32768 : dataType_ == ftWord ? 0 : INT32_MIN;
    int64_t hi = dataType_ == ftSmallint ? 32767 : dataType_ == ftWord ? 65535 : INT32_MAX;
    if (MinValue != 0 || MaxValue != 0) {
        lo = std::max(lo, MinValue);
        hi = std::min(hi, MaxValue);
    }
    if (v < lo || v > hi) RaiseRangeError(v, double(lo), double(hi));
    uint8_t buf[4];
    if (dataType_ == ftSmallint) {
        int16_t s = int16_t(v);
        std::memcpy(buf, &s, 2);
    } else if (dataType_ == ftWord) {
        uint16_t s = uint16_t(v);
        std::memcpy(buf, &s, 2);
    } else
        std::memcpy(buf, &v, 4);
    SetData(buf);
}

void TIntegerField::SetAsFloat(double v) {
    if (!std::isfinite(v) || v < INT32_MIN || v > INT32_MAX)
        RaiseRangeError(v, double(MinValue ? MinValue : INT32_MIN), double(MaxValue ? MaxValue : INT32_MAX));
    SetAsInteger(int32_t(std::llround(v)));
}

void TIntegerField::SetAsString(const std::string& s) {
    if (Trim(s).empty()) {
        Clear();
        return;
    }
    int64_t v;
    if (!TryStrToInt64(s, v)) RaiseInvalidValue("Integerwert", s);
    if (v < INT32_MIN || v > INT32_MAX) RaiseRangeError(double(v), double(INT32_MIN), double(INT32_MAX));
    SetAsInteger(int32_t(v));
}

void TIntegerField::SetAsVariant(const Variant& v) {
    if (v.IsNullOrEmpty())
        Clear();
    else if (v.IsString())
        SetAsString(v.AsString());
    else if (v.VarType() == varDouble || v.VarType() == varSingle || v.VarType() == varCurrency)
        SetAsFloat(v.AsDouble());
    else
        SetAsFloat(double(v.AsInt64()));
}

Variant TLargeintField::GetAsVariant() const {
    if (IsNull()) return Variant::Null();
    return Variant(GetAsLargeInt());
}

int64_t TLargeintField::GetAsLargeInt() const {
    int64_t v = 0;
    return GetData(&v) ? v : 0;
}

int32_t TLargeintField::GetAsInteger() const {
    int64_t v = GetAsLargeInt();
    if (v < INT32_MIN || v > INT32_MAX) RaiseRangeError(double(v), double(INT32_MIN), double(INT32_MAX));
    return int32_t(v);
}

void TLargeintField::SetAsLargeInt(int64_t v) {
    SetData(&v);
}

std::string TLargeintField::GetAsString() const {
    int64_t v = 0;
    return GetData(&v) ? std::to_string(v) : std::string();
}

void TLargeintField::SetAsString(const std::string& s) {
    if (Trim(s).empty()) {
        Clear();
        return;
    }
    int64_t v;
    if (!TryStrToInt64(s, v)) RaiseInvalidValue("Integerwert", s);
    SetAsLargeInt(v);
}

void TLargeintField::SetAsVariant(const Variant& v) {
    if (v.IsNullOrEmpty())
        Clear();
    else
        SetAsLargeInt(v.AsInt64());
}

// ---- TFloatField ----

bool TFloatField::GetValue(double& out) const {
    return GetData(&out);
}

double TFloatField::GetAsFloat() const {
    double v = 0;
    return GetData(&v) ? v : 0;
}

Variant TFloatField::GetAsVariant() const {
    double v;
    if (!GetData(&v)) return Variant::Null();
    return Currency ? Variant::FromCurrency(v) : Variant(v);
}

int32_t TFloatField::GetAsInteger() const {
    double v = GetAsFloat();
    if (!(v >= INT32_MIN && v <= INT32_MAX)) RaiseRangeError(v, double(INT32_MIN), double(INT32_MAX));
    return int32_t(std::llround(v));
}

void TFloatField::SetAsFloat(double v) {
    if ((MinValue != 0 || MaxValue != 0) && (v < MinValue || v > MaxValue))
        RaiseRangeError(v, MinValue, MaxValue);
    SetData(&v);
}

std::string TFloatField::GetAsString() const {
    double v;
    if (!GetData(&v)) return std::string();
    std::string exact;
    if (ExactNumber(exact)) {
        // Every digit, written with the user's separator as the float texts are.
        const char sep = platform::DecimalSeparator();
        if (sep != '.') std::replace(exact.begin(), exact.end(), '.', sep);
        return exact;
    }
    return FloatToStr(v);
}

void TFloatField::SetAsString(const std::string& s) {
    if (Trim(s).empty()) {
        Clear();
        return;
    }
    double d;
    if (!TryStrToFloat(s, d)) RaiseInvalidValue("Gleitkommawert", s);
    // A number of more than 15 digits keeps them where the data set can hold them.
    std::string plain = Trim(s);
    const char sep = platform::DecimalSeparator();
    if (sep != '.') std::replace(plain.begin(), plain.end(), sep, '.');
    TDecimal exact;
    if (ParseDecimal(plain, exact) && exact.SignificantDigits() > 15 && MinValue == 0 && MaxValue == 0 &&
        DataSet() && DataSet()->SetFieldExactNumber(this, DecimalToText(exact)))
        return;
    SetAsFloat(d);
}

void TFloatField::SetAsVariant(const Variant& v) {
    if (v.IsNullOrEmpty())
        Clear();
    else if (v.IsString() && IsWideDecimalText(v.AsString()) && DataSet() &&
             DataSet()->SetFieldExactNumber(this, v.AsString()))
        return; // an exact text (with a point) of more than 15 digits, as the data sets hand them on
    else if (v.IsString())
        SetAsString(v.AsString());
    else
        SetAsFloat(v.AsDouble());
}

// ---- TBooleanField ----

bool TBooleanField::GetAsBoolean() const {
    int16_t v = 0;
    return GetData(&v) && v != 0;
}

Variant TBooleanField::GetAsVariant() const {
    int16_t v = 0;
    if (!GetData(&v)) return Variant::Null();
    return Variant(v != 0);
}

void TBooleanField::SetAsBoolean(bool v) {
    int16_t b = v ? -1 : 0;
    SetData(&b);
}

std::string TBooleanField::GetAsString() const {
    int16_t v = 0;
    if (!GetData(&v)) return std::string();
    return v ? "True" : "False";
}

void TBooleanField::SetAsString(const std::string& s) {
    std::string t = Trim(s);
    if (t.empty()) {
        Clear();
        return;
    }
    std::string u = AnsiUpperCase(t);
    if (u == "TRUE" || u == "T" || u == "J" || u == "JA" || u == "Y" || u == "YES" || u == "1" || u == "-1")
        SetAsBoolean(true);
    else if (u == "FALSE" || u == "F" || u == "N" || u == "NEIN" || u == "NO" || u == "0")
        SetAsBoolean(false);
    else
        RaiseInvalidValue("boolescher Wert", s);
}

void TBooleanField::SetAsVariant(const Variant& v) {
    if (v.IsNullOrEmpty())
        Clear();
    else if (v.IsString())
        SetAsString(v.AsString());
    else
        SetAsBoolean(v.AsBoolean());
}

// ---- TDateTimeField ----

bool TDateTimeField::GetValue(TDateTime& out) const {
    uint8_t buf[8] = {};
    if (!GetData(buf)) return false;
    if (dataType_ == ftDate) {
        TTimeStamp ts;
        std::memcpy(&ts.Date, buf, 4);
        ts.Time = 0;
        out = TimeStampToDateTime(ts);
    } else if (dataType_ == ftTime) {
        TTimeStamp ts;
        std::memcpy(&ts.Time, buf, 4);
        ts.Date = DateDelta;
        out = TimeStampToDateTime(ts);
    } else {
        double ms;
        std::memcpy(&ms, buf, 8);
        out = TimeStampToDateTime(MSecsToTimeStamp(ms));
    }
    return true;
}

TDateTime TDateTimeField::GetAsDateTime() const {
    TDateTime v = 0;
    return GetValue(v) ? v : 0;
}

Variant TDateTimeField::GetAsVariant() const {
    TDateTime v;
    if (!GetValue(v)) return Variant::Null();
    return Variant::FromDateTime(v);
}

void TDateTimeField::SetAsDateTime(TDateTime v) {
    uint8_t buf[8] = {};
    if (dataType_ == ftDate || dataType_ == ftTime) {
        TTimeStamp ts = DateTimeToTimeStamp(v);
        std::memcpy(buf, dataType_ == ftDate ? &ts.Date : &ts.Time, 4);
    } else {
        double ms = DateTimeToMSecs(v);
        std::memcpy(buf, &ms, 8);
    }
    SetData(buf);
}

std::string TDateTimeField::GetAsString() const {
    TDateTime v;
    if (!GetValue(v)) return std::string();
    if (dataType_ == ftDate) return DateToStr(v);
    if (dataType_ == ftTime) return TimeToStr(v);
    return DateTimeToStr(v);
}

void TDateTimeField::SetAsString(const std::string& s) {
    if (Trim(s).empty()) {
        Clear();
        return;
    }
    TDateTime d;
    if (!TryStrToDateTime(s, d)) RaiseInvalidValue("Datum und Uhrzeit", s);
    SetAsDateTime(d);
}

void TDateTimeField::SetAsVariant(const Variant& v) {
    if (v.IsNullOrEmpty())
        Clear();
    else if (v.IsString())
        SetAsString(v.AsString());
    else
        SetAsDateTime(v.AsDateTime());
}

// ---- TBytesField ----

Variant TBytesField::GetAsVariant() const {
    std::vector<uint8_t> buf(size_t(DataSize()) + 2);
    if (!GetData(buf.data())) return Variant::Null();
    if (dataType_ == ftVarBytes) {
        uint16_t n;
        std::memcpy(&n, buf.data(), 2);
        n = std::min<uint16_t>(n, uint16_t(size_));
        return Variant::FromBytes(buf.data() + 2, n);
    }
    return Variant::FromBytes(buf.data(), size_t(size_));
}

std::string TBytesField::GetAsString() const {
    Variant v = GetAsVariant();
    if (v.IsNull()) return std::string();
    const auto& b = v.Bytes();
    return std::string(b.begin(), b.end());
}

void TBytesField::SetAsString(const std::string& s) {
    SetAsVariant(Variant::FromBytes(s.data(), s.size()));
}

void TBytesField::SetAsVariant(const Variant& v) {
    if (v.IsNullOrEmpty()) {
        Clear();
        return;
    }
    std::vector<uint8_t> bytes;
    if (v.IsByteArray())
        bytes = v.Bytes();
    else {
        std::string s = v.AsString();
        bytes.assign(s.begin(), s.end());
    }
    size_t n = std::min(bytes.size(), size_t(size_));
    std::vector<uint8_t> buf(size_t(DataSize()), 0);
    if (dataType_ == ftVarBytes) {
        uint16_t c = uint16_t(n);
        std::memcpy(buf.data(), &c, 2);
        std::memcpy(buf.data() + 2, bytes.data(), n);
    } else
        std::memcpy(buf.data(), bytes.data(), n);
    SetData(buf.data());
}

// ---- Blob fields ----

std::string TBlobField::GetAsString() const {
    auto stream = dataSet_->CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
    std::string s(size_t(stream->Size()), '\0');
    if (!s.empty()) s.resize(size_t(stream->Read(s.data(), int64_t(s.size()))));
    return s;
}

Variant TBlobField::GetAsVariant() const {
    if (IsNull()) return Variant::Null();
    std::string s = GetAsString();
    return Variant::FromBytes(s.data(), s.size());
}

Variant TMemoField::GetAsVariant() const {
    if (IsNull()) return Variant::Null();
    return Variant(GetAsString());
}

void TBlobField::SetAsString(const std::string& s) {
    auto stream = dataSet_->CreateBlobStream(this, bmWrite);
    if (!s.empty()) stream->Write(s.data(), int64_t(s.size()));
}

void TBlobField::SetAsVariant(const Variant& v) {
    if (v.IsNullOrEmpty())
        Clear();
    else if (v.IsByteArray()) {
        const auto& b = v.Bytes();
        auto stream = dataSet_->CreateBlobStream(this, bmWrite);
        if (!b.empty()) stream->Write(b.data(), int64_t(b.size()));
    } else
        SetAsString(v.AsString());
}

int64_t TBlobField::BlobSize() const {
    auto stream = dataSet_->CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
    return stream->Size();
}

void TBlobField::LoadFromStream(TStream& source) {
    auto stream = dataSet_->CreateBlobStream(this, bmWrite);
    source.SetPosition(0);
    std::vector<uint8_t> buf(65536);
    for (;;) {
        int64_t n = source.Read(buf.data(), int64_t(buf.size()));
        if (n <= 0) break;
        stream->Write(buf.data(), n);
    }
}

void TBlobField::SaveToStream(TStream& dest) const {
    auto stream = dataSet_->CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
    std::vector<uint8_t> buf(65536);
    for (;;) {
        int64_t n = stream->Read(buf.data(), int64_t(buf.size()));
        if (n <= 0) break;
        dest.Write(buf.data(), n);
    }
}

// ---- Variant, object and generic fields ----

Variant TVariantField::GetAsVariant() const {
    if (const void* vb = ValidatingBuffer()) return *static_cast<const Variant*>(vb);
    if (validating_) return Variant::Null();
    Variant v;
    if (!dataSet_->GetFieldData(this, &v)) return Variant::Null();
    return v;
}

void TVariantField::SetAsVariant(const Variant& v) {
    if (v.IsNullOrEmpty())
        Clear();
    else
        SetData(&v);
}

std::string TVariantField::GetAsString() const {
    return VarToStr(GetAsVariant());
}

Variant TObjectField::GetAsVariant() const {
    VariantArray items;
    for (TField* f : children_)
        items.push_back(f->GetAsVariant());
    return Variant::FromArray(std::move(items));
}

TField* TObjectField::FindChild(const std::string& name) const {
    for (TField* f : children_)
        if (AnsiSameText(f->FieldName(), name)) return f;
    return nullptr;
}

Variant TGenericField::GetAsVariant() const {
    return Variant::Null();
}

std::unique_ptr<TField> CreateFieldOfType(TFieldType type, int size) {
    switch (type) {
    case ftUnknown:
        return nullptr;
    case ftString:
    case ftFixedChar:
    case ftGuid:
        return std::make_unique<TStringField>(size, type);
    case ftWideString:
        return std::make_unique<TWideStringField>(size);
    case ftSmallint:
        return std::make_unique<TSmallintField>();
    case ftInteger:
    case ftAutoInc:
        return std::make_unique<TIntegerField>(type);
    case ftWord:
        return std::make_unique<TWordField>();
    case ftLargeint:
        return std::make_unique<TLargeintField>();
    case ftFloat:
        return std::make_unique<TFloatField>();
    case ftCurrency:
        return std::make_unique<TCurrencyField>();
    case ftBCD:
    case ftFMTBcd:
        return std::make_unique<TBCDField>();
    case ftBoolean:
        return std::make_unique<TBooleanField>();
    case ftDate:
        return std::make_unique<TDateField>();
    case ftTime:
        return std::make_unique<TTimeField>();
    case ftDateTime:
    case ftTimeStamp:
        return std::make_unique<TDateTimeField>(ftDateTime);
    case ftBytes:
        return std::make_unique<TBytesField>(size);
    case ftVarBytes:
        return std::make_unique<TVarBytesField>(size);
    case ftMemo:
    case ftFmtMemo:
    case ftOraClob:
        return std::make_unique<TMemoField>();
    case ftBlob:
    case ftGraphic:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
        return std::make_unique<TBlobField>(type);
    case ftVariant:
        return std::make_unique<TVariantField>();
    case ftADT:
        return std::make_unique<TADTField>();
    case ftArray:
        return std::make_unique<TArrayField>();
    case ftReference:
        return std::make_unique<TReferenceField>();
    case ftDataSet:
        return std::make_unique<TDataSetField>();
    default:
        return std::make_unique<TGenericField>(type);
    }
}

// ---- Parameters ----

void TParam::SetValue(const Variant& v) {
    value_ = v;
    Bound = true;
    if (DataType != ftUnknown) return;
    switch (v.VarType()) {
    case varString:
        DataType = ftString;
        break;
    case varOleStr:
        DataType = ftWideString;
        break;
    case varSmallint:
    case varShortInt:
    case varByte:
        DataType = ftSmallint;
        break;
    case varInteger:
    case varWord:
    case varLongWord:
        DataType = ftInteger;
        break;
    case varInt64:
        DataType = ftLargeint;
        break;
    case varSingle:
    case varDouble:
        DataType = ftFloat;
        break;
    case varCurrency:
        DataType = ftCurrency;
        break;
    case varDate:
        DataType = ftDateTime;
        break;
    case varBoolean:
        DataType = ftBoolean;
        break;
    default:
        if (v.IsByteArray()) DataType = ftBlob;
    }
}

void TParam::Assign(const TParam& other) {
    Name = other.Name;
    DataType = other.DataType;
    ParamType = other.ParamType;
    Size = other.Size;
    Bound = other.Bound;
    value_ = other.value_;
}

void TParam::AssignField(const TField& field) {
    DataType = field.DataType();
    value_ = field.GetAsVariant();
    Bound = true;
}

TParam* TParams::CreateParam(TFieldType type, const std::string& name, TParamType paramType) {
    items_.push_back(std::make_unique<TParam>(name, type, paramType));
    return items_.back().get();
}

TParam* TParams::FindParam(const std::string& name) const {
    for (const auto& p : items_)
        if (AnsiSameText(p->Name, name)) return p.get();
    return nullptr;
}

TParam* TParams::ParamByName(const std::string& name) const {
    TParam* p = FindParam(name);
    if (!p) throw EDatabaseError(FormatMsg(SParameterNotFound, {name}));
    return p;
}

void TParams::AssignValues(const TParams& source) {
    for (const auto& s : source.items_)
        if (TParam* p = FindParam(s->Name)) {
            p->SetValue(s->Value());
            if (s->DataType != ftUnknown) p->DataType = s->DataType;
            p->Bound = s->Bound;
        }
}

void TParams::Assign(const TParams& source) {
    items_.clear();
    for (const auto& s : source.items_) {
        auto p = std::make_unique<TParam>();
        p->Assign(*s);
        items_.push_back(std::move(p));
    }
}

std::string TParams::ParseSQL(const std::string& sql, bool doCreate) {
    std::string out;
    out.reserve(sql.size());
    std::vector<std::unique_ptr<TParam>> created;
    auto isNameChar = [](unsigned char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '$' || c == '#' || c >= 128;
    };
    size_t i = 0, n = sql.size();
    while (i < n) {
        char c = sql[i];
        if (c == '\'' || c == '"') {
            size_t j = sql.find(c, i + 1);
            j = j == std::string::npos ? n : j + 1;
            out.append(sql, i, j - i);
            i = j;
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            size_t j = sql.find_first_of("\r\n", i);
            j = j == std::string::npos ? n : j;
            out.append(sql, i, j - i);
            i = j;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            size_t j = sql.find("*/", i + 2);
            j = j == std::string::npos ? n : j + 2;
            out.append(sql, i, j - i);
            i = j;
        } else if (c == ':' && i + 1 < n && sql[i + 1] == ':') {
            out += ':';
            i += 2;
        } else if (c == ':' && i + 1 < n && (isNameChar((unsigned char)sql[i + 1]) || sql[i + 1] == '"')) {
            std::string name;
            size_t j = i + 1;
            if (sql[j] == '"') {
                size_t k = sql.find('"', j + 1);
                k = k == std::string::npos ? n : k;
                name = sql.substr(j + 1, k - j - 1);
                j = k < n ? k + 1 : n;
            } else {
                while (j < n && isNameChar((unsigned char)sql[j]))
                    ++j;
                name = sql.substr(i + 1, j - i - 1);
            }
            out += '?';
            i = j;
            if (doCreate) {
                auto p = std::make_unique<TParam>(name, ftUnknown, ptUnknown);
                if (TParam* old = FindParam(name)) p->Assign(*old);
                p->Name = name;
                created.push_back(std::move(p));
            }
        } else {
            out += c;
            ++i;
        }
    }
    if (doCreate) items_ = std::move(created);
    return out;
}
