#include "search/CreationDate.h"

#include <gtest/gtest.h>
#include <string>

namespace {

std::string Ymd(const CDate& date)
{
    if (!date.IsValid())
        return "none";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", date.GetYear(), date.GetMonth(),
                  date.GetDay());
    return buffer;
}

struct SCase
{
    const char16_t* text;
    const char* expected;
};

std::string Narrow(const char16_t* text)
{
    const std::u16string wide(text);
    return std::string(wide.begin(), wide.end());
}

TEST(CreationDateTest, ModernTexts)
{
    const SCase cases[] = {
        {u"2014-05-15 10:20:00", "2014-05-15"},
        {u"2014-05-15", "2014-05-15"}, // no time of day
        {u"2014-05-15   10:20:00", "2014-05-15"},
        {u"2014-5-5 01:00:00", "2014-05-05"},
        {u"2014-05-15T10:20:00", "2014-05-15"}, // the day stops at its first non-digit
        {u" 2014-05-15", "2014-05-15"},
        {u"2014-02-29 00:00:00", "2014-03-01"},
        {u"14-05-15 00:00:00", "2014-05-15"},
        {u"98-05-15", "1998-05-15"},
        {u"1753-01-01 00:00:00", "1753-01-01"},
        {u"", "none"},
        {u"2014", "none"},
        {u"2014-05", "none"},
        {u"2014-05-", "none"},
        {u"2014-05- 10:20", "none"},
        {u"2014--15 10:20", "none"},
        {u"-05-15 10:20", "none"},
        {u"abcd-05-15", "none"},
        {u"2014-xx-15", "none"},
        {u"2014-00-15", "none"},
        {u"2014-13-15", "none"},
        {u"2014-05-00", "none"},
        {u"2014-05-32", "none"},
        {u"May 15 2014 10:20AM", "none"},
        {u"99999999999-05-15", "none"}, // beyond any day number
    };
    for (const SCase& c : cases)
        EXPECT_EQ(Ymd(ParseCreationDate(EFlavour::Modern, c.text)), c.expected) << Narrow(c.text);
}

TEST(CreationDateTest, LegacyTexts)
{
    const SCase cases[] = {
        {u"May  5 2014 10:20AM", "2014-05-05"}, // one-digit day padded to two places
        {u"May 15 2014 10:20AM", "2014-05-15"},
        {u"May 15 2014", "2014-05-15"}, // no time of day
        {u"Jan  1 2000     12:00AM", "2000-01-01"},
        {u"Dec 31 1999 11:59PM", "1999-12-31"},
        {u"Feb 29 2012 1:00AM", "2012-02-29"},
        {u"Feb 29 2013 1:00AM", "2013-03-01"},
        {u"Sep  9 14 1:00AM", "2014-09-09"},
        {u"", "none"},
        {u"May", "none"},
        {u"May 15", "none"},
        {u"May 15 ", "none"},
        {u"May 2014 10:20AM", "none"}, // no year after the day
        {u"may 15 2014 10:20AM", "none"},
        {u"MAY 15 2014 10:20AM", "none"},
        {u"Sept 15 2014 10:20AM", "none"},
        {u"May 0 2014 10:20AM", "none"},
        {u"May 32 2014 10:20AM", "none"},
        {u"May xx 2014 10:20AM", "none"},
        {u"May 15 yyyy 10:20AM", "none"},
        {u"2014-05-15 10:20:00", "none"},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(Ymd(ParseCreationDate(EFlavour::Legacy, c.text)), c.expected) << Narrow(c.text);
}

TEST(CreationDateTest, EveryMonthNameOfTheLegacyFlavour)
{
    const char16_t* names[] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                               u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
    for (int i = 0; i < 12; ++i) {
        const std::u16string text = std::u16string(names[i]) + u" 28 2014 10:20AM";
        const CDate date = ParseCreationDate(EFlavour::Legacy, text);
        EXPECT_EQ(date, CDate(2014, i + 1, 28)) << i;
    }
}

} // namespace
