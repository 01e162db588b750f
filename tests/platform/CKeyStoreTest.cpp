#include "platform/CKeyStore.h"

#include "tests/support/CScratchFolder.h"

#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <thread>

namespace {

namespace fs = std::filesystem;

mode_t ModeOf(const fs::path& path)
{
    struct stat st
    {
    };
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

ino_t InodeOf(const fs::path& path)
{
    struct stat st
    {
    };
    stat(path.c_str(), &st);
    return st.st_ino;
}

uint32_t DwordOf(CKeyStore& store, std::u16string_view key, std::u16string_view name)
{
    const auto value = store.GetValue(key, name);
    return value && value->m_type == ERegType::Dword ? value->m_nDword : 0xDEADBEEF;
}

std::vector<fs::path> DamagedFiles(const fs::path& folder)
{
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().find(".damaged-") != std::string::npos)
            found.push_back(entry.path());
    }
    return found;
}

class CKeyStoreTest : public ::testing::Test
{
protected:
    CScratchFolder m_scratch;
    fs::path m_folder = m_scratch / "config/Korvane@Work";
    fs::path m_file = m_folder / "Quarrow.reg";
};

} // namespace

TEST_F(CKeyStoreTest, MakesAPrivateFolderAndFile)
{
    const mode_t old = umask(0); // the modes must not depend on the umask
    CKeyStore store(m_folder, u"Quarrow");
    EXPECT_FALSE(store.KeyExists(u"Settings"));
    EXPECT_FALSE(fs::exists(m_folder)) << "reading creates nothing";
    EXPECT_TRUE(store.SetDword(u"Settings", u"SQLServer2008Check", 1));
    umask(old);
    EXPECT_EQ(ModeOf(m_scratch / "config"), 0700u);
    EXPECT_EQ(ModeOf(m_folder), 0700u);
    EXPECT_EQ(ModeOf(m_file), 0600u);
    EXPECT_EQ(ModeOf(m_folder / "Quarrow.reg.lock"), 0600u);
    EXPECT_FALSE(fs::exists(m_folder / "Quarrow.reg.tmp"));
    const std::string text = CScratchFolder::ReadFile(m_file);
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Quarrow\\Settings]\n"
                        "\"SQLServer2008Check\"=dword:00000001\n"),
              std::string::npos);
}

TEST_F(CKeyStoreTest, SeesWritesOfOtherStoreObjects)
{
    CKeyStore writer(m_folder, u"Quarrow");
    CKeyStore reader(m_folder, u"Quarrow");
    EXPECT_FALSE(reader.GetValue(u"A", u"Used"));
    // Same size, same second: only the write counter tells these apart.
    for (uint32_t i = 0; i < 50; ++i) {
        ASSERT_TRUE(writer.SetDword(u"A", u"Used", i % 2));
        ASSERT_EQ(DwordOf(reader, u"A", u"Used"), i % 2) << i;
    }
    ASSERT_TRUE(writer.SetString(u"A\\B", u"Text", u"x"));
    EXPECT_EQ(reader.GetSubkeyNames(u"a"), std::vector<std::u16string>{u"B"});
    ASSERT_TRUE(writer.DeleteTree(u"A"));
    EXPECT_FALSE(reader.KeyExists(u"A"));
    EXPECT_TRUE(writer.DeleteTree(u"A")) << "deleting what is not there is no failure";
}

TEST_F(CKeyStoreTest, SeesHandEditsOfTheFile)
{
    CKeyStore store(m_folder, u"Quarrow");
    ASSERT_TRUE(store.SetString(u"S", u"Name", u"aaaa"));
    EXPECT_EQ(store.GetValue(u"S", u"Name")->m_strText, u"aaaa");
    std::string text = CScratchFolder::ReadFile(m_file);
    text.replace(text.find("aaaa"), 4, "bbbb");
    CScratchFolder::WriteFile(m_file, text); // same size, same inode
    struct timespec times[2] = {{0, UTIME_OMIT}, {1, 0}};
    utimensat(AT_FDCWD, m_file.c_str(), times, 0); // even with an odd time
    EXPECT_EQ(store.GetValue(u"S", u"Name")->m_strText, u"bbbb");
}

