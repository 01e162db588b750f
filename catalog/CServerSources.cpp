#include "catalog/CServerSources.h"

#include "catalog/CConnectionString.h"
#include "platform/Utf.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sys/stat.h>

namespace {

using quarrow::FromAscii;
using quarrow::FromUtf8;

// One section of an INI-style file: its keys folded to lower case.
struct SIniSection
{
    std::string m_strName;
    std::map<std::string, std::string> m_values;

    std::string Get(const std::string& key) const
    {
        auto found = m_values.find(key);
        return found == m_values.end() ? std::string() : found->second;
    }
};

std::string Lower(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::string Trim(const std::string& text)
{
    const auto begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) {
        return {};
    }
    const auto end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

// The sections of a freetds.conf or odbc.ini; nothing for a missing, unreadable or
// oversized file. Comments start with ';' or '#'.
std::vector<SIniSection> ReadIni(const std::string& path)
{
    std::vector<SIniSection> sections;
    struct stat info
    {
    };
    if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::size_t>(info.st_size) > CServerSources::kLargestFile) {
        return sections;
    }
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::size_t read = 0;
    while (std::getline(in, line) && read <= CServerSources::kLargestFile) {
        read += line.size() + 1;
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') {
            continue;
        }
        if (line.front() == '[') {
            const auto close = line.find(']');
            if (close == std::string::npos) {
                continue;
            }
            sections.push_back({Trim(line.substr(1, close - 1)), {}});
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos || sections.empty()) {
            continue;
        }
        sections.back().m_values.emplace(Lower(Trim(line.substr(0, equals))),
                                         Trim(line.substr(equals + 1)));
    }
    return sections;
}

bool HasControl(const std::u16string& text)
{
    return std::any_of(text.begin(), text.end(), [](char16_t c) { return c < 0x20 || c == 0x7F; });
}

// The name Quarrow connects with; none when the parts do not make one.
std::optional<std::u16string> ServerName(const std::string& host, const std::string& instance,
                                         const std::string& port)
{
    std::u16string text = FromUtf8(Trim(host));
    if (!Trim(instance).empty()) {
        text += u'\\' + FromUtf8(Trim(instance));
    }
    if (!Trim(port).empty()) {
        text += u',' + FromUtf8(Trim(port));
    }
    SServerAddress address;
    std::u16string reason;
    if (HasControl(text) || !CConnectionString::ParseServerName(text, address, reason)) {
        return std::nullopt;
    }
    std::u16string name = address.m_strHost;
    if (address.m_nPort) {
        if (*address.m_nPort != CConnectionString::kDefaultPort || !address.m_strInstance.empty()) {
            name += u',' + FromAscii(std::to_string(*address.m_nPort));
        }
    } else if (!address.m_strInstance.empty()) {
        name += u'\\' + address.m_strInstance;
    }
    return name;
}

// freetds.conf sections by lower-case name, the user's file first (it wins, as in FreeTDS).
std::map<std::string, SIniSection> FreeTdsSections(const std::vector<std::string>& files)
{
    std::map<std::string, SIniSection> sections;
    for (const auto& file : files) {
        for (auto& section : ReadIni(file)) {
            const std::string key = Lower(section.m_strName);
            if (key.empty() || key == "global") {
                continue;
            }
            sections.emplace(key, std::move(section));
        }
    }
    return sections;
}

// Sybase servers speak TDS 4.2 or 5.0; SQL Server 7.0 and later.
bool IsSybase(const SIniSection& section)
{
    const std::string version = section.Get("tds version");
    return version.rfind("4.", 0) == 0 || version.rfind("5.", 0) == 0;
}

std::optional<std::u16string> FreeTdsServer(const SIniSection& section)
{
    if (IsSybase(section) || Trim(section.Get("host")).empty()) {
        return std::nullopt;
    }
    return ServerName(section.Get("host"), section.Get("instance"), section.Get("port"));
}

bool NamesSqlServerDriver(const std::string& text)
{
    const std::string lower = Lower(text);
    for (const char* mark : {"freetds", "libtdsodbc", "sql server", "msodbcsql"}) {
        if (lower.find(mark) != std::string::npos) {
            return true;
        }
    }
    return false;
}

