// SPDX-License-Identifier: MIT
#include "LineTrace.h"

#include <QTest>

class LineTraceTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void trace_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("trace");
        auto ch = [](int code) { return QString(QChar(code)); };
        QTest::newRow("empty") << QString() << " ";
        QTest::newRow("command line") << QStringLiteral("C09\r") << " C 0 9 CR ";
        QTest::newRow("status read") << QStringLiteral("CR0\r") << " C R 0 CR ";
        QTest::newRow("reply 00") << QStringLiteral("00\r") << " 0 0 CR ";
        QTest::newRow("ack") << ch(6) + ch(13) << " ACK CR ";
        QTest::newRow("line feed") << ch(10) << " LF  ";
        QTest::newRow("blank") << QStringLiteral(" ") << "   ";
        QTest::newRow("code 0") << ch(0) << " ? ";
        QTest::newRow("code 5") << ch(5) << " ? ";
        QTest::newRow("code 7") << ch(7) << " ? ";
        QTest::newRow("code 20") << ch(20) << " ? ";
        QTest::newRow("code 31") << ch(31) << " ? ";
        QTest::newRow("code 32") << ch(32) << "   ";
        QTest::newRow("code 33") << ch(33) << " ! ";
        QTest::newRow("z, code 122") << ch(122) << " z ";
        QTest::newRow("{, code 123") << ch(123) << " ? ";
        QTest::newRow("~, code 126") << ch(126) << " ? ";
        QTest::newRow("code 127") << ch(127) << " ? ";
        QTest::newRow("code 128") << ch(128) << " ? ";
        QTest::newRow("code 255") << ch(255) << " ? ";
        QTest::newRow("code 0x3042") << ch(0x3042) << " ? ";
        QTest::newRow("punctuation between Z and a")
            << QStringLiteral("[\\]^_`") << " [ \\ ] ^ _ ` ";
        QTest::newRow("letters") << QStringLiteral("AZaz") << " A Z a z ";
        QTest::newRow("mixed") << ch(6) + QStringLiteral("1") + ch(10) + ch(13) + ch(200)
                               << " ACK 1 LF  CR ? ";
    }
    void trace()
    {
        QFETCH(QString, source);
        QFETCH(QString, trace);
        QCOMPARE(lineTrace(source), trace);
    }
};

QTEST_GUILESS_MAIN(LineTraceTest)
#include "tst_linetrace.moc"
