#pragma once
// A calendar day held as its Julian Day Number (1 January 2000 is 2451545); -1 is no date.
// Text conversions follow the user's short-date pattern from the regional settings.

#include <cstdint>
#include <string>
#include <string_view>

class CDate
{
public:
    static constexpr std::int32_t kNoDate = -1;
    static constexpr std::int32_t kEarliestDay = 2396759; // 1 January 1850
    static constexpr std::int32_t kLatestDay = 2488069;   // 31 December 2099

    // No date. User-provided: GCC rejects the CDate() default arguments below otherwise.
    CDate() noexcept {}
    // No validation: month 0, day 0 and the like carry into the neighbouring month.
    // Years below 100 move into 1926-2025.
    CDate(int year, int month, int day);
    virtual ~CDate() = default;
    CDate(const CDate&) = default;
    CDate& operator=(const CDate&) = default;

    // The local calendar day of an instant (seconds since 1970-01-01 00:00 UTC).
    static CDate FromTime(std::int64_t seconds);
    // The current local day. Tests fix the clock with SetClockForTesting.
    static CDate Today();
    // Seconds since the epoch to use as "now"; a negative value restores the real clock.
    static void SetClockForTesting(std::int64_t seconds);

    static CDate FromDayNumber(std::int32_t dayNumber);

    std::int32_t GetDayNumber() const { return m_nDay; }
    bool IsValid() const { return m_nDay != kNoDate; }

    int GetYear() const;
    int GetMonth() const;
    int GetDay() const;

    CDate operator-(int days) const;
    auto operator<=>(const CDate&) const = default;

    // Codes: %Y %y %M %m %D %d %B %b; "%x" gives x; a trailing "%" ends the text.
    std::u16string Format(std::u16string_view format) const;
    // Pattern of D, M and Y letters; empty means the short-date pattern.
    std::u16string FormatPattern(std::u16string_view pattern = {}) const;

    // "YYYYMMDD"; empty for no date.
    std::u16string GetKey() const;
    // -1 unless the key has 8 characters or more and year, month and day are non-zero.
    void SetKey(std::u16string_view key);

    // The user's short-date pattern, normalised (e.g. "DD/MM/YYYY"), and its separator.
    static std::u16string GetShortDatePattern(char16_t* separator = nullptr);
    // The first character of a pattern that is none of D H M S Y d h m s y; 0 for none.
    static char16_t GetPatternSeparator(std::u16string_view pattern);
    // Positions (0, 1, 2) of the day, month and year fields; -1 for a missing field.
    // Empty pattern: the short-date pattern.
    static void GetFieldOrder(std::u16string_view pattern, int& day, int& month, int& year);

    // The key of a date text, or empty when it is no date in [earliest, latest]. An empty
    // pattern means the short-date pattern; an invalid bound means the default bound.
    static std::u16string DateTextToKey(std::u16string_view text, std::u16string_view pattern = {},
                                        CDate earliest = CDate(), CDate latest = CDate());
    static bool IsValidDateText(std::u16string_view text, std::u16string_view pattern = {},
                                CDate earliest = CDate(), CDate latest = CDate());

    // Bounds of "during the previous N month(s)" and "during the previous N day(s)".
    static void PreviousMonths(double n, CDate& from, CDate& to);
    static void PreviousDays(double n, CDate& from, CDate& to);

private:
    std::int32_t m_nDay = kNoDate;
};
