// SPDX-License-Identifier: MIT
#include "ReceiveProgram.h"

#include "Exchange.h"
#include "FakeLink.h"
#include "LineTrace.h"
#include "VirtualClock.h"

#include <QByteArray>

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <optional>

namespace receiveprogram {
namespace {

using namespace std::chrono_literals;
using ms = std::chrono::milliseconds;
using D = Exchange::Display;

constexpr ms ReplyWindow = 500ms;
constexpr ms DisplayClear = 1000ms;
constexpr qsizetype LongLimit = 4096;
constexpr qsizetype FloodUnit = 1024;

// The four status reads first, then lines whose replies mean nothing to the status display;
// "CR2" is there because it looks like a status read and is none.
const std::array<QLatin1StringView, 8> Commands{QLatin1StringView("CR0"), QLatin1StringView("CR1"),
                                                QLatin1StringView("CR3"), QLatin1StringView("CR4"),
                                                QLatin1StringView("C09"), QLatin1StringView("C00"),
                                                QLatin1StringView("C05"), QLatin1StringView("CR2")};

enum Op { Short, Long, Flood, Advance, NextTick, Transmit, Other, Refuse, OpCount };

const QString NoReplyMark = QStringLiteral(" X X X X");
const QLatin1StringView HourUse(" Hour Use");
constexpr qsizetype HourPrefixMax = 8;

const QStringList &tableTexts()
{
    static const QStringList texts{
        QStringLiteral(" Power ON"),
        QStringLiteral(" Stand by"),
        QStringLiteral(" Count down"),
        QStringLiteral(" Cooling down"),
        QStringLiteral(" Power abnormality"),
        QStringLiteral(" Temperature abnormality"),
        QStringLiteral(" Key input prohibition"),
        QStringLiteral(" Computer 1"),
        QStringLiteral(" Computer 2"),
        QStringLiteral(" Video"),
        QStringLiteral(" Normally"),
        QStringLiteral(" Top/Bottom reversal"),
        QStringLiteral(" Left/Right reversal"),
        QStringLiteral(" Top/Bottom , Left/Right reversal"),
    };
    return texts;
}

// Whether `rest` can continue a trace: whole pieces, the last one perhaps cut short. Written
// from the pieces' shapes rather than with tracePiece(), so a wrong piece there shows up here.
bool continuesTrace(QStringView rest)
{
    if (rest.isEmpty()) return true;
    const auto fits = [rest](QLatin1StringView piece) {
        if (rest.startsWith(piece)) return continuesTrace(rest.mid(piece.size()));
        return piece.startsWith(rest);
    };
    for (const char *named : {"ACK ", "CR ", "LF  ", "? "})
        if (fits(QLatin1StringView(named))) return true;
    const char16_t c = rest.front().unicode();
    const char printable[] = {char(c), ' '};
    return c >= 32 && c <= 122 && fits(QLatin1StringView(printable, 2));
}

bool isHourText(const QString &status)
{
    if (!status.endsWith(HourUse)) return false;
    const QStringView prefix = QStringView(status).chopped(HourUse.size());
    return prefix.size() >= 1 && prefix.size() <= HourPrefixMax && prefix.front() == u' ' &&
           continuesTrace(prefix.mid(1));
}

QString shown(const QByteArray &bytes)
{
    constexpr qsizetype Shown = 24;
    QString out;
    for (const char c : bytes.left(Shown)) {
        const auto u = static_cast<unsigned char>(c);
        out += u >= 32 && u < 127 && u != '\\' ? QString(QChar(u))
                                               : QStringLiteral("\\x%1").arg(u, 2, 16, QChar(u'0'));
    }
    if (bytes.size() > Shown) out += QStringLiteral("...");
    return out;
}

class Reader
{
public:
    Reader(const std::uint8_t *data, std::size_t size) : m_data(data), m_size(size) {}

    bool atEnd() const { return m_pos >= m_size; }
    quint8 byte() { return atEnd() ? 0 : m_data[m_pos++]; }
    quint16 u16()
    {
        const quint16 lo = byte();
        return quint16(lo | byte() << 8);
    }
    QByteArray bytes(qsizetype n)
    {
        const auto take = static_cast<qsizetype>(std::min<std::size_t>(n, m_size - m_pos));
        QByteArray out(reinterpret_cast<const char *>(m_data + m_pos), take);
        m_pos += take;
        return out;
    }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

QByteArray repeated(QByteArray pattern, qsizetype size)
{
    if (pattern.isEmpty()) pattern = QByteArray(1, '\0');
    QByteArray out = pattern.repeated(size / pattern.size() + 1);
    out.truncate(size);
    return out;
}

class Runner
{
public:
    explicit Runner(QStringList *log) : m_log(log)
    {
        m_timer2->setInterval(ReplyWindow);
        m_timer4->setInterval(DisplayClear);
        // The exchange wired its own timers first, so the model follows each of its ticks.
        QObject::connect(m_timer2.get(), &IntervalTimer::timeout, &m_ex,
                         [this] { replyWindowTick(); });
        QObject::connect(m_timer4.get(), &IntervalTimer::timeout, &m_ex,
                         [this] { displayClearTick(); });
        m_link.now = [this] { return m_clock.now().count(); };
        QObject::connect(&m_ex, &Exchange::sendFailed, &m_ex, [this] { ++m_failures; });
        QObject::connect(&m_ex, &Exchange::displayChanged, &m_ex,
                         [this](D which, const QString &text) {
                             // A window may flash or log on every notification: one without a
                             // change is a fault.
                             if (m_notified[int(which)] == text)
                                 fail(QStringLiteral("a display was notified without a change"));
                             m_notified[int(which)] = text;
                         });
        if (!m_link.setPortNumber(1) || !m_link.open())
            fail(QStringLiteral("the fake link did not open"));
    }

