// Writes the manual page and the bash completion, made from the table of command-line modes, into the folder
// it is given; with --readme, prints the README's lines for the modes.
#include <cstdio>
#include <fstream>
#include <string>

#include "cli/cli_help.h"

namespace {
bool Write(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (out) return true;
    std::fprintf(stderr, "korvane_make_docs: cannot write %s\n", path.c_str());
    return false;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvane_make_docs FOLDER | --readme\n");
        return 2;
    }
    const std::vector<cli::ModeDoc> modes = cli::ModeDocs();
    const std::string arg = argv[1];
    if (arg == "--readme") {
        std::fputs(cli::ReadmeOptions(modes).c_str(), stdout);
        return 0;
    }
    return Write(arg + "/korvane.1", cli::ManPage(modes)) &&
                   Write(arg + "/korvane.bash-completion", cli::BashCompletion(modes))
               ? 0
               : 1;
}
