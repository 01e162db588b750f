// The find window on live servers: the real libraries, unixODBC and FreeTDS against the TDS
// test server ($QUARROW_TDS_SERVER) serving the demo catalogues. The window searches the
// server and the same catalogue file side by side; the file's rows are the reference.

#include "catalog/CObjectModel.h"
#include "catalog/CRegisteredServerStore.h"
#include "controls/CDragGridBox.h"
#include "controls/CSuperApp.h"
#include "findwnd/CChkBoxTreeCtrl.h"
#include "findwnd/CQuarrowDlg.h"
#include "findwnd/CSnapshotProgressDlg.h"
#include "platform/CProfile.h"
#include "res/Resource.h"
#include "tests/support/CPopupDriver.h"
#include "tests/support/CRecordingOpener.h"
#include "tests/support/CTdsTestServer.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolTip>
#include <QTreeWidget>
#include <QtTest>
#include <memory>
#include <sqlite3.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QString kLogin = u"quarrow"_s;
const QString kPassword = u"Secret-1"_s;
const QString kText = u"BEGIN TRAN"_s;

QString NameOf(const CTdsTestServer* pServer)
{
    return QString::fromStdU16String(pServer->Name());
}

// The script the catalogue file holds for an object, read with SQLite itself; null when
// there is not exactly one such object or its script is NULL.
QByteArray CatalogueScript(const QString& strFile, const QString& strDatabase,
                           const QString& strName)
{
    sqlite3* pDb = nullptr;
    QByteArray script;
    if (sqlite3_open_v2(QFile::encodeName(strFile).constData(), &pDb, SQLITE_OPEN_READONLY,
                        nullptr) == SQLITE_OK) {
        sqlite3_stmt* pStmt = nullptr;
        const char* pszSql = "SELECT o.script FROM objects o JOIN databases d "
                             "ON d.id = o.database_id WHERE d.name = ?1 AND o.name = ?2";
        const QByteArray database = strDatabase.toUtf8();
        const QByteArray name = strName.toUtf8();
        if (sqlite3_prepare_v2(pDb, pszSql, -1, &pStmt, nullptr) == SQLITE_OK &&
            sqlite3_bind_text(pStmt, 1, database.constData(), int(database.size()),
                              SQLITE_TRANSIENT) == SQLITE_OK &&
            sqlite3_bind_text(pStmt, 2, name.constData(), int(name.size()), SQLITE_TRANSIENT) ==
                SQLITE_OK &&
            sqlite3_step(pStmt) == SQLITE_ROW && sqlite3_column_type(pStmt, 0) == SQLITE_TEXT) {
            const auto* pText = static_cast<const char*>(sqlite3_column_blob(pStmt, 0));
            script = QByteArray(pText, sqlite3_column_bytes(pStmt, 0));
            if (sqlite3_step(pStmt) != SQLITE_DONE)
                script = QByteArray();
        }
        sqlite3_finalize(pStmt);
    }
    sqlite3_close(pDb);
    return script;
}

QStringList Children(const QTreeWidgetItem* pItem)
{
    QStringList names;
    for (int i = 0; pItem != nullptr && i < pItem->childCount(); ++i)
        names << pItem->child(i)->text(0);
    return names;
}

} // namespace

class CLiveWindowTest : public QObject
{
    Q_OBJECT

private:
    QString m_strServerBinary;
    QString m_strCatalogues;
    std::unique_ptr<QTemporaryDir> m_pFolder;
    std::unique_ptr<CProfile> m_pProfile;
    std::unique_ptr<CRecordingOpener> m_pOpener;
    std::vector<std::unique_ptr<CTdsTestServer>> m_servers;

    // A test server on a demo catalogue, logging what it answers into strLog.
    const CTdsTestServer* StartServer(const QString& strCatalogue, const QString& strLog,
                                      const QStringList& extra = {})
    {
        QStringList arguments = {u"--catalogue"_s, m_strCatalogues + u'/' + strCatalogue,
                                 u"--port"_s,      u"0"_s,
                                 u"--log"_s,       m_pFolder->filePath(strLog)};
        arguments << extra;
        std::vector<std::string> args;
        for (const QString& strArgument : std::as_const(arguments))
            args.push_back(strArgument.toStdString());
        m_servers.push_back(
            std::make_unique<CTdsTestServer>(m_strServerBinary.toStdString(), args));
        return m_servers.back()->GetPort() != 0 ? m_servers.back().get() : nullptr;
    }

