// The main window's index and bookmark buttons: 1003 and 1004 open the manager on one of the library's two
// lists; 1007 appends the current card to the bookmark list without showing it.
#include "app/main_dlg.h"
#include "managers/index_bookmark_mang.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/services.h"
#include "platform/path.h"
#include "platform/text.h"

namespace {

// A path below the program directory (which is "\" alone at the root of the file system).
std::string InProgramDir(const std::string& progDir, const std::string& rel) {
    return progDir == "\\" ? progDir + rel : progDir + "\\" + rel;
}

// The manager compares chosen files against this: the library root made absolute, in lower case, with '\'
// separators. A library registered with an absolute path is its own absolute root.
std::string AbsoluteLibraryRoot(const std::string& progDir, const std::string& libRoot) {
    std::string root = plat::IsAbsolute(libRoot) ? libRoot : InProgramDir(progDir, libRoot);
    root = plat::AsciiLower(root);
    for (char& c : root)
        if (c == '/') c = '\\';
    return root;
}

}  // namespace

void CMainDlg::RunListManager(const char* list) {
    if (m_nCurLib < 0) return;
    CIndexBookmarkMang mang(AbsoluteLibraryRoot(m_progDir, m_libRoot), this);
    mang.m_strListPath = m_libRoot + "\\" + list;
    mang.DoModal();  // the list file is the only thing it changes; the window shows nothing of it
}

void CMainDlg::OnIndexManage() { RunListManager(layout::kIndexList); }

void CMainDlg::OnBookmarkManage() { RunListManager(layout::kBookmarkList); }

std::string CMainDlg::TheCard() {
    // The tree's current row can have moved while the form kept its card (a sync tool removed and wrote it
    // again): what the user reads in the form is what the buttons mean.
    std::string path = m_form.LoadedPath();
    const DatumNode* current = m_libTree->Current();
    if (path.empty() && current && current->IsCard()) path = current->path;
    if (path.empty()) return {};
    if (!plat::IsFile(path)) {
        plat::Svc().MessageBox(this, plat::Gbk("资料卡文件 ") + path + plat::Gbk(" 已被删除或移走了。"),
                               std::string("ERROR"), plat::MB_OK | plat::MB_ICONERROR);
        return {};
    }
    return path;
}

void CMainDlg::OnAddBookmark() {
    if (m_nCurLib < 0) return;
    const std::string path = TheCard();
    if (path.empty()) return;

    CIndexBookmarkMang mang(AbsoluteLibraryRoot(m_progDir, m_libRoot), this);
    mang.m_strListPath = m_libRoot + "\\" + layout::kBookmarkList;
    // Entry paths are built on the library root, so only a relative library needs the program directory.
    const std::string card = plat::IsAbsolute(path) ? path : InProgramDir(m_progDir, path);

    if (!mang.LoadList()) {
        plat::Svc().MessageBox(this, mang.m_strError, std::string("ERROR"), plat::MB_OK | plat::MB_ICONERROR);
        return;
    }
    if (mang.AddFile(card) && mang.SaveList()) {
        mang.FreeList();
        plat::Svc().MessageBox(this, plat::Gbk("当前文件已经成功加入到书签中了!!"), std::string("INFOMATION"),
                               plat::MB_OK | plat::MB_ICONINFORMATION);
        return;
    }
    plat::Svc().MessageBox(this, mang.m_strError, std::string("ERROR"), plat::MB_OK | plat::MB_ICONERROR);
    mang.FreeList();
}
