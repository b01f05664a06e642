// SPDX-License-Identifier: MIT
#pragma once

#include "ServiceClient.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <memory>

// projector-ctl --list: the projectors that projectord holds, as a table for a terminal or as a
// JSON object per projector, with projector-ctl's keys for the state. It only reads, and never
// starts the service.
class ListRun final : public QObject, private ServiceListing::Events
{
    Q_OBJECT
public:
    ListRun(bool json, std::FILE *out, std::FILE *err, QObject *parent = nullptr);
    ~ListRun() override;

    // Loads the client of projectord and asks; finished() follows, from the event loop.
    void start();
    // As CtlSession::exec().
    int exec();

    // The table's lines, the header first, columns aligned by the width a terminal gives each
    // character: a wide one takes two cells, a combining one none.
    static QStringList table(const QList<ServiceProjector> &projectors);
    static QString jsonLine(const ServiceProjector &projector);
    static int displayWidth(const QString &text);

Q_SIGNALS:
    void finished(int exitStatus);

private:
    void onListed(const QList<ServiceProjector> &projectors) override;
    void onListFailed(const LinkFailure &failure) override;
    void finish(int exitStatus);

    const bool m_json;
    std::FILE *m_out = nullptr;
    std::FILE *m_err = nullptr;
    std::unique_ptr<ServiceListing> m_listing;
    bool m_done = false;
};
