#pragma once
// The test server's command line: the catalogue it serves and the faults it plays.

#include <cstdint>
#include <string>
#include <vector>

struct STdsServerOptions
{
    std::string m_strCatalogue;
    int m_nPort = 0; // 0: the system picks
    bool m_bCheckLogin = false;
    std::u16string m_strUser;
    std::u16string m_strPassword;
    bool m_bRefuseLogin = false;
    bool m_bNoAnswer = false;
    std::int64_t m_nDropAfterRows = -1; // < 0: never
    int m_nSlowRowsMs = 0;
    std::vector<std::u16string> m_unopenable;
    bool m_bRequireEncryption = false;
    std::string m_strTlsCertificate; // PEM chain; with the key, the server offers TLS
    std::string m_strTlsKey;
    bool m_bNoEncryption = false; // ENCRYPT_NOT_SUP even with a certificate
    std::string m_strLog;
    // Integrated logins must bring a Kerberos token these keys accept; empty: any is taken.
    std::string m_strKerberosKeytab;
};

// The usage text printed with a command-line error.
extern const char* const kTdsServerUsage;

// Parses the arguments after the program name. False with a message when they are wrong.
bool ParseTdsServerOptions(const std::vector<std::string>& args, STdsServerOptions& options,
                           std::string& error);
