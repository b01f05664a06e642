// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

// Fuzz input read as a little program against the receive path: an Exchange on a FakeLink and a
// virtual clock, with a model of what its displays and ReplyText must hold, checked after every
// step and every timer tick; a display notified without a change of its text fails the run as
// well. Shared by the libFuzzer harness and the corpus replay test.
//
// Byte 0 picks the first command line. Then each step is one opcode byte (taken modulo the
// number of operations) and its operands:
//   0 Short    n:u8, then n bytes delivered in one notification (n = 0: an empty notification)
//   1 Long     n:u16le % 4096, then n bytes; when the input runs out, what was read repeats
//   2 Flood    k:u8, p:u8, then (p % 16 + 1) pattern bytes repeated to (k % 48 + 1) KiB
//   3 Advance  ms:u16le % 2048
//   4 NextTick o:u8: to the next due timer, 1 ms before, at, or 1 ms after it (o % 3)
//   5 Transmit c:u8: command c % 8 of CR0 CR1 CR3 CR4 C09 C00 C05 CR2
//   6 Other    a notification that is not about received data
//   7 Refuse   the link starts refusing writes, or accepts them again
// Operands cut short by the end of the input count as zero.
namespace receiveprogram {

struct Outcome
{
    QString violation;    // empty when every check held; else what broke, at which step
    int steps = 0;        // steps run after the first transmit
    int longestReply = 0; // the most characters ReplyText held
    int marks = 0;        // times RXD turned to the no-reply mark
    QStringList statuses; // every status text shown, in order
    // Bit i: the i-th table text was shown; bit HoursBit: an hours text was. The harness feeds
    // these to the fuzzer as features, since the table look-ups compare inside uninstrumented Qt.
    std::uint32_t statusKinds = 0;
    static constexpr int HoursBit = 14;
};

// Runs the program. With a log, every step and tick is written to it, for reading a crash.
Outcome run(const std::uint8_t *data, std::size_t size, QStringList *log = nullptr);

} // namespace receiveprogram
