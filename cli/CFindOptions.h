#pragma once
// The command line of quarrow-find, read into the search criteria and the output choices.

#include "cli/CConnectOptions.h"
#include "search/SearchRun.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

enum class EFindFormat
{
    Tsv,
    Csv,
    Lines, // one row per matching line of a text criterion
    Jsonl, // one JSON object per found object, then the coverage
};

// -S, -d and -U come from the options shared with quarrow-snapshot.
struct SFindOptions : SConnectArguments
{
    bool m_bRegistered = false; // --registered
    SSearchCriteria m_criteria;
    int m_nTypeFilter = 0; // 0: every type
    EFindFormat m_format = EFindFormat::Tsv;
    std::size_t m_nContext = 0; // --context: lines around each match line (--format lines)
    bool m_bScripts = false;
    bool m_bQuiet = false;
    bool m_bHelp = false;
    bool m_bVersion = false;
    bool m_bListServers = false; // --list-servers
};

// Reads the arguments (without the program name). False with a message that says what is
// wrong and what to do.
bool ParseFindOptions(const std::vector<std::string>& args, SFindOptions& options,
                      std::string& error);

// The type code of one of the eight "Of type" texts (case ignored); nothing for others.
std::optional<int> TypeCodeOfText(const std::string& text);

// The usage text printed by --help: every option, one line each.
const char* FindUsage();
// The line printed by --version.
const char* FindVersion();
