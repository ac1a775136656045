#include "app/library_tree.h"

#include <QTreeWidget>
#include <algorithm>

#include "app/library_tree_item.h"
#include "library/registry.h"
#include "platform/codec.h"
#include "platform/folder_watch.h"
#include "platform/path.h"
#include "platform/text.h"

using plat::Gbk;
using tree_detail::CompareEntries;
using tree_detail::EntryItem;
using tree_detail::IsServiceName;

namespace {

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

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

}  // namespace

namespace tree_detail {

bool IsServiceName(std::string_view name) {
    return StartsWith(name, layout::kServicePrefix) || StartsWith(name, ".");
}

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

}  // namespace tree_detail

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
    displaced_.clear();
    displacedTo_ = nullptr;
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

