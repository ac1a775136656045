// Keeps the current library's index up to date off the window's thread: a full refresh after a library
// loads, and a look at single paths the program has just written or removed. The worker has its own
// connection; the window queries through another and never waits for the worker.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "search/index.h"
#include "search/watch_lock.h"

namespace search {

class Indexer {
public:
    Indexer();
    ~Indexer();  // stops the worker between two cards and waits for it
    Indexer(const Indexer&) = delete;
    Indexer& operator=(const Indexer&) = delete;

    // The library whose root (internal, ending with '\') the window now shows: its index is opened and
    // refreshed in the background. A refresh of the previous library still running is stopped.
    void SetLibrary(const std::string& libRoot);
    // A card file written, or a card or folder removed, by the program (internal path).
    void Touch(const std::string& internalPath);
    // A query found the current library's index damaged: it is thrown away and built again.
    void Rebuild();
    // The same, told to every indexer of the process: for dialogs that change a library without knowing
    // the window that keeps its index (the class manager).
    static void TouchAll(const std::string& internalPath);

    struct Status {
        std::string libRoot;  // "" before any library
        bool busy = false;    // a refresh or a touch is being worked on or waiting
        // A whole library is being gone through (done of total): a look at single paths, such as every save
        // and every change seen on disk brings, is no building of the index to tell the user about.
        bool building = false;
        bool rebuilding = false;  // a damaged index is being built again
        int done = 0, total = 0;
        std::string error;  // GBK; the index could not be opened, the library not read, or the work failed
    };
    Status GetStatus();
    // Blocks until nothing is waiting or running (tests, the command line).
    void WaitIdle();

    // This process's watch follows the current library (on), or no longer does (off). While on, the indexer
    // holds the library's watch lock, records its upkeep in the index (see Index::RecordWatch) and says in the
    // lock's file when changes it was told of wait. While another watch holds the lock, this one writes
    // nothing (that watch keeps the index) and takes the lock, with a full check, once it is free. `held`: the
    // lock of the current library's index, already held by the caller (the command line's watch waits for it).
    void SetWatched(bool on, std::unique_ptr<WatchLock> held = nullptr);
    // On the watch's thread: it has seen changes that are not yet told as Touch. Counted.
    void WatchWoke();
    std::uint64_t WatchWakes();
    // The watch's taker has told every change seen before WatchWakes() gave `seen`.
    void WatchSettled(std::uint64_t seen);
    bool HoldsWatch();

    // A connection of the caller's own to the current library's index, for queries; null before any
    // library or when the index cannot be opened (`damaged` set when it is damaged).
    std::unique_ptr<Index> OpenForQuery(std::string& error, bool* damaged = nullptr);

private:
    struct Job {
        enum Kind { Library, Path, Rebuild } kind;
        std::string path;
    };
    void Run();
    std::string Work(const Job& job, std::unique_ptr<Index>& index);  // the error, GBK
    // Whether this indexer may write `index` (not while another watch keeps it); takes the lock when watched.
    bool MayWrite(const Index& index, bool fullCheck);
    void Record(Index& index, bool checked);  // the watch's record, when holding the lock
    void PublishPendingLocked();
    std::mutex mu_;
    std::condition_variable cv_;
    std::deque<Job> jobs_;
    bool stop_ = false;
    bool working_ = false;
    bool workingOnLibrary_ = false;  // the job being worked on is not a look at one path
    bool rebuilding_ = false;
    std::string libRoot_;
    std::string error_;
    Progress progress_;
    bool watched_ = false;
    std::unique_ptr<WatchLock> lock_;  // while watched: the current index's
    bool checkedSinceHeld_ = false;    // a full check ran since lock_ was taken
    std::uint64_t wakes_ = 0, settled_ = 0;
    std::thread thread_;
};

}  // namespace search
