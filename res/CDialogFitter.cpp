#include "res/CDialogFitter.h"

#include "res/CDialogBuilder.h"
#include "res/DialogTemplate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTabWidget>
#include <algorithm>
#include <cstdlib>

namespace {

// Dialog units, as the common dialog layouts use them.
constexpr int kGapDlu = 4;    // between controls of one row or column
constexpr int kMarginDlu = 7; // between a control and its frame's edge
constexpr int kSpanDlu = 8;   // a control this close to both edges of its frame spans it
// Room the combo box's edit field keeps on either side of an entry's text.
constexpr int kComboTextPadding = 2;
// Steps of growing and pushing per dialog; a template needs a few per control.
constexpr int kBudgetPerControl = 200;

int Start(const QRect& rect, bool bVertical)
{
    return bVertical ? rect.y() : rect.x();
}

int Length(const QRect& rect, bool bVertical)
{
    return bVertical ? rect.height() : rect.width();
}

int End(const QRect& rect, bool bVertical)
{
    return Start(rect, bVertical) + Length(rect, bVertical);
}

void SetEnd(QRect& rect, bool bVertical, int nEnd)
{
    if (bVertical)
        rect.setHeight(nEnd - rect.y());
    else
        rect.setWidth(nEnd - rect.x());
}

// Whether two rectangles share part of a row (for the horizontal axis) or a column.
bool CrossOverlap(const QRect& a, const QRect& b, bool bVertical)
{
    return Start(a, !bVertical) < End(b, !bVertical) && Start(b, !bVertical) < End(a, !bVertical);
}

int Along(QSize size, bool bVertical)
{
    return bVertical ? size.height() : size.width();
}

int ComboNeedWidth(const QComboBox* pCombo)
{
    if (pCombo->count() == 0)
        return -1;
    const QFontMetrics fm = pCombo->fontMetrics();
    int nText = 0;
    for (int i = 0; i < pCombo->count(); ++i) {
        int nItem = fm.horizontalAdvance(pCombo->itemText(i));
        if (!pCombo->itemIcon(i).isNull())
            nItem += pCombo->iconSize().width() + 4;
        nText = std::max(nText, nItem);
    }
    // The box's own parts (frame, arrow) take what its edit field leaves of its width. The
    // cached size hint of a combo box does not follow entries added later, so it is not used.
    QStyleOptionComboBox opt;
    opt.initFrom(pCombo);
    opt.editable = pCombo->isEditable();
    opt.frame = pCombo->hasFrame();
    const QRect field = pCombo->style()->subControlRect(QStyle::CC_ComboBox, &opt,
                                                        QStyle::SC_ComboBoxEditField, pCombo);
    return nText + 2 * kComboTextPadding + (pCombo->width() - field.width());
}

QSize ButtonNeed(const QPushButton* pButton)
{
    // The text and the button's frame and margins, as the style counts them for its size
    // hint, without the least width some styles prefer for buttons (that is no cut).
    QString strText = pButton->text();
    strText.remove(u'&');
    const QFontMetrics fm = pButton->fontMetrics();
    QSize contents(fm.horizontalAdvance(strText), fm.height());
    if (!pButton->icon().isNull())
        contents.rwidth() += pButton->iconSize().width() + 4;
    QStyleOptionButton opt;
    opt.initFrom(pButton);
    if (pButton->isDefault() || pButton->autoDefault())
        opt.features |= QStyleOptionButton::AutoDefaultButton;
    return pButton->style()->sizeFromContents(QStyle::CT_PushButton, &opt, contents, pButton);
}

} // namespace

CDialogFitter::CDialogFitter(const CDialogBuilder& builder)
    : m_gap(builder.MapDialogSize(kGapDlu, kGapDlu)),
      m_margin(builder.MapDialogSize(kMarginDlu, kMarginDlu)),
      m_span(builder.MapDialogSize(kSpanDlu, kSpanDlu))
{}

bool CDialogFitter::IsWrappedLabel(const QWidget* pWidget)
{
    const auto* pLabel = qobject_cast<const QLabel*>(pWidget);
    if (pLabel == nullptr)
        return false;
    if ((CDialogBuilder::GetControlStyle(pWidget) & ControlStyle::WordWrap) != 0)
        return true;
    // Taller than a line and a half of its font: the template meant several lines.
    return pLabel->height() * 2 >= pLabel->fontMetrics().height() * 3;
}

