// The full-text index of one library: an SQLite FTS5 table in the user's cache folder, kept in step with
// the card files by size and modification time. One object is one connection: the window's query side and
// the background worker each hold their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace search {

struct Hit {
    std::string path;      // internal form: library root + class folders + file name (GBK)
    std::string title;     // GBK, as the card says
    std::string klass;     // GBK
    std::string modified;  // GBK, the card's modification stamp
    std::string snippet;   // GBK, text around the first hit
};

struct Result {
    bool ok = true;
    std::string error;      // GBK, when !ok
    std::size_t total = 0;  // every matching card indexed so far
    std::vector<Hit> hits;  // the first of them, in library order, at most the number asked for
};

// Counters a refresh keeps up to date for whoever shows its progress; cancel stops it between cards.
struct Progress {
    std::atomic<int> done{0};
    std::atomic<int> total{0};
    std::atomic<bool> cancel{false};
};

// ${XDG_CACHE_HOME:-$HOME/.cache}/korvane (native path, no final '/').
std::string CacheFolder();

class Index {
public:
    // libRoot: the library root in internal form, ending with '\' (relative to the current folder or
    // absolute), as the window keeps it.
    explicit Index(std::string libRoot);
    ~Index();
    Index(const Index&) = delete;
    Index& operator=(const Index&) = delete;

    // Opens the library's index file, creating it; a damaged file, or one another version of the program
    // made, is replaced by an empty one. False (with the reason in `error`, GBK) only when the cache folder
    // cannot hold a file at all. With `repair` false (a reader beside the worker that keeps the file) an
    // unusable file is left alone and Open fails instead.
    bool Open(std::string& error, bool repair = true);
    const std::string& FilePath() const { return file_; }  // native

    // Brings the index in step with the library: new and changed cards are read, removed ones dropped.
    // Folders whose cards all kept their size and modification time cost one listing and no card read.
    bool Refresh(Progress* progress = nullptr);
    // A file or folder that the program has just written, renamed or removed (internal path). Paths
    // outside this library are ignored.
    bool Touch(const std::string& internalPath);

    // Every card that holds all whitespace-separated terms of `queryGbk`, in any field; hits are filled for
    // the first `maxHits` of them (with the text around the first hit when `snippets`).
    Result Query(std::string_view queryGbk, std::size_t maxHits, bool snippets = true);
    int CardCount();

private:
    bool OpenFile(std::string& error);
    bool EnsureSchema(bool create);  // create: the tables of an empty file
    void Close();
    bool Exec(const char* sql);
    bool Busy() const;  // the last call failed because another connection holds the file
    std::string libRoot_;
    std::string nativeRoot_;  // with a final '/'
    std::string file_;
    sqlite3* db_ = nullptr;
};

}  // namespace search
