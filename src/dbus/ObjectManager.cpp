// SPDX-License-Identifier: MIT
#include "ObjectManager.h"

#include <QDBusMetaType>

ObjectManagerAdaptor::ObjectManagerAdaptor(QObject *parent, std::function<ManagedObjects()> objects)
    : QDBusAbstractAdaptor(parent), m_objects(std::move(objects))
{
    // The adaptor relays its signals by their parameters' names, which must be known as such.
    static const bool registered = [] {
        qRegisterMetaType<QDBusObjectPath>("QDBusObjectPath");
        qRegisterMetaType<InterfaceProperties>("InterfaceProperties");
        qDBusRegisterMetaType<InterfaceProperties>();
        qDBusRegisterMetaType<ManagedObjects>();
        return true;
    }();
    (void)registered;
}

ManagedObjects ObjectManagerAdaptor::GetManagedObjects()
{
    return m_objects();
}
