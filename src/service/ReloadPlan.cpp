// SPDX-License-Identifier: MIT
#include "ReloadPlan.h"

#include <QStringList>

namespace {

bool sameLine(const ProjectorConfig &a, const ProjectorConfig &b)
{
    return a.device == b.device && a.settings == b.settings && a.poll == b.poll;
}

const ProjectorConfig *named(const QList<ProjectorConfig> &list, const QString &name)
{
    for (const ProjectorConfig &c : list)
        if (c.name == name) return &c;
    return nullptr;
}

} // namespace

ReloadPlan ReloadPlan::between(const QList<ProjectorConfig> &running,
                               const QList<ProjectorConfig> &wanted)
{
    ReloadPlan plan;
    for (const ProjectorConfig &old : running)
        if (!named(wanted, old.name)) plan.removed.append(old.name);
    for (const ProjectorConfig &now : wanted) {
        const ProjectorConfig *old = named(running, now.name);
        if (!old)
            plan.added.append(now);
        else if (!sameLine(*old, now))
            plan.restarted.append(now);
        else if (old->pjlink != now.pjlink)
            plan.pjlink.append(now);
        else
            plan.unchanged.append(now.name);
    }
    return plan;
}

QString ReloadPlan::summary() const
{
    QStringList parts;
    const auto count = [&parts](qsizetype n, const char *what) {
        if (n > 0) parts.append(QStringLiteral("%1 %2").arg(n).arg(QLatin1String(what)));
    };
    count(added.size(), "added");
    count(removed.size(), "removed");
    count(restarted.size(), "restarted");
    count(pjlink.size(), "with new PJLink settings");
    count(unchanged.size(), "unchanged");
    return parts.isEmpty() ? QStringLiteral("no projectors") : parts.join(QStringLiteral(", "));
}
