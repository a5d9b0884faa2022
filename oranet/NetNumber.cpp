#include "oranet/NetNumber.h"

namespace oranet {

namespace {

// Base-100 exponents a NUMBER form holds: the first digit's exponent byte runs from 0x80 to 0xFF.
constexpr int MinExponent = -65;
constexpr int MaxExponent = 62;
constexpr int MaxDigits = 20;

} // namespace

bool NumberToDecimal(const uint8_t* b, size_t n, TDecimal& out) {
    out = TDecimal();
    if (n == 0 || n > 22) return false;
    if (n == 1 && b[0] == 0x80) return true; // zero
    if (n == 1 && b[0] == 0x00) return false;
    if (n == 2 && b[0] == 0xFF && b[1] == 0x65) return false;
    const bool negative = (b[0] & 0x80) == 0;
    int e;
    size_t last = n; // one past the last digit byte
    if (!negative) {
        e = (b[0] & 0x7F) - 65;
    } else {
        e = ((~b[0]) & 0x7F) - 65;
        // A negative form of fewer than 20 digits ends with the byte 102, which is no digit.
        if (b[n - 1] == 102) last = n - 1;
    }
    if (last < 2) return false;
    std::string digits;
    digits.reserve(2 * (last - 1));
    for (size_t i = 1; i < last; ++i) {
        int d = negative ? 101 - b[i] : b[i] - 1;
        if (d < 0 || d > 99) return false;
        digits.push_back(char('0' + d / 10));
        digits.push_back(char('0' + d % 10));
    }
    out.Negative = negative;
    out.Exponent = 2 * e + 1;
    size_t lead = 0;
    while (lead < digits.size() && digits[lead] == '0')
        ++lead;
    digits.erase(0, lead);
    out.Exponent -= int(lead);
    while (!digits.empty() && digits.back() == '0')
        digits.pop_back();
    out.Digits = std::move(digits);
    if (out.Digits.empty()) out = TDecimal(); // all digit bytes zero: a zero in a long form
    return true;
}

std::string NumberToDecimalText(const uint8_t* bytes, size_t length) {
    TDecimal d;
    if (!NumberToDecimal(bytes, length, d)) return std::string();
    return DecimalToText(d);
}

bool DecimalToNumber(const TDecimal& d, std::string& bytes) {
    bytes.clear();
    if (d.IsZero()) {
        bytes.assign(1, char(0x80));
        return true;
    }
    // The first base-100 digit holds the decimal positions 2e+1 and 2e.
    const int x = d.Exponent;
    int e = x >= 0 ? x / 2 : -((-x + 1) / 2);
    std::string dec;
    if (x == 2 * e) dec.push_back('0'); // the first digit is the low half of its pair
    dec += d.Digits;
    if (dec.size() % 2) dec.push_back('0');
    int digits[MaxDigits + 1];
    int count = 0;
    bool roundUp = false;
    for (size_t i = 0; i < dec.size(); i += 2) {
        int v = (dec[i] - '0') * 10 + (dec[i + 1] - '0');
        if (count == MaxDigits) {
            roundUp = v >= 50;
            break;
        }
        digits[count++] = v;
    }
    if (roundUp) {
        int i = count - 1;
        while (i >= 0 && ++digits[i] == 100) {
            digits[i] = 0;
            --i;
        }
        if (i < 0) { // 99..99 became 100..00
            digits[0] = 1;
            count = 1;
            ++e;
        }
    }
    while (count > 1 && digits[count - 1] == 0)
        --count;
    if (e > MaxExponent) return false;
    if (e < MinExponent) {
        bytes.assign(1, char(0x80));
        return true;
    }
    if (!d.Negative) {
        bytes.push_back(char(uint8_t(0xC1 + e)));
        for (int i = 0; i < count; ++i)
            bytes.push_back(char(uint8_t(digits[i] + 1)));
    } else {
        bytes.push_back(char(uint8_t(0x3E - e)));
        for (int i = 0; i < count; ++i)
            bytes.push_back(char(uint8_t(101 - digits[i])));
        if (count < MaxDigits) bytes.push_back(char(102));
    }
    return true;
}

bool DecimalTextToNumber(const std::string& text, std::string& bytes) {
    TDecimal d;
    bytes.clear();
    return ParseDecimal(text, d) && DecimalToNumber(d, bytes);
}

} // namespace oranet
