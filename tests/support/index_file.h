// The search index's file as another program sees it: SQL run past the index's own connection, for tests
// that count its rows or damage it the way a crash or a failing disk would.
#pragma once

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

// The first number the SQL gives, -1 for none, -2 when it fails.
inline std::int64_t IndexSql(const std::string& file, const char* sql) {
    sqlite3* db = nullptr;
    std::int64_t v = -1;
    auto first = [](void* out, int, char** cols, char**) {
        return *static_cast<std::int64_t*>(out) = cols[0] ? std::atoll(cols[0]) : -1, 0;
    };
    const bool ok = sqlite3_open(file.c_str(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, sql, first, &v, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok ? v : -2;
}

// Overwrites every leaf page of the text table's segments except the first of each (ids: segment << 37,
// height << 31, page number) with bytes no page can start with: damage that opening the index does not
// meet, only a query does.
constexpr char kGarbleLeaves[] =
    "UPDATE ft_data SET block=CAST(printf('%.*c', length(block), 'x') AS BLOB)"
    " WHERE id>10 AND (id & 2147483647)>=2 AND ((id >> 31) & 63)=0";

// Zeroes the leaf pages of one table in the file, as a failing disk or a torn write leaves them, all but the
// rightmost (the one max(id) reads, so that opening the index does not meet the damage). The WAL is folded
// into the file first; no connection may be open. The number of pages zeroed, -1 when the file cannot be read.
inline int ZeroTableLeaves(const std::string& file, const char* table) {
    sqlite3* db = nullptr;
    std::vector<std::pair<std::string, std::int64_t>> leaves;  // (tree path, page), in tree order once sorted
    std::int64_t pageSize = 0;
    bool ok = sqlite3_open(file.c_str(), &db) == SQLITE_OK &&
              sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt* st = nullptr;
    if (ok && sqlite3_prepare_v2(db, "SELECT path, pageno, (SELECT page_size FROM pragma_page_size) FROM dbstat"
                                     " WHERE name=?1 AND pagetype='leaf'", -1, &st, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(st, 1, table, -1, SQLITE_STATIC);
        while (sqlite3_step(st) == SQLITE_ROW) {
            leaves.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), sqlite3_column_int64(st, 1));
            pageSize = sqlite3_column_int64(st, 2);
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    if (!ok) return -1;
    std::sort(leaves.begin(), leaves.end());
    if (!leaves.empty()) leaves.pop_back();
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    for (const auto& [path, page] : leaves) {
        f.seekp((page - 1) * pageSize);
        f.write(std::string(static_cast<std::size_t>(pageSize), '\0').data(), pageSize);
    }
    return f ? static_cast<int>(leaves.size()) : -1;
}
