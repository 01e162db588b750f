// quarrow-find's --help against the parser, the man page and the zsh completion: every option
// listed is accepted, and the three lists name the same options.

#include "cli/CFindOptions.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct SHelpLine
{
    std::vector<std::string> m_names; // "-h", "--help"
    std::string m_strValue;           // "DATE", or empty
    std::string m_strLine;
};

std::vector<std::string> Lines(const std::string& strText)
{
    std::vector<std::string> lines;
    std::istringstream in(strText);
    for (std::string strLine; std::getline(in, strLine);)
        lines.push_back(strLine);
    return lines;
}

// The option lines of the help: indented, starting with '-'.
std::vector<SHelpLine> HelpLines()
{
    static const std::regex kLine(R"(^ {2,6}(-[^ ,]+)(?:, (--[^ ]+))?(?: ([^ ]+))?  +\S.*)");
    std::vector<SHelpLine> result;
    for (const std::string& strLine : Lines(FindUsage())) {
        std::smatch match;
        if (!std::regex_match(strLine, match, kLine))
            continue;
        SHelpLine line;
        line.m_names.push_back(match[1]);
        if (match[2].matched)
            line.m_names.push_back(match[2]);
        line.m_strValue = match[3];
        line.m_strLine = strLine;
        result.push_back(line);
    }
    return result;
}

std::set<std::string> HelpOptions()
{
    std::set<std::string> options;
    for (const SHelpLine& line : HelpLines())
        options.insert(line.m_names.begin(), line.m_names.end());
    return options;
}

std::string ReadSource(const std::string& strRelative)
{
    const char* pszSource = std::getenv("QUARROW_SOURCE_DIR");
    if (pszSource == nullptr)
        return {};
    std::ifstream in(std::filesystem::path(pszSource) / strRelative);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Join(const std::set<std::string>& items)
{
    std::string strResult;
    for (const std::string& strItem : items)
        strResult += strItem + ' ';
    return strResult;
}

} // namespace

TEST(FindHelpTest, EveryOptionHasOneLineInTheColumns)
{
    for (const std::string& strLine : Lines(FindUsage()))
        EXPECT_LE(strLine.size(), 79u) << strLine;
    const std::vector<SHelpLine> lines = HelpLines();
    ASSERT_GE(lines.size(), 20u);
    for (const SHelpLine& line : lines) {
        SCOPED_TRACE(line.m_strLine);
        EXPECT_LE(line.m_strLine.size(), 79u);
        // Short options at column 2, long-only ones at 6, every meaning at column 30 unless
        // the option reaches past it.
        const std::size_t nOption = line.m_strLine.find('-');
        EXPECT_EQ(nOption, line.m_names.front().starts_with("--") ? 6u : 2u);
        const std::size_t nOptionEnd = line.m_strLine.find("  ", nOption);
        const std::size_t nMeaning = line.m_strLine.find_first_not_of(' ', nOptionEnd);
        EXPECT_EQ(nMeaning, nOptionEnd + 2 > 30 ? nOptionEnd + 2 : 30u);
    }
    // Each option is described once.
    std::size_t nNames = 0;
    for (const SHelpLine& line : lines)
        nNames += line.m_names.size();
    EXPECT_EQ(HelpOptions().size(), nNames);
}

