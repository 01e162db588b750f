#include "search/CRegCode.h"
#include "search/CRegPattern.h"
#include "search/CRegValidator.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using A = CRegProgramAccessor;

std::vector<int> Chain(const char16_t* node)
{
    std::vector<int> ops;
    for (; node != nullptr && ops.size() < 64; node = A::Next(node))
        ops.push_back(A::Op(node));
    return ops;
}

TEST(CRegCompilerTest, LiteralRunBacksOffBeforeAStar)
{
    CRegCode code;
    ASSERT_TRUE(code.regcomp(u"abc*"));
    const char16_t* program = code.GetProgram();
    EXPECT_EQ(program[0], kRegMagic);
    EXPECT_EQ(code.GetProgramLength(), 21);

    const char16_t* branch = program + 1;
    EXPECT_EQ(A::Op(branch), RegOp::Branch);
    EXPECT_EQ(branch[2], 0);
    const char16_t* literal = A::Operand(branch);
    ASSERT_EQ(A::Op(literal), RegOp::Literal);
    EXPECT_EQ(std::u16string(A::Operand(literal)), u"ab");
    const char16_t* star = A::Next(literal);
    ASSERT_EQ(A::Op(star), RegOp::Star);
    const char16_t* operand = A::Operand(star);
    EXPECT_EQ(A::Op(operand), RegOp::Literal);
    EXPECT_EQ(std::u16string(A::Operand(operand)), u"c");
    EXPECT_EQ(A::Next(operand), nullptr);
    EXPECT_EQ(A::Op(A::Next(star)), RegOp::End);
    EXPECT_EQ(A::Next(branch), A::Next(star));
}

TEST(CRegCompilerTest, GroupStarLoopsBackwards)
{
    CRegCode code;
    ASSERT_TRUE(code.regcomp(u"(ab)*c"));
    const char16_t* loop = A::Operand(code.GetProgram() + 1);
    ASSERT_EQ(A::Op(loop), RegOp::Branch);
    // The loop: Branch(Open 1 ... Close 1, Back) Branch(Nothing), then the literal.
    EXPECT_EQ(Chain(loop), (std::vector<int>{RegOp::Branch, RegOp::Branch, RegOp::Nothing,
                                             RegOp::Literal, RegOp::End}));
    // The body runs through the group to Back, which leads to the loop again.
    EXPECT_EQ(Chain(A::Operand(loop)),
              (std::vector<int>{RegOp::Open + 1, RegOp::Branch, RegOp::Close + 1, RegOp::Back,
                                RegOp::Branch, RegOp::Branch, RegOp::Nothing, RegOp::Literal,
                                RegOp::End}));
    // Back's offset points to the first Branch of the loop.
    const char16_t* back = A::Operand(loop);
    while (A::Op(back) != RegOp::Back)
        back = A::Next(back);
    EXPECT_GT(A::Offset(back), 0);
    EXPECT_EQ(A::Next(back), loop);
}

TEST(CRegCompilerTest, BothPassesCountTheSameLength)
{
    const char16_t* patterns[] = {u"",           u"a",        u"abc*",          u"(a|b)*c",
                                  u"x(y)?z",     u"(ab)+",    u"[^a-z0-9_]+",   u"\\<w\\>",
                                  u"^sp_.*$",    u"a|b|c|",   u"((a)(b))?c*d+", u"[]-a]x\\.y",
                                  u"(a(b(c)))+", u"a\\*b\\<c"};
    for (const char16_t* p : patterns) {
        CRegValidator validator(p);
        int flags = 0;
        ASSERT_NE(validator.ParsePattern(&flags), nullptr);
        CRegCode code;
        ASSERT_TRUE(code.regcomp(p));
        EXPECT_EQ(code.GetProgramLength(), validator.GetLength());
    }
}

