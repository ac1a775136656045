// Where a card stands for the history: the library folder it belongs to and its path below that folder as
// the store names it. The window and the command line find the same store and the same path this way.
#pragma once

#include <string>

namespace history {

// `native` made absolute with links and "." / ".." resolved as far as it exists; no final '/'.
std::string Canonical(const std::string& native);
// The path of `native` below the library folder `root` (Canonical), '/' between folders; "" when it is not
// below it.
std::string InLibrary(const std::string& root, const std::string& native);
// The library folder (Canonical) that holds the card at `native`: the nearest folder above it with the
// library's settings folder; "" when there is none. The card itself need not exist any more.
std::string LibraryOf(const std::string& native);

}  // namespace history
