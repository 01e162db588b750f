#include "platform/CProfile.h"

#include "platform/Startup.h"
#include "tests/support/CScratchFolder.h"

#include <gtest/gtest.h>

namespace {

class CProfileTest : public ::testing::Test
{
protected:
    CScratchFolder m_scratch;
    CProfile m_profile{u"Quarrow", m_scratch.Path()};
};

} // namespace

TEST_F(CProfileTest, MissingSettingsGiveTheirDefaults)
{
    EXPECT_EQ(m_profile.GetProfileInt(u"Settings", u"SQLServer2008Check", 0), 0);
    EXPECT_EQ(m_profile.GetProfileInt(u"No\\Such\\Section", u"Entry", -7), -7);
    EXPECT_EQ(m_profile.GetProfileString(u"Export", u"Sep"), u"");
    EXPECT_EQ(m_profile.GetProfileString(u"Export", u"Sep", u","), u",");
    EXPECT_EQ(m_profile.GetProfileInt(u"bad\\\\path", u"Entry", 5), 5);
}

TEST_F(CProfileTest, IntegersReadFromNumbersOnly)
{
    ASSERT_TRUE(m_profile.WriteProfileInt(u"S", u"Negative", -2));
    ASSERT_TRUE(m_profile.WriteProfileInt(u"S", u"Max", 2147483647));
    EXPECT_EQ(m_profile.GetProfileInt(u"S", u"Negative", 0), -2);
    EXPECT_EQ(m_profile.GetProfileInt(u"S", u"Max", 0), 2147483647);
    const std::vector<std::pair<std::u16string, int32_t>> texts = {
        {u"12", 12}, {u"-3", -3}, {u"+4", 4},    {u"", 99},           {u"abc", 99},
        {u"1x", 99}, {u" 1", 99}, {u"0x10", 99}, {u"2147483648", 99}, {u"-2147483648", INT32_MIN},
        {u"١٢", 99}, // digits of another script are not read as a number
    };
    for (const auto& [text, expected] : texts) {
        ASSERT_TRUE(m_profile.WriteProfileString(u"S", u"Text", text));
        EXPECT_EQ(m_profile.GetProfileInt(u"S", u"Text", 99), expected)
            << std::string(text.begin(), text.end());
    }
    // A number is not a string.
    EXPECT_EQ(m_profile.GetProfileString(u"S", u"Max", u"dflt"), u"dflt");
}

TEST_F(CProfileTest, SectionsNestWithBackslashes)
{
    ASSERT_TRUE(m_profile.WriteProfileInt(u"DatabaseSetting\\HOST$*$SQL2\\pubs", u"Used", 1));
    ASSERT_TRUE(m_profile.WriteProfileString(u"DatabaseSetting\\HOST$*$SQL2", u"Note", u"n"));
    EXPECT_EQ(m_profile.GetSubsections(u"DatabaseSetting"),
              std::vector<std::u16string>{u"HOST$*$SQL2"});
    EXPECT_EQ(m_profile.GetSubsections(u"databasesetting\\host$*$sql2"),
              std::vector<std::u16string>{u"pubs"});
    EXPECT_EQ(m_profile.GetProfileInt(u"DATABASESETTING\\host$*$sql2\\PUBS", u"used", 0), 1);
    EXPECT_TRUE(m_profile.DeleteSection(u"DatabaseSetting\\HOST$*$SQL2"));
    EXPECT_FALSE(m_profile.SectionExists(u"DatabaseSetting\\HOST$*$SQL2"));
    EXPECT_TRUE(m_profile.SectionExists(u"DatabaseSetting"));
}

TEST_F(CProfileTest, EachRootHasItsOwnFile)
{
    CProfile other(u"Other", m_scratch.Path());
    ASSERT_TRUE(other.WriteProfileInt(u"Settings", u"SQLServer2008Check", 1));
    EXPECT_EQ(m_profile.GetProfileInt(u"Settings", u"SQLServer2008Check", 0), 0);
    EXPECT_TRUE(std::filesystem::exists(m_scratch / "Other.reg"));
    EXPECT_NE(CScratchFolder::ReadFile(m_scratch / "Other.reg")
                  .find("[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Other\\Settings]"),
              std::string::npos);
}

