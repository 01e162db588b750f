// Dialog templates made into widgets: units, ids, groups, attaching; screenshots of the
// controls for a person to look at.

#include "res/CDialogBuilder.h"

#include "controls/CDateEdit.h"
#include "controls/CNumberEdit.h"
#include "platform/CRegionalSettings.h"
#include "res/MenuTable.h"
#include "res/Resource.h"
#include "res/StringTable.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

using namespace Qt::StringLiterals;

class CDialogBuilderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unitConversion()
    {
        QFont font = QApplication::font();
        font.setPixelSize(13);
        const CDialogBuilder builder(font);
        const QFontMetrics fm(font);
        const int nAlphabet =
            fm.horizontalAdvance(u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"_s);
        const int nBaseX = (nAlphabet / 26 + 1) / 2;
        QCOMPARE(builder.GetBaseUnitX(), nBaseX);
        QCOMPARE(builder.GetBaseUnitY(), fm.height());
        const QRect rect = builder.MapDialogRect(318, 20, 50, 14);
        QCOMPARE(rect.x(), qRound(318.0 * nBaseX / 4));
        QCOMPARE(rect.y(), qRound(20.0 * fm.height() / 8));
        QCOMPARE(rect.width(), qRound(50.0 * nBaseX / 4));
        QCOMPARE(rect.height(), qRound(14.0 * fm.height() / 8));
    }

    void template107()
    {
        const SDialogTemplate* pTemplate = DialogTemplates::Find(IDD_QUARROW_DIALOG);
        QVERIFY(pTemplate != nullptr);
        QVERIFY(DialogTemplates::Find(12345) == nullptr);
        QDialog dialog;
        const CDialogBuilder builder(dialog.font());
        QVERIFY(builder.Build(*pTemplate, &dialog));
        QCOMPARE(dialog.windowTitle(), u"Quarrow"_s);
        QCOMPARE(dialog.size(), builder.MapDialogSize(374, 222));

        // Every control carries its id and its rectangle.
        for (const SDialogItem& item : pTemplate->items) {
            QWidget* pWidget = CDialogBuilder::FindControl(&dialog, item.nId);
            QVERIFY2(pWidget != nullptr, qPrintable(QString::number(item.nId)));
            QCOMPARE(pWidget->objectName(), u"id"_s + QString::number(item.nId));
            QCOMPARE(CDialogBuilder::GetControlId(pWidget), item.nId);
            QCOMPARE(pWidget->pos(), builder.MapDialogRect(item.x, item.y, 0, 0).topLeft());
        }
        auto* pFind =
            qobject_cast<QPushButton*>(CDialogBuilder::FindControl(&dialog, IDC_FIND_NOW));
        QVERIFY(pFind != nullptr && pFind->isDefault());
        QCOMPARE(pFind->text(), u"F&ind Now"_s);
        QVERIFY(!CDialogBuilder::FindControl(&dialog, IDC_STOP)->isEnabled());
        auto* pSize = qobject_cast<QComboBox*>(CDialogBuilder::FindControl(&dialog, IDC_SIZE_IS));
        QCOMPARE(pSize->count(), 3);
        QCOMPARE(pSize->itemText(1), u"At least"_s);
        auto* pLabel =
            qobject_cast<QLabel*>(CDialogBuilder::FindControl(&dialog, IDC_CONTAINING_LABEL));
        QCOMPARE(pLabel->buddy(), CDialogBuilder::FindControl(&dialog, IDC_CONTAINING_TEXT));

        // Radio groups run to the next control that starts a group.
        QButtonGroup* pAll = CDialogBuilder::FindRadioGroup(&dialog, IDC_ALL_OBJECTS);
        QButtonGroup* pBetween = CDialogBuilder::FindRadioGroup(&dialog, IDC_BETWEEN);
        QVERIFY(pAll != nullptr && pBetween != nullptr);
        QCOMPARE(pAll->buttons().size(), 2);
        QCOMPARE(pBetween->buttons().size(), 3);
        QCOMPARE(pBetween->id(pBetween->buttons().at(2)), IDC_PREVIOUS_DAYS);
    }

    void attachTakesThePlaceOfTheTemplateControl()
    {
        QDialog dialog;
        CDialogBuilder().Build(*DialogTemplates::Find(IDD_QUARROW_DIALOG), &dialog);
        QWidget* pOld = CDialogBuilder::FindControl(&dialog, IDC_DATE_FROM);
        const QRect rect = pOld->geometry();
        QWidget* pBefore = pOld->previousInFocusChain();
        auto* pEdit = new CDateEdit;
        QVERIFY(pEdit->Attach(IDC_DATE_FROM, &dialog));
        QCOMPARE(CDialogBuilder::FindControl(&dialog, IDC_DATE_FROM), pEdit);
        QCOMPARE(dialog.findChildren<QLineEdit*>(u"id1013"_s).size(), 1);
        QCOMPARE(pEdit->geometry(), rect);
        QCOMPARE(pEdit->parentWidget(), &dialog);
        QCOMPARE(pBefore->nextInFocusChain(), pEdit);
        QCOMPARE(pEdit->GetControlId(), IDC_DATE_FROM);
        QVERIFY(!pEdit->Attach(9999, &dialog));
    }

    void stringsAndMenus()
    {
        QString str = u"unchanged"_s;
        QVERIFY(!StringTable::Load(3016, str));
        QCOMPARE(str, u"unchanged"_s);
        QVERIFY(StringTable::Load(IDP_OLE_INIT_FAILED, str));
        QVERIFY(str.contains(u"failed.  Make sure"_s));
        QCOMPARE(StringTable::Get(IDS_ABOUTBOX), u"&About Quarrow..."_s);
        const SMenuResource* pMenu = MenuTable::Find(IDR_MENU_RESULTS);
        QVERIFY(pMenu != nullptr);
        QCOMPARE(pMenu->entries[0].children[0].nId, ID_VIEW_SOURCE);
        QCOMPARE(pMenu->entries[0].children[1].nId, ID_EXPORT);
    }

    void screenshots()
    {
        CRegionalSettings::SetShortDate(u"dd/MM/yyyy");
        QDialog dialog;
        CDialogBuilder().Build(*DialogTemplates::Find(IDD_QUARROW_DIALOG), &dialog);
        auto* pTab = qobject_cast<QTabWidget*>(CDialogBuilder::FindControl(&dialog, IDC_TAB));
        for (const QString& strTab : {u"Name && Location"_s, u"Date Modified"_s, u"Advanced"_s})
            pTab->addTab(new QWidget, strTab);
        pTab->setCurrentIndex(1);
        // The Date Modified page: the other pages' controls are hidden.
        for (int nId :
             {IDC_CONTAINING_LABEL, IDC_CONTAINING_TEXT, IDC_LOOKIN_LABEL, IDC_LOOKIN_TREE,
              IDC_TYPE_LABEL, IDC_TYPE, IDC_NAMED_LABEL, IDC_NAMED, IDC_SIZE_LABEL, IDC_SIZE_IS,
              IDC_SIZE, IDC_BYTES_LABEL, IDC_MATCH_CASE, IDC_REGULAR_EXPRESSION})
            CDialogBuilder::FindControl(&dialog, nId)->hide();
        auto* pFrom = new CDateEdit;
        auto* pTo = new CDateEdit;
        auto* pMonths = new CNumberEdit;
        auto* pDays = new CNumberEdit;
        QVERIFY(pFrom->Attach(IDC_DATE_FROM, &dialog));
        QVERIFY(pTo->Attach(IDC_DATE_TO, &dialog));
        QVERIFY(pMonths->Attach(IDC_MONTHS, &dialog));
        QVERIFY(pDays->Attach(IDC_DAYS, &dialog));
        QTest::keyClicks(pFrom, u"05032014"_s);
        QCOMPARE(pFrom->text(), u"05/03/2014"_s);
        pMonths->SetNumber(18);
        CDialogBuilder::FindRadioGroup(&dialog, IDC_BETWEEN)->button(IDC_BETWEEN)->setChecked(true);
        CDialogBuilder::FindRadioGroup(&dialog, IDC_ALL_OBJECTS)
            ->button(IDC_FIND_CREATED)
            ->setChecked(true);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(pFrom->text(), u"05/03/2014"_s);

        const QString strDir =
            qEnvironmentVariable("QUARROW_BINARY_DIR", QDir::currentPath()) + u"/screenshots"_s;
        QVERIFY(QDir().mkpath(strDir));
        const QString strDialog = strDir + u"/dialog107-dates.png"_s;
        const QString strEdit = strDir + u"/date-edit.png"_s;
        QVERIFY(dialog.grab().save(strDialog));
        QVERIFY(pFrom->grab().scaled(pFrom->size() * 3).save(strEdit));
        qInfo("screenshots: %s %s", qPrintable(strDialog), qPrintable(strEdit));
    }
};

QTEST_MAIN(CDialogBuilderTest)
#include "CDialogBuilderTest.moc"
