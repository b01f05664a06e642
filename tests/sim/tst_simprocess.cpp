// SPDX-License-Identifier: MIT
// The real projector-sim program, driven through its pseudo-terminal as the panel would, and
// on TCP as through a device server.
#include "FreePort.h"
#include "PanelVersion.h"
#include "Probes.h"
#include "SimProcess.h"

#include <QFileInfo>
#include <QTcpSocket>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int Patience = SimProcess::Patience;

// The panel's end of the simulator's pseudo-terminal: raw, non-blocking, so every wait is a
// poll() with a deadline.
struct PanelEnd
{
    explicit PanelEnd(const QString &path)
        : fd(::open(QFile::encodeName(path).constData(),
                    O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
        termios t{};
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
    ~PanelEnd()
    {
        if (fd >= 0) ::close(fd);
    }
    const int fd;
};

bool send(int fd, const QByteArray &bytes)
{
    return ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
}

// Everything up to and including the next CR, or what came before the deadline.
QByteArray readReply(int fd, int timeoutMs = Patience)
{
    QByteArray got;
    QDeadlineTimer deadline(timeoutMs);
    while (!got.endsWith('\r')) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, int(deadline.remainingTime())) <= 0) break;
        char c;
        // A byte at a time, so nothing after the CR is taken away from the next reply.
        const ssize_t n = ::read(fd, &c, 1);
        if (n <= 0) {
            if (n < 0 && errno == EAGAIN) continue;
            break;
        }
        got += c;
    }
    return got;
}

// One exchange on a device server's connection: everything up to the reply's CR.
QByteArray ask(QTcpSocket &socket, const QByteArray &command)
{
    socket.write(command);
    QByteArray got;
    // What came before the deadline or the hang-up is what the caller compares.
    static_cast<void>(QTest::qWaitFor(
        [&] {
            got += socket.readAll();
            return got.endsWith('\r') || socket.state() == QAbstractSocket::UnconnectedState;
        },
        Patience));
    return got;
}

} // namespace

class TestSimProcess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void commandLine_data();
    void commandLine();
    void answersAndLogs();
    void sameBytesHoweverTimed_data();
    void sameBytesHoweverTimed();
    void noiseLeavesRepliesReadable();
    void panelReopensAgainAndAgain();
    void logFileEscapesWhatItReceives();
    void silentAnswersNothing();
    void floodStopsOnTime();
    void unplugHangsUpThePanel();
    void linkLastsAsLongAsTheRun_data();
    void linkLastsAsLongAsTheRun();
    void linkRefusesToClobber_data();
    void linkRefusesToClobber();
    void servesADevicePath();
    void fleetOnTcp();
    void fleetDropsAClientThatDoesNotRead();
};

void TestSimProcess::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("stdoutHas");
    QTest::addColumn<QByteArray>("stderrHas");

    QTest::newRow("help") << QStringList{"--help"} << 0 << QByteArray("--unplug-after")
                          << QByteArray();
    QTest::newRow("version") << QStringList{"--version"} << 0
                             << QByteArray("projector-sim ").append(PanelVersion) << QByteArray();
    QTest::newRow("bad value") << QStringList{"--baud", "300"} << 2 << QByteArray()
                               << QByteArray("--baud");
    QTest::newRow("unknown option")
        << QStringList{"--bogus"} << 2 << QByteArray() << QByteArray("bogus");
    QTest::newRow("unknown group") << QStringList{"--group", "no-such-group"} << 2 << QByteArray()
                                   << QByteArray("--group: no group \"no-such-group\"");
    const QByteArray listenLater("--listen: expected an IP address");
    QTest::newRow("count without listen") << QStringList{"--count", "2"} << 2 << QByteArray()
                                          << QByteArray("--count goes with --listen");
    QTest::newRow("listen on a name")
        << QStringList{"--listen", "localhost:4001"} << 2 << QByteArray() << listenLater;
    QTest::newRow("listen on IPv6 without brackets")
        << QStringList{"--listen", "::1:4001"} << 2 << QByteArray() << listenLater;
    QTest::newRow("listen without a port")
        << QStringList{"--listen", "127.0.0.1"} << 2 << QByteArray() << listenLater;
    QTest::newRow("listen on port 0") << QStringList{"--listen", ":0"} << 2 << QByteArray()
                                      << QByteArray("expected a port from 1 to 65535");
    QTest::newRow("fleet past the last port")
        << QStringList{"--listen", "127.0.0.1:65534", "--count", "3"} << 2 << QByteArray()
        << QByteArray("--count: 3 ports from 65534 on go past 65535");
    QTest::newRow("fleet of none") << QStringList{"--listen", ":4001", "--count", "0"} << 2
                                   << QByteArray() << QByteArray("--count");
    QTest::newRow("fleet too large") << QStringList{"--listen", ":4001", "--count", "1001"} << 2
                                     << QByteArray() << QByteArray("--count");
    QTest::newRow("listen and a device")
        << QStringList{"--listen", ":4001", "--device", "/dev/null"} << 2 << QByteArray()
        << QByteArray("--device does not go with --listen");
    QTest::newRow("listen and a link")
        << QStringList{"--listen", ":4001", "--link", "/tmp/x"} << 2 << QByteArray()
        << QByteArray("--link does not go with --listen");
    QTest::newRow("device that is not there") << QStringList{"--device", "/nonexistent/tty"} << 1
                                              << QByteArray() << QByteArray("/nonexistent/tty");
}

