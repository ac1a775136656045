#include "platform/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>

#include "platform/codec.h"
#include "platform/path.h"
#include "platform/posix_io.h"

namespace plat {

namespace {

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now and reports the close error (a delayed write error shows up here).
    bool Close() {
        int fd = fd_;
        fd_ = -1;
        return close(fd) == 0;
    }

private:
    int fd_;
};

bool OwnerMayWrite(const struct stat& st) { return (st.st_mode & S_IWUSR) != 0; }

// Attribute bits for one entry (`name` relative to `dirFd`; `hiddenName` its last component). Regular files
// named by d_type need no stat: a file only has to differ from a plain directory, which kAttrArchive already
// makes it.
unsigned Attributes(int dirFd, const char* name, unsigned char type, const char* hiddenName) {
    unsigned hidden = hiddenName[0] == '.' ? unsigned{kAttrHidden} : 0u;
    if (type == DT_REG) return kAttrArchive | hidden;
    struct stat st;
    if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return kAttrArchive | hidden;  // vanished
    unsigned readOnly = OwnerMayWrite(st) ? 0u : unsigned{kAttrReadOnly};
    if (S_ISLNK(st.st_mode)) {
        struct stat target;
        bool toDir = fstatat(dirFd, name, &target, 0) == 0 && S_ISDIR(target.st_mode);
        return kAttrReparse | hidden | (toDir ? kAttrDirectory : kAttrArchive);
    }
    if (S_ISDIR(st.st_mode)) return kAttrDirectory | readOnly | hidden;
    return kAttrArchive | readOnly | hidden;
}

}  // namespace

