// SPDX-License-Identifier: MIT
#pragma once

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

// The lines of a traffic log without their time stamps; a line whose stamp is not in the
// documented form is kept whole behind a marker, so that the comparison shows it.
inline QStringList trafficLogEntries(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {QStringLiteral("<cannot read %1>").arg(path)};
    static const QRegularExpression stamp(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}  "));
    QStringList entries;
    for (const QString &line : QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
        const auto m = stamp.match(line);
        entries << (m.hasMatch() ? line.mid(m.capturedLength())
                                 : QStringLiteral("<bad stamp> ") + line);
    }
    return entries;
}
