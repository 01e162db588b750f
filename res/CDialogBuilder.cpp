#include "res/CDialogBuilder.h"

#include "res/CDialogFitter.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeView>
#include <QTreeWidget>
#include <cmath>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// The rounding of MulDiv: half away from zero.
int MulDiv(int nValue, int nNumerator, int nDenominator)
{
    const double d = static_cast<double>(nValue) * nNumerator / nDenominator;
    return static_cast<int>(std::lround(d));
}

bool TakesFocus(EControlKind kind)
{
    switch (kind) {
    case EControlKind::Label:
    case EControlKind::SunkenLine:
    case EControlKind::GroupBox:
        return false;
    default:
        return true;
    }
}

} // namespace

CDialogBuilder::CDialogBuilder(const QFont& font)
{
    // The average width of the 52 Latin letters, as dialog base units are defined, measured
    // without rounding each advance to whole pixels; the height of a line of the font.
    const QFontMetricsF fm(font);
    const qreal dAlphabet =
        fm.horizontalAdvance(u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"_s);
    m_nBaseX = static_cast<int>(std::lround(dAlphabet / 52));
    m_nBaseY = QFontMetrics(font).height();
    if (m_nBaseX < 1)
        m_nBaseX = 1;
    if (m_nBaseY < 1)
        m_nBaseY = 1;
}

CDialogBuilder::CDialogBuilder() : CDialogBuilder(QApplication::font()) {}

QRect CDialogBuilder::MapDialogRect(int x, int y, int cx, int cy) const
{
    return QRect(MulDiv(x, m_nBaseX, 4), MulDiv(y, m_nBaseY, 8), MulDiv(cx, m_nBaseX, 4),
                 MulDiv(cy, m_nBaseY, 8));
}

QSize CDialogBuilder::MapDialogSize(int cx, int cy) const
{
    return QSize(MulDiv(cx, m_nBaseX, 4), MulDiv(cy, m_nBaseY, 8));
}

void CDialogBuilder::SetControlId(QWidget* pWidget, int nId)
{
    pWidget->setObjectName(u"id"_s + QString::number(nId));
    pWidget->setProperty(kIdProperty, nId);
}

int CDialogBuilder::GetControlId(const QWidget* pWidget)
{
    if (pWidget == nullptr)
        return 0;
    const QVariant id = pWidget->property(kIdProperty);
    return id.isValid() ? id.toInt() : 0;
}

std::uint32_t CDialogBuilder::GetControlStyle(const QWidget* pWidget)
{
    if (pWidget == nullptr)
        return 0;
    return pWidget->property(kStyleProperty).toUInt();
}

QWidget* CDialogBuilder::FindControl(const QWidget* pRoot, int nId)
{
    if (pRoot == nullptr)
        return nullptr;
    const QString strName = u"id"_s + QString::number(nId);
    const QList<QWidget*> found = pRoot->findChildren<QWidget*>(strName);
    for (QWidget* pWidget : found) {
        if (GetControlId(pWidget) == nId)
            return pWidget;
    }
    return nullptr;
}

QButtonGroup* CDialogBuilder::FindRadioGroup(const QWidget* pDialog, int nFirstId)
{
    if (pDialog == nullptr)
        return nullptr;
    return pDialog->findChild<QButtonGroup*>(u"group"_s + QString::number(nFirstId));
}

QWidget* CDialogBuilder::CreateControl(const SDialogItem& item, QWidget* pParent) const
{
    namespace CS = ControlStyle;
    const QString strText = QString::fromUtf16(item.pszText);
    QRect rect = MapDialogRect(item.x, item.y, item.cx, item.cy);
    QWidget* pWidget = nullptr;

    switch (item.kind) {
    case EControlKind::Label:
        pWidget = new QLabel(strText, pParent);
        break;
    case EControlKind::Edit: {
        auto* pEdit = new QLineEdit(pParent);
        pEdit->setReadOnly((item.nStyle & CS::ReadOnly) != 0);
        if ((item.nStyle & CS::Password) != 0)
            pEdit->setEchoMode(QLineEdit::Password);
        pWidget = pEdit;
        break;
    }
    case EControlKind::PushButton: {
        auto* pButton = new QPushButton(strText, pParent);
        pButton->setDefault((item.nStyle & CS::DefaultButton) != 0);
        pButton->setAutoDefault(false);
        pWidget = pButton;
        break;
    }
    case EControlKind::RadioButton:
        if ((item.nStyle & CS::PushLike) != 0) {
            auto* pButton = new QPushButton(strText, pParent);
            pButton->setCheckable(true);
            pButton->setAutoDefault(false);
            pWidget = pButton;
        } else {
            pWidget = new QRadioButton(strText, pParent);
        }
        break;
    case EControlKind::CheckBox:
        pWidget = new QCheckBox(strText, pParent);
        break;
    case EControlKind::DropDownList:
    case EControlKind::DropDownCombo: {
        auto* pCombo = new QComboBox(pParent);
        pCombo->setEditable(item.kind == EControlKind::DropDownCombo);
        const QString strData = QString::fromUtf16(item.pszInitialData);
        if (!strData.isEmpty()) {
            const QStringList entries = strData.split(u'\n');
            for (const QString& strEntry : entries)
                pCombo->addItem(strEntry);
        }
        // The template's height is that of the dropped list; the closed box is one line.
        rect.setHeight(pCombo->sizeHint().height());
        pWidget = pCombo;
        break;
    }
    case EControlKind::ListView: {
        auto* pView = new QTreeView(pParent);
        pView->setRootIsDecorated(false);
        pView->setUniformRowHeights(true);
        pWidget = pView;
        break;
    }
    case EControlKind::TreeView: {
        auto* pTree = new QTreeWidget(pParent);
        pTree->setHeaderHidden(true);
        pWidget = pTree;
        break;
    }
    case EControlKind::TabControl:
        pWidget = new QTabWidget(pParent);
        break;
    case EControlKind::SunkenLine: {
        auto* pLine = new QFrame(pParent);
        pLine->setFrameShape(QFrame::HLine);
        pLine->setFrameShadow(QFrame::Sunken);
        pWidget = pLine;
        break;
    }
    case EControlKind::GroupBox:
        pWidget = new QGroupBox(strText, pParent);
        break;
    case EControlKind::ListBox: {
        auto* pList = new QListWidget(pParent);
        pList->setSortingEnabled((item.nStyle & CS::Sorted) != 0);
        pWidget = pList;
        break;
    }
    case EControlKind::CheckListBox: {
        auto* pList = new QListWidget(pParent);
        pList->setSelectionMode((item.nStyle & CS::MultipleSelection) != 0
                                    ? QAbstractItemView::ExtendedSelection
                                    : QAbstractItemView::SingleSelection);
        pWidget = pList;
        break;
    }
    }

    SetControlId(pWidget, item.nId);
    pWidget->setProperty(kStyleProperty, item.nStyle);
    pWidget->setProperty(kPageProperty, item.nPage);
    pWidget->setGeometry(rect);
    if (auto* pLabel = qobject_cast<QLabel*>(pWidget); CDialogFitter::IsWrappedLabel(pLabel)) {
        pLabel->setWordWrap(true);
        pLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    if ((item.nStyle & CS::Disabled) != 0)
        pWidget->setEnabled(false);
    if ((item.nStyle & CS::Hidden) != 0)
        pWidget->hide();
    return pWidget;
}

bool CDialogBuilder::Build(const SDialogTemplate& dlgTemplate, QWidget* pDialog) const
{
    if (pDialog == nullptr || dlgTemplate.items.empty())
        return false;

    pDialog->setWindowTitle(QString::fromUtf16(dlgTemplate.pszCaption));
    pDialog->resize(MapDialogSize(dlgTemplate.cx, dlgTemplate.cy));

    std::vector<QWidget*> widgets;
    widgets.reserve(dlgTemplate.items.size());
    QButtonGroup* pGroup = nullptr;
    QWidget* pTab = nullptr;
    for (const SDialogItem& item : dlgTemplate.items) {
        QWidget* pWidget = CreateControl(item, pDialog);
        widgets.push_back(pWidget);

        // Radio groups run from a button that starts a group to the next control that does.
        const bool bRadio = item.kind == EControlKind::RadioButton;
        if ((item.nStyle & ControlStyle::Group) != 0) {
            pGroup = nullptr;
            if (bRadio) {
                pGroup = new QButtonGroup(pDialog);
                pGroup->setObjectName(u"group"_s + QString::number(item.nId));
                pGroup->setExclusive(true);
            }
        }
        if (bRadio && pGroup != nullptr) {
            auto* pButton = static_cast<QAbstractButton*>(pWidget);
            pButton->setAutoExclusive(false);
            pGroup->addButton(pButton, item.nId);
        }
        if (item.kind == EControlKind::TabControl)
            pTab = pWidget;
    }

    // A label's mnemonic moves the focus to the next control that takes it.
    for (std::size_t i = 0; i < widgets.size(); ++i) {
        auto* pLabel = qobject_cast<QLabel*>(widgets[i]);
        if (pLabel == nullptr || !pLabel->text().contains(u'&'))
            continue;
        for (std::size_t j = i + 1; j < widgets.size(); ++j) {
            if (TakesFocus(dlgTemplate.items[j].kind)) {
                pLabel->setBuddy(widgets[j]);
                break;
            }
        }
    }

    // The pages' controls lie on top of the tab control.
    if (pTab != nullptr)
        pTab->lower();
    FitControls(pDialog);
    return true;
}

void CDialogBuilder::FitControls(QWidget* pDialog) const
{
    if (pDialog != nullptr)
        CDialogFitter(*this).Fit(pDialog);
}
