// The editor's text operations: highlighting classes, find and replace, commenting lines, case, brackets.
#include "app/EditText.h"
#include "app/SqlHighlight.h"

#include <gtest/gtest.h>

namespace {

using K = THighlightKind;

std::vector<THighlightSpan> Spans(const std::string& line, int stateIn = hsNone, int* stateOut = nullptr) {
    std::vector<THighlightSpan> out;
    const int s = HighlightSqlLine(line, stateIn, out);
    if (stateOut) *stateOut = s;
    return out;
}

TEST(SqlHighlighting, ClassesOfOneLine) {
    //                 0         1         2         3         4         5
    //                 0123456789012345678901234567890123456789012345678901234
    const auto s = Spans("select ename, 'x''y' from emp where sal > 1.5 and id = :id -- note");
    const std::vector<THighlightSpan> want = {
        {0, 6, K::Keyword},  {14, 3, K::String},    {17, 3, K::String},
        {21, 4, K::Keyword}, {30, 5, K::Keyword},   {42, 3, K::Number},
        {46, 3, K::Keyword}, {55, 3, K::Parameter}, {59, 7, K::Comment},
    };
    EXPECT_EQ(s, want);
}

TEST(SqlHighlighting, PlSqlWordsAndQuotedNamesButNoPlainNames) {
    const auto s = Spans("begin if x then null; end if; \"Mixed\" := 1; end;");
    ASSERT_GE(s.size(), 5u);
    EXPECT_EQ(s[0], (THighlightSpan{0, 5, K::Keyword}));
    EXPECT_EQ(s[1], (THighlightSpan{6, 2, K::Keyword}));
    EXPECT_EQ(s[2], (THighlightSpan{11, 4, K::Keyword}));
    for (const auto& sp : s)
        EXPECT_NE(sp.start, 9) << "x is a plain name";
    bool quoted = false;
    for (const auto& sp : s)
        quoted |= sp == THighlightSpan{30, 7, K::QuotedIdent};
    EXPECT_TRUE(quoted);
}

TEST(SqlHighlighting, WhatRunsPastTheLineIsCarriedOn) {
    int st = hsNone;
    auto a = Spans("select /* start", hsNone, &st);
    EXPECT_EQ(st, hsBlockComment);
    EXPECT_EQ(a.back(), (THighlightSpan{7, 8, K::Comment}));
    auto b = Spans("still comment", st, &st);
    EXPECT_EQ(st, hsBlockComment);
    EXPECT_EQ(b, (std::vector<THighlightSpan>{{0, 13, K::Comment}}));
    auto c = Spans("end */ from 'open", st, &st);
    EXPECT_EQ(st, hsString);
    EXPECT_EQ(c[0], (THighlightSpan{0, 6, K::Comment}));
    EXPECT_EQ(c[1], (THighlightSpan{7, 4, K::Keyword}));
    EXPECT_EQ(c[2], (THighlightSpan{12, 5, K::String}));
    auto d = Spans("closed' x", st, &st);
    EXPECT_EQ(st, hsNone);
    EXPECT_EQ(d[0], (THighlightSpan{0, 7, K::String}));
}

TEST(SqlHighlighting, ControlCharactersDoNotStopTheLexer) {
    const auto s = Spans(std::string("select\x01 1 from dual"));
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[2], (THighlightSpan{10, 4, K::Keyword}));
}

TEST(FindInText, PlainSearchFoldsCaseAndWraps) {
    const std::string text = "select EMPNO from emp e where e.empno = 1";
    TTextFinder f("empno", {});
    auto m = f.Next(text, 0);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->pos, 7u);
    m = f.Next(text, m->pos + m->length);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->pos, 32u);
    m = f.Next(text, 37);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->pos, 7u) << "wraps to the start";
    EXPECT_FALSE(f.Next(text, 37, false));
    TTextFinder exact("empno", {true, false, false});
    EXPECT_EQ(exact.Next(text, 0)->pos, 32u);
}

TEST(FindInText, WholeWordSkipsPartsOfNames) {
    const std::string text = "emp_no, empno, emp, \xC4mp emp\xE4";
    TTextFinder f("emp", {false, true, false});
    auto all = f.All(text);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].pos, 15u);
    TTextFinder umlaut("\xE4mp", {false, true, false});
    ASSERT_EQ(umlaut.All(text).size(), 1u) << "the upper-case umlaut matches the lower-case one";
}

