#include "platform/CKeyStore.h"

#include "platform/SystemError.h"
#include "platform/Utf.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

constexpr const char* kCompanyFolder = "Korvane@Work";
// How long a writer waits before reading a damaged file again: an editor saving in place
// may be between its truncate and its write.
constexpr std::chrono::milliseconds kSettleTime{100};

std::string ErrnoText(int error)
{
    return SystemErrorTextUtf8(error);
}

bool LockFd(int fd, int operation)
{
    while (flock(fd, operation) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

// Locks within wait: a copy stopped while it holds the lock must not block every other
// copy forever. False with errno EWOULDBLOCK when the wait ran out.
bool LockFdWithin(int fd, int operation, std::chrono::milliseconds wait)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    auto pause = std::chrono::milliseconds(1);
    while (!LockFd(fd, operation | LOCK_NB)) {
        if (errno != EWOULDBLOCK)
            return false;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            errno = EWOULDBLOCK;
            return false;
        }
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
    return true;
}

void UnlockFd(int fd)
{
    if (fd >= 0)
        LockFd(fd, LOCK_UN);
}

// Reads a whole settings file: only a regular file of at most nMaxBytes, opened without
// waiting (a FIFO in its place must not hang the program). False with strReason set when it
// cannot be read; errno is ENOENT when there is no such file.
bool ReadWholeFile(const std::filesystem::path& path, size_t nMaxBytes, std::string& text,
                   struct stat& st, std::string& strReason)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        strReason = ErrnoText(error);
        errno = error;
        return false;
    }
    auto fail = [&](std::string why, int error) {
        close(fd);
        strReason = std::move(why);
        errno = error;
        return false;
    };
    if (fstat(fd, &st) != 0)
        return fail(ErrnoText(errno), errno);
    if (!S_ISREG(st.st_mode))
        return fail("it is not a regular file", EINVAL);
    if (static_cast<uint64_t>(st.st_size) > nMaxBytes) {
        return fail("it is larger than " + std::to_string(nMaxBytes >> 20) +
                        " MB, far more than settings take",
                    EFBIG);
    }
    text.clear();
    text.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    while (true) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(ErrnoText(errno), errno);
        }
        if (n == 0)
            break;
        // The file may grow while it is read.
        if (text.size() + static_cast<size_t>(n) > nMaxBytes) {
            return fail("it is larger than " + std::to_string(nMaxBytes >> 20) +
                            " MB, far more than settings take",
                        EFBIG);
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

// The file a write replaces: the settings file itself or, when it is a symbolic link (a
// dotfile manager's), the file the link leads to, so the link stays a link.
std::filesystem::path WriteTarget(const std::filesystem::path& file)
{
    std::filesystem::path path = file;
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code error;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, error)) || error)
            return path;
        const std::filesystem::path link = std::filesystem::read_symlink(path, error);
        if (error)
            return path;
        path = link.is_absolute() ? link : path.parent_path() / link;
    }
    return path;
}

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

int64_t Nanoseconds(const struct timespec& ts)
{
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

std::string ProgramName()
{
    return program_invocation_short_name ? program_invocation_short_name : "quarrow";
}

// A file name made of the root; '/' cannot stand in one.
std::string FileStem(std::u16string_view root)
{
    std::string stem = quarrow::ToUtf8(root);
    for (char& c : stem) {
        if (c == '/' || c == '\0')
            c = '_';
    }
    return stem.empty() ? std::string("_") : stem;
}

} // namespace

CKeyStore::CKeyStore(std::filesystem::path folder, std::u16string strRoot)
    : m_folder(std::move(folder)), m_strRoot(std::move(strRoot)), m_tree(m_strRoot)
{
    const std::string stem = FileStem(m_strRoot);
    m_file = m_folder / (stem + ".reg");
    m_lockFile = m_folder / (stem + ".reg.lock");
    m_tempFile = m_folder / (stem + ".reg.tmp");
}

