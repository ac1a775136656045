// The trash as the desktop's file managers read it, and the question before anything is deleted for good.
// (What the window's deletes and take-backs do to the trash: tests/app/tree_actions_test.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/codec.h"
#include "platform/path.h"
#include "platform/services.h"
#include "platform/trash.h"
#include "support/scripted_services.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using plat::Gbk;

namespace {

// The user's data folder inside the test's own folder for the test's length.
class TrashTest : public ::testing::Test {
protected:
    TempProgramDir dir;
    const char* saved = std::getenv("XDG_DATA_HOME");
    std::string kept = saved ? saved : "";

    void SetUp() override { setenv("XDG_DATA_HOME", (dir.Native() + "/data").c_str(), 1); }
    void TearDown() override { saved ? setenv("XDG_DATA_HOME", kept.c_str(), 1) : unsetenv("XDG_DATA_HOME"); }
    std::string Internal(const std::string& rel) const { return *plat::FromNative(dir.Native() + "/" + rel); }
};

// Without a usable trash the user decides; No (the default) keeps the thing, Yes deletes it for good.
TEST_F(TrashTest, WithoutATrashNothingIsDeletedUnlessTheUserSaysSo) {
    dir.WriteFile("blocker", "a file where the data folder would be");
    setenv("XDG_DATA_HOME", (dir.Native() + "/blocker/data").c_str(), 1);
    dir.WriteFile("lib/类/卡.datum.xml", "card");
    EXPECT_EQ(plat::TrashFolderFor(Internal("lib/类")), dir.Native() + "/blocker/data/Trash");
    const std::string question =
        "无法把类别“类”移到回收站（路径中有一部分不是文件夹）。\n你要把它彻底删除吗？删除后不可恢复。";
    const unsigned flags = plat::MB_YESNO | plat::MB_ICONQUESTION | plat::MB_DEFBUTTON2;
    ScriptedServices svc;
    svc.ExpectBox(question, "选择", flags, plat::IDNO);
    EXPECT_EQ(plat::Discard(nullptr, Internal("lib/类"), Gbk("类别“类”")), plat::Discarded::Kept);
    EXPECT_EQ(dir.ReadFile("lib/类/卡.datum.xml"), "card");
    svc.ExpectBox(question, "选择", flags, plat::IDYES);
    EXPECT_EQ(plat::Discard(nullptr, Internal("lib/类"), Gbk("类别“类”")), plat::Discarded::Deleted);
    EXPECT_FALSE(dir.Exists("lib/类"));

    svc.ExpectBox("无法删除 " + plat::GbkToUtf8(Internal("lib/没有")) + "：文件夹不存在", "ERROR", plat::MB_OK | plat::MB_ICONERROR);
    EXPECT_EQ(plat::Discard(nullptr, Internal("lib/没有"), Gbk("没有")), plat::Discarded::Failed);
}

// What the desktop's own file manager library makes of the trash: it lists each card with the place it came
// from, and its restore puts it back there. Needs gio with gvfs's trash and a session bus (the test setup's).
// gio 2.74 restores to the escaped spelling it lists (\xNN for each byte that is not ASCII), so the card it
// restores lives on an ASCII path.
TEST_F(TrashTest, TheFileManagersTrashListsTheCardsWithTheirPlacesAndRestoresThem) {
    if (std::system("command -v dbus-run-session >/dev/null && command -v gio >/dev/null") != 0)
        GTEST_SKIP() << "no gio or dbus-run-session";
    dir.WriteFile("lib/类/卡 甲.datum.xml", "card");
    dir.WriteFile("lib/notes/card.datum.xml", "ascii card");
    plat::TrashedItem chinese, ascii;
    int err = 0;
    ASSERT_EQ(plat::MoveToTrash(Internal("lib/类/卡 甲.datum.xml"), chinese, err), plat::TrashOutcome::Done);
    ASSERT_EQ(plat::MoveToTrash(Internal("lib/notes/card.datum.xml"), ascii, err), plat::TrashOutcome::Done);
    const std::string command =
        "dbus-run-session -- sh -c \"gio trash --list | sort && gio trash --restore trash:///card.datum.xml\" "
        "2>/dev/null";
    std::string listed(4096, '\0'), shown;
    if (FILE* out = popen(command.c_str(), "r")) listed.resize(fread(listed.data(), 1, listed.size(), out)), pclose(out);
    for (const unsigned char c : chinese.original) {  // gio writes each byte that is not ASCII as \xNN
        char hex[8];
        shown.append(hex, std::snprintf(hex, sizeof hex, c < 0x80 ? "%c" : "\\x%02x", c));
    }
    EXPECT_EQ(listed, "trash:///%E5%8D%A1%20%E7%94%B2.datum.xml\t" + shown + "\ntrash:///card.datum.xml\t" +
                          ascii.original + "\n");
    EXPECT_EQ(dir.ReadFile("lib/notes/card.datum.xml"), "ascii card");
    EXPECT_FALSE(fs::exists(ascii.file) || fs::exists(ascii.info));
}

}  // namespace
