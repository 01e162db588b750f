// The find window under a flood of results: a catalogue whose every object matches, searched
// through the real window. Measures how long after the last match was found the rows are on
// screen, the longest the user-interface thread went without serving a 5 ms heartbeat timer,
// and how long Stop takes to end the search run.
//   findwnd_bench [--walk] CATALOGUE.qcat [stop-after-rows]
// --walk hides the snapshot library's passes (IObjectScan), so the search walks each object
// list one model object at a time, as it did before the passes: the figures to compare with.

#include "catalog/CObjectModel.h"
#include "catalog/CRegisteredServerStore.h"
#include "catalog/CSnapshotLibrary.h"
#include "controls/CDragGridBox.h"
#include "findwnd/CChkBoxTreeCtrl.h"
#include "findwnd/CQuarrowDlg.h"
#include "findwnd/CSearchWorker.h"
#include "platform/CProfile.h"
#include "res/Resource.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Records the longest gap between heartbeat ticks while it runs.
class CHeartbeat
{
public:
    CHeartbeat()
    {
        m_timer.setInterval(5);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const Clock::time_point now = Clock::now();
            m_maxGap = std::max(m_maxGap, now - m_last);
            m_last = now;
        });
    }
    void Start()
    {
        m_maxGap = {};
        m_last = Clock::now();
        m_timer.start();
    }
    Clock::duration Stop()
    {
        m_timer.stop();
        return m_maxGap;
    }

private:
    QTimer m_timer;
    Clock::time_point m_last;
    Clock::duration m_maxGap{};
};

// The snapshot library with its databases' passes hidden: every call is handed on, except
// QueryObjectScan, which answers null as a library without passes does.
class CWalkDatabase : public IDatabase, public std::enable_shared_from_this<CWalkDatabase>
{
public:
    explicit CWalkDatabase(std::shared_ptr<IDatabase> pInner) : m_pInner(std::move(pInner)) {}
    std::shared_ptr<IDatabase> QueryDatabase(EFlavour flavour) override
    {
        return flavour == GetFlavour() ? shared_from_this() : nullptr;
    }
    EFlavour GetFlavour() const override { return m_pInner->GetFlavour(); }
    bool GetName(std::u16string& name) override { return m_pInner->GetName(name); }
    std::shared_ptr<IServer> GetParentServer() override { return m_pInner->GetParentServer(); }
    std::shared_ptr<IObjectList> ListObjects(int typeCode, int sortCode) override
    {
        return m_pInner->ListObjects(typeCode, sortCode);
    }
    std::shared_ptr<IObjectList> ListObjectsUntil(int typeCode, int sortCode,
                                                  const std::atomic<bool>* cancel) override
    {
        return m_pInner->ListObjectsUntil(typeCode, sortCode, cancel);
    }
    void CancelQueries() override { m_pInner->CancelQueries(); }
    std::u16string GetLastError() const override { return m_pInner->GetLastError(); }

private:
    std::shared_ptr<IDatabase> m_pInner;
};

class CWalkUnknown : public IModelUnknown
{
public:
    explicit CWalkUnknown(std::shared_ptr<IModelUnknown> pInner) : m_pInner(std::move(pInner)) {}
    std::shared_ptr<IDatabase> QueryDatabase(EFlavour flavour) override
    {
        auto pDatabase = m_pInner->QueryDatabase(flavour);
        return pDatabase ? std::make_shared<CWalkDatabase>(std::move(pDatabase)) : nullptr;
    }

private:
    std::shared_ptr<IModelUnknown> m_pInner;
};

class CWalkServer : public IServer
{
public:
    explicit CWalkServer(std::shared_ptr<IServer> pInner) : m_pInner(std::move(pInner)) {}
    EFlavour GetFlavour() const override { return m_pInner->GetFlavour(); }
    void SetLoginTimeout(int seconds) override { m_pInner->SetLoginTimeout(seconds); }
    void SetLoginSecure(bool integrated) override { m_pInner->SetLoginSecure(integrated); }
    bool Connect(const std::u16string& server, const std::u16string& login,
                 const std::u16string& password) override
    {
        return m_pInner->Connect(server, login, password);
    }
    std::u16string GetLastError() const override { return m_pInner->GetLastError(); }
    bool GetName(std::u16string& name) override { return m_pInner->GetName(name); }
    long GetDatabaseCount() override { return m_pInner->GetDatabaseCount(); }
    std::shared_ptr<IModelUnknown> GetDatabase(long position) override
    {
        auto pDatabase = m_pInner->GetDatabase(position);
        return pDatabase ? std::make_shared<CWalkUnknown>(std::move(pDatabase)) : nullptr;
    }

private:
    std::shared_ptr<IServer> m_pInner;
};

