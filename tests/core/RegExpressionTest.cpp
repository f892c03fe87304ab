#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <tavrel/core/RegExpression.h>
#include <tavrel/core/RegNumber.h>

using namespace Tavrel;

TEST(RegNumberTest, RecognisesRangeSyntax)
{
    for (const char* good : {"5", "-3", "1-10", "-5--2", "1.5-2.5", "1e-3-2e-3", ">=20", "<0", "1 3,5;7-9", " 4 "})
        EXPECT_TRUE(RegNumber::IsRegNumber(good)) << good;
    for (const char* bad : {"", " ", "C", "1-", "-", "1-2-3", "5x", ">", "<=", "1 - 2", "1e400", "..5"})
        EXPECT_FALSE(RegNumber::IsRegNumber(bad)) << bad;
}

TEST(RegNumberTest, MatchesTheLeadingNumberOfTheText)
{
    const RegNumber range("10-1 15 >100");
    EXPECT_TRUE(range.Match(std::string("1")));
    EXPECT_TRUE(range.Match(std::string(" 10.000")));
    EXPECT_TRUE(range.Match(std::string("7A")));
    EXPECT_TRUE(range.Match(std::string("15")));
    EXPECT_FALSE(range.Match(std::string("14")));
    EXPECT_FALSE(range.Match(std::string("100")));
    EXPECT_TRUE(range.Match(std::string("100.5")));
    EXPECT_FALSE(range.Match(std::string("CA")));
    EXPECT_FALSE(range.Match(std::string("")));

    const RegNumber negative("-5--2");
    EXPECT_TRUE(negative.Match(std::string("-2")));
    EXPECT_FALSE(negative.Match(std::string("-1")));

    const RegNumber invalid("1-");
    EXPECT_FALSE(invalid.IsValid());
    EXPECT_FALSE(invalid.Match(std::string("1")));
}

TEST(RegNumberTest, CopyIsIndependentAndKeepsFlag)
{
    RegNumber original("<=0.5");
    original.SetFlag(true);
    const std::unique_ptr<Pattern<std::string>> copy = original.Copy();
    EXPECT_TRUE(copy->GetFlag());
    EXPECT_TRUE(copy->Match(std::string("0.5")));
    EXPECT_FALSE(copy->Match(std::string("0.51")));
}

TEST(RegExpressionTest, PlainWordsAreNotExpressions)
{
    for (const char* plain : {"C", "Carbon 12", "a{2}", ""})
        EXPECT_FALSE(RegExpression::IsRegExpression(plain)) << plain;
    for (const char* expression : {"C.*", "C[AB]", "N|O", "H\\d+", "(ab)?c", "^CA$", "\\."})
        EXPECT_TRUE(RegExpression::IsRegExpression(expression)) << expression;
    for (const char* bad : {"(", ")", "a|", "|a", "*a", "a(|b)", "[abc", "[z-a]", "a\\", "a^", "$a", "]", "()"})
        EXPECT_FALSE(RegExpression::IsRegExpression(bad)) << bad;
}

TEST(RegExpressionTest, MatchesTheWholeText)
{
    const RegExpression e("C[AB]?\\d*", false);
    EXPECT_TRUE(e.Match(std::string("C")));
    EXPECT_TRUE(e.Match(std::string("CA12")));
    EXPECT_FALSE(e.Match(std::string("CAB")));
    EXPECT_FALSE(e.Match(std::string("xC")));
    EXPECT_FALSE(e.Match(std::string("ca")));

    const RegExpression alternatives("^(N|O)(H+|[^a-z])$", false);
    EXPECT_TRUE(alternatives.Match(std::string("NHH")));
    EXPECT_TRUE(alternatives.Match(std::string("O1")));
    EXPECT_FALSE(alternatives.Match(std::string("Oh")));
    EXPECT_FALSE(alternatives.Match(std::string("N")));

    const RegExpression classes("[]a-]\\s\\w[\\d.]", false);
    EXPECT_TRUE(classes.Match(std::string("] _.")));
    EXPECT_TRUE(classes.Match(std::string("-\tz7")));
}

TEST(RegExpressionTest, FlagIgnoresLetterCase)
{
    const RegExpression e("ca[a-c]", true);
    EXPECT_TRUE(e.Match(std::string("CAB")));
    EXPECT_FALSE(e.Match(std::string("CAB"), false));
    EXPECT_TRUE(e.Copy()->Match(std::string("cAc")));
    // A negated class refuses both cases of the letters it lists.
    const RegExpression notA("x[^a]", true);
    EXPECT_FALSE(notA.Match(std::string("xa")));
    EXPECT_FALSE(notA.Match(std::string("XA")));
    EXPECT_TRUE(notA.Match(std::string("xb")));
    EXPECT_TRUE(notA.Match(std::string("xA"), false));
}

TEST(RegExpressionTest, PathologicalInputStaysLinear)
{
    // Backtracking engines take exponential time here.
    const RegExpression e("(a*)*(a|aa)*b", false);
    const std::string text(20000, 'a');
    EXPECT_FALSE(e.Match(text));
    EXPECT_TRUE(e.Match(text + "b"));

    const std::string deep = std::string(5000, '(') + "a" + std::string(5000, ')');
    EXPECT_TRUE(RegExpression::IsRegExpression(deep));
    EXPECT_TRUE(RegExpression(deep, false).Match(std::string("a")));
    EXPECT_FALSE(RegExpression(std::string(5000, '('), false).Match(std::string("")));
}
