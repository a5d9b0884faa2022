// Completion without a window: what the cursor asks for, aliases, the cache's lists.
#include "app/SqlCompletion.h"

#include <gtest/gtest.h>

namespace {

TDictionaryCache Demo() {
    TDictionaryCache c;
    c.SetOwners({"SYS", "SCOTT", "HR"});
    c.SetObjects({{"SCOTT", "EMP", false},
                  {"SCOTT", "DEPT", false},
                  {"HR", "EMPLOYEES", false},
                  {"HR", "EMP", false},
                  {"SCOTT", "EMP_V", true},
                  {"SYS", "DBA_TABLES", true}});
    c.SetColumns("SCOTT", "EMP", {"EMPNO", "ENAME", "JOB", "DEPTNO"});
    c.SetColumns("SCOTT", "DEPT", {"DEPTNO", "DNAME", "LOC"});
    return c;
}

TCompletionRequest At(const std::string& text) {
    return CompletionAt(text, text.size());
}

TEST(CompletionRequest, WordAndQualifierInFrontOfTheCursor) {
    auto r = At("select e.en");
    EXPECT_EQ(r.prefix, "en");
    EXPECT_EQ(r.qualifier, "e");
    EXPECT_EQ(r.start, 9u);
    r = At("select * from sc");
    EXPECT_EQ(r.prefix, "sc");
    EXPECT_EQ(r.qualifier, "");
    r = At("select x.");
    EXPECT_EQ(r.prefix, "");
    EXPECT_EQ(r.qualifier, "x");
    r = CompletionAt("ab", 99);
    EXPECT_EQ(r.prefix, "ab") << "a cursor past the end is at the end";
}

TEST(Aliases, FromJoinUpdateAndTheNearestDefinition) {
    const std::string sql = "select e.ename from scott.emp e join dept d on d.deptno = e.deptno, hr.emp as h";
    EXPECT_EQ(ResolveQualifier(sql, "e", 0), (TTableRef{"SCOTT", "EMP"}));
    EXPECT_EQ(ResolveQualifier(sql, "D", 0), (TTableRef{"", "DEPT"}));
    EXPECT_EQ(ResolveQualifier(sql, "h", 0), std::nullopt) << "after ON the list is over";
    EXPECT_EQ(ResolveQualifier("select * from a x, hr.emp as h where", "h", 0), (TTableRef{"HR", "EMP"}));
    EXPECT_EQ(ResolveQualifier("update emp u set u.sal = 1", "u", 0), (TTableRef{"", "EMP"}));
    EXPECT_EQ(ResolveQualifier("select * from emp where", "emp", 0), (TTableRef{"", "EMP"}));
    EXPECT_EQ(ResolveQualifier("select * from \"Mixed\" m", "m", 0), (TTableRef{"", "Mixed"}));
    // A keyword after the table is no alias.
    EXPECT_EQ(ResolveQualifier("select * from emp where x", "where", 0), std::nullopt);
    // Two statements with the same alias: the one before the cursor counts.
    const std::string two = "select * from dept x;\n\nselect x. from emp x";
    EXPECT_EQ(ResolveQualifier(two, "x", two.find("x.")), (TTableRef{"", "DEPT"}));
    EXPECT_EQ(ResolveQualifier(two, "x", two.size()), (TTableRef{"", "EMP"}));
    // Control characters do not stop the lexer.
    EXPECT_EQ(ResolveQualifier(std::string("select \x01 from emp e"), "e", 0), (TTableRef{"", "EMP"}));
}

TEST(CompletionLists, ColumnsBehindAnAlias) {
    const TDictionaryCache c = Demo();
    const std::string sql = "select e. from scott.emp e";
    TCompletionRequest r = CompletionAt(sql, 9);
    auto l = CompletionItems(c, sql, r);
    EXPECT_EQ(l.items, (std::vector<std::string>{"EMPNO", "ENAME", "JOB", "DEPTNO"}));
    EXPECT_FALSE(l.columnsNeeded);
    const std::string typed = "select e.e from scott.emp e";
    l = CompletionItems(c, typed, CompletionAt(typed, 10));
    EXPECT_EQ(l.items, (std::vector<std::string>{"EMPNO", "ENAME"}));
    // A table whose columns are not read yet asks for them, with the owner from the dictionary.
    const std::string hr = "select x. from employees x";
    l = CompletionItems(c, hr, CompletionAt(hr, 9));
    EXPECT_TRUE(l.items.empty());
    ASSERT_TRUE(l.columnsNeeded);
    EXPECT_EQ(*l.columnsNeeded, (TTableRef{"HR", "EMPLOYEES"}));
    // dept. without a FROM: the table itself.
    l = CompletionItems(c, "dept.", At("dept."));
    EXPECT_EQ(l.items, (std::vector<std::string>{"DEPTNO", "DNAME", "LOC"}));
}

TEST(CompletionLists, TablesOfAnOwnerAndNamesByPrefix) {
    const TDictionaryCache c = Demo();
    auto l = CompletionItems(c, "select * from hr.", At("select * from hr."));
    EXPECT_EQ(l.items, (std::vector<std::string>{"EMP", "EMPLOYEES"}));
    l = CompletionItems(c, "select * from em", At("select * from em"));
    EXPECT_EQ(l.items, (std::vector<std::string>{"EMP", "EMPLOYEES", "EMP_V"})) << "EMP once, of both owners";
    l = CompletionItems(c, "s", At("s"));
    EXPECT_EQ(l.items, (std::vector<std::string>{"SCOTT", "SYS"}));
    l = CompletionItems(c, "nothing.", At("nothing."));
    EXPECT_TRUE(l.items.empty());
    EXPECT_FALSE(l.columnsNeeded);
}

TEST(CompletionLists, ManyTablesStayWithinTheLimit) {
    TDictionaryCache c;
    std::vector<TDictObject> objs;
    for (int i = 0; i < 100000; ++i)
        objs.push_back({"APP", "T" + std::to_string(i), false});
    c.SetObjects(std::move(objs));
    EXPECT_EQ(c.ObjectCount(), 100000u);
    auto l = CompletionItems(c, "T9999", At("T9999"), 50);
    EXPECT_EQ(l.items, (std::vector<std::string>{"T9999", "T99990", "T99991", "T99992", "T99993", "T99994",
                                                 "T99995", "T99996", "T99997", "T99998", "T99999"}));
    EXPECT_EQ(CompletionItems(c, "", At(""), 50).items.size(), 50u);
}

TEST(CompletionStatements, NamesAreQuotedAsLiterals) {
    EXPECT_EQ(CompletionColumnsSQL("SCOTT", "O'X"),
              "select COLUMN_NAME from ALL_TAB_COLUMNS where TABLE_NAME = "
              "'O''X' and OWNER = 'SCOTT' order by COLUMN_ID");
    EXPECT_EQ(CompletionColumnsSQL("", "EMP"),
              "select COLUMN_NAME from ALL_TAB_COLUMNS where TABLE_NAME = 'EMP' order by COLUMN_ID");
}

} // namespace
