#include "ui/dialog_access.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMap>
#include <QWidget>

namespace ui {
namespace {

using res::Kind;

bool IsStatic(Kind k) { return k == Kind::Static || k == Kind::StaticCentred; }

// The static label nearest to the left of `c` on its row, or -1 (lists are named by their dialog).
int RowLabel(const res::DialogTemplate& t, size_t at) {
    const res::ControlTemplate& c = t.controls[at];
    if (c.kind == Kind::ListReport || c.kind == Kind::ListReportNoHeader || c.kind == Kind::Tree) return -1;
    const int rowTop = c.y, rowBottom = c.y + std::min(c.h, 14);
    int best = -1;
    for (size_t i = 0; i < t.controls.size(); ++i) {
        const res::ControlTemplate& s = t.controls[i];
        if (!IsStatic(s.kind) || !s.label || !*s.label) continue;
        if (s.x >= c.x || s.y >= rowBottom || s.y + s.h <= rowTop) continue;
        if (best < 0 || s.x > t.controls[best].x) best = static_cast<int>(i);
    }
    return best;
}

}  // namespace

QString SpokenName(const QString& label) {
    QString out;
    for (const QChar ch : label)
        if (!ch.isSpace() && ch != QLatin1Char('&')) out += ch;
    while (out.endsWith(QLatin1Char(':')) || out.endsWith(QChar(0xFF1A))) out.chop(1);
    return out;
}

void MakeAccessible(const res::DialogTemplate& t, const std::vector<QWidget*>& widgets) {
    QMap<QString, int> buttonTexts;
    for (size_t i = 0; i < t.controls.size(); ++i)
        if (t.controls[i].kind == Kind::Button) ++buttonTexts[SpokenName(QString::fromUtf8(t.controls[i].label))];

    std::vector<QWidget*> order, last;
    for (size_t i = 0; i < t.controls.size() && i < widgets.size(); ++i) {
        const res::ControlTemplate& c = t.controls[i];
        QWidget* w = widgets[i];
        if (!w || c.kind == Kind::HLine || IsStatic(c.kind)) continue;
        const int label = RowLabel(t, i);
        const QString labelText = label >= 0 ? SpokenName(QString::fromUtf8(t.controls[label].label)) : QString();
        if (c.kind == Kind::Button) {
            const QString name = SpokenName(QString::fromUtf8(c.label));
            w->setAccessibleName(name);
            // Four buttons read "管理": each says what it manages.
            if (buttonTexts.value(name) > 1 && !labelText.isEmpty()) w->setAccessibleDescription(labelText);
        } else {
            w->setAccessibleName(label >= 0 ? labelText : SpokenName(QString::fromUtf8(t.caption)));
            if (label >= 0)
                if (auto* l = qobject_cast<QLabel*>(widgets[label])) l->setBuddy(w);
        }
        // The dialog's own end buttons come after everything they end, wherever the template put them.
        (c.kind == Kind::Button && (c.id == 1 || c.id == 2) ? last : order).push_back(w);
    }
    order.insert(order.end(), last.begin(), last.end());
    for (size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
    // The chain is a ring through the dialog; where it starts is where the focus is when the dialog opens.
    if (!order.empty()) order.front()->setFocus();
}

}  // namespace ui
