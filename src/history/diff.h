// What changed between two versions of a text, paragraph by paragraph: paragraphs kept, added and removed,
// and, inside a paragraph that was changed rather than replaced, the characters added and removed. Chinese
// has no spaces between words, so the unit inside a paragraph is the character, never the word.
#pragma once

#include <string>
#include <vector>

namespace history {

struct Piece {
    enum Kind { Same, Added, Removed } kind;
    std::u32string text;
};

struct Paragraph {
    enum Kind { Same, Added, Removed, Changed } kind;
    std::vector<Piece> pieces;  // one piece unless Changed
};

// `before` and `after` as paragraphs, in order.
std::vector<Paragraph> Compare(const std::vector<std::u32string>& before, const std::vector<std::u32string>& after);
// The characters of one paragraph changed into another.
std::vector<Piece> CompareChars(const std::u32string& before, const std::u32string& after);

}  // namespace history
