// catgen: builds catalogue snapshots (.qcat).
//
//   catgen build SOURCE-FOLDER OUTPUT.qcat
//       A catalogue from readable sources: SOURCE-FOLDER/catalogue.txt names the server, its
//       flavour, the time it was taken and its databases (each a folder of .sql files).
//   catgen synth OUTPUT.qcat [--objects N] [--databases N] [--script-bytes N]
//                            [--flavour modern|legacy] [--seed N] [--needle WORD]
//                            [--needle-every N]
//       A synthetic catalogue of any size for benchmarks.
//   catgen dump CATALOGUE.qcat FOLDER
//       Writes every script as FOLDER/<database>/<position>.sql.
//
// Source .sql files hold objects one after another; each starts with a line
//   -- @object <type text> | <name> | <creation-date text> [| no script]
// and its script is every line up to the next such line (trailing blank lines dropped).

#include "catalog/CSnapshotWriter.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <sqlite3.h>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::map<std::string, int> kTypeCodes = {
    {"User Defined Datatype", 1},
    {"View", 4},
    {"User Table", 8},
    {"Stored Procedure", 16},
    {"Default", 64},
    {"Rule", 128},
    {"Trigger", 256},
    {"User Defined Function", 4096},
};

int Fail(const std::string& message)
{
    std::cerr << "catgen: " << message << '\n';
    return 2;
}

std::string Trim(const std::string& text)
{
    auto begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) {
        return {};
    }
    auto end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) {
        parts.push_back(part);
    }
    return parts;
}

struct SSourceObject
{
    std::string m_strType;
    std::string m_strName;
    std::string m_strCreated;
    bool m_bScript = true;
    std::string m_strScript;
};

bool ReadSqlFile(const fs::path& file, std::vector<SSourceObject>& objects, std::string& error)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = "cannot read " + file.string();
        return false;
    }
    const std::string marker = "-- @object ";
    std::string line;
    int number = 0;
    SSourceObject* current = nullptr;
    auto finish = [&]() {
        if (current != nullptr) {
            auto& script = current->m_strScript;
            while (!script.empty() && (script.back() == '\n' || script.back() == ' ')) {
                script.pop_back();
            }
            script.push_back('\n');
        }
    };
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.rfind(marker, 0) == 0) {
            finish();
            auto fields = Split(line.substr(marker.size()), '|');
            if (fields.size() < 3 || fields.size() > 4) {
                error = file.string() + ":" + std::to_string(number) +
                        ": expected '-- @object TYPE | NAME | CREATED [| no script]'";
                return false;
            }
            SSourceObject object;
            object.m_strType = Trim(fields[0]);
            object.m_strName = Trim(fields[1]);
            object.m_strCreated = Trim(fields[2]); // inner blanks ("May  5") stay
            if (fields.size() == 4) {
                if (Trim(fields[3]) != "no script") {
                    error = file.string() + ":" + std::to_string(number) +
                            ": the fourth field can only be 'no script'";
                    return false;
                }
                object.m_bScript = false;
            }
            if (!kTypeCodes.count(object.m_strType)) {
                error = file.string() + ":" + std::to_string(number) + ": unknown type '" +
                        object.m_strType + "'";
                return false;
            }
            objects.push_back(std::move(object));
            current = &objects.back();
            continue;
        }
        if (current == nullptr) {
            continue; // the file's own heading comments
        }
        if (current->m_strScript.empty() && Trim(line).empty()) {
            continue;
        }
        current->m_strScript += line;
        current->m_strScript += '\n';
    }
    finish();
    return true;
}

