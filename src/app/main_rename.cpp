// 重命名 (F2): the card's row edited in place. The title typed becomes the card's title and, by the rules of
// Save, its file name: one rewrite of the card and one rename, never over another file, and Ctrl+Z takes both
// back.
#include <QComboBox>
#include <QLineEdit>
#include <QTreeWidget>
#include <utility>

#include "app/card_move.h"
#include "app/main_dlg.h"
#include "app/save_names.h"
#include "app/undo_list.h"
#include "platform/codec.h"
#include "platform/path.h"
#include "platform/services.h"
#include "platform/text.h"
#include "search/indexer.h"

using plat::Gbk;

void CMainDlg::OnRenameEntry() {
    const DatumNode* node = SelectedEntry();
    if (!HasLibrary() || m_ending || !node || !node->IsCard() || !m_renaming.empty()) return;
    const std::string title = CardTitle(node->path);
    m_renaming = node->path;
    node->item->setFlags(node->item->flags() | Qt::ItemIsEditable);
    node->item->setText(0, plat::ToQ(title.empty() ? node->label : title));
    m_tree->editItem(node->item, 0);
}

void CMainDlg::FinishRename(const QString& typed) {
    const std::string path = std::exchange(m_renaming, {});
    const DatumNode* node = path.empty() ? nullptr : m_libTree->FindByPath(path);
    if (!node) return;
    node->item->setText(0, plat::ToQ(node->label));
    node->item->setFlags(node->item->flags() & ~Qt::ItemIsEditable);
    const std::string before = CardTitle(path);
    std::string title, namePart;
    if (typed.isEmpty() || typed == plat::ToQ(before)) return;
    if (!plat::FromQ(typed, title) || !plat::FromQ(savenames::FileNamePart(typed), namePart)) {
        plat::Svc().UnicodeMessageBox(this, QStringLiteral("标题“") + typed + QStringLiteral("”中有无法保存为 GB2312 的字符，资料卡没有改名。"),
                                      Gbk("ERROR"), plat::MB_OK | plat::MB_ICONERROR);
        return;
    }
    const std::string_view file = plat::LastComponent(path);
    const std::size_t mark = plat::Find(file, ".datum.");
    const std::string to = path.substr(0, path.size() - file.size()) + namePart +
                           std::string(mark == plat::npos ? std::string_view(".datum.xml") : file.substr(mark));
    // The form's card: its edits are asked about first, and it shows the renamed card after.
    const bool holdsForm = m_form.LoadedPath() == path;
    if (holdsForm && ConfirmLeaveForm() == Leave::Stay) return;
    std::string error, klass;
    if (!RelocateCard(path, to, [&](DatumCard& c) { klass = c.klass, c.title = title; }, error)) {
        plat::Svc().MessageBox(this, Gbk("资料卡没有改名：") + error, Gbk("ERROR"), plat::MB_OK | plat::MB_ICONERROR);
        return;
    }
    UndoList::Step step{UndoList::Kind::Move, path, to, {}, Gbk("资料卡“") + before + Gbk("”"), true, before, klass};
    m_undo->Push(std::move(step));
    std::vector<std::string> touched;
    m_libTree->ApplyPath(path, touched);
    m_libTree->ApplyPath(to, touched);
    m_searchIndex->Touch(path);
    m_searchIndex->Touch(to);
    const DatumNode* renamed = m_libTree->FindByPath(to);
    if (holdsForm && renamed) {
        m_libTree->MakeCurrent(renamed);
        if (!ReadIntoForm(to)) m_form.Clear();
    } else if (renamed) {
        m_libTree->Select(renamed);
    }
}
