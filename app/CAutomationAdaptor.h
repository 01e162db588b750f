#pragma once
// The automation interface of the bus object: the class id and dispatch interface id as its
// identity, and no methods, properties or signals, so every call to it fails.

#include <QDBusAbstractAdaptor>

class CAutomationAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "Quarrow.Application")
    Q_CLASSINFO("D-Bus Introspection", "  <interface name=\"Quarrow.Application\">\n"
                                       "    <annotation name=\"Quarrow.ClassId\" "
                                       "value=\"{5C3B19D4-8E2A-4F71-B6C0-2D94E7A1F358}\"/>\n"
                                       "    <annotation name=\"Quarrow.DispatchInterfaceId\" "
                                       "value=\"{5C3B19D6-8E2A-4F71-B6C0-2D94E7A1F358}\"/>\n"
                                       "  </interface>\n")
public:
    explicit CAutomationAdaptor(QObject* pParent);
};
