#pragma once
// A private temporary folder for one test, removed with everything in it afterwards, and a
// way to run a check without root's privileges (permission checks are void for root).

#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

class CScratchFolder
{
public:
    CScratchFolder()
    {
        const char* tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quarrow-test-XXXXXX";
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~CScratchFolder()
    {
        std::error_code error;
        // Read-only folders left by a test must become writable again to be removed.
        for (auto it = std::filesystem::recursive_directory_iterator(
                 m_path, std::filesystem::directory_options::skip_permission_denied, error);
             !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
            if (it->is_directory(error))
                chmod(it->path().c_str(), 0700);
        }
        chmod(m_path.c_str(), 0700);
        std::filesystem::remove_all(m_path, error);
    }
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

    static std::string ReadFile(const std::filesystem::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void WriteFile(const std::filesystem::path& path, const std::string& text)
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
    }

private:
    std::filesystem::path m_path;
};

// Runs fn in a child process; when this process is root, the child first hands folder to
// the user "nobody" and becomes that user. Returns true when fn ran without a test failure.
inline bool RunUnprivileged(const std::filesystem::path& folder, const std::function<void()>& fn)
{
    fflush(stdout);
    fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0) {
            constexpr uid_t kNobody = 65534;
            for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
                lchown(entry.path().c_str(), kNobody, kNobody);
            lchown(folder.c_str(), kNobody, kNobody);
            if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)
                _exit(3);
        }
        fn();
        fflush(stdout);
        fflush(stderr);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
