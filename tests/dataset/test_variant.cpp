// Variants, dates and number text: the conversions every layer relies on.
#include "dataset/DBErrors.h"
#include "dataset/DateTimeUtil.h"
#include "dataset/Platform.h"
#include "dataset/Variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

TEST(VariantConversions, NumbersStringsAndFailures) {
    EXPECT_EQ(Variant("42").AsInteger(), 42);
    EXPECT_EQ(Variant(" 7 ").AsInt64(), 7);
    EXPECT_EQ(Variant(2.5).AsInteger(), 3);
    EXPECT_EQ(Variant(true).AsInteger(), -1);
    EXPECT_EQ(Variant().AsInteger(), 0);
    EXPECT_EQ(Variant(uint32_t(4000000000u)).AsString(), "4000000000");
    EXPECT_THROW(Variant("4x").AsInteger(), EConvertError);
    EXPECT_THROW(Variant::Null().AsInteger(), EConvertError);
    EXPECT_THROW(Variant(int64_t(1) << 40).AsInteger(), EConvertError);
    EXPECT_THROW(Variant(1e300).AsInt64(), EConvertError);
    EXPECT_THROW(Variant::FromBytes("ab", 2).AsString(), EConvertError);
    try {
        Variant("abc").AsDouble();
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot convert type.");
    }
    EXPECT_TRUE(Variant("true").AsBoolean());
    EXPECT_FALSE(Variant("False").AsBoolean());
    EXPECT_THROW(Variant("maybe").AsBoolean(), EConvertError);
    EXPECT_EQ(VarToStr(Variant::Null()), "");
}

TEST(VariantConversions, LocaleDecimalSeparator) {
    char saved = platform::DecimalSeparator();
    platform::SetDecimalSeparator(',');
    EXPECT_EQ(Variant(1.5).AsString(), "1,5");
    EXPECT_DOUBLE_EQ(Variant("2,25").AsDouble(), 2.25);
    platform::SetDecimalSeparator('.');
    EXPECT_EQ(Variant(1.5).AsString(), "1.5");
    EXPECT_EQ(FloatToStr(1e20), "1E+20");
    double d;
    EXPECT_FALSE(TryStrToFloat("1.5abc", d));
    EXPECT_FALSE(TryStrToFloat("", d));
    platform::SetDecimalSeparator(saved);
}

TEST(VariantConversions, FloatTextHasFifteenDigitsLikePrintf) {
    char saved = platform::DecimalSeparator();
    platform::SetDecimalSeparator('.');
    std::vector<double> values = {0.0,
                                  -0.0,
                                  0.01,
                                  0.1 + 0.2,
                                  1.0 / 3,
                                  123456789012345.0,
                                  1234567890123456.0,
                                  1e15,
                                  1e-5,
                                  9.99999999999999e-5,
                                  1e-4,
                                  2.5e-300,
                                  1.7976931348623157e308,
                                  4.9e-324,
                                  -42.125,
                                  999999999999999.5,
                                  0.000123456789012345678};
    for (int i = 0; i < 2000; ++i)
        values.push_back(i * 0.01 - 7.0);
    uint64_t seed = 99;
    // Whole numbers and amounts with a few decimals, as results bring them.
    for (int i = 0; i < 3000; ++i) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        double whole = double((seed >> 16) % (i % 3 == 0 ? 1000000000000000ULL : 100000000ULL));
        double v = whole / std::pow(10.0, double(seed % 6));
        values.push_back(i % 2 ? -v : v);
    }
    for (double v :
         {999999999999999.0, 99999999999999.99, 0.0001, 0.00015, 12345678901.2345, -0.5, 1e14 + 0.5})
        values.push_back(v);
    // Decimals of up to 15 digits on both sides of the switch to exponent form.
    for (int e = -22; e <= 22; ++e)
        for (int i = 0; i < 40; ++i) {
            seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
            double mantissa = double((seed >> 8) % 1000000000000000ULL) / double(1 + (seed % 7) * 1000);
            values.push_back((i % 2 ? -1 : 1) * mantissa * std::pow(10.0, e - 10));
        }
    for (int i = 0; i < 2000; ++i) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        double d;
        uint64_t bits = seed;
        std::memcpy(&d, &bits, 8);
        if (std::isfinite(d)) values.push_back(d);
    }
    char buf[64];
    for (double v : values) {
        std::snprintf(buf, sizeof buf, "%.15G", v);
        EXPECT_EQ(FloatToStr(v), buf);
    }
    platform::SetDecimalSeparator(',');
    EXPECT_EQ(FloatToStr(-1.5e-20), "-1,5E-20");
    platform::SetDecimalSeparator(saved);
}

