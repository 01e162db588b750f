#include "platform/CRegionalSettings.h"

#include "platform/Utf.h"

#include <langinfo.h>
#include <locale.h>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

constexpr std::u16string_view kDefaultShortDate = u"DD/MM/YYYY";
constexpr char16_t kDefaultDecimal = u'.';

struct SRegionalState
{
    std::mutex mutex; // guards everything below
    bool bLoaded = false;
    std::u16string strShortDate;
    char16_t chDecimal = kDefaultDecimal;
    std::map<int, std::shared_ptr<CRegionalSettings::Listener>> listeners;
    int nNextHandle = 1;

    // Held while listeners run, so RemoveListener can wait for a notification in progress.
    // Recursive: a listener may add or remove listeners, or change a setting, itself.
    std::recursive_mutex notifyMutex;
};

SRegionalState& Regional()
{
    static SRegionalState g_regional;
    return g_regional;
}

void EnsureLoaded(SRegionalState& state)
{
    if (state.bLoaded)
        return;
    CRegionalSettings::ReadLocale("", state.strShortDate, state.chDecimal);
    state.bLoaded = true;
}

void NotifyListeners()
{
    SRegionalState& state = Regional();
    std::lock_guard notifyLock(state.notifyMutex);
    std::vector<int> handles;
    {
        std::lock_guard lock(state.mutex);
        for (const auto& entry : state.listeners)
            handles.push_back(entry.first);
    }
    for (int handle : handles) {
        // Looked up again: an earlier listener may have removed this one.
        std::shared_ptr<CRegionalSettings::Listener> listener;
        {
            std::lock_guard lock(state.mutex);
            const auto it = state.listeners.find(handle);
            if (it == state.listeners.end())
                continue;
            listener = it->second;
        }
        if (*listener)
            (*listener)();
    }
}

bool IsAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsFieldLetter(char c)
{
    return c == 'd' || c == 'M' || c == 'y';
}

} // namespace

std::u16string CRegionalSettings::PatternFromDateFormat(std::string_view format)
{
    std::string out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c != '%') {
            // Letters in the literal text would read as fields; nobody types them in a date.
            if (!IsAsciiLetter(c))
                out.push_back(c);
            continue;
        }
        // glibc flags, a field width and the E/O modifiers change nothing we can show.
        char flag = 0;
        ++i;
        while (i < format.size() && (format[i] == '-' || format[i] == '_' || format[i] == '0' ||
                                     format[i] == '^' || format[i] == '#')) {
            flag = format[i];
            ++i;
        }
        while (i < format.size() && format[i] >= '0' && format[i] <= '9')
            ++i;
        if (i < format.size() && (format[i] == 'E' || format[i] == 'O'))
            ++i;
        if (i >= format.size())
            break;
        const bool unpadded = flag == '-' || flag == '_';
        switch (format[i]) {
        case 'd':
            out += unpadded ? "d" : "dd";
            break;
        case 'e':
            out += flag == '0' ? "dd" : "d";
            break;
        case 'm':
            out += unpadded ? "M" : "MM";
            break;
        case 'b':
        case 'B':
        case 'h':
            out += "MM"; // month names are entered as numbers
            break;
        case 'y':
        case 'g':
        case 'C': // century: with a following %y it makes four year letters
            out += "yy";
            break;
        case 'Y':
        case 'G':
            out += "yyyy";
            break;
        case 'D':
        case 'x':
            out += "MM/dd/yy";
            break;
        case 'F':
            out += "yyyy-MM-dd";
            break;
        case 'n':
        case 't':
            out += ' ';
            break;
        default:
            // Weekday, day of the year, week number, time of day, "%%": nothing to enter.
            break;
        }
    }

    // Drop what is left around the fields of a dropped weekday or a trailing full stop.
    std::size_t first = 0;
    while (first < out.size() && !IsFieldLetter(out[first]))
        ++first;
    std::size_t last = out.size();
    while (last > first && !IsFieldLetter(out[last - 1]))
        --last;
    out = out.substr(first, last - first);

    if (out.find('d') == std::string::npos || out.find('M') == std::string::npos ||
        out.find('y') == std::string::npos)
        return {};
    return quarrow::FromUtf8(out);
}

bool CRegionalSettings::ReadLocale(const char* localeName, std::u16string& shortDate,
                                   char16_t& decimal)
{
    shortDate = kDefaultShortDate;
    decimal = kDefaultDecimal;
    bool ok = true;

    // newlocale instead of setlocale: it leaves the process's locale alone and is thread-safe.
    if (locale_t timeLocale = newlocale(LC_TIME_MASK, localeName, locale_t{})) {
        const char* format = nl_langinfo_l(D_FMT, timeLocale);
        std::u16string pattern = PatternFromDateFormat(format != nullptr ? format : "");
        if (!pattern.empty())
            shortDate = std::move(pattern);
        freelocale(timeLocale);
    } else {
        ok = false;
    }

    if (locale_t numericLocale = newlocale(LC_NUMERIC_MASK, localeName, locale_t{})) {
        const char* radix = nl_langinfo_l(RADIXCHAR, numericLocale);
        const std::u16string text = quarrow::FromUtf8(radix != nullptr ? radix : "");
        if (!text.empty())
            decimal = text.front();
        freelocale(numericLocale);
    } else {
        ok = false;
    }
    return ok;
}

std::u16string CRegionalSettings::GetShortDate()
{
    SRegionalState& state = Regional();
    std::lock_guard lock(state.mutex);
    EnsureLoaded(state);
    return state.strShortDate;
}

char16_t CRegionalSettings::GetDecimal()
{
    SRegionalState& state = Regional();
    std::lock_guard lock(state.mutex);
    EnsureLoaded(state);
    return state.chDecimal;
}

void CRegionalSettings::ReloadFromLocale()
{
    std::u16string shortDate;
    char16_t decimal = kDefaultDecimal;
    ReadLocale("", shortDate, decimal);
    {
        SRegionalState& state = Regional();
        std::lock_guard lock(state.mutex);
        state.strShortDate = std::move(shortDate);
        state.chDecimal = decimal;
        state.bLoaded = true;
    }
    NotifyListeners();
}

void CRegionalSettings::SetShortDate(std::u16string pattern)
{
    {
        SRegionalState& state = Regional();
        std::lock_guard lock(state.mutex);
        EnsureLoaded(state);
        state.strShortDate = std::move(pattern);
    }
    NotifyListeners();
}

void CRegionalSettings::SetDecimal(char16_t decimal)
{
    {
        SRegionalState& state = Regional();
        std::lock_guard lock(state.mutex);
        EnsureLoaded(state);
        state.chDecimal = decimal;
    }
    NotifyListeners();
}

int CRegionalSettings::AddListener(Listener listener)
{
    SRegionalState& state = Regional();
    std::lock_guard lock(state.mutex);
    const int handle = state.nNextHandle++;
    state.listeners.emplace(handle, std::make_shared<Listener>(std::move(listener)));
    return handle;
}

void CRegionalSettings::RemoveListener(int handle)
{
    SRegionalState& state = Regional();
    std::lock_guard notifyLock(state.notifyMutex);
    std::lock_guard lock(state.mutex);
    state.listeners.erase(handle);
}
