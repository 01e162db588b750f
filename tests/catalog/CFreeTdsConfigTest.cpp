// Quarrow's own freetds.conf for connections that check the server's certificate: private,
// holding every section asked for once, and named to FreeTDS through FREETDSCONF.

#include "catalog/CFreeTdsConfig.h"

#include "platform/Utf.h"
#include "tests/support/CScratchFolder.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>

namespace {

using quarrow::ToUtf8;

// Runs the test with XDG_RUNTIME_DIR in a scratch folder, and puts the variables back.
class CFreeTdsConfigTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_runtime = Saved("XDG_RUNTIME_DIR");
        m_config = Saved("FREETDSCONF");
        setenv("XDG_RUNTIME_DIR", m_scratch.Path().c_str(), 1);
    }
    void TearDown() override
    {
        Restore("XDG_RUNTIME_DIR", m_runtime);
        Restore("FREETDSCONF", m_config);
    }

    static std::optional<std::string> Saved(const char* name)
    {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }
    static void Restore(const char* name, const std::optional<std::string>& value)
    {
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }

    CScratchFolder m_scratch;
    std::optional<std::string> m_runtime;
    std::optional<std::string> m_config;
};

} // namespace

TEST_F(CFreeTdsConfigTest, SectionsGatherInAPrivateFileThatFreeTdsIsPointedAt)
{
    std::u16string reason;
    ASSERT_TRUE(CFreeTdsConfig::Publish("quarrow-test-a", "host = a\nport = 1\n", reason))
        << ToUtf8(reason);
    ASSERT_TRUE(CFreeTdsConfig::Publish("quarrow-test-b", "host = b\nport = 2\n", reason))
        << ToUtf8(reason);
    // Asked again: kept once.
    ASSERT_TRUE(CFreeTdsConfig::Publish("quarrow-test-a", "host = a\nport = 1\n", reason));

    const std::string path = CFreeTdsConfig::GetPath();
    const auto folder = m_scratch / "quarrow-freetds";
    EXPECT_EQ(std::filesystem::path(path).parent_path(), folder);
    ASSERT_NE(std::getenv("FREETDSCONF"), nullptr);
    EXPECT_EQ(std::string(std::getenv("FREETDSCONF")), path);
    const std::string text = CScratchFolder::ReadFile(path);
    EXPECT_NE(text.find("\n[quarrow-test-a]\nhost = a\nport = 1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n[quarrow-test-b]\nhost = b\nport = 2\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("[quarrow-test-a]"), text.rfind("[quarrow-test-a]")) << text;

    struct stat info
    {
    };
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // A file that went (a cleaned temporary folder) is written again when next needed.
    std::filesystem::remove(path);
    ASSERT_TRUE(CFreeTdsConfig::Publish("quarrow-test-a", "host = a\nport = 1\n", reason));
    EXPECT_NE(CScratchFolder::ReadFile(CFreeTdsConfig::GetPath()).find("[quarrow-test-b]"),
              std::string::npos);
}

TEST_F(CFreeTdsConfigTest, FolderOthersCanWriteIsRefusedWithAReason)
{
    const auto folder = m_scratch / "quarrow-freetds";
    std::filesystem::create_directory(folder);
    chmod(folder.c_str(), 0777);
    std::u16string reason;
    EXPECT_FALSE(CFreeTdsConfig::Publish("quarrow-test-open", "host = c\n", reason));
    EXPECT_NE(ToUtf8(reason).find(folder.string() + " is not a private folder"), std::string::npos)
        << ToUtf8(reason);
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}
