// The index's tokenizer. A card becomes the pairs of neighbouring characters (which answer any term of two
// or more characters: a longer term needs all its pairs, and the candidates are then checked against the
// card's text) plus each distinct character once (which answers single-character terms at once).
#pragma once

#include <string>
#include <vector>

#include "search/fold.h"

struct sqlite3;

namespace search {

inline constexpr char kTokenizerName[] = "korvane";

// Registers the tokenizer on one connection; false when FTS5 is not there.
bool RegisterTokenizer(sqlite3* db);

// The tokens a term needs (all of them must be in a card): its one character, or its pairs.
std::vector<std::string> TermTokens(const Units& term);

}  // namespace search
