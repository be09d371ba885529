// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_line.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

namespace {

void print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

}  // namespace

CommandLine::CommandLine(const QStringList& arguments) {
    m_parser.setApplicationDescription(tr("Scripted audio playback: the audio links of an HTML script "
                                          "play their stretch of a WAV or MP3 file."));
    // Single-dash words are options too ("-play"); Qt's own options are not taken.
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    m_parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, tr("Print this help and exit.")});
    m_parser.addVersionOption();
    m_parser.addOption({QStringLiteral("play"),
                        tr("Play one audio link (FILE, FILE#START or FILE#START#END, in seconds), "
                           "printing the position, and exit: 0 played, 1 the file or sound device "
                           "failed, 2 a malformed command line."),
                        tr("LINK")});
    m_parser.addOption({QStringLiteral("make-script"),
                        tr("First on the line: make a script page from a recording and its text, "
                           "--make-script RECORDING TEXT [-o SCRIPT.htm] [--force] [--lang CODE] [--skip SECONDS] "
                           "(see the manual page). Without -o the page goes beside the recording, replacing "
                           "a page there only when Make Script made it, or with --force. "
                           "Exit: 0 written, 1 bad input, 2 a malformed command line.")});
    m_parser.addOption({QStringLiteral("export"),
                        tr("First on the line: write a script in another form, --export FORMAT SOURCE -o OUT "
                           "[--force] [--audio FILE]; FORMAT vtt, srt, labels, json, epub, web or html; SOURCE a "
                           "script page, subtitles (.vtt, .srt), labels (.txt) or a sync map (.json). "
                           "Exit: 0 written, 1 a file problem, 2 a malformed command line.")});
    m_parser.addOption({QStringLiteral("compare"),
                        tr("First on the line: compare a take with an item of a script, "
                           "--compare SCRIPT ITEM TAKE (ITEM: its number from 1 or its anchor's name); prints "
                           "the words missed, the pace and the melody. Exit: 0 compared, 1 bad input, "
                           "2 a malformed command line.")});
    m_parser.addOption({QStringLiteral("speed"),
                        tr("With --play: the speed, from 0.5 to 2, the pitch kept."), tr("X")});
    m_parser.addPositionalArgument(QStringLiteral("script"), tr("The script to open: a file or a URL."),
                                   tr("[SCRIPT]"));
    // Without an application object the parser cannot name the program.
    m_usage = m_parser.helpText().replace(QLatin1String("<executable_name>"),
                                          QFileInfo(arguments.value(0, QStringLiteral("parlotype"))).fileName());
    // Making a script has a grammar of its own (its own options and two
    // files), read by the command itself.
    if (arguments.value(1) == QLatin1String("--make-script")) {
        m_command = Command::MakeScript;
        m_makeScriptArguments = arguments.mid(2);
        return;
    }
    if (arguments.value(1) == QLatin1String("--export")) {
        m_command = Command::Export;
        m_exportArguments = arguments.mid(2);
        return;
    }
    if (arguments.value(1) == QLatin1String("--compare")) {
        m_command = Command::Compare;
        m_makeScriptArguments = arguments.mid(2);
        return;
    }
    m_command = m_parser.parse(arguments) ? classify() : Command::UsageError;
    if (m_command == Command::UsageError && m_error.isEmpty()) m_error = m_parser.errorText();
}

CommandLine::Command CommandLine::classify() {
    if (m_parser.isSet(QStringLiteral("help"))) return Command::Help;
    if (m_parser.isSet(QStringLiteral("version"))) return Command::Version;
    if (m_parser.isSet(QStringLiteral("make-script"))) {
        m_error = tr("--make-script comes first on the command line");
        return Command::UsageError;
    }
    if (m_parser.isSet(QStringLiteral("export"))) {
        m_error = tr("--export comes first on the command line");
        return Command::UsageError;
    }
    if (m_parser.isSet(QStringLiteral("compare"))) {
        m_error = tr("--compare comes first on the command line");
        return Command::UsageError;
    }
    const QStringList scripts = m_parser.positionalArguments();
    if (m_parser.isSet(QStringLiteral("speed")) && !m_parser.isSet(QStringLiteral("play"))) {
        m_error = tr("--speed goes with --play");
        return Command::UsageError;
    }
    if (m_parser.isSet(QStringLiteral("play"))) {
        if (scripts.isEmpty()) return Command::Play;
        m_error = tr("--play takes no script: '%1'").arg(scripts.first());
        return Command::UsageError;
    }
    if (scripts.size() > 1) {
        m_error = tr("One script at a time: '%1' is one too many.").arg(scripts.at(1));
        return Command::UsageError;
    }
    // Qt would abort with a plugin failure where no display can be reached.
    if (!qEnvironmentVariableIsSet("DISPLAY") && !qEnvironmentVariableIsSet("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        m_error = tr("no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                     "--play works without one.");
        return Command::NoDisplay;
    }
    return Command::Window;
}

int CommandLine::report() const {
    switch (m_command) {
    case Command::Help:
        print(stdout, m_usage);
        return 0;
    case Command::Version:
        print(stdout, QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                    QCoreApplication::applicationVersion()));
        return 0;
    case Command::UsageError:
        print(stderr, QStringLiteral("parlotype: %1\n\n%2").arg(m_error, m_usage));
        return 2;
    case Command::NoDisplay:
        print(stderr, QStringLiteral("parlotype: %1\n").arg(m_error));
        return 1;
    case Command::Window:
    case Command::Play:
    case Command::MakeScript:
    case Command::Export:
    case Command::Compare:
        break;
    }
    return 0;
}

QStringList argumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}
