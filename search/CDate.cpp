#include "search/CDate.h"

#include "platform/CRegionalSettings.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <vector>

namespace {

// Negative: use the real clock.
std::atomic<std::int64_t> g_nClockForTesting{-1};

constexpr std::u16string_view kDefaultPattern = u"DD/MM/YYYY";
constexpr std::size_t kMaxShortDateLength = 15;

constexpr const char16_t* kShortMonthNames[] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                                u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
constexpr const char16_t* kLongMonthNames[] = {u"January",   u"February", u"March",    u"April",
                                               u"May",       u"June",     u"July",     u"August",
                                               u"September", u"October",  u"November", u"December"};

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if (a % b != 0 && ((a < 0) != (b < 0)))
        --q;
    return q;
}

// Fliegel-Van Flandern without the two-digit-year window. The month term truncates and the
// others floor, so month 0 and negative months still land on the neighbouring year.
std::int64_t RawDayNumber(std::int64_t y, std::int64_t m, std::int64_t d)
{
    const std::int64_t a = m < 3 ? 1 : 0;
    const std::int64_t yp = y - a;
    const std::int64_t mp = m - 2 + 12 * a;
    return d + FloorDiv(1461 * (yp + 4800), 4) + (367 * mp) / 12 -
           FloorDiv(3 * ((yp + 4900) / 100), 4) - 32075;
}

std::int32_t ClampToDayNumber(std::int64_t value)
{
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        return CDate::kNoDate;
    return static_cast<std::int32_t>(value);
}

struct SYmd
{
    int year;
    int month;
    int day;
};

SYmd FromDayNumberParts(std::int32_t dayNumber)
{
    std::int64_t l = static_cast<std::int64_t>(dayNumber) + 68569;
    const std::int64_t n = FloorDiv(4 * l, 146097);
    l = l - FloorDiv(146097 * n + 3, 4);
    const std::int64_t i = FloorDiv(4000 * (l + 1), 1461001);
    l = l - FloorDiv(1461 * i, 4) + 31;
    const std::int64_t k = FloorDiv(80 * l, 2447);
    const std::int64_t day = l - FloorDiv(2447 * k, 80);
    const std::int64_t l2 = FloorDiv(k, 11);
    const std::int64_t month = k + 2 - 12 * l2;
    const std::int64_t year = 100 * (n - 49) + i + l2;
    return {static_cast<int>(year), static_cast<int>(month), static_cast<int>(day)};
}

char16_t FoldUpper(char16_t c)
{
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

std::u16string FoldUpper(std::u16string_view text)
{
    std::u16string out(text);
    for (char16_t& c : out)
        c = FoldUpper(c);
    return out;
}

void ReplaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to)
{
    if (from.empty())
        return;
    std::size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::u16string::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
}

void AppendNumber(std::u16string& out, int value, int width)
{
    char buffer[32];
    const int n = std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
    for (int i = 0; i < n; ++i)
        out.push_back(static_cast<char16_t>(buffer[i]));
}

bool IsDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// Decimal value of the digits of a text part, ignoring everything else; saturates well
// above any day, month or year that can pass the range checks.
int DigitValue(std::u16string_view part, bool& hadDigits)
{
    constexpr int kCap = 999999999;
    int value = 0;
    hadDigits = false;
    for (char16_t c : part) {
        if (!IsDigit(c))
            continue;
        hadDigits = true;
        if (value <= (kCap - 9) / 10)
            value = value * 10 + (c - u'0');
        else
            value = kCap;
    }
    return value;
}

int WindowYear(int year)
{
    if (year < 100)
        return year <= 25 ? year + 2000 : year + 1900;
    return year;
}

// trunc(value), held inside [lo, hi]; not-a-number counts as 0.
std::int64_t TruncClamped(double value, std::int64_t lo, std::int64_t hi)
{
    if (std::isnan(value))
        return 0;
    const double t = std::trunc(value);
    if (t <= static_cast<double>(lo))
        return lo;
    if (t >= static_cast<double>(hi))
        return hi;
    return static_cast<std::int64_t>(t);
}

} // namespace

CDate::CDate(int year, int month, int day)
{
    std::int64_t y = year;
    if (y < 100)
        y += y <= 25 ? 2000 : 1900;
    m_nDay = ClampToDayNumber(RawDayNumber(y, month, day));
}

CDate CDate::FromDayNumber(std::int32_t dayNumber)
{
    CDate date;
    date.m_nDay = dayNumber;
    return date;
}

CDate CDate::FromTime(std::int64_t seconds)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr)
        return CDate(0, 0, 0);
    return CDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

CDate CDate::Today()
{
    std::int64_t now = g_nClockForTesting.load(std::memory_order_relaxed);
    if (now < 0)
        now = static_cast<std::int64_t>(std::time(nullptr));
    return FromTime(now);
}

void CDate::SetClockForTesting(std::int64_t seconds)
{
    g_nClockForTesting.store(seconds < 0 ? -1 : seconds, std::memory_order_relaxed);
}

