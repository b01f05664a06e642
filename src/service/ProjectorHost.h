// SPDX-License-Identifier: MIT
#pragma once

#include "Commands.h"
#include "IntervalTimer.h"
#include "LinkFailure.h"
#include "ReplyWindows.h"
#include "SerialLink.h"
#include "ServiceConfig.h"
#include "StatusReads.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <array>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>

class OwnLines;

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

// The result of one command asked for with request(): data for a front to word its answer.
struct HostResult
{
    quint64 id = 0;
    QString code;          // "CR0"
    QByteArray reply;      // the bytes that came in its reply window
    bool answered = false; // whether any came
    DecodedStatus reading; // what a status read's reply says
    LinkFailure failure;   // set when the line could not be written: nothing was sent
    bool stopping = false; // cut short, or never sent, because the service stops
};

// One projector held by the service: its link, its one exchange with the panel's rules, a
// bounded queue of the clients' commands, the status poll and the decoded state. Knows nothing
// of D-Bus or of any other front; a client is a name the front chose.
//
// Raw lines (writeLine) go to the projector the moment they are asked for, unless a command has
// waited its turn (below). Commands (request) go when the line is quiet: no reply window open and
// none waiting before them, so each gets the reply to its own line. A reply belongs to the client
// whose line opened the current reply window; characters that arrive after a newer line count
// for the newer one, as on the panel.
//
// Turns: once the first command in line has waited one reply window for the line, raw lines
// wait (Refusal::Wait) until that command's own window has closed. If raw lines were held back
// meanwhile, they then go before the next command, which again waits at most one window. So the
// two take turns: a command is on the line within two windows of the one before it leaving, and
// no raw line is held for more than two. Raw lines also wait while the wire still carries the
// previous one, which bounds a flood to what the line can take.
//
// A line that changes the power or the input, from whichever client, is followed by a read of
// that state once its window closes, queued like a command: the state shows warming up at once,
// not at the next poll.
class ProjectorHost final : public QObject
{
    Q_OBJECT
public:
    // The longest a command may be left waiting and still be answered: below D-Bus's default
    // call timeout of 25 s. Past it, a command is refused at once.
    static constexpr std::chrono::milliseconds MaxWait{20000};
    // Commands waiting, all clients together: as many as are answered within MaxWait at worst
    // (worstWait()).
    static const int MaxQueued;
    static constexpr int MaxQueuedPerClient = 4; // from one client
    static const QString OwnClient;              // "projectord": its own status reads

    // Takes the link; opens it at start(). The timers come from `timers`.
    ProjectorHost(ProjectorConfig config, std::unique_ptr<SerialLink> link,
                  const TimerFactory &timers, QObject *parent = nullptr);
    ~ProjectorHost() override;

    // Opens the line (a missing or unreachable device is waited for, not an error) and starts
    // the status poll. Separate from construction, so that the fronts are connected first.
    void start();

    const ProjectorConfig &config() const { return m_config; }
    bool isOnline() const { return m_online; }
    // Why the line is not open; None while it is.
    const LinkFailure &offlineFailure() const { return m_offline; }
    const ProjectorState &state() const { return m_state; }
    // The mutes as the lines sent through the service left them, by any client.
    const MuteState &mutes() const { return m_mutes; }
    SerialLink &link() { return *m_link; }
    // The sockets of raw lines handed out for this projector.
    OwnLines &lines() { return *m_lines; }

    // Busy: too many commands wait. Wait: a raw line that may go a little later, once
    // linesWelcome() says so; nothing was sent. Stopping: the service stops.
    enum class Refusal { None, Busy, Wait, Offline, InvalidLine, WriteFailed, Stopping };
    // What became of a command that finished without an answer: still waiting when the line
    // went away (Offline), a write that failed (WriteFailed), or the service's stop; None for
    // one that went out and had its window.
    Refusal refusalOf(const HostResult &result) const;

    // A refusal in words, for a front that answers in words: `failure` is what the call's own
    // write or the line's loss left, if anything.
    QString refusalText(Refusal refusal, const LinkFailure &failure = {}) const;
    // Why the line is not open, in the service's words: the reload's or the service's end, or
    // the line's failure.
    QString offlineText() const;

    // The longest until a command queued behind `ahead` others is answered: the window open now,
    // then for each command ahead and for this one a turn of raw lines (up to two windows) and
    // its own window.
    static std::chrono::milliseconds worstWait(int ahead);

