// SPDX-License-Identifier: MIT
#include "Lifetime.h"

#include "EndOnSignals.h"

#include <QCoreApplication>

#include <csignal>

Lifetime::Lifetime(Log log, QObject *parent) : QObject(parent), m_log(std::move(log)) {}

bool Lifetime::catchSignals()
{
    return EndOnSignals::install(this, [this](int number) {
        switch (number) {
        case SIGHUP:
            if (m_stopping) break;
            if (m_reload)
                m_reload();
            else
                m_log(QStringLiteral("SIGHUP before the configuration was read: ignored"));
            break;
        case SIGINT: stop(0, QStringLiteral("stopping on SIGINT")); break;
        default: stop(0, QStringLiteral("stopping on SIGTERM")); break;
        }
    });
}

void Lifetime::stop(int status, const QString &why)
{
    if (m_stopping) return;
    m_stopping = true;
    m_log(why);
    if (m_close) m_close();
    QCoreApplication::exit(status);
}
