#pragma once
// The window-free steps of start-up: the automation options of the command line, the
// one-time components notice and the help file path.

#include "platform/CProfile.h"

#include <filesystem>
#include <string>
#include <vector>

// Section and entry of the components-notice setting.
inline constexpr std::u16string_view kSettingsSection = u"Settings";
inline constexpr std::u16string_view kComponentsNoticeEntry = u"SQLServer2008Check";

// True when one argument is "Embedding" or "Automation" (any case) right after a '/' or '-'.
// args are the arguments after the program name.
bool HasAutomationOption(const std::vector<std::string>& args);
bool HasAutomationOption(int argc, const char* const* argv);

// Whether the components notice is due: when "Settings"/"SQLServer2008Check" reads 0 it is
// set to 1 first (in one locked step, so two copies starting together show it once) and the
// answer is true. Writing before showing makes the notice appear at most once, even when the
// program ends while it is up.
bool ClaimComponentsNotice(CProfile& profile);

// The help file: the executable's full path with its extension replaced by ".HLP", its last
// four characters dropped and ".CHM" appended: "/opt/q/Other.exe" -> "/opt/q/Other.CHM",
// "/usr/bin/Quarrow" -> "/usr/bin/Quarrow.CHM". Only the file name's own extension counts.
std::filesystem::path HelpPathFromExecutable(const std::filesystem::path& executable);
// The running executable (/proc/self/exe); empty when it cannot be read.
std::filesystem::path ExecutablePath();
