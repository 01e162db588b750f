#include "catalog/CatalogQueries.h"

#include "catalog/Md5.h"
#include "platform/Utf.h"

namespace CatalogQueries {
namespace {

using quarrow::FromAscii;

std::u16string Number(std::int64_t value)
{
    return FromAscii(std::to_string(value));
}

std::u16string FlavourWord(EFlavour flavour)
{
    return flavour == EFlavour::Modern ? u"modern" : u"legacy";
}

// ---- Databases ----------------------------------------------------------------------------

// sys.databases: name (sysname), state (0 = ONLINE). HAS_DBACCESS(name): 1 when the login
// may open the database.
constexpr const char16_t* kModernDatabases = uR"sql(
SELECT CONVERT(nvarchar(128), d.name) AS name
FROM sys.databases AS d
WHERE d.state = 0 AND HAS_DBACCESS(d.name) = 1
ORDER BY d.name;)sql";

// master.dbo.sysdatabases: name (sysname), status (bit 512 = offline, 32 = loading,
// 64 = pre recovery, 128 = recovering, 256 = not recovered, 32768 = emergency mode).
constexpr const char16_t* kLegacyDatabases = uR"sql(
SELECT CONVERT(nvarchar(128), d.name) AS name
FROM master.dbo.sysdatabases AS d
WHERE (d.status & 33760) = 0 AND HAS_DBACCESS(d.name) = 1
ORDER BY d.name;)sql";

// ---- Object lists -------------------------------------------------------------------------

// sys.objects: object_id, name, schema_id, type ('V' view, 'U' table, 'P'/'PC' procedure,
// 'D' default (parent_object_id = 0 for CREATE DEFAULT; default constraints have their
// table), 'R' rule, 'TR'/'TA' DML trigger, 'FN'/'IF'/'TF'/'FS'/'FT' function), create_date,
// is_ms_shipped. sys.schemas: schema_id, name. sys.sql_modules: object_id, definition (NULL
// when the module is encrypted or the login may not see it). sys.types: user_type_id,
// schema_id, name, is_user_defined, is_assembly_type; sys.table_types:
// type_table_object_id (the table type's row in sys.objects, which carries its
// create_date). Tables and alias or table types have scripts we build, so they always have
// one. The stamp is modify_date (sys.objects; ALTER of a module or a table moves it), which
// a snapshot's refresh compares; alias types cannot be altered, so theirs is NULL.
constexpr const char16_t* kModernObjectSource = uR"sql(
    SELECT CAST(o.object_id AS bigint) AS object_key,
           CONVERT(nvarchar(128), s.name) AS schema_name,
           CONVERT(nvarchar(128), o.name) AS name,
           CASE o.type WHEN 'V' THEN 4 WHEN 'U' THEN 8 WHEN 'P' THEN 16 WHEN 'PC' THEN 16
                       WHEN 'D' THEN 64 WHEN 'R' THEN 128 WHEN 'TR' THEN 256 WHEN 'TA' THEN 256
                       ELSE 4096 END AS type_code,
           CONVERT(nvarchar(30), CONVERT(char(19), o.create_date, 120)) AS created,
           CASE WHEN o.type = 'U' OR m.definition IS NOT NULL THEN 1 ELSE 0 END AS has_script,
           CONVERT(nvarchar(30), o.modify_date, 121) AS stamp
    FROM sys.objects AS o
    JOIN sys.schemas AS s ON s.schema_id = o.schema_id
    LEFT JOIN sys.sql_modules AS m ON m.object_id = o.object_id
    WHERE o.is_ms_shipped = 0
      AND (o.type IN ('V', 'U', 'P', 'PC', 'R', 'TR', 'TA', 'FN', 'IF', 'TF', 'FS', 'FT')
           OR (o.type = 'D' AND o.parent_object_id = 0))
    UNION ALL
    SELECT CAST(t.user_type_id AS bigint) + 4294967296,
           CONVERT(nvarchar(128), s.name),
           CONVERT(nvarchar(128), t.name),
           1,
           CONVERT(nvarchar(30), CONVERT(char(19), tto.create_date, 120)),
           CASE WHEN t.is_assembly_type = 1 THEN 0 ELSE 1 END,
           CONVERT(nvarchar(30), tto.modify_date, 121)
    FROM sys.types AS t
    JOIN sys.schemas AS s ON s.schema_id = t.schema_id
    LEFT JOIN sys.table_types AS tt ON tt.user_type_id = t.user_type_id
    LEFT JOIN sys.objects AS tto ON tto.object_id = tt.type_table_object_id
    WHERE t.is_user_defined = 1
)sql";

