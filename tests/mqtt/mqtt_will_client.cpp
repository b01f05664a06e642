// SPDX-License-Identifier: MIT
// Connects with a will of "offline" on TOPIC, publishes "online" there, and waits to be killed.
//   mqtt_will_client PORT USER PASSWORD TOPIC
#include "MqttClient.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5) return 2;
    MqttClient::Options options;
    options.host = QStringLiteral("127.0.0.1");
    options.port = quint16(args.at(1).toUInt());
    options.username = args.at(2);
    options.password = args.at(3).toUtf8();
    options.clientId = QStringLiteral("will-client");
    options.will = MqttClient::Message{args.at(4), "offline", 1, true};
    MqttClient client(options, PreciseTimer::factory());
    QObject::connect(&client, &MqttClient::connected, &client, [&] {
        client.publish({args.at(4), "online", 1, true});
    });
    client.start();
    return app.exec();
}
