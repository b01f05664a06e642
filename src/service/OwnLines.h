// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class ProjectorHost;

// The sockets of raw lines that a front hands out for one projector (D-Bus's OpenLine): each
// packet a client sends on its own is a raw line for the host. While the host cannot take a line
// (Wait), the one packet read is held and that socket is not read: the rest stay in its own buffer,
// and once that is full the client's sends are refused (EAGAIN), nobody else's. When the host
// welcomes lines again, the held packets go in turn, the socket served longest ago first.
class OwnLines final : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxOpen = 32;         // sockets on one projector
    static constexpr int MaxOpenPerClient = 4; // of them from one client
    static constexpr int PacketsPerTurn = 16;  // read from one socket before the others' turn

    explicit OwnLines(ProjectorHost &host, QObject *parent = nullptr);
    ~OwnLines() override;

    // A new socket for `client` (the name lineSent() carries), whose bus name is `sender`:
    // returns the client's end, for the caller to pass on and close; or -1 with the reason in
    // `why`, and `busy` set when a bound refused it.
    int open(const QString &client, const QString &sender, QString *why, bool *busy);

private:
    struct Line;
    void readPackets(Line *line);
    bool offer(Line *line, const QByteArray &packet);
    void hold(Line *line, const QByteArray &packet);
    void offerHeld();
    void close(Line *line);

    ProjectorHost &m_host;
    std::vector<std::unique_ptr<Line>> m_lines; // in turn: the one served longest ago first
};
