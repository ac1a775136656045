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
#include <cstring>
#include <optional>
#include <vector>

#include "library/archive.h"
#include "library/archive_io.h"
#include "platform/codec.h"
#include "platform/path.h"
#include "platform/text.h"

using plat::Gbk;

namespace archiving {
namespace {

using namespace detail;

struct Item {
    std::string rel;  // UTF-8, '/' between components, no trailing '/'
    bool dir = false;
    struct stat st {};
};

// An entry of the library as messages name it: the library as the user gave it, then the entry, cut when
// long.
std::string ShownItem(const std::string& shownRoot, const std::string& rel) {
    std::string s = rel;
    std::replace(s.begin(), s.end(), '/', '\\');
    return plat::Abbreviate(shownRoot + plat::Utf8ToGbk(s));
}

class Walker {
public:
    Walker(std::string root, std::string shownRoot)
        : root_(std::move(root)), shownRoot_(std::move(shownRoot)) {}

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
    std::string Shown(const std::string& rel) const { return ShownItem(shownRoot_, rel); }
    bool Fail(std::string text) {
        error = std::move(text);
        return false;
    }

    std::string root_, shownRoot_;
};

// The archive being written: a temporary file beside the target, removed unless it was renamed into place.
// `target` is where the bytes go: a symbolic link given by the user is resolved already.
class PendingArchive {
public:
    explicit PendingArchive(std::string target) : target_(std::move(target)) {}
    ~PendingArchive() {
        if (a_) archive_write_free(a_);
        if (fd_ >= 0) close(fd_);
        if (!temp_.empty()) unlink(temp_.c_str());
    }

