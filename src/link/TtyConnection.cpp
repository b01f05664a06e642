// SPDX-License-Identifier: MIT
#include "TtyConnection.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace std::chrono_literals;

namespace {
using Cause = LinkFailure::Cause;
using Action = LinkFailure::Action;

bool mayReadAndWrite(const QString &device)
{
#ifdef Q_OS_UNIX
    return ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0;
#else
    const QFileInfo info(device);
    return info.isReadable() && info.isWritable();
#endif
}

// A character device is the only thing with a line to set; anything else is refused by name
// before QSerialPort reports an unhelpful "Inappropriate ioctl" or "Is a directory".
bool isCharacterDevice(const QString &device)
{
#ifdef Q_OS_UNIX
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(device).constData(), &st) == 0 && S_ISCHR(st.st_mode);
#else
    Q_UNUSED(device);
    return true;
#endif
}

// EMFILE or ENFILE when no descriptor can be had now, else 0. QSerialPort reports a lock file
// it could not make for want of one as a permission error, with errno perhaps overwritten.
int descriptorShortage()
{
#ifdef Q_OS_UNIX
    const int fd = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return 0;
    }
    return LinkFailure::isOutOfDescriptors(errno) ? errno : 0;
#else
    return 0;
#endif
}

// The nearest folder on the way to the device that exists now: a /dev/serial/by-id folder goes
// away with its last adapter, so its parent is watched until it returns.
QString nearestExistingFolder(const QString &device)
{
    QString dir = QFileInfo(device).absolutePath();
    while (!QFileInfo(dir).isDir() && dir != QDir::rootPath()) dir = QFileInfo(dir).absolutePath();
    return dir;
}
} // namespace

TtyConnection::TtyConnection(const QString &device, QObject *parent) : Connection(parent)
{
    setDevice(device);
    connect(&m_port, &QSerialPort::readyRead, this, &Connection::received);
    connect(&m_port, &QSerialPort::errorOccurred, this, &TtyConnection::onError);
    // Only while a stalled reader holds bytes back: the kernel queue is re-tried until it takes
    // them, so nothing waits for the next click to go out.
    m_drain.setInterval(10ms);
    connect(&m_drain, &QTimer::timeout, this, &TtyConnection::retryQueuedWrite);
}

std::function<bool(const QString &)> &TtyConnection::accessCheck()
{
    static std::function<bool(const QString &)> check = mayReadAndWrite;
    return check;
}

bool TtyConnection::open(const LineSettings &settings)
{
    if (m_port.isOpen()) return true;
    m_settings = settings;
    if (device().isEmpty()) return fail(Action::Open, Cause::NoDevice);
    const QFileInfo info(device());
    if (!info.exists()) return fail(Action::Open, Cause::Missing);
    if (!isCharacterDevice(device())) return fail(Action::Open, Cause::NotSerialPort);
    m_port.setPortName(device());
    applyTo(m_settings);
    if (m_port.open(QIODevice::ReadWrite)) {
        m_lostPending = false;
        stopWatching();
        return true;
    }
    const int systemError = errno;
    const auto error = m_port.error();
    const QString systemText = m_port.errorString();
    m_port.clearError();
    // Before "in use": the lock file and the device each need a descriptor.
    if (const int shortage =
            LinkFailure::isOutOfDescriptors(systemError) ? systemError : descriptorShortage())
        return fail(LinkFailure::tooManyFiles(Action::Open, shortage));
    if (error == QSerialPort::DeviceNotFoundError) return fail(Action::Open, Cause::Missing);
    if (error == QSerialPort::PermissionError || error == QSerialPort::OpenError)
        return fail(Action::Open, accessCheck()(device()) ? Cause::InUse : Cause::NoPermission);
    // A character device that takes no line settings (/dev/null, a console).
    if (error == QSerialPort::UnsupportedOperationError ||
        systemText.contains(QLatin1String("ioctl")))
        return fail(Action::Open, Cause::NotSerialPort);
    return fail({Action::Open, Cause::System, 0, {}, {}, systemError});
}

void TtyConnection::close()
{
    m_drain.stop();
    m_lostPending = false;
    if (m_port.isOpen()) m_port.close();
}

bool TtyConnection::applySettings(const LineSettings &settings)
{
    m_settings = settings;
    applyTo(m_settings);
    return true;
}

void TtyConnection::applyTo(const LineSettings &s)
{
    // On an open port QSerialPort applies each of these at once, without reopening.
    m_port.setBaudRate(s.baud);
    m_port.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits));
    m_port.setStopBits(s.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    switch (s.parity) {
    case 'E': m_port.setParity(QSerialPort::EvenParity); break;
    case 'O': m_port.setParity(QSerialPort::OddParity); break;
    case 'M': m_port.setParity(QSerialPort::MarkParity); break;
    case 'S': m_port.setParity(QSerialPort::SpaceParity); break;
    default: m_port.setParity(QSerialPort::NoParity); break;
    }
    m_port.setFlowControl(QSerialPort::NoFlowControl);
}

