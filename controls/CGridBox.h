#pragma once
// The grid list: a report list that is a collection control. Columns come from titles,
// rows from tab-separated text with item data; the parent hears of selection changes (one
// notification per burst), double clicks and focus changes as WM_COMMAND codes 1, 2, 4, 5.
// Rows are touched on the user-interface thread only.

#include "controls/CCollectionCtrl.h"
#include "controls/CListCtrlEx.h"

class CGridBox : public CListCtrlEx, public CCollectionCtrl
{
    Q_OBJECT
public:
    // The parent's sort combo box and sort command, used when a column header is clicked.
    static constexpr int kSortComboId = 3047;
    static constexpr int kSortCommandId = 3054;

    explicit CGridBox(QWidget* parent = nullptr);
    ~CGridBox() override;

    QWidget* Window() const override;
    // Takes the place of the template control nId below pParent.
    bool Attach(int nId, QWidget* pParent) override;

    // Whether the parent hears of the list's events (on by default).
    void SetNotifyParent(bool bNotify) { m_bNotifyParent = bNotify; }
    bool GetNotifyParent() const { return m_bNotifyParent; }

    void LockRedraw() override { SetRedraw(false); }
    void UnlockRedraw() override { SetRedraw(true); }

    int InsertItemCells(int nIndex, const QStringList& cells, CItemData data = {}) override;
    int AddItemLines(std::vector<SItemLine>& lines) override;
    int RemoveItem(int nIndex) override;
    void RemoveAllItems() override;
    int CountItems() const override;
    bool GetItemValue(int nIndex, CItemData& data) const override;
    bool GetItemCells(int nIndex, QStringList& cells) const override;
    bool SetItemValue(int nIndex, CItemData data) override;
    bool SetItemCells(int nIndex, const QStringList& cells) override;
    int FindItemLine(const QString& strText) const override;

    int SelectItem(int nIndex) override;
    int GetCurrentItem() const override;
    using CCollectionCtrl::GetSelectedItems;
    int GetSelectedItems(std::vector<int>& indices) const override;
    int CountSelectedItems() const override;
    bool SetItemSelected(int nIndex, bool bSelected) override;

    bool SetColumns(const QStringList& titles) override;
    bool SetColumnAlign(int nColumn, Qt::Alignment align) override;
    bool SetColumnSize(int nColumn, int nWidth) override;
    bool GetColumnTitles(QStringList& titles) const override;
    Qt::Alignment GetColumnAlign(int nColumn) const override;
    int GetColumnSize(int nColumn) const override;
    int GetColumnCount() const { return m_nColumnCount; }

    // The columns' order and widths as one line: for each column from left to right its index
    // and width, "index:width", separated by spaces ("0:70 3:120 1:70 2:70 4:140").
    QString GetColumnLayout() const;
    // Applies a line of GetColumnLayout. False, and nothing changed, when the line does not
    // parse, or does not name each column exactly once with a width from 1 to kMaxColumnWidth.
    bool SetColumnLayout(const QString& strLayout);
    static constexpr int kMaxColumnWidth = 20000; // wider than any screen: a damaged value

Q_SIGNALS:
    // Emitted with each notification code after the parent was told.
    void notified(int nCode);

protected:
    bool event(QEvent* pEvent) override;
    bool viewportEvent(QEvent* pEvent) override;
    void focusInEvent(QFocusEvent* pEvent) override;
    void focusOutEvent(QFocusEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;

    void Notify(int nCode);

private:
    void OnSelectionChanged();
    void OnHeaderClicked(int nSection);

    bool m_bNotifyParent = true;
    bool m_bSelChangePosted = false;
    int m_nColumnCount = 0;
};
