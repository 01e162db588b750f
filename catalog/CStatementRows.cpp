#include "catalog/CStatementRows.h"

#include "catalog/CatalogQueries.h"
#include "catalog/OdbcDiagnostic.h"

CStatementRows::CStatementRows(COdbcStatement& statement, std::function<bool()> cancelled,
                               std::function<void(std::size_t)> textRead)
    : m_statement(statement), m_fnCancelled(std::move(cancelled)), m_fnTextRead(std::move(textRead))
{}

bool CStatementRows::NextKey(std::int64_t& key)
{
    // Bounded by the rows the server sends; a row without a key is skipped.
    for (;;) {
        if (m_fnCancelled && m_fnCancelled()) {
            m_bFailed = true;
            return false;
        }
        const auto fetched = m_statement.Fetch();
        if (fetched.IsNoData()) {
            return false;
        }
        bool null = false;
        if (!fetched.IsOk() ||
            !m_statement.GetInt64(CatalogQueries::ScriptColumn::Key, key, null).IsOk()) {
            m_strError = DescribeDiagnostics(fetched.GetDiagnostics());
            m_bFailed = true;
            return false;
        }
        if (!null) {
            return true;
        }
    }
}

bool CStatementRows::ReadText(std::u16string& text)
{
    bool null = false;
    const auto result = m_statement.GetText(CatalogQueries::ScriptColumn::Text, text, null,
                                            CScriptCursor::kLargestScript);
    if (!result.IsOk()) {
        m_strError = DescribeDiagnostics(result.GetDiagnostics());
        m_bFailed = true;
        return false;
    }
    if (m_fnTextRead) {
        m_fnTextRead(text.size());
    }
    return true;
}
