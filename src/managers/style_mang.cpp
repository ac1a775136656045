// The style manager: the stylesheet folder is the list, and every change is made on disk at once.
#include "managers/style_mang.h"

#include <QTreeWidget>
#include <vector>

#include "library/registry.h"
#include "library/registry_styles.h"
#include "ui/mang_list.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/services.h"
#include "platform/trash.h"
#include "platform/text.h"
#include "store/copy_tree.h"
#include "ui/palette.h"

using plat::Gbk;

namespace {

enum : int { kList = 1020, kAdd = 3, kDelete = 4 };

// The file name without its extension (from its last '.'), the way the name of an added sheet is shown.
std::string StemOf(const std::string& fileName) {
    std::size_t dot = plat::npos;
    for (std::size_t i = 0; i < fileName.size(); i += plat::CharLen(fileName, i)) {
        if (fileName[i] == '.') dot = i;
    }
    return dot == plat::npos ? fileName : fileName.substr(0, dot);
}

}  // namespace

CStyleMang::CStyleMang(QWidget* parent) : CDialog(134, parent) {
    OnClicked(kAdd, [this] { OnAdd(); });
    OnClicked(kDelete, [this] { OnDelete(); });
}

bool CStyleMang::OnInitDialog() {
    SetBackground(ui::kDialogBackground);
    mang::SetupList(ItemAs<QTreeWidget>(kList), {{"", 150}}, false);
    m_szProgDir = plat::GetCurrentDir();
    if (!ScanStyleFolder()) {
        mang::ShowError(this, m_strError);
        EndDialog(plat::IDCANCEL);
        return true;
    }
    FillList();
    return true;
}

bool CStyleMang::ScanStyleFolder() {
    m_styles.clear();
    std::vector<StyleFile> found;
    if (!ListStyleFolder(m_szProgDir, found)) {
        m_strError = Gbk("目录 xmlstyle\\datumstyle\\ 不存在");
        return false;
    }
    for (StyleFile& f : found) m_styles.push_back({std::move(f.name), std::move(f.path)});
    return true;
}

void CStyleMang::FillList() {
    QTreeWidget* list = ItemAs<QTreeWidget>(kList);
    if (!list) return;
    list->clear();
    for (const StyleEntry& s : m_styles) {
        auto* item = new QTreeWidgetItem(list);
        item->setText(0, plat::ToQ(s.name));
    }
}

void CStyleMang::OnAdd() {
    const std::string chosen = AskFileName(this, true, ".xsl", "", "XSLT File|*.xsl|");
    // The stylesheet folder is found relative to the program directory, which the file dialog may move.
    plat::SetCurrentDir(m_szProgDir);
    if (chosen.empty()) return;

    const std::size_t sep = mang::LastSeparator(chosen);
    const std::string fileName = sep == plat::npos ? chosen : chosen.substr(sep + 1);
    const std::string dest = m_szProgDir + "\\" + layout::kStyleDir + fileName;
    // Never over an existing sheet: a name already taken (or the very file chosen from the folder) is
    // refused.
    if (!plat::CopyFile(chosen, dest, true)) {
        mang::ShowError(this, Gbk("拷贝文件 ") + chosen + Gbk("到 ") + dest + Gbk(" 时出错了"));
        return;
    }
    m_styles.push_back({StemOf(fileName), dest});
    FillList();
}

void CStyleMang::OnDelete() {
    const int i = mang::SelectionMark(ItemAs<QTreeWidget>(kList));
    if (i < 0 || i >= static_cast<int>(m_styles.size())) return;
    // To the trash, from where it can be brought back; a file that stays (the user kept it, or it could not
    // be moved) stays in the list. One already gone leaves the list with nothing to ask.
    if (plat::PathExists(m_styles[i].path)) {
        const plat::Discarded done = plat::Discard(this, m_styles[i].path, Gbk("样式表 ") + m_styles[i].path + " ");
        if (done != plat::Discarded::Trashed && done != plat::Discarded::Deleted) return;
    }
    m_styles.erase(m_styles.begin() + i);
    FillList();
}
