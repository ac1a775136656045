// Tag search shared by the card and line index readers (both read exactly the lines their writers produce).
#pragma once

#include <string>
#include <string_view>

namespace xmltags {

// The text between the first `open` and the first `close` on the line, both searched from its start and
// character-aware. False (out untouched) when the line lacks either tag; empty when `close` comes first.
bool Between(const std::string& line, std::string_view open, std::string_view close, std::string& out);

}  // namespace xmltags
