// What --backup and --restore share: arguments to internal paths, the library a name or folder names, and
// the one-line message and exit status of a failure.
#pragma once

#include <QString>
#include <string>

namespace cli {

// A command-line path (UTF-8, '/') as an internal path; false with `error` when GBK cannot hold it.
bool InternalPath(const QString& arg, std::string& internal, std::string& error);
// The path without the separators at its end; the root "\" stays.
std::string WithoutFinalSeparators(const std::string& internal);
// A registered library's name, else a folder: its root, ending in '\'.
bool ResolveLibrary(const QString& arg, std::string& root, std::string& error);
// "korvane: <message>" on stderr (message GBK); returns 1.
int ArchiveFailure(const std::string& gbkMessage);
// The usage of both modes on stderr; returns 2.
int ArchiveUsage();

}  // namespace cli
