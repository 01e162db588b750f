#pragma once
// The application: start-up in order (automation on the session bus, settings root, the
// one-time components notice, the help path), one modal run of the find window, and the help
// command.

#include <QString>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class CAutomationServer;
class CProfile;
class CQuarrowDlg;

class CQuarrowApp
{
public:
    // args: the arguments after the program name.
    explicit CQuarrowApp(std::vector<std::string> args);
    ~CQuarrowApp();
    CQuarrowApp(const CQuarrowApp&) = delete;
    CQuarrowApp& operator=(const CQuarrowApp&) = delete;

    // Runs the program; answers false always, once the find window has ended.
    bool InitInstance();

    const std::filesystem::path& GetHelpFilePath() const { return m_helpFilePath; }
    bool IsStartedByClient() const { return m_bStartedByClient; }
    // The automation object on the bus; null without a session bus.
    CAutomationServer* GetAutomationServer() const { return m_pAutomation.get(); }

    // The help command: the bundled help's table of contents in the desktop's browser.
    static int OpenHelp();

private:
    void RegisterAutomation();
    void RunFindWindow(CQuarrowDlg& dlg);

    std::vector<std::string> m_args;
    std::unique_ptr<CAutomationServer> m_pAutomation;
    std::filesystem::path m_helpFilePath;
    bool m_bStartedByClient = false;
};