QSize CDialogFitter::TextNeed(const QWidget* pWidget)
{
    if (const auto* pLabel = qobject_cast<const QLabel*>(pWidget)) {
        if (pLabel->text().isEmpty())
            return {};
        if (pLabel->wordWrap())
            return QSize(pLabel->width(), pLabel->heightForWidth(pLabel->width()));
        return pLabel->sizeHint();
    }
    if (const auto* pButton = qobject_cast<const QPushButton*>(pWidget))
        return pButton->text().isEmpty() ? QSize() : ButtonNeed(pButton);
    if (qobject_cast<const QCheckBox*>(pWidget) != nullptr ||
        qobject_cast<const QRadioButton*>(pWidget) != nullptr) {
        const auto* pButton = static_cast<const QAbstractButton*>(pWidget);
        return pButton->text().isEmpty() ? QSize() : pButton->sizeHint();
    }
    if (const auto* pGroup = qobject_cast<const QGroupBox*>(pWidget))
        return pGroup->title().isEmpty() ? QSize() : pGroup->minimumSizeHint();
    if (const auto* pCombo = qobject_cast<const QComboBox*>(pWidget)) {
        const int nWidth = ComboNeedWidth(pCombo);
        return nWidth < 0 ? QSize() : QSize(nWidth, pCombo->height());
    }
    return {};
}

void CDialogFitter::Fit(QWidget* pDialog)
{
    m_nodes.clear();
    const QList<QWidget*> children = pDialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* pWidget : children) {
        if (pWidget->isWindow() || CDialogBuilder::GetControlId(pWidget) == 0)
            continue;
        SNode node;
        node.pWidget = pWidget;
        node.rect = node.base = node.start = pWidget->geometry();
        node.nPage = pWidget->property(CDialogBuilder::kPageProperty).toInt();
        node.bFrame = qobject_cast<QGroupBox*>(pWidget) != nullptr ||
                      qobject_cast<QTabWidget*>(pWidget) != nullptr;
        m_nodes.push_back(node);
    }
    // Each control lies in the smallest frame that holds it whole.
    for (std::size_t i = 0; i < m_nodes.size(); ++i) {
        qint64 nBestArea = -1;
        for (std::size_t j = 0; j < m_nodes.size(); ++j) {
            if (i == j || !m_nodes[j].bFrame || !m_nodes[j].start.contains(m_nodes[i].start))
                continue;
            const qint64 nArea =
                qint64(m_nodes[j].start.width()) * qint64(m_nodes[j].start.height());
            if (nBestArea < 0 || nArea < nBestArea) {
                nBestArea = nArea;
                m_nodes[i].nFrame = static_cast<int>(j);
            }
        }
    }
    m_dialog = m_dialogBase = m_dialogStart = pDialog->size();
    m_nBudget = kBudgetPerControl * static_cast<int>(m_nodes.size() + 1);

    Pass(EAxis::Horizontal);
    Stretch(EAxis::Horizontal);
    FitWrappedLabels();
    Stretch(EAxis::Vertical);

    for (const SNode& node : m_nodes) {
        if (node.rect != node.start)
            node.pWidget->setGeometry(node.rect);
    }
    if (m_dialog != m_dialogStart)
        pDialog->resize(m_dialog.expandedTo(m_dialogStart));
}

void CDialogFitter::Pass(EAxis axis)
{
    for (SNode& node : m_nodes)
        node.base = node.rect;
    m_dialogBase = m_dialog;
    const bool bVertical = axis == EAxis::Vertical;
    for (std::size_t i = 0; i < m_nodes.size(); ++i) {
        const QWidget* pWidget = m_nodes[i].pWidget;
        if (qobject_cast<const QLabel*>(pWidget) != nullptr &&
            static_cast<const QLabel*>(pWidget)->wordWrap())
            continue;
        const QSize need = TextNeed(pWidget);
        if (!need.isValid())
            continue;
        const QRect& rect = m_nodes[i].rect;
        if (Along(need, bVertical) > Length(rect, bVertical))
            Grow(static_cast<int>(i), axis, Start(rect, bVertical) + Along(need, bVertical));
    }
}