TEST_F(CKeyStoreTest, UnchangedWritesLeaveTheFileAlone)
{
    CKeyStore store(m_folder, u"Quarrow");
    ASSERT_TRUE(store.SetDword(u"A", u"Used", 1));
    ASSERT_TRUE(store.CreateKey(u"B"));
    const ino_t before = InodeOf(m_file);
    EXPECT_TRUE(store.SetDword(u"a", u"used", 1));
    EXPECT_TRUE(store.CreateKey(u"b"));
    EXPECT_TRUE(store.DeleteValue(u"A", u"Missing"));
    EXPECT_EQ(InodeOf(m_file), before);
}

TEST_F(CKeyStoreTest, BatchWritesOnceAndOthersSeeAllOrNothing)
{
    CKeyStore store(m_folder, u"Quarrow");
    CKeyStore other(m_folder, u"Quarrow");
    ASSERT_TRUE(store.SetDword(u"Keep", u"Used", 1));
    {
        CKeyStore::CBatch batch(store);
        for (int i = 0; i < 100; ++i)
            ASSERT_TRUE(store.SetDword(u"D\\db" + std::u16string(1, char16_t(u'A' + i % 26)) +
                                           char16_t(u'0' + i / 26),
                                       u"Used", 1));
        EXPECT_EQ(store.GetSubkeyNames(u"D").size(), 100u) << "the batch reads its own writes";
        // Another store waits for the lock; in this thread it would wait forever, so look
        // at the file instead: still the old one.
        EXPECT_EQ(CScratchFolder::ReadFile(m_file).find("dbA0"), std::string::npos);
        CKeyStore::CBatch inner(store);
        EXPECT_TRUE(store.DeleteTree(u"Keep"));
        EXPECT_TRUE(inner.Commit());
        EXPECT_NE(CScratchFolder::ReadFile(m_file).find("Keep"), std::string::npos)
            << "only the outermost batch writes";
        EXPECT_TRUE(batch.Commit());
    }
    EXPECT_EQ(other.GetSubkeyNames(u"D").size(), 100u);
    EXPECT_FALSE(other.KeyExists(u"Keep"));
}

TEST_F(CKeyStoreTest, ProcessDyingInABatchLeavesTheOldFile)
{
    CKeyStore store(m_folder, u"Quarrow");
    ASSERT_TRUE(store.SetDword(u"A", u"Used", 1));
    const std::string before = CScratchFolder::ReadFile(m_file);
    const pid_t pid = fork();
    if (pid == 0) {
        CKeyStore child(m_folder, u"Quarrow");
        CKeyStore::CBatch batch(child);
        child.SetDword(u"A", u"Used", 2);
        child.SetDword(u"B", u"Used", 2);
        // A half-written temporary file, then the end.
        CScratchFolder::WriteFile(m_folder / "Quarrow.reg.tmp", "Windows Registry Ed");
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(CScratchFolder::ReadFile(m_file), before);
    EXPECT_EQ(DwordOf(store, u"A", u"Used"), 1u);
    EXPECT_TRUE(store.SetDword(u"B", u"Used", 3)) << "the lock died with the process";
    EXPECT_EQ(DwordOf(store, u"B", u"Used"), 3u);
    EXPECT_FALSE(fs::exists(m_folder / "Quarrow.reg.tmp"));
}

TEST_F(CKeyStoreTest, DamagedFilesAreMovedAsideWholeByAWriter)
{
    const std::string valid = "Windows Registry Editor Version 5.00\n\n"
                              "[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Quarrow\\A]\n"
                              "\"Password\"=\"secret\"\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"cut off", valid.substr(0, valid.size() - 6)},
        {"binary junk", std::string("\x00\xff\xfe\x01\x02garbage\x80\x81", 14)},
        {"bad encoding", valid.substr(0, valid.size() - 3) + "\xff\"\n"},
    };
    for (const auto& [what, text] : cases) {
        SCOPED_TRACE(what);
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        CScratchFolder::WriteFile(m_file, text);
        chmod(m_file.c_str(), 0600); // private, so only the damage is reported
        chmod(m_folder.c_str(), 0700);
        CKeyStore store(m_folder, u"Quarrow");
        testing::internal::CaptureStderr();
        EXPECT_FALSE(store.KeyExists(u"A"));
        EXPECT_FALSE(store.GetValue(u"A", u"Password"));
        std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_NE(said.find("damaged"), std::string::npos) << said;
        EXPECT_TRUE(DamagedFiles(m_folder).empty()) << "readers leave it where it is";
        testing::internal::CaptureStderr();
        EXPECT_TRUE(store.SetDword(u"Fresh", u"Used", 1));
        said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_NE(said.find("Quarrow.reg.damaged-"), std::string::npos) << said;
        const auto damaged = DamagedFiles(m_folder);
        ASSERT_EQ(damaged.size(), 1u);
        EXPECT_EQ(CScratchFolder::ReadFile(damaged[0]), text) << "kept byte for byte";
        EXPECT_EQ(DwordOf(store, u"Fresh", u"Used"), 1u);
        EXPECT_EQ(DamagedFiles(m_folder).size(), 1u);
    }
}

