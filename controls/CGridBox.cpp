#include "controls/CGridBox.h"

#include "controls/CCommandTarget.h"
#include "controls/CMessageEvent.h"
#include "res/CDialogBuilder.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QToolTip>
#include <algorithm>
#include <vector>

CGridBox::CGridBox(QWidget* parent) : CListCtrlEx(parent)
{
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CGridBox::OnSelectionChanged);
    // A new focused row counts as a selection change while several rows may be selected.
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        if (selectionMode() != QAbstractItemView::SingleSelection)
            OnSelectionChanged();
    });
    connect(header(), &QHeaderView::sectionClicked, this, &CGridBox::OnHeaderClicked);
    header()->setSectionsClickable(true);
    HookWindow();
}

CGridBox::~CGridBox() = default;

QWidget* CGridBox::Window() const
{
    return const_cast<CGridBox*>(this);
}

bool CGridBox::Attach(int nId, QWidget* pParent)
{
    if (!AttachToTemplate(nId, pParent))
        return false;
    SetRedraw(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    SetRedraw(true);
    return true;
}

void CGridBox::Notify(int nCode)
{
    if (!m_bNotifyParent)
        return;
    NotifyParent(nCode);
    Q_EMIT notified(nCode);
}

void CGridBox::OnSelectionChanged()
{
    if (!m_bNotifyParent || m_bSelChangePosted)
        return;
    // One notification per burst: a single message waits in the queue at a time.
    m_bSelChangePosted = true;
    PostMessage(this, WM_GRIDSELCHANGE);
}

void CGridBox::OnHeaderClicked(int nSection)
{
    // The parent may sort through its own sort combo box; the grid never reorders rows.
    QWidget* pParent = parentWidget();
    if (pParent == nullptr)
        return;
    auto* pCombo = dynamic_cast<CCollectionCtrl*>(
        CControl::FromWidget(CDialogBuilder::FindControl(pParent, kSortComboId)));
    if (pCombo == nullptr)
        return;
    pCombo->FindAndSelectItem(GetGridModel()->GetColumnTitle(nSection));
    CCommandTarget::PostCommand(pParent, kSortCommandId);
}

bool CGridBox::event(QEvent* pEvent)
{
    if (pEvent->type() == WM_GRIDSELCHANGE) {
        m_bSelChangePosted = false;
        Notify(kNotifySelChange);
        return true;
    }
    if (HandleCollectionMessage(pEvent))
        return true;
    return CListCtrlEx::event(pEvent);
}

bool CGridBox::viewportEvent(QEvent* pEvent)
{
    if (pEvent->type() != QEvent::ToolTip)
        return CListCtrlEx::viewportEvent(pEvent);
    // Label tips: a cell whose text does not fit shows it whole.
    auto* pHelp = static_cast<QHelpEvent*>(pEvent);
    const QModelIndex index = indexAt(pHelp->pos());
    const QString strText = index.data().toString();
    const QRect rect = visualRect(index);
    const int nMargin = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 2;
    if (index.isValid() && fontMetrics().horizontalAdvance(strText) + nMargin > rect.width())
        QToolTip::showText(pHelp->globalPos(), strText, viewport(), rect);
    else
        QToolTip::hideText();
    return true;
}

void CGridBox::focusInEvent(QFocusEvent* pEvent)
{
    CListCtrlEx::focusInEvent(pEvent);
    if (pEvent->reason() != Qt::PopupFocusReason)
        Notify(kNotifySetFocus);
}

void CGridBox::focusOutEvent(QFocusEvent* pEvent)
{
    CListCtrlEx::focusOutEvent(pEvent);
    if (pEvent->reason() != Qt::PopupFocusReason)
        Notify(kNotifyKillFocus);
}

void CGridBox::mouseDoubleClickEvent(QMouseEvent* pEvent)
{
    CListCtrlEx::mouseDoubleClickEvent(pEvent);
    if (pEvent->button() == Qt::LeftButton)
        Notify(kNotifyDblClk);
}

void CGridBox::keyPressEvent(QKeyEvent* pEvent)
{
    if (pEvent->matches(QKeySequence::Copy)) {
        CopySelection();
        pEvent->accept();
        return;
    }
    CListCtrlEx::keyPressEvent(pEvent);
}

int CGridBox::InsertItemCells(int nIndex, const QStringList& cells, CItemData data)
{
    if (nIndex < 0)
        return -1;
    // An index past the end appends, as the list does.
    nIndex = std::min(nIndex, CountItems());
    return GetGridModel()->InsertRow(nIndex, cells, std::move(data));
}

int CGridBox::AddItemLines(std::vector<SItemLine>& lines)
{
    std::vector<CGridModel::SNewRow> rows;
    rows.reserve(lines.size());
    for (SItemLine& line : lines)
        rows.push_back({SplitLine(line.m_strText), std::move(line.m_data)});
    lines.clear();
    return GetGridModel()->AppendRows(rows);
}

int CGridBox::RemoveItem(int nIndex)
{
    if (!GetGridModel()->RemoveRow(nIndex))
        return -1;
    return CountItems();
}

void CGridBox::RemoveAllItems()
{
    GetGridModel()->RemoveAllRows();
}

int CGridBox::CountItems() const
{
    return GetGridModel()->rowCount();
}

bool CGridBox::GetItemValue(int nIndex, CItemData& data) const
{
    const CItemData* pData = GetGridModel()->GetData(nIndex);
    if (pData == nullptr)
        return false;
    data = *pData;
    return true;
}

bool CGridBox::GetItemCells(int nIndex, QStringList& cells) const
{
    if (!GetGridModel()->IsRow(nIndex))
        return false;
    cells.append(GetGridModel()->GetCells(nIndex));
    return true;
}

bool CGridBox::SetItemValue(int nIndex, CItemData data)
{
    return GetGridModel()->SetData(nIndex, std::move(data));
}

bool CGridBox::SetItemCells(int nIndex, const QStringList& cells)
{
    return GetGridModel()->SetCells(nIndex, cells);
}

int CGridBox::FindItemLine(const QString& strText) const
{
    return GetGridModel()->FindRow(strText);
}

int CGridBox::SelectItem(int nIndex)
{
    if (nIndex >= 0 && nIndex == GetCurrentItem())
        return nIndex;
    if (!GetGridModel()->IsRow(nIndex))
        return -1;
    const QModelIndex index = GetGridModel()->index(nIndex, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
    scrollTo(index);
    return nIndex;
}

int CGridBox::GetCurrentItem() const
{
    std::vector<int> rows;
    if (GetSelectedItems(rows) == 0)
        return -1;
    if (rows.size() > 1) {
        const int nFocused = currentIndex().row();
        if (nFocused >= 0 && std::binary_search(rows.begin(), rows.end(), nFocused))
            return nFocused;
    }
    return rows.front();
}

int CGridBox::GetSelectedItems(std::vector<int>& indices) const
{
    indices.clear();
    const QItemSelection selection = selectionModel()->selection();
    for (const QItemSelectionRange& range : selection) {
        for (int nRow = range.top(); nRow <= range.bottom(); ++nRow)
            indices.push_back(nRow);
    }
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    return static_cast<int>(indices.size());
}

int CGridBox::CountSelectedItems() const
{
    std::vector<int> indices;
    return GetSelectedItems(indices);
}

bool CGridBox::SetItemSelected(int nIndex, bool bSelected)
{
    if (!GetGridModel()->IsRow(nIndex))
        return false;
    const QModelIndex index = GetGridModel()->index(nIndex, 0);
    selectionModel()->select(
        index, (bSelected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                   QItemSelectionModel::Rows);
    return true;
}

bool CGridBox::SetColumns(const QStringList& titles)
{
    CGridModel* pModel = GetGridModel();
    QHeaderView* pHeader = header();
    pHeader->setUpdatesEnabled(false);
    // In one step, so that the rows keep their cells under the new columns.
    pModel->SetColumns(titles);
    m_nColumnCount = pModel->columnCount();
    const QFontMetrics metrics(font());
    for (int i = 0; i < m_nColumnCount; ++i)
        setColumnWidth(i, metrics.horizontalAdvance(titles.at(i) + QStringLiteral("WW")));
    pHeader->setUpdatesEnabled(true);
    return true;
}

bool CGridBox::SetColumnAlign(int nColumn, Qt::Alignment align)
{
    return GetGridModel()->SetColumnAlign(nColumn, align);
}

bool CGridBox::SetColumnSize(int nColumn, int nWidth)
{
    // Widths travel as 16-bit values.
    nWidth = std::clamp(nWidth, 0, 0xFFFF);
    if (nColumn == -1) {
        for (int i = 0; i < m_nColumnCount; ++i)
            setColumnWidth(i, nWidth);
        return m_nColumnCount > 0;
    }
    if (nColumn < 0 || nColumn >= m_nColumnCount)
        return false;
    setColumnWidth(nColumn, nWidth);
    return true;
}

bool CGridBox::GetColumnTitles(QStringList& titles) const
{
    titles.clear();
    for (int i = 0; i < m_nColumnCount; ++i)
        titles.append(GetGridModel()->GetColumnTitle(i));
    return m_nColumnCount > 0;
}

Qt::Alignment CGridBox::GetColumnAlign(int nColumn) const
{
    return GetGridModel()->GetColumnAlign(nColumn);
}

int CGridBox::GetColumnSize(int nColumn) const
{
    if (nColumn < 0 || nColumn >= m_nColumnCount)
        return 0;
    return columnWidth(nColumn);
}

QString CGridBox::GetColumnLayout() const
{
    const QHeaderView* pHeader = header();
    QStringList parts;
    for (int nVisual = 0; nVisual < m_nColumnCount; ++nVisual) {
        const int nColumn = pHeader->logicalIndex(nVisual);
        parts.append(QString::number(nColumn) + u':' +
                     QString::number(pHeader->sectionSize(nColumn)));
    }
    return parts.join(u' ');
}

bool CGridBox::SetColumnLayout(const QString& strLayout)
{
    const QStringList parts = strLayout.split(u' ', Qt::SkipEmptyParts);
    if (m_nColumnCount == 0 || parts.size() != m_nColumnCount)
        return false;
    std::vector<int> columns;
    std::vector<int> widths;
    std::vector<bool> seen(static_cast<std::size_t>(m_nColumnCount), false);
    for (const QString& strPart : parts) {
        const QStringList fields = strPart.split(u':');
        if (fields.size() != 2)
            return false;
        bool bColumnOk = false;
        bool bWidthOk = false;
        const int nColumn = fields[0].toInt(&bColumnOk);
        const int nWidth = fields[1].toInt(&bWidthOk);
        if (!bColumnOk || !bWidthOk || nColumn < 0 || nColumn >= m_nColumnCount ||
            seen[static_cast<std::size_t>(nColumn)] || nWidth < 1 || nWidth > kMaxColumnWidth)
            return false;
        seen[static_cast<std::size_t>(nColumn)] = true;
        columns.push_back(nColumn);
        widths.push_back(nWidth);
    }
    QHeaderView* pHeader = header();
    for (int nVisual = 0; nVisual < m_nColumnCount; ++nVisual) {
        const int nColumn = columns[static_cast<std::size_t>(nVisual)];
        pHeader->moveSection(pHeader->visualIndex(nColumn), nVisual);
        pHeader->resizeSection(nColumn, widths[static_cast<std::size_t>(nVisual)]);
    }
    return true;
}