int CDate::GetYear() const
{
    return FromDayNumberParts(m_nDay).year;
}

int CDate::GetMonth() const
{
    return FromDayNumberParts(m_nDay).month;
}

int CDate::GetDay() const
{
    return FromDayNumberParts(m_nDay).day;
}

CDate CDate::operator-(int days) const
{
    if (!IsValid())
        return CDate();
    return FromDayNumber(ClampToDayNumber(static_cast<std::int64_t>(m_nDay) - days));
}

std::u16string CDate::Format(std::u16string_view format) const
{
    const SYmd ymd = FromDayNumberParts(m_nDay);
    std::u16string out;
    out.reserve(format.size() + 8);
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char16_t c = format[i];
        if (c != u'%') {
            out.push_back(c);
            continue;
        }
        if (++i >= format.size())
            break;
        const bool knownMonth = ymd.month >= 1 && ymd.month <= 12;
        switch (format[i]) {
        case u'Y':
            AppendNumber(out, ymd.year, 4);
            break;
        case u'y': {
            std::u16string year;
            AppendNumber(year, ymd.year, 4);
            out.append(year, year.size() - 2, 2);
            break;
        }
        case u'M':
            AppendNumber(out, ymd.month, 2);
            break;
        case u'm':
            AppendNumber(out, ymd.month, 0);
            break;
        case u'D':
            AppendNumber(out, ymd.day, 2);
            break;
        case u'd':
            AppendNumber(out, ymd.day, 0);
            break;
        case u'B':
            if (knownMonth)
                out.append(kLongMonthNames[ymd.month - 1]);
            break;
        case u'b':
            if (knownMonth)
                out.append(kShortMonthNames[ymd.month - 1]);
            break;
        default:
            out.push_back(format[i]);
            break;
        }
    }
    return out;
}

std::u16string CDate::FormatPattern(std::u16string_view pattern) const
{
    std::u16string format = FoldUpper(pattern.empty() ? GetShortDatePattern() : pattern);
    ReplaceAll(format, u"YYYY", u"%Y");
    ReplaceAll(format, u"YY", u"%y");
    if (format.find(u"MM") != std::u16string::npos)
        ReplaceAll(format, u"MM", u"%M");
    else
        ReplaceAll(format, u"M", u"%m");
    if (format.find(u"DD") != std::u16string::npos)
        ReplaceAll(format, u"DD", u"%D");
    else
        ReplaceAll(format, u"D", u"%d");
    return Format(format);
}

std::u16string CDate::GetKey() const
{
    if (!IsValid())
        return {};
    return Format(u"%Y%M%D");
}

void CDate::SetKey(std::u16string_view key)
{
    m_nDay = kNoDate;
    if (key.size() < 8)
        return;
    // Each field reads like a C integer: leading blanks and a sign, up to the first non-digit.
    auto read = [](std::u16string_view field) {
        std::size_t i = 0;
        while (i < field.size() && (field[i] == u' ' || (field[i] >= u'\t' && field[i] <= u'\r')))
            ++i;
        bool negative = false;
        if (i < field.size() && (field[i] == u'+' || field[i] == u'-'))
            negative = field[i++] == u'-';
        int value = 0;
        for (; i < field.size() && IsDigit(field[i]); ++i)
            value = value * 10 + (field[i] - u'0');
        return negative ? -value : value;
    };
    const int year = read(key.substr(0, 4));
    const int month = read(key.substr(4, 2));
    const int day = read(key.substr(6, 2));
    if (year != 0 && month != 0 && day != 0)
        *this = CDate(year, month, day);
}

std::u16string CDate::GetShortDatePattern(char16_t* separator)
{
    std::u16string raw = CRegionalSettings::GetShortDate();
    if (raw.empty())
        raw = kDefaultPattern;
    if (raw.size() > kMaxShortDateLength)
        raw.resize(kMaxShortDateLength);

    std::u16string pattern;
    for (char16_t c : raw) {
        if (c != u' ')
            pattern.push_back(FoldUpper(c));
    }

    // Long runs of day or month letters mean names or padding we do not show; a year always
    // takes four digits.
    auto count = [&pattern](char16_t letter) {
        std::size_t n = 0;
        for (char16_t c : pattern)
            n += c == letter ? 1 : 0;
        return n;
    };
    if (const std::size_t n = count(u'D'); n > 2)
        ReplaceAll(pattern, std::u16string(n, u'D'), u"DD");
    if (const std::size_t n = count(u'M'); n > 2)
        ReplaceAll(pattern, std::u16string(n, u'M'), u"MM");
    if (const std::size_t n = count(u'Y'); n != 4)
        ReplaceAll(pattern, std::u16string(n, u'Y'), u"YYYY");

    char16_t sep = GetPatternSeparator(pattern);
    if (sep == 0) {
        pattern = kDefaultPattern;
        sep = u'/';
    }
    if (separator != nullptr)
        *separator = sep;
    return pattern;
}

