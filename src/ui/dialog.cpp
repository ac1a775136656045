#include "ui/dialog.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextBrowser>
#include <QTreeWidget>
#include <algorithm>

#include "ui/body_edit.h"
#include "ui/dialog_access.h"
#include "ui/palette.h"
#include "ui/shaded_button.h"

namespace {

using res::Kind;

// The templates name Windows faces. "MS Shell Dlg" 8 is what a Chinese Windows draws as a 12-pixel CJK
// face, so that is the size the layouts were drawn for; other faces scale from there by their point size.
QFont DialogFont(const res::DialogTemplate& t) {
    QFont f;
    f.setFamilies({"Noto Sans CJK SC", "Noto Sans CJK", "Source Han Sans SC", "WenQuanYi Micro Hei",
                   "Droid Sans Fallback", "Sans Serif"});
    const bool shellDlg = QString::fromUtf8(t.font).compare("MS Shell Dlg", Qt::CaseInsensitive) == 0;
    const int px = shellDlg ? (t.pointSize * 12 + 4) / 8 : (t.pointSize * 4 + 1) / 3;
    f.setPixelSize(std::max(px, 6));
    return f;
}

bool IsStatic(Kind k) { return k == Kind::Static || k == Kind::StaticCentred; }

// Smallest base unit b (pixels per 4 or 8 dialog units) with `du * b / per >= needed`.
int UnitFor(int needed, int du, int per) {
    if (du <= 0) return 0;
    return (needed * per + du - 1) / du;
}

}  // namespace

// The dialog's base units from its font, as the original platform derives them, then widened so that no
// label of the template is clipped: a fallback face's CJK glyphs are often wider than the Latin average the
// formula looks at, and a clipped "资料库:" is worse than a slightly wider dialog.
void CDialog::ComputeBaseUnits(const res::DialogTemplate& t, const QFont& f, int& bx, int& by) {
    const QFontMetrics fm(f);
    const int avg = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    bx = std::max((avg / 26 + 1) / 2, 1);
    by = std::max(fm.height(), 1);
    for (const res::ControlTemplate& c : t.controls) {
        if (!c.label || !*c.label) continue;
        const int textW = fm.horizontalAdvance(QString::fromUtf8(c.label));
        if (IsStatic(c.kind)) {
            bx = std::max(bx, UnitFor(textW, c.w, 4));
            by = std::max(by, UnitFor(fm.height(), c.h, 8));
        } else if (c.kind == Kind::Button) {
            // The face inside the 2-pixel edge on both sides, plus a pixel for the pressed shift.
            bx = std::max(bx, UnitFor(textW + 5, c.w, 4));
            by = std::max(by, UnitFor(fm.height() + 5, c.h, 8));
        }
    }
}

namespace {

void ListColours(QAbstractItemView* v) {
    QPalette pal = v->palette();
    pal.setColor(QPalette::Base, ui::kListBackground);
    pal.setColor(QPalette::Text, Qt::black);
    // "Selection always shown": keep the selection as visible when the list loses focus.
    for (QPalette::ColorRole r : {QPalette::Highlight, QPalette::HighlightedText})
        pal.setColor(QPalette::Inactive, r, pal.color(QPalette::Active, r));
    v->setPalette(pal);
}

}  // namespace