    QString ServerLog(const QString& strLog) const
    {
        QFile file(m_pFolder->filePath(strLog));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    bool Register(const QString& strServer, const QString& strPassword = kPassword)
    {
        CRegisteredServerStore store(*m_pProfile);
        RegisteredServer registration;
        registration.m_strServerName = strServer.toStdU16String();
        registration.m_strLoginName = kLogin.toStdU16String();
        registration.m_strPassword = strPassword.toStdU16String();
        registration.m_nNTAuthentication = 0;
        return store.SaveServerRegistration(registration);
    }

    std::unique_ptr<CQuarrowDlg> Open()
    {
        auto pDlg = std::make_unique<CQuarrowDlg>(*m_pProfile);
        pDlg->SetNewRegistrationHandler([] {});
        pDlg->show();
        if (!QTest::qWaitForWindowExposed(pDlg.get()))
            qFatal("the find window was not shown");
        pDlg->GetLookInTree()->expandAll();
        return pDlg;
    }

    static QTreeWidgetItem* ServerItem(CQuarrowDlg& dlg, const QString& strText)
    {
        CChkBoxTreeCtrl* pTree = dlg.GetLookInTree();
        for (int i = 0; i < pTree->topLevelItemCount(); ++i) {
            if (pTree->topLevelItem(i)->text(0) == strText)
                return pTree->topLevelItem(i);
        }
        return nullptr;
    }

    // Ticks (or unticks) a database with the space bar, as a user does.
    static bool Toggle(CQuarrowDlg& dlg, QTreeWidgetItem* pItem)
    {
        CChkBoxTreeCtrl* pTree = dlg.GetLookInTree();
        const int nBefore = pTree->GetCheck(pItem);
        pTree->setFocus();
        pTree->setCurrentItem(pItem);
        QTest::keyClick(pTree, Qt::Key_Space);
        return pTree->GetCheck(pItem) == (nBefore == 1 ? 0 : 1);
    }

    static bool TickAll(CQuarrowDlg& dlg, QTreeWidgetItem* pServer)
    {
        for (int i = 0; pServer != nullptr && i < pServer->childCount(); ++i) {
            if (dlg.GetLookInTree()->GetCheck(pServer->child(i)) != 1 &&
                !Toggle(dlg, pServer->child(i)))
                return false;
        }
        return pServer != nullptr;
    }

    static bool TypeContaining(CQuarrowDlg& dlg, const QString& strText)
    {
        auto* pContaining = qobject_cast<QLineEdit*>(dlg.GetControl(IDC_CONTAINING_TEXT));
        if (pContaining == nullptr)
            return false;
        pContaining->clear();
        QTest::keyClicks(pContaining, strText);
        return pContaining->text() == strText;
    }

    // Clicks Find Now; false when the search has not ended within a minute.
    static bool FindNow(CQuarrowDlg& dlg)
    {
        QWidget* pFind = dlg.GetControl(IDC_FIND_NOW);
        if (pFind == nullptr || !pFind->isEnabled())
            return false;
        QTest::mouseClick(pFind, Qt::LeftButton, {}, pFind->rect().center());
        return QTest::qWaitFor([&] { return !dlg.IsWorkerRecorded(); }, 60000);
    }

    static QStringList Rows(CQuarrowDlg& dlg)
    {
        QStringList rows;
        CDragGridBox* pList = dlg.GetResultList();
        for (int i = 0; i < pList->CountItems(); ++i) {
            QString strLine;
            pList->GetItemLine(i, strLine);
            rows << strLine;
        }
        return rows;
    }

    // The rows of the live server with its cell replaced by the file's name, and the file's
    // rows; the answer is the first row of neither, empty when there is none.
    static QString SplitRows(const QStringList& rows, const QString& strLive,
                             const QString& strFile, QStringList& live, QStringList& file)
    {
        for (const QString& strRow : rows) {
            if (strRow.startsWith(strLive + u'\t'))
                live << strFile + strRow.mid(strLive.size());
            else if (strRow.startsWith(strFile + u'\t'))
                file << strRow;
            else
                return strRow;
        }
        return QString();
    }

    // The status bar's tool tip as the user gets it: hovering over the status text.
    static QString HoverStatusBar(CQuarrowDlg& dlg)
    {
        auto* pLabel = dlg.findChild<QLabel*>(u"statusText"_s);
        if (pLabel == nullptr || !pLabel->isVisible())
            return u"<no status text>"_s;
        const QPoint point = pLabel->rect().center();
        QHelpEvent event(QEvent::ToolTip, point, pLabel->mapToGlobal(point));
        QApplication::sendEvent(pLabel, &event);
        if (!QTest::qWaitFor([] { return QToolTip::isVisible(); }, 2000))
            return QString();
        const QString strText = QToolTip::text();
        QToolTip::hideText();
        return strText;
    }

    static QString HoverCoverage(CQuarrowDlg& dlg)
    {
        auto* pLabel = dlg.findChild<QLabel*>(u"coverageLink"_s);
        if (pLabel == nullptr || !pLabel->isVisible())
            return u"<no coverage link>"_s;
        const QPoint point = pLabel->rect().center();
        QHelpEvent event(QEvent::ToolTip, point, pLabel->mapToGlobal(point));
        QApplication::sendEvent(pLabel, &event);
        if (!QTest::qWaitFor([] { return QToolTip::isVisible(); }, 2000))
            return QString();
        const QString strText = QToolTip::text();
        QToolTip::hideText();
        return strText;
    }

    // Clicks the coverage link as a person does; true once the details are shown.
    static bool ClickCoverage(CQuarrowDlg& dlg)
    {
        auto* pLabel = dlg.findChild<QLabel*>(u"coverageLink"_s);
        if (pLabel == nullptr || !pLabel->isVisible())
            return false;
        const QPoint point(pLabel->contentsRect().left() + 4, pLabel->rect().center().y());
        QTest::mouseMove(pLabel, point);
        QTest::mouseClick(pLabel, Qt::LeftButton, {}, point);
        return QTest::qWaitFor(
            [&] {
                return dlg.GetCoverageDialog() != nullptr && dlg.GetCoverageDialog()->isVisible();
            },
            2000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The shipped libraries are used here: their server list must never broadcast.
        qputenv("QUARROW_BROWSER_ADDRESS", "127.0.0.1:9");
        m_strServerBinary = qEnvironmentVariable("QUARROW_TDS_SERVER");
        m_strCatalogues =
            qEnvironmentVariable("QUARROW_BINARY_DIR") + u"/share/quarrow/catalogues"_s;
        if (m_strServerBinary.isEmpty() || !QFileInfo(m_strServerBinary).isExecutable())
            QSKIP("QUARROW_TDS_SERVER does not name the TDS test server");
        if (!QFile::exists(m_strCatalogues + u"/demo.qcat"_s) ||
            !QFile::exists(m_strCatalogues + u"/demo-legacy.qcat"_s))
            QSKIP("the demo catalogues are not built");
        qputenv("BROWSER", "");
    }

    void init()
    {
        QTest::failOnWarning(QRegularExpression(u"^(?!This plugin does not support).*"_s));
        m_pFolder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_pFolder->isValid());
        QVERIFY(QDir().mkpath(m_pFolder->filePath(u"tmp"_s)));
        m_pOpener.reset(); // the old one unsets the variable as it goes
        m_pOpener = std::make_unique<CRecordingOpener>(m_pFolder->path());
        QVERIFY(m_pOpener->IsValid());
        m_pProfile =
            std::make_unique<CProfile>(u"Quarrow", m_pFolder->filePath(u"profile"_s).toStdString());
        CObjectModel::UseDefaultLibraries();
        CSuperApp::TakeShownTextsForTesting();
        // TMPDIR last: the folders above are made in the real temporary folder.
        qputenv("TMPDIR", m_pFolder->filePath(u"tmp"_s).toUtf8());
    }

    void cleanup()
    {
        qunsetenv("TMPDIR");
        CObjectModel::SetLibraries(nullptr, nullptr);
        m_servers.clear();
        m_pOpener.reset();
        m_pProfile.reset();
        m_pFolder.reset();
    }

    void liveRowsEqualTheCatalogueRows_data()
    {
        QTest::addColumn<QString>("catalogue");
        QTest::addColumn<QString>("flavour");
        QTest::addColumn<QStringList>("databases");
        QTest::newRow("modern") << u"demo.qcat"_s << u"modern"_s
                                << QStringList{u"Harbourside"_s, u"Personnel"_s, u"Lending"_s};
        QTest::newRow("legacy") << u"demo-legacy.qcat"_s << u"legacy"_s
                                << QStringList{u"Accounts"_s, u"Stores"_s};
    }

    void liveRowsEqualTheCatalogueRows()
    {
        QFETCH(QString, catalogue);
        QFETCH(QString, flavour);
        QFETCH(QStringList, databases);
        const CTdsTestServer* pServer =
            StartServer(catalogue, u"server.log"_s, {u"--login"_s, kLogin + u':' + kPassword});
        QVERIFY(pServer != nullptr);
        const QString strFile = m_strCatalogues + u'/' + catalogue;
        QVERIFY(Register(NameOf(pServer)));
        QVERIFY(Register(strFile));
        auto pDlg = Open();

        // The tree connected and lists the server's databases as the file does.
        QTreeWidgetItem* pLive = ServerItem(*pDlg, NameOf(pServer));
        QTreeWidgetItem* pFile = ServerItem(*pDlg, strFile);
        QVERIFY(pLive != nullptr && pFile != nullptr);
        QCOMPARE(Children(pLive), databases);
        QCOMPARE(Children(pFile), databases);
        const QString strLog = ServerLog(u"server.log"_s);
        QVERIFY2(strLog.contains(u"login: "_s + kLogin), qPrintable(strLog));

        QVERIFY(TickAll(*pDlg, pLive));
        QVERIFY(TickAll(*pDlg, pFile));
        QVERIFY(TypeContaining(*pDlg, kText));
        QVERIFY(FindNow(*pDlg));
        const QStringList rows = Rows(*pDlg);
        QStringList live;
        QStringList file;
        const QString strStray = SplitRows(rows, NameOf(pServer), strFile, live, file);
        QVERIFY2(strStray.isEmpty(), qPrintable(strStray));
        QVERIFY2(file.size() >= 4, qPrintable(file.join(u'\n')));
        QCOMPARE(live, file);
        QCOMPARE(pDlg->GetStatusText(), QString::number(rows.size()) + CQuarrowDlg::kFoundSuffix);
        // The modern demo has two encrypted procedures: the server and the file name both,
        // each with its own reason, and the count keeps its words.
        if (flavour == u"modern"_s) {
            QCOMPARE(pDlg->GetCoverageText(), u"4 scripts could not be read"_s);
            const QStringList lines = pDlg->GetStatusToolTip().split(u'\n');
            QCOMPARE(lines.size(), 4);
            for (const QString& strSource : {NameOf(pServer), strFile}) {
                QCOMPARE(lines
                             .filter(strSource + u"..Harbourside: Stored Procedure "
                                                 u"usp_PricingSecret: "_s)
                             .size(),
                         1);
                QCOMPARE(lines
                             .filter(strSource + u"..Personnel: Stored Procedure "
                                                 u"usp_SalaryReview: "_s)
                             .size(),
                         1);
            }
            QVERIFY2(lines.filter(u"encrypted"_s).size() == 4, qPrintable(lines.join(u'\n')));
        } else {
            QCOMPARE(pDlg->GetCoverageText(), QString());
            QCOMPARE(pDlg->GetStatusToolTip(), QString());
        }
        // The rows came over the wire with the flavour's own catalogue queries.
        QVERIFY2(ServerLog(u"server.log"_s)
                     .contains(u"quarrow:objects flavour="_s + flavour + u" type="_s),
                 qPrintable(ServerLog(u"server.log"_s)));

        // View Source on the server's first row: the file opened holds the catalogue's script.
        CDragGridBox* pList = pDlg->GetResultList();
        const int nRow = int(rows.indexOf(rows.filter(NameOf(pServer) + u'\t').value(0)));
        QVERIFY(nRow >= 0);
        const QStringList cells = rows[nRow].split(u'\t');
        QCOMPARE(cells.size(), 5);
        const QByteArray script = CatalogueScript(strFile, cells[1], cells[3]);
        QVERIFY2(script.contains("BEGIN TRAN"), qPrintable(cells.join(u' ')));
        const auto scriptReads = [&] {
            return ServerLog(u"server.log"_s).count(u"quarrow:script flavour="_s + flavour);
        };
        const qsizetype nReadsBefore = scriptReads();
        const QModelIndex index = pList->model()->index(nRow, 0);
        pList->scrollTo(index);
        QTest::mouseDClick(pList->viewport(), Qt::LeftButton, {},
                           pList->visualRect(index).center());
        QTRY_COMPARE_WITH_TIMEOUT(m_pOpener->Openings().size(), qsizetype(1), 10000);
        QFile opened(m_pOpener->Openings().at(0));
        QVERIFY(opened.open(QIODevice::ReadOnly));
        QCOMPARE(opened.readAll(), script);
        // Read from the server for the row, not kept from the search: once for the preview of
        // the row the click made current, once for View Source.
        QTRY_COMPARE(scriptReads(), nReadsBefore + 2);
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(), QStringList());
    }

