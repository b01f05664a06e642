// SPDX-License-Identifier: MIT
// The lock files projectord's start clears as root: only a plain file whose process is gone.
#include "StaleLocks.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A process that was and is no more.
pid_t deadPid()
{
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

} // namespace

class StaleLocksTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lockNames_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("serial port") << "/dev/ttyS0" << QStringList{"LCK..ttyS0"};
        QTest::newRow("pseudo-terminal") << "/dev/pts/3" << QStringList{"LCK..pts_3"};
        QTest::newRow("outside /dev") << "/nonexistent/p1" << QStringList{"LCK.._nonexistent_p1"};
        QTest::newRow("device server") << "rfc2217://127.0.0.1:2000" << QStringList();
    }
    void lockNames()
    {
        QFETCH(QString, device);
        QFETCH(QStringList, names);
        QCOMPARE(StaleLocks::lockNames(device), names);
    }

    void clear_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("removed");
        QTest::newRow("Qt's, process gone") << "qt dead" << true;
        QTest::newRow("padded PID, process gone") << "padded dead" << true;
        QTest::newRow("by the link's target") << "via link" << true;
        QTest::newRow("process running") << "qt alive" << false;
        QTest::newRow("process gone, file still locked") << "flocked" << false;
        QTest::newRow("no PID") << "garbage" << false;
        QTest::newRow("symbolic link") << "symlink" << false;
        QTest::newRow("FIFO") << "fifo" << false;
    }
    void clear()
    {
        QFETCH(QString, kind);
        QFETCH(bool, removed);
        QTemporaryDir dir;
        QString device = QStringLiteral("/dev/ttyS9");
        QString lock = dir.filePath(QStringLiteral("LCK..ttyS9"));
        const auto write = [](const QString &path, const QByteArray &text) {
            QFile f(path);
            return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
        };
        const QByteArray dead = QByteArray::number(deadPid());
        int held = -1;
        if (kind == QLatin1String("qt dead") || kind == QLatin1String("flocked")) {
            QVERIFY(write(lock, dead + "\nprojector-panel\nhost\n"));
            if (kind == QLatin1String("flocked")) {
                held = ::open(QFile::encodeName(lock).constData(), O_RDONLY | O_CLOEXEC);
                QVERIFY(held >= 0 && ::flock(held, LOCK_EX | LOCK_NB) == 0);
            }
        } else if (kind == QLatin1String("padded dead")) {
            QVERIFY(write(lock, dead.rightJustified(10) + '\n'));
        } else if (kind == QLatin1String("via link")) {
            // The configured path is a link; the port found by it is locked under its own name.
            device = dir.filePath(QStringLiteral("projector"));
            QVERIFY(QFile::link(QStringLiteral("/dev/null"), device));
            lock = dir.filePath(QStringLiteral("LCK..null"));
            QVERIFY(write(lock, dead + "\nprojector-panel\nhost\n"));
        } else if (kind == QLatin1String("qt alive")) {
            QVERIFY(write(lock, QByteArray::number(::getpid()) + "\nprojector-panel\nhost\n"));
        } else if (kind == QLatin1String("garbage")) {
            QVERIFY(write(lock, "none\n"));
        } else if (kind == QLatin1String("symlink")) {
            const QString target = dir.filePath(QStringLiteral("elsewhere"));
            QVERIFY(write(target, dead + '\n'));
            QVERIFY(QFile::link(target, lock));
        } else {
            QCOMPARE(::mkfifo(QFile::encodeName(lock).constData(), 0600), 0);
        }
        const QStringList said = StaleLocks::clear({device}, dir.path());
        if (held >= 0) ::close(held);
        QCOMPARE(!QFileInfo(lock).exists() && !QFileInfo(lock).isSymLink(), removed);
        QCOMPARE(said.size(), removed ? 1 : 0);
        if (removed) QVERIFY2(said.first().startsWith("removed " + lock), qPrintable(said.first()));
    }
};

QTEST_GUILESS_MAIN(StaleLocksTest)
#include "tst_stalelocks.moc"
