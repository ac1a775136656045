#include "app/library_tree.h"

#include <QBrush>
#include <QColor>
#include <QTreeWidget>
#include <algorithm>

#include "library/registry.h"
#include "platform/codec.h"
#include "platform/folder_watch.h"
#include "platform/path.h"
#include "platform/text.h"

using plat::Gbk;

namespace {

// A tree item that shows its entry's label, turned into display text only when the view asks, which it
// does for the rows on screen: a library of many thousand cards is built without a text conversion, a
// stored display value or a second copy of the label per item. It knows its entry, so finding the entry of
// an item costs nothing. The entry outlives its item: the list is freed only after the tree is cleared.
class EntryItem : public QTreeWidgetItem {
public:
    static constexpr int kType = QTreeWidgetItem::UserType + 1;
    explicit EntryItem(const DatumNode* node) : QTreeWidgetItem(kType), node_(node) {}
    const DatumNode* Node() const { return node_; }
    QVariant data(int column, int role) const override {
        QVariant v = QTreeWidgetItem::data(column, role);
        if (column != 0 || v.isValid()) return v;
        const bool conflict =
            (role == Qt::DisplayRole || role == Qt::EditRole || role == Qt::ForegroundRole) &&
            node_->IsCard() && LibraryTree::IsConflictCopy(plat::LastComponent(node_->path));
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return conflict ? plat::ToQ(node_->label + Gbk(" [冲突]")) : plat::ToQ(node_->label);
        if (role == Qt::ForegroundRole && conflict) return QBrush(QColor(160, 0, 0));
        return v;
    }

private:
    const DatumNode* node_;
};

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// A folder the library's own layout reserves ("_ _SETS_ _", "_ _VIEW_ _") or a hidden one.
bool IsServiceName(std::string_view name) {
    return StartsWith(name, layout::kServicePrefix) || StartsWith(name, ".");
}

// Where a sync tool's conflict mark lies in a GBK file name: Syncthing's ".sync-conflict-<date>-<time>-<id>"
// (up to the next '.'), or the " (... conflicted copy ...)" of Nextcloud, ownCloud and Dropbox. Length 0 when
// the name has none.
struct Mark {
    std::size_t pos = 0, len = 0;
};
Mark ConflictMark(std::string_view name) {
    if (name.find("onflict") == std::string_view::npos) return {};  // most names: one quick byte search
    const std::size_t sync = plat::Find(name, ".sync-conflict-");
    if (sync != plat::npos) {
        const std::size_t end = plat::Find(name, ".", sync + 1);
        return {sync, (end == plat::npos ? name.size() : end) - sync};
    }
    for (std::size_t open = plat::Find(name, " ("); open != plat::npos;
         open = plat::Find(name, " (", open + 2)) {
        const std::size_t close = plat::Find(name, ")", open + 2);
        if (close == plat::npos) break;
        if (plat::AsciiLower(name.substr(open, close - open)).find("conflicted copy") != std::string::npos)
            return {open, close + 1 - open};
    }
    return {};
}

std::string Utf8(std::string_view gbk) {
    std::string out;
    return plat::TryGbkToUtf8(gbk, out) ? out : plat::GbkToUtf8(gbk);
}

// The order of the entries of one folder: the folder listing's, except that a conflict copy follows the
// name it was copied from (and the other copies of that name).
int CompareEntries(std::string_view a, std::string_view b) {
    const Mark ma = ConflictMark(a), mb = ConflictMark(b);
    if (ma.len || mb.len) {
        auto base = [](std::string_view n, Mark m) {
            return std::string(n.substr(0, m.pos)).append(n.substr(m.pos + m.len));
        };
        if (const int c = plat::CompareNames(Utf8(ma.len ? base(a, ma) : std::string(a)),
                                             Utf8(mb.len ? base(b, mb) : std::string(b))))
            return c;
        if ((ma.len != 0) != (mb.len != 0)) return ma.len ? 1 : -1;
    }
    return plat::CompareNames(Utf8(a), Utf8(b));
}

bool Within(const QTreeWidgetItem* item, const QTreeWidgetItem* ancestor) {
    for (; item; item = item->parent())
        if (item == ancestor) return true;
    return false;
}

}  // namespace

bool LibraryTree::IsConflictCopy(std::string_view name) { return ConflictMark(name).len != 0; }

std::unique_ptr<plat::FolderWatch> LibraryTree::NewWatch() {
    return std::make_unique<plat::FolderWatch>(plat::FolderWatch::Filter{
        [](std::string_view name, unsigned attrs) {
            return plat::IsPlainDirectory(attrs) && !IsServiceName(name);
        },
        [](std::string_view name) { return plat::Contains(name, layout::kCardMark); }});
}

DatumNode& LibraryTree::NodeStore::Add() {
    if (!free_.empty()) {
        DatumNode& n = *free_.back();
        free_.pop_back();
        return n;
    }
    if (used_ == blocks_.size() * kBlock) blocks_.push_back(std::make_unique<DatumNode[]>(kBlock));
    DatumNode& n = blocks_[used_ / kBlock][used_ % kBlock];
    ++used_;
    return n;
}

void LibraryTree::NodeStore::Release(DatumNode* node) {
    node->founddate.clear();
    node->item = nullptr;
    node->next = node->prev = nullptr;
    free_.push_back(node);
}

void LibraryTree::NodeStore::Clear() {
    blocks_.clear();
    free_.clear();
    used_ = 0;
}

LibraryTree::LibraryTree(QTreeWidget* view) : view_(view) {}

