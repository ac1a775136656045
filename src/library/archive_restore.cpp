// Restore: every header is checked first (names, kinds, the library's class list, the space it needs);
// only then are the entries written, into a fresh folder beside the target that takes the target's name
// when the last byte is down.
#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <vector>

#include "library/archive.h"
#include "library/archive_entries.h"
#include "library/archive_io.h"
#include "platform/fs.h"
#include "platform/codec.h"
#include "platform/path.h"
#include "platform/text.h"

using plat::Gbk;

namespace archiving {
namespace {

using namespace detail;

// The folder being filled: removed with everything in it unless it was put in place. It holds its lock while
// it lives, so that a restore that was killed can be told from one going on.
class PendingFolder {
public:
    ~PendingFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
        if (fd_ >= 0) close(fd_);
    }
    bool Create(const std::string& target) {
        std::string t = TemporaryTemplate(target);
        if (!mkdtemp(t.data())) return false;
        path_ = t;
        fd_ = open(t.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        return fd_ >= 0 && ClaimTemporary(fd_, t);
    }
    const std::string& Path() const { return path_; }
    void Placed() { path_.clear(); }

private:
    std::string path_;
    int fd_ = -1;
};

// The target as the user's "empty" sees it: only names beginning with '.' may be in it.
enum class Target { Missing, Empty, NotEmpty, NotFolder };
Target Inspect(const std::string& native) {
    struct stat st;
    if (lstat(native.c_str(), &st) != 0) return errno == ENOENT ? Target::Missing : Target::NotFolder;
    if (!S_ISDIR(st.st_mode)) return Target::NotFolder;
    DIR* dir = opendir(native.c_str());
    if (!dir) return Target::NotFolder;
    Target t = Target::Empty;
    while (dirent* e = readdir(dir))
        if (e->d_name[0] != '.') t = Target::NotEmpty;
    closedir(dir);
    return t;
}

// The names in a folder, "." and ".." left out.
std::set<std::string> Names(const std::string& native) {
    std::set<std::string> names;
    if (DIR* dir = opendir(native.c_str())) {
        while (dirent* e = readdir(dir))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.insert(e->d_name);
        closedir(dir);
    }
    return names;
}

using plat::MoveNoReplace;

enum class Placement { Done, Failed, Filled };

// Puts the restored folder in place, always in one rename: moving the library in entry by entry would leave
// half a library under the target's name if the machine stopped in between. A missing target becomes the new
// folder; one that appeared meanwhile is not replaced. An existing empty folder is replaced by the restored
// one dressed as the user's own (its dot-files, mode, owner and group); a rename onto a folder that someone
// filled meanwhile fails by itself, and everything moves back: no merge.
Placement Place(const std::string& from, const std::string& to, bool existed) {
    if (!existed) {
        if (MoveNoReplace(from, to) == 0) return Placement::Done;
        return errno == EEXIST || errno == ENOTEMPTY ? Placement::Filled : Placement::Failed;
    }
    struct stat own;
    if (lstat(to.c_str(), &own) != 0 || !S_ISDIR(own.st_mode)) return Placement::Filled;
    const std::set<std::string> before = Names(to);
    if (std::any_of(before.begin(), before.end(), [](const std::string& n) { return n[0] != '.'; }))
        return Placement::Filled;
    std::vector<std::string> moved;
    auto undo = [&](Placement why) {
        const int err = errno;
        for (const std::string& name : moved) rename((from + "/" + name).c_str(), (to + "/" + name).c_str());
        errno = err;
        return why;
    };
    for (const std::string& name : before) {
        if (MoveNoReplace(to + "/" + name, from + "/" + name) != 0) return undo(Placement::Failed);
        moved.push_back(name);
    }
    chmod(from.c_str(), own.st_mode & 07777);
    if (own.st_uid != geteuid() || own.st_gid != getegid()) lchown(from.c_str(), own.st_uid, own.st_gid);
    SyncFolder(to);  // the moves are on the disk before the rename that counts on them
    SyncFolder(from);
    if (rename(from.c_str(), to.c_str()) == 0) return Placement::Done;
    return undo(errno == ENOTEMPTY || errno == EEXIST ? Placement::Filled : Placement::Failed);
}

class Restorer {
public:
    Restorer(const std::string& archivePath, const std::string& targetDir, const Control& control)
        : shownArchive_(plat::Abbreviate(archivePath)),
          shownTarget_(plat::Abbreviate(targetDir)),
          archiveNative_(plat::ToNative(archivePath)),
          target_(NativeFolder(targetDir)),
          control_(control) {}

