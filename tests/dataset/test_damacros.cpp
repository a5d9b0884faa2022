// Macros in SQL texts and the framework's parameter parser.
#include "dataset/DAMacros.h"
#include "dataset/DAParamParser.h"
#include "dataset/DBErrors.h"
#include "dataset/OraParser.h"

#include <gtest/gtest.h>

namespace {

std::string Expanded(TMacros& m, std::string sql) {
    m.Expand(sql);
    return sql;
}

} // namespace

TEST(Macros, ScanFindsEachNameOnceAndKeepsValuesOfSurvivors) {
    TMacros m;
    m.Scan("select &cols from emp where &cond and &COLS is not null");
    ASSERT_EQ(m.Count(), 2);
    EXPECT_EQ(m[0]->Name(), "cols");
    EXPECT_EQ(m[1]->Name(), "cond");
    m.MacroByName("COND")->SetValue("deptno = 10");
    m.MacroByName("cols")->SetActive(false);

    m.Scan("select * from emp where &cond &order");
    ASSERT_EQ(m.Count(), 2);
    EXPECT_EQ(m[0]->Name(), "cond");
    EXPECT_EQ(m[0]->Value(), "deptno = 10");
    EXPECT_TRUE(m[0]->Active());
    EXPECT_EQ(m.FindMacro("cols"), nullptr);

    m.Scan("select * from emp");
    EXPECT_EQ(m.Count(), 0);
}

TEST(Macros, TextWithoutAmpersandClearsTheList) {
    TMacros m;
    m.Scan("select &a from t");
    m.Scan("select 1 from dual");
    EXPECT_EQ(m.Count(), 0);
}

TEST(Macros, MacroByNameNamesTheOwner) {
    TMacros m;
    m.OwnerName = "Qry";
    try {
        m.MacroByName("x");
        FAIL() << "no error";
    } catch (EDatabaseError& e) {
        EXPECT_EQ(std::string(e.what()), "Qry: Macro x not found.");
    }
}

TEST(Macros, ExpansionReplacesActiveMacrosAndDropsInactiveOnes) {
    TMacros m;
    std::string sql = "select * from emp &where order by &ord";
    m.Scan(sql);
    m.MacroByName("where")->SetValue("where sal > 1000");
    m.MacroByName("ord")->SetValue("ename");
    EXPECT_EQ(Expanded(m, sql), "select * from emp where sal > 1000 order by ename");
    m.MacroByName("where")->SetActive(false);
    // The inactive macro vanishes together with its "&".
    EXPECT_EQ(Expanded(m, sql), "select * from emp  order by ename");
}

TEST(Macros, LoneAmpersandIsDroppedOnlyWhenTheTextDefinesAMacro) {
    TMacros m;
    std::string sql = "select 'a & b', x & y, &m from t /* c & d */";
    m.Scan(sql);
    ASSERT_EQ(m.Count(), 1);
    m[0]->SetValue("z");
    // The "&" before a blank goes, those in the string and the comment stay, the blank stays.
    EXPECT_EQ(Expanded(m, sql), "select 'a & b', x  y, z from t /* c & d */");

    TMacros none;
    std::string plain = "select x & y from t";
    none.Scan(plain);
    EXPECT_EQ(none.Count(), 0);
    EXPECT_EQ(Expanded(none, plain), plain); // no macro: every "&" stays
}

TEST(Macros, UnknownNameAfterAmpersandKeepsTheName) {
    TMacros m;
    std::string sql = "select &a from t";
    m.Scan(sql);
    m[0]->SetValue("1");
    EXPECT_EQ(Expanded(m, "select &a, &b, &&a from t"), "select 1, b, 1 from t");
}

TEST(Macros, ExpansionReproducesTheTextExactly) {
    TMacros m;
    m.Scan("&t");
    m[0]->SetValue("emp");
    std::string sql = "SELECT  \"Mixed Case\" , 'it''s'\r\n  FROM &t /* note */ WHERE x=1.5";
    EXPECT_EQ(Expanded(m, sql), "SELECT  \"Mixed Case\" , 'it''s'\r\n  FROM emp /* note */ WHERE x=1.5");
}

TEST(Macros, OracleLexerKeepsLineCommentsAndHashNames) {
    TMacros m;
    m.ParserFactory = [](const char* text) { return std::make_unique<TOraParser>(text); };
    std::string sql = "select &col#1 from t -- &notamacro\n";
    m.Scan(sql);
    ASSERT_EQ(m.Count(), 1);
    EXPECT_EQ(m[0]->Name(), "col#1");
    m[0]->SetValue("ename");
    EXPECT_EQ(Expanded(m, sql), "select ename from t -- &notamacro\n");
}

TEST(Macros, ChangesNotifyTheOwnerOncePerBatch) {
    TMacros m;
    int calls = 0;
    m.OnChanged = [&] { ++calls; };
    m.Scan("&a &b");
    EXPECT_EQ(calls, 1);
    m.BeginUpdate();
    m.MacroByName("a")->SetValue("1");
    m.MacroByName("b")->SetActive(false);
    EXPECT_EQ(calls, 1);
    m.EndUpdate();
    EXPECT_EQ(calls, 2);
    m.MacroByName("a")->SetValue("1"); // unchanged value
    EXPECT_EQ(calls, 2);
    m.MacroByName("a")->SetAsString("O'Neil");
    EXPECT_EQ(m.MacroByName("a")->Value(), "'O''Neil'");
    EXPECT_EQ(calls, 3);
}

TEST(ParamParser, FindsColonNamesOutsideStringsAndComments) {
    auto names =
        ParseParamNames("select * from emp where deptno = :DEPTNO and ename = :ename and x = :Deptno");
    EXPECT_EQ(names, (std::vector<std::string>{"DEPTNO", "ename"}));
    names = ParseParamNames(
        "select ':no', \":no\" from t -- :no\n where a = :a /* :no */ and b=:\"Quoted Name\"");
    EXPECT_EQ(names, (std::vector<std::string>{"a", "Quoted Name"}));
    names = ParseParamNames("begin :x := 1; y := :y; z := a::b; end;");
    EXPECT_EQ(names, (std::vector<std::string>{"x", "y"}));
    names = ParseParamNames("select :1, :2, :1 from dual where c = :p$1# and d = :");
    EXPECT_EQ(names, (std::vector<std::string>{"1", "2", "p$1#"}));
    EXPECT_TRUE(ParseParamNames("select 'unterminated :x").empty());
    EXPECT_TRUE(ParseParamNames("select 1 /* open :x").empty());
}
