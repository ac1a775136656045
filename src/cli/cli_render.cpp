#include <cstdio>

#include "cli/cli.h"

namespace cli {

// Placeholder until the mode is built.
int RunRender(const QStringList&) {
    std::fputs("korvane: --render is not available yet\n", stderr);
    return 2;
}

}  // namespace cli
