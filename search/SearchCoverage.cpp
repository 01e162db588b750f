#include "search/SearchCoverage.h"

#include <algorithm>
#include <utility>

namespace {

std::u16string Number(std::size_t n)
{
    std::u16string text;
    do {
        text.insert(text.begin(), static_cast<char16_t>(u'0' + n % 10));
        n /= 10;
    } while (n != 0);
    return text;
}

} // namespace

void CSearchCoverage::AddDatabase(std::u16string server, std::u16string database,
                                  std::u16string reason)
{
    SCoverageItem item;
    item.m_strServer = std::move(server);
    item.m_strDatabase = std::move(database);
    item.m_strReason = std::move(reason);
    item.m_bDatabase = true;
    m_items.push_back(std::move(item));
}

void CSearchCoverage::AddScript(std::u16string server, std::u16string database, std::u16string type,
                                std::u16string object, std::u16string reason)
{
    SCoverageItem item;
    item.m_strServer = std::move(server);
    item.m_strDatabase = std::move(database);
    item.m_strType = std::move(type);
    item.m_strObject = std::move(object);
    item.m_strReason = std::move(reason);
    m_items.push_back(std::move(item));
}

std::size_t CSearchCoverage::CountDatabases() const
{
    return static_cast<std::size_t>(
        std::count_if(m_items.begin(), m_items.end(),
                      [](const SCoverageItem& item) { return item.m_bDatabase; }));
}

std::size_t CSearchCoverage::CountScripts() const
{
    return m_items.size() - CountDatabases();
}

std::u16string CSearchCoverage::Summary() const
{
    std::u16string text;
    const std::size_t databases = CountDatabases();
    const std::size_t scripts = CountScripts();
    if (databases > 0) {
        text += Number(databases) + (databases == 1 ? u" database could not be searched"
                                                    : u" databases could not be searched");
    }
    if (scripts > 0) {
        if (!text.empty()) {
            text += u", ";
        }
        text += Number(scripts) +
                (scripts == 1 ? u" script could not be read" : u" scripts could not be read");
    }
    return text;
}

std::u16string CSearchCoverage::Describe(const SCoverageItem& item)
{
    std::u16string text = item.m_strServer + u".." + item.m_strDatabase + u": ";
    if (!item.m_bDatabase) {
        text += item.m_strType + u' ' + item.m_strObject + u": ";
    }
    return text + item.m_strReason;
}
