// Pieces the index's files share: a prepared statement that finalises itself, how a card's place is joined
// into one native path, the columns of the text table and the ranking function queries order by.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace search {

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
    int Type(int c) const { return sqlite3_column_type(st_, c); }
    std::string_view Text(int c) const {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(st_, c));
        return p ? std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(st_, c))) : std::string_view();
    }

private:
    sqlite3_stmt* st_ = nullptr;
    bool ok_ = false;
};


// The columns of the text table, in its order: the body first, since FTS5 spends no byte on the column of
// positions in column 0 and most positions are in the body.
enum Column { kBody, kTitle, kKeyword, kClass, kSource, kColumns };

// FTS5's interface on a connection; null when FTS5 is not there.
fts5_api* Fts5Api(sqlite3* db);

// Registers korvane_rank(ft) on a connection: a number that is smaller for a better match (see Query), or
// NULL for a row whose id is in `dead` (sorted), which the caller keeps up to date.
bool RegisterRank(sqlite3* db, const std::vector<std::int64_t>* dead);

// The fields a card is found by, each a column of its own so that no term spans two, and its stamp.
struct CardText {
    std::string fields[kColumns];
    std::string modified;
};
// Reads a card file (native path; `fileName` its last part) as the index sees it: at most the first
// kMaxIndexedBytes; a card the form cannot read by its text outside the markup, under its file name.
CardText ReadCardText(const std::string& nativePath, std::string_view fileName);

inline std::string Join(const std::string& dir, const std::string& name) { return dir.empty() ? name : dir + "/" + name; }

}  // namespace search
