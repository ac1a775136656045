// Whether a library's index is kept current by a live watch. The watching process holds an exclusive flock on
// a file beside the index for as long as its watch follows the library; the kernel drops the lock with the
// process, so a watch that crashed is no watch. The file's first byte says whether the holder has seen changes
// it has not applied yet, so that a reader can wait for them instead of answering from before them.
#pragma once

#include <string>

namespace search {

class WatchLock {
public:
    // indexFile: the index's native path; the lock is that path with ".watch" added.
    explicit WatchLock(std::string indexFile);
    ~WatchLock();  // lets go
    WatchLock(const WatchLock&) = delete;
    WatchLock& operator=(const WatchLock&) = delete;

    // True when this object holds the lock now (it may have before). Another holder: false at once.
    bool TryHold();
    // Waits for the lock; false when a signal (or a failure to make the file) came first.
    bool Hold();
    bool Holding() const { return held_; }
    const std::string& File() const { return file_; }
    // While holding: changes are waiting to be applied, or none are.
    void SetPending(bool pending);

    // Another holder follows the index now (a process, or another object of this one).
    static bool Live(const std::string& indexFile);
    // Waits at most timeoutMs for the holder to apply what it has seen; false when it still has not.
    static bool WaitSettled(const std::string& indexFile, int timeoutMs);

private:
    bool OpenFile();
    std::string file_;
    int fd_ = -1;
    bool held_ = false;
    int pending_ = -1;  // what the file's byte says, -1 before the first write
};

}  // namespace search
