// SPDX-License-Identifier: MIT
#include "Lifetime.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

// A handler may only write: the pipe brings each signal to the event loop.
int signalWriteEnd = -1;

void onSignalNumber(int number)
{
    const char c = char(number);
    [[maybe_unused]] const auto n = ::write(signalWriteEnd, &c, 1);
}

} // namespace

Lifetime::Lifetime(Log log, QObject *parent) : QObject(parent), m_log(std::move(log)) {}

Lifetime::~Lifetime()
{
    if (m_pipe[0] < 0) return;
    struct sigaction action
    {
    };
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int number : {SIGINT, SIGTERM}) ::sigaction(number, &action, nullptr);
    // A SIGHUP while the last destructors run still ends nothing.
    action.sa_handler = SIG_IGN;
    ::sigaction(SIGHUP, &action, nullptr);
    signalWriteEnd = -1;
    delete m_notifier;
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

bool Lifetime::catchSignals()
{
    if (m_pipe[0] >= 0) return true;
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    signalWriteEnd = m_pipe[1];
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &Lifetime::onSignal);
    struct sigaction action
    {
    };
    action.sa_handler = onSignalNumber;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(number, &action, nullptr);
    return true;
}

void Lifetime::onSignal()
{
    char numbers[16];
    const ssize_t n = ::read(m_pipe[0], numbers, sizeof numbers);
    for (ssize_t i = 0; i < n; ++i) {
        switch (numbers[i]) {
        case SIGHUP: m_log(QStringLiteral("SIGHUP: reload is not supported yet; ignored")); break;
        case SIGINT: stop(0, QStringLiteral("stopping on SIGINT")); break;
        default: stop(0, QStringLiteral("stopping on SIGTERM")); break;
        }
    }
}

void Lifetime::stop(int status, const QString &why)
{
    if (m_stopping) return;
    m_stopping = true;
    m_log(why);
    if (m_close) m_close();
    QCoreApplication::exit(status);
}