void CDialogFitter::FitWrappedLabels()
{
    for (SNode& node : m_nodes)
        node.base = node.rect;
    m_dialogBase = m_dialog;
    for (std::size_t n = 0; n < m_nodes.size(); ++n) {
        const int i = static_cast<int>(n);
        auto* pLabel = qobject_cast<QLabel*>(m_nodes[n].pWidget);
        if (pLabel == nullptr || !pLabel->wordWrap() || pLabel->text().isEmpty())
            continue;
        QRect& rect = m_nodes[n].rect;
        if (pLabel->heightForWidth(rect.width()) <= rect.height())
            continue;
        // Where the text does not fit below, it first takes the free space to its right.
        if (rect.y() + pLabel->heightForWidth(rect.width()) > RoomEnd(i, EAxis::Vertical)) {
            const int nRight = RoomEnd(i, EAxis::Horizontal);
            if (nRight > rect.x() + rect.width())
                rect.setWidth(nRight - rect.x());
        }
        const int nNeed = pLabel->heightForWidth(rect.width());
        if (nNeed > rect.height())
            Grow(i, EAxis::Vertical, rect.y() + nNeed);
    }
}

int CDialogFitter::RoomEnd(int i, EAxis axis) const
{
    const bool bVertical = axis == EAxis::Vertical;
    int nEnd = FrameEnd(m_nodes[i].nFrame, axis) - FrameMargin(i, axis);
    for (std::size_t j = 0; j < m_nodes.size(); ++j) {
        if (Follows(i, static_cast<int>(j), axis))
            nEnd = std::min(nEnd,
                            Start(m_nodes[j].rect, bVertical) - Gap(i, static_cast<int>(j), axis));
    }
    return std::max(nEnd, End(m_nodes[i].rect, bVertical));
}

void CDialogFitter::Grow(int i, EAxis axis, int nNewEnd)
{
    const bool bVertical = axis == EAxis::Vertical;
    if (nNewEnd <= End(m_nodes[i].rect, bVertical) || --m_nBudget < 0)
        return;
    SetEnd(m_nodes[i].rect, bVertical, nNewEnd);
    Settle(i, axis);
}

void CDialogFitter::Push(int i, EAxis axis, int nNewStart)
{
    const bool bVertical = axis == EAxis::Vertical;
    const int nDelta = nNewStart - Start(m_nodes[i].rect, bVertical);
    if (nDelta <= 0 || --m_nBudget < 0)
        return;
    Shift(i, axis, nDelta);
    Settle(i, axis);
    // What stood in line with it (a column of edits, a row of buttons) stays in line.
    for (std::size_t j = 0; j < m_nodes.size(); ++j) {
        if (static_cast<int>(j) != i && SameLayer(i, static_cast<int>(j)) &&
            std::abs(Start(m_nodes[j].base, bVertical) - Start(m_nodes[i].base, bVertical)) <= 1)
            Push(static_cast<int>(j), axis, Start(m_nodes[i].rect, bVertical));
    }
}

void CDialogFitter::Shift(int i, EAxis axis, int nDelta)
{
    const QPoint offset = axis == EAxis::Vertical ? QPoint(0, nDelta) : QPoint(nDelta, 0);
    m_nodes[i].rect.translate(offset);
    // A frame takes what lies in it along.
    if (!m_nodes[i].bFrame)
        return;
    for (std::size_t j = 0; j < m_nodes.size(); ++j) {
        if (Inside(static_cast<int>(j), i))
            m_nodes[j].rect.translate(offset);
    }
}

void CDialogFitter::Settle(int i, EAxis axis)
{
    const bool bVertical = axis == EAxis::Vertical;
    const int nEnd = End(m_nodes[i].rect, bVertical);
    for (std::size_t j = 0; j < m_nodes.size(); ++j) {
        if (Follows(i, static_cast<int>(j), axis))
            Push(static_cast<int>(j), axis, nEnd + Gap(i, static_cast<int>(j), axis));
    }
    const int nFrame = m_nodes[i].nFrame;
    const int nFrameEnd = nEnd + FrameMargin(i, axis);
    if (nFrame >= 0) {
        Grow(nFrame, axis, nFrameEnd);
    } else if (bVertical) {
        m_dialog.setHeight(std::max(m_dialog.height(), nFrameEnd));
    } else {
        m_dialog.setWidth(std::max(m_dialog.width(), nFrameEnd));
    }
}