// sysobjects: id, name, uid (the owner: USER_NAME(uid)), xtype ('V', 'U', 'P', 'D', 'R',
// 'TR'; 'D' also marks default constraints, whose parent_obj is their table), crdate,
// parent_obj. OBJECTPROPERTY(id, 'IsMSShipped'). syscomments: id, encrypted. systypes:
// xusertype (above 256 for types users made), uid, name; no creation date is kept.
// sysobjects keeps no modification date: the stamp is schema_ver (raised when a table's
// schema changes) with a checksum of the module text in syscomments (BINARY_CHECKSUM per
// row, CHECKSUM_AGG over them), so an ALTER PROCEDURE shows too.
constexpr const char16_t* kLegacyObjectSource = uR"sql(
    SELECT CAST(o.id AS bigint) AS object_key,
           CONVERT(nvarchar(128), USER_NAME(o.uid)) AS schema_name,
           CONVERT(nvarchar(128), o.name) AS name,
           CASE o.xtype WHEN 'V' THEN 4 WHEN 'U' THEN 8 WHEN 'P' THEN 16 WHEN 'D' THEN 64
                        WHEN 'R' THEN 128 ELSE 256 END AS type_code,
           CONVERT(nvarchar(30), CONVERT(char(19), o.crdate, 100)) AS created,
           CASE WHEN o.xtype = 'U' THEN 1
                WHEN EXISTS (SELECT 1 FROM syscomments AS c WHERE c.id = o.id AND c.encrypted = 0)
                THEN 1 ELSE 0 END AS has_script,
           CONVERT(nvarchar(12), o.schema_ver) + N'/'
           + ISNULL(CONVERT(nvarchar(12), (SELECT CHECKSUM_AGG(BINARY_CHECKSUM(c.text))
                                           FROM syscomments AS c WHERE c.id = o.id)), N'')
             AS stamp
    FROM sysobjects AS o
    WHERE (o.xtype IN ('V', 'U', 'P', 'R', 'TR') OR (o.xtype = 'D' AND o.parent_obj = 0))
      AND OBJECTPROPERTY(o.id, 'IsMSShipped') = 0
    UNION ALL
    SELECT CAST(t.xusertype AS bigint) + 4294967296,
           CONVERT(nvarchar(128), USER_NAME(t.uid)),
           CONVERT(nvarchar(128), t.name),
           1,
           CONVERT(nvarchar(30), NULL),
           1,
           CONVERT(nvarchar(30), NULL)
    FROM systypes AS t
    WHERE t.xusertype > 256
)sql";

// ---- Scripts ------------------------------------------------------------------------------
// Fragments (object_key, type_code, part, seq, seq2, text), ordered by the last four: a
// module's definition is one fragment; a table's CREATE TABLE is built here, one fragment
// per column and per key column, so no string aggregation is needed (SQL Server 2005 has
// none).

