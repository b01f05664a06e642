// SPDX-License-Identifier: MIT
#pragma once

#include "Exchange.h"
#include "LineSettings.h"
#include "SerialLink.h"

#include <QCoreApplication>
#include <QObject>
#include <QString>

#include <optional>

// Why the traffic log stopped. Carries the system's error code, not its words; text() makes the
// words for the operator, in one place.
struct TrafficLogFailure
{
    Q_DECLARE_TR_FUNCTIONS(TrafficLogFailure)

public:
    enum class What { Open, Write };
    What what = What::Open;
    QString path;
    int systemError = 0; // errno

    QString text() const;
    bool operator==(const TrafficLogFailure &o) const
    {
        return what == o.what && path == o.path && systemError == o.systemError;
    }
};

// The traffic of one exchange and its link, appended to a file one line per event: lines sent,
// by this program or by another sharing the line through projectord, stretches of reply,
// no-reply marks, the port opened, not opened, lost, restored and closed, and speed changes.
// Each line goes to the file as a whole when it happens, so a crash or a power cut loses at
// most the line being written. The format is in docs/traffic-log.md. A FIFO or a pipe gets the
// log only while it is read: the panel's event thread never waits for the log's reader.
class TrafficLog final : public QObject
{
    Q_OBJECT
public:
    TrafficLog(Exchange &exchange, SerialLink &link, QObject *parent = nullptr);
    ~TrafficLog() override;

    // Appends to `path` from now on. On false failed() has been emitted and nothing is logged;
    // the exchange and the link go on as before either way.
    bool open(const QString &path);
    bool isOpen() const { return m_fd >= 0; }
    // False when the settings applied are a default nobody asked for: a line that cannot be
    // set (a raw TCP device, or one projectord sets) is then not logged as "not set", which
    // would read as a refusal.
    void setSettingsAsked(bool asked) { m_settingsAsked = asked; }

Q_SIGNALS:
    // The file could not be opened or written. Emitted once: the log stops at its first
    // failure, since a full disk stays full for the rest of the run.
    void failed(const TrafficLogFailure &failure);

private:
    void onSent(const QString &lineText);
    void onReceived(const QString &characters);
    void onEarlierReply(const QString &characters);
    void portEvent(const QString &what);
    void append(const QString &text);
    void fail(TrafficLogFailure::What what, int systemError);

    Exchange &m_exchange;
    SerialLink &m_link;
    QString m_path;
    int m_fd = -1;
    bool m_failed = false;
    bool m_settingsAsked = true;
    // The link gives no way to ask for them; every program applies them before it opens.
    LineSettings m_settings;
    // The status last logged for the reply in progress: a split reply names it once.
    std::optional<QString> m_loggedStatus;
};
