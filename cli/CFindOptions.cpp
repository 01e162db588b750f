#include "cli/CFindOptions.h"

#include "platform/Utf.h"

#include <cmath>
#include <cstdlib>
#include <set>
#include <string>

namespace {

using quarrow::FromUtf8;

struct STypeText
{
    const char* m_szText;
    int m_nCode;
};

constexpr STypeText kTypeTexts[] = {
    {"Default", ObjectType::Default},
    {"Rule", ObjectType::Rule},
    {"Stored Procedure", ObjectType::StoredProcedure},
    {"Trigger", ObjectType::Trigger},
    {"User Defined Datatype", ObjectType::UserDefinedDatatype},
    {"User Defined Function", ObjectType::UserDefinedFunction},
    {"User Table", ObjectType::UserTable},
    {"View", ObjectType::View},
};

bool EqualsIgnoringCase(const std::string& a, const char* b)
{
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
        if (fold(a[i]) != fold(b[i])) {
            return false;
        }
    }
    return i == a.size() && b[i] == '\0';
}

// A whole number of characters: digits only.
bool IsCount(const std::string& text)
{
    if (text.empty() || text.size() > 10) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return std::strtoll(text.c_str(), nullptr, 10) <= 2147483647LL;
}

// YYYY-MM-DD naming a real calendar day.
bool ReadIsoDate(const std::string& text, CDate& date)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return false;
    }
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    int year = std::atoi(text.substr(0, 4).c_str());
    int month = std::atoi(text.substr(5, 2).c_str());
    int day = std::atoi(text.substr(8, 2).c_str());
    if (year < 100 || month < 1 || month > 12 || day < 1 || day > 31) {
        return false; // years below 100 would be moved into another century
    }
    CDate candidate(year, month, day);
    // Day 31 of a 30-day month carries into the next; such a date is not real.
    if (candidate.GetYear() != year || candidate.GetMonth() != month || candidate.GetDay() != day) {
        return false;
    }
    date = candidate;
    return true;
}

bool ReadPeriod(const std::string& text, double& value)
{
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return *end == '\0' && std::isfinite(value) && value >= 0 && value <= 100000;
}

} // namespace

std::optional<int> TypeCodeOfText(const std::string& text)
{
    for (const auto& type : kTypeTexts) {
        if (EqualsIgnoringCase(text, type.m_szText)) {
            return type.m_nCode;
        }
    }
    return std::nullopt;
}

