// The card history on fortunes-zh's real text: a save with its version recorded beside the fsync'd save
// alone, the first history of a whole library beside `git add -A && git commit` of the same files, and the
// versions of a card with 1,000 of them listed.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "bench_common.h"
#include "history/place.h"
#include "history/store.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "search/walk.h"

namespace fs = std::filesystem;

namespace {

struct Cards {
    std::string root;  // native library folder
    std::vector<std::string> paths;  // in the store's form
};

const Cards& RealCards(int n) {
    static std::map<int, Cards> all;
    Cards& c = all[n];
    if (c.root.empty()) {
        const GeneratedLibrary& lib = RealTextLibrary(n);
        c.root = history::Canonical(lib.programDir + "/" + plat::ToNative(lib.libraryRel));
        std::vector<search::Folder> folders;
        search::WalkLibrary(c.root, folders, true);
        for (const auto& f : folders)
            for (const auto& card : f.cards) c.paths.push_back(f.rel.empty() ? card.name : f.rel + "/" + card.name);
    }
    return c;
}

std::string ReadAll(const std::string& native) {
    std::ifstream in(native, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Scratch(const std::string& name) {
    const std::string dir = (fs::temp_directory_path() / ("korvane-bench-history-" + name)).string();
    std::error_code ec;
    fs::remove_all(dir, ec);
    return dir;
}

// A store holding the first history of the n-card library, made once.
history::Store& ImportedStore(int n) {
    static std::map<int, std::unique_ptr<history::Store>> stores;
    auto& s = stores[n];
    if (!s) {
        const Cards& c = RealCards(n);
        s = std::make_unique<history::Store>();
        std::string error;
        if (!s->OpenAt(Scratch("store" + std::to_string(n)), error) ||
            !s->Import(c.paths, [&](const std::string& p, std::string& b) { return b = ReadAll(c.root + "/" + p), true; },
                       nullptr, error))
            throw std::runtime_error(error);
    }
    return *s;
}

// The save the window makes (atomic, fsync'd), of a card whose text changes each time.
void Save(const std::string& native, std::string& text, long i) {
    text.resize(text.size() - 8);
    char tail[16];
    std::snprintf(tail, sizeof tail, "%08ld", i % 100000000);
    text += tail;
    plat::AtomicFile f;
    f.Open(*plat::FromNative(native));
    f.Write(text);
    f.Commit();
}

void BM_Floor_FsyncSave(benchmark::State& st) {
    const Cards& c = RealCards(static_cast<int>(st.range(0)));
    const std::string native = c.root + "/" + c.paths[c.paths.size() / 2] + ".bench";
    std::string text = ReadAll(c.root + "/" + c.paths[c.paths.size() / 2]) + "00000000";
    long i = 0;
    for (auto _ : st) Save(native, text, ++i);
    fs::remove(native);
}
BENCHMARK(BM_Floor_FsyncSave)->Arg(100000)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

void BM_SaveWithHistory(benchmark::State& st) {
    const int n = static_cast<int>(st.range(0));
    const Cards& c = RealCards(n);
    history::Store& store = ImportedStore(n);
    const std::string rel = c.paths[c.paths.size() / 2] + ".bench";
    const std::string native = c.root + "/" + rel;
    std::string text = ReadAll(c.root + "/" + c.paths[c.paths.size() / 2]) + "00000000", error;
    long i = 0;
    for (auto _ : st) {
        std::optional<std::string> replaced = i ? std::optional<std::string>(text) : std::nullopt;
        Save(native, text, ++i);
        if (!store.Saved(rel, replaced, text, history::Who::Program, error)) st.SkipWithError(error.c_str());
    }
    fs::remove(native);
}
BENCHMARK(BM_SaveWithHistory)->Arg(100000)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

void BM_FirstHistory(benchmark::State& st) {
    const Cards& c = RealCards(static_cast<int>(st.range(0)));
    for (auto _ : st) {
        history::Store store;
        std::string error;
        store.OpenAt(Scratch("first"), error);
        if (!store.Import(c.paths, [&](const std::string& p, std::string& b) { return b = ReadAll(c.root + "/" + p), true; },
                          nullptr, error))
            st.SkipWithError(error.c_str());
    }
    Scratch("first");
}
BENCHMARK(BM_FirstHistory)->Arg(10000)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

// The git command on the same files: a repository of its own beside the library, the library its work tree.
void BM_Floor_GitAddCommit(benchmark::State& st) {
    const Cards& c = RealCards(static_cast<int>(st.range(0)));
    const std::string git = Scratch("git");
    // No gc of git's own afterwards: it would write into the repository while the next run removes it.
    const std::string cmd = "git -c gc.auto=0 -c maintenance.auto=false --git-dir='" + git + "' --work-tree='" + c.root + "' ";
    for (auto _ : st) {
        if (std::system((cmd + "init -q && " + cmd + "add -A && " + cmd +
                         "-c user.name=b -c user.email=b@b commit -qm first").c_str()) != 0)
            st.SkipWithError("git failed");
    }
    Scratch("git");
}
BENCHMARK(BM_Floor_GitAddCommit)->Arg(10000)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

// Listing the versions of a card saved 1,000 times, in the store of the whole library.
void BM_OpenHistory1000(benchmark::State& st) {
    const int n = static_cast<int>(st.range(0));
    const Cards& c = RealCards(n);
    history::Store& store = ImportedStore(n);
    const std::string rel = c.paths.front();
    std::string text = ReadAll(c.root + "/" + rel), error;
    static bool saved = false;
    for (int i = 0; !saved && i < 1000; ++i) store.Saved(rel, std::nullopt, text + std::to_string(i), history::Who::Program, error);
    saved = true;
    for (auto _ : st) {
        const auto v = store.Versions(rel, error);
        if (v.size() < 1000) st.SkipWithError("versions missing");
        benchmark::DoNotOptimize(v.data());
    }
}
BENCHMARK(BM_OpenHistory1000)->Arg(100000)->Unit(benchmark::kMillisecond);

// What the store takes after 10 edits of each of 10,000 cards, against the library's own size.
void BM_StoreSizeAfterEdits(benchmark::State& st) {
    const Cards& c = RealCards(10000);
    for (auto _ : st) {
        history::Store store;
        std::string error;
        const std::string folder = Scratch("size");
        store.OpenAt(folder, error);
        auto read = [&](const std::string& p, std::string& b) { return b = ReadAll(c.root + "/" + p), true; };
        store.Import(c.paths, read, nullptr, error);
        for (int round = 0; round < 10; ++round) {
            std::vector<history::Change> changes;
            for (const std::string& p : c.paths) {
                std::string b = ReadAll(c.root + "/" + p);
                b.insert(b.size() / 2, "第" + std::to_string(round) + "次修改");
                changes.push_back({p, b});
            }
            store.Apply(changes, error);
        }
        std::uintmax_t storeBytes = 0, libBytes = 0;
        for (const auto& e : fs::recursive_directory_iterator(folder))
            if (e.is_regular_file()) storeBytes += e.file_size();
        for (const std::string& p : c.paths) libBytes += fs::file_size(c.root + "/" + p);
        st.counters["store_MB"] = storeBytes / 1e6;
        st.counters["library_MB"] = libBytes / 1e6;
        st.counters["ratio"] = static_cast<double>(storeBytes) / static_cast<double>(libBytes);
        Scratch("size");
    }
}
BENCHMARK(BM_StoreSizeAfterEdits)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
