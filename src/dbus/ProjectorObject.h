// SPDX-License-Identifier: MIT
#pragma once

#include "ProjectorHost.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QHash>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <vector>

class ClientNames;

// One projector on the bus, under its generated adaptor: translates calls into its host's
// requests and the host's signals into the interface's, and nothing more.
class ProjectorObject final : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_PROPERTY(QString Name READ name)
    Q_PROPERTY(QString Device READ device)
    Q_PROPERTY(QString LineSettings READ lineSettings)
    Q_PROPERTY(uint PollInterval READ pollInterval)
    Q_PROPERTY(bool Online READ isOnline)
    Q_PROPERTY(QString Failure READ failure)
    Q_PROPERTY(QString Power READ power)
    Q_PROPERTY(qlonglong PowerReadAt READ powerReadAt)
    Q_PROPERTY(QString Input READ input)
    Q_PROPERTY(qlonglong InputReadAt READ inputReadAt)
    Q_PROPERTY(int LampHours READ lampHours)
    Q_PROPERTY(qlonglong LampHoursReadAt READ lampHoursReadAt)
    Q_PROPERTY(QString Orientation READ orientation)
    Q_PROPERTY(qlonglong OrientationReadAt READ orientationReadAt)

public:
    // A command name or code longer than this is refused before it is looked at.
    static constexpr int MaxCommandLength = 64;

    ProjectorObject(ProjectorHost &host, ClientNames &names, const QDBusConnection &bus,
                    QObject *parent = nullptr);
    ~ProjectorObject() override;

    QString path() const;
    // Every property of the interface with its value now, as ObjectManager announces them.
    QVariantMap properties() const;
    // Announces every property that differs from `before`: for a new object over a line
    // reopened on a reload, whose clients knew the old one's properties.
    void announceSince(const QVariantMap &before);

    // The interface's methods, called by the adaptor. Both answer later, by themselves.
    QString Send(const QString &command, QByteArray &reply, bool &answered, QVariantMap &reading);
    void WriteLine(const QByteArray &line);
    QDBusUnixFileDescriptor OpenLine();

    QString name() const;
    QString device() const;
    QString lineSettings() const;
    uint pollInterval() const;
    bool isOnline() const;
    QString failure() const;
    QString power() const;
    qlonglong powerReadAt() const;
    QString input() const;
    qlonglong inputReadAt() const;
    int lampHours() const;
    qlonglong lampHoursReadAt() const;
    QString orientation() const;
    qlonglong orientationReadAt() const;

Q_SIGNALS:
    void LineSent(const QByteArray &line, const QString &client, const QString &sender);
    void Received(const QByteArray &bytes, const QString &owner);

private:
    using Then = std::function<void(ProjectorObject &self, const QString &client)>;
    // Runs `then` once the calling client's name is known.
    void whenKnown(const QDBusMessage &call, Then then);
    void openLine(const QDBusMessage &call, const QString &client);
    void request(const QDBusMessage &call, const QString &code, const QString &client);
    void writeLine(const QDBusMessage &call, const QByteArray &line, const QString &client);
    void onFinished(const HostResult &result);
    // A client has left the bus: its waiting commands go unsent and unanswered.
    void forget(const QString &sender);
    void refuse(const QDBusMessage &call, const char *error, const QString &message);
    // The one place where the host's refusals become the interface's errors: `values` answer
    // the call when there is none.
    void answer(const QDBusMessage &call, ProjectorHost::Refusal refusal,
                const LinkFailure &failure, const QList<QVariant> &values = {});
    // Why the host took no more commands: the service's stop or a reload.
    QString ended() const;
    QVariantMap changingProperties() const;
    void announceChanges();
    void announce(const QVariantMap &changed);

    ProjectorHost &m_host;
    ClientNames &m_names;
    QDBusConnection m_bus;
    // Send calls answered when their command's reply window closes, by the host's request id.
    // The host bounds how many there are; a caller's go when it leaves the bus.
    QHash<quint64, QDBusMessage> m_pending;
    QVariantMap m_announced; // the changing properties as last announced
    // Why this object went, for calls still waiting for their client's name then.
    std::shared_ptr<QString> m_gone = std::make_shared<QString>(ended());
};
