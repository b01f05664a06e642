// SPDX-License-Identifier: MIT
#pragma once

#include <QHash>
#include <QString>

#include <chrono>

// What a server remembers of the addresses that talk to it. Each table holds at most Capacity
// entries and forgets the oldest when a new address finds it full, so that a flood from ever new
// addresses costs no more than that. Times are a monotonic clock's, in milliseconds.

// At most one journal line a second for each key (a kind of line and an address). The lines held
// back are counted into the next one.
class LogRateLimit
{
public:
    static constexpr int Capacity = 256;
    static constexpr std::chrono::seconds Interval{1};

    // `line` as it is to be written at `now`, with " (and N more)" for the N lines held back since
    // the last one; empty when this one is held back.
    QString admit(const QString &key, const QString &line, std::chrono::milliseconds now);

private:
    struct Entry
    {
        std::chrono::milliseconds logged{0};
        int held = 0;
    };
    QHash<QString, Entry> m_entries;
};

// Failed logins of each address, forgotten after a minute without one.
class LoginFailures
{
public:
    static constexpr int Capacity = 256;
    static constexpr std::chrono::minutes Memory{1};

    void add(const QString &address, std::chrono::milliseconds now);
    int count(const QString &address, std::chrono::milliseconds now) const;

private:
    struct Entry
    {
        std::chrono::milliseconds last{0};
        int count = 0;
    };
    QHash<QString, Entry> m_entries;
};
