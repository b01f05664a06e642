// SPDX-License-Identifier: MIT
// projectord: holds each configured projector's line and shares it on D-Bus and, where
// configured, PJLink. Runs in the foreground and logs one English line per event: to the journal
// with the projector's name as a field when stderr is the journal's, to stderr otherwise.
#include "BusFront.h"
#include "ConfigCheck.h"
#include "IntervalTimer.h"
#include "Journal.h"
#include "Lifetime.h"
#include "PanelVersion.h"
#include "Projectors.h"
#include "ServiceBus.h"
#include "ServiceConfig.h"
#include "StaleLocks.h"
#include "Translations.h"
#include "UsageError.h"
#include "Watchdog.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include <cerrno>
#include <cstring>

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Program = QStringLiteral("projectord");

struct ProjectordOptions
{
    Q_DECLARE_TR_FUNCTIONS(ProjectordOptions)

public:
    // A mistake in the configuration or a bus name taken: starting again mends nothing.
    static constexpr int ExitFailed = 1;
    // The bus went away: systemd's Restart=on-failure starts projectord again on the new one.
    static constexpr int ExitBusLost = 3;
    QString configFile = QStringLiteral("/etc/projectord.conf");
    bool session = false;
};

Journal &journal()
{
    static Journal journal(Journal::socketForStderr());
    return journal;
}

void log(const QString &line)
{
    journal().log(line);
}

// Programs given a device path ask the service only while its runtime directory is there
// (ServiceBus::serviceMayRun). Under systemd the unit's RuntimeDirectory= is that directory;
// run by hand, the service makes it once its bus name is taken and removes it at exit. One left
// by a killed service only makes programs ask a service that is not there.
class RunDirectory
{
public:
    RunDirectory() = default;
    RunDirectory(const RunDirectory &) = delete;
    RunDirectory &operator=(const RunDirectory &) = delete;
    ~RunDirectory()
    {
        if (!m_made.isEmpty()) ::rmdir(QFile::encodeName(m_made).constData());
    }

    void make(bool session)
    {
        if (qEnvironmentVariableIsSet("RUNTIME_DIRECTORY")) return;
        const QString dir = ServiceBus::runDirectory(session);
        if (dir.isEmpty()) {
            log(QStringLiteral("no XDG_RUNTIME_DIR: programs given a device path will not look "
                               "for this service; service:NAME reaches it"));
            return;
        }
        if (::mkdir(QFile::encodeName(dir).constData(), 0755) != 0 && errno != EEXIST) {
            log(QStringLiteral("cannot make %1 (%2): programs given a device path will not look "
                               "for this service; service:NAME reaches it")
                    .arg(dir, QString::fromLocal8Bit(std::strerror(errno))));
            return;
        }
        m_made = dir;
    }

private:
    QString m_made;
};

// Where Qt's serial port puts its lock files: /var/lock is a link to /run/lock on most systems.
void clearStaleLocks(const ServiceConfig &service)
{
    QStringList devices;
    for (const ProjectorConfig &c : service.projectors) devices.append(c.device);
    QStringList seen;
    for (const QString &dir : {QStringLiteral("/run/lock"), QStringLiteral("/var/lock")}) {
        const QString real = QFileInfo(dir).canonicalFilePath();
        if (real.isEmpty() || seen.contains(real)) continue;
        seen.append(real);
        for (const QString &line : StaleLocks::clear(devices, real)) log(line);
    }
}

// Reads the file again and applies what changed. A file with a mistake changes nothing: each
// mistake goes to the journal with its line, as --check gives them.
void reloadConfiguration(const QString &file, Projectors &projectors, Watchdog &systemd)
{
    // systemd shows the unit as reloading until READY=1.
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    systemd.tell(QByteArrayLiteral("RELOADING=1\nMONOTONIC_USEC=") +
                 QByteArray::number(qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000));
    const ConfigReport read = ServiceConfig::check(file);
    if (!read.usable()) {
        for (const ConfigError &e : read.problems)
            if (!e.warning) log(e.text());
        log(QStringLiteral("reload refused: %1 has mistakes; nothing changed").arg(file));
    } else {
        log(QStringLiteral("reloaded %1: %2").arg(file, projectors.reload(read.config).summary()));
    }
    systemd.tell(QByteArrayLiteral("READY=1"));
}

} // namespace

