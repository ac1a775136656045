#include "ui/show_msg_dlg.h"

#include <QLabel>
#include <QPainter>
#include <algorithm>

#include "platform/codec.h"
#include "ui/palette.h"

CShowMsgDlg::CShowMsgDlg(const std::string& text, QWidget* parent) : CDialog(129, parent), m_strMsg(text) {
    // A strip without title bar that floats over its owner and never takes the focus from it: the user keeps
    // working in the main window while it shows.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    SetBackground(ui::kStripBackground);
    if (auto* label = ItemAs<QLabel>(1019)) label->setText(plat::ToQ(m_strMsg));
}

void CShowMsgDlg::SetMessage(const std::string& text) {
    m_strMsg = text;
    emit MessageSet(m_strMsg);
    auto* label = ItemAs<QLabel>(1019);
    if (!label) return;
    label->setText(plat::ToQ(m_strMsg));
    // A text longer than the strip widens it, up to its owner's width, rather than being cut at both ends;
    // what is longer still wraps onto more lines, the strip growing in height.
    if (m_baseWidth == 0) {
        m_baseWidth = width();
        m_baseHeight = height();
        m_labelHeight = label->height();
    }
    const int advance = label->fontMetrics().horizontalAdvance(label->text());
    int wide = std::max(m_baseWidth, advance + 2 * label->x() + 8);
    if (parentWidget()) wide = std::min(wide, std::max(m_baseWidth, parentWidget()->width() - 60));
    const int labelWidth = wide - 2 * label->x();
    const bool wrap = advance > labelWidth;
    label->setWordWrap(wrap);
    const int labelHeight = wrap ? std::max(m_labelHeight, label->heightForWidth(labelWidth)) : m_labelHeight;
    const int high = m_baseHeight + labelHeight - m_labelHeight;
    if (wide != width() || high != height()) {
        setFixedSize(wide, high);  // the template fixed the size
        label->resize(labelWidth, labelHeight);
    }
    // The caller goes on blocking the thread, so a queued update would only appear after the work is done.
    if (isVisible()) repaint();
}

void CShowMsgDlg::ShowAt() {
    QWidget* owner = parentWidget();
    const QPoint corner = owner ? owner->mapToGlobal(QPoint(50, 160)) : QPoint(50, 160);
    move(corner);
    raise();
    show();
}

void CShowMsgDlg::paintEvent(QPaintEvent* e) {
    CDialog::paintEvent(e);
    QPainter p(this);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}
