#pragma once
// The user's regional settings that Quarrow reads: the short-date pattern and the decimal
// separator. A desktop user gets those of their locale (LC_TIME and LC_NUMERIC); tests set
// them. Listeners hear of every change (the edits re-read their pattern then).

#include <functional>
#include <string>
#include <string_view>

class CRegionalSettings
{
public:
    // The raw short-date setting, e.g. "dd/MM/yyyy" (the date code normalises it).
    static std::u16string GetShortDate();
    static char16_t GetDecimal();

    // Re-derives both from the current locale and tells the listeners.
    static void ReloadFromLocale();
    // Test seams: set a value and tell the listeners.
    static void SetShortDate(std::u16string pattern);
    static void SetDecimal(char16_t decimal);

    using Listener = std::function<void()>;
    // Returns a handle for RemoveListener.
    static int AddListener(Listener listener);
    // After it returns the listener is not called again (it waits for a notification in
    // progress on another thread, so a listener must not wait for a thread that may call it).
    static void RemoveListener(int handle);

    // The short-date setting and decimal separator of a named locale ("" is the user's
    // environment). False when the locale cannot be opened; the outputs then hold the
    // defaults "DD/MM/YYYY" and '.' for whatever could not be read.
    static bool ReadLocale(const char* localeName, std::u16string& shortDate, char16_t& decimal);
    // A strftime date format (nl_langinfo(D_FMT), UTF-8) as a setting of d, M and y letters:
    // "%d.%m.%Y" gives "dd.MM.yyyy", "%m/%d/%y" gives "MM/dd/yy". Empty when the format
    // lacks a day, a month or a year.
    static std::u16string PatternFromDateFormat(std::string_view format);
};
