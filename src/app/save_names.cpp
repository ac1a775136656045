#include "app/save_names.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>

#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/text.h"

namespace savenames {

namespace {

constexpr char kCardMark[] = ".datum.";
constexpr std::size_t kNameMax = 255;  // bytes of one file name on Linux file systems

std::string Real(const std::string& native) {
    char* resolved = realpath(native.c_str(), nullptr);
    if (!resolved) return {};
    std::string out = resolved;
    free(resolved);
    return out;
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::equivalent(plat::ToNative(a), plat::ToNative(b), ec) && !ec;
}

QString FileNamePart(QString title) {
    static const QString signs = QStringLiteral("/\\:*?\"<>|");
    static const QString lookAlikes = QStringLiteral("／＼：＊？＂＜＞｜");
    for (QChar& c : title)
        if (const qsizetype i = signs.indexOf(c); i >= 0)
            c = lookAlikes[i];
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u' ';
    return title;
}

std::string CopyName(const std::string& original, const std::string& title, const std::string& when, int n) {
    const std::string_view file = plat::LastComponent(original);
    const std::string folder = original.substr(0, original.size() - file.size());
    const std::size_t mark = plat::Find(file, kCardMark);
    const std::string tail(mark == plat::npos ? std::string_view(".datum.xml") : file.substr(mark));
    std::string mine = plat::Gbk(" (我的修改 ") + when + (n > 1 ? " " + plat::FormatInt(n) : std::string()) + ")" + tail;
    // The title's characters, whole, as many as fit.
    std::string kept;
    const std::size_t room = kNameMax - std::min(kNameMax, plat::GbkToUtf8(mine).size());
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < title.size();) {
        const std::size_t len = plat::CharLen(title, i);
        const std::size_t utf8 = plat::GbkToUtf8(title.substr(i, len)).size();
        if (bytes + utf8 > room) break;
        kept.append(title, i, len);
        bytes += utf8;
        i += len;
    }
    return folder + kept + mine;
}

std::string RefusedLink(const std::string& path, const std::string& loadedLink, const std::string& libRoot) {
    const std::optional<std::string> link = plat::LinkText(path);
    if (!link) return {};
    const std::string target = Real(plat::ToNative(path));
    const std::string root = Real(plat::ToNative(libRoot));
    const bool inside = !target.empty() && !root.empty() && target.size() > root.size() &&
                        target.compare(0, root.size(), root) == 0 && target[root.size()] == '/';
    if (*link == loadedLink && inside) return {};
    std::optional<std::string> shown = plat::FromNative(target.empty() ? *link : target);
    return shown ? *shown : plat::Utf8ToGbk(*link);
}

}  // namespace savenames
