// Values of the current protocol generation that the call-interface layer receives as text: the date-time
// types with fractional seconds and time zones, both interval types, BOOLEAN and the universal ROWID; and
// the binary floating-point forms. Each decoder checks the bytes it is given and refuses what no server
// sends, so that a hostile value gives an error instead of a wrong digit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace oranet {

// Wire type numbers of the current generation beyond the classic set.
enum : uint8_t {
    wireBinaryFloat = 100,
    wireBinaryDouble = 101,
    wireJson = 119,
    wireVector = 127,
    wireTimestamp = 180,
    wireTimestampTz = 181,
    wireIntervalYm = 182,
    wireIntervalDs = 183,
    wireUrowid = 208,
    wireTimestampLtz = 231,
    wireBoolean = 252,
};

// The SQL name of a wire type of the current generation, for messages ("TIMESTAMP WITH TIME ZONE").
std::string CurrentTypeName(uint8_t type);

// True for the wire types whose values reach the call-interface layer as text (described as VARCHAR2).
bool CurrentTypeAsText(uint8_t type);

// The widest text CurrentValueText makes for a column of the type (maxSize: the described size in bytes).
uint32_t CurrentTextWidth(uint8_t type, uint32_t maxSize);

// A column's description as far as its text depends on it.
struct TTextColumn {
    uint8_t type = 0;
    int8_t precision = 0; // leading field digits of an interval
    int8_t scale = 0;     // fractional second digits
};

// The text of a value of a type CurrentTypeAsText accepts. zoneMinutes: the session's time zone, east of
// UTC, for TIMESTAMP WITH LOCAL TIME ZONE. Forms:
//   TIMESTAMP, WITH LOCAL TIME ZONE   "2024-02-29 13:45:00.123456789" (year -4712..9999, scale digits)
//   WITH TIME ZONE                    "... +05:30" in the offset's local time, or "... UTC" for a value
//                                     tagged with a time-zone region (its rules are the server's)
//   INTERVAL YEAR TO MONTH            "-02-03"
//   INTERVAL DAY TO SECOND            "+01 02:03:04.500000"
//   BOOLEAN                           "TRUE", "FALSE"
//   UROWID                            the physical ROWID's 18 characters, or "*" and the logical form
// Fraction digits follow the column's scale but are never cut: a value with more digits than the scale
// shows all nine. False, with a reason in error (UTF-8, German), for bytes that are no value of the type.
bool CurrentValueText(const TTextColumn& column, int zoneMinutes, std::string_view raw, std::string& text,
                      std::string& error);

// BINARY_FLOAT (4 bytes) and BINARY_DOUBLE (8 bytes) in their order-preserving form; false for any other
// length. A float widens to a double exactly.
bool BinaryFloatValue(uint8_t type, std::string_view raw, double& value);
// The shortest text that reads back as the same value: "0.1", "-3.4028235E+38", "NaN", "Inf", "-Inf".
std::string BinaryFloatText(uint8_t type, double value);

// "+hh:mm" or "-hh:mm" as minutes east of UTC; 0 for anything else.
int ZoneOffsetMinutes(std::string_view text);

} // namespace oranet
