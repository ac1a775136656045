// The trash as the desktop's file managers read it: the record beside each thing, names that never meet,
// restores that never replace, and the question before anything is deleted for good.
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
    std::string saved = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    std::string trash = dir.Native() + "/data/Trash";

    void SetUp() override { setenv("XDG_DATA_HOME", (dir.Native() + "/data").c_str(), 1); }
    void TearDown() override {
        if (saved.empty())
            unsetenv("XDG_DATA_HOME");
        else
            setenv("XDG_DATA_HOME", saved.c_str(), 1);
    }
    std::string Internal(const std::string& rel) const { return *plat::FromNative(dir.Native() + "/" + rel); }
};

TEST_F(TrashTest, RecordsTheOriginalPlaceAndRestoresTheThingThereByteForByte) {
    // A card name with a space and Chinese (percent-encoded in the record), and a class folder with its cards.
    dir.WriteFile("lib/类 一/卡 甲.datum.xml", "card one");
    dir.WriteFile("lib/类 二/卡.datum.xml", "card two");
    dir.WriteFile("lib/类 二/深/卡.datum.xml", "card three");
    struct Case {
        std::string rel, name, escaped;
    } cases[] = {
        {"lib/类 一/卡 甲.datum.xml", "卡 甲.datum.xml", "/lib/%E7%B1%BB%20%E4%B8%80/%E5%8D%A1%20%E7%94%B2.datum.xml"},
        {"lib/类 二", "类 二", "/lib/%E7%B1%BB%20%E4%BA%8C"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rel);
        plat::TrashedItem item;
        int err = 0;
        ASSERT_EQ(plat::MoveToTrash(Internal(c.rel), item, err), plat::TrashOutcome::Done) << err;
        EXPECT_FALSE(dir.Exists(c.rel));
        EXPECT_EQ(item.file, trash + "/files/" + c.name);
        EXPECT_EQ(item.info, trash + "/info/" + c.name + ".trashinfo");
        const std::string info = ReadNativeFile(item.info);
        EXPECT_TRUE(info.starts_with("[Trash Info]\nPath=" + dir.Native() + c.escaped + "\nDeletionDate=20")) << info;
        EXPECT_EQ(info.size(), std::string("[Trash Info]\nPath=\nDeletionDate=2026-12-08T01:09:01\n").size() +
                                   dir.Native().size() + c.escaped.size());
        ASSERT_TRUE(plat::RestoreFromTrash(item, err)) << err;
        EXPECT_FALSE(fs::exists(item.info) || fs::exists(item.file));
    }
    EXPECT_EQ(dir.ReadFile("lib/类 一/卡 甲.datum.xml"), "card one");
    EXPECT_EQ(dir.ReadFile("lib/类 二/深/卡.datum.xml"), "card three");
}

TEST_F(TrashTest, ThingsOfOneNameKeepTheirOwnRecordsAndARestoreNeverReplaces) {
    plat::TrashedItem first, second;
    int err = 0;
    dir.WriteFile("a/卡.datum.xml", "first");
    ASSERT_EQ(plat::MoveToTrash(Internal("a/卡.datum.xml"), first, err), plat::TrashOutcome::Done);
    dir.WriteFile("a/卡.datum.xml", "second");
    ASSERT_EQ(plat::MoveToTrash(Internal("a/卡.datum.xml"), second, err), plat::TrashOutcome::Done);
    EXPECT_NE(first.file, second.file);
    EXPECT_NE(first.info, second.info);

    // A new card now stands where the first stood: it stays, and so does the one in the trash.
    dir.WriteFile("a/卡.datum.xml", "third");
    EXPECT_FALSE(plat::RestoreFromTrash(first, err));
    EXPECT_EQ(err, EEXIST);
    EXPECT_EQ(dir.ReadFile("a/卡.datum.xml"), "third");
    EXPECT_EQ(ReadNativeFile(first.file), "first");
    EXPECT_TRUE(fs::exists(first.info));

    // Restored by the file manager meanwhile (or the trash emptied): nothing to take back.
    fs::remove(dir.Native() + "/a/卡.datum.xml");
    fs::rename(second.file, dir.Native() + "/a/卡.datum.xml");
    EXPECT_FALSE(plat::RestoreFromTrash(second, err));
    EXPECT_EQ(err, ENOENT);
    EXPECT_EQ(dir.ReadFile("a/卡.datum.xml"), "second");

    plat::TrashedItem none;
    EXPECT_EQ(plat::MoveToTrash(Internal("a/没有.datum.xml"), none, err), plat::TrashOutcome::Failed);
    EXPECT_EQ(err, ENOENT);
}

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

    std::string shown = dir.Native() + "/lib/没有";
    std::replace(shown.begin(), shown.end(), '/', '\\');
    svc.ExpectBox("无法删除 " + shown + "：文件夹不存在", "ERROR", plat::MB_OK | plat::MB_ICONERROR);
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
    std::string listed;
    if (FILE* out = popen(command.c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = fread(buf, 1, sizeof buf, out)) > 0;) listed.append(buf, n);
        pclose(out);
    }
    std::string shown;
    for (const unsigned char c : chinese.original) {
        char hex[8];
        std::snprintf(hex, sizeof hex, c < 0x80 ? "%c" : "\\x%02x", c);
        shown += hex;
    }
    EXPECT_EQ(listed, "trash:///%E5%8D%A1%20%E7%94%B2.datum.xml\t" + shown + "\ntrash:///card.datum.xml\t" +
                          ascii.original + "\n");
    EXPECT_EQ(dir.ReadFile("lib/notes/card.datum.xml"), "ascii card");
    EXPECT_FALSE(fs::exists(ascii.file) || fs::exists(ascii.info));
}

}  // namespace
