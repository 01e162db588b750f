#include "catalog/CSnapshotLibrary.h"

#include "catalog/CSnapshotFile.h"
#include "platform/Utf.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using quarrow::FromUtf8;
using quarrow::ToUtf8;

bool IsFolder(const std::string& path)
{
    struct stat info
    {
    };
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsPresent(const std::string& path)
{
    struct stat info
    {
    };
    return stat(path.c_str(), &info) == 0;
}

std::string Canonical(const std::string& path)
{
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : path;
}

std::u16string FlavourWord(EFlavour flavour)
{
    return flavour == EFlavour::Modern ? u"modern" : u"legacy";
}

class CSnapshotObject : public IDatabaseObject, public std::enable_shared_from_this<CSnapshotObject>
{
public:
    CSnapshotObject(std::shared_ptr<CSnapshotFile> file, EFlavour flavour, std::int64_t databaseId,
                    std::int64_t position)
        : m_pFile(std::move(file)), m_flavour(flavour), m_nDatabaseId(databaseId),
          m_nPosition(position)
    {}

    std::shared_ptr<IDatabaseObject> QueryDatabaseObject(EFlavour flavour) override
    {
        return flavour == m_flavour ? shared_from_this() : nullptr;
    }
    EFlavour GetFlavour() const override { return m_flavour; }
    bool GetName(std::u16string& name) override { return Give(m_bName, m_strName, name); }
    bool GetTypeName(std::u16string& typeName) override
    {
        return Give(m_bTypeName, m_strTypeName, typeName);
    }
    bool GetCreateDate(std::u16string& dateText) override
    {
        return Give(m_bCreated, m_strCreated, dateText);
    }
    // Read from the file on each request: a list never holds its scripts.
    bool Script(std::u16string& script) override
    {
        return m_pFile->ReadScript(m_nDatabaseId, m_nPosition, script);
    }
    std::u16string GetScriptError() override
    {
        return u"the catalogue holds no script for it (encrypted or unreadable when it was taken)";
    }

    bool m_bName = false;
    bool m_bTypeName = false;
    bool m_bCreated = false;
    std::u16string m_strName;
    std::u16string m_strTypeName;
    std::u16string m_strCreated;

private:
    static bool Give(bool present, const std::u16string& value, std::u16string& out)
    {
        if (present) {
            out = value;
        }
        return present;
    }

    std::shared_ptr<CSnapshotFile> m_pFile;
    EFlavour m_flavour;
    std::int64_t m_nDatabaseId;
    std::int64_t m_nPosition;
};

class CSnapshotObjectList : public IObjectList
{
public:
    CSnapshotObjectList(std::shared_ptr<CSnapshotFile> file, EFlavour flavour,
                        std::int64_t databaseId, CSnapshotFile::SObjectRows rows)
        : m_pFile(std::move(file)), m_flavour(flavour), m_nDatabaseId(databaseId),
          m_rows(std::move(rows))
    {}

    long GetCount() override { return static_cast<long>(m_rows.m_rows.size()); }

    std::shared_ptr<IModelUnknown> GetItem(long position) override
    {
        if (position < 0 || static_cast<std::size_t>(position) >= m_rows.m_rows.size()) {
            return nullptr;
        }
        const auto& row = m_rows.m_rows[static_cast<std::size_t>(position)];
        auto object =
            std::make_shared<CSnapshotObject>(m_pFile, m_flavour, m_nDatabaseId, row.m_nPosition);
        const std::string& text = m_rows.m_strText;
        object->m_bName = row.m_bName;
        object->m_strName = SnapshotText(text.data() + row.m_nName, row.m_nNameLength);
        object->m_bTypeName = row.m_bTypeName;
        object->m_strTypeName = SnapshotText(text.data() + row.m_nTypeName, row.m_nTypeNameLength);
        object->m_bCreated = row.m_bCreated;
        object->m_strCreated = SnapshotText(text.data() + row.m_nCreated, row.m_nCreatedLength);
        return object;
    }

private:
    std::shared_ptr<CSnapshotFile> m_pFile;
    EFlavour m_flavour;
    std::int64_t m_nDatabaseId;
    CSnapshotFile::SObjectRows m_rows;
};

// A pass over part of a list for the search: decodes only what the search asks for.
class CSnapshotScanCursor : public IObjectScanCursor
{
public:
    CSnapshotScanCursor(std::shared_ptr<CSnapshotFile> file, EFlavour flavour,
                        std::int64_t databaseId, std::unique_ptr<CSnapshotFile::CScan> scan)
        : m_pFile(std::move(file)), m_flavour(flavour), m_nDatabaseId(databaseId),
          m_pScan(std::move(scan))
    {}
    ~CSnapshotScanCursor() override
    {
        m_pScan.reset(); // before the file it reads
    }
    CSnapshotScanCursor(const CSnapshotScanCursor&) = delete;
    CSnapshotScanCursor& operator=(const CSnapshotScanCursor&) = delete;

    bool Next() override { return m_pScan->Next(); }
    bool Failed() const override { return m_pScan->Failed(); }
    bool GetName(std::u16string& name) override { return Decode(0, name); }
    bool GetCreateDate(std::u16string& dateText) override { return Decode(2, dateText); }
    bool HasScript() override { return m_pScan->HasScript(); }
    bool ScriptBytes(std::string_view& script) override { return m_pScan->Script(script); }

    std::shared_ptr<IDatabaseObject> MakeObject() override
    {
        auto object = std::make_shared<CSnapshotObject>(m_pFile, m_flavour, m_nDatabaseId,
                                                        m_pScan->Position());
        object->m_bName = Decode(0, object->m_strName);
        object->m_bTypeName = Decode(1, object->m_strTypeName);
        object->m_bCreated = Decode(2, object->m_strCreated);
        return object;
    }

private:
    // As the list decodes its texts (SnapshotText), into a buffer the caller reuses.
    bool Decode(int column, std::u16string& out)
    {
        std::string_view bytes;
        const bool present = m_pScan->Text(column, bytes);
        quarrow::AssignFromUtf8(out, bytes);
        return present;
    }

    std::shared_ptr<CSnapshotFile> m_pFile;
    EFlavour m_flavour;
    std::int64_t m_nDatabaseId;
    std::unique_ptr<CSnapshotFile::CScan> m_pScan;
};

class CSnapshotDatabase : public IDatabase,
                          public IObjectScan,
                          public std::enable_shared_from_this<CSnapshotDatabase>
{
public:
    CSnapshotDatabase(std::shared_ptr<IServer> server, std::shared_ptr<CSnapshotFile> file,
                      CSnapshotFile::SDatabase database)
        : m_pServer(std::move(server)), m_pFile(std::move(file)), m_database(std::move(database))
    {}

    std::shared_ptr<IDatabase> QueryDatabase(EFlavour flavour) override
    {
        return flavour == GetFlavour() ? shared_from_this() : nullptr;
    }
    EFlavour GetFlavour() const override { return m_pFile->GetFlavour(); }
    bool GetName(std::u16string& name) override
    {
        name = m_database.m_strName;
        return true;
    }
    std::shared_ptr<IServer> GetParentServer() override { return m_pServer; }

    std::shared_ptr<IObjectList> ListObjects(int typeCode, int /*sortCode*/) override
    {
        // As the live server did when the snapshot was taken: no list, and why.
        if (m_database.m_unreadable) {
            return nullptr;
        }
        CSnapshotFile::SObjectRows rows;
        if (!m_pFile->ListObjects(m_database.m_nId, typeCode, rows)) {
            return nullptr;
        }
        return std::make_shared<CSnapshotObjectList>(m_pFile, GetFlavour(), m_database.m_nId,
                                                     std::move(rows));
    }

    // A database that could not be read when the snapshot was taken has no pass: the list
    // walk reports why.
    IObjectScan* QueryObjectScan() override { return m_database.m_unreadable ? nullptr : this; }

    bool PlanScan(int /*typeCode*/, int parts, std::vector<SScanPart>& plan) override
    {
        return m_pFile->PlanScan(m_database.m_nId, parts, plan);
    }

    std::unique_ptr<IObjectScanCursor> OpenScan(int typeCode, const SScanPart& part,
                                                bool withScripts) override
    {
        auto scan = m_pFile->OpenScan(m_database.m_nId, typeCode, part, withScripts);
        if (!scan) {
            return nullptr;
        }
        return std::make_unique<CSnapshotScanCursor>(m_pFile, GetFlavour(), m_database.m_nId,
                                                     std::move(scan));
    }

    std::u16string GetLastError() const override
    {
        return m_database.m_unreadable ? u"it could not be read when the snapshot was taken (" +
                                             *m_database.m_unreadable + u")"
                                       : std::u16string();
    }

private:
    std::shared_ptr<IServer> m_pServer; // the parent; it holds no database, so no cycle
    std::shared_ptr<CSnapshotFile> m_pFile;
    CSnapshotFile::SDatabase m_database;
};

class CSnapshotServer : public IServer, public std::enable_shared_from_this<CSnapshotServer>
{
public:
    explicit CSnapshotServer(EFlavour flavour) : m_flavour(flavour) {}

    EFlavour GetFlavour() const override { return m_flavour; }
    // A file has no logins: the time-out and the login kind change nothing.
    void SetLoginTimeout(int) override {}
    void SetLoginSecure(bool) override {}

    bool Connect(const std::u16string& server, const std::u16string& /*login*/,
                 const std::u16string& /*password*/) override
    {
        m_pFile.reset();
        m_strError.clear();
        m_strName.clear();
        auto quoted = u"'" + server + u"' ";
        if (!CSnapshotLibrary::IsSnapshotName(server)) {
            m_strError = quoted + u"is not a catalogue snapshot; this build searches only "
                                  u"snapshot files, whose names end in .qcat";
            return false;
        }
        std::string path;
        std::u16string reason;
        if (!CSnapshotLibrary::ResolveName(server, path, reason)) {
            m_strError = quoted + reason;
            return false;
        }
        auto file = CSnapshotFile::Open(path, reason);
        if (!file) {
            m_strError = quoted + reason;
            return false;
        }
        if (file->GetFlavour() != m_flavour) {
            m_strError = quoted + u"is a " + FlavourWord(file->GetFlavour()) +
                         u" catalogue, which the " + FlavourWord(m_flavour) +
                         u" library does not serve";
            return false;
        }
        m_pFile = std::move(file);
        m_strName = server;
        return true;
    }

    std::u16string GetLastError() const override { return m_strError; }

    bool GetName(std::u16string& name) override
    {
        if (!m_pFile) {
            return false;
        }
        name = m_strName;
        return true;
    }

    long GetDatabaseCount() override
    {
        return m_pFile ? static_cast<long>(m_pFile->GetDatabases().size()) : 0;
    }

    std::shared_ptr<IModelUnknown> GetDatabase(long position) override
    {
        if (!m_pFile || position < 0 ||
            static_cast<std::size_t>(position) >= m_pFile->GetDatabases().size()) {
            return nullptr;
        }
        return std::make_shared<CSnapshotDatabase>(
            shared_from_this(), m_pFile,
            m_pFile->GetDatabases()[static_cast<std::size_t>(position)]);
    }

private:
    EFlavour m_flavour;
    std::shared_ptr<CSnapshotFile> m_pFile;
    std::u16string m_strName;
    std::u16string m_strError;
};

class CSnapshotApplication : public IApplication
{
public:
    bool ListAvailableServers(std::vector<std::u16string>& names) override
    {
        names.clear();
        std::vector<std::string> folders{CSnapshotLibrary::GetUserFolder()};
        for (auto& folder : CSnapshotLibrary::GetDemoFolders()) {
            folders.push_back(folder);
        }
        for (const auto& folder : folders) {
            std::vector<std::u16string> found;
            DIR* dir = opendir(folder.c_str());
            if (dir == nullptr) {
                continue;
            }
            while (dirent* entry = readdir(dir)) {
                std::u16string name = FromUtf8(entry->d_name);
                if (CSnapshotLibrary::IsSnapshotName(name) &&
                    !IsFolder(folder + "/" + entry->d_name)) {
                    found.push_back(std::move(name));
                }
            }
            closedir(dir);
            std::sort(found.begin(), found.end());
            // A bare name connects to the first folder's file, so list it once.
            for (auto& name : found) {
                if (std::find(names.begin(), names.end(), name) == names.end()) {
                    names.push_back(std::move(name));
                }
            }
        }
        return true;
    }
};

} // namespace

