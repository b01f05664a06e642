// SPDX-License-Identifier: MIT
// Sending, receiving, the reply window and the display clear, on a fake link and virtual time.
#include "Exchange.h"
#include "FakeLink.h"
#include "LineTrace.h"

#include <QTest>

using namespace std::chrono_literals;
using D = Exchange::Display;

namespace {

struct Rig : VirtualLine
{
    std::unique_ptr<IntervalTimer> timer2 = clock.makeTimer();
    std::unique_ptr<IntervalTimer> timer4 = clock.makeTimer();
    Exchange ex{link, *timer2, *timer4};
    QStringList failures;

    Rig()
    {
        timer2->setInterval(500ms);
        timer4->setInterval(1000ms);
        QObject::connect(&ex, &Exchange::sendFailed, &ex,
                         [this](const LinkFailure &f) { failures << f.text(); });
        QVERIFY(link.setPortNumber(1) && link.open());
    }
    QString txd() const { return ex.display(D::Txd); }
    QString rxd() const { return ex.display(D::Rxd); }
    QString status() const { return ex.display(D::Status); }
};

} // namespace

class ExchangeTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void statusReadRoad()
    {
        Rig r;
        QVERIFY(r.ex.transmit(QLatin1StringView("CR0")));
        QCOMPARE(r.link.written(), QByteArray("CR0\r"));
        QCOMPARE(r.ex.commandText(), QStringLiteral("CR0\r"));
        QCOMPARE(r.txd(), QStringLiteral(" C R 0 CR "));
        QCOMPARE(r.ex.replyPending(), quint8(1));
        QVERIFY(r.timer2->isActive() && r.timer4->isActive());
        QCOMPARE(r.rxd(), QString());

        r.at(40);
        r.link.receive("00\r");
        QCOMPARE(r.rxd(), QStringLiteral(" 0 0 CR "));
        QCOMPARE(r.status(), QStringLiteral(" Power ON"));
        QCOMPARE(r.ex.replyPending(), quint8(0));

        r.at(499);
        QCOMPARE(r.ex.replyText(), QStringLiteral("00\r"));
        r.at(500);
        QCOMPARE(r.rxd(), QStringLiteral(" 0 0 CR ")); // no mark: a reply came
        QCOMPARE(r.ex.replyText(), QString());
        QVERIFY(!r.timer2->isActive());

        r.at(999);
        QCOMPARE(r.status(), QStringLiteral(" Power ON"));
        r.at(1000);
        QCOMPARE(r.txd(), QString());
        QCOMPARE(r.rxd(), QString());
        QCOMPARE(r.status(), QString());
        QVERIFY(!r.timer4->isActive());
    }

    void noReplyMarkFromReplyWindowToDisplayClear()
    {
        Rig r;
        r.ex.transmit(QLatin1StringView("C09"));
        r.at(499);
        QCOMPARE(r.rxd(), QString());
        r.at(500);
        QCOMPARE(r.rxd(), QStringLiteral(" X X X X"));
        QCOMPARE(r.txd(), QStringLiteral(" C 0 9 CR "));
        QCOMPARE(r.ex.replyPending(), quint8(0));
        r.at(1000);
        QCOMPARE(r.rxd(), QString());
        QCOMPARE(r.txd(), QString());
    }

    void replySplitOverNotifications()
    {
        Rig r;
        r.ex.transmit(QLatin1StringView("CR0"));
        r.link.receive("0");
        QCOMPARE(r.rxd(), QStringLiteral(" 0 "));
        QCOMPARE(r.status(), QString());
        r.link.receive("0\r");
        QCOMPARE(r.rxd(), QStringLiteral(" 0 0 CR "));
        QCOMPARE(r.status(), QStringLiteral(" Power ON"));
    }

    void lateReplyStandsAheadOfTheNext()
    {
        Rig r;
        r.ex.transmit(QLatin1StringView("CR0"));
        r.at(500);
        QCOMPARE(r.rxd(), QStringLiteral(" X X X X"));
        r.at(700);
        r.link.receive("80\r"); // late, but CommandText still says STATUS
        QCOMPARE(r.rxd(), QStringLiteral(" 8 0 CR "));
        QCOMPARE(r.status(), QStringLiteral(" Stand by"));
        r.at(800);
        r.ex.transmit(QLatin1StringView("CR1"));
        r.link.receive("2\r");
        QCOMPARE(r.rxd(), QStringLiteral(" 8 0 CR 2 CR "));
        QCOMPARE(r.status(), QStringLiteral(" Stand by")); // " 8" is no input: unchanged
        r.at(1300);                                        // this window closes
        r.link.receive("3\r");
        QCOMPARE(r.rxd(), QStringLiteral(" 3 CR "));
        QCOMPARE(r.status(), QStringLiteral(" Video"));
    }

    // Another client's status read on a shared line: its reply is read against its line, and
    // the window it opened keeps it out of the next reply of ours.
    void sharedLineFramesItsReply()
    {
        Rig r;
        r.ex.setFramesSharedLines(true);
        Q_EMIT r.link.sharedLineSent("CR3\r", QStringLiteral("projectord"));
        QCOMPARE(r.link.written(), QByteArray());
        QCOMPARE(r.txd(), QStringLiteral(" C R 3 CR "));
        r.link.receive("0123\r");
        QCOMPARE(r.status(), QStringLiteral(" 0 1 2 3 Hour Use"));
        r.at(500);
        r.ex.transmit(QLatin1StringView("CR0"));
        r.link.receive("80\r");
        QCOMPARE(r.rxd(), QStringLiteral(" 8 0 CR "));
        QCOMPARE(r.status(), QStringLiteral(" Stand by"));
    }

    void replySpanningTheReplyWindowTick()
    {
        Rig r;
        r.ex.transmit(QLatin1StringView("CR0"));
        r.at(100);
        r.link.receive("0");
        r.at(500);
        QCOMPARE(r.rxd(), QStringLiteral(" 0 "));
        r.at(600);
        r.link.receive("0\r");
        QCOMPARE(r.rxd(), QStringLiteral(" 0 CR "));
        QCOMPARE(r.status(), QString());
    }

    void emptyNotificationRendersAgain()
    {
        Rig r;
        r.ex.transmit(QLatin1StringView("CR3"));
        r.link.emptyNotification();
        QCOMPARE(r.ex.replyPending(), quint8(0));
        QCOMPARE(r.rxd(), QStringLiteral(" "));
        QCOMPARE(r.status(), QStringLiteral("  Hour Use"));
        r.at(500);
        QCOMPARE(r.rxd(), QStringLiteral(" ")); // no mark: the notification counted as a reply
    }

    void secondTransmissionInsideTheWindow()
    {
        Rig r;
        r.ex.transmit(QLatin1StringView("CR0"));
        r.link.receive("00\r");
        r.at(300);
        r.ex.transmit(QLatin1StringView("C09"));
        QCOMPARE(r.txd(), QStringLiteral(" C 0 9 CR "));
        QCOMPARE(r.rxd(), QStringLiteral(" 0 0 CR "));
        QCOMPARE(r.status(), QStringLiteral(" Power ON"));
        QCOMPARE(r.ex.replyPending(), quint8(1));
        // Both timers restarted at 300: the mark at 800, the clear at 1300.
        r.at(799);
        QCOMPARE(r.rxd(), QStringLiteral(" 0 0 CR "));
        r.at(800);
        QCOMPARE(r.rxd(), QStringLiteral(" X X X X"));
        r.at(1299);
        QCOMPARE(r.txd(), QStringLiteral(" C 0 9 CR "));
        r.at(1300);
        QCOMPARE(r.txd(), QString());
    }

    void statusReadFollowedAtOnceByAnotherButton()
    {
        Rig r;
        r.ex.transmit(QLatin1StringView("CR0"));
        r.ex.transmit(QLatin1StringView("C05"));
        r.link.receive("00\r");
        QCOMPARE(r.rxd(), QStringLiteral(" 0 0 CR "));
        QCOMPARE(r.status(), QString());
    }

    void replyAfterDisplayClearStays()
    {
        Rig r;
        r.ex.transmit(QLatin1StringView("CR4"));
        r.at(1000);
        r.link.receive("00\r");
        QCOMPARE(r.status(), QStringLiteral(" Top/Bottom , Left/Right reversal"));
        r.at(60000);
        QCOMPARE(r.status(), QStringLiteral(" Top/Bottom , Left/Right reversal"));
    }

    void failedWriteChangesNothingAfterIt()
    {
        Rig r;
        r.ex.transmit(QLatin1StringView("CR0"));
        r.link.receive("00\r");
        r.at(1000); // all quiet again
        r.link.close();
        QVERIFY(!r.ex.transmit(QLatin1StringView("C00")));
        QCOMPARE(r.failures.size(), 1);
        QVERIFY(r.failures.first().contains(QLatin1String("fake1")));
        QCOMPARE(r.ex.commandText(), QStringLiteral("C00\r")); // stored before the write
        QCOMPARE(r.txd(), QString());
        QCOMPARE(r.ex.replyPending(), quint8(0));
        QVERIFY(!r.timer2->isActive() && !r.timer4->isActive());
    }

    void receivedModeShowsWithoutSending()
    {
        Rig r;
        r.ex.transmit(QLatin1StringView("CR1"));
        const qsizetype before = r.link.writes.size();
        r.ex.showAsReceived(QStringLiteral("3\r"));
        QCOMPARE(r.link.writes.size(), before);
        QCOMPARE(r.rxd(), QStringLiteral(" 3 CR "));
        QCOMPARE(r.status(), QStringLiteral(" Video"));
    }

    void replyTextIsBoundedAndRendersAllItKeeps()
    {
        Rig r;
        r.ex.transmit(QLatin1StringView("CR0"));
        QByteArray chunk(64, '\0');
        for (int i = 0; i < chunk.size(); ++i) chunk[i] = char(i * 7 + 3);
        chunk[0] = '0';
        r.link.receive("0");
        for (int sent = 1; sent < 1024 * 1024; sent += chunk.size()) r.link.receive(chunk);
        QCOMPARE(r.ex.replyText().size(), qsizetype(Exchange::MaxReplyLength));
        QCOMPARE(r.rxd(), lineTrace(r.ex.replyText()));
        QCOMPARE(r.status(), QStringLiteral(" Power ON"));
        // The window still closes and the next reply starts afresh.
        r.at(500);
        QCOMPARE(r.ex.replyText(), QString());
        r.link.receive("80\r");
        QCOMPARE(r.rxd(), QStringLiteral(" 8 0 CR "));
    }

    void bytesAboveAsciiAreOneCharacterEach()
    {
        Rig r;
        r.ex.transmit(QLatin1StringView("CR0"));
        r.link.receive(QByteArray("\x80\xff\x00z", 4));
        QCOMPARE(r.ex.replyText().size(), qsizetype(4));
        QCOMPARE(r.rxd(), QStringLiteral(" ? ? ? z "));
    }
};

QTEST_GUILESS_MAIN(ExchangeTest)
#include "tst_exchange.moc"
