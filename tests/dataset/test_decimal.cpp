// Exact decimals: reading and writing their text, comparing and adding them without losing a digit.
#include "dataset/DecimalText.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

TDecimal D(const char* text) {
    TDecimal d;
    EXPECT_TRUE(ParseDecimal(text, d)) << text;
    return d;
}

std::string Norm(const char* text) {
    return DecimalToText(D(text));
}

} // namespace

TEST(DecimalText, ReadsAndWritesEveryDigit) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"0", "0"},
        {"-0", "0"},
        {"000.000", "0"},
        {"12345678901234567890", "12345678901234567890"},
        {"99999999999999999999999999999999999999", "99999999999999999999999999999999999999"},
        {"-99999999999999999999999999999999999999", "-99999999999999999999999999999999999999"},
        {"1.500", "1.5"},
        {"100", "100"},
        {"+.5", "0.5"},
        {" 0007 ", "7"},
        {"1e3", "1000"},
        {"-0.000012345678901234567", "-0.000012345678901234567"},
        {"0.0000012345678901234567", "1.2345678901234567E-06"},
        {"1E-130", "1E-130"},
        {"-1e-130", "-1E-130"},
        {"9.999999999999999999999999999999999999999E125", "9.999999999999999999999999999999999999999E+125"},
        {"1234567890123456789012345678901234567890", "1234567890123456789012345678901234567890"},
        {"1e40", "1E+40"},
        {"123.4500e-2", "1.2345"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Norm(c.in), c.out) << c.in;
        EXPECT_EQ(Norm(c.out), c.out) << "the written text reads back: " << c.out;
    }
}

TEST(DecimalText, RefusesWhatIsNoNumber) {
    TDecimal d;
    for (const char* bad :
         {"", " ", "-", ".", "1e", "1e+", "1.2.3", "abc", "1,5", "12a", "--1", "1e999999", "0x10"})
        EXPECT_FALSE(ParseDecimal(bad, d)) << bad;
}

TEST(DecimalText, ComparesNumerically) {
    EXPECT_LT(CompareDecimal(D("12345678901234567890"), D("12345678901234567891")), 0);
    EXPECT_GT(CompareDecimal(D("100000000000000000000"), D("99999999999999999999")), 0);
    EXPECT_LT(CompareDecimal(D("-100000000000000000000"), D("-99999999999999999999")), 0);
    EXPECT_EQ(CompareDecimal(D("1.50"), D("1.5")), 0);
    EXPECT_LT(CompareDecimal(D("-1"), D("0")), 0);
    EXPECT_GT(CompareDecimal(D("0.00000000000000000001"), D("0")), 0);
    EXPECT_LT(CompareDecimal(D("0.12"), D("0.123")), 0);
}

TEST(DecimalText, AddsExactly) {
    EXPECT_EQ(DecimalToText(AddDecimal(D("99999999999999999999999999999999999999"), D("1"))),
              "100000000000000000000000000000000000000");
    EXPECT_EQ(DecimalToText(AddDecimal(D("0.1"), D("0.2"))), "0.3");
    EXPECT_EQ(DecimalToText(AddDecimal(D("-5"), D("3"))), "-2");
    EXPECT_EQ(DecimalToText(AddDecimal(D("3"), D("-5"))), "-2");
    EXPECT_EQ(DecimalToText(AddDecimal(D("12345678901234567890"), D("-12345678901234567890"))), "0");
    EXPECT_EQ(DecimalToText(AddDecimal(D("12345678901234567890"), D("0.0000000001"))),
              "12345678901234567890.0000000001");
    EXPECT_EQ(DecimalToText(AddDecimal(D("-0.5"), D("-0.5"))), "-1");
    EXPECT_EQ(DecimalToText(AddDecimal(D("1000"), D("-0.001"))), "999.999");
}

TEST(DecimalText, MeetsTheDouble) {
    TDecimal d;
    ASSERT_TRUE(DecimalFromDouble(0.1, d));
    EXPECT_EQ(DecimalToText(d), "0.1");
    ASSERT_TRUE(DecimalFromDouble(-123.456, d));
    EXPECT_EQ(DecimalToText(d), "-123.456");
    ASSERT_TRUE(DecimalFromDouble(0.0, d));
    EXPECT_TRUE(d.IsZero());
    EXPECT_FALSE(DecimalFromDouble(HUGE_VAL, d));
    EXPECT_EQ(DecimalToDouble(D("0.1")), 0.1);
    EXPECT_EQ(DecimalToDouble(D("-12345678901234567890")), -12345678901234567890.0);
    EXPECT_EQ(DecimalToDouble(D("1E-400")), 0.0);
    EXPECT_TRUE(std::isinf(DecimalToDouble(D("1E+400"))));
    EXPECT_TRUE(IsWideDecimalText("1234567890123456"));
    EXPECT_FALSE(IsWideDecimalText("123456789012345"));
    EXPECT_FALSE(IsWideDecimalText("123456789012345000000"));
    EXPECT_FALSE(IsWideDecimalText("12x"));
}
