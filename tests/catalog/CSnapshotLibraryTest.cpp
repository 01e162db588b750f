#include "catalog/CSnapshotLibrary.h"

#include "catalog/CObjectModel.h"
#include "catalog/CSnapshotWriter.h"
#include "platform/Utf.h"
#include "tests/support/CScratchFolder.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <thread>
#include <unistd.h>

namespace {

using quarrow::ToUtf8;

struct SObjectRecord
{
    const char* m_szName;
    int m_nCode;
    const char* m_szTypeName;
    const char* m_szCreated;
    const char* m_szScript; // null: NULL script
};

// Writes a catalogue with one database per entry of databases.
void WriteCatalogue(
    const std::filesystem::path& path, const char* flavour,
    const std::vector<std::pair<const char*, std::vector<SObjectRecord>>>& databases)
{
    CSnapshotWriter writer;
    ASSERT_TRUE(writer.Create(path, flavour, "TEST-SRV", "2024-01-02T03:04:05"))
        << writer.GetError();
    for (const auto& [name, objects] : databases) {
        auto id = writer.AddDatabase(name);
        ASSERT_GE(id, 0);
        for (const auto& o : objects) {
            std::optional<std::string_view> script;
            if (o.m_szScript != nullptr) {
                script = o.m_szScript;
            }
            ASSERT_TRUE(
                writer.AddObject(id, o.m_szName, o.m_nCode, o.m_szTypeName, o.m_szCreated, script));
        }
    }
    ASSERT_TRUE(writer.Commit()) << writer.GetError();
}

const std::vector<SObjectRecord> kSales = {
    {"Orders", 8, "User Table", "2014-05-15 10:20:00", "CREATE TABLE Orders (Id int)"},
    {"usp_Ship", 16, "Stored Procedure", "2015-01-02 08:00:00",
     "CREATE PROCEDURE usp_Ship AS SELECT 1"},
    {"vw_Open", 4, "View", "2016-03-04 09:00:00", "CREATE VIEW vw_Open AS SELECT 2"},
    {"usp_Secret", 16, "Stored Procedure", "2017-07-07 07:07:07", nullptr},
    {"fn_Tax", 4096, "User Defined Function", "2018-08-08 08:08:08",
     "CREATE FUNCTION fn_Tax() \xc3\xa9"},
};

class CSnapshotLibraryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char buffer[4096];
        ASSERT_NE(getcwd(buffer, sizeof buffer), nullptr);
        m_oldCwd = buffer;
        const char* xdg = std::getenv("XDG_DATA_HOME");
        m_oldXdg = xdg ? std::optional<std::string>(xdg) : std::nullopt;
        std::filesystem::create_directories(m_scratch / "cwd");
        std::filesystem::create_directories(m_scratch / "xdg/quarrow/catalogues");
        ASSERT_EQ(chdir((m_scratch / "cwd").c_str()), 0);
        setenv("XDG_DATA_HOME", (m_scratch / "xdg").c_str(), 1);
    }
    void TearDown() override
    {
        ASSERT_EQ(chdir(m_oldCwd.c_str()), 0);
        if (m_oldXdg) {
            setenv("XDG_DATA_HOME", m_oldXdg->c_str(), 1);
        } else {
            unsetenv("XDG_DATA_HOME");
        }
    }

    std::shared_ptr<IServer> Connect(EFlavour flavour, const std::u16string& name)
    {
        CSnapshotLibrary library(flavour);
        auto server = library.CreateServer();
        if (!server->Connect(name, u"", u"")) {
            m_strError = ToUtf8(server->GetLastError());
            return nullptr;
        }
        return server;
    }

    static std::shared_ptr<IDatabase> Database(IServer& server, long index, EFlavour flavour)
    {
        auto unknown = server.GetDatabase(index);
        return unknown ? unknown->QueryDatabase(flavour) : nullptr;
    }

    static std::vector<std::string> Names(IObjectList& list)
    {
        std::vector<std::string> names;
        for (long i = 0; i < list.GetCount(); ++i) {
            auto object = list.GetItem(i)->QueryDatabaseObject(EFlavour::Modern);
            std::u16string name;
            object->GetName(name);
            names.push_back(ToUtf8(name));
        }
        return names;
    }

    CScratchFolder m_scratch;
    std::string m_oldCwd;
    std::optional<std::string> m_oldXdg;
    std::string m_strError;
};

