// Date edits driven keystroke by keystroke, and the focus-loss validation of two edits.

#include "controls/CDateEdit.h"

#include "controls/CMessageEvent.h"
#include "controls/CNumberEdit.h"
#include "controls/CSuperApp.h"
#include "platform/CRegionalSettings.h"
#include "res/CDialogBuilder.h"
#include "res/Resource.h"

#include <QDialog>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {
// 2014-03-05 12:00 UTC.
constexpr std::int64_t kFixedNow = 1394020800;
} // namespace

class CDateEditTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        CRegionalSettings::SetShortDate(u"dd/MM/yyyy");
        CRegionalSettings::SetDecimal(u',');
        CDate::SetClockForTesting(kFixedNow);
        m_pDialog = new QDialog;
        m_pEdit = new CDateEdit(m_pDialog);
        m_pEdit->setGeometry(10, 10, 120, 24);
    }
    void cleanup()
    {
        delete m_pDialog;
        CDate::SetClockForTesting(-1);
    }

    void emptyShowsMask()
    {
        QCOMPARE(m_pEdit->text(), u"__/__/____"_s);
        QCOMPARE(m_pEdit->GetValueText(), u"//"_s);
        QVERIFY(m_pEdit->IsValueValid());
        CDate date;
        QVERIFY(!m_pEdit->GetDate(date));
    }

    void typingFillsTheMask()
    {
        QTest::keyClicks(m_pEdit, u"05032014"_s);
        QCOMPARE(m_pEdit->text(), u"05/03/2014"_s);
        CDate date;
        QVERIFY(m_pEdit->GetDate(date));
        QCOMPARE(date, CDate(2014, 3, 5));
        // No digit position left: refused with the error beep.
        const int nBeeps = CSuperApp::GetBeepCountForTesting();
        QTest::keyClicks(m_pEdit, u"9"_s);
        QCOMPARE(m_pEdit->text(), u"05/03/2014"_s);
        QCOMPARE(CSuperApp::GetBeepCountForTesting(), nBeeps + 1);
    }

    void separatorJumpsAndOtherCharactersBeep()
    {
        const int nBeeps = CSuperApp::GetBeepCountForTesting();
        QTest::keyClicks(m_pEdit, u"5/3/14"_s);
        QCOMPARE(m_pEdit->text(), u"5_/3_/14__"_s);
        QCOMPARE(m_pEdit->GetValueText(), u"5/3/14"_s);
        QTest::keyClicks(m_pEdit, u"x-"_s);
        QCOMPARE(CSuperApp::GetBeepCountForTesting(), nBeeps + 2);
        CDate date;
        QVERIFY(m_pEdit->GetDate(date));
        QCOMPARE(date, CDate(2014, 3, 5));
    }

    // Dates typed as users type them: a full field followed by its separator confirms the
    // field, a short field's separator jumps to the next one.
    void typingWithSeparators_data()
    {
        QTest::addColumn<QString>("shortDate");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("date"); // yyyymmdd
        const QString strDmy = u"dd/MM/yyyy"_s;
        const QString strMdy = u"M/d/yyyy"_s;
        const QString strYmd = u"yyyy-MM-dd"_s;
        QTest::addRow("dmy full fields")
            << strDmy << u"05/03/2014"_s << u"05/03/2014"_s << 20140305;
        QTest::addRow("dmy short fields") << strDmy << u"5/3/2014"_s << u"5_/3_/2014"_s << 20140305;
        QTest::addRow("dmy full day, short month")
            << strDmy << u"05/3/2014"_s << u"05/3_/2014"_s << 20140305;
        QTest::addRow("dmy short day, full month")
            << strDmy << u"5/03/2014"_s << u"5_/03/2014"_s << 20140305;
        QTest::addRow("dmy digits only") << strDmy << u"05032014"_s << u"05/03/2014"_s << 20140305;
        QTest::addRow("mdy full fields")
            << strMdy << u"12/05/2014"_s << u"12/05/2014"_s << 20141205;
        QTest::addRow("mdy short fields") << strMdy << u"3/5/2014"_s << u"3_/5_/2014"_s << 20140305;
        QTest::addRow("mdy full month, short day")
            << strMdy << u"12/5/2014"_s << u"12/5_/2014"_s << 20141205;
        QTest::addRow("mdy digits only") << strMdy << u"12052014"_s << u"12/05/2014"_s << 20141205;
        QTest::addRow("ymd full fields")
            << strYmd << u"2014-03-05"_s << u"2014-03-05"_s << 20140305;
        QTest::addRow("ymd short fields") << strYmd << u"2014-3-5"_s << u"2014-3_-5_"_s << 20140305;
        QTest::addRow("ymd full month, short day")
            << strYmd << u"2014-12-5"_s << u"2014-12-5_"_s << 20141205;
        QTest::addRow("ymd digits only") << strYmd << u"20140305"_s << u"2014-03-05"_s << 20140305;
    }
    void typingWithSeparators()
    {
        QFETCH(QString, shortDate);
        QFETCH(QString, keys);
        QFETCH(QString, text);
        QFETCH(int, date);
        CRegionalSettings::SetShortDate(shortDate.toStdU16String());
        QCOMPARE(m_pEdit->GetValueText().count(u'_'), 0);
        const int nBeeps = CSuperApp::GetBeepCountForTesting();
        QTest::keyClicks(m_pEdit, keys);
        QCOMPARE(m_pEdit->text(), text);
        QCOMPARE(CSuperApp::GetBeepCountForTesting(), nBeeps);
        CDate typed;
        QVERIFY(m_pEdit->GetDate(typed));
        QCOMPARE(typed, CDate(date / 10000, date / 100 % 100, date % 100));
    }

    // The confirming separator belongs to the keystroke right after the field: once the caret
    // has moved, a separator jumps again.
    void separatorAfterMovingTheCaretJumps()
    {
        QTest::keyClicks(m_pEdit, u"05"_s);
        QTest::keyClick(m_pEdit, Qt::Key_Left);
        QTest::keyClick(m_pEdit, Qt::Key_Right);
        QTest::keyClicks(m_pEdit, u"/2014"_s);
        QCOMPARE(m_pEdit->text(), u"05/__/2014"_s);
        // A second separator right after a confirming one jumps on.
        m_pEdit->Clear();
        QTest::keyClicks(m_pEdit, u"05//2014"_s);
        QCOMPARE(m_pEdit->text(), u"05/__/2014"_s);
    }

    void backspaceUnfillsDigits()
    {
        QTest::keyClicks(m_pEdit, u"05032014"_s);
        QTest::keyClick(m_pEdit, Qt::Key_Backspace);
        QCOMPARE(m_pEdit->text(), u"05/03/201_"_s);
        m_pEdit->setCursorPosition(3);
        QTest::keyClick(m_pEdit, Qt::Key_Backspace);
        QCOMPARE(m_pEdit->text(), u"0_/03/201_"_s);
        QVERIFY(!m_pEdit->IsValueValid());
        QTest::keyClick(m_pEdit, Qt::Key_F2);
        QCOMPARE(m_pEdit->text(), u"__/__/____"_s);
    }

    void stepping_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("caret");
        QTest::addColumn<bool>("up");
        QTest::addColumn<QString>("result");
        QTest::addRow("day past the latest") << u"31/12/2099"_s << 0 << true << u"01/01/1850"_s;
        QTest::addRow("day before the earliest")
            << u"01/01/1850"_s << 1 << false << u"31/12/2099"_s;
        QTest::addRow("month carries the day") << u"31/01/2014"_s << 3 << true << u"03/03/2014"_s;
        QTest::addRow("month into the next year")
            << u"15/12/2014"_s << 5 << true << u"15/01/2015"_s;
        QTest::addRow("year wraps up") << u"10/06/2099"_s << 8 << true << u"10/06/1850"_s;
        QTest::addRow("year wraps down") << u"10/06/1850"_s << 10 << false << u"10/06/2099"_s;
        QTest::addRow("leap day a year on") << u"29/02/2012"_s << 6 << true << u"01/03/2013"_s;
        QTest::addRow("empty shows today") << u"__/__/____"_s << 0 << true << u"05/03/2014"_s;
    }
    void stepping()
    {
        QFETCH(QString, start);
        QFETCH(int, caret);
        QFETCH(bool, up);
        QFETCH(QString, result);
        m_pEdit->setText(start);
        m_pEdit->setCursorPosition(caret);
        QTest::keyClick(m_pEdit, up ? Qt::Key_Up : Qt::Key_Down);
        QCOMPARE(m_pEdit->text(), result);
        QCOMPARE(m_pEdit->cursorPosition(), caret);
    }

    void todayAndSetDate()
    {
        QTest::keyClick(m_pEdit, Qt::Key_F3);
        QCOMPARE(m_pEdit->text(), u"05/03/2014"_s);
        m_pEdit->SetDate(CDate(2001, 12, 24));
        QCOMPARE(m_pEdit->text(), u"24/12/2001"_s);
        m_pEdit->SetDate(CDate());
        QCOMPARE(m_pEdit->text(), u"__/__/____"_s);
    }

    void outOfRangeIsInvalid()
    {
        // A day the month lacks carries over; a day no month has does not.
        QTest::keyClicks(m_pEdit, u"31022014"_s);
        QVERIFY(m_pEdit->IsValueValid());
        m_pEdit->setText(u"32/01/2014"_s);
        QVERIFY(!m_pEdit->IsValueValid());
        m_pEdit->setText(u"01/01/1849"_s);
        QVERIFY(!m_pEdit->IsValueValid());
        CDate date;
        QVERIFY(!m_pEdit->GetDate(date));
    }

    void followsTheRegionalPattern()
    {
        m_pEdit->SetDate(CDate(2014, 3, 5));
        CRegionalSettings::SetShortDate(u"d.M.yy");
        QCOMPARE(m_pEdit->GetPattern(), u"DD.MM.YYYY"_s);
        QCOMPARE(m_pEdit->GetMask(), u"99.99.9999"_s);
        QCOMPARE(m_pEdit->text(), u"05.03.2014"_s);
        CRegionalSettings::SetShortDate(u"yyyy-MM-dd");
        QCOMPARE(m_pEdit->text(), u"2014-03-05"_s);
        QTest::keyClick(m_pEdit, Qt::Key_F2);
        QTest::keyClicks(m_pEdit, u"20001231"_s);
        CDate date;
        QVERIFY(m_pEdit->GetDate(date));
        QCOMPARE(date, CDate(2000, 12, 31));
    }

    void readOnlyIgnoresKeys()
    {
        m_pEdit->SetDate(CDate(2014, 3, 5));
        m_pEdit->setReadOnly(true);
        m_pEdit->setCursorPosition(0);
        QTest::keyClicks(m_pEdit, u"1"_s);
        QTest::keyClick(m_pEdit, Qt::Key_Up);
        QTest::keyClick(m_pEdit, Qt::Key_F3);
        QCOMPARE(m_pEdit->text(), u"05/03/2014"_s);
        SendMessage(m_pEdit, WM_SPINUP);
        QCOMPARE(m_pEdit->text(), u"05/03/2014"_s);
    }

    // Focus-loss validation, on a window with real focus.
    void twoInvalidEditsDoNotFight()
    {
        auto* pOther = new CNumberEdit(m_pDialog);
        CDialogBuilder::SetControlId(m_pEdit, IDC_DATE_FROM);
        CDialogBuilder::SetControlId(pOther, IDC_SIZE);
        pOther->setGeometry(10, 40, 120, 24);
        ShowActive();

        m_pEdit->setFocus();
        QTRY_VERIFY(m_pEdit->hasFocus());
        QTest::keyClicks(m_pEdit, u"32012014"_s);
        pOther->setText(u"-"_s);

        // The other edit answers that it is invalid too, with its id.
        int nInvalidId = 0;
        QCOMPARE(SendMessage(pOther, WM_VALIDVALUE, 0, reinterpret_cast<qintptr>(&nInvalidId)),
                 qintptr(0));
        QCOMPARE(nInvalidId, IDC_SIZE);

        pOther->setFocus();
        QTRY_VERIFY(pOther->hasFocus());
        QCOMPARE(m_pEdit->text(), u"__/__/____"_s);
        QTest::qWait(20);
        QVERIFY(pOther->hasFocus());
        QCOMPARE(pOther->text(), u"-"_s);
    }

    void invalidEditTakesTheFocusBack()
    {
        auto* pOther = new CNumberEdit(m_pDialog);
        pOther->setGeometry(10, 40, 120, 24);
        ShowActive();
        m_pEdit->setFocus();
        QTRY_VERIFY(m_pEdit->hasFocus());
        QTest::keyClicks(m_pEdit, u"32012014"_s);
        const int nBeeps = CSuperApp::GetBeepCountForTesting();

        pOther->setFocus();
        QTRY_VERIFY(m_pEdit->hasFocus());
        QCOMPARE(m_pEdit->text(), u"32/01/2014"_s);
        QCOMPARE(CSuperApp::GetBeepCountForTesting(), nBeeps + 1);
    }

    void cancelEmptiesAnInvalidEdit()
    {
        auto* pCancel = new QPushButton(u"Cancel"_s, m_pDialog);
        CDialogBuilder::SetControlId(pCancel, IDCANCEL);
        pCancel->setGeometry(10, 70, 80, 24);
        ShowActive();
        m_pEdit->setFocus();
        QTRY_VERIFY(m_pEdit->hasFocus());
        QTest::keyClicks(m_pEdit, u"99"_s);
        pCancel->setFocus();
        QTRY_VERIFY(pCancel->hasFocus());
        QCOMPARE(m_pEdit->text(), u"__/__/____"_s);
        QTest::qWait(20);
        QVERIFY(pCancel->hasFocus());
    }

    void shortFormRewrittenOnFocusLoss()
    {
        auto* pOther = new CNumberEdit(m_pDialog);
        pOther->setGeometry(10, 40, 120, 24);
        ShowActive();
        m_pEdit->setFocus();
        QTRY_VERIFY(m_pEdit->hasFocus());
        QTest::keyClicks(m_pEdit, u"5/3/14"_s);
        pOther->setFocus();
        QTRY_VERIFY(pOther->hasFocus());
        QCOMPARE(m_pEdit->text(), u"05/03/2014"_s);
    }

private:
    void ShowActive()
    {
        m_pDialog->resize(200, 120);
        m_pDialog->show();
        m_pDialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_pDialog));
    }

    QDialog* m_pDialog = nullptr;
    CDateEdit* m_pEdit = nullptr;
};

QTEST_MAIN(CDateEditTest)
#include "CDateEditTest.moc"
