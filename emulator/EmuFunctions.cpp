// Oracle's SQL functions as SQLite functions of each session's connection.
#include "emulator/EmuEngine.h"

#include <sqlite3.h>

#include <cmath>
#include <cstring>

namespace vemu {

namespace {

EmuEngine* Eng(sqlite3_context* c) {
    return static_cast<EmuEngine*>(sqlite3_user_data(c));
}

bool IsNull(sqlite3_value* v) {
    return sqlite3_value_type(v) == SQLITE_NULL;
}

std::string Text(sqlite3_value* v) {
    const unsigned char* t = sqlite3_value_text(v);
    return t ? std::string(reinterpret_cast<const char*>(t), static_cast<size_t>(sqlite3_value_bytes(v)))
             : std::string();
}

void ResultText(sqlite3_context* c, const std::string& s) {
    if (s.empty())
        sqlite3_result_null(c); // Oracle: an empty string is NULL
    else
        sqlite3_result_text(c, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void Error(sqlite3_context* c, const std::string& oraText) {
    sqlite3_result_error(c, oraText.c_str(), -1);
}

bool Number(sqlite3_value* v, double& d) {
    int t = sqlite3_value_numeric_type(v);
    if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) {
        d = sqlite3_value_double(v);
        return true;
    }
    return false;
}

Value ToValue(sqlite3_value* v) {
    Value r;
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        r.kind = Value::Int;
        r.i = sqlite3_value_int64(v);
        break;
    case SQLITE_FLOAT:
        r.kind = Value::Real;
        r.r = sqlite3_value_double(v);
        break;
    case SQLITE_TEXT:
        r.kind = Value::Text;
        r.s = Text(v);
        break;
    case SQLITE_BLOB:
        r.kind = Value::Blob;
        r.s.assign(static_cast<const char*>(sqlite3_value_blob(v)),
                   static_cast<size_t>(sqlite3_value_bytes(v)));
        break;
    default:
        break;
    }
    return r;
}

// UTF-8 helpers
std::vector<std::string> Chars(const std::string& s) {
    std::vector<std::string> out;
    for (size_t i = 0; i < s.size();) {
        size_t n = 1;
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0xF0)
            n = 4;
        else if (c >= 0xE0)
            n = 3;
        else if (c >= 0xC0)
            n = 2;
        if (i + n > s.size()) n = s.size() - i;
        out.push_back(s.substr(i, n));
        i += n;
    }
    return out;
}

std::string CaseMap(const std::string& s, bool upper) {
    std::string r = s;
    for (size_t i = 0; i < r.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(r[i]);
        if (upper && c >= 'a' && c <= 'z')
            r[i] = static_cast<char>(c - 32);
        else if (!upper && c >= 'A' && c <= 'Z')
            r[i] = static_cast<char>(c + 32);
        else if (c == 0xC3 && i + 1 < r.size()) { // Latin-1 letters
            unsigned char d = static_cast<unsigned char>(r[i + 1]);
            if (upper && d >= 0xA0 && d <= 0xBE && d != 0xB7)
                r[i + 1] = static_cast<char>(d - 0x20);
            else if (!upper && d >= 0x80 && d <= 0x9E && d != 0x97)
                r[i + 1] = static_cast<char>(d + 0x20);
            ++i;
        }
    }
    return r;
}

std::string Join(const std::vector<std::string>& v, size_t from, size_t n) {
    std::string r;
    for (size_t i = from; i < v.size() && i < from + n; ++i)
        r += v[i];
    return r;
}

void FnSysdate(sqlite3_context* c, int, sqlite3_value**) {
    sqlite3_result_double(c, DayNumberFromDateTime(NowLocal()));
}
void FnUser(sqlite3_context* c, int, sqlite3_value**) {
    ResultText(c, Eng(c)->User());
}
void FnUid(sqlite3_context* c, int, sqlite3_value**) {
    sqlite3_result_int(c, Eng(c)->Sid());
}

void FnStr(sqlite3_context* c, int, sqlite3_value** a) {
    if (IsNull(a[0])) {
        sqlite3_result_text(c, "", 0, SQLITE_STATIC);
        return;
    }
    std::string s = Eng(c)->ValueText(ToValue(a[0]), false);
    sqlite3_result_text(c, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void FnDateChar(sqlite3_context* c, int, sqlite3_value** a) {
    double d;
    if (IsNull(a[0])) {
        sqlite3_result_text(c, "", 0, SQLITE_STATIC);
        return;
    }
    std::string s = Number(a[0], d) ? Eng(c)->DateText(d) : Text(a[0]);
    sqlite3_result_text(c, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

bool LooksLikeDateFormat(const std::string& f) {
    std::string u = UpperAscii(f);
    for (const char* k : {"YY", "MM", "DD", "HH", "MI", "SS", "MON", "DAY", "RR"})
        if (u.find(k) != std::string::npos) return true;
    return false;
}

void DateToChar(sqlite3_context* c, double d, const std::string& fmt) {
    EmuEngine* e = Eng(c);
    ResultText(
        c, FormatDate(DateTimeFromDayNumber(d), fmt.empty() ? e->nlsDateFormat : fmt, e->nlsDateLanguage));
}

void FnToChar(sqlite3_context* c, int n, sqlite3_value** a) {
    if (IsNull(a[0])) return sqlite3_result_null(c);
    std::string fmt = n > 1 ? Text(a[1]) : "";
    double d;
    if (!Number(a[0], d)) return ResultText(c, Text(a[0]));
    if (n > 1 && LooksLikeDateFormat(fmt)) return DateToChar(c, d, fmt);
    if (n > 1 && !fmt.empty()) {
        std::string out;
        if (FormatNumber(d, fmt, out)) return ResultText(c, out);
    }
    ResultText(c, Eng(c)->ValueText(ToValue(a[0]), false));
}

void FnToCharDate(sqlite3_context* c, int n, sqlite3_value** a) {
    if (IsNull(a[0])) return sqlite3_result_null(c);
    double d;
    if (!Number(a[0], d)) return ResultText(c, Text(a[0]));
    DateToChar(c, d, n > 1 ? Text(a[1]) : "");
}

void FnToDate(sqlite3_context* c, int n, sqlite3_value** a) {
    if (IsNull(a[0])) return sqlite3_result_null(c);
    if (sqlite3_value_type(a[0]) == SQLITE_FLOAT || sqlite3_value_type(a[0]) == SQLITE_INTEGER) {
        if (n < 2) return sqlite3_result_value(c, a[0]);
    }
    EmuEngine* e = Eng(c);
    std::string text = Text(a[0]);
    std::string fmt = n > 1 && !IsNull(a[1]) ? Text(a[1]) : e->nlsDateFormat;
    DateTime dt;
    std::string err;
    if (!ParseDate(text, fmt, e->nlsDateLanguage, dt, err)) return Error(c, err);
    sqlite3_result_double(c, DayNumberFromDateTime(dt));
}

void FnToNumber(sqlite3_context* c, int, sqlite3_value** a) {
    if (IsNull(a[0])) return sqlite3_result_null(c);
    int t = sqlite3_value_type(a[0]);
    if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) return sqlite3_result_value(c, a[0]);
    std::string s = Text(a[0]);
    std::string cleaned;
    for (char ch : s)
        if (ch != ',' && ch != '$') cleaned += ch;
    Decimal d;
    if (!DecimalFromText(cleaned, d)) return Error(c, MakeError(1722).text);
    if (IsWideDecimal(d)) {
        const std::string wide = WideNumberText(d);
        return sqlite3_result_text(c, wide.data(), static_cast<int>(wide.size()), SQLITE_TRANSIENT);
    }
    bool isInt;
    long long i;
    double f;
    DecimalToValue(d, isInt, i, f);
    if (isInt)
        sqlite3_result_int64(c, i);
    else
        sqlite3_result_double(c, f);
}

bool SameValue(sqlite3_value* x, sqlite3_value* y) {
    if (IsNull(x) && IsNull(y)) return true;
    if (IsNull(x) || IsNull(y)) return false;
    double a, b;
    if (Number(x, a) && Number(y, b)) return a == b;
    return Text(x) == Text(y);
}

void FnDecode(sqlite3_context* c, int n, sqlite3_value** a) {
    int k = 1;
    for (; k + 1 < n; k += 2)
        if (SameValue(a[0], a[k])) return sqlite3_result_value(c, a[k + 1]);
    if (k < n) return sqlite3_result_value(c, a[k]);
    sqlite3_result_null(c);
}

void FnNvl2(sqlite3_context* c, int, sqlite3_value** a) {
    sqlite3_result_value(c, IsNull(a[0]) ? a[2] : a[1]);
}

void FnMod(sqlite3_context* c, int, sqlite3_value** a) {
    if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(c);
    if (sqlite3_value_numeric_type(a[0]) == SQLITE_INTEGER &&
        sqlite3_value_numeric_type(a[1]) == SQLITE_INTEGER) {
        long long x = sqlite3_value_int64(a[0]), y = sqlite3_value_int64(a[1]);
        if (y == 0 || (y == -1)) return sqlite3_result_int64(c, y == 0 ? x : 0);
        return sqlite3_result_int64(c, x % y);
    }
    double x = sqlite3_value_double(a[0]), y = sqlite3_value_double(a[1]);
    sqlite3_result_double(c, y == 0 ? x : x - y * std::trunc(x / y));
}

void ResultNumber(sqlite3_context* c, double v) {
    if (std::fabs(v) < 9e15 && v == std::floor(v))
        sqlite3_result_int64(c, static_cast<long long>(v));
    else
        sqlite3_result_double(c, v);
}

double TruncDateValue(double d, const std::string& fmtIn) {
    std::string f = UpperAscii(fmtIn);
    DateTime dt = DateTimeFromDayNumber(d);
    dt.hour = dt.minute = dt.second = 0;
    DateTime full = DateTimeFromDayNumber(d);
    if (f.empty() || f == "DD" || f == "DDD" || f == "J") return DayNumberFromDateTime(dt);
    if (f == "MM" || f == "MON" || f == "MONTH" || f == "RM")
        dt.day = 1;
    else if (f == "YYYY" || f == "YEAR" || f == "YYY" || f == "YY" || f == "Y" || f == "SYYYY" ||
             f == "RRRR") {
        dt.day = 1;
        dt.month = 1;
    } else if (f == "Q") {
        dt.day = 1;
        dt.month = (dt.month - 1) / 3 * 3 + 1;
    } else if (f == "HH" || f == "HH24" || f == "HH12") {
        dt.hour = full.hour;
    } else if (f == "MI") {
        dt.hour = full.hour;
        dt.minute = full.minute;
    } else if (f == "D" || f == "DY" || f == "DAY") {
        double base = DayNumberFromDateTime(dt);
        long long wd = (static_cast<long long>(std::floor(base)) + 6) % 7; // 1899-12-30 was a Saturday
        return base - static_cast<double>(wd);
    }
    return DayNumberFromDateTime(dt);
}

void FnTruncDate(sqlite3_context* c, int n, sqlite3_value** a) {
    double d;
    if (IsNull(a[0]) || !Number(a[0], d)) return sqlite3_result_null(c);
    ResultNumber(c, TruncDateValue(d, n > 1 ? Text(a[1]) : ""));
}

void FnRoundDate(sqlite3_context* c, int n, sqlite3_value** a) {
    double d;
    if (IsNull(a[0]) || !Number(a[0], d)) return sqlite3_result_null(c);
    std::string f = n > 1 ? UpperAscii(Text(a[1])) : "";
    if (f.empty() || f == "DD") return ResultNumber(c, std::floor(d + 0.5));
    ResultNumber(c, TruncDateValue(d, f));
}

void FnTrunc(sqlite3_context* c, int n, sqlite3_value** a) {
    double d;
    if (IsNull(a[0]) || !Number(a[0], d)) return sqlite3_result_null(c);
    if (n > 1 && sqlite3_value_type(a[1]) == SQLITE_TEXT && sqlite3_value_numeric_type(a[1]) == SQLITE_TEXT)
        return ResultNumber(c, TruncDateValue(d, Text(a[1])));
    int places = n > 1 ? sqlite3_value_int(a[1]) : 0;
    double p = std::pow(10.0, places);
    double r = std::trunc(d * p + (d >= 0 ? 1e-9 : -1e-9)) / p;
    ResultNumber(c, r);
}

void FnRound(sqlite3_context* c, int n, sqlite3_value** a) {
    double d;
    if (IsNull(a[0]) || !Number(a[0], d)) return sqlite3_result_null(c);
    if (n > 1 && sqlite3_value_type(a[1]) == SQLITE_TEXT && sqlite3_value_numeric_type(a[1]) == SQLITE_TEXT)
        return FnRoundDate(c, n, a);
    int places = n > 1 ? sqlite3_value_int(a[1]) : 0;
    double p = std::pow(10.0, places);
    double x = d * p;
    double r = (x >= 0 ? std::floor(x + 0.5 + 1e-9) : -std::floor(-x + 0.5 + 1e-9)) / p;
    ResultNumber(c, r);
}

int DaysIn(int y, int m) {
    static const int dm[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
    return dm[m - 1];
}

void FnAddMonths(sqlite3_context* c, int, sqlite3_value** a) {
    double d;
    if (IsNull(a[0]) || IsNull(a[1]) || !Number(a[0], d)) return sqlite3_result_null(c);
    int n = sqlite3_value_int(a[1]);
    DateTime dt = DateTimeFromDayNumber(d);
    bool last = dt.day == DaysIn(dt.year, dt.month);
    int m = dt.year * 12 + (dt.month - 1) + n;
    dt.year = m / 12;
    dt.month = m % 12 + 1;
    int dim = DaysIn(dt.year, dt.month);
    if (last || dt.day > dim) dt.day = dim;
    sqlite3_result_double(c, DayNumberFromDateTime(dt));
}

void FnLastDay(sqlite3_context* c, int, sqlite3_value** a) {
    double d;
    if (IsNull(a[0]) || !Number(a[0], d)) return sqlite3_result_null(c);
    DateTime dt = DateTimeFromDayNumber(d);
    dt.day = DaysIn(dt.year, dt.month);
    sqlite3_result_double(c, DayNumberFromDateTime(dt));
}

void FnNextDay(sqlite3_context* c, int, sqlite3_value** a) {
    double d;
    if (IsNull(a[0]) || !Number(a[0], d)) return sqlite3_result_null(c);
    std::string day = UpperAscii(Text(a[1])).substr(0, 2);
    static const char* en[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
    static const char* de[] = {"SO", "MO", "DI", "MI", "DO", "FR", "SA"};
    int target = -1;
    for (int k = 0; k < 7; ++k)
        if (day == en[k] || day == de[k]) target = k;
    if (target < 0) return Error(c, MakeError(1846).text);
    long long base = static_cast<long long>(std::floor(d));
    int wd = static_cast<int>((base + 6) % 7); // 0 = Sunday
    int add = (target - wd + 7) % 7;
    if (add == 0) add = 7;
    sqlite3_result_double(c, d + add);
}

void FnMonthsBetween(sqlite3_context* c, int, sqlite3_value** a) {
    double d1, d2;
    if (IsNull(a[0]) || IsNull(a[1]) || !Number(a[0], d1) || !Number(a[1], d2)) return sqlite3_result_null(c);
    DateTime x = DateTimeFromDayNumber(d1), y = DateTimeFromDayNumber(d2);
    double months = (x.year - y.year) * 12.0 + (x.month - y.month);
    bool lastX = x.day == DaysIn(x.year, x.month), lastY = y.day == DaysIn(y.year, y.month);
    if (!(x.day == y.day || (lastX && lastY))) {
        double fx = x.day + (x.hour * 3600 + x.minute * 60 + x.second) / 86400.0;
        double fy = y.day + (y.hour * 3600 + y.minute * 60 + y.second) / 86400.0;
        months += (fx - fy) / 31.0;
    }
    sqlite3_result_double(c, months);
}

void FnSubstr(sqlite3_context* c, int n, sqlite3_value** a) {
    if (IsNull(a[0]) || IsNull(a[1]) || (n > 2 && IsNull(a[2]))) return sqlite3_result_null(c);
    std::string s = Eng(c)->ValueText(ToValue(a[0]), false);
    auto ch = Chars(s);
    long long len = static_cast<long long>(ch.size());
    long long start = static_cast<long long>(std::trunc(sqlite3_value_double(a[1])));
    if (start == 0) start = 1;
    if (start < 0) start = len + start + 1;
    if (start < 1 || start > len) return sqlite3_result_null(c);
    long long count = n > 2 ? static_cast<long long>(std::trunc(sqlite3_value_double(a[2]))) : len;
    if (count < 1) return sqlite3_result_null(c);
    ResultText(c, Join(ch, static_cast<size_t>(start - 1), static_cast<size_t>(count)));
}

void FnInstr(sqlite3_context* c, int n, sqlite3_value** a) {
    if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(c);
    auto s = Chars(Eng(c)->ValueText(ToValue(a[0]), false));
    auto sub = Chars(Eng(c)->ValueText(ToValue(a[1]), false));
    long long pos = n > 2 ? sqlite3_value_int64(a[2]) : 1;
    long long occ = n > 3 ? sqlite3_value_int64(a[3]) : 1;
    if (pos == 0 || occ < 1) return sqlite3_result_int(c, 0);
    long long len = static_cast<long long>(s.size()), sl = static_cast<long long>(sub.size());
    auto matchAt = [&](long long i) {
        if (i < 0 || i + sl > len) return false;
        for (long long k = 0; k < sl; ++k)
            if (s[static_cast<size_t>(i + k)] != sub[static_cast<size_t>(k)]) return false;
        return true;
    };
    if (pos > 0) {
        for (long long i = pos - 1; i + sl <= len; ++i)
            if (matchAt(i) && --occ == 0) return sqlite3_result_int64(c, i + 1);
    } else {
        for (long long i = len + pos; i >= 0; --i)
            if (matchAt(i) && --occ == 0) return sqlite3_result_int64(c, i + 1);
    }
    sqlite3_result_int(c, 0);
}

void FnUpper(sqlite3_context* c, int, sqlite3_value** a) {
    if (IsNull(a[0])) return sqlite3_result_null(c);
    ResultText(c, CaseMap(Eng(c)->ValueText(ToValue(a[0]), false), true));
}
void FnLower(sqlite3_context* c, int, sqlite3_value** a) {
    if (IsNull(a[0])) return sqlite3_result_null(c);
    ResultText(c, CaseMap(Eng(c)->ValueText(ToValue(a[0]), false), false));
}
void FnInitcap(sqlite3_context* c, int, sqlite3_value** a) {
    if (IsNull(a[0])) return sqlite3_result_null(c);
    auto ch = Chars(CaseMap(Eng(c)->ValueText(ToValue(a[0]), false), false));
    bool start = true;
    std::string out;
    for (auto& x : ch) {
        bool alnum = x.size() > 1 || std::isalnum(static_cast<unsigned char>(x[0]));
        out += start && alnum ? CaseMap(x, true) : x;
        start = !alnum;
    }
    ResultText(c, out);
}

void FnLength(sqlite3_context* c, int, sqlite3_value** a) {
    if (IsNull(a[0])) return sqlite3_result_null(c);
    if (sqlite3_value_type(a[0]) == SQLITE_BLOB) return sqlite3_result_int(c, sqlite3_value_bytes(a[0]));
    auto ch = Chars(Eng(c)->ValueText(ToValue(a[0]), false));
    if (ch.empty()) return sqlite3_result_null(c);
    sqlite3_result_int64(c, static_cast<long long>(ch.size()));
}

void FnReplace(sqlite3_context* c, int n, sqlite3_value** a) {
    if (IsNull(a[0])) return sqlite3_result_null(c);
    std::string s = Eng(c)->ValueText(ToValue(a[0]), false);
    std::string from = IsNull(a[1]) ? "" : Text(a[1]);
    std::string to = n > 2 && !IsNull(a[2]) ? Text(a[2]) : "";
    if (from.empty()) return ResultText(c, s);
    std::string out;
    size_t p = 0;
    for (;;) {
        size_t q = s.find(from, p);
        if (q == std::string::npos) break;
        out += s.substr(p, q - p) + to;
        p = q + from.size();
    }
    ResultText(c, out + s.substr(p));
}

void FnConcat(sqlite3_context* c, int, sqlite3_value** a) {
    EmuEngine* e = Eng(c);
    ResultText(c, e->ValueText(ToValue(a[0]), false) + e->ValueText(ToValue(a[1]), false));
}

void Pad(sqlite3_context* c, int n, sqlite3_value** a, bool left) {
    if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(c);
    auto s = Chars(Eng(c)->ValueText(ToValue(a[0]), false));
    long long width = sqlite3_value_int64(a[1]);
    auto pad = Chars(n > 2 ? (IsNull(a[2]) ? "" : Text(a[2])) : " ");
    if (width <= 0 || pad.empty()) return sqlite3_result_null(c);
    if (width > 32767) width = 32767;
    if (static_cast<long long>(s.size()) >= width)
        return ResultText(c, Join(s, 0, static_cast<size_t>(width)));
    std::string fill;
    size_t need = static_cast<size_t>(width) - s.size();
    for (size_t k = 0; k < need; ++k)
        fill += pad[k % pad.size()];
    std::string body = Join(s, 0, s.size());
    ResultText(c, left ? fill + body : body + fill);
}
void FnLpad(sqlite3_context* c, int n, sqlite3_value** a) {
    Pad(c, n, a, true);
}
void FnRpad(sqlite3_context* c, int n, sqlite3_value** a) {
    Pad(c, n, a, false);
}

void FnChr(sqlite3_context* c, int, sqlite3_value** a) {
    if (IsNull(a[0])) return sqlite3_result_null(c);
    long long v = sqlite3_value_int64(a[0]);
    if (v < 0 || v > 255) return Error(c, MakeError(1722).text);
    std::string b(1, static_cast<char>(v));
    std::string u = Win1252ToUtf8(b);
    sqlite3_result_text(c, u.data(), static_cast<int>(u.size()), SQLITE_TRANSIENT);
}
// UNISTR: text with \XXXX escapes of UTF-16 code units (surrogate pairs for the planes above) and \\.
void FnUnistr(sqlite3_context* c, int, sqlite3_value** a) {
    if (IsNull(a[0])) return sqlite3_result_null(c);
    const std::string in = Text(a[0]);
    std::string out;
    auto put = [&](uint32_t u) {
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else if (u < 0x10000) {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (u >> 18));
            out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    };
    auto unit = [&](size_t at, uint32_t& u) {
        if (at + 5 > in.size() || in[at] != '\\') return false;
        u = 0;
        for (size_t k = at + 1; k < at + 5; ++k) {
            char h = in[k];
            int d = h >= '0' && h <= '9'   ? h - '0'
                    : h >= 'A' && h <= 'F' ? h - 'A' + 10
                    : h >= 'a' && h <= 'f' ? h - 'a' + 10
                                           : -1;
            if (d < 0) return false;
            u = u * 16 + static_cast<uint32_t>(d);
        }
        return true;
    };
    for (size_t i = 0; i < in.size();) {
        if (in[i] != '\\') {
            out += in[i++];
            continue;
        }
        if (i + 1 < in.size() && in[i + 1] == '\\') {
            out += '\\';
            i += 2;
            continue;
        }
        uint32_t u, low;
        if (!unit(i, u)) return Error(c, MakeError(911).text);
        i += 5;
        if (u >= 0xD800 && u < 0xDC00) {
            if (!unit(i, low) || low < 0xDC00 || low > 0xDFFF) return Error(c, MakeError(911).text);
            u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
            i += 5;
        }
        put(u);
    }
    sqlite3_result_text(c, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}
void FnAscii(sqlite3_context* c, int, sqlite3_value** a) {
    if (IsNull(a[0])) return sqlite3_result_null(c);
    std::string s = Utf8ToWin1252(Text(a[0]));
    if (s.empty()) return sqlite3_result_null(c);
    sqlite3_result_int(c, static_cast<unsigned char>(s[0]));
}

void Math(sqlite3_context* c, sqlite3_value* v, double (*f)(double)) {
    double d;
    if (IsNull(v) || !Number(v, d)) return sqlite3_result_null(c);
    ResultNumber(c, f(d));
}
void FnFloor(sqlite3_context* c, int, sqlite3_value** a) {
    Math(c, a[0], [](double x) { return std::floor(x); });
}
void FnCeil(sqlite3_context* c, int, sqlite3_value** a) {
    Math(c, a[0], [](double x) { return std::ceil(x); });
}
void FnSign(sqlite3_context* c, int, sqlite3_value** a) {
    Math(c, a[0], [](double x) { return x > 0 ? 1.0 : (x < 0 ? -1.0 : 0.0); });
}
void FnSqrt(sqlite3_context* c, int, sqlite3_value** a) {
    Math(c, a[0], [](double x) { return std::sqrt(x); });
}
void FnPower(sqlite3_context* c, int, sqlite3_value** a) {
    double x, y;
    if (IsNull(a[0]) || IsNull(a[1]) || !Number(a[0], x) || !Number(a[1], y)) return sqlite3_result_null(c);
    ResultNumber(c, std::pow(x, y));
}
void FnBitand(sqlite3_context* c, int, sqlite3_value** a) {
    if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(c);
    sqlite3_result_int64(c, sqlite3_value_int64(a[0]) & sqlite3_value_int64(a[1]));
}

void FnCharsetId(sqlite3_context* c, int, sqlite3_value** a) {
    static const std::map<std::string, int> ids = {
        {"US7ASCII", 1},   {"WE8ISO8859P1", 31},  {"WE8DEC", 2},       {"WE8MSWIN1252", 178}, {"UTF8", 871},
        {"AL32UTF8", 873}, {"WE8ISO8859P15", 46}, {"AL16UTF16", 2000}, {"EE8MSWIN1250", 170}};
    auto it = ids.find(UpperAscii(Text(a[0])));
    if (it == ids.end()) return sqlite3_result_null(c);
    sqlite3_result_int(c, it->second);
}

std::string UserEnv(EmuEngine* e, const std::string& p) {
    std::string k = UpperAscii(p);
    if (k == "SESSION_USER" || k == "CURRENT_USER" || k == "CURRENT_SCHEMA") return e->User();
    if (k == "SID" || k == "SESSIONID") return std::to_string(e->Sid());
    if (k == "DB_NAME" || k == "INSTANCE_NAME") return UpperAscii(e->Db().Options().sid);
    if (k == "LANGUAGE") return e->nlsDateLanguage + "_" + e->nlsTerritory + ".WE8MSWIN1252";
    if (k == "NLS_DATE_FORMAT") return e->nlsDateFormat;
    if (k == "NLS_DATE_LANGUAGE") return e->nlsDateLanguage;
    if (k == "TERMINAL" || k == "HOST") return "vestra-emu";
    if (k == "ISDBA") return "FALSE";
    return {};
}
void FnSysContext(sqlite3_context* c, int, sqlite3_value** a) {
    ResultText(c, UserEnv(Eng(c), Text(a[1])));
}
void FnUserenv(sqlite3_context* c, int, sqlite3_value** a) {
    ResultText(c, UserEnv(Eng(c), Text(a[0])));
}

void FnHexToRaw(sqlite3_context* c, int, sqlite3_value** a) {
    if (IsNull(a[0])) return sqlite3_result_null(c);
    std::string h = Text(a[0]), out;
    auto dig = [](char ch) -> int {
        if (ch >= '0' && ch <= '9') return ch - '0';
        if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
        if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
        return -1;
    };
    if (h.size() % 2) h = "0" + h;
    for (size_t i = 0; i < h.size(); i += 2) {
        int x = dig(h[i]), y = dig(h[i + 1]);
        if (x < 0 || y < 0) return Error(c, MakeError(1465).text);
        out += static_cast<char>(x * 16 + y);
    }
    sqlite3_result_blob(c, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

void FnTranslate(sqlite3_context* c, int, sqlite3_value** a) {
    if (IsNull(a[0]) || IsNull(a[1]) || IsNull(a[2])) return sqlite3_result_null(c);
    auto s = Chars(Text(a[0])), from = Chars(Text(a[1])), to = Chars(Text(a[2]));
    std::string out;
    for (auto& x : s) {
        size_t k = 0;
        while (k < from.size() && from[k] != x)
            ++k;
        if (k == from.size())
            out += x;
        else if (k < to.size())
            out += to[k];
    }
    ResultText(c, out);
}

void FnEmptyClob(sqlite3_context* c, int, sqlite3_value**) {
    sqlite3_result_text(c, "", 0, SQLITE_STATIC);
}
void FnEmptyBlob(sqlite3_context* c, int, sqlite3_value**) {
    sqlite3_result_zeroblob(c, 0);
}

const char* kB64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void B64(std::string& out, unsigned long long v, int digits) {
    for (int k = digits - 1; k >= 0; --k)
        out += kB64[(v >> (6 * k)) & 63];
}

void FnRowid(sqlite3_context* c, int, sqlite3_value** a) {
    if (IsNull(a[1])) return sqlite3_result_null(c);
    RowidParts r = RowidOf(Text(a[0]), sqlite3_value_int64(a[1]));
    std::string out;
    B64(out, r.object, 6);
    B64(out, r.file, 3);
    B64(out, r.block, 6);
    B64(out, r.row, 3);
    sqlite3_result_text(c, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

void FnSeq(sqlite3_context* c, int, sqlite3_value** a) {
    EmuEngine* e = Eng(c);
    OraError err;
    std::string owner = Text(a[0]), name = Text(a[1]);
    long long v = sqlite3_value_int(a[2]) ? e->NextVal(owner, name, err) : e->CurrVal(owner, name, err);
    if (err) return Error(c, err.text);
    sqlite3_result_int64(c, v);
}

struct Fn {
    const char* name;
    int args;
    void (*f)(sqlite3_context*, int, sqlite3_value**);
    bool deterministic;
};

} // namespace

RowidParts RowidOf(const std::string& table, long long rowid) {
    unsigned long long h = 1469598103934665603ULL;
    for (char ch : table)
        h = (h ^ static_cast<unsigned char>(ch)) * 1099511628211ULL;
    RowidParts r;
    r.object = 10000 + h % 200000;
    unsigned long long rid = static_cast<unsigned long long>(rowid);
    r.block = rid >> 12;
    r.row = rid & 0xFFF;
    return r;
}

void RegisterFunctions(sqlite3* db, EmuEngine* e) {
    static const Fn fns[] = {
        {"vemu_sysdate", 0, FnSysdate, false},
        {"vemu_user", 0, FnUser, false},
        {"vemu_uid", 0, FnUid, false},
        {"vemu_str", 1, FnStr, false},
        {"vemu_datechar", 1, FnDateChar, false},
        {"vemu_to_char", 1, FnToChar, false},
        {"vemu_to_char", 2, FnToChar, false},
        {"vemu_to_char", 3, FnToChar, false},
        {"vemu_to_char_date", 1, FnToCharDate, false},
        {"vemu_to_char_date", 2, FnToCharDate, false},
        {"vemu_to_char_date", 3, FnToCharDate, false},
        {"vemu_to_date", 1, FnToDate, false},
        {"vemu_to_date", 2, FnToDate, false},
        {"vemu_to_date", 3, FnToDate, false},
        {"vemu_to_number", 1, FnToNumber, true},
        {"vemu_to_number", 2, FnToNumber, true},
        {"vemu_decode", -1, FnDecode, true},
        {"vemu_nvl2", 3, FnNvl2, true},
        {"vemu_mod", 2, FnMod, true},
        {"vemu_trunc", 1, FnTrunc, true},
        {"vemu_trunc", 2, FnTrunc, true},
        {"vemu_round", 1, FnRound, true},
        {"vemu_round", 2, FnRound, true},
        {"vemu_trunc_date", 1, FnTruncDate, true},
        {"vemu_trunc_date", 2, FnTruncDate, true},
        {"vemu_round_date", 1, FnRoundDate, true},
        {"vemu_round_date", 2, FnRoundDate, true},
        {"vemu_add_months", 2, FnAddMonths, true},
        {"vemu_last_day", 1, FnLastDay, true},
        {"vemu_next_day", 2, FnNextDay, true},
        {"vemu_months_between", 2, FnMonthsBetween, true},
        {"vemu_substr", 2, FnSubstr, false},
        {"vemu_substr", 3, FnSubstr, false},
        {"vemu_instr", 2, FnInstr, false},
        {"vemu_instr", 3, FnInstr, false},
        {"vemu_instr", 4, FnInstr, false},
        {"vemu_upper", 1, FnUpper, false},
        {"vemu_lower", 1, FnLower, false},
        {"vemu_initcap", 1, FnInitcap, false},
        {"vemu_length", 1, FnLength, false},
        {"vemu_lengthb", 1, FnLength, false},
        {"vemu_replace", 2, FnReplace, false},
        {"vemu_replace", 3, FnReplace, false},
        {"vemu_concat", 2, FnConcat, false},
        {"vemu_lpad", 2, FnLpad, false},
        {"vemu_lpad", 3, FnLpad, false},
        {"vemu_rpad", 2, FnRpad, false},
        {"vemu_rpad", 3, FnRpad, false},
        {"vemu_chr", 1, FnChr, true},
        {"vemu_unistr", 1, FnUnistr, true},
        {"vemu_ascii", 1, FnAscii, true},
        {"vemu_floor", 1, FnFloor, true},
        {"vemu_ceil", 1, FnCeil, true},
        {"vemu_sign", 1, FnSign, true},
        {"vemu_sqrt", 1, FnSqrt, true},
        {"vemu_power", 2, FnPower, true},
        {"vemu_bitand", 2, FnBitand, true},
        {"vemu_charset_id", 1, FnCharsetId, true},
        {"vemu_sys_context", 2, FnSysContext, false},
        {"vemu_sys_context", 3, FnSysContext, false},
        {"vemu_userenv", 1, FnUserenv, false},
        {"vemu_hextoraw", 1, FnHexToRaw, true},
        {"vemu_translate", 3, FnTranslate, true},
        {"vemu_empty_clob", 0, FnEmptyClob, true},
        {"vemu_empty_blob", 0, FnEmptyBlob, true},
        {"vemu_rowid", 2, FnRowid, true},
        {"vemu_seq", 3, FnSeq, false},
    };
    for (const Fn& f : fns)
        sqlite3_create_function_v2(db, f.name, f.args,
                                   SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0), e, f.f,
                                   nullptr, nullptr, nullptr);
}

} // namespace vemu
