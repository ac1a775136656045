// The search window as the user types: from the key event of a query's last character to the list painted
// with its first results, on the real-text library's warm index.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTreeWidget>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "app/search_dlg.h"
#include "bench_common.h"
#include "platform/codec.h"
#include "search/indexer.h"

namespace {

using Clock = std::chrono::steady_clock;

// The queries of BM_SearchQuery's real-text rows.
const char* const kTyped[] = {"的", "e", "人生", "明月", "不度", "之人", "白日依山尽", "Lin", "inux", "Linux", "the",
                              "第1组", "春 风", "明月 the", "春 风 花", "git 仓库"};

void BM_SearchWindowKeyToList(benchmark::State& st) {
    const GeneratedLibrary& g = RealTextLibrary(100000);
    std::filesystem::current_path(g.programDir);
    const char* base = std::getenv("KORVANE_BENCH_DIR");
    setenv("XDG_CACHE_HOME", ((base ? std::string(base) : std::string("/tmp/korvane-bench")) + "/cache").c_str(), 1);
    static search::Indexer indexer;
    indexer.SetLibrary(g.libraryRel + "\\");
    indexer.WaitIdle();
    CSearchDlg dlg(indexer, [](const std::string&) { return false; }, nullptr);
    dlg.show();
    auto* edit = dlg.findChild<QLineEdit*>();
    auto* list = dlg.findChild<QTreeWidget*>();
    const QString query = QString::fromUtf8(kTyped[st.range(0)]);
    auto answered = [&] {
        // Asleep until the answer is posted: a busy loop would take the core the searcher needs.
        while (dlg.Answering()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    };
    for (auto _ : st) {
        edit->setText(query.left(query.size() - 1));
        dlg.RunQuery();
        answered();
        const QString last = query.right(1);
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, last), release(QEvent::KeyRelease, 0, Qt::NoModifier, last);
        const auto t0 = Clock::now();
        QApplication::sendEvent(edit, &press);
        QApplication::sendEvent(edit, &release);
        answered();
        list->viewport()->repaint();
        st.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        if (list->topLevelItemCount() == 0) st.SkipWithError("no rows");
    }
    st.counters["rows"] = list->topLevelItemCount();
    st.SetLabel(kTyped[st.range(0)]);
}
BENCHMARK(BM_SearchWindowKeyToList)
    ->DenseRange(0, std::size(kTyped) - 1, 1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
