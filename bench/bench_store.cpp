// File formats: list files, and opening / saving a card at the store level, beside plain I/O floors.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "bench_common.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "store/list_file.h"
#include "store/xml_record_set.h"

namespace fs = std::filesystem;

namespace {

// Walk floor for the library scans.
void BM_Floor_Walk(benchmark::State& st) {
    const auto& lib = Library(static_cast<int>(st.range(0)));
    std::string root = lib.programDir + "/datum/bench";
    for (auto _ : st) benchmark::DoNotOptimize(WalkTree(root));
    st.counters["cards"] = lib.cards;
}
BENCHMARK(BM_Floor_Walk)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// ListDir over the same tree: what the scan pays for ordering, attributes and name conversion.
long long ListTree(const std::string& dir) {
    std::vector<plat::DirEntry> entries;
    if (!plat::ListDir(dir, entries)) return 0;
    long long n = static_cast<long long>(entries.size());
    for (const auto& e : entries)
        if (plat::IsPlainDirectory(e.attrs)) n += ListTree(dir + e.name + "\\");
    return n;
}
void BM_ListDirTree(benchmark::State& st) {
    const auto& lib = Library(static_cast<int>(st.range(0)));
    std::string root = *plat::FromNative(lib.programDir) + "\\datum\\bench\\";
    for (auto _ : st) benchmark::DoNotOptimize(ListTree(root));
}
BENCHMARK(BM_ListDirTree)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

struct CardFile {
    std::string native;
    std::string internal;
    std::string bytes;
};

const CardFile& Card(int bytes) {
    static std::map<int, CardFile> cards;
    auto it = cards.find(bytes);
    if (it != cards.end()) return it->second;
    CardFile c;
    c.native = BenchCard(bytes);
    c.internal = *plat::FromNative(c.native);
    c.bytes = PlainRead(c.native);
    return cards.emplace(bytes, c).first->second;
}

void BM_Floor_PlainRead(benchmark::State& st) {
    const CardFile& c = Card(static_cast<int>(st.range(0)));
    for (auto _ : st) benchmark::DoNotOptimize(PlainRead(c.native));
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * c.bytes.size()));
}
BENCHMARK(BM_Floor_PlainRead)->Arg(1024)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

void BM_ReadCard(benchmark::State& st) {
    const CardFile& c = Card(static_cast<int>(st.range(0)));
    for (auto _ : st) {
        plat::LineReader r;
        r.Open(c.internal);
        XmlRecordSet rs;
        benchmark::DoNotOptimize(rs.ReadCard(r));
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * c.bytes.size()));
}
BENCHMARK(BM_ReadCard)->Arg(1024)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

// The floor of ReadCard: the line reader of the fixed layout alone, as cards were read before the parser.
void BM_Floor_ReadCardLines(benchmark::State& st) {
    const CardFile& c = Card(static_cast<int>(st.range(0)));
    for (auto _ : st) {
        plat::LineReader r;
        r.Open(c.internal);
        XmlRecordSet rs;
        benchmark::DoNotOptimize(rs.ReadCardLines(r));
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * c.bytes.size()));
}
BENCHMARK(BM_Floor_ReadCardLines)->Arg(1024)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

void BM_Floor_FsyncWrite(benchmark::State& st) {
    const CardFile& c = Card(static_cast<int>(st.range(0)));
    std::string target = c.native + ".floor";
    for (auto _ : st) FsyncWrite(target, c.bytes);
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * c.bytes.size()));
}
BENCHMARK(BM_Floor_FsyncWrite)->Arg(1024)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

void BM_WriteCardAtomic(benchmark::State& st) {
    const CardFile& c = Card(static_cast<int>(st.range(0)));
    plat::LineReader r;
    r.Open(c.internal);
    XmlRecordSet rs;
    rs.ReadCard(r);
    std::string target = c.internal + ".save";
    for (auto _ : st) {
        plat::AtomicFile f;
        f.Open(target);
        rs.WriteCard(f);
        benchmark::DoNotOptimize(f.Commit());
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * c.bytes.size()));
}
BENCHMARK(BM_WriteCardAtomic)->Arg(1024)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

// List files: the registry (50 slotCount) and a full class list (100 slotCount).
std::string SlotFile(int slotCount, bool withPath) {
    std::string s = "# list\r\ncount=" + std::to_string(slotCount) + "\r\nuse=0\r\n";
    for (int i = 0; i < slotCount; ++i) {
        s += "name" + std::to_string(i) + "=" + plat::Gbk("名称") + std::to_string(i) + "\r\n";
        if (withPath) s += "path" + std::to_string(i) + "=datum\\" + plat::Gbk("路径") + std::to_string(i) + "\\\r\n";
    }
    return s;
}

void BM_ListFileLoad(benchmark::State& st) {
    int slotCount = static_cast<int>(st.range(0));
    fs::path p = fs::temp_directory_path() / ("korvane-bench-list" + std::to_string(slotCount) + ".lst");
    std::ofstream(p, std::ios::binary) << SlotFile(slotCount, true);
    std::string internal = *plat::FromNative(p.string());
    for (auto _ : st) {
        CListFile f;
        f.Load(internal);
        for (int i = 0; i < slotCount; ++i) benchmark::DoNotOptimize(f.GetValue("name" + std::to_string(i)));
        f.Close();
    }
}
BENCHMARK(BM_ListFileLoad)->Arg(50)->Arg(100)->Unit(benchmark::kMicrosecond);

void BM_ListFileSave(benchmark::State& st) {
    int slotCount = static_cast<int>(st.range(0));
    fs::path p = fs::temp_directory_path() / ("korvane-bench-save" + std::to_string(slotCount) + ".lst");
    std::ofstream(p, std::ios::binary) << SlotFile(slotCount, true);
    std::string internal = *plat::FromNative(p.string());
    for (auto _ : st) {
        CListFile f;
        f.Load(internal);
        for (int i = 0; i < slotCount; ++i) f.Put("name" + std::to_string(i), "x" + std::to_string(i));
        benchmark::DoNotOptimize(f.Save());
        f.Close();
    }
}
BENCHMARK(BM_ListFileSave)->Arg(50)->Arg(100)->Unit(benchmark::kMicrosecond);

void BM_Floor_FsyncWriteList(benchmark::State& st) {
    int slotCount = static_cast<int>(st.range(0));
    std::string bytes = SlotFile(slotCount, true);
    std::string p = (fs::temp_directory_path() / "korvane-bench-floor.lst").string();
    for (auto _ : st) FsyncWrite(p, bytes);
}
BENCHMARK(BM_Floor_FsyncWriteList)->Arg(50)->Arg(100)->Unit(benchmark::kMicrosecond);

}  // namespace
