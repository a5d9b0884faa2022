// NUMBER values wider than a double against the emulator: every digit from the wire to the texts the grid,
// the clipboard, the export and the report read, to the footer's sum, and back to the server through binds
// and the statements that write a row back.
#include "OraE2e.h"

#include "app/DataSetResult.h"
#include "app/ResultText.h"
#include "app/SchemaStatements.h"
#include "dataset/MemDS.h"
#include "grid/QxGridWork.h"
#include "report/L9.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

using namespace oratest;

namespace {

const std::string Nines38 = "99999999999999999999999999999999999999";
const std::string Twenty = "12345678901234567890";

// T_WIDE: ID 1 holds 20 digits, ID 2 minus 38 nines, ID 3 a short value, ID 4 a wide fraction.
void MakeTable(TRig& r) {
    r.Exec("CREATE TABLE T_WIDE (ID NUMBER(5) PRIMARY KEY, BIG NUMBER, NAME VARCHAR2(10))");
    r.Exec("INSERT INTO T_WIDE VALUES (1, " + Twenty + ", 'one')");
    r.Exec("INSERT INTO T_WIDE VALUES (2, -" + Nines38 + ", 'two')");
    r.Exec("INSERT INTO T_WIDE VALUES (3, 42, 'three')");
    r.Exec("INSERT INTO T_WIDE VALUES (4, 0.1234567890123456789, 'four')");
    r.s->Commit();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace

TEST(OraExactNumber, TheEmulatorAndTheClientKeepEveryDigitOfALiteral) {
    TRig r;
    EXPECT_EQ(r.One("SELECT " + Nines38 + " FROM DUAL"), Nines38);
    EXPECT_EQ(r.One("SELECT -" + Twenty + " FROM DUAL"), "-" + Twenty);
    EXPECT_EQ(r.One("SELECT 9.999999999999999999999999999999999999999E125 FROM DUAL"),
              "9.999999999999999999999999999999999999999E+125");
    // Values a double holds come out as before.
    EXPECT_EQ(r.One("SELECT 42 FROM DUAL"), "42");
    EXPECT_EQ(r.One("SELECT 123456789012345 FROM DUAL"), "123456789012345");
    EXPECT_EQ(r.One("SELECT -1E-130 FROM DUAL"), "-1E-130");
}

TEST(OraExactNumber, GridClipboardExportAndReportTextsShowEveryDigit) {
    TRig r;
    MakeTable(r);
    TOraQuery q(r.s.get());
    q.SetSQL("SELECT ID, BIG FROM T_WIDE ORDER BY ID");
    q.Open();
    // The grid's cell texts.
    std::vector<std::string> texts;
    ASSERT_TRUE(q.GetRecordTexts(2, texts, 0));
    EXPECT_EQ(texts, (std::vector<std::string>{"2", "-" + Nines38}));
    ASSERT_TRUE(q.GetRecordTexts(4, texts, 0));
    EXPECT_EQ(texts[1], "0.1234567890123456789");
    // The report's field contents.
    q.First();
    EXPECT_EQ(TDBL9::FieldContents(*q.FieldByName("BIG")), Twenty);
    // The clipboard text and the export file.
    TDataSetResult result(q);
    const std::string lines =
        "1\t" + Twenty + "\r\n2\t-" + Nines38 + "\r\n3\t42\r\n4\t0.1234567890123456789\r\n";
    EXPECT_EQ(BuildClipboardText(result), "ID\tBIG\r\n" + lines);
    const std::string path = "/tmp/vestra-exact-" + std::to_string(getpid()) + ".txt";
    WriteResultFile(result, path, "\t", false, false);
    EXPECT_EQ(ReadFile(path), lines);
    std::remove(path.c_str());
}

TEST(OraExactNumber, TheFooterSumMaximumAndMinimumOfAWideColumnAreExact) {
    TRig r;
    MakeTable(r);
    r.Exec("INSERT INTO T_WIDE VALUES (5, " + Nines38 + ", 'five')");
    r.Exec("INSERT INTO T_WIDE VALUES (6, 1, 'six')");
    TOraQuery q(r.s.get());
    q.SetSQL("SELECT ID, BIG FROM T_WIDE WHERE ID <> 4 ORDER BY ID");
    q.Open();
    std::vector<TSummaryValue> sums =
        WalkSummaries(q, {{q.FieldByName("BIG"), smSum}, {q.FieldByName("ID"), smSum}});
    // 12345678901234567890 - 99..9 + 42 + 99..9 + 1
    EXPECT_EQ(SummaryFormat(sums[0], smSum, TFloatFormatting()), "12345678901234567933");
    EXPECT_EQ(SummaryFormat(sums[1], smSum, TFloatFormatting()), "17");
    // Maximum and minimum are the exact values as well.
    sums = WalkSummaries(q, {{q.FieldByName("BIG"), smMax}, {q.FieldByName("BIG"), smMin}});
    EXPECT_EQ(SummaryFormat(sums[0], smMax, TFloatFormatting()), Nines38);
    EXPECT_EQ(SummaryFormat(sums[1], smMin, TFloatFormatting()), "-" + Nines38);
}

TEST(OraExactNumber, AWideBindTravelsDigitForDigit) {
    TRig r;
    MakeTable(r);
    TOraSQL ins(r.s.get());
    ins.SetSQL("INSERT INTO T_WIDE VALUES (:ID, :BIG, 'bound')");
    ins.ParamByName("ID")->SetAsInteger(7);
    TParam* big = ins.ParamByName("BIG");
    big->DataType = ftFloat;
    big->SetValue(Variant("-98765432109876543210.98765432109876543"));
    ins.Execute();
    EXPECT_EQ(r.One("SELECT BIG FROM T_WIDE WHERE ID = 7"), "-98765432109876543210.98765432109876543");
    // A condition on the exact value finds the row.
    TOraQuery q(r.s.get());
    q.SetSQL("SELECT ID FROM T_WIDE WHERE BIG = :B");
    q.ParamByName("B")->DataType = ftFloat;
    q.ParamByName("B")->SetValue(Variant("-" + Nines38));
    q.Open();
    ASSERT_FALSE(q.Eof());
    EXPECT_EQ(q.Fields(0)->AsString(), "2");
}

TEST(OraExactNumber, WritingBackAnotherColumnKeepsTheWideValueAsRead) {
    TRig r;
    MakeTable(r);
    TOraQuery q(r.s.get());
    TOraUpdateSQL upd;
    q.SetAutoCommit(true);
    q.RefreshOptions = roAfterUpdate | roBeforeEdit;
    q.SetUpdateObject(&upd);
    q.SetSQL("SELECT * FROM T_WIDE ORDER BY ID");
    q.Open();
    // The wide column is the key, as a user may tick it: the row is found only by its exact value.
    schema::TWorkbenchStatements w;
    w.SetTable("T_WIDE", {"ID", "BIG", "NAME"});
    ASSERT_TRUE(w.ApplyKeys({false, true, false}));
    upd.ModifySQL = w.ModifySQL();
    upd.RefreshSQL = w.RefreshSQL();
    q.SetRecNo(2);
    ASSERT_EQ(q.FieldByName("ID")->AsInteger(), 2);
    q.Edit();
    q.FieldByName("NAME")->SetAsString("zwei");
    q.Post();
    EXPECT_EQ(q.FieldByName("BIG")->AsString(), "-" + Nines38);

    auto other = MakeSession(r.emu);
    other->Connect();
    EXPECT_EQ(r.One("SELECT NAME FROM T_WIDE WHERE ID = 2", other.get()), "zwei");
    EXPECT_EQ(r.One("SELECT BIG FROM T_WIDE WHERE ID = 2", other.get()), "-" + Nines38);

    // The 20-digit row keyed by ID, edited twice: the value read stays exact through both writes.
    ASSERT_TRUE(w.ApplyKeys({true, false, false}));
    upd.ModifySQL = w.ModifySQL();
    upd.RefreshSQL = w.RefreshSQL();
    q.First();
    for (const char* name : {"eins", "uno"}) {
        q.Edit();
        q.FieldByName("NAME")->SetAsString(name);
        q.Post();
    }
    EXPECT_EQ(r.One("SELECT NAME FROM T_WIDE WHERE ID = 1", other.get()), "uno");
    EXPECT_EQ(r.One("SELECT BIG FROM T_WIDE WHERE ID = 1", other.get()), Twenty);

    // A wide value typed by the user is written with every digit as well.
    q.Edit();
    q.FieldByName("BIG")->SetAsString("11111111111111111111111");
    q.Post();
    EXPECT_EQ(r.One("SELECT BIG FROM T_WIDE WHERE ID = 1", other.get()), "11111111111111111111111");
}
