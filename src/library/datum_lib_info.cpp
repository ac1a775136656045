// The one-library form of the library manager: a name and a folder path that always ends with '\'.
#include <QAbstractButton>
#include <QLineEdit>

#include "library/datum_lib_mang.h"
#include "library/registry_add.h"
#include "ui/mang_list.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/services.h"
#include "ui/palette.h"

namespace {
enum : int { kEditName = 1021, kEditPath = 1022, kBrowse = 1023 };

// Every step of creating a library forms paths by appending to this one, so it must end with a separator.
std::string WithFinalSeparator(std::string path) {
    if (!mang::EndsWithSeparator(path)) path += '\\';
    return path;
}
}  // namespace

CDatumLibInfo::CDatumLibInfo(QWidget* parent) : CDialog(131, parent) {
    OnClicked(kBrowse, [this] { OnBrowse(); });
}

bool CDatumLibInfo::OnInitDialog() {
    SetBackground(ui::kDialogBackground);
    if (auto* name = ItemAs<QLineEdit>(kEditName)) name->setText(plat::ToQ(m_strName));
    if (auto* path = ItemAs<QLineEdit>(kEditPath)) {
        path->setText(plat::ToQ(m_strPath));
        // Only the name is taken back when editing; a path field open to typing would drop what was typed.
        path->setEnabled(!m_bNameOnly);
    }
    if (QWidget* browse = Item(kBrowse)) browse->setEnabled(!m_bNameOnly);
    return true;
}

void CDatumLibInfo::OnBrowse() {
    if (m_bNameOnly) return;
    // The registry and the template are found relative to the current directory, which the browser may move.
    const std::string cwd = plat::GetCurrentDir();
    std::string folder = plat::Svc().BrowseForFolder(this, plat::Gbk("请选择一个选择文件夹"));
    if (!folder.empty()) {
        if (auto* path = ItemAs<QLineEdit>(kEditPath)) path->setText(plat::ToQ(WithFinalSeparator(folder)));
        auto* name = ItemAs<QLineEdit>(kEditName);
        if (m_bNameFromFolder && name && name->text().isEmpty()) name->setText(plat::ToQ(libadd::FolderName(folder)));
    }
    plat::SetCurrentDir(cwd);
}

void CDatumLibInfo::OnOK() {
    std::string name, path;
    if (!mang::TakeEditText(this, ItemAs<QLineEdit>(kEditName), name)) return;
    if (!m_bNameOnly && !mang::TakeEditText(this, ItemAs<QLineEdit>(kEditPath), path)) return;
    m_strName = name;
    if (!m_bNameOnly) m_strPath = WithFinalSeparator(path);
    EndDialog(plat::IDOK);
}
