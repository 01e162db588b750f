// Catalogue snapshots on hostile SQLite files, read the way a search reads them: through the
// snapshot library's object model (connect, list databases, list objects of every type, read
// names, dates and every script).
//
// Input: byte 0 picks how the file is made.
// - Mode 0: the rest is the file, byte for byte.
// - Otherwise the rest is a small program that builds the file with SQLite: the tables of
//   the real schema or loose ones (no types, no NOT NULL) or ones missing columns or absent,
//   then rows whose values are drawn from the input: NULLs, integers, reals, texts, blobs,
//   broken UTF-8, huge texts, other format numbers. With mode bit 1 the program starts with
//   a few byte patches laid over the finished file, so damaged pages are reached from
//   well-formed ones; mode bit 2 builds the file in WAL mode.

#include "catalog/CSnapshotFile.h"
#include "catalog/CSnapshotLibrary.h"
#include "catalog/ObjectModel.h"
#include "platform/Utf.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

// A list longer than this is still read, only not every item of it is looked at.
constexpr long kMaxItems = 4096;
constexpr long kMaxDatabases = 64;
// Huge texts reach the readers' large-value paths without making every run slow.
constexpr std::size_t kHugeText = 1 << 20;
constexpr int kMaxHugeTexts = 4;
constexpr int kMaxRows = 2000;

std::string g_folder;
std::string g_path;

void Fail(const char* what)
{
    std::fprintf(stderr, "qcat_fuzz invariant broken: %s\n", what);
    std::abort();
}

void Check(bool condition, const char* what)
{
    if (!condition)
        Fail(what);
}

// Reads the input front to back; past its end every read gives zeros.
class CInput
{
public:
    CInput(const std::uint8_t* data, std::size_t size) : m_pData(data), m_nSize(size) {}
    bool AtEnd() const { return m_nPos >= m_nSize; }
    std::uint8_t Byte() { return m_nPos < m_nSize ? m_pData[m_nPos++] : 0; }
    std::int64_t Int64()
    {
        std::uint64_t value = 0;
        for (int i = 0; i < 8; ++i)
            value = (value << 8) | Byte();
        return static_cast<std::int64_t>(value);
    }
    std::string_view Bytes(std::size_t count)
    {
        count = std::min(count, m_nSize - std::min(m_nPos, m_nSize));
        std::string_view bytes(reinterpret_cast<const char*>(m_pData) + m_nPos, count);
        m_nPos += count;
        return bytes;
    }

private:
    const std::uint8_t* m_pData;
    std::size_t m_nSize;
    std::size_t m_nPos = 0;
};

void RemoveFiles()
{
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        ::unlink((g_path + suffix).c_str());
}

