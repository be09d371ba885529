// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_identity.h"
#include "app/command_line.h"
#include "app/parlotype_app.h"
#include "app/make_script_command.h"
#include "app/play_command.h"
#include "formats/export_command.h"
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
    case CommandLine::Command::Export: {
        QCoreApplication app(argc, argv);
        return runExportCommand(commandLine.exportArguments());
    }
    default:
        return commandLine.report();
    }
    platform::ChooseWebRendering();
    CParlotypeApp app(argc, argv);
    return app.Run();
}
