// SPDX-License-Identifier: MIT
// NetConnection against the real ser2net on 127.0.0.1, in front of a pseudo-terminal whose
// master plays the projector; small local servers stand in for servers that misbehave.
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

// Accepts, says `greeting`, and nothing more.
struct FakeServer
{
    explicit FakeServer(const QByteArray &greeting, bool hangUp = false)
    {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [=] {
            peer = server.nextPendingConnection();
            peer->write(greeting);
            if (hangUp) peer->disconnectFromHost();
        });
    }
    QString url(const char *scheme) const
    {
        return QStringLiteral("%1://127.0.0.1:%2")
            .arg(QLatin1String(scheme))
            .arg(server.serverPort());
    }
    QTcpServer server;
    QTcpSocket *peer = nullptr;
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
        QVERIFY2(conn.open(line()), qPrintable(conn.failure().text()));

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
        QVERIFY2(conn.open(line()), qPrintable(conn.failure().text()));
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
        const auto port = QString::number(Ser2Net::freePort());
        QTest::newRow("refused") << "rfc2217://127.0.0.1:" + port << Cause::Refused << "";
        QTest::newRow("no such host")
            << "socket://projector.invalid:2217" << Cause::HostNotFound << "";
        QTest::newRow("no host") << "socket://:4001" << Cause::AddressNoHost << "";
        QTest::newRow("no port") << "rfc2217://127.0.0.1" << Cause::AddressNoPort << "";
        QTest::newRow("port 0") << "socket://127.0.0.1:0" << Cause::AddressPortOutOfRange << "0";
        QTest::newRow("port 65536")
            << "rfc2217://[::1]:65536" << Cause::AddressPortOutOfRange << "65536";
        QTest::newRow("not a number")
            << "socket://127.0.0.1:telnet" << Cause::AddressBadPort << "telnet";
        QTest::newRow("open bracket") << "socket://[::1" << Cause::AddressBadHost << "[::1";
        QTest::newRow("after bracket")
            << "socket://[::1]x:80" << Cause::AddressBadHost << "[::1]x:80";
    }
    void openFailsWithTheReason()
    {
        QFETCH(QString, device);
        QFETCH(Cause, cause);
        QFETCH(QString, detail);
        NetConnection conn(device);
        QVERIFY(!conn.open(line()));
        QVERIFY(!conn.isOpen());
        const LinkFailure &f = conn.failure();
        QCOMPARE(f.cause, cause);
        QCOMPARE(f.action, LinkFailure::Action::Open);
        QCOMPARE(f.device, device);
        QCOMPARE(f.detail, detail);
    }

    // open() turns the event loop while it waits, and gives up in bounded time.
    void misbehavingServers_data()
    {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<bool>("hangUp");
        QTest::addColumn<Cause>("cause");
        QTest::addColumn<QString>("detail");
        QTest::newRow("silent") << QByteArray() << false << Cause::TimedOut << "";
        QTest::newRow("refuses COM-PORT")
            << QByteArray("\xff\xfe\x2c") << false << Cause::LineRefused << "";
        QTest::newRow("busy, hangs up")
            << QByteArray("Port already in use\r\n") << true << Cause::ServerClosed << "";
    }
    void misbehavingServers()
    {
        QFETCH(QByteArray, greeting);
        QFETCH(bool, hangUp);
        QFETCH(Cause, cause);
        QFETCH(QString, detail);
        FakeServer server(greeting, hangUp);
        NetConnection conn(server.url("rfc2217"));
        conn.setConnectTimeout(300ms);
        bool turned = false;
        QTimer::singleShot(0, this, [&turned] { turned = true; });
        QVERIFY(!conn.open(line()));
        QVERIFY(turned);
        QCOMPARE(conn.failure().cause, cause);
        QVERIFY2(conn.failure().detail.contains(detail), qPrintable(conn.failure().detail));
    }

    void killedServerIsLostOnceAndFoundAgain()
    {
        Pty pty;
        Ser2Net server(Kind::Rfc2217, pty.device());
        QVERIFY2(server.start(), server.log().constData());
        VirtualClock clock;
        NetConnection conn(server.url(), clock.factory());
        QSignalSpy lost(&conn, &Connection::lost);
        QSignalSpy available(&conn, &Connection::available);
        QVERIFY(conn.open(line()));

        server.kill();
        QTRY_COMPARE(lost.size(), 1);
        QVERIFY(!conn.isOpen());
        const auto failure = lost.first().first().value<LinkFailure>();
        QCOMPARE(failure.cause, Cause::Gone);
        QCOMPARE(failure.action, LinkFailure::Action::Lose);
        QCOMPARE(failure.device, server.url());

        conn.watchForReturn();
        clock.advance(1s);
        QCOMPARE(available.size(), 1);
        QVERIFY(!conn.open(line())); // not back yet
        QCOMPARE(conn.failure().cause, Cause::Refused);
        conn.watchForReturn();
        QVERIFY(server.start());
        clock.advance(2s);
        QCOMPARE(available.size(), 2);
        QVERIFY2(conn.open(line()), qPrintable(conn.failure().text()));
        QVERIFY(conn.write("C00\r"));
        QCOMPARE(pty.read(4), QByteArray("C00\r"));
        QCOMPARE(lost.size(), 1);
    }

    void watchingBacksOffAndResets()
    {
        FakeServer server({});
        VirtualClock clock;
        NetConnection conn(server.url("socket"), clock.factory());
        QSignalSpy available(&conn, &Connection::available);
        for (const auto wait : {1s, 2s, 4s, 8s, 16s, 30s, 30s}) {
            conn.watchForReturn();
            QCOMPARE(clock.nextDue() - clock.now(), wait);
            const auto before = available.size();
            clock.advance(wait);
            QCOMPARE(available.size(), before + 1);
            QCOMPARE(clock.nextDue(), -1ms); // one wake-up per wait
        }
        QVERIFY(conn.open(line()));
        conn.watchForReturn();
        QCOMPARE(clock.nextDue() - clock.now(), 1s);
        conn.stopWatching();
        QCOMPARE(clock.nextDue(), -1ms);
    }

    void writesAndReadsAreBounded()
    {
        FakeServer server({});
        NetConnection conn(server.url("socket"));
        QVERIFY(!conn.write("C00\r"));
        QCOMPARE(conn.failure().cause, Cause::NotOpen);
        QVERIFY(conn.open(line()));
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
