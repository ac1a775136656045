// Every delete the program makes goes through here: to the trash, or for good only after the user said so.
#include <cerrno>
#include <filesystem>

#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/services.h"
#include "platform/trash.h"

namespace plat {

namespace {

void ShowFailure(QWidget* parent, std::string_view path, int err) {
    Svc().MessageBox(parent, Gbk("无法删除 ") + std::string(path) + Gbk("：") + SystemReason(err), Gbk("ERROR"),
                     MB_OK | MB_ICONERROR);
}

}  // namespace

Discarded Discard(QWidget* parent, std::string_view path, const std::string& what, TrashedItem* item) {
    TrashedItem moved;
    int err = 0;
    switch (MoveToTrash(path, moved, err)) {
        case TrashOutcome::Done:
            if (item) *item = std::move(moved);
            return Discarded::Trashed;
        case TrashOutcome::Failed: ShowFailure(parent, path, err); return Discarded::Failed;
        case TrashOutcome::NoTrash: break;
    }
    const std::string why = err == EXDEV ? Gbk("这个文件系统上没有可用的回收站") : SystemReason(err);
    const int answer = Svc().MessageBox(
        parent, Gbk("无法把") + what + Gbk("移到回收站（") + why + Gbk("）。\n你要把它彻底删除吗？删除后不可恢复。"),
        Gbk("选择"), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    if (answer != IDYES) return Discarded::Kept;
    std::error_code ec;
    std::filesystem::remove_all(ToNative(path), ec);
    if (ec) {
        ShowFailure(parent, path, ec.value());
        return Discarded::Failed;
    }
    return Discarded::Deleted;
}

}  // namespace plat
