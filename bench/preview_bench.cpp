// The script preview with long scripts: how long the user-interface thread is held when a
// script comes in (SetScript), the longest it then goes without serving a 5 ms heartbeat
// while the colours come in slices, and how long until every line is coloured. Matches are
// found as the preview's reader finds them (FindMatchSpans), off the clock. For comparison, a
// bare QPlainTextEdit taking the same text.
//   preview_bench [megabytes...]     (default: 0.2 2 8)

#include "findwnd/CScriptHighlighter.h"
#include "findwnd/CScriptView.h"
#include "search/MatchSpans.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// A procedure-like script of about this many UTF-16 units, CR LF line ends, one line in
// eight with the needle.
QString Script(qsizetype nUnits)
{
    const QString strPlain = QStringLiteral(
        "    SELECT o.id, o.total FROM dbo.orders o WHERE o.state = 'open' -- x\r\n");
    const QString strNeedle =
        QStringLiteral("    /* audit */ EXEC dbo.usp_audit @id = 1, @note = N'needle'\r\n");
    QString strScript;
    strScript.reserve(nUnits + strPlain.size());
    for (int nLine = 0; strScript.size() < nUnits; ++nLine)
        strScript += nLine % 8 == 7 ? strNeedle : strPlain;
    return strScript;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    std::vector<double> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atof(argv[i]));
    if (sizes.empty())
        sizes = {0.2, 2, 8};

    CScriptView view;
    view.resize(900, 400);
    view.show();
    QPlainTextEdit bare;
    bare.resize(900, 400);
    bare.show();
    std::printf("%8s %8s %8s %14s %14s %14s %14s\n", "MB", "lines", "matches", "SetScript ms",
                "longest gap ms", "all coloured ms", "bare Qt ms");
    for (const double dMegabytes : sizes) {
        const QString strScript = Script(static_cast<qsizetype>(dMegabytes * 1024 * 1024 / 2));
        const std::vector<SMatchSpan> matches =
            FindMatchSpans(strScript.toStdU16String(), u"needle", false, false);

        Clock::time_point last = Clock::now();
        Clock::duration maxGap{};
        QTimer heartbeat;
        heartbeat.setInterval(5);
        heartbeat.setTimerType(Qt::PreciseTimer);
        QObject::connect(&heartbeat, &QTimer::timeout, [&] {
            const Clock::time_point now = Clock::now();
            maxGap = std::max(maxGap, now - last);
            last = now;
        });

        const Clock::time_point started = Clock::now();
        view.SetScript(strScript, matches);
        const Clock::time_point set = Clock::now();
        last = set;
        heartbeat.start();
        while (!view.IsColouringDone())
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        const Clock::time_point done = Clock::now();
        heartbeat.stop();
        const Clock::time_point bareStarted = Clock::now();
        bare.setPlainText(strScript);
        const Clock::duration bareTime = Clock::now() - bareStarted;
        std::printf("%8.1f %8d %8zu %14.1f %14.1f %14.1f %14.1f\n", dMegabytes,
                    view.document()->blockCount(), matches.size(), Ms(set - started), Ms(maxGap),
                    Ms(done - started), Ms(bareTime));
    }
    return 0;
}