TEST(VariantComparison, NullOrderAndMixedTypes) {
    EXPECT_TRUE(Variant::Null().Equals(Variant::Null()));
    EXPECT_FALSE(Variant::Null().Equals(Variant(int32_t(0))));
    EXPECT_FALSE(Variant("").Equals(Variant::Null()));
    EXPECT_EQ(Variant::Null().Compare(Variant(int32_t(-5))), -1);
    EXPECT_EQ(Variant(int32_t(3)).Compare(Variant(2.5)), 1);
    EXPECT_EQ(Variant("10").Compare(Variant(int32_t(9))), 1); // numeric text compares as a number
    EXPECT_EQ(Variant("b").Compare(Variant("ab")), 1);
    EXPECT_TRUE(Variant(u"\u00E4").Equals(Variant("\xE4")));
    EXPECT_EQ(Variant::FromBytes("ab", 2).Compare(Variant::FromBytes("abc", 3)), -1);
    EXPECT_TRUE(Variant(int16_t(5)) == Variant(int64_t(5)));
}

TEST(VariantArrays, BoundsAndElements) {
    Variant a = Variant::FromArray({Variant(int32_t(1)), Variant("x")});
    EXPECT_TRUE(a.IsVariantArray());
    EXPECT_EQ(a.ArrayHighBound(), 1);
    EXPECT_EQ(a.Items()[1].AsString(), "x");
    Variant b = Variant::FromBytes(std::vector<uint8_t>{});
    EXPECT_EQ(b.ArrayHighBound(), -1);
    EXPECT_THROW(Variant(int32_t(1)).ArrayHighBound(), EConvertError);
    EXPECT_THROW(b.Items(), EConvertError);
}

TEST(Windows1252, WideRoundTrip) {
    std::string all;
    for (int c = 1; c < 256; ++c)
        all += char(c);
    std::u16string w = AnsiToWide(all);
    EXPECT_EQ(w[0x80 - 1], u'\u20AC'); // euro sign
    EXPECT_EQ(w[0x9F - 1], u'\u0178');
    EXPECT_EQ(WideToAnsi(w), all);
    EXPECT_EQ(WideToAnsi(u"\u4E2D"), "?");
}

TEST(Dates, CalendarAndTimeStamps) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(DateTimeToTimeStamp(0).Date, DateDelta);
    EXPECT_EQ(DateTimeToTimeStamp(EncodeDate(1, 1, 1)).Date, 1);
    int y, m, d;
    DecodeDate(EncodeDate(2000, 2, 29), y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20000229);
    DecodeDate(EncodeDate(1600, 12, 31), y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 16001231);
    TDateTime r;
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, r));
    EXPECT_TRUE(TryEncodeDate(2000, 2, 29, r));
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
    // Before 1899-12-30 the time is the absolute fraction.
    TDateTime before = EncodeDate(1899, 12, 29) - 0.25;
    TTimeStamp ts = DateTimeToTimeStamp(before);
    EXPECT_EQ(ts.Time, 6 * 3600000);
    EXPECT_DOUBLE_EQ(TimeStampToDateTime(ts), before);
    TDateTime v = EncodeDate(2003, 12, 31) + EncodeTime(23, 59, 59, 0);
    EXPECT_DOUBLE_EQ(TimeStampToDateTime(MSecsToTimeStamp(TimeStampToMSecs(DateTimeToTimeStamp(v)))), v);
    EXPECT_THROW(DateTimeToTimeStamp(NAN), EConvertError);
}

TEST(Dates, DirectMillisecondConversionsMatchTheTimeStampRoute) {
    // Rounding half away from zero, as llround, on both sides of zero and at the limits of exactness.
    for (double x : {0.0, 0.49999999999999994, 0.5, 1.5, 2.5, -0.5, -1.5, -2.4999, 1e15 + 0.5, -1e15 - 0.5,
                     4503599627370495.5, 8.9e17, -8.9e17})
        EXPECT_EQ(RoundMSecs(x), std::llround(x)) << x;
    // Values around 1899-12-30 (where the time part changes its sign rule), the year 9999 and beyond.
    std::vector<TDateTime> values = {0.0,
                                     1e-9,
                                     0.5 / 86400000.0,
                                     1.0 / 86400000.0,
                                     -1e-9,
                                     -0.25,
                                     -1.75,
                                     EncodeDate(9999, 12, 31) + 0.99999999,
                                     2958466.5,
                                     1e7,
                                     -693593.0,
                                     EncodeDate(2020, 1, 1) + EncodeTime(12, 34, 56, 789)};
    uint64_t seed = 12345;
    for (int i = 0; i < 2000; ++i) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        values.push_back((double(seed >> 11) / double(1ULL << 53)) * 3.2e6 - 2e5);
    }
    for (TDateTime v : values) {
        double viaStamp = TimeStampToMSecs(DateTimeToTimeStamp(v));
        EXPECT_EQ(DateTimeToMSecs(v), viaStamp) << v;
        EXPECT_EQ(TimeStampToDateTime(MSecsToTimeStamp(DateTimeToMSecs(v))),
                  TimeStampToDateTime(MSecsToTimeStamp(viaStamp)));
    }
    EXPECT_THROW(DateTimeToMSecs(NAN), EConvertError);
    EXPECT_THROW(MSecsToTimeStamp(1e18), EConvertError);
}

