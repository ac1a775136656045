// The folder for files the program makes for itself (indexes, rendered pages): below
// ${XDG_CACHE_HOME:-$HOME/.cache}/korvane. What is there is read back and trusted, so the folder must be
// the user's alone: created 0700, never a symbolic link, owned by this user, in a cache home nobody else
// can rename things in. Without such a place there is no cache at all.
#pragma once

#include <string>
#include <string_view>

namespace plat {

// Korvane's cache folder (with `sub`, a folder below it: "view"), created where missing, as a descriptor
// opened through no link; its native path (no final '/') in `path`. -1, with the reason in `error` (GBK),
// when HOME and XDG_CACHE_HOME are both unset (or relative) or a folder on the way is not private.
int OpenPrivateCacheFolder(std::string& error, std::string_view sub, std::string& path);
// The same as a path only (for what must be named by its path, as an SQLite file); empty on failure.
std::string PrivateCacheFolder(std::string& error, std::string_view sub = {});

}  // namespace plat
