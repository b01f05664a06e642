// SPDX-License-Identifier: MIT
// A fleet on one machine: 50 projectord hosts (--quick: 5), each on a private bus of its own with
// ten projectors served by one projector-sim on raw TCP, all publishing to one mosquitto; the
// bench itself is the broker's one subscriber, to '#', stamping every message as it arrives.
// - one power-on to every projector at once through MQTT: the time from each set's publish until
//   that projector's new power state reaches the subscriber;
// - the messages the broker carries while nothing changes and polls run every 5 s;
// - projectord's memory per projector: a host with ten against one with one;
// - a power change through MQTT against the same through D-Bus Send, on one projector, in turns.
#include "BenchCommon.h"
#include "DbusDaemon.h"
#include "DieWithParent.h"
#include "FreePort.h"
#include "Probes.h"
#include "ProjectordProcess.h"
#include "ServiceNames.h"
#include "SimProcess.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <map>
#include <memory>
#include <set>

#include <mosquitto.h>
#include <pwd.h>

using namespace bench;

namespace {

constexpr int PerHost = 10;
constexpr int Poll = 5; // s

// The bench's own broker: anonymous, on a free port of 127.0.0.1, and with a queue per client
// large enough that the start's burst of discovery reaches the one subscriber whole.
class Broker
{
public:
    ~Broker()
    {
        m_proc.kill();
        m_proc.waitForFinished(5000);
    }
    quint16 port() const { return m_port; }
    void start()
    {
        m_port = freePort();
        const passwd *self = getpwuid(geteuid());
        QFile config(m_dir.filePath(QStringLiteral("mosquitto.conf")));
        if (!self || !config.open(QIODevice::WriteOnly)) qFatal("cannot write mosquitto.conf");
        config.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\n"
                                    "persistence false\nuser %2\nmax_queued_messages 1000000\n"
                                    "log_dest stderr\nconnection_messages false\n")
                         .arg(m_port)
                         .arg(QString::fromLocal8Bit(self->pw_name))
                         .toUtf8());
        config.close();
        QString program = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
        if (program.isEmpty())
            program = QStandardPaths::findExecutable(QStringLiteral("mosquitto"),
                                                     {QStringLiteral("/usr/sbin")});
        m_proc.setChildProcessModifier(dieWithParent);
        m_proc.setProcessChannelMode(QProcess::MergedChannels);
        m_proc.start(program, {QStringLiteral("-c"), config.fileName()});
        QByteArray out;
        if (!QTest::qWaitFor(
                [&] {
                    out += m_proc.readAll();
                    return out.contains(" running") || m_proc.state() == QProcess::NotRunning;
                },
                5000) ||
            !out.contains(" running"))
            qFatal("mosquitto did not start: %s", out.constData());
        QObject::connect(&m_proc, &QProcess::readyRead, &m_proc, [this] { m_proc.readAll(); });
    }

private:
    QTemporaryDir m_dir;
    QProcess m_proc;
    quint16 m_port = 0;
};

// The subscriber to '#' and the sender of the sets: libmosquitto with its loop on a thread of its
// own, which stamps each message the moment the library hands it over.
class Client
{
public:
    struct Message
    {
        long long atNs;
        std::string topic;
        QByteArray payload;
        bool retained;
    };

    explicit Client(quint16 port)
    {
        mosquitto_lib_init();
        m_mosq = mosquitto_new("bench-fleet", true, this);
        mosquitto_message_callback_set(m_mosq,
                                       [](mosquitto *, void *self, const mosquitto_message *m) {
                                           static_cast<Client *>(self)->onMessage(m);
                                       });
        mosquitto_subscribe_callback_set(m_mosq,
                                         [](mosquitto *, void *self, int, int, const int *) {
                                             static_cast<Client *>(self)->m_subscribed = true;
                                         });
        // Every set leaves at once instead of twenty at a time.
        mosquitto_max_inflight_messages_set(m_mosq, 0);
        if (mosquitto_connect(m_mosq, "127.0.0.1", port, 60) != MOSQ_ERR_SUCCESS)
            qFatal("the bench cannot reach its broker");
        // No $SYS: '#' does not match it.
        mosquitto_subscribe(m_mosq, nullptr, "#", 0);
        mosquitto_loop_start(m_mosq);
        if (!QTest::qWaitFor([&] { return m_subscribed.load(); }, 5000))
            qFatal("the broker did not take the subscription");
    }
    ~Client()
    {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, false);
        mosquitto_destroy(m_mosq);
        mosquitto_lib_cleanup();
    }

    // The time of the call.
    long long publish(const QString &topic, const QByteArray &payload)
    {
        const long long at = nowNs();
        if (mosquitto_publish(m_mosq, nullptr, topic.toUtf8().constData(), int(payload.size()),
                              payload.constData(), 1, false) != MOSQ_ERR_SUCCESS)
            qFatal("cannot publish to %s", qPrintable(topic));
        return at;
    }
    std::size_t count()
    {
        std::lock_guard lock(m_mutex);
        return m_messages.size();
    }
    std::vector<Message> since(std::size_t from)
    {
        std::lock_guard lock(m_mutex);
        return {m_messages.begin() + long(std::min(from, m_messages.size())), m_messages.end()};
    }

