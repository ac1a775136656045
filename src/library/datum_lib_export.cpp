// The library manager's 导出网站, 导出 Markdown and 导入, for the selected library.
#include <QTreeWidget>

#include "library/datum_lib_mang.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/services.h"
#include "ui/export_jobs.h"
#include "ui/mang_list.h"

using plat::Gbk;

namespace {
constexpr int kList = 1020;
}  // namespace

void CDatumLibMang::OnExport(bool site) {
    const int i = mang::SelectionMark(ItemAs<QTreeWidget>(kList));
    if (i < 0 || i >= m_reg.count || m_busy) return;
    // The folder dialog may move the current directory, against which the styles are found.
    const std::string cwd = plat::GetCurrentDir();
    const std::string folder =
        plat::Svc().BrowseForFolder(this, Gbk(site ? "选择导出网站的目录" : "选择导出 Markdown 的目录"));
    plat::SetCurrentDir(cwd);
    if (folder.empty()) return;
    exportui::Export(this, site ? exportui::Kind::Site : exportui::Kind::Markdown, LibraryRoot(m_reg.entries[i]),
                     folder);
}

void CDatumLibMang::OnImport() {
    const int i = mang::SelectionMark(ItemAs<QTreeWidget>(kList));
    if (i < 0 || i >= m_reg.count || m_busy) return;
    const std::string cwd = plat::GetCurrentDir();
    const std::string folder = plat::Svc().BrowseForFolder(this, Gbk("选择要导入的 .txt 和 .md 文件所在的目录"));
    plat::SetCurrentDir(cwd);
    if (folder.empty()) return;
    exportui::Import(this, {plat::ToNative(folder)}, LibraryRoot(m_reg.entries[i]), std::string());
}