TEST_F(CKeyStoreTest, SecondDamageDoesNotReplaceTheFirst)
{
    fs::create_directories(m_folder);
    for (const char* junk : {"junk one", "junk two"}) {
        CScratchFolder::WriteFile(m_file, junk);
        CKeyStore store(m_folder, u"Quarrow");
        testing::internal::CaptureStderr();
        EXPECT_TRUE(store.SetDword(u"A", u"Used", 1));
        testing::internal::GetCapturedStderr();
        fs::remove(m_file);
    }
    const auto damaged = DamagedFiles(m_folder);
    ASSERT_EQ(damaged.size(), 2u);
    EXPECT_NE(CScratchFolder::ReadFile(damaged[0]), CScratchFolder::ReadFile(damaged[1]));
}

TEST_F(CKeyStoreTest, ReadOnlyFolderFailsClearlyAndLosesNothing)
{
    {
        CKeyStore store(m_folder, u"Quarrow");
        ASSERT_TRUE(store.SetString(u"RegisteredServers\\HOST", u"LoginName", u"sa"));
    }
    const std::string before = CScratchFolder::ReadFile(m_file);
    fs::remove(m_folder / "Quarrow.reg.lock");
    chmod(m_folder.c_str(), 0500);
    EXPECT_TRUE(RunUnprivileged(m_scratch.Path(), [&] {
        CKeyStore store(m_folder, u"Quarrow");
        EXPECT_EQ(store.GetValue(u"RegisteredServers\\HOST", u"LoginName")->m_strText, u"sa");
        testing::internal::CaptureStderr();
        EXPECT_FALSE(store.SetString(u"RegisteredServers\\HOST", u"LoginName", u"other"));
        EXPECT_FALSE(store.SetDword(u"X", u"Used", 1));
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("Permission denied"), std::string::npos) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << "said once: " << said;
        EXPECT_NE(store.GetLastError().find("Quarrow.reg"), std::string::npos);
        EXPECT_EQ(store.GetValue(u"RegisteredServers\\HOST", u"LoginName")->m_strText, u"sa");
        CKeyStore::CBatch batch(store);
        EXPECT_FALSE(store.SetDword(u"Y", u"Used", 1));
        EXPECT_FALSE(batch.Commit());
    }));
    EXPECT_EQ(CScratchFolder::ReadFile(m_file), before);
}

TEST_F(CKeyStoreTest, DamagedFileInReadOnlyFolderIsLeftAlone)
{
    fs::create_directories(m_folder);
    CScratchFolder::WriteFile(m_file, "not a settings file\n");
    chmod(m_folder.c_str(), 0500);
    EXPECT_TRUE(RunUnprivileged(m_scratch.Path(), [&] {
        CKeyStore store(m_folder, u"Quarrow");
        testing::internal::CaptureStderr();
        EXPECT_FALSE(store.KeyExists(u"A"));
        EXPECT_FALSE(store.KeyExists(u"A"));
        EXPECT_FALSE(store.SetDword(u"A", u"Used", 1));
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("damaged"), std::string::npos) << said;
        EXPECT_NE(said.find("left as it is"), std::string::npos) << said;
    }));
    EXPECT_EQ(CScratchFolder::ReadFile(m_file), "not a settings file\n");
    EXPECT_TRUE(DamagedFiles(m_folder).empty());
}

