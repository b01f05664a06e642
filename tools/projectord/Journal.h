// SPDX-License-Identifier: MIT
#pragma once

#include "Datagram.h"

#include <QByteArray>
#include <QString>

// Where projectord's lines go. Under systemd, whose journal reads stderr, each goes to the
// journal as a record of its own, with the projector it is about as the field PROJECTOR, so that
// `journalctl -u projectord PROJECTOR=hall-1` shows one projector. Run by hand, or when the
// journal cannot take a line, the line goes to stderr as it is.
class Journal
{
public:
    static constexpr const char *Socket = "/run/systemd/journal/socket";

    // Lines to the journal's native socket at `socket`; to stderr only when empty.
    explicit Journal(QByteArray socket = {});

    // Socket when stderr is the journal's stream, as JOURNAL_STREAM says; empty otherwise.
    static QByteArray socketForStderr();
    // Whether `journalStream`, as systemd sets JOURNAL_STREAM ("device:inode"), names `fd`.
    static bool isStream(const QByteArray &journalStream, int fd);
    // One record of the native protocol; `projector` empty for a line about none.
    static QByteArray record(const QString &line, const QString &projector);

    void log(const QString &line, const QString &projector = {});

private:
    Datagram m_journal;
};
