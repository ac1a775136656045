// Text files brought in as cards: each .txt or .md file becomes a card in a class, a folder's sub-folders
// its sub-classes. The encoding is found from the bytes (a BOM, else valid UTF-8, else GB18030); a file that is
// none of these is refused by name. A card holds only what its file format stores: a file with other
// characters is not changed behind the user's back but listed, and brought in only when the user lets each
// such character be replaced by a visible mark. A card name already taken gets " (2)", never replaces a card.
#pragma once

#include <string>
#include <vector>

#include "export/job.h"

class QString;
namespace plat {
struct Unstorable;
}

namespace exporting {

// What takes the place of a character the card cannot store, when the user agrees: 〓 (U+3013), the mark
// printers use for a missing character.
inline constexpr char16_t kMissingMark = 0x3013;

// The characters of `text` that a card cannot store: how many, and the first.
plat::Unstorable CardUnstorable(const QString& text);

struct ImportOptions {
    std::string root;   // the library, internal, ending with '\'
    std::string klass;  // internal, from the root, '\' between folders; "" for the library's own level
    bool replaceUnstorable = false;
};

struct UnstorableFile {
    std::string file;  // native
    char32_t first = 0;
    long long count = 0;
};

struct ImportOutcome : Outcome {
    std::vector<UnstorableFile> unstorable;  // not imported: they wait for the user's word
    std::vector<std::string> files;          // native: each file's card, in the order imported
};

// sources: native paths of files and folders. Cancelled, the cards written so far stay (`cards` says how
// many). `ok` is false when any file was refused, with every refusal in `error`, one a line.
ImportOutcome ImportFiles(const std::vector<std::string>& sources, const ImportOptions& options,
                          Progress& progress);

// The encoding found and the text as UTF-8; false when the bytes are no text in a known encoding.
bool DecodeText(const std::string& bytes, std::string& utf8);

}  // namespace exporting
