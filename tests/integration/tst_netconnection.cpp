// SPDX-License-Identifier: MIT
// NetConnection against the real ser2net on 127.0.0.1, in front of a pseudo-terminal whose
// master plays the projector; small local servers stand in for servers that misbehave.
#include "DeviceLink.h"
#include "NetConnection.h"
#include "Pty.h"
#include "Ser2Net.h"
#include "TelnetCodec.h"
#include "VirtualClock.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

using namespace std::chrono_literals;
using Cause = LinkFailure::Cause;
using Kind = Ser2Net::Kind;

namespace {

LineSettings line(const QString &text = QStringLiteral("19200,N,8,1"))
{
    return *LineSettings::parse(text);
}

// Connects from the test's event loop; the connection itself never waits.
bool openNow(Connection &c, const LineSettings &settings = line())
{
    if (!c.open(settings)) return false;
    if (!c.isConnecting()) return true;
    QSignalSpy done(&c, &Connection::connected);
    QSignalSpy failed(&c, &Connection::connectFailed);
    return QTest::qWaitFor([&] { return done.size() + failed.size() > 0; }, 10000) &&
           done.size() == 1;
}

// Accepts, says `greeting`, and hangs up at once if asked to; keeps what it was sent.
struct FakeServer
{
    explicit FakeServer(const QByteArray &greeting, bool hangUp = false) : hangUp(hangUp)
    {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [=] {
            peer = server.nextPendingConnection();
            QObject::connect(peer, &QTcpSocket::readyRead, peer, [this, p = peer] {
                if (p != peer) return;
                got += peer->readAll();
                if (!answer.isEmpty() && got.contains('\r')) {
                    peer->write(answer);
                    peer->disconnectFromHost();
                }
            });
            peer->write(greeting);
            if (this->hangUp) peer->disconnectFromHost();
        });
    }
    QString url(const char *scheme) const
    {
        return QStringLiteral("%1://127.0.0.1:%2")
            .arg(QLatin1String(scheme))
            .arg(server.serverPort());
    }
    bool hangUp = false;
    QByteArray answer; // to the first line, and then hang up
    QTcpServer server;
    QTcpSocket *peer = nullptr;
    QByteArray got;
};

} // namespace

class NetConnectionTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void bytesPassExactly_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::newRow("raw TCP") << Kind::Raw;
        QTest::newRow("RFC 2217") << Kind::Rfc2217;
    }
    void bytesPassExactly()
    {
        QFETCH(Kind, kind);
        Pty pty;
        Ser2Net server(kind, pty.device());
        QVERIFY2(server.start(), server.log().constData());
        NetConnection conn(server.url());
        QByteArray got;
        connect(&conn, &Connection::received, this, [&] { got += conn.readAll(); });
        QVERIFY2(openNow(conn), qPrintable(conn.failure().text()));

        QByteArray every("C00\r");
        for (int i = 0; i < 256; ++i) every += char(i);
        QVERIFY(conn.write(every));
        QCOMPARE(pty.read(every.size()), every);
        const QByteArray reply("ACK\r\xff\x00\xff\xff\r", 9);
        QVERIFY(pty.send(reply));
        QTRY_COMPARE(got, reply);
    }

    // A pty keeps the speed, the stop bits and odd parity, but neither the data size nor
    // parity enable (the kernel sets CS8 and clears PARENB); comPortCommands checks those.
    void lineSettingsReachTheLine_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("frame"); // PARODD | CSTOPB
        // ser2net starts the line at 9600,N,8,1; open() asks for 19200,N,8,1 first.
        QTest::newRow("9600 N81") << Kind::Rfc2217 << "9600,N,8,1" << int(B9600) << 0;
        QTest::newRow("19200 E72") << Kind::Rfc2217 << "19200,E,7,2" << int(B19200) << int(CSTOPB);
        QTest::newRow("9600 O51") << Kind::Rfc2217 << "9600,O,5,1" << int(B9600) << int(PARODD);
        QTest::newRow("raw keeps the server's") << Kind::Raw << "19200,O,7,2" << int(B9600) << 0;
    }
    void lineSettingsReachTheLine()
    {
        QFETCH(Kind, kind);
        QFETCH(QString, settings);
        QFETCH(int, speed);
        QFETCH(int, frame);
        Pty pty;
        Ser2Net server(kind, pty.device(), QStringLiteral("9600n81"));
        QVERIFY2(server.start(), server.log().constData());
        const auto lineOf = [&pty] {
            termios t{};
            tcgetattr(pty.master(), &t);
            return qMakePair(int(cfgetospeed(&t)), int(t.c_cflag & (PARODD | CSTOPB)));
        };
        NetConnection conn(server.url());
        QVERIFY2(openNow(conn), qPrintable(conn.failure().text()));
        if (kind == Kind::Rfc2217) QTRY_COMPARE(lineOf(), qMakePair(int(B19200), 0));
        QVERIFY(conn.applySettings(line(settings)));
        QTRY_COMPARE(lineOf(), qMakePair(speed, frame));
        QVERIFY(conn.write("C00\r"));
        QCOMPARE(pty.read(4), QByteArray("C00\r"));
    }

    void comPortCommands_data()
    {
        QTest::addColumn<QString>("settings");
        // The values of SET-BAUDRATE (0xFF doubled), SET-DATASIZE, SET-PARITY, SET-STOPSIZE.
        QTest::addColumn<QByteArray>("values");
        QTest::newRow("N81") << "9600,N,8,1" << QByteArray("00002580 08 01 01");
        QTest::newRow("E72") << "19200,E,7,2" << QByteArray("00004b00 07 03 02");
        QTest::newRow("O61") << "1200,O,6,1" << QByteArray("000004b0 06 02 01");
        QTest::newRow("M52, 0xFF in the baud")
            << "65535,M,5,2" << QByteArray("0000ffffffff 05 04 02");
        QTest::newRow("S81") << "9600,S,8,1" << QByteArray("00002580 08 05 01");
    }
    void comPortCommands()
    {
        QFETCH(QString, settings);
        QFETCH(QByteArray, values);
        QByteArray expected;
        char command = 1; // and SET-CONTROL 1 last: no flow control
        for (const QByteArray &value : (values + " 01").split(' '))
            expected +=
                "\xff\xfa\x2c" + QByteArray(1, command++) + QByteArray::fromHex(value) + "\xff\xf0";
        QCOMPARE(TelnetCodec().lineSettings(line(settings)), expected);
    }

    void openFailsWithTheReason_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<Cause>("cause");
        QTest::addColumn<QString>("detail");
        const auto port = QString::number(freePort());
        QTest::newRow("refused") << "rfc2217://127.0.0.1:" + port << Cause::Refused << "";
        QTest::newRow("no such host")
            << "socket://projector.invalid:2217" << Cause::HostNotFound << "";
        // Every form of a bad address is NetAddress's table; the connection says it unopened.
        QTest::newRow("bad address")
            << "socket://127.0.0.1:telnet" << Cause::AddressBadPort << "telnet";
    }
    void openFailsWithTheReason()
    {
        QFETCH(QString, device);
        QFETCH(Cause, cause);
        QFETCH(QString, detail);
        NetConnection conn(device);
        QVERIFY(!openNow(conn));
        QVERIFY(!conn.isOpen());
        const LinkFailure &f = conn.failure();
        QCOMPARE(f.cause, cause);
        QCOMPARE(f.action, LinkFailure::Action::Open);
        QCOMPARE(f.device, device);
        QCOMPARE(f.detail, detail);

        // A link asked to wait waits on its backoff, unless no wait mends the fault.
        VirtualClock clock;
        DeviceLink link(device, {}, clock.factory());
        QSignalSpy failed(&link, &SerialLink::openFailed);
        if (link.openAndWait()) QTRY_COMPARE(failed.size(), 1);
        QCOMPARE(link.isWaitingForDevice(), cause != Cause::AddressBadPort);
        QCOMPARE(clock.nextDue(), link.isWaitingForDevice() ? 1000ms : -1ms);
    }

    // Whenever the server closes during the connect, the link ends failed, never open, with
    // what the server said in the failure; a server that answers and then hangs up has its
    // answer delivered before the loss.
    void closeDuringConnectNeverOpens_data()
    {
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<bool>("hangUp");
        QTest::addColumn<QByteArray>("answer"); // to the first line, then hangs up
        QTest::addColumn<Cause>("cause");       // Gone: opened, then lost
        QTest::addColumn<QString>("said");      // the failure's detail, or the data received
        const QByteArray agree("\xff\xfd\x2c"); // DO COM-PORT-OPTION
        const QByteArray none;
        QTest::newRow("raw, hangs up")
            << "socket" << none << true << none << Cause::ServerClosed << "";
        QTest::newRow("raw, says and hangs up")
            << "socket" << QByteArray("No device\r\n\x01") << true << none << Cause::ServerClosed
            << "No device";
        QTest::newRow("raw, answers and hangs up")
            << "socket" << none << false << QByteArray("ACK\r") << Cause::Gone << "ACK\r";
        QTest::newRow("rfc2217, hangs up")
            << "rfc2217" << none << true << none << Cause::ServerClosed << "";
        QTest::newRow("rfc2217, busy") << "rfc2217" << QByteArray("Port already in use\r\n") << true
                                       << none << Cause::ServerClosed << "Port already in use";
        QTest::newRow("rfc2217, agrees, says, hangs up")
            << "rfc2217" << agree + "Device open failure\r\n"
            << true << none << Cause::ServerClosed << "Device open failure";
        QTest::newRow("rfc2217, answers and hangs up")
            << "rfc2217" << agree << false << QByteArray("ACK\r") << Cause::Gone << "ACK\r";
        QTest::newRow("rfc2217, refuses COM-PORT")
            << "rfc2217" << QByteArray("\xff\xfe\x2c") << false << none << Cause::LineRefused << "";
        QTest::newRow("rfc2217 to a raw port")
            << "rfc2217" << none << false << none << Cause::NotRfc2217 << "";
    }
    void closeDuringConnectNeverOpens()
    {
        QFETCH(QString, scheme);
        QFETCH(QByteArray, greeting);
        QFETCH(bool, hangUp);
        QFETCH(QByteArray, answer);
        QFETCH(Cause, cause);
        QFETCH(QString, said);
        FakeServer server(greeting, hangUp);
        server.answer = answer;
        VirtualClock clock;
        DeviceLink link(server.url(qPrintable(scheme)), {}, clock.factory());
        QSignalSpy opened(&link, &SerialLink::opened);
        QSignalSpy failed(&link, &SerialLink::openFailed);
        QSignalSpy lost(&link, &SerialLink::lost);
        QByteArray got;
        connect(&link, &SerialLink::received, this, [&] {
            QCOMPARE(lost.size(), 0);
            got += link.readAll();
        });
        QVERIFY(link.open());
        QVERIFY(link.isConnecting());
        QVERIFY(link.write("C00\r")); // waits for the connection

        if (cause == Cause::NotRfc2217) {
            // Connected, asked, never answered: only WILL COM-PORT-OPTION reached the line.
            QTRY_COMPARE(server.got, QByteArray("\xff\xfb\x2c"));
            clock.advance(NetConnection::ConnectTimeout);
        } else if (cause == Cause::Gone) {
            QTRY_COMPARE(clock.nextDue() - clock.now(), NetConnection::ProveTime);
            QVERIFY(server.got.isEmpty() || scheme == QLatin1String("rfc2217"));
            clock.advance(NetConnection::ProveTime);
        }
        QTRY_COMPARE(failed.size() + lost.size(), 1);
        QVERIFY(!link.isOpen());
        QVERIFY(!link.isConnecting());
        if (cause == Cause::Gone) {
            QCOMPARE(opened.size(), 1);
            QCOMPARE(lost.first().first().value<LinkFailure>().cause, Cause::Gone);
            QVERIFY(link.isWaitingForDevice());
            QCOMPARE(got, said.toLatin1());
        } else {
            QCOMPARE(opened.size(), 0);
            const auto failure = failed.first().first().value<LinkFailure>();
            QCOMPARE(failure.cause, cause);
            QCOMPARE(failure.detail, said);
            QVERIFY(!link.isWaitingForDevice());
            QVERIFY(!server.got.contains("C00\r")); // dropped with the connection
            QCOMPARE(got, QByteArray());
        }
    }

    // One reconnection policy: the waits double from 1 s to 30 s, a server that accepts and
    // drops at once has not come back (one loss, no restore), and only a connection that
    // lasted resets the backoff.
    void reconnectionBacksOffUntilStable()
    {
        FakeServer server({});
        VirtualClock clock;
        DeviceLink link(server.url("socket"), {}, clock.factory());
        QSignalSpy lost(&link, &SerialLink::lost);
        QSignalSpy restored(&link, &SerialLink::restored);
        const auto nextWait = [&] { return clock.nextDue() - clock.now(); };
        QVERIFY(link.open());
        QTRY_COMPARE(nextWait(), NetConnection::ProveTime);
        clock.advance(NetConnection::ProveTime);
        QTRY_VERIFY(link.isOpen());

        server.hangUp = true; // as ser2net does with its adapter unplugged
        server.peer->abort();
        QTRY_COMPARE(lost.size(), 1);
        for (const auto wait : {1s, 2s, 4s, 8s, 16s, 30s, 30s}) {
            QTRY_COMPARE(nextWait(), std::chrono::milliseconds(wait));
            const QTcpSocket *before = server.peer;
            clock.advance(wait);
            QTRY_VERIFY(server.peer != before); // an attempt was made, and dropped
        }
        QCOMPARE(lost.size(), 1);
        QCOMPARE(restored.size(), 0);

        server.hangUp = false;
        QTRY_COMPARE(nextWait(), 30000ms);
        clock.advance(30s);
        QTRY_COMPARE(nextWait(), NetConnection::ProveTime);
        clock.advance(NetConnection::ProveTime);
        QTRY_COMPARE(nextWait(), NetConnection::SettleTime);
        QVERIFY(!link.isOpen()); // not back until it has lasted
        clock.advance(NetConnection::SettleTime);
        QCOMPARE(restored.size(), 1);
        QVERIFY(link.write("C00\r"));
        QTRY_COMPARE(server.got, QByteArray("C00\r"));

        // Lost again soon: the backoff goes on where it was.
        server.peer->abort();
        QTRY_COMPARE(lost.size(), 2);
        QTRY_COMPARE(nextWait(), 30000ms);
        clock.advance(30s);
        QTRY_COMPARE(nextWait(), NetConnection::ProveTime);
        clock.advance(NetConnection::ProveTime);
        QTRY_COMPARE(nextWait(), NetConnection::SettleTime);
        clock.advance(NetConnection::SettleTime);
        QCOMPARE(restored.size(), 2);
        // Lost after it lasted: from 1 s again.
        clock.advance(DeviceLink::StableAfter);
        server.peer->abort();
        QTRY_COMPARE(lost.size(), 3);
        QTRY_COMPARE(nextWait(), 1000ms);
        link.close();
        QCOMPARE(clock.nextDue(), -1ms);
    }

    // Lines clicked while connecting go out in order once connected, up to a bound; a raw
    // device says each time that it cannot set the line, and never claims a speed.
    void linesWaitForTheConnection()
    {
        FakeServer server({});
        DeviceLink link(server.url("socket"));
        QSignalSpy applied(&link, &SerialLink::settingsApplied);
        QSignalSpy notApplied(&link, &SerialLink::settingsNotApplied);
        QVERIFY(link.open());
        QVERIFY(link.isConnecting());
        QByteArray lines;
        for (int i = 0; i < DeviceLink::MaxWaitingLines; ++i) {
            const QByteArray line = "C" + QByteArray::number(i).rightJustified(2, '0') + "\r";
            QVERIFY(link.write(line));
            lines += line;
        }
        QVERIFY(!link.write("C00\r"));
        QCOMPARE(link.failure().cause, Cause::QueueFull);
        QTRY_VERIFY(link.isOpen());
        QTRY_COMPARE(server.got, lines);

        QVERIFY(link.applySettings(line(QStringLiteral("9600,N,8,1"))));
        QVERIFY(link.applySettings(line()));
        QCOMPARE(applied.size(), 0);
        QCOMPARE(notApplied.size(), 2);
        const auto failure = notApplied.first().first().value<LinkFailure>();
        QCOMPARE(failure.cause, Cause::LineNotSettable);
        QCOMPARE(failure.detail, QStringLiteral("9600,N,8,1"));
    }

    void killedServerIsLostOnceAndFoundAgain()
    {
        Pty pty;
        Ser2Net server(Kind::Rfc2217, pty.device());
        QVERIFY2(server.start(), server.log().constData());
        VirtualClock clock;
        DeviceLink link(server.url(), {}, clock.factory());
        QSignalSpy lost(&link, &SerialLink::lost);
        QSignalSpy restored(&link, &SerialLink::restored);
        QVERIFY(link.open());
        QTRY_COMPARE(clock.nextDue() - clock.now(), NetConnection::ProveTime);
        clock.advance(NetConnection::ProveTime);
        QTRY_VERIFY(link.isOpen());

        server.kill();
        QTRY_COMPARE(lost.size(), 1);
        QVERIFY(!link.isOpen());
        const auto failure = lost.first().first().value<LinkFailure>();
        QCOMPARE(failure.cause, Cause::Gone);
        QCOMPARE(failure.action, LinkFailure::Action::Lose);
        QCOMPARE(failure.device, server.url());
        QVERIFY(!link.write("C00\r"));
        QCOMPARE(link.failure().cause, Cause::AwaitingDevice);

        clock.advance(1s); // refused: not back yet, and quiet
        QTRY_COMPARE(clock.nextDue() - clock.now(), 2000ms);
        QVERIFY(server.start());
        clock.advance(2s);
        QTRY_COMPARE(clock.nextDue() - clock.now(), NetConnection::ProveTime);
        clock.advance(NetConnection::ProveTime);
        QTRY_COMPARE(clock.nextDue() - clock.now(), NetConnection::SettleTime);
        clock.advance(NetConnection::SettleTime);
        QCOMPARE(restored.size(), 1);
        QVERIFY(link.write("C00\r"));
        QCOMPARE(pty.read(4), QByteArray("C00\r"));
        QCOMPARE(lost.size(), 1);
    }

    void writesAndReadsAreBounded()
    {
        FakeServer server({});
        NetConnection conn(server.url("socket"));
        QVERIFY(!conn.write("C00\r"));
        QCOMPARE(conn.failure().cause, Cause::NotOpen);
        QVERIFY(openNow(conn));
        QVERIFY(!conn.write(QByteArray(NetConnection::MaxUnsent + 1, 'x')));
        QCOMPARE(conn.failure().cause, Cause::ServerNotTaking);
        QVERIFY(conn.write("C00\r"));

        // Nobody reads: the connection holds a bounded amount, and loses nothing.
        QTRY_VERIFY(server.peer);
        QByteArray flood(3 * NetConnection::MaxUnread, '\0');
        for (qsizetype i = 0; i < flood.size(); ++i) flood[i] = char(i * 7 / 5);
        server.peer->write(flood);
        QTest::qWait(300);
        QByteArray got = conn.readAll();
        QVERIFY2(got.size() <= NetConnection::MaxUnread + 64 * 1024,
                 QByteArray::number(got.size()));
        QTRY_VERIFY((got += conn.readAll()).size() >= flood.size());
        QVERIFY(got == flood);
    }
};

QTEST_GUILESS_MAIN(NetConnectionTest)
#include "tst_netconnection.moc"
