// SPDX-License-Identifier: MIT
#include "CtlOptions.h"
#include "CtlSession.h"
#include "DeviceLink.h"
#include "EndOnSignals.h"
#include "ListRun.h"
#include "PanelVersion.h"
#include "Translations.h"

#include <QCoreApplication>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Whether a standard descriptor was closed (>&-). It is given /dev/null, so that the serial
// port or the log, opened later, cannot take its number and receive what is meant for it.
bool wasClosed(int fd)
{
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) return false;
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0 && null != fd) {
        ::dup2(null, fd);
        ::close(null);
    }
    return true;
}

void complain(const QString &message)
{
    std::fputs(qPrintable(QStringLiteral("projector-ctl: ") + message + u'\n'), stderr);
}

} // namespace

int main(int argc, char *argv[])
{
    wasClosed(STDIN_FILENO);
    wasClosed(STDERR_FILENO);
    const bool outputClosed = wasClosed(STDOUT_FILENO);
    // Output into a pipe whose reader has gone (| head -1) fails a write instead of ending the
    // run with the port unclosed; so does a traffic log into one.
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("projector-ctl"));
    QCoreApplication::setApplicationVersion(QLatin1String(PanelVersion));
    Translations::install();

    const auto parsed = CtlOptions::parse(QCoreApplication::arguments());
    if (parsed.action == CtlOptions::Parsed::Action::Error) {
        std::fputs(qPrintable(parsed.text), stderr);
        return CtlOptions::ExitUsage;
    }
    if (outputClosed) {
        complain(CtlOptions::tr("the standard output is closed; nothing is sent."));
        return CtlOptions::ExitOutputFailed;
    }
    if (parsed.action != CtlOptions::Parsed::Action::Run) {
        const bool written =
            std::fputs(qPrintable(parsed.text), stdout) >= 0 && std::fflush(stdout) == 0;
        return written ? CtlOptions::ExitAnswered : CtlOptions::ExitOutputFailed;
    }

    if (parsed.options.list) {
        ListRun list(parsed.options.json, stdout, stderr);
        return list.exec();
    }

    DeviceLink link(parsed.options.device, QString());
    // A device that projectord holds is shared through it, and there another client's reply is
    // never printed as ours.
    link.setThroughService(true);
    link.setOwnRepliesOnly(true);
    CtlSession session(link, PreciseTimer::factory(), parsed.options, stdout, stderr);
    // Interrupted or terminated, the program still closes the port, which gives the line back
    // with the settings it had before.
    EndOnSignals::install(&app, [&link](int number) {
        link.close();
        QCoreApplication::exit(CtlOptions::ExitSignalBase + number);
    });
    return session.exec();
}
