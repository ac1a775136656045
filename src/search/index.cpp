#include "search/index.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/codec.h"
#include "platform/path.h"
#include "search/fold.h"
#include "search/index_internal.h"
#include "search/tokenizer.h"

namespace search {
namespace {

// Bumped whenever what is stored, or how text is cut into tokens, changes: an older file is then rebuilt.
constexpr int kVersion = 1;

std::uint64_t Fnv(std::string_view s) {
    std::uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ULL;
    return h;
}

// The card body within the searchable text: what follows title, keywords, class and source.
std::string_view Content(std::string_view text) {
    std::size_t pos = 0;
    for (int field = 0; field < 4; ++field) {
        pos = text.find('\n', pos);
        if (pos == std::string_view::npos) return {};
        ++pos;
    }
    return text.substr(pos);
}

}  // namespace

std::string CacheFolder() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    std::string base;
    if (xdg && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : "/tmp") + "/.cache";
    }
    return base + "/korvane";
}

Index::Index(std::string libRoot) : libRoot_(std::move(libRoot)) {
    nativeRoot_ = plat::ToNative(libRoot_);
    if (!nativeRoot_.empty() && nativeRoot_.back() != '/') nativeRoot_ += '/';
}

Index::~Index() { Close(); }

void Index::Close() {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

bool Index::Busy() const {
    if (!db_) return false;
    const int code = sqlite3_errcode(db_) & 0xFF;
    return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

bool Index::Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

bool Index::Open(std::string& error, bool repair) {
    namespace fs = std::filesystem;
    std::error_code ec;
    // One file per library, named after where the library is, so that two spellings of the same folder
    // share it and libraries with equal names do not.
    fs::path root = fs::weakly_canonical(fs::absolute(nativeRoot_.empty() ? "." : nativeRoot_, ec), ec);
    std::string key = root.lexically_normal().string();
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    const std::string folder = CacheFolder();
    fs::create_directories(folder, ec);
    char name[40];
    std::snprintf(name, sizeof name, "/%016llx.sqlite", static_cast<unsigned long long>(Fnv(key)));
    file_ = folder + name;

    if (!repair) {
        struct stat st;
        if (::stat(file_.c_str(), &st) == 0 && OpenFile(error) && EnsureSchema(false)) return true;
        Close();
        error = plat::Gbk("正在建立检索索引，请稍候");
        return false;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (OpenFile(error) && EnsureSchema(true)) return true;
        if (Busy()) {
            Close();
            error = plat::Gbk("检索索引正被另一个 Korvane 使用，请稍后再试");
            return false;
        }
        // Damaged, or written by another version: start over with an empty index.
        Close();
        for (const char* suffix : {"", "-wal", "-shm", "-journal"}) ::unlink((file_ + suffix).c_str());
    }
    error = plat::Gbk("无法在缓存目录 ") + plat::Utf8ToGbk(folder) + plat::Gbk(" 中建立检索索引");
    return false;
}

bool Index::OpenFile(std::string&) {
    Close();
    if (sqlite3_open_v2(file_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK)
        return false;
    sqlite3_busy_timeout(db_, 30000);  // the worker commits a batch every few seconds
    if (!RegisterTokenizer(db_)) return false;
    // The file is a cache that can always be built again: no fsync; WAL lets the window read while the
    // worker writes.
    return Exec("PRAGMA journal_mode=WAL") && Exec("PRAGMA synchronous=OFF") && Exec("PRAGMA temp_store=MEMORY") &&
           Exec("PRAGMA cache_size=-32000");
}

bool Index::EnsureSchema(bool create) {
    {
        Stmt v(db_, "SELECT value FROM meta WHERE key='version'");
        if (v.ok()) {
            if (v.Step() == SQLITE_ROW && v.Int(0) == kVersion) {
                // The tables must all be there and readable.
                Stmt c(db_, "SELECT (SELECT count(*) FROM folders), (SELECT max(id) FROM cards)");
                Stmt f(db_, "SELECT rowid FROM ft WHERE ft MATCH 'a' LIMIT 1");
                return c.ok() && f.ok() && c.Step() == SQLITE_ROW && f.Step() != SQLITE_ERROR;
            }
            return false;
        }
    }
    if (!create) return false;
    // An empty file (a fresh one): anything else that lacks the table is not ours to keep.
    Stmt tables(db_, "SELECT count(*) FROM sqlite_master");
    if (!tables.ok() || tables.Step() != SQLITE_ROW || tables.Int(0) != 0) return false;
    // The FTS5 table keeps each card's searchable text (so a candidate is checked, and its snippet cut,
    // without opening the card) but no positions and no sizes: a term of three or more characters is
    // answered by all its pairs and then checked against the text, and nothing is ranked.
    std::string sql =
        "BEGIN;"
        "CREATE TABLE meta(key TEXT PRIMARY KEY, value);"
        "CREATE TABLE folders(rel TEXT PRIMARY KEY, signature INTEGER) WITHOUT ROWID;"
        "CREATE TABLE cards(id INTEGER PRIMARY KEY, dir TEXT, name TEXT, size INTEGER, mtime INTEGER,"
        " title BLOB, class BLOB, modified BLOB);"
        "CREATE UNIQUE INDEX cards_place ON cards(dir, name);"
        "CREATE VIRTUAL TABLE ft USING fts5(body, detail=none, columnsize=0, tokenize='";
    sql += kTokenizerName;
    // Pairs of Chinese characters make a large vocabulary: with FTS5's default 1 MB of pending terms it
    // writes (and then merges) a segment every few hundred cards. Pending terms are flushed once per batch.
    sql += "');INSERT INTO ft(ft, rank) VALUES('hashsize', 268435456);";
    sql += "INSERT INTO meta VALUES('version', " + std::to_string(kVersion) + ");COMMIT;";
    return Exec(sql.c_str());
}

int Index::CardCount() {
    Stmt st(db_, "SELECT count(*) FROM cards");
    return st.Step() == SQLITE_ROW ? static_cast<int>(st.Int(0)) : 0;
}


Result Index::Query(std::string_view queryGbk, std::size_t maxHits, bool snippets) {
    Result r;
    const std::vector<Units> terms = SplitTerms(queryGbk);
    if (terms.empty()) return r;
    std::string match;
    bool check = false;  // a term of three or more characters: its pairs only narrow the cards down
    for (const Units& t : terms) {
        check = check || t.size() > 2;
        for (const std::string& tok : TermTokens(t)) {
            if (!match.empty()) match += " AND ";
            match += '"';
            for (char c : tok) {
                if (c == '"') match += '"';
                match += c;
            }
            match += '"';
        }
    }
    std::vector<std::int64_t> ids;
    {
        Stmt st(db_, check ? "SELECT rowid, body FROM ft WHERE ft MATCH ?1" : "SELECT rowid FROM ft WHERE ft MATCH ?1");
        st.Bind(1, match);
        Units text;
        int rc;
        while ((rc = st.Step()) == SQLITE_ROW) {
            if (check) {
                text.clear();
                FoldAppend(st.Text(1), text);
                if (!MatchesAll(text, terms)) continue;
            }
            ids.push_back(st.Int(0));
        }
        if (rc != SQLITE_DONE) {
            r.ok = false;
            r.error = plat::Gbk("检索索引出错: ") + sqlite3_errmsg(db_);
            return r;
        }
    }
    r.total = ids.size();
    Stmt meta(db_, "SELECT dir, name, title, class, modified FROM cards WHERE id=?1");
    Stmt body(db_, "SELECT body FROM ft WHERE rowid=?1");
    for (std::size_t i = 0; i < ids.size() && r.hits.size() < maxHits; ++i) {
        if (meta.Bind(1, ids[i]).Step() != SQLITE_ROW) {
            meta.Reset();
            continue;
        }
        const auto rel = plat::FromNative(Join(std::string(meta.Text(0)), std::string(meta.Text(1))));
        if (!rel) {
            // A name GBK cannot hold: the tree does not show that card either.
            meta.Reset();
            --r.total;
            continue;
        }
        Hit h;
        h.path = libRoot_ + *rel;
        h.title = meta.Text(2);
        h.klass = meta.Text(3);
        h.modified = meta.Text(4);
        meta.Reset();
        if (snippets && body.Bind(1, ids[i]).Step() == SQLITE_ROW) {
            // From the body when the term is there: title and class have columns of their own.
            const std::string_view text = body.Text(0);
            bool inBody = false;
            h.snippet = SnippetAround(Content(text), terms.front(), 24, &inBody);
            if (!inBody) h.snippet = SnippetAround(text, terms.front());
        }
        body.Reset();
        r.hits.push_back(std::move(h));
    }
    return r;
}

}  // namespace search
