// SPDX-License-Identifier: MIT
// projectord's configuration: what it takes, and the line and words of what it refuses.
#include "ServiceConfig.h"

#include <QTest>

class ConfigTest : public QObject
{
    Q_OBJECT
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
        QTest::newRow("same device") << QByteArray("[a]\ndevice=/dev/x\n[b]\n\ndevice = /dev/x\n") << 5 << "[a]'s already, on line 2";
        QTest::newRow("speed") << QByteArray("[a]\ndevice=/dev/x\nspeed=38400\n") << 3 << "19200 or 9600";
        QTest::newRow("poll negative") << QByteArray("[a]\ndevice=/dev/x\npoll=-1\n") << 3 << "0 to 86400";
        QTest::newRow("poll fraction") << QByteArray("[a]\ndevice=/dev/x\npoll=1.5\n") << 3 << "not \"1.5\"";
        // clang-format on
    }
    void parse()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, line);
        QFETCH(QString, expected);
        const auto parsed = ServiceConfig::parse(text, QStringLiteral("p.conf"));
        if (line >= 0) {
            QVERIFY(std::holds_alternative<ConfigError>(parsed));
            const QString message = std::get<ConfigError>(parsed).text();
            QVERIFY2(message.startsWith(QStringLiteral("p.conf:%1: ").arg(line)),
                     qPrintable(message));
            QVERIFY2(message.contains(expected), qPrintable(message));
            return;
        }
        QStringList read;
        for (const ProjectorConfig &p : std::get<ServiceConfig>(parsed).projectors)
            read << QStringLiteral("%1 %2 %3 %4 %5")
                        .arg(p.name, p.device)
                        .arg(p.settings.baud)
                        .arg(p.poll.count())
                        .arg(p.line);
        QCOMPARE(read.join(u';'), expected);
    }
    void unreadableFileIsNamed()
    {
        const auto loaded = ServiceConfig::load(QStringLiteral("/nonexistent/p.conf"));
        QCOMPARE(std::get<ConfigError>(loaded).text(),
                 QStringLiteral("/nonexistent/p.conf: cannot read: No such file or directory"));
    }
};

QTEST_GUILESS_MAIN(ConfigTest)
#include "tst_config.moc"
