#pragma once
// The SQL Server Browser's messages (MC-SQLR over UDP 1434): the requests Quarrow sends and a
// parser of the SVR_RESP answers. The parser trusts nothing in a datagram: it keeps only the
// instance records that are whole and plain, and drops or cuts the rest.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One instance as an answer describes it.
struct SBrowserInstance
{
    std::string m_strServerName;   // the host's name as the server gives it
    std::string m_strInstanceName; // MSSQLSERVER for a default instance
    std::string m_strVersion;      // e.g. 15.0.2000.5
    bool m_bClustered = false;
    std::optional<unsigned> m_nTcpPort; // none when the instance does not listen on TCP
};

class CBrowserAnswer
{
public:
    // Message types.
    static constexpr std::uint8_t kListRequest = 0x02;     // CLNT_BCAST_EX: every instance
    static constexpr std::uint8_t kHostRequest = 0x03;     // CLNT_UCAST_EX: one host's instances
    static constexpr std::uint8_t kInstanceRequest = 0x04; // CLNT_UCAST_INST: one instance
    static constexpr std::uint8_t kAnswer = 0x05;          // SVR_RESP

    // A datagram larger than this is no answer (type, two length bytes, 65535 of data).
    static constexpr std::size_t kLargestAnswer = 3 + 65535;
    // Instance records kept from one datagram; a server has a few dozen at most.
    static constexpr std::size_t kMostInstances = 256;
    // Field limits the protocol sets: names 255 bytes, the version 16.
    static constexpr std::size_t kLongestName = 255;
    static constexpr std::size_t kLongestVersion = 16;
    // An instance name in a request: 32 bytes with its terminating NUL.
    static constexpr std::size_t kLongestRequestedInstance = 31;

    // The instances of one datagram, in its order. A malformed datagram gives none; a
    // malformed record is dropped alone; a datagram shorter than its length says is read up
    // to its last whole record.
    static std::vector<SBrowserInstance> Parse(const std::uint8_t* data, std::size_t size);

    // HOST for a default instance, HOST\INSTANCE for a named one.
    static std::u16string DisplayName(const SBrowserInstance& instance);

    // True when the name is the default instance's (MSSQLSERVER, any case).
    static bool IsDefaultInstance(const std::string& name);

    // The request for one instance's record; none when the name cannot be sent (empty,
    // longer than 31 bytes, or not printable ASCII).
    static std::optional<std::vector<std::uint8_t>> InstanceRequest(const std::u16string& name);
};
