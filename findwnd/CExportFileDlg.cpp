#include "findwnd/CExportFileDlg.h"

#include "controls/CComboBoxCtrl.h"
#include "platform/CProfile.h"
#include "res/CDialogBuilder.h"
#include "res/DialogTemplate.h"
#include "res/Resource.h"
#include "res/StringTable.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QString ProfileString(CProfile& profile, const std::u16string& section, const QString& strEntry)
{
    return QString::fromStdU16String(
        profile.GetProfileString(section, strEntry.toStdU16String(), u""));
}

void WriteString(CProfile& profile, const std::u16string& section, const QString& strEntry,
                 const QString& strValue)
{
    profile.WriteProfileString(section, strEntry.toStdU16String(), strValue.toStdU16String());
}

} // namespace

CExportFileDlg::CExportFileDlg(const QString& strFilter, QWidget* pParent) : QFileDialog(pParent)
{
    // The panel goes into the dialog's own layout, which only Qt's dialog has.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setDefaultSuffix(u"txt"_s);
    const QStringList filters = ParseFilter(strFilter);
    if (!filters.isEmpty())
        setNameFilters(filters);

    m_strColumnSeparator = u"\t"_s;
    m_strRowSeparator = u"\r\n"_s;
    m_strColumnSeparatorName = u";"_s;
    m_strRowSeparatorName = StringTable::Get(IDS_SEP_CRLF);

    // The column separator's name comes in first with a tab and is replaced last by the
    // semicolon, so no entry offers the tab.
    m_separators[m_strColumnSeparatorName] = u"\t"_s;
    m_separators[StringTable::Get(IDS_SEP_NEWLINE)] = u"\n"_s;
    m_separators[StringTable::Get(IDS_SEP_CRLF)] = u"\r\n"_s;
    m_separators[StringTable::Get(IDS_SEP_SPACE)] = u" "_s;
    m_separators[u";"_s] = u";"_s;
}

CExportFileDlg::~CExportFileDlg() = default;

QStringList CExportFileDlg::ParseFilter(const QString& strFilter)
{
    QStringList filters;
    const QStringList parts = strFilter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString strName = parts[i].trimmed();
        if (strName.isEmpty())
            break; // "||" ends the list
        QStringList patterns;
        const QStringList raw = parts[i + 1].split(u';', Qt::SkipEmptyParts);
        for (const QString& strPattern : raw) {
            const QString strTrimmed = strPattern.trimmed();
            if (strTrimmed.isEmpty())
                continue;
            // "*.*" would miss every file without a dot.
            patterns.append(strTrimmed == u"*.*"_s ? u"*"_s : strTrimmed);
        }
        if (patterns.isEmpty())
            patterns.append(u"*"_s);
        // Qt reads the patterns from the parentheses at the end of the name.
        const qsizetype nOpen = strName.lastIndexOf(u'(');
        if (nOpen >= 0 && strName.endsWith(u')'))
            strName = strName.left(nOpen).trimmed();
        filters.append(strName + u" ("_s + patterns.join(u' ') + u')');
    }
    return filters;
}

QString CExportFileDlg::SeparatorNameForCode(const SeparatorTable& separators,
                                             const QString& strCode)
{
    if (separators.find(strCode) != separators.end())
        return strCode;
    for (const auto& [strName, strChars] : separators) {
        if (strChars == strCode)
            return strName;
    }
    return strCode;
}

void CExportFileDlg::LoadExportSettings(CProfile& profile, const QString& strSection)
{
    const std::u16string section = strSection.toStdU16String();

    const QString strLastExport =
        ProfileString(profile, section, StringTable::Get(IDS_LAST_EXPORT));
    if (!strLastExport.isEmpty())
        m_strInitialFileName = strLastExport;

    // A stored separator that no entry offers becomes an entry of its own.
    const auto loadSeparator = [&](int nEntryId, QString& strName) {
        const QString strChars = ProfileString(profile, section, StringTable::Get(nEntryId));
        if (strChars.isEmpty())
            return;
        strName = SeparatorNameForCode(m_separators, strChars);
        m_separators.try_emplace(strName, strChars);
    };
    loadSeparator(IDS_LAST_COLSEP, m_strColumnSeparatorName);
    loadSeparator(IDS_LAST_ROWSEP, m_strRowSeparatorName);

    if (m_nHasColumnList == 0)
        return;
    const QString strKey = m_columnTitles.join(u'-');
    const QString strOrder = ProfileString(profile, section, strKey);
    m_listOrder = strOrder.isEmpty() ? QStringList() : strOrder.split(u'\t');
    const QString strTicked =
        ProfileString(profile, section, strKey + StringTable::Get(IDS_SELECTED_SUFFIX));
    if (strTicked.isEmpty())
        return;
    const QStringList parts = strTicked.split(u'\t');
    for (const QString& strPart : parts) {
        // An empty or unreadable part counts as 0.
        m_tickedPositions.push_back(strPart.toUInt());
    }
}

