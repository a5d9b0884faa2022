// One small Variant: null, empty, the integer widths, double, currency, boolean, date-time, 8-bit string,
// wide string and arrays (byte arrays and arrays of variants). All conversions live in Variant.cpp and raise
// EConvertError "Cannot convert type." where a value has no conversion.
#pragma once

#include "dataset/DateTimeUtil.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Type codes (the framework's numbering).
enum TVarType : uint16_t {
    varEmpty = 0,
    varNull = 1,
    varSmallint = 2,
    varInteger = 3,
    varSingle = 4,
    varDouble = 5,
    varCurrency = 6,
    varDate = 7,
    varOleStr = 8, // wide string
    varBoolean = 11,
    varVariant = 12, // element type of a variant array
    varShortInt = 16,
    varByte = 17,
    varWord = 18,
    varLongWord = 19,
    varInt64 = 20,
    varString = 0x100,
    varArray = 0x2000,
};

class Variant;
using VariantArray = std::vector<Variant>;

class Variant {
public:
    Variant() = default; // Empty
    Variant(int16_t v) { SetInt(varSmallint, v); }
    Variant(int32_t v) { SetInt(varInteger, v); }
    Variant(int64_t v) { SetInt(varInt64, v); }
    Variant(uint8_t v) { SetInt(varByte, v); }
    Variant(uint16_t v) { SetInt(varWord, v); }
    Variant(uint32_t v) { SetInt(varLongWord, v); }
    Variant(double v) : type_(varDouble) { d_ = v; }
    Variant(float v) : type_(varSingle) { d_ = v; }
    Variant(bool v) : type_(varBoolean) { i_ = v ? 1 : 0; }
    Variant(const char* s) : type_(varString), s_(s ? s : "") {}
    Variant(std::string s) : type_(varString), s_(std::move(s)) {}
    Variant(std::u16string s) : type_(varOleStr), w_(std::move(s)) {}
    Variant(const char16_t* s) : type_(varOleStr), w_(s ? s : u"") {}
    // Any other pointer would silently become a boolean.
    Variant(const void*) = delete;

    static Variant Null();
    static Variant Empty() { return Variant(); }
    static Variant FromShortInt(int8_t v);
    static Variant FromCurrency(double v);
    static Variant FromDateTime(TDateTime v);
    // A one-dimensional byte array with bounds 0..n-1.
    static Variant FromBytes(const void* data, size_t n);
    static Variant FromBytes(std::vector<uint8_t> bytes);
    // A one-dimensional array of variants with bounds 0..n-1.
    static Variant FromArray(VariantArray items);

    TVarType VarType() const { return type_; }
    bool IsNull() const { return type_ == varNull; }
    bool IsEmpty() const { return type_ == varEmpty; }
    bool IsNullOrEmpty() const { return type_ == varNull || type_ == varEmpty; }
    bool IsArray() const { return (type_ & varArray) != 0; }
    bool IsByteArray() const { return type_ == (varArray | varByte); }
    bool IsVariantArray() const { return type_ == (varArray | varVariant); }
    bool IsString() const { return type_ == varString || type_ == varOleStr; }
    bool IsNumeric() const; // integer widths, single, double, currency

    // Conversions; each raises EConvertError where no rule applies (Null and Empty convert to nothing except
    // that Empty reads as 0, false and "").
    int32_t AsInteger() const;
    int64_t AsInt64() const;
    double AsDouble() const;
    bool AsBoolean() const;
    TDateTime AsDateTime() const;
    std::string AsString() const;
    std::u16string AsWideString() const;

    // The text of an 8-bit string value without a copy (nil for other types).
    const std::string* StringPtr() const { return type_ == varString ? &s_ : nullptr; }

    // Array access.
    const std::vector<uint8_t>& Bytes() const; // byte arrays only (EConvertError otherwise)
    const VariantArray& Items() const;         // variant arrays only
    int ArrayHighBound() const;                // -1 for an empty array; EConvertError for a non-array

    // Equality as used by comparisons of values: Null equals only Null, numbers compare numerically, strings
    // byte-wise.
    bool Equals(const Variant& other) const;
    // Ordering: -1, 0, 1. Null sorts before everything. Raises EConvertError for values that cannot be
    // compared.
    int Compare(const Variant& other) const;

    bool operator==(const Variant& other) const { return Equals(other); }

private:
    void SetInt(TVarType t, int64_t v) {
        type_ = t;
        i_ = v;
    }
    TVarType type_ = varEmpty;
    union {
        int64_t i_ = 0;
        double d_;
    };
    std::string s_;
    std::u16string w_;
    std::shared_ptr<const std::vector<uint8_t>> bytes_;
    std::shared_ptr<const VariantArray> items_;
};

// Lenient text of a value: "" for Null and Empty, else AsString().
std::string VarToStr(const Variant& v);

// Number text with the locale's decimal separator and up to 15 significant digits.
std::string FloatToStr(double v);
// Parses a number written with the locale's decimal separator (a point is accepted too); false for other
// text.
bool TryStrToFloat(const std::string& s, double& out);
bool TryStrToInt64(const std::string& s, int64_t& out);

// Conversion of 8-bit Windows-1252 text to 16-bit text and back (characters without a 1252 form become '?').
std::u16string AnsiToWide(const std::string& s);
std::string WideToAnsi(const std::u16string& s);
