// SPDX-License-Identifier: MIT
#pragma once

#include "IntervalTimer.h"
#include "SerialLink.h"

#include <QObject>
#include <QString>

// Hyouji and what surrounds it: sending a command line, collecting the reply, the reply window
// (Timer2), the display clear (Timer4), and the three displays TXD, RXD and status.
class Exchange final : public QObject
{
    Q_OBJECT
public:
    enum class Display { Txd, Rxd, Status };
    Q_ENUM(Display)

    // ReplyText keeps at most this many characters: the first ones, which decide the status
    // text and are all that the one-line RXD display can show.
    static constexpr int MaxReplyLength = 32767;
    // Shown on RXD when the reply window closes with nothing received.
    static const QString NoReplyMark;

    Exchange(SerialLink &link, IntervalTimer &timer2, IntervalTimer &timer4,
             QObject *parent = nullptr);

    // Hyouji with mode 1: writes LineText to the port and opens the reply window. False when
    // the write failed: nothing after it has run then.
    bool hyouji(const QString &lineText);
    // Hyouji with any other mode: shows LineText as received text.
    void showAsReceived(const QString &lineText);

    // Whether a line another client of a shared line sent is shown and waited for as if sent
    // here, so that its reply is read against it: for the panel. Off, such a line is only
    // passed on with otherLineSent(), and the exchange keeps to its own lines.
    void setFramesSharedLines(bool frames) { m_framesSharedLines = frames; }

    // CommandText := code + CR, then Hyouji(CommandText, 1).
    bool transmit(QLatin1StringView code);

    void onComm();           // the receive handler
    void replyWindowTick();  // Timer2
    void displayClearTick(); // Timer4

    // Empties ReplyText (window load, reply window, release of a held button).
    void clearReplyText();
    void setReplyPending(quint8 value) { m_replyPending = value; }
    // TXD and RXD := empty, as a release does.
    void blankTraces();

    const QString &commandText() const { return m_commandText; }
    const QString &replyText() const { return m_replyText; }
    // What the last reply window to close had received; empty when nothing came in it.
    const QString &closedReply() const { return m_closedReply; }
    quint8 replyPending() const { return m_replyPending; }
    const QString &display(Display which) const;

Q_SIGNALS:
    // Only when a display's text changes.
    void displayChanged(Exchange::Display which, const QString &text);
    // A write failed; the window shows it once.
    void sendFailed(const LinkFailure &failure);
    // For the traffic log: a line went out, characters arrived, a reply window closed empty.
    void lineSent(const QString &lineText);
    void charactersReceived(const QString &characters);
    void noReply();
    // Another client's line on a shared line, after the window before it has closed.
    void otherLineSent(const QString &lineText, const QString &client);
    // Characters received before otherLineSent() and taken as the start of its reply, which
    // they are when its reply overtook the line on the way here.
    void earlierReply(const QString &characters);

private:
    void onSharedLine(const QByteArray &line, const QString &client);
    QString unclaimedReply() const;
    void openReplyWindow(const QString &lineText);
    void showReply(bool grew);
    void setDisplay(Display which, const QString &text);

    SerialLink &m_link;
    IntervalTimer &m_timer2;
    IntervalTimer &m_timer4;

    QString m_commandText;
    QString m_replyText;
    QString m_closedReply;
    QString m_replyTrace = QStringLiteral(" "); // always lineTrace(m_replyText)
    quint8 m_replyPending = 0;
    qsizetype m_windowStart = 0; // where the open window's reply begins in m_replyText
    bool m_framesSharedLines = false;
    QString m_txd, m_rxd, m_status;
    // While the RXD display shows the reply, it is m_replyTrace itself rather than a copy:
    // a shared copy would make every append copy the whole trace.
    bool m_rxdIsReply = false;
};