CKeyStore::~CKeyStore()
{
    if (m_nLockFd >= 0)
        close(m_nLockFd);
}

std::filesystem::path CKeyStore::DefaultFolder()
{
    std::filesystem::path base;
    const char* xdg = getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = getenv("HOME");
        if (!home || !*home) {
            const struct passwd* pw = getpwuid(getuid());
            home = pw ? pw->pw_dir : "/tmp";
        }
        base = std::filesystem::path(home) / ".config";
    }
    return base / kCompanyFolder;
}

void CKeyStore::SetLockWait(std::chrono::milliseconds wait)
{
    std::lock_guard lock(m_mutex);
    m_lockWait = wait;
}

std::string CKeyStore::GetLastError() const
{
    std::lock_guard lock(m_mutex);
    return m_strLastError;
}

void CKeyStore::Fail(std::string strError)
{
    m_strLastError = std::move(strError);
    // Callers of settings writes do not check them; say it once where someone can see it.
    if (m_strLastError != m_strLastReported) {
        fprintf(stderr, "%s: %s\n", ProgramName().c_str(), m_strLastError.c_str());
        m_strLastReported = m_strLastError;
    }
}

bool CKeyStore::EnsureFolder(bool bReport)
{
    // Every missing level is made private: the last one holds passwords, and the XDG base
    // folder should be private too.
    std::filesystem::path partial;
    for (const auto& part : m_folder) {
        partial /= part;
        if (partial == partial.root_path())
            continue;
        if (mkdir(partial.c_str(), 0700) == 0) {
            chmod(partial.c_str(), 0700);
        } else if (errno != EEXIST) {
            if (bReport)
                Fail("cannot create the settings folder " + partial.string() + ": " +
                     ErrnoText(errno));
            return false;
        }
    }
    struct stat st
    {
    };
    if (stat(m_folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (bReport)
            Fail("the settings folder " + m_folder.string() + " is not a folder");
        return false;
    }
    return true;
}

// The settings hold passwords: a folder or file others may read is made private before the
// first write, and the user is told once.
void CKeyStore::TightenModes()
{
    if (m_bModesChecked)
        return;
    m_bModesChecked = true;
    auto tighten = [&](const std::filesystem::path& path, const char* what, mode_t wanted) {
        struct stat st
        {
        };
        if (stat(path.c_str(), &st) != 0 || (st.st_mode & 07777) == wanted ||
            (st.st_mode & 077) == 0 || st.st_uid != geteuid())
            return;
        if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode))
            return;
        if (chmod(path.c_str(), wanted) != 0)
            return;
        char modes[64];
        snprintf(modes, sizeof modes, "%04o to %04o", static_cast<unsigned>(st.st_mode & 07777),
                 static_cast<unsigned>(wanted));
        fprintf(stderr, "%s: the settings %s %s could be read by others; its mode went from %s\n",
                ProgramName().c_str(), what, path.c_str(), modes);
    };
    tighten(m_folder, "folder", 0700);
    tighten(m_file, "file", 0600);
}

bool CKeyStore::OpenLock(bool bCreate, bool bReport)
{
    if (m_nLockFd >= 0 && (m_bLockMade || !bCreate))
        return true;
    if (bCreate && !EnsureFolder(bReport))
        return false;
    if (bCreate)
        TightenModes();
    // Only ever locked: opened for reading, never written, and refused when it is anything
    // but a file of its own (a hard link planted there, a FIFO, a device).
    const int fd = open(
        m_lockFile.c_str(),
        O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | (bCreate ? O_CREAT : 0), 0600);
    if (fd < 0) {
        if (bCreate && bReport)
            Fail("cannot open the lock file " + m_lockFile.string() + ": " + ErrnoText(errno));
        return false;
    }
    struct stat st
    {
    };
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
        close(fd);
        if (bReport) {
            Fail("the lock file " + m_lockFile.string() +
                 " is not a regular file of one link; remove it to use the settings");
        }
        return false;
    }
    if (m_nLockFd >= 0)
        close(m_nLockFd);
    m_nLockFd = fd;
    m_bLockMade = bCreate;
    return true;
}

