// Word wrap of the card body: a view setting, kept by the window between runs.
#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>

#include "ui/body_edit.h"

void CBodyEdit::SetWrap(bool on) {
    setLineWrapMode(on ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    setWordWrapMode(on ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
}

bool CBodyEdit::Wrap() const { return lineWrapMode() != QPlainTextEdit::NoWrap; }

void CBodyEdit::contextMenuEvent(QContextMenuEvent* e) {
    QMenu* menu = createStandardContextMenu(e->pos());
    menu->addSeparator();
    QAction* wrap = menu->addAction(QString::fromUtf8("自动换行"));
    wrap->setObjectName(QStringLiteral("wrap"));
    wrap->setCheckable(true);
    wrap->setChecked(Wrap());
    connect(wrap, &QAction::toggled, this, [this](bool on) {
        SetWrap(on);
        emit WrapToggled(on);
    });
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(e->globalPos());
}
