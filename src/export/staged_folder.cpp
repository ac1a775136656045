#include "export/staged_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace exporting {
namespace {

namespace fs = std::filesystem;

std::string Shown(const std::string& native) { return plat::Abbreviate(plat::Utf8ToGbk(native)); }

std::string Real(const std::string& native) {
    std::error_code ec;
    const fs::path p = fs::weakly_canonical(fs::absolute(native, ec), ec);
    return ec ? std::string() : p.string();
}

bool Inside(const std::string& path, const std::string& folder) {
    return !folder.empty() && (path == folder || path.rfind(folder + "/", 0) == 0);
}

bool IsMarked(const std::string& folder) {
    struct stat st;
    return lstat((folder + "/" + kExportMark).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Nothing in it (hidden names count: a .git folder is someone's), or an earlier export.
bool Replaceable(const std::string& folder) {
    if (IsMarked(folder)) return true;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return false;
    bool empty = true;
    while (dirent* e = readdir(dir))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") empty = false;
    closedir(dir);
    return empty;
}

// Staging folders of earlier runs for this target: ".NAME-export-XXXXXX" holding the mark.
void RemoveLeftovers(const std::string& parent, const std::string& prefix) {
    DIR* dir = opendir(parent.c_str());
    if (!dir) return;
    while (dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() == prefix.size() + 6 && name.rfind(prefix, 0) == 0 && IsMarked(parent + "/" + name))
            RemoveTree(parent + "/" + name);
    }
    closedir(dir);
}

}  // namespace

bool RemoveTree(const std::string& native) {
    std::error_code ec;
    fs::remove_all(native, ec);
    return !ec;
}

StagedFolder::~StagedFolder() {
    if (!committed_ && !stage_.empty()) RemoveTree(stage_);
}

bool StagedFolder::Begin(const std::string& target, const std::string& libraryRoot, std::string& error) {
    using plat::Gbk;
    fs::path t(target);
    while (t.has_filename() == false && t.has_parent_path() && t != t.root_path()) t = t.parent_path();
    target_ = t.string();
    const std::string real = Real(target_), library = Real(libraryRoot);
    if (real.empty() || t.filename().empty()) {
        error = Gbk("不能导出到 ") + Shown(target);
        return false;
    }
    if (Inside(real, library) || Inside(library, real)) {
        error = Gbk("不能导出到资料库自己的目录中: ") + Shown(target);
        return false;
    }
    struct stat st;
    if (lstat(target_.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) {
            error = Gbk("文件 ") + Shown(target) + Gbk(" 已存在，不是目录，不会替换它");
            return false;
        }
        if (!Replaceable(target_)) {
            error = Gbk("目录 ") + Shown(target) + Gbk(" 不是空的，也不是本程序导出的，不会写入它");
            return false;
        }
    }
    const std::string parent = t.parent_path().empty() ? std::string(".") : t.parent_path().string();
    const std::string prefix = "." + t.filename().string() + "-export-";
    RemoveLeftovers(parent, prefix);
    std::string pattern = parent + "/" + prefix + "XXXXXX";
    if (!mkdtemp(pattern.data())) {
        error = Gbk("不能在 ") + Shown(parent) + Gbk(" 中建立目录") + Gbk("：") + plat::SystemReason(errno);
        return false;
    }
    stage_ = pattern;
    // mkdtemp makes a folder only its owner may open; a site is for others to read.
    const mode_t mask = umask(0);
    umask(mask);
    chmod(stage_.c_str(), 0755 & ~mask);
    const int fd = open((stage_ + "/" + kExportMark).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 || write(fd, "Korvane\n", 8) != 8) {
        if (fd >= 0) close(fd);
        error = Gbk("不能写入目录 ") + Shown(stage_);
        return false;
    }
    close(fd);
    return true;
}

bool StagedFolder::Commit(std::string& error) {
    // A folder name the user could not read would hide what went wrong: the reason goes with it.
    auto fail = [&](const char* what) {
        error = plat::Gbk(what) + Shown(target_) + plat::Gbk("：") + plat::SystemReason(errno);
        return false;
    };
    if (renameat2(AT_FDCWD, stage_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE) == 0) {
        committed_ = true;
        return true;
    }
    if (errno != EEXIST && errno != ENOTEMPTY) return fail("不能把导出的文件放到 ");
    // Looked at again: the folder may have been filled since the export began.
    if (!Replaceable(target_)) {
        error = plat::Gbk("目录 ") + Shown(target_) + plat::Gbk(" 不是空的，也不是本程序导出的，不会写入它");
        return false;
    }
    // An earlier export, or an empty folder: the two trade places at once, then the old one goes.
    if (renameat2(AT_FDCWD, stage_.c_str(), AT_FDCWD, target_.c_str(), RENAME_EXCHANGE) != 0)
        return fail("不能替换 ");
    committed_ = true;
    if (!RemoveTree(stage_)) {
        error = plat::Gbk("导出已完成，但不能删除以前导出的文件 ") + Shown(stage_);
        return false;
    }
    return true;
}

}  // namespace exporting
