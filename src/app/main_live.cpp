// Following the library on disk: a watch on the current library's folders reports where something changed;
// the tree applies it in batches between other events, the search index looks at the same paths, and the
// form hears about its own file. A library synchronised from elsewhere shows what lands in it at once.
#include <QTimer>

#include "app/card_history.h"
#include "app/main_dlg.h"
#include "platform/codec.h"
#include "platform/folder_watch.h"
#include "search/indexer.h"
#include "ui/show_msg_dlg.h"

using plat::Gbk;

namespace {

// Names applied per turn of the event loop: a sync tool delivering thousands of cards is applied a few
// milliseconds at a time, and the window answers the user in between.
constexpr std::size_t kBatch = 200;
constexpr int kNoticeMs = 6000;

}  // namespace

void CMainDlg::StartWatch(long long sinceNs) {
    if (!m_watch) m_watch = LibraryTree::NewWatch();
    m_watchedRoot = m_libRoot;
    m_watch->Start(m_libRoot, sinceNs, [this] {
        // On the watch's thread: only a post to the window's (and a word to the index's readers).
        m_searchIndex->WatchWoke();
        QMetaObject::invokeMethod(
            this, [this] { OnDiskChanges(); }, Qt::QueuedConnection);
    });
    m_searchIndex->SetWatched(true);
}

bool CMainDlg::DiskChangesPending() const { return m_watch && m_watch->Busy(); }

void CMainDlg::OnDiskChanges() {
    if (!m_watch) return;
    const std::uint64_t seen = m_searchIndex->WatchWakes();
    const auto trouble = m_watch->TakeTrouble();
    std::vector<plat::FolderWatch::Change> batch;
    const bool more = m_watch->Take(batch, kBatch);
    if (trouble != plat::FolderWatch::Trouble::None) {
        OnWatchTrouble(static_cast<int>(trouble));  // it looks at the whole library: the batch is in it
    } else if (!batch.empty()) {
        std::vector<std::string> touched;
        m_libTree->BeginChanges();
        for (const plat::FolderWatch::Change& c : batch)
            m_libTree->Apply(c.folder, c.name, c.replaced, touched);
        m_libTree->EndChanges();
        for (const std::string& path : touched) m_searchIndex->Touch(path);
        m_history->Seen(touched);  // the cards of a class that came, with all below it
        for (const plat::FolderWatch::Change& c : batch) m_history->Seen({c.folder + c.name});
    }
    if (!more) m_searchIndex->WatchSettled(seen);
    CheckFormFile();
    if (more) QTimer::singleShot(0, this, [this] { OnDiskChanges(); });
}

void CMainDlg::OnWatchTrouble(int trouble) {
    using Trouble = plat::FolderWatch::Trouble;
    // Part of the library unfollowed: the index's readers look at the cards themselves again.
    if (static_cast<Trouble>(trouble) != Trouble::Overflow) m_searchIndex->SetWatched(false);
    if (static_cast<Trouble>(trouble) == Trouble::RootGone) {
        // The tree can show nothing of a folder that is not there; the form keeps what it holds.
        m_libTree->Empty();
        m_watchedRoot.clear();  // a later scan of that library watches it afresh
        Notify(Gbk("资料库文件夹 ") + m_libRoot + Gbk(" 已被删除或移走"));
        return;
    }
    SetProgress(Gbk("正在重新扫描文件夹....."));
    ShowStrip();
    if (!m_libTree->Rescan(m_lastError)) {
        m_libTree->Empty();
        Notify(Gbk("扫描资料库中的文件出现错误:") + m_lastError);
        return;
    }
    m_searchIndex->SetLibrary(m_libRoot);
    if (static_cast<Trouble>(trouble) == Trouble::Overflow)
        Notify(Gbk("资料库中同时发生的变化太多，已重新扫描"));
    else
        Notify(Gbk("可监视的文件夹数已用完（max_user_watches），有些变化不会立刻显示；已重新扫描"));
}

void CMainDlg::CheckFormFile() {
    const std::string path = m_form.LoadedPath();
    if (m_saving || path.empty()) return;
    const CardForm::Disk now = m_form.DiskState();
    if (now == m_form.Noticed()) return;
    if (now == CardForm::Disk::Changed && !m_form.HasEdits()) {
        // Nothing of the user's to lose: the form shows the new version.
        if (ReadIntoForm(path)) {
            Notify(Gbk("资料卡已被其他程序更新"));
            return;
        }
        m_form.Notice(now);
        Notify(Gbk("资料卡已被其他程序修改过，但读不出来；表单中仍是原来的内容"));
        return;
    }
    m_form.Notice(now);
    if (now == CardForm::Disk::Changed)
        Notify(Gbk("资料卡已被其他程序修改过；你的修改仍在，保存时会询问"));
    else if (now == CardForm::Disk::Gone)
        Notify(Gbk("资料卡已被其他程序删除或移走；保存时会询问"));
}

void CMainDlg::Notify(const std::string& text) {
    SetProgress(text);
    m_msg->ShowAt();
    m_noticeTimer->start(kNoticeMs);
}
