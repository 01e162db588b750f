#pragma once
// The session bus activation file of the automation service: the bus starts
// "<this executable> -Embedding" when a client asks for the service while no copy owns it.
// No Qt here, so the file's format and writing are tested on their own.

#include <filesystem>
#include <string>
#include <string_view>

class CActivationFile
{
public:
    static constexpr std::string_view kServiceName = "Quarrow.Application";

    // $XDG_DATA_HOME/dbus-1/services/Quarrow.Application.service, with XDG_DATA_HOME
    // defaulting to $HOME/.local/share (a relative XDG_DATA_HOME counts as unset). Empty
    // when neither gives an absolute folder.
    static std::filesystem::path DefaultPath();

    // The Exec value for executable, by the desktop-entry rules: the path, in double quotes
    // with " ` $ \ escaped by a backslash when it holds a blank or another reserved character,
    // every backslash then doubled as a string value needs, and " -Embedding".
    // False (strExec unchanged) for a relative path or one holding a control character,
    // which the file cannot carry.
    static bool FormatExec(const std::filesystem::path& executable, std::string& strExec);

    // The whole file for executable; empty when FormatExec refuses it.
    static std::string Contents(const std::filesystem::path& executable);

    // Writes or rewrites file for executable through a temporary file beside it and a rename,
    // so a reader sees the old file or the new one, never a part. Missing folders are made
    // (0700). Answers 0 or an errno value (EINVAL: executable refused); on failure any
    // existing file is left as it was.
    static int Write(const std::filesystem::path& file, const std::filesystem::path& executable);
};
