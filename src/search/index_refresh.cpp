// Keeping the index in step with the card files: the refresh and single paths the program reports.
#include "search/index.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <unordered_map>

#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "search/index_internal.h"
#include "search/walk.h"
#include "store/xml_record_set.h"

namespace search {
namespace {

// Cards written per transaction while building: each commit lets the window's queries see them. A batch
// also ends once its text passes kBatchBytes, so a few huge cards never hold much memory.
constexpr int kBatch = 5000;
constexpr std::size_t kBatchBytes = 64u << 20;
// Ids are blocks of this many per minute of modification stamp (see NextId).
constexpr int kIdBits = 20;

// A number that grows with a stamp "年-月-日 时:分" (in the same order, not a count of minutes); 0 for
// anything else.
std::int64_t StampOrder(std::string_view s) {
    static const char kSeps[] = {'-', '-', ' ', ':'};
    static const int kMax[] = {9999, 12, 31, 23, 59};
    std::int64_t v[5];
    std::size_t pos = 0;
    for (int k = 0; k < 5; ++k) {
        const std::size_t end = k < 4 ? s.find(kSeps[k], pos) : s.size();
        if (end == std::string_view::npos || end == pos || end - pos > 4) return 0;
        v[k] = 0;
        for (std::size_t i = pos; i < end; ++i) {
            if (s[i] < '0' || s[i] > '9') return 0;
            v[k] = v[k] * 10 + (s[i] - '0');
        }
        if (v[k] > kMax[k] || (k < 3 && v[k] == 0)) return 0;
        pos = end + 1;
    }
    return (((v[0] * 12 + v[1] - 1) * 31 + v[2] - 1) * 24 + v[3]) * 60 + v[4] + 1;
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

struct Known {
    std::int64_t id, size, mtime;
};

// The card's row goes; its text row stays in the index, dead, until Compact.
bool DropCard(sqlite3* db, std::int64_t id) {
    Stmt a(db, "INSERT OR IGNORE INTO dead(id) VALUES(?1)");
    Stmt b(db, "DELETE FROM cards WHERE id=?1");
    return a.Bind(1, id).Run() && b.Bind(1, id).Run();
}

// Writes cards in batches. A card's id is its stamp's order shifted left, plus its place among the cards of
// that minute: queries then take the newest of equal matches by the larger id, with no other lookup. A
// changed card gets a new id and its old one is dead. FTS5 writes a batch of rows in one go only when their
// ids rise, so each batch adds its rows in id order.
class Writer {
public:
    explicit Writer(sqlite3* db) : db_(db) {}

    // Reads the card; it is written by the next Flush.
    void Add(const std::string& nativeRoot, const std::string& dir, const CardFile& f, std::int64_t oldId) {
        Card c{dir, f, oldId, ReadCardText(nativeRoot + Join(dir, f.name), f.name), 0};
        for (const std::string& s : c.text.fields) bytes_ += s.size();
        batch_.push_back(std::move(c));
    }
    bool Full() const { return batch_.size() >= static_cast<std::size_t>(kBatch) || bytes_ >= kBatchBytes; }

    bool Flush() {
        bool ok = true;
        for (const Card& c : batch_)
            if (c.oldId) ok = ok && DropCard(db_, c.oldId);
        // Cards of one minute are numbered from the last place to the first, so that equal matches list in
        // the order of their places (the larger id first), and a rebuild numbers them alike.
        std::sort(batch_.begin(), batch_.end(), [](const Card& a, const Card& b) {
            const std::int64_t sa = StampOrder(a.text.modified), sb = StampOrder(b.text.modified);
            return sa != sb ? sa < sb : a.dir != b.dir ? a.dir > b.dir : a.file.name > b.file.name;
        });
        for (Card& c : batch_) c.id = ok ? NextId(StampOrder(c.text.modified)) : 0;
        std::sort(batch_.begin(), batch_.end(), [](const Card& a, const Card& b) { return a.id < b.id; });
        Stmt card(db_, "INSERT INTO cards(id, dir, name, size, mtime) VALUES(?1,?2,?3,?4,?5)");
        Stmt text(db_, "INSERT INTO ft(rowid, body, title, keyword, class, source) VALUES(?1,?2,?3,?4,?5,?6)");
        for (const Card& c : batch_) {
            if (!ok) break;
            const auto& f = c.text.fields;
            ok = card.Bind(1, c.id).Bind(2, c.dir).Bind(3, c.file.name).Bind(4, c.file.size).Bind(5, c.file.mtime)
                     .Run() &&
                 text.Bind(1, c.id).Bind(2, f[kBody]).Bind(3, f[kTitle]).Bind(4, f[kKeyword]).Bind(5, f[kClass])
                     .Bind(6, f[kSource])
                     .Run();
        }
        batch_.clear();
        bytes_ = 0;
        return ok;
    }

private:
    struct Card {
        std::string dir;
        CardFile file;
        std::int64_t oldId;
        CardText text;
        std::int64_t id;
    };

    // The next free id of a stamp's block; a block that is full (a million cards of one minute) gives way
    // to the next, which keeps the order.
    std::int64_t NextId(std::int64_t order) {
        const std::int64_t block = order << kIdBits;
        auto it = next_.find(block);
        if (it == next_.end()) {
            // Dead ids count as used: the filter would hide a live card that took one.
            Stmt top(db_, "SELECT max(m) FROM (SELECT max(id) AS m FROM cards WHERE id>?1 AND id<?2"
                          " UNION ALL SELECT max(id) FROM dead WHERE id>?1 AND id<?2)");
            top.Bind(1, block).Bind(2, block + (std::int64_t(1) << kIdBits));
            const std::int64_t used = top.Step() == SQLITE_ROW && top.Int(0) > block ? top.Int(0) : block;
            it = next_.emplace(block, used + 1).first;
        }
        if (it->second >= block + (std::int64_t(1) << kIdBits)) return NextId(order + 1);
        return it->second++;
    }

    sqlite3* db_;
    std::vector<Card> batch_;
    std::size_t bytes_ = 0;
    std::unordered_map<std::int64_t, std::int64_t> next_;
};

}  // namespace

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
            int rc;
            while ((rc = inDir.Step()) == SQLITE_ROW)
                known.emplace(std::string(inDir.Text(0)), Known{inDir.Int(1), inDir.Int(2), inDir.Int(3)});
            // A damaged table reads as fewer cards: every card would seem new, its old row alive.
            if (rc != SQLITE_DONE) dbOk = false;
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
            int rc;
            while ((rc = inDir.Step()) == SQLITE_ROW) gone.push_back(inDir.Int(1));
            if (rc != SQLITE_DONE) dbOk = false;
            inDir.Reset();
        }
        if (progress) progress->done = done;
        // Nothing changed: no transaction, nothing to compact; the walk was the work.
        if (dbOk && changed.empty() && stored.empty()) return true;

