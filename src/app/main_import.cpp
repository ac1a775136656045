// The tree's 导入: 导入... in its context menu on a class, and .txt / .md files or folders dropped onto a class, become
// cards of that class. The new cards reach the tree through the watch, as any file written elsewhere does.
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTreeWidget>
#include <QUrl>

#include "app/library_tree.h"
#include "app/main_dlg.h"
#include "platform/codec.h"
#include "platform/folder_watch.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/services.h"
#include "ui/export_jobs.h"

using plat::Gbk;

namespace {

// Local files and folders a drag carries (native paths); none for anything else.
std::vector<std::string> LocalFiles(const QMimeData* mime) {
    std::vector<std::string> files;
    if (!mime || !mime->hasUrls()) return files;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
    return files;
}

class TreeDrop : public QObject {
public:
    TreeDrop(QTreeWidget* tree, std::function<bool(QTreeWidgetItem*)> isClass,
             std::function<void(QTreeWidgetItem*, std::vector<std::string>)> drop)
        : QObject(tree), tree_(tree), isClass_(std::move(isClass)), drop_(std::move(drop)) {}

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        const auto type = e->type();
        if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
        auto* d = static_cast<QDropEvent*>(e);
        QTreeWidgetItem* item = tree_->itemAt(d->position().toPoint());
        // Onto a class, or onto the tree's empty part below the items: the library's own level.
        const bool fits = !LocalFiles(d->mimeData()).empty() && (!item || isClass_(item));
        if (!fits) {
            d->ignore();
            return true;
        }
        d->setDropAction(Qt::CopyAction);
        d->accept();
        if (type == QEvent::Drop) drop_(item, LocalFiles(d->mimeData()));
        return true;
    }

private:
    QTreeWidget* tree_;
    std::function<bool(QTreeWidgetItem*)> isClass_;
    std::function<void(QTreeWidgetItem*, std::vector<std::string>)> drop_;
};

}  // namespace

void CMainDlg::WireTreeImport() {
    auto isClass = [this](QTreeWidgetItem* item) {
        const DatumNode* node = m_libTree->FindByItem(item);
        return node && node->IsClass();
    };
    m_tree->setAcceptDrops(true);
    m_tree->viewport()->setAcceptDrops(true);
    m_tree->viewport()->installEventFilter(new TreeDrop(m_tree, isClass, [this](QTreeWidgetItem* item, auto files) {
        ImportIntoClass(item, files);
    }));
}

void CMainDlg::OnImportHere(QTreeWidgetItem* item) {
    const std::string cwd = plat::GetCurrentDir();
    const std::string folder = plat::Svc().BrowseForFolder(this, Gbk("选择要导入的 .txt 和 .md 文件所在的目录"));
    plat::SetCurrentDir(cwd);
    if (!folder.empty()) ImportIntoClass(item, {plat::ToNative(folder)});
}

void CMainDlg::ImportIntoClass(QTreeWidgetItem* item, const std::vector<std::string>& sources) {
    if (!HasLibrary()) return;
    // The class's path from the root: its folder and those of the classes above it.
    std::string klass;
    for (QTreeWidgetItem* at = item; at; at = at->parent()) {
        const DatumNode* node = m_libTree->FindByItem(at);
        if (!node || !node->IsClass()) return;
        klass = node->label + (klass.empty() ? "" : "\\" + klass);
    }
    exportui::Import(this, sources, m_libRoot, klass);
    if (!m_watch) OnRescan();  // nothing watches the library (the system's limit was reached): read it again
}
