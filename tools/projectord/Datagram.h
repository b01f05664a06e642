// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <sys/socket.h>
#include <sys/un.h>

// Datagrams to one of systemd's unix sockets, named as its environment names them: a path, or
// '@' and an abstract name. The journal and the watchdog both speak a datagram protocol; the
// descriptor is opened at the first send and kept.
class Datagram
{
public:
    explicit Datagram(const QByteArray &socket);
    ~Datagram();
    Datagram(const Datagram &) = delete;
    Datagram &operator=(const Datagram &) = delete;

    // False for an empty name, or one that is no such socket's: nothing is ever sent.
    bool isValid() const { return m_length > 0; }
    // False, with errno set, when `bytes` did not go out whole.
    bool send(const QByteArray &bytes);

private:
    sockaddr_un m_address{};
    socklen_t m_length = 0;
    int m_fd = -1;
};
