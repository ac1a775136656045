// korvane_genlib DIR CARDS [CLASSES] [BODY_BYTES]: a program directory with one generated library.
// korvane_genlib --real DIR CARDS [CLASSES]: the same from fortunes-zh's poems and sayings.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gen_library.h"

int main(int argc, char** argv) {
    const bool real = argc > 1 && std::strcmp(argv[1], "--real") == 0;
    if (real) {
        --argc;
        ++argv;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s [--real] DIR CARDS [CLASSES] [BODY_BYTES]\n", argv[0]);
        return 2;
    }
    int cards = std::atoi(argv[2]);
    int classes = argc > 3 ? std::atoi(argv[3]) : real ? 200 : 2000;
    int body = argc > 4 ? std::atoi(argv[4]) : 1024;
    GeneratedLibrary g = real ? GenerateRealTextLibrary(argv[1], cards, classes)
                              : GenerateLibrary(argv[1], cards, classes, body);
    std::printf("%d cards in %d classes under %s\n", g.cards, g.classes, g.programDir.c_str());
    return 0;
}
