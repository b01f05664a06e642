// SPDX-License-Identifier: MIT
#pragma once

#include "IntervalTimer.h"

#include <QObject>
#include <QRandomGenerator>

#include <chrono>
#include <memory>

// When to try the broker again: after First, doubling up to Longest, each wait shortened by up
// to a fifth at random so that hosts that lost one broker together do not return together. The
// waits start from First again only once a connection has lasted StableAfter: a broker that
// accepts and drops at once is tried ever more slowly.
class Reconnection : public QObject
{
    Q_OBJECT
public:
    using ms = std::chrono::milliseconds;
    static constexpr ms First{1000};
    static constexpr ms Longest{60000};
    static constexpr ms StableAfter{30000};

    Reconnection(TimerFactory timers, quint32 seed, QObject *parent = nullptr);

    void start();     // an attempt at once
    void failed();    // an attempt failed or a connection was lost: the next after a wait
    void succeeded(); // connected
    void stop();

    ms lastWait() const { return m_lastWait; }

Q_SIGNALS:
    void attempt();

private:
    std::unique_ptr<IntervalTimer> m_retry;
    std::unique_ptr<IntervalTimer> m_stable;
    QRandomGenerator m_random;
    ms m_next{First};
    ms m_lastWait{0};
};
