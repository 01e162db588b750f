#include "tests/support/CLocalKdc.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr auto kStep = std::chrono::milliseconds(20);
// A tool or the KDC gets this long (in steps) to finish or come up.
constexpr int kSteps = 500;
// Ports are picked free and then bound by the KDC: another program may take one in between.
constexpr int kPortAttempts = 5;

std::optional<std::string> Saved(const char* name)
{
    const char* value = getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

void Restore(const char* name, const std::optional<std::string>& value)
{
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
}

// A port of 127.0.0.1 free for both TCP and UDP just now.
int FreePort()
{
    const int tcp = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (tcp >= 0 && bind(tcp, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(tcp, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        const int udp = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (udp >= 0 && bind(udp, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            port = ntohs(address.sin_port);
        if (udp >= 0)
            close(udp);
    }
    if (tcp >= 0)
        close(tcp);
    return port;
}

bool Accepts(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok =
        fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        close(fd);
    return ok;
}

// Starts a program with KRB5_CONFIG and KRB5_KDC_PROFILE set, its output to log; the child
// dies with the test. Everything the child needs is made before forking.
pid_t Spawn(const std::vector<std::string>& args, const std::filesystem::path& folder,
            const std::filesystem::path& log)
{
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        if (text.rfind("KRB5", 0) != 0)
            environment.push_back(text);
    }
    environment.push_back("KRB5_CONFIG=" + (folder / "krb5.conf").string());
    environment.push_back("KRB5_KDC_PROFILE=" + (folder / "kdc.conf").string());
    environment.push_back("KRB5CCNAME=FILE:" + (folder / "ccache").string());
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> argsCopy = args;
    std::vector<char*> argv;
    for (std::string& arg : argsCopy)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::string logPath = log.string();
    fflush(stdout);
    fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int fd = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (fd >= 0) {
            dup2(fd, STDOUT_FILENO);
            dup2(fd, STDERR_FILENO);
        }
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, STDIN_FILENO);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return pid;
}

// Waits for a child, bounded; kills it when it takes too long.
bool Finished(pid_t pid, int& status)
{
    for (int i = 0; i < kSteps; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return true;
        std::this_thread::sleep_for(kStep);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return false;
}

} // namespace

CLocalKdc::~CLocalKdc()
{
    if (m_kdcPid > 0) {
        kill(m_kdcPid, SIGTERM);
        int status = 0;
        Finished(m_kdcPid, status);
    }
    if (m_bEnvironmentSet) {
        Restore("KRB5_CONFIG", m_savedConfig);
        Restore("KRB5CCNAME", m_savedCache);
    }
}

bool CLocalKdc::Run(const std::vector<std::string>& args, std::string& error)
{
    const pid_t pid = Spawn(args, m_folder.Path(), m_folder / "tools.log");
    int status = 0;
    if (pid < 0 || !Finished(pid, status) || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = args[0] + " failed: " + CScratchFolder::ReadFile(m_folder / "tools.log");
        return false;
    }
    return true;
}

bool CLocalKdc::Start(std::string& error)
{
    const std::string folder = m_folder.Path().string();
    for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
        const int port = FreePort();
        if (port == 0)
            continue;
        const std::string where = "127.0.0.1:" + std::to_string(port);
        // No DNS, no reverse lookups: every name is this realm's.
        CScratchFolder::WriteFile(m_folder / "krb5.conf",
                                  "[libdefaults]\n"
                                  "    default_realm = " +
                                      std::string(kRealm) +
                                      "\n"
                                      "    dns_lookup_kdc = false\n"
                                      "    dns_lookup_realm = false\n"
                                      "    dns_canonicalize_hostname = false\n"
                                      "    rdns = false\n"
                                      "    udp_preference_limit = 1\n"
                                      "[realms]\n    " +
                                      kRealm + " = {\n        kdc = " + where +
                                      "\n    }\n"
                                      "[domain_realm]\n    localhost = " +
                                      kRealm + "\n");
        CScratchFolder::WriteFile(
            m_folder / "kdc.conf",
            "[kdcdefaults]\n    kdc_listen = " + where + "\n    kdc_tcp_listen = " + where +
                "\n[realms]\n    " + kRealm + " = {\n        database_name = " + folder +
                "/principal\n        key_stash_file = " + folder + "/stash\n        acl_file = " +
                folder + "/kadm5.acl\n    }\n[logging]\n    kdc = FILE:" + folder + "/kdc.log\n");
        if (attempt == 0) {
            if (!Run({"kdb5_util", "create", "-s", "-r", kRealm, "-P", "quarrow-master"}, error) ||
                !Run({"kadmin.local", "-r", kRealm, "-q",
                      std::string("addprinc -randkey ") + kClient},
                     error) ||
                !Run({"kadmin.local", "-r", kRealm, "-q",
                      "ktadd -k " + folder + "/client.keytab " + kClient},
                     error)) {
                return false;
            }
        }
        m_kdcPid = Spawn({"krb5kdc", "-n", "-r", kRealm}, m_folder.Path(), m_folder / "kdc.out");
        bool up = false;
        for (int i = 0; i < kSteps && !up; ++i) {
            up = Accepts(port);
            int status = 0;
            if (!up && waitpid(m_kdcPid, &status, WNOHANG) == m_kdcPid) {
                m_kdcPid = -1;
                break;
            }
            if (!up)
                std::this_thread::sleep_for(kStep);
        }
        if (!up) {
            if (m_kdcPid > 0) {
                kill(m_kdcPid, SIGKILL);
                waitpid(m_kdcPid, nullptr, 0);
                m_kdcPid = -1;
            }
            error = "krb5kdc did not come up: " + CScratchFolder::ReadFile(m_folder / "kdc.out");
            continue;
        }
        if (!Run({"kinit", "-k", "-t", folder + "/client.keytab", kClient}, error))
            return false;
        m_savedConfig = Saved("KRB5_CONFIG");
        m_savedCache = Saved("KRB5CCNAME");
        m_bEnvironmentSet = true;
        setenv("KRB5_CONFIG", (m_folder / "krb5.conf").c_str(), 1);
        setenv("KRB5CCNAME", CacheName().c_str(), 1);
        return true;
    }
    return false;
}

bool CLocalKdc::AddService(const std::string& principal, std::string& error)
{
    return Run({"kadmin.local", "-r", kRealm, "-q", "addprinc -randkey " + principal}, error) &&
           Run({"kadmin.local", "-r", kRealm, "-q",
                "ktadd -k " + ServiceKeytab().string() + " " + principal},
               error);
}

bool CLocalKdc::ChangeServiceKey(const std::string& principal, std::string& error)
{
    return Run({"kadmin.local", "-r", kRealm, "-q", "cpw -randkey " + principal}, error);
}
