#pragma once
// The collection interface: the index-based way list-like controls (grids, combo boxes) are
// filled, read, selected, copied and exported. Rows are cell texts (tab-separated in the
// "line" forms) plus one item-data value the control never interprets.

#include "controls/CControl.h"
#include "controls/CItemData.h"
#include "search/CExportWriter.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

class CCollectionCtrl : public CControl
{
public:
    CCollectionCtrl();
    ~CCollectionCtrl() override;

    virtual void LockRedraw() = 0;
    virtual void UnlockRedraw() = 0;

    // Adding and inserting answer the row's index (which may differ from the one asked
    // for in a sorted control), or a negative value when the control refuses the row.
    virtual int AddItemCells(const QStringList& cells, CItemData data = {});
    virtual int AddItem(const QString& strText, CItemData data = {});
    virtual int InsertItemCells(int nIndex, const QStringList& cells, CItemData data = {}) = 0;
    // Adds tab-separated rows in the order given, each as AddItem would; a control that can
    // takes them in one step. The lines are moved from. Answers the rows added.
    struct SItemLine
    {
        QString m_strText;
        CItemData m_data;
    };
    virtual int AddItemLines(std::vector<SItemLine>& lines);
    // Splits the text at each tab: n tabs give n + 1 cells, empty ones included.
    virtual int InsertItemLine(int nIndex, const QString& strText, CItemData data = {});
    // Answers the new row count, or -1 when there is no such row.
    virtual int RemoveItem(int nIndex) = 0;
    // Releases every row's item data.
    virtual void RemoveAllItems() = 0;

    virtual int CountItems() const = 0;
    // Outputs stay unchanged (and the answer is false) for a row that does not exist.
    virtual bool GetItemLine(int nIndex, QString& strText, CItemData& data) const;
    virtual bool GetItemLine(int nIndex, QString& strText) const;
    virtual bool GetItemValue(int nIndex, CItemData& data) const = 0;
    // Appends the text of every column of the row.
    virtual bool GetItemCells(int nIndex, QStringList& cells) const = 0;
    virtual bool SetItemValue(int nIndex, CItemData data) = 0;
    // Rewrite the cells of an existing row; missing cells become empty.
    virtual bool SetItemCells(int nIndex, const QStringList& cells) = 0;
    virtual bool SetItemLine(int nIndex, const QString& strText);
    // The first row whose first cell begins with the text (case-insensitive), or -1.
    virtual int FindItemLine(const QString& strText) const = 0;
    virtual int FindAndSelectItem(const QString& strText);

    // Single selection of one row; answers it, or -1.
    virtual int SelectItem(int nIndex) = 0;
    // The current row: among several selected rows the focused one, else the first
    // selected; -1 when none is selected.
    virtual int GetCurrentItem() const = 0;
    // Replaces the contents of indices with the selected rows in list order; answers
    // their count.
    virtual int GetSelectedItems(std::vector<int>& indices) const = 0;
    // At most nMax selected rows, in list order.
    virtual int GetSelectedItems(int nMax, std::vector<int>& indices) const;
    virtual int CountSelectedItems() const;
    virtual bool SetItemSelected(int nIndex, bool bSelected) = 0;

    // The incremental-loading maximum (kept, not used by the controls themselves).
    virtual void SetMaxItems(int nMax) { m_nMaxItems = nMax; }
    virtual int GetMaxItems() const { return m_nMaxItems; }

    // Columns; controls without columns answer false, -1 or nothing.
    virtual bool SetColumns(const QStringList& titles);
    // Splits the text at each tab; an empty text gives no titles.
    virtual bool SetColumnsLine(const QString& strText);
    virtual bool SetColumnAlign(int nColumn, Qt::Alignment align);
    // Width in pixels; column -1 sets every column.
    virtual bool SetColumnSize(int nColumn, int nWidth);
    // Replaces the contents of titles; false when there are no columns.
    virtual bool GetColumnTitles(QStringList& titles) const;
    virtual bool GetColumnTitlesLine(QString& strText) const;
    virtual Qt::Alignment GetColumnAlign(int nColumn) const;
    virtual int GetColumnSize(int nColumn) const;

    // CLN_SELCHANGE to the parent (wParam the control id).
    virtual void NotifySelChange();

    // Writes the rows (every row, or the selected ones in list order) under a header line.
    // A non-empty column list picks and orders the columns by title. Answers the rows
    // written and the first write error; the rows written before an error stay.
    virtual SExportResult ExportItems(std::ostream& out, const QString& strColumnSeparator,
                                      const QString& strRowSeparator, bool bSelectedOnly,
                                      const QStringList& columns, bool bNarrow);
    // The same into a file, created or truncated.
    SExportResult ExportItems(const QString& strPath, const QString& strColumnSeparator,
                              const QString& strRowSeparator, bool bSelectedOnly,
                              const QStringList& columns, bool bNarrow);

    // WM_COPY: true when at least one row is selected; every other message: false.
    virtual bool IsMessageEnabled(quintptr nMessage) const;
    // The selected rows to the clipboard: cells joined by tabs, rows by "\r\n", no line
    // break after the last. False when nothing is selected.
    virtual bool CopySelection();
    // The text CopySelection puts on the clipboard; empty when nothing is selected.
    QString GetSelectionText() const;

    static QStringList SplitLine(const QString& strText);

protected:
    // Answers WM_ISMSGENABLED and WM_COPY sent to the window; true when handled.
    bool HandleCollectionMessage(QEvent* pEvent);

private:
    SExportResult
    Export(const std::function<SExportResult(const std::vector<std::u16string>&, IExportRows&,
                                             const std::optional<std::vector<int>>&,
                                             const SExportSettings&, const SExportHooks&)>& write,
           const QString& strProgress, const QString& strColumnSeparator,
           const QString& strRowSeparator, bool bSelectedOnly, const QStringList& columns,
           bool bNarrow);

    int m_nMaxItems = 4000;
};
