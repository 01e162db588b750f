#include "cli/CSnapshotCommand.h"

#include "catalog/CSnapshotFile.h"
#include "catalog/CSnapshotLibrary.h"
#include "catalog/CSnapshotTaker.h"
#include "cli/CPasswordPrompt.h"
#include "platform/Utf.h"

#include <chrono>
#include <clocale>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using quarrow::FromUtf8;
using quarrow::ToUtf8;

std::atomic<bool> g_bInterrupted{false};

void OnSignal(int)
{
    g_bInterrupted.store(true);
}

bool EndsWithQcat(const std::string& path)
{
    return CSnapshotLibrary::IsSnapshotName(FromUtf8(path));
}

std::string Megabytes(std::int64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

// Draws the progress line and passes Ctrl-C on while the taker runs on the calling thread.
class CSnapshotWatcher
{
public:
    CSnapshotWatcher(CSnapshotTaker& taker, SSnapshotEnvironment& environment, bool progress)
        : m_taker(taker), m_environment(environment), m_bProgress(progress),
          m_thread([this] { Run(); })
    {}
    ~CSnapshotWatcher()
    {
        {
            std::lock_guard lock(m_mutex);
            m_bDone = true;
        }
        m_wake.notify_all();
        m_thread.join();
        if (m_bShown) {
            *m_environment.m_pErr << "\r\x1b[K" << std::flush;
        }
    }
    CSnapshotWatcher(const CSnapshotWatcher&) = delete;
    CSnapshotWatcher& operator=(const CSnapshotWatcher&) = delete;

private:
    void Run()
    {
        using namespace std::chrono_literals;
        auto nextProgress = std::chrono::steady_clock::now() + 300ms;
        std::unique_lock lock(m_mutex);
        while (!m_bDone) {
            m_wake.wait_for(lock, 20ms);
            if (m_environment.m_pInterrupt != nullptr && m_environment.m_pInterrupt->load() &&
                !m_taker.IsCancelled()) {
                m_taker.Cancel();
            }
            if (m_bProgress && !m_bDone && std::chrono::steady_clock::now() >= nextProgress) {
                *m_environment.m_pErr << "\rquarrow-snapshot: database "
                                      << std::min(m_taker.GetDatabasesDone() + 1,
                                                  std::max(m_taker.GetDatabaseCount(), 1))
                                      << " of " << m_taker.GetDatabaseCount() << ", "
                                      << m_taker.GetObjectsDone() << " objects, "
                                      << Megabytes(m_taker.GetBytesRead()) << " read\x1b[K"
                                      << std::flush;
                m_bShown = true;
                nextProgress = std::chrono::steady_clock::now() + 200ms;
            }
        }
    }

    CSnapshotTaker& m_taker;
    SSnapshotEnvironment& m_environment;
    bool m_bProgress;
    bool m_bShown = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_bDone = false;
    std::thread m_thread;
};

bool AskOnTerminal(const std::string& login, std::string& password, std::string& error)
{
    return CPasswordPrompt::Ask("Password for " + login + ": ", password, error);
}

} // namespace

const char* SnapshotUsage()
{
    return "usage: quarrow-snapshot -S SERVER [-d DATABASE]... [-U LOGIN] [--encrypt MODE]\n"
           "                        [--trust-server-certificate] -o FILE.qcat [-q]\n"
           "       quarrow-snapshot --refresh FILE.qcat [-U LOGIN] [--encrypt MODE] [-q]\n"
           "\n"
           "Takes the catalogue of a live SQL Server (every object of every database, or of\n"
           "those named, with its type, creation date and script) into a snapshot file that\n"
           "Quarrow and quarrow-find search offline. --refresh reconnects to the server the\n"
           "file records and reads only what was created, altered or dropped since.\n"
           "\n"
           "  -S SERVER        the live server: HOST, HOST\\INSTANCE, HOST,PORT\n"
           "  -d DATABASE      only databases of exactly this name (repeatable)\n"
           "  -U LOGIN         a SQL Server login; the password is read from $QUARROW_PASSWORD,\n"
           "                   else asked for on the terminal (without -U: integrated login;\n"
           "                   --refresh uses the login the file records)\n"
           "  --encrypt MODE   off, request (the default) or require: encryption of the\n"
           "                   connection; require checks the server's certificate\n"
           "  --trust-server-certificate\n"
           "                   with require: skip the certificate check\n"
           "  -o FILE.qcat     the snapshot to write; an existing one is replaced only once\n"
           "                   the new one is complete\n"
           "  --refresh FILE   bring this snapshot up to date\n"
           "  -q               no progress line\n"
           "\n"
           "Exit status: 0 written, 1 written but a database could not be read, 2 error\n"
           "(nothing written), 130 interrupted (nothing written).\n";
}

