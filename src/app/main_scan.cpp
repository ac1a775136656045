// Scanning the current library into the tree, at start-up and on every rescan; the tree and its entry list
// are LibraryTree's, the search index follows the library scanned.
#include "app/card_history.h"
#include "app/main_dlg.h"
#include "platform/codec.h"
#include "platform/folder_watch.h"
#include "search/indexer.h"
#include "ui/show_msg_dlg.h"

using plat::Gbk;

int CMainDlg::ScanLibrary() {
    // What changes while the scan lists the folders is reported by the watch that starts after it.
    const long long since = plat::FolderWatch::NowNs();
    if (!m_libTree->Scan(m_libRoot, m_lastError)) return 0;
    m_searchIndex->SetLibrary(m_libRoot);
    m_history->SetLibrary(m_libRoot);
    // A rescan of the library already watched needs no new watch: the one standing saw everything meanwhile.
    if (m_watchedRoot != m_libRoot) StartWatch(since);
    return 1;
}

int CMainDlg::RescanLibrary() {
    ShowStrip();
    if (ScanLibrary()) {
        m_msg->hide();
        return 1;
    }
    FailAndClose(Gbk("扫描资料库中的文件出现错误!!"), Gbk("扫描资料库中的文件出现错误:"));
    return 0;
}
