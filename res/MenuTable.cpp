#include "res/MenuTable.h"

#include "res/Resource.h"

#include <iterator>

namespace {

using K = SMenuEntry::EKind;

constexpr SMenuEntry kFile[] = {
    {K::Item, u"&New SQL Server Registration...", ID_NEW_REGISTRATION},
    {K::Item, u"&Remove SQL Server", ID_REMOVE_SERVER},
    {K::Separator},
    {K::Item, u"&Close\tAlt-F4", ID_APP_EXIT},
};

constexpr SMenuEntry kView[] = {
    {K::Item, u"&Preview Pane", ID_VIEW_PREVIEW},
    {K::Separator},
    {K::Item, u"&Next Match\tF3", ID_NEXT_MATCH},
    {K::Item, u"Pre&vious Match\tShift+F3", ID_PREVIOUS_MATCH},
};

constexpr SMenuEntry kWeb[] = {
    {K::Item, u"&Product News", ID_WEB_PRODUCT_NEWS},
    {K::Item, u"Send Feedbac&k...", ID_WEB_FEEDBACK},
    {K::Item, u"&Home Page", ID_WEB_HOME_PAGE},
};

constexpr SMenuEntry kHelp[] = {
    {K::Item, u"Quarrow &Help\tF1", ID_HELP_FINDER}, {K::Separator},
    {K::Popup, u"Quarrow on the &Web", 0, kWeb},     {K::Separator},
    {K::Item, u"&About...", IDM_ABOUTBOX},
};

constexpr SMenuEntry kMainMenu[] = {
    {K::Popup, u"&File", 0, kFile},
    {K::Popup, u"&View", 0, kView},
    {K::Popup, u"&Help", 0, kHelp},
};

constexpr SMenuEntry kTreeItems[] = {
    {K::Item, u"&New SQL Server Registration...", ID_NEW_REGISTRATION},
    {K::Item, u"&Remove SQL Server", ID_REMOVE_SERVER},
    {K::Separator},
    {K::Item, u"&Take Snapshot...", ID_TAKE_SNAPSHOT},
};
constexpr SMenuEntry kTreeMenu[] = {
    {K::Popup, u"Tree", 0, kTreeItems},
};

constexpr SMenuEntry kResultItems[] = {
    {K::Item, u"&View Source", ID_VIEW_SOURCE},
    {K::Item, u"&Export", ID_EXPORT},
};
constexpr SMenuEntry kResultMenu[] = {
    {K::Popup, u"Results", 0, kResultItems},
};

constexpr SMenuResource kMenus[] = {
    {IDR_MENU_MAIN, kMainMenu},
    {IDR_MENU_TREE, kTreeMenu},
    {IDR_MENU_RESULTS, kResultMenu},
};

} // namespace

namespace MenuTable {

const SMenuResource* Find(int nId)
{
    for (const SMenuResource& menu : kMenus) {
        if (menu.nId == nId)
            return &menu;
    }
    return nullptr;
}

} // namespace MenuTable
