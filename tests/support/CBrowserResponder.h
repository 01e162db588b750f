#pragma once
// A SQL Server Browser for tests: answers MC-SQLR requests on a UDP port of 127.0.0.1 that
// the system picks, from its own thread, until it goes. Knobs play a silent browser, a flood
// of answers and hand-made datagrams.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CBrowserResponder
{
public:
    struct SInstance
    {
        std::string m_strServer;
        std::string m_strInstance;
        int m_nTcpPort = 0; // 0: no tcp entry
        std::string m_strVersion = "15.0.2000.5";
    };

    CBrowserResponder();
    ~CBrowserResponder();
    CBrowserResponder(const CBrowserResponder&) = delete;
    CBrowserResponder& operator=(const CBrowserResponder&) = delete;

    // The port, or 0 when the socket could not be opened.
    int GetPort() const { return m_nPort; }
    // "127.0.0.1:PORT", as $QUARROW_BROWSER_ADDRESS takes it.
    std::string Address() const { return "127.0.0.1:" + std::to_string(m_nPort); }

    void SetInstances(std::vector<SInstance> instances);
    // Read requests and answer none.
    void SetSilent(bool silent);
    // Answer every list request with this many copies of the answer.
    void SetCopies(int copies);
    // Answer list requests with these datagrams instead (raw bytes, sent as they are).
    void SetRawAnswers(std::vector<std::string> datagrams);
    // Requests read so far.
    int GetRequests() const { return m_nRequests.load(); }

    // One SVR_RESP datagram carrying these records.
    static std::string Answer(const std::string& records);
    static std::string Record(const SInstance& instance);

private:
    void Run();

    int m_nSocket = -1;
    int m_nPort = 0;
    std::atomic<bool> m_bStop{false};
    std::atomic<int> m_nRequests{0};
    std::mutex m_lock;
    std::vector<SInstance> m_instances;
    bool m_bSilent = false;
    int m_nCopies = 1;
    std::vector<std::string> m_raw;
    std::thread m_thread;
};