TEST_F(CKeyStoreTest, UnreadableFileIsNeverReplaced)
{
    {
        CKeyStore store(m_folder, u"Quarrow");
        ASSERT_TRUE(store.SetDword(u"A", u"Used", 1));
    }
    const std::string before = CScratchFolder::ReadFile(m_file);
    chmod(m_file.c_str(), 0);
    EXPECT_TRUE(RunUnprivileged(m_scratch.Path(), [&] {
        CKeyStore store(m_folder, u"Quarrow");
        testing::internal::CaptureStderr();
        EXPECT_FALSE(store.GetValue(u"A", u"Used"));
        EXPECT_FALSE(store.SetDword(u"B", u"Used", 1));
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("cannot read"), std::string::npos) << said;
    }));
    chmod(m_file.c_str(), 0600);
    EXPECT_EQ(CScratchFolder::ReadFile(m_file), before);
}

TEST_F(CKeyStoreTest, RefusesNamesItCannotStore)
{
    CKeyStore store(m_folder, u"Quarrow");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(store.SetDword(u"a\\\\b", u"Used", 1));
    EXPECT_FALSE(store.SetString(u"a", u"line\nbreak", u"x"));
    EXPECT_FALSE(store.CreateKey(std::u16string(256, u'k')));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(said.empty());
    EXPECT_FALSE(fs::exists(m_file));
}

TEST_F(CKeyStoreTest, ThreadsWithTheirOwnStoresLoseNoWrite)
{
    constexpr int kThreads = 4;
    constexpr int kWrites = 40;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t] {
            CKeyStore store(m_folder, u"Quarrow");
            for (int i = 0; i < kWrites; ++i) {
                const std::u16string key = u"T" + std::u16string(1, char16_t(u'0' + t)) + u"\\" +
                                           std::u16string(1, char16_t(u'A' + i % 26)) +
                                           char16_t(u'0' + i / 26);
                if (i % 10 == 9) {
                    CKeyStore::CBatch batch(store);
                    store.SetDword(key, u"Used", 1);
                    store.SetDword(key + u"x", u"Used", 1);
                } else {
                    store.SetDword(key, u"Used", 1);
                }
            }
        });
    }
    CKeyStore shared(m_folder, u"Quarrow");
    threads.emplace_back([&shared] {
        for (int i = 0; i < 40; ++i)
            shared.SetDword(u"Shared", u"Count", static_cast<uint32_t>(i));
    });
    threads.emplace_back([&shared] {
        for (int i = 0; i < 40; ++i)
            shared.GetSubkeyNames(u"");
    });
    for (auto& thread : threads)
        thread.join();
    CKeyStore check(m_folder, u"Quarrow");
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(check.GetSubkeyNames(u"T" + std::u16string(1, char16_t(u'0' + t))).size(),
                  static_cast<size_t>(kWrites + kWrites / 10));
    }
    EXPECT_EQ(DwordOf(check, u"Shared", u"Count"), 39u);
}

