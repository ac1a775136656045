#include "search/tokenizer.h"

#include <sqlite3.h>

#include <cstdint>
#include <new>

#include "search/index_internal.h"

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

std::string Token(Unit a) {
    std::string t;
    AppendTokenBytes(a, t);
    PrefixHash(t);
    return t;
}

// A letter or digit of ASCII (full-width ones are folded to them): few characters that make long lists of
// positions, so each also starts a pair token.
bool StartsPair(Unit u) { return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z'); }

std::string Token(Unit a, Unit b) {
    std::string t;
    AppendTokenBytes(a, t);
    AppendTokenBytes(b, t);
    PrefixHash(t);
    return t;
}

// The gap after a run of characters: the stray-byte mark, which no query character ever is.
const std::string& Gap() {
    static const std::string gap = Token(kStray);
    return gap;
}

using TokenFn = int (*)(void*, int, const char*, int, int, int);

int TokenizeDocument(void* ctx, const char* text, int size, TokenFn sink) {
    thread_local Units units;
    units.clear();
    FoldAppend(std::string_view(text, static_cast<std::size_t>(size)), units);
    const std::size_t n = units.size();
    int rc = SQLITE_OK;
    bool inRun = false;
    for (std::size_t i = 0; i < n && rc == SQLITE_OK; ++i) {
        const Unit u = units[i];
        if (IsBreak(u)) {
            if (inRun) rc = sink(ctx, 0, Gap().data(), static_cast<int>(Gap().size()), 0, 0);
            inRun = false;
            continue;
        }
        inRun = true;
        std::string t = Token(u);
        rc = sink(ctx, 0, t.data(), static_cast<int>(t.size()), 0, 0);
        if (rc == SQLITE_OK && StartsPair(u) && i + 1 < n && !IsBreak(units[i + 1])) {
            t = Token(u, units[i + 1]);
            rc = sink(ctx, FTS5_TOKEN_COLOCATED, t.data(), static_cast<int>(t.size()), 0, 0);
        }
    }
    if (units.capacity() > (1u << 20)) Units().swap(units);  // a huge card's buffer is not kept
    return rc;
}

int Tokenize(Fts5Tokenizer*, void* ctx, int flags, const char* text, int size, TokenFn sink) {
    if (size <= 0) return SQLITE_OK;
    // Queries are built from tokens made by TermTokens: each quoted string is one token already.
    if (flags & FTS5_TOKENIZE_QUERY) return sink(ctx, 0, text, size, 0, size);
    // No exception may cross SQLite's C frames: a card too large for memory fails its statement instead.
    try {
        return TokenizeDocument(ctx, text, size, sink);
    } catch (const std::bad_alloc&) {
        return SQLITE_NOMEM;
    }
}

}  // namespace

fts5_api* Fts5Api(sqlite3* db) {
    fts5_api* api = nullptr;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &st, nullptr) != SQLITE_OK) return nullptr;
    sqlite3_bind_pointer(st, 1, &api, "fts5_api_ptr", nullptr);
    sqlite3_step(st);
    sqlite3_finalize(st);
    return api;
}

bool RegisterTokenizer(sqlite3* db) {
    fts5_api* api = Fts5Api(db);
    if (!api) return false;
    static fts5_tokenizer tok{Create, Delete, Tokenize};
    return api->xCreateTokenizer(api, kTokenizerName, nullptr, &tok, nullptr) == SQLITE_OK;
}

std::vector<std::string> TermTokens(const Units& term) {
    std::vector<std::string> out;
    const std::size_t n = term.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (i + 1 < n && StartsPair(term[i])) {
            out.push_back(Token(term[i], term[i + 1]));
            // The pair holds the last character too: the phrase ends here.
            if (i + 2 == n) break;
        } else {
            out.push_back(Token(term[i]));
        }
    }
    return out;
}

}  // namespace search
