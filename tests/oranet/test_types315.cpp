// The current generation's date-time, interval, BOOLEAN, universal ROWID and binary floating-point forms,
// byte by byte as a server writes them, and what the client refuses.
#include "oranet/NetTypes315.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>

using namespace oranet;

namespace {

std::string B(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes)
        s.push_back(char(uint8_t(b)));
    return s;
}

// A date-time as a server writes it (year may be negative: century and year in century both below 100).
std::string Stamp(int year, int month, int day, int hour, int minute, int second, long nanos = -1) {
    std::string s = B({year / 100 + 100, year % 100 + 100, month, day, hour + 1, minute + 1, second + 1});
    if (nanos >= 0)
        s += B({int(nanos >> 24) & 255, int(nanos >> 16) & 255, int(nanos >> 8) & 255, int(nanos) & 255});
    return s;
}

std::string Text(uint8_t type, const std::string& raw, int8_t scale = 9, int8_t precision = 2, int zone = 0) {
    std::string text, error;
    if (!CurrentValueText({type, precision, scale}, zone, raw, text, error)) return "error: " + error;
    return text;
}

bool Refused(uint8_t type, const std::string& raw) {
    std::string text, error;
    bool ok = CurrentValueText({type, 2, 9}, 0, raw, text, error);
    return !ok && !error.empty();
}

std::string Be32(uint32_t v) {
    return B({int(v >> 24) & 255, int(v >> 16) & 255, int(v >> 8) & 255, int(v) & 255});
}

std::string Ym(int years, int months) {
    return Be32(uint32_t(0x80000000u + uint32_t(years))) + B({months + 60});
}

std::string Ds(int days, int hours, int minutes, int seconds, int nanos) {
    return Be32(uint32_t(0x80000000u + uint32_t(days))) + B({hours + 60, minutes + 60, seconds + 60}) +
           Be32(uint32_t(0x80000000u + uint32_t(nanos)));
}

} // namespace

TEST(CurrentTimestamp, EveryDigitTheServerHolds) {
    EXPECT_EQ(Text(wireTimestamp, Stamp(2024, 2, 29, 13, 45, 0), 0), "2024-02-29 13:45:00");
    EXPECT_EQ(Text(wireTimestamp, Stamp(2024, 2, 29, 13, 45, 0, 123456789)), "2024-02-29 13:45:00.123456789");
    EXPECT_EQ(Text(wireTimestamp, Stamp(9999, 12, 31, 23, 59, 59, 999999999)),
              "9999-12-31 23:59:59.999999999");
    EXPECT_EQ(Text(wireTimestamp, Stamp(-4712, 1, 1, 0, 0, 0)), "-4712-01-01 00:00:00.000000000");
    EXPECT_EQ(Stamp(-4712, 1, 1, 0, 0, 0).substr(0, 2), B({53, 88}));
    // The column's scale sets the digits, but a digit beyond it is never dropped.
    EXPECT_EQ(Text(wireTimestamp, Stamp(2000, 1, 2, 3, 4, 5, 500000000), 6), "2000-01-02 03:04:05.500000");
    EXPECT_EQ(Text(wireTimestamp, Stamp(2000, 1, 2, 3, 4, 5, 0), 3), "2000-01-02 03:04:05.000");
    EXPECT_EQ(Text(wireTimestamp, Stamp(2000, 1, 2, 3, 4, 5, 123456789), 3), "2000-01-02 03:04:05.123456789");
    EXPECT_EQ(Text(wireTimestamp, Stamp(2000, 1, 2, 3, 4, 5, 7), 0), "2000-01-02 03:04:05.000000007");
    EXPECT_EQ(Text(wireTimestamp, Stamp(1, 1, 1, 0, 0, 0), 0), "0001-01-01 00:00:00");
}

