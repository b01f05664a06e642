// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringView>

// The printable form of a line shown in the TXD and RXD displays: a blank, then one piece per
// character ("CR " for a carriage return, "0 " for the digit 0, "? " for anything unprintable).
QString lineTrace(QStringView text);

// Appends the pieces of `text` to a trace already begun, so a growing reply costs only what
// arrived.
void appendTracePieces(QString &trace, QStringView text);

// The pieces for one character.
QLatin1StringView tracePiece(QChar c);
