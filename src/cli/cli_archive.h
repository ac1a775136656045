// What --backup and --restore share: the library a name or folder names, and their usage.
#pragma once

#include <QString>
#include <string>

namespace cli {

// The path without the separators at its end; the root "\" stays.
std::string WithoutFinalSeparators(const std::string& internal);
// A registered library's name, else a folder: its root, ending in '\'.
bool ResolveLibrary(const QString& arg, std::string& root, std::string& error);
// The usage of both modes on stderr; returns 2.
int ArchiveUsage();

}  // namespace cli
