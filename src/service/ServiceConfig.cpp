// SPDX-License-Identifier: MIT
#include "ServiceConfig.h"

#include "ConfigParser.h"
#include "LinkFailure.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// A configuration is a few lines per projector; anything this large is not one.
constexpr qsizetype MaxFileSize = 1024 * 1024;

// Why a file that is not a regular one cannot be the configuration; empty for a regular file.
QString notRegular(mode_t mode)
{
    const char *kind = S_ISREG(mode)    ? nullptr
                       : S_ISDIR(mode)  ? "a directory"
                       : S_ISFIFO(mode) ? "a FIFO"
                       : S_ISCHR(mode)  ? "a character device"
                       : S_ISBLK(mode)  ? "a block device"
                       : S_ISSOCK(mode) ? "a socket"
                                        : "not a file";
    return kind ? QStringLiteral("not a regular file but %1").arg(QLatin1String(kind)) : QString();
}

// A file name as the shell takes it, for advice to copy.
QString shellWord(const QString &name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+:=@%-]+$"));
    if (plain.match(name).hasMatch()) return name;
    return u'\'' + QString(name).replace(u'\'', QLatin1String("'\\''")) + u'\'';
}

// The service takes a file or refuses it for its first mistake.
std::variant<ServiceConfig, ConfigError> firstMistake(ConfigReport report)
{
    for (const ConfigError &p : std::as_const(report.problems))
        if (!p.warning) return p;
    return std::move(report.config);
}

} // namespace

QString ConfigError::text() const
{
    const QString what = warning ? QStringLiteral("warning: ") + message : message;
    if (line == 0) return QStringLiteral("%1: %2").arg(file, what);
    return QStringLiteral("%1:%2: %3").arg(file).arg(line).arg(what);
}

bool ConfigReport::usable() const
{
    return std::all_of(problems.cbegin(), problems.cend(),
                       [](const ConfigError &p) { return p.warning; });
}

std::variant<ServiceConfig, ConfigError> ServiceConfig::parse(const QByteArray &text,
                                                              const QString &fileName)
{
    return firstMistake(parseConfigText(fileName, text).report);
}

std::variant<ServiceConfig, ConfigError> ServiceConfig::load(const QString &fileName)
{
    return firstMistake(check(fileName));
}

ConfigReport ServiceConfig::check(const QString &fileName)
{
    // The file as a whole is wrong: nothing in it is read.
    const auto refused = [&](const QString &why) {
        ConfigReport report;
        report.problems.append(ConfigError{fileName, 0, why});
        return report;
    };
    // POSIX calls rather than QFile: the message names the system's reason.
    const auto failed = [&](int code) {
        return refused(QStringLiteral("cannot read: %1").arg(LinkFailure::systemWords(code)));
    };
    const QByteArray path = QFile::encodeName(fileName);
    struct stat info
    {
    };
    // Looked at before it is opened: opening a FIFO would wait for a writer.
    if (::stat(path.constData(), &info) != 0) return failed(errno);
    if (const QString why = notRegular(info.st_mode); !why.isEmpty()) return refused(why);
    // And again once open, in case it was replaced in between; O_NONBLOCK keeps that open short.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return failed(errno);
    const auto closing = [fd](ConfigReport report) {
        ::close(fd);
        return report;
    };
    if (::fstat(fd, &info) != 0) return closing(failed(errno));
    if (const QString why = notRegular(info.st_mode); !why.isEmpty()) return closing(refused(why));
    QByteArray text;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return closing(failed(errno));
        if (n == 0) break;
        text.append(buffer, n);
        if (text.size() > MaxFileSize)
            return closing(refused(
                QStringLiteral("larger than %1 bytes: not a configuration").arg(MaxFileSize)));
    }
    ::close(fd);
    ParsedConfig parsed = parseConfigText(fileName, text);
    ConfigReport report = std::move(parsed.report);
    // Whoever runs the service: root, its own user, or a user trying a copy. Owner and group
    // are the administrator's choice; only a file everyone may read gives the password away.
    const char *passwords = parsed.hasPassword && parsed.hasMqttPassword
                                ? "PJLink and MQTT passwords"
                            : parsed.hasPassword     ? "a PJLink password"
                            : parsed.hasMqttPassword ? "an MQTT password"
                                                     : nullptr;
    if (passwords && (info.st_mode & S_IROTH))
        report.problems.prepend(
            ConfigError{fileName, 0,
                        QStringLiteral("holds %1 but others can read it (mode "
                                       "%2); make it readable by the service only: chown "
                                       "root:projectord %3; chmod 640 %3")
                            .arg(QLatin1String(passwords))
                            .arg(info.st_mode & 0777, 4, 8, QLatin1Char('0'))
                            .arg(shellWord(fileName))});
    return report;
}
