#include "catalog/CFreeTdsConfig.h"

#include "platform/Utf.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using quarrow::FromUtf8;

struct SConfigState
{
    std::mutex m_mutex;
    std::map<std::string, std::string> m_sections;
    std::string m_strPath;

    ~SConfigState()
    {
        if (!m_strPath.empty()) {
            ::unlink(m_strPath.c_str());
        }
    }
};

SConfigState& State()
{
    static SConfigState state;
    return state;
}

std::u16string SystemError(const std::string& what)
{
    return FromUtf8(what + ": " + std::strerror(errno));
}

// A folder only this user can enter: made 0700, or found as a real folder of this user's
// that nobody else may write to.
bool PrivateFolder(const std::string& folder, std::u16string& reason)
{
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        reason = SystemError("cannot create " + folder);
        return false;
    }
    struct stat info
    {
    };
    if (::lstat(folder.c_str(), &info) != 0) {
        reason = SystemError("cannot read " + folder);
        return false;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid() || (info.st_mode & 077) != 0) {
        reason = FromUtf8(folder + " is not a private folder of this user's; remove it");
        return false;
    }
    return true;
}

std::string ConfigFolder()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
        return std::string(runtime) + "/quarrow-freetds";
    }
    const char* temp = std::getenv("TMPDIR");
    std::string base = temp && *temp == '/' ? temp : "/tmp";
    return base + "/quarrow-freetds-" + std::to_string(::getuid());
}

bool WriteWhole(const std::string& path, const std::string& text, std::u16string& reason)
{
    const std::string temporary = path + ".new";
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        reason = SystemError("cannot write " + temporary);
        return false;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            reason = SystemError("cannot write " + temporary);
            ::close(fd);
            ::unlink(temporary.c_str());
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        reason = SystemError("cannot write " + path);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

bool CFreeTdsConfig::Publish(const std::string& name, const std::string& body,
                             std::u16string& reason)
{
    SConfigState& state = State();
    std::lock_guard lock(state.m_mutex);
    auto found = state.m_sections.find(name);
    // Written again when it went (a temporary folder cleaned meanwhile).
    const bool bKnown = found != state.m_sections.end() && found->second == body &&
                        ::access(state.m_strPath.c_str(), R_OK) == 0;
    if (!bKnown) {
        const std::string folder = ConfigFolder();
        if (!PrivateFolder(folder, reason)) {
            reason = u"Quarrow's freetds.conf for the certificate check cannot be kept: " + reason;
            return false;
        }
        const std::string path = folder + "/freetds-" + std::to_string(::getpid()) + ".conf";
        std::map<std::string, std::string> sections = state.m_sections;
        sections[name] = body;
        std::string text = "# Written by Quarrow for the connections that check the server's "
                           "certificate; removed when it ends.\n";
        for (const auto& [section, lines] : sections) {
            text += "\n[" + section + "]\n" + lines;
        }
        if (!WriteWhole(path, text, reason)) {
            reason = u"Quarrow's freetds.conf for the certificate check cannot be kept: " + reason;
            return false;
        }
        state.m_sections = std::move(sections);
        state.m_strPath = path;
    }
    // Set once, on the thread that connects, before FreeTDS is asked for the section.
    const char* current = std::getenv("FREETDSCONF");
    if (current == nullptr || state.m_strPath != current) {
        ::setenv("FREETDSCONF", state.m_strPath.c_str(), 1);
    }
    return true;
}

std::string CFreeTdsConfig::GetPath()
{
    SConfigState& state = State();
    std::lock_guard lock(state.m_mutex);
    return state.m_strPath;
}
