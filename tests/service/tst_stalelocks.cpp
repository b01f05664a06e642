// SPDX-License-Identifier: MIT
// The lock files projectord's start clears as root: only a plain file whose process is gone.
#include "StaleLocks.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

class StaleLocksTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void clear_data()
    {
        QTest::addColumn<QString>("device");     // LINK: a link in the test's folder to /dev/null
        QTest::addColumn<QString>("lock");       // the file's name
        QTest::addColumn<QByteArray>("content"); // DEAD, SELF: a PID; @fifo, @link: no file
        QTest::addColumn<bool>("flocked");
        QTest::addColumn<bool>("removed");
        const QByteArray qt = "DEAD\nprojector-panel\nhost\n";
        QTest::newRow("Qt's, gone") << "/dev/ttyS9"
                                    << "LCK..ttyS9" << qt << false << true;
        QTest::newRow("padded, gone")
            << "/dev/pts/9"
            << "LCK..pts_9" << QByteArray("      DEAD\n") << false << true;
        QTest::newRow("by the link's target") << "LINK"
                                              << "LCK..null" << qt << false << true;
        QTest::newRow("running") << "/dev/ttyS9"
                                 << "LCK..ttyS9" << QByteArray("SELF\nprojectord\nhost\n") << false
                                 << false;
        QTest::newRow("gone, still locked") << "/dev/ttyS9"
                                            << "LCK..ttyS9" << qt << true << false;
        QTest::newRow("no PID") << "/dev/ttyS9"
                                << "LCK..ttyS9" << QByteArray("none\n") << false << false;
        QTest::newRow("symbolic link") << "/dev/ttyS9"
                                       << "LCK..ttyS9" << QByteArray("@link") << false << false;
        QTest::newRow("FIFO") << "/dev/ttyS9"
                              << "LCK..ttyS9" << QByteArray("@fifo") << false << false;
        QTest::newRow("device server") << "rfc2217://127.0.0.1:2000"
                                       << "LCK..rfc2217:__127.0.0.1:2000" << qt << false << false;
    }
    void clear()
    {
        QFETCH(QString, device);
        QFETCH(QString, lock);
        QFETCH(QByteArray, content);
        QFETCH(bool, flocked);
        QFETCH(bool, removed);
        QTemporaryDir dir;
        if (device == QLatin1String("LINK")) {
            device = dir.filePath(QStringLiteral("projector"));
            QVERIFY(QFile::link(QStringLiteral("/dev/null"), device));
        }
        const pid_t dead = ::fork(); // a process that was and is no more
        if (dead == 0) ::_exit(0);
        ::waitpid(dead, nullptr, 0);
        content.replace("DEAD", QByteArray::number(dead))
            .replace("SELF", QByteArray::number(::getpid()));
        const QString path = dir.filePath(lock);
        if (content == "@fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else {
            // A link's target names a dead process: only the link itself is in question.
            const bool link = content == "@link";
            QFile f(link ? path + QStringLiteral(".target") : path);
            QVERIFY(f.open(QIODevice::WriteOnly) &&
                    f.write(link ? QByteArray::number(dead) + '\n' : content) > 0);
            QVERIFY(!link || QFile::link(f.fileName(), path));
        }
        const int held = flocked ? ::open(QFile::encodeName(path).constData(), O_RDONLY) : -1;
        QVERIFY(!flocked || ::flock(held, LOCK_EX | LOCK_NB) == 0);
        const QStringList said = StaleLocks::clear({device}, dir.path());
        if (held >= 0) ::close(held);
        QCOMPARE(!QFileInfo(path).exists() && !QFileInfo(path).isSymLink(), removed);
        QCOMPARE(said, removed ? QStringList{QStringLiteral("removed %1, left by process %2 "
                                                            "which is gone")
                                                 .arg(path)
                                                 .arg(dead)}
                               : QStringList());
    }
};

QTEST_GUILESS_MAIN(StaleLocksTest)
#include "tst_stalelocks.moc"