private:
    void onMessage(const mosquitto_message *m)
    {
        const long long at = nowNs();
        std::lock_guard lock(m_mutex);
        m_messages.push_back({at, m->topic,
                              QByteArray(static_cast<const char *>(m->payload), m->payloadlen),
                              m->retain});
    }

    mosquitto *m_mosq = nullptr;
    std::atomic<bool> m_subscribed{false};
    std::mutex m_mutex;
    std::vector<Message> m_messages;
};

struct Host
{
    QString topic; // projectord/host-NN
    QStringList projectors;
    int firstPort = 0; // projector i on firstPort + i
    std::unique_ptr<DbusDaemon> bus;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<ProjectordProcess> service;
};

std::unique_ptr<Host> startHost(const QString &name, int count, quint16 brokerPort, int poll = Poll,
                                const QStringList &simOptions = {})
{
    auto h = std::make_unique<Host>();
    h->topic = QStringLiteral("projectord/") + name;
    h->bus = std::make_unique<DbusDaemon>();
    if (!h->bus->start()) qFatal("dbus-daemon: %s", qPrintable(h->bus->errors()));
    const quint16 first = freePorts(count);
    h->firstPort = first;
    h->sim = std::make_unique<SimProcess>();
    if (!first || !h->sim->start(QStringList{QStringLiteral("--listen"),
                                             QStringLiteral("127.0.0.1:%1").arg(first),
                                             QStringLiteral("--count"), QString::number(count)} +
                                 simOptions))
        qFatal("projector-sim for %s did not start: %s", qPrintable(name),
               h->sim->errors().constData());
    QByteArray config = QStringLiteral("[mqtt]\nbroker = mqtt://127.0.0.1:%1\ntopic = %2\n")
                            .arg(brokerPort)
                            .arg(h->topic)
                            .toUtf8();
    // Names unique across the fleet, as a site would give them.
    for (int i = 0; i < count; ++i) {
        const QString projector = QStringLiteral("%1-p%2").arg(name).arg(i);
        h->projectors << projector;
        config += QStringLiteral("[%1]\ndevice = socket://127.0.0.1:%2\npoll = %3\n")
                      .arg(projector)
                      .arg(first + i)
                      .arg(poll)
                      .toUtf8();
    }
    h->service = std::make_unique<ProjectordProcess>(*h->bus);
    if (!h->service->start(config))
        qFatal("projectord %s did not start: %s", qPrintable(name),
               h->service->errors().constData());
    return h;
}

// When the simulator received each line for one port, in ns of CLOCK_MONOTONIC.
std::vector<long long> linesAt(SimProcess &sim, int port)
{
    const QByteArray prefix = QByteArray::number(port) + ' ';
    std::vector<long long> at;
    for (const SimProcess::LogLine &l : sim.log())
        if (l.text.startsWith(prefix)) at.push_back(l.us * 1000);
    return at;
}

QJsonObject json(const QByteArray &payload)
{
    return QJsonDocument::fromJson(payload).object();
}

// The Power of one projector's PropertiesChanged, stamped on arrival.
class PowerWatch : public QObject
{
    Q_OBJECT
public:
    std::vector<std::pair<long long, QString>> changes;
public Q_SLOTS:
    void onChanged(const QDBusMessage &m)
    {
        const QVariantMap changed = qdbus_cast<QVariantMap>(m.arguments().value(1));
        if (changed.contains(QStringLiteral("Power"))) {
            changes.emplace_back(nowNs(), changed.value(QStringLiteral("Power")).toString());
            Q_EMIT power();
        }
    }
Q_SIGNALS:
    void power();
};

