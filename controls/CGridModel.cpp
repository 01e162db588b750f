#include "controls/CGridModel.h"

#include <algorithm>
#include <memory>

CGridModel::CGridModel(QObject* parent) : QAbstractTableModel(parent) {}

CGridModel::~CGridModel()
{
    for (SRow* pRow : m_rows)
        delete pRow;
}

int CGridModel::CompareKeys(const QString& a, const QString& b)
{
    return QString::compare(a, b, Qt::CaseInsensitive);
}

int CGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant CGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !IsRow(index.row()))
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return GetCell(index.row(), index.column());
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(GetColumnAlign(index.column()));
    default:
        return {};
    }
}

QVariant CGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 ||
        section >= static_cast<int>(m_columns.size()))
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return m_columns[section].m_strTitle;
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(m_columns[section].m_align);
    default:
        return {};
    }
}

Qt::ItemFlags CGridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Drag-enabled so that moving a pressed row drags rather than extends the selection.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled |
           Qt::ItemNeverHasChildren;
}

bool CGridModel::InsertColumn(int nColumn, const QString& strTitle)
{
    if (nColumn < 0 || nColumn > static_cast<int>(m_columns.size()))
        return false;
    const bool bFirst = m_columns.empty();
    beginInsertColumns({}, nColumn, nColumn);
    m_columns.insert(m_columns.begin() + nColumn, SColumn{strTitle});
    // Rows keep one text per column: make room for the new one. Without columns a row still
    // holds its own text, which the first column shows.
    for (SRow* pRow : m_rows) {
        if (!bFirst && nColumn < pRow->m_cells.size())
            pRow->m_cells.insert(nColumn, QString());
    }
    endInsertColumns();
    return true;
}

void CGridModel::SetColumns(const QStringList& titles)
{
    RemoveAllColumnsKeepingCells();
    if (titles.isEmpty()) {
        for (SRow* pRow : m_rows)
            Fit(pRow->m_cells);
        return;
    }
    beginInsertColumns({}, 0, static_cast<int>(titles.size()) - 1);
    for (const QString& strTitle : titles)
        m_columns.push_back(SColumn{strTitle});
    for (SRow* pRow : m_rows)
        Fit(pRow->m_cells);
    endInsertColumns();
}

void CGridModel::RemoveAllColumnsKeepingCells()
{
    if (m_columns.empty())
        return;
    beginRemoveColumns({}, 0, static_cast<int>(m_columns.size()) - 1);
    m_columns.clear();
    endRemoveColumns();
}

void CGridModel::RemoveAllColumns()
{
    if (m_columns.empty())
        return;
    beginRemoveColumns({}, 0, static_cast<int>(m_columns.size()) - 1);
    m_columns.clear();
    // The first cell is the row's own text and stays; the sub-items go with their columns.
    for (SRow* pRow : m_rows) {
        if (pRow->m_cells.size() > 1)
            pRow->m_cells.resize(1);
    }
    endRemoveColumns();
}

QString CGridModel::GetColumnTitle(int nColumn) const
{
    if (nColumn < 0 || nColumn >= static_cast<int>(m_columns.size()))
        return {};
    return m_columns[nColumn].m_strTitle;
}

Qt::Alignment CGridModel::GetColumnAlign(int nColumn) const
{
    if (nColumn < 0 || nColumn >= static_cast<int>(m_columns.size()))
        return Qt::AlignLeft | Qt::AlignVCenter;
    return m_columns[nColumn].m_align;
}

bool CGridModel::SetColumnAlign(int nColumn, Qt::Alignment align)
{
    if (nColumn < 0 || nColumn >= static_cast<int>(m_columns.size()))
        return false;
    m_columns[nColumn].m_align = align;
    Q_EMIT headerDataChanged(Qt::Horizontal, nColumn, nColumn);
    if (!m_rows.empty())
        Q_EMIT dataChanged(index(0, nColumn), index(rowCount() - 1, nColumn),
                           {Qt::TextAlignmentRole});
    return true;
}

