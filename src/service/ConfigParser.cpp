// SPDX-License-Identifier: MIT
#include "ConfigParser.h"

#include "LinkFailure.h"
#include "MqttKeys.h"
#include "NetAddress.h"
#include "ServiceNames.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <utility>

namespace {

constexpr qsizetype MaxNameLength = 64;
constexpr qint64 MaxPollSeconds = 86400;
// PJLink's own bounds on the password and on what NAME and INF1, INF2, INFO answer.
constexpr qsizetype MaxPjlinkPassword = 32;
constexpr qsizetype MaxPjlinkName = 64;
constexpr qsizetype MaxPjlinkInfo = 32;

const QStringList Keys{"device",      "speed",       "poll",        "pjlink",     "pjlink-password",
                       "pjlink-name", "pjlink-inf1", "pjlink-inf2", "pjlink-info"};

// The first bytes of `text` that end on a whole character and fit in `bytes`.
QByteArray cutUtf8(const QString &text, qsizetype bytes)
{
    QByteArray out = text.toUtf8();
    if (out.size() <= bytes) return out;
    out.truncate(bytes);
    while (!out.isEmpty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0x80) out.chop(1);
    if (!out.isEmpty() && static_cast<unsigned char>(out.back()) >= 0xC0) out.chop(1);
    return out;
}

// A comment starts at ; or # at the line's start or after a blank.
QStringView withoutComment(QStringView line)
{
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if ((c == u';' || c == u'#') &&
            (i == 0 || line.at(i - 1) == u' ' || line.at(i - 1) == u'\t'))
            return line.left(i);
    }
    return line;
}

QString sectionNameProblem(const QString &name)
{
    const QList<uint> points = name.toUcs4(); // characters, not UTF-16 units
    if (points.isEmpty() || points.size() > MaxNameLength)
        return QStringLiteral("a projector's name is 1 to %1 characters").arg(MaxNameLength);
    if (name.contains(u']')) return QStringLiteral("a projector's name may not contain ']'");
    if (name.compare(MqttKeys::Section, Qt::CaseInsensitive) == 0 && name != MqttKeys::Section)
        return QStringLiteral("MQTT's section is [mqtt], in lower case; no projector may take "
                              "the name");
    for (const uint c : points)
        if (!QChar::isPrint(char32_t(c)))
            return QStringLiteral("a projector's name is printable characters only");
    if (name.front().isSpace() || name.back().isSpace())
        return QStringLiteral("a projector's name may not begin or end with a blank");
    return {};
}

// What makes two devices one: a file by its device and inode, links and ".." resolved; one not
// there yet by its cleaned absolute path; a device server by its host and port.
QString deviceIdentity(const QString &device)
{
    if (NetAddress::handles(device)) {
        const NetAddress a = NetAddress::parse(device);
        return QStringLiteral("tcp %1 %2").arg(a.host.toLower()).arg(a.port);
    }
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(device).constData(), &info) == 0)
        return QStringLiteral("file %1 %2").arg(quint64(info.st_dev)).arg(quint64(info.st_ino));
    return QStringLiteral("path ") + QDir::cleanPath(QFileInfo(device).absoluteFilePath());
}

} // namespace

namespace {

// Reads on past a mistake wherever what follows can still be judged: a refused header's keys
// are checked, though its section is not kept, and a key given with a wrong value counts as
// given.
class Parser
{
public:
    explicit Parser(const QString &fileName) : m_fileName(fileName) {}

    ConfigReport run(const QByteArray &text)
    {
        const QList<QByteArray> lines = text.split('\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (m_report.problems.size() >= ConfigReport::MaxProblems) {
                fail(int(i + 1), QStringLiteral("more than %1 problems: the rest is not checked")
                                     .arg(ConfigReport::MaxProblems));
                m_current.reset(); // nor is the section it stopped in
                break;
            }
            QByteArray raw = lines.at(i);
            if (raw.endsWith('\r')) raw.chop(1);
            readLine(int(i + 1), raw);
        }
        endSection();
        if (m_config.mqtt)
            for (const ProjectorConfig &p : std::as_const(m_config.projectors))
                if (const QString problem = MqttKeys::levelProblem(p.name); !problem.isEmpty())
                    fail(p.line, problem);
        std::stable_sort(
            m_report.problems.begin(), m_report.problems.end(),
            [](const ConfigError &a, const ConfigError &b) { return a.line < b.line; });
        m_report.config = std::move(m_config);
        return std::move(m_report);
    }

    // Whether any section sets a password, kept or not.
    bool hasPassword() const { return m_hasPassword; }
    bool hasMqttPassword() const { return m_hasMqttPassword; }

private:
    void fail(int line, const QString &message)
    {
        m_report.problems.append(ConfigError{m_fileName, line, message});
    }

    // A line that cannot be read as a key might have been the section's device.
    void unreadable(int line, const QString &message)
    {
        m_lineUnread = true;
        fail(line, message);
    }

