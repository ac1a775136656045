#include "search/indexer.h"

#include "platform/codec.h"

#include <algorithm>
#include <vector>

namespace search {
namespace {

std::mutex& LiveMutex() {
    static std::mutex m;
    return m;
}
std::vector<Indexer*>& Live() {
    static std::vector<Indexer*> v;
    return v;
}

}  // namespace

Indexer::Indexer() : thread_([this] { Run(); }) {
    std::lock_guard<std::mutex> lock(LiveMutex());
    Live().push_back(this);
}

void Indexer::TouchAll(const std::string& internalPath) {
    std::lock_guard<std::mutex> lock(LiveMutex());
    for (Indexer* i : Live()) i->Touch(internalPath);
}

Indexer::~Indexer() {
    {
        std::lock_guard<std::mutex> lock(LiveMutex());
        Live().erase(std::find(Live().begin(), Live().end(), this));
    }
    {
        std::lock_guard<std::mutex> lock(mu_);
        stop_ = true;
        progress_.cancel = true;
    }
    cv_.notify_all();
    thread_.join();
}

void Indexer::SetLibrary(const std::string& libRoot) {
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (libRoot != libRoot_) {
            // Whatever was queued belongs to the library being left, and so does a refresh under way.
            jobs_.clear();
            progress_.cancel = true;
            rebuilding_ = false;
            // The watch follows the new library now: the old one's readers must look for themselves.
            lock_.reset();
            checkedSinceHeld_ = false;
        }
        libRoot_ = libRoot;
        error_.clear();
        // Paths told before this stay queued: the refresh would find them too, but they are cheap.
        const bool queued = std::any_of(jobs_.begin(), jobs_.end(), [](const Job& j) { return j.kind == Job::Library; });
        if (!queued) jobs_.push_back({Job::Library, libRoot});
    }
    cv_.notify_all();
}

void Indexer::Touch(const std::string& internalPath) {
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (libRoot_.empty()) return;
        jobs_.push_back({Job::Path, internalPath});
    }
    cv_.notify_all();
}

void Indexer::Rebuild() {
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (libRoot_.empty() || rebuilding_) return;
        // A refresh under way works on the damaged file: it stops, and the rebuild refreshes anyway.
        progress_.cancel = true;
        jobs_.clear();
        jobs_.push_back({Job::Rebuild, libRoot_});
        rebuilding_ = true;
    }
    cv_.notify_all();
}

Indexer::Status Indexer::GetStatus() {
    std::lock_guard<std::mutex> lock(mu_);
    Status s;
    s.libRoot = libRoot_;
    s.busy = working_ || !jobs_.empty();
    s.building = (working_ && workingOnLibrary_) ||
                 std::any_of(jobs_.begin(), jobs_.end(), [](const Job& j) { return j.kind != Job::Path; });
    s.rebuilding = rebuilding_;
    s.done = progress_.done;
    s.total = progress_.total;
    s.error = error_;
    return s;
}

void Indexer::WaitIdle() {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait(lock, [this] { return stop_ || (!working_ && jobs_.empty()); });
}

std::unique_ptr<Index> Indexer::OpenForQuery(std::string& error, bool* damaged) {
    std::string root;
    {
        std::lock_guard<std::mutex> lock(mu_);
        root = libRoot_;
    }
    if (root.empty()) return nullptr;
    auto index = std::make_unique<Index>(root);
    if (!index->Open(error, false)) {
        if (damaged) *damaged = index->Damaged();
        return nullptr;
    }
    return index;
}

void Indexer::Run() {
    std::unique_ptr<Index> index;
    std::unique_lock<std::mutex> lock(mu_);
    for (;;) {
        cv_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
        if (stop_) return;
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        working_ = true;
        workingOnLibrary_ = job.kind != Job::Path;
        if (job.kind != Job::Path) {
            progress_.cancel = false;
            progress_.done = 0;
            progress_.total = 0;
        }
        lock.unlock();

        // Whatever fails here (a card too large for memory, a file system error thrown as an exception)
        // ends this job with a message in the search window, never the program.
        std::string error;
        try {
            error = Work(job, index);
        } catch (const std::exception& e) {
            index.reset();
            error = plat::Gbk("建立检索索引时出错: ") + plat::Utf8ToGbk(e.what());
        }

        lock.lock();
        if (!error.empty()) error_ = error;
        if (job.kind == Job::Rebuild) rebuilding_ = false;
        working_ = false;
        PublishPendingLocked();
        cv_.notify_all();
    }
}

