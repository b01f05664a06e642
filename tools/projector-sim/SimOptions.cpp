// SPDX-License-Identifier: MIT
#include "SimOptions.h"

#include "UsageError.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cerrno>
#include <cmath>
#include <random>
#include <vector>

#include <arpa/inet.h>
#include <grp.h>

namespace sim {

namespace {

struct Failure
{
    QString message;
};

SimTime seconds(const QCommandLineParser &p, const QString &name, bool allowZero)
{
    bool ok = false;
    const double s = p.value(name).toDouble(&ok);
    // A day is far beyond any test run and keeps the microsecond count well inside range.
    if (!ok || !std::isfinite(s) || s < 0 || (s == 0 && !allowZero) || s > 86400)
        throw Failure{
            allowZero ? QCoreApplication::translate(
                            "SimOptions", "--%1: expected seconds up to 86400, got \"%2\"")
                            .arg(name, p.value(name))
                      : QCoreApplication::translate(
                            "SimOptions", "--%1: expected seconds above 0 up to 86400, got \"%2\"")
                            .arg(name, p.value(name))};
    return SimTime(std::llround(s * 1e6));
}

long long integer(const QCommandLineParser &p, const QString &name, long long lo, long long hi)
{
    bool ok = false;
    const long long v = p.value(name).toLongLong(&ok);
    if (!ok || v < lo || v > hi)
        throw Failure{QCoreApplication::translate(
                          "SimOptions", "--%1: expected a whole number from %2 to %3, got \"%4\"")
                          .arg(name)
                          .arg(lo)
                          .arg(hi)
                          .arg(p.value(name))};
    return v;
}

QString oneOf(const QCommandLineParser &p, const QString &name, const QStringList &allowed)
{
    const QString v = p.value(name);
    if (!allowed.contains(v))
        throw Failure{
            QCoreApplication::translate("SimOptions", "--%1: expected one of %2, got \"%3\"")
                .arg(name, allowed.join(QLatin1Char('|')), v)};
    return v;
}

gid_t groupId(const QString &name)
{
    std::vector<char> buffer(4096);
    group entry{};
    group *found = nullptr;
    int error = 0;
    while ((error = getgrnam_r(name.toLocal8Bit().constData(), &entry, buffer.data(), buffer.size(),
                               &found)) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (!found)
        throw Failure{
            QCoreApplication::translate("SimOptions", "--group: no group \"%1\"").arg(name)};
    return found->gr_gid;
}

// "ADDR:PORT", "[ADDR6]:PORT" or ":PORT" for the loopback address. Names are not looked up:
// a fleet is for a test bench, where an address that resolves differently later helps nobody.
ListenAt listenAt(const QString &value, int count)
{
    ListenAt at;
    at.count = count;
    const qsizetype colon = value.lastIndexOf(QLatin1Char(':'));
    QString host = value.left(colon);
    if (host.isEmpty()) host = QStringLiteral("127.0.0.1");
    at.v6 = host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'));
    if (at.v6) host = host.mid(1, host.size() - 2);
    at.address = host.toStdString();
    unsigned char parsed[16];
    if (colon < 0 || inet_pton(at.v6 ? AF_INET6 : AF_INET, at.address.c_str(), parsed) != 1)
        throw Failure{QCoreApplication::translate(
                          "SimOptions",
                          "--listen: expected an IP address and a port, as 127.0.0.1:4001 or "
                          "[::1]:4001, got \"%1\"")
                          .arg(value)};
    bool ok = false;
    at.port = value.mid(colon + 1).toInt(&ok);
    if (!ok || at.port < 1 || at.port > 65535)
        throw Failure{QCoreApplication::translate(
                          "SimOptions", "--listen: expected a port from 1 to 65535, got \"%1\"")
                          .arg(value.mid(colon + 1))};
    if (at.port + count - 1 > 65535)
        throw Failure{
            QCoreApplication::translate("SimOptions", "--count: %1 ports from %2 on go past 65535")
                .arg(count)
                .arg(at.port)};
    return at;
}

} // namespace

ParsedArguments parseArguments(const QStringList &args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QCoreApplication::translate(
        "SimOptions",
        "Plays a projector on a serial line, so the panel can be run without one.\n"
        "By default it makes a pseudo-terminal and prints its path as the first line of "
        "stdout;\nevery line it receives is logged as \"<CLOCK_MONOTONIC microseconds> "
        "<line>\"."));
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    auto opt = [](const char *name, const char *help, const char *value = nullptr,
                  const char *def = nullptr) {
        QCommandLineOption o(QString::fromLatin1(name),
                             QCoreApplication::translate("SimOptions", help));
        if (value) o.setValueName(QString::fromLatin1(value));
        if (def) o.setDefaultValue(QString::fromLatin1(def));
        return o;
    };
    p.addOptions({
        opt("device",
            QT_TRANSLATE_NOOP(
                "SimOptions",
                "Serve this serial port (null-modem cable) instead of a pseudo-terminal."),
            "PATH"),
        opt("baud",
            QT_TRANSLATE_NOOP("SimOptions", "Line speed of --device: 19200 (default) or 9600."),
            "N", "19200"),
        opt("link",
            QT_TRANSLATE_NOOP("SimOptions",
                              "Make a symbolic link to the pseudo-terminal here, removed at exit. "
                              "A missing folder is made for it and removed too: projectord's "
                              "service sees /run/projector-sim/NAME, not /tmp."),
            "PATH"),
        opt("group",
            QT_TRANSLATE_NOOP("SimOptions",
                              "Give the pseudo-terminal to this group with mode 0660, so that a "
                              "service running as that group (projectord) can open it."),
            "GROUP"),
        opt("log",
            QT_TRANSLATE_NOOP("SimOptions",
                              "Write the log of received lines here instead of stdout."),
            "FILE"),
        opt("warmup",
            QT_TRANSLATE_NOOP("SimOptions", "Seconds of count down after power on (default 3)."),
            "S", "3"),
        opt("cooldown",
            QT_TRANSLATE_NOOP("SimOptions", "Seconds of cooling down after power off (default 3)."),
            "S", "3"),
        opt("hours", QT_TRANSLATE_NOOP("SimOptions", "Lamp hours at start (default 123)."), "N",
            "123"),
        opt("hour-seconds",
            QT_TRANSLATE_NOOP("SimOptions",
                              "Real seconds of lamp use per lamp hour (default 3600)."),
            "S", "3600"),
        opt("input",
            QT_TRANSLATE_NOOP("SimOptions", "Input selected at start: 1 (default), 2 or 3."), "N",
            "1"),
        opt("orientation",
            QT_TRANSLATE_NOOP("SimOptions",
                              "What the picture orientation read answers: 11 (default), 10, 01 or "
                              "00."),
            "XX", "11"),
        opt("fault",
            QT_TRANSLATE_NOOP("SimOptions", "Report a fault: power, temperature or keylock."),
            "KIND"),
        opt("fault-after",
            QT_TRANSLATE_NOOP("SimOptions", "Seconds after start at which --fault sets in."), "S",
            "0"),
        opt("silent", QT_TRANSLATE_NOOP("SimOptions", "Answer nothing.")),
        opt("delay",
            QT_TRANSLATE_NOOP("SimOptions", "Hold every reply back this many milliseconds."), "MS",
            "0"),
        opt("split", QT_TRANSLATE_NOOP("SimOptions", "Write every reply one byte at a time.")),
        opt("split-gap",
            QT_TRANSLATE_NOOP("SimOptions",
                              "Milliseconds between the bytes of a split reply (default 5)."),
            "MS", "5"),
        opt("noise",
            QT_TRANSLATE_NOOP("SimOptions",
                              "Mix bytes outside the printable range into some replies (and into "
                              "the flood).")),
        opt("seed", QT_TRANSLATE_NOOP("SimOptions", "Seed for noise and flood, to repeat a run."),
            "N"),
        opt("unplug-after",
            QT_TRANSLATE_NOOP("SimOptions",
                              "Vanish after this many seconds: close the line and exit."),
            "S"),
        opt("flood",
            QT_TRANSLATE_NOOP("SimOptions",
                              "Send random bytes as fast as the line takes them for this many "
                              "seconds from start; stderr tells when it is over."),
            "S"),
        opt("verbose", QT_TRANSLATE_NOOP("SimOptions", "Tell on stderr what is sent back.")),
        opt("listen",
            QT_TRANSLATE_NOOP(
                "SimOptions",
                "Serve projectors on raw TCP instead, as a serial device server does: one per port "
                "from PORT on, each with a state of its own (socket://ADDR:PORT). ADDR is an IP "
                "address, an IPv6 one in brackets; \":PORT\" alone is 127.0.0.1. One client per "
                "port at a time: another is disconnected at once, and one that leaves leaves the "
                "projector as it was. The first line of stdout is \"listening on "
                "ADDR:PORT-LAST\"; log lines name the port after the time. Not with --device, "
                "--link, --group, --baud or --flood."),
            "ADDR:PORT"),
        opt("count",
            QT_TRANSLATE_NOOP("SimOptions",
                              "How many projectors --listen serves: 1 (default) to 1000."),
            "N", "1"),
    });
    p.addHelpOption();
    p.addVersionOption();

