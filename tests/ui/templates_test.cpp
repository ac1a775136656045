// Every dialog template built into a real dialog: controls at their converted places, labels, IDs, and the
// look checks of a dialog at the default font (nothing clipped, nothing overlapping).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <map>
#include <set>

#include "res/dialog_template.h"
#include "ui/dialog.h"
#include "ui/shaded_button.h"

namespace {

using res::Kind;

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

// The visible part of a control: a static's text, a combo's closed box, everything else its whole rect.
QRect VisibleRect(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w)) {
        const QFontMetrics fm(l->font());
        QRect r = l->geometry();
        r.setWidth(std::min(r.width(), fm.horizontalAdvance(l->text())));
        r.setHeight(std::min(r.height(), fm.height()));
        return r;
    }
    return w->geometry();
}

TEST(Templates, EveryControlIsBuiltAtItsPlaceWithItsLabelAndId) {
    for (int id : res::DialogIds()) {
        SCOPED_TRACE(id);
        const res::DialogTemplate& t = res::Dialog(id);
        CDialog dlg(id);
        EXPECT_EQ(dlg.windowTitle(), Q(t.caption));
        const QRect client = dlg.MapDialogRect(0, 0, t.w, t.h);
        EXPECT_EQ(dlg.size(), client.size());

        int statics = 0;
        for (const res::ControlTemplate& c : t.controls) {
            SCOPED_TRACE(c.id);
            QWidget* w = nullptr;
            if (c.id >= 0) {
                w = dlg.Item(c.id);
                ASSERT_NE(w, nullptr);
                EXPECT_EQ(w->objectName(), QString::number(c.id));
                EXPECT_EQ(w, dlg.findChild<QWidget*>(QString::number(c.id)));
            } else {
                // Statics without an ID: the n-th label of the dialog.
                const auto labels = dlg.findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
                if (c.kind == Kind::HLine) {
                    for (QFrame* f : dlg.findChildren<QFrame*>(Qt::FindDirectChildrenOnly))
                        if (f->frameShape() == QFrame::HLine) w = f;
                } else {
                    ASSERT_LT(statics, labels.size());
                    w = labels[statics++];
                }
            }
            ASSERT_NE(w, nullptr);
            const QRect place = dlg.MapDialogRect(c.x, c.y, c.w, c.h);
            EXPECT_EQ(w->pos(), place.topLeft());
            EXPECT_EQ(w->width(), place.width());
            EXPECT_EQ(w->isEnabled(), !(c.flags & res::kDisabled));

            const bool combo = c.kind == Kind::Combo || c.kind == Kind::ComboSorted;
            // A combo's closed box; its template height is the open list.
            EXPECT_TRUE(combo ? w->height() <= place.height() : w->height() == place.height());
            const bool list = c.kind == Kind::ListReport || c.kind == Kind::ListReportNoHeader || c.kind == Kind::Tree;
            if (c.kind == Kind::Button) {
                auto* b = qobject_cast<CShadedButton*>(w);
                ASSERT_NE(b, nullptr);
                EXPECT_EQ(b->text(), Q(c.label));
                EXPECT_EQ(b->isDefault(), bool(c.flags & res::kDefault));
            } else if (c.kind == Kind::Static || c.kind == Kind::StaticCentred) {
                auto* l = qobject_cast<QLabel*>(w);
                ASSERT_NE(l, nullptr);
                EXPECT_EQ(l->text(), Q(c.label));
                EXPECT_EQ(bool(l->alignment() & Qt::AlignHCenter), c.kind == Kind::StaticCentred);
            } else if (c.kind == Kind::Edit || c.kind == Kind::EditReadOnly) {
                auto* e = qobject_cast<QLineEdit*>(w);
                ASSERT_NE(e, nullptr);
                EXPECT_EQ(e->isReadOnly(), c.kind == Kind::EditReadOnly);
            } else if (c.kind == Kind::EditMultiline) {
                EXPECT_NE(qobject_cast<QPlainTextEdit*>(w), nullptr);
            } else if (combo) {
                auto* cb = qobject_cast<QComboBox*>(w);
                ASSERT_NE(cb, nullptr);
                EXPECT_TRUE(cb->isEditable());
                EXPECT_EQ(cb->insertPolicy(), QComboBox::NoInsert);
            } else if (list) {
                auto* tv = qobject_cast<QTreeWidget*>(w);
                ASSERT_NE(tv, nullptr);
                EXPECT_EQ(tv->isHeaderHidden(), c.kind != Kind::ListReport);
                EXPECT_EQ(tv->rootIsDecorated(), c.kind == Kind::Tree);
                EXPECT_EQ(tv->selectionMode(), QAbstractItemView::SingleSelection);
                EXPECT_EQ(tv->editTriggers(), QAbstractItemView::NoEditTriggers);
            }
        }
    }
}

