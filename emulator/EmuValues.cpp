#include "emulator/EmuValues.h"
#include "emulator/EmuErrors.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace vemu {

std::string UpperAscii(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// ---------------------------------------------------------------- decimals

static void Normalize(Decimal& d) {
    size_t lead = 0;
    while (lead < d.digits.size() && d.digits[lead] == '0')
        ++lead;
    if (lead) {
        d.digits.erase(0, lead);
        d.pointPos -= static_cast<int>(lead);
    }
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    if (d.digits.empty()) {
        d.negative = false;
        d.pointPos = 0;
    }
}

Decimal DecimalFromInt(long long v) {
    Decimal d;
    unsigned long long u;
    if (v < 0) {
        d.negative = true;
        u = 0ULL - static_cast<unsigned long long>(v);
    } else {
        u = static_cast<unsigned long long>(v);
    }
    d.digits = std::to_string(u);
    d.pointPos = static_cast<int>(d.digits.size());
    Normalize(d);
    return d;
}

Decimal DecimalFromDouble(double v) {
    Decimal d;
    if (!std::isfinite(v) || v == 0) return d;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", v); // 15 significant digits: d.dddddddddddddde+XX
    const char* p = buf;
    if (*p == '-') {
        d.negative = true;
        ++p;
    }
    std::string digits;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') digits += *p;
    int exp10 = 0;
    if (*p == 'e') exp10 = std::atoi(p + 1);
    d.digits = digits;
    d.pointPos = exp10 + 1;
    Normalize(d);
    return d;
}

bool DecimalFromText(const std::string& text, Decimal& out) {
    out = Decimal();
    size_t i = 0, n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    while (n > i && (text[n - 1] == ' ' || text[n - 1] == '\t'))
        --n;
    if (i < n && (text[i] == '+' || text[i] == '-')) out.negative = text[i++] == '-';
    std::string digits;
    int point = -1;
    bool any = false;
    for (; i < n; ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9') {
            digits += c;
            any = true;
        } else if (c == '.' && point < 0) {
            point = static_cast<int>(digits.size());
        } else {
            break;
        }
    }
    if (!any) return false;
    int exp10 = 0;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool eneg = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) eneg = text[i++] == '-';
        if (i >= n) return false;
        long long e = 0;
        for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
            e = e * 10 + (text[i] - '0');
            if (e > 100000) return false;
        }
        exp10 = static_cast<int>(eneg ? -e : e);
    }
    if (i != n) return false;
    out.digits = digits;
    out.pointPos = (point < 0 ? static_cast<int>(digits.size()) : point) + exp10;
    Normalize(out);
    return true;
}

std::string DecimalToText(const Decimal& d) {
    if (d.digits.empty()) return "0";
    std::string s = d.negative ? "-" : "";
    int n = static_cast<int>(d.digits.size());
    if (d.pointPos > 40 ||
        d.pointPos < -40) { // scientific form, as Oracle does for very large or small values
        s += d.digits.substr(0, 1);
        if (n > 1) s += "." + d.digits.substr(1);
        int e = d.pointPos - 1;
        s += e >= 0 ? "E+" : "E-";
        s += std::to_string(e >= 0 ? e : -e);
        return s;
    }
    if (d.pointPos <= 0) {
        s += "." + std::string(-d.pointPos, '0') + d.digits;
    } else if (d.pointPos >= n) {
        s += d.digits + std::string(d.pointPos - n, '0');
    } else {
        s += d.digits.substr(0, d.pointPos) + "." + d.digits.substr(d.pointPos);
    }
    return s;
}