CKeyStore::SFileId CKeyStore::CurrentId()
{
    SFileId id;
    struct stat st
    {
    };
    if (stat(m_file.c_str(), &st) == 0) {
        id.m_bExists = true;
        id.m_nDev = st.st_dev;
        id.m_nIno = st.st_ino;
        id.m_nSize = st.st_size;
        id.m_nMtimeNs = Nanoseconds(st.st_mtim);
        id.m_nCtimeNs = Nanoseconds(st.st_ctim);
    }
    return id;
}

// Reads the file into the tree. Returns 0 when it was read, 1 when it is damaged and 2 when
// it cannot be read at all; strReason says why.
int CKeyStore::LoadFile(const SFileId& id, std::string& strReason)
{
    m_nCachedProblem = 0;
    if (!id.m_bExists) {
        m_tree.Clear();
        m_cachedId = id;
        return 0;
    }
    std::string text;
    struct stat st
    {
    };
    std::string why;
    if (!ReadWholeFile(m_file, kMaxFileBytes, text, st, why)) {
        const int error = errno;
        if (error == ENOENT) {
            // Replaced between the look and the read (a reader without the lock).
            m_tree.Clear();
            m_cachedId.reset();
            return 0;
        }
        strReason = "cannot read the settings file " + m_file.string() + ": " + why;
        return 2;
    }
    SFileId readId = id;
    readId.m_nDev = st.st_dev;
    readId.m_nIno = st.st_ino;
    readId.m_nSize = st.st_size;
    readId.m_nMtimeNs = Nanoseconds(st.st_mtim);
    readId.m_nCtimeNs = Nanoseconds(st.st_ctim);
    size_t damaged = 0;
    if (!m_tree.ParseSalvaging(text, strReason, damaged)) {
        m_tree.Clear();
        return 1;
    }
    if (damaged > 0) {
        // The sections that read cleanly are in the tree; the rest is described.
        strReason += "; " + std::to_string(damaged) +
                     (damaged == 1 ? " section was" : " sections were") + " left out";
        return 1;
    }
    m_cachedId = readId;
    return 0;
}

bool CKeyStore::MoveAside(const std::string& strReason)
{
    char stamp[32] = "unknown";
    const time_t now = time(nullptr);
    struct tm local
    {
    };
    if (localtime_r(&now, &local))
        strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = m_file.string() + ".damaged-" + stamp;
    std::string target = base;
    int error = 0;
    for (int attempt = 2; attempt < 1000; ++attempt) {
        if (renameat2(AT_FDCWD, m_file.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
            error = 0;
            break;
        }
        error = errno;
        if (error == EINVAL || error == ENOSYS) {
            // A file system without the no-replace rename: look first.
            struct stat st
            {
            };
            if (lstat(target.c_str(), &st) != 0) {
                error = rename(m_file.c_str(), target.c_str()) == 0 ? 0 : errno;
                if (error == 0)
                    break;
            } else {
                error = EEXIST;
            }
        }
        if (error != EEXIST)
            break;
        target = base + "-" + std::to_string(attempt);
    }
    if (error != 0) {
        Fail("the settings file " + m_file.string() + " is damaged (" + strReason +
             ") and could not be moved aside (" + ErrnoText(error) +
             "); it is left as it is and no settings are written to it");
        return false;
    }
    m_strLastError = "the settings file " + m_file.string() + " was damaged (" + strReason +
                     "); it was kept as " + target +
                     " and the settings that read cleanly were written anew";
    m_setAsideCopy = target;
    fprintf(stderr, "%s: %s\n", ProgramName().c_str(), m_strLastError.c_str());
    m_strLastReported = m_strLastError;
    return true;
}

// With the exclusive lock held: brings the tree up to the file, moving a damaged file aside.
// False when the file must not be replaced (unreadable, or damaged and not movable).
bool CKeyStore::LoadExclusive()
{
    // What a reader saw without the lock is not trusted: a file found damaged is read again.
    SFileId id = CurrentId();
    if (m_cachedId && *m_cachedId == id && m_nCachedProblem == 0)
        return true;
    std::string reason;
    int result = LoadFile(id, reason);
    if (result == 1) {
        // An editor saving in place (truncate, then write) may be half-way: give it a moment
        // and look again before judging the file.
        std::this_thread::sleep_for(kSettleTime);
        id = CurrentId();
        reason.clear();
        result = LoadFile(id, reason);
    }
    if (result == 0)
        return true;
    m_cachedId = id;
    m_nCachedProblem = result;
    m_strDamage = reason;
    if (result == 2) {
        m_tree.Clear();
        Fail(m_strDamage + "; no settings are written to it");
        return false;
    }
    // The original is kept aside byte for byte; what read cleanly is written back at once,
    // whether or not the change at hand changes anything.
    if (!MoveAside(m_strDamage)) {
        m_tree.Clear();
        return false;
    }
    m_cachedId = CurrentId();
    m_nCachedProblem = 0;
    m_bMustWrite = true;
    return true;
}

std::filesystem::path CKeyStore::TakeSetAsideCopy()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_setAsideCopy, {});
}

