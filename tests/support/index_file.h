// The search index's file as another program sees it: SQL run past the index's own connection, for tests
// that count its rows or damage it the way a crash or a failing disk would.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <string>

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
