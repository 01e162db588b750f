#include "findwnd/CAppLock.h"

#include "controls/CSuperApp.h"

#include <QCoreApplication>
#include <QDialog>
#include <QMetaObject>
#include <QPointer>

namespace {

int g_nAppLocks = 0;
bool g_bUserControl = true;

} // namespace

void CAppLock::Lock()
{
    ++g_nAppLocks;
}

void CAppLock::Unlock()
{
    if (g_nAppLocks <= 0)
        return;
    if (--g_nAppLocks == 0 && QCoreApplication::instance() != nullptr) {
        // The caller may be answering a client; the reply goes out before the window closes.
        QMetaObject::invokeMethod(QCoreApplication::instance(), &CAppLock::OnReleaseAll,
                                  Qt::QueuedConnection);
    }
}

int CAppLock::GetLockCount()
{
    return g_nAppLocks;
}

void CAppLock::SetUserControl(bool bUserControl)
{
    g_bUserControl = bUserControl;
}

bool CAppLock::GetUserControl()
{
    return g_bUserControl;
}

void CAppLock::OnReleaseAll()
{
    // A client may have locked again since.
    if (g_nAppLocks != 0)
        return;
    auto* pMainWindow = qobject_cast<QDialog*>(CSuperApp::GetMainWindow());
    if (pMainWindow == nullptr)
        return;
    // A hidden window of a user-started program would otherwise be a process nobody can end.
    if (g_bUserControl && pMainWindow->isVisible())
        return;
    pMainWindow->reject();
}