// The CTE `tabs` (object_key, tab_id, type_code, header): user tables (sys.objects type 'U')
// and table types (sys.table_types, whose columns hang off type_table_object_id).
// sys.columns: object_id, column_id, name, user_type_id, max_length (-1: max; bytes, so
// nchar/nvarchar halve it), precision, scale, is_nullable, default_object_id.
// sys.types: name, is_user_defined, schema_id. sys.computed_columns: definition,
// is_persisted. sys.identity_columns: seed_value, increment_value (sql_variant).
// sys.default_constraints: object_id, name, definition. sys.key_constraints: object_id,
// name, type ('PK', 'UQ'), parent_object_id, unique_index_id; sys.indexes: type_desc
// (CLUSTERED/NONCLUSTERED); sys.index_columns: key_ordinal (0 for included columns),
// column_id, is_descending_key. sys.check_constraints: name, definition, parent_object_id.
// sys.foreign_keys: object_id, name, parent_object_id, referenced_object_id,
// delete_referential_action(_desc), update_referential_action(_desc);
// sys.foreign_key_columns: constraint_object_id, constraint_column_id, parent_column_id,
// referenced_object_id, referenced_column_id.
constexpr const char16_t* kModernScriptSource = uR"sql(
WITH tabs AS (
    SELECT CAST(o.object_id AS bigint) AS object_key, o.object_id AS tab_id, 8 AS type_code,
           N'CREATE TABLE ' + QUOTENAME(s.name) + N'.' + QUOTENAME(o.name) + N' (' AS header
    FROM sys.objects AS o
    JOIN sys.schemas AS s ON s.schema_id = o.schema_id
    WHERE o.type = 'U' AND o.is_ms_shipped = 0
    UNION ALL
    SELECT CAST(tt.user_type_id AS bigint) + 4294967296, tt.type_table_object_id, 1,
           N'CREATE TYPE ' + QUOTENAME(s.name) + N'.' + QUOTENAME(tt.name) + N' AS TABLE ('
    FROM sys.table_types AS tt
    JOIN sys.schemas AS s ON s.schema_id = tt.schema_id
    WHERE tt.is_user_defined = 1
),
frags AS (
    SELECT CAST(o.object_id AS bigint) AS object_key,
           CASE o.type WHEN 'V' THEN 4 WHEN 'P' THEN 16 WHEN 'D' THEN 64 WHEN 'R' THEN 128
                       WHEN 'TR' THEN 256 ELSE 4096 END AS type_code,
           0 AS part, 0 AS seq, 0 AS seq2, m.definition AS text
    FROM sys.objects AS o
    JOIN sys.sql_modules AS m ON m.object_id = o.object_id
    WHERE o.is_ms_shipped = 0 AND m.definition IS NOT NULL
      AND (o.type IN ('V', 'P', 'R', 'TR', 'FN', 'IF', 'TF')
           OR (o.type = 'D' AND o.parent_object_id = 0))
    UNION ALL
    SELECT t.object_key, t.type_code, 1, 0, 0, t.header + NCHAR(13) + NCHAR(10)
    FROM tabs AS t
    UNION ALL
    SELECT t.object_key, t.type_code, 2, c.column_id, 0,
           CASE WHEN c.column_id = (SELECT MIN(c2.column_id) FROM sys.columns AS c2
                                    WHERE c2.object_id = c.object_id)
                THEN N'' ELSE N',' + NCHAR(13) + NCHAR(10) END
           + N'    ' + QUOTENAME(c.name) + N' '
           + CASE WHEN cc.object_id IS NOT NULL
                  THEN N'AS ' + cc.definition
                       + CASE WHEN cc.is_persisted = 1 THEN N' PERSISTED' ELSE N'' END
                  ELSE CASE WHEN ty.is_user_defined = 1
                            THEN QUOTENAME(tys.name) + N'.' + QUOTENAME(ty.name)
                            ELSE QUOTENAME(ty.name)
                                 + CASE WHEN ty.name IN (N'varchar', N'char', N'varbinary', N'binary')
                                        THEN N'(' + CASE WHEN c.max_length = -1 THEN N'max'
                                                         ELSE CONVERT(nvarchar(10), c.max_length) END + N')'
                                        WHEN ty.name IN (N'nvarchar', N'nchar')
                                        THEN N'(' + CASE WHEN c.max_length = -1 THEN N'max'
                                                         ELSE CONVERT(nvarchar(10), c.max_length / 2) END + N')'
                                        WHEN ty.name IN (N'decimal', N'numeric')
                                        THEN N'(' + CONVERT(nvarchar(10), c.precision) + N', '
                                             + CONVERT(nvarchar(10), c.scale) + N')'
                                        WHEN ty.name IN (N'datetime2', N'time', N'datetimeoffset')
                                        THEN N'(' + CONVERT(nvarchar(10), c.scale) + N')'
                                        ELSE N'' END
                       END
                       + CASE WHEN ic.object_id IS NOT NULL
                              THEN N' IDENTITY(' + CONVERT(nvarchar(40), ic.seed_value) + N', '
                                   + CONVERT(nvarchar(40), ic.increment_value) + N')'
                              ELSE N'' END
                       + CASE WHEN c.is_nullable = 1 THEN N' NULL' ELSE N' NOT NULL' END
                       + CASE WHEN dc.object_id IS NOT NULL
                              THEN CASE WHEN t.type_code = 1 THEN N''
                                        ELSE N' CONSTRAINT ' + QUOTENAME(dc.name) END
                                   + N' DEFAULT ' + dc.definition
                              ELSE N'' END
             END
    FROM tabs AS t
    JOIN sys.columns AS c ON c.object_id = t.tab_id
    JOIN sys.types AS ty ON ty.user_type_id = c.user_type_id
    JOIN sys.schemas AS tys ON tys.schema_id = ty.schema_id
    LEFT JOIN sys.computed_columns AS cc ON cc.object_id = c.object_id AND cc.column_id = c.column_id
    LEFT JOIN sys.identity_columns AS ic ON ic.object_id = c.object_id AND ic.column_id = c.column_id
    LEFT JOIN sys.default_constraints AS dc ON dc.object_id = c.default_object_id
    UNION ALL
    SELECT t.object_key, t.type_code, 3, k.object_id, 0,
           N',' + NCHAR(13) + NCHAR(10) + N'    '
           + CASE WHEN t.type_code = 1 THEN N'' ELSE N'CONSTRAINT ' + QUOTENAME(k.name) + N' ' END
           + CASE k.type WHEN 'PK' THEN N'PRIMARY KEY ' ELSE N'UNIQUE ' END
           + CONVERT(nvarchar(60), i.type_desc) + N' ('
    FROM tabs AS t
    JOIN sys.key_constraints AS k ON k.parent_object_id = t.tab_id
    JOIN sys.indexes AS i ON i.object_id = k.parent_object_id AND i.index_id = k.unique_index_id
    UNION ALL
    SELECT t.object_key, t.type_code, 3, k.object_id, ixc.key_ordinal,
           CASE WHEN ixc.key_ordinal = 1 THEN N'' ELSE N', ' END + QUOTENAME(c.name)
           + CASE WHEN ixc.is_descending_key = 1 THEN N' DESC' ELSE N' ASC' END
    FROM tabs AS t
    JOIN sys.key_constraints AS k ON k.parent_object_id = t.tab_id
    JOIN sys.index_columns AS ixc ON ixc.object_id = k.parent_object_id
                                 AND ixc.index_id = k.unique_index_id AND ixc.key_ordinal > 0
    JOIN sys.columns AS c ON c.object_id = ixc.object_id AND c.column_id = ixc.column_id
    UNION ALL
    SELECT t.object_key, t.type_code, 3, k.object_id, 2000000000, N')'
    FROM tabs AS t
    JOIN sys.key_constraints AS k ON k.parent_object_id = t.tab_id
    UNION ALL
    SELECT t.object_key, t.type_code, 4, ck.object_id, 0,
           N',' + NCHAR(13) + NCHAR(10) + N'    '
           + CASE WHEN t.type_code = 1 THEN N'' ELSE N'CONSTRAINT ' + QUOTENAME(ck.name) + N' ' END
           + N'CHECK ' + ck.definition
    FROM tabs AS t
    JOIN sys.check_constraints AS ck ON ck.parent_object_id = t.tab_id
    UNION ALL
    SELECT t.object_key, t.type_code, 5, fk.object_id, 0,
           N',' + NCHAR(13) + NCHAR(10) + N'    CONSTRAINT ' + QUOTENAME(fk.name) + N' FOREIGN KEY ('
    FROM tabs AS t
    JOIN sys.foreign_keys AS fk ON fk.parent_object_id = t.tab_id
    UNION ALL
    SELECT t.object_key, t.type_code, 5, fk.object_id, fkc.constraint_column_id,
           CASE WHEN fkc.constraint_column_id = 1 THEN N'' ELSE N', ' END + QUOTENAME(pc.name)
    FROM tabs AS t
    JOIN sys.foreign_keys AS fk ON fk.parent_object_id = t.tab_id
    JOIN sys.foreign_key_columns AS fkc ON fkc.constraint_object_id = fk.object_id
    JOIN sys.columns AS pc ON pc.object_id = fkc.parent_object_id AND pc.column_id = fkc.parent_column_id
    UNION ALL
    SELECT t.object_key, t.type_code, 5, fk.object_id, 1000000000,
           N') REFERENCES ' + QUOTENAME(rs.name) + N'.' + QUOTENAME(ro.name) + N' ('
    FROM tabs AS t
    JOIN sys.foreign_keys AS fk ON fk.parent_object_id = t.tab_id
    JOIN sys.objects AS ro ON ro.object_id = fk.referenced_object_id
    JOIN sys.schemas AS rs ON rs.schema_id = ro.schema_id
    UNION ALL
    SELECT t.object_key, t.type_code, 5, fk.object_id, 1000000000 + fkc.constraint_column_id,
           CASE WHEN fkc.constraint_column_id = 1 THEN N'' ELSE N', ' END + QUOTENAME(rc.name)
    FROM tabs AS t
    JOIN sys.foreign_keys AS fk ON fk.parent_object_id = t.tab_id
    JOIN sys.foreign_key_columns AS fkc ON fkc.constraint_object_id = fk.object_id
    JOIN sys.columns AS rc ON rc.object_id = fkc.referenced_object_id
                          AND rc.column_id = fkc.referenced_column_id
    UNION ALL
    SELECT t.object_key, t.type_code, 5, fk.object_id, 2000000000,
           N')'
           + CASE WHEN fk.delete_referential_action <> 0
                  THEN N' ON DELETE ' + REPLACE(CONVERT(nvarchar(60), fk.delete_referential_action_desc), N'_', N' ')
                  ELSE N'' END
           + CASE WHEN fk.update_referential_action <> 0
                  THEN N' ON UPDATE ' + REPLACE(CONVERT(nvarchar(60), fk.update_referential_action_desc), N'_', N' ')
                  ELSE N'' END
    FROM tabs AS t
    JOIN sys.foreign_keys AS fk ON fk.parent_object_id = t.tab_id
    UNION ALL
    SELECT t.object_key, t.type_code, 9, 0, 0, NCHAR(13) + NCHAR(10) + N')'
    FROM tabs AS t
    UNION ALL
    SELECT CAST(a.user_type_id AS bigint) + 4294967296, 1, 0, 0, 0,
           N'CREATE TYPE ' + QUOTENAME(s.name) + N'.' + QUOTENAME(a.name) + N' FROM '
           + QUOTENAME(bt.name)
           + CASE WHEN bt.name IN (N'varchar', N'char', N'varbinary', N'binary')
                  THEN N'(' + CASE WHEN a.max_length = -1 THEN N'max'
                                   ELSE CONVERT(nvarchar(10), a.max_length) END + N')'
                  WHEN bt.name IN (N'nvarchar', N'nchar')
                  THEN N'(' + CASE WHEN a.max_length = -1 THEN N'max'
                                   ELSE CONVERT(nvarchar(10), a.max_length / 2) END + N')'
                  WHEN bt.name IN (N'decimal', N'numeric')
                  THEN N'(' + CONVERT(nvarchar(10), a.precision) + N', '
                       + CONVERT(nvarchar(10), a.scale) + N')'
                  WHEN bt.name IN (N'datetime2', N'time', N'datetimeoffset')
                  THEN N'(' + CONVERT(nvarchar(10), a.scale) + N')'
                  ELSE N'' END
           + CASE WHEN a.is_nullable = 1 THEN N' NULL' ELSE N' NOT NULL' END
    FROM sys.types AS a
    JOIN sys.schemas AS s ON s.schema_id = a.schema_id
    JOIN sys.types AS bt ON bt.user_type_id = a.system_type_id
    WHERE a.is_user_defined = 1 AND a.is_table_type = 0 AND a.is_assembly_type = 0
)
SELECT f.object_key, f.text AS [text]
FROM frags AS f
)sql";

