// The find window driven through its widgets: start-up, searches on both library flavours,
// Stop, New Search, the type filter, geometry, closing, ticks and the tree's commands.

#include "findwnd/CQuarrowDlg.h"

#include "catalog/CObjectModel.h"
#include "catalog/CRegisteredServerStore.h"
#include "controls/CComboBoxCtrl.h"
#include "controls/CCommandTarget.h"
#include "controls/CDateEdit.h"
#include "controls/CDragGridBox.h"
#include "controls/CNumberEdit.h"
#include "controls/CSuperApp.h"
#include "findwnd/CChkBoxTreeCtrl.h"
#include "findwnd/CClosingDlg.h"
#include "platform/CProfile.h"
#include "res/MenuTable.h"
#include "res/Resource.h"
#include "tests/support/CMemoryLibrary.h"
#include "tests/support/CPopupDriver.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// Every warning fails the test except the offscreen platform's notes about what it cannot do.
void FailOnUnexpectedWarnings()
{
    QTest::failOnWarning(QRegularExpression(u"^(?!This plugin does not support).*"_s));
}

// Holds a search inside one object's script request until the test opens it.
struct SGate
{
    std::atomic<bool> bReached{false};
    std::atomic<bool> bOpen{false};
};

SMemoryObject Proc(std::u16string name, std::u16string created = u"2014-05-15 10:20:00")
{
    return MemObject(std::move(name), ObjectType::StoredProcedure,
                     u"CREATE PROCEDURE x AS SELECT 1", std::move(created));
}

SMemoryDatabase Db(std::u16string name, std::vector<SMemoryObject> objects = {})
{
    SMemoryDatabase db;
    db.name = std::move(name);
    db.objects = std::move(objects);
    return db;
}

SMemoryServer Server(std::u16string name, std::vector<SMemoryDatabase> databases)
{
    SMemoryServer server;
    server.name = std::move(name);
    server.databases = std::move(databases);
    return server;
}

} // namespace

class CQuarrowDlgTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_pFolder;
    std::unique_ptr<CProfile> m_pProfile;
    std::shared_ptr<CMemoryCatalog> m_pCatalog;
    std::shared_ptr<CMemoryLibrary> m_pModern;
    std::shared_ptr<CMemoryLibrary> m_pLegacy;

    void Register(const std::u16string& server)
    {
        CRegisteredServerStore store(*m_pProfile);
        RegisteredServer registration;
        registration.m_strServerName = server;
        QVERIFY(store.SaveServerRegistration(registration));
    }

    std::unique_ptr<CQuarrowDlg> Open()
    {
        auto pDlg = std::make_unique<CQuarrowDlg>(*m_pProfile);
        // An empty tree posts New SQL Server Registration: no modal dialog here.
        pDlg->SetNewRegistrationHandler([] {});
        pDlg->show();
        if (!QTest::qWaitForWindowExposed(pDlg.get()))
            qFatal("the find window was not shown");
        return pDlg;
    }

    static QPushButton* Button(CQuarrowDlg& dlg, int nId)
    {
        return qobject_cast<QPushButton*>(dlg.GetControl(nId));
    }

    static void Click(CQuarrowDlg& dlg, int nId)
    {
        QWidget* pControl = dlg.GetControl(nId);
        QVERIFY(pControl != nullptr);
        QTest::mouseClick(pControl, Qt::LeftButton, {}, QPoint(4, pControl->height() / 2));
    }

    static void TickAll(CQuarrowDlg& dlg)
    {
        CChkBoxTreeCtrl* pTree = dlg.GetLookInTree();
        for (int i = 0; i < pTree->topLevelItemCount(); ++i) {
            QTreeWidgetItem* pServer = pTree->topLevelItem(i);
            for (int j = 0; j < pServer->childCount(); ++j)
                pTree->SetCheck(pServer->child(j), true);
        }
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

    static void FindNowAndWait(CQuarrowDlg& dlg)
    {
        Click(dlg, IDC_FIND_NOW);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.IsWorkerRecorded(), 10000);
    }

    // Five databases of three procedures; the first object of db3 waits at the gate.
    std::shared_ptr<SGate> FiveDatabasesWithGate()
    {
        auto pGate = std::make_shared<SGate>();
        SMemoryServer server;
        server.name = u"SRV";
        for (int d = 1; d <= 5; ++d) {
            SMemoryDatabase db;
            db.name = u"db" + QString::number(d).toStdU16String();
            for (int o = 1; o <= 3; ++o)
                db.objects.push_back(Proc(u"p" + QString::number(d * 10 + o).toStdU16String()));
            if (d == 3) {
                db.objects[0].onScript = [pGate] {
                    pGate->bReached = true;
                    while (!pGate->bOpen)
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                };
            }
            server.databases.push_back(std::move(db));
        }
        m_pCatalog->servers.push_back(std::move(server));
        Register(u"SRV");
        return pGate;
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("QUARROW_OPENER", "/bin/true");
        qputenv("BROWSER", "");
        // The shipped libraries are used here: their server list must never broadcast.
        qputenv("QUARROW_BROWSER_ADDRESS", "127.0.0.1:9");
    }

    void init()
    {
        FailOnUnexpectedWarnings();
        m_pFolder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_pFolder->isValid());
        m_pProfile = std::make_unique<CProfile>(u"Quarrow", m_pFolder->path().toStdString());
        m_pCatalog = std::make_shared<CMemoryCatalog>();
        m_pModern = std::make_shared<CMemoryLibrary>(EFlavour::Modern, m_pCatalog);
        m_pLegacy = std::make_shared<CMemoryLibrary>(EFlavour::Legacy, m_pCatalog);
        CObjectModel::SetLibraries(m_pModern, m_pLegacy);
        CQuarrowDlg::SetClosingHookForTesting({});
        CSuperApp::TakeShownTextsForTesting();
    }

    void cleanup()
    {
        CObjectModel::SetLibraries(nullptr, nullptr);
        m_pProfile.reset();
        m_pFolder.reset();
    }

    void firstStartWithEmptyStore()
    {
        int nRegistrations = 0;
        auto pDlg = std::make_unique<CQuarrowDlg>(*m_pProfile);
        pDlg->SetNewRegistrationHandler([&] { ++nRegistrations; });
        // The command is posted: it runs once the event loop turns.
        QCOMPARE(nRegistrations, 0);
        QVERIFY(pDlg->IsCollapsed());
        QCOMPARE(pDlg->GetLookInTree()->topLevelItemCount(), 0);
        QCOMPARE(pDlg->height(), pDlg->GetCollapsedHeight());
        QCOMPARE(pDlg->GetStatusText(), QString());
        QTRY_COMPARE(nRegistrations, 1);
        QVERIFY(!Button(*pDlg, IDC_STOP)->isEnabled());
        QVERIFY(Button(*pDlg, IDC_FIND_NOW)->isEnabled());
    }

    void registeredServerPostsNoRegistration()
    {
        m_pCatalog->servers.push_back(Server(u"SRV", {Db(u"pubs", {Proc(u"p1")})}));
        Register(u"SRV");
        int nRegistrations = 0;
        auto pDlg = std::make_unique<CQuarrowDlg>(*m_pProfile);
        pDlg->SetNewRegistrationHandler([&] { ++nRegistrations; });
        QTest::qWait(50);
        QCOMPARE(nRegistrations, 0);
    }

    void findNowWithNothingTicked()
    {
        m_pCatalog->servers.push_back(Server(u"SRV", {Db(u"pubs", {Proc(u"p1")})}));
        Register(u"SRV");
        auto pDlg = Open();
        FindNowAndWait(*pDlg);
        QVERIFY(!pDlg->IsCollapsed());
        QCOMPARE(pDlg->GetResultList()->CountItems(), 0);
        QCOMPARE(pDlg->GetResultList()->GetEmptyText(), u"No objects found"_s);
        QCOMPARE(pDlg->GetStatusText(), u"0 object(s) found"_s);
        QVERIFY(Button(*pDlg, IDC_FIND_NOW)->isEnabled());
        QVERIFY(!Button(*pDlg, IDC_STOP)->isEnabled());
    }

    void searchesBothFlavours()
    {
        m_pCatalog->servers.push_back(Server(
            u"SRV1",
            {Db(u"pubs", {Proc(u"usp_Orders"), Proc(u"usp_Audit", u"2009-01-02 03:04:05")})}));
        SMemoryServer legacy =
            Server(u"OLD", {Db(u"accounts", {Proc(u"post_journal", u"May  5 2014 10:20AM")})});
        legacy.acceptsModern = false;
        legacy.acceptsLegacy = true;
        m_pCatalog->servers.push_back(legacy);
        Register(u"SRV1");
        Register(u"OLD");
        auto pDlg = Open();
        TickAll(*pDlg);
        FindNowAndWait(*pDlg);
        const QStringList expected = {
            u"OLD\taccounts\tStored Procedure\tpost_journal\tMay  5 2014 10:20AM"_s,
            u"SRV1\tpubs\tStored Procedure\tusp_Orders\t2014-05-15 10:20:00"_s,
            u"SRV1\tpubs\tStored Procedure\tusp_Audit\t2009-01-02 03:04:05"_s,
        };
        // Sorted on the server; rows of one server keep the order they were found in.
        QCOMPARE(Rows(*pDlg), expected);
        QCOMPARE(pDlg->GetStatusText(), u"3 object(s) found"_s);

        // Dates are shown whole: the last column takes the rest of the list.
        CDragGridBox* pList = pDlg->GetResultList();
        const QHeaderView* pHeader = pList->header();
        QVERIFY(pHeader->sectionSize(4) >
                pList->fontMetrics().horizontalAdvance(u"2009-01-02 03:04:05"_s));
        QCOMPARE(pHeader->sectionViewportPosition(4) + pHeader->sectionSize(4),
                 pList->viewport()->width());
        QVERIFY(pHeader->sectionSize(0) >= 70);
    }

    void searchesTheDemoCatalogues()
    {
        const QString strFolder =
            qEnvironmentVariable("QUARROW_BINARY_DIR") + u"/share/quarrow/catalogues"_s;
        const QString strModern = strFolder + u"/demo.qcat"_s;
        const QString strLegacy = strFolder + u"/demo-legacy.qcat"_s;
        if (!QFile::exists(strModern) || !QFile::exists(strLegacy))
            QSKIP("the demo catalogues are not built");
        CObjectModel::UseDefaultLibraries();
        Register(strModern.toStdU16String());
        Register(strLegacy.toStdU16String());
        auto pDlg = Open();
        TickAll(*pDlg);
        auto* pContaining = qobject_cast<QLineEdit*>(pDlg->GetControl(IDC_CONTAINING_TEXT));
        QTest::keyClicks(pContaining, u"BEGIN TRANSACTION"_s);
        CComboBoxCtrl* pType = pDlg->GetTypeCombo();
        pType->setCurrentIndex(pType->findText(u"Stored Procedure"_s));
        FindNowAndWait(*pDlg);
        const QStringList rows = Rows(*pDlg);
        QVERIFY(rows.size() >= 2);
        // Modern dates as yyyy-mm-dd hh:mm:ss, legacy ones as the old servers wrote them.
        QVERIFY(rows.contains(
            strModern + u"\tHarbourside\tStored Procedure\tusp_PlaceOrder\t2006-04-12 14:20:33"_s));
        QVERIFY(rows.contains(
            strLegacy + u"\tAccounts\tStored Procedure\tpost_journal\tMay  5 2014 10:20AM"_s));
        QCOMPARE(pDlg->GetStatusText(), QString::number(rows.size()) + u" object(s) found"_s);
    }

    // Beside the count, which keeps its words: what the search could not look at, named in
    // the tool tip and listed in the details a click opens.
    void coverageLineAndDetails()
    {
        SMemoryObject secret = Proc(u"secret");
        secret.script.reset();
        secret.scriptError = u"the module is encrypted";
        SMemoryObject hidden = Proc(u"hidden");
        hidden.script.reset();
        SMemoryDatabase gone = Db(u"gone", {Proc(u"never")});
        gone.noObjectList = true;
        m_pCatalog->servers.push_back(
            Server(u"SRV1", {Db(u"pubs", {Proc(u"usp_A"), secret, hidden}), gone,
                             Db(u"clean", {Proc(u"usp_B")})}));
        Register(u"SRV1");
        auto pDlg = Open();
        TickAll(*pDlg);
        auto* pStatusBar = pDlg->findChild<QStatusBar*>();
        QVERIFY(pStatusBar != nullptr);
        const int nStatusHeight = pStatusBar->sizeHint().height();
        QCOMPARE(pDlg->GetCoverageText(), QString());

        FindNowAndWait(*pDlg);
        QCOMPARE(Rows(*pDlg).size(), 2);
        QCOMPARE(pDlg->GetStatusText(), u"2 object(s) found"_s);
        QCOMPARE(pDlg->GetCoverageText(),
                 u"1 database could not be searched, 2 scripts could not be read"_s);
        auto* pLink = pDlg->findChild<QLabel*>(u"coverageLink"_s);
        auto* pStatus = pDlg->findChild<QLabel*>(u"statusText"_s);
        QVERIFY(pLink != nullptr && pStatus != nullptr && pLink->isVisible());
        // Beside the count, in the same bar, which keeps its height.
        QCOMPARE(pLink->parentWidget(), pStatusBar);
        QVERIFY(pLink->geometry().left() >= pStatus->geometry().right());
        QCOMPARE(pStatusBar->sizeHint().height(), nStatusHeight);
        QStringList tip = pDlg->GetStatusToolTip().split(u'\n');
        tip.sort();
        QCOMPARE(tip, (QStringList{
                          u"SRV1..gone: the database gave no list of its objects"_s,
                          u"SRV1..pubs: Stored Procedure hidden: the script could not be read"_s,
                          u"SRV1..pubs: Stored Procedure secret: the module is encrypted"_s,
                      }));

        // Keyboard: the link takes the focus and Return opens the details.
        QVERIFY(pDlg->GetCoverageDialog() == nullptr);
        pDlg->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(pDlg.get()));
        pLink->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(pLink->hasFocus());
        // Tab moves onto the link inside the label, Return follows it.
        QTest::keyClick(pLink, Qt::Key_Tab);
        QVERIFY(pLink->hasFocus());
        QTest::keyClick(pLink, Qt::Key_Return);
        QTRY_VERIFY(pDlg->GetCoverageDialog() != nullptr && pDlg->GetCoverageDialog()->isVisible());
        auto* pList = pDlg->GetCoverageDialog()->findChild<QTreeWidget*>(u"coverageList"_s);
        QVERIFY(pList != nullptr);
        QStringList details;
        for (int i = 0; i < pList->topLevelItemCount(); ++i) {
            QStringList cells;
            for (int c = 0; c < pList->columnCount(); ++c)
                cells << pList->topLevelItem(i)->text(c);
            details << cells.join(u'|');
        }
        details.sort();
        QCOMPARE(details, (QStringList{
                              u"SRV1|gone|||the database gave no list of its objects"_s,
                              u"SRV1|pubs|Stored Procedure|hidden|the script could not be read"_s,
                              u"SRV1|pubs|Stored Procedure|secret|the module is encrypted"_s,
                          }));
        pDlg->GetCoverageDialog()->close();

        // A search that misses nothing hides the link again.
        QTreeWidgetItem* pServer = pDlg->GetLookInTree()->topLevelItem(0);
        for (int i = 0; i < pServer->childCount(); ++i)
            pDlg->GetLookInTree()->SetCheck(pServer->child(i),
                                            pServer->child(i)->text(0) == u"clean"_s);
        FindNowAndWait(*pDlg);
        QCOMPARE(pDlg->GetStatusText(), u"1 object(s) found"_s);
        QCOMPARE(pDlg->GetCoverageText(), QString());
        QVERIFY(!pLink->isVisible());
    }

    // Pictures of the window for the README; runs only when QUARROW_SCREENSHOT_DIR is set.
    void screenshots()
    {
        const QString strOut = qEnvironmentVariable("QUARROW_SCREENSHOT_DIR");
        const QString strCatalogues =
            qEnvironmentVariable("QUARROW_BINARY_DIR") + u"/share/quarrow/catalogues"_s;
        if (strOut.isEmpty() || !QFile::exists(strCatalogues + u"/demo.qcat"_s))
            QSKIP("QUARROW_SCREENSHOT_DIR is not set or the demo catalogues are not built");
        // Bare catalogue names are found below $XDG_DATA_HOME/quarrow/catalogues.
        QVERIFY(QDir(m_pFolder->path()).mkpath(u"data/quarrow"_s));
        QVERIFY(QFile::link(strCatalogues, m_pFolder->filePath(u"data/quarrow/catalogues"_s)));
        qputenv("XDG_DATA_HOME", m_pFolder->filePath(u"data"_s).toUtf8());
        CObjectModel::UseDefaultLibraries();
        Register(u"demo.qcat");
        Register(u"demo-legacy.qcat");
        CRegisteredServerStore store(*m_pProfile);
        store.SetDatabasesUsed({{u"demo.qcat", u"Harbourside", 1},
                                {u"demo.qcat", u"Lending", 1},
                                {u"demo-legacy.qcat", u"Accounts", 1}});
        auto pDlg = Open();
        pDlg->GetLookInTree()->expandAll();
        QTest::qWait(100);
        QVERIFY(pDlg->grab().save(strOut + u"/find-window-collapsed.png"_s));

        auto* pContaining = qobject_cast<QLineEdit*>(pDlg->GetControl(IDC_CONTAINING_TEXT));
        QTest::keyClicks(pContaining, u"BEGIN TRANSACTION"_s);
        FindNowAndWait(*pDlg);
        pDlg->resize(pDlg->width() + 160, pDlg->height() + 140);
        QTest::qWait(100);
        QVERIFY(pDlg->grab().save(strOut + u"/find-window-results.png"_s));
        qunsetenv("XDG_DATA_HOME");
    }

    void criteriaReachTheSearch()
    {
        m_pCatalog->servers.push_back(Server(
            u"SRV", {Db(u"pubs", {Proc(u"usp_Orders"), Proc(u"usp_Audit"), Proc(u"other")})}));
        Register(u"SRV");
        auto pDlg = Open();
        TickAll(*pDlg);
        pDlg->findChild<QTabWidget*>()->setCurrentIndex(2);
        auto* pNamed = qobject_cast<QLineEdit*>(pDlg->GetControl(IDC_NAMED));
        QTest::keyClicks(pNamed, u"^usp_"_s);
        Click(*pDlg, IDC_REGULAR_EXPRESSION);
        FindNowAndWait(*pDlg);
        QCOMPARE(pDlg->GetLastCriteria().m_strNamed, u"^usp_");
        QVERIFY(pDlg->GetLastCriteria().m_bRegularExpression);
        QCOMPARE(pDlg->GetResultList()->CountItems(), 2);
    }

    void stopInTheMiddle()
    {
        const std::shared_ptr<SGate> pGate = FiveDatabasesWithGate();
        auto pDlg = Open();
        TickAll(*pDlg);
        Click(*pDlg, IDC_FIND_NOW);
        QVERIFY(!Button(*pDlg, IDC_FIND_NOW)->isEnabled());
        QVERIFY(Button(*pDlg, IDC_STOP)->isEnabled());
        QTRY_VERIFY(pGate->bReached.load());
        Click(*pDlg, IDC_STOP);
        // Find Now comes back only when the worker has ended.
        QVERIFY(!Button(*pDlg, IDC_FIND_NOW)->isEnabled());
        pGate->bOpen = true;
        QTRY_VERIFY(!pDlg->IsWorkerRecorded());
        QVERIFY(Button(*pDlg, IDC_FIND_NOW)->isEnabled());
        QVERIFY(!Button(*pDlg, IDC_STOP)->isEnabled());
        // The first two databases' rows stay; nothing of the third, fourth or fifth.
        const QStringList rows = Rows(*pDlg);
        QCOMPARE(rows.size(), 6);
        for (const QString& strRow : rows)
            QVERIFY2(strRow.contains(u"\tdb1\t"_s) || strRow.contains(u"\tdb2\t"_s),
                     qPrintable(strRow));
        QCOMPARE(pDlg->GetStatusText(), u"6 object(s) found"_s);
    }

    // Thousands of rows reach the list in many batches: each once, servers in order, and
    // one server's rows in the order they were found.
    void manyRowsArriveInSearchOrder()
    {
        constexpr int kObjects = 900;
        QStringList expected;
        for (const std::u16string& strServer :
             {std::u16string(u"beta"), std::u16string(u"ALPHA")}) {
            SMemoryServer server;
            server.name = strServer;
            for (const char16_t* pszDb : {u"db1", u"db2"}) {
                SMemoryDatabase db;
                db.name = pszDb;
                // Names out of alphabetical order: the list must not sort within a server.
                for (int o = kObjects; o > 0; --o) {
                    const QString strName = u"p"_s + QString::number(o);
                    db.objects.push_back(Proc(strName.toStdU16String()));
                }
                server.databases.push_back(std::move(db));
            }
            m_pCatalog->servers.push_back(std::move(server));
            Register(strServer);
        }
        for (const QString& strServer : {u"ALPHA"_s, u"beta"_s}) {
            for (const QString& strDb : {u"db1"_s, u"db2"_s}) {
                for (int o = kObjects; o > 0; --o)
                    expected << strServer + u'\t' + strDb + u"\tStored Procedure\tp"_s +
                                    QString::number(o) + u"\t2014-05-15 10:20:00"_s;
            }
        }
        auto pDlg = Open();
        TickAll(*pDlg);
        FindNowAndWait(*pDlg);
        const QStringList rows = Rows(*pDlg);
        QCOMPARE(rows.size(), expected.size());
        for (qsizetype i = 0; i < rows.size(); ++i)
            QCOMPARE(rows[i], expected[i]);
        QCOMPARE(pDlg->GetStatusText(), QString::number(expected.size()) + u" object(s) found"_s);
        // A second search replaces the rows rather than adding to them.
        FindNowAndWait(*pDlg);
        QCOMPARE(Rows(*pDlg), rows);
    }

    // Stop while rows stream in: the list keeps exactly the rows found before it, in order
    // (the databases searched whole; a database is delivered once its list is through), and
    // nothing found after it.
    void stopMidStreamLeavesAPrefix()
    {
        constexpr int kDatabases = 8;
        constexpr int kObjects = 250;
        constexpr int kGateDb = 5; // 0-based: five databases come before Stop
        auto pGate = std::make_shared<SGate>();
        SMemoryServer server;
        server.name = u"SRV";
        for (int d = 0; d < kDatabases; ++d) {
            SMemoryDatabase db;
            db.name = (u"db"_s + QString::number(d)).toStdU16String();
            for (int o = 0; o < kObjects; ++o)
                db.objects.push_back(Proc((u"p"_s + QString::number(o)).toStdU16String()));
            if (d == kGateDb) {
                db.objects[0].onScript = [pGate] {
                    pGate->bReached = true;
                    // Bounded: the test opens the gate within seconds or has failed already.
                    for (int i = 0; i < 20000 && !pGate->bOpen; ++i)
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                };
            }
            server.databases.push_back(std::move(db));
        }
        m_pCatalog->servers.push_back(std::move(server));
        Register(u"SRV");
        auto pDlg = Open();
        TickAll(*pDlg);
        Click(*pDlg, IDC_FIND_NOW);
        QTRY_VERIFY_WITH_TIMEOUT(pGate->bReached.load(), 10000);
        Click(*pDlg, IDC_STOP);
        pGate->bOpen = true;
        QTRY_VERIFY_WITH_TIMEOUT(!pDlg->IsWorkerRecorded(), 10000);
        const QStringList rows = Rows(*pDlg);
        QCOMPARE(rows.size(), kGateDb * kObjects);
        for (int i = 0; i < kGateDb * kObjects; ++i)
            QCOMPARE(rows[i], u"SRV\tdb"_s + QString::number(i / kObjects) +
                                  u"\tStored Procedure\tp"_s + QString::number(i % kObjects) +
                                  u"\t2014-05-15 10:20:00"_s);
        QCOMPARE(pDlg->GetStatusText(),
                 QString::number(kGateDb * kObjects) + u" object(s) found"_s);
    }

    void newSearchDuringSearch()
    {
        const std::shared_ptr<SGate> pGate = FiveDatabasesWithGate();
        auto pDlg = Open();
        TickAll(*pDlg);
        Click(*pDlg, IDC_FIND_NOW);
        QTRY_VERIFY(pGate->bReached.load());
        QTRY_COMPARE(pDlg->GetResultList()->CountItems(), 6);
        Click(*pDlg, IDC_NEW_SEARCH);
        QVERIFY(pDlg->IsCollapsed());
        QCOMPARE(pDlg->height(), pDlg->GetCollapsedHeight());
        QCOMPARE(pDlg->GetStatusText(), QString());
        QCOMPARE(pDlg->GetResultList()->CountItems(), 6);
        pGate->bOpen = true;
        QTRY_VERIFY(!pDlg->IsWorkerRecorded());
        QCOMPARE(pDlg->GetResultList()->CountItems(), 6);
    }

    void typeFilterPairs()
    {
        SMemoryServer modern = Server(
            u"NEW",
            {Db(u"sales",
                {Proc(u"proc1"),
                 MemObject(u"fn_Total", ObjectType::UserDefinedFunction,
                           u"CREATE FUNCTION fn_Total() RETURNS int AS BEGIN RETURN 1 END")})});
        SMemoryServer legacy = Server(u"OLD", {Db(u"accounts", {Proc(u"old_proc")})});
        legacy.acceptsModern = false;
        legacy.acceptsLegacy = true;
        m_pCatalog->servers.push_back(modern);
        m_pCatalog->servers.push_back(legacy);
        Register(u"NEW");
        Register(u"OLD");
        auto pDlg = Open();
        TickAll(*pDlg);
        CComboBoxCtrl* pType = pDlg->GetTypeCombo();
        pType->setCurrentIndex(pType->findText(u"User Defined Function"_s));
        FindNowAndWait(*pDlg);
        QCOMPARE(pDlg->GetLastTypeFilter(), ObjectType::UserDefinedFunction);
        QCOMPARE(TypeCodePair(pDlg->GetLastTypeFilter()), std::make_pair(4096, 509));
        // The modern database answers its functions; the legacy one every object.
        const QStringList rows = Rows(*pDlg);
        QCOMPARE(rows.size(), 2);
        QVERIFY(rows[0].startsWith(u"NEW\tsales\t"_s) && rows[0].contains(u"fn_Total"_s));
        QVERIFY(rows[1].startsWith(u"OLD\taccounts\t"_s));
    }

    void typeListIsSorted()
    {
        auto pDlg = std::make_unique<CQuarrowDlg>(*m_pProfile);
        pDlg->SetNewRegistrationHandler([] {});
        CComboBoxCtrl* pType = pDlg->GetTypeCombo();
        QStringList texts;
        for (int i = 0; i < pType->count(); ++i)
            texts << pType->itemText(i);
        const QStringList expected = {QString(),
                                      u"Default"_s,
                                      u"Rule"_s,
                                      u"Stored Procedure"_s,
                                      u"Trigger"_s,
                                      u"User Defined Datatype"_s,
                                      u"User Defined Function"_s,
                                      u"User Table"_s,
                                      u"View"_s};
        QCOMPARE(texts, expected);
        QCOMPARE(pType->currentIndex(), 0);
        auto* pSize = qobject_cast<QComboBox*>(pDlg->GetControl(IDC_SIZE_IS));
        QCOMPARE(pSize->count(), 3);
        QCOMPARE(pSize->itemText(1), u"At least"_s);
    }

    void geometryRules()
    {
        auto pDlg = Open();
        const int nCollapsed = pDlg->GetCollapsedHeight();
        const int nFull = pDlg->GetFullHeight();
        const int nWidth = pDlg->GetInitialWidth();
        QVERIFY(nCollapsed < nFull);
        // Collapsed: wider yes, higher or lower no, narrower than at the start no.
        pDlg->resize(nWidth + 120, nCollapsed + 200);
        QCOMPARE(pDlg->size(), QSize(nWidth + 120, nCollapsed));
        pDlg->resize(nWidth - 50, nCollapsed - 20);
        QCOMPARE(pDlg->size(), QSize(nWidth, nCollapsed));
        // The result list lies below the bottom edge.
        CDragGridBox* pList = pDlg->GetResultList();
        QVERIFY(pList->geometry().top() >= pDlg->GetClientArea()->height());

        FindNowAndWait(*pDlg);
        QCOMPARE(pDlg->height(), nFull);
        pDlg->resize(nWidth - 30, nFull - 30);
        QCOMPARE(pDlg->size(), QSize(nWidth, nFull));
        const QRect initial = pDlg->GetInitialListRect();
        QCOMPARE(pList->geometry(), initial);
        pDlg->resize(nWidth + 100, nFull + 80);
        QCOMPARE(pList->geometry(),
                 QRect(initial.topLeft(), QSize(initial.width() + 100, initial.height() + 80)));
        QVERIFY(pList->isVisible());
        // The separator line spans the width.
        QCOMPARE(pDlg->GetControl(IDC_SEPARATOR_LINE)->width(), nWidth + 100);

        // New Search collapses again, keeping the width.
        Click(*pDlg, IDC_NEW_SEARCH);
        QCOMPARE(pDlg->size(), QSize(nWidth + 100, nCollapsed));
    }

    void escapeClosesThroughQueryClose()
    {
        auto pDlg = Open();
        QTest::keyClick(pDlg.get(), Qt::Key_Escape);
        QVERIFY(!pDlg->isVisible());
        QCOMPARE(pDlg->result(), int(QDialog::Rejected));
    }

    void closingDuringSearch()
    {
        const std::shared_ptr<SGate> pGate = FiveDatabasesWithGate();
        auto pDlg = Open();
        TickAll(*pDlg);
        Click(*pDlg, IDC_FIND_NOW);
        QTRY_VERIFY(pGate->bReached.load());
        bool bNoticeShown = false;
        QTimer::singleShot(200, [&] {
            auto* pNotice = pDlg->findChild<CClosingDlg*>();
            bNoticeShown = pNotice != nullptr && pNotice->isVisible();
            pGate->bOpen = true;
        });
        pDlg->close();
        QVERIFY(bNoticeShown);
        QVERIFY(!pDlg->isVisible());
        QVERIFY(!pDlg->IsWorkerRecorded());
        // The search was told to stop: the third database gave no row.
        for (const QString& strRow : Rows(*pDlg))
            QVERIFY(!strRow.contains(u"\tdb3\t"_s));
    }

    void closingNoticeEndsAfterWorker()
    {
        bool bRecorded = true;
        CClosingDlg notice([&] { return bRecorded; });
        QTimer::singleShot(700, [&] { bRecorded = false; });
        QElapsedTimer elapsed;
        elapsed.start();
        notice.exec();
        // Looked at every 500 ms: once while recorded, then once it is not.
        QCOMPARE(notice.GetPollCount(), 2);
        QVERIFY(elapsed.elapsed() >= 900);
    }

    void destroyedDuringSearchDeliversNothing()
    {
        const std::shared_ptr<SGate> pGate = FiveDatabasesWithGate();
        auto pDlg = Open();
        TickAll(*pDlg);
        Click(*pDlg, IDC_FIND_NOW);
        QTRY_VERIFY(pGate->bReached.load());
        pDlg.reset();
        pGate->bOpen = true;
        // The worker notices the window is gone and ends without touching it.
        QTest::qWait(100);
        QCOMPARE(m_pCatalog->liveObjects.load(), 0L);
    }

    void ticksSurviveASecondStart()
    {
        m_pCatalog->servers.push_back(
            Server(u"HOST\\INST", {Db(u"pubs"), Db(u"north"), Db(u"south")}));
        Register(u"HOST\\INST");
        {
            auto pDlg = std::make_unique<CQuarrowDlg>(*m_pProfile);
            QTreeWidgetItem* pServer = pDlg->GetLookInTree()->topLevelItem(0);
            QCOMPARE(pServer->text(0), u"HOST\\INST"_s);
            QCOMPARE(pServer->childCount(), 3);
            // Ticking with the space bar, as a user does.
            CChkBoxTreeCtrl* pTree = pDlg->GetLookInTree();
            pDlg->show();
            QVERIFY(QTest::qWaitForWindowExposed(pDlg.get()));
            pTree->setFocus();
            pTree->setCurrentItem(pServer->child(1));
            QTest::keyClick(pTree, Qt::Key_Space);
            QCOMPARE(pTree->GetCheck(pServer->child(1)), 1);
            QCOMPARE(pTree->GetCheck(pServer->child(0)), 0);
            QCOMPARE(pTree->GetCheck(pServer), -1);
        }
        auto pDlg = std::make_unique<CQuarrowDlg>(*m_pProfile);
        CChkBoxTreeCtrl* pTree = pDlg->GetLookInTree();
        QTreeWidgetItem* pServer = pTree->topLevelItem(0);
        QCOMPARE(pTree->GetCheck(pServer->child(0)), 0);
        QCOMPARE(pTree->GetCheck(pServer->child(1)), 1);
        QCOMPARE(pTree->GetCheck(pServer->child(2)), 0);
        CRegisteredServerStore store(*m_pProfile);
        QVERIFY(store.IsDatabaseUsed(u"HOST\\INST", u"north"));
    }

    void unavailableServers()
    {
        SMemoryServer refused = Server(u"DOWN", {Db(u"pubs")});
        refused.refuseConnect = true;
        m_pCatalog->servers.push_back(refused);
        m_pCatalog->servers.push_back(Server(u"UP", {Db(u"pubs", {Proc(u"p1")})}));
        Register(u"DOWN");
        Register(u"UP");
        auto pDlg = std::make_unique<CQuarrowDlg>(*m_pProfile);
        CChkBoxTreeCtrl* pTree = pDlg->GetLookInTree();
        QCOMPARE(pTree->topLevelItemCount(), 2);
        QCOMPARE(pTree->topLevelItem(0)->text(0), u"DOWN [not available]"_s);
        QCOMPARE(pTree->topLevelItem(0)->childCount(), 0);
        QCOMPARE(pTree->GetCheck(pTree->topLevelItem(0)), -1);
        QCOMPARE(pTree->topLevelItem(1)->childCount(), 1);
        // Both libraries are there: no error box.
        QVERIFY(CSuperApp::TakeShownTextsForTesting().isEmpty());
    }

    void noLibraryShowsTheErrorForEachServer()
    {
        m_pModern->m_bMissing = true;
        m_pLegacy->m_bMissing = true;
        m_pCatalog->servers.push_back(Server(u"A", {}));
        m_pCatalog->servers.push_back(Server(u"B", {}));
        Register(u"A");
        Register(u"B");
        CSuperApp::PushAnswerForTesting(QMessageBox::Ok);
        CSuperApp::PushAnswerForTesting(QMessageBox::Ok);
        auto pDlg = std::make_unique<CQuarrowDlg>(*m_pProfile);
        const QStringList shown = CSuperApp::TakeShownTextsForTesting();
        QCOMPARE(shown.size(), 2);
        QVERIFY(shown[0].startsWith(
            u"No SQL Server library found. SQLOLE or SQLDMO must be installed.\n Please see Quarrow FAQ on "_s));
        QCOMPARE(pDlg->GetLookInTree()->topLevelItem(1)->text(0), u"B [not available]"_s);
    }

    void removeServerCommand()
    {
        m_pCatalog->servers.push_back(Server(u"SRV", {Db(u"pubs")}));
        SMemoryServer refused = Server(u"DOWN", {});
        refused.refuseConnect = true;
        m_pCatalog->servers.push_back(refused);
        Register(u"SRV");
        Register(u"DOWN");
        auto pDlg = std::make_unique<CQuarrowDlg>(*m_pProfile);
        CChkBoxTreeCtrl* pTree = pDlg->GetLookInTree();
        QMenu* pFile = pDlg->GetMenuBar()->actions().at(0)->menu();
        QAction* pRemove = MenuBuilder::FindAction(pFile, ID_REMOVE_SERVER);
        QVERIFY(pRemove != nullptr);
        const auto removeEnabled = [&] {
            CCommandTarget::UpdateMenu(pFile, pDlg.get());
            return pRemove->isEnabled();
        };
        QVERIFY(!removeEnabled()); // nothing selected
        QTreeWidgetItem* pSrv = pTree->topLevelItem(1);
        QCOMPARE(pSrv->text(0), u"SRV"_s);
        pTree->setCurrentItem(pSrv->child(0));
        QVERIFY(!removeEnabled()); // a database
        pTree->setCurrentItem(pTree->topLevelItem(0));
        QVERIFY(removeEnabled()); // a server
        pRemove->trigger();
        // "DOWN [not available]" is removed from the tree and the store under "DOWN", once
        // the menu has finished with the click.
        QTRY_COMPARE(pTree->topLevelItemCount(), 1);
        CRegisteredServerStore store(*m_pProfile);
        const std::vector<RegisteredServer> left = store.GetServerRegistrations();
        QCOMPARE(left.size(), std::size_t(1));
        QVERIFY(left[0].m_strServerName == u"SRV");
    }

    void treeContextMenuFollowsTheSelection()
    {
        m_pCatalog->servers.push_back(Server(u"SRV", {Db(u"pubs")}));
        Register(u"SRV");
        auto pDlg = Open();
        CChkBoxTreeCtrl* pTree = pDlg->GetLookInTree();
        pTree->expandAll();
        // The real popup, looked at while it is up and closed with Escape.
        const auto rightClick = [&](QTreeWidgetItem* pItem) {
            const QPoint point = pTree->visualItemRect(pItem).center();
            QTest::mousePress(pTree->viewport(), Qt::RightButton, {}, point);
            QTest::mouseRelease(pTree->viewport(), Qt::RightButton, {}, point);
            QContextMenuEvent event(QContextMenuEvent::Mouse, point,
                                    pTree->viewport()->mapToGlobal(point));
            QApplication::sendEvent(pTree->viewport(), &event);
            QMap<int, bool> enabled;
            QMenu* pMenu = PopupDriver::WaitForPopupMenu();
            if (pMenu == nullptr)
                return enabled;
            for (QAction* pAction : pMenu->actions())
                enabled[MenuBuilder::GetCommandId(pAction)] = pAction->isEnabled();
            PopupDriver::DismissPopupMenu();
            return enabled;
        };
        QMap<int, bool> enabled = rightClick(pTree->topLevelItem(0)->child(0));
        QCOMPARE(enabled.value(ID_REMOVE_SERVER, true), false);
        QCOMPARE(enabled.value(ID_NEW_REGISTRATION, false), true);
        enabled = rightClick(pTree->topLevelItem(0));
        QCOMPARE(enabled.value(ID_REMOVE_SERVER, false), true);
    }

    void dateOptionsKeepTypedCriteria()
    {
        auto pDlg = Open();
        auto* pContaining = qobject_cast<QLineEdit*>(pDlg->GetControl(IDC_CONTAINING_TEXT));
        QTest::keyClicks(pContaining, u"BEGIN TRAN"_s);
        auto* pTab = pDlg->findChild<QTabWidget*>();
        pTab->setCurrentIndex(1);
        QVERIFY(!pContaining->isVisible());
        QWidget* pMonths = pDlg->GetControl(IDC_MONTHS);
        QWidget* pFrom = pDlg->GetControl(IDC_DATE_FROM);
        QVERIFY(!pMonths->isEnabled() && !pFrom->isEnabled());

        Click(*pDlg, IDC_PREVIOUS_MONTHS);
        QVERIFY(pMonths->isEnabled());
        QVERIFY(!pFrom->isEnabled());
        QVERIFY(qobject_cast<QRadioButton*>(pDlg->GetControl(IDC_FIND_CREATED))->isChecked());
        QCOMPARE(pContaining->text(), u"BEGIN TRAN"_s);

        Click(*pDlg, IDC_ALL_OBJECTS);
        QVERIFY(!pMonths->isEnabled());
        // "Find all objects created:" brings the last option back.
        Click(*pDlg, IDC_FIND_CREATED);
        QVERIFY(pMonths->isEnabled());
        QVERIFY(!pFrom->isEnabled());
        QVERIFY(qobject_cast<QRadioButton*>(pDlg->GetControl(IDC_PREVIOUS_MONTHS))->isChecked());
        QCOMPARE(pContaining->text(), u"BEGIN TRAN"_s);

        QTest::keyClicks(pMonths, u"3"_s);
        FindNowAndWait(*pDlg);
        QCOMPARE(pDlg->GetLastCriteria().m_nDateMode, 1);
        QCOMPARE(pDlg->GetLastCriteria().m_nCreatedMode, 1);
        QVERIFY(pDlg->GetLastCriteria().m_months.has_value());
        QCOMPARE(*pDlg->GetLastCriteria().m_months, 3.0);
        QCOMPARE(pDlg->GetLastCriteria().m_strContainingText, u"BEGIN TRAN");

        // New Search resets every criterion.
        Click(*pDlg, IDC_NEW_SEARCH);
        QCOMPARE(pContaining->text(), QString());
        QVERIFY(qobject_cast<QRadioButton*>(pDlg->GetControl(IDC_ALL_OBJECTS))->isChecked());
        QVERIFY(!pMonths->isEnabled());
    }

    void namedTakesThirtyCharacters()
    {
        auto pDlg = Open();
        pDlg->findChild<QTabWidget*>()->setCurrentIndex(2);
        auto* pNamed = qobject_cast<QLineEdit*>(pDlg->GetControl(IDC_NAMED));
        QTest::keyClicks(pNamed, QString(40, u'x'));
        QCOMPARE(pNamed->text().size(), 30);
    }

    // A damaged settings file: the window says so once it is up, keeps using what read
    // cleanly, and names the kept copy when its first write sets the file aside.
    void damagedSettingsAreNamedToTheUser()
    {
        m_pCatalog->servers.push_back(Server(u"SRV", {Db(u"pubs")}));
        Register(u"SRV");
        const std::filesystem::path file = m_pProfile->GetStore().GetFilePath();
        {
            std::ofstream out(file, std::ios::app);
            out << "\n[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Quarrow\\Broken]\n"
                   "\"unterminated=\n";
        }
        CSuperApp::TakeShownTextsForTesting();
        CSuperApp::PushAnswerForTesting(QMessageBox::Ok);
        CSuperApp::PushAnswerForTesting(QMessageBox::Ok);
        auto pDlg = Open();
        // The texts are taken once each: the QTRY macros evaluate their expression again.
        QStringList shown;
        const auto takeShown = [&shown] {
            shown += CSuperApp::TakeShownTextsForTesting();
            return !shown.isEmpty();
        };
        QTRY_VERIFY(takeShown());
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].contains(u"is damaged"_s), qPrintable(shown[0]));
        QCOMPARE(pDlg->GetLookInTree()->topLevelItem(0)->text(0), u"SRV"_s);

        // Ticking writes: the damaged original is set aside whole, and named.
        TickAll(*pDlg);
        shown.clear();
        QTRY_VERIFY_WITH_TIMEOUT(takeShown(), 5000);
        QCOMPARE(shown.size(), 1);
        const QString strCopy = shown[0].section(u'\n', 1);
        QVERIFY2(shown[0].contains(u"kept unchanged as"_s) && QFile::exists(strCopy),
                 qPrintable(shown[0]));
        QFile copy(strCopy);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QVERIFY(copy.readAll().contains("\"unterminated="));
        QVERIFY(CRegisteredServerStore(*m_pProfile).IsDatabaseUsed(u"SRV", u"pubs"));
    }

    // What a person types first lands in "Containing text", at start and after New Search,
    // whichever page was showing; Return then searches for it.
    void typingGoesToTheContainingText()
    {
        m_pCatalog->servers.push_back(Server(
            u"SRV",
            {Db(u"pubs", {MemObject(u"p_tran", ObjectType::StoredProcedure, u"BEGIN TRAN"),
                          MemObject(u"p_other", ObjectType::StoredProcedure, u"SELECT 1")})}));
        Register(u"SRV");
        auto pDlg = Open();
        QVERIFY(QTest::qWaitForWindowActive(pDlg.get()));
        TickAll(*pDlg);
        auto* pContaining = qobject_cast<QLineEdit*>(pDlg->GetControl(IDC_CONTAINING_TEXT));
        QWidget* pStatusBar = pDlg->findChild<QStatusBar*>();
        QVERIFY(pStatusBar != nullptr);
        QVERIFY(!pStatusBar->isVisible()); // collapsed: no empty strip

        QTest::keyClicks(QApplication::focusWidget(), u"BEGIN"_s);
        QCOMPARE(pContaining->text(), u"BEGIN"_s);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_VERIFY(!pDlg->IsWorkerRecorded());
        QCOMPARE(Rows(*pDlg),
                 QStringList{u"SRV\tpubs\tStored Procedure\tp_tran\t2014-05-15 10:20:00"_s});
        QVERIFY(pStatusBar->isVisible());

        pDlg->findChild<QTabWidget*>()->setCurrentIndex(2);
        Click(*pDlg, IDC_NEW_SEARCH);
        QVERIFY(!pStatusBar->isVisible());
        QTest::keyClicks(QApplication::focusWidget(), u"SELECT"_s);
        QCOMPARE(pContaining->text(), u"SELECT"_s);
    }

    void tabPagesShowTheirControls()
    {
        auto pDlg = Open();
        auto* pTab = pDlg->findChild<QTabWidget*>();
        QCOMPARE(pTab->count(), 3);
        QCOMPARE(pTab->tabText(0), u"Name && Location"_s);
        QVERIFY(pDlg->GetControl(IDC_LOOKIN_TREE)->isVisible());
        QVERIFY(!pDlg->GetControl(IDC_TYPE)->isVisible());
        pTab->setCurrentIndex(2);
        QVERIFY(!pDlg->GetControl(IDC_LOOKIN_TREE)->isVisible());
        QVERIFY(pDlg->GetControl(IDC_TYPE)->isVisible());
        QVERIFY(pDlg->GetControl(IDC_FIND_NOW)->isVisible());
    }
};

QTEST_MAIN(CQuarrowDlgTest)
#include "CQuarrowDlgTest.moc"
