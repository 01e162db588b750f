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

namespace {

using EK = EControlKind;
namespace CS = ControlStyle;

// Texts far longer than their boxes: each must take room from what stands beyond it.
constexpr SDialogItem kCrampedItems[] = {
    {101, EK::Label, u"A label whose text is much longer than its box:", 7, 7, 20, 8},
    {102, EK::Edit, u"", 30, 6, 60, 12},
    {103, EK::PushButton, u"OK", 100, 5, 40, 14},
    {104, EK::Edit, u"", 30, 22, 60, 12},
    {105, EK::GroupBox, u"Group", 7, 40, 90, 30},
    {106, EK::CheckBox, u"A check box with a long text inside the group", 14, 52, 40, 10},
    {107, EK::PushButton, u"Beside", 100, 45, 40, 14},
    {108, EK::TabControl, u"", 7, 75, 140, 40},
    {109, EK::Label, u"A first-page label that needs far more room", 14, 92, 20, 8, CS::None, u"",
     1},
    {110, EK::Edit, u"", 40, 91, 40, 12, CS::None, u"", 2},
    {111, EK::Label,
     u"A wrapped label with several words that take more than two lines even when it has taken "
     u"all the free room to its right, which it does first",
     7, 120, 60, 16, CS::WordWrap},
    {112, EK::Label, u"Below", 7, 140, 30, 8},
    {113, EK::Edit, u"", 80, 120, 40, 12},
};
constexpr SDialogTemplate kCramped = {999, u"Cramped",        150, 155,          u"MS Shell Dlg",
                                      8,   DialogStyle::None, 0,   kCrampedItems};

QRect Rect(const QWidget& dialog, int nId)
{
    const QWidget* pWidget = CDialogBuilder::FindControl(&dialog, nId);
    return pWidget != nullptr ? pWidget->geometry() : QRect();
}

int Right(const QRect& rect)
{
    return rect.x() + rect.width();
}

} // namespace

class CDialogBuilderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unitConversion_data()
    {
        QTest::addColumn<int>("pixelSize");
        for (const int nPixels : {11, 13, 18, 22})
            QTest::addRow("%dpx", nPixels) << nPixels;
    }

    void unitConversion()
    {
        QFETCH(int, pixelSize);
        QFont font = QApplication::font();
        font.setPixelSize(pixelSize);
        const CDialogBuilder builder(font);
        // The average of the 52 letters' advances, rounded once; the font's line height.
        const QFontMetricsF fm(font);
        qreal dSum = 0;
        for (char16_t c = u'A'; c <= u'Z'; ++c)
            dSum += fm.horizontalAdvance(QChar(c)) + fm.horizontalAdvance(QChar(c + 32));
        // Pairs kerned in the alphabet may move the whole by a fraction of a pixel.
        const int nBaseX = builder.GetBaseUnitX();
        QVERIFY2(qAbs(nBaseX - dSum / 52) <= 0.55,
                 qPrintable(QString::number(nBaseX) + u" for "_s + QString::number(dSum / 52)));
        const int nHeight = QFontMetrics(font).height();
        QCOMPARE(builder.GetBaseUnitY(), nHeight);
        const QRect rect = builder.MapDialogRect(318, 20, 50, 14);
        QCOMPARE(rect.x(), qRound(318.0 * nBaseX / 4));
        QCOMPARE(rect.y(), qRound(20.0 * nHeight / 8));
        QCOMPARE(rect.width(), qRound(50.0 * nBaseX / 4));
        QCOMPARE(rect.height(), qRound(14.0 * nHeight / 8));
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
        QVERIFY(dialog.width() >= builder.MapDialogSize(374, 222).width());
        QCOMPARE(dialog.height(), builder.MapDialogSize(374, 222).height());

        // Every control carries its id and its place on its row; a text that needs more room
        // than the template gives may move what stands to its right.
        for (const SDialogItem& item : pTemplate->items) {
            QWidget* pWidget = CDialogBuilder::FindControl(&dialog, item.nId);
            QVERIFY2(pWidget != nullptr, qPrintable(QString::number(item.nId)));
            QCOMPARE(pWidget->objectName(), u"id"_s + QString::number(item.nId));
            QCOMPARE(CDialogBuilder::GetControlId(pWidget), item.nId);
            const QPoint place = builder.MapDialogRect(item.x, item.y, 0, 0).topLeft();
            QCOMPARE(pWidget->y(), place.y());
            QVERIFY(pWidget->x() >= place.x());
            QCOMPARE(pWidget->property(CDialogBuilder::kPageProperty).toInt(), item.nPage);
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

    void textsTakeTheRoomTheyNeed_data()
    {
        QTest::addColumn<int>("pixelSize");
        for (const int nPixels : {12, 22})
            QTest::addRow("%dpx", nPixels) << nPixels;
    }

    void textsTakeTheRoomTheyNeed()
    {
        QFETCH(int, pixelSize);
        QFont font = QApplication::font();
        font.setPixelSize(pixelSize);
        QWidget dialog;
        dialog.setFont(font);
        const CDialogBuilder builder(font);
        QVERIFY(builder.Build(kCramped, &dialog));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        for (const int nId : {101, 106, 109, 112}) {
            const QWidget* pWidget = CDialogBuilder::FindControl(&dialog, nId);
            QVERIFY2(pWidget->sizeHint().width() <= pWidget->width(),
                     qPrintable(QString::number(nId)));
        }
        auto* pWrapped = qobject_cast<QLabel*>(CDialogBuilder::FindControl(&dialog, 111));
        QVERIFY(pWrapped->wordWrap());
        QVERIFY(pWrapped->heightForWidth(pWrapped->width()) <= pWrapped->height());
        QVERIFY(pWrapped->height() > builder.MapDialogSize(0, 16).height());

        // The row moves along; the edit below stays in line with the one that moved.
        const QRect label = Rect(dialog, 101);
        QVERIFY(Rect(dialog, 102).x() >= Right(label));
        QCOMPARE(Rect(dialog, 104).x(), Rect(dialog, 102).x());
        QVERIFY(Rect(dialog, 103).x() >= Right(Rect(dialog, 102)));
        QVERIFY(dialog.width() > Right(Rect(dialog, 103)));
        // The group box grows around its check box and pushes the button beside it.
        QVERIFY(Rect(dialog, 105).contains(Rect(dialog, 106)));
        QCOMPARE(Rect(dialog, 105).topLeft(), builder.MapDialogRect(7, 40, 0, 0).topLeft());
        QVERIFY(Rect(dialog, 107).x() >= Right(Rect(dialog, 105)));
        // A page's control grows inside the tab control, and never pushes another page's.
        QVERIFY(Rect(dialog, 108).contains(Rect(dialog, 109)));
        QCOMPARE(Rect(dialog, 110).topLeft(), builder.MapDialogRect(40, 91, 0, 0).topLeft());
        // The wrapped label takes the free room to its right, then grows downward, and what
        // stands below it moves down.
        QCOMPARE(Rect(dialog, 113).topLeft(), builder.MapDialogRect(80, 120, 0, 0).topLeft());
        QVERIFY(Right(pWrapped->geometry()) <= Rect(dialog, 113).x());
        QVERIFY(Right(pWrapped->geometry()) > builder.MapDialogRect(7, 0, 60, 0).right() + 1);
        QVERIFY(Rect(dialog, 112).y() >= pWrapped->y() + pWrapped->height());
        QVERIFY(dialog.height() >= Rect(dialog, 112).y() + Rect(dialog, 112).height());
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
