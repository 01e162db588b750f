// Every menu command that opens a dialog or a message box, chosen from the real popup menus
// (right click on the list or the tree, the menu bar) and answered as a person would; then
// the window closes. A command that ran inside the menu's own click handling used to have
// its menu deleted under it by the dialog's event loop.

#include "catalog/CObjectModel.h"
#include "catalog/CRegisteredServerStore.h"
#include "controls/CDragGridBox.h"
#include "controls/CSuperApp.h"
#include "findwnd/CChkBoxTreeCtrl.h"
#include "findwnd/CQuarrowDlg.h"
#include "platform/CProfile.h"
#include "res/Resource.h"
#include "tests/support/CMemoryLibrary.h"
#include "tests/support/CPopupDriver.h"
#include "tests/support/CRecordingOpener.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using namespace PopupDriver;

namespace {

enum class EPlace
{
    ResultRow,  // right click on the first result row
    ServerItem, // right click on the last server of the look-in tree (ZED)
    HelpMenu,   // the menu bar's Help menu
};

// Names the file in the Save As dialog and presses Save. The name is set, not typed: this
// suite is about the menu and the windows it opens (the export tests type into the dialog),
// and on a bare X server keys sent to a window no window manager activated can be lost. A
// dialog that stays open is answered again (CModalAnswer retries) and then fails the test.
void SaveAs(QWidget* pModal, const QString& strPath)
{
    auto* pDlg = qobject_cast<QFileDialog*>(pModal);
    auto* pButtons = pDlg != nullptr ? pDlg->findChild<QDialogButtonBox*>(u"buttonBox"_s) : nullptr;
    QPushButton* pSave = pButtons != nullptr ? pButtons->button(QDialogButtonBox::Save) : nullptr;
    if (pSave == nullptr)
        return; // not the dialog expected: left open, and the test says so
    auto* pName = pDlg->findChild<QLineEdit*>(u"fileNameEdit"_s);
    if (pName == nullptr)
        return;
    pDlg->selectFile(strPath);
    pName->setText(strPath);
    if (pSave->isEnabled())
        pSave->click();
}

} // namespace

class CContextMenuTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_pFolder;
    std::unique_ptr<CProfile> m_pProfile;
    std::shared_ptr<CMemoryCatalog> m_pCatalog;
    std::unique_ptr<CRecordingOpener> m_pOpener;

    // A window on two servers with a search done, SRV's "pubs" ticked by a click.
    std::unique_ptr<CQuarrowDlg> OpenWithResults()
    {
        SMemoryServer server;
        server.name = u"SRV";
        SMemoryDatabase pubs;
        pubs.name = u"pubs";
        pubs.objects = {
            MemObject(u"p_one", ObjectType::StoredProcedure, u"CREATE PROCEDURE p_one"),
            MemObject(u"p_two", ObjectType::StoredProcedure, u"CREATE PROCEDURE p_two")};
        SMemoryDatabase other;
        other.name = u"other";
        server.databases = {pubs, other};
        SMemoryServer second;
        second.name = u"ZED";
        second.databases = {other};
        m_pCatalog->servers = {server, second};
        CRegisteredServerStore store(*m_pProfile);
        for (const char16_t* pszName : {u"SRV", u"ZED"}) {
            RegisteredServer registration;
            registration.m_strServerName = pszName;
            if (!store.SaveServerRegistration(registration))
                qFatal("cannot register");
        }

        auto pDlg = std::make_unique<CQuarrowDlg>(*m_pProfile);
        pDlg->show();
        if (!QTest::qWaitForWindowExposed(pDlg.get()))
            qFatal("the find window was not shown");
        // Under a bare X server no window manager activates it.
        pDlg->activateWindow();
        (void)QTest::qWaitForWindowActive(pDlg.get());
        CChkBoxTreeCtrl* pTree = pDlg->GetLookInTree();
        pTree->expandAll();
        QTreeWidgetItem* pPubs = pTree->topLevelItem(0)->child(0);
        if (pPubs->text(0) != u"pubs"_s)
            qFatal("unexpected tree");
        // The tick box is at the item's left edge, before the icon.
        const QRect rect = pTree->visualItemRect(pPubs);
        QTest::mouseClick(
            pTree->viewport(), Qt::LeftButton, {},
            QPoint(rect.left() +
                       pTree->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, pTree) / 2 +
                       2,
                   rect.center().y()));
        if (pPubs->checkState(0) != Qt::Checked)
            pTree->SetCheck(pPubs, true); // a style with the box elsewhere: tick it directly
        QWidget* pFind = pDlg->GetControl(IDC_FIND_NOW);
        QTest::mouseClick(pFind, Qt::LeftButton, {}, pFind->rect().center());
        if (!QTest::qWaitFor([&] { return !pDlg->IsWorkerRecorded(); }, 10000))
            qFatal("the search did not end");
        return pDlg;
    }

    // Opens the popup at the place as a person would.
    static void OpenMenu(CQuarrowDlg& dlg, EPlace place)
    {
        switch (place) {
        case EPlace::ResultRow: {
            CDragGridBox* pList = dlg.GetResultList();
            const QRect rect = pList->visualRect(pList->model()->index(0, 0));
            QTest::mouseClick(pList->viewport(), Qt::LeftButton, {}, rect.center());
            ContextClick(pList->viewport(), rect.center());
            break;
        }
        case EPlace::ServerItem: {
            CChkBoxTreeCtrl* pTree = dlg.GetLookInTree();
            QTreeWidgetItem* pLast = pTree->topLevelItem(pTree->topLevelItemCount() - 1);
            const QRect rect = pTree->visualItemRect(pLast);
            QTest::mouseClick(pTree->viewport(), Qt::LeftButton, {}, rect.center());
            ContextClick(pTree->viewport(), rect.center());
            break;
        }
        case EPlace::HelpMenu: {
            QMenuBar* pBar = dlg.GetMenuBar();
            const QRect rect = pBar->actionGeometry(pBar->actions().last());
            QTest::mouseClick(pBar, Qt::LeftButton, {}, rect.center());
            break;
        }
        }
    }

    // A right click: the press and release, and the context-menu event the window system
    // sends with them.
    static void ContextClick(QWidget* pViewport, QPoint point)
    {
        QTest::mousePress(pViewport, Qt::RightButton, {}, point);
        QTest::mouseRelease(pViewport, Qt::RightButton, {}, point);
        QContextMenuEvent event(QContextMenuEvent::Mouse, point, pViewport->mapToGlobal(point));
        QApplication::sendEvent(pViewport, &event);
    }

    bool PubsTickStored() const
    {
        return CRegisteredServerStore(*m_pProfile).IsDatabaseUsed(u"SRV", u"pubs");
    }

