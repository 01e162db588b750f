#pragma once
// quarrow-snapshot: takes the catalogue of a live server into a snapshot file, or brings
// one up to date (--refresh), with progress on a terminal.

#include "cli/CConnectOptions.h"

#include <atomic>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace SnapshotExit {
constexpr int Written = 0;
constexpr int Unreadable = 1; // written, but a database could not be read
constexpr int Error = 2;      // nothing written; an old file is as it was
constexpr int Interrupted = 130;
} // namespace SnapshotExit

struct SSnapshotOptions : SConnectArguments
{
    std::string m_strOutput;              // -o
    std::optional<std::string> m_refresh; // --refresh FILE
    bool m_bQuiet = false;                // -q
    bool m_bHelp = false;
};

bool ParseSnapshotOptions(const std::vector<std::string>& args, SSnapshotOptions& options,
                          std::string& error);
const char* SnapshotUsage();

struct SSnapshotEnvironment
{
    std::ostream* m_pOut = nullptr;
    std::ostream* m_pErr = nullptr;
    bool m_bTerminal = false;                        // standard error is a terminal
    std::optional<std::string> m_password;           // $QUARROW_PASSWORD or the prompt's
    const std::atomic<bool>* m_pInterrupt = nullptr; // Ctrl-C or SIGTERM came
    // Asks for a password when a login needs one and none is given; null: never asks.
    bool (*m_fnAsk)(const std::string& login, std::string& password, std::string& error) = nullptr;
};

int RunSnapshot(const SSnapshotOptions& options, SSnapshotEnvironment& environment);

// The whole program: arguments, signals, standard streams.
int SnapshotMain(int argc, char** argv);
