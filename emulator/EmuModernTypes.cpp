// The wire forms of the column types the current generation sends natively: TIMESTAMP (7 or 11 bytes),
// WITH TIME ZONE (13 bytes, in UTC, then the offset as hour + 20 and minute + 60, or a region number with
// the first byte's high bit set), WITH LOCAL TIME ZONE (in UTC), the intervals (years, days and nanoseconds
// as four bytes + 0x80000000; months, hours, minutes, seconds as one byte + 60) and BOOLEAN.
//
// The values are kept in SQLite as the engine keeps dates (a day number) or as text in the column's own
// form: "2024-02-29 13:45:00.123456789", with " +05:30" or " Asia/Kolkata" after it for WITH TIME ZONE;
// "+02-03" and "-01 02:03:04.5" for the intervals; "NaN", "Inf", "-Inf" for the binary floats.
#include "emulator/EmuModernTypes.h"

#include "emulator/EmuValues.h"

#include <cstdlib>
#include <cstring>

namespace vemu {

namespace {

constexpr uint32_t kFieldMid = 0x80000000u;
constexpr int kByteMid = 60;

// Time-zone regions the emulator knows: ones without daylight saving, so that the offset is fixed.
struct Region {
    const char* name;
    int id;
    int minutes;
};
const Region kRegions[] = {
    {"UTC", 1, 0},           {"Asia/Kolkata", 2, 330}, {"Asia/Tokyo", 3, 540}, {"Pacific/Kiritimati", 4, 840},
    {"Etc/GMT+12", 5, -720},
};

void Put32(std::string& s, uint32_t v) {
    s += static_cast<char>(v >> 24);
    s += static_cast<char>(v >> 16);
    s += static_cast<char>(v >> 8);
    s += static_cast<char>(v);
}

int Astro(int y) {
    return y < 0 ? y + 1 : y;
}

bool IsGregorian(int a, int m, int d) {
    return a != 1582 ? a > 1582 : (m > 10 || (m == 10 && d >= 15));
}

long long DayNumber(int a, int m, int d) {
    long long k = (14 - m) / 12, y = a + 4800 - k, mm = m + 12 * k - 3;
    long long n = d + (153 * mm + 2) / 5 + 365 * y + y / 4;
    return IsGregorian(a, m, d) ? n - y / 100 + y / 400 - 32045 : n - 32083;
}

void FromDayNumber(long long n, int& a, int& m, int& d) {
    long long b = 0, c = n + 32082;
    if (n >= 2299161) {
        long long x = n + 32044;
        b = (4 * x + 3) / 146097;
        c = x - 146097 * b / 4;
    }
    long long dd = (4 * c + 3) / 1461, e = c - 1461 * dd / 4, mm = (5 * e + 2) / 153;
    d = static_cast<int>(e - (153 * mm + 2) / 5 + 1);
    m = static_cast<int>(mm + 3 - 12 * (mm / 10));
    a = static_cast<int>(100 * b + dd - 4800 + mm / 10);
}

struct Stamp {
    int year = 1, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    long nanos = 0;
    bool zoned = false;
    int offset = 0; // minutes east of UTC
    int region = 0; // a region's number, 0 for an offset
};

void Shift(Stamp& t, int minutes) {
    long long total = DayNumber(Astro(t.year), t.month, t.day) * 1440 + t.hour * 60 + t.minute + minutes;
    long long dn = total / 1440, rest = total % 1440;
    if (rest < 0) rest += 1440, --dn;
    int a;
    FromDayNumber(dn, a, t.month, t.day);
    t.year = a <= 0 ? a - 1 : a;
    t.hour = static_cast<int>(rest / 60);
    t.minute = static_cast<int>(rest % 60);
}

// Reads n digits at p; false when any is not a digit.
bool Digits(const std::string& s, size_t& p, size_t n, long& out) {
    out = 0;
    if (p + n > s.size()) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = s[p + i];
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    p += n;
    return true;
}

bool Expect(const std::string& s, size_t& p, char c) {
    if (p >= s.size() || s[p] != c) return false;
    ++p;
    return true;
}

bool ParseStamp(const std::string& s, Stamp& t) {
    size_t p = 0;
    bool bc = !s.empty() && s[0] == '-';
    if (bc) ++p;
    long y, mo, d, h, mi, se;
    if (!Digits(s, p, 4, y) || !Expect(s, p, '-') || !Digits(s, p, 2, mo) || !Expect(s, p, '-') ||
        !Digits(s, p, 2, d) || !Expect(s, p, ' ') || !Digits(s, p, 2, h) || !Expect(s, p, ':') ||
        !Digits(s, p, 2, mi) || !Expect(s, p, ':') || !Digits(s, p, 2, se))
        return false;
    t.year = static_cast<int>(bc ? -y : y);
    t.month = static_cast<int>(mo), t.day = static_cast<int>(d), t.hour = static_cast<int>(h);
    t.minute = static_cast<int>(mi), t.second = static_cast<int>(se);
    if (t.year == 0 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 ||
        t.minute > 59 || t.second > 59)
        return false;
    if (p < s.size() && s[p] == '.') {
        ++p;
        size_t start = p;
        t.nanos = 0;
        while (p < s.size() && s[p] >= '0' && s[p] <= '9' && p - start < 9)
            t.nanos = t.nanos * 10 + (s[p++] - '0');
        if (p == start) return false;
        for (size_t k = p - start; k < 9; ++k)
            t.nanos *= 10;
    }
    if (p == s.size()) return true;
    if (!Expect(s, p, ' ')) return false;
    t.zoned = true;
    if (s[p] == '+' || s[p] == '-') {
        bool neg = s[p++] == '-';
        long oh, om;
        if (!Digits(s, p, 2, oh) || !Expect(s, p, ':') || !Digits(s, p, 2, om) || p != s.size() || oh > 14 ||
            om > 59)
            return false;
        t.offset = static_cast<int>((neg ? -1 : 1) * (oh * 60 + om));
        return true;
    }
    std::string name = s.substr(p);
    for (const Region& r : kRegions)
        if (name == r.name) {
            t.offset = r.minutes;
            t.region = r.id;
            return true;
        }
    return false;
}

void PutStamp(std::string& out, const Stamp& t, bool fraction) {
    out += static_cast<char>(t.year / 100 + 100);
    out += static_cast<char>(t.year % 100 + 100);
    out += static_cast<char>(t.month);
    out += static_cast<char>(t.day);
    out += static_cast<char>(t.hour + 1);
    out += static_cast<char>(t.minute + 1);
    out += static_cast<char>(t.second + 1);
    if (fraction) Put32(out, static_cast<uint32_t>(t.nanos));
}

bool TimestampBytes(int wire, const Value& v, std::string& out) {
    Stamp t;
    if (v.kind == Value::Int || v.kind == Value::Real) {
        DateTime dt = DateTimeFromDayNumber(v.kind == Value::Int ? static_cast<double>(v.i) : v.r);
        t.year = dt.year, t.month = dt.month, t.day = dt.day;
        t.hour = dt.hour, t.minute = dt.minute, t.second = dt.second;
    } else if (v.kind != Value::Text || !ParseStamp(v.s, t)) {
        return false;
    }
    out.clear();
    if (wire == kWireTimestampTz) {
        // Sent in UTC with the zone it was given in.
        Shift(t, -t.offset);
        PutStamp(out, t, true);
        if (t.region != 0) {
            out += static_cast<char>(0x80 | (t.region >> 6));
            out += static_cast<char>((t.region & 0x3F) << 2);
        } else {
            out += static_cast<char>(t.offset / 60 + 20);
            out += static_cast<char>(t.offset % 60 + kByteMid);
        }
        return true;
    }
    // WITH LOCAL TIME ZONE is kept in the database's zone, UTC; TIMESTAMP has no zone. Both leave out a
    // fraction of zero.
    if (t.zoned && wire == kWireTimestampLtz) Shift(t, -t.offset);
    PutStamp(out, t, t.nanos != 0);
    return true;
}

bool IntervalBytes(int wire, const Value& v, std::string& out) {
    if (v.kind != Value::Text || v.s.empty()) return false;
    const std::string& s = v.s;
    size_t p = 0;
    int sign = 1;
    if (s[0] == '+' || s[0] == '-') sign = s[p++] == '-' ? -1 : 1;
    size_t start = p;
    long lead = 0;
    while (p < s.size() && s[p] >= '0' && s[p] <= '9' && p - start < 9)
        lead = lead * 10 + (s[p++] - '0');
    if (p == start) return false;
    out.clear();
    if (wire == kWireIntervalYm) {
        long months;
        if (!Expect(s, p, '-') || !Digits(s, p, 2, months) || p != s.size() || months > 11) return false;
        Put32(out, static_cast<uint32_t>(kFieldMid + static_cast<uint32_t>(sign * lead)));
        out += static_cast<char>(sign * months + kByteMid);
        return true;
    }
    long h, mi, se, nanos = 0;
    if (!Expect(s, p, ' ') || !Digits(s, p, 2, h) || !Expect(s, p, ':') || !Digits(s, p, 2, mi) ||
        !Expect(s, p, ':') || !Digits(s, p, 2, se) || h > 23 || mi > 59 || se > 59)
        return false;
    if (p < s.size() && s[p] == '.') {
        ++p;
        size_t f = p;
        while (p < s.size() && s[p] >= '0' && s[p] <= '9' && p - f < 9)
            nanos = nanos * 10 + (s[p++] - '0');
        if (p == f) return false;
        for (size_t k = p - f; k < 9; ++k)
            nanos *= 10;
    }
    if (p != s.size()) return false;
    Put32(out, static_cast<uint32_t>(kFieldMid + static_cast<uint32_t>(sign * lead)));
    out += static_cast<char>(sign * h + kByteMid);
    out += static_cast<char>(sign * mi + kByteMid);
    out += static_cast<char>(sign * se + kByteMid);
    Put32(out, static_cast<uint32_t>(kFieldMid + static_cast<uint32_t>(sign * nanos)));
    return true;
}

} // namespace

bool WireValueBytes(int wire, const Value& v, std::string& out) {
    switch (wire) {
    case kWireTimestamp:
    case kWireTimestampTz:
    case kWireTimestampLtz:
        return TimestampBytes(wire, v, out);
    case kWireIntervalYm:
    case kWireIntervalDs:
        return IntervalBytes(wire, v, out);
    default:
        return false;
    }
}

bool RowidFromText(const std::string& text, RowidParts& parts) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (text.size() != 18) return false;
    unsigned long long fields[4] = {};
    const size_t widths[4] = {6, 3, 6, 3};
    size_t at = 0;
    for (int f = 0; f < 4; ++f)
        for (size_t k = 0; k < widths[f]; ++k) {
            size_t d = alphabet.find(text[at++]);
            if (d == std::string::npos) return false;
            fields[f] = fields[f] << 6 | d;
        }
    if (fields[0] > 0xFFFFFFFFull || fields[1] > 0xFFFF || fields[2] > 0xFFFFFFFFull || fields[3] > 0xFFFF)
        return false;
    parts.object = fields[0], parts.file = fields[1], parts.block = fields[2], parts.row = fields[3];
    return true;
}

double BinaryValue(const Value& v) {
    if (v.kind == Value::Int) return static_cast<double>(v.i);
    if (v.kind == Value::Real) return v.r;
    return std::strtod(v.s.c_str(), nullptr); // "NaN", "Inf", "-Inf" and numbers kept as text
}

uint32_t WireSize(int wire) {
    switch (wire) {
    case kWireTimestamp:
    case kWireTimestampLtz:
        return 11;
    case kWireTimestampTz:
        return 13;
    case kWireIntervalYm:
        return 5;
    case kWireIntervalDs:
        return 11;
    case kWireBinaryFloat:
        return 4;
    case kWireBinaryDouble:
        return 8;
    case kWireBoolean:
        return 1;
    default:
        return 0;
    }
}

} // namespace vemu
