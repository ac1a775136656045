// A window larger than the screen or partly off it comes back whole, with room for its frame; one that fits
// stays.
#include "ui/window_fit.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

TEST(WindowFitTest, ATooLargeOrMisplacedWindowFitsWithItsFrameAndOneThatFitsStays) {
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect inside(free.left() + 100, free.top() + 100, 200, 150);
    for (const QRect& place : {inside, QRect(free.topLeft(), free.size() + QSize(300, 300)),
                               QRect(free.left() - 50, free.top() - 50, 200, 150), inside.translated(free.size().width(), 0)}) {
        QWidget w;
        w.setGeometry(place);
        ui::FitOnScreen(&w);
        const QRect got = w.geometry();
        EXPECT_EQ(got == place, place == inside);
        EXPECT_TRUE(free.contains(got) && got.top() - free.top() > w.fontMetrics().height() && got.bottom() < free.bottom());
    }
}
