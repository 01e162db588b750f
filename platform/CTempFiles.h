#pragma once
// Script files for the desktop's editor: each view writes "<prefix>.qrwXXXXXX.sql" beside an
// empty "<prefix>.qrwXXXXXX.tmp" that reserves the unique name. Both are made exclusively
// with mode 0600 in the temporary folder; the prefix comes from the object's name and never
// leads out of the folder. Files of this pattern older than a week are swept on each write.

#include <chrono>
#include <string>
#include <string_view>

class CTempFiles
{
public:
    static constexpr std::size_t kPrefixLength = 3; // characters of the object's name
    static constexpr std::chrono::hours kStaleAge{24 * 7};

    // $TMPDIR when set and not empty, else "/tmp"; without a trailing '/'.
    static std::string TempFolder();

    // The first characters of the name, each one that cannot stand in a file name ('/',
    // NUL, control characters) and a leading '.' replaced by '_'; "qrw" for an empty name.
    static std::string FilePrefix(std::u16string_view name);

    // Whether a file name follows the pattern above (only such files are ever removed).
    static bool IsOwnFileName(std::string_view fileName);

    // The text in the locale's character set (UTF-8 in UTF-8 and C locales); characters
    // the set lacks are transliterated or become '?'.
    static std::string EncodeForLocale(std::u16string_view text);

    // Writes the script for the named object and gives the .sql file's path. On failure
    // answers false with the errno of the failed step; nothing half-written is left.
    static bool WriteScriptFile(std::u16string_view name, std::u16string_view script,
                                std::string& strPath, int& nError);

    // Removes our files in folder whose modification time lies more than age before now.
    // Answers how many were removed.
    static int RemoveStaleFiles(const std::string& folder,
                                std::chrono::system_clock::time_point now,
                                std::chrono::hours age = kStaleAge);
};
