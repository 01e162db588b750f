#include "search/CDate.h"

#include "platform/CRegionalSettings.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace {

using namespace std::chrono;

// The Julian Day Number by an independent road: days since 1970-01-01 plus the day number of
// that date.
std::int32_t ChronoDayNumber(int y, unsigned m, unsigned d)
{
    const sys_days days{year{y} / month{m} / day{d}};
    return static_cast<std::int32_t>(days.time_since_epoch().count() + 2440588);
}

std::int64_t Seconds(int y, unsigned m, unsigned d, int hour)
{
    const sys_days days{year{y} / month{m} / day{d}};
    return duration_cast<seconds>(days.time_since_epoch()).count() + hour * 3600;
}

std::string Ymd(const CDate& date)
{
    if (!date.IsValid())
        return "none";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", date.GetYear(), date.GetMonth(),
                  date.GetDay());
    return buffer;
}

std::string Narrow(const std::u16string& text)
{
    return std::string(text.begin(), text.end());
}

// Restores the time zone a test changed.
class CTimeZone
{
public:
    explicit CTimeZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ")) {
            m_strOld = old;
            m_bHadOld = true;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~CTimeZone()
    {
        if (m_bHadOld)
            setenv("TZ", m_strOld.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string m_strOld;
    bool m_bHadOld = false;
};

class CDateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CRegionalSettings::SetShortDate(u"dd/MM/yyyy");
        // Noon of 15 May 2014 in UTC is 15 May in every zone within twelve hours of it.
        CDate::SetClockForTesting(Seconds(2014, 5, 15, 12));
    }
    void TearDown() override
    {
        CDate::SetClockForTesting(-1);
        CRegionalSettings::SetShortDate(u"dd/MM/yyyy");
    }
};

TEST_F(CDateTest, DayNumbersAgreeWithChronoEveryDayOf1850To2099)
{
    EXPECT_EQ(CDate(1850, 1, 1).GetDayNumber(), CDate::kEarliestDay);
    EXPECT_EQ(CDate(2099, 12, 31).GetDayNumber(), CDate::kLatestDay);
    for (sys_days d = sys_days{1850y / January / 1}; d <= sys_days{2099y / December / 31};
         d += days{1}) {
        const year_month_day ymd{d};
        const int y = static_cast<int>(ymd.year());
        const unsigned m = static_cast<unsigned>(ymd.month());
        const unsigned dd = static_cast<unsigned>(ymd.day());
        const CDate date(y, static_cast<int>(m), static_cast<int>(dd));
        ASSERT_EQ(date.GetDayNumber(), ChronoDayNumber(y, m, dd)) << y << "-" << m << "-" << dd;
        ASSERT_EQ(date.GetYear(), y);
        ASSERT_EQ(date.GetMonth(), static_cast<int>(m));
        ASSERT_EQ(date.GetDay(), static_cast<int>(dd));
    }
}

TEST_F(CDateTest, DayNumbersAgreeWithChronoAcrossCenturies)
{
    // Century years test the Gregorian leap rule (1900 and 2100 are not leap years, 2000 is).
    for (int y = 100; y <= 9999; y += 7) {
        for (const auto& [m, d] : {std::pair{1u, 1u}, {2u, 28u}, {3u, 1u}, {12u, 31u}}) {
            const CDate date(y, static_cast<int>(m), static_cast<int>(d));
            ASSERT_EQ(date.GetDayNumber(), ChronoDayNumber(y, m, d)) << y;
            ASSERT_EQ(Ymd(CDate::FromDayNumber(date.GetDayNumber())), Ymd(date));
        }
    }
    for (int y : {1900, 2000, 2100, 2400}) {
        EXPECT_EQ(CDate(y, 3, 0).GetDay(), year{y}.is_leap() ? 29 : 28) << y;
        EXPECT_EQ(CDate(y, 3, 0).GetDayNumber(), ChronoDayNumber(y, 3, 1) - 1) << y;
    }
}

