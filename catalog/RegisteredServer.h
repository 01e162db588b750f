#pragma once
// One registered server as the store keeps it.

#include "catalog/EncryptionMode.h"

#include <cstdint>
#include <string>

struct RegisteredServer
{
    // The network name as typed or picked; may hold a backslash (host\instance).
    std::u16string m_strServerName;
    // The SQL Server login, kept whatever the authentication mode.
    std::u16string m_strLoginName;
    // Kept exactly as typed: in the desktop keyring while one runs, else in the settings file
    // (readable by its owner only).
    std::u16string m_strPassword;
    // 1: Windows authentication; 0: SQL Server login and password.
    int32_t m_nNTAuthentication = 1;
    // How the live connection is encrypted, and whether the server's certificate is taken
    // as it is.
    EEncryptionMode m_encryption = EEncryptionMode::Request;
    bool m_bTrustServerCertificate = false;

    SConnectOptions GetConnectOptions() const { return {m_encryption, m_bTrustServerCertificate}; }

    bool operator==(const RegisteredServer&) const = default;
};