int main(int argc, char *argv[])
{
    // A journal or pipe that goes away must not end the service with its lines open.
    std::signal(SIGPIPE, SIG_IGN);
    // Qt's own event dispatcher: a client's line wakes the service sooner than through glib's
    // main loop, which nothing here needs.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(Program);
    QCoreApplication::setApplicationVersion(QLatin1String(PanelVersion));
    Translations::install();
    // From the start: a SIGHUP, while the configuration is read too, must not end the service.
    Lifetime life([](const QString &line) { log(line); });
    life.catchSignals();

    ProjectordOptions options;
    QCommandLineParser parser;
    parser.setApplicationDescription(ProjectordOptions::tr(
        "Holds the serial lines of the projectors in its configuration and shares\n"
        "each one on D-Bus and, where configured, PJLink, so that any number of\n"
        "programs can use it at once."));
    const QCommandLineOption config(
        QStringLiteral("config"),
        ProjectordOptions::tr("The configuration (default %1).").arg(options.configFile),
        QStringLiteral("FILE"), options.configFile);
    const QCommandLineOption session(
        QStringLiteral("session"),
        ProjectordOptions::tr("Serve on the session bus instead of the system bus."));
    const QCommandLineOption clearLocks(
        QStringLiteral("clear-stale-locks"),
        ProjectordOptions::tr("Remove the lock files that processes now gone left for the\n"
                              "configured devices, then exit. Run as root before the service."));
    const QCommandLineOption check(
        QStringLiteral("check"),
        ProjectordOptions::tr("Read the configuration as the service would, name every\n"
                              "mistake in it with its line, and exit. Starts nothing."));
    parser.addOptions({config, session, clearLocks, check});
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QStringList args = QCoreApplication::arguments();
    QString wrong;
    if (!parser.parse(args))
        wrong = UsageError::describe(parser, args);
    else if (!parser.positionalArguments().isEmpty())
        wrong = ProjectordOptions::tr("unexpected argument \"%1\"")
                    .arg(parser.positionalArguments().first());
    else if (parser.isSet(check) && parser.isSet(clearLocks))
        wrong = ProjectordOptions::tr("--check and --clear-stale-locks do not go together");
    else if (parser.isSet(config))
        wrong = UsageError::checkValue(parser.value(config), UsageError::Value::File);
    if (!wrong.isEmpty()) {
        std::fputs(qPrintable(UsageError::line(Program, wrong)), stderr);
        return UsageError::ExitStatus;
    }
    if (parser.isSet(help) || parser.isSet(version)) {
        const QString text =
            parser.isSet(help)
                ? parser.helpText()
                : QStringLiteral("%1 %2\n").arg(Program, QLatin1String(PanelVersion));
        std::fputs(qPrintable(text), stdout);
        return std::fflush(stdout) == 0 ? 0 : ProjectordOptions::ExitFailed;
    }
    options.configFile = parser.value(config);
    options.session = parser.isSet(session);
    if (parser.isSet(check))
        return ConfigCheck::run(options.configFile) ? 0 : ProjectordOptions::ExitFailed;

    const auto loaded = ServiceConfig::load(options.configFile);
    // Before the service: a configuration it cannot read is for the service's start to report.
    if (parser.isSet(clearLocks)) {
        if (const auto *read = std::get_if<ServiceConfig>(&loaded)) clearStaleLocks(*read);
        return 0;
    }
    if (const auto *error = std::get_if<ConfigError>(&loaded)) {
        log(error->text());
        return ProjectordOptions::ExitFailed;
    }
    const ServiceConfig &service = std::get<ServiceConfig>(loaded);

    const QString busName = options.session ? QStringLiteral("session") : QStringLiteral("system");
    QDBusConnection bus =
        options.session ? QDBusConnection::sessionBus() : QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        log(QStringLiteral("cannot connect to the %1 bus: %2%3")
                .arg(busName, bus.lastError().message(),
                     options.session ? QStringLiteral("; without a desktop session, start it "
                                                      "under dbus-run-session")
                                     : QString()));
        return ProjectordOptions::ExitFailed;
    }

    BusFront front(bus);
    Projectors projectors(front, [](const QString &line, const QString &projector) {
        journal().log(line, projector);
    });
    QString why;
    if (!front.exportManager(&why) || !projectors.load(service, &why)) {
        log(why);
        return ProjectordOptions::ExitFailed;
    }
    // From before the name is asked for: a loop stuck at any point after is restarted.
    Watchdog watchdog(PreciseTimer::factory(), [](const QString &line) { log(line); });
    // A reload asked for before the lines open waits for them.
    bool reloadAsked = false;
    const auto reload = [&] {
        if (!projectors.isStarted()) {
            reloadAsked = true;
            return;
        }
        reloadConfiguration(options.configFile, projectors, watchdog);
    };
    life.onReload(reload);
    RunDirectory runDirectory;
    bool busLost = false;
    life.onStop([&] {
        projectors.stop();
        if (!busLost) front.releaseName();
    });
    QObject::connect(&front, &BusFront::busLost, &front, [&] {
        busLost = true;
        life.stop(ProjectordOptions::ExitBusLost,
                  QStringLiteral("lost the connection to the %1 bus: stopping with status %2, "
                                 "to be started again")
                      .arg(busName)
                      .arg(ProjectordOptions::ExitBusLost));
    });
    // The lines open, and the PJLink ports with them, once the name is ours: a second
    // projectord leaves them alone.
    QObject::connect(&front, &BusFront::nameClaimed, &front, [&] {
        runDirectory.make(options.session);
        log(QStringLiteral("serving %1 on the %2 bus from %3")
                .arg(projectors.count() == 1
                         ? QStringLiteral("1 projector")
                         : QStringLiteral("%1 projectors").arg(projectors.count()))
                .arg(busName, options.configFile));
        if (!projectors.start(&why)) return life.stop(ProjectordOptions::ExitFailed, why);
        if (std::exchange(reloadAsked, false)) reload();
    });
    QObject::connect(&front, &BusFront::nameRefused, &front, [&life](const QString &reason) {
        life.stop(ProjectordOptions::ExitFailed, reason);
    });
    watchdog.start();
    front.claimName();
    return app.exec();
}
