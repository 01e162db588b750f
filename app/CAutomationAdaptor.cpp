#include "app/CAutomationAdaptor.h"

CAutomationAdaptor::CAutomationAdaptor(QObject* pParent) : QDBusAbstractAdaptor(pParent) {}
