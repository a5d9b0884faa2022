// The wire forms of the column types the current generation describes natively (date-times with
// fractions and zones, intervals, binary floats, BOOLEAN, national text).
#pragma once

#include "emulator/EmuEngine.h"

#include <cstdint>
#include <string>

namespace vemu {

enum : int {
    kWireBinaryFloat = 100,
    kWireBinaryDouble = 101,
    kWireTimestamp = 180,
    kWireTimestampTz = 181,
    kWireIntervalYm = 182,
    kWireIntervalDs = 183,
    kWireTimestampLtz = 231,
    kWireBoolean = 252,
};

// The bytes of a date-time or interval value of the column's wire type; false when the value held is no
// value of it (it is then sent as NULL).
bool WireValueBytes(int wire, const Value& v, std::string& out);
// The parts of a ROWID's 18 characters; false for any other text.
bool RowidFromText(const std::string& text, RowidParts& parts);
// A binary float's value from what SQLite holds (numbers, or "NaN", "Inf", "-Inf" as text).
double BinaryValue(const Value& v);
// The described size in bytes of a wire type.
uint32_t WireSize(int wire);

} // namespace vemu
