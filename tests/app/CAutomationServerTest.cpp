// The automation object on a private session bus, with the find window in this process and
// clients on connections of their own: introspection, failing calls, references, hiding on
// close, single use, and clients that leave or are killed.

#include "app/CAutomationServer.h"

#include "catalog/CObjectModel.h"
#include "catalog/CRegisteredServerStore.h"
#include "controls/CSuperApp.h"
#include "findwnd/CAppLock.h"
#include "findwnd/CQuarrowDlg.h"
#include "findwnd/CQuarrowDlgAutoProxy.h"
#include "platform/CProfile.h"
#include "tests/support/CMemoryLibrary.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString ToQString(std::u16string_view str)
{
    return QString::fromUtf16(str.data(), static_cast<qsizetype>(str.size()));
}

// What introspection says about one interface.
struct SInterface
{
    int nMembers = 0; // methods, signals and properties
    QStringList methods;
    QMap<QString, QString> annotations;
};

QMap<QString, SInterface> ParseIntrospection(const QString& strXml)
{
    QMap<QString, SInterface> interfaces;
    QXmlStreamReader xml(strXml);
    QString strInterface;
    int nDepth = 0;
    int nInterfaceDepth = -1;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            ++nDepth;
            const auto name = xml.name();
            if (name == "interface"_L1) {
                strInterface = xml.attributes().value("name"_L1).toString();
                interfaces[strInterface];
                nInterfaceDepth = nDepth;
            } else if (!strInterface.isEmpty() && nDepth == nInterfaceDepth + 1) {
                SInterface& entry = interfaces[strInterface];
                if (name == "annotation"_L1) {
                    entry.annotations.insert(xml.attributes().value("name"_L1).toString(),
                                             xml.attributes().value("value"_L1).toString());
                } else if (name == "method"_L1 || name == "signal"_L1 || name == "property"_L1) {
                    ++entry.nMembers;
                    if (name == "method"_L1)
                        entry.methods << xml.attributes().value("name"_L1).toString();
                }
            }
        } else if (xml.isEndElement()) {
            if (nDepth == nInterfaceDepth) {
                strInterface.clear();
                nInterfaceDepth = -1;
            }
            --nDepth;
        }
    }
    return interfaces;
}

} // namespace

class CAutomationServerTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_pFolder;
    std::unique_ptr<CProfile> m_pProfile;
    std::shared_ptr<CMemoryCatalog> m_pCatalog;
    std::unique_ptr<CQuarrowDlg> m_pDlg;
    std::unique_ptr<CAutomationServer> m_pServer;
    QStringList m_clientNames;
    int m_nClients = 0;

    QString ServerName() const { return QDBusConnection::sessionBus().baseService(); }

    // A client on a bus connection of its own; the test disconnects it in cleanup.
    QDBusConnection NewClient()
    {
        const QString strName = u"client-%1"_s.arg(++m_nClients);
        m_clientNames << strName;
        return QDBusConnection::connectToBus(QDBusConnection::SessionBus, strName);
    }

    // Calls the server from a client while this thread's event loop keeps serving it.
    static QDBusMessage Call(QDBusConnection& client, const QString& strDest,
                             const QString& strInterface, const QString& strMember,
                             const QVariantList& args = {})
    {
        QDBusMessage call = QDBusMessage::createMethodCall(strDest, CAutomationServer::kObjectPath,
                                                           strInterface, strMember);
        call.setArguments(args);
        return client.call(call, QDBus::BlockWithGui, 10000);
    }

    QDBusMessage Lifecycle(QDBusConnection& client, const QString& strMember)
    {
        return Call(client, ServerName(), CAutomationServer::kLifecycleInterface, strMember);
    }

    static bool HasOwner(QDBusConnection& client, const QString& strName)
    {
        return client.interface()->isServiceRegistered(strName).value();
    }

    CQuarrowDlg* OpenDialog()
    {
        m_pDlg = std::make_unique<CQuarrowDlg>(*m_pProfile);
        m_pDlg->show();
        if (!QTest::qWaitForWindowExposed(m_pDlg.get()))
            qFatal("the find window was not shown");
        return m_pDlg.get();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "the suite needs a session bus");
        qputenv("QUARROW_OPENER", "/bin/true");
    }

    void init()
    {
        QTest::failOnWarning(QRegularExpression(u"^(?!This plugin does not support).*"_s));
        m_pFolder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_pFolder->isValid());
        m_pProfile = std::make_unique<CProfile>(u"Quarrow", m_pFolder->path().toStdString());
        // One registered server, so the window does not open the registration dialog.
        m_pCatalog = std::make_shared<CMemoryCatalog>();
        SMemoryServer server;
        server.name = u"SRV";
        SMemoryDatabase db;
        db.name = u"db1";
        server.databases.push_back(db);
        m_pCatalog->servers.push_back(server);
        CObjectModel::SetLibraries(std::make_shared<CMemoryLibrary>(EFlavour::Modern, m_pCatalog),
                                   std::make_shared<CMemoryLibrary>(EFlavour::Legacy, m_pCatalog));
        CRegisteredServerStore store(*m_pProfile);
        RegisteredServer registration;
        registration.m_strServerName = u"SRV";
        QVERIFY(store.SaveServerRegistration(registration));
        CAppLock::SetUserControl(true);

        m_pServer = std::make_unique<CAutomationServer>(QDBusConnection::sessionBus());
        QVERIFY(m_pServer->Register(false));
    }

    void cleanup()
    {
        m_pServer.reset();
        CSuperApp::SetMainWindow(nullptr);
        m_pDlg.reset();
        for (const QString& strName : std::as_const(m_clientNames))
            QDBusConnection::disconnectFromBus(strName);
        m_clientNames.clear();
        // Let a queued end of the program run while nothing is the main window.
        QCoreApplication::sendPostedEvents();
        QCOMPARE(CAppLock::GetLockCount(), 0);
        CObjectModel::SetLibraries(nullptr, nullptr);
        m_pProfile.reset();
        m_pFolder.reset();
    }

    void introspectionShowsTheIdentityAndNoAutomationMembers()
    {
        QDBusConnection client = NewClient();
        const QDBusMessage reply =
            Call(client, ServerName(), u"org.freedesktop.DBus.Introspectable"_s, u"Introspect"_s);
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        const QMap<QString, SInterface> interfaces =
            ParseIntrospection(reply.arguments().constFirst().toString());

        QVERIFY(interfaces.contains(u"Quarrow.Application"_s));
        const SInterface& automation = interfaces[u"Quarrow.Application"_s];
        QCOMPARE(automation.nMembers, 0);
        QCOMPARE(automation.annotations.value(u"Quarrow.ClassId"_s),
                 ToQString(CQuarrowDlgAutoProxy::kClassId));
        QCOMPARE(automation.annotations.value(u"Quarrow.DispatchInterfaceId"_s),
                 ToQString(CQuarrowDlgAutoProxy::kDispatchInterfaceId));

        QVERIFY(interfaces.contains(CAutomationServer::kLifecycleInterface));
        QStringList methods = interfaces[CAutomationServer::kLifecycleInterface].methods;
        methods.sort();
        QCOMPARE(methods, (QStringList{u"Acquire"_s, u"Release"_s}));
    }

    void callsThatFail_data()
    {
        QTest::addColumn<QString>("strInterface");
        QTest::addColumn<QString>("strMember");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<QString>("strError");
        const QString strUnknown = u"org.freedesktop.DBus.Error.UnknownMethod"_s;
        QTest::newRow("any member")
            << u"Quarrow.Application"_s << u"Visible"_s << QVariantList{} << strUnknown;
        QTest::newRow("a lifecycle member on the automation interface")
            << u"Quarrow.Application"_s << u"Acquire"_s << QVariantList{} << strUnknown;
        QTest::newRow("lifecycle member with arguments")
            << CAutomationServer::kLifecycleInterface << u"Acquire"_s << QVariantList{1}
            << strUnknown;
        QTest::newRow("a property") << u"org.freedesktop.DBus.Properties"_s << u"Get"_s
                                    << QVariantList{u"Quarrow.Application"_s, u"Name"_s}
                                    << u"org.freedesktop.DBus.Error.UnknownProperty"_s;
        QTest::newRow("release without a reference")
            << CAutomationServer::kLifecycleInterface << u"Release"_s << QVariantList{}
            << CAutomationServer::kNotHeldError;
    }

    void callsThatFail()
    {
        QFETCH(QString, strInterface);
        QFETCH(QString, strMember);
        QFETCH(QVariantList, args);
        QFETCH(QString, strError);
        QDBusConnection client = NewClient();
        const QDBusMessage reply = Call(client, ServerName(), strInterface, strMember, args);
        QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(reply.errorName(), strError);
        QCOMPARE(m_pServer->GetReferenceCount(), 0);
        QVERIFY(m_pServer->GetProxy() == nullptr);
    }

    void closeWhileHeldOnlyHides()
    {
        CQuarrowDlg* pDlg = OpenDialog();
        CSuperApp::SetMainWindow(pDlg);
        QSignalSpy finished(pDlg, &QDialog::finished);
        QDBusConnection client = NewClient();

        const QDBusMessage reply = Lifecycle(client, u"Acquire"_s);
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(reply.arguments().constFirst().toString(), ServerName());
        CQuarrowDlgAutoProxy* pProxy = m_pServer->GetProxy();
        QVERIFY(pProxy != nullptr);
        QCOMPARE(pProxy->GetDialog(), pDlg);
        QCOMPARE(pDlg->GetAutoProxy(), pProxy);
        QCOMPARE(CAppLock::GetLockCount(), 1);

        // Escape, the close box and a second close: each only hides.
        QTest::keyClick(pDlg, Qt::Key_Escape);
        QVERIFY(!pDlg->isVisible());
        pDlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(pDlg));
        pDlg->close();
        QVERIFY(!pDlg->isVisible());
        pDlg->close();
        QCOMPARE(finished.count(), 0);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(finished.count(), 0);
        QCOMPARE(CAppLock::GetLockCount(), 1);

        QCOMPARE(Lifecycle(client, u"Release"_s).type(), QDBusMessage::ReplyMessage);
        QVERIFY(m_pServer->GetProxy() == nullptr);
        QVERIFY(pDlg->GetAutoProxy() == nullptr);
        QCOMPARE(CAppLock::GetLockCount(), 0);
        // The user started this one; its hidden window would otherwise outlive every client.
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 5000);
    }

    void everyAcquireIsOneReference()
    {
        CQuarrowDlg* pDlg = OpenDialog();
        CSuperApp::SetMainWindow(pDlg);
        QDBusConnection first = NewClient();
        QDBusConnection second = NewClient();

        QCOMPARE(Lifecycle(first, u"Acquire"_s).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(Lifecycle(first, u"Acquire"_s).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(Lifecycle(second, u"Acquire"_s).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(m_pServer->GetReferenceCount(), 3);
        CQuarrowDlgAutoProxy* pProxy = m_pServer->GetProxy();
        QCOMPARE(CAppLock::GetLockCount(), 1);

        QCOMPARE(Lifecycle(first, u"Release"_s).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(Lifecycle(second, u"Release"_s).type(), QDBusMessage::ReplyMessage);
        // One client cannot give back another's reference.
        QCOMPARE(Lifecycle(second, u"Release"_s).errorName(), CAutomationServer::kNotHeldError);
        QCOMPARE(m_pServer->GetReferenceCount(), 1);
        QCOMPARE(m_pServer->GetProxy(), pProxy);
        QCOMPARE(pDlg->GetAutoProxy(), pProxy);

        QCOMPARE(Lifecycle(first, u"Release"_s).type(), QDBusMessage::ReplyMessage);
        QVERIFY(m_pServer->GetProxy() == nullptr);
        QCOMPARE(Lifecycle(first, u"Release"_s).errorName(), CAutomationServer::kNotHeldError);
    }

    void lastReleaseEndsOnlyAnUnwatchedProgram_data()
    {
        QTest::addColumn<bool>("bUserControl");
        QTest::addColumn<bool>("bClosed");
        QTest::addColumn<bool>("bEnds");
        QTest::newRow("started by a client, window up") << false << false << true;
        QTest::newRow("started by a client, window hidden") << false << true << true;
        QTest::newRow("started by the user, window up") << true << false << false;
        QTest::newRow("started by the user, window hidden") << true << true << true;
    }

    void lastReleaseEndsOnlyAnUnwatchedProgram()
    {
        QFETCH(bool, bUserControl);
        QFETCH(bool, bClosed);
        QFETCH(bool, bEnds);
        CAppLock::SetUserControl(bUserControl);
        CQuarrowDlg* pDlg = OpenDialog();
        CSuperApp::SetMainWindow(pDlg);
        QSignalSpy finished(pDlg, &QDialog::finished);
        QDBusConnection client = NewClient();

        QCOMPARE(Lifecycle(client, u"Acquire"_s).type(), QDBusMessage::ReplyMessage);
        if (bClosed)
            pDlg->close();
        QCOMPARE(pDlg->isVisible(), !bClosed);
        QCOMPARE(Lifecycle(client, u"Release"_s).type(), QDBusMessage::ReplyMessage);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(finished.count(), bEnds ? 1 : 0);
        QCOMPARE(pDlg->isVisible(), !bEnds && !bClosed);
        CAppLock::SetUserControl(true);
    }

    void lockTakenBeforeTheQueuedEndKeepsTheProgram()
    {
        CAppLock::SetUserControl(false);
        CQuarrowDlg* pDlg = OpenDialog();
        CSuperApp::SetMainWindow(pDlg);
        QSignalSpy finished(pDlg, &QDialog::finished);

        // An unlock without a lock neither goes below zero nor ends anything.
        CAppLock::Unlock();
        QCOMPARE(CAppLock::GetLockCount(), 0);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(finished.count(), 0);

        CAppLock::Lock();
        CAppLock::Unlock(); // the end is queued here...
        CAppLock::Lock();   // ...and a new client arrives before it runs
        QCoreApplication::sendPostedEvents();
        QCOMPARE(finished.count(), 0);
        QVERIFY(pDlg->isVisible());

        CAppLock::Unlock();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(finished.count(), 1);
        CAppLock::SetUserControl(true);
    }

    void clientThatLeavesGivesBackItsReferences()
    {
        CQuarrowDlg* pDlg = OpenDialog();
        CSuperApp::SetMainWindow(pDlg);
        {
            QDBusConnection client =
                QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"leaving-client"_s);
            QCOMPARE(Lifecycle(client, u"Acquire"_s).type(), QDBusMessage::ReplyMessage);
            QCOMPARE(Lifecycle(client, u"Acquire"_s).type(), QDBusMessage::ReplyMessage);
        }
        QDBusConnection staying = NewClient();
        QCOMPARE(Lifecycle(staying, u"Acquire"_s).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(m_pServer->GetReferenceCount(), 3);

        QDBusConnection::disconnectFromBus(u"leaving-client"_s);
        QTRY_COMPARE_WITH_TIMEOUT(m_pServer->GetReferenceCount(), 1, 5000);
        QVERIFY(pDlg->GetAutoProxy() != nullptr);
    }

    void killedClientGivesBackItsReference()
    {
        CAppLock::SetUserControl(false);
        CQuarrowDlg* pDlg = OpenDialog();
        CSuperApp::SetMainWindow(pDlg);
        QSignalSpy finished(pDlg, &QDialog::finished);

        QProcess client;
        client.start(qEnvironmentVariable("QUARROW_AUTOMATION_CLIENT"), {ServerName()});
        QVERIFY(client.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(client.canReadLine(), 15000);
        QCOMPARE(QString::fromUtf8(client.readLine()).trimmed(), ServerName());
        QCOMPARE(m_pServer->GetReferenceCount(), 1);
        pDlg->close();
        QVERIFY(!pDlg->isVisible());

        client.kill(); // SIGKILL: no chance to release
        QVERIFY(client.waitForFinished(10000));
        QTRY_VERIFY_WITH_TIMEOUT(m_pServer->GetProxy() == nullptr, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 5000);
        CAppLock::SetUserControl(true);
    }

    void requestBeforeTheWindowExistsAttachesLater()
    {
        QDBusConnection client = NewClient();
        QCOMPARE(Lifecycle(client, u"Acquire"_s).type(), QDBusMessage::ReplyMessage);
        CQuarrowDlgAutoProxy* pProxy = m_pServer->GetProxy();
        QVERIFY(pProxy != nullptr);
        QVERIFY(pProxy->GetDialog() == nullptr);

        CQuarrowDlg* pDlg = OpenDialog();
        CSuperApp::SetMainWindow(pDlg);
        m_pServer->AttachDialog(pDlg);
        QCOMPARE(pProxy->GetDialog(), pDlg);
        QCOMPARE(pDlg->GetAutoProxy(), pProxy);
        pDlg->close();
        QVERIFY(!pDlg->isVisible());
        QVERIFY(pDlg->GetAutoProxy() == pProxy);
    }

    void windowGoneBeforeTheLastRelease()
    {
        CQuarrowDlg* pDlg = OpenDialog();
        m_pServer->AttachDialog(pDlg);
        QDBusConnection client = NewClient();
        QCOMPARE(Lifecycle(client, u"Acquire"_s).type(), QDBusMessage::ReplyMessage);
        CQuarrowDlgAutoProxy* pProxy = m_pServer->GetProxy();
        QCOMPARE(pProxy->GetDialog(), pDlg);

        m_pDlg.reset();
        QVERIFY(pProxy->GetDialog() == nullptr);
        QCOMPARE(Lifecycle(client, u"Release"_s).type(), QDBusMessage::ReplyMessage);
        QVERIFY(m_pServer->GetProxy() == nullptr);
    }

    void clientStartedCopyServesOneClient()
    {
        // This process plays the copy a client's request started.
        m_pServer.reset();
        m_pServer = std::make_unique<CAutomationServer>(QDBusConnection::sessionBus());
        QVERIFY(m_pServer->Register(true));
        QVERIFY(m_pServer->OwnsName());
        QDBusConnection first = NewClient();
        QDBusConnection second = NewClient();
        QVERIFY(HasOwner(first, CAutomationServer::kServiceName));

        const QDBusMessage reply = Call(first, CAutomationServer::kServiceName,
                                        CAutomationServer::kLifecycleInterface, u"Acquire"_s);
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(reply.arguments().constFirst().toString(), ServerName());
        QVERIFY(!m_pServer->OwnsName());
        QVERIFY(!HasOwner(first, CAutomationServer::kServiceName));

        // Nothing can start a new copy on this bus, so the next request finds no one.
        QCOMPARE(Call(second, CAutomationServer::kServiceName,
                      CAutomationServer::kLifecycleInterface, u"Acquire"_s)
                     .errorName(),
                 u"org.freedesktop.DBus.Error.ServiceUnknown"_s);
        // The first client goes on through the unique name.
        QCOMPARE(Lifecycle(first, u"Release"_s).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(m_pServer->GetReferenceCount(), 0);
    }

    void userStartedCopyRefusesEveryClient()
    {
        m_pServer->SetOffered(false);
        CQuarrowDlg* pDlg = OpenDialog();
        CSuperApp::SetMainWindow(pDlg);
        QSignalSpy finished(pDlg, &QDialog::finished);
        QDBusConnection client = NewClient();

        const QDBusMessage reply = Lifecycle(client, u"Acquire"_s);
        QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(reply.errorName(), CAutomationServer::kNotOfferedError);
        QVERIFY(reply.errorMessage().contains(u"started by the user"_s));
        QCOMPARE(m_pServer->GetReferenceCount(), 0);
        QVERIFY(m_pServer->GetProxy() == nullptr);
        QVERIFY(pDlg->GetAutoProxy() == nullptr);
        QCOMPARE(CAppLock::GetLockCount(), 0);
        // Holding nothing, the client has nothing to give back.
        QCOMPARE(Lifecycle(client, u"Release"_s).errorName(), CAutomationServer::kNotHeldError);

        // Closing the window ends it, as if no client had asked.
        pDlg->close();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 5000);
        QVERIFY(!pDlg->isVisible());
    }

    void nameTakenByAnotherCopy()
    {
        m_pServer.reset();
        QDBusConnection other = NewClient();
        QCOMPARE(other.interface()->registerService(CAutomationServer::kServiceName).value(),
                 QDBusConnectionInterface::ServiceRegistered);
        CAutomationServer second(QDBusConnection::sessionBus());
        QVERIFY(!second.Register(true));
        QVERIFY(!second.OwnsName());
        QVERIFY(HasOwner(other, CAutomationServer::kServiceName));
        // Still reachable by its unique name.
        QCOMPARE(Lifecycle(other, u"Acquire"_s).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(Lifecycle(other, u"Release"_s).type(), QDBusMessage::ReplyMessage);
    }
};

QTEST_MAIN(CAutomationServerTest)
#include "CAutomationServerTest.moc"
