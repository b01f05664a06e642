// SPDX-License-Identifier: MIT
#include "TelnetProgram.h"

#include "TelnetCodec.h"

#include <array>

namespace telnetprogram {
namespace {

enum : unsigned char { SE = 240, SB = 250, WILL = 251, WONT, DO, DONT, IAC };

class Reader
{
public:
    Reader(const std::uint8_t *data, std::size_t size) : m_data(data), m_size(size) {}
    bool atEnd() const { return m_at >= m_size; }
    std::uint8_t u8() { return atEnd() ? 0 : m_data[m_at++]; }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

QByteArray escaped(const QByteArray &bytes)
{
    QByteArray out = bytes;
    return out.replace("\xff", QByteArray("\xff\xff", 2));
}

// Writes the well-formed stream; returns the data it carries.
QByteArray program(Reader &in, QByteArray &wire)
{
    static constexpr std::array<unsigned char, 14> Commands{241, 242, 243, 244, 245, 246, 247,
                                                            248, 249, 239, 238, 237, 236, SE};
    QByteArray data;
    while (!in.atEnd()) {
        switch (in.u8() % 5) {
        case 0: {
            QByteArray piece;
            for (int n = in.u8(); n > 0; --n) piece += char(in.u8());
            data += piece;
            wire += escaped(piece);
            break;
        }
        case 1: {
            const char command = char(WILL + in.u8() % 4);
            wire += char(IAC);
            wire += command;
            wire += char(in.u8());
            break;
        }
        case 2: {
            wire += char(IAC);
            wire += char(SB);
            wire += char(in.u8());
            QByteArray body;
            for (int n = in.u8(); n > 0; --n) body += char(in.u8());
            wire += escaped(body) + "\xff\xf0";
            break;
        }
        case 3:
            wire += char(IAC);
            wire += char(Commands[in.u8() % Commands.size()]);
            break;
        case 4: {
            const char option = char(in.u8());
            // Around the parser's bound, on both sides of it.
            const qsizetype n = TelnetCodec::MaxSubnegotiation - 128 + in.u8();
            const char fill = char(in.u8());
            // A few reach every case; hundreds would only slow the fuzzer down.
            if (wire.size() > 4 * TelnetCodec::MaxSubnegotiation) break;
            wire += char(IAC);
            wire += char(SB);
            wire += option;
            wire += escaped(QByteArray(n, fill)) + "\xff\xf0";
            break;
        }
        }
    }
    return data;
}

// Replies are whole negotiations and never more than what they answer.
QString checkReply(const QByteArray &reply, const QByteArray &wire)
{
    if (reply.size() > wire.size())
        return QStringLiteral("%1 reply bytes to %2 received").arg(reply.size()).arg(wire.size());
    if (reply.size() % 3 != 0) return QStringLiteral("reply is not whole negotiations");
    for (qsizetype i = 0; i < reply.size(); i += 3) {
        const auto command = static_cast<unsigned char>(reply[i + 1]);
        if (static_cast<unsigned char>(reply[i]) != IAC || command < WILL || command > DONT)
            return QStringLiteral("reply byte %1 is no negotiation").arg(i);
    }
    return {};
}

QString hex(const QByteArray &bytes, qsizetype most = 48)
{
    QString text = QString::fromLatin1(bytes.left(most).toHex(' '));
    if (bytes.size() > most) text += QStringLiteral(" ... (%1 bytes)").arg(bytes.size());
    return text;
}

} // namespace

QByteArray reference(const QByteArray &wire)
{
    enum State { Data, Iac, Option, Sb, SbData, SbIac } state = Data;
    QByteArray out;
    qsizetype body = 0;
    bool skipping = false; // the rest of an overlong subnegotiation
    const auto command = [&](unsigned char b) {
        if (b == IAC) {
            if (!skipping) out += char(b);
            state = Data;
            return;
        }
        if (b == SB) return void(state = Sb); // its end decides whether skipping ends
        skipping = false;
        state = b >= WILL && b <= DONT ? Option : Data;
    };
    const auto store = [&] {
        if (body < TelnetCodec::MaxSubnegotiation) {
            ++body;
            state = SbData;
        } else {
            skipping = true;
            state = Data;
        }
    };
    for (const char c : wire) {
        const auto b = static_cast<unsigned char>(c);
        switch (state) {
        case Data:
            if (b == IAC)
                state = Iac;
            else if (!skipping)
                out += c;
            break;
        case Iac: command(b); break;
        case Option: state = Data; break;
        case Sb:
            body = 0;
            state = SbData;
            break;
        case SbData:
            if (b == IAC)
                state = SbIac;
            else
                store();
            break;
        case SbIac:
            if (b == IAC) {
                store();
            } else {
                // IAC SE ends it; IAC and any other byte ends it too, as that command.
                skipping = false;
                if (b == SE)
                    state = Data;
                else
                    command(b);
            }
            break;
        }
    }
    return out;
}

Outcome run(const std::uint8_t *input, std::size_t size, QStringList *log)
{
    Outcome o;
    Reader in(input, size);
    const std::uint8_t header = in.u8();
    QByteArray expected;
    if (header & 1) {
        expected = program(in, o.wire);
        if (reference(o.wire) != expected)
            o.violation = QStringLiteral("the model misreads a well-formed stream");
    } else {
        o.wire = QByteArray(reinterpret_cast<const char *>(input) + 1,
                            qsizetype(size > 0 ? size - 1 : 0));
        expected = reference(o.wire);
    }

    // The same stream in pieces: sizes from a small generator seeded by the header.
    TelnetCodec cut;
    std::uint32_t state = 0x9e3779b9u ^ header;
    // Tiny pieces or large ones; a long stream in tiny pieces only makes the fuzzer slow.
    const std::uint32_t span = header & 2 && o.wire.size() < 4096 ? 4 : 600;
    for (qsizetype at = 0; at < o.wire.size();) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const qsizetype n = std::min<qsizetype>(1 + state % span, o.wire.size() - at);
        const TelnetCodec::Decoded d = cut.feed(o.wire.constData() + at, n);
        if (log)
            *log << QStringLiteral("feed %1: %2 -> data %3")
                        .arg(n)
                        .arg(hex(o.wire.mid(at, n)), hex(d.data));
        o.data += d.data;
        o.reply += d.reply;
        at += n;
    }
    o.faults = cut.faults();

    TelnetCodec whole;
    const TelnetCodec::Decoded all = whole.feed(o.wire);

    QString broken;
    if (o.data != expected)
        broken = QStringLiteral("data in pieces: %1, expected %2").arg(hex(o.data), hex(expected));
    else if (all.data != expected)
        broken =
            QStringLiteral("data in one piece: %1, expected %2").arg(hex(all.data), hex(expected));
    else if (all.reply != o.reply)
        broken = QStringLiteral("replies differ with the cuts: %1 / %2")
                     .arg(hex(o.reply), hex(all.reply));
    else if (const QString r = checkReply(o.reply, o.wire); !r.isEmpty())
        broken = r;
    else if (reference(whole.encode(expected)) != expected)
        broken = QStringLiteral("encode() does not come back as the same data");
    if (o.violation.isEmpty()) o.violation = broken;
    return o;
}

} // namespace telnetprogram
