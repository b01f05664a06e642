// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

// Fuzz input as bytes from an RFC 2217 server, fed to TelnetCodec once whole and once cut into
// pieces, with the data and replies checked against a model. Shared by the libFuzzer harness
// and the corpus replay test.
//
// Byte 0: bit 0 picks how the rest is read; bits 1 to 7 seed the cut points.
//   bit 0 = 0: the rest is the server's stream as it is, however malformed; the data must be
//              what reference() finds in it.
//   bit 0 = 1: the rest is a program that writes a well-formed stream; the data must be the
//              data bytes it wrote. Each step is one opcode byte (modulo 5) and its operands:
//     0 Data       n:u8, then n bytes (0xFF doubled on the wire)
//     1 Negotiate  c:u8 (WILL WONT DO DONT by c % 4), option:u8
//     2 Sub        option:u8, n:u8, then n bytes (0xFF doubled), ended by IAC SE
//     3 Command    c:u8: one of NOP DM BRK IP AO AYT EC EL GA EOR ABORT SUSP EOF SE (c % 14)
//     4 LongSub    option:u8, n:u8, fill:u8: 16256 + n bytes of fill, around the parser's bound
//                  (left out once the stream holds 64 KiB)
//   Operands cut short by the end of the input count as zero.
namespace telnetprogram {

struct Outcome
{
    QString violation; // empty when every check held
    QByteArray wire;   // what the server sent
    QByteArray data;   // what the codec gave out
    QByteArray reply;  // what it answered
    int faults = 0;    // TelnetCodec::faults()
};

Outcome run(const std::uint8_t *input, std::size_t size, QStringList *log = nullptr);

// The data bytes in a server's stream: the model the codec is held to. Telnet (RFC 854) with
// the parser's limits: a subnegotiation holds at most TelnetCodec::MaxSubnegotiation bytes,
// and past that everything up to the next command is dropped; IAC followed by a byte that is
// no command is a command nobody knows, and goes too.
QByteArray reference(const QByteArray &wire);

} // namespace telnetprogram
