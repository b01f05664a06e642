// SPDX-License-Identifier: MIT
// One client floods a projector through its OpenLine socket; what that costs everyone else:
// - projectord's resident memory during and after 100 000 lines sent as fast as the socket
//   takes them (non-blocking sends; each EAGAIN is counted and the sender waits for room), for
//   at most 10 s;
// - a Send on another projector during the flood against the same Send idle;
// - the LineSent signals the flood causes, per second, and how long they go on after it.
#include "BenchCommon.h"
#include "BusMembers.h"
#include "DbusDaemon.h"
#include "Probes.h"
#include "ProjectordProcess.h"
#include "ServiceNames.h"
#include "SimProcess.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QEventLoop>
#include <QFile>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <chrono>

#include <sys/socket.h>

using namespace bench;

namespace {

constexpr int Lines = 100000;
const QString Flooded = ServiceNames::projectorPath(QStringLiteral("flooded"));
const QString Other = ServiceNames::projectorPath(QStringLiteral("other"));

QDBusMessage method(const QString &path, const QString &member, const QVariantList &args = {})
{
    QDBusMessage m =
        QDBusMessage::createMethodCall(QLatin1String(ServiceNames::BusName), path,
                                       QLatin1String(ServiceNames::ProjectorInterface), member);
    m.setArguments(args);
    return m;
}

// The LineSent signals of the flooded projector, stamped as they arrive.
class SentCounter : public QObject
{
    Q_OBJECT
public:
    std::vector<long long> at; // ns
    std::size_t received = 0;  // Received signals, for the total
public Q_SLOTS:
    void onLineSent(const QByteArray &, const QString &, const QString &) { at.push_back(nowNs()); }
    void onReceived(const QByteArray &, const QString &) { ++received; }
};

} // namespace

