// Backup: the library folder, walked in a stable order, into a ZIP written beside its final name.
#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "library/archive.h"
#include "library/archive_io.h"
#include "platform/codec.h"
#include "platform/path.h"

using plat::Gbk;

namespace archiving {
namespace {

using namespace detail;

struct Item {
    std::string rel;  // UTF-8, '/' between components, no trailing '/'
    bool dir = false;
    struct stat st {};
};

struct FileId {
    dev_t dev;
    ino_t ino;
    bool Is(const struct stat& st) const { return st.st_dev == dev && st.st_ino == ino; }
};

class Walker {
public:
    Walker(std::string root, std::string shownRoot, std::vector<FileId> skip)
        : root_(std::move(root)), shownRoot_(std::move(shownRoot)), skip_(std::move(skip)) {}

    bool Walk(const std::string& rel, std::vector<Item>& out) {
        const std::string native = rel.empty() ? root_ : root_ + "/" + rel;
        DIR* dir = opendir(native.c_str());
        if (!dir) return Fail(Gbk("不能读取目录 ") + Shown(rel) + ": " + Reason(errno));
        std::vector<std::string> names;
        errno = 0;
        while (dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        const int readErr = errno;
        // A stable archive order: the same library gives the same listing on every run.
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            Item item;
            item.rel = rel.empty() ? name : rel + "/" + name;
            if (fstatat(dirfd(dir), name.c_str(), &item.st, AT_SYMLINK_NOFOLLOW) != 0) {
                closedir(dir);
                return Fail(Gbk("不能读取文件 ") + Shown(item.rel) + ": " + Reason(errno));
            }
            if (std::any_of(skip_.begin(), skip_.end(), [&](const FileId& f) { return f.Is(item.st); })) continue;
            if (!Admissible(item)) {
                closedir(dir);
                return false;
            }
            item.dir = S_ISDIR(item.st.st_mode);
            out.push_back(item);
            if (item.dir && !Walk(item.rel, out)) {
                closedir(dir);
                return false;
            }
        }
        closedir(dir);
        if (readErr) return Fail(Gbk("不能读取目录 ") + Shown(rel) + ": " + Reason(readErr));
        return true;
    }

    std::string error;

private:
    // What a restore would refuse is refused here already: a backup that cannot be given back is no backup.
    bool Admissible(const Item& item) {
        std::string gbk;
        const std::string name = item.rel.substr(item.rel.rfind('/') + 1);
        if (!plat::TryUtf8ToGbk(name, gbk) || name.find('\\') != std::string::npos)
            return Fail(Gbk("文件名中有无法保存的字符，不能备份: ") + Shown(item.rel));
        if (!S_ISDIR(item.st.st_mode) && !S_ISREG(item.st.st_mode))
            return Fail(Gbk("不能备份符号链接或特殊文件: ") + Shown(item.rel));
        return true;
    }
    std::string Shown(const std::string& rel) const {
        std::string s = rel;
        std::replace(s.begin(), s.end(), '/', '\\');
        return shownRoot_ + plat::Utf8ToGbk(s);
    }
    bool Fail(std::string text) {
        error = std::move(text);
        return false;
    }

    std::string root_, shownRoot_;
    std::vector<FileId> skip_;
};

// The archive being written: a temporary file beside the target, removed unless it was renamed into place.
class PendingArchive {
public:
    explicit PendingArchive(std::string target) : target_(std::move(target)) {}
    ~PendingArchive() {
        if (a_) archive_write_free(a_);
        if (fd_ >= 0) close(fd_);
        if (!temp_.empty()) unlink(temp_.c_str());
    }

    bool Open() {
        temp_ = ParentOf(target_) + "/." + BaseOf(target_) + "-XXXXXX";
        fd_ = mkstemp(temp_.data());
        if (fd_ < 0) {
            temp_.clear();
            return false;
        }
        struct stat old;
        // A new archive gets the permissions of any file the user makes; a replaced one keeps its own.
        const bool replacing = stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode);
        fchmod(fd_, replacing ? old.st_mode & 07777 : 0666 & ~CurrentUmask());
        a_ = archive_write_new();
        archive_write_set_format_zip(a_);
        // Names are stored as UTF-8 and flagged so: every tool then shows the same names.
        archive_write_set_options(a_, "zip:hdrcharset=UTF-8");
        archive_write_set_bytes_in_last_block(a_, 1);
        return archive_write_open(a_, this, nullptr, &PendingArchive::Write, nullptr) == ARCHIVE_OK;
    }
    archive* Handle() const { return a_; }
    int WriteError() const { return writeError_; }  // errno of the first failed write to the file, else 0
    FileId Id() const {
        struct stat st {};
        fstat(fd_, &st);
        return {st.st_dev, st.st_ino};
    }

    // Closes the archive, makes it durable and gives it its name. errno tells why on failure.
    bool Commit(long long& size) {
        if (archive_write_close(a_) != ARCHIVE_OK || writeError_) {
            errno = writeError_ ? writeError_ : archive_errno(a_) > 0 ? archive_errno(a_) : EIO;
            return false;
        }
        struct stat st {};
        if (fsync(fd_) != 0 || fstat(fd_, &st) != 0) return false;
        size = st.st_size;
        const int fd = fd_;
        fd_ = -1;
        if (close(fd) != 0 || rename(temp_.c_str(), target_.c_str()) != 0) return false;
        temp_.clear();
        SyncFolder(ParentOf(target_));
        return true;
    }

private:
    // Once a write has failed, libarchive marks the archive fatal and never ends the ZIP entry's compressor,
    // which then stays allocated for good. So a failed write is only recorded here: libarchive goes on into
    // the void and closes cleanly, and the backup stops at its next check of WriteError().
    static la_ssize_t Write(archive*, void* self, const void* buf, size_t n) {
        auto* p = static_cast<PendingArchive*>(self);
        for (const char *b = static_cast<const char*>(buf), *end = b + n; b < end && !p->writeError_;) {
            const ssize_t w = ::write(p->fd_, b, static_cast<size_t>(end - b));
            if (w > 0) b += w;
            else if (w == 0) p->writeError_ = EIO;  // no progress would loop for ever
            else if (errno != EINTR) p->writeError_ = errno;
        }
        return static_cast<la_ssize_t>(n);
    }

