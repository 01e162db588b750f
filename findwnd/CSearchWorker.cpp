#include "findwnd/CSearchWorker.h"

#include <QElapsedTimer>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <utility>

struct CSearchWorker::SShared
{
    std::mutex m_mutex;
    std::condition_variable m_cvDone;
    bool m_bWindowAlive = true;
    bool m_bFinished = false;   // the search run has returned
    bool m_bThreadDone = false; // the thread's last step
    bool m_bDropRows = false;
    std::chrono::steady_clock::time_point m_runEnded;
    std::vector<SRow> m_rows;
    std::optional<std::u16string> m_status;
    std::vector<SDatabaseError> m_errors;
    std::vector<SCoverageItem> m_unreadScripts;
    std::atomic<bool> m_bStopRequested{false};
};

// The search run's view of the window: the mailbox, the stop flag, the window's existence.
class CSearchWorker::CHost : public ISearchHost
{
public:
    explicit CHost(std::shared_ptr<SShared> pShared) : m_pShared(std::move(pShared)) {}

    bool IsWindowAlive() override
    {
        std::lock_guard lock(m_pShared->m_mutex);
        return m_pShared->m_bWindowAlive;
    }
    bool IsStopRequested() override { return m_pShared->m_bStopRequested.load(); }
    void SetStatusText(const std::u16string& text) override
    {
        std::lock_guard lock(m_pShared->m_mutex);
        if (m_pShared->m_bWindowAlive)
            m_pShared->m_status = text;
    }
    void AddRow(const std::u16string& rowText, std::shared_ptr<IDatabaseObject> object) override
    {
        std::lock_guard lock(m_pShared->m_mutex);
        if (m_pShared->m_bWindowAlive && !m_pShared->m_bDropRows)
            m_pShared->m_rows.push_back({rowText, std::move(object)});
    }
    void ReportDatabaseError(const std::u16string& server, const std::u16string& database,
                             const std::u16string& reason) override
    {
        std::lock_guard lock(m_pShared->m_mutex);
        if (m_pShared->m_bWindowAlive)
            m_pShared->m_errors.push_back({server, database, reason});
    }
    void ReportUnreadScript(const std::u16string& server, const std::u16string& database,
                            const std::u16string& type, const std::u16string& object,
                            const std::u16string& reason) override
    {
        std::lock_guard lock(m_pShared->m_mutex);
        if (m_pShared->m_bWindowAlive)
            m_pShared->m_unreadScripts.push_back({server, database, type, object, reason, false});
    }
    const std::atomic<bool>* StopFlag() override { return &m_pShared->m_bStopRequested; }

private:
    std::shared_ptr<SShared> m_pShared;
};

CSearchWorker::CSearchWorker(RowSink rowSink, StatusSink statusSink, QObject* pParent)
    : QObject(pParent), m_rowSink(std::move(rowSink)), m_statusSink(std::move(statusSink))
{
#ifdef __GLIBC__
    // A search releases the last one's rows (100,000s of small blocks) and, when it is fast,
    // hands over a burst of new ones at once; glibc then merges every freed small block of
    // its fast bins in one go on the user-interface thread, a pause of 150 ms of CPU for
    // 100,000 rows. Without fast bins freed blocks merge as they are freed.
    static std::once_flag s_noFastBins;
    std::call_once(s_noFastBins, [] { mallopt(M_MXFAST, 0); });
#endif
    m_timer.setInterval(kDrainInterval);
    connect(&m_timer, &QTimer::timeout, this, &CSearchWorker::Drain);
}

CSearchWorker::~CSearchWorker()
{
    if (m_pShared) {
        {
            std::lock_guard lock(m_pShared->m_mutex);
            m_pShared->m_bWindowAlive = false;
            m_pShared->m_rows.clear();
            m_pShared->m_status.reset();
        }
        m_pShared->m_bStopRequested = true;
        CancelCurrentSearch();
    }
    // A thread that has not ended by now keeps its own share of the mailbox and delivers
    // nothing more.
    if (m_thread.joinable()) {
        if (WaitForThread(std::chrono::milliseconds(0)))
            m_thread.join();
        else
            m_thread.detach();
    }
}