void CGridModel::SetSorted(bool bSorted)
{
    if (bSorted == m_bSorted)
        return;
    m_bSorted = bSorted;
    if (!m_bSorted || m_rows.size() < 2)
        return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> order(m_rows.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
        return CompareKeys(m_rows[static_cast<size_t>(a)]->m_cells.at(0),
                           m_rows[static_cast<size_t>(b)]->m_cells.at(0)) < 0;
    });
    std::vector<SRow*> sorted(m_rows.size());
    std::vector<int> newPos(m_rows.size());
    for (size_t i = 0; i < order.size(); ++i) {
        sorted[i] = m_rows[static_cast<size_t>(order[i])];
        newPos[static_cast<size_t>(order[i])] = static_cast<int>(i);
    }
    m_rows.swap(sorted);
    // Follow each persistent index to where its row went.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& idx : before)
        after.append(index(newPos[static_cast<size_t>(idx.row())], idx.column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void CGridModel::Fit(QStringList& cells) const
{
    if (cells.isEmpty())
        cells.append(QString());
    const qsizetype nKeep = std::max<qsizetype>(1, static_cast<qsizetype>(m_columns.size()));
    if (cells.size() > nKeep)
        cells.resize(nKeep);
}

int CGridModel::UpperBound(const QString& strKey, int nFrom) const
{
    const auto it = std::upper_bound(
        m_rows.begin() + nFrom, m_rows.end(), strKey,
        [](const QString& key, SRow* pRow) { return CompareKeys(key, pRow->m_cells.at(0)) < 0; });
    return static_cast<int>(it - m_rows.begin());
}

int CGridModel::InsertRow(int nIndex, QStringList cells, CItemData data)
{
    if (nIndex < 0 || nIndex > static_cast<int>(m_rows.size()))
        return -1;
    Fit(cells);
    const int nRow = m_bSorted ? UpperBound(cells.at(0)) : nIndex;
    auto pRow = std::make_unique<SRow>(SRow{std::move(cells), std::move(data)});
    beginInsertRows({}, nRow, nRow);
    m_rows.insert(m_rows.begin() + nRow, pRow.release());
    endInsertRows();
    return nRow;
}

void CGridModel::InsertRange(int nRow, std::vector<SRow*>& rows)
{
    if (rows.empty())
        return;
    beginInsertRows({}, nRow, nRow + static_cast<int>(rows.size()) - 1);
    m_rows.insert(m_rows.begin() + nRow, rows.begin(), rows.end());
    endInsertRows();
    rows.clear();
}

int CGridModel::AppendRows(std::vector<SNewRow>& rows)
{
    if (rows.empty())
        return 0;
    // Owned here until they are on the list.
    std::vector<std::unique_ptr<SRow>> made;
    made.reserve(rows.size());
    for (SNewRow& row : rows) {
        Fit(row.m_cells);
        made.push_back(std::make_unique<SRow>(SRow{std::move(row.m_cells), std::move(row.m_data)}));
    }
    rows.clear();
    const int nAdded = static_cast<int>(made.size());
    std::vector<SRow*> range;
    range.reserve(made.size());
    if (!m_bSorted) {
        for (auto& pRow : made)
            range.push_back(pRow.release());
        InsertRange(static_cast<int>(m_rows.size()), range);
        return nAdded;
    }
    const auto less = [](const std::unique_ptr<SRow>& a, const std::unique_ptr<SRow>& b) {
        return CompareKeys(a->m_cells.at(0), b->m_cells.at(0)) < 0;
    };
    // Equal keys keep the order they came in, as one by one.
    if (!std::is_sorted(made.begin(), made.end(), less))
        std::stable_sort(made.begin(), made.end(), less);
    // Each new row lands after the old rows whose key is not greater than its own. Along
    // the sorted new rows these places only grow, so the rows that land at one place go in
    // as one range. Places count old rows; nShift counts the new rows already in, all of
    // them before the old row at nPlace.
    const SRow* pOldLast = m_rows.empty() ? nullptr : m_rows.back();
    int nShift = 0;
    int nPlace = 0;
    const QString* pLastKey = nullptr;
    for (auto& pRow : made) {
        const QString& strKey = pRow->m_cells.at(0);
        if (pLastKey == nullptr || CompareKeys(*pLastKey, strKey) != 0) {
            int nNewPlace = static_cast<int>(m_rows.size()) - nShift;
            // Most streams arrive in order: a key not below the last old row's goes last.
            if (pOldLast != nullptr && CompareKeys(strKey, pOldLast->m_cells.at(0)) < 0)
                nNewPlace = UpperBound(strKey, nPlace + nShift) - nShift;
            if (nNewPlace != nPlace && !range.empty()) {
                const int nCount = static_cast<int>(range.size());
                InsertRange(nPlace + nShift, range);
                nShift += nCount;
            }
            nPlace = nNewPlace;
            pLastKey = &strKey;
        }
        range.push_back(pRow.release());
    }
    InsertRange(nPlace + nShift, range);
    return nAdded;
}

bool CGridModel::RemoveRow(int nRow)
{
    if (!IsRow(nRow))
        return false;
    beginRemoveRows({}, nRow, nRow);
    SRow* pRow = m_rows[static_cast<size_t>(nRow)];
    m_rows.erase(m_rows.begin() + nRow);
    endRemoveRows();
    delete pRow; // releases the item data after the views have let go of the row
    return true;
}

void CGridModel::RemoveAllRows()
{
    if (m_rows.empty())
        return;
    beginResetModel();
    std::vector<SRow*> old;
    old.swap(m_rows);
    endResetModel();
    for (SRow* pRow : old)
        delete pRow;
}

QStringList CGridModel::GetCells(int nRow) const
{
    if (!IsRow(nRow))
        return {};
    QStringList cells = m_rows[static_cast<size_t>(nRow)]->m_cells;
    while (cells.size() < static_cast<qsizetype>(m_columns.size()))
        cells.append(QString());
    return cells;
}

QString CGridModel::GetCell(int nRow, int nColumn) const
{
    if (!IsRow(nRow) || nColumn < 0)
        return {};
    const QStringList& cells = m_rows[static_cast<size_t>(nRow)]->m_cells;
    return nColumn < cells.size() ? cells.at(nColumn) : QString();
}

bool CGridModel::SetCells(int nRow, QStringList cells)
{
    if (!IsRow(nRow))
        return false;
    Fit(cells);
    m_rows[static_cast<size_t>(nRow)]->m_cells = std::move(cells);
    const int nLast = std::max(0, columnCount() - 1);
    Q_EMIT dataChanged(index(nRow, 0), index(nRow, nLast), {Qt::DisplayRole});
    return true;
}

const CItemData* CGridModel::GetData(int nRow) const
{
    if (!IsRow(nRow))
        return nullptr;
    return &m_rows[static_cast<size_t>(nRow)]->m_data;
}

bool CGridModel::SetData(int nRow, CItemData data)
{
    if (!IsRow(nRow))
        return false;
    // The old value is released here, after the new one is in place.
    std::swap(m_rows[static_cast<size_t>(nRow)]->m_data, data);
    return true;
}

int CGridModel::FindRow(const QString& strPrefix, int nFrom) const
{
    for (size_t i = static_cast<size_t>(std::max(0, nFrom)); i < m_rows.size(); ++i) {
        if (m_rows[i]->m_cells.at(0).startsWith(strPrefix, Qt::CaseInsensitive))
            return static_cast<int>(i);
    }
    return -1;
}
