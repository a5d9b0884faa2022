#include "app/SelectParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Lines(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines)
        out += l + "\r\n";
    return out;
}

std::string Format(const std::string& sql) {
    return TSelectParser().FormatStatement(sql);
}

} // namespace

TEST(SelectFormatter, LaysOutClausesItemsAndConditions) {
    EXPECT_EQ(Format("select ename as name, sal from emp where deptno = 10 and sal > 500 order by ename;"),
              Lines({"SELECT", "   ename AS name,", "   sal", "FROM", "   emp", "WHERE", "   deptno = 10",
                     "   and sal > 500", "ORDER BY", "   ename"}));
    EXPECT_EQ(Format("Select * from SCOTT.EMP"), Lines({"SELECT", "   *", "FROM", "   SCOTT.EMP"}));
    EXPECT_EQ(Format("insert into t (a, b) values (1, 2)"),
              Lines({"INSERT INTO", "   t (a, b)", "VALUES", "   (1, 2)"}));
    EXPECT_EQ(Format("update emp set sal = 1 where id = 2"),
              Lines({"UPDATE", "   emp", "SET", "   sal = 1", "WHERE", "   id = 2"}));
    EXPECT_EQ(Format("select distinct a,b from t group by a having count(*) > 1 or x=1"),
              Lines({"SELECT DISTINCT", "   a,", "   b", "FROM", "   t", "GROUP BY", "   a", "HAVING",
                     "   count(*) > 1", "   or x=1"}));
}

TEST(SelectFormatter, BlankInputEmptiesTheEditor) {
    EXPECT_EQ(Format(""), "");
    EXPECT_EQ(Format(" \r\n\t "), "");
    // Only one trailing semicolon is removed.
    EXPECT_EQ(Format("select 1 from dual;;"), Lines({"SELECT", "   1", "FROM", "   dual;"}));
    EXPECT_EQ(Format(";"), "");
}

TEST(SelectFormatter, GroupsStayOneToken) {
    EXPECT_EQ(Format("select count(a,b) from t"), Lines({"SELECT", "   count(a,b)", "FROM", "   t"}));
    // A line break inside parentheses is deleted, joining the words on either side.
    EXPECT_EQ(Format("select f(a,\r\nb) x from t"), Lines({"SELECT", "   f(a,b) x", "FROM", "   t"}));
    EXPECT_EQ(Format("select 'a, b' from t"), Lines({"SELECT", "   'a, b'", "FROM", "   t"}));
    // Words separated only by a tab stay one token.
    EXPECT_EQ(Format("select a\tb from t"), Lines({"SELECT", "   a\tb", "FROM", "   t"}));
}

TEST(SelectFormatter, AnUnbalancedGroupKeepsTheRestOfTheStatementOnOneLine) {
    // The parenthesis inside the literal leaves the rest inside a group; nothing of it is lost.
    EXPECT_EQ(Format("select ')' x, y from t where a = 1"),
              Lines({"SELECT", "   ')' x, y from t where a = 1"}));
    EXPECT_EQ(Format("select '\"' a from\r\nt"), Lines({"SELECT", "   '\"' a fromt"}));
}

TEST(SelectFormatter, KeywordCaseAndIndentedStart) {
    EXPECT_EQ(Format("select a from t where x=1 AnD y=2 Or z=3"),
              Lines({"SELECT", "   a", "FROM", "   t", "WHERE", "   x=1", "   AnD y=2", "   Or z=3"}));
    EXPECT_EQ(Format("DESC emp"), Lines({"   DESC emp"}));
    EXPECT_EQ(Format("select all a into b from t"),
              Lines({"SELECT ALL", "   a INTO", "   b", "FROM", "   t"}));
}

TEST(SelectFormatter, AliasesAreWrittenWithUppercaseAs) {
    EXPECT_EQ(Format("select a as x, b As y, c from t"),
              Lines({"SELECT", "   a AS x,", "   b AS y,", "   c", "FROM", "   t"}));
    // Only the select list, and not an item ending in "*".
    EXPECT_EQ(Format("select t.* from (select 1 as x from dual) as t"),
              Lines({"SELECT", "   t.*", "FROM", "   (select 1 as x from dual) as t"}));
    EXPECT_EQ(Format("update t set a = b as c"), Lines({"UPDATE", "   t", "SET", "   a = b as c"}));
}

TEST(SelectFormatter, FormattingTwiceGivesTheSameText) {
    for (const char* sql :
         {"select ename as name, sal from emp where deptno = 10 and sal > 500 order by ename;",
          "insert into t (a, b) values (1, 2)", "update emp set sal = 1 where id = 2",
          "select distinct a, f(b, c) from t group by a"}) {
        const std::string once = Format(sql);
        EXPECT_EQ(Format(once), once) << sql;
    }
}

TEST(SelectFormatter, AStatementStartingWithAJoiningKeywordOrCommaFails) {
    for (const char* sql : {"distinct a from t", ", a", "by x"}) {
        try {
            Format(sql);
            FAIL() << sql;
        } catch (const EListError& e) {
            EXPECT_EQ(std::string(e.what()), "Listenindex \xFC"
                                             "berschreitet das Maximum (-1)");
        }
    }
}
