#include "dataset/Cp1252.h"

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
