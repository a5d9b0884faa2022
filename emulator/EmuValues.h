// Value forms of the wire: Oracle NUMBER bytes, the 7-byte DATE, date texts in NLS formats, and the
// Windows-1252 <-> UTF-8 edge (the database keeps UTF-8 text, the wire carries Windows-1252).
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace vemu {

// A decimal number: value = 0.digits * 10^exp10 ... written as sign, significant digits and the position of
// the decimal point counted from the first digit (pointPos = number of digits before the point; may be <= 0
// or > size).
struct Decimal {
    bool negative = false;
    std::string digits; // no leading zeros; empty = zero
    int pointPos = 0;
};

Decimal DecimalFromInt(long long v);
Decimal DecimalFromDouble(double v);                         // 15 significant digits
bool DecimalFromText(const std::string& text, Decimal& out); // "12.5", "-.5", "1e3", blanks around
std::string DecimalToText(const Decimal& d);                 // Oracle's plain form: ".5", "-12.25", "100"
std::string EncodeNumber(const Decimal& d);                  // Oracle NUMBER bytes
// Allocation-free forms for the fetch path; out must hold 22 bytes; the result is the length.
size_t EncodeIntNumber(long long v, uint8_t* out);
size_t EncodeDoubleNumber(double v, uint8_t* out);           // 15 significant digits
bool DecodeNumber(const uint8_t* p, size_t n, Decimal& out); // false on malformed bytes
// Decimal -> value for SQLite: integral and within 64 bits -> isInt.
void DecimalToValue(const Decimal& d, bool& isInt, long long& i, double& f);

// Numbers a double would round (more than 15 significant digits and no 64-bit integer) are kept in SQLite
// as text: the plain decimal text followed by the mark '#'. The mark keeps SQLite's NUMERIC affinity from
// turning the text into a REAL; SQLite's arithmetic still reads the number in front of it (as a double, so
// sums and products of such values are approximate), equality between them is exact, and their order
// against other numbers is SQLite's (numbers before texts), not numeric.
constexpr char kWideNumberMark = '#';
bool IsWideDecimal(const Decimal& d);
std::string WideNumberText(const Decimal& d);
// A stored wide number back; false for any other text.
bool WideNumberFromText(const std::string& text, Decimal& out);

// Civil date-time.
struct DateTime {
    int year = 1, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
double JulianFromDateTime(const DateTime& dt);
DateTime DateTimeFromJulian(double jd);
std::string EncodeDate(const DateTime& dt); // 7 bytes
bool DecodeDate(const uint8_t* p, size_t n, DateTime& out);
DateTime NowLocal();
bool ValidDate(const DateTime& dt);

// Oracle date format models (DD.MM.YYYY, DD-MON-RR, HH24:MI:SS, Month, Day, FM, "text" ...).
// language: "AMERICAN"/"ENGLISH" or "GERMAN". Output is UTF-8.
std::string FormatDate(const DateTime& dt, const std::string& format, const std::string& language);
// Parses text with a format model; error text on failure ("ORA-01861: ..." style message without prefix).
bool ParseDate(const std::string& text, const std::string& format, const std::string& language, DateTime& out,
               std::string& error);
// Oracle number format models for TO_CHAR(number, fmt): 9, 0, '.', ',', D, G, FM, S, MI, $. Returns false
// when the model is not understood (the caller then formats plainly).
bool FormatNumber(double v, const std::string& format, std::string& out);

std::string Win1252ToUtf8(const std::string& s);
std::string Utf8ToWin1252(const std::string& s);
inline bool IsAscii(const char* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (static_cast<unsigned char>(p[i]) >= 0x80) return false;
    return true;
}

std::string UpperAscii(std::string s);

} // namespace vemu
