// SPDX-License-Identifier: MIT
#pragma once

#include <QPoint>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <chrono>
#include <cstring>

#include <poll.h>
#include <unistd.h>

namespace bench {

// A mouse click on a button of a shown window, as QTest delivers one to the QWindow, so Qt routes
// press and release to the button; without the processEvents QTest::mouseClick runs afterwards,
// which would paint the pressed and released button before the bench could read the line.
class Clicker
{
public:
    Clicker(QWidget &form, const QString &button)
    {
        m_window = form.windowHandle();
        auto *b = form.findChild<QWidget *>(button);
        if (!m_window || !b) qFatal("no window or no %s", qPrintable(button));
        m_at = b->mapTo(&form, b->rect().center());
    }
    void click()
    {
        send(QEvent::MouseButtonPress);
        send(QEvent::MouseButtonRelease);
    }

private:
    void send(QEvent::Type type)
    {
        const bool down = type == QEvent::MouseButtonPress;
        qt_handleMouseEvent(m_window, m_at, m_window->mapToGlobal(m_at),
                            down ? Qt::LeftButton : Qt::NoButton, Qt::LeftButton, type, {},
                            int(m_stamp));
        m_stamp += down ? 1 : 1000; // no two clicks make a double click
    }
    QWindow *m_window = nullptr;
    QPoint m_at;
    ulong m_stamp = 1000;
};

// Reads exactly the four bytes of `line` from a pseudo-terminal's master; false on anything else
// or after 2 s. It spins rather than sleeps: a line another process writes (projectord) is then
// timed when it reaches the device, not when this thread has woken up for it, a wake-up that a
// line written by this very thread never waits for.
inline bool readLine(int master, const char *line = "C00\r")
{
    char buf[64];
    qsizetype got = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (got < 4) {
        pollfd p{master, POLLIN, 0};
        const int ready = ::poll(&p, 1, 0);
        if (ready < 0) return false;
        if (ready == 0) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            continue;
        }
        const ssize_t n = ::read(master, buf + got, sizeof buf - got);
        if (n <= 0) return false;
        got += n;
    }
    return got == 4 && std::memcmp(buf, line, 4) == 0;
}

} // namespace bench
