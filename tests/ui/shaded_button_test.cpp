// The owner-drawn button rendered in each state, checked pixel by pixel where the drawing rules fix them.
#include <gtest/gtest.h>

#include <QEnterEvent>
#include <QTest>

#include "ui/dialog.h"
#include "ui/palette.h"
#include "ui/shaded_button.h"

namespace {

const QColor kBlack(0, 0, 0), kWhite(255, 255, 255);
const QColor kBlueL(153, 198, 252), kBlueR(162, 189, 252), kBlueT(162, 201, 255), kBlueB = kBlueT;
const QColor kOrangeL(250, 196, 88), kOrangeR(251, 202, 106), kOrangeT(252, 210, 121), kOrangeB(229, 151, 0);

QColor Inverted(const QColor& c) { return QColor(255 - c.red(), 255 - c.green(), 255 - c.blue()); }

struct State {
    bool focused = false, pressed = false, disabled = false, isDefault = false, hover = false;
};

// The ramp colour the face must have in row y, from the colour table: k = y*63/H (H the face height).
QColor Expected(int y, int faceH, bool hover, bool strong) {
    const int k = std::min(y * 63 / faceH, 63);
    const int rg = hover ? 255 - k / 4 : 255 - k / 3;
    const int b = hover ? (strong ? 255 - k / 3 : 255 - k / 5) : (strong ? 255 - k / 4 : 255 - k / 5);
    return QColor(rg, rg, b);
}

bool Dark(const QColor& c) { return c.red() < 110 && c.green() < 110 && c.blue() < 110; }

QRect DarkBox(const QImage& img) {
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 2; x < img.width() - 2; ++x)
            if (y >= 2 && y < img.height() - 2 && Dark(img.pixelColor(x, y))) box |= QRect(x, y, 1, 1);
    return box;
}

class ShadedButtonTest : public ::testing::Test {
protected:
    ShadedButtonTest() : dlg(130) {
        button = dlg.ItemAs<CShadedButton>(5);  // "设为默认项"
        empty = new CShadedButton(QString(), &dlg);
        empty->setGeometry(0, 0, 80, 30);
    }
    QImage Render(CShadedButton* b, const State& s) {
        return b->Render(s.focused, s.pressed, s.disabled, s.isDefault, s.hover);
    }
    CDialog dlg;
    CShadedButton* button = nullptr;
    CShadedButton* empty = nullptr;
};

// Without a frame the whole face is the ramp: rows 2 .. H-2, columns 2 .. W-3, outside the text.
TEST_F(ShadedButtonTest, FaceRampInEveryState) {
    struct Case {
        State s;
        bool strong;
        QColor last;
    };
    const Case cases[] = {
        {State{}, false, QColor(234, 234, 243)},
        {State{.isDefault = true}, true, QColor(234, 234, 240)},
        {State{.pressed = true}, true, QColor(234, 234, 240)},
        {State{.hover = true}, false, QColor(240, 240, 243)},
        {State{.focused = true, .hover = true}, true, QColor(240, 240, 234)},
        {State{.disabled = true}, false, QColor(234, 234, 243)},
    };
    for (CShadedButton* b : {button, empty}) {
        const int W = b->width(), H = b->height(), faceH = H - 4;
        for (const Case& c : cases) {
            SCOPED_TRACE(&c - cases);
            const QImage img = Render(b, c.s);
            const bool framed = c.s.focused || c.s.hover;
            // First and last face rows, away from the frame's corners.
            if (!framed) {
                EXPECT_EQ(img.pixelColor(W / 2, 2), Expected(2, faceH, c.s.hover, c.strong));
                EXPECT_EQ(img.pixelColor(W / 2, H - 2), c.last);
            }
            // A column left of the text and right of the frame, every row.
            const int x = framed ? 5 : 2;
            const int y0 = framed ? 4 : 2, y1 = framed ? H - 4 : H - 2;
            for (int y = y0; y <= y1; ++y)
                ASSERT_EQ(img.pixelColor(x, y), Expected(y, faceH, c.s.hover, c.strong)) << "row " << y;
            EXPECT_EQ(Expected(H - 2, faceH, c.s.hover, c.strong), c.last);
        }
    }
}

TEST_F(ShadedButtonTest, OutlineIsBlackAndRoundedOverWhite) {
    const QImage img = Render(button, State{});
    const int W = img.width(), H = img.height();
    for (QPoint p : {QPoint(W / 2, 0), QPoint(W / 2, H - 1), QPoint(0, H / 2), QPoint(W - 1, H / 2), QPoint(3, 0),
                     QPoint(0, 3)})
        EXPECT_EQ(img.pixelColor(p), kBlack) << p.x() << "," << p.y();
    // Rounded: the very corner keeps the dialog colour.
    EXPECT_EQ(img.pixelColor(0, 0), ui::kDialogBackground);
    EXPECT_EQ(img.pixelColor(W - 1, H - 1), ui::kDialogBackground);
    // Between the outline and the face lies the white fill.
    EXPECT_EQ(img.pixelColor(W / 2, 1), kWhite);
    EXPECT_EQ(img.pixelColor(1, H / 2), kWhite);
}

