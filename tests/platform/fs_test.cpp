#include "platform/fs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "platform/codec.h"
#include "support/temp_dir.h"

using plat::Gbk;
namespace fs = std::filesystem;

namespace {
std::vector<std::pair<std::string, unsigned>> List(const std::string& internal) {
    std::vector<plat::DirEntry> entries;
    EXPECT_TRUE(plat::ListDir(internal, entries)) << internal;
    std::vector<std::pair<std::string, unsigned>> out;
    for (const auto& e : entries) out.emplace_back(plat::GbkToUtf8(e.name), e.attrs);
    return out;
}

mode_t Mode(const std::string& native) {
    struct stat st;
    return stat(native.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}
}  // namespace

TEST(ListDir, SortsLikeTheSystemAndReportsAttributes) {
    using namespace plat;
    TempProgramDir dir;
    const std::string n = dir.Native() + "/lib";
    dir.WriteFile("lib/b.txt", "");
    dir.WriteFile("lib/a.txt", "");
    dir.WriteFile("lib/A.txt", "");
    dir.WriteFile("lib/表.datum.xml", "");
    dir.WriteFile("lib/卡.datum.xml", "");
    dir.WriteFile("lib/😀.txt", "");  // GBK cannot name it
    dir.MakeDir("lib/Class");
    dir.MakeDir("lib/_ _SETS_ _");
    dir.MakeDir("lib/.hid");
    dir.MakeDir("lib/ro");
    chmod((n + "/ro").c_str(), 0555);
    dir.WriteFile("lib/rofile", "");
    chmod((n + "/rofile").c_str(), 0444);
    symlink("Class", (n + "/link").c_str());
    symlink("b.txt", (n + "/flink").c_str());
    symlink("loop", (n + "/loop").c_str());
    symlink("nowhere", (n + "/dangling").c_str());

    std::vector<std::pair<std::string, unsigned>> want = {
        {".hid", kAttrDirectory | kAttrHidden},
        {"A.txt", kAttrArchive},
        {"a.txt", kAttrArchive},
        {"b.txt", kAttrArchive},
        {"Class", kAttrDirectory},
        {"dangling", kAttrReparse | kAttrArchive},
        {"flink", kAttrReparse | kAttrArchive},
        {"link", kAttrReparse | kAttrDirectory},
        {"loop", kAttrReparse | kAttrArchive},
        {"ro", kAttrDirectory | kAttrReadOnly},
        {"rofile", kAttrArchive},  // files are told from folders only: no stat per file
        {"_ _SETS_ _", kAttrDirectory},  // '_' comes after the (upper-cased) letters
        {"卡.datum.xml", kAttrArchive},  // U+5361
        {"表.datum.xml", kAttrArchive},  // U+8868
    };
    EXPECT_EQ(List(dir.Internal() + "\\lib"), want);
    EXPECT_EQ(List("lib\\"), want);  // relative, with a final separator
    EXPECT_TRUE(IsPlainDirectory(kAttrDirectory));
    for (const auto& [name, attrs] : want) EXPECT_EQ(IsPlainDirectory(attrs), name == "Class" || name[0] == '_');

    std::vector<plat::DirEntry> out{{"stale", 0}};  // fails on what is not a folder, and clears the list
    EXPECT_FALSE(ListDir("missing", out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(ListDir("lib\\b.txt", out));
}

TEST(FileSystem, CreateRemoveDeleteAndQueries) {
    TempProgramDir dir;
    const std::string name = Gbk("类别");
    EXPECT_TRUE(plat::CreateDir(name));
    EXPECT_FALSE(plat::CreateDir(name));              // exists
    EXPECT_FALSE(plat::CreateDir(Gbk("无\\子")));      // one level only
    EXPECT_TRUE(plat::IsDir(name));
    EXPECT_FALSE(plat::IsFile(name));
    EXPECT_TRUE(dir.Exists("类别"));

    dir.WriteFile("类别/f.txt", "x");
    const std::string file = name + "\\f.txt";
    EXPECT_TRUE(plat::IsFile(file));
    EXPECT_FALSE(plat::IsDir(file));
    EXPECT_FALSE(plat::RemoveDir(name));  // not empty
    EXPECT_FALSE(plat::DeleteFile(name));  // a folder
    EXPECT_TRUE(plat::DeleteFile(file));
    EXPECT_FALSE(plat::DeleteFile(file));
    EXPECT_FALSE(plat::IsFile(file));
    EXPECT_TRUE(plat::RemoveDir(name));
    EXPECT_FALSE(plat::IsDir(name));
}

TEST(FileSystem, CurrentDirectoryInInternalForm) {
    TempProgramDir dir;
    EXPECT_EQ(plat::GetCurrentDir(), dir.Internal());
    dir.MakeDir("子目录");
    ASSERT_TRUE(plat::SetCurrentDir(Gbk("子目录")));
    EXPECT_EQ(plat::GetCurrentDir(), dir.Internal() + Gbk("\\子目录"));
    ASSERT_TRUE(plat::SetCurrentDir("\\"));
    EXPECT_EQ(plat::GetCurrentDir(), "\\");
    EXPECT_FALSE(plat::SetCurrentDir("\\no such folder here"));
    EXPECT_EQ(plat::GetCurrentDir(), "\\");
}

TEST(CopyFile, OverwriteFailIfExistsReadOnlyTargetsAndLargeFilesWithTheirMode) {
    TempProgramDir dir;
    dir.WriteFile("src.txt", "new bytes");
    dir.WriteFile("old.txt", "old old old old");
    dir.WriteFile("ro.txt", "keep");
    chmod((dir.Native() + "/ro.txt").c_str(), 0444);

    EXPECT_TRUE(plat::CopyFile("src.txt", "fresh.txt", true));
    EXPECT_EQ(dir.ReadFile("fresh.txt"), "new bytes");
    EXPECT_FALSE(plat::CopyFile("src.txt", "old.txt", true));
    EXPECT_EQ(dir.ReadFile("old.txt"), "old old old old");
    EXPECT_TRUE(plat::CopyFile("src.txt", "old.txt", false));
    EXPECT_EQ(dir.ReadFile("old.txt"), "new bytes");  // truncated, not merged

    EXPECT_FALSE(plat::CopyFile("src.txt", "ro.txt", false));  // even for root
    EXPECT_EQ(dir.ReadFile("ro.txt"), "keep");
    EXPECT_FALSE(plat::CopyFile("missing.txt", "x.txt", false));
    EXPECT_FALSE(dir.Exists("x.txt"));
    EXPECT_FALSE(plat::CopyFile("src.txt", "src.txt", false));
    EXPECT_EQ(dir.ReadFile("src.txt"), "new bytes");
    dir.MakeDir("folder");
    EXPECT_FALSE(plat::CopyFile("folder", "y", false));
    EXPECT_FALSE(plat::CopyFile("src.txt", "folder", false));

    std::string big(300 * 1024 + 7, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 + 7);
    dir.WriteFile("big.bin", big);
    chmod((dir.Native() + "/big.bin").c_str(), 0640);
    ASSERT_TRUE(plat::CopyFile(dir.Internal() + "\\big.bin", Gbk("副本.bin"), false));
    EXPECT_EQ(dir.ReadFile("副本.bin"), big);
    EXPECT_EQ(Mode(dir.Native() + "/副本.bin"), 0640u);
}

// The scan hands the same list to folder after folder; a folder's entries arrive over several reads.
TEST(ListDir, ReusedListHoldsOnlyTheNewFolderAndBigFoldersAreComplete) {
    TempProgramDir dir;
    const int kMany = 3000;  // about 150 KB of directory entries: several reads of the kernel's list
    for (int i = kMany - 1; i >= 0; --i) {
        char name[64];
        std::snprintf(name, sizeof name, "big/卡片-a-fairly-long-name-%05d.datum.xml", i);
        dir.WriteFile(name, "");
    }
    dir.WriteFile("small/z.txt", "");
    dir.WriteFile("small/😀.txt", "");  // skipped: its slot must not keep the previous folder's name
    dir.MakeDir("small/Ab");

    std::vector<plat::DirEntry> list;
    ASSERT_TRUE(plat::ListDir("big", list));
    ASSERT_EQ(list.size(), static_cast<std::size_t>(kMany));
    for (int i = 0; i < kMany; ++i) {
        char want[64];
        std::snprintf(want, sizeof want, "卡片-a-fairly-long-name-%05d.datum.xml", i);
        ASSERT_EQ(plat::GbkToUtf8(list[i].name), want) << i;
        ASSERT_EQ(list[i].attrs, plat::kAttrArchive) << i;
    }

    ASSERT_TRUE(plat::ListDir("small", list));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, "Ab");
    EXPECT_EQ(list[0].attrs, plat::kAttrDirectory);
    EXPECT_EQ(list[1].name, "z.txt");
    EXPECT_EQ(list[1].attrs, plat::kAttrArchive);
}