bool WriteRaw(std::string_view bytes)
{
    const int fd = ::open(g_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = true;
    while (ok && !bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        ok = n > 0;
        if (ok)
            bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ok;
}

// The tables as CSnapshotWriter makes them, and variants of each.
// A hostile file may also put views in the tables' place, here ones without end.
#define QCAT_ENDLESS "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
constexpr std::array<const char*, 6> kCatalogue = {
    "CREATE TABLE catalogue(key TEXT PRIMARY KEY, value TEXT NOT NULL)",
    "CREATE TABLE catalogue(key, value)",
    "CREATE TABLE catalogue(key INTEGER, value BLOB)",
    "CREATE TABLE catalogue(key)",
    "",
    "CREATE VIEW catalogue(key, value) AS " QCAT_ENDLESS "SELECT 'flavour', 'modern' FROM n",
};
constexpr std::array<const char*, 6> kDatabases = {
    "CREATE TABLE databases(id INTEGER PRIMARY KEY, position INTEGER NOT NULL UNIQUE, "
    "name TEXT NOT NULL)",
    "CREATE TABLE databases(id, position, name)",
    "CREATE TABLE databases(id TEXT, position REAL, name BLOB)",
    "CREATE TABLE databases(id, name)",
    "",
    "CREATE VIEW databases(id, position, name) AS " QCAT_ENDLESS "SELECT i, i, 'db' FROM n",
};
constexpr std::array<const char*, 8> kObjects = {
    "CREATE TABLE objects(database_id INTEGER NOT NULL REFERENCES databases(id), "
    "position INTEGER NOT NULL, name TEXT NOT NULL, type_code INTEGER NOT NULL, "
    "type_name TEXT NOT NULL, created TEXT NOT NULL, script TEXT, "
    "PRIMARY KEY (database_id, position))",
    "CREATE TABLE objects(database_id, position, name, type_code, type_name, created, script)",
    "CREATE TABLE objects(database_id TEXT, position TEXT, name BLOB, type_code TEXT, "
    "type_name INTEGER, created REAL, script BLOB)",
    "CREATE TABLE objects(database_id, position, name, type_code, type_name, created)",
    "CREATE TABLE objects(database_id, position, name, type_code, type_name, created, script);"
    "CREATE INDEX objects_by_name ON objects(name, script)",
    "",
    "CREATE VIEW objects(database_id, position, name, type_code, type_name, created, script) "
    "AS " QCAT_ENDLESS "SELECT 1, i, 'o', 16, 'Stored Procedure', '', 'x' FROM n",
    "CREATE TABLE objects(database_id, position, name, type_code, type_name, created, text, "
    "script AS (text || text || text || text))",
};
#undef QCAT_ENDLESS
constexpr std::array<const char*, 8> kKeys = {"format", "flavour", "server", "taken",
                                              "FORMAT", "format ", "",       "Flavour"};
constexpr std::array<const char*, 12> kTexts = {"1",
                                                "modern",
                                                "legacy",
                                                "2",
                                                "0",
                                                "-1",
                                                " 1",
                                                "1.0",
                                                "Modern",
                                                "",
                                                "99999999999999999999",
                                                "\xff\xfe\xc3"};

// One value from the input, bound to a statement parameter.
void BindValue(CInput& in, sqlite3_stmt* statement, int index, int& hugeTexts)
{
    const std::uint8_t kind = in.Byte();
    switch (kind % 9) {
    case 0:
        sqlite3_bind_null(statement, index);
        break;
    case 1:
        sqlite3_bind_int64(statement, index, static_cast<std::int8_t>(in.Byte()));
        break;
    case 2:
        sqlite3_bind_int64(statement, index, in.Int64());
        break;
    case 3: {
        const std::int64_t bits = in.Int64();
        double real = 0;
        std::memcpy(&real, &bits, sizeof real);
        sqlite3_bind_double(statement, index, real);
        break;
    }
    case 4: {
        const std::string_view text = in.Bytes(in.Byte());
        sqlite3_bind_text64(statement, index, text.data(), text.size(), SQLITE_TRANSIENT,
                            SQLITE_UTF8);
        break;
    }
    case 5: {
        const std::string_view blob = in.Bytes(in.Byte());
        sqlite3_bind_blob64(statement, index, blob.data(), blob.size(), SQLITE_TRANSIENT);
        break;
    }
    case 6: {
        const char* text = kTexts[in.Byte() % kTexts.size()];
        sqlite3_bind_text(statement, index, text, -1, SQLITE_STATIC);
        break;
    }
    case 7: {
        // A text of up to a megabyte of one byte, or a prefix of the input repeated.
        if (hugeTexts >= kMaxHugeTexts) {
            sqlite3_bind_text(statement, index, "x", 1, SQLITE_STATIC);
            break;
        }
        ++hugeTexts;
        const std::size_t high = in.Byte();
        const std::size_t length = std::min(kHugeText, (high << 12) + in.Byte());
        const std::string_view unit = in.Bytes(in.Byte() % 8 + 1);
        // Doubled rather than filled byte by byte: a per-byte loop under coverage
        // instrumentation would cost most of a run.
        std::string text(unit.empty() ? std::string_view("x") : unit);
        while (text.size() < length)
            text.append(text, 0, std::min(text.size(), length - text.size()));
        text.resize(length);
        sqlite3_bind_text64(statement, index, text.data(), text.size(), SQLITE_TRANSIENT,
                            SQLITE_UTF8);
        break;
    }
    default:
        sqlite3_bind_int64(statement, index, in.Byte() % 4 == 0 ? 509 : (1 << (in.Byte() % 13)));
        break;
    }
}

void Exec(sqlite3* db, const char* sql)
{
    if (sql[0] != '\0')
        sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// Builds the file the program in the input describes. False when SQLite cannot make it.
bool Build(CInput& in, std::uint8_t mode)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(g_path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    const std::uint8_t layout = in.Byte();
    static constexpr std::array<const char*, 4> kEncodings = {
        "", "PRAGMA encoding='UTF-16le'", "PRAGMA encoding='UTF-16be'", "PRAGMA page_size=512"};
    Exec(db, kEncodings[layout % 4]);
    Exec(db, (mode & 4) != 0 ? "PRAGMA journal_mode=WAL" : "PRAGMA journal_mode=OFF");
    Exec(db, "PRAGMA synchronous=OFF");
    Exec(db, kCatalogue[(layout >> 2) % kCatalogue.size()]);
    Exec(db, kDatabases[in.Byte() % kDatabases.size()]);
    Exec(db, kObjects[in.Byte() % kObjects.size()]);
    Exec(db, "BEGIN");

    sqlite3_stmt* entry = nullptr;
    sqlite3_stmt* database = nullptr;
    sqlite3_stmt* object = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO catalogue(key, value) VALUES (?1, ?2)", -1, &entry,
                       nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO databases(id, position, name) VALUES (?1, ?2, ?3)", -1,
                       &database, nullptr);
    sqlite3_prepare_v2(db,
                       "INSERT INTO objects(database_id, position, name, type_code, type_name, "
                       "created, script) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
                       -1, &object, nullptr);
    if (object == nullptr)
        // The variant whose script is computed from another column.
        sqlite3_prepare_v2(db,
                           "INSERT INTO objects(database_id, position, name, type_code, "
                           "type_name, created, text) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
                           -1, &object, nullptr);
    int hugeTexts = 0;
    for (int rows = 0; rows < kMaxRows && !in.AtEnd(); ++rows) {
        const std::uint8_t op = in.Byte();
        sqlite3_stmt* statement = nullptr;
        switch (op % 4) {
        case 0:
            // The catalogue entries a reader needs, with values from the input.
            statement = entry;
            if (statement) {
                sqlite3_bind_text(statement, 1, kKeys[in.Byte() % kKeys.size()], -1, SQLITE_STATIC);
                BindValue(in, statement, 2, hugeTexts);
            }
            break;
        case 1:
            statement = database;
            for (int i = 1; statement && i <= 3; ++i)
                BindValue(in, statement, i, hugeTexts);
            break;
        case 2:
            statement = object;
            for (int i = 1; statement && i <= 7; ++i)
                BindValue(in, statement, i, hugeTexts);
            break;
        default: {
            // A well-formed object in a database of a small id, the common case.
            statement = object;
            if (statement) {
                sqlite3_bind_int64(statement, 1, in.Byte() % 4);
                sqlite3_bind_int64(statement, 2, in.Byte() % 16);
                const std::string_view name = in.Bytes(in.Byte() % 16);
                sqlite3_bind_text64(statement, 3, name.data(), name.size(), SQLITE_TRANSIENT,
                                    SQLITE_UTF8);
                sqlite3_bind_int64(statement, 4, 1 << (in.Byte() % 13));
                sqlite3_bind_text(statement, 5, "Stored Procedure", -1, SQLITE_STATIC);
                sqlite3_bind_text(statement, 6, "2014-05-15 12:00:00", -1, SQLITE_STATIC);
                const std::string_view script = in.Bytes(in.Byte());
                sqlite3_bind_text64(statement, 7, script.data(), script.size(), SQLITE_TRANSIENT,
                                    SQLITE_UTF8);
            }
            break;
        }
        }
        if (statement) {
            sqlite3_step(statement);
            sqlite3_reset(statement);
            sqlite3_clear_bindings(statement);
        }
    }
    sqlite3_finalize(entry);
    sqlite3_finalize(database);
    sqlite3_finalize(object);
    Exec(db, "COMMIT");
    // A file in WAL mode is read with the log folded in and its side files gone.
    if ((mode & 4) != 0)
        Exec(db, "PRAGMA wal_checkpoint(TRUNCATE)");
    return sqlite3_close(db) == SQLITE_OK;
}

struct SPatch
{
    std::uint16_t m_nOffset;
    std::uint8_t m_nValue;
};

// Overwrites bytes of the finished file (offsets wrap around its size).
void Damage(const std::vector<SPatch>& patches)
{
    const int fd = ::open(g_path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return;
    const off_t size = ::lseek(fd, 0, SEEK_END);
    for (const SPatch& patch : patches) {
        if (size <= 0 || ::pwrite(fd, &patch.m_nValue, 1, patch.m_nOffset % size) != 1)
            break;
    }
    ::close(fd);
}

void ReadObject(IModelUnknown& item, EFlavour flavour)
{
    const std::shared_ptr<IDatabaseObject> object = item.QueryDatabaseObject(flavour);
    Check(object != nullptr, "a listed item is not an object of its flavour");
    Check(item.QueryDatabaseObject(flavour == EFlavour::Modern ? EFlavour::Legacy
                                                               : EFlavour::Modern) == nullptr,
          "an object answers for the other flavour");
    std::u16string text;
    (void)object->GetName(text);
    (void)object->GetTypeName(text);
    (void)object->GetCreateDate(text);
    std::u16string script;
    const bool hasScript = object->HasScript();
    Check(object->Script(script) == hasScript, "HasScript disagrees with Script");
}

void ReadDatabase(IServer& server, long position, EFlavour flavour)
{
    const std::shared_ptr<IModelUnknown> item = server.GetDatabase(position);
    Check(item != nullptr, "a counted database is missing");
    const std::shared_ptr<IDatabase> database = item->QueryDatabase(flavour);
    Check(database != nullptr, "a database is not of its server's flavour");
    std::u16string name;
    Check(database->GetName(name), "a database without its name");
    Check(database->GetParentServer() != nullptr, "a database without its server");
    for (int type : {ObjectType::UserDefinedDatatype, ObjectType::View, ObjectType::UserTable,
                     ObjectType::StoredProcedure, ObjectType::Default, ObjectType::Rule,
                     ObjectType::Trigger, ObjectType::UserDefinedFunction, ObjectType::All}) {
        const std::shared_ptr<IObjectList> list = database->ListObjects(type, 0);
        if (!list)
            continue;
        const long count = list->GetCount();
        Check(count >= 0, "a negative object count");
        Check(list->GetItem(-1) == nullptr && list->GetItem(count) == nullptr,
              "an item outside the list");
        for (long i = 0; i < count && i < kMaxItems; ++i) {
            const std::shared_ptr<IModelUnknown> object = list->GetItem(i);
            Check(object != nullptr, "a counted object is missing");
            // Scripts are read for the list of every type, names for every list.
            if (type == ObjectType::All)
                ReadObject(*object, flavour);
            else
                (void)object->QueryDatabaseObject(flavour);
        }
    }
}

void ReadWithLibrary()
{
    const std::u16string name = quarrow::FromUtf8(g_path);
    for (EFlavour flavour : {EFlavour::Modern, EFlavour::Legacy}) {
        CSnapshotLibrary library(flavour);
        const std::shared_ptr<IServer> server = library.CreateServer();
        if (!server->Connect(name, u"", u"")) {
            Check(!server->GetLastError().empty(), "a failed connect without a reason");
            Check(server->GetDatabaseCount() == 0, "databases without a connection");
            continue;
        }
        std::u16string serverName;
        Check(server->GetName(serverName) && serverName == name, "the server lost its name");
        const long count = server->GetDatabaseCount();
        Check(count >= 0, "a negative database count");
        Check(server->GetDatabase(count) == nullptr, "a database past the end");
        for (long i = 0; i < count && i < kMaxDatabases; ++i)
            ReadDatabase(*server, i, flavour);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // A RAM-backed folder where there is one: each run writes a whole file.
    const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/qcat_fuzz.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("qcat_fuzz: mkdtemp");
        std::abort();
    }
    g_folder = pattern;
    g_path = g_folder + "/input.qcat";
    std::atexit([] {
        RemoveFiles();
        ::rmdir(g_folder.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    CInput in(data + 1, size - 1);
    const std::uint8_t mode = data[0];
    RemoveFiles();
    if (mode == 0) {
        if (!WriteRaw(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1)))
            Fail("cannot write the input file");
    } else {
        // The damage comes first in the input, as the program runs to its end.
        std::vector<SPatch> patches;
        for (int n = (mode & 2) != 0 ? in.Byte() % 16 + 1 : 0; n > 0; --n) {
            const int high = in.Byte();
            const auto offset = static_cast<std::uint16_t>((high << 8) | in.Byte());
            patches.push_back({offset, in.Byte()});
        }
        if (!Build(in, mode))
            return 0;
        Damage(patches);
    }
    ReadWithLibrary();
    RemoveFiles();
    return 0;
}
