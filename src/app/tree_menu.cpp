// The tree's actions as a user finds them: in the context menu of a row, and on keys. Delete, Ctrl+Z and
// (later) F2 act where the tree has the focus, so that the text fields keep their own; Ctrl+N works anywhere
// in the window. Each action is one QAction, the same object in the menu and behind its key.
#include <QAbstractItemDelegate>
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>

#include "app/main_dlg.h"
#include "app/undo_list.h"

namespace {

QAction* NewAction(QWidget* owner, const char* name, const char* text, const QKeySequence& key,
                   Qt::ShortcutContext context) {
    auto* action = new QAction(QString::fromUtf8(text), owner);
    action->setObjectName(QString::fromUtf8(name));
    action->setShortcut(key);
    action->setShortcutContext(context);
    owner->addAction(action);
    return action;
}

}  // namespace

void CMainDlg::WireTreeActions() {
    m_undo = std::make_unique<UndoList>();
    struct Row {
        const char* name;
        const char* text;
        QKeySequence key;
        bool inTree;
        void (CMainDlg::*run)();
    } const rows[] = {
        {"new", "新建", Qt::CTRL | Qt::Key_N, false, &CMainDlg::OnNewCard},
        {"delete", "删除", Qt::Key_Delete, true, &CMainDlg::OnDeleteEntry},
        {"undo", "撤销删除", Qt::CTRL | Qt::Key_Z, true, &CMainDlg::OnUndo},
        {"rename", "重命名", Qt::Key_F2, true, &CMainDlg::OnRenameEntry},
        {"duplicate", "复制为新资料卡", {}, true, &CMainDlg::OnDuplicate},
        {"reveal", "在文件夹中显示", {}, true, &CMainDlg::OnShowInFolder},
        {"copyPath", "复制路径", {}, true, &CMainDlg::OnCopyPath},
    };
    for (const Row& r : rows) {
        QWidget* owner = r.inTree ? static_cast<QWidget*>(m_tree) : this;
        QAction* action = NewAction(owner, r.name, r.text, r.key,
                                    r.inTree ? Qt::WidgetWithChildrenShortcut : Qt::WindowShortcut);
        const auto run = r.run;
        connect(action, &QAction::triggered, this, [this, run] { (this->*run)(); });
    }
    // The row edited in place (F2) ends in the delegate: committed by Enter or by leaving it, or cancelled.
    connect(m_tree->itemDelegate(), &QAbstractItemDelegate::commitData, this, [this](QWidget* editor) {
        if (auto* line = qobject_cast<QLineEdit*>(editor)) m_renameTyped = line->text();
    });
    connect(m_tree->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
            [this](QWidget*, QAbstractItemDelegate::EndEditHint hint) {
                const QString title = hint == QAbstractItemDelegate::RevertModelCache ? QString() : m_renameTyped;
                m_renameTyped.clear();
                // After the editor is gone: the rename changes the row it stood on.
                QTimer::singleShot(0, this, [this, title] { FinishRename(title); });
            });
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_tree, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) { OnTreeMenu(at); });
    // A new card's file name follows its title as it is typed: a save straight from the title field must
    // not write a card named ".datum.xml".
    connect(m_edTitle, &QLineEdit::textEdited, this, [this] {
        if (m_form.LoadedPath().empty()) OnNameFieldKillFocus();
    });
}

void CMainDlg::OnTreeMenu(const QPoint& at) {
    if (!HasLibrary()) return;
    if (QTreeWidgetItem* item = m_tree->itemAt(at)) m_tree->setCurrentItem(item);
    const DatumNode* node = SelectedEntry();
    const bool card = node && node->IsCard(), entry = card || (node && node->IsClass());
    QMenu menu(this);
    for (QAction* action : actions() + m_tree->actions()) {
        const QString name = action->objectName();
        if (name == QLatin1String("delete") || name == QLatin1String("reveal") || name == QLatin1String("copyPath"))
            action->setEnabled(entry);
        else if (name == QLatin1String("duplicate") || name == QLatin1String("rename"))
            action->setEnabled(card);
        else if (name == QLatin1String("undo")) {
            action->setEnabled(!m_undo->Empty());
            const bool move = !m_undo->Empty() && m_undo->Last()->kind == UndoList::Kind::Move;
            action->setText(QString::fromUtf8(move ? "撤销重命名" : "撤销删除"));
        }
        else if (name != QLatin1String("new"))
            continue;
        if (name == QLatin1String("delete") || name == QLatin1String("rename")) menu.addSeparator();
        menu.addAction(action);
    }
    // Files are brought in onto a class, or onto the empty part of the tree: the library's own level.
    QAction* import = nullptr;
    QTreeWidgetItem* row = m_tree->itemAt(at);
    if (!row || (node && node->IsClass())) {
        menu.addSeparator();
        import = menu.addAction(QString::fromUtf8("导入..."));
    }
    QAction* chosen = menu.exec(m_tree->viewport()->mapToGlobal(at));
    if (chosen && chosen == import) OnImportHere(row);
    for (QAction* action : m_tree->actions()) action->setEnabled(true);  // the keys check for themselves
}
