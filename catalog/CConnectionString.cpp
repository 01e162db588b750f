#include "catalog/CConnectionString.h"

#include "catalog/Odbc.h"
#include "platform/Utf.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <glob.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using quarrow::FromAscii;
using quarrow::FromUtf8;
using quarrow::ToUtf8;

// FreeTDS's driver library where Debian's tdsodbc puts it, then the other multiarch and
// classic folders.
constexpr const char* kTdsLibraryPattern = "/usr/lib/*/odbc/libtdsodbc.so";
constexpr const char* kTdsLibraryPaths[] = {
    "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so",
    "/usr/lib/odbc/libtdsodbc.so",
    "/usr/local/lib/libtdsodbc.so",
    "/usr/lib64/libtdsodbc.so",
};

bool IsBlank(char16_t c)
{
    return c == u' ' || c == u'\t';
}

std::u16string Trim(const std::u16string& text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

char16_t Lower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool EqualsIgnoringCase(const std::u16string& a, const std::u16string& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

// FreeTDS by its registered name or its library's file name.
bool IsFreeTdsDriver(const std::u16string& driver)
{
    std::u16string lower;
    for (char16_t c : driver) {
        lower += (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
    }
    return lower == u"freetds" || lower.find(u"libtdsodbc") != std::u16string::npos;
}

bool HasNul(const std::u16string& text)
{
    return text.find(u'\0') != std::u16string::npos;
}

bool IsReadable(const std::string& path)
{
    return access(path.c_str(), R_OK) == 0;
}

// The registered drivers whose library or name says FreeTDS.
std::u16string FindRegisteredTds()
{
    auto environment = std::make_shared<COdbcEnvironment>();
    if (!environment->IsValid()) {
        return {};
    }
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    // Bounded: odbcinst lists a handful of drivers.
    for (int i = 0; i < 256; ++i) {
        SQLWCHAR name[256] = {};
        SQLWCHAR attributes[2048] = {};
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT attributesLength = 0;
        SQLRETURN rc =
            SQLDriversW(environment->GetHandle(), direction, name,
                        static_cast<SQLSMALLINT>(std::size(name)), &nameLength, attributes,
                        static_cast<SQLSMALLINT>(std::size(attributes)), &attributesLength);
        if (!SQL_SUCCEEDED(rc)) {
            break;
        }
        direction = SQL_FETCH_NEXT;
        std::u16string driver(name, name + std::char_traits<char16_t>::length(
                                               reinterpret_cast<const char16_t*>(name)));
        // Attributes come as "key=value\0key=value\0\0".
        std::u16string pairs(
            attributes,
            attributes + std::min<std::size_t>(
                             std::size(attributes) - 1,
                             static_cast<std::size_t>(std::max<SQLSMALLINT>(attributesLength, 0))));
        std::u16string lowered;
        for (char16_t c : driver + u"\n" + pairs) {
            lowered += Lower(c);
        }
        if (lowered.find(u"libtdsodbc") != std::u16string::npos ||
            lowered.find(u"freetds") != std::u16string::npos) {
            return driver;
        }
    }
    return {};
}

} // namespace

std::u16string CConnectionString::FindDriverLibrary()
{
    for (const char* path : kTdsLibraryPaths) {
        if (IsReadable(path)) {
            return FromUtf8(path);
        }
    }
    glob_t found{};
    std::u16string library;
    if (glob(kTdsLibraryPattern, 0, nullptr, &found) == 0 && found.gl_pathc > 0) {
        library = FromUtf8(found.gl_pathv[0]);
    }
    globfree(&found);
    return library;
}

bool CConnectionString::ParseServerName(const std::u16string& name, SServerAddress& address,
                                        std::u16string& reason)
{
    address = SServerAddress{};
    std::u16string rest = Trim(name);
    if (rest.size() >= 4 && EqualsIgnoringCase(rest.substr(0, 4), u"tcp:")) {
        rest = Trim(rest.substr(4));
    }
    if (rest.empty()) {
        reason = u"no server name was given";
        return false;
    }
    if (HasNul(rest)) {
        reason = u"the server name holds a NUL character";
        return false;
    }
    if (auto comma = rest.rfind(u','); comma != std::u16string::npos) {
        const std::u16string port = Trim(rest.substr(comma + 1));
        unsigned value = 0;
        bool valid = !port.empty() && port.size() <= 5;
        for (char16_t c : port) {
            if (c < u'0' || c > u'9') {
                valid = false;
                break;
            }
            value = value * 10 + static_cast<unsigned>(c - u'0');
        }
        if (!valid || value == 0 || value > 65535) {
            reason = u"'" + port + u"' after the comma is not a port number from 1 to 65535";
            return false;
        }
        address.m_nPort = value;
        rest = Trim(rest.substr(0, comma));
    }
    if (auto slash = rest.find(u'\\'); slash != std::u16string::npos) {
        address.m_strInstance = Trim(rest.substr(slash + 1));
        rest = Trim(rest.substr(0, slash));
        if (address.m_strInstance.empty()) {
            reason = u"no instance name follows the backslash";
            return false;
        }
        // The default instance by its own name is the default instance.
        if (EqualsIgnoringCase(address.m_strInstance, u"MSSQLSERVER")) {
            address.m_strInstance.clear();
        }
    }
    if (rest == u"." || EqualsIgnoringCase(rest, u"(local)") ||
        EqualsIgnoringCase(rest, u"(localdb)")) {
        rest = u"localhost";
    }
    if (rest.empty()) {
        reason = u"no host name comes before the instance or port";
        return false;
    }
    address.m_strHost = rest;
    return true;
}

void CConnectionString::SetInstancePort(SServerAddress& address, unsigned port)
{
    address.m_nPort = port;
    address.m_strInstance.clear();
}

std::u16string CConnectionString::QuoteValue(const std::u16string& value)
{
    const bool bare = value.find(u';') == std::u16string::npos &&
                      (value.empty() || (value.front() != u'{' && !IsBlank(value.front()) &&
                                         !IsBlank(value.back())));
    if (bare) {
        return value;
    }
    std::u16string quoted = u"{";
    for (char16_t c : value) {
        quoted += c;
        if (c == u'}') {
            quoted += u'}';
        }
    }
    quoted += u'}';
    return quoted;
}

std::u16string CConnectionString::ServicePrincipalName(const SConnectionSettings& settings)
{
    const auto& address = settings.m_address;
    const std::u16string host =
        settings.m_strCanonicalHost.empty() ? address.m_strHost : settings.m_strCanonicalHost;
    std::u16string where;
    if (address.m_nPort) {
        where = FromAscii(std::to_string(*address.m_nPort));
    } else if (!address.m_strInstance.empty()) {
        where = address.m_strInstance;
    } else {
        where = FromAscii(std::to_string(kDefaultPort));
    }
    return u"MSSQLSvc/" + host + u":" + where;
}

bool CConnectionString::Build(const SConnectionSettings& settings, std::u16string& text,
                              std::u16string& reason)
{
    const auto& address = settings.m_address;
    for (const std::u16string* value :
         {&settings.m_strDriver, &address.m_strHost, &address.m_strInstance, &settings.m_strLogin,
          &settings.m_strPassword, &settings.m_strCanonicalHost}) {
        if (HasNul(*value)) {
            reason = u"a NUL character cannot be passed to the ODBC driver (in the server "
                     u"name, login or password)";
            return false;
        }
    }
    if (settings.m_strDriver.empty()) {
        reason = u"no ODBC driver was chosen";
        return false;
    }
    // FreeTDS 1.3 ends a braced value at the first "};" and keeps "}}" as two braces, so a
    // value that needs braces and holds a '}' would reach the server changed.
    if (IsFreeTdsDriver(settings.m_strDriver)) {
        for (const std::u16string* value : {&settings.m_strLogin, &settings.m_strPassword}) {
            if (QuoteValue(*value) != *value && value->find(u'}') != std::u16string::npos) {
                reason = u"FreeTDS cannot be given a login name or password that holds both "
                         u"'}' and ';' (or a '}' with blanks at either end); choose another "
                         u"ODBC driver with QUARROW_ODBC_DRIVER, or another password";
                return false;
            }
        }
    }
    std::u16string server = address.m_strHost;
    if (!address.m_strInstance.empty()) {
        server += u"\\" + address.m_strInstance;
    }
    text = u"Driver=" + QuoteValue(settings.m_strDriver);
    if (!settings.m_strConfigSection.empty()) {
        // Host, port and certificate settings come from the section.
        text += u";Servername=" + QuoteValue(settings.m_strConfigSection);
    } else {
        text += u";Server=" + QuoteValue(server);
        // A named instance without a port asks the SQL Server Browser; otherwise the port is
        // given, so a freetds.conf default never redirects us.
        if (address.m_nPort || address.m_strInstance.empty()) {
            text += u";Port=" + FromAscii(std::to_string(address.m_nPort.value_or(kDefaultPort)));
        }
    }
    text += u";TDS_Version=" + QuoteValue(settings.m_strTdsVersion);
    text += u";Encryption=" + std::u16string(EncryptionModeName(settings.m_options.m_encryption));
    // Microsoft's drivers (chosen with QUARROW_ODBC_DRIVER) know the choice by other words;
    // they check the certificate themselves unless told to trust it.
    if (!IsFreeTdsDriver(settings.m_strDriver)) {
        text += settings.m_options.m_encryption == EEncryptionMode::Require ? u";Encrypt=yes"
                                                                            : u";Encrypt=no";
        text += settings.m_options.m_bTrustServerCertificate ? u";TrustServerCertificate=yes"
                                                             : u";TrustServerCertificate=no";
    }
    if (settings.m_bIntegrated) {
        text += u";Trusted_Connection=Yes;ServerSPN=" + QuoteValue(ServicePrincipalName(settings));
    } else {
        text += u";UID=" + QuoteValue(settings.m_strLogin) + u";PWD=" +
                QuoteValue(settings.m_strPassword);
    }
    // FreeTDS 1.3 ends a braced value only at "};": the last one needs its ';' too.
    text += u';';
    return true;
}

bool CConnectionString::ChecksCertificate(const SConnectionSettings& settings)
{
    return settings.m_options.m_encryption == EEncryptionMode::Require &&
           !settings.m_options.m_bTrustServerCertificate;
}

bool CConnectionString::NeedsConfigSection(const SConnectionSettings& settings)
{
    return ChecksCertificate(settings) && IsFreeTdsDriver(settings.m_strDriver);
}

bool CConnectionString::BuildConfigSection(const SConnectionSettings& settings, std::string& name,
                                           std::string& body, std::u16string& reason)
{
    const auto& address = settings.m_address;
    // freetds.conf ends a value at a line break and starts a comment at ';' or '#', and
    // drops blanks at either end.
    auto writable = [](const std::u16string& value) {
        return value.find_first_of(u"\r\n;#") == std::u16string::npos &&
               (value.empty() || (!IsBlank(value.front()) && !IsBlank(value.back())));
    };
    if (!writable(address.m_strHost) || !writable(address.m_strInstance) ||
        !writable(settings.m_strTdsVersion)) {
        reason = u"the server name holds a character that cannot be passed to FreeTDS with the "
                 u"certificate check (a line break, ';' or '#')";
        return false;
    }
    if (settings.m_strCaFile.empty() || !writable(settings.m_strCaFile)) {
        reason = u"the certificate authorities file '" + settings.m_strCaFile +
                 u"' cannot be passed to FreeTDS: its name is empty, holds a line break, ';' "
                 u"or '#', or has blanks at either end";
        return false;
    }
    body = "host = " + ToUtf8(address.m_strHost) + "\n";
    if (address.m_nPort || address.m_strInstance.empty()) {
        body += "port = " + std::to_string(address.m_nPort.value_or(kDefaultPort)) + "\n";
    } else {
        body += "instance = " + ToUtf8(address.m_strInstance) + "\n";
    }
    body += "tds version = " + ToUtf8(settings.m_strTdsVersion) + "\n";
    body += "encryption = require\n";
    body += "ca file = " + ToUtf8(settings.m_strCaFile) + "\n";
    body += "check certificate hostname = yes\n";
    // FNV-1a of the lines: the same server and settings share one section.
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : body) {
        hash = (hash ^ c) * 1099511628211ull;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    name = std::string("quarrow-") + hex;
    return true;
}

std::u16string CConnectionString::FindDriver(std::u16string& reason)
{
    if (const char* chosen = std::getenv("QUARROW_ODBC_DRIVER"); chosen != nullptr && *chosen) {
        return FromUtf8(chosen);
    }
    if (auto registered = FindRegisteredTds(); !registered.empty()) {
        return registered;
    }
    if (auto library = FindDriverLibrary(); !library.empty()) {
        return library;
    }
    reason = u"FreeTDS's ODBC driver is not installed; install the Debian package tdsodbc "
             u"(apt-get install tdsodbc), or name another SQL Server ODBC driver in "
             u"QUARROW_ODBC_DRIVER";
    return {};
}

std::optional<std::u16string> CConnectionString::ResolveCanonicalName(const std::u16string& host)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* result = nullptr;
    const std::string name = ToUtf8(host);
    std::optional<std::u16string> canonical;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &result) == 0 && result != nullptr) {
        if (result->ai_canonname != nullptr && *result->ai_canonname) {
            canonical = FromUtf8(result->ai_canonname);
        }
        freeaddrinfo(result);
    }
    return canonical;
}

std::u16string CConnectionString::CanonicalHostName(const std::u16string& host,
                                                    const HostResolver& resolver)
{
    std::u16string canonical = host;
    if (resolver) {
        if (auto answer = resolver(host); answer && !answer->empty()) {
            canonical = std::move(*answer);
        }
    }
    // "sql01.corp.example." is the same host, but not the same service name.
    if (canonical.size() > 1 && canonical.back() == u'.') {
        canonical.pop_back();
    }
    return canonical;
}
