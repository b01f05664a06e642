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
    // The codes are checked against the design through the window and on the wire; here, what
    // a click does besides sending its line.
    void everyButton_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(OneShotButtons.size()); ++i)
            QTest::newRow(OneShotButtons[i].name) << i;
    }
    void everyButton()
    {
        QFETCH(int, row);
        const OneShotButton &b = OneShotButtons[row];
        PanelRig r;
        r.click(b.name);
        const QString line = QLatin1String(b.code) + u'\r';
        QCOMPARE(r.link.lines(), QList<QByteArray>{line.toLatin1()});
        QCOMPARE(r.display(D::Txd), lineTrace(line));
        QCOMPARE(r.panel.exchange().commandText(), line);
        QVERIFY(!r.panel.timer1().isActive()); // a mode button never starts the repetition
        QCOMPARE(r.panel.exchange().replyPending(), quint8(1));
        QVERIFY(r.panel.timer2().isActive() && r.panel.timer4().isActive());
        // Only ZOOM, FOCUS, A-IMAGE and MENU ON set the arrows' period and mode (tst_hold).
        if (!QByteArrayList{"Command10", "Command11", "Command13", "Command23"}.contains(b.name)) {
            QCOMPARE(r.panel.timer1().interval(), 200ms);
            QCOMPARE(int(r.panel.cursorMode()), 0);
        }
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
