// The combo box as a collection control: sorted insertion, item data, selection.

#include "controls/CComboBoxCtrl.h"

#include "controls/CCommandTarget.h"
#include "controls/CMessageEvent.h"

#include <QTest>
#include <cstdlib>

namespace {

// Counts the CLN_SELCHANGE messages it receives.
class CSelChangeDialog : public QWidget
{
public:
    int m_nSelChanges = 0;

protected:
    bool event(QEvent* pEvent) override
    {
        if (pEvent->type() == CLN_SELCHANGE) {
            ++m_nSelChanges;
            return true;
        }
        return QWidget::event(pEvent);
    }
};

} // namespace

class CComboBoxCtrlTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sortedInsertionPlacesEntries()
    {
        CComboBoxCtrl combo;
        combo.SetSorted(true);
        // The plain call first (item data empty: all types), then the types with codes.
        combo.addItem(QString());
        const std::pair<const char*, int> types[] = {
            {"View", 4}, {"Rule", 128}, {"Default", 64}, {"rule", 1}, {"Stored Procedure", 16}};
        for (const auto& [pszText, nCode] : types)
            QVERIFY(combo.AddItem(QString::fromUtf8(pszText), nCode) >= 0);

        QStringList texts;
        for (int i = 0; i < combo.CountItems(); ++i)
            texts.append(combo.itemText(i));
        const QStringList expected = {QString(),
                                      QStringLiteral("Default"),
                                      QStringLiteral("Rule"),
                                      QStringLiteral("rule"),
                                      QStringLiteral("Stored Procedure"),
                                      QStringLiteral("View")};
        QCOMPARE(texts, expected);

        CItemData data;
        QVERIFY(combo.GetItemValue(0, data));
        QVERIFY(!data.has_value());
        QVERIFY(combo.GetItemValue(3, data));
        QCOMPARE(std::any_cast<int>(data), 1);
        CItemData untouched = 5;
        QVERIFY(!combo.GetItemValue(6, untouched));
        QCOMPARE(std::any_cast<int>(untouched), 5);
    }

    void unsortedAppends()
    {
        CComboBoxCtrl combo;
        QCOMPARE(combo.AddItem(QStringLiteral("b")), 0);
        QCOMPARE(combo.AddItem(QStringLiteral("a")), 1);
        QCOMPARE(combo.InsertItemLine(0, QStringLiteral("c\tignored")), 0);
        QCOMPARE(combo.itemText(0), QStringLiteral("c"));
        QCOMPARE(combo.RemoveItem(1), 2);
        QCOMPARE(combo.RemoveItem(7), -1);
    }

    void selectionIsTheCurrentEntry()
    {
        CSelChangeDialog dialog;
        auto* pCombo = new CComboBoxCtrl(&dialog);
        pCombo->AddItem(QStringLiteral("one"));
        pCombo->AddItem(QStringLiteral("two"));
        const int nBefore = dialog.m_nSelChanges;
        QCOMPARE(pCombo->SelectItem(1), 1);
        QCOMPARE(pCombo->GetCurrentItem(), 1);
        QCOMPARE(dialog.m_nSelChanges, nBefore + 1);
        QCOMPARE(pCombo->CountSelectedItems(), 1);
        QCOMPARE(pCombo->FindAndSelectItem(QStringLiteral("ON")), 0);
        QCOMPARE(SendMessage(pCombo, WM_ISMSGENABLED, WM_COPY), 1);
        QString strLine;
        QVERIFY(pCombo->GetItemLine(0, strLine));
        QCOMPARE(strLine, QStringLiteral("one"));
    }
};

QTEST_MAIN(CComboBoxCtrlTest)
#include "CComboBoxCtrlTest.moc"