void CExportFileDlg::SaveExportSettings(CProfile& profile, const QString& strSection) const
{
    const std::u16string section = strSection.toStdU16String();
    // One rewrite of the settings for all the values.
    CKeyStore::CBatch batch = profile.BeginBatch();
    WriteString(profile, section, StringTable::Get(IDS_LAST_EXPORT), m_strPathName);
    WriteString(profile, section, StringTable::Get(IDS_LAST_COLSEP), m_strColumnSeparator);
    WriteString(profile, section, StringTable::Get(IDS_LAST_ROWSEP), m_strRowSeparator);
    if (m_nHasColumnList == 0)
        return;
    const QString strKey = m_columnTitles.join(u'-');
    WriteString(profile, section, strKey, m_listOrder.join(u'\t'));
    QStringList ticked;
    for (unsigned nPosition : m_tickedPositions)
        ticked.append(QString::number(nPosition));
    WriteString(profile, section, strKey + StringTable::Get(IDS_SELECTED_SUFFIX),
                ticked.join(u'\t'));
}

int CExportFileDlg::DoModal()
{
    OnInitDialog();
    return exec();
}

QString CExportFileDlg::GetPathName() const
{
    return m_strPathName;
}

QWidget* CExportFileDlg::GetPanelControl(int nId) const
{
    return m_pPanel == nullptr ? nullptr : CDialogBuilder::FindControl(m_pPanel, nId);
}

void CExportFileDlg::AttachPanel()
{
    const SDialogTemplate* pTemplate = DialogTemplates::Find(m_nPanelTemplate);
    if (pTemplate == nullptr || m_pPanel != nullptr)
        return;
    m_pPanel = new QWidget(this);
    CDialogBuilder().Build(*pTemplate, m_pPanel);
    m_pPanel->setMinimumSize(m_pPanel->size());

    // The separators are sorted combo boxes with an edit field that take what is typed
    // literally: no completion, and Return adds no entry.
    for (const int nId : {IDC_COLUMN_SEPARATOR, IDC_ROW_SEPARATOR}) {
        auto* pCombo = new CComboBoxCtrl(m_pPanel);
        pCombo->setEditable(true);
        pCombo->setInsertPolicy(QComboBox::NoInsert);
        pCombo->setCompleter(nullptr);
        pCombo->SetSorted(true);
        pCombo->Attach(nId, m_pPanel);
    }

    // The dialog grows by the panel, so its own controls keep their room.
    resize(std::max(width(), m_pPanel->width()), height() + m_pPanel->height());
    if (auto* pGrid = qobject_cast<QGridLayout*>(layout())) {
        pGrid->addWidget(m_pPanel, pGrid->rowCount(), 0, 1, pGrid->columnCount());
    } else if (layout() != nullptr) {
        layout()->addWidget(m_pPanel);
    }
}

