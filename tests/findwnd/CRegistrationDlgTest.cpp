// The server registration dialogs driven through their widgets, alone and from the find
// window's New SQL Server Registration and Remove SQL Server commands, with the settings
// checked after each.

#include "catalog/CObjectModel.h"
#include "catalog/CRegisteredServerStore.h"
#include "controls/CCommandTarget.h"
#include "controls/CSuperApp.h"
#include "findwnd/CChkBoxTreeCtrl.h"
#include "findwnd/CNewSQLServerRegistrationDlg.h"
#include "findwnd/CQuarrowDlg.h"
#include "findwnd/CSelectActiveSQLServerDlg.h"
#include "platform/CProfile.h"
#include "res/CDialogBuilder.h"
#include "res/Resource.h"
#include "tests/support/CMemoryLibrary.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kTooLong = u"Enter no more than 30 characters."_s;

// Runs fnDrive on the modal dialog with this object name as soon as it is up. A dialog that
// never comes fails the test instead of hanging it.
void WhenModal(const QString& strName, std::function<void(QDialog*)> fnDrive)
{
    auto* pTimer = new QTimer(qApp);
    auto pClock = std::make_shared<QElapsedTimer>();
    pClock->start();
    QObject::connect(pTimer, &QTimer::timeout, pTimer, [=] {
        auto* pDlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (pDlg != nullptr && pDlg->objectName() == strName && pDlg->isVisible()) {
            pTimer->stop();
            pTimer->deleteLater();
            fnDrive(pDlg);
        } else if (pClock->elapsed() > 10000) {
            pTimer->stop();
            pTimer->deleteLater();
            QTest::qFail(qPrintable(strName + u" did not open"_s), __FILE__, __LINE__);
        }
    });
    pTimer->start(5);
}

template <class T>
T* Control(const QWidget* pDlg, int nId)
{
    T* pControl = qobject_cast<T*>(CDialogBuilder::FindControl(pDlg, nId));
    if (pControl == nullptr)
        qFatal("control %d missing", nId);
    return pControl;
}

void Click(const QWidget* pDlg, int nId)
{
    auto* pButton = Control<QAbstractButton>(pDlg, nId);
    QTest::mouseClick(pButton, Qt::LeftButton, {}, QPoint(4, pButton->height() / 2));
}

// Waits until the select-server dialog's list has arrived.
void WaitListed(QDialog* pSelect)
{
    auto* pDlg = qobject_cast<CSelectActiveSQLServerDlg*>(pSelect);
    QVERIFY(pDlg != nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(!pDlg->IsListing(), 10000);
}

// Clicks the list entry with this text; none when it is empty.
void PickAndOk(QDialog* pSelect, const QString& strEntry)
{
    WaitListed(pSelect);
    auto* pList = Control<QListWidget>(pSelect, IDC_SERVER_LIST);
    const QList<QListWidgetItem*> found = pList->findItems(strEntry, Qt::MatchExactly);
    if (!strEntry.isEmpty() && !found.isEmpty())
        QTest::mouseClick(pList->viewport(), Qt::LeftButton, {},
                          pList->visualItemRect(found.front()).center());
    Click(pSelect, IDOK);
}

// Opens the combo box's list and clicks the entry.
void PickEntry(QComboBox* pCombo, const QString& strEntry)
{
    const int nIndex = pCombo->findText(strEntry);
    QVERIFY2(nIndex >= 0, qPrintable(strEntry));
    pCombo->showPopup();
    QAbstractItemView* pView = pCombo->view();
    QTRY_VERIFY(pView->isVisible());
    const QRect rect = pView->visualRect(pView->model()->index(nIndex, 0));
    QTest::mouseClick(pView->viewport(), Qt::LeftButton, {}, rect.center());
    QTRY_VERIFY(!pView->isVisible());
}

QStringList Entries(const QListWidget* pList)
{
    QStringList entries;
    for (int i = 0; i < pList->count(); ++i)
        entries << pList->item(i)->text();
    return entries;
}

SMemoryServer Server(std::u16string name, bool bRefuse = false)
{
    SMemoryServer server;
    server.name = std::move(name);
    server.databases.push_back(SMemoryDatabase{u"pubs", {}, false, {}, {}});
    server.databases.push_back(SMemoryDatabase{u"north", {}, false, {}, {}});
    server.refuseConnect = bRefuse;
    return server;
}

} // namespace

class CRegistrationDlgTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_pFolder;
    std::unique_ptr<CProfile> m_pProfile;
    std::shared_ptr<CMemoryCatalog> m_pCatalog;
    std::shared_ptr<CMemoryCatalog> m_pLegacyCatalog;
    std::shared_ptr<CMemoryLibrary> m_pModern;
    std::shared_ptr<CMemoryLibrary> m_pLegacy;

    std::unique_ptr<CNewSQLServerRegistrationDlg> ShowRegistration()
    {
        auto pDlg = std::make_unique<CNewSQLServerRegistrationDlg>();
        pDlg->show();
        if (!QTest::qWaitForWindowExposed(pDlg.get()))
            qFatal("the registration dialog was not shown");
        return pDlg;
    }

    // A find window that does not ask for a registration by itself: BASE is registered.
    std::unique_ptr<CQuarrowDlg> OpenFindWindow()
    {
        m_pCatalog->servers.push_back(Server(u"BASE"));
        CRegisteredServerStore store(*m_pProfile);
        RegisteredServer base;
        base.m_strServerName = u"BASE";
        if (!store.SaveServerRegistration(base))
            qFatal("BASE not registered");
        auto pDlg = std::make_unique<CQuarrowDlg>(*m_pProfile);
        pDlg->show();
        if (!QTest::qWaitForWindowExposed(pDlg.get()))
            qFatal("the find window was not shown");
        return pDlg;
    }

    std::vector<RegisteredServer> Stored() const
    {
        return CRegisteredServerStore(*m_pProfile).GetServerRegistrations();
    }

    QStringList StoredKeys() const
    {
        QStringList keys;
        for (const std::u16string& strKey : m_pProfile->GetSubsections(u"RegisteredServers"))
            keys << QString::fromStdU16String(strKey);
        return keys;
    }

    static QStringList TopLevelTexts(CQuarrowDlg& dlg)
    {
        QStringList texts;
        CChkBoxTreeCtrl* pTree = dlg.GetLookInTree();
        for (int i = 0; i < pTree->topLevelItemCount(); ++i)
            texts << pTree->topLevelItem(i)->text(0);
        return texts;
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Every message box is answered and recorded, never shown: the tests compare the
        // recorded texts, and a box nobody expected cannot hang the run.
        for (int i = 0; i < 200; ++i)
            CSuperApp::PushAnswerForTesting(QMessageBox::Ok);
    }

    void init()
    {
        QTest::failOnWarning(QRegularExpression(u"^(?!This plugin does not support).*"_s));
        m_pFolder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_pFolder->isValid());
        m_pProfile = std::make_unique<CProfile>(u"Quarrow", m_pFolder->path().toStdString());
        m_pCatalog = std::make_shared<CMemoryCatalog>();
        m_pLegacyCatalog = std::make_shared<CMemoryCatalog>();
        m_pModern = std::make_shared<CMemoryLibrary>(EFlavour::Modern, m_pCatalog);
        m_pLegacy = std::make_shared<CMemoryLibrary>(EFlavour::Legacy, m_pLegacyCatalog);
        CObjectModel::SetLibraries(m_pModern, m_pLegacy);
        CSuperApp::TakeShownTextsForTesting();
    }

    void cleanup()
    {
        CObjectModel::SetLibraries(nullptr, nullptr);
        CSuperApp::TakeShownTextsForTesting();
        m_pProfile.reset();
        m_pFolder.reset();
    }

    void okFollowsTheServerText()
    {
        auto pDlg = ShowRegistration();
        QCOMPARE(pDlg->windowTitle(), u"New SQL Server Registration"_s);
        auto* pServer = Control<QLineEdit>(pDlg.get(), IDC_REG_SERVER);
        auto* pOk = Control<QPushButton>(pDlg.get(), IDOK);
        QVERIFY(!pOk->isEnabled());
        QVERIFY(Control<QAbstractButton>(pDlg.get(), IDC_REG_SQL_AUTH)->isChecked());
        QVERIFY(!Control<QAbstractButton>(pDlg.get(), IDC_REG_WINDOWS_AUTH)->isChecked());
        QVERIFY(Control<QLineEdit>(pDlg.get(), IDC_REG_LOGIN_NAME)->isEnabled());
        QCOMPARE(Control<QLineEdit>(pDlg.get(), IDC_REG_PASSWORD)->echoMode(), QLineEdit::Password);
        // Login and password alone do not make a registration.
        QTest::keyClicks(Control<QLineEdit>(pDlg.get(), IDC_REG_LOGIN_NAME), u"sa"_s);
        QVERIFY(!pOk->isEnabled());
        QTest::keyClicks(pServer, u"S"_s);
        QVERIFY(pOk->isEnabled());
        // Every change reads all fields.
        QCOMPARE(pDlg->m_strServer, u"S"_s);
        QCOMPARE(pDlg->m_strLoginName, u"sa"_s);
        QTest::keyClick(pServer, Qt::Key_Backspace);
        QVERIFY(!pOk->isEnabled());
        QCOMPARE(pDlg->m_strServer, QString());
        // Enter does nothing while OK is disabled.
        QTest::keyClick(pServer, Qt::Key_Return);
        QVERIFY(pDlg->isVisible());
        QCOMPARE(pDlg->result(), int(QDialog::Rejected));
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(), QStringList());
    }

    void typingStopsAtThirtyCharacters_data()
    {
        QTest::addColumn<int>("nId");
        QTest::newRow("server") << IDC_REG_SERVER;
        QTest::newRow("login name") << IDC_REG_LOGIN_NAME;
        QTest::newRow("password") << IDC_REG_PASSWORD;
    }

    void typingStopsAtThirtyCharacters()
    {
        QFETCH(int, nId);
        auto pDlg = ShowRegistration();
        auto* pEdit = Control<QLineEdit>(pDlg.get(), nId);
        QTest::keyClicks(pEdit, QString(35, u'x'));
        QCOMPARE(pEdit->text(), QString(30, u'x'));
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(), QStringList());
    }

    void longTextIsRefusedOnReading_data()
    {
        QTest::addColumn<int>("nId");
        QTest::addColumn<int>("nLength");
        QTest::addColumn<bool>("bAccepted");
        QTest::newRow("server 31") << IDC_REG_SERVER << 31 << false;
        QTest::newRow("server 30") << IDC_REG_SERVER << 30 << true;
        QTest::newRow("login name 31") << IDC_REG_LOGIN_NAME << 31 << false;
        QTest::newRow("login name 30") << IDC_REG_LOGIN_NAME << 30 << true;
        QTest::newRow("password 31") << IDC_REG_PASSWORD << 31 << false;
        QTest::newRow("password 30") << IDC_REG_PASSWORD << 30 << true;
    }

    void longTextIsRefusedOnReading()
    {
        QFETCH(int, nId);
        QFETCH(int, nLength);
        QFETCH(bool, bAccepted);
        auto pDlg = ShowRegistration();
        QTest::keyClicks(Control<QLineEdit>(pDlg.get(), IDC_REG_SERVER), u"SRV"_s);
        // Put in by the program: typing could not get past the limit.
        auto* pEdit = Control<QLineEdit>(pDlg.get(), nId);
        pEdit->setText(QString(nLength, u'y'));
        QCOMPARE(pEdit->text().size(), nLength);
        const int nChangeMessages = nId == IDC_REG_SERVER && !bAccepted ? 1 : 0;
        QCOMPARE(CSuperApp::TakeShownTextsForTesting().size(), nChangeMessages);

        pDlg->GetControl(IDCANCEL)->setFocus();
        Click(pDlg.get(), IDOK);
        if (bAccepted) {
            QVERIFY(!pDlg->isVisible());
            QCOMPARE(pDlg->result(), int(QDialog::Accepted));
            QCOMPARE(CSuperApp::TakeShownTextsForTesting(), QStringList());
            return;
        }
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(), QStringList{kTooLong});
        QVERIFY(pDlg->isVisible());
        QCOMPARE(pDlg->result(), int(QDialog::Rejected));
        QCOMPARE(QApplication::focusWidget(), pEdit);
        // Shortened by hand, the same text goes through.
        pEdit->end(false);
        QTest::keyClick(pEdit, Qt::Key_Backspace);
        CSuperApp::TakeShownTextsForTesting();
        Click(pDlg.get(), IDOK);
        QCOMPARE(pDlg->result(), int(QDialog::Accepted));
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(), QStringList());
        const QString strField = nId == IDC_REG_SERVER       ? pDlg->m_strServer
                                 : nId == IDC_REG_LOGIN_NAME ? pDlg->m_strLoginName
                                                             : pDlg->m_strPassword;
        QCOMPARE(strField, QString(30, u'y'));
    }

    void radioButtonsSwitchTheLoginFields()
    {
        auto pDlg = ShowRegistration();
        auto* pLogin = Control<QLineEdit>(pDlg.get(), IDC_REG_LOGIN_NAME);
        auto* pPassword = Control<QLineEdit>(pDlg.get(), IDC_REG_PASSWORD);
        QTest::keyClicks(pLogin, u"sa"_s);
        QTest::keyClicks(pPassword, u"secret"_s);
        QCOMPARE(pPassword->displayText().size(), 6);
        QVERIFY(!pPassword->displayText().contains(u"secret"_s));

        Click(pDlg.get(), IDC_REG_WINDOWS_AUTH);
        QVERIFY(!pLogin->isEnabled());
        QVERIFY(!pPassword->isEnabled());
        QCOMPARE(pLogin->text(), u"sa"_s);
        QCOMPARE(pPassword->text(), u"secret"_s);

        Click(pDlg.get(), IDC_REG_SQL_AUTH);
        QVERIFY(pLogin->isEnabled());
        QVERIFY(pPassword->isEnabled());
        QCOMPARE(pLogin->text(), u"sa"_s);

        Click(pDlg.get(), IDC_REG_WINDOWS_AUTH);
        QTest::keyClicks(Control<QLineEdit>(pDlg.get(), IDC_REG_SERVER), u"SRV"_s);
        Click(pDlg.get(), IDOK);
        QCOMPARE(pDlg->result(), int(QDialog::Accepted));
        QCOMPARE(pDlg->m_nAuthentication,
                 int(CNewSQLServerRegistrationDlg::kWindowsAuthentication));
        QCOMPARE(pDlg->m_strLoginName, u"sa"_s);
        QCOMPARE(pDlg->m_strPassword, u"secret"_s);
    }

    void cancelAndEscapeDoNotRead()
    {
        for (const bool bEscape : {false, true}) {
            auto pDlg = ShowRegistration();
            QTest::keyClicks(Control<QLineEdit>(pDlg.get(), IDC_REG_SERVER), u"SRV"_s);
            auto* pLogin = Control<QLineEdit>(pDlg.get(), IDC_REG_LOGIN_NAME);
            QTest::keyClicks(pLogin, u"sa"_s);
            if (bEscape)
                QTest::keyClick(pLogin, Qt::Key_Escape);
            else
                Click(pDlg.get(), IDCANCEL);
            QVERIFY(!pDlg->isVisible());
            QCOMPARE(pDlg->result(), int(QDialog::Rejected));
            QCOMPARE(pDlg->m_strLoginName, QString());
        }
    }

    void activeServersList_data()
    {
        QTest::addColumn<bool>("bModernMissing");
        QTest::addColumn<bool>("bModernFails");
        QTest::addColumn<bool>("bLegacyMissing");
        QTest::addColumn<QStringList>("expected");
        const QStringList modern = {u"alpha"_s, u"Beta"_s, u"HOST\\SQL2"_s, u"zulu"_s};
        QTest::newRow("modern first") << false << false << false << modern;
        QTest::newRow("legacy without the modern library")
            << true << false << false << QStringList{u"OLD1"_s, u"OLD2"_s};
        QTest::newRow("modern listing fails") << false << true << false << QStringList();
        QTest::newRow("no library") << true << false << true << QStringList();
    }

    void activeServersList()
    {
        QFETCH(bool, bModernMissing);
        QFETCH(bool, bModernFails);
        QFETCH(bool, bLegacyMissing);
        QFETCH(QStringList, expected);
        m_pCatalog->availableServers = {u"zulu", u"HOST\\SQL2", u"alpha", u"Beta"};
        m_pCatalog->noAvailableList = bModernFails;
        m_pLegacyCatalog->availableServers = {u"OLD2", u"OLD1"};
        m_pModern->m_bMissing = bModernMissing;
        m_pLegacy->m_bMissing = bLegacyMissing;

        CSelectActiveSQLServerDlg dlg;
        QCOMPARE(dlg.windowTitle(), u"Select Server"_s);
        QTRY_VERIFY(!dlg.IsListing());
        QCOMPARE(Entries(dlg.GetServerList()), expected);
        QVERIFY(dlg.cursor().shape() != Qt::BusyCursor);
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(), QStringList());
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void selectReadsTheSelectedEntry()
    {
        m_pCatalog->availableServers = {u"ONE", u"TWO"};
        for (const QString& strPick : {u"TWO"_s, QString()}) {
            CSelectActiveSQLServerDlg dlg;
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            WaitListed(&dlg);
            // A double click picks nothing by itself.
            QListWidget* pList = dlg.GetServerList();
            QTest::mouseDClick(pList->viewport(), Qt::LeftButton, {},
                               pList->visualItemRect(pList->item(0)).center());
            QVERIFY(dlg.isVisible());
            pList->clearSelection();
            PickAndOk(&dlg, strPick);
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QCOMPARE(dlg.m_strServer, strPick);
        }
    }

    void browseKeepsTypedFields()
    {
        m_pCatalog->availableServers = {u"ALPHA", u"BETA"};
        auto pDlg = ShowRegistration();
        auto* pServer = Control<QLineEdit>(pDlg.get(), IDC_REG_SERVER);
        auto* pLogin = Control<QLineEdit>(pDlg.get(), IDC_REG_LOGIN_NAME);
        auto* pPassword = Control<QLineEdit>(pDlg.get(), IDC_REG_PASSWORD);
        QTest::keyClicks(pServer, u"TYPED"_s);
        // Typed after the last change of the server text.
        QTest::keyClicks(pLogin, u"sa"_s);
        QTest::keyClicks(pPassword, u"pw"_s);
        Click(pDlg.get(), IDC_REG_WINDOWS_AUTH);

        QStringList listed;
        WhenModal(u"CSelectActiveSQLServerDlg"_s, [&](QDialog* pSelect) {
            WaitListed(pSelect);
            listed = Entries(Control<QListWidget>(pSelect, IDC_SERVER_LIST));
            PickAndOk(pSelect, u"BETA"_s);
        });
        Click(pDlg.get(), IDC_REG_BROWSE);
        QCOMPARE(listed, (QStringList{u"ALPHA"_s, u"BETA"_s}));
        QCOMPARE(pServer->text(), u"BETA"_s);
        QCOMPARE(pLogin->text(), u"sa"_s);
        QCOMPARE(pPassword->text(), u"pw"_s);
        QVERIFY(Control<QAbstractButton>(pDlg.get(), IDC_REG_WINDOWS_AUTH)->isChecked());
        QVERIFY(!Control<QAbstractButton>(pDlg.get(), IDC_REG_SQL_AUTH)->isChecked());
        QVERIFY(!pLogin->isEnabled());
        QVERIFY(Control<QPushButton>(pDlg.get(), IDOK)->isEnabled());

        // Cancel changes nothing; OK without a pick empties the server and disables OK.
        WhenModal(u"CSelectActiveSQLServerDlg"_s,
                  [](QDialog* pSelect) { Click(pSelect, IDCANCEL); });
        Click(pDlg.get(), IDC_REG_BROWSE);
        QCOMPARE(pServer->text(), u"BETA"_s);
        QVERIFY(Control<QPushButton>(pDlg.get(), IDOK)->isEnabled());
        WhenModal(u"CSelectActiveSQLServerDlg"_s,
                  [](QDialog* pSelect) { PickAndOk(pSelect, QString()); });
        Click(pDlg.get(), IDC_REG_BROWSE);
        QCOMPARE(pServer->text(), QString());
        QVERIFY(!Control<QPushButton>(pDlg.get(), IDOK)->isEnabled());
        QCOMPARE(pLogin->text(), u"sa"_s);
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(), QStringList());
    }

    void pickedLongNameIsRefusedOnOk()
    {
        const QString strLong = u"SERVER-WITH-A-VERY-LONG-NAME-31"_s;
        QCOMPARE(strLong.size(), 31);
        m_pCatalog->availableServers = {strLong.toStdU16String()};
        auto pDlg = ShowRegistration();
        WhenModal(u"CSelectActiveSQLServerDlg"_s,
                  [&](QDialog* pSelect) { PickAndOk(pSelect, strLong); });
        Click(pDlg.get(), IDC_REG_BROWSE);
        auto* pServer = Control<QLineEdit>(pDlg.get(), IDC_REG_SERVER);
        // Not cut short, and the write-back is not read.
        QCOMPARE(pServer->text(), strLong);
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(), QStringList());

        Click(pDlg.get(), IDOK);
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(), QStringList{kTooLong});
        QVERIFY(pDlg->isVisible());
        QCOMPARE(pDlg->focusWidget(), pServer);
    }

    void registrationReachesTreeAndStore_data()
    {
        QTest::addColumn<QString>("strTyped");
        QTest::addColumn<bool>("bWindows");
        QTest::addColumn<QString>("strShown");
        QTest::addColumn<QString>("strKey");
        QTest::newRow("instance, SQL login")
            << u"HOST\\SQL2"_s << false << u"HOST\\SQL2"_s << u"HOST$*$SQL2"_s;
        QTest::newRow("key form typed")
            << u"HOST$*$SQL2"_s << false << u"HOST\\SQL2"_s << u"HOST$*$SQL2"_s;
        QTest::newRow("Windows authentication") << u"PLAIN"_s << true << u"PLAIN"_s << u"PLAIN"_s;
    }

    void registrationReachesTreeAndStore()
    {
        QFETCH(QString, strTyped);
        QFETCH(bool, bWindows);
        QFETCH(QString, strShown);
        QFETCH(QString, strKey);
        m_pCatalog->servers.push_back(Server(strShown.toStdU16String()));
        auto pFind = OpenFindWindow();

        WhenModal(u"CNewSQLServerRegistrationDlg"_s, [&](QDialog* pDlg) {
            QTest::keyClicks(Control<QLineEdit>(pDlg, IDC_REG_SERVER), strTyped);
            QTest::keyClicks(Control<QLineEdit>(pDlg, IDC_REG_LOGIN_NAME), u"sa"_s);
            QTest::keyClicks(Control<QLineEdit>(pDlg, IDC_REG_PASSWORD), u"p w"_s);
            if (bWindows)
                Click(pDlg, IDC_REG_WINDOWS_AUTH);
            Click(pDlg, IDOK);
        });
        QVERIFY(CCommandTarget::SendCommand(pFind.get(), ID_NEW_REGISTRATION));

        QCOMPARE(TopLevelTexts(*pFind), (QStringList{u"BASE"_s, strShown}));
        QCOMPARE(pFind->GetLookInTree()->topLevelItem(1)->childCount(), 2);
        QCOMPARE(StoredKeys(), (QStringList{u"BASE"_s, strKey}));
        const std::vector<RegisteredServer> stored = Stored();
        QCOMPARE(stored.size(), std::size_t(2));
        QCOMPARE(QString::fromStdU16String(stored[1].m_strServerName), strShown);
        // The disabled fields' texts are kept with Windows authentication too.
        QVERIFY(stored[1].m_strLoginName == u"sa");
        QVERIFY(stored[1].m_strPassword == u"p w");
        QCOMPARE(stored[1].m_nNTAuthentication, bWindows ? 1 : 0);
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(), QStringList());
    }

    void encryptionChoiceAndTrustBox()
    {
        auto pDlg = ShowRegistration();
        auto* pMode = Control<QComboBox>(pDlg.get(), IDC_REG_ENCRYPTION);
        auto* pTrust = Control<QCheckBox>(pDlg.get(), IDC_REG_TRUST_CERTIFICATE);
        QCOMPARE(pMode->count(), 3);
        QCOMPARE(pMode->currentText(), u"Request"_s);
        QVERIFY(!pTrust->isChecked());
        // Only a required encryption checks the certificate, so only then is there a choice.
        QVERIFY(!pTrust->isEnabled());
        PickEntry(pMode, u"Require"_s);
        QVERIFY(pTrust->isEnabled());
        Click(pDlg.get(), IDC_REG_TRUST_CERTIFICATE);
        QVERIFY(pTrust->isChecked());
        PickEntry(pMode, u"Off"_s);
        QVERIFY(!pTrust->isEnabled());
        // The tick stays for when Require comes back, as the login texts do.
        QVERIFY(pTrust->isChecked());

        // Every change of the server text reads the choices with the other fields.
        QTest::keyClicks(Control<QLineEdit>(pDlg.get(), IDC_REG_SERVER), u"S"_s);
        QCOMPARE(pDlg->m_nEncryption, 0);
        QVERIFY(pDlg->m_bTrustServerCertificate);

        // "..." rewrites the fields from what was read: the choices survive it.
        m_pCatalog->availableServers = {u"PICKED"};
        PickEntry(pMode, u"Require"_s);
        WhenModal(u"CSelectActiveSQLServerDlg"_s,
                  [](QDialog* pSelect) { PickAndOk(pSelect, u"PICKED"_s); });
        Click(pDlg.get(), IDC_REG_BROWSE);
        QTRY_COMPARE(pDlg->m_strServer, u"PICKED"_s);
        QCOMPARE(pMode->currentText(), u"Require"_s);
        QVERIFY(pTrust->isEnabled() && pTrust->isChecked());
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(), QStringList());
    }

    void encryptionReachesConnectionAndStore_data()
    {
        QTest::addColumn<QString>("strMode");
        QTest::addColumn<bool>("bTrust");
        QTest::addColumn<int>("nStored");
        QTest::newRow("default") << QString() << false << int(EEncryptionMode::Request);
        QTest::newRow("off") << u"Off"_s << false << int(EEncryptionMode::Off);
        QTest::newRow("require") << u"Require"_s << false << int(EEncryptionMode::Require);
        QTest::newRow("require, trusted") << u"Require"_s << true << int(EEncryptionMode::Require);
    }

    void encryptionReachesConnectionAndStore()
    {
        QFETCH(QString, strMode);
        QFETCH(bool, bTrust);
        QFETCH(int, nStored);
        m_pCatalog->servers.push_back(Server(u"TLSHOST"));
        auto pFind = OpenFindWindow();
        WhenModal(u"CNewSQLServerRegistrationDlg"_s, [&](QDialog* pDlg) {
            QTest::keyClicks(Control<QLineEdit>(pDlg, IDC_REG_SERVER), u"TLSHOST"_s);
            if (!strMode.isEmpty())
                PickEntry(Control<QComboBox>(pDlg, IDC_REG_ENCRYPTION), strMode);
            if (bTrust)
                Click(pDlg, IDC_REG_TRUST_CERTIFICATE);
            Click(pDlg, IDOK);
        });
        QVERIFY(CCommandTarget::SendCommand(pFind.get(), ID_NEW_REGISTRATION));

        // The connection that filled the tree was asked for the choice.
        QCOMPARE(TopLevelTexts(*pFind), (QStringList{u"BASE"_s, u"TLSHOST"_s}));
        QCOMPARE(int(m_pCatalog->lastConnectOptions.m_encryption), nStored);
        QCOMPARE(m_pCatalog->lastConnectOptions.m_bTrustServerCertificate, bTrust);
        const std::vector<RegisteredServer> stored = Stored();
        QCOMPARE(stored.size(), std::size_t(2));
        QCOMPARE(int(stored[1].m_encryption), nStored);
        QCOMPARE(stored[1].m_bTrustServerCertificate, bTrust);

        // The next start connects the same way.
        m_pCatalog->lastConnectOptions = {};
        pFind.reset();
        auto pAgain = std::make_unique<CQuarrowDlg>(*m_pProfile);
        QCOMPARE(int(m_pCatalog->lastConnectOptions.m_encryption), nStored);
        QCOMPARE(m_pCatalog->lastConnectOptions.m_bTrustServerCertificate, bTrust);
    }

    void cancelRegistersNothing()
    {
        m_pCatalog->servers.push_back(Server(u"SRV"));
        auto pFind = OpenFindWindow();
        WhenModal(u"CNewSQLServerRegistrationDlg"_s, [](QDialog* pDlg) {
            QTest::keyClicks(Control<QLineEdit>(pDlg, IDC_REG_SERVER), u"SRV"_s);
            Click(pDlg, IDCANCEL);
        });
        QVERIFY(CCommandTarget::SendCommand(pFind.get(), ID_NEW_REGISTRATION));
        QCOMPARE(TopLevelTexts(*pFind), QStringList{u"BASE"_s});
        QCOMPARE(StoredKeys(), QStringList{u"BASE"_s});
    }

    void registeringTwiceKeepsOneRegistration()
    {
        auto pFind = OpenFindWindow();
        WhenModal(u"CNewSQLServerRegistrationDlg"_s, [](QDialog* pDlg) {
            QTest::keyClicks(Control<QLineEdit>(pDlg, IDC_REG_SERVER), u"BASE"_s);
            QTest::keyClicks(Control<QLineEdit>(pDlg, IDC_REG_LOGIN_NAME), u"other"_s);
            Click(pDlg, IDOK);
        });
        QVERIFY(CCommandTarget::SendCommand(pFind.get(), ID_NEW_REGISTRATION));
        QCOMPARE(TopLevelTexts(*pFind), (QStringList{u"BASE"_s, u"BASE"_s}));
        const std::vector<RegisteredServer> stored = Stored();
        QCOMPARE(stored.size(), std::size_t(1));
        QVERIFY(stored[0].m_strLoginName == u"other");
    }

    void unreachableServerIsShownNotStored()
    {
        m_pCatalog->servers.push_back(Server(u"MYHOST", true));
        auto pFind = OpenFindWindow();
        WhenModal(u"CNewSQLServerRegistrationDlg"_s, [](QDialog* pDlg) {
            QTest::keyClicks(Control<QLineEdit>(pDlg, IDC_REG_SERVER), u"MYHOST"_s);
            Click(pDlg, IDOK);
        });
        QVERIFY(CCommandTarget::SendCommand(pFind.get(), ID_NEW_REGISTRATION));
        QCOMPARE(TopLevelTexts(*pFind), (QStringList{u"BASE"_s, u"MYHOST [not available]"_s}));
        QCOMPARE(StoredKeys(), QStringList{u"BASE"_s});
        // Both libraries are there: no message.
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(), QStringList());
        pFind.reset();

        // Registered in a run when it still answered: the next start shows it unavailable,
        // and removing that item drops MYHOST's registration.
        RegisteredServer old;
        old.m_strServerName = u"MYHOST";
        QVERIFY(CRegisteredServerStore(*m_pProfile).SaveServerRegistration(old));
        CQuarrowDlg second(*m_pProfile);
        CChkBoxTreeCtrl* pTree = second.GetLookInTree();
        QCOMPARE(TopLevelTexts(second), (QStringList{u"BASE"_s, u"MYHOST [not available]"_s}));
        pTree->setCurrentItem(pTree->topLevelItem(1));
        QVERIFY(CCommandTarget::SendCommand(&second, ID_REMOVE_SERVER));
        QCOMPARE(TopLevelTexts(second), QStringList{u"BASE"_s});
        QCOMPARE(StoredKeys(), QStringList{u"BASE"_s});
    }

    void unsavableRegistrationIsReported()
    {
        // A control character cannot stand in a settings key.
        const QString strName = u"BAD\tNAME"_s;
        m_pCatalog->servers.push_back(Server(strName.toStdU16String()));
        auto pFind = OpenFindWindow();
        WhenModal(u"CNewSQLServerRegistrationDlg"_s, [&](QDialog* pDlg) {
            Control<QLineEdit>(pDlg, IDC_REG_SERVER)->setText(strName);
            Click(pDlg, IDOK);
        });
        QVERIFY(CCommandTarget::SendCommand(pFind.get(), ID_NEW_REGISTRATION));
        QCOMPARE(TopLevelTexts(*pFind), (QStringList{u"BASE"_s, strName}));
        QCOMPARE(StoredKeys(), QStringList{u"BASE"_s});
        const QStringList shown = CSuperApp::TakeShownTextsForTesting();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(
            shown[0].startsWith(u"The registration of "_s + strName + u" could not be saved."_s),
            qPrintable(shown[0]));
    }

    void firstRunOpensTheRegistration()
    {
        m_pCatalog->servers.push_back(Server(u"FIRST"));
        bool bOpened = false;
        WhenModal(u"CNewSQLServerRegistrationDlg"_s, [&](QDialog* pDlg) {
            bOpened = true;
            QTest::keyClicks(Control<QLineEdit>(pDlg, IDC_REG_SERVER), u"FIRST"_s);
            Click(pDlg, IDOK);
        });
        CQuarrowDlg find(*m_pProfile);
        QCOMPARE(find.GetLookInTree()->topLevelItemCount(), 0);
        find.show();
        QTRY_VERIFY(bOpened);
        QCOMPARE(TopLevelTexts(find), QStringList{u"FIRST"_s});
        QCOMPARE(StoredKeys(), QStringList{u"FIRST"_s});
    }
};

QTEST_MAIN(CRegistrationDlgTest)
#include "CRegistrationDlgTest.moc"
