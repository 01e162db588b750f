#include "findwnd/CChkBoxTreeCtrl.h"

#include "catalog/CObjectModel.h"
#include "controls/CSuperApp.h"
#include "findwnd/CHelpPages.h"
#include "findwnd/TreeImages.h"

#include <QHeaderView>

using namespace Qt::StringLiterals;

namespace {

// Login time-out, in seconds, for each library's attempt.
constexpr int kLoginTimeout = 20;

// Tree items that keep one reference to their object.
class CObjectItem : public QTreeWidgetItem
{
public:
    std::shared_ptr<IModelUnknown> m_pObject;
};

QString FromU16(const std::u16string& str)
{
    return QString::fromStdU16String(str);
}

} // namespace

const QString CChkBoxTreeCtrl::kNotAvailable = u" [not available]"_s;

CChkBoxTreeCtrl::CChkBoxTreeCtrl(QWidget* pParent) : QTreeWidget(pParent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(false);
    setIconSize(QSize(16, 16));
}

CChkBoxTreeCtrl::~CChkBoxTreeCtrl()
{
    // Item objects go with the items; nothing else to release.
}

QWidget* CChkBoxTreeCtrl::Window() const
{
    return const_cast<CChkBoxTreeCtrl*>(this);
}

bool CChkBoxTreeCtrl::Attach(int nId, QWidget* pParent)
{
    if (!AttachToTemplate(nId, pParent))
        return false;
    // Hover tracking, as the platform's track-select style.
    setMouseTracking(true);
    setAllColumnsShowFocus(true);
    return true;
}

int CChkBoxTreeCtrl::GetCheck(const QTreeWidgetItem* pItem) const
{
    if (pItem == nullptr || (pItem->flags() & Qt::ItemIsUserCheckable) == 0)
        return -1;
    return pItem->checkState(0) == Qt::Checked ? 1 : 0;
}

bool CChkBoxTreeCtrl::SetCheck(QTreeWidgetItem* pItem, bool bTicked)
{
    if (pItem == nullptr)
        return false;
    pItem->setFlags(pItem->flags() | Qt::ItemIsUserCheckable);
    pItem->setCheckState(0, bTicked ? Qt::Checked : Qt::Unchecked);
    return true;
}

std::shared_ptr<IModelUnknown> CChkBoxTreeCtrl::GetItemObject(const QTreeWidgetItem* pItem)
{
    const auto* pObjectItem = dynamic_cast<const CObjectItem*>(pItem);
    return pObjectItem != nullptr ? pObjectItem->m_pObject : nullptr;
}

QTreeWidgetItem* CChkBoxTreeCtrl::AddServerItem(const QString& strText, int nImage,
                                                std::shared_ptr<IModelUnknown> pServer)
{
    auto* pItem = new CObjectItem;
    pItem->m_pObject = std::move(pServer);
    pItem->setText(0, strText);
    pItem->setIcon(0, TreeImages::Get(nImage));
    // A server has no check box.
    pItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    addTopLevelItem(pItem);
    return pItem;
}

QTreeWidgetItem* CChkBoxTreeCtrl::AddDatabaseItem(QTreeWidgetItem* pServerItem,
                                                  const QString& strName,
                                                  std::shared_ptr<IModelUnknown> pDatabase,
                                                  bool bTicked)
{
    if (pServerItem == nullptr)
        return nullptr;
    auto* pItem = new CObjectItem;
    pItem->m_pObject = std::move(pDatabase);
    pItem->setText(0, strName);
    pItem->setIcon(0, TreeImages::Get(TreeImages::kDatabase));
    pItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    pItem->setCheckState(0, bTicked ? Qt::Checked : Qt::Unchecked);
    pServerItem->addChild(pItem);
    return pItem;
}