std::string CKeyStore::GetFileProblem()
{
    std::lock_guard lock(m_mutex);
    Refresh();
    return m_nCachedProblem != 0 ? m_strDamage : std::string();
}

void CKeyStore::Refresh()
{
    if (m_nBatchDepth > 0 && !m_bBatchFailed)
        return;
    OpenLock(false);
    // An unchanged file needs no lock: a writer renames a whole new file into place, and
    // gives it a later modification time than the file it replaces, so a look during a
    // write sees either the old file, still whole, or a change.
    if (m_cachedId && CurrentId() == *m_cachedId)
        return;
    // A reader that cannot get the lock in time reads without it: the file is only ever
    // replaced whole.
    const bool haveLock = m_nLockFd >= 0 && LockFdWithin(m_nLockFd, LOCK_SH, m_lockWait);
    const SFileId id = CurrentId();
    if (m_cachedId && *m_cachedId == id) {
        if (haveLock)
            UnlockFd(m_nLockFd);
        return;
    }
    std::string reason;
    const int result = LoadFile(id, reason);
    if (haveLock)
        UnlockFd(m_nLockFd);
    if (result == 0)
        return;
    m_cachedId = id;
    m_nCachedProblem = result;
    m_strDamage = reason;
    if (result == 2) {
        m_tree.Clear();
        Fail(reason);
        return;
    }
    // Damaged: a reader leaves it where it is and reads what it can. Only a writer, holding
    // the lock and having read it again, may set it aside.
    Fail("the settings file " + m_file.string() + " is damaged (" + reason +
         "); it is left as it is and only what reads cleanly is used");
}

bool CKeyStore::WriteFile()
{
    std::string text;
    if (!m_tree.Serialize(text, kMaxFileBytes)) {
        Fail("cannot write the settings file " + m_file.string() + ": it would be larger than " +
             std::to_string(kMaxFileBytes >> 20) + " MB; it is left as it is");
        return false;
    }
    // The new file is made next to the one it replaces, so the rename stays in one folder.
    const std::filesystem::path target = WriteTarget(m_file);
    const std::filesystem::path tempFile =
        target == m_file ? m_tempFile : std::filesystem::path(target.string() + ".tmp");
    unlink(tempFile.c_str());
    const int fd =
        open(tempFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        Fail("cannot write the settings file " + tempFile.string() + ": " + ErrnoText(errno));
        return false;
    }
    // Every write gives the file a later time than the one it replaces, even within one
    // tick of the file system's clock: that is how readers see the change without a lock.
    struct timespec times[2] = {{0, UTIME_OMIT}, {}};
    clock_gettime(CLOCK_REALTIME, &times[1]);
    if (m_cachedId && m_cachedId->m_bExists && Nanoseconds(times[1]) <= m_cachedId->m_nMtimeNs) {
        const int64_t later = m_cachedId->m_nMtimeNs + 1;
        times[1].tv_sec = static_cast<time_t>(later / 1000000000);
        times[1].tv_nsec = static_cast<long>(later % 1000000000);
    }
    bool ok =
        fchmod(fd, 0600) == 0 && WriteAll(fd, text) && futimens(fd, times) == 0 && fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && rename(tempFile.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(tempFile.c_str());
        Fail("cannot write the settings file " + m_file.string() + ": " + ErrnoText(error));
        return false;
    }
    // The rename itself must reach the disk before anyone relies on it.
    const int dirFd = open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    m_cachedId = CurrentId();
    m_nCachedProblem = 0;
    m_bMustWrite = false;
    m_strLastError.clear();
    m_strLastReported.clear();
    return true;
}

