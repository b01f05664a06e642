// SPDX-License-Identifier: MIT
#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QMap>
#include <QStringList>
#include <QVariantMap>

#include <functional>

using InterfaceProperties = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, InterfaceProperties>;
Q_DECLARE_METATYPE(InterfaceProperties)
Q_DECLARE_METATYPE(ManagedObjects)

// The bus's standard way to tell which objects a service has and when they come and go, as
// other system services do: the projectors below the manager, each with its properties. A client
// watching it needs no call of ours to follow a reload.
class ObjectManagerAdaptor final : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.DBus.ObjectManager")
    Q_CLASSINFO("D-Bus Introspection",
                "  <interface name=\"org.freedesktop.DBus.ObjectManager\">\n"
                "    <method name=\"GetManagedObjects\">\n"
                "      <arg name=\"objects\" type=\"a{oa{sa{sv}}}\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <signal name=\"InterfacesAdded\">\n"
                "      <arg name=\"object\" type=\"o\"/>\n"
                "      <arg name=\"interfaces\" type=\"a{sa{sv}}\"/>\n"
                "    </signal>\n"
                "    <signal name=\"InterfacesRemoved\">\n"
                "      <arg name=\"object\" type=\"o\"/>\n"
                "      <arg name=\"interfaces\" type=\"as\"/>\n"
                "    </signal>\n"
                "  </interface>\n")
public:
    // Registers the types with Qt D-Bus once; `objects` gives what GetManagedObjects answers.
    ObjectManagerAdaptor(QObject *parent, std::function<ManagedObjects()> objects);

public Q_SLOTS:
    ManagedObjects GetManagedObjects();

Q_SIGNALS:
    void InterfacesAdded(const QDBusObjectPath &object, const InterfaceProperties &interfaces);
    void InterfacesRemoved(const QDBusObjectPath &object, const QStringList &interfaces);

private:
    std::function<ManagedObjects()> m_objects;
};
