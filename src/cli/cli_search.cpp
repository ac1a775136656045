// korvane --search [-0] QUERY [--library NAME]: the cards of a library that hold every term of the query, one
// path a line (control characters escaped), or each ended by a NUL with -0 for scripts, through the same
// index the window keeps: believed as it is while a live watch keeps it current, else brought up to date first.
#include <cstdio>
#include <limits>
#include <string>

#include "cli/cli.h"
#include "cli/cli_library.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "search/fold.h"
#include "search/index.h"
#include "search/watch_lock.h"

namespace cli {
namespace {

// Exit status 1 means "no card matched" here, so every failure is a 2.
int Error(const std::string& gbkMessage) {
    Fail(gbkMessage);
    return 2;
}

// The longest a query waits for a live watch to apply what it has just seen.
constexpr int kSettleMs = 3000;

std::string RebuiltNotice() { return plat::Gbk("检索索引已损坏，已重新建立"); }

}  // namespace

int RunSearch(const QStringList& args) {
    using plat::Gbk;
    const std::string usage = Gbk("用法: korvane --search [-0] 检索词 [--library 资料库名称]");
    QString query, library;
    bool haveQuery = false, haveLibrary = false, nul = false;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("-0") && !nul) {
            nul = true;
        } else if (args[i] == QLatin1String("--library")) {
            if (i + 1 >= args.size() || haveLibrary) return Error(usage);
            library = args[++i];
            haveLibrary = true;
        } else if (!haveQuery) {
            query = args[i];
            haveQuery = true;
        } else {
            return Error(usage);
        }
    }
    std::string queryGbk;
    const bool encodable = plat::FromQ(query, queryGbk);
    if (!haveQuery || (encodable && search::SplitTerms(queryGbk).empty())) return Error(usage);

    std::string root, error;
    if (!LibraryToUse(haveLibrary, library, root, error)) return Error(error);

    search::Index index(root);
    if (!index.Open(error)) return Error(error);
    // A live watch that says the index is current, with nothing seen and not yet applied, is believed: no
    // card is looked at. Otherwise every card is compared with what the index knows of it.
    const bool watched = search::WatchLock::Live(index.FilePath()) && index.ReadWatch().current &&
                         search::WatchLock::WaitSettled(index.FilePath(), kSettleMs) && index.ReadWatch().current;
    if (!watched && !index.Refresh()) return Error(Gbk("读取资料库 ") + root + Gbk(" 时出错"));
    if (index.RebuiltForDamage()) Fail(RebuiltNotice());
    // A character GBK cannot hold is in no card.
    if (!encodable) return 1;
    search::Result r = index.Query(queryGbk, std::numeric_limits<std::size_t>::max(), false);
    // Damage only a query meets: the index is built again, once, and asked again.
    if (r.damaged) {
        Fail(RebuiltNotice());
        if (!index.Rebuild(error)) return Error(error);
        if (!index.Refresh()) return Error(Gbk("读取资料库 ") + root + Gbk(" 时出错"));
        r = index.Query(queryGbk, std::numeric_limits<std::size_t>::max(), false);
    }
    if (!r.ok) return Error(r.error);
    for (const search::Hit& h : r.hits) {
        // A name may hold a line break: escaped it cannot pass for two cards; with -0 it is given as it is.
        const std::string path = ShellPath(h.path);
        if (nul)
            std::fwrite(path.c_str(), 1, path.size() + 1, stdout);
        else
            std::printf("%s\n", plat::EscapeControls(path).c_str());
    }
    return r.hits.empty() ? 1 : 0;
}

}  // namespace cli