    // A server that refuses the login is not available; the next one still searches.
    void refusedLoginLeavesTheOthersWorking()
    {
        const CTdsTestServer* pRefusing = StartServer(u"demo.qcat"_s, u"refusing.log"_s,
                                                      {u"--login"_s, kLogin + u':' + kPassword});
        const CTdsTestServer* pServer = StartServer(u"demo-legacy.qcat"_s, u"server.log"_s);
        QVERIFY(pRefusing != nullptr && pServer != nullptr);
        QVERIFY(Register(NameOf(pRefusing), u"not the password"_s));
        QVERIFY(Register(NameOf(pServer)));
        auto pDlg = Open();
        QCOMPARE(pDlg->GetLookInTree()->topLevelItemCount(), 2);
        QTreeWidgetItem* pDown = ServerItem(*pDlg, NameOf(pRefusing) + u" [not available]"_s);
        QVERIFY(pDown != nullptr);
        QCOMPARE(pDown->childCount(), 0);
        QVERIFY2(pDown->toolTip(0).contains(u"18456"_s) ||
                     pDown->toolTip(0).contains(u"Login failed"_s),
                 qPrintable(pDown->toolTip(0)));
        // The refusal came from the server, not from a connection that never happened.
        QVERIFY(ServerLog(u"refusing.log"_s).contains(u"login: "_s + kLogin));
        QVERIFY(CSuperApp::TakeShownTextsForTesting().isEmpty());

        QTreeWidgetItem* pUp = ServerItem(*pDlg, NameOf(pServer));
        QVERIFY(pUp != nullptr);
        QCOMPARE(Children(pUp), (QStringList{u"Accounts"_s, u"Stores"_s}));
        QVERIFY(TickAll(*pDlg, pUp));
        QVERIFY(TypeContaining(*pDlg, kText));
        QVERIFY(FindNow(*pDlg));
        const QStringList rows = Rows(*pDlg);
        QVERIFY(rows.size() >= 2);
        for (const QString& strRow : rows)
            QVERIFY2(strRow.startsWith(NameOf(pServer) + u'\t'), qPrintable(strRow));
        QCOMPARE(pDlg->GetStatusText(), QString::number(rows.size()) + CQuarrowDlg::kFoundSuffix);
    }

