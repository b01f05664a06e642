// SPDX-License-Identifier: MIT
#include "StaleLocks.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype MaxLockSize = 4096; // a PID and a few short lines in any format

QString lockName(QString path)
{
    if (path.startsWith(QLatin1String("/dev/"))) path.remove(0, 5);
    return QStringLiteral("LCK..") + path.replace(u'/', u'_');
}

// The process the lock file names, or 0. Qt writes the PID on the first line, the older
// convention the same, padded: either reads the same here.
pid_t ownerOf(int fd)
{
    char text[MaxLockSize];
    const ssize_t n = ::read(fd, text, sizeof text);
    if (n <= 0) return 0;
    QByteArray first(text, qsizetype(n));
    first.truncate(first.indexOf('\n'));
    bool ok = false;
    const qlonglong pid = first.trimmed().toLongLong(&ok);
    return ok && pid > 0 && pid <= 0x3fffffff ? pid_t(pid) : 0;
}

} // namespace

QStringList StaleLocks::lockNames(const QString &device)
{
    if (!device.startsWith(u'/')) return {}; // a device server, no lock
    QStringList names{lockName(device)};
    const QString resolved = QFileInfo(device).canonicalFilePath();
    if (!resolved.isEmpty() && !names.contains(lockName(resolved)))
        names.append(lockName(resolved));
    return names;
}

QStringList StaleLocks::clear(const QStringList &devices, const QString &directory)
{
    QStringList removed;
    for (const QString &device : devices) {
        for (const QString &name : lockNames(device)) {
            const QString path = QDir(directory).filePath(name);
            const QByteArray native = QFile::encodeName(path);
            // Anyone may put anything here: no link is followed, no FIFO waited on.
            const int fd =
                ::open(native.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0) continue;
            struct stat st
            {
            };
            const pid_t pid =
                ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= MaxLockSize
                    ? ownerOf(fd)
                    : 0;
            // Gone, and no process holds the file's lock, as Qt's own holder does while alive;
            // and the name still this file, not one that a new owner made meanwhile.
            struct stat now
            {
            };
            if (pid != 0 && ::kill(pid, 0) != 0 && errno == ESRCH &&
                ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(native.constData(), &now) == 0 &&
                now.st_dev == st.st_dev && now.st_ino == st.st_ino &&
                ::unlink(native.constData()) == 0)
                removed.append(QStringLiteral("removed %1, left by process %2 which is gone")
                                   .arg(path)
                                   .arg(pid));
            ::close(fd);
        }
    }
    return removed;
}