// syscomments: id, number (procedure group), colid (the row's place), text
// (nvarchar(4000)), encrypted. sysobjects as above; the table's constraints are sysobjects
// rows with parent_obj = the table: xtype 'PK'/'UQ' (their index: sysindexes row of the same
// name; indid 1 = clustered), 'C' check (text in syscomments), 'F' foreign key, 'D' default
// (syscolumns.cdefault; its text in syscomments). syscolumns: id, colid, name, xusertype,
// length (bytes), prec, scale, isnullable, iscomputed (text in syscomments with number =
// colid). COLUMNPROPERTY(id, name, 'IsIdentity'), IDENT_SEED/IDENT_INCR(table name).
// sysindexkeys: id, indid, colid, keyno; INDEXKEY_PROPERTY(id, indid, keyno,
// 'IsDescending'). sysforeignkeys: constid, fkeyid, rkeyid, fkey, rkey, keyno;
// OBJECTPROPERTY(constid, 'CnstIsDeleteCascade' / 'CnstIsUpdateCascade'). No common table
// expressions before SQL Server 2005, so each branch names its tables itself.
constexpr const char16_t* kLegacyScriptSource = uR"sql(
SELECT f.object_key, f.text AS [text]
FROM (
    SELECT CAST(o.id AS bigint) AS object_key,
           CASE o.xtype WHEN 'V' THEN 4 WHEN 'P' THEN 16 WHEN 'D' THEN 64 WHEN 'R' THEN 128
                        ELSE 256 END AS type_code,
           0 AS part, c.number AS seq, c.colid AS seq2, c.text AS text
    FROM sysobjects AS o
    JOIN syscomments AS c ON c.id = o.id
    WHERE (o.xtype IN ('V', 'P', 'R', 'TR') OR (o.xtype = 'D' AND o.parent_obj = 0))
      AND OBJECTPROPERTY(o.id, 'IsMSShipped') = 0 AND c.encrypted = 0
    UNION ALL
    SELECT CAST(o.id AS bigint), 8, 1, 0, 0,
           N'CREATE TABLE ' + QUOTENAME(USER_NAME(o.uid)) + N'.' + QUOTENAME(o.name) + N' ('
           + NCHAR(13) + NCHAR(10)
    FROM sysobjects AS o
    WHERE o.xtype = 'U' AND OBJECTPROPERTY(o.id, 'IsMSShipped') = 0
    UNION ALL
    SELECT CAST(o.id AS bigint), 8, 2, c.colid, 0,
           CASE WHEN c.colid = (SELECT MIN(c2.colid) FROM syscolumns AS c2 WHERE c2.id = c.id)
                THEN N'' ELSE N',' + NCHAR(13) + NCHAR(10) END
           + N'    ' + QUOTENAME(c.name) + N' '
           + CASE WHEN c.iscomputed = 1
                  THEN N'AS ' + ISNULL((SELECT TOP 1 cm.text FROM syscomments AS cm
                                        WHERE cm.id = c.id AND cm.number = c.colid
                                        ORDER BY cm.colid), N'')
                  ELSE CASE WHEN ty.xusertype > 256
                            THEN QUOTENAME(USER_NAME(ty.uid)) + N'.' + QUOTENAME(ty.name)
                            ELSE QUOTENAME(ty.name)
                                 + CASE WHEN ty.name IN (N'varchar', N'char', N'varbinary', N'binary')
                                        THEN N'(' + CONVERT(nvarchar(10), c.length) + N')'
                                        WHEN ty.name IN (N'nvarchar', N'nchar')
                                        THEN N'(' + CONVERT(nvarchar(10), c.length / 2) + N')'
                                        WHEN ty.name IN (N'decimal', N'numeric')
                                        THEN N'(' + CONVERT(nvarchar(10), c.prec) + N', '
                                             + CONVERT(nvarchar(10), c.scale) + N')'
                                        ELSE N'' END
                       END
                       + CASE WHEN COLUMNPROPERTY(c.id, c.name, 'IsIdentity') = 1
                              THEN N' IDENTITY('
                                   + CONVERT(nvarchar(40), IDENT_SEED(QUOTENAME(USER_NAME(o.uid)) + N'.' + QUOTENAME(o.name)))
                                   + N', '
                                   + CONVERT(nvarchar(40), IDENT_INCR(QUOTENAME(USER_NAME(o.uid)) + N'.' + QUOTENAME(o.name)))
                                   + N')'
                              ELSE N'' END
                       + CASE WHEN c.isnullable = 1 THEN N' NULL' ELSE N' NOT NULL' END
                       + ISNULL((SELECT TOP 1 N' CONSTRAINT ' + QUOTENAME(d.name) + N' DEFAULT ' + dm.text
                                 FROM sysobjects AS d
                                 JOIN syscomments AS dm ON dm.id = d.id
                                 WHERE d.id = c.cdefault AND d.parent_obj = c.id
                                 ORDER BY dm.colid), N'')
             END
    FROM sysobjects AS o
    JOIN syscolumns AS c ON c.id = o.id
    JOIN systypes AS ty ON ty.xusertype = c.xusertype
    WHERE o.xtype = 'U' AND OBJECTPROPERTY(o.id, 'IsMSShipped') = 0
    UNION ALL
    SELECT CAST(o.id AS bigint), 8, 3, k.id, 0,
           N',' + NCHAR(13) + NCHAR(10) + N'    CONSTRAINT ' + QUOTENAME(k.name)
           + CASE k.xtype WHEN 'PK' THEN N' PRIMARY KEY ' ELSE N' UNIQUE ' END
           + CASE WHEN i.indid = 1 THEN N'CLUSTERED' ELSE N'NONCLUSTERED' END + N' ('
    FROM sysobjects AS o
    JOIN sysobjects AS k ON k.parent_obj = o.id AND k.xtype IN ('PK', 'UQ')
    JOIN sysindexes AS i ON i.id = o.id AND i.name = k.name
    WHERE o.xtype = 'U' AND OBJECTPROPERTY(o.id, 'IsMSShipped') = 0
    UNION ALL
    SELECT CAST(o.id AS bigint), 8, 3, k.id, ik.keyno,
           CASE WHEN ik.keyno = 1 THEN N'' ELSE N', ' END + QUOTENAME(c.name)
           + CASE WHEN INDEXKEY_PROPERTY(o.id, i.indid, ik.keyno, 'IsDescending') = 1
                  THEN N' DESC' ELSE N' ASC' END
    FROM sysobjects AS o
    JOIN sysobjects AS k ON k.parent_obj = o.id AND k.xtype IN ('PK', 'UQ')
    JOIN sysindexes AS i ON i.id = o.id AND i.name = k.name
    JOIN sysindexkeys AS ik ON ik.id = o.id AND ik.indid = i.indid
    JOIN syscolumns AS c ON c.id = o.id AND c.colid = ik.colid
    WHERE o.xtype = 'U' AND OBJECTPROPERTY(o.id, 'IsMSShipped') = 0
    UNION ALL
    SELECT CAST(o.id AS bigint), 8, 3, k.id, 2000000000, N')'
    FROM sysobjects AS o
    JOIN sysobjects AS k ON k.parent_obj = o.id AND k.xtype IN ('PK', 'UQ')
    WHERE o.xtype = 'U' AND OBJECTPROPERTY(o.id, 'IsMSShipped') = 0
    UNION ALL
    SELECT CAST(o.id AS bigint), 8, 4, k.id, ck.colid,
           CASE WHEN ck.colid = 1
                THEN N',' + NCHAR(13) + NCHAR(10) + N'    CONSTRAINT ' + QUOTENAME(k.name) + N' CHECK '
                ELSE N'' END + ck.text
    FROM sysobjects AS o
    JOIN sysobjects AS k ON k.parent_obj = o.id AND k.xtype = 'C'
    JOIN syscomments AS ck ON ck.id = k.id
    WHERE o.xtype = 'U' AND OBJECTPROPERTY(o.id, 'IsMSShipped') = 0
    UNION ALL
    SELECT CAST(o.id AS bigint), 8, 5, k.id, 0,
           N',' + NCHAR(13) + NCHAR(10) + N'    CONSTRAINT ' + QUOTENAME(k.name) + N' FOREIGN KEY ('
    FROM sysobjects AS o
    JOIN sysobjects AS k ON k.parent_obj = o.id AND k.xtype = 'F'
    WHERE o.xtype = 'U' AND OBJECTPROPERTY(o.id, 'IsMSShipped') = 0
    UNION ALL
    SELECT CAST(o.id AS bigint), 8, 5, k.id, fkc.keyno,
           CASE WHEN fkc.keyno = 1 THEN N'' ELSE N', ' END + QUOTENAME(pc.name)
    FROM sysobjects AS o
    JOIN sysobjects AS k ON k.parent_obj = o.id AND k.xtype = 'F'
    JOIN sysforeignkeys AS fkc ON fkc.constid = k.id
    JOIN syscolumns AS pc ON pc.id = fkc.fkeyid AND pc.colid = fkc.fkey
    WHERE o.xtype = 'U' AND OBJECTPROPERTY(o.id, 'IsMSShipped') = 0
    UNION ALL
    SELECT CAST(o.id AS bigint), 8, 5, k.id, 1000000000,
           N') REFERENCES ' + QUOTENAME(USER_NAME(ro.uid)) + N'.' + QUOTENAME(ro.name) + N' ('
    FROM sysobjects AS o
    JOIN sysobjects AS k ON k.parent_obj = o.id AND k.xtype = 'F'
    JOIN sysobjects AS ro ON ro.id = (SELECT TOP 1 fk1.rkeyid FROM sysforeignkeys AS fk1
                                      WHERE fk1.constid = k.id)
    WHERE o.xtype = 'U' AND OBJECTPROPERTY(o.id, 'IsMSShipped') = 0
    UNION ALL
    SELECT CAST(o.id AS bigint), 8, 5, k.id, 1000000000 + fkc.keyno,
           CASE WHEN fkc.keyno = 1 THEN N'' ELSE N', ' END + QUOTENAME(rc.name)
    FROM sysobjects AS o
    JOIN sysobjects AS k ON k.parent_obj = o.id AND k.xtype = 'F'
    JOIN sysforeignkeys AS fkc ON fkc.constid = k.id
    JOIN syscolumns AS rc ON rc.id = fkc.rkeyid AND rc.colid = fkc.rkey
    WHERE o.xtype = 'U' AND OBJECTPROPERTY(o.id, 'IsMSShipped') = 0
    UNION ALL
    SELECT CAST(o.id AS bigint), 8, 5, k.id, 2000000000,
           N')'
           + CASE WHEN OBJECTPROPERTY(k.id, 'CnstIsDeleteCascade') = 1 THEN N' ON DELETE CASCADE' ELSE N'' END
           + CASE WHEN OBJECTPROPERTY(k.id, 'CnstIsUpdateCascade') = 1 THEN N' ON UPDATE CASCADE' ELSE N'' END
    FROM sysobjects AS o
    JOIN sysobjects AS k ON k.parent_obj = o.id AND k.xtype = 'F'
    WHERE o.xtype = 'U' AND OBJECTPROPERTY(o.id, 'IsMSShipped') = 0
    UNION ALL
    SELECT CAST(o.id AS bigint), 8, 9, 0, 0, NCHAR(13) + NCHAR(10) + N')'
    FROM sysobjects AS o
    WHERE o.xtype = 'U' AND OBJECTPROPERTY(o.id, 'IsMSShipped') = 0
    UNION ALL
    SELECT CAST(a.xusertype AS bigint) + 4294967296, 1, 0, 0, 0,
           N'CREATE TYPE ' + QUOTENAME(USER_NAME(a.uid)) + N'.' + QUOTENAME(a.name) + N' FROM '
           + QUOTENAME(bt.name)
           + CASE WHEN bt.name IN (N'varchar', N'char', N'varbinary', N'binary')
                  THEN N'(' + CONVERT(nvarchar(10), a.length) + N')'
                  WHEN bt.name IN (N'nvarchar', N'nchar')
                  THEN N'(' + CONVERT(nvarchar(10), a.length / 2) + N')'
                  WHEN bt.name IN (N'decimal', N'numeric')
                  THEN N'(' + CONVERT(nvarchar(10), a.prec) + N', '
                       + CONVERT(nvarchar(10), a.scale) + N')'
                  ELSE N'' END
           + CASE WHEN a.allownulls = 1 THEN N' NULL' ELSE N' NOT NULL' END
    FROM systypes AS a
    JOIN systypes AS bt ON bt.xusertype = a.xtype
    WHERE a.xusertype > 256
) AS f
)sql";

