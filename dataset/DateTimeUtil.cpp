#include "dataset/DateTimeUtil.h"

#include "dataset/DBErrors.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Days from 1 January 0001 (day 0) to the given civil date, proleptic Gregorian calendar.
int64_t DaysFromCivil(int y, int m, int d) {
    static const int cum[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    int64_t yy = y - 1;
    int64_t days = yy * 365 + yy / 4 - yy / 100 + yy / 400 + cum[m - 1] + (d - 1);
    if (m > 2 && IsLeapYear(y)) days += 1;
    return days;
}

int DaysInMonth(int y, int m) {
    static const int dim[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return (m == 2 && IsLeapYear(y)) ? 29 : dim[m - 1];
}

std::string g_shortDate = "dd.mm.yyyy";
std::string g_longTime = "hh:nn:ss";

} // namespace

bool IsLeapYear(int year) {
    return (year % 4 == 0) && (year % 100 != 0 || year % 400 == 0);
}

TTimeStamp DateTimeToTimeStamp(TDateTime value) {
    TTimeStamp ts;
    double msd = value * MSecsPerDay;
    if (!(msd > -9.0e17 && msd < 9.0e17)) // also false for NaN
        RaiseConvertError();
    int64_t ms = RoundMSecs(msd);
    int64_t days = ms / 86400000;
    ts.Date = int32_t(DateDelta + days);
    ts.Time = int32_t(std::llabs(ms) % 86400000);
    return ts;
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return false;
    out = double(DaysFromCivil(year, month, day) - (DateDelta - 1));
    return true;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& out) {
    if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999)
        return false;
    out = (((hour * 60.0 + min) * 60.0 + sec) * 1000.0 + msec) / MSecsPerDay;
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime r;
    if (!TryEncodeDate(year, month, day, r)) RaiseConvertError();
    return r;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
    TDateTime r;
    if (!TryEncodeTime(hour, min, sec, msec, r)) RaiseConvertError();
    return r;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
    TTimeStamp ts = DateTimeToTimeStamp(value);
    int64_t n = ts.Date - 1; // days since 0001-01-01
    if (n < 0) {
        year = month = day = 0;
        return;
    }
    int64_t y400 = n / 146097;
    n %= 146097;
    int64_t y100 = n / 36524;
    if (y100 == 4) y100 = 3;
    n -= y100 * 36524;
    int64_t y4 = n / 1461;
    n %= 1461;
    int64_t y1 = n / 365;
    if (y1 == 4) y1 = 3;
    n -= y1 * 365;
    year = int(y400 * 400 + y100 * 100 + y4 * 4 + y1 + 1);
    month = 1;
    while (n >= DaysInMonth(year, month)) {
        n -= DaysInMonth(year, month);
        ++month;
    }
    day = int(n + 1);
}

void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec) {
    TTimeStamp ts = DateTimeToTimeStamp(value);
    int t = ts.Time;
    hour = t / 3600000;
    min = t / 60000 % 60;
    sec = t / 1000 % 60;
    msec = t % 1000;
}

namespace locale_fmt {
const std::string& ShortDateFormat() {
    return g_shortDate;
}
const std::string& LongTimeFormat() {
    return g_longTime;
}
void SetShortDateFormat(const std::string& fmt) {
    g_shortDate = fmt;
}
void SetLongTimeFormat(const std::string& fmt) {
    g_longTime = fmt;
}
} // namespace locale_fmt