namespace {

// Orders like comparing the names with ASCII letters upper-cased, byte by byte (UTF-8 byte order is code
// point order), without building the upper-cased copies.
int CompareFolded(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

}  // namespace

bool ListDir(std::string_view dir, std::vector<DirEntry>& out) {
    std::size_t kept = 0;  // entries of `out` filled so far; their strings are reused, not reallocated
    struct Trim {
        std::vector<DirEntry>& out;
        std::size_t& kept;
        ~Trim() { out.resize(kept); }
    } trim{out, kept};

    std::string native = ToNative(dir);
    // getdents64 straight into a buffer on the stack: opendir would allocate a 32 KB buffer per folder,
    // and on a library of thousands of classes that allocation (and the heap consolidation it sets off
    // after the small blocks freed since the last folder) costs as much as the listing itself.
    Fd fd(open(native.empty() ? "." : native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) return false;
    struct Item {
        std::uint32_t offset, size;  // of the name in `names`
        unsigned attrs;
    };
    thread_local std::string names;  // every UTF-8 name, back to back
    thread_local std::vector<Item> items;
    names.clear();
    items.clear();
    alignas(8) char buf[32768];
    for (;;) {
        const ssize_t got = getdents64(fd.get(), buf, sizeof buf);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        for (ssize_t pos = 0; pos < got;) {
            const auto* e = reinterpret_cast<const struct dirent64*>(buf + pos);
            pos += e->d_reclen;
            const std::string_view name = e->d_name;
            if (name == "." || name == "..") continue;
            items.push_back({static_cast<std::uint32_t>(names.size()),
                             static_cast<std::uint32_t>(name.size()),
                             Attributes(fd.get(), e->d_name, e->d_type, e->d_name)});
            names += name;
        }
    }
    auto nameOf = [](const Item& i) { return std::string_view(names).substr(i.offset, i.size); };
    std::sort(items.begin(), items.end(),
              [&nameOf](const Item& a, const Item& b) { return CompareNames(nameOf(a), nameOf(b)) < 0; });
    for (const Item& item : items) {
        if (kept == out.size()) out.emplace_back();
        DirEntry& entry = out[kept];
        if (!TryUtf8ToGbk(nameOf(item), entry.name)) continue;  // GBK cannot name it
        entry.attrs = item.attrs;
        ++kept;
    }
    return true;
}

int CompareNames(std::string_view a, std::string_view b) {
    const int byFolded = CompareFolded(a, b);
    return byFolded != 0 ? byFolded : a.compare(b);
}

unsigned AttributesOf(std::string_view path) {
    std::string native = ToNative(path);
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    struct stat st;
    if (lstat(native.c_str(), &st) != 0) return 0;
    const std::size_t slash = native.rfind('/');
    return Attributes(AT_FDCWD, native.c_str(), DT_UNKNOWN,
                      native.c_str() + (slash == std::string::npos ? 0 : slash + 1));
}

bool io::WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string io::FolderOf(const std::string& native) {
    std::size_t end = native.size();
    while (end > 1 && native[end - 1] == '/') --end;
    const std::size_t slash = native.rfind('/', end - 1);
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : native.substr(0, slash);
}

void io::SyncFolderOf(const std::string& native) {
    Fd dir(open(FolderOf(native).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) fsync(dir.get());
}

bool CreateDir(std::string_view path) {
    const std::string native = ToNative(path);
    if (mkdir(native.c_str(), 0777) != 0) return false;
    // A list or the registry that names this folder next must not outlive it in a power cut.
    io::SyncFolderOf(native);
    return true;
}

bool RemoveDir(std::string_view path) { return rmdir(ToNative(path).c_str()) == 0; }

bool CopyFile(std::string_view src, std::string_view dst, bool failIfExists) {
    const std::string from = ToNative(src), to = ToNative(dst);
    // O_NONBLOCK: a named pipe as the source must fail below, not wait for a writer here.
    Fd in(open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat srcSt;
    if (in.get() < 0 || fstat(in.get(), &srcSt) != 0) return false;
    if (!S_ISREG(srcSt.st_mode)) {
        errno = EISDIR;
        return false;
    }
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
    bool replacing = false;
    struct stat dstSt;
    if (failIfExists) {
        flags |= O_EXCL;
    } else if (stat(to.c_str(), &dstSt) == 0) {
        replacing = true;
        // Like the system's copy: a read-only target blocks it (even for root), and so does the file itself.
        if (S_ISDIR(dstSt.st_mode) || !OwnerMayWrite(dstSt) ||
            (dstSt.st_dev == srcSt.st_dev && dstSt.st_ino == srcSt.st_ino)) {
            errno = EACCES;
            return false;
        }
        flags |= O_TRUNC;
    }
    Fd out(open(to.c_str(), flags, srcSt.st_mode & 0777));
    if (out.get() < 0) return false;
    bool ok = true;
    char buf[64 * 1024];
    while (ok) {
        ssize_t n = read(in.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = io::WriteAll(out.get(), buf, static_cast<std::size_t>(n));
    }
    // The copy is on the disk under its name before anything names it (a new library's template files).
    ok = ok && fsync(out.get()) == 0;
    ok = out.Close() && ok;
    if (ok) io::SyncFolderOf(to);
    if (!ok && !replacing) {
        int err = errno;
        unlink(to.c_str());  // no half-copied new file is left behind
        errno = err;
    }
    return ok;
}

bool DeleteFile(std::string_view path) { return unlink(ToNative(path).c_str()) == 0; }

bool IsFile(std::string_view path) {
    struct stat st;
    return stat(ToNative(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDir(std::string_view path) {
    struct stat st;
    return stat(ToNative(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(std::string_view path) {
    struct stat st;
    return lstat(ToNative(path).c_str(), &st) == 0;
}

bool IsPlainDirectoryPath(std::string_view path) {
    std::string native = ToNative(path);
    while (native.size() > 1 && native.back() == '/') native.pop_back();  // lstat of "x/" follows a link
    struct stat st;
    return lstat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && OwnerMayWrite(st);
}

bool FolderHoldsVisibleNames(std::string_view dir) {
    const std::string native = ToNative(dir);
    DIR* d = opendir(native.empty() ? "." : native.c_str());
    if (!d) return false;
    bool any = false;
    while (const dirent* e = readdir(d)) {
        if (e->d_name[0] != '.') {
            any = true;
            break;
        }
    }
    closedir(d);
    return any;
}

namespace {
FileStamp FromStat(const struct stat& st) {
    FileStamp s;
    s.exists = true;
    s.size = static_cast<long long>(st.st_size);
    s.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.ctimeNs = static_cast<long long>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
    return s;
}
}  // namespace

FileStamp StampOf(std::string_view path) {
    struct stat st;
    if (stat(ToNative(path).c_str(), &st) != 0) return {};
    return FromStat(st);
}

std::optional<std::string> LinkText(std::string_view path) {
    const std::string native = ToNative(path);
    struct stat st;
    if (lstat(native.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return std::nullopt;
    std::string text(4096, '\0');
    const ssize_t n = readlink(native.c_str(), text.data(), text.size());
    if (n < 0) return std::nullopt;
    text.resize(static_cast<std::size_t>(n));
    return text;
}

namespace {
std::function<void(const char*)>& PauseHook() {
    static std::function<void(const char*)> hook;
    return hook;
}
}  // namespace

// Where the file system cannot promise RENAME_NOREPLACE (EINVAL), a check just before the rename.
int MoveNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL) return -1;
    struct stat st;
    if (lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return -1;
    }
    return rename(from.c_str(), to.c_str());
}

namespace fault {
void PauseAt(std::function<void(const char* where)> at) { PauseHook() = std::move(at); }
void Paused(const char* where) {
    // A copy: the hook may switch itself off while it runs.
    if (const std::function<void(const char*)> hook = PauseHook()) hook(where);
}
}  // namespace fault

FileStamp StampOfFd(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0) return {};
    return FromStat(st);
}

std::string SystemReason(int err) {
    switch (err) {
        case EACCES:
        case EPERM: return Utf8ToGbk("没有写入的权限");
        case EROFS: return Utf8ToGbk("文件系统是只读的");
        case ENOSPC: return Utf8ToGbk("磁盘空间不足");
        case EDQUOT: return Utf8ToGbk("超出了磁盘配额");
        case ENOENT: return Utf8ToGbk("文件夹不存在");
        case ENOTDIR: return Utf8ToGbk("路径中有一部分不是文件夹");
        case EISDIR: return Utf8ToGbk("这是一个文件夹");
        case ENAMETOOLONG: return Utf8ToGbk("文件名太长");
        case EIO: return Utf8ToGbk("读写设备时出错");
        default: return Utf8ToGbk(std::strerror(err));
    }
}

std::string GetCurrentDir() {
    std::string buf(4096, '\0');
    while (!getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE) return {};
        buf.resize(buf.size() * 2);
    }
    buf.resize(buf.find('\0'));
    // A folder GBK cannot name gets '?' in place of the character, a path that is then simply not found.
    if (std::optional<std::string> internal = FromNative(buf)) return *internal;
    std::string lenient = Utf8ToGbk(buf);
    std::replace(lenient.begin(), lenient.end(), '/', '\\');
    return lenient;
}

bool SetCurrentDir(std::string_view path) { return chdir(ToNative(path).c_str()) == 0; }

}  // namespace plat
