// What the user typed and what is on disk survive every path through the main window: saving whatever the
// tree shows, manager reloads, library switches, the unsaved-edit question, files changed by others, lists
// that do not read whole (cards that do not: the fault tests). Each case compares the files before and after.
#include "app/main_fixture.h"

using plat::Gbk;

namespace {

using namespace mainfx;

// The questions Save asks when another program changed the loaded file (`copy`: the name offered for the
// form's version) or removed it.
std::string ChangedQuestion(const std::string& file, const std::string& copy) {
    return "文件 " + file + " 在载入后已被其他程序修改过。\n选\"覆盖\"用当前资料卡覆盖它；选\"另存为副本\"把当前资料卡另存为 " +
           copy + "，两个版本都保留；选\"取消\"不保存。";
}
std::string GoneQuestion(const std::string& file) {
    return "文件 " + file + " 在载入后已被删除或移走了。\n选\"是\"把当前资料卡重新保存到那里；选\"否\"另选一个文件名保存；"
           "选\"取消\"不保存。";
}

// Presses OK in a manager; when OK is refused the manager stays open and Cancel closes it.
void OkThenCancel(CDialog& m) {
    mangfx::Click(m, 1);
    if (m.isVisible()) mangfx::Click(m, 2);
}

class NoLossTest : public MainWindowTest {
protected:
    void SetUp() override {
        mainfx::WriteRegistry(dir, {{"一号", "lib"}, {"二号", "lib2"}}, 0);
        mainfx::MakeLibrary(dir, "lib", {"A", "B", "C"}, {"报纸"});
        mainfx::MakeLibrary(dir, "lib2", {"X"}, {"杂志"});
        mainfx::MakeStyles(dir, {"s.xsl"});
        for (const char* c : {"A/a1", "A/a2", "B/b1"})
            dir.WriteFile("lib/" + std::string(c) + ".datum.xml", CardText(c + 2, std::string(c, 1), "正文", "报纸"));
        dir.WriteFile("lib2/X/x1.datum.xml", CardText("x1", "X", "正文", "杂志"));
        Load();
    }
    void Manager(int button, std::function<void(CDialog&)> script = OkThenCancel) {
        mangfx::WhenModal(std::move(script));
        Click(button);
    }
    void TypeKeywords(const std::string& keyword) { Edit(1017)->setText(QString::fromStdString(keyword)); }
};

// Save writes what the form holds wherever the tree's current entry has gone.
TEST_F(NoLossTest, SaveWritesTheFormWhateverTheTreeShows) {
    Click(1006);  // an empty form: nothing at all
    // card: the card in the form; act: leaves the class `current` current
    const struct { const char* what; const char* card; std::function<void()> act; const char* current; } cases[] = {
        {"class double-clicked", "b1", [&] { OpenCard("B"); }, "B"},
        {"next stopped on a class", "b1", [&] { Click(1020); }, "C"},
        {"library switched", "a1", [&] { PickLibrary(1); }, "X"},
        {"same library picked again", "a1", [&] { PickLibrary(0); }, "A"},
    };
    for (const auto& c : cases) {
        Load();
        OpenCard(c.card);
        c.act();
        ASSERT_EQ(Current(), c.current) << c.what;
        TypeKeywords(std::string("新词") + c.what);
        Click(1006);
        EXPECT_TRUE(OnDisk(std::string("lib/") + (c.card[0] == 'a' ? "A/" : "B/") + c.card + ".datum.xml",
                           std::string("<keyword>新词") + c.what)) << c.what;
    }
    EXPECT_TRUE(svc.boxes.empty());
}

// Managers closed with OK reload only what they changed, and library switches the lists, without taking the
// card's class or source out of the form; after a switch the boxes list the new library's own classes and
// sources.
TEST_F(NoLossTest, ReloadsKeepTheCardsClassAndSourceAndFollowTheLibrary) {
    OpenCard("a1");
    progress.clear();
    Manager(1012, [](CDialog& m) {
        mangfx::Type(m, 1021, "新类");
        mangfx::Click(m, 3);
        mangfx::Click(m, 1);
    });
    EXPECT_EQ(progress, std::vector<std::string>{"重新读取类别的信息......"});
    EXPECT_NE(Combo(1011)->findText(QString::fromUtf8("新类")), -1);
    Manager(1014);
    dir.WriteFile("in/extra.xsl", "<x/>");
    svc.QueueFileName(dir.Internal() + "\\in\\extra.xsl");
    Manager(1016, [](CDialog& m) {
        mangfx::Click(m, 3);
        QTest::keyClick(&m, Qt::Key_Escape);  // the folder changed all the same
    });
    EXPECT_EQ(mainfx::ComboTexts(Combo(1015)), (std::vector<std::string>{"extra", "s"}));
    EXPECT_EQ(U(Combo(1011)->currentText() + Combo(1013)->currentText()), "A报纸");
    EXPECT_FALSE(dlg->Form().HasEdits());
    Leave(Edit(1009));
    EXPECT_EQ(U(Edit(1008)->text()), "lib\\A\\a1.datum.xml");
    TypeKeywords("k2");
    Click(1006);
    EXPECT_TRUE(OnDisk("lib/A/a1.datum.xml", "<class>A</class>"));
    EXPECT_TRUE(OnDisk("lib/A/a1.datum.xml", "<source>报纸</source>"));

    PickLibrary(1);
    EXPECT_EQ(mainfx::ComboTexts(Combo(1011)), std::vector<std::string>{"X"});
    EXPECT_EQ(mainfx::ComboTexts(Combo(1013)), std::vector<std::string>{"杂志"});
    EXPECT_EQ(U(Combo(1011)->currentText()), "A");  // the form still holds lib's card
    // The library manager's OK reads the registry, whose default is lib: everything goes on naming lib2.
    Manager(1001);
    EXPECT_EQ(U(Combo(1000)->currentText()), "二号");
    EXPECT_EQ(U(Edit(1002)->text()), "lib2");
    Leave(Edit(1009));  // and file names are built on lib2
    EXPECT_EQ(U(Edit(1008)->text()), "lib2\\A\\a1.datum.xml");
    // A class list gone from under the manager: it says so and the window goes on.
    std::filesystem::remove(dir.Native() + "/lib2/_ _SETS_ _/class.list");
    svc.ExpectBox("找不到文件 lib2\\_ _SETS_ _\\class.list", "ERROR", kError);
    Click(1012);
    EXPECT_FALSE(dlg->Ended());
}

TEST_F(NoLossTest, UnsavedEditsAreAskedAboutBeforeTheFormOrTheProgramGoes) {
    auto ended = [&] { return dlg->Ended(); };
    auto showing = [&](const char* title) { return [=, this] { return U(Edit(1009)->text()) == title; }; };
    const struct { const char* what; std::function<void()> act; std::function<bool()> done; } actions[] = {
        {"Escape", [&] { QTest::keyClick(Edit(1009), Qt::Key_Escape); }, ended},
        {"close box", [&] { dlg->close(); }, ended},
        {"退出", [&] { Click(1); }, ended},
        {"library switch", [&] { PickLibrary(1); }, [&] { return Edit(1002)->text() == "lib2"; }},
        {"double-click", [&] { OpenCard("a1"); }, showing("a1")},
        {"previous", [&] { Click(1019); }, showing("a1")},
        {"next", [&] { Click(1020); }, showing("b1")},
    };
    for (const auto& a : actions) {
        for (int answer : {plat::IDCANCEL, plat::IDNO, plat::IDYES}) {
            SCOPED_TRACE(std::string(a.what) + " " + std::to_string(answer));
            dir.WriteFile("lib/A/a2.datum.xml", CardText("a2", "A", "正文", "报纸"));
            Load();
            dlg->show();
            OpenCard("a2");
            TypeKeywords("改过");
            svc.ExpectBox(kUnsaved, "选择", kAsk, answer);
            a.act();
            svc.VerifyAllUsed();
            EXPECT_EQ(a.done(), answer != plat::IDCANCEL);
            EXPECT_EQ(OnDisk("lib/A/a2.datum.xml", "<keyword>改过</keyword>"), answer == plat::IDYES);
            if (answer != plat::IDCANCEL) continue;
            EXPECT_EQ(U(Edit(1017)->text()), "改过");
            EXPECT_EQ(Current(), "A\\a2");
        }
    }
    // Loading is no edit, nor is the file name rebuilt by leaving an unchanged title: Escape ends at once.
    dir.WriteFile("lib/A/odd.datum.xml", CardText("标题", "A", "正文", "报纸"));
    Load();
    dlg->show();
    OpenCard("odd");
    Leave(Edit(1009));
    EXPECT_EQ(U(Edit(1008)->text()), "lib\\A\\标题.datum.xml");
    QTest::keyClick(Body(), Qt::Key_Escape);
    EXPECT_TRUE(dlg->Ended());
}

// Another program wrote or removed the card since it was loaded: Save offers overwrite / a copy of mine
// beside it / cancel, or write back / elsewhere / cancel; no answer loses either version.
TEST_F(NoLossTest, AFileChangedOrRemovedOnDiskSinceLoadingIsNotOverwrittenUnasked) {
    FixedClock clock;
    OpenCard("a1");
    TypeKeywords("我的");
    const std::string theirs = CardText("a1", "A", "别人写的", "报纸");
    dir.WriteFile("lib/A/a1.datum.xml", theirs);
    const std::string changed = ChangedQuestion("lib\\A\\a1.datum.xml", "lib\\A\\a1 (我的修改 2003-02-05 09-07).datum.xml");
    svc.ExpectBox(changed, "选择", kAsk, plat::IDCANCEL);
    Click(1006);
    EXPECT_EQ(svc.boxes.back().answers, (std::vector<std::string>{Gbk("覆盖"), Gbk("另存为副本"), Gbk("取消")}));
    EXPECT_EQ(dir.ReadFile("lib/A/a1.datum.xml"), theirs);
    svc.ExpectBox(changed, "选择", kAsk, plat::IDNO);
    Click(1006);
    EXPECT_EQ(dir.ReadFile("lib/A/a1.datum.xml"), theirs);
    EXPECT_TRUE(OnDisk("lib/A/a1 (我的修改 2003-02-05 09-07).datum.xml", "<keyword>我的</keyword>"));
    EXPECT_EQ(U(Edit(1008)->text()), "lib\\A\\a1 (我的修改 2003-02-05 09-07).datum.xml");
    EXPECT_EQ(Current(), "A\\a1 (我的修改 2003-02-05 09-07)") << "the copy is in the tree, current";
    EXPECT_FALSE(dlg->Form().HasEdits());

    OpenCard("a1");  // theirs, now changed again by them: overwritten only on Yes
    TypeKeywords("再改");
    dir.WriteFile("lib/A/a1.datum.xml", theirs + " ");
    // The first copy's name is taken.
    svc.ExpectBox(ChangedQuestion("lib\\A\\a1.datum.xml", "lib\\A\\a1 (我的修改 2003-02-05 09-07 2).datum.xml"), "选择",
                  kAsk, plat::IDYES);
    Click(1006);
    EXPECT_TRUE(OnDisk("lib/A/a1.datum.xml", "<keyword>再改</keyword>"));
    Click(1006);  // only this program wrote it since
    svc.VerifyAllUsed();

    std::filesystem::remove(dir.Native() + "/lib/A/a1.datum.xml");
    const std::string gone = GoneQuestion("lib\\A\\a1.datum.xml");
    svc.ExpectBox(gone, "选择", kAsk, plat::IDCANCEL);
    Click(1006);
    svc.ExpectBox(gone, "选择", kAsk, plat::IDNO);
    svc.QueueFileName("");  // the file dialog cancelled
    Click(1006);
    EXPECT_FALSE(dir.Exists("lib/A/a1.datum.xml"));
    svc.ExpectBox(gone, "选择", kAsk, plat::IDNO);
    svc.QueueFileName("lib\\B\\elsewhere.datum.xml");
    Click(1006);
    EXPECT_TRUE(OnDisk("lib/B/elsewhere.datum.xml", "<keyword>再改</keyword>"));
    EXPECT_EQ(Current(), "B\\elsewhere");
    OpenCard("a2");
    std::filesystem::remove(dir.Native() + "/lib/A/a2.datum.xml");
    svc.ExpectBox(GoneQuestion("lib\\A\\a2.datum.xml"), "选择", kAsk, plat::IDYES);
    Click(1006);
    EXPECT_TRUE(OnDisk("lib/A/a2.datum.xml", "<title>a2</title>"));
}

// Saved under a new name, the current entry is that file, not an earlier card of the same title, so the
// bookmark goes to the card just saved; a name chosen with Browse was asked about in the save dialog.
TEST_F(NoLossTest, ACardSavedUnderANewNameIsTheOneBookmarkedAndAskedAboutOnce) {
    dir.WriteFile("lib/_ _SETS_ _/bookmark.list", mangfx::LinkList("t", {}));
    OpenCard("b1");
    Edit(1009)->setText(QStringLiteral("a1"));
    Leave(Edit(1009));
    svc.ExpectBox(kRenamed, "选择", kYesNo, plat::IDYES);
    Click(1006);
    EXPECT_EQ(Current(), "B\\a1");
    svc.ExpectBox("当前文件已经成功加入到书签中了!!", "INFOMATION", plat::MB_OK | plat::MB_ICONINFORMATION);
    Click(1007);
    EXPECT_NE(dir.ReadFile("lib/_ _SETS_ _/bookmark.list").find("lib\\b\\a1.datum.xml"), std::string::npos);

    OpenCard("a1");
    svc.QueueFileName(dir.Internal() + "\\lib\\A\\a2.datum.xml");
    Click(1010);
    svc.ExpectBox(kRenamed, "选择", kYesNo, plat::IDNO);
    Click(1006);
    EXPECT_TRUE(OnDisk("lib/A/a2.datum.xml", "<title>a1</title>"));
    EXPECT_TRUE(dir.Exists("lib/A/a1.datum.xml"));
}

TEST_F(NoLossTest, AListThatDidNotLoadWholeIsNeverWrittenBack) {
    std::string list = mangfx::LinkList("t", {{"one", "lib/A/one"}, {"two", "lib/A/two"}, {"three", "lib/A/three"}});
    list.erase(list.find("\t\t<url>lib/A/two"), 24);  // a damaged link before the last
    dir.WriteFile("lib/_ _SETS_ _/bookmark.list", list);
    const std::string refused = "列表文件 lib\\\\_ _SETS_ _\\bookmark.list 中有损坏的链接，没有完整读出；"
                                "为了不丢失其后的链接，列表没有保存，文件保持原样。";
    OpenCard("a1");
    for (int button : {1007, 1004}) {  // 加入书签, and OK in the bookmark manager
        svc.ExpectBox("No url Find", "XML ERROR", plat::MB_OK);
        svc.ExpectBox(refused, "ERROR", kError);
        if (button == 1007) Click(button);
        else Manager(button);
        EXPECT_EQ(dir.ReadFile("lib/_ _SETS_ _/bookmark.list"), list);
    }
}

// A card whose file name holds a line break (synced from a system that allows it) is refused by 加入书签 with
// the reason, and the list stays readable.
TEST_F(NoLossTest, ANameWithALineBreakNeverReachesTheBookmarkList) {
    const std::string list = mangfx::LinkList("t", {{"one", "lib/A/a1.datum.xml"}});
    dir.WriteFile("lib/_ _SETS_ _/bookmark.list", list);
    dir.WriteFile("lib/A/x\ny.datum.xml", CardText("xy", "A", "正文", "报纸"));
    Load();
    ASSERT_NE(Item("x\ny"), nullptr);
    OpenCard("x\ny");
    svc.ExpectBox("文件名 " + plat::GbkToUtf8(dir.Internal()) +
                      "\\lib\\A\\x\\ny.datum.xml 中有换行符或其它控制字符，不能加入列表，请先给资料卡改个名字。",
                  "ERROR", kError);
    Click(1007);
    svc.VerifyAllUsed();
    EXPECT_EQ(dir.ReadFile("lib/_ _SETS_ _/bookmark.list"), list);
}

}  // namespace
