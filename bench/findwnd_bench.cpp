// The find window under a flood of results: a catalogue whose every object matches, searched
// through the real window. Measures how long after the last match was found the rows are on
// screen, the longest the user-interface thread went without serving a 5 ms heartbeat timer,
// and how long Stop takes to end the search run.
//   findwnd_bench CATALOGUE.qcat [stop-after-rows]

#include "catalog/CObjectModel.h"
#include "catalog/CRegisteredServerStore.h"
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
    if (argc < 2) {
        std::fprintf(stderr, "usage: findwnd_bench CATALOGUE.qcat [stop-after-rows]\n");
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
    CObjectModel::UseDefaultLibraries();

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
