// The search index on the generated library (common characters) and on the real-text library (fortunes-zh's
// poems and sayings): queries on the warm index beside ripgrep's time for the same query over the same
// tree, the build from nothing beside FTS5's own trigram build of the same cards (and grep), the index's
// size beside the cards' bytes, and the refresh with no change beside the walk that stats every card. The
// index lives under $KORVANE_BENCH_DIR/cache, never in the user's cache folder.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>

#include "bench_common.h"
#include "platform/codec.h"
#include "search/index.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

enum Kind { kGenerated, kReal };

const GeneratedLibrary& Lib(int kind, int n) { return kind == kReal ? RealTextLibrary(n) : Library(n); }
const char* KindName(int kind) { return kind == kReal ? "real" : "generated"; }

// The index of a library, opened (and built, the first time) in the benchmark's own cache folder.
search::Index& WarmIndex(int kind, int n) {
    static std::map<std::pair<int, int>, std::unique_ptr<search::Index>> open;
    auto& slot = open[{kind, n}];
    const GeneratedLibrary& g = Lib(kind, n);
    // Library paths are relative to the program directory, as the window keeps them.
    fs::current_path(g.programDir);
    if (!slot) {
        const char* base = std::getenv("KORVANE_BENCH_DIR");
        setenv("XDG_CACHE_HOME", ((base ? std::string(base) : std::string("/tmp/korvane-bench")) + "/cache").c_str(), 1);
        slot = std::make_unique<search::Index>(g.libraryRel + "\\");
        std::string error;
        if (!slot->Open(error) || !slot->Refresh()) std::abort();
    }
    return *slot;
}

// Wall time of a shell command, its output thrown away.
double CommandMs(const std::string& cmd) {
    const auto t0 = Clock::now();
    if (std::system((cmd + " > /dev/null 2>&1").c_str()) == -1) std::abort();
    return Ms(t0, Clock::now());
}

// Queries of the generated library (its bodies hold some 300 common characters), and of the real one:
// one to five characters, one to three terms, Chinese, ASCII and mixed, rare and frequent.
const char* const kGeneratedQueries[] = {"整理", "摘录 引用", "读书笔记", "卡", "的"};
const char* const kRealQueries[] = {"的",   "e",     "人生", "明月",  "不度",  "之人",     "白日依山尽", "Lin",
                                    "inux", "Linux", "the",  "第1组", "春 风", "明月 the", "春 风 花",   "git 仓库"};
const char* Query(int kind, int i) { return kind == kReal ? kRealQueries[i] : kGeneratedQueries[i]; }

void BM_SearchQuery(benchmark::State& st) {
    const int kind = static_cast<int>(st.range(0)), n = static_cast<int>(st.range(1));
    const std::string query = plat::Gbk(Query(kind, static_cast<int>(st.range(2))));
    search::Index& index = WarmIndex(kind, n);
    std::size_t total = 0;
    for (auto _ : st) {
        // As the search window asks: every match counted, the best 200 listed with their snippets.
        const search::Result r = index.Query(query, 200);
        if (!r.ok) st.SkipWithError(plat::GbkToUtf8(r.error).c_str());
        total = r.total;
        benchmark::DoNotOptimize(r.hits.data());
    }
    st.counters["matches"] = static_cast<double>(total);
    st.SetLabel(std::string(KindName(kind)) + " " + Query(kind, static_cast<int>(st.range(2))));
}
BENCHMARK(BM_SearchQuery)
    ->ArgsProduct({{kGenerated}, {10000, 100000}, {0, 1, 2, 3, 4}})
    ->ArgsProduct({{kReal}, {100000}, benchmark::CreateDenseRange(0, std::size(kRealQueries) - 1, 1)})
    ->Unit(benchmark::kMillisecond);

// ripgrep over the same tree, as a user without the index would search: the files that hold the query's
// first term, any case.
void BM_Floor_RipgrepQuery(benchmark::State& st) {
    const int kind = static_cast<int>(st.range(0));
    const GeneratedLibrary& g = Lib(kind, static_cast<int>(st.range(1)));
    const std::string query = Query(kind, static_cast<int>(st.range(2)));
    const std::string cmd =
        "rg -l -F -i --encoding gbk -e '" + query.substr(0, query.find(' ')) + "' '" + g.programDir + "/datum'";
    for (auto _ : st) st.SetIterationTime(CommandMs(cmd) / 1000);
    st.SetLabel(std::string(KindName(kind)) + " " + query);
}
BENCHMARK(BM_Floor_RipgrepQuery)
    ->ArgsProduct({{kGenerated}, {10000, 100000}, {0}})
    ->ArgsProduct({{kReal}, {100000}, benchmark::CreateDenseRange(0, std::size(kRealQueries) - 1, 1)})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The walk with every file's size and time asked of the file system: what any check "by size and
// modification time" must do at the least.
long long WalkAndStat(int fd) {
    DIR* d = fdopendir(fd);
    if (!d) return 0;
    long long n = 0;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.' && (e->d_name[1] == 0 || (e->d_name[1] == '.' && e->d_name[2] == 0))) continue;
        ++n;
        if (e->d_type == DT_DIR) {
            const int sub = openat(dirfd(d), e->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (sub >= 0) n += WalkAndStat(sub);
        } else {
            struct stat st;
            if (fstatat(dirfd(d), e->d_name, &st, 0) == 0) n += st.st_size > 0 ? 0 : 1;
        }
    }
    closedir(d);
    return n;
}

std::string LibraryNative(const GeneratedLibrary& g) {
    std::string rel = g.libraryRel;
    std::replace(rel.begin(), rel.end(), '\\', '/');
    return g.programDir + "/" + rel;
}