void Append(std::vector<std::u16string>& names, std::optional<std::u16string> name)
{
    if (name && names.size() < CServerSources::kMostServers) {
        names.push_back(std::move(*name));
    }
}

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

} // namespace

SServerSourcePaths SServerSourcePaths::FromEnvironment()
{
    SServerSourcePaths paths;
    const std::string home = Environment("HOME");
    if (!home.empty()) {
        paths.m_freeTdsFiles.push_back(home + "/.freetds.conf");
    }
    const std::string freetds = Environment("FREETDSCONF");
    paths.m_freeTdsFiles.push_back(freetds.empty() ? "/etc/freetds/freetds.conf" : freetds);

    const std::string userIni = Environment("ODBCINI");
    if (!userIni.empty()) {
        paths.m_odbcIniFiles.push_back(userIni);
    } else if (!home.empty()) {
        paths.m_odbcIniFiles.push_back(home + "/.odbc.ini");
    }
    std::string system = Environment("ODBCSYSINI");
    if (system.empty()) {
        system = "/etc";
    }
    paths.m_odbcIniFiles.push_back(system + "/odbc.ini");
    paths.m_odbcInstFiles.push_back(system + "/odbcinst.ini");
    return paths;
}

std::vector<std::u16string> CServerSources::FreeTdsServers(const std::vector<std::string>& files)
{
    std::vector<std::u16string> names;
    for (const auto& [key, section] : FreeTdsSections(files)) {
        Append(names, FreeTdsServer(section));
    }
    return names;
}

std::vector<std::u16string> CServerSources::OdbcServers(const SServerSourcePaths& paths)
{
    // Registered drivers whose library is a SQL Server driver, by lower-case name.
    std::map<std::string, bool> drivers;
    for (const auto& file : paths.m_odbcInstFiles) {
        for (const auto& section : ReadIni(file)) {
            drivers.emplace(Lower(section.m_strName),
                            NamesSqlServerDriver(section.m_strName) ||
                                NamesSqlServerDriver(section.Get("driver")));
        }
    }
    const auto freetds = FreeTdsSections(paths.m_freeTdsFiles);
    std::vector<std::u16string> names;
    for (const auto& file : paths.m_odbcIniFiles) {
        for (const auto& section : ReadIni(file)) {
            const std::string sectionName = Lower(section.m_strName);
            if (sectionName == "odbc data sources" || sectionName == "odbc" ||
                sectionName == "default") {
                continue;
            }
            const std::string driver = section.Get("driver");
            auto registered = drivers.find(Lower(Trim(driver)));
            const bool sqlServer =
                registered != drivers.end() ? registered->second : NamesSqlServerDriver(driver);
            if (!sqlServer) {
                continue;
            }
            std::string host = section.Get("server");
            if (host.empty()) {
                host = section.Get("address");
            }
            if (!host.empty()) {
                Append(names, ServerName(host, {}, section.Get("port")));
                continue;
            }
            // FreeTDS's Servername names a freetds.conf section.
            auto named = freetds.find(Lower(Trim(section.Get("servername"))));
            if (named != freetds.end()) {
                Append(names, FreeTdsServer(named->second));
            }
        }
    }
    return names;
}

std::vector<std::u16string> CServerSources::All(const SServerSourcePaths& paths)
{
    std::vector<std::u16string> names = FreeTdsServers(paths.m_freeTdsFiles);
    std::vector<std::u16string> odbc = OdbcServers(paths);
    names.insert(names.end(), odbc.begin(), odbc.end());
    SortUnique(names);
    return names;
}

void CServerSources::SortUnique(std::vector<std::u16string>& names)
{
    auto lower = [](const std::u16string& text) {
        std::u16string folded = text;
        for (char16_t& c : folded) {
            if (c >= u'A' && c <= u'Z') {
                c = static_cast<char16_t>(c - u'A' + u'a');
            }
        }
        return folded;
    };
    std::stable_sort(names.begin(), names.end(),
                     [&](const auto& a, const auto& b) { return lower(a) < lower(b); });
    names.erase(std::unique(names.begin(), names.end(),
                            [&](const auto& a, const auto& b) { return lower(a) == lower(b); }),
                names.end());
}
