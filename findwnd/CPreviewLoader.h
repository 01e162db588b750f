#pragma once
// Reads the previewed object's script and finds its matches on a thread of its own, so a live
// server's answer never holds up the window. Only the newest request counts: one still waiting
// is replaced, and the answer to one that was replaced while it ran is still handed over with
// its serial number, for the caller to drop. When the loader goes, a read still under way
// finishes on its own and delivers nothing.

#include "catalog/ObjectModel.h"
#include "search/MatchSpans.h"

#include <QObject>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class CPreviewLoader : public QObject
{
    Q_OBJECT
public:
    // Matches kept per script: enough to step through, bounded for a script full of them.
    static constexpr std::size_t kMaxMatches = 100000;
    // How long the window's end waits for the thread before leaving it to finish alone.
    static constexpr std::chrono::milliseconds kEndWait{200};

    struct SRequest
    {
        std::uint64_t m_nSerial = 0;
        std::shared_ptr<IDatabaseObject> m_pObject;
        std::u16string m_strText; // the search's text criterion; empty: no matches
        bool m_bRegExp = false;
        bool m_bMatchCase = false;
    };
    struct SResult
    {
        std::uint64_t m_nSerial = 0;
        bool m_bScript = false; // false: the object model refused the script
        std::u16string m_strScript;
        std::vector<SMatchSpan> m_matches;
    };
    // Runs on the user-interface thread.
    using Sink = std::function<void(SResult& result)>;

    explicit CPreviewLoader(Sink sink, QObject* pParent = nullptr);
    ~CPreviewLoader() override;

    // Queues the request in place of any still waiting; false when no thread could be made.
    bool Request(SRequest request);

    // The work a request does, on the calling thread.
    static SResult Load(const SRequest& request);

private:
    struct SShared;
    void Deliver(const std::shared_ptr<SResult>& pResult);

    Sink m_sink;
    std::shared_ptr<SShared> m_pShared;
    std::thread m_thread;
};
