// The script preview below the result list, driven through the find window: the matches it
// marks (read back from the text layout), stepping through them, following the current row,
// colouring, copying, and the View menu's toggle with the window's geometry.

#include "catalog/CObjectModel.h"
#include "catalog/CRegisteredServerStore.h"
#include "controls/CDragGridBox.h"
#include "controls/CSuperApp.h"
#include "findwnd/CChkBoxTreeCtrl.h"
#include "findwnd/CPreviewPane.h"
#include "findwnd/CQuarrowDlg.h"
#include "findwnd/CScriptHighlighter.h"
#include "findwnd/CScriptView.h"
#include "findwnd/CSplitterBar.h"
#include "platform/CProfile.h"
#include "platform/Startup.h"
#include "res/Resource.h"
#include "tests/support/CMemoryLibrary.h"
#include "tests/support/CPopupDriver.h"

#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

void FailOnUnexpectedWarnings()
{
    QTest::failOnWarning(QRegularExpression(u"^(?!This plugin does not support).*"_s));
}

// The marked runs of the view as "line:column:text" (lines from 1, columns from 0): what
// the highlighter left in each line's layout, adjacent marked ranges joined.
QStringList MarkedRuns(const CScriptView& view)
{
    QStringList runs;
    for (QTextBlock block = view.document()->begin(); block.isValid(); block = block.next()) {
        QList<QTextLayout::FormatRange> ranges = block.layout()->formats();
        std::sort(ranges.begin(), ranges.end(),
                  [](const auto& a, const auto& b) { return a.start < b.start; });
        int nStart = -1;
        int nEnd = -1;
        const auto flush = [&] {
            if (nStart >= 0)
                runs << QString::number(block.blockNumber() + 1) + u':' + QString::number(nStart) +
                            u':' + block.text().mid(nStart, nEnd - nStart);
            nStart = -1;
        };
        for (const QTextLayout::FormatRange& range : ranges) {
            if (!range.format.boolProperty(CScriptHighlighter::kMatchProperty))
                continue;
            if (nStart >= 0 && range.start == nEnd) {
                nEnd += range.length;
                continue;
            }
            flush();
            nStart = range.start;
            nEnd = range.start + range.length;
        }
        flush();
    }
    return runs;
}

// The format laid on the character at a position of a line.
QTextCharFormat FormatAt(const CScriptView& view, int nLine, int nColumn)
{
    const QTextBlock block = view.document()->findBlockByNumber(nLine);
    for (const QTextLayout::FormatRange& range : block.layout()->formats()) {
        if (nColumn >= range.start && nColumn < range.start + range.length)
            return range.format;
    }
    return {};
}

struct SGate
{
    std::atomic<bool> bArmed{false};
    std::atomic<bool> bReached{false};
    std::atomic<bool> bOpen{false};
};

} // namespace

class CPreviewTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_pFolder;
    std::unique_ptr<CProfile> m_pProfile;
    std::shared_ptr<CMemoryCatalog> m_pCatalog;

    // One server "SRV" with one database "pubs" of these objects, registered and ticked.
    void Catalogue(std::vector<SMemoryObject> objects)
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
        QVERIFY(store.SaveServerRegistration(registration));
        QVERIFY(store.SetDatabasesUsed({{u"SRV", u"pubs", 1}}));
    }

    std::unique_ptr<CQuarrowDlg> Open()
    {
        auto pDlg = std::make_unique<CQuarrowDlg>(*m_pProfile);
        pDlg->SetNewRegistrationHandler([] {});
        pDlg->show();
        if (!QTest::qWaitForWindowExposed(pDlg.get()))
            qFatal("the find window was not shown");
        pDlg->activateWindow();
        (void)QTest::qWaitForWindowActive(pDlg.get());
        return pDlg;
    }

    // Types the text criterion, sets the two check boxes of the Advanced page by clicking
    // them as needed, and runs Find Now to its end.
    static void Search(CQuarrowDlg& dlg, const QString& strText, bool bRegExp = false,
                       bool bMatchCase = false)
    {
        auto* pTab = qobject_cast<QTabWidget*>(dlg.GetControl(IDC_TAB));
        auto* pText = qobject_cast<QLineEdit*>(dlg.GetControl(IDC_CONTAINING_TEXT));
        QVERIFY(pTab != nullptr && pText != nullptr);
        pTab->setCurrentIndex(0);
        pText->clear();
        // Qt Test types only what a keyboard map has; anything else comes in as pasted.
        const bool bTypeable = std::all_of(strText.begin(), strText.end(),
                                           [](QChar ch) { return ch.unicode() < 0x80; });
        if (bTypeable)
            QTest::keyClicks(pText, strText);
        else
            pText->insert(strText);
        pTab->setCurrentIndex(2);
        for (const auto& [nId, bWanted] :
             {std::pair{IDC_REGULAR_EXPRESSION, bRegExp}, std::pair{IDC_MATCH_CASE, bMatchCase}}) {
            auto* pBox = qobject_cast<QCheckBox*>(dlg.GetControl(nId));
            QVERIFY(pBox != nullptr && pBox->isVisible());
            if (pBox->isChecked() != bWanted)
                QTest::mouseClick(pBox, Qt::LeftButton, {}, QPoint(4, pBox->height() / 2));
            QCOMPARE(pBox->isChecked(), bWanted);
        }
        pTab->setCurrentIndex(0);
        QWidget* pFind = dlg.GetControl(IDC_FIND_NOW);
        QTest::mouseClick(pFind, Qt::LeftButton, {}, pFind->rect().center());
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.IsWorkerRecorded(), 10000);
    }

    static int RowOf(CQuarrowDlg& dlg, const QString& strObject)
    {
        CDragGridBox* pList = dlg.GetResultList();
        for (int i = 0; i < pList->CountItems(); ++i) {
            QStringList cells;
            if (pList->GetItemCells(i, cells) && cells.value(3) == strObject)
                return i;
        }
        return -1;
    }

    // Clicks the object's row, as a person picks a result, and waits for its script.
    static void ClickRow(CQuarrowDlg& dlg, const QString& strObject)
    {
        const int nRow = RowOf(dlg, strObject);
        QVERIFY2(nRow >= 0, qPrintable(strObject));
        CDragGridBox* pList = dlg.GetResultList();
        const QRect rect = pList->visualRect(pList->model()->index(nRow, 0));
        QTest::mouseClick(pList->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(pList->GetCurrentItem(), nRow);
        QTRY_VERIFY(!dlg.GetPreview()->IsLoading());
    }

    static CScriptView& View(CQuarrowDlg& dlg) { return *dlg.GetPreview()->GetView(); }

    // The selected text of the preview, with the document's line breaks as \n.
    static QString Selected(CQuarrowDlg& dlg)
    {
        return View(dlg).textCursor().selectedText().replace(QChar::ParagraphSeparator, u'\n');
    }

    // Opens the View menu from the menu bar and chooses the command, as a person does.
    static bool ChooseFromViewMenu(CQuarrowDlg& dlg, int nId)
    {
        QMenuBar* pBar = dlg.GetMenuBar();
        QAction* pView = nullptr;
        for (QAction* pAction : pBar->actions()) {
            if (pAction->text() == u"&View"_s)
                pView = pAction;
        }
        if (pView == nullptr)
            return false;
        QTest::mouseClick(pBar, Qt::LeftButton, {}, pBar->actionGeometry(pView).center());
        return PopupDriver::ChooseCommand(nId);
    }

private Q_SLOTS:
    void init()
    {
        FailOnUnexpectedWarnings();
        m_pFolder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_pFolder->isValid());
        m_pProfile = std::make_unique<CProfile>(u"Quarrow", m_pFolder->path().toStdString());
        m_pCatalog = std::make_shared<CMemoryCatalog>();
        CObjectModel::SetLibraries(std::make_shared<CMemoryLibrary>(EFlavour::Modern, m_pCatalog),
                                   std::make_shared<CMemoryLibrary>(EFlavour::Legacy, m_pCatalog));
        CQuarrowDlg::SetClosingHookForTesting({});
        CSuperApp::TakeShownTextsForTesting();
    }

    void cleanup()
    {
        CObjectModel::SetLibraries(nullptr, nullptr);
        m_pProfile.reset();
        m_pFolder.reset();
    }

    void marksExactlyTheMatchedRuns_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("regExp");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<QStringList>("runs");
        QTest::addColumn<int>("matches");
        QTest::addColumn<QString>("first"); // the first match, line breaks as \n

        // Lines end in CR LF: a run placed by script offsets without the line breaks mapped
        // would land one column further per line above it.
        const QString strCrLf = u"CREATE PROCEDURE p AS\r\n"
                                u"INSERT INTO orders VALUES (1,\r\n"
                                u"  2);\r\n"
                                u"delete  from Orders;\r\n"
                                u"-- insert into nothing\r\n"_s;
        const QString strGroups = u"(insert|delete) +(into|from) +[A-Za-z]+"_s;
        QTest::newRow("regex with groups")
            << strCrLf << strGroups << true << false
            << QStringList{u"2:0:INSERT INTO orders"_s, u"4:0:delete  from Orders"_s,
                           u"5:3:insert into nothing"_s}
            << 3 << u"INSERT INTO orders"_s;
        QTest::newRow("regex with groups, case matched")
            << strCrLf << strGroups << true << true
            << QStringList{u"4:0:delete  from Orders"_s, u"5:3:insert into nothing"_s} << 2
            << u"delete  from Orders"_s;
        // One match over two lines: marked on both, the line break between them unseen.
        QTest::newRow("regex across a CR LF")
            << strCrLf << u"VALUES[^;]*;"_s << true << false
            << QStringList{u"2:19:VALUES (1,"_s, u"3:0:  2);"_s} << 1 << u"VALUES (1,\n  2);"_s;
        QTest::newRow("plain text, every occurrence")
            << strCrLf << u"orders"_s << false << false
            << QStringList{u"2:12:orders"_s, u"4:13:Orders"_s} << 2 << u"orders"_s;
        QTest::newRow("plain text, case matched")
            << strCrLf << u"Orders"_s << false << true << QStringList{u"4:13:Orders"_s} << 1
            << u"Orders"_s;
        QTest::newRow("mixed line ends and a last line without one")
            << u"a\nb\r\nselect 1\r\n\r\nSELECT 2"_s << u"select [0-9]"_s << true << false
            << QStringList{u"3:0:select 1"_s, u"5:0:SELECT 2"_s} << 2 << u"select 1"_s;
        QTest::newRow("characters beyond the basic plane")
            << u"-- \U0001F600 x\r\nSELECT '\U0001F600'"_s << u"'\U0001F600'"_s << false << false
            << QStringList{u"2:7:'\U0001F600'"_s} << 1 << u"'\U0001F600'"_s;
    }

    void marksExactlyTheMatchedRuns()
    {
        QFETCH(QString, script);
        QFETCH(QString, text);
        QFETCH(bool, regExp);
        QFETCH(bool, matchCase);
        QFETCH(QStringList, runs);
        QFETCH(int, matches);
        QFETCH(QString, first);
        Catalogue({MemObject(u"p", ObjectType::StoredProcedure, script.toStdU16String())});
        auto pDlg = Open();
        Search(*pDlg, text, regExp, matchCase);
        ClickRow(*pDlg, u"p"_s);
        CScriptView& view = View(*pDlg);
        QCOMPARE(MarkedRuns(view), runs);
        QCOMPARE(view.CountMatches(), matches);
        // The whole script is there, line for line.
        QCOMPARE(view.toPlainText(), QString(script).replace(u"\r\n"_s, u"\n"_s));
        // The first match is the current one, selected.
        QCOMPARE(view.GetCurrentMatch(), 0);
        QCOMPARE(Selected(*pDlg), first);
        QCOMPARE(pDlg->GetPreview()->GetCounterText(), u"Match 1 of "_s + QString::number(matches));
    }

    void stepsThroughMatchesAndWraps()
    {
        Catalogue({MemObject(u"p", ObjectType::StoredProcedure,
                             u"SELECT a\r\nFROM t\r\nSELECT b\r\nSELECT c")});
        auto pDlg = Open();
        Search(*pDlg, u"select"_s);
        ClickRow(*pDlg, u"p"_s);
        CPreviewPane* pPane = pDlg->GetPreview();
        auto* pNext = qobject_cast<QPushButton*>(pDlg->GetControl(IDC_PREVIEW_NEXT));
        auto* pPrevious = qobject_cast<QPushButton*>(pDlg->GetControl(IDC_PREVIEW_PREVIOUS));
        QVERIFY(pNext != nullptr && pPrevious != nullptr);
        QVERIFY(pNext->isEnabled() && pPrevious->isEnabled());
        QCOMPARE(pPane->GetCounterText(), u"Match 1 of 3"_s);
        const auto line = [&] { return View(*pDlg).textCursor().block().blockNumber() + 1; };
        QCOMPARE(line(), 1);

        // The keys, with the focus in the result list, where it is after picking a row.
        QWidget* pList = pDlg->GetResultList();
        struct SStep
        {
            bool bForward;
            int nLine;
            const char16_t* pszCounter;
        };
        const SStep keySteps[] = {{true, 3, u"Match 2 of 3"},
                                  {true, 4, u"Match 3 of 3"},
                                  {true, 1, u"Match 1 of 3"},  // past the last: the first
                                  {false, 4, u"Match 3 of 3"}, // before the first: the last
                                  {false, 3, u"Match 2 of 3"}};
        for (const SStep& step : keySteps) {
            QTest::keyClick(pList, Qt::Key_F3, step.bForward ? Qt::NoModifier : Qt::ShiftModifier);
            QCOMPARE(line(), step.nLine);
            QCOMPARE(pPane->GetCounterText(), QString::fromUtf16(step.pszCounter));
            QCOMPARE(Selected(*pDlg), u"SELECT"_s);
        }
        // The buttons do the same.
        QTest::mouseClick(pNext, Qt::LeftButton);
        QCOMPARE(line(), 4);
        QTest::mouseClick(pNext, Qt::LeftButton);
        QCOMPARE(line(), 1);
        QTest::mouseClick(pPrevious, Qt::LeftButton);
        QCOMPARE(line(), 4);

        // A click in the text moves the start: the next match is the one after the caret.
        CScriptView& view = View(*pDlg);
        const QTextBlock second = view.document()->findBlockByNumber(1);
        QTextCursor caret(second);
        view.setTextCursor(caret);
        QTest::keyClick(pList, Qt::Key_F3);
        QCOMPARE(line(), 3);
        view.setTextCursor(caret);
        QTest::keyClick(pList, Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(line(), 1);
    }

    void noMatchesWithoutATextCriterion()
    {
        Catalogue({MemObject(u"p", ObjectType::StoredProcedure, u"SELECT 1")});
        auto pDlg = Open();
        Search(*pDlg, QString());
        ClickRow(*pDlg, u"p"_s);
        QCOMPARE(View(*pDlg).toPlainText(), u"SELECT 1"_s);
        QCOMPARE(View(*pDlg).CountMatches(), 0);
        QVERIFY(MarkedRuns(View(*pDlg)).isEmpty());
        QCOMPARE(pDlg->GetPreview()->GetCounterText(), u"No matches"_s);
        QVERIFY(!pDlg->GetControl(IDC_PREVIEW_NEXT)->isEnabled());
        // F3 with nothing to go to leaves the text as it is.
        QTest::keyClick(pDlg->GetResultList(), Qt::Key_F3);
        QCOMPARE(View(*pDlg).GetCurrentMatch(), -1);
    }

    void followsTheCurrentRow()
    {
        auto pGate = std::make_shared<SGate>();
        SMemoryObject slow = MemObject(u"p_slow", ObjectType::StoredProcedure, u"SELECT slow");
        slow.onScript = [pGate] {
            if (!pGate->bArmed)
                return;
            pGate->bReached = true;
            for (int i = 0; i < 5000 && !pGate->bOpen; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        Catalogue({MemObject(u"p_one", ObjectType::StoredProcedure, u"SELECT one"),
                   MemObject(u"p_two", ObjectType::StoredProcedure, u"SELECT two\nSELECT 2"), slow,
                   MemObject(u"p_broken", ObjectType::StoredProcedure, u"SELECT 0")});
        auto pDlg = Open();
        Search(*pDlg, QString());
        // Found, then its script goes (dropped, or its permission taken away).
        m_pCatalog->servers[0].databases[0].objects[3].script.reset();
        CPreviewPane* pPane = pDlg->GetPreview();
        QVERIFY(pPane->isVisible());
        // Nothing chosen yet: an empty pane that says so.
        QVERIFY(View(*pDlg).toPlainText().isEmpty());
        QVERIFY(!View(*pDlg).placeholderText().isEmpty());

        ClickRow(*pDlg, u"p_one"_s);
        QCOMPARE(View(*pDlg).toPlainText(), u"SELECT one"_s);
        QVERIFY(pPane->GetTitle().contains(u"p_one"_s));
        QVERIFY(pPane->GetTitle().contains(u"SRV"_s) && pPane->GetTitle().contains(u"pubs"_s));

        // The arrow key moves the current row, and the preview with it.
        CDragGridBox* pList = pDlg->GetResultList();
        const int nOne = pList->GetCurrentItem();
        QTest::keyClick(pList->viewport(), Qt::Key_Down);
        QCOMPARE(pList->GetCurrentItem(), nOne + 1);
        QStringList cells;
        QVERIFY(pList->GetItemCells(nOne + 1, cells));
        QTRY_VERIFY(!pPane->IsLoading());
        QVERIFY(pPane->GetTitle().contains(cells.value(3)));

        // A script the library refuses is named as such, with nothing left of the last one.
        ClickRow(*pDlg, u"p_broken"_s);
        QVERIFY(View(*pDlg).toPlainText().isEmpty());
        QVERIFY(View(*pDlg).placeholderText().contains(u"could not be read"_s));

        // A slow read that the user moved away from is dropped when it comes in: its answer
        // arrives first (one reader, in order) and must never show.
        pGate->bArmed = true;
        const auto clickRow = [&](const QString& strObject) {
            const QRect rect = pList->visualRect(pList->model()->index(RowOf(*pDlg, strObject), 0));
            QTest::mouseClick(pList->viewport(), Qt::LeftButton, {}, rect.center());
        };
        clickRow(u"p_slow"_s);
        QTRY_VERIFY(pGate->bReached);
        QVERIFY(pPane->IsLoading());
        QSignalSpy shown(pPane, &CPreviewPane::loaded);
        QStringList texts;
        connect(View(*pDlg).document(), &QTextDocument::contentsChanged, this,
                [&] { texts << View(*pDlg).toPlainText(); });
        clickRow(u"p_two"_s);
        QVERIFY(pPane->IsLoading());
        pGate->bOpen = true;
        QTRY_COMPARE(View(*pDlg).toPlainText(), u"SELECT two\nSELECT 2"_s);
        QTRY_VERIFY(!pPane->IsLoading());
        QCOMPARE(shown.count(), 1);
        QVERIFY(!texts.contains(u"SELECT slow"_s));
        QVERIFY(pPane->GetTitle().contains(u"p_two"_s));

        // A new search empties the list and the preview.
        Search(*pDlg, u"nothing like this"_s);
        QCOMPARE(pList->CountItems(), 0);
        QVERIFY(View(*pDlg).toPlainText().isEmpty());
        QVERIFY(pPane->GetTitle().isEmpty());
    }

    void coloursCommentsStringsAndKeywords()
    {
        const QString strScript = u"CREATE PROCEDURE p AS\r\n"       // 0
                                  u"-- SELECT in a comment\r\n"      // 1
                                  u"/* outer /* inner */ SELECT\r\n" // 2: nested, still open
                                  u"SELECT */ select 'it''s SELECT' N'SELECT'\r\n" // 3
                                  u"[SELECT] \"SELECT\" @select"_s;                // 4: names
        Catalogue({MemObject(u"p", ObjectType::StoredProcedure, strScript.toStdU16String())});
        auto pDlg = Open();
        Search(*pDlg, QString());
        ClickRow(*pDlg, u"p"_s);
        CScriptView& view = View(*pDlg);
        QTRY_VERIFY(view.IsColouringDone());
        const QTextCharFormat keyword = FormatAt(view, 0, 0);
        const QTextCharFormat comment = FormatAt(view, 1, 0);
        const QTextCharFormat literal = FormatAt(view, 3, 17);
        QVERIFY(keyword.fontWeight() == QFont::Bold);
        QVERIFY(comment.fontItalic());
        QVERIFY(literal.foreground() != keyword.foreground() &&
                literal.foreground() != comment.foreground() &&
                literal.foreground().style() != Qt::NoBrush);
        struct SCase
        {
            int nLine;
            int nColumn;
            const QTextCharFormat* pExpected; // null: no colour at all
        };
        const SCase cases[] = {
            {0, 7, &keyword},  // PROCEDURE
            {0, 17, nullptr},  // the name p
            {1, 3, &comment},  // SELECT after --
            {2, 21, &comment}, // SELECT after the inner comment closed: the outer goes on
            {3, 0, &comment},  // the next line, still inside
            {3, 10, &keyword}, // select, lower case, after the comment ended
            {3, 24, &literal}, // SELECT inside 'it''s SELECT': the doubled quote goes on
            {3, 32, &literal}, // N'...': the prefix belongs to the literal
            {3, 34, &literal}, {4, 1, nullptr}, // [SELECT] is a name
            {4, 10, nullptr},                   // so is "SELECT"
            {4, 19, nullptr},                   // and a variable
        };
        for (const SCase& check : cases) {
            const QTextCharFormat actual = FormatAt(view, check.nLine, check.nColumn);
            const QString strWhere = u"line "_s + QString::number(check.nLine + 1) + u" column "_s +
                                     QString::number(check.nColumn);
            if (check.pExpected == nullptr)
                QVERIFY2(actual.foreground().style() == Qt::NoBrush, qPrintable(strWhere));
            else
                QVERIFY2(actual.foreground() == check.pExpected->foreground(),
                         qPrintable(strWhere));
        }
    }

    void readOnlyAndCopyable()
    {
        Catalogue({MemObject(u"p", ObjectType::StoredProcedure, u"SELECT 1\r\nFROM t")});
        auto pDlg = Open();
        Search(*pDlg, u"from"_s);
        ClickRow(*pDlg, u"p"_s);
        CScriptView& view = View(*pDlg);
        view.setFocus();
        QTest::keyClicks(&view, u"xyz"_s);
        QTest::keyClick(&view, Qt::Key_Delete);
        QCOMPARE(view.toPlainText(), u"SELECT 1\nFROM t"_s);
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"SELECT 1\nFROM t"_s);
    }

    // A 2 MB script: the user-interface thread colours one slice when the script comes in
    // and the rest in slices from the event loop, each line once; the matches show at once.
    void longScriptIsColouredInSlices()
    {
        QString strScript;
        const QString strLine =
            u"    SELECT col_a, col_b FROM dbo.some_table WHERE x = 'y' -- c\r\n"_s;
        while (strScript.size() < 1024 * 1024)
            strScript += strLine;
        strScript += u"/* needle */ SELECT 1"_s;
        Catalogue({MemObject(u"big", ObjectType::StoredProcedure, strScript.toStdU16String())});
        auto pDlg = Open();
        Search(*pDlg, u"needle"_s);
        CPreviewPane* pPane = pDlg->GetPreview();
        int nColouredOnArrival = -1;
        QStringList runsOnArrival;
        connect(pPane, &CPreviewPane::loaded, this, [&] {
            nColouredOnArrival = View(*pDlg).GetHighlighter()->CountColouredLines();
            runsOnArrival = MarkedRuns(View(*pDlg));
        });
        ClickRow(*pDlg, u"big"_s);
        CScriptView& view = View(*pDlg);
        const int nLines = view.document()->blockCount();
        QVERIFY(nLines > 10000);
        QCOMPARE(nColouredOnArrival, CScriptView::kLinesPerSlice);
        // The match on the last line is marked before the colours get there.
        QCOMPARE(runsOnArrival, QStringList{QString::number(nLines) + u":3:needle"_s});
        QTRY_VERIFY_WITH_TIMEOUT(view.IsColouringDone(), 60000);
        QCOMPARE(view.GetHighlighter()->CountColouredLines(), nLines);
        // The last line is coloured as a line of its own, its comment and keyword included.
        QVERIFY(FormatAt(view, nLines - 1, 0).fontItalic());
        QVERIFY(FormatAt(view, nLines - 1, 13).fontWeight() == QFont::Bold);
        // The first match is in view.
        const QRect cursorRect = view.cursorRect();
        QVERIFY(view.viewport()->rect().contains(cursorRect.center()));
    }

    // Opening downwards with the preview must not take the status bar off the screen: a
    // window placed low moves up as far as it grew past the bottom, and no further.
    void openingLowOnTheScreenKeepsTheWindowOnIt()
    {
        Catalogue({MemObject(u"p", ObjectType::StoredProcedure, u"SELECT 1")});
        auto pDlg = Open();
        const QRect available = pDlg->screen()->availableGeometry();
        const int nCollapsed = pDlg->frameGeometry().height();
        pDlg->move(pDlg->pos().x(), available.bottom() - nCollapsed - 10);
        QTRY_COMPARE(pDlg->frameGeometry().bottom(), available.bottom() - 11);
        Search(*pDlg, QStringLiteral("SELECT"));
        const QRect frame = pDlg->frameGeometry();
        QVERIFY2(frame.height() > nCollapsed + 100, "the window opened downwards");
        if (frame.height() <= available.height()) {
            QCOMPARE(frame.bottom(), available.bottom());
        } else {
            QCOMPARE(frame.top(), available.top());
        }
    }

    // The View menu's toggle, through the real menu: with the preview hidden the window is
    // the window without it, to the pixel; the choice is kept for the next start.
    void toggleRestoresTheGeometry()
    {
        Catalogue({MemObject(u"p", ObjectType::StoredProcedure, u"SELECT 1")});
        auto pDlg = Open();
        const int nCollapsed = pDlg->GetCollapsedHeight();
        const int nWidth = pDlg->GetInitialWidth();
        const QRect initialList = pDlg->GetInitialListRect();
        const int nFullShown = pDlg->GetFullHeight();
        CPreviewPane* pPane = pDlg->GetPreview();
        CSplitterBar* pBar = pDlg->GetPreviewSplitter();
        QVERIFY(pDlg->IsPreviewShown());
        QVERIFY(!pPane->isVisible()); // collapsed: no list, no preview

        Search(*pDlg, QString());
        QCOMPARE(pDlg->size(), QSize(nWidth, nFullShown));
        QVERIFY(pPane->isVisible() && pBar->isVisible());
        CDragGridBox* pList = pDlg->GetResultList();
        QCOMPARE(pList->geometry(), initialList);
        // Bar and pane below the list, as wide, down to where the list used to end.
        QCOMPARE(pBar->geometry().top(), initialList.bottom() + 1);
        QCOMPARE(pPane->geometry().top(), pBar->geometry().bottom() + 1);
        QCOMPARE(pPane->width(), initialList.width());
        const int nGapBelow = pDlg->GetClientArea()->height() - pPane->geometry().bottom();

        QVERIFY(ChooseFromViewMenu(*pDlg, ID_VIEW_PREVIEW));
        QTRY_VERIFY(!pDlg->IsPreviewShown());
        const int nFullHidden = pDlg->GetFullHeight();
        QCOMPARE(nFullHidden, nFullShown - pPane->height() - CSplitterBar::kHeight);
        QCOMPARE(pDlg->size(), QSize(nWidth, nFullHidden));
        QCOMPARE(pList->geometry(), initialList);
        QCOMPARE(pDlg->GetClientArea()->height() - initialList.bottom(), nGapBelow);
        QVERIFY(!pPane->isVisible() && !pBar->isVisible());
        // The geometry rules of the window without the preview.
        pDlg->resize(nWidth - 30, nFullHidden - 30);
        QCOMPARE(pDlg->size(), QSize(nWidth, nFullHidden));
        pDlg->resize(nWidth + 100, nFullHidden + 80);
        QCOMPARE(pList->geometry(), QRect(initialList.topLeft(), QSize(initialList.width() + 100,
                                                                       initialList.height() + 80)));
        QCOMPARE(m_pProfile->GetProfileInt(kSettingsSection, u"ShowPreview", 7), 0);

        // Back on: the window grows by the preview, the list keeps its size.
        QVERIFY(ChooseFromViewMenu(*pDlg, ID_VIEW_PREVIEW));
        QTRY_VERIFY(pDlg->IsPreviewShown());
        QCOMPARE(pDlg->size(), QSize(nWidth + 100, nFullShown + 80));
        QCOMPARE(pList->geometry().size(),
                 QSize(initialList.width() + 100, initialList.height() + 80));
        QVERIFY(pPane->isVisible());
        QCOMPARE(m_pProfile->GetProfileInt(kSettingsSection, u"ShowPreview", 7), 1);
        // Off again gives the same window as before.
        QVERIFY(ChooseFromViewMenu(*pDlg, ID_VIEW_PREVIEW));
        QTRY_COMPARE(pDlg->size(), QSize(nWidth + 100, nFullHidden + 80));

        // Collapsed, the toggle changes no height; the next start remembers it is off.
        QWidget* pNew = pDlg->GetControl(IDC_NEW_SEARCH);
        QTest::mouseClick(pNew, Qt::LeftButton, {}, pNew->rect().center());
        QCOMPARE(pDlg->height(), nCollapsed);
        pDlg.reset();
        auto pAgain = Open();
        QVERIFY(!pAgain->IsPreviewShown());
        QCOMPARE(pAgain->GetFullHeight(), nFullHidden);
        QVERIFY(ChooseFromViewMenu(*pAgain, ID_VIEW_PREVIEW));
        QTRY_VERIFY(pAgain->IsPreviewShown());
        QCOMPARE(pAgain->height(), nCollapsed);
        QCOMPARE(pAgain->GetFullHeight(), nFullShown);
        QVERIFY(!pAgain->GetPreview()->isVisible());
    }

    // Dragging the bar moves height between the list and the preview, never below a least
    // height for either; the window keeps its size.
    void barSharesTheHeight()
    {
        Catalogue({MemObject(u"p", ObjectType::StoredProcedure, u"SELECT 1")});
        auto pDlg = Open();
        Search(*pDlg, QString());
        CSplitterBar* pBar = pDlg->GetPreviewSplitter();
        CPreviewPane* pPane = pDlg->GetPreview();
        CDragGridBox* pList = pDlg->GetResultList();
        const QSize window = pDlg->size();
        const int nStack = pList->height() + pBar->height() + pPane->height();
        const int nPane = pPane->height();
        const QPoint middle = pBar->rect().center();
        QTest::mousePress(pBar, Qt::LeftButton, {}, middle);
        QTest::mouseMove(pBar, middle - QPoint(0, 40));
        QTest::mouseRelease(pBar, Qt::LeftButton, {}, middle - QPoint(0, 40));
        QCOMPARE(pPane->height(), nPane + 40);
        QCOMPARE(pList->height() + pBar->height() + pPane->height(), nStack);
        QCOMPARE(pDlg->size(), window);
        // Far up: the list keeps its least height.
        QTest::mousePress(pBar, Qt::LeftButton, {}, middle);
        QTest::mouseMove(pBar, middle - QPoint(0, 5000));
        QTest::mouseRelease(pBar, Qt::LeftButton, {}, middle - QPoint(0, 5000));
        QVERIFY(pList->height() >= 40 && pList->height() < nStack / 2);
        QCOMPARE(pList->height() + pBar->height() + pPane->height(), nStack);
        QCOMPARE(pBar->geometry().top(), pList->geometry().bottom() + 1);
    }
};

QTEST_MAIN(CPreviewTest)
#include "CPreviewTest.moc"
