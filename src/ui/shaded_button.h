// The owner-drawn push button every dialog uses: a rounded, vertically shaded face whose coloured frame
// shows keyboard focus (blue) or the pointer resting on it (orange).
#pragma once

#include <QColor>
#include <QImage>
#include <QPushButton>

class QPainter;

class CShadedButton : public QPushButton {
    Q_OBJECT
public:
    explicit CShadedButton(const QString& text, QWidget* parent = nullptr);

    bool IsHover() const { return m_bHover; }

    // The 64-step ramp colour k (0..63) for the given state.
    static QColor RampColor(int k, bool hover, bool strong);

    // The button drawn in the given state, over the dialog background, at its current size and `dpr` device
    // pixels per pixel (for tests and previews; the hover flag is restored afterwards).
    QImage Render(bool focused, bool pressed, bool disabled, bool isDefault, bool hover, qreal dpr = 1);

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;  // OnMouseHover
    void leaveEvent(QEvent*) override;       // OnMouseLeave
    void changeEvent(QEvent*) override;

    // Draws the whole button into `p` over rect (0, 0, width, height).
    void DrawItem(QPainter& p, bool focused, bool pressed, bool disabled, bool isDefault);
    virtual void DrawBackground(QPainter& p, const QRect& inner);
    virtual void DrawFrame(QPainter& p, const QRect& inner);
    void PreSubclassWindow();
    int OnMouseHover();
    int OnMouseLeave();

private:
    bool m_bHover = false;
    bool m_bFocus = false;
    bool m_bStrong = false;
};
