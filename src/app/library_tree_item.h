// What the two halves of the library tree share: the tree item that shows an entry, and the names and order
// of the entries of one folder as a scan gives them.
#pragma once

#include <QBrush>
#include <QColor>
#include <QTreeWidgetItem>
#include <string_view>

#include "app/library_tree.h"
#include "platform/codec.h"
#include "platform/path.h"
#include "platform/text.h"

namespace tree_detail {

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
            return conflict ? plat::ToQ(node_->label + plat::Gbk(" [冲突]")) : plat::ToQ(node_->label);
        if (role == Qt::ForegroundRole && conflict) return QBrush(QColor(160, 0, 0));
        return v;
    }

private:
    const DatumNode* node_;
};

// A folder the library's own layout reserves ("_ _SETS_ _", "_ _VIEW_ _") or a hidden one.
bool IsServiceName(std::string_view name);

// The order of the entries of one folder: the folder listing's, except that a conflict copy follows the
// name it was copied from (and the other copies of that name).
int CompareEntries(std::string_view a, std::string_view b);

}  // namespace tree_detail
