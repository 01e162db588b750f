#pragma once
// The application: start-up in order (automation option, settings root, the one-time
// components notice, the help path), one modal run of the find window, and the help command.

#include <QString>
#include <filesystem>
#include <string>
#include <vector>

class CProfile;

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

    // The help command: the bundled help's table of contents in the desktop's browser.
    static int OpenHelp();

private:
    std::vector<std::string> m_args;
    std::filesystem::path m_helpFilePath;
    bool m_bStartedByClient = false;
};
