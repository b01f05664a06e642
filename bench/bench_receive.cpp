// SPDX-License-Identifier: MIT
// Receive cost: a long reply fed into the receive path in 1-, 3- and 64-byte chunks while the
// reply window stays open, at 10 KB, 100 KB and 1 MB; then the line rate of 19200 baud played
// live over a pseudo-terminal into the real window on the real event loop.
#include "BenchCommon.h"
#include "DeviceLink.h"
#include "Form1.h"
#include "Panel.h"
#include "WindowRig.h"

#include <QApplication>
#include <QEventLoop>
#include <QSerialPort>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <map>
#include <memory>

using namespace bench;

namespace {

// Holds whatever the "device" sent until the receive handler reads it, as the serial port does.
class MemoryLink final : public SerialLink
{
public:
    bool isOpen() const override { return m_open; }
    bool open() override { return m_open = true; }
    void close() override { m_open = false; }
    bool setPortNumber(int port) override { return m_port = port, true; }
    int portNumber() const override { return m_port; }
    bool applySettings(const LineSettings &) override { return true; }
    bool write(const QByteArray &) override { return m_open; }
    QByteArray readAll() override { return std::exchange(m_inbox, QByteArray()); }
    QString deviceName() const override { return QStringLiteral("memory"); }

    void receive(const char *data, qsizetype size)
    {
        m_inbox.append(data, size);
        Q_EMIT received();
    }

private:
    bool m_open = false;
    int m_port = 1;
    QByteArray m_inbox;
};

// Never fires: the reply window stays open however long the feed takes.
class StillTimer final : public IntervalTimer
{
public:
    void setInterval(std::chrono::milliseconds i) override { m_interval = i; }
    std::chrono::milliseconds interval() const override { return m_interval; }
    void start() override { m_active = true; }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }
    std::chrono::milliseconds remainingTime() const override
    {
        return m_active ? m_interval : std::chrono::milliseconds(-1);
    }

private:
    std::chrono::milliseconds m_interval{0};
    bool m_active = false;
};

enum class Variant { Exchange, Window, WindowPainted };
const char *variantName(Variant v)
{
    switch (v) {
    case Variant::Exchange: return "path alone";
    case Variant::Window: return "with the window's label update";
    case Variant::WindowPainted: return "with label update and a repaint per chunk";
    }
    return "";
}

const OneShotButton &statusButton()
{
    for (const OneShotButton &b : OneShotButtons)
        if (qstrcmp(b.name, "Command44") == 0) return b;
    qFatal("no STATUS button");
}

// A reply-like stream: digits, letters and a CR now and then.
QByteArray makeInput(qsizetype size)
{
    static const char pattern[] = "0123456789ABCDEF\r";
    QByteArray input(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) input[i] = pattern[i % (sizeof pattern - 1)];
    return input;
}

struct Cost
{
    double cpuNsPerByte;
    double wallNsPerByte;
};

Cost feed(Variant variant, const QByteArray &input, int chunk)
{
    MemoryLink link;
    Panel panel(link, [] { return std::make_unique<StillTimer>(); });
    std::unique_ptr<Form1> form;
    if (variant != Variant::Exchange) {
        form = std::make_unique<Form1>(panel);
        form->place();
    }
    if (!panel.load()) qFatal("memory link did not open");
    if (form) {
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get())) qFatal("window not exposed");
        form->setFocus();
        panel.keyDown(72, 2); // Ctrl+H: the data area, and so the labels, in view
        QCoreApplication::processEvents();
    }
    panel.click(statusButton()); // opens the reply window
    QCoreApplication::processEvents();

    const bool paint = variant == Variant::WindowPainted;
    const long long cpu0 = threadCpuNs(), wall0 = nowNs();
    for (qsizetype at = 0; at < input.size(); at += chunk) {
        link.receive(input.constData() + at, std::min<qsizetype>(chunk, input.size() - at));
        if (paint) QCoreApplication::processEvents();
    }
    const long long cpu1 = threadCpuNs(), wall1 = nowNs();
    if (panel.exchange().replyPending() != 0) qFatal("the reply was not taken in");
    return {double(cpu1 - cpu0) / input.size(), double(wall1 - wall0) / input.size()};
}