    ParsedArguments result;
    if (!p.parse(args)) {
        result.text = UsageError::describe(p, args);
        return result;
    }
    if (p.isSet(QStringLiteral("help"))) {
        result.action = ParsedArguments::Action::Help;
        result.text = p.helpText();
        return result;
    }
    if (p.isSet(QStringLiteral("version"))) {
        result.action = ParsedArguments::Action::Version;
        result.text =
            QStringLiteral("projector-sim %1\n").arg(QCoreApplication::applicationVersion());
        return result;
    }
    if (!p.positionalArguments().isEmpty()) {
        result.text = QCoreApplication::translate("SimOptions", "unexpected argument \"%1\"")
                          .arg(p.positionalArguments().first());
        return result;
    }

    try {
        Options &o = result.options;
        Simulator::Behaviour &b = o.behaviour;
        if (p.isSet(QStringLiteral("listen"))) {
            for (const char *other : {"device", "link", "group", "baud", "flood"})
                if (p.isSet(QLatin1String(other)))
                    throw Failure{
                        QCoreApplication::translate("SimOptions", "--%1 does not go with --listen")
                            .arg(QLatin1String(other))};
            o.listen = listenAt(p.value(QStringLiteral("listen")),
                                int(integer(p, QStringLiteral("count"), 1, ListenAt::MaxCount)));
        } else if (p.isSet(QStringLiteral("count"))) {
            throw Failure{QCoreApplication::translate("SimOptions", "--count goes with --listen")};
        }
        o.device = p.value(QStringLiteral("device"));
        o.baud = oneOf(p, QStringLiteral("baud"), {QStringLiteral("19200"), QStringLiteral("9600")})
                     .toInt();
        o.link = p.value(QStringLiteral("link"));
        if (!o.link.isEmpty() && !o.device.isEmpty())
            throw Failure{QCoreApplication::translate(
                "SimOptions", "--link goes with the pseudo-terminal, not --device")};
        if (p.isSet(QStringLiteral("group"))) {
            if (!o.device.isEmpty())
                throw Failure{QCoreApplication::translate(
                    "SimOptions", "--group goes with the pseudo-terminal, not --device")};
            o.group = groupId(p.value(QStringLiteral("group")));
        }
        o.logFile = p.value(QStringLiteral("log"));
        o.verbose = p.isSet(QStringLiteral("verbose"));

        b.model.warmup = seconds(p, QStringLiteral("warmup"), true);
        b.model.cooldown = seconds(p, QStringLiteral("cooldown"), true);
        b.model.startHours =
            static_cast<int>(integer(p, QStringLiteral("hours"), 0, ProjectorModel::MaxHours));
        b.model.lampHour = seconds(p, QStringLiteral("hour-seconds"), false);
        b.model.input = oneOf(p, QStringLiteral("input"),
                              {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")})
                            .at(0)
                            .toLatin1();
        b.model.orientation = oneOf(p, QStringLiteral("orientation"),
                                    {QStringLiteral("11"), QStringLiteral("10"),
                                     QStringLiteral("01"), QStringLiteral("00")})
                                  .toStdString();

        if (p.isSet(QStringLiteral("fault"))) {
            const QString kind = oneOf(p, QStringLiteral("fault"),
                                       {QStringLiteral("power"), QStringLiteral("temperature"),
                                        QStringLiteral("keylock")});
            b.fault = kind == QLatin1String("power")         ? ProjectorModel::Fault::Power
                      : kind == QLatin1String("temperature") ? ProjectorModel::Fault::Temperature
                                                             : ProjectorModel::Fault::KeyLock;
        }
        b.faultAfter = seconds(p, QStringLiteral("fault-after"), true);

        b.silent = p.isSet(QStringLiteral("silent"));
        b.timing.delay = std::chrono::milliseconds(integer(p, QStringLiteral("delay"), 0, 600000));
        b.timing.split = p.isSet(QStringLiteral("split"));
        b.timing.splitGap =
            std::chrono::milliseconds(integer(p, QStringLiteral("split-gap"), 0, 10000));
        b.noise = p.isSet(QStringLiteral("noise"));
        b.seed =
            p.isSet(QStringLiteral("seed"))
                ? static_cast<std::uint32_t>(integer(p, QStringLiteral("seed"), 0, 0xFFFFFFFFLL))
                : std::random_device{}();

        if (p.isSet(QStringLiteral("unplug-after")))
            o.unplugAfter = seconds(p, QStringLiteral("unplug-after"), true);
        if (p.isSet(QStringLiteral("flood"))) o.flood = seconds(p, QStringLiteral("flood"), false);
    } catch (const Failure &f) {
        result.text = f.message;
        return result;
    }
    result.action = ParsedArguments::Action::Run;
    return result;
}

} // namespace sim
