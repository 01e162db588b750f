#include "tests/tdsserver/CTdsLog.h"

#include <cerrno>
#include <cstring>

CTdsLog::~CTdsLog()
{
    if (m_pFile != nullptr) {
        std::fclose(m_pFile);
    }
}

bool CTdsLog::Open(const std::string& path, std::string& error)
{
    m_pFile = std::fopen(path.c_str(), "we");
    if (m_pFile == nullptr) {
        error = "cannot write the log " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void CTdsLog::Line(std::string_view text)
{
    std::lock_guard lock(m_mutex);
    if (m_pFile == nullptr) {
        return;
    }
    std::string line(text);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), m_pFile);
    std::fflush(m_pFile);
}
