// What the grid decides without a window: sort list, ORDER BY texts, filter conditions, summaries, cut texts,
// title levels and proportional widths.
#include "grid/QxGridLogic.h"

#include "dataset/DBErrors.h"
#include "dataset/Platform.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>

namespace {

int ColumnOf(const std::string& name) {
    static const std::map<std::string, int> cols = {{"EMPNO", 0}, {"ENAME", 1}, {"SAL", 2}};
    std::string up;
    for (char c : name)
        up += char(std::toupper(static_cast<unsigned char>(c)));
    auto it = cols.find(up);
    return it == cols.end() ? -1 : it->second;
}

std::vector<TSortEntry> Parse(const std::string& text) {
    return ParseOrderByText(text, {"EMPNO", "ENAME", "SAL"}, ColumnOf);
}

} // namespace

TEST(GridSort, TitleClicksPlainShiftAndCtrl) {
    std::vector<TSortEntry> l;
    ApplyTitleClick(l, 2, false, false);
    EXPECT_EQ(l, (std::vector<TSortEntry>{{2, false}}));
    ApplyTitleClick(l, 2, false, false);
    EXPECT_EQ(l, (std::vector<TSortEntry>{{2, true}}));
    ApplyTitleClick(l, 2, false, false);
    EXPECT_EQ(l, (std::vector<TSortEntry>{{2, false}}));
    ApplyTitleClick(l, 0, true, false); // Shift adds
    EXPECT_EQ(l, (std::vector<TSortEntry>{{2, false}, {0, false}}));
    ApplyTitleClick(l, 2, true, false); // Shift flips one already sorted, keeping its place
    EXPECT_EQ(l, (std::vector<TSortEntry>{{2, true}, {0, false}}));
    ApplyTitleClick(l, 2, false, true); // Ctrl removes
    EXPECT_EQ(l, (std::vector<TSortEntry>{{0, false}}));
    ApplyTitleClick(l, 1, false, true); // Ctrl on an unsorted column: a plain click
    EXPECT_EQ(l, (std::vector<TSortEntry>{{1, false}}));
    ApplyTitleClick(l, 0, false, false); // a plain click sorts by that column alone
    EXPECT_EQ(l, (std::vector<TSortEntry>{{0, false}}));
    EXPECT_EQ(BuildOrderByText({{2, true}, {0, false}, {5, false}}, [](int c) { return c == 5 ? 0 : c + 1; }),
              "3 DESC,1");
    EXPECT_EQ(BuildOrderByText({}, [](int c) { return c + 1; }), "");
}

TEST(GridSort, OrderByIsReadBackFromTheStatement) {
    EXPECT_EQ(Parse("2 DESC"), (std::vector<TSortEntry>{{1, true}}));
    EXPECT_EQ(Parse("ename, 3 desc"), (std::vector<TSortEntry>{{1, false}, {2, true}}));
    EXPECT_EQ(Parse("e.SAL ASC, \"EMPNO\""), (std::vector<TSortEntry>{{2, false}, {0, false}}));
    // A name that matches no column adds nothing and the scan goes on.
    EXPECT_EQ(Parse("DEPTNO, SAL"), (std::vector<TSortEntry>{{2, false}}));
    // A number beyond the field definitions ends the scan; so does an expression.
    EXPECT_EQ(Parse("SAL, 9, ENAME"), (std::vector<TSortEntry>{{2, false}}));
    // An item not followed by "," or the end stops the scan after its entry.
    EXPECT_EQ(Parse("ENAME, SAL * 2, EMPNO"), (std::vector<TSortEntry>{{1, false}, {2, false}}));
    EXPECT_TRUE(Parse("").empty());
}

TEST(GridFilter, FloatValuesReachTheStatementAsTyped) {
    // 0.1 once became 0.10000000000000001, which matched no row.
    EXPECT_EQ(FilterCondition("SAL", ftFloat, "0.1", false), "SAL=0.1");
    EXPECT_EQ(FilterCondition("SAL", ftFloat, "<=-2.5", false), "SAL<=-2.5");
    EXPECT_EQ(FilterCondition("SAL", ftFloat, "0.1", true), "SAL=0.1");
    EXPECT_EQ(FilterCondition("SAL", ftFloat, "1e300", false), "SAL=1e+300");
    // Digits a double cannot hold go to the server as typed.
    EXPECT_EQ(FilterCondition("ID", ftFloat, "12345678901234567890", false), "ID=12345678901234567890");
    EXPECT_EQ(FilterCondition("ID", ftFloat, "-99999999999999999999999999999999999999", false),
              "ID=-99999999999999999999999999999999999999");
    const char saved = platform::DecimalSeparator();
    platform::SetDecimalSeparator(',');
    EXPECT_EQ(FilterCondition("SAL", ftFloat, ">0,3", false), "SAL>0.3");
    EXPECT_EQ(FilterCondition("N", ftFloat, "0,1234567890123456789", false), "N=0.1234567890123456789");
    platform::SetDecimalSeparator(saved);
}