bool TtyConnection::write(const QByteArray &bytes)
{
    if (!m_port.isOpen()) return fail(Action::Send, Cause::NotOpen);
    if (m_port.bytesToWrite() + bytes.size() > MaxQueuedBytes)
        return fail(
            {Action::Send, Cause::DeviceNotReading, 0, {}, {}, 0, -1, m_port.bytesToWrite()});
    if (m_port.write(bytes) != bytes.size()) {
        const int systemError = errno;
        m_port.clearError();
        return fail({Action::Send, Cause::System, 0, {}, {}, systemError});
    }
    // QSerialPort only queues the bytes for the next turn of the event loop; flushing hands them
    // to the device now. What a full kernel queue does not take stays queued, in order.
    m_port.flush();
    if (m_port.bytesToWrite() > 0 && !m_drain.isActive()) m_drain.start();
    return true;
}

void TtyConnection::retryQueuedWrite()
{
    if (!m_port.isOpen() || m_port.bytesToWrite() == 0) return m_drain.stop();
    m_port.flush();
}

// EAGAIN from a full output queue reaches us as ResourceError too, just like a device that was
// pulled out. Only a hang-up or error on the descriptor, or a vanished device node, is a loss.
bool TtyConnection::deviceIsGone() const
{
    if (!QFileInfo::exists(device())) return true;
#ifdef Q_OS_UNIX
    pollfd p{int(m_port.handle()), POLLOUT, 0};
    if (::poll(&p, 1, 0) < 0) return true;
    return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    return true;
#endif
}

void TtyConnection::onError(QSerialPort::SerialPortError error)
{
    const bool suspect = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
    if (!suspect || !m_port.isOpen() || m_lostPending) return;
    if (!deviceIsGone()) {
        m_port.clearError();
        if (m_port.bytesToWrite() > 0 && !m_drain.isActive()) m_drain.start();
        return;
    }
    // The port keeps reporting the error in a tight loop until it is closed, but closing from
    // inside its own signal is unsafe; close on the next turn and ignore the repeats meanwhile.
    m_lostPending = true;
    // errno is long gone by now; say whether the node went or only stopped answering.
    const int systemError = QFileInfo::exists(device()) ? EIO : ENODEV;
    QMetaObject::invokeMethod(
        this,
        [this, systemError] {
            if (!m_lostPending) return;
            m_lostPending = false;
            m_drain.stop();
            m_port.close();
            m_port.clearError();
            fail({Action::Lose, Cause::Gone, 0, {}, {}, systemError});
            Q_EMIT lost(failure());
        },
        Qt::QueuedConnection);
}

Connection::Backoff TtyConnection::backoff() const
{
    // A device node appears before udev has given it its group, and a device may be present
    // but still held by another program: such reopens are retried, soon at first.
    return {200ms, 5s};
}

bool TtyConnection::watchForReturn()
{
    // Present already (udev still at work, or busy): only a timed retry can tell.
    if (QFileInfo::exists(device())) return false;
    m_watching = true;
    // Made only now: its inotify descriptor would otherwise be polled at every wake-up of a
    // busy receive.
    if (!m_watcher) {
        m_watcher = std::make_unique<QFileSystemWatcher>();
        connect(m_watcher.get(), &QFileSystemWatcher::directoryChanged, this,
                &TtyConnection::checkReturn);
    }
    if (!m_watcher->directories().isEmpty()) m_watcher->removePaths(m_watcher->directories());
    m_watcher->addPath(nearestExistingFolder(device()));
    // It may have appeared between the check and the watch.
    if (QFileInfo::exists(device()))
        QMetaObject::invokeMethod(this, &TtyConnection::checkReturn, Qt::QueuedConnection);
    return true;
}

void TtyConnection::stopWatching()
{
    m_watching = false;
    // Gone with the wait, and with it its descriptor; later, since this may run inside the
    // watcher's own signal.
    if (m_watcher) m_watcher.release()->deleteLater();
}

void TtyConnection::checkReturn()
{
    if (!m_watching) return;
    if (QFileInfo::exists(device())) {
        stopWatching();
        Q_EMIT available();
        return;
    }
    // A folder on the way may have come back: watch the nearest one again.
    const QString folder = nearestExistingFolder(device());
    if (m_watcher && !m_watcher->directories().contains(folder)) {
        m_watcher->removePaths(m_watcher->directories());
        m_watcher->addPath(folder);
        // The device may have appeared between the change and the new watch.
        if (QFileInfo::exists(device())) checkReturn();
    }
}
