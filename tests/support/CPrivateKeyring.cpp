#include "tests/support/CPrivateKeyring.h"

#include "platform/CSecretService.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// How long a daemon may take to come up, in steps of kStep.
constexpr int kStartSteps = 200;
constexpr auto kStep = std::chrono::milliseconds(25);

// The children's environment, made before forking (the child may only exec): every folder a
// daemon may write to is in the scratch folder, and no display is reachable.
class CChildEnvironment
{
public:
    CChildEnvironment(const std::filesystem::path& folder, const std::string& busAddress)
    {
        for (const char* name : {"home", "data", "config", "cache", "runtime"})
            std::filesystem::create_directories(folder / name);
        chmod((folder / "runtime").c_str(), 0700);
        const std::vector<std::pair<std::string, std::string>> set = {
            {"HOME", (folder / "home").string()},
            {"XDG_DATA_HOME", (folder / "data").string()},
            {"XDG_CONFIG_HOME", (folder / "config").string()},
            {"XDG_CACHE_HOME", (folder / "cache").string()},
            {"XDG_RUNTIME_DIR", (folder / "runtime").string()},
            {"DBUS_SESSION_BUS_ADDRESS", busAddress},
        };
        for (char** entry = environ; *entry; ++entry) {
            const std::string text = *entry;
            const std::string name = text.substr(0, text.find('='));
            bool replaced = name == "DISPLAY" || name == "WAYLAND_DISPLAY";
            for (const auto& [key, value] : set)
                replaced = replaced || key == name;
            if (!replaced)
                m_entries.push_back(text);
        }
        for (const auto& [key, value] : set) {
            if (!value.empty())
                m_entries.push_back(key + "=" + value);
        }
        for (std::string& entry : m_entries)
            m_pointers.push_back(entry.data());
        m_pointers.push_back(nullptr);
    }
    char** Get() { return m_pointers.data(); }

private:
    std::vector<std::string> m_entries;
    std::vector<char*> m_pointers;
};

// In the child: die with the test, write to a log file, read stdin from fdIn (or nothing).
void PrepareChild(const char* log, int fdIn)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int fdLog = open(log, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fdLog >= 0) {
        dup2(fdLog, STDOUT_FILENO);
        dup2(fdLog, STDERR_FILENO);
    }
    if (fdIn < 0)
        fdIn = open("/dev/null", O_RDONLY);
    dup2(fdIn, STDIN_FILENO);
}

bool Accepts(const std::filesystem::path& socketPath)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = socketPath.string();
    if (fd < 0 || path.size() >= sizeof address.sun_path) {
        if (fd >= 0)
            close(fd);
        return false;
    }
    path.copy(address.sun_path, path.size());
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

// Ends a daemon: politely, then for certain.
void Stop(pid_t& pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 80; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(kStep);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

bool Exited(pid_t pid)
{
    return waitpid(pid, nullptr, WNOHANG) == pid;
}

} // namespace

CPrivateBus::~CPrivateBus()
{
    Stop(m_keyringPid);
    Stop(m_busPid);
}

bool CPrivateBus::Start(std::string& error)
{
    const std::filesystem::path socketPath = m_folder / "bus";
    const std::string listen = "--address=unix:path=" + socketPath.string();
    CChildEnvironment environment(m_folder.Path(), "");
    const std::string log = (m_folder / "dbus-daemon.log").string();
    char* argv[] = {const_cast<char*>("dbus-daemon"),  const_cast<char*>("--session"),
                    const_cast<char*>("--nofork"),     const_cast<char*>("--nopidfile"),
                    const_cast<char*>(listen.c_str()), nullptr};
    fflush(stdout);
    fflush(stderr);
    m_busPid = fork();
    if (m_busPid == 0) {
        PrepareChild(log.c_str(), -1);
        execvpe(argv[0], argv, environment.Get());
        _exit(127);
    }
    if (m_busPid < 0) {
        error = "cannot fork for dbus-daemon";
        return false;
    }
    for (int i = 0; i < kStartSteps; ++i) {
        if (Accepts(socketPath)) {
            m_strAddress = "unix:path=" + socketPath.string();
            return true;
        }
        if (Exited(m_busPid)) {
            m_busPid = -1;
            break;
        }
        std::this_thread::sleep_for(kStep);
    }
    error =
        "dbus-daemon did not come up: " + CScratchFolder::ReadFile(m_folder / "dbus-daemon.log");
    return false;
}

bool CPrivateBus::StartKeyring(std::string& error)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error = "no pipe";
        return false;
    }
    CChildEnvironment environment(m_folder.Path(), m_strAddress);
    const std::string log = (m_folder / "gnome-keyring.log").string();
    char* argv[] = {const_cast<char*>("gnome-keyring-daemon"), const_cast<char*>("--foreground"),
                    const_cast<char*>("--unlock"), const_cast<char*>("--components=secrets"),
                    nullptr};
    fflush(stdout);
    fflush(stderr);
    m_keyringPid = fork();
    if (m_keyringPid == 0) {
        PrepareChild(log.c_str(), fds[0]);
        execvpe(argv[0], argv, environment.Get());
        _exit(127);
    }
    close(fds[0]);
    // The password of the login keyring it makes, on stdin.
    const char password[] = "quarrow-test";
    const bool written =
        write(fds[1], password, sizeof password - 1) == static_cast<ssize_t>(sizeof password - 1);
    close(fds[1]);
    if (m_keyringPid < 0 || !written) {
        error = "cannot start gnome-keyring-daemon";
        return false;
    }
    for (int i = 0; i < kStartSteps; ++i) {
        if (CSecretService(m_strAddress).IsRunning())
            return true;
        if (Exited(m_keyringPid)) {
            m_keyringPid = -1;
            break;
        }
        std::this_thread::sleep_for(kStep);
    }
    error = "gnome-keyring-daemon did not come up: " +
            CScratchFolder::ReadFile(m_folder / "gnome-keyring.log");
    return false;
}