std::u16string TypeFilter(int typeCode, const std::u16string& alias)
{
    if (typeCode == ObjectType::All) {
        return u"1 = 1";
    }
    return alias + u"type_code = " + Number(typeCode);
}

std::u16string ScriptsQuery(EFlavour flavour, const std::u16string& tag,
                            const std::u16string& filter)
{
    std::u16string text = tag;
    text += flavour == EFlavour::Modern ? kModernScriptSource : kLegacyScriptSource;
    text += u"WHERE " + filter + u"\nORDER BY f.object_key, f.part, f.seq, f.seq2;";
    return text;
}

} // namespace

std::optional<std::u16string> QuoteIdentifier(const std::u16string& name)
{
    if (name.find(u'\0') != std::u16string::npos) {
        return std::nullopt;
    }
    std::u16string quoted = u"[";
    for (char16_t c : name) {
        quoted += c;
        if (c == u']') {
            quoted += u']';
        }
    }
    quoted += u']';
    return quoted;
}

std::optional<std::u16string> UseDatabase(const std::u16string& name)
{
    auto quoted = QuoteIdentifier(name);
    if (!quoted) {
        return std::nullopt;
    }
    return u"USE " + *quoted;
}

std::u16string Databases(EFlavour flavour)
{
    return std::u16string(u"/*quarrow:databases*/") +
           (flavour == EFlavour::Modern ? kModernDatabases : kLegacyDatabases);
}

