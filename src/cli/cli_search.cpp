#include <cstdio>

#include "cli/cli.h"

namespace cli {

// Placeholder until the mode is built.
int RunSearch(const QStringList&) {
    std::fputs("korvane: --search is not available yet\n", stderr);
    return 2;
}

}  // namespace cli