void CExportFileDlg::OnInitDialog()
{
    if (!m_strInitialFileName.isEmpty())
        selectFile(m_strInitialFileName);
    AttachPanel();
    if (m_pPanel == nullptr)
        return;

    FillSeparatorCombo(IDC_COLUMN_SEPARATOR, m_separators, m_strColumnSeparatorName);
    FillSeparatorCombo(IDC_ROW_SEPARATOR, m_separators, m_strRowSeparatorName);
    // The separators' names are known only now: the panel makes room for the longest.
    CDialogBuilder().FitControls(m_pPanel);
    m_pPanel->setMinimumSize(m_pPanel->size());
    if (m_pPanel->width() > width())
        resize(m_pPanel->width(), height());

    if (auto* pSelection = qobject_cast<QCheckBox*>(GetPanelControl(IDC_SELECTION_ONLY))) {
        pSelection->setChecked(m_nSelectionOnly > 0);
        if (m_nSelectionOnly == -1)
            pSelection->setEnabled(false);
    }
    if (auto* pOpen = qobject_cast<QCheckBox*>(GetPanelControl(IDC_OPEN_EXPORT_FILE)))
        pOpen->setChecked(m_nOpenExportFile != 0);

    if (m_nHasColumnList != 0)
        m_pColumnList = qobject_cast<QListWidget*>(GetPanelControl(IDC_COLUMN_LIST));
    auto* pUp = qobject_cast<QAbstractButton*>(GetPanelControl(IDC_MOVE_UP));
    auto* pDown = qobject_cast<QAbstractButton*>(GetPanelControl(IDC_MOVE_DOWN));
    auto* pDefault = qobject_cast<QAbstractButton*>(GetPanelControl(IDC_DEFAULT_COLUMNS));
    auto* pLast = qobject_cast<QAbstractButton*>(GetPanelControl(IDC_LAST_EXPORT_COLUMNS));
    if (m_pColumnList != nullptr) {
        m_pColumnList->setSortingEnabled(false);
        connect(m_pColumnList, &QListWidget::itemSelectionChanged, this, [this] {
            if (!m_bMoving)
                UpdateMoveButtons();
        });
        if (pUp != nullptr)
            connect(pUp, &QAbstractButton::clicked, this, [this] { MoveColumns(-1); });
        if (pDown != nullptr)
            connect(pDown, &QAbstractButton::clicked, this, [this] { MoveColumns(+1); });
        if (pDefault != nullptr)
            connect(pDefault, &QAbstractButton::clicked, this, [this] { FillColumnsDefault(); });
        if (pLast != nullptr)
            connect(pLast, &QAbstractButton::clicked, this, [this] { FillColumnsLastExport(); });

        if (!m_listOrder.isEmpty()) {
            FillColumnsLastExport();
            if (pLast != nullptr)
                pLast->setChecked(true);
        } else {
            FillColumnsDefault();
            if (pDefault != nullptr)
                pDefault->setChecked(true);
            if (pLast != nullptr)
                EnableControl(pLast, false);
        }
    }

    const struct
    {
        QAbstractButton* pButton;
        QStyle::StandardPixmap pixmap;
    } arrows[] = {{pUp, QStyle::SP_ArrowUp}, {pDown, QStyle::SP_ArrowDown}};
    for (const auto& arrow : arrows) {
        if (arrow.pButton == nullptr)
            continue;
        // The arrow replaces the caption, which stays as the button's name and tooltip.
        const QString strCaption = arrow.pButton->text();
        arrow.pButton->setAccessibleName(strCaption);
        arrow.pButton->setToolTip(strCaption);
        arrow.pButton->setText(QString());
        arrow.pButton->setIcon(style()->standardIcon(arrow.pixmap, nullptr, arrow.pButton));
        arrow.pButton->setIconSize(QSize(16, 16));
    }
}

void CExportFileDlg::FillSeparatorCombo(int nId, const SeparatorTable& separators,
                                        const QString& strName)
{
    auto* pCombo = dynamic_cast<CComboBoxCtrl*>(GetPanelControl(nId));
    if (pCombo == nullptr)
        return;
    for (const auto& entry : separators)
        pCombo->AddItem(entry.first);
    const int nFound = pCombo->FindItemLine(strName);
    if (nFound >= 0)
        pCombo->SelectItem(nFound);
    // A long name shows its beginning.
    if (pCombo->lineEdit() != nullptr)
        pCombo->lineEdit()->setCursorPosition(0);
}

void CExportFileDlg::FillColumnsDefault()
{
    if (m_pColumnList == nullptr)
        return;
    m_pColumnList->clear();
    for (const QString& strTitle : m_columnTitles) {
        auto* pItem = new QListWidgetItem(strTitle, m_pColumnList);
        pItem->setFlags(pItem->flags() | Qt::ItemIsUserCheckable);
        pItem->setCheckState(Qt::Checked);
    }
    AfterColumnsFilled();
}

void CExportFileDlg::FillColumnsLastExport()
{
    if (m_pColumnList == nullptr)
        return;
    m_pColumnList->clear();
    for (const QString& strTitle : m_listOrder) {
        auto* pItem = new QListWidgetItem(strTitle, m_pColumnList);
        pItem->setFlags(pItem->flags() | Qt::ItemIsUserCheckable);
        pItem->setCheckState(Qt::Unchecked);
    }
    for (unsigned nPosition : m_tickedPositions) {
        if (nPosition < static_cast<unsigned>(m_pColumnList->count()))
            m_pColumnList->item(static_cast<int>(nPosition))->setCheckState(Qt::Checked);
    }
    AfterColumnsFilled();
}

void CExportFileDlg::AfterColumnsFilled()
{
    // The list scrolls sideways by itself when an entry is wider than it.
    EnableControl(m_pColumnList, m_pColumnList->count() > 1);
    UpdateMoveButtons();
}

