#pragma once
// The keyring suites' two private session buses, started once per test program: one with an
// unlocked keyring on it, which becomes the program's session bus, and one with none. A bus
// that does not come up fails the test.

#include "tests/support/CPrivateKeyring.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

// Until the keyring bus is up, the session bus is one that does not exist: no test program
// that includes this may reach the user's own bus or keyring.
inline const bool g_bAwayFromTheUsersBus =
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quarrow-test-bus", 1) == 0;

// The bus with a keyring; its address, or "" after a test failure saying why.
inline std::string KeyringBusAddress()
{
    static std::string error;
    static CPrivateBus* pBus = [] {
        auto* bus = new CPrivateBus;
        if (!bus->Start(error) || !bus->StartKeyring(error)) {
            delete bus;
            return static_cast<CPrivateBus*>(nullptr);
        }
        setenv("DBUS_SESSION_BUS_ADDRESS", bus->Address().c_str(), 1);
        return bus;
    }();
    // Ends the daemons when the program ends.
    static std::unique_ptr<CPrivateBus> owner(pBus);
    if (!pBus)
        ADD_FAILURE() << error;
    return pBus ? pBus->Address() : std::string();
}

// The bus with no keyring (a Secret Service could be started on it by activation, but must
// not be).
inline std::string EmptyBusAddress()
{
    static std::string error;
    static std::unique_ptr<CPrivateBus> bus = [] {
        auto made = std::make_unique<CPrivateBus>();
        if (!made->Start(error))
            made.reset();
        return made;
    }();
    if (!bus)
        ADD_FAILURE() << error;
    return bus ? bus->Address() : std::string();
}
