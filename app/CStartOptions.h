#pragma once
// The options Quarrow answers on the terminal before any window or display is needed:
// --help and --version. Everything else on the command line is left to Qt and to start-up
// (the automation options). No Qt here, so a machine without a display can ask.

#include <string>
#include <vector>

class CStartOptions
{
public:
    enum class EAction
    {
        Run,     // open the find window
        Help,    // print Usage() and end
        Version, // print Version() and end
    };

    // args: the arguments after the program name. The first of --help, -h and --version
    // decides; "--" ends the options.
    static EAction ActionOf(const std::vector<std::string>& args);

    static std::string Usage();
    static std::string Version();
};