bool CChkBoxTreeCtrl::AddServerToTree(const RegisteredServer& server,
                                      const IsDatabaseUsed& fnIsUsed,
                                      const std::function<void()>& fnServerShown)
{
    const CWaitCursor wait;
    const QString strServer = FromU16(server.m_strServerName);
    bool bLibraryFound = false;
    QString strReason; // why the last attempt failed, for the item's tool tip

    for (const EFlavour flavour : {EFlavour::Modern, EFlavour::Legacy}) {
        const std::shared_ptr<ILibrary> pLibrary = CObjectModel::GetLibrary(flavour);
        std::shared_ptr<IServer> pServer = pLibrary ? pLibrary->CreateServer() : nullptr;
        if (!pServer)
            continue;
        bLibraryFound = true;
        pServer->SetLoginTimeout(kLoginTimeout);
        pServer->SetLoginSecure(server.m_nNTAuthentication != 0);
        pServer->SetConnectOptions(server.GetConnectOptions());
        if (!pServer->Connect(server.m_strServerName, server.m_strLoginName,
                              server.m_strPassword)) {
            if (const std::u16string strError = pServer->GetLastError(); !strError.empty())
                strReason = FromU16(strError);
            pServer.reset();
            continue;
        }

        QTreeWidgetItem* pServerItem =
            AddServerItem(strServer, TreeImages::kConnectedServer, pServer);
        // The user sees the server appear before its databases are read.
        if (fnServerShown)
            fnServerShown();
        const long nCount = pServer->GetDatabaseCount();
        for (long i = 0; i < nCount; ++i) {
            std::shared_ptr<IModelUnknown> pUnknown = pServer->GetDatabase(i);
            if (!pUnknown)
                continue;
            std::u16string strName;
            if (std::shared_ptr<IDatabase> pDatabase = pUnknown->QueryDatabase(flavour))
                pDatabase->GetName(strName);
            const bool bUsed = fnIsUsed && fnIsUsed(server.m_strServerName, strName);
            AddDatabaseItem(pServerItem, FromU16(strName), std::move(pUnknown), bUsed);
        }
        return true;
    }

    QTreeWidgetItem* pItem =
        AddServerItem(strServer + kNotAvailable, TreeImages::kUnavailableServer, nullptr);
    if (!strReason.isEmpty())
        pItem->setToolTip(0, strReason);
    if (!bLibraryFound)
        CSuperApp::MessageBox(NoLibraryMessage(), CSuperApp::EIcon::Error);
    return false;
}

void CChkBoxTreeCtrl::RemoveServerItem(QTreeWidgetItem* pItem)
{
    if (pItem == nullptr)
        return;
    if (auto* pObjectItem = dynamic_cast<CObjectItem*>(pItem))
        pObjectItem->m_pObject.reset();
    while (pItem->childCount() > 0) {
        QTreeWidgetItem* pChild = pItem->child(0);
        if (auto* pObjectChild = dynamic_cast<CObjectItem*>(pChild))
            pObjectChild->m_pObject.reset();
        delete pChild;
    }
    delete pItem;
}

std::vector<std::shared_ptr<IModelUnknown>> CChkBoxTreeCtrl::GetTickedDatabases() const
{
    std::vector<std::shared_ptr<IModelUnknown>> databases;
    const std::function<void(const QTreeWidgetItem*)> walk = [&](const QTreeWidgetItem* pItem) {
        if (pItem->parent() != nullptr && GetCheck(pItem) == 1) {
            if (std::shared_ptr<IModelUnknown> pObject = GetItemObject(pItem))
                databases.push_back(std::move(pObject));
        }
        for (int i = 0; i < pItem->childCount(); ++i)
            walk(pItem->child(i));
    };
    for (int i = 0; i < topLevelItemCount(); ++i)
        walk(topLevelItem(i));
    return databases;
}

std::vector<CChkBoxTreeCtrl::STick> CChkBoxTreeCtrl::GetAllTicks() const
{
    std::vector<STick> ticks;
    const std::function<void(const QTreeWidgetItem*)> walk = [&](const QTreeWidgetItem* pItem) {
        if (const QTreeWidgetItem* pParent = pItem->parent()) {
            ticks.push_back({pParent->text(0).toStdU16String(), pItem->text(0).toStdU16String(),
                             GetCheck(pItem) == 1 ? 1 : 0});
        }
        for (int i = 0; i < pItem->childCount(); ++i)
            walk(pItem->child(i));
    };
    for (int i = 0; i < topLevelItemCount(); ++i)
        walk(topLevelItem(i));
    return ticks;
}

QString CChkBoxTreeCtrl::ServerNameFromItemText(const QString& strText)
{
    const qsizetype nPos = strText.indexOf(u"[not available]"_s);
    if (nPos > 0)
        return strText.left(nPos - 1);
    return strText;
}

QString CChkBoxTreeCtrl::NoLibraryMessage()
{
    return u"No SQL Server library found. SQLOLE or SQLDMO must be installed.\n Please see Quarrow FAQ on "_s +
           CHelpPages::Address(CHelpPages::EPage::Faq);
}
