#include "cli/CFindCommand.h"

#include "catalog/CObjectModel.h"
#include "catalog/CSnapshotLibrary.h"
#include "cli/CPasswordPrompt.h"
#include "platform/Utf.h"
#include "search/CExportWriter.h"

#include <algorithm>
#include <chrono>
#include <clocale>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

using quarrow::FromUtf8;
using quarrow::ToUtf8;

std::atomic<bool> g_bInterrupted{false};

void OnInterrupt(int)
{
    g_bInterrupted.store(true);
    // A second Ctrl-C ends the program at once.
    struct sigaction action
    {
    };
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

struct SDatabaseToSearch
{
    std::u16string m_strServer;
    std::u16string m_strDatabase;
    std::shared_ptr<IModelUnknown> m_pDatabase;
};

// Connects a server through the modern library, then the legacy one. Null with the reason
// when neither takes it.
std::shared_ptr<IServer> ConnectServer(const std::u16string& name, bool integrated,
                                       const std::u16string& login, const std::u16string& password,
                                       std::u16string& reason)
{
    std::u16string firstReason;
    for (EFlavour flavour : {EFlavour::Modern, EFlavour::Legacy}) {
        auto library = CObjectModel::GetLibrary(flavour);
        if (!library) {
            continue;
        }
        auto server = library->CreateServer();
        if (!server) {
            continue;
        }
        server->SetLoginTimeout(20);
        server->SetLoginSecure(integrated);
        if (server->Connect(name, login, password)) {
            return server;
        }
        std::u16string why = server->GetLastError();
        // A file of the other flavour is no reason to give when the other library fails too.
        if (firstReason.empty() ||
            firstReason.find(u" library does not serve") != std::u16string::npos) {
            firstReason = why;
        }
    }
    reason = firstReason.empty() ? u"'" + name + u"' cannot be reached" : firstReason;
    return nullptr;
}

// Writes rows as they come and keeps the progress line clear of them.
class CFindHost : public ISearchHost
{
public:
    CFindHost(const SFindOptions& options, SFindEnvironment& environment)
        : m_options(options), m_environment(environment)
    {
        if (!options.m_bScripts && options.m_format == EFindFormat::Csv) {
            SExportSettings settings; // the export defaults: header, ';', CR LF, 8-bit
            m_pExport = std::make_unique<CExportWriter>(
                settings, std::vector<std::u16string>{u"Server", u"Database", u"Type", u"Object",
                                                      u"Creation Date"});
        }
    }

    bool Begin()
    {
        if (m_pExport) {
            return m_pExport->Begin(*m_environment.m_pOut).IsOk();
        }
        return true;
    }

    void SetCurrent(const SDatabaseToSearch& database, int index, int total)
    {
        std::lock_guard lock(m_mutex);
        m_pCurrent = &database;
        m_nIndex = index;
        m_nTotal = total;
    }

    bool IsWindowAlive() override { return true; }
    bool IsStopRequested() override { return m_bStop.load(); }
    const std::atomic<bool>* StopFlag() override { return &m_bStop; }
    std::atomic<std::int64_t>* ExaminedCounter() override { return &m_nExamined; }
    void SetStatusText(const std::u16string&) override {}

    void AddRow(const std::u16string&, std::shared_ptr<IDatabaseObject> object) override
    {
        std::lock_guard lock(m_mutex);
        if (!object || m_bOutputFailed) {
            return;
        }
        ++m_nFound;
        ClearProgressLocked();
        std::ostream& out = *m_environment.m_pOut;
        if (m_options.m_bScripts) {
            std::u16string script;
            if (object->Script(script)) {
                std::string bytes = ToUtf8(script);
                out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
                out.put('\n');
            }
        } else {
            std::vector<std::u16string> cells(5);
            cells[0] = m_pCurrent->m_strServer;
            cells[1] = m_pCurrent->m_strDatabase;
            object->GetTypeName(cells[2]);
            object->GetName(cells[3]);
            object->GetCreateDate(cells[4]);
            if (m_pExport) {
                m_bOutputFailed = !m_pExport->WriteRow(cells).IsOk();
            } else {
                std::u16string line;
                for (std::size_t i = 0; i < cells.size(); ++i) {
                    if (i > 0) {
                        line += u'\t';
                    }
                    for (char16_t c : cells[i]) {
                        line += c == u'\t' || c == u'\r' || c == u'\n' ? u' ' : c;
                    }
                }
                line += u'\n';
                std::string bytes = ToUtf8(line);
                out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            }
        }
        out.flush(); // rows reach a pipe as they are found, and stay when Ctrl-C comes
        if (!out) {
            m_bOutputFailed = true;
        }
    }

    // The progress line: database n of m, objects searched.
    void ShowProgress()
    {
        std::lock_guard lock(m_mutex);
        if (m_pCurrent == nullptr) {
            return;
        }
        std::string line = "\rquarrow-find: database " + std::to_string(m_nIndex) + " of " +
                           std::to_string(m_nTotal) + " (" + ToUtf8(m_pCurrent->m_strServer) +
                           ".." + ToUtf8(m_pCurrent->m_strDatabase) + "), " +
                           std::to_string(m_nExamined.load()) + " objects searched\x1b[K";
        *m_environment.m_pErr << line << std::flush;
        m_bProgressShown = true;
    }

    void ClearProgress()
    {
        std::lock_guard lock(m_mutex);
        ClearProgressLocked();
    }

    void RequestStop() { m_bStop.store(true); }
    std::int64_t GetFound() const { return m_nFound; }
    bool OutputFailed() const { return m_bOutputFailed; }
    bool DatabaseFailed() const { return m_bDatabaseFailed; }

    // The rest is searched; the exit status says that not everything was.
    void ReportDatabaseError(const std::u16string& server, const std::u16string& database,
                             const std::u16string& reason) override
    {
        std::lock_guard lock(m_mutex);
        ClearProgressLocked();
        *m_environment.m_pErr << "quarrow-find: cannot search " << ToUtf8(server) << ".."
                              << ToUtf8(database) << ": " << ToUtf8(reason) << '\n'
                              << std::flush;
        m_bDatabaseFailed = true;
    }

private:
    void ClearProgressLocked()
    {
        if (m_bProgressShown) {
            *m_environment.m_pErr << "\r\x1b[K" << std::flush;
            m_bProgressShown = false;
        }
    }

    const SFindOptions& m_options;
    SFindEnvironment& m_environment;
    std::unique_ptr<CExportWriter> m_pExport;
    std::mutex m_mutex;
    const SDatabaseToSearch* m_pCurrent = nullptr;
    int m_nIndex = 0;
    int m_nTotal = 0;
    std::atomic<bool> m_bStop{false};
    std::atomic<std::int64_t> m_nExamined{0};
    std::int64_t m_nFound = 0;
    bool m_bOutputFailed = false;
    bool m_bDatabaseFailed = false;
    bool m_bProgressShown = false;
};

// Watches for Ctrl-C (and draws the progress line) while the search runs on the calling
// thread. A stop goes through the search's own cancel path.
class CWatcher
{
public:
    CWatcher(CFindHost& host, const std::atomic<bool>* interrupt, bool progress)
        : m_host(host), m_pInterrupt(interrupt), m_bProgress(progress), m_thread([this] { Run(); })
    {}
    ~CWatcher()
    {
        {
            std::lock_guard lock(m_mutex);
            m_bDone = true;
        }
        m_wake.notify_all();
        m_thread.join();
        if (m_bProgress) {
            m_host.ClearProgress();
        }
    }
    CWatcher(const CWatcher&) = delete;
    CWatcher& operator=(const CWatcher&) = delete;

    bool Interrupted() const { return m_bInterrupted.load(); }

private:
    void Run()
    {
        using namespace std::chrono_literals;
        auto nextProgress = std::chrono::steady_clock::now() + 300ms;
        std::unique_lock lock(m_mutex);
        while (!m_bDone) {
            m_wake.wait_for(lock, 20ms);
            if (m_pInterrupt != nullptr && m_pInterrupt->load() && !m_bInterrupted.load()) {
                m_bInterrupted.store(true);
                m_host.RequestStop();
                CancelCurrentSearch();
            }
            if (m_bProgress && std::chrono::steady_clock::now() >= nextProgress) {
                lock.unlock();
                m_host.ShowProgress();
                lock.lock();
                nextProgress = std::chrono::steady_clock::now() + 200ms;
            }
        }
    }

    CFindHost& m_host;
    const std::atomic<bool>* m_pInterrupt;
    bool m_bProgress;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_bDone = false;
    std::atomic<bool> m_bInterrupted{false};
    std::thread m_thread;
};

} // namespace

