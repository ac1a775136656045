// The library manager: an in-memory copy of the registry, written back only by OK. Directories it creates,
// fills from the template or removes change on disk at once.
#include "library/datum_lib_mang.h"

#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <vector>

#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/services.h"
#include "platform/trash.h"
#include "store/copy_tree.h"
#include "ui/mang_list.h"
#include "ui/palette.h"

using plat::Gbk;

namespace {

enum : int { kList = 1020, kNew = 3, kAdd = 9, kEdit = 6, kDelete = 4, kSetDefault = 5, kBackup = 7, kRestore = 8 };

void ShowError(QWidget* owner, const std::string& text) {
    plat::Svc().MessageBox(owner, text, std::string("ERROR"), plat::MB_OK | plat::MB_ICONERROR);
}

bool AskYesNo(QWidget* owner, const std::string& text) {
    return plat::Svc().MessageBox(owner, text, std::string("QUESTION"),
                                  plat::MB_YESNO | plat::MB_ICONQUESTION) == plat::IDYES;
}

}  // namespace

CDatumLibMang::CDatumLibMang(QWidget* parent) : CDialog(130, parent) {
    OnClicked(kNew, [this] { OnNew(); });
    OnClicked(kAdd, [this] { OnAdd(); });
    OnClicked(kEdit, [this] { OnEdit(); });
    OnClicked(kDelete, [this] { OnDelete(); });
    OnClicked(kSetDefault, [this] { OnSetDefault(); });
    OnClicked(kBackup, [this] { OnBackup(); });
    OnClicked(kRestore, [this] { OnRestore(); });
    OnClicked(12, [this] { OnExport(true); });
    OnClicked(13, [this] { OnExport(false); });
    OnClicked(14, [this] { OnImport(); });
    if (auto* list = ItemAs<QTreeWidget>(kList))
        connect(list, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
}

bool CDatumLibMang::OnInitDialog() {
    SetBackground(ui::kDialogBackground);
    mang::SetupList(ItemAs<QTreeWidget>(kList), {{"资料库名称", 80}, {"保存路径", 167}}, true);
    UpdateButtons();
    // Without the registry the dialog still opens, empty: the user may cancel or fix the file and retry OK.
    if (!LoadList()) {
        ShowError(this, m_strError);
        return true;
    }
    FillList();
    return true;
}

bool CDatumLibMang::LoadList() {
    if (!ReadRegistry(m_reg, m_strError)) return false;
    m_known.assign(m_reg.entries.begin(), m_reg.entries.begin() + m_reg.count);
    return true;
}

bool CDatumLibMang::MergeRegistryOnDisk() {
    LibraryRegistry disk;
    if (!ReadRegistry(disk, m_strError)) return false;
    auto same = [](const DatumLibEntry& a, const DatumLibEntry& b) {
        return a.name == b.name && a.path == b.path;
    };
    for (int i = 0; i < disk.count; ++i) {
        const DatumLibEntry& d = disk.entries[i];
        if (std::any_of(m_known.begin(), m_known.end(), [&](const DatumLibEntry& k) { return same(k, d); }))
            continue;
        const auto listed = m_reg.entries.begin() + m_reg.count;
        if (std::none_of(m_reg.entries.begin(), listed,
                         [&](const DatumLibEntry& e) { return e.path == d.path; })) {
            if (m_reg.count >= kMaxLibraries) {
                FillList();
                m_strError = Gbk("别的程序刚登记了资料库 ") + d.name +
                             Gbk("，列表已满(最多 50 个)。请删除一些资料库后再确定。");
                return false;
            }
            m_reg.entries[m_reg.count++] = d;
        }
        m_known.push_back(d);
    }
    FillList();
    return true;
}

bool CDatumLibMang::SaveList() { return WriteRegistry(m_reg, m_strError); }

void CDatumLibMang::FillList() {
    QTreeWidget* list = ItemAs<QTreeWidget>(kList);
    if (!list) return;
    list->clear();
    for (int i = 0; i < m_reg.count; ++i) {
        const DatumLibEntry& e = m_reg.entries[i];
        auto* item = new QTreeWidgetItem(list);
        item->setText(0, plat::ToQ(i == m_reg.use ? e.name + " **" : e.name));
        item->setText(1, plat::ToQ(e.path));
    }
    UpdateButtons();
}

void CDatumLibMang::OnNew(const std::string& presetPath) {
    if (m_reg.count >= kMaxLibraries) {
        ShowError(this, Gbk("资料库列表已满(最多 50 个)，不能再新建资料库!"));
        return;
    }
    CDatumLibInfo info(this);
    info.m_strPath = presetPath;
    if (info.DoModal() != plat::IDOK) return;
    const std::string name = info.m_strName;
    const std::string path = info.m_strPath;  // ends with a separator: the form sees to it

    std::vector<plat::DirEntry> entries;
    if (!plat::ListDir(path, entries)) {
        if (!AskYesNo(this, Gbk("目录 ") + path + Gbk(" 不存在,现在创建它吗?"))) return;
        if (!plat::CreateDir(path)) {
            ShowError(this, Gbk("创建目录 ") + path + Gbk(" 失败!"));
            return;
        }
    } else if (plat::FolderHoldsVisibleNames(path)) {
        // Only names beginning with '.' may be there; a name GBK cannot hold is a file all the same.
        ShowError(this, Gbk("目录 ") + path + Gbk(" 非空!!"));
        return;
    }

    if (!CopyDirectoryTree(layout::kTemplate, path)) {
        ShowError(this, Gbk("拷贝系统文件时出错!!"));
        return;
    }
    m_reg.entries[m_reg.count] = {name, path.substr(0, path.size() - 1)};
    ++m_reg.count;
    FillList();
}

void CDatumLibMang::OnEdit() {
    const int i = mang::SelectionMark(ItemAs<QTreeWidget>(kList));
    if (i < 0 || i >= m_reg.count) return;
    CDatumLibInfo info(this);
    info.m_strName = m_reg.entries[i].name;
    info.m_strPath = LibraryRoot(m_reg.entries[i]);
    info.m_bNameOnly = true;
    if (info.DoModal() != plat::IDOK) return;
    m_reg.entries[i].name = info.m_strName;
    FillList();
}

bool CDatumLibMang::HoldsOthers(const std::string& path) const {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path folder = fs::weakly_canonical(plat::ToNative(path), ec);
    if (ec || folder.empty()) return true;
    auto inside = [&folder](const std::string& other) {
        std::error_code ec2;
        const fs::path p = fs::weakly_canonical(plat::ToNative(other), ec2);
        return !ec2 && std::mismatch(folder.begin(), folder.end(), p.begin(), p.end()).first == folder.end();
    };
    if (inside(".")) return true;
    for (int k = 0; k < m_reg.count; ++k)
        if (inside(m_reg.entries[k].path)) return true;
    return false;
}

void CDatumLibMang::OnDelete() {
    const int i = mang::SelectionMark(ItemAs<QTreeWidget>(kList));
    if (i < 0 || i >= m_reg.count) return;

    // The default stays on its library: removing a row above it shifts it up with its row.
    if (i == m_reg.use)
        m_reg.use = 0;
    else if (i < m_reg.use)
        --m_reg.use;

    const std::string path = m_reg.entries[i].path;
    for (int k = i; k + 1 < m_reg.count; ++k) m_reg.entries[k] = m_reg.entries[k + 1];
    m_reg.entries[m_reg.count - 1] = {};
    --m_reg.count;
    if (m_reg.count == 0) m_reg.use = 0;

    if (AskYesNo(this, Gbk("资料库已经从列表中删除，你要把该目录移到回收站吗？需要时可以从回收站恢复。"))) {
        // The folder goes to the trash whole; never one that holds the program's own folder or a library
        // still registered, which would go with it.
        if (HoldsOthers(path)) {
            plat::Svc().MessageBox(this, Gbk("目录 ") + path + Gbk(" 中还有程序目录或其他资料库，不能删除!"),
                                   std::string("INFOMATION"), plat::MB_OK | plat::MB_ICONINFORMATION);
        } else if (plat::PathExists(path)) {
            plat::Discard(this, path, Gbk("资料库目录 ") + path + " ");
        }
    }
    FillList();
}

void CDatumLibMang::OnSetDefault() {
    const int i = mang::SelectionMark(ItemAs<QTreeWidget>(kList));
    if (i < 0 || i >= m_reg.count) return;
    m_reg.use = i;
    FillList();
}

void CDatumLibMang::OnOK() {
    if (m_busy) return;  // Enter while a backup or restore runs
    // A registry that cannot be read or rewritten keeps the dialog open, so that no change is lost unseen.
    if (!MergeRegistryOnDisk() || !SaveList()) {
        ShowError(this, m_strError);
        return;
    }
    EndDialog(plat::IDOK);
}
