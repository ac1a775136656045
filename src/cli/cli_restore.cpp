#include <cstdio>

#include "cli/cli.h"

namespace cli {

// Placeholder until the mode is built.
int RunRestore(const QStringList&) {
    std::fputs("korvane: --restore is not available yet\n", stderr);
    return 2;
}

}  // namespace cli
