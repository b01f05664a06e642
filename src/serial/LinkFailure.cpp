// SPDX-License-Identifier: MIT
#include "LinkFailure.h"

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {

// QAbstractSocket::SocketError's values, which NetSocket checks against Qt's own: this
// library needs Qt Core only.
enum SocketError {
    ConnectionRefusedError = 0,
    RemoteHostClosedError = 1,
    HostNotFoundError = 2,
    SocketAccessError = 3,
    SocketResourceError = 4,
    SocketTimeoutError = 5,
    NetworkError = 7,
    AddressInUseError = 8,
    UnsupportedSocketOperationError = 10,
};

} // namespace

QString LinkFailure::systemWords(int code, bool english)
{
    if (code == 0) return {};
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
    if (english) {
        const char *desc = strerrordesc_np(code);
        if (desc) return QString::fromLatin1(desc);
    }
#endif
    return QString::fromLocal8Bit(std::strerror(code));
}

bool LinkFailure::isOutOfDescriptors(int systemError)
{
    return systemError == EMFILE || systemError == ENFILE;
}

LinkFailure LinkFailure::tooManyFiles(Action action, int systemError)
{
    LinkFailure f{action, Cause::TooManyFiles, 0, {}, {}, systemError};
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        f.count = qint64(limit.rlim_cur);
#endif
    return f;
}

