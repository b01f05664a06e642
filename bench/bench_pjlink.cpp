// SPDX-License-Identifier: MIT
// A power status read three ways in one run: "%1POWR ?" over projectord's PJLink port, the
// same read through the service's D-Bus Send, and projector-ctl opening a line of its own from
// exec to exit. All three wait out the 500 ms reply window; what is left is what each way costs.
#include "BenchCommon.h"
#include "BusMembers.h"
#include "DbusDaemon.h"
#include "Probes.h"
#include "ProjectordProcess.h"
#include "ServiceNames.h"
#include "SimProcess.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QTcpServer>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

using namespace bench;

namespace {

double runCtl(std::vector<std::string> args)
{
    const Exit e = runOnce(std::move(args));
    if (e.status != 0) qFatal("projector-ctl failed");
    return e.ms;
}

std::string summary(std::vector<double> &v)
{
    return fmt("%.1f", percentile(v, 50)) + " ms (min " + fmt("%.1f", percentile(v, 0)) + ", max " +
           fmt("%.1f", percentile(v, 100)) + ")";
}

} // namespace

int main(int argc, char **argv)
{
    const bool quick = hasArg(argc, argv, "--quick");
    QCoreApplication app(argc, argv);
    SimProcess held, own; // the service's line, and projector-ctl's own
    if (!held.start({}) || !own.start({})) qFatal("projector-sim did not start");

    // The service on a private bus of its own, never the machine's.
    DbusDaemon bus;
    if (!bus.start()) qFatal("dbus-daemon: %s", qPrintable(bus.errors()));
    QTcpServer probe; // a free port for PJLink
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    ProjectordProcess service(bus);
    if (!service.start(QStringLiteral("[hall-1]\ndevice = %1\npoll = 0\npjlink = 127.0.0.1:%2\n")
                           .arg(held.device())
                           .arg(port)
                           .toUtf8()))
        qFatal("projectord did not start: %s", service.errors().constData());
    QDBusConnection dbus = bus.connect(QStringLiteral("bench"));
    const QDBusMessage send =
        QDBusMessage::createMethodCall(QLatin1String(ServiceNames::BusName),
                                       ServiceNames::projectorPath(QStringLiteral("hall-1")),
                                       QLatin1String(ServiceNames::ProjectorInterface),
                                       QLatin1String(BusMembers::Projector::Method::Send))
        << QStringLiteral("status");
    const auto viaDbus = [&] {
        const long long t0 = nowNs();
        const QDBusMessage r = dbus.call(send, QDBus::Block, 5000);
        // Its answer: the code, the reply, whether it was answered, the reading.
        if (r.type() != QDBusMessage::ReplyMessage || !r.arguments().value(2).toBool()) return -1.0;
        return (nowNs() - t0) / 1e6;
    };
    for (int i = 0; i < 100 && viaDbus() < 0; ++i) runEventLoop(100); // until it is online

    // A plain blocking socket: the client costs nothing the figure would have to explain.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const auto readLine = [fd] {
        std::string line;
        char c = 0;
        while (line.empty() || line.back() != '\r') {
            if (::recv(fd, &c, 1, 0) != 1) qFatal("PJLink closed");
            line += c;
        }
        return line;
    };
    if (::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0 ||
        readLine() != "PJLINK 0\r")
        qFatal("no PJLink greeting");
    const auto viaPjlink = [&] {
        const long long t0 = nowNs();
        if (::send(fd, "%1POWR ?\r", 9, 0) != 9) qFatal("cannot send to PJLink");
        const std::string answer = readLine();
        if (answer != "%1POWR=0\r") qFatal("PJLink answered %s", answer.c_str());
        return (nowNs() - t0) / 1e6;
    };
    const std::vector<std::string> ctl{CTL_EXE, "--device", own.device().toStdString(), "status"};

    const int runs = quick ? 5 : 15;
    std::vector<double> p, d, c;
    for (int i = -1; i < runs; ++i) {
        const double a = viaPjlink(), b = viaDbus(), e = runCtl(ctl);
        if (i < 0) continue; // one unrecorded run each, with everything loaded
        p.push_back(a);
        d.push_back(b);
        c.push_back(e);
    }
    const double pm = percentile(p, 50), dm = percentile(d, 50);
    note("POWR ? over PJLink " + summary(p) + ", the status read through D-Bus Send " + summary(d) +
         ", projector-ctl status opening its own line, exec to exit, " + summary(c) + "; " +
         std::to_string(runs) + " runs each, alternated, all with the 500 ms reply window");
    row("PJLink POWR ? round trip (ms, median)", fmt("%.1f", pm), fmt("%.1f", dm) + " (D-Bus Send)",
        fmt("%+.1f", pm - dm) + " ms", "< +2 ms", pm - dm < 2);
    row("projector-ctl status direct, exec to exit (ms, median)", fmt("%.1f", percentile(c, 50)),
        fmt("%.1f", pm) + " (PJLink)", fmt("%+.1f", percentile(c, 50) - pm) + " ms",
        "for reference", "-");
    ::close(fd);
    return 0;
}