    Outcome run(Reader &in)
    {
        transmit(Commands[in.byte() % Commands.size()]);
        while (!in.atEnd() && m_out.violation.isEmpty()) {
            ++m_out.steps;
            switch (in.byte() % OpCount) {
            case Short: deliver(in.bytes(in.byte())); break;
            case Long: {
                const qsizetype n = in.u16() % LongLimit;
                QByteArray data = in.bytes(n);
                deliver(data.size() < n ? repeated(data, n) : data);
                break;
            }
            case Flood: {
                const qsizetype size = (in.byte() % 48 + 1) * FloodUnit;
                deliver(repeated(in.bytes(in.byte() % 16 + 1), size));
                break;
            }
            case Advance: advance(ms(in.u16() % 2048)); break;
            case NextTick: {
                const ms offset = ms(in.byte() % 3 - 1);
                const ms due = m_clock.nextDue();
                advance(due < 0ms ? 1ms : std::max(due + offset - m_clock.now(), 0ms));
                break;
            }
            case Transmit: transmit(Commands[in.byte() % Commands.size()]); break;
            case Other:
                // A notification with nothing to read.
                deliver({});
                break;
            case Refuse:
                m_link.failWrites = !m_link.failWrites;
                note(m_link.failWrites ? QStringLiteral("writes refused")
                                       : QStringLiteral("writes accepted"));
                check(false);
                break;
            }
            checkTimersDue();
        }
        return m_out;
    }

private:
    void note(const QString &what)
    {
        if (m_log) *m_log << QStringLiteral("%1 ms: %2").arg(m_clock.now().count()).arg(what);
    }

    void fail(const QString &what)
    {
        if (!m_out.violation.isEmpty()) return;
        m_out.violation = QStringLiteral("step %1 at %2 ms: %3")
                              .arg(m_out.steps)
                              .arg(m_clock.now().count())
                              .arg(what);
        note(QStringLiteral("VIOLATION ") + what);
    }

    void transmit(QLatin1StringView code)
    {
        const bool accepted = !m_link.failWrites;
        note(QStringLiteral("transmit %1%2").arg(code).arg(accepted ? "" : " (refused)"));
        const qsizetype writes = m_link.writes.size();
        const int failures = m_failures;
        const QString line = code + QChar(u'\r');
        if (m_ex.transmit(code) != accepted) fail(QStringLiteral("transmit result is wrong"));
        if (accepted) {
            if (m_link.writes.size() != writes + 1 || m_link.writes.last().bytes != line.toLatin1())
                fail(QStringLiteral("the line was not written once as it is"));
            m_txd = lineTrace(line);
            m_pending = true;
            m_due2 = m_clock.now() + ReplyWindow;
            m_due4 = m_clock.now() + DisplayClear;
        } else if (m_link.writes.size() != writes || m_failures != failures + 1) {
            fail(QStringLiteral("a refused write was not reported once"));
        }
        check(false);
    }

    void deliver(const QByteArray &chunk)
    {
        note(QStringLiteral("receive %1 bytes: %2").arg(chunk.size()).arg(shown(chunk)));
        // One character per byte, Latin-1; only the start of the stretch is kept.
        const qsizetype room = Exchange::MaxReplyLength - m_stretch.size();
        m_stretch += QLatin1StringView(chunk.constData(), std::min(room, chunk.size()));
        m_pending = false;
        showStretch();
        m_link.receive(chunk);
        check(true);
    }

    void advance(ms by)
    {
        note(QStringLiteral("advance %1 ms").arg(by.count()));
        m_clock.advance(by);
    }

    void replyWindowTick()
    {
        note(QStringLiteral("Timer2"));
        if (m_due2 != m_clock.now()) fail(QStringLiteral("Timer2 ticked when not due"));
        m_due2.reset();
        if (m_pending) {
            m_rxdKind = RxdKind::Mark;
            ++m_out.marks;
        }
        m_pending = false;
        m_stretch.clear();
        check(false);
    }

