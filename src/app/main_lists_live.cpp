// The library's own class and source lists followed on disk: another machine's class manager, reaching this
// one through a sync tool, changes them, and the boxes are read again as after this window's own manager
// (the form's text kept). A list that cannot be read at that moment (a sync tool between its writes) leaves
// the boxes as they are, and the strip says so; it is read again at its next change.
#include <QMetaObject>
#include <limits>

#include "app/main_dlg.h"
#include "platform/codec.h"
#include "platform/folder_watch.h"
#include "store/list_file.h"

using plat::Gbk;

void CMainDlg::StartListWatch() {
    if (!m_listWatch)
        m_listWatch = std::make_unique<plat::FolderWatch>(plat::FolderWatch::Filter{
            [](std::string_view, unsigned) { return false; },
            [](std::string_view name) { return name == "class.list" || name == "source.list"; }});
    // Nothing before now counts: the lists are read right after the scan, and a folder time stamp is coarser
    // than the clock (a list written just before would be taken for a change).
    m_listWatch->Start(m_libRoot + "_ _SETS_ _\\", std::numeric_limits<std::int64_t>::max(), [this] {
        // On the watch's thread: only a post to the window's.
        QMetaObject::invokeMethod(this, [this] { OnListsChanged(); }, Qt::QueuedConnection);
    });
}

void CMainDlg::OnListsChanged() {
    if (!m_listWatch) return;
    std::vector<plat::FolderWatch::Change> changes;
    bool changed = false;
    for (bool more = true; more;) {  // emptied, so that the next change is told again
        more = m_listWatch->Take(changes, 64);
        changed = changed || !changes.empty();
    }
    m_listWatch->TakeTrouble();
    if (!changed || !HasLibrary() || m_ending) return;
    for (const char* list : {layout::kClassList, layout::kSourceList}) {
        CListFile probe;
        if (probe.Load(m_libRoot + list) != 1) {
            Notify(Gbk("资料库的列表已被其他程序改变，但现在无法读取: ") + CListFile::LoadErrorText(m_libRoot + list));
            return;
        }
    }
    ReloadNameLists();
}