CDialog::CDialog(int templateId, QWidget* parent) : QDialog(parent) {
    const res::DialogTemplate& t = res::Dialog(templateId);
    const QFont font = DialogFont(t);
    setFont(font);
    ComputeBaseUnits(t, font, baseX_, baseY_);
    setWindowTitle(QString::fromUtf8(t.caption));
    if (t.sizable) setWindowFlag(Qt::WindowMinimizeButtonHint);
    if (!t.systemMenu) {
        setWindowFlags((windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint) &
                       ~(Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint));
    }

    std::vector<QWidget*> built;
    for (const res::ControlTemplate& c : t.controls) {
        const QString label = QString::fromUtf8(c.label ? c.label : "");
        QWidget* w = nullptr;
        switch (c.kind) {
        case Kind::Button: {
            auto* b = new CShadedButton(label, this);
            if (c.flags & res::kDefault) {
                b->setDefault(true);
                hasDefault_ = true;
            }
            if (c.id == 1) connect(b, &QPushButton::clicked, this, [this] { OnOK(); });
            if (c.id == 2) connect(b, &QPushButton::clicked, this, [this] { OnCancel(); });
            w = b;
            break;
        }
        case Kind::Static:
        case Kind::StaticCentred: {
            auto* l = new QLabel(label, this);
            l->setTextFormat(Qt::PlainText);
            // Windows statics draw their text from the top; the layouts rely on it.
            l->setAlignment((c.kind == Kind::StaticCentred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
            w = l;
            break;
        }
        case Kind::Edit:
        case Kind::EditReadOnly: {
            auto* e = new QLineEdit(label, this);
            e->setReadOnly(c.kind == Kind::EditReadOnly);
            w = e;
            break;
        }
        case Kind::EditMultiline: {
            auto* e = new CBodyEdit(this);  // the one multi-line field: the card body
            e->setPlainText(label);
            // Both scroll bars, as the template has them, so lines are not wrapped.
            e->setLineWrapMode(QPlainTextEdit::NoWrap);
            e->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
            e->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
            e->setTabChangesFocus(true);
            w = e;
            break;
        }
        case Kind::Combo:
        case Kind::ComboSorted: {
            auto* cb = new QComboBox(this);
            cb->setEditable(true);
            // Typed text stays in the edit field and never becomes an entry; every entry is bound to a table
            // slot. No inline completion either: it would change what the user typed.
            cb->setInsertPolicy(QComboBox::NoInsert);
            cb->setCompleter(nullptr);
            cb->setMaxVisibleItems(std::max(5, c.h / 8));
            w = cb;
            break;
        }
        case Kind::ListReport:
        case Kind::ListReportNoHeader:
        case Kind::Tree: {
            auto* tv = new QTreeWidget(this);
            tv->setColumnCount(1);
            tv->setSelectionMode(QAbstractItemView::SingleSelection);
            tv->setEditTriggers(QAbstractItemView::NoEditTriggers);
            tv->setUniformRowHeights(true);
            if (c.kind == Kind::Tree) {
                tv->setHeaderHidden(true);
                tv->setRootIsDecorated(true);
            } else {
                tv->setRootIsDecorated(false);
                tv->setAllColumnsShowFocus(true);
                tv->setHeaderHidden(c.kind == Kind::ListReportNoHeader);
                // A list that grows with its dialog gives the room to its last column.
                tv->header()->setStretchLastSection(c.flags & res::kGrowX);
            }
            ListColours(tv);
            w = tv;
            break;
        }
        case Kind::TextView: {
            auto* v = new QTextBrowser(this);
            v->setOpenLinks(false);  // what a card holds is shown, never followed
            w = v;
            break;
        }
        case Kind::HLine: {
            auto* f = new QFrame(this);
            f->setFrameShape(QFrame::HLine);
            f->setFrameShadow(QFrame::Sunken);
            w = f;
            break;
        }
        }

        QRect r = MapDialogRect(c.x, c.y, c.w, c.h);
        // A combo's template height is the height of its open list; the closed box is one line high.
        if (auto* cb = qobject_cast<QComboBox*>(w)) r.setHeight(std::min(r.height(), cb->sizeHint().height()));
        w->setGeometry(r);
        placed_.push_back({w, r, c.flags});
        if (c.flags & res::kDisabled) w->setEnabled(false);
        built.push_back(w);
        if (c.id >= 0) {
            w->setObjectName(QString::number(c.id));
            items_.insert(c.id, w);
        }
    }

    ui::MakeAccessible(t, built);

    if (!hasDefault_) {
        // Qt makes the first button that takes the focus the dialog's lasting default button; without a
        // default of its own the dialog must not get one that way (Enter in a field would press it).
        for (auto* b : findChildren<CShadedButton*>(Qt::FindDirectChildrenOnly)) b->setAutoDefault(false);
    }

    templateSize_ = MapDialogRect(0, 0, t.w, t.h).size();
    const unsigned follow = res::kGrowX | res::kGrowY | res::kMoveX | res::kMoveY;
    resizable_ = t.sizable || std::any_of(placed_.begin(), placed_.end(),
                                          [&](const Placed& p) { return p.flags & follow; });
    if (resizable_) {
        resize(templateSize_);
        const QRect least = MapDialogRect(0, 0, t.minW ? t.minW : t.w, t.minH ? t.minH : t.h);
        setMinimumSize(least.size().boundedTo(templateSize_));
    } else {
        setFixedSize(templateSize_);
    }
    SetBackground(ui::kDialogBackground);
}

QWidget* CDialog::Item(int id) const { return items_.value(id, nullptr); }

void CDialog::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    LayOut();
}

void CDialog::LayOut() {
    // A dialog of fixed size is the template's, or its own code placed the controls (a strip made wider).
    if (!resizable_) return;
    const QSize grown = size() - templateSize_;
    for (const Placed& p : placed_) {
        const QRect r = PlaceControl(p.base, p.flags, grown);
        if (p.widget->geometry() != r) p.widget->setGeometry(r);
    }
}

QRect CDialog::PlaceControl(const QRect& base, unsigned flags, QSize grown) const {
    QRect r = base;
    if (flags & res::kMoveX) r.translate(grown.width(), 0);
    if (flags & res::kMoveY) r.translate(0, grown.height());
    if (flags & res::kGrowX) r.setWidth(base.width() + grown.width());
    if (flags & res::kGrowY) r.setHeight(base.height() + grown.height());
    return r;
}

QRect CDialog::MapDialogRect(int x, int y, int w, int h) const {
    return QRect(x * baseX_ / 4, y * baseY_ / 8, w * baseX_ / 4, h * baseY_ / 8);
}

void CDialog::SetBackground(const QColor& c) {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, c);
    setPalette(pal);
    setAutoFillBackground(true);
    // Labels and buttons draw over the window role, so they sit on the same colour; fields and lists keep
    // their own base colours.
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (qobject_cast<QLabel*>(w) || qobject_cast<CShadedButton*>(w)) w->setBackgroundRole(QPalette::Window);
    }
}

void CDialog::keyPressEvent(QKeyEvent* e) {
    const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    if (enter && !hasDefault_) {
        auto* b = qobject_cast<QPushButton*>(focusWidget());
        if (b && b->isEnabled() && b->window() == this) b->click();
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

int CDialog::DoModal() {
    ended_ = false;
    result_ = plat::IDCANCEL;
    OnInitDialog();
    if (ended_) return result_;

    QPointer<CDialog> self(this);
    inModal_ = true;
    exec();
    if (!self) return plat::IDCANCEL;
    inModal_ = false;
    // Hidden by something other than EndDialog (the owner going away): that is no confirmation.
    if (!ended_) {
        ended_ = true;
        result_ = plat::IDCANCEL;
    }
    return result_;
}

void CDialog::EndDialog(int result) {
    ended_ = true;
    result_ = result;
    if (inModal_ || isVisible()) done(result);  // through an override: a dialog may keep something as it ends
}

void CDialog::OnClicked(int id, std::function<void()> handler) {
    auto* b = qobject_cast<QAbstractButton*>(Item(id));
    if (!b) return;
    connect(b, &QAbstractButton::clicked, this, [h = std::move(handler)] { h(); });
}
