// SPDX-License-Identifier: MIT
#include "Commands.h"
#include "StatusReads.h"
#include "StatusTables.h"

#include <QTest>

// The one table of the status reads: a reply's bytes, what the vocabulary decodes from them, and
// the words the status display shows for them.
class StatusTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void statusRead_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("decoded"); // the field's value by name(); empty for none
        QTest::addColumn<QString>("words");   // empty: nothing is shown
        const QString none;
        const QByteArray ack("\x06");

        // clang-format off
        QTest::newRow("status 00") << "CR0\r" << QByteArray("00\r") << "on" << " Power ON";
        QTest::newRow("status 80") << "CR0\r" << QByteArray("80\r") << "standby" << " Stand by";
        QTest::newRow("status 40") << "CR0\r" << QByteArray("40\r") << "warming-up" << " Count down";
        QTest::newRow("status 20") << "CR0\r" << QByteArray("20\r") << "cooling-down" << " Cooling down";
        QTest::newRow("status 10") << "CR0\r" << QByteArray("10\r") << "power-abnormality" << " Power abnormality";
        QTest::newRow("status 88") << "CR0\r" << QByteArray("88\r") << "temperature-abnormality" << " Temperature abnormality";
        QTest::newRow("status 28") << "CR0\r" << QByteArray("28\r") << "temperature-abnormality" << " Temperature abnormality";
        QTest::newRow("status 02") << "CR0\r" << QByteArray("02\r") << "key-lock" << " Key input prohibition";
        QTest::newRow("status split: first char") << "CR0\r" << QByteArray("8") << none << none;
        QTest::newRow("status split: both chars") << "CR0\r" << QByteArray("80") << "standby" << " Stand by";
        QTest::newRow("status 0 then CR") << "CR0\r" << QByteArray("0\r") << none << none;
        QTest::newRow("status 01") << "CR0\r" << QByteArray("01\r") << none << none;
        QTest::newRow("status ack") << "CR0\r" << ack + "\r" << none << none;
        QTest::newRow("status letter") << "CR0\r" << QByteArray("A0\r") << none << none;
        QTest::newRow("status garbage") << "CR0\r" << QByteArray("\xff\x80\r") << none << none;
        QTest::newRow("status longer reply") << "CR0\r" << QByteArray("0012345\r") << "on" << " Power ON";
        QTest::newRow("status empty") << "CR0\r" << QByteArray() << none << none;

        QTest::newRow("mode 1") << "CR1\r" << QByteArray("1\r") << "computer-1" << " Computer 1";
        QTest::newRow("mode 2") << "CR1\r" << QByteArray("2\r") << "computer-2" << " Computer 2";
        QTest::newRow("mode 3") << "CR1\r" << QByteArray("3\r") << "video" << " Video";
        QTest::newRow("mode 12: first counts") << "CR1\r" << QByteArray("12\r") << "computer-1" << " Computer 1";
        QTest::newRow("mode 4") << "CR1\r" << QByteArray("4\r") << none << none;
        QTest::newRow("mode ack") << "CR1\r" << ack << none << none;

        QTest::newRow("setting 11") << "CR4\r" << QByteArray("11\r") << "normal" << " Normally";
        QTest::newRow("setting 10") << "CR4\r" << QByteArray("10\r") << "top-bottom-reversed" << " Top/Bottom reversal";
        QTest::newRow("setting 01") << "CR4\r" << QByteArray("01\r") << "left-right-reversed" << " Left/Right reversal";
        QTest::newRow("setting 00") << "CR4\r" << QByteArray("00") << "both-reversed" << " Top/Bottom , Left/Right reversal";
        QTest::newRow("setting 80") << "CR4\r" << QByteArray("80\r") << none << none;
        QTest::newRow("setting ack") << "CR4\r" << ack + "\r" << none << none;

        // The lamp time's words are its first characters as RXD shows them, digits or not.
        QTest::newRow("l-time 1234") << "CR3\r" << QByteArray("1234\r") << "1234" << " 1 2 3 4 Hour Use";
        QTest::newRow("l-time 0123") << "CR3\r" << QByteArray("0123\r") << "123" << " 0 1 2 3 Hour Use";
        QTest::newRow("l-time 1") << "CR3\r" << QByteArray("1") << "1" << " 1  Hour Use";
        QTest::newRow("l-time 123") << "CR3\r" << QByteArray("123") << "123" << " 1 2 3  Hour Use";
        QTest::newRow("l-time 12 CR") << "CR3\r" << QByteArray("12\r") << "12" << " 1 2 CR  Hour Use";
        QTest::newRow("l-time digits then letter") << "CR3\r" << QByteArray("12a4\r") << "12" << " 1 2 a 4 Hour Use";
        QTest::newRow("l-time no digits") << "CR3\r" << ack + "\r" << none << " ACK CR  Hour Use";
        QTest::newRow("l-time empty") << "CR3\r" << QByteArray() << none << "  Hour Use";
        QTest::newRow("l-time 5 digits") << "CR3\r" << QByteArray("12345\r") << "1234" << " 1 2 3 4 Hour Use";

        QTest::newRow("other command") << "C00\r" << QByteArray("00\r") << none << none;
        QTest::newRow("no command yet") << "" << QByteArray("00\r") << none << none;
        QTest::newRow("status without CR") << "CR0" << QByteArray("00\r") << none << none;
        QTest::newRow("lower-case cr0") << "cr0\r" << QByteArray("00\r") << none << none;
        // clang-format on
    }
    void statusRead()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, reply);
        QFETCH(QString, decoded);
        QFETCH(QString, words);
        const DecodedStatus d = decodeReply(command.toLatin1(), reply);
        const QString got = d.power         ? QString(name(*d.power))
                            : d.input       ? QString(name(*d.input))
                            : d.orientation ? QString(name(*d.orientation))
                            : d.lampHours   ? QString::number(*d.lampHours)
                                            : QString();
        QCOMPARE(got, decoded);
        QCOMPARE(readingFields(d).size(), decoded.isEmpty() ? 0 : 1);
        const auto shown = interpretStatus(command, QString::fromLatin1(reply));
        if (words.isEmpty())
            QVERIFY2(!shown, qPrintable(shown.value_or(QString())));
        else
            QCOMPARE(shown.value_or(QStringLiteral("<nothing>")), words);
    }

    // A command line is its code and a CR; the mute state follows the mute commands' lines only.
    void lines()
    {
        QCOMPARE(commandLine(QLatin1StringView(Code::ReadPower)), QByteArray("CR0\r"));
        MuteState m;
        const auto mutes = [&m] { // video, audio: 1 on, 0 off, ? never set
            const auto one = [](std::optional<bool> b) { return b ? (*b ? '1' : '0') : '?'; };
            return QByteArray().append(one(m.video)).append(one(m.audio));
        };
        QCOMPARE(mutes(), "??");
        QVERIFY(applyMuteLine(m, "C0D\r") && mutes() == "1?");
        QVERIFY(applyMuteLine(m, "C0B\r") && mutes() == "11");
        QVERIFY(!applyMuteLine(m, "C0E") && mutes() == "11");    // no line without its CR
        QVERIFY(!applyMuteLine(m, "C0E\rX") && mutes() == "11"); // nor with more after it
        QVERIFY(applyMuteLine(m, "C0C\r") && mutes() == "10");
        QVERIFY(!applyMuteLine(m, "C00\r"));
        QCOMPARE(readingFields({PowerState::Standby, {}, {}, {}}),
                 (QVariantMap{{QStringLiteral("power"), QStringLiteral("standby")}}));
        QCOMPARE(readingFields({{}, {}, 123, {}}).value(QStringLiteral("lamp_hours")),
                 QVariant(123));
    }
};

QTEST_GUILESS_MAIN(StatusTest)
#include "tst_status.moc"
