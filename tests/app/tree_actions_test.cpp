// The tree's actions as the user reaches them, by their keys and the context menu: a delete goes to the trash
// after one question and Ctrl+Z brings it back (never over what stands there now), a new card is written only
// by Save and never over another, a copy of a card is a new unsaved card, and the card's place is shown and
// copied.
#include <QAction>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMenu>

#include "app/main_fixture.h"
#include "support/trash_look.h"

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
    void TearDown() override { dlg.reset(); }
    void Press(const std::string& row, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        Tree()->setFocus();
        if (!row.empty()) Tree()->setCurrentItem(Item(row));
        QTest::keyClick(Tree(), key, mods);
    }
    void Trigger(const std::string& row, const char* action) {
        Tree()->setCurrentItem(Item(row));
        dlg->findChild<QAction*>(action)->trigger();
    }
    void AskDelete(const std::string& what, int answer = plat::IDYES) {
        svc.ExpectBox("你要把" + what + "移到回收站吗？\n需要时可以撤销删除（Ctrl+Z），或从回收站恢复。", "选择", kYesNo,
                      answer);
    }
    void Type(QWidget* field, const char* utf8) {  // as an input method commits what the user typed
        QInputMethodEvent typed;
        typed.setCommitString(QString::fromUtf8(utf8));
        QApplication::sendEvent(field, &typed);
    }
    std::string Trashed(const std::string& rel) { return TrashedFrom(dir.Native() + "/" + rel); }
};

