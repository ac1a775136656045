#include "ui/window_fit.h"

#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace ui {

namespace {

QMargins FrameOf(const QWidget* w) {
    if (w->isVisible() && w->windowHandle()) {
        const QMargins real = w->windowHandle()->frameMargins();
        if (!real.isNull()) return real;
    }
    // What a window manager typically draws: a title bar and a thin edge.
    const int edge = std::max(1, w->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, w));
    const int title = std::max(w->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, w),
                               w->fontMetrics().height() + 8);
    return {edge, title + edge, edge, edge};
}

}  // namespace

void FitOnScreen(QWidget* w) {
    if (w->isMaximized() || w->isFullScreen() || !w->screen()) return;
    const QRect free = w->screen()->availableGeometry();
    const QMargins m = FrameOf(w);
    const QRect inner = free.marginsRemoved(m);
    const QSize size = w->size().boundedTo(inner.size()).expandedTo(w->minimumSize());
    const QRect now = w->geometry();
    const int x = std::clamp(now.left(), inner.left(), std::max(inner.left(), inner.right() + 1 - size.width()));
    const int y = std::clamp(now.top(), inner.top(), std::max(inner.top(), inner.bottom() + 1 - size.height()));
    const QRect fitted(QPoint(x, y), size);
    if (fitted != now) w->setGeometry(fitted);
}

}  // namespace ui
