#include "catalog/CKerberosTicket.h"

#include "platform/Utf.h"

#include <ctime>
#include <krb5.h>

namespace {

using quarrow::FromAscii;
using quarrow::FromUtf8;

// A cache holds a handful of tickets; this only bounds a damaged one.
constexpr int kMaxCredentials = 100000;

std::u16string ErrorText(krb5_context context, krb5_error_code code)
{
    const char* pText = krb5_get_error_message(context, code);
    std::u16string text = FromUtf8(pText ? pText : "unknown Kerberos error");
    krb5_free_error_message(context, pText);
    return text;
}

} // namespace

SKerberosTicket CKerberosTicket::Check(int64_t nNow)
{
    SKerberosTicket ticket;
    if (nNow == 0)
        nNow = static_cast<int64_t>(time(nullptr));
    krb5_context context = nullptr;
    if (krb5_error_code code = krb5_init_context(&context); code != 0) {
        ticket.m_strReason = u"Kerberos cannot be set up on this machine (error " +
                             FromAscii(std::to_string(code)) + u"); check /etc/krb5.conf";
        return ticket;
    }
    krb5_ccache cache = nullptr;
    if (krb5_error_code code = krb5_cc_default(context, &cache); code != 0) {
        ticket.m_strReason = u"no credential cache: " + ErrorText(context, code);
        krb5_free_context(context);
        return ticket;
    }
    char* pName = nullptr;
    if (krb5_cc_get_full_name(context, cache, &pName) == 0 && pName) {
        ticket.m_strCache = FromUtf8(pName);
        krb5_free_string(context, pName);
    }
    const std::u16string where = u"the credential cache " + ticket.m_strCache;
    krb5_principal principal = nullptr;
    if (krb5_cc_get_principal(context, cache, &principal) != 0) {
        // A cache that does not exist, or was never filled.
        ticket.m_strReason = where + u" holds no tickets";
        krb5_cc_close(context, cache);
        krb5_free_context(context);
        return ticket;
    }
    char* pPrincipal = nullptr;
    if (krb5_unparse_name(context, principal, &pPrincipal) == 0 && pPrincipal) {
        ticket.m_strPrincipal = FromUtf8(pPrincipal);
        krb5_free_unparsed_name(context, pPrincipal);
    }
    krb5_free_principal(context, principal);

    krb5_cc_cursor cursor = nullptr;
    int nTickets = 0;
    if (krb5_cc_start_seq_get(context, cache, &cursor) == 0) {
        krb5_creds creds;
        for (int i = 0;
             i < kMaxCredentials && krb5_cc_next_cred(context, cache, &cursor, &creds) == 0; ++i) {
            // Configuration entries are not tickets.
            if (!krb5_is_config_principal(context, creds.server)) {
                ++nTickets;
                if (static_cast<int64_t>(creds.times.endtime) - nNow >= kMinimumLifetimeSeconds)
                    ticket.m_bUsable = true;
            }
            krb5_free_cred_contents(context, &creds);
            if (ticket.m_bUsable)
                break;
        }
        krb5_cc_end_seq_get(context, cache, &cursor);
    }
    if (!ticket.m_bUsable) {
        ticket.m_strReason =
            nTickets == 0 ? where + u" holds no tickets for " + ticket.m_strPrincipal
                          : where + u" holds only expired tickets for " + ticket.m_strPrincipal;
    }
    krb5_cc_close(context, cache);
    krb5_free_context(context);
    return ticket;
}
