// The main window as a screen reader names it: the controls without a label of their own are named by what
// they hold, and the focus starts in the library box, from where Tab reaches its 管理 button.
#include <QApplication>
#include <QTest>

#include "app/main_fixture.h"

namespace {

using namespace mainfx;

class MainAccessTest : public MainWindowTest {};

TEST_F(MainAccessTest, TheTreeAndTheBodyAreNamedAndTheFocusStartsInTheLibraryBox) {
    WriteRegistry(dir, {{"一号", "lib"}}, 0);
    MakeLibrary(dir, "lib", {"A"}, {});
    MakeStyles(dir, {"s.xsl"});
    Load();
    EXPECT_EQ(Tree()->accessibleName().toStdString(), "资料树");
    EXPECT_EQ(Body()->accessibleName().toStdString(), "正文");
    EXPECT_EQ(Combo(1011)->accessibleName().toStdString(), "类别");
    EXPECT_EQ(dlg->focusWidget(), Combo(1000));
    EXPECT_EQ(Combo(1000)->nextInFocusChain()->nextInFocusChain(), dlg->Item(1001)) << "past the box's own field";
}

}  // namespace
