// The worksheet's tabs: captions and numbers, which tab is current after one closes, the questions before a
// tab closes, and the tabs kept in the recovery file for the next start (a broken file is kept aside).
#include "app/FileSave.h"
#include "app/History.h"
#include "app/Recovery.h"
#include "app/WorksheetTabs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

TEST(WorksheetTabCaptions, NumbersFileNamesAndTheUnsavedMark) {
    TWorksheetTabs tabs;
    ASSERT_EQ(tabs.Count(), 1);
    EXPECT_EQ(tabs.Caption(0), "Arbeitsblatt 1");
    EXPECT_EQ(tabs.Add(3), 1);
    EXPECT_EQ(tabs.Current(), 1);
    EXPECT_EQ(tabs.At(1).historyPos, 3);
    EXPECT_EQ(tabs.Caption(1), "Arbeitsblatt 2");
    tabs.At(1).modified = true;
    EXPECT_EQ(tabs.Caption(1), "Arbeitsblatt 2*");
    EXPECT_EQ(tabs.Name(1), "Arbeitsblatt 2");
    tabs.At(0).fileName = "/home/anna/SQL/kunden abfrage.sql";
    EXPECT_EQ(tabs.Caption(0), "kunden abfrage.sql");
    tabs.At(0).fileName = "C:\\SQL\\a.SQL";
    EXPECT_EQ(tabs.Caption(0), "a.SQL");

    // A tab showing a file gives its number free; a closed tab too. The smallest free number comes next.
    EXPECT_EQ(tabs.Caption(tabs.Add(0)), "Arbeitsblatt 1");
    tabs.Add(0);
    EXPECT_EQ(tabs.Caption(3), "Arbeitsblatt 3");
    tabs.Close(1);
    EXPECT_EQ(tabs.Caption(tabs.Add(0)), "Arbeitsblatt 2");
}

TEST(WorksheetTabClosing, WhichTabIsCurrentAfterwards) {
    TWorksheetTabs tabs;
    tabs.Add(0);
    tabs.Add(0);
    tabs.Add(0); // 1 2 3 4, the fourth current
    tabs.SetCurrent(1);
    EXPECT_EQ(tabs.Close(3), 1) << "closing another tab keeps the current one";
    EXPECT_EQ(tabs.Close(0), 0) << "a tab to the left goes: the current one moves down one place";
    EXPECT_EQ(tabs.Caption(0), "Arbeitsblatt 2");
    tabs.Add(0); // 2 3 1
    tabs.SetCurrent(1);
    EXPECT_EQ(tabs.Close(1), 1) << "the current tab goes: the one to its right takes over";
    EXPECT_EQ(tabs.Caption(1), "Arbeitsblatt 1");
    EXPECT_EQ(tabs.Close(1), 0) << "the last tab on the right goes: the one to its left takes over";
    EXPECT_EQ(tabs.Count(), 1);
    tabs.SetCurrent(5);
    EXPECT_EQ(tabs.Current(), 0) << "an index out of range changes nothing";

    // The last tab is never removed: it starts afresh, keeping its place in the history.
    tabs.At(0).fileName = "/tmp/x.sql";
    tabs.At(0).modified = true;
    tabs.At(0).historyPos = 4;
    EXPECT_EQ(tabs.Close(0), 0);
    ASSERT_EQ(tabs.Count(), 1);
    EXPECT_EQ(tabs.Caption(0), "Arbeitsblatt 1");
    EXPECT_TRUE(tabs.At(0).fileName.empty());
    EXPECT_EQ(tabs.At(0).historyPos, 4);
}

