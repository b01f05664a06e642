// SPDX-License-Identifier: MIT
#pragma once

#include "Commands.h"
#include "StatusReads.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <chrono>
#include <optional>

// PJLink class 1 as this projector family answers it: the mapping from PJLink commands to the
// projector's codes, the request parser and the answer encoder. No sockets and no timers, so
// that the fuzzer and the tests drive it as it is.
namespace pjlink {

inline constexpr int MaxLine = 136;     // a command line, its CR included
inline constexpr int DigestLength = 32; // the MD5 digest in hex before the first command
inline constexpr int MaxPassword = 32;  // bytes
inline constexpr int MaxName = 64;      // bytes of NAME's answer
inline constexpr int MaxInfo = 32;      // bytes of INF1's, INF2's and INFO's
inline constexpr int RandomLength = 8;  // the challenge's characters
inline constexpr std::chrono::seconds IdleTimeout{30};

enum class Error { Undefined = 1, OutOfParameter, UnavailableTime, ProjectorFailure };

// How the answer to a command is made.
enum class Reading {
    Done,    // a set command: OK once every code was answered
    Power,   // POWR ?
    Input,   // INPT ?
    Inputs,  // INST ?
    Mute,    // AVMT ?: the state kept, the projector cannot be asked
    Lamp,    // LAMP ?
    Errors,  // ERST ?
    Name,    // NAME ?, and the three below: from the configuration
    Maker,   // INF1 ?
    Product, // INF2 ?
    Other,   // INFO ?
    Class    // CLSS ?
};

// One row of the mapping: a PJLink command with its parameter, the codes sent for it in turn
// (none for what is answered here), and how its answer is made.
struct Mapping
{
    const char *body;      // "POWR"
    const char *parameter; // "1"; "?" for a query
    const char *codes[2];  // nullptr past the last
    Reading reading;

    int codeCount() const { return codes[0] ? (codes[1] ? 2 : 1) : 0; }
};

// The row for a command, or nullptr.
const Mapping *findMapping(QByteArrayView body, QByteArrayView parameter);

// What the configuration says of the projector; the defaults name no maker and no model.
struct Identity
{
    QByteArray name, maker, product, other;
};

// What one code of a command got: whether a reply came in its window, and what it decodes to.
struct Outcome
{
    bool answered = false;
    DecodedStatus status;
};

// What the answer draws on beside the command's own outcomes.
struct Facts
{
    std::optional<PowerState> lastPower; // the projector's power state as last read
    MuteState mute;                      // as last set through the service
    Identity identity;
};

// "%1BODY=PARAMETER\r", or "%1BODY=ERRn\r".
QByteArray answerLine(QByteArrayView body, QByteArrayView parameter);
QByteArray errorLine(QByteArrayView body, Error error);
// The answer to a row's command, from the outcomes of its codes in the order they were sent
// (the first unanswered one ends them).
QByteArray answer(const Mapping &mapping, const QList<Outcome> &outcomes, const Facts &facts);
// The error for a command the projector did not answer in time: ERR3 while its state says it
// cannot act, warming up or cooling down; ERR4 otherwise.
Error noReplyError(std::optional<PowerState> lastPower);

// The lowercase hex MD5 of the challenge followed by the password.
QByteArray digest(QByteArrayView random, QByteArrayView password);

// One connection's side of the protocol: greets, frames the client's bytes into lines, checks
// the authentication of the first, and parses each into a command or an answer given at once.
// Holds at most one line's worth of the client's bytes; the caller feeds it as it takes them.
class Session
{
public:
    // With a password, `random` (RandomLength characters) is the challenge.
    explicit Session(QByteArray password = {}, QByteArray random = {});

    QByteArray greeting() const; // "PJLINK 0\r" or "PJLINK 1 RANDOM\r"
    // The longest a line may be now: the first carries the digest when one is asked for.
    int lineLimit() const;

    struct Step
    {
        const Mapping *mapping = nullptr; // a command for the projector
        QByteArray answer;                // or this, at once; empty: nothing to answer
        bool close = false;               // close after the answer: authentication failed
    };
    // Takes the client's bytes; at most lineLimit() of them are held at once.
    void feed(QByteArrayView bytes);
    // The step for the next whole line, or nothing until one is whole.
    std::optional<Step> next();
    bool isClosing() const { return m_closing; }
    // The digest was right, or none was asked for.
    bool isAuthenticated() const { return m_authenticated; }
    qsizetype held() const { return m_input.size(); } // bytes of lines not yet taken

private:
    Step parse(QByteArrayView line);
    Step overlong(QByteArrayView head);

    QByteArray m_password;
    QByteArray m_random;
    bool m_authenticated;
    bool m_closing = false;
    QByteArray m_input;
    bool m_discarding = false; // a line past the limit, dropped up to its CR
    QByteArray m_overlongHead;
};

} // namespace pjlink
