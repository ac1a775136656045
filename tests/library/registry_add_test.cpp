// What a folder is to the registry when it is added as an existing library, and the registry's one new line.
#include "library/registry_add.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/codec.h"
#include "support/temp_dir.h"

using plat::Gbk;

namespace {

TEST(RegistryAddTest, EachKindOfFolderAndItsName) {
    TempProgramDir dir;
    dir.WriteFile("lib/_ _SETS_ _/class.list", "count=0\r\n");
    dir.WriteFile("other/_ _SETS_ _/class.list", "count=0\r\n");
    dir.WriteFile("plain/x.txt", "x");
    dir.MakeDir("sets-only/_ _SETS_ _");
    dir.WriteFile("file", "x");
    ASSERT_EQ(symlink((dir.Native() + "/lib").c_str(), (dir.Native() + "/link").c_str()), 0);
    LibraryRegistry reg;
    reg.entries[0] = {Gbk("甲"), "lib"};
    reg.count = 1;
    using V = libadd::Verdict;
    const struct {
        const char* folder;
        V verdict;
        const char* name;
    } cases[] = {
        {"other", V::Library, "other"},       {"other\\\\", V::Library, "other"},
        {"lib\\", V::Registered, "甲"},       {"link", V::Registered, "甲"},
        {"sub/../lib", V::Registered, "甲"},  {"plain", V::NotLibrary, ""},
        {"sets-only", V::Unreadable, ""},     {"file", V::Missing, ""},
        {"nowhere", V::Missing, ""},          {"", V::Missing, ""},
    };
    dir.MakeDir("sub");
    for (const auto& c : cases) {
        const libadd::Finding f = libadd::Examine(reg, c.folder);
        EXPECT_EQ(f.verdict, c.verdict) << c.folder;
        EXPECT_EQ(plat::GbkToUtf8(f.name), c.name) << c.folder;
    }
    // A GBK character whose trail byte is '\\' ends the name; it is no separator.
    EXPECT_EQ(libadd::FolderName(Gbk("\\home\\乗\\")), Gbk("乗"));
    EXPECT_EQ(libadd::FolderName("a/b//"), "b");
}

TEST(RegistryAddTest, AddWritesOneSlotAndRefusalsLeaveTheFileAlone) {
    TempProgramDir dir;
    dir.WriteFile("lib/_ _SETS_ _/class.list", "count=0\r\n");
    const std::string registry = "count=0\r\nuse=0\r\nname0=\r\npath0=\r\nname1=\r\npath1=\r\n";
    dir.WriteFile("set/datumlib.lst", registry);
    std::string error;
    EXPECT_FALSE(libadd::AddToRegistry("a\tb", "lib", error));
    EXPECT_FALSE(libadd::AddToRegistry("", "plain", error));
    EXPECT_EQ(dir.ReadFile("set/datumlib.lst"), registry);
    ASSERT_TRUE(libadd::AddToRegistry("", "lib\\", error)) << plat::GbkToUtf8(error);
    EXPECT_EQ(dir.ReadFile("set/datumlib.lst"), "count=1\r\nuse=0\r\nname0=lib\r\npath0=lib\r\nname1=\r\npath1=\r\n");
    EXPECT_FALSE(libadd::AddToRegistry("again", "lib", error));
    EXPECT_EQ(plat::GbkToUtf8(error), "目录 lib 已经登记为资料库 lib。");
}

}  // namespace
