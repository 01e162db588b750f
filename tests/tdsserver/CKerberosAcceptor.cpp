#include "tests/tdsserver/CKerberosAcceptor.h"

#include <gssapi/gssapi.h>
#include <gssapi/gssapi_krb5.h>

namespace {

// The GSSAPI status words as text, both the major and the mechanism's.
std::string StatusText(OM_uint32 major, OM_uint32 minor)
{
    std::string text;
    for (auto [code, type] :
         {std::pair{major, GSS_C_GSS_CODE}, std::pair{minor, GSS_C_MECH_CODE}}) {
        OM_uint32 context = 0;
        // Bounded: a status has a few messages.
        for (int i = 0; i < 8; ++i) {
            OM_uint32 ignored = 0;
            gss_buffer_desc message = GSS_C_EMPTY_BUFFER;
            if (gss_display_status(&ignored, code, type, GSS_C_NO_OID, &context, &message) !=
                GSS_S_COMPLETE) {
                break;
            }
            if (!text.empty()) {
                text += "; ";
            }
            text.append(static_cast<const char*>(message.value), message.length);
            gss_release_buffer(&ignored, &message);
            if (context == 0) {
                break;
            }
        }
        if (type == GSS_C_GSS_CODE && minor == 0) {
            break;
        }
    }
    return text;
}

} // namespace

bool CKerberosAcceptor::UseKeytab(const std::string& path, std::string& error)
{
    if (krb5_gss_register_acceptor_identity(path.c_str()) != GSS_S_COMPLETE) {
        error = "the keytab " + path + " cannot be used";
        return false;
    }
    return true;
}

bool CKerberosAcceptor::Accept(const std::uint8_t* token, std::size_t size, std::string& principal,
                               std::string& error)
{
    if (size == 0) {
        error = "no GSSAPI token came with the login";
        return false;
    }
    OM_uint32 minor = 0;
    gss_ctx_id_t context = GSS_C_NO_CONTEXT;
    gss_buffer_desc input{size, const_cast<std::uint8_t*>(token)};
    gss_buffer_desc output = GSS_C_EMPTY_BUFFER;
    gss_name_t client = GSS_C_NO_NAME;
    OM_uint32 major = gss_accept_sec_context(&minor, &context, GSS_C_NO_CREDENTIAL, &input,
                                             GSS_C_NO_CHANNEL_BINDINGS, &client, nullptr, &output,
                                             nullptr, nullptr, nullptr);
    OM_uint32 ignored = 0;
    gss_release_buffer(&ignored, &output);
    bool accepted = major == GSS_S_COMPLETE;
    if (!accepted) {
        error = GSS_ERROR(major) ? StatusText(major, minor)
                                 : std::string("the token needs more than one round trip");
    } else {
        gss_buffer_desc name = GSS_C_EMPTY_BUFFER;
        if (gss_display_name(&ignored, client, &name, nullptr) == GSS_S_COMPLETE) {
            principal.assign(static_cast<const char*>(name.value), name.length);
            gss_release_buffer(&ignored, &name);
        }
    }
    if (client != GSS_C_NO_NAME) {
        gss_release_name(&ignored, &client);
    }
    if (context != GSS_C_NO_CONTEXT) {
        gss_delete_sec_context(&ignored, &context, GSS_C_NO_BUFFER);
    }
    return accepted;
}
