// Changes seen on disk, applied to the tree and the entry list in place.
#include <QTreeWidget>
#include <algorithm>

#include "app/library_tree.h"
#include "app/library_tree_item.h"
#include "library/registry.h"
#include "platform/path.h"
#include "platform/text.h"

using tree_detail::CompareEntries;
using tree_detail::EntryItem;
using tree_detail::IsServiceName;

namespace {

bool Within(const QTreeWidgetItem* item, const QTreeWidgetItem* ancestor) {
    for (; item; item = item->parent())
        if (item == ancestor) return true;
    return false;
}

}  // namespace

bool LibraryTree::Rescan(std::string& error) {
    // Cards are found again by their path, classes by their folder.
    auto where = [this](const DatumNode* n) {
        return !n || n->IsEnd() ? std::string() : n->IsCard() ? n->path : FolderOf(n->item);
    };
    auto find = [this](const std::string& path) -> const DatumNode* {
        if (path.empty() || path.back() != '\\') return FindByPath(path);
        const Place p = FindFolder(path);
        return p.found ? p.node : nullptr;
    };
    const std::string current = where(current_);
    const std::string selected = where(FindByItem(view_->currentItem()));
    std::vector<std::string> unfolded;
    for (const DatumNode* n = first_; n && !n->IsEnd(); n = n->next)
        if (n->IsClass() && n->item->isExpanded()) unfolded.push_back(FolderOf(n->item));

    if (!Scan(root_, error)) return false;
    for (const std::string& folder : unfolded)
        if (const Place p = FindFolder(folder); p.found && p.item) p.item->setExpanded(true);
    if (const DatumNode* n = find(current)) current_ = Own(n);
    if (const DatumNode* n = find(selected)) view_->setCurrentItem(n->item);
    return true;
}

LibraryTree::Place LibraryTree::FindFolder(const std::string& folder) const {
    if (root_.empty() || folder.size() < root_.size() || folder.compare(0, root_.size(), root_) != 0)
        return {};
    Place place;
    place.found = true;
    std::string prefix = root_;
    std::size_t start = root_.size();
    for (std::size_t i = start; i < folder.size(); i += plat::CharLen(folder, i)) {
        if (folder[i] != '\\') continue;
        const std::string name = folder.substr(start, i - start);
        bool found = false;
        const int at = FindChild(place.item, prefix, name, found);
        QTreeWidgetItem* item =
            found ? (place.item ? place.item->child(at) : view_->topLevelItem(at)) : nullptr;
        const DatumNode* node = FindByItem(item);
        if (!node || !node->IsClass()) return {};
        place.item = item;
        place.node = Own(node);
        prefix.append(name).append(1, '\\');
        start = i + 1;
    }
    if (start != folder.size()) return {};  // not a folder path
    return place;
}

