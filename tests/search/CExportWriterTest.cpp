#include "search/CExportWriter.h"

#include "platform/Utf.h"
#include "tests/support/CScratchFolder.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

using Cells = std::vector<std::u16string>;

class CRows : public IExportRows
{
public:
    explicit CRows(std::vector<Cells> rows) : m_rows(std::move(rows)) {}
    int GetRowCount() override { return static_cast<int>(m_rows.size()); }
    bool GetRowCells(int row, Cells& cells) override
    {
        if (row < 0 || row >= GetRowCount()) {
            return false;
        }
        cells = m_rows[static_cast<std::size_t>(row)];
        return true;
    }

private:
    std::vector<Cells> m_rows;
};

const Cells kTitles = {u"Server", u"Database", u"Type", u"Object", u"Creation Date"};

std::string Export(const std::vector<Cells>& rows, SExportSettings settings,
                   const std::optional<std::vector<int>>& selected = std::nullopt,
                   SExportResult* result = nullptr, const Cells& titles = kTitles)
{
    settings.m_strCharset = "UTF-8";
    CRows source(rows);
    std::ostringstream out;
    SExportResult outcome = ExportItems(out, titles, source, selected, settings);
    if (result != nullptr) {
        *result = outcome;
    }
    return out.str();
}

SExportSettings Separators(std::u16string column, std::u16string row)
{
    SExportSettings settings;
    settings.m_strColumnSeparator = std::move(column);
    settings.m_strRowSeparator = std::move(row);
    return settings;
}

TEST(CExportWriterTest, DefaultExportOfOrdinaryRowsIsUnchanged)
{
    SExportResult result;
    std::string text = Export({{u"SRV", u"pubs", u"View", u"titleview", u"2014-05-15 10:20:00"}},
                              SExportSettings{}, std::nullopt, &result);
    EXPECT_EQ(text, "Server;Database;Type;Object;Creation Date\r\n"
                    "SRV;pubs;View;titleview;2014-05-15 10:20:00\r\n");
    EXPECT_TRUE(result.m_error.IsOk());
    EXPECT_EQ(result.m_nRows, 1);
}

TEST(CExportWriterTest, QuotesOnlyCellsThatNeedIt)
{
    struct
    {
        std::u16string m_strSeparator;
        std::u16string m_strCell;
        std::string m_strExpected;
    } cases[] = {
        {u",", u"a,b", "\"a,b\""},
        {u",", u"say \"hi\"", "\"say \"\"hi\"\"\""}, // a quote alone now quotes too
        {u",", u"two\r\nlines", "\"two\r\nlines\""},
        {u",", u"line\nfeed", "\"line\nfeed\""},
        {u",", u"K@W!@#K@W", "K@W!@#K@W"}, // no marker substitution
        {u",", u"plain", "plain"},
        {u"", u"x", "\"x\""},   // an empty separator quotes every cell
        {u"||", u"a|b", "a|b"}, // the separator as a whole
        {u"||", u"a||b", "\"a||b\""},
        {u"\t", u"tab\there", "\"tab\there\""},
    };
    for (const auto& c : cases) {
        CExportWriter writer(Separators(c.m_strSeparator, u"\n"), {u"A"});
        EXPECT_EQ(quarrow::ToUtf8(writer.FormatCell(c.m_strCell)), c.m_strExpected)
            << quarrow::ToUtf8(c.m_strCell);
    }
}

TEST(CExportWriterTest, EmptySeparatorRunsQuotedCellsTogether)
{
    std::string text =
        Export({{u"a", u"b"}}, Separators(u"", u"\n"), std::nullopt, nullptr, {u"X", u"Y"});
    EXPECT_EQ(text, "\"X\"\"Y\"\n\"a\"\"b\"\n");
}

TEST(CExportWriterTest, HeaderTitlesAreQuotedLikeCells)
{
    std::string text =
        Export({}, Separators(u" ", u"\n"), std::nullopt, nullptr, {u"Creation Date", u"Type"});
    EXPECT_EQ(text, "\"Creation Date\" Type\n");
}

TEST(CExportWriterTest, SelectedRowsOnlyInTheGivenOrder)
{
    std::vector<Cells> rows = {{u"r0"}, {u"r1"}, {u"r2"}};
    SExportResult result;
    EXPECT_EQ(Export(rows, Separators(u",", u"\n"), std::vector<int>{2, 0}, &result, {u"T"}),
              "T\nr2\nr0\n");
    EXPECT_EQ(result.m_nRows, 2);
    EXPECT_EQ(Export(rows, Separators(u",", u"\n"), std::vector<int>{}, &result, {u"T"}), "T\n");
    EXPECT_EQ(result.m_nRows, 0);
}

