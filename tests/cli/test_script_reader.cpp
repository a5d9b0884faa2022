#include "cli/ScriptReader.h"

#include <gtest/gtest.h>

using Statements = std::vector<std::string>;

TEST(ScriptReader, StatementsEndWithASemicolonAtTheLineEnd) {
    EXPECT_EQ(
        TScriptReader::SplitScript("select 1 from dual;\nselect *\r\n  from emp\r\n where x = 'a;b';  \n"),
        (Statements{"select 1 from dual", "select *\r\n  from emp\r\n where x = 'a;b'"}));
    // A semicolon inside a line does not end the statement; a "/" line does.
    EXPECT_EQ(TScriptReader::SplitScript("update t set a = ';' where b = 1\n/\ncommit;"),
              (Statements{"update t set a = ';' where b = 1", "commit"}));
}

TEST(ScriptReader, BlocksKeepTheirSemicolonsAndEndWithASlashLine) {
    const char* script = "\n-- a comment\nbegin\n  :x := 1;\n  null;\nend;\n/\n"
                         "CREATE OR REPLACE PROCEDURE p IS\nBEGIN\n  NULL;\nEND;\n  /  \n"
                         "declare\n  n number;\nbegin\n  n := 2;\nend;\n/\nselect 2 from dual;\n";
    EXPECT_EQ(TScriptReader::SplitScript(script),
              (Statements{"-- a comment\r\nbegin\r\n  :x := 1;\r\n  null;\r\nend;",
                          "CREATE OR REPLACE PROCEDURE p IS\r\nBEGIN\r\n  NULL;\r\nEND;",
                          "declare\r\n  n number;\r\nbegin\r\n  n := 2;\r\nend;", "select 2 from dual"}));
    // CREATE TABLE is no block.
    EXPECT_EQ(TScriptReader::SplitScript("create table t (a number);\ninsert into t values (1);"),
              (Statements{"create table t (a number)", "insert into t values (1)"}));
}

TEST(ScriptReader, TheLastStatementNeedsNoTerminatorAndEmptyOnesAreSkipped) {
    EXPECT_EQ(TScriptReader::SplitScript("select 1 from dual"), (Statements{"select 1 from dual"}));
    EXPECT_EQ(TScriptReader::SplitScript("\n\n/\n;\n-- only a comment\n"), Statements{});
    EXPECT_EQ(TScriptReader::SplitScript("begin\nnull;\nend;"), (Statements{"begin\r\nnull;\r\nend;"}));
    EXPECT_EQ(TScriptReader::SplitScript(""), Statements{});
}

TEST(ScriptReader, FedLineByLineItReportsPendingStatements) {
    TScriptReader r;
    EXPECT_FALSE(r.AddLine("select *"));
    EXPECT_TRUE(r.Pending());
    EXPECT_TRUE(r.AddLine("from emp;"));
    EXPECT_FALSE(r.Pending());
    EXPECT_EQ(r.Take(), "select *\r\nfrom emp");
    EXPECT_FALSE(r.AddLine("   "));
    EXPECT_FALSE(r.Pending());
    // Unreadable text (a control character) is passed on for the server to judge.
    EXPECT_TRUE(r.AddLine("select \x01;"));
    EXPECT_EQ(r.Take(), "select \x01");
}

TEST(ScriptReader, ASemicolonAtALineEndInsideAStringOrCommentThatSpansLinesEndsNothing) {
    EXPECT_EQ(
        TScriptReader::SplitScript("insert into t values ('first;\r\nsecond;\r\n');\r\nselect 2 from dual;"),
        (Statements{"insert into t values ('first;\r\nsecond;\r\n')", "select 2 from dual"}));
    EXPECT_EQ(
        TScriptReader::SplitScript("select 1 /* one;\n/\n*/ from dual;\nselect q'[it's;\n]' from dual;"),
        (Statements{"select 1 /* one;\r\n/\r\n*/ from dual", "select q'[it's;\r\n]' from dual"}));
    // Fed line by line, the statement stays pending while the literal is open.
    TScriptReader r;
    EXPECT_FALSE(r.AddLine("update t set a = 'x;"));
    EXPECT_TRUE(r.Pending());
    EXPECT_TRUE(r.AddLine("y';"));
    EXPECT_EQ(r.Take(), "update t set a = 'x;\r\ny'");
}
