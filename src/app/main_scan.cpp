// The library scan: one recursive walk of the library folder builds the tree and the entry list together.
#include <QTreeWidget>

#include "app/main_dlg.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "ui/show_msg_dlg.h"

using plat::Gbk;

namespace {

// A tree item that keeps its label as the file system's bytes and turns it into display text only when the
// view asks, which it does for the rows on screen: a library of many thousand cards is built without a
// text conversion and a stored display value per item.
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
    std::string label_;
};

bool StartsWith(const std::string& s, std::string_view prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// A folder the library's own layout reserves ("_ _SETS_ _", "_ _VIEW_ _") or a hidden one.
bool IsServiceName(const std::string& name) { return StartsWith(name, layout::kServicePrefix) || StartsWith(name, "."); }

}  // namespace

int CMainDlg::ScanLibrary() {
    DatumNode& end = m_nodes.emplace_back();
    end.path = "?";
    m_first = m_current = &end;
    m_scanParent = nullptr;
    m_pendingTop.clear();

    // Items are built outside the tree and handed to it in one insertion, so a library of many thousand
    // cards costs no per-item model notification or repaint.
    const bool updates = m_tree->updatesEnabled();
    m_tree->setUpdatesEnabled(false);
    int ok = ScanFolder(m_libRoot);
    if (!m_pendingTop.empty()) {
        QList<QTreeWidgetItem*> top(m_pendingTop.begin(), m_pendingTop.end());
        m_tree->addTopLevelItems(top);
        m_pendingTop.clear();
    }
    m_tree->setUpdatesEnabled(updates);
    return ok;
}

int CMainDlg::ScanFolder(const std::string& folder) {
    std::vector<plat::DirEntry> entries;
    if (!plat::ListDir(folder, entries)) {
        m_lastError = Gbk("目录 ") + folder + Gbk(" 不存在");
        return 0;
    }
    for (const plat::DirEntry& e : entries) {
        if (plat::IsPlainDirectory(e.attrs) && !IsServiceName(e.name)) {
            DatumNode* node = m_current;
            node->path = "d";
            node->label = e.name;
            node->item = new EntryItem(e.name);
            AttachItem(node->item);
            AppendEndEntry();

            QTreeWidgetItem* parent = m_scanParent;
            m_scanParent = node->item;
            ScanFolder(folder + e.name + "\\");  // a sub-folder that cannot be read is simply empty
            m_scanParent = parent;
            continue;
        }
        std::size_t mark = plat::Find(e.name, layout::kCardMark);
        if (mark == plat::npos) continue;
        DatumNode* node = m_current;
        node->label = e.name.substr(0, mark);
        node->item = new EntryItem(node->label);
        AttachItem(node->item);
        node->path = folder + e.name;
        AppendEndEntry();
    }
    return 1;
}

void CMainDlg::AttachItem(QTreeWidgetItem* item) {
    if (m_scanParent)
        m_scanParent->addChild(item);
    else
        m_pendingTop.push_back(item);
}

void CMainDlg::AppendEndEntry() {
    DatumNode& fresh = m_nodes.emplace_back();
    fresh.path = "?";
    fresh.prev = m_current;
    m_current->next = &fresh;
    m_current = &fresh;
}

int CMainDlg::RescanLibrary() {
    ShowStrip();
    m_tree->setUpdatesEnabled(false);
    m_tree->clear();
    m_tree->setUpdatesEnabled(true);
    FreeEntries();
    if (ScanLibrary()) {
        m_msg->hide();
        return 1;
    }
    FailAndClose(Gbk("扫描资料库中的文件出现错误!!"), Gbk("扫描资料库中的文件出现错误:"));
    return 0;
}

void CMainDlg::FreeEntries() {
    m_nodes.clear();
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