void CExportFileDlg::MoveColumns(int nDelta)
{
    if (m_pColumnList == nullptr)
        return;
    std::vector<int> selected;
    for (int i = 0; i < m_pColumnList->count(); ++i) {
        if (m_pColumnList->item(i)->isSelected())
            selected.push_back(i);
    }
    if (selected.empty())
        return;

    // The entries leave and come back one by one: the buttons follow once at the end, so
    // a focused button is not greyed (and robbed of the focus) half-way.
    m_bMoving = true;
    m_pColumnList->setUpdatesEnabled(false);
    const int nTop = m_pColumnList->indexAt(QPoint(0, 0)).row();
    const bool bKeepTop = nTop >= 0 && selected.front() != nTop;
    if (nDelta > 0)
        std::reverse(selected.begin(), selected.end());

    const int nCount = m_pColumnList->count();
    QListWidgetItem* pFirstMoved = nullptr;
    for (int nPosition : selected) {
        const int nTarget = nPosition + nDelta;
        // An entry that would leave the list stays where it is.
        if (nTarget < 0 || nTarget >= nCount)
            continue;
        QListWidgetItem* pItem = m_pColumnList->takeItem(nPosition);
        m_pColumnList->insertItem(nTarget, pItem);
        pItem->setSelected(true);
        if (pFirstMoved == nullptr)
            pFirstMoved = pItem;
    }

    if (bKeepTop) {
        const int nNewTop = std::clamp(nTop + nDelta, 0, nCount - 1);
        m_pColumnList->scrollToItem(m_pColumnList->item(nNewTop), QAbstractItemView::PositionAtTop);
    }
    if (pFirstMoved != nullptr)
        m_pColumnList->scrollToItem(pFirstMoved, QAbstractItemView::EnsureVisible);
    m_pColumnList->setUpdatesEnabled(true);
    m_pColumnList->viewport()->update();
    m_bMoving = false;
    UpdateMoveButtons();
}

void CExportFileDlg::UpdateMoveButtons()
{
    bool bUp = false;
    bool bDown = false;
    if (m_pColumnList != nullptr) {
        const int nCount = m_pColumnList->count();
        for (int i = 0; i < nCount; ++i) {
            if (!m_pColumnList->item(i)->isSelected())
                continue;
            bUp = bUp || i > 0;
            bDown = bDown || i < nCount - 1;
        }
    }
    EnableControl(GetPanelControl(IDC_MOVE_UP), bUp);
    EnableControl(GetPanelControl(IDC_MOVE_DOWN), bDown);
}

void CExportFileDlg::EnableControl(QWidget* pControl, bool bEnable)
{
    if (pControl == nullptr)
        return;
    if (!bEnable && pControl->hasFocus()) {
        for (QWidget* pNext = pControl->nextInFocusChain(); pNext != pControl;
             pNext = pNext->nextInFocusChain()) {
            if (pNext->window() == pControl->window() && pNext->isEnabled() && pNext->isVisible() &&
                (pNext->focusPolicy() & Qt::TabFocus) != 0) {
                pNext->setFocus(Qt::TabFocusReason);
                break;
            }
        }
    }
    pControl->setEnabled(bEnable);
}

QString CExportFileDlg::ReadSeparator(int nComboId) const
{
    const auto* pCombo = qobject_cast<const QComboBox*>(GetPanelControl(nComboId));
    if (pCombo == nullptr)
        return QString();
    // The edit field holds the selected entry's text unless something else was typed over
    // it; either way that text is the choice. A display name stands for its characters.
    const QString strText = pCombo->currentText();
    const auto it = m_separators.find(strText);
    return it != m_separators.end() ? it->second : strText;
}

void CExportFileDlg::GatherFields()
{
    if (m_pPanel == nullptr)
        return;
    if (GetPanelControl(IDC_COLUMN_SEPARATOR) != nullptr)
        m_strColumnSeparator = ReadSeparator(IDC_COLUMN_SEPARATOR);
    if (GetPanelControl(IDC_ROW_SEPARATOR) != nullptr)
        m_strRowSeparator = ReadSeparator(IDC_ROW_SEPARATOR);
    if (auto* pSelection = qobject_cast<QCheckBox*>(GetPanelControl(IDC_SELECTION_ONLY)))
        m_nSelectionOnly = pSelection->isChecked() ? 1 : 0;
    if (auto* pOpen = qobject_cast<QCheckBox*>(GetPanelControl(IDC_OPEN_EXPORT_FILE)))
        m_nOpenExportFile = pOpen->isChecked() ? 1 : 0;

    m_chosenColumns.clear();
    m_listOrder.clear();
    m_tickedPositions.clear();
    if (m_nHasColumnList == 0 || m_pColumnList == nullptr)
        return;
    for (int i = 0; i < m_pColumnList->count(); ++i) {
        const QListWidgetItem* pItem = m_pColumnList->item(i);
        m_listOrder.append(pItem->text());
        if (pItem->checkState() == Qt::Checked) {
            m_chosenColumns.append(pItem->text());
            m_tickedPositions.push_back(static_cast<unsigned>(i));
        }
    }
}

void CExportFileDlg::done(int nResult)
{
    GatherFields();
    if (nResult == QDialog::Accepted)
        m_strPathName = selectedFiles().value(0);
    QFileDialog::done(nResult);
}