TEST(WorksheetTabClosing, AsksAboutUnsavedTextAndARunningStatement) {
    TWorksheetTabs tabs;
    tabs.Add(0);
    EXPECT_EQ(tabs.CheckClose(1, false), TWorksheetTabs::TCloseCheck::Close);
    EXPECT_EQ(tabs.CloseQuestion(1, TWorksheetTabs::TCloseCheck::Close), "");
    tabs.At(1).modified = true;
    EXPECT_EQ(tabs.CheckClose(1, false), TWorksheetTabs::TCloseCheck::AskUnsaved);
    EXPECT_EQ(tabs.CloseQuestion(1, TWorksheetTabs::TCloseCheck::AskUnsaved),
              "Der Text in \x84"
              "Arbeitsblatt 2\x93 ist nicht gespeichert. Arbeitsblatt trotzdem schlie\xDF"
              "en?");
    // A running statement is the first thing to ask about, saved text or not.
    EXPECT_EQ(tabs.CheckClose(1, true), TWorksheetTabs::TCloseCheck::AskRunning);
    EXPECT_EQ(tabs.CheckClose(0, true), TWorksheetTabs::TCloseCheck::AskRunning);
    tabs.At(1).fileName = "/tmp/t\xE4glich.sql";
    EXPECT_EQ(
        tabs.CloseQuestion(1, TWorksheetTabs::TCloseCheck::AskRunning),
        "In \x84t\xE4glich.sql\x93 l\xE4uft eine Anweisung. Anweisung abbrechen und Arbeitsblatt schlie\xDF"
        "en?");
}

TRecoveryState TwoTabs() {
    TRecoveryState s;
    s.history = {"select 1 from dual", "select *\xA7\xA7"
                                       "from emp"};
    TWorksheetTab a;
    a.number = 1;
    a.text = "select '\xE4\xA0' from dual\r\n";
    a.historyPos = 2;
    TWorksheetTab b;
    b.number = 3;
    b.fileName = "/home/anna/SQL/b.sql";
    b.modified = true;
    b.text = std::string("a\0b\r\nEnde\r\n", 11);
    b.historyPos = 1;
    s.tabs = {a, b};
    s.currentTab = 1;
    return s;
}

TEST(RecoveryFormatWithTabs, IsWrittenInTheDocumentedForm) {
    TRecoveryState s;
    s.closedNormally = true;
    s.history = {"x"};
    TWorksheetTab t;
    t.number = 2;
    t.historyPos = 1;
    t.fileName = "/q.sql";
    t.text = "select 1\r\nfrom dual";
    s.tabs = {t};
    EXPECT_EQ(SerializeRecovery(s), "Vestra-Wiederherstellung 2\r\n"
                                    "Beendet 1\r\n"
                                    "Historie 1\r\n"
                                    "Eintrag 1\r\nx\r\n"
                                    "Arbeitsbl\xE4tter 1\r\n"
                                    "Nummer 2\r\n"
                                    "Position 1\r\n"
                                    "Ge\xE4ndert 0\r\n"
                                    "Datei 6\r\n/q.sql\r\n"
                                    "Text 19\r\nselect 1\r\nfrom dual\r\n"
                                    "Aktuell 0\r\n"
                                    "Ende\r\n");
}

TEST(RecoveryFormatWithTabs, KeepsEveryTabByteForByte) {
    const TRecoveryState s = TwoTabs();
    TRecoveryState back;
    ASSERT_TRUE(ParseRecovery(SerializeRecovery(s), back));
    ASSERT_EQ(back.tabs.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(back.tabs[i].text, s.tabs[i].text);
        EXPECT_EQ(back.tabs[i].fileName, s.tabs[i].fileName);
        EXPECT_EQ(back.tabs[i].historyPos, s.tabs[i].historyPos);
        EXPECT_EQ(back.tabs[i].number, s.tabs[i].number);
        EXPECT_EQ(back.tabs[i].modified, s.tabs[i].modified);
    }
    EXPECT_EQ(back.history, s.history);
    EXPECT_EQ(back.currentTab, 1);
    // The single-worksheet fields follow the current tab.
    EXPECT_EQ(back.text, s.tabs[1].text);
    EXPECT_EQ(back.historyPos, 1);
    EXPECT_FALSE(back.closedNormally);
}

