// SPDX-License-Identifier: MIT
#include "Datagram.h"

#include <cerrno>
#include <cstddef>
#include <cstring>

#include <unistd.h>

Datagram::Datagram(const QByteArray &socket)
{
    m_address.sun_family = AF_UNIX;
    if (socket.isEmpty() || (socket[0] != '/' && socket[0] != '@') ||
        std::size_t(socket.size()) > sizeof(m_address.sun_path))
        return;
    std::memcpy(m_address.sun_path, socket.constData(), socket.size());
    if (socket[0] == '@') m_address.sun_path[0] = '\0';
    // An abstract name is as long as it is; a path also takes its terminating NUL, if it fits.
    m_length =
        socklen_t(offsetof(sockaddr_un, sun_path) + socket.size() +
                  (socket[0] == '/' && std::size_t(socket.size()) < sizeof(m_address.sun_path)));
}

Datagram::~Datagram()
{
    if (m_fd >= 0) ::close(m_fd);
}

bool Datagram::send(const QByteArray &bytes)
{
    if (!isValid()) {
        errno = EINVAL;
        return false;
    }
    if (m_fd < 0) m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) return false;
    return ::sendto(m_fd, bytes.constData(), bytes.size(), MSG_NOSIGNAL,
                    reinterpret_cast<const sockaddr *>(&m_address), m_length) == bytes.size();
}
