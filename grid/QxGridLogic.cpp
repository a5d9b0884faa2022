#include "grid/QxGridLogic.h"

#include "dataset/DBErrors.h"
#include "dataset/DateTimeUtil.h"
#include "dataset/DecimalText.h"
#include "dataset/Platform.h"
#include "dataset/QxParser.h"
#include "dataset/Variant.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}

std::string TrimLeft(const std::string& s) {
    size_t b = 0;
    while (b < s.size() && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    return s.substr(b);
}

std::string Trim(const std::string& s) {
    std::string t = TrimLeft(s);
    size_t e = t.size();
    while (e > 0 && static_cast<unsigned char>(t[e - 1]) <= ' ')
        --e;
    return t.substr(0, e);
}

std::string Quoted(const std::string& v) {
    std::string s = "'";
    for (char c : v) {
        s += c;
        if (c == '\'') s += '\'';
    }
    return s + "'";
}

// A value in single quotes stands for itself (inner quotes doubled).
bool Unquote(const std::string& v, std::string& out) {
    if (v.size() < 2 || v.front() != '\'' || v.back() != '\'') return false;
    out.clear();
    for (size_t i = 1; i + 1 < v.size(); ++i) {
        out += v[i];
        if (v[i] == '\'' && i + 2 < v.size() && v[i + 1] == '\'') ++i;
    }
    return true;
}

[[noreturn]] void RaiseNotConvertible(const std::string& value, const char* kind) {
    throw EConvertError("'" + value + "' ist kein g\xFCltiger " + kind);
}

bool IsPlainIdent(const std::string& n) {
    if (n.empty()) return false;
    for (size_t i = 0; i < n.size(); ++i) {
        char c = n[i];
        bool ok =
            (c >= 'A' && c <= 'Z') || c == '_' || c == '$' || c == '#' || (i > 0 && c >= '0' && c <= '9');
        if (!ok) return false;
    }
    return true;
}

// An identifier, or a keyword of the lexer's table standing where a name may stand.
bool IsWord(int code, const std::string& tok) {
    if (code == lxIdent) return true;
    if (code <= 0 || tok.empty()) return false;
    unsigned char c = static_cast<unsigned char>(tok[0]);
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0xC0;
}

} // namespace

// ---- Sorting ----

void ApplyTitleClick(std::vector<TSortEntry>& list, int column, bool shift, bool ctrl) {
    auto it = std::find_if(list.begin(), list.end(), [&](const TSortEntry& e) { return e.Column == column; });
    bool found = it != list.end();
    bool desc = found && !it->Desc;
    if (ctrl && found) {
        list.erase(it);
        return;
    }
    if (!shift) {
        list.clear();
        found = false;
    }
    if (!found) {
        list.push_back({column, desc});
        return;
    }
    it->Desc = desc;
}

std::string BuildOrderByText(const std::vector<TSortEntry>& list, const std::function<int(int)>& fieldNoOf) {
    std::string s;
    for (const TSortEntry& e : list) {
        int no = fieldNoOf(e.Column);
        if (no <= 0) continue;
        if (!s.empty()) s += ",";
        s += std::to_string(no);
        if (e.Desc) s += " DESC";
    }
    return s;
}

std::vector<TSortEntry> ParseOrderByText(const std::string& orderBy,
                                         const std::vector<std::string>& fieldDefNames,
                                         const std::function<int(const std::string&)>& columnOfName) {
    std::vector<TSortEntry> list;
    const std::string text = orderBy;
    TParser p(text);
    p.KeepQuotes = true;
    std::string tok;
    auto add = [&](const std::string& name) -> TSortEntry* {
        int c = columnOfName(name);
        if (c < 0) return nullptr;
        for (TSortEntry& e : list)
            if (e.Column == c) return &e;
        list.push_back({c, false});
        return &list.back();
    };
    for (;;) {
        int code = p.GetNextToken(tok);
        if (code == lxEnd) break;
        std::string name;
        if (code == lxNumber) {
            char* end = nullptr;
            long n = std::strtol(tok.c_str(), &end, 10);
            if (!end || *end || n < 1 || n > long(fieldDefNames.size())) break;
            name = fieldDefNames[size_t(n - 1)];
        } else if (code == lxString && tok.size() >= 2 && tok.front() == '"' && tok.back() == '"') {
            name = tok.substr(1, tok.size() - 2);
        } else if (IsWord(code, tok)) {
            name = tok;
            int c2 = p.GetNextToken(tok);
            if (c2 != lxString && tok == ".") {
                int c3 = p.GetNextToken(tok);
                if (IsWord(c3, tok))
                    name = tok;
                else if (c3 == lxString && tok.size() >= 2 && tok.front() == '"')
                    name = tok.substr(1, tok.size() - 2);
                else
                    break;
            } else
                p.StepBack();
            if (Upper(name) == "ASC" || Upper(name) == "DESC") break;
        } else
            break;
        TSortEntry* e = add(name);
        int next = p.GetNextToken(tok);
        std::string up = Upper(tok);
        if (next != lxEnd && (up == "DESC" || up == "ASC")) {
            if (e && up == "DESC") e->Desc = true;
            // The token after the direction is taken as the separator.
            if (p.GetNextToken(tok) == lxEnd) break;
            continue;
        }
        if (next == lxEnd) break;
        if (tok != ",") break;
    }
    return list;
}