    void displayClearTick()
    {
        note(QStringLiteral("Timer4"));
        if (m_due4 != m_clock.now()) fail(QStringLiteral("Timer4 ticked when not due"));
        m_due4.reset();
        m_rxdKind = RxdKind::Empty;
        m_txd.clear();
        m_status.clear();
        check(false);
    }

    void checkTimersDue()
    {
        if (m_due2 && *m_due2 <= m_clock.now()) fail(QStringLiteral("Timer2 did not tick"));
        if (m_due4 && *m_due4 <= m_clock.now()) fail(QStringLiteral("Timer4 did not tick"));
    }

    void showStretch()
    {
        m_rxdKind = RxdKind::Trace;
        m_rxdStretch = m_stretch;
        m_rxdTrace.reset();
    }

    const QString &expectedTrace()
    {
        // Traced whole, not piece by piece as the receive handler does, so the two can disagree.
        if (!m_rxdTrace) m_rxdTrace = lineTrace(m_rxdStretch);
        return *m_rxdTrace;
    }

    void check(bool received)
    {
        const QString &reply = m_ex.replyText();
        m_out.longestReply = std::max<int>(m_out.longestReply, reply.size());
        if (reply.size() > Exchange::MaxReplyLength)
            return fail(QStringLiteral("ReplyText holds %1 characters").arg(reply.size()));
        if (reply != m_stretch)
            return fail(QStringLiteral("ReplyText is not what arrived since it was emptied"));
        if ((m_ex.replyPending() == 1) != m_pending)
            return fail(QStringLiteral("ReplyPending is %1").arg(m_ex.replyPending()));

        const QString &rxd = m_ex.display(D::Rxd);
        switch (m_rxdKind) {
        case RxdKind::Empty:
            if (!rxd.isEmpty()) return fail(QStringLiteral("RXD should be empty"));
            break;
        case RxdKind::Mark:
            if (rxd != NoReplyMark) return fail(QStringLiteral("RXD should be the no-reply mark"));
            break;
        case RxdKind::Trace:
            if (rxd != expectedTrace())
                return fail(QStringLiteral("RXD (%1 characters) is not the trace of the %2 "
                                           "characters received")
                                .arg(rxd.size())
                                .arg(m_rxdStretch.size()));
            break;
        }
        if (m_ex.display(D::Txd) != m_txd)
            return fail(QStringLiteral("TXD should be \"%1\"").arg(m_txd));

        const QString &status = m_ex.display(D::Status);
        const bool hours = isHourText(status);
        if (!status.isEmpty() && !hours && !tableTexts().contains(status))
            return fail(QStringLiteral("status \"%1\" is no status text").arg(status));
        if (status != m_status) {
            if (!received) return fail(QStringLiteral("status changed without a reply"));
            if (hours && !rxd.startsWith(QStringView(status).chopped(HourUse.size())))
                return fail(QStringLiteral("hours \"%1\" are not from the reply").arg(status));
            m_status = status;
            if (!status.isEmpty()) {
                m_out.statuses << status;
                const int row = tableTexts().indexOf(status);
                m_out.statusKinds |= 1u << (row >= 0 ? row : Outcome::HoursBit);
            }
        }

        // The window learns of the displays only through the handler.
        for (const D which : {D::Txd, D::Rxd, D::Status})
            if (m_notified[int(which)] != m_ex.display(which))
                return fail(QStringLiteral("display %1 was changed without telling the window")
                                .arg(int(which)));
    }

    VirtualClock m_clock;
    FakeLink m_link;
    std::unique_ptr<IntervalTimer> m_timer2 = m_clock.makeTimer();
    std::unique_ptr<IntervalTimer> m_timer4 = m_clock.makeTimer();
    Exchange m_ex{m_link, *m_timer2, *m_timer4};
    QStringList *m_log;
    Outcome m_out;

    // The model: what each display and ReplyText must hold.
    enum class RxdKind { Empty, Mark, Trace };
    QString m_stretch; // received since ReplyText was last emptied, bounded as ReplyText
    bool m_pending = false;
    RxdKind m_rxdKind = RxdKind::Empty;
    QString m_rxdStretch; // the stretch RXD shows the trace of
    std::optional<QString> m_rxdTrace;
    QString m_txd;
    QString m_status;
    std::optional<ms> m_due2, m_due4;

    std::array<QString, 3> m_notified; // what the display handler last reported
    int m_failures = 0;
};

} // namespace

Outcome run(const std::uint8_t *data, std::size_t size, QStringList *log)
{
    Reader in(data, size);
    Outcome out = Runner(log).run(in);
    if (log)
        *log << QStringLiteral("end: %1 steps, longest reply %2, %3 no-reply marks, statuses: %4")
                    .arg(out.steps)
                    .arg(out.longestReply)
                    .arg(out.marks)
                    .arg(out.statuses.join(QLatin1Char('|')));
    return out;
}

} // namespace receiveprogram
