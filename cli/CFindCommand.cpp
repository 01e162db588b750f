#include "cli/CFindCommand.h"

#include "catalog/CObjectModel.h"
#include "catalog/CSnapshotLibrary.h"
#include "cli/CPasswordPrompt.h"
#include "cli/MatchLines.h"
#include "platform/Utf.h"
#include "search/CExportWriter.h"
#include "search/MatchSpans.h"
#include "search/SearchCoverage.h"

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
                                       const SConnectOptions& options, std::u16string& reason)
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
        server->SetConnectOptions(options);
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
        } else if (m_options.m_format == EFindFormat::Lines) {
            WriteMatchLines(*object, out);
        } else if (m_options.m_format == EFindFormat::Jsonl) {
            WriteJsonObject(*object, out);
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
                std::u16string line = JoinCells(cells);
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

    // The rest is searched; the exit status says that not everything was, and the notes
    // after the rows say what.
    void ReportDatabaseError(const std::u16string& server, const std::u16string& database,
                             const std::u16string& reason) override
    {
        std::lock_guard lock(m_mutex);
        m_coverage.AddDatabase(server, database, reason);
        m_bDatabaseFailed = true;
    }
    void ReportUnreadScript(const std::u16string& server, const std::u16string& database,
                            const std::u16string& type, const std::u16string& object,
                            const std::u16string& reason) override
    {
        std::lock_guard lock(m_mutex);
        m_coverage.AddScript(server, database, type, object, reason);
    }

    // The coverage after the rows: "note:" lines on standard error, and with --format jsonl
    // a last object on standard output that says whether the run was complete.
    void WriteCoverage(bool interrupted)
    {
        std::lock_guard lock(m_mutex);
        ClearProgressLocked();
        if (!m_coverage.IsComplete()) {
            std::ostream& err = *m_environment.m_pErr;
            err << "quarrow-find: note: " << ToUtf8(m_coverage.Summary()) << '\n';
            for (const auto& item : m_coverage.GetItems()) {
                err << "quarrow-find: note: "
                    << (item.m_bDatabase ? "cannot search " : "cannot read the script of ")
                    << ToUtf8(CSearchCoverage::Describe(item)) << '\n';
            }
            err << std::flush;
        }
        if (m_options.m_format == EFindFormat::Jsonl && !m_bOutputFailed) {
            std::string json = "{\"coverage\":{\"complete\":";
            json += m_coverage.IsComplete() && !interrupted ? "true" : "false";
            json += ",\"interrupted\":";
            json += interrupted ? "true" : "false";
            json += ",\"databases\":[";
            bool first = true;
            for (const auto& item : m_coverage.GetItems()) {
                if (!item.m_bDatabase) {
                    continue;
                }
                json += first ? "{" : ",{";
                first = false;
                AppendJsonField(json, "server", item.m_strServer, false);
                AppendJsonField(json, "database", item.m_strDatabase, true);
                AppendJsonField(json, "reason", item.m_strReason, true);
                json += '}';
            }
            json += "],\"scripts\":[";
            first = true;
            for (const auto& item : m_coverage.GetItems()) {
                if (item.m_bDatabase) {
                    continue;
                }
                json += first ? "{" : ",{";
                first = false;
                AppendJsonField(json, "server", item.m_strServer, false);
                AppendJsonField(json, "database", item.m_strDatabase, true);
                AppendJsonField(json, "type", item.m_strType, true);
                AppendJsonField(json, "name", item.m_strObject, true);
                AppendJsonField(json, "reason", item.m_strReason, true);
                json += '}';
            }
            json += "]}}\n";
            std::ostream& out = *m_environment.m_pOut;
            out.write(json.data(), static_cast<std::streamsize>(json.size()));
            out.flush();
            if (!out) {
                m_bOutputFailed = true;
            }
        }
    }

private:
    // Cells of a row or a match line: a tab or line break inside one becomes a space.
    static std::u16string JoinCells(const std::vector<std::u16string>& cells)
    {
        std::u16string line;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (i > 0) {
                line += u'\t';
            }
            for (char16_t c : cells[i]) {
                line += c == u'\t' || c == u'\r' || c == u'\n' ? u' ' : c;
            }
        }
        return line;
    }

    static void AppendJsonField(std::string& json, const char* name, std::u16string_view value,
                                bool comma)
    {
        if (comma) {
            json += ',';
        }
        json += '"';
        json += name;
        json += "\":";
        AppendJsonString(json, value);
    }

    std::vector<SMatchSpan> Spans(const std::u16string& script) const
    {
        const SSearchCriteria& criteria = m_options.m_criteria;
        return FindMatchSpans(script, criteria.m_strContainingText, criteria.m_bRegularExpression,
                              criteria.m_bMatchCase);
    }

    static void Write(std::ostream& out, const std::u16string& text)
    {
        const std::string bytes = ToUtf8(text);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    // --format lines: the object's matching lines (and context), one row each.
    void WriteMatchLines(IDatabaseObject& object, std::ostream& out)
    {
        std::vector<std::u16string> cells(4);
        cells[0] = m_pCurrent->m_strServer;
        cells[1] = m_pCurrent->m_strDatabase;
        object.GetTypeName(cells[2]);
        object.GetName(cells[3]);
        const std::u16string prefix = JoinCells(cells) + u'\t';
        std::u16string script;
        if (!object.Script(script)) {
            return;
        }
        const CScriptLines lines(script);
        const auto selected = SelectMatchLines(lines, Spans(script), m_options.m_nContext);
        for (std::size_t i = 0; i < selected.size(); ++i) {
            const SMatchLine& entry = selected[i];
            // grep's group separator: between groups, and between objects.
            if (m_options.m_nContext > 0 &&
                (entry.m_bGroupStart || (i == 0 && m_bMatchLinePrinted))) {
                out << "--\n";
            }
            std::u16string row = prefix;
            row += quarrow::FromAscii(std::to_string(entry.m_nLine));
            if (!entry.m_bMatch) {
                row += u'-';
            }
            row += u'\t';
            row += lines.Text(entry.m_nLine);
            row += u'\n';
            Write(out, row);
            m_bMatchLinePrinted = true;
        }
    }

    // --format jsonl: one object per found object. A value the library does not deliver is
    // null; size is the script's length as the search counts it (UTF-16 units).
    void WriteJsonObject(IDatabaseObject& object, std::ostream& out)
    {
        std::string json = "{";
        AppendJsonField(json, "server", m_pCurrent->m_strServer, false);
        AppendJsonField(json, "database", m_pCurrent->m_strDatabase, true);
        std::u16string value;
        const auto optional = [&](const char* name, bool delivered) {
            if (delivered) {
                AppendJsonField(json, name, value, true);
            } else {
                json += ",\"";
                json += name;
                json += "\":null";
            }
            value.clear();
        };
        optional("type", object.GetTypeName(value));
        optional("name", object.GetName(value));
        optional("created", object.GetCreateDate(value));
        std::u16string script;
        const bool scripted = object.Script(script);
        json += ",\"size\":";
        json += scripted ? std::to_string(script.size()) : "null";
        json += ",\"matches\":[";
        if (scripted && !m_options.m_criteria.m_strContainingText.empty()) {
            const CScriptLines lines(script);
            bool first = true;
            for (const SMatchLine& entry : SelectMatchLines(lines, Spans(script), 0)) {
                json += first ? "{\"line\":" : ",{\"line\":";
                first = false;
                json += std::to_string(entry.m_nLine);
                json += ",\"text\":";
                AppendJsonString(json, lines.Text(entry.m_nLine));
                json += '}';
            }
        }
        json += "]}\n";
        out.write(json.data(), static_cast<std::streamsize>(json.size()));
    }

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
    bool m_bMatchLinePrinted = false;
    CSearchCoverage m_coverage;
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
    if (options.m_bVersion) {
        *environment.m_pOut << FindVersion() << std::flush;
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
        // A registered server keeps its own encryption unless the command line names one.
        SConnectOptions connectOptions = target.m_connectOptions.value_or(SConnectOptions{});
        if (options.m_encryption) {
            connectOptions.m_encryption = *options.m_encryption;
        }
        if (options.m_bTrustServerCertificate) {
            connectOptions.m_bTrustServerCertificate = true;
        }
        auto server =
            ConnectServer(target.m_strServer, integrated, login, password, connectOptions, reason);
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
    host.WriteCoverage(interrupted);
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
    if (options.m_login && !environment.m_password && liveServer && !options.m_bHelp &&
        !options.m_bVersion) {
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
