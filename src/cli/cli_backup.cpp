// korvane --backup NAME-OR-FOLDER ARCHIVE.zip: the library manager's backup, for a cron job or a timer.
#include <cstdio>

#include "cli/cli.h"
#include "cli/cli_archive.h"
#include "library/archive.h"

namespace cli {

int RunBackup(const QStringList& args) {
    if (args.size() != 2) return ArchiveUsage();
    std::string root, archivePath;
    if (const int status = ResolveLibrary(args[0], root)) return status;
    if (const int status = FileArg(args[1], archivePath)) return status;
    // No one is there to agree to losing a file that is no archive: it is refused.
    const archiving::Outcome out = archiving::Backup(root, archivePath);
    return out.ok ? 0 : Fail(out.error);
}

}  // namespace cli
