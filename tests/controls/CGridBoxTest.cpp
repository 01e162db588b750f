// The grid list driven through its widget: sorted rows, notifications, copy, drag, export,
// the empty-list band, and the model under QAbstractItemModelTester.

#include "controls/CCommandTarget.h"
#include "controls/CDragGridBox.h"
#include "controls/CMessageEvent.h"
#include "res/CDialogBuilder.h"
#include "res/Resource.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QHeaderView>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <any>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

namespace {

const QString kResultColumns = QStringLiteral("Server\tDatabase\tType\tObject\tCreation Date");

// A dialog that records every WM_COMMAND it receives.
class CRecordingDialog : public QWidget, public CCommandTarget
{
public:
    bool OnCmdMsg(int nId, int nCode) override
    {
        m_commands.emplace_back(nId, nCode);
        return true;
    }
    int Count(int nCode) const
    {
        int n = 0;
        for (const auto& command : m_commands)
            n += command.first == IDC_RESULT_LIST && command.second == nCode ? 1 : 0;
        return n;
    }

    std::vector<std::pair<int, int>> m_commands;
};

QString Cells(const CGridBox& grid, int nRow)
{
    QString strLine;
    return grid.GetItemLine(nRow, strLine) ? strLine : QStringLiteral("<none>");
}

QStringList Titles(std::initializer_list<const char*> titles)
{
    QStringList list;
    for (const char* pszTitle : titles)
        list.append(QString::fromUtf8(pszTitle));
    return list;
}

QString ScreenshotPath(const QString& strName)
{
    QString strDir = qEnvironmentVariable("QUARROW_BINARY_DIR");
    if (strDir.isEmpty())
        strDir = QDir::tempPath();
    strDir += QStringLiteral("/screenshots");
    QDir().mkpath(strDir);
    return strDir + QLatin1Char('/') + strName;
}

} // namespace

class CGridBoxTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CRecordingDialog> m_pDialog;
    CDragGridBox* m_pGrid = nullptr;

    QPoint CellCenter(int nRow, int nColumn = 0) const
    {
        return m_pGrid->visualRect(m_pGrid->GetGridModel()->index(nRow, nColumn)).center();
    }
    void Click(int nRow, Qt::KeyboardModifiers modifiers = {}, int nColumn = 0)
    {
        QTest::mouseClick(m_pGrid->viewport(), Qt::LeftButton, modifiers,
                          CellCenter(nRow, nColumn));
    }
    void Move(QPoint point, Qt::MouseButtons buttons)
    {
        QMouseEvent move(QEvent::MouseMove, point, m_pGrid->viewport()->mapToGlobal(point),
                         Qt::NoButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(m_pGrid->viewport(), &move);
    }
    void AddRows(const QStringList& rows)
    {
        for (const QString& strRow : rows)
            m_pGrid->AddItem(strRow);
    }

private Q_SLOTS:
    void init()
    {
        m_pDialog = std::make_unique<CRecordingDialog>();
        m_pDialog->resize(640, 320);
        m_pGrid = new CDragGridBox(m_pDialog.get());
        CDialogBuilder::SetControlId(m_pGrid, IDC_RESULT_LIST);
        m_pGrid->setGeometry(10, 10, 620, 300);
        m_pGrid->SetSortAscending(true);
        m_pGrid->SetEmptyText(QStringLiteral("No objects found"));
        m_pGrid->SetContextMenuId(IDR_MENU_RESULTS);
        m_pGrid->SetNotifyParent(true);
        m_pGrid->EnableDrag();
        QVERIFY(m_pGrid->SetColumnsLine(kResultColumns));
        m_pDialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pDialog.get()));
        QCoreApplication::processEvents();
        m_pDialog->m_commands.clear();
    }

    void cleanup() { m_pDialog.reset(); }

    void modelPassesTheTester()
    {
        CGridModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.InsertColumn(0, QStringLiteral("A"));
        model.InsertColumn(1, QStringLiteral("B"));
        model.InsertRow(0, {QStringLiteral("z"), QStringLiteral("1")}, {});
        model.InsertRow(0, {QStringLiteral("y")}, {});
        model.InsertRow(2, {QStringLiteral("x"), QStringLiteral("2"), QStringLiteral("drop")}, {});
        model.SetSorted(true);
        QCOMPARE(model.GetCell(0, 0), QStringLiteral("x"));
        QCOMPARE(model.GetCell(2, 0), QStringLiteral("z"));
        model.InsertRow(0, {QStringLiteral("Y"), QStringLiteral("3")}, {});
        QCOMPARE(model.GetCells(2), Titles({"Y", "3"}));
        model.SetCells(1, {QStringLiteral("y2")});
        model.SetColumnAlign(1, Qt::AlignRight);
        QVERIFY(model.RemoveRow(0));
        QVERIFY(!model.RemoveRow(5));
        model.RemoveAllColumns();
        model.RemoveAllRows();
        QCOMPARE(model.rowCount(), 0);
    }

    void sortedInsertionSetsAllCells()
    {
        const QStringList rows = {
            QStringLiteral("srv2\tpubs\tView\tv1\t2014-01-02"),
            QStringLiteral("SRV1\tmaster\tRule\tr1\t2013-05-06"),
            QStringLiteral("srv1\tmodel\tTable\tt1\t2012-07-08"),
            QStringLiteral("Alpha\tdb\tDefault\td1\t2011-09-10"),
            QStringLiteral("SRV2\ttempdb\tTrigger\ttr\t2010-11-12"),
        };
        const std::vector<int> expectedIndex = {0, 0, 1, 0, 4};
        for (qsizetype i = 0; i < rows.size(); ++i)
            QCOMPARE(m_pGrid->AddItem(rows[i]), expectedIndex[static_cast<size_t>(i)]);
        // Equal keys (case aside) keep their arrival order; every cell sits on its row.
        const QStringList expected = {rows[3], rows[1], rows[2], rows[0], rows[4]};
        QCOMPARE(m_pGrid->CountItems(), 5);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(Cells(*m_pGrid, i), expected[i]);
    }

    // Rows handed over in batches end up exactly as the same rows added one by one: same
    // places, same cells, each item data once, and the selection stays on its row.
    void batchedRowsMatchRowsAddedOneByOne_data()
    {
        QTest::addColumn<bool>("bSorted");
        QTest::addColumn<QString>("strOrder");
        QTest::addColumn<int>("nBatch");
        QTest::addColumn<int>("nOld");
        for (const bool bSorted : {true, false}) {
            for (const char* pszOrder : {"servers", "random", "descending", "same"}) {
                for (const int nBatch : {1, 7, 256}) {
                    for (const int nOld : {0, 40}) {
                        QTest::addRow("%s/%s/batch %d/old %d", bSorted ? "sorted" : "unsorted",
                                      pszOrder, nBatch, nOld)
                            << bSorted << QString::fromUtf8(pszOrder) << nBatch << nOld;
                    }
                }
            }
        }
    }
    void batchedRowsMatchRowsAddedOneByOne()
    {
        QFETCH(bool, bSorted);
        QFETCH(QString, strOrder);
        QFETCH(int, nBatch);
        QFETCH(int, nOld);
        constexpr int kRows = 600;
        // Keys differ in case only now and then: equal keys (case aside) keep arrival order.
        std::srand(16);
        const auto key = [&](int i) -> QString {
            if (strOrder == u"servers")
                return (i % 3 == 0 ? QStringLiteral("SRV") : QStringLiteral("srv")) +
                       QString::number(i * 9 / kRows);
            if (strOrder == u"random")
                return QStringLiteral("s") + QString::number(std::rand() % 50);
            if (strOrder == u"descending")
                return QStringLiteral("s") + QString::number(1000 - i / 4);
            return QStringLiteral("one");
        };
        std::vector<QString> lines;
        for (int i = 0; i < nOld + kRows; ++i)
            lines.push_back(key(i) + QStringLiteral("\tdb\tView\tv") + QString::number(i) +
                            QStringLiteral("\t\t"));

        CGridBox reference;
        reference.SetColumnsLine(kResultColumns);
        reference.SetSortAscending(bSorted);
        m_pGrid->SetSortAscending(bSorted);
        QAbstractItemModelTester tester(m_pGrid->GetGridModel(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int i = 0; i < nOld; ++i) {
            m_pGrid->AddItem(lines[static_cast<size_t>(i)], CItemData(i));
            reference.AddItem(lines[static_cast<size_t>(i)], CItemData(i));
        }
        // A selected old row must stay selected wherever the new rows land.
        const int nSelectedId = nOld / 2;
        const auto rowOf = [](const CGridBox& grid, int nId) {
            for (int nRow = 0; nRow < grid.CountItems(); ++nRow) {
                CItemData data;
                if (grid.GetItemValue(nRow, data) && std::any_cast<int>(data) == nId)
                    return nRow;
            }
            return -1;
        };
        if (nOld > 0)
            m_pGrid->SelectItem(rowOf(*m_pGrid, nSelectedId));

        std::vector<CCollectionCtrl::SItemLine> batch;
        for (int i = nOld; i < nOld + kRows; ++i) {
            reference.AddItem(lines[static_cast<size_t>(i)], CItemData(i));
            batch.push_back({lines[static_cast<size_t>(i)], CItemData(i)});
            if (static_cast<int>(batch.size()) == nBatch || i + 1 == nOld + kRows) {
                const int nHanded = static_cast<int>(batch.size());
                QCOMPARE(m_pGrid->AddItemLines(batch), nHanded);
                QVERIFY(batch.empty());
            }
        }

        QCOMPARE(m_pGrid->CountItems(), reference.CountItems());
        std::vector<bool> seen(static_cast<size_t>(nOld + kRows), false);
        for (int nRow = 0; nRow < reference.CountItems(); ++nRow) {
            QCOMPARE(Cells(*m_pGrid, nRow), Cells(reference, nRow));
            CItemData data;
            CItemData expected;
            QVERIFY(m_pGrid->GetItemValue(nRow, data));
            QVERIFY(reference.GetItemValue(nRow, expected));
            const int nId = std::any_cast<int>(data);
            QCOMPARE(nId, std::any_cast<int>(expected));
            QVERIFY2(!seen[static_cast<size_t>(nId)], "a row is on the list twice");
            seen[static_cast<size_t>(nId)] = true;
        }
        if (nOld > 0) {
            std::vector<int> selected;
            QCOMPARE(m_pGrid->GetSelectedItems(selected), 1);
            QCOMPARE(selected.front(), rowOf(*m_pGrid, nSelectedId));
        }
    }

    // The rows and the data of a batch the list takes belong to the list; nothing is copied
    // behind: the last reference goes with the row.
    void batchedItemDataIsOwnedByTheRow()
    {
        auto pObject = std::make_shared<int>(7);
        std::vector<CCollectionCtrl::SItemLine> batch;
        batch.push_back({QStringLiteral("b\tx"), CItemData(pObject)});
        batch.push_back({QStringLiteral("a\ty"), CItemData(pObject)});
        QCOMPARE(m_pGrid->AddItemLines(batch), 2);
        QCOMPARE(pObject.use_count(), 3);
        QCOMPARE(Cells(*m_pGrid, 0), QStringLiteral("a\ty\t\t\t"));
        m_pGrid->RemoveAllItems();
        QCOMPARE(pObject.use_count(), 1);
        // An empty batch adds nothing and announces nothing.
        QSignalSpy inserted(m_pGrid->GetGridModel(), &QAbstractItemModel::rowsInserted);
        QCOMPARE(m_pGrid->AddItemLines(batch), 0);
        QCOMPARE(inserted.count(), 0);
    }

    // In-order streams cost one insertion per batch, not one per row.
    void batchInOrderIsOneInsertion()
    {
        AddRows({QStringLiteral("b\t1"), QStringLiteral("d\t2")});
        QSignalSpy inserted(m_pGrid->GetGridModel(), &QAbstractItemModel::rowsInserted);
        std::vector<CCollectionCtrl::SItemLine> batch;
        for (int i = 0; i < 300; ++i)
            batch.push_back({QStringLiteral("D\t") + QString::number(i), {}});
        QCOMPARE(m_pGrid->AddItemLines(batch), 300);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted.at(0).at(1).toInt(), 2);
        QCOMPARE(inserted.at(0).at(2).toInt(), 301);
        // Keys on both sides of an old row: two ranges, in place.
        for (const char* pszKey : {"c", "a", "c", "e"})
            batch.push_back({QString::fromUtf8(pszKey), {}});
        inserted.clear();
        QCOMPARE(m_pGrid->AddItemLines(batch), 4);
        QCOMPARE(inserted.count(), 3);
        QCOMPARE(Cells(*m_pGrid, 0), QStringLiteral("a\t\t\t\t"));
        QCOMPARE(Cells(*m_pGrid, 2), QStringLiteral("c\t\t\t\t"));
        QCOMPARE(Cells(*m_pGrid, 3), QStringLiteral("c\t\t\t\t"));
        QCOMPARE(Cells(*m_pGrid, 4), QStringLiteral("d\t2\t\t\t"));
        QCOMPARE(Cells(*m_pGrid, m_pGrid->CountItems() - 1), QStringLiteral("e\t\t\t\t"));
    }

    void rowTextsBecomeCells_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("line");
        QTest::newRow("fewer cells") << "a\tb"
                                     << "a\tb\t\t\t";
        QTest::newRow("empty text") << ""
                                    << "\t\t\t\t";
        QTest::newRow("two tabs") << "a\t\tc"
                                  << "a\t\tc\t\t";
        QTest::newRow("trailing tab") << "a\tb\tc\td\t"
                                      << "a\tb\tc\td\t";
        QTest::newRow("too many") << "a\tb\tc\td\te\tf"
                                  << "a\tb\tc\td\te";
    }
    void rowTextsBecomeCells()
    {
        QFETCH(QString, text);
        QFETCH(QString, line);
        QCOMPARE(m_pGrid->AddItem(text), 0);
        QCOMPARE(Cells(*m_pGrid, 0), line);
        QStringList cells;
        QVERIFY(m_pGrid->GetItemCells(0, cells));
        QCOMPARE(cells.size(), 5);
    }

    void columnsComeFromALine()
    {
        QStringList titles;
        QVERIFY(m_pGrid->GetColumnTitles(titles));
        QCOMPARE(titles.join(QLatin1Char('\t')), kResultColumns);
        // Wider titles get wider columns.
        QVERIFY(m_pGrid->GetColumnSize(4) > m_pGrid->GetColumnSize(2));
        // Above the header's least section width, which follows the font.
        const int nWidth = m_pGrid->header()->minimumSectionSize() + 7;
        QVERIFY(m_pGrid->SetColumnSize(-1, nWidth));
        QCOMPARE(m_pGrid->GetColumnSize(3), nWidth);
        QVERIFY(!m_pGrid->SetColumnSize(5, 10));

        QVERIFY(m_pGrid->SetColumnsLine(QStringLiteral("\tB\t")));
        QVERIFY(m_pGrid->GetColumnTitles(titles));
        QCOMPARE(titles, Titles({"", "B", ""}));
        QVERIFY(m_pGrid->SetColumnsLine(QString()));
        QCOMPARE(m_pGrid->GetColumnCount(), 0);
        QVERIFY(!m_pGrid->GetColumnTitles(titles));
        QVERIFY(titles.isEmpty());
    }

    // Columns set again over rows: every row keeps its cells by position, cut to the new
    // column count, and stays findable and in order.
    void columnsSetAgainKeepTheRows()
    {
        AddRows({QStringLiteral("srvB\tdb1\tView\tv1\t2013-01-02"),
                 QStringLiteral("srvA\tdb2\tRule\tr1\t2014-03-05")});
        QVERIFY(m_pGrid->SetColumnsLine(kResultColumns));
        QCOMPARE(Cells(*m_pGrid, 0), QStringLiteral("srvA\tdb2\tRule\tr1\t2014-03-05"));
        QCOMPARE(Cells(*m_pGrid, 1), QStringLiteral("srvB\tdb1\tView\tv1\t2013-01-02"));
        QCOMPARE(m_pGrid->FindItemLine(QStringLiteral("srvB")), 1);

        QVERIFY(m_pGrid->SetColumnsLine(QStringLiteral("Server\tDatabase\tType")));
        QCOMPARE(m_pGrid->GetColumnCount(), 3);
        QCOMPARE(Cells(*m_pGrid, 0), QStringLiteral("srvA\tdb2\tRule"));
        QStringList cells;
        QVERIFY(m_pGrid->GetItemCells(1, cells));
        QCOMPARE(cells, Titles({"srvB", "db1", "View"}));
        QCOMPARE(m_pGrid->FindItemLine(QStringLiteral("srva")), 0);

        // Cut cells do not come back with their columns.
        QVERIFY(m_pGrid->SetColumnsLine(kResultColumns));
        QCOMPARE(Cells(*m_pGrid, 0), QStringLiteral("srvA\tdb2\tRule\t\t"));

        // Without columns a row keeps its own text, which the next first column shows.
        QVERIFY(m_pGrid->SetColumnsLine(QString()));
        QCOMPARE(m_pGrid->FindItemLine(QStringLiteral("srvB")), 1);
        QVERIFY(m_pGrid->SetColumnsLine(QStringLiteral("Server\tDatabase")));
        QCOMPARE(Cells(*m_pGrid, 1), QStringLiteral("srvB\t"));
        QCOMPARE(m_pGrid->FindItemLine(QStringLiteral("srvB")), 1);

        // New rows still go to their sorted place among the old ones.
        QCOMPARE(m_pGrid->AddItem(QStringLiteral("srvAB\tdb3")), 1);
        QCOMPARE(m_pGrid->FindItemLine(QStringLiteral("srvB")), 2);
        QCOMPARE(Cells(*m_pGrid, 1), QStringLiteral("srvAB\tdb3"));
    }

    void columnsSetAgainPassTheModelTester()
    {
        CGridModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.SetColumns(Titles({"A", "B", "C"}));
        model.InsertRow(0, Titles({"x", "1", "2"}), {});
        model.InsertRow(1, Titles({"y", "3"}), {});
        model.SetColumns(Titles({"A", "B"}));
        QCOMPARE(model.GetCells(0), Titles({"x", "1"}));
        QCOMPARE(model.GetCells(1), Titles({"y", "3"}));
        model.SetColumns({});
        QCOMPARE(model.columnCount(), 0);
        model.InsertColumn(0, QStringLiteral("A"));
        QCOMPARE(model.GetCell(1, 0), QStringLiteral("y"));
        model.InsertColumn(0, QStringLiteral("Z"));
        QCOMPARE(model.GetCells(1), Titles({"", "y"}));
    }

    void streamedRowsArePaintedAfterTheInterval()
    {
        // Rows arriving one event at a time hold painting back, never for good.
        for (int i = 0; i < 5; ++i) {
            m_pGrid->AddItem(QStringLiteral("row%1").arg(i));
            QCoreApplication::processEvents();
        }
        QVERIFY(!m_pGrid->viewport()->updatesEnabled());
        QTRY_VERIFY(m_pGrid->viewport()->updatesEnabled());
        QCOMPARE(m_pGrid->CountItems(), 5);
    }

    void headerClickChangesNothing()
    {
        AddRows({QStringLiteral("b\t1"), QStringLiteral("a\t2")});
        QHeaderView* pHeader = m_pGrid->header();
        const QPoint point(pHeader->sectionViewportPosition(1) + 5, pHeader->height() / 2);
        QTest::mouseClick(pHeader->viewport(), Qt::LeftButton, {}, point);
        QCoreApplication::processEvents();
        QCOMPARE(Cells(*m_pGrid, 0), QStringLiteral("a\t2\t\t\t"));
        QVERIFY(m_pDialog->m_commands.empty());
    }

    void itemDataIsOwnedByTheRow()
    {
        auto pObject = std::make_shared<int>(42);
        m_pGrid->AddItem(QStringLiteral("b"), pObject);
        m_pGrid->AddItem(QStringLiteral("a"), 7);
        QCOMPARE(pObject.use_count(), 2L);
        CItemData data;
        QVERIFY(m_pGrid->GetItemValue(1, data));
        QCOMPARE(*std::any_cast<std::shared_ptr<int>>(data), 42);
        data.reset();
        // A row that does not exist leaves the output alone.
        CItemData untouched = 3;
        QVERIFY(!m_pGrid->GetItemValue(2, untouched));
        QCOMPARE(std::any_cast<int>(untouched), 3);
        QString strLine = QStringLiteral("kept");
        QVERIFY(!m_pGrid->GetItemLine(-1, strLine));
        QCOMPARE(strLine, QStringLiteral("kept"));

        QCOMPARE(m_pGrid->RemoveItem(0), 1);
        QCOMPARE(m_pGrid->RemoveItem(3), -1);
        QCOMPARE(pObject.use_count(), 2L);
        m_pGrid->RemoveAllItems();
        QCOMPARE(pObject.use_count(), 1L);
    }

    void selectionChangeNotifiesOncePerBurst()
    {
        AddRows(
            {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
        QSignalSpy spy(m_pGrid, &CGridBox::notified);
        Click(0);
        QTRY_COMPARE(m_pDialog->Count(CControl::kNotifySelChange), 1);
        // One row deselected, another selected: a single notification after both.
        Click(2);
        QCoreApplication::processEvents();
        QCOMPARE(m_pDialog->Count(CControl::kNotifySelChange), 2);
        QCOMPARE(m_pGrid->GetCurrentItem(), 2);
        // Selecting every row at once is one more.
        m_pGrid->selectAll();
        for (int i = 0; i < 4; ++i)
            m_pGrid->SetItemSelected(i, i % 2 == 0);
        QCoreApplication::processEvents();
        QCOMPARE(m_pDialog->Count(CControl::kNotifySelChange), 3);
        int nSelChanges = 0;
        for (const QList<QVariant>& args : spy)
            nSelChanges += args.at(0).toInt() == CControl::kNotifySelChange ? 1 : 0;
        QCOMPARE(nSelChanges, 3);

        // Without the notify flag the parent hears nothing.
        m_pGrid->SetNotifyParent(false);
        Click(1);
        QCoreApplication::processEvents();
        QCOMPARE(m_pDialog->Count(CControl::kNotifySelChange), 3);
    }

    void doubleClickSendsCodeTwo()
    {
        AddRows({QStringLiteral("a"), QStringLiteral("b")});
        QTest::mouseDClick(m_pGrid->viewport(), Qt::LeftButton, {}, CellCenter(1));
        QCOMPARE(m_pDialog->Count(CControl::kNotifyDblClk), 1);
        QCOMPARE(m_pGrid->GetCurrentItem(), 1);
        QTest::mouseDClick(m_pGrid->viewport(), Qt::RightButton, {}, CellCenter(0));
        QCOMPARE(m_pDialog->Count(CControl::kNotifyDblClk), 1);
    }

    void focusSendsCodesFourAndFive()
    {
        auto* pOther = new QWidget(m_pDialog.get());
        pOther->setFocusPolicy(Qt::StrongFocus);
        pOther->setGeometry(0, 0, 5, 5);
        pOther->show();
        m_pDialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_pDialog.get()));
        m_pGrid->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(m_pGrid->hasFocus());
        const int nGained = m_pDialog->Count(CControl::kNotifySetFocus);
        pOther->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(m_pDialog->Count(CControl::kNotifyKillFocus), 1);
        m_pGrid->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(m_pDialog->Count(CControl::kNotifySetFocus), nGained + 1);
        QCOMPARE(m_pDialog->Count(CControl::kNotifyKillFocus), 1);
    }

    void currentItemPrefersTheFocusedSelectedRow()
    {
        AddRows(
            {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
        QCOMPARE(m_pGrid->GetCurrentItem(), -1);
        Click(1);
        Click(3, Qt::ControlModifier);
        QCOMPARE(m_pGrid->GetCurrentItem(), 3);
        // Focus moved to an unselected row: the first selected row counts.
        Click(2, Qt::ControlModifier);
        Click(2, Qt::ControlModifier);
        std::vector<int> rows;
        QCOMPARE(m_pGrid->GetSelectedItems(rows), 2);
        QCOMPARE(rows, (std::vector<int>{1, 3}));
        QCOMPARE(m_pGrid->GetCurrentItem(), 1);
        QCOMPARE(m_pGrid->SelectItem(0), 0);
        QCOMPARE(m_pGrid->CountSelectedItems(), 1);
        QCOMPARE(m_pGrid->SelectItem(9), -1);
        QCOMPARE(m_pGrid->FindAndSelectItem(QStringLiteral("C")), 2);
        QCOMPARE(m_pGrid->GetCurrentItem(), 2);
    }

    void currentCellFollowsTheClick()
    {
        AddRows({QStringLiteral("a\tb\tc\td\te"), QStringLiteral("f\tg\th\ti\tj")});
        QCOMPARE(m_pGrid->GetCurrentCellRow(), -1);
        Click(1, {}, 2);
        QCOMPARE(m_pGrid->GetCurrentCellRow(), 1);
        QCOMPARE(m_pGrid->GetCurrentCellColumn(), 2);
        // Right of the last column counts as the last column.
        m_pGrid->SetColumnSize(-1, 40);
        const int nRight = m_pGrid->header()->length() + 30;
        QTest::mouseClick(m_pGrid->viewport(), Qt::LeftButton, {},
                          QPoint(nRight, CellCenter(0).y()));
        QCOMPARE(m_pGrid->GetCurrentCellRow(), 0);
        QCOMPARE(m_pGrid->GetCurrentCellColumn(), 4);
        // Below the rows nothing is hit: the cell stays.
        QTest::mouseClick(m_pGrid->viewport(), Qt::LeftButton, {}, QPoint(5, 250));
        QCOMPARE(m_pGrid->GetCurrentCellRow(), 0);
    }

    void copyPutsTwoRowsOnTheClipboard()
    {
        m_pGrid->SetColumnsLine(QStringLiteral("One\tTwo"));
        AddRows({QStringLiteral("a1\ta2"), QStringLiteral("b1\tb2"), QStringLiteral("c1\tc2")});
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        QVERIFY(!m_pGrid->CopySelection());
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
        QCOMPARE(SendMessage(m_pGrid, WM_ISMSGENABLED, WM_COPY), 0);

        Click(0);
        Click(2, Qt::ControlModifier);
        QCOMPARE(SendMessage(m_pGrid, WM_ISMSGENABLED, WM_COPY), 1);
        QCOMPARE(SendMessage(m_pGrid, WM_ISMSGENABLED, WM_CUT), 0);
        QTest::keyClick(m_pGrid, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("a1\ta2\r\nc1\tc2"));
    }

    void dragCarriesTheSelectedRowsScripts()
    {
        AddRows({QStringLiteral("a\tdb\tView\tv_a"), QStringLiteral("b\tdb\tView\tnone"),
                 QStringLiteral("c\tdb\tView\tv_c"), QStringLiteral("d\tdb\tView\tv_d")});
        m_pGrid->SetRowScriptSource([this](int nRow, QString& strName, QString& strScript) {
            strName = m_pGrid->GetGridModel()->GetCell(nRow, 3);
            if (strName == QStringLiteral("none"))
                return false;
            strScript = QStringLiteral("CREATE VIEW ") + strName;
            return true;
        });
        std::vector<QString> dragged;
        m_pGrid->SetDragHookForTesting(
            [&dragged](const QMimeData& data) { dragged.push_back(data.text()); });

        Click(0);
        Click(1, Qt::ControlModifier);
        Click(3, Qt::ControlModifier);
        // A release before the third move cancels.
        const QPoint press = CellCenter(3);
        QTest::mousePress(m_pGrid->viewport(), Qt::LeftButton, {}, press);
        Move(press + QPoint(2, 2), Qt::LeftButton);
        Move(press + QPoint(4, 4), Qt::LeftButton);
        QTest::mouseRelease(m_pGrid->viewport(), Qt::LeftButton, {}, press + QPoint(4, 4));
        Move(press + QPoint(6, 6), Qt::NoButton);
        QVERIFY(dragged.empty());

        Click(0);
        Click(1, Qt::ControlModifier);
        Click(3, Qt::ControlModifier);
        QTest::mousePress(m_pGrid->viewport(), Qt::LeftButton, {}, press);
        QCOMPARE(m_pGrid->CountSelectedItems(), 3);
        Move(press + QPoint(1, 0), Qt::LeftButton);
        Move(press + QPoint(2, 0), Qt::LeftButton);
        QVERIFY(dragged.empty());
        Move(press + QPoint(3, 0), Qt::LeftButton);
        QCOMPARE(dragged.size(), size_t(1));
        QCOMPARE(dragged[0], QStringLiteral("CREATE VIEW v_a\r\nCREATE VIEW v_d"));
        Move(press + QPoint(4, 0), Qt::LeftButton);
        QCOMPARE(dragged.size(), size_t(1));
        QTest::mouseRelease(m_pGrid->viewport(), Qt::LeftButton, {}, press + QPoint(4, 0));

        // Only rows without a script: nothing is dragged.
        Click(1);
        QVERIFY(m_pGrid->GetDragText().isEmpty());
        QVERIFY(m_pGrid->CreateDragData() == nullptr);
    }

    void exportWithColumns_data()
    {
        QTest::addColumn<QString>("columnSeparator");
        QTest::addColumn<QStringList>("columns");
        QTest::addColumn<bool>("selectedOnly");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("rows");
        const char* rows = "s1,x|db|\"v\"\"q\"\"\"|1\ns2|db2|t|2\n";
        QTest::newRow("titles") << "|" << QStringList() << false
                                << QStringLiteral("Server|Database|Type|Object\n") +
                                       QString::fromUtf8(rows)
                                << 2;
        QTest::newRow("same list")
            << "|" << Titles({"Server", "Database", "Type", "Object"}) << false
            << QStringLiteral("Server|Database|Type|Object\n") + QString::fromUtf8(rows) << 2;
        QTest::newRow("reordered")
            << "|" << Titles({"Object", "Server"}) << false << "Object|Server\n1|s1,x\n2|s2\n"
            << 2;
        QTest::newRow("duplicate title") << "|" << Titles({"Type", "Type", "Server"}) << false
                                         << "Type|Type|Server\n\"v\"\"q\"\"\"||s1,x\nt||s2\n"
                                         << 2;
        QTest::newRow("missing titles") << "|" << Titles({"Server", "Size", "Object", "Owner"})
                                        << false << "Server|Size|Object|Owner\ns1,x||1\ns2||2\n"
                                        << 2;
        QTest::newRow("comma quotes")
            << "," << Titles({"Server", "Object"}) << false << "Server,Object\n\"s1,x\",1\ns2,2\n"
            << 2;
        QTest::newRow("empty separator") << "" << Titles({"Server", "Object"}) << false
                                         << "\"Server\"\"Object\"\n\"s1,x\"\"1\"\n\"s2\"\"2\"\n"
                                         << 2;
        QTest::newRow("selected none")
            << "|" << QStringList() << true << "Server|Database|Type|Object\n"
            << 0;
    }
    void exportWithColumns()
    {
        QFETCH(QString, columnSeparator);
        QFETCH(QStringList, columns);
        QFETCH(bool, selectedOnly);
        QFETCH(QString, expected);
        QFETCH(int, rows);
        m_pGrid->SetColumnsLine(QStringLiteral("Server\tDatabase\tType\tObject"));
        AddRows({QStringLiteral("s2\tdb2\tt\t2"), QStringLiteral("s1,x\tdb\tv\"q\"\t1")});
        std::ostringstream out;
        const SExportResult result = m_pGrid->ExportItems(
            out, columnSeparator, QStringLiteral("\n"), selectedOnly, columns, true);
        QVERIFY(result.m_error.IsOk());
        QCOMPARE(result.m_nRows, rows);
        QCOMPARE(QString::fromStdString(out.str()), expected);
    }

    void exportSelectedRowsInListOrder()
    {
        m_pGrid->SetColumnsLine(QStringLiteral("A\tB"));
        AddRows({QStringLiteral("c\t3"), QStringLiteral("a\t1"), QStringLiteral("b\t2")});
        Click(2);
        Click(0, Qt::ControlModifier);
        const QString strPath = QDir::temp().filePath(QStringLiteral("quarrow-grid-export.txt"));
        const SExportResult result = m_pGrid->ExportItems(strPath, QStringLiteral("\t"),
                                                          QStringLiteral("\r\n"), true, {}, true);
        QCOMPARE(result.m_nRows, 2);
        QFile file(strPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("A\tB\r\na\t1\r\nc\t3\r\n"));
        file.remove();
    }

    void rightPressRecordsTheCurrentCell()
    {
        AddRows({QStringLiteral("a\tb\tc\td\te"), QStringLiteral("f\tg\th\ti\tj")});
        m_pGrid->SetContextMenuId(0);
        QTest::mousePress(m_pGrid->viewport(), Qt::RightButton, {}, CellCenter(1, 3));
        QTest::mouseRelease(m_pGrid->viewport(), Qt::RightButton, {}, CellCenter(1, 3));
        QCOMPARE(m_pGrid->GetCurrentCellRow(), 1);
        QCOMPARE(m_pGrid->GetCurrentCellColumn(), 3);
    }

    void emptyListPaintsTheBand()
    {
        m_pDialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_pDialog.get()));
        m_pGrid->setFocus();
        QTRY_VERIFY(m_pGrid->hasFocus());
        const QRect band = m_pGrid->GetEmptyTextRect();
        QVERIFY(!band.isEmpty());
        QCOMPARE(band.top(), 1);
        QCOMPARE(band.height(), QFontMetrics(m_pGrid->font()).height() - 2);

        const QImage empty = m_pGrid->viewport()->grab().toImage();
        const QString strEmptyPath = ScreenshotPath(QStringLiteral("grid_empty.png"));
        QVERIFY(m_pDialog->grab().save(strEmptyPath));
        qInfo("empty grid screenshot: %s", qPrintable(strEmptyPath));
        // The text is drawn in the band: some of its pixels differ from the background.
        const QRgb background = empty.pixel(band.left() + 2, band.center().y());
        int nInk = 0;
        for (int x = band.left(); x <= band.right(); ++x)
            nInk += empty.pixel(x, band.center().y()) != background ? 1 : 0;
        QVERIFY(nInk > 0);
        // The focus frame surrounds the band while the list has the focus.
        const QRgb frame = empty.pixel(band.left(), band.top());
        m_pGrid->clearFocus();
        QTRY_VERIFY(!m_pGrid->hasFocus());
        const QImage unfocused = m_pGrid->viewport()->grab().toImage();
        QVERIFY(unfocused.pixel(band.left(), band.top()) != frame ||
                unfocused.pixel(band.center().x(), band.top()) !=
                    empty.pixel(band.center().x(), band.top()));

        // The first row erases it; a hidden header leaves none.
        m_pGrid->AddItem(QStringLiteral("SRV1\tpubs\tView\ttitleview\t2014-03-05 10:00:00"));
        QVERIFY(m_pGrid->GetEmptyTextRect().isEmpty());
        m_pGrid->RemoveAllItems();
        m_pGrid->header()->hide();
        QVERIFY(m_pGrid->GetEmptyTextRect().isEmpty());
    }

    void screenshotWithRows()
    {
        m_pGrid->SetColumnSize(0, 70);
        m_pGrid->SetColumnSize(1, 70);
        m_pGrid->SetColumnSize(2, 70);
        m_pGrid->SetColumnSize(3, 194);
        AddRows({QStringLiteral("SRV2\tpubs\tStored Procedure\tbyroyalty\t2014-03-05 10:00:00"),
                 QStringLiteral("SRV1\tpubs\tView\ttitleview\t2014-03-05 10:00:00"),
                 QStringLiteral("srv1\tNorthwind\tUser Table\tOrders\t2013-11-02 08:15:00"),
                 QStringLiteral("SRV1\tmaster\tTrigger\ttr_audit\t2012-01-01 00:00:00")});
        Click(1);
        Click(2, Qt::ControlModifier);
        const QString strPath = ScreenshotPath(QStringLiteral("grid_rows.png"));
        QVERIFY(m_pDialog->grab().save(strPath));
        qInfo("grid screenshot: %s", qPrintable(strPath));
        QCOMPARE(m_pGrid->GetGridModel()->GetCell(0, 0), QStringLiteral("SRV1"));
        QCOMPARE(m_pGrid->GetGridModel()->GetCell(3, 0), QStringLiteral("SRV2"));
    }
};

QTEST_MAIN(CGridBoxTest)
#include "CGridBoxTest.moc"
