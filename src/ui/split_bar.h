// The bar between two side-by-side panes of a dialog laid out from its template (the main window's tree and
// form): the pointer turns into a sideways arrow over it, and dragging it tells the dialog how far to move the
// boundary. It draws nothing; the gap between the panes is the bar.
#pragma once

#include <QWidget>

namespace ui {

class SplitBar : public QWidget {
    Q_OBJECT
public:
    explicit SplitBar(QWidget* parent);

signals:
    void DragStarted();
    void Dragged(int dx);  // pixels right of where the drag started (negative: left)

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    int pressX_ = 0;  // global x of the press
};

}  // namespace ui
