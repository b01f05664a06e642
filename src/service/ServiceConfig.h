// SPDX-License-Identifier: MIT
#pragma once

#include "LineSettings.h"

#include <QList>
#include <QString>

#include <chrono>
#include <variant>

// One projector of projectord's configuration: an INI section named after the projector.
struct ProjectorConfig
{
    QString name;   // the section name
    QString device; // any device name the panel takes (not service:)
    LineSettings settings;
    std::chrono::seconds poll{30}; // between status reads; 0: none, not even at start
    int line = 0;                  // of the section's header, for messages
};

// What is wrong with a configuration, and where: one line names the file, the line and the
// fault. English, like the service's journal.
struct ConfigError
{
    QString file;
    int line = 0; // 0 when the fault is the file as a whole
    QString message;

    QString text() const; // "FILE:LINE: MESSAGE"
};

struct ServiceConfig
{
    QList<ProjectorConfig> projectors;

    // Keys: device (required), speed (19200 or 9600, default 19200), poll (whole seconds,
    // 0 to 86400, default 30). Comments start with ; or # at a line's start or after a blank.
    // Unknown keys, keys outside a section, and repeated sections or keys are errors. A file
    // with no projector is not: the installed example holds none until one is configured.
    static std::variant<ServiceConfig, ConfigError> parse(const QByteArray &text,
                                                          const QString &fileName);
    static std::variant<ServiceConfig, ConfigError> load(const QString &fileName);
};