std::string Indexer::Work(const Job& job, std::unique_ptr<Index>& index) {
    std::string error;
    if (job.kind == Job::Path) {
        if (!index || !MayWrite(*index, false)) return error;
        if (!index->Touch(job.path)) {
            // A look at one path that fails leaves the index behind the disk: the next full check finds it.
            Record(*index, false);
            std::lock_guard<std::mutex> lock(mu_);
            checkedSinceHeld_ = false;
            return error;
        }
        Record(*index, true);
        return error;
    }
    if (job.kind == Job::Library || !index) {
        index = std::make_unique<Index>(job.path);
        if (!index->Open(error)) {
            index.reset();
            return error;
        }
    }
    // A damaged file is built again whoever holds the lock: the watch that does would go on answering from it.
    if (!MayWrite(*index, true) && job.kind != Job::Rebuild) return error;
    if (job.kind == Job::Rebuild && !index->Rebuild(error)) {
        index.reset();
        return error;
    }
    Record(*index, false);  // a full check under way: no reader trusts the index until it ends
    const bool ok = index->Refresh(&progress_);
    {
        std::lock_guard<std::mutex> lock(mu_);
        checkedSinceHeld_ = ok && lock_ && lock_->Holding();
    }
    Record(*index, ok);
    if (!ok && !progress_.cancel) return plat::Gbk("读取资料库 ") + job.path + plat::Gbk(" 时出错");
    return error;
}

void Indexer::SetWatched(bool on, std::unique_ptr<WatchLock> held) {
    {
        std::lock_guard<std::mutex> lock(mu_);
        watched_ = on;
        lock_ = on ? std::move(held) : nullptr;
        checkedSinceHeld_ = false;
        // The first full check under the lock is what makes the index current.
        const bool queued = std::any_of(jobs_.begin(), jobs_.end(), [](const Job& j) { return j.kind != Job::Path; });
        if (on && !libRoot_.empty() && !queued) jobs_.push_back({Job::Library, libRoot_});
    }
    cv_.notify_all();
}

void Indexer::WatchWoke() {
    std::lock_guard<std::mutex> lock(mu_);
    ++wakes_;
    if (lock_) lock_->SetPending(true);
}

std::uint64_t Indexer::WatchWakes() {
    std::lock_guard<std::mutex> lock(mu_);
    return wakes_;
}

void Indexer::WatchSettled(std::uint64_t seen) {
    std::lock_guard<std::mutex> lock(mu_);
    settled_ = seen;
    PublishPendingLocked();
}

bool Indexer::HoldsWatch() {
    std::lock_guard<std::mutex> lock(mu_);
    return lock_ && lock_->Holding();
}

void Indexer::PublishPendingLocked() {
    if (lock_ && lock_->Holding()) lock_->SetPending(working_ || !jobs_.empty() || wakes_ != settled_);
}

bool Indexer::MayWrite(const Index& index, bool fullCheck) {
    std::lock_guard<std::mutex> lock(mu_);
    if (!watched_) return true;
    if (lock_ && lock_->File() != index.FilePath() + ".watch") lock_.reset();  // the previous library's
    if (!lock_) lock_ = std::make_unique<WatchLock>(index.FilePath());
    if (lock_->Holding()) return true;
    if (!lock_->TryHold()) return false;  // another watch keeps this index
    lock_->SetPending(true);
    checkedSinceHeld_ = false;
    // Changes went by while another watch held the lock, or none did: only a full check can say.
    if (!fullCheck) jobs_.push_back({Job::Library, libRoot_});
    return true;
}

void Indexer::Record(Index& index, bool checked) {
    bool holding, current;
    {
        std::lock_guard<std::mutex> lock(mu_);
        holding = lock_ && lock_->Holding();
        current = checked && checkedSinceHeld_;
    }
    if (holding) index.RecordWatch(current);
}

}  // namespace search
