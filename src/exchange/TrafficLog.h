// SPDX-License-Identifier: MIT
#pragma once

#include "Exchange.h"
#include "LineSettings.h"
#include "SerialLink.h"

#include <QFile>
#include <QObject>
#include <QString>

#include <optional>

// The traffic of one exchange and its link, appended to a file one line per event: lines sent,
// stretches of reply, no-reply marks, the port opened, lost, restored and closed, and speed
// changes. Each line goes to the file as a whole when it happens, so a crash or a power cut
// loses at most the line being written. The format is in docs/traffic-log.md.
class TrafficLog final : public QObject
{
    Q_OBJECT
public:
    TrafficLog(Exchange &exchange, SerialLink &link, QObject *parent = nullptr);

    // Appends to `path` from now on. On false failed() has been emitted and nothing is logged;
    // the exchange and the link go on as before either way.
    bool open(const QString &path);
    bool isOpen() const { return m_file.isOpen(); }

Q_SIGNALS:
    // The file could not be opened or written, in words for the operator. Emitted once: the
    // log stops at its first failure, since a full disk stays full for the rest of the run.
    void failed(const QString &message);

private:
    void onSent(const QString &lineText);
    void onReceived(const QString &characters);
    void portEvent(const QString &what);
    void append(const QString &text);

    Exchange &m_exchange;
    SerialLink &m_link;
    QString m_path;
    QFile m_file;
    bool m_failed = false;
    // The link gives no way to ask for them; every program applies them before it opens.
    LineSettings m_settings;
    // The status last logged for the reply in progress: a split reply names it once.
    std::optional<QString> m_loggedStatus;
};
