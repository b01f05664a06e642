// SPDX-License-Identifier: MIT
// projectord as its clients meet it: the real program on a private bus with the shipped policy,
// holding the simulator's lines.
#include "DbusDaemon.h"
#include "DeviceLink.h"
#include "FreePort.h"
#include "Panel.h"
#include "ProjectordProcess.h"
#include "ServiceNames.h"
#include "SimProcess.h"
#include "TrafficLog.h"
#include "TrafficLogFile.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QXmlStreamReader>

#include <csignal>

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int Patience = 10000;
const QString Iface = QLatin1String(ServiceNames::ProjectorInterface);
const QString Hall = ServiceNames::projectorPath(QStringLiteral("hall-1"));

QByteArray section(const QString &name, const QString &device)
{
    return QStringLiteral("[%1]\ndevice = %2\npoll = 0\n").arg(name, device).toUtf8();
}

QDBusMessage method(const QString &path, const QString &member, const QVariantList &args = {},
                    const QString &interface = Iface)
{
    QDBusMessage m = QDBusMessage::createMethodCall(QLatin1String(ServiceNames::BusName), path,
                                                    interface, member);
    m.setArguments(args);
    return m;
}

// Long enough for fifty commands' reply windows in a row.
QDBusPendingCall send(QDBusConnection c, const QString &command, const QString &path = Hall)
{
    return c.asyncCall(method(path, QStringLiteral("Send"), {command}), 120000);
}

QDBusMessage await(const QDBusPendingCall &call)
{
    return QTest::qWaitFor([&] { return call.isFinished(); }, 120000) ? call.reply()
                                                                      : QDBusMessage();
}

// Send's answer as data: code, reply, answered, and the reading's fields as "key=value".
QStringList sendAnswer(const QDBusMessage &answer)
{
    const QList<QVariant> a = answer.arguments();
    if (a.size() != 4) return {QStringLiteral("not a Send answer: ") + answer.errorMessage()};
    QStringList out{a[0].toString(), QString::fromLatin1(a[1].toByteArray().toPercentEncoding()),
                    a[2].toBool() ? QStringLiteral("answered") : QStringLiteral("none")};
    const QVariantMap reading = qdbus_cast<QVariantMap>(a[3]);
    for (auto it = reading.cbegin(); it != reading.cend(); ++it)
        out << it.key() + '=' + it.value().toString();
    return out;
}

// Where the programs see that projectord runs on this bus.
QString runDirectory(const DbusDaemon &bus)
{
    return bus.environment().value(QStringLiteral("PROJECTORD_RUNTIME_DIR"));
}

QVariant read(QDBusConnection c, const QString &path, const QString &name)
{
    const QDBusMessage r = c.call(method(path, QStringLiteral("Get"), {Iface, name},
                                         QStringLiteral("org.freedesktop.DBus.Properties")));
    return r.arguments().isEmpty() ? QVariant()
                                   : r.arguments().first().value<QDBusVariant>().variant();
}

// What a projector object announces, as a client sees it.
class Watch : public QObject
{
    Q_OBJECT
public:
    struct Line
    {
        QByteArray line;
        QString client, sender;
    };
    QList<Line> lines;
    QList<QVariantMap> changes;

    Watch(QDBusConnection c, const QString &path)
    {
        const QString service = QLatin1String(ServiceNames::BusName);
        c.connect(service, path, Iface, QStringLiteral("LineSent"), this,
                  SLOT(onLineSent(QByteArray, QString, QString)));
        c.connect(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                  QStringLiteral("PropertiesChanged"), this,
                  SLOT(onChanged(QString, QVariantMap, QStringList)));
        read(c, path, QStringLiteral("Name")); // the bus has the match rules after this
    }
public Q_SLOTS:
    void onLineSent(const QByteArray &l, const QString &client, const QString &sender)
    {
        lines.append({l, client, sender});
    }
    void onChanged(const QString &, const QVariantMap &changed, const QStringList &)
    {
        if (changed.contains(QStringLiteral("Online"))) changes.append(changed);
    }
};

// The projectors the manager announces coming and going, as "+PATH" and "-PATH".
class Comings : public QObject
{
    Q_OBJECT
public:
    QStringList seen;
    explicit Comings(QDBusConnection c)
    {
        const QString service = QLatin1String(ServiceNames::BusName);
        const QString path = QLatin1String(ServiceNames::ManagerPath);
        const QString manager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
        for (const char *member : {"InterfacesAdded", "InterfacesRemoved"})
            c.connect(service, path, manager, QLatin1String(member), this,
                      SLOT(onSignal(QDBusMessage)));
        c.call(
            method(path, QStringLiteral("Ping"), {}, QStringLiteral("org.freedesktop.DBus.Peer")));
    }
public Q_SLOTS:
    void onSignal(const QDBusMessage &m)
    {
        seen << (m.member() == QLatin1String("InterfacesAdded") ? u'+' : u'-') +
                    m.arguments().value(0).value<QDBusObjectPath>().path();
    }
};

} // namespace

