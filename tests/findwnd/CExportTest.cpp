// Export of the find window's results: the Save As dialog with its export panel driven by
// keystrokes and clicks, the file's bytes, the remembered choices and the command's enabling.

#include "catalog/CObjectModel.h"
#include "catalog/CRegisteredServerStore.h"
#include "controls/CComboBoxCtrl.h"
#include "controls/CCommandTarget.h"
#include "controls/CDragGridBox.h"
#include "controls/CSuperApp.h"
#include "findwnd/CChkBoxTreeCtrl.h"
#include "findwnd/CExportCollectionHandler.h"
#include "findwnd/CExportFileDlg.h"
#include "findwnd/CQuarrowDlg.h"
#include "platform/CProfile.h"
#include "platform/CShell.h"
#include "res/CDialogBuilder.h"
#include "res/Resource.h"
#include "tests/support/CMemoryLibrary.h"
#include "tests/support/CPopupDriver.h"
#include "tests/support/CRecordingOpener.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using PopupDriver::WhenModal;

namespace {

const QString kColumnKey = u"Server-Database-Type-Object-Creation Date"_s;
const QString kSelectedKey = kColumnKey + u"_Selected"_s;
const QStringList kDefaultEntries = {u";"_s, u"Carriage return-New line"_s, u"New line"_s,
                                     u"Space"_s};

// The rows every test exports, in list order.
const QByteArray kRowsSemicolonCrLf = "SRV;pubs;Stored Procedure;p_one;2014-05-15 10:20:00\r\n"
                                      "SRV;pubs;Stored Procedure;\"p;semi\";2015-06-16 11:00:00\r\n"
                                      "SRV;pubs;View;v_three;2016-07-17 12:00:00\r\n";
const QByteArray kHeaderSemicolonCrLf = "Server;Database;Type;Object;Creation Date\r\n";

QWidget* Control(QWidget* pDlg, int nId)
{
    return CDialogBuilder::FindControl(pDlg, nId);
}

QComboBox* Combo(QWidget* pDlg, int nId)
{
    return qobject_cast<QComboBox*>(Control(pDlg, nId));
}

QStringList Entries(const QComboBox* pCombo)
{
    QStringList entries;
    for (int i = 0; i < pCombo->count(); ++i)
        entries << pCombo->itemText(i);
    return entries;
}

QListWidget* ColumnList(QWidget* pDlg)
{
    return qobject_cast<QListWidget*>(Control(pDlg, IDC_COLUMN_LIST));
}

// Each entry's text, with "-" in front of an unticked one.
QStringList Columns(const QListWidget* pList)
{
    QStringList columns;
    for (int i = 0; i < pList->count(); ++i) {
        const QListWidgetItem* pItem = pList->item(i);
        columns << (pItem->checkState() == Qt::Checked ? QString() : u"-"_s) + pItem->text();
    }
    return columns;
}

void ClickButton(QWidget* pDlg, int nId)
{
    QWidget* pButton = Control(pDlg, nId);
    QVERIFY(pButton != nullptr);
    QTest::mouseClick(pButton, Qt::LeftButton, {}, pButton->rect().center());
}

// Clicks the entry (alone, or added to the selection with Ctrl).
void ClickEntry(QListWidget* pList, int nRow, Qt::KeyboardModifiers modifiers = {})
{
    const QRect rect = pList->visualItemRect(pList->item(nRow));
    QTest::mouseClick(pList->viewport(), Qt::LeftButton, modifiers,
                      rect.center() + QPoint(rect.width() / 4, 0));
}

// Clicks the entry and toggles its tick with the space bar.
void ToggleEntry(QListWidget* pList, int nRow)
{
    ClickEntry(pList, nRow);
    QTest::keyClick(pList, Qt::Key_Space);
}

// Replaces the text in a combo box's edit field with typed keys.
void TypeInto(QComboBox* pCombo, const QString& strText)
{
    QLineEdit* pEdit = pCombo->lineEdit();
    QVERIFY(pEdit != nullptr);
    pEdit->setFocus();
    QTest::keyClick(pEdit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(pEdit, Qt::Key_Delete);
    QTest::keyClicks(pEdit, strText);
}

// Opens the combo box's list and clicks the entry.
void PickEntry(QComboBox* pCombo, const QString& strEntry)
{
    const int nIndex = pCombo->findText(strEntry);
    QVERIFY(nIndex >= 0);
    pCombo->showPopup();
    QAbstractItemView* pView = pCombo->view();
    QTRY_VERIFY(pView->isVisible());
    const QRect rect = pView->visualRect(pView->model()->index(nIndex, 0));
    QTest::mouseClick(pView->viewport(), Qt::LeftButton, {}, rect.center());
    QTRY_VERIFY(!pView->isVisible());
}

// Types the path into the dialog's file name field and presses Save.
void SaveAs(QFileDialog* pDlg, const QString& strPath)
{
    auto* pName = pDlg->findChild<QLineEdit*>(u"fileNameEdit"_s);
    QVERIFY(pName != nullptr);
    pName->setFocus();
    QTest::keyClick(pName, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(pName, Qt::Key_Delete);
    QTest::keyClicks(pName, strPath);
    auto* pButtons = pDlg->findChild<QDialogButtonBox*>(u"buttonBox"_s);
    QVERIFY(pButtons != nullptr);
    QPushButton* pSave = pButtons->button(QDialogButtonBox::Save);
    QVERIFY(pSave != nullptr && pSave->isEnabled());
    QTest::mouseClick(pSave, Qt::LeftButton, {}, pSave->rect().center());
}

void Cancel(QFileDialog* pDlg)
{
    auto* pButtons = pDlg->findChild<QDialogButtonBox*>(u"buttonBox"_s);
    QVERIFY(pButtons != nullptr);
    QPushButton* pCancel = pButtons->button(QDialogButtonBox::Cancel);
    QTest::mouseClick(pCancel, Qt::LeftButton, {}, pCancel->rect().center());
}

} // namespace

class CExportTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_pFolder;
    std::unique_ptr<CProfile> m_pProfile;
    std::shared_ptr<CMemoryCatalog> m_pCatalog;
    std::shared_ptr<CMemoryLibrary> m_pModern;
    std::shared_ptr<CMemoryLibrary> m_pLegacy;
    std::unique_ptr<CRecordingOpener> m_pOpener;
    std::unique_ptr<CQuarrowDlg> m_pDlg;

    // A find window whose search found three objects (one needs quoting with ";").
    void FindObjects()
    {
        SMemoryServer server;
        server.name = u"SRV";
        SMemoryDatabase db;
        db.name = u"pubs";
        db.objects = {
            MemObject(u"p_one", ObjectType::StoredProcedure, u"a", u"2014-05-15 10:20:00"),
            MemObject(u"p;semi", ObjectType::StoredProcedure, u"b", u"2015-06-16 11:00:00"),
            MemObject(u"v_three", ObjectType::View, u"c", u"2016-07-17 12:00:00")};
        db.objects[2].typeName = u"View";
        server.databases.push_back(std::move(db));
        m_pCatalog->servers.push_back(std::move(server));
        CRegisteredServerStore store(*m_pProfile);
        RegisteredServer registration;
        registration.m_strServerName = u"SRV";
        QVERIFY(store.SaveServerRegistration(registration));

        m_pDlg = std::make_unique<CQuarrowDlg>(*m_pProfile);
        m_pDlg->show();
        QVERIFY(QTest::qWaitForWindowActive(m_pDlg.get()));
        CChkBoxTreeCtrl* pTree = m_pDlg->GetLookInTree();
        pTree->SetCheck(pTree->topLevelItem(0)->child(0), true);
        QWidget* pFind = m_pDlg->GetControl(IDC_FIND_NOW);
        QTest::mouseClick(pFind, Qt::LeftButton, {}, QPoint(4, pFind->height() / 2));
        QVERIFY(QTest::qWaitFor([&] { return !m_pDlg->IsWorkerRecorded(); }, 10000));
        QCOMPARE(m_pDlg->GetResultList()->CountItems(), 3);
    }

    // The export command with the Save As dialog driven by fnDrive.
    void Export(std::function<void(CExportFileDlg*)> fnDrive)
    {
        // Shared: the wait may outlive this call when no dialog comes.
        auto pShown = std::make_shared<bool>(false);
        WhenModal<CExportFileDlg>([pShown, fnDrive](CExportFileDlg* pDlg) {
            *pShown = true;
            fnDrive(pDlg);
        });
        QVERIFY(CCommandTarget::SendCommand(m_pDlg.get(), ID_EXPORT));
        QVERIFY(*pShown);
    }

    QString FilePath(const QString& strName) const { return m_pFolder->filePath(strName); }

    static QByteArray Content(const QString& strPath)
    {
        QFile file(strPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    QString Setting(const QString& strEntry) const
    {
        return QString::fromStdU16String(
            m_pProfile->GetProfileString(u"Export", strEntry.toStdU16String(), u"<missing>"));
    }

    QStringList Openings() const { return m_pOpener->Openings(); }

    bool ExportEnabled() const
    {
        QAction action;
        CCmdUI cmdUI(ID_EXPORT, &action);
        m_pDlg->OnUpdateCmdUI(cmdUI);
        return action.isEnabled();
    }

private Q_SLOTS:
    void init()
    {
        QTest::failOnWarning(QRegularExpression(u"^(?!This plugin does not support).*"_s));
        m_pFolder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_pFolder->isValid());
        m_pOpener.reset(); // the old one unsets the variable as it goes
        m_pOpener = std::make_unique<CRecordingOpener>(m_pFolder->path());
        QVERIFY(m_pOpener->IsValid());

        m_pProfile =
            std::make_unique<CProfile>(u"Quarrow", m_pFolder->filePath(u"profile"_s).toStdString());
        m_pCatalog = std::make_shared<CMemoryCatalog>();
        m_pModern = std::make_shared<CMemoryLibrary>(EFlavour::Modern, m_pCatalog);
        m_pLegacy = std::make_shared<CMemoryLibrary>(EFlavour::Legacy, m_pCatalog);
        CObjectModel::SetLibraries(m_pModern, m_pLegacy);
        CSuperApp::TakeShownTextsForTesting();
        FindObjects();
    }

    void cleanup()
    {
        m_pDlg.reset();
        CObjectModel::SetLibraries(nullptr, nullptr);
        m_pProfile.reset();
        m_pFolder.reset();
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(), QStringList());
    }

    void filterAndSeparatorNames_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("name");
        QTest::newRow("semicolon") << u";"_s << u";"_s;
        QTest::newRow("crlf") << u"\r\n"_s << u"Carriage return-New line"_s;
        QTest::newRow("lf") << u"\n"_s << u"New line"_s;
        QTest::newRow("blank") << u" "_s << u"Space"_s;
        QTest::newRow("a name stands for itself") << u"Space"_s << u"Space"_s;
        QTest::newRow("typed bar") << u"|"_s << u"|"_s;
        // The tab the table began with was replaced: no entry offers it.
        QTest::newRow("tab") << u"\t"_s << u"\t"_s;
        QTest::newRow("case matters") << u"space"_s << u"space"_s;
    }

