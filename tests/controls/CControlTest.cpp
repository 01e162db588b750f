// The control mix-in, command routing, context menus and registered messages.

#include "controls/CCommandTarget.h"
#include "controls/CDateEdit.h"
#include "controls/CMessageEvent.h"
#include "controls/CNumberEdit.h"
#include "controls/CSuperApp.h"
#include "controls/CToolTip.h"
#include "platform/CRegionalSettings.h"
#include "res/CDialogBuilder.h"
#include "res/MenuTable.h"
#include "res/Resource.h"
#include "tests/support/CPopupDriver.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

class CTestDialog : public QDialog, public CCommandTarget
{
public:
    CTestDialog() = default;
};

struct SShownMenu
{
    QPointer<QMenu> pMenu;
    QPoint point;
    QMap<int, bool> enabled; // command id -> enabled when shown
    int nCount = 0;
};
SShownMenu g_shown;

// Records the popup that the last step put on screen (a popup shows at once) and closes it
// with Escape unless it is kept for a choice. Nothing is recorded when no popup is up.
void RecordShownMenu(bool bKeepOpen = false)
{
    auto* pMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (pMenu == nullptr || !pMenu->isVisible())
        return;
    g_shown.pMenu = pMenu;
    g_shown.point = pMenu->pos();
    ++g_shown.nCount;
    const QList<QAction*> actions = pMenu->actions();
    for (QAction* pAction : actions)
        g_shown.enabled[MenuBuilder::GetCommandId(pAction)] = pAction->isEnabled();
    if (!bKeepOpen) {
        QTest::keyClick(pMenu, Qt::Key_Escape);
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
    }
}

// A receiver that answers one registered message.
class CAnswering : public QObject
{
public:
    bool event(QEvent* pEvent) override
    {
        if (pEvent->type() == WM_ISMSGENABLED) {
            auto* pMessage = static_cast<CMessageEvent*>(pEvent);
            pMessage->SetAnswer(pMessage->WParam() == WM_COPY ? 1 : 0);
            ++m_nReceived;
            return true;
        }
        return QObject::event(pEvent);
    }
    int m_nReceived = 0;
};

} // namespace

class CControlTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QTest::failOnWarning(QRegularExpression(u"^(?!This plugin does not support).*"_s));
        g_shown = SShownMenu();
        m_pDialog = new CTestDialog;
        m_pDialog->resize(300, 200);
        m_pEdit = new CNumberEdit(m_pDialog);
        CDialogBuilder::SetControlId(m_pEdit, IDC_SIZE);
        m_pEdit->setGeometry(20, 30, 100, 24);
        m_pOther = new CNumberEdit(m_pDialog);
        m_pOther->setGeometry(20, 70, 100, 24);
    }
    void cleanup() { delete m_pDialog; }

    void registeredMessagesAreOnePerName()
    {
        const QEvent::Type type = RegisterWindowMessage(u"WM_VALIDVALUE");
        QCOMPARE(type, WM_VALIDVALUE);
        QVERIFY(type >= QEvent::User);
        QCOMPARE(GetWindowMessageName(WM_SPINUP), u"WM_SPINUP"_s);
        const QList<QEvent::Type> types = {WM_GRIDSELCHANGE,  WM_ISMSGENABLED, CLN_SELCHANGE,
                                           WM_VALIDVALUE,     WM_SPINUP,       WM_SPINDOWN,
                                           WM_SHOWDATEPICKER, DPM_CHANGE,      WM_ERROR_EXIT};
        QCOMPARE(QSet<QEvent::Type>(types.begin(), types.end()).size(), types.size());
    }

    void sendAnswersAndPostArrivesLater()
    {
        CAnswering receiver;
        QCOMPARE(SendMessage(&receiver, WM_ISMSGENABLED, WM_COPY), qintptr(1));
        QCOMPARE(SendMessage(&receiver, WM_ISMSGENABLED, WM_CUT), qintptr(0));
        QCOMPARE(SendMessage(nullptr, WM_ISMSGENABLED, WM_COPY), qintptr(0));
        PostMessage(&receiver, WM_ISMSGENABLED, WM_COPY);
        QCOMPARE(receiver.m_nReceived, 2);
        QTRY_COMPARE(receiver.m_nReceived, 3);
    }

    void contextMenuUpdateRulesRunBeforeShowing()
    {
        int nRuleRuns = 0;
        bool bViewEnabled = false;
        m_pDialog->GetCommandTable().OnUpdate(ID_VIEW_SOURCE, [&](CCmdUI& cmdUI) {
            ++nRuleRuns;
            cmdUI.Enable(bViewEnabled);
        });
        m_pEdit->SetContextMenuId(IDR_MENU_RESULTS);
        ShowActive();

        // The menu key: the client point (-1, -1) in screen coordinates.
        SendMenuKey(m_pEdit);
        RecordShownMenu();
        QCOMPARE(g_shown.nCount, 1);
        QCOMPARE(nRuleRuns, 1);
        QVERIFY(!g_shown.enabled.value(ID_VIEW_SOURCE));
        // Export has neither rule nor handler.
        QVERIFY(!g_shown.enabled.value(ID_EXPORT));
        QCOMPARE(g_shown.point, m_pEdit->mapToGlobal(QPoint(-1, -1)));
        QVERIFY(m_pEdit->hasFocus());

        bViewEnabled = true;
        int nExports = 0;
        m_pDialog->GetCommandTable().OnCommand(ID_EXPORT, [&]() { ++nExports; });
        const QPoint mousePoint = m_pEdit->mapToGlobal(QPoint(5, 6));
        QContextMenuEvent mouseEvent(QContextMenuEvent::Mouse, QPoint(5, 6), mousePoint);
        QApplication::sendEvent(m_pEdit, &mouseEvent);
        RecordShownMenu(true);
        QCOMPARE(g_shown.nCount, 2);
        QCOMPARE(nRuleRuns, 2);
        QCOMPARE(g_shown.point, mousePoint);
        QVERIFY(g_shown.enabled.value(ID_VIEW_SOURCE));
        QVERIFY(g_shown.enabled.value(ID_EXPORT));

        // The chosen command reaches the dialog once the menu has finished with the click.
        QVERIFY(PopupDriver::ChooseCommand(ID_EXPORT));
        QCOMPARE(nExports, 0);
        QTRY_COMPARE(nExports, 1);
        QTRY_VERIFY(g_shown.pMenu.isNull()); // the popup is deleted after use
    }

    void contextMenuTakesTheFocusFirst()
    {
        m_pEdit->SetContextMenuId(IDR_MENU_RESULTS);
        ShowActive();
        m_pOther->setFocus();
        QTRY_VERIFY(m_pOther->hasFocus());
        SendMenuKey(m_pEdit);
        RecordShownMenu();
        QCOMPARE(g_shown.nCount, 1);
        QVERIFY(m_pEdit->hasFocus());
    }

    void noMenuWithoutIdOrWhenDisabled()
    {
        ShowActive();
        m_pEdit->SetContextMenuId(0);
        m_pEdit->ShowContextMenu(m_pEdit, QPoint(-1, -1));
        RecordShownMenu();
        QCOMPARE(g_shown.nCount, 0);

        m_pEdit->SetContextMenuId(IDR_MENU_TREE);
        m_pEdit->setEnabled(false);
        m_pEdit->ShowContextMenu(m_pEdit, QPoint(-1, -1));
        RecordShownMenu();
        QCOMPARE(g_shown.nCount, 0);
    }

    void commandWindowReceivesCommands()
    {
        CTestDialog commandWindow;
        int nRegistrations = 0;
        commandWindow.GetCommandTable().OnCommand(ID_NEW_REGISTRATION, [&]() { ++nRegistrations; });
        m_pEdit->SetContextMenuId(IDR_MENU_TREE);
        m_pEdit->SetCommandWindow(&commandWindow);
        ShowActive();
        m_pEdit->ShowContextMenu(m_pEdit, QPoint(-1, -1));
        RecordShownMenu(true);
        QCOMPARE(g_shown.nCount, 1);
        QVERIFY(g_shown.enabled.value(ID_NEW_REGISTRATION));
        QVERIFY(!g_shown.enabled.value(ID_REMOVE_SERVER));
        QVERIFY(PopupDriver::ChooseCommand(ID_NEW_REGISTRATION));
        QTRY_COMPARE(nRegistrations, 1);
    }

    void menuBarItemsFollowRulesAndHandlers()
    {
        CCommandTarget::Application().OnCommand(ID_APP_EXIT, []() {});
        int nWebRuns = 0;
        m_pDialog->GetCommandTable().OnUpdate(ID_WEB_PRODUCT_NEWS, [&](CCmdUI& cmdUI) {
            ++nWebRuns;
            cmdUI.Enable(true);
        });
        QMenuBar* pBar = MenuBuilder::CreateMenuBar(*MenuTable::Find(IDR_MENU_MAIN), m_pDialog);
        QCOMPARE(pBar->actions().size(), 3); // File, View, Help
        ShowActive();

        QMenu* pFile = pBar->actions().at(0)->menu();
        Q_EMIT pFile->aboutToShow();
        QVERIFY(!MenuBuilder::FindAction(pFile, ID_NEW_REGISTRATION)->isEnabled());
        QVERIFY(MenuBuilder::FindAction(pFile, ID_APP_EXIT)->isEnabled());

        QMenu* pHelp = pBar->actions().at(2)->menu();
        Q_EMIT pHelp->aboutToShow();
        // The submenu's entry takes its first item's rule; its other items have nothing.
        QCOMPARE(nWebRuns, 2);
        QVERIFY(pHelp->actions().at(2)->menu() != nullptr);
        QVERIFY(pHelp->actions().at(2)->isEnabled());
        QVERIFY(MenuBuilder::FindAction(pHelp, ID_WEB_PRODUCT_NEWS)->isEnabled());
        QVERIFY(!MenuBuilder::FindAction(pHelp, ID_WEB_HOME_PAGE)->isEnabled());
        QVERIFY(!MenuBuilder::FindAction(pHelp, IDM_ABOUTBOX)->isEnabled());
        QCOMPARE(MenuBuilder::FindAction(pHelp, ID_HELP_FINDER)->text(), u"Quarrow &Help\tF1"_s);
    }

    void notificationsAndPostedCommandsReachTheParent()
    {
        QList<int> codes;
        m_pDialog->GetCommandTable().OnControl(IDC_SIZE, CControl::kNotifyDblClk,
                                               [&]() { codes.append(2); });
        QVERIFY(m_pEdit->NotifyParent(CControl::kNotifyDblClk));
        QVERIFY(!m_pEdit->NotifyParent(CControl::kNotifySelChange));
        QCOMPARE(codes, QList<int>{2});

        int nPosted = 0;
        m_pDialog->GetCommandTable().OnCommand(ID_NEW_REGISTRATION, [&]() { ++nPosted; });
        CCommandTarget::PostCommand(m_pDialog, ID_NEW_REGISTRATION);
        QCOMPARE(nPosted, 0);
        QTRY_COMPARE(nPosted, 1);
    }

    void promptAndTooltip()
    {
        QStringList prompts;
        CSuperApp::SetMessageBar([&](const QString& strText) { prompts.append(strText); });
        // Tooltips disabled: no tooltip is made.
        m_pEdit->SetPromptText(u"Size in bytes"_s);
        QVERIFY(m_pEdit->GetTooltip() == nullptr);
        m_pEdit->EnableTooltip(true);
        QVERIFY(m_pEdit->GetTooltip() != nullptr);
        QCOMPARE(m_pEdit->GetTooltip()->GetText(), u"Size in bytes"_s);
        QCOMPARE(m_pEdit->GetTooltip()->GetAutoPopDelay(), 32767);
        QCOMPARE(m_pEdit->GetTooltip()->GetInitialDelay(), 0);
        QCOMPARE(m_pEdit->GetTooltip()->GetReshowDelay(), 1);
        m_pEdit->SetPromptText(u"Bytes"_s);
        QCOMPARE(m_pEdit->GetTooltip()->GetText(), u"Bytes"_s);

        ShowActive();
        m_pEdit->setFocus();
        QTRY_VERIFY(m_pEdit->hasFocus());
        QVERIFY(m_pEdit->IsPromptShown());
        m_pOther->setFocus();
        QTRY_VERIFY(m_pOther->hasFocus());
        QVERIFY(!m_pEdit->IsPromptShown());
        QVERIFY(prompts.size() >= 2);
        QCOMPARE(prompts.at(0), u"Bytes"_s);
        QCOMPARE(prompts.at(1), u"Ready"_s); // the idle message
        CSuperApp::SetMessageBar({});

        m_pEdit->EnableTooltip(false);
        QVERIFY(m_pEdit->GetTooltip() == nullptr);
    }

    void messageBoxSeamAnswersWithoutShowing()
    {
        CSuperApp::PushAnswerForTesting(QMessageBox::No);
        QCOMPARE(CSuperApp::AskYesNo(u"Remove the server?"_s), QMessageBox::No);
        CSuperApp::PushAnswerForTesting(QMessageBox::Ok);
        QCOMPARE(CSuperApp::MessageBox(u"Failed"_s, CSuperApp::EIcon::Error), QMessageBox::Ok);
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(),
                 (QStringList{u"Remove the server?"_s, u"Failed"_s}));
    }

    // The line edit's own context menu pastes as Ctrl+V does: through the typing rules.
    void pasteFromTheMenuFollowsTheTypingRules_data()
    {
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("shown");
        QTest::addRow("leading zeros") << u"007"_s << u"7"_s;
        QTest::addRow("letters and spaces") << u"1a2 3"_s << u"123"_s;
        QTest::addRow("minus behind") << u"12-"_s << u"-12"_s;
        QTest::addRow("too many digits") << u"123456789012"_s << u"1234567890"_s;
        QTest::addRow("nothing usable") << u"abc"_s << QString();
    }
    void pasteFromTheMenuFollowsTheTypingRules()
    {
        QFETCH(QString, clipboard);
        QFETCH(QString, shown);
        ShowActive();
        QGuiApplication::clipboard()->setText(clipboard);
        m_pOther->setFocus();
        QTRY_VERIFY(m_pOther->hasFocus());
        QTest::keyClick(m_pOther, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(m_pOther->text(), shown);
        PasteFromMenu(m_pEdit);
        QCOMPARE(m_pEdit->text(), shown);
    }

    void pasteFromTheMenuIntoADateEdit()
    {
        CRegionalSettings::SetShortDate(u"dd/MM/yyyy");
        auto* pDate = new CDateEdit(m_pDialog);
        pDate->setGeometry(20, 110, 120, 24);
        ShowActive();
        QGuiApplication::clipboard()->setText(u"05/03/2014"_s);
        PasteFromMenu(pDate);
        QCOMPARE(pDate->text(), u"05/03/2014"_s);
        CDate date;
        QVERIFY(pDate->GetDate(date));
        QCOMPARE(date, CDate(2014, 3, 5));

        // A read-only edit offers no paste.
        pDate->Clear();
        pDate->setReadOnly(true);
        pDate->setFocus();
        SendMenuKey(pDate);
        QMenu* pMenu = PopupDriver::WaitForPopupMenu();
        QVERIFY(pMenu != nullptr);
        QAction* pPaste = FindPaste(pMenu);
        const bool bOffered = pPaste != nullptr && pPaste->isEnabled();
        QTest::keyClick(pMenu, Qt::Key_Escape);
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
        QVERIFY(!bOffered);
        QCOMPARE(pDate->text(), u"__/__/____"_s);
    }

private:
    void ShowActive()
    {
        m_pDialog->show();
        m_pDialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_pDialog));
    }
    static QAction* FindPaste(QMenu* pMenu)
    {
        for (QAction* pAction : pMenu->actions()) {
            if (pAction->text().startsWith(u"&Paste"_s))
                return pAction;
        }
        return nullptr;
    }
    // Opens the edit's context menu and clicks Paste in it, as a person would.
    static void PasteFromMenu(QWidget* pEdit)
    {
        pEdit->setFocus();
        QTRY_VERIFY(pEdit->hasFocus());
        SendMenuKey(pEdit);
        QMenu* pMenu = PopupDriver::WaitForPopupMenu();
        QVERIFY(pMenu != nullptr);
        QAction* pPaste = FindPaste(pMenu);
        QVERIFY(pPaste != nullptr && pPaste->isEnabled());
        const QPoint point = pMenu->actionGeometry(pPaste).center();
        QTest::mouseMove(pMenu, point);
        QTest::mouseClick(pMenu, Qt::LeftButton, {}, point);
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
    }
    static void SendMenuKey(QWidget* pWidget)
    {
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(3, 3),
                                pWidget->mapToGlobal(QPoint(3, 3)));
        QApplication::sendEvent(pWidget, &event);
    }

    CTestDialog* m_pDialog = nullptr;
    CNumberEdit* m_pEdit = nullptr;
    CNumberEdit* m_pOther = nullptr;
};

QTEST_MAIN(CControlTest)
#include "CControlTest.moc"
