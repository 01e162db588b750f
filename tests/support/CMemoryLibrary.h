#pragma once
// An in-memory object-model library for tests and benchmarks, with knobs for every failure
// the search and the look-in tree must survive.

#include "catalog/ObjectModel.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct SMemoryObject
{
    // nullopt: the library does not deliver that value.
    std::optional<std::u16string> name;
    std::optional<std::u16string> typeName = u"Stored Procedure";
    std::optional<std::u16string> created = u"2014-05-15 10:20:00";
    int typeCode = ObjectType::StoredProcedure;
    std::optional<std::u16string> script = u""; // nullopt: the script request fails
    std::u16string scriptError;     // the reason the library gives when the script request fails
    bool missing = false;           // the list answers no item at this position
    bool noInterface = false;       // the item does not offer the database-object interface
    std::function<void()> onScript; // runs while the script is asked for (to stop a search)
};

struct SMemoryDatabase
{
    std::u16string name;
    std::vector<SMemoryObject> objects;
    bool noObjectList = false;
    // Which interfaces the database offers; nullopt: the flavour of the connecting library.
    std::optional<bool> offersModern;
    std::optional<bool> offersLegacy;
};

struct SMemoryServer
{
    std::u16string name;
    std::vector<SMemoryDatabase> databases;
    bool acceptsModern = true; // the modern library can connect it
    bool acceptsLegacy = false;
    bool refuseConnect = false;
    bool noParentServer = false;        // a database's parent offers no server interface
    std::vector<long> missingDatabases; // positions that yield no database object
};

struct CMemoryCatalog
{
    std::vector<SMemoryServer> servers;
    std::vector<std::u16string> availableServers;
    bool noAvailableList = false;

    // Counters the tests read.
    mutable std::atomic<long> liveObjects{0}; // database objects not yet released
    mutable std::atomic<long> scriptRequests{0};
    mutable std::atomic<long> nameRequests{0};
    mutable std::atomic<long> dateRequests{0};
    // What the last Connect was asked for (user-interface thread only).
    mutable SConnectOptions lastConnectOptions;

    const SMemoryServer* FindServer(const std::u16string& name) const;
};

class CMemoryLibrary : public ILibrary
{
public:
    CMemoryLibrary(EFlavour flavour, std::shared_ptr<const CMemoryCatalog> catalog);

    EFlavour GetFlavour() const override { return m_flavour; }
    std::shared_ptr<IServer> CreateServer() override;
    std::shared_ptr<IApplication> CreateApplication() override;

    bool m_bMissing = false; // the library is not installed: nothing can be created

private:
    EFlavour m_flavour;
    std::shared_ptr<const CMemoryCatalog> m_pCatalog;
};

// Builds a catalogue quickly: Object(u"dbo.Orders", ObjectType::UserTable, u"CREATE ...").
SMemoryObject MemObject(std::u16string name, int typeCode = ObjectType::StoredProcedure,
                        std::u16string script = u"",
                        std::u16string created = u"2014-05-15 10:20:00");

// Connects a server of the catalogue through a library, as the look-in tree does, and
// returns its databases' objects in order. Empty when it cannot connect.
std::vector<std::shared_ptr<IModelUnknown>> ConnectAndListDatabases(ILibrary& library,
                                                                    const std::u16string& server);
