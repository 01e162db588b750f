#pragma once
// The rows and columns of a grid list: cell texts, one item-data value per row that the
// model never interprets, column titles and alignments, and optional ascending order on the
// first cell. User-interface thread only.

#include "controls/CItemData.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <vector>

class CGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit CGridModel(QObject* parent = nullptr);
    ~CGridModel() override;

    // The order rows are kept in when sorting is on: ascending on the first cell, compared
    // without regard to case (QString::compare with Qt::CaseInsensitive).
    static int CompareKeys(const QString& a, const QString& b);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Columns. Inserting fails (false) for a position outside 0..count.
    bool InsertColumn(int nColumn, const QString& strTitle);
    void RemoveAllColumns();
    // Replaces every column. Rows keep their cells by position, cut to the new column count
    // (the first cell always stays); missing cells read as empty.
    void SetColumns(const QStringList& titles);
    QString GetColumnTitle(int nColumn) const;
    Qt::Alignment GetColumnAlign(int nColumn) const;
    bool SetColumnAlign(int nColumn, Qt::Alignment align);

    // Sorting on: existing rows are put in order (equal keys keep their order) and every
    // new row goes after the rows whose first cell equals its own.
    void SetSorted(bool bSorted);
    bool IsSorted() const { return m_bSorted; }

    // Inserts a row at nIndex (0..count; ignored while sorted). Cells past the column count
    // are dropped (the first cell is always kept); missing ones read as empty. Answers the
    // row's position, or -1 for a position outside the list.
    int InsertRow(int nIndex, QStringList cells, CItemData data);
    struct SNewRow
    {
        QStringList m_cells;
        CItemData m_data;
    };
    // Adds rows as that many InsertRow calls at the end would, in the order given (equal
    // keys keep it while sorted), but announces them to the views once per place they land:
    // rows that arrive in order cost one insertion for the lot. The rows are moved from.
    // Answers the count added.
    int AppendRows(std::vector<SNewRow>& rows);
    bool RemoveRow(int nRow);
    void RemoveAllRows();

    bool IsRow(int nRow) const { return nRow >= 0 && nRow < static_cast<int>(m_rows.size()); }
    // The cell texts of a row, one per column (at least one); empty for no such row.
    QStringList GetCells(int nRow) const;
    QString GetCell(int nRow, int nColumn) const;
    // Rewrites the cells of a row in place; missing cells become empty. The row does not
    // move, even while sorted (as the list it stands for does).
    bool SetCells(int nRow, QStringList cells);
    const CItemData* GetData(int nRow) const;
    bool SetData(int nRow, CItemData data);

    // The first row from nFrom on whose first cell begins with strPrefix (case-insensitive),
    // or -1.
    int FindRow(const QString& strPrefix, int nFrom = 0) const;

private:
    struct SRow
    {
        QStringList m_cells;
        CItemData m_data;
    };
    struct SColumn
    {
        QString m_strTitle;
        Qt::Alignment m_align = Qt::AlignLeft | Qt::AlignVCenter;
    };

    void Fit(QStringList& cells) const;
    // Takes the columns away and leaves the rows' texts for the columns that follow.
    void RemoveAllColumnsKeepingCells();
    int UpperBound(const QString& strKey, int nFrom = 0) const;
    // Inserts rows at nRow, announced as one range.
    void InsertRange(int nRow, std::vector<SRow*>& rows);

    // Owned. Plain pointers so that a row inserted in the middle costs one memmove.
    std::vector<SRow*> m_rows;
    std::vector<SColumn> m_columns;
    bool m_bSorted = false;
};
