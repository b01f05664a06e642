// SPDX-License-Identifier: MIT
#include "EndOnSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int number)
{
    const int saved = errno;
    const char c = char(number);
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &c, 1);
    errno = saved;
}

} // namespace

bool EndOnSignals::install(QObject *context, std::function<void(int)> end)
{
    if (signalPipe[0] >= 0 || ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [end = std::move(end)] {
        char number = 0;
        while (::read(signalPipe[0], &number, 1) == 1) end(number);
    });
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    // A write to the output or the log that the signal interrupts goes on.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(number, &action, nullptr);
    return true;
}
