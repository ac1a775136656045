#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "platform/fs.h"
#include "platform/path.h"
#include "platform/posix_io.h"

namespace plat {

namespace {

constexpr std::size_t kBuffer = 64 * 1024;

// The fault hook: bytes the AtomicFile writes may still write (negative: no limit), and the error after.
std::atomic<long long> gWriteBudget{-1};
std::atomic<int> gWriteError{0};

// Writes what the fault hook lets through of `size` bytes; fails with the hook's error when that is less.
bool WriteFully(int fd, const char* data, std::size_t size) {
    std::size_t allowed = size;
    for (long long budget = gWriteBudget.load(); budget >= 0;) {
        long long granted = std::min<long long>(budget, static_cast<long long>(size));
        if (gWriteBudget.compare_exchange_weak(budget, budget - granted)) {
            allowed = static_cast<std::size_t>(granted);
            break;
        }
    }
    if (!io::WriteAll(fd, data, allowed)) return false;
    if (allowed < size) errno = gWriteError.load();
    return allowed == size;
}

bool Sync(int fd) {
    long long budget = gWriteBudget.load();
    if (budget == 0) {
        errno = gWriteError.load();
        return false;
    }
    return fsync(fd) == 0;
}

// A temporary file beside the target that no other file has; the kernel applies the umask. Its name
// does not contain the target's, so a file left behind by a crash is never taken for a card (".datum.").
int CreateTemporary(const std::string& target, std::string& tmpPath) {
    const std::string prefix = io::FolderOf(target) + "/.korvane-";
    thread_local std::mt19937_64 random{std::random_device{}()};
    static const char kDigits[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        tmpPath = prefix;
        for (int i = 0; i < 8; ++i) tmpPath += kDigits[random() % (sizeof kDigits - 1)];
        tmpPath += ".tmp";
        int fd = open(tmpPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// The name holds nothing, or a regular file: what the program may replace of its own files.
bool OwnName(const std::string& native) {
    struct stat st;
    if (lstat(native.c_str(), &st) != 0) return errno == ENOENT;
    if (S_ISREG(st.st_mode)) return true;
    errno = EINVAL;
    return false;
}

}  // namespace

namespace fault {
void FailWritesAfter(long long bytes, int err) {
    gWriteError = err;
    gWriteBudget = bytes < 0 ? -1 : bytes;
}
void Clear() {
    gWriteBudget = -1;
    FailReadsAfter(-1, 0);
}
}  // namespace fault

struct AtomicFile::Impl {
    enum class Kind { Rewrite, New, Own };
    Kind kind = Kind::Rewrite;
    std::string target;  // native; for a rewrite, symbolic links resolved
    std::string tmpPath;
    int fd = -1;
    std::string buf;
    bool failed = false;
    int error = 0;  // errno of the first failure, given back by Commit
    bool keepMode = false;  // an existing target's permission bits go to the new file
    mode_t mode = 0;
    FileStamp written;

    bool Flush() {
        if (!failed && !buf.empty() && !WriteFully(fd, buf.data(), buf.size())) Fail();
        buf.clear();
        return !failed;
    }

    bool Fail() {
        if (!failed) error = errno;
        failed = true;
        return false;
    }

    void Discard() {
        if (fd >= 0) close(fd);
        fd = -1;
        if (!tmpPath.empty()) unlink(tmpPath.c_str());
        tmpPath.clear();
        buf.clear();
    }

    bool Finish() {
        if (!Flush()) return false;
        if ((keepMode && fchmod(fd, mode) != 0) || !Sync(fd)) return Fail();
        written = StampOfFd(fd);
        int closing = fd;
        fd = -1;
        if (close(closing) != 0) return Fail();
        if (kind == Kind::New) {
            // Whatever arrived under the name since Open stays; the caller picks another name.
            if (renameat2(AT_FDCWD, tmpPath.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0)
                return Fail();
        } else if (kind == Kind::Own && !OwnName(target)) {
            return Fail();
        } else if (rename(tmpPath.c_str(), target.c_str()) != 0) {
            return Fail();
        }
        tmpPath.clear();
        fault::Paused("renamed");
        // The rename is done; making it durable is best effort, its failure does not undo the new content.
        io::SyncFolderOf(target);
        return true;
    }
};

AtomicFile::AtomicFile() = default;
AtomicFile::~AtomicFile() { Abort(); }

bool AtomicFile::Open(std::string_view path) { return OpenAs(path, 0); }

bool AtomicFile::OpenNew(std::string_view path) { return OpenAs(path, 1); }

bool AtomicFile::OpenOwn(std::string_view path) { return OpenAs(path, 2); }

bool AtomicFile::OpenAs(std::string_view path, int kind) {
    Abort();
    auto d = std::make_unique<Impl>();
    d->kind = static_cast<Impl::Kind>(kind);
    if (d->kind == Impl::Kind::Rewrite) {
        // Write through a link so it survives; a dangling link cannot be resolved and fails.
        const std::optional<std::string> target = WriteThroughLink(ToNative(path));
        if (!target) return false;
        d->target = *target;
    } else {
        d->target = ToNative(path);
    }
    struct stat st;
    if (d->kind == Impl::Kind::New && lstat(d->target.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    if (d->kind == Impl::Kind::Own && !OwnName(d->target)) return false;
    if (stat(d->target.c_str(), &st) == 0) {
        // Read-only by its mode bits, not by access(): root may write anything, the system's rule may not.
        if (S_ISDIR(st.st_mode) || !(st.st_mode & S_IWUSR)) {
            errno = S_ISDIR(st.st_mode) ? EISDIR : EACCES;
            return false;
        }
        d->keepMode = true;
        d->mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        return false;
    }
    d->fd = CreateTemporary(d->target, d->tmpPath);
    if (d->fd < 0) return false;
    d->buf.reserve(kBuffer);
    d_ = std::move(d);
    return true;
}

bool AtomicFile::Write(std::string_view bytes) {
    if (!d_ || d_->failed) return false;
    if (d_->buf.size() + bytes.size() > kBuffer && !d_->Flush()) return false;
    if (bytes.size() >= kBuffer) {
        if (!WriteFully(d_->fd, bytes.data(), bytes.size())) d_->Fail();
    } else {
        d_->buf.append(bytes);
    }
    return !d_->failed;
}

bool AtomicFile::Commit(FileStamp* written) {
    if (!d_) return false;
    bool ok = d_->Finish();
    if (ok && written) *written = d_->written;
    d_->Discard();
    if (!ok) errno = d_->error;
    d_.reset();
    return ok;
}

void AtomicFile::Abort() {
    if (!d_) return;
    d_->Discard();
    d_.reset();
}

}  // namespace plat
