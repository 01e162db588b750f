#pragma once
// A combo box that is a collection control: one cell per entry, item data per entry, and,
// when sorted, new entries placed in ascending order (after equal ones) like a sorted
// combo box. Entries added with the plain QComboBox calls carry empty item data.

#include "controls/CCollectionCtrl.h"

#include <QComboBox>

class CComboBoxCtrl : public QComboBox, public CCollectionCtrl
{
    Q_OBJECT
public:
    explicit CComboBoxCtrl(QWidget* parent = nullptr);
    ~CComboBoxCtrl() override;

    QWidget* Window() const override;
    bool Attach(int nId, QWidget* pParent) override;

    // Keeps entries in ascending order of their text (case-insensitive).
    void SetSorted(bool bSorted) { m_bSorted = bSorted; }
    bool IsSorted() const { return m_bSorted; }

    void LockRedraw() override { setUpdatesEnabled(false); }
    void UnlockRedraw() override { setUpdatesEnabled(true); }

    // Adds the entry (at its sorted place when sorted) and then its item data; answers
    // the entry's index.
    int AddItem(const QString& strText, CItemData data = {}) override;
    // Only the first cell is kept: an entry has one text.
    int InsertItemCells(int nIndex, const QStringList& cells, CItemData data = {}) override;
    int RemoveItem(int nIndex) override;
    void RemoveAllItems() override;
    int CountItems() const override;
    bool GetItemValue(int nIndex, CItemData& data) const override;
    bool GetItemCells(int nIndex, QStringList& cells) const override;
    bool SetItemValue(int nIndex, CItemData data) override;
    bool SetItemCells(int nIndex, const QStringList& cells) override;
    int FindItemLine(const QString& strText) const override;

    int SelectItem(int nIndex) override;
    // The selected entry, or -1.
    int GetCurrentItem() const override;
    using CCollectionCtrl::GetSelectedItems;
    int GetSelectedItems(std::vector<int>& indices) const override;
    bool SetItemSelected(int nIndex, bool bSelected) override;

protected:
    bool event(QEvent* pEvent) override;

private:
    int SortedPosition(const QString& strText) const;

    bool m_bSorted = false;
};