// The refresh after a load when nothing changed, and the bare walk of the same tree, in turns; the walk
// that also asks every file's size and time, and `find -type f` printing them, beside them.
void BM_SearchRefreshOverWalk(benchmark::State& st) {
    const int kind = static_cast<int>(st.range(0)), n = static_cast<int>(st.range(1));
    const GeneratedLibrary& g = Lib(kind, n);
    search::Index& index = WarmIndex(kind, n);
    const std::string root = LibraryNative(g);
    double walkSum = 0, refreshSum = 0, statSum = 0, findSum = 0;
    // What a user's own check would run: every file's size and time, printed.
    const std::string find = "find '" + root + "' -type f -printf '%s %T@\\n'";
    for (auto _ : st) {
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(WalkTree(root));
        const auto t1 = Clock::now();
        if (!index.Refresh()) std::abort();
        const auto t2 = Clock::now();
        benchmark::DoNotOptimize(WalkAndStat(open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
        const auto t3 = Clock::now();
        walkSum += Ms(t0, t1);
        refreshSum += Ms(t1, t2);
        statSum += Ms(t2, t3);
        findSum += CommandMs(find);
        st.SetIterationTime(Ms(t1, t2) / 1000);
    }
    const double it = static_cast<double>(st.iterations());
    st.counters["walk_ms"] = walkSum / it;
    st.counters["walk_stat_ms"] = statSum / it;
    st.counters["over_walk_stat"] = refreshSum / statSum;
    st.counters["find_stat_ms"] = findSum / it;
    st.counters["over_find_stat"] = refreshSum / findSum;
    st.counters["refresh_ms"] = refreshSum / it;
    st.counters["ratio"] = refreshSum / walkSum;
    st.SetLabel(KindName(kind));
}
BENCHMARK(BM_SearchRefreshOverWalk)
    ->ArgsProduct({{kGenerated}, {10000, 100000}})
    ->Args({kReal, 100000})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The cards' files: how many bytes they hold together.
double CardBytes(const GeneratedLibrary& g) {
    double bytes = 0;
    for (const auto& e : fs::recursive_directory_iterator(LibraryNative(g)))
        if (e.is_regular_file() && e.path().filename().string().find(".datum.") != std::string::npos)
            bytes += static_cast<double>(e.file_size());
    return bytes;
}

// FTS5's own trigram tokenizer given the text of the same cards (read and converted to UTF-8 inside the
// timing), in a fresh file: what the engine itself costs for an index that finds Chinese substrings.
double Fts5TrigramBuildMs(const GeneratedLibrary& g) {
    const std::string db = g.programDir + "/../trigram-floor.sqlite";
    fs::remove(db);
    const auto t0 = Clock::now();
    sqlite3* h = nullptr;
    if (sqlite3_open(db.c_str(), &h) != SQLITE_OK ||
        sqlite3_exec(h, "CREATE VIRTUAL TABLE t USING fts5(body, tokenize='trigram', detail=none); BEGIN",
                     nullptr, nullptr, nullptr) != SQLITE_OK)
        std::abort();
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(h, "INSERT INTO t(body) VALUES (?1)", -1, &ins, nullptr);
    for (const auto& e : fs::recursive_directory_iterator(LibraryNative(g))) {
        if (!e.is_regular_file() || e.path().filename().string().find(".datum.") == std::string::npos) continue;
        std::ifstream in(e.path(), std::ios::binary);
        const std::string text = plat::GbkToUtf8(std::string(std::istreambuf_iterator<char>(in), {}));
        sqlite3_bind_text(ins, 1, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        sqlite3_step(ins);
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    if (sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) std::abort();
    sqlite3_close(h);
    const double ms = Ms(t0, Clock::now());
    fs::remove(db);
    return ms;
}

// The build from nothing, grep's pass over the same tree and FTS5's trigram build of the same text, in
// turns; the index's size beside the cards' bytes.
void BM_SearchBuildOverTrigram(benchmark::State& st) {
    const int kind = static_cast<int>(st.range(0)), n = static_cast<int>(st.range(1));
    const GeneratedLibrary& g = Lib(kind, n);
    const std::string file = WarmIndex(kind, n).FilePath();
    const std::string grep = "grep -rlF '" + plat::Gbk("的") + "' '" + LibraryNative(g) + "'";
    double grepSum = 0, buildSum = 0, trigramSum = 0;
    for (auto _ : st) {
        grepSum += CommandMs(grep);
        trigramSum += Fts5TrigramBuildMs(g);
        search::Index fresh(g.libraryRel + "\\");
        for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(file + suffix);
        const auto t0 = Clock::now();
        std::string error;
        if (!fresh.Open(error) || !fresh.Refresh()) std::abort();
        const double ms = Ms(t0, Clock::now());
        buildSum += ms;
        st.SetIterationTime(ms / 1000);
    }
    const double it = static_cast<double>(st.iterations());
    st.counters["grep_ms"] = grepSum / it;
    st.counters["build_ms"] = buildSum / it;
    st.counters["over_grep"] = buildSum / grepSum;
    st.counters["fts5_trigram_ms"] = trigramSum / it;
    st.counters["ratio_to_trigram"] = buildSum / trigramSum;
    std::error_code ec;
    double bytes = 0;
    for (const char* suffix : {"", "-wal"}) {
        const auto size = fs::file_size(file + suffix, ec);
        if (!ec) bytes += static_cast<double>(size);
    }
    const double cards = CardBytes(g);
    st.counters["index_MiB"] = bytes / (1 << 20);
    st.counters["cards_MiB"] = cards / (1 << 20);
    st.counters["size_ratio"] = bytes / cards;
    st.SetLabel(KindName(kind));
}
BENCHMARK(BM_SearchBuildOverTrigram)
    ->ArgsProduct({{kGenerated}, {10000, 100000}})
    ->Args({kReal, 100000})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
