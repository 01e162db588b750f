// The registration dialog's "..." with the shipped libraries: the SQL Server Browser's
// answers (the test responder on 127.0.0.1) and the servers of a freetds.conf written here
// arrive in the Select Server list while the dialog stays live, and Cancel or closing the
// dialog during the listing is safe.

#include "catalog/CObjectModel.h"
#include "controls/CSuperApp.h"
#include "findwnd/CNewSQLServerRegistrationDlg.h"
#include "findwnd/CSelectActiveSQLServerDlg.h"
#include "res/CDialogBuilder.h"
#include "res/Resource.h"
#include "tests/support/CBrowserResponder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

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

QStringList Entries(const QListWidget* pList)
{
    QStringList entries;
    for (int i = 0; i < pList->count(); ++i)
        entries << pList->item(i)->text();
    return entries;
}

} // namespace

class CSelectServerTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_pFolder;
    std::unique_ptr<CBrowserResponder> m_pBrowser;

    // Only the files written here are read, and the browser is the responder.
    void UseScratchEnvironment()
    {
        const QString strConf = m_pFolder->filePath(u"freetds.conf"_s);
        QFile conf(strConf);
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("[reports]\n  host = reports.corp.example\n  port = 50200\n");
        conf.close();
        qputenv("HOME", m_pFolder->path().toUtf8());
        qputenv("FREETDSCONF", strConf.toUtf8());
        qputenv("ODBCINI", m_pFolder->filePath(u"odbc.ini"_s).toUtf8());
        qputenv("ODBCSYSINI", m_pFolder->path().toUtf8());
        qputenv("XDG_DATA_HOME", m_pFolder->filePath(u"data"_s).toUtf8());
        qputenv("QUARROW_BROWSER_ADDRESS", QByteArray::fromStdString(m_pBrowser->Address()));
    }

private Q_SLOTS:
    void init()
    {
        QTest::failOnWarning(QRegularExpression(u"^(?!This plugin does not support).*"_s));
        m_pFolder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_pFolder->isValid());
        m_pBrowser = std::make_unique<CBrowserResponder>();
        QVERIFY(m_pBrowser->GetPort() != 0);
        m_pBrowser->SetInstances(
            {{"SQL01", "SALES", 50123}, {"SQL01", "MSSQLSERVER", 1433}, {"sql02", "HR", 0}});
        UseScratchEnvironment();
        CObjectModel::UseDefaultLibraries();
        CSuperApp::TakeShownTextsForTesting();
    }

    void cleanup()
    {
        CObjectModel::SetLibraries(nullptr, nullptr);
        // Back to a port where nothing answers, as for every other test.
        qputenv("QUARROW_BROWSER_ADDRESS", "127.0.0.1:9");
        m_pBrowser.reset();
        m_pFolder.reset();
    }

    void browseShowsTheBrowsersAnswers()
    {
        CNewSQLServerRegistrationDlg registration;
        registration.show();
        QVERIFY(QTest::qWaitForWindowExposed(&registration));
        QStringList listed;
        bool bWasListing = false;
        WhenModal(u"CSelectActiveSQLServerDlg"_s, [&](QDialog* pSelect) {
            auto* pDlg = qobject_cast<CSelectActiveSQLServerDlg*>(pSelect);
            bWasListing = pDlg->IsListing();
            QTRY_VERIFY_WITH_TIMEOUT(!pDlg->IsListing(), 10000);
            auto* pList = pDlg->GetServerList();
            listed = Entries(pList);
            const QList<QListWidgetItem*> found =
                pList->findItems(u"SQL01\\SALES"_s, Qt::MatchExactly);
            if (!found.isEmpty())
                QTest::mouseClick(pList->viewport(), Qt::LeftButton, {},
                                  pList->visualItemRect(found.front()).center());
            Click(pDlg, IDOK);
        });
        Click(&registration, IDC_REG_BROWSE);
        // The dialog was up before the answers came.
        QVERIFY(bWasListing);
        for (const QString& strName :
             {u"SQL01"_s, u"SQL01\\SALES"_s, u"sql02\\HR"_s, u"reports.corp.example,50200"_s})
            QVERIFY2(listed.contains(strName), qPrintable(listed.join(u" | "_s)));
        // Sorted without regard to case, each name once.
        QStringList sorted = listed;
        std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
            return a.compare(b, Qt::CaseInsensitive) < 0;
        });
        QCOMPARE(listed, sorted);
        QCOMPARE(listed.removeDuplicates(), 0);
        QCOMPARE(Control<QLineEdit>(&registration, IDC_REG_SERVER)->text(), u"SQL01\\SALES"_s);
        QVERIFY(m_pBrowser->GetRequests() >= 1);
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(), QStringList());
    }

    void dialogStaysLiveAndCancelWorksWhileListing()
    {
        m_pBrowser->SetSilent(true);
        CSelectActiveSQLServerDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QVERIFY(dlg.IsListing());
        QCOMPARE(dlg.cursor().shape(), Qt::BusyCursor);
        QVERIFY(QApplication::overrideCursor() == nullptr);
        // Events are handled meanwhile: a timer fires while the browser keeps silent.
        bool bTimerFired = false;
        QTimer::singleShot(20, &dlg, [&] { bTimerFired = true; });
        QTRY_VERIFY(bTimerFired);
        QVERIFY(dlg.IsListing());
        Click(&dlg, IDCANCEL);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QVERIFY(!dlg.IsListing());
        QVERIFY(dlg.GetServerList()->count() == 0);
        // The worker's late answer changes nothing.
        QTest::qWait(1300);
        QCOMPARE(dlg.GetServerList()->count(), 0);
    }

    void closingBeforeTheAnswersIsSafe()
    {
        m_pBrowser->SetCopies(50);
        for (int i = 0; i < 5; ++i) {
            auto pDlg = std::make_unique<CSelectActiveSQLServerDlg>();
            pDlg->show();
            QTest::qWait(i * 60);
            pDlg.reset();
        }
        // Every worker ends within its second; nothing reaches the dialogs that are gone.
        QTest::qWait(1300);
        CSelectActiveSQLServerDlg last;
        QTRY_VERIFY_WITH_TIMEOUT(!last.IsListing(), 10000);
        QVERIFY(Entries(last.GetServerList()).contains(u"SQL01\\SALES"_s));
    }

    // The picture of the dialog for the README; runs only when QUARROW_SCREENSHOT_DIR is set.
    void screenshot()
    {
        const QString strOut = qEnvironmentVariable("QUARROW_SCREENSHOT_DIR");
        if (strOut.isEmpty())
            QSKIP("QUARROW_SCREENSHOT_DIR is not set");
        m_pBrowser->SetInstances({{"SQL01", "MSSQLSERVER", 1433},
                                  {"SQL01", "SALES", 50123},
                                  {"SQL02", "HR", 50200},
                                  {"WAREHOUSE", "MSSQLSERVER", 1433}});
        CSelectActiveSQLServerDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.IsListing(), 10000);
        QListWidget* pList = dlg.GetServerList();
        const QList<QListWidgetItem*> found = pList->findItems(u"SQL01\\SALES"_s, Qt::MatchExactly);
        QVERIFY(!found.isEmpty());
        pList->setCurrentItem(found.front());
        QTest::qWait(100);
        QVERIFY(dlg.grab().save(strOut + u"/select-server.png"_s));
    }
};

QTEST_MAIN(CSelectServerTest)
#include "CSelectServerTest.moc"
