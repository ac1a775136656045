// The window from the keyboard and its view settings: Enter in the tree, the search field's keys, and the
// body's word wrap kept between runs.
#include <QAction>
#include <QContextMenuEvent>
#include <QFile>
#include <QLineEdit>
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
        dir.WriteFile("lib/art/Monet.datum.xml", mainfx::CardText("Monet", "art", "睡莲"));
        QFile::remove(ui::WindowSettings::File());
    }
    QLineEdit* Field() { return dlg->SearchWindow()->findChild<QLineEdit*>("1030"); }
};

TEST_F(KeysTest, EnterInTheTreeOpensACardAndFoldsAClassWithoutEndingTheWindow) {
    Load();
    dlg->show();
    QTreeWidgetItem* history = Item("历史");
    Tree()->setCurrentItem(history);
    const bool unfolded = history->isExpanded();
    QTest::keyClick(Tree(), Qt::Key_Return);
    EXPECT_EQ(history->isExpanded(), !unfolded);
    EXPECT_FALSE(dlg->Ended()) << "Enter in the tree is not the window's OK";
    EXPECT_EQ(Current(), "历史");
    for (const char* card : {"甲午", "Monet"}) {
        Tree()->setCurrentItem(Item(card));
        QTest::keyClick(Tree(), Qt::Key_Enter, Qt::KeypadModifier);
        EXPECT_EQ(U(Edit(1009)->text()), card);
    }
    EXPECT_FALSE(dlg->Ended());
    EXPECT_TRUE(svc.boxes.empty());
}

// From the field alone: Down and Up walk the results, Enter opens the one marked; an Enter typed before the
// answer came opens the best match once it is there.
TEST_F(KeysTest, TheSearchFieldWalksTheResultsAndEnterOpensTheBestMatch) {
    dir.WriteFile("lib/历史/威海.datum.xml", mainfx::CardText("威海", "历史", "水师"));
    Load();
    dlg->show();
    dlg->SearchIndex().WaitIdle();
    Click(1023);
    QLineEdit* field = Field();
    field->setFocus();
    QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString::fromUtf8("水师"), Qt::NoModifier);
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg->SearchWindow()->Answering(); }, 10000));
    ASSERT_EQ(dlg->SearchWindow()->ShownPaths().size(), 2u);
    const std::string best = U(dlg->SearchWindow()->findChild<QTreeWidget*>("1033")->topLevelItem(0)->text(0));
    EXPECT_EQ(U(Edit(1009)->text()), best);
    const std::string other = best == "甲午" ? "威海" : "甲午";
    for (auto key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Down}) QTest::keyClick(field, key);
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(U(Edit(1009)->text()), other);
    QTest::keyClick(field, Qt::Key_Up);
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(U(Edit(1009)->text()), best);
    EXPECT_EQ(U(field->text()), "水师") << "the keys never reach the field's text";
}

// A view setting only: wrapped or not, the field holds and saves the same text.
TEST_F(KeysTest, WordWrapIsOnAtFirstTogglesFromTheMenuAndIsKeptAcrossRuns) {
    for (bool wrapAtStart : {true, false}) {
        Load();
        EXPECT_EQ(Body()->Wrap(), wrapAtStart);
        EXPECT_EQ(Body()->lineWrapMode(), wrapAtStart ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
        OpenCard("甲午");
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5), Body()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(Body(), &menuKey);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        QAction* wrap = menu->findChild<QAction*>("wrap");
        ASSERT_NE(wrap, nullptr);
        EXPECT_EQ(U(wrap->text()), "自动换行");
        EXPECT_EQ(wrap->isChecked(), wrapAtStart);
        wrap->trigger();
        menu->close();
        EXPECT_EQ(Body()->Wrap(), !wrapAtStart);
        EXPECT_EQ(U(Body()->Body()), "北洋水师");
        EXPECT_FALSE(dlg->Form().HasEdits());
        dlg.reset();
    }
    Load();
    EXPECT_TRUE(Body()->Wrap()) << "off, then on again";
}

// A page the desktop could not open is named on the strip, for the user to open by hand.
TEST_F(KeysTest, APageNoBrowserTookIsNamedOnTheStrip) {
    Load();
    svc.shellOpenWorks = false;
    Click(1022);
    ASSERT_EQ(svc.shellOpens.size(), 1u);
    EXPECT_EQ(plat::GbkToUtf8(Strip()->Message()), "无法启动浏览器，请手动打开文件 lib/_ _VIEW_ _/ViewDatum.html");
    EXPECT_TRUE(Strip()->isVisible());
    svc.shellOpenWorks = true;
    Strip()->hide();
    Click(1022);
    EXPECT_FALSE(Strip()->isVisible()) << "nothing to say when the browser took it";
}

}  // namespace