    void readLine(int number, const QByteArray &raw)
    {
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString decoded = decoder(raw);
        if (decoder.hasError())
            return unreadable(number, QStringLiteral("the line is not UTF-8 text"));
        for (const QChar c : decoded)
            if (c.category() == QChar::Other_Control && c != u'\t')
                return unreadable(number, QStringLiteral("the line holds a control character"));
        const QString line = withoutComment(decoded).trimmed().toString();
        if (line.isEmpty()) return;
        if (line.startsWith(u'[')) return startSection(number, line);

        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0) return unreadable(number, QStringLiteral("expected [NAME] or KEY = VALUE"));
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (!m_current) return fail(number, QStringLiteral("\"%1\" is outside a section").arg(key));
        const QStringList &keys = m_inMqtt ? MqttKeys::Keys : Keys;
        if (!keys.contains(key))
            return fail(
                number,
                QStringLiteral("unknown key \"%1\" (%2)").arg(key, keys.join(QLatin1String(", "))));
        if (const int first = m_keys.value(key); first != 0)
            return fail(number,
                        QStringLiteral("%1 is set already, on line %2").arg(key).arg(first));
        m_keys.insert(key, number);
        if (m_inMqtt) {
            m_hasMqttPassword =
                m_hasMqttPassword || (key == QLatin1String("password") && !value.isEmpty());
            if (const QString problem = MqttKeys::set(m_mqtt, key, value); !problem.isEmpty())
                fail(number, problem);
            return;
        }
        if (key == QLatin1String("device")) return setDevice(number, value);
        if (key == QLatin1String("speed")) return setSpeed(number, value);
        if (key == QLatin1String("poll")) return setPoll(number, value);
        if (key == QLatin1String("pjlink")) return setPjlink(number, value);
        return setPjlinkText(number, key, value);
    }

    void startSection(int number, const QString &line)
    {
        endSection();
        const bool closed = line.endsWith(u']');
        const QString name = line.mid(1, line.size() - (closed ? 2 : 1));
        m_current = ProjectorConfig{};
        m_current->name = name;
        m_current->line = number;
        m_inMqtt = name == MqttKeys::Section;
        m_mqtt = MqttKeys::defaults();
        m_mqtt.line = number;
        m_keys.clear();
        m_lineUnread = false;
        m_headerRefused = true;
        if (!closed) return fail(number, QStringLiteral("a section header ends with ']'"));
        if (const QString problem = sectionNameProblem(name); !problem.isEmpty())
            return fail(number, problem);
        if (const int first = m_sections.value(name); first != 0)
            return fail(number,
                        QStringLiteral("[%1] is there already, on line %2").arg(name).arg(first));
        m_sections.insert(name, number);
        m_headerRefused = false;
    }

    void endSection()
    {
        if (!m_current) return;
        ProjectorConfig current = *std::exchange(m_current, std::nullopt);
        // Its header's mistake is said; what it lacks would only repeat it.
        if (std::exchange(m_headerRefused, false)) return;
        if (std::exchange(m_inMqtt, false)) {
            for (const auto &[line, problem] : MqttKeys::finish(m_mqtt, m_keys))
                fail(line, problem);
            m_config.mqtt = m_mqtt;
            return;
        }
        if (!m_keys.contains(QStringLiteral("device")) && !m_lineUnread)
            fail(current.line, QStringLiteral("[%1] has no device").arg(current.name));
        PjlinkConfig &pjlink = current.pjlink;
        for (const auto &[key, line] : m_keys.asKeyValueRange())
            if (key.startsWith(QLatin1String("pjlink-")) &&
                !m_keys.contains(QStringLiteral("pjlink")))
                fail(line, QStringLiteral("%1 needs pjlink = ADDRESS:PORT in [%2]")
                               .arg(key, current.name));
        if (pjlink.isEnabled() && !m_keys.contains(QStringLiteral("pjlink-name")))
            pjlink.name = cutUtf8(current.name, MaxPjlinkName);
        m_config.projectors.append(std::move(current));
    }

    void setDevice(int number, const QString &device)
    {
        if (device.isEmpty()) return fail(number, QStringLiteral("device has no value"));
        if (device.startsWith(QLatin1String(ServiceNames::DeviceScheme), Qt::CaseInsensitive))
            return fail(number, QStringLiteral("device %1 names a projector of this service, not "
                                               "a line")
                                    .arg(device));
        const bool network = NetAddress::handles(device);
        if (network) {
            const NetAddress a = NetAddress::parse(device);
            if (!a.isValid())
                return fail(
                    number,
                    LinkFailure{LinkFailure::Action::Open, a.error, 0, device, a.detail}.text(
                        LinkFailure::Reader::Service));
        }
        const QString identity = deviceIdentity(device);
        if (const auto other = m_devices.constFind(identity); other != m_devices.cend())
            return fail(number, QStringLiteral("device %1 is the same as [%2]'s device %3, at "
                                               "%4:%5; one device serves one projector")
                                    .arg(device, other->section, other->device, m_fileName)
                                    .arg(other->line));
        m_devices.insert(identity, {m_current->name, device, number});
        m_current->device = device;
        struct stat info
        {
        };
        if (!network && ::stat(QFile::encodeName(device).constData(), &info) != 0) {
            const int code = errno;
            m_report.problems.append(
                ConfigError{m_fileName, number,
                            QStringLiteral("device %1: %2; the service waits for it to appear")
                                .arg(device, LinkFailure::systemWords(code)),
                            true});
        }
    }

    void setSpeed(int number, const QString &value)
    {
        const char *settings = value == QLatin1String("19200")  ? Settings19200
                               : value == QLatin1String("9600") ? Settings9600
                                                                : nullptr;
        if (!settings)
            return fail(number, QStringLiteral("speed is 19200 or 9600, not \"%1\"").arg(value));
        m_current->settings = *LineSettings::parse(QLatin1String(settings));
    }

    void setPoll(int number, const QString &value)
    {
        bool digits = !value.isEmpty() && value.size() <= 6;
        for (const QChar c : value) digits = digits && c >= u'0' && c <= u'9';
        const qint64 seconds = digits ? value.toLongLong() : -1;
        if (seconds < 0 || seconds > MaxPollSeconds)
            return fail(number, QStringLiteral("poll is whole seconds from 0 to %1, not \"%2\"")
                                    .arg(MaxPollSeconds)
                                    .arg(value));
        m_current->poll = std::chrono::seconds(seconds);
    }

    void setPjlink(int number, const QString &value)
    {
        const qsizetype colon = value.lastIndexOf(u':');
        QString host = value.left(colon);
        if (host.startsWith(u'[') && host.endsWith(u']')) host = host.mid(1, host.size() - 2);
        bool ok = false;
        const uint port = value.mid(colon + 1).toUInt(&ok);
        // A literal address, checked as the listening socket will take it.
        unsigned char address[16];
        const QByteArray h = host.toLatin1();
        const bool literal = ::inet_pton(AF_INET, h.constData(), address) == 1 ||
                             ::inet_pton(AF_INET6, h.constData(), address) == 1;
        if (colon < 0 || !literal || !ok || port == 0 || port > 65535)
            return fail(number, QStringLiteral("pjlink is ADDRESS:PORT, an IP address and a port "
                                               "(127.0.0.1:4352, [::1]:4352), not \"%1\"")
                                    .arg(value));
        if (const auto other = m_pjlinkPorts.constFind(port); other != m_pjlinkPorts.cend())
            return fail(number, QStringLiteral("pjlink port %1 is [%2]'s already, on line %3")
                                    .arg(port)
                                    .arg(other->first)
                                    .arg(other->second));
        m_pjlinkPorts.insert(port, {m_current->name, number});
        m_current->pjlink.address = host;
        m_current->pjlink.port = quint16(port);
    }

    // The password and the texts PJLink answers with; the password is never repeated.
    void setPjlinkText(int number, const QString &key, const QString &value)
    {
        PjlinkConfig &p = m_current->pjlink;
        const bool password = key == QLatin1String("pjlink-password");
        const bool name = key == QLatin1String("pjlink-name");
        const qsizetype limit = password ? MaxPjlinkPassword : name ? MaxPjlinkName : MaxPjlinkInfo;
        const QByteArray bytes = value.toUtf8();
        if (password && bytes.isEmpty())
            return fail(number, QStringLiteral("%1 is empty").arg(key));
        m_hasPassword = m_hasPassword || password;
        if (bytes.size() > limit)
            return fail(number, QStringLiteral("%1 is at most %2 bytes").arg(key).arg(limit));
        if (!name)
            for (const char c : bytes)
                if (c < 0x20 || c > 0x7E)
                    return fail(number, QStringLiteral("%1 is printable ASCII only").arg(key));
        QByteArray &target = password                              ? p.password
                             : name                                ? p.name
                             : key == QLatin1String("pjlink-inf1") ? p.maker
                             : key == QLatin1String("pjlink-inf2") ? p.product
                                                                   : p.other;
        target = bytes;
    }

    QString m_fileName;
    ConfigReport m_report;
    ServiceConfig m_config;
    QHash<uint, std::pair<QString, int>> m_pjlinkPorts; // port: section, line
    std::optional<ProjectorConfig> m_current;
    bool m_headerRefused = false; // the current section's: it is not kept
    bool m_lineUnread = false;    // in the current section
    bool m_hasPassword = false;
    bool m_hasMqttPassword = false;
    bool m_inMqtt = false; // the current section is [mqtt], kept in m_mqtt
    MqttConfig m_mqtt;
    QHash<QString, int> m_sections; // name: line
    QHash<QString, int> m_keys;     // of the current section: line
    struct DeviceUse
    {
        QString section, device;
        int line = 0;
    };
    QHash<QString, DeviceUse> m_devices; // by deviceIdentity()
};

} // namespace

ParsedConfig parseConfigText(const QString &fileName, const QByteArray &text)
{
    Parser parser(fileName);
    ParsedConfig parsed;
    parsed.report = parser.run(text);
    parsed.hasPassword = parser.hasPassword();
    parsed.hasMqttPassword = parser.hasMqttPassword();
    return parsed;
}
