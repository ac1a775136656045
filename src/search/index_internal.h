// Pieces the index's files share: a prepared statement that finalises itself, and how a card's place is
// joined into one native path.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

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
    std::string_view Text(int c) const {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(st_, c));
        return p ? std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(st_, c))) : std::string_view();
    }

private:
    sqlite3_stmt* st_ = nullptr;
    bool ok_ = false;
};


inline std::string Join(const std::string& dir, const std::string& name) { return dir.empty() ? name : dir + "/" + name; }

}  // namespace search
