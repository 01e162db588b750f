#include "platform/CTempFiles.h"

#include "platform/CodePage.h"
#include "platform/Utf.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::string_view kMarker = ".qrw";
constexpr std::size_t kUniqueLength = 6; // mkstemps' XXXXXX

bool IsUtf8Codeset(std::string_view codeset)
{
    return codeset == "UTF-8" || codeset == "utf8" || codeset == "ANSI_X3.4-1968" ||
           codeset == "ASCII" || codeset.empty();
}

bool WriteAll(int fd, const std::string& bytes)
{
    std::size_t nDone = 0;
    while (nDone < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + nDone, bytes.size() - nDone);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        nDone += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::string CTempFiles::TempFolder()
{
    std::string folder;
    if (const char* pszTmp = std::getenv("TMPDIR"); pszTmp != nullptr && *pszTmp != '\0')
        folder = pszTmp;
    else
        folder = "/tmp";
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

std::string CTempFiles::FilePrefix(std::u16string_view name)
{
    // Whole characters: a surrogate pair counts as one.
    std::u16string prefix;
    std::size_t nChars = 0;
    for (std::size_t i = 0; i < name.size() && nChars < kPrefixLength; ++i, ++nChars) {
        const char16_t ch = name[i];
        if (ch >= 0xD800 && ch <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
            name[i + 1] <= 0xDFFF) {
            prefix += ch;
            prefix += name[++i];
            continue;
        }
        const bool bBad = ch == u'/' || ch < 0x20 || ch == 0x7F || (ch >= 0x80 && ch < 0xA0) ||
                          (ch >= 0xD800 && ch <= 0xDFFF) || (prefix.empty() && ch == u'.');
        prefix += bBad ? u'_' : ch;
    }
    if (prefix.empty())
        return "qrw";
    return quarrow::ToUtf8(prefix);
}

bool CTempFiles::IsOwnFileName(std::string_view fileName)
{
    constexpr std::size_t kTail = kMarker.size() + kUniqueLength + 4; // ".qrwXXXXXX.sql"
    if (fileName.size() < kTail)
        return false;
    const std::string_view tail = fileName.substr(fileName.size() - kTail);
    if (tail.substr(0, kMarker.size()) != kMarker)
        return false;
    for (char ch : tail.substr(kMarker.size(), kUniqueLength)) {
        const bool bAlnum =
            (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
        if (!bAlnum)
            return false;
    }
    const std::string_view ext = tail.substr(kMarker.size() + kUniqueLength);
    return ext == ".sql" || ext == ".tmp";
}

std::string CTempFiles::EncodeForLocale(std::u16string_view text)
{
    std::string utf8 = quarrow::ToUtf8(text);
    const std::string codeset = quarrow::LocaleCharset();
    // The C locale's ASCII would lose every other character; scripts keep them as UTF-8.
    if (IsUtf8Codeset(codeset) || quarrow::IsUtf8Charset(codeset))
        return utf8;
    return quarrow::Utf8ToCharset(utf8, codeset);
}

bool CTempFiles::WriteScriptFile(std::u16string_view name, std::u16string_view script,
                                 std::string& strPath, int& nError)
{
    strPath.clear();
    nError = 0;
    const std::string folder = TempFolder();
    RemoveStaleFiles(folder, std::chrono::system_clock::now());

    const std::string bytes = EncodeForLocale(script);
    const std::string base = folder + "/" + FilePrefix(name) + std::string(kMarker);
    // The .tmp reserves the name; a .sql of the same stem left by someone else makes us try
    // another one rather than write into it.
    for (int nTry = 0; nTry < 16; ++nTry) {
        std::string reserved = base + std::string(kUniqueLength, 'X') + ".tmp";
        const int fdReserved = mkstemps(reserved.data(), 4); // O_EXCL, mode 0600
        if (fdReserved < 0) {
            nError = errno;
            return false;
        }
        ::close(fdReserved);
        std::string path = reserved.substr(0, reserved.size() - 4) + ".sql";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            nError = errno;
            ::unlink(reserved.c_str());
            if (nError == EEXIST)
                continue;
            return false;
        }
        const bool bWritten = WriteAll(fd, bytes);
        int nWriteError = bWritten ? 0 : errno;
        if (::close(fd) != 0 && nWriteError == 0)
            nWriteError = errno;
        if (nWriteError != 0) {
            nError = nWriteError;
            ::unlink(path.c_str());
            ::unlink(reserved.c_str());
            return false;
        }
        strPath = std::move(path);
        return true;
    }
    nError = EEXIST;
    return false;
}

int CTempFiles::RemoveStaleFiles(const std::string& folder,
                                 std::chrono::system_clock::time_point now, std::chrono::hours age)
{
    DIR* pDir = ::opendir(folder.c_str());
    if (pDir == nullptr)
        return 0;
    const auto limit = std::chrono::system_clock::to_time_t(now - age);
    const uid_t uid = ::getuid();
    int nRemoved = 0;
    while (const dirent* pEntry = ::readdir(pDir)) {
        const std::string_view fileName = pEntry->d_name;
        if (!IsOwnFileName(fileName))
            continue;
        struct stat info
        {
        };
        if (::fstatat(::dirfd(pDir), pEntry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        // Only our own plain files: never another user's, never what a link points at.
        if (!S_ISREG(info.st_mode) || info.st_uid != uid || info.st_mtime >= limit)
            continue;
        if (::unlinkat(::dirfd(pDir), pEntry->d_name, 0) == 0)
            ++nRemoved;
    }
    ::closedir(pDir);
    return nRemoved;
}
