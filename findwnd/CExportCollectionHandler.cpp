#include "findwnd/CExportCollectionHandler.h"

#include "controls/CCollectionCtrl.h"
#include "controls/CCommandTarget.h"
#include "controls/CSuperApp.h"
#include "findwnd/CExportFileDlg.h"
#include "platform/CShell.h"
#include "platform/SystemError.h"
#include "res/Resource.h"

#include <QApplication>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace {

CCollectionCtrl* AsCollection(QWidget* pWidget)
{
    return dynamic_cast<CCollectionCtrl*>(CControl::FromWidget(pWidget));
}

bool HasRows(QWidget* pWidget)
{
    const CCollectionCtrl* pCollection = AsCollection(pWidget);
    return pCollection != nullptr && pCollection->CountItems() > 0;
}

void ShowError(const QString& strText)
{
    CSuperApp::MessageBox(strText, CSuperApp::EIcon::Error);
}

} // namespace

CExportCollectionHandler::CExportCollectionHandler(CProfile& profile) : m_profile(profile) {}

CExportCollectionHandler::~CExportCollectionHandler() = default;

QString CExportCollectionHandler::SectionName()
{
    return u"Export"_s;
}

void CExportCollectionHandler::UpdateCommandUI(CCmdUI& cmdUI)
{
    QWidget* pFocus = QApplication::focusWidget();
    cmdUI.Enable(pFocus != nullptr && (HasRows(pFocus) || HasRows(pFocus->parentWidget())));
}

void CExportCollectionHandler::Export(CCollectionCtrl* pCollection)
{
    if (pCollection == nullptr) {
        QWidget* pFocus = QApplication::focusWidget();
        pCollection = AsCollection(pFocus);
        if (pCollection == nullptr && pFocus != nullptr)
            pCollection = AsCollection(pFocus->parentWidget());
    }
    if (pCollection == nullptr || pCollection->CountItems() <= 0)
        return;

    QString strFilter;
    CSuperApp::GetMessageText(IDS_EXPORT_FILTER, strFilter);
    QWidget* pWindow = pCollection->GetWindow();
    CExportFileDlg dlg(strFilter, pWindow != nullptr ? pWindow->window() : nullptr);
    if (pCollection->GetCurrentItem() < 0 && pCollection->CountSelectedItems() < 1)
        dlg.m_nSelectionOnly = -1;
    pCollection->GetColumnTitles(dlg.m_columnTitles);
    dlg.m_nHasColumnList = dlg.m_columnTitles.size() > 1 ? 1 : 0;
    dlg.SetPanelTemplate(dlg.m_nHasColumnList != 0 ? IDD_EXPORT_COLUMNS : IDD_EXPORT_SIMPLE);
    dlg.LoadExportSettings(m_profile, SectionName());

    if (dlg.DoModal() != QDialog::Accepted)
        return;
    if (dlg.m_nHasColumnList != 0 && dlg.m_chosenColumns.isEmpty())
        return;
    dlg.SaveExportSettings(m_profile, SectionName());

    const QString strPath = dlg.GetPathName();
    SExportResult result;
    {
        CWaitCursor wait;
        result = pCollection->ExportItems(strPath, dlg.m_strColumnSeparator, dlg.m_strRowSeparator,
                                          dlg.m_nSelectionOnly == 1, dlg.m_chosenColumns, true);
    }
    // A file that cannot be created and a write that fails half-way (disk full) both end
    // here; the rows written so far stay in the file.
    if (!result.m_error.IsOk()) {
        const std::u16string text = result.m_error.m_strText.empty()
                                        ? SystemErrorText(result.m_error.m_nErrno)
                                        : result.m_error.m_strText;
        ShowError(QString::fromStdU16String(text));
        return;
    }

    if (dlg.m_nOpenExportFile != 0) {
        const int nResult = CShell::Open(strPath.toStdU16String());
        if (nResult <= 32)
            ShowError(QString::fromStdU16String(CShell::LinkErrorText(nResult)));
    }
}
