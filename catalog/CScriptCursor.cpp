#include "catalog/CScriptCursor.h"

EScriptRead CScriptCursor::Read(std::int64_t key, std::u16string& script)
{
    script.clear();
    if (m_bFailed) {
        return EScriptRead::Failed;
    }
    // The rows of a key already asked for (or of a smaller one) are gone.
    if (m_bAsked && key <= m_nLastAsked) {
        return EScriptRead::Passed;
    }
    m_bAsked = true;
    m_nLastAsked = key;
    bool found = false;
    std::u16string piece;
    for (;;) {
        if (!m_bPending) {
            if (m_bEnd) {
                break;
            }
            if (!m_pRows->NextKey(m_nPendingKey)) {
                m_bEnd = true;
                if (m_pRows->Failed()) {
                    m_bFailed = true;
                    script.clear();
                    return EScriptRead::Failed;
                }
                break;
            }
            m_bPending = true;
        }
        if (m_nPendingKey > key) {
            break; // the next object's rows: kept for its turn
        }
        m_bPending = false;
        if (m_nPendingKey < key) {
            continue; // an object nobody asked for: its text is never read
        }
        if (!m_pRows->ReadText(piece) || script.size() + piece.size() > m_nLargestScript) {
            m_bFailed = true;
            script.clear();
            return EScriptRead::Failed;
        }
        script += piece;
        found = true;
    }
    return found ? EScriptRead::Found : EScriptRead::NoScript;
}