namespace {

// The servers the registration dialog's "..." lists, one a line. What could not be asked is
// said on standard error; the list is printed all the same.
int ListServers(SFindEnvironment& environment)
{
    std::shared_ptr<IApplication> application;
    for (const EFlavour flavour : {EFlavour::Modern, EFlavour::Legacy}) {
        auto library = CObjectModel::GetLibrary(flavour);
        application = library ? library->CreateApplication() : nullptr;
        if (application) {
            break;
        }
    }
    std::vector<std::u16string> names;
    if (application && !application->ListAvailableServersUntil(names, environment.m_pInterrupt)) {
        names.clear();
        if (environment.m_pInterrupt != nullptr && environment.m_pInterrupt->load()) {
            return FindExit::Interrupted;
        }
    }
    if (application && !application->GetLastError().empty()) {
        *environment.m_pErr << "quarrow-find: " << ToUtf8(application->GetLastError()) << '\n';
    }
    for (const auto& name : names) {
        *environment.m_pOut << ToUtf8(name) << '\n';
    }
    environment.m_pOut->flush();
    return FindExit::Found;
}

} // namespace

int RunFind(const SFindOptions& options, SFindEnvironment& environment)
{
    std::ostream& err = *environment.m_pErr;
    auto error = [&](const std::u16string& text) {
        err << "quarrow-find: " << ToUtf8(text) << '\n';
    };

    if (options.m_bHelp) {
        *environment.m_pOut << FindUsage() << std::flush;
        return FindExit::Found;
    }

    if (options.m_bListServers) {
        return ListServers(environment);
    }

    std::vector<SFindTarget> targets;
    for (const auto& server : options.m_servers) {
        SFindTarget target;
        target.m_strServer = server;
        targets.push_back(std::move(target));
    }
    if (options.m_bRegistered) {
        std::vector<SFindTarget> registered;
        std::string message;
        if (!LoadRegisteredTargets(registered, message)) {
            error(FromUtf8(message));
            return FindExit::Error;
        }
        targets.insert(targets.end(), registered.begin(), registered.end());
    }
    if (targets.empty()) {
        error(options.m_bRegistered
                  ? u"no server is registered in Quarrow; register one in Quarrow or give "
                    u"servers with -S"
                  : u"no server to search; give one with -S (for example -S demo.qcat) or use "
                    u"--registered");
        return FindExit::Error;
    }

    // Connect everything first, so a bad name is reported before a long search starts.
    bool failed = false;
    std::vector<std::shared_ptr<IServer>> servers; // kept connected for the run
    std::vector<SDatabaseToSearch> databases;
    std::vector<bool> databaseSeen(options.m_databases.size(), false);
    for (const auto& target : targets) {
        std::u16string reason;
        bool integrated = !options.m_login.has_value();
        std::u16string login = options.m_login.value_or(u"");
        std::u16string password = FromUtf8(environment.m_password.value_or(""));
        if (target.m_bOwnLogin) {
            integrated = target.m_bIntegrated;
            login = target.m_strLogin;
            password = target.m_strPassword;
        }
        auto server = ConnectServer(target.m_strServer, integrated, login, password, reason);
        if (!server) {
            error(u"cannot search: " + reason);
            failed = true;
            continue;
        }
        servers.push_back(server);
        long count = server->GetDatabaseCount();
        for (long i = 0; i < count; ++i) {
            auto database = server->GetDatabase(i);
            if (!database) {
                continue;
            }
            std::u16string name;
            auto flavoured = database->QueryDatabase(EFlavour::Modern);
            if (!flavoured) {
                flavoured = database->QueryDatabase(EFlavour::Legacy);
            }
            if (flavoured) {
                flavoured->GetName(name);
            }
            if (target.m_isWanted && !target.m_isWanted(name)) {
                continue;
            }
            if (!options.m_databases.empty()) {
                auto it = std::find(options.m_databases.begin(), options.m_databases.end(), name);
                if (it == options.m_databases.end()) {
                    continue;
                }
                databaseSeen[static_cast<std::size_t>(it - options.m_databases.begin())] = true;
            }
            databases.push_back({target.m_strServer, name, database});
        }
    }
    if (failed && servers.empty()) {
        return FindExit::Error;
    }
    for (std::size_t i = 0; i < databaseSeen.size(); ++i) {
        if (!databaseSeen[i] && !servers.empty()) {
            error(u"note: no database is named exactly '" + options.m_databases[i] +
                  u"' (names are compared with case)");
        }
    }

    CFindHost host(options, environment);
    if (!host.Begin()) {
        error(u"cannot write the results");
        return FindExit::Error;
    }
    const auto [modernType, legacyType] = TypeCodePair(options.m_nTypeFilter);
    bool interrupted = false;
    {
        CWatcher watcher(host, environment.m_pInterrupt,
                         environment.m_bTerminal && !options.m_bQuiet);
        int total = static_cast<int>(databases.size());
        for (int i = 0; i < total; ++i) {
            if (host.IsStopRequested() || host.OutputFailed()) {
                break;
            }
            host.SetCurrent(databases[static_cast<std::size_t>(i)], i + 1, total);
            SearchDatabase(&host, options.m_criteria,
                           databases[static_cast<std::size_t>(i)].m_pDatabase, modernType,
                           legacyType);
        }
        interrupted = watcher.Interrupted();
    }
    environment.m_pOut->flush();
    if (interrupted) {
        return FindExit::Interrupted;
    }
    if (host.OutputFailed() || !*environment.m_pOut) {
        error(u"cannot write the results (is the output closed or the disk full?)");
        return FindExit::Error;
    }
    if (failed || host.DatabaseFailed()) {
        return FindExit::Error;
    }
    return host.GetFound() > 0 ? FindExit::Found : FindExit::NothingFound;
}

