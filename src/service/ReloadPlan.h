// SPDX-License-Identifier: MIT
#pragma once

#include "ServiceConfig.h"

#include <QList>
#include <QString>

// What a new reading of the configuration changes, projector by projector, matched by name. A
// projector keeps everything it has unless its own section changed in what it does: the line's
// device, speed or poll restart it alone; PJLink's keys only its PJLink server. Where a section
// stands in the file, and comments around it, change nothing.
struct ReloadPlan
{
    QList<ProjectorConfig> added;     // in the new file's order
    QList<QString> removed;           // by name
    QList<ProjectorConfig> restarted; // the line's keys changed: a new host
    QList<ProjectorConfig> pjlink;    // only PJLink's keys changed: the line is kept
    QList<QString> unchanged;

    static ReloadPlan between(const QList<ProjectorConfig> &running,
                              const QList<ProjectorConfig> &wanted);

    bool changesNothing() const
    {
        return added.isEmpty() && removed.isEmpty() && restarted.isEmpty() && pjlink.isEmpty();
    }
    // "1 added, 1 restarted, 2 unchanged": what the journal says of a reload.
    QString summary() const;
};
