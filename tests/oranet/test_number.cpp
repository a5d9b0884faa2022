// Exact NUMBER conversions: decimal text to the NUMBER bytes and back, digit for digit.
#include "oranet/NetNumber.h"

#include <gtest/gtest.h>

using namespace oranet;

namespace {

std::string Hex(const std::string& b) {
    static const char* x = "0123456789ABCDEF";
    std::string s;
    for (unsigned char c : b) {
        if (!s.empty()) s += ' ';
        s += x[c >> 4];
        s += x[c & 15];
    }
    return s;
}

std::string Bytes(const std::string& hex) {
    std::string b;
    for (size_t i = 0; i + 1 < hex.size() + 1; i += 3)
        b.push_back(char(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return b;
}

std::string Repeat(const char* two, int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += std::string(i ? " " : "") + two;
    return s;
}

} // namespace

TEST(NumberDecimal, EncodesAndDecodesEveryDigit) {
    struct Case {
        std::string text, hex;
    } cases[] = {
        {"0", "80"},
        {"1", "C1 02"},
        {"-1", "3E 64 66"},
        {"0.5", "C0 33"},
        {"1000000", "C4 02"},
        {"1.1", "C1 02 0B"},
        {"123.456", "C2 02 18 2E 3D"},
        {"-123.456", "3D 64 4E 38 29 66"},
        {"12345678901234567890", "CA 0D 23 39 4F 5B 0D 23 39 4F 5B"},
        {"-12345678901234567890", "35 59 43 2D 17 0B 59 43 2D 17 0B 66"},
        {"99999999999999999999999999999999999999", "D3 " + Repeat("64", 19)},
        {"-99999999999999999999999999999999999999", "2C " + Repeat("02", 19) + " 66"},
        {"1E-130", "80 02"},
        {"-1E-130", "7F 64 66"},
        {"1E-129", "80 0B"},
        {"9.999999999999999999999999999999999999999E+125", "FF " + Repeat("64", 20)},
        {"-9.999999999999999999999999999999999999999E+125", "00 " + Repeat("02", 20)},
        {"0.0000012345678901234567", "BE 02 18 2E 44 5A 02 18 2E 44"},
    };
    for (const auto& c : cases) {
        std::string bytes;
        ASSERT_TRUE(DecimalTextToNumber(c.text, bytes)) << c.text;
        EXPECT_EQ(Hex(bytes), c.hex) << c.text;
        std::string raw = Bytes(c.hex);
        TDecimal d;
        ASSERT_TRUE(NumberToDecimal(reinterpret_cast<const uint8_t*>(raw.data()), raw.size(), d)) << c.hex;
        TDecimal want;
        ASSERT_TRUE(ParseDecimal(c.text, want));
        EXPECT_EQ(CompareDecimal(d, want), 0) << c.hex;
        EXPECT_EQ(NumberToDecimalText(reinterpret_cast<const uint8_t*>(raw.data()), raw.size()),
                  DecimalToText(want))
            << c.hex;
    }
}

TEST(NumberDecimal, RoundsAndLimitsLikeTheColumn) {
    std::string bytes;
    // 41 digits: the 41st rounds into the 40 the form holds.
    ASSERT_TRUE(DecimalTextToNumber("99999999999999999999999999999999999999999", bytes));
    EXPECT_EQ(Hex(bytes), "D5 0B");
    ASSERT_TRUE(DecimalTextToNumber("12345678901234567890123456789012345678901", bytes));
    EXPECT_EQ(NumberToDecimalText(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
              "1.23456789012345678901234567890123456789E+40");
    // Below the smallest NUMBER the value is zero; from 1E+126 up there is no NUMBER.
    ASSERT_TRUE(DecimalTextToNumber("1E-140", bytes));
    EXPECT_EQ(Hex(bytes), "80");
    EXPECT_FALSE(DecimalTextToNumber("1E+126", bytes));
    EXPECT_FALSE(DecimalTextToNumber("-1E+126", bytes));
    EXPECT_FALSE(DecimalTextToNumber("12,5", bytes));
    EXPECT_FALSE(DecimalTextToNumber("", bytes));
}

TEST(NumberDecimal, RefusesBytesThatAreNoNumber) {
    TDecimal d;
    const std::string bad[] = {
        "", "00", "FF 65", "C1", "C1 00", "C1 66", "3E 00 66", "3E 66", "C1 " + Repeat("02", 22)};
    for (const auto& hex : bad) {
        std::string raw = hex.empty() ? std::string() : Bytes(hex);
        EXPECT_FALSE(NumberToDecimal(reinterpret_cast<const uint8_t*>(raw.data()), raw.size(), d)) << hex;
        EXPECT_EQ(NumberToDecimalText(reinterpret_cast<const uint8_t*>(raw.data()), raw.size()), "");
    }
}