    // Queues a three-character code ("C00", "CR0"; the caller has checked it) for `client`.
    // Returns the request's id, which finished() carries; 0 when refused, with the reason in
    // `refusal`.
    quint64 request(const QString &client, const QString &code, Refusal *refusal = nullptr)
    {
        return request(client, client, code, refusal);
    }
    // The same with the client's key (a unique bus name) as `sender`: for lineSent() and owner,
    // and for the per-client bound. The one above uses `client` for both.
    quint64 request(const QString &client, const QString &sender, const QString &code,
                    Refusal *refusal = nullptr);
    // Writes a raw line at once, or refuses it with Wait (see the class comment). `client` is
    // the name lineSent() carries, `sender` the client's key (a unique bus name) for owner.
    Refusal writeLine(const QString &client, const QString &sender, const QByteArray &line,
                      LinkFailure *failure = nullptr);
    // `sender` has gone: its waiting commands are dropped unsent and unanswered. One of its on
    // the line finishes as any other.
    void forget(const QString &sender);
    // Why a host ends: the service stops, or a reload removed its projector or changed its line.
    enum class Ending { None, ServiceStops, Removed, Reconfigured };
    // The service stops: every command waiting or on the line finishes with `stopping`, the
    // poll ends and nothing more is sent. Before the link is closed, once.
    void shutDown(Ending why = Ending::ServiceStops);
    // For a reload: shutDown(`why`), then the line closes and onlineChanged(false) tells the
    // fronts, whose clients hear `why` from ending().
    void retire(Ending why);
    Ending ending() const { return m_ending; }
    // New PJLink settings on a reload, for the server started after it; the line is untouched.
    void setPjlink(const PjlinkConfig &pjlink) { m_config.pjlink = pjlink; }

Q_SIGNALS:
    void finished(const HostResult &result);
    // mutes() changed.
    void mutesChanged();
    void lineSent(const QByteArray &line, const QString &client, const QString &sender);
    // `owner` is the sender of the line whose reply window is open ("" for none, and for the
    // service's own status reads, whose lines have client OwnClient and sender "").
    void received(const QByteArray &bytes, const QString &owner);
    // Also while offline, when offlineFailure() changes: a connection that could not be made,
    // a device found missing at start.
    void onlineChanged(bool online);
    // One or more of state()'s readings changed.
    void stateChanged();
    // A raw line refused with Wait could go now.
    void linesWelcome();

private:
    static constexpr std::array<const char *, 4> PollCodes{
        Code::ReadPower, Code::ReadInput, Code::ReadLampHours, Code::ReadOrientation};
    struct Pending
    {
        quint64 id;
        QString client;
        QString sender;
        QString code;
        bool own = false;  // one of the service's own status reads
        bool owed = false; // it waited its turn: raw lines wait while its window is open
    };
    bool send(const QString &client, const QString &sender, const QByteArray &line,
              std::optional<Pending> command, LinkFailure *failure = nullptr);
    // The same for a command, whose line is its code and a carriage return.
    bool send(Pending command, LinkFailure *failure = nullptr);
    void conclude(const Pending &command, HostResult result);
    void pump();
    void onWindowClosed(const QByteArray &reply, bool answered);
    void onReceived(const QString &characters);
    // A read of the state `line` changes, queued behind it; none for another line.
    void readBackAfter(QByteArrayView line);
    bool rawLinesWait() const;
    void schedule();
    void welcomeIfFree();
    void poll();
    void setOnline(bool online, const LinkFailure &why = {});
    DecodedStatus record(const QByteArray &line, const QByteArray &reply);
    LinkFailure notOpen() const;

    ProjectorConfig m_config;
    std::unique_ptr<SerialLink> m_link;
    std::unique_ptr<IntervalTimer> m_pollTimer;
    std::unique_ptr<IntervalTimer> m_turnTimer; // the first command's wait for its turn
    std::unique_ptr<IntervalTimer> m_paceTimer; // the last raw line on the wire
    std::unique_ptr<ReplyWindows> m_windows;    // after the link it refers to
    std::deque<Pending> m_queue;
    std::optional<Pending> m_current; // the command whose reply window is open
    QString m_windowOwner;            // sender of the line that opened the open window
    QByteArray m_windowLine;          // that line, for decoding a status read written raw
    bool m_windowReplied = false;     // characters came in the open window
    bool m_online = false;
    bool m_headOwed = false;  // the first command waited its turn: raw lines wait
    bool m_yielding = false;  // held raw lines go before the first command
    bool m_linesHeld = false; // a raw line was refused with Wait since the last linesWelcome
    bool m_stopping = false;
    Ending m_ending = Ending::None;
    quint64 m_nextId = 1;
    int m_pollStep = -1;  // the status read under way, -1 when none
    quint64 m_pollId = 0; // its id while its line is out
    LinkFailure m_offline;
    ProjectorState m_state;
    MuteState m_mutes;
    std::unique_ptr<OwnLines> m_lines; // last: it refers to this host
};
