// SPDX-License-Identifier: MIT
#include "SerialEndpoint.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

std::string failure(const char *what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

bool makeRaw(int fd, int baud, bool realPort, std::string &error)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        error = failure("tcgetattr");
        return false;
    }
    cfmakeraw(&t);
    // 8N1, no flow control, and no modem lines to wait for.
    t.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    const speed_t speed = baud == 9600 ? B9600 : B19200;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
        error = failure("tcsetattr");
        return false;
    }
    if (realPort) tcflush(fd, TCIOFLUSH);
    return true;
}

} // namespace

std::unique_ptr<SerialEndpoint> SerialEndpoint::openPseudoTerminal(int baud, std::string &error,
                                                                   std::optional<gid_t> group)
{
    std::unique_ptr<SerialEndpoint> e(new SerialEndpoint);
    e->m_fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (e->m_fd < 0) {
        error = failure("posix_openpt");
        return nullptr;
    }
    // Some systems ignore O_NONBLOCK on posix_openpt; the loop must never block on the master.
    fcntl(e->m_fd, F_SETFL, fcntl(e->m_fd, F_GETFL) | O_NONBLOCK);
    if (grantpt(e->m_fd) != 0 || unlockpt(e->m_fd) != 0) {
        error = failure("grantpt/unlockpt");
        return nullptr;
    }
    char name[128];
    if (ptsname_r(e->m_fd, name, sizeof name) != 0) {
        error = failure("ptsname");
        return nullptr;
    }
    e->m_path = name;
    // Held for the whole run: while any slave fd is open, reading the master never fails with
    // EIO, whatever the panel does with its own end.
    e->m_keepAlive = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (e->m_keepAlive < 0) {
        error = failure("open pseudo-terminal slave");
        return nullptr;
    }
    if (group && (fchown(e->m_keepAlive, uid_t(-1), *group) != 0 ||
                  fchmod(e->m_keepAlive, S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP) != 0)) {
        error = failure(("chgrp " + e->m_path).c_str());
        return nullptr;
    }
    // Raw on the slave side, which is where the line discipline acts: no echo of what the
    // panel sends, no CR/LF translation of what it receives.
    if (!makeRaw(e->m_keepAlive, baud, false, error)) return nullptr;
    return e;
}

std::unique_ptr<SerialEndpoint> SerialEndpoint::openDevice(const std::string &path, int baud,
                                                           std::string &error)
{
    std::unique_ptr<SerialEndpoint> e(new SerialEndpoint);
    e->m_path = path;
    e->m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (e->m_fd < 0) {
        error = failure(path.c_str());
        return nullptr;
    }
    if (!makeRaw(e->m_fd, baud, true, error)) return nullptr;
    return e;
}

void SerialEndpoint::close()
{
    // Master first: the panel sees the hang-up at once rather than when our slave fd goes.
    if (m_fd >= 0) ::close(m_fd);
    if (m_keepAlive >= 0) ::close(m_keepAlive);
    m_fd = m_keepAlive = -1;
}

SerialEndpoint::~SerialEndpoint()
{
    close();
}

} // namespace sim
