#include "search/tokenizer.h"

#include <sqlite3.h>

#include <algorithm>
#include <bitset>
#include <cstdint>
#include <memory>

namespace search {
namespace {

// No per-tokenizer state; FTS5 still wants a handle.
Fts5Tokenizer* Handle() {
    static int dummy;
    return reinterpret_cast<Fts5Tokenizer*>(&dummy);
}

int Create(void*, const char**, int, Fts5Tokenizer** out) {
    *out = Handle();
    return SQLITE_OK;
}

void Delete(Fts5Tokenizer*) {}

// FTS5 finds a pending term through a hash that mixes the bytes of short keys poorly: the pairs of Chinese
// characters, all bytes with the high bit set, pile up in a few chains and building slows down tenfold.
// Each token therefore begins with two bytes of a well-mixed hash of the characters that follow.
void PrefixHash(std::string& token) {
    std::uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : token) h = (h ^ c) * 1099511628211ULL;
    h ^= h >> 29;
    h *= 0xbf58476d1ce4e5b9ULL;
    h ^= h >> 32;
    const char head[2] = {static_cast<char>(0x80 | (h & 0x7F)), static_cast<char>(0x80 | ((h >> 7) & 0x7F))};
    token.insert(0, head, 2);
}

using TokenFn = int (*)(void*, int, const char*, int, int, int);

int Tokenize(Fts5Tokenizer*, void* ctx, int flags, const char* text, int size, TokenFn emit) {
    if (size <= 0) return SQLITE_OK;
    if (flags & FTS5_TOKENIZE_QUERY) {
        // Queries are built from tokens made by TermTokens: each quoted string is one token already.
        return emit(ctx, 0, text, size, 0, size);
    }
    thread_local Units units;
    thread_local std::string token;
    thread_local std::unique_ptr<std::bitset<65536>> seen = std::make_unique<std::bitset<65536>>();
    units.clear();
    FoldAppend(std::string_view(text, static_cast<std::size_t>(size)), units);
    const std::size_t n = units.size();
    int rc = SQLITE_OK;
    for (std::size_t i = 0; i < n && rc == SQLITE_OK; ++i) {
        const Unit u = units[i];
        if (IsBreak(u)) continue;
        if (!seen->test(u)) {
            seen->set(u);
            token.clear();
            AppendTokenBytes(u, token);
            PrefixHash(token);
            rc = emit(ctx, 0, token.data(), static_cast<int>(token.size()), 0, 0);
        }
        if (i + 1 < n && !IsBreak(units[i + 1]) && rc == SQLITE_OK) {
            token.clear();
            AppendTokenBytes(u, token);
            AppendTokenBytes(units[i + 1], token);
            PrefixHash(token);
            rc = emit(ctx, 0, token.data(), static_cast<int>(token.size()), 0, 0);
        }
    }
    // Clear only what this card set: cheaper than 8 KB per card.
    for (Unit u : units) seen->reset(u);
    return rc;
}

fts5_api* Api(sqlite3* db) {
    fts5_api* api = nullptr;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &st, nullptr) != SQLITE_OK) return nullptr;
    sqlite3_bind_pointer(st, 1, &api, "fts5_api_ptr", nullptr);
    sqlite3_step(st);
    sqlite3_finalize(st);
    return api;
}

}  // namespace

bool RegisterTokenizer(sqlite3* db) {
    fts5_api* api = Api(db);
    if (!api) return false;
    static fts5_tokenizer tok{Create, Delete, Tokenize};
    return api->xCreateTokenizer(api, kTokenizerName, nullptr, &tok, nullptr) == SQLITE_OK;
}

std::vector<std::string> TermTokens(const Units& term) {
    std::vector<std::string> out;
    if (term.size() == 1) {
        out.emplace_back();
        AppendTokenBytes(term[0], out.back());
        PrefixHash(out.back());
        return out;
    }
    for (std::size_t i = 0; i + 1 < term.size(); ++i) {
        std::string t;
        AppendTokenBytes(term[i], t);
        AppendTokenBytes(term[i + 1], t);
        PrefixHash(t);
        if (std::find(out.begin(), out.end(), t) == out.end()) out.push_back(std::move(t));
    }
    return out;
}

}  // namespace search
