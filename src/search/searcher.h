// Answers the search window's queries on a thread of its own, through a connection of its own to the
// current library's index, so that typing never waits for the index: a newer query interrupts the one
// running (sqlite3_interrupt) and only the newest is answered. A query that finds the index damaged has it
// rebuilt by the indexer.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "search/index.h"

namespace search {

class Indexer;

class Searcher {
public:
    // `answer` is called on the searcher's thread with each answer that was not overtaken by a newer
    // query, and the ticket Ask gave for it.
    using Answer = std::function<void(std::uint64_t ticket, Result result)>;
    Searcher(Indexer& indexer, Answer answer);
    ~Searcher();  // stops the query running and waits for the thread
    Searcher(const Searcher&) = delete;
    Searcher& operator=(const Searcher&) = delete;

    // Answers `queryGbk` on the indexer's current library: every match counted, the best `maxHits` with
    // snippets. A query running or waiting is dropped. Never waits for the index.
    std::uint64_t Ask(std::string queryGbk, std::size_t maxHits);

private:
    struct Request {
        std::uint64_t ticket;
        std::string query;
        std::size_t maxHits;
    };
    void Run();
    Result Respond(const Request& req);  // on the thread; may replace index_

    Indexer& indexer_;
    Answer answer_;
    std::mutex mu_;  // guards what follows, and index_ being replaced while Ask interrupts it
    std::condition_variable cv_;
    std::optional<Request> pending_;
    std::uint64_t tickets_ = 0;
    bool running_ = false;
    bool stop_ = false;
    std::unique_ptr<Index> index_;
    std::string indexRoot_;  // the library index_ belongs to
    std::thread thread_;
};

}  // namespace search
