#include "render/card_view.h"

#include "platform/codec.h"
#include "platform/path.h"
#include "platform/services.h"
#include "render/card_render.h"
#include "render/view_cache.h"

namespace render {

void ShowCard(QWidget* parent, const std::string& cardPath, const std::string& selectedStyle) {
    auto fail = [parent](const std::string& text) {
        plat::Svc().MessageBox(parent, text, plat::Gbk("ERROR"), plat::MB_OK | plat::MB_ICONERROR);
    };
    Page page = RenderCard(cardPath, selectedStyle);
    if (!page.ok) return fail(page.error);
    std::string error;
    const std::string written = WriteViewPage(page.html, error);
    if (written.empty()) return fail(error);
    // The seam takes internal paths; a cache folder whose name GBK cannot hold cannot be handed over.
    std::optional<std::string> internal = plat::FromNative(written);
    if (!internal) return fail(plat::Gbk("不能打开文件 ") + plat::Utf8ToGbk(written));
    plat::Svc().ShellOpen(*internal, true);
}

}  // namespace render