bool ParseSnapshotOptions(const std::vector<std::string>& args, SSnapshotOptions& options,
                          std::string& error)
{
    options = SSnapshotOptions{};
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) == 0 && arg.size() > 2) {
            auto equals = arg.find('=');
            if (equals != std::string::npos) {
                inlineValue = arg.substr(equals + 1);
                arg.resize(equals);
            }
        } else if (arg.size() > 2 && arg[0] == '-' && arg[1] != '-' && arg[1] != 'q' &&
                   arg[1] != 'h') {
            inlineValue = arg.substr(2);
            arg.resize(2);
        }
        auto value = [&](std::string& out) {
            if (inlineValue) {
                out = *inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) {
                error = arg + " needs a value; see quarrow-snapshot --help";
                return false;
            }
            out = args[++i];
            return true;
        };
        const auto shared = ParseConnectOption(arg, value, inlineValue.has_value(), options, error);
        if (shared == EConnectOption::Failed) {
            return false;
        }
        if (shared == EConnectOption::Read) {
            continue;
        }
        std::string text;
        if (arg == "-o" || arg == "--refresh") {
            if ((arg == "-o" && !options.m_strOutput.empty()) ||
                (arg == "--refresh" && options.m_refresh)) {
                error = arg + " is given twice; give it once";
                return false;
            }
            if (!value(text)) {
                return false;
            }
            if (!EndsWithQcat(text)) {
                error = arg + " needs a file whose name ends in .qcat (got '" + text +
                        "'), so Quarrow knows it for a snapshot";
                return false;
            }
            (arg == "-o" ? options.m_strOutput : options.m_refresh.emplace()) = text;
        } else if (arg == "-q") {
            options.m_bQuiet = true;
        } else if (arg == "-h" || arg == "--help") {
            options.m_bHelp = true;
        } else if (!arg.empty() && arg[0] == '-') {
            error = "unknown option '" + args[i] + "'; see quarrow-snapshot --help";
            return false;
        } else {
            error = "unexpected argument '" + arg + "'; see quarrow-snapshot --help";
            return false;
        }
    }
    if (options.m_bHelp) {
        return true;
    }
    if (options.m_refresh) {
        if (!options.m_servers.empty() || !options.m_databases.empty() ||
            !options.m_strOutput.empty()) {
            error = "--refresh takes the server, databases and file from the snapshot; give it "
                    "without -S, -d and -o";
            return false;
        }
        return true;
    }
    if (options.m_servers.size() != 1) {
        error = options.m_servers.empty() ? "no server to take; give one with -S"
                                          : "give one server with -S; take one snapshot per "
                                            "server";
        return false;
    }
    if (CSnapshotLibrary::IsSnapshotName(options.m_servers.front())) {
        error = "-S names a snapshot file; quarrow-snapshot takes live servers (to bring a "
                "snapshot up to date, use --refresh)";
        return false;
    }
    if (options.m_strOutput.empty()) {
        error = "no file to write; give one with -o FILE.qcat";
        return false;
    }
    return true;
}

