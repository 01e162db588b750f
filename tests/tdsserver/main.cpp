// tds-test-server: serves a catalogue snapshot (.qcat) over TDS on 127.0.0.1, as SQL Server
// 2019 (TDS 7.4) or, for a legacy catalogue, as SQL Server 2000 (TDS 7.1), so Quarrow's live
// library can be tested through the real ODBC driver. Knobs play the faults a real server
// shows. Runs until killed.

#include "catalog/CSnapshotFile.h"
#include "platform/Utf.h"
#include "tests/tdsserver/CKerberosAcceptor.h"
#include "tests/tdsserver/CTdsLog.h"
#include "tests/tdsserver/CTdsSession.h"
#include "tests/tdsserver/TdsProtocol.h"
#include "tests/tdsserver/TdsServerOptions.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// Connections are few in tests; past this many the newest is turned away.
constexpr int kMaxConnections = 64;
// A client that stops reading does not hold its thread longer than this.
constexpr int kSendTimeoutSeconds = 30;

std::atomic<int> g_nConnections{0};

int Usage(const std::string& error)
{
    std::fprintf(stderr, "tds-test-server: %s\n%s", error.c_str(), kTdsServerUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    STdsServed served;
    std::string error;
    if (!ParseTdsServerOptions(std::vector<std::string>(argv + 1, argv + argc), served.m_options,
                               error)) {
        return Usage(error);
    }
    std::u16string reason;
    auto file = CSnapshotFile::Open(served.m_options.m_strCatalogue, reason);
    if (!file) {
        return Usage(served.m_options.m_strCatalogue + " " + quarrow::ToUtf8(reason));
    }
    served.m_bLegacy = file->GetFlavour() == EFlavour::Legacy;
    if (served.m_bLegacy) {
        served.m_nTdsVersion = tds::kTds71;
        const std::uint8_t version[4] = {8, 0, 2039 >> 8, 2039 & 0xFF};
        std::memcpy(served.m_version, version, sizeof version);
    } else {
        served.m_nTdsVersion = tds::kTds74;
        const std::uint8_t version[4] = {15, 0, 2000 >> 8, 2000 & 0xFF};
        std::memcpy(served.m_version, version, sizeof version);
    }
    for (const auto& database : file->GetDatabases()) {
        STdsServed::SDatabase served_database;
        served_database.m_strName = database.m_strName;
        served_database.m_nId = database.m_nId;
        served.m_databases.push_back(std::move(served_database));
    }
    // An unopenable database is listed; one the file lacks joins the list empty.
    for (const auto& name : served.m_options.m_unopenable) {
        bool found = false;
        for (auto& database : served.m_databases) {
            if (database.m_strName == name) {
                database.m_bUnopenable = true;
                found = true;
            }
        }
        if (!found) {
            served.m_databases.push_back({name, -1, true});
        }
    }
    {
        CCatalogueReader reader;
        if (!reader.Open(served.m_options.m_strCatalogue, error)) {
            return Usage(served.m_options.m_strCatalogue + " cannot be read: " + error);
        }
        served.m_strServerName = reader.ServerName();
        if (served.m_strServerName.empty()) {
            served.m_strServerName = u"QUARROWTEST";
        }
    }
    if (!served.m_options.m_strTlsCertificate.empty()) {
        served.m_pTls = CTdsTlsContext::Load(served.m_options.m_strTlsCertificate,
                                             served.m_options.m_strTlsKey, error);
        if (!served.m_pTls) {
            return Usage(error);
        }
    }
    CTdsLog log;
    if (!served.m_options.m_strKerberosKeytab.empty() &&
        !CKerberosAcceptor::UseKeytab(served.m_options.m_strKerberosKeytab, error)) {
        return Usage(error);
    }
    if (!served.m_options.m_strLog.empty()) {
        if (!log.Open(served.m_options.m_strLog, error)) {
            return Usage(error);
        }
        served.m_pLog = &log;
    }

    int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0) {
        std::fprintf(stderr, "tds-test-server: no socket: %s\n", std::strerror(errno));
        return 1;
    }
    int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(served.m_options.m_nPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 16) != 0) {
        std::fprintf(stderr, "tds-test-server: cannot listen on 127.0.0.1:%d: %s\n",
                     served.m_options.m_nPort, std::strerror(errno));
        return 1;
    }
    socklen_t size = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    std::printf("port %u\n", ntohs(address.sin_port));
    std::fflush(stdout);

    std::uint16_t nextSpid = 51;
    for (;;) {
        int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            if (errno != EINTR) {
                // Out of descriptors or the like: wait a little rather than spin.
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            continue;
        }
        if (g_nConnections.load() >= kMaxConnections) {
            ::close(client);
            continue;
        }
        timeval timeout{kSendTimeoutSeconds, 0};
        ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        std::uint16_t spid = nextSpid;
        nextSpid = static_cast<std::uint16_t>(nextSpid >= 999 ? 51 : nextSpid + 1);
        ++g_nConnections;
        std::thread([client, spid, &served]() {
            {
                CTdsSession session(client, spid, served);
                session.Run();
            }
            --g_nConnections;
        }).detach();
    }
}
