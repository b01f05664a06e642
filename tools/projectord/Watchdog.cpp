// SPDX-License-Identifier: MIT
#include "Watchdog.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include <unistd.h>

Watchdog::Watchdog(const TimerFactory &timers, Log log, QObject *parent)
    : QObject(parent), m_log(std::move(log)), m_socket(qgetenv("NOTIFY_SOCKET")), m_notify(m_socket)
{
    bool ok = false;
    const qulonglong usec = qEnvironmentVariable("WATCHDOG_USEC").toULongLong(&ok);
    if (!ok || usec == 0 || m_socket.isEmpty()) return;
    // Set by systemd for the main process; a child that inherited it is not the one watched.
    const QByteArray pid = qgetenv("WATCHDOG_PID");
    if (!pid.isEmpty() && (pid.toLongLong(&ok) != ::getpid() || !ok)) return;
    m_timer = timers();
    // Half the period, as systemd advises: a tick a little late still comes in time.
    m_timer->setInterval(
        std::max(std::chrono::milliseconds(1), std::chrono::milliseconds(usec / 2000)));
    connect(m_timer.get(), &IntervalTimer::timeout, this, &Watchdog::pet);
}

Watchdog::~Watchdog() = default;

void Watchdog::start()
{
    if (!m_timer) return;
    pet();
    m_timer->start();
}

void Watchdog::pet()
{
    if (m_notify.send("WATCHDOG=1") || std::exchange(m_toldOfFailure, true)) return;
    if (m_log)
        m_log(QStringLiteral("cannot tell systemd's watchdog at %1 that the service runs (%2): "
                             "systemd will restart it")
                  .arg(QString::fromLocal8Bit(m_socket),
                       QString::fromLocal8Bit(std::strerror(errno))));
}
