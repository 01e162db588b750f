// Quarrow: finds objects in SQL Server databases.

#include "CQuarrowApp.h"
#include "app/CColourScheme.h"
#include "app/CStartOptions.h"

#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // Answered before Qt starts, so a terminal without a display gets them too.
    const std::vector<std::string> allArgs(argv + 1, argv + argc);
    switch (CStartOptions::ActionOf(allArgs)) {
    case CStartOptions::EAction::Help:
        std::fputs(CStartOptions::Usage().c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case CStartOptions::EAction::Version:
        std::fputs(CStartOptions::Version().c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case CStartOptions::EAction::Run:
        break;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quarrow"));
    // Ties the window to the installed desktop entry (its icon and name on Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("work.korvane.Quarrow"));
    // The find window's run decides when the program ends; a window hidden for an automation
    // client is not a reason to quit.
    QApplication::setQuitOnLastWindowClosed(false);
    ColourScheme::Apply();
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    CQuarrowApp app(std::move(args));
    // The find window's modal run is the whole program; InitInstance answers false.
    app.InitInstance();
    return 0;
}
