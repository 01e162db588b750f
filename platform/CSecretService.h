#pragma once
// The desktop keyring: the Secret Service on the session bus, through libsecret. Whether one
// runs is asked on a connection of our own, without starting a bus or a keyring; only then
// does libsecret talk to it, on the session bus that GLib keeps (told not to end the program
// when the bus goes away). Every call is bounded in time.

#include "platform/ISecretStore.h"

#include <mutex>
#include <optional>
#include <string>

class CSecretService : public ISecretStore
{
public:
    // Asking the bus whether a keyring runs: connecting and one call.
    static constexpr int kProbeMilliseconds = 1000;
    // One keyring operation; the keyring may ask the user to unlock it meanwhile.
    static constexpr int kCallMilliseconds = 30000;

    // busAddress: where to look for the keyring; SessionBusAddress() when empty. The keyring
    // calls go to the session bus and fail unless it is the bus at busAddress.
    explicit CSecretService(std::string busAddress = {}, int nCallMilliseconds = kCallMilliseconds);
    CSecretService(const CSecretService&) = delete;
    CSecretService& operator=(const CSecretService&) = delete;

    // The keyring of the user's session, made on first use.
    static CSecretService& Process();
    // $DBUS_SESSION_BUS_ADDRESS, else the bus socket in $XDG_RUNTIME_DIR; empty when there
    // is neither (no bus is started for us then).
    static std::string SessionBusAddress();

    // Asks the bus once whether the Secret Service name has an owner, and keeps the answer
    // for the object's life.
    bool IsRunning() override;
    bool Store(const SSecretKey& key, const std::u16string& secret, std::string& error) override;
    ESecretResult Lookup(const SSecretKey& key, std::u16string& secret,
                         std::string& error) override;
    bool Clear(const SSecretKey& key, std::string& error) override;

    // The error text of the last probe that answered "not running" (for notes and tests).
    std::string GetProbeError() const;

private:
    // The identity of the bus the keyring was found on; empty with a reason when none runs.
    std::string RunningBusGuid(std::string& error);

    std::string m_strBusAddress;
    std::string m_strBusGuid;
    int m_nCallMilliseconds;
    mutable std::mutex m_lock;
    std::optional<bool> m_bRunning;
    std::string m_strProbeError;
};
