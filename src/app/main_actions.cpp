// The tree's actions on cards and classes: 新建, 删除 to the trash and its take-back, 复制为新资料卡,
// 在文件夹中显示, 复制路径. Each asks what it must before it touches the form or the disk, and the tree shows
// the result at once instead of when the watch reports it.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QTreeWidget>

#include "app/card_move.h"
#include "app/main_dlg.h"
#include "app/undo_list.h"
#include "platform/codec.h"
#include "platform/path.h"
#include "platform/services.h"
#include "platform/text.h"
#include "platform/trash.h"
#include "search/indexer.h"

using plat::Gbk;

namespace {

void ShowError(QWidget* parent, const std::string& text) {
    plat::Svc().MessageBox(parent, text, Gbk("ERROR"), plat::MB_OK | plat::MB_ICONERROR);
}

// The title the card file holds, else the name the tree shows for it.
std::string TitleOf(const DatumNode& node) {
    std::string title = CardTitle(node.path);
    return title.empty() ? node.label : title;
}

std::string WithoutFinalSeparator(std::string path) {
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

}  // namespace

const DatumNode* CMainDlg::SelectedEntry() const {
    const QList<QTreeWidgetItem*> selected = m_tree->selectedItems();
    const DatumNode* node = m_libTree->FindByItem(selected.isEmpty() ? nullptr : selected.first());
    return node && !node->IsEnd() ? node : nullptr;
}

void CMainDlg::OnNewCard() {
    if (!HasLibrary() || m_ending) return;
    // The selected row's class, else the open card's; taken before the question, whose save may rescan.
    QString klass = m_cbClass->currentText();
    const DatumNode* classEntry = nullptr;
    if (const DatumNode* node = SelectedEntry()) {
        const std::string folder = m_libTree->FolderOfEntry(node);
        klass = plat::ToQ(WithoutFinalSeparator(folder.substr(m_libRoot.size())));
        classEntry = m_libTree->FindClass(folder);
    }
    const std::string classFolder = classEntry ? m_libTree->FolderOfEntry(classEntry) : std::string();
    if (ConfirmLeaveForm() == Leave::Stay) return;
    m_form.Clear();
    CardForm::ShowText(m_cbClass, klass);
    m_cbSource->setCurrentIndex(m_cbSource->count() > 0 ? 0 : -1);
    m_cbStyle->setCurrentIndex(m_cbStyle->count() > 0 ? 0 : -1);
    // The name follows the title as it is typed; nothing is on disk until Save.
    m_edFile->setText(plat::ToQ(m_libRoot) + klass + (klass.isEmpty() ? "" : "\\") + QStringLiteral(".datum.xml"));
    m_form.Loaded(std::string(), std::string(), CurrentStamp(), plat::FileStamp{});
    m_libTree->MakeCurrent(classFolder.empty() ? m_libTree->End() : m_libTree->FindClass(classFolder));
    m_edTitle->setFocus();
}

void CMainDlg::OnDeleteEntry() {
    const DatumNode* node = SelectedEntry();
    if (!HasLibrary() || m_ending || !node) return;
    const bool isClass = node->IsClass();
    const std::string path = isClass ? WithoutFinalSeparator(m_libTree->FolderOfEntry(node)) : node->path;
    const std::string label =
        isClass ? Gbk("类别“") + path.substr(m_libRoot.size()) + Gbk("”和其中的 ") +
                      plat::FormatInt(m_libTree->CardsBelow(node)) + Gbk(" 则资料卡")
                : Gbk("资料卡“") + TitleOf(*node) + Gbk("”");
    if (plat::Svc().MessageBox(this,
                               Gbk("你要把") + label + Gbk("移到回收站吗？\n需要时可以撤销删除（Ctrl+Z），或从回收站恢复。"),
                               Gbk("选择"), plat::MB_YESNO | plat::MB_ICONQUESTION) != plat::IDYES)
        return;
    // The form's card goes too: its unsaved edits are asked about first, and the form is emptied after.
    const std::string& loaded = m_form.LoadedPath();
    const bool holdsForm = !loaded.empty() && (isClass ? loaded.starts_with(path + "\\") : loaded == path);
    if (holdsForm && ConfirmLeaveForm() == Leave::Stay) return;
    plat::TrashedItem trashed;
    const plat::Discarded done = plat::Discard(this, path, label, &trashed);
    if (done != plat::Discarded::Trashed && done != plat::Discarded::Deleted) return;
    if (done == plat::Discarded::Trashed) m_undo->Push({UndoList::Kind::Delete, path, {}, trashed, label});
    if (holdsForm) m_form.Clear();
    std::vector<std::string> touched;
    m_libTree->ApplyPath(path, touched);
    m_searchIndex->Touch(path);
    for (const std::string& t : touched) m_searchIndex->Touch(t);
    m_libTree->Select(m_libTree->Current());
}

void CMainDlg::OnUndo() {
    if (!HasLibrary() || m_ending || m_undo->Empty()) return;
    UndoList::Step step;
    std::string error;
    if (!m_undo->Undo(step, error)) {
        ShowError(this, error);
        return;
    }
    std::vector<std::string> touched;
    m_libTree->ApplyPath(step.path, touched);
    if (!step.now.empty()) m_libTree->ApplyPath(step.now, touched);
    m_searchIndex->Touch(step.path);
    for (const std::string& t : touched) m_searchIndex->Touch(t);
    const DatumNode* back = m_libTree->FindByPath(step.path);
    if (!back) back = m_libTree->FindClass(step.path);
    // The form that showed the renamed card follows it back, unless it holds edits (its Save then asks).
    if (back && !step.now.empty() && m_form.LoadedPath() == step.now && !m_form.HasEdits()) {
        m_libTree->MakeCurrent(back);
        if (!ReadIntoForm(step.path)) m_form.Clear();
    } else if (back) {
        m_libTree->Select(back);
    }
}

void CMainDlg::OnDuplicate() {
    const DatumNode* node = SelectedEntry();
    if (!HasLibrary() || m_ending || !node || !node->IsCard()) return;
    const std::string path = node->path;
    if (ConfirmLeaveForm() == Leave::Stay) {
        m_libTree->Select(m_libTree->Current());
        return;
    }
    if (!ReadIntoForm(path)) {
        m_form.Clear();
        ShowError(this, m_lastError);
        return;
    }
    // A card of its own from here on: no file yet, its own creation stamp, and a title that tells it apart.
    m_form.Loaded(std::string(), m_form.Href(), CurrentStamp(), plat::FileStamp{});
    m_edTitle->setText(m_edTitle->text() + QStringLiteral(" (副本)"));
    OnNameFieldKillFocus();
    m_edTitle->setFocus();
}

void CMainDlg::OnShowInFolder() {
    if (const DatumNode* node = SelectedEntry())
        plat::Svc().ShowInFolder(node->IsClass() ? WithoutFinalSeparator(m_libTree->FolderOfEntry(node)) : node->path);
}

void CMainDlg::OnCopyPath() {
    const DatumNode* node = SelectedEntry();
    if (!node) return;
    const std::string path = node->IsClass() ? WithoutFinalSeparator(m_libTree->FolderOfEntry(node)) : node->path;
    const QString native = QString::fromStdString(plat::ToNative(path));
    QApplication::clipboard()->setText(QFileInfo(native).absoluteFilePath());
}
