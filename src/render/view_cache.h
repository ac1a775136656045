// Rendered pages live in the user's cache folder, never inside a library: libraries are often synced folders.
#pragma once

#include <string>

namespace render {

// How many rendered pages are kept; older ones are removed as new ones are written.
inline constexpr int kKeptPages = 40;

// ${XDG_CACHE_HOME:-~/.cache}/korvane/view as a native path; "" when neither variable gives a place.
std::string ViewFolder();

// Writes `html` as a new page in the view folder (created as needed), removes all but the newest kKeptPages
// pages, and returns the new page's native path. "" on failure, with `error` (GBK) saying what failed.
std::string WriteViewPage(const std::string& html, std::string& error);

}  // namespace render
