#include "app/play_command.h"

#include <cstring>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--play") == 0) return RunPlayCommand(argc, argv);
    return RunPlayCommand(argc, argv);  // the window comes later; until then print usage
}
