#include "CQuarrowApp.h"

#include "controls/CCommandTarget.h"
#include "controls/CSuperApp.h"
#include "findwnd/CDMODlg.h"
#include "findwnd/CHelpPages.h"
#include "findwnd/CQuarrowDlg.h"
#include "platform/CProfile.h"
#include "platform/CShell.h"
#include "platform/Startup.h"
#include "res/Resource.h"

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
        dlg.exec();
        CSuperApp::SetMainWindow(nullptr);
    }
    return false;
}
