// SPDX-License-Identifier: MIT
// Replays the fuzz seeds, and a few edge programs, through the same checks the fuzzers apply,
// so an ordinary build catches what the seeds already reach.
#include "Exchange.h"
#include "PjlinkProgram.h"
#include "ReceiveProgram.h"
#include "TelnetProgram.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTest>

#include <algorithm>
#include <functional>

using receiveprogram::Outcome;

namespace {

Outcome runProgram(const QByteArray &program, QStringList *log = nullptr)
{
    return receiveprogram::run(reinterpret_cast<const std::uint8_t *>(program.constData()),
                               std::size_t(program.size()), log);
}

QByteArray readSeed(const QString &name, const char *corpus = PANEL_FUZZ_CORPUS)
{
    QFile f(QDir(QString::fromUtf8(corpus)).filePath(name));
    if (!f.open(QIODevice::ReadOnly)) qFatal("cannot read seed %s", qPrintable(f.fileName()));
    return f.readAll();
}

// The violation and the steps that led to it, for the failure message.
QByteArray explain(const QByteArray &program, const Outcome &out)
{
    QStringList log;
    runProgram(program, &log);
    constexpr qsizetype Tail = 40;
    return (out.violation + QLatin1Char('\n') +
            log.mid(std::max<qsizetype>(0, log.size() - Tail)).join(QLatin1Char('\n')))
        .toLocal8Bit();
}

// Opcodes and commands as the program reader numbers them.
enum : char { Short, Long, Flood, Advance, NextTick, Transmit, Other, Refuse };
enum : char { CR0, CR1, CR3, CR4, C09 };

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int v : values) out += char(v);
    return out;
}

} // namespace

using Expectation = std::function<bool(const Outcome &)>;
Q_DECLARE_METATYPE(Expectation)

class FuzzCorpusTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void replay_data()
    {
        QTest::addColumn<QString>("name");
        const QStringList names = QDir(QStringLiteral(PANEL_FUZZ_CORPUS)).entryList(QDir::Files);
        QVERIFY2(!names.isEmpty(), PANEL_FUZZ_CORPUS " holds no seeds");
        for (const QString &name : names) QTest::newRow(qPrintable(name)) << name;
    }

    void replay()
    {
        QFETCH(QString, name);
        const QByteArray program = readSeed(name);
        const Outcome out = runProgram(program);
        QVERIFY2(out.violation.isEmpty(), explain(program, out).constData());
    }

    // The decoder may change; the seeds must still drive the receive path where they are meant to.
    void seedsReachTheirCase_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Expectation>("reached");
        const auto shows = [](const char *status) {
            return Expectation([s = QString::fromLatin1(status)](const Outcome &o) {
                return o.statuses.contains(s);
            });
        };
        QTest::newRow("normal reply") << "status-normal" << shows(" Power ON");
        QTest::newRow("reply in pieces") << "split-reply" << Expectation([](const Outcome &o) {
            return o.statuses == QStringList{QStringLiteral(" Power ON"),
                                             QStringLiteral(" Top/Bottom , Left/Right reversal")};
        });
        QTest::newRow("hours grow digit by digit")
            << "ltime-growth" << Expectation([](const Outcome &o) {
                   return o.statuses.mid(0, 4) == QStringList{QStringLiteral(" 1  Hour Use"),
                                                              QStringLiteral(" 1 2  Hour Use"),
                                                              QStringLiteral(" 1 2 3  Hour Use"),
                                                              QStringLiteral(" 1 2 3 4 Hour Use")};
               });
        QTest::newRow("reply after the mark") << "late-reply" << Expectation([](const Outcome &o) {
            return o.marks == 1 && o.statuses.contains(QStringLiteral(" Stand by"));
        });
        QTest::newRow("reply held at the bound") << "long-run" << Expectation([](const Outcome &o) {
            return o.longestReply == Exchange::MaxReplyLength;
        });
        QTest::newRow("refused write still sets the command")
            << "refused-write" << Expectation([](const Outcome &o) {
                   return o.statuses == QStringList{QStringLiteral(" Computer 1")};
               });
        QTest::newRow("every status text") << "every-status" << Expectation([](const Outcome &o) {
            return o.statusKinds == (2u << Outcome::HoursBit) - 1;
        });
        QTest::newRow("empty notification is a reply")
            << "empty-notification" << shows("  Hour Use");
    }

    void seedsReachTheirCase()
    {
        QFETCH(QString, name);
        QFETCH(Expectation, reached);
        QStringList log;
        const Outcome out = runProgram(readSeed(name), &log);
        QVERIFY2(reached(out), qPrintable(log.join(QLatin1Char('\n'))));
    }

    // Programs cut short or at the limits of their operands: decoding must stay well defined
    // and every check hold.
    void edgePrograms_data()
    {
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<int>("longestReply");
        QTest::addColumn<int>("marks");

        QTest::newRow("empty input") << QByteArray() << 0 << 0;
        QTest::newRow("command only, past every timer")
            << bytes({C09, NextTick, 1, NextTick, 1, NextTick, 1}) << 0 << 1;
        QTest::newRow("short chunk cut by the end") << bytes({CR0, Short, 200, '0', '0'}) << 2 << 0;
        QTest::newRow("long chunk repeats what it got")
            << bytes({CR0, Long, 0xff, 0x0f, 'a', 'b'}) << 4095 << 0;
        QTest::newRow("long chunk with no bytes at all") << bytes({CR0, Long, 0x10}) << 16 << 0;
        QTest::newRow("two floods past the bound")
            << bytes({CR0, Flood, 47, 0, 'z', Flood, 47, 15}) << Exchange::MaxReplyLength << 0;
        QTest::newRow("bound reached exactly, then one more")
            << bytes({CR0, Flood, 30, 0, '1', Long, 0xff, 0x03}) + QByteArray(1023, '2') +
                   bytes({Short, 1, '3'})
            << Exchange::MaxReplyLength << 0;
        QTest::newRow("next tick with no timer running")
            << bytes({CR0, NextTick, 1, NextTick, 1, NextTick, 1, NextTick, 0, NextTick, 2}) << 0
            << 1;
        QTest::newRow("advance by the largest step")
            << bytes({CR1, Advance, 0xff, 0xff, Short, 1, '3'}) << 1 << 1;
        QTest::newRow("transmits while refused, then reply")
            << bytes({CR4, Refuse, Transmit, CR0, Transmit, CR3, Refuse, Short, 2, '0', '0',
                      NextTick, 1})
            << 2 << 0;
        QTest::newRow("opcodes wrap around")
            << bytes({CR3, 8 + Short, 1, '7', 16 + Other, 248 + NextTick, 1}) << 1 << 0;
        // A display is notified only when its text changes.
        QTest::newRow("reply growing, an empty notification between")
            << bytes({CR0, Short, 1, '0', Short, 0, Short, 2, '0', 13}) << 3 << 0;
        QTest::newRow("same reply in the next window")
            << bytes({C09, Short, 2, 6, 13, NextTick, 1, Transmit, C09, Short, 2, 6, 13}) << 2 << 0;
        QTest::newRow("empty notification after the window")
            << bytes({C09, Short, 0, NextTick, 1, Short, 0}) << 0 << 0;
    }

    void edgePrograms()
    {
        QFETCH(QByteArray, program);
        QFETCH(int, longestReply);
        QFETCH(int, marks);
        const Outcome out = runProgram(program);
        QVERIFY2(out.violation.isEmpty(), explain(program, out).constData());
        QCOMPARE(out.longestReply, longestReply);
        QCOMPARE(out.marks, marks);
    }

    // The Telnet seeds: every check of the fuzzer holds, and each gives the data it carries.
    void telnetSeeds_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("faults");
        const QStringList names = QDir(QStringLiteral(PANEL_TELNET_CORPUS)).entryList(QDir::Files);
        QCOMPARE(names.size(), 9); // a new seed gets a row here
        QByteArray plain("ACK\r00\r80\r");
        for (int i = 0; i < 255; ++i) plain += char(i);
        const QByteArray refusals("\xff\xfe\x01\xff\xfc\x03\xff\xfe\xc8", 9);
        QTest::newRow("plain data") << "plain-data" << plain << QByteArray() << 0;
        QTest::newRow("IAC IAC") << "iac-iac" << QByteArray("A\xff\x42\xff\xff\x43\r")
                                 << QByteArray() << 0;
        // ser2net's greeting: SGA and ECHO refused, BINARY and COM-PORT-OPTION agreed.
        QTest::newRow("negotiation")
            << "negotiation" << QByteArray("ACK\r")
            << QByteArray(
                   "\xff\xfe\x03\xff\xfc\x03\xff\xfe\x01\xff\xfb\x00\xff\xfd\x00\xff\xfb\x2c", 18)
            << 0;
        QTest::newRow("COM-PORT answers")
            << "subnegotiation-comport" << QByteArray("00\r\xff\r") << QByteArray() << 0;
        QTest::newRow("unterminated")
            << "unterminated-subnegotiation" << QByteArray("C0") << QByteArray() << 0;
        QTest::newRow("endless WILL and DO")
            << "endless-will-do" << QByteArray("X") << refusals.repeated(250) << 0;
        QTest::newRow("compression unasked") << "compress-unasked" << QByteArray("\x78\x9cok\rZ")
                                             << QByteArray("\xff\xfe\x01", 3) << 2;
        // IAC SB inside ENVIRON's subnegotiation: libtelnet left the SB unread once.
        QTest::newRow("subnegotiation ended by a command")
            << "subnegotiation-ended-by-command" << QByteArray("ZY")
            << QByteArray("\xff\xfe\x01", 3) << 0;
        QTest::newRow("overlong subnegotiation")
            << "long-subnegotiation" << QByteArray("AB\xff\r\n") << QByteArray() << 1;
    }

    void telnetSeeds()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, reply);
        QFETCH(int, faults);
        const QByteArray input = readSeed(name, PANEL_TELNET_CORPUS);
        QStringList log;
        const telnetprogram::Outcome out =
            telnetprogram::run(reinterpret_cast<const std::uint8_t *>(input.constData()),
                               std::size_t(input.size()), &log);
        QVERIFY2(out.violation.isEmpty(), qPrintable(out.violation + QLatin1Char('\n') +
                                                     log.mid(0, 20).join(QLatin1Char('\n'))));
        QCOMPARE(out.data, data);
        QCOMPARE(out.reply, reply);
        QCOMPARE(out.faults, faults);
    }

    // The PJLink seeds: every check of the fuzzer holds, and each reaches what it is for.
    void pjlinkSeeds_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("commands");     // rows of the mapping reached
        QTest::addColumn<QByteArray>("start"); // of the answers
        const QStringList names = QDir(QStringLiteral(PANEL_PJLINK_CORPUS)).entryList(QDir::Files);
        QCOMPARE(names.size(), 8); // a new seed gets a row here
        const QByteArray refused = "PJLINK ERRA\r<close>";
        // clang-format off
        QTest::newRow("every command") << "every-command" << 22 << QByteArray("%1POWR=");
        QTest::newRow("authenticated") << "authenticated" << 2 << QByteArray("%1POWR=");
        QTest::newRow("wrong digest") << "wrong-digest" << 0 << refused;
        QTest::newRow("no digest") << "no-digest" << 0 << refused;
        QTest::newRow("endless first line") << "endless-first-line" << 0 << refused;
        QTest::newRow("errors") << "errors" << 1 << QByteArray("%1FREZ=ERR1\r%2CLSS=ERR1\r%1INPT=ERR2\r%1INPT=ERR2\r%1AVMT=ERR2\r%1POWR=");
        QTest::newRow("CR LF and noise") << "crlf-and-noise" << 1 << QByteArray("%1CLSS=1\r%1POWR=ERR2\r");
        QTest::newRow("overlong") << "overlong" << 1 << QByteArray("%1POWR=ERR2\r%1INPT=ERR2\r%1CLSS=1\r");
        // clang-format on
    }
    void pjlinkSeeds()
    {
        QFETCH(QString, name);
        QFETCH(int, commands);
        QFETCH(QByteArray, start);
        const QByteArray input = readSeed(name, PANEL_PJLINK_CORPUS);
        const pjlinkprogram::Outcome out = pjlinkprogram::run(
            reinterpret_cast<const std::uint8_t *>(input.constData()), std::size_t(input.size()));
        QVERIFY2(out.violation.isEmpty(), qPrintable(out.violation));
        QCOMPARE(out.commands, commands);
        QVERIFY2(out.output.startsWith(start), out.output.constData());
    }
};

QTEST_GUILESS_MAIN(FuzzCorpusTest)
#include "tst_fuzzcorpus.moc"