TEST(CProfileRootTest, RootIsTheExecutableNameWithoutExtension)
{
    const std::vector<std::pair<const char*, std::u16string>> cases = {
        {"/usr/bin/Quarrow", u"Quarrow"}, {"C/Other.exe", u"Other"},
        {"/opt/a.b/Quarrow", u"Quarrow"}, {"quarrow.bin.x", u"quarrow.bin"},
        {"/x/Ünï.exe", u"Ünï"},
    };
    for (const auto& [file, root] : cases)
        EXPECT_EQ(CProfile::RootNameFromFile(file), root) << file;
    EXPECT_EQ(CProfile::ProcessRootName(), u"quarrow_platform_tests");
}

TEST(CProfileRootTest, ProcessProfileLivesInTheConfigFolder)
{
    CScratchFolder scratch;
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_CONFIG_HOME", scratch.Path().c_str(), 1);
        CProfile& profile = CProfile::Process();
        const bool ok = profile.WriteProfileInt(u"Settings", u"SQLServer2008Check", 1) &&
                        &profile == &CProfile::Process();
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(std::filesystem::exists(scratch / "Korvane@Work/quarrow_platform_tests.reg"));
}

TEST(StartupTest, AutomationOptions)
{
    const std::vector<std::pair<std::vector<std::string>, bool>> cases = {
        {{"/Embedding"}, true},
        {{"-Automation"}, true},
        {{"-embedding"}, true},
        {{"x", "/AUTOMATION"}, true},
        {{"Embedding"}, false},
        {{"--Embedding"}, false},
        {{"/Embed"}, false},
        {{"-Automations"}, false},
        {{}, false},
        {{"/"}, false},
    };
    for (const auto& [args, expected] : cases)
        EXPECT_EQ(HasAutomationOption(args), expected) << (args.empty() ? "" : args.back());
    const char* argv[] = {"/Embedding", "-x"};
    EXPECT_FALSE(HasAutomationOption(2, argv)) << "the program name is not an option";
    const char* argv2[] = {"quarrow", "-Automation"};
    EXPECT_TRUE(HasAutomationOption(2, argv2));
}

TEST(StartupTest, HelpPathFollowsTheExecutable)
{
    EXPECT_EQ(HelpPathFromExecutable("/opt/q/Other.exe"), "/opt/q/Other.CHM");
    EXPECT_EQ(HelpPathFromExecutable("/usr/bin/Quarrow"), "/usr/bin/Quarrow.CHM");
    EXPECT_EQ(HelpPathFromExecutable("/opt/q.d/Quarrow"), "/opt/q.d/Quarrow.CHM");
    EXPECT_EQ(HelpPathFromExecutable("/opt/Quarrow.bin"), "/opt/Quarrow.CHM");
    EXPECT_EQ(ExecutablePath().filename(), "quarrow_platform_tests");
}

TEST(StartupTest, ComponentsNoticeShowsOnce)
{
    CScratchFolder scratch;
    CProfile profile(u"Quarrow", scratch.Path());
    EXPECT_TRUE(ClaimComponentsNotice(profile));
    EXPECT_EQ(profile.GetProfileInt(u"Settings", u"SQLServer2008Check", 0), 1);
    EXPECT_FALSE(ClaimComponentsNotice(profile));
    CProfile later(u"Quarrow", scratch.Path());
    EXPECT_FALSE(ClaimComponentsNotice(later));

    ASSERT_TRUE(profile.WriteProfileInt(u"Settings", u"SQLServer2008Check", 2));
    EXPECT_FALSE(ClaimComponentsNotice(profile)) << "only 0 means not shown";
    ASSERT_TRUE(profile.WriteProfileInt(u"Settings", u"SQLServer2008Check", 0));
    EXPECT_TRUE(ClaimComponentsNotice(profile));
}

TEST(StartupTest, ComponentsNoticeShowsOnceAmongCopiesStartingTogether)
{
    CScratchFolder scratch;
    constexpr int kCopies = 4;
    std::vector<pid_t> pids;
    for (int i = 0; i < kCopies; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            CProfile profile(u"Quarrow", scratch.Path());
            _exit(ClaimComponentsNotice(profile) ? 10 : 20);
        }
        pids.push_back(pid);
    }
    int shown = 0;
    for (pid_t pid : pids) {
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        shown += WEXITSTATUS(status) == 10;
    }
    EXPECT_EQ(shown, 1);
}
