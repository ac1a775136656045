// Export and import of a real-text library, each beside its floor in the same run: rendering the same cards
// alone (the site), a plain `cp -r` of the library (Markdown), and writing the same cards through the card
// writer (import). One iteration each: at 100,000 cards a row takes minutes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "bench_common.h"
#include "export/library_walk.h"
#include "export/md_export.h"
#include "export/site_export.h"
#include "export/text_import.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "render/card_render.h"
#include "store/xml_record_set.h"

namespace fs = std::filesystem;

namespace {

struct Setup {
    std::string root;     // internal library root
    std::string native;   // native library folder
    std::string scratch;  // native: where exports and imports go
};

Setup Enter(benchmark::State& st) {
    const GeneratedLibrary& lib = RealTextLibrary(static_cast<int>(st.range(0)));
    // The styles are found from the program directory, as the program finds them.
    if (chdir(lib.programDir.c_str()) != 0) st.SkipWithError("no program directory");
    Setup s{*plat::FromNative(lib.programDir) + "\\" + lib.libraryRel + "\\",
            lib.programDir + "/" + plat::ToNative(lib.libraryRel), lib.programDir + "/../export-scratch"};
    fs::remove_all(s.scratch);
    fs::create_directories(s.scratch);
    st.counters["cards"] = lib.cards;
    return s;
}

std::vector<std::string> Cards(const std::string& root) {
    std::vector<exporting::WalkEntry> entries;
    std::string error;
    exporting::WalkLibrary(root, entries, error);
    std::vector<std::string> cards;
    for (const auto& e : entries)
        if (!e.isClass) cards.push_back(e.path);
    return cards;
}

void BM_Floor_RenderAlone(benchmark::State& st) {
    const Setup s = Enter(st);
    const std::vector<std::string> cards = Cards(s.root);
    for (auto _ : st)
        for (const std::string& c : cards) benchmark::DoNotOptimize(render::RenderCard(c, std::string()).ok);
}

void BM_ExportSite(benchmark::State& st) {
    const Setup s = Enter(st);
    for (auto _ : st) {
        exporting::Progress progress;
        if (!exporting::ExportSite(s.root, s.scratch + "/site", {}, progress).ok) st.SkipWithError("export failed");
    }
}

void BM_Floor_CopyTree(benchmark::State& st) {
    const Setup s = Enter(st);
    const std::string command = "cp -r '" + s.native + "' '" + s.scratch + "/copy'";
    for (auto _ : st) {
        st.PauseTiming();
        fs::remove_all(s.scratch + "/copy");
        st.ResumeTiming();
        if (std::system(command.c_str()) != 0) st.SkipWithError("cp failed");
    }
}

void BM_ExportMarkdown(benchmark::State& st) {
    const Setup s = Enter(st);
    for (auto _ : st) {
        exporting::Progress progress;
        if (!exporting::ExportMarkdown(s.root, s.scratch + "/md", progress).ok) st.SkipWithError("export failed");
    }
}

// The same cards written one by one through the card writer and the atomic file writer, as Save does.
void BM_Floor_CardWriter(benchmark::State& st) {
    const Setup s = Enter(st);
    std::vector<DatumCard> cards;
    for (const std::string& path : Cards(s.root)) {
        XmlRecordSet xml;
        plat::LineReader reader;
        if (reader.Open(path) && xml.ReadCard(reader)) cards.push_back(xml.card);
    }
    const std::string out = *plat::FromNative(s.scratch) + "\\written\\";
    for (auto _ : st) {
        st.PauseTiming();
        fs::remove_all(s.scratch + "/written");
        fs::create_directories(s.scratch + "/written");
        st.ResumeTiming();
        XmlRecordSet xml;
        for (std::size_t i = 0; i < cards.size(); ++i) {
            xml.card = cards[i];
            plat::AtomicFile file;
            if (!file.Open(out + std::to_string(i) + ".datum.xml") || !file.Write(xml.CardText()) || !file.Commit())
                st.SkipWithError("write failed");
        }
    }
}

void BM_ImportMarkdown(benchmark::State& st) {
    const Setup s = Enter(st);
    exporting::Progress made;
    if (!exporting::ExportMarkdown(s.root, s.scratch + "/md", made).ok) st.SkipWithError("no notes to import");
    const std::string out = *plat::FromNative(s.scratch) + "\\imported\\";
    for (auto _ : st) {
        st.PauseTiming();
        fs::remove_all(s.scratch + "/imported");
        fs::create_directories(s.scratch + "/imported");
        st.ResumeTiming();
        exporting::Progress progress;
        if (exporting::ImportFiles({s.scratch + "/md"}, {out, "", false}, progress).cards != st.counters["cards"])
            st.SkipWithError("import incomplete");
    }
}

}  // namespace

#define EXPORT_ROW(f) BENCHMARK(f)->Arg(1000)->Arg(100000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime()
EXPORT_ROW(BM_Floor_RenderAlone);
EXPORT_ROW(BM_ExportSite);
EXPORT_ROW(BM_Floor_CopyTree);
EXPORT_ROW(BM_ExportMarkdown);
// The card writer flushes every card to the disk, some 10 ms each here: 100,000 would take a quarter of an hour.
#define IMPORT_ROW(f) BENCHMARK(f)->Arg(1000)->Arg(10000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime()
IMPORT_ROW(BM_Floor_CardWriter);
IMPORT_ROW(BM_ImportMarkdown);
