// A library in the order its tree shows it (and 上一则 / 下一则 walk it): depth first, each folder's entries in
// the listing's order, a class followed by everything in it. What export writes follows that order.
#pragma once

#include <string>
#include <vector>

namespace exporting {

struct WalkEntry {
    bool isClass = false;
    int depth = 0;      // 0 for the library's own classes and cards
    std::string name;   // GBK: the class folder's name, or the card file's name
    std::string label;  // GBK: the class name, or the card's name up to ".datum."
    std::string rel;    // GBK, '\' between folders: the class's own path from the root, or the card's folder's
    std::string path;   // the card file's internal path ("" for a class)
    int cards = 0;      // for a class: the cards in it and in its sub-classes
};

// Root: internal, ending with '\'. False when the library folder cannot be listed (a sub-folder that cannot be
// listed is simply empty, as in the tree); error in GBK.
bool WalkLibrary(const std::string& root, std::vector<WalkEntry>& out, std::string& error);

}  // namespace exporting
