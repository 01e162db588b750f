#include "platform/Startup.h"

#include <climits>
#include <unistd.h>

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

bool IsAutomationArgument(std::string_view arg)
{
    if (arg.size() < 2 || (arg.front() != '/' && arg.front() != '-'))
        return false;
    arg.remove_prefix(1);
    return EqualsNoCase(arg, "Embedding") || EqualsNoCase(arg, "Automation");
}

} // namespace

bool HasAutomationOption(const std::vector<std::string>& args)
{
    for (const std::string& arg : args) {
        if (IsAutomationArgument(arg))
            return true;
    }
    return false;
}

bool HasAutomationOption(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        if (argv[i] && IsAutomationArgument(argv[i]))
            return true;
    }
    return false;
}

bool ClaimComponentsNotice(CProfile& profile)
{
    CKeyStore::CBatch batch = profile.BeginBatch();
    if (profile.GetProfileInt(kSettingsSection, kComponentsNoticeEntry, 0) != 0)
        return false;
    profile.WriteProfileInt(kSettingsSection, kComponentsNoticeEntry, 1);
    return true;
}

std::filesystem::path HelpPathFromExecutable(const std::filesystem::path& executable)
{
    std::string path = executable.string();
    const std::string name = executable.filename().string();
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        path.resize(path.size() - (name.size() - dot));
    path += ".HLP";
    path.resize(path.size() - 4);
    path += ".CHM";
    return path;
}

std::filesystem::path ExecutablePath()
{
    char buffer[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0)
        return {};
    std::string path(buffer, static_cast<size_t>(n));
    // A program replaced while it runs is still itself.
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.size() > kDeleted.size() && path.ends_with(kDeleted))
        path.resize(path.size() - kDeleted.size());
    return path;
}
