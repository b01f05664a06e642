// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <QStringList>

// A message on T/<name>/set, read: the codes to send, or why none is sent.
struct SetRequest
{
    QStringList codes;                             // in the order they go to the projector
    QJsonValue transaction{QJsonValue::Undefined}; // echoed; undefined when the message had none
    QString error; // English, for the answer; when set, nothing is sent
    bool isValid() const { return error.isEmpty(); }
};

// Longer messages are refused unread: the broker may carry far more than any request needs.
inline constexpr int MaxSetMessageBytes = 4096;

// A JSON object with any of "power" ("on", "off"), "input" ("computer-1", "computer-2",
// "video"), "audio_mute" and "video_mute" (true, false), "command" (a name or code that
// projector-ctl takes) and "transaction" (any JSON scalar). Power on goes first and power off
// last, whatever the order of the keys, so that the other commands reach a projector that is
// on; then the input, the audio and video mutes and the command. Bad JSON, another key, a wrong
// type or value, or nothing to do: an error, and no code at all. A retained message is never
// executed: it may be hours old, and would be again at every reconnection.
SetRequest parseSet(const QByteArray &message, bool retained = false);

// The answer on T/<name>/response: {"transaction": …, "status": "ok"} or with "status":
// "error" and "error": the words. Without a transaction when the request had none.
QByteArray responseJson(const QJsonValue &transaction, bool ok, const QString &error = {});
