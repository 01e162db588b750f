#pragma once
// How a live connection is encrypted, as the user chooses it per registered server and on
// quarrow-find's command line:
//   off      never encrypt (the login packet still travels with only the protocol's
//            obfuscation, as old tools do);
//   request  encrypt when the server can; the certificate is not checked, as the server's
//            self-made certificate is the common case (protects from eavesdroppers, not from
//            a server in the middle);
//   require  fail unless the whole connection is encrypted, and check the certificate
//            against the trusted authorities and the host name, unless the user trusts the
//            server's certificate.

#include <optional>
#include <string>
#include <string_view>

enum class EEncryptionMode
{
    Off,
    Request,
    Require,
};

struct SConnectOptions
{
    EEncryptionMode m_encryption = EEncryptionMode::Request;
    // Accept whatever certificate the server shows (no authority, no host name check).
    bool m_bTrustServerCertificate = false;

    bool operator==(const SConnectOptions&) const = default;
};

// The word for a mode: "off", "request", "require".
inline std::u16string_view EncryptionModeName(EEncryptionMode mode)
{
    switch (mode) {
    case EEncryptionMode::Off:
        return u"off";
    case EEncryptionMode::Require:
        return u"require";
    case EEncryptionMode::Request:
        break;
    }
    return u"request";
}

// A mode from its word, ASCII case ignored; nothing for any other text.
inline std::optional<EEncryptionMode> EncryptionModeFromName(std::u16string_view text)
{
    for (EEncryptionMode mode :
         {EEncryptionMode::Off, EEncryptionMode::Request, EEncryptionMode::Require}) {
        const std::u16string_view name = EncryptionModeName(mode);
        if (name.size() != text.size())
            continue;
        bool same = true;
        for (size_t i = 0; i < text.size() && same; ++i) {
            const char16_t c = text[i] >= u'A' && text[i] <= u'Z'
                                   ? static_cast<char16_t>(text[i] - u'A' + u'a')
                                   : text[i];
            same = c == name[i];
        }
        if (same)
            return mode;
    }
    return std::nullopt;
}
