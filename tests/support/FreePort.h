// SPDX-License-Identifier: MIT
#pragma once

#include <QTcpServer>

// A port on 127.0.0.1 that nothing listens on (at the moment of asking).
inline quint16 freePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost) ? server.serverPort() : 0;
}
