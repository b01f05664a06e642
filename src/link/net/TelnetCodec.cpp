// SPDX-License-Identifier: MIT
#include "TelnetCodec.h"

#include <cstddef> // libtelnet.h uses size_t without it
#include <libtelnet.h>

#include <cstring>
#include <new>
#include <utility>

namespace {

constexpr std::uint8_t Binary = TELNET_TELOPT_BINARY;
constexpr std::uint8_t ComPortOption = 44;

// RFC 2217 client commands, and the codes of their values.
enum : unsigned char { SetBaudRate = 1, SetDataSize, SetParity, SetStopSize, SetControl };
enum : unsigned char { NoFlowControl = 1 };

unsigned char parityCode(char parity)
{
    switch (parity) {
    case 'N': return 1;
    case 'O': return 2;
    case 'E': return 3;
    case 'M': return 4;
    case 'S': return 5;
    default: return 0;
    }
}

// libtelnet's words for a subnegotiation longer than its buffer (its error code is not filled in).
constexpr char OverflowWarning[] = "subnegotiation buffer size limit";

} // namespace

TelnetCodec::TelnetCodec()
{
    reset();
}

TelnetCodec::~TelnetCodec()
{
    telnet_free(m_telnet);
}

void TelnetCodec::reset()
{
    if (m_telnet) telnet_free(m_telnet);
    // Proxy mode: libtelnet parses and reports every negotiation, and the answers are ours.
    // Its own negotiation keeps a refusal of our request to itself, and open() needs to know.
    m_telnet = telnet_init(nullptr, &TelnetCodec::onEvent, TELNET_FLAG_PROXY, this);
    if (!m_telnet) throw std::bad_alloc();
    m_compressed = false;
}

void TelnetCodec::ask(Q &q, unsigned char command, std::uint8_t option)
{
    if (q != Q::No) return;
    q = Q::WantYes;
    send(command, option);
}

QByteArray TelnetCodec::start()
{
    ask(m_us[ComPortOption], TELNET_WILL, ComPortOption);
    m_comPortAsked = true;
    return std::exchange(m_out, {});
}

QByteArray TelnetCodec::askBinary()
{
    ask(m_us[Binary], TELNET_WILL, Binary);
    ask(m_him[Binary], TELNET_DO, Binary);
    return std::exchange(m_out, {});
}

// Three things in libtelnet must not reach the data. A subnegotiation for COMPRESS2 starts zlib
// on the rest of the stream, asked for or not, and the bytes after it in the same call are
// inflated, or lost when they are not zlib. A subnegotiation ended by IAC and a command other
// than SE may, depending on its option, leave that command unread, and the bytes after it are
// read as if they followed a bare IAC. And when a subnegotiation outgrows the parser's buffer,
// the rest of it comes out as data. So every call ends with a byte that follows an 0xFF (every
// subnegotiation ends so); after one that ended a subnegotiation other than with SE, or started
// compression, a fresh parser goes on, given that command again. An overlong subnegotiation is
// dropped up to the next command, which is where it would have ended anyway.
TelnetCodec::Decoded TelnetCodec::feed(const char *bytes, qsizetype size)
{
    Decoded out;
    m_sink = &out.data;
    qsizetype from = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const bool endsCall = m_afterIac || i + 1 == size;
        m_afterIac = static_cast<unsigned char>(bytes[i]) == TELNET_IAC;
        if (!endsCall) continue;
        telnet_recv(m_telnet, bytes + from, std::size_t(i + 1 - from));
        from = i + 1;
        const auto last = static_cast<unsigned char>(bytes[i]);
        const bool endedByCommand = std::exchange(m_subnegotiated, false) && last != TELNET_SE;
        if (!m_compressed && !endedByCommand) continue;
        if (m_compressed) ++m_faults;
        reset();
        if (last != TELNET_SE) {
            const char command[2] = {char(TELNET_IAC), char(last)};
            telnet_recv(m_telnet, command, 2);
        }
    }
    m_sink = nullptr;
    out.reply = std::exchange(m_out, {});
    return out;
}

QByteArray TelnetCodec::encode(const QByteArray &data)
{
    telnet_send(m_telnet, data.constData(), std::size_t(data.size()));
    return std::exchange(m_out, {});
}

