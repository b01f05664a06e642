// SPDX-License-Identifier: MIT
// projectord's PJLink as a control system meets it: the real service on a private bus, holding
// two simulators' lines, one port open and one with a password, driven by a PJLink client this
// project did not write (tests/pjlink/client). The client runs once; each of its checks is a
// row of its own here.
#include "DbusDaemon.h"
#include "FreePort.h"
#include "ProjectordProcess.h"
#include "SimProcess.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <sys/stat.h>

#include <utility>

class PjlinkClientTest : public QObject
{
    Q_OBJECT
    SimProcess m_open, m_locked;
    DbusDaemon m_bus;
    ProjectordProcess m_service{m_bus};
    QByteArray m_output; // all the client said
    QStringList m_plan;
    QHash<QString, QJsonObject> m_results;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_open.start({"--warmup", "0", "--cooldown", "0"}));
        QVERIFY(m_locked.start({}));
        QVERIFY2(m_bus.start(), qPrintable(m_bus.errors()));
        ::umask(077); // the service refuses a password others can read
        const quint16 openPort = freePort(), lockedPort = freePort();
        const QString config = QStringLiteral(
            "[hall-1]\ndevice = %1\npoll = 0\npjlink = 127.0.0.1:%2\npjlink-name = Hall 1\n"
            "pjlink-inf1 = Maker\npjlink-info = Room 2.14\n"
            "[hall-2]\ndevice = %3\npoll = 0\npjlink = 127.0.0.1:%4\npjlink-password = s3cret\n");
        QVERIFY2(m_service.start(config.arg(m_open.device())
                                     .arg(openPort)
                                     .arg(m_locked.device())
                                     .arg(lockedPort)
                                     .toUtf8()),
                 m_service.errors().constData());
        QTRY_VERIFY_WITH_TIMEOUT(m_service.errors().count("online") == 2, 10000);

        QProcess client;
        client.setChildProcessModifier(dieWithParent);
        client.setWorkingDirectory(QStringLiteral(PJLINK_CLIENT_DIR));
        client.start(QStringLiteral(NODE_PROGRAM),
                     {QStringLiteral("pjlink-client.js"), QString::number(openPort),
                      QString::number(lockedPort), "s3cret"});
        QVERIFY(QTest::qWaitFor([&] { return client.state() == QProcess::NotRunning; }, 90000));
        m_output = client.readAllStandardOutput() + client.readAllStandardError();
        for (const QByteArray &line : m_output.split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            for (const QJsonValue &name : o.value(u"plan").toArray()) m_plan << name.toString();
            if (o.contains(u"check")) m_results.insert(o.value(u"check").toString(), o);
        }
        QVERIFY2(!m_plan.isEmpty(), m_output.constData());
    }

    void check_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString &name : std::as_const(m_plan)) QTest::newRow(qPrintable(name)) << name;
    }
    void check()
    {
        QFETCH(QString, name);
        // A check without a result: the client ended before it.
        QVERIFY2(m_results.contains(name), m_output.constData());
        const QJsonObject result = m_results.value(name);
        QVERIFY2(result.value(u"ok").toBool(), qPrintable(result.value(u"why").toString()));
    }

    // What reached the projectors, once the client is done.
    void projectorsAndLog()
    {
        QVERIFY(!m_service.errors().contains("s3cret"));
        m_service.stop();
        m_open.stop(); // their logs are whole once they end
        m_locked.stop();
        QCOMPARE(m_open.lines().count("C0D"), 2); // every mapping's codes came to the projector
        QCOMPARE(m_locked.lines(), QByteArrayList({"CR0"}));
    }
};

QTEST_GUILESS_MAIN(PjlinkClientTest)
#include "tst_pjlinkclient.moc"
