#include "controls/CComboBoxCtrl.h"

#include "controls/CGridModel.h"

Q_DECLARE_METATYPE(CItemData)

namespace {

// Item data lives in its own role, so the entries' texts and icons stay the combo's own.
constexpr int kItemDataRole = Qt::UserRole + 0x51;

} // namespace

CComboBoxCtrl::CComboBoxCtrl(QWidget* parent) : QComboBox(parent)
{
    connect(this, &QComboBox::currentIndexChanged, this, [this] { NotifySelChange(); });
    HookWindow();
}

CComboBoxCtrl::~CComboBoxCtrl() = default;

QWidget* CComboBoxCtrl::Window() const
{
    return const_cast<CComboBoxCtrl*>(this);
}

bool CComboBoxCtrl::Attach(int nId, QWidget* pParent)
{
    return AttachToTemplate(nId, pParent);
}

int CComboBoxCtrl::SortedPosition(const QString& strText) const
{
    // Binary search for the first entry that sorts after the text.
    int nLow = 0;
    int nHigh = count();
    while (nLow < nHigh) {
        const int nMid = nLow + (nHigh - nLow) / 2;
        if (CGridModel::CompareKeys(strText, itemText(nMid)) < 0)
            nHigh = nMid;
        else
            nLow = nMid + 1;
    }
    return nLow;
}

int CComboBoxCtrl::AddItem(const QString& strText, CItemData data)
{
    const int nIndex = m_bSorted ? SortedPosition(strText) : count();
    insertItem(nIndex, strText);
    setItemData(nIndex, QVariant::fromValue(std::move(data)), kItemDataRole);
    return nIndex;
}

int CComboBoxCtrl::InsertItemCells(int nIndex, const QStringList& cells, CItemData data)
{
    if (nIndex < 0)
        return -1;
    const QString strText = cells.isEmpty() ? QString() : cells.first();
    if (m_bSorted)
        return AddItem(strText, std::move(data));
    nIndex = std::min(nIndex, count());
    insertItem(nIndex, strText);
    setItemData(nIndex, QVariant::fromValue(std::move(data)), kItemDataRole);
    return nIndex;
}

int CComboBoxCtrl::RemoveItem(int nIndex)
{
    if (nIndex < 0 || nIndex >= count())
        return -1;
    removeItem(nIndex);
    return count();
}

void CComboBoxCtrl::RemoveAllItems()
{
    clear();
}

int CComboBoxCtrl::CountItems() const
{
    return count();
}

bool CComboBoxCtrl::GetItemValue(int nIndex, CItemData& data) const
{
    if (nIndex < 0 || nIndex >= count())
        return false;
    const QVariant value = itemData(nIndex, kItemDataRole);
    data = value.isValid() ? value.value<CItemData>() : CItemData();
    return true;
}

bool CComboBoxCtrl::GetItemCells(int nIndex, QStringList& cells) const
{
    if (nIndex < 0 || nIndex >= count())
        return false;
    cells.append(itemText(nIndex));
    return true;
}

bool CComboBoxCtrl::SetItemValue(int nIndex, CItemData data)
{
    if (nIndex < 0 || nIndex >= count())
        return false;
    setItemData(nIndex, QVariant::fromValue(std::move(data)), kItemDataRole);
    return true;
}

bool CComboBoxCtrl::SetItemCells(int nIndex, const QStringList& cells)
{
    if (nIndex < 0 || nIndex >= count())
        return false;
    setItemText(nIndex, cells.isEmpty() ? QString() : cells.first());
    return true;
}

int CComboBoxCtrl::FindItemLine(const QString& strText) const
{
    for (int i = 0; i < count(); ++i) {
        if (itemText(i).startsWith(strText, Qt::CaseInsensitive))
            return i;
    }
    return -1;
}

int CComboBoxCtrl::SelectItem(int nIndex)
{
    if (nIndex < -1 || nIndex >= count())
        return -1;
    setCurrentIndex(nIndex);
    return nIndex;
}

int CComboBoxCtrl::GetCurrentItem() const
{
    return currentIndex();
}

int CComboBoxCtrl::GetSelectedItems(std::vector<int>& indices) const
{
    indices.clear();
    if (currentIndex() >= 0)
        indices.push_back(currentIndex());
    return static_cast<int>(indices.size());
}

bool CComboBoxCtrl::SetItemSelected(int nIndex, bool bSelected)
{
    if (nIndex < 0 || nIndex >= count())
        return false;
    if (bSelected)
        setCurrentIndex(nIndex);
    else if (currentIndex() == nIndex)
        setCurrentIndex(-1);
    return true;
}

bool CComboBoxCtrl::event(QEvent* pEvent)
{
    if (HandleCollectionMessage(pEvent))
        return true;
    return QComboBox::event(pEvent);
}
