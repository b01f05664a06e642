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
Q_DECLARE_METATYPE(Kind)

namespace {

LineSettings line(const char *text)
{
    return *LineSettings::parse(QString::fromLatin1(text));
}

// Everything received, as the panel reads it: on received().
struct Reader
{
    explicit Reader(NetConnection &c)
    {
        QObject::connect(&c, &Connection::received, &c, [this, &c] { all += c.readAll(); });
    }
    QByteArray all;
};

// A local server that accepts and then says `greeting` and nothing else.
struct FakeServer
{
    explicit FakeServer(const QByteArray &greeting)
    {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this, greeting] {
            peer = server.nextPendingConnection();
            peer->write(greeting);
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
        Reader reader(conn);
        QVERIFY2(conn.open(line("19200,N,8,1")), qPrintable(conn.failure().text()));

        QByteArray every("C00\r");
        for (int i = 0; i < 256; ++i) every += char(i);
        QVERIFY(conn.write(every));
        QCOMPARE(pty.read(every.size()), every);
        const QByteArray reply("ACK\r\xff\x00\xff\xff\r", 9);
        QVERIFY(pty.send(reply));
        QTRY_COMPARE(reader.all, reply);
    }

    void lineSettingsReachTheLine_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("speed");
        // A pty keeps the stop bits and odd parity but not the data size or parity enable:
        // the kernel sets CS8 and clears PARENB. comPortCommands checks those on the wire.
        QTest::addColumn<int>("frame");
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
        QVERIFY2(conn.open(line("19200,N,8,1")), qPrintable(conn.failure().text()));
        if (kind == Kind::Rfc2217) QTRY_COMPARE(lineOf(), qMakePair(int(B19200), 0));
        QVERIFY(conn.applySettings(*LineSettings::parse(settings)));
        QTRY_COMPARE(lineOf(), qMakePair(speed, frame));
        // The bytes after a change go at the new settings: they come after it on the wire.
        QVERIFY(conn.write("C00\r"));
        QCOMPARE(pty.read(4), QByteArray("C00\r"));
        QCOMPARE(lineOf(), qMakePair(speed, frame));
    }

