// SPDX-License-Identifier: MIT
// projectord's PJLink as a control system meets it: the real service on a private bus, holding
// two simulators' lines, one port open and one with a password, driven by a PJLink client this
// project did not write (tests/pjlink/client).
#include "DbusDaemon.h"
#include "ProjectordProcess.h"
#include "SimProcess.h"

#include <QTcpServer>
#include <QTest>

#include <sys/stat.h>

namespace {

// A loopback port nobody listens on now.
quint16 freePort()
{
    QTcpServer s;
    return s.listen(QHostAddress::LocalHost) ? s.serverPort() : 0;
}

} // namespace

class PjlinkClientTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void foreignClient()
    {
        SimProcess open, locked;
        QVERIFY(open.start({"--warmup", "0", "--cooldown", "0"}));
        QVERIFY(locked.start({}));
        DbusDaemon bus;
        QVERIFY2(bus.start(), qPrintable(bus.errors()));
        ProjectordProcess service(bus);
        ::umask(077); // the service refuses a password others can read
        const quint16 openPort = freePort(), lockedPort = freePort();
        const QString config = QStringLiteral(
            "[hall-1]\ndevice = %1\npoll = 0\npjlink = 127.0.0.1:%2\npjlink-name = Hall 1\n"
            "pjlink-inf1 = Maker\npjlink-info = Room 2.14\n"
            "[hall-2]\ndevice = %3\npoll = 0\npjlink = 127.0.0.1:%4\npjlink-password = s3cret\n");
        QVERIFY2(service.start(config.arg(open.device())
                                   .arg(openPort)
                                   .arg(locked.device())
                                   .arg(lockedPort)
                                   .toUtf8()),
                 service.errors().constData());
        QTRY_VERIFY_WITH_TIMEOUT(service.errors().count("online") == 2, 10000);

        QProcess client;
        client.setProcessChannelMode(QProcess::MergedChannels);
        client.setChildProcessModifier(dieWithParent);
        client.setWorkingDirectory(QStringLiteral(PJLINK_CLIENT_DIR));
        client.start(QStringLiteral("node"),
                     {QStringLiteral("pjlink-client.js"), QString::number(openPort),
                      QString::number(lockedPort), "s3cret"});
        QVERIFY(QTest::qWaitFor([&] { return client.state() == QProcess::NotRunning; }, 90000));
        QVERIFY2(client.exitCode() == 0, client.readAll().constData());
        QVERIFY(!service.errors().contains("s3cret"));
        service.stop();
        open.stop(); // their logs are whole once they end
        locked.stop();
        QCOMPARE(open.lines().count("C0D"), 2); // every mapping's codes came to the projector
        QCOMPARE(locked.lines(), QByteArrayList({"CR0"}));
    }
};

QTEST_GUILESS_MAIN(PjlinkClientTest)
#include "tst_pjlinkclient.moc"
