// korvane_genlib DIR CARDS [CLASSES] [BODY_BYTES]: a program directory with one generated library.
#include <cstdio>
#include <cstdlib>

#include "gen_library.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s DIR CARDS [CLASSES] [BODY_BYTES]\n", argv[0]);
        return 2;
    }
    int cards = std::atoi(argv[2]);
    int classes = argc > 3 ? std::atoi(argv[3]) : 2000;
    int body = argc > 4 ? std::atoi(argv[4]) : 1024;
    GeneratedLibrary g = GenerateLibrary(argv[1], cards, classes, body);
    std::printf("%d cards in %d classes under %s\n", g.cards, g.classes, g.programDir.c_str());
    return 0;
}
