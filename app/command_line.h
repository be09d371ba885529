// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line, read with QCommandLineParser before any application object
// exists, so that --help, --version and usage errors need no display:
//   parlotype [SCRIPT]          the window, opening SCRIPT (a path or a URL)
//   parlotype --play LINK [--speed X]   play one audio link and exit (play_command.h)
//   parlotype --make-script RECORDING TEXT [...]   write a script page (make_script_command.h)
//   parlotype --export FORMAT SOURCE -o OUT [...]   write a script in another form (formats/export_command.h)
//   parlotype --compare SCRIPT ITEM TAKE   compare a take with an item (compare_command.h)
//   parlotype --help | --version
// A usage error prints the message and the usage on standard error (exit 2);
// the window without any display to open on says so (exit 1).

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

class CommandLine {
    Q_DECLARE_TR_FUNCTIONS(CommandLine)

public:
    enum class Command { Window, Play, MakeScript, Export, Compare, Help, Version, UsageError, NoDisplay };

    explicit CommandLine(const QStringList& arguments);

    Command command() const { return m_command; }
    // An option's value ("play" gives the link); empty when not given.
    QString value(const QString& option) const { return m_parser.value(option); }
    // MakeScript: the arguments after --make-script (Compare: after --compare).
    QStringList makeScriptArguments() const { return m_makeScriptArguments; }
    // Export: the arguments after --export.
    QStringList exportArguments() const { return m_exportArguments; }
    // Prints what the command line asked for (help, version or the error) and
    // returns the exit status: 0, 1 without a display, 2 for a usage error.
    int report() const;

private:
    Command classify();

    QCommandLineParser m_parser;
    QString m_usage;
    QString m_error;
    QStringList m_makeScriptArguments;
    QStringList m_exportArguments;
    Command m_command = Command::Window;
};

QStringList argumentsOf(int argc, char** argv);
