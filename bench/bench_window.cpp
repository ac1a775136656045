// The main window on generated libraries: start-up to ready, rescan with the tree filled, finding the last
// card's entry, and opening / saving a card through the form.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "app/library_tree.h"
#include "app/main_dlg.h"
#include "bench_common.h"
#include "ui/body_edit.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/services.h"
#include "store/xml_record_set.h"

namespace fs = std::filesystem;

namespace {

// Answers every box with OK and counts them: a benchmark run must show none.
class BenchServices : public plat::Services {
public:
    int MessageBox(QWidget*, const std::string& text, const std::optional<std::string>&, unsigned) override {
        ++boxes;
        last = plat::GbkToUtf8(text);
        return plat::IDOK;
    }
    std::string AskFileName(QWidget*, bool, const std::string&, const std::string&, const std::string&) override {
        return {};
    }
    std::string BrowseForFolder(QWidget*, const std::string&) override { return {}; }
    bool ShellOpen(const std::string&, bool) override { return true; }
    void Sleep(int) override {}
    int boxes = 0;
    std::string last;
};

BenchServices& Quiet() {
    static BenchServices s;
    plat::SetServices(&s);
    return s;
}

// Windows that have run their load sequence, kept for the benchmarks that need a ready one. They must go
// before the application object does (see ReleaseWindows).
std::map<int, std::unique_ptr<CMainDlg>> windows;

// A tree of the library as the window keeps one, scanned once; rescans replace it.
struct ScannedTree {
    QTreeWidget view;
    LibraryTree tree{&view};
    std::string root;
    bool Rescan() {
        std::string error;
        return tree.Scan(root, error);
    }
};

std::map<int, std::unique_ptr<ScannedTree>> trees;

CBodyEdit& Body(CMainDlg& w) { return *w.ItemAs<CBodyEdit>(1018); }

CMainDlg& ReadyWindow(int n, benchmark::State& st) {
    auto it = windows.find(n);
    if (it != windows.end()) return *it->second;
    // One window at a time, as the program has: a 100,000-card window left behind would slow the rows
    // measured after it.
    windows.clear();
    trees.clear();
    const auto& lib = Library(n);
    fs::current_path(lib.programDir);
    auto w = std::make_unique<CMainDlg>();
    w->Initialise();
    w->RunStartupLoad();
    if (Quiet().boxes) st.SkipWithError(("unexpected box: " + Quiet().last).c_str());
    return *windows.emplace(n, std::move(w)).first->second;
}

// A card of real text: Debian's fortunes-zh (sayings, then Tang and Song poems), one paragraph per line, in
// GBK. Generated prose repeats a few hundred common characters; real text brings thousands, many rare. Empty
// when the package is not installed.
const std::string& RealTextCard(int bytes) {
    static std::map<int, std::string> made;
    if (auto it = made.find(bytes); it != made.end()) return it->second;
    XmlRecordSet rs;
    for (const char* file : {"chinese", "tang300", "song100"}) {
        std::ifstream in(std::string("/usr/share/games/fortunes/") + file + ".u8");
        std::string line, gbk;
        while (rs.card.content.size() < static_cast<std::size_t>(bytes) && std::getline(in, line))
            if (!line.empty() && line != "%" && plat::TryUtf8ToGbk(line, gbk))
                rs.card.content += gbk + "\r\n";
    }
    if (rs.card.content.empty()) return made[bytes];
    rs.card.title = plat::Gbk("唐诗宋词");
    rs.card.href = "simple.xsl";
    rs.card.dtdPath = "x.dtd";
    plat::StringSink sink;
    rs.WriteCard(sink);
    const std::string native =
        (fs::temp_directory_path() / ("real" + std::to_string(bytes) + ".datum.xml")).string();
    std::ofstream(native, std::ios::binary | std::ios::trunc) << sink.data;
    return made[bytes] = native;
}

void BM_StartupToReady(benchmark::State& st) {
    const int n = static_cast<int>(st.range(0));
    const auto& lib = Library(n);
    Quiet();
    fs::current_path(lib.programDir);
    for (auto _ : st) {
        CMainDlg w;
        w.Initialise();
        w.RunStartupLoad();
        benchmark::DoNotOptimize(w.Ended());
    }
    if (Quiet().boxes) st.SkipWithError(("unexpected box: " + Quiet().last).c_str());
    st.counters["cards"] = n;
    st.counters["peak_rss_MiB"] = PeakRssMiB();
}
BENCHMARK(BM_StartupToReady)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

ScannedTree& Scanned(int n) {
    auto it = trees.find(n);
    if (it != trees.end()) return *it->second;
    trees.clear();  // one library in memory at a time, as with the windows above
    windows.clear();
    fs::current_path(Library(n).programDir);
    auto t = std::make_unique<ScannedTree>();
    t->root = Library(n).libraryRel + "\\";
    t->Rescan();
    return *trees.emplace(n, std::move(t)).first->second;
}

void BM_RescanLibrary(benchmark::State& st) {
    const int n = static_cast<int>(st.range(0));
    ScannedTree& t = Scanned(n);
    fs::current_path(Library(n).programDir);
    for (auto _ : st) benchmark::DoNotOptimize(t.Rescan());
    st.counters["tree_items"] = static_cast<double>(t.view.topLevelItemCount());
    st.counters["peak_rss_MiB"] = PeakRssMiB();
}
BENCHMARK(BM_RescanLibrary)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The rescan and its floor, taken in turns within each iteration: on a machine whose speed drifts (a shared
// virtual machine) the ratio of the two sums is steadier than two figures taken minutes apart.
void BM_RescanOverWalk(benchmark::State& st) {
    const int n = static_cast<int>(st.range(0));
    ScannedTree& t = Scanned(n);
    fs::current_path(Library(n).programDir);
    const std::string walkRoot = Library(n).programDir + "/datum/bench";
    using Clock = std::chrono::steady_clock;
    double walkSum = 0, rescanSum = 0;
    for (auto _ : st) {
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(WalkTree(walkRoot));
        const auto t1 = Clock::now();
        benchmark::DoNotOptimize(t.Rescan());
        const auto t2 = Clock::now();
        walkSum += std::chrono::duration<double, std::milli>(t1 - t0).count();
        rescanSum += std::chrono::duration<double, std::milli>(t2 - t1).count();
        st.SetIterationTime(std::chrono::duration<double>(t2 - t1).count());
    }
    const double iterations = static_cast<double>(st.iterations());
    st.counters["walk_ms"] = walkSum / iterations;
    st.counters["rescan_ms"] = rescanSum / iterations;
    st.counters["ratio"] = rescanSum / walkSum;
}
BENCHMARK(BM_RescanOverWalk)->Arg(1000)->Arg(10000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_FindNodeByItem_LastCard(benchmark::State& st) {
    const int n = static_cast<int>(st.range(0));
    const LibraryTree& tree = Scanned(n).tree;
    const DatumNode* last = nullptr;
    for (const DatumNode* p = tree.First(); p && !p->IsEnd(); p = p->next)
        if (p->IsCard()) last = p;
    if (!last) {
        st.SkipWithError("no card");
        return;
    }
    for (auto _ : st) benchmark::DoNotOptimize(tree.FindByItem(last->item));
}
BENCHMARK(BM_FindNodeByItem_LastCard)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_OpenCardIntoForm(benchmark::State& st) {
    CMainDlg& w = ReadyWindow(1000, st);
    std::string native = BenchCard(static_cast<int>(st.range(0)));
    std::string internal = *plat::FromNative(native);
    for (auto _ : st) benchmark::DoNotOptimize(w.LoadDatum(internal));
    if (Quiet().boxes) st.SkipWithError(("unexpected box: " + Quiet().last).c_str());
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * fs::file_size(native)));
}
BENCHMARK(BM_OpenCardIntoForm)->Arg(1024)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

// The same, with the window on (offscreen) screen and the events the fill leaves behind handled: the
// deferred layout and the repaint of the changed fields, what the user waits for before seeing the card.
void OpenPainted(benchmark::State& st, const std::string& native) {
    CMainDlg& w = ReadyWindow(1000, st);
    w.show();
    QCoreApplication::processEvents();
    std::string internal = *plat::FromNative(native);
    for (auto _ : st) {
        benchmark::DoNotOptimize(w.LoadDatum(internal));
        QCoreApplication::processEvents();
    }
    w.hide();
    if (Quiet().boxes) st.SkipWithError(("unexpected box: " + Quiet().last).c_str());
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * fs::file_size(native)));
}
void BM_OpenCardIntoFormPainted(benchmark::State& st) {
    OpenPainted(st, BenchCard(static_cast<int>(st.range(0))));
}
// The last size: near the largest card the form opens (16 MiB of file; paragraph breaks take 17 bytes each).
BENCHMARK(BM_OpenCardIntoFormPainted)
    ->Arg(1024)
    ->Arg(1 << 20)
    ->Arg(10 << 20)
    ->Arg(14 << 20)
    ->Unit(benchmark::kMicrosecond);

