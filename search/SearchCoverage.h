#pragma once
// What a search could not look at: databases that gave no object list and objects whose
// script could not be read. The rows found do not change; the user is told what they miss.

#include <cstddef>
#include <string>
#include <vector>

struct SCoverageItem
{
    std::u16string m_strServer;
    std::u16string m_strDatabase;
    std::u16string m_strType;   // empty for a database
    std::u16string m_strObject; // empty for a database
    std::u16string m_strReason;
    bool m_bDatabase = false; // the whole database, not one object
};

class CSearchCoverage
{
public:
    void AddDatabase(std::u16string server, std::u16string database, std::u16string reason);
    void AddScript(std::u16string server, std::u16string database, std::u16string type,
                   std::u16string object, std::u16string reason);
    void Clear() { m_items.clear(); }

    // In the order met.
    const std::vector<SCoverageItem>& GetItems() const { return m_items; }
    std::size_t CountDatabases() const;
    std::size_t CountScripts() const;
    bool IsComplete() const { return m_items.empty(); }

    // "1 database could not be searched, 2 scripts could not be read"; empty when complete.
    std::u16string Summary() const;
    // One item in a line: "SERVER..DATABASE: reason" or "SERVER..DATABASE: TYPE OBJECT: reason".
    static std::u16string Describe(const SCoverageItem& item);

private:
    std::vector<SCoverageItem> m_items;
};
