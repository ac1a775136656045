// Answering a query: the phrase of each term matched by FTS5, every match counted and ranked from the
// positions FTS5 already holds, and the best ones filled in with their place, fields and snippet.
#include <sqlite3.h>

#include <algorithm>
#include <queue>

#include "platform/codec.h"
#include "platform/path.h"
#include "search/fold.h"
#include "search/index.h"
#include "search/index_internal.h"
#include "search/tokenizer.h"

namespace search {
namespace {

// Smaller is better: the first of title, keywords, class and source that holds every term (the rest
// after them), then the most hits in all fields. A card's id, the tie-break, grows with its stamp. NULL for
// a dead row.
void Rank(const Fts5ExtensionApi* api, Fts5Context* ctx, sqlite3_context* out, int, sqlite3_value**) {
    const auto* dead = static_cast<const std::vector<std::int64_t>*>(api->xUserData(ctx));
    if (!dead->empty() && std::binary_search(dead->begin(), dead->end(), api->xRowid(ctx))) {
        sqlite3_result_null(out);
        return;
    }
    unsigned every = ~0u;
    std::uint64_t hits = 0;
    for (int p = 0, n = api->xPhraseCount(ctx); p < n; ++p) {
        Fts5PhraseIter it;
        int col = -1, off = 0;
        const int rc = api->xPhraseFirst(ctx, p, &it, &col, &off);
        if (rc != SQLITE_OK) {
            sqlite3_result_error_code(out, rc);
            return;
        }
        unsigned cols = 0;
        for (; col >= 0; api->xPhraseNext(ctx, &it, &col, &off)) {
            cols |= 1u << col;
            ++hits;
        }
        every &= cols;
    }
    std::uint64_t tier = kColumns - 1;
    for (int c = kTitle; c < kColumns; ++c) {
        if (every & (1u << c)) {
            tier = static_cast<std::uint64_t>(c - kTitle);
            break;
        }
    }
    const std::uint64_t fewer = 0xFFFFFFFFu - std::min<std::uint64_t>(hits, 0xFFFFFFFFu);
    sqlite3_result_int64(out, static_cast<sqlite3_int64>(tier << 32 | fewer));
}

// The FTS5 query: every term's phrase, all of them required. Each quoted string is one token (the query
// side of the tokenizer passes it through); '"' inside one is doubled.
std::string MatchExpression(const std::vector<Units>& terms) {
    std::string match;
    for (const Units& t : terms) {
        if (!match.empty()) match += " AND ";
        bool first = true;
        for (const std::string& tok : TermTokens(t)) {
            if (!first) match += " + ";
            first = false;
            match += '"';
            for (char c : tok) {
                if (c == '"') match += '"';
                match += c;
            }
            match += '"';
        }
    }
    return match;
}

struct Ranked {
    std::int64_t key, id;
};
// Better first: smaller key, then the newer (larger) id.
bool Before(const Ranked& a, const Ranked& b) { return a.key != b.key ? a.key < b.key : a.id > b.id; }

// The snippet: from the body where a term is there, else from the keywords or the source; title and class
// have columns of their own in the list.
Snippet CardSnippet(const std::string (&fields)[kColumns], const std::vector<Units>& terms) {
    for (Column c : {kBody, kKeyword, kSource}) {
        bool found = false;
        Snippet s = SnippetOf(fields[c], terms, 24, &found);
        if (found) return s;
    }
    return SnippetOf(fields[kBody], {});
}

}  // namespace

int Index::LoadDead() {
    // Another connection (the worker) committing changes the file's data version.
    Stmt version(db_, "PRAGMA data_version");
    if (version.Step() != SQLITE_ROW) return sqlite3_extended_errcode(db_);
    if (version.Int(0) == dataVersion_) return SQLITE_OK;
    std::vector<std::int64_t> dead;
    Stmt st(db_, "SELECT id FROM dead ORDER BY id");
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW) dead.push_back(st.Int(0));
    if (rc != SQLITE_DONE) return sqlite3_extended_errcode(db_);
    dead_ = std::move(dead);
    dataVersion_ = version.Int(0);
    return SQLITE_OK;
}

bool RegisterRank(sqlite3* db, const std::vector<std::int64_t>* dead) {
    fts5_api* api = Fts5Api(db);
    return api && api->xCreateFunction(api, "korvane_rank", const_cast<std::vector<std::int64_t>*>(dead), Rank,
                                       nullptr) == SQLITE_OK;
}

