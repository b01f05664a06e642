// SPDX-License-Identifier: MIT
#pragma once

#include "LineSettings.h"

#include <QByteArray>

#include <array>
#include <cstdint>

struct telnet_t;
union telnet_event_t;

// The client side of Telnet with the COM-PORT-OPTION of RFC 2217, on bytes alone: feed() takes
// what the server sent, in pieces cut anywhere, and gives back the data bytes and the replies
// the server is owed; encode() and lineSettings() make what the client sends. libtelnet does
// the parsing; this class decides what to agree to and keeps a hostile server's bytes from
// reaching the data (see feed()). No sockets, so it can be fuzzed on its own.
class TelnetCodec
{
public:
    enum class ComPort { NotAsked, Pending, Agreed, Refused };

    struct Decoded
    {
        QByteArray data;
        QByteArray reply;
    };

    TelnetCodec();
    ~TelnetCodec();
    TelnetCodec(const TelnetCodec &) = delete;
    TelnetCodec &operator=(const TelnetCodec &) = delete;

    // The client's first request: WILL COM-PORT-OPTION alone, so that a server that is not
    // Telnet passes as little as possible to its line.
    QByteArray start();
    // Once the server has agreed: BINARY both ways, so that 8-bit data passes.
    QByteArray askBinary();
    Decoded feed(const char *bytes, qsizetype size);
    Decoded feed(const QByteArray &bytes) { return feed(bytes.constData(), bytes.size()); }
    // Data bytes as they go on the wire: every 0xFF doubled.
    QByteArray encode(const QByteArray &data);
    // SET-BAUDRATE, SET-DATASIZE, SET-PARITY, SET-STOPSIZE, and SET-CONTROL for no flow control.
    // Empty when a value has no RFC 2217 code.
    QByteArray lineSettings(const LineSettings &settings);
    static bool canSet(const LineSettings &settings);

    ComPort comPort() const;
    // Subnegotiations cut at the parser's bound, and compression the server started unasked.
    int faults() const { return m_faults; }

    static constexpr int MaxSubnegotiation = 16384; // libtelnet's own bound

private:
    enum class Q : std::uint8_t { No, WantYes, Yes };

    static void onEvent(telnet_t *telnet, telnet_event_t *event, void *codec);
    void handle(const telnet_event_t &event);
    void negotiated(int kind, std::uint8_t option);
    void send(unsigned char command, std::uint8_t option);
    void ask(Q &q, unsigned char command, std::uint8_t option);
    void reset();

    telnet_t *m_telnet = nullptr;
    QByteArray *m_sink = nullptr; // where the event handler puts data
    QByteArray m_out;             // bytes for the server
    std::array<Q, 256> m_us{};
    std::array<Q, 256> m_him{};
    bool m_comPortAsked = false;
    bool m_afterIac = false;
    bool m_skipping = false;
    bool m_compressed = false;
    bool m_subnegotiated = false;
    int m_faults = 0;
};
