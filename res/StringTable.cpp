#include "res/StringTable.h"

#include "res/Resource.h"

#include <algorithm>
#include <iterator>

namespace {

struct SStringEntry
{
    int nId;
    const char16_t* pszText;
};

// Sorted by id.
constexpr SStringEntry kStrings[] = {
    {IDP_OLE_INIT_FAILED,
     u"OLE initialization failed.  Make sure that the OLE libraries are the correct version."},
    {IDS_ABOUTBOX, u"&About Quarrow..."},
    {IDS_SEP_CRLF, u"Carriage return-New line"},
    {IDS_SEP_NEWLINE, u"New line"},
    {IDS_SEP_SPACE, u"Space"},
    {IDS_LAST_EXPORT, u"LastExport"},
    {IDS_LAST_COLSEP, u"LastColSep"},
    {IDS_LAST_ROWSEP, u"LastRowSep"},
    {IDS_SELECTED_SUFFIX, u"_Selected"},
    {IDS_EXPORT_FILTER, u"Text (*.csv)|*.csv|All files (*.*)|*.*||"},
    {AFX_IDS_IDLEMESSAGE, u"Ready"},
    {AFX_IDP_PARSE_STRING_SIZE, u"Enter no more than %1 characters."},
};

static_assert(std::is_sorted(std::begin(kStrings), std::end(kStrings),
                             [](const SStringEntry& a, const SStringEntry& b) {
                                 return a.nId < b.nId;
                             }));

} // namespace

namespace StringTable {

bool Load(int nId, QString& str)
{
    const auto* it =
        std::lower_bound(std::begin(kStrings), std::end(kStrings), nId,
                         [](const SStringEntry& entry, int nKey) { return entry.nId < nKey; });
    if (it == std::end(kStrings) || it->nId != nId)
        return false;
    str = QString::fromUtf16(it->pszText);
    return true;
}

QString Get(int nId)
{
    QString str;
    Load(nId, str);
    return str;
}

} // namespace StringTable