namespace {

// Appends v (0 <= v < 100000) in decimal with at least minDigits digits.
void AppendNumber(std::string& out, int v, int minDigits) {
    char buf[8];
    int at = 8;
    do {
        buf[--at] = char('0' + v % 10);
        v /= 10;
    } while (v > 0 && at > 0);
    while (8 - at < minDigits && at > 0)
        buf[--at] = '0';
    out.append(buf + at, size_t(8 - at));
}

struct TDateParts {
    int v[7]; // year, month, day, hour, minute, second, millisecond
    explicit TDateParts(TDateTime value) {
        DecodeDate(value, v[0], v[1], v[2]);
        DecodeTime(value, v[3], v[4], v[5], v[6]);
    }
};

// One piece of a format: a literal text, or a part of the date with its least number of digits.
struct TFormatItem {
    int part = -1; // index into TDateParts::v, -1 for literal text
    int minDigits = 1;
    bool twoDigitYear = false;
    std::string literal;
};

std::vector<TFormatItem> CompileFormat(const std::string& format) {
    std::vector<TFormatItem> items;
    auto literal = [&items](const char* p, size_t n) {
        if (items.empty() || items.back().part >= 0) items.emplace_back();
        items.back().literal.append(p, n);
    };
    size_t i = 0;
    while (i < format.size()) {
        char c = format[i];
        char lc = char(c | 0x20);
        if (c == '\'' || c == '"') {
            size_t j = format.find(c, i + 1);
            if (j == std::string::npos) j = format.size();
            literal(format.data() + i + 1, j - i - 1);
            i = j + 1;
            continue;
        }
        size_t n = 0;
        if (lc >= 'a' && lc <= 'z')
            while (i + n < format.size() && (format[i + n] | 0x20) == lc)
                ++n;
        TFormatItem item;
        switch (n ? lc : 0) {
        case 'd':
            item.part = 2;
            item.minDigits = n >= 2 ? 2 : 1;
            break;
        case 'm':
            item.part = 1;
            item.minDigits = n >= 2 ? 2 : 1;
            break;
        case 'y':
            item.part = 0;
            item.twoDigitYear = n <= 2;
            item.minDigits = n <= 2 ? 2 : 4;
            break;
        case 'h':
            item.part = 3;
            item.minDigits = n >= 2 ? 2 : 1;
            break;
        case 'n':
            item.part = 4;
            item.minDigits = n >= 2 ? 2 : 1;
            break;
        case 's':
            item.part = 5;
            item.minDigits = n >= 2 ? 2 : 1;
            break;
        case 'z':
            item.part = 6;
            item.minDigits = n >= 3 ? 3 : 1;
            break;
        default:
            literal(&c, 1);
            ++i;
            continue;
        }
        items.push_back(std::move(item));
        i += n;
    }
    return items;
}

// The formats in use change rarely (short date, long time): the last few stay compiled.
const std::vector<TFormatItem>& CompiledFormat(const std::string& format) {
    struct Entry {
        std::string format;
        std::vector<TFormatItem> items;
        bool used = false;
    };
    static thread_local Entry cache[4];
    static thread_local unsigned next = 0;
    for (Entry& e : cache)
        if (e.used && e.format == format) return e.items;
    Entry& e = cache[next++ % 4];
    e.format = format;
    e.items = CompileFormat(format);
    e.used = true;
    return e.items;
}

void AppendFormatted(std::string& out, const std::string& format, const TDateParts& parts) {
    for (const TFormatItem& item : CompiledFormat(format)) {
        if (item.part < 0)
            out += item.literal;
        else
            AppendNumber(out, item.twoDigitYear ? parts.v[0] % 100 : parts.v[item.part], item.minDigits);
    }
}

} // namespace

std::string FormatDateTimeStr(const std::string& format, TDateTime value) {
    std::string out;
    out.reserve(format.size() + 4);
    AppendFormatted(out, format, TDateParts(value));
    return out;
}

std::string DateToStr(TDateTime value) {
    return FormatDateTimeStr(g_shortDate, value);
}
std::string TimeToStr(TDateTime value) {
    return FormatDateTimeStr(g_longTime, value);
}

std::string DateTimeToStr(TDateTime value) {
    const TDateParts parts(value);
    std::string out;
    out.reserve(g_shortDate.size() + g_longTime.size() + 8);
    AppendFormatted(out, g_shortDate, parts);
    if (parts.v[3] != 0 || parts.v[4] != 0 || parts.v[5] != 0 || parts.v[6] != 0) {
        out += ' ';
        AppendFormatted(out, g_longTime, parts);
    }
    return out;
}

namespace {

bool ReadInt(const std::string& t, size_t& i, int& v, size_t maxDigits = 9) {
    size_t start = i;
    v = 0;
    while (i < t.size() && i - start < maxDigits && t[i] >= '0' && t[i] <= '9')
        v = v * 10 + (t[i++] - '0');
    return i > start;
}

void SkipBlanks(const std::string& t, size_t& i) {
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t'))
        ++i;
}

bool ParseTime(const std::string& t, size_t& i, TDateTime& out) {
    int h = 0, mi = 0, s = 0, ms = 0;
    if (!ReadInt(t, i, h, 2) || i >= t.size() || t[i] != ':') return false;
    ++i;
    if (!ReadInt(t, i, mi, 2)) return false;
    if (i < t.size() && t[i] == ':') {
        ++i;
        if (!ReadInt(t, i, s, 2)) return false;
        if (i < t.size() && (t[i] == '.' || t[i] == ',')) {
            ++i;
            size_t st = i;
            if (!ReadInt(t, i, ms, 3)) return false;
            for (size_t k = i - st; k < 3; ++k)
                ms *= 10;
        }
    }
    return TryEncodeTime(h, mi, s, ms, out);
}

} // namespace