    std::string target_, temp_;
    int fd_ = -1;
    int writeError_ = 0;
    archive* a_ = nullptr;
};

// A write into the archive failed: the disk's reason when there is one, else libarchive's.
std::string WriteFailed(const PendingArchive& p, const std::string& archivePath) {
    const char* why = archive_error_string(p.Handle());
    const int err = p.WriteError() ? p.WriteError() : archive_errno(p.Handle());
    return Gbk("不能写入备份文件 ") + archivePath + ": " + (err > 0 ? Reason(err) : plat::Utf8ToGbk(why ? why : ""));
}

// One file's bytes into the open entry; `error` says what failed.
bool CopyContent(const std::string& native, const Item& item, const PendingArchive& p, const Control& control,
                 const std::string& shown, const std::string& archivePath, std::string& error, bool& cancelled) {
    const int fd = open(native.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        error = Gbk("不能读取文件 ") + shown + ": " + Reason(errno);
        return false;
    }
    std::vector<char> buf(1 << 16);
    long long left = item.st.st_size;
    bool ok = true;
    while (ok && left > 0) {
        if (Cancelled(control)) {
            cancelled = true;
            ok = false;
            break;
        }
        const ssize_t n = read(fd, buf.data(), std::min<long long>(left, static_cast<long long>(buf.size())));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // The size was stored in the entry's header already; a file that shrank cannot be stored as it is.
            error = n < 0 ? Gbk("不能读取文件 ") + shown + ": " + Reason(errno)
                          : Gbk("文件 ") + shown + Gbk(" 在备份时被改动，请重试");
            ok = false;
        } else if (archive_write_data(p.Handle(), buf.data(), static_cast<size_t>(n)) != n || p.WriteError()) {
            error = WriteFailed(p, archivePath);
            ok = false;
        } else {
            left -= n;
        }
    }
    close(fd);
    return ok;
}

}  // namespace

Outcome Backup(const std::string& libraryRoot, const std::string& archivePath, const Control& control) {
    Outcome out;
    const std::string root = NativeFolder(libraryRoot);
    const std::string target = plat::ToNative(archivePath);
    std::string shownRoot = libraryRoot;
    if (shownRoot.empty() || shownRoot.back() != '\\') shownRoot += '\\';

    struct stat st;
    if (stat((root + "/_ _SETS_ _/class.list").c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        out.error = Gbk("目录 ") + libraryRoot + Gbk(" 不是资料库(没有 _ _SETS_ _\\class.list)");
        return out;
    }

    PendingArchive pending(target);
    if (!pending.Open()) {
        out.error = Gbk("不能写入备份文件 ") + archivePath + ": " + Reason(errno);
        return out;
    }
    // An archive chosen inside the library must not swallow itself, nor the previous archive it replaces.
    std::vector<FileId> skip{pending.Id()};
    if (stat(target.c_str(), &st) == 0) skip.push_back({st.st_dev, st.st_ino});

    std::vector<Item> items;
    Walker walker(root, shownRoot, skip);
    if (!walker.Walk("", items)) {
        out.error = walker.error;
        return out;
    }

    archive* a = pending.Handle();
    const long long total = static_cast<long long>(items.size());
    for (long long i = 0; i < total; ++i) {
        if (Cancelled(control)) {
            out.cancelled = true;
            return out;
        }
        const Item& item = items[i];
        std::string shown = item.rel;
        std::replace(shown.begin(), shown.end(), '/', '\\');
        shown = shownRoot + plat::Utf8ToGbk(shown);

        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname_utf8(e, (item.dir ? item.rel + "/" : item.rel).c_str());
        archive_entry_set_filetype(e, item.dir ? AE_IFDIR : AE_IFREG);
        archive_entry_set_perm(e, item.st.st_mode & 0777);
        archive_entry_set_mtime(e, item.st.st_mtim.tv_sec, item.st.st_mtim.tv_nsec);
        archive_entry_set_size(e, item.dir ? 0 : item.st.st_size);
        const int rc = archive_write_header(a, e);
        archive_entry_free(e);
        if (rc != ARCHIVE_OK || pending.WriteError()) {
            out.error = WriteFailed(pending, archivePath);
            return out;
        }
        if (!item.dir) {
            bool cancelled = false;
            if (!CopyContent(root + "/" + item.rel, item, pending, control, shown, archivePath, out.error, cancelled)) {
                out.cancelled = cancelled;
                return out;
            }
            ++out.files;
            out.bytes += item.st.st_size;
        }
        Tell(control, i + 1, total);
    }
    if (!pending.Commit(out.archiveBytes)) {
        out.error = Gbk("不能写入备份文件 ") + archivePath + ": " + Reason(errno);
        return out;
    }
    out.ok = true;
    return out;
}

}  // namespace archiving
