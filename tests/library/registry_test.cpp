#include "library/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "support/temp_dir.h"

using plat::Gbk;

namespace {

// A registry with `filled` name/path pairs (and empty pre-made lines up to `slotLines`).
std::string Registry(const std::string& count, const std::string& use, int filled, int slotLines = 50) {
    std::string s = "# korvane\r\ncount=" + count + "\r\nuse=" + use + "\r\n";
    for (int i = 0; i < slotLines; ++i) {
        std::string n = std::to_string(i);
        s += "name" + n + "=" + (i < filled ? Gbk("资料库") + n : "") + "\r\n";
        s += "path" + n + "=" + (i < filled ? "lib\\" + n : "") + "\r\n";
    }
    return s;
}

class RegistryTest : public ::testing::Test {
  protected:
    LibraryRegistry Read(const std::string& text) {
        dir.WriteFile("set/datumlib.lst", text);
        LibraryRegistry reg;
        std::string error;
        EXPECT_TRUE(ReadRegistry(reg, error)) << error;
        return reg;
    }
    TempProgramDir dir;
};

TEST_F(RegistryTest, MissingFileLeavesEverythingAsItWas) {
    LibraryRegistry reg;
    reg.count = 1;
    reg.entries[0] = {"keep", "keep"};
    std::string error;
    EXPECT_FALSE(ReadRegistry(reg, error));
    EXPECT_EQ(error, Gbk("没有找到配置文件 set\\datumlib.lst"));
    EXPECT_EQ(reg.count, 1);
    EXPECT_EQ(reg.entries[0].name, "keep");

    error.clear();
    EXPECT_FALSE(WriteRegistry(reg, error));
    EXPECT_EQ(error, Gbk("没有找到配置文件 set\\datumlib.lst"));
    EXPECT_FALSE(dir.Exists("set/datumlib.lst"));
}

TEST_F(RegistryTest, Limits) {
    LibraryRegistry reg = Read(Registry("60", "55", 60, 60));
    EXPECT_EQ(reg.count, 50);
    EXPECT_EQ(reg.use, 49);
    EXPECT_EQ(reg.entries[49].name, Gbk("资料库") + "49");
    EXPECT_EQ(reg.entries[49].path, "lib\\49");
    EXPECT_EQ(LibraryRoot(reg.entries[49]), "lib\\49\\");

    reg = Read(Registry("3", "7", 3));
    EXPECT_EQ(reg.count, 3);
    EXPECT_EQ(reg.use, 2);
    EXPECT_EQ(reg.entries[3].name, "");  // slots at or above count are not read

    reg = Read(Registry(" +2", "-4", 3));
    EXPECT_EQ(reg.count, 2);
    EXPECT_EQ(reg.use, 0);

    for (const std::string& none : {Registry("0", "5", 3), Registry("-3", "5", 3), Registry("abc", "5", 3),
                                     std::string("name0=a\r\npath0=b\r\n")}) {
        reg = Read(none);
        EXPECT_EQ(reg.count + reg.use, 0) << none.substr(0, 30);
    }

    // A slot below count whose lines are missing reads as the missing-key result.
    reg = Read(Registry("4", "1", 3, 3));
    EXPECT_EQ(reg.count, 4);
    EXPECT_EQ(reg.entries[3].name, std::string(1, '\x02'));
    EXPECT_EQ(reg.entries[3].path, std::string(1, '\x02'));
}

TEST_F(RegistryTest, WriteKeepsStaleSlotsAndAppendsMissingOnes) {
    LibraryRegistry reg = Read(Registry("3", "2", 3, 3));
    reg.entries[3] = {Gbk("新库"), "\\abs\\new"};
    reg.count = 4;
    reg.use = 3;
    std::string error;
    ASSERT_TRUE(WriteRegistry(reg, error)) << error;
    std::string expected = Registry("4", "3", 3, 3) + "name3=" + Gbk("新库") + "\r\npath3=\\abs\\new\r\n";
    EXPECT_EQ(dir.ReadFile("set/datumlib.lst"), expected);

    LibraryRegistry back = Read(expected);
    EXPECT_EQ(back.count, 4);
    EXPECT_EQ(back.entries[3].name, Gbk("新库"));
    EXPECT_EQ(back.entries[3].path, "\\abs\\new");

    // Removing one library: count drops, the old lines of the last slot stay as they were.
    back.entries[1] = back.entries[2];
    back.entries[2] = back.entries[3];
    back.count = 3;
    back.use = 0;
    ASSERT_TRUE(WriteRegistry(back, error)) << error;
    const std::string text = dir.ReadFile("set/datumlib.lst");
    EXPECT_NE(text.find("count=3\r\nuse=0\r\n"), std::string::npos);
    EXPECT_NE(text.find("name1=" + Gbk("资料库") + "2\r\n"), std::string::npos);
    EXPECT_NE(text.find("name3=" + Gbk("新库") + "\r\npath3=\\abs\\new\r\n"), std::string::npos);

    // A registry of 60 written back says 50.
    LibraryRegistry big = Read(Registry("60", "0", 60, 60));
    ASSERT_TRUE(WriteRegistry(big, error)) << error;
    EXPECT_EQ(dir.ReadFile("set/datumlib.lst").substr(0, 21), "# korvane\r\ncount=50\r\n");
}

TEST_F(RegistryTest, FailedRewriteIsReportedAndLeavesTheOldFile) {
    const std::string old = Registry("2", "1", 2);
    LibraryRegistry reg = Read(old);
    reg.count = 1;
    std::string error;
    {
        plat::fault::FailWritesAfter(20, EIO);
        EXPECT_FALSE(WriteRegistry(reg, error));
        plat::fault::Clear();
    }
    EXPECT_EQ(error, Gbk("不能写入配置文件 set\\datumlib.lst：读写设备时出错"));
    EXPECT_EQ(dir.ReadFile("set/datumlib.lst"), old);

    error.clear();
    ASSERT_EQ(chmod((dir.Native() + "/set/datumlib.lst").c_str(), 0444), 0);
    EXPECT_FALSE(WriteRegistry(reg, error));
    EXPECT_EQ(error, Gbk("不能写入配置文件 set\\datumlib.lst：没有写入的权限"));
    EXPECT_EQ(dir.ReadFile("set/datumlib.lst"), old);
}

}  // namespace
