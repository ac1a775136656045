#include "search/watch_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace search {

WatchLock::WatchLock(std::string indexFile) : file_(std::move(indexFile) + ".watch") {}

WatchLock::~WatchLock() {
    if (fd_ >= 0) {
        if (held_) {
            // A later holder starts from "nothing applied yet" whatever this one left.
            SetPending(true);
            ::flock(fd_, LOCK_UN);
        }
        ::close(fd_);
    }
}

bool WatchLock::OpenFile() {
    if (fd_ >= 0) return true;
    // In the private cache folder; never through a link someone planted.
    fd_ = ::open(file_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    return fd_ >= 0;
}

bool WatchLock::TryHold() {
    if (held_) return true;
    if (!OpenFile()) return false;
    held_ = ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
    return held_;
}

bool WatchLock::Hold() {
    if (held_) return true;
    if (!OpenFile()) return false;
    // EINTR: the signal that stops the waiting program.
    held_ = ::flock(fd_, LOCK_EX) == 0;
    return held_;
}

void WatchLock::SetPending(bool pending) {
    if (!held_ || pending_ == static_cast<int>(pending)) return;
    const char byte = pending ? '1' : '0';
    if (::pwrite(fd_, &byte, 1, 0) == 1) pending_ = pending;
}

bool WatchLock::Live(const std::string& indexFile) {
    const std::string file = indexFile + ".watch";
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    // A shared lock is refused only while someone holds the exclusive one.
    const bool free = ::flock(fd, LOCK_SH | LOCK_NB) == 0;
    const bool held = !free && errno == EWOULDBLOCK;
    ::close(fd);  // lets go of the shared lock too
    return held;
}

bool WatchLock::WaitSettled(const std::string& indexFile, int timeoutMs) {
    const std::string file = indexFile + ".watch";
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    bool settled = false;
    for (int waited = 0;; waited += 2) {
        char byte = 0;
        settled = ::pread(fd, &byte, 1, 0) == 1 && byte == '0';
        if (settled || waited >= timeoutMs) break;
        const timespec pause{0, 2000000};
        nanosleep(&pause, nullptr);
    }
    ::close(fd);
    return settled;
}

}  // namespace search
