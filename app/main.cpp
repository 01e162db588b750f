// Quarrow: finds objects in SQL Server databases.

#include "CQuarrowApp.h"
#include "app/CColourScheme.h"

#include <QApplication>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quarrow"));
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