void TestSimProcess::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, stdoutHas);
    QFETCH(QByteArray, stderrHas);

    QProcess p;
    p.start(QStringLiteral(PROJECTOR_SIM_PATH), args);
    QVERIFY(p.waitForFinished(Patience));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), exitCode);
    QVERIFY(p.readAllStandardOutput().contains(stdoutHas));
    QVERIFY(p.readAllStandardError().contains(stderrHas));
}

void TestSimProcess::answersAndLogs()
{
    // Logged on standard output, as the program does unless told otherwise.
    SimProcess sim;
    QVERIFY(sim.start({}, SimProcess::LogTo::Stdout));
    QVERIFY(sim.device().startsWith("/dev/pts/"));
    const PanelEnd end(sim.device());
    const int fd = end.fd;
    QVERIFY(fd >= 0);

    const qint64 before = monotonicUs();
    QVERIFY(send(fd, "CR0\r"));
    QCOMPARE(readReply(fd), QByteArray("80\r"));
    QVERIFY(send(fd, "C00\r"));
    QCOMPARE(readReply(fd), QByteArray("\x06\r"));
    QVERIFY(send(fd, "CR0\r"));
    QCOMPARE(readReply(fd), QByteArray("40\r"));

    QVERIFY(sim.waitForLines(3));
    QCOMPARE(sim.lines(), QByteArrayList({"CR0", "C00", "CR0"}));
    qint64 previous = before;
    for (const SimProcess::LogLine &line : sim.log()) {
        // Same clock as ours: after we started writing, in order, and not in the future.
        QVERIFY2(line.us >= previous, line.text.constData());
        QVERIFY(line.us <= monotonicUs());
        previous = line.us;
    }
}

void TestSimProcess::sameBytesHoweverTimed_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<int>("gapMs"); // between the bytes of a reply

    QTest::newRow("plain") << QStringList{} << 0 << 0;
    QTest::newRow("split") << QStringList{"--split"} << 0 << 5;
    QTest::newRow("split, no gap") << QStringList{"--split", "--split-gap", "0"} << 0 << 0;
    QTest::newRow("split, wide gap") << QStringList{"--split", "--split-gap", "30"} << 0 << 30;
    QTest::newRow("delayed") << QStringList{"--delay", "120"} << 120 << 0;
    QTest::newRow("delayed and split") << QStringList{"--delay", "60", "--split"} << 60 << 5;
}

void TestSimProcess::sameBytesHoweverTimed()
{
    QFETCH(QStringList, args);
    QFETCH(int, delayMs);
    QFETCH(int, gapMs);

    SimProcess sim;
    QVERIFY(sim.start(args + QStringList{"--warmup", "0", "--input", "2"}));
    const PanelEnd end(sim.device());
    const int fd = end.fd;
    QVERIFY(fd >= 0);
    const std::pair<QByteArray, QByteArray> exchange[] = {
        {"CR0\r", "80\r"}, {"C00\r", "\x06\r"}, {"CR0\r", "00\r"},
        {"CR1\r", "2\r"},  {"CR3\r", "0123\r"}, {"CR4\r", "11\r"},
    };
    for (const auto &[command, reply] : exchange) {
        const qint64 sent = monotonicUs();
        QVERIFY(send(fd, command));
        QCOMPARE(readReply(fd), reply);
        // The last byte cannot be on the line before the delay and every gap have passed;
        // measured from our send, so a slow test machine can only lengthen it.
        const qint64 tookMs = (monotonicUs() - sent) / 1000;
        QVERIFY2(tookMs >= delayMs + (reply.size() - 1) * gapMs,
                 qPrintable(QStringLiteral("%1 ms").arg(tookMs)));
    }
}

