#include "cli/CPasswordPrompt.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

void OnInterruptDuringPrompt(int) {}

// Ctrl-C during the prompt ends the read (EINTR) instead of the program, so the terminal's
// echo is always put back.
class CInterruptEndsRead
{
public:
    CInterruptEndsRead()
    {
        struct sigaction action
        {
        };
        action.sa_handler = OnInterruptDuringPrompt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0; // no SA_RESTART
        sigaction(SIGINT, &action, &m_saved);
    }
    ~CInterruptEndsRead() { sigaction(SIGINT, &m_saved, nullptr); }
    CInterruptEndsRead(const CInterruptEndsRead&) = delete;
    CInterruptEndsRead& operator=(const CInterruptEndsRead&) = delete;

private:
    struct sigaction m_saved
    {
    };
};

// Puts the terminal's echo back however the read ends.
class CEchoOff
{
public:
    explicit CEchoOff(int fd) : m_fd(fd)
    {
        if (tcgetattr(fd, &m_saved) == 0) {
            termios quiet = m_saved;
            quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
            quiet.c_lflag |= ECHONL;
            m_bChanged = tcsetattr(fd, TCSAFLUSH, &quiet) == 0;
        }
    }
    ~CEchoOff()
    {
        if (m_bChanged) {
            tcsetattr(m_fd, TCSAFLUSH, &m_saved);
        }
    }
    CEchoOff(const CEchoOff&) = delete;
    CEchoOff& operator=(const CEchoOff&) = delete;

private:
    int m_fd;
    termios m_saved{};
    bool m_bChanged = false;
};

} // namespace

bool CPasswordPrompt::Ask(const std::string& prompt, std::string& password, std::string& error)
{
    password.clear();
    const int fd = open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = "-U needs a password and there is no terminal to ask on; set QUARROW_PASSWORD";
        return false;
    }
    bool ok = true;
    {
        const CInterruptEndsRead interrupt;
        CEchoOff quiet(fd);
        if (write(fd, prompt.data(), prompt.size()) < 0) {
            ok = false;
        }
        // One byte at a time up to the end of the line; bounded by kLongestPassword.
        while (ok) {
            char c = 0;
            const ssize_t got = read(fd, &c, 1);
            if (got < 0 && errno == EINTR) {
                ok = false;
                error = "no password was given";
                break;
            }
            if (got <= 0 || c == '\n' || c == '\r') {
                break;
            }
            if (password.size() >= kLongestPassword) {
                ok = false;
                error =
                    "the password is longer than " + std::to_string(kLongestPassword) + " bytes";
                break;
            }
            password += c;
        }
    }
    close(fd);
    if (!ok) {
        password.clear();
        if (error.empty()) {
            error = "the password could not be read from the terminal";
        }
    }
    return ok;
}
