// A window larger than the screen, or placed partly off it, comes back whole onto the free area with room
// for the frame above it; one that fits stays as it is.
#include "ui/window_fit.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

TEST(WindowFitTest, AWindowTooLargeOrOffTheScreenFitsWithItsTitleBarAndOneThatFitsStays) {
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect inside(free.left() + 100, free.top() + 100, 200, 150);
    const struct {
        QRect place;
        QSize minimum;
        bool moves;
    } rows[] = {
        {inside, {}, false},
        {{free.topLeft(), free.size() + QSize(300, 300)}, {}, true},
        {{free.left() - 50, free.top() - 50, 200, 150}, {}, true},
        {{free.right() - 20, free.bottom() - 20, 200, 150}, {}, true},
        {{free.topLeft(), free.size() * 2}, free.size() * 3 / 2, true},  // never below its minimum
    };
    for (const auto& r : rows) {
        QWidget w;
        w.setMinimumSize(r.minimum);
        w.setGeometry(r.place);
        ui::FitOnScreen(&w);
        const QRect got = w.geometry();
        EXPECT_EQ(got != r.place, r.moves) << r.place.x() << "," << r.place.y();
        if (!r.minimum.isEmpty()) {
            EXPECT_EQ(got.size(), r.minimum);
            continue;
        }
        EXPECT_TRUE(free.contains(got)) << got.x() << "," << got.y() << " " << got.width() << "x" << got.height();
        EXPECT_GT(got.top() - free.top(), w.fontMetrics().height()) << "room for the title bar";
        EXPECT_GT(free.bottom() - got.bottom(), 0) << "room for the lower edge";
    }
    QWidget maximised;
    maximised.setGeometry(free.adjusted(0, 0, 500, 500));
    maximised.setWindowState(Qt::WindowMaximized);
    const QRect before = maximised.geometry();
    ui::FitOnScreen(&maximised);
    EXPECT_EQ(maximised.geometry(), before);
}

}  // namespace