void TestSimProcess::noiseLeavesRepliesReadable()
{
    SimProcess sim;
    QVERIFY(sim.start({"--noise", "--seed", "11"}));
    const PanelEnd end(sim.device());
    const int fd = end.fd;
    QVERIFY(fd >= 0);
    int dirty = 0;
    for (int i = 0; i < 30; ++i) {
        QVERIFY(send(fd, "CR0\r"));
        const QByteArray got = readReply(fd);
        QByteArray printable;
        for (char c : got) {
            const auto b = static_cast<unsigned char>(c);
            if ((b >= 0x20 && b < 0x7F) || b == '\r') printable += c;
        }
        QCOMPARE(printable, QByteArray("80\r"));
        dirty += got != printable;
    }
    QVERIFY(dirty > 0);
    QVERIFY(dirty < 30);
}

void TestSimProcess::panelReopensAgainAndAgain()
{
    SimProcess sim;
    QVERIFY(sim.start({}));
    for (int round = 0; round < 5; ++round) {
        const PanelEnd end(sim.device());
        QVERIFY2(end.fd >= 0, qPrintable(QString::number(round)));
        QVERIFY(send(end.fd, "CR0\r"));
        QCOMPARE(readReply(end.fd), QByteArray("80\r"));
    }
    QCOMPARE(sim.process().state(), QProcess::Running);
}

void TestSimProcess::logFileEscapesWhatItReceives()
{
    SimProcess sim;
    QVERIFY(sim.start({}));
    const PanelEnd end(sim.device());
    const int fd = end.fd;
    QVERIFY(fd >= 0);

    QVERIFY(send(fd, QByteArray("C\x7F"
                                "9\rC0",
                                6)));
    QVERIFY(send(fd, "9\r"));
    QCOMPARE(readReply(fd), QByteArray("\x06\r"));
    // The log line of a command is written before the next command is read, so this reply
    // proves both earlier lines are in the file.
    QVERIFY(send(fd, "CR4\r"));
    QCOMPARE(readReply(fd), QByteArray("11\r"));

    QCOMPARE(sim.lines().mid(0, 2), QByteArrayList({"C\\x7F9", "C09"}));
    // Nothing but the path on stdout; a log line there would already be in the pipe.
    QVERIFY(!sim.waitFor(QProcess::StandardOutput, "\n", 100));
}

void TestSimProcess::silentAnswersNothing()
{
    SimProcess sim;
    QVERIFY(sim.start({"--silent"}, SimProcess::LogTo::Stdout));
    const PanelEnd end(sim.device());
    const int fd = end.fd;
    QVERIFY(fd >= 0);
    QVERIFY(send(fd, "CR0\r"));
    QVERIFY(sim.waitFor(QProcess::StandardOutput, " CR0\n"));
    // A reply would have been written before that log line: a short look is plenty.
    QCOMPARE(readReply(fd, 100), QByteArray());
}

void TestSimProcess::floodStopsOnTime()
{
    SimProcess sim;
    QVERIFY(sim.start({"--flood", "0.3"}));
    const PanelEnd end(sim.device());
    const int fd = end.fd;
    QVERIFY(fd >= 0);
    QVERIFY(sim.waitFor(QProcess::StandardError, "flood over"));

    // What the flood left in the line comes before the reply, then nothing but replies.
    QVERIFY(send(fd, "CR0\r"));
    QByteArray got;
    QDeadlineTimer deadline(Patience);
    while (!got.endsWith("80\r") && !deadline.hasExpired()) {
        const QByteArray more = readReply(fd, int(deadline.remainingTime()));
        if (more.isEmpty()) break;
        got += more;
    }
    QVERIFY(got.endsWith("80\r"));
    const QByteArray flood = got.chopped(3);
    QVERIFY(flood.size() > 100);
    for (char c : flood) QVERIFY(c >= 0x20 && c < 0x7F);

    QVERIFY(send(fd, "CR0\r"));
    QCOMPARE(readReply(fd), QByteArray("80\r"));
}

