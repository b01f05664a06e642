// SPDX-License-Identifier: MIT
#pragma once

#include "ServiceClient.h"
#include "SharedConnection.h"

#include <memory>

// A projector that projectord holds: service:NAME, or a local device that the service has.
// The line is shared with the service's other clients. The bus side is the ServiceClient
// plug-in, loaded at the first open: a program that never opens one never loads it. Without
// the plug-in, opening fails with NoServiceClient.
class ServiceConnection final : public SharedConnection, private ServiceClient::Events
{
    Q_OBJECT
public:
    using Lookup = ServiceClient::Lookup;

    ServiceConnection(const QString &device, Lookup lookup, QObject *parent = nullptr);
    ~ServiceConnection() override;

    [[nodiscard]] bool open(const LineSettings &settings) override;
    bool isConnecting() const override { return m_client && m_client->isConnecting(); }
    void close() override;
    bool isOpen() const override { return m_client && m_client->isOpen(); }
    // The service's configuration sets the line; these are only recorded.
    [[nodiscard]] bool applySettings(const LineSettings &) override { return true; }
    bool canSetLine() const override { return false; }
    [[nodiscard]] bool write(const QByteArray &bytes) override;
    QByteArray readAll() override { return m_client ? m_client->readAll() : QByteArray(); }
    Backoff backoff() const override;
    bool watchForReturn() override { return m_client && m_client->watchForReturn(); }
    void stopWatching() override;
    bool isShared() const override { return true; }
    QString lineInForce() const override;
    void setOwnRepliesOnly(bool own) override;

    bool found() const { return m_client && m_client->found(); }

private:
    void onConnected() override;
    void onConnectFailed(const LinkFailure &failure) override;
    void onLost(const LinkFailure &failure) override;
    void onReceived() override;
    void onAvailable() override;
    void onSharedLineSent(const QByteArray &line, const QString &client) override;

    const Lookup m_lookup;
    std::unique_ptr<ServiceClient> m_client;
    bool m_ownRepliesOnly = false;
};
