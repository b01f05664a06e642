// SPDX-License-Identifier: MIT
#include "AddressLimits.h"

#include <algorithm>
#include <utility>

using std::chrono::milliseconds;

namespace {

// Room for one more entry: the one with the oldest time goes when the table is full.
template <typename Entry>
void makeRoom(QHash<QString, Entry> &entries, int capacity, milliseconds Entry::*time)
{
    if (entries.size() < capacity) return;
    entries.erase(
        std::min_element(entries.begin(), entries.end(),
                         [&](const Entry &a, const Entry &b) { return a.*time < b.*time; }));
}

} // namespace

QString LogRateLimit::admit(const QString &key, const QString &line, milliseconds now)
{
    const auto it = m_entries.find(key);
    if (it == m_entries.end()) {
        makeRoom(m_entries, Capacity, &Entry::logged);
        m_entries.insert(key, {now, 0});
        return line;
    }
    if (now - it->logged < Interval) {
        ++it->held;
        return {};
    }
    const int held = std::exchange(it->held, 0);
    it->logged = now;
    return held == 0 ? line : line + QStringLiteral(" (and %1 more)").arg(held);
}

void LoginFailures::add(const QString &address, milliseconds now)
{
    const auto it = m_entries.find(address);
    if (it != m_entries.end()) {
        it->count = now - it->last < Memory ? it->count + 1 : 1;
        it->last = now;
        return;
    }
    makeRoom(m_entries, Capacity, &Entry::last);
    m_entries.insert(address, {now, 1});
}

int LoginFailures::count(const QString &address, milliseconds now) const
{
    const auto it = m_entries.constFind(address);
    return it != m_entries.cend() && now - it->last < Memory ? it->count : 0;
}