QString LinkFailure::text(Reader reader) const
{
    const bool service = reader == Reader::Service;
    const bool english = reader == Reader::Log || service;
    const bool window = reader == Reader::Window;
    // QT_TR_NOOP keeps the English source for the log while lupdate still finds the words.
    const auto t = [english](const char *source) {
        return english ? QString::fromUtf8(source) : tr(source);
    };
    // The service has no port numbers: its projectors are named by their devices.
    const QString label = service ? device
                          : device.isEmpty()
                              ? t(QT_TR_NOOP("serial port %1")).arg(port)
                              : t(QT_TR_NOOP("serial port %1 (%2)")).arg(port).arg(device);
    // The device again after the label, where the label is the device already.
    const QString deviceAgain = service ? QStringLiteral("it") : device;
    const auto socketWords = [&]() -> QString {
        switch (socketError) {
        case ConnectionRefusedError: return t(QT_TR_NOOP("connection refused"));
        case RemoteHostClosedError: return t(QT_TR_NOOP("the device server closed the connection"));
        case HostNotFoundError: return t(QT_TR_NOOP("host not found"));
        case SocketAccessError: return t(QT_TR_NOOP("not permitted"));
        case SocketResourceError: return t(QT_TR_NOOP("out of resources"));
        case SocketTimeoutError: return t(QT_TR_NOOP("timed out"));
        case NetworkError: return t(QT_TR_NOOP("network error"));
        case AddressInUseError: return t(QT_TR_NOOP("address in use"));
        case UnsupportedSocketOperationError:
            return t(QT_TR_NOOP("this kind of address is not supported here"));
        default: return t(QT_TR_NOOP("network error %1")).arg(socketError);
        }
    };
    // What the system said, in brackets after a sentence, when it said anything.
    const QString why = socketError >= 0 ? socketWords() : systemWords(systemError, english);
    const auto withWhy = [&](const QString &sentence) {
        return why.isEmpty() ? sentence : t(QT_TR_NOOP("%1 (%2)")).arg(sentence, why);
    };

    switch (cause) {
    case Cause::None: return {};
    case Cause::NoSuchPort:
        return t(QT_TR_NOOP("There is no serial port %1; the panel knows ports 1 and 2."))
            .arg(port);
    case Cause::StillOpen:
        return t(QT_TR_NOOP("The port number cannot change while %1 is open.")).arg(label);
    case Cause::Gone: {
        const QString gone =
            withWhy(service ? QStringLiteral("%1 has gone away").arg(label)
                            : t(QT_TR_NOOP("The device of %1 has gone away")).arg(label));
        if (!window) return t(QT_TR_NOOP("%1.")).arg(gone);
        return t(QT_TR_NOOP("%1. The panel opens the port again by itself when the device "
                            "returns."))
            .arg(gone);
    }
    case Cause::AwaitingDevice:
        if (service) return QStringLiteral("Cannot send to %1: it has gone away.").arg(label);
        if (!window)
            return t(QT_TR_NOOP("Cannot send to %1: its device has gone away.")).arg(label);
        return t(QT_TR_NOOP("Cannot send to %1: its device has gone away. The port opens again "
                            "by itself when the device returns."))
            .arg(label);
    case Cause::NotOpen:
        if (!window) return t(QT_TR_NOOP("Cannot send to %1: the port is not open.")).arg(label);
        return t(QT_TR_NOOP("Cannot send to %1: the port is not open. Choose a port with the COM "
                            "button."))
            .arg(label);
    case Cause::TooManyFiles:
        if (systemError == ENFILE)
            return t(QT_TR_NOOP("Cannot open %1: too many open files in the system.")).arg(label);
        if (count <= 0) return t(QT_TR_NOOP("Cannot open %1: too many open files.")).arg(label);
        return t(QT_TR_NOOP("Cannot open %1: too many open files (the limit is %2)."))
            .arg(label)
            .arg(count);
    case Cause::LineNotSettable:
        return t(QT_TR_NOOP("%1 is a raw TCP device: the line settings cannot be set from here, "
                            "and the device server's own settings apply."))
            .arg(label);
    default: break;
    }

    if (const QString words = serviceText(reader, label); !words.isEmpty()) return words;

    if (action == Action::Send || action == Action::SetLine) {
        const QString head = action == Action::Send
                                 ? t(QT_TR_NOOP("Cannot send to %1: %2"))
                                 : t(QT_TR_NOOP("Cannot set the line of %1: %2"));
        switch (cause) {
        case Cause::ServerNotTaking:
            return head.arg(label, t(QT_TR_NOOP("the device server is not taking data (%1 bytes "
                                                "wait to be sent)."))
                                       .arg(count));
        case Cause::DeviceNotReading:
            return head.arg(label, t(QT_TR_NOOP("the device has not taken the last %1 bytes; it "
                                                "does not read."))
                                       .arg(count));
        case Cause::QueueFull:
            return head.arg(label, t(QT_TR_NOOP("%1 lines already wait for the connection to be "
                                                "made."))
                                       .arg(count));
        case Cause::CannotSetLine:
            return head.arg(label, t(QT_TR_NOOP("RFC 2217 cannot set these line settings.")));
        default: return head.arg(label, why.isEmpty() ? t(QT_TR_NOOP("unknown error")) : why);
        }
    }

    const auto addressForm = [&] {
        return detail.startsWith(QLatin1String("rfc2217"), Qt::CaseInsensitive) ||
                       device.startsWith(QLatin1String("rfc2217"), Qt::CaseInsensitive)
                   ? QStringLiteral("rfc2217://HOST:PORT")
                   : QStringLiteral("socket://HOST:PORT");
    };
    const QString badAddress = t(QT_TR_NOOP("Cannot open %1: %2"));
    switch (cause) {
    case Cause::NoDevice:
        if (service) return QStringLiteral("Cannot open the line: no device was given.");
        return t(QT_TR_NOOP("Cannot open serial port %1: no device was given.")).arg(port);
    case Cause::Missing:
        return t(QT_TR_NOOP("Cannot open %1: the device does not exist.")).arg(label);
    case Cause::InUse:
        return t(QT_TR_NOOP("Cannot open %1: the port is in use by another program.")).arg(label);
    case Cause::NoPermission: {
        const QString base =
            t(QT_TR_NOOP("Cannot open %1: no permission to use %2.")).arg(label, deviceAgain);
        return english ? base
                       : base + u' ' +
                             t(QT_TR_NOOP("Add your user to the \"dialout\" group and log in "
                                          "again."));
    }
    case Cause::NotSerialPort:
        return t(QT_TR_NOOP("Cannot open %1: %2 is not a serial port.")).arg(label, deviceAgain);
    case Cause::Refused: return t(QT_TR_NOOP("Cannot connect %1: connection refused.")).arg(label);
    case Cause::HostNotFound: return t(QT_TR_NOOP("Cannot connect %1: host not found.")).arg(label);
    case Cause::TimedOut: return t(QT_TR_NOOP("Cannot connect %1: timed out.")).arg(label);
    case Cause::AddressNoScheme:
        return badAddress.arg(label, t(QT_TR_NOOP("a network device is written socket://HOST:PORT "
                                                  "or rfc2217://HOST:PORT.")));
    case Cause::AddressNoHost:
        return badAddress.arg(
            label, t(QT_TR_NOOP("the address has no host; write %1.")).arg(addressForm()));
    case Cause::AddressBadHost:
        return badAddress.arg(label, t(QT_TR_NOOP("\"%1\" is not a host name or a bracketed IPv6 "
                                                  "address; write %2."))
                                         .arg(detail, addressForm()));
    case Cause::AddressNoPort:
        return badAddress.arg(
            label, t(QT_TR_NOOP("the address has no port number; write %1.")).arg(addressForm()));
    case Cause::AddressBadPort:
        return badAddress.arg(label, t(QT_TR_NOOP("\"%1\" is not a port number.")).arg(detail));
    case Cause::AddressPortOutOfRange:
        return badAddress.arg(
            label, t(QT_TR_NOOP("the port number %1 is not between 1 and 65535.")).arg(detail));
    case Cause::Connecting:
        return t(QT_TR_NOOP("Cannot open %1: a connection is being made.")).arg(label);
    case Cause::CannotSetLine:
        return t(QT_TR_NOOP("Cannot open %1: RFC 2217 cannot set these line settings.")).arg(label);
    case Cause::LineRefused:
        return t(QT_TR_NOOP("Cannot connect %1: the device server does not let the line be set "
                            "(RFC 2217); for a raw TCP port, write socket://HOST:PORT."))
            .arg(label);
    case Cause::NotRfc2217:
        return t(QT_TR_NOOP("Cannot connect %1: not an RFC 2217 server: use socket://HOST:PORT."))
            .arg(label);
    case Cause::ServerClosed:
        if (detail.isEmpty())
            return t(QT_TR_NOOP("Cannot connect %1: the device server closed the connection."))
                .arg(label);
        return t(QT_TR_NOOP("Cannot connect %1: the device server closed the connection, "
                            "saying \"%2\"."))
            .arg(label, detail);
    case Cause::Network: return t(QT_TR_NOOP("Cannot connect %1: %2.")).arg(label, why);
    case Cause::NoNetLink:
        return t(QT_TR_NOOP("Cannot connect %1: this program's support for network devices is "
                            "missing or broken; reinstall the package: \"%2\""))
            .arg(label, detail);
    default:
        return t(QT_TR_NOOP("Cannot open %1: %2"))
            .arg(label, why.isEmpty() ? t(QT_TR_NOOP("unknown error")) : why);
    }
}

