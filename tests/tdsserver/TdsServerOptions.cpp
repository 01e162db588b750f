#include "tests/tdsserver/TdsServerOptions.h"

#include "platform/Utf.h"

#include <charconv>

const char* const kTdsServerUsage =
    "usage: tds-test-server --catalogue FILE.qcat [--port N] [--login USER:PASSWORD]\n"
    "                       [--refuse-login] [--no-answer] [--drop-after-rows N]\n"
    "                       [--slow-rows MS] [--unopenable NAME]... [--require-encryption]\n"
    "                       [--tls-cert FILE.pem --tls-key FILE.pem] [--no-encryption]\n"
    "                       [--log FILE] [--kerberos-keytab FILE]\n";

namespace {

// Longest --slow-rows pause: a minute between rows is already far beyond any test's need.
constexpr std::int64_t kMaxSlowRowsMs = 60'000;

bool ParseNumber(const std::string& text, std::int64_t low, std::int64_t high, std::int64_t& value)
{
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= low &&
           value <= high;
}

} // namespace

bool ParseTdsServerOptions(const std::vector<std::string>& args, STdsServerOptions& options,
                           std::string& error)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string text;
        std::int64_t number = 0;
        if (arg == "--catalogue") {
            if (!value(options.m_strCatalogue)) {
                return false;
            }
        } else if (arg == "--port") {
            if (!value(text)) {
                return false;
            }
            if (!ParseNumber(text, 0, 65535, number)) {
                error = "--port takes a number from 0 to 65535, not '" + text + "'";
                return false;
            }
            options.m_nPort = static_cast<int>(number);
        } else if (arg == "--login") {
            if (!value(text)) {
                return false;
            }
            auto colon = text.find(':');
            if (colon == std::string::npos || colon == 0) {
                error = "--login takes USER:PASSWORD, not '" + text + "'";
                return false;
            }
            options.m_bCheckLogin = true;
            options.m_strUser = quarrow::FromUtf8(text.substr(0, colon));
            options.m_strPassword = quarrow::FromUtf8(text.substr(colon + 1));
        } else if (arg == "--refuse-login") {
            options.m_bRefuseLogin = true;
        } else if (arg == "--no-answer") {
            options.m_bNoAnswer = true;
        } else if (arg == "--drop-after-rows") {
            if (!value(text)) {
                return false;
            }
            if (!ParseNumber(text, 0, INT64_MAX, number)) {
                error = "--drop-after-rows takes a row count of 0 or more, not '" + text + "'";
                return false;
            }
            options.m_nDropAfterRows = number;
        } else if (arg == "--slow-rows") {
            if (!value(text)) {
                return false;
            }
            if (!ParseNumber(text, 0, kMaxSlowRowsMs, number)) {
                error = "--slow-rows takes milliseconds from 0 to 60000, not '" + text + "'";
                return false;
            }
            options.m_nSlowRowsMs = static_cast<int>(number);
        } else if (arg == "--unopenable") {
            if (!value(text)) {
                return false;
            }
            if (text.empty()) {
                error = "--unopenable needs a database name";
                return false;
            }
            options.m_unopenable.push_back(quarrow::FromUtf8(text));
        } else if (arg == "--require-encryption") {
            options.m_bRequireEncryption = true;
        } else if (arg == "--tls-cert" || arg == "--tls-key") {
            if (!value(text)) {
                return false;
            }
            if (text.empty()) {
                error = arg + " needs a file name";
                return false;
            }
            (arg == "--tls-cert" ? options.m_strTlsCertificate : options.m_strTlsKey) = text;
        } else if (arg == "--no-encryption") {
            options.m_bNoEncryption = true;
        } else if (arg == "--log") {
            if (!value(options.m_strLog)) {
                return false;
            }
        } else if (arg == "--kerberos-keytab") {
            if (!value(options.m_strKerberosKeytab)) {
                return false;
            }
        } else {
            error = "unknown argument '" + arg + "'";
            return false;
        }
    }
    if (options.m_strTlsCertificate.empty() != options.m_strTlsKey.empty()) {
        error = "--tls-cert and --tls-key go together";
        return false;
    }
    if (options.m_strCatalogue.empty()) {
        error = "--catalogue FILE.qcat is required";
        return false;
    }
    return true;
}
