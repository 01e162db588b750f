// The result list's columns as the user leaves them: widths and order dragged in the header
// come back at the next start from the settings ("Settings"/"ResultColumns"); a value that
// does not fit the columns is passed over.

#include "catalog/CObjectModel.h"
#include "controls/CDragGridBox.h"
#include "findwnd/CQuarrowDlg.h"
#include "platform/CProfile.h"
#include "res/Resource.h"
#include "tests/support/CMemoryLibrary.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr std::u16string_view kSection = u"Settings";
constexpr std::u16string_view kEntry = u"ResultColumns";

void FailOnUnexpectedWarnings()
{
    QTest::failOnWarning(QRegularExpression(u"^(?!This plugin does not support).*"_s));
}

// Drags in the header with the left button held, in steps, as a hand does.
void Drag(QHeaderView* pHeader, QPoint from, QPoint to)
{
    QWidget* pViewport = pHeader->viewport();
    QTest::mousePress(pViewport, Qt::LeftButton, {}, from);
    constexpr int kSteps = 8;
    for (int i = 1; i <= kSteps; ++i) {
        const QPointF point = from + (to - from) * i / kSteps;
        QMouseEvent move(QEvent::MouseMove, point, pViewport->mapToGlobal(point), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(pViewport, &move);
    }
    QTest::mouseRelease(pViewport, Qt::LeftButton, {}, to);
}

// The layout without the last column's width, which follows the list's width.
QString FixedPart(const QString& strLayout)
{
    QString strFixed = strLayout;
    const qsizetype nColon = strFixed.lastIndexOf(u':');
    return nColon < 0 ? strFixed : strFixed.left(nColon);
}

} // namespace

class CResultColumnsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_pFolder;
    std::unique_ptr<CProfile> m_pProfile;

    std::unique_ptr<CQuarrowDlg> Open()
    {
        auto pDlg = std::make_unique<CQuarrowDlg>(*m_pProfile);
        pDlg->SetNewRegistrationHandler([] {});
        pDlg->show();
        if (!QTest::qWaitForWindowExposed(pDlg.get()))
            qFatal("the find window was not shown");
        // Find Now opens the list (nothing is ticked: it finds nothing).
        QWidget* pFindNow = pDlg->GetControl(IDC_FIND_NOW);
        QTest::mouseClick(pFindNow, Qt::LeftButton, {}, pFindNow->rect().center());
        if (!QTest::qWaitFor([&] { return !pDlg->IsCollapsed() && !pDlg->IsWorkerRecorded(); }))
            qFatal("the result list did not open");
        return pDlg;
    }

    QString Stored() const
    {
        return QString::fromStdU16String(m_pProfile->GetProfileString(kSection, kEntry));
    }

