// Value forms: Oracle NUMBER bytes, DATE bytes, date format models, the Windows-1252 edge and the logon
// cipher.
#include "emulator/EmuCrypt.h"
#include "emulator/EmuValues.h"

#include <gtest/gtest.h>

using namespace vemu;

namespace {
std::string Hex(const std::string& s) {
    static const char* d = "0123456789ABCDEF";
    std::string r;
    for (unsigned char c : s) {
        if (!r.empty()) r += ' ';
        r += d[c >> 4];
        r += d[c & 15];
    }
    return r;
}
std::string FromHex(const std::string& h) {
    std::string r;
    for (size_t i = 0; i + 1 < h.size(); i += 3)
        r += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
    return r;
}
} // namespace

TEST(EmuValues, IntegersEncodeAsOracleNumbers) {
    const std::pair<long long, const char*> cases[] = {{0, "80"},
                                                       {1, "C1 02"},
                                                       {10, "C1 0B"},
                                                       {100, "C2 02"},
                                                       {123, "C2 02 18"},
                                                       {1000000, "C4 02"},
                                                       {-1, "3E 64 66"},
                                                       {-100, "3D 64 66"},
                                                       {-123, "3D 64 4E 66"},
                                                       {2147483647, "C5 16 30 31 25 30"},
                                                       {-2147483648LL, "3A 50 36 35 41 35 66"}};
    for (const auto& [v, hex] : cases) {
        EXPECT_EQ(Hex(EncodeNumber(DecimalFromInt(v))), hex) << v;
        Decimal d;
        std::string bytes = FromHex(hex);
        ASSERT_TRUE(DecodeNumber(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), d));
        EXPECT_EQ(DecimalToText(d), std::to_string(v));
    }
}

TEST(EmuValues, FractionsRoundToFifteenDigits) {
    EXPECT_EQ(Hex(EncodeNumber(DecimalFromDouble(0.5))), "C0 33");
    EXPECT_EQ(Hex(EncodeNumber(DecimalFromDouble(123.456))), "C2 02 18 2E 3D");
    EXPECT_EQ(Hex(EncodeNumber(DecimalFromDouble(-123.456))), "3D 64 4E 38 29 66");
    EXPECT_EQ(Hex(EncodeNumber(DecimalFromDouble(1.0 / 3))), "C0 22 22 22 22 22 22 22 1F");
    Decimal d;
    ASSERT_TRUE(DecimalFromText("-.5", d));
    EXPECT_EQ(DecimalToText(d), "-.5");
    ASSERT_TRUE(DecimalFromText(" 1e3 ", d));
    EXPECT_EQ(DecimalToText(d), "1000");
    EXPECT_FALSE(DecimalFromText("12a", d));
    EXPECT_FALSE(DecimalFromText("", d));
    // malformed wire bytes are refused, not misread
    const uint8_t bad[] = {0xC1, 0xFF};
    EXPECT_FALSE(DecodeNumber(bad, 2, d));
    EXPECT_FALSE(DecodeNumber(bad, 0, d));
}

TEST(EmuValues, DatesRoundTripThroughBytesAndDayNumbers) {
    DateTime dt;
    const uint8_t b[7] = {120, 103, 12, 31, 24, 60, 60};
    ASSERT_TRUE(DecodeDate(b, 7, dt));
    EXPECT_EQ(dt.year, 2003);
    EXPECT_EQ(dt.second, 59);
    EXPECT_EQ(EncodeDate(dt), std::string(reinterpret_cast<const char*>(b), 7));
    DateTime back = DateTimeFromJulian(JulianFromDateTime(dt));
    EXPECT_EQ(back.year, 2003);
    EXPECT_EQ(back.hour, 23);
    EXPECT_EQ(back.minute, 59);
    EXPECT_EQ(back.second, 59);
    const uint8_t invalid[7] = {120, 103, 13, 1, 1, 1, 1};
    EXPECT_FALSE(DecodeDate(invalid, 7, dt));
}