TEST_F(CDateTest, ConstructionWindowsAndCarries)
{
    struct SCase
    {
        int y, m, d;
        const char* expected;
    };
    const SCase cases[] = {
        {2000, 1, 1, "2000-01-01"},  {0, 1, 1, "2000-01-01"},     {26, 1, 1, "1926-01-01"},
        {25, 12, 31, "2025-12-31"},  {99, 6, 1, "1999-06-01"},    {-1, 1, 1, "1999-01-01"},
        {100, 1, 1, "0100-01-01"},   {2014, 2, 29, "2014-03-01"}, {2000, 0, 0, "1999-11-30"},
        {2014, 1, 0, "2013-12-31"},  {2012, 3, 0, "2012-02-29"},  {2014, 4, 31, "2014-05-01"},
        {2014, 13, 1, "2015-01-01"}, {2014, 0, 15, "2013-12-15"}, {2014, -1, 1, "2013-11-01"},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(Ymd(CDate(c.y, c.m, c.d)), c.expected) << c.y << "/" << c.m << "/" << c.d;

    EXPECT_EQ(CDate(2000, 1, 1).GetDayNumber(), 2451545);
    EXPECT_EQ(Ymd(CDate::FromDayNumber(2456778)), "2014-04-30");
    EXPECT_FALSE(CDate().IsValid());
    EXPECT_EQ(CDate().GetDayNumber(), -1);
    // Far beyond a 32-bit day number: no date rather than a wrapped one.
    EXPECT_FALSE(CDate(std::numeric_limits<int>::max(), 1, 1).IsValid());
    EXPECT_FALSE(CDate(2014, 1, std::numeric_limits<int>::max()).IsValid());
}

TEST_F(CDateTest, SubtractingAndComparing)
{
    EXPECT_EQ(Ymd(CDate(2014, 3, 1) - 1), "2014-02-28");
    EXPECT_EQ(Ymd(CDate(2014, 3, 1) - -31), "2014-04-01");
    EXPECT_FALSE((CDate() - 1).IsValid());
    EXPECT_LT(CDate(2014, 5, 14), CDate(2014, 5, 15));
    EXPECT_EQ(CDate(2014, 2, 29), CDate(2014, 3, 1));
}

TEST_F(CDateTest, FromTimeTakesTheLocalDay)
{
    const std::int64_t evening = Seconds(2014, 5, 15, 20);
    const std::int64_t early = Seconds(2014, 5, 15, 3);
    {
        CTimeZone zone("UTC0");
        EXPECT_EQ(Ymd(CDate::FromTime(evening)), "2014-05-15");
        EXPECT_EQ(Ymd(CDate::FromTime(0)), "1970-01-01");
    }
    {
        CTimeZone zone("EAST-9"); // nine hours ahead of UTC
        EXPECT_EQ(Ymd(CDate::FromTime(evening)), "2014-05-16");
        EXPECT_EQ(Ymd(CDate::FromTime(early)), "2014-05-15");
    }
    {
        CTimeZone zone("WEST+5"); // five hours behind
        EXPECT_EQ(Ymd(CDate::FromTime(early)), "2014-05-14");
    }
}

TEST_F(CDateTest, TodayFollowsTheTestClock)
{
    CTimeZone zone("UTC0");
    EXPECT_EQ(Ymd(CDate::Today()), "2014-05-15");
    CDate::SetClockForTesting(Seconds(2016, 2, 29, 23));
    EXPECT_EQ(Ymd(CDate::Today()), "2016-02-29");
    CDate::SetClockForTesting(-1);
    EXPECT_EQ(CDate::Today(), CDate::FromTime(std::time(nullptr)));
}

TEST_F(CDateTest, Format)
{
    const CDate date(2014, 3, 5);
    const struct
    {
        const char16_t* format;
        const char16_t* expected;
    } cases[] = {
        {u"%d.%m.%y", u"5.3.14"}, {u"%D %b %Y", u"05 Mar 2014"},
        {u"%B", u"March"},        {u"%Y%M%D", u"20140305"},
        {u"100%%", u"100%"},      {u"%q%/", u"q/"},
        {u"abc%", u"abc"},        {u"", u""},
        {u"%b %B", u"Mar March"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(date.Format(c.format), c.expected) << Narrow(c.format);

    EXPECT_EQ(CDate(1905, 12, 9).Format(u"%y|%M|%D|%b|%B"), u"05|12|09|Dec|December");
    EXPECT_EQ(CDate(2014, 1, 1).Format(u"%b %B"), u"Jan January");
}

TEST_F(CDateTest, FormatPattern)
{
    const CDate date(2014, 3, 5);
    EXPECT_EQ(date.FormatPattern(u"DD/MM/YYYY"), u"05/03/2014");
    EXPECT_EQ(date.FormatPattern(u"d.m.yy"), u"5.3.14");
    EXPECT_EQ(date.FormatPattern(u"yyyy-MM-dd"), u"2014-03-05");
    EXPECT_EQ(date.FormatPattern(u"M/D/YY"), u"3/5/14");
    EXPECT_EQ(date.FormatPattern(), u"05/03/2014");
    CRegionalSettings::SetShortDate(u"d.M.yy");
    EXPECT_EQ(date.FormatPattern(), u"5.3.2014"); // the setting is normalised to D.M.YYYY
}

TEST_F(CDateTest, Keys)
{
    EXPECT_EQ(CDate().GetKey(), u"");
    EXPECT_EQ(CDate(2014, 5, 15).GetKey(), u"20140515");
    EXPECT_EQ(CDate(1850, 1, 1).GetKey(), u"18500101");

    const struct
    {
        const char16_t* key;
        const char* expected;
    } cases[] = {
        {u"20140515", "2014-05-15"}, {u"201405159", "2014-05-15"},
        {u"20140231", "2014-03-03"}, {u"20140000", "none"},
        {u"20140500", "none"},       {u"00000515", "none"},
        {u"2014051", "none"},        {u"", "none"},
        {u"abcdefgh", "none"},
    };
    for (const auto& c : cases) {
        CDate date(2000, 1, 1);
        date.SetKey(c.key);
        EXPECT_EQ(Ymd(date), c.expected) << Narrow(c.key);
    }
}

TEST_F(CDateTest, ShortDatePatternIsNormalised)
{
    const struct
    {
        std::u16string setting;
        const char16_t* pattern;
        char16_t separator;
    } cases[] = {
        {u"d.M.yy", u"D.M.YYYY", u'.'},
        {u"yyyy-MM-dd", u"YYYY-MM-DD", u'-'},
        {u"MM/dd/yy", u"MM/DD/YYYY", u'/'},
        {u"d/M/y", u"D/M/YYYY", u'/'},
        {u"dd MMM yyyy", u"DD/MM/YYYY", u'/'}, // no separator once the blanks are gone
        {u"ddd/MMMM/yyyy", u"DD/MM/YYYY", u'/'},
        {u"yyyy. MM. dd.", u"YYYY.MM.DD.", u'.'},
        {u"ddMMyyyy", u"DD/MM/YYYY", u'/'},
        {u"", u"DD/MM/YYYY", u'/'},
        // Only the first 15 characters count: the last y falls off and comes back.
        {u"      dd/MM/yyyy", u"DD/MM/YYYY", u'/'},
    };
    for (const auto& c : cases) {
        CRegionalSettings::SetShortDate(c.setting);
        char16_t separator = 0;
        EXPECT_EQ(CDate::GetShortDatePattern(&separator), c.pattern) << Narrow(c.setting);
        EXPECT_EQ(separator, c.separator) << Narrow(c.setting);
    }
}

TEST_F(CDateTest, SeparatorAndFieldOrder)
{
    EXPECT_EQ(CDate::GetPatternSeparator(u"DD/MM/YYYY"), u'/');
    EXPECT_EQ(CDate::GetPatternSeparator(u"hh:mm"), u':');
    EXPECT_EQ(CDate::GetPatternSeparator(u"DDMMYYYY"), 0);
    EXPECT_EQ(CDate::GetPatternSeparator(u""), 0);

    const struct
    {
        const char16_t* pattern;
        int day, month, year;
    } cases[] = {
        {u"DD/MM/YYYY", 0, 1, 2}, {u"YYYY-MM-DD", 2, 1, 0}, {u"mm/dd/yy", 1, 0, 2},
        {u"jjjj.mm.dd", 2, 1, 0}, {u"DD/MM", 0, 1, -1},     {u"dMyDMY", 0, 1, 2},
        {u"", 0, 1, 2},
    };
    for (const auto& c : cases) {
        int day = 9;
        int month = 9;
        int year = 9;
        CDate::GetFieldOrder(c.pattern, day, month, year);
        EXPECT_EQ(day, c.day) << Narrow(c.pattern);
        EXPECT_EQ(month, c.month) << Narrow(c.pattern);
        EXPECT_EQ(year, c.year) << Narrow(c.pattern);
    }
}

TEST_F(CDateTest, DateTextToKey)
{
    const struct
    {
        const char16_t* pattern;
        const char16_t* text;
        const char16_t* key;
    } cases[] = {
        {u"DD/MM/YYYY", u"5/3/14", u"20140305"},
        {u"DD/MM/YYYY", u"05/03/2014", u"20140305"},
        {u"DD/MM/YYYY", u"5/3/", u"20140305"}, // no year: the current one
        {u"DD/MM/YYYY", u"5/3/0", u"20000305"},
        {u"DD/MM/YYYY", u"5/3/00", u"20000305"},
        {u"DD/MM/YYYY", u"5/3/25", u"20250305"},
        {u"DD/MM/YYYY", u"5/3/26", u"19260305"},
        {u"DD/MM/YYYY", u"31/02/2014", u"20140303"},
        {u"DD/MM/YYYY", u"x5/3y/20z14", u"20140305"}, // only the digits count
        {u"DD/MM/YYYY", u"5/3/2014/7", u"20140305"},
        {u"DD/MM/YYYY", u"1/1/1850", u"18500101"},
        {u"DD/MM/YYYY", u"31/12/2099", u"20991231"},
        {u"DD/MM/YYYY", u"5/3", u""},
        {u"DD/MM/YYYY", u"", u""},
        {u"DD/MM/YYYY", u"//", u""},
        {u"DD/MM/YYYY", u"32/1/2014", u""},
        {u"DD/MM/YYYY", u"0/1/2014", u""},
        {u"DD/MM/YYYY", u"5/13/2014", u""},
        {u"DD/MM/YYYY", u"5/0/2014", u""},
        {u"DD/MM/YYYY", u"1/1/1849", u""},
        {u"DD/MM/YYYY", u"31/12/1849", u""},
        {u"DD/MM/YYYY", u"1/1/2100", u""},
        {u"DD/MM/YYYY", u"5/3/99999999999999", u""},
        {u"MM/DD/YYYY", u"3/5/2014", u"20140305"},
        {u"YYYY-MM-DD", u"2014-03-05", u"20140305"},
        {u"YYYY-MM-DD", u"2014/03/05", u""},
        {u"DDMMYYYY", u"05032014", u"20140305"},
        {u"DDMMYYYY", u"5032014", u""}, // without a separator the length must match
        {u"DDMMYY", u"050314", u"20140305"},
        {u"DD/MM", u"05/03/2014", u""}, // no year field
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CDate::DateTextToKey(c.text, c.pattern), c.key)
            << Narrow(c.pattern) << " " << Narrow(c.text);
    }
}

TEST_F(CDateTest, DateTextToKeyUsesTheShortDateAndBounds)
{
    CRegionalSettings::SetShortDate(u"yyyy-MM-dd");
    EXPECT_EQ(CDate::DateTextToKey(u"2014-03-05"), u"20140305");
    EXPECT_EQ(CDate::DateTextToKey(u"05/03/2014"), u"");

    const CDate from(2014, 1, 1);
    const CDate to(2014, 12, 31);
    EXPECT_EQ(CDate::DateTextToKey(u"31/12/2013", u"DD/MM/YYYY", from, to), u"");
    EXPECT_EQ(CDate::DateTextToKey(u"1/1/2014", u"DD/MM/YYYY", from, to), u"20140101");
    EXPECT_EQ(CDate::DateTextToKey(u"31/12/2014", u"DD/MM/YYYY", from, to), u"20141231");
    EXPECT_EQ(CDate::DateTextToKey(u"1/1/2015", u"DD/MM/YYYY", from, to), u"");
    // A missing bound is the default one.
    EXPECT_EQ(CDate::DateTextToKey(u"1/1/1849", u"DD/MM/YYYY", CDate(), to), u"");
    EXPECT_EQ(CDate::DateTextToKey(u"1/1/1850", u"DD/MM/YYYY", CDate(), to), u"18500101");
}

TEST_F(CDateTest, IsValidDateText)
{
    EXPECT_TRUE(CDate::IsValidDateText(u"", u"DD/MM/YYYY"));
    EXPECT_TRUE(CDate::IsValidDateText(u"5/3/2014", u"DD/MM/YYYY"));
    EXPECT_FALSE(CDate::IsValidDateText(u"5-3-2014", u"DD/MM/YYYY"));
    EXPECT_FALSE(CDate::IsValidDateText(u" 5/3/2014", u"DD/MM/YYYY"));
    EXPECT_FALSE(CDate::IsValidDateText(u"5/3", u"DD/MM/YYYY"));
    EXPECT_FALSE(CDate::IsValidDateText(u"1/1/1849", u"DD/MM/YYYY"));
    EXPECT_TRUE(CDate::IsValidDateText(u"05032014", u"DDMMYYYY"));
    EXPECT_FALSE(CDate::IsValidDateText(u"1/1/2014", u"DD/MM/YYYY", CDate(2014, 2, 1)));

    CRegionalSettings::SetShortDate(u"d.M.yy");
    EXPECT_TRUE(CDate::IsValidDateText(u"5.3.14"));
    EXPECT_FALSE(CDate::IsValidDateText(u"5/3/14"));
}

TEST_F(CDateTest, PreviousMonths)
{
    CTimeZone zone("UTC0");
    const struct
    {
        double n;
        const char* from;
    } cases[] = {
        {1, "2014-05-01"},   {2, "2014-04-01"},  {5, "2014-01-01"},  {6, "2013-12-01"},
        {13, "2013-05-01"},  {17, "2013-01-01"}, {18, "2012-12-01"}, {30, "2011-12-01"},
        {2.7, "2014-04-01"}, {0, "2014-06-01"}, // after today: nothing can match
    };
    for (const auto& c : cases) {
        CDate from;
        CDate to;
        CDate::PreviousMonths(c.n, from, to);
        EXPECT_EQ(Ymd(from), c.from) << c.n;
        EXPECT_EQ(Ymd(to), "2014-05-15") << c.n;
    }

    // Absurd counts end quickly, far before any creation date (not windowed back to 2000).
    CDate from;
    CDate to;
    for (double n : {1e15, 1e300}) {
        CDate::PreviousMonths(n, from, to);
        EXPECT_LT(from.GetDayNumber(), CDate::kEarliestDay) << n;
        EXPECT_EQ(from.GetDay(), 1) << n;
    }
    CDate::PreviousMonths(12 * 2014 + 5, from, to);
    EXPECT_LT(from.GetDayNumber(), CDate::kEarliestDay);
    CDate::PreviousMonths(std::nan(""), from, to);
    EXPECT_EQ(Ymd(from), "2014-05-01");
}

TEST_F(CDateTest, PreviousDays)
{
    CTimeZone zone("UTC0");
    const struct
    {
        double n;
        const char* from;
    } cases[] = {
        {0, "2014-05-15"},  {1, "2014-05-14"},   {1.9, "2014-05-14"},
        {15, "2014-04-30"}, {365, "2013-05-15"}, {-1, "2014-05-16"},
    };
    for (const auto& c : cases) {
        CDate from;
        CDate to;
        CDate::PreviousDays(c.n, from, to);
        EXPECT_EQ(Ymd(from), c.from) << c.n;
        EXPECT_EQ(Ymd(to), "2014-05-15") << c.n;
    }
    CDate from;
    CDate to;
    CDate::PreviousDays(1e300, from, to);
    EXPECT_LT(from.GetDayNumber(), CDate::kEarliestDay);
}

} // namespace
