// The library manager's 备份 and 恢复: file and form questions on the GUI thread, the archive work on a
// thread of its own, its progress in the strip over the dialog.
#include <QEventLoop>
#include <QTreeWidget>
#include <thread>

#include "library/datum_lib_mang.h"
#include "ui/mang_list.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/services.h"
#include "platform/text.h"
#include "ui/show_msg_dlg.h"

using plat::Gbk;

namespace {

enum : int { kList = 1020, kOK = 1, kNew = 3, kDelete = 4, kSetDefault = 5, kEdit = 6, kBackup = 7, kRestore = 8, kAdd = 9 };

// A library this small is done before a strip could be read.
constexpr long long kStripFrom = 300;

const char kZipFilter[] = "ZIP File(*.zip)|*.zip|";

void Inform(QWidget* owner, const std::string& text) {
    plat::Svc().MessageBox(owner, text, std::string("INFOMATION"), plat::MB_OK | plat::MB_ICONINFORMATION);
}

std::string Summary(const char* done, const archiving::Outcome& out, const std::string& where) {
    return Gbk(done) + plat::FormatInt(out.files) + Gbk(" 个文件，") + plat::FormatInt(out.bytes) +
           Gbk(" 字节，已写入 ") + where;
}

// The file dialog may move the current directory, against which the registry and template are found.
std::string AskArchive(QWidget* owner, bool open, const std::string& initialName) {
    const std::string cwd = plat::GetCurrentDir();
    std::string path = plat::Svc().AskFileName(owner, open, "zip", initialName, kZipFilter);
    plat::SetCurrentDir(cwd);
    return path;
}

}  // namespace

void CDatumLibMang::UpdateButtons() {
    for (int id : {kNew, kAdd, kEdit, kDelete, kSetDefault, kOK, kRestore})
        if (QWidget* b = Item(id)) b->setEnabled(!m_busy);
    if (QWidget* list = Item(kList)) list->setEnabled(!m_busy);
    for (int id : {int(kBackup), 12, 13, 14})  // 12..14: export and import
        if (QWidget* b = Item(id)) b->setEnabled(!m_busy && mang::SelectionMark(ItemAs<QTreeWidget>(kList)) >= 0);
}

void CDatumLibMang::OnCancel() {
    if (m_busy) {
        m_cancel = true;
        return;
    }
    CDialog::OnCancel();
}

