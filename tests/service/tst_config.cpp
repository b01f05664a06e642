// SPDX-License-Identifier: MIT
// projectord's configuration: what it takes, and the line and words of what it refuses.
#include "ConfigCheck.h"
#include "Pty.h"
#include "ReloadPlan.h"
#include "ServiceConfig.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

class ConfigTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    Pty m_pty; // a /dev/pts/N, and a link to it

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("line");         // of the error; -1: none
        QTest::addColumn<QString>("expected"); // the message's fragment, or what was read
        // clang-format off
        QTest::newRow("empty") << QByteArray("; nothing yet\n") << -1 << "";
        QTest::newRow("full") << QByteArray("# projectors\r\n[hall-1]\r\n  device = /dev/ttyUSB0   ; USB\r\nspeed=9600\npoll = 0 #never\n\n[B ü 2]\ndevice=rfc2217://[::1]:2000\n")
            << -1 << "hall-1 /dev/ttyUSB0 9600 0 2;B ü 2 rfc2217://[::1]:2000 19200 30 7";
        QTest::newRow("hash in a value") << QByteArray("[a]\ndevice=/dev/x#1\n") << -1 << "a /dev/x#1 19200 30 1";
        QTest::newRow("key outside") << QByteArray("\ndevice=/dev/x\n") << 2 << "outside a section";
        QTest::newRow("no equals") << QByteArray("[a]\ndevice /dev/x\n") << 2 << "KEY = VALUE";
        QTest::newRow("unknown key") << QByteArray("[a]\ndevice=/dev/x\nsped=9600\n") << 3 << "unknown key \"sped\"";
        QTest::newRow("key twice") << QByteArray("[a]\ndevice=/dev/x\npoll=1\npoll=2\n") << 4 << "on line 3";
        QTest::newRow("no device") << QByteArray("[a]\npoll=5\n[b]\ndevice=/dev/x\n") << 1 << "[a] has no device";
        QTest::newRow("last has no device") << QByteArray("[a]\ndevice=/dev/x\n[b]\n") << 3 << "[b] has no device";
        QTest::newRow("empty device") << QByteArray("[a]\ndevice= ;\n") << 2 << "no value";
        QTest::newRow("section twice") << QByteArray("[a]\ndevice=/dev/x\n[a]\n") << 3 << "on line 1";
        QTest::newRow("unclosed") << QByteArray("[a\n") << 1 << "ends with ']'";
        QTest::newRow("64 characters, some beyond 16 bits") << "[" + QByteArray(60, 'x') + "\xf0\x9f\x93\xbd\xf0\x9f\x93\xbd\xc3\xbc\xc3\xbc]\ndevice=/dev/x\n" << -1 << QString(60, u'x') + "\U0001F4FD\U0001F4FDüü /dev/x 19200 30 1";
        QTest::newRow("long name") << "[" + QByteArray(65, 'x') + "]\n" << 1 << "1 to 64";
        QTest::newRow("bracket in name") << QByteArray("[a]b]\n") << 1 << "']'";
        QTest::newRow("blank around name") << QByteArray("[ a]\n") << 1 << "blank";
        QTest::newRow("control char") << QByteArray("[a\x01]\n") << 1 << "control";
        QTest::newRow("not UTF-8") << QByteArray("[a]\ndevice=/dev/\xff\n") << 2 << "UTF-8";
        QTest::newRow("service device") << QByteArray("[a]\ndevice=service:b\n") << 2 << "not a line";
        QTest::newRow("bad address") << QByteArray("[a]\ndevice=socket://host\n") << 2 << "no port number";
        QTest::newRow("same device") << QByteArray("[a]\ndevice=/dev/x\n[b]\n\ndevice = /dev/x\n") << 5 << "device /dev/x is the same as [a]'s device /dev/x, at p.conf:2; one device serves one projector";
        QTest::newRow("same device, not there yet") << QByteArray("[a]\ndevice=/nonexistent/x/../p\n[b]\ndevice=/nonexistent//p\n") << 4 << "[a]'s device /nonexistent/x/../p, at p.conf:2";
        QTest::newRow("same device server") << QByteArray("[a]\ndevice=socket://Beamer:4001\n[b]\ndevice=rfc2217://beamer:4001\n") << 4 << "[a]'s device socket://Beamer:4001, at p.conf:2";
        QTest::newRow("speed") << QByteArray("[a]\ndevice=/dev/x\nspeed=38400\n") << 3 << "19200 or 9600";
        QTest::newRow("poll negative") << QByteArray("[a]\ndevice=/dev/x\npoll=-1\n") << 3 << "0 to 86400";
        QTest::newRow("poll fraction") << QByteArray("[a]\ndevice=/dev/x\npoll=1.5\n") << 3 << "not \"1.5\"";
        QTest::newRow("pjlink host name") << QByteArray("[a]\ndevice=/dev/x\npjlink=localhost:4352\n") << 3 << "ADDRESS:PORT";
        QTest::newRow("pjlink port 0") << QByteArray("[a]\ndevice=/dev/x\npjlink=127.0.0.1:0\n") << 3 << "ADDRESS:PORT";
        QTest::newRow("pjlink port twice") << QByteArray("[a]\ndevice=/dev/x\npjlink=0.0.0.0:4352\n[b]\ndevice=/dev/y\npjlink=[::1]:4352\n") << 6 << "port 4352 is [a]'s already, on line 3";
        QTest::newRow("pjlink password long") << QByteArray("[a]\ndevice=/dev/x\npjlink=[::]:1\npjlink-password=123456789012345678901234567890123\n") << 4 << "at most 32 bytes";
        QTest::newRow("pjlink-name alone") << QByteArray("[a]\ndevice=/dev/x\npjlink-name=A\n[b]\ndevice=/dev/y\n") << 3 << "needs pjlink";
        QTest::newRow("pjlink-inf1 8-bit") << QByteArray("[a]\ndevice=/dev/x\npjlink=127.0.0.1:1\npjlink-inf1=\xc3\xbc\n") << 4 << "printable ASCII";
        // The broker, read as "[mqtt] URL USER PASSWORD TOPIC DISCOVERY CA LINE", "-" for none.
        QTest::newRow("mqtt") << QByteArray("[a]\ndevice=/dev/x\n[mqtt]\nbroker = MQTTS://Broker.example.net ; site\nusername=hall\npassword=pw\ntopic=site/hall 1\ndiscovery=\ntls-ca=EXAMPLE\n")
            << -1 << "a /dev/x 19200 30 1;[mqtt] mqtts://Broker.example.net:8883 hall pw site/hall 1 - EXAMPLE 3";
        QTest::newRow("mqtt defaults") << QByteArray("[mqtt]\nbroker=mqtt://[::1]\n[a/b+#]\ndevice=/dev/x\n") << 3 << "one topic level";
        QTest::newRow("mqtt defaults, ports") << QByteArray("[mqtt]\nbroker=mqtt://10.0.0.1:8883\n") << -1 << "[mqtt] mqtt://10.0.0.1:8883 - - projectord/THISHOST homeassistant - 1";
        QTest::newRow("mqtt IPv6") << QByteArray("[mqtt]\nbroker=mqtts://[fe80::1]:1\ndiscovery=ha/x\n") << -1 << "[mqtt] mqtts://[fe80::1]:1 - - projectord/THISHOST ha/x - 1";
        QTest::newRow("slash in a name without mqtt") << QByteArray("[a/b]\ndevice=/dev/x\n") << -1 << "a/b /dev/x 19200 30 1";
        QTest::newRow("slash in a name, mqtt after") << QByteArray("[a/b]\ndevice=/dev/x\n[mqtt]\nbroker=mqtt://h\n") << 1 << "with [mqtt], a projector's name is one topic level: no '/', '+' or '#'";
        QTest::newRow("mqtt, no broker") << QByteArray("[a]\ndevice=/dev/x\n[mqtt]\ntopic=t\n") << 3 << "[mqtt] has no broker";
        QTest::newRow("mqtt twice") << QByteArray("[mqtt]\nbroker=mqtt://a\n[mqtt]\n") << 3 << "[mqtt] is there already, on line 1";
        QTest::newRow("MQTT as a projector") << QByteArray("[MQTT]\ndevice=/dev/x\n") << 1 << "[mqtt], in lower case; no projector may take";
        QTest::newRow("mqtt, a projector's key") << QByteArray("[mqtt]\nbroker=mqtt://a\ndevice=/dev/x\n") << 3 << "unknown key \"device\" (broker, username, password, tls-ca, topic, discovery)";
        QTest::newRow("broker outside mqtt") << QByteArray("[a]\ndevice=/dev/x\nbroker=mqtt://a\n") << 3 << "unknown key \"broker\"";
        QTest::newRow("broker scheme") << QByteArray("[mqtt]\nbroker=tcp://a\n") << 2 << "broker is mqtt://HOST[:PORT] or mqtts://HOST[:PORT], not \"tcp://a\"";
        QTest::newRow("broker no scheme") << QByteArray("[mqtt]\nbroker=a:1883\n") << 2 << "not \"a:1883\"";
        QTest::newRow("broker port 0") << QByteArray("[mqtt]\nbroker=mqtt://a:0\n") << 2 << "mqtt://HOST[:PORT]";
        QTest::newRow("broker port 65536") << QByteArray("[mqtt]\nbroker=mqtt://a:65536\n") << 2 << "mqtt://HOST[:PORT]";
        QTest::newRow("broker empty port") << QByteArray("[mqtt]\nbroker=mqtt://a:\n") << 2 << "mqtt://HOST[:PORT]";
        QTest::newRow("broker path") << QByteArray("[mqtt]\nbroker=mqtt://a/b\n") << 2 << "mqtt://HOST[:PORT]";
        QTest::newRow("broker IPv6 unbracketed") << QByteArray("[mqtt]\nbroker=mqtt://::1\n") << 2 << "mqtt://HOST[:PORT]";
        QTest::newRow("broker no host") << QByteArray("[mqtt]\nbroker=mqtts://:8883\n") << 2 << "mqtt://HOST[:PORT]";
        QTest::newRow("broker with a password") << QByteArray("[mqtt]\nbroker=mqtt://u:secret@a\n") << 2 << "broker takes no user or password: give them as username and password";
        QTest::newRow("password without user") << QByteArray("[mqtt]\nbroker=mqtt://a\n\npassword=secret\n") << 4 << "password needs username in [mqtt]";
        QTest::newRow("password empty") << QByteArray("[mqtt]\nbroker=mqtt://a\nusername=u\npassword=\n") << 4 << "password is empty";
        QTest::newRow("tls-ca, plain broker") << QByteArray("[mqtt]\ntls-ca=EXAMPLE\nbroker=mqtt://a\n") << 2 << "tls-ca needs an mqtts:// broker";
        QTest::newRow("tls-ca missing") << QByteArray("[mqtt]\nbroker=mqtts://a\ntls-ca=/nonexistent/ca.pem\n") << 3 << "tls-ca /nonexistent/ca.pem: No such file or directory";
        QTest::newRow("tls-ca folder") << QByteArray("[mqtt]\nbroker=mqtts://a\ntls-ca=/\n") << 3 << "tls-ca / is not a file";
        QTest::newRow("tls-ca relative") << QByteArray("[mqtt]\nbroker=mqtts://a\ntls-ca=ca.pem\n") << 3 << "absolute path";
        QTest::newRow("topic wildcard +") << QByteArray("[mqtt]\nbroker=mqtt://a\ntopic=a/+/b\n") << 3 << "topic may not hold the wildcards + and #";
        QTest::newRow("discovery wildcard #") << QByteArray("[mqtt]\nbroker=mqtt://a\ndiscovery=ha/#\n") << 3 << "discovery may not hold the wildcards";
        QTest::newRow("topic leading /") << QByteArray("[mqtt]\nbroker=mqtt://a\ntopic=/a\n") << 3 << "may not begin or end with '/'";
        QTest::newRow("discovery trailing /") << QByteArray("[mqtt]\nbroker=mqtt://a\ndiscovery=ha/\n") << 3 << "discovery may not begin or end with '/'";
        QTest::newRow("topic empty level") << QByteArray("[mqtt]\nbroker=mqtt://a\ntopic=a//b\n") << 3 << "empty level";
        QTest::newRow("topic $") << QByteArray("[mqtt]\nbroker=mqtt://a\ntopic=$SYS/a\n") << 3 << "may not begin with $";
        QTest::newRow("topic empty") << QByteArray("[mqtt]\nbroker=mqtt://a\ntopic= ; none\n") << 3 << "topic is empty";
        QTest::newRow("topic 201 bytes") << "[mqtt]\nbroker=mqtt://a\ntopic=" + QByteArray(199, 'x') + "\xc3\xbc\n" << 3 << "at most 200 bytes";
        // clang-format on

        // One file however it is named: through a symbolic link, or a folder and "..".
        const QString dir = m_dir.path();
        QVERIFY(m_pty.ok() && QDir(dir).mkpath(QStringLiteral("sub")));
        QFile::link(m_pty.device(), dir + QStringLiteral("/pts"));
        const auto twice = [](const QString &first, const QString &second) {
            return QStringLiteral("[a]\ndevice=%1\n[b]\ndevice=%2\n").arg(first, second).toUtf8();
        };
        QTest::newRow("same device through a link")
            << twice(m_pty.device(), dir + "/pts") << 4
            << QStringLiteral("device %1/pts is the same as [a]'s device %2, at p.conf:2")
                   .arg(dir, m_pty.device());
        QTest::newRow("same device through ..")
            << twice(dir + "/sub", dir + "/sub/../sub/") << 4
            << QStringLiteral("[a]'s device %1/sub, at p.conf:2").arg(dir);
        QTest::newRow("two devices")
            << twice(dir + "/sub", dir + "/pts") << -1
            << QStringLiteral("a %1/sub 19200 30 1;b %1/pts 19200 30 3").arg(dir);

        // The example installed as /etc/projectord.conf: the service must start on it as it is,
        // and on its projector once that is uncommented.
        QFile example(QStringLiteral(PANEL_EXAMPLE_CONFIG));
        QVERIFY(example.open(QIODevice::ReadOnly));
        const QByteArray installed = example.readAll();
        QTest::newRow("installed example") << installed << -1 << "";
        const QByteArray enabled =
            QString::fromUtf8(installed)
                .replace(QRegularExpression(QStringLiteral("^#(?=\\S)"),
                                            QRegularExpression::MultilineOption),
                         QString())
                .toUtf8();
        const auto header = enabled.left(enabled.indexOf("[hall-1]")).count('\n') + 1;
        const auto mqtt = enabled.left(enabled.lastIndexOf("[mqtt]")).count('\n') + 1;
        QTest::newRow("installed example's projector and broker")
            << enabled << -1
            << QStringLiteral("hall-1 /dev/serial/by-id/usb-Example_USB_Serial_A1B2C3-if00-port0 "
                              "19200 30 %1;[mqtt] mqtts://broker.example.net:8883 hall-host - "
                              "projectord/hall-host homeassistant - %2")
                   .arg(header)
                   .arg(mqtt);
    }
    void parse()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, line);
        QFETCH(QString, expected);
        const QString example = QStringLiteral(PANEL_EXAMPLE_CONFIG);
        text.replace("EXAMPLE", example.toUtf8());
        expected.replace(QLatin1String("EXAMPLE"), example)
            .replace(QLatin1String("THISHOST"), QSysInfo::machineHostName());
        const auto parsed = ServiceConfig::parse(text, QStringLiteral("p.conf"));
        if (line >= 0) {
            QVERIFY(std::holds_alternative<ConfigError>(parsed));
            const QString message = std::get<ConfigError>(parsed).text();
            QVERIFY2(message.startsWith(QStringLiteral("p.conf:%1: ").arg(line)),
                     qPrintable(message));
            QVERIFY2(message.contains(expected), qPrintable(message));
            QVERIFY2(!message.contains(QLatin1String("secret")), qPrintable(message));
            return;
        }
        if (const auto *error = std::get_if<ConfigError>(&parsed)) QFAIL(qPrintable(error->text()));
        QStringList read;
        for (const ProjectorConfig &p : std::get<ServiceConfig>(parsed).projectors)
            read << QStringLiteral("%1 %2 %3 %4 %5")
                        .arg(p.name, p.device)
                        .arg(p.settings.baud)
                        .arg(p.poll.count())
                        .arg(p.line);
        if (const auto &m = std::get<ServiceConfig>(parsed).mqtt) {
            const auto shown = [](const QString &s) {
                return s.isEmpty() ? QStringLiteral("-") : s;
            };
            read << QStringLiteral("[mqtt] %1 %2 %3 %4 %5 %6 %7")
                        .arg(m->brokerUrl(), shown(m->username), shown(m->password), m->topic,
                             shown(m->discovery), shown(m->caFile))
                        .arg(m->line);
        }
        QCOMPARE(read.join(u';'), expected);
    }
    // Only a regular file is read, and one holding a password only while others cannot read
    // it, whoever runs the service. FILE stands for the file's name.
    void load_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("error"); // empty: loaded
        QTest::newRow("0600") << "file" << 0600 << "";
        QTest::newRow("0640") << "file" << 0640 << "";
        // root loading root:projectord 0640.
        QTest::newRow("0640, another group") << "file of another group" << 0640 << "";
        QTest::newRow("0604") << "file" << 0604 << "others can read it (mode 0604)";
        QTest::newRow("0644, and the advice")
            << "file" << 0644
            << "FILE: holds a PJLink password but others can read it (mode 0644); make it "
               "readable by the service only: chown root:projectord FILE; chmod 640 FILE";
        QTest::newRow("FIFO") << "fifo" << 0600 << "FILE: not a regular file but a FIFO";
        QTest::newRow("directory") << "dir" << 0700 << "FILE: not a regular file but a directory";
        QTest::newRow("missing") << "missing" << 0
                                 << "FILE: cannot read: No such file or directory";
    }
    void load()
    {
        QFETCH(QString, kind);
        QFETCH(int, mode);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.conf"));
        const QByteArray name = QFile::encodeName(path);
        if (kind.startsWith(QLatin1String("file"))) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[hall 1]\ndevice=/dev/x\npjlink=127.0.0.1:4352\npjlink-password=secret\n");
        } else if (kind == QLatin1String("fifo")) {
            QVERIFY(::mkfifo(name.constData(), 0600) == 0);
        } else if (kind == QLatin1String("dir")) {
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("p.conf")));
        }
        if (mode != 0) QVERIFY(::chmod(name.constData(), mode_t(mode)) == 0);
        if (kind.endsWith(QLatin1String("group")) &&
            ::chown(name.constData(), uid_t(-1), ::getegid() + 1) != 0)
            QSKIP("cannot give the file another group here");

        const auto loaded = ServiceConfig::load(path);
        const auto *refused = std::get_if<ConfigError>(&loaded);
        const QString why = refused ? refused->text() : QString();
        QVERIFY2(error.isEmpty()
                     ? !refused
                     : why.contains(QString(error).replace(QLatin1String("FILE"), path)),
                 qPrintable(why));
        QVERIFY(!why.contains(QLatin1String("secret")));
        if (refused) return;
        const PjlinkConfig p = std::get<ServiceConfig>(loaded).projectors.value(0).pjlink;
        QCOMPARE(p.address + ' ' + QString::number(p.port) + ' ' + p.password + ' ' + p.name,
                 "127.0.0.1 4352 secret hall 1");
    }

    // projectord --check: every problem by line, the file's own first, then the count of a
    // file the service would run on. FILE stands for the file, DIR for a folder that is there.
    void check_data()
    {
        QTest::addColumn<QByteArray>("text"); // null: no file
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("said");
        QTest::addColumn<bool>("usable");
        const QString missing =
            "device DIR/ttyUSB0: No such file or directory; the service waits for it to appear";
        // clang-format off
        QTest::newRow("two projectors") << QByteArray("[a]\ndevice=DIR\n[b]\ndevice=socket://127.0.0.1:4001\n") << 0600 << QStringList{"FILE: 2 projectors"} << true;
        QTest::newRow("one projector") << QByteArray("[a]\ndevice=DIR\n") << 0644 << QStringList{"FILE: 1 projector"} << true;
        QTest::newRow("none") << QByteArray("") << 0600 << QStringList{"FILE: 0 projectors"} << true;
        QTest::newRow("device not there yet") << QByteArray("[a]\ndevice=DIR/ttyUSB0\n") << 0600 << QStringList{"FILE:2: warning: " + missing, "FILE: 1 projector"} << true;
        QTest::newRow("every mistake, by line")
            << QByteArray("[a]\nspeed=4800\n[b\ndevice=DIR/ttyUSB0\nsped 9600\n[c]\ndevice=DIR\npoll=-1\n[c]\ndevice = DIR/.\n") << 0600
            << QStringList{"FILE:1: [a] has no device", "FILE:2: speed is 19200 or 9600, not \"4800\"",
                           "FILE:3: a section header ends with ']'", "FILE:4: warning: " + missing,
                           "FILE:5: expected [NAME] or KEY = VALUE", "FILE:8: poll is whole seconds from 0 to 86400, not \"-1\"",
                           "FILE:9: [c] is there already, on line 6",
                           "FILE:10: device DIR/. is the same as [c]'s device DIR, at FILE:7; one device serves one projector"} << false;
        QTest::newRow("no file") << QByteArray() << 0 << QStringList{"FILE: cannot read: No such file or directory"} << false;
        QTest::newRow("MQTT password others can read, every MQTT mistake")
            << QByteArray("[mqtt]\nbroker=mqtt://a:x\npassword=secret\ntopic=#\n[a/1]\ndevice=DIR\n") << 0604
            << QStringList{"FILE: holds an MQTT password but others can read it (mode 0604); make it readable by the service only: chown root:projectord FILE; chmod 640 FILE",
                           "FILE:2: broker is mqtt://HOST[:PORT] or mqtts://HOST[:PORT], not \"mqtt://a:x\"",
                           "FILE:3: password needs username in [mqtt]", "FILE:4: topic may not hold the wildcards + and #",
                           "FILE:5: with [mqtt], a projector's name is one topic level: no '/', '+' or '#'"} << false;
        QTest::newRow("password others can read, and a mistake")
            << QByteArray("[a]\ndevice=DIR\npjlink=127.0.0.1:4352\npjlink-password=secret\npoll=x\n") << 0644
            << QStringList{"FILE: holds a PJLink password but others can read it (mode 0644); make it readable by the service only: chown root:projectord FILE; chmod 640 FILE",
                           "FILE:5: poll is whole seconds from 0 to 86400, not \"x\""} << false;
        // clang-format on
        QStringList bounded;
        for (int line = 1; line <= ConfigReport::MaxProblems; ++line)
            bounded << QStringLiteral("FILE:%1: expected [NAME] or KEY = VALUE").arg(line);
        bounded << QStringLiteral("FILE:%1: more than %2 problems: the rest is not checked")
                       .arg(ConfigReport::MaxProblems + 1)
                       .arg(ConfigReport::MaxProblems);
        QTest::newRow("too many") << QByteArray("x\n").repeated(1000) << 0600 << bounded << false;
    }
    void check()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, mode);
        QFETCH(QStringList, said);
        QFETCH(bool, usable);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.conf"));
        if (!text.isNull()) {
            QFile f(path);
            text.replace("DIR", dir.path().toUtf8());
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(text) == text.size());
            f.close();
            QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
        }
        const ConfigCheck::Outcome outcome = ConfigCheck::check(path);
        QCOMPARE(outcome.usable, usable);
        QCOMPARE(outcome.errors + (usable ? QStringList{outcome.count} : QStringList()),
                 said.replaceInStrings(QLatin1String("DIR"), dir.path())
                     .replaceInStrings(QLatin1String("FILE"), path));
    }

    // What a reload does to each projector, matched by name: only the line's keys reopen it.
    void reload_data()
    {
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QString>("summary");
        const QByteArray a = "[a]\ndevice = /dev/ttyUSB0\n";
        const QByteArray b = "[b]\ndevice = socket://127.0.0.1:4000\npjlink = 127.0.0.1:4352\n";
        QTest::newRow("moved, commented") << "; hall\n" + b + "\n" + a << "2 unchanged";
        QTest::newRow("default written out")
            << a + "speed = 19200\npoll = 30\n" + b << "2 unchanged";
        QTest::newRow("device") << QByteArray(a).replace("USB0", "USB1") + b
                                << "1 restarted, 1 unchanged";
        QTest::newRow("speed") << a + "speed = 9600\n" + b << "1 restarted, 1 unchanged";
        QTest::newRow("poll") << a + "poll = 5\n" + b << "1 restarted, 1 unchanged";
        QTest::newRow("PJLink password") << a + b + "pjlink-password = secret\n"
                                         << "1 with new PJLink settings, 1 unchanged";
        QTest::newRow("PJLink off")
            << a + b.left(b.indexOf("pjlink")) << "1 with new PJLink settings, 1 unchanged";
        QTest::newRow("renamed") << a + QByteArray(b).replace("[b]", "[c]")
                                 << "1 added, 1 removed, 1 unchanged";
        QTest::newRow("emptied") << QByteArray() << "2 removed";
    }
    void reload()
    {
        QFETCH(QByteArray, after);
        QFETCH(QString, summary);
        const auto read = [](const QByteArray &text) {
            return std::get<ServiceConfig>(ServiceConfig::parse(text, QStringLiteral("p.conf")))
                .projectors;
        };
        const QByteArray before = "[a]\ndevice = /dev/ttyUSB0\n[b]\ndevice = "
                                  "socket://127.0.0.1:4000\npjlink = 127.0.0.1:4352\n";
        QCOMPARE(ReloadPlan::between(read(before), read(after)).summary(), summary);
    }
};

QTEST_GUILESS_MAIN(ConfigTest)
#include "tst_config.moc"
