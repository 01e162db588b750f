#pragma once
// The per-user key store of one settings root: the registry's place on this system. The keys
// live in one ".reg" text file, "<folder>/<root>.reg" (folder 0700, file 0600: it holds
// passwords). Several copies of the program may use the file at once:
// - a read looks at the file's status (size, times, inode) and only when that changed
//   re-reads it under a shared lock of "<root>.reg.lock" (only ever locked, never written);
// - a write takes an exclusive lock, re-reads, changes, writes "<root>.reg.tmp", flushes it
//   and renames it over the file, so a crash at any point leaves a whole file behind (when
//   the file is a symbolic link, the link's target is replaced, in the target's folder);
// - a batch (CBatch) applies many writes under one lock and one rewrite.
// A damaged file (bad syntax, bad encoding, cut off) is never overwritten. Every key section
// that reads cleanly is used. A reader leaves the file where it is; a writer, holding the
// lock and having read it again, moves it aside as "<root>.reg.damaged-<timestamp>" (kept
// byte for byte) and writes what read cleanly. Either says so in one
// line on standard error. A file that cannot be read (not a regular file, too large, no
// permission) is never written over.
//
// One object may be used from several threads. Write failures return false, keep their
// text for GetLastError() and are written to standard error (settings writes are not checked
// by their callers, so they must not fail silently).

#include "platform/CKeyTree.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CKeyStore
{
public:
    // The largest settings file read; anything larger is "cannot read".
    static constexpr size_t kMaxFileBytes = CKeyTree::kMaxFileBytes;
    // How long an operation waits for a lock another copy holds (it may be stopped).
    static constexpr std::chrono::milliseconds kLockWait{10'000};

    // Nothing is read or created until the first operation.
    CKeyStore(std::filesystem::path folder, std::u16string strRoot);
    ~CKeyStore();
    CKeyStore(const CKeyStore&) = delete;
    CKeyStore& operator=(const CKeyStore&) = delete;

    // $XDG_CONFIG_HOME/Korvane@Work, or ~/.config/Korvane@Work.
    static std::filesystem::path DefaultFolder();

    const std::filesystem::path& GetFolder() const { return m_folder; }
    const std::filesystem::path& GetFilePath() const { return m_file; }
    const std::u16string& GetRoot() const { return m_strRoot; }

    // Reads. Key paths are relative to the root with '\' between levels; "" is the root.
    std::optional<SRegValue> GetValue(std::u16string_view keyPath, std::u16string_view name);
    bool KeyExists(std::u16string_view keyPath);
    // Subkey names in case-insensitive order; empty when the key is missing.
    std::vector<std::u16string> GetSubkeyNames(std::u16string_view keyPath);
    std::vector<SRegValue> GetValues(std::u16string_view keyPath);
    // Calls fn with the whole tree as it is now, for reads that must agree with each other.
    // fn must not call back into the store.
    template <class F>
    void Read(F&& fn)
    {
        std::lock_guard lock(m_mutex);
        Refresh();
        fn(static_cast<const CKeyTree&>(m_tree));
    }

    // Writes: each is one locked read-change-replace of the file, or a change of the pending
    // tree inside a batch.
    bool CreateKey(std::u16string_view keyPath);
    bool SetString(std::u16string_view keyPath, std::u16string_view name, std::u16string_view text);
    bool SetDword(std::u16string_view keyPath, std::u16string_view name, uint32_t value);
    bool DeleteValue(std::u16string_view keyPath, std::u16string_view name);
    // Removes the key with everything below it; true also when there was no such key.
    bool DeleteTree(std::u16string_view keyPath);

    // What is wrong with the settings file as last read ("" when it read cleanly or there
    // is none): a reader should then not write defaults into it.
    std::string GetFileProblem();

    // The copy a damaged file was kept as, once: empty when none was set aside since the
    // last call. The window names it to the user.
    std::filesystem::path TakeSetAsideCopy();

    // Shortens or lengthens the lock wait of this object (tests).
    void SetLockWait(std::chrono::milliseconds wait);

    // The text of the last failure ("" after a success).
    std::string GetLastError() const;

    // Many writes under one exclusive lock and one rewrite. While the scope lives, this
    // thread's reads and writes of the store go to the pending tree (other threads wait);
    // Commit() (or the destructor) writes the file once. Scopes may nest; the outermost one
    // writes.
    class CBatch
    {
    public:
        explicit CBatch(CKeyStore& store);
        ~CBatch();
        CBatch(CBatch&& other) noexcept;
        CBatch(const CBatch&) = delete;
        CBatch& operator=(const CBatch&) = delete;
        CBatch& operator=(CBatch&&) = delete;
        // Ends the scope; false when the file could not be written (or the batch could not
        // start), with the reason in GetLastError().
        bool Commit();

    private:
        CKeyStore* m_pStore;
        bool m_bStarted = false;
    };

private:
    struct SFileId
    {
        bool m_bExists = false;
        uint64_t m_nDev = 0;
        uint64_t m_nIno = 0;
        int64_t m_nSize = 0;
        int64_t m_nMtimeNs = 0;
        int64_t m_nCtimeNs = 0;
        bool operator==(const SFileId&) const = default;
    };

    // fn changes the tree and answers whether it changed anything.
    bool Modify(const std::function<bool(CKeyTree&)>& fn);
    void Refresh();
    bool OpenLock(bool bCreate, bool bReport = true);
    bool EnsureFolder(bool bReport);
    void TightenModes();
    SFileId CurrentId();
    int LoadFile(const SFileId& id, std::string& strReason);
    bool LoadExclusive();
    bool LockExclusive();
    bool MoveAside(const std::string& strReason);
    bool CheckNames(std::u16string_view keyPath, std::u16string_view valueName);
    bool WriteFile();
    bool BeginBatch();
    bool EndBatch();
    void Fail(std::string strError);

    std::filesystem::path m_folder;
    std::filesystem::path m_file;
    std::filesystem::path m_lockFile;
    std::filesystem::path m_tempFile;
    std::u16string m_strRoot;

    mutable std::recursive_mutex m_mutex;
    std::chrono::milliseconds m_lockWait = kLockWait;
    int m_nLockFd = -1;
    bool m_bLockMade = false; // opened by a writer, which creates it when missing
    CKeyTree m_tree;
    std::optional<SFileId> m_cachedId; // what m_tree was read from
    int m_nCachedProblem = 0;          // m_cachedId is 1: damaged, 2: unreadable
    std::string m_strDamage;           // what is wrong with it
    bool m_bModesChecked = false;
    bool m_bMustWrite = false; // a damaged file was set aside: write what read cleanly
    std::filesystem::path m_setAsideCopy;
    int m_nBatchDepth = 0;
    bool m_bBatchDirty = false;
    bool m_bBatchFailed = false;
    std::string m_strLastError;
    std::string m_strLastReported;
};
