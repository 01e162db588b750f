#pragma once
// Asks the SQL Server Browser over UDP: the instances on the network (one broadcast, or one
// request to the address $QUARROW_BROWSER_ADDRESS names) and the TCP port of one named
// instance. Every wait is bounded in time and in datagrams read, and can be cancelled.

#include "catalog/CBrowserAnswer.h"

#include <atomic>
#include <string>
#include <vector>

// Where a request goes.
struct SBrowserEndpoint
{
    std::string m_strHost; // a name or an address
    unsigned m_nPort = 0;
    bool m_bBroadcast = false;
};

// What one gathering brought.
struct SBrowserGathering
{
    std::vector<SBrowserInstance> m_instances;
    std::size_t m_nAnswers = 0; // datagrams read that were answers
    bool m_bCancelled = false;
    std::u16string m_strError; // the request could not be sent; empty otherwise
};

enum class EInstanceLookup
{
    Found,
    UnknownInstance, // the browser answered without that instance (or without a TCP port)
    NoAnswer,        // nothing answered in time
    Failed,          // the request could not be made; the reason says why
};

class CServerBrowser
{
public:
    // The port the SQL Server Browser listens on.
    static constexpr unsigned kBrowserPort = 1434;
    // How long a server list waits for answers: servers answer a broadcast at once, and a
    // user waits for the list.
    static constexpr int kListWaitMs = 1000;
    // How long a named instance's lookup waits before the connect is given up.
    static constexpr int kInstanceWaitMs = 2000;
    // Datagrams read in one wait; more is a flood, and the rest are left unread.
    static constexpr std::size_t kMostAnswers = 256;
    // Instances kept from one gathering.
    static constexpr std::size_t kMostInstances = 2048;
    // A cancel is seen within this.
    static constexpr int kCancelSliceMs = 50;
    // The environment variable that names where requests go.
    static constexpr const char* kAddressVariable = "QUARROW_BROWSER_ADDRESS";

    // HOST:PORT (an IPv6 address in brackets: [::1]:1434). False with a reason.
    static bool ParseAddress(const std::string& text, SBrowserEndpoint& endpoint,
                             std::u16string& reason);

    // Where the list request goes: $QUARROW_BROWSER_ADDRESS when set, else the broadcast
    // address on port 1434. False with a reason when the variable is malformed.
    static bool ListEndpoint(SBrowserEndpoint& endpoint, std::u16string& reason);

    // Sends CLNT_BCAST_EX (CLNT_UCAST_EX to a single address) and gathers answers until
    // waitMs has passed, kMostAnswers were read or *cancel is set.
    static SBrowserGathering List(const SBrowserEndpoint& endpoint, int waitMs,
                                  const std::atomic<bool>* cancel);

    // The TCP port of HOST\INSTANCE, asked of HOST's browser, or of $QUARROW_BROWSER_ADDRESS
    // when set. The reason tells a user what happened when it is not Found.
    static EInstanceLookup FindInstancePort(const std::u16string& host,
                                            const std::u16string& instance, unsigned& port,
                                            std::u16string& reason, int waitMs = kInstanceWaitMs);
};
