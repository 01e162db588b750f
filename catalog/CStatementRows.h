#pragma once
// The rows of a scripts result (CatalogQueries' key and text columns) read from an ODBC
// statement, for a script cursor. Shared by the live library's searches and the snapshot
// taker, which differ only in how a stop is asked and in counting what was read.

#include "catalog/CScriptCursor.h"
#include "catalog/Odbc.h"

#include <cstddef>
#include <functional>
#include <string>

class CStatementRows : public IScriptRows
{
public:
    // cancelled is asked before each row (may be empty); textRead is told the length in UTF-16
    // units of each text read (may be empty).
    CStatementRows(COdbcStatement& statement, std::function<bool()> cancelled,
                   std::function<void(std::size_t)> textRead = {});

    bool NextKey(std::int64_t& key) override;
    bool ReadText(std::u16string& text) override;
    bool Failed() const override { return m_bFailed; }
    // The driver's words for a failure; empty after a stop or when it said nothing.
    const std::u16string& GetError() const { return m_strError; }

private:
    COdbcStatement& m_statement;
    std::function<bool()> m_fnCancelled;
    std::function<void(std::size_t)> m_fnTextRead;
    bool m_bFailed = false;
    std::u16string m_strError;
};
