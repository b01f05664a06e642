// SPDX-License-Identifier: MIT
#include "SerialEndpoint.h"

#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using sim::SerialEndpoint;

namespace {

int openSlave(const std::string &path)
{
    return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

// All that can be read within the deadline, up to `want` bytes.
QByteArray readUpTo(int fd, int want, int timeoutMs = 3000)
{
    QByteArray got;
    while (got.size() < want) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN)) break;
        char buf[64];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, int(n));
    }
    return got;
}

} // namespace

class TestSerialEndpoint : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bytesPassBothWaysUntouched();
    void panelClosingItsEndHangsNothingUp();
    void closingHangsUpThePanel();
    void missingDeviceIsAnError();
};

void TestSerialEndpoint::bytesPassBothWaysUntouched()
{
    std::string error;
    const auto pty = SerialEndpoint::openPseudoTerminal(19200, error);
    QVERIFY2(pty, error.c_str());
    QVERIFY(pty->isPseudoTerminal());
    const int panel = openSlave(pty->path());
    QVERIFY(panel >= 0);

    // CR and LF arrive as sent, either way: the line is raw.
    const QByteArray out("CR0\r\n\x06", 6);
    QCOMPARE(::write(panel, out.constData(), size_t(out.size())), ssize_t(out.size()));
    QCOMPARE(readUpTo(pty->fd(), out.size()), out);

    const QByteArray back("80\r\n", 4);
    QCOMPARE(::write(pty->fd(), back.constData(), 4), ssize_t(4));
    QCOMPARE(readUpTo(panel, 4), back);
    // And no echo: a reply coming back to the simulator would read as a command line. The echo
    // would be queued as the panel's end took the reply in, so a short look is enough.
    QCOMPARE(readUpTo(pty->fd(), 1, 100), QByteArray());
    ::close(panel);
}

void TestSerialEndpoint::panelClosingItsEndHangsNothingUp()
{
    std::string error;
    const auto pty = SerialEndpoint::openPseudoTerminal(19200, error);
    QVERIFY2(pty, error.c_str());

    for (int round = 0; round < 3; ++round) {
        const int panel = openSlave(pty->path());
        QVERIFY(panel >= 0);
        ::close(panel);
        // With nobody on the other end, the master must neither report a hang-up (poll would
        // spin) nor fail reads with EIO.
        pollfd p{pty->fd(), POLLIN, 0};
        QCOMPARE(poll(&p, 1, 0), 0);
        char c;
        QCOMPARE(::read(pty->fd(), &c, 1), ssize_t(-1));
        QCOMPARE(errno, EAGAIN);
    }
}

void TestSerialEndpoint::closingHangsUpThePanel()
{
    std::string error;
    const auto pty = SerialEndpoint::openPseudoTerminal(9600, error);
    QVERIFY2(pty, error.c_str());
    const int panel = openSlave(pty->path());
    QVERIFY(panel >= 0);
    pty->close();
    QCOMPARE(pty->fd(), -1);
    pollfd p{panel, POLLIN, 0};
    QCOMPARE(poll(&p, 1, 3000), 1);
    QVERIFY(p.revents & POLLHUP);
    ::close(panel);
}

void TestSerialEndpoint::missingDeviceIsAnError()
{
    std::string error;
    QVERIFY(!SerialEndpoint::openDevice("/nonexistent/ttyX", 19200, error));
    QVERIFY(error.find("/nonexistent/ttyX") != std::string::npos);
    // Not a terminal: refused rather than served.
    error.clear();
    QVERIFY(!SerialEndpoint::openDevice("/dev/null", 19200, error));
    QVERIFY(!error.empty());
}

QTEST_GUILESS_MAIN(TestSerialEndpoint)
#include "tst_serialendpoint.moc"
