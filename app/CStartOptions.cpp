#include "app/CStartOptions.h"

#ifndef QUARROW_VERSION
#error "the build names the version in QUARROW_VERSION"
#endif

CStartOptions::EAction CStartOptions::ActionOf(const std::vector<std::string>& args)
{
    for (const std::string& strArg : args) {
        if (strArg == "--")
            break;
        if (strArg == "--help" || strArg == "-h")
            return EAction::Help;
        if (strArg == "--version")
            return EAction::Version;
    }
    return EAction::Run;
}

std::string CStartOptions::Usage()
{
    return "Usage: Quarrow [OPTION]...\n"
           "Open the find window: find objects in SQL Server databases by their script's\n"
           "text, name, type, size and creation date.\n"
           "\n"
           "  -Embedding, -Automation   started for a D-Bus client of Quarrow.Application\n"
           "  -h, --help                display this help and exit\n"
           "      --version             output version information and exit\n"
           "\n"
           "Qt's own options, such as -platform NAME, are accepted as well. The settings\n"
           "live in $XDG_CONFIG_HOME/Korvane@Work/. For searches from scripts, see\n"
           "quarrow-find(1).\n";
}

std::string CStartOptions::Version()
{
    return "Quarrow " QUARROW_VERSION "\n";
}