std::u16string Objects(EFlavour flavour, int typeCode)
{
    std::u16string text = u"/*quarrow:objects flavour=" + FlavourWord(flavour) + u" type=" +
                          Number(typeCode) + u"*/\n";
    text += u"SELECT q.object_key, q.schema_name, q.name, q.type_code, q.created, q.has_script\n"
            u"FROM (";
    text += flavour == EFlavour::Modern ? kModernObjectSource : kLegacyObjectSource;
    text += u") AS q\nWHERE " + TypeFilter(typeCode, u"q.") + u"\nORDER BY q.object_key;";
    return text;
}

std::u16string StampedObjects(EFlavour flavour)
{
    std::u16string text = u"/*quarrow:stamps flavour=" + FlavourWord(flavour) + u"*/\n";
    text += u"SELECT q.object_key, q.schema_name, q.name, q.type_code, q.created, q.has_script, "
            u"q.stamp\nFROM (";
    text += flavour == EFlavour::Modern ? kModernObjectSource : kLegacyObjectSource;
    text += u") AS q\nORDER BY q.object_key;";
    return text;
}

bool IsModernStamp(std::string_view stamp)
{
    constexpr std::string_view kShape = "dddd-dd-dd dd:dd:dd.ddd";
    if (stamp.size() != kShape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < kShape.size(); ++i) {
        const bool digit = stamp[i] >= '0' && stamp[i] <= '9';
        if (kShape[i] == 'd' ? !digit : stamp[i] != kShape[i]) {
            return false;
        }
    }
    return true;
}