private Q_SLOTS:
    void init()
    {
        m_pFolder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_pFolder->isValid());
        m_pOpener.reset();
        m_pOpener = std::make_unique<CRecordingOpener>(m_pFolder->path());
        m_pProfile =
            std::make_unique<CProfile>(u"Quarrow", m_pFolder->filePath(u"profile"_s).toStdString());
        m_pCatalog = std::make_shared<CMemoryCatalog>();
        CObjectModel::SetLibraries(std::make_shared<CMemoryLibrary>(EFlavour::Modern, m_pCatalog),
                                   std::make_shared<CMemoryLibrary>(EFlavour::Legacy, m_pCatalog));
        qputenv("TMPDIR", m_pFolder->path().toUtf8());
    }

    void cleanup()
    {
        qunsetenv("TMPDIR");
        CObjectModel::SetLibraries(nullptr, nullptr);
        m_pOpener.reset();
        m_pProfile.reset();
        m_pFolder.reset();
    }

    void commandsOpeningWindows_data()
    {
        QTest::addColumn<int>("place");
        QTest::addColumn<int>("command");
        QTest::addColumn<bool>("opensWindow");
        QTest::newRow("export") << int(EPlace::ResultRow) << int(ID_EXPORT) << true;
        QTest::newRow("view source, the opener fails")
            << int(EPlace::ResultRow) << int(ID_VIEW_SOURCE) << true;
        QTest::newRow("new registration, cancelled")
            << int(EPlace::ServerItem) << int(ID_NEW_REGISTRATION) << true;
        QTest::newRow("remove server") << int(EPlace::ServerItem) << int(ID_REMOVE_SERVER) << false;
        QTest::newRow("about") << int(EPlace::HelpMenu) << int(IDM_ABOUTBOX) << true;
    }

    void commandsOpeningWindows()
    {
        QFETCH(int, place);
        QFETCH(int, command);
        QFETCH(bool, opensWindow);
        auto pDlg = OpenWithResults();
        QCOMPARE(pDlg->GetResultList()->CountItems(), 2);
        // The opener fails, so View Source shows its error box.
        m_pOpener->SetExitStatus(command == ID_VIEW_SOURCE ? 1 : 0);

        const QString strExport = m_pFolder->filePath(u"found.txt"_s);
        CModalAnswer answer(pDlg.get(), [&](QWidget* pModal) {
            if (qobject_cast<QFileDialog*>(pModal) != nullptr)
                SaveAs(pModal, strExport);
            else
                PressEscape(pModal);
        });
        OpenMenu(*pDlg, static_cast<EPlace>(place));
        QVERIFY(ChooseCommand(command));
        if (opensWindow)
            QTRY_COMPARE_WITH_TIMEOUT(answer.Answered(), 1, kWaitMs);
        QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
        QTest::qWait(2 * kPollMs);
        // One window each, and no error box after it (an export's file was written).
        QVERIFY2(answer.Answered() == (opensWindow ? 1 : 0) &&
                     !answer.Titles().join(u',').contains(u"(left open)"_s),
                 qPrintable(answer.Titles().join(u", ")));

        // What each command did, seen from outside.
        switch (command) {
        case ID_EXPORT:
            QTRY_VERIFY(QFile::exists(strExport));
            break;
        case ID_VIEW_SOURCE:
            QCOMPARE(m_pOpener->Openings().size(), 1);
            break;
        case ID_REMOVE_SERVER:
            QTRY_COMPARE(pDlg->GetLookInTree()->topLevelItemCount(), 1);
            QCOMPARE(pDlg->GetLookInTree()->topLevelItem(0)->text(0), u"SRV"_s);
            break;
        default:
            QCOMPARE(pDlg->GetLookInTree()->topLevelItemCount(), 2);
            break;
        }
        // The window goes on working after the menu, then closes cleanly.
        QWidget* pFind = pDlg->GetControl(IDC_FIND_NOW);
        QTest::mouseClick(pFind, Qt::LeftButton, {}, pFind->rect().center());
        QTRY_VERIFY(!pDlg->IsWorkerRecorded());
        pDlg->close();
        pDlg.reset();
        QVERIFY(PubsTickStored());
    }

    void menuClosedWithoutChoiceRunsNothing()
    {
        auto pDlg = OpenWithResults();
        OpenMenu(*pDlg, EPlace::ServerItem);
        QVERIFY(DismissPopupMenu());
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
        QTest::qWait(50);
        QCOMPARE(pDlg->GetLookInTree()->topLevelItemCount(), 2);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    void ticksAreStoredSoonAfterTheyChange()
    {
        auto pDlg = OpenWithResults();
        // Stored while the window is still open: an abnormal end would not lose them.
        QTRY_VERIFY_WITH_TIMEOUT(PubsTickStored(), 3000);
        CChkBoxTreeCtrl* pTree = pDlg->GetLookInTree();
        pTree->SetCheck(pTree->topLevelItem(1)->child(0), true);
        pTree->SetCheck(pTree->topLevelItem(0)->child(0), false);
        QTRY_VERIFY_WITH_TIMEOUT(!PubsTickStored(), 3000);
        QVERIFY(CRegisteredServerStore(*m_pProfile).IsDatabaseUsed(u"ZED", u"other"));
    }
};

QTEST_MAIN(CContextMenuTest)
#include "CContextMenuTest.moc"
