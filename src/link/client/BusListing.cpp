// SPDX-License-Identifier: MIT
#include "BusListing.h"

#include "BusCalls.h"
#include "BusMembers.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QTimer>

#include <chrono>

using Cause = LinkFailure::Cause;
using namespace BusCalls;

namespace {

// As BusClient's calls.
constexpr std::chrono::milliseconds CallTimeout{5000};

QDBusMessage readOnly(const QString &path, const QString &interface, const char *member)
{
    QDBusMessage m =
        QDBusMessage::createMethodCall(BusName, path, interface, QLatin1String(member));
    // A list says what runs; it never starts the service.
    m.setAutoStartService(false);
    return m;
}

ServiceProjector projectorFrom(const QVariantMap &properties)
{
    namespace Property = BusMembers::Projector::Property;
    const auto value = [&](const char *name) { return properties.value(QLatin1String(name)); };
    ServiceProjector p;
    p.name = value(Property::Name).toString();
    p.device = value(Property::Device).toString();
    p.online = value(Property::Online).toBool();
    p.failure = value(Property::Failure).toString();
    p.power = value(Property::Power).toString();
    p.powerReadAt = value(Property::PowerReadAt).toLongLong();
    p.input = value(Property::Input).toString();
    p.inputReadAt = value(Property::InputReadAt).toLongLong();
    p.lampHours = value(Property::LampHours).isValid() ? value(Property::LampHours).toInt() : -1;
    p.lampHoursReadAt = value(Property::LampHoursReadAt).toLongLong();
    p.orientation = value(Property::Orientation).toString();
    p.orientationReadAt = value(Property::OrientationReadAt).toLongLong();
    return p;
}

} // namespace

BusListing::BusListing(Events &events) : m_events(events)
{
    if (!ServiceBus::mayListen()) {
        // Answered from the event loop, as every other answer.
        QTimer::singleShot(0, this, [this] { fail(Cause::NoServiceBus, busKind()); });
        return;
    }
    m_bus = serviceBus();
    if (!m_bus.isConnected()) {
        QTimer::singleShot(0, this, [this] { fail(Cause::NoServiceBus, busKind()); });
        return;
    }
    call(readOnly(QLatin1String(ServiceNames::ManagerPath),
                  QLatin1String(ServiceNames::ManagerInterface),
                  BusMembers::Manager::Method::ListProjectors),
         [this](const QDBusMessage &reply) { onListed(reply); });
}

template <typename F> void BusListing::call(const QDBusMessage &message, F &&answered)
{
    auto *watcher =
        new QDBusPendingCallWatcher(m_bus.asyncCall(message, int(CallTimeout.count())), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [watcher, answered = std::forward<F>(answered)] {
                watcher->deleteLater();
                answered(watcher->reply());
            });
}

void BusListing::onListed(const QDBusMessage &reply)
{
    if (reply.type() == QDBusMessage::ErrorMessage) {
        QString detail;
        const Cause cause = busCause(QDBusError(reply), &detail);
        return fail(cause, detail);
    }
    const auto paths = qdbus_cast<QList<QDBusObjectPath>>(reply.arguments().value(0));
    m_read.resize(paths.size());
    m_waiting = paths.size();
    if (m_waiting == 0) return onRead(-1, {});
    for (qsizetype i = 0; i < paths.size(); ++i) {
        call(readOnly(paths[i].path(), PropertiesInterface, "GetAll")
                 << QLatin1String(BusMembers::Projector::Interface),
             [this, i](const QDBusMessage &answer) { onRead(i, answer); });
    }
}

void BusListing::onRead(qsizetype index, const QDBusMessage &reply)
{
    if (m_answered) return;
    if (index >= 0) {
        --m_waiting;
        if (reply.type() == QDBusMessage::ErrorMessage) {
            const QDBusError error(reply);
            // Taken out of the configuration since the list was made.
            if (error.type() != QDBusError::UnknownObject &&
                error.type() != QDBusError::UnknownInterface) {
                QString detail;
                const Cause cause = busCause(error, &detail);
                return fail(cause, detail);
            }
        } else {
            m_read[index] = projectorFrom(qdbus_cast<QVariantMap>(reply.arguments().value(0)));
        }
    }
    if (m_waiting > 0) return;
    QList<ServiceProjector> projectors;
    for (const auto &p : std::as_const(m_read))
        if (p) projectors.append(*p);
    m_answered = true;
    m_events.onListed(projectors);
}

void BusListing::fail(Cause cause, const QString &detail)
{
    if (m_answered) return;
    m_answered = true;
    m_events.onListFailed(LinkFailure{LinkFailure::Action::Open, cause, 0, {}, detail});
}