TEST(Dates, TextInTheUsersFormat) {
    TDateTime v = EncodeDate(2024, 3, 5) + EncodeTime(7, 8, 9, 10);
    EXPECT_EQ(DateToStr(v), "05.03.2024");
    EXPECT_EQ(TimeToStr(v), "07:08:09");
    EXPECT_EQ(FormatDateTimeStr("yyyy-mm-dd hh:nn:ss.zzz 'Uhr'", v), "2024-03-05 07:08:09.010 Uhr");
    EXPECT_EQ(DateTimeToStr(EncodeDate(2024, 3, 5)), "05.03.2024");
    EXPECT_EQ(FormatDateTimeStr("d.m.yy h:n:s.z", EncodeDate(2009, 1, 2) + EncodeTime(3, 4, 5, 6)),
              "2.1.09 3:4:5.6");
    EXPECT_EQ(FormatDateTimeStr("yyyy", EncodeDate(12, 1, 1)), "0012");
    // More formats than stay compiled at once, used in turn: each keeps its own layout.
    const TDateTime t = EncodeDate(2001, 2, 3) + EncodeTime(4, 5, 6, 7);
    const std::vector<std::pair<std::string, std::string>> formats = {{"dd.mm.yyyy", "03.02.2001"},
                                                                      {"hh:nn:ss", "04:05:06"},
                                                                      {"yy/m/d", "01/2/3"},
                                                                      {"'am' d. \"of\" m", "am 3. of 2"},
                                                                      {"zzz-z", "007-7"},
                                                                      {"'open", "open"},
                                                                      {"x", "x"}};
    for (int round = 0; round < 3; ++round)
        for (const auto& [format, expected] : formats)
            EXPECT_EQ(FormatDateTimeStr(format, t), expected) << format;
    EXPECT_EQ(DateTimeToStr(EncodeDate(9999, 12, 31) + EncodeTime(23, 59, 59, 999)), "31.12.9999 23:59:59");
    TDateTime p;
    ASSERT_TRUE(TryStrToDateTime("5.3.2024 7:08", p));
    EXPECT_DOUBLE_EQ(p, EncodeDate(2024, 3, 5) + EncodeTime(7, 8, 0, 0));
    ASSERT_TRUE(TryStrToDateTime("2024-03-05", p));
    EXPECT_DOUBLE_EQ(p, EncodeDate(2024, 3, 5));
    ASSERT_TRUE(TryStrToDateTime("12:30:15", p));
    EXPECT_DOUBLE_EQ(p, EncodeTime(12, 30, 15, 0));
    EXPECT_FALSE(TryStrToDateTime("31.02.2024", p));
    EXPECT_FALSE(TryStrToDateTime("yesterday", p));
    EXPECT_FALSE(TryStrToDateTime("1.1.2024 25:00", p));
    locale_fmt::SetShortDateFormat("mm/dd/yyyy");
    ASSERT_TRUE(TryStrToDateTime("03/05/2024", p));
    EXPECT_DOUBLE_EQ(p, EncodeDate(2024, 3, 5));
    EXPECT_EQ(DateToStr(p), "03/05/2024");
    locale_fmt::SetShortDateFormat("dd.mm.yyyy");
}

TEST(Messages, FormatAndAssertions) {
    EXPECT_EQ(FormatMsg("Field %s not found.", {"X"}), "Field X not found.");
    EXPECT_EQ(FormatMsg("%d%% of %s", {"5", "n"}), "5% of n");
    try {
        CheckAssert(false, "Invalid VType");
        FAIL();
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), "Invalid VType");
    }
    EXPECT_NO_THROW(CheckAssert(true, "never"));
}
