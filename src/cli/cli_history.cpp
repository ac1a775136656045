// korvane --history CARD: the card's versions, newest first, one a line (id, time, size, who, tab between);
// korvane --show-version CARD ID: the text of one of them, byte for byte, on standard output.
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "cli/cli.h"
#include "history/place.h"
#include "history/store.h"
#include "platform/codec.h"
#include "platform/path.h"

namespace cli {
namespace {

// The store and path of the card a command line names; 0 when both are found, else the exit status.
int Locate(const QString& arg, history::Store& store, std::string& path) {
    std::string internal;
    if (const int status = FileArg(arg, internal)) return status;
    const std::string native = plat::ToNative(internal);
    const std::string root = history::LibraryOf(native);
    if (root.empty())
        return Fail(plat::Gbk("资料卡 ") + plat::Utf8ToGbk(native) + plat::Gbk(" 不在任何资料库的文件夹中"));
    path = history::InLibrary(root, native);
    std::string error;
    const std::string folder = history::Store::FolderFor(root, error);
    std::error_code ec;
    if (folder.empty() || !std::filesystem::exists(folder, ec))  // a look at the history makes no store
        return Fail(plat::Gbk("资料库 ") + plat::Utf8ToGbk(root) + plat::Gbk(" 还没有历史") +
                    (error.empty() ? std::string() : plat::Gbk("：") + plat::Utf8ToGbk(error)));
    if (!store.OpenAt(folder, error)) return Fail(plat::Utf8ToGbk(error));
    return 0;
}

std::string When(long long seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&t, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    return buf;
}

}  // namespace

int RunHistory(const QStringList& args) {
    if (args.size() != 1 || args[0].isEmpty()) {
        std::fputs("usage: korvane --history CARD\n", stderr);
        return 2;
    }
    history::Store store;
    std::string path, error;
    if (const int status = Locate(args[0], store, path)) return status;
    const std::vector<history::Version> versions = store.Versions(path, error);
    for (const history::Version& v : versions) {
        const std::string size = v.Deleted() ? "-" : std::to_string(v.size);
        std::printf("%s\t%s\t%s\t%s\n", v.id.substr(0, 12).c_str(), When(v.time).c_str(), size.c_str(),
                    v.Deleted() ? "删除" : history::WhoLabel(v.who));
    }
    if (!error.empty()) return Fail(plat::Utf8ToGbk(error));
    if (versions.empty()) return Fail(plat::Gbk("资料卡 ") + plat::Utf8ToGbk(path) + plat::Gbk(" 没有记录的版本"));
    return 0;
}

int RunShowVersion(const QStringList& args) {
    if (args.size() != 2 || args[0].isEmpty() || args[1].isEmpty()) {
        std::fputs("usage: korvane --show-version CARD ID\n", stderr);
        return 2;
    }
    history::Store store;
    std::string path, error, bytes;
    if (const int status = Locate(args[0], store, path)) return status;
    if (!store.Text(path, args[1].toStdString(), bytes, error)) return Fail(plat::Utf8ToGbk(error));
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0)
        return Fail(plat::Gbk("不能写出版本的内容"));
    return 0;
}

}  // namespace cli
