#include "tests/support/CMemoryLibrary.h"

#include <utility>

namespace {

class CMemDatabaseObject : public IDatabaseObject
{
public:
    CMemDatabaseObject(EFlavour flavour, std::shared_ptr<const CMemoryCatalog> catalog,
                       const SMemoryObject* object)
        : m_flavour(flavour), m_pCatalog(std::move(catalog)), m_pObject(object)
    {
        ++m_pCatalog->liveObjects;
    }
    ~CMemDatabaseObject() override { --m_pCatalog->liveObjects; }

    EFlavour GetFlavour() const override { return m_flavour; }
    std::shared_ptr<IDatabaseObject> QueryDatabaseObject(EFlavour flavour) override
    {
        return flavour == m_flavour ? std::shared_ptr<IDatabaseObject>(m_pSelf) : nullptr;
    }
    bool GetName(std::u16string& name) override
    {
        ++m_pCatalog->nameRequests;
        return Deliver(m_pObject->name, name);
    }
    bool GetTypeName(std::u16string& typeName) override
    {
        return Deliver(m_pObject->typeName, typeName);
    }
    bool GetCreateDate(std::u16string& dateText) override
    {
        ++m_pCatalog->dateRequests;
        return Deliver(m_pObject->created, dateText);
    }
    bool Script(std::u16string& script) override
    {
        ++m_pCatalog->scriptRequests;
        if (m_pObject->onScript) {
            m_pObject->onScript();
        }
        return Deliver(m_pObject->script, script);
    }
    std::u16string GetScriptError() override { return m_pObject->scriptError; }

    std::weak_ptr<CMemDatabaseObject> m_pSelf;

private:
    static bool Deliver(const std::optional<std::u16string>& value, std::u16string& out)
    {
        if (!value) {
            return false;
        }
        out = *value;
        return true;
    }

    EFlavour m_flavour;
    std::shared_ptr<const CMemoryCatalog> m_pCatalog;
    const SMemoryObject* m_pObject;
};

// What the list hands out: an item that may or may not offer the interface.
class CMemItem : public IModelUnknown
{
public:
    CMemItem(EFlavour flavour, std::shared_ptr<const CMemoryCatalog> catalog,
             const SMemoryObject* object)
        : m_flavour(flavour), m_pCatalog(std::move(catalog)), m_pObject(object)
    {}
    std::shared_ptr<IDatabaseObject> QueryDatabaseObject(EFlavour flavour) override
    {
        if (flavour != m_flavour || m_pObject->noInterface) {
            return nullptr;
        }
        auto object = std::make_shared<CMemDatabaseObject>(m_flavour, m_pCatalog, m_pObject);
        object->m_pSelf = object;
        return object;
    }

private:
    EFlavour m_flavour;
    std::shared_ptr<const CMemoryCatalog> m_pCatalog;
    const SMemoryObject* m_pObject;
};

class CMemObjectList : public IObjectList
{
public:
    CMemObjectList(EFlavour flavour, std::shared_ptr<const CMemoryCatalog> catalog,
                   std::vector<const SMemoryObject*> objects)
        : m_flavour(flavour), m_pCatalog(std::move(catalog)), m_objects(std::move(objects))
    {}
    long GetCount() override { return static_cast<long>(m_objects.size()); }
    std::shared_ptr<IModelUnknown> GetItem(long position) override
    {
        if (position < 0 || position >= GetCount() || m_objects[position]->missing) {
            return nullptr;
        }
        return std::make_shared<CMemItem>(m_flavour, m_pCatalog, m_objects[position]);
    }

private:
    EFlavour m_flavour;
    std::shared_ptr<const CMemoryCatalog> m_pCatalog;
    std::vector<const SMemoryObject*> m_objects;
};

class CMemServer;

class CMemDatabase : public IDatabase
{
public:
    CMemDatabase(EFlavour flavour, std::shared_ptr<const CMemoryCatalog> catalog,
                 const SMemoryServer* server, const SMemoryDatabase* database)
        : m_flavour(flavour), m_pCatalog(std::move(catalog)), m_pServer(server),
          m_pDatabase(database)
    {}

    EFlavour GetFlavour() const override { return m_flavour; }
    std::shared_ptr<IDatabase> QueryDatabase(EFlavour flavour) override
    {
        const bool offered = flavour == EFlavour::Modern
                                 ? m_pDatabase->offersModern.value_or(m_flavour == flavour)
                                 : m_pDatabase->offersLegacy.value_or(m_flavour == flavour);
        if (!offered) {
            return nullptr;
        }
        if (flavour == m_flavour) {
            return std::shared_ptr<IDatabase>(m_pSelf);
        }
        auto other = std::make_shared<CMemDatabase>(flavour, m_pCatalog, m_pServer, m_pDatabase);
        other->m_pSelf = other;
        return other;
    }
    bool GetName(std::u16string& name) override
    {
        name = m_pDatabase->name;
        return true;
    }
    std::shared_ptr<IServer> GetParentServer() override;
    std::shared_ptr<IObjectList> ListObjects(int typeCode, int /*sortCode*/) override
    {
        if (m_pDatabase->noObjectList) {
            return nullptr;
        }
        std::vector<const SMemoryObject*> objects;
        for (const auto& object : m_pDatabase->objects) {
            if (typeCode == ObjectType::All || object.typeCode == typeCode) {
                objects.push_back(&object);
            }
        }
        return std::make_shared<CMemObjectList>(m_flavour, m_pCatalog, std::move(objects));
    }

