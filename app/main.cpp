// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_identity.h"
#include "app/application.h"
#include "app/command_line.h"
#include "app/compare_command.h"
#include "app/make_script_command.h"
#include "app/play_command.h"
#include "formats/export_command.h"
#include "platform/web_rendering.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    setApplicationIdentity();
    const CommandLine commandLine(argumentsOf(argc, argv));
    switch (commandLine.command()) {
    case CommandLine::Command::Window:
        break;
    case CommandLine::Command::Play:
        return runPlayCommand(commandLine, argc, argv);
    case CommandLine::Command::MakeScript: {
        QCoreApplication app(argc, argv);
        return runMakeScriptCommand(commandLine.makeScriptArguments());
    }
    case CommandLine::Command::Export: {
        QCoreApplication app(argc, argv);
        return runExportCommand(commandLine.exportArguments());
    }
    case CommandLine::Command::Compare: {
        QCoreApplication app(argc, argv);
        return runCompareCommand(commandLine.makeScriptArguments());
    }
    default:
        return commandLine.report();
    }
    platform::chooseWebRendering();
    Application app(argc, argv);
    return app.run();
}