TEST(Templates, OnlyTheMainWindowResizes) {
    // Only the main window can be resized; its controls stay where they are.
    CDialog main(102);
    EXPECT_NE(main.minimumSize(), main.maximumSize());
    const QPoint before = main.Item(1018)->pos();
    main.resize(main.width() + 200, main.height() + 100);
    EXPECT_EQ(main.Item(1018)->pos(), before);
    CDialog form(131);
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
}

// A face whose Chinese glyphs are wide for its Latin average widens the units instead of clipping.
TEST(Templates, BaseUnitsWidenForLabelsThatWouldNotFit) {
    CDialog main(102);
    int bx0 = 0, by0 = 0;
    res::DialogTemplate t{1, "", 100, 40, "MS Shell Dlg", 8, false, {}};
    CDialog::ComputeBaseUnits(t, main.font(), bx0, by0);
    EXPECT_EQ(bx0, main.BaseUnitX());
    EXPECT_EQ(by0, main.BaseUnitY());
    EXPECT_TRUE(QFontMetrics(main.font()).inFont(QChar(0x8D44)));  // a face that has Chinese: 资
    EXPECT_EQ(main.MapDialogRect(4, 8, 4, 8), QRect(bx0, by0, bx0, by0));

    const QString label = QString::fromUtf8("资料库名称资料库名称:");
    const QFontMetrics fm(main.font());
    int bx = 0, by = 0;
    t.controls = {{-1, Kind::Static, "资料库名称资料库名称:", 2, 2, 20, 4, 0}};
    CDialog::ComputeBaseUnits(t, main.font(), bx, by);
    EXPECT_GE(20 * bx / 4, fm.horizontalAdvance(label));
    EXPECT_GE(4 * by / 8, fm.height());
    EXPECT_GT(bx, bx0);
    EXPECT_GT(by, by0);

    // A button label must fit inside the 2-pixel edges with room for the pressed shift.
    t.controls = {{7, Kind::Button, "资料库名称", 2, 10, 12, 4, 0}};
    CDialog::ComputeBaseUnits(t, main.font(), bx, by);
    EXPECT_GE(12 * bx / 4 - 4, fm.horizontalAdvance(label.left(5)) + 1);
    EXPECT_GE(4 * by / 8 - 4, fm.height() + 1);
}

// At the default font every label shows whole (clipped Chinese text is the first thing a user sees) and
// no two controls overlap.
TEST(Templates, NothingIsClippedOrOverlaps) {
    for (int id : res::DialogIds()) {
        SCOPED_TRACE(id);
        CDialog dlg(id);
        for (auto* l : dlg.findChildren<QLabel*>()) {
            const QFontMetrics fm(l->font());
            EXPECT_LE(fm.horizontalAdvance(l->text()), l->width()) << l->text().toStdString();
            EXPECT_LE(fm.height(), l->height()) << l->text().toStdString();
        }
        for (auto* b : dlg.findChildren<CShadedButton*>()) {  // inside the 2-pixel edges, room for the pressed shift
            const QFontMetrics fm(b->font());
            EXPECT_LE(fm.horizontalAdvance(b->text()) + 1, b->width() - 4) << b->text().toStdString();
            EXPECT_LE(fm.height() + 1, b->height() - 4) << b->text().toStdString();
        }
        const auto children = dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (int i = 0; i < children.size(); ++i) {
            for (int j = i + 1; j < children.size(); ++j)
                EXPECT_FALSE(VisibleRect(children[i]).intersects(VisibleRect(children[j])))
                    << children[i]->objectName().toStdString() << " " << children[j]->objectName().toStdString();
            EXPECT_TRUE(dlg.rect().contains(children[i]->geometry()));
        }
    }
}

TEST(Templates, FieldsAreNamedByTheirLabels) {
    CDialog main(102);
    const std::map<int, const char*> names = {{1000, "资料库:"}, {1011, "类   别:"}, {1005, "Korvane 资料管理器"}};
    for (const auto& [id, name] : names) EXPECT_EQ(main.Item(id)->accessibleName(), Q(name)) << id;
    CDialog form(131);
    EXPECT_EQ(form.Item(1021)->accessibleName(), Q("资料库名称:"));
    EXPECT_EQ(form.Item(1022)->accessibleName(), Q("资料库路径:"));
    CDialog marks(132);
    EXPECT_EQ(marks.Item(1020)->accessibleName(), Q("INDEX/BOOKMARK MANG"));
}

}  // namespace
