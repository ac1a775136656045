// The window from the keyboard and its view settings (Enter in the tree, the search field's keys, the body's
// word wrap kept between runs), and a page no browser took.
#include <QAction>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QTest>

#include "app/main_fixture.h"
#include "app/search_dlg.h"
#include "search/indexer.h"
#include "ui/window_settings.h"

namespace {

using mainfx::U;

class KeysTest : public MainWindowTest {
protected:
    void SetUp() override {
        mainfx::MakeStandardProgramDir(dir);
        dir.WriteFile("lib/历史/甲午.datum.xml", mainfx::CardText("甲午", "历史", "北洋水师"));
        dir.WriteFile("lib/历史/威海.datum.xml", mainfx::CardText("威海", "历史", "水师"));
        QFile::remove(ui::WindowSettings::File());
    }
};

TEST_F(KeysTest, EnterOpensFromTheTreeAndTheSearchFieldWhoseArrowsWalkTheResults) {
    Load();
    dlg->show();
    QTreeWidgetItem* history = Item("历史");
    Tree()->setCurrentItem(history);
    const bool unfolded = history->isExpanded();
    QTest::keyClick(Tree(), Qt::Key_Return);
    EXPECT_TRUE(history->isExpanded() != unfolded && !dlg->Ended()) << "a class folds; Enter is not the window's OK";
    Tree()->setCurrentItem(Item("甲午"));
    QTest::keyClick(Tree(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(U(Edit(1009)->text()), "甲午");

    dlg->SearchIndex().WaitIdle();
    Click(1023);
    auto* field = dlg->SearchWindow()->findChild<QLineEdit*>("1030");
    field->setFocus();
    QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString::fromUtf8("水师"), Qt::NoModifier);
    QTest::keyClick(field, Qt::Key_Return);  // before the answer: the best match opens once it is there
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg->SearchWindow()->Answering(); }, 10000));
    auto* results = dlg->SearchWindow()->findChild<QTreeWidget*>("1033");
    ASSERT_EQ(results->topLevelItemCount(), 2);
    const std::string best = U(results->topLevelItem(0)->text(0)), other = U(results->topLevelItem(1)->text(0));
    EXPECT_EQ(U(Edit(1009)->text()), best);
    for (auto key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Down, Qt::Key_Return}) QTest::keyClick(field, key);
    EXPECT_EQ(U(Edit(1009)->text()), other);
}

// A view setting only: toggled from the body's menu, the text stays as the card holds it.
TEST_F(KeysTest, WordWrapIsOnAtFirstTogglesFromTheMenuAndIsKeptAcrossRuns) {
    Load();
    EXPECT_EQ(Body()->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    OpenCard("甲午");
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5), Body()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(Body(), &menuKey);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QAction* wrap = menu->findChild<QAction*>("wrap");
    ASSERT_TRUE(wrap && wrap->isChecked() && U(wrap->text()) == "自动换行");
    wrap->trigger();
    menu->close();
    EXPECT_TRUE(!Body()->Wrap() && U(Body()->Body()) == "北洋水师" && !dlg->Form().HasEdits());
    dlg.reset();
    Load();
    EXPECT_EQ(Body()->lineWrapMode(), QPlainTextEdit::NoWrap);
}

TEST_F(KeysTest, APageNoBrowserTookIsNamedOnTheStrip) {
    Load();
    svc.shellOpenWorks = false;
    Click(1022);
    EXPECT_EQ(plat::GbkToUtf8(Strip()->Message()), "无法启动浏览器，请手动打开文件 lib/_ _VIEW_ _/ViewDatum.html");
    EXPECT_TRUE(Strip()->isVisible());
}

}  // namespace
