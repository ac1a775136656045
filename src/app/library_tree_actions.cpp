// What the tree's own actions (new, delete, take back) need of the entry list: where an entry's folder is,
// what lies below a class, and the tree brought up to date with one path at once rather than when the watch
// reports it.
#include <QTreeWidgetItem>

#include "app/library_tree.h"
#include "platform/path.h"

std::string LibraryTree::FolderOfEntry(const DatumNode* node) const {
    if (!node || node->IsEnd()) return root_;
    if (node->IsClass()) return FolderOf(node->item);
    const std::string_view name = plat::LastComponent(node->path);
    return node->path.substr(0, node->path.size() - name.size());
}

int LibraryTree::CardsBelow(const DatumNode* node) const {
    if (!node || !node->IsClass()) return 0;
    const DatumNode* last = LastBelow(Own(node));
    int cards = 0;
    for (const DatumNode* n = node; n; n = n->next) {
        if (n->IsCard()) ++cards;
        if (n == last) break;
    }
    return cards;
}

void LibraryTree::ApplyPath(const std::string& path, std::vector<std::string>& touched) {
    std::string trimmed = path;
    while (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
    const std::string_view name = plat::LastComponent(trimmed);
    BeginChanges();
    Apply(trimmed.substr(0, trimmed.size() - name.size()), std::string(name), false, touched);
    EndChanges();
}

const DatumNode* LibraryTree::FindClass(const std::string& folder) const {
    std::string want = folder;
    if (want.empty() || want.back() != '\\') want += '\\';
    for (const DatumNode* n = first_; n && !n->IsEnd(); n = n->next)
        if (n->IsClass() && FolderOf(n->item) == want) return n;
    return nullptr;
}
