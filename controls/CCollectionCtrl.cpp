#include "controls/CCollectionCtrl.h"

#include "controls/CMessageEvent.h"
#include "controls/CSuperApp.h"

#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QWidget>
#include <algorithm>

namespace {

// Message text 3016: what the progress shows after the file's name.
constexpr int kIdsExporting = 3016;

std::vector<std::u16string> ToU16(const QStringList& list)
{
    std::vector<std::u16string> out;
    out.reserve(static_cast<size_t>(list.size()));
    for (const QString& str : list)
        out.push_back(str.toStdU16String());
    return out;
}

// The control's rows as the export writer reads them.
class CCollectionRows : public IExportRows
{
public:
    explicit CCollectionRows(const CCollectionCtrl& ctrl) : m_ctrl(ctrl) {}

    int GetRowCount() override { return m_ctrl.CountItems(); }
    bool GetRowCells(int row, std::vector<std::u16string>& cells) override
    {
        QStringList list;
        if (!m_ctrl.GetItemCells(row, list))
            return false;
        cells = ToU16(list);
        return true;
    }

private:
    const CCollectionCtrl& m_ctrl;
};

} // namespace

CCollectionCtrl::CCollectionCtrl() = default;
CCollectionCtrl::~CCollectionCtrl() = default;

QStringList CCollectionCtrl::SplitLine(const QString& strText)
{
    return strText.split(QLatin1Char('\t'), Qt::KeepEmptyParts);
}

int CCollectionCtrl::AddItemCells(const QStringList& cells, CItemData data)
{
    return InsertItemCells(CountItems(), cells, std::move(data));
}

int CCollectionCtrl::AddItem(const QString& strText, CItemData data)
{
    return InsertItemLine(CountItems(), strText, std::move(data));
}

int CCollectionCtrl::AddItemLines(std::vector<SItemLine>& lines)
{
    int nAdded = 0;
    for (SItemLine& line : lines) {
        if (AddItem(line.m_strText, std::move(line.m_data)) >= 0)
            ++nAdded;
    }
    lines.clear();
    return nAdded;
}

int CCollectionCtrl::InsertItemLine(int nIndex, const QString& strText, CItemData data)
{
    return InsertItemCells(nIndex, SplitLine(strText), std::move(data));
}

bool CCollectionCtrl::GetItemLine(int nIndex, QString& strText, CItemData& data) const
{
    QStringList cells;
    CItemData value;
    if (!GetItemCells(nIndex, cells) || !GetItemValue(nIndex, value))
        return false;
    strText = cells.join(QLatin1Char('\t'));
    data = std::move(value);
    return true;
}

bool CCollectionCtrl::GetItemLine(int nIndex, QString& strText) const
{
    QStringList cells;
    if (!GetItemCells(nIndex, cells))
        return false;
    strText = cells.join(QLatin1Char('\t'));
    return true;
}

bool CCollectionCtrl::SetItemLine(int nIndex, const QString& strText)
{
    return SetItemCells(nIndex, SplitLine(strText));
}

int CCollectionCtrl::FindAndSelectItem(const QString& strText)
{
    const int nRow = FindItemLine(strText);
    return nRow < 0 ? -1 : SelectItem(nRow);
}

int CCollectionCtrl::GetSelectedItems(int nMax, std::vector<int>& indices) const
{
    std::vector<int> all;
    GetSelectedItems(all);
    if (nMax >= 0 && all.size() > static_cast<size_t>(nMax))
        all.resize(static_cast<size_t>(nMax));
    indices = std::move(all);
    return static_cast<int>(indices.size());
}

int CCollectionCtrl::CountSelectedItems() const
{
    std::vector<int> indices;
    return GetSelectedItems(indices);
}

bool CCollectionCtrl::SetColumns(const QStringList&)
{
    return false;
}

bool CCollectionCtrl::SetColumnsLine(const QString& strText)
{
    return SetColumns(strText.isEmpty() ? QStringList() : SplitLine(strText));
}

bool CCollectionCtrl::SetColumnAlign(int, Qt::Alignment)
{
    return false;
}

bool CCollectionCtrl::SetColumnSize(int, int)
{
    return false;
}

bool CCollectionCtrl::GetColumnTitles(QStringList& titles) const
{
    titles.clear();
    return false;
}

bool CCollectionCtrl::GetColumnTitlesLine(QString& strText) const
{
    QStringList titles;
    if (!GetColumnTitles(titles))
        return false;
    strText = titles.join(QLatin1Char('\t'));
    return true;
}

Qt::Alignment CCollectionCtrl::GetColumnAlign(int) const
{
    return Qt::AlignLeft | Qt::AlignVCenter;
}

