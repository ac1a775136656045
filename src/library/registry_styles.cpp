#include "library/registry_styles.h"

#include "library/registry.h"
#include "platform/fs.h"
#include "platform/text.h"

bool ListStyleFolder(const std::string& progDir, std::vector<StyleFile>& out) {
    out.clear();
    std::vector<plat::DirEntry> entries;
    if (!plat::ListDir(layout::kStyleDir, entries)) return false;
    for (const plat::DirEntry& e : entries) {
        // An ordinary sub-folder is never a style; one that carries another attribute is taken as a file
        // name like any other, the way the folder has always been read.
        const bool ordinaryFolder = plat::IsPlainDirectory(e.attrs) &&
                                    e.name.compare(0, 3, layout::kServicePrefix) != 0 && e.name.compare(0, 1, ".") != 0;
        if (ordinaryFolder) continue;
        const std::size_t ext = plat::Find(e.name, ".xsl");
        if (ext == plat::npos) continue;
        out.push_back({e.name.substr(0, ext), progDir + "\\" + layout::kStyleDir + e.name});
    }
    return true;
}