TEST_F(TreeActionsTest, DeletesGoToTheTrashAfterOneQuestionAndCtrlZTakesThemBackLastFirst) {
    const std::string a1Bytes = dir.ReadFile("lib1/A/a1.datum.xml");
    AskDelete("资料卡“a1”", plat::IDNO);
    Press("a1", Qt::Key_Delete);
    EXPECT_EQ(dir.ReadFile("lib1/A/a1.datum.xml"), a1Bytes) << "No keeps it";
    struct Case {
        std::string row, what, rel, tree;
    } const cases[] = {
        {"a1", "资料卡“a1”", "lib1/A/a1.datum.xml", "A{a2},C{c1,D{d1}}"},
        {"C", "类别“C”和其中的 2 则资料卡", "lib1/C", "A{a2}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        AskDelete(c.what);
        Press(c.row, Qt::Key_Delete);
        EXPECT_FALSE(dir.Exists(c.rel));
        EXPECT_FALSE(Trashed(c.rel).empty()) << "in the trash with its record";
        EXPECT_EQ(Dump(Tree()), c.tree);
    }
    EXPECT_EQ(ReadNativeFile(Trashed("lib1/C") + "/D/d1.datum.xml"), CardBytes(c1)) << "the class with its cards";
    Press("", Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Dump(Tree()), "A{a2},C{c1,D{d1}}");
    EXPECT_EQ(Current(), "C");
    Press("", Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Dump(Tree()), "A{a1,a2},C{c1,D{d1}}");
    EXPECT_EQ(dir.ReadFile("lib1/A/a1.datum.xml"), a1Bytes);
    EXPECT_TRUE(Trashed("lib1/A/a1.datum.xml").empty() && Trashed("lib1/C").empty());
    Press("", Qt::Key_Z, Qt::ControlModifier);  // nothing left to take back: no box
}

TEST_F(TreeActionsTest, ATakeBackNeverReplacesWhatNowStandsThereAndTheOpenCardLeavesTheFormAfterItsQuestion) {
    OpenCard("a1");
    QTest::keyClicks(Body(), "typed");
    AskDelete("资料卡“a1”");
    svc.ExpectBox(kUnsaved, "选择", kAsk, plat::IDCANCEL);  // stays: nothing goes
    Press("a1", Qt::Key_Delete);
    EXPECT_TRUE(dir.Exists("lib1/A/a1.datum.xml"));
    EXPECT_TRUE(dlg->Form().HasEdits());
    AskDelete("资料卡“a1”");
    svc.ExpectBox(kUnsaved, "选择", kAsk, plat::IDNO);
    Press("a1", Qt::Key_Delete);
    EXPECT_FALSE(dir.Exists("lib1/A/a1.datum.xml"));
    EXPECT_EQ(U(Edit(1009)->text() + Edit(1008)->text() + Body()->toPlainText()), "");
    EXPECT_FALSE(dlg->Form().HasEdits());

    dir.WriteFile("lib1/A/a1.datum.xml", "written meanwhile");
    svc.ExpectBox("无法撤销删除：lib1\\A\\a1.datum.xml 处已经有一个文件或文件夹，没有覆盖它。", "ERROR", kError);
    Press("a2", Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(dir.ReadFile("lib1/A/a1.datum.xml"), "written meanwhile");
    EXPECT_EQ(ReadNativeFile(Trashed("lib1/A/a1.datum.xml")), CardBytes(a1));
    // Restored by the file manager: nothing left to take back, and the step is told and dropped.
    dir.WriteFile("lib1/A/a1.datum.xml", "");
    std::filesystem::remove(dir.Native() + "/lib1/A/a1.datum.xml");
    std::filesystem::rename(Trashed("lib1/A/a1.datum.xml"), dir.Native() + "/lib1/A/a1.datum.xml");
    svc.ExpectBox("无法撤销删除：资料卡“a1”已经不在回收站里了。", "ERROR", kError);
    Press("a2", Qt::Key_Z, Qt::ControlModifier);
    Press("a2", Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(dir.ReadFile("lib1/A/a1.datum.xml"), CardBytes(a1));
}

TEST_F(TreeActionsTest, ANewCardIsWrittenOnlyBySaveAndNeverOverACardOfItsName) {
    OpenCard("a1");
    Tree()->setCurrentItem(Item("c1"));
    QTest::keyClick(Body(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(U(Edit(1009)->text() + "|" + Combo(1011)->currentText() + "|" + Combo(1013)->currentText() + "|" +
                Combo(1015)->currentText() + "|" + Edit(1008)->text() + "|" + Body()->toPlainText()),
              "|C|" + U(Combo(1013)->itemText(0)) + "|" + U(Combo(1015)->itemText(0)) + "|lib1\\C\\.datum.xml|");
    EXPECT_EQ(QApplication::focusWidget(), Edit(1009));
    EXPECT_FALSE(dlg->Form().HasEdits());
    EXPECT_EQ(Current(), "C");
    Type(Edit(1009), "新卡");
    EXPECT_EQ(U(Edit(1008)->text()), "lib1\\C\\新卡.datum.xml") << "the name follows the title";
    EXPECT_FALSE(dir.Exists("lib1/C/新卡.datum.xml")) << "nothing before Save";
    QTest::keyClick(Edit(1009), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(OnDisk("lib1/C/新卡.datum.xml", "<title>新卡</title>"));
    EXPECT_EQ(Current(), "C\\新卡");

    const std::string c1Bytes = dir.ReadFile("lib1/C/c1.datum.xml");
    Trigger("c1", "new");
    Type(Edit(1009), "c1");
    svc.ExpectBox("文件 lib1\\C\\c1.datum.xml 已经存在，新资料卡没有保存。请换一个标题。", "ERROR", kError);
    Click(1006);
    EXPECT_EQ(dir.ReadFile("lib1/C/c1.datum.xml"), c1Bytes);
    EXPECT_EQ(U(Edit(1009)->text()), "c1") << "the form is kept";
    EXPECT_TRUE(dlg->Form().HasEdits());
}

TEST_F(TreeActionsTest, ACopyIsANewUnsavedCardAndTheCardsPlaceIsShownAndCopied) {
    Trigger("a1", "duplicate");
    EXPECT_EQ(U(Edit(1009)->text() + "|" + Combo(1011)->currentText() + "|" + Edit(1008)->text() + "|" +
                Body()->toPlainText()),
              "a1 (副本)|A|lib1\\A\\a1 (副本).datum.xml|第一段");
    EXPECT_TRUE(dlg->Form().HasEdits());
    EXPECT_TRUE(dlg->Form().LoadedPath().empty());
    EXPECT_FALSE(dir.Exists("lib1/A/a1 (副本).datum.xml"));
    Click(1006);  // a new card: no question about an old file
    EXPECT_TRUE(OnDisk("lib1/A/a1 (副本).datum.xml", "<title>a1 (副本)</title>"));
    EXPECT_EQ(dir.ReadFile("lib1/A/a1.datum.xml"), CardBytes(a1));

    Trigger("c1", "reveal");
    Trigger("D", "reveal");
    EXPECT_EQ(svc.shownInFolder, (std::vector<std::string>{"lib1\\C\\c1.datum.xml", "lib1\\C\\D"}));
    Trigger("c1", "copyPath");
    EXPECT_EQ(U(QApplication::clipboard()->text()), dir.Native() + "/lib1/C/c1.datum.xml");

    // The context menu on a class: what applies to it, in the menu's order.
    std::vector<std::string> shown;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (QAction* a : menu->actions())
            if (!a->isSeparator()) shown.push_back(U(a->text()) + (a->isEnabled() ? "" : " -"));
        menu->close();
    });
    const QRect row = Tree()->visualItemRect(Item("C"));
    emit Tree()->customContextMenuRequested(row.center());
    EXPECT_EQ(shown, (std::vector<std::string>{"新建", "删除", "撤销删除 -", "重命名 -", "复制为新资料卡 -", "在文件夹中显示", "复制路径"}));
    EXPECT_EQ(Current(), "C");
}

}  // namespace

namespace {

TEST_F(TreeActionsTest, F2RenamesTitleAndFileTogetherNeverOverAnotherAndCtrlZTakesItBack) {
    OpenCard("a1");
    auto rename = [&](const std::string& row, const char* typed, Qt::Key end = Qt::Key_Return,
                      const std::string& title = "新题/甲") {
        Press(row, Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_NE(editor, nullptr) << "an editor on the row";
        EXPECT_EQ(U(editor->text()), title) << "it starts from the card's title";
        editor->setText(QString::fromUtf8(typed));
        QTest::keyClick(editor, end);
        QTest::qWait(20);
    };
    rename("a1", "新题/甲", Qt::Key_Return, "a1");
    EXPECT_FALSE(dir.Exists("lib1/A/a1.datum.xml"));
    EXPECT_TRUE(OnDisk("lib1/A/新题／甲.datum.xml", "<title>新题/甲</title>"));
    EXPECT_TRUE(OnDisk("lib1/A/新题／甲.datum.xml", "<content>\r\n\t\t<part>第一段</part>"));
    EXPECT_EQ(Dump(Tree()), "A{a2,新题／甲},C{c1,D{d1}}");
    EXPECT_EQ(Current(), "A\\新题／甲");
    EXPECT_EQ(U(Edit(1009)->text() + "|" + Edit(1008)->text()), "新题/甲|lib1\\A\\新题／甲.datum.xml") << "the open card follows";

    const std::string a2Bytes = dir.ReadFile("lib1/A/a2.datum.xml");
    svc.ExpectBox("资料卡没有改名：文件 lib1\\A\\a2.datum.xml 已经存在，没有覆盖它。", "ERROR", kError);
    rename("新题／甲", "a2");
    rename("新题／甲", "不要", Qt::Key_Escape);
    EXPECT_EQ(dir.ReadFile("lib1/A/a2.datum.xml"), a2Bytes);
    EXPECT_EQ(Dump(Tree()), "A{a2,新题／甲},C{c1,D{d1}}");

    Press("", Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(dir.Exists("lib1/A/新题／甲.datum.xml"));
    EXPECT_TRUE(OnDisk("lib1/A/a1.datum.xml", "<title>a1</title>"));
    EXPECT_EQ(Dump(Tree()), "A{a1,a2},C{c1,D{d1}}");
    EXPECT_EQ(U(Edit(1009)->text() + "|" + Edit(1008)->text()), "a1|lib1\\A\\a1.datum.xml");
}

}  // namespace