// A card whose body is one paragraph, opened as above: the body field shows it cut into lines.
void BM_OpenOneParagraphCardPainted(benchmark::State& st) {
    OpenPainted(st, BenchCard(static_cast<int>(st.range(0)), true));
}
BENCHMARK(BM_OpenOneParagraphCardPainted)
    ->Arg(1 << 20)
    ->Arg(10 << 20)
    ->Arg(14 << 20)
    ->Unit(benchmark::kMicrosecond);

void BM_OpenRealTextCardPainted(benchmark::State& st) {
    const std::string& native = RealTextCard(static_cast<int>(st.range(0)));
    if (native.empty()) return st.SkipWithError("fortunes-zh is not installed");
    OpenPainted(st, native);
}
BENCHMARK(BM_OpenRealTextCardPainted)->Arg(1024)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

// Qt's floor for the painted opens: a bare plain-text field of the body field's size and font, on screen, given
// the text exactly as the body field shows it (already converted, long paragraphs already cut) and painted.
// Args: card bytes, one paragraph; a third argument 1 gives the one-paragraph body uncut, as one line: what
// opening such a card cost before the body field cut long paragraphs.
void BM_Floor_QtFieldPainted(benchmark::State& st) {
    CMainDlg& w = ReadyWindow(1000, st);
    std::string native = BenchCard(static_cast<int>(st.range(0)), st.range(1) != 0);
    w.LoadDatum(*plat::FromNative(native));
    const QString text = st.range(2) ? Body(w).Body() : Body(w).toPlainText();
    QPlainTextEdit bare;
    bare.setLineWrapMode(Body(w).lineWrapMode());
    bare.setFont(Body(w).font());
    bare.resize(Body(w).size());
    bare.show();
    QCoreApplication::processEvents();
    for (auto _ : st) {
        bare.setPlainText(text);
        QCoreApplication::processEvents();
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * fs::file_size(native)));
}
BENCHMARK(BM_Floor_QtFieldPainted)
    ->Args({1024, 0, 0})
    ->Args({1 << 20, 0, 0})
    ->Args({10 << 20, 0, 0})
    ->Args({1 << 20, 1, 0})
    ->Args({10 << 20, 1, 0})
    ->Args({1 << 20, 1, 1})
    ->Unit(benchmark::kMicrosecond);

