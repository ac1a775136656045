// Internal paths are the system's own: GBK text with '\' separators, relative to the current directory,
// or absolute when they begin with '\' (the root of the file system). '/' typed by a user is accepted too.
// Native paths are UTF-8 with '/'.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plat {

// GBK -> UTF-8, '\' and '/' -> '/' (separators found character-aware). Undecodable bytes make a name that
// does not exist on disk, so such a path is simply not found.
std::string ToNative(std::string_view internal);

// UTF-8 -> GBK, '/' -> '\'. nullopt when the name holds a character GBK cannot hold or is not valid UTF-8.
std::optional<std::string> FromNative(std::string_view native);

bool IsAbsolute(std::string_view internal);

// The last component of an internal path: what follows the last '\' or '/', found character by character so
// that a GBK trail byte 0x5C is never taken for a separator.
std::string_view LastComponent(std::string_view path);

// For a native path whose letter case may not match the disk (lists store links in lower case): each
// component is matched against its folder's entries ignoring ASCII case (an exact match wins). Returns the
// path as found on disk, or the input unchanged when some component matches nothing.
std::string ResolveIgnoringCase(std::string_view native);

// Where a rewrite of `native` goes so that a symbolic link there stays a link: the file the link finally
// names, else `native` itself. nullopt for a link that cannot be resolved (it names nothing).
std::optional<std::string> WriteThroughLink(const std::string& native);

}  // namespace plat
