// The full-text index of one library: an SQLite FTS5 table in the user's private cache folder, kept in step
// with the card files by size and modification time. One object is one connection: the window's query side
// and the background worker each hold their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/xml_record_set.h"

struct sqlite3;

namespace search {

struct Hit {
    std::string path;      // internal form: library root + class folders + file name (GBK)
    std::string title;     // GBK, as the card says
    std::string klass;     // GBK
    std::string modified;  // GBK, the card's modification stamp
    std::string snippet;   // GBK, text around the first hit
    std::vector<std::pair<std::size_t, std::size_t>> marks;  // byte ranges of `snippet` that match a term
};

struct Result {
    bool ok = true;
    bool damaged = false;    // the index file is damaged (with !ok): it has to be built again
    bool cancelled = false;  // stopped by Interrupt (with !ok)
    bool unavailable = false;  // there is no index to ask yet (with !ok): it is being made, or cannot be
    std::string error;       // GBK, when !ok
    std::size_t total = 0;   // every matching card indexed so far
    std::vector<Hit> hits;   // the best of them first, at most the number asked for
};

// Counters a refresh keeps up to date for whoever shows its progress; cancel stops it between cards.
struct Progress {
    std::atomic<int> done{0};
    std::atomic<int> total{0};
    std::atomic<bool> cancel{false};
};

// The longest query, in characters: the phrase of a term is one token per character.
inline constexpr std::size_t kMaxQueryChars = 256;
// The most of a card's file that is indexed: the size the form opens.
inline constexpr std::int64_t kMaxIndexedBytes = kMaxCardBytes;

class Index {
public:
    // libRoot: the library root in internal form, ending with '\' (relative to the current folder or
    // absolute), as the window keeps it.
    explicit Index(std::string libRoot);
    ~Index();
    Index(const Index&) = delete;
    Index& operator=(const Index&) = delete;

    // Opens the library's index file, creating it; a damaged file, or one another version of the program
    // made, is replaced by an empty one. False (with the reason in `error`, GBK) when there is no private
    // cache folder or it cannot hold a file. With `repair` false (a reader beside the worker that keeps the
    // file) an unusable file is left alone and Open fails instead.
    bool Open(std::string& error, bool repair = true);
    // After Open failed without `repair`: the file is this version's but does not read whole.
    bool Damaged() const { return damaged_; }
    const std::string& FilePath() const { return file_; }  // native
    // Throws the file away and starts an empty one (a damage found by a query).
    bool Rebuild(std::string& error);

    // Brings the index in step with the library: new and changed cards are read, removed ones dropped.
    // Folders whose cards all kept their size and modification time cost one listing and no card read.
    bool Refresh(Progress* progress = nullptr);
    // A file or folder that the program has just written, renamed or removed (internal path). Paths
    // outside this library are ignored.
    bool Touch(const std::string& internalPath);
    // Reads every card again into an emptied text table, which drops the rows changed and removed cards
    // left behind. Refresh and Touch do it once those are a fifth of the cards (and kMinDeadToCompact).
    bool Compact(Progress* progress = nullptr);
    static constexpr std::int64_t kMinDeadToCompact = 500;

    // Every card that holds all whitespace-separated terms of `queryGbk`, in any field, counted; hits for
    // the best `maxHits` of them (with `snippets`, also their fields and the text around the first hit, read
    // from the card files): cards whose title holds every term first, then keywords, class, source, the
    // rest; within each the most hits, then the newest modification stamp.
    Result Query(std::string_view queryGbk, std::size_t maxHits, bool snippets = true);
    // Stops a Query running on another thread (it returns cancelled), and every later one until
    // ClearInterrupt. Safe from any thread while no other thread opens or closes this object.
    void Interrupt();
    // What the watch that holds the index records after each change it applies, in the index itself: a
    // generation bumped every time (and when a queue overflow forces a full check), whether the index is
    // current, and as of when (wall clock, ns). A reader trusts it only while the watch's lock is held.
    struct WatchState {
        std::int64_t generation = 0;
        bool current = false;
        std::int64_t asOfNs = 0;
    };
    bool RecordWatch(bool current);
    WatchState ReadWatch();
    // A refresh met damage and built the index again from nothing (the caller tells the user).
    bool RebuiltForDamage() const { return rebuiltForDamage_; }
    void ClearInterrupt();
    int CardCount();

private:
    bool OpenFile();  // registers the tokenizer and the ranking function
    void CompactIfWasteful(Progress* progress);
    int LoadDead();  // dead_ brought up to date; an SQLite code
    int CheckWhole();  // SQLITE_OK, or the code of the damage the card tables hold (once per data version)
    bool EnsureSchema(bool create);  // create: the tables of an empty file
    void Close();
    void Discard();  // closes and removes the file
    bool Exec(const char* sql);
    bool Busy() const;  // the last call failed because another connection holds the file
    std::string libRoot_;
    std::string nativeRoot_;  // with a final '/'
    std::string file_;
    sqlite3* db_ = nullptr;
    std::atomic<bool> stop_{false};
    bool damaged_ = false;
    bool rebuiltForDamage_ = false;
    std::vector<std::int64_t> dead_;  // the query side's copy of the dead rows, sorted
    std::int64_t dataVersion_ = -1;   // of the file when dead_ was read
    std::int64_t checkedVersion_ = -1;  // of the file when CheckWhole found it whole
};

}  // namespace search
