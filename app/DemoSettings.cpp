// quarrow-demo-settings FOLDER: fills a settings folder for the demo: the two demo
// catalogues registered, some of their databases ticked, and the components notice marked as
// shown, so that Quarrow opens ready for Find Now. A folder that already holds registrations
// is left as it is (the demo keeps its user's ticks from one run to the next).

#include "catalog/CRegisteredServerStore.h"
#include "platform/CProfile.h"
#include "platform/Startup.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: quarrow-demo-settings FOLDER\n");
        return 2;
    }
    CProfile profile(u"Quarrow", std::filesystem::path(argv[1]));
    CRegisteredServerStore store(profile);
    if (!store.GetServerRegistrations().empty())
        return 0;

    bool bOk = true;
    for (const char16_t* pszServer : {u"demo.qcat", u"demo-legacy.qcat"}) {
        RegisteredServer server;
        server.m_strServerName = pszServer;
        server.m_nNTAuthentication = 1;
        bOk = store.SaveServerRegistration(server) && bOk;
    }
    bOk = store.SetDatabasesUsed({{u"demo.qcat", u"Harbourside", 1},
                                  {u"demo.qcat", u"Lending", 1},
                                  {u"demo-legacy.qcat", u"Accounts", 1}}) &&
          bOk;
    bOk = profile.WriteProfileInt(kSettingsSection, kComponentsNoticeEntry, 1) && bOk;
    if (!bOk) {
        std::fprintf(stderr, "quarrow-demo-settings: could not write the settings in %s\n",
                     argv[1]);
        return 1;
    }
    return 0;
}