TEST(CurrentTimestamp, TimeZonesShownAsTheServerStoresThem) {
    // The value travels in UTC; an offset's local time is shown with the offset.
    EXPECT_EQ(Text(wireTimestampTz, Stamp(2024, 1, 1, 10, 0, 0, 0) + B({20 + 14, 60})),
              "2024-01-02 00:00:00.000000000 +14:00");
    EXPECT_EQ(Text(wireTimestampTz, Stamp(2024, 1, 1, 10, 0, 0, 0) + B({20 - 12, 60})),
              "2023-12-31 22:00:00.000000000 -12:00");
    EXPECT_EQ(Text(wireTimestampTz, Stamp(2024, 3, 1, 1, 0, 0, 120) + B({20 - 3, 60 - 30}), 6),
              "2024-02-29 21:30:00.000000120 -03:30");
    EXPECT_EQ(Text(wireTimestampTz, Stamp(2000, 12, 31, 23, 59, 59, 1) + B({20 + 5, 60 + 45})),
              "2001-01-01 05:44:59.000000001 +05:45");
    // The calendar changes from Julian to Gregorian: 1582-10-04 is followed by 1582-10-15.
    EXPECT_EQ(Text(wireTimestampTz, Stamp(1582, 10, 15, 0, 30, 0, 0) + B({20 - 1, 60}), 0),
              "1582-10-04 23:30:00 -01:00");
    // Before Christ, with no year 0: 1 BC is followed by AD 1.
    EXPECT_EQ(Text(wireTimestampTz, Stamp(1, 1, 1, 0, 0, 0, 0) + B({20 - 1, 60}), 0),
              "-0001-12-31 23:00:00 -01:00");
    EXPECT_EQ(Text(wireTimestampTz, Stamp(-4712, 1, 1, 11, 0, 0, 0) + B({20 - 12, 60}), 0),
              "-4713-12-31 23:00:00 -12:00");
    EXPECT_EQ(Text(wireTimestampTz, Stamp(-5, 2, 28, 23, 0, 0, 0) + B({20 + 2, 60}), 0),
              "-0005-02-29 01:00:00 +02:00"); // 5 BC is a Julian leap year
    // A region's rules are the server's: the instant in UTC.
    EXPECT_EQ(Text(wireTimestampTz, Stamp(2024, 7, 1, 10, 0, 0, 5) + B({0x80 | 0x12, 0x34})),
              "2024-07-01 10:00:00.000000005 UTC");
    // WITH LOCAL TIME ZONE: in the session's zone, without a zone.
    EXPECT_EQ(Text(wireTimestampLtz, Stamp(2024, 12, 31, 23, 0, 0, 0), 2, 0, 120), "2025-01-01 01:00:00.00");
    EXPECT_EQ(Text(wireTimestampLtz, Stamp(2024, 3, 1, 0, 15, 0), 0, 0, -30), "2024-02-29 23:45:00");
}

TEST(CurrentTimestamp, BytesNoServerSendsAreRefused) {
    EXPECT_TRUE(Refused(wireTimestamp, ""));
    EXPECT_TRUE(Refused(wireTimestamp, Stamp(2024, 1, 1, 0, 0, 0).substr(0, 6)));
    EXPECT_TRUE(Refused(wireTimestamp, Stamp(2024, 1, 1, 0, 0, 0) + B({0})));
    EXPECT_TRUE(Refused(wireTimestamp, Stamp(2024, 1, 1, 0, 0, 0, 0) + B({20, 60}))); // a TSTZ's length
    EXPECT_TRUE(Refused(wireTimestampTz, Stamp(2024, 1, 1, 0, 0, 0, 0)));
    EXPECT_TRUE(Refused(wireTimestamp, Stamp(2024, 13, 1, 0, 0, 0)));
    EXPECT_TRUE(Refused(wireTimestamp, Stamp(2023, 2, 29, 0, 0, 0)));
    EXPECT_TRUE(Refused(wireTimestamp, Stamp(1900, 2, 29, 0, 0, 0)));
    EXPECT_TRUE(Refused(wireTimestamp, Stamp(1582, 10, 10, 0, 0, 0)));
    EXPECT_TRUE(Refused(wireTimestamp, Stamp(2024, 1, 1, 24, 0, 0)));
    EXPECT_TRUE(Refused(wireTimestamp, Stamp(2024, 1, 1, 0, 60, 0)));
    EXPECT_TRUE(Refused(wireTimestamp, Stamp(2024, 1, 1, 0, 0, 0, 1000000000)));
    EXPECT_TRUE(Refused(wireTimestamp, B({100, 100, 1, 1, 1, 1, 1}))); // year 0
    EXPECT_TRUE(Refused(wireTimestamp, B({0, 0, 1, 1, 1, 1, 1})));
    EXPECT_TRUE(Refused(wireTimestamp, B({255, 255, 255, 255, 255, 255, 255})));
    EXPECT_TRUE(Refused(wireTimestampTz, Stamp(2024, 1, 1, 0, 0, 0, 0) + B({20 + 16, 60})));
    EXPECT_TRUE(Refused(wireTimestampTz, Stamp(2024, 1, 1, 0, 0, 0, 0) + B({20 + 1, 60 - 30})));
    EXPECT_TRUE(Refused(wireTimestampTz, Stamp(2024, 1, 1, 0, 0, 0, 0) + B({20, 60 + 60})));
}

