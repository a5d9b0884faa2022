#include "dataset/DecimalText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr int MaxExponentText = 100000;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Drops leading zeros (each moves the first digit one place down) and trailing zeros.
void Normalise(TDecimal& d) {
    size_t lead = 0;
    while (lead < d.Digits.size() && d.Digits[lead] == '0')
        ++lead;
    d.Digits.erase(0, lead);
    d.Exponent -= int(lead);
    while (!d.Digits.empty() && d.Digits.back() == '0')
        d.Digits.pop_back();
    if (d.Digits.empty()) {
        d.Negative = false;
        d.Exponent = 0;
    }
}

// The magnitude as digits from position high down to position low (one entry per power of ten).
std::vector<int> Place(const TDecimal& d, int high, int low) {
    std::vector<int> v(size_t(high - low + 1), 0);
    for (size_t i = 0; i < d.Digits.size(); ++i) {
        int pos = d.Exponent - int(i);
        v[size_t(high - pos)] = d.Digits[i] - '0';
    }
    return v;
}

int CompareMagnitude(const TDecimal& a, const TDecimal& b) {
    if (a.IsZero() || b.IsZero()) return a.IsZero() == b.IsZero() ? 0 : a.IsZero() ? -1 : 1;
    if (a.Exponent != b.Exponent) return a.Exponent < b.Exponent ? -1 : 1;
    int c = a.Digits.compare(b.Digits); // no trailing zeros: a shorter prefix is the smaller value
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

} // namespace

bool ParseDecimal(std::string_view text, TDecimal& out) {
    size_t i = 0, n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    while (n > i && (text[n - 1] == ' ' || text[n - 1] == '\t'))
        --n;
    TDecimal d;
    if (i < n && (text[i] == '-' || text[i] == '+')) d.Negative = text[i++] == '-';
    int before = 0;
    bool point = false, anyDigit = false;
    for (; i < n; ++i) {
        char c = text[i];
        if (IsDigit(c)) {
            anyDigit = true;
            d.Digits.push_back(c);
            if (!point) ++before;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!anyDigit) return false;
    long exp = 0;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negExp = false;
        if (i < n && (text[i] == '-' || text[i] == '+')) negExp = text[i++] == '-';
        if (i >= n || !IsDigit(text[i])) return false;
        for (; i < n && IsDigit(text[i]); ++i) {
            exp = exp * 10 + (text[i] - '0');
            if (exp > MaxExponentText) return false;
        }
        if (negExp) exp = -exp;
    }
    if (i != n) return false;
    d.Exponent = before - 1 + int(exp);
    Normalise(d);
    out = std::move(d);
    return true;
}

std::string DecimalToText(const TDecimal& d) {
    if (d.IsZero()) return "0";
    std::string s = d.Negative ? "-" : "";
    const int x = d.Exponent;
    const int n = d.SignificantDigits();
    if (x >= -5 && x <= 39) {
        if (x >= 0) {
            if (n <= x + 1) {
                s += d.Digits;
                s.append(size_t(x + 1 - n), '0');
            } else {
                s.append(d.Digits, 0, size_t(x + 1));
                s += '.';
                s.append(d.Digits, size_t(x + 1), std::string::npos);
            }
        } else {
            s += "0.";
            s.append(size_t(-x - 1), '0');
            s += d.Digits;
        }
        return s;
    }
    s += d.Digits[0];
    if (n > 1) {
        s += '.';
        s.append(d.Digits, 1, std::string::npos);
    }
    s += x < 0 ? "E-" : "E+";
    std::string e = std::to_string(x < 0 ? -x : x);
    if (e.size() < 2) s += '0';
    s += e;
    return s;
}

int CompareDecimal(const TDecimal& a, const TDecimal& b) {
    const int sa = a.IsZero() ? 0 : a.Negative ? -1 : 1;
    const int sb = b.IsZero() ? 0 : b.Negative ? -1 : 1;
    if (sa != sb) return sa < sb ? -1 : 1;
    const int m = CompareMagnitude(a, b);
    return sa < 0 ? -m : m;
}

TDecimal AddDecimal(const TDecimal& a, const TDecimal& b) {
    if (a.IsZero()) return b;
    if (b.IsZero()) return a;
    const int high = std::max(a.Exponent, b.Exponent) + 1; // room for a carry
    const int low = std::min(a.Exponent - a.SignificantDigits() + 1, b.Exponent - b.SignificantDigits() + 1);
    std::vector<int> x = Place(a, high, low), y = Place(b, high, low);
    TDecimal r;
    if (a.Negative == b.Negative) {
        r.Negative = a.Negative;
        int carry = 0;
        for (size_t i = x.size(); i-- > 0;) {
            int s = x[i] + y[i] + carry;
            x[i] = s % 10;
            carry = s / 10;
        }
    } else {
        const int m = CompareMagnitude(a, b);
        if (m == 0) return TDecimal();
        if (m < 0) std::swap(x, y);
        r.Negative = m > 0 ? a.Negative : b.Negative;
        int borrow = 0;
        for (size_t i = x.size(); i-- > 0;) {
            int s = x[i] - y[i] - borrow;
            borrow = s < 0;
            x[i] = s + (borrow ? 10 : 0);
        }
    }
    r.Digits.reserve(x.size());
    for (int v : x)
        r.Digits.push_back(char('0' + v));
    r.Exponent = high;
    Normalise(r);
    return r;
}

bool DecimalFromDouble(double v, TDecimal& out) {
    if (!std::isfinite(v)) return false;
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    return ParseDecimal(std::string_view(buf, size_t(r.ptr - buf)), out);
}

double DecimalToDouble(const TDecimal& d) {
    if (d.IsZero()) return 0;
    std::string s = d.Negative ? "-0." : "0.";
    s += d.Digits;
    s += 'e';
    s += std::to_string(d.Exponent + 1);
    double v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec == std::errc::result_out_of_range) {
        v = d.Exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
        if (d.Negative) v = -v;
    }
    return v;
}

bool IsWideDecimalText(std::string_view text) {
    TDecimal d;
    return ParseDecimal(text, d) && d.SignificantDigits() > 15;
}
