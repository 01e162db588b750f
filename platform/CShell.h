#pragma once
// The shell's "open" service: a file or an address handed to the desktop's opener
// (xdg-open, or the program named by $QUARROW_OPENER, which tests and headless machines use
// to record openings). The opener is started with an argument vector, never through a shell.
// Results follow the shell's convention: above 32 is success, otherwise an error code of
// the table below (ShellResult).

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace ShellResult {
constexpr int OutOfResources = 0;
constexpr int FileNotFound = 2;
constexpr int PathNotFound = 3;
constexpr int AccessDenied = 5;
constexpr int OutOfMemory = 8;
constexpr int BadFormat = 11;
constexpr int SharingViolation = 26;
constexpr int AssociationIncomplete = 27;
constexpr int DdeTimeout = 28;
constexpr int DdeFail = 29;
constexpr int DdeBusy = 30;
constexpr int NoAssociation = 31;
constexpr int DllNotFound = 32;
constexpr int Success = 42; // any value above 32 means success
} // namespace ShellResult

class CShell
{
public:
    // Opens a file or an address with the desktop's opener and returns the result code.
    // The opener's exit status maps onto the codes: 0 success, 1 (bad call) 27, 2 (file
    // missing) 2, 3 (no program for it) 31, 4 (the program failed) 27, 5 (no read access) 5;
    // an opener that cannot be started gives 31 (nothing can open it), or 8 / 0 when memory
    // or processes ran out. An opener still running after the wait limit counts as success
    // and is reaped in the background.
    static int Open(std::u16string_view target);

    // Open, and when that fails the fallback browser: each command of $BROWSER (':' between
    // commands) is cut where "\"%1\"", "%1", "\"%s\"" or "%s" begins, and the address is
    // appended as one more argument; the first that starts is left running. Returns Open's
    // result whatever the fallback does.
    static int OpenLink(std::u16string_view address);

    // The message for a failed result: the link error table, "Unknown Error (4) occurred."
    // for codes outside it.
    static std::u16string LinkErrorText(int nResult);
    // "Unable to open hyperlink:\n\n" followed by LinkErrorText.
    static std::u16string LinkFailureReport(int nResult);

    // The opener's program: $QUARROW_OPENER when set, else "xdg-open".
    static std::string OpenerProgram();
    // How long Open waits for the opener to answer (10 s unless changed).
    static void SetOpenerWait(std::chrono::milliseconds wait);

    // Splits a command line into words: blanks separate, double quotes group (and are
    // dropped). Used for the fallback browser's command.
    static std::vector<std::string> SplitCommandLine(std::string_view commandLine);
    // The fallback browser's argument vector for one $BROWSER command and an address.
    static std::vector<std::string> BrowserCommand(std::string_view command,
                                                   std::string_view address);
};