std::string ms(double v)
{
    return fmt("%.0f", v);
}

} // namespace

int main(int argc, char **argv)
{
    const bool quick = hasArg(argc, argv, "--quick");
    const int hostCount = quick ? 5 : 50;
    const int idleSeconds = quick ? 10 : 30;
    const int rounds = quick ? 5 : 15;
    const std::string loadBefore = loadAverage();

    // Each host is three processes with pipes to the bench, and each bus a connection of the
    // bench's: about 700 open files at 50 hosts, near a common default limit of 1024.
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    const rlim_t softBefore = files.rlim_cur;
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);

    QCoreApplication app(argc, argv);
    Broker broker;
    broker.start();
    // First, while the bench's descriptors are few: the library's loop uses select().
    Client client(broker.port());

    const long long startedAt = nowNs();
    std::vector<std::unique_ptr<Host>> fleet;
    for (int i = 0; i < hostCount; ++i)
        fleet.push_back(startHost(QStringLiteral("host-%1").arg(i, 2, 10, QLatin1Char('0')),
                                  PerHost, broker.port()));
    // One projector alone, for the memory baseline.
    std::unique_ptr<Host> single = startHost(QStringLiteral("single"), 1, broker.port());
    // One for MQTT against D-Bus: its projector powers on and off at once, so that every command
    // changes the state, and no poll after the first holds a command back by where in the poll's
    // round it lands, which would favour one way by the order of the turns.
    std::unique_ptr<Host> turns = startHost(QStringLiteral("turns"), 1, broker.port(), 3600,
                                            {QStringLiteral("--warmup"), QStringLiteral("0"),
                                             QStringLiteral("--cooldown"), QStringLiteral("0")});
    const double startS = (nowNs() - startedAt) / 1e9;
    const qsizetype openFiles =
        QDir(QStringLiteral("/proc/self/fd"))
            .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
            .size();

    // The last state of every projector, from the messages read so far.
    std::map<std::string, QJsonObject> state;
    std::size_t read = 0;
    const auto absorb = [&] {
        for (const Client::Message &m : client.since(read)) {
            ++read;
            if (m.topic.size() > 6 && m.topic.compare(m.topic.size() - 6, 6, "/state") == 0)
                state[m.topic] = json(m.payload);
        }
    };
    const auto stateTopic = [](const Host &h, const QString &p) {
        return (h.topic + u'/' + p + QStringLiteral("/state")).toStdString();
    };
    const auto allIn = [&](const QString &power) {
        absorb();
        for (const auto &h : fleet)
            for (const QString &p : h->projectors) {
                const auto it = state.find(stateTopic(*h, p));
                if (it == state.end() || !it->second.value(QStringLiteral("online")).toBool() ||
                    it->second.value(QStringLiteral("power")).toString() != power)
                    return false;
            }
        for (const Host *h : {single.get(), turns.get()}) {
            const auto it = state.find(stateTopic(*h, h->projectors.first()));
            if (it == state.end() || !it->second.value(QStringLiteral("online")).toBool())
                return false;
        }
        return true;
    };
    if (!QTest::qWaitFor([&] { return allIn(QStringLiteral("standby")); }, 120000))
        qFatal("not every projector's state came online in standby within 2 minutes");
    const double settledS = (nowNs() - startedAt) / 1e9;
    const std::size_t startMessages = client.count();

    // Idle: a full poll round for the last readings to land, then the window.
    QTest::qWait((Poll + 2) * 1000);
    const std::size_t idleFrom = client.count();
    const long long idleStart = nowNs();
    QTest::qWait(idleSeconds * 1000);
    const long long idleEnd = nowNs();
    const std::vector<Client::Message> idle = client.since(idleFrom);
    std::size_t queries = 0;
    for (const auto &h : fleet)
        for (const SimProcess::LogLine &l : h->sim->log())
            if (l.us * 1000 >= idleStart && l.us * 1000 < idleEnd) ++queries;
    const double idleRate = idle.size() / ((idleEnd - idleStart) / 1e9);
    const double queryRate = queries / ((idleEnd - idleStart) / 1e9);
    std::set<std::string> idleTopics;
    for (const Client::Message &m : idle) idleTopics.insert(m.topic);

    // Memory, all settled with the broker connected.
    std::vector<double> rss10;
    for (const auto &h : fleet)
        rss10.push_back(residentKb(h->service->process().processId()) / 1024.0);
    const double rss10Median = percentile(rss10, 50);
    const double rss1 = residentKb(single->service->process().processId()) / 1024.0;
    const double perProjector = (rss10Median - rss1) / (PerHost - 1);

    // Every projector of the fleet at once, each set timed from its own publish. The polls of
    // all hosts run nearly in step, so where the command lands in their round decides whether
    // it waits for a read under way: it is aimed a second into a round of the first host, where
    // that host's lines are busy, rather than left to whatever the bench's waits add up to.
    {
        std::vector<long long> starts; // of poll rounds: a read after a quiet second
        long long last = -1;
        for (const long long at : linesAt(*fleet.front()->sim, fleet.front()->firstPort)) {
            if (last < 0 || at - last > 1000000000LL) starts.push_back(at);
            last = at;
        }
        if (starts.size() < 2) qFatal("the first host's polls are not to be found");
        const long long period = starts.back() - starts[starts.size() - 2];
        long long aim = starts.back() + 1000000000LL;
        while (aim < nowNs() + 100000000LL) aim += period;
        QTest::qWait(int((aim - nowNs()) / 1000000));
    }
    absorb();
    const std::size_t commandFrom = client.count();
    std::map<std::string, long long> sentAt; // state topic: publish time
    const long long burstStart = nowNs();
    for (const auto &h : fleet)
        for (const QString &p : h->projectors)
            sentAt[stateTopic(*h, p)] =
                client.publish(h->topic + u'/' + p + QStringLiteral("/set"), R"({"power":"on"})");
    const double burstMs = (nowNs() - burstStart) / 1e6;
    std::map<std::string, std::pair<long long, QString>> arrived; // first new power after the set
    std::size_t scanned = commandFrom;
    const auto collect = [&] {
        for (const Client::Message &m : client.since(scanned)) {
            ++scanned;
            const auto it = sentAt.find(m.topic);
            if (it == sentAt.end() || arrived.count(m.topic)) continue;
            const QString power = json(m.payload).value(QStringLiteral("power")).toString();
            if (power != QLatin1String("standby")) arrived[m.topic] = {m.atNs, power};
        }
        return arrived.size() == sentAt.size();
    };
    const bool allArrived = QTest::qWaitFor(collect, 30000);
    std::vector<double> latency;
    std::size_t notWarming = 0;
    for (const auto &[topic, got] : arrived) {
        latency.push_back((got.first - sentAt[topic]) / 1e6);
        if (got.second != QLatin1String("warming-up")) ++notWarming;
    }
    std::vector<std::string> missing;
    for (const auto &[topic, at] : sentAt)
        if (!arrived.count(topic)) missing.push_back(topic);
    // The sets that found a read of a poll on the line, its reply window still open.
    std::size_t behindRead = 0;
    for (const auto &h : fleet)
        for (int i = 0; i < h->projectors.size(); ++i) {
            const long long sent = sentAt[stateTopic(*h, h->projectors[i])];
            for (const long long at : linesAt(*h->sim, h->firstPort + i))
                if (at < sent && sent - at < 500000000LL) {
                    ++behindRead;
                    break;
                }
        }
    const double median = percentile(latency, 50), p99 = percentile(latency, 99),
                 worst = percentile(latency, 100);
    // Warm-up over and polled, so that the turns below run on a quiet fleet.
    if (!QTest::qWaitFor([&] { return allIn(QStringLiteral("on")); }, 30000))
        note("not every projector of the fleet was on 30 s after the command");
    // Each set's answer: none lost, none refused.
    std::size_t answeredOk = 0, answeredError = 0;
    for (const Client::Message &m : client.since(commandFrom))
        if (m.topic.size() > 9 && m.topic.compare(m.topic.size() - 9, 9, "/response") == 0)
            ++(json(m.payload).value(QStringLiteral("status")) == QLatin1String("ok")
                   ? answeredOk
                   : answeredError);

    // MQTT against D-Bus on one projector, in turns: MQTT on, D-Bus off, D-Bus on, MQTT
    // off, so that each way gets as many power-ons as power-offs.
    const QString name = turns->projectors.first();
    const std::string topic = stateTopic(*turns, name);
    QDBusConnection bus = turns->bus->connect(QStringLiteral("bench-fleet"));
    const QString path = ServiceNames::projectorPath(name);
    PowerWatch watch;
    if (!bus.connect(QLatin1String(ServiceNames::BusName), path,
                     QStringLiteral("org.freedesktop.DBus.Properties"),
                     QStringLiteral("PropertiesChanged"), &watch, SLOT(onChanged(QDBusMessage))))
        qFatal("cannot watch %s", qPrintable(path));
    QTest::qWait(200);
    std::vector<double> viaMqtt, viaBus;
    const auto overMqtt = [&](bool on) {
        absorb();
        const QString before = state[topic].value(QStringLiteral("power")).toString();
        const std::size_t from = client.count();
        const long long t0 = client.publish(turns->topic + u'/' + name + QStringLiteral("/set"),
                                            on ? R"({"power":"on"})" : R"({"power":"off"})");
        long long t1 = 0;
        if (!QTest::qWaitFor(
                [&] {
                    for (const Client::Message &m : client.since(from))
                        if (m.topic == topic &&
                            json(m.payload).value(QStringLiteral("power")) != QJsonValue(before)) {
                            t1 = m.atNs;
                            return true;
                        }
                    return false;
                },
                10000))
            qFatal("no new power state through MQTT after a set");
        viaMqtt.push_back((t1 - t0) / 1e6);
    };
    const auto overBus = [&](bool on) {
        const std::size_t from = watch.changes.size();
        QDBusMessage send = QDBusMessage::createMethodCall(
            QLatin1String(ServiceNames::BusName), path,
            QLatin1String(ServiceNames::ProjectorInterface), QStringLiteral("Send"));
        send << (on ? QStringLiteral("power-on") : QStringLiteral("power-off"));
        const long long t0 = nowNs();
        QDBusPendingCallWatcher reply(bus.asyncCall(send, 10000));
        // A loop that wakes for the signal itself: the stamp is taken the moment it is
        // delivered, as the MQTT client's thread takes its own.
        const auto done = [&] { return reply.isFinished() && watch.changes.size() > from; };
        QEventLoop loop;
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        const auto check = [&] {
            if (done()) loop.quit();
        };
        QObject::connect(&reply, &QDBusPendingCallWatcher::finished, &loop, check);
        QObject::connect(&watch, &PowerWatch::power, &loop, check);
        if (!done()) loop.exec();
        if (!done()) qFatal("no PropertiesChanged of Power after a Send");
        if (reply.isError()) qFatal("Send: %s", qPrintable(reply.error().message()));
        viaBus.push_back((watch.changes[from].first - t0) / 1e6);
    };
    for (int r = 0; r < rounds; ++r) {
        // Each turn's other notifications (the state on the broker after a Send, the signal
        // after a set) and the poll's read that follows a read back pass before the next.
        for (const auto &[viaBroker, on] :
             {std::pair{true, true}, {false, false}, {false, true}, {true, false}}) {
            viaBroker ? overMqtt(on) : overBus(on);
            QTest::qWait(1000);
        }
    }
    const double mqttMedian = percentile(viaMqtt, 50), busMedian = percentile(viaBus, 50);
    const std::string loadAfter = loadAverage();

    const int total = hostCount * PerHost;
    note(
        "Fleet: " + std::to_string(hostCount) + " projectord (Release) of " +
        std::to_string(PerHost) + " projectors each, each on a private dbus-daemon of its own " +
        "with one projector-sim --listen --count " + std::to_string(PerHost) +
        " (one simulator process per host), poll = " + std::to_string(Poll) +
        ", MQTT with discovery on; one mosquitto (anonymous, 127.0.0.1); the bench subscribed " +
        "to '#' through libmosquitto, which stamps each message on arrival, and sends the sets " +
        "through the same connection (QoS 1); plus two hosts of one projector each: the memory's " +
        "baseline, and the MQTT against D-Bus turns");
    note("Start: " + fmt("%.1f", startS) + " s for " + std::to_string(hostCount + 2) +
         " hosts started one after another, every state online " + fmt("%.1f", settledS) +
         " s after the first; " + std::to_string(startMessages) +
         " messages (discovery and states) on the broker by then");
    note("One power-on to all " + std::to_string(total) + ": the " + std::to_string(total) +
         " sets left the bench within " + fmt("%.1f", burstMs) + " ms; " +
         std::to_string(answeredOk) + " answered ok, " + std::to_string(answeredError) +
         " with an error; " + std::to_string(behindRead) +
         " found a poll's read in its reply window on the line; " + std::to_string(arrived.size()) +
         " new power states arrived" +
         (notWarming ? ", " + std::to_string(notWarming) + " of them not warming-up" : "") +
         "; median " + fmt("%.0f", median) + " ms, p99 " + fmt("%.0f", p99) + " ms, max " +
         fmt("%.0f", worst) + " ms from each one's publish" +
         (missing.empty() ? std::string()
                          : "; none came for " + missing.front() + " and " +
                                std::to_string(missing.size() - 1) + " more"));
    std::string seen;
    for (const std::string &t : idleTopics) {
        if (seen.size() > 200) break;
        seen += (seen.empty() ? "" : ", ") + t;
    }
    note("Idle: " + std::to_string(idle.size()) + " messages in " + std::to_string(idleSeconds) +
         " s after a quiet poll round" + (seen.empty() ? "" : " (" + seen + ")") + ", while the " +
         "fleet's " + std::to_string(total) + " projectors' polls sent " + fmt("%.0f", queryRate) +
         " queries a second to their simulators");
    note("projectord's resident memory, settled and connected to the broker: " +
         fmt("%.1f", rss10Median) + " MB with " + std::to_string(PerHost) +
         " projectors (median of " + std::to_string(hostCount) + " hosts, " +
         fmt("%.1f", percentile(rss10, 0)) + " to " + fmt("%.1f", percentile(rss10, 100)) +
         " MB), " + fmt("%.1f", rss1) + " MB with 1");
    note("MQTT against D-Bus, " + std::to_string(viaMqtt.size()) +
         " turns each, alternating on one projector whose simulator changes power at once: " +
         "MQTT from the set's publish to the state message with the new power; D-Bus from the " +
         "Send power-on/-off call to the PropertiesChanged that carries the new Power. Both " +
         "wait for the same read back of the power on the line; neither includes a further " +
         "read. Each takes two reply windows of 500 ms on the line at least (the command, then "
         "the " +
         "power read); this projector polls every 3600 s, so that no poll's read is under way " +
         "when a command comes, which would add up to a window by the turns' order. MQTT median " +
         fmt("%.1f", mqttMedian) + " ms, max " + fmt("%.1f", percentile(viaMqtt, 100)) +
         "; D-Bus median " + fmt("%.1f", busMedian) + " ms, max " +
         fmt("%.1f", percentile(viaBus, 100)));
    note("Load average (1, 5, 15 min) before " + loadBefore + ", after " + loadAfter +
         "; the bench held " + std::to_string(openFiles) +
         " open files with every host started, under a limit it raised from " +
         std::to_string(softBefore) + " to " + std::to_string(files.rlim_cur));

    row("Fleet: one power-on to all " + std::to_string(total) +
            " through MQTT, new state at the subscriber (ms, median / p99 / max)",
        ms(median) + " / " + ms(p99) + " / " + ms(worst), fmt("%.0f", mqttMedian) + " (one alone)",
        fmt("%.1fx", median / std::max(mqttMedian, 0.001)) + " the median", "every one <= 2000 ms",
        allArrived && worst <= 2000);
    row("Fleet idle: messages a second on the broker (" + std::to_string(total + 2) +
            " projectors, poll 5 s)",
        fmt("%.2f", idleRate), fmt("%.0f", queryRate) + " line queries/s",
        std::to_string(idle.size()) + " in " + std::to_string(idleSeconds) + " s", "0",
        idle.empty());
    row("projectord memory per projector (KB; (RSS 10 - RSS 1) / 9)",
        fmt("%.0f", perProjector * 1024), fmt("%.1f", rss1) + " MB with 1",
        fmt("%.1f", rss10Median) + " MB with 10", "(none set)", "-");
    row("Power change read through MQTT against D-Bus Send (ms, median)", fmt("%.1f", mqttMedian),
        fmt("%.1f", busMedian), fmt("%+.1f ms", mqttMedian - busMedian), "within 50 ms",
        std::abs(mqttMedian - busMedian) <= 50);

    // All stop together rather than one after another.
    for (const auto &h : fleet) h->service->signal(SIGTERM);
    single->service->signal(SIGTERM);
    turns->service->signal(SIGTERM);
    return 0;
}

#include "bench_fleet.moc"
