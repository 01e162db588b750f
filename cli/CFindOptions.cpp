#include "cli/CFindOptions.h"

#include "platform/Utf.h"

#include <cmath>
#include <cstdlib>
#include <set>

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

const char* FindUsage()
{
    return "usage: quarrow-find [-S SERVER]... [-d DATABASE]... [--registered] [-U LOGIN]\n"
           "                    [-t TEXT] [-n NAME] [-E] [-c] [-T TYPE]\n"
           "                    [--size N | --size-at-least N | --size-at-most N]\n"
           "                    [--created-after YYYY-MM-DD] [--created-before YYYY-MM-DD]\n"
           "                    [--created-months N | --created-days N]\n"
           "                    [--format tsv|csv] [--scripts] [-q]\n"
           "\n"
           "Finds objects in SQL Server catalogues and prints one row per object found:\n"
           "server, database, type, object and creation date.\n"
           "\n"
           "  -S SERVER        a server to search (repeatable): HOST, HOST\\INSTANCE, HOST,PORT;\n"
           "                   a catalogue snapshot is named by its file, e.g. -S demo.qcat\n"
           "  -d DATABASE      only databases of exactly this name (repeatable)\n"
           "  --registered     the databases ticked in Quarrow's look-in tree\n"
           "  -U LOGIN         a SQL Server login; the password is read from $QUARROW_PASSWORD,\n"
           "                   else asked for on the terminal (without -U: integrated login)\n"
           "  -t TEXT          text the object's script contains\n"
           "  -n NAME          the object's whole name (with -E: a regular expression)\n"
           "  -E               -n and -t are regular expressions\n"
           "  -c               match case\n"
           "  -T TYPE          Default, Rule, Stored Procedure, Trigger, User Defined Datatype,\n"
           "                   User Defined Function, User Table or View\n"
           "  --size N, --size-at-least N, --size-at-most N\n"
           "                   the script's length in characters\n"
           "  --created-after D, --created-before D\n"
           "                   created on or after / on or before the day D (YYYY-MM-DD)\n"
           "  --created-months N, --created-days N\n"
           "                   created during the previous N months / days\n"
           "  --format tsv|csv tab-separated rows (default) or the export file format\n"
           "  --scripts        print each found object's script instead of its row\n"
           "  -q               no progress line\n"
           "\n"
           "Exit status: 0 something found, 1 nothing found, 2 error, 130 interrupted.\n";
}

bool ParseFindOptions(const std::vector<std::string>& args, SFindOptions& options,
                      std::string& error)
{
    options = SFindOptions{};
    std::set<std::string> seen;
    std::string sizeOption;
    std::string periodOption;
    bool between = false;

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
        const auto shared = ParseConnectOption(arg, value, options, error);
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
            } else {
                error = "unknown format '" + text + "'; use --format tsv or --format csv";
                return false;
            }
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
