#include "CQuarrowApp.h"

#include "app/CActivationFile.h"
#include "app/CAutomationServer.h"
#include "controls/CCommandTarget.h"
#include "controls/CSuperApp.h"
#include "findwnd/CAppLock.h"
#include "findwnd/CDMODlg.h"
#include "findwnd/CHelpPages.h"
#include "findwnd/CQuarrowDlg.h"
#include "platform/CProfile.h"
#include "platform/CShell.h"
#include "platform/Startup.h"
#include "res/Resource.h"

#include <QEventLoop>
#include <cstdio>
#include <cstring>
#include <optional>

CQuarrowApp::CQuarrowApp(std::vector<std::string> args) : m_args(std::move(args)) {}

CQuarrowApp::~CQuarrowApp() = default;

int CQuarrowApp::OpenHelp()
{
    return CShell::Open(CHelpPages::Address(CHelpPages::EPage::Contents).toStdU16String());
}

bool CQuarrowApp::InitInstance()
{
    // An automation client starts the program with one of these options; the program is
    // then not under the user's control.
    m_bStartedByClient = HasAutomationOption(m_args);
    CAppLock::SetUserControl(!m_bStartedByClient);
    RegisterAutomation();

    // The settings root is named after the executable.
    CProfile& profile = CProfile::Process();

    if (ClaimComponentsNotice(profile)) {
        CDMODlg notice;
        if (notice.exec() == QDialog::Accepted)
            CShell::OpenLink(CHelpPages::Address(CHelpPages::EPage::Components).toStdU16String());
    }

    const std::filesystem::path executable = ExecutablePath();
    m_helpFilePath = HelpPathFromExecutable(executable.empty() ? "Quarrow" : executable);
    CCommandTarget::Application().OnCommand(ID_HELP_FINDER, [] { OpenHelp(); });

    {
        CQuarrowDlg dlg(profile);
        CSuperApp::SetMainWindow(&dlg);
        // A client may have asked while the components notice was up.
        if (m_pAutomation != nullptr)
            m_pAutomation->AttachDialog(&dlg);
        RunFindWindow(dlg);
        CSuperApp::SetMainWindow(nullptr);
    }
    m_pAutomation.reset();
    return false;
}

void CQuarrowApp::RegisterAutomation()
{
    if (!m_bStartedByClient) {
        // Every normal start points the bus at this executable again, so a client's request
        // starts the copy the user last ran.
        const std::filesystem::path file = CActivationFile::DefaultPath();
        const std::filesystem::path executable = ExecutablePath();
        if (!file.empty() && !executable.empty()) {
            if (const int nError = CActivationFile::Write(file, executable); nError != 0) {
                std::fprintf(stderr, "Quarrow: cannot write %s: %s\n", file.c_str(),
                             std::strerror(nError));
            }
        }
    }
    const std::optional<QDBusConnection> bus = CAutomationServer::SessionBus();
    if (!bus)
        return;
    // Only a copy started by a client takes the well-known name and serves clients; a copy
    // the user started refuses them even by its unique name, so no other program can hold
    // the user's window open. A name taken by another copy leaves this one without clients;
    // it runs on regardless.
    m_pAutomation = std::make_unique<CAutomationServer>(*bus);
    m_pAutomation->SetOffered(m_bStartedByClient);
    m_pAutomation->Register(m_bStartedByClient);
}

void CQuarrowApp::RunFindWindow(CQuarrowDlg& dlg)
{
    bool bEnded = false;
    QObject::connect(&dlg, &QDialog::finished, &dlg, [&bEnded] { bEnded = true; });
    dlg.exec();
    // Hiding the window while a client holds the automation object ends exec() as well; the
    // program goes on invisibly until the window is closed for real.
    if (!bEnded) {
        QEventLoop loop;
        QObject::connect(&dlg, &QDialog::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
}
