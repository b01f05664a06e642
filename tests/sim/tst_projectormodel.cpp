// SPDX-License-Identifier: MIT
#include "ProjectorModel.h"

#include <QTest>

using sim::ProjectorModel;
using sim::SimTime;
using namespace std::chrono_literals;

namespace {

using Fault = ProjectorModel::Fault;

ProjectorModel::Config config(SimTime warmup = 3s, SimTime cooldown = 3s)
{
    ProjectorModel::Config c;
    c.warmup = warmup;
    c.cooldown = cooldown;
    return c;
}

const QByteArray Ack("\x06\r");

QByteArray ask(ProjectorModel &m, const char *line, SimTime at)
{
    return QByteArray::fromStdString(m.answer(line, at));
}

// Runs "ms command [expected]" steps separated by ';'. An expected reply is given without its
// CR; "ACK" stands for the acknowledgement and "-" for no reply at all. A command of
// "fault:KIND" sets a fault instead of sending a line.
void play(ProjectorModel &m, const QString &script)
{
    for (const QString &step : script.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList f = step.simplified().split(QLatin1Char(' '));
        QVERIFY2(f.size() >= 2, qPrintable(step));
        const SimTime at = std::chrono::milliseconds(f[0].toLongLong());
        const QString command = f[1];
        if (command.startsWith(QLatin1String("fault:"))) {
            const QString kind = command.mid(6);
            m.setFault(kind == QLatin1String("power")         ? Fault::Power
                       : kind == QLatin1String("temperature") ? Fault::Temperature
                                                              : Fault::KeyLock,
                       at);
            continue;
        }
        const QByteArray got = ask(m, qPrintable(command), at);
        if (f.size() < 3) continue;
        const QByteArray want = f[2] == QLatin1String("ACK") ? Ack
                                : f[2] == QLatin1String("-") ? QByteArray()
                                                             : f[2].toLatin1() + '\r';
        QVERIFY2(got == want, qPrintable(QStringLiteral("%1: got %2, want %3")
                                             .arg(step, QString::fromLatin1(got.toHex(' ')),
                                                  QString::fromLatin1(want.toHex(' ')))));
    }
}

} // namespace

class TestProjectorModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void powerStatusInEveryState_data();
    void powerStatusInEveryState();
    void powerSequences_data();
    void powerSequences();
    void inputSelection_data();
    void inputSelection();
    void acknowledgement_data();
    void acknowledgement();
    void lampHours_data();
    void lampHours();
    void startValuesComeFromConfig();
};

// The other status reads do not depend on the power state; their own tests follow each.
void TestProjectorModel::powerStatusInEveryState_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QByteArray>("reply");

    // Each state reached with the default 3 s phases.
    QTest::newRow("stand by") << "" << QByteArray("80");
    QTest::newRow("count down") << "0 C00; 1000 CR1" << QByteArray("40");
    QTest::newRow("on") << "0 C00; 3000 CR1" << QByteArray("00");
    QTest::newRow("cooling down") << "0 C00; 3000 C02; 4000 CR1" << QByteArray("20");
    QTest::newRow("power abnormality") << "0 C00; 3000 fault:power" << QByteArray("10");
    QTest::newRow("temperature while cooling")
        << "0 C00; 3000 fault:temperature; 4000 CR1" << QByteArray("28");
    QTest::newRow("temperature in stand by") << "0 fault:temperature; 1000 CR1" << QByteArray("88");
    QTest::newRow("temperature after cooling")
        << "0 C00; 3000 fault:temperature; 6000 CR1" << QByteArray("88");
    QTest::newRow("key input prohibition") << "0 fault:keylock" << QByteArray("02");
}

void TestProjectorModel::powerStatusInEveryState()
{
    QFETCH(QString, setup);
    QFETCH(QByteArray, reply);

    ProjectorModel m(config());
    play(m, setup);
    if (QTest::currentTestFailed()) return;
    // Asked right where the setup left off: no time passes that could change the state.
    QCOMPARE(ask(m, "CR0", SimTime::zero()), reply + '\r');
}