    std::weak_ptr<CMemDatabase> m_pSelf;

private:
    EFlavour m_flavour;
    std::shared_ptr<const CMemoryCatalog> m_pCatalog;
    const SMemoryServer* m_pServer;
    const SMemoryDatabase* m_pDatabase;
};

class CMemServer : public IServer
{
public:
    CMemServer(EFlavour flavour, std::shared_ptr<const CMemoryCatalog> catalog)
        : m_flavour(flavour), m_pCatalog(std::move(catalog))
    {}
    CMemServer(EFlavour flavour, std::shared_ptr<const CMemoryCatalog> catalog,
               const SMemoryServer* server)
        : m_flavour(flavour), m_pCatalog(std::move(catalog)), m_pServer(server)
    {}

    EFlavour GetFlavour() const override { return m_flavour; }
    void SetLoginTimeout(int seconds) override { m_nTimeout = seconds; }
    void SetLoginSecure(bool integrated) override { m_bSecure = integrated; }
    void SetConnectOptions(const SConnectOptions& options) override { m_options = options; }
    bool Connect(const std::u16string& server, const std::u16string&,
                 const std::u16string&) override
    {
        m_pCatalog->lastConnectOptions = m_options;
        const SMemoryServer* found = m_pCatalog->FindServer(server);
        const bool accepts =
            found && (m_flavour == EFlavour::Modern ? found->acceptsModern : found->acceptsLegacy);
        if (!found || found->refuseConnect || !accepts) {
            m_strError = u"cannot connect to " + server;
            return false;
        }
        m_pServer = found;
        return true;
    }
    std::u16string GetLastError() const override { return m_strError; }
    bool GetName(std::u16string& name) override
    {
        if (!m_pServer) {
            return false;
        }
        name = m_pServer->name;
        return true;
    }
    long GetDatabaseCount() override
    {
        return m_pServer ? static_cast<long>(m_pServer->databases.size()) : 0;
    }
    std::shared_ptr<IModelUnknown> GetDatabase(long position) override
    {
        if (!m_pServer || position < 0 || position >= GetDatabaseCount()) {
            return nullptr;
        }
        for (long missing : m_pServer->missingDatabases) {
            if (missing == position) {
                return nullptr;
            }
        }
        auto database = std::make_shared<CMemDatabase>(m_flavour, m_pCatalog, m_pServer,
                                                       &m_pServer->databases[position]);
        database->m_pSelf = database;
        return database;
    }

private:
    EFlavour m_flavour;
    std::shared_ptr<const CMemoryCatalog> m_pCatalog;
    const SMemoryServer* m_pServer = nullptr;
    int m_nTimeout = 0;
    bool m_bSecure = true;
    SConnectOptions m_options;
    std::u16string m_strError;
};

std::shared_ptr<IServer> CMemDatabase::GetParentServer()
{
    if (m_pServer->noParentServer) {
        return nullptr;
    }
    return std::make_shared<CMemServer>(m_flavour, m_pCatalog, m_pServer);
}

class CMemApplication : public IApplication
{
public:
    explicit CMemApplication(std::shared_ptr<const CMemoryCatalog> catalog)
        : m_pCatalog(std::move(catalog))
    {}
    bool ListAvailableServers(std::vector<std::u16string>& names) override
    {
        names.clear();
        if (m_pCatalog->noAvailableList) {
            return false;
        }
        names = m_pCatalog->availableServers;
        return true;
    }

private:
    std::shared_ptr<const CMemoryCatalog> m_pCatalog;
};

} // namespace

const SMemoryServer* CMemoryCatalog::FindServer(const std::u16string& name) const
{
    for (const auto& server : servers) {
        if (server.name == name) {
            return &server;
        }
    }
    return nullptr;
}

CMemoryLibrary::CMemoryLibrary(EFlavour flavour, std::shared_ptr<const CMemoryCatalog> catalog)
    : m_flavour(flavour), m_pCatalog(std::move(catalog))
{}

std::shared_ptr<IServer> CMemoryLibrary::CreateServer()
{
    if (m_bMissing) {
        return nullptr;
    }
    return std::make_shared<CMemServer>(m_flavour, m_pCatalog);
}

std::shared_ptr<IApplication> CMemoryLibrary::CreateApplication()
{
    if (m_bMissing) {
        return nullptr;
    }
    return std::make_shared<CMemApplication>(m_pCatalog);
}

SMemoryObject MemObject(std::u16string name, int typeCode, std::u16string script,
                        std::u16string created)
{
    SMemoryObject object;
    object.name = std::move(name);
    object.typeCode = typeCode;
    object.script = std::move(script);
    object.created = std::move(created);
    return object;
}

std::vector<std::shared_ptr<IModelUnknown>> ConnectAndListDatabases(ILibrary& library,
                                                                    const std::u16string& server)
{
    std::vector<std::shared_ptr<IModelUnknown>> databases;
    auto connection = library.CreateServer();
    if (!connection || !connection->Connect(server, u"", u"")) {
        return databases;
    }
    for (long i = 0; i < connection->GetDatabaseCount(); ++i) {
        if (auto database = connection->GetDatabase(i)) {
            databases.push_back(std::move(database));
        }
    }
    return databases;
}