TEST(GridFilter, TextsGiveTheConditionsOfTheServerAndOfTheLocalFilter) {
    EXPECT_EQ(FilterCondition("NAME", ftString, "A*", false), "NAME LIKE 'A%'");
    EXPECT_EQ(FilterCondition("NAME", ftString, "<>B*", false), "NAME NOT LIKE 'B%'");
    EXPECT_EQ(FilterCondition("NAME", ftString, ">=K", false), "NAME>='K'");
    EXPECT_EQ(FilterCondition("NAME", ftString, "A*", true), "NAME='A*'");
    EXPECT_EQ(FilterCondition("NAME", ftString, "<>B*", true), "NAME<>'B*'");
    EXPECT_EQ(FilterCondition("NAME", ftString, "O'Brien", false), "NAME LIKE 'O''Brien'");
    EXPECT_EQ(FilterCondition("ID", ftInteger, ">=10", false), "ID>=10");
    EXPECT_EQ(FilterCondition("ID", ftInteger, ">=10", true), "ID>=10");
    EXPECT_EQ(FilterCondition("ID", ftLargeint, "  <  5", false), "ID<5");
    EXPECT_EQ(FilterCondition("SAL", ftFloat, ">1000", false), "SAL>1000");
    // No value after the operator: no condition.
    EXPECT_EQ(FilterCondition("NAME", ftString, "=", false), "");
    EXPECT_EQ(FilterCondition("NAME", ftString, "  ", false), "");
    EXPECT_EQ(FilterCondition("ID", ftInteger, "<>", true), "");
    // NULL and empty strings.
    EXPECT_EQ(FilterCondition("NAME", ftString, "NULL", false), "NAME IS NULL");
    EXPECT_EQ(FilterCondition("ID", ftInteger, "<>null", false), "ID IS NOT NULL");
    EXPECT_EQ(FilterCondition("NAME", ftString, "=NULL", true), "NAME = NULL");
    EXPECT_EQ(FilterCondition("NAME", ftString, "'NULL'", false), "NAME='NULL'");
    EXPECT_EQ(FilterCondition("NAME", ftString, "''", true), "NAME=''");
    // Names that are not plain identifiers are quoted.
    EXPECT_EQ(FilterCondition("Mixed Name", ftInteger, "1", false), "\"Mixed Name\"=1");
    EXPECT_EQ(FilterCondition("Mixed Name", ftInteger, "1", true), "[Mixed Name]=1");
}

TEST(GridFilter, ValuesThatDoNotConvertAreRefusedAndOtherTypesAreQuoted) {
    EXPECT_THROW(FilterCondition("ID", ftInteger, ">=1x", false), EConvertError);
    EXPECT_THROW(FilterCondition("ID", ftInteger, "1 OR 1=1", false), EConvertError);
    EXPECT_THROW(FilterCondition("SAL", ftFloat, "abc", false), EConvertError);
    EXPECT_THROW(FilterCondition("HIRED", ftDateTime, "yesterday", false), EConvertError);
    // A type handed over unchecked goes in as a literal, never as statement text.
    EXPECT_EQ(FilterCondition("FLAG", ftBoolean, "1) OR (1=1", false), "FLAG='1) OR (1=1'");
    EXPECT_EQ(FilterCondition("RAW", ftVarBytes, "AB'CD", false), "RAW='AB''CD'");
    std::string op, value;
    SplitFilterText(" <> x ", op, value);
    EXPECT_EQ(op, "<>");
    EXPECT_EQ(value, "x");
    SplitFilterText("<x", op, value);
    EXPECT_EQ(op, "<");
    EXPECT_EQ(value, "x");
    SplitFilterText("abc", op, value);
    EXPECT_EQ(op, "=");
    EXPECT_EQ(value, "abc");
}

TEST(GridSummary, MaximumOfNegativeValuesWithAndWithoutANull) {
    auto run = [](TSummaryMode mode, const std::vector<std::optional<int>>& values) {
        TSummaryValue s;
        SummaryStart(s, mode, false, !values[0], values[0].value_or(0), 0);
        for (const auto& v : values)
            SummaryAdd(s, mode, !v, v.value_or(0), 0);
        return SummaryFormat(s, mode, {});
    };
    EXPECT_EQ(run(smMax, {-5, -2, -9}), "-2");
    EXPECT_EQ(run(smMax, {-5, std::nullopt, -9}), "0");
    EXPECT_EQ(run(smMin, {5, 2, 9}), "2");
    EXPECT_EQ(run(smMin, {5, std::nullopt, 9}), "0");
    EXPECT_EQ(run(smSum, {2147483647, 2147483647, 2}), "4294967296"); // a 64-bit accumulator
    EXPECT_EQ(run(smAvr, {1, 2}), "1.5");
    TSummaryValue f;
    SummaryStart(f, smSum, true, false, 0, 0);
    SummaryAdd(f, smSum, false, 0, 1234.5);
    SummaryAdd(f, smSum, false, 0, 0.25);
    EXPECT_EQ(SummaryFormat(f, smSum, {ffFixed, 15, 2}), "1234.75");
    EXPECT_EQ(SummaryFormat(f, smSum, {ffNumber, 15, 1}), "1,234.8");
    EXPECT_FALSE(SummaryTypeAllowed(ftString));
    EXPECT_FALSE(SummaryTypeAllowed(ftBCD));
    EXPECT_TRUE(SummaryTypeAllowed(ftLargeint));
}

