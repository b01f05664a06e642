// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A private mosquitto for one test, never the machine's broker: on a free port of 127.0.0.1,
// with a configuration and a password file of its own and no anonymous access. Killed with
// the object. Tls: the listener speaks TLS only, with a certificate of its own.
//
//   Mosquitto broker;
//   QVERIFY2(broker.start(), qPrintable(broker.errors()));
//   options.port = broker.port(); options.username = broker.user(); ...
class Mosquitto
{
public:
    static constexpr int Patience = 5000; // ms

    enum class Transport { Plain, Tls };

    explicit Mosquitto(const QString &user = QStringLiteral("hall-host"),
                       const QByteArray &password = QByteArrayLiteral("hall-secret"),
                       Transport transport = Transport::Plain);
    ~Mosquitto();
    Mosquitto(const Mosquitto &) = delete;
    Mosquitto &operator=(const Mosquitto &) = delete;

    // Starts the broker and waits until it says it runs. False, with errors() saying why, when
    // it does not come up. On `port`, or on a free one.
    bool start(quint16 port = 0);
    // At once, as a crash would.
    void kill();

    quint16 port() const { return m_port; }
    QString user() const { return m_user; }
    QByteArray password() const { return m_password; }
    QString errors() const { return m_errors; }
    // With Tls: the broker's certificate, made for 127.0.0.1 and signed by itself, as a client's
    // CA file.
    QString certificate() const { return m_dir.filePath(QStringLiteral("cert.pem")); }

    // mosquitto_sub's first message on `topic` within `seconds` (a retained one at once), as it
    // prints it; empty when none came.
    QByteArray firstMessage(const QString &topic, int seconds = 5) const;

private:
    QTemporaryDir m_dir;
    QProcess m_proc;
    QString m_user;
    QByteArray m_password;
    Transport m_transport;
    quint16 m_port = 0;
    QString m_errors;
};
