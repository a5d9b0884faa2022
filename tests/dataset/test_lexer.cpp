#include "dataset/OraParser.h"
#include "dataset/Platform.h"
#include "dataset/QxParser.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Tokens = std::vector<std::pair<int, std::string>>;

Tokens Lex(TParser& p) {
    Tokens out;
    std::string text;
    for (int code; (code = p.GetNextToken(text)) != lxEnd;)
        out.emplace_back(code, text);
    return out;
}

template <class Lexer> Tokens LexText(const std::string& text) {
    Lexer p(text);
    return Lex(p);
}

class DecimalSeparatorScope {
public:
    explicit DecimalSeparatorScope(char c) : saved_(platform::DecimalSeparator()) {
        platform::SetDecimalSeparator(c);
    }
    ~DecimalSeparatorScope() { platform::SetDecimalSeparator(saved_); }

private:
    char saved_;
};

} // namespace

TEST(LexerTables, EachLexerKnowsItsOwnSymbolsAndKeywords) {
    TParser generic("");
    EXPECT_EQ(generic.SymbolCount(), 28);
    EXPECT_EQ(generic.KeywordCount(), 3);
    EXPECT_STREQ(generic.TableEntry(6), "&");
    EXPECT_STREQ(generic.TableEntry(29), "AND");
    EXPECT_EQ(generic.TableEntry(32), nullptr);

    TOraParser ora("");
    EXPECT_EQ(ora.SymbolCount(), 7);
    EXPECT_EQ(ora.KeywordCount(), 30);
    EXPECT_STREQ(ora.TableEntry(opWhere), "WHERE");

    // Every keyword of every table is found by its own text, in any case.
    TBoolParser boolean("");
    for (TParser* p :
         {static_cast<TParser*>(&generic), static_cast<TParser*>(&ora), static_cast<TParser*>(&boolean)}) {
        for (int code = p->SymbolCount() + 1; code <= p->SymbolCount() + p->KeywordCount(); ++code) {
            std::string word = p->TableEntry(code);
            std::string lower = word;
            for (char& c : lower)
                c = char(std::tolower(static_cast<unsigned char>(c)));
            p->SetText(lower);
            std::string text;
            EXPECT_EQ(p->GetNextToken(text), code) << word;
            EXPECT_EQ(text, word);
        }
    }
}

TEST(LexerTokens, TheGenericLexerSplitsSqlText) {
    Tokens t = LexText<TParser>("select a.b, 12 from t where x = 'it''s' and not y // rest\n");
    Tokens expected = {{lxIdent, "select"},   {lxIdent, "a"},   {pcDot, "."},      {lxIdent, "b"},
                       {pcComma, ","},        {lxNumber, "12"}, {lxIdent, "from"}, {lxIdent, "t"},
                       {lxIdent, "where"},    {lxIdent, "x"},   {pcEqual, "="},    {lxString, "it"},
                       {lxString, "s"},       {pcAnd, "AND"},   {pcNot, "NOT"},    {lxIdent, "y"},
                       {lxComment, "// rest"}};
    EXPECT_EQ(t, expected);
}

TEST(LexerTokens, BlanksAndCommentsAreTokensOnlyWhenAsked) {
    TParser p("a /* c\nd */ b -- x");
    p.OmitBlank = false;
    Tokens t = Lex(p);
    Tokens expected = {{lxIdent, "a"}, {lxBlank, " "}, {lxComment, "/* c\nd */"},
                       {lxBlank, " "}, {lxIdent, "b"}, {lxBlank, " "},
                       {pcMinus, "-"}, {pcMinus, "-"}, {lxBlank, " "},
                       {lxIdent, "x"}};
    EXPECT_EQ(t, expected);

    TParser q("a /* c */ b");
    q.OmitComment = true;
    EXPECT_EQ(Lex(q), (Tokens{{lxIdent, "a"}, {lxIdent, "b"}}));
}

TEST(LexerTokens, UnterminatedStringsIdentifiersAndCommentsEndAtTheEnd) {
    EXPECT_EQ(LexText<TParser>("x 'abc"), (Tokens{{lxIdent, "x"}, {lxString, "abc"}}));
    EXPECT_EQ(LexText<TOraParser>("x \"abc"), (Tokens{{lxIdent, "x"}, {lxIdent, "\"abc"}}));
    EXPECT_EQ(LexText<TParser>("x /* abc"), (Tokens{{lxIdent, "x"}, {lxComment, "/* abc"}}));
}

