#include "ui/split_bar.h"

#include <QMouseEvent>

namespace ui {

SplitBar::SplitBar(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::SplitHCursor);
    setAttribute(Qt::WA_NoSystemBackground);
}

void SplitBar::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
    pressX_ = qRound(e->globalPosition().x());
    emit DragStarted();
}

void SplitBar::mouseMoveEvent(QMouseEvent* e) {
    if (e->buttons() & Qt::LeftButton) emit Dragged(qRound(e->globalPosition().x()) - pressX_);
}

}  // namespace ui
