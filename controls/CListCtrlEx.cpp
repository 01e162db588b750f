#include "controls/CListCtrlEx.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QPainter>
#include <QStyleOptionFocusRect>

CListCtrlEx::CListCtrlEx(QWidget* parent) : QTreeView(parent), m_pModel(new CGridModel(this))
{
    setModel(m_pModel);
    // Report view: a flat list of rows, selected whole, with a movable header.
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideRight);
    setWordWrap(false);
    setSortingEnabled(false);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(true);
    // A tree view keeps its first column in place; a report list's columns all move.
    header()->setFirstSectionMovable(true);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header()->setHighlightSections(false);

    const QPalette pal = palette();
    m_crText = pal.color(QPalette::Text);
    m_crTextBk = pal.color(QPalette::Base);
    m_crBk = pal.color(QPalette::Base);

    connect(m_pModel, &QAbstractItemModel::rowsInserted, this, &CListCtrlEx::OnRowsArrived);
    m_paintThrottle.setSingleShot(true);
    m_paintThrottle.setInterval(kPaintIntervalMs);
    connect(&m_paintThrottle, &QTimer::timeout, this, [this] {
        if (!viewport()->updatesEnabled())
            viewport()->setUpdatesEnabled(true); // paints what came meanwhile
    });
    connect(m_pModel, &QAbstractItemModel::modelReset, viewport(), qOverload<>(&QWidget::update));
}

CListCtrlEx::~CListCtrlEx() = default;

void CListCtrlEx::OnRowsArrived()
{
    // The first row erases the band at once.
    if (m_pModel->rowCount() == 1) {
        viewport()->update();
        return;
    }
    // A search adds rows one event at a time; painting each would cost more than the
    // rows. The first of a stream paints, the rest wait for the interval to pass.
    if (!m_paintThrottle.isActive())
        m_paintThrottle.start();
    else if (viewport()->updatesEnabled())
        viewport()->setUpdatesEnabled(false);
}

void CListCtrlEx::SetEmptyText(const QString& strText)
{
    m_strEmptyText = strText;
    if (m_pModel->rowCount() == 0)
        viewport()->update(GetEmptyTextRect().adjusted(-1, -1, 1, 1));
}

QRect CListCtrlEx::GetEmptyTextRect() const
{
    if (m_pModel->rowCount() > 0 || header() == nullptr || header()->isHidden())
        return {};
    // The viewport starts right under the header; the band is one text line high.
    const int nLine = QFontMetrics(font()).height();
    return QRect(0, 0, viewport()->width(), nLine).adjusted(1, 1, -1, -1);
}

void CListCtrlEx::SetRedraw(bool bRedraw)
{
    setUpdatesEnabled(bRedraw);
    if (bRedraw)
        viewport()->update();
}

void CListCtrlEx::SetTextColor(const QColor& color)
{
    m_crText = color;
    m_bTextColorSet = true;
    ApplyColors();
}

void CListCtrlEx::SetTextBkColor(const QColor& color)
{
    m_crTextBk = color;
    m_bTextBkColorSet = true;
    ApplyColors();
}

void CListCtrlEx::SetBkColor(const QColor& color)
{
    m_crBk = color;
    m_bBkColorSet = true;
    ApplyColors();
}

void CListCtrlEx::ApplyColors()
{
    QPalette pal = palette();
    pal.setColor(QPalette::Text, m_crText);
    pal.setColor(QPalette::Base, m_crBk);
    setPalette(pal);
    viewport()->update();
}

void CListCtrlEx::changeEvent(QEvent* event)
{
    QTreeView::changeEvent(event);
    if (event->type() != QEvent::ApplicationPaletteChange)
        return;
    // The system's colours changed: those the owner never chose follow them.
    const QPalette sys = QApplication::palette(this);
    if (!m_bTextColorSet)
        m_crText = sys.color(QPalette::Text);
    if (!m_bTextBkColorSet)
        m_crTextBk = sys.color(QPalette::Base);
    if (!m_bBkColorSet)
        m_crBk = sys.color(QPalette::Base);
    if (m_bTextColorSet || m_bBkColorSet)
        ApplyColors();
}

void CListCtrlEx::paintEvent(QPaintEvent* event)
{
    QTreeView::paintEvent(event);
    const QRect band = GetEmptyTextRect();
    if (band.isEmpty())
        return;
    QPainter painter(viewport());
    painter.fillRect(band, m_crTextBk);
    if (!m_strEmptyText.isEmpty()) {
        painter.setPen(m_crText);
        painter.setFont(font());
        painter.drawText(band, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextDontClip,
                         m_strEmptyText);
    }
    if (hasFocus()) {
        QStyleOptionFocusRect opt;
        opt.initFrom(this);
        opt.rect = band;
        opt.backgroundColor = m_crTextBk;
        // Styles that hide focus frames until the keyboard is used would hide this one.
        opt.state |= QStyle::State_HasFocus | QStyle::State_KeyboardFocusChange;
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &opt, &painter, this);
    }
}

void CListCtrlEx::OnFocusChange(QFocusEvent* event)
{
    if (event->reason() == Qt::PopupFocusReason)
        return; // the focus stays within the list's own menu
    if (m_pModel->rowCount() == 0) {
        viewport()->update(GetEmptyTextRect().adjusted(-2, -2, 2, 2));
        return;
    }
    if (event->gotFocus() && !currentIndex().isValid()) {
        // Rows but no focused row: the top visible row takes the focus, unselected.
        QModelIndex top = indexAt(QPoint(0, 0));
        if (!top.isValid())
            top = m_pModel->index(0, 0);
        selectionModel()->setCurrentIndex(top, QItemSelectionModel::NoUpdate);
    }
}

void CListCtrlEx::focusInEvent(QFocusEvent* event)
{
    OnFocusChange(event);
    QTreeView::focusInEvent(event);
}

void CListCtrlEx::focusOutEvent(QFocusEvent* event)
{
    QTreeView::focusOutEvent(event);
    OnFocusChange(event);
}