bool TelnetCodec::canSet(const LineSettings &s)
{
    return s.baud > 0 && parityCode(s.parity) != 0 && s.dataBits >= 5 && s.dataBits <= 8 &&
           (s.stopBits == 1 || s.stopBits == 2);
}

QByteArray TelnetCodec::lineSettings(const LineSettings &s)
{
    if (!canSet(s)) return {};
    const auto command = [this](unsigned char code, QByteArray value) {
        value.prepend(char(code));
        // Escapes an 0xFF in the value, as in 0x0000FF00 baud.
        telnet_subnegotiation(m_telnet, ComPortOption, value.constData(),
                              std::size_t(value.size()));
    };
    const auto baud = quint32(s.baud);
    const char bigEndian[4] = {char(baud >> 24), char(baud >> 16), char(baud >> 8), char(baud)};
    command(SetBaudRate, QByteArray(bigEndian, 4));
    command(SetDataSize, QByteArray(1, char(s.dataBits)));
    command(SetParity, QByteArray(1, char(parityCode(s.parity))));
    command(SetStopSize, QByteArray(1, char(s.stopBits)));
    command(SetControl, QByteArray(1, char(NoFlowControl)));
    return std::exchange(m_out, {});
}

TelnetCodec::ComPort TelnetCodec::comPort() const
{
    switch (m_us[ComPortOption]) {
    case Q::Yes: return ComPort::Agreed;
    case Q::WantYes: return ComPort::Pending;
    case Q::No: break;
    }
    return m_comPortAsked ? ComPort::Refused : ComPort::NotAsked;
}

void TelnetCodec::onEvent(telnet_t *, telnet_event_t *event, void *codec)
{
    static_cast<TelnetCodec *>(codec)->handle(*event);
}

void TelnetCodec::handle(const telnet_event_t &ev)
{
    switch (ev.type) {
    case TELNET_EV_DATA:
        if (m_sink && !m_skipping) m_sink->append(ev.data.buffer, qsizetype(ev.data.size));
        return;
    case TELNET_EV_SEND: m_out.append(ev.data.buffer, qsizetype(ev.data.size)); return;
    case TELNET_EV_WILL:
    case TELNET_EV_WONT:
    case TELNET_EV_DO:
    case TELNET_EV_DONT:
        m_skipping = false;
        negotiated(ev.type, ev.neg.telopt);
        return;
    // The server's COM-PORT answers and notifications are not needed: the line is set by
    // command, and the panel has no use for modem lines.
    case TELNET_EV_IAC: m_skipping = false; return;
    case TELNET_EV_SUBNEGOTIATION:
        m_skipping = false;
        m_subnegotiated = true;
        return;
    case TELNET_EV_COMPRESS:
        if (ev.compress.state) m_compressed = true;
        return;
    case TELNET_EV_WARNING:
        if (std::strncmp(ev.error.msg, OverflowWarning, sizeof OverflowWarning - 1) == 0) {
            m_skipping = true;
            ++m_faults;
        }
        return;
    default: return;
    }
}

// RFC 1143 without the queue states: the client asks for its options once at start and never
// takes them back, so a request is either answered or refused, and nothing loops.
void TelnetCodec::negotiated(int kind, std::uint8_t option)
{
    const bool serverSide = kind == TELNET_EV_WILL || kind == TELNET_EV_WONT;
    const bool enable = kind == TELNET_EV_WILL || kind == TELNET_EV_DO;
    Q &q = serverSide ? m_him[option] : m_us[option];
    const bool supported = option == Binary || (!serverSide && option == ComPortOption);
    const unsigned char agree = serverSide ? TELNET_DO : TELNET_WILL;
    const unsigned char refuse = serverSide ? TELNET_DONT : TELNET_WONT;
    if (enable) {
        if (q == Q::No) {
            if (supported) q = Q::Yes;
            send(supported ? agree : refuse, option);
        } else {
            q = Q::Yes;
        }
    } else {
        if (q == Q::Yes) send(refuse, option);
        q = Q::No;
    }
}

void TelnetCodec::send(unsigned char command, std::uint8_t option)
{
    telnet_negotiate(m_telnet, command, option);
}
