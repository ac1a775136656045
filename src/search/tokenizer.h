// The index's tokenizer. Each character of a card's text is a token at a position of its own, so a term of
// any length is the phrase of its characters and the index alone answers it: no card's text is read back to
// confirm a match. Letters and digits of ASCII (full-width ones folded to them) are few and frequent, so
// their positions make long lists: after each, the pair it makes with the next character is a second token
// at the same position, and a phrase takes the pair where it can ("linux" is li, in, nu, ux).
// A break (blank, line end, stray byte) ends a run of characters: the gap after a run is a token of its
// own, so that a phrase never joins the characters either side of a break.
#pragma once

#include <string>
#include <vector>

#include "search/fold.h"

struct sqlite3;

namespace search {

inline constexpr char kTokenizerName[] = "korvane";

// Registers the tokenizer on one connection; false when FTS5 is not there.
bool RegisterTokenizer(sqlite3* db);

// The tokens of a term's phrase, one per position from the term's first character.
std::vector<std::string> TermTokens(const Units& term);

}  // namespace search
