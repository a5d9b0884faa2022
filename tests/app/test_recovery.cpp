// The recovery file: what it keeps, how a broken one is refused, what a start offers, and the slots that keep
// two worksheets running at once apart.
#include "app/FileSave.h"
#include "app/Recovery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

TRecoveryState Sample() {
    TRecoveryState s;
    s.text = "select '\xA0\xE4' from dual\r\n-- \xA7\xA7 Ende\r\n";
    s.history = {"select 1 from dual",
                 "select *\xA7\xA7"
                 "from emp",
                 "", std::string("a\0b\r\nEnde\r\n", 11)};
    s.historyPos = 2;
    return s;
}

TEST(RecoveryFormat, KeepsTextAndHistoryByteForByte) {
    for (bool closed : {false, true}) {
        TRecoveryState s = Sample();
        s.closedNormally = closed;
        TRecoveryState back;
        ASSERT_TRUE(ParseRecovery(SerializeRecovery(s), back));
        EXPECT_EQ(back.closedNormally, closed);
        EXPECT_EQ(back.text, s.text);
        EXPECT_EQ(back.history, s.history);
        EXPECT_EQ(back.historyPos, 2);
    }
    TRecoveryState empty, back;
    ASSERT_TRUE(ParseRecovery(SerializeRecovery(empty), back));
    EXPECT_TRUE(back.text.empty());
    EXPECT_TRUE(back.history.empty());
}

TEST(RecoveryFormat, CutOrDamagedFilesAreRefusedWithoutTouchingTheResult) {
    const std::string good = SerializeRecovery(Sample());
    TRecoveryState out;
    out.text = "untouched";
    // Every cut of the file, as a write interrupted without the atomic rename would leave it.
    for (size_t n = 0; n < good.size(); ++n)
        ASSERT_FALSE(ParseRecovery(good.substr(0, n), out)) << n;
    EXPECT_EQ(out.text, "untouched");
    EXPECT_FALSE(ParseRecovery(good + "x", out));
    // Lengths and counts that promise more than the file holds.
    std::string bigText = good;
    bigText.replace(bigText.find("Text "), 6, "Text 99999999999999999999");
    EXPECT_FALSE(ParseRecovery(bigText, out));
    std::string manyEntries = good;
    manyEntries.replace(manyEntries.find("Historie 4"), 10, "Historie 4000000000");
    EXPECT_FALSE(ParseRecovery(manyEntries, out));
    // Any single byte changed: refused, or read as a whole file again (never past its end).
    for (size_t i = 0; i < good.size(); ++i)
        for (char c : {'\0', '9', '\r', '\xFF'}) {
            std::string bad = good;
            bad[i] = c;
            TRecoveryState s;
            if (ParseRecovery(bad, s)) {
                EXPECT_LE(s.text.size(), bad.size());
            }
        }
    std::string badPos = good;
    badPos.replace(badPos.find("Position 2"), 10, "Position 9");
    EXPECT_FALSE(ParseRecovery(badPos, out));
    EXPECT_EQ(out.text, "untouched");
}

TEST(RecoveryOffer, ANormalExitComesBackQuietlyAnythingElseIsAskedFor) {
    const std::string initial = "select * from sys.dba_tables order by table_name";
    EXPECT_EQ(RecoveryOfferFor(std::nullopt, initial), TRecoveryOffer::Nothing);
    TRecoveryState s;
    s.text = initial;
    EXPECT_EQ(RecoveryOfferFor(s, initial), TRecoveryOffer::Nothing);
    s.history = {"select 1 from dual"};
    EXPECT_EQ(RecoveryOfferFor(s, initial), TRecoveryOffer::Ask);
    s.history.clear();
    s.text = "select 2 from dual";
    EXPECT_EQ(RecoveryOfferFor(s, initial), TRecoveryOffer::Ask);
    s.closedNormally = true;
    EXPECT_EQ(RecoveryOfferFor(s, initial), TRecoveryOffer::RestoreQuietly);
}

TEST(RecoveryFile, SlotsKeepTwoRunningWorksheetsApartAndFreeWithTheirOwner) {
    const fs::path dir = fs::temp_directory_path() / ("vestra-rec-" + std::to_string(::getpid())) / "a" / "b";
    fs::remove_all(dir.parent_path().parent_path());
    std::string firstPath;
    {
        TRecoveryFile first, second;
        ASSERT_TRUE(first.Open(dir.string())); // creates the folders
        ASSERT_TRUE(second.Open(dir.string()));
        EXPECT_NE(first.Path(), second.Path());
        firstPath = first.Path();
        EXPECT_FALSE(first.Load()) << "nothing saved yet";

        TRecoveryState s = Sample();
        first.Save(s);
        auto back = first.Load();
        ASSERT_TRUE(back);
        EXPECT_EQ(back->text, s.text);
        EXPECT_FALSE(second.Load());
    }
    // The first slot is free again and still holds what was saved.
    TRecoveryFile again;
    ASSERT_TRUE(again.Open(dir.string()));
    EXPECT_EQ(again.Path(), firstPath);
    ASSERT_TRUE(again.Load());
    EXPECT_EQ(again.Load()->history, Sample().history);

    // A damaged file offers nothing.
    WriteFileReplacing(again.Path(), "Vestra-Wiederherstellung 1\r\nBeendet 0\r\n");
    EXPECT_FALSE(again.Load());
    fs::remove_all(dir.parent_path().parent_path());
}

} // namespace
