// Following a library on disk: setting up the watches of every class folder (off the window's thread) against
// the bare walk of the same tree, and applying a burst of new cards to the 100,000-card tree batch by batch.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/library_tree.h"
#include "bench_common.h"
#include "platform/codec.h"
#include "platform/folder_watch.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

long ResidentKiB() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long MeminfoKiB(const std::string& key) {
    std::ifstream in("/proc/meminfo");
    std::string k;
    long v = 0;
    std::string unit;
    while (in >> k >> v >> unit)
        if (k == key + ":") return v;
    return 0;
}

// What the kernel itself counts per watch when it sizes max_user_watches by default: 1% of memory divided
// by the default limit (a mark and two inodes' worth).
double KernelBytesPerWatch() {
    long limit = 0;
    std::ifstream("/proc/sys/fs/inotify/max_user_watches") >> limit;
    return limit > 0 ? MeminfoKiB("MemTotal") * 1024.0 / 100.0 / static_cast<double>(limit) : 0;
}

void BM_WatchSetupOverWalk(benchmark::State& st) {
    const int n = static_cast<int>(st.range(0));
    const auto& lib = Library(n);
    fs::current_path(lib.programDir);
    const std::string walkRoot = lib.programDir + "/datum/bench";
    double walkSum = 0, setupSum = 0;
    long heapKiB = 0, slabKiB = 0;
    int folders = 0;
    for (auto _ : st) {
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(WalkTree(walkRoot));
        const auto t1 = Clock::now();
        const long rss = ResidentKiB(), slab = MeminfoKiB("Slab");
        auto watch = LibraryTree::NewWatch();
        watch->Start(lib.libraryRel + "\\", 0, [] {});
        watch->WaitReady();
        const plat::FolderWatch::Stats stats = watch->GetStats();
        heapKiB = std::max(heapKiB, ResidentKiB() - rss);
        slabKiB = std::max(slabKiB, MeminfoKiB("Slab") - slab);
        folders = stats.folders;
        walkSum += std::chrono::duration<double, std::milli>(t1 - t0).count();
        setupSum += static_cast<double>(stats.setupNs) / 1e6;
        st.SetIterationTime(static_cast<double>(stats.setupNs) / 1e9);
    }
    const double iterations = static_cast<double>(st.iterations());
    st.counters["watches"] = folders;
    st.counters["walk_ms"] = walkSum / iterations;
    st.counters["setup_ms"] = setupSum / iterations;
    st.counters["ratio"] = setupSum / walkSum;
    st.counters["process_KiB"] = static_cast<double>(heapKiB);
    st.counters["slab_KiB"] = static_cast<double>(slabKiB);
    st.counters["kernel_est_KiB"] = folders * KernelBytesPerWatch() / 1024;
}
BENCHMARK(BM_WatchSetupOverWalk)->Arg(1000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);

// File names: generated ("c123") or lines of Tang and Song poems from fortunes-zh (real text: Chinese names
// whose GBK to Unicode conversion the sorted insertion pays for).
std::vector<std::string> BurstNames(bool real, int count) {
    std::vector<std::string> names;
    if (real) {
        for (const char* f :
             {"/usr/share/games/fortunes/tang300.u8", "/usr/share/games/fortunes/song100.u8"}) {
            std::ifstream in(f);
            for (std::string line; std::getline(in, line) && static_cast<int>(names.size()) < count;) {
                line.erase(
                    std::remove_if(line.begin(), line.end(),
                                   [](char c) { return c == '/' || c == '%' || c == ' ' || c == '\t'; }),
                    line.end());
                std::string gbk;
                if (line.size() < 6 || line.size() > 120 || !plat::TryUtf8ToGbk(line, gbk)) continue;
                names.push_back(line + "-" + std::to_string(names.size()) + ".datum.xml");
            }
        }
    }
    for (int i = static_cast<int>(names.size()); i < count; ++i)
        names.push_back("c" + std::to_string(i) + ".datum.xml");
    return names;
}

// A sync tool delivers 1,000 cards into one class of the 100,000-card tree: the batches the window applies
// per turn of its event loop (200 names), the longest of them, against the floor of one lstat per name.
void BM_BurstApply(benchmark::State& st) {
    const int n = 100000;
    const bool real = st.range(0) != 0;
    const auto& lib = Library(n);
    fs::current_path(lib.programDir);
    QTreeWidget view;
    LibraryTree tree(&view);
    std::string error;
    const std::string root = lib.libraryRel + "\\";
    if (!tree.Scan(root, error)) return st.SkipWithError("scan failed");
    // The first class folder, as the generator made it.
    std::string klass;
    for (const DatumNode* p = tree.First(); p && !p->IsEnd(); p = p->next)
        if (p->IsClass()) {
            klass = p->label;
            break;
        }
    const std::string folder = root + klass + "\\";
    const std::string nativeFolder = lib.programDir + "/datum/bench/" + plat::GbkToUtf8(klass) + "/";
    const std::vector<std::string> names = BurstNames(real, 1000);
    double worstBatch = 0, floorSum = 0, applySum = 0;
    for (auto _ : st) {
        st.PauseTiming();
        for (const std::string& name : names) std::ofstream(nativeFolder + name) << "x";
        auto f0 = Clock::now();
        struct stat sb;
        for (const std::string& name : names)
            benchmark::DoNotOptimize(lstat((nativeFolder + name).c_str(), &sb));
        floorSum += std::chrono::duration<double, std::milli>(Clock::now() - f0).count();
        st.ResumeTiming();
        std::vector<std::string> touched;
        for (std::size_t at = 0; at < names.size(); at += 200) {
            const auto t0 = Clock::now();
            tree.BeginChanges();
            for (std::size_t i = at; i < std::min(names.size(), at + 200); ++i)
                tree.Apply(folder, plat::Utf8ToGbk(names[i]), false, touched);
            tree.EndChanges();
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
            worstBatch = std::max(worstBatch, ms);
            applySum += ms;
        }
        st.PauseTiming();
        for (const std::string& name : names) fs::remove(nativeFolder + name);
        tree.Apply(folder, {}, false, touched);
        st.ResumeTiming();
    }
    const double iterations = static_cast<double>(st.iterations());
    st.counters["apply_ms"] = applySum / iterations;
    st.counters["worst_batch_ms"] = worstBatch;
    st.counters["floor_lstat_ms"] = floorSum / iterations;
    st.counters["ratio"] = applySum / floorSum;
}
BENCHMARK(BM_BurstApply)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