TEST_F(CKeyStoreTest, DefaultFolderFollowsXdgConfigHome)
{
    const char* saved = getenv("XDG_CONFIG_HOME");
    const std::string keep = saved ? saved : "";
    setenv("XDG_CONFIG_HOME", m_scratch.Path().c_str(), 1);
    EXPECT_EQ(CKeyStore::DefaultFolder(), m_scratch.Path() / "Korvane@Work");
    setenv("XDG_CONFIG_HOME", "relative/path", 1);
    EXPECT_EQ(CKeyStore::DefaultFolder().filename(), "Korvane@Work");
    EXPECT_TRUE(CKeyStore::DefaultFolder().is_absolute()) << "a relative value is ignored";
    if (saved)
        setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

namespace {

const std::string kValidFile = "Windows Registry Editor Version 5.00\n\n"
                               "[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Quarrow\\A]\n"
                               "\"Password\"=\"secret\"\n\n";

std::string KeyLine(const std::string& path)
{
    return "[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Quarrow\\" + path + "]\n";
}

std::string DeepPath(size_t depth, char letter)
{
    std::string path;
    for (size_t i = 0; i < depth; ++i) {
        if (i > 0)
            path.push_back('\\');
        path.append(255, letter);
    }
    return path;
}

} // namespace

TEST_F(CKeyStoreTest, WriteThatWouldPassTheCapFailsAndKeepsTheFile)
{
    fs::create_directories(m_folder);
    // Two keys at the deepest level of the longest names: each level's header repeats the
    // whole path, so written back they would pass what a reader accepts.
    const std::string text = std::string("Windows Registry Editor Version 5.00\n\n") +
                             KeyLine(DeepPath(CKeyTree::kMaxDepth, 'a')) +
                             KeyLine(DeepPath(CKeyTree::kMaxDepth, 'b'));
    CScratchFolder::WriteFile(m_file, text);
    CKeyStore store(m_folder, u"Quarrow");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(store.SetDword(u"X", u"Used", 1));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("larger than"), std::string::npos) << said;
    EXPECT_EQ(CScratchFolder::ReadFile(m_file), text);
    EXPECT_FALSE(fs::exists(m_folder / "Quarrow.reg.tmp"));
}

TEST_F(CKeyStoreTest, OnlyRegularFilesOfBoundedSizeAreRead)
{
    fs::create_directories(m_folder);
    const std::vector<std::pair<std::string, std::function<void()>>> cases = {
        {"not a regular file", [&] { ASSERT_EQ(mkfifo(m_file.c_str(), 0600), 0); }},
        {"not a regular file", [&] { fs::create_symlink("/dev/zero", m_file); }},
        {"not a regular file", [&] { fs::create_directory(m_file); }},
        {"larger than",
         [&] {
             CScratchFolder::WriteFile(m_file, kValidFile);
             ASSERT_EQ(truncate(m_file.c_str(), CKeyStore::kMaxFileBytes + 1), 0);
         }},
    };
    for (const auto& [reason, make] : cases) {
        SCOPED_TRACE(reason);
        fs::remove_all(m_file);
        make();
        struct stat before
        {
        };
        ASSERT_EQ(lstat(m_file.c_str(), &before), 0);
        CKeyStore store(m_folder, u"Quarrow");
        testing::internal::CaptureStderr();
        EXPECT_FALSE(store.GetValue(u"A", u"Password"));
        EXPECT_FALSE(store.SetDword(u"A", u"Used", 1));
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("cannot read"), std::string::npos) << said;
        EXPECT_NE(said.find(m_file.string()), std::string::npos) << said;
        EXPECT_NE(said.find(reason), std::string::npos) << said;
        struct stat after
        {
        };
        ASSERT_EQ(lstat(m_file.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << "nothing is written over it";
        EXPECT_EQ(after.st_size, before.st_size);
        EXPECT_TRUE(DamagedFiles(m_folder).empty());
    }
}

TEST_F(CKeyStoreTest, ReadersLeaveADamagedFileWhereItIs)
{
    const std::string head = "Windows Registry Editor Version 5.00\n\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"NUL byte", kValidFile + std::string("\"x\"=\"\0\"\n", 8)},
        {"Latin-1 byte", kValidFile + "\"x\"=\"caf\xe9\"\n"},
        {"300-character key", kValidFile + KeyLine(std::string(300, 'k'))},
    };
    for (const auto& [what, text] : cases) {
        SCOPED_TRACE(what);
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        CScratchFolder::WriteFile(m_file, text);
        CKeyStore store(m_folder, u"Quarrow");
        testing::internal::CaptureStderr();
        store.GetValue(u"A", u"Password");
        store.KeyExists(u"A");
        store.GetSubkeyNames(u"");
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("damaged"), std::string::npos) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_EQ(CScratchFolder::ReadFile(m_file), text) << "the file stays where it was";
        EXPECT_TRUE(DamagedFiles(m_folder).empty());
    }
}

