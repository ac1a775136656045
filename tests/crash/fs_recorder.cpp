#include "crash/fs_recorder.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <mutex>

namespace crash {
namespace {

std::atomic<bool> gOn{false};
std::mutex gMutex;
std::string gRoot;  // symbolic links resolved, as the kernel names files
std::vector<Op> gOps;

// Where `path` lies below the recorded folder ("" for the folder itself), resolved as the kernel does against
// the current folder or an open folder; false when elsewhere.
bool Below(int dirfd, const char* path, std::string& rel) {
    std::string p = path;
    if (p.empty() || p[0] != '/') {
        const std::string link =
            dirfd == AT_FDCWD ? "/proc/self/cwd" : "/proc/self/fd/" + std::to_string(dirfd);
        char base[PATH_MAX];
        const ssize_t n = readlink(link.c_str(), base, sizeof base);
        p = std::string(base, std::max<ssize_t>(n, 0)) + "/" + p;
    }
    p = std::filesystem::path(p).lexically_normal().string();
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (!p.starts_with(gRoot) || p.ends_with(" (deleted)") ||
        (p.size() > gRoot.size() && p[gRoot.size()] != '/'))
        return false;
    rel = p.substr(std::min(p.size(), gRoot.size() + 1));
    return true;
}

void Add(Op op) {
    std::lock_guard<std::mutex> lock(gMutex);
    if (gOn) gOps.push_back(std::move(op));
}

// A call on one or two names, recorded when it succeeded and its names lie below the folder.
int Named(int result, Op::Kind kind, const char* a, const char* b = nullptr) {
    Op op(kind);
    if (result == 0 && gOn && Below(AT_FDCWD, a, op.path) && (!b || Below(AT_FDCWD, b, op.to))) Add(op);
    return result;
}

// The same for calls on names relative to open folders.
int NamedAt(int result, Op::Kind kind, int da, const char* a, int db = AT_FDCWD, const char* b = nullptr) {
    Op op(kind);
    if (result == 0 && gOn && Below(da, a, op.path) && (!b || Below(db, b, op.to))) Add(op);
    return result;
}

// What an open is about to do to the name: create it, or cut an existing file to nothing.
struct Opening {
    bool fresh = false, cuts = false;
};
Opening Before(int dirfd, const char* path, int flags) {
    Opening o;
    if (!gOn) return o;
    struct stat st;
    const bool exists = fstatat(dirfd, path, &st, 0) == 0;
    o.fresh = (flags & O_CREAT) && !exists;
    o.cuts = (flags & O_TRUNC) && exists && S_ISREG(st.st_mode) && st.st_size > 0 && (flags & O_ACCMODE) != O_RDONLY;
    return o;
}
void After(int fd, int dirfd, const char* path, const Opening& o) {
    if (fd < 0) return;
    if (o.fresh) NamedAt(0, Op::Create, dirfd, path);
    if (o.cuts) NamedAt(0, Op::Truncate, dirfd, path);
}

// A call on an open file, recorded under the name the file has now.
void OnFd(int fd, Op op) {
    if (gOn && Below(fd, "", op.path)) Add(std::move(op));
}

ssize_t Wrote(int fd, off_t at, const void* buf, ssize_t n) {
    if (n > 0)
        OnFd(fd, Op(Op::Write, at, std::string(static_cast<const char*>(buf), static_cast<size_t>(n))));
    return n;
}

}  // namespace

void StartRecording(const std::string& root) {
    std::lock_guard<std::mutex> lock(gMutex);
    gRoot = std::filesystem::canonical(root).string();
    gOps.clear();
    gOn = true;
}

std::vector<Op> StopRecording() {
    std::lock_guard<std::mutex> lock(gMutex);
    gOn = false;
    return std::move(gOps);
}

}  // namespace crash

// The functions the program's writers call (std::filesystem::copy writes with sendfile), each passing on to
// the next definition: the C library's own, or the sanitizer's interceptor in front of it.
#define REAL(name) static const auto real = reinterpret_cast<decltype(&::name)>(dlsym(RTLD_NEXT, #name))

