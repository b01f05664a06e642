// SPDX-License-Identifier: MIT
// What projectord tells systemd, read from a socket of the test's: pets, the journal's records.
#include "Journal.h"
#include "VirtualClock.h"
#include "Watchdog.h"

#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

// Bound in the test's folder, or under an abstract name.
struct Listener
{
    explicit Listener(bool abstract)
        : name(abstract ? "@projectord-test-" + QByteArray::number(::getpid())
                        : QFile::encodeName(dir.path()) + "/s")
    {
        sockaddr_un a{AF_UNIX, {}};
        std::memcpy(a.sun_path + abstract, name.constData() + abstract, name.size() - abstract);
        if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof(sa_family_t) + name.size()))
            qFatal("bind");
    }
    ~Listener() { ::close(fd); }
    QList<QByteArray> take() // what came, without waiting
    {
        QList<QByteArray> got;
        char b[4096];
        for (ssize_t n; (n = ::recv(fd, b, sizeof b, 0)) >= 0;) got.append(QByteArray(b, n));
        return got;
    }
    QTemporaryDir dir;
    QByteArray name;
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
};

class SystemdTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void watchdog()
    {
        // The pid SELF is this process; the sockets ours and @ours the listener's. Pets from the
        // start to 30 s, and the lines logged.
        using Row = std::tuple<const char *, const char *, const char *, const char *, int, int>;
        for (const auto &[name, usec, pid, socket, pets, logged] : std::initializer_list<Row>{
                 {"30 s: every 15 s", "30000000", "", "ours", 3, 0},
                 {"3 s: every 1.5 s, this process", "3000000", "SELF", "@ours", 21, 0},
                 {"another process", "30000000", "1", "ours", 0, 0},
                 {"not watched", "", "", "ours", 0, 0},
                 {"no socket", "30000000", "", "", 0, 0},
                 {"unreachable: said once", "30000000", "", "/nonexistent", 0, 1}}) {
            Listener systemd(*socket == '@');
            qputenv("NOTIFY_SOCKET",
                    QByteArray(socket).endsWith("ours") ? systemd.name : QByteArray(socket));
            qputenv("WATCHDOG_USEC", usec);
            qputenv("WATCHDOG_PID", *pid == 'S' ? QByteArray::number(::getpid()) : QByteArray(pid));
            VirtualClock clock;
            QStringList said;
            Watchdog watchdog(clock.factory(), [&](const QString &line) { said.append(line); });
            watchdog.start();
            QList<QByteArray> got; // read as they come: the socket holds only a few
            for (int s = 0; s <= 30; ++s, clock.advance(std::chrono::seconds(1)))
                got += systemd.take();
            QVERIFY2(got == QList<QByteArray>(pets, "WATCHDOG=1") && said.size() == logged, name);
        }
    }

    // The records, through the socket; whose stderr is the journal's; a line the journal cannot
    // take on stderr as it is.
    void journal()
    {
        const QByteArray tail = "PRIORITY=6\nSYSLOG_IDENTIFIER=projectord\n";
        QCOMPARE(Journal::record("stopping", {}), "MESSAGE=stopping\n" + tail);
        QCOMPARE(Journal::record("a\nb", "h"),
                 QByteArray("MESSAGE\n\3\0\0\0\0\0\0\0a\nb\n", 20) + tail + "PROJECTOR=h\n");
        Listener journald(false);
        Journal(journald.name).log("ホール: offline", "ホール");
        QCOMPARE(journald.take(), {"MESSAGE=ホール: offline\n" + tail + "PROJECTOR=ホール\n"});

        const int saved = ::dup(2), fd = ::open(journald.name + "e", O_CREAT | O_RDWR, 0600);
        struct stat st = {};
        ::fstat(fd, &st);
        const QByteArray dev = QByteArray::number(st.st_dev), ino = QByteArray::number(st.st_ino);
        QVERIFY(Journal::isStream(dev + ':' + ino, fd));
        for (const QByteArray &other :
             {dev + ":1", "1:" + ino, dev, dev + ':' + ino + 'x', QByteArray()})
            QVERIFY2(!Journal::isStream(other, fd), other);
        ::dup2(fd, 2);
        Journal(journald.name + "none").log("h: offline", "h");
        ::dup2(saved, 2);
        char got[32] = {};
        QCOMPARE(::pread(fd, got, sizeof got, 0), 11);
        QCOMPARE(got, "h: offline\n");
        ::close(saved);
        ::close(fd);
    }
};

QTEST_GUILESS_MAIN(SystemdTest)
#include "tst_systemd.moc"