int CCollectionCtrl::GetColumnSize(int) const
{
    return -1;
}

void CCollectionCtrl::NotifySelChange()
{
    QWidget* pWindow = GetWindow();
    if (pWindow == nullptr || pWindow->parentWidget() == nullptr)
        return;
    SendMessage(pWindow->parentWidget(), CLN_SELCHANGE, static_cast<quintptr>(GetControlId()),
                reinterpret_cast<qintptr>(pWindow));
}

SExportResult CCollectionCtrl::Export(
    const std::function<SExportResult(const std::vector<std::u16string>&, IExportRows&,
                                      const std::optional<std::vector<int>>&,
                                      const SExportSettings&, const SExportHooks&)>& write,
    const QString& strProgress, const QString& strColumnSeparator, const QString& strRowSeparator,
    bool bSelectedOnly, const QStringList& columns, bool bNarrow)
{
    QStringList titles;
    const bool bTitles = GetColumnTitles(titles);

    SExportSettings settings;
    settings.m_strColumnSeparator = strColumnSeparator.toStdU16String();
    settings.m_strRowSeparator = strRowSeparator.toStdU16String();
    // Without titles of its own the list cannot be mapped: its cells go out as they are.
    if (bTitles)
        settings.m_columns = ToU16(columns);
    settings.m_bNarrow = bNarrow;

    std::optional<std::vector<int>> selected;
    if (bSelectedOnly) {
        selected.emplace();
        GetSelectedItems(*selected);
    }

    QString strText = strProgress;
    QString strMessage;
    if (CSuperApp::GetMessageText(kIdsExporting, strMessage))
        strText += strMessage;
    SExportHooks hooks;
    hooks.m_shouldStop = [] { return CSuperApp::StopRequested(); };
    hooks.m_progress = [strText](std::int64_t done, std::int64_t total) {
        CSuperApp::Progress(strText, static_cast<int>(done), static_cast<int>(total));
    };

    CCollectionRows rows(*this);
    return write(ToU16(titles), rows, selected, settings, hooks);
}

SExportResult CCollectionCtrl::ExportItems(std::ostream& out, const QString& strColumnSeparator,
                                           const QString& strRowSeparator, bool bSelectedOnly,
                                           const QStringList& columns, bool bNarrow)
{
    auto write = [&out](const std::vector<std::u16string>& titles, IExportRows& rows,
                        const std::optional<std::vector<int>>& selected,
                        const SExportSettings& settings, const SExportHooks& hooks) {
        return ::ExportItems(out, titles, rows, selected, settings, hooks);
    };
    return Export(write, QString(), strColumnSeparator, strRowSeparator, bSelectedOnly, columns,
                  bNarrow);
}

SExportResult CCollectionCtrl::ExportItems(const QString& strPath,
                                           const QString& strColumnSeparator,
                                           const QString& strRowSeparator, bool bSelectedOnly,
                                           const QStringList& columns, bool bNarrow)
{
    const std::string path = QFile::encodeName(strPath).toStdString();
    auto write = [&path](const std::vector<std::u16string>& titles, IExportRows& rows,
                         const std::optional<std::vector<int>>& selected,
                         const SExportSettings& settings, const SExportHooks& hooks) {
        return ::ExportItems(path, titles, rows, selected, settings, hooks);
    };
    return Export(write, QFileInfo(strPath).fileName() + QLatin1Char(' '), strColumnSeparator,
                  strRowSeparator, bSelectedOnly, columns, bNarrow);
}

bool CCollectionCtrl::IsMessageEnabled(quintptr nMessage) const
{
    return nMessage == WM_COPY && CountSelectedItems() > 0;
}

QString CCollectionCtrl::GetSelectionText() const
{
    std::vector<int> rows;
    GetSelectedItems(rows);
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(rows.size()));
    for (int nRow : rows) {
        QString strLine;
        if (GetItemLine(nRow, strLine))
            lines.append(strLine);
    }
    return lines.join(QStringLiteral("\r\n"));
}

bool CCollectionCtrl::CopySelection()
{
    if (CountSelectedItems() == 0)
        return false;
    CWaitCursor wait;
    const QString strText = GetSelectionText();
    if (QClipboard* pClipboard = QGuiApplication::clipboard())
        pClipboard->setText(strText);
    return true;
}

bool CCollectionCtrl::HandleCollectionMessage(QEvent* pEvent)
{
    if (pEvent->type() != WM_ISMSGENABLED)
        return false;
    auto* pMessage = static_cast<CMessageEvent*>(pEvent);
    pMessage->SetAnswer(IsMessageEnabled(pMessage->WParam()) ? 1 : 0);
    return true;
}
