#include "search/index.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/cache_dir.h"
#include "platform/codec.h"
#include "platform/path.h"
#include "search/index_internal.h"
#include "search/tokenizer.h"

namespace search {
namespace {

// Bumped whenever what is stored, or how text is cut into tokens, changes: an older file is then rebuilt.
constexpr int kVersion = 2;

std::uint64_t Fnv(std::string_view s) {
    std::uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ULL;
    return h;
}

}  // namespace

Index::Index(std::string libRoot) : libRoot_(std::move(libRoot)) {
    nativeRoot_ = plat::ToNative(libRoot_);
    if (!nativeRoot_.empty() && nativeRoot_.back() != '/') nativeRoot_ += '/';
}

Index::~Index() { Close(); }

void Index::Close() {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
    dataVersion_ = checkedVersion_ = -1;
}

void Index::Discard() {
    Close();
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) ::unlink((file_ + suffix).c_str());
}

bool Index::Busy() const {
    if (!db_) return false;
    const int code = sqlite3_errcode(db_) & 0xFF;
    return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

bool Index::Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

void Index::Interrupt() {
    stop_ = true;
    if (db_) sqlite3_interrupt(db_);
}

void Index::ClearInterrupt() { stop_ = false; }

bool Index::Open(std::string& error, bool repair) {
    namespace fs = std::filesystem;
    std::string reason;
    const std::string folder = plat::PrivateCacheFolder(reason);
    if (folder.empty()) {
        error = plat::Gbk("不能建立检索索引: ") + reason;
        return false;
    }
    // One file per library, named after where the library is, so that two spellings of the same folder
    // share it and libraries with equal names do not.
    std::error_code ec;
    fs::path root = fs::weakly_canonical(fs::absolute(nativeRoot_.empty() ? "." : nativeRoot_, ec), ec);
    std::string key = root.lexically_normal().string();
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    char name[40];
    std::snprintf(name, sizeof name, "/%016llx.sqlite", static_cast<unsigned long long>(Fnv(key)));
    file_ = folder + name;

    if (!repair) {
        struct stat st;
        damaged_ = false;
        if (::lstat(file_.c_str(), &st) == 0 && OpenFile() && EnsureSchema(false)) return true;
        Close();
        error = plat::Gbk(damaged_ ? "检索索引已损坏" : "正在建立检索索引，请稍候");
        return false;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (OpenFile() && EnsureSchema(true)) return true;
        if (Busy()) {
            Close();
            error = plat::Gbk("检索索引正被另一个 Korvane 使用，请稍后再试");
            return false;
        }
        // Damaged, written by another version, or not a file of ours (a link): start over with an empty
        // index. Unlinking a link removes the link, never what it points to.
        Discard();
    }
    error = plat::Gbk("无法在缓存目录 ") + plat::Utf8ToGbk(folder) + plat::Gbk(" 中建立检索索引");
    return false;
}

bool Index::Rebuild(std::string& error) {
    Discard();
    if (OpenFile() && EnsureSchema(true)) return true;
    Close();
    error = plat::Gbk("无法重建检索索引 ") + plat::Utf8ToGbk(file_);
    return false;
}

bool Index::OpenFile() {
    Close();
    // Never through a symbolic link: the file would be someone else's.
    if (sqlite3_open_v2(file_.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW,
                        nullptr) != SQLITE_OK)
        return false;
    sqlite3_busy_timeout(db_, 30000);  // the worker commits a batch every few seconds
    if (!RegisterTokenizer(db_) || !RegisterRank(db_, &dead_)) return false;
    // The file is a cache that can always be built again: no fsync; WAL lets the window read while the
    // worker writes. FTS5 frees many pages as it merges its segments: incremental vacuum gives them back
    // after each refresh (a new file only takes the setting before WAL writes its first page).
    // Asked of a file that has pages, the vacuum setting rewrites its header: a reader (the command line
    // beside a live watch) would write, and wait for the writer, on every run.
    bool fresh = false;
    {
        Stmt pages(db_, "PRAGMA page_count");
        fresh = pages.Step() == SQLITE_ROW && pages.Int(0) == 0;
    }
    return Exec("PRAGMA synchronous=OFF") && (!fresh || Exec("PRAGMA auto_vacuum=INCREMENTAL")) &&
           Exec("PRAGMA journal_mode=WAL") && Exec("PRAGMA temp_store=MEMORY") &&
           Exec("PRAGMA cache_size=-32000");
}

bool Index::EnsureSchema(bool create) {
    {
        Stmt v(db_, "SELECT value FROM meta WHERE key='version'");
        if (v.ok()) {
            if (v.Step() == SQLITE_ROW && v.Int(0) == kVersion) {
                // The tables must all be there and readable.
                Stmt c(db_, "SELECT (SELECT count(*) FROM folders), (SELECT max(id) FROM cards), (SELECT max(id) FROM dead)");
                Stmt f(db_, "SELECT rowid FROM ft WHERE ft MATCH 'a' LIMIT 1");
                const int rc = f.Step();
                damaged_ = !c.ok() || !f.ok() || c.Step() != SQLITE_ROW || (rc != SQLITE_ROW && rc != SQLITE_DONE);
                return !damaged_;
            }
            return false;
        }
    }
    if (!create) return false;
    // An empty file (a fresh one): anything else that lacks the table is not ours to keep.
    Stmt tables(db_, "SELECT count(*) FROM sqlite_master");
    if (!tables.ok() || tables.Step() != SQLITE_ROW || tables.Int(0) != 0) return false;
    // The text table keeps every token's positions, so that a term of any length is answered by the index,
    // but not the text (a snippet is cut from the card file) and no sizes (nothing needs them): a third of
    // the file or less. Without its text FTS5 cannot take a card's tokens out again, so a card changed or
    // removed leaves its old row behind, listed in `dead` and left out of every answer until Compact.
    // A card's id orders it by its modification stamp (see the refresh).
    std::string sql =
        "BEGIN;"
        "CREATE TABLE meta(key TEXT PRIMARY KEY, value);"
        "CREATE TABLE folders(rel TEXT PRIMARY KEY, signature INTEGER) WITHOUT ROWID;"
        "CREATE TABLE cards(id INTEGER PRIMARY KEY, dir TEXT, name TEXT, size INTEGER, mtime INTEGER);"
        "CREATE UNIQUE INDEX cards_place ON cards(dir, name);"
        "CREATE TABLE dead(id INTEGER PRIMARY KEY);"
        "CREATE VIRTUAL TABLE ft USING fts5(body, title, keyword, class, source, content='', detail=full,"
        " columnsize=0, tokenize='";
    sql += kTokenizerName;
    // Characters make a large vocabulary: with FTS5's default 1 MB of pending terms it writes (and then
    // merges) a segment every few hundred cards. Pending terms are flushed once per batch.
    sql += "');INSERT INTO ft(ft, rank) VALUES('hashsize', 268435456);";
    sql += "INSERT INTO meta VALUES('version', " + std::to_string(kVersion) + ");COMMIT;";
    return Exec(sql.c_str());
}

int Index::CardCount() {
    Stmt st(db_, "SELECT count(*) FROM cards");
    return st.Step() == SQLITE_ROW ? static_cast<int>(st.Int(0)) : 0;
}

}  // namespace search
