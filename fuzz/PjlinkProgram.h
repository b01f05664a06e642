// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

// Fuzz input as a PJLink client's bytes, given to pjlink::Session once whole and once cut into
// pieces, each command answered from outcomes drawn from the input. Shared by the libFuzzer
// harness and the corpus replay test.
//
// Byte 0: bit 0 asks for a password; bit 1 puts the right digest before the client's bytes;
// bits 2 to 7 seed the cut points and the outcomes. The rest is what the client sends.
//
// Checked: both runs give the same output; every answer is one line of printable ASCII ending
// in CR, no longer than a command line, beginning "%" and a digit or "PJLINK "; nothing comes
// after the close; and the session holds less than a line's worth once it has given every whole
// line.
namespace pjlinkprogram {

struct Outcome
{
    QString violation; // empty when every check held
    QByteArray output; // the answers, and "<close>"
    int commands = 0;  // rows of the mapping reached
};

Outcome run(const std::uint8_t *input, std::size_t size, QStringList *log = nullptr);

} // namespace pjlinkprogram
