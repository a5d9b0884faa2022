// Exact decimal numbers for the values a double cannot hold: a NUMBER column keeps up to 40 significant
// digits and exponents from -130 to 125, a double only 15 digits. The text form uses a point whatever the
// locale; display code swaps in the user's separator at its edge.
#pragma once

#include <string>
#include <string_view>

// Value = (-1 if Negative) × 0.d1 d2 d3 ... × 10^(Exponent + 1), i.e. d1 stands at the decimal position
// Exponent (the power of ten of the first significant digit). Digits holds no leading and no trailing zeros;
// empty Digits is zero (and then Negative is false).
struct TDecimal {
    bool Negative = false;
    std::string Digits;
    int Exponent = 0;

    bool IsZero() const { return Digits.empty(); }
    int SignificantDigits() const { return int(Digits.size()); }
};

// Reads "-12.5", "+.5", "1e3", "1.5E-20", "0007" (blanks around are allowed; nothing else). False for
// anything else, and for exponents beyond ±100000.
bool ParseDecimal(std::string_view text, TDecimal& out);

// The text form: plain digits while the first digit's power of ten lies in -5..39 ("12345678901234567890",
// "-0.000012345678901234567"), otherwise one digit, the point, the rest and an exponent of at least two
// digits ("9.99E+125", "-1E-130"). ParseDecimal reads every such text back to the same value.
std::string DecimalToText(const TDecimal& d);

// -1, 0 or 1.
int CompareDecimal(const TDecimal& a, const TDecimal& b);

// The exact sum.
TDecimal AddDecimal(const TDecimal& a, const TDecimal& b);

// The digits a user sees of a double: 15 significant digits, as the float texts show them. NaN and the
// infinities give false.
bool DecimalFromDouble(double v, TDecimal& out);

// The nearest double (correctly rounded; out of range gives ±infinity or ±0).
double DecimalToDouble(const TDecimal& d);

// True when text holds a number of more than 15 significant digits, i.e. one that a double would round.
bool IsWideDecimalText(std::string_view text);