int FindMain(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    std::ios::sync_with_stdio(false);

    std::vector<std::string> args(argv + 1, argv + argc);
    SFindOptions options;
    std::string message;
    if (!ParseFindOptions(args, options, message)) {
        std::cerr << "quarrow-find: " << message << '\n';
        return FindExit::Error;
    }

    struct sigaction action
    {
    };
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);

    SFindEnvironment environment;
    environment.m_pOut = &std::cout;
    environment.m_pErr = &std::cerr;
    environment.m_bTerminal = isatty(STDERR_FILENO) == 1;
    if (const char* password = std::getenv("QUARROW_PASSWORD")) {
        environment.m_password = password;
    }
    environment.m_pInterrupt = &g_bInterrupted;
    // A SQL login to a live server needs its password; a snapshot file needs none.
    const bool liveServer = std::any_of(
        options.m_servers.begin(), options.m_servers.end(),
        [](const std::u16string& name) { return !CSnapshotLibrary::IsSnapshotName(name); });
    if (options.m_login && !environment.m_password && liveServer && !options.m_bHelp) {
        std::string password;
        if (!CPasswordPrompt::Ask("Password for " + ToUtf8(*options.m_login) + ": ", password,
                                  message)) {
            std::cerr << "quarrow-find: " << message << '\n';
            return FindExit::Error;
        }
        environment.m_password = password;
    }
    return RunFind(options, environment);
}
