// One walk of a library folder that sees what the card tree sees: class folders are plain, writable
// directories whose names begin neither with "_ _" nor with "."; a card is a file whose name holds ".datum.".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace search {

struct CardFile {
    std::string name;  // native (UTF-8)
    std::int64_t size = 0;
    std::int64_t mtime = 0;  // nanoseconds
};

struct Folder {
    std::string rel;  // native, from the library root, '/' between folders; "" for the root itself
    std::uint64_t signature = 0;  // of the cards' names, sizes and times; any change changes it
    int count = 0;                // cards
    std::vector<CardFile> cards;  // only when asked for
};

// The folders are listed on every core at once, in the order of one depth-first walk. False when the root
// cannot be listed (the library folder is missing). Without `keepCards` only each
// folder's signature and count are kept: a refresh that finds a folder unchanged needs no more, and the
// walk then allocates nothing per card.
bool WalkLibrary(const std::string& nativeRoot, std::vector<Folder>& out, bool keepCards);
// The cards of one folder (its `rel` as WalkLibrary gives it), with its signature and count.
bool ListFolder(const std::string& nativeRoot, Folder& folder);

bool IsCardName(std::string_view name);

}  // namespace search