TEST(CExportWriterTest, ColumnMapping)
{
    std::vector<Cells> rows = {{u"s", u"d", u"t", u"o", u"c"}};
    struct
    {
        Cells m_columns;
        std::string m_strExpected;
    } cases[] = {
        {kTitles, "Server,Database,Type,Object,Creation Date\ns,d,t,o,c\n"},
        {{u"Object", u"Server"}, "Object,Server\no,s\n"},
        {{u"Object", u"Object", u"Type"}, "Object,Object,Type\no,,t\n"},
        {{u"Object", u"Missing"}, "Object,Missing\no\n"}, // a trailing gap shortens the line
        {{u"Missing", u"Type"}, "Missing,Type\n,t\n"},
        {{u"server"}, "server\n\n"}, // titles compare with case
    };
    for (const auto& c : cases) {
        SExportSettings settings = Separators(u",", u"\n");
        settings.m_columns = c.m_columns;
        EXPECT_EQ(Export(rows, settings), c.m_strExpected);
    }
}

TEST(CExportWriterTest, EightBitTextInTheCharacterSet)
{
    EXPECT_EQ(CExportWriter::Encode(u"Caf\u00e9 \u20ac", true, "ISO-8859-1"), "Caf\xe9 ?");
    EXPECT_EQ(CExportWriter::Encode(u"Caf\u00e9 \u20ac", true, "ISO-8859-15"), "Caf\xe9 \xa4");
    EXPECT_EQ(CExportWriter::Encode(u"\U0001F600x", true, "ASCII"), "?x");
    EXPECT_EQ(CExportWriter::Encode(u"Caf\u00e9", true, "UTF-8"), "Caf\xc3\xa9");
    std::string wide = CExportWriter::Encode(u"A\u00e9", false);
    ASSERT_EQ(wide.size(), 4U);
    EXPECT_EQ(wide[0], 'A');
    EXPECT_EQ(static_cast<unsigned char>(wide[2]), 0xe9);
}

TEST(CExportWriterTest, StopQuestionAndProgress)
{
    CRows rows({{u"a"}, {u"b"}, {u"c"}});
    std::ostringstream out;
    int asked = 0;
    std::vector<std::int64_t> progress;
    SExportHooks hooks;
    hooks.m_shouldStop = [&] { return ++asked == 3; };
    hooks.m_progress = [&](std::int64_t done, std::int64_t total) {
        EXPECT_EQ(total, 3);
        progress.push_back(done);
    };
    SExportSettings settings = Separators(u",", u"\n");
    settings.m_strCharset = "UTF-8";
    SExportResult result = ExportItems(out, {u"T"}, rows, std::nullopt, settings, hooks);
    EXPECT_EQ(out.str(), "T\na\nb\n");
    EXPECT_EQ(result.m_nRows, 2);
    EXPECT_EQ(progress, (std::vector<std::int64_t>{1, 2}));
}

TEST(CExportWriterTest, FileErrorsComeBackAsValues)
{
    CScratchFolder scratch;
    CRows rows({{u"a"}});
    SExportResult result = ExportItems((scratch / "no/such/folder/x.csv").string(), {u"T"}, rows,
                                       std::nullopt, SExportSettings{});
    EXPECT_FALSE(result.m_error.IsOk());
    EXPECT_EQ(result.m_error.m_nErrno, ENOENT);
    EXPECT_FALSE(result.m_error.m_strText.empty());

    SExportSettings settings;
    settings.m_strCharset = "UTF-8";
    result = ExportItems((scratch / "x.csv").string(), {u"T"}, rows, std::nullopt, settings);
    EXPECT_TRUE(result.m_error.IsOk());
    EXPECT_EQ(CScratchFolder::ReadFile(scratch / "x.csv"), "T\r\na\r\n");

    // A full device: the error reaches the caller.
    if (std::filesystem::exists("/dev/full")) {
        std::vector<Cells> many(20000, Cells{u"0123456789abcdef"});
        CRows big(many);
        result = ExportItems(std::string("/dev/full"), {u"T"}, big, std::nullopt, settings);
        EXPECT_EQ(result.m_error.m_nErrno, ENOSPC);
    }
}

} // namespace
