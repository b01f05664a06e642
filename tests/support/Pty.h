// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

// A pseudo-terminal whose slave the panel opens as its serial port; the test plays the device
// on the master side.
class Pty
{
public:
    Pty()
    {
        int slave = -1;
        char name[256] = {};
        if (openpty(&m_master, &slave, name, nullptr, nullptr) != 0) return;
        termios t{};
        tcgetattr(m_master, &t);
        cfmakeraw(&t);
        tcsetattr(m_master, TCSANOW, &t);
        m_slaveName = QString::fromLocal8Bit(name);
        // Keeping a slave descriptor open stops the master from reading EIO while the panel
        // closes and reopens its side.
        m_slave = slave;
    }
    ~Pty()
    {
        closeMaster();
        if (m_slave >= 0) ::close(m_slave);
    }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool ok() const { return m_master >= 0; }
    QString device() const { return m_slaveName; }
    int master() const { return m_master; }
    // The panel's side, held open by the pty itself; a baseline may write through it.
    int slave() const { return m_slave; }

    // The device goes away: nobody holds the master any more.
    void closeMaster()
    {
        if (m_master >= 0) ::close(m_master);
        m_master = -1;
        if (m_slave >= 0) ::close(m_slave);
        m_slave = -1;
    }

    // From now on setUp() tells when a program has opened the other side as a serial port:
    // opening turns XON/XOFF off, which the kernel reports to a master in packet mode. Reads
    // then carry a leading status byte, so this is for pseudo-terminals that only watch.
    bool watchSetUp()
    {
        termios t{};
        tcgetattr(m_master, &t); // the slave's settings
        t.c_iflag |= IXON;
        t.c_cc[VSTART] = 021;
        t.c_cc[VSTOP] = 023;
        int on = 1;
        return tcsetattr(m_master, TCSANOW, &t) == 0 && ::ioctl(m_master, TIOCPKT, &on) == 0;
    }
    bool setUp(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000))
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd p{m_master, POLLIN | POLLPRI, 0};
            if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) <= 0) return false;
            char buf[4096];
            if (::read(m_master, buf, sizeof buf) <= 0) return false;
            if (buf[0] != TIOCPKT_DATA) return true;
        }
    }

    bool send(const QByteArray &bytes)
    {
        return ::write(m_master, bytes.data(), bytes.size()) == bytes.size();
    }

    // Reads until `count` bytes have arrived or `timeout` passes.
    QByteArray read(qsizetype count,
                    std::chrono::milliseconds timeout = std::chrono::milliseconds(3000))
    {
        QByteArray out;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (out.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{m_master, POLLIN, 0};
            if (::poll(&p, 1, int(left.count())) <= 0) break;
            char buf[4096];
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0) break;
            out.append(buf, n);
        }
        return out;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slaveName;
};
