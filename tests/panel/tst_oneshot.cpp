// SPDX-License-Identifier: MIT
// The one-shot buttons: one command line per click, and what the four mode buttons also set.
#include "LineTrace.h"
#include "PanelRig.h"

#include <QTest>

using namespace std::chrono_literals;
using D = Exchange::Display;

class OneShotTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyButton_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("period"); // Timer1 after the click; 200 is the design value
        QTest::addColumn<int>("mode");   // CursorMode after the click
        const struct
        {
            const char *name, *line;
            int period, mode;
        } rows[] = {
            {"Command17", "C00\r", 200, 0}, {"Command18", "C02\r", 200, 0},
            {"Command27", "C05\r", 200, 0}, {"Command28", "C06\r", 200, 0},
            {"Command29", "C07\r", 200, 0}, {"Command23", "C1C\r", 200, 1},
            {"Command24", "C1D\r", 200, 0}, {"Command19", "C0B\r", 200, 0},
            {"Command20", "C0C\r", 200, 0}, {"Command21", "C0D\r", 200, 0},
            {"Command22", "C0E\r", 200, 0}, {"Command25", "C43\r", 200, 0},
            {"Command26", "C44\r", 200, 0}, {"Command31", "C0F\r", 200, 0},
            {"Command32", "C10\r", 200, 0}, {"Command10", "C80\r", 50, 2},
            {"Command11", "C87\r", 100, 2}, {"Command13", "C89\r", 200, 1},
            {"Command14", "C8A\r", 200, 0}, {"Command4", "C1F\r", 200, 0},
            {"Command3", "C1E\r", 200, 0},  {"Command44", "CR0\r", 200, 0},
            {"Command45", "CR1\r", 200, 0}, {"Command46", "CR3\r", 200, 0},
            {"Command47", "CR4\r", 200, 0}, {"Command52", "C01\r", 200, 0},
        };
        QCOMPARE(std::size(rows), OneShotButtons.size());
        for (const auto &r : rows)
            QTest::newRow(r.name) << QString::fromLatin1(r.name) << QByteArray(r.line) << r.period
                                  << r.mode;
    }
    void everyButton()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, line);
        QFETCH(int, period);
        QFETCH(int, mode);
        PanelRig r;
        r.click(name.toLatin1().constData());
        QCOMPARE(r.link.lines(), QList<QByteArray>{line});
        QCOMPARE(r.display(D::Txd), lineTrace(QString::fromLatin1(line)));
        QCOMPARE(r.panel.exchange().commandText(), QString::fromLatin1(line));
        QCOMPARE(r.panel.timer1().interval(), std::chrono::milliseconds(period));
        QCOMPARE(int(r.panel.cursorMode()), mode);
        QVERIFY(!r.panel.timer1().isActive()); // a mode button never starts the repetition
        QCOMPARE(r.panel.exchange().replyPending(), quint8(1));
        QVERIFY(r.panel.timer2().isActive() && r.panel.timer4().isActive());
    }

    void clickingTwiceSendsTwice()
    {
        PanelRig r;
        r.click("Command17");
        r.click("Command17");
        QCOMPARE(r.link.written(), QByteArray("C00\rC00\r"));
    }

    void menuOffKeepsTheMode()
    {
        PanelRig r;
        r.click("Command10"); // ZOOM
        r.click("Command24"); // MENU OFF
        QCOMPARE(r.panel.timer1().interval(), 50ms);
        QCOMPARE(int(r.panel.cursorMode()), 2);
    }

    void modeButtonOnARunningRepeatRetimesIt()
    {
        // An arrow held while ZOOM is clicked (a second pointer, or a lost release): the new
        // period applies at once, and the repetition goes on.
        PanelRig r;
        r.press("Command5");
        r.at(100);
        r.click("Command10");
        QVERIFY(r.panel.timer1().isActive());
        r.link.writes.clear();
        r.at(200);
        QCOMPARE(r.link.times(), (QList<long long>{150, 200}));
    }

    void failedSendLeavesTheModeAlone()
    {
        PanelRig r;
        r.link.close();
        r.click("Command10");
        QCOMPARE(r.failures.size(), 1);
        QCOMPARE(r.panel.timer1().interval(), 200ms);
        QCOMPARE(int(r.panel.cursorMode()), 0);
        QCOMPARE(r.panel.exchange().commandText(), QStringLiteral("C80\r"));
        QCOMPARE(r.display(D::Txd), QString());
    }
};

QTEST_GUILESS_MAIN(OneShotTest)
#include "tst_oneshot.moc"
