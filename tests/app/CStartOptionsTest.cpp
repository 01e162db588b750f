// What Quarrow does with its command line before any window: --help and --version end the
// program at once, everything else opens the window.

#include "app/CStartOptions.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sstream>

namespace {

using EAction = CStartOptions::EAction;

struct SCase
{
    std::vector<std::string> m_args;
    EAction m_eAction;
};

} // namespace

TEST(CStartOptionsTest, ActionOfTheCommandLine)
{
    const SCase kCases[] = {
        {{}, EAction::Run},
        {{"--help"}, EAction::Help},
        {{"-h"}, EAction::Help},
        {{"--version"}, EAction::Version},
        // The first of them decides.
        {{"--version", "--help"}, EAction::Version},
        {{"-platform", "offscreen", "--help"}, EAction::Help},
        // Automation starts and Qt's options open the window.
        {{"-Embedding"}, EAction::Run},
        {{"/Automation"}, EAction::Run},
        {{"-platform", "offscreen"}, EAction::Run},
        // Near misses are not taken for them.
        {{"--helpme"}, EAction::Run},
        {{"-help"}, EAction::Run},
        {{"--Version"}, EAction::Run},
        {{"--version=1"}, EAction::Run},
        // After "--" nothing is an option.
        {{"--", "--help"}, EAction::Run},
    };
    for (const SCase& test : kCases) {
        std::string strArgs;
        for (const std::string& strArg : test.m_args)
            strArgs += strArg + ' ';
        EXPECT_EQ(CStartOptions::ActionOf(test.m_args), test.m_eAction) << strArgs;
    }
}

TEST(CStartOptionsTest, TextsNameTheProgramAndItsOptions)
{
    EXPECT_TRUE(CStartOptions::Version().starts_with("Quarrow "));
    EXPECT_TRUE(CStartOptions::Version().ends_with("\n"));
    const std::string strUsage = CStartOptions::Usage();
    EXPECT_TRUE(strUsage.starts_with("Usage: Quarrow [OPTION]...\n"));
    for (const char* pszOption : {"--help", "--version", "-Embedding", "-Automation"})
        EXPECT_NE(strUsage.find(pszOption), std::string::npos) << pszOption;
}

TEST(CStartOptionsTest, ManPageListsTheOptionsOfTheHelp)
{
    const char* pszSource = std::getenv("QUARROW_SOURCE_DIR");
    ASSERT_NE(pszSource, nullptr);
    std::ifstream page(std::filesystem::path(pszSource) / "dist/man/quarrow.1");
    ASSERT_TRUE(page.is_open());
    // Option names: in the help's option lines, and in the man page's tags (".TP" then a
    // line of names written with "\-").
    static const std::regex kHelpName(R"((?:^ +|, )(--?[A-Za-z]+))");
    static const std::regex kManName(R"(\\-(?:\\-)?([A-Za-z]+))");
    std::set<std::string> help;
    std::istringstream usage(CStartOptions::Usage());
    for (std::string strLine; std::getline(usage, strLine);) {
        const std::size_t nFirst = strLine.find_first_not_of(' ');
        if (nFirst < 2 || nFirst > 6 || strLine[nFirst] != '-')
            continue;
        const std::string strNames = strLine.substr(0, strLine.find("  ", nFirst));
        for (auto it = std::sregex_iterator(strNames.begin(), strNames.end(), kHelpName);
             it != std::sregex_iterator(); ++it) {
            help.insert((*it)[1]);
        }
    }
    std::set<std::string> man;
    bool bInOptions = false;
    bool bTag = false;
    for (std::string strLine; std::getline(page, strLine);) {
        if (strLine.starts_with(".SH"))
            bInOptions = strLine == ".SH OPTIONS";
        else if (bInOptions && strLine == ".TP")
            bTag = true;
        else if (bTag) {
            for (auto it = std::sregex_iterator(strLine.begin(), strLine.end(), kManName);
                 it != std::sregex_iterator(); ++it) {
                const std::string strMatch = (*it)[0];
                man.insert((strMatch.size() > 3 && strMatch[2] == '\\' ? "--" : "-") +
                           std::string((*it)[1]));
            }
            bTag = false;
        }
    }
    EXPECT_GE(help.size(), 5u);
    EXPECT_EQ(help, man);
}