        dbOk = dbOk && Exec("BEGIN");
        for (std::int64_t id : gone) dbOk = dbOk && DropCard(db_, id);
        {
            Stmt dropFolder(db_, "DELETE FROM folders WHERE rel=?1");
            for (const auto& [rel, sig] : stored) dbOk = dbOk && dropFolder.Bind(1, rel).Run();
        }
        Writer writer(db_);
        bool cancelled = false;
        for (const Work& w : work) {
            if (!dbOk) break;
            if (progress && progress->cancel) {
                cancelled = true;
                break;
            }
            writer.Add(nativeRoot_, w.folder->rel, *w.file, w.id);
            if (progress) ++progress->done;
            // Each batch is committed, so that queries see it.
            if (writer.Full()) dbOk = writer.Flush() && Exec("COMMIT") && Exec("BEGIN");
        }
        dbOk = dbOk && writer.Flush();
        if (dbOk && !cancelled) {
            // A folder is marked in step only once all its cards are: a cancelled refresh looks again.
            Stmt put(db_, "INSERT OR REPLACE INTO folders(rel, signature) VALUES(?1, ?2)");
            for (const Folder* f : changed)
                dbOk = dbOk && put.Bind(1, f->rel).Bind(2, static_cast<std::int64_t>(f->signature)).Run();
        }
        dbOk = dbOk && Exec("COMMIT");
        dataVersion_ = checkedVersion_ = -1;  // this connection's own commits leave PRAGMA data_version as it was
        if (dbOk) {
            // A compaction that fails leaves the dead rows, which answers leave out anyway.
            if (!cancelled) CompactIfWasteful(progress);
            Exec("PRAGMA incremental_vacuum");
            return true;
        }
        const bool busy = Busy();
        Exec("ROLLBACK");
        // Another process writing the same index (the window and the command line) is no damage.
        if (busy) return false;
        // The file is damaged (or vanished under us): build it again from nothing.
        std::string error;
        if (!Rebuild(error)) return false;
        rebuiltForDamage_ = true;
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
            Writer writer(db_);
            writer.Add(nativeRoot_, dir, f, id);
            ok = writer.Flush();
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
    dataVersion_ = checkedVersion_ = -1;
    if (ok && Exec("COMMIT")) {
        CompactIfWasteful(nullptr);
        return true;
    }
    Exec("ROLLBACK");
    return false;
}