bool TryStrToDateTime(const std::string& text, TDateTime& out) {
    size_t i = 0;
    SkipBlanks(text, i);
    // A time alone.
    {
        size_t j = i;
        TDateTime t;
        if (ParseTime(text, j, t)) {
            SkipBlanks(text, j);
            if (j == text.size()) {
                out = t;
                return true;
            }
        }
    }
    int parts[3];
    char seps[2] = {0, 0};
    int count = 0;
    size_t digitsFirst = 0;
    while (count < 3) {
        size_t st = i;
        if (!ReadInt(text, i, parts[count], 4)) break;
        if (count == 0) digitsFirst = i - st;
        ++count;
        if (count < 3) {
            if (i < text.size() && (text[i] == '.' || text[i] == '/' || text[i] == '-')) {
                seps[count - 1] = text[i];
                ++i;
            } else
                break;
        }
    }
    if (count < 2) return false;
    int y, m, d;
    if (count == 3 && digitsFirst == 4 && seps[0] == '-') {
        y = parts[0];
        m = parts[1];
        d = parts[2];
    } else {
        // Order of the elements as in the short date format.
        std::string order;
        for (char c : g_shortDate) {
            char lc = char(c | 0x20);
            if ((lc == 'd' || lc == 'm' || lc == 'y') && order.find(lc) == std::string::npos) order += lc;
        }
        if (order.size() != 3) order = "dmy";
        int val[3] = {0, 0, 0}; // d, m, y
        int yearNow = 2000;
        int k = 0;
        for (char e : order) {
            int idx = e == 'd' ? 0 : e == 'm' ? 1 : 2;
            if (k < count)
                val[idx] = parts[k];
            else if (idx == 2)
                val[idx] = yearNow; // a missing year
            ++k;
        }
        if (count == 2 && order[2] != 'y') return false;
        d = val[0];
        m = val[1];
        y = val[2];
        if (count == 3 && y < 100) y += y < 50 ? 2000 : 1900;
    }
    TDateTime date;
    if (!TryEncodeDate(y, m, d, date)) return false;
    SkipBlanks(text, i);
    if (i < text.size()) {
        TDateTime t;
        if (!ParseTime(text, i, t)) return false;
        SkipBlanks(text, i);
        if (i < text.size()) return false;
        date = date >= 0 ? date + t : date - t;
    }
    out = date;
    return true;
}

// ---- Locale-aware comparison of Windows-1252 text ----