    void filterAndSeparatorNames()
    {
        QFETCH(QString, code);
        QFETCH(QString, name);
        CExportFileDlg dlg(u"Text (*.csv)|*.csv|All files (*.*)|*.*||"_s);
        QCOMPARE(CExportFileDlg::SeparatorNameForCode(dlg.m_separators, code), name);
        QCOMPARE(dlg.m_separators.size(), std::size_t(4));
        // "All files" matches names without a dot too.
        QCOMPARE(dlg.nameFilters(), (QStringList{u"Text (*.csv)"_s, u"All files (*)"_s}));
        QCOMPARE(dlg.defaultSuffix(), u"txt"_s);
    }

    void firstExportWritesTheDefaultsAndRemembersThem()
    {
        const QString strBase = FilePath(u"results"_s);
        Export([&](CExportFileDlg* pDlg) {
            QCOMPARE(pDlg->GetPanelTemplate(), IDD_EXPORT_COLUMNS);
            QComboBox* pColumn = Combo(pDlg, IDC_COLUMN_SEPARATOR);
            QComboBox* pRow = Combo(pDlg, IDC_ROW_SEPARATOR);
            QVERIFY(pColumn != nullptr && pRow != nullptr);
            QCOMPARE(Entries(pColumn), kDefaultEntries);
            QCOMPARE(Entries(pRow), kDefaultEntries);
            QCOMPARE(pColumn->currentText(), u";"_s);
            QCOMPARE(pRow->currentText(), u"Carriage return-New line"_s);
            // No row is selected: "Selection only" is not offered.
            auto* pSelection = qobject_cast<QCheckBox*>(Control(pDlg, IDC_SELECTION_ONLY));
            QVERIFY(!pSelection->isEnabled() && !pSelection->isChecked());
            QVERIFY(qobject_cast<QCheckBox*>(Control(pDlg, IDC_OPEN_EXPORT_FILE))->isChecked());
            QListWidget* pList = ColumnList(pDlg);
            QCOMPARE(Columns(pList), (QStringList{u"Server"_s, u"Database"_s, u"Type"_s,
                                                  u"Object"_s, u"Creation Date"_s}));
            QVERIFY(pList->isEnabled());
            QVERIFY(qobject_cast<QPushButton*>(Control(pDlg, IDC_DEFAULT_COLUMNS))->isChecked());
            QVERIFY(!Control(pDlg, IDC_LAST_EXPORT_COLUMNS)->isEnabled());
            QVERIFY(!Control(pDlg, IDC_MOVE_UP)->isEnabled());
            QVERIFY(!Control(pDlg, IDC_MOVE_DOWN)->isEnabled());
            SaveAs(pDlg, strBase);
        });
        // The default extension joins a name without one.
        const QString strPath = strBase + u".txt"_s;
        QCOMPARE(Content(strPath), kHeaderSemicolonCrLf + kRowsSemicolonCrLf);
        QCOMPARE(Openings(), QStringList{strPath});
        QCOMPARE(Setting(u"LastExport"_s), strPath);
        QCOMPARE(Setting(u"LastColSep"_s), u";"_s);
        QCOMPARE(Setting(u"LastRowSep"_s), u"\r\n"_s);
        QCOMPARE(Setting(kColumnKey), u"Server\tDatabase\tType\tObject\tCreation Date"_s);
        QCOMPARE(Setting(kSelectedKey), u"0\t1\t2\t3\t4"_s);

        // The next export starts at that file, and a second write replaces it.
        Export([&](CExportFileDlg* pDlg) {
            QCOMPARE(pDlg->GetInitialFileName(), strPath);
            QVERIFY(
                qobject_cast<QPushButton*>(Control(pDlg, IDC_LAST_EXPORT_COLUMNS))->isChecked());
            qobject_cast<QCheckBox*>(Control(pDlg, IDC_OPEN_EXPORT_FILE))->click();
            WhenModal<QMessageBox>([](QMessageBox* pBox) {
                QTest::mouseClick(pBox->button(QMessageBox::Yes), Qt::LeftButton);
            });
            SaveAs(pDlg, strPath);
        });
        QCOMPARE(Content(strPath), kHeaderSemicolonCrLf + kRowsSemicolonCrLf);
        QCOMPARE(Openings().size(), 1);
    }

