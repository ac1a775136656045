#include <cstdio>

#include "cli/cli.h"

namespace cli {

// Placeholder until the mode is built.
int RunBackup(const QStringList&) {
    std::fputs("korvane: --backup is not available yet\n", stderr);
    return 2;
}

}  // namespace cli
