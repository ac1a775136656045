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
#include <unordered_map>

#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "search/fold.h"
#include "search/tokenizer.h"
#include "search/walk.h"
#include "store/xml_record_set.h"

namespace search {
namespace {

// Bumped whenever what is stored, or how text is cut into tokens, changes: an older file is then rebuilt.
constexpr int kVersion = 1;
// Cards written per transaction while building: each commit lets the window's queries see them.
constexpr int kBatch = 5000;

class Stmt {
public:
    Stmt(sqlite3* db, const char* sql) { ok_ = sqlite3_prepare_v2(db, sql, -1, &st_, nullptr) == SQLITE_OK; }
    ~Stmt() { sqlite3_finalize(st_); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    bool ok() const { return ok_; }
    Stmt& Bind(int i, std::string_view s) {
        sqlite3_bind_text(st_, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& Bind(int i, std::int64_t v) {
        sqlite3_bind_int64(st_, i, v);
        return *this;
    }
    int Step() { return ok_ ? sqlite3_step(st_) : SQLITE_ERROR; }
    bool Run() {
        const int rc = Step();
        sqlite3_reset(st_);
        return rc == SQLITE_DONE || rc == SQLITE_ROW;
    }
    void Reset() { sqlite3_reset(st_); }
    std::int64_t Int(int c) const { return sqlite3_column_int64(st_, c); }
    std::string_view Text(int c) const {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(st_, c));
        return p ? std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(st_, c))) : std::string_view();
    }

private:
    sqlite3_stmt* st_ = nullptr;
    bool ok_ = false;
};

std::uint64_t Fnv(std::string_view s) {
    std::uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ULL;
    return h;
}

// The text a card is found by: every field a term may occur in, one per line, so no term spans two.
struct CardText {
    std::string title, klass, modified, body;
};

CardText ReadCardText(const std::string& nativePath, std::string_view fileName) {
    CardText out;
    std::string data;
    const int fd = open(nativePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        struct stat st;
        if (fstat(fd, &st) == 0 && st.st_size > 0) data.resize(static_cast<std::size_t>(st.st_size));
        std::size_t got = 0;
        while (got < data.size()) {
            const ssize_t n = read(fd, data.data() + got, data.size() - got);
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        data.resize(got);
        close(fd);
    }
    XmlRecordSet rs;
    plat::LineReader reader = plat::LineReader::FromString(data);
    if (rs.ReadCard(reader)) {
        const DatumCard& c = rs.card;
        out.title = c.title;
        out.klass = c.klass;
        out.modified = c.modifieddate;
        out.body.reserve(c.title.size() + c.keyword.size() + c.klass.size() + c.source.size() + c.content.size() + 4);
        out.body.append(c.title).append("\n").append(c.keyword).append("\n").append(c.klass).append("\n");
        out.body.append(c.source).append("\n").append(c.content);
    } else {
        // A card the form cannot open is still found by its text, under its file name.
        const auto name = plat::FromNative(fileName);
        const std::string gbkName = name ? *name : std::string();
        out.title = gbkName.substr(0, gbkName.find(".datum."));
        out.body = std::move(data);
    }
    return out;
}

// A folder the tree shows: none of its parts is a service or hidden folder.
bool InClassFolder(std::string_view dir) {
    std::size_t start = 0;
    while (start < dir.size()) {
        const std::size_t end = std::min(dir.find('/', start), dir.size());
        const std::string_view part = dir.substr(start, end - start);
        if (part.empty() || part[0] == '.' || part.substr(0, 3) == "_ _") return false;
        start = end + 1;
    }
    return true;
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

std::string Join(const std::string& dir, const std::string& name) { return dir.empty() ? name : dir + "/" + name; }

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

namespace {

struct Known {
    std::int64_t id, size, mtime;
};

}  // namespace

// Writes one card's row and text; `id` 0 adds it.
static bool StoreCard(sqlite3* db, const std::string& nativeRoot, const std::string& dir, const CardFile& f,
                      std::int64_t id) {
    const CardText t = ReadCardText(nativeRoot + Join(dir, f.name), f.name);
    if (id) {
        Stmt del(db, "DELETE FROM ft WHERE rowid=?1");
        Stmt up(db, "UPDATE cards SET size=?2, mtime=?3, title=?4, class=?5, modified=?6 WHERE id=?1");
        if (!del.Bind(1, id).Run() ||
            !up.Bind(1, id).Bind(2, f.size).Bind(3, f.mtime).Bind(4, t.title).Bind(5, t.klass).Bind(6, t.modified).Run())
            return false;
    } else {
        Stmt ins(db, "INSERT INTO cards(dir, name, size, mtime, title, class, modified) VALUES(?1,?2,?3,?4,?5,?6,?7)");
        if (!ins.Bind(1, dir).Bind(2, f.name).Bind(3, f.size).Bind(4, f.mtime).Bind(5, t.title).Bind(6, t.klass)
                 .Bind(7, t.modified)
                 .Run())
            return false;
        id = sqlite3_last_insert_rowid(db);
    }
    Stmt ft(db, "INSERT INTO ft(rowid, body) VALUES(?1, ?2)");
    return ft.Bind(1, id).Bind(2, t.body).Run();
}

static bool DropCard(sqlite3* db, std::int64_t id) {
    Stmt a(db, "DELETE FROM ft WHERE rowid=?1");
    Stmt b(db, "DELETE FROM cards WHERE id=?1");
    return a.Bind(1, id).Run() && b.Bind(1, id).Run();
}

bool Index::Refresh(Progress* progress) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool dbOk = true;
        std::unordered_map<std::string, std::int64_t> stored;  // folder -> signature
        {
            Stmt st(db_, "SELECT rel, signature FROM folders");
            dbOk = st.ok();
            int rc;
            while (dbOk && (rc = st.Step()) == SQLITE_ROW) stored.emplace(std::string(st.Text(0)), st.Int(1));
            if (dbOk && rc != SQLITE_DONE) dbOk = false;
        }
        std::vector<Folder> folders;
        // Building from nothing needs every card; otherwise only the folders that changed are listed again.
        if (!WalkLibrary(nativeRoot_, folders, stored.empty())) return false;
        int total = 0;
        for (const Folder& f : folders) total += f.count;
        if (progress) {
            progress->total = total;
            progress->done = 0;
        }

        struct Work {
            const Folder* folder;
            const CardFile* file;
            std::int64_t id;
        };
        std::vector<Work> work;
        std::vector<std::int64_t> gone;
        std::vector<const Folder*> changed;
        int done = 0;
        Stmt inDir(db_, "SELECT name, id, size, mtime FROM cards WHERE dir=?1");
        for (Folder& f : folders) {
            auto it = stored.find(f.rel);
            const bool same = it != stored.end() && it->second == static_cast<std::int64_t>(f.signature);
            if (it != stored.end()) stored.erase(it);
            if (same) {
                done += f.count;
                continue;
            }
            if (f.cards.size() != static_cast<std::size_t>(f.count)) ListFolder(nativeRoot_, f);
            changed.push_back(&f);
            std::unordered_map<std::string, Known> known;
            inDir.Bind(1, f.rel);
            while (inDir.Step() == SQLITE_ROW)
                known.emplace(std::string(inDir.Text(0)), Known{inDir.Int(1), inDir.Int(2), inDir.Int(3)});
            inDir.Reset();
            for (const CardFile& c : f.cards) {
                auto k = known.find(c.name);
                if (k == known.end()) {
                    work.push_back({&f, &c, 0});
                    continue;
                }
                if (k->second.size == c.size && k->second.mtime == c.mtime)
                    ++done;
                else
                    work.push_back({&f, &c, k->second.id});
                known.erase(k);
            }
            for (const auto& [name, k] : known) gone.push_back(k.id);
        }
        // Folders that are no more: every card they held.
        for (const auto& [rel, sig] : stored) {
            inDir.Bind(1, rel);
            while (inDir.Step() == SQLITE_ROW) gone.push_back(inDir.Int(1));
            inDir.Reset();
        }
        if (progress) progress->done = done;

        dbOk = dbOk && Exec("BEGIN");
        for (std::int64_t id : gone) dbOk = dbOk && DropCard(db_, id);
        {
            Stmt dropFolder(db_, "DELETE FROM folders WHERE rel=?1");
            for (const auto& [rel, sig] : stored) dbOk = dbOk && dropFolder.Bind(1, rel).Run();
        }
        int inBatch = 0;
        bool cancelled = false;
        for (const Work& w : work) {
            if (!dbOk) break;
            if (progress && progress->cancel) {
                cancelled = true;
                break;
            }
            dbOk = StoreCard(db_, nativeRoot_, w.folder->rel, *w.file, w.id);
            if (progress) ++progress->done;
            if (++inBatch == kBatch) {
                inBatch = 0;
                dbOk = dbOk && Exec("COMMIT") && Exec("BEGIN");
            }
        }
        if (dbOk && !cancelled) {
            // A folder is marked in step only once all its cards are: a cancelled refresh looks again.
            Stmt put(db_, "INSERT OR REPLACE INTO folders(rel, signature) VALUES(?1, ?2)");
            for (const Folder* f : changed)
                dbOk = dbOk && put.Bind(1, f->rel).Bind(2, static_cast<std::int64_t>(f->signature)).Run();
        }
        dbOk = dbOk && Exec("COMMIT");
        if (dbOk) return true;
        const bool busy = Busy();
        Exec("ROLLBACK");
        // Another process writing the same index (the window and the command line) is no damage.
        if (busy) return false;
        // The file is damaged (or vanished under us): build it again from nothing.
        Close();
        for (const char* suffix : {"", "-wal", "-shm", "-journal"}) ::unlink((file_ + suffix).c_str());
        std::string error;
        if (!OpenFile(error) || !EnsureSchema(true)) return false;
    }
    return false;
}

bool Index::Touch(const std::string& internalPath) {
    if (internalPath.size() <= libRoot_.size() || internalPath.compare(0, libRoot_.size(), libRoot_) != 0)
        return true;
    std::string rel = plat::ToNative(internalPath.substr(libRoot_.size()));
    while (!rel.empty() && rel.back() == '/') rel.pop_back();
    if (rel.empty()) return true;
    const std::size_t slash = rel.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : rel.substr(0, slash);
    const std::string name = slash == std::string::npos ? rel : rel.substr(slash + 1);

    if (!Exec("BEGIN")) return false;
    bool ok = true;
    // The folder's cards are no longer known to be in step: the next refresh compares them one by one.
    {
        Stmt unmark(db_, "DELETE FROM folders WHERE rel=?1 OR rel=?2 OR (rel>=?3 AND rel<?4)");
        ok = unmark.Bind(1, dir).Bind(2, rel).Bind(3, rel + "/").Bind(4, rel + "0").Run();
    }
    std::int64_t id = 0;
    {
        Stmt find(db_, "SELECT id FROM cards WHERE dir=?1 AND name=?2");
        if (find.Bind(1, dir).Bind(2, name).Step() == SQLITE_ROW) id = find.Int(0);
    }
    struct stat st;
    const std::string native = nativeRoot_ + rel;
    if (ok && ::stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        if (IsCardName(name) && InClassFolder(dir)) {
            const CardFile f{name, static_cast<std::int64_t>(st.st_size),
                             static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
            ok = StoreCard(db_, nativeRoot_, dir, f, id);
        }
    } else if (ok && ::stat(native.c_str(), &st) != 0) {
        // Gone: the card itself, or a folder with every card below it.
        std::vector<std::int64_t> ids;
        if (id) ids.push_back(id);
        Stmt below(db_, "SELECT id FROM cards WHERE dir=?1 OR (dir>=?2 AND dir<?3)");
        below.Bind(1, rel).Bind(2, rel + "/").Bind(3, rel + "0");
        while (below.Step() == SQLITE_ROW) ids.push_back(below.Int(0));
        for (std::int64_t i : ids) ok = ok && DropCard(db_, i);
    }
    if (ok) return Exec("COMMIT");
    Exec("ROLLBACK");
    return false;
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
