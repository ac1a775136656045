// What a screen reader and a keyboard user meet in the dialogs built from templates: each control that takes
// the focus has a name (fields their labels', buttons their texts), and Tab goes round them in order.
#include <gtest/gtest.h>

#include "ui/dialog.h"

namespace {

// The IDs of the controls Tab visits, from the one that has the focus when the dialog opens.
std::vector<int> TabOrder(const CDialog& d) {
    std::vector<int> ids;
    for (QWidget* w = d.nextInFocusChain(); w != &d && ids.size() < 100; w = w->nextInFocusChain())
        if (w->parentWidget() == &d && (w->focusPolicy() & Qt::TabFocus)) ids.push_back(w->objectName().toInt());
    const auto start = std::find(ids.begin(), ids.end(), d.focusWidget() ? d.focusWidget()->objectName().toInt() : -2);
    std::rotate(ids.begin(), start, ids.end());
    return ids;
}

TEST(Access, EveryControlIsNamedAsItReadsAndTabGoesRoundInOrderWithTheEndButtonsLast) {
    for (int id : res::DialogIds()) {
        CDialog d(id);
        for (QWidget* w : d.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            EXPECT_TRUE(!(w->focusPolicy() & Qt::TabFocus) ||
                        (!w->accessibleName().isEmpty() && !w->accessibleName().contains(' '))) << id << " " << w->objectName().toStdString();
    }
    CDialog main(102);
    const struct { int id; const char* name; const char* description; } cases[] = {
        {1009, "标题", ""}, {1011, "类别", ""}, {1000, "资料库", ""}, {1006, "保存", ""},
        {1012, "管理", "类别"}, {1016, "管理", "风格"}, {1001, "管理", "资料库"},
    };
    for (const auto& c : cases)
        EXPECT_EQ((main.Item(c.id)->accessibleName() + '|' + main.Item(c.id)->accessibleDescription()).toStdString(),
                  std::string(c.name) + "|" + c.description) << c.id;
    using V = std::vector<int>;
    EXPECT_EQ(TabOrder(main), (V{1000, 1001, 1002, 1003, 1004, 1022, 1023, 1005, 1006, 1007, 1019, 1020, 1021,
                                  1009, 1017, 1011, 1012, 1013, 1014, 1015, 1016, 1008, 1010, 1018, 1}));
    EXPECT_EQ(TabOrder(CDialog(133)), (V{1021, 1020, 3, 4, 7, 8, 1, 2}));
}

}  // namespace
