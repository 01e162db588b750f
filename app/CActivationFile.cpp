#include "app/CActivationFile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";

bool IsControl(unsigned char ch)
{
    return ch < 0x20 || ch == 0x7f;
}

// Makes each missing folder of path with mode 0700.
int MakeFolders(const std::filesystem::path& path)
{
    std::filesystem::path partial;
    for (const std::filesystem::path& part : path) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return errno;
    }
    struct stat info
    {
    };
    if (::stat(path.c_str(), &info) != 0)
        return errno;
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

int WriteAll(int fd, const std::string& text)
{
    std::size_t nDone = 0;
    while (nDone < text.size()) {
        const ssize_t n = ::write(fd, text.data() + nDone, text.size() - nDone);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        nDone += static_cast<std::size_t>(n);
    }
    return 0;
}

} // namespace

std::filesystem::path CActivationFile::DefaultPath()
{
    std::filesystem::path dataHome;
    if (const char* pszData = std::getenv("XDG_DATA_HOME"); pszData != nullptr && *pszData == '/')
        dataHome = pszData;
    else if (const char* pszHome = std::getenv("HOME"); pszHome != nullptr && *pszHome == '/')
        dataHome = std::filesystem::path(pszHome) / ".local" / "share";
    else
        return {};
    return dataHome / "dbus-1" / "services" / (std::string(kServiceName) + ".service");
}

bool CActivationFile::FormatExec(const std::filesystem::path& executable, std::string& strExec)
{
    const std::string& strPath = executable.native();
    if (!executable.is_absolute())
        return false;
    bool bQuote = false;
    for (const char ch : strPath) {
        if (IsControl(static_cast<unsigned char>(ch)))
            return false;
        if (kReserved.find(ch) != std::string_view::npos)
            bQuote = true;
    }
    std::string strQuoted;
    if (bQuote) {
        strQuoted += '"';
        for (const char ch : strPath) {
            if (ch == '"' || ch == '`' || ch == '$' || ch == '\\')
                strQuoted += '\\';
            strQuoted += ch;
        }
        strQuoted += '"';
    } else {
        strQuoted = strPath;
    }
    // The file's own string escapes are undone before the quoting is read: the bus ignores a
    // file with a lone backslash before '$', '"' or '`'.
    std::string strResult;
    for (const char ch : strQuoted) {
        if (ch == '\\')
            strResult += '\\';
        strResult += ch;
    }
    strExec = strResult + " -Embedding";
    return true;
}

std::string CActivationFile::Contents(const std::filesystem::path& executable)
{
    std::string strExec;
    if (!FormatExec(executable, strExec))
        return {};
    return "[D-BUS Service]\nName=" + std::string(kServiceName) + "\nExec=" + strExec + "\n";
}

int CActivationFile::Write(const std::filesystem::path& file,
                           const std::filesystem::path& executable)
{
    const std::string strText = Contents(executable);
    if (strText.empty() || !file.has_filename())
        return EINVAL;
    const std::filesystem::path folder = file.parent_path();
    if (!folder.empty()) {
        if (const int nError = MakeFolders(folder); nError != 0)
            return nError;
    }

    std::string strTemp = (folder / ("." + file.filename().native() + ".XXXXXX")).native();
    const int fd = ::mkstemp(strTemp.data());
    if (fd < 0)
        return errno;
    int nError = WriteAll(fd, strText);
    // The bus reads the file as the same user; others may read it as they may any
    // activation file.
    if (nError == 0 && ::fchmod(fd, 0644) != 0)
        nError = errno;
    if (nError == 0 && ::fsync(fd) != 0)
        nError = errno;
    if (::close(fd) != 0 && nError == 0)
        nError = errno;
    if (nError == 0 && ::rename(strTemp.c_str(), file.c_str()) != 0)
        nError = errno;
    if (nError != 0)
        ::unlink(strTemp.c_str());
    return nError;
}
