#include "export/library_walk.h"

#include "library/registry.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace exporting {
namespace {

bool IsServiceName(const std::string& name) {
    return name.rfind(layout::kServicePrefix, 0) == 0 || name.rfind(".", 0) == 0;
}

bool Walk(const std::string& root, const std::string& rel, int depth, std::vector<WalkEntry>& out) {
    std::vector<plat::DirEntry> entries;
    if (!plat::ListDir(root + rel, entries)) return false;
    for (plat::DirEntry& e : entries) {
        if (plat::IsPlainDirectory(e.attrs) && !IsServiceName(e.name)) {
            const std::size_t at = out.size();
            WalkEntry c;
            c.isClass = true;
            c.depth = depth;
            c.label = e.name;
            c.rel = rel + e.name;
            c.name = std::move(e.name);
            out.push_back(std::move(c));
            Walk(root, out[at].rel + "\\", depth + 1, out);
            for (std::size_t i = at + 1; i < out.size(); ++i) out[at].cards += out[i].isClass ? 0 : 1;
            continue;
        }
        const std::size_t mark = plat::Find(e.name, layout::kCardMark);
        if (mark == plat::npos) continue;
        WalkEntry card;
        card.depth = depth;
        card.label = e.name.substr(0, mark);
        card.rel = rel.empty() ? rel : rel.substr(0, rel.size() - 1);
        card.path = root + rel + e.name;
        card.name = std::move(e.name);
        out.push_back(std::move(card));
    }
    return true;
}

}  // namespace

bool WalkLibrary(const std::string& root, std::vector<WalkEntry>& out, std::string& error) {
    out.clear();
    if (Walk(root, std::string(), 0, out)) return true;
    error = plat::Gbk("目录 ") + root + plat::Gbk(" 不存在");
    return false;
}

}  // namespace exporting
