// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// Home Assistant's MQTT discovery for one host's projectors: one device per projector, reached
// through a device for the host, with the entities a person uses. The topics and ids are made
// from the host's and the projectors' names only, so that they survive restarts.
struct DiscoveryContext
{
    QString prefix;     // Home Assistant's discovery prefix: "homeassistant"
    QString base;       // the host's base topic T: "projectord/hall-host"
    QString host;       // the host's name
    QString version;    // projectord's
    QString projectUrl; // where its users find help
};

// One retained message; an empty payload removes what the topic configured.
struct RetainedMessage
{
    QString topic;
    QByteArray payload;
    friend bool operator==(const RetainedMessage &a, const RetainedMessage &b)
    {
        return a.topic == b.topic && a.payload == b.payload;
    }
};

namespace Discovery {
// `text` as a topic level and id: A-Z, a-z, 0-9, '_' and '-' stay, any other character is '_',
// and then a short hash of the whole text is appended, so that two names differing only there
// stay apart.
QString objectId(const QString &text);
QString hostDeviceId(const QString &host); // "projectord_hall-host"
QString projectorDeviceId(const QString &host,
                          const QString &name); // "projectord_hall-host_beamer"

// The one-shot commands that get a button: those about the picture and the on-screen display,
// by name. Power, input and the mutes have entities of their own.
const QStringList &buttonCommands();

// The host's own device: its connectivity, from T/status.
QList<RetainedMessage> hostConfigs(const DiscoveryContext &c);
// A projector's device and entities, all under <prefix>/<component>/<host's id>/…/config.
QList<RetainedMessage> projectorConfigs(const DiscoveryContext &c, const QString &projector);
QStringList projectorConfigTopics(const DiscoveryContext &c, const QString &projector);
// The same topics with empty payloads: Home Assistant forgets the projector.
QList<RetainedMessage> projectorRemoval(const DiscoveryContext &c, const QString &projector);

// What to subscribe to for the configurations this host left on the broker at earlier runs.
QString ownConfigsFilter(const DiscoveryContext &c);
// Every configuration topic the host publishes now: its own and those of `projectors`.
QSet<QString> configTopics(const DiscoveryContext &c, const QStringList &projectors);
// Whether a retained configuration received through ownConfigsFilter() is this host's but not
// among the `current` topics: publish an empty payload on its topic to remove it.
bool isStale(const DiscoveryContext &c, const QSet<QString> &current, const QString &topic,
             const QByteArray &payload);
} // namespace Discovery
