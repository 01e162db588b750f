#include "platform/CShell.h"

#include "tests/support/CScratchFolder.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one test and puts the old value back.
class CEnvironmentVariable
{
public:
    CEnvironmentVariable(const char* name, const std::string& value) : m_name(name)
    {
        const char* old = getenv(name);
        m_bHad = old != nullptr;
        if (old)
            m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~CEnvironmentVariable()
    {
        if (m_bHad)
            setenv(m_name, m_old.c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_bHad = false;
    std::string m_old;
};

class CShellTest : public ::testing::Test
{
protected:
    // A program that writes each argument on a line of its own into log and exits with code.
    fs::path Recorder(const std::string& name, const fs::path& log, int code,
                      const std::string& before = "")
    {
        const fs::path script = m_scratch / name;
        CScratchFolder::WriteFile(
            script, "#!/bin/sh\n" + before + "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" +
                        log.string() + "'; done\nexit " + std::to_string(code) + "\n");
        chmod(script.c_str(), 0700);
        return script;
    }

    // Waits up to two seconds for a program started in the background to write its log.
    static std::string WaitForLog(const fs::path& log)
    {
        for (int i = 0; i < 200 && !fs::exists(log); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return CScratchFolder::ReadFile(log);
    }

    CScratchFolder m_scratch;
};

} // namespace

TEST_F(CShellTest, HandsTheTargetOverAsOneArgument)
{
    const fs::path log = m_scratch / "opened.log";
    CEnvironmentVariable opener("QUARROW_OPENER", Recorder("opener", log, 0).string());
    const std::u16string target = u"/tmp/a b'c\"d;$(touch x)|`e` é.sql";
    EXPECT_GT(CShell::Open(target), 32);
    EXPECT_EQ(CScratchFolder::ReadFile(log), "/tmp/a b'c\"d;$(touch x)|`e` é.sql\n");
    EXPECT_FALSE(fs::exists("x"));

    fs::remove(log);
    EXPECT_GT(CShell::Open(u"-help.sql"), 32);
    EXPECT_EQ(CScratchFolder::ReadFile(log), "./-help.sql\n") << "never read as an option";
}

TEST_F(CShellTest, OpenerExitCodesBecomeShellResults)
{
    const std::vector<std::pair<int, int>> cases = {
        {0, ShellResult::Success},
        {1, ShellResult::AssociationIncomplete},
        {2, ShellResult::FileNotFound},
        {3, ShellResult::NoAssociation},
        {4, ShellResult::AssociationIncomplete},
        {5, ShellResult::AccessDenied},
        {77, ShellResult::AssociationIncomplete},
    };
    for (const auto& [code, result] : cases) {
        CEnvironmentVariable opener(
            "QUARROW_OPENER",
            Recorder("exit" + std::to_string(code), m_scratch / "log", code).string());
        EXPECT_EQ(CShell::Open(u"file.sql"), result) << code;
    }
    CEnvironmentVariable missing("QUARROW_OPENER", (m_scratch / "no-such-opener").string());
    EXPECT_EQ(CShell::Open(u"file.sql"), ShellResult::NoAssociation);
    CScratchFolder::WriteFile(m_scratch / "not-executable", "#!/bin/sh\n");
    CEnvironmentVariable notExecutable("QUARROW_OPENER", (m_scratch / "not-executable").string());
    EXPECT_EQ(CShell::Open(u"file.sql"), ShellResult::AccessDenied);
}

TEST_F(CShellTest, SlowOpenerCountsAsOpened)
{
    CEnvironmentVariable opener("QUARROW_OPENER",
                                Recorder("slow", "/dev/null", 9, "sleep 3\n").string());
    CShell::SetOpenerWait(std::chrono::milliseconds(100));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CShell::Open(u"https://example.org/"), ShellResult::Success);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    CShell::SetOpenerWait(std::chrono::seconds(10));
}

TEST_F(CShellTest, LinkFallsBackToTheBrowser)
{
    const fs::path opened = m_scratch / "opened.log";
    const fs::path browsed = m_scratch / "browsed.log";
    const std::string browser = Recorder("browser", browsed, 0).string();
    {
        CEnvironmentVariable opener("QUARROW_OPENER", Recorder("fails", opened, 3).string());
        CEnvironmentVariable browsers("BROWSER",
                                      "no-such-browser-here %s:" + browser + " --new \"%s\"");
        EXPECT_EQ(CShell::OpenLink(u"https://example.org/a b"), ShellResult::NoAssociation)
            << "the shell's result, whatever the fallback did";
        EXPECT_EQ(WaitForLog(browsed), "--new\nhttps://example.org/a b\n");
        EXPECT_EQ(CScratchFolder::ReadFile(opened), "https://example.org/a b\n");
    }
    fs::remove(browsed);
    {
        CEnvironmentVariable opener("QUARROW_OPENER", Recorder("works", opened, 0).string());
        CEnvironmentVariable browsers("BROWSER", browser);
        EXPECT_EQ(CShell::OpenLink(u"https://example.org/"), ShellResult::Success);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_FALSE(fs::exists(browsed)) << "no fallback after a success";
    }
    {
        CEnvironmentVariable opener("QUARROW_OPENER", Recorder("fails2", opened, 2).string());
        unsetenv("BROWSER");
        EXPECT_EQ(CShell::OpenLink(u"https://example.org/"), ShellResult::FileNotFound);
    }
}

TEST(CShellCommandTest, BrowserCommandIsCutAtItsPlaceholder)
{
    using Args = std::vector<std::string>;
    EXPECT_EQ(CShell::BrowserCommand("firefox", "u"), (Args{"firefox", "u"}));
    EXPECT_EQ(CShell::BrowserCommand("firefox %s", "u"), (Args{"firefox", "u"}));
    EXPECT_EQ(CShell::BrowserCommand("\"/opt/my b/b\" -new \"%1\" -x", "u"),
              (Args{"/opt/my b/b", "-new", "u"}));
    EXPECT_EQ(CShell::BrowserCommand("b -a %1", "u; rm -rf ~"), (Args{"b", "-a", "u; rm -rf ~"}));
    EXPECT_EQ(CShell::BrowserCommand("  ", "u"), (Args{"u"}));
}

TEST(CShellCommandTest, LinkErrorTexts)
{
    const std::vector<std::pair<int, std::u16string>> table = {
        {0, u"The operating system is out\nof memory or resources."},
        {2, u"The specified file was not found."},
        {3, u"The specified path was not found."},
        {5, u"The operating system denied\naccess to the specified file."},
        {8, u"There was not enough memory to complete the operation."},
        {11, u"The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
        {26, u"A sharing violation occurred. "},
        {27, u"The filename association is\nincomplete or invalid."},
        {28, u"The DDE transaction could not\nbe completed because the request timed out."},
        {29, u"The DDE transaction failed."},
        {30, u"The DDE transaction could not\nbe completed because other DDE transactions\n"
             u"were being processed."},
        {31, u"There is no application associated\nwith the given filename extension."},
        {32, u"The specified dynamic-link library was not found."},
        {4, u"Unknown Error (4) occurred."},
        {-1, u"Unknown Error (-1) occurred."},
    };
    for (const auto& [code, text] : table)
        EXPECT_EQ(CShell::LinkErrorText(code), text) << code;
    EXPECT_EQ(CShell::LinkFailureReport(26),
              u"Unable to open hyperlink:\n\nA sharing violation occurred. ");
}
