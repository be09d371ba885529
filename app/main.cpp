#include "app/parlotype_app.h"
#include "app/make_script_command.h"
#include "app/play_command.h"
#include "platform/web_rendering.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstring>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--play") == 0) return RunPlayCommand(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--make-script") == 0) {
        QCoreApplication app(argc, argv);
        return RunMakeScriptCommand(QCoreApplication::arguments().mid(2));
    }
    platform::ChooseWebRendering();
    CParlotypeApp app(argc, argv);
    return app.Run();
}
