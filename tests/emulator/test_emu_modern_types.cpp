// The wire forms vestra-emu writes for the current protocol's own column types, byte by byte, from the
// values SQLite holds; and the declared types as the engine keeps them.
#include "emulator/EmuModernTypes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <string>

using namespace vemu;

namespace {

std::string B(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes)
        s.push_back(static_cast<char>(static_cast<uint8_t>(b)));
    return s;
}

Value Text(const std::string& s) {
    Value v;
    v.kind = Value::Text;
    v.s = s;
    return v;
}

std::string Wire(int type, const std::string& text) {
    std::string out;
    if (!WireValueBytes(type, Text(text), out)) return "<null>";
    return out;
}

} // namespace

TEST(EmuModernTypes, DateTimesInUtcWithTheirZone) {
    EXPECT_EQ(Wire(kWireTimestamp, "2024-02-29 13:45:00.123456789"),
              B({120, 124, 2, 29, 14, 46, 1, 0x07, 0x5B, 0xCD, 0x15}));
    // Without a fraction a TIMESTAMP is 7 bytes; before Christ century and year are below 100.
    EXPECT_EQ(Wire(kWireTimestamp, "-4712-01-01 00:00:00"), B({53, 88, 1, 1, 1, 1, 1}));
    // WITH TIME ZONE: the UTC time, then the offset as hour + 20 and minute + 60.
    EXPECT_EQ(Wire(kWireTimestampTz, "2024-01-01 10:00:00 +14:00"),
              B({120, 123, 12, 31, 21, 1, 1, 0, 0, 0, 0, 34, 60}));
    EXPECT_EQ(Wire(kWireTimestampTz, "2024-01-01 10:00:00.5 -03:30"),
              B({120, 124, 1, 1, 14, 31, 1, 0x1D, 0xCD, 0x65, 0x00, 17, 30}));
    // The calendar turns Julian before 1582-10-15.
    EXPECT_EQ(Wire(kWireTimestampTz, "1582-10-15 00:30:00 +01:00"),
              B({115, 182, 10, 4, 24, 31, 1, 0, 0, 0, 0, 21, 60}));
    // A region: its number in the high bit's 13 bits.
    EXPECT_EQ(Wire(kWireTimestampTz, "2024-07-01 15:30:00 Asia/Kolkata"),
              B({120, 124, 7, 1, 11, 1, 1, 0, 0, 0, 0, 0x80, 2 << 2}));
    // WITH LOCAL TIME ZONE is kept in UTC: a value with a zone is moved there.
    EXPECT_EQ(Wire(kWireTimestampLtz, "2024-06-30 12:00:00.5"),
              B({120, 124, 6, 30, 13, 1, 1, 0x1D, 0xCD, 0x65, 0x00}));
    EXPECT_EQ(Wire(kWireTimestampLtz, "2024-06-30 12:00:00 +02:00"), B({120, 124, 6, 30, 11, 1, 1}));

    for (const char* bad : {"2024-02-29", "2024-13-01 00:00:00", "0000-01-01 00:00:00", "2024-01-01 24:00:00",
                            "2024-01-01 10:00:00 +15:00", "2024-01-01 10:00:00 Mars/Olympus",
                            "2024-01-01 10:00:00.", "2024-01-01 10:00:00 +1:00"})
        EXPECT_EQ(Wire(kWireTimestampTz, bad), "<null>") << bad;
}

