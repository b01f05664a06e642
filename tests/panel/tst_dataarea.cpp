// SPDX-License-Identifier: MIT
// Ctrl+H and the data-area toggle, and how the toggle postpones the settings panel's hiding.
#include "PanelRig.h"

#include <QTest>

class DataAreaTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void shortcut_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("mask");
        QTest::addColumn<bool>("opens");
        QTest::newRow("ctrl+h") << 72 << 2 << true;
        QTest::newRow("h alone") << 72 << 0 << false;
        QTest::newRow("shift+ctrl+h") << 72 << 3 << false;
        QTest::newRow("ctrl+alt+h") << 72 << 6 << false;
        QTest::newRow("shift+ctrl+alt+h") << 72 << 7 << false;
        QTest::newRow("ctrl+g") << 71 << 2 << false;
        QTest::newRow("ctrl+h, higher bits ignored") << 72 << (2 | 8 | 16) << true;
    }
    void shortcut()
    {
        QFETCH(int, key);
        QFETCH(int, mask);
        QFETCH(bool, opens);
        PanelRig r;
        r.panel.keyDown(key, mask);
        QCOMPARE(r.panel.height(), opens ? Panel::FullHeight : Panel::NormalHeight);
        QCOMPARE(r.panel.command34Visible(), opens);
        QCOMPARE(r.panel.command34Caption(), opens ? CloseCaption : ShowDataCaption);
        QVERIFY(!r.panel.timer3().isActive());
    }

    void toggleCycle()
    {
        PanelRig r;
        // Hidden, but reachable by Tab: a keyboard activation opens to the toggle height.
        r.panel.toggleDataArea();
        QCOMPARE(r.panel.height(), Panel::ToggleHeight);
        QCOMPARE(r.panel.command34Caption(), HideDataCaption);
        QVERIFY(!r.panel.command34Visible());
        r.panel.toggleDataArea();
        QCOMPARE(r.panel.height(), Panel::NormalHeight);
        QCOMPARE(r.panel.command34Caption(), ShowDataCaption);
        r.panel.keyDown(72, 2);
        QCOMPARE(r.panel.height(), Panel::FullHeight);
        r.panel.keyDown(72, 2); // again: no further change
        QCOMPARE(r.panel.height(), Panel::FullHeight);
        QCOMPARE(r.panel.command34Caption(), CloseCaption);
        r.panel.toggleDataArea(); // from 7200: closes
        QCOMPARE(r.panel.height(), Panel::NormalHeight);
        QCOMPARE(r.panel.command34Caption(), ShowDataCaption);
        QVERIFY(r.panel.command34Visible()); // never hidden again
        r.panel.toggleDataArea();
        r.panel.keyDown(72, 2); // Ctrl+H always leaves CLOSE
        QCOMPARE(r.panel.command34Caption(), CloseCaption);
    }

    void openBoundary()
    {
        QVERIFY(!Panel::countsAsOpen(5999));
        QVERIFY(Panel::countsAsOpen(6000));
        QVERIFY(Panel::countsAsOpen(Panel::ToggleHeight));
        QVERIFY(!Panel::countsAsOpen(Panel::NormalHeight));
    }

    void togglePostponesPanelHiding()
    {
        PanelRig r;
        r.panel.ports().showSettings();
        QVERIFY(r.panel.ports().settingsVisible());
        r.at(3000);
        r.panel.toggleDataArea();
        r.at(7999);
        QVERIFY(r.panel.ports().settingsVisible());
        r.at(8000);
        QVERIFY(!r.panel.ports().settingsVisible());
        QVERIFY(!r.panel.timer3().isActive());
    }

    void toggleWithPanelClosedStartsTimer3Once()
    {
        PanelRig r;
        r.panel.toggleDataArea();
        QVERIFY(r.panel.timer3().isActive());
        r.at(5000);
        QVERIFY(!r.panel.ports().settingsVisible());
        QVERIFY(!r.panel.timer3().isActive());
    }
};

QTEST_GUILESS_MAIN(DataAreaTest)
#include "tst_dataarea.moc"