// The words for a line shared through projectord; empty for the other causes.
QString LinkFailure::serviceText(Reader reader, const QString &label) const
{
    const bool english = reader == Reader::Log || reader == Reader::Service;
    const auto t = [english](const char *source) {
        return english ? QString::fromUtf8(source) : tr(source);
    };
    // What projectord or the bus said, quoted, when they said anything: it is their sentence.
    const auto quoting = [&](const QString &sentence) {
        return detail.isEmpty() ? t(QT_TR_NOOP("%1.")).arg(sentence)
                                : t(QT_TR_NOOP("%1: \"%2\"")).arg(sentence, detail);
    };
    QString head;
    switch (action) {
    case Action::Send: head = t(QT_TR_NOOP("Cannot send to %1: %2")); break;
    case Action::SetLine: head = t(QT_TR_NOOP("Cannot set the line of %1: %2")); break;
    case Action::Lose: head = t(QT_TR_NOOP("Lost %1: %2")); break;
    default: head = t(QT_TR_NOOP("Cannot open %1: %2")); break;
    }

    QString words;
    switch (cause) {
    case Cause::ServiceNoName:
        words = head.arg(label, t(QT_TR_NOOP("no projector's name follows \"service:\"; write "
                                             "service:NAME.")));
        break;
    case Cause::NoSuchProjector:
        words = head.arg(label, t(QT_TR_NOOP("projectord has no projector of that name.")));
        break;
    case Cause::NoServiceBus:
        words = head.arg(label, detail == QLatin1String("session")
                                    ? t(QT_TR_NOOP("the D-Bus session bus, where projectord is "
                                                   "looked for, cannot be reached."))
                                    : t(QT_TR_NOOP("the D-Bus system bus, where projectord is "
                                                   "looked for, cannot be reached.")));
        break;
    case Cause::ServiceNotRunning:
        words = head.arg(label, quoting(t(QT_TR_NOOP("projectord is not running and could not "
                                                     "be started"))));
        break;
    case Cause::ServiceNotAnswering:
        words = head.arg(label, t(QT_TR_NOOP("projectord did not answer in time.")));
        break;
    case Cause::ServiceFailed:
        words = head.arg(label, quoting(t(QT_TR_NOOP("projectord refused"))));
        break;
    case Cause::NoServiceClient:
        words = head.arg(label, quoting(t(QT_TR_NOOP("this program's client of projectord is "
                                                     "missing or broken; reinstall the "
                                                     "package"))));
        break;
    case Cause::ServiceBusy:
        words = count > 0 ? head.arg(label, t(QT_TR_NOOP("%1 lines already await projectord's "
                                                         "answer."))
                                                .arg(count))
                          : head.arg(label, t(QT_TR_NOOP("projectord is busy: too many commands "
                                                         "wait for the projector.")));
        break;
    case Cause::AccessDenied:
        words = head.arg(
            label, t(QT_TR_NOOP("the bus policy does not let this user send to projectord.")));
        if (!english)
            words += u' ' + t(QT_TR_NOOP("Add your user to the \"dialout\" group and log in "
                                         "again."));
        return words;
    case Cause::LineSetByService:
        if (lineInForce.isEmpty())
            return t(QT_TR_NOOP("%1 is shared through projectord, whose configuration sets the "
                                "line: the speed cannot be chosen here."))
                .arg(label);
        return t(QT_TR_NOOP("%1 is shared through projectord, whose configuration sets the line "
                            "to %2: the speed cannot be chosen here."))
            .arg(label, lineInForce);
    case Cause::ServiceGone:
        words = action == Action::Lose
                    ? t(QT_TR_NOOP("projectord, which holds %1, has stopped.")).arg(label)
                    : head.arg(label, t(QT_TR_NOOP("projectord has stopped.")));
        // The panel stays the service's client, never opening the device itself meanwhile.
        if (reader != Reader::Window || action == Action::Open) return words;
        return words + u' ' +
               t(QT_TR_NOOP("The panel waits for projectord to start again and goes on through "
                            "it by itself."));
    case Cause::HeldOffline:
        // The service has the device, and the program cannot have it.
        if (action == Action::Open) {
            words = head.arg(label, quoting(t(QT_TR_NOOP("projectord holds this device but "
                                                         "cannot open it"))));
            if (english) return words;
            return words + u' ' +
                   t(QT_TR_NOOP("projectord keeps trying. Mend what it says, or take the device "
                                "out of projectord's configuration to use it without the "
                                "service."));
        }
        [[fallthrough]];
    case Cause::ServiceOffline:
        if (action == Action::Lose) {
            words = quoting(t(QT_TR_NOOP("projectord has lost the projector of %1")).arg(label));
            break;
        }
        words = head.arg(label, quoting(t(QT_TR_NOOP("projectord cannot reach the projector"))));
        break;
    default: return {};
    }
    if (action != Action::Lose || reader != Reader::Window) return words;
    return words + u' ' +
           t(QT_TR_NOOP("The panel opens the port again by itself when the projector can be "
                        "reached again."));
}
