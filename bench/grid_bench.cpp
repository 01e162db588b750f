// The result grid under load: 100,000 rows added one by one through AddItem into a sorted
// grid, then a scroll to the bottom and a select-all, each painted. Prints wall times and the
// resident memory the rows cost beyond their cell texts. Runs on the offscreen platform.
//
//   grid_bench [rows] [order] [batch]
//     order: servers (default), random, sorted
//     batch: let the event loop run (layout, paint) after every this many rows; 0: never

#include "controls/CGridBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScrollBar>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// Row texts as a search delivers them: five cells, server first.
std::vector<QString> MakeRows(int nRows, const char* pszOrder, qint64& nCellBytes)
{
    std::mt19937 random(20140305);
    const int nServers = 20;
    std::vector<QString> servers;
    for (int i = 0; i < nServers; ++i)
        servers.push_back(QStringLiteral("SQLSRV%1\\INST%2").arg((i * 7) % nServers).arg(i % 3));
    std::vector<QString> rows;
    rows.reserve(static_cast<size_t>(nRows));
    nCellBytes = 0;
    for (int i = 0; i < nRows; ++i) {
        QString strServer;
        if (std::strcmp(pszOrder, "random") == 0)
            strServer = QStringLiteral("srv%1").arg(random() % 1000000, 6, 10, QLatin1Char('0'));
        else
            strServer = servers[static_cast<size_t>(i * nServers / nRows)];
        const QString strRow = strServer +
                               QStringLiteral("\tdatabase%1\tStored Procedure\t").arg(i % 37) +
                               QStringLiteral("usp_object_%1\t2014-03-05 10:%2:00")
                                   .arg(i)
                                   .arg(i % 60, 2, 10, QLatin1Char('0'));
        nCellBytes += (strRow.size() - 4) * static_cast<qint64>(sizeof(QChar));
        rows.push_back(strRow);
    }
    if (std::strcmp(pszOrder, "sorted") == 0)
        std::stable_sort(rows.begin(), rows.end(), [](const QString& a, const QString& b) {
            return QString::compare(a.section(QLatin1Char('\t'), 0, 0),
                                    b.section(QLatin1Char('\t'), 0, 0), Qt::CaseInsensitive) < 0;
        });
    return rows;
}

double Ms(const QElapsedTimer& timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int nRows = argc > 1 ? std::atoi(argv[1]) : 100000;
    const char* pszOrder = argc > 2 ? argv[2] : "servers";
    const int nBatch = argc > 3 ? std::atoi(argv[3]) : 0;

    CGridBox grid;
    grid.resize(800, 600);
    grid.SetSortAscending(true);
    grid.SetEmptyText(QStringLiteral("No objects found"));
    grid.SetColumnsLine(QStringLiteral("Server\tDatabase\tType\tObject\tCreation Date"));
    grid.show();
    QCoreApplication::processEvents();

    qint64 nCellBytes = 0;
    const std::vector<QString> rows = MakeRows(nRows, pszOrder, nCellBytes);
    const long nBefore = ResidentKiB();

    QElapsedTimer timer;
    timer.start();
    int nAdded = 0;
    for (const QString& strRow : rows) {
        grid.AddItem(strRow, static_cast<qintptr>(&strRow - rows.data()));
        if (nBatch > 0 && ++nAdded % nBatch == 0)
            QCoreApplication::processEvents();
    }
    const double dAdd = Ms(timer);
    timer.restart();
    QCoreApplication::processEvents();
    grid.viewport()->repaint();
    const double dFirstPaint = Ms(timer);
    const long nAfter = ResidentKiB();

    timer.restart();
    grid.scrollToBottom();
    QCoreApplication::processEvents();
    grid.viewport()->repaint();
    const double dScroll = Ms(timer);

    timer.restart();
    grid.selectAll();
    QCoreApplication::processEvents();
    grid.viewport()->repaint();
    const double dSelectAll = Ms(timer);

    timer.restart();
    const int nSelected = grid.CountSelectedItems();
    const int nCurrent = grid.GetCurrentItem();
    const double dCount = Ms(timer);

    timer.restart();
    grid.SelectItem(nRows / 2);
    QCoreApplication::processEvents();
    grid.viewport()->repaint();
    const double dSelectOne = Ms(timer);

    // The export command's work: every row with the defaults, then three columns reordered.
    QTemporaryDir exportDir;
    const QString strAll = exportDir.filePath(QStringLiteral("all.csv"));
    timer.restart();
    const SExportResult all =
        grid.ExportItems(strAll, QStringLiteral(";"), QStringLiteral("\r\n"), false, {}, true);
    const double dExportAll = Ms(timer);
    const double dExportMiB = static_cast<double>(QFileInfo(strAll).size()) / (1024.0 * 1024.0);
    timer.restart();
    const QStringList picked = {QStringLiteral("Object"), QStringLiteral("Server"),
                                QStringLiteral("Type")};
    const SExportResult some =
        grid.ExportItems(exportDir.filePath(QStringLiteral("some.csv")), QStringLiteral("|"),
                         QStringLiteral("\n"), false, picked, true);
    const double dExportSome = Ms(timer);

    const double dDeltaMiB = static_cast<double>(nAfter - nBefore) / 1024.0;
    const double dTextMiB = static_cast<double>(nCellBytes) / (1024.0 * 1024.0);
    std::printf("rows %d, order %s, event loop every %d rows\n", grid.CountItems(), pszOrder,
                nBatch);
    std::printf("AddItem x%d          %9.1f ms\n", nRows, dAdd);
    std::printf("first layout+paint   %9.1f ms\n", dFirstPaint);
    std::printf("scroll to bottom     %9.1f ms\n", dScroll);
    std::printf("select all + paint   %9.1f ms\n", dSelectAll);
    std::printf("count selected (%d), current (%d) %9.1f ms\n", nSelected, nCurrent, dCount);
    std::printf("select one + paint   %9.1f ms\n", dSelectOne);
    std::printf("export all rows      %9.1f ms (%lld rows, %.1f MiB, %.0f MiB/s)\n", dExportAll,
                static_cast<long long>(all.m_nRows), dExportMiB, dExportMiB * 1000.0 / dExportAll);
    std::printf("export 3 columns     %9.1f ms (%lld rows)\n", dExportSome,
                static_cast<long long>(some.m_nRows));
    std::printf("RSS growth           %9.1f MiB (cell texts %.1f MiB, beyond them %.1f MiB)\n",
                dDeltaMiB, dTextMiB, dDeltaMiB - dTextMiB);
    return 0;
}
