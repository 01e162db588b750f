// The About box's link and version line, and the web commands of the find window, with a
// recording opener in place of the desktop's.

#include "findwnd/CHyperLink.h"

#include "catalog/CObjectModel.h"
#include "controls/CCommandTarget.h"
#include "controls/CSuperApp.h"
#include "findwnd/CAboutDlg.h"
#include "findwnd/CHelpPages.h"
#include "findwnd/CQuarrowDlg.h"
#include "platform/CProfile.h"
#include "res/Resource.h"
#include "tests/support/CRecordingOpener.h"

#include <QEnterEvent>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

class CHyperLinkTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_folder;
    std::unique_ptr<CRecordingOpener> m_pOpener;

    void UseOpener(int nExitStatus)
    {
        m_pOpener.reset(); // the old one unsets the variable as it goes
        m_pOpener = std::make_unique<CRecordingOpener>(m_folder.path(), nExitStatus);
        QVERIFY(m_pOpener->IsValid());
    }

    QStringList Opened() const { return m_pOpener ? m_pOpener->Openings() : QStringList(); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        qputenv("BROWSER", "");
        qputenv("QUARROW_HELP_DIR", m_folder.path().toUtf8());
        QFile index(m_folder.filePath(u"index.html"_s));
        QVERIFY(index.open(QIODevice::WriteOnly));
    }

    void init()
    {
        QTest::failOnWarning(QRegularExpression(u"^(?!This plugin does not support).*"_s));
        if (m_pOpener)
            m_pOpener->Clear();
        CSuperApp::TakeShownTextsForTesting();
    }

    void versionLine()
    {
        CAboutDlg about;
        QCOMPARE(about.GetVersionLabel()->text(), u"Quarrow 3.4.3.2 Unicode(64bit)"_s);
        QCOMPARE(about.windowTitle(), u"About Quarrow"_s);
        QCOMPARE(about.GetLink()->toolTip(), CHelpPages::Address(CHelpPages::EPage::Contents));
        QVERIFY(about.GetLink()->GetURL().endsWith(u"/index.html"_s));
    }

    void linkColoursAndVisit()
    {
        UseOpener(0);
        CHyperLink link;
        link.SetURL(u"https://example.invalid/quarrow"_s);
        QCOMPARE(link.text(), u"https://example.invalid/quarrow"_s);
        QVERIFY(link.font().underline());
        QCOMPARE(link.GetCurrentColour(), CHyperLink::kLinkColour);
        QCOMPARE(link.palette().color(QPalette::WindowText), CHyperLink::kLinkColour);

        link.show();
        QVERIFY(QTest::qWaitForWindowExposed(&link));
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
        QApplication::sendEvent(&link, &enter);
        QVERIFY(link.IsOverControl());
        QCOMPARE(link.GetCurrentColour(), link.GetHoverColour());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&link, &leave);
        QCOMPARE(link.GetCurrentColour(), CHyperLink::kLinkColour);

        QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(2, 2));
        QCOMPARE(Opened(), QStringList{u"https://example.invalid/quarrow"_s});
        QVERIFY(link.IsVisited());
        QCOMPARE(link.GetCurrentColour(), CHyperLink::kVisitedColour);
        QVERIFY(CSuperApp::TakeShownTextsForTesting().isEmpty());

        // On a dark desktop the palette's link colours take over, and follow a change.
        const QPalette light = QApplication::palette();
        QPalette dark = light;
        dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
        dark.setColor(QPalette::Link, QColor(0x7a, 0xb8, 0xff));
        dark.setColor(QPalette::LinkVisited, QColor(0xc0, 0x9a, 0xff));
        QApplication::setPalette(dark);
        QCOMPARE(link.GetCurrentColour(), QColor(0xc0, 0x9a, 0xff));
        QTRY_COMPARE(link.palette().color(QPalette::WindowText), QColor(0xc0, 0x9a, 0xff));
        QApplication::setPalette(light);
        QTRY_COMPARE(link.palette().color(QPalette::WindowText), CHyperLink::kVisitedColour);
    }

    void linkFailureIsReported()
    {
        // Exit status 3: no program for it.
        UseOpener(3);
        CHyperLink link;
        link.SetURL(u"https://example.invalid/"_s);
        CSuperApp::PushAnswerForTesting(QMessageBox::Ok);
        QVERIFY(link.OpenAddress() <= 32);
        QVERIFY(!link.IsVisited());
        QCOMPARE(
            CSuperApp::TakeShownTextsForTesting(),
            QStringList{
                u"Unable to open hyperlink:\n\nThere is no application associated\nwith the given filename extension."_s});
    }

    void webCommandsOpenTheBundledPages()
    {
        UseOpener(0);
        QTemporaryDir settings;
        CProfile profile(u"Quarrow", settings.path().toStdString());
        CObjectModel::SetLibraries(nullptr, nullptr);
        CQuarrowDlg dlg(profile);
        // The empty tree's registration dialog is not what this test is about.
        dlg.SetNewRegistrationHandler([] {});
        QVERIFY(CCommandTarget::SendCommand(&dlg, ID_WEB_HOME_PAGE));
        QVERIFY(CCommandTarget::SendCommand(&dlg, ID_WEB_PRODUCT_NEWS));
        QVERIFY(CCommandTarget::SendCommand(&dlg, ID_WEB_FEEDBACK));
        const QStringList opened = Opened();
        QCOMPARE(opened.size(), 3);
        QVERIFY(opened[0].endsWith(u"/index.html"_s));
        QVERIFY(opened[1].endsWith(u"/news.html"_s));
        QVERIFY(opened[2].endsWith(u"/feedback.html"_s));
        QVERIFY(opened[0].startsWith(u"file://"_s));
    }
};

QTEST_MAIN(CHyperLinkTest)
#include "CHyperLinkTest.moc"
