#include "platform/CSecretService.h"

#include "platform/Utf.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <libsecret/secret.h>
#include <sys/stat.h>
#include <thread>

namespace {

using quarrow::FromUtf8;
using quarrow::ToUtf8;

constexpr const char* kServiceName = "org.freedesktop.secrets";
constexpr const char* kServicePath = "/org/freedesktop/secrets";
constexpr const char* kServiceInterface = "org.freedesktop.Secret.Service";

constexpr const char* kRootAttribute = "root";
constexpr const char* kServerAttribute = "server";
constexpr const char* kLoginAttribute = "login";

const SecretSchema* Schema()
{
    static const SecretSchema schema = [] {
        SecretSchema s{};
        s.name = "work.korvane.Quarrow.ServerLogin";
        s.flags = SECRET_SCHEMA_NONE;
        s.attributes[0] = {kRootAttribute, SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[1] = {kServerAttribute, SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[2] = {kLoginAttribute, SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[3] = {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return &schema;
}

// Cancels the call it guards when the call outlives its time.
class CDeadline
{
public:
    explicit CDeadline(int nMilliseconds) : m_pCancellable(g_cancellable_new())
    {
        m_thread = std::thread([this, nMilliseconds] {
            std::unique_lock lock(m_lock);
            if (!m_done.wait_for(lock, std::chrono::milliseconds(nMilliseconds),
                                 [this] { return m_bFinished; })) {
                m_bExpired = true;
                g_cancellable_cancel(m_pCancellable);
            }
        });
    }
    ~CDeadline()
    {
        {
            std::lock_guard lock(m_lock);
            m_bFinished = true;
        }
        m_done.notify_all();
        m_thread.join();
        g_object_unref(m_pCancellable);
    }
    CDeadline(const CDeadline&) = delete;
    CDeadline& operator=(const CDeadline&) = delete;

    GCancellable* Get() const { return m_pCancellable; }
    bool Expired()
    {
        std::lock_guard lock(m_lock);
        return m_bExpired;
    }

private:
    GCancellable* m_pCancellable;
    std::mutex m_lock;
    std::condition_variable m_done;
    bool m_bFinished = false;
    bool m_bExpired = false;
    std::thread m_thread;
};

// Takes the message out of a GError and frees it; a cancellation is told as the time-out.
std::string TakeError(GError* pError, CDeadline& deadline, int nMilliseconds)
{
    std::string text;
    if (deadline.Expired()) {
        text = "no answer within " + std::to_string(nMilliseconds) + " ms";
    } else if (pError && pError->message) {
        text = pError->message;
    } else {
        text = "unknown failure";
    }
    if (pError)
        g_error_free(pError);
    return text;
}

template <typename T>
struct SUnref
{
    void operator()(T* p) const
    {
        if (p)
            g_object_unref(p);
    }
};
template <typename T>
using GPtr = std::unique_ptr<T, SUnref<T>>;

// A connection of our own to the bus at address; never one that starts a bus.
GPtr<GDBusConnection> Connect(const std::string& address, CDeadline& deadline, int nMilliseconds,
                              std::string& error)
{
    if (address.empty()) {
        error = "no session bus (neither DBUS_SESSION_BUS_ADDRESS nor XDG_RUNTIME_DIR/bus)";
        return nullptr;
    }
    if (address.rfind("autolaunch:", 0) == 0) {
        error = "the session bus address asks for a bus to be started (" + address + ")";
        return nullptr;
    }
    GError* pError = nullptr;
    GDBusConnection* pConnection = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, deadline.Get(), &pError);
    if (!pConnection) {
        error = "cannot reach the session bus: " + TakeError(pError, deadline, nMilliseconds);
        return nullptr;
    }
    return GPtr<GDBusConnection>(pConnection);
}

// The shared Secret Service of the session bus, which libsecret keeps. The bus must be the
// one the probe found the keyring on.
GPtr<SecretService> OpenService(const std::string& busGuid, CDeadline& deadline, int nMilliseconds,
                                std::string& error)
{
    GError* pError = nullptr;
    GPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, deadline.Get(), &pError));
    if (!bus) {
        error = "cannot reach the session bus: " + TakeError(pError, deadline, nMilliseconds);
        return nullptr;
    }
    // The bus going away must cost the keyring, not the program.
    g_dbus_connection_set_exit_on_close(bus.get(), FALSE);
    const gchar* pGuid = g_dbus_connection_get_guid(bus.get());
    if (!pGuid || busGuid != pGuid) {
        error = "the session bus changed since the keyring was found";
        return nullptr;
    }
    SecretService* pService = secret_service_get_sync(SECRET_SERVICE_NONE, deadline.Get(), &pError);
    if (!pService) {
        error = "cannot open the keyring: " + TakeError(pError, deadline, nMilliseconds);
        return nullptr;
    }
    return GPtr<SecretService>(pService);
}

// The attributes naming an entry; the login only when given.
GHashTable* Attributes(const SSecretKey& key, bool bWithLogin)
{
    GHashTable* pAttributes = g_hash_table_new_full(g_str_hash, g_str_equal, nullptr, g_free);
    g_hash_table_insert(pAttributes, const_cast<char*>(kRootAttribute),
                        g_strdup(ToUtf8(key.m_strRoot).c_str()));
    g_hash_table_insert(pAttributes, const_cast<char*>(kServerAttribute),
                        g_strdup(ToUtf8(key.m_strServer).c_str()));
    if (bWithLogin) {
        g_hash_table_insert(pAttributes, const_cast<char*>(kLoginAttribute),
                            g_strdup(ToUtf8(key.m_strLogin).c_str()));
    }
    return pAttributes;
}

struct SHashTableUnref
{
    void operator()(GHashTable* p) const { g_hash_table_unref(p); }
};
using CAttributes = std::unique_ptr<GHashTable, SHashTableUnref>;

bool ClearOn(SecretService* pService, const SSecretKey& key, CDeadline& deadline, int nMilliseconds,
             std::string& error)
{
    CAttributes attributes(Attributes(key, false));
    GError* pError = nullptr;
    secret_service_clear_sync(pService, Schema(), attributes.get(), deadline.Get(), &pError);
    // False with no error means there was nothing to remove.
    if (pError) {
        error = "the keyring did not remove the password: " +
                TakeError(pError, deadline, nMilliseconds);
        return false;
    }
    return true;
}

} // namespace

CSecretService::CSecretService(std::string busAddress, int nCallMilliseconds)
    : m_strBusAddress(busAddress.empty() ? SessionBusAddress() : std::move(busAddress)),
      m_nCallMilliseconds(nCallMilliseconds)
{}

CSecretService& CSecretService::Process()
{
    static CSecretService service;
    return service;
}

std::string CSecretService::SessionBusAddress()
{
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
        return address;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime)
        return {};
    const std::string path = std::string(runtime) + "/bus";
    struct stat info
    {
    };
    if (stat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode))
        return {};
    gchar* escaped = g_dbus_address_escape_value(path.c_str());
    std::string address = std::string("unix:path=") + escaped;
    g_free(escaped);
    return address;
}

