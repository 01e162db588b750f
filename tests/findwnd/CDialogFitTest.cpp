// Every dialog at the fonts Linux desktops ship by default: no control's text is cut and no
// two controls overlap. Walks every template of the table and every dialog built in code;
// screenshots of each dialog at two fonts land in the build folder for a person to look at.

#include "catalog/CObjectModel.h"
#include "controls/CSuperApp.h"
#include "findwnd/CAboutDlg.h"
#include "findwnd/CClosingDlg.h"
#include "findwnd/CDMODlg.h"
#include "findwnd/CExportFileDlg.h"
#include "findwnd/CModelessNotifyDlg.h"
#include "findwnd/CNewSQLServerRegistrationDlg.h"
#include "findwnd/CQuarrowDlg.h"
#include "findwnd/CSelectActiveSQLServerDlg.h"
#include "platform/CProfile.h"
#include "res/CDialogBuilder.h"
#include "res/DialogTemplate.h"
#include "res/Resource.h"
#include "tests/support/CMemoryLibrary.h"
#include "tests/support/CPopupDriver.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using PopupDriver::WhenModal;

namespace {

void FailOnUnexpectedWarnings()
{
    QTest::failOnWarning(QRegularExpression(u"^(?!This plugin does not support).*"_s));
}

// The fonts of the common desktops' defaults, and two pixel sizes that stand for them at
// twice the scale.
struct SFontCase
{
    const char* pszTag;
    const char16_t* pszFamily;
    int nPointSize; // 0: nPixelSize is used
    int nPixelSize;
    bool bScreenshots;
};
constexpr SFontCase kFonts[] = {
    {"DejaVuSans-9pt", u"DejaVu Sans", 9, 0, false},
    {"DejaVuSans-10pt", u"DejaVu Sans", 10, 0, true},
    {"DejaVuSans-11pt", u"DejaVu Sans", 11, 0, false},
    {"NotoSans-10pt", u"Noto Sans", 10, 0, false},
    {"Cantarell-11pt", u"Cantarell", 11, 0, true},
    {"DejaVuSans-18px", u"DejaVu Sans", 0, 18, false},
    {"DejaVuSans-22px", u"DejaVu Sans", 0, 22, false},
};

QString Describe(const QFont& font)
{
    return font.pixelSize() > 0
               ? font.family() + u' ' + QString::number(font.pixelSize()) + u"px"_s
               : font.family() + u' ' + QString::number(font.pointSize()) + u"pt"_s;
}

QString SizeText(QSize size)
{
    return QString::number(size.width()) + u'x' + QString::number(size.height());
}

QString ControlName(const QWidget* pWidget)
{
    const int nId = CDialogBuilder::GetControlId(pWidget);
    if (nId != 0)
        return u"id "_s + QString::number(nId);
    return pWidget->objectName().isEmpty() ? QString::fromLatin1(pWidget->metaObject()->className())
                                           : pWidget->objectName();
}

// The widths of a push button's frame and margins around its text, as Qt's styles count them
// for the button's size hint (without the styles' preferred least width, which is no cut).
int ButtonChrome(const QPushButton* pButton)
{
    const QStyle* pStyle = pButton->style();
    int nChrome = pStyle->pixelMetric(QStyle::PM_ButtonMargin, nullptr, pButton) +
                  2 * pStyle->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, pButton);
    if (pButton->isDefault() || pButton->autoDefault())
        nChrome += 2 * pStyle->pixelMetric(QStyle::PM_ButtonDefaultIndicator, nullptr, pButton);
    return nChrome;
}

// The width a combo box leaves for the text of its entries.
int ComboTextWidth(const QComboBox* pCombo)
{
    QStyleOptionComboBox opt;
    opt.initFrom(pCombo);
    opt.editable = pCombo->isEditable();
    opt.frame = pCombo->hasFrame();
    const QRect field = pCombo->style()->subControlRect(QStyle::CC_ComboBox, &opt,
                                                        QStyle::SC_ComboBoxEditField, pCombo);
    // The edit field's own margin on either side.
    return field.width() - 4;
}

