#pragma once
// Quarrow's own freetds.conf, one per process: FreeTDS 1.3 takes certificate settings
// ("ca file", "check certificate hostname") only from a freetds.conf section, so a
// connection that checks the server's certificate names a section written here. The file
// lives in a folder of the user's own (mode 0700, the file 0600), holds no login or
// password, and goes when the process ends. FreeTDS is pointed at it with FREETDSCONF; a
// server name it does not hold still falls back to ~/.freetds.conf and the system's file.

#include <string>

class CFreeTdsConfig
{
public:
    // Adds (or keeps) the section and makes FreeTDS read this file. False with a reason a
    // user can act on when the file cannot be written.
    static bool Publish(const std::string& name, const std::string& body, std::u16string& reason);

    // The file's path; empty before the first Publish.
    static std::string GetPath();
};
