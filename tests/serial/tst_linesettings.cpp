// SPDX-License-Identifier: MIT
#include "LineSettings.h"

#include <QTest>

class LineSettingsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("stopBits");
        QTest::newRow("19200") << "19200,N,8,1" << true << 19200 << 1;
        QTest::newRow("9600") << "9600,N,8,1" << true << 9600 << 1;
        QTest::newRow("two stop bits, even") << "4800,e,7,2" << true << 4800 << 2;
        QTest::newRow("empty") << "" << false << 0 << 0;
        QTest::newRow("three fields") << "9600,N,8" << false << 0 << 0;
        QTest::newRow("zero baud") << "0,N,8,1" << false << 0 << 0;
        QTest::newRow("bad parity") << "9600,X,8,1" << false << 0 << 0;
        QTest::newRow("nine data bits") << "9600,N,9,1" << false << 0 << 0;
        QTest::newRow("three stop bits") << "9600,N,8,3" << false << 0 << 0;
        QTest::newRow("letters for baud") << "fast,N,8,1" << false << 0 << 0;
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const auto s = LineSettings::parse(text);
        QCOMPARE(bool(s), valid);
        if (!s) return;
        QFETCH(int, baud);
        QFETCH(int, stopBits);
        QCOMPARE(s->baud, baud);
        QCOMPARE(s->stopBits, stopBits);
    }
};

QTEST_GUILESS_MAIN(LineSettingsTest)
#include "tst_linesettings.moc"
