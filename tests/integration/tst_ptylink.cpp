// SPDX-License-Identifier: MIT
// The real serial link on a pseudo-terminal: bytes on the wire, replies, a device that goes away,
// and how failures are worded. Timing here is loose; exact timing belongs to the virtual clock.
#include "DeviceLink.h"
#include "Panel.h"
#include "Pty.h"
#include "TtyConnection.h"
#include "VirtualClock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace std::chrono_literals;
using D = Exchange::Display;

namespace {
double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
} // namespace

class PtyLinkTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void bytesReachTheOtherSideAtOnce()
    {
        Pty pty;
        QVERIFY(pty.ok());
        DeviceLink link(pty.device(), QStringLiteral("/nonexistent/port2"));
        QVERIFY(link.applySettings(*LineSettings::parse(QStringLiteral("19200,N,8,1"))));
        QVERIFY2(link.open(), qPrintable(link.errorString()));
        QVERIFY(link.write("C09\r"));
        // Without running the event loop: the write must not wait for it.
        QCOMPARE(pty.read(4), QByteArray("C09\r"));
        QByteArray all;
        for (int i = 0; i < 256; ++i) QVERIFY(link.write(QByteArray(1, char(i))));
        all = pty.read(256);
        QCOMPARE(all.size(), qsizetype(256));
        for (int i = 0; i < 256; ++i) QCOMPARE(quint8(all[i]), quint8(i));
    }

    // Set on the open port. A pseudo-terminal keeps the speed, PARODD, CMSPAR and CSTOPB that
    // are set but always reads back 8 bits without PARENB, so parity shows in PARODD and
    // CMSPAR: even and odd, mark and space, cannot be swapped unseen; the data bits cannot be
    // seen on one.
    void settingsReachTheLine_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<uint>("speed");
        QTest::addColumn<uint>("flags"); // of PARODD, CMSPAR and CSTOPB
        QTest::newRow("9600,N,8,1") << "9600,N,8,1" << uint(B9600) << 0u;
        QTest::newRow("9600,E,7,1") << "9600,E,7,1" << uint(B9600) << 0u;
        QTest::newRow("4800,O,7,2") << "4800,O,7,2" << uint(B4800) << uint(PARODD | CSTOPB);
        QTest::newRow("19200,M,8,1") << "19200,M,8,1" << uint(B19200) << uint(PARODD | CMSPAR);
        QTest::newRow("19200,S,8,2") << "19200,S,8,2" << uint(B19200) << uint(CMSPAR | CSTOPB);
    }
    void settingsReachTheLine()
    {
        QFETCH(QString, settings);
        Pty pty;
        DeviceLink link(pty.device(), QString());
        QVERIFY(link.applySettings(*LineSettings::parse(QStringLiteral("19200,N,8,1"))));
        QVERIFY(link.open());
        termios t{};
        QCOMPARE(tcgetattr(pty.master(), &t), 0);
        QCOMPARE(cfgetospeed(&t), speed_t(B19200));
        QCOMPARE(t.c_cflag & (PARODD | CMSPAR | CSTOPB), tcflag_t(0));
        QVERIFY(link.applySettings(*LineSettings::parse(settings)));
        QVERIFY(link.isOpen());
        QCOMPARE(tcgetattr(pty.master(), &t), 0);
        QTEST(uint(cfgetospeed(&t)), "speed");
        QTEST(uint(t.c_cflag & (PARODD | CMSPAR | CSTOPB)), "flags");
        QVERIFY(link.write("C00\r"));
        QCOMPARE(pty.read(4), QByteArray("C00\r"));
    }

    void fullOutputQueueIsNoLoss()
    {
        // Nobody reads the master: the kernel's queue fills and writes meet EAGAIN. Writing on
        // until the link holds bytes back itself makes sure the queue really was full.
        Pty pty;
        DeviceLink link(pty.device(), QString());
        QVERIFY(link.open());
        int lost = 0;
        connect(&link, &SerialLink::lost, this, [&] { ++lost; });
        QByteArray sent;
        for (int i = 0; sent.size() < 4 * 1024 * 1024; ++i) {
            const QByteArray line = QByteArray::number(i).rightJustified(7, '0') + '\r';
            if (!link.write(line)) break; // the link's own bound: it holds enough back
            sent += line;
        }
        QVERIFY2(link.failure().cause == LinkFailure::Cause::DeviceNotReading,
                 qPrintable(link.errorString()));
        QCoreApplication::processEvents(); // errors from the full queue arrive now
        QVERIFY(link.isOpen());
        QCOMPARE(lost, 0);
        // The reader resumes: every byte arrives once, in order, while the event loop runs.
        QByteArray got;
        const bool all = QTest::qWaitFor(
            [&] {
                got += pty.read(sent.size() - got.size(), 5ms);
                return got.size() >= sent.size();
            },
            20000);
        QVERIFY(all);
        QCOMPARE(got.size(), sent.size());
        QVERIFY(got == sent);
        QCOMPARE(lost, 0);
        QVERIFY(link.write("C00\r"));
        QCOMPARE(pty.read(4), QByteArray("C00\r"));
    }

    void statusReadEndToEnd()
    {
        Pty pty;
        DeviceLink link(pty.device(), QString());
        Panel panel(link, PreciseTimer::factory());
        QVERIFY(panel.load());
        for (const auto &b : OneShotButtons)
            if (QByteArray(b.code) == "CR0") panel.click(b);
        QCOMPARE(pty.read(4), QByteArray("CR0\r"));
        QVERIFY(pty.send("00\r"));
        QTRY_COMPARE_WITH_TIMEOUT(panel.exchange().display(D::Status), QStringLiteral(" Power ON"),
                                  900);
        QCOMPARE(panel.exchange().display(D::Rxd), QStringLiteral(" 0 0 CR "));
        QCOMPARE(panel.exchange().display(D::Txd), QStringLiteral(" C R 0 CR "));
        QTRY_VERIFY_WITH_TIMEOUT(panel.exchange().display(D::Status).isEmpty(), 3000);
        QCOMPARE(panel.exchange().display(D::Txd), QString());
        QCOMPARE(panel.exchange().display(D::Rxd), QString());
    }

    void failuresSayWhatWentWrong()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("ttyUSB9"));
        DeviceLink link(missing, QString());
        QVERIFY(!link.open());
        QVERIFY2(link.errorString().contains(QLatin1String("does not exist")),
                 qPrintable(link.errorString()));
        QVERIFY(link.errorString().contains(missing));

        Pty pty;
        DeviceLink first(pty.device(), QString());
        DeviceLink second(pty.device(), QString());
        QVERIFY(first.open());
        QVERIFY(!second.open());
        QVERIFY2(second.errorString().contains(QLatin1String("in use")),
                 qPrintable(second.errorString()));
    }

    void badDevicesAreNamed_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("words");
        QTest::newRow("empty") << QString() << QStringLiteral("no device was given");
        QTest::newRow("folder") << QStringLiteral("/tmp")
                                << QStringLiteral("/tmp is not a serial port");
        QTest::newRow("null") << QStringLiteral("/dev/null")
                              << QStringLiteral("/dev/null is not a serial port");
        QTest::newRow("file") << QStringLiteral("FILE") << QStringLiteral("is not a serial port");
        QTest::newRow("fifo") << QStringLiteral("FIFO") << QStringLiteral("is not a serial port");
    }

    void badDevicesAreNamed()
    {
        QFETCH(QString, device);
        QFETCH(QString, words);
        QTemporaryDir dir;
        if (device == QLatin1String("FILE")) {
            device = dir.filePath(QStringLiteral("file"));
            QFile f(device);
            QVERIFY(f.open(QIODevice::WriteOnly));
        } else if (device == QLatin1String("FIFO")) {
            device = dir.filePath(QStringLiteral("fifo"));
            QCOMPARE(::mkfifo(QFile::encodeName(device).constData(), 0600), 0);
        }
        DeviceLink link(device, QString());
        QVERIFY(!link.open());
        QVERIFY2(link.errorString().contains(words), qPrintable(link.errorString()));
    }

    void permissionIsToldApart()
    {
        // Root may open anything, so the check that tells "no permission" from "in use" is
        // replaced; the device itself is held by another opener.
        Pty pty;
        DeviceLink holder(pty.device(), QString());
        QVERIFY(holder.open());
        auto &check = TtyConnection::accessCheck();
        const auto real = check;
        check = [](const QString &) { return false; };
        DeviceLink link(pty.device(), QString());
        const bool opened = link.open();
        check = real;
        QVERIFY(!opened);
        QCOMPARE(link.failure().cause, LinkFailure::Cause::NoPermission);
        QVERIFY(link.errorString().contains(QLatin1String("dialout")));
    }

    // A stable name, as /dev/serial/by-id gives, in front of a pseudo-terminal that goes away
    // and comes back as another one: at once usable, or held by another program at first, as
    // a device is before udev has given it its group; or missing when the link is first opened.
    void reopensWhenTheDeviceReturns_data()
    {
        QTest::addColumn<bool>("busyAtFirst");
        QTest::addColumn<bool>("missingAtFirst");
        QTest::newRow("usable") << false << false;
        QTest::newRow("busy, then usable") << true << false;
        QTest::newRow("missing at the first open") << false << true;
    }
    void reopensWhenTheDeviceReturns()
    {
        QFETCH(bool, busyAtFirst);
        QFETCH(bool, missingAtFirst);
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("by-id/usb-adapter"));
        VirtualClock clock;
        DeviceLink link(name, QString(), clock.factory());
        QVERIFY(link.applySettings(*LineSettings::parse(QStringLiteral("9600,N,8,1"))));
        QStringList lost;
        int restored = 0;
        connect(&link, &SerialLink::lost, this, [&](const LinkFailure &f) { lost << f.text(); });
        connect(&link, &SerialLink::restored, this, [&] { ++restored; });

        if (missingAtFirst) {
            QVERIFY(!link.openAndWait());
            QCOMPARE(link.failure().cause, LinkFailure::Cause::Missing);
        } else {
            QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("by-id")));
            auto pty = std::make_unique<Pty>();
            QVERIFY(QFile::link(pty->device(), name));
            QVERIFY(link.open());
            QVERIFY(QFile::remove(name));
            QVERIFY(QDir(dir.filePath(QStringLiteral("by-id"))).removeRecursively());
            pty->closeMaster();
            QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 3000);
            QVERIFY2(lost.first().contains(name), qPrintable(lost.first()));
        }
        QVERIFY(link.isWaitingForDevice());
        QVERIFY(!link.write("C00\r"));
        QCOMPARE(link.failure().cause, LinkFailure::Cause::AwaitingDevice);
        // Waiting costs nothing: no timer, and no wake-ups until the folder changes; the
        // port's repeated errors do not become more reports.
        QCOMPARE(clock.nextDue(), -1ms);
        const double before = cpuSeconds();
        QTest::qWait(500);
        QVERIFY2(cpuSeconds() - before < 0.2, "CPU used while waiting");
        QCOMPARE(lost.size(), missingAtFirst ? 0 : 1);

        auto again = std::make_unique<Pty>();
        std::unique_ptr<DeviceLink> holder;
        QElapsedTimer back;
        back.start();
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("by-id")));
        QVERIFY(QFile::link(again->device(), name));
        if (busyAtFirst) {
            // Taken by another opener before the link hears of the folder's change: the port's
            // lock goes by the device's name.
            holder = std::make_unique<DeviceLink>(name, QString());
            QVERIFY(holder->open());
            // Present but busy: retried on the timer, 200 ms and then ever more slowly.
            QTRY_COMPARE_WITH_TIMEOUT(clock.nextDue() - clock.now(), 200ms, 3000);
            clock.advance(200ms);
            QCOMPARE(clock.nextDue() - clock.now(), 400ms);
            QCOMPARE(restored, 0);
            holder->close();
            clock.advance(400ms);
            QCOMPARE(restored, 1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(restored, 1, 3000);
        qInfo("reopened %lld ms after the device returned", back.elapsed());
        QVERIFY(link.isOpen() && !link.isWaitingForDevice());
        QVERIFY(link.write("C00\r"));
        QCOMPARE(again->read(4), QByteArray("C00\r"));
        termios t{};
        QCOMPARE(tcgetattr(again->master(), &t), 0);
        QCOMPARE(cfgetospeed(&t), speed_t(B9600));
        QCOMPARE(lost.size(), missingAtFirst ? 0 : 1);
    }
};

QTEST_GUILESS_MAIN(PtyLinkTest)
#include "tst_ptylink.moc"
