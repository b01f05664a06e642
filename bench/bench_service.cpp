// SPDX-License-Identifier: MIT
// projectord on a private bus, each figure beside its baseline measured in the same run:
// - click to wire: the real window through the service against the real window on its own line;
// - projector-ctl status through the service against projector-ctl on its own line;
// - sixteen projectors, one Send to each at once, against one Send alone;
// - the service's wake-ups while nothing is due.
#include "BenchCommon.h"
#include "BusMembers.h"
#include "ClickProbe.h"
#include "DbusDaemon.h"
#include "DeviceLink.h"
#include "Form1.h"
#include "Panel.h"
#include "ProjectordProcess.h"
#include "ServiceNames.h"
#include "SimProcess.h"
#include "WindowRig.h"

#include <QApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDir>
#include <QTest>

#include <memory>

using namespace bench;

namespace {

constexpr int Projectors = 16;
constexpr double ReplyWindowMs = 500;

double runMs(std::vector<std::string> args)
{
    const Exit e = runOnce(args);
    if (e.status != 0) qFatal("%s %s exited with %d", args[0].c_str(), args[2].c_str(), e.status);
    return e.ms;
}

// Voluntary and involuntary context switches of every thread of a process: each is a wake-up.
long long contextSwitches(qint64 pid)
{
    long long sum = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &t : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks.filePath(t + QStringLiteral("/status")));
        if (!f.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray &line : f.readAll().split('\n'))
            if (line.contains("ctxt_switches:"))
                sum += line.split('\t').last().trimmed().toLongLong();
    }
    return sum;
}