TEST(FindInText, PreviousGoesBackAndWraps) {
    const std::string text = "a x a x a";
    TTextFinder f("a", {});
    EXPECT_EQ(f.Previous(text, 5)->pos, 4u);
    EXPECT_EQ(f.Previous(text, 4)->pos, 0u) << "the selected place itself is not found again";
    EXPECT_EQ(f.Previous(text, 0)->pos, 8u);
}

TEST(FindInText, RegularExpressionsWithGroupsAndBadPatterns) {
    const std::string text = "col1 = 10, col22 = 7";
    TTextFinder f("(col)(\\d+)", {false, false, true});
    auto all = f.All(text);
    ASSERT_EQ(all.size(), 2u);
    const auto pieces = ParseReplacement("$2_$1$$", true);
    EXPECT_EQ(ExpandReplacement(pieces, all[0], text), "1_col$");
    EXPECT_EQ(ExpandReplacement(pieces, all[1], text), "22_col$");
    EXPECT_THROW(TTextFinder("(unclosed", {false, false, true}), EFindPattern);
    // An expression that matches the empty text finds nothing and does not loop.
    TTextFinder empty("x*", {false, false, true});
    EXPECT_TRUE(empty.All("abc").empty());
    // "^" and "$" are a line's start and end; a match does not run over a line break.
    const std::string lines = "emp x\r\nx emp\r\nemp";
    TTextFinder start("^emp", {false, false, true});
    auto starts = start.All(lines);
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0].pos, 0u);
    EXPECT_EQ(starts[1].pos, 14u);
    TTextFinder end("emp$", {false, false, true});
    auto ends = end.All(lines);
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_EQ(ends[0].pos, 9u);
    TTextFinder across("x\\s+x", {false, false, true});
    EXPECT_TRUE(across.All(lines).empty());
    // A line too long for the matcher is refused with a message, not a crash.
    TTextFinder any(".*", {false, false, true});
    EXPECT_THROW(any.All(std::string(100000, 'a')), EFindPattern);
    // Without regular expressions "$1" is just text.
    EXPECT_EQ(ExpandReplacement(ParseReplacement("$1", false), all[0], text), "$1");
}

TEST(CommentLines, AddsAtTheSmallestIndentAndRemovesAgain) {
    const std::string in = "  select *\r\n\r\n    from emp";
    const std::string commented = ToggleLineComments(in);
    EXPECT_EQ(commented, "  -- select *\r\n\r\n  --   from emp");
    EXPECT_EQ(ToggleLineComments(commented), in);
    // A block with one line that is no comment gets commented as a whole.
    EXPECT_EQ(ToggleLineComments("--a\nb"), "-- --a\n-- b");
    EXPECT_EQ(ToggleLineComments("--a\n  --b"), "a\n  b");
    EXPECT_EQ(ToggleLineComments("\n  \n"), "\n  \n");
}

TEST(CaseOfText, Windows1252Letters) {
    EXPECT_EQ(UpperCase1252("select \xE4\xF6\xFC\xDF \x9A\xFF x"), "SELECT \xC4\xD6\xDC\xDF \x8A\x9F X");
    EXPECT_EQ(LowerCase1252("\xC4\xD7\xDE ABC 1"), "\xE4\xD7\xFE abc 1");
}

TEST(Brackets, MatchSkipsStringsAndComments) {
    const std::string text = "f(a, ')', (b) /* ) */ -- )\n)";
    ASSERT_TRUE(MatchingBracket(text, 1));
    EXPECT_EQ(*MatchingBracket(text, 1), text.size() - 1);
    EXPECT_EQ(*MatchingBracket(text, text.size() - 1), 1u);
    EXPECT_EQ(*MatchingBracket(text, 10), 12u);
    EXPECT_FALSE(MatchingBracket(text, 6)) << "a bracket in a string has no partner";
    EXPECT_FALSE(MatchingBracket("(()", 0));
    EXPECT_FALSE(MatchingBracket("x", 5));
}

} // namespace
