// View Source on the find window: rows found by a real search are written to script files in
// a scratch temporary folder and handed to a recording opener.

#include "catalog/CObjectModel.h"
#include "catalog/CRegisteredServerStore.h"
#include "controls/CCommandTarget.h"
#include "controls/CDragGridBox.h"
#include "controls/CSuperApp.h"
#include "findwnd/CChkBoxTreeCtrl.h"
#include "findwnd/CQuarrowDlg.h"
#include "platform/CProfile.h"
#include "platform/CShell.h"
#include "res/Resource.h"
#include "tests/support/CMemoryLibrary.h"
#include "tests/support/CRecordingOpener.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace Qt::StringLiterals;

class CQuarrowDlgViewSourceTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_pFolder;
    std::unique_ptr<CProfile> m_pProfile;
    std::shared_ptr<CMemoryCatalog> m_pCatalog;
    std::shared_ptr<CMemoryLibrary> m_pModern;
    std::shared_ptr<CMemoryLibrary> m_pLegacy;
    QString m_strTemp; // what TMPDIR names
    std::unique_ptr<CRecordingOpener> m_pOpener;

    // Finds the objects (one server, one database) and answers the open window.
    std::unique_ptr<CQuarrowDlg> FindObjects(std::vector<SMemoryObject> objects)
    {
        SMemoryServer server;
        server.name = u"SRV";
        SMemoryDatabase db;
        db.name = u"pubs";
        db.objects = std::move(objects);
        server.databases.push_back(std::move(db));
        m_pCatalog->servers.push_back(std::move(server));
        CRegisteredServerStore store(*m_pProfile);
        RegisteredServer registration;
        registration.m_strServerName = u"SRV";
        store.SaveServerRegistration(registration);

        auto pDlg = std::make_unique<CQuarrowDlg>(*m_pProfile);
        pDlg->show();
        if (!QTest::qWaitForWindowExposed(pDlg.get()))
            qFatal("the find window was not shown");
        CChkBoxTreeCtrl* pTree = pDlg->GetLookInTree();
        for (int i = 0; i < pTree->topLevelItemCount(); ++i)
            for (int j = 0; j < pTree->topLevelItem(i)->childCount(); ++j)
                pTree->SetCheck(pTree->topLevelItem(i)->child(j), true);
        QWidget* pFind = pDlg->GetControl(IDC_FIND_NOW);
        QTest::mouseClick(pFind, Qt::LeftButton, {}, QPoint(4, pFind->height() / 2));
        if (!QTest::qWaitFor([&] { return !pDlg->IsWorkerRecorded(); }, 10000))
            qFatal("the search did not end");
        return pDlg;
    }

    QStringList Openings() const { return m_pOpener->Openings(); }

    static QByteArray Content(const QString& strPath)
    {
        QFile file(strPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    static void DoubleClickRow(CDragGridBox* pList, int nRow)
    {
        const QRect rect = pList->visualRect(pList->model()->index(nRow, 0));
        QTest::mouseDClick(pList->viewport(), Qt::LeftButton, {}, rect.center());
    }

private Q_SLOTS:
    void init()
    {
        QTest::failOnWarning(QRegularExpression(u"^(?!This plugin does not support).*"_s));
        m_pFolder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_pFolder->isValid());
        m_strTemp = m_pFolder->filePath(u"tmp"_s);
        QVERIFY(QDir().mkpath(m_strTemp));
        m_pOpener.reset(); // the old one unsets the variable as it goes
        m_pOpener = std::make_unique<CRecordingOpener>(m_pFolder->path());
        QVERIFY(m_pOpener->IsValid());
        qputenv("BROWSER", "");

        m_pProfile =
            std::make_unique<CProfile>(u"Quarrow", m_pFolder->filePath(u"profile"_s).toStdString());
        m_pCatalog = std::make_shared<CMemoryCatalog>();
        m_pModern = std::make_shared<CMemoryLibrary>(EFlavour::Modern, m_pCatalog);
        m_pLegacy = std::make_shared<CMemoryLibrary>(EFlavour::Legacy, m_pCatalog);
        CObjectModel::SetLibraries(m_pModern, m_pLegacy);
        CSuperApp::TakeShownTextsForTesting();
        // TMPDIR last: the folders above are made in the real temporary folder.
        qputenv("TMPDIR", m_strTemp.toUtf8());
    }

    void cleanup()
    {
        qunsetenv("TMPDIR");
        CObjectModel::SetLibraries(nullptr, nullptr);
        m_pProfile.reset();
        m_pFolder.reset();
    }

    void threeSelectedRowsInListOrder()
    {
        auto pDlg = FindObjects({MemObject(u"p_one", ObjectType::StoredProcedure, u"script one"),
                                 MemObject(u"p_two", ObjectType::StoredProcedure, u"script two"),
                                 MemObject(u"p_three", ObjectType::StoredProcedure, u"script 3")});
        CDragGridBox* pList = pDlg->GetResultList();
        QCOMPARE(pList->CountItems(), 3);
        pList->selectAll();
        QVERIFY(CCommandTarget::SendCommand(pDlg.get(), ID_VIEW_SOURCE));

        const QStringList openings = Openings();
        QCOMPARE(openings.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QString strName;
            QString strScript;
            QVERIFY(pDlg->GetRowObjectScript(i, strName, strScript));
            const QFileInfo info(openings[i]);
            QCOMPARE(info.absolutePath(), QFileInfo(m_strTemp).absoluteFilePath());
            QVERIFY2(info.fileName().startsWith(strName.left(3)), qPrintable(info.fileName()));
            QCOMPARE(Content(openings[i]), strScript.toUtf8());
        }
        QCOMPARE(QDir(m_strTemp).entryList(QDir::Files).size(), 6);
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(), QStringList());
    }

    void doubleClickViewsTheRow()
    {
        auto pDlg = FindObjects({MemObject(u"sp_helpfile", ObjectType::StoredProcedure,
                                           u"CREATE PROCEDURE sp_helpfile AS SELECT 1")});
        CDragGridBox* pList = pDlg->GetResultList();
        QCOMPARE(pList->CountItems(), 1);
        QCOMPARE(pList->GetCurrentItem(), -1);
        DoubleClickRow(pList, 0);

        const QStringList openings = Openings();
        QCOMPARE(openings.size(), 1);
        const QFileInfo info(openings[0]);
        QVERIFY2(info.fileName().startsWith(u"sp_"_s), qPrintable(info.fileName()));
        QVERIFY(info.fileName().endsWith(u".sql"_s));
        const QString strReserved = openings[0].chopped(4) + u".tmp"_s;
        QCOMPARE(Content(strReserved), QByteArray());
        QCOMPARE(Content(openings[0]), QByteArray("CREATE PROCEDURE sp_helpfile AS SELECT 1"));
        QCOMPARE(info.permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
    }

    void namesStayInsideTheTemporaryFolder()
    {
        auto pDlg = FindObjects({MemObject(u"../../evil", ObjectType::StoredProcedure, u"a"),
                                 MemObject(u"a/b", ObjectType::StoredProcedure, u"b"),
                                 MemObject(u"..", ObjectType::StoredProcedure, u"c")});
        pDlg->GetResultList()->selectAll();
        QVERIFY(CCommandTarget::SendCommand(pDlg.get(), ID_VIEW_SOURCE));
        const QStringList openings = Openings();
        QCOMPARE(openings.size(), 3);
        const QString strTemp = QFileInfo(m_strTemp).canonicalFilePath();
        for (const QString& strPath : openings)
            QCOMPARE(QFileInfo(strPath).canonicalPath(), strTemp);
        // Nothing landed beside the temporary folder.
        QCOMPARE(QDir(m_pFolder->path()).entryList(QDir::Files),
                 (QStringList{u"opener.sh"_s, u"opener.sh.log"_s}));
    }

    void nonLatinScriptWithCrLfArrivesByteForByte()
    {
        const std::u16string script =
            u"CREATE VIEW \u0412\u0438\u0434 AS\r\n-- \u65e5\u672c\u8a9e\r\n"
            u"SELECT N'\u00e9\u00df' AS c\r\n";
        auto pDlg = FindObjects({MemObject(u"\u0412\u0438\u0434", ObjectType::View, script)});
        DoubleClickRow(pDlg->GetResultList(), 0);
        const QStringList openings = Openings();
        QCOMPARE(openings.size(), 1);
        QCOMPARE(Content(openings[0]), QString::fromStdU16String(script).toUtf8());
        QVERIFY(QFileInfo(openings[0]).fileName().startsWith(u"\u0412\u0438\u0434"_s));
    }

    void draggedRowsCarryTheScript()
    {
        auto pDlg = FindObjects(
            {MemObject(u"p_drag", ObjectType::StoredProcedure, u"CREATE PROCEDURE p_drag")});
        CDragGridBox* pList = pDlg->GetResultList();
        pList->selectAll();
        QVERIFY(pList->GetDragText().contains(u"CREATE PROCEDURE p_drag"_s));
    }

    void failuresShowTheSystemText()
    {
        auto pDlg = FindObjects({MemObject(u"p1", ObjectType::StoredProcedure, u"x"),
                                 MemObject(u"p2", ObjectType::StoredProcedure, u"y")});
        pDlg->GetResultList()->selectAll();

        // The folder is gone: each row gets the error, and nothing is opened.
        qputenv("TMPDIR", (m_strTemp + u"/missing"_s).toUtf8());
        CSuperApp::PushAnswerForTesting(QMessageBox::Ok);
        CSuperApp::PushAnswerForTesting(QMessageBox::Ok);
        QVERIFY(CCommandTarget::SendCommand(pDlg.get(), ID_VIEW_SOURCE));
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(),
                 (QStringList{u"No such file or directory"_s, u"No such file or directory"_s}));
        QVERIFY(Openings().isEmpty());

        // The opener fails: its message, and the file stays written.
        qputenv("TMPDIR", m_strTemp.toUtf8());
        qputenv("QUARROW_OPENER", "/bin/false");
        CSuperApp::PushAnswerForTesting(QMessageBox::Ok);
        CSuperApp::PushAnswerForTesting(QMessageBox::Ok);
        QVERIFY(CCommandTarget::SendCommand(pDlg.get(), ID_VIEW_SOURCE));
        const QString strText =
            QString::fromStdU16String(CShell::LinkErrorText(ShellResult::AssociationIncomplete));
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(), (QStringList{strText, strText}));
        QCOMPARE(QDir(m_strTemp).entryList({u"*.sql"_s}, QDir::Files).size(), 2);
    }

    void refusedScriptIsSkippedQuietly()
    {
        SMemoryObject refused = MemObject(u"p_refused", ObjectType::StoredProcedure, u"x");
        auto pDlg =
            FindObjects({refused, MemObject(u"p_fine", ObjectType::StoredProcedure, u"ok")});
        CDragGridBox* pList = pDlg->GetResultList();
        QCOMPARE(pList->CountItems(), 2);
        // The object model refuses scripts from now on for the first object.
        m_pCatalog->servers[0].databases[0].objects[0].script = std::nullopt;
        QString strName;
        QString strScript;
        QVERIFY(!pDlg->GetRowObjectScript(-1, strName, strScript));
        pList->selectAll();
        QVERIFY(CCommandTarget::SendCommand(pDlg.get(), ID_VIEW_SOURCE));
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(), QStringList());
        QCOMPARE(Openings().size(), 1);
        QCOMPARE(Content(Openings()[0]), QByteArray("ok"));
    }
};

QTEST_MAIN(CQuarrowDlgViewSourceTest)
#include "CQuarrowDlgViewSourceTest.moc"