class CWalkLibrary : public ILibrary
{
public:
    explicit CWalkLibrary(EFlavour flavour) : m_library(flavour) {}
    EFlavour GetFlavour() const override { return m_library.GetFlavour(); }
    std::shared_ptr<IServer> CreateServer() override
    {
        return std::make_shared<CWalkServer>(m_library.CreateServer());
    }
    std::shared_ptr<IApplication> CreateApplication() override
    {
        return m_library.CreateApplication();
    }

private:
    CSnapshotLibrary m_library;
};

void WaitUntil(const std::function<bool()>& fnDone)
{
    while (!fnDone())
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const bool bWalk = argc > 1 && std::strcmp(argv[1], "--walk") == 0;
    if (bWalk) {
        --argc;
        ++argv;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: findwnd_bench [--walk] CATALOGUE.qcat [stop-after-rows]\n");
        return 2;
    }
    const std::u16string catalogue = QString::fromLocal8Bit(argv[1]).toStdU16String();
    const int nStopAfter = argc > 2 ? std::atoi(argv[2]) : 20000;

    QTemporaryDir settings;
    CProfile profile(u"Quarrow", settings.path().toStdString());
    CRegisteredServerStore store(profile);
    RegisteredServer server;
    server.m_strServerName = catalogue;
    store.SaveServerRegistration(server);
    if (bWalk)
        CObjectModel::SetLibraries(std::make_shared<CWalkLibrary>(EFlavour::Modern),
                                   std::make_shared<CWalkLibrary>(EFlavour::Legacy));
    else
        CObjectModel::UseDefaultLibraries();
    std::printf("search by                         %s\n",
                bWalk ? "walking the object lists" : "passes over the snapshot");

    CQuarrowDlg dlg(profile);
    dlg.show();
    CChkBoxTreeCtrl* pTree = dlg.GetLookInTree();
    if (pTree->topLevelItemCount() != 1 || pTree->topLevelItem(0)->childCount() == 0) {
        std::fprintf(stderr, "findwnd_bench: the catalogue could not be opened\n");
        return 1;
    }
    for (int i = 0; i < pTree->topLevelItem(0)->childCount(); ++i)
        pTree->SetCheck(pTree->topLevelItem(0)->child(i), true);
    auto* pFindNow = qobject_cast<QPushButton*>(dlg.GetControl(IDC_FIND_NOW));
    auto* pStop = qobject_cast<QPushButton*>(dlg.GetControl(IDC_STOP));

    // Run 1: every object matches.
    CHeartbeat heartbeat;
    heartbeat.Start();
    const Clock::time_point started = Clock::now();
    pFindNow->click();
    WaitUntil([&] { return !dlg.IsWorkerRecorded(); });
    dlg.repaint(); // the rows are painted, not only in the model
    const Clock::time_point shown = Clock::now();
    const Clock::duration maxGap = heartbeat.Stop();
    const Clock::time_point lastMatch = dlg.GetSearchWorker()->LastRunEnded();
    const int nRows = dlg.GetResultList()->CountItems();
    std::printf("rows found                        %d\n", nRows);
    std::printf("search run (Find Now to last match) %.0f ms\n", Ms(lastMatch - started));
    std::printf("last match to rows on screen      %.0f ms\n", Ms(shown - lastMatch));
    std::printf("longest heartbeat gap (UI thread) %.1f ms\n", Ms(maxGap));

    // Run 2: Find Now releases the 100,000 rows first; then Stop once enough rows are back.
    const Clock::time_point clearing = Clock::now();
    pFindNow->click();
    std::printf("Find Now releasing the old rows   %.1f ms\n", Ms(Clock::now() - clearing));
    heartbeat.Start();
    WaitUntil(
        [&] { return dlg.GetResultList()->CountItems() >= nStopAfter || !dlg.IsWorkerRecorded(); });
    const Clock::time_point stopped = Clock::now();
    pStop->click();
    const int nAtStop = dlg.GetResultList()->CountItems();
    WaitUntil(
        [&] { return dlg.GetSearchWorker()->LastRunEnded() > stopped || !dlg.IsWorkerRecorded(); });
    const Clock::time_point runEnded = dlg.GetSearchWorker()->LastRunEnded();
    WaitUntil([&] { return !dlg.IsWorkerRecorded(); });
    const Clock::time_point buttonsBack = Clock::now();
    std::printf("rows on the list at Stop          %d\n", nAtStop);
    std::printf("Stop to end of the search run     %.1f ms\n", Ms(runEnded - stopped));
    std::printf("Stop to Find Now enabled again    %.1f ms (rows %d)\n", Ms(buttonsBack - stopped),
                dlg.GetResultList()->CountItems());
    std::printf("longest heartbeat gap (UI thread) %.1f ms\n", Ms(heartbeat.Stop()));
    return 0;
}
