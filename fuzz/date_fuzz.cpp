// Date text parsing on arbitrary UTF-16 input: creation-date texts of both flavours, typed
// date texts under fixed and fuzzed patterns, formatting, and the search's date bounds.
//
// Input: byte 0 picks the checks' variant, byte 1 the length of a fuzzed pattern (in UTF-16
// units, at most 15), then the pattern and the text as little-endian UTF-16.

#include "platform/CRegionalSettings.h"
#include "search/CDate.h"
#include "search/CreationDate.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Fail(const char* what)
{
    std::fprintf(stderr, "date_fuzz invariant broken: %s\n", what);
    std::abort();
}

void Check(bool condition, const char* what)
{
    if (!condition)
        Fail(what);
}

std::u16string Utf16(const std::uint8_t* data, std::size_t size)
{
    std::u16string text;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    return text;
}

bool IsDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

void CheckDate(const CDate& date)
{
    if (!date.IsValid())
        return;
    const int month = date.GetMonth();
    const int day = date.GetDay();
    Check(month >= 1 && month <= 12, "month outside 1-12");
    Check(day >= 1 && day <= 31, "day outside 1-31");
    // Years below 100 would be windowed again, so only later ones go round.
    if (date.GetYear() >= 100)
        Check(CDate(date.GetYear(), month, day) == date, "day number does not round-trip");
    (void)date.Format(u"%Y %y %M %m %D %d %B %b %%");
}

void CheckCreationDate(EFlavour flavour, const std::u16string& text)
{
    const CDate date = ParseCreationDate(flavour, text);
    if (!date.IsValid())
        return;
    CheckDate(date);
}

void CheckDateText(const std::u16string& text, std::u16string_view pattern)
{
    const std::u16string key = CDate::DateTextToKey(text, pattern);
    if (!key.empty()) {
        Check(key.size() == 8, "key is not eight characters");
        for (char16_t c : key)
            Check(IsDigit(c), "key holds a non-digit");
        CDate date;
        date.SetKey(key);
        Check(date.IsValid(), "key does not read back");
        Check(date.GetKey() == key, "key does not round-trip");
        Check(date.GetDayNumber() >= CDate::kEarliestDay &&
                  date.GetDayNumber() <= CDate::kLatestDay,
              "key outside the default bounds");
        CheckDate(date);
        (void)date.FormatPattern(pattern);
    }

    char16_t separator = 0;
    if (pattern.empty())
        CDate::GetShortDatePattern(&separator);
    else
        separator = CDate::GetPatternSeparator(pattern);
    bool plain = true;
    for (char16_t c : text)
        plain = plain && (IsDigit(c) || (separator != 0 && c == separator));
    const bool valid = CDate::IsValidDateText(text, pattern);
    if (text.empty())
        Check(valid, "empty text is not valid");
    else
        Check(valid == (plain && !key.empty()), "IsValidDateText disagrees with DateTextToKey");
}

void CheckBounds(const std::uint8_t* data, std::size_t size)
{
    if (size < sizeof(double))
        return;
    double n = 0;
    std::memcpy(&n, data, sizeof n);
    CDate from;
    CDate to;
    CDate::PreviousMonths(n, from, to);
    Check(to == CDate::Today(), "months: latest is not today");
    if (std::isfinite(n) && n >= 1) {
        Check(from.IsValid() && from <= to, "months: earliest after today");
        Check(from.GetDay() == 1, "months: earliest is not a first day");
    }
    CDate::PreviousDays(n, from, to);
    if (std::isfinite(n) && n >= 0)
        Check(from <= to, "days: earliest after today");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    CDate::SetClockForTesting(1400155200); // 15 May 2014 12:00 UTC
    CRegionalSettings::SetShortDate(u"dd/MM/yyyy");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::uint8_t variant = data[0];
    const std::size_t patternBytes = std::min<std::size_t>((data[1] % 16) * 2, size - 2);
    const std::u16string pattern = Utf16(data + 2, patternBytes);
    const std::u16string text = Utf16(data + 2 + patternBytes, size - 2 - patternBytes);

    CheckCreationDate(EFlavour::Modern, text);
    CheckCreationDate(EFlavour::Legacy, text);

    static constexpr std::u16string_view kPatterns[] = {u"DD/MM/YYYY", u"MM/DD/YY", u"YYYY-MM-DD",
                                                        u"DDMMYYYY", u"D.M.Y"};
    CheckDateText(text, kPatterns[variant % 5]);
    CheckDateText(text, pattern);

    // The fuzzed pattern as the user's setting: normalised, it always has a separator.
    CRegionalSettings::SetShortDate(pattern);
    char16_t separator = 0;
    const std::u16string shortDate = CDate::GetShortDatePattern(&separator);
    Check(separator != 0 && separator == CDate::GetPatternSeparator(shortDate),
          "short-date pattern without its separator");
    CheckDateText(text, u"");
    CRegionalSettings::SetShortDate(u"dd/MM/yyyy");

    (void)CDate(2014, 3, 5).Format(text);
    (void)CDate(2014, 3, 5).FormatPattern(text);
    CheckBounds(data + 2, size - 2);
    return 0;
}
