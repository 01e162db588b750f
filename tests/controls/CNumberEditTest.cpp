// Number edits driven keystroke by keystroke.

#include "controls/CNumberEdit.h"

#include "controls/CSpinButton.h"
#include "controls/CSuperApp.h"
#include "platform/CRegionalSettings.h"

#include <QDialog>
#include <QToolButton>
#include <QtTest>

using namespace Qt::StringLiterals;

class CNumberEditTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        CRegionalSettings::SetDecimal(u',');
        m_pDialog = new QDialog;
        m_pEdit = new CNumberEdit(m_pDialog);
        m_pEdit->setGeometry(10, 10, 120, 24);
    }
    void cleanup() { delete m_pDialog; }

    void typing_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addRow("leading zeros go") << u"007"_s << u"7"_s;
        QTest::addRow("eleventh digit refused") << u"12345678901"_s << u"1234567890"_s;
        QTest::addRow("minus anywhere") << u"12-"_s << u"-12"_s;
        QTest::addRow("plus makes positive") << u"-12+"_s << u"12"_s;
        QTest::addRow("minus zero kept while typing") << u"-07"_s << u"-7"_s;
        QTest::addRow("letters and separators refused") << u"1a,.2 b"_s << u"12"_s;
        QTest::addRow("ten digits with a sign") << u"-1234567890"_s << u"-1234567890"_s;
    }
    void typing()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QTest::keyClicks(m_pEdit, typed);
        QCOMPARE(m_pEdit->text(), shown);
    }

    void caretStaysAfterTypedDigit()
    {
        QTest::keyClicks(m_pEdit, u"123"_s);
        m_pEdit->setCursorPosition(1);
        QTest::keyClicks(m_pEdit, u"0"_s);
        QCOMPARE(m_pEdit->text(), u"1023"_s);
        QCOMPARE(m_pEdit->cursorPosition(), 2);
    }

    void minusRefusedWhenRangeIsPositive()
    {
        m_pEdit->SetRange(0, 100);
        QTest::keyClicks(m_pEdit, u"-5"_s);
        QCOMPARE(m_pEdit->text(), u"5"_s);
    }

    void validityAndValues()
    {
        double dValue = -1;
        QVERIFY(m_pEdit->IsValueValid());
        QVERIFY(!m_pEdit->GetNumber(dValue));

        QTest::keyClicks(m_pEdit, u"-"_s);
        QCOMPARE(m_pEdit->text(), u"-"_s);
        QVERIFY(!m_pEdit->IsValueValid());
        QVERIFY(!m_pEdit->GetNumber(dValue));

        QTest::keyClicks(m_pEdit, u"42"_s);
        QVERIFY(m_pEdit->GetNumber(dValue));
        QCOMPARE(dValue, -42.0);
        QString strValue;
        QVERIFY(m_pEdit->GetValueText(strValue));
        QCOMPARE(strValue, u"-42"_s);

        m_pEdit->setText(u"9999999999"_s);
        QVERIFY(!m_pEdit->IsValueValid());
        QVERIFY(!m_pEdit->GetValueText(strValue));
    }

    void setNumber_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("integerMode");
        QTest::addColumn<QString>("shown");
        QTest::addRow("integer cut") << 12.7 << true << u"12"_s;
        QTest::addRow("rounded at the decimals") << 2.999 << true << u"3"_s;
        QTest::addRow("negative") << -5.0 << true << u"-5"_s;
        QTest::addRow("decimals with separator") << 1.5 << false << u"1,50"_s;
    }
    void setNumber()
    {
        QFETCH(double, value);
        QFETCH(bool, integerMode);
        QFETCH(QString, shown);
        m_pEdit->SetIntegerMode(integerMode);
        m_pEdit->SetNumber(value);
        QCOMPARE(m_pEdit->text(), shown);
    }

    void steppingWrapsAround()
    {
        m_pEdit->Step(true);
        QCOMPARE(m_pEdit->text(), u"1"_s);
        m_pEdit->SetNumber(2147483647);
        QTest::keyClick(m_pEdit, Qt::Key_Up);
        QCOMPARE(m_pEdit->text(), u"-2147483648"_s);
        QTest::keyClick(m_pEdit, Qt::Key_Down);
        QCOMPARE(m_pEdit->text(), u"2147483647"_s);
        // A value outside the range steps from itself, and a result still above the
        // maximum wraps to the minimum.
        m_pEdit->setText(u"-3000000000"_s);
        m_pEdit->Step(false);
        QCOMPARE(m_pEdit->text(), u"2147483647"_s);
        m_pEdit->setText(u"9999999999"_s);
        m_pEdit->Step(false);
        QCOMPARE(m_pEdit->text(), u"-2147483648"_s);
    }

    void steppingWithoutWrapBeeps()
    {
        m_pEdit->SetWrapAround(false);
        m_pEdit->SetNumber(2147483647);
        const int nBeeps = CSuperApp::GetBeepCountForTesting();
        m_pEdit->Step(true);
        QCOMPARE(m_pEdit->text(), u"2147483647"_s);
        QCOMPARE(CSuperApp::GetBeepCountForTesting(), nBeeps + 1);
    }

    void spinButtonSteps()
    {
        m_pDialog->show();
        CSpinButton* pSpin = m_pEdit->GetSpinButton();
        QVERIFY(pSpin != nullptr);
        QVERIFY(pSpin->isVisible());
        QVERIFY(pSpin->geometry().right() <= m_pEdit->width());
        QTest::mouseClick(pSpin->GetUpButton(), Qt::LeftButton);
        QTest::mouseClick(pSpin->GetUpButton(), Qt::LeftButton);
        QCOMPARE(m_pEdit->text(), u"2"_s);
        QTest::mouseClick(pSpin->GetDownButton(), Qt::LeftButton);
        QCOMPARE(m_pEdit->text(), u"1"_s);
        // The spin button follows the edit's enabled state.
        m_pEdit->setEnabled(false);
        QVERIFY(!pSpin->isEnabled());
    }

    void functionKeysAndReadOnly()
    {
        QTest::keyClicks(m_pEdit, u"15"_s);
        QTest::keyClick(m_pEdit, Qt::Key_F2);
        QCOMPARE(m_pEdit->text(), QString());

        m_pEdit->SetNumber(7);
        m_pEdit->setReadOnly(true);
        QTest::keyClicks(m_pEdit, u"3"_s);
        QTest::keyClick(m_pEdit, Qt::Key_Up);
        QTest::keyClick(m_pEdit, Qt::Key_F2);
        QCOMPARE(m_pEdit->text(), u"7"_s);

        m_pEdit->setReadOnly(false);
        m_pEdit->SetShowSpinButton(false);
        QTest::keyClick(m_pEdit, Qt::Key_Up);
        QCOMPARE(m_pEdit->text(), u"7"_s);
    }

    void regionalChangeRewritesValue()
    {
        m_pEdit->SetIntegerMode(false);
        m_pEdit->SetNumber(1.5);
        QCOMPARE(m_pEdit->text(), u"1,50"_s);
        CRegionalSettings::SetDecimal(u'.');
        QCOMPARE(m_pEdit->text(), u"1.50"_s);
        double dValue = 0;
        QVERIFY(m_pEdit->GetNumber(dValue));
        QCOMPARE(dValue, 1.5);

        m_pEdit->setText(u"-"_s);
        CRegionalSettings::SetDecimal(u',');
        QCOMPARE(m_pEdit->text(), QString());
    }

private:
    QDialog* m_pDialog = nullptr;
    CNumberEdit* m_pEdit = nullptr;
};

QTEST_MAIN(CNumberEditTest)
#include "CNumberEditTest.moc"