TEST_F(CKeyStoreTest, WriterRereadsUnderTheLockBeforeSettingAFileAside)
{
    fs::create_directories(m_folder);
    CScratchFolder::WriteFile(m_file, kValidFile.substr(0, 50)); // an editor half-way
    CKeyStore store(m_folder, u"Quarrow");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(store.KeyExists(u"A"));
    // The editor finishes writing in place.
    const std::string whole = kValidFile;
    {
        const int fd = open(m_file.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(pwrite(fd, whole.data(), whole.size(), 0), static_cast<ssize_t>(whole.size()));
        close(fd);
    }
    EXPECT_TRUE(store.SetDword(u"B", u"Used", 1));
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(DamagedFiles(m_folder).empty());
    EXPECT_EQ(store.GetValue(u"A", u"Password")->m_strText, u"secret") << "nothing vanished";
}

TEST_F(CKeyStoreTest, LockFileIsNeverWrittenAndMustBeItsOwn)
{
    fs::create_directories(m_folder);
    const fs::path victim = m_scratch / "victim";
    CScratchFolder::WriteFile(victim, "precious bytes");
    fs::create_hard_link(victim, m_folder / "Quarrow.reg.lock");
    {
        CKeyStore store(m_folder, u"Quarrow");
        testing::internal::CaptureStderr();
        EXPECT_FALSE(store.SetDword(u"A", u"Used", 1));
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("Quarrow.reg.lock"), std::string::npos) << said;
    }
    EXPECT_EQ(CScratchFolder::ReadFile(victim), "precious bytes");
    EXPECT_FALSE(fs::exists(m_file));

    fs::remove(m_folder / "Quarrow.reg.lock");
    CKeyStore store(m_folder, u"Quarrow");
    for (uint32_t i = 0; i < 5; ++i)
        ASSERT_TRUE(store.SetDword(u"A", u"Used", i));
    EXPECT_EQ(fs::file_size(m_folder / "Quarrow.reg.lock"), 0u) << "only ever locked";
}

TEST_F(CKeyStoreTest, LockHeldElsewhereIsWaitedForABoundedTime)
{
    EXPECT_GE(CKeyStore::kLockWait, std::chrono::seconds(5));
    CKeyStore store(m_folder, u"Quarrow");
    ASSERT_TRUE(store.SetDword(u"A", u"Used", 1));
    store.SetLockWait(std::chrono::milliseconds(200));
    // A stopped copy holding the lock: a second open file of the lock file.
    const int fd = open((m_folder / "Quarrow.reg.lock").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(store.SetDword(u"A", u"Used", 2));
    {
        CKeyStore::CBatch batch(store);
        EXPECT_FALSE(store.SetDword(u"B", u"Used", 2));
        EXPECT_FALSE(batch.Commit());
    }
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("locked"), std::string::npos) << said;
    EXPECT_NE(store.GetLastError().find("Quarrow.reg.lock"), std::string::npos);
    // Readers go on without the lock: the file is only ever replaced whole.
    CKeyStore reader(m_folder, u"Quarrow");
    reader.SetLockWait(std::chrono::milliseconds(200));
    testing::internal::CaptureStderr();
    EXPECT_EQ(DwordOf(reader, u"A", u"Used"), 1u);
    testing::internal::GetCapturedStderr();
    close(fd);
    EXPECT_TRUE(store.SetDword(u"A", u"Used", 2));
    EXPECT_EQ(DwordOf(reader, u"A", u"Used"), 2u);
}

TEST_F(CKeyStoreTest, LooseModesAreTightenedOnTheFirstWrite)
{
    fs::create_directories(m_folder);
    CScratchFolder::WriteFile(m_file, kValidFile);
    chmod(m_folder.c_str(), 0777);
    chmod(m_file.c_str(), 0644);
    CKeyStore store(m_folder, u"Quarrow");
    EXPECT_EQ(store.GetValue(u"A", u"Password")->m_strText, u"secret");
    EXPECT_EQ(ModeOf(m_folder), 0777u) << "reading changes nothing";
    testing::internal::CaptureStderr();
    EXPECT_TRUE(store.CreateKey(u"A")) << "even a write that changes no setting";
    EXPECT_TRUE(store.SetDword(u"B", u"Used", 1));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ModeOf(m_folder), 0700u);
    EXPECT_EQ(ModeOf(m_file), 0600u);
    EXPECT_NE(said.find("0777"), std::string::npos) << said;
    EXPECT_NE(said.find("0644"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 2) << "said once: " << said;
}

