// SPDX-License-Identifier: MIT
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

class QCommandLineParser;

// How both programs report a wrong command line: one line naming the culprit as it was typed,
// then "Try --help.", and exit status 2.
class UsageError
{
    Q_DECLARE_TR_FUNCTIONS(UsageError)

public:
    static constexpr int ExitStatus = 2;

    // What a failed QCommandLineParser::parse(args) found wrong; args[0] is the program.
    static QString describe(const QCommandLineParser &parser, const QStringList &args);
    // What is wrong with the value of an option that names a device or a file, or an empty
    // string when nothing is. An option takes the next argument as its value whatever it is:
    // "--com1 --com2 x" would otherwise open a device called "--com2".
    enum class Value { Device, File };
    static QString checkValue(const QString &value, Value kind);
    // The whole report, newline included.
    static QString line(const QString &program, const QString &message);
};
