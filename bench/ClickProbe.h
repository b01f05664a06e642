// SPDX-License-Identifier: MIT
#pragma once

#include <QPoint>
#include <QTest>
#include <QWidget>
#include <QWindow>

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

// Reads exactly the four bytes of `line` from a pseudo-terminal's master, polling in this
// thread; false on anything else or after 2 s.
inline bool readLine(int master, const char *line = "C00\r")
{
    char buf[64];
    qsizetype got = 0;
    while (got < 4) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) return false;
        const ssize_t n = ::read(master, buf + got, sizeof buf - got);
        if (n <= 0) return false;
        got += n;
    }
    return got == 4 && std::memcmp(buf, line, 4) == 0;
}

} // namespace bench
