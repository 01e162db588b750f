#include "findwnd/CPreviewLoader.h"

#include <QMetaObject>
#include <QPointer>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>

struct CPreviewLoader::SShared
{
    std::mutex m_mutex;
    std::condition_variable m_cvWork;
    std::condition_variable m_cvDone;
    std::optional<SRequest> m_next;
    bool m_bAlive = true; // the loader exists: answers may be posted to it
    bool m_bThreadDone = false;
    CPreviewLoader* m_pLoader = nullptr; // valid while m_bAlive, read under the mutex
};

CPreviewLoader::CPreviewLoader(Sink sink, QObject* pParent)
    : QObject(pParent), m_sink(std::move(sink)), m_pShared(std::make_shared<SShared>())
{
    m_pShared->m_pLoader = this;
}

CPreviewLoader::~CPreviewLoader()
{
    {
        std::lock_guard lock(m_pShared->m_mutex);
        m_pShared->m_bAlive = false;
        m_pShared->m_pLoader = nullptr;
        m_pShared->m_next.reset();
    }
    m_pShared->m_cvWork.notify_all();
    if (!m_thread.joinable())
        return;
    // An idle thread ends at once. A script read under way cannot be interrupted: the thread
    // keeps its own share of the state and ends by itself when the read returns.
    std::unique_lock lock(m_pShared->m_mutex);
    const bool bDone =
        m_pShared->m_cvDone.wait_for(lock, kEndWait, [this] { return m_pShared->m_bThreadDone; });
    lock.unlock();
    if (bDone)
        m_thread.join();
    else
        m_thread.detach();
}

CPreviewLoader::SResult CPreviewLoader::Load(const SRequest& request)
{
    SResult result;
    result.m_nSerial = request.m_nSerial;
    if (request.m_pObject)
        result.m_bScript = request.m_pObject->Script(result.m_strScript);
    if (result.m_bScript && !request.m_strText.empty())
        result.m_matches = FindMatchSpans(result.m_strScript, request.m_strText, request.m_bRegExp,
                                          request.m_bMatchCase, kMaxMatches);
    return result;
}

bool CPreviewLoader::Request(SRequest request)
{
    {
        std::lock_guard lock(m_pShared->m_mutex);
        m_pShared->m_next = std::move(request);
    }
    m_pShared->m_cvWork.notify_all();
    if (m_thread.joinable())
        return true;
    try {
        m_thread = std::thread([pShared = m_pShared] {
            std::unique_lock lock(pShared->m_mutex);
            while (true) {
                pShared->m_cvWork.wait(lock, [&] { return !pShared->m_bAlive || pShared->m_next; });
                if (!pShared->m_bAlive)
                    break;
                SRequest next = std::move(*pShared->m_next);
                pShared->m_next.reset();
                lock.unlock();
                auto pResult = std::make_shared<SResult>(Load(next));
                // The object's reference goes here, off the user-interface thread.
                next.m_pObject.reset();
                lock.lock();
                if (pShared->m_bAlive)
                    pShared->m_pLoader->Deliver(pResult);
            }
            pShared->m_bThreadDone = true;
            pShared->m_cvDone.notify_all();
        });
    } catch (const std::system_error&) {
        std::lock_guard lock(m_pShared->m_mutex);
        m_pShared->m_next.reset();
        return false;
    }
    return true;
}

void CPreviewLoader::Deliver(const std::shared_ptr<SResult>& pResult)
{
    // Called on the thread under the mutex while the loader exists; a posted call to a
    // loader deleted before it runs is dropped by Qt.
    QMetaObject::invokeMethod(
        this,
        [this, pResult] {
            if (m_sink)
                m_sink(*pResult);
        },
        Qt::QueuedConnection);
}