    void columnSeparatorChoices_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shownNext");
        QTest::addColumn<QStringList>("entriesNext");

        QTest::newRow("bar") << u"|"_s
                             << QByteArray(
                                    "Server|Database|Type|Object|Creation Date\r\n"
                                    "SRV|pubs|Stored Procedure|p_one|2014-05-15 10:20:00\r\n"
                                    "SRV|pubs|Stored Procedure|p;semi|2015-06-16 11:00:00\r\n"
                                    "SRV|pubs|View|v_three|2016-07-17 12:00:00\r\n")
                             << u"|"_s << u"|"_s << kDefaultEntries + QStringList{u"|"_s};
        // Without a separator every cell is quoted and the cells run together.
        QTest::newRow("empty")
            << QString()
            << QByteArray("\"Server\"\"Database\"\"Type\"\"Object\"\"Creation Date\"\r\n"
                          "\"SRV\"\"pubs\"\"Stored Procedure\"\"p_one\"\"2014-05-15 10:20:00\"\r\n"
                          "\"SRV\"\"pubs\"\"Stored Procedure\"\"p;semi\"\"2015-06-16 11:00:00\"\r\n"
                          "\"SRV\"\"pubs\"\"View\"\"v_three\"\"2016-07-17 12:00:00\"\r\n")
            << QString() << u";"_s << kDefaultEntries;
        // A display name typed in full stands for its characters.
        QTest::newRow("Space by name")
            << u"Space"_s
            << QByteArray("Server Database Type Object \"Creation Date\"\r\n"
                          "SRV pubs \"Stored Procedure\" p_one \"2014-05-15 10:20:00\"\r\n"
                          "SRV pubs \"Stored Procedure\" p;semi \"2015-06-16 11:00:00\"\r\n"
                          "SRV pubs View v_three \"2016-07-17 12:00:00\"\r\n")
            << u" "_s << u"Space"_s << kDefaultEntries;
        QTest::newRow("two characters")
            << u"::"_s
            << QByteArray("Server::Database::Type::Object::Creation Date\r\n"
                          "SRV::pubs::Stored Procedure::p_one::2014-05-15 10:20:00\r\n"
                          "SRV::pubs::Stored Procedure::p;semi::2015-06-16 11:00:00\r\n"
                          "SRV::pubs::View::v_three::2016-07-17 12:00:00\r\n")
            << u"::"_s << u"::"_s << QStringList{u"::"_s} + kDefaultEntries;
    }

    void columnSeparatorChoices()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, file);
        QFETCH(QString, stored);
        QFETCH(QString, shownNext);
        QFETCH(QStringList, entriesNext);

        const QString strPath = FilePath(u"out.csv"_s);
        Export([&](CExportFileDlg* pDlg) {
            TypeInto(Combo(pDlg, IDC_COLUMN_SEPARATOR), typed);
            SaveAs(pDlg, strPath);
        });
        QCOMPARE(Content(strPath), file);
        QCOMPARE(Setting(u"LastColSep"_s), stored);

        QFile::remove(strPath);
        Export([&](CExportFileDlg* pDlg) {
            QComboBox* pColumn = Combo(pDlg, IDC_COLUMN_SEPARATOR);
            QCOMPARE(pColumn->currentText(), shownNext);
            QCOMPARE(Entries(pColumn), entriesNext);
            QCOMPARE(Entries(Combo(pDlg, IDC_ROW_SEPARATOR)), entriesNext);
            Cancel(pDlg);
        });
        QVERIFY(!QFile::exists(strPath));
    }

    void rowSeparatorPickedFromTheList()
    {
        const QString strPath = FilePath(u"lf.csv"_s);
        Export([&](CExportFileDlg* pDlg) {
            PickEntry(Combo(pDlg, IDC_ROW_SEPARATOR), u"New line"_s);
            SaveAs(pDlg, strPath);
        });
        QByteArray expected = kHeaderSemicolonCrLf + kRowsSemicolonCrLf;
        expected.replace("\r\n", "\n");
        QCOMPARE(Content(strPath), expected);
        QCOMPARE(Setting(u"LastRowSep"_s), u"\n"_s);
        Export([&](CExportFileDlg* pDlg) {
            QCOMPARE(Combo(pDlg, IDC_ROW_SEPARATOR)->currentText(), u"New line"_s);
            QCOMPARE(Combo(pDlg, IDC_COLUMN_SEPARATOR)->currentText(), u";"_s);
            Cancel(pDlg);
        });
    }

    void chosenColumnsAndOrderComeBackAsLastExport()
    {
        const QString strPath = FilePath(u"cols.csv"_s);
        Export([&](CExportFileDlg* pDlg) {
            QListWidget* pList = ColumnList(pDlg);
            ToggleEntry(pList, 1); // Database off
            ClickEntry(pList, 3);  // Object up twice
            ClickButton(pDlg, IDC_MOVE_UP);
            ClickButton(pDlg, IDC_MOVE_UP);
            QCOMPARE(Columns(pList), (QStringList{u"Server"_s, u"Object"_s, u"-Database"_s,
                                                  u"Type"_s, u"Creation Date"_s}));
            SaveAs(pDlg, strPath);
        });
        QCOMPARE(Content(strPath),
                 QByteArray("Server;Object;Type;Creation Date\r\n"
                            "SRV;p_one;Stored Procedure;2014-05-15 10:20:00\r\n"
                            "SRV;\"p;semi\";Stored Procedure;2015-06-16 11:00:00\r\n"
                            "SRV;v_three;View;2016-07-17 12:00:00\r\n"));
        QCOMPARE(Setting(kColumnKey), u"Server\tObject\tDatabase\tType\tCreation Date"_s);
        QCOMPARE(Setting(kSelectedKey), u"0\t1\t3\t4"_s);

        const QStringList last = {u"Server"_s, u"Object"_s, u"-Database"_s, u"Type"_s,
                                  u"Creation Date"_s};
        Export([&](CExportFileDlg* pDlg) {
            QListWidget* pList = ColumnList(pDlg);
            QCOMPARE(Columns(pList), last);
            auto* pLast = qobject_cast<QPushButton*>(Control(pDlg, IDC_LAST_EXPORT_COLUMNS));
            QVERIFY(pLast->isEnabled() && pLast->isChecked());
            ClickButton(pDlg, IDC_DEFAULT_COLUMNS);
            QCOMPARE(Columns(pList), (QStringList{u"Server"_s, u"Database"_s, u"Type"_s,
                                                  u"Object"_s, u"Creation Date"_s}));
            QVERIFY(!pLast->isChecked());
            ClickButton(pDlg, IDC_LAST_EXPORT_COLUMNS);
            QCOMPARE(Columns(pList), last);
            Cancel(pDlg);
        });
        // Cancel kept the settings as they were.
        QCOMPARE(Setting(kSelectedKey), u"0\t1\t3\t4"_s);
    }

    void moveButtonsFollowTheSelection()
    {
        Export([&](CExportFileDlg* pDlg) {
            QListWidget* pList = ColumnList(pDlg);
            QWidget* pUp = Control(pDlg, IDC_MOVE_UP);
            QWidget* pDown = Control(pDlg, IDC_MOVE_DOWN);
            const auto buttons = [&] {
                return QPair<bool, bool>(pUp->isEnabled(), pDown->isEnabled());
            };

            ClickEntry(pList, 0);
            QCOMPARE(buttons(), qMakePair(false, true));
            ClickEntry(pList, 4, Qt::ControlModifier);
            QCOMPARE(buttons(), qMakePair(true, true));
            ClickEntry(pList, 4);
            QCOMPARE(buttons(), qMakePair(true, false));

            // The first two selected: Up leaves the first where it is and so swaps them.
            ClickEntry(pList, 0);
            ClickEntry(pList, 1, Qt::ControlModifier);
            ClickButton(pDlg, IDC_MOVE_UP);
            QCOMPARE(Columns(pList), (QStringList{u"Database"_s, u"Server"_s, u"Type"_s,
                                                  u"Object"_s, u"Creation Date"_s}));
            QCOMPARE(pList->selectedItems().size(), 2);

            // A button that goes grey while focused hands the focus on.
            ClickEntry(pList, 2);
            ClickButton(pDlg, IDC_MOVE_DOWN);
            QVERIFY(pDown->hasFocus() && pDown->isEnabled());
            ClickButton(pDlg, IDC_MOVE_DOWN);
            QCOMPARE(Columns(pList), (QStringList{u"Database"_s, u"Server"_s, u"Object"_s,
                                                  u"Creation Date"_s, u"Type"_s}));
            QVERIFY(!pDown->isEnabled());
            QCOMPARE(QApplication::focusWidget(), Control(pDlg, IDC_DEFAULT_COLUMNS));
            Cancel(pDlg);
        });
    }

    void selectionOnlyWritesTheSelectedRows()
    {
        CDragGridBox* pGrid = m_pDlg->GetResultList();
        pGrid->SetItemSelected(0, true);
        pGrid->SetItemSelected(2, true);
        const QString strPath = FilePath(u"sel.csv"_s);
        Export([&](CExportFileDlg* pDlg) {
            auto* pSelection = qobject_cast<QCheckBox*>(Control(pDlg, IDC_SELECTION_ONLY));
            QVERIFY(pSelection->isEnabled() && !pSelection->isChecked());
            QTest::mouseClick(pSelection, Qt::LeftButton, {}, QPoint(4, pSelection->height() / 2));
            QVERIFY(pSelection->isChecked());
            SaveAs(pDlg, strPath);
        });
        QCOMPARE(Content(strPath), kHeaderSemicolonCrLf +
                                       "SRV;pubs;Stored Procedure;p_one;2014-05-15 10:20:00\r\n"
                                       "SRV;pubs;View;v_three;2016-07-17 12:00:00\r\n");
        // Not ticked again at the next export.
        Export([&](CExportFileDlg* pDlg) {
            QVERIFY(!qobject_cast<QCheckBox*>(Control(pDlg, IDC_SELECTION_ONLY))->isChecked());
            Cancel(pDlg);
        });
    }

    void cancelAndNoTickedColumnWriteAndSaveNothing()
    {
        const QString strPath = FilePath(u"never.csv"_s);
        Export([&](CExportFileDlg* pDlg) {
            QTest::keyClicks(pDlg->findChild<QLineEdit*>(u"fileNameEdit"_s), strPath);
            Cancel(pDlg);
        });
        Export([&](CExportFileDlg* pDlg) {
            QListWidget* pList = ColumnList(pDlg);
            for (int i = 0; i < pList->count(); ++i)
                ToggleEntry(pList, i);
            SaveAs(pDlg, strPath);
        });
        QVERIFY(!QFile::exists(strPath));
        QVERIFY(!m_pProfile->SectionExists(u"Export"));
        QVERIFY(Openings().isEmpty());
    }

    void fileThatCannotBeCreatedKeepsTheSettings()
    {
        const QString strPath = FilePath(u"missing/out.csv"_s);
        CSuperApp::PushAnswerForTesting(QMessageBox::Ok);
        Export([&](CExportFileDlg* pDlg) {
            TypeInto(Combo(pDlg, IDC_COLUMN_SEPARATOR), u"|"_s);
            SaveAs(pDlg, strPath);
        });
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(),
                 QStringList{u"No such file or directory"_s});
        QVERIFY(!QFile::exists(strPath));
        QCOMPARE(Setting(u"LastExport"_s), strPath);
        QCOMPARE(Setting(u"LastColSep"_s), u"|"_s);
        QVERIFY(Openings().isEmpty());
    }

    void fullDiskIsReported()
    {
        if (!QFileInfo(u"/dev/full"_s).isWritable())
            QSKIP("no writable /dev/full");
        // A name with an extension, so the default one is not added.
        const QString strPath = FilePath(u"full.csv"_s);
        QVERIFY(QFile::link(u"/dev/full"_s, strPath));
        CSuperApp::PushAnswerForTesting(QMessageBox::Ok);
        Export([&](CExportFileDlg* pDlg) {
            WhenModal<QMessageBox>([](QMessageBox* pBox) {
                QTest::mouseClick(pBox->button(QMessageBox::Yes), Qt::LeftButton);
            });
            SaveAs(pDlg, strPath);
        });
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(), QStringList{u"No space left on device"_s});
        QVERIFY(Openings().isEmpty());
    }

    void openerFailureLeavesTheFileWritten()
    {
        qputenv("QUARROW_OPENER", "/bin/false");
        const QString strPath = FilePath(u"opened.csv"_s);
        CSuperApp::PushAnswerForTesting(QMessageBox::Ok);
        Export([&](CExportFileDlg* pDlg) { SaveAs(pDlg, strPath); });
        QCOMPARE(CSuperApp::TakeShownTextsForTesting(),
                 QStringList{QString::fromStdU16String(
                     CShell::LinkErrorText(ShellResult::AssociationIncomplete))});
        QCOMPARE(Content(strPath), kHeaderSemicolonCrLf + kRowsSemicolonCrLf);
    }

    void commandFollowsTheFocus()
    {
        CDragGridBox* pGrid = m_pDlg->GetResultList();
        pGrid->setFocus();
        QTRY_VERIFY(pGrid->hasFocus());
        QVERIFY(ExportEnabled());

        // A window inside the list (an in-place editor) counts as the list.
        auto* pChild = new QLineEdit(pGrid);
        pChild->show();
        pChild->setFocus();
        QTRY_VERIFY(pChild->hasFocus());
        QVERIFY(ExportEnabled());
        // Without a collection given, the command finds the list through the focus.
        bool bShown = false;
        WhenModal<CExportFileDlg>([&](CExportFileDlg* pDlg) {
            bShown = true;
            Cancel(pDlg);
        });
        CExportCollectionHandler(*m_pProfile).Export();
        QVERIFY(bShown);
        delete pChild;
        m_pDlg->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_pDlg.get()));

        QWidget* pContaining = m_pDlg->GetControl(IDC_CONTAINING_TEXT);
        pContaining->setFocus();
        QTRY_VERIFY(pContaining->hasFocus());
        QVERIFY(!ExportEnabled());
        // Nothing to export from there: no dialog.
        bool bWrongDialog = false;
        WhenModal<CExportFileDlg>(
            [&](CExportFileDlg* pDlg) {
                bWrongDialog = true;
                Cancel(pDlg);
            },
            5);
        CExportCollectionHandler(*m_pProfile).Export();
        QTest::qWait(200);
        QVERIFY(!bWrongDialog);

        pGrid->setFocus();
        QTRY_VERIFY(pGrid->hasFocus());
        m_pDlg->ClearResults();
        pGrid->RemoveAllItems();
        QVERIFY(!ExportEnabled());
        // An empty list is not exported even when named.
        CExportCollectionHandler(*m_pProfile).Export(pGrid);
        QVERIFY(!m_pProfile->SectionExists(u"Export"));
    }
};

QTEST_MAIN(CExportTest)
#include "CExportTest.moc"