// One line per text below pRoot that needs more room than its widget has.
void CheckTexts(const QWidget* pRoot, const QString& strDialog, QStringList& failures)
{
    const QString strFont = Describe(pRoot->font());
    QList<const QWidget*> widgets;
    widgets.append(pRoot);
    const QList<QWidget*> children = pRoot->findChildren<QWidget*>();
    for (const QWidget* pWidget : children)
        widgets.append(pWidget);
    for (const QWidget* pWidget : widgets) {
        if (pWidget != pRoot && !pWidget->isVisibleTo(pRoot))
            continue;
        QString strText;
        QSize need;
        const QSize have = pWidget->size();
        bool bHeight = false;
        if (const auto* pLabel = qobject_cast<const QLabel*>(pWidget)) {
            strText = pLabel->text();
            if (pLabel->wordWrap()) {
                need = QSize(have.width(), pLabel->heightForWidth(have.width()));
                bHeight = true;
            } else {
                need = pLabel->sizeHint();
            }
        } else if (const auto* pButton = qobject_cast<const QPushButton*>(pWidget)) {
            strText = pButton->text();
            need = QSize(pButton->fontMetrics().horizontalAdvance(QString(strText).remove(u'&')) +
                             ButtonChrome(pButton),
                         have.height());
        } else if (qobject_cast<const QCheckBox*>(pWidget) != nullptr ||
                   qobject_cast<const QRadioButton*>(pWidget) != nullptr) {
            strText = static_cast<const QAbstractButton*>(pWidget)->text();
            need = pWidget->sizeHint();
        } else if (const auto* pGroup = qobject_cast<const QGroupBox*>(pWidget)) {
            strText = pGroup->title();
            need = pGroup->minimumSizeHint();
        } else if (const auto* pCombo = qobject_cast<const QComboBox*>(pWidget)) {
            // Each entry must show whole in the closed box.
            const int nRoom = ComboTextWidth(pCombo);
            for (int i = 0; i < pCombo->count(); ++i) {
                const int nWidth = pCombo->fontMetrics().horizontalAdvance(pCombo->itemText(i));
                if (nWidth > nRoom) {
                    failures.append(strDialog + u": "_s + ControlName(pWidget) + u" entry \""_s +
                                    pCombo->itemText(i) + u"\" at "_s + strFont + u" needs "_s +
                                    QString::number(nWidth) + u" px of text room, has "_s +
                                    QString::number(nRoom));
                }
            }
            continue;
        } else if (const auto* pTab = qobject_cast<const QTabWidget*>(pWidget)) {
            strText = pTab->tabText(0);
            need = QSize(pTab->tabBar()->sizeHint().width(), have.height());
        }
        if (strText.isEmpty())
            continue;
        const bool bCut = need.width() > have.width() || (bHeight && need.height() > have.height());
        if (bCut) {
            failures.append(strDialog + u": "_s + ControlName(pWidget) + u" \""_s + strText +
                            u"\" at "_s + strFont + u" needs "_s + SizeText(need) + u", has "_s +
                            SizeText(have));
        }
    }
}

// One line per pair of visible sibling controls that overlap, and per control that reaches
// out of its parent. A frame (group box, tab control) may hold other controls whole.
void CheckOverlaps(const QWidget* pParent, const QString& strDialog, QStringList& failures)
{
    QList<const QWidget*> controls;
    const QList<QWidget*> children = pParent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (const QWidget* pWidget : children) {
        if (pWidget->isVisibleTo(pParent) && !pWidget->isWindow() &&
            CDialogBuilder::GetControlId(pWidget) != 0)
            controls.append(pWidget);
    }
    const QRect area = pParent->rect();
    const auto isFrame = [](const QWidget* pWidget) {
        return qobject_cast<const QGroupBox*>(pWidget) != nullptr ||
               qobject_cast<const QTabWidget*>(pWidget) != nullptr;
    };
    for (qsizetype i = 0; i < controls.size(); ++i) {
        const QRect a = controls[i]->geometry();
        if (!area.contains(a)) {
            failures.append(strDialog + u": "_s + ControlName(controls[i]) + u" at "_s +
                            SizeText(a.size()) + u"+"_s + QString::number(a.x()) + u"+"_s +
                            QString::number(a.y()) + u" reaches out of its window "_s +
                            SizeText(area.size()));
        }
        for (qsizetype j = i + 1; j < controls.size(); ++j) {
            const QRect b = controls[j]->geometry();
            if (!a.intersects(b))
                continue;
            if ((isFrame(controls[i]) && a.contains(b)) || (isFrame(controls[j]) && b.contains(a)))
                continue;
            failures.append(strDialog + u": "_s + ControlName(controls[i]) + u" and "_s +
                            ControlName(controls[j]) + u" overlap at "_s +
                            Describe(pParent->font()));
        }
    }
}

} // namespace

class CDialogFitTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_pFolder;
    std::unique_ptr<CProfile> m_pProfile;
    QFont m_fontBefore;
    QString m_strShotDir; // empty: no screenshots at this font
    QStringList m_failures;

    // Sets the application's font for the row; false (and the row skipped) when the font is
    // not installed, so a missing package does not pass for a fit.
    bool UseFont()
    {
        QFETCH(QString, family);
        QFETCH(int, pointSize);
        QFETCH(int, pixelSize);
        QFETCH(bool, screenshots);
        if (!QFontDatabase::families().contains(family)) {
            const QString strMessage = u"font \""_s + family +
                                       u"\" is not installed (Debian: fonts-dejavu-core, "
                                       u"fonts-noto-core, fonts-cantarell; tools/install-deps)"_s;
            QTest::qSkip(qPrintable(strMessage), __FILE__, __LINE__);
            return false;
        }
        QFont font(family);
        if (pointSize > 0)
            font.setPointSize(pointSize);
        else
            font.setPixelSize(pixelSize);
        QApplication::setFont(font);
        m_strShotDir.clear();
        if (screenshots) {
            const qreal dScale = qApp->devicePixelRatio();
            m_strShotDir = qEnvironmentVariable("QUARROW_BINARY_DIR", QDir::currentPath()) +
                           u"/screenshots/dialog-fit/"_s +
                           QString::fromLatin1(QTest::currentDataTag()) +
                           (dScale > 1 ? u"-x"_s + QString::number(dScale) : QString());
            if (!QDir().mkpath(m_strShotDir))
                qFatal("cannot make %s", qPrintable(m_strShotDir));
        }
        return true;
    }

    void Shoot(QWidget* pWidget, const QString& strName)
    {
        if (m_strShotDir.isEmpty())
            return;
        const QString strPath = m_strShotDir + u'/' + strName + u".png"_s;
        if (!pWidget->grab().save(strPath))
            m_failures.append(u"screenshot not saved: "_s + strPath);
    }

    void Report()
    {
        if (!m_failures.isEmpty())
            QFAIL(qPrintable(u"\n"_s + m_failures.join(u'\n')));
    }

    static void AddFontRows()
    {
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("pointSize");
        QTest::addColumn<int>("pixelSize");
        QTest::addColumn<bool>("screenshots");
        for (const SFontCase& font : kFonts) {
            QTest::newRow(font.pszTag) << QString::fromUtf16(font.pszFamily) << font.nPointSize
                                       << font.nPixelSize << font.bScreenshots;
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("QUARROW_OPENER", "/bin/true");
        m_fontBefore = QApplication::font();
    }

    void init()
    {
        FailOnUnexpectedWarnings();
        m_failures.clear();
        m_pFolder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_pFolder->isValid());
        m_pProfile = std::make_unique<CProfile>(u"Quarrow", m_pFolder->path().toStdString());
        auto pCatalog = std::make_shared<CMemoryCatalog>();
        SMemoryServer server;
        server.name = u"A-RATHER-LONG-SERVER-NAME";
        pCatalog->servers.push_back(server);
        CObjectModel::SetLibraries(std::make_shared<CMemoryLibrary>(EFlavour::Modern, pCatalog),
                                   std::make_shared<CMemoryLibrary>(EFlavour::Legacy, pCatalog));
    }

    void cleanup()
    {
        QApplication::setFont(m_fontBefore);
        CObjectModel::SetLibraries(nullptr, nullptr);
        m_pProfile.reset();
        m_pFolder.reset();
    }

    void everyTemplateFits_data() { AddFontRows(); }

    // Each template as the builder makes it, every page's controls at once.
    void everyTemplateFits()
    {
        if (!UseFont())
            return;
        QVERIFY(!DialogTemplates::All().empty());
        for (const SDialogTemplate& dlgTemplate : DialogTemplates::All()) {
            QWidget dialog;
            QVERIFY(CDialogBuilder().Build(dlgTemplate, &dialog));
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            CheckTexts(&dialog, u"template "_s + QString::number(dlgTemplate.nId), m_failures);
        }
        Report();
    }

    void findWindowFits_data() { AddFontRows(); }

    // The find window on each of its pages, as the user sees it.
    void findWindowFits()
    {
        if (!UseFont())
            return;
        CQuarrowDlg dlg(*m_pProfile);
        dlg.SetNewRegistrationHandler([] {});
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        // Find Now opens the result list below the pages (nothing is ticked: it finds nothing).
        QWidget* pFindNow = dlg.GetControl(IDC_FIND_NOW);
        QVERIFY(pFindNow != nullptr);
        QTest::mouseClick(pFindNow, Qt::LeftButton, {}, pFindNow->rect().center());
        QTRY_VERIFY(!dlg.IsCollapsed() && !dlg.IsWorkerRecorded());
        auto* pTab = qobject_cast<QTabWidget*>(dlg.GetControl(IDC_TAB));
        QVERIFY(pTab != nullptr);
        const char* const pages[] = {"find-name", "find-date", "find-advanced"};
        for (int nPage = 0; nPage < pTab->count(); ++nPage) {
            pTab->setCurrentIndex(nPage);
            const QString strName = QString::fromLatin1(pages[nPage]);
            CheckTexts(&dlg, strName, m_failures);
            CheckOverlaps(dlg.GetClientArea(), strName, m_failures);
            Shoot(&dlg, strName);
        }
        Report();
    }

    void codeDialogsFit_data() { AddFontRows(); }

    // The registration dialogs, the notices, About and the components dialog.
    void codeDialogsFit()
    {
        if (!UseFont())
            return;
        const auto check = [this](QDialog& dialog, const QString& strName) {
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            CheckTexts(&dialog, strName, m_failures);
            CheckOverlaps(&dialog, strName, m_failures);
            Shoot(&dialog, strName);
            dialog.hide();
        };
        {
            CNewSQLServerRegistrationDlg dlg;
            check(dlg, u"new-registration"_s);
        }
        {
            CSelectActiveSQLServerDlg dlg;
            check(dlg, u"select-server"_s);
        }
        {
            CAboutDlg dlg;
            check(dlg, u"about"_s);
        }
        {
            CDMODlg dlg;
            check(dlg, u"components"_s);
        }
        {
            CClosingDlg dlg({});
            check(dlg, u"closing"_s);
        }
        {
            CModelessNotifyDlg dlg;
            check(dlg, u"notify"_s);
        }
        Report();
    }

    void exportPanelsFit_data() { AddFontRows(); }

    // The Save As dialog with either panel below it; only the panel is ours to check.
    void exportPanelsFit()
    {
        if (!UseFont())
            return;
        for (const int nTemplate : {IDD_EXPORT_SIMPLE, IDD_EXPORT_COLUMNS}) {
            CExportFileDlg dlg(u"Text (*.txt)|*.txt|All files (*.*)|*.*||"_s);
            dlg.SetPanelTemplate(nTemplate);
            if (nTemplate == IDD_EXPORT_COLUMNS) {
                dlg.m_nHasColumnList = 1;
                dlg.m_columnTitles = {u"Server"_s, u"Database"_s, u"Type"_s, u"Object"_s,
                                      u"Creation Date"_s};
            }
            const QString strName = u"export-"_s + QString::number(nTemplate);
            bool bShown = false;
            WhenModal<CExportFileDlg>([&](CExportFileDlg* pDlg) {
                bShown = true;
                QWidget* pPanel = CDialogBuilder::FindControl(pDlg, IDC_COLUMN_SEPARATOR);
                QVERIFY(pPanel != nullptr);
                pPanel = pPanel->parentWidget();
                CheckTexts(pPanel, strName, m_failures);
                CheckOverlaps(pPanel, strName, m_failures);
                Shoot(pDlg, strName);
            });
            dlg.DoModal();
            QVERIFY(bShown);
        }
        Report();
    }
};

QTEST_MAIN(CDialogFitTest)
#include "CDialogFitTest.moc"