TEST_F(CSnapshotLibraryTest, ListsByTypeCodeInPositionOrderAndAllFor509)
{
    WriteCatalogue(m_scratch / "cwd/sales.qcat", "modern", {{"Sales", kSales}, {"Empty", {}}});
    auto server = Connect(EFlavour::Modern, u"sales.qcat");
    ASSERT_TRUE(server) << m_strError;
    std::u16string name;
    ASSERT_TRUE(server->GetName(name));
    EXPECT_EQ(name, u"sales.qcat"); // the name it was connected with, not the file's 'server'
    ASSERT_EQ(server->GetDatabaseCount(), 2);
    auto sales = Database(*server, 0, EFlavour::Modern);
    ASSERT_TRUE(sales);
    EXPECT_FALSE(server->GetDatabase(0)->QueryDatabase(EFlavour::Legacy));
    EXPECT_EQ(server->GetDatabase(2), nullptr);

    struct
    {
        int m_nCode;
        std::vector<std::string> m_names;
    } cases[] = {
        {ObjectType::All, {"Orders", "usp_Ship", "vw_Open", "usp_Secret", "fn_Tax"}},
        {ObjectType::StoredProcedure, {"usp_Ship", "usp_Secret"}},
        {ObjectType::UserDefinedFunction, {"fn_Tax"}},
        {ObjectType::Rule, {}},
    };
    for (const auto& c : cases) {
        auto list = sales->ListObjects(c.m_nCode, 0);
        ASSERT_TRUE(list);
        EXPECT_EQ(Names(*list), c.m_names) << "type code " << c.m_nCode;
        EXPECT_EQ(list->GetItem(list->GetCount()), nullptr);
    }
    auto empty = Database(*server, 1, EFlavour::Modern)->ListObjects(ObjectType::All, 0);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->GetCount(), 0);

    // The parent answers for the database.
    auto parent = sales->GetParentServer();
    ASSERT_TRUE(parent);
    parent->GetName(name);
    EXPECT_EQ(name, u"sales.qcat");
}

TEST_F(CSnapshotLibraryTest, ObjectTextsAndScriptsComeFromTheFile)
{
    WriteCatalogue(m_scratch / "cwd/sales.qcat", "modern", {{"Sales", kSales}});
    auto server = Connect(EFlavour::Modern, u"sales.qcat");
    ASSERT_TRUE(server) << m_strError;
    auto list = Database(*server, 0, EFlavour::Modern)->ListObjects(ObjectType::All, 0);
    auto fn = list->GetItem(4)->QueryDatabaseObject(EFlavour::Modern);
    ASSERT_TRUE(fn);
    EXPECT_FALSE(list->GetItem(4)->QueryDatabaseObject(EFlavour::Legacy));
    std::u16string text;
    ASSERT_TRUE(fn->GetTypeName(text));
    EXPECT_EQ(text, u"User Defined Function");
    ASSERT_TRUE(fn->GetCreateDate(text));
    EXPECT_EQ(text, u"2018-08-08 08:08:08");
    ASSERT_TRUE(fn->Script(text));
    EXPECT_EQ(text, u"CREATE FUNCTION fn_Tax() \u00e9"); // UTF-8 in the file, UTF-16 here

    // A NULL script: the request fails; an empty one succeeds.
    auto secret = list->GetItem(3)->QueryDatabaseObject(EFlavour::Modern);
    text = u"unchanged";
    EXPECT_FALSE(secret->Script(text));
}

