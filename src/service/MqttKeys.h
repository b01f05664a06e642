// SPDX-License-Identifier: MIT
#pragma once

#include "ServiceConfig.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

// The section [mqtt] of the configuration: its keys one by one as the parser meets them, then
// what they lack together once the section ends.
namespace MqttKeys {

inline const QString Section = QStringLiteral("mqtt");
extern const QStringList Keys;

// The section's values before any key: the topic from the host's name, discovery on.
MqttConfig defaults();

// Sets `key` from `value`; what is wrong with the value otherwise. The password is never
// repeated, nor is a broker address that holds one.
QString set(MqttConfig &config, const QString &key, const QString &value);

// What the keys given (key: line) lack together, each with the line to name.
QList<std::pair<int, QString>> finish(const MqttConfig &config, const QHash<QString, int> &keys);

// Why a projector's name cannot be one level of a topic; empty when it can.
QString levelProblem(const QString &name);

} // namespace MqttKeys