TEST(EmuValues, DateFormatModels) {
    DateTime dt;
    dt.year = 1981;
    dt.month = 3;
    dt.day = 2;
    dt.hour = 14;
    dt.minute = 5;
    dt.second = 9;
    EXPECT_EQ(FormatDate(dt, "DD-MON-RR", "AMERICAN"), "02-MAR-81");
    EXPECT_EQ(FormatDate(dt, "DD.MM.YYYY HH24:MI:SS", "GERMAN"), "02.03.1981 14:05:09");
    EXPECT_EQ(FormatDate(dt, "fmDD. Month YYYY", "GERMAN"), "2. M\xC3\xA4rz 1981");
    EXPECT_EQ(FormatDate(dt, "Dy HH12 AM", "AMERICAN"), "Mon 02 PM");
    DateTime p;
    std::string err;
    ASSERT_TRUE(ParseDate("02.03.1981 14:05:09", "DD.MM.YYYY HH24:MI:SS", "GERMAN", p, err)) << err;
    EXPECT_EQ(p.month, 3);
    EXPECT_EQ(p.second, 9);
    ASSERT_TRUE(ParseDate("17-DEC-80", "DD-MON-RR", "AMERICAN", p, err)) << err;
    EXPECT_EQ(p.year, 1980);
    EXPECT_FALSE(ParseDate("31.02.2020", "DD.MM.YYYY", "GERMAN", p, err));
    EXPECT_FALSE(ParseDate("xx", "DD.MM.YYYY", "GERMAN", p, err));
    EXPECT_FALSE(err.empty());
}

TEST(EmuValues, Windows1252RoundTrip) {
    std::string w = "M\xFCller \x80 \x9F";
    std::string u = Win1252ToUtf8(w);
    EXPECT_EQ(u, "M\xC3\xBCller \xE2\x82\xAC \xC5\xB8");
    EXPECT_EQ(Utf8ToWin1252(u), w);
    EXPECT_EQ(Utf8ToWin1252("\xE4\xB8\xAD"), "?"); // not in the code page
}

TEST(EmuValues, LogonCipherRoundTrip) {
    // the hash ignores the case of letters, and the password travels only encrypted
    EXPECT_EQ(PasswordHash("scott", "tiger"), PasswordHash("SCOTT", "TIGER"));
    EXPECT_NE(PasswordHash("SCOTT", "TIGER"), PasswordHash("SCOTT", "TIGRE"));
    Block8 key = RandomBlock();
    Block8 hash = PasswordHash("SCOTT", "TIGER");
    std::string keyText = EncryptSessionKey(hash, key);
    EXPECT_EQ(keyText.size(), 16u);
    EXPECT_EQ(DecryptSessionKeyForTest(hash, keyText), key);
    for (const std::string pw : {"", "tiger", "exactly8", "a longer password"}) {
        std::string text = EncryptPasswordForTest(key, pw);
        size_t padded = (pw.size() + 7) / 8 * 8;
        EXPECT_EQ(text.size(), 2 * padded + 1);
        std::string back;
        ASSERT_TRUE(DecryptPassword(key, text, back)) << pw;
        EXPECT_EQ(back, pw);
    }
    std::string back;
    EXPECT_FALSE(DecryptPassword(key, "XYZ", back));
    EXPECT_FALSE(DecryptPassword(key, "0011223344556677F", back)); // pad digit out of range
}

TEST(EmuValues, NumbersADoubleWouldRoundAreKeptAsMarkedText) {
    Decimal d;
    ASSERT_TRUE(DecimalFromText("99999999999999999999999999999999999999", d));
    EXPECT_TRUE(IsWideDecimal(d));
    EXPECT_EQ(WideNumberText(d), "99999999999999999999999999999999999999#");
    Decimal back;
    ASSERT_TRUE(WideNumberFromText(WideNumberText(d), back));
    EXPECT_EQ(EncodeNumber(back), EncodeNumber(d));
    EXPECT_FALSE(WideNumberFromText("99999999999999999999", back)); // no mark: an ordinary text
    EXPECT_FALSE(WideNumberFromText("abc#", back));
    // Every 64-bit integer stays an integer, however many digits it has.
    bool isInt;
    long long i;
    double f;
    ASSERT_TRUE(DecimalFromText("9223372036854775807", d));
    EXPECT_FALSE(IsWideDecimal(d));
    DecimalToValue(d, isInt, i, f);
    EXPECT_TRUE(isInt);
    EXPECT_EQ(i, 9223372036854775807LL);
    ASSERT_TRUE(DecimalFromText("-9223372036854775808", d));
    DecimalToValue(d, isInt, i, f);
    EXPECT_TRUE(isInt);
    EXPECT_EQ(i, -9223372036854775807LL - 1);
    ASSERT_TRUE(DecimalFromText("9223372036854775808", d));
    EXPECT_TRUE(IsWideDecimal(d));
    ASSERT_TRUE(DecimalFromText("0.1234567890123456", d));
    EXPECT_TRUE(IsWideDecimal(d));
    ASSERT_TRUE(DecimalFromText("0.123456789012345", d));
    EXPECT_FALSE(IsWideDecimal(d));
}