bool CSecretService::IsRunning()
{
    std::lock_guard lock(m_lock);
    if (m_bRunning)
        return *m_bRunning;
    CDeadline deadline(kProbeMilliseconds);
    std::string error;
    GPtr<GDBusConnection> connection =
        Connect(m_strBusAddress, deadline, kProbeMilliseconds, error);
    bool bRunning = false;
    if (connection) {
        GError* pError = nullptr;
        GVariant* pReply = g_dbus_connection_call_sync(
            connection.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
            "org.freedesktop.DBus", "NameHasOwner", g_variant_new("(s)", kServiceName),
            G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, kProbeMilliseconds,
            deadline.Get(), &pError);
        if (pReply) {
            gboolean bOwned = FALSE;
            g_variant_get(pReply, "(b)", &bOwned);
            g_variant_unref(pReply);
            bRunning = bOwned;
            if (const gchar* pGuid = g_dbus_connection_get_guid(connection.get()))
                m_strBusGuid = pGuid;
            if (!bRunning)
                error = std::string("no program owns ") + kServiceName + " on the session bus";
        } else {
            error = "the session bus did not answer: " +
                    TakeError(pError, deadline, kProbeMilliseconds);
        }
    }
    m_strProbeError = bRunning ? std::string() : error;
    m_bRunning = bRunning;
    return bRunning;
}