LibraryTree::~LibraryTree() { Free(); }

bool LibraryTree::Scan(const std::string& root, std::string& error) {
    Free();
    root_ = root;
    DatumNode& end = nodes_.Add();
    // assign(1, c) rather than = "c": GCC 12 warns falsely about the latter here at -O3.
    end.path.assign(1, '?');
    first_ = current_ = tail_ = &end;
    cursor_ = nullptr;
    scanParent_ = nullptr;
    scanDepth_ = 0;

    const bool updates = view_->updatesEnabled();
    view_->setUpdatesEnabled(false);
    const bool ok = ScanFolder(root, error);
    view_->setUpdatesEnabled(updates);
    return ok;
}

bool LibraryTree::ScanFolder(const std::string& folder, std::string& error) {
    // One listing per depth, kept from folder to folder and from scan to scan: its names reuse their
    // buffers, so the walk frees and allocates nothing per entry for them.
    if (scanDepth_ == scanLevels_.size()) scanLevels_.emplace_back();
    std::vector<plat::DirEntry>& entries = scanLevels_[scanDepth_].entries;
    // A folder's items are built detached and handed to their parent in one insertion (the library's
    // own to the tree, once everything below them is built): no per-item model notification or repaint.
    QList<QTreeWidgetItem*>& items = scanLevels_[scanDepth_].items;
    items.clear();
    if (!plat::ListDir(folder, entries)) {
        error = Gbk("目录 ") + folder + Gbk(" 不存在");
        return false;
    }
    if (std::any_of(entries.begin(), entries.end(),
                    [](const plat::DirEntry& e) { return IsConflictCopy(e.name); }))
        std::stable_sort(entries.begin(), entries.end(),
                         [](const plat::DirEntry& a, const plat::DirEntry& b) {
                             return CompareEntries(a.name, b.name) < 0;
                         });
    for (const plat::DirEntry& e : entries) {
        if (plat::IsPlainDirectory(e.attrs) && !IsServiceName(e.name)) {
            DatumNode* node = cursor_ = Link(cursor_);
            node->path.assign(1, 'd');
            node->label = e.name;
            node->item = new EntryItem(node);
            items.push_back(node->item);

            QTreeWidgetItem* parent = scanParent_;
            scanParent_ = node->item;
            ++scanDepth_;
            std::string ignored;
            ScanFolder(folder + e.name + "\\", ignored);  // a sub-folder that cannot be read is simply empty
            --scanDepth_;
            scanParent_ = parent;
            continue;
        }
        std::size_t mark = plat::Find(e.name, layout::kCardMark);
        if (mark == plat::npos) continue;
        DatumNode* node = cursor_ = Link(cursor_);
        node->label.assign(e.name, 0, mark);
        node->item = new EntryItem(node);
        items.push_back(node->item);
        node->path.reserve(folder.size() + e.name.size());
        node->path.assign(folder).append(e.name);
    }
    if (scanParent_)
        scanParent_->addChildren(items);
    else
        view_->addTopLevelItems(items);
    return true;
}

DatumNode* LibraryTree::Link(DatumNode* after) {
    DatumNode& n = nodes_.Add();
    n.prev = after;
    n.next = after ? after->next : first_;
    n.next->prev = &n;  // there is always an entry after: at least the end entry
    (after ? after->next : first_) = &n;
    return &n;
}

void LibraryTree::Free() {
    const bool updates = view_->updatesEnabled();
    view_->setUpdatesEnabled(false);
    view_->clear();
    view_->setUpdatesEnabled(updates);
    nodes_.Clear();
    first_ = current_ = tail_ = cursor_ = nullptr;
    anchor_ = nullptr;
}

const DatumNode* LibraryTree::End() const { return tail_; }

const DatumNode* LibraryTree::FindByItem(const QTreeWidgetItem* item) const {
    if (!item || item->type() != EntryItem::kType || item->treeWidget() != view_) return nullptr;
    return static_cast<const EntryItem*>(item)->Node();
}

const DatumNode* LibraryTree::FindByPath(const std::string& path) const {
    for (const DatumNode* n = first_; n && !n->IsEnd(); n = n->next)
        if (n->IsCard() && n->path == path) return n;
    return nullptr;
}

const DatumNode* LibraryTree::StepFrom(bool back) const {
    // Going back stops at the first entry; going on stops before the end entry.
    auto last = [back](const DatumNode* n) { return back ? !n->prev : !n->next || n->next->IsEnd(); };
    if (!current_ || (current_->IsEnd() && !back) || last(current_)) return nullptr;
    for (const DatumNode* n = back ? current_->prev : current_->next;; n = back ? n->prev : n->next)
        if (n->IsCard() || last(n)) return n;
}

void LibraryTree::Select(const DatumNode* node) {
    if (node && node->item) {
        view_->setCurrentItem(node->item);
        view_->scrollToItem(node->item);
        return;
    }
    view_->clearSelection();
    view_->setCurrentItem(nullptr);
}

void LibraryTree::SetFounddate(const DatumNode* node, const std::string& stamp) {
    if (node) Own(node)->founddate = stamp;
}

std::string LibraryTree::FolderOf(const QTreeWidgetItem* classItem) const {
    std::string path;
    for (const QTreeWidgetItem* i = classItem; i; i = i->parent())
        path.insert(0, FindByItem(i)->label + "\\");
    return root_ + path;
}

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
    if (!isClass) return;

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
    if (currentGone) current_ = neighbour;
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
