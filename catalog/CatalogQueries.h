#pragma once
// Every catalogue query the live library sends, kept in one place. Each batch starts with a
// tag comment (/*quarrow:...*/) naming what it asks for, so a server log (and our test
// server) can tell the queries apart. Only numbers formatted here (type codes, object keys)
// and identifiers quoted by QuoteIdentifier ever enter the text.
//
// Result shapes:
//   databases: name
//   objects:   object_key, schema_name, name, type_code, created, has_script
//   stamps:    the objects columns, then stamp (text that changes when the object does)
//   scripts:   object_key, text   (an object's script is its consecutive rows joined)
//   changes:   the stamps columns, for the objects stamped at or after a time (modern)
//   summary:   object_count, digest   (one row: see ObjectDigest)

#include "catalog/ObjectModel.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace CatalogQueries {

// Keys of user-defined types are their type id plus this, so they never meet object ids.
constexpr std::int64_t kTypeKeyOffset = 4294967296LL;

// Columns of the objects result, from 1.
namespace ObjectColumn {
constexpr int Key = 1;
constexpr int Schema = 2;
constexpr int Name = 3;
constexpr int TypeCode = 4;
constexpr int Created = 5;
constexpr int HasScript = 6;
constexpr int Stamp = 7; // the stamps result only
} // namespace ObjectColumn

// The most keys ScriptsOf names in one statement: about 12 KB of text. Past it a reader takes
// the whole scripts result and skips what it does not need.
constexpr std::size_t kLongestKeyList = 1000;

// Columns of the scripts result, from 1.
namespace ScriptColumn {
constexpr int Key = 1;
constexpr int Text = 2;
} // namespace ScriptColumn

// An identifier as T-SQL brackets it: '[' + name with ']' doubled + ']'. Nothing for a name
// that holds a NUL, which no statement text can carry.
std::optional<std::u16string> QuoteIdentifier(const std::u16string& name);

// "USE [name]", or nothing when the name cannot be quoted.
std::optional<std::u16string> UseDatabase(const std::u16string& name);

// The databases the login may open and that are online.
std::u16string Databases(EFlavour flavour);

// The objects of a type code (509: every type), ordered by key.
std::u16string Objects(EFlavour flavour, int typeCode);

// Every object of the database with its stamp, ordered by key: what a snapshot records and
// what its refresh compares.
std::u16string StampedObjects(EFlavour flavour);

// The objects whose stamp is at or after since (a modern stamp, `yyyy-mm-dd hh:mm:ss.mmm`), in
// the stamps shape, ordered by key; nothing when since is not such a stamp. Modern servers
// only: sysobjects keeps no modification date.
std::optional<std::u16string> Changes(const std::string& since);

// True for a modern stamp as the stamps result words it, the only text Changes accepts.
bool IsModernStamp(std::string_view stamp);

// One row: how many objects the database lists and the sum of their ObjectDigest values, so
// a refresh sees drops, renames and objects without stamps without listing every object.
// Modern servers only (HASHBYTES came with SQL Server 2005).
std::u16string Summary();

// Columns of the summary result, from 1.
namespace SummaryColumn {
constexpr int Count = 1;
constexpr int Digest = 2;
} // namespace SummaryColumn

// What the summary adds for one object: the first four bytes of the MD5 of the UTF-16LE text
// "key:name" (name as the object is shown: bare in dbo, else schema.name), read as a
// big-endian signed 32-bit number, as SQL Server converts binary to int.
std::int64_t ObjectDigest(std::int64_t key, std::u16string_view shownName);

// The scripts of the objects with these keys (ascending, at most kLongestKeyList), as
// (key, text) fragments ordered by key.
std::u16string ScriptsOf(EFlavour flavour, const std::vector<std::int64_t>& keys);

// The scripts of the same list, as (key, text) fragments ordered by key.
std::u16string Scripts(EFlavour flavour, int typeCode);

// The script of one object, in the same shape.
std::u16string Script(EFlavour flavour, int typeCode, std::int64_t key);

// The type text a type code is shown with ("Stored Procedure", ...); empty for others.
std::u16string TypeName(int typeCode);

// True for the codes a flavour lists (509 and the single codes it knows).
bool IsListedTypeCode(EFlavour flavour, int typeCode);

} // namespace CatalogQueries