std::optional<std::u16string> Changes(const std::string& since)
{
    if (!IsModernStamp(since)) {
        return std::nullopt;
    }
    // The tag's words are split at spaces: there the date and time are joined by a T.
    std::string tagged = since;
    tagged[10] = 'T';
    // Stamps all have one shape, so comparing them as text compares the times (digits sort
    // the same in every collation); equal ones are listed too and compared with the file.
    std::u16string text = u"/*quarrow:changes flavour=modern since=" + FromAscii(tagged) + u"*/\n";
    text += u"SELECT q.object_key, q.schema_name, q.name, q.type_code, q.created, q.has_script, "
            u"q.stamp\nFROM (";
    text += kModernObjectSource;
    text += u") AS q\nWHERE q.stamp >= N'" + FromAscii(since) + u"'\nORDER BY q.object_key;";
    return text;
}

std::u16string Summary()
{
    // HASHBYTES hashes an nvarchar's UTF-16LE bytes; CAST of binary(4) to int reads them
    // big-endian. The schema is compared as bytes, as the client compares it, so a
    // case-insensitive collation cannot make 'DBO' bare.
    std::u16string text = u"/*quarrow:summary flavour=modern*/\n";
    text += u"SELECT COUNT_BIG(*) AS object_count,\n"
            u"       ISNULL(SUM(CAST(CAST(SUBSTRING(HASHBYTES('MD5',\n"
            u"           CONVERT(nvarchar(20), q.object_key) + N':'\n"
            u"           + CASE WHEN CAST(q.schema_name AS varbinary(256)) = CAST(N'dbo' AS "
            u"varbinary(256))\n"
            u"                  THEN q.name ELSE q.schema_name + N'.' + q.name END), 1, 4)\n"
            u"           AS int) AS bigint)), 0) AS digest\nFROM (";
    text += kModernObjectSource;
    text += u") AS q;";
    return text;
}

