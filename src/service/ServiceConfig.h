// SPDX-License-Identifier: MIT
#pragma once

#include "LineSettings.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <optional>
#include <variant>

// A projector's PJLink server: off unless an address is given.
struct PjlinkConfig
{
    QString address; // to listen on, an IP address; empty: no server
    quint16 port = 0;
    QByteArray password; // empty: no authentication; never logged
    // What NAME, INF1, INF2 and INFO answer; NAME is the projector's name unless set.
    QByteArray name, maker, product, other;

    bool isEnabled() const { return !address.isEmpty(); }
    bool operator==(const PjlinkConfig &o) const
    {
        return address == o.address && port == o.port && password == o.password && name == o.name &&
               maker == o.maker && product == o.product && other == o.other;
    }
    bool operator!=(const PjlinkConfig &o) const { return !(*this == o); }
};

// One projector of projectord's configuration: an INI section named after the projector.
struct ProjectorConfig
{
    QString name;   // the section name
    QString device; // any device name the panel takes (not service:)
    LineSettings settings;
    std::chrono::seconds poll{30}; // between status reads; 0: none, not even at start
    int line = 0;                  // of the section's header, for messages
    PjlinkConfig pjlink{};
};

// What is wrong with a configuration, and where: one line names the file, the line and the
// fault. English, like the service's journal.
struct ConfigError
{
    QString file;
    int line = 0; // 0 when the fault is the file as a whole
    QString message;
    bool warning = false; // worth saying, but the service runs on it

    QString text() const; // "FILE:LINE: MESSAGE", or "FILE:LINE: warning: MESSAGE"
};

// The MQTT broker the service publishes to: the section [mqtt], off without it.
struct MqttConfig
{
    bool tls = false;    // mqtts://
    QString host;        // a name or an address, without brackets
    quint16 port = 0;    // 1883 or 8883 unless given
    QString username;    // empty: none
    QByteArray password; // only with a username; never logged
    QString caFile;      // only with tls; empty: the system's CAs
    QString topic;       // the prefix of the service's topics
    QString discovery;   // the discovery prefix; empty: no discovery
    int line = 0;        // of the section's header, for messages; not compared

    // The broker as written for people, without user or password: "mqtts://host:8883".
    QString brokerUrl() const;
    bool operator==(const MqttConfig &other) const;
    bool operator!=(const MqttConfig &other) const { return !(*this == other); }
};

struct ConfigReport;

struct ServiceConfig
{
    QList<ProjectorConfig> projectors;
    std::optional<MqttConfig> mqtt;

    // Keys: device (required), speed (19200 or 9600, default 19200), poll (whole seconds,
    // 0 to 86400, default 30). Comments start with ; or # at a line's start or after a blank.
    // Unknown keys, keys outside a section, and repeated sections or keys are errors. A file
    // with no projector is not: the installed example holds none until one is configured.
    // PJLink: pjlink (ADDRESS:PORT, a port for one projector only), pjlink-password (at most
    // 32 bytes), pjlink-name (64 bytes), pjlink-inf1, pjlink-inf2 and pjlink-info (32 bytes
    // of printable ASCII each); the last five only with pjlink. Two sections may not name one
    // device, however it is written. load() also refuses anything but a regular file, and a
    // file holding a password that others (neither its owner nor its group) can read. Both
    // give the first mistake by line, or the configuration; warnings are passed over.
    // MQTT, in the section [mqtt] (a name no projector may take): broker (required,
    // mqtt://HOST[:PORT] or mqtts://HOST[:PORT], 1883 and 8883 by default), username,
    // password (with a username, and a password in the file as above), tls-ca (a CA file,
    // mqtts only; the system's CAs by default), topic (default projectord/ and the host's
    // name) and discovery (default homeassistant; empty: none), both topics of up to 200
    // bytes without + or #, empty levels, a leading $ or a '/' at either end. With [mqtt],
    // a projector's name is one topic level: no '/', '+' or '#'.
    static std::variant<ServiceConfig, ConfigError> parse(const QByteArray &text,
                                                          const QString &fileName);
    static std::variant<ServiceConfig, ConfigError> load(const QString &fileName);

    // load()'s reading, giving every problem: for a check before the file is applied. A device
    // path not there yet is a warning, since an adapter may be plugged in later.
    static ConfigReport check(const QString &fileName);
};

struct ConfigReport
{
    ServiceConfig config; // as read; for use only when usable()
    // By line, the file's own first. After MaxProblems, one more says the rest went unchecked.
    QList<ConfigError> problems;
    static constexpr qsizetype MaxProblems = 100;

    bool usable() const; // no problem but warnings
};
