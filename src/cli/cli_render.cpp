// korvane --render CARD [OUT.html]: the page the view button shows, written to a file or to standard output.
#include <cstdio>

#include "cli/cli.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "render/card_render.h"

namespace cli {

int RunRender(const QStringList& args) {
    if (args.size() < 1 || args.size() > 2 || args[0].isEmpty() || (args.size() == 2 && args[1].isEmpty())) {
        std::fputs("usage: korvane --render CARD [OUT.html]\n", stderr);
        return 2;
    }
    std::string card, out, error;
    if (!FileArg(args[0], card, error)) return Fail(error);
    const render::Page page = render::RenderCard(card, std::string());
    if (!page.ok) return Fail(page.error);

    if (args.size() == 1) {
        const bool ok = std::fwrite(page.html.data(), 1, page.html.size(), stdout) == page.html.size() &&
                        std::fflush(stdout) == 0;
        return ok ? 0 : Fail(plat::Gbk("写入标准输出时出错了"));
    }
    if (!FileArg(args[1], out, error)) return Fail(error);
    // Whatever stood under that name stays whole until the new page is complete.
    plat::AtomicFile file;
    if (!file.Open(out) || !file.Write(page.html) || !file.Commit())
        return Fail(plat::Gbk("不能写入文件 ") + out);
    return 0;
}

}  // namespace cli