TEST(CurrentInterval, FieldsAndSignsExact) {
    EXPECT_EQ(Text(wireIntervalYm, Ym(2, 3)), "+02-03");
    EXPECT_EQ(Text(wireIntervalYm, Ym(-2, -3)), "-02-03");
    EXPECT_EQ(Text(wireIntervalYm, Ym(0, -11)), "-00-11");
    EXPECT_EQ(Text(wireIntervalYm, Ym(-999999999, -11), 0, 9), "-999999999-11");
    EXPECT_EQ(Text(wireIntervalYm, Ym(123, 0), 0, 2), "+123-00"); // more digits than the precision: all
    EXPECT_EQ(Ym(-2, -3), B({0x7F, 0xFF, 0xFF, 0xFE, 57}));

    EXPECT_EQ(Text(wireIntervalDs, Ds(1, 2, 3, 4, 500000000), 6), "+01 02:03:04.500000");
    EXPECT_EQ(Text(wireIntervalDs, Ds(-1, -2, -3, -4, -500000000), 6), "-01 02:03:04.500000");
    EXPECT_EQ(Text(wireIntervalDs, Ds(0, 0, 0, 0, -1), 2), "-00 00:00:00.000000001");
    EXPECT_EQ(Text(wireIntervalDs, Ds(999999999, 23, 59, 59, 999999999), 9, 9),
              "+999999999 23:59:59.999999999");
    EXPECT_EQ(Text(wireIntervalDs, Ds(5, 0, 0, 0, 0), 0, 3), "+005 00:00:00");
}

TEST(CurrentInterval, BytesNoServerSendsAreRefused) {
    EXPECT_TRUE(Refused(wireIntervalYm, Ym(1, 1).substr(0, 4)));
    EXPECT_TRUE(Refused(wireIntervalYm, Ym(1, 1) + B({0})));
    EXPECT_TRUE(Refused(wireIntervalYm, Ym(1, -1))); // mixed signs
    EXPECT_TRUE(Refused(wireIntervalYm, Ym(0, 12))); // months beyond 11
    EXPECT_TRUE(Refused(wireIntervalYm, Ym(1000000000, 0)));
    EXPECT_TRUE(Refused(wireIntervalYm, B({0, 0, 0, 0, 0})));
    EXPECT_TRUE(Refused(wireIntervalDs, Ds(1, 0, 0, 0, 0).substr(0, 10)));
    EXPECT_TRUE(Refused(wireIntervalDs, Ds(1, -1, 0, 0, 0)));
    EXPECT_TRUE(Refused(wireIntervalDs, Ds(0, 24, 0, 0, 0)));
    EXPECT_TRUE(Refused(wireIntervalDs, Ds(0, 0, 60, 0, 0)));
    EXPECT_TRUE(Refused(wireIntervalDs, Ds(0, 0, 0, 0, 1000000000)));
    EXPECT_TRUE(Refused(wireIntervalDs, std::string(11, '\xFF')));
}