// Plays 19200 baud (1920 bytes/s) one byte at a time into the pty until stopped.
class LinePlayer
{
public:
    explicit LinePlayer(int fd)
        : m_thread([this, fd] {
              static const char pattern[] = "0123456789ABCDEF\r";
              timespec next{};
              clock_gettime(CLOCK_MONOTONIC, &next);
              for (long i = 0; !m_stop; ++i) {
                  next.tv_nsec += 1000000000L / 1920;
                  if (next.tv_nsec >= 1000000000L) next.tv_nsec -= 1000000000L, ++next.tv_sec;
                  clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
                  [[maybe_unused]] auto n = ::write(fd, &pattern[i % 17], 1);
              }
          })
    {
    }
    ~LinePlayer()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// The event thread's CPU share while the real event loop runs for `seconds`.
double eventThreadShare(int seconds)
{
    const long long cpu0 = threadCpuNs(), wall0 = nowNs();
    QEventLoop loop;
    QTimer::singleShot(std::chrono::seconds(seconds), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    const long long cpu1 = threadCpuNs(), wall1 = nowNs();
    return double(cpu1 - cpu0) / double(wall1 - wall0);
}

enum class Live { PanelIdle, Panel, BarePort };

// The real window over the real link on a pty, as a user runs it, with the reply window opened
// by a click on STATUS; or, as the baseline, a bare QSerialPort that only reads.
double liveShare(Pty &pty, int seconds, Live what)
{
    if (what == Live::BarePort) {
        QSerialPort port(pty.device());
        port.setBaudRate(19200);
        if (!port.open(QIODevice::ReadWrite)) qFatal("cannot open %s", qPrintable(pty.device()));
        QObject::connect(&port, &QSerialPort::readyRead, &port, [&port] { port.readAll(); });
        LinePlayer player(pty.master());
        return eventThreadShare(seconds);
    }
    DeviceLink link(pty.device(), pty.device());
    WindowRig running(link, PreciseTimer::factory());
    if (!running.panel.load() || !running.show())
        qFatal("cannot start on %s", qPrintable(pty.device()));
    Panel &panel = running.panel;
    Form1 &form = running.form;
    panel.keyDown(72, 2);
    QWidget *status = form.findChild<QWidget *>(QStringLiteral("Command44"));
    QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {},
                      status->mapTo(&form, status->rect().center()));
    if (what == Live::PanelIdle) return eventThreadShare(seconds);
    LinePlayer player(pty.master());
    return eventThreadShare(seconds);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const bool quick = hasArg(argc, argv, "--quick");
    const bool liveOnly = hasArg(argc, argv, "--live"); // only the live rows, for quick trials
    QApplication app(argc, argv);
    Form1::prepareApplication();

    const qsizetype sizes[] = {10 * 1024, 100 * 1024, 1024 * 1024};
    const int chunks[] = {1, 3, 64};
    const Variant variants[] = {Variant::Exchange, Variant::Window, Variant::WindowPainted};

    for (Variant v : variants) {
        if (liveOnly) break;
        double worstNs = 0;
        for (int chunk : chunks) {
            std::map<qsizetype, Cost> best;
            for (qsizetype size : sizes) {
                const QByteArray input = makeInput(size);
                // The best of a few runs: the machine is shared, and only interference adds.
                const int runs = size >= 1024 * 1024 ? (quick ? 1 : 2) : (quick ? 2 : 5);
                Cost c{1e18, 1e18};
                for (int r = 0; r < runs; ++r) {
                    const Cost one = feed(v, input, chunk);
                    c.cpuNsPerByte = std::min(c.cpuNsPerByte, one.cpuNsPerByte);
                    c.wallNsPerByte = std::min(c.wallNsPerByte, one.wallNsPerByte);
                }
                best[size] = c;
                worstNs = std::max(worstNs, c.cpuNsPerByte);
            }
            const double small = best[sizes[0]].cpuNsPerByte, large = best[sizes[2]].cpuNsPerByte;
            note(std::string("receive, ") + variantName(v) + ", " + std::to_string(chunk) +
                 "-byte chunks: CPU ns/byte at 10 KB " + fmt("%.1f", small) + ", 100 KB " +
                 fmt("%.1f", best[sizes[1]].cpuNsPerByte) + ", 1 MB " + fmt("%.1f", large) +
                 " (wall " + fmt("%.1f", best[sizes[0]].wallNsPerByte) + " / " +
                 fmt("%.1f", best[sizes[1]].wallNsPerByte) + " / " +
                 fmt("%.1f", best[sizes[2]].wallNsPerByte) + ")");
            row(std::string("Receive, ") + variantName(v) + ", " + std::to_string(chunk) +
                    "-byte chunks: ns/byte at 1 MB vs 10 KB",
                fmt("%.1f", large), fmt("%.1f", small), fmt("%.2fx", large / small), "<= 1.5x",
                large <= 1.5 * small);
        }
        const double share = worstNs * 1920 / 1e9 * 100;
        row(std::string("Receive, ") + variantName(v) +
                ": CPU at 19200 baud (worst ns/byte x 1920 B/s)",
            fmt("%.3f", share) + " %", "-", fmt("%.0f ns/B", worstNs), "< 2 %", share < 2);
    }

    Pty pty;
    if (!pty.ok()) qFatal("no pseudo-terminal");
    const int seconds = quick ? 3 : 10;
    const double idle = liveShare(pty, seconds, Live::PanelIdle) * 100;
    // Alternated, the lower of two runs each: a single run of either may land on a busy moment
    // of a shared machine, and only interference adds.
    double live = 100, bare = 100;
    for (int r = 0; r < 2; ++r) {
        live = std::min(live, liveShare(pty, seconds, Live::Panel) * 100);
        bare = std::min(bare, liveShare(pty, seconds, Live::BarePort) * 100);
    }
    note("live: 1920 bytes/s, one byte per write, over a pty for " + std::to_string(seconds) +
         " s each, the lower of two alternated runs: the real window " + fmt("%.3f", live) +
         " % of the event thread, a bare "
         "QSerialPort that only reads " +
         fmt("%.3f", bare) +
         " %, the window with nothing "
         "arriving " +
         fmt("%.3f", idle) + " %");
    // Against the bare port, not an absolute share: every byte of a pty is a wake-up of the loop
    // that both pay, and what that costs depends on the machine and its load.
    row("Receive live at 19200 baud, 1 byte per read, real window: event-thread CPU",
        fmt("%.3f", live) + " %", fmt("%.3f", bare) + " % bare port", fmt("%.2fx", live / bare),
        "<= 1.5x bare port", live <= 1.5 * bare);
    return 0;
}
