// korvane --watch [--library NAME]: keeps a library's search index current without a window, for scripts and
// launchers that search from the command line: the same watch and the same index upkeep as the window, asleep
// in the kernel while nothing changes, stopped cleanly by SIGTERM or SIGINT (the systemd user unit ships with
// the package). While another watch (a window, or another --watch) keeps the index, it waits for it to end.
#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "cli/cli.h"
#include "cli/cli_library.h"
#include "library/registry.h"
#include "platform/codec.h"
#include "platform/folder_watch.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "search/indexer.h"
#include "search/watch_lock.h"

namespace cli {
namespace {

int g_stopPipe[2] = {-1, -1};

void OnStop(int) {
    const char byte = 's';
    [[maybe_unused]] const ssize_t n = ::write(g_stopPipe[1], &byte, 1);
}

// Stop signals interrupt a wait for the lock (no SA_RESTART) and end the event loop through the pipe.
bool CatchStopSignals() {
    if (::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction sa{};
    sa.sa_handler = OnStop;
    sigemptyset(&sa.sa_mask);
    return ::sigaction(SIGTERM, &sa, nullptr) == 0 && ::sigaction(SIGINT, &sa, nullptr) == 0;
}

bool Stopped() {
    char byte;
    return ::read(g_stopPipe[0], &byte, 1) == 1;
}

// What the window's tree follows: class folders, and card files.
std::unique_ptr<plat::FolderWatch> NewWatch() {
    return std::make_unique<plat::FolderWatch>(plat::FolderWatch::Filter{
        [](std::string_view name, unsigned attrs) {
            return plat::IsPlainDirectory(attrs) && name.substr(0, 3) != "_ _";
        },
        [](std::string_view name) { return plat::Contains(name, layout::kCardMark); }});
}

// Tells the indexer what the watch saw: a card is looked at where it is; anything wider (a folder, a whole
// folder's content, a queue that overflowed) is a full check of the library.
void Apply(plat::FolderWatch& watch, search::Indexer& indexer, const std::string& root) {
    using Trouble = plat::FolderWatch::Trouble;
    const std::uint64_t seen = indexer.WatchWakes();
    const Trouble trouble = watch.TakeTrouble();
    if (trouble == Trouble::RootGone) {
        Fail(plat::Gbk("资料库文件夹 ") + root + plat::Gbk(" 已被删除或移走"));
        QCoreApplication::exit(1);
        return;
    }
    if (trouble == Trouble::NoWatches) {
        // Part of the library unwatched: the index can no longer be said to be current.
        Fail(plat::Gbk("可监视的文件夹数已用完（max_user_watches），检索时将逐一核对资料卡"));
        indexer.SetWatched(false);
    }
    bool full = trouble != Trouble::None;
    std::vector<plat::FolderWatch::Change> batch;
    for (bool more = true; more;) {
        more = watch.Take(batch, 1000);
        for (const plat::FolderWatch::Change& c : batch) {
            const std::string path = c.folder + c.name;
            if (c.name.empty() || c.replaced || plat::IsDir(path))
                full = true;
            else if (!full)
                indexer.Touch(path);
        }
    }
    if (full) indexer.SetLibrary(root);
    indexer.WatchSettled(seen);
}

}  // namespace

int RunWatch(const QStringList& args) {
    using plat::Gbk;
    const std::string usage = Gbk("用法: korvane --watch [--library 资料库名称]");
    QString library;
    bool haveLibrary = false;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] != QLatin1String("--library") || i + 1 >= args.size() || haveLibrary) {
            Fail(usage);
            return 2;
        }
        library = args[++i];
        haveLibrary = true;
    }
    std::string root, error;
    if (!LibraryToUse(haveLibrary, library, root, error)) return Fail(error);
    if (!CatchStopSignals()) return Fail(Gbk("不能设置停止信号的处理"));

    search::Index probe(root);
    if (!probe.Open(error)) return Fail(error);
    auto lock = std::make_unique<search::WatchLock>(probe.FilePath());
    if (!lock->TryHold()) {
        Fail(Gbk("资料库 ") + root + Gbk(" 的检索索引正由另一个 Korvane 监视，等它结束后接手"));
        if (!lock->Hold()) return Stopped() ? 0 : Fail(Gbk("不能锁定检索索引 ") + plat::Utf8ToGbk(probe.FilePath()));
    }
    if (Stopped()) return 0;

    search::Indexer indexer;
    // Watched before the library is set: its first full check is then made under the lock, once.
    indexer.SetWatched(true, std::move(lock));
    indexer.SetLibrary(root);
    auto watch = NewWatch();
    watch->Start(root, plat::FolderWatch::NowNs(), [&] {
        // On the watch's thread: only a post to the event loop's.
        indexer.WatchWoke();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [&] { Apply(*watch, indexer, root); }, Qt::QueuedConnection);
    });
    QSocketNotifier stop(g_stopPipe[0], QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, [] { QCoreApplication::exit(0); });
    const int status = QCoreApplication::exec();
    watch->Stop();
    return status;
}

}  // namespace cli