QString path(int i)
{
    return ServiceNames::projectorPath(QStringLiteral("p%1").arg(i, 2, 10, QLatin1Char('0')));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const bool quick = hasArg(argc, argv, "--quick");
    QApplication app(argc, argv);
    Form1::prepareApplication();

    DbusDaemon bus;
    if (!bus.start()) qFatal("dbus-daemon: %s", qPrintable(bus.errors()));
    // This program's clients and the programs it starts find the service on the private bus.
    bus.useInThisProcess();

    Pty viaPty, ownPty;
    if (!viaPty.ok() || !ownPty.ok()) qFatal("no pseudo-terminal");
    std::vector<std::unique_ptr<SimProcess>> sims;
    QByteArray config = "[click]\ndevice = " + viaPty.device().toUtf8() + "\npoll = 0\n";
    for (int i = 0; i <= Projectors; ++i) { // the last one stays the service's stranger
        sims.push_back(std::make_unique<SimProcess>());
        if (!sims.back()->start({})) qFatal("projector-sim did not start");
        if (i == 0 || i == Projectors) continue;
        config += QStringLiteral("[p%1]\ndevice = %2\npoll = 3600\n")
                      .arg(i, 2, 10, QLatin1Char('0'))
                      .arg(sims[i]->device())
                      .toUtf8();
    }
    config += "[p00]\ndevice = " + sims[0]->device().toUtf8() + "\npoll = 3600\n";
    ProjectordProcess service(bus);
    if (!service.start(config))
        qFatal("projectord did not start: %s", service.errors().constData());
    QDBusConnection client = bus.connect(QStringLiteral("bench"));

    // The status reads every projector makes as it comes online are over before anything is
    // measured: the last of them is the orientation.
    const auto orientationRead = [&](int i) {
        QDBusMessage get = QDBusMessage::createMethodCall(
            QLatin1String(ServiceNames::BusName), path(i),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << QLatin1String(ServiceNames::ProjectorInterface)
            << QStringLiteral("OrientationReadAt");
        const QDBusMessage r = client.call(get);
        return r.type() == QDBusMessage::ReplyMessage &&
               qvariant_cast<QDBusVariant>(r.arguments().value(0)).variant().toLongLong() > 0;
    };
    for (int i = 0; i < Projectors; ++i)
        if (!QTest::qWaitFor([&] { return orientationRead(i); }, 10000))
            qFatal("p%02d read no status at start", i);

    // 1. Click to wire.
    DeviceLink viaLink(QStringLiteral("service:click"), QStringLiteral("service:click"));
    DeviceLink ownLink(ownPty.device(), ownPty.device());
    WindowRig via(viaLink, PreciseTimer::factory()), own(ownLink, PreciseTimer::factory());
    if (!via.panel.load() || !own.panel.load() || !via.show() || !own.show())
        qFatal("the windows did not start");
    if (!QTest::qWaitFor([&] { return viaLink.isOpen(); }, 5000))
        qFatal("the window did not reach the service: %s", qPrintable(viaLink.errorString()));
    Clicker viaClick(via.form, QStringLiteral("Command17"));
    Clicker ownClick(own.form, QStringLiteral("Command17"));
    const int clicks = quick ? 300 : 2000, warmUp = 50;
    std::vector<double> viaUs, ownUs;
    for (int i = 0; i < warmUp + clicks; ++i) {
        QCoreApplication::processEvents();
        long long t0 = nowNs();
        viaClick.click();
        if (!readLine(viaPty.master())) qFatal("click %d through the service: nothing came", i);
        const double v = (nowNs() - t0) / 1e3;
        QCoreApplication::processEvents();
        t0 = nowNs();
        ownClick.click();
        if (!readLine(ownPty.master())) qFatal("click %d on its own line: nothing came", i);
        const double o = (nowNs() - t0) / 1e3;
        if (i < warmUp) continue;
        viaUs.push_back(v);
        ownUs.push_back(o);
    }
    const double vMed = percentile(viaUs, 50), oMed = percentile(ownUs, 50);
    note("click to wire over " + std::to_string(clicks) +
         " clicks on POWER ON each, alternating: through projectord median " + fmt("%.1f", vMed) +
         " us, p99 " + fmt("%.1f", percentile(viaUs, 99)) + " us; the window on its own line " +
         fmt("%.1f", oMed) + " us, p99 " + fmt("%.1f", percentile(ownUs, 99)) + " us");
    row("Click to wire through the service (us, median)", fmt("%.1f", vMed), fmt("%.1f", oMed),
        fmt("%.2fx", vMed / oMed), "<= 1.5x", vMed <= 1.5 * oMed ? "yes" : "no");

    // 2. projector-ctl status.
    const std::vector<std::string> viaCtl{CTL_EXE, "--device", "service:p01", "status"};
    const std::vector<std::string> ownCtl{CTL_EXE, "--device",
                                          sims[Projectors]->device().toStdString(), "status"};
    const int runs = quick ? 5 : 15;
    std::vector<double> viaMs, ownMs;
    for (int i = -1; i < runs; ++i) {
        const double v = runMs(viaCtl), o = runMs(ownCtl);
        if (i < 0) continue;
        viaMs.push_back(v);
        ownMs.push_back(o);
    }
    const double cv = percentile(viaMs, 50), co = percentile(ownMs, 50);
    note("projector-ctl status over " + std::to_string(runs) +
         " runs each, exec to exit: " + "through projectord " + fmt("%.1f", cv) + " ms (max " +
         fmt("%.1f", percentile(viaMs, 100)) + "), on its own line " + fmt("%.1f", co) +
         " ms (max " + fmt("%.1f", percentile(ownMs, 100)) +
         "); both wait out the 500 ms reply window");
    row("projector-ctl status through the service (ms, median)", fmt("%.1f", cv), fmt("%.1f", co),
        "+" + fmt("%.1f", cv - co) + " ms; " + fmt("%.1f", cv - ReplyWindowMs) +
            " ms beyond the window",
        "<= +10 ms", cv - co <= 10 ? "yes" : "no");

    // 3. Sixteen projectors at once against one.
    const auto sendAll = [&](int count) {
        int left = count;
        const long long t0 = nowNs();
        for (int i = 0; i < count; ++i) {
            QDBusMessage send =
                QDBusMessage::createMethodCall(QLatin1String(ServiceNames::BusName), path(i),
                                               QLatin1String(ServiceNames::ProjectorInterface),
                                               QLatin1String(BusMembers::Projector::Method::Send));
            send << QStringLiteral("status");
            auto *w = new QDBusPendingCallWatcher(client.asyncCall(send), &app);
            QObject::connect(w, &QDBusPendingCallWatcher::finished, &app, [&left, w] {
                if (w->isError()) qFatal("Send: %s", qPrintable(w->error().message()));
                --left;
                w->deleteLater();
            });
        }
        if (!QTest::qWaitFor([&] { return left == 0; }, 10000)) qFatal("Sends unanswered");
        return (nowNs() - t0) / 1e6;
    };
    std::vector<double> oneMs, allMs;
    for (int i = 0; i < (quick ? 3 : 9); ++i) {
        oneMs.push_back(sendAll(1));
        allMs.push_back(sendAll(Projectors));
    }
    const double one = percentile(oneMs, 50), all = percentile(allMs, 50);
    note("Send \"status\" answered at its reply window's end: one projector " + fmt("%.1f", one) +
         " ms, sixteen at once all answered in " + fmt("%.1f", all) + " ms (max " +
         fmt("%.1f", percentile(allMs, 100)) + ")");
    row("16 projectors, one Send each at once (ms, median)", fmt("%.1f", all), fmt("%.1f", one),
        fmt("%.2fx", all / one), "<= 1.2x", all <= 1.2 * one ? "yes" : "no");

    // 4. Wake-ups while no poll is due: the windows and clients above are all quiet now.
    viaLink.close();
    QTest::qWait(1500); // the last display clear and reply windows fall due first
    const qint64 pid = service.process().processId();
    const int seconds = quick ? 5 : 20;
    const long long before = contextSwitches(pid);
    QTest::qWait(seconds * 1000);
    const double perSecond = double(contextSwitches(pid) - before) / seconds;
    note("projectord's context switches, all threads, over " + std::to_string(seconds) +
         " s with 17 projectors online and the next poll an hour away: " + fmt("%.2f", perSecond) +
         " per second");
    row("projectord idle wake-ups (per second)", fmt("%.2f", perSecond), "0", "-", "0",
        perSecond == 0 ? "yes" : "no");
    return 0;
}