TEST_F(CSnapshotLibraryTest, ConnectFailuresSayWhy)
{
    WriteCatalogue(m_scratch / "cwd/legacy.qcat", "legacy", {{"Old", {}}});
    WriteCatalogue(m_scratch / "cwd/newer.qcat", "modern", {{"New", {}}});
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((m_scratch / "cwd/newer.qcat").c_str(), &db), SQLITE_OK);
        sqlite3_exec(db, "UPDATE catalogue SET value = '2' WHERE key = 'format'", nullptr, nullptr,
                     nullptr);
        sqlite3_close(db);
        ASSERT_EQ(sqlite3_open((m_scratch / "cwd/plain.qcat").c_str(), &db), SQLITE_OK);
        sqlite3_exec(db, "CREATE TABLE t(x)", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    CScratchFolder::WriteFile(m_scratch / "cwd/text.qcat", "this is not a database at all\n");
    CScratchFolder::WriteFile(m_scratch / "cwd/empty.qcat", "");
    std::filesystem::create_directories(m_scratch / "cwd/folder.qcat");

    struct
    {
        const char16_t* m_szName;
        EFlavour m_flavour;
        const char* m_szReason;
    } cases[] = {
        {u"missing.qcat", EFlavour::Modern, "was not found in the current folder"},
        {u"./missing.qcat", EFlavour::Modern, "does not exist"},
        {u"text.qcat", EFlavour::Modern, "not an SQLite database"},
        {u"empty.qcat", EFlavour::Modern, "not an SQLite database"},
        {u"plain.qcat", EFlavour::Modern, "no catalogue table"},
        {u"newer.qcat", EFlavour::Modern, "format 2, newer than"},
        {u"legacy.qcat", EFlavour::Modern, "is a legacy catalogue"},
        {u"folder.qcat", EFlavour::Modern, "is a folder"},
        {u"server-name", EFlavour::Modern, "end in .qcat"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(Connect(c.m_flavour, c.m_szName)) << ToUtf8(c.m_szName);
        EXPECT_NE(m_strError.find(c.m_szReason), std::string::npos)
            << ToUtf8(c.m_szName) << ": " << m_strError;
        EXPECT_EQ(m_strError.find("'" + ToUtf8(c.m_szName) + "'"), 0U) << m_strError;
    }
    // The legacy library takes the file the modern one refused.
    auto legacy = Connect(EFlavour::Legacy, u"legacy.qcat");
    ASSERT_TRUE(legacy) << m_strError;
    EXPECT_TRUE(Database(*legacy, 0, EFlavour::Legacy));
    EXPECT_FALSE(Database(*legacy, 0, EFlavour::Modern));
}

TEST_F(CSnapshotLibraryTest, TablesThatRunCodeOnReadAreRefused)
{
    // Each file reads as a good catalogue but for one table that is computed when read: a
    // hostile file could make that computation endless or huge. Only plain tables pass.
    struct
    {
        const char* m_szName;
        const char* m_szSql; // run on a good catalogue
        const char* m_szReason;
    } cases[] = {
        {"catalogue-view",
         "ALTER TABLE catalogue RENAME TO stored;"
         "CREATE VIEW catalogue AS SELECT key, value FROM stored",
         "its catalogue is a view, not a table"},
        {"databases-view",
         "ALTER TABLE databases RENAME TO stored;"
         "CREATE VIEW Databases AS SELECT id, position, name FROM stored",
         "its Databases is a view, not a table"},
        {"objects-view",
         "ALTER TABLE objects RENAME TO stored;"
         "CREATE VIEW objects AS SELECT * FROM stored",
         "its objects is a view, not a table"},
        {"objects-computed",
         "ALTER TABLE objects RENAME TO stored;"
         "CREATE TABLE objects(database_id, position, name, type_code, type_name, created, "
         "body, script AS (body || body));"
         "INSERT INTO objects SELECT database_id, position, name, type_code, type_name, "
         "created, script FROM stored",
         "its objects table has computed columns"},
        {"objects-virtual",
         "ALTER TABLE objects RENAME TO stored;"
         "CREATE VIRTUAL TABLE objects USING fts5(database_id, position, name, type_code, "
         "type_name, created, script);"
         "INSERT INTO objects SELECT database_id, position, name, type_code, type_name, "
         "created, script FROM stored",
         "its objects is a virtual, not a table"},
    };
    for (const auto& c : cases) {
        const std::string name = std::string(c.m_szName) + ".qcat";
        WriteCatalogue(m_scratch / "cwd" / name, "modern", {{"Sales", kSales}});
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((m_scratch / "cwd" / name).c_str(), &db), SQLITE_OK);
        char* error = nullptr;
        const int rc = sqlite3_exec(db, c.m_szSql, nullptr, nullptr, &error);
        sqlite3_close(db);
        ASSERT_EQ(rc, SQLITE_OK) << c.m_szName << ": " << (error ? error : "");
        sqlite3_free(error);

        EXPECT_FALSE(Connect(EFlavour::Modern, quarrow::FromUtf8(name))) << c.m_szName;
        EXPECT_NE(m_strError.find(c.m_szReason), std::string::npos)
            << c.m_szName << ": " << m_strError;
    }
    // The same catalogue with plain tables reads.
    WriteCatalogue(m_scratch / "cwd/plain-tables.qcat", "modern", {{"Sales", kSales}});
    auto server = Connect(EFlavour::Modern, u"plain-tables.qcat");
    ASSERT_TRUE(server) << m_strError;
    auto database = Database(*server, 0, EFlavour::Modern);
    ASSERT_TRUE(database);
    auto list = database->ListObjects(ObjectType::All, 0);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->GetCount(), static_cast<long>(kSales.size()));
}