TEST_F(ShadedButtonTest, FrameBlueWhenFocusedOrangeWhenHovered) {
    struct Case {
        State s;
        QColor l, r, t, b;
        bool focusRect;
    };
    const Case cases[] = {
        {State{.focused = true}, kBlueL, kBlueR, kBlueT, kBlueB, true},
        {State{.hover = true}, kOrangeL, kOrangeR, kOrangeT, kOrangeB, false},
        {State{.pressed = true, .hover = true}, kOrangeL, kOrangeR, kOrangeT, kOrangeB, false},
    };
    for (CShadedButton* b : {button, empty}) {
        const int W = b->width(), H = b->height();
        for (const Case& c : cases) {
            SCOPED_TRACE(&c - cases);
            const QImage img = Render(b, c.s);
            // Left 3 columns (2..4), right 3 (W-5..W-3), top 2 rows (2..3), bottom 2 (H-3..H-2).
            for (int x : {3, 4}) EXPECT_EQ(img.pixelColor(x, H / 2), c.l);
            for (int x : {W - 5, W - 4}) EXPECT_EQ(img.pixelColor(x, H / 2), c.r);
            EXPECT_EQ(img.pixelColor(W / 2, 3), c.t);
            EXPECT_EQ(img.pixelColor(W / 2, H - 2), c.b);
            // The dotted focus rectangle inverts every other pixel of the face's top row and left column.
            for (int x = 6; x < W - 6; ++x) {
                const bool dot = c.focusRect && (x + 2) % 2 == 0;
                ASSERT_EQ(img.pixelColor(x, 2), dot ? Inverted(c.t) : c.t) << "x " << x;
            }
            for (int y = 5; y < H - 5; ++y) {
                const bool dot = c.focusRect && (y + 2) % 2 == 0;
                ASSERT_EQ(img.pixelColor(2, y), dot ? Inverted(c.l) : c.l) << "y " << y;
            }
        }
        // No focus and no hover: no frame at all, the face colours reach the edges.
        const QImage idle = Render(b, State{.pressed = true, .isDefault = true});
        EXPECT_EQ(idle.pixelColor(3, H / 2), Expected(H / 2, H - 4, false, true));
        EXPECT_EQ(idle.pixelColor(W / 2, H - 2), QColor(234, 234, 240));
    }
}

TEST_F(ShadedButtonTest, TextIsCentredMovesWhenPressedAndIsGreyWhenDisabled) {
    const QImage up = Render(button, State{});
    const QImage down = Render(button, State{.pressed = true});
    const QRect a = DarkBox(up), b = DarkBox(down);
    ASSERT_FALSE(a.isEmpty());
    EXPECT_EQ(b, a.translated(1, 1));
    // Roughly centred on the face.
    const int W = up.width(), H = up.height();
    EXPECT_LE(std::abs((a.left() + a.right()) - W), 6);
    EXPECT_LE(std::abs((a.top() + a.bottom()) - H), 8);
    // Hover or focus does not move it.
    EXPECT_EQ(DarkBox(Render(button, State{.focused = true, .hover = true})), a);

    // Disabled: embossed grey, nothing dark.
    const QImage img = Render(button, State{.disabled = true});
    EXPECT_TRUE(DarkBox(img).isEmpty());
    int grey = 0;
    for (int y = 4; y < img.height() - 4; ++y)
        for (int x = 5; x < img.width() - 5; ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.red() == 128 && c.green() == 128 && c.blue() == 128) ++grey;
        }
    EXPECT_GT(grey, 10);
}

// The painted button follows the widget's own state: default, disabled, hover from enter and leave.
TEST_F(ShadedButtonTest, PaintFollowsWidgetState) {
    auto same = [](const QImage& a, const QImage& b) {
        return a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
    };
    auto* ok = dlg.ItemAs<CShadedButton>(1);
    ASSERT_TRUE(ok->isDefault());
    EXPECT_TRUE(same(ok->grab().toImage(), Render(ok, State{.isDefault = true})));
    auto* backup = dlg.ItemAs<CShadedButton>(7);
    EXPECT_TRUE(same(backup->grab().toImage(), Render(backup, State{.disabled = true})));

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(button, &enter);
    EXPECT_TRUE(button->IsHover());
    EXPECT_TRUE(same(button->grab().toImage(), Render(button, State{.hover = true})));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(button, &leave);
    EXPECT_FALSE(button->IsHover());

    // A disabled button never shows the hover frame.
    QCoreApplication::sendEvent(backup, &enter);
    EXPECT_FALSE(backup->IsHover());
    QCoreApplication::sendEvent(button, &enter);
    button->setEnabled(false);
    EXPECT_FALSE(button->IsHover());
}

}  // namespace