int RunSnapshot(const SSnapshotOptions& options, SSnapshotEnvironment& environment)
{
    std::ostream& err = *environment.m_pErr;
    auto fail = [&](const std::u16string& text) {
        err << "quarrow-snapshot: " << ToUtf8(text) << '\n';
        return SnapshotExit::Error;
    };
    if (options.m_bHelp) {
        *environment.m_pOut << SnapshotUsage() << std::flush;
        return SnapshotExit::Written;
    }

    // A file that is there and is not a snapshot is never replaced by one.
    const std::string& target = options.m_refresh ? *options.m_refresh : options.m_strOutput;
    struct stat info
    {
    };
    if (!options.m_refresh && stat(target.c_str(), &info) == 0) {
        std::u16string reason;
        if (!CSnapshotFile::Open(target, reason)) {
            return fail(u"'" + FromUtf8(target) + u"' exists and " + reason +
                        u"; it is left as it is: choose another name or move it away");
        }
    }

    std::optional<std::u16string> login = options.m_login;
    if (options.m_refresh && !login) {
        SSnapshotOrigin origin;
        std::u16string reason;
        if (!CSnapshotTaker::ReadOrigin(target, origin, reason)) {
            return fail(u"'" + FromUtf8(target) + u"' " + reason);
        }
        login = origin.m_login;
    }
    SSnapshotLogin how;
    how.m_bIntegrated = !login.has_value();
    how.m_connect.m_encryption = options.m_encryption.value_or(EEncryptionMode::Request);
    how.m_connect.m_bTrustServerCertificate = options.m_bTrustServerCertificate;
    if (login) {
        how.m_strLogin = *login;
        std::string password;
        if (environment.m_password) {
            password = *environment.m_password;
        } else {
            std::string message;
            if (environment.m_fnAsk == nullptr ||
                !environment.m_fnAsk(ToUtf8(*login), password, message)) {
                return fail(FromUtf8(message.empty() ? "no password for " + ToUtf8(*login) +
                                                           "; set QUARROW_PASSWORD"
                                                     : message));
            }
        }
        how.m_strPassword = FromUtf8(password);
    }

    CSnapshotTaker taker;
    std::u16string error;
    bool written = false;
    {
        CSnapshotWatcher watcher(taker, environment, environment.m_bTerminal && !options.m_bQuiet);
        if (options.m_refresh) {
            written = taker.Refresh(target, how, error);
        } else {
            SSnapshotRequest request;
            request.m_strServer = options.m_servers.front();
            request.m_databases = options.m_databases;
            request.m_login = how;
            request.m_strPath = target;
            written = taker.Take(request, error);
        }
    }
    if (!written) {
        if (taker.IsCancelled()) {
            err << "quarrow-snapshot: interrupted; "
                << (options.m_refresh ? "the snapshot is as it was" : "nothing was written")
                << '\n';
            return SnapshotExit::Interrupted;
        }
        return fail(error);
    }
    const auto& report = taker.GetReport();
    for (const auto& unreadable : report.m_unreadable) {
        err << "quarrow-snapshot: cannot read database " << ToUtf8(unreadable.m_strDatabase) << ": "
            << ToUtf8(unreadable.m_strReason)
            << (unreadable.m_bKept ? "; it keeps what the snapshot had"
                                   : "; it is recorded as unreadable")
            << '\n';
    }
    if (!options.m_bQuiet) {
        err << "quarrow-snapshot: " << target << ": " << report.m_nObjects << " objects in "
            << taker.GetDatabaseCount() << " databases";
        if (options.m_refresh) {
            err << " (" << report.m_nRead << " read, " << report.m_nKept << " unchanged, "
                << report.m_nDropped << " dropped)";
        }
        err << ", " << Megabytes(taker.GetBytesRead()) << " read\n";
    }
    return report.m_unreadable.empty() ? SnapshotExit::Written : SnapshotExit::Unreadable;
}

int SnapshotMain(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    std::vector<std::string> args(argv + 1, argv + argc);
    SSnapshotOptions options;
    std::string message;
    if (!ParseSnapshotOptions(args, options, message)) {
        std::cerr << "quarrow-snapshot: " << message << '\n';
        return SnapshotExit::Error;
    }
    // Ctrl-C and SIGTERM stop the run between rows; the writer then removes its file and the
    // old snapshot stays whole.
    struct sigaction action
    {
    };
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    SSnapshotEnvironment environment;
    environment.m_pOut = &std::cout;
    environment.m_pErr = &std::cerr;
    environment.m_bTerminal = isatty(STDERR_FILENO) == 1;
    if (const char* password = std::getenv("QUARROW_PASSWORD")) {
        environment.m_password = password;
    }
    environment.m_pInterrupt = &g_bInterrupted;
    environment.m_fnAsk = AskOnTerminal;
    return RunSnapshot(options, environment);
}
