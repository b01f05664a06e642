// SPDX-License-Identifier: MIT
// The words of a typed failure, for each of its readers, and the addresses that make one.
#include "LinkFailure.h"
#include "NetAddress.h"
#include "Translations.h"

#include <QLocale>
#include <QTest>

#include <cerrno>

using Cause = LinkFailure::Cause;
using Action = LinkFailure::Action;
using Reader = LinkFailure::Reader;

class LinkFailureTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Only the window may send the reader to its COM button; the log gets English facts.
    void wordsFitTheReader_data()
    {
        QTest::addColumn<LinkFailure>("failure");
        QTest::addColumn<QString>("words"); // in every reader's text
        QTest::addColumn<bool>("windowAdvice");
        const QString dev = QStringLiteral("/dev/ttyUSB0");
        QTest::newRow("not open") << LinkFailure{Action::Send, Cause::NotOpen, 1, dev, {}}
                                  << "not open" << true;
        QTest::newRow("awaiting the device")
            << LinkFailure{Action::Send, Cause::AwaitingDevice, 1, dev, {}} << "gone away" << true;
        QTest::newRow("gone, errno") << LinkFailure{Action::Lose, Cause::Gone, 2, dev, {}, EIO}
                                     << "Input/output error" << true;
        QTest::newRow("gone, socket")
            << LinkFailure{Action::Lose, Cause::Gone, 1, QStringLiteral("socket://h:1"), {}, 0, 1}
            << "closed the connection" << true;
        QTest::newRow("device not reading")
            << LinkFailure{Action::Send, Cause::DeviceNotReading, 1, dev, {}, 0, -1, 65530}
            << "65530 bytes" << false;
        QTest::newRow("bad port in an address")
            << LinkFailure{Action::Open, Cause::AddressBadPort, 1, QStringLiteral("socket://h:x"),
                           QStringLiteral("x")}
            << "\"x\" is not a port number" << false;
        QTest::newRow("not an RFC 2217 server")
            << LinkFailure{Action::Open, Cause::NotRfc2217, 1, QStringLiteral("rfc2217://h:1"), {}}
            << "use socket://" << false;
        // Through projectord: its words are quoted, and a loss is waited out as any other.
        const QString hall = QStringLiteral("service:hall-1");
        QTest::newRow("no such projector")
            << LinkFailure{Action::Open, Cause::NoSuchProjector, 1, hall, {}} << "no projector"
            << false;
        QTest::newRow("no session bus")
            << LinkFailure{Action::Open, Cause::NoServiceBus, 1, hall, QStringLiteral("session")}
            << "session bus" << false;
        QTest::newRow("projector offline at the service")
            << LinkFailure{Action::Lose, Cause::ServiceOffline, 1, dev, QStringLiteral("No tty.")}
            << "projectord has lost the projector of serial port 1 (/dev/ttyUSB0): \"No tty.\""
            << true;
        QTest::newRow("service client missing")
            << LinkFailure{Action::Open, Cause::NoServiceClient, 1, hall,
                           QStringLiteral("Cannot load library")}
            << "client of projectord is missing or broken; reinstall the package: \"Cannot "
               "load library\""
            << false;
        QTest::newRow("service gone")
            << LinkFailure{Action::Lose, Cause::ServiceGone, 2, hall, {}} << "has stopped" << true;
        QTest::newRow("sent while projectord is away")
            << LinkFailure{Action::Send, Cause::ServiceGone, 1, dev, {}}
            << "Cannot send to serial port 1 (/dev/ttyUSB0): projectord has stopped." << true;
        QTest::newRow("device held by projectord, which cannot open it")
            << LinkFailure{Action::Open, Cause::ServiceOffline, 1, dev, QStringLiteral("In use.")}
            << "projectord holds this device but cannot open it: \"In use.\"" << false;
        QTest::newRow("refused by the bus policy")
            << LinkFailure{Action::Open, Cause::AccessDenied, 1, dev, {}} << "bus policy" << false;
        QTest::newRow("answers awaited")
            << LinkFailure{Action::Send, Cause::ServiceBusy, 1, hall, {}, 0, -1, 32}
            << "32 lines already await" << false;
        QTest::newRow("line set by projectord") << LinkFailure{Action::SetLine,
                                                               Cause::LineSetByService,
                                                               1,
                                                               hall,
                                                               QStringLiteral("19200,N,8,1"),
                                                               0,
                                                               -1,
                                                               0,
                                                               QStringLiteral("9600,N,8,1")}
                                                << "sets the line to 9600,N,8,1" << false;
    }
    void wordsFitTheReader()
    {
        QFETCH(LinkFailure, failure);
        QFETCH(QString, words);
        QFETCH(bool, windowAdvice);
        const QString window = failure.text(Reader::Window);
        const QString script = failure.text(Reader::Script);
        for (const QString &text : {window, script, failure.text(Reader::Log)}) {
            QVERIFY2(text.contains(words), qPrintable(text));
            QVERIFY2(text.contains(failure.device), qPrintable(text));
        }
        const bool advises = window.contains(QLatin1String("COM button")) ||
                             window.contains(QLatin1String("by itself"));
        QCOMPARE(advises, windowAdvice);
        QVERIFY2(!script.contains(QLatin1String("COM button")) &&
                     !script.contains(QLatin1String("by itself")),
                 qPrintable(script));
        // Where a group would help, a person is told; the log is not.
        const bool groupHint = failure.cause == Cause::AccessDenied;
        QCOMPARE(script.contains(QLatin1String("\"dialout\" group")), groupHint);
        QVERIFY(!failure.text(Reader::Log).contains(QLatin1String("group")));
        // A device that projectord holds cannot be had here: how to have it, again not logged.
        const QLatin1String release("out of projectord's configuration");
        const bool held = failure.cause == Cause::ServiceOffline &&
                          failure.action == Action::Open &&
                          !failure.device.startsWith(QLatin1String("service:"));
        QCOMPARE(script.contains(release), held);
        QVERIFY(!failure.text(Reader::Log).contains(release));
    }

    // The log stays English whatever language the reader's texts are in.
    void theLogStaysEnglish()
    {
        QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
        QVERIFY(Translations::install());
        const LinkFailure f{Action::Lose, Cause::Gone, 1, QStringLiteral("/dev/ttyUSB0"), {}, EIO};
        QVERIFY2(f.text(Reader::Window) != f.text(Reader::Log), qPrintable(f.text()));
        QCOMPARE(f.text(Reader::Log),
                 QStringLiteral("The device of serial port 1 (/dev/ttyUSB0) has gone away "
                                "(Input/output error)."));
    }

    void addresses_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<Cause>("error");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("raw") << "socket://beamer:4001" << Cause::None << "beamer" << 4001;
        QTest::newRow("IPv6") << "RFC2217://[::1]:2217" << Cause::None << "::1" << 2217;
        QTest::newRow("no scheme") << "tcp://h:1" << Cause::AddressNoScheme << "" << 0;
        QTest::newRow("nothing") << "socket://" << Cause::AddressNoHost << "" << 0;
        QTest::newRow("no port") << "rfc2217://127.0.0.1" << Cause::AddressNoPort << "" << 0;
        QTest::newRow("empty port") << "socket://h:" << Cause::AddressNoPort << "" << 0;
        QTest::newRow("bracket, no port") << "socket://[::1]" << Cause::AddressNoPort << "" << 0;
        QTest::newRow("empty brackets") << "socket://[]:80" << Cause::AddressNoHost << "" << 0;
        QTest::newRow("bare IPv6") << "socket://::1:80" << Cause::AddressBadHost << "" << 0;
        QTest::newRow("open bracket") << "socket://[::1" << Cause::AddressBadHost << "" << 0;
        QTest::newRow("after bracket") << "socket://[::1]x:80" << Cause::AddressBadHost << "" << 0;
        QTest::newRow("sign") << "socket://h:+80" << Cause::AddressBadPort << "" << 0;
        QTest::newRow("long") << "socket://h:0000000080" << Cause::AddressBadPort << "" << 0;
    }
    void addresses()
    {
        QFETCH(QString, device);
        QFETCH(Cause, error);
        QFETCH(QString, host);
        QFETCH(int, port);
        QVERIFY(NetAddress::handles(device) || error == Cause::AddressNoScheme);
        const NetAddress a = NetAddress::parse(device);
        QCOMPARE(a.error, error);
        if (error != Cause::None) return;
        QCOMPARE(a.host, host);
        QCOMPARE(int(a.port), port);
    }
};

QTEST_GUILESS_MAIN(LinkFailureTest)
#include "tst_linkfailure.moc"
