// The YAML front matter of a note: written with every value quoted, read for the plain forms notes programs
// write (quoted or plain scalars, block and flow lists). Not a YAML engine: the keys of a card and nothing more.
#pragma once

#include <string>
#include <string_view>

#include "export/note_text.h"

namespace notes {

// "---\n" ... "---\n" with title, keywords, tags, class, source, stylesheet, created and modified.
std::string WriteFrontMatter(const Note& note);
// Reads the front matter at the start of `text` into `note` (the has* flags tell which keys stood there).
// Returns how many bytes it took: 0 when the text opens with none.
std::size_t ReadFrontMatter(std::string_view text, Note& note);

}  // namespace notes
