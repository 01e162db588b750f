#pragma once
// The object-model contract: what Quarrow asks of the libraries that reach SQL Server
// catalogues, and what it relies on. Two flavours stand side by side: the modern one
// (SQL Server 2005 and later: catalog views, dates "yyyy-mm-dd hh:mm:ss") and the legacy
// one (sysobjects/syscomments servers, dates "Mon dd yyyy hh:mmAM"). A library serves one
// flavour. Shared ownership stands for reference counts: holding a shared_ptr is holding a
// reference, reset() is release.
//
// Threads: the user-interface thread creates and connects servers and lists databases; the
// search worker lists objects and reads their names, dates and scripts. Implementations make
// those two sides safe to run at once.

#include "catalog/EncryptionMode.h"
#include "catalog/IObjectScan.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

enum class EFlavour
{
    Modern, // in SQL-DMO's place
    Legacy, // in SQLOLE's place
};

// Object type codes of the object model.
namespace ObjectType {
constexpr int UserDefinedDatatype = 1;
constexpr int View = 4;
constexpr int UserTable = 8;
constexpr int StoredProcedure = 16;
constexpr int Default = 64;
constexpr int Rule = 128;
constexpr int Trigger = 256;
constexpr int UserDefinedFunction = 4096; // modern flavour only
constexpr int All = 509;
} // namespace ObjectType

class IDatabase;
class IDatabaseObject;

// Anything the model hands out that may be asked for a flavour's interface (what COM
// does with QueryInterface). The default answers are "not offered".
class IModelUnknown
{
public:
    virtual ~IModelUnknown() = default;
    virtual std::shared_ptr<IDatabase> QueryDatabase(EFlavour) { return nullptr; }
    virtual std::shared_ptr<IDatabaseObject> QueryDatabaseObject(EFlavour) { return nullptr; }
};

// A database object (a table, view, procedure, ...): IWSQLDMODBObject / IWSQLOLEDBObject.
class IDatabaseObject : public IModelUnknown
{
public:
    virtual EFlavour GetFlavour() const = 0;
    // Each returns false when the library does not deliver the value.
    virtual bool GetName(std::u16string& name) = 0;
    virtual bool GetTypeName(std::u16string& typeName) = 0;
    virtual bool GetCreateDate(std::u16string& dateText) = 0;
    // The full creation script (script type 4, no output file; the modern flavour also
    // takes 0 as its second script type). False when the request does not succeed.
    virtual bool Script(std::u16string& script) = 0;
    // True when Script would succeed. A library that knows without moving the definition
    // (a live server's list says whether a module is readable) answers cheaply.
    virtual bool HasScript()
    {
        std::u16string scratch;
        return Script(scratch);
    }
    // Why the last Script or HasScript answer was false, in words a user can act on (the
    // module is encrypted, the login may not see it, the request failed); empty when unknown.
    virtual std::u16string GetScriptError() { return {}; }
};

// The list a database answers for one type code, in the library's order.
class IObjectList
{
public:
    virtual ~IObjectList() = default;
    virtual long GetCount() = 0;
    // The item at a position from 0; null when there is none.
    virtual std::shared_ptr<IModelUnknown> GetItem(long position) = 0;
};

class IServer;

class IDatabase : public IModelUnknown
{
public:
    virtual EFlavour GetFlavour() const = 0;
    virtual bool GetName(std::u16string& name) = 0;
    // The parent asked for the same library's server interface; null when it has none.
    virtual std::shared_ptr<IServer> GetParentServer() = 0;
    // The database's objects of a type code (509: every type), with a sort code (0).
    // Null when no list comes back.
    virtual std::shared_ptr<IObjectList> ListObjects(int typeCode, int sortCode) = 0;

    // ListObjects for a search that may be stopped: the library gives up (null list, failed
    // scripts) once *cancel is set, and CancelQueries() interrupts a query of this search
    // already running. cancel must outlive the list.
    virtual std::shared_ptr<IObjectList> ListObjectsUntil(int typeCode, int sortCode,
                                                          const std::atomic<bool>* cancel)
    {
        (void)cancel;
        return ListObjects(typeCode, sortCode);
    }
    // From any thread, after setting the cancel flag given to ListObjectsUntil: stops the
    // queries running under a set flag. Nothing to stop by default.
    virtual void CancelQueries() {}
    // Why the last list request gave no list, in words a user can act on; empty when unknown.
    virtual std::u16string GetLastError() const { return {}; }
    // The database's faster way through its objects, when its library has one (IObjectScan);
    // null otherwise. Lives as long as the database.
    virtual IObjectScan* QueryObjectScan() { return nullptr; }
};

class IServer : public IModelUnknown
{
public:
    virtual EFlavour GetFlavour() const = 0;
    virtual void SetLoginTimeout(int seconds) = 0;
    virtual void SetLoginSecure(bool integrated) = 0;
    // Encryption and certificate trust for the next Connect; libraries without a network
    // connection ignore them.
    virtual void SetConnectOptions(const SConnectOptions& options) { (void)options; }
    virtual bool Connect(const std::u16string& server, const std::u16string& login,
                         const std::u16string& password) = 0;
    // Why the last Connect failed, in words a user can act on; empty when unknown.
    virtual std::u16string GetLastError() const { return {}; }
    virtual bool GetName(std::u16string& name) = 0;
    virtual long GetDatabaseCount() = 0;
    // The database at a position from 0; null when there is none. The tree keeps it.
    virtual std::shared_ptr<IModelUnknown> GetDatabase(long position) = 0;
};

// The application object: lists the servers that can be found.
class IApplication
{
public:
    virtual ~IApplication() = default;
    // False (and an empty list) when no list can be had.
    virtual bool ListAvailableServers(std::vector<std::u16string>& names) = 0;
    // The same for a caller that may stop waiting: the library gives up once *cancel is set
    // (false, and whatever was found so far). cancel must outlive the call.
    virtual bool ListAvailableServersUntil(std::vector<std::u16string>& names,
                                           const std::atomic<bool>* cancel)
    {
        (void)cancel;
        return ListAvailableServers(names);
    }
    // What the last listing could not reach, in words a user can act on; empty when all of
    // it was asked.
    virtual std::u16string GetLastError() const { return {}; }
};

// One flavour's library. Creating an object fails (null) when the library is missing.
class ILibrary
{
public:
    virtual ~ILibrary() = default;
    virtual EFlavour GetFlavour() const = 0;
    virtual std::shared_ptr<IServer> CreateServer() = 0;
    virtual std::shared_ptr<IApplication> CreateApplication() = 0;
};