    bool Open() {
        for (int attempt = 0; fd_ < 0 && attempt < 3; ++attempt) {
            temp_ = TemporaryTemplate(target_);
            fd_ = mkstemp(temp_.data());
            if (fd_ < 0) {
                temp_.clear();
                return false;
            }
            if (!ClaimTemporary(fd_, temp_)) {
                close(fd_);
                fd_ = -1;
                temp_.clear();
                errno = EAGAIN;
            }
        }
        if (fd_ < 0) return false;
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

    // Closes the archive, makes it durable and gives it its name. errno tells why on failure.
    bool Commit(long long& size) {
        if (archive_write_close(a_) != ARCHIVE_OK || writeError_) {
            errno = writeError_ ? writeError_ : archive_errno(a_) > 0 ? archive_errno(a_) : EIO;
            return false;
        }
        struct stat st {};
        if (fsync(fd_) != 0 || fstat(fd_, &st) != 0) return false;
        size = st.st_size;
        // Renamed while still open: its lock tells a clean-up running meanwhile that it is no left-over.
        if (rename(temp_.c_str(), target_.c_str()) != 0) return false;
        temp_.clear();
        const int fd = fd_;
        fd_ = -1;
        if (close(fd) != 0) return false;
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
    return Gbk("不能写入备份文件 ") + plat::Abbreviate(archivePath) + ": " +
           (err > 0 ? Reason(err) : plat::Utf8ToGbk(why ? why : ""));
}

// One file of the library while its bytes go into the archive. What is stored is what the opened file holds:
// its size and time come from the descriptor, not from the listing, so a card saved (a new file renamed over
// it) since the listing is stored whole. A file that changes while it is read, or that is no longer a plain
// file (a pipe put in its place must not block the backup), is reported as changed.
class CardFile {
public:
    ~CardFile() {
        if (fd_ >= 0) close(fd_);
    }
    // False with errno; errno 0 when the file changed kind since the listing.
    bool Open(const std::string& native) {
        fd_ = open(native.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return false;
        if (fstat(fd_, &st_) != 0) return false;
        errno = 0;
        return S_ISREG(st_.st_mode);
    }
    const struct stat& Stat() const { return st_; }
    int Fd() const { return fd_; }
    // After the last byte: nothing more to read, and the same size and time as when it was opened.
    bool Unchanged() const {
        char extra;
        struct stat now;
        ssize_t n;
        do n = read(fd_, &extra, 1);
        while (n < 0 && errno == EINTR);
        return n == 0 && fstat(fd_, &now) == 0 && now.st_size == st_.st_size &&
               now.st_mtim.tv_sec == st_.st_mtim.tv_sec && now.st_mtim.tv_nsec == st_.st_mtim.tv_nsec;
    }

private:
    int fd_ = -1;
    struct stat st_ {};
};

std::string Changed(const std::string& shown) {
    return Gbk("文件 ") + shown + Gbk(" 在备份时被改动，请重试");
}

// The opened file's bytes into the open entry; `error` says what failed.
bool CopyContent(const CardFile& file, const PendingArchive& p, const Control& control,
                 const std::string& shown, const std::string& archivePath, std::string& error,
                 bool& cancelled) {
    std::vector<char> buf(1 << 16);
    for (long long left = file.Stat().st_size; left > 0;) {
        if (Cancelled(control)) {
            cancelled = true;
            return false;
        }
        const ssize_t n =
            read(file.Fd(), buf.data(), std::min<long long>(left, static_cast<long long>(buf.size())));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // The size was stored in the entry's header already; a file that shrank cannot be stored as it is.
            error = n < 0 ? Gbk("不能读取文件 ") + shown + ": " + Reason(errno) : Changed(shown);
            return false;
        }
        if (archive_write_data(p.Handle(), buf.data(), static_cast<size_t>(n)) != n || p.WriteError()) {
            error = WriteFailed(p, archivePath);
            return false;
        }
        left -= n;
    }
    if (file.Unchanged()) return true;
    error = Changed(shown);
    return false;
}

bool IsZip(const std::string& native) {
    const int fd = open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    char magic[4] = {};
    const bool read4 = read(fd, magic, 4) == 4;
    close(fd);
    // A local file header, or the end record of an archive with no entries.
    return read4 && (std::memcmp(magic, "PK\3\4", 4) == 0 || std::memcmp(magic, "PK\5\6", 4) == 0);
}

}  // namespace

ArchiveTarget CheckArchiveTarget(const std::string& libraryRoot, const std::string& archivePath,
                                 std::string& error) {
    auto refuse = [&](const std::string& why) {
        error = Gbk("不能写入备份文件 ") + plat::Abbreviate(archivePath) + ": " + why;
        return ArchiveTarget::Refused;
    };
    const std::optional<std::string> target = plat::WriteThroughLink(plat::ToNative(archivePath));
    if (!target) return refuse(Gbk("符号链接指向的文件不存在"));
    // Inside the library the archive would swallow itself, or take the place of a card.
    if (IsInside(RealFolder(ParentOf(*target)), RealFolder(NativeFolder(libraryRoot))))
        return refuse(Gbk("备份文件不能放在要备份的资料库之中"));
    struct stat st;
    if (stat(target->c_str(), &st) != 0) return ArchiveTarget::Free;
    if (S_ISDIR(st.st_mode)) return refuse(Reason(EISDIR));
    if (!S_ISREG(st.st_mode)) return refuse(Gbk("不是普通文件"));
    if (st.st_size == 0 || IsZip(*target)) return ArchiveTarget::Free;
    error = Gbk("文件 ") + plat::Abbreviate(archivePath) + Gbk(" 不是 ZIP 归档，备份不会替换它");
    return ArchiveTarget::Foreign;
}

Outcome Backup(const std::string& libraryRoot, const std::string& archivePath, const Control& control,
               bool replaceForeign) {
    Outcome out;
    const std::string root = NativeFolder(libraryRoot);
    std::string shownRoot = libraryRoot;
    if (shownRoot.empty() || shownRoot.back() != '\\') shownRoot += '\\';

    struct stat st;
    if (stat((root + "/_ _SETS_ _/class.list").c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        out.error =
            Gbk("目录 ") + plat::Abbreviate(libraryRoot) + Gbk(" 不是资料库(没有 _ _SETS_ _\\class.list)");
        return out;
    }
    const ArchiveTarget allowed = CheckArchiveTarget(libraryRoot, archivePath, out.error);
    if (allowed == ArchiveTarget::Refused || (allowed == ArchiveTarget::Foreign && !replaceForeign))
        return out;
    out.error.clear();
    const std::string target = plat::WriteThroughLink(plat::ToNative(archivePath)).value_or(std::string());

    RemoveStaleTemporaries(target);
    PendingArchive pending(target);
    if (!pending.Open()) {
        out.error = Gbk("不能写入备份文件 ") + plat::Abbreviate(archivePath) + ": " + Reason(errno);
        return out;
    }

    std::vector<Item> items;
    Walker walker(root, shownRoot);
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
        const std::string shown = ShownItem(shownRoot, item.rel);
        CardFile file;
        if (!item.dir && !file.Open(root + "/" + item.rel)) {
            const bool changed = errno == 0 || errno == ENOENT || errno == ELOOP;
            out.error = changed ? Changed(shown) : Gbk("不能读取文件 ") + shown + ": " + Reason(errno);
            return out;
        }
        const struct stat& now = item.dir ? item.st : file.Stat();
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname_utf8(e, (item.dir ? item.rel + "/" : item.rel).c_str());
        archive_entry_set_filetype(e, item.dir ? AE_IFDIR : AE_IFREG);
        archive_entry_set_perm(e, now.st_mode & 0777);
        archive_entry_set_mtime(e, now.st_mtim.tv_sec, now.st_mtim.tv_nsec);
        archive_entry_set_size(e, item.dir ? 0 : now.st_size);
        const int rc = archive_write_header(a, e);
        archive_entry_free(e);
        if (rc != ARCHIVE_OK || pending.WriteError()) {
            out.error = WriteFailed(pending, archivePath);
            return out;
        }
        if (!item.dir) {
            bool cancelled = false;
            if (!CopyContent(file, pending, control, shown, archivePath, out.error, cancelled)) {
                out.cancelled = cancelled;
                return out;
            }
            ++out.files;
            out.bytes += now.st_size;
        }
        Tell(control, i + 1, total);
    }
    if (!pending.Commit(out.archiveBytes)) {
        out.error = Gbk("不能写入备份文件 ") + plat::Abbreviate(archivePath) + ": " + Reason(errno);
        return out;
    }
    out.ok = true;
    return out;
}

}  // namespace archiving
