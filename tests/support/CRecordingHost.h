#pragma once
// A search host that records what the run shows: status texts, rows, databases that could
// not be searched and scripts that could not be read.

#include "search/SearchRun.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class CRecordingHost : public ISearchHost
{
public:
    struct SRow
    {
        std::u16string text;
        std::shared_ptr<IDatabaseObject> object;
    };

    bool IsWindowAlive() override { return m_bAlive.load(); }
    bool IsStopRequested() override { return m_bStop.load(); }
    const std::atomic<bool>* StopFlag() override { return &m_bStop; }
    std::atomic<std::int64_t>* ExaminedCounter() override { return &m_nExamined; }
    void SetStatusText(const std::u16string& text) override
    {
        std::lock_guard lock(m_mutex);
        m_status.push_back(text);
    }
    void AddRow(const std::u16string& rowText, std::shared_ptr<IDatabaseObject> object) override
    {
        std::lock_guard lock(m_mutex);
        m_rows.push_back({rowText, std::move(object)});
        if (m_onRow) {
            m_onRow(m_rows.size());
        }
    }

    void ReportDatabaseError(const std::u16string& server, const std::u16string& database,
                             const std::u16string& reason) override
    {
        std::lock_guard lock(m_mutex);
        m_databaseErrors.push_back(server + u".." + database + u": " + reason);
    }
    void ReportUnreadScript(const std::u16string& server, const std::u16string& database,
                            const std::u16string& type, const std::u16string& object,
                            const std::u16string& reason) override
    {
        std::lock_guard lock(m_mutex);
        m_unreadScripts.push_back(server + u".." + database + u": " + type + u" " + object + u": " +
                                  reason);
    }

    std::vector<std::u16string> RowTexts()
    {
        std::lock_guard lock(m_mutex);
        std::vector<std::u16string> texts;
        for (const auto& row : m_rows) {
            texts.push_back(row.text);
        }
        return texts;
    }

    std::atomic<bool> m_bAlive{true};
    std::atomic<bool> m_bStop{false};
    std::atomic<std::int64_t> m_nExamined{0};
    std::mutex m_mutex;
    std::vector<std::u16string> m_status;
    std::vector<SRow> m_rows;
    std::vector<std::u16string> m_databaseErrors;
    std::vector<std::u16string> m_unreadScripts;
    std::function<void(std::size_t)> m_onRow;
};
