// SPDX-License-Identifier: MIT
// The real serial link on a pseudo-terminal: bytes on the wire, replies, a device that goes away,
// and how failures are worded. Timing here is loose; exact timing belongs to the virtual clock.
#include "Panel.h"
#include "Pty.h"
#include "QtSerialLink.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

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
        QtSerialLink link(pty.device(), QStringLiteral("/nonexistent/port2"));
        QVERIFY(link.setPortNumber(1));
        QVERIFY(link.applySettings(QStringLiteral("19200,N,8,1")));
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

    void speedChangeOnTheOpenPort()
    {
        Pty pty;
        QtSerialLink link(pty.device(), QString());
        link.setPortNumber(1);
        link.applySettings(QStringLiteral("19200,N,8,1"));
        QVERIFY(link.open());
        termios t{};
        QCOMPARE(tcgetattr(pty.master(), &t), 0);
        QCOMPARE(cfgetospeed(&t), speed_t(B19200));
        QVERIFY(link.applySettings(QStringLiteral("9600,N,8,1")));
        QVERIFY(link.isOpen());
        QCOMPARE(tcgetattr(pty.master(), &t), 0);
        QCOMPARE(cfgetospeed(&t), speed_t(B9600));
        QVERIFY(link.write("C00\r"));
        QCOMPARE(pty.read(4), QByteArray("C00\r"));
    }

    void fullOutputBufferIsNoFailure()
    {
        // Nobody reads the master: the kernel's queue fills and writes meet EAGAIN.
        Pty pty;
        QtSerialLink link(pty.device(), QString());
        link.setPortNumber(1);
        QVERIFY(link.open());
        int lost = 0;
        link.setLostHandler([&](const QString &) { ++lost; });
        for (int i = 0; i < 5000; ++i) QVERIFY(link.write("C3C\r"));
        QTest::qWait(50);
        QVERIFY(link.isOpen());
        QCOMPARE(lost, 0);
        QVERIFY(pty.read(4).startsWith("C3C\r"));
    }

    void statusReadEndToEnd()
    {
        Pty pty;
        QtSerialLink link(pty.device(), QString());
        Panel panel(link, PreciseTimer::factory());
        QVERIFY(panel.load());
        for (const auto &b : OneShotButtons)
            if (QByteArray(b.code) == "CR0") panel.click(b);
        QCOMPARE(pty.read(4), QByteArray("CR0\r"));
        QVERIFY(pty.send("00\r"));
        QTRY_COMPARE_WITH_TIMEOUT(panel.exchange().display(D::Status), QStringLiteral(" Power ON"), 900);
        QCOMPARE(panel.exchange().display(D::Rxd), QStringLiteral(" 0 0 CR "));
        QCOMPARE(panel.exchange().display(D::Txd), QStringLiteral(" C R 0 CR "));
        QTRY_VERIFY_WITH_TIMEOUT(panel.exchange().display(D::Status).isEmpty(), 3000);
        QCOMPARE(panel.exchange().display(D::Txd), QString());
        QCOMPARE(panel.exchange().display(D::Rxd), QString());
    }

    void deviceGoneClosesOnceAndIdles()
    {
        auto pty = std::make_unique<Pty>();
        QtSerialLink link(pty->device(), QString());
        link.setPortNumber(1);
        QVERIFY(link.open());
        QStringList lost;
        link.setLostHandler([&](const QString &d) { lost << d; });
        pty->closeMaster();
        QTRY_VERIFY_WITH_TIMEOUT(!link.isOpen(), 3000);
        QCOMPARE(lost.size(), 1);
        QVERIFY2(lost.first().contains(link.deviceName()), qPrintable(lost.first()));
        // No busy loop once the port is closed.
        const double before = cpuSeconds();
        QTest::qWait(1000);
        const double used = cpuSeconds() - before;
        QVERIFY2(used < 0.2, qPrintable(QStringLiteral("%1 s of CPU while idle").arg(used)));
        QCOMPARE(lost.size(), 1);
        QVERIFY(!link.write("C00\r"));
        QVERIFY(link.errorString().contains(QLatin1String("not open")));
    }

    void failuresSayWhatWentWrong()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("ttyUSB9"));
        QtSerialLink link(missing, QString());
        link.setPortNumber(1);
        QVERIFY(!link.open());
        QVERIFY2(link.errorString().contains(QLatin1String("does not exist")), qPrintable(link.errorString()));
        QVERIFY(link.errorString().contains(missing));

        Pty pty;
        QtSerialLink first(pty.device(), QString());
        QtSerialLink second(pty.device(), QString());
        first.setPortNumber(1);
        second.setPortNumber(1);
        QVERIFY(first.open());
        QVERIFY(!second.open());
        QVERIFY2(second.errorString().contains(QLatin1String("in use")), qPrintable(second.errorString()));
    }

    void permissionIsToldApart()
    {
        // Only the wording can be checked as root, who may open anything.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ttyS7"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        f.setPermissions(QFileDevice::Permissions());
        const QString text = describeOpenFailure(QStringLiteral("port 1 (x)"), path,
                                                 QSerialPort::PermissionError, QString());
        if (geteuid() == 0)
            QVERIFY(text.contains(QLatin1String("in use")));
        else
            QVERIFY(text.contains(QLatin1String("dialout")));
    }
};

QTEST_GUILESS_MAIN(PtyLinkTest)
#include "tst_ptylink.moc"
