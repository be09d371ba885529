#include "app/parlotype_app.h"
#include "app/play_command.h"
#include "platform/web_rendering.h"

#include <cstring>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--play") == 0) return RunPlayCommand(argc, argv);
    platform::ChooseWebRendering();
    CParlotypeApp app(argc, argv);
    return app.Run();
}
