// SPDX-License-Identifier: MIT
#include "CtlOptions.h"
#include "DeviceLink.h"
#include "PanelVersion.h"
#include "ScriptRun.h"
#include "TrafficLog.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

struct Ctl
{
    Q_DECLARE_TR_FUNCTIONS(Ctl)
};

void printLine(std::FILE *to, const QString &line)
{
    std::fputs(qPrintable(line + u'\n'), to);
    std::fflush(to);
}

void complain(const QString &message)
{
    printLine(stderr, QStringLiteral("projector-ctl: ") + message);
}

QString textLine(const CommandResult &r)
{
    QString line = r.command.code + QStringLiteral("  ") + r.reply;
    if (r.status) line += u' ' + *r.status;
    return line;
}

QString jsonLine(const CommandResult &r)
{
    const QJsonObject o{
        {QStringLiteral("code"), QString(r.command.code)},
        {QStringLiteral("name"), r.command.name},
        {QStringLiteral("reply"), r.reply},
        {QStringLiteral("status"), r.status ? QJsonValue(*r.status) : QJsonValue()},
        {QStringLiteral("replied"), r.replied},
    };
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

// Interrupted or terminated, the program still closes the port, which gives the line back with
// the settings it had before.
int signalPipe[2] = {-1, -1};

void onSignal(int number)
{
    const char c = char(number);
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &c, 1);
}

void closeOnSignals(QCoreApplication &app, SerialLink &link)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&link] {
        char number = 0;
        [[maybe_unused]] const auto n = ::read(signalPipe[0], &number, 1);
        link.close();
        QCoreApplication::exit(128 + number);
    });
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(number, &action, nullptr);
    // Output into a pipe whose reader has gone (| head -1) must not end the run unclosed.
    ::signal(SIGPIPE, SIG_IGN);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("projector-ctl"));
    QCoreApplication::setApplicationVersion(QLatin1String(PanelVersion));

    const auto parsed = CtlOptions::parse(QCoreApplication::arguments());
    switch (parsed.action) {
    case CtlOptions::Parsed::Action::Help:
    case CtlOptions::Parsed::Action::Version: std::fputs(qPrintable(parsed.text), stdout); return 0;
    case CtlOptions::Parsed::Action::Error: {
        QString message = parsed.text;
        if (message.endsWith(u'.')) message.chop(1); // the parser's own texts end in a stop
        complain(Ctl::tr("%1. Try --help.").arg(message));
        return 2;
    }
    case CtlOptions::Parsed::Action::Run: break;
    }
    const CtlOptions &o = parsed.options;

    DeviceLink link(o.device, QString());
    ScriptRun run(link, PreciseTimer::factory(), o.commands);
    TrafficLog log(run.exchange(), link);
    QObject::connect(&log, &TrafficLog::failed, &app, complain);
    if (!o.logFile.isEmpty()) (void)log.open(o.logFile);

    if (!link.applySettings(o.settings) || !link.open()) {
        complain(link.failure().text());
        return 1;
    }
    closeOnSignals(app, link);

    bool allReplied = true;
    QObject::connect(&run, &ScriptRun::answered, &app, [&](const CommandResult &r) {
        allReplied = allReplied && r.replied;
        printLine(stdout, o.json ? jsonLine(r) : textLine(r));
    });
    QObject::connect(&run, &ScriptRun::finished, &app, [&] {
        link.close();
        QCoreApplication::exit(allReplied ? 0 : 3);
    });
    QObject::connect(&run, &ScriptRun::failed, &app, [&](const LinkFailure &failure) {
        complain(failure.text());
        link.close();
        QCoreApplication::exit(1);
    });
    QObject::connect(&link, &SerialLink::lost, &app, [&](const LinkFailure &failure) {
        complain(Ctl::tr("the device %1 went away (%2).").arg(link.deviceName(), failure.detail));
        link.close();
        QCoreApplication::exit(1);
    });
    run.start();
    return QCoreApplication::exec();
}
