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

Indexer::Status Indexer::GetStatus() {
    std::lock_guard<std::mutex> lock(mu_);
    Status s;
    s.libRoot = libRoot_;
    s.busy = working_ || !jobs_.empty();
    s.done = progress_.done;
    s.total = progress_.total;
    s.error = error_;
    return s;
}

void Indexer::WaitIdle() {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait(lock, [this] { return stop_ || (!working_ && jobs_.empty()); });
}

std::unique_ptr<Index> Indexer::OpenForQuery(std::string& error) {
    std::string root;
    {
        std::lock_guard<std::mutex> lock(mu_);
        root = libRoot_;
    }
    if (root.empty()) return nullptr;
    auto index = std::make_unique<Index>(root);
    if (!index->Open(error, false)) return nullptr;
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
        if (job.kind == Job::Library) {
            progress_.cancel = false;
            progress_.done = 0;
            progress_.total = 0;
        }
        lock.unlock();

        std::string error;
        bool ok = true;
        if (job.kind == Job::Library) {
            index = std::make_unique<Index>(job.path);
            if (!index->Open(error)) {
                index.reset();
                ok = false;
            } else if (!index->Refresh(&progress_) && !progress_.cancel) {
                error = plat::Gbk("读取资料库 ") + job.path + plat::Gbk(" 时出错");
                ok = false;
            }
        } else if (index) {
            index->Touch(job.path);
        }

        lock.lock();
        if (!ok) error_ = error;
        working_ = false;
        cv_.notify_all();
    }
}

}  // namespace search