TEST(FindHelpTest, EveryListedOptionIsAccepted)
{
    // A value of the kind each placeholder names.
    const std::map<std::string, std::string> kSamples = {
        {"SERVER", "demo.qcat"}, {"DATABASE", "Sales"}, {"LOGIN", "sa"}, {"TEXT", "BEGIN"},
        {"NAME", "Orders"},      {"TYPE", "View"},      {"N", "5"},      {"DATE", "2020-02-29"},
        {"FORMAT", "jsonl"},     {"MODE", "require"},
    };
    // Options that only make sense beside another one.
    const std::map<std::string, std::vector<std::string>> kCompanions = {
        {"--context", {"--format", "lines", "-t", "BEGIN"}},
    };
    for (const SHelpLine& line : HelpLines()) {
        for (const std::string& strName : line.m_names) {
            SCOPED_TRACE(line.m_strLine);
            std::vector<std::string> args{strName};
            if (!line.m_strValue.empty()) {
                const auto sample = kSamples.find(line.m_strValue);
                ASSERT_NE(sample, kSamples.end()) << "no sample for " << line.m_strValue;
                args.push_back(sample->second);
            }
            if (const auto companion = kCompanions.find(strName); companion != kCompanions.end()) {
                args.insert(args.end(), companion->second.begin(), companion->second.end());
            }
            SFindOptions options;
            std::string strError;
            EXPECT_TRUE(ParseFindOptions(args, options, strError)) << strError;
            // An option that takes a value refuses to go without one.
            if (!line.m_strValue.empty()) {
                EXPECT_FALSE(ParseFindOptions({strName}, options, strError));
                EXPECT_NE(strError.find(strName), std::string::npos) << strError;
            }
        }
    }
}

TEST(FindHelpTest, VersionIsAnOptionOfItsOwn)
{
    SFindOptions options;
    std::string strError;
    ASSERT_TRUE(ParseFindOptions({"--version"}, options, strError)) << strError;
    EXPECT_TRUE(options.m_bVersion);
    EXPECT_FALSE(options.m_bHelp);
    EXPECT_FALSE(ParseFindOptions({"--version=2"}, options, strError));
    EXPECT_EQ(strError, "--version takes no value");
    EXPECT_FALSE(ParseFindOptions({"--versions"}, options, strError));
    EXPECT_TRUE(std::string(FindVersion()).starts_with("quarrow-find (Quarrow) "));
}

TEST(FindHelpTest, ManPageListsTheSameOptions)
{
    const std::string strPage = ReadSource("dist/man/quarrow-find.1");
    ASSERT_FALSE(strPage.empty()) << "dist/man/quarrow-find.1 is not readable";
    // The tagged paragraphs of the OPTIONS section: ".TP" and then ".B", ".BI" or ".BR" with
    // the option names, written with "\-".
    std::set<std::string> options;
    bool bInOptions = false;
    bool bTag = false;
    static const std::regex kName(R"(^(?:\\-){1,2}[A-Za-z][-A-Za-z\\]*$)");
    for (const std::string& strLine : Lines(strPage)) {
        if (strLine.starts_with(".SH")) {
            bInOptions = strLine == ".SH OPTIONS";
            continue;
        }
        if (!bInOptions)
            continue;
        if (strLine == ".TP") {
            bTag = true;
            continue;
        }
        if (bTag) {
            std::istringstream words(strLine);
            std::string strWord;
            words >> strWord; // the macro
            while (words >> strWord) {
                if (!std::regex_match(strWord, kName))
                    continue;
                std::string strName;
                for (std::size_t i = 0; i < strWord.size(); ++i) {
                    if (strWord[i] != '\\')
                        strName += strWord[i];
                }
                options.insert(strName);
            }
        }
        bTag = false;
    }
    EXPECT_EQ(Join(options), Join(HelpOptions()));
}

TEST(FindHelpTest, ZshCompletionListsTheSameOptions)
{
    const std::string strScript = ReadSource("dist/completion/_quarrow-find");
    ASSERT_FALSE(strScript.empty()) << "dist/completion/_quarrow-find is not readable";
    // Option entries: "'-S[...", "'(...)--size[...", "{-h,--help}'[...".
    static const std::regex kOptionEntry(R"((?:['*)]|\{|,)(--?[A-Za-z][-A-Za-z]*)(?=[\[,}]))");
    std::set<std::string> options;
    for (const std::string& strLine : Lines(strScript)) {
        for (auto it = std::sregex_iterator(strLine.begin(), strLine.end(), kOptionEntry);
             it != std::sregex_iterator(); ++it) {
            options.insert((*it)[1]);
        }
    }
    EXPECT_EQ(Join(options), Join(HelpOptions()));
}
