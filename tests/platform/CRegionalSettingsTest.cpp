#include "platform/CRegionalSettings.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Narrow(const std::u16string& text)
{
    return std::string(text.begin(), text.end());
}

// Keeps the process-wide settings as a test found them.
class CRegionalSettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_strShortDate = CRegionalSettings::GetShortDate();
        m_chDecimal = CRegionalSettings::GetDecimal();
    }
    void TearDown() override
    {
        CRegionalSettings::SetShortDate(m_strShortDate);
        CRegionalSettings::SetDecimal(m_chDecimal);
    }

private:
    std::u16string m_strShortDate;
    char16_t m_chDecimal = u'.';
};

TEST_F(CRegionalSettingsTest, DateFormatToPattern)
{
    const struct
    {
        const char* format;
        const char16_t* pattern;
    } cases[] = {
        {"%m/%d/%y", u"MM/dd/yy"},
        {"%d.%m.%Y", u"dd.MM.yyyy"},
        {"%Y-%m-%d", u"yyyy-MM-dd"},
        {"%D", u"MM/dd/yy"},
        {"%F", u"yyyy-MM-dd"},
        {"%x", u"MM/dd/yy"},
        {"%e/%m/%Y", u"d/MM/yyyy"},
        {"%-d.%-m.%Y", u"d.M.yyyy"},
        {"%Od/%Om/%Ey", u"dd/MM/yy"},
        {"%C%y-%m-%d", u"yyyy-MM-dd"},
        {"%Y. %m. %d.", u"yyyy. MM. dd"},
        {"%a %d %b %Y", u"dd MM yyyy"},
        {"%A, %d.%m.%Y", u"dd.MM.yyyy"},
        {"%d de %m de %Y", u"dd  MM  yyyy"},
        {"%Y\xe5\xb9\xb4%m\xe6\x9c\x88%d\xe6\x97\xa5", u"yyyy\u5e74MM\u6708dd"},
        {"%H:%M:%S", u""},
        {"%d/%m", u""},
        {"", u""},
        {"%", u""},
        {"%d/%m/%", u""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CRegionalSettings::PatternFromDateFormat(c.format), c.pattern) << c.format;
    }
}

TEST_F(CRegionalSettingsTest, ReadsTheCLocale)
{
    for (const char* name : {"C", "POSIX", "C.UTF-8"}) {
        std::u16string shortDate;
        char16_t decimal = 0;
        EXPECT_TRUE(CRegionalSettings::ReadLocale(name, shortDate, decimal)) << name;
        EXPECT_EQ(shortDate, u"MM/dd/yy") << name;
        EXPECT_EQ(decimal, u'.') << name;
    }
}

TEST_F(CRegionalSettingsTest, UnknownLocaleGivesTheDefaults)
{
    std::u16string shortDate = u"x";
    char16_t decimal = u'x';
    EXPECT_FALSE(CRegionalSettings::ReadLocale("qq_QQ.NOPE", shortDate, decimal));
    EXPECT_EQ(shortDate, u"DD/MM/YYYY");
    EXPECT_EQ(decimal, u'.');
}

TEST_F(CRegionalSettingsTest, ReloadFollowsTheEnvironment)
{
    const char* old = std::getenv("LC_ALL");
    const std::string saved = old != nullptr ? old : "";
    CRegionalSettings::SetShortDate(u"yyyy.MM.dd");
    CRegionalSettings::SetDecimal(u',');

    setenv("LC_ALL", "C", 1);
    CRegionalSettings::ReloadFromLocale();
    EXPECT_EQ(Narrow(CRegionalSettings::GetShortDate()), "MM/dd/yy");
    EXPECT_EQ(CRegionalSettings::GetDecimal(), u'.');

    setenv("LC_ALL", "qq_QQ.NOPE", 1);
    CRegionalSettings::ReloadFromLocale();
    EXPECT_EQ(Narrow(CRegionalSettings::GetShortDate()), "DD/MM/YYYY");

    if (old != nullptr)
        setenv("LC_ALL", saved.c_str(), 1);
    else
        unsetenv("LC_ALL");
}

TEST_F(CRegionalSettingsTest, SettersTellTheListeners)
{
    std::vector<std::string> heard;
    const int handle = CRegionalSettings::AddListener([&heard] {
        // The new value is in place when the listener runs.
        heard.push_back(Narrow(CRegionalSettings::GetShortDate()) + " " +
                        static_cast<char>(CRegionalSettings::GetDecimal()));
    });
    CRegionalSettings::SetShortDate(u"d.M.yy");
    CRegionalSettings::SetDecimal(u',');
    CRegionalSettings::SetShortDate(u"d.M.yy"); // told again even without a change
    CRegionalSettings::RemoveListener(handle);
    CRegionalSettings::SetShortDate(u"yyyy-MM-dd");

    EXPECT_EQ(heard, (std::vector<std::string>{"d.M.yy .", "d.M.yy ,", "d.M.yy ,"}));
    EXPECT_EQ(Narrow(CRegionalSettings::GetShortDate()), "yyyy-MM-dd");
}

TEST_F(CRegionalSettingsTest, ListenersMayRemoveThemselvesAndOthers)
{
    int firstCalls = 0;
    int secondCalls = 0;
    int second = 0;
    int first = 0;
    first = CRegionalSettings::AddListener([&] {
        ++firstCalls;
        CRegionalSettings::RemoveListener(first);
        CRegionalSettings::RemoveListener(second);
    });
    second = CRegionalSettings::AddListener([&] { ++secondCalls; });
    CRegionalSettings::SetDecimal(u',');
    CRegionalSettings::SetDecimal(u'.');
    EXPECT_EQ(firstCalls, 1);
    EXPECT_EQ(secondCalls, 0);
}

TEST_F(CRegionalSettingsTest, ListenersRunOnTheCallersThread)
{
    std::thread::id heardOn;
    const int handle =
        CRegionalSettings::AddListener([&heardOn] { heardOn = std::this_thread::get_id(); });
    std::thread::id setter;
    std::thread thread([&setter] {
        setter = std::this_thread::get_id();
        CRegionalSettings::SetDecimal(u',');
    });
    thread.join();
    CRegionalSettings::RemoveListener(handle);
    EXPECT_EQ(heardOn, setter);
}

TEST_F(CRegionalSettingsTest, ConcurrentSettersAndReaders)
{
    std::atomic<int> calls{0};
    const int handle = CRegionalSettings::AddListener([&calls] { ++calls; });
    const std::u16string start = CRegionalSettings::GetShortDate();
    std::atomic<bool> torn{false};
    auto writer = [](const char16_t* pattern) {
        for (int i = 0; i < 500; ++i)
            CRegionalSettings::SetShortDate(pattern);
    };
    std::thread a(writer, u"dd/MM/yyyy");
    std::thread b(writer, u"yyyy-MM-dd");
    std::thread reader([&torn, &start] {
        for (int i = 0; i < 1000; ++i) {
            const std::u16string value = CRegionalSettings::GetShortDate();
            if (value != u"dd/MM/yyyy" && value != u"yyyy-MM-dd" && value != start)
                torn = true;
        }
    });
    a.join();
    b.join();
    reader.join();
    CRegionalSettings::RemoveListener(handle);
    EXPECT_FALSE(torn);
    EXPECT_EQ(calls.load(), 1000);
}

} // namespace
