// SPDX-License-Identifier: MIT
#pragma once

#include "ServiceConnection.h"
#include "TtyConnection.h"

#include <memory>

// A local serial device: through projectord when the service runs and holds it, so that the
// panel, projector-ctl and scripts share its line; otherwise opened directly. Each open asks
// the service first, from the event loop, without starting it; with no bus at all, or no
// projectord running on it (ServiceBus::serviceMayRun), the device opens at once, as if there
// were no service. Once the service has been found holding the device, the connection stays
// its client: while projectord restarts, is upgraded or has crashed, the device is never opened
// directly, which would take the line from the service when it comes back; its return to the
// bus is waited for instead.
class LocalConnection final : public SharedConnection
{
    Q_OBJECT
public:
    explicit LocalConnection(const QString &device, QObject *parent = nullptr);

    [[nodiscard]] bool open(const LineSettings &settings) override;
    bool isConnecting() const override { return m_asking; }
    void close() override;
    bool isOpen() const override { return m_active && m_active->isOpen(); }
    [[nodiscard]] bool applySettings(const LineSettings &settings) override;
    bool canSetLine() const override { return m_active != &m_service; }
    [[nodiscard]] bool write(const QByteArray &bytes) override;
    QByteArray readAll() override { return m_active ? m_active->readAll() : QByteArray(); }
    Backoff backoff() const override
    {
        return m_withService ? m_service.backoff() : m_direct.backoff();
    }
    bool watchForReturn() override;
    void stopWatching() override;
    bool isShared() const override { return m_active == &m_service; }
    QString lineInForce() const override
    {
        return isShared() ? m_service.lineInForce() : QString();
    }
    void setOwnRepliesOnly(bool own) override { m_service.setOwnRepliesOnly(own); }

private:
    bool openDirectly();
    void onServiceFailed(const LinkFailure &failure);
    void forward(Connection &from);

    TtyConnection m_direct;
    ServiceConnection m_service;
    Connection *m_active = nullptr; // the one open, or last tried
    bool m_asking = false;          // the service is being asked
    bool m_withService = false;     // the service has held the device: never opened directly
    LineSettings m_settings;
};
