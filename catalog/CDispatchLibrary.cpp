#include "catalog/CDispatchLibrary.h"

#include "catalog/CServerSources.h"
#include "catalog/CSnapshotLibrary.h"

#include <mutex>
#include <optional>
#include <vector>

namespace {

class CDispatchServer : public IServer
{
public:
    CDispatchServer(EFlavour flavour, std::shared_ptr<ILibrary> snapshots,
                    std::shared_ptr<ILibrary> live)
        : m_flavour(flavour), m_pSnapshots(std::move(snapshots)), m_pLive(std::move(live))
    {}

    EFlavour GetFlavour() const override { return m_flavour; }
    void SetLoginTimeout(int seconds) override { m_nLoginTimeout = seconds; }
    void SetLoginSecure(bool integrated) override { m_bIntegrated = integrated; }
    void SetConnectOptions(const SConnectOptions& options) override { m_options = options; }

    bool Connect(const std::u16string& server, const std::u16string& login,
                 const std::u16string& password) override
    {
        std::shared_ptr<IServer> chosen;
        std::u16string error;
        const auto& library = CSnapshotLibrary::IsSnapshotName(server) ? m_pSnapshots : m_pLive;
        if (library) {
            chosen = library->CreateServer();
        }
        bool connected = false;
        if (!chosen) {
            error = u"'" + server + u"' cannot be reached: this build has no library for it";
        } else {
            if (m_nLoginTimeout) {
                chosen->SetLoginTimeout(*m_nLoginTimeout);
            }
            chosen->SetLoginSecure(m_bIntegrated);
            chosen->SetConnectOptions(m_options);
            connected = chosen->Connect(server, login, password);
            if (!connected) {
                error = chosen->GetLastError();
            }
        }
        std::lock_guard lock(m_lock);
        m_pServer = connected ? chosen : nullptr;
        m_strError = error;
        return connected;
    }

    std::u16string GetLastError() const override
    {
        std::lock_guard lock(m_lock);
        return m_strError;
    }
    bool GetName(std::u16string& name) override
    {
        auto server = Current();
        return server && server->GetName(name);
    }
    long GetDatabaseCount() override
    {
        auto server = Current();
        return server ? server->GetDatabaseCount() : 0;
    }
    std::shared_ptr<IModelUnknown> GetDatabase(long position) override
    {
        auto server = Current();
        return server ? server->GetDatabase(position) : nullptr;
    }

private:
    std::shared_ptr<IServer> Current() const
    {
        std::lock_guard lock(m_lock);
        return m_pServer;
    }

    EFlavour m_flavour;
    std::shared_ptr<ILibrary> m_pSnapshots;
    std::shared_ptr<ILibrary> m_pLive;
    std::optional<int> m_nLoginTimeout;
    bool m_bIntegrated = false;
    SConnectOptions m_options;
    mutable std::mutex m_lock;
    std::shared_ptr<IServer> m_pServer;
    std::u16string m_strError;
};

class CDispatchApplication : public IApplication
{
public:
    explicit CDispatchApplication(std::vector<std::shared_ptr<IApplication>> parts)
        : m_parts(std::move(parts))
    {}

    bool ListAvailableServers(std::vector<std::u16string>& names) override
    {
        return ListAvailableServersUntil(names, nullptr);
    }

    // Every part's names in one list, sorted and without duplicates.
    bool ListAvailableServersUntil(std::vector<std::u16string>& names,
                                   const std::atomic<bool>* cancel) override
    {
        names.clear();
        m_strError.clear();
        bool any = false;
        for (const auto& part : m_parts) {
            std::vector<std::u16string> found;
            if (part && part->ListAvailableServersUntil(found, cancel)) {
                any = true;
                names.insert(names.end(), found.begin(), found.end());
            }
            if (part && !part->GetLastError().empty()) {
                m_strError += (m_strError.empty() ? u"" : u"; ") + part->GetLastError();
            }
        }
        if (cancel != nullptr && cancel->load()) {
            return false;
        }
        CServerSources::SortUnique(names);
        return any;
    }

    std::u16string GetLastError() const override { return m_strError; }

private:
    std::vector<std::shared_ptr<IApplication>> m_parts;
    std::u16string m_strError;
};

} // namespace

std::shared_ptr<IServer> CDispatchLibrary::CreateServer()
{
    if (!m_pSnapshots && !m_pLive) {
        return nullptr;
    }
    return std::make_shared<CDispatchServer>(m_flavour, m_pSnapshots, m_pLive);
}

std::shared_ptr<IApplication> CDispatchLibrary::CreateApplication()
{
    std::vector<std::shared_ptr<IApplication>> parts;
    for (const auto& library : {m_pSnapshots, m_pLive}) {
        if (library) {
            parts.push_back(library->CreateApplication());
        }
    }
    return std::make_shared<CDispatchApplication>(std::move(parts));
}
