// SPDX-License-Identifier: MIT
#include "Exchange.h"

#include "Commands.h"
#include "LineTrace.h"
#include "StatusTables.h"

const QString Exchange::NoReplyMark = QStringLiteral(" X X X X");

Exchange::Exchange(SerialLink &link, IntervalTimer &timer2, IntervalTimer &timer4, QObject *parent)
    : QObject(parent), m_link(link), m_timer2(timer2), m_timer4(timer4)
{
    connect(&m_timer2, &IntervalTimer::timeout, this, &Exchange::replyWindowTick);
    connect(&m_timer4, &IntervalTimer::timeout, this, &Exchange::displayClearTick);
    connect(&m_link, &SerialLink::received, this, &Exchange::onComm);
    connect(&m_link, &SerialLink::sharedLineSent, this, &Exchange::onSharedLine);
}

bool Exchange::transmit(QLatin1StringView code)
{
    m_commandText = QString::fromLatin1(commandLine(code));
    return hyouji(m_commandText);
}

bool Exchange::hyouji(const QString &lineText)
{
    if (!m_link.write(lineText.toLatin1())) {
        Q_EMIT sendFailed(m_link.failure());
        return false;
    }
    Q_EMIT lineSent(lineText);
    openReplyWindow(lineText);
    return true;
}

// The other client sent its line once its own window had closed, so the window open here, which
// began when the last line's signal came, ends as it would have: its reply, or none, is not
// read against the new line. Characters that no window awaits are taken as the start of the new
// line's reply: the reply and the line come as separate signals, and either may come first.
void Exchange::onSharedLine(const QByteArray &line, const QString &client)
{
    const QString lineText = QString::fromLatin1(line);
    if (!m_framesSharedLines) {
        Q_EMIT otherLineSent(lineText, client);
        return;
    }
    const QString carried = unclaimedReply();
    if (m_timer2.isActive()) replyWindowTick();
    clearReplyText();
    Q_EMIT otherLineSent(lineText, client);
    m_commandText = lineText;
    openReplyWindow(lineText);
    if (carried.isEmpty()) return;
    m_replyText = carried;
    m_replyTrace = lineTrace(carried);
    m_replyPending = 0;
    Q_EMIT earlierReply(carried);
    showReply(true);
}

// Received after the open window's reply had ended with its CR, or while no window was open.
QString Exchange::unclaimedReply() const
{
    if (!m_timer2.isActive()) return m_replyText;
    const qsizetype end = m_replyText.indexOf(QChar(13), m_windowStart);
    return end < 0 ? QString() : m_replyText.mid(end + 1);
}

void Exchange::openReplyWindow(const QString &lineText)
{
    m_windowStart = m_replyText.size();
    setDisplay(Display::Txd, lineTrace(lineText));
    m_timer2.start();
    m_replyPending = 1;
    m_timer4.start();
}

void Exchange::showAsReceived(const QString &lineText)
{
    setDisplay(Display::Rxd, lineTrace(lineText));
    if (auto status = interpretStatus(m_commandText, lineText))
        setDisplay(Display::Status, *status);
}

void Exchange::showReply(bool grew)
{
    const bool changed = m_rxdIsReply ? grew : m_rxd != m_replyTrace;
    if (!m_rxdIsReply) {
        m_rxdIsReply = true;
        m_rxd.clear();
    }
    if (changed) Q_EMIT displayChanged(Display::Rxd, m_replyTrace);
    if (auto status = interpretStatus(m_commandText, m_replyText))
        setDisplay(Display::Status, *status);
}

void Exchange::onComm()
{
    const QString arrived = QString::fromLatin1(m_link.readAll());
    if (!arrived.isEmpty()) Q_EMIT charactersReceived(arrived);
    // Beyond the bound the characters are read and dropped: the display and the status text
    // depend only on the start of the reply.
    const QStringView kept = QStringView(arrived).left(MaxReplyLength - m_replyText.size());
    m_replyText += kept;
    appendTracePieces(m_replyTrace, kept);
    m_replyPending = 0;
    // Hyouji(ReplyText, 2), with only the new characters traced.
    showReply(!kept.isEmpty());
}

void Exchange::replyWindowTick()
{
    m_closedReply = m_replyPending == 1 ? QString() : m_replyText;
    if (m_replyPending == 1) {
        Q_EMIT noReply();
        setDisplay(Display::Rxd, NoReplyMark);
    }
    m_timer2.stop();
    clearReplyText();
    m_replyPending = 0;
}

void Exchange::displayClearTick()
{
    // Both are started by the same send; when they fall due together, the reply window goes
    // first whichever tick the event loop delivers first.
    if (m_timer2.isDue()) replyWindowTick();
    setDisplay(Display::Txd, QString());
    setDisplay(Display::Rxd, QString());
    setDisplay(Display::Status, QString());
    m_timer4.stop();
}

void Exchange::clearReplyText()
{
    if (m_rxdIsReply) { // the display keeps showing what came
        m_rxdIsReply = false;
        m_rxd = std::move(m_replyTrace);
    }
    m_replyText.clear();
    m_replyTrace = QStringLiteral(" ");
    m_windowStart = 0;
}

void Exchange::blankTraces()
{
    setDisplay(Display::Txd, QString());
    setDisplay(Display::Rxd, QString());
}

const QString &Exchange::display(Display which) const
{
    switch (which) {
    case Display::Txd: return m_txd;
    case Display::Rxd: return m_rxdIsReply ? m_replyTrace : m_rxd;
    case Display::Status: break;
    }
    return m_status;
}

void Exchange::setDisplay(Display which, const QString &text)
{
    if (which == Display::Rxd && m_rxdIsReply) {
        m_rxdIsReply = false;
        m_rxd = m_replyTrace;
    }
    QString &current = which == Display::Txd ? m_txd : which == Display::Rxd ? m_rxd : m_status;
    if (current == text) return;
    current = text;
    Q_EMIT displayChanged(which, current);
}