// Qt's share of an open: the body text, already converted, put into the form's body field. No card can
// open faster than this with a Qt text field.
void BM_QtShare_BodyFieldFill(benchmark::State& st) {
    CMainDlg& w = ReadyWindow(1000, st);
    std::string native = BenchCard(static_cast<int>(st.range(0)));
    w.LoadDatum(*plat::FromNative(native));
    const QString text = Body(w).Body();
    for (auto _ : st) Body(w).SetBody(text);
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * fs::file_size(native)));
}
BENCHMARK(BM_QtShare_BodyFieldFill)->Arg(1024)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

void BM_Floor_ReadSameCard(benchmark::State& st) {
    std::string native = BenchCard(static_cast<int>(st.range(0)));
    for (auto _ : st) benchmark::DoNotOptimize(PlainRead(native));
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * fs::file_size(native)));
}
BENCHMARK(BM_Floor_ReadSameCard)->Arg(1024)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMicrosecond);

void SaveFromForm(benchmark::State& st, const std::string& native) {
    CMainDlg& w = ReadyWindow(1000, st);
    std::string internal = *plat::FromNative(native);
    w.LoadDatum(internal);
    for (auto _ : st) benchmark::DoNotOptimize(w.SaveDatum(internal));
    if (Quiet().boxes) st.SkipWithError(("unexpected box: " + Quiet().last).c_str());
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * fs::file_size(native)));
}
void BM_SaveCardFromForm(benchmark::State& st) { SaveFromForm(st, BenchCard(static_cast<int>(st.range(0)))); }
BENCHMARK(BM_SaveCardFromForm)->Arg(1024)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

void BM_SaveRealTextCardFromForm(benchmark::State& st) {
    const std::string& native = RealTextCard(static_cast<int>(st.range(0)));
    if (native.empty()) return st.SkipWithError("fortunes-zh is not installed");
    SaveFromForm(st, native);
}
BENCHMARK(BM_SaveRealTextCardFromForm)->Arg(1024)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

void BM_Floor_ReadRealTextCard(benchmark::State& st) {
    const std::string& native = RealTextCard(static_cast<int>(st.range(0)));
    for (auto _ : st) benchmark::DoNotOptimize(PlainRead(native));
}
BENCHMARK(BM_Floor_ReadRealTextCard)->Arg(1024)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

void BM_Floor_FsyncWriteRealTextCard(benchmark::State& st) {
    const std::string bytes = PlainRead(RealTextCard(static_cast<int>(st.range(0))));
    for (auto _ : st) FsyncWrite(RealTextCard(static_cast<int>(st.range(0))) + ".floor", bytes);
}
BENCHMARK(BM_Floor_FsyncWriteRealTextCard)->Arg(1024)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

void BM_Floor_FsyncWriteSameCard(benchmark::State& st) {
    std::string native = BenchCard(static_cast<int>(st.range(0)));
    std::string bytes = PlainRead(native);
    for (auto _ : st) FsyncWrite(native + ".floor", bytes);
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * bytes.size()));
}
BENCHMARK(BM_Floor_FsyncWriteSameCard)->Arg(1024)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

}  // namespace

void ReleaseWindows() {
    windows.clear();
    trees.clear();
}
