// Decoders of the current generation's date-time, interval, BOOLEAN, universal ROWID and binary
// floating-point forms (see NetTypes315.h).
//
// Date-time forms: century + 100, year in century + 100 (both below 100 for years before Christ: -4712 is
// 53, 88), month, day, hour + 1, minute + 1, second + 1; then, when the value has a fraction, nanoseconds as
// four bytes, most significant first; WITH TIME ZONE adds two bytes: hour + 20 and minute + 60 of the
// offset, or, with the first byte's high bit set, a time-zone region number in the next 13 bits. WITH TIME
// ZONE and WITH LOCAL TIME ZONE travel in UTC. The calendar is Julian up to 1582-10-04 and Gregorian from
// 1582-10-15; there is no year 0.
// Intervals: each field offset so that the bytes are unsigned: years, days and nanoseconds as four bytes
// + 0x80000000, months, hours, minutes and seconds as one byte + 60.
#include "oranet/NetTypes315.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <initializer_list>

namespace oranet {

std::string RowidText(uint32_t object, uint16_t file, uint32_t block, uint16_t row);

namespace {

constexpr uint32_t FieldMid = 0x80000000u;
constexpr int ByteMid = 60;

uint32_t Be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

const uint8_t* Bytes(std::string_view raw) {
    return reinterpret_cast<const uint8_t*>(raw.data());
}

// Zero-padded decimal digits of v (v >= 0).
void PutDigits(std::string& out, long long v, int width) {
    char b[24];
    auto r = std::to_chars(b, b + sizeof b, v);
    for (int n = int(r.ptr - b); n < width; ++n)
        out.push_back('0');
    out.append(b, r.ptr);
}

// The fraction's digits: as many as the scale asks for, all nine when that would drop a non-zero digit.
void PutFraction(std::string& out, uint32_t nanos, int scale) {
    if (scale < 0 || scale > 9) scale = 9;
    uint32_t unit = 1;
    for (int i = scale; i < 9; ++i)
        unit *= 10;
    if (nanos % unit != 0) scale = 9, unit = 1;
    if (scale == 0) return;
    out.push_back('.');
    PutDigits(out, nanos / unit, scale);
}

// Astronomical year (year 0 = 1 BC) of a calendar year.
int Astronomical(int year) {
    return year < 0 ? year + 1 : year;
}

bool Gregorian(int astroYear, int month, int day) {
    if (astroYear != 1582) return astroYear > 1582;
    return month > 10 || (month == 10 && day >= 15);
}

int DaysInMonth(int astroYear, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month != 2) return days[month - 1];
    int y4 = ((astroYear % 4) + 4) % 4;
    bool leap = astroYear > 1582 ? (y4 == 0 && (astroYear % 100 != 0 || astroYear % 400 == 0)) : y4 == 0;
    return leap ? 29 : 28;
}

long long DayNumber(int astroYear, int month, int day) {
    long long a = (14 - month) / 12;
    long long y = astroYear + 4800 - a;
    long long m = month + 12 * a - 3;
    long long n = day + (153 * m + 2) / 5 + 365 * y + y / 4;
    return Gregorian(astroYear, month, day) ? n - y / 100 + y / 400 - 32045 : n - 32083;
}

void FromDayNumber(long long n, int& astroYear, int& month, int& day) {
    long long b = 0, c;
    if (n >= 2299161) {
        long long a = n + 32044;
        b = (4 * a + 3) / 146097;
        c = a - 146097 * b / 4;
    } else {
        c = n + 32082;
    }
    long long d = (4 * c + 3) / 1461;
    long long e = c - 1461 * d / 4;
    long long m = (5 * e + 2) / 153;
    day = int(e - (153 * m + 2) / 5 + 1);
    month = int(m + 3 - 12 * (m / 10));
    astroYear = int(100 * b + d - 4800 + m / 10);
}

struct TStamp {
    int year = 0; // calendar year, never 0
    int month = 0, day = 0, hour = 0, minute = 0, second = 0;
    uint32_t nanos = 0;
};

bool ReadStamp(const uint8_t* p, size_t n, TStamp& t, std::string& error) {
    t.year = (int(p[0]) - 100) * 100 + (int(p[1]) - 100);
    t.month = p[2];
    t.day = p[3];
    t.hour = p[4] - 1;
    t.minute = p[5] - 1;
    t.second = p[6] - 1;
    t.nanos = n >= 11 ? Be32(p + 7) : 0;
    const int astro = Astronomical(t.year);
    if (t.year == 0 || t.year < -4712 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > DaysInMonth(astro, t.month) || t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 ||
        t.second < 0 || t.second > 59 || t.nanos > 999999999u ||
        (astro == 1582 && t.month == 10 && t.day > 4 && t.day < 15)) {
        error = "Datum oder Uhrzeit außerhalb des Bereichs";
        return false;
    }
    return true;
}

// Moves the time by minutes (either way) across days, months and years.
bool ShiftStamp(TStamp& t, int minutes, std::string& error) {
    long long total =
        DayNumber(Astronomical(t.year), t.month, t.day) * 1440 + t.hour * 60 + t.minute + minutes;
    long long dayNumber = total / 1440;
    long long rest = total % 1440;
    if (rest < 0) rest += 1440, --dayNumber;
    int astro;
    FromDayNumber(dayNumber, astro, t.month, t.day);
    t.year = astro <= 0 ? astro - 1 : astro;
    t.hour = int(rest / 60);
    t.minute = int(rest % 60);
    if (t.year < -4713 || t.year > 10000) {
        error = "Datum außerhalb des Bereichs";
        return false;
    }
    return true;
}

void PutStamp(std::string& out, const TStamp& t, int scale) {
    if (t.year < 0) out.push_back('-');
    PutDigits(out, std::abs(t.year), 4);
    out.push_back('-');
    PutDigits(out, t.month, 2);
    out.push_back('-');
    PutDigits(out, t.day, 2);
    out.push_back(' ');
    PutDigits(out, t.hour, 2);
    out.push_back(':');
    PutDigits(out, t.minute, 2);
    out.push_back(':');
    PutDigits(out, t.second, 2);
    PutFraction(out, t.nanos, scale);
}

void PutOffset(std::string& out, int minutes) {
    out.push_back(minutes < 0 ? '-' : '+');
    PutDigits(out, std::abs(minutes) / 60, 2);
    out.push_back(':');
    PutDigits(out, std::abs(minutes) % 60, 2);
}

bool TimestampText(const TTextColumn& c, int zoneMinutes, std::string_view raw, std::string& text,
                   std::string& error) {
    const size_t n = raw.size();
    const bool withZone = c.type == wireTimestampTz;
    if (withZone ? n != 13 : n != 7 && n != 11) {
        error = "falsche Länge " + std::to_string(n);
        return false;
    }
    const uint8_t* p = Bytes(raw);
    TStamp t;
    if (!ReadStamp(p, n, t, error)) return false;
    text.clear();
    if (c.type == wireTimestamp) {
        PutStamp(text, t, c.scale);
        return true;
    }
    if (c.type == wireTimestampLtz) {
        if (!ShiftStamp(t, zoneMinutes, error)) return false;
        PutStamp(text, t, c.scale);
        return true;
    }
    if (p[11] & 0x80) {
        // A region's rules live in the server's time-zone file: the instant is shown in UTC.
        PutStamp(text, t, c.scale);
        text += " UTC";
        return true;
    }
    const int hours = int(p[11]) - 20, minutes = int(p[12]) - ByteMid;
    if (hours < -15 || hours > 15 || minutes < -59 || minutes > 59 || (hours > 0 && minutes < 0) ||
        (hours < 0 && minutes > 0)) {
        error = "Zeitzonenverschiebung außerhalb des Bereichs";
        return false;
    }
    const int offset = hours * 60 + minutes;
    if (!ShiftStamp(t, offset, error)) return false;
    PutStamp(text, t, c.scale);
    text.push_back(' ');
    PutOffset(text, offset);
    return true;
}

// Same sign for every field of an interval (zero fields go with either).
bool OneSign(std::initializer_list<long long> fields, bool& negative) {
    bool neg = false, pos = false;
    for (long long f : fields)
        neg = neg || f < 0, pos = pos || f > 0;
    negative = neg;
    return !(neg && pos);
}

int LeadingDigits(int8_t precision) {
    return precision >= 0 && precision <= 9 ? precision : 2;
}

bool IntervalYmText(const TTextColumn& c, std::string_view raw, std::string& text, std::string& error) {
    if (raw.size() != 5) {
        error = "falsche Länge " + std::to_string(raw.size());
        return false;
    }
    const uint8_t* p = Bytes(raw);
    const long long years = (long long)Be32(p) - FieldMid;
    const int months = int(p[4]) - ByteMid;
    bool negative;
    if (years < -999999999 || years > 999999999 || months < -11 || months > 11 ||
        !OneSign({years, months}, negative)) {
        error = "Intervallfeld außerhalb des Bereichs";
        return false;
    }
    text.assign(1, negative ? '-' : '+');
    PutDigits(text, std::llabs(years), LeadingDigits(c.precision));
    text.push_back('-');
    PutDigits(text, std::abs(months), 2);
    return true;
}

bool IntervalDsText(const TTextColumn& c, std::string_view raw, std::string& text, std::string& error) {
    if (raw.size() != 11) {
        error = "falsche Länge " + std::to_string(raw.size());
        return false;
    }
    const uint8_t* p = Bytes(raw);
    const long long days = (long long)Be32(p) - FieldMid;
    const int hours = int(p[4]) - ByteMid, minutes = int(p[5]) - ByteMid, seconds = int(p[6]) - ByteMid;
    const long long nanos = (long long)Be32(p + 7) - FieldMid;
    bool negative;
    if (days < -999999999 || days > 999999999 || std::abs(hours) > 23 || std::abs(minutes) > 59 ||
        std::abs(seconds) > 59 || nanos < -999999999 || nanos > 999999999 ||
        !OneSign({days, hours, minutes, seconds, nanos}, negative)) {
        error = "Intervallfeld außerhalb des Bereichs";
        return false;
    }
    text.assign(1, negative ? '-' : '+');
    PutDigits(text, std::llabs(days), LeadingDigits(c.precision));
    text.push_back(' ');
    PutDigits(text, std::abs(hours), 2);
    text.push_back(':');
    PutDigits(text, std::abs(minutes), 2);
    text.push_back(':');
    PutDigits(text, std::abs(seconds), 2);
    PutFraction(text, uint32_t(std::llabs(nanos)), c.scale);
    return true;
}

// A universal ROWID: a physical one (1, object, partition, block, slot) in the ROWID's text, a logical one
// as "*" and its bytes after the first in base 64 without padding.
bool UrowidText(std::string_view raw, std::string& text, std::string& error) {
    const uint8_t* p = Bytes(raw);
    if (raw.empty()) {
        error = "leer";
        return false;
    }
    if (p[0] == 1) {
        if (raw.size() != 13) {
            error = "falsche Länge " + std::to_string(raw.size());
            return false;
        }
        text =
            RowidText(Be32(p + 1), uint16_t((p[5] << 8) | p[6]), Be32(p + 7), uint16_t((p[11] << 8) | p[12]));
        return true;
    }
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    text.assign(1, '*');
    size_t i = 1;
    for (; i + 3 <= raw.size(); i += 3) {
        uint32_t v = (uint32_t(p[i]) << 16) | (uint32_t(p[i + 1]) << 8) | p[i + 2];
        for (int k = 18; k >= 0; k -= 6)
            text.push_back(alphabet[(v >> k) & 63]);
    }
    if (size_t left = raw.size() - i; left > 0) {
        uint32_t v = uint32_t(p[i]) << 16;
        if (left == 2) v |= uint32_t(p[i + 1]) << 8;
        for (size_t k = 0; k <= left; ++k)
            text.push_back(alphabet[(v >> (18 - 6 * k)) & 63]);
    }
    return true;
}

} // namespace

