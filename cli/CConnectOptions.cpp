#include "cli/CConnectOptions.h"

#include "platform/Utf.h"

using quarrow::FromUtf8;

EConnectOption ParseConnectOption(const std::string& arg,
                                  const std::function<bool(std::string&)>& value, bool inlineValue,
                                  SConnectArguments& options, std::string& error)
{
    std::string text;
    if (arg == "-S") {
        if (!value(text)) {
            return EConnectOption::Failed;
        }
        if (text.empty()) {
            error = "-S needs a server name";
            return EConnectOption::Failed;
        }
        options.m_servers.push_back(FromUtf8(text));
        return EConnectOption::Read;
    }
    if (arg == "-d") {
        if (!value(text)) {
            return EConnectOption::Failed;
        }
        options.m_databases.push_back(FromUtf8(text));
        return EConnectOption::Read;
    }
    if (arg == "-U") {
        if (options.m_login) {
            error = "-U is given twice; give it once";
            return EConnectOption::Failed;
        }
        if (!value(text)) {
            return EConnectOption::Failed;
        }
        options.m_login = FromUtf8(text);
        return EConnectOption::Read;
    }
    if (arg == "--encrypt") {
        if (options.m_encryption) {
            error = "--encrypt is given twice; give it once";
            return EConnectOption::Failed;
        }
        if (!value(text)) {
            return EConnectOption::Failed;
        }
        const auto mode = EncryptionModeFromName(FromUtf8(text));
        if (!mode) {
            error = "unknown encryption mode '" + text +
                    "'; use --encrypt off, --encrypt request or --encrypt require";
            return EConnectOption::Failed;
        }
        options.m_encryption = *mode;
        return EConnectOption::Read;
    }
    if (arg == "--trust-server-certificate") {
        if (inlineValue) {
            error = arg + " takes no value";
            return EConnectOption::Failed;
        }
        options.m_bTrustServerCertificate = true;
        return EConnectOption::Read;
    }
    return EConnectOption::NotOurs;
}

const char* ConnectUsage()
{
    return "  -S SERVER        a server (repeatable): HOST, HOST\\INSTANCE, HOST,PORT;\n"
           "                   a catalogue snapshot is named by its file, e.g. -S demo.qcat\n"
           "  -d DATABASE      only databases of exactly this name (repeatable)\n"
           "  -U LOGIN         a SQL Server login; the password is read from $QUARROW_PASSWORD,\n"
           "                   else asked for on the terminal (without -U: integrated login)\n"
           "  --encrypt MODE   off, request (the default) or require: encryption of live\n"
           "                   connections; require checks the server's certificate\n"
           "  --trust-server-certificate\n"
           "                   with require: skip the certificate check\n";
}
