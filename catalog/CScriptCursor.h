#pragma once
// Reads the scripts of an object list from one stream of (key, text) rows ordered by key:
// an object's script is the text of its consecutive rows joined. Asked for keys in list
// order, the cursor moves forward only, skips the rows of objects nobody asked for without
// reading their text, and keeps one script in memory at a time.

#include <cstdint>
#include <memory>
#include <string>

// The rows of a scripts result, one at a time.
class IScriptRows
{
public:
    virtual ~IScriptRows() = default;
    // Moves to the next row and gives its key. False at the end, or on failure (Failed()).
    virtual bool NextKey(std::int64_t& key) = 0;
    // The text of the row NextKey moved to (a NULL text reads as empty). False on failure.
    virtual bool ReadText(std::u16string& text) = 0;
    virtual bool Failed() const = 0;
};

enum class EScriptRead
{
    Found,    // the script is in the out string
    NoScript, // the stream has no row for the key
    Passed,   // the cursor is already beyond the key: ask another way
    Failed,   // the stream broke (cancelled, connection lost, too long); ask another way
};

class CScriptCursor
{
public:
    // The longest script accepted, in UTF-16 units: 64 Mi units (128 MB), far beyond any
    // module SQL Server stores, yet a bound on what a broken server can make us hold.
    static constexpr std::size_t kLargestScript = 64u * 1024u * 1024u;

    explicit CScriptCursor(std::unique_ptr<IScriptRows> rows,
                           std::size_t largestScript = kLargestScript)
        : m_pRows(std::move(rows)), m_nLargestScript(largestScript)
    {}

    EScriptRead Read(std::int64_t key, std::u16string& script);
    bool HasFailed() const { return m_bFailed; }
    // Every row was read: the statement has nothing left.
    bool AtEnd() const { return m_bEnd && !m_bPending; }

private:
    std::unique_ptr<IScriptRows> m_pRows;
    std::size_t m_nLargestScript;
    bool m_bPending = false; // a row whose key is read and whose text is not
    std::int64_t m_nPendingKey = 0;
    bool m_bEnd = false;
    bool m_bFailed = false;
    bool m_bAsked = false;
    std::int64_t m_nLastAsked = 0;
};
