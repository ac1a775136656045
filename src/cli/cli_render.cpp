// korvane --render CARD [OUT.html]: the page the view button shows, written to a file or to standard output.
#include <cstdio>
#include <filesystem>
#include <optional>

#include "cli/cli.h"
#include "cli/program_dir.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "render/card_render.h"

namespace cli {

namespace {

int Fail(const std::string& gbkMessage) {
    std::fprintf(stderr, "korvane: %s\n", plat::GbkToUtf8(gbkMessage).c_str());
    return 1;
}

// An argument naming a file, as an internal path: relative to the folder the program was started in.
std::optional<std::string> ArgPath(const QString& arg) {
    std::filesystem::path p = std::filesystem::path(arg.toStdString());
    if (p.is_relative()) p = std::filesystem::path(progdir::LaunchDir()) / p;
    return plat::FromNative(p.lexically_normal().string());
}

}  // namespace

int RunRender(const QStringList& args) {
    if (args.size() < 1 || args.size() > 2 || args[0].isEmpty() || (args.size() == 2 && args[1].isEmpty())) {
        std::fputs("usage: korvane --render CARD [OUT.html]\n", stderr);
        return 2;
    }
    const std::optional<std::string> card = ArgPath(args[0]);
    if (!card) return Fail(plat::Gbk("文件名中含有 GBK 无法表示的字符: ") + plat::Utf8ToGbk(args[0].toStdString()));
    const render::Page page = render::RenderCard(*card, std::string());
    if (!page.ok) return Fail(page.error);

    if (args.size() == 1) {
        const bool ok = std::fwrite(page.html.data(), 1, page.html.size(), stdout) == page.html.size() &&
                        std::fflush(stdout) == 0;
        return ok ? 0 : Fail(plat::Gbk("写入标准输出时出错了"));
    }
    const std::optional<std::string> out = ArgPath(args[1]);
    if (!out) return Fail(plat::Gbk("文件名中含有 GBK 无法表示的字符: ") + plat::Utf8ToGbk(args[1].toStdString()));
    // Whatever stood under that name stays whole until the new page is complete.
    plat::AtomicFile file;
    if (!file.Open(*out) || !file.Write(page.html) || !file.Commit())
        return Fail(plat::Gbk("不能写入文件 ") + *out);
    return 0;
}

}  // namespace cli
