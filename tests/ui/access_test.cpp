// What a screen reader and a keyboard user meet in every dialog built from a template: each control that
// takes the focus has a name, fields are named by their labels, and Tab visits the controls in order.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QWidget>
#include <algorithm>

#include "res/dialog_template.h"
#include "ui/dialog.h"
#include "ui/dialog_access.h"

namespace {

// The controls Tab reaches from the first one, in order, by their IDs (-1: a control without one).
std::vector<int> TabOrder(const CDialog& d) {
    std::vector<int> ids;
    // The chain runs from the dialog through its controls back to it.
    for (QWidget* w = d.nextInFocusChain(); w != &d && ids.size() < 100; w = w->nextInFocusChain())
        if (w->parentWidget() == &d && (w->focusPolicy() & Qt::TabFocus)) ids.push_back(w->objectName().toInt());
    // The chain is a ring that Tab goes round: it starts where the focus is when the dialog opens.
    const auto start = std::find(ids.begin(), ids.end(), d.focusWidget() ? d.focusWidget()->objectName().toInt() : -2);
    if (start != ids.end()) std::rotate(ids.begin(), start, ids.end());
    return ids;
}

TEST(Access, EveryControlThatTakesTheFocusHasANameAndTabReachesEachOnce) {
    for (int id : res::DialogIds()) {
        CDialog d(id);
        const std::vector<int> order = TabOrder(d);
        int focusable = 0;
        for (QWidget* w : d.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!(w->focusPolicy() & Qt::TabFocus)) continue;
            ++focusable;
            EXPECT_FALSE(w->accessibleName().isEmpty()) << "dialog " << id << " control " << w->objectName().toStdString();
            EXPECT_FALSE(w->accessibleName().contains(QLatin1Char(' '))) << w->accessibleName().toStdString();
        }
        EXPECT_EQ(static_cast<int>(order.size()), focusable) << "dialog " << id;
    }
}

TEST(Access, FieldsAreNamedByTheirLabelsAndAmbiguousButtonsByTheirRow) {
    CDialog main(102);
    const struct {
        int id;
        const char* name;
        const char* description;
    } cases[] = {
        {1009, "标题", ""},   {1017, "关键字", ""}, {1011, "类别", ""},     {1008, "文件名", ""},
        {1000, "资料库", ""}, {1002, "路径", ""},   {1006, "保存", ""},     {1023, "查找", ""},
        {1012, "管理", "类别"}, {1014, "管理", "来源"}, {1016, "管理", "风格"}, {1001, "管理", "资料库"},
    };
    for (const auto& c : cases) {
        const QWidget* w = main.Item(c.id);
        ASSERT_NE(w, nullptr) << c.id;
        EXPECT_EQ(w->accessibleName().toStdString(), c.name) << c.id;
        EXPECT_EQ(w->accessibleDescription().toStdString(), c.description) << c.id;
    }
    // The label is the field's buddy, so that it is announced as what names the field.
    int buddies = 0;
    for (const QLabel* l : main.findChildren<QLabel*>())
        if (l->buddy() == main.Item(1009)) ++buddies;
    EXPECT_EQ(buddies, 1);
    EXPECT_EQ(ui::SpokenName(QString::fromUtf8("标   题:")), QString::fromUtf8("标题"));
    EXPECT_EQ(ui::SpokenName(QString::fromUtf8("资料库名称：")), QString::fromUtf8("资料库名称"));
}

// The focus starts on the first control and goes round in that order.
TEST(Access, TabFollowsTheTemplateWithTheDialogsOwnEndButtonsLast) {
    using V = std::vector<int>;
    CDialog main(102), form(131), classes(133), search(135);
    EXPECT_EQ(TabOrder(main), (V{1000, 1001, 1002, 1003, 1004, 1022, 1023, 1005, 1006, 1007, 1019, 1020, 1021,
                                  1009, 1017, 1011, 1012, 1013, 1014, 1015, 1016, 1008, 1010, 1018, 1}));
    EXPECT_EQ(TabOrder(form), (V{1021, 1022, 1023, 1, 2}));
    EXPECT_EQ(TabOrder(classes), (V{1021, 1020, 3, 4, 7, 8, 1, 2}));
    EXPECT_EQ(TabOrder(search), (V{1030, 1031, 1033, 1034, 2}));
}

}  // namespace
