#include "platform/CShell.h"

#include "platform/Utf.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

std::atomic<int64_t> g_nOpenerWaitMs{10000};

// Starts argv[0] (looked up in PATH) with stdin from /dev/null. 0 or the error number.
int Spawn(const std::vector<std::string>& args, pid_t& pid)
{
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

// A program left running is waited for elsewhere, so it leaves no zombie behind.
void ReapInBackground(pid_t pid)
{
    std::thread([pid] {
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

int ResultFromSpawnError(int error)
{
    switch (error) {
    case ENOMEM:
        return ShellResult::OutOfMemory;
    case EAGAIN:
        return ShellResult::OutOfResources;
    case EACCES:
    case EPERM:
        return ShellResult::AccessDenied;
    case ENOEXEC:
        return ShellResult::BadFormat;
    default:
        // No opener at all: nothing on this system can open the file.
        return ShellResult::NoAssociation;
    }
}

int ResultFromExitStatus(int status)
{
    if (!WIFEXITED(status))
        return ShellResult::AssociationIncomplete;
    switch (WEXITSTATUS(status)) {
    case 0:
        return ShellResult::Success;
    case 2:
        return ShellResult::FileNotFound;
    case 3:
        return ShellResult::NoAssociation;
    case 5:
        return ShellResult::AccessDenied;
    default:
        return ShellResult::AssociationIncomplete;
    }
}

std::string GetEnv(const char* name)
{
    const char* value = getenv(name);
    return value ? std::string(value) : std::string();
}

} // namespace

std::string CShell::OpenerProgram()
{
    std::string program = GetEnv("QUARROW_OPENER");
    return program.empty() ? std::string("xdg-open") : program;
}

void CShell::SetOpenerWait(std::chrono::milliseconds wait)
{
    g_nOpenerWaitMs = wait.count();
}

int CShell::Open(std::u16string_view target)
{
    std::string argument = quarrow::ToUtf8(target);
    // The opener must not take a file name for one of its options.
    if (!argument.empty() && argument.front() == '-')
        argument.insert(0, "./");
    pid_t pid = 0;
    const int error = Spawn({OpenerProgram(), argument}, pid);
    if (error != 0)
        return ResultFromSpawnError(error);

    // xdg-open answers at once on most desktops, but some hand over to a program in the
    // foreground; after the wait that counts as opened.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(g_nOpenerWaitMs.load());
    auto pause = std::chrono::milliseconds(1);
    while (true) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return ResultFromExitStatus(status);
        if (done < 0 && errno != EINTR)
            return ShellResult::Success; // reaped elsewhere; it did start
        if (std::chrono::steady_clock::now() >= deadline) {
            ReapInBackground(pid);
            return ShellResult::Success;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

std::vector<std::string> CShell::SplitCommandLine(std::string_view commandLine)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (char c : commandLine) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word.push_back(c);
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

std::vector<std::string> CShell::BrowserCommand(std::string_view command, std::string_view address)
{
    // The command is cut where its placeholder begins, quoted form first; the address always
    // goes in as one argument of its own.
    for (std::string_view placeholder : {"\"%1\"", "%1", "\"%s\"", "%s"}) {
        const size_t at = command.find(placeholder);
        if (at != std::string_view::npos) {
            command = command.substr(0, at);
            break;
        }
    }
    std::vector<std::string> args = SplitCommandLine(command);
    args.emplace_back(address);
    return args;
}

int CShell::OpenLink(std::u16string_view address)
{
    const int result = Open(address);
    if (result > 32)
        return result;
    const std::string browsers = GetEnv("BROWSER");
    const std::string utf8Address = quarrow::ToUtf8(address);
    size_t start = 0;
    while (start <= browsers.size()) {
        size_t end = browsers.find(':', start);
        if (end == std::string::npos)
            end = browsers.size();
        const std::vector<std::string> args =
            BrowserCommand(std::string_view(browsers).substr(start, end - start), utf8Address);
        if (args.size() > 1) {
            pid_t pid = 0;
            if (Spawn(args, pid) == 0) {
                ReapInBackground(pid);
                break;
            }
        }
        start = end + 1;
    }
    return result;
}

std::u16string CShell::LinkErrorText(int nResult)
{
    switch (nResult) {
    case 0:
        return u"The operating system is out\nof memory or resources.";
    case 2:
        return u"The specified file was not found.";
    case 3:
        return u"The specified path was not found.";
    case 5:
        return u"The operating system denied\naccess to the specified file.";
    case 8:
        return u"There was not enough memory to complete the operation.";
    case 11:
        return u"The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
    case 26:
        return u"A sharing violation occurred. ";
    case 27:
        return u"The filename association is\nincomplete or invalid.";
    case 28:
        return u"The DDE transaction could not\nbe completed because the request timed out.";
    case 29:
        return u"The DDE transaction failed.";
    case 30:
        return u"The DDE transaction could not\nbe completed because other DDE "
               u"transactions\nwere being processed.";
    case 31:
        return u"There is no application associated\nwith the given filename extension.";
    case 32:
        return u"The specified dynamic-link library was not found.";
    default:
        return u"Unknown Error (" + quarrow::FromAscii(std::to_string(nResult)) + u") occurred.";
    }
}

std::u16string CShell::LinkFailureReport(int nResult)
{
    return u"Unable to open hyperlink:\n\n" + LinkErrorText(nResult);
}
