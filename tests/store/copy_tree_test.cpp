#include "store/copy_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/fs.h"
#include "platform/services.h"
#include "support/scripted_services.h"
#include "support/temp_dir.h"

namespace {

class CopyTreeTest : public ::testing::Test {
  protected:
    void Files(std::initializer_list<const char*> rels) {
        for (const char* r : rels) dir.WriteFile(r, std::string(r).substr(std::string(r).rfind('/') + 1));
    }
    // The copy fails with one error box `box`.
    void Fails(const std::string& from, const std::string& to, const std::string& box) {
        svc.ExpectBox(box, "ERROR", plat::MB_OK | plat::MB_ICONERROR);
        EXPECT_EQ(CopyDirectoryTree(from, to), 0) << box;
    }
    TempProgramDir dir;
    ScriptedServices svc;
};

TEST_F(CopyTreeTest, CopiesNestedTreesAndSkipsDotNames) {
    Files({"src/a.txt", "src/_ _SETS_ _/class.list", "src/sub/deeper/\xE8\xAF\x97.datum.xml", "src/.hidden",
           "src/.git/config", "src/sub/.keep"});
    dir.MakeDir("src/empty");
    dir.WriteFile("dst/a.txt", "old and longer");  // replaced without a question
    EXPECT_EQ(CopyDirectoryTree("src\\", "dst\\"), 1);
    EXPECT_TRUE(svc.boxes.empty());
    EXPECT_EQ(dir.ReadFile("dst/a.txt"), "a.txt");
    EXPECT_EQ(dir.ReadFile("dst/_ _SETS_ _/class.list"), "class.list");
    EXPECT_EQ(dir.ReadFile("dst/sub/deeper/\xE8\xAF\x97.datum.xml"), "\xE8\xAF\x97.datum.xml");
    EXPECT_TRUE(dir.Exists("dst/empty"));
    for (const char* dot : {"dst/.hidden", "dst/.git", "dst/sub/.keep"}) EXPECT_FALSE(dir.Exists(dot)) << dot;
}

TEST_F(CopyTreeTest, FailuresShowOneBoxStopAndKeepWhatWasCopied) {
    dir.MakeDir("dst");
    Fails("set\\null.daum\\", "dst\\", "目录 set\\null.daum\\ 不存在");
    std::vector<plat::DirEntry> left;
    ASSERT_TRUE(plat::ListDir("dst\\", left));
    EXPECT_TRUE(left.empty());

    // An existing sub-folder of the target.
    Files({"src/a.txt", "src/sub/b.txt", "src/z.txt"});
    dir.MakeDir("dst/sub");
    Fails("src\\", "dst\\", "不能创建目录 dst\\sub\\");
    EXPECT_EQ(dir.ReadFile("dst/a.txt"), "a.txt");
    EXPECT_FALSE(dir.Exists("dst/sub/b.txt"));
    EXPECT_FALSE(dir.Exists("dst/z.txt"));

    // A read-only target file.
    Files({"ro/a.txt", "ro/b.txt", "ro/c.txt"});
    dir.WriteFile("dst2/b.txt", "locked");
    ASSERT_EQ(chmod((dir.Native() + "/dst2/b.txt").c_str(), 0444), 0);
    Fails("ro\\", "dst2\\", "不能把文件 ro\\b.txt 拷贝到 dst2\\b.txt");
    EXPECT_EQ(dir.ReadFile("dst2/a.txt"), "a.txt");
    EXPECT_EQ(dir.ReadFile("dst2/b.txt"), "locked");
    EXPECT_FALSE(dir.Exists("dst2/c.txt"));
}

TEST_F(CopyTreeTest, FoldersWithOtherAttributesAreCopiedAsFilesAndFail) {
    // A link to a folder is never followed (this one loops); the failure deep inside stops the outer levels.
    Files({"src/sub/a.txt", "src/z.txt"});
    ASSERT_EQ(symlink("..", (dir.Native() + "/src/sub/loop").c_str()), 0);
    dir.MakeDir("dst");
    Fails("src\\", "dst\\", "不能把文件 src\\sub\\loop 拷贝到 dst\\sub\\loop");
    EXPECT_EQ(dir.ReadFile("dst/sub/a.txt"), "a.txt");
    EXPECT_FALSE(dir.Exists("dst/sub/loop"));
    EXPECT_FALSE(dir.Exists("dst/z.txt"));
    // A read-only folder carries a second attribute bit as well.
    Files({"ro/locked/y.txt"});
    ASSERT_EQ(chmod((dir.Native() + "/ro/locked").c_str(), 0555), 0);
    dir.MakeDir("dst2");
    Fails("ro\\", "dst2\\", "不能把文件 ro\\locked 拷贝到 dst2\\locked");
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