Result Index::Query(std::string_view queryGbk, std::size_t maxHits, bool snippets) {
    Result r;
    if (Fold(queryGbk).size() > kMaxQueryChars) {
        r.ok = false;
        r.error = plat::Gbk("检索内容太长: 最多 ") + std::to_string(kMaxQueryChars) + plat::Gbk(" 个字");
        return r;
    }
    const std::vector<Units> terms = SplitTerms(queryGbk);
    if (terms.empty()) return r;
    auto fail = [&](int rc) {
        r.ok = false;
        r.hits.clear();
        r.total = 0;
        const int code = rc & 0xFF;
        r.cancelled = code == SQLITE_INTERRUPT || stop_;
        r.damaged = code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
        r.error = plat::Gbk("检索索引出错: ") + sqlite3_errstr(rc);
        return r;
    };

    // The best maxHits in a heap whose top is the worst of them.
    auto worse = [](const Ranked& a, const Ranked& b) { return Before(a, b); };
    std::priority_queue<Ranked, std::vector<Ranked>, decltype(worse)> best(worse);
    // An Interrupt that came before the first step: SQLite forgets one made while nothing runs.
    if (stop_) return fail(SQLITE_INTERRUPT);
    if (const int rc = LoadDead(); rc != SQLITE_OK) return fail(rc);
    {
        Stmt st(db_, "SELECT rowid, korvane_rank(ft) FROM ft WHERE ft MATCH ?1");
        if (!st.ok()) return fail(sqlite3_extended_errcode(db_));
        st.Bind(1, MatchExpression(terms));
        int rc;
        while ((rc = st.Step()) == SQLITE_ROW) {
            if ((++r.total & 1023) == 0 && stop_) return fail(SQLITE_INTERRUPT);
            if (st.Type(1) == SQLITE_NULL) {
                --r.total;  // dead
                continue;
            }
            const Ranked row{st.Int(1), st.Int(0)};
            if (best.size() < maxHits) {
                best.push(row);
            } else if (maxHits > 0 && Before(row, best.top())) {
                best.pop();
                best.push(row);
            }
        }
        if (rc != SQLITE_DONE) return fail(sqlite3_extended_errcode(db_));
    }
    std::vector<Ranked> order;
    order.reserve(best.size());
    for (; !best.empty(); best.pop()) order.push_back(best.top());
    std::reverse(order.begin(), order.end());

    Stmt meta(db_, "SELECT dir, name FROM cards WHERE id=?1");
    for (const Ranked& row : order) {
        if (stop_) return fail(SQLITE_INTERRUPT);
        if (const int rc = meta.Bind(1, row.id).Step(); rc != SQLITE_ROW) {
            // A damaged table reads as a missing row unless its error is looked at.
            if (rc != SQLITE_DONE) return fail(sqlite3_extended_errcode(db_));
            meta.Reset();
            continue;
        }
        const std::string native = Join(std::string(meta.Text(0)), std::string(meta.Text(1)));
        const auto rel = plat::FromNative(native);
        if (!rel) {
            // A name GBK cannot hold: the tree does not show that card either.
            meta.Reset();
            --r.total;
            continue;
        }
        Hit h;
        h.path = libRoot_ + *rel;
        meta.Reset();
        if (snippets) {
            // The index keeps no text: fields and snippet come from the card file as it is now.
            const std::string file = nativeRoot_ + native;
            CardText t = ReadCardText(file, std::string_view(file).substr(file.rfind('/') + 1));
            Snippet s = CardSnippet(t.fields, terms);
            h.title = std::move(t.fields[kTitle]);
            h.klass = std::move(t.fields[kClass]);
            h.modified = std::move(t.modified);
            h.snippet = std::move(s.text);
            h.marks = std::move(s.marks);
        }
        r.hits.push_back(std::move(h));
    }
    // "No match" from a library that has cards is the answer a damaged index gives most easily: the
    // tables the answer passes through are checked before it is believed.
    if (r.total == 0)
        if (const int rc = CheckWhole(); rc != SQLITE_OK) return fail(rc);
    return r;
}

int Index::CheckWhole() {
    Stmt version(db_, "PRAGMA data_version");
    if (version.Step() != SQLITE_ROW) return sqlite3_extended_errcode(db_);
    if (version.Int(0) == checkedVersion_) return SQLITE_OK;
    Stmt count(db_, "SELECT count(*) FROM cards");
    if (count.Step() != SQLITE_ROW) return sqlite3_extended_errcode(db_);
    if (count.Int(0) > 0) {
        // The card and folder tables only: the text table's damage shows as an error of its own, and checking
        // it would read the whole file on every empty answer.
        for (const char* sql : {"PRAGMA quick_check(cards)", "PRAGMA quick_check(folders)"}) {
            Stmt check(db_, sql);
            const int rc = check.Step();
            if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? SQLITE_CORRUPT : sqlite3_extended_errcode(db_);
            if (check.Text(0) != "ok") return SQLITE_CORRUPT;
        }
    }
    checkedVersion_ = version.Int(0);
    return SQLITE_OK;
}

}  // namespace search
