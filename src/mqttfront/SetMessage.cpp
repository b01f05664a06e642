// SPDX-License-Identifier: MIT
#include "SetMessage.h"

#include "Commands.h"
#include "StatusReads.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <optional>

namespace {

namespace Key {
const QString Power = QStringLiteral("power");
const QString Input = QStringLiteral("input");
const QString AudioMute = QStringLiteral("audio_mute");
const QString VideoMute = QStringLiteral("video_mute");
const QString Command = QStringLiteral("command");
const QString Transaction = QStringLiteral("transaction");
const QStringList All{Power, Input, AudioMute, VideoMute, Command, Transaction};
} // namespace Key

QString quoted(const QJsonValue &v)
{
    if (v.isString()) return u'"' + v.toString() + u'"';
    return QString::fromUtf8(QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact))
        .mid(1)
        .chopped(1);
}

struct Reader
{
    const QJsonObject &o;
    QString error;

    // The string under `key`, if any; a value of another type is an error.
    std::optional<QString> text(const QString &key, const char *expected)
    {
        const QJsonValue v = o.value(key);
        if (v.isUndefined() || !error.isEmpty()) return std::nullopt;
        if (!v.isString()) {
            error =
                QStringLiteral("\"%1\" is %2, not %3").arg(key, QLatin1String(expected), quoted(v));
            return std::nullopt;
        }
        return v.toString();
    }
    std::optional<bool> flag(const QString &key)
    {
        const QJsonValue v = o.value(key);
        if (v.isUndefined() || !error.isEmpty()) return std::nullopt;
        if (!v.isBool()) {
            error = QStringLiteral("\"%1\" is true or false, not %2").arg(key, quoted(v));
            return std::nullopt;
        }
        return v.toBool();
    }
};

SetRequest parseMessage(const QByteArray &message)
{
    SetRequest r;
    if (message.size() > MaxSetMessageBytes) {
        r.error = QStringLiteral("the message is %1 bytes long; at most %2 are read")
                      .arg(message.size())
                      .arg(MaxSetMessageBytes);
        return r;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(message, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        r.error = QStringLiteral("not JSON: %1 at byte %2")
                      .arg(parseError.errorString())
                      .arg(parseError.offset);
        return r;
    }
    if (!doc.isObject()) {
        r.error = QStringLiteral("a set message is a JSON object");
        return r;
    }
    const QJsonObject o = doc.object();
    // The transaction first, so that every later error is answered with it.
    const QJsonValue transaction = o.value(Key::Transaction);
    if (transaction.isArray() || transaction.isObject()) {
        r.error = QStringLiteral("\"transaction\" is a string, a number, true, false or null");
        return r;
    }
    r.transaction = transaction;
    for (auto it = o.begin(); it != o.end(); ++it)
        if (!Key::All.contains(it.key())) {
            r.error = QStringLiteral("unknown key \"%1\"; the keys are power, input, audio_mute, "
                                     "video_mute, command and transaction")
                          .arg(it.key());
            return r;
        }

    Reader read{o, {}};
    const auto power = read.text(Key::Power, "\"on\" or \"off\"");
    const auto input = read.text(Key::Input, "\"computer-1\", \"computer-2\" or \"video\"");
    const auto audio = read.flag(Key::AudioMute);
    const auto video = read.flag(Key::VideoMute);
    const auto command = read.text(Key::Command, "a command's name or code");
    if (!read.error.isEmpty()) {
        r.error = read.error;
        return r;
    }
    if (power && *power != QLatin1String("on") && *power != QLatin1String("off")) {
        r.error = QStringLiteral("\"power\" is \"on\" or \"off\", not \"%1\"").arg(*power);
        return r;
    }
    const auto source = input ? inputSourceNamed(*input) : std::nullopt;
    if (input && !source) {
        r.error = QStringLiteral("\"input\" is \"computer-1\", \"computer-2\" or \"video\", not "
                                 "\"%1\"")
                      .arg(*input);
        return r;
    }
    const auto found = command ? findCommand(*command) : std::nullopt;
    if (command && !found) {
        r.error =
            QStringLiteral("unknown command \"%1\"; projector-ctl --help lists them").arg(*command);
        return r;
    }

    const bool on = power == QLatin1String("on");
    if (on) r.codes << QLatin1String(Code::PowerOn);
    if (source) {
        const char *codes[] = {Code::InputComputer1, Code::InputComputer2, Code::InputVideo};
        r.codes << QLatin1String(codes[static_cast<int>(*source)]);
    }
    if (audio) r.codes << QLatin1String(*audio ? Code::AudioMuteOn : Code::AudioMuteOff);
    if (video) r.codes << QLatin1String(*video ? Code::VideoMuteOn : Code::VideoMuteOff);
    if (found) r.codes << QString(found->code);
    if (power && !on) r.codes << QLatin1String(Code::PowerOff);
    if (r.codes.isEmpty()) r.error = QStringLiteral("nothing to do");
    return r;
}

} // namespace

SetRequest parseSet(const QByteArray &message, bool retained)
{
    SetRequest r = parseMessage(message);
    if (retained) {
        r.codes.clear();
        r.error = QStringLiteral(
            "a retained message is never executed; publish the command without retain");
    }
    return r;
}

QByteArray responseJson(const QJsonValue &transaction, bool ok, const QString &error)
{
    QJsonObject o;
    if (!transaction.isUndefined()) o.insert(Key::Transaction, transaction);
    o.insert(QStringLiteral("status"), ok ? QStringLiteral("ok") : QStringLiteral("error"));
    if (!ok) o.insert(QStringLiteral("error"), error);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}
