#include "platform/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

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

// Attribute bits for one entry. Regular files named by d_type need no stat: a file only has to differ
// from a plain directory, which kAttrArchive already makes it.
unsigned Attributes(int dirFd, const char* name, unsigned char type) {
    unsigned hidden = name[0] == '.' ? unsigned{kAttrHidden} : 0u;
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

bool ListDir(std::string_view dir, std::vector<DirEntry>& out) {
    out.clear();
    std::string native = ToNative(dir);
    DIR* d = opendir(native.empty() ? "." : native.c_str());
    if (!d) return false;
    struct Item {
        std::string key;  // UTF-8, ASCII letters upper-cased: byte order is code point order
        std::string utf8;
        unsigned attrs;
    };
    std::vector<Item> items;
    const int fd = dirfd(d);
    errno = 0;
    while (dirent* e = readdir(d)) {
        std::string_view name = e->d_name;
        if (name == "." || name == "..") continue;
        Item item{std::string(name), std::string(name), Attributes(fd, e->d_name, e->d_type)};
        for (char& c : item.key)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        items.push_back(std::move(item));
        errno = 0;
    }
    const bool failed = errno != 0;
    closedir(d);
    if (failed) return false;
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        int byKey = a.key.compare(b.key);
        return byKey != 0 ? byKey < 0 : a.utf8 < b.utf8;
    });
    out.reserve(items.size());
    for (Item& item : items) {
        DirEntry entry;
        if (!TryUtf8ToGbk(item.utf8, entry.name)) continue;  // GBK cannot name it
        entry.attrs = item.attrs;
        out.push_back(std::move(entry));
    }
    return true;
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

bool CreateDir(std::string_view path) { return mkdir(ToNative(path).c_str(), 0777) == 0; }

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
    ok = out.Close() && ok;
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
