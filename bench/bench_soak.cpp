// SPDX-License-Identifier: MIT
// projectord for minutes under a steady load while its configuration is reloaded every 30 s:
// - sixteen projectors on simulators, each polled every second (one every two in one file);
// - twenty D-Bus clients, each sending a command and waiting for its answer, in a loop;
// - eight PJLink clients asking "%1POWR ?" once a second on connections they keep;
// - one OpenLine socket written a line every 500 ms, as the panel does;
// - each reload adds two projectors, restarts two (poll, speed) and removes two, between two
//   files in turn; twelve projectors stay unchanged throughout.
// What it reports: the service's resident memory after the first minute, its descriptors at the
// end of each reload's interval compared with the same file's, every Send answered or refused
// with a reason, each client's line on the wire exactly once, and no client of an unchanged
// projector cut off.
//   bench_soak [--minutes N]   (10 by default)
#include "BenchCommon.h"
#include "BusMembers.h"
#include "DbusDaemon.h"
#include "FreePort.h"
#include "Probes.h"
#include "ProjectordProcess.h"
#include "ServiceNames.h"
#include "SimProcess.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QSaveFile>
#include <QTest>
#include <QTimer>

#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <functional>
#include <map>
#include <memory>
#include <random>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

using namespace bench;

namespace {

constexpr int Core = 12; // unchanged throughout
constexpr int PjlinkProjectors = 4, PjlinkPerProjector = 2;
constexpr int CoreSendClients = 16, DbusClients = 20;
constexpr int ReloadSeconds = 30;
// Beyond the 20 s within which the service answers every command it takes.
constexpr int CallTimeoutMs = 30000;
// Neither code is one the service's own status reads send, nor PJLink's POWR ?: each line of
// them on a simulator came from one client.
const QString SendCommand = QStringLiteral("clear-the-on-screen-display");
const QByteArray SendCode = "C1E";
const QByteArray OpenLineCode = "C1F";
const QByteArray OpenLineLine = OpenLineCode + '\r';
// The projectors that change between the two files; r* and a* take turns on the same two lines.
const std::array<QString, 6> Changing{QStringLiteral("x1"), QStringLiteral("x2"),
                                      QStringLiteral("r1"), QStringLiteral("r2"),
                                      QStringLiteral("a1"), QStringLiteral("a2")};

QString coreName(int i)
{
    return QStringLiteral("p%1").arg(i, 2, 10, QLatin1Char('0'));
}

QString path(const QString &name)
{
    return ServiceNames::projectorPath(name);
}

int openDescriptors(qint64 pid)
{
    return int(QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

// User and system CPU time of a process, in clock ticks.
long long cpuTicks(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray all = f.readAll();
    // Fields after the command's closing parenthesis: state is the 3rd, utime the 14th.
    const QList<QByteArray> fields = all.mid(all.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields[11].toLongLong() + fields[12].toLongLong() : 0;
}

// One client on a connection of its own: a Send, its answer, a short pause, the next Send.
struct SendClient
{
    QDBusConnection bus{QString()};
    QString target;
    int core = -1; // the unchanged projector it sends to, or -1
    std::minstd_rand pauses;
    bool waiting = false;
    long long sent = 0, replies = 0, unanswered = 0, timeouts = 0, noReason = 0;
    std::map<QString, long long> errors; // "name: message", counted
};

// A PJLink client on a thread of its own with a plain blocking socket, as a control system's.
struct PjlinkClient
{
    quint16 port = 0;
    std::thread thread;
    std::atomic<long long> asked{0}, answered{0}, refused{0}, silent{0}, dropped{0};
    std::atomic<bool> connected{false};
    std::string firstFailure;

    static int connectTo(quint16 port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        // Every answer comes within the service's 20 s; past 30 s it is counted as none.
        const timeval patience{30, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        if (::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    // A line up to its CR; empty on a close, "?" when none came in time.
    static std::string readLine(int fd)
    {
        std::string line;
        char c = 0;
        while (line.empty() || line.back() != '\r') {
            const ssize_t n = ::recv(fd, &c, 1, 0);
            if (n == 1) {
                line += c;
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? "?" : "";
        }
        return line;
    }

    void run(const std::atomic<bool> &stop)
    {
        int fd = -1;
        long long next = nowNs();
        while (!stop) {
            if (fd < 0) {
                fd = connectTo(port);
                if (fd < 0 || readLine(fd) != "PJLINK 0\r") {
                    if (fd >= 0) ::close(fd);
                    fd = -1;
                    std::this_thread::sleep_for(std::chrono::seconds(1));
                    continue;
                }
                connected = true;
            }
            ++asked;
            const std::string answer =
                ::send(fd, "%1POWR ?\r", 9, MSG_NOSIGNAL) == 9 ? readLine(fd) : "";
            if (answer.rfind("%1POWR=", 0) == 0 && answer.size() == 9 && answer[7] != 'E') {
                ++answered;
            } else if (answer.rfind("%1POWR=ERR", 0) == 0) {
                ++refused;
            } else if (answer == "?") {
                ++silent;
            } else {
                // Closed by the service, or a byte no answer has: either way a new connection.
                if (firstFailure.empty()) firstFailure = answer.empty() ? "closed" : answer;
                ++dropped;
                ::close(fd);
                fd = -1;
            }
            next = std::max(next + 1000000000LL, nowNs());
            while (!stop && nowNs() < next)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (fd >= 0) ::close(fd);
    }
};

// What the bus says about the projectors: Online of each, and the manager's comings and goings.
class BusWatch : public QObject
{
    Q_OBJECT
public:
    QMap<QString, long long> wentOffline, cameOnline; // by object path
    long long added = 0, removed = 0;
public Q_SLOTS:
    void onChanged(const QDBusMessage &m)
    {
        const QVariantMap changed = qdbus_cast<QVariantMap>(m.arguments().value(1));
        const auto it = changed.constFind(QLatin1String(BusMembers::Projector::Property::Online));
        if (it == changed.cend()) return;
        ++(it->toBool() ? cameOnline : wentOffline)[m.path()];
    }
    void onAdded(const QDBusMessage &) { ++added; }
    void onRemoved(const QDBusMessage &) { ++removed; }
};

} // namespace

int main(int argc, char **argv)
{
    const char *minutesArg = argValue(argc, argv, "--minutes");
    const int minutes = minutesArg ? std::atoi(minutesArg) : 10;
    if (minutes < 1) qFatal("--minutes takes a whole number of minutes, at least 1");
    const int runSeconds = minutes * 60;
    // The memory's reference: the end of the first minute, or the middle of a shorter run.
    const int settledSeconds = std::min(60, runSeconds / 2);
    QCoreApplication app(argc, argv);

    DbusDaemon bus;
    if (!bus.start()) qFatal("dbus-daemon: %s", qPrintable(bus.errors()));
    bus.useInThisProcess();
    // Twelve unchanged, x1 and x2 restarted by every reload, r* and a* in turn on the last two.
    std::vector<std::unique_ptr<SimProcess>> sims;
    for (int i = 0; i < Core + 4; ++i) {
        sims.push_back(std::make_unique<SimProcess>());
        if (!sims.back()->start({})) qFatal("projector-sim did not start");
    }
    std::array<quint16, PjlinkProjectors> ports{};
    // Each asked for while the others are free again: the same one may come twice.
    for (auto p = ports.begin(); p != ports.end(); ++p)
        for (int tries = 0; *p == 0 || std::find(ports.begin(), p, *p) != p; ++tries)
            if (tries == 100 || (*p = freePort()) == 0) qFatal("no free port on 127.0.0.1");
    const auto section = [&](const QString &name, int sim, const QByteArray &more) {
        return "[" + name.toUtf8() + "]\ndevice = " + sims[std::size_t(sim)]->device().toUtf8() +
               '\n' + (more.contains("poll") ? QByteArray() : "poll = 1\n") + more;
    };
    // The two files the reloads go between; the first is the one the service starts with.
    const auto configFor = [&](bool second) {
        QByteArray c;
        for (int i = 0; i < Core; ++i)
            c += section(coreName(i), i,
                         i < PjlinkProjectors ? "pjlink = 127.0.0.1:" +
                                                    QByteArray::number(ports[std::size_t(i)]) + '\n'
                                              : QByteArray());
        c += section(QStringLiteral("x1"), Core, second ? "poll = 2\n" : "");
        c += section(QStringLiteral("x2"), Core + 1, second ? "speed = 9600\n" : "");
        c += section(second ? QStringLiteral("a1") : QStringLiteral("r1"), Core + 2, {});
        c += section(second ? QStringLiteral("a2") : QStringLiteral("r2"), Core + 3, {});
        return c;
    };
    ProjectordProcess service(bus);
    if (!service.start(configFor(false)))
        qFatal("projectord did not start: %s", service.errors().constData());
    const qint64 pid = service.process().processId();

    QDBusConnection observer = bus.connect(QStringLiteral("soak-observer"));
    const auto online = [&](const QString &name) {
        QDBusMessage get = QDBusMessage::createMethodCall(
            QLatin1String(ServiceNames::BusName), path(name),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << QLatin1String(ServiceNames::ProjectorInterface)
            << QLatin1String(BusMembers::Projector::Property::Online);
        return qvariant_cast<QDBusVariant>(observer.call(get).arguments().value(0))
            .variant()
            .toBool();
    };
    QStringList first;
    for (int i = 0; i < Core; ++i) first << coreName(i);
    first << QStringLiteral("x1") << QStringLiteral("x2") << QStringLiteral("r1")
          << QStringLiteral("r2");
    for (const QString &name : first)
        if (!QTest::qWaitFor([&] { return online(name); }, 10000))
            qFatal("%s did not come online", qPrintable(name));

    BusWatch watch;
    QStringList watched;
    for (int i = 0; i < Core; ++i) watched << path(coreName(i));
    for (const QString &name : Changing) watched << path(name);
    for (const QString &p : watched)
        observer.connect(QLatin1String(ServiceNames::BusName), p,
                         QStringLiteral("org.freedesktop.DBus.Properties"),
                         QStringLiteral("PropertiesChanged"), &watch,
                         SLOT(onChanged(QDBusMessage)));
    const QString objectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
    observer.connect(QLatin1String(ServiceNames::BusName), QLatin1String(ServiceNames::ManagerPath),
                     objectManager, QStringLiteral("InterfacesAdded"), &watch,
                     SLOT(onAdded(QDBusMessage)));
    observer.connect(QLatin1String(ServiceNames::BusName), QLatin1String(ServiceNames::ManagerPath),
                     objectManager, QStringLiteral("InterfacesRemoved"), &watch,
                     SLOT(onRemoved(QDBusMessage)));
    (void)online(coreName(0)); // the bus holds the match rules after this round trip

    // The panel's socket, on the busiest projector: two D-Bus clients and two PJLink ones too.
    QDBusConnection panel = bus.connect(QStringLiteral("soak-panel"));
    const QDBusMessage opened = panel.call(
        QDBusMessage::createMethodCall(QLatin1String(ServiceNames::BusName), path(coreName(0)),
                                       QLatin1String(ServiceNames::ProjectorInterface),
                                       QLatin1String(BusMembers::Projector::Method::OpenLine)));
    if (opened.type() != QDBusMessage::ReplyMessage)
        qFatal("OpenLine: %s", qPrintable(opened.errorMessage()));
    const QDBusUnixFileDescriptor socket =
        qdbus_cast<QDBusUnixFileDescriptor>(opened.arguments().value(0));
    long long lineWritten = 0, lineRefused = 0;
    bool lineClosed = false;

    std::atomic<bool> stopPjlink{false};
    std::array<PjlinkClient, PjlinkProjectors * PjlinkPerProjector> pjlink;
    for (std::size_t k = 0; k < pjlink.size(); ++k) {
        pjlink[k].port = ports[k / PjlinkPerProjector];
        pjlink[k].thread = std::thread([&, k] { pjlink[k].run(stopPjlink); });
    }

    // Sixteen clients on the twelve unchanged projectors, one each on x1, x2, r1 and a2: those
    // four get answers, or errors while their projector restarts or is away.
    std::array<SendClient, DbusClients> clients;
    bool stopping = false;
    std::function<void(SendClient &)> sendNext = [&](SendClient &c) {
        if (stopping) return;
        QDBusMessage send =
            QDBusMessage::createMethodCall(QLatin1String(ServiceNames::BusName), path(c.target),
                                           QLatin1String(ServiceNames::ProjectorInterface),
                                           QLatin1String(BusMembers::Projector::Method::Send));
        send << SendCommand;
        auto *w = new QDBusPendingCallWatcher(c.bus.asyncCall(send, CallTimeoutMs), &app);
        ++c.sent;
        c.waiting = true;
        QObject::connect(w, &QDBusPendingCallWatcher::finished, &app, [&, w, cp = &c] {
            SendClient &c = *cp;
            c.waiting = false;
            w->deleteLater();
            const QDBusMessage r = w->reply();
            if (r.type() == QDBusMessage::ReplyMessage) {
                ++c.replies;
                if (!r.arguments().value(2).toBool()) ++c.unanswered;
            } else if (r.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
                       r.errorName() == QLatin1String("org.freedesktop.DBus.Error.Timeout")) {
                ++c.timeouts;
            } else {
                if (r.errorMessage().trimmed().isEmpty()) ++c.noReason;
                ++c.errors[r.errorName().section(u'.', -1) + QStringLiteral(": ") +
                           r.errorMessage()];
            }
            // A pause of up to 0.7 s now and then lets the service's own reads in.
            QTimer::singleShot(int(c.pauses() % 700), &app, [&, cp] { sendNext(*cp); });
        });
    };
    for (int k = 0; k < DbusClients; ++k) {
        SendClient &c = clients[std::size_t(k)];
        c.bus = bus.connect(QStringLiteral("soak-sender-%1").arg(k));
        c.pauses.seed(std::uint_fast32_t(k + 1));
        if (k < CoreSendClients) {
            c.core = k % Core;
            c.target = coreName(c.core);
        } else {
            c.target = std::array<QString, 4>{
                QStringLiteral("x1"), QStringLiteral("x2"), QStringLiteral("r1"),
                QStringLiteral("a2")}[std::size_t(k - CoreSendClients)];
        }
        sendNext(c);
    }

    QTimer writer;
    QObject::connect(&writer, &QTimer::timeout, &app, [&] {
        const int fd = socket.fileDescriptor();
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 0);
        if (p.revents & (POLLHUP | POLLERR)) {
            lineClosed = true;
            return;
        }
        if (::send(fd, OpenLineLine.constData(), size_t(OpenLineLine.size()),
                   MSG_DONTWAIT | MSG_NOSIGNAL) == OpenLineLine.size())
            ++lineWritten;
        else if (errno == EAGAIN || errno == EWOULDBLOCK)
            ++lineRefused;
        else
            lineClosed = true;
    });
    writer.start(500);

    // Once a second: memory every two seconds, descriptors at the end of each interval, a reload
    // at its start.
    struct FdSample
    {
        bool second;
        int count;
    };
    std::vector<std::pair<int, long long>> rss; // seconds, kB
    std::vector<FdSample> fds;
    std::vector<double> reloadMs, loads;
    int seconds = 0, reloads = 0;
    bool second = false;
    long long hupAt = 0;
    int reloadedSeen = 0;
    QByteArray lastReloaded;
    const long long cpuBefore = cpuTicks(pid);
    const long long startNs = nowNs();
    const auto countReloaded = [&] {
        const QByteArray log = service.errors();
        int n = 0;
        for (qsizetype at = log.indexOf("reloaded "); at >= 0;
             at = log.indexOf("reloaded ", at + 1)) {
            ++n;
            lastReloaded = log.mid(at, log.indexOf('\n', at) - at);
        }
        return n;
    };
    // Until the run ends: the service's stop at the end writes to its log too.
    const QMetaObject::Connection reading =
        QObject::connect(&service.process(), &QProcess::readyReadStandardError, &app, [&] {
            if (service.errors().contains("reload refused"))
                qFatal("projectord refused a file of this benchmark's:\n%s",
                       service.errors().constData());
            const int n = countReloaded();
            if (n > reloadedSeen && hupAt != 0) reloadMs.push_back((nowNs() - hupAt) / 1e6);
            reloadedSeen = n;
        });
    rss.push_back({0, residentKb(pid)});
    QTimer clock;
    clock.setTimerType(Qt::PreciseTimer);
    QObject::connect(&clock, &QTimer::timeout, &app, [&] {
        ++seconds;
        if (seconds % 2 == 0) rss.push_back({seconds, residentKb(pid)});
        if (seconds % 60 == 0) loads.push_back(std::atof(loadAverage().c_str()));
        if (seconds % ReloadSeconds == ReloadSeconds - 1)
            fds.push_back({second, openDescriptors(pid)});
        if (seconds >= runSeconds) {
            clock.stop();
            app.quit();
            return;
        }
        if (seconds % ReloadSeconds == 0) {
            second = !second;
            QSaveFile file(service.configPath());
            const QByteArray c = configFor(second);
            if (!file.open(QIODevice::WriteOnly) || file.write(c) != c.size() || !file.commit())
                qFatal("cannot write %s", qPrintable(service.configPath()));
            hupAt = nowNs();
            service.signal(SIGHUP);
            ++reloads;
        }
    });
    clock.start(1000);
    app.exec();
    QObject::disconnect(reading);
    const double runS = (nowNs() - startNs) / 1e9;
    std::fprintf(stderr, "projectord's log:\n%s\n", service.errors().constData());
    const double cpuPercent =
        100.0 * double(cpuTicks(pid) - cpuBefore) / double(sysconf(_SC_CLK_TCK)) / runS;

    // Every client stops asking; what is in flight is answered or times out.
    stopping = true;
    writer.stop();
    stopPjlink = true;
    for (PjlinkClient &p : pjlink) p.thread.join();
    (void)QTest::qWaitFor(
        [&] {
            return std::none_of(clients.cbegin(), clients.cend(),
                                [](const SendClient &c) { return c.waiting; });
        },
        CallTimeoutMs + 5000);
    // Lines the panel's socket holds still go out; then a while longer, for any line twice.
    (void)QTest::qWaitFor([&] { return sims[0]->lines().count(OpenLineCode) >= lineWritten; },
                          10000);
    QTest::qWait(1500);
    {
        pollfd p{socket.fileDescriptor(), POLLOUT, 0};
        ::poll(&p, 1, 0);
        if (p.revents & (POLLHUP | POLLERR)) lineClosed = true;
    }

    // The lines each unchanged projector's simulator got from the clients.
    long long seen = 0, expected = 0, strays = 0, ownReads = 0;
    std::vector<std::string> mismatches;
    for (int i = 0; i < Core; ++i) {
        const QByteArrayList lines = sims[std::size_t(i)]->lines();
        long long sends = 0;
        for (const SendClient &c : clients)
            if (c.core == i) sends += c.replies;
        const long long lineSends = i == 0 ? lineWritten : 0;
        const long long got = lines.count(SendCode) + lines.count(OpenLineCode);
        for (const QByteArray &l : lines)
            if (l != SendCode && l != OpenLineCode) {
                if (l.startsWith("CR") && l.size() == 3)
                    ++ownReads;
                else
                    ++strays;
            }
        seen += got;
        expected += sends + lineSends;
        if (got != sends + lineSends || lines.count(OpenLineCode) != lineSends)
            mismatches.push_back(coreName(i).toStdString() + ": " + std::to_string(got) + " for " +
                                 std::to_string(sends) + " Sends and " + std::to_string(lineSends) +
                                 " lines");
    }

    // Memory and descriptors.
    long long settledKb = -1;
    for (const auto &[at, kb] : rss)
        if (at >= settledSeconds) {
            settledKb = kb;
            break;
        }
    const long long endKb = rss.back().second;
    long long peakKb = 0;
    for (const auto &s : rss) peakKb = std::max(peakKb, s.second);
    const double growthMb = double(endKb - settledKb) / 1024;
    std::string fdFirst, fdSecond;
    int firstMin = INT_MAX, firstMax = 0, secondMin = INT_MAX, secondMax = 0;
    for (const FdSample &s : fds) {
        (s.second ? fdSecond : fdFirst) += (s.second ? fdSecond : fdFirst).empty() ? "" : " ";
        (s.second ? fdSecond : fdFirst) += std::to_string(s.count);
        int &lo = s.second ? secondMin : firstMin;
        int &hi = s.second ? secondMax : firstMax;
        lo = std::min(lo, s.count);
        hi = std::max(hi, s.count);
    }
    const bool fdsConstant = firstMin == firstMax && (secondMax == 0 || secondMin == secondMax);

    long long sent = 0, replies = 0, unanswered = 0, timeouts = 0, noReason = 0;
    std::map<QString, long long> errors, changingErrors;
    for (const SendClient &c : clients) {
        sent += c.sent;
        replies += c.replies;
        unanswered += c.unanswered;
        timeouts += c.timeouts;
        noReason += c.noReason;
        for (const auto &[what, n] : c.errors)
            (c.core >= 0 ? errors : changingErrors)[c.target + u' ' + what] += n;
    }
    long long asked = 0, pjAnswered = 0, pjRefused = 0, pjSilent = 0, pjDropped = 0;
    int pjConnected = 0;
    std::string pjFailure;
    for (const PjlinkClient &p : pjlink) {
        asked += p.asked;
        pjAnswered += p.answered;
        pjRefused += p.refused;
        pjSilent += p.silent;
        pjDropped += p.dropped;
        pjConnected += p.connected ? 1 : 0;
        if (pjFailure.empty()) pjFailure = p.firstFailure;
    }
    long long coreOffline = 0;
    for (int i = 0; i < Core; ++i) coreOffline += watch.wentOffline.value(path(coreName(i)));

    const auto list = [](const std::map<QString, long long> &m) {
        std::string s;
        for (const auto &[what, n] : m)
            s += (s.empty() ? "" : "; ") + what.toStdString() + " (" + std::to_string(n) + ")";
        return s.empty() ? std::string("none") : s;
    };
    std::string changing;
    for (const QString &name : Changing)
        changing += (changing.empty() ? "" : ", ") + name.toStdString() + " " +
                    std::to_string(watch.wentOffline.value(path(name))) + "/" +
                    std::to_string(watch.cameOnline.value(path(name)));
    std::vector<double> sortedLoads = loads;

    note(std::to_string(minutes) + " min (" + fmt("%.0f", runS) + " s) against projectord pid " +
         std::to_string(pid) + ": 16 projectors on projector-sim lines, poll = 1 (x1 poll = 2 in " +
         "the second file); a reload every " + std::to_string(ReloadSeconds) +
         " s, each adding 2, restarting 2 and removing 2: " + std::to_string(reloads) +
         " asked for, " + std::to_string(reloadedSeen) + " logged as done, the last as \"" +
         lastReloaded.toStdString() + '"');
    if (!reloadMs.empty())
        note("SIGHUP to its \"reloaded\" line: median " + fmt("%.1f", percentile(reloadMs, 50)) +
             " ms, max " + fmt("%.1f", percentile(reloadMs, 100)) + " ms; InterfacesAdded " +
             std::to_string(watch.added) + ", InterfacesRemoved " + std::to_string(watch.removed) +
             "; PropertiesChanged with Online false / true on " + changing);
    note("projectord's resident memory: " + fmt("%.1f", rss.front().second / 1024.0) +
         " MB with everything online, " + fmt("%.1f", settledKb / 1024.0) + " MB at " +
         std::to_string(settledSeconds) + " s, " + fmt("%.1f", endKb / 1024.0) +
         " MB at the end, at most " + fmt("%.1f", peakKb / 1024.0) + " MB (" +
         std::to_string(rss.size()) + " samples, every 2 s); CPU " + fmt("%.1f", cpuPercent) +
         " % of one core over the run");
    note("projectord's open descriptors 1 s before each reload and at the end: first file " +
         fdFirst + "; second file " + fdSecond);
    note(std::to_string(DbusClients) + " D-Bus clients sent " + std::to_string(sent) +
         " Sends (\"" + SendCommand.toStdString() + "\"): " + std::to_string(replies) +
         " answered (" + std::to_string(unanswered) +
         " of them with no reply from the projector), " + std::to_string(timeouts) +
         " timed out; errors on unchanged projectors: " + list(errors) +
         "; on the changing ones: " + list(changingErrors));
    note("unchanged projectors' simulators: " + std::to_string(seen) + " lines " +
         SendCode.toStdString() + " and " + OpenLineCode.toStdString() + " from the clients, " +
         std::to_string(ownReads) + " status reads (the service's polls and PJLink's POWR ?), " +
         std::to_string(strays) + " other lines" +
         (mismatches.empty() ? std::string() : "; differing: " + [&] {
             std::string s;
             for (const std::string &m : mismatches) s += (s.empty() ? "" : ", ") + m;
             return s;
         }()));
    note("OpenLine on p00: " + std::to_string(lineWritten) + " lines written every 500 ms, " +
         std::to_string(lineRefused) +
         " refused by a full socket; PJLink: " + std::to_string(pjConnected) +
         " clients connected, " + std::to_string(asked) + " POWR ? asked, " +
         std::to_string(pjAnswered) + " answered with a state, " + std::to_string(pjRefused) +
         " with an error, " + std::to_string(pjSilent) + " not answered within 30 s" +
         (pjFailure.empty() ? std::string() : "; first failure: " + pjFailure));
    if (!loads.empty())
        note("load average (1 min) at each minute: min " + fmt("%.2f", percentile(sortedLoads, 0)) +
             ", max " + fmt("%.2f", percentile(sortedLoads, 100)));

    row("projectord RSS growth after the first minute (MB)", fmt("%+.2f", growthMb),
        fmt("%.1f", settledKb / 1024.0) + " MB at " + std::to_string(settledSeconds) + " s",
        fmt("%.1f", endKb / 1024.0) + " MB at the end", "<= 1 MB", growthMb <= 1.0);
    row("projectord open descriptors, same file, end of each interval",
        "first " + std::to_string(firstMin) + "-" + std::to_string(firstMax) + ", second " +
            std::to_string(secondMin == INT_MAX ? 0 : secondMin) + "-" + std::to_string(secondMax),
        std::to_string(fds.size()) + " samples", "-", "constant", fdsConstant);
    row("D-Bus Sends neither answered nor refused with a reason",
        std::to_string(timeouts + noReason), std::to_string(sent) + " Sends",
        std::to_string(timeouts) + " timed out", "0", timeouts + noReason == 0);
    row("Client lines on unchanged projectors' wires vs answered Sends + OpenLine lines",
        std::to_string(seen), std::to_string(expected),
        std::to_string(mismatches.size()) + " of " + std::to_string(Core) + " projectors differ",
        "equal on each", mismatches.empty() && seen == expected);
    row("PJLink connections to unchanged projectors dropped", std::to_string(pjDropped),
        std::to_string(pjlink.size()) + " connections", std::to_string(pjSilent) + " unanswered",
        "0", pjDropped == 0 && pjConnected == int(pjlink.size()));
    row("OpenLine socket closed", lineClosed ? "yes" : "no",
        std::to_string(lineWritten) + " lines written", "-", "no", !lineClosed);
    row("Online false on an unchanged projector (times)", std::to_string(coreOffline),
        std::to_string(Core) + " projectors", "-", "0", coreOffline == 0);
    return 0;
}

#include "bench_soak.moc"
