#pragma once
// The search worker: runs the search run over the ticked databases on a thread of its own
// and hands rows and status texts to the user-interface thread in batches. The thread never
// touches a widget: it fills a mutex-guarded mailbox that a timer on the user-interface
// thread empties every 50 ms into the result list. When the window goes, the mailbox is
// marked dead and the thread stops delivering; it keeps the mailbox alive by itself.

#include "catalog/ObjectModel.h"
#include "search/SearchCoverage.h"
#include "search/SearchRun.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class CSearchWorker : public QObject
{
    Q_OBJECT
public:
    struct SRow
    {
        std::u16string m_strText;
        std::shared_ptr<IDatabaseObject> m_pObject;
    };
    // A database the search could not read, with the reason its library gave.
    struct SDatabaseError
    {
        std::u16string m_strServer;
        std::u16string m_strDatabase;
        std::u16string m_strReason;
    };
    // Where rows go on the user-interface thread; false when the list refused the row.
    using RowSink = std::function<void(std::vector<SRow>& rows)>;
    using StatusSink = std::function<void(const QString& strText)>;

    static constexpr std::chrono::milliseconds kDrainInterval{50};
    // Time the user-interface thread spends adding rows per tick at most.
    static constexpr std::chrono::milliseconds kDrainBudget{40};
    static constexpr std::size_t kRowsPerStep = 256;

    CSearchWorker(RowSink rowSink, StatusSink statusSink, QObject* pParent = nullptr);
    ~CSearchWorker() override;

    // Starts a search; false when one is still running or the thread cannot be made.
    bool Start(const SSearchCriteria& criteria,
               std::vector<std::shared_ptr<IModelUnknown>> databases, int nTypeFilter);
    // True from Start until the last rows have reached the list and finished() was sent.
    bool IsRunning() const { return m_pShared != nullptr; }
    // Sets the stop flag and the current database search's cancel flag. Waits for nothing.
    void RequestStop();
    bool IsStopRequested() const;
    // The window is closing: rows not yet on the list are dropped.
    void DropPendingRows();
    // Waits for the thread's last step for at most the time given; true when it has ended.
    bool WaitForThread(std::chrono::milliseconds wait);
    // Rows not yet on the list (test and benchmark probe).
    std::size_t PendingRowCount() const;
    // The databases the last search could not read, in the order met; complete once
    // finished() has been sent, emptied by Start.
    const std::vector<SDatabaseError>& GetDatabaseErrors() const { return m_databaseErrors; }
    // What the last search could not look at: those databases and the objects whose script
    // could not be read, in the order met; complete once finished() has been sent.
    const CSearchCoverage& GetCoverage() const { return m_coverage; }
    // When the last search run returned, i.e. its last match was found (benchmark probe).
    std::chrono::steady_clock::time_point LastRunEnded() const { return m_lastRunEnded; }

Q_SIGNALS:
    // The search has ended and every row it delivered is on the list (user-interface thread).
    void finished();

private:
    struct SShared;
    class CHost;

    void Drain();
    void Finish();

    RowSink m_rowSink;
    StatusSink m_statusSink;
    QTimer m_timer;
    std::shared_ptr<SShared> m_pShared;
    std::shared_ptr<SShared> m_pFinishedShared; // while Finish waits for the thread
    std::thread m_thread;
    std::deque<SRow> m_backlog; // taken from the mailbox, not yet on the list
    std::vector<SDatabaseError> m_databaseErrors;
    CSearchCoverage m_coverage;
    std::chrono::steady_clock::time_point m_lastRunEnded;
};