TEST(GridSummaries, ASumWithValuesWiderThanADoubleIsExact) {
    TSummaryValue s;
    SummaryStart(s, smSum, true, false, 0, 0);
    const std::string big = "99999999999999999999999999999999999999";
    SummaryAdd(s, smSum, false, 0, 1e38);
    SummaryAddExact(s, smSum, &big, 1e38);
    SummaryAdd(s, smSum, false, 0, 0.1);
    SummaryAddExact(s, smSum, nullptr, 0.1); // a double adds the digits its cell shows
    EXPECT_EQ(SummaryFormat(s, smSum, TFloatFormatting()), "99999999999999999999999999999999999999.1");
    const char saved = platform::DecimalSeparator();
    platform::SetDecimalSeparator(',');
    EXPECT_EQ(SummaryFormat(s, smSum, TFloatFormatting()), "99999999999999999999999999999999999999,1");
    platform::SetDecimalSeparator(saved);
    // An explicit format keeps formatting the double; so does a sum without any wide value.
    EXPECT_EQ(SummaryFormat(s, smSum, {ffExponent, 3, 0}), "1.00E+38");
    // Maximum and minimum pick the exact value.
    const std::string below = "99999999999999999999999999999999999998";
    for (TSummaryMode mode : {smMax, smMin}) {
        TSummaryValue m;
        SummaryStart(m, mode, true, false, 0, 1e38);
        for (const std::string* v : {&below, &big, &below}) {
            SummaryAdd(m, mode, false, 0, 1e38);
            SummaryAddExact(m, mode, v, 1e38);
        }
        SummaryAddExact(m, mode, nullptr, 5.0);
        EXPECT_EQ(SummaryFormat(m, mode, TFloatFormatting()), mode == smMax ? big : "5");
    }
    TSummaryValue plain;
    SummaryStart(plain, smSum, true, false, 0, 0);
    SummaryAdd(plain, smSum, false, 0, 0.5);
    EXPECT_EQ(SummaryFormat(plain, smSum, TFloatFormatting()), "0.5");
}

TEST(GridCells, TextsThatDoNotFitAreCutWithDotsOrHashes) {
    auto measure = [](const std::string& s) { return int(s.size()) * 7; };
    bool cut;
    EXPECT_EQ(FitCellText("SMITH", 37, false, false, measure, cut), "SMITH");
    EXPECT_FALSE(cut);
    EXPECT_EQ(FitCellText("SMITH", 36, false, false, measure, cut), "S...");
    EXPECT_TRUE(cut);
    EXPECT_EQ(FitCellText("12345", 38, true, true, measure, cut), "#####"[0] == '#' ? "####" : "");
    EXPECT_EQ(FitCellText("-1.5", 20, true, true, measure, cut), "-#");
    EXPECT_EQ(FitCellText("1234", 32, true, true, measure, cut), "1234");
}

TEST(GridTitles, LevelsAndMergedCells) {
    EXPECT_EQ(TitleLevels("Person|Name", '|'), (std::vector<std::string>{"Person", "Name"}));
    std::vector<std::vector<std::string>> lv = {
        {"ID"}, {"Person", "Name"}, {"person", "Job"}, {"Pay", "Sal"}, {"Person"}};
    int first, last;
    MergedSpan(lv, 2, 0, first, last);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(last, 2);
    MergedSpan(lv, 1, 1, first, last); // lowest levels stand alone
    EXPECT_EQ(first, 1);
    EXPECT_EQ(last, 1);
    MergedSpan(lv, 3, 0, first, last);
    EXPECT_EQ(first, 3);
    EXPECT_EQ(last, 3);
}

TEST(GridWidths, StretchKeepsRatiosAndSizingSharesTheRest) {
    EXPECT_EQ(AvailableWidth(500, true, true, 1, 3), 485);
    EXPECT_EQ(AvailableWidth(500, false, false, 1, 3), 499);
    auto r = WidthRatios({100, 300});
    EXPECT_DOUBLE_EQ(r[0], 0.25);
    EXPECT_EQ(StretchedWidths(r, 398), (std::vector<int>{100, 300}));
    // Column 0 grows: the others share what is left in proportion, the last takes the rest.
    EXPECT_EQ(SizeColumnStretched({100, 100, 200}, {30, 30, 30}, 0, 160, 400),
              (std::vector<int>{160, 80, 160}));
    // Too wide: the following columns keep 10 each.
    EXPECT_EQ(SizeColumnStretched({100, 100, 200}, {0, 0, 0}, 0, 395, 400), (std::vector<int>{380, 10, 10}));
    // The minimum width holds.
    EXPECT_EQ(SizeColumnStretched({100, 100, 200}, {30, 30, 30}, 0, 395, 400)[1], 30);
    // The last column takes exactly what the others leave.
    EXPECT_EQ(SizeColumnStretched({100, 100, 200}, {30, 30, 30}, 2, 50, 400),
              (std::vector<int>{100, 100, 200}));
}
