// The bus activation file: where it goes, how the executable is written into it, and that a
// write replaces the file whole or leaves it alone.

#include "app/CActivationFile.h"

#include "tests/support/CScratchFolder.h"

#include <cerrno>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>

namespace {

struct SExecCase
{
    const char* pszExecutable;
    const char* pszExec; // null: refused
};

class CActivationFileExecTest : public ::testing::TestWithParam<SExecCase>
{
};

TEST_P(CActivationFileExecTest, FormatsOrRefuses)
{
    const SExecCase& test = GetParam();
    std::string strExec = "unchanged";
    const bool bOk = CActivationFile::FormatExec(test.pszExecutable, strExec);
    if (test.pszExec == nullptr) {
        EXPECT_FALSE(bOk);
        EXPECT_EQ(strExec, "unchanged");
    } else {
        EXPECT_TRUE(bOk);
        EXPECT_EQ(strExec, test.pszExec);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, CActivationFileExecTest,
    ::testing::Values(
        SExecCase{"/usr/bin/Quarrow", "/usr/bin/Quarrow -Embedding"},
        SExecCase{"/opt/q-1.0/bin+x/Quarrow_%v", "/opt/q-1.0/bin+x/Quarrow_%v -Embedding"},
        SExecCase{"/home/ann/my apps/Quarrow", "\"/home/ann/my apps/Quarrow\" -Embedding"},
        SExecCase{"/a/it's/Q", "\"/a/it's/Q\" -Embedding"},
        SExecCase{"/a/R&D (old)/Q", "\"/a/R&D (old)/Q\" -Embedding"},
        // Escaped for the quoting, then every backslash doubled for the string value.
        SExecCase{"/a/$HOME/Q", R"("/a/\\$HOME/Q" -Embedding)"},
        SExecCase{"/a/say \"hi\"/Q", R"("/a/say \\"hi\\"/Q" -Embedding)"},
        SExecCase{"/a/back\\slash/`x`", R"("/a/back\\\\slash/\\`x\\`" -Embedding)"},
        SExecCase{"/home/ann/Kvarn\xc3\xb6/Quarrow", "/home/ann/Kvarn\xc3\xb6/Quarrow -Embedding"},
        SExecCase{"Quarrow", nullptr}, SExecCase{"bin/Quarrow", nullptr}, SExecCase{"", nullptr},
        SExecCase{"/a/two\nlines/Q", nullptr}, SExecCase{"/a/tab\there/Q", nullptr},
        SExecCase{"/a/cr\r/Q", nullptr}));

TEST(CActivationFileTest, ContentsNameTheServiceAndTheCommand)
{
    EXPECT_EQ(CActivationFile::Contents("/opt/my apps/Quarrow"),
              "[D-BUS Service]\nName=Quarrow.Application\n"
              "Exec=\"/opt/my apps/Quarrow\" -Embedding\n");
    EXPECT_EQ(CActivationFile::Contents("relative/Quarrow"), "");
}

// Sets or unsets an environment variable for one scope.
class CEnvironment
{
public:
    CEnvironment(const char* pszName, const char* pszValue) : m_strName(pszName)
    {
        if (const char* pszOld = std::getenv(pszName))
            m_old = pszOld;
        if (pszValue != nullptr)
            setenv(pszName, pszValue, 1);
        else
            unsetenv(pszName);
    }
    ~CEnvironment()
    {
        if (m_old)
            setenv(m_strName.c_str(), m_old->c_str(), 1);
        else
            unsetenv(m_strName.c_str());
    }
    CEnvironment(const CEnvironment&) = delete;
    CEnvironment& operator=(const CEnvironment&) = delete;

private:
    std::string m_strName;
    std::optional<std::string> m_old;
};

TEST(CActivationFileTest, DefaultPathFollowsDataHome)
{
    struct SCase
    {
        const char* pszDataHome;
        const char* pszHome;
        const char* pszExpected;
    };
    const SCase cases[] = {
        {"/data", "/home/ann", "/data/dbus-1/services/Quarrow.Application.service"},
        {nullptr, "/home/ann",
         "/home/ann/.local/share/dbus-1/services/Quarrow.Application.service"},
        {"", "/home/ann", "/home/ann/.local/share/dbus-1/services/Quarrow.Application.service"},
        {"relative/data", "/home/ann",
         "/home/ann/.local/share/dbus-1/services/Quarrow.Application.service"},
        {nullptr, nullptr, ""},
        {"relative", "also/relative", ""},
    };
    for (const SCase& test : cases) {
        CEnvironment data("XDG_DATA_HOME", test.pszDataHome);
        CEnvironment home("HOME", test.pszHome);
        EXPECT_EQ(CActivationFile::DefaultPath().native(), test.pszExpected)
            << (test.pszDataHome ? test.pszDataHome : "(unset)");
    }
}

mode_t Mode(const std::filesystem::path& path)
{
    struct stat info
    {
    };
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

std::size_t CountEntries(const std::filesystem::path& folder)
{
    std::size_t nCount = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++nCount;
    return nCount;
}

TEST(CActivationFileTest, WriteMakesFoldersAndReplacesAnOldFile)
{
    CScratchFolder scratch;
    const std::filesystem::path file = scratch / "data/dbus-1/services/Quarrow.Application.service";

    ASSERT_EQ(CActivationFile::Write(file, "/usr/bin/Quarrow"), 0);
    EXPECT_EQ(CScratchFolder::ReadFile(file), CActivationFile::Contents("/usr/bin/Quarrow"));
    EXPECT_EQ(Mode(file), 0644u);
    EXPECT_EQ(Mode(scratch / "data/dbus-1/services"), 0700u);
    EXPECT_EQ(Mode(scratch / "data"), 0700u);

    // A longer old text must not leave a tail behind.
    CScratchFolder::WriteFile(file, std::string(500, 'x'));
    ASSERT_EQ(CActivationFile::Write(file, "/opt/new place/Quarrow"), 0);
    EXPECT_EQ(CScratchFolder::ReadFile(file), CActivationFile::Contents("/opt/new place/Quarrow"));
    EXPECT_EQ(CountEntries(file.parent_path()), 1u) << "a temporary file was left behind";
}

TEST(CActivationFileTest, FailedWriteLeavesTheOldFile)
{
    CScratchFolder scratch;
    const std::filesystem::path folder = scratch / "services";
    const std::filesystem::path file = folder / "Quarrow.Application.service";
    std::filesystem::create_directories(folder);
    CScratchFolder::WriteFile(file, "old");

    // An executable the file cannot carry.
    EXPECT_EQ(CActivationFile::Write(file, "/a/two\nlines"), EINVAL);
    EXPECT_EQ(CScratchFolder::ReadFile(file), "old");

    // A file where a folder should be.
    CScratchFolder::WriteFile(scratch / "plain", "");
    EXPECT_EQ(CActivationFile::Write(scratch / "plain/Quarrow.Application.service", "/usr/bin/Q"),
              ENOTDIR);

    // A folder the user may not write to.
    ::chmod(folder.c_str(), 0500);
    EXPECT_TRUE(RunUnprivileged(scratch.Path(), [&] {
        EXPECT_EQ(CActivationFile::Write(file, "/usr/bin/Quarrow"), EACCES);
        EXPECT_EQ(CScratchFolder::ReadFile(file), "old");
        EXPECT_EQ(CountEntries(folder), 1u);
    }));
}

} // namespace