// ---- Filters ----

void SplitFilterText(const std::string& textIn, std::string& op, std::string& value) {
    std::string text = Trim(textIn);
    op.clear();
    value.clear();
    if (text.empty()) return;
    if (text[0] == '<' || text[0] == '>') {
        if (text.size() > 1 && (text[1] == '=' || text[1] == '>'))
            op = text.substr(0, 2);
        else
            op = text.substr(0, 1);
    } else if (text[0] == '=') {
        op = "=";
    } else {
        op = "=";
        value = text;
        return;
    }
    value = TrimLeft(text.substr(op.size()));
}

std::string ConditionFieldName(const std::string& name, bool localFilter) {
    if (IsPlainIdent(name)) return name;
    if (localFilter) return "[" + name + "]";
    std::string s = "\"";
    for (char c : name)
        if (c != '"') s += c;
    return s + "\"";
}

std::string FilterCondition(const std::string& fieldName, TFieldType type, const std::string& text,
                            bool localFilter) {
    std::string op, value;
    SplitFilterText(text, op, value);
    if (value.empty()) return std::string();
    const std::string name = ConditionFieldName(fieldName, localFilter);
    std::string literal;
    const bool quoted = Unquote(value, literal);
    if (!quoted && Upper(value) == "NULL" && (op == "=" || op == "<>")) {
        if (localFilter) return name + " " + op + " NULL";
        return name + (op == "=" ? " IS NULL" : " IS NOT NULL");
    }
    if (!quoted) literal = value;
    switch (type) {
    case ftString:
    case ftFixedChar:
    case ftWideString: {
        if (!localFilter && (op == "=" || op == "<>") && !quoted) {
            std::replace(literal.begin(), literal.end(), '*', '%');
            return name + (op == "=" ? " LIKE " : " NOT LIKE ") + Quoted(literal);
        }
        return name + op + Quoted(literal);
    }
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftLargeint: {
        int64_t v;
        if (!TryStrToInt64(Trim(literal), v)) RaiseNotConvertible(literal, "Integerwert");
        return name + op + std::to_string(v);
    }
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftFMTBcd: {
        double d;
        if (!TryStrToFloat(Trim(literal), d)) RaiseNotConvertible(literal, "Gleitkommawert");
        // The text as typed converts; the statement gets the value with a point, whatever the locale: the
        // shortest text that reads back as the same double (0.1 stays 0.1), or, for the server, every digit
        // of a value a double cannot hold.
        if (!localFilter) {
            std::string plain = Trim(literal);
            const char sep = platform::DecimalSeparator();
            if (sep != '.') std::replace(plain.begin(), plain.end(), sep, '.');
            TDecimal exact;
            if (ParseDecimal(plain, exact) && exact.SignificantDigits() > 15)
                return name + op + DecimalToText(exact);
        }
        char buf[64];
        auto r = std::to_chars(buf, buf + sizeof buf, d);
        return name + op + std::string(buf, r.ptr);
    }
    case ftDate:
    case ftTime:
    case ftDateTime:
    case ftTimeStamp: {
        TDateTime d;
        if (!TryStrToDateTime(Trim(literal), d)) RaiseNotConvertible(literal, "Datum und Uhrzeit");
        return name + op + Quoted(Trim(literal));
    }
    default:
        // Any other type: the value goes in as a literal, never as statement text.
        return name + op + Quoted(literal);
    }
}

// ---- Summaries ----

bool IsIntegerType(TFieldType t) {
    return t == ftSmallint || t == ftInteger || t == ftWord || t == ftLargeint || t == ftAutoInc;
}

bool IsFloatType(TFieldType t) {
    return t == ftFloat || t == ftCurrency;
}

