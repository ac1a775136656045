// What --backup and --restore share: the library a name or folder names, and their usage.
#pragma once

#include <QString>
#include <string>

namespace cli {

// The path without the separators at its end; the root "\" stays.
std::string WithoutFinalSeparators(const std::string& internal);
// A registered library's name, else a folder: its root, ending in '\'. A name wins over a folder of the same
// spelling; "./NAME" names the folder. 0, or the exit status after the reason was printed (see FileArg).
int ResolveLibrary(const QString& arg, std::string& root);
// The usage of both modes on stderr; returns 2.
int ArchiveUsage();

}  // namespace cli
