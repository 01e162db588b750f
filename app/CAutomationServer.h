#pragma once
// The automation object on the session bus. Clients hold it through the lifecycle interface:
// each Acquire is one reference, each Release gives one back, and a client that leaves the
// bus gives back all of its own. While any reference is held the find window's automation
// proxy exists, which keeps the program alive and makes closing the window only hide it.
//
// A copy the user started is not offered to clients: it refuses Acquire, so no other program
// can keep the user's window from closing.
//
// A copy started by a client also owns the name "Quarrow.Application" until its first
// Acquire, then gives it up (single use): the next client's request starts a new copy, and a
// client keeps talking to the unique name Acquire answers.

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QPointer>
#include <QString>
#include <map>
#include <memory>
#include <optional>

class CQuarrowDlg;
class CQuarrowDlgAutoProxy;
class QDBusServiceWatcher;

class CAutomationServer : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "Quarrow.Application.Lifecycle")
public:
    static const QString kServiceName;        // "Quarrow.Application"
    static const QString kObjectPath;         // "/Quarrow/Application"
    static const QString kLifecycleInterface; // "Quarrow.Application.Lifecycle"
    static const QString kNotHeldError;       // Release by a client holding no reference
    static const QString kNotOfferedError;    // Acquire on a copy the user started

    explicit CAutomationServer(const QDBusConnection& connection, QObject* pParent = nullptr);
    ~CAutomationServer() override;
    CAutomationServer(const CAutomationServer&) = delete;
    CAutomationServer& operator=(const CAutomationServer&) = delete;

    // The session bus, or nothing when DBUS_SESSION_BUS_ADDRESS is unset or the bus cannot be
    // reached; the program then runs without automation.
    static std::optional<QDBusConnection> SessionBus();

    // Puts the object on the bus; with bOwnName also claims "Quarrow.Application" (a copy
    // started by a client). False when the object cannot be exported or the name is taken.
    bool Register(bool bOwnName);

    // False for a copy the user started: every Acquire is refused with kNotOfferedError.
    void SetOffered(bool bOffered) { m_bOffered = bOffered; }
    bool IsOffered() const { return m_bOffered; }

    // The find window, for a proxy made before it existed and for later ones.
    void AttachDialog(CQuarrowDlg* pDialog);

    bool OwnsName() const { return m_bOwnsName; }
    int GetReferenceCount() const;
    CQuarrowDlgAutoProxy* GetProxy() const { return m_pProxy.get(); }

public Q_SLOTS:
    // One reference for the calling client; answers this copy's unique bus name. An error
    // when this copy is not offered to clients.
    Q_SCRIPTABLE QString Acquire();
    // Gives back one of the calling client's references; an error when it holds none.
    Q_SCRIPTABLE void Release();

private:
    void OnClientGone(const QString& strClient);
    void DropReferences(const QString& strClient);
    void UpdateProxy();

    QDBusConnection m_connection;
    QDBusServiceWatcher* m_pWatcher = nullptr;
    std::map<QString, int> m_mapReferences; // unique name -> references held
    std::unique_ptr<CQuarrowDlgAutoProxy> m_pProxy;
    QPointer<CQuarrowDlg> m_pDialog;
    bool m_bRegistered = false;
    bool m_bOwnsName = false;
    bool m_bAnswered = false;
    bool m_bOffered = true;
};