TEST(RecoveryFormatWithTabs, BrokenFilesAreRefusedWithoutTouchingTheResult) {
    const std::string good = SerializeRecovery(TwoTabs());
    TRecoveryState out;
    out.text = "untouched";
    // Every cut of the file is refused.
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(ParseRecovery(good.substr(0, n), out)) << "cut at " << n;
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string bad = good;
        const size_t at = bad.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return bad.replace(at, from.size(), to);
    };
    EXPECT_FALSE(ParseRecovery(replaced("Aktuell 1", "Aktuell 2"), out)) << "current tab beyond the tabs";
    EXPECT_FALSE(ParseRecovery(replaced("Position 2", "Position 3"), out)) << "position beyond the history";
    EXPECT_FALSE(ParseRecovery(replaced("Arbeitsbl\xE4tter 2", "Arbeitsbl\xE4tter 0"), out)) << "no tab";
    EXPECT_FALSE(ParseRecovery(replaced("Arbeitsbl\xE4tter 2", "Arbeitsbl\xE4tter 99999999999"), out));
    EXPECT_FALSE(ParseRecovery(replaced("Nummer 3", "Nummer 0"), out));
    EXPECT_FALSE(ParseRecovery(replaced("Ge\xE4ndert 1", "Ge\xE4ndert 2"), out));
    EXPECT_FALSE(ParseRecovery(replaced("Datei 20", "Datei 99999999999999999999"), out));
    EXPECT_FALSE(ParseRecovery(good + "x", out)) << "bytes after the end";
    EXPECT_EQ(out.text, "untouched");
    EXPECT_TRUE(out.tabs.empty());
}

TEST(RecoveryOfferWithTabs, MoreThanTheStartTextComesBack) {
    const std::string initial = "select * from sys.dba_tables order by table_name";
    TRecoveryState s;
    s.closedNormally = true;
    TWorksheetTab t;
    t.text = initial;
    s.tabs = {t};
    s.text = initial;
    EXPECT_EQ(RecoveryOfferFor(s, initial), TRecoveryOffer::Nothing) << "one tab with the start text";
    s.tabs[0].fileName = "/a.sql";
    EXPECT_EQ(RecoveryOfferFor(s, initial), TRecoveryOffer::RestoreQuietly) << "a file name is worth keeping";
    s.tabs[0].fileName.clear();
    s.tabs.push_back(t);
    EXPECT_EQ(RecoveryOfferFor(s, initial), TRecoveryOffer::RestoreQuietly) << "a second tab";
    s.closedNormally = false;
    EXPECT_EQ(RecoveryOfferFor(s, initial), TRecoveryOffer::Ask);
}

TEST(RecoveryFileWithTabs, ABrokenFileIsKeptAsideWithAMessage) {
    const fs::path dir = fs::temp_directory_path() / ("vestra-tabs-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    TRecoveryFile f;
    ASSERT_TRUE(f.Open(dir.string()));
    std::string message = "old";
    EXPECT_FALSE(f.LoadOrSetAside(message)) << "nothing saved yet";
    EXPECT_EQ(message, "") << "a missing file is the first start, not a broken one";

    f.Save(TwoTabs());
    auto back = f.LoadOrSetAside(message);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->tabs.size(), 2u);
    EXPECT_EQ(message, "");

    const std::string broken = SerializeRecovery(TwoTabs()).substr(0, 120);
    WriteFileReplacing(f.Path(), broken);
    EXPECT_FALSE(f.LoadOrSetAside(message));
    EXPECT_NE(message.find("besch\xE4"
                           "digt"),
              std::string::npos)
        << message;
    EXPECT_NE(message.find(f.Path() + ".defekt"), std::string::npos) << message;
    // The broken bytes are kept whole under the other name, and the slot is free for this run's state.
    EXPECT_EQ(ReadWholeFile(f.Path() + ".defekt"), broken);
    EXPECT_FALSE(fs::exists(f.Path()));
    EXPECT_FALSE(f.LoadOrSetAside(message));
    EXPECT_EQ(message, "");
    fs::remove_all(dir);
}

} // namespace
