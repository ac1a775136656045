// korvane --render CARD [OUT.html] [--style STYLE.xsl]: the page the view button shows, written to a file or
// to standard output.
#include <sys/stat.h>

#include <cstdio>

#include "cli/cli.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/text.h"
#include "render/card_render.h"

namespace cli {
namespace {

int Usage() {
    std::fputs("usage: korvane --render CARD [OUT.html] [--style STYLE.xsl]\n", stderr);
    return 2;
}

// A page may replace only what is no one's data: nothing, an empty file, or a page this program wrote.
// Never the card itself (OUT naming the card, or a link to it).
int CheckOutput(const std::string& card, const std::string& out) {
    struct stat c, o;
    const std::string native = plat::ToNative(out);
    if (stat(native.c_str(), &o) != 0 || (S_ISREG(o.st_mode) && o.st_size == 0)) return 0;
    if (stat(plat::ToNative(card).c_str(), &c) == 0 && c.st_dev == o.st_dev && c.st_ino == o.st_ino)
        return Fail(plat::Gbk("不能把页面写到资料卡自己上: ") + plat::Abbreviate(out));
    if (S_ISREG(o.st_mode) && !render::IsRenderedPage(native))
        return Fail(plat::Gbk("文件 ") + plat::Abbreviate(out) +
                    plat::Gbk(" 已存在，不是本程序生成的页面，不会替换它"));
    return 0;
}

}  // namespace

int RunRender(const QStringList& args) {
    QStringList files;
    QString style;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--style") && i + 1 < args.size() && style.isEmpty())
            style = args[++i];
        else if (args[i].isEmpty() || args[i] == QLatin1String("--style"))
            return Usage();
        else
            files << args[i];
    }
    if (files.size() < 1 || files.size() > 2) return Usage();
    std::string card, out;
    render::RenderControl control;
    if (const int status = FileArg(files[0], card)) return status;
    if (!style.isEmpty())
        if (const int status = FileArg(style, control.style)) return status;
    if (files.size() == 2) {
        if (const int status = FileArg(files[1], out)) return status;
        if (const int status = CheckOutput(card, out)) return status;
    }
    const render::Page page = render::RenderCard(card, std::string(), control);
    if (!page.ok) return Fail(page.error);
    if (!page.note.empty()) Fail(page.note);  // said, not a failure: the page is written

    if (out.empty()) {
        const bool ok = std::fwrite(page.html.data(), 1, page.html.size(), stdout) == page.html.size() &&
                        std::fflush(stdout) == 0;
        return ok ? 0 : Fail(plat::Gbk("写入标准输出时出错了"));
    }
    // Whatever stood under that name stays whole until the new page is complete; a link stays a link.
    plat::AtomicFile file;
    if (!file.Open(out) || !file.Write(page.html) || !file.Commit())
        return Fail(plat::Gbk("不能写入文件 ") + plat::Abbreviate(out));
    return 0;
}

}  // namespace cli