std::string CurrentTypeName(uint8_t type) {
    switch (type) {
    case wireBinaryFloat:
        return "BINARY_FLOAT";
    case wireBinaryDouble:
        return "BINARY_DOUBLE";
    case wireTimestamp:
        return "TIMESTAMP";
    case wireTimestampTz:
        return "TIMESTAMP WITH TIME ZONE";
    case wireTimestampLtz:
        return "TIMESTAMP WITH LOCAL TIME ZONE";
    case wireIntervalYm:
        return "INTERVAL YEAR TO MONTH";
    case wireIntervalDs:
        return "INTERVAL DAY TO SECOND";
    case wireBoolean:
        return "BOOLEAN";
    case wireUrowid:
        return "UROWID";
    default:
        return "Typ " + std::to_string(type);
    }
}

bool CurrentTypeAsText(uint8_t type) {
    switch (type) {
    case wireTimestamp:
    case wireTimestampTz:
    case wireTimestampLtz:
    case wireIntervalYm:
    case wireIntervalDs:
    case wireBoolean:
    case wireUrowid:
        return true;
    default:
        return false;
    }
}

uint32_t CurrentTextWidth(uint8_t type, uint32_t maxSize) {
    switch (type) {
    case wireTimestamp:
    case wireTimestampLtz:
        return 30; // "-4712-01-01 00:00:00.123456789"
    case wireTimestampTz:
        return 37; // and " +14:00"
    case wireIntervalYm:
        return 14; // "-999999999-11"
    case wireIntervalDs:
        return 30; // "-999999999 23:59:59.999999999"
    case wireBoolean:
        return 5;
    case wireUrowid:
        return std::min<uint32_t>(maxSize, 8000) * 4 / 3 + 4;
    default:
        return maxSize;
    }
}

