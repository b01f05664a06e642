// SPDX-License-Identifier: MIT
#pragma once

#include "ServiceClient.h"

#include <QDBusConnection>
#include <QList>
#include <QObject>

#include <optional>

class QDBusMessage;

// The service's projectors: ListProjectors, then every projector's properties at once, each
// call answered from the event loop. A projector that leaves between the two is left out.
class BusListing final : public QObject, public ServiceListing
{
    Q_OBJECT
public:
    explicit BusListing(Events &events);

private:
    void onListed(const QDBusMessage &reply);
    void onRead(qsizetype index, const QDBusMessage &reply);
    void fail(LinkFailure::Cause cause, const QString &detail = {});
    template <typename F> void call(const QDBusMessage &message, F &&answered);

    Events &m_events;
    QDBusConnection m_bus{QString()};
    QList<std::optional<ServiceProjector>> m_read;
    qsizetype m_waiting = 0;
    bool m_answered = false;
};