std::string CSecretService::GetProbeError() const
{
    std::lock_guard lock(m_lock);
    return m_strProbeError;
}

std::string CSecretService::RunningBusGuid(std::string& error)
{
    if (!IsRunning()) {
        error = "no keyring is running: " + GetProbeError();
        return {};
    }
    std::lock_guard lock(m_lock);
    return m_strBusGuid;
}

bool CSecretService::Store(const SSecretKey& key, const std::u16string& secret, std::string& error)
{
    CDeadline deadline(m_nCallMilliseconds);
    const std::string guid = RunningBusGuid(error);
    if (guid.empty())
        return false;
    GPtr<SecretService> service = OpenService(guid, deadline, m_nCallMilliseconds, error);
    if (!service)
        return false;
    // An entry of the same registration under an earlier login goes first.
    if (!ClearOn(service.get(), key, deadline, m_nCallMilliseconds, error))
        return false;
    CAttributes attributes(Attributes(key, true));
    const std::string text = ToUtf8(secret);
    SecretValue* pValue =
        secret_value_new(text.data(), static_cast<gssize>(text.size()), "text/plain");
    const std::string label =
        "Quarrow: password of " + ToUtf8(key.m_strLogin) + " on " + ToUtf8(key.m_strServer);
    GError* pError = nullptr;
    const gboolean bStored = secret_service_store_sync(service.get(), Schema(), attributes.get(),
                                                       SECRET_COLLECTION_DEFAULT, label.c_str(),
                                                       pValue, deadline.Get(), &pError);
    secret_value_unref(pValue);
    if (!bStored) {
        error = "the keyring did not store the password: " +
                TakeError(pError, deadline, m_nCallMilliseconds);
        return false;
    }
    return true;
}

ESecretResult CSecretService::Lookup(const SSecretKey& key, std::u16string& secret,
                                     std::string& error)
{
    secret.clear();
    CDeadline deadline(m_nCallMilliseconds);
    const std::string guid = RunningBusGuid(error);
    if (guid.empty())
        return ESecretResult::Failed;
    GPtr<SecretService> service = OpenService(guid, deadline, m_nCallMilliseconds, error);
    if (!service)
        return ESecretResult::Failed;
    CAttributes attributes(Attributes(key, true));
    GError* pError = nullptr;
    SecretValue* pValue = secret_service_lookup_sync(service.get(), Schema(), attributes.get(),
                                                     deadline.Get(), &pError);
    if (pError) {
        error = "the keyring did not give the password: " +
                TakeError(pError, deadline, m_nCallMilliseconds);
        if (pValue)
            secret_value_unref(pValue);
        return ESecretResult::Failed;
    }
    if (!pValue)
        return ESecretResult::NotFound;
    gsize nLength = 0;
    const gchar* pText = secret_value_get(pValue, &nLength);
    auto text = quarrow::FromUtf8Strict(std::string_view(pText, nLength));
    secret_value_unref(pValue);
    if (!text) {
        error = "the keyring holds a password that is not UTF-8 text";
        return ESecretResult::Failed;
    }
    secret = std::move(*text);
    return ESecretResult::Found;
}

bool CSecretService::Clear(const SSecretKey& key, std::string& error)
{
    CDeadline deadline(m_nCallMilliseconds);
    const std::string guid = RunningBusGuid(error);
    if (guid.empty())
        return false;
    GPtr<SecretService> service = OpenService(guid, deadline, m_nCallMilliseconds, error);
    if (!service)
        return false;
    return ClearOn(service.get(), key, deadline, m_nCallMilliseconds, error);
}
