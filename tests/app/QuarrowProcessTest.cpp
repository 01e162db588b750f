// The real Quarrow executable on a private session bus: a copy started for a client ends when
// its client lets go, a normal start rewrites the activation file, the bus starts one copy per
// client through that file, and without a bus the program runs and prints nothing.

#include "app/CActivationFile.h"
#include "app/CAutomationServer.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& strText)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << strText;
}

bool ProcessExists(uint nPid)
{
    return ::kill(static_cast<pid_t>(nPid), 0) == 0;
}

// What a program printed, without the offscreen platform's notes about what it cannot do.
QString Printed(QProcess& process)
{
    QStringList lines;
    const QString strAll =
        QString::fromLocal8Bit(process.readAllStandardOutput() + process.readAllStandardError());
    for (const QString& strLine : strAll.split(u'\n', Qt::SkipEmptyParts)) {
        if (!strLine.startsWith("This plugin does not support"_L1))
            lines << strLine;
    }
    return lines.join(u'\n');
}

} // namespace

class QuarrowProcessTest : public QObject
{
    Q_OBJECT

private:
    QString m_strQuarrow;
    QString m_strClient;
    std::filesystem::path m_activationFile;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    std::vector<uint> m_busStarted; // copies the bus started: not children of this test

    QProcess* Start(const QString& strProgram, const QStringList& args,
                    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
    {
        m_processes.push_back(std::make_unique<QProcess>());
        QProcess* pProcess = m_processes.back().get();
        pProcess->setProcessEnvironment(env);
        pProcess->start(strProgram, args);
        return pProcess;
    }

    QProcess* StartClient()
    {
        QProcess* pClient = Start(m_strClient, {});
        pClient->waitForStarted(10000);
        return pClient;
    }

    // The first line a client prints: the unique name that answered its Acquire.
    static QString ReadAnswer(QProcess* pClient)
    {
        if (!pClient->canReadLine())
            pClient->waitForReadyRead(30000);
        return QString::fromUtf8(pClient->readLine()).trimmed();
    }

    static QDBusConnectionInterface* Bus() { return QDBusConnection::sessionBus().interface(); }

    static bool NameOwned() { return Bus()->isServiceRegistered(CAutomationServer::kServiceName); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "the suite needs a session bus");
        m_strQuarrow = QFileInfo(qEnvironmentVariable("QUARROW_EXE")).canonicalFilePath();
        m_strClient = qEnvironmentVariable("QUARROW_AUTOMATION_CLIENT");
        QVERIFY(!m_strQuarrow.isEmpty());
        QVERIFY(!m_strClient.isEmpty());
        m_activationFile = CActivationFile::DefaultPath();
        QVERIFY(!m_activationFile.empty());
        // Settings that open the find window straight away: no components notice and the demo
        // catalogues registered, so no registration dialog either.
        const QString strSettings = qEnvironmentVariable("XDG_CONFIG_HOME") + u"/Korvane@Work"_s;
        QCOMPARE(QProcess::execute(qEnvironmentVariable("QUARROW_DEMO_SETTINGS"), {strSettings}),
                 0);
    }

    void init() { QTest::failOnWarning(QRegularExpression(u".*"_s)); }

    void cleanup()
    {
        for (const uint nPid : m_busStarted) {
            if (ProcessExists(nPid))
                ::kill(static_cast<pid_t>(nPid), SIGKILL);
        }
        m_busStarted.clear();
        // QProcess kills what is still running.
        m_processes.clear();
        QTRY_VERIFY_WITH_TIMEOUT(!NameOwned(), 10000);
    }

    void clientStartedCopyEndsWhenItsClientLetsGo_data()
    {
        QTest::addColumn<QString>("strOption");
        QTest::addColumn<QString>("strHow");
        QTest::newRow("released") << u"-Automation"_s << u"release"_s;
        QTest::newRow("client killed") << u"/Embedding"_s << u"kill"_s;
        QTest::newRow("client left") << u"-embedding"_s << u"leave"_s;
    }