int Build(const fs::path& source, const std::string& output)
{
    std::ifstream manifest(source / "catalogue.txt");
    if (!manifest) {
        return Fail("cannot read " + (source / "catalogue.txt").string());
    }
    std::string server;
    std::string flavour;
    std::string taken;
    std::vector<std::pair<std::string, std::string>> databases; // name, folder
    std::string line;
    while (std::getline(manifest, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        auto equals = line.find('=');
        if (equals == std::string::npos) {
            return Fail("catalogue.txt: expected 'key = value' in '" + line + "'");
        }
        std::string key = Trim(line.substr(0, equals));
        std::string value = Trim(line.substr(equals + 1));
        if (key == "server") {
            server = value;
        } else if (key == "flavour") {
            flavour = value;
        } else if (key == "taken") {
            taken = value;
        } else if (key == "database") {
            auto parts = Split(value, ' ');
            parts.erase(std::remove(parts.begin(), parts.end(), std::string()), parts.end());
            if (parts.size() != 2) {
                return Fail("catalogue.txt: expected 'database = NAME FOLDER'");
            }
            databases.emplace_back(parts[0], parts[1]);
        } else {
            return Fail("catalogue.txt: unknown key '" + key + "'");
        }
    }
    if (server.empty() || (flavour != "modern" && flavour != "legacy") || taken.empty()) {
        return Fail("catalogue.txt needs server, flavour (modern or legacy) and taken");
    }

    CSnapshotWriter writer;
    if (!writer.Create(output, flavour, server, taken)) {
        return Fail(writer.GetError());
    }
    for (const auto& [name, folder] : databases) {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(source / folder)) {
            if (entry.path().extension() == ".sql") {
                files.push_back(entry.path());
            }
        }
        std::sort(files.begin(), files.end());
        std::vector<SSourceObject> objects;
        std::string error;
        for (const auto& file : files) {
            if (!ReadSqlFile(file, objects, error)) {
                return Fail(error);
            }
        }
        std::int64_t id = writer.AddDatabase(name);
        if (id < 0) {
            return Fail(writer.GetError());
        }
        for (const auto& object : objects) {
            std::optional<std::string_view> script;
            if (object.m_bScript) {
                script = object.m_strScript;
            }
            if (!writer.AddObject(id, object.m_strName, kTypeCodes.at(object.m_strType),
                                  object.m_strType, object.m_strCreated, script)) {
                return Fail(writer.GetError());
            }
        }
    }
    if (!writer.Commit()) {
        return Fail(writer.GetError());
    }
    std::cerr << "catgen: " << output << ": " << databases.size() << " databases, "
              << writer.GetObjectCount() << " objects\n";
    return 0;
}

// Synthetic T-SQL: procedures, views and functions over made-up tables, of a chosen size.
class CSynthesizer
{
public:
    explicit CSynthesizer(std::uint64_t seed) : m_random(seed) {}

    std::string Word()
    {
        static const char* const kWords[] = {
            "Account", "Invoice", "Order",     "Customer", "Supplier", "Ledger",   "Shipment",
            "Product", "Stock",   "Payment",   "Branch",   "Region",   "Contract", "Employee",
            "Claim",   "Policy",  "Batch",     "Journal",  "Budget",   "Voucher",  "Receipt",
            "Route",   "Carrier", "Warehouse", "Quote",    "Refund",   "Tariff",   "Audit"};
        return kWords[Pick(std::size(kWords))];
    }

    std::string Column()
    {
        static const char* const kColumns[] = {
            "Amount",   "Quantity", "CreatedAt", "UpdatedAt", "StatusCode", "Reference",
            "Notes",    "Currency", "DueDate",   "PostedOn",  "IsActive",   "Priority",
            "Discount", "TaxRate",  "LineNo",    "OwnerId",   "Code",       "Description"};
        return kColumns[Pick(std::size(kColumns))];
    }

    // A statement block of roughly 300 bytes.
    void Block(std::string& out)
    {
        std::string table = Word() + Word();
        std::string other = Word();
        switch (Pick(4)) {
        case 0:
            out += "    SELECT t." + Column() + ", t." + Column() + ", o." + Column() +
                   "\n      FROM dbo." + table + " AS t\n      JOIN dbo." + other + " AS o ON o." +
                   other + "Id = t." + other + "Id\n     WHERE t." + Column() + " >= @From AND t." +
                   Column() + " < @To\n     ORDER BY t." + Column() + ";\n\n";
            break;
        case 1:
            out += "    UPDATE dbo." + table + "\n       SET " + Column() + " = @" + Column() +
                   ",\n           " + Column() + " = SYSUTCDATETIME()\n     WHERE " + table +
                   "Id = @Id\n       AND " + Column() +
                   " IS NOT NULL;\n    IF @@ROWCOUNT = 0\n"
                   "        RAISERROR(N'" +
                   table + " %d was not found.', 16, 1, @Id);\n\n";
            break;
        case 2:
            out += "    INSERT INTO dbo." + table + " (" + Column() + ", " + Column() + ", " +
                   Column() + ")\n    SELECT s." + Column() + ", s." + Column() +
                   ", @BatchId\n      FROM staging." + other +
                   " AS s\n     WHERE NOT EXISTS (SELECT 1 FROM dbo." + table +
                   " AS x WHERE x.Code = s.Code);\n\n";
            break;
        default:
            out += "    DECLARE @" + Column() + " decimal(19, 4) = (\n        SELECT SUM(" +
                   Column() + ") FROM dbo." + table + " WHERE " + other +
                   "Id = @Id);\n    -- keep the running total in step with the " + other +
                   " rows\n    SET @Total = ISNULL(@Total, 0) + ISNULL(@" + Column() + ", 0);\n\n";
            break;
        }
    }

