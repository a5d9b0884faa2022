// Exact conversions between Oracle's NUMBER bytes and decimal numbers: every one of the up to 40
// significant digits and the whole exponent range (1E-130 up to 9.99...E+125). The double conversions
// (IntToNumber, FloatToNumber, NumberToInt, NumberToFloat) live beside the bind and row values.
#pragma once

#include "dataset/DecimalText.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace oranet {

// The decimal value of a NUMBER form. False for the infinities and for bytes that are no NUMBER
// (empty, longer than 22 bytes, digit bytes out of range).
bool NumberToDecimal(const uint8_t* bytes, size_t length, TDecimal& out);

// The same as text ("12345678901234567890", "-1E-130"); empty for what NumberToDecimal refuses.
std::string NumberToDecimalText(const uint8_t* bytes, size_t length);

// The NUMBER form of a decimal: more than 40 digits are rounded half away from zero at the last base-100
// digit the form holds; a value below 1E-130 becomes 0. False when the value is 1E+126 or more in
// magnitude (bytes are left empty then).
bool DecimalToNumber(const TDecimal& d, std::string& bytes);

// Parses the text (a point as separator) first; false for text that is no number, too.
bool DecimalTextToNumber(const std::string& text, std::string& bytes);

} // namespace oranet
