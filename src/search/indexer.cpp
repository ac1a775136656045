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
        cv_.notify_all();
    }
}

std::string Indexer::Work(const Job& job, std::unique_ptr<Index>& index) {
    std::string error;
    if (job.kind == Job::Path) {
        if (index) index->Touch(job.path);
        return error;
    }
    if (job.kind == Job::Library || !index) {
        index = std::make_unique<Index>(job.path);
        if (!index->Open(error)) {
            index.reset();
            return error;
        }
    }
    if (job.kind == Job::Rebuild && !index->Rebuild(error)) {
        index.reset();
        return error;
    }
    if (!index->Refresh(&progress_) && !progress_.cancel) return plat::Gbk("读取资料库 ") + job.path + plat::Gbk(" 时出错");
    return error;
}

}  // namespace search
