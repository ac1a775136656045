#include "app/undo_list.h"

#include "app/card_move.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"

using plat::Gbk;

namespace {

// One rename that never replaces what stands at `to`; false with errno.
bool MoveBack(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL) return false;
    struct stat st;
    if (lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

void UndoList::Push(Step step) { steps_.push_back(std::move(step)); }

bool UndoList::Undo(Step& step, std::string& error) {
    if (steps_.empty()) {
        error = Gbk("没有可以撤销的操作。");
        return false;
    }
    Step& last = steps_.back();
    const std::string what = last.kind == Kind::Delete ? Gbk("撤销删除") : Gbk("撤销移动");
    struct stat st;
    if (lstat(last.kind == Kind::Delete ? last.trashed.file.c_str() : plat::ToNative(last.now).c_str(), &st) != 0) {
        error = Gbk("无法") + what + Gbk("：") +
                (last.kind == Kind::Delete ? last.label + Gbk("已经不在回收站里了。")
                                           : last.now + Gbk(" 已经不在那里了。"));
        steps_.pop_back();
        return false;
    }
    int err = 0;
    bool done = false;
    if (last.kind == Kind::Delete) {
        done = plat::RestoreFromTrash(last.trashed, err);
    } else if (last.card) {
        const Step& s = last;
        if (RelocateCard(s.now, s.path, [&s](DatumCard& c) { c.title = s.title, c.klass = s.klass; }, error))
            done = true;
        else
            return false;  // the card stays where the step put it, and may be tried again
    } else {
        done = MoveBack(plat::ToNative(last.now), plat::ToNative(last.path));
        err = errno;
    }
    if (done) {
        step = std::move(last);
        steps_.pop_back();
        return true;
    }
    if (err == EEXIST) {
        error = Gbk("无法") + what + Gbk("：") + last.path + Gbk(" 处已经有一个文件或文件夹，没有覆盖它。");
        return false;
    }
    error = Gbk("无法") + what + Gbk("：") + last.path + Gbk("：") + plat::SystemReason(err);
    return false;
}