namespace {

// Enough for any script; a larger number is surely a mistake.
constexpr std::size_t kMaxContext = 100000;

bool ReadContext(const std::string& text, std::size_t& lines)
{
    if (text.empty() || text.size() > 6 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const std::size_t value = std::stoul(text);
    if (value > kMaxContext) {
        return false;
    }
    lines = value;
    return true;
}

} // namespace

const char* FindUsage()
{
    // One line per option, as GNU tools print them; a new option is one more row here, and
    // the man page and the shell completions list the same options (a test compares them).
    struct SOptionLine
    {
        const char* m_szOption;
        const char* m_szMeaning;
    };
    static constexpr SOptionLine kOptionLines[] = {
        {"-S SERVER", "search this server or snapshot (repeatable)"},
        {"-d DATABASE", "only databases of exactly this name (repeatable)"},
        {"--registered", "the databases ticked in Quarrow's look-in tree"},
        {"--list-servers", "list the servers that can be found, and exit"},
        {"-U LOGIN", "log in with this SQL Server login"},
        {"--encrypt MODE", "encryption of live connections (see MODE below)"},
        {"--trust-server-certificate", "with require: skip the certificate check"},
        {"-t TEXT", "the object's script contains TEXT"},
        {"-n NAME", "the object's whole name is NAME"},
        {"-E", "-n and -t are regular expressions"},
        {"-c", "match case"},
        {"-T TYPE", "only objects of this type (see TYPE below)"},
        {"--size N", "the script is exactly N characters long"},
        {"--size-at-least N", "the script is at least N characters long"},
        {"--size-at-most N", "the script is at most N characters long"},
        {"--created-after DATE", "created on or after DATE (YYYY-MM-DD)"},
        {"--created-before DATE", "created on or before DATE (YYYY-MM-DD)"},
        {"--created-months N", "created during the previous N months"},
        {"--created-days N", "created during the previous N days"},
        {"--format FORMAT", "how to print what is found (see FORMAT below)"},
        {"--context N", "with --format lines: N lines around each match"},
        {"--scripts", "print found objects' scripts, not their rows"},
        {"-q", "no progress line"},
        {"-h, --help", "display this help and exit"},
        {"--version", "output version information and exit"},
    };
    static const std::string strUsage = [] {
        constexpr std::size_t kMeaningColumn = 30;
        std::string strText = "Usage: quarrow-find [OPTION]...\n"
                              "Find objects in SQL Server databases and print one row per object "
                              "found:\nserver, database, type, object and creation date.\n\n";
        for (const SOptionLine& line : kOptionLines) {
            std::string strLine = line.m_szOption[1] == '-' ? "      " : "  ";
            strLine += line.m_szOption;
            strLine.append(
                strLine.size() + 2 <= kMeaningColumn ? kMeaningColumn - strLine.size() : 2, ' ');
            strText += strLine + line.m_szMeaning + '\n';
        }
        strText += "\n"
                   "SERVER is HOST, HOST\\INSTANCE, HOST,PORT, or a catalogue snapshot file\n"
                   "(*.qcat) such as demo.qcat. With -U the password is read from\n"
                   "$QUARROW_PASSWORD, else asked for; without -U the login is integrated.\n"
                   "TYPE is Default, Rule, Stored Procedure, Trigger, User Defined Datatype,\n"
                   "User Defined Function, User Table or View.\n"
                   "FORMAT is tsv (tab-separated rows, the default), csv (the export file),\n"
                   "lines (each line matching -t as SERVER, DATABASE, TYPE, OBJECT, LINE and\n"
                   "TEXT) or jsonl (one JSON object per object found, then the coverage).\n"
                   "MODE off never encrypts; request encrypts when the server can, without\n"
                   "checking its certificate; require always encrypts and checks the\n"
                   "certificate (system authorities, or $QUARROW_TLS_CA_FILE) and host name.\n"
                   "--encrypt overrides a registered server's own choice.\n"
                   "\n"
                   "Databases that could not be searched and objects whose script could not\n"
                   "be read are named after the rows on standard error, as 'note:' lines.\n"
                   "\n"
                   "Exit status: 0 something found, 1 nothing found, 2 error, 130 interrupted.\n";
        return strText;
    }();
    return strUsage.c_str();
}

const char* FindVersion()
{
#ifndef QUARROW_VERSION
#error "the build names the version in QUARROW_VERSION"
#endif
    return "quarrow-find (Quarrow) " QUARROW_VERSION "\n";
}

bool ParseFindOptions(const std::vector<std::string>& args, SFindOptions& options,
                      std::string& error)
{
    options = SFindOptions{};
    std::set<std::string> seen;
    std::string sizeOption;
    std::string periodOption;
    bool between = false;
    bool contextGiven = false;

    auto once = [&](const std::string& option) {
        if (!seen.insert(option).second) {
            error = option + " is given twice; give it once";
            return false;
        }
        return true;
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) == 0 && arg.size() > 2) {
            auto equals = arg.find('=');
            if (equals != std::string::npos) {
                inlineValue = arg.substr(equals + 1);
                arg.resize(equals);
            }
        } else if (arg.size() > 2 && arg[0] == '-' && arg[1] != '-') {
            // Short flags may be grouped (-Ec); a short option with a value may carry it (-Sx).
            std::string letter = arg.substr(0, 2);
            if (letter == "-E" || letter == "-c" || letter == "-q" || letter == "-h") {
                std::vector<std::string> expanded;
                for (std::size_t k = 1; k < arg.size(); ++k) {
                    expanded.push_back(std::string("-") + arg[k]);
                }
                std::vector<std::string> rest(args.begin() + static_cast<long>(i) + 1, args.end());
                std::vector<std::string> all(args.begin(), args.begin() + static_cast<long>(i));
                all.insert(all.end(), expanded.begin(), expanded.end());
                all.insert(all.end(), rest.begin(), rest.end());
                return ParseFindOptions(all, options, error);
            }
            inlineValue = arg.substr(2);
            arg = letter;
        }

        auto value = [&](std::string& out) {
            if (inlineValue) {
                out = *inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) {
                error = arg + " needs a value; see quarrow-find --help";
                return false;
            }
            out = args[++i];
            return true;
        };
        auto noValue = [&]() {
            if (inlineValue) {
                error = arg + " takes no value";
                return false;
            }
            return true;
        };