    void clientStartedCopyEndsWhenItsClientLetsGo()
    {
        QFETCH(QString, strOption);
        QFETCH(QString, strHow);
        WriteFile(m_activationFile, "left alone");

        QProcess* pQuarrow = Start(m_strQuarrow, {strOption});
        QVERIFY(pQuarrow->waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(NameOwned(), 20000);

        QProcess* pClient = StartClient();
        const QString strAnswer = ReadAnswer(pClient);
        QVERIFY2(strAnswer.startsWith(u':'), qPrintable(strAnswer));
        QCOMPARE(Bus()->servicePid(strAnswer).value(), static_cast<uint>(pQuarrow->processId()));
        // Single use: the next client's request would start a new copy.
        QVERIFY(!NameOwned());
        QCOMPARE(pQuarrow->state(), QProcess::Running);

        if (strHow == "release"_L1) {
            // Two references, one given back: the program stays.
            pClient->write("acquire\nrelease\n");
            for (int i = 0; i < 2; ++i) {
                QTRY_VERIFY_WITH_TIMEOUT(pClient->canReadLine(), 10000);
                QCOMPARE(pClient->readLine().trimmed(), "ok");
            }
            QTest::qWait(200);
            QCOMPARE(pQuarrow->state(), QProcess::Running);
            pClient->write("release\n");
            QTRY_VERIFY_WITH_TIMEOUT(pClient->canReadLine(), 10000);
            // The answer comes before the program ends.
            QCOMPARE(pClient->readLine().trimmed(), "ok");
        } else if (strHow == "kill"_L1) {
            pClient->kill();
        } else {
            pClient->closeWriteChannel();
        }

        // It may have ended while the test was reading the client's answer.
        QVERIFY(pQuarrow->state() == QProcess::NotRunning || pQuarrow->waitForFinished(15000));
        QCOMPARE(pQuarrow->exitStatus(), QProcess::NormalExit);
        QCOMPARE(pQuarrow->exitCode(), 0);
        QCOMPARE(Printed(*pQuarrow), QString());
        QCOMPARE(ReadFile(m_activationFile), "left alone");
    }

    void automationInterfaceFromTheCommandLine()
    {
        QProcess* pQuarrow = Start(m_strQuarrow, {u"-Automation"_s});
        QTRY_VERIFY_WITH_TIMEOUT(NameOwned(), 20000);
        const QStringList target = {u"--session"_s, u"--dest"_s, CAutomationServer::kServiceName,
                                    u"--object-path"_s, CAutomationServer::kObjectPath};

        QProcess introspect;
        introspect.start(u"gdbus"_s,
                         QStringList{u"introspect"_s} + target + QStringList{u"--xml"_s});
        QVERIFY(introspect.waitForFinished(10000));
        QCOMPARE(introspect.exitCode(), 0);
        const QString strXml = QString::fromUtf8(introspect.readAllStandardOutput());
        QVERIFY(strXml.contains(
            u"<annotation name=\"Quarrow.ClassId\" value=\"{5C3B19D4-8E2A-4F71-B6C0-2D94E7A1F358}\"/>"_s));

        QProcess call;
        call.start(u"gdbus"_s, QStringList{u"call"_s} + target +
                                   QStringList{u"--method"_s, u"Quarrow.Application.Quit"_s});
        QVERIFY(call.waitForFinished(10000));
        QVERIFY(call.exitCode() != 0);
        QVERIFY(call.readAllStandardError().contains("UnknownMethod"));
        // Looking does not hold: the copy still waits for a client.
        QVERIFY(NameOwned());
        QCOMPARE(pQuarrow->state(), QProcess::Running);
    }

    void normalStartRewritesTheActivationFile()
    {
        WriteFile(m_activationFile, "[D-BUS Service]\nName=Quarrow.Application\nExec=/gone\n");
        QProcess* pQuarrow = Start(m_strQuarrow, {});
        const std::string strExpected = CActivationFile::Contents(m_strQuarrow.toStdString());
        QVERIFY(!strExpected.empty());
        QTRY_COMPARE_WITH_TIMEOUT(ReadFile(m_activationFile), strExpected, 20000);
        // The user's copy does not answer for clients.
        QTest::qWait(300);
        QVERIFY(!NameOwned());
        QCOMPARE(pQuarrow->state(), QProcess::Running);
    }

    void userStartedCopyRefusesClients()
    {
        QProcess* pQuarrow = Start(m_strQuarrow, {});
        QVERIFY(pQuarrow->waitForStarted(10000));
        const uint nPid = static_cast<uint>(pQuarrow->processId());
        // The copy's unique name, as any program of the user can find it.
        QString strUnique;
        const auto findUnique = [&] {
            const QStringList names = Bus()->registeredServiceNames().value();
            for (const QString& strName : names) {
                if (strName.startsWith(u':') && Bus()->servicePid(strName).value() == nPid)
                    strUnique = strName;
            }
            return !strUnique.isEmpty();
        };
        QTRY_VERIFY_WITH_TIMEOUT(findUnique(), 20000);
        // The bus connection comes up before the object is put on it.
        const auto exported = [&] {
            const QDBusMessage reply = QDBusConnection::sessionBus().call(
                QDBusMessage::createMethodCall(strUnique, CAutomationServer::kObjectPath,
                                               u"org.freedesktop.DBus.Introspectable"_s,
                                               u"Introspect"_s),
                QDBus::Block, 5000);
            return reply.type() == QDBusMessage::ReplyMessage &&
                   reply.arguments().value(0).toString().contains(
                       CAutomationServer::kLifecycleInterface);
        };
        QTRY_VERIFY_WITH_TIMEOUT(exported(), 20000);

        QProcess* pClient = Start(m_strClient, {strUnique});
        QVERIFY(pClient->waitForFinished(30000));
        QCOMPARE(pClient->exitCode(), 1);
        QVERIFY2(pClient->readAllStandardOutput().startsWith(
                     "error: " + CAutomationServer::kNotOfferedError.toUtf8()),
                 "the user's copy answered a client");
        QVERIFY(!NameOwned());
        QCOMPARE(pQuarrow->state(), QProcess::Running);
    }

    void busStartsOneCopyPerClient()
    {
        QCOMPARE(CActivationFile::Write(m_activationFile, m_strQuarrow.toStdString()), 0);

        QProcess* pFirst = StartClient();
        const QString strFirst = ReadAnswer(pFirst);
        QVERIFY2(strFirst.startsWith(u':'), qPrintable(strFirst));
        const uint nFirstPid = Bus()->servicePid(strFirst).value();
        m_busStarted.push_back(nFirstPid);

        QProcess* pSecond = StartClient();
        const QString strSecond = ReadAnswer(pSecond);
        QVERIFY2(strSecond.startsWith(u':'), qPrintable(strSecond));
        const uint nSecondPid = Bus()->servicePid(strSecond).value();
        m_busStarted.push_back(nSecondPid);

        QVERIFY(strFirst != strSecond);
        QVERIFY(nFirstPid != nSecondPid);
        QVERIFY(ProcessExists(nFirstPid) && ProcessExists(nSecondPid));

        pFirst->write("release\n");
        QTRY_VERIFY_WITH_TIMEOUT(!ProcessExists(nFirstPid), 15000);
        QVERIFY(ProcessExists(nSecondPid));
        pSecond->closeWriteChannel();
        QTRY_VERIFY_WITH_TIMEOUT(!ProcessExists(nSecondPid), 15000);
    }

    void busStartsACopyAtAnAwkwardPath()
    {
        // Every character the Exec rules make us quote or escape, through a link to the program.
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString strLinkFolder = folder.path() + u"/my \"odd\" $dir \\ `x` it's"_s;
        QVERIFY(QDir().mkpath(strLinkFolder));
        const QString strLink = strLinkFolder + u"/Quarrow"_s;
        QVERIFY(QFile::link(m_strQuarrow, strLink));
        QCOMPARE(CActivationFile::Write(m_activationFile, strLink.toStdString()), 0);

        QProcess* pClient = StartClient();
        const QString strAnswer = ReadAnswer(pClient);
        QVERIFY2(strAnswer.startsWith(u':'), qPrintable(strAnswer));
        const uint nPid = Bus()->servicePid(strAnswer).value();
        m_busStarted.push_back(nPid);
        QFile cmdline(u"/proc/%1/cmdline"_s.arg(nPid));
        QVERIFY(cmdline.open(QIODevice::ReadOnly));
        QCOMPARE(cmdline.readAll(), strLink.toUtf8() + '\0' + "-Embedding" + '\0');

        pClient->write("release\n");
        QTRY_VERIFY_WITH_TIMEOUT(!ProcessExists(nPid), 15000);
    }

    void withoutABusRunsAndPrintsNothing_data()
    {
        QTest::addColumn<QString>("strAddress");
        QTest::newRow("no address") << QString();
        QTest::newRow("unreachable") << u"unix:path=/nonexistent/quarrow-test-bus"_s;
    }

    void withoutABusRunsAndPrintsNothing()
    {
        QFETCH(QString, strAddress);
        QTemporaryDir data;
        QVERIFY(data.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(u"DBUS_SESSION_BUS_ADDRESS"_s);
        if (!strAddress.isEmpty())
            env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, strAddress);
        env.insert(u"XDG_DATA_HOME"_s, data.path());
        const QString strFile = data.path() + u"/dbus-1/services/Quarrow.Application.service"_s;

        QProcess* pQuarrow = Start(m_strQuarrow, {}, env);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(strFile), 20000);
        // Give the window time to come up, as far as a test can tell from outside.
        QTest::qWait(1000);
        QCOMPARE(pQuarrow->state(), QProcess::Running);
        pQuarrow->terminate();
        QVERIFY(pQuarrow->waitForFinished(10000));
        QCOMPARE(Printed(*pQuarrow), QString());
    }
};

QTEST_MAIN(QuarrowProcessTest)
#include "QuarrowProcessTest.moc"
