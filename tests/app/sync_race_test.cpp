// What a save may touch when another program (a sync tool, a second machine's copy of the card) writes at the
// worst moment: each case forces that moment with a second process, run while a box is up or from a seam at
// the instant a read or a rename completes.
#include <QProcess>
#include <filesystem>

#include "app/live_fixture.h"
#include "support/cards.h"

using mainfx::U;
using plat::Gbk;

namespace {

using livefx::Card;
namespace fs = std::filesystem;

constexpr unsigned kInfo = plat::MB_OK | plat::MB_ICONINFORMATION;

std::string Changed(const std::string& file, const std::string& copy) {
    return "文件 " + file + " 在载入后已被其他程序修改过。\n选\"覆盖\"用当前资料卡覆盖它；选\"另存为副本\"把当前资料卡另存为 " +
           copy + "，两个版本都保留；选\"取消\"不保存。";
}

class SyncRaceTest : public LiveTest {
protected:
    void TearDown() override { plat::fault::PauseAt(nullptr); }
    // The other program's write, once, at the seam's moment `where`.
    void WriteAt(const char* where, const std::string& script) {
        plat::fault::PauseAt([this, where, script](const char* at) {
            if (std::string(at) != where) return;
            plat::fault::PauseAt(nullptr);
            Shell(script);
        });
    }
};

// Title changed, so the card is saved under a new name; the old file is deleted only when it is still the
// version the form was loaded from, asked before the question and again after it.
TEST_F(SyncRaceTest, SaveUnderANewNameDeletesOnlyTheVersionItLoaded) {
    const std::string theirs = Card("a1", "另一台机器的版本");
    dir.WriteFile("theirs.xml", theirs);
    const std::string kept = "你已经改变了存储的文件名，该资料卡已经保存为新的文件;\n以前的文件 lib\\A\\a1.datum.xml "
                             "在载入后已被其他程序修改过，没有删除它。";
    struct Case { const char* what; bool beforeSave; bool whileAsked; } cases[] = {
        {"delivered before Save", true, false},
        {"delivered while the question is up", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dir.WriteFile("lib/A/a1.datum.xml", Card("a1", "正文"));
        fs::remove(dir.Native() + "/lib/A/new.datum.xml");
        Load();
        OpenCard("a1");
        Edit(1009)->setText("new");
        Leave(Edit(1009));
        if (c.beforeSave) Shell("cp theirs.xml lib/A/a1.datum.xml");
        if (c.whileAsked) {
            svc.ExpectBox(mainfx::kRenamed, "选择", mainfx::kYesNo, plat::IDYES);
            svc.onBox = [&](const ShownBox&) {
                svc.onBox = nullptr;
                Shell("cp theirs.xml lib/A/a1.datum.xml");
            };
        }
        svc.ExpectBox(kept, "选择", kInfo);
        Click(1006);
        svc.VerifyAllUsed();
        EXPECT_EQ(dir.ReadFile("lib/A/a1.datum.xml"), theirs);
        EXPECT_TRUE(MainWindowTest::OnDisk("lib/A/new.datum.xml", "<title>new</title>"));
    }
}

// A write that lands between the read and the form's stamp, or between the save's rename and its stamp, is a
// change Save asks about, not the form's own version.
TEST_F(SyncRaceTest, AWriteLandingWhileTheCardLoadsOrSavesIsAskedAbout) {
    FixedClock clock;
    const std::string theirs = Card("a1", "他们");  // as long as "正文": only the time tells
    dir.WriteFile("theirs.xml", theirs);
    const std::string question = Changed("lib\\A\\a1.datum.xml", "lib\\A\\a1 (我的修改 2003-02-05 09-07).datum.xml");
    for (const char* where : {"read", "renamed"}) {
        SCOPED_TRACE(where);
        dir.WriteFile("lib/A/a1.datum.xml", Card("a1", "正文"));
        Load();
        if (std::string(where) == "read") WriteAt(where, "sleep 0.01; cat theirs.xml > lib/A/a1.datum.xml");
        OpenCard("a1");
        Edit(1017)->setText("mine");
        if (std::string(where) == "renamed") {
            WriteAt(where, "sleep 0.01; cat theirs.xml > lib/A/a1.datum.xml");
            Click(1006);
            Edit(1017)->setText("mine again");
        }
        svc.ExpectBox(question, "选择", mainfx::kAsk, plat::IDCANCEL);
        Click(1006);
        svc.VerifyAllUsed();
        EXPECT_EQ(dir.ReadFile("lib/A/a1.datum.xml"), theirs);
    }
}

// The copy's name is taken only where nothing stands when it is written; a long title is shortened to fit.
TEST_F(SyncRaceTest, SaveMineBesideItNeverReplacesAFileAndFitsTheNameLimit) {
    FixedClock clock;
    const std::string theirCopy = Card("a1", "同名的副本");
    dir.WriteFile("copy.xml", theirCopy);
    OpenCard("a1");
    Edit(1017)->setText("mine");
    dir.WriteFile("lib/A/a1.datum.xml", Card("a1", "改过"));
    svc.ExpectBox(Changed("lib\\A\\a1.datum.xml", "lib\\A\\a1 (我的修改 2003-02-05 09-07).datum.xml"), "选择",
                  mainfx::kAsk, plat::IDNO);
    svc.onBox = [&](const ShownBox&) {
        svc.onBox = nullptr;
        Shell("cp copy.xml 'lib/A/a1 (我的修改 2003-02-05 09-07).datum.xml'");
    };
    Click(1006);
    svc.VerifyAllUsed();
    EXPECT_EQ(dir.ReadFile("lib/A/a1 (我的修改 2003-02-05 09-07).datum.xml"), theirCopy);
    EXPECT_TRUE(MainWindowTest::OnDisk("lib/A/a1 (我的修改 2003-02-05 09-07 2).datum.xml", "<keyword>mine</keyword>"));
    EXPECT_EQ(U(Edit(1008)->text()), "lib\\A\\a1 (我的修改 2003-02-05 09-07 2).datum.xml");

    std::string title;
    for (int i = 0; i < 80; ++i) title += "长";
    OpenCard("a2");
    Edit(1009)->setText(QString::fromStdString(title));
    dir.WriteFile("lib/A/a2.datum.xml", Card("a2", "改过"));
    svc.ExpectBox(Changed("lib\\A\\a2.datum.xml", "lib\\A\\" + title.substr(0, 3 * 71) +
                                                      " (我的修改 2003-02-05 09-07).datum.xml"),
                  "选择", mainfx::kAsk, plat::IDNO);
    Click(1006);
    svc.VerifyAllUsed();
    const std::string name = title.substr(0, 3 * 71) + " (我的修改 2003-02-05 09-07).datum.xml";
    EXPECT_LE(name.size(), 255u);
    EXPECT_TRUE(MainWindowTest::OnDisk("lib/A/" + name, "<title>" + title + "</title>"));
}

// A link synced in place of the open card is not written through: the question names it and offers only the
// copy; a card loaded through a link into the library is saved through it as before.
TEST_F(SyncRaceTest, ALinkInPlaceOfTheCardIsNeverWrittenThrough) {
    FixedClock clock;
    dir.WriteFile("outside.txt", "SECRET");
    OpenCard("a1");
    Edit(1017)->setText("mine");
    Shell("ln -sf ../../outside.txt lib/A/a1.datum.xml");
    const std::string question = "文件 lib\\A\\a1.datum.xml 已被换成指向 " + plat::GbkToUtf8(dir.Internal()) +
                                 "\\outside.txt 的符号链接，当前资料卡不会写进它指向的文件。\n选\"是\"把当前资料卡另存为 "
                                 "lib\\A\\a1 (我的修改 2003-02-05 09-07).datum.xml，链接不动；选\"否\"不保存。";
    svc.ExpectBox(question, "选择", mainfx::kYesNo, plat::IDNO);
    Click(1006);
    svc.ExpectBox(question, "选择", mainfx::kYesNo, plat::IDYES);
    Click(1006);
    svc.VerifyAllUsed();
    EXPECT_EQ(dir.ReadFile("outside.txt"), "SECRET");
    EXPECT_TRUE(fs::is_symlink(dir.Native() + "/lib/A/a1.datum.xml"));
    EXPECT_TRUE(MainWindowTest::OnDisk("lib/A/a1 (我的修改 2003-02-05 09-07).datum.xml", "<keyword>mine</keyword>"));

    Shell("ln -s a2.datum.xml lib/A/l.datum.xml");
    ASSERT_TRUE(Settled());
    OpenCard("l");
    Edit(1017)->setText("through");
    Click(1006);
    EXPECT_TRUE(MainWindowTest::OnDisk("lib/A/a2.datum.xml", "<keyword>through</keyword>"));
    EXPECT_TRUE(fs::is_symlink(dir.Native() + "/lib/A/l.datum.xml"));
}

// A sync tool replaces the open card: by renaming its temporary file onto the card's name, or by removing
// the card and writing it again (seen as two changes, the moment forced by letting the window settle in
// between). The row stays the card's, 下一则 goes on from it, 加入书签 and 在IE中查看 act on the form's file,
// and say so when it is gone.
TEST_F(SyncRaceTest, TheButtonsActOnTheCardTheFormHolds) {
    dir.WriteFile("theirs.xml", Card("a2", "他们的版本"));
    const char* replaces[] = {
        "cp theirs.xml 'lib/A/.syncthing.a2.datum.xml.tmp' && mv 'lib/A/.syncthing.a2.datum.xml.tmp' "
        "lib/A/a2.datum.xml",
        "mv lib/A/a2.datum.xml a2.away",
    };
    for (const char* script : replaces) {
        SCOPED_TRACE(script);
        dir.WriteFile("lib/_ _SETS_ _/bookmark.list", mangfx::LinkList("t", {}));
        Load();
        OpenCard("a2");
        Shell(script);
        ASSERT_TRUE(Settled());
        if (!dir.Exists("lib/A/a2.datum.xml")) {
            Shell("cp theirs.xml lib/A/a2.datum.xml");
            ASSERT_TRUE(Settled());
        }
        EXPECT_EQ(Current(), "A\\a2");
        svc.ExpectBox("当前文件已经成功加入到书签中了!!", "INFOMATION", plat::MB_OK | plat::MB_ICONINFORMATION);
        Click(1007);
        const std::string list = dir.ReadFile("lib/_ _SETS_ _/bookmark.list");
        EXPECT_NE(list.find("a2.datum.xml"), std::string::npos) << list;
        EXPECT_EQ(list.find("a3.datum.xml"), std::string::npos) << list;
        Click(1020);
        EXPECT_EQ(U(Edit(1009)->text()), "a3");
    }
    OpenCard("a1");
    Shell("rm lib/A/a1.datum.xml");
    for (int button : {1007, 1021}) {
        svc.ExpectBox("资料卡文件 lib\\A\\a1.datum.xml 已被删除或移走了。", "ERROR", mainfx::kError);
        Click(button);
    }
    svc.VerifyAllUsed();
    EXPECT_TRUE(svc.shellOpens.empty());
}

}  // namespace