bool IsNumericFieldType(TFieldType t) {
    return IsIntegerType(t) || IsFloatType(t) || t == ftBCD || t == ftFMTBcd;
}

bool SummaryTypeAllowed(TFieldType t) {
    return t == ftSmallint || t == ftInteger || t == ftWord || t == ftFloat || t == ftCurrency ||
           t == ftLargeint;
}

void SummaryStart(TSummaryValue& s, TSummaryMode mode, bool isFloat, bool firstNull, int32_t firstInt,
                  long double firstFloat) {
    s = TSummaryValue();
    s.IsFloat = isFloat;
    if (mode == smMax || mode == smMin) {
        s.Int = firstNull ? 0 : firstInt;
        s.Float = firstNull ? 0 : firstFloat;
    }
}

void SummaryAdd(TSummaryValue& s, TSummaryMode mode, bool isNull, int32_t intValue, long double floatValue) {
    int32_t iv = isNull ? 0 : intValue;
    long double fv = isNull ? 0 : floatValue;
    ++s.Count;
    switch (mode) {
    case smSum:
    case smAvr:
        s.Int += iv;
        s.Float += fv;
        break;
    case smMax:
        if (s.IsFloat ? fv > s.Float : iv > s.Int) {
            s.Int = iv;
            s.Float = fv;
        }
        break;
    case smMin:
        if (s.IsFloat ? fv < s.Float : iv < s.Int) {
            s.Int = iv;
            s.Float = fv;
        }
        break;
    default:
        break;
    }
}

std::string FormatFloatAs(long double v, const TFloatFormatting& how) {
    const char sep = platform::DecimalSeparator();
    char buf[128];
    int prec = how.Precision > 0 ? std::min(how.Precision, 18) : 15;
    int digits = std::clamp(how.Digits, 0, 18);
    std::string s;
    switch (how.Format) {
    case ffExponent:
        std::snprintf(buf, sizeof buf, "%.*LE", std::max(prec - 1, 0), v);
        s = buf;
        break;
    case ffFixed:
    case ffNumber:
    case ffCurrency: {
        std::snprintf(buf, sizeof buf, "%.*Lf", digits, v);
        s = buf;
        if (how.Format != ffFixed) {
            // Thousands separators in the integer part.
            const char thousands = sep == ',' ? '.' : ',';
            size_t start = (s[0] == '-') ? 1 : 0;
            size_t dot = s.find('.');
            if (dot == std::string::npos) dot = s.size();
            for (long i = long(dot) - 3; i > long(start); i -= 3)
                s.insert(size_t(i), 1, thousands);
        }
        break;
    }
    default:
        if (how.Precision <= 0 && how.Digits <= 0) {
            s = FloatToStr(double(v));
            return s;
        }
        std::snprintf(buf, sizeof buf, "%.*Lg", prec, v);
        s = buf;
        break;
    }
    for (char& c : s)
        if (c == '.') c = sep;
    if (how.Format == ffCurrency) s += " \x80";
    return s;
}

void SummaryAddExact(TSummaryValue& s, TSummaryMode mode, const std::string* exactText, double value) {
    TDecimal now, add;
    if (!s.ExactSum.empty() && !ParseDecimal(s.ExactSum, now)) return;
    if (exactText ? !ParseDecimal(*exactText, add) : !DecimalFromDouble(value, add)) return;
    if (mode == smSum) {
        s.ExactSum = DecimalToText(AddDecimal(now, add));
    } else if (mode == smMax || mode == smMin) {
        const int c = CompareDecimal(add, now);
        if (s.ExactSum.empty() || (mode == smMax ? c > 0 : c < 0)) s.ExactSum = DecimalToText(add);
    } else {
        return;
    }
    s.Exact = true;
}

std::string SummaryFormat(const TSummaryValue& s, TSummaryMode mode, const TFloatFormatting& how) {
    if (mode == smNone) return std::string();
    if ((mode == smSum || mode == smMax || mode == smMin) && s.IsFloat && s.Exact &&
        how.Format == ffGeneral && how.Precision <= 0 && how.Digits <= 0) {
        // Every digit, written as the cells write theirs.
        std::string t = s.ExactSum;
        const char sep = platform::DecimalSeparator();
        if (sep != '.') std::replace(t.begin(), t.end(), '.', sep);
        return t;
    }
    if (mode == smAvr) {
        if (s.Count == 0) return std::string();
        long double avg = s.IsFloat ? s.Float / s.Count : (long double)s.Int / s.Count;
        return FormatFloatAs(avg, how);
    }
    if (s.IsFloat) return FormatFloatAs(s.Float, how);
    return std::to_string(s.Int);
}

