#include "findwnd/CSelectActiveSQLServerDlg.h"

#include "catalog/CObjectModel.h"
#include "controls/CGridModel.h"
#include "controls/CSuperApp.h"
#include "res/CDialogBuilder.h"
#include "res/DialogTemplate.h"
#include "res/Resource.h"

#include <QAbstractButton>
#include <QListWidget>

namespace {

// Entries sort as the library's other sorted lists do: without regard to case.
class CServerItem : public QListWidgetItem
{
public:
    explicit CServerItem(const QString& strText) : QListWidgetItem(strText) {}
    bool operator<(const QListWidgetItem& other) const override
    {
        return CGridModel::CompareKeys(text(), other.text()) < 0;
    }
};

// The names the modern library's application object gives; the legacy library is asked
// only when the modern one cannot make that object. A failed listing gives nothing.
std::vector<std::u16string> ListActiveServers()
{
    for (const EFlavour flavour : {EFlavour::Modern, EFlavour::Legacy}) {
        const std::shared_ptr<ILibrary> pLibrary = CObjectModel::GetLibrary(flavour);
        const std::shared_ptr<IApplication> pApplication =
            pLibrary ? pLibrary->CreateApplication() : nullptr;
        if (!pApplication)
            continue;
        std::vector<std::u16string> names;
        if (!pApplication->ListAvailableServers(names))
            names.clear();
        return names;
    }
    return {};
}

} // namespace

CSelectActiveSQLServerDlg::CSelectActiveSQLServerDlg(QWidget* pParent) : QDialog(pParent)
{
    setObjectName(QStringLiteral("CSelectActiveSQLServerDlg"));
    if (const SDialogTemplate* pTemplate = DialogTemplates::Find(IDD_SELECT_SERVER))
        CDialogBuilder().Build(*pTemplate, this);
    setFixedSize(size());
    m_pServerList = qobject_cast<QListWidget*>(GetControl(IDC_SERVER_LIST));
    if (auto* pOk = qobject_cast<QAbstractButton*>(GetControl(IDOK)))
        connect(pOk, &QAbstractButton::clicked, this, &CSelectActiveSQLServerDlg::accept);
    if (auto* pCancel = qobject_cast<QAbstractButton*>(GetControl(IDCANCEL)))
        connect(pCancel, &QAbstractButton::clicked, this, &CSelectActiveSQLServerDlg::reject);
    OnInitDialog();
}

CSelectActiveSQLServerDlg::~CSelectActiveSQLServerDlg() = default;

QWidget* CSelectActiveSQLServerDlg::GetControl(int nId) const
{
    return CDialogBuilder::FindControl(this, nId);
}

void CSelectActiveSQLServerDlg::OnInitDialog()
{
    UpdateData(false);
    if (m_pServerList == nullptr)
        return;
    {
        // The network search may take a while; no message comes of it either way.
        const CWaitCursor wait;
        for (const std::u16string& strName : ListActiveServers())
            m_pServerList->addItem(new CServerItem(QString::fromStdU16String(strName)));
    }
    m_pServerList->setFocus();
}

void CSelectActiveSQLServerDlg::UpdateData(bool bSaveAndValidate)
{
    if (!bSaveAndValidate || m_pServerList == nullptr)
        return;
    const QList<QListWidgetItem*> selected = m_pServerList->selectedItems();
    m_strServer = selected.isEmpty() ? QString() : selected.front()->text();
}

void CSelectActiveSQLServerDlg::accept()
{
    UpdateData(true);
    QDialog::accept();
}