TEST(LexerTokens, QuotesAreKeptOnRequest) {
    TParser p("'a b' \"c\"");
    p.KeepQuotes = true;
    EXPECT_EQ(Lex(p), (Tokens{{lxString, "'a b'"}, {lxString, "\"c\""}}));
}

TEST(LexerTokens, KeywordsKeepTheirCaseWhenUppercasingIsOff) {
    TOraParser p("select x from y");
    p.UppercaseKeywords = false;
    EXPECT_EQ(Lex(p), (Tokens{{opSelect, "select"}, {lxIdent, "x"}, {opFrom, "from"}, {lxIdent, "y"}}));
    EXPECT_EQ(LexText<TOraParser>("select"), (Tokens{{opSelect, "SELECT"}}));
}

TEST(LexerSymbols, LongestMatchWinsAndUnknownRunsComeOneCharacterAtATime) {
    EXPECT_EQ(LexText<TBoolParser>("a>=1 and b<>2 or c<=(3)"), (Tokens{{lxIdent, "a"},
                                                                       {bpGreaterEqual, ">="},
                                                                       {lxNumber, "1"},
                                                                       {bpAnd, "AND"},
                                                                       {lxIdent, "b"},
                                                                       {bpNotEqual, "<>"},
                                                                       {lxNumber, "2"},
                                                                       {bpOr, "OR"},
                                                                       {lxIdent, "c"},
                                                                       {bpLessEqual, "<="},
                                                                       {bpLParen, "("},
                                                                       {lxNumber, "3"},
                                                                       {bpRParen, ")"}}));
    // "(" is not in the Oracle table: unknown symbols come one character at a time.
    EXPECT_EQ(LexText<TOraParser>("(("), (Tokens{{lxSymbol, "("}, {lxSymbol, "("}}));
    // A matched symbol followed by symbol characters that do not extend it.
    EXPECT_EQ(LexText<TBoolParser>("=-1"), (Tokens{{bpEqual, "="}, {bpMinus, "-"}, {lxNumber, "1"}}));
    EXPECT_EQ(LexText<TBoolParser>("='x'"), (Tokens{{bpEqual, "="}, {lxString, "x"}}));
}

TEST(LexerSymbols, TheOracleAssignmentReadsAsColonAndEquals) {
    EXPECT_EQ(LexText<TOraParser>("x := :y"),
              (Tokens{{lxIdent, "x"}, {opColon, ":"}, {opEqual, "="}, {opColon, ":"}, {lxIdent, "y"}}));
}

TEST(LexerIdentifiers, HashAndDollarBelongToOracleIdentifiersOnly) {
    EXPECT_EQ(LexText<TOraParser>("V$X sys#1"), (Tokens{{lxIdent, "V$X"}, {lxIdent, "sys#1"}}));
    EXPECT_EQ(LexText<TParser>("V$X"), (Tokens{{lxIdent, "V"}, {4, "$"}, {lxIdent, "X"}}));
    // As a first character they are symbol characters.
    EXPECT_EQ(LexText<TOraParser>("$a"), (Tokens{{lxSymbol, "$"}, {lxIdent, "a"}}));
    EXPECT_EQ(LexText<TParser>("_a1 \xC4rger"), (Tokens{{lxIdent, "_a1"}, {lxIdent, "\xC4rger"}}));
}

TEST(LexerIdentifiers, OracleQuotedIdentifiersKeepTheirQuotes) {
    EXPECT_EQ(LexText<TOraParser>("select \"My Col\" from t -- c"), (Tokens{{opSelect, "SELECT"},
                                                                            {lxIdent, "\"My Col\""},
                                                                            {opFrom, "FROM"},
                                                                            {lxIdent, "t"},
                                                                            {lxComment, "-- c"}}));
    // "//" is no comment in the Oracle lexer.
    EXPECT_EQ(LexText<TOraParser>("a//b"),
              (Tokens{{lxIdent, "a"}, {opSlash, "/"}, {opSlash, "/"}, {lxIdent, "b"}}));
}