std::string EncodeNumber(const Decimal& in) {
    Decimal d = in;
    Normalize(d);
    if (d.digits.empty()) return std::string(1, '\x80');
    std::string digits = d.digits;
    int k = d.pointPos;
    if (k % 2 != 0) { // align the base-100 pairs on the decimal point
        digits = "0" + digits;
        ++k;
    }
    if (digits.size() % 2) digits += '0';
    std::vector<int> pairs;
    for (size_t i = 0; i < digits.size(); i += 2)
        pairs.push_back((digits[i] - '0') * 10 + (digits[i + 1] - '0'));
    int e = k / 2 - 1;
    if (pairs.size() > 20) { // 40 significant digits at most: round
        bool up = pairs[20] >= 50;
        pairs.resize(20);
        for (int i = 19; up && i >= 0; --i) {
            if (++pairs[i] == 100) {
                pairs[i] = 0;
                if (i == 0) {
                    pairs.insert(pairs.begin(), 1);
                    pairs.pop_back();
                    ++e;
                }
            } else {
                up = false;
            }
        }
    }
    while (pairs.size() > 1 && pairs.back() == 0)
        pairs.pop_back();
    std::string out;
    if (!d.negative) {
        out += static_cast<char>(static_cast<uint8_t>(0xC1 + e));
        for (int p : pairs)
            out += static_cast<char>(p + 1);
    } else {
        out += static_cast<char>(static_cast<uint8_t>(~static_cast<uint8_t>(0xC1 + e)));
        for (int p : pairs)
            out += static_cast<char>(101 - p);
        if (pairs.size() < 20) out += static_cast<char>(102);
    }
    return out;
}

