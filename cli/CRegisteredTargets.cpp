// --registered: the servers and ticks the window program keeps in its settings root.

#include "catalog/CRegisteredServerStore.h"
#include "cli/CFindCommand.h"
#include "platform/CProfile.h"
#include "platform/CSecretService.h"

#include <memory>

bool LoadRegisteredTargets(std::vector<SFindTarget>& targets, std::string& /*error*/)
{
    // The window program's root, whatever this executable is called.
    auto profile = std::make_shared<CProfile>(u"Quarrow");
    // The window program keeps its passwords in the desktop keyring while one runs.
    profile->SetSecretStore(&CSecretService::Process());
    // Reading must not create settings: without the key there is nothing registered.
    if (!profile->SectionExists(u"RegisteredServers")) {
        return true;
    }
    auto store = std::make_shared<CRegisteredServerStore>(*profile);
    for (const auto& server : store->GetServerRegistrations()) {
        SFindTarget target;
        target.m_strServer = server.m_strServerName;
        target.m_bOwnLogin = true;
        target.m_bIntegrated = server.m_nNTAuthentication != 0;
        target.m_strLogin = server.m_strLoginName;
        target.m_strPassword = server.m_strPassword;
        target.m_connectOptions = server.GetConnectOptions();
        std::u16string name = server.m_strServerName;
        target.m_isWanted = [profile, store, name](const std::u16string& database) {
            return store->IsDatabaseUsed(name, database);
        };
        targets.push_back(std::move(target));
    }
    return true;
}
