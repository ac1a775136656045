// The stylesheet folder xmlstyle\datumstyle\ of the program directory: which of its entries are styles.
#pragma once

#include <string>
#include <vector>

struct StyleFile {
    std::string name;  // the file name up to its first ".xsl"
    std::string path;  // progDir + "\xmlstyle\datumstyle\" + the file name
};

// Lists the styles of the folder below the current directory, in the folder's listing order. False when the
// folder cannot be listed (`out` is then empty). progDir (no final '\') only builds the paths.
bool ListStyleFolder(const std::string& progDir, std::vector<StyleFile>& out);
