// SPDX-License-Identifier: MIT
#pragma once

#include <QTcpServer>

// A port on 127.0.0.1 that nothing listens on (at the moment of asking).
inline quint16 freePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost) ? server.serverPort() : 0;
}

// The first of `count` consecutive ports on 127.0.0.1 that nothing listens on, or 0.
inline quint16 freePorts(int count)
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int first = freePort();
        bool free = first > 0 && first + count - 1 <= 65535;
        for (int i = 1; free && i < count; ++i) {
            QTcpServer probe;
            free = probe.listen(QHostAddress::LocalHost, quint16(first + i));
        }
        if (free) return quint16(first);
    }
    return 0;
}