// ---- Cell texts ----

std::string FitCellText(const std::string& text, int width, bool rightAligned, bool numeric,
                        const std::function<int(const std::string&)>& measure, bool& cut) {
    cut = false;
    const int margin = rightAligned ? 4 : 2;
    if (measure(text) + margin <= width) return text;
    cut = true;
    if (numeric) {
        std::string s = text;
        for (char& c : s)
            if (c >= '0' && c <= '9') c = '#';
        while (!s.empty() && measure(s) + margin > width)
            s.pop_back();
        return s;
    }
    std::string s = text;
    while (!s.empty() && measure(s + "...") + margin > width)
        s.pop_back();
    return s + "...";
}

// ---- Titles ----

std::vector<std::string> TitleLevels(const std::string& caption, char delimiter) {
    std::vector<std::string> levels;
    size_t start = 0;
    for (;;) {
        size_t p = caption.find(delimiter, start);
        if (p == std::string::npos) {
            levels.push_back(caption.substr(start));
            break;
        }
        levels.push_back(caption.substr(start, p - start));
        start = p + 1;
    }
    return levels;
}

void MergedSpan(const std::vector<std::vector<std::string>>& levels, int column, int level, int& first,
                int& last) {
    first = last = column;
    auto has = [&](int c) {
        return c >= 0 && c < int(levels.size()) && level < int(levels[size_t(c)].size());
    };
    if (!has(column)) return;
    // Only upper levels merge: the lowest level of a column belongs to that column alone.
    if (level == int(levels[size_t(column)].size()) - 1) return;
    auto same = [&](int c) {
        if (!has(c) || level >= int(levels[size_t(c)].size()) - 1) return false;
        for (int l = 0; l <= level; ++l)
            if (Upper(levels[size_t(c)][size_t(l)]) != Upper(levels[size_t(column)][size_t(l)])) return false;
        return true;
    };
    while (same(first - 1))
        --first;
    while (same(last + 1))
        ++last;
}

// ---- Proportional widths ----

int AvailableWidth(int clientWidth, bool indicator, bool colLines, int lineWidth, int columns) {
    int w = clientWidth - (indicator ? 12 : 1);
    if (colLines) w -= lineWidth * columns;
    return w;
}

std::vector<double> WidthRatios(const std::vector<int>& widths) {
    long sum = 0;
    for (int w : widths)
        sum += w;
    std::vector<double> r(widths.size(), 0);
    if (sum <= 0) return r;
    for (size_t i = 0; i < widths.size(); ++i)
        r[i] = double(widths[i]) / double(sum);
    return r;
}

std::vector<int> StretchedWidths(const std::vector<double>& ratios, int available) {
    std::vector<int> w(ratios.size());
    for (size_t i = 0; i < ratios.size(); ++i)
        w[i] = int(std::lround(ratios[i] * double(available + 2)));
    return w;
}

std::vector<int> SizeColumnStretched(std::vector<int> widths, const std::vector<int>& minWidths, int k,
                                     int newWidth, int available) {
    const int n = int(widths.size());
    if (k < 0 || k >= n) return widths;
    widths[size_t(k)] = newWidth;
    int before = 0;
    for (int i = 0; i < k; ++i)
        before += widths[size_t(i)];
    const int following = n - 1 - k;
    if (following == 0) {
        widths[size_t(k)] = std::max(available - before, 0);
        return widths;
    }
    if (available - before - widths[size_t(k)] < 10 * following) {
        widths[size_t(k)] = std::max(available - before - 10 * following, 0);
        for (int i = k + 1; i < n; ++i)
            widths[size_t(i)] = std::max(10, size_t(i) < minWidths.size() ? minWidths[size_t(i)] : 0);
        return widths;
    }
    int left = available - before - widths[size_t(k)];
    long oldSum = 0;
    for (int i = k + 1; i < n; ++i)
        oldSum += widths[size_t(i)];
    int used = 0;
    for (int i = k + 1; i < n; ++i) {
        int w;
        if (i == n - 1)
            w = left - used;
        else
            w = oldSum > 0 ? int(std::lround(double(widths[size_t(i)]) * left / double(oldSum)))
                           : left / following;
        int minW = size_t(i) < minWidths.size() ? minWidths[size_t(i)] : 0;
        w = std::max(w, minW);
        widths[size_t(i)] = w;
        used += w;
    }
    return widths;
}
