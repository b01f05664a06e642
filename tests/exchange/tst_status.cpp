// SPDX-License-Identifier: MIT
#include "LineTrace.h"
#include "StatusDecode.h"
#include "StatusTables.h"

#include <QTest>

Q_DECLARE_METATYPE(std::optional<QString>)

class StatusTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void interpret_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("reply");    // raw characters; the trace is made from them
        QTest::addColumn<QString>("expected"); // empty: nothing is shown
        const QString none;
        const QString ack(QChar(6));

        // clang-format off
        QTest::newRow("status 00") << "CR0\r" << "00\r" << " Power ON";
        QTest::newRow("status 80") << "CR0\r" << "80\r" << " Stand by";
        QTest::newRow("status 40") << "CR0\r" << "40\r" << " Count down";
        QTest::newRow("status 20") << "CR0\r" << "20\r" << " Cooling down";
        QTest::newRow("status 10") << "CR0\r" << "10\r" << " Power abnormality";
        QTest::newRow("status 88") << "CR0\r" << "88\r" << " Temperature abnormality";
        QTest::newRow("status 28") << "CR0\r" << "28\r" << " Temperature abnormality";
        QTest::newRow("status 02") << "CR0\r" << "02\r" << " Key input prohibition";
        QTest::newRow("status one char") << "CR0\r" << "0" << none;
        QTest::newRow("status 0 then CR") << "CR0\r" << "0\r" << none;
        QTest::newRow("status 01") << "CR0\r" << "01\r" << none;
        QTest::newRow("status ack") << "CR0\r" << ack + "\r" << none;
        QTest::newRow("status letter") << "CR0\r" << "A0\r" << none;
        QTest::newRow("status question") << "CR0\r" << "?0\r" << none;
        QTest::newRow("status longer reply") << "CR0\r" << "0012345\r" << " Power ON";

        QTest::newRow("mode 1") << "CR1\r" << "1\r" << " Computer 1";
        QTest::newRow("mode 2") << "CR1\r" << "2\r" << " Computer 2";
        QTest::newRow("mode 3") << "CR1\r" << "3\r" << " Video";
        QTest::newRow("mode 12: first counts") << "CR1\r" << "12\r" << " Computer 1";
        QTest::newRow("mode 4") << "CR1\r" << "4\r" << none;
        QTest::newRow("mode ack") << "CR1\r" << ack << none;

        QTest::newRow("setting 11") << "CR4\r" << "11\r" << " Normally";
        QTest::newRow("setting 10") << "CR4\r" << "10\r" << " Top/Bottom reversal";
        QTest::newRow("setting 01") << "CR4\r" << "01\r" << " Left/Right reversal";
        QTest::newRow("setting 00") << "CR4\r" << "00" << " Top/Bottom , Left/Right reversal";
        QTest::newRow("setting 80") << "CR4\r" << "80\r" << none;
        QTest::newRow("setting ack") << "CR4\r" << ack + "\r" << none;

        QTest::newRow("l-time 1234") << "CR3\r" << "1234\r" << " 1 2 3 4 Hour Use";
        QTest::newRow("l-time 1") << "CR3\r" << "1" << " 1  Hour Use";
        QTest::newRow("l-time 12") << "CR3\r" << "12" << " 1 2  Hour Use";
        QTest::newRow("l-time 123") << "CR3\r" << "123" << " 1 2 3  Hour Use";
        QTest::newRow("l-time 12 CR") << "CR3\r" << "12\r" << " 1 2 CR  Hour Use";
        QTest::newRow("l-time empty") << "CR3\r" << "" << "  Hour Use";
        QTest::newRow("l-time 5 digits") << "CR3\r" << "12345\r" << " 1 2 3 4 Hour Use";

        QTest::newRow("other command") << "C00\r" << "00\r" << none;
        QTest::newRow("no command yet") << "" << "00\r" << none;
        QTest::newRow("status without CR") << "CR0" << "00\r" << none;
        QTest::newRow("lower-case cr0") << "cr0\r" << "00\r" << none;
        // clang-format on
    }
    void interpret()
    {
        QFETCH(QString, command);
        QFETCH(QString, reply);
        QFETCH(QString, expected);
        const auto shown = interpretStatus(command, lineTrace(reply));
        if (expected.isEmpty())
            QVERIFY2(!shown, qPrintable(shown.value_or(QString())));
        else
            QCOMPARE(shown.value_or(QStringLiteral("<nothing>")), expected);
    }

    void decode_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("expected"); // the decoded field's name, or empty for none
        const QString ack(QChar(6));
        // clang-format off
        const char *power[][2] = {{"00", "on"}, {"80", "standby"}, {"40", "warming-up"},
            {"20", "cooling-down"}, {"10", "power-abnormality"}, {"88", "temperature-abnormality"},
            {"28", "temperature-abnormality"}, {"02", "key-lock"}};
        for (const auto &p : power)
            QTest::addRow("power %s", p[0]) << "CR0\r" << QString::fromLatin1(p[0]) + '\r' << p[1];
        QTest::newRow("power too short") << "CR0\r" << "0" << "";
        QTest::newRow("lamp 0123") << "CR3\r" << "0123\r" << "123";
        QTest::newRow("lamp no digits") << "CR3\r" << ack + "\r" << "";
        QTest::newRow("other command") << "C00\r" << "00\r" << "";
        // clang-format on
    }
    void decode()
    {
        QFETCH(QString, command);
        QFETCH(QString, reply);
        QFETCH(QString, expected);
        const DecodedStatus d = decodeStatus(command, lineTrace(reply));
        const QString got = d.power         ? QString(name(*d.power))
                            : d.input       ? QString(name(*d.input))
                            : d.orientation ? QString(name(*d.orientation))
                            : d.lampHours   ? QString::number(*d.lampHours)
                                            : QString();
        QCOMPARE(got, expected);
    }
};

QTEST_GUILESS_MAIN(StatusTest)
#include "tst_status.moc"