TEST_F(CKeyStoreTest, WritesThroughASymlinkedSettingsFile)
{
    // A dotfile manager keeps the real file elsewhere and links it into place.
    const fs::path dotfiles = m_scratch / "dotfiles";
    fs::create_directories(dotfiles);
    fs::create_directories(m_folder);
    chmod(m_folder.c_str(), 0700);
    const fs::path target = dotfiles / "Quarrow.reg";
    CScratchFolder::WriteFile(target, kValidFile);
    chmod(target.c_str(), 0600);
    fs::create_symlink("../../dotfiles/Quarrow.reg", m_file);
    CKeyStore store(m_folder, u"Quarrow");
    ASSERT_TRUE(store.SetDword(u"B", u"Used", 1));
    ASSERT_TRUE(store.SetDword(u"B", u"Used", 2));
    EXPECT_TRUE(fs::is_symlink(m_file)) << "the link stays a link";
    const std::string text = CScratchFolder::ReadFile(target);
    EXPECT_NE(text.find("\"Used\"=dword:00000002"), std::string::npos) << text;
    EXPECT_NE(text.find("secret"), std::string::npos) << text;
    CKeyStore other(m_folder, u"Quarrow");
    EXPECT_EQ(DwordOf(other, u"B", u"Used"), 2u);
    for (const fs::path& folder : {dotfiles, m_folder}) {
        for (const auto& entry : fs::directory_iterator(folder))
            EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
    }
}

TEST_F(CKeyStoreTest, OneBadLineCostsOnlyItsSection)
{
    fs::create_directories(m_folder);
    chmod(m_folder.c_str(), 0700);
    const std::string text = kValidFile +
                             "[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Quarrow\\Bad]\n"
                             "\"x\"=\"caf\xe9\"\n\n" +
                             KeyLine("RegisteredServers\\HOST") + "\"LoginName\"=\"sa\"\n";
    CScratchFolder::WriteFile(m_file, text);
    chmod(m_file.c_str(), 0600);
    CKeyStore store(m_folder, u"Quarrow");
    testing::internal::CaptureStderr();
    EXPECT_EQ(store.GetValue(u"RegisteredServers\\HOST", u"LoginName")->m_strText, u"sa");
    EXPECT_EQ(store.GetValue(u"A", u"Password")->m_strText, u"secret");
    EXPECT_FALSE(store.KeyExists(u"Bad"));
    EXPECT_NE(store.GetFileProblem().find("1 section was left out"), std::string::npos);
    EXPECT_TRUE(store.TakeSetAsideCopy().empty()) << "a reader sets nothing aside";
    EXPECT_EQ(CScratchFolder::ReadFile(m_file), text);
    // A write that changes no setting still sets the damaged file aside and writes what
    // read cleanly.
    EXPECT_TRUE(store.CreateKey(u"A"));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("kept as"), std::string::npos) << said;
    const auto damaged = DamagedFiles(m_folder);
    ASSERT_EQ(damaged.size(), 1u);
    EXPECT_EQ(CScratchFolder::ReadFile(damaged[0]), text) << "kept byte for byte";
    EXPECT_EQ(store.TakeSetAsideCopy(), damaged[0]);
    EXPECT_TRUE(store.TakeSetAsideCopy().empty()) << "told once";
    CKeyStore other(m_folder, u"Quarrow");
    EXPECT_EQ(other.GetValue(u"RegisteredServers\\HOST", u"LoginName")->m_strText, u"sa");
    EXPECT_EQ(other.GetValue(u"A", u"Password")->m_strText, u"secret");
    EXPECT_TRUE(other.GetFileProblem().empty());
}
