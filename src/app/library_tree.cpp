#include "app/library_tree.h"

#include <QTreeWidget>

#include "library/registry.h"
#include "platform/codec.h"
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
        if (column == 0 && (role == Qt::DisplayRole || role == Qt::EditRole) && !v.isValid())
            return plat::ToQ(node_->label);
        return v;
    }

private:
    const DatumNode* node_;
};

bool StartsWith(const std::string& s, std::string_view prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// A folder the library's own layout reserves ("_ _SETS_ _", "_ _VIEW_ _") or a hidden one.
bool IsServiceName(const std::string& name) {
    return StartsWith(name, layout::kServicePrefix) || StartsWith(name, ".");
}

}  // namespace

DatumNode& LibraryTree::NodeStore::Add() {
    if (used_ == blocks_.size() * kBlock) blocks_.push_back(std::make_unique<DatumNode[]>(kBlock));
    DatumNode& n = blocks_[used_ / kBlock][used_ % kBlock];
    ++used_;
    return n;
}

void LibraryTree::NodeStore::Clear() {
    blocks_.clear();
    used_ = 0;
}

LibraryTree::LibraryTree(QTreeWidget* view) : view_(view) {}

LibraryTree::~LibraryTree() { Free(); }

bool LibraryTree::Scan(const std::string& root, std::string& error) {
    Free();
    DatumNode& end = nodes_.Add();
    // assign(1, c) rather than = "c": GCC 12 warns falsely about the latter here at -O3.
    end.path.assign(1, '?');
    first_ = current_ = tail_ = &end;
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
    for (const plat::DirEntry& e : entries) {
        if (plat::IsPlainDirectory(e.attrs) && !IsServiceName(e.name)) {
            DatumNode* node = tail_;
            node->path.assign(1, 'd');
            node->label = e.name;
            node->item = new EntryItem(node);
            items.push_back(node->item);
            AppendEndEntry();

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
        DatumNode* node = tail_;
        node->label.assign(e.name, 0, mark);
        node->item = new EntryItem(node);
        items.push_back(node->item);
        node->path.reserve(folder.size() + e.name.size());
        node->path.assign(folder).append(e.name);
        AppendEndEntry();
    }
    if (scanParent_)
        scanParent_->addChildren(items);
    else
        view_->addTopLevelItems(items);
    return true;
}

void LibraryTree::AppendEndEntry() {
    DatumNode& fresh = nodes_.Add();
    fresh.path.assign(1, '?');
    fresh.prev = tail_;
    tail_->next = &fresh;
    tail_ = current_ = &fresh;
}

void LibraryTree::Free() {
    const bool updates = view_->updatesEnabled();
    view_->setUpdatesEnabled(false);
    view_->clear();
    view_->setUpdatesEnabled(updates);
    nodes_.Clear();
    first_ = current_ = tail_ = nullptr;
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
