#include "search/searcher.h"

#include "platform/codec.h"
#include "search/indexer.h"

namespace search {

Searcher::Searcher(Indexer& indexer, Answer answer)
    : indexer_(indexer), answer_(std::move(answer)), thread_([this] { Run(); }) {}

Searcher::~Searcher() {
    {
        std::lock_guard<std::mutex> lock(mu_);
        stop_ = true;
        pending_.reset();
        if (index_) index_->Interrupt();
    }
    cv_.notify_all();
    thread_.join();
}

std::uint64_t Searcher::Ask(std::string queryGbk, std::size_t maxHits) {
    std::lock_guard<std::mutex> lock(mu_);
    pending_ = Request{++tickets_, std::move(queryGbk), maxHits};
    if (running_ && index_) index_->Interrupt();
    cv_.notify_all();
    return tickets_;
}

void Searcher::Run() {
    std::unique_lock<std::mutex> lock(mu_);
    for (;;) {
        cv_.wait(lock, [this] { return stop_ || pending_; });
        if (stop_) return;
        const Request req = std::move(*pending_);
        pending_.reset();
        running_ = true;
        lock.unlock();
        Result r;
        try {
            r = Respond(req);
        } catch (const std::exception& e) {
            r.ok = false;
            r.error = plat::Gbk("检索时出错: ") + plat::Utf8ToGbk(e.what());
        }
        lock.lock();
        running_ = false;
        // A newer query overtook this one: its answer is of no use.
        if (stop_ || pending_ || r.cancelled) continue;
        lock.unlock();
        answer_(req.ticket, std::move(r));
        lock.lock();
    }
}

Result Searcher::Respond(const Request& req) {
    const std::string root = indexer_.GetStatus().libRoot;
    if (!index_ || indexRoot_ != root) {
        // Opened outside the lock (it can wait for the worker's transaction); swapped in under it.
        std::string error;
        bool damaged = false;
        std::unique_ptr<Index> fresh = root.empty() ? nullptr : indexer_.OpenForQuery(error, &damaged);
        {
            std::lock_guard<std::mutex> lock(mu_);
            index_ = std::move(fresh);
            indexRoot_ = index_ ? root : std::string();
        }
        if (!index_) {
            if (damaged) indexer_.Rebuild();
            Result r;
            r.ok = false;
            r.unavailable = !damaged;
            r.damaged = damaged;
            r.error = error;
            return r;
        }
    }
    {
        // From here on a newer Ask interrupts this query; one that came before it is answered instead.
        std::lock_guard<std::mutex> lock(mu_);
        if (pending_ || stop_) {
            Result r;
            r.ok = false;
            r.cancelled = true;
            return r;
        }
        index_->ClearInterrupt();
    }
    Result r = index_->Query(req.query, req.maxHits);
    if (r.damaged) {
        {
            std::lock_guard<std::mutex> lock(mu_);
            index_.reset();
            indexRoot_.clear();
        }
        indexer_.Rebuild();
    }
    return r;
}

}  // namespace search