    Outcome Run() {
        if (!CheckTarget() || !Survey() || !CheckSpace()) return out_;
        RemoveStaleTemporaries(target_);
        PendingFolder folder;
        if (!folder.Create(target_)) {
            Fail(Gbk("不能创建目录 ") + shownTarget_ + ": " + Reason(errno));
            return out_;
        }
        if (!Extract(folder.Path())) return out_;
        chmod(folder.Path().c_str(), 0777 & ~CurrentUmask());
        if (const int fd = open(folder.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
            syncfs(fd);  // one flush for all files, before the folder takes its name
            close(fd);
        }
        switch (Place(folder.Path(), target_, existed_)) {
            case Placement::Done: break;
            case Placement::Filled:
                Fail(Gbk("目录 ") + shownTarget_ + Gbk(" 在恢复时被别的程序放入了文件，没有恢复任何文件"));
                return out_;
            case Placement::Failed:
                Fail(Gbk("不能创建目录 ") + shownTarget_ + ": " + Reason(errno));
                return out_;
        }
        folder.Placed();
        SyncFolder(ParentOf(target_));
        out_.ok = true;
        return out_;
    }

private:
    bool CheckTarget() {
        switch (Inspect(target_)) {
            case Target::Missing: {
                struct stat st;
                const std::string parent = ParentOf(target_);
                if (stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
                    std::string shown = parent;
                    std::replace(shown.begin(), shown.end(), '/', '\\');
                    return Fail(Gbk("目录 ") + ShownName(shown) + Gbk(" 不存在"));
                }
                return true;
            }
            case Target::Empty: existed_ = true; return true;
            case Target::NotEmpty: return Fail(Gbk("目录 ") + shownTarget_ + Gbk(" 非空!!"));
            case Target::NotFolder: break;
        }
        return Fail(Gbk("不能使用 ") + shownTarget_ + Gbk(" 作为资料库目录"));
    }

    // First pass: every header, nothing written.
    bool Survey() {
        Reader r;
        if (!r.Open(archiveNative_)) return Unreadable(r);
        archive_entry* e;
        int rc;
        while (Next(r, e, rc)) {
            if (archive_entry_is_encrypted(e)) return Encrypted();
            Entry entry;
            if (!Classify(e, entry, out_.error)) return false;
            if (!entry.rel.empty()) entries_.push_back(entry);
            if (Cancelled(control_)) return Cancel();
        }
        if (rc != ARCHIVE_EOF) return Unreadable(r);
        if (!CheckConsistent(entries_, out_.error)) return false;
        if (!FindLibrary(entries_, prefix_))
            return Fail(Gbk("归档文件 ") + shownArchive_ + Gbk(" 不是资料库的备份(没有 _ _SETS_ _\\class.list)"));
        return true;
    }

    bool CheckSpace() {
        struct statvfs vfs;
        const long long need = SpaceNeeded(entries_);
        if (statvfs(ParentOf(target_).c_str(), &vfs) != 0) return true;  // unknown: the writes will tell
        const long long free = static_cast<long long>(vfs.f_bavail) * static_cast<long long>(vfs.f_frsize);
        // Millions of empty entries fill a disk's file table long before its bytes.
        if (vfs.f_favail > 0 && entries_.size() > vfs.f_favail)
            return Fail(Gbk("磁盘空间不足: 恢复需要 ") + std::to_string(entries_.size()) + Gbk(" 个文件，目标磁盘只能再放 ") +
                        std::to_string(vfs.f_favail) + Gbk(" 个"));
        if (need <= free) return true;
        return Fail(Gbk("磁盘空间不足: 恢复需要 ") + std::to_string(need) + Gbk(" 字节，目标磁盘只有 ") +
                    std::to_string(free) + Gbk(" 字节可用"));
    }

    // Second pass: the same entries again (checked again, in case the file changed), written below `root`.
    bool Extract(const std::string& root) {
        Reader r;
        if (!r.Open(archiveNative_)) return Unreadable(r);
        std::set<std::string> made;
        archive_entry* e;
        int rc;
        std::size_t index = 0;
        const long long total = static_cast<long long>(entries_.size());
        while (Next(r, e, rc)) {
            if (Cancelled(control_)) return Cancel();
            Entry entry;
            if (!Classify(e, entry, out_.error)) return false;
            if (entry.rel.empty()) continue;
            if (index >= entries_.size() || entry.rel != entries_[index].rel || entry.size != entries_[index].size)
                return Fail(Gbk("归档文件 ") + shownArchive_ + Gbk(" 在恢复时被改动，请重试"));
            ++index;
            if (entry.rel + "/" == prefix_) continue;
            const std::string rel = entry.rel.substr(prefix_.size());
            if (!MakeParents(root, rel, made)) return false;
            const std::string path = root + "/" + rel;
            if (entry.dir) {
                if (!made.count(rel) && mkdir(path.c_str(), 0777) != 0) return WriteFailed(rel);
                made.insert(rel);
            } else if (!WriteFile(r, entry, path, rel)) {
                return false;
            }
            Tell(control_, static_cast<long long>(index), total);
        }
        if (rc != ARCHIVE_EOF) return Unreadable(r);
        if (index != entries_.size()) return Fail(Gbk("归档文件 ") + shownArchive_ + Gbk(" 在恢复时被改动，请重试"));
        return true;
    }

    bool MakeParents(const std::string& root, const std::string& rel, std::set<std::string>& made) {
        // Entries come folder by folder: almost always the parent is made already.
        const std::size_t last = rel.rfind('/');
        if (last == std::string::npos || made.count(rel.substr(0, last))) return true;
        for (std::size_t slash = rel.find('/'); slash != std::string::npos; slash = rel.find('/', slash + 1)) {
            const std::string dir = rel.substr(0, slash);
            if (made.count(dir)) continue;
            if (mkdir((root + "/" + dir).c_str(), 0777) != 0) return WriteFailed(dir);
            made.insert(dir);
        }
        return true;
    }

    bool WriteFile(Reader& r, const Entry& entry, const std::string& path, const std::string& rel) {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) return WriteFailed(rel);
        std::vector<char> buf(1 << 16);
        long long written = 0;
        bool ok = true;
        for (;;) {
            if (Cancelled(control_)) {
                ok = Cancel();
                break;
            }
            const la_ssize_t n = archive_read_data(r.Handle(), buf.data(), buf.size());
            if (n == 0) break;
            // More bytes than the header promised is a damaged archive, or one built to fill the disk.
            if (n < 0 || written + n > entry.size) {
                ok = Corrupt(r, rel);
                break;
            }
            if (!WriteAll(fd, buf.data(), static_cast<std::size_t>(n))) {
                ok = WriteFailed(rel);
                break;
            }
            written += n;
        }
        if (ok && written != entry.size) ok = Corrupt(r, rel);
        if (ok && entry.hasMtime) {
            const struct timespec times[2] = {{0, UTIME_OMIT}, {entry.mtime, entry.mtimeNsec}};
            futimens(fd, times);
        }
        if (close(fd) != 0 && ok) ok = WriteFailed(rel);
        if (ok) {
            ++out_.files;
            out_.bytes += written;
        }
        return ok;
    }