    std::string Script(const std::string& name, int typeCode, std::size_t bytes,
                       const std::string& needle)
    {
        std::string out;
        out.reserve(bytes + 400);
        switch (typeCode) {
        case 4:
            out += "CREATE VIEW dbo." + name + "\nAS\n";
            break;
        case 4096:
            out += "CREATE FUNCTION dbo." + name +
                   " (@Id int, @From date, @To date)\nRETURNS @Result TABLE (Id int, Total "
                   "money)\nAS\nBEGIN\n";
            break;
        default:
            out += "CREATE PROCEDURE dbo." + name +
                   "\n    @Id int,\n    @From date,\n    @To date,\n    @BatchId int = "
                   "NULL\nAS\nBEGIN\n    SET NOCOUNT ON;\n    DECLARE @Total money;\n\n";
            break;
        }
        bool placed = needle.empty();
        while (out.size() < bytes) {
            if (!placed && out.size() > bytes / 2) {
                out += "    EXEC dbo.usp_" + needle + " @Id = @Id;\n\n";
                placed = true;
            }
            Block(out);
        }
        if (!placed) {
            out += "    EXEC dbo.usp_" + needle + " @Id = @Id;\n";
        }
        out += typeCode == 4096 ? "    RETURN;\nEND\n" : (typeCode == 4 ? "" : "END\n");
        return out;
    }

    std::size_t Pick(std::size_t n)
    {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(m_random);
    }

    std::mt19937_64 m_random;
};

bool ReadNumber(const std::string& text, std::int64_t& value)
{
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && value >= 0;
}

