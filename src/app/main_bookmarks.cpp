// The main window's index and bookmark buttons: 1003 and 1004 open the manager on one of the library's two
// lists; 1007 appends the current card to the bookmark list without showing it.
#include "app/main_dlg.h"
#include "managers/index_bookmark_mang.h"
#include "platform/codec.h"
#include "platform/path.h"
#include "platform/text.h"

namespace {

// A path below the program directory (which is "\" alone at the root of the file system).
std::string InProgramDir(const std::string& progDir, const std::string& rel) {
    return progDir == "\\" ? progDir + rel : progDir + "\\" + rel;
}

// The manager compares chosen files against this: the library root made absolute, in lower case, with '\'
// separators. A library registered with an absolute path is its own absolute root.
std::string AbsoluteLibraryRoot(const CMainDlg& w) {
    std::string root = plat::IsAbsolute(w.m_libRoot) ? w.m_libRoot : InProgramDir(w.m_progDir, w.m_libRoot);
    root = plat::AsciiLower(root);
    for (char& c : root)
        if (c == '/') c = '\\';
    return root;
}

void RunListManager(CMainDlg& w, const char* list) {
    if (w.m_nCurLib < 0) return;
    CIndexBookmarkMang mang(AbsoluteLibraryRoot(w), &w);
    mang.m_strListPath = w.m_libRoot + "\\" + list;
    mang.DoModal();  // the list file is the only thing it changes; the window shows nothing of it
}

}  // namespace

void CMainDlg::OnIndexManage() { RunListManager(*this, layout::kIndexList); }

void CMainDlg::OnBookmarkManage() { RunListManager(*this, layout::kBookmarkList); }

void CMainDlg::OnAddBookmark() {
    if (m_nCurLib < 0 || !m_current || m_current->IsClass()) return;

    CIndexBookmarkMang mang(AbsoluteLibraryRoot(*this), this);
    mang.m_strListPath = m_libRoot + "\\" + layout::kBookmarkList;
    // Entry paths are built on the library root, so only a relative library needs the program directory.
    const std::string card = plat::IsAbsolute(m_libRoot) ? m_current->path : InProgramDir(m_progDir, m_current->path);

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
