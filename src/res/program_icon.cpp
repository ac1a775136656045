#include "res/program_icon.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cstdio>

namespace res {

namespace {

// A lavender tile with a white index card before a second card, a blue tab and an amber dot, on a grid of 32
// units. Details that would blur at small sizes carry the smallest size they are drawn at.
struct Shape {
    enum Kind { RoundRect, Rect, Line, Circle } kind;
    double a, b, c, d;  // rect: x, y, w, h; line: x1, y1, x2, y2; circle: cx, cy, r, -
    double radius;      // RoundRect corner
    QRgb stroke;        // 0: none
    double strokeWidth;
    QRgb fill;  // 0: none
    int minSize;
};

constexpr QRgb kNone = 0;
constexpr QRgb Rgb(int r, int g, int b) { return 0xff000000u | (r << 16) | (g << 8) | b; }

constexpr Shape kShapes[] = {
    {Shape::RoundRect, 0.5, 0.5, 31, 31, 5, Rgb(90, 86, 140), 1.0, Rgb(223, 222, 236), 0},
    {Shape::Rect, 8, 5, 19, 15, 0, Rgb(120, 116, 170), 1.0, Rgb(226, 225, 246), 0},
    {Shape::Rect, 4, 10, 21, 17, 0, Rgb(60, 60, 90), 1.2, Rgb(255, 255, 255), 0},
    {Shape::Line, 4.5, 11.5, 24.5, 11.5, 0, Rgb(153, 198, 252), 3.0, kNone, 0},
    {Shape::Line, 7, 16.5, 22, 16.5, 0, Rgb(130, 130, 150), 1.0, kNone, 24},
    {Shape::Line, 7, 20, 22, 20, 0, Rgb(130, 130, 150), 1.0, kNone, 24},
    {Shape::Line, 7, 23.5, 16, 23.5, 0, Rgb(130, 130, 150), 1.0, kNone, 24},
    {Shape::Circle, 25, 25, 4, 0, 0, kNone, 0, Rgb(250, 196, 88), 0},
};

std::string Hex(QRgb c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", qRed(c), qGreen(c), qBlue(c));
    return buf;
}

std::string Num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

}  // namespace

QImage ProgramIconImage(int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 32.0;
    for (const Shape& sh : kShapes) {
        if (size < sh.minSize) continue;
        p.setPen(sh.stroke ? QPen(QColor::fromRgb(sh.stroke), sh.strokeWidth * s) : QPen(Qt::NoPen));
        p.setBrush(sh.fill ? QBrush(QColor::fromRgb(sh.fill)) : QBrush(Qt::NoBrush));
        switch (sh.kind) {
        case Shape::RoundRect:
            p.drawRoundedRect(QRectF(sh.a * s, sh.b * s, sh.c * s, sh.d * s), sh.radius * s, sh.radius * s);
            break;
        case Shape::Rect: p.drawRect(QRectF(sh.a * s, sh.b * s, sh.c * s, sh.d * s)); break;
        case Shape::Line: p.drawLine(QPointF(sh.a * s, sh.b * s), QPointF(sh.c * s, sh.d * s)); break;
        case Shape::Circle: p.drawEllipse(QPointF(sh.a * s, sh.b * s), sh.c * s, sh.c * s); break;
        }
    }
    return img;
}

namespace {

// The icon painted from its shapes at whatever size a title bar, task bar or switcher asks for, in device
// pixels: as sharp on a screen of any density as the SVG, never a smaller picture scaled up.
class ProgramIconEngine : public QIconEngine {
public:
    void paint(QPainter* p, const QRect& rect, QIcon::Mode, QIcon::State) override {
        const qreal dpr = p->device() ? p->device()->devicePixelRatioF() : 1.0;
        QImage img = ProgramIconImage(qRound(std::min(rect.width(), rect.height()) * dpr));
        img.setDevicePixelRatio(dpr);
        p->drawImage(rect.topLeft(), img);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        return QPixmap::fromImage(ProgramIconImage(std::min(size.width(), size.height())));
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        return {{16, 16}, {24, 24}, {32, 32}, {48, 48}, {64, 64}, {128, 128}, {256, 256}};
    }
    QIconEngine* clone() const override { return new ProgramIconEngine; }
    QString key() const override { return QStringLiteral("korvane"); }
};

}  // namespace

QIcon ProgramIcon() { return QIcon(new ProgramIconEngine); }

std::string ProgramIconSvg() {
    std::string svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 32 32\"\n"
        // The pen ends and corners Qt draws with by default, so both forms look alike.
        "     stroke-linecap=\"square\" stroke-linejoin=\"bevel\">\n";
    for (const Shape& sh : kShapes) {
        std::string paint = " fill=\"" + (sh.fill ? Hex(sh.fill) : std::string("none")) + "\"";
        if (sh.stroke) paint += " stroke=\"" + Hex(sh.stroke) + "\" stroke-width=\"" + Num(sh.strokeWidth) + "\"";
        switch (sh.kind) {
        case Shape::RoundRect:
        case Shape::Rect:
            svg += "  <rect x=\"" + Num(sh.a) + "\" y=\"" + Num(sh.b) + "\" width=\"" + Num(sh.c) + "\" height=\"" +
                   Num(sh.d) + "\"" + (sh.radius > 0 ? " rx=\"" + Num(sh.radius) + "\"" : std::string()) + paint +
                   "/>\n";
            break;
        case Shape::Line:
            svg += "  <line x1=\"" + Num(sh.a) + "\" y1=\"" + Num(sh.b) + "\" x2=\"" + Num(sh.c) + "\" y2=\"" +
                   Num(sh.d) + "\"" + paint + "/>\n";
            break;
        case Shape::Circle:
            svg += "  <circle cx=\"" + Num(sh.a) + "\" cy=\"" + Num(sh.b) + "\" r=\"" + Num(sh.c) + "\"" + paint + "/>\n";
            break;
        }
    }
    return svg + "</svg>\n";
}

}  // namespace res
