#include "findwnd/CQuarrowDlgAutoProxy.h"

#include "controls/CSuperApp.h"
#include "findwnd/CAppLock.h"
#include "findwnd/CQuarrowDlg.h"

CQuarrowDlgAutoProxy::CQuarrowDlgAutoProxy()
{
    CAppLock::Lock();
    AttachDialog(qobject_cast<CQuarrowDlg*>(CSuperApp::GetMainWindow()));
}

CQuarrowDlgAutoProxy::~CQuarrowDlgAutoProxy()
{
    if (m_pDialog != nullptr)
        m_pDialog->SetAutoProxy(nullptr);
    CAppLock::Unlock();
}

void CQuarrowDlgAutoProxy::AttachDialog(CQuarrowDlg* pDialog)
{
    if (m_pDialog != nullptr || pDialog == nullptr)
        return;
    m_pDialog = pDialog;
    m_pDialog->SetAutoProxy(this);
}
