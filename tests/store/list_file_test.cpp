#include "store/list_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/codec.h"
#include "platform/fs.h"
#include "support/temp_dir.h"

using plat::Gbk;

namespace {

const std::string kMissing(1, '\x02'), kNotLoaded(1, '\x01');

TEST(ListFileTest, ClassifiesLinesAndSavesTheExactBytes) {
    TempProgramDir dir;
    dir.WriteFile("x.lst", Golden("list_in.lst"));
    CListFile f;
    ASSERT_EQ(f.Load("x.lst"), 1);
    // Comments, sections, dropped lines and other case never answer; the first of two equal keys does.
    const std::pair<const char*, std::string> rows[] = {
        {"count", "3"},     {"a", "b=c"},           {"", "empty key"},          {"last", ""},
        {" ", "x"},         {" #x", "1"},           {"name0", Gbk("第一")},     {"no newline", "end"},
        {"Count", kMissing}, {"[tail]", kMissing}, {"# library registry", kMissing}, {"garbage line", kMissing}};
    for (const auto& [key, value] : rows) EXPECT_EQ(f.GetValue(key), value) << '"' << key << '"';

    EXPECT_EQ(f.SetValue("count", "2"), 1);
    EXPECT_EQ(f.SetValue("name0", Gbk("新名字")), 1);
    EXPECT_EQ(f.GetValue("name0"), Gbk("新名字"));
    EXPECT_EQ(f.SetValue("name1", "x"), -2);  // SetValue never adds
    f.Put("name1", Gbk("追加"));
    EXPECT_EQ(f.GetValue("name1"), Gbk("追加"));
    ASSERT_EQ(f.Save(), 1);
    EXPECT_TRUE(f.IsLoaded());
    EXPECT_EQ(dir.ReadFile("x.lst"), Golden("list_saved.lst"));
    // What Save wrote loads and saves back to the same bytes.
    f.Close();
    ASSERT_EQ(f.Load("x.lst"), 1);
    ASSERT_EQ(f.Save(), 1);
    EXPECT_EQ(dir.ReadFile("x.lst"), Golden("list_saved.lst"));

    // An empty file saves as an empty file; blanks around '=' belong to key and value.
    f.Close();
    dir.WriteFile("empty.lst", "");
    ASSERT_EQ(f.Load("empty.lst"), 1);
    EXPECT_EQ(f.GetValue(""), kMissing);
    ASSERT_EQ(f.Save(), 1);
    EXPECT_EQ(dir.ReadFile("empty.lst"), "");
    f.Close();
    dir.WriteFile("b.lst", "count = 5\n");
    ASSERT_EQ(f.Load("b.lst"), 1);
    EXPECT_EQ(f.GetValue("count"), kMissing);
    EXPECT_EQ(f.GetValue("count "), " 5");
}

TEST(ListFileTest, StateCodes) {
    TempProgramDir dir;
    CListFile f;
    EXPECT_EQ(f.GetValue("count"), kNotLoaded);
    EXPECT_EQ(f.SetValue("count", "1"), -1);
    EXPECT_EQ(f.AppendValue("count", "1"), -1);
    EXPECT_EQ(f.Save(), -2);
    EXPECT_EQ(f.Close(), 1);
    // A missing file: -1, the name is kept, and a Save creates nothing.
    EXPECT_EQ(f.Load("missing.lst"), -1);
    EXPECT_EQ(f.Path(), "missing.lst");
    EXPECT_FALSE(f.IsLoaded());
    EXPECT_EQ(f.Save(), -2);
    EXPECT_FALSE(dir.Exists("missing.lst"));
    // A second Load keeps the first file's entries.
    dir.WriteFile("one.lst", "k=1\n");
    dir.WriteFile("two.lst", "k=2\n");
    ASSERT_EQ(f.Load("one.lst"), 1);
    EXPECT_EQ(f.Load("two.lst"), -2);
    EXPECT_EQ(f.GetValue("k"), "1");
    EXPECT_EQ(f.Path(), "one.lst");
    EXPECT_EQ(f.Close(), 1);
    EXPECT_EQ(f.Path(), "");
    EXPECT_EQ(f.GetValue("k"), kNotLoaded);
    dir.MakeDir("folder.lst");
    EXPECT_EQ(f.Load("folder.lst"), -1);
}

TEST(ListFileTest, FailedSaveLeavesTheOldFile) {
    TempProgramDir dir;
    const std::string old = "count=1\r\nname0=a\r\n" + std::string(4000, '#') + "\r\n";
    dir.WriteFile("x.lst", old);
    CListFile f;
    ASSERT_EQ(f.Load("x.lst"), 1);
    f.SetValue("count", "2");
    for (auto [budget, err] : {std::pair{10, EIO}, std::pair{0, ENOSPC}}) {
        plat::fault::FailWritesAfter(budget, err);
        EXPECT_EQ(f.Save(), -1) << budget;
        plat::fault::Clear();
        EXPECT_EQ(dir.ReadFile("x.lst"), old);
    }
    ASSERT_EQ(chmod((dir.Native() + "/x.lst").c_str(), 0444), 0);  // cannot be opened for writing
    EXPECT_EQ(f.Save(), -1);
    EXPECT_EQ(dir.ReadFile("x.lst"), old);
    // Once the fault is gone the same object saves fine.
    ASSERT_EQ(chmod((dir.Native() + "/x.lst").c_str(), 0644), 0);
    EXPECT_EQ(f.Save(), 1);
    EXPECT_EQ(dir.ReadFile("x.lst").substr(0, 9), "count=2\r\n");
}

}  // namespace
