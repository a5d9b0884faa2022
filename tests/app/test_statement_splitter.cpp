#include "app/StatementSplitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Texts(const std::vector<TSqlStatement>& s) {
    std::vector<std::string> out;
    for (const TSqlStatement& x : s)
        out.push_back(x.text);
    return out;
}

using Texts_t = std::vector<std::string>;

} // namespace

TEST(StatementSplitter, AnEmptyLineEndsAStatementOnlyForTheEditor) {
    const std::string text = "select 1 from dual\n\nselect 2\n  from dual\n\n\nupdate t set a = 1";
    EXPECT_EQ(Texts(TStatementSplitter::Split(text, true)),
              (Texts_t{"select 1 from dual", "select 2\r\n  from dual", "update t set a = 1"}));
    EXPECT_EQ(Texts(TStatementSplitter::Split(text, false)),
              (Texts_t{"select 1 from dual\r\n\r\nselect 2\r\n  from dual\r\n\r\n\r\nupdate t set a = 1"}));
}

TEST(StatementSplitter, ABlockKeepsItsEmptyLinesAndEndsWithTheSlashLine) {
    const std::string text =
        "begin\n  null;\n\n  null;\nend;\n/\n\ncreate or replace\n  editionable package p is\n"
        "\n  x number;\nend;\n/\ncreate table t (a number);";
    EXPECT_EQ(Texts(TStatementSplitter::Split(text, true)),
              (Texts_t{"begin\r\n  null;\r\n\r\n  null;\r\nend;",
                       "create or replace\r\n  editionable package p is\r\n\r\n  x number;\r\nend;",
                       "create table t (a number)"}));
}

TEST(StatementSplitter, NothingEndsInsideALiteralAQuotedNameOrABlockComment) {
    // Neither the empty line nor the ";" nor the "/" line inside them.
    const std::string text =
        "select 'a;\n\n/\nb' as \"x;\n\ny\" from dual /* c;\n\n/\n*/;\nselect 2 from dual";
    EXPECT_EQ(Texts(TStatementSplitter::Split(text, true)),
              (Texts_t{"select 'a;\r\n\r\n/\r\nb' as \"x;\r\n\r\ny\" from dual /* c;\r\n\r\n/\r\n*/",
                       "select 2 from dual"}));
    // A doubled quote stays inside the literal; a line comment hides its quote.
    EXPECT_EQ(Texts(TStatementSplitter::Split("select 'it''s;\n' from dual; -- don't\nselect 3 from dual;")),
              (Texts_t{"select 'it''s;\r\n' from dual", "select 3 from dual"}));
    // q'{...}' takes a lone quote inside.
    EXPECT_EQ(Texts(TStatementSplitter::Split("select q'{a'b;\n}' from dual;\nselect 4 from dual")),
              (Texts_t{"select q'{a'b;\r\n}' from dual", "select 4 from dual"}));
}

TEST(StatementSplitter, OffsetsAndLinesMapBackToTheSource) {
    const std::string text = "\r\nselect 1\r\n  from dual;\r\n-- note\r\nselect 2 from dual;  \r\n";
    const std::vector<TSqlStatement> s = TStatementSplitter::Split(text);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].line, 1);
    EXPECT_EQ(text.substr(s[0].begin, s[0].end - s[0].begin), "select 1\r\n  from dual");
    EXPECT_EQ(text.substr(s[0].stop - 1, 1), ";");
    EXPECT_EQ(s[1].line, 3);
    EXPECT_EQ(s[1].text, "-- note\r\nselect 2 from dual");
    EXPECT_EQ(text.substr(s[1].begin, s[1].end - s[1].begin), "-- note\r\nselect 2 from dual");
    EXPECT_EQ(text.substr(s[1].stop - 2, 2), "  ");
}

TEST(StatementSplitter, TheStatementUnderTheCursor) {
    const std::string text = "select 1 from dual;\n\nselect 2\n  from dual;\n\n\nselect 3 from dual";
    const std::vector<TSqlStatement> s = TStatementSplitter::Split(text, true);
    ASSERT_EQ(s.size(), 3u);
    auto at = [&](const char* marker, size_t plus = 0) {
        const TSqlStatement* st = StatementAt(s, text.find(marker) + plus);
        return st ? st->text : std::string("<none>");
    };
    EXPECT_EQ(at("select 1"), "select 1 from dual");
    EXPECT_EQ(at("dual;"), "select 1 from dual");
    EXPECT_EQ(at("dual;", 5), "select 1 from dual"); // right behind the ";"
    EXPECT_EQ(at("from dual;\n\n\n"), "select 2\r\n  from dual");
    EXPECT_EQ(at("\n\n\nselect 3", 2), "select 2\r\n  from dual"); // between two: the one before
    EXPECT_EQ(at("3 from"), "select 3 from dual");
    EXPECT_EQ(StatementAt(TStatementSplitter::Split("\n\nselect 9", true), 0)->text, "select 9");
    EXPECT_EQ(StatementAt({}, 0), nullptr);
}

TEST(StatementSplitter, FirstLinesForTheLog) {
    EXPECT_EQ(FirstLineOf("  select *\r\n  from emp"), "select *");
    EXPECT_EQ(FirstLineOf(std::string(100, 'x'), 10), "xxxxxxx...");
    EXPECT_EQ(FirstLineOf(""), "");
}

TEST(StatementSplitter, AnyBytesSplitIntoStatementsThatLieInsideTheText) {
    // Quotes, comment marks, slashes, semicolons and line breaks thrown together: every statement's offsets
    // stay inside the text and in order, and its text is made of the source's lines.
    const char alphabet[] = {'\'', '"', '-', '/', '*', ';', '\n', '\r', ' ',    'q',
                             '[',  ']', 'b', 'e', 'g', 'i', 'n',  'd',  '\x01', '\xA7'};
    unsigned seed = 12345;
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int len = int(seed % 60);
        for (int i = 0; i < len; ++i) {
            seed = seed * 1103515245u + 12345u;
            text += alphabet[(seed >> 16) % sizeof alphabet];
        }
        for (bool editor : {false, true}) {
            size_t last = 0;
            for (const TSqlStatement& s : TStatementSplitter::Split(text, editor)) {
                ASSERT_LE(last, s.begin) << text;
                ASSERT_LE(s.begin, s.end) << text;
                ASSERT_LE(s.end, s.stop) << text;
                ASSERT_LE(s.stop, text.size()) << text;
                ASSERT_FALSE(s.text.empty()) << text;
                last = s.stop;
            }
        }
        seed = seed * 1103515245u + 12345u;
    }
}