private Q_SLOTS:
    void init()
    {
        FailOnUnexpectedWarnings();
        m_pFolder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_pFolder->isValid());
        m_pProfile = std::make_unique<CProfile>(u"Quarrow", m_pFolder->path().toStdString());
        auto pCatalog = std::make_shared<CMemoryCatalog>();
        CObjectModel::SetLibraries(std::make_shared<CMemoryLibrary>(EFlavour::Modern, pCatalog),
                                   std::make_shared<CMemoryLibrary>(EFlavour::Legacy, pCatalog));
    }

    void cleanup()
    {
        CObjectModel::SetLibraries(nullptr, nullptr);
        m_pProfile.reset();
        m_pFolder.reset();
    }

    void untouchedColumnsAreNotStored()
    {
        QString strFirstRun;
        {
            auto pDlg = Open();
            strFirstRun = pDlg->GetResultList()->GetColumnLayout();
            QCOMPARE(FixedPart(strFirstRun).count(u':'), 4);
            QVERIFY(strFirstRun.startsWith(u"0:"_s));
            // A wider window widens only the last column.
            pDlg->resize(pDlg->width() + 120, pDlg->height());
            QTRY_COMPARE(FixedPart(pDlg->GetResultList()->GetColumnLayout()),
                         FixedPart(strFirstRun));
        }
        QCOMPARE(Stored(), QString());
        auto pDlg = Open();
        QCOMPARE(pDlg->GetResultList()->GetColumnLayout(), strFirstRun);
    }

    void draggedColumnsComeBack()
    {
        QString strLeft;
        int nWidth = 0;
        {
            auto pDlg = Open();
            QHeaderView* pHeader = pDlg->GetResultList()->header();
            QVERIFY(pHeader->sectionsMovable());
            // Database one a half wider, by its right edge.
            nWidth = pHeader->sectionSize(1);
            const int nEdge = pHeader->sectionViewportPosition(1) + nWidth - 1;
            const int y = pHeader->height() / 2;
            Drag(pHeader, QPoint(nEdge, y), QPoint(nEdge + nWidth / 2, y));
            QCOMPARE(pHeader->sectionSize(1), nWidth + nWidth / 2);
            nWidth = pHeader->sectionSize(1);
            // Object dragged by its title onto Server's place.
            const int nObject = pHeader->sectionViewportPosition(3) + pHeader->sectionSize(3) / 2;
            Drag(pHeader, QPoint(nObject, y), QPoint(4, y));
            QCOMPARE(pHeader->visualIndex(3), 0);
            QCOMPARE(pHeader->logicalIndex(1), 0);
            strLeft = pDlg->GetResultList()->GetColumnLayout();
        }
        QCOMPARE(Stored(), strLeft);
        QVERIFY(strLeft.startsWith(u"3:"_s));

        auto pDlg = Open();
        const QHeaderView* pHeader = pDlg->GetResultList()->header();
        QCOMPARE(FixedPart(pDlg->GetResultList()->GetColumnLayout()), FixedPart(strLeft));
        QCOMPARE(pHeader->visualIndex(3), 0);
        QCOMPARE(pHeader->sectionSize(1), nWidth);
        // The last column still takes the rest of the list.
        QCOMPARE(pHeader->sectionViewportPosition(pHeader->logicalIndex(4)) +
                     pHeader->sectionSize(pHeader->logicalIndex(4)),
                 pDlg->GetResultList()->viewport()->width());
    }

    void unfitValuesArePassedOver_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("words") << u"wide columns please"_s;
        QTest::newRow("too few") << u"0:80 1:80 2:80 3:80"_s;
        QTest::newRow("too many") << u"0:80 1:80 2:80 3:80 4:80 5:80"_s;
        QTest::newRow("twice") << u"0:80 1:80 1:80 3:80 4:80"_s;
        QTest::newRow("no such column") << u"0:80 1:80 2:80 3:80 7:80"_s;
        QTest::newRow("negative width") << u"0:80 1:-80 2:80 3:80 4:80"_s;
        QTest::newRow("no width") << u"0:80 1: 2:80 3:80 4:80"_s;
        QTest::newRow("huge width") << u"0:80 1:99999999999 2:80 3:80 4:80"_s;
        QTest::newRow("extra field") << u"0:80:1 1:80 2:80 3:80 4:80"_s;
    }

    void unfitValuesArePassedOver()
    {
        QFETCH(QString, value);
        QString strFirstRun;
        {
            auto pDlg = Open();
            strFirstRun = pDlg->GetResultList()->GetColumnLayout();
        }
        QVERIFY(m_pProfile->WriteProfileString(kSection, kEntry, value.toStdU16String()));
        {
            auto pDlg = Open();
            QCOMPARE(pDlg->GetResultList()->GetColumnLayout(), strFirstRun);
            QVERIFY(!pDlg->GetResultList()->SetColumnLayout(value));
        }
        // Left as it was: nothing the user did replaced it.
        QCOMPARE(Stored(), value);
    }
};

QTEST_MAIN(CResultColumnsTest)
#include "CResultColumnsTest.moc"
