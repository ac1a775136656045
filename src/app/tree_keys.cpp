#include "app/tree_keys.h"

#include <QKeyEvent>
#include <QTreeWidget>

namespace {

class EnterFilter : public QObject {
public:
    EnterFilter(QTreeWidget* tree, std::function<void()> open) : QObject(tree), tree_(tree), open_(std::move(open)) {}

    bool eventFilter(QObject* watched, QEvent* e) override {
        if (watched != tree_ || e->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(e);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) || mods != Qt::NoModifier) return false;
        if (QTreeWidgetItem* item = tree_->currentItem()) {
            if (item->childCount() > 0) item->setExpanded(!item->isExpanded());
            open_();
        }
        return true;
    }

private:
    QTreeWidget* tree_;
    std::function<void()> open_;
};

}  // namespace

void OpenOnEnter(QTreeWidget* tree, std::function<void()> open) {
    tree->installEventFilter(new EnterFilter(tree, std::move(open)));
}
