#include "findwnd/CSelectActiveSQLServerDlg.h"

#include "catalog/CObjectModel.h"
#include "controls/CGridModel.h"
#include "res/CDialogBuilder.h"
#include "res/DialogTemplate.h"
#include "res/Resource.h"

#include <QAbstractButton>
#include <QListWidget>
#include <QThread>
#include <atomic>
#include <mutex>

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

// The application object of the modern library; the legacy library's only when the modern
// one cannot make that object. Made on the user-interface thread, used on the worker.
std::shared_ptr<IApplication> CreateListingApplication()
{
    for (const EFlavour flavour : {EFlavour::Modern, EFlavour::Legacy}) {
        const std::shared_ptr<ILibrary> pLibrary = CObjectModel::GetLibrary(flavour);
        if (std::shared_ptr<IApplication> pApplication =
                pLibrary ? pLibrary->CreateApplication() : nullptr)
            return pApplication;
    }
    return nullptr;
}

} // namespace

// What the dialog and its worker share. The worker hands the names over only while the
// dialog still exists, under the lock the dialog takes when it goes; Qt drops a queued call
// whose receiver has been destroyed.
struct CSelectActiveSQLServerDlg::SListing
{
    std::mutex m_lock;
    CSelectActiveSQLServerDlg* m_pDlg = nullptr; // null once the dialog is gone
    std::atomic<bool> m_bCancel{false};
};

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

CSelectActiveSQLServerDlg::~CSelectActiveSQLServerDlg()
{
    StopListing();
}

QWidget* CSelectActiveSQLServerDlg::GetControl(int nId) const
{
    return CDialogBuilder::FindControl(this, nId);
}

void CSelectActiveSQLServerDlg::OnInitDialog()
{
    UpdateData(false);
    if (m_pServerList == nullptr)
        return;
    m_pServerList->setFocus();
    std::shared_ptr<IApplication> pApplication = CreateListingApplication();
    if (!pApplication) {
        Q_EMIT listed();
        return;
    }
    // The network search waits up to a second for answers: the dialog stays live meanwhile,
    // and Cancel closes it at once. No message comes of the listing either way.
    m_bListing = true;
    setCursor(Qt::BusyCursor);
    m_pListing = std::make_shared<SListing>();
    m_pListing->m_pDlg = this;
    QThread* pThread = QThread::create([pListing = m_pListing, pApplication] {
        std::vector<std::u16string> names;
        if (!pApplication->ListAvailableServersUntil(names, &pListing->m_bCancel))
            names.clear();
        std::lock_guard lock(pListing->m_lock);
        if (pListing->m_pDlg == nullptr || pListing->m_bCancel.load())
            return;
        QMetaObject::invokeMethod(
            pListing->m_pDlg,
            [pDlg = pListing->m_pDlg, names = std::move(names)] { pDlg->OnListed(names); },
            Qt::QueuedConnection);
    });
    pThread->setObjectName(QStringLiteral("server list"));
    connect(pThread, &QThread::finished, pThread, &QObject::deleteLater);
    pThread->start();
}

void CSelectActiveSQLServerDlg::OnListed(const std::vector<std::u16string>& names)
{
    if (!m_bListing)
        return;
    for (const std::u16string& strName : names)
        m_pServerList->addItem(new CServerItem(QString::fromStdU16String(strName)));
    m_bListing = false;
    unsetCursor();
    Q_EMIT listed();
}

void CSelectActiveSQLServerDlg::StopListing()
{
    if (m_pListing) {
        std::lock_guard lock(m_pListing->m_lock);
        m_pListing->m_bCancel = true;
        m_pListing->m_pDlg = nullptr;
    }
    if (m_bListing) {
        m_bListing = false;
        unsetCursor();
    }
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

void CSelectActiveSQLServerDlg::done(int nResult)
{
    // Closing stops the listing: its answers would have nowhere to go.
    StopListing();
    QDialog::done(nResult);
}
