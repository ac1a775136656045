// The folder for files the program makes for itself (indexes, rendered pages): below
// ${XDG_CACHE_HOME:-$HOME/.cache}/korvane. What is there is read back and trusted, so the folder must be
// the user's alone: created 0700, never a symbolic link, owned by this user, in a cache home nobody else
// can write to. Without such a place there is no cache at all.
#pragma once

#include <string>
#include <string_view>

namespace plat {

// The native path of korvane's cache folder (with `sub` a folder below it: "view"), created when missing,
// without a final '/'. Empty, with the reason in `error` (GBK), when HOME and XDG_CACHE_HOME are both
// unset (or relative), or a folder on the way is not private.
std::string PrivateCacheFolder(std::string& error, std::string_view sub = {});

}  // namespace plat