namespace {

struct Weight {
    uint16_t primary;
    uint8_t accent;
    uint8_t upper;
};

// Base letter (upper case) and accent class of the Windows-1252 letters above 127.
struct Latin {
    unsigned char code;
    char base;
    uint8_t accent;
    bool upper;
};

const Latin kLatin[] = {
    {0x8A, 'S', 5, true},  {0x9A, 'S', 5, false}, {0x8E, 'Z', 5, true},  {0x9E, 'Z', 5, false},
    {0x9F, 'Y', 4, true},  {0xC0, 'A', 2, true},  {0xC1, 'A', 1, true},  {0xC2, 'A', 3, true},
    {0xC3, 'A', 6, true},  {0xC4, 'A', 4, true},  {0xC5, 'A', 7, true},  {0xC7, 'C', 8, true},
    {0xC8, 'E', 2, true},  {0xC9, 'E', 1, true},  {0xCA, 'E', 3, true},  {0xCB, 'E', 4, true},
    {0xCC, 'I', 2, true},  {0xCD, 'I', 1, true},  {0xCE, 'I', 3, true},  {0xCF, 'I', 4, true},
    {0xD0, 'D', 9, true},  {0xD1, 'N', 6, true},  {0xD2, 'O', 2, true},  {0xD3, 'O', 1, true},
    {0xD4, 'O', 3, true},  {0xD5, 'O', 6, true},  {0xD6, 'O', 4, true},  {0xD8, 'O', 10, true},
    {0xD9, 'U', 2, true},  {0xDA, 'U', 1, true},  {0xDB, 'U', 3, true},  {0xDC, 'U', 4, true},
    {0xDD, 'Y', 1, true},  {0xE0, 'A', 2, false}, {0xE1, 'A', 1, false}, {0xE2, 'A', 3, false},
    {0xE3, 'A', 6, false}, {0xE4, 'A', 4, false}, {0xE5, 'A', 7, false}, {0xE7, 'C', 8, false},
    {0xE8, 'E', 2, false}, {0xE9, 'E', 1, false}, {0xEA, 'E', 3, false}, {0xEB, 'E', 4, false},
    {0xEC, 'I', 2, false}, {0xED, 'I', 1, false}, {0xEE, 'I', 3, false}, {0xEF, 'I', 4, false},
    {0xF0, 'D', 9, false}, {0xF1, 'N', 6, false}, {0xF2, 'O', 2, false}, {0xF3, 'O', 1, false},
    {0xF4, 'O', 3, false}, {0xF5, 'O', 6, false}, {0xF6, 'O', 4, false}, {0xF8, 'O', 10, false},
    {0xF9, 'U', 2, false}, {0xFA, 'U', 1, false}, {0xFB, 'U', 3, false}, {0xFC, 'U', 4, false},
    {0xFD, 'Y', 1, false}, {0xFF, 'Y', 4, false},
};

struct WeightTable {
    Weight w[256];
    WeightTable() {
        for (int c = 0; c < 256; ++c) {
            Weight x{uint16_t(0x100 + c), 0, 0};
            if (c >= '0' && c <= '9')
                x.primary = uint16_t(0x300 + c);
            else if (c >= 'a' && c <= 'z')
                x.primary = uint16_t(0x400 + (c - 'a') * 4);
            else if (c >= 'A' && c <= 'Z')
                x = Weight{uint16_t(0x400 + (c - 'A') * 4), 0, 1};
            w[c] = x;
        }
        for (const Latin& l : kLatin)
            w[l.code] = Weight{uint16_t(0x400 + (l.base - 'A') * 4), l.accent, uint8_t(l.upper ? 1 : 0)};
    }
};

const WeightTable& Table() {
    static const WeightTable t;
    return t;
}

void Expand(const std::string& s, std::vector<Weight>& out) {
    const WeightTable& t = Table();
    out.clear();
    out.reserve(s.size() + 2);
    for (unsigned char c : s) {
        switch (c) {
        case 0xDF: // sharp s sorts as ss
            out.push_back(t.w['s']);
            out.push_back(Weight{t.w['s'].primary, 11, 0});
            break;
        case 0xC6:
        case 0xE6: // ae ligature
            out.push_back(Weight{t.w['a'].primary, 12, uint8_t(c == 0xC6)});
            out.push_back(Weight{t.w['e'].primary, 12, uint8_t(c == 0xC6)});
            break;
        case 0x8C:
        case 0x9C: // oe ligature
            out.push_back(Weight{t.w['o'].primary, 12, uint8_t(c == 0x8C)});
            out.push_back(Weight{t.w['e'].primary, 12, uint8_t(c == 0x8C)});
            break;
        default:
            out.push_back(t.w[c]);
        }
    }
}

int Compare(const std::string& a, const std::string& b, bool ignoreCase) {
    thread_local std::vector<Weight> wa, wb;
    Expand(a, wa);
    Expand(b, wb);
    size_t n = std::min(wa.size(), wb.size());
    for (size_t i = 0; i < n; ++i)
        if (wa[i].primary != wb[i].primary) return wa[i].primary < wb[i].primary ? -1 : 1;
    if (wa.size() != wb.size()) return wa.size() < wb.size() ? -1 : 1;
    for (size_t i = 0; i < n; ++i)
        if (wa[i].accent != wb[i].accent) return wa[i].accent < wb[i].accent ? -1 : 1;
    if (!ignoreCase)
        for (size_t i = 0; i < n; ++i)
            if (wa[i].upper != wb[i].upper) return wa[i].upper < wb[i].upper ? -1 : 1;
    return 0;
}

} // namespace

int AnsiCompareStr(const std::string& a, const std::string& b) {
    return Compare(a, b, false);
}
int AnsiCompareText(const std::string& a, const std::string& b) {
    return Compare(a, b, true);
}

char AnsiUpperChar(char ch) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 'a' && c <= 'z') return char(c - 32);
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return char(c - 32);
    if (c == 0x9A || c == 0x9C || c == 0x9E) return char(c - 16);
    if (c == 0xFF) return char(0x9F);
    return ch;
}

std::string AnsiUpperCase(const std::string& s) {
    std::string r(s);
    for (char& c : r)
        c = AnsiUpperChar(c);
    return r;
}
