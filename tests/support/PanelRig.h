// SPDX-License-Identifier: MIT
#pragma once

#include "ButtonTables.h"
#include "FakeLink.h"
#include "Panel.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTest>

// The window's behaviour on a fake link and a virtual clock, started as the window starts it,
// with every display change and every reported failure recorded against virtual time.
struct PanelRig : VirtualLine
{
    struct Change
    {
        long long atMs;
        Exchange::Display which;
        QString text;
        bool operator==(const Change &o) const
        {
            return atMs == o.atMs && which == o.which && text == o.text;
        }
    };

    Panel panel{link, clock.factory()};
    QList<Change> changes;
    QStringList failures;
    QStringList warnings;

    explicit PanelRig(bool load = true)
    {
        QObject::connect(&panel.exchange(), &Exchange::displayChanged, &panel,
                         [this](Exchange::Display w, const QString &t) {
                             changes.append({clock.now().count(), w, t});
                         });
        QObject::connect(&panel.exchange(), &Exchange::sendFailed, &panel,
                         [this](const LinkFailure &f) { failures << f.text(); });
        QObject::connect(&panel.ports(), &PortControl::warning, &panel,
                         [this](const LinkFailure &f) { warnings << f.text(); });
        if (load) QVERIFY(panel.load());
        link.writes.clear();
    }

    void click(const char *name) { QVERIFY(panel.activate(QLatin1StringView(name))); }
    void press(const char *name) { QVERIFY(panel.press(QLatin1StringView(name))); }
    void release(const char *name) { QVERIFY(panel.release(QLatin1StringView(name))); }

    QString display(Exchange::Display w) const { return panel.exchange().display(w); }
};