archiving::Outcome CDatumLibMang::RunJob(
    const std::string& progressText, const std::function<archiving::Outcome(const archiving::Control&)>& work) {
    if (!m_strip) m_strip = new CShowMsgDlg(std::string(), this);
    m_cancel = false;
    m_busy = true;
    UpdateButtons();

    QObject context;  // progress posted after the job ended is dropped with it
    QEventLoop loop;
    archiving::Control control;
    control.cancel = &m_cancel;
    long long shown = -1;
    control.progress = [&](long long done, long long total) {
        // Roughly a hundred updates whatever the size, and none for a small library.
        const long long step = std::max<long long>(1, total / 100);
        if (total < kStripFrom || (done % step != 0 && done != total)) return;
        QMetaObject::invokeMethod(&context, [this, &shown, progressText, done, total] {
            if (done <= shown) return;
            shown = done;
            m_strip->SetMessage(progressText + " (" + plat::FormatInt(done) + "/" + plat::FormatInt(total) + ")......");
            if (!m_strip->isVisible()) m_strip->ShowAt();
        }, Qt::QueuedConnection);
    };
    archiving::Outcome out;
    std::thread worker([&] {
        out = work(control);
        QMetaObject::invokeMethod(&context, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();

    m_strip->hide();
    m_busy = false;
    UpdateButtons();
    return out;
}

void CDatumLibMang::OnBackup() {
    const int i = mang::SelectionMark(ItemAs<QTreeWidget>(kList));
    if (i < 0 || i >= m_reg.count || m_busy) return;
    const DatumLibEntry lib = m_reg.entries[i];
    const std::string archivePath = AskArchive(this, false, archiving::DefaultArchiveName(lib.name));
    if (archivePath.empty()) return;
    // A file that is no archive (a card, a letter) is replaced only when the user says so here.
    std::string why;
    const archiving::ArchiveTarget target = archiving::CheckArchiveTarget(LibraryRoot(lib), archivePath, why);
    if (target == archiving::ArchiveTarget::Refused) return mang::ShowError(this, why);
    if (target == archiving::ArchiveTarget::Foreign &&
        plat::Svc().MessageBox(
            this,
            Gbk("文件 ") + archivePath + Gbk(" 不是 ZIP 归档，要用备份替换它吗？它现在的内容将会丢失。"),
            std::string("QUESTION"), plat::MB_YESNO | plat::MB_ICONQUESTION) != plat::IDYES)
        return;

    const archiving::Outcome out = RunJob(Gbk("正在备份资料库"), [&](const archiving::Control& c) {
        return archiving::Backup(LibraryRoot(lib), archivePath, c,
                                 target == archiving::ArchiveTarget::Foreign);
    });
    if (out.ok)
        Inform(this, Summary("备份完成: ", out, archivePath) + " (" + plat::FormatInt(out.archiveBytes) + Gbk(" 字节)"));
    else if (!out.cancelled)
        mang::ShowError(this, out.error);
}

std::string CDatumLibMang::DefaultRestoreFolder(const std::string& name) const {
    // Beside the default library: that is where the user keeps libraries.
    std::string parent;
    if (m_reg.count > 0) {
        const std::string& path = m_reg.entries[m_reg.use].path;
        const std::size_t sep = mang::LastSeparator(path);
        if (sep != plat::npos) parent = path.substr(0, sep + 1);
    }
    std::string folder = parent + name;
    for (int n = 2; n < 100 && (plat::IsDir(folder) || plat::IsFile(folder)); ++n)
        folder = parent + name + "-" + plat::FormatInt(n);
    return folder + "\\";
}

void CDatumLibMang::OnRestore() {
    if (m_busy) return;
    // A full registry is refused before anything is asked or written: the restored folder needs its slot.
    std::string error;
    if (m_reg.count >= kMaxLibraries) error = Gbk("资料库列表已满(最多 50 个)，不能再恢复资料库!");
    if (!error.empty() || !archiving::RegistryHasRoom(error)) {
        mang::ShowError(this, error);
        return;
    }
    const std::string archivePath = AskArchive(this, true, std::string());
    if (archivePath.empty()) return;

    CDatumLibInfo info(this);
    info.m_strName = archiving::NameFromArchive(archivePath);
    info.m_strPath = DefaultRestoreFolder(info.m_strName);
    if (info.DoModal() != plat::IDOK) return;
    const std::string folder = info.m_strPath;  // ends with a separator: the form sees to it
    if (!archiving::OutsideLibraries(m_reg, folder, error)) return mang::ShowError(this, error);

    const archiving::Outcome out = RunJob(Gbk("正在恢复资料库"), [&](const archiving::Control& c) {
        return archiving::Restore(archivePath, folder, c);
    });
    if (!out.ok) {
        if (!out.cancelled) mang::ShowError(this, out.error);
        return;
    }
    const DatumLibEntry entry{info.m_strName, folder.substr(0, folder.size() - 1)};
    // In this list too, so that OK keeps it; and in the file at once, so that the restored folder is never
    // left unregistered (New refuses a folder that is not empty).
    m_reg.entries[m_reg.count++] = entry;
    m_known.push_back(entry);
    FillList();
    if (!archiving::Register(entry, error)) {
        mang::ShowError(this, Gbk("资料库已恢复到 ") + entry.path + Gbk("，但没有登记: ") + error);
        return;
    }
    m_registryWritten = true;
    Inform(this, Summary("恢复完成: ", out, folder));
}
