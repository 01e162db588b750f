#pragma once
// quarrow-find's run: connects the servers, searches their databases in order through the
// search run, and writes the rows (tsv), the export file (csv) or the scripts.

#include "cli/CFindOptions.h"

#include <atomic>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

// Exit statuses.
namespace FindExit {
constexpr int Found = 0;
constexpr int NothingFound = 1;
constexpr int Error = 2;
constexpr int Interrupted = 130;
} // namespace FindExit

struct SFindEnvironment
{
    std::ostream* m_pOut = nullptr;
    std::ostream* m_pErr = nullptr;
    bool m_bTerminal = false;                        // standard error is a terminal: show progress
    std::optional<std::string> m_password;           // $QUARROW_PASSWORD
    const std::atomic<bool>* m_pInterrupt = nullptr; // set when the user presses Ctrl-C
};

// One server to search and which of its databases are wanted.
struct SFindTarget
{
    std::u16string m_strServer;
    // Null: every database. Otherwise asked of each database name, in the server's order.
    std::function<bool(const std::u16string&)> m_isWanted;
    // The login of a registered server; none: the command line's choice.
    bool m_bOwnLogin = false;
    bool m_bIntegrated = true;
    std::u16string m_strLogin;
    std::u16string m_strPassword;
    // The registered server's encryption; none: the command line's choice.
    std::optional<SConnectOptions> m_connectOptions;
};

// Runs a parsed command line and answers its exit status.
int RunFind(const SFindOptions& options, SFindEnvironment& environment);

// The whole program: arguments, Ctrl-C, standard streams. main() only calls this.
int FindMain(int argc, char** argv);

// The registered servers and their ticked databases from the window program's store.
// False with a message when the store cannot be read.
bool LoadRegisteredTargets(std::vector<SFindTarget>& targets, std::string& error);
