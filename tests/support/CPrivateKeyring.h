#pragma once
// A session bus of the test's own (dbus-daemon on a socket in a scratch folder) and, on it,
// an unlocked keyring (gnome-keyring-daemon with only its Secret Service), both with HOME and
// the XDG folders in that scratch folder. Nothing reaches the user's bus or keyring. The
// daemons end with the object, and with the test process if it dies first.

#include "tests/support/CScratchFolder.h"

#include <string>
#include <sys/types.h>

class CPrivateBus
{
public:
    CPrivateBus() = default;
    ~CPrivateBus();
    CPrivateBus(const CPrivateBus&) = delete;
    CPrivateBus& operator=(const CPrivateBus&) = delete;

    // Starts the bus and waits, bounded, until it accepts connections.
    bool Start(std::string& error);
    // Adds the keyring to the bus and waits, bounded, until it owns the Secret Service name.
    bool StartKeyring(std::string& error);

    const std::string& Address() const { return m_strAddress; }
    const CScratchFolder& Folder() const { return m_folder; }

private:
    CScratchFolder m_folder;
    std::string m_strAddress;
    pid_t m_busPid = -1;
    pid_t m_keyringPid = -1;
};