void TestSimProcess::unplugHangsUpThePanel()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("com1"));
    SimProcess sim;
    QVERIFY(sim.start({"--unplug-after", "0.3", "--link", link}));
    const PanelEnd end(sim.device());
    const int fd = end.fd;
    QVERIFY(fd >= 0);
    pollfd p{fd, POLLIN, 0};
    QCOMPARE(poll(&p, 1, Patience), 1);
    QVERIFY(p.revents & POLLHUP);
    char c;
    QVERIFY(::read(fd, &c, 1) <= 0);
    QVERIFY(sim.process().waitForFinished(Patience));
    QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process().exitCode(), 0);
    // Its own name goes with it (a freed /dev/pts number may already belong to someone else).
    QVERIFY(!QFileInfo::exists(link));
}

void TestSimProcess::linkLastsAsLongAsTheRun_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("staleLinkFirst");
    QTest::addColumn<bool>("forAGroup"); // in a folder made for it, the device the group's
    QTest::newRow("SIGTERM") << int(SIGTERM) << false << false;
    QTest::newRow("SIGINT") << int(SIGINT) << false << false;
    QTest::newRow("replaces a link left by a killed run") << int(SIGTERM) << true << false;
    QTest::newRow("for a group, in a new folder") << int(SIGTERM) << false << true;
}

void TestSimProcess::linkLastsAsLongAsTheRun()
{
    QFETCH(int, signal);
    QFETCH(bool, staleLinkFirst);
    QFETCH(bool, forAGroup);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = forAGroup ? dir.filePath(QStringLiteral("sim")) : dir.path();
    const QByteArray link = (folder + QStringLiteral("/projector")).toLocal8Bit();
    if (staleLinkFirst) QCOMPARE(symlink("/nonexistent/pts/99", link.constData()), 0);

    SimProcess sim;
    QStringList args{"--link", QString::fromLocal8Bit(link)};
    if (forAGroup) args << "--group" << QString::fromLocal8Bit(getgrgid(getgid())->gr_name);
    QVERIFY(sim.start(args));
    char target[256] = {};
    QVERIFY(readlink(link.constData(), target, sizeof target - 1) > 0);
    QCOMPARE(QString::fromLocal8Bit(target), sim.device());
    struct stat st
    {
    };
    QCOMPARE(::stat(target, &st), 0);
    if (forAGroup) QCOMPARE(std::pair(st.st_mode & 0777, st.st_gid), std::pair(0660u, getgid()));
    {
        const PanelEnd end(QString::fromLocal8Bit(link));
        QVERIFY(end.fd >= 0);
        QVERIFY(send(end.fd, "CR1\r"));
        QCOMPARE(readReply(end.fd), QByteArray("1\r"));
    }

    QCOMPARE(::kill(pid_t(sim.process().processId()), signal), 0);
    QVERIFY(sim.process().waitForFinished(Patience));
    QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process().exitCode(), 0);
    QCOMPARE(lstat(link.constData(), &st), -1);
    QCOMPARE(QFileInfo::exists(folder), !forAGroup);
}

void TestSimProcess::linkRefusesToClobber_data()
{
    QTest::addColumn<bool>("regularFile");
    QTest::newRow("a file") << true;
    QTest::newRow("a link to a live device") << false;
}

void TestSimProcess::linkRefusesToClobber()
{
    QFETCH(bool, regularFile);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("projector"));
    if (regularFile) {
        QFile f(link);
        QVERIFY(f.open(QIODevice::WriteOnly));
    } else {
        QCOMPARE(symlink("/dev/null", link.toLocal8Bit().constData()), 0);
    }

    QProcess p;
    p.start(QStringLiteral(PROJECTOR_SIM_PATH), {"--link", link});
    QVERIFY(p.waitForFinished(Patience));
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(p.readAllStandardError().contains("projector"));
    // Left as it was.
    if (regularFile)
        QVERIFY(!QFileInfo(link).isSymLink());
    else
        QCOMPARE(QFileInfo(link).symLinkTarget(), QStringLiteral("/dev/null"));
}

