// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_identity.h"
#include "app/application.h"
#include "app/command_line.h"
#include "app/compare_command.h"
#include "app/make_script_command.h"
#include "app/play_command.h"
#include "platform/web_rendering.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    SetApplicationIdentity();
    const CommandLine commandLine(ArgumentsOf(argc, argv));
    switch (commandLine.command()) {
    case CommandLine::Command::Window:
        break;
    case CommandLine::Command::Play:
        return RunPlayCommand(commandLine, argc, argv);
    case CommandLine::Command::MakeScript: {
        QCoreApplication app(argc, argv);
        return RunMakeScriptCommand(commandLine.makeScriptArguments());
    }
    case CommandLine::Command::Compare: {
        QCoreApplication app(argc, argv);
        return RunCompareCommand(commandLine.makeScriptArguments());
    }
    default:
        return commandLine.report();
    }
    platform::chooseWebRendering();
    Application app(argc, argv);
    return app.run();
}
