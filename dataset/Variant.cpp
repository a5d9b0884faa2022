#include "dataset/Variant.h"
#include "dataset/StrUtil.h"

#include "dataset/DBErrors.h"
#include "dataset/Platform.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// Windows-1252 code points of the bytes 0x80..0x9F (0 = undefined, mapped to the C1 control itself).
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool IsIntType(TVarType t) {
    return t == varSmallint || t == varInteger || t == varShortInt || t == varByte || t == varWord ||
           t == varLongWord || t == varInt64;
}

int64_t CheckedRound(double d) {
    if (!std::isfinite(d) || d >= 9.2233720368547758e18 || d < -9.2233720368547758e18) RaiseConvertError();
    return std::llround(d);
}

} // namespace

std::u16string AnsiToWide(const std::string& s) {
    std::u16string r;
    r.reserve(s.size());
    for (unsigned char c : s)
        r += (c >= 0x80 && c < 0xA0) ? kCp1252High[c - 0x80] : char16_t(c);
    return r;
}

std::string WideToAnsi(const std::u16string& s) {
    std::string r;
    r.reserve(s.size());
    for (char16_t c : s) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            r += char(c);
            continue;
        }
        char out = '?';
        for (int i = 0; i < 32; ++i)
            if (kCp1252High[i] == c) {
                out = char(0x80 + i);
                break;
            }
        r += out;
    }
    return r;
}

namespace {

// The %.15G text of v when the shortest text that reads back as v has at most 15 significant digits: a
// double lies closer to that decimal than half a step of the 15-digit grid, so rounding v to 15 digits
// gives the same digits. False when more digits are needed.
bool ShortFloatText(double v, std::string& out) {
    // Subnormal numbers carry fewer digits than 15: they take the general path.
    if (v != 0 && std::fabs(v) < std::numeric_limits<double>::min()) return false;
    char sci[40];
    auto r = std::to_chars(sci, sci + sizeof sci - 1, v, std::chars_format::scientific);
    if (r.ec != std::errc()) return false;
    *r.ptr = 0;
    // sci holds [-]d[.ddd]e(+|-)xx
    const char* p = sci;
    const char* end = r.ptr;
    bool negative = *p == '-';
    if (negative) ++p;
    char digits[24];
    int nd = 0;
    for (; p < end && *p != 'e'; ++p)
        if (*p != '.') {
            if (nd == 17) return false;
            digits[nd++] = *p;
        }
    if (p == end || nd > 15) return false;
    int exp = std::atoi(p + 1);
    while (nd > 1 && digits[nd - 1] == '0')
        --nd;
    if (nd == 1 && digits[0] == '0') exp = 0; // zero (and minus zero)
    out.clear();
    if (negative) out += '-';
    if (exp < -4 || exp >= 15) {
        out += digits[0];
        if (nd > 1) {
            out += '.';
            out.append(digits + 1, size_t(nd - 1));
        }
        out += 'E';
        out += exp < 0 ? '-' : '+';
        int a = exp < 0 ? -exp : exp;
        if (a < 10) out += '0';
        out += std::to_string(a);
    } else if (exp < 0) {
        out += "0.";
        out.append(size_t(-exp - 1), '0');
        out.append(digits, size_t(nd));
    } else {
        int intDigits = exp + 1;
        for (int i = 0; i < intDigits; ++i)
            out += i < nd ? digits[i] : '0';
        if (nd > intDigits) {
            out += '.';
            out.append(digits + intDigits, size_t(nd - intDigits));
        }
    }
    return true;
}

// The common numbers of a result, whole or with up to four decimals below 10^15: when m / 10^k reads back
// as v, that decimal is what rounding v to 15 digits gives (see above), so it is written as it is.
bool DecimalFloatText(double v, std::string& out) {
    static const double scale[5] = {1, 10, 100, 1000, 10000};
    if (!(std::fabs(v) < 1e15) || v == 0) return false;
    for (int k = 0; k < 5; ++k) {
        double x = v * scale[k];
        if (!(std::fabs(x) < 1e15)) return false;
        int64_t m = int64_t(x < 0 ? x - 0.5 : x + 0.5);
        if (double(m) / scale[k] != v) continue;
        char buf[32];
        int at = 32;
        uint64_t a = uint64_t(m < 0 ? -m : m);
        if (k > 0) {
            for (int i = 0; i < k; ++i) {
                buf[--at] = char('0' + a % 10);
                a /= 10;
            }
            buf[--at] = '.';
        }
        do {
            buf[--at] = char('0' + a % 10);
            a /= 10;
        } while (a > 0);
        if (m < 0) buf[--at] = '-';
        int end = 32;
        if (k > 0) {
            while (buf[end - 1] == '0')
                --end;
            if (buf[end - 1] == '.') --end;
        }
        out.assign(buf + at, size_t(end - at));
        return true;
    }
    return false;
}

} // namespace