TEST_F(CSnapshotLibraryTest, UnreadableFileFails)
{
    WriteCatalogue(m_scratch / "cwd/locked.qcat", "modern", {{"X", {}}});
    chmod((m_scratch / "cwd/locked.qcat").c_str(), 0);
    auto path = (m_scratch / "cwd/locked.qcat").string();
    EXPECT_TRUE(RunUnprivileged(m_scratch.Path(), [&] {
        CSnapshotLibrary library(EFlavour::Modern);
        auto server = library.CreateServer();
        EXPECT_FALSE(server->Connect(quarrow::FromUtf8(path), u"", u""));
        EXPECT_NE(ToUtf8(server->GetLastError()).find("cannot be read"), std::string::npos)
            << ToUtf8(server->GetLastError());
    }));
}

TEST_F(CSnapshotLibraryTest, BareNameLooksInCurrentFolderThenUserFolderThenDemo)
{
    WriteCatalogue(m_scratch / "xdg/quarrow/catalogues/shared.qcat", "modern", {{"FromUser", {}}});
    auto server = Connect(EFlavour::Modern, u"shared.qcat");
    ASSERT_TRUE(server) << m_strError;
    std::u16string name;
    Database(*server, 0, EFlavour::Modern)->GetName(name);
    EXPECT_EQ(name, u"FromUser");

    WriteCatalogue(m_scratch / "cwd/shared.qcat", "modern", {{"FromCwd", {}}});
    server = Connect(EFlavour::Modern, u"shared.qcat");
    ASSERT_TRUE(server) << m_strError;
    Database(*server, 0, EFlavour::Modern)->GetName(name);
    EXPECT_EQ(name, u"FromCwd");

    // A relative path is taken from the current folder only.
    server = Connect(EFlavour::Modern, u"../xdg/quarrow/catalogues/shared.qcat");
    ASSERT_TRUE(server) << m_strError;
    Database(*server, 0, EFlavour::Modern)->GetName(name);
    EXPECT_EQ(name, u"FromUser");

    // The build tree's demo catalogue is found from beside the test program.
    server = Connect(EFlavour::Modern, u"demo.qcat");
    ASSERT_TRUE(server) << m_strError;
    EXPECT_GE(server->GetDatabaseCount(), 3);

    std::vector<std::u16string> available;
    ASSERT_TRUE(
        CSnapshotLibrary(EFlavour::Modern).CreateApplication()->ListAvailableServers(available));
    ASSERT_FALSE(available.empty());
    EXPECT_EQ(available.front(), u"shared.qcat"); // the user's folder first
    EXPECT_NE(std::find(available.begin(), available.end(), u"demo.qcat"), available.end());
}

TEST_F(CSnapshotLibraryTest, DefaultLibrariesServeBothFlavours)
{
    CObjectModel::UseDefaultLibraries();
    ASSERT_TRUE(CObjectModel::GetLibrary(EFlavour::Modern));
    ASSERT_TRUE(CObjectModel::GetLibrary(EFlavour::Legacy));
    EXPECT_EQ(CObjectModel::GetLibrary(EFlavour::Legacy)->GetFlavour(), EFlavour::Legacy);
    CObjectModel::SetLibraries(nullptr, nullptr);
    EXPECT_FALSE(CObjectModel::GetLibrary(EFlavour::Modern));
    CObjectModel::UseDefaultLibraries();
}

TEST_F(CSnapshotLibraryTest, ScriptsReadFromTwoThreadsAtOnce)
{
    std::vector<SObjectRecord> many;
    std::vector<std::string> scripts;
    for (int i = 0; i < 200; ++i) {
        scripts.push_back("CREATE PROCEDURE p" + std::to_string(i) + " AS SELECT " +
                          std::to_string(i));
    }
    std::vector<std::string> names;
    for (int i = 0; i < 200; ++i) {
        names.push_back("p" + std::to_string(i));
    }
    for (int i = 0; i < 200; ++i) {
        many.push_back({names[static_cast<std::size_t>(i)].c_str(), 16, "Stored Procedure",
                        "2020-01-01 00:00:00", scripts[static_cast<std::size_t>(i)].c_str()});
    }
    WriteCatalogue(m_scratch / "cwd/many.qcat", "modern", {{"Db", many}});
    auto server = Connect(EFlavour::Modern, u"many.qcat");
    ASSERT_TRUE(server) << m_strError;
    auto database = Database(*server, 0, EFlavour::Modern);
    std::atomic<int> wrong{0};
    auto reader = [&] {
        for (int round = 0; round < 5; ++round) {
            auto list = database->ListObjects(ObjectType::All, 0);
            for (long i = 0; i < list->GetCount(); ++i) {
                std::u16string script;
                auto object = list->GetItem(i)->QueryDatabaseObject(EFlavour::Modern);
                if (!object->Script(script) ||
                    ToUtf8(script) != scripts[static_cast<std::size_t>(i)]) {
                    ++wrong;
                }
            }
        }
    };
    std::thread other(reader);
    reader();
    other.join();
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace
