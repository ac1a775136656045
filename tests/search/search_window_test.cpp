// The search window of the main window: reached by its button and Ctrl+F, answers while the user types,
// stays open beside the form, opens a result the way a double-click in the tree does, and sees a card the
// form has just saved.
#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>

#include "support/cards.h"
#include "app/main_fixture.h"
#include "app/search_dlg.h"
#include "search/indexer.h"

namespace {

using mainfx::U;

class SearchWindowTest : public MainWindowTest {
protected:
    void WriteCard(const std::string& rel, const char* title, const char* body) {
        dir.WriteFile(rel, CardBytes({plat::Gbk(title), plat::Gbk("历史"), "", "", "", "", plat::Gbk(body), "", ""}));
    }
    QTreeWidget* Results() { return dlg->SearchWindow()->findChild<QTreeWidget*>("1033"); }
    void Type(const char* text, bool enter = false) {
        auto* edit = dlg->SearchWindow()->findChild<QLineEdit*>("1030");
        edit->selectAll();
        // One key press carrying the whole text, as an input method commits it.
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString::fromUtf8(text), Qt::NoModifier);
        // The answer comes after a short pause in typing, or at once on Enter.
        if (enter) QTest::keyClick(edit, Qt::Key_Return);
        else QTest::qWait(400);
    }
};

TEST_F(SearchWindowTest, FindsOpensAndFollowsSavedCards) {
    mainfx::MakeStandardProgramDir(dir);
    WriteCard("lib/历史/甲午.datum.xml", "甲午", "前文很长很长很长的一段。北洋水师在黄海。后文");
    WriteCard("lib/历史/近代/辛亥.datum.xml", "辛亥", "武昌起义");
    Load();
    dlg->SearchIndex().WaitIdle();

    qobject_cast<QAbstractButton*>(dlg->Item(1023))->click();
    CSearchDlg* s = dlg->SearchWindow();
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(dlg->screen()->availableGeometry().contains(s->geometry())) << "seen whole on the screen";

    Type("水师 黄海");
    ASSERT_EQ(Results()->topLevelItemCount(), 1);
    EXPECT_EQ(U(Results()->topLevelItem(0)->text(0)), "甲午");
    EXPECT_EQ(U(Results()->topLevelItem(0)->text(1)), "历史");
    EXPECT_FALSE(Results()->topLevelItem(0)->text(2).isEmpty()) << "the stamp";
    // Text around the first hit, cut from the body: title and class have their own columns.
    EXPECT_NE(U(Results()->topLevelItem(0)->text(3)).find("北洋水师在黄海"), std::string::npos);
    EXPECT_EQ(U(Results()->topLevelItem(0)->text(3)).find("甲午"), std::string::npos);
    EXPECT_EQ(U(s->StatusText()), "找到 1 则资料卡");

    // Enter on the result: the card in the form and its entry current, as after a double-click.
    Results()->setFocus();
    QTest::keyClick(Results(), Qt::Key_Return);
    EXPECT_EQ(U(Edit(1009)->text()), "甲午");
    EXPECT_EQ(Current(), "历史\\甲午");
    EXPECT_TRUE(s->isVisible());

    // Saved from the form: found by its new text, no longer by the old.
    Body()->setPlainText(QString::fromUtf8("定远舰"));
    qobject_cast<QAbstractButton*>(dlg->Item(1006))->click();
    dlg->SearchIndex().WaitIdle();
    Type("定远", true);
    EXPECT_EQ(s->ShownPaths(), std::vector<std::string>{plat::Gbk("lib\\历史\\甲午.datum.xml")});
    Type("水师");
    EXPECT_TRUE(s->ShownPaths().empty());
    EXPECT_EQ(U(s->StatusText()), "找到 0 则资料卡");

    // Ctrl+F brings the same window back after it was closed.
    s->hide();
    dlg->show();
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    QTest::keyClick(dlg->windowHandle(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(dlg->SearchWindow(), s);
    EXPECT_TRUE(s->isVisible());
}

}  // namespace
