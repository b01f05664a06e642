// SPDX-License-Identifier: MIT
#pragma once

#include "IntervalTimer.h"
#include "SerialLink.h"

#include <QString>

#include <functional>

// Hyouji and what surrounds it: sending a command line, collecting the reply, the reply window
// (Timer2), the display clear (Timer4), and the three displays TXD, RXD and status.
class Exchange
{
public:
    enum class Display { Txd, Rxd, Status };

    // ReplyText keeps at most this many characters: the first ones, which decide the status
    // text and are all that the one-line RXD display can show.
    static constexpr int MaxReplyLength = 32767;

    Exchange(SerialLink &link, IntervalTimer &timer2, IntervalTimer &timer4);

    // Mode 1 writes LineText to the port and opens the reply window; any other mode shows it as
    // received text. False when the write failed: nothing after it has run then.
    bool hyouji(const QString &lineText, int mode);

    // CommandText := code + CR, then Hyouji(CommandText, 1).
    bool transmit(QLatin1StringView code);

    void onComm(SerialLink::Event event); // the receive handler
    void replyWindowTick();               // Timer2
    void displayClearTick();              // Timer4

    // Empties ReplyText (window load, reply window, release of a held button).
    void clearReplyText();
    void setReplyPending(quint8 value) { m_replyPending = value; }
    // TXD and RXD := empty, as a release does.
    void blankTraces();

    const QString &commandText() const { return m_commandText; }
    const QString &replyText() const { return m_replyText; }
    quint8 replyPending() const { return m_replyPending; }
    const QString &display(Display which) const;

    // Called only when a display's text changes.
    void setDisplayHandler(std::function<void(Display, const QString &)> h)
    {
        m_displayHandler = std::move(h);
    }
    // Called with the description when a write fails; the window shows it.
    void setFailureHandler(std::function<void(const QString &)> h) { m_failure = std::move(h); }

private:
    bool send(const QString &lineText);
    void showReceived(const QString &trace);
    void showReply(bool grew);
    void setDisplay(Display which, const QString &text);

    SerialLink &m_link;
    IntervalTimer &m_timer2;
    IntervalTimer &m_timer4;

    QString m_commandText;
    QString m_replyText;
    QString m_replyTrace = QStringLiteral(" "); // always lineTrace(m_replyText)
    quint8 m_replyPending = 0;
    QString m_txd, m_rxd, m_status;
    // While the RXD display shows the reply, it is m_replyTrace itself rather than a copy:
    // a shared copy would make every append copy the whole trace.
    bool m_rxdIsReply = false;

    std::function<void(Display, const QString &)> m_displayHandler;
    std::function<void(const QString &)> m_failure;
};
