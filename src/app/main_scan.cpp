// The library scan: one recursive walk of the library folder builds the tree and the entry list together.
#include <QTreeWidget>
#include <memory>

#include "app/main_dlg.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "search/indexer.h"
#include "ui/show_msg_dlg.h"

using plat::Gbk;

namespace {

// A tree item that shows its entry's label, turned into display text only when the view asks, which it
// does for the rows on screen: a library of many thousand cards is built without a text conversion, a
// stored display value or a second copy of the label per item. The entry outlives its item: the entry
// list is freed only after the tree is cleared (FreeEntries).
class EntryItem : public QTreeWidgetItem {
public:
    explicit EntryItem(const std::string& label) : label_(label) {}
    QVariant data(int column, int role) const override {
        QVariant v = QTreeWidgetItem::data(column, role);
        if (column == 0 && (role == Qt::DisplayRole || role == Qt::EditRole) && !v.isValid())
            return plat::ToQ(label_);
        return v;
    }

private:
    const std::string& label_;
};

bool StartsWith(const std::string& s, std::string_view prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// A folder the library's own layout reserves ("_ _SETS_ _", "_ _VIEW_ _") or a hidden one.
bool IsServiceName(const std::string& name) { return StartsWith(name, layout::kServicePrefix) || StartsWith(name, "."); }

}  // namespace

DatumNode& DatumNodeStore::Add() {
    if (used_ == blocks_.size() * kBlock) blocks_.push_back(std::make_unique<DatumNode[]>(kBlock));
    DatumNode& n = blocks_[used_ / kBlock][used_ % kBlock];
    ++used_;
    return n;
}

void DatumNodeStore::Clear() {
    blocks_.clear();
    used_ = 0;
}

int CMainDlg::ScanLibrary() {
    DatumNode& end = m_nodes.Add();
    // assign(1, c) rather than = "c": GCC 12 warns falsely about the latter here at -O3.
    end.path.assign(1, '?');
    m_first = m_current = &end;
    m_scanParent = nullptr;
    m_scanDepth = 0;

    const bool updates = m_tree->updatesEnabled();
    m_tree->setUpdatesEnabled(false);
    int ok = ScanFolder(m_libRoot);
    if (ok) m_searchIndex->SetLibrary(m_libRoot);
    m_tree->setUpdatesEnabled(updates);
    return ok;
}

int CMainDlg::ScanFolder(const std::string& folder) {
    // One listing per depth, kept from folder to folder and from scan to scan: its names reuse their
    // buffers, so the walk frees and allocates nothing per entry for them.
    if (m_scanDepth == m_scanLevels.size()) m_scanLevels.emplace_back();
    std::vector<plat::DirEntry>& entries = m_scanLevels[m_scanDepth].entries;
    // A folder's items are built detached and handed to their parent in one insertion (the library's
    // own to the tree, once everything below them is built): no per-item model notification or repaint.
    QList<QTreeWidgetItem*>& items = m_scanLevels[m_scanDepth].items;
    items.clear();
    if (!plat::ListDir(folder, entries)) {
        m_lastError = Gbk("目录 ") + folder + Gbk(" 不存在");
        return 0;
    }
    for (const plat::DirEntry& e : entries) {
        if (plat::IsPlainDirectory(e.attrs) && !IsServiceName(e.name)) {
            DatumNode* node = m_current;
            node->path.assign(1, 'd');
            node->label = e.name;
            node->item = new EntryItem(node->label);
            items.push_back(node->item);
            AppendEndEntry();

            QTreeWidgetItem* parent = m_scanParent;
            m_scanParent = node->item;
            ++m_scanDepth;
            ScanFolder(folder + e.name + "\\");  // a sub-folder that cannot be read is simply empty
            --m_scanDepth;
            m_scanParent = parent;
            continue;
        }
        std::size_t mark = plat::Find(e.name, layout::kCardMark);
        if (mark == plat::npos) continue;
        DatumNode* node = m_current;
        node->label.assign(e.name, 0, mark);
        node->item = new EntryItem(node->label);
        items.push_back(node->item);
        node->path.reserve(folder.size() + e.name.size());
        node->path.assign(folder).append(e.name);
        AppendEndEntry();
    }
    if (m_scanParent)
        m_scanParent->addChildren(items);
    else
        m_tree->addTopLevelItems(items);
    return 1;
}

void CMainDlg::AppendEndEntry() {
    DatumNode& fresh = m_nodes.Add();
    fresh.path.assign(1, '?');
    fresh.prev = m_current;
    m_current->next = &fresh;
    m_current = &fresh;
}

int CMainDlg::RescanLibrary() {
    ShowStrip();
    FreeEntries();
    if (ScanLibrary()) {
        m_msg->hide();
        return 1;
    }
    FailAndClose(Gbk("扫描资料库中的文件出现错误!!"), Gbk("扫描资料库中的文件出现错误:"));
    return 0;
}

void CMainDlg::FreeEntries() {
    // The items show their entries' labels: they go first.
    if (m_tree) {
        const bool updates = m_tree->updatesEnabled();
        m_tree->setUpdatesEnabled(false);
        m_tree->clear();
        m_tree->setUpdatesEnabled(updates);
    }
    m_nodes.Clear();
    m_first = m_current = nullptr;
}

DatumNode* CMainDlg::FindNodeByItem(QTreeWidgetItem* item) const {
    if (!item) return nullptr;
    for (DatumNode* n = m_first; n && !n->IsEnd(); n = n->next)
        if (n->item == item) return n;
    return nullptr;
}

void CMainDlg::SelectEntryItem(DatumNode* node) {
    if (node && node->item) {
        m_tree->setCurrentItem(node->item);
        m_tree->scrollToItem(node->item);
        return;
    }
    m_tree->clearSelection();
    m_tree->setCurrentItem(nullptr);
}