void TestProjectorModel::powerSequences_data()
{
    QTest::addColumn<QString>("script");

    QTest::newRow("power on counts down, then is on")
        << "0 CR0 80; 0 C00 ACK; 0 CR0 40; 2999 CR0 40; 3000 CR0 00; 90000 CR0 00";
    QTest::newRow("power off cools down, then stands by")
        << "0 C00; 3000 C02 ACK; 3000 CR0 20; 5999 CR0 20; 6000 CR0 80";
    QTest::newRow("on is reached without anyone asking in between")
        << "0 C00; 10000 CR0 00; 10000 C02; 20000 CR0 80";
    QTest::newRow("power off during count down cools down")
        << "0 C00; 1000 C02 ACK; 1000 CR0 20; 3999 CR0 20; 4000 CR0 80";
    QTest::newRow("power on again during count down does not restart it")
        << "0 C00; 2000 C00 ACK; 3000 CR0 00";
    QTest::newRow("power on during cooling down is ignored")
        << "0 C00; 3000 C02; 4000 C00 ACK; 4000 CR0 20; 6000 CR0 80";
    QTest::newRow("power off again during cooling does not extend it")
        << "0 C00; 3000 C02; 5000 C02 ACK; 6000 CR0 80";
    QTest::newRow("power off in stand by stays in stand by") << "0 C02 ACK; 0 CR0 80";
    QTest::newRow("a second cycle behaves like the first")
        << "0 C00; 3000 C02; 6000 C00; 6000 CR0 40; 9000 CR0 00; 9000 C02; 12000 CR0 80";
    QTest::newRow("time running backwards changes nothing")
        << "0 C00; 2000 CR0 40; 500 CR0 40; 3000 CR0 00";
    QTest::newRow("temperature fault while on shuts the lamp down")
        << "0 C00; 3000 CR0 00; 4000 fault:temperature; 4000 CR0 28; 6999 CR0 28; 7000 CR0 88";
    QTest::newRow("temperature fault refuses power on")
        << "0 fault:temperature; 0 C00 ACK; 5000 CR0 88";
    QTest::newRow("temperature fault during cooling keeps its end")
        << "0 C00; 3000 C02; 4000 fault:temperature; 4000 CR0 28; 6000 CR0 88";
    QTest::newRow("power abnormality ignores power on") << "0 fault:power; 0 C00 ACK; 5000 CR0 10";
    QTest::newRow("key lock acknowledges but ignores power on")
        << "0 fault:keylock; 0 C00 ACK; 5000 CR0 02";
}

void TestProjectorModel::powerSequences()
{
    QFETCH(QString, script);
    ProjectorModel m(config());
    play(m, script);
}

void TestProjectorModel::inputSelection_data()
{
    QTest::addColumn<QString>("script");

    QTest::newRow("starts on computer 1") << "0 CR1 1";
    QTest::newRow("C06 selects computer 2") << "0 C06 ACK; 0 CR1 2";
    QTest::newRow("C07 selects video") << "0 C07 ACK; 0 CR1 3";
    QTest::newRow("C05 selects computer 1 again") << "0 C07; 0 C05 ACK; 0 CR1 1";
    QTest::newRow("selection holds over a power cycle") << "0 C06; 0 C00; 3000 C02; 6000 CR1 2";
    QTest::newRow("other codes leave it alone") << "0 C06; 0 C08; 0 C09; 0 C04; 0 CR1 2";
    QTest::newRow("lower case is no selection") << "0 C06; 0 c07 -; 0 CR1 2";
    QTest::newRow("selectable with a temperature fault") << "0 fault:temperature; 0 C07; 0 CR1 3";
    QTest::newRow("not selectable with power abnormality") << "0 fault:power; 0 C07 ACK; 0 CR1 1";
    QTest::newRow("not selectable under key lock") << "0 fault:keylock; 0 C07 ACK; 0 CR1 1";
}

void TestProjectorModel::inputSelection()
{
    QFETCH(QString, script);
    ProjectorModel m(config());
    play(m, script);
}