void TestSimProcess::servesADevicePath()
{
    // A pseudo-terminal of our own stands in for the cable: the program gets its slave as
    // --device, and we talk through the master.
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(master >= 0);
    QCOMPARE(grantpt(master), 0);
    QCOMPARE(unlockpt(master), 0);
    char name[128];
    QCOMPARE(ptsname_r(master, name, sizeof name), 0);

    SimProcess sim;
    QVERIFY(sim.start({"--device", QString::fromLatin1(name), "--baud", "9600"}));
    QCOMPARE(sim.device(), QString::fromLatin1(name));
    QVERIFY(send(master, "CR0\r"));
    QCOMPARE(readReply(master), QByteArray("80\r"));
    QVERIFY(send(master, "C07\r"));
    QCOMPARE(readReply(master), QByteArray("\x06\r"));
    QVERIFY(send(master, "CR1\r"));
    QCOMPARE(readReply(master), QByteArray("3\r"));

    // The line speed asked for is the one set on the port.
    const int probe = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(probe >= 0);
    termios t{};
    QCOMPARE(tcgetattr(probe, &t), 0);
    QCOMPARE(cfgetospeed(&t), speed_t(B9600));
    ::close(probe);
    ::close(master);
}

void TestSimProcess::fleetOnTcp()
{
    const quint16 port = freePorts(3);
    QVERIFY(port > 0);
    SimProcess sim;
    QVERIFY(sim.start({"--listen", QStringLiteral("127.0.0.1:%1").arg(port), "--count", "3"}));
    QCOMPARE(sim.device(), QStringLiteral("listening on 127.0.0.1:%1-%2").arg(port).arg(port + 2));

    QTcpSocket first, second, intruder;
    first.connectToHost(QHostAddress::LocalHost, port);
    second.connectToHost(QHostAddress::LocalHost, port + 1);
    QCOMPARE(ask(first, "C00\r"), QByteArray("\x06\r"));
    QCOMPARE(ask(first, "CR0\r"), QByteArray("40\r"));
    // Each projector its own: the next port's is still in standby.
    QCOMPARE(ask(second, "CR0\r"), QByteArray("80\r"));

    // A busy port turns a second client away and keeps serving the first.
    intruder.connectToHost(QHostAddress::LocalHost, port);
    QTRY_COMPARE_WITH_TIMEOUT(intruder.state(), QAbstractSocket::UnconnectedState, Patience);
    QCOMPARE(ask(first, "CR1\r"), QByteArray("1\r"));

    // The client that leaves leaves the projector warming up, for the next one to find.
    first.disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(first.state(), QAbstractSocket::UnconnectedState, Patience);
    QTcpSocket next;
    next.connectToHost(QHostAddress::LocalHost, port);
    QCOMPARE(ask(next, "CR0\r"), QByteArray("40\r"));

    QVERIFY(sim.waitForLines(5));
    QCOMPARE(sim.lines().mid(0, 2), QByteArrayList({QByteArray::number(port) + " C00",
                                                    QByteArray::number(port) + " CR0"}));

    // A port already taken is named, and nothing is served.
    QProcess clash;
    clash.start(QStringLiteral(PROJECTOR_SIM_PATH),
                {"--listen", QStringLiteral("127.0.0.1:%1").arg(port + 2)});
    QVERIFY(clash.waitForFinished(Patience));
    QCOMPARE(clash.exitCode(), 1);
    QVERIFY(clash.readAllStandardError().contains(QByteArray::number(port + 2)));
}

void TestSimProcess::fleetDropsAClientThatDoesNotRead()
{
    const quint16 port = freePorts(1);
    SimProcess sim;
    QVERIFY(sim.start({"--listen", QStringLiteral("127.0.0.1:%1").arg(port)}));

    // Commands without end, behind a receive window too small for their replies.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int window = 4096;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    fcntl(fd, F_SETFL, O_NONBLOCK);
    const QByteArray commands = QByteArray("CR0\r").repeated(4096);
    bool dropped = false;
    for (QDeadlineTimer deadline(Patience); !dropped && !deadline.hasExpired();) {
        pollfd p{fd, POLLOUT, 0};
        poll(&p, 1, int(deadline.remainingTime()));
        dropped = (p.revents & (POLLERR | POLLHUP)) ||
                  ((p.revents & POLLOUT) &&
                   ::send(fd, commands.constData(), size_t(commands.size()), MSG_NOSIGNAL) < 0 &&
                   errno != EAGAIN);
    }
    ::close(fd);
    QVERIFY(dropped);
    QVERIFY(sim.waitFor(QProcess::StandardError, "reads none of the replies"));

    // The port is free again for a client that reads.
    QTcpSocket next;
    next.connectToHost(QHostAddress::LocalHost, port);
    QCOMPARE(ask(next, "CR0\r"), QByteArray("80\r"));
}

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_simprocess.moc"