class ProjectordTest : public QObject
{
    Q_OBJECT
    SimProcess m_sim;
    DbusDaemon m_bus;
    std::unique_ptr<ProjectordProcess> m_service;
    QDBusConnection m_client{QStringLiteral("unset")};

private Q_SLOTS:
    // One service for the tests that leave its projectors as they found them.
    void initTestCase()
    {
        QVERIFY(m_sim.start({}));
        QVERIFY2(m_bus.start(), qPrintable(m_bus.errors()));
        // The clients in this process look for projectord on the system bus: this one.
        m_bus.useInThisProcess();
        m_service = std::make_unique<ProjectordProcess>(m_bus);
        QVERIFY2(m_service->start(section(QStringLiteral("hall-1"), m_sim.device()) +
                                  section(QStringLiteral("absent"), absentDevice())),
                 m_service->errors().constData());
        m_client = m_bus.connect(QStringLiteral("client"));
        QTRY_VERIFY_WITH_TIMEOUT(read(m_client, Hall, QStringLiteral("Online")).toBool(), Patience);
    }

    void startFailures_data()
    {
        QTest::addColumn<QByteArray>("config"); // null: no file
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("error"); // a pattern; FILE stands for the configuration
        const QByteArray device = "[hall-1]\ndevice = /dev/null\n";
        QTest::newRow("missing file") << QByteArray() << QStringList() << 1 << "^FILE:";
        QTest::newRow("bad speed") << device + "speed = 4800\n"
                                   << QStringList() << 1 << "^FILE:3: ";
        QTest::newRow("unknown key") << device + "colour = red\n"
                                     << QStringList() << 1 << "^FILE:3: ";
        QTest::newRow("outside a section")
            << QByteArray("device = /dev/null\n") << QStringList() << 1 << "^FILE:1: ";
        // The check beside the running service: it never asks for the name the other holds.
        QTest::newRow("check") << device + "speed = 4800\n"
                               << QStringList{"--check"} << 1
                               << "^FILE:3: speed is 19200 or 9600, not \"4800\"\n$";
        QTest::newRow("unknown option") << device << QStringList{"--bogus"} << 2 << "'--bogus'";
        QTest::newRow("argument") << device << QStringList{"hall-1"} << 2 << "\"hall-1\"";
        QTest::newRow("name taken") << section(QStringLiteral("hall-1"), absentDevice())
                                    << QStringList() << 1 << "is taken: is projectord running";
    }
    void startFailures()
    {
        QFETCH(QByteArray, config);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("projectord.conf"));
        if (!config.isNull()) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(config) == config.size());
        }
        QProcess p; // on the bus of the other tests, whose projectord holds the name
        p.setProcessEnvironment(m_bus.environment());
        p.start(QStringLiteral(PROJECTORD_PATH), QStringList{"--config", file} + args);
        QVERIFY(p.waitForFinished(Patience));
        QCOMPARE(p.exitCode(), exitCode);
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        QVERIFY2(err.contains(QRegularExpression(
                     error.replace(QLatin1String("FILE"), QRegularExpression::escape(file)))),
                 qPrintable(err));
        if (exitCode == 1) QCOMPARE(err.count(u'\n'), 1);
        // What tells the programs that a service runs is the running one's, and stays.
        QVERIFY(QFileInfo(runDirectory(m_bus)).isDir());
    }

    void callsFromOutsideAreChecked_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("member");
        QTest::addColumn<QVariant>("argument");
        QTest::addColumn<QString>("answer"); // an error's name, or the path found
        const QString manager = QLatin1String(ServiceNames::ManagerPath);
        const QString absent = ServiceNames::projectorPath(QStringLiteral("absent"));
        const auto error = [](const char *name) {
            return QLatin1String(ServiceNames::ErrorPrefix) + QLatin1String(name);
        };
        QTest::newRow("no command") << Hall << "Send" << QVariant("") << error("UnknownCommand");
        QTest::newRow("unknown command")
            << Hall << "Send" << QVariant("warp") << error("UnknownCommand");
        QTest::newRow("huge command")
            << Hall << "Send" << QVariant(QString(100000, u'a')) << error("UnknownCommand");
        QTest::newRow("offline") << absent << "Send" << QVariant("status") << error("Offline");
        QTest::newRow("empty line")
            << Hall << "WriteLine" << QVariant(QByteArray()) << error("InvalidLine");
        QTest::newRow("long line")
            << Hall << "WriteLine" << QVariant(QByteArray(65, 'C')) << error("InvalidLine");
        QTest::newRow("8-bit line")
            << Hall << "WriteLine" << QVariant(QByteArray("C0\xe9\r")) << error("InvalidLine");
        QTest::newRow("projector") << manager << "FindProjector" << QVariant("hall-1") << Hall;
        QTest::newRow("no projector")
            << manager << "FindProjector" << QVariant("hall-2") << error("NoSuchProjector");
        QTest::newRow("device by link") << manager << "FindDevice" << QVariant("LINK") << Hall;
        QTest::newRow("no device")
            << manager << "FindDevice" << QVariant("/dev/null") << error("NoSuchProjector");
    }
    void callsFromOutsideAreChecked()
    {
        QFETCH(QString, path);
        QFETCH(QString, member);
        QFETCH(QVariant, argument);
        QFETCH(QString, answer);
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("by-id-link"));
        if (argument == QVariant("LINK")) {
            QVERIFY(QFile::link(m_sim.device(), link));
            argument = link;
        }
        const QString interface = path.contains(QLatin1String("/Projector/"))
                                      ? Iface
                                      : QLatin1String(ServiceNames::ManagerInterface);
        const QDBusMessage r =
            await(m_client.asyncCall(method(path, member, {argument}, interface)));
        if (r.type() == QDBusMessage::ErrorMessage) {
            QCOMPARE(r.errorName(), answer);
            QVERIFY2(r.errorMessage().size() < 300, qPrintable(r.errorMessage()));
        } else {
            QCOMPARE(r.arguments().value(0).value<QDBusObjectPath>().path(), answer);
        }
    }

    void introspectionMatchesTheRepository()
    {
        // Each element of the interface with its attributes, the comments left out.
        const auto members = [](const QByteArray &xml, const QString &interface) {
            QStringList found;
            bool inside = false;
            for (QXmlStreamReader r(xml); !r.atEnd();) {
                if (r.readNext() != QXmlStreamReader::StartElement) continue;
                QStringList attributes;
                for (const QXmlStreamAttribute &a : r.attributes())
                    attributes << a.name().toString() + u'=' + a.value().toString();
                attributes.sort();
                if (r.name() == QLatin1String("interface"))
                    inside = attributes.contains(QStringLiteral("name=") + interface);
                else if (inside)
                    found << r.name().toString() + u' ' + attributes.join(u' ');
            }
            return found;
        };
        for (const QString &path : {QString::fromLatin1(ServiceNames::ManagerPath), Hall}) {
            const QString interface =
                path == Hall ? Iface : QLatin1String(ServiceNames::ManagerInterface);
            QFile file(QStringLiteral(PANEL_DBUS_XML_DIR "/%1.xml").arg(interface));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QDBusMessage r =
                m_client.call(method(path, QStringLiteral("Introspect"), {},
                                     QStringLiteral("org.freedesktop.DBus.Introspectable")));
            const QStringList served =
                members(r.arguments().value(0).toString().toUtf8(), interface);
            QVERIFY(served.size() > 5);
            QCOMPARE(served, members(file.readAll(), interface));
        }
    }

    // Fifty clients at once and one killed mid-command: each line goes once, in the order the
    // service took them, each result to its own sender, the calls past the queue's bound are
    // refused at once, and nothing is lost for the others.
    void fiftyClientsAndOneKilled()
    {
        const QStringList commands{"status", "input", "lamp-hours", "mirror"};
        QHash<QString, QStringList> expected;
        for (const QString &c : commands) expected[c] = sendAnswer(await(send(m_client, c)));
        // The reading as data, as the simulator's defaults are.
        QCOMPARE(expected["status"], QStringList({"CR0", "80%0D", "answered", "power=standby"}));
        QCOMPARE(expected["lamp-hours"],
                 QStringList({"CR3", "0123%0D", "answered", "lamp_hours=123"}));
        QCOMPARE(expected["mirror"],
                 QStringList({"CR4", "11%0D", "answered", "orientation=normal"}));
        Watch watch(m_client, Hall);
        const qsizetype before = m_sim.lines().size();
        QProcess killed;
        killed.setProcessEnvironment(m_bus.environment());
        killed.start(QStringLiteral("dbus-send"),
                     {"--system", "--print-reply", "--reply-timeout=60000",
                      "--dest=" + QLatin1String(ServiceNames::BusName), Hall, Iface + ".Send",
                      "string:audio-mute-off"});
        QVERIFY(killed.waitForStarted());
        const QString killedName = QStringLiteral("dbus-send[%1]").arg(killed.processId());
        QTRY_VERIFY_WITH_TIMEOUT(!watch.lines.isEmpty(), Patience);
        QCOMPARE(watch.lines.first().client, killedName);
        QList<QDBusConnection> clients;
        QList<QDBusPendingCall> calls;
        for (int i = 0; i < 50; ++i) {
            clients.append(m_bus.connect(QStringLiteral("fifty-%1").arg(i)));
            calls.append(send(clients.last(), commands[i % 4]));
        }
        ::kill(pid_t(killed.processId()), SIGKILL);

        QSet<QString> answered;
        for (int i = 0; i < 50; ++i) {
            const QDBusMessage r = await(calls[i]);
            if (r.type() == QDBusMessage::ErrorMessage) {
                QCOMPARE(r.errorName(), QLatin1String(ServiceNames::ErrorPrefix) + "Busy");
                continue;
            }
            QCOMPARE(sendAnswer(r), expected[commands[i % 4]]);
            answered.insert(clients[i].baseService());
        }
        QVERIFY(answered.size() > 0 && answered.size() < 50);
        const qsizetype lines = 1 + answered.size();
        QTRY_COMPARE_WITH_TIMEOUT(watch.lines.size(), lines, Patience);
        const QByteArrayList sent = m_sim.lines().mid(before);
        QCOMPARE(sent.size(), lines);
        const QString self = QStringLiteral("[%1]").arg(QCoreApplication::applicationPid());
        QSet<QString> senders;
        for (qsizetype i = 1; i < lines; ++i) {
            const Watch::Line &l = watch.lines[i];
            QCOMPARE(l.line.chopped(1), sent[i]);
            QVERIFY(l.client.endsWith(self));
            senders.insert(l.sender);
        }
        QCOMPARE(senders, answered);
    }

    // A client that leaves the bus while its command waits: the command is never sent, and the
    // others' go on.
    void leavingClientsCommandIsNeverSent()
    {
        const QDBusConnection other = m_bus.connect(QStringLiteral("ahead"));
        QString leaving;
        qsizetype before = 0;
        {
            const QDBusConnection c = m_bus.connect(QStringLiteral("leaving"));
            // Known by name, a client's calls go straight to the projector's queue.
            for (const QDBusConnection &known : {other, c})
                QCOMPARE(await(send(known, QStringLiteral("status"))).arguments().value(0), "CR0");
            before = m_sim.lines().size();
            for (int i = 0; i < 8; ++i) send(i % 2 ? m_client : other, QStringLiteral("status"));
            QVERIFY(c.send(method(Hall, QStringLiteral("Send"), {QStringLiteral("C0D")})));
            read(c, Hall, QStringLiteral("Name")); // answered once the Send was taken
            leaving = c.name();
        }
        QDBusConnection::disconnectFromBus(leaving);
        QCOMPARE(await(send(other, QStringLiteral("status"))).arguments().value(0), "CR0");
        QCOMPARE(m_sim.lines().mid(before), QByteArrayList(9, "CR0"));
    }

    // The panel holds the projector's device through the service, as it does by itself when
    // projectord has it; the crontab's projector-ctl line on the same device works meanwhile.
    // Each command reaches the projector once, and the panel's log names the other's line.
    void panelAndCrontabShareTheLine()
    {
        DeviceLink link(m_sim.device(), QString());
        link.setThroughService(true);
        Panel panel(link, PreciseTimer::factory());
        QTemporaryDir dir;
        const QString logFile = dir.filePath(QStringLiteral("panel.log"));
        TrafficLog log(panel.exchange(), link);
        QVERIFY(log.open(logFile));
        QSignalSpy started(&panel.ports(), &PortControl::started);
        QVERIFY(panel.load() && panel.ports().isStarting());
        QVERIFY(started.wait(Patience));
        QVERIFY(link.isShared());
        const qsizetype before = m_sim.lines().size();
        QVERIFY(panel.activate(QLatin1StringView("Command44"))); // a status read
        QTRY_COMPARE_WITH_TIMEOUT(panel.exchange().display(Exchange::Display::Status),
                                  QStringLiteral(" Stand by"), Patience);

        QProcess ctl;
        ctl.setProcessEnvironment(m_bus.environment());
        ctl.start(QStringLiteral(PROJECTOR_CTL_PATH), {"--device", m_sim.device(), "power-off"});
        QVERIFY(ctl.waitForStarted(Patience));
        const QString client = QStringLiteral("projector-ctl[%1]").arg(ctl.processId());
        QTRY_VERIFY_WITH_TIMEOUT(ctl.state() == QProcess::NotRunning, Patience);
        QCOMPARE(ctl.exitCode(), 0);
        QCOMPARE(ctl.readAllStandardOutput(), QByteArray("C02   ACK CR \n"));
        QCOMPARE(m_sim.lines().mid(before), (QByteArrayList{"CR0", "C02"}));
        const QString other = QStringLiteral("port 1  other TX   C 0 2 CR  by ") + client;
        QTRY_VERIFY_WITH_TIMEOUT(trafficLogEntries(logFile).contains(other), Patience);
        QCOMPARE(trafficLogEntries(logFile).filter(QStringLiteral("other TX")).size(), 1);
        link.close();
    }

    // projectord restarts (an upgrade, systemctl restart) under the panel, which reached the
    // device through it: the panel says once that the service stopped, never takes the device
    // meanwhile, and goes on through the service when it is back; a click meanwhile is refused,
    // not kept for later. Another panel, the real program, stays too, or is killed by SIGKILL
    // as the service comes up.
    void restartUnderThePanel_data()
    {
        QTest::addColumn<bool>("killOther");
        QTest::newRow("other panel stays") << false;
        QTest::newRow("other panel killed") << true;
    }
    void restartUnderThePanel()
    {
        QFETCH(bool, killOther);
        const QString device = m_sim.device();
        DeviceLink link(device, QString());
        link.setThroughService(true);
        Panel panel(link, PreciseTimer::factory());
        QSignalSpy started(&panel.ports(), &PortControl::started);
        QVERIFY(panel.load() && started.wait(Patience) && link.isShared());
        QTemporaryDir dir;
        const QString otherLog = dir.filePath(QStringLiteral("other.log"));
        QProcessEnvironment env = m_bus.environment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
        env.insert(QStringLiteral("PROJECTOR_PANEL_PORT_LIST"), QString());
        QProcess other;
        other.setProcessEnvironment(env);
        other.start(QStringLiteral(PROJECTOR_PANEL_PATH), {"--com1", device, "--log", otherLog});
        const auto logged = [&](const QString &what) {
            return trafficLogEntries(otherLog).filter(what).size();
        };
        QTRY_COMPARE_WITH_TIMEOUT(logged(QStringLiteral("opened")), 1, Patience);

        QSignalSpy lost(&link, &SerialLink::lost), restored(&link, &SerialLink::restored);
        QSignalSpy refused(&panel.exchange(), &Exchange::sendFailed);
        const qsizetype before = m_sim.lines().size();
        QProcess caught; // a crontab's line that the stop catches half-way: it waits, and goes on
        caught.setProcessEnvironment(m_bus.environment());
        const QStringList inputs(12, QStringLiteral("input"));
        caught.start(QStringLiteral(PROJECTOR_CTL_PATH), QStringList{"--device", device} + inputs);
        QTRY_VERIFY_WITH_TIMEOUT(m_sim.lines().mid(before).contains("CR1"), Patience);
        m_service->stop();
        QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, Patience);
        QCOMPARE(lost.first().first().value<LinkFailure>().cause, LinkFailure::Cause::ServiceGone);
        QVERIFY(panel.activate(QLatin1StringView("Command44")) && refused.size() == 1);
        QCOMPARE(refused.first().first().value<LinkFailure>().cause,
                 LinkFailure::Cause::ServiceGone);
        QVERIFY(m_service->start(section(QStringLiteral("hall-1"), device) +
                                 section(QStringLiteral("absent"), absentDevice())));
        if (killOther) ::kill(pid_t(other.processId()), SIGKILL);
        QTRY_VERIFY_WITH_TIMEOUT(read(m_client, Hall, QStringLiteral("Online")).toBool(), Patience);
        QTRY_COMPARE_WITH_TIMEOUT(restored.size(), 1, Patience);
        if (!killOther) {
            QTRY_COMPARE_WITH_TIMEOUT(logged(QStringLiteral("restored")), 1, Patience);
            QCOMPARE(logged(QStringLiteral("has stopped")), 1);
        }

        QProcess ctl; // the crontab's line
        ctl.setProcessEnvironment(m_bus.environment());
        ctl.start(QStringLiteral(PROJECTOR_CTL_PATH), {"--device", device, "status"});
        QVERIFY(ctl.waitForFinished(Patience) && ctl.exitCode() == 0);
        QVERIFY(panel.activate(QLatin1StringView("Command44")));
        QVERIFY(caught.waitForFinished(3 * Patience) && caught.exitCode() == 0);
        QCOMPARE(caught.readAllStandardOutput().count('\n'), inputs.size());
        QCOMPARE(caught.readAllStandardError().count("waits up to"), 1);
        // The crontab's status read and the click, each once; the refused click never.
        QTRY_COMPARE_WITH_TIMEOUT(m_sim.lines().mid(before).count("CR0"), 2, Patience);
        const QByteArrayList sent = m_sim.lines().mid(before);
        QCOMPARE(sent.count("CR0") + sent.count("CR1"), sent.size());
        QCOMPARE(lost.size(), 1);
        QCOMPARE(refused.size(), 1);
        link.close();
        other.terminate();
        QTRY_VERIFY_WITH_TIMEOUT(other.state() == QProcess::NotRunning, Patience);
        QCOMPARE(other.exitStatus() == QProcess::NormalExit && other.exitCode() == 0, !killOther);
    }

    // A client's own socket: each packet is a line, written at once; a packet longer than any
    // line closes it, and nothing of it is written.
    void ownLineTakesPackets()
    {
        const QDBusMessage r = m_client.call(method(Hall, QStringLiteral("OpenLine")));
        QCOMPARE(r.type(), QDBusMessage::ReplyMessage);
        const auto socket = qdbus_cast<QDBusUnixFileDescriptor>(r.arguments().value(0));
        const int fd = socket.fileDescriptor();
        QVERIFY(fd >= 0);
        const qsizetype before = m_sim.lines().size();
        QCOMPARE(::send(fd, "CR1\r", 4, MSG_NOSIGNAL), 4);
        QTRY_COMPARE_WITH_TIMEOUT(m_sim.lines().mid(before), QByteArrayList{"CR1"}, Patience);
        const QByteArray tooLong(65, 'C'); // a line is at most 64 bytes
        QCOMPARE(::send(fd, tooLong.constData(), tooLong.size(), MSG_NOSIGNAL), tooLong.size());
        pollfd closed{fd, POLLIN, 0};
        QCOMPARE(::poll(&closed, 1, Patience), 1);
        QCOMPARE(::recv(fd, nullptr, 0, MSG_DONTWAIT), 0);
        QCOMPARE(m_sim.lines().mid(before), QByteArrayList{"CR1"});
    }

    // A missing device and a device server that never answers do not hold up a third
    // projector's commands.
    void troubleElsewhereDelaysNothing()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        QList<QTcpSocket *> held;
        connect(&silent, &QTcpServer::newConnection, this,
                [&] { held.append(silent.nextPendingConnection()); });
        SimProcess sim;
        QVERIFY(sim.start({}));
        DbusDaemon bus;
        QVERIFY2(bus.start(), qPrintable(bus.errors()));
        ProjectordProcess service(bus);
        QVERIFY(service.start(
            section(QStringLiteral("absent"), absentDevice()) +
            section(QStringLiteral("silent"),
                    QStringLiteral("rfc2217://127.0.0.1:%1").arg(silent.serverPort())) +
            section(QStringLiteral("hall-1"), sim.device())));
        QDBusConnection client = bus.connect(QStringLiteral("trouble"));
        QTRY_VERIFY_WITH_TIMEOUT(read(client, Hall, QStringLiteral("Online")).toBool(), Patience);
        QTRY_VERIFY_WITH_TIMEOUT(!held.isEmpty(), Patience);
        for (int i = 0; i < 3; ++i) {
            QElapsedTimer clock;
            clock.start();
            QVERIFY(await(send(client, QStringLiteral("status"))).arguments().value(2).toBool());
            QVERIFY2(clock.elapsed() < 500 + 300, qPrintable(QString::number(clock.elapsed())));
        }
        QVERIFY(!read(client, ServiceNames::projectorPath(QStringLiteral("silent")),
                      QStringLiteral("Online"))
                     .toBool());
    }

    void deviceGoneAndBack()
    {
        QTemporaryDir dir;
        const QString device = dir.filePath(QStringLiteral("projector"));
        SimProcess sim;
        QVERIFY(sim.start({"--link", device}));
        DbusDaemon bus;
        QVERIFY2(bus.start(), qPrintable(bus.errors()));
        ProjectordProcess service(bus);
        QVERIFY(service.start(section(QStringLiteral("hall-1"), device)));
        QDBusConnection client = bus.connect(QStringLiteral("replug"));
        Watch watch(client, Hall);
        QTRY_VERIFY_WITH_TIMEOUT(read(client, Hall, QStringLiteral("Online")).toBool(), Patience);
        // The last change announced, whether or not the start's came before the watch.
        const auto online = [&] { return watch.changes.last().value(QStringLiteral("Online")); };

        sim.stop(); // its pseudo-terminal and the link to it go away
        QTRY_VERIFY_WITH_TIMEOUT(!watch.changes.isEmpty() && online() == false, Patience);
        QVERIFY(!watch.changes.last().value(QStringLiteral("Failure")).toString().isEmpty());
        SimProcess back;
        QVERIFY(back.start({"--link", device}));
        QTRY_VERIFY_WITH_TIMEOUT(online() == true, 4 * Patience);
        QCOMPARE(await(send(client, QStringLiteral("status"))).arguments().value(0), "CR0");
        QCOMPARE(back.lines(), QByteArrayList{"CR0"});
        // Stopped, it no longer tells the programs that it runs.
        QVERIFY(QFileInfo(runDirectory(bus)).isDir());
        service.stop();
        QVERIFY(!QFileInfo::exists(runDirectory(bus)));
    }

    // A reload adds, restarts and removes projectors; the one it leaves alone keeps its PJLink
    // connection and its client's own line, and loses no command.
    void reloadChangesOnlyWhatChanged()
    {
        SimProcess kept, changed, removed, added;
        for (SimProcess *sim : {&kept, &changed, &removed, &added}) QVERIFY(sim->start({}));
        DbusDaemon bus;
        QVERIFY2(bus.start(), qPrintable(bus.errors()));
        ProjectordProcess service(bus);
        const quint16 port = freePort();
        const QByteArray keptSection = section(QStringLiteral("hall-1"), kept.device()) +
                                       "pjlink = 127.0.0.1:" + QByteArray::number(port) + '\n';
        QVERIFY(service.start(keptSection + section(QStringLiteral("changed"), changed.device()) +
                              section(QStringLiteral("removed"), removed.device())));
        QDBusConnection client = bus.connect(QStringLiteral("reload"));
        const QString changedPath = ServiceNames::projectorPath(QStringLiteral("changed"));
        const QString removedPath = ServiceNames::projectorPath(QStringLiteral("removed"));
        const QString addedPath = ServiceNames::projectorPath(QStringLiteral("added"));
        Watch watch(client, changedPath);
        Comings comings(client);
        for (const QString &path : {Hall, changedPath, removedPath})
            QTRY_VERIFY_WITH_TIMEOUT(read(client, path, QStringLiteral("Online")).toBool(),
                                     Patience);

        QTcpSocket pjlink;
        pjlink.connectToHost(QHostAddress::LocalHost, port);
        const auto answer = [&] {
            QByteArray line;
            if (!QTest::qWaitFor([&] { return (line += pjlink.readAll()).endsWith('\r'); },
                                 Patience))
                qWarning() << service.errors();
            return line;
        };
        const auto askPower = [&] {
            pjlink.write("%1POWR ?\r");
            return answer();
        };
        QCOMPARE(answer(), QByteArray("PJLINK 0\r"));
        QCOMPARE(askPower(), QByteArray("%1POWR=0\r"));
        const QDBusMessage opened = client.call(method(Hall, QStringLiteral("OpenLine")));
        const int own =
            qdbus_cast<QDBusUnixFileDescriptor>(opened.arguments().value(0)).fileDescriptor();
        QVERIFY(own >= 0);
        // Commands still waiting for the projector that goes: each is answered, none hangs.
        QList<QDBusPendingCall> waiting;
        for (int i = 0; i < 4; ++i) waiting << send(client, QStringLiteral("status"), removedPath);
        // Once the first is answered, the service has the others: they came before.
        QCOMPARE(await(waiting.takeFirst()).type(), QDBusMessage::ReplyMessage);

        QFile config(service.configPath());
        QVERIFY(config.open(QIODevice::WriteOnly | QIODevice::Truncate));
        config.write("; moved and commented: still the same projector\n" +
                     section(QStringLiteral("added"), added.device()) + keptSection +
                     section(QStringLiteral("changed"), changed.device()) + "speed = 9600\n");
        config.close();
        service.signal(SIGHUP);
        QTRY_VERIFY_WITH_TIMEOUT(
            service.errors().contains("1 added, 1 removed, 1 restarted, 1 unchanged"), Patience);

        for (const QDBusPendingCall &call : waiting) {
            const QDBusMessage r = await(call);
            QVERIFY2(r.type() == QDBusMessage::ReplyMessage ||
                         r.errorMessage().contains(QLatin1String("removed from projectord")),
                     qPrintable(r.errorMessage()));
        }
        QCOMPARE(askPower(), QByteArray("%1POWR=0\r")); // the same socket
        const qsizetype before = kept.lines().size();
        QCOMPARE(::send(own, "CR1\r", 4, MSG_NOSIGNAL), 4);
        QTRY_COMPARE_WITH_TIMEOUT(kept.lines().mid(before), QByteArrayList{"CR1"}, Patience);
        ::close(own);

        QTRY_VERIFY_WITH_TIMEOUT(read(client, addedPath, QStringLiteral("Online")).toBool(),
                                 Patience);
        QCOMPARE(comings.seen, (QStringList{u'-' + removedPath, u'+' + addedPath}));
        QCOMPARE(read(client, changedPath, QStringLiteral("LineSettings")), QVariant("9600,N,8,1"));
        const auto online = [&] {
            QList<bool> seen;
            for (const QVariantMap &c : watch.changes)
                seen << c.value(QStringLiteral("Online")).toBool();
            return seen;
        };
        QTRY_VERIFY_WITH_TIMEOUT(online().size() >= 2 && online().mid(online().size() - 2) ==
                                                             (QList<bool>{false, true}),
                                 Patience);
        const QDBusMessage listed = client.call(
            method(QLatin1String(ServiceNames::ManagerPath), QStringLiteral("ListProjectors"), {},
                   QLatin1String(ServiceNames::ManagerInterface)));
        QCOMPARE(qdbus_cast<QList<QDBusObjectPath>>(listed.arguments().value(0)).size(), 3);
    }

    void permissionRefused()
    {
        DbusDaemon bus(DbusDaemon::Sender::Outsider);
        QVERIFY2(bus.start(), qPrintable(bus.errors()));
        ProjectordProcess service(bus);
        QVERIFY(service.start(section(QStringLiteral("hall-1"), absentDevice())));
        QDBusConnection client = bus.connect(QStringLiteral("outsider"));
        const QDBusMessage r = await(send(client, QStringLiteral("status")));
        QCOMPARE(r.errorName(), QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"));
        QCOMPARE(read(client, Hall, QStringLiteral("Name")), QVariant("hall-1"));
    }

    // What ends the service and what does not. Whatever ends it, it says why in one line and
    // gives its line back: out of exclusive mode, which outlives a killed holder on a
    // pseudo-terminal whose other end stays open.
    void endings_data()
    {
        QTest::addColumn<int>("signal");      // 0: the bus daemon is killed instead
        QTest::addColumn<int>("exitCode");    // -1: still running
        QTest::addColumn<QByteArray>("more"); // added to the file before the signal
        QTest::addColumn<QString>("line");
        QTest::newRow("SIGHUP") << int(SIGHUP) << -1 << QByteArray("; a comment\n")
                                << ".conf: 1 unchanged";
        // A mistake changes nothing, and the journal says where it is.
        QTest::newRow("SIGHUP, a mistake") << int(SIGHUP) << -1 << QByteArray("speed = 4800\n")
                                           << ".conf:4: speed is 19200 or 9600";
        QTest::newRow("SIGTERM") << int(SIGTERM) << 0 << QByteArray() << "stopping on SIGTERM";
        QTest::newRow("SIGINT") << int(SIGINT) << 0 << QByteArray() << "stopping on SIGINT";
        QTest::newRow("bus killed")
            << 0 << 3 << QByteArray()
            << "lost the connection to the system bus: stopping with status 3, to be started again";
    }
    void endings()
    {
        QFETCH(int, signal);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, more);
        QFETCH(QString, line);
        // As root the open succeeds whatever the mode; TIOCGEXCL tells it either way.
        const auto exclusive = [](const QString &device) {
            const int fd = ::open(QFile::encodeName(device).constData(),
                                  O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0) return errno == EBUSY;
            int on = 0;
            const bool held = ::ioctl(fd, TIOCGEXCL, &on) == 0 && on != 0;
            ::close(fd);
            return held;
        };
        SimProcess sim;
        QVERIFY(sim.start({}));
        DbusDaemon bus;
        QVERIFY2(bus.start(), qPrintable(bus.errors()));
        ProjectordProcess service(bus);
        QVERIFY(service.start(section(QStringLiteral("hall-1"), sim.device())));
        QDBusConnection client = bus.connect(QStringLiteral("endings"));
        QTRY_VERIFY_WITH_TIMEOUT(read(client, Hall, QStringLiteral("Online")).toBool(), Patience);
        QVERIFY(exclusive(sim.device()));

        QFile config(service.configPath());
        QVERIFY(config.open(QIODevice::Append) && config.write(more) == more.size());
        config.close();
        if (signal != 0)
            service.signal(signal);
        else
            bus.kill();
        if (exitCode < 0) {
            QTRY_VERIFY_WITH_TIMEOUT(service.errors().contains(line.toUtf8()), Patience);
            QCOMPARE(await(send(client, QStringLiteral("status"))).arguments().value(0), "CR0");
            QVERIFY(exclusive(sim.device()));
            return;
        }
        QVERIFY(service.waitForExit(Patience));
        QCOMPARE(service.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(service.process().exitCode(), exitCode);
        const QByteArray log = service.errors();
        QVERIFY2(log.contains("serving 1 projector on the system bus"), log.constData());
        QVERIFY2(log.endsWith("\n" + line.toUtf8() + '\n') && !log.contains("offline"),
                 log.constData());
        QVERIFY(!exclusive(sim.device()));
    }

    // A few lines of its own for each client: the others still get theirs.
    void ownLinesPerClient()
    {
        QDBusConnection greedy = m_bus.connect(QStringLiteral("greedy"));
        QDBusConnection other = m_bus.connect(QStringLiteral("other"));
        QList<QDBusMessage> held;
        for (int i = 0; i < 4; ++i) {
            held.append(greedy.call(method(Hall, QStringLiteral("OpenLine"))));
            QCOMPARE(held.last().type(), QDBusMessage::ReplyMessage);
        }
        const QDBusMessage refused = greedy.call(method(Hall, QStringLiteral("OpenLine")));
        QCOMPARE(refused.errorName(), QLatin1String(ServiceNames::ErrorPrefix) + "Busy");
        QVERIFY2(refused.errorMessage().contains(QLatin1String("4 lines")),
                 qPrintable(refused.errorMessage()));
        QCOMPARE(other.call(method(Hall, QStringLiteral("OpenLine"))).type(),
                 QDBusMessage::ReplyMessage);
    }
};

QTEST_GUILESS_MAIN(ProjectordTest)
#include "tst_projectord.moc"
