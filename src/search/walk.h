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
    std::vector<CardFile> cards;
    std::uint64_t signature = 0;  // of the cards' names, sizes and times; any change changes it
};

// False when the root cannot be listed (the library folder is missing).
bool WalkLibrary(const std::string& nativeRoot, std::vector<Folder>& out);

// The signature WalkLibrary gives a folder holding `cards`.
std::uint64_t Signature(const std::vector<CardFile>& cards);

bool IsCardName(std::string_view name);

}  // namespace search