bool CKeyStore::LockExclusive()
{
    if (LockFdWithin(m_nLockFd, LOCK_EX, m_lockWait))
        return true;
    if (errno == EWOULDBLOCK) {
        Fail("the settings are locked by another copy of the program (" + m_lockFile.string() +
             ") for more than " +
             (m_lockWait.count() % 1000 == 0 ? std::to_string(m_lockWait.count() / 1000) + " s"
                                             : std::to_string(m_lockWait.count()) + " ms") +
             "; this change is not saved");
    } else {
        Fail("cannot lock " + m_lockFile.string() + ": " + ErrnoText(errno));
    }
    return false;
}

bool CKeyStore::Modify(const std::function<bool(CKeyTree&)>& fn)
{
    std::lock_guard lock(m_mutex);
    if (m_nBatchDepth > 0) {
        if (m_bBatchFailed)
            return false;
        m_bBatchDirty = fn(m_tree) || m_bBatchDirty;
        return true;
    }
    if (!OpenLock(true))
        return false;
    if (!LockExclusive())
        return false;
    bool ok = LoadExclusive();
    if (ok && (fn(m_tree) || m_bMustWrite)) {
        ok = WriteFile();
        if (!ok)
            m_cachedId.reset(); // the tree is ahead of the file now
    }
    UnlockFd(m_nLockFd);
    return ok;
}

bool CKeyStore::BeginBatch()
{
    m_mutex.lock();
    if (m_nBatchDepth++ > 0)
        return !m_bBatchFailed;
    m_bBatchDirty = false;
    m_bBatchFailed = true;
    if (!OpenLock(true))
        return false;
    if (!LockExclusive())
        return false;
    if (!LoadExclusive()) {
        UnlockFd(m_nLockFd);
        return false;
    }
    m_bBatchDirty = m_bMustWrite;
    m_bBatchFailed = false;
    return true;
}

bool CKeyStore::EndBatch()
{
    bool ok = !m_bBatchFailed;
    if (--m_nBatchDepth == 0) {
        if (!m_bBatchFailed) {
            if (m_bBatchDirty) {
                ok = WriteFile();
                if (!ok)
                    m_cachedId.reset();
            }
            UnlockFd(m_nLockFd);
        }
        m_bBatchDirty = false;
        m_bBatchFailed = false;
    }
    m_mutex.unlock();
    return ok;
}

std::optional<SRegValue> CKeyStore::GetValue(std::u16string_view keyPath, std::u16string_view name)
{
    std::lock_guard lock(m_mutex);
    Refresh();
    const CKeyTree::SNode* node = m_tree.Find(keyPath);
    if (!node)
        return std::nullopt;
    const SRegValue* value = node->FindValue(name);
    if (!value)
        return std::nullopt;
    return *value;
}

bool CKeyStore::KeyExists(std::u16string_view keyPath)
{
    std::lock_guard lock(m_mutex);
    Refresh();
    return m_tree.Find(keyPath) != nullptr;
}