    static bool WriteAll(int fd, const char* data, std::size_t size) {
        while (size > 0) {
            const ssize_t n = write(fd, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    std::string Shown(const std::string& rel) const {
        std::string s = rel;
        std::replace(s.begin(), s.end(), '/', '\\');
        std::string root = shownTarget_;
        if (root.empty() || root.back() != '\\') root += '\\';
        return plat::Abbreviate(root + plat::Utf8ToGbk(s));
    }
    bool WriteFailed(const std::string& rel) {
        return Fail(Gbk("不能写入 ") + Shown(rel) + ": " + Reason(errno) + Gbk("，没有恢复任何文件"));
    }
    bool Corrupt(Reader& r, const std::string& rel) {
        return Fail(Gbk("归档文件 ") + shownArchive_ + Gbk(" 已损坏(") + ShownName(rel) + ") " + r.Why() +
                    Gbk("，没有恢复任何文件"));
    }
    bool Encrypted() { return Fail(Gbk("归档文件 ") + shownArchive_ + Gbk(" 已加密(有密码保护)，不能恢复")); }
    bool Unreadable(Reader& r) {
        if (r.Encrypted()) return Encrypted();
        return Fail(Gbk("不能读取归档文件 ") + shownArchive_ + Gbk(": 文件已损坏、不完整或不是 ZIP 归档 (") +
                    r.Why() + ")");
    }
    bool Cancel() {
        out_.cancelled = true;
        out_.error.clear();
        return false;
    }
    bool Fail(std::string text) {
        out_.error = std::move(text);
        return false;
    }

    const std::string shownArchive_, shownTarget_, archiveNative_, target_;
    std::string prefix_;
    bool existed_ = false;  // the target is a folder of the user's, empty
    const Control& control_;
    std::vector<Entry> entries_;
    Outcome out_;
};

}  // namespace

Outcome Restore(const std::string& archivePath, const std::string& targetDir, const Control& control) {
    return Restorer(archivePath, targetDir, control).Run();
}

}  // namespace archiving
