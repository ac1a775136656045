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
#include "search/fold.h"
#include "search/index_internal.h"
#include "search/walk.h"
#include "store/xml_record_set.h"

namespace search {
namespace {

// Cards written per transaction while building: each commit lets the window's queries see them.
constexpr int kBatch = 5000;

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
        // A card the form cannot open is still found by its text, under its file name; its markup is left
        // out, or every such card would match "xml" or "title". '<' and '>' are below 0x40, so they are never
        // the second byte of a GBK character and a byte scan is safe.
        const auto name = plat::FromNative(fileName);
        const std::string gbkName = name ? *name : std::string();
        out.title = gbkName.substr(0, gbkName.find(".datum."));
        bool inTag = false;
        for (char ch : data) {
            if (ch == '<') inTag = true;
            else if (ch == '>' && inTag) inTag = false;
            else if (!inTag) out.body.push_back(ch);
        }
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

}  // namespace search
