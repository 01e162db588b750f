// The whole program in this process on a private session bus: start-up, the find window's
// run and its end, driven from a timer while InitInstance runs, with a client on a bus
// connection of its own.

#include "app/CQuarrowApp.h"

#include "app/CActivationFile.h"
#include "app/CAutomationServer.h"
#include "catalog/CObjectModel.h"
#include "catalog/CRegisteredServerStore.h"
#include "controls/CSuperApp.h"
#include "findwnd/CAppLock.h"
#include "findwnd/CQuarrowDlg.h"
#include "platform/CProfile.h"
#include "platform/Startup.h"
#include "tests/support/CMemoryLibrary.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QtTest>
#include <fstream>
#include <functional>
#include <sstream>

using namespace Qt::StringLiterals;

namespace {

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// What one run of the program saw.
struct SRun
{
    int nState = 0;
    bool bTimedOut = false;
    bool bHiddenWhileHeld = false;
    bool bVisibleAfterRelease = false;
    bool bNameOwnedWhileRunning = false;
    bool bNameOwnedAfterAcquire = true;
    QString strAcquiredFrom;
    QString strError;
    QString strErrorName; // of a refused Acquire
};

} // namespace

class CQuarrowAppTest : public QObject
{
    Q_OBJECT

private:
    enum class EClose
    {
        WhileHeld,    // the user closes the window while the client holds the program
        AfterRelease, // the user closes it once the client has gone
    };

    static QDBusPendingCall Send(QDBusConnection& client, const QString& strDest,
                                 const QString& strMember)
    {
        return client.asyncCall(
            QDBusMessage::createMethodCall(strDest, CAutomationServer::kObjectPath,
                                           CAutomationServer::kLifecycleInterface, strMember),
            10000);
    }

