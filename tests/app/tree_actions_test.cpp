// The tree's actions as the user reaches them, by their keys and the context menu: a delete goes to the trash
// after one question and Ctrl+Z brings it back (never over what stands there now), a new card is written only
// by Save and never over another, a copy of a card is a new unsaved card, and the card's place is shown and
// copied.
#include <QAction>
#include <QClipboard>
#include <QMenu>

#include "app/main_fixture.h"

using plat::Gbk;
using namespace mainfx;

namespace {

class TreeActionsTest : public MainWindowTest {
protected:
    DatumCard a1{"a1", "A", "2001-1-1 1:1", "", Gbk("网络"), "k1", Gbk("第一段"), "s.xsl", "x.dtd"};
    DatumCard c1{"c1", "C", "2001-1-3 1:1", "", "", "", Gbk("正文"), "s.xsl", "x.dtd"};

    void SetUp() override {
        mainfx::WriteRegistry(dir, {{"一号", "lib1"}}, 0);
        mainfx::MakeLibrary(dir, "lib1", {"A", "C", "C\\D"}, {"网络", "书"});
        mainfx::MakeStyles(dir, {"simple.xsl", "Report.xsl"});
        dir.WriteFile("lib1/A/a1.datum.xml", CardBytes(a1));
        dir.WriteFile("lib1/A/a2.datum.xml", CardBytes(a1));
        dir.WriteFile("lib1/C/c1.datum.xml", CardBytes(c1));
        dir.WriteFile("lib1/C/D/d1.datum.xml", CardBytes(c1));
        Load();
        dlg->show();
        // Keys that act where the tree has the focus need the window active as the desktop makes it.
        QApplication::setActiveWindow(dlg.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    }
    void Press(const std::string& row, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        Tree()->setFocus();
        if (!row.empty()) Tree()->setCurrentItem(Item(row));
        QTest::keyClick(Tree(), key, mods);
    }
    void Trigger(const std::string& row, const char* action) {  // as from the context menu
        Tree()->setCurrentItem(Item(row));
        dlg->findChild<QAction*>(action)->trigger();
    }
    void AskDelete(const std::string& what, int answer = plat::IDYES) {
        svc.ExpectBox("你要把" + what + "移到回收站吗？\n需要时可以撤销删除（Ctrl+Z），或从回收站恢复。", "选择", kYesNo,
                      answer);
    }
    std::string Trashed(const std::string& rel) { return TrashedFrom(dir.Native() + "/" + rel); }
};

// Deletes by the Delete key after one question; Ctrl+Z takes them back last first, never over what stands
// in the old place now, and a step whose thing left the trash is told and dropped.
TEST_F(TreeActionsTest, DeletesGoToTheTrashAndCtrlZTakesThemBackNeverOverWhatStandsThereNow) {
    OpenCard("a1");
    QTest::keyClicks(Body(), "typed");
    AskDelete("资料卡“a1”");
    svc.ExpectBox(kUnsaved, "选择", kAsk, plat::IDNO);  // the open card: its edits are asked about, then it goes
    Press("a1", Qt::Key_Delete);
    EXPECT_EQ(U(Edit(1009)->text() + Edit(1008)->text() + Body()->toPlainText()), "");
    AskDelete("类别“C”和其中的 2 则资料卡");
    Press("C", Qt::Key_Delete);
    EXPECT_EQ(Dump(Tree()), "A{a2}");
    EXPECT_FALSE(dir.Exists("lib1/C") || dir.Exists("lib1/A/a1.datum.xml"));
    EXPECT_EQ(ReadNativeFile(Trashed("lib1/C") + "/D/d1.datum.xml"), CardBytes(c1)) << "the class with its cards";
    Press("", Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Dump(Tree()) + " " + Current(), "A{a2},C{c1,D{d1}} C");

    dir.WriteFile("lib1/A/a1.datum.xml", "written meanwhile");
    svc.ExpectBox("无法撤销删除：lib1\\A\\a1.datum.xml 处已经有一个文件或文件夹，没有覆盖它。", "ERROR", kError);
    Press("a2", Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(dir.ReadFile("lib1/A/a1.datum.xml"), "written meanwhile");
    std::filesystem::remove(dir.Native() + "/lib1/A/a1.datum.xml");
    Press("a2", Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(dir.ReadFile("lib1/A/a1.datum.xml"), CardBytes(a1));
    EXPECT_TRUE(Trashed("lib1/A/a1.datum.xml").empty() && Trashed("lib1/C").empty());
    AskDelete("资料卡“a1”");
    Press("a1", Qt::Key_Delete);
    std::filesystem::rename(Trashed("lib1/A/a1.datum.xml"), dir.Native() + "/lib1/A/a1.datum.xml");
    svc.ExpectBox("无法撤销删除：资料卡“a1”已经不在回收站里了。", "ERROR", kError);
    Press("a2", Qt::Key_Z, Qt::ControlModifier);
    Press("a2", Qt::Key_Z, Qt::ControlModifier);  // nothing left to take back: no box
}

TEST_F(TreeActionsTest, NewCardsAndCopiesAreWrittenOnlyBySaveAndNeverOverACardOfTheirName) {
    OpenCard("a1");
    Tree()->setCurrentItem(Item("c1"));
    QTest::keyClick(Body(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(U(Edit(1009)->text() + "|" + Combo(1011)->currentText() + "|" + Combo(1013)->currentText() + "|" +
                Combo(1015)->currentText() + "|" + Edit(1008)->text() + "|" + Body()->toPlainText()),
              "|C|" + U(Combo(1013)->itemText(0)) + "|" + U(Combo(1015)->itemText(0)) + "|lib1\\C\\.datum.xml|");
    EXPECT_TRUE(QApplication::focusWidget() == Edit(1009) && !dlg->Form().HasEdits());
    QTest::keyClicks(Edit(1009), "c1");
    EXPECT_EQ(U(Edit(1008)->text()), "lib1\\C\\c1.datum.xml") << "the name follows the title";
    svc.ExpectBox("文件 lib1\\C\\c1.datum.xml 已经存在，新资料卡没有保存。请换一个标题。", "ERROR", kError);
    QTest::keyClick(Edit(1009), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(dir.ReadFile("lib1/C/c1.datum.xml"), CardBytes(c1));
    EXPECT_TRUE(dlg->Form().HasEdits()) << "the form is kept";

    svc.ExpectBox(kUnsaved, "选择", kAsk, plat::IDNO);
    Trigger("a1", "duplicate");
    EXPECT_EQ(U(Edit(1009)->text() + "|" + Edit(1008)->text() + "|" + Body()->toPlainText()),
              "a1 (副本)|lib1\\A\\a1 (副本).datum.xml|第一段");
    EXPECT_TRUE(dlg->Form().HasEdits() && !dir.Exists("lib1/A/a1 (副本).datum.xml"));
    Click(1006);  // a new card: no question about an old file
    EXPECT_TRUE(OnDisk("lib1/A/a1 (副本).datum.xml", "<title>a1 (副本)</title>"));
    EXPECT_EQ(dir.ReadFile("lib1/A/a1.datum.xml") + " " + Current(), CardBytes(a1) + " A\\a1 (副本)");
}

TEST_F(TreeActionsTest, TheMenuOfARowAndTheCardsPlaceShownAndCopied) {
    Trigger("c1", "reveal");
    Trigger("D", "reveal");
    EXPECT_EQ(svc.shownInFolder, (std::vector<std::string>{"lib1\\C\\c1.datum.xml", "lib1\\C\\D"}));
    Trigger("c1", "copyPath");
    EXPECT_EQ(U(QApplication::clipboard()->text()), dir.Native() + "/lib1/C/c1.datum.xml");
    std::vector<std::string> shown;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        for (QAction* a : menu ? menu->actions() : QList<QAction*>())
            if (!a->isSeparator()) shown.push_back(U(a->text()) + (a->isEnabled() ? "" : " -"));
        if (menu) menu->close();
    });
    emit Tree()->customContextMenuRequested(Tree()->visualItemRect(Item("C")).center());
    EXPECT_EQ(shown, (std::vector<std::string>{"新建", "删除", "撤销删除 -", "重命名 -", "复制为新资料卡 -",
                                               "在文件夹中显示", "复制路径", "导入..."}));
}

TEST_F(TreeActionsTest, F2RenamesTitleAndFileTogetherNeverOverAnotherAndCtrlZTakesItBack) {
    OpenCard("a1");
    auto rename = [&](const std::string& row, const char* typed, Qt::Key end = Qt::Key_Return) {
        Press(row, Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_NE(editor, nullptr) << "an editor on the row";
        editor->setText(QString::fromUtf8(typed));
        QTest::keyClick(editor, end);
        QTest::qWait(20);
    };
    rename("a1", "新题/甲");
    EXPECT_TRUE(OnDisk("lib1/A/新题／甲.datum.xml", "<title>新题/甲</title>\r\n\t<class>A</class>"));
    EXPECT_EQ(Dump(Tree()) + " " + Current(), "A{a2,新题／甲},C{c1,D{d1}} A\\新题／甲");
    EXPECT_EQ(U(Edit(1009)->text() + "|" + Edit(1008)->text()), "新题/甲|lib1\\A\\新题／甲.datum.xml") << "the open card follows";
    svc.ExpectBox("资料卡没有改名：文件 lib1\\A\\a2.datum.xml 已经存在，没有覆盖它。", "ERROR", kError);
    rename("新题／甲", "a2");
    rename("新题／甲", "不要", Qt::Key_Escape);
    EXPECT_EQ(dir.ReadFile("lib1/A/a2.datum.xml"), CardBytes(a1));
    Press("", Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(OnDisk("lib1/A/a1.datum.xml", "<title>a1</title>") && !dir.Exists("lib1/A/新题／甲.datum.xml"));
    EXPECT_EQ(Dump(Tree()) + " " + U(Edit(1008)->text()), "A{a1,a2},C{c1,D{d1}} lib1\\A\\a1.datum.xml");
}

}  // namespace