extern "C" {
using crash::Op;

int open(const char* path, int flags, ...) {
    REAL(open);
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(ap, mode_t) : 0;
    va_end(ap);
    const crash::Opening o = crash::Before(AT_FDCWD, path, flags);
    const int fd = real(path, flags, mode);
    crash::After(fd, AT_FDCWD, path, o);
    return fd;
}
int openat(int dirfd, const char* path, int flags, ...) {
    REAL(openat);
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(ap, mode_t) : 0;
    va_end(ap);
    const crash::Opening o = crash::Before(dirfd, path, flags);
    const int fd = real(dirfd, path, flags, mode);
    crash::After(fd, dirfd, path, o);
    return fd;
}
int mkstemp(char* tmpl) {
    REAL(mkstemp);
    const int fd = real(tmpl);
    if (fd >= 0) crash::Named(0, Op::Create, tmpl);
    return fd;
}
char* mkdtemp(char* tmpl) {
    REAL(mkdtemp);
    char* made = real(tmpl);
    if (made) crash::Named(0, Op::Mkdir, made);
    return made;
}
ssize_t write(int fd, const void* buf, size_t n) {
    REAL(write);
    const off_t at = crash::gOn ? lseek(fd, 0, SEEK_CUR) : 0;
    return crash::Wrote(fd, at, buf, real(fd, buf, n));
}
ssize_t pwrite(int fd, const void* buf, size_t n, off_t at) {
    REAL(pwrite);
    return crash::Wrote(fd, at, buf, real(fd, buf, n, at));
}
ssize_t pwrite64(int fd, const void* buf, size_t n, off_t at) {
    REAL(pwrite64);
    return crash::Wrote(fd, at, buf, real(fd, buf, n, at));
}
ssize_t writev(int fd, const struct iovec* iov, int count) {
    REAL(writev);
    const off_t at = crash::gOn ? lseek(fd, 0, SEEK_CUR) : 0;
    const ssize_t n = real(fd, iov, count);
    std::string bytes;
    for (int i = 0; i < count && crash::gOn && n > 0; ++i)
        bytes.append(static_cast<const char*>(iov[i].iov_base), iov[i].iov_len);
    if (n > 0) bytes.resize(static_cast<size_t>(n));
    return crash::Wrote(fd, at, bytes.data(), n);
}
// The kernel copies without the bytes passing through here: they are read from the source first.
ssize_t sendfile(int out, int in, off_t* offset, size_t n) {
    REAL(sendfile);
    if (!crash::gOn) return real(out, in, offset, n);
    std::string bytes(std::min<size_t>(n, 1 << 20), '\0');
    if (pread(in, bytes.data(), bytes.size(), offset ? *offset : lseek(in, 0, SEEK_CUR)) < 0) return -1;
    const off_t at = lseek(out, 0, SEEK_CUR);
    return crash::Wrote(out, at, bytes.data(), real(out, in, offset, bytes.size()));
}
int fsync(int fd) {
    REAL(fsync);
    const int r = real(fd);
    if (r == 0) crash::OnFd(fd, Op(Op::Fsync));
    return r;
}
int syncfs(int fd) {
    REAL(syncfs);
    const int r = real(fd);
    if (r == 0) crash::Add(Op(Op::SyncAll));
    return r;
}
int rename(const char* a, const char* b) {
    REAL(rename);
    return crash::Named(real(a, b), Op::Rename, a, b);
}
int renameat2(int d1, const char* a, int d2, const char* b, unsigned flags) {
    REAL(renameat2);
    return crash::NamedAt(real(d1, a, d2, b, flags), Op::Rename, d1, a, d2, b);
}
int renameat(int d1, const char* a, int d2, const char* b) {
    REAL(renameat);
    return crash::NamedAt(real(d1, a, d2, b), Op::Rename, d1, a, d2, b);
}
int unlinkat(int dirfd, const char* path, int flags) {
    REAL(unlinkat);
    // A folder removed (AT_REMOVEDIR) is empty: nothing of its content to lose.
    return crash::NamedAt(real(dirfd, path, flags), Op::Unlink, dirfd, path);
}
int unlink(const char* path) {
    REAL(unlink);
    return crash::Named(real(path), Op::Unlink, path);
}
int mkdir(const char* path, mode_t mode) {
    REAL(mkdir);
    return crash::Named(real(path, mode), Op::Mkdir, path);
}
}
