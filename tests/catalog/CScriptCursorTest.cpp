#include "catalog/CScriptCursor.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

struct SRow
{
    std::int64_t m_nKey;
    std::u16string m_strText;
};

// Rows from a vector; counts the texts read and can break after a number of rows.
class CVectorRows : public IScriptRows
{
public:
    CVectorRows(std::vector<SRow> rows, int* textsRead, std::size_t breakAfter = SIZE_MAX)
        : m_rows(std::move(rows)), m_pTextsRead(textsRead), m_nBreakAfter(breakAfter)
    {}

    bool NextKey(std::int64_t& key) override
    {
        if (m_nNext >= m_nBreakAfter) {
            m_bFailed = true;
            return false;
        }
        if (m_nNext >= m_rows.size()) {
            return false;
        }
        key = m_rows[m_nNext++].m_nKey;
        return true;
    }
    bool ReadText(std::u16string& text) override
    {
        ++*m_pTextsRead;
        text = m_rows[m_nNext - 1].m_strText;
        return true;
    }
    bool Failed() const override { return m_bFailed; }

private:
    std::vector<SRow> m_rows;
    int* m_pTextsRead;
    std::size_t m_nBreakAfter;
    std::size_t m_nNext = 0;
    bool m_bFailed = false;
};

TEST(CScriptCursor, FragmentsOfOneKeyAreJoinedAndUnaskedKeysAreNeverRead)
{
    int textsRead = 0;
    CScriptCursor cursor(
        std::make_unique<CVectorRows>(std::vector<SRow>{{1, u"CREATE TABLE [dbo].[T] ("},
                                                        {1, u"\r\n    [a] [int] NOT NULL"},
                                                        {1, u"\r\n)"},
                                                        {2, u"CREATE VIEW v1 AS SELECT 1"},
                                                        {2, u" -- second row of the view"},
                                                        {5, u"CREATE PROCEDURE p AS SELECT 5"},
                                                        {7, u""}},
                                      &textsRead));
    std::u16string script;
    EXPECT_EQ(cursor.Read(1, script), EScriptRead::Found);
    EXPECT_EQ(script, u"CREATE TABLE [dbo].[T] (\r\n    [a] [int] NOT NULL\r\n)");
    // Key 2 is skipped (the search wanted no script of it): its rows are never read.
    EXPECT_EQ(cursor.Read(3, script), EScriptRead::NoScript);
    EXPECT_EQ(script, u"");
    EXPECT_EQ(textsRead, 3);
    EXPECT_EQ(cursor.Read(4, script), EScriptRead::NoScript);
    EXPECT_EQ(cursor.Read(5, script), EScriptRead::Found);
    EXPECT_EQ(script, u"CREATE PROCEDURE p AS SELECT 5");
    EXPECT_FALSE(cursor.AtEnd());
    // An empty definition is a script, empty.
    EXPECT_EQ(cursor.Read(7, script), EScriptRead::Found);
    EXPECT_EQ(script, u"");
    EXPECT_EQ(cursor.Read(8, script), EScriptRead::NoScript);
    EXPECT_TRUE(cursor.AtEnd());
    EXPECT_EQ(textsRead, 5);
}

TEST(CScriptCursor, AKeyAlreadyPassedIsAskedAnotherWay)
{
    int textsRead = 0;
    CScriptCursor cursor(std::make_unique<CVectorRows>(
        std::vector<SRow>{{1, u"a"}, {2, u"b"}, {3, u"c"}}, &textsRead));
    std::u16string script;
    EXPECT_EQ(cursor.Read(2, script), EScriptRead::Found);
    EXPECT_EQ(cursor.Read(2, script), EScriptRead::Passed);
    EXPECT_EQ(cursor.Read(1, script), EScriptRead::Passed);
    EXPECT_EQ(cursor.Read(3, script), EScriptRead::Found);
    EXPECT_EQ(script, u"c");
}

TEST(CScriptCursor, ABrokenStreamFailsItsObjectAndEveryLaterOne)
{
    int textsRead = 0;
    CScriptCursor cursor(std::make_unique<CVectorRows>(
        std::vector<SRow>{{1, u"a"}, {2, u"b1"}, {2, u"b2"}, {3, u"c"}}, &textsRead, 2));
    std::u16string script;
    EXPECT_EQ(cursor.Read(1, script), EScriptRead::Found);
    // The connection drops inside object 2: half a script is no script.
    EXPECT_EQ(cursor.Read(2, script), EScriptRead::Failed);
    EXPECT_EQ(script, u"");
    EXPECT_EQ(cursor.Read(3, script), EScriptRead::Failed);
    EXPECT_TRUE(cursor.HasFailed());
}

TEST(CScriptCursor, AScriptBeyondTheLimitIsRefused)
{
    int textsRead = 0;
    CScriptCursor cursor(std::make_unique<CVectorRows>(
                             std::vector<SRow>{{1, u"12345"}, {1, u"6789"}, {2, u"x"}}, &textsRead),
                         8);
    std::u16string script;
    EXPECT_EQ(cursor.Read(1, script), EScriptRead::Failed);
    EXPECT_EQ(script, u"");
}

TEST(CScriptCursor, UnpairedSurrogatesPassThroughUntouched)
{
    int textsRead = 0;
    const std::u16string odd = {u'a', char16_t(0xD800), u'b', char16_t(0xDC00)};
    CScriptCursor cursor(std::make_unique<CVectorRows>(
        std::vector<SRow>{{1, odd.substr(0, 2)}, {1, odd.substr(2)}}, &textsRead));
    std::u16string script;
    EXPECT_EQ(cursor.Read(1, script), EScriptRead::Found);
    EXPECT_EQ(script, odd);
}

} // namespace