std::shared_ptr<IServer> CSnapshotLibrary::CreateServer()
{
    return std::make_shared<CSnapshotServer>(m_flavour);
}

std::shared_ptr<IApplication> CSnapshotLibrary::CreateApplication()
{
    return std::make_shared<CSnapshotApplication>();
}

bool CSnapshotLibrary::IsSnapshotName(const std::u16string& name)
{
    const std::u16string suffix = kSuffix;
    return name.size() > suffix.size() &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string CSnapshotLibrary::GetUserFolder()
{
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    std::string base;
    // A relative XDG path is invalid and is ignored.
    if (dataHome != nullptr && dataHome[0] == '/') {
        base = dataHome;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home != nullptr ? home : "") + "/.local/share";
    }
    return base + "/quarrow/catalogues";
}

std::vector<std::string> CSnapshotLibrary::GetDemoFolders()
{
    std::vector<std::string> candidates;
    char exe[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (length > 0) {
        std::string path(exe, static_cast<std::size_t>(length));
        auto slash = path.rfind('/');
        if (slash != std::string::npos) {
            candidates.push_back(path.substr(0, slash) + "/../share/quarrow/catalogues");
        }
    }
#ifdef QUARROW_DATA_DIR
    candidates.push_back(std::string(QUARROW_DATA_DIR) + "/catalogues");
#endif
    std::vector<std::string> folders;
    for (const auto& candidate : candidates) {
        if (!IsFolder(candidate)) {
            continue;
        }
        std::string canonical = Canonical(candidate);
        if (std::find(folders.begin(), folders.end(), canonical) == folders.end()) {
            folders.push_back(canonical);
        }
    }
    return folders;
}

bool CSnapshotLibrary::ResolveName(const std::u16string& name, std::string& path,
                                   std::u16string& reason)
{
    std::string utf8 = ToUtf8(name);
    if (name.find(u'/') != std::u16string::npos) {
        if (!IsPresent(utf8)) {
            reason = u"does not exist";
            return false;
        }
        path = utf8;
        return true;
    }
    std::vector<std::string> folders{".", GetUserFolder()};
    for (auto& folder : GetDemoFolders()) {
        folders.push_back(folder);
    }
    for (const auto& folder : folders) {
        std::string candidate = folder + "/" + utf8;
        if (IsPresent(candidate)) {
            path = candidate;
            return true;
        }
    }
    reason = u"was not found in the current folder";
    for (std::size_t i = 1; i < folders.size(); ++i) {
        reason += (i + 1 == folders.size() ? u" or " : u", ") + FromUtf8(folders[i]);
    }
    reason += u"; give its path or copy it into " + FromUtf8(GetUserFolder());
    return false;
}