char16_t CDate::GetPatternSeparator(std::u16string_view pattern)
{
    for (char16_t c : pattern) {
        switch (c) {
        case u'D':
        case u'H':
        case u'M':
        case u'S':
        case u'Y':
        case u'd':
        case u'h':
        case u'm':
        case u's':
        case u'y':
            continue;
        default:
            return c;
        }
    }
    return 0;
}

void CDate::GetFieldOrder(std::u16string_view pattern, int& day, int& month, int& year)
{
    const std::u16string shortDate = pattern.empty() ? GetShortDatePattern() : std::u16string();
    if (pattern.empty())
        pattern = shortDate;
    day = month = year = -1;
    int next = 0;
    for (char16_t c : pattern) {
        if (next > 2)
            break;
        if ((c == u'D' || c == u'd') && day < 0)
            day = next++;
        else if ((c == u'M' || c == u'm') && month < 0)
            month = next++;
        else if ((c == u'Y' || c == u'y' || c == u'J' || c == u'j') && year < 0)
            year = next++;
    }
}

std::u16string CDate::DateTextToKey(std::u16string_view text, std::u16string_view pattern,
                                    CDate earliest, CDate latest)
{
    if (text.empty())
        return {};
    const std::u16string shortDate = pattern.empty() ? GetShortDatePattern() : std::u16string();
    if (pattern.empty())
        pattern = shortDate;
    const char16_t separator = GetPatternSeparator(pattern);
    int dayPos = -1;
    int monthPos = -1;
    int yearPos = -1;
    GetFieldOrder(pattern, dayPos, monthPos, yearPos);
    if (dayPos < 0 || monthPos < 0 || yearPos < 0)
        return {};

    std::vector<std::u16string_view> parts;
    if (separator != 0) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t pos = text.find(separator, start);
            if (pos == std::u16string_view::npos) {
                parts.push_back(text.substr(start));
                break;
            }
            parts.push_back(text.substr(start, pos - start));
            start = pos + 1;
        }
    } else if (text.size() == pattern.size()) {
        // Cut the text where the pattern's letter changes (DDMMYYYY: 2, 2, 4).
        std::size_t start = 0;
        for (std::size_t i = 1; i <= pattern.size(); ++i) {
            if (i == pattern.size() || pattern[i] != pattern[start]) {
                parts.push_back(text.substr(start, i - start));
                start = i;
            }
        }
    }
    if (parts.size() < 3)
        return {};

    bool dayDigits = false;
    bool monthDigits = false;
    bool yearDigits = false;
    const int day = DigitValue(parts[static_cast<std::size_t>(dayPos)], dayDigits);
    const int month = DigitValue(parts[static_cast<std::size_t>(monthPos)], monthDigits);
    int year = DigitValue(parts[static_cast<std::size_t>(yearPos)], yearDigits);
    if (day < 1 || day > 31 || month < 1 || month > 12)
        return {};
    if (year >= 1 && year <= 99)
        year = WindowYear(year);
    else if (year == 0)
        year = yearDigits ? 2000 : Today().GetYear();

    const CDate date(year, month, day);
    const CDate low = earliest.IsValid() ? earliest : FromDayNumber(kEarliestDay);
    const CDate high = latest.IsValid() ? latest : FromDayNumber(kLatestDay);
    if (!date.IsValid() || date < low || date > high)
        return {};
    return date.GetKey();
}

bool CDate::IsValidDateText(std::u16string_view text, std::u16string_view pattern, CDate earliest,
                            CDate latest)
{
    if (text.empty())
        return true;
    char16_t separator = 0;
    if (pattern.empty())
        GetShortDatePattern(&separator);
    else
        separator = GetPatternSeparator(pattern);
    for (char16_t c : text) {
        if (!IsDigit(c) && (separator == 0 || c != separator))
            return false;
    }
    return !DateTextToKey(text, pattern, earliest, latest).empty();
}

void CDate::PreviousMonths(double n, CDate& from, CDate& to)
{
    const CDate today = Today();
    // Three thousand years either way is far past any creation date and keeps the year where
    // the day-number formula holds (it truncates the century term).
    constexpr std::int64_t kMaxMonths = 36000;
    std::int64_t back = TruncClamped(n - 1, -kMaxMonths, kMaxMonths);
    std::int64_t year = today.GetYear();
    std::int64_t month = today.GetMonth();
    // Step back whole years until the month lands inside one.
    if (month - back <= 0) {
        back -= month;
        month = 12;
        --year;
        year -= back / 12;
        back %= 12;
    }
    // Built without the two-digit-year window: a bound centuries back must stay there.
    from = FromDayNumber(ClampToDayNumber(RawDayNumber(year, month - back, 1)));
    to = today;
}

void CDate::PreviousDays(double n, CDate& from, CDate& to)
{
    const CDate today = Today();
    constexpr std::int64_t kMaxDays = 1100000; // about three thousand years
    const std::int64_t back = TruncClamped(n, -kMaxDays, kMaxDays);
    from = FromDayNumber(ClampToDayNumber(static_cast<std::int64_t>(today.GetDayNumber()) - back));
    to = today;
}
