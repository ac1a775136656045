// What an export or an import shares with whoever runs it on another thread: how far it is, whether to stop,
// and what came of it.
#pragma once

#include <atomic>
#include <string>

namespace exporting {

struct Progress {
    std::atomic<long long> done{0};
    std::atomic<long long> total{0};  // known once the library or the files were counted
    const std::atomic<bool>* cancel = nullptr;
    bool Cancelled() const { return cancel && cancel->load(std::memory_order_relaxed); }
};

struct Outcome {
    bool ok = false;
    bool cancelled = false;  // stopped at the user's request; `ok` is false
    long long cards = 0;     // cards written (exported, or imported so far)
    std::string error;       // GBK, in the program's words
    std::string notes;       // GBK: what the user should know although it worked, one item a line
};

}  // namespace exporting
