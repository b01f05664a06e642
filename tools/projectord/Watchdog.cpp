// SPDX-License-Identifier: MIT
#include "Watchdog.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <utility>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

Watchdog::Watchdog(const TimerFactory &timers, Log log, QObject *parent)
    : QObject(parent), m_log(std::move(log)), m_socket(qgetenv("NOTIFY_SOCKET"))
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
    if (notify(m_socket, "WATCHDOG=1") || std::exchange(m_toldOfFailure, true)) return;
    if (m_log)
        m_log(QStringLiteral("cannot tell systemd's watchdog at %1 that the service runs (%2): "
                             "systemd will restart it")
                  .arg(QString::fromLocal8Bit(m_socket),
                       QString::fromLocal8Bit(std::strerror(errno))));
}

bool Watchdog::notify(const QByteArray &socket, const QByteArray &state)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket.isEmpty() || (socket[0] != '/' && socket[0] != '@') ||
        std::size_t(socket.size()) > sizeof(address.sun_path)) {
        errno = EINVAL;
        return false;
    }
    std::memcpy(address.sun_path, socket.constData(), socket.size());
    if (socket[0] == '@') address.sun_path[0] = '\0';
    // An abstract name is as long as it is; a path also takes its terminating NUL, if it fits.
    const auto length =
        socklen_t(offsetof(sockaddr_un, sun_path) + socket.size() +
                  (socket[0] == '/' && std::size_t(socket.size()) < sizeof(address.sun_path)));
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const ssize_t sent = ::sendto(fd, state.constData(), state.size(), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr *>(&address), length);
    const int error = errno;
    ::close(fd);
    errno = error;
    return sent == state.size();
}
