#include "ui/card_view.h"

#include <atomic>

#include "platform/codec.h"
#include "platform/path.h"
#include "platform/services.h"
#include "render/card_render.h"
#include "render/view_cache.h"
#include "ui/job_strip.h"

namespace ui {

void ShowCard(QWidget* parent, std::string cardPath, std::string selectedStyle) {
    auto fail = [parent](const std::string& text) {
        plat::Svc().MessageBox(parent, text, plat::Gbk("ERROR"), plat::MB_OK | plat::MB_ICONERROR);
    };
    std::atomic<bool> cancel{false};
    render::RenderControl control;
    control.cancel = &cancel;
    render::Page page;
    std::string written, error;
    {
        CJobStrip strip(plat::Gbk("正在生成资料卡的页面......"), parent, cancel);
        strip.Run([&] {
            page = render::RenderCard(cardPath, selectedStyle, control);
            if (page.ok) written = render::WriteViewPage(page.html, error);
        });
    }
    if (page.cancelled) return;
    if (!page.ok) return fail(page.error);
    if (written.empty()) return fail(error);
    // The seam takes internal paths; a cache folder whose name GBK cannot hold cannot be handed over.
    std::optional<std::string> internal = plat::FromNative(written);
    if (!internal) return fail(plat::Gbk("不能打开文件 ") + plat::Utf8ToGbk(written));
    if (!page.note.empty()) CJobStrip::ShowNote(parent, page.note);
    if (!plat::Svc().ShellOpen(*internal, true)) CJobStrip::ShowNote(parent, plat::NotOpenedText(*internal));
}

}  // namespace ui
