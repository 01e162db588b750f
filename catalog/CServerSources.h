#pragma once
// The servers a user has already named to other SQL Server tools on this machine: the
// sections of freetds.conf and the ODBC data sources that use a SQL Server driver, each as
// a server name Quarrow connects with (HOST, HOST\INSTANCE or HOST,PORT).

#include <string>
#include <vector>

// The files read, in order; each may be missing.
struct SServerSourcePaths
{
    std::vector<std::string> m_freeTdsFiles;  // the user's ~/.freetds.conf, then the system's
    std::vector<std::string> m_odbcIniFiles;  // the user's data sources, then the system's
    std::vector<std::string> m_odbcInstFiles; // the registered drivers

    // From the environment as FreeTDS and unixODBC read it: $HOME, $FREETDSCONF (in place of
    // /etc/freetds/freetds.conf), $ODBCINI (in place of ~/.odbc.ini), $ODBCSYSINI (the folder
    // of odbc.ini and odbcinst.ini, /etc by default).
    static SServerSourcePaths FromEnvironment();
};

class CServerSources
{
public:
    // A configuration file larger than this is not read (they are a few kilobytes).
    static constexpr std::size_t kLargestFile = 1024 * 1024;
    // Servers taken from one file.
    static constexpr std::size_t kMostServers = 4096;

    // The servers of freetds.conf sections ([global] and Sybase sections left out).
    static std::vector<std::u16string> FreeTdsServers(const std::vector<std::string>& files);

    // The servers of the data sources whose driver is FreeTDS or another SQL Server driver.
    // A source that names a freetds.conf section (Servername) is given that section's server.
    static std::vector<std::u16string> OdbcServers(const SServerSourcePaths& paths);

    // Both, sorted without regard to case and without duplicates.
    static std::vector<std::u16string> All(const SServerSourcePaths& paths);

    // Sorts without regard to case and drops names that differ only in case.
    static void SortUnique(std::vector<std::u16string>& names);
};