std::int64_t ObjectDigest(std::int64_t key, std::u16string_view shownName)
{
    std::u16string text = Number(key) + u":";
    text += shownName;
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xff);
        bytes += static_cast<char>(unit >> 8);
    }
    const auto digest = quarrow::Md5(bytes);
    const std::uint32_t word = static_cast<std::uint32_t>(digest[0]) << 24 |
                               static_cast<std::uint32_t>(digest[1]) << 16 |
                               static_cast<std::uint32_t>(digest[2]) << 8 | digest[3];
    return static_cast<std::int32_t>(word);
}

std::u16string ScriptsOf(EFlavour flavour, const std::vector<std::int64_t>& keys)
{
    std::u16string list;
    for (std::int64_t key : keys) {
        if (!list.empty()) {
            list += u',';
        }
        list += Number(key);
    }
    if (list.empty()) {
        list = u"-1"; // no object has it: an empty result, still a valid statement
    }
    return ScriptsQuery(
        flavour, u"/*quarrow:scripts-of flavour=" + FlavourWord(flavour) + u" keys=" + list + u"*/",
        u"f.object_key IN (" + list + u")");
}

std::u16string Scripts(EFlavour flavour, int typeCode)
{
    return ScriptsQuery(flavour,
                        u"/*quarrow:scripts flavour=" + FlavourWord(flavour) + u" type=" +
                            Number(typeCode) + u"*/",
                        TypeFilter(typeCode, u"f."));
}

std::u16string Script(EFlavour flavour, int typeCode, std::int64_t key)
{
    return ScriptsQuery(flavour,
                        u"/*quarrow:script flavour=" + FlavourWord(flavour) + u" type=" +
                            Number(typeCode) + u" key=" + Number(key) + u"*/",
                        TypeFilter(typeCode, u"f.") + u" AND f.object_key = " + Number(key));
}

std::u16string TypeName(int typeCode)
{
    switch (typeCode) {
    case ObjectType::UserDefinedDatatype:
        return u"User Defined Datatype";
    case ObjectType::View:
        return u"View";
    case ObjectType::UserTable:
        return u"User Table";
    case ObjectType::StoredProcedure:
        return u"Stored Procedure";
    case ObjectType::Default:
        return u"Default";
    case ObjectType::Rule:
        return u"Rule";
    case ObjectType::Trigger:
        return u"Trigger";
    case ObjectType::UserDefinedFunction:
        return u"User Defined Function";
    default:
        return {};
    }
}

bool IsListedTypeCode(EFlavour flavour, int typeCode)
{
    switch (typeCode) {
    case ObjectType::All:
    case ObjectType::UserDefinedDatatype:
    case ObjectType::View:
    case ObjectType::UserTable:
    case ObjectType::StoredProcedure:
    case ObjectType::Default:
    case ObjectType::Rule:
    case ObjectType::Trigger:
        return true;
    case ObjectType::UserDefinedFunction:
        return flavour == EFlavour::Modern;
    default:
        return false;
    }
}

} // namespace CatalogQueries
