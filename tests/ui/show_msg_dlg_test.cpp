// The progress strip: hidden at creation, placed at a fixed point of its owner, repainted at once.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

#include "platform/codec.h"
#include "ui/palette.h"
#include "ui/show_msg_dlg.h"

namespace {

// Counts paint events of a widget.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

TEST(ShowMsgDlg, HiddenUntilShownThenAtTheOwnersFixedPoint) {
    CDialog owner(102);
    owner.move(120, 80);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    CShowMsgDlg strip(std::string(), &owner);
    EXPECT_FALSE(strip.isVisible());
    EXPECT_TRUE(strip.isWindow());
    EXPECT_TRUE(strip.windowFlags() & Qt::FramelessWindowHint);

    strip.SetMessage(plat::Gbk("正在读取资料库的信息......"));
    EXPECT_FALSE(strip.isVisible());  // setting the text does not show it
    strip.ShowAt();
    EXPECT_TRUE(strip.isVisible());
    EXPECT_EQ(strip.pos(), owner.mapToGlobal(QPoint(50, 160)));
    const QSize size = strip.size();

    // Showing again without hiding only goes back to the point, also after the owner moved.
    owner.move(300, 200);
    QTest::qWait(10);
    strip.move(0, 0);
    strip.ShowAt();
    EXPECT_TRUE(strip.isVisible());
    EXPECT_EQ(strip.pos(), owner.mapToGlobal(QPoint(50, 160)));
    EXPECT_EQ(strip.size(), size);
    EXPECT_EQ(strip.Message(), plat::Gbk("正在读取资料库的信息......"));
}

TEST(ShowMsgDlg, SetMessageShowsTheTextAndRepaintsAtOnce) {
    CDialog owner(102);
    owner.show();
    CShowMsgDlg strip(plat::Gbk("开始"), &owner);
    auto* label = strip.ItemAs<QLabel>(1019);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QString::fromUtf8("开始"));
    EXPECT_TRUE(label->alignment() & Qt::AlignHCenter);
    strip.ShowAt();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&strip));

    PaintCounter counter;
    label->installEventFilter(&counter);
    // No event processing between the call and the check: the caller blocks the thread after it.
    strip.SetMessage(plat::Gbk("扫描资料库中的文件出现错误!!"));
    EXPECT_GE(counter.paints, 1);
    EXPECT_EQ(label->text(), QString::fromUtf8("扫描资料库中的文件出现错误!!"));
    EXPECT_EQ(strip.Message(), plat::Gbk("扫描资料库中的文件出现错误!!"));
}

TEST(ShowMsgDlg, EmptyStripIsOneFlatColourInsideItsBorder) {
    CShowMsgDlg strip(std::string(), nullptr);
    const QImage img = strip.grab().toImage();
    const int W = img.width(), H = img.height();
    for (int y = 1; y < H - 1; ++y)
        for (int x = 1; x < W - 1; ++x) ASSERT_EQ(img.pixelColor(x, y), ui::kStripBackground) << x << "," << y;
    for (QPoint p : {QPoint(0, 0), QPoint(W - 1, H / 2), QPoint(W / 2, H - 1), QPoint(0, H / 2)})
        EXPECT_EQ(img.pixelColor(p), QColor(0, 0, 0));

    // With text, dark pixels appear and stay centred.
    strip.SetMessage(plat::Gbk("正在扫描资料库目录......"));
    const QImage text = strip.grab().toImage();
    int left = W, right = -1;
    for (int y = 1; y < H - 1; ++y)
        for (int x = 1; x < W - 1; ++x)
            if (text.pixelColor(x, y).lightness() < 100) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    ASSERT_GE(right, 0);
    const QRect label = strip.Item(1019)->geometry();
    EXPECT_LE(std::abs((left + right) - (2 * label.x() + label.width())), 4);
}

}  // namespace
