#include "ui/shaded_button.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <algorithm>

#include "ui/palette.h"

namespace {

// Rectangles here follow the original platform's convention: right and bottom are one past the last pixel.
struct Edges {
    int left, top, right, bottom;
};

Edges EdgesOf(const QRect& r) { return {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()}; }

// One edge pen of the frame: a colour and a width in pixels.
struct EdgePen {
    QColor colour;
    int width;
};

struct FramePens {
    EdgePen left, right, top, bottom;
};

const FramePens kOrange{{QColor(250, 196, 88), 3}, {QColor(251, 202, 106), 3}, {QColor(252, 210, 121), 2},
                        {QColor(229, 151, 0), 2}};
const FramePens kBlue{{QColor(153, 198, 252), 3}, {QColor(162, 189, 252), 3}, {QColor(162, 201, 255), 2},
                      {QColor(162, 201, 255), 2}};

constexpr int kEdge = 2;  // the 3-D edge width and height of standard settings

}  // namespace

CShadedButton::CShadedButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    PreSubclassWindow();
}

void CShadedButton::PreSubclassWindow() {
    // The button paints every pixel of its face itself; the rounded corners show the dialog behind them.
    setAttribute(Qt::WA_Hover);
    setAutoFillBackground(false);
}

QColor CShadedButton::RampColor(int k, bool hover, bool strong) {
    k = std::clamp(k, 0, 63);
    const int rg = hover ? 255 - k / 4 : 255 - k / 3;
    int b;
    if (hover)
        b = strong ? 255 - k / 3 : 255 - k / 5;
    else
        b = strong ? 255 - k / 4 : 255 - k / 5;
    return QColor(rg, rg, b);
}

void CShadedButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    DrawItem(p, hasFocus(), isDown(), !isEnabled(), isDefault());
}

void CShadedButton::DrawItem(QPainter& p, bool focused, bool pressed, bool disabled, bool isDefault) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    const QRect r = rect();

    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(r.x(), r.y(), r.width() - 1, r.height() - 1), 2.5, 2.5);

    m_bFocus = focused;
    m_bStrong = focused || pressed || isDefault;

    const QRect inner = r.adjusted(kEdge, kEdge, -kEdge, -kEdge);
    DrawBackground(p, inner);
    if (m_bHover || m_bFocus) DrawFrame(p, inner);

    const QString label = text();
    if (!label.isEmpty()) {
        p.setFont(font());
        const QFontMetrics fm(font());
        const Edges i = EdgesOf(inner);
        int x = (i.left + i.right) / 2 - fm.horizontalAdvance(label) / 2;
        int y = (i.top + i.bottom) / 2 - fm.height() / 2;
        if (pressed) {
            ++x;
            ++y;
        }
        if (disabled) {
            // Embossed: a white highlight one pixel down-right under the grey text.
            p.setPen(Qt::white);
            p.drawText(x + 1, y + 1 + fm.ascent(), label);
            p.setPen(QColor(128, 128, 128));
        } else {
            p.setPen(Qt::black);
        }
        p.drawText(x, y + fm.ascent(), label);
    }
    p.restore();
}

void CShadedButton::DrawBackground(QPainter& p, const QRect& inner) {
    const Edges i = EdgesOf(inner);
    const int w = i.right - i.left;
    const int h = i.bottom - i.top;
    QColor ramp[64];
    for (int k = 0; k < 64; ++k) ramp[k] = RampColor(k, m_bHover, m_bStrong);
    // k grows with the absolute row, so the top row is already a few steps down the ramp; the last rows
    // reach c63. A face with no height (a button under 5 pixels) takes the last colour. The rows are the
    // screen's own: where a logical pixel is two device pixels (a 4K screen, QT_SCALE_FACTOR=2) the ramp has
    // twice the steps instead of bands two pixels high.
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    const int last = qRound((h + kEdge + 1) * dpr) - 1;
    for (int y = qRound(i.top * dpr); y <= last; ++y) {
        const int k = h > 0 ? std::min(static_cast<int>(y * 63 / (h * dpr)), 63) : 63;
        p.fillRect(QRectF(i.left, y / dpr, w + kEdge - i.left, 1 / dpr), ramp[k]);
    }
}

void CShadedButton::DrawFrame(QPainter& p, const QRect& inner) {
    const Edges i = EdgesOf(inner);
    const bool blue = m_bFocus && !m_bHover;
    const FramePens& pens = blue ? kBlue : kOrange;
    // The pens draw inside the frame of the face: each line's width grows inward from its end points.
    // Order matters where the lines meet: later lines cover earlier ones.
    auto vertical = [&](const EdgePen& pen, int x, int yFrom, int yTo, int inward) {
        const int x0 = inward > 0 ? x : x - pen.width + 1;
        p.fillRect(QRect(x0, yFrom, pen.width, yTo - yFrom + 1), pen.colour);
    };
    auto horizontal = [&](const EdgePen& pen, int y, int xFrom, int xTo, int inward) {
        const int y0 = inward > 0 ? y : y - pen.width + 1;
        p.fillRect(QRect(xFrom, y0, xTo - xFrom + 1, pen.width), pen.colour);
    };
    // Each line leaves out its end point: (left, bottom-1) up to (left, top+1), and so on.
    vertical(pens.left, i.left, i.top + 2, i.bottom - 1, +1);
    vertical(pens.right, i.right - 1, i.top + 1, i.bottom - 1, -1);
    horizontal(pens.top, i.top, i.left - 1, i.right - 2, +1);
    horizontal(pens.bottom, i.bottom, i.left, i.right - 2, -1);

    if (blue) {
        // The dotted focus rectangle: every other pixel of I's border inverted.
        QPolygon dots;
        for (int x = i.left; x < i.right; ++x) {
            if ((x + i.top) % 2 == 0) dots << QPoint(x, i.top);
            if ((x + i.bottom - 1) % 2 == 0 && i.bottom - 1 > i.top) dots << QPoint(x, i.bottom - 1);
        }
        for (int y = i.top + 1; y < i.bottom - 1; ++y) {
            if ((i.left + y) % 2 == 0) dots << QPoint(i.left, y);
            if ((i.right - 1 + y) % 2 == 0 && i.right - 1 > i.left) dots << QPoint(i.right - 1, y);
        }
        p.save();
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.setPen(QPen(Qt::white, 1));
        p.drawPoints(dots);
        p.restore();
    }
}

int CShadedButton::OnMouseHover() {
    // A disabled control gets no pointer input on the original platform, so it never shows the hover frame.
    if (!isEnabled()) return 0;
    m_bHover = true;
    update();
    return 0;
}

int CShadedButton::OnMouseLeave() {
    m_bHover = false;
    update();
    return 0;
}

void CShadedButton::enterEvent(QEnterEvent* e) {
    QPushButton::enterEvent(e);
    OnMouseHover();
}

void CShadedButton::leaveEvent(QEvent* e) {
    QPushButton::leaveEvent(e);
    OnMouseLeave();
}

void CShadedButton::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange && !isEnabled()) m_bHover = false;
    QPushButton::changeEvent(e);
}

QImage CShadedButton::Render(bool focused, bool pressed, bool disabled, bool isDefault, bool hover, qreal dpr) {
    QImage img(size() * dpr, QImage::Format_RGB32);
    img.setDevicePixelRatio(dpr);
    img.fill(ui::kDialogBackground);
    const bool savedHover = m_bHover;
    m_bHover = hover;
    {
        QPainter p(&img);
        DrawItem(p, focused, pressed, disabled, isDefault);
    }
    m_bHover = savedHover;
    return img;
}
