#include "app/AnsiText.h"
#include "app/History.h"
#include "app/ProgramFolder.h"
#include "app/ResultText.h"
#include "app/SelectParser.h"
#include "app/Worksheet.h"
#include "dataset/DBErrors.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const std::string kDescPrefix =
    "Select Column_name as Spalte, substr(Data_type,1,15) as Datentyp, Data_length as Laenge, Nullable    as "
    "NULLZUGELASSEN, Data_Default as Defaultwert from SYS.ALL_TAB_COLUMNS where Table_name = '";

class TempDir {
public:
    TempDir() {
        path_ = std::filesystem::temp_directory_path() /
                ("vestra-ws-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(path_);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string File(const char* name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// A result held in vectors; std::nullopt is a NULL.
class VectorResult : public IResultSource {
public:
    VectorResult(std::vector<std::string> names, std::vector<std::vector<std::optional<std::string>>> rows)
        : names_(std::move(names)), rows_(std::move(rows)) {}
    int FieldCount() override { return int(names_.size()); }
    std::string FieldName(int i) override { return names_[i]; }
    void First() override { row_ = 0; }
    bool Eof() override { return row_ >= rows_.size(); }
    void Next() override { ++row_; }
    std::string FieldText(int i) override { return rows_[row_][i].value_or(""); }
    size_t row_ = 99;

private:
    std::vector<std::string> names_;
    std::vector<std::vector<std::optional<std::string>>> rows_;
};

} // namespace

TEST(WorksheetCommands, DescribeRewritesIntoTheColumnQuery) {
    auto r = PrepareWorksheetStatement("desc scott.emp");
    EXPECT_EQ(r.kind, TPreparedStatement::Desc);
    EXPECT_EQ(r.sql, kDescPrefix + "emp' and OWNER = 'scott'");
    EXPECT_EQ(PrepareWorksheetStatement(" \r\nDESC EMP;\r\n").sql, kDescPrefix + "EMP;'");
    // "describe" is DESC followed directly by the name "ribe emp".
    EXPECT_EQ(PrepareWorksheetStatement("describe emp").sql, kDescPrefix + "ribe emp'");
    EXPECT_TRUE(PrepareWorksheetStatement("desc").message.empty());
}

TEST(WorksheetCommands, ShowUserAndShowParameter) {
    const std::string session =
        "SELECT sid, to_char(logon_time,'DD.MM.YYYY:HH24:MI') logon_time, username,type, status, process, "
        "sql_address, sql_hash_value FROM v$session WHERE username is not null and status ='ACTIVE'";
    EXPECT_EQ(PrepareWorksheetStatement("  show user \r\n").sql, session);
    EXPECT_EQ(PrepareWorksheetStatement("SHOW USERS").sql, session);
    EXPECT_EQ(PrepareWorksheetStatement("Show User").kind, TPreparedStatement::ShowUser);

    auto p = PrepareWorksheetStatement("show parameter db_name");
    EXPECT_EQ(p.kind, TPreparedStatement::ShowParameter);
    EXPECT_EQ(p.sql, "SELECT * from v$parameter where NAME = 'db_name'");
    EXPECT_EQ(p.message, "SELECT * from v$parameter where NAME = 'db_name'\r\n");
}

TEST(WorksheetCommands, OtherTextPassesUnchanged) {
    for (const char* sql :
         {"select * from emp where deptno = :d", "", "  update t set a = 1\r\n", "SHOW ALL"}) {
        auto r = PrepareWorksheetStatement(sql);
        EXPECT_EQ(r.kind, TPreparedStatement::Plain);
        EXPECT_EQ(r.sql, sql);
    }
}

TEST(WorksheetStatus, RowsAffectedTexts) {
    EXPECT_EQ(StatusTextFor(-1), "OK");
    EXPECT_EQ(StatusTextFor(0), "0 Datens\xE4tze verarbeitet!");
    EXPECT_EQ(StatusTextFor(3), "3 Datens\xE4tze verarbeitet!");
}

TEST(WorksheetHistory, StepsBackAndForwardWithinTheEntries) {
    THistory h;
    std::string text = "unchanged";
    EXPECT_FALSE(h.Back(text));
    EXPECT_FALSE(h.Forward(text));
    EXPECT_EQ(h.LabelText(), "0 / 0");
    EXPECT_EQ(text, "unchanged");

    h.Record("select 1 from dual");
    h.Record("select *\r\nfrom emp\r\nwhere 1=1");
    h.Record("commit");
    EXPECT_EQ(h.LabelText(), "3 / 3");
    EXPECT_EQ(h.Entries()[1], "select *\xA7\xA7"
                              "from emp\xA7\xA7where 1=1");

    EXPECT_TRUE(h.Back(text));
    EXPECT_EQ(text, "select *\r\nfrom emp\r\nwhere 1=1");
    EXPECT_TRUE(h.Back(text));
    EXPECT_EQ(text, "select 1 from dual");
    EXPECT_EQ(h.LabelText(), "1 / 3");
    EXPECT_FALSE(h.Back(text));
    EXPECT_TRUE(h.Forward(text));
    EXPECT_TRUE(h.Forward(text));
    EXPECT_EQ(h.LabelText(), "3 / 3");
    EXPECT_FALSE(h.Forward(text));

    h.Back(text);
    h.Back(text);
    h.Record(text); // executing an entry shown from the history appends it again
    EXPECT_EQ(h.LabelText(), "4 / 4");
}

TEST(WorksheetHistory, FileRoundTripKeepsLineBreaksAndAcceptsUnixLineEnds) {
    TempDir dir;
    THistory h;
    h.Record("select 1 from dual");
    h.Record("select *\r\nfrom emp");
    h.Record("");
    h.SaveToFile(dir.File("a.HIST"));
    EXPECT_EQ(ReadWholeFile(dir.File("a.HIST")), "select 1 from dual\r\nselect *\xA7\xA7"
                                                 "from emp\r\n\r\n");

    THistory loaded;
    EXPECT_EQ(loaded.LoadFromFile(dir.File("a.HIST")), "select 1 from dual");
    EXPECT_EQ(loaded.Entries(), h.Entries());
    EXPECT_EQ(loaded.LabelText(), "1 / 3");

    WriteWholeFile(dir.File("unix.HIST"), "a\nb\xA7\xA7"
                                          "c\n\nd");
    EXPECT_EQ(loaded.LoadFromFile(dir.File("unix.HIST")), "a");
    EXPECT_EQ(loaded.Entries(), (std::vector<std::string>{"a",
                                                          "b\xA7\xA7"
                                                          "c",
                                                          "", "d"}));
    std::string text;
    loaded.Forward(text);
    EXPECT_EQ(text, "b\r\nc");

    THistory empty;
    empty.SaveToFile(dir.File("empty.HIST"));
    EXPECT_EQ(ReadWholeFile(dir.File("empty.HIST")), "");
}

TEST(WorksheetHistory, AnEmptyFileLeavesAnEmptyHistoryAMissingOneKeepsIt) {
    TempDir dir;
    THistory h;
    h.Record("x");
    WriteWholeFile(dir.File("empty.HIST"), "");
    try {
        h.LoadFromFile(dir.File("empty.HIST"));
        FAIL();
    } catch (const EListError& e) {
        EXPECT_EQ(std::string(e.what()), "Listenindex \xFC"
                                         "berschreitet das Maximum (0)");
    }
    EXPECT_EQ(h.Count(), 0);
    EXPECT_EQ(h.Pos(), 1);
    std::string text = "keep";
    EXPECT_FALSE(h.Back(text));
    EXPECT_FALSE(h.Forward(text));
    EXPECT_EQ(text, "keep");

    h.Record("y");
    EXPECT_EQ(h.LabelText(), "1 / 1");
    // A file that cannot be read leaves the history as it was.
    EXPECT_THROW(h.LoadFromFile(dir.File("missing.HIST")), EFileError);
    EXPECT_EQ(h.Count(), 1);
    EXPECT_FALSE(h.Back(text));
}

TEST(WorksheetSqlFiles, SavedByteForByteAndLoadedWithCrLf) {
    TempDir dir;
    SaveSqlFile(dir.File("q.SQL"), "select \xE4\r\nfrom t");
    EXPECT_EQ(ReadWholeFile(dir.File("q.SQL")), "select \xE4\r\nfrom t");
    EXPECT_EQ(LoadSqlFile(dir.File("q.SQL")), "select \xE4\r\nfrom t");
    WriteWholeFile(dir.File("unix.SQL"), "a\nb\rc\r\n");
    EXPECT_EQ(LoadSqlFile(dir.File("unix.SQL")), "a\r\nb\r\nc\r\n");
    EXPECT_THROW(SaveSqlFile(dir.File("no/such/folder.SQL"), "x"), EFileError);
    EXPECT_THROW(LoadSqlFile(dir.File("missing.SQL")), EFileError);
}

TEST(WorksheetResultText, ClipboardTextIsTabSeparatedWithHeader) {
    VectorResult r({"A", "B"}, {{"1", "x"}, {"2", std::nullopt}});
    EXPECT_EQ(BuildClipboardText(r), "A\tB\r\n1\tx\r\n2\t\r\n");
    EXPECT_EQ(r.row_, 0u); // left on the first record

    VectorResult one({"N"}, {{" a "}, {"b"}});
    EXPECT_EQ(BuildClipboardText(one), "N\r\n a \r\nb\r\n");
    VectorResult none({"A", "B"}, {});
    EXPECT_EQ(BuildClipboardText(none), "A\tB\r\n");
}

TEST(WorksheetResultText, SeparatorsTypedOrAsHexPairs) {
    EXPECT_EQ(ParseSeparator("|", false), "|");
    EXPECT_EQ(ParseSeparator("0D0A", true), "\r\n");
    EXPECT_EQ(ParseSeparator("09", true), "\t");
    EXPECT_EQ(ParseSeparator("3b3", true), ";"); // the odd last character is ignored
    EXPECT_EQ(ParseSeparator("", true), "");
    try {
        ParseSeparator("0DZZ", true);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(std::string(e.what()), "'$ZZ' ist kein g\xFCltiger Integerwert");
    }
}

TEST(WorksheetResultText, ExportFilesWithSeparatorsHeadersAndTrim) {
    TempDir dir;
    VectorResult r({"A", "B"}, {{"1", "x"}});
    WriteResultFile(r, dir.File("output.DAT"), "|", true, true);
    EXPECT_EQ(ReadWholeFile(dir.File("output.DAT")), "A|B\r\n1|x\r\n");

    WriteResultFile(r, dir.File("output.DAT"), ParseSeparator("0D0A", true), true, true);
    EXPECT_EQ(ReadWholeFile(dir.File("output.DAT")), "A\r\nB\r\n1\r\nx\r\n");

    VectorResult chars({" C ", "D"}, {{"ab  ", std::nullopt}, {"  c", "d"}});
    EXPECT_EQ(BuildResultFileText(chars, ";;", true, false), " C ;;D\r\nab  ;;\r\n  c;;d\r\n");
    EXPECT_EQ(BuildResultFileText(chars, ";;", true, true), "C;;D\r\nab;;\r\nc;;d\r\n");
    EXPECT_EQ(BuildResultFileText(chars, "|", false, true), "ab|\r\nc|d\r\n");

    VectorResult empty({"A"}, {});
    EXPECT_EQ(BuildResultFileText(empty, "|", true, true), "A\r\n");
    EXPECT_EQ(BuildResultFileText(empty, "|", false, true), "");
    EXPECT_THROW(WriteResultFile(r, dir.File("missing/out.DAT"), "|", true, true), EFileError);
}

namespace {

TEST(AnsiText, CharactersWithoutAWindows1252ByteAreFoundWithTheirLine) {
    char32_t ch = 0;
    size_t at = 0;
    // Every character of the code page passes, the euro sign and the C1 stand-ins too.
    EXPECT_FALSE(FindNonAnsiChar(u"select '\u20AC \u00E4\u00DF \u0160 ?' from dual\r\n", ch, at));
    EXPECT_FALSE(FindNonAnsiChar(std::u16string(1, char16_t(0x81)), ch, at));
    const std::u16string text = u"select 1\r\nfrom dual -- \u0101x";
    ASSERT_TRUE(FindNonAnsiChar(text, ch, at));
    EXPECT_EQ(ch, U'\u0101');
    EXPECT_EQ(at, text.find(u'\u0101'));
    EXPECT_EQ(LineOfIndex(text, at), 2);
    // A character outside the basic plane comes whole, from its surrogate pair.
    ASSERT_TRUE(FindNonAnsiChar(u"a\U0001F600", ch, at));
    EXPECT_EQ(ch, U'\U0001F600');
    EXPECT_EQ(at, 1u);
    EXPECT_EQ(
        NonAnsiMessage(U'\u0101', 2, "Nichts wurde gespeichert."),
        "Das Zeichen \xE2\x80\x9E\xC4\x81\xE2\x80\x9C (U+0101) in Zeile 2 ist im Zeichensatz Windows-1252 "
        "nicht enthalten. Nichts wurde gespeichert.");
}

TEST(ProgramFolder, IsTheExecutablesFolderUnlessATestSetsIt) {
    const std::string real = ProgramFolder();
    EXPECT_EQ(real.back() == '/', real == "/");
    EXPECT_TRUE(std::filesystem::exists(real + "/" + "test_worksheet"));
    const std::string other =
        std::filesystem::temp_directory_path() / ("vestra-pf-" + std::to_string(::getpid()));
    std::filesystem::create_directories(other);
    SetProgramFolderForTests(other);
    EXPECT_EQ(ProgramSubFolder("SQL"), other + "/SQL");
    SetProgramFolderForTests("");
    std::filesystem::remove_all(other);
    EXPECT_EQ(ProgramFolder(), real);
}

} // namespace