int LibraryTree::FindChild(QTreeWidgetItem* parent, const std::string& folder, const std::string& name,
                           bool& found) const {
    // Siblings are in the order a scan gives them, so the place of a name is found by halving.
    int lo = 0, hi = parent ? parent->childCount() : view_->topLevelItemCount();
    found = false;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        const DatumNode* n = FindByItem(parent ? parent->child(mid) : view_->topLevelItem(mid));
        const std::string_view child =
            n->IsClass() ? std::string_view(n->label) : std::string_view(n->path).substr(folder.size());
        const int c = CompareEntries(child, name);
        if (c == 0) {
            found = true;
            return mid;
        }
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

void LibraryTree::Apply(const std::string& folder, const std::string& name, bool replaced,
                        std::vector<std::string>& touched) {
    const Place place = FindFolder(folder);
    if (!place.found) return;  // a folder the tree does not show (yet, or any more)
    if (!name.empty()) {
        ApplyName(place, folder, name, replaced, touched);
        return;
    }
    // Every name the folder holds now or the tree holds for it.
    std::vector<plat::DirEntry> entries;
    plat::ListDir(folder, entries);
    std::vector<std::string> names;
    for (plat::DirEntry& e : entries) names.push_back(std::move(e.name));
    const int n = place.item ? place.item->childCount() : view_->topLevelItemCount();
    for (int i = 0; i < n; ++i) {
        const DatumNode* c = FindByItem(place.item ? place.item->child(i) : view_->topLevelItem(i));
        names.push_back(c->IsClass() ? c->label : c->path.substr(folder.size()));
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    // Cards that stay are the index's own refresh's to compare; only what comes or goes is told here.
    std::vector<std::string> kept;
    for (const std::string& each : names) {
        const Place again = FindFolder(folder);  // cheap, and safe whatever the last name did
        if (!again.found) continue;
        kept.clear();
        ApplyName(again, folder, each, false, kept);
        if (kept.size() != 1 || kept[0] != folder + each)
            touched.insert(touched.end(), kept.begin(), kept.end());
    }
}

void LibraryTree::ApplyName(const Place& place, const std::string& folder, const std::string& name,
                            bool replaced, std::vector<std::string>& touched) {
    enum Kind { None, Class, Card };
    const std::string path = folder + name;
    const unsigned attrs = plat::AttributesOf(path);
    // What a scan would make of it now.
    const Kind want = attrs == 0                                              ? None
                      : plat::IsPlainDirectory(attrs) && !IsServiceName(name) ? Class
                      : plat::Find(name, layout::kCardMark) != plat::npos     ? Card
                                                                              : None;
    bool found = false;
    const int at = FindChild(place.item, folder, name, found);
    if (found) {
        DatumNode* node = Own(FindByItem(place.item ? place.item->child(at) : view_->topLevelItem(at)));
        const Kind have = node->IsClass() ? Class : Card;
        if (have == Card) touched.push_back(path);  // its text may have changed even where it stays
        if (have == want && !(replaced && want == Class)) return;
        if (have == Class) touched.push_back(path + "\\");
        Remove(node);
    }
    if (want != None) Insert(place, folder, name, want == Class, at, touched);
}

void LibraryTree::Insert(const Place& place, const std::string& folder, const std::string& name, bool isClass,
                         int index, std::vector<std::string>& touched) {
    QTreeWidgetItem* before = index == 0   ? nullptr
                              : place.item ? place.item->child(index - 1)
                                           : view_->topLevelItem(index - 1);
    DatumNode* node = Link(before ? LastBelow(Own(FindByItem(before))) : place.node);
    if (isClass) {
        node->path.assign(1, 'd');
        node->label = name;
    } else {
        node->path = folder + name;
        node->label.assign(name, 0, plat::Find(name, layout::kCardMark));
        touched.push_back(node->path);
    }
    node->item = new EntryItem(node);
    if (place.item)
        place.item->insertChild(index, node->item);
    else
        view_->insertTopLevelItem(index, node->item);
    if (!isClass) {
        if (!displaced_.empty() && node->path == displaced_ && current_ == displacedTo_) {
            const bool selected = current_ && current_->item && view_->currentItem() == current_->item;
            current_ = node;
            displaced_.clear();
            if (selected) Select(node);
        }
        return;
    }

    // Everything below a class that appears, read as a scan reads it, after the class's own entry.
    cursor_ = node;
    scanParent_ = node->item;
    scanDepth_ = 0;
    std::string ignored;
    ScanFolder(folder + name + "\\", ignored);
    for (const DatumNode* n = node->next; n != cursor_->next; n = n->next)
        if (n->IsCard()) touched.push_back(n->path);
    cursor_ = nullptr;
    scanParent_ = nullptr;
}

DatumNode* LibraryTree::LastBelow(DatumNode* node) const {
    QTreeWidgetItem* item = node->item;
    while (item->childCount() > 0) item = item->child(item->childCount() - 1);
    return Own(FindByItem(item));
}

void LibraryTree::Remove(DatumNode* node) {
    DatumNode* last = LastBelow(node);
    DatumNode* before = node->prev;
    DatumNode* after = last->next;  // never none: the end entry closes the list
    bool currentGone = false;
    for (DatumNode* n = node;; n = n->next) {
        currentGone = currentGone || n == current_;
        if (n == last) break;
    }
    const bool selectionGone = Within(view_->currentItem(), node->item);
    const std::string gonePath = currentGone && current_->IsCard() ? current_->path : std::string();
    if (anchor_ && Within(anchor_, node->item)) anchor_ = view_->itemAbove(node->item);

    (before ? before->next : first_) = after;
    after->prev = before;
    delete node->item;  // with the items below it
    for (DatumNode* n = node;;) {
        DatumNode* next = n->next;
        const bool done = n == last;
        nodes_.Release(n);
        if (done) break;
        n = next;
    }
    // The neighbour: the entry that followed, or when that is the end, the one before.
    DatumNode* neighbour = !after->IsEnd() || !before ? after : before;
    if (currentGone) {
        if (current_ != displacedTo_ || displaced_.empty()) displaced_ = gonePath;
        current_ = neighbour;
        displacedTo_ = neighbour;
    }
    if (selectionGone) Select(neighbour);
}

void LibraryTree::BeginChanges() {
    anchor_ = view_->itemAt(QPoint(0, 0));
    anchorTop_ = anchor_ ? view_->visualItemRect(anchor_).top() : 0;
}

void LibraryTree::EndChanges() {
    // Rows added or removed above the top one would otherwise move everything the user looks at.
    if (anchor_ && view_->visualItemRect(anchor_).top() != anchorTop_)
        view_->scrollToItem(anchor_, QAbstractItemView::PositionAtTop);
    anchor_ = nullptr;
}

void LibraryTree::Empty() {
    const std::string root = root_;
    Free();
    root_ = root;
    DatumNode& end = nodes_.Add();
    end.path.assign(1, '?');
    first_ = current_ = tail_ = &end;
}
