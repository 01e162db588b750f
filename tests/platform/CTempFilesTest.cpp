// Script files in the temporary folder: naming, confinement, modes, encoding and the sweep
// of old files.

#include "platform/CTempFiles.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

class CTempFilesTest : public ::testing::Test
{
protected:
    std::string m_strFolder;
    std::string m_strOldTmp;
    bool m_bHadTmp = false;

    void SetUp() override
    {
        char szTemplate[] = "/tmp/quarrow-tempfiles-XXXXXX";
        ASSERT_NE(mkdtemp(szTemplate), nullptr);
        m_strFolder = szTemplate;
        if (const char* psz = std::getenv("TMPDIR")) {
            m_bHadTmp = true;
            m_strOldTmp = psz;
        }
        setenv("TMPDIR", m_strFolder.c_str(), 1);
    }

    void TearDown() override
    {
        if (m_bHadTmp)
            setenv("TMPDIR", m_strOldTmp.c_str(), 1);
        else
            unsetenv("TMPDIR");
        std::string command = "rm -rf '" + m_strFolder + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    std::set<std::string> Files() const
    {
        std::set<std::string> names;
        DIR* pDir = opendir(m_strFolder.c_str());
        while (const dirent* pEntry = readdir(pDir)) {
            const std::string name = pEntry->d_name;
            if (name != "." && name != "..")
                names.insert(name);
        }
        closedir(pDir);
        return names;
    }

    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    void Touch(const std::string& name, int nDaysOld) const
    {
        const std::string path = m_strFolder + "/" + name;
        std::ofstream(path) << "x";
        timeval times[2];
        times[0].tv_sec = times[1].tv_sec = time(nullptr) - nDaysOld * 24 * 3600 - 60;
        times[0].tv_usec = times[1].tv_usec = 0;
        ASSERT_EQ(utimes(path.c_str(), times), 0);
    }
};

TEST_F(CTempFilesTest, WritesSqlBesideEmptyReservation)
{
    std::string path;
    int nError = -1;
    ASSERT_TRUE(
        CTempFiles::WriteScriptFile(u"sp_helpfile", u"CREATE PROCEDURE sp_helpfile", path, nError));
    EXPECT_EQ(nError, 0);
    const std::string name = path.substr(path.rfind('/') + 1);
    EXPECT_EQ(path.substr(0, path.rfind('/')), m_strFolder);
    EXPECT_EQ(name.rfind("sp_", 0), 0U) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".sql");
    const std::string reserved = path.substr(0, path.size() - 4) + ".tmp";
    EXPECT_EQ(Files(), (std::set<std::string>{name, reserved.substr(reserved.rfind('/') + 1)}));
    EXPECT_EQ(Read(path), "CREATE PROCEDURE sp_helpfile");
    EXPECT_EQ(Read(reserved), "");
    for (const std::string& file : {path, reserved}) {
        struct stat info
        {
        };
        ASSERT_EQ(stat(file.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600U) << file;
    }
}

TEST_F(CTempFilesTest, EachViewGetsItsOwnPair)
{
    std::string first;
    std::string second;
    int nError = 0;
    ASSERT_TRUE(CTempFiles::WriteScriptFile(u"p1", u"a", first, nError));
    ASSERT_TRUE(CTempFiles::WriteScriptFile(u"p1", u"b", second, nError));
    EXPECT_NE(first, second);
    EXPECT_EQ(Files().size(), 4U);
    EXPECT_EQ(Read(first), "a");
    EXPECT_EQ(Read(second), "b");
}

TEST_F(CTempFilesTest, PrefixNeverLeavesTheFolder)
{
    const struct
    {
        std::u16string name;
        std::string prefix;
    } cases[] = {
        {u"../../etc/passwd", "_._"},
        {u"..", "_."},
        {u"a/b", "a_b"},
        {u"/x", "_x"},
        {std::u16string(u"\0ab", 3), "_ab"},
        {u"\t\n\r", "___"},
        {u"", "qrw"},
        {u"sp_helpfile", "sp_"},
        {u"\u00e9t\u00e9s", "\u00e9t\u00e9"},
        {u"\U0001F600xy", "\U0001F600xy"},
    };
    for (const auto& c : cases) {
        const std::string prefix = CTempFiles::FilePrefix(c.name);
        EXPECT_EQ(prefix, c.prefix);
        std::string path;
        int nError = 0;
        ASSERT_TRUE(CTempFiles::WriteScriptFile(c.name, u"x", path, nError)) << nError;
        EXPECT_EQ(path.substr(0, m_strFolder.size() + 1), m_strFolder + "/");
        EXPECT_EQ(path.find('/', m_strFolder.size() + 1), std::string::npos) << path;
        EXPECT_EQ(path.substr(m_strFolder.size() + 1, prefix.size()), prefix);
    }
    EXPECT_EQ(Files().size(), 2 * std::size(cases));
}

TEST_F(CTempFilesTest, ScriptArrivesByteForByteInUtf8)
{
    const std::u16string script = u"CREATE VIEW \u0412\u0438\u0434 AS\r\n-- \u65e5\u672c\r\n"
                                  u"SELECT '\u00e9' \U0001F600\nGO\r\n";
    std::string path;
    int nError = 0;
    ASSERT_TRUE(CTempFiles::WriteScriptFile(u"Vid", script, path, nError));
    EXPECT_EQ(Read(path),
              "CREATE VIEW \xD0\x92\xD0\xB8\xD0\xB4 AS\r\n-- \xE6\x97\xA5\xE6\x9C\xAC\r\n"
              "SELECT '\xC3\xA9' \xF0\x9F\x98\x80\nGO\r\n");
}

TEST_F(CTempFilesTest, UnwritableFolderGivesTheError)
{
    setenv("TMPDIR", (m_strFolder + "/missing").c_str(), 1);
    std::string path = "stale";
    int nError = 0;
    EXPECT_FALSE(CTempFiles::WriteScriptFile(u"p1", u"x", path, nError));
    EXPECT_EQ(nError, ENOENT);
    EXPECT_TRUE(path.empty());
}

TEST_F(CTempFilesTest, TempFolderFollowsTmpdir)
{
    setenv("TMPDIR", "/var/tmp//", 1);
    EXPECT_EQ(CTempFiles::TempFolder(), "/var/tmp");
    setenv("TMPDIR", "", 1);
    EXPECT_EQ(CTempFiles::TempFolder(), "/tmp");
    unsetenv("TMPDIR");
    EXPECT_EQ(CTempFiles::TempFolder(), "/tmp");
}

TEST_F(CTempFilesTest, OwnFileNames)
{
    EXPECT_TRUE(CTempFiles::IsOwnFileName("sp_.qrwAb12Z9.sql"));
    EXPECT_TRUE(CTempFiles::IsOwnFileName("x.qrw000000.tmp"));
    EXPECT_TRUE(CTempFiles::IsOwnFileName(".qrwabcdef.tmp"));
    EXPECT_FALSE(CTempFiles::IsOwnFileName("sp_.qrwAb12Z.sql"));
    EXPECT_FALSE(CTempFiles::IsOwnFileName("sp_.qrwAb1-Z9.sql"));
    EXPECT_FALSE(CTempFiles::IsOwnFileName("sp_.qrwAb12Z9.txt"));
    EXPECT_FALSE(CTempFiles::IsOwnFileName("sp_.tmpAb12Z9.sql"));
    EXPECT_FALSE(CTempFiles::IsOwnFileName("report.sql"));
}

TEST_F(CTempFilesTest, WritingSweepsOnlyOurOldFiles)
{
    Touch("old.qrwAAAAAA.sql", 8);
    Touch("old.qrwAAAAAA.tmp", 8);
    Touch("new.qrwBBBBBB.sql", 6);
    Touch("report.sql", 30);
    Touch("old.qrwAAAAAA.sql.bak", 30);
    ASSERT_EQ(symlink("/nonexistent", (m_strFolder + "/lnk.qrwCCCCCC.sql").c_str()), 0);
    std::string path;
    int nError = 0;
    ASSERT_TRUE(CTempFiles::WriteScriptFile(u"p1", u"x", path, nError));
    const std::set<std::string> files = Files();
    EXPECT_FALSE(files.count("old.qrwAAAAAA.sql"));
    EXPECT_FALSE(files.count("old.qrwAAAAAA.tmp"));
    EXPECT_TRUE(files.count("new.qrwBBBBBB.sql"));
    EXPECT_TRUE(files.count("report.sql"));
    EXPECT_TRUE(files.count("old.qrwAAAAAA.sql.bak"));
    EXPECT_TRUE(files.count("lnk.qrwCCCCCC.sql"));
    EXPECT_EQ(files.size(), 6U);
}

} // namespace
