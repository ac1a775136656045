// The library a command-line mode works on: the one its --library argument names, else the one in use.
#pragma once

#include <QString>
#include <string>

namespace cli {

// The library's root (internal, as the window keeps it). False with the message (GBK) when the registry
// cannot be read, names no such library, or its folder is missing.
bool LibraryToUse(bool named, const QString& name, std::string& root, std::string& error);

}  // namespace cli