TEST(CurrentOtherTypes, BooleanAndUniversalRowid) {
    EXPECT_EQ(Text(wireBoolean, B({1})), "TRUE");
    EXPECT_EQ(Text(wireBoolean, B({0})), "FALSE");
    EXPECT_EQ(Text(wireBoolean, B({0, 0, 0, 1})), "TRUE"); // the last byte holds it
    EXPECT_TRUE(Refused(wireBoolean, ""));
    EXPECT_TRUE(Refused(wireBoolean, B({2})));

    // Physical: 1, object, partition (file), block, slot, as a ROWID's 18 characters.
    EXPECT_EQ(Text(wireUrowid, B({1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 5})), "AAAAEAAABAAAAEAAAF");
    EXPECT_TRUE(Refused(wireUrowid, B({1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0})));
    // Logical: "*" and the bytes after the first in base 64, unpadded.
    EXPECT_EQ(Text(wireUrowid, B({2, 0x00, 0x01, 0x02, 0xFF})), "*AAEC/w");
    EXPECT_EQ(Text(wireUrowid, B({2, 0xFB, 0xEF})), "*++8");
    EXPECT_EQ(Text(wireUrowid, B({2, 0x4D, 0x61, 0x6E})), "*TWFu");
    EXPECT_EQ(Text(wireUrowid, B({2})), "*");
    EXPECT_TRUE(Refused(wireUrowid, ""));
    EXPECT_TRUE(Refused(wireJson, B({1})));

    EXPECT_TRUE(CurrentTypeAsText(wireTimestampTz));
    EXPECT_FALSE(CurrentTypeAsText(wireBinaryDouble));
    EXPECT_FALSE(CurrentTypeAsText(wireVector));
    // Every text fits the width the column is described with.
    EXPECT_GE(CurrentTextWidth(wireTimestampTz, 13),
              std::string("-4713-12-31 23:00:00.123456789 -12:00").size());
    EXPECT_GE(CurrentTextWidth(wireIntervalDs, 11), std::string("-999999999 23:59:59.999999999").size());
    EXPECT_GE(CurrentTextWidth(wireUrowid, 30), Text(wireUrowid, std::string(30, '\x02')).size());
}

TEST(CurrentBinaryFloat, SortableFormsExactWithNaNAndInfinities) {
    struct {
        uint8_t type;
        std::string raw;
        const char* text;
    } cases[] = {
        {wireBinaryDouble, B({0xBF, 0xF8, 0, 0, 0, 0, 0, 0}), "1.5"},
        {wireBinaryDouble, B({0x40, 0x07, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), "-1.5"},
        {wireBinaryDouble, B({0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), "-0"},
        {wireBinaryDouble, B({0xFF, 0xF0, 0, 0, 0, 0, 0, 0}), "Inf"},
        {wireBinaryDouble, B({0x00, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), "-Inf"},
        {wireBinaryDouble, B({0xFF, 0xF8, 0, 0, 0, 0, 0, 0}), "NaN"},
        {wireBinaryDouble, B({0xFF, 0xEF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), "1.7976931348623157e+308"},
        {wireBinaryDouble, B({0x80, 0, 0, 0, 0, 0, 0, 1}), "5e-324"},
        {wireBinaryFloat, B({0xBD, 0xCC, 0xCC, 0xCD}), "0.1"},
        {wireBinaryFloat, B({0xFF, 0x7F, 0xFF, 0xFF}), "3.4028235e+38"},
        {wireBinaryFloat, B({0x00, 0x80, 0x00, 0x00}), "-3.4028235e+38"},
        {wireBinaryFloat, B({0x00, 0x7F, 0xFF, 0xFF}), "-Inf"},
    };
    for (const auto& c : cases) {
        double v = 0;
        ASSERT_TRUE(BinaryFloatValue(c.type, c.raw, v)) << c.text;
        EXPECT_EQ(BinaryFloatText(c.type, v), c.text);
    }
    double v = 0;
    EXPECT_TRUE(BinaryFloatValue(wireBinaryFloat, B({0xBD, 0xCC, 0xCC, 0xCD}), v));
    EXPECT_EQ(v, double(0.1f)); // a float widens exactly
    EXPECT_FALSE(BinaryFloatValue(wireBinaryFloat, B({0xBF, 0xF8, 0, 0, 0, 0, 0, 0}), v));
    EXPECT_FALSE(BinaryFloatValue(wireBinaryDouble, B({0xBD, 0xCC, 0xCC, 0xCD}), v));
    EXPECT_FALSE(BinaryFloatValue(wireBinaryDouble, B({0xBF, 0xF8, 0, 0, 0}), v));
    EXPECT_FALSE(BinaryFloatValue(wireBinaryDouble, "", v));
}

TEST(CurrentOtherTypes, SessionZoneText) {
    EXPECT_EQ(ZoneOffsetMinutes("+02:00"), 120);
    EXPECT_EQ(ZoneOffsetMinutes("-03:30"), -210);
    EXPECT_EQ(ZoneOffsetMinutes("+14:00"), 840);
    EXPECT_EQ(ZoneOffsetMinutes("02:00"), 0);
    EXPECT_EQ(ZoneOffsetMinutes("+2:000"), 0);
}