void Index::CompactIfWasteful(Progress* progress) {
    // The cards are counted only when there are dead rows enough to matter: a refresh with nothing to do
    // stays a walk.
    Stmt dead(db_, "SELECT count(*) FROM dead");
    if (dead.Step() != SQLITE_ROW || dead.Int(0) < kMinDeadToCompact) return;
    Stmt live(db_, "SELECT count(*) FROM cards");
    if (live.Step() == SQLITE_ROW && dead.Int(0) * 5 >= live.Int(0)) Compact(progress);
}

bool Index::Compact(Progress* progress) {
    struct Row {
        std::int64_t id;
        std::string path;
    };
    std::vector<Row> rows;
    {
        Stmt st(db_, "SELECT id, dir, name FROM cards ORDER BY id");
        while (st.Step() == SQLITE_ROW)
            rows.push_back({st.Int(0), nativeRoot_ + Join(std::string(st.Text(1)), std::string(st.Text(2)))});
    }
    if (progress) {
        progress->total = static_cast<int>(rows.size());
        progress->done = 0;
    }
    // One transaction: queries see the old text table, dead rows and all, until the new one is whole.
    bool ok = Exec("BEGIN") && Exec("INSERT INTO ft(ft) VALUES('delete-all')") && Exec("DELETE FROM dead");
    Stmt text(db_, "INSERT INTO ft(rowid, body, title, keyword, class, source) VALUES(?1,?2,?3,?4,?5,?6)");
    for (const Row& r : rows) {
        if (!ok || (progress && progress->cancel)) {
            ok = false;
            break;
        }
        // A card changed since keeps its old size and time in `cards`: the next refresh reads it again.
        const std::size_t slash = r.path.rfind('/');
        const CardText t = ReadCardText(r.path, std::string_view(r.path).substr(slash + 1));
        const auto& f = t.fields;
        ok = text.Bind(1, r.id).Bind(2, f[kBody]).Bind(3, f[kTitle]).Bind(4, f[kKeyword]).Bind(5, f[kClass])
                 .Bind(6, f[kSource])
                 .Run();
        if (progress) ++progress->done;
    }
    dataVersion_ = checkedVersion_ = -1;
    if (ok && Exec("COMMIT")) return Exec("PRAGMA incremental_vacuum");
    Exec("ROLLBACK");
    return false;
}

}  // namespace search
