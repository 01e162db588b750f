// The snapshot writer and the reader's view of what it adds: files of the first layout still
// open, unreadable databases say why, and an unfinished file never takes the target's name.

#include "catalog/CSnapshotWriter.h"

#include "catalog/CSnapshotFile.h"
#include "catalog/CSnapshotLibrary.h"
#include "platform/Utf.h"
#include "tests/support/CScratchFolder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

using quarrow::ToUtf8;

std::shared_ptr<IDatabase> OpenDatabase(const std::string& path, long position,
                                        std::shared_ptr<IServer>& server)
{
    CSnapshotLibrary library(EFlavour::Modern);
    server = library.CreateServer();
    if (!server->Connect(quarrow::FromUtf8(path), u"", u"")) {
        ADD_FAILURE() << ToUtf8(server->GetLastError());
        return nullptr;
    }
    auto unknown = server->GetDatabase(position);
    return unknown ? unknown->QueryDatabase(EFlavour::Modern) : nullptr;
}

std::vector<std::string> PartFiles(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string().find(".part-") != std::string::npos) {
            names.push_back(entry.path().filename().string());
        }
    }
    return names;
}

TEST(CSnapshotWriterTest, FileOfTheFirstLayoutStillOpens)
{
    // The layout files had before object ids, stamps and unreadable databases.
    CScratchFolder scratch;
    const std::string path = (scratch / "first.qcat").string();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    const char* sql = R"sql(
CREATE TABLE catalogue(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE databases(id INTEGER PRIMARY KEY, position INTEGER NOT NULL UNIQUE,
                       name TEXT NOT NULL);
CREATE TABLE objects(database_id INTEGER NOT NULL REFERENCES databases(id),
                     position INTEGER NOT NULL, name TEXT NOT NULL,
                     type_code INTEGER NOT NULL, type_name TEXT NOT NULL,
                     created TEXT NOT NULL, script TEXT,
                     PRIMARY KEY (database_id, position));
INSERT INTO catalogue VALUES ('format', '1'), ('flavour', 'modern'), ('server', 'OLD'),
                             ('taken', '2020-01-01T00:00:00');
INSERT INTO databases VALUES (1, 0, 'Sales');
INSERT INTO objects VALUES (1, 0, 'usp_A', 16, 'Stored Procedure', '2019-01-01 00:00:00',
                            'CREATE PROCEDURE usp_A'),
                           (1, 1, 'usp_B', 16, 'Stored Procedure', '2019-01-02 00:00:00',
                            NULL);
)sql";
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    std::shared_ptr<IServer> server;
    auto database = OpenDatabase(path, 0, server);
    ASSERT_TRUE(database);
    auto list = database->ListObjects(ObjectType::All, 0);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->GetCount(), 2);
    std::u16string text;
    auto first = list->GetItem(0)->QueryDatabaseObject(EFlavour::Modern);
    EXPECT_TRUE(first->Script(text));
    EXPECT_EQ(text, u"CREATE PROCEDURE usp_A");
    EXPECT_FALSE(list->GetItem(1)->QueryDatabaseObject(EFlavour::Modern)->Script(text));
    EXPECT_EQ(database->GetLastError(), u"");
}

TEST(CSnapshotWriterTest, UnreadableDatabaseGivesNoListAndSaysWhy)
{
    CScratchFolder scratch;
    const std::string path = (scratch / "marked.qcat").string();
    CSnapshotWriter writer;
    ASSERT_TRUE(writer.Create(path, "modern", "SRV", "2024-01-01T00:00:00"));
    const auto sales = writer.AddDatabase("Sales");
    const auto locked = writer.AddDatabase("Locked");
    CSnapshotWriter::SObject object;
    object.m_strName = "dbo_type";
    object.m_nTypeCode = ObjectType::UserDefinedDatatype;
    object.m_strTypeName = "User Defined Datatype";
    object.m_script = "CREATE TYPE x FROM int";
    object.m_objectId = 4294967297LL;
    ASSERT_TRUE(writer.AddObject(sales, object)); // no creation date: NULL
    ASSERT_TRUE(writer.MarkUnreadable(locked, "916: may not open it"));
    EXPECT_FALSE(writer.MarkUnreadable(99, "no such database"));
    ASSERT_TRUE(writer.Commit()) << writer.GetError();

    std::shared_ptr<IServer> server;
    auto first = OpenDatabase(path, 0, server);
    ASSERT_TRUE(first);
    auto list = first->ListObjects(ObjectType::All, 0);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->GetCount(), 1);
    std::u16string date = u"unchanged";
    EXPECT_FALSE(list->GetItem(0)->QueryDatabaseObject(EFlavour::Modern)->GetCreateDate(date));
    auto second = OpenDatabase(path, 1, server);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->ListObjects(ObjectType::All, 0), nullptr);
    EXPECT_EQ(second->GetLastError(),
              u"it could not be read when the snapshot was taken (916: may not open it)");
}

TEST(CSnapshotWriterTest, UnfinishedFileNeverTakesTheName)
{
    CScratchFolder scratch;
    const std::string path = (scratch / "target.qcat").string();
    CScratchFolder::WriteFile(path, "the old snapshot");
    {
        // Dropped before Commit, as after a failure or a stop.
        CSnapshotWriter writer;
        ASSERT_TRUE(writer.Create(path, "modern", "SRV", "2024-01-01T00:00:00"));
        ASSERT_GE(writer.AddDatabase("Sales"), 0);
        EXPECT_EQ(PartFiles(scratch.Path()).size(), 1u);
        EXPECT_EQ(std::filesystem::path(writer.GetTemporaryPath()).parent_path(), scratch.Path());
    }
    EXPECT_EQ(CScratchFolder::ReadFile(path), "the old snapshot");
    EXPECT_TRUE(PartFiles(scratch.Path()).empty());

    // Two writers of one target never share a file; the last to finish holds the name.
    CSnapshotWriter one;
    CSnapshotWriter two;
    ASSERT_TRUE(one.Create(path, "modern", "ONE", "2024-01-01T00:00:00"));
    ASSERT_TRUE(two.Create(path, "legacy", "TWO", "2024-01-01T00:00:00"));
    EXPECT_NE(one.GetTemporaryPath(), two.GetTemporaryPath());
    ASSERT_TRUE(one.Commit());
    std::u16string reason;
    auto file = CSnapshotFile::Open(path, reason);
    ASSERT_TRUE(file) << ToUtf8(reason);
    EXPECT_EQ(file->GetFlavour(), EFlavour::Modern);
    ASSERT_TRUE(two.Commit());
    file = CSnapshotFile::Open(path, reason);
    ASSERT_TRUE(file) << ToUtf8(reason);
    EXPECT_EQ(file->GetFlavour(), EFlavour::Legacy);
    EXPECT_TRUE(PartFiles(scratch.Path()).empty());

    // A folder that cannot be written: a clear error, nothing left behind.
    CSnapshotWriter blocked;
    EXPECT_FALSE(blocked.Create((scratch / "missing/x.qcat").string(), "modern", "S", "T"));
    EXPECT_NE(blocked.GetError().find("cannot create a file beside"), std::string::npos)
        << blocked.GetError();
}

} // namespace
