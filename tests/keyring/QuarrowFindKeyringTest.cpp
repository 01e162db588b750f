// The command line reads a registered server's password from the keyring and logs in with
// it: quarrow-find (path in $QUARROW_FIND) against the TDS test server (path in
// $QUARROW_TDS_SERVER), on the private session bus with its keyring, or on one without.

#include "catalog/CRegisteredServerStore.h"
#include "platform/CSecretService.h"
#include "tests/support/CKeyringBuses.h"
#include "tests/support/CTdsTestServer.h"

#include <fcntl.h>
#include <gtest/gtest.h>

namespace {

struct SRun
{
    int m_nStatus = -1;
    std::string m_strOut;
    std::string m_strErr;
};

// Runs quarrow-find with the settings in config and the session bus at busAddress.
SRun RunFind(const std::string& find, const std::vector<std::string>& args,
             const std::filesystem::path& scratch, const std::string& busAddress)
{
    std::vector<std::string> all{find};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (name != "DBUS_SESSION_BUS_ADDRESS" && name != "XDG_CONFIG_HOME" &&
            name != "QUARROW_PASSWORD")
            environment.push_back(text);
    }
    environment.push_back("DBUS_SESSION_BUS_ADDRESS=" + busAddress);
    environment.push_back("XDG_CONFIG_HOME=" + (scratch / "config").string());
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    const std::string out = (scratch / "out.txt").string();
    const std::string err = (scratch / "err.txt").string();
    fflush(stdout);
    fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0) {
        // No terminal: a password prompt must fail, never wait for a person.
        setsid();
        const int fdOut = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int fdErr = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fdOut, STDOUT_FILENO);
        dup2(fdErr, STDERR_FILENO);
        execve(argv[0], argv.data(), envp.data());
        _exit(98);
    }
    SRun run;
    int status = 0;
    waitpid(pid, &status, 0);
    run.m_nStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    run.m_strOut = CScratchFolder::ReadFile(out);
    run.m_strErr = CScratchFolder::ReadFile(err);
    return run;
}

} // namespace

TEST(QuarrowFindKeyringTest, RegisteredServerLogsInWithTheKeyringsPassword)
{
    const char* find = std::getenv("QUARROW_FIND");
    const char* tds = std::getenv("QUARROW_TDS_SERVER");
    const char* binary = std::getenv("QUARROW_BINARY_DIR");
    if (!find || !tds || !binary || access(tds, X_OK) != 0)
        GTEST_SKIP() << "QUARROW_FIND and QUARROW_TDS_SERVER name the programs under test";
    const std::string keyringBus = KeyringBusAddress();
    const std::string emptyBus = EmptyBusAddress();
    ASSERT_FALSE(keyringBus.empty());
    ASSERT_FALSE(emptyBus.empty());

    CScratchFolder scratch;
    CTdsTestServer process(tds, {"--catalogue",
                                 std::string(binary) + "/share/quarrow/catalogues/demo.qcat",
                                 "--login", "reporter:s3cr;et-\xc3\xbc"});
    ASSERT_NE(process.GetPort(), 0);
    {
        CSecretService keyring(keyringBus);
        CProfile profile(u"Quarrow", scratch / "config/Korvane@Work");
        profile.SetSecretStore(&keyring);
        CRegisteredServerStore store(profile);
        ASSERT_TRUE(store.SaveServerRegistration(
            RegisteredServer{process.Name(), u"reporter", u"s3cr;et-\u00fc", 0}));
        ASSERT_TRUE(store.SetDatabaseUsed(process.Name(), u"Harbourside", 1));
    }
    const std::string settings =
        CScratchFolder::ReadFile(scratch / "config/Korvane@Work/Quarrow.reg");
    ASSERT_EQ(settings.find("\"Password\""), std::string::npos) << settings;

    const SRun found =
        RunFind(find, {"--registered", "-n", "CustomerCode"}, scratch.Path(), keyringBus);
    EXPECT_EQ(found.m_nStatus, 0) << found.m_strErr;
    EXPECT_NE(found.m_strOut.find("\tHarbourside\t"), std::string::npos) << found.m_strOut;

    // Without the keyring the login has no password, and the reason is given.
    const SRun refused =
        RunFind(find, {"--registered", "-n", "CustomerCode"}, scratch.Path(), emptyBus);
    EXPECT_NE(refused.m_nStatus, 0) << refused.m_strOut;
    EXPECT_NE(refused.m_strErr.find("is kept in the desktop keyring, which is not running"),
              std::string::npos)
        << refused.m_strErr;
    EXPECT_NE(refused.m_strErr.find("refused the login 'reporter'"), std::string::npos)
        << refused.m_strErr;
}
