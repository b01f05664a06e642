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

// Bound in the test's folder, or under an abstract name for a name starting with '@'.
struct Listener
{
    explicit Listener(QByteArray name = {})
        : name(name.isEmpty() ? QFile::encodeName(dir.filePath("s")) : name),
          fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0))
    {
        sockaddr_un a{AF_UNIX, {}};
        std::memcpy(a.sun_path, this->name.constData(), this->name.size());
        if (a.sun_path[0] == '@') a.sun_path[0] = '\0';
        if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof(sa_family_t) + this->name.size()))
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
    int fd;
};

class SystemdTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void watchdog()
    {
        struct Row
        {
            const char *name, *usec, *pid, *socket; // pid SELF: this; socket OURS, @…: the test's
            int pets, logged;                       // from the start to 30 s
        };
        for (const Row &row : std::initializer_list<Row>{
                 {"30 s: every 15 s", "30000000", "", "OURS", 3, 0},
                 {"3 s: every 1.5 s, this process", "3000000", "SELF", "@projectord-test", 21, 0},
                 {"another process", "30000000", "1", "OURS", 0, 0},
                 {"not watched", "", "", "OURS", 0, 0},
                 {"no socket", "30000000", "", "", 0, 0},
                 {"unreachable: said once", "30000000", "", "/nonexistent", 0, 1}}) {
            const QByteArray socket = row.socket, pid = row.pid;
            Listener systemd(socket.startsWith('@') ? socket + QByteArray::number(::getpid())
                                                    : QByteArray());
            qputenv("NOTIFY_SOCKET",
                    socket == "OURS" || socket.startsWith('@') ? systemd.name : socket);
            qputenv("WATCHDOG_USEC", row.usec);
            qputenv("WATCHDOG_PID", pid == "SELF" ? QByteArray::number(::getpid()) : pid);
            VirtualClock clock;
            QStringList said;
            Watchdog watchdog(clock.factory(), [&](const QString &line) { said.append(line); });
            watchdog.start();
            QList<QByteArray> got; // read as they come: the socket holds only a few
            for (int s = 0; s <= 30; ++s, clock.advance(std::chrono::seconds(1)))
                got += systemd.take();
            QVERIFY2(got == QList<QByteArray>(row.pets, "WATCHDOG=1") && said.size() == row.logged,
                     row.name);
        }
    }

    void record()
    {
        const QByteArray tail = "PRIORITY=6\nSYSLOG_IDENTIFIER=projectord\n";
        const struct
        {
            const char *line, *projector;
            QByteArray record;
        } rows[] = {
            {"stopping", "", "MESSAGE=stopping\n" + tail},
            {"ホール: offline", "ホール",
             "MESSAGE=ホール: offline\n" + tail + "PROJECTOR=ホール\n"},
            {"a\nb", "h",
             QByteArray("MESSAGE\n\3\0\0\0\0\0\0\0", 16) + "a\nb\n" + tail + "PROJECTOR=h\n"}};
        for (const auto &row : rows) {
            Listener journald;
            Journal(journald.name)
                .log(QString::fromUtf8(row.line), QString::fromUtf8(row.projector));
            QCOMPARE(journald.take(), QList<QByteArray>{row.record});
        }
    }

    // Which stderr is the journal's, and a line the journal cannot take, there as it is.
    void stream()
    {
        QTemporaryDir dir;
        const int saved = ::dup(2),
                  fd = ::open(QFile::encodeName(dir.filePath("e")), O_CREAT | O_RDWR, 0600);
        struct stat st = {};
        ::fstat(fd, &st);
        const QByteArray dev = QByteArray::number(st.st_dev), ino = QByteArray::number(st.st_ino);
        QVERIFY(Journal::isStream(dev + ':' + ino, fd));
        for (const QByteArray &other :
             {dev + ":1", "1:" + ino, dev, dev + ':' + ino + 'x', QByteArray()})
            QVERIFY2(!Journal::isStream(other, fd), other);
        ::dup2(fd, 2);
        Journal(QFile::encodeName(dir.filePath("none"))).log("h: offline", "h");
        ::dup2(saved, 2);
        QFile file(dir.filePath("e"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("h: offline\n"));
    }
};

QTEST_GUILESS_MAIN(SystemdTest)
#include "tst_systemd.moc"