std::string FloatToStr(double v) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
    // Fifteen significant digits, trailing zeros dropped, exponent form as printf's %.15G writes it
    // (1.5E+20), with the user's decimal separator.
    char buf[64];
    std::string s;
    if (!DecimalFloatText(v, s) && !ShortFloatText(v, s)) {
        auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
        s.assign(buf, r.ptr);
    }
    char sep = platform::DecimalSeparator();
    for (char& c : s) {
        if (c == '.')
            c = sep;
        else if (c == 'e')
            c = 'E';
    }
    return s;
}

bool TryStrToFloat(const std::string& text, double& out) {
    std::string s = Trim(text);
    if (s.empty()) return false;
    char sep = platform::DecimalSeparator();
    for (char& c : s) {
        if (c == sep)
            c = '.';
        else if (!((c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E'))
            return false;
    }
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || errno == ERANGE) return false;
    out = v;
    return true;
}

bool TryStrToInt64(const std::string& text, int64_t& out) {
    std::string s = Trim(text);
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 10);
    if (end != s.c_str() + s.size() || errno == ERANGE) return false;
    out = v;
    return true;
}

Variant Variant::Null() {
    Variant v;
    v.type_ = varNull;
    return v;
}

Variant Variant::FromShortInt(int8_t v) {
    Variant r;
    r.SetInt(varShortInt, v);
    return r;
}

Variant Variant::FromCurrency(double v) {
    Variant r;
    r.type_ = varCurrency;
    r.d_ = std::round(v * 10000.0) / 10000.0;
    return r;
}

Variant Variant::FromDateTime(TDateTime v) {
    Variant r;
    r.type_ = varDate;
    r.d_ = v;
    return r;
}

Variant Variant::FromBytes(const void* data, size_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    return FromBytes(std::vector<uint8_t>(p, p + n));
}

Variant Variant::FromBytes(std::vector<uint8_t> bytes) {
    Variant r;
    r.type_ = TVarType(varArray | varByte);
    r.bytes_ = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    return r;
}

Variant Variant::FromArray(VariantArray items) {
    Variant r;
    r.type_ = TVarType(varArray | varVariant);
    r.items_ = std::make_shared<const VariantArray>(std::move(items));
    return r;
}

bool Variant::IsNumeric() const {
    return IsIntType(type_) || type_ == varSingle || type_ == varDouble || type_ == varCurrency;
}
int64_t Variant::AsInt64() const {
    if (IsIntType(type_)) return i_;
    switch (type_) {
    case varEmpty:
        return 0;
    case varBoolean:
        return i_ ? -1 : 0;
    case varSingle:
    case varDouble:
    case varCurrency:
    case varDate:
        return CheckedRound(d_);
    case varString:
    case varOleStr: {
        std::string s = type_ == varString ? s_ : WideToAnsi(w_);
        int64_t v;
        if (TryStrToInt64(s, v)) return v;
        double d;
        if (TryStrToFloat(s, d)) return CheckedRound(d);
        RaiseConvertError();
    }
    default:
        RaiseConvertError();
    }
}

int32_t Variant::AsInteger() const {
    int64_t v = AsInt64();
    if (type_ == varLongWord) return int32_t(uint32_t(v)); // a long word keeps its bits
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        RaiseConvertError();
    return int32_t(v);
}

double Variant::AsDouble() const {
    if (IsIntType(type_)) return double(i_);
    switch (type_) {
    case varEmpty:
        return 0;
    case varBoolean:
        return i_ ? -1.0 : 0.0;
    case varSingle:
    case varDouble:
    case varCurrency:
    case varDate:
        return d_;
    case varString:
    case varOleStr: {
        double d;
        if (TryStrToFloat(type_ == varString ? s_ : WideToAnsi(w_), d)) return d;
        RaiseConvertError();
    }
    default:
        RaiseConvertError();
    }
}

bool Variant::AsBoolean() const {
    if (IsIntType(type_) || type_ == varBoolean) return i_ != 0;
    switch (type_) {
    case varEmpty:
        return false;
    case varSingle:
    case varDouble:
    case varCurrency:
    case varDate:
        return d_ != 0;
    case varString:
    case varOleStr: {
        std::string s = Trim(type_ == varString ? s_ : WideToAnsi(w_));
        if (AnsiSameText(s, "TRUE")) return true;
        if (AnsiSameText(s, "FALSE")) return false;
        double d;
        if (TryStrToFloat(s, d)) return d != 0;
        RaiseConvertError();
    }
    default:
        RaiseConvertError();
    }
}

TDateTime Variant::AsDateTime() const {
    if (IsIntType(type_)) return double(i_);
    switch (type_) {
    case varEmpty:
        return 0;
    case varSingle:
    case varDouble:
    case varCurrency:
    case varDate:
        return d_;
    case varString:
    case varOleStr: {
        TDateTime d;
        if (TryStrToDateTime(type_ == varString ? s_ : WideToAnsi(w_), d)) return d;
        RaiseConvertError();
    }
    default:
        RaiseConvertError();
    }
}

std::string Variant::AsString() const {
    if (type_ == varLongWord || type_ == varByte || type_ == varWord) return std::to_string(uint64_t(i_));
    if (IsIntType(type_)) return std::to_string(i_);
    switch (type_) {
    case varEmpty:
        return std::string();
    case varString:
        return s_;
    case varOleStr:
        return WideToAnsi(w_);
    case varBoolean:
        return i_ ? "True" : "False";
    case varSingle:
    case varDouble:
    case varCurrency:
        return FloatToStr(d_);
    case varDate:
        return DateTimeToStr(d_);
    default:
        RaiseConvertError();
    }
}

std::u16string Variant::AsWideString() const {
    if (type_ == varOleStr) return w_;
    return AnsiToWide(AsString());
}

const std::vector<uint8_t>& Variant::Bytes() const {
    if (!IsByteArray()) RaiseConvertError();
    return *bytes_;
}

const VariantArray& Variant::Items() const {
    if (!IsVariantArray()) RaiseConvertError();
    return *items_;
}

int Variant::ArrayHighBound() const {
    if (IsByteArray()) return int(bytes_->size()) - 1;
    if (IsVariantArray()) return int(items_->size()) - 1;
    RaiseConvertError();
}

bool Variant::Equals(const Variant& other) const {
    if (IsNull() || other.IsNull()) return IsNull() && other.IsNull();
    try {
        return Compare(other) == 0;
    } catch (const EConvertError&) {
        return false;
    }
}

int Variant::Compare(const Variant& o) const {
    auto sign = [](auto a, auto b) { return a < b ? -1 : (b < a ? 1 : 0); };
    if (IsNull() || o.IsNull()) return IsNull() ? (o.IsNull() ? 0 : -1) : 1;
    if (IsArray() || o.IsArray()) {
        if (IsByteArray() && o.IsByteArray()) {
            const std::vector<uint8_t>& a = *bytes_;
            const std::vector<uint8_t>& b = *o.bytes_;
            size_t n = std::min(a.size(), b.size());
            int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
            if (c != 0) return c < 0 ? -1 : 1;
            return sign(a.size(), b.size());
        }
        RaiseConvertError();
    }
    bool s1 = IsString() || IsEmpty(), s2 = o.IsString() || o.IsEmpty();
    if (s1 && s2) {
        if (type_ == varOleStr || o.type_ == varOleStr) return sign(AsWideString(), o.AsWideString());
        return sign(AsString(), o.AsString());
    }
    if (type_ == varBoolean && o.type_ == varBoolean) return sign(i_ != 0 ? 1 : 0, o.i_ != 0 ? 1 : 0);
    if (IsIntType(type_) && IsIntType(o.type_) && type_ != varLongWord && o.type_ != varLongWord)
        return sign(i_, o.i_);
    // A string against a number or date: compare as numbers (or dates) when the text converts.
    if (type_ == varDate || o.type_ == varDate) return sign(AsDateTime(), o.AsDateTime());
    if (s1 || s2) {
        double a, b;
        const Variant& sv = s1 ? *this : o;
        double d;
        if (!TryStrToFloat(sv.AsString(), d)) {
            // No number: compare the texts.
            return sign(AsString(), o.AsString());
        }
        a = s1 ? d : AsDouble();
        b = s2 ? d : o.AsDouble();
        return sign(a, b);
    }
    return sign(AsDouble(), o.AsDouble());
}

std::string VarToStr(const Variant& v) {
    return v.IsNullOrEmpty() ? std::string() : v.AsString();
}
