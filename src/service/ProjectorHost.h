// SPDX-License-Identifier: MIT
#pragma once

#include "Exchange.h"
#include "IntervalTimer.h"
#include "LinkFailure.h"
#include "SerialLink.h"
#include "ServiceConfig.h"
#include "StatusDecode.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <deque>
#include <memory>
#include <optional>

// What projectord knows of a projector's state: each value with the time it was read.
struct ProjectorState
{
    template <typename T> struct Reading
    {
        T value{};
        QDateTime at; // invalid: never read
        bool isKnown() const { return at.isValid(); }
    };
    Reading<PowerState> power;
    Reading<InputSource> input;
    Reading<int> lampHours;
    Reading<Orientation> orientation;
};

// The result of one command asked for with request(): as the panel's exchange saw it.
struct HostResult
{
    quint64 id = 0;
    QString code;                  // "CR0"
    QString reply;                 // the RXD trace when its window closed, or " X X X X"
    std::optional<QString> status; // the panel's status words
    bool answered = false;
    LinkFailure failure; // set when the line could not be written: nothing was sent
};

// One projector held by the service: its link, its one exchange with the panel's rules, a
// bounded queue of the clients' commands, the status poll and the decoded state. Knows nothing
// of D-Bus or of any other front; a client is a name the front chose.
//
// Raw lines (writeLine) go to the projector the moment they are asked for. Commands
// (request) go when the line is quiet: no reply window open and none waiting before them, so
// each gets the reply to its own line. A reply belongs to the client whose line opened the
// current reply window; characters that arrive after a newer line count for the newer one, as
// on the panel.
class ProjectorHost final : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxQueued = 64;          // commands waiting, all clients together
    static constexpr int MaxQueuedPerClient = 16; // from one client
    static constexpr int MaxLineLength = 64;      // bytes of a raw line
    static const QString OwnClient;               // "projectord": its own status reads

    // Takes the link; opens it at start(). The timers come from `timers`.
    ProjectorHost(ProjectorConfig config, std::unique_ptr<SerialLink> link,
                  const TimerFactory &timers, QObject *parent = nullptr);
    ~ProjectorHost() override;

    // Opens the line (a missing or unreachable device is waited for, not an error) and starts
    // the status poll.
    void start();

    const ProjectorConfig &config() const { return m_config; }
    bool isOnline() const;
    // Why the line is not open; None while it is.
    const LinkFailure &offlineFailure() const { return m_offline; }
    const ProjectorState &state() const { return m_state; }
    SerialLink &link() { return *m_link; }

    // Wait: not now, nothing was sent; linesWelcome() tells when a line could go.
    enum class Refusal { None, Busy, Offline, InvalidLine, WriteFailed, Wait };

    // STAND-IN (branch proc): the host branch's shutDown() ends every waiting command with an
    // error; this one does nothing. Dropped when that branch is merged.
    void shutDown() {}

    // Queues a three-character code ("C00", "CR0"; the caller has checked it) for `client`.
    // Returns the request's id, which finished() carries; 0 when refused, with the reason in
    // `refusal`.
    quint64 request(const QString &client, const QString &code, Refusal *refusal = nullptr);
    // The same with the client's key (a unique bus name) as `sender`: for lineSent() and owner,
    // and for the per-client bound. The one above uses `client` for both.
    quint64 request(const QString &client, const QString &sender, const QString &code,
                    Refusal *refusal = nullptr);
    // What makes `line` no raw line that is sent, in English for a client's error message; empty
    // for one that is: 1 to MaxLineLength bytes, none above 0x7f.
    static QString lineProblem(const QByteArray &line);
    // Writes a raw line at once. `client` is the name lineSent() carries, `sender` the
    // client's key (a unique bus name) for owner.
    Refusal writeLine(const QString &client, const QString &sender, const QByteArray &line,
                      LinkFailure *failure = nullptr);

Q_SIGNALS:
    void finished(const HostResult &result);
    void lineSent(const QByteArray &line, const QString &client, const QString &sender);
    // `owner` is the sender of the line whose reply window is open ("" for none, and for the
    // service's own status reads, whose lines have client OwnClient and sender "").
    void received(const QByteArray &bytes, const QString &owner);
    // Also while offline, when offlineFailure() changes: a connection that could not be made,
    // a device found missing at start.
    void onlineChanged(bool online);
    // One or more of state()'s readings changed.
    void stateChanged();
    // STAND-IN (branch proc): a raw line refused with Wait could go now. Never emitted here.
    void linesWelcome();

private:
    struct Pending
    {
        quint64 id;
        QString client;
        QString sender;
        QString code;
        bool own = false; // one of the service's own status reads
    };
    bool send(const QString &client, const QString &sender, const QByteArray &line,
              std::optional<Pending> command, LinkFailure *failure = nullptr);
    // The same for a command, whose line is its code and a carriage return.
    bool send(Pending command, LinkFailure *failure = nullptr);
    void conclude(const Pending &command, HostResult result);
    void pump();
    void onWindowClosed();
    void onReceived(const QString &characters);
    void poll();
    void setOnline(bool online, const LinkFailure &why = {});
    void record(const QString &commandText, const QString &replyTrace);
    LinkFailure notOpen() const;

    ProjectorConfig m_config;
    std::unique_ptr<SerialLink> m_link;
    std::unique_ptr<IntervalTimer> m_timer2, m_timer4, m_pollTimer;
    std::unique_ptr<Exchange> m_exchange; // after the timers and link it refers to
    std::deque<Pending> m_queue;
    std::optional<Pending> m_current; // the command whose reply window is open
    QString m_windowOwner;            // sender of the line that opened the open window
    QString m_windowLine;             // that line, for decoding a status read written raw
    bool m_windowReplied = false;     // characters came in the open window
    bool m_noReply = false;           // the window closed with nothing received
    bool m_online = false;
    quint64 m_nextId = 1;
    int m_pollStep = -1;  // the status read under way, -1 when none
    quint64 m_pollId = 0; // its id while its line is out
    LinkFailure m_offline;
    ProjectorState m_state;
};