        std::string text;
        if (arg == "--list-servers") {
            if (!noValue()) {
                return false;
            }
            options.m_bListServers = true;
            continue;
        }
        const auto shared = ParseConnectOption(arg, value, inlineValue.has_value(), options, error);
        if (shared == EConnectOption::Failed) {
            return false;
        }
        if (shared == EConnectOption::Read) {
            continue;
        }
        if (arg == "--registered") {
            if (!noValue()) {
                return false;
            }
            options.m_bRegistered = true;
        } else if (arg == "-t") {
            if (!once(arg) || !value(text)) {
                return false;
            }
            options.m_criteria.m_strContainingText = FromUtf8(text);
        } else if (arg == "-n") {
            if (!once(arg) || !value(text)) {
                return false;
            }
            options.m_criteria.m_strNamed = FromUtf8(text);
        } else if (arg == "-E") {
            options.m_criteria.m_bRegularExpression = true;
        } else if (arg == "-c") {
            options.m_criteria.m_bMatchCase = true;
        } else if (arg == "-q") {
            options.m_bQuiet = true;
        } else if (arg == "-h" || arg == "--help") {
            options.m_bHelp = true;
        } else if (arg == "--version") {
            if (!noValue()) {
                return false;
            }
            options.m_bVersion = true;
        } else if (arg == "-T") {
            if (!once(arg) || !value(text)) {
                return false;
            }
            if (text.empty()) {
                options.m_nTypeFilter = 0;
                continue;
            }
            auto code = TypeCodeOfText(text);
            if (!code) {
                error = "unknown type '" + text +
                        "'; use Default, Rule, Stored Procedure, Trigger, User Defined "
                        "Datatype, User Defined Function, User Table or View";
                return false;
            }
            options.m_nTypeFilter = *code;
        } else if (arg == "--size" || arg == "--size-at-least" || arg == "--size-at-most") {
            if (!value(text)) {
                return false;
            }
            if (!sizeOption.empty()) {
                error = sizeOption == arg ? arg + " is given twice; give it once"
                                          : "give only one of --size, --size-at-least and "
                                            "--size-at-most";
                return false;
            }
            if (!IsCount(text)) {
                error =
                    arg + " needs a whole number of characters, such as 1000 (got '" + text + "')";
                return false;
            }
            sizeOption = arg;
            options.m_criteria.m_nSizeIs = arg == "--size" ? 0 : arg == "--size-at-least" ? 1 : 2;
            options.m_criteria.m_strSize = FromUtf8(text);
        } else if (arg == "--created-after" || arg == "--created-before") {
            if (!once(arg) || !value(text)) {
                return false;
            }
            CDate date;
            if (!ReadIsoDate(text, date)) {
                error = arg + " needs a date written YYYY-MM-DD, such as 2014-05-31 (got '" + text +
                        "')";
                return false;
            }
            (arg == "--created-after" ? options.m_criteria.m_dateFrom
                                      : options.m_criteria.m_dateTo) = date;
            between = true;
        } else if (arg == "--created-months" || arg == "--created-days") {
            if (!value(text)) {
                return false;
            }
            if (!periodOption.empty()) {
                error = periodOption == arg ? arg + " is given twice; give it once"
                                            : "give only one of --created-months and "
                                              "--created-days";
                return false;
            }
            double period = 0;
            if (!ReadPeriod(text, period)) {
                error = arg + " needs a number, such as 6 (got '" + text + "')";
                return false;
            }
            periodOption = arg;
            if (arg == "--created-months") {
                options.m_criteria.m_months = period;
            } else {
                options.m_criteria.m_days = period;
            }
        } else if (arg == "--format") {
            if (!once(arg) || !value(text)) {
                return false;
            }
            if (text == "tsv") {
                options.m_format = EFindFormat::Tsv;
            } else if (text == "csv") {
                options.m_format = EFindFormat::Csv;
            } else if (text == "lines") {
                options.m_format = EFindFormat::Lines;
            } else if (text == "jsonl") {
                options.m_format = EFindFormat::Jsonl;
            } else {
                error = "unknown format '" + text + "'; use --format tsv, csv, lines or jsonl";
                return false;
            }
        } else if (arg == "--context") {
            if (!once(arg) || !value(text)) {
                return false;
            }
            if (!ReadContext(text, options.m_nContext)) {
                error = "--context needs a number of lines from 0 to " +
                        std::to_string(kMaxContext) + ", such as 2 (got '" + text + "')";
                return false;
            }
            contextGiven = true;
        } else if (arg == "--scripts") {
            if (!noValue()) {
                return false;
            }
            options.m_bScripts = true;
        } else if (arg == "--") {
            if (i + 1 < args.size()) {
                error = "unexpected argument '" + args[i + 1] + "'; see quarrow-find --help";
                return false;
            }
        } else if (!arg.empty() && arg[0] == '-') {
            error = "unknown option '" + args[i] + "'; see quarrow-find --help";
            return false;
        } else {
            error = "unexpected argument '" + arg +
                    "'; servers are given with -S and texts with -t; see quarrow-find --help";
            return false;
        }
    }

    if (contextGiven && options.m_format != EFindFormat::Lines) {
        error = "--context applies to --format lines only";
        return false;
    }
    const bool lineFormat =
        options.m_format == EFindFormat::Lines || options.m_format == EFindFormat::Jsonl;
    if (lineFormat && options.m_bScripts) {
        error = "--scripts cannot be combined with --format lines or jsonl";
        return false;
    }
    if (options.m_format == EFindFormat::Lines && options.m_criteria.m_strContainingText.empty()) {
        error = "--format lines prints the lines that match -t TEXT; give a text with -t";
        return false;
    }
    if (options.m_bListServers && (!options.m_servers.empty() || options.m_bRegistered)) {
        error = "--list-servers lists servers and searches none; give it without -S and "
                "--registered";
        return false;
    }
    if (between && !periodOption.empty()) {
        error = "--created-after/--created-before cannot be combined with " + periodOption;
        return false;
    }
    auto& criteria = options.m_criteria;
    if (between) {
        criteria.m_nDateMode = 1;
        criteria.m_nCreatedMode = 0;
    } else if (criteria.m_months) {
        criteria.m_nDateMode = 1;
        criteria.m_nCreatedMode = 1;
    } else if (criteria.m_days) {
        criteria.m_nDateMode = 1;
        criteria.m_nCreatedMode = 2;
    }
    if (sizeOption.empty()) {
        criteria.m_strSize.clear();
    }
    return true;
}