std::vector<std::u16string> CKeyStore::GetSubkeyNames(std::u16string_view keyPath)
{
    std::lock_guard lock(m_mutex);
    Refresh();
    std::vector<std::u16string> names;
    if (const CKeyTree::SNode* node = m_tree.Find(keyPath)) {
        names.reserve(node->m_children.size());
        for (const auto& [folded, child] : node->m_children)
            names.push_back(child->m_strName);
    }
    return names;
}

std::vector<SRegValue> CKeyStore::GetValues(std::u16string_view keyPath)
{
    std::lock_guard lock(m_mutex);
    Refresh();
    const CKeyTree::SNode* node = m_tree.Find(keyPath);
    return node ? node->m_values : std::vector<SRegValue>();
}

bool CKeyStore::CheckNames(std::u16string_view keyPath, std::u16string_view valueName)
{
    if (CKeyTree::IsValidPath(keyPath) && CKeyTree::IsValidValueName(valueName))
        return true;
    std::lock_guard lock(m_mutex);
    Fail("cannot store the setting \"" + quarrow::ToUtf8(keyPath) + "\" / \"" +
         quarrow::ToUtf8(valueName) +
         "\": a key name is empty, longer than 255 characters or holds a control character");
    return false;
}

bool CKeyStore::CreateKey(std::u16string_view keyPath)
{
    if (!CheckNames(keyPath, u""))
        return false;
    return Modify([&](CKeyTree& tree) {
        if (tree.Find(keyPath))
            return false;
        tree.Create(keyPath);
        return true;
    });
}

bool CKeyStore::SetString(std::u16string_view keyPath, std::u16string_view name,
                          std::u16string_view text)
{
    if (!CheckNames(keyPath, name))
        return false;
    return Modify([&](CKeyTree& tree) {
        if (const CKeyTree::SNode* node = tree.Find(keyPath)) {
            const SRegValue* value = node->FindValue(name);
            if (value && value->m_type == ERegType::String && value->m_strText == text)
                return false;
        }
        SRegValue value;
        value.m_strName = name;
        value.m_type = ERegType::String;
        value.m_strText = text;
        return tree.SetValue(keyPath, std::move(value));
    });
}

bool CKeyStore::SetDword(std::u16string_view keyPath, std::u16string_view name, uint32_t number)
{
    if (!CheckNames(keyPath, name))
        return false;
    return Modify([&](CKeyTree& tree) {
        if (const CKeyTree::SNode* node = tree.Find(keyPath)) {
            const SRegValue* value = node->FindValue(name);
            if (value && value->m_type == ERegType::Dword && value->m_nDword == number)
                return false;
        }
        SRegValue value;
        value.m_strName = name;
        value.m_type = ERegType::Dword;
        value.m_nDword = number;
        return tree.SetValue(keyPath, std::move(value));
    });
}

bool CKeyStore::DeleteValue(std::u16string_view keyPath, std::u16string_view name)
{
    return Modify([&](CKeyTree& tree) { return tree.DeleteValue(keyPath, name); });
}

bool CKeyStore::DeleteTree(std::u16string_view keyPath)
{
    return Modify([&](CKeyTree& tree) {
        if (keyPath.empty()) {
            const bool any = !tree.Root().m_children.empty() || !tree.Root().m_values.empty();
            tree.Clear();
            return any;
        }
        return tree.DeleteTree(keyPath);
    });
}

CKeyStore::CBatch::CBatch(CKeyStore& store) : m_pStore(&store)
{
    m_pStore->BeginBatch();
    m_bStarted = true;
}

CKeyStore::CBatch::CBatch(CBatch&& other) noexcept
    : m_pStore(other.m_pStore), m_bStarted(other.m_bStarted)
{
    other.m_bStarted = false;
}

CKeyStore::CBatch::~CBatch()
{
    Commit();
}

bool CKeyStore::CBatch::Commit()
{
    if (!m_bStarted)
        return true;
    m_bStarted = false;
    return m_pStore->EndBatch();
}