    void comPortCommands_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QByteArray>("baud");  // SET-BAUDRATE's value as sent, 0xFF doubled
        QTest::addColumn<QByteArray>("frame"); // SET-DATASIZE, SET-PARITY and SET-STOPSIZE
        QTest::newRow("9600 N81") << "9600,N,8,1" << QByteArray("\0\0\x25\x80", 4)
                                  << QByteArray("\x08\x01\x01");
        QTest::newRow("19200 E72")
            << "19200,E,7,2" << QByteArray("\0\0\x4b\0", 4) << QByteArray("\x07\x03\x02");
        QTest::newRow("O61") << "1200,O,6,1" << QByteArray("\0\0\x04\xb0", 4)
                             << QByteArray("\x06\x02\x01");
        QTest::newRow("mark, 0xFF in the baud")
            << "65535,M,5,2" << QByteArray("\0\0\xff\xff\xff\xff", 6) << QByteArray("\x05\x04\x02");
        QTest::newRow("space") << "9600,S,8,1" << QByteArray("\0\0\x25\x80", 4)
                               << QByteArray("\x08\x05\x01");
    }
    void comPortCommands()
    {
        QFETCH(QString, settings);
        QFETCH(QByteArray, baud);
        QFETCH(QByteArray, frame);
        const auto sb = [](char command, const QByteArray &value) {
            return QByteArray("\xff\xfa\x2c") + command + value + QByteArray("\xff\xf0");
        };
        QByteArray expected = sb(1, baud);
        for (int i = 0; i < 3; ++i) expected += sb(char(2 + i), frame.mid(i, 1));
        expected += sb(5, "\x01"); // no flow control
        TelnetCodec codec;
        QCOMPARE(codec.lineSettings(*LineSettings::parse(settings)), expected);
    }

    void openFailsWithTheReason_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<Cause>("cause");
        QTest::addColumn<QString>("detail");
        const auto port = QString::number(Ser2Net::freePort());
        QTest::newRow("refused") << "socket://127.0.0.1:" + port << Cause::Refused << "";
        QTest::newRow("refused, RFC 2217") << "rfc2217://127.0.0.1:" + port << Cause::Refused << "";
        QTest::newRow("no such host")
            << "rfc2217://projector.invalid:2217" << Cause::HostNotFound << "";
        QTest::newRow("no host") << "socket://:4001" << Cause::Other << "no host";
        QTest::newRow("no port") << "rfc2217://127.0.0.1" << Cause::Other << "no port number";
        QTest::newRow("empty port") << "socket://127.0.0.1:" << Cause::Other << "no port number";
        QTest::newRow("port 0") << "socket://127.0.0.1:0" << Cause::Other << "between 1 and 65535";
        QTest::newRow("port 65536")
            << "rfc2217://[::1]:65536" << Cause::Other << "between 1 and 65535";
        QTest::newRow("not a number")
            << "socket://127.0.0.1:telnet" << Cause::Other << "\"telnet\" is not a port number";
    }
    void openFailsWithTheReason()
    {
        QFETCH(QString, device);
        QFETCH(Cause, cause);
        QFETCH(QString, detail);
        NetConnection conn(device);
        QVERIFY(!conn.open(line("19200,N,8,1")));
        QVERIFY(!conn.isOpen());
        QCOMPARE(conn.failure().cause, cause);
        QCOMPARE(conn.failure().action, LinkFailure::Action::Open);
        QCOMPARE(conn.failure().device, device);
        QVERIFY2(conn.failure().detail.contains(detail), qPrintable(conn.failure().detail));
    }

    // open() turns the event loop while it waits, and gives up in bounded time.
    void misbehavingServers_data()
    {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<Cause>("cause");
        QTest::addColumn<QString>("detail");
        QTest::newRow("silent") << QByteArray() << Cause::TimedOut << "";
        QTest::newRow("refuses COM-PORT") << QByteArray("\xff\xfe\x2c", 3) << Cause::Other
                                          << "does not let the panel set the line";
        QTest::newRow("busy banner, then closes")
            << QByteArray("Port already in use\r\n") << Cause::Other << "closed";
    }
    void misbehavingServers()
    {
        QFETCH(QByteArray, greeting);
        QFETCH(Cause, cause);
        QFETCH(QString, detail);
        FakeServer server(greeting);
        if (greeting.startsWith("Port"))
            QObject::connect(&server.server, &QTcpServer::newConnection, &server.server,
                             [&server] { server.peer->disconnectFromHost(); });
        NetConnection conn(server.url("rfc2217"));
        conn.setConnectTimeout(300ms);
        bool turned = false;
        QTimer::singleShot(0, &server.server, [&turned] { turned = true; });
        QVERIFY(!conn.open(line("19200,N,8,1")));
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
        QVERIFY(conn.open(line("19200,N,8,1")));

        server.kill();
        QTRY_COMPARE(lost.size(), 1);
        QVERIFY(!conn.isOpen());
        const auto failure = lost.first().first().value<LinkFailure>();
        QCOMPARE(failure.cause, Cause::Gone);
        QCOMPARE(failure.action, LinkFailure::Action::Lose);
        QCOMPARE(failure.device, server.url());
        QVERIFY(!conn.write("C00\r"));
        QCOMPARE(conn.failure().cause, Cause::NotOpen);

        conn.watchForReturn();
        clock.advance(1s);
        QCOMPARE(available.size(), 1);
        QVERIFY(!conn.open(line("19200,N,8,1"))); // not back yet
        QCOMPARE(conn.failure().cause, Cause::Refused);
        conn.watchForReturn();
        QVERIFY(server.start());
        clock.advance(2s);
        QCOMPARE(available.size(), 2);
        QVERIFY2(conn.open(line("19200,N,8,1")), qPrintable(conn.failure().text()));
        QVERIFY(conn.write("C00\r"));
        QCOMPARE(pty.read(4), QByteArray("C00\r"));
        QTest::qWait(100);
        QCOMPARE(lost.size(), 1);
    }

    void watchingBacksOffAndResets()
    {
        FakeServer server({});
        VirtualClock clock;
        NetConnection conn(server.url("socket"), clock.factory());
        QSignalSpy available(&conn, &Connection::available);
        int seen = 0;
        for (const auto wait : {1s, 2s, 4s, 8s, 16s, 30s, 30s}) {
            conn.watchForReturn();
            QCOMPARE(clock.nextDue() - clock.now(), wait);
            clock.advance(wait);
            QCOMPARE(available.size(), ++seen);
            QCOMPARE(clock.nextDue(), -1ms); // one wake-up per wait
        }
        QVERIFY(conn.open(line("19200,N,8,1")));
        conn.watchForReturn();
        QCOMPARE(clock.nextDue() - clock.now(), 1s);
        conn.stopWatching();
        clock.advance(60s);
        QCOMPARE(available.size(), seen);
    }

    void writesAndReadsAreBounded()
    {
        FakeServer server({});
        NetConnection conn(server.url("socket"));
        QVERIFY(!conn.write("C00\r"));
        QCOMPARE(conn.failure().cause, Cause::NotOpen);
        QVERIFY(conn.open(line("19200,N,8,1")));
        QVERIFY(!conn.write(QByteArray(NetConnection::MaxUnsent + 1, 'x')));
        QCOMPARE(conn.failure().cause, Cause::Other);
        QVERIFY(conn.isOpen());
        QVERIFY(conn.write("C00\r"));

        // Nobody reads: the connection holds a bounded amount and loses nothing.
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
