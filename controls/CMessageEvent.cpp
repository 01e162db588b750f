#include "controls/CMessageEvent.h"

#include <QCoreApplication>
#include <QHash>
#include <QObject>
#include <mutex>

namespace {

struct SRegistry
{
    std::mutex mutex;
    QHash<QString, int> byName;
    QHash<int, QString> byType;
};

SRegistry& Registry()
{
    static SRegistry registry;
    return registry;
}

} // namespace

QEvent::Type RegisterWindowMessage(QStringView name)
{
    SRegistry& registry = Registry();
    const std::lock_guard lock(registry.mutex);
    const QString strName = name.toString();
    const auto it = registry.byName.constFind(strName);
    if (it != registry.byName.constEnd())
        return static_cast<QEvent::Type>(it.value());
    const int nType = QEvent::registerEventType();
    registry.byName.insert(strName, nType);
    registry.byType.insert(nType, strName);
    return static_cast<QEvent::Type>(nType);
}

QString GetWindowMessageName(QEvent::Type type)
{
    SRegistry& registry = Registry();
    const std::lock_guard lock(registry.mutex);
    return registry.byType.value(static_cast<int>(type));
}

qintptr SendMessage(QObject* pReceiver, QEvent::Type type, quintptr wParam, qintptr lParam)
{
    if (pReceiver == nullptr)
        return 0;
    CMessageEvent event(type, wParam, lParam);
    QCoreApplication::sendEvent(pReceiver, &event);
    return event.Answer();
}

void PostMessage(QObject* pReceiver, QEvent::Type type, quintptr wParam, qintptr lParam)
{
    if (pReceiver == nullptr)
        return;
    QCoreApplication::postEvent(pReceiver, new CMessageEvent(type, wParam, lParam));
}