int Synth(const std::string& output, const std::vector<std::string>& args)
{
    std::int64_t objects = 1000;
    std::int64_t databases = 10;
    std::int64_t scriptBytes = 2100;
    std::int64_t seed = 1;
    std::int64_t needleEvery = 100;
    std::string flavour = "modern";
    std::string needle = "ReconcileLedger";
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (i + 1 >= args.size()) {
            return Fail("option " + arg + " needs a value");
        }
        const std::string& value = args[++i];
        std::int64_t number = 0;
        bool numeric = ReadNumber(value, number);
        if (arg == "--objects" && numeric && number <= 10'000'000) {
            objects = number;
        } else if (arg == "--databases" && numeric && number >= 1) {
            databases = number;
        } else if (arg == "--script-bytes" && numeric) {
            scriptBytes = number;
        } else if (arg == "--seed" && numeric) {
            seed = number;
        } else if (arg == "--needle-every" && numeric && number >= 1) {
            needleEvery = number;
        } else if (arg == "--needle") {
            needle = value;
        } else if (arg == "--flavour" && (value == "modern" || value == "legacy")) {
            flavour = value;
        } else {
            return Fail("bad option " + arg + " " + value);
        }
    }
    CSynthesizer synth(static_cast<std::uint64_t>(seed));
    CSnapshotWriter writer;
    if (!writer.Create(output, flavour, "SYNTHETIC", "2024-01-01T00:00:00")) {
        return Fail(writer.GetError());
    }
    static const std::pair<int, const char*> kKinds[] = {{16, "Stored Procedure"},
                                                         {16, "Stored Procedure"},
                                                         {4, "View"},
                                                         {4096, "User Defined Function"}};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::int64_t perDatabase = (objects + databases - 1) / databases;
    std::int64_t made = 0;
    for (std::int64_t d = 0; d < databases && made < objects; ++d) {
        std::int64_t id = writer.AddDatabase("Synthetic" + std::to_string(d + 1));
        if (id < 0) {
            return Fail(writer.GetError());
        }
        for (std::int64_t i = 0; i < perDatabase && made < objects; ++i, ++made) {
            auto [code, typeName] = kKinds[synth.Pick(std::size(kKinds))];
            if (flavour == "legacy" && code == 4096) {
                code = 16;
                typeName = "Stored Procedure";
            }
            std::string prefix = code == 4 ? "vw_" : code == 4096 ? "fn_" : "usp_";
            std::string name = prefix + synth.Word() + synth.Word() + "_" + std::to_string(made);
            // Sizes spread from a quarter to one and three quarters of the mean.
            auto bytes = static_cast<std::size_t>(
                scriptBytes / 4 + static_cast<std::int64_t>(synth.Pick(
                                      static_cast<std::size_t>(scriptBytes * 3 / 2 + 1))));
            bool withNeedle = made % needleEvery == needleEvery / 2;
            std::string script = synth.Script(name, code, bytes, withNeedle ? needle : "");
            int year = 2005 + static_cast<int>(synth.Pick(19));
            int month = 1 + static_cast<int>(synth.Pick(12));
            int day = 1 + static_cast<int>(synth.Pick(28));
            int hour = static_cast<int>(synth.Pick(24));
            int minute = static_cast<int>(synth.Pick(60));
            char created[96];
            if (flavour == "modern") {
                std::snprintf(created, sizeof created, "%04d-%02d-%02d %02d:%02d:%02d", year, month,
                              day, hour, minute, static_cast<int>(synth.Pick(60)));
            } else {
                std::snprintf(created, sizeof created, "%s %2d %04d %2d:%02d%s", kMonths[month - 1],
                              day, year, hour % 12 == 0 ? 12 : hour % 12, minute,
                              hour < 12 ? "AM" : "PM");
            }
            if (!writer.AddObject(id, name, code, typeName, created, script)) {
                return Fail(writer.GetError());
            }
        }
    }
    if (!writer.Commit()) {
        return Fail(writer.GetError());
    }
    std::cerr << "catgen: " << output << ": " << made << " synthetic objects\n";
    return 0;
}

int Dump(const std::string& catalogue, const fs::path& folder)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(catalogue.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return Fail("cannot open " + catalogue);
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT d.name, o.position, o.script FROM objects AS o "
                           "JOIN databases AS d ON d.id = o.database_id "
                           "WHERE o.script IS NOT NULL ORDER BY d.position, o.position",
                           -1, &statement, nullptr) != SQLITE_OK) {
        std::string error = sqlite3_errmsg(db);
        sqlite3_close(db);
        return Fail(catalogue + ": " + error);
    }
    std::int64_t files = 0;
    std::string lastDatabase;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        std::string database = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        if (database != lastDatabase) {
            fs::create_directories(folder / database);
            lastDatabase = database;
        }
        std::ofstream out(folder / database /
                              (std::to_string(sqlite3_column_int64(statement, 1)) + ".sql"),
                          std::ios::binary);
        out.write(reinterpret_cast<const char*>(sqlite3_column_text(statement, 2)),
                  sqlite3_column_bytes(statement, 2));
        ++files;
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    std::cerr << "catgen: " << files << " scripts written under " << folder.string() << '\n';
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "build") {
        return Build(args[1], args[2]);
    }
    if (args.size() >= 2 && args[0] == "synth") {
        return Synth(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
    }
    if (args.size() == 3 && args[0] == "dump") {
        return Dump(args[1], args[2]);
    }
    std::cerr << "usage: catgen build SOURCE-FOLDER OUTPUT.qcat\n"
                 "       catgen synth OUTPUT.qcat [--objects N] [--databases N] "
                 "[--script-bytes N]\n"
                 "                    [--flavour modern|legacy] [--seed N] [--needle WORD] "
                 "[--needle-every N]\n"
                 "       catgen dump CATALOGUE.qcat FOLDER\n";
    return 2;
}