    // Runs the program with args; a client acquires it at strDest (empty: this process's
    // unique name) once the find window is up, the user closes the window as close says,
    // and the client releases. Ends the run by force after 30 s.
    static SRun Run(std::vector<std::string> args, const QString& strDest, EClose close)
    {
        SRun run;
        QDBusConnection client =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"app-client"_s);
        QDBusPendingCall pending = QDBusPendingCall::fromCompletedCall(QDBusMessage());
        QElapsedTimer elapsed;
        QTimer timer;
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            auto* pDlg = qobject_cast<CQuarrowDlg*>(CSuperApp::GetMainWindow());
            if (elapsed.elapsed() > 30000) {
                run.bTimedOut = true;
                if (pDlg != nullptr) {
                    pDlg->SetAutoProxy(nullptr);
                    pDlg->reject();
                }
                return;
            }
            if (pDlg == nullptr)
                return;
            switch (run.nState) {
            case 0:
                if (!pDlg->isVisible())
                    return;
                run.bNameOwnedWhileRunning =
                    client.interface()->isServiceRegistered(CAutomationServer::kServiceName);
                pending =
                    Send(client,
                         strDest.isEmpty() ? QDBusConnection::sessionBus().baseService() : strDest,
                         u"Acquire"_s);
                run.nState = 1;
                return;
            case 1:
                if (!pending.isFinished())
                    return;
                if (pending.isError()) {
                    run.strError = pending.error().message();
                    run.strErrorName = pending.error().name();
                    run.nState = 9;
                    // Nothing holds the program: the user's close ends it.
                    pDlg->close();
                    return;
                }
                run.strAcquiredFrom = pending.reply().arguments().value(0).toString();
                run.bNameOwnedAfterAcquire =
                    client.interface()->isServiceRegistered(CAutomationServer::kServiceName);
                if (close == EClose::WhileHeld) {
                    pDlg->close();
                    run.bHiddenWhileHeld = !pDlg->isVisible();
                }
                pending = Send(client, run.strAcquiredFrom, u"Release"_s);
                run.nState = 2;
                return;
            case 2:
                if (!pending.isFinished())
                    return;
                if (pending.isError())
                    run.strError = pending.error().message();
                // Whatever the last release sets off has run by now.
                QCoreApplication::sendPostedEvents();
                run.bVisibleAfterRelease = pDlg->isVisible();
                run.nState = 3;
                if (close == EClose::AfterRelease)
                    pDlg->close();
                return;
            default:
                return;
            }
        });
        elapsed.start();
        timer.start();
        CQuarrowApp app(std::move(args));
        const bool bResult = app.InitInstance();
        timer.stop();
        // A program that ends on the release may end before this side has seen the answer.
        if (run.nState == 2) {
            QElapsedTimer waited;
            waited.start();
            while (!pending.isFinished() && waited.elapsed() < 10000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            if (!pending.isFinished() || pending.isError())
                run.strError = u"no answer to the release: "_s + pending.error().message();
            run.nState = 3;
        }
        QDBusConnection::disconnectFromBus(u"app-client"_s);
        if (bResult)
            run.strError = u"InitInstance answered true"_s;
        return run;
    }

    std::filesystem::path m_activationFile;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "the suite needs a session bus");
        m_activationFile = CActivationFile::DefaultPath();
        QVERIFY(!m_activationFile.empty());
        qputenv("QUARROW_OPENER", "/bin/true");
        // Components notice already shown, and one server so no registration dialog opens.
        CProfile& profile = CProfile::Process();
        QVERIFY(profile.WriteProfileInt(kSettingsSection, kComponentsNoticeEntry, 1));
        auto pCatalog = std::make_shared<CMemoryCatalog>();
        SMemoryServer server;
        server.name = u"SRV";
        SMemoryDatabase db;
        db.name = u"db1";
        server.databases.push_back(db);
        pCatalog->servers.push_back(server);
        CObjectModel::SetLibraries(std::make_shared<CMemoryLibrary>(EFlavour::Modern, pCatalog),
                                   std::make_shared<CMemoryLibrary>(EFlavour::Legacy, pCatalog));
        CRegisteredServerStore store(profile);
        RegisteredServer registration;
        registration.m_strServerName = u"SRV";
        QVERIFY(store.SaveServerRegistration(registration));
    }

    void init()
    {
        QTest::failOnWarning(QRegularExpression(u"^(?!This plugin does not support).*"_s));
    }

    void cleanupTestCase() { CObjectModel::SetLibraries(nullptr, nullptr); }

    void startedByClientHidesOnCloseAndEndsOnRelease()
    {
        std::filesystem::create_directories(m_activationFile.parent_path());
        std::ofstream(m_activationFile) << "left alone";

        const SRun run = Run({"-Automation"}, CAutomationServer::kServiceName, EClose::WhileHeld);
        QVERIFY(!run.bTimedOut);
        QCOMPARE(run.strError, QString());
        QCOMPARE(run.nState, 3);
        QVERIFY(run.bNameOwnedWhileRunning);
        QCOMPARE(run.strAcquiredFrom, QDBusConnection::sessionBus().baseService());
        QVERIFY(!run.bNameOwnedAfterAcquire);
        QVERIFY(run.bHiddenWhileHeld);
        QVERIFY(!run.bVisibleAfterRelease);
        QCOMPARE(ReadFile(m_activationFile), "left alone");
        QCOMPARE(CAppLock::GetLockCount(), 0);
        // The name goes with the program.
        QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(
            CAutomationServer::kServiceName));
    }

    // Any program of the user could reach this copy by its unique name: it refuses to be
    // held, and closing the window ends it.
    void userStartedCopyRefusesClients()
    {
        std::ofstream(m_activationFile) << "stale";
        const SRun run = Run({}, QString(), EClose::WhileHeld);
        QVERIFY(!run.bTimedOut);
        QCOMPARE(run.nState, 9);
        QCOMPARE(run.strErrorName, CAutomationServer::kNotOfferedError);
        // A copy the user started keeps the well-known name free for clients' own copies.
        QVERIFY(!run.bNameOwnedWhileRunning);
        QCOMPARE(ReadFile(m_activationFile), CActivationFile::Contents(ExecutablePath()));
        QVERIFY(CAppLock::GetUserControl());
        QCOMPARE(CAppLock::GetLockCount(), 0);
    }
};

QTEST_MAIN(CQuarrowAppTest)
#include "CQuarrowAppTest.moc"