namespace {
// digits[0..n) (no leading zeros), point after pointPos digits
size_t EncodeDigits(bool neg, const char* digits, int n, int pointPos, uint8_t* out) {
    while (n > 0 && digits[n - 1] == '0')
        --n;
    if (n == 0) {
        out[0] = 0x80;
        return 1;
    }
    char buf[48];
    int len = 0;
    int k = pointPos;
    if (k % 2 != 0) {
        buf[len++] = '0';
        ++k;
    }
    for (int i = 0; i < n && len < 44; ++i)
        buf[len++] = digits[i];
    if (len % 2) buf[len++] = '0';
    int pairs = len / 2;
    if (pairs > 20) pairs = 20; // callers pass at most 19 digits
    int e = k / 2 - 1;
    while (pairs > 1 && buf[2 * (pairs - 1)] == '0' && buf[2 * (pairs - 1) + 1] == '0')
        --pairs;
    size_t o = 0;
    if (!neg) {
        out[o++] = static_cast<uint8_t>(0xC1 + e);
        for (int i = 0; i < pairs; ++i)
            out[o++] = static_cast<uint8_t>((buf[2 * i] - '0') * 10 + (buf[2 * i + 1] - '0') + 1);
    } else {
        out[o++] = static_cast<uint8_t>(~static_cast<uint8_t>(0xC1 + e));
        for (int i = 0; i < pairs; ++i)
            out[o++] = static_cast<uint8_t>(101 - ((buf[2 * i] - '0') * 10 + (buf[2 * i + 1] - '0')));
        if (pairs < 20) out[o++] = 102;
    }
    return o;
}

int UnsignedDigits(unsigned long long u, char* out) {
    char tmp[24];
    int n = 0;
    do {
        tmp[n++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u);
    for (int i = 0; i < n; ++i)
        out[i] = tmp[n - 1 - i];
    return n;
}
} // namespace

size_t EncodeIntNumber(long long v, uint8_t* out) {
    if (v == 0) {
        out[0] = 0x80;
        return 1;
    }
    bool neg = v < 0;
    unsigned long long u =
        neg ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    char d[24];
    int n = UnsignedDigits(u, d);
    return EncodeDigits(neg, d, n, n, out);
}

size_t EncodeDoubleNumber(double v, uint8_t* out) {
    if (std::isinf(v)) { // Oracle's forms of the infinities: FF 65 and the single byte 00
        if (v < 0) {
            out[0] = 0;
            return 1;
        }
        out[0] = 0xFF;
        out[1] = 0x65;
        return 2;
    }
    if (std::isnan(v) || v == 0) {
        out[0] = 0x80;
        return 1;
    }
    // values with at most 6 decimals and 15 digits: an exact scaled integer, no text conversion
    static const double scales[] = {1, 100, 10000, 1000000};
    for (int k = 0; k < 4; ++k) {
        double m = v * scales[k];
        if (std::fabs(m) < 1e15 && m == std::floor(m)) {
            bool neg = m < 0;
            char d[24];
            int n = UnsignedDigits(static_cast<unsigned long long>(neg ? -m : m), d);
            return EncodeDigits(neg, d, n, n - 2 * k, out);
        }
    }
    std::string s = EncodeNumber(DecimalFromDouble(v));
    std::memcpy(out, s.data(), s.size());
    return s.size();
}

bool DecodeNumber(const uint8_t* p, size_t n, Decimal& out) {
    out = Decimal();
    if (n == 0 || n > 22) return false;
    if (n == 1 && p[0] == 0x80) return true;
    if ((n == 2 && p[0] == 0xFF && p[1] == 0x65) || (n == 1 && p[0] == 0)) return false; // infinities
    bool positive = p[0] & 0x80;
    int e;
    std::string digits;
    if (positive) {
        e = (p[0] & 0x7F) - 65;
        for (size_t i = 1; i < n; ++i) {
            int d = p[i] - 1;
            if (d < 0 || d > 99) return false;
            digits += static_cast<char>('0' + d / 10);
            digits += static_cast<char>('0' + d % 10);
        }
    } else {
        e = ((~p[0]) & 0x7F) - 65;
        size_t end = n;
        if (end > 1 && p[end - 1] == 102) --end;
        for (size_t i = 1; i < end; ++i) {
            int d = 101 - p[i];
            if (d < 0 || d > 99) return false;
            digits += static_cast<char>('0' + d / 10);
            digits += static_cast<char>('0' + d % 10);
        }
        out.negative = true;
    }
    out.digits = digits;
    out.pointPos = 2 * (e + 1);
    Normalize(out);
    return true;
}

bool IsWideDecimal(const Decimal& d) {
    if (d.digits.size() <= 15) return false;
    bool isInt;
    long long i;
    double f;
    DecimalToValue(d, isInt, i, f);
    return !isInt;
}

std::string WideNumberText(const Decimal& d) {
    return DecimalToText(d) + kWideNumberMark;
}

bool WideNumberFromText(const std::string& text, Decimal& out) {
    if (text.size() < 2 || text.back() != kWideNumberMark) return false;
    return DecimalFromText(text.substr(0, text.size() - 1), out);
}

void DecimalToValue(const Decimal& d, bool& isInt, long long& i, double& f) {
    isInt = false;
    i = 0;
    f = 0;
    if (d.digits.empty()) {
        isInt = true;
        return;
    }
    int n = static_cast<int>(d.digits.size());
    if (d.pointPos >= n && d.pointPos <= 19) {
        // Every integer of the 64-bit range stays an integer (19 digits need the overflow check).
        const unsigned long long limit = 9223372036854775807ull + (d.negative ? 1u : 0u);
        unsigned long long u = 0;
        bool fits = true;
        for (int k = 0; k < d.pointPos && fits; ++k) {
            unsigned digit = k < n ? static_cast<unsigned>(d.digits[static_cast<size_t>(k)] - '0') : 0u;
            if (u > (limit - digit) / 10) fits = false;
            u = u * 10 + digit;
        }
        if (fits) {
            isInt = true;
            i = d.negative ? static_cast<long long>(0ull - u) : static_cast<long long>(u);
            f = static_cast<double>(i);
            return;
        }
    }
    std::string s = (d.negative ? "-0." : "0.") + d.digits + "e" + std::to_string(d.pointPos);
    f = std::strtod(s.c_str(), nullptr);
}

// ---------------------------------------------------------------- dates

static long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

static void CivilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long yy = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

double JulianFromDateTime(const DateTime& dt) {
    long long days = DaysFromCivil(dt.year, static_cast<unsigned>(dt.month), static_cast<unsigned>(dt.day));
    double secs = dt.hour * 3600.0 + dt.minute * 60.0 + dt.second;
    return 2440587.5 + static_cast<double>(days) + secs / 86400.0;
}

DateTime DateTimeFromJulian(double jd) {
    DateTime dt;
    if (!std::isfinite(jd) || jd < 0 || jd > 5373484.5) return dt;
    long long secs = std::llround((jd - 2440587.5) * 86400.0);
    long long days = secs >= 0 ? secs / 86400 : -((-secs + 86399) / 86400);
    long long sod = secs - days * 86400;
    CivilFromDays(days, dt.year, dt.month, dt.day);
    dt.hour = static_cast<int>(sod / 3600);
    dt.minute = static_cast<int>(sod / 60 % 60);
    dt.second = static_cast<int>(sod % 60);
    return dt;
}

static int DaysInMonth(int y, int m) {
    static const int dm[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
    return dm[m - 1];
}

bool ValidDate(const DateTime& dt) {
    return dt.year >= 1 && dt.year <= 9999 && dt.month >= 1 && dt.month <= 12 && dt.day >= 1 &&
           dt.day <= DaysInMonth(dt.year, dt.month) && dt.hour >= 0 && dt.hour < 24 && dt.minute >= 0 &&
           dt.minute < 60 && dt.second >= 0 && dt.second < 60;
}

std::string EncodeDate(const DateTime& dt) {
    std::string s(7, '\0');
    s[0] = static_cast<char>(dt.year / 100 + 100);
    s[1] = static_cast<char>(dt.year % 100 + 100);
    s[2] = static_cast<char>(dt.month);
    s[3] = static_cast<char>(dt.day);
    s[4] = static_cast<char>(dt.hour + 1);
    s[5] = static_cast<char>(dt.minute + 1);
    s[6] = static_cast<char>(dt.second + 1);
    return s;
}

bool DecodeDate(const uint8_t* p, size_t n, DateTime& out) {
    if (n < 7) return false;
    out.year = p[0] * 100 + p[1] - 10100;
    out.month = p[2];
    out.day = p[3];
    out.hour = p[4] - 1;
    out.minute = p[5] - 1;
    out.second = p[6] - 1;
    return ValidDate(out);
}

DateTime NowLocal() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    DateTime dt;
    dt.year = tm.tm_year + 1900;
    dt.month = tm.tm_mon + 1;
    dt.day = tm.tm_mday;
    dt.hour = tm.tm_hour;
    dt.minute = tm.tm_min;
    dt.second = tm.tm_sec;
    return dt;
}

namespace {

const char* kMonthsEn[] = {"JANUARY", "FEBRUARY", "MARCH",     "APRIL",   "MAY",      "JUNE",
                           "JULY",    "AUGUST",   "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};
const char* kMonthsDe[] = {"JANUAR", "FEBRUAR", "M\xC3\x84RZ", "APRIL",   "MAI",      "JUNI",
                           "JULI",   "AUGUST",  "SEPTEMBER",   "OKTOBER", "NOVEMBER", "DEZEMBER"};
const char* kMonAbDe[] = {"JAN", "FEB", "M\xC3\x84R", "APR", "MAI", "JUN",
                          "JUL", "AUG", "SEP",        "OKT", "NOV", "DEZ"};
const char* kDaysEn[] = {"SUNDAY", "MONDAY", "TUESDAY", "WEDNESDAY", "THURSDAY", "FRIDAY", "SATURDAY"};
const char* kDaysDe[] = {"SONNTAG", "MONTAG", "DIENSTAG", "MITTWOCH", "DONNERSTAG", "FREITAG", "SAMSTAG"};
const char* kDyDe[] = {"SO", "MO", "DI", "MI", "DO", "FR", "SA"};

bool IsGerman(const std::string& lang) {
    std::string l = UpperAscii(lang);
    return l.rfind("GERMAN", 0) == 0 || l == "DEUTSCH";
}

// Upper-case UTF-8 name -> case pattern of the format element (MONTH, Month, month).
std::string ApplyCase(const std::string& upper, int mode) {
    if (mode == 0) return upper;
    std::string s = upper;
    // Lower-case ASCII letters and the UTF-8 umlaut capitals used in the tables (C3 84 -> C3 A4 ...).
    for (size_t i = (mode == 1 ? 1 : 0); i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 'A' && c <= 'Z') {
            s[i] = static_cast<char>(c - 'A' + 'a');
        } else if (c == 0xC3 && i + 1 < s.size()) {
            unsigned char c2 = static_cast<unsigned char>(s[i + 1]);
            if (c2 >= 0x80 && c2 <= 0x9E) s[i + 1] = static_cast<char>(c2 + 0x20);
            ++i;
        }
    }
    return s;
}

size_t Utf8Len(const std::string& s) {
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::string PadRight(std::string s, size_t width) {
    size_t len = Utf8Len(s);
    if (len < width) s.append(width - len, ' ');
    return s;
}

int DayOfWeek(const DateTime& dt) { // 0 = Sunday
    long long days = DaysFromCivil(dt.year, static_cast<unsigned>(dt.month), static_cast<unsigned>(dt.day));
    long long w = (days + 4) % 7;
    return static_cast<int>(w < 0 ? w + 7 : w);
}

int CaseMode(const std::string& fmt, size_t i, size_t len) {
    // 0: all upper, 1: capitalised, 2: all lower
    char a = fmt[i];
    char b = len > 1 ? fmt[i + 1] : a;
    if (a >= 'a' && a <= 'z') return 2;
    if (b >= 'a' && b <= 'z') return 1;
    return 0;
}

bool StartsWithCI(const std::string& s, size_t i, const char* w) {
    size_t n = std::strlen(w);
    if (i + n > s.size()) return false;
    for (size_t k = 0; k < n; ++k) {
        char c = s[i + k];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != w[k]) return false;
    }
    return true;
}

std::string Num(int v, int width, bool fm) {
    std::string s = std::to_string(v < 0 ? -v : v);
    if (!fm && static_cast<int>(s.size()) < width)
        s = std::string(static_cast<size_t>(width) - s.size(), '0') + s;
    if (v < 0) s = "-" + s;
    return s;
}

} // namespace

std::string FormatDate(const DateTime& dt, const std::string& fmt, const std::string& language) {
    bool de = IsGerman(language);
    bool fm = false;
    std::string out;
    size_t i = 0;
    while (i < fmt.size()) {
        char c = fmt[i];
        if (c == '"') {
            size_t j = fmt.find('"', i + 1);
            if (j == std::string::npos) j = fmt.size();
            out += fmt.substr(i + 1, j - i - 1);
            i = j + 1;
            continue;
        }
        auto is = [&](const char* w) { return StartsWithCI(fmt, i, w); };
        if (is("FM")) {
            fm = !fm;
            i += 2;
        } else if (is("YYYY") || is("RRRR") || is("SYYYY")) {
            size_t l = is("SYYYY") ? 5 : 4;
            out += Num(dt.year, 4, fm);
            i += l;
        } else if (is("YYY")) {
            out += Num(dt.year % 1000, 3, fm);
            i += 3;
        } else if (is("YY") || is("RR")) {
            out += Num(dt.year % 100, 2, fm);
            i += 2;
        } else if (is("MONTH")) {
            int mode = CaseMode(fmt, i, 5);
            std::string name = ApplyCase(de ? kMonthsDe[dt.month - 1] : kMonthsEn[dt.month - 1], mode);
            out += fm ? name : PadRight(name, 9);
            i += 5;
        } else if (is("MON")) {
            int mode = CaseMode(fmt, i, 3);
            std::string name =
                de ? kMonAbDe[dt.month - 1] : std::string(kMonthsEn[dt.month - 1]).substr(0, 3);
            out += ApplyCase(name, mode);
            i += 3;
        } else if (is("MM")) {
            out += Num(dt.month, 2, fm);
            i += 2;
        } else if (is("MI")) {
            out += Num(dt.minute, 2, fm);
            i += 2;
        } else if (is("DDD")) {
            int doy = static_cast<int>(DaysFromCivil(dt.year, static_cast<unsigned>(dt.month),
                                                     static_cast<unsigned>(dt.day)) -
                                       DaysFromCivil(dt.year, 1, 1)) +
                      1;
            out += Num(doy, 3, fm);
            i += 3;
        } else if (is("DAY")) {
            int mode = CaseMode(fmt, i, 3);
            std::string name = ApplyCase(de ? kDaysDe[DayOfWeek(dt)] : kDaysEn[DayOfWeek(dt)], mode);
            out += fm ? name : PadRight(name, de ? 10 : 9);
            i += 3;
        } else if (is("DY")) {
            int mode = CaseMode(fmt, i, 2);
            std::string name = de ? kDyDe[DayOfWeek(dt)] : std::string(kDaysEn[DayOfWeek(dt)]).substr(0, 3);
            out += ApplyCase(name, mode);
            i += 2;
        } else if (is("DD")) {
            out += Num(dt.day, 2, fm);
            i += 2;
        } else if (is("D")) {
            out += std::to_string(DayOfWeek(dt) + 1);
            i += 1;
        } else if (is("HH24")) {
            out += Num(dt.hour, 2, fm);
            i += 4;
        } else if (is("HH12") || is("HH")) {
            int h = dt.hour % 12;
            if (h == 0) h = 12;
            out += Num(h, 2, fm);
            i += is("HH12") ? 4 : 2;
        } else if (is("SSSSS")) {
            out += Num(dt.hour * 3600 + dt.minute * 60 + dt.second, 5, fm);
            i += 5;
        } else if (is("SS")) {
            out += Num(dt.second, 2, fm);
            i += 2;
        } else if (is("AM") || is("PM")) {
            out += dt.hour < 12 ? "AM" : "PM";
            i += 2;
        } else if (is("A.M.") || is("P.M.")) {
            out += dt.hour < 12 ? "A.M." : "P.M.";
            i += 4;
        } else if (is("Q")) {
            out += std::to_string((dt.month - 1) / 3 + 1);
            i += 1;
        } else if (is("J")) {
            out += std::to_string(
                DaysFromCivil(dt.year, static_cast<unsigned>(dt.month), static_cast<unsigned>(dt.day)) +
                2440588);
            i += 1;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

bool ParseDate(const std::string& text, const std::string& fmt, const std::string& language, DateTime& out,
               std::string& error) {
    bool de = IsGerman(language);
    DateTime dt = NowLocal();
    dt.day = 1; // Oracle: missing day = 1, missing month = current month, missing year = current year
    dt.hour = dt.minute = dt.second = 0;
    bool pm = false, ampm = false;
    size_t t = 0, i = 0;
    auto skipBlanks = [&] {
        while (t < text.size() && text[t] == ' ')
            ++t;
    };
    auto readNum = [&](int maxDigits, int& v) -> bool {
        skipBlanks();
        size_t start = t;
        bool neg = false;
        if (t < text.size() && text[t] == '-' && maxDigits >= 4) {
            neg = true;
            ++t;
        }
        v = 0;
        int nd = 0;
        while (t < text.size() && nd < maxDigits && text[t] >= '0' && text[t] <= '9') {
            v = v * 10 + (text[t++] - '0');
            ++nd;
        }
        if (neg) v = -v;
        if (nd == 0) {
            t = start;
            return false;
        }
        return true;
    };
    auto matchName = [&](const char* const* names, int count, size_t prefixLen, int& idx) -> bool {
        skipBlanks();
        for (int k = 0; k < count; ++k) {
            std::string nm = names[k];
            if (prefixLen) nm = nm.substr(0, prefixLen);
            std::string cand = text.substr(t, nm.size());
            if (ApplyCase(cand, 0) == nm || UpperAscii(cand) == nm || ApplyCase(UpperAscii(cand), 0) == nm ||
                ApplyCase(nm, 2) == ApplyCase(cand, 2)) {
                idx = k;
                t += nm.size();
                return true;
            }
        }
        return false;
    };
    int year2 = -1;
    while (i < fmt.size()) {
        auto is = [&](const char* w) { return StartsWithCI(fmt, i, w); };
        int v = 0;
        if (fmt[i] == '"') {
            size_t j = fmt.find('"', i + 1);
            if (j == std::string::npos) j = fmt.size();
            t += j - i - 1;
            i = j + 1;
            continue;
        }
        if (is("FM") || is("FX")) {
            i += 2;
        } else if (is("YYYY") || is("RRRR")) {
            if (!readNum(4, v)) return error = MakeError(1841).text, false;
            if (v < 100 && is("RRRR"))
                year2 = v;
            else
                dt.year = v;
            i += 4;
        } else if (is("YY") || is("RR")) {
            if (!readNum(is("RR") ? 4 : 2, v)) return error = MakeError(1861).text, false;
            if (v >= 100)
                dt.year = v;
            else
                year2 = v, dt.year = -1;
            if (is("YY") && v < 100) {
                dt.year = NowLocal().year / 100 * 100 + v;
                year2 = -1;
            }
            i += 2;
        } else if (is("MONTH")) {
            int idx;
            if (!(de ? matchName(kMonthsDe, 12, 0, idx) : matchName(kMonthsEn, 12, 0, idx)))
                return error = MakeError(1843).text, false;
            dt.month = idx + 1;
            i += 5;
        } else if (is("MON")) {
            int idx;
            if (!(de ? matchName(kMonAbDe, 12, 0, idx) : matchName(kMonthsEn, 12, 3, idx)))
                return error = MakeError(1843).text, false;
            dt.month = idx + 1;
            i += 3;
        } else if (is("MM")) {
            if (!readNum(2, v) || v < 1 || v > 12) return error = MakeError(1843).text, false;
            dt.month = v;
            i += 2;
        } else if (is("MI")) {
            if (!readNum(2, v) || v > 59) return error = MakeError(1851).text, false;
            dt.minute = v;
            i += 2;
        } else if (is("DAY") || is("DY")) {
            int idx;
            bool ok = is("DAY") ? (de ? matchName(kDaysDe, 7, 0, idx) : matchName(kDaysEn, 7, 0, idx))
                                : (de ? matchName(kDyDe, 7, 0, idx) : matchName(kDaysEn, 7, 3, idx));
            if (!ok) return error = MakeError(1846).text, false;
            i += is("DAY") ? 3 : 2;
        } else if (is("DD")) {
            if (!readNum(2, v) || v < 1 || v > 31) return error = MakeError(1847).text, false;
            dt.day = v;
            i += 2;
        } else if (is("HH24")) {
            if (!readNum(2, v) || v > 23) return error = MakeError(1850).text, false;
            dt.hour = v;
            i += 4;
        } else if (is("HH12") || is("HH")) {
            if (!readNum(2, v) || v < 1 || v > 12) return error = MakeError(1849).text, false;
            dt.hour = v % 12;
            ampm = true;
            i += is("HH12") ? 4 : 2;
        } else if (is("SS")) {
            if (!readNum(2, v) || v > 59) return error = MakeError(1852).text, false;
            dt.second = v;
            i += 2;
        } else if (is("AM") || is("PM")) {
            skipBlanks();
            std::string w = UpperAscii(text.substr(t, 2));
            if (w != "AM" && w != "PM") return error = MakeError(1855).text, false;
            pm = w == "PM";
            t += 2;
            i += 2;
        } else {
            char c = fmt[i];
            if (c == ' ') {
                skipBlanks();
            } else if (t < text.size() &&
                       (text[t] == c || (!std::isalnum(static_cast<unsigned char>(c)) &&
                                         !std::isalnum(static_cast<unsigned char>(text[t]))))) {
                ++t;
            } else if (t < text.size()) {
                return error = MakeError(1861).text, false;
            }
            ++i;
        }
    }
    skipBlanks();
    if (t < text.size()) return error = MakeError(1830).text, false;
    if (year2 >= 0) { // RR: 00-49 -> current century when the current year is below 50 ...
        int cur = NowLocal().year;
        int century = cur / 100 * 100;
        int y = century + year2;
        if (cur % 100 < 50 && year2 >= 50)
            y -= 100;
        else if (cur % 100 >= 50 && year2 < 50)
            y += 100;
        dt.year = y;
    }
    if (ampm && pm) dt.hour += 12;
    if (!ValidDate(dt)) return error = MakeError(1839).text, false;
    out = dt;
    return true;
}

bool FormatNumber(double v, const std::string& format, std::string& out) {
    std::string f = UpperAscii(format);
    bool fm = false;
    if (f.rfind("FM", 0) == 0) {
        fm = true;
        f.erase(0, 2);
    }
    bool lead = false, trailMinus = false, dollar = false;
    if (!f.empty() && f[0] == 'S') {
        lead = true;
        f.erase(0, 1);
    }
    if (f.size() >= 2 && f.compare(f.size() - 2, 2, "MI") == 0) {
        trailMinus = true;
        f.erase(f.size() - 2);
    }
    if (!f.empty() && f[0] == '$') {
        dollar = true;
        f.erase(0, 1);
    }
    size_t dot = f.find_first_of(".D");
    std::string ip = f.substr(0, dot), fp = dot == std::string::npos ? "" : f.substr(dot + 1);
    for (char c : ip)
        if (c != '9' && c != '0' && c != ',' && c != 'G') return false;
    for (char c : fp)
        if (c != '9' && c != '0') return false;
    int fracDigits = static_cast<int>(fp.size());
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", fracDigits, std::fabs(v));
    std::string s = buf;
    std::string intPart = s.substr(0, s.find('.'));
    std::string fracPart = fracDigits ? s.substr(s.find('.') + 1) : "";
    int intSlots = 0;
    size_t zeroFrom = std::string::npos;
    for (size_t k = 0; k < ip.size(); ++k)
        if (ip[k] == '9' || ip[k] == '0') {
            if (ip[k] == '0' && zeroFrom == std::string::npos) zeroFrom = static_cast<size_t>(intSlots);
            ++intSlots;
        }
    if (intPart == "0" && (zeroFrom == std::string::npos || zeroFrom + 1 > static_cast<size_t>(intSlots)) &&
        fracDigits)
        intPart = intSlots && ip.back() == '0' ? "0" : "";
    if (static_cast<int>(intPart.size()) > intSlots) {
        out = std::string(ip.size() + fp.size() + 2, '#');
        return true;
    }
    // Lay the integer digits into the model from the right.
    std::string res;
    int di = static_cast<int>(intPart.size()) - 1;
    int slot = intSlots;
    for (int k = static_cast<int>(ip.size()) - 1; k >= 0; --k) {
        char c = ip[static_cast<size_t>(k)];
        if (c == ',' || c == 'G') {
            if (di >= 0)
                res.insert(res.begin(), ',');
            else if (!fm)
                res.insert(res.begin(), ' ');
            continue;
        }
        --slot;
        if (di >= 0) {
            res.insert(res.begin(), intPart[static_cast<size_t>(di--)]);
        } else if (zeroFrom != std::string::npos && static_cast<size_t>(slot) >= zeroFrom) {
            res.insert(res.begin(), '0');
        } else if (!fm) {
            res.insert(res.begin(), ' ');
        }
    }
    if (dot != std::string::npos) res += "." + fracPart;
    if (fm) {
        while (!res.empty() && res.back() == '0' && fp.find('0') == std::string::npos &&
               res.find('.') != std::string::npos)
            res.pop_back();
    }
    std::string sign = v < 0 ? "-" : (lead ? "+" : "");
    if (trailMinus) {
        res += v < 0 ? "-" : (fm ? "" : " ");
        sign = "";
    }
    if (dollar) res = "$" + res;
    // the sign goes right before the first non-blank
    size_t firstNonBlank = res.find_first_not_of(' ');
    if (firstNonBlank == std::string::npos) firstNonBlank = res.size();
    if (!sign.empty())
        res.insert(firstNonBlank, sign);
    else if (!fm && !trailMinus)
        res = " " + res;
    out = res;
    return true;
}

// ---------------------------------------------------------------- character sets

namespace {
const uint16_t k1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
}

std::string Win1252ToUtf8(const std::string& s) {
    if (IsAscii(s.data(), s.size())) return s;
    std::string out;
    out.reserve(s.size() + 8);
    for (unsigned char c : s) {
        unsigned cp = c < 0x80 ? c : (c < 0xA0 ? k1252High[c - 0x80] : c);
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string Utf8ToWin1252(const std::string& s) {
    if (IsAscii(s.data(), s.size())) return s;
    std::string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        unsigned cp;
        size_t len;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < s.size()) {
            cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
            len = 2;
        } else if ((c & 0xF0) == 0xE0 && i + 2 < s.size()) {
            cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 6) |
                 (static_cast<unsigned char>(s[i + 2]) & 0x3Fu);
            len = 3;
        } else if ((c & 0xF8) == 0xF0 && i + 3 < s.size()) {
            cp = 0x10000; // outside the code page
            len = 4;
        } else {
            cp = '?';
            len = 1;
        }
        i += len;
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out += static_cast<char>(cp);
            continue;
        }
        char mapped = '?';
        for (int k = 0; k < 32; ++k)
            if (k1252High[k] == cp) {
                mapped = static_cast<char>(0x80 + k);
                break;
            }
        out += mapped;
    }
    return out;
}

} // namespace vemu
