#include "store/copy_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/fs.h"
#include "platform/services.h"
#include "support/scripted_services.h"
#include "support/temp_dir.h"

namespace {

constexpr unsigned kErrorBox = plat::MB_OK | plat::MB_ICONERROR;

class CopyTreeTest : public ::testing::Test {
  protected:
    void Chmod(const std::string& rel, mode_t mode) {
        ASSERT_EQ(chmod((dir.Native() + "/" + rel).c_str(), mode), 0) << rel;
    }
    TempProgramDir dir;
    ScriptedServices svc;
};

TEST_F(CopyTreeTest, CopiesNestedTreesAndSkipsDotNames) {
    dir.WriteFile("src/a.txt", "A\r\n");
    dir.WriteFile("src/_ _SETS_ _/class.list", "count=0\r\n");
    dir.WriteFile("src/sub/deeper/" + std::string("\xE8\xAF\x97") + ".datum.xml", "deep");
    dir.WriteFile("src/.hidden", "h");
    dir.WriteFile("src/.git/config", "c");
    dir.WriteFile("src/sub/.keep", "");
    dir.MakeDir("src/empty");
    dir.MakeDir("dst");
    dir.WriteFile("dst/a.txt", "old and longer");  // replaced without a question

    EXPECT_EQ(CopyDirectoryTree("src\\", "dst\\"), 1);
    EXPECT_TRUE(svc.boxes.empty());
    EXPECT_EQ(dir.ReadFile("dst/a.txt"), "A\r\n");
    EXPECT_EQ(dir.ReadFile("dst/_ _SETS_ _/class.list"), "count=0\r\n");
    EXPECT_EQ(dir.ReadFile("dst/sub/deeper/\xE8\xAF\x97.datum.xml"), "deep");
    EXPECT_TRUE(dir.Exists("dst/empty"));
    EXPECT_FALSE(dir.Exists("dst/.hidden"));
    EXPECT_FALSE(dir.Exists("dst/.git"));
    EXPECT_FALSE(dir.Exists("dst/sub/.keep"));

    dir.MakeDir("src2");
    dir.MakeDir("dst2");
    EXPECT_EQ(CopyDirectoryTree("src2\\", "dst2\\"), 1);
}

TEST_F(CopyTreeTest, MissingSource) {
    dir.MakeDir("dst");
    svc.ExpectBox("目录 set\\null.daum\\ 不存在", "ERROR", kErrorBox);
    EXPECT_EQ(CopyDirectoryTree("set\\null.daum\\", "dst\\"), 0);
    std::vector<plat::DirEntry> left;
    ASSERT_TRUE(plat::ListDir("dst\\", left));
    EXPECT_TRUE(left.empty());
}

TEST_F(CopyTreeTest, ExistingSubDirectoryStopsTheCopy) {
    dir.WriteFile("src/a.txt", "A");
    dir.WriteFile("src/sub/b.txt", "B");
    dir.WriteFile("src/z.txt", "Z");
    dir.MakeDir("dst/sub");
    svc.ExpectBox("不能创建目录 dst\\sub\\", "ERROR", kErrorBox);
    EXPECT_EQ(CopyDirectoryTree("src\\", "dst\\"), 0);
    EXPECT_EQ(dir.ReadFile("dst/a.txt"), "A");  // copied before the failure, kept
    EXPECT_FALSE(dir.Exists("dst/sub/b.txt"));
    EXPECT_FALSE(dir.Exists("dst/z.txt"));
}

TEST_F(CopyTreeTest, ReadOnlyTargetFileStopsTheCopy) {
    dir.WriteFile("src/a.txt", "A");
    dir.WriteFile("src/b.txt", "B");
    dir.WriteFile("src/c.txt", "C");
    dir.WriteFile("dst/b.txt", "locked");
    Chmod("dst/b.txt", 0444);
    svc.ExpectBox("不能把文件 src\\b.txt 拷贝到 dst\\b.txt", "ERROR", kErrorBox);
    EXPECT_EQ(CopyDirectoryTree("src\\", "dst\\"), 0);
    EXPECT_EQ(dir.ReadFile("dst/a.txt"), "A");
    EXPECT_EQ(dir.ReadFile("dst/b.txt"), "locked");
    EXPECT_FALSE(dir.Exists("dst/c.txt"));
}

TEST_F(CopyTreeTest, FoldersWithOtherAttributesAreCopiedAsFilesAndFail) {
    // A symbolic link to a folder is never followed (this one points back up and would loop). The failure
    // deep inside shows one box and stops the outer levels too.
    dir.WriteFile("src/sub/a.txt", "A");
    ASSERT_EQ(symlink("..", (dir.Native() + "/src/sub/loop").c_str()), 0);
    dir.WriteFile("src/z.txt", "Z");
    dir.MakeDir("dst");
    svc.ExpectBox("不能把文件 src\\sub\\loop 拷贝到 dst\\sub\\loop", "ERROR", kErrorBox);
    EXPECT_EQ(CopyDirectoryTree("src\\", "dst\\"), 0);
    EXPECT_EQ(dir.ReadFile("dst/sub/a.txt"), "A");
    EXPECT_FALSE(dir.Exists("dst/sub/loop"));
    EXPECT_FALSE(dir.Exists("dst/z.txt"));

    // A read-only folder carries a second attribute bit as well.
    dir.WriteFile("ro/locked/y.txt", "Y");
    Chmod("ro/locked", 0555);
    dir.MakeDir("dst2");
    svc.ExpectBox("不能把文件 ro\\locked 拷贝到 dst2\\locked", "ERROR", kErrorBox);
    EXPECT_EQ(CopyDirectoryTree("ro\\", "dst2\\"), 0);
}

TEST(AskFileNameTest, PassesEverythingThroughTheServices) {
    ScriptedServices svc;
    svc.QueueFileName("lib\\a.xml");
    svc.QueueFileName("");
    EXPECT_EQ(AskFileName(nullptr, true, ".xml", "", "XML File(*.xml)|*.xml"), "lib\\a.xml");
    EXPECT_EQ(AskFileName(nullptr, false, ".datum.xml", "c\\t.datum.xml", "All File(*.*)|*.*|"), "");
    ASSERT_EQ(svc.fileDialogs.size(), 2u);
    EXPECT_TRUE(svc.fileDialogs[0].open);
    EXPECT_EQ(svc.fileDialogs[0].filter, "XML File(*.xml)|*.xml");
    EXPECT_FALSE(svc.fileDialogs[1].open);
    EXPECT_EQ(svc.fileDialogs[1].defaultExt, ".datum.xml");
    EXPECT_EQ(svc.fileDialogs[1].initialName, "c\\t.datum.xml");
}

}  // namespace
