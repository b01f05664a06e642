// SPDX-License-Identifier: MIT
#pragma once

#include "ButtonTables.h"
#include "FakeLink.h"
#include "Panel.h"
#include "VirtualClock.h"

#include <QList>
#include <QTest>
#include <QString>
#include <QStringList>

#include <cstring>

// The window's behaviour on a fake link and a virtual clock, started as the window starts it,
// with every display change and every reported failure recorded against virtual time.
struct PanelRig
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

    VirtualClock clock;
    FakeLink link;
    Panel panel{link, clock.factory()};
    QList<Change> changes;
    QStringList failures;
    QStringList warnings;
    bool loaded = false;

    explicit PanelRig(bool load = true)
    {
        link.now = [this] { return clock.now().count(); };
        QObject::connect(&panel.exchange(), &Exchange::displayChanged, &panel,
                         [this](Exchange::Display w, const QString &t) {
                             changes.append({clock.now().count(), w, t});
                         });
        QObject::connect(&panel.exchange(), &Exchange::sendFailed, &panel,
                         [this](const LinkFailure &f) { failures << f.text(); });
        QObject::connect(&panel.ports(), &PortControl::warning, &panel,
                         [this](const LinkFailure &f) { warnings << f.text(); });
        if (load) loaded = panel.load();
        link.writes.clear();
    }

    void at(long long ms) { clock.advanceTo(std::chrono::milliseconds(ms)); }

    static const OneShotButton &oneShot(const char *name)
    {
        for (const auto &b : OneShotButtons)
            if (std::strcmp(b.name, name) == 0) return b;
        qFatal("no one-shot button %s", name);
    }
    static const HoldButton &held(const char *name)
    {
        for (const auto &b : HoldButtons)
            if (std::strcmp(b.name, name) == 0) return b;
        qFatal("no held button %s", name);
    }

    void click(const char *name) { QVERIFY(panel.activate(QLatin1StringView(name))); }
    void press(const char *name) { QVERIFY(panel.press(QLatin1StringView(name))); }
    void release(const char *name) { QVERIFY(panel.release(QLatin1StringView(name))); }

    // Times of the writes, and their bytes.
    QList<long long> sendTimes() const
    {
        QList<long long> t;
        for (const auto &w : link.writes) t << w.atMs;
        return t;
    }
    QString display(Exchange::Display w) const { return panel.exchange().display(w); }
};