TEST(LexerNumbers, TheDecimalSeparatorFollowsTheLocale) {
    {
        DecimalSeparatorScope german(',');
        EXPECT_EQ(LexText<TBoolParser>("x = 1,5"),
                  (Tokens{{lxIdent, "x"}, {bpEqual, "="}, {lxNumber, "1,5"}}));
        EXPECT_EQ(LexText<TBoolParser>("1.5"), (Tokens{{lxNumber, "1"}, {lxSymbol, "."}, {lxNumber, "5"}}));
    }
    {
        DecimalSeparatorScope english('.');
        EXPECT_EQ(LexText<TBoolParser>("1.5"), (Tokens{{lxNumber, "1.5"}}));
        // A separator not followed by a digit ends the number; there is no sign and no exponent.
        EXPECT_EQ(LexText<TParser>("1. -2e5"),
                  (Tokens{{lxNumber, "1"}, {pcDot, "."}, {pcMinus, "-"}, {lxNumber, "2"}, {lxIdent, "e5"}}));
    }
}

TEST(LexerErrors, ControlCharactersRaiseTheUnknownSymbolError) {
    const std::string bad("a \x01");
    TParser p(bad);
    std::string text;
    EXPECT_EQ(p.GetNextToken(text), lxIdent);
    try {
        p.GetNextToken(text);
        FAIL() << "no error";
    } catch (const EParserError& e) {
        EXPECT_EQ(std::string(e.what()), "Parser: The unknown symbol '\x01'  $01");
    }
    const std::string del("\x7f");
    TOraParser q(del);
    EXPECT_THROW(q.GetNextToken(text), EParserError);
}

TEST(LexerPositions, PositionsLinesAndStepBack) {
    TOraParser p("select a\r\nfrom\rb\n  where");
    std::string text;
    EXPECT_EQ(p.GetNextToken(text), opSelect);
    EXPECT_EQ(p.GetNextToken(text), lxIdent);
    EXPECT_EQ(p.TokenPos(), 6); // the scan began at the blank in front of "a"
    EXPECT_EQ(p.PrevTokenPos(), 0);
    EXPECT_EQ(p.CurrPos(), 8);
    EXPECT_EQ(p.GetNextToken(text), opFrom);
    EXPECT_EQ(p.CurrLine(), 1); // CR LF counts once
    EXPECT_EQ(p.CurrLineStart(), 10);
    EXPECT_EQ(p.GetNextToken(text), lxIdent);
    EXPECT_EQ(p.CurrLine(), 2); // a lone CR
    EXPECT_EQ(p.GetNextToken(text), opWhere);
    EXPECT_EQ(p.CurrLine(), 3); // a lone LF
    EXPECT_EQ(p.CurrPos() - p.CurrLineStart(), 7);
    EXPECT_EQ(p.TokenLine(), 2); // the line where the scan for WHERE began

    p.StepBack();
    EXPECT_EQ(p.CurrLine(), 2);
    EXPECT_EQ(p.GetNextToken(text), opWhere);
    EXPECT_EQ(p.CurrLine(), 3);
    EXPECT_EQ(p.GetNextToken(text), lxEnd);

    p.Reset();
    EXPECT_EQ(p.CurrLine(), 0);
    EXPECT_EQ(p.ToToken(opFrom), opFrom);
    EXPECT_EQ(p.ToToken(opOrder), lxEnd);
}

TEST(LexerPositions, LineBreaksInsideCommentsAndStringsAreCounted) {
    TOraParser p("/* a\nb */ 'x\ny' z");
    std::string text;
    EXPECT_EQ(p.GetNextToken(text), lxComment);
    EXPECT_EQ(p.CurrLine(), 1);
    EXPECT_EQ(p.GetNextToken(text), lxString);
    EXPECT_EQ(text, "x\ny");
    EXPECT_EQ(p.GetNextToken(text), lxIdent);
    EXPECT_EQ(p.CurrLine(), 2);
}

TEST(LexerPositions, TheTextIsReadInPlaceAndCanBeReplaced) {
    std::string sql = "a b";
    TParser p(sql);
    std::string text;
    p.GetNextToken(text);
    p.SetText("c");
    EXPECT_EQ(p.GetNextToken(text), lxIdent);
    EXPECT_EQ(text, "c");
    EXPECT_EQ(p.CurrPos(), 1);
    p.SetText(nullptr);
    EXPECT_EQ(p.GetNextToken(text), lxEnd);
}