bool CSearchWorker::Start(const SSearchCriteria& criteria,
                          std::vector<std::shared_ptr<IModelUnknown>> databases, int nTypeFilter)
{
    if (m_pShared)
        return false;
    if (m_thread.joinable())
        m_thread.join();
    m_backlog.clear();
    m_databaseErrors.clear();
    m_coverage.Clear();
    auto pShared = std::make_shared<SShared>();
    try {
        m_thread =
            std::thread([pShared, criteria, databases = std::move(databases), nTypeFilter]() {
                CHost host(pShared);
                SearchDatabases(host, criteria, databases, nTypeFilter);
                {
                    std::lock_guard lock(pShared->m_mutex);
                    pShared->m_bFinished = true;
                    pShared->m_runEnded = std::chrono::steady_clock::now();
                }
                // The search's references go before the thread says it is done.
                std::lock_guard lock(pShared->m_mutex);
                pShared->m_bThreadDone = true;
                pShared->m_cvDone.notify_all();
            });
    } catch (const std::system_error&) {
        return false;
    }
    m_pShared = std::move(pShared);
    m_timer.start();
    return true;
}

void CSearchWorker::RequestStop()
{
    if (m_pShared)
        m_pShared->m_bStopRequested = true;
    CancelCurrentSearch();
}

bool CSearchWorker::IsStopRequested() const
{
    return m_pShared && m_pShared->m_bStopRequested.load();
}

void CSearchWorker::DropPendingRows()
{
    m_backlog.clear();
    if (!m_pShared)
        return;
    std::lock_guard lock(m_pShared->m_mutex);
    m_pShared->m_bDropRows = true;
    m_pShared->m_rows.clear();
}

bool CSearchWorker::WaitForThread(std::chrono::milliseconds wait)
{
    if (!m_thread.joinable())
        return true;
    // The mailbox of the thread still running: the current one, or the one that Finish let go.
    std::shared_ptr<SShared> pShared = m_pShared ? m_pShared : m_pFinishedShared;
    if (!pShared)
        return true;
    std::unique_lock lock(pShared->m_mutex);
    return pShared->m_cvDone.wait_for(lock, wait, [&] { return pShared->m_bThreadDone; });
}

std::size_t CSearchWorker::PendingRowCount() const
{
    std::size_t nCount = m_backlog.size();
    if (m_pShared) {
        std::lock_guard lock(m_pShared->m_mutex);
        nCount += m_pShared->m_rows.size();
    }
    return nCount;
}

void CSearchWorker::Drain()
{
    if (!m_pShared)
        return;
    std::optional<std::u16string> status;
    bool bFinished = false;
    {
        std::lock_guard lock(m_pShared->m_mutex);
        status.swap(m_pShared->m_status);
        bFinished = m_pShared->m_bFinished;
        if (bFinished)
            m_lastRunEnded = m_pShared->m_runEnded;
        for (SRow& row : m_pShared->m_rows)
            m_backlog.push_back(std::move(row));
        m_pShared->m_rows.clear();
        for (SDatabaseError& error : m_pShared->m_errors) {
            m_coverage.AddDatabase(error.m_strServer, error.m_strDatabase, error.m_strReason);
            m_databaseErrors.push_back(std::move(error));
        }
        m_pShared->m_errors.clear();
        for (SCoverageItem& item : m_pShared->m_unreadScripts)
            m_coverage.AddScript(std::move(item.m_strServer), std::move(item.m_strDatabase),
                                 std::move(item.m_strType), std::move(item.m_strObject),
                                 std::move(item.m_strReason));
        m_pShared->m_unreadScripts.clear();
    }
    // Rows first: a status text that came after them must not show before them.
    QElapsedTimer elapsed;
    elapsed.start();
    std::vector<SRow> step;
    while (!m_backlog.empty() && elapsed.elapsed() < kDrainBudget.count()) {
        step.clear();
        while (!m_backlog.empty() && step.size() < kRowsPerStep) {
            step.push_back(std::move(m_backlog.front()));
            m_backlog.pop_front();
        }
        if (m_rowSink)
            m_rowSink(step);
    }
    if (status && m_statusSink)
        m_statusSink(QString::fromStdU16String(*status));
    if (bFinished && m_backlog.empty())
        Finish();
}

void CSearchWorker::Finish()
{
    m_timer.stop();
    m_pFinishedShared = std::move(m_pShared);
    m_pShared.reset();
    // The run has returned; the thread's last step follows at once.
    if (WaitForThread(std::chrono::milliseconds(1000)) && m_thread.joinable())
        m_thread.join();
    m_pFinishedShared.reset();
    Q_EMIT finished();
}