int main(int argc, char **argv)
{
    const bool quick = hasArg(argc, argv, "--quick");
    QCoreApplication app(argc, argv);
    DbusDaemon bus;
    if (!bus.start()) qFatal("dbus-daemon: %s", qPrintable(bus.errors()));
    bus.useInThisProcess();
    SimProcess floodedSim, otherSim;
    if (!floodedSim.start({}) || !otherSim.start({})) qFatal("projector-sim did not start");
    ProjectordProcess service(bus);
    if (!service.start("[flooded]\ndevice = " + floodedSim.device().toUtf8() +
                       "\npoll = 0\n[other]\ndevice = " + otherSim.device().toUtf8() +
                       "\npoll = 0\n"))
        qFatal("projectord did not start: %s", service.errors().constData());
    const qint64 pid = service.process().processId();
    QDBusConnection client = bus.connect(QStringLiteral("bench-flood"));
    const auto online = [&](const QString &path) {
        QDBusMessage get = QDBusMessage::createMethodCall(
            QLatin1String(ServiceNames::BusName), path,
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << QLatin1String(ServiceNames::ProjectorInterface)
            << QLatin1String(BusMembers::Projector::Property::Online);
        return qvariant_cast<QDBusVariant>(client.call(get).arguments().value(0))
            .variant()
            .toBool();
    };
    if (!QTest::qWaitFor([&] { return online(Flooded) && online(Other); }, 10000))
        qFatal("the projectors did not come online");
    SentCounter sent;
    client.connect(QLatin1String(ServiceNames::BusName), Flooded,
                   QLatin1String(ServiceNames::ProjectorInterface),
                   QLatin1String(BusMembers::Projector::Signal::LineSent), &sent,
                   SLOT(onLineSent(QByteArray, QString, QString)));
    client.connect(QLatin1String(ServiceNames::BusName), Flooded,
                   QLatin1String(ServiceNames::ProjectorInterface),
                   QLatin1String(BusMembers::Projector::Signal::Received), &sent,
                   SLOT(onReceived(QByteArray, QString)));

    // One Send on the other projector, timed from the call to its answer.
    const auto sendMs = [&] {
        const long long t0 = nowNs();
        auto *w = new QDBusPendingCallWatcher(
            client.asyncCall(method(Other, QLatin1String(BusMembers::Projector::Method::Send),
                                    {QStringLiteral("status")}),
                             60000),
            &app);
        QEventLoop loop;
        QObject::connect(w, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        loop.exec();
        if (w->isError()) qFatal("Send: %s", qPrintable(w->error().message()));
        w->deleteLater();
        return (nowNs() - t0) / 1e6;
    };
    std::vector<double> idleMs;
    for (int i = 0; i < (quick ? 3 : 7); ++i) idleMs.push_back(sendMs());
    const double idle = percentile(idleMs, 50);
    QTest::qWait(200);
    const double rssBefore = residentKb(pid) / 1024.0;

    const QDBusMessage opened =
        client.call(method(Flooded, QLatin1String(BusMembers::Projector::Method::OpenLine)));
    if (opened.type() != QDBusMessage::ReplyMessage)
        qFatal("OpenLine: %s", qPrintable(opened.errorMessage()));
    const QDBusUnixFileDescriptor socket =
        qdbus_cast<QDBusUnixFileDescriptor>(opened.arguments().value(0));
    // The flood: each line sent the moment the socket has room for it, as a client that writes
    // in a loop does; every refusal (EAGAIN) counted. Until all are sent or the time is up, as
    // a paced line takes far longer than that for them all.
    const long long floodNs = (quick ? 5 : 10) * 1000000000LL;
    std::atomic<int> refused{0}, accepted{0};
    std::atomic<bool> flooding{true};
    std::atomic<long long> floodEnd{0};
    std::thread flooder([&] {
        const int fd = socket.fileDescriptor();
        const long long end = nowNs() + floodNs;
        while (accepted < Lines && nowNs() < end) {
            if (::send(fd, "CR0\r", 4, MSG_DONTWAIT | MSG_NOSIGNAL) == 4) {
                ++accepted;
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                qFatal("the flood's socket failed: %s", std::strerror(errno));
            ++refused;
            pollfd room{fd, POLLOUT, 0};
            ::poll(&room, 1, int(std::max(1LL, (end - nowNs()) / 1000000)));
        }
        floodEnd = nowNs();
        flooding = false;
    });
    double rssPeak = rssBefore;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, &app,
                     [&] { rssPeak = std::max(rssPeak, residentKb(pid) / 1024.0); });
    sampler.start(50);
    const long long floodStart = nowNs();
    std::vector<double> floodMs;
    while (flooding) floodMs.push_back(sendMs());
    flooder.join();
    const auto sentDuring =
        std::count_if(sent.at.cbegin(), sent.at.cend(), [&](long long t) { return t <= floodEnd; });
    // What the flood left queued: LineSent goes on until the last accepted line is out.
    if (!QTest::qWaitFor(
            [&] { return !sent.at.empty() && nowNs() - sent.at.back() > 2000000000LL; }, 120000))
        note("LineSent signals still came two minutes after the flood");
    sampler.stop();
    const double tailS = sent.at.empty() ? 0 : std::max(0.0, (sent.at.back() - floodEnd) / 1e9);
    const double rssAfter = residentKb(pid) / 1024.0;
    rssPeak = std::max(rssPeak, rssAfter);
    const double during = percentile(floodMs, 50);
    const double growth = rssPeak - rssBefore;

    note("OpenLine flood of up to " + std::to_string(Lines) + " lines of 4 bytes for up to " +
         fmt("%.0f", floodNs / 1e9) +
         " s, each sent once the socket had room: " + std::to_string(accepted) + " sent in " +
         fmt("%.1f", (floodEnd - floodStart) / 1e9) + " s, " + std::to_string(refused) +
         " sends refused with EAGAIN on the way; " + std::to_string(sent.at.size()) +
         " LineSent signals, " + fmt("%.0f", sentDuring / ((floodEnd - floodStart) / 1e9)) +
         " a second during the flood, the last " + fmt("%.1f", tailS) + " s after it; " +
         std::to_string(sent.received) + " Received signals");
    note("projectord's resident memory: " + fmt("%.1f", rssBefore) + " MB before the flood, " +
         fmt("%.1f", rssPeak) + " MB at most, " + fmt("%.1f", rssAfter) +
         " MB once its signals stopped");
    note("Send \"status\" on another projector: idle median " + fmt("%.1f", idle) +
         " ms; during the flood median " + fmt("%.1f", during) + " ms, max " +
         fmt("%.1f", percentile(floodMs, 100)) + " ms over " + std::to_string(floodMs.size()) +
         " Sends");
    row("OpenLine flood, 100k lines: projectord RSS growth (MB)", fmt("%.1f", growth), "0",
        "+" + fmt("%.1f", growth) + " MB", "<= 5 MB", growth <= 5);
    row("Send on another projector during the flood (ms, median)", fmt("%.1f", during),
        fmt("%.1f", idle), fmt("%.2fx", during / idle), "<= 1.2x", during <= 1.2 * idle);
    return 0;
}

#include "bench_flood.moc"
