// SPDX-License-Identifier: MIT
#pragma once

#include "FakeLink.h"
#include "ProjectorHost.h"
#include "VirtualClock.h"

#include <QHash>

#include <chrono>

// One projector's host as projectord makes it, on a fake line and virtual time. From start() on,
// the line answers each line in `answers` the moment it is sent, as a projector that replies at
// once would: after whatever the test connected to lineSent before.
struct HostRig
{
    explicit HostRig(ProjectorConfig config = {QStringLiteral("p"),
                                               QStringLiteral("fake0"),
                                               {},
                                               std::chrono::seconds(0)})
        : host(std::move(config), std::unique_ptr<SerialLink>(link), clock.factory())
    {
        link->now = [this] { return clock.now().count(); };
    }
    void start()
    {
        QObject::connect(&host, &ProjectorHost::lineSent, &host, [this](const QByteArray &line) {
            if (answers.contains(line)) link->receive(answers.value(line));
        });
        host.start();
    }
    void at(long long ms) { clock.advanceTo(std::chrono::milliseconds(ms)); }

    VirtualClock clock;
    FakeLink *link = new FakeLink; // the host's
    ProjectorHost host;
    QHash<QByteArray, QByteArray> answers; // line -> reply
};
