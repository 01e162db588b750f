#pragma once
// The --log file: one line per batch answered, login, USE and ATTENTION, written whole and
// flushed at once so a test can count round trips while the server runs. Shared by every
// connection.

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

class CTdsLog
{
public:
    CTdsLog() = default;
    ~CTdsLog();
    CTdsLog(const CTdsLog&) = delete;
    CTdsLog& operator=(const CTdsLog&) = delete;

    // Starts the file afresh. False with the reason when it cannot be written.
    bool Open(const std::string& path, std::string& error);
    // One line; nothing when no file was opened.
    void Line(std::string_view text);

private:
    std::mutex m_mutex;
    std::FILE* m_pFile = nullptr;
};
