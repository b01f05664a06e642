// SPDX-License-Identifier: MIT
#include "MqttKeys.h"

#include "LinkFailure.h"
#include "NetAddress.h"

#include <QFile>
#include <QSysInfo>

#include <arpa/inet.h>
#include <cerrno>
#include <sys/stat.h>
#include <utility>

namespace MqttKeys {

const QStringList Keys{"broker", "username", "password", "tls-ca", "topic", "discovery"};

namespace {

// A topic prefix leaves room for the projector's name and the levels after it.
constexpr qsizetype MaxTopicBytes = 200;
// What a string in an MQTT packet can hold.
constexpr qsizetype MaxCredentialBytes = 65535;
constexpr quint16 PlainPort = 1883;
constexpr quint16 TlsPort = 8883;

QString topicProblem(const QString &key, const QString &topic)
{
    const QByteArray bytes = topic.toUtf8();
    if (bytes.isEmpty()) return QStringLiteral("%1 is empty").arg(key);
    if (bytes.size() > MaxTopicBytes)
        return QStringLiteral("%1 is at most %2 bytes").arg(key).arg(MaxTopicBytes);
    if (bytes.contains('+') || bytes.contains('#'))
        return QStringLiteral("%1 may not hold the wildcards + and #").arg(key);
    // The broker's own topics start so, and a subscription to # does not see them.
    if (bytes.startsWith('$')) return QStringLiteral("%1 may not begin with $").arg(key);
    if (bytes.startsWith('/') || bytes.endsWith('/'))
        return QStringLiteral("%1 may not begin or end with '/'").arg(key);
    if (bytes.contains("//")) return QStringLiteral("%1 may not hold an empty level").arg(key);
    return {};
}

bool isHostName(const QString &host)
{
    if (host.isEmpty() || host.size() > 253 || host.startsWith(u'.') || host.startsWith(u'-'))
        return false;
    for (const QChar c : host)
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != u'.' && c != u'-' && c != u'_')
            return false;
    return true;
}

QString setBroker(MqttConfig &config, const QString &value)
{
    const QString usage =
        QStringLiteral("broker is mqtt://HOST[:PORT] or mqtts://HOST[:PORT], not \"%1\"");
    const qsizetype separator = value.indexOf(QLatin1String("://"));
    const QString scheme = value.left(separator).toLower();
    if (separator < 0 || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts")))
        return usage.arg(value);
    const QString rest = value.mid(separator + 3);
    // Said without the value: it may hold a password.
    if (rest.contains(u'@'))
        return QStringLiteral("broker takes no user or password: give them as username and "
                              "password");
    const bool tls = scheme == QLatin1String("mqtts");
    const NetAddress address = NetAddress::parseHostPort(rest, tls ? TlsPort : PlainPort);
    if (!address.isValid()) return usage.arg(value);
    // Brackets hold an IPv6 address, and nothing else does.
    unsigned char ipv6[16];
    if (rest.startsWith(u'[')
            ? ::inet_pton(AF_INET6, address.host.toLatin1().constData(), ipv6) != 1
            : !isHostName(address.host))
        return usage.arg(value);
    config.tls = tls;
    config.host = address.host;
    config.port = address.port;
    return {};
}

QString setCaFile(MqttConfig &config, const QString &value)
{
    if (!value.startsWith(u'/'))
        return QStringLiteral("tls-ca is a file's absolute path, not \"%1\"").arg(value);
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(value).constData(), &info) != 0)
        return QStringLiteral("tls-ca %1: %2").arg(value, LinkFailure::systemWords(errno));
    if (!S_ISREG(info.st_mode)) return QStringLiteral("tls-ca %1 is not a file").arg(value);
    config.caFile = value;
    return {};
}

} // namespace

MqttConfig defaults()
{
    MqttConfig config;
    config.topic = QStringLiteral("projectord/") + QSysInfo::machineHostName();
    config.discovery = QStringLiteral("homeassistant");
    return config;
}

QString set(MqttConfig &config, const QString &key, const QString &value)
{
    if (key == QLatin1String("broker")) return setBroker(config, value);
    if (key == QLatin1String("tls-ca")) return setCaFile(config, value);
    if (key == QLatin1String("topic")) {
        if (QString problem = topicProblem(key, value); !problem.isEmpty()) return problem;
        config.topic = value;
        return {};
    }
    if (key == QLatin1String("discovery")) {
        if (value.isEmpty()) {
            config.discovery.clear();
            return {};
        }
        if (QString problem = topicProblem(key, value); !problem.isEmpty()) return problem;
        config.discovery = value;
        return {};
    }
    const QByteArray bytes = value.toUtf8();
    if (bytes.isEmpty()) return QStringLiteral("%1 is empty").arg(key);
    if (bytes.size() > MaxCredentialBytes)
        return QStringLiteral("%1 is at most %2 bytes").arg(key).arg(MaxCredentialBytes);
    if (key == QLatin1String("username"))
        config.username = value;
    else
        config.password = bytes;
    return {};
}

QList<std::pair<int, QString>> finish(const MqttConfig &config, const QHash<QString, int> &keys)
{
    QList<std::pair<int, QString>> problems;
    if (!keys.contains(QStringLiteral("broker")))
        problems.append({config.line, QStringLiteral("[mqtt] has no broker")});
    // MQTT sends a password only after a user name.
    if (const int line = keys.value(QStringLiteral("password"));
        line != 0 && !keys.contains(QStringLiteral("username")))
        problems.append({line, QStringLiteral("password needs username in [mqtt]")});
    // A plain connection would ignore it: the broker would go unverified against the
    // administrator's expectation.
    if (const int line = keys.value(QStringLiteral("tls-ca"));
        line != 0 && !config.host.isEmpty() && !config.tls)
        problems.append({line, QStringLiteral("tls-ca needs an mqtts:// broker")});
    if (!keys.contains(QStringLiteral("topic")))
        if (const QString problem = topicProblem(QStringLiteral("topic"), config.topic);
            !problem.isEmpty())
            problems.append(
                {config.line,
                 QStringLiteral("the host's name makes no topic (%1): set topic").arg(problem)});
    return problems;
}

QString levelProblem(const QString &name)
{
    if (name.contains(u'/') || name.contains(u'+') || name.contains(u'#'))
        return QStringLiteral("with [mqtt], a projector's name is one topic level: no '/', '+' "
                              "or '#'");
    return {};
}

} // namespace MqttKeys

QString MqttConfig::brokerUrl() const
{
    const QString shownHost = host.contains(u':') ? u'[' + host + u']' : host;
    return QStringLiteral("%1://%2:%3")
        .arg(QLatin1String(tls ? "mqtts" : "mqtt"), shownHost)
        .arg(port);
}

bool MqttConfig::operator==(const MqttConfig &o) const
{
    return tls == o.tls && host == o.host && port == o.port && username == o.username &&
           password == o.password && caFile == o.caFile && topic == o.topic &&
           discovery == o.discovery;
}
