#include "app/CAutomationServer.h"

#include "app/CAutomationAdaptor.h"
#include "findwnd/CQuarrowDlg.h"
#include "findwnd/CQuarrowDlgAutoProxy.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>

using namespace Qt::StringLiterals;

const QString CAutomationServer::kServiceName =
    QString::fromUtf16(CQuarrowDlgAutoProxy::kProgramId.data(),
                       static_cast<qsizetype>(CQuarrowDlgAutoProxy::kProgramId.size()));
const QString CAutomationServer::kObjectPath = u"/Quarrow/Application"_s;
const QString CAutomationServer::kLifecycleInterface = u"Quarrow.Application.Lifecycle"_s;
const QString CAutomationServer::kNotHeldError = u"Quarrow.Application.Error.NotHeld"_s;
const QString CAutomationServer::kNotOfferedError = u"Quarrow.Application.Error.NotOffered"_s;

CAutomationServer::CAutomationServer(const QDBusConnection& connection, QObject* pParent)
    : QObject(pParent), m_connection(connection)
{
    new CAutomationAdaptor(this);
    m_pWatcher = new QDBusServiceWatcher(this);
    m_pWatcher->setConnection(m_connection);
    m_pWatcher->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(m_pWatcher, &QDBusServiceWatcher::serviceUnregistered, this,
            &CAutomationServer::OnClientGone);
}

CAutomationServer::~CAutomationServer()
{
    m_mapReferences.clear();
    m_pProxy.reset();
    if (m_bOwnsName)
        m_connection.unregisterService(kServiceName);
    if (m_bRegistered)
        m_connection.unregisterObject(kObjectPath);
    if (m_bAnswered && m_connection.isConnected()) {
        // The last answer (a Release, often) must leave before the process does: once the bus
        // has answered this round trip, everything sent before it is out.
        const QDBusMessage ping =
            QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                           u"org.freedesktop.DBus"_s, u"GetId"_s);
        m_connection.call(ping, QDBus::Block, 2000);
    }
}

std::optional<QDBusConnection> CAutomationServer::SessionBus()
{
    // Without an address the bus library would try to launch a bus of its own.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return std::nullopt;
    QDBusConnection connection = QDBusConnection::sessionBus();
    if (!connection.isConnected())
        return std::nullopt;
    return connection;
}

bool CAutomationServer::Register(bool bOwnName)
{
    if (!m_connection.isConnected())
        return false;
    if (!m_bRegistered) {
        m_bRegistered = m_connection.registerObject(kObjectPath, this,
                                                    QDBusConnection::ExportScriptableSlots |
                                                        QDBusConnection::ExportAdaptors);
        if (!m_bRegistered)
            return false;
    }
    if (bOwnName && !m_bOwnsName) {
        QDBusConnectionInterface* pBus = m_connection.interface();
        if (pBus == nullptr)
            return false;
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
            pBus->registerService(kServiceName, QDBusConnectionInterface::DontQueueService,
                                  QDBusConnectionInterface::DontAllowReplacement);
        m_bOwnsName =
            reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
        return m_bOwnsName;
    }
    return true;
}

void CAutomationServer::AttachDialog(CQuarrowDlg* pDialog)
{
    m_pDialog = pDialog;
    if (m_pProxy != nullptr)
        m_pProxy->AttachDialog(pDialog);
}

int CAutomationServer::GetReferenceCount() const
{
    int nCount = 0;
    for (const auto& [strClient, nReferences] : m_mapReferences)
        nCount += nReferences;
    return nCount;
}

QString CAutomationServer::Acquire()
{
    if (!calledFromDBus())
        return {};
    m_bAnswered = true;
    if (!m_bOffered) {
        sendErrorReply(kNotOfferedError,
                       u"This copy of Quarrow was started by the user and is not offered to "
                       "automation clients."_s);
        return {};
    }
    const QString strClient = message().service();
    int& nReferences = m_mapReferences[strClient];
    if (nReferences++ == 0) {
        m_pWatcher->addWatchedService(strClient);
        // A client that left before the watch began would never be seen leaving.
        QDBusConnectionInterface* pBus = m_connection.interface();
        if (pBus != nullptr && !pBus->isServiceRegistered(strClient).value()) {
            QMetaObject::invokeMethod(
                this, [this, strClient] { OnClientGone(strClient); }, Qt::QueuedConnection);
        }
    }
    UpdateProxy();
    // Single use: the next client's request starts a new copy.
    if (m_bOwnsName) {
        m_connection.unregisterService(kServiceName);
        m_bOwnsName = false;
    }
    return m_connection.baseService();
}

void CAutomationServer::Release()
{
    if (!calledFromDBus())
        return;
    const QString strClient = message().service();
    m_bAnswered = true;
    const auto it = m_mapReferences.find(strClient);
    if (it == m_mapReferences.end()) {
        sendErrorReply(kNotHeldError,
                       u"This connection holds no reference to the Quarrow automation object."_s);
        return;
    }
    if (--it->second == 0) {
        m_mapReferences.erase(it);
        m_pWatcher->removeWatchedService(strClient);
    }
    UpdateProxy();
}

void CAutomationServer::OnClientGone(const QString& strClient)
{
    DropReferences(strClient);
    UpdateProxy();
}

void CAutomationServer::DropReferences(const QString& strClient)
{
    if (m_mapReferences.erase(strClient) > 0)
        m_pWatcher->removeWatchedService(strClient);
}

void CAutomationServer::UpdateProxy()
{
    if (m_mapReferences.empty()) {
        m_pProxy.reset();
    } else if (m_pProxy == nullptr) {
        m_pProxy = std::make_unique<CQuarrowDlgAutoProxy>();
        if (m_pDialog != nullptr)
            m_pProxy->AttachDialog(m_pDialog);
    }
}
