// SPDX-License-Identifier: MIT
// The words of a typed failure, for each of its readers, and the addresses and the opens that
// make one.
#include "LinkFailure.h"
#include "NetAddress.h"
#include "Pty.h"
#include "Translations.h"
#include "TtyConnection.h"

#include <QLocale>
#include <QTest>

#include <cerrno>
#include <sys/resource.h>

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
        // The service's words in full, where given: they name the device, never a port number.
        QTest::addColumn<QString>("service");
        const QString dev = QStringLiteral("/dev/ttyUSB0");
        QTest::newRow("not open") << LinkFailure{Action::Send, Cause::NotOpen, 1, dev, {}}
                                  << "not open" << true << "";
        QTest::newRow("awaiting the device")
            << LinkFailure{Action::Send, Cause::AwaitingDevice, 1, dev, {}} << "gone away" << true
            << "Cannot send to /dev/ttyUSB0: it has gone away.";
        QTest::newRow("gone, errno")
            << LinkFailure{Action::Lose, Cause::Gone, 2, dev, {}, EIO} << "Input/output error"
            << true << "/dev/ttyUSB0 has gone away (Input/output error).";
        QTest::newRow("in use") << LinkFailure{Action::Open, Cause::InUse, 1, dev, {}}
                                << "in use by another program" << false
                                << "Cannot open /dev/ttyUSB0: the port is in use by another "
                                   "program.";
        QTest::newRow("no permission")
            << LinkFailure{Action::Open, Cause::NoPermission, 1, dev, {}} << "no permission"
            << false << "Cannot open /dev/ttyUSB0: no permission to use it.";
        QTest::newRow("too many open files")
            << LinkFailure{Action::Open, Cause::TooManyFiles, 2, dev, {}, EMFILE, -1, 1024}
            << "too many open files (the limit is 1024)" << false
            << "Cannot open /dev/ttyUSB0: too many open files (the limit is 1024).";
        QTest::newRow("too many in the system")
            << LinkFailure{Action::Open, Cause::TooManyFiles, 1, dev, {}, ENFILE, -1, 1024}
            << "too many open files in the system" << false
            << "Cannot open /dev/ttyUSB0: too many open files in the system.";
        QTest::newRow("gone, socket")
            << LinkFailure{Action::Lose, Cause::Gone, 1, QStringLiteral("socket://h:1"), {}, 0, 1}
            << "closed the connection" << true << "";
        QTest::newRow("device not reading")
            << LinkFailure{Action::Send, Cause::DeviceNotReading, 1, dev, {}, 0, -1, 65530}
            << "65530 bytes" << false << "";
        QTest::newRow("bad port in an address")
            << LinkFailure{Action::Open, Cause::AddressBadPort, 1, QStringLiteral("socket://h:x"),
                           QStringLiteral("x")}
            << "\"x\" is not a port number" << false
            << "Cannot open socket://h:x: \"x\" is not a port number.";
        QTest::newRow("not an RFC 2217 server")
            << LinkFailure{Action::Open, Cause::NotRfc2217, 1, QStringLiteral("rfc2217://h:1"), {}}
            << "use socket://" << false << "";
        // Through projectord: its words are quoted, and a loss is waited out as any other.
        const QString hall = QStringLiteral("service:hall-1");
        QTest::newRow("no such projector")
            << LinkFailure{Action::Open, Cause::NoSuchProjector, 1, hall, {}} << "no projector"
            << false << "";
        QTest::newRow("no session bus")
            << LinkFailure{Action::Open, Cause::NoServiceBus, 1, hall, QStringLiteral("session")}
            << "session bus" << false << "";
        QTest::newRow("projector offline at the service")
            << LinkFailure{Action::Lose, Cause::ServiceOffline, 1, dev, QStringLiteral("No tty.")}
            << "projectord has lost the projector of serial port 1 (/dev/ttyUSB0): \"No tty.\""
            << true << "";
        QTest::newRow("service client missing")
            << LinkFailure{Action::Open, Cause::NoServiceClient, 1, hall,
                           QStringLiteral("Cannot load library")}
            << "client of projectord is missing or broken; reinstall the package: \"Cannot "
               "load library\""
            << false << "";
        QTest::newRow("network plug-in missing")
            << LinkFailure{Action::Open, Cause::NoNetLink, 1, QStringLiteral("socket://hall:4001"),
                           QStringLiteral("Cannot load library")}
            << "network devices is missing or broken; reinstall the package: \"Cannot load "
               "library\""
            << false << "";
        QTest::newRow("service gone") << LinkFailure{Action::Lose, Cause::ServiceGone, 2, hall, {}}
                                      << "has stopped" << true << "";
        QTest::newRow("sent while projectord is away")
            << LinkFailure{Action::Send, Cause::ServiceGone, 1, dev, {}}
            << "Cannot send to serial port 1 (/dev/ttyUSB0): projectord has stopped." << true << "";
        QTest::newRow("device held by projectord, which cannot open it")
            << LinkFailure{Action::Open, Cause::HeldOffline, 1, dev, QStringLiteral("In use.")}
            << "projectord holds this device but cannot open it: \"In use.\"" << false << "";
        QTest::newRow("projector offline at the service, by name")
            << LinkFailure{Action::Open, Cause::ServiceOffline, 1, hall, QStringLiteral("No tty.")}
            << "projectord cannot reach the projector: \"No tty.\"" << false << "";
        QTest::newRow("device held by projectord, lost")
            << LinkFailure{Action::Lose, Cause::HeldOffline, 1, dev, QStringLiteral("No tty.")}
            << "projectord has lost the projector of serial port 1 (/dev/ttyUSB0): \"No tty.\""
            << true << "";
        QTest::newRow("refused by the bus policy")
            << LinkFailure{Action::Open, Cause::AccessDenied, 1, dev, {}} << "bus policy" << false
            << "";
        QTest::newRow("answers awaited")
            << LinkFailure{Action::Send, Cause::ServiceBusy, 1, hall, {}, 0, -1, 32}
            << "32 lines already await" << false << "";
        QTest::newRow("line set by projectord") << LinkFailure{Action::SetLine,
                                                               Cause::LineSetByService,
                                                               1,
                                                               hall,
                                                               QStringLiteral("19200,N,8,1"),
                                                               0,
                                                               -1,
                                                               0,
                                                               QStringLiteral("9600,N,8,1")}
                                                << "sets the line to 9600,N,8,1" << false << "";
    }
    void wordsFitTheReader()
    {
        QFETCH(LinkFailure, failure);
        QFETCH(QString, words);
        QFETCH(bool, windowAdvice);
        QFETCH(QString, service);
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
        const bool groupHint =
            failure.cause == Cause::AccessDenied || failure.cause == Cause::NoPermission;
        QCOMPARE(script.contains(QLatin1String("\"dialout\" group")), groupHint);
        QVERIFY(!failure.text(Reader::Log).contains(QLatin1String("group")));
        // A device that projectord holds cannot be had here: how to have it, again not logged.
        const QLatin1String release("out of projectord's configuration");
        const bool held = failure.cause == Cause::HeldOffline && failure.action == Action::Open;
        QCOMPARE(script.contains(release), held);
        QVERIFY(!failure.text(Reader::Log).contains(release));
        const QString served = failure.text(Reader::Service);
        QVERIFY2(served.contains(failure.device) && !served.contains(QLatin1String("port 1")) &&
                     !served.contains(QLatin1String("port 2")) &&
                     !served.contains(QLatin1String("group")),
                 qPrintable(served));
        if (!service.isEmpty()) QCOMPARE(served, service);
    }

    // Out of descriptors, an open says so rather than "in use": with none left, and with one
    // left for the lock file but none for the device.
    void openOutOfDescriptors()
    {
        Pty pty;
        TtyConnection tty(pty.device());
        // A sanitizer takes descriptors the first time it checks a type: the types of both ways
        // through an open are met while there are some.
        QVERIFY(!TtyConnection(QStringLiteral("/dev/null")).open(LineSettings{}));
        QVERIFY(tty.open(LineSettings{}));
        tty.close();
        const int lowest = ::open("/", O_RDONLY | O_CLOEXEC);
        ::close(lowest);
        rlimit before{};
        QVERIFY(lowest >= 0 && ::getrlimit(RLIMIT_NOFILE, &before) == 0);
        for (const int spare : {0, 1}) {
            rlimit tight{rlim_t(lowest + spare), before.rlim_max};
            QVERIFY(::setrlimit(RLIMIT_NOFILE, &tight) == 0);
            const bool opened = tty.open(LineSettings{});
            ::setrlimit(RLIMIT_NOFILE, &before);
            QVERIFY(!opened);
            QCOMPARE(tty.failure().cause, Cause::TooManyFiles);
            QCOMPARE(tty.failure().count, qint64(lowest + spare));
        }
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