void CDialogFitter::Stretch(EAxis axis)
{
    const bool bVertical = axis == EAxis::Vertical;
    // Outer frames first, so what spans an inner frame follows that frame's new size.
    std::vector<int> frames = {-1};
    for (std::size_t i = 0; i < m_nodes.size(); ++i) {
        if (m_nodes[i].bFrame)
            frames.push_back(static_cast<int>(i));
    }
    std::stable_sort(frames.begin() + 1, frames.end(), [this](int a, int b) {
        return qint64(m_nodes[a].start.width()) * m_nodes[a].start.height() >
               qint64(m_nodes[b].start.width()) * m_nodes[b].start.height();
    });
    for (const int nFrame : frames) {
        const int nFrameStart = nFrame < 0 ? 0 : Start(m_nodes[nFrame].start, bVertical);
        const int nFrameStartEnd =
            nFrame < 0 ? Along(m_dialogStart, bVertical) : End(m_nodes[nFrame].start, bVertical);
        const int nGrowth = FrameEnd(nFrame, axis) - nFrameStartEnd -
                            (nFrame < 0 ? 0
                                        : Start(m_nodes[nFrame].rect, bVertical) -
                                              Start(m_nodes[nFrame].start, bVertical));
        if (nGrowth <= 0)
            continue;
        for (SNode& node : m_nodes) {
            if (node.nFrame != nFrame)
                continue;
            const int nSpan = Along(m_span, bVertical);
            if (Start(node.start, bVertical) - nFrameStart > nSpan ||
                nFrameStartEnd - End(node.start, bVertical) > nSpan)
                continue;
            const int nEnd = FrameEnd(nFrame, axis) - (nFrameStartEnd - End(node.start, bVertical));
            if (nEnd > End(node.rect, bVertical))
                SetEnd(node.rect, bVertical, nEnd);
        }
    }
}

bool CDialogFitter::SameLayer(int i, int j) const
{
    const SNode& a = m_nodes[i];
    const SNode& b = m_nodes[j];
    return i != j && a.nFrame == b.nFrame && (a.nPage == 0 || b.nPage == 0 || a.nPage == b.nPage);
}

bool CDialogFitter::Follows(int i, int j, EAxis axis) const
{
    if (!SameLayer(i, j))
        return false;
    const bool bVertical = axis == EAxis::Vertical;
    const QRect& a = m_nodes[i].base;
    const QRect& b = m_nodes[j].base;
    // Beyond the middle of control i, on its row (column).
    return CrossOverlap(a, b, bVertical) &&
           Start(b, bVertical) >= Start(a, bVertical) + Length(a, bVertical) / 2 &&
           Start(b, bVertical) > Start(a, bVertical);
}

bool CDialogFitter::Inside(int i, int nFrame) const
{
    for (int n = m_nodes[i].nFrame, nDepth = 0; n >= 0 && nDepth < 64;
         n = m_nodes[n].nFrame, ++nDepth) {
        if (n == nFrame)
            return true;
    }
    return false;
}

int CDialogFitter::Gap(int i, int j, EAxis axis) const
{
    const bool bVertical = axis == EAxis::Vertical;
    const int nGap = Start(m_nodes[j].base, bVertical) - End(m_nodes[i].base, bVertical);
    return std::clamp(nGap, 0, Along(m_gap, bVertical));
}

int CDialogFitter::FrameMargin(int i, EAxis axis) const
{
    const bool bVertical = axis == EAxis::Vertical;
    const int nMargin = FrameBaseEnd(m_nodes[i].nFrame, axis) - End(m_nodes[i].base, bVertical);
    return std::clamp(nMargin, 0, Along(m_margin, bVertical));
}

int CDialogFitter::FrameEnd(int nFrame, EAxis axis) const
{
    const bool bVertical = axis == EAxis::Vertical;
    return nFrame < 0 ? Along(m_dialog, bVertical) : End(m_nodes[nFrame].rect, bVertical);
}

int CDialogFitter::FrameBaseEnd(int nFrame, EAxis axis) const
{
    const bool bVertical = axis == EAxis::Vertical;
    return nFrame < 0 ? Along(m_dialogBase, bVertical) : End(m_nodes[nFrame].base, bVertical);
}