TEST(EmuModernTypes, IntervalsWithTheirSigns) {
    EXPECT_EQ(Wire(kWireIntervalYm, "+02-03"), B({0x80, 0, 0, 2, 63}));
    EXPECT_EQ(Wire(kWireIntervalYm, "-000000002-03"), B({0x7F, 0xFF, 0xFF, 0xFE, 57}));
    EXPECT_EQ(Wire(kWireIntervalDs, "-01 02:03:04.000000005"),
              B({0x7F, 0xFF, 0xFF, 0xFF, 58, 57, 56, 0x7F, 0xFF, 0xFF, 0xFB}));
    EXPECT_EQ(Wire(kWireIntervalDs, "+999999999 23:59:59.999999999"),
              B({0xBB, 0x9A, 0xC9, 0xFF, 83, 119, 119, 0xBB, 0x9A, 0xC9, 0xFF}));
    for (const char* bad : {"", "+02", "+02-12", "02-03 x", "+1 24:00:00", "+1 00:00:00.", "-"})
        EXPECT_EQ(Wire(kWireIntervalDs, bad) == "<null>" && Wire(kWireIntervalYm, bad) == "<null>", true)
            << bad;
}

TEST(EmuModernTypes, DeclaredTypesKeptUnderSqliteNames) {
    struct {
        const char* declared;
        int wire, classic, lead, fraction;
        const char* kept;
    } cases[] = {
        {"TIMESTAMP(9)", 180, kOraDate, 0, 9, "TIMESTAMP(9)"},
        {"TIMESTAMP", 180, kOraDate, 0, 6, "TIMESTAMP(6)"},
        {"TIMESTAMP(3) WITH TIME ZONE", 181, kOraDate, 0, 3, "TIMESTAMP_TZ(3)"},
        {"TIMESTAMP WITH LOCAL TIME ZONE", 231, kOraDate, 0, 6, "TIMESTAMP_LTZ(6)"},
        {"INTERVAL YEAR(9) MONTH", 182, kOraVarchar2, 9, 0, "INTERVAL_YM(9)"},
        {"INTERVAL DAY SECOND(3)", 183, kOraVarchar2, 2, 3, "INTERVAL_DS(2,3)"},
        {"BINARY_DOUBLE", 101, kOraNumber, 0, 0, "BINARY_DOUBLE"},
        {"BOOLEAN", 252, kOraNumber, 0, 0, "BOOLEAN"},
        {"NVARCHAR2(20)", 0, kOraVarchar2, 0, 0, "NVARCHAR2(20)"},
    };
    for (const auto& c : cases) {
        ColumnType t = ParseDeclType(c.declared);
        EXPECT_EQ(t.wire, c.wire) << c.declared;
        EXPECT_EQ(t.type, c.classic) << c.declared;
        EXPECT_EQ(t.wireLead, c.lead) << c.declared;
        EXPECT_EQ(t.wireFraction, c.fraction) << c.declared;
        EXPECT_EQ(DeclTypeText(t), c.kept) << c.declared;
        // What SQLite keeps reads back as the same type.
        ColumnType again = ParseDeclType(DeclTypeText(t));
        EXPECT_EQ(again.wire, t.wire) << c.declared;
        EXPECT_EQ(again.wireLead, t.wireLead) << c.declared;
        EXPECT_EQ(again.wireFraction, t.wireFraction) << c.declared;
        EXPECT_EQ(again.national, t.national) << c.declared;
    }
}

TEST(EmuModernTypes, RowidPartsAndBinaryValues) {
    RowidParts r;
    ASSERT_TRUE(RowidFromText("AAAAEAAABAAAAEAAAF", r));
    EXPECT_EQ(r.object, 256u);
    EXPECT_EQ(r.file, 1u);
    EXPECT_EQ(r.block, 256u);
    EXPECT_EQ(r.row, 5u);
    EXPECT_FALSE(RowidFromText("AAAAEAAABAAAAEAAA", r));
    EXPECT_FALSE(RowidFromText("AAAAEAAABAAAAEAA-F", r));
    EXPECT_FALSE(RowidFromText("AAAAEA//BAAAAEAAAF", r)); // a file number beyond two bytes

    EXPECT_TRUE(std::isnan(BinaryValue(Text("NaN"))));
    EXPECT_EQ(BinaryValue(Text("-Inf")), -HUGE_VAL);
    EXPECT_EQ(BinaryValue(Text("0.5")), 0.5);
}
