// SPDX-License-Identifier: MIT
#include "ServiceConfig.h"

#include "LinkFailure.h"
#include "NetAddress.h"
#include "ServiceNames.h"

#include <QFile>
#include <QHash>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace {

constexpr qsizetype MaxNameLength = 64;
constexpr qint64 MaxPollSeconds = 86400;
// A configuration is a few lines per projector; anything this large is not one.
constexpr qsizetype MaxFileSize = 1024 * 1024;

QString systemWords(int code)
{
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
    // The journal's words, whatever the locale.
    if (const char *desc = strerrordesc_np(code)) return QString::fromLatin1(desc);
#endif
    return QString::fromLocal8Bit(std::strerror(code));
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
    for (const uint c : points)
        if (!QChar::isPrint(char32_t(c)))
            return QStringLiteral("a projector's name is printable characters only");
    if (name.front().isSpace() || name.back().isSpace())
        return QStringLiteral("a projector's name may not begin or end with a blank");
    return {};
}

class Parser
{
public:
    explicit Parser(const QString &fileName) : m_fileName(fileName) {}

    std::variant<ServiceConfig, ConfigError> run(const QByteArray &text)
    {
        const QList<QByteArray> lines = text.split('\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QByteArray raw = lines.at(i);
            if (raw.endsWith('\r')) raw.chop(1);
            if (!readLine(int(i + 1), raw)) return *m_error;
        }
        if (!endSection()) return *m_error;
        return m_config;
    }

private:
    bool fail(int line, const QString &message)
    {
        m_error = ConfigError{m_fileName, line, message};
        return false;
    }

    bool readLine(int number, const QByteArray &raw)
    {
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString decoded = decoder(raw);
        if (decoder.hasError()) return fail(number, QStringLiteral("the line is not UTF-8 text"));
        for (const QChar c : decoded)
            if (c.category() == QChar::Other_Control && c != u'\t')
                return fail(number, QStringLiteral("the line holds a control character"));
        const QString line = withoutComment(decoded).trimmed().toString();
        if (line.isEmpty()) return true;
        if (line.startsWith(u'[')) return startSection(number, line);

        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0) return fail(number, QStringLiteral("expected [NAME] or KEY = VALUE"));
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (!m_current) return fail(number, QStringLiteral("\"%1\" is outside a section").arg(key));
        if (key != QLatin1String("device") && key != QLatin1String("speed") &&
            key != QLatin1String("poll"))
            return fail(number,
                        QStringLiteral("unknown key \"%1\" (device, speed or poll)").arg(key));
        if (const int first = m_keys.value(key); first != 0)
            return fail(number,
                        QStringLiteral("%1 is set already, on line %2").arg(key).arg(first));
        m_keys.insert(key, number);
        if (key == QLatin1String("device")) return setDevice(number, value);
        if (key == QLatin1String("speed")) return setSpeed(number, value);
        return setPoll(number, value);
    }

    bool startSection(int number, const QString &line)
    {
        if (!endSection()) return false;
        if (!line.endsWith(u']'))
            return fail(number, QStringLiteral("a section header ends with ']'"));
        const QString name = line.mid(1, line.size() - 2);
        if (const QString problem = sectionNameProblem(name); !problem.isEmpty())
            return fail(number, problem);
        if (const int first = m_sections.value(name); first != 0)
            return fail(number,
                        QStringLiteral("[%1] is there already, on line %2").arg(name).arg(first));
        m_sections.insert(name, number);
        m_current = ProjectorConfig{};
        m_current->name = name;
        m_current->line = number;
        m_keys.clear();
        return true;
    }

    bool endSection()
    {
        if (!m_current) return true;
        if (m_current->device.isEmpty())
            return fail(m_current->line, QStringLiteral("[%1] has no device").arg(m_current->name));
        m_config.projectors.append(*std::exchange(m_current, std::nullopt));
        return true;
    }

    bool setDevice(int number, const QString &device)
    {
        if (device.isEmpty()) return fail(number, QStringLiteral("device has no value"));
        if (device.startsWith(QLatin1String(ServiceNames::DeviceScheme), Qt::CaseInsensitive))
            return fail(number, QStringLiteral("device %1 names a projector of this service, not "
                                               "a line")
                                    .arg(device));
        if (NetAddress::handles(device)) {
            // Port 1 is what the service's links use; English, as the journal is.
            const NetAddress a = NetAddress::parse(device);
            if (!a.isValid())
                return fail(
                    number,
                    LinkFailure{LinkFailure::Action::Open, a.error, 1, device, a.detail}.text(
                        LinkFailure::Reader::Log));
        }
        if (const auto other = m_devices.constFind(device); other != m_devices.cend())
            return fail(number, QStringLiteral("device %1 is [%2]'s already, on line %3")
                                    .arg(device, other->first)
                                    .arg(other->second));
        m_devices.insert(device, {m_current->name, number});
        m_current->device = device;
        return true;
    }

    bool setSpeed(int number, const QString &value)
    {
        const char *settings = value == QLatin1String("19200")  ? Settings19200
                               : value == QLatin1String("9600") ? Settings9600
                                                                : nullptr;
        if (!settings)
            return fail(number, QStringLiteral("speed is 19200 or 9600, not \"%1\"").arg(value));
        m_current->settings = *LineSettings::parse(QLatin1String(settings));
        return true;
    }

    bool setPoll(int number, const QString &value)
    {
        bool digits = !value.isEmpty() && value.size() <= 6;
        for (const QChar c : value) digits = digits && c >= u'0' && c <= u'9';
        const qint64 seconds = digits ? value.toLongLong() : -1;
        if (seconds < 0 || seconds > MaxPollSeconds)
            return fail(number, QStringLiteral("poll is whole seconds from 0 to %1, not \"%2\"")
                                    .arg(MaxPollSeconds)
                                    .arg(value));
        m_current->poll = std::chrono::seconds(seconds);
        return true;
    }

    QString m_fileName;
    ServiceConfig m_config;
    std::optional<ProjectorConfig> m_current;
    QHash<QString, int> m_sections;                    // name: line
    QHash<QString, int> m_keys;                        // of the current section: line
    QHash<QString, std::pair<QString, int>> m_devices; // device: section, line
    std::optional<ConfigError> m_error;
};

} // namespace

QString ConfigError::text() const
{
    if (line == 0) return QStringLiteral("%1: %2").arg(file, message);
    return QStringLiteral("%1:%2: %3").arg(file).arg(line).arg(message);
}

std::variant<ServiceConfig, ConfigError> ServiceConfig::parse(const QByteArray &text,
                                                              const QString &fileName)
{
    return Parser(fileName).run(text);
}

std::variant<ServiceConfig, ConfigError> ServiceConfig::load(const QString &fileName)
{
    // POSIX calls rather than QFile: the message names the system's reason.
    const auto failed = [&](int code) {
        return ConfigError{fileName, 0, QStringLiteral("cannot read: %1").arg(systemWords(code))};
    };
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return failed(errno);
    QByteArray text;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int code = errno;
            ::close(fd);
            return failed(code);
        }
        if (n == 0) break;
        text.append(buffer, n);
        if (text.size() > MaxFileSize) {
            ::close(fd);
            return ConfigError{
                fileName, 0,
                QStringLiteral("larger than %1 bytes: not a configuration").arg(MaxFileSize)};
        }
    }
    ::close(fd);
    return parse(text, fileName);
}
