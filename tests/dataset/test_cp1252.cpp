#include "dataset/ByteIO.h"
#include "dataset/Cp1252.h"
#include "dataset/StrUtil.h"

#include <gtest/gtest.h>

TEST(Cp1252, EveryByteSurvivesTheRoundTripThroughUtf8AndUtf16) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += char(b);
    EXPECT_EQ(cp1252::FromUtf8(cp1252::ToUtf8(all)), all);
    EXPECT_EQ(cp1252::FromUtf16(cp1252::ToUtf16(all)), all);
}

TEST(Cp1252, GermanTextAndTheSpecialCharacters) {
    EXPECT_EQ(cp1252::ToUtf8("Datens\xE4tze \xA7\xA7 \x80"),
              "Datens\xC3\xA4tze \xC2\xA7\xC2\xA7 \xE2\x82\xAC");
    EXPECT_EQ(cp1252::FromUtf8("Gr\xC3\xBC\xC3\x9F"
                               "e \xE2\x80\x9Cx\xE2\x80\x9D"),
              "Gr\xFC\xDF"
              "e \x93x\x94");
    EXPECT_EQ(cp1252::ToUtf16("\x80"), std::u16string(1, char16_t(0x20AC)));
}

TEST(Cp1252, CharactersWithoutAByteAndMalformedUtf8BecomeQuestionMarks) {
    EXPECT_EQ(cp1252::FromUtf8("\xE4\xB8\xAD"), "?");          // a CJK character
    EXPECT_EQ(cp1252::FromUtf8("\xF0\x9F\x98\x80!"), "?!");    // an emoji
    EXPECT_EQ(cp1252::FromUtf8("a\xC3"), "a?");                // cut off at the end
    EXPECT_EQ(cp1252::FromUtf8("\xC3(\xFF\xC0\xAF"), "?(???"); // bad continuation, bad lead bytes
    EXPECT_EQ(cp1252::FromUtf16(u"\xD83D"), "?");              // a lone surrogate
}

// The shared text helpers: SameText folds the ASCII letters only (identifiers, keywords), AnsiSameText the
// Windows-1252 letters too (names a user typed); trimming takes every control character at the ends.
TEST(SharedTextHelpers, CaseRulesAndTrimming) {
    EXPECT_TRUE(SameText("Select", "SELECT"));
    EXPECT_FALSE(SameText("m\xFCller", "M\xDCLLER"));
    EXPECT_TRUE(AnsiSameText("m\xFCller", "M\xDCLLER"));
    EXPECT_FALSE(AnsiSameText("abc", "abcd"));
    EXPECT_EQ(Trim("\t\x01 a b \r\n"), "a b");
    EXPECT_EQ(TrimRight("  a \x1F"), "  a");
    EXPECT_EQ(Trim(" \x7F "), "\x7F"); // DEL is no control character here
}

TEST(SharedByteHelpers, BigEndianAndUnalignedValues) {
    uint8_t b[9] = {};
    StoreBe(0x0102030405060708ULL, b + 1, 8);
    EXPECT_EQ(b[1], 1);
    EXPECT_EQ(b[8], 8);
    EXPECT_EQ(LoadBe(b + 1, 4), 0x01020304u);
    EXPECT_EQ(LoadBe(b + 7, 2), 0x0708u);
    Store<int32_t>(b + 1, -2); // at an odd address
    EXPECT_EQ(Load<int32_t>(b + 1), -2);
}
