// SPDX-License-Identifier: MIT
#pragma once

#include <QCoreApplication>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class QCommandLineParser;

// The panel's options, read before the application object exists: that one needs a screen,
// and --help, --version or a wrong option must not.
class CommandLine
{
    Q_DECLARE_TR_FUNCTIONS(CommandLine)

public:
    // The program's exit statuses, as --help and the manual page list them.
    enum ExitStatus { ExitSuccess = 0, ExitPortOneFailed = 1, ExitUsage = 2 };

    // Either start the panel with these values, or exit at once with a status and some text.
    struct Outcome
    {
        bool run = false;
        int exitStatus = ExitSuccess;
        QString out, err;

        QHash<QString, QString> values; // every option that takes a value, its default if not given
        QStringList given;              // the options on the command line

        QString value(const QString &name) const { return values.value(name); }
        bool isSet(const QString &name) const { return given.contains(name); }
    };

    CommandLine(const QString &defaultCom1, const QString &defaultCom2);

    // args[0] is the program, as in argv.
    Outcome parse(const QStringList &args) const;

private:
    struct Option
    {
        QString name;
        QString description;
        QString valueName; // empty for a switch
        QString defaultValue;
        // What is wrong with a value, or an empty string when nothing is.
        QString (*check)(const QString &value) = nullptr;
    };

    void setUp(QCommandLineParser &parser, bool listQtOptions) const;

    QString m_description;
    QList<Option> m_options;
};