    void unopenableDatabase_data()
    {
        QTest::addColumn<QString>("catalogue");
        QTest::addColumn<int>("unread");    // encrypted objects in the catalogue
        QTest::addColumn<QString>("plain"); // a database without one
        QTest::newRow("modern") << u"demo.qcat"_s << 2 << u"Lending"_s;
        QTest::newRow("legacy") << u"demo-legacy.qcat"_s << 0 << u"Accounts"_s;
    }

    // A database the login may not open is listed; searching it gives no rows, the others'
    // rows come, and the coverage beside the count says one database could not be searched.
    void unopenableDatabase()
    {
        QFETCH(QString, catalogue);
        QFETCH(int, unread);
        QFETCH(QString, plain);
        const CTdsTestServer* pServer =
            StartServer(catalogue, u"server.log"_s,
                        {u"--unopenable"_s, u"Locked"_s, u"--unopenable"_s, u"Vault"_s});
        QVERIFY(pServer != nullptr);
        const QString strFile = m_strCatalogues + u'/' + catalogue;
        QVERIFY(Register(NameOf(pServer)));
        QVERIFY(Register(strFile));
        auto pDlg = Open();
        QTreeWidgetItem* pLive = ServerItem(*pDlg, NameOf(pServer));
        QTreeWidgetItem* pFile = ServerItem(*pDlg, strFile);
        QVERIFY(pLive != nullptr && pFile != nullptr);
        QCOMPARE(Children(pLive), Children(pFile) + (QStringList{u"Locked"_s, u"Vault"_s}));
        const auto item = [&](const QString& strName) {
            return pLive->child(int(Children(pLive).indexOf(strName)));
        };

        // Everything but Vault: the file's rows, nothing of Locked, and Locked named.
        QVERIFY(TickAll(*pDlg, pLive));
        QVERIFY(Toggle(*pDlg, item(u"Vault"_s)));
        QVERIFY(TickAll(*pDlg, pFile));
        QVERIFY(TypeContaining(*pDlg, kText));
        QVERIFY(FindNow(*pDlg));
        QStringList rows = Rows(*pDlg);
        QStringList live;
        QStringList file;
        const QString strStray = SplitRows(rows, NameOf(pServer), strFile, live, file);
        QVERIFY2(strStray.isEmpty(), qPrintable(strStray));
        QVERIFY(file.size() >= 2);
        QCOMPARE(live, file);
        const QString strLocked = NameOf(pServer) + u"..Locked: "_s;
        // The count keeps its words; the coverage stands beside it.
        QCOMPARE(pDlg->GetStatusText(), QString::number(rows.size()) + CQuarrowDlg::kFoundSuffix);
        QCOMPARE(pDlg->GetCoverageText(), u"1 database could not be searched"_s +
                                              (unread > 0 ? u", "_s + QString::number(2 * unread) +
                                                                u" scripts could not be read"_s
                                                          : QString()));
        QString strTip = pDlg->GetStatusToolTip();
        const QStringList tipLines = strTip.split(u'\n');
        QCOMPARE(tipLines.size(), 1 + 2 * unread);
        QCOMPARE(tipLines.filter(strLocked).size(), 1);
        QVERIFY2(tipLines.filter(strLocked).value(0).contains(u"916"_s), qPrintable(strTip));
        QCOMPARE(HoverCoverage(*pDlg), strTip);

        // One click away: the details list every one, in the order met.
        QVERIFY(ClickCoverage(*pDlg));
        CCoverageDlg* pDetails = pDlg->GetCoverageDialog();
        QVERIFY(pDetails != nullptr && pDetails->isVisible());
        QTreeWidget* pDetailList = pDetails->findChild<QTreeWidget*>(u"coverageList"_s);
        QVERIFY(pDetailList != nullptr);
        QCOMPARE(pDetailList->topLevelItemCount(), 1 + 2 * unread);
        QStringList details;
        for (int i = 0; i < pDetailList->topLevelItemCount(); ++i) {
            QStringList cells;
            for (int c = 0; c < 5; ++c)
                cells << pDetailList->topLevelItem(i)->text(c);
            details << cells.join(u'|');
        }
        const QStringList locked = details.filter(NameOf(pServer) + u"|Locked|||"_s);
        QCOMPARE(locked.size(), 1);
        QVERIFY2(locked[0].contains(u"916"_s), qPrintable(locked[0]));
        if (unread > 0) {
            QCOMPARE(
                details
                    .filter(NameOf(pServer) + u"|Harbourside|Stored Procedure|usp_PricingSecret|"_s)
                    .size(),
                1);
            QCOMPARE(
                details.filter(strFile + u"|Personnel|Stored Procedure|usp_SalaryReview|"_s).size(),
                1);
        }

        // The two that cannot be opened alone: no rows, both named, one line each.
        for (int i = 0; i < pLive->childCount(); ++i) {
            const bool bWanted =
                pLive->child(i) == item(u"Locked"_s) || pLive->child(i) == item(u"Vault"_s);
            if ((pDlg->GetLookInTree()->GetCheck(pLive->child(i)) == 1) != bWanted)
                QVERIFY(Toggle(*pDlg, pLive->child(i)));
        }
        for (int i = 0; i < pFile->childCount(); ++i)
            QVERIFY(Toggle(*pDlg, pFile->child(i)));
        QVERIFY(FindNow(*pDlg));
        QCOMPARE(Rows(*pDlg), QStringList());
        QCOMPARE(pDlg->GetStatusText(), u"0"_s + CQuarrowDlg::kFoundSuffix);
        QCOMPARE(pDlg->GetCoverageText(), u"2 databases could not be searched"_s);
        const QStringList lines = pDlg->GetStatusToolTip().split(u'\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].startsWith(strLocked), qPrintable(lines[0]));
        QVERIFY2(lines[1].startsWith(NameOf(pServer) + u"..Vault: "_s), qPrintable(lines[1]));
        // The open details follow the new search.
        QVERIFY(pDetails->isVisible());
        QCOMPARE(pDetailList->topLevelItemCount(), 2);

        // New Search takes the explanation away with the text.
        QWidget* pNewSearch = pDlg->GetControl(IDC_NEW_SEARCH);
        QTest::mouseClick(pNewSearch, Qt::LeftButton, {}, pNewSearch->rect().center());
        QCOMPARE(pDlg->GetStatusToolTip(), QString());
        QCOMPARE(pDlg->GetCoverageText(), QString());
        QVERIFY(!pDetails->isVisible());

        // A search that reads everything it is given says nothing more, and has no tool tip.
        QVERIFY(TypeContaining(*pDlg, kText));
        QVERIFY(Toggle(*pDlg, item(u"Locked"_s)));
        QVERIFY(Toggle(*pDlg, item(u"Vault"_s)));
        QVERIFY(Toggle(*pDlg, item(plain)));
        QVERIFY(FindNow(*pDlg));
        rows = Rows(*pDlg);
        QVERIFY(!rows.isEmpty());
        QCOMPARE(pDlg->GetStatusText(), QString::number(rows.size()) + CQuarrowDlg::kFoundSuffix);
        QCOMPARE(pDlg->GetCoverageText(), QString());
        QCOMPARE(pDlg->GetStatusToolTip(), QString());
        QCOMPARE(HoverStatusBar(*pDlg), QString());
    }

private:
    // A right click on a server of the tree: the press, the release and the context-menu
    // event the window system sends with them.
    static void ContextClickServer(CQuarrowDlg& dlg, QTreeWidgetItem* pItem)
    {
        CChkBoxTreeCtrl* pTree = dlg.GetLookInTree();
        const QRect rect = pTree->visualItemRect(pItem);
        QTest::mouseClick(pTree->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mousePress(pTree->viewport(), Qt::RightButton, {}, rect.center());
        QTest::mouseRelease(pTree->viewport(), Qt::RightButton, {}, rect.center());
        QContextMenuEvent event(QContextMenuEvent::Mouse, rect.center(),
                                pTree->viewport()->mapToGlobal(rect.center()));
        QApplication::sendEvent(pTree->viewport(), &event);
    }

    // Names the file in the Save As dialog and presses Save.
    static void SaveAs(QFileDialog* pDlg, const QString& strPath)
    {
        auto* pButtons = pDlg->findChild<QDialogButtonBox*>(u"buttonBox"_s);
        auto* pName = pDlg->findChild<QLineEdit*>(u"fileNameEdit"_s);
        QPushButton* pSave =
            pButtons != nullptr ? pButtons->button(QDialogButtonBox::Save) : nullptr;
        if (pSave == nullptr || pName == nullptr)
            return; // left open: the test fails on it
        pDlg->selectFile(strPath);
        pName->setText(strPath);
        pSave->click();
    }

    static QStringList PartFiles(const QString& strFolder)
    {
        return QDir(strFolder).entryList({u"*.part-*"_s}, QDir::Files);
    }

private Q_SLOTS:
    void takeSnapshotFromTheServerMenuAndRegisterIt()
    {
        const CTdsTestServer* pServer =
            StartServer(u"demo.qcat"_s, u"server.log"_s, {u"--login"_s, kLogin + u':' + kPassword});
        QVERIFY(pServer != nullptr);
        QVERIFY(Register(NameOf(pServer)));
        qputenv("XDG_DATA_HOME", m_pFolder->filePath(u"data"_s).toUtf8());
        auto pDlg = Open();
        QTreeWidgetItem* pLive = ServerItem(*pDlg, NameOf(pServer));
        QVERIFY(pLive != nullptr);
        const QStringList databases = Children(pLive);
        QCOMPARE(databases.size(), 3);

        const QString strFile = m_pFolder->filePath(u"taken.qcat"_s);
        PopupDriver::WhenModal<QFileDialog>([&](QFileDialog* pSave) { SaveAs(pSave, strFile); });
        CSuperApp::PushAnswerForTesting(QMessageBox::Yes);
        ContextClickServer(*pDlg, pLive);
        QVERIFY(PopupDriver::ChooseCommand(ID_TAKE_SNAPSHOT));

        // The work runs off the window's thread; once written, the offer to register is
        // answered Yes and the snapshot joins the tree with the server's databases.
        QTRY_VERIFY_WITH_TIMEOUT(ServerItem(*pDlg, strFile) != nullptr, 30000);
        const QStringList shown = CSuperApp::TakeShownTextsForTesting();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown.front().contains(u"Register the snapshot"_s), qPrintable(shown.front()));
        pDlg->GetLookInTree()->expandAll();
        QCOMPARE(Children(ServerItem(*pDlg, strFile)), databases);
        // The file is a snapshot of the server: the same scripts as the catalogue it serves.
        QCOMPARE(
            CatalogueScript(strFile, u"Lending"_s, u"usp_LendCopy"_s),
            CatalogueScript(m_strCatalogues + u"/demo.qcat"_s, u"Lending"_s, u"usp_LendCopy"_s));
        QVERIFY(!CatalogueScript(strFile, u"Lending"_s, u"usp_LendCopy"_s).isEmpty());
        QVERIFY(PartFiles(m_pFolder->path()).isEmpty());
        // Registered for the next start as well.
        bool bRegistered = false;
        for (const RegisteredServer& server :
             CRegisteredServerStore(*m_pProfile).GetServerRegistrations())
            bRegistered = bRegistered || server.m_strServerName == strFile.toStdU16String();
        QVERIFY(bRegistered);
        // A snapshot is not offered a snapshot of itself.
        ContextClickServer(*pDlg, ServerItem(*pDlg, strFile));
        QVERIFY(!PopupDriver::ChooseCommand(ID_TAKE_SNAPSHOT));
        PopupDriver::DismissPopupMenu();
        qunsetenv("XDG_DATA_HOME");
    }

    void cancelledSnapshotLeavesTheOldFileWhole()
    {
        // Rows come slowly, so Cancel surely comes while the worker reads.
        const CTdsTestServer* pServer =
            StartServer(u"demo.qcat"_s, u"server.log"_s,
                        {u"--login"_s, kLogin + u':' + kPassword, u"--slow-rows"_s, u"200"_s});
        QVERIFY(pServer != nullptr);
        QVERIFY(Register(NameOf(pServer)));
        qputenv("XDG_DATA_HOME", m_pFolder->filePath(u"data"_s).toUtf8());
        const QString strFile = m_pFolder->filePath(u"old.qcat"_s);
        QVERIFY(QFile::copy(m_strCatalogues + u"/demo-legacy.qcat"_s, strFile));
        QFile old(strFile);
        QVERIFY(old.open(QIODevice::ReadOnly));
        const QByteArray before = old.readAll();
        old.close();
        auto pDlg = Open();
        QTreeWidgetItem* pLive = ServerItem(*pDlg, NameOf(pServer));
        QVERIFY(pLive != nullptr);

        PopupDriver::WhenModal<QFileDialog>([&](QFileDialog* pSave) {
            // The overwrite question comes from inside Save; answered Yes.
            PopupDriver::WhenModal<QMessageBox>(
                [](QMessageBox* pBox) { pBox->button(QMessageBox::Yes)->click(); });
            SaveAs(pSave, strFile);
        });
        ContextClickServer(*pDlg, pLive);
        QVERIFY(PopupDriver::ChooseCommand(ID_TAKE_SNAPSHOT));
        CSnapshotProgressDlg* pProgress = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((pProgress = pDlg->findChild<CSnapshotProgressDlg*>()) !=
                                         nullptr &&
                                     pProgress->isVisible(),
                                 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!PartFiles(m_pFolder->path()).isEmpty(), 10000);
        auto* pCancel = pProgress->findChild<QPushButton*>(u"snapshotCancel"_s);
        QVERIFY(pCancel != nullptr);
        QTest::mouseClick(pCancel, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(pDlg->findChild<CSnapshotProgressDlg*>() == nullptr, 10000);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), before);
        QVERIFY(PartFiles(m_pFolder->path()).isEmpty());
        // A stop is no error: no box, no offer.
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(), QStringList());
        QCOMPARE(pDlg->GetLookInTree()->topLevelItemCount(), 1);
        qunsetenv("XDG_DATA_HOME");
    }
};

QTEST_MAIN(CLiveWindowTest)
#include "CLiveWindowTest.moc"
