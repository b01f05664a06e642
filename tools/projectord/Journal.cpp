// SPDX-License-Identifier: MIT
#include "Journal.h"

#include <QList>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// KEY=value, or for a value with a newline in it, KEY, a newline, the value's length as 64 bits
// little-endian, and the value.
void append(QByteArray &record, const char *key, const QByteArray &value)
{
    record += key;
    if (!value.contains('\n')) {
        record += '=' + value + '\n';
        return;
    }
    record += '\n';
    auto length = std::uint64_t(value.size());
    for (int i = 0; i < 8; ++i, length >>= 8) record += char(length & 0xff);
    record += value + '\n';
}

} // namespace

Journal::Journal(QByteArray socket) : m_journal(socket) {}

QByteArray Journal::socketForStderr()
{
    return isStream(qgetenv("JOURNAL_STREAM"), STDERR_FILENO) ? QByteArray(Socket) : QByteArray();
}

bool Journal::isStream(const QByteArray &journalStream, int fd)
{
    const QList<QByteArray> parts = journalStream.split(':');
    if (parts.size() != 2) return false;
    bool deviceOk = false, inodeOk = false;
    const qulonglong device = parts[0].toULongLong(&deviceOk);
    const qulonglong inode = parts[1].toULongLong(&inodeOk);
    struct stat st
    {
    };
    return deviceOk && inodeOk && ::fstat(fd, &st) == 0 && st.st_dev == device &&
           st.st_ino == inode;
}

QByteArray Journal::record(const QString &line, const QString &projector)
{
    QByteArray record;
    append(record, "MESSAGE", line.toUtf8());
    append(record, "PRIORITY", "6");
    append(record, "SYSLOG_IDENTIFIER", "projectord");
    if (!projector.isEmpty()) append(record, "PROJECTOR", projector.toUtf8());
    return record;
}

void Journal::log(const QString &line, const QString &projector)
{
    if (m_journal.isValid() && m_journal.send(record(line, projector))) return;
    std::fputs(qPrintable(line + u'\n'), stderr);
    std::fflush(stderr);
}