bool CurrentValueText(const TTextColumn& column, int zoneMinutes, std::string_view raw, std::string& text,
                      std::string& error) {
    switch (column.type) {
    case wireTimestamp:
    case wireTimestampTz:
    case wireTimestampLtz:
        return TimestampText(column, zoneMinutes, raw, text, error);
    case wireIntervalYm:
        return IntervalYmText(column, raw, text, error);
    case wireIntervalDs:
        return IntervalDsText(column, raw, text, error);
    case wireBoolean:
        // The value's last byte holds it.
        if (raw.empty() || (uint8_t(raw.back()) > 1)) {
            error = "kein Wahrheitswert";
            return false;
        }
        text = raw.back() == 1 ? "TRUE" : "FALSE";
        return true;
    case wireUrowid:
        return UrowidText(raw, text, error);
    default:
        error = "Typ " + std::to_string(column.type) + " hat keine Textform";
        return false;
    }
}

bool BinaryFloatValue(uint8_t type, std::string_view raw, double& value) {
    const size_t n = type == wireBinaryFloat ? 4 : 8;
    if (raw.size() != n || (type != wireBinaryFloat && type != wireBinaryDouble)) return false;
    uint8_t b[8];
    std::memcpy(b, raw.data(), n);
    // A positive value has its sign bit set, a negative one all bits inverted.
    if (b[0] & 0x80) {
        b[0] ^= 0x80;
    } else {
        for (size_t i = 0; i < n; ++i)
            b[i] = uint8_t(~b[i]);
    }
    if (n == 4) {
        uint32_t u = Be32(b);
        float f;
        std::memcpy(&f, &u, 4);
        value = f;
        return true;
    }
    uint64_t u = (uint64_t(Be32(b)) << 32) | Be32(b + 4);
    std::memcpy(&value, &u, 8);
    return true;
}

std::string BinaryFloatText(uint8_t type, double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-Inf" : "Inf";
    char b[40];
    auto r = type == wireBinaryFloat ? std::to_chars(b, b + sizeof b, float(value))
                                     : std::to_chars(b, b + sizeof b, value);
    return std::string(b, r.ptr);
}

int ZoneOffsetMinutes(std::string_view text) {
    if (text.size() != 6 || (text[0] != '+' && text[0] != '-') || text[3] != ':') return 0;
    for (size_t i : {1, 2, 4, 5})
        if (text[i] < '0' || text[i] > '9') return 0;
    int m = ((text[1] - '0') * 10 + (text[2] - '0')) * 60 + (text[4] - '0') * 10 + (text[5] - '0');
    return text[0] == '-' ? -m : m;
}

} // namespace oranet