TEST(CRegCompilerTest, TooBigAtTheLimit)
{
    // Branch, AnyOf, the members and their 0, End: 1 + 3 + 3 + n + 1 + 3 units.
    auto rangePattern = [](char16_t to) {
        std::u16string p = u"[";
        p += char16_t(1);
        p += u'-';
        p += to;
        p += u']';
        return p;
    };
    CRegCode fits;
    EXPECT_TRUE(fits.regcomp(rangePattern(char16_t(1 + 32766 - 11 - 1)).c_str()));
    EXPECT_EQ(fits.GetProgramLength(), 32766);
    CRegCode tooBig;
    EXPECT_FALSE(tooBig.regcomp(rangePattern(char16_t(1 + 32766 - 11)).c_str()));
    EXPECT_EQ(tooBig.GetErrorText(), u"regexp too big");
    EXPECT_EQ(tooBig.GetProgram(), nullptr);
    EXPECT_FALSE(tooBig.regexec(u"a"));
    EXPECT_EQ(tooBig.GetErrorText(), u"corrupted regexp");
}

TEST(CRegCompilerTest, NullArguments)
{
    CRegCode code;
    EXPECT_FALSE(code.regcomp(nullptr));
    EXPECT_EQ(code.GetErrorText(), u"NULL argument to regcomp");
    ASSERT_TRUE(code.regcomp(u"a"));
    EXPECT_FALSE(code.regexec(nullptr));
    EXPECT_EQ(code.GetErrorText(), u"NULL argument to regexec");
}

TEST(CRegCompilerTest, ErrorTable)
{
    EXPECT_EQ(CRegErrorHandler::TextOf(20), u"internal error: \\0|) unexpected");
    EXPECT_EQ(CRegErrorHandler::TextOf(5), u"internal error: bad call of regrepeat");
    EXPECT_EQ(CRegErrorHandler::TextOf(15), u"internal error: junk on end");
    EXPECT_EQ(CRegErrorHandler::TextOf(23), u"Unknown error");
    EXPECT_EQ(CRegErrorHandler::TextOf(0), u"Unknown error");
}

struct SHintCase
{
    std::u16string pattern;
    char16_t first;
    bool anchored;
    std::u16string must; // empty: none
};

class CRegHintTest : public testing::TestWithParam<SHintCase>
{
};

TEST_P(CRegHintTest, CollectsHints)
{
    const SHintCase& c = GetParam();
    CRegCode code;
    ASSERT_TRUE(code.regcomp(c.pattern.c_str()));
    EXPECT_EQ(code.GetFirstChar(), c.first);
    EXPECT_EQ(code.IsAnchored(), c.anchored);
    if (c.must.empty()) {
        EXPECT_EQ(code.GetRequiredLiteral(), nullptr);
    } else {
        ASSERT_NE(code.GetRequiredLiteral(), nullptr);
        EXPECT_EQ(std::u16string(code.GetRequiredLiteral(), code.GetRequiredLength()), c.must);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, CRegHintTest,
    testing::Values(SHintCase{u"abc", u'a', false, u""}, SHintCase{u"^abc", 0, true, u""},
                    SHintCase{u"a|b", 0, false, u""}, SHintCase{u"(abc)", 0, false, u""},
                    // A leading repetition asks for the longest literal; a later one wins a tie.
                    SHintCase{u"x*abcd*ef", 0, false, u"abc"},
                    SHintCase{u"x*ab.cd", 0, false, u"cd"}, SHintCase{u"(ab)+cd", 0, false, u"cd"},
                    // '?' leaves no SPSTART, so no required literal.
                    SHintCase{u"x?abc", 0, false, u""}, SHintCase{u"a*", 0, false, u""},
                    SHintCase{u"foo.*bar", u'f', false, u""}));

TEST(CRegCompilerTest, RequiredLiteralRejectsWithoutAttempts)
{
    CRegCode code;
    ASSERT_TRUE(code.regcomp(u"x*needle"));
    EXPECT_FALSE(code.regexec(u"haystack with needl"));
    EXPECT_TRUE(code.regexec(u"xxneedle"));
    EXPECT_EQ(code.GetStart(0) != nullptr, true);
}

} // namespace
