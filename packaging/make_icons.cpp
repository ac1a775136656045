// Build step: writes the program icon as korvane.svg and korvane-<size>.png into the folder it is given, for
// the desktop's menu and launcher.
#include <cstdio>
#include <fstream>
#include <string>

#include "res/program_icon.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_icons OUTDIR\n", stderr);
        return 2;
    }
    const std::string dir = argv[1];
    std::ofstream svg(dir + "/korvane.svg", std::ios::binary);
    svg << res::ProgramIconSvg();
    if (!svg.flush()) return 1;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const std::string png = dir + "/korvane-" + std::to_string(size) + ".png";
        if (!res::ProgramIconImage(size).save(QString::fromStdString(png), "PNG")) {
            std::fprintf(stderr, "make_icons: cannot write %s\n", png.c_str());
            return 1;
        }
    }
    return 0;
}