void TestProjectorModel::acknowledgement_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("acknowledged");

    for (const char *code : {"C00", "C02", "C05", "C06", "C07", "C09", "C0A", "C3A", "C3B", "C3C",
                             "C3D", "C3F", "C1C", "CFF", "C99"})
        QTest::addRow("%s", code) << QString::fromLatin1(code) << true;

    // Anything that is no command of either form goes unanswered.
    QTest::newRow("empty") << "" << false;
    QTest::newRow("CR2 is no status read") << "CR2" << false;
    QTest::newRow("CR5 is no status read") << "CR5" << false;
    QTest::newRow("lower-case hex") << "C0a" << false;
    QTest::newRow("lower-case c") << "c00" << false;
    QTest::newRow("not hex") << "C0G" << false;
    QTest::newRow("too short") << "C0" << false;
    QTest::newRow("too long") << "C000" << false;
    QTest::newRow("status read too long") << "CR00" << false;
    QTest::newRow("leading space") << " C0" << false;
    QTest::newRow("line feed left over") << "\nC0" << false;
}

void TestProjectorModel::acknowledgement()
{
    QFETCH(QString, line);
    QFETCH(bool, acknowledged);
    ProjectorModel m(config());
    QCOMPARE(ask(m, qPrintable(line), 0s), acknowledged ? Ack : QByteArray());
}

void TestProjectorModel::lampHours_data()
{
    QTest::addColumn<int>("startHours");
    QTest::addColumn<QString>("script");

    // One lamp hour is one real second here (see lampHours()).
    QTest::newRow("start value while standing by") << 123 << "0 CR3 0123; 99000 CR3 0123";
    QTest::newRow("counts whole hours while on")
        << 123 << "0 C00; 3000 CR3 0123; 3999 CR3 0123; 4000 CR3 0124; 13000 CR3 0133";
    QTest::newRow("not during count down") << 0 << "0 C00; 2999 CR3 0000";
    QTest::newRow("not during cooling down or after")
        << 0 << "0 C00; 5500 C02; 5500 CR3 0002; 8500 CR3 0002; 60000 CR3 0002";
    QTest::newRow("parts of hours add up over sessions")
        << 0 << "0 C00; 3600 C02; 7000 C00; 10600 CR3 0001";
    QTest::newRow("stops at a temperature fault")
        << 0 << "0 C00; 5000 fault:temperature; 50000 CR3 0002";
    QTest::newRow("stops at power abnormality") << 0 << "0 C00; 5000 fault:power; 50000 CR3 0002";
    QTest::newRow("keeps counting under key lock")
        << 0 << "0 C00; 5000 fault:keylock; 13000 CR3 0010";
    QTest::newRow("four digits at most") << 9998 << "0 C00; 3000 CR3 9998; 10000 CR3 9999";
    QTest::newRow("zero padded") << 7 << "0 CR3 0007";
}

void TestProjectorModel::lampHours()
{
    QFETCH(int, startHours);
    QFETCH(QString, script);
    ProjectorModel::Config c = config();
    c.lampHour = 1s;
    c.startHours = startHours;
    ProjectorModel m(c);
    play(m, script);
}

void TestProjectorModel::startValuesComeFromConfig()
{
    ProjectorModel::Config c = config(0s, 0s);
    c.input = '3';
    c.orientation = "01";
    c.startHours = 42;
    ProjectorModel m(c, 5s);
    QCOMPARE(ask(m, "CR1", 5s), QByteArray("3\r"));
    QCOMPARE(ask(m, "CR4", 5s), QByteArray("01\r"));
    QCOMPARE(ask(m, "CR3", 5s), QByteArray("0042\r"));
    // No warm-up or cooling time: each switch takes effect at once.
    QCOMPARE(ask(m, "C00", 5s), Ack);
    QCOMPARE(ask(m, "CR0", 5s), QByteArray("00\r"));
    QCOMPARE(ask(m, "C02", 5s), Ack);
    QCOMPARE(ask(m, "CR0", 5s), QByteArray("80\r"));
}

QTEST_GUILESS_MAIN(TestProjectorModel)
#include "tst_projectormodel.moc"
