// The source manager: the class manager's twin without folders. The list file changes only on OK.
#include "managers/source_mang.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QLineEdit>
#include <filesystem>

#include "managers/mang_fixture.h"
#include "support/scripted_services.h"
#include "support/temp_dir.h"

using namespace mangfx;
using plat::Gbk;

namespace {

using Mang = Opened<CSourceMang>;
enum { kEdit = 1021, kAdd = 3, kDelete = 4, kUp = 7, kDown = 8, kOK = 1, kCancel = 2 };

std::string SourceListText(const std::vector<std::string>& names, int count = -1) {
    std::vector<std::string> l{"count=" + std::to_string(count < 0 ? int(names.size()) : count)};
    for (size_t i = 0; i < std::max<size_t>(100, names.size()); ++i)
        l.push_back("name" + std::to_string(i) + "=" + (i < names.size() ? names[i] : ""));
    return ListText(l);
}

class SourceMangTest : public ::testing::Test {
  protected:
    TempProgramDir dir;
    ScriptedServices svc;

    void Sources(const std::vector<std::string>& names, int count = -1) {
        dir.WriteFile("lib/_ _SETS_ _/source.list", SourceListText(names, count));
    }
    std::string ListOnDisk() const { return dir.ReadFile("lib/_ _SETS_ _/source.list"); }
    static std::unique_ptr<Mang> Make() {
        auto m = std::make_unique<Mang>(Gbk("lib\\_ _SETS_ _\\source.list"), nullptr);
        m->Init();
        return m;
    }
};

TEST_F(SourceMangTest, AddDeleteAndOrderThenOkWritesTheListByteForByte) {
    Sources({"报纸", "Book", "杂志"});
    auto m = Make();
    EXPECT_EQ(m->windowTitle().toStdString(), "CLASS/SOURCE MANG");
    EXPECT_EQ(Rows(*m), (std::vector<std::string>{"报纸", "Book", "杂志"}));

    Type(*m, kEdit, "网络\\博客");  // a '\' is plain text here: nothing is created
    Click(*m, kAdd);
    Type(*m, kEdit, "Book");  // already listed: nothing, no box
    Click(*m, kAdd);
    Type(*m, kEdit, "");
    Click(*m, kAdd);
    EXPECT_EQ(Rows(*m), (std::vector<std::string>{"报纸", "Book", "杂志", "网络\\博客"}));
    EXPECT_FALSE(dir.Exists("lib/网络"));

    Select(*m, 1);
    Click(*m, kDelete);  // at once, no question
    EXPECT_EQ(Rows(*m), (std::vector<std::string>{"报纸", "杂志", "网络\\博客"}));
    EXPECT_EQ(Marked(*m), -1);

    Select(*m, 0);
    Click(*m, kUp);  // first row: nothing
    Click(*m, kDown);
    EXPECT_EQ(Rows(*m), (std::vector<std::string>{"杂志", "报纸", "网络\\博客"}));
    EXPECT_EQ(Marked(*m), 1);
    Click(*m, kDown);
    Click(*m, kDown);  // last row: nothing
    EXPECT_EQ(Rows(*m), (std::vector<std::string>{"杂志", "网络\\博客", "报纸"}));
    EXPECT_EQ(Marked(*m), 2);

    Click(*m, kOK);
    EXPECT_TRUE(m->Ended());
    EXPECT_EQ(ListOnDisk(), SourceListText({"杂志", "网络\\博客", "报纸"}));
}

TEST_F(SourceMangTest, CancelAfterDeleteLeavesTheFileSoTheSourceIsListedAgain) {
    Sources({"A", "B"});
    const std::string before = ListOnDisk();
    {
        auto m = Make();
        Select(*m, 0);
        Click(*m, kDelete);
        Click(*m, kCancel);
        EXPECT_TRUE(m->Ended());
    }
    EXPECT_EQ(ListOnDisk(), before);
    EXPECT_EQ(Rows(*Make()), (std::vector<std::string>{"A", "B"}));
}

TEST_F(SourceMangTest, CountAboveOneHundredReadsOneHundredAndAddIsRefusedThen) {
    std::vector<std::string> names;
    for (int i = 0; i < 101; ++i) names.push_back("s" + std::to_string(i));
    Sources(names, 101);
    auto m = Make();
    EXPECT_EQ(m->m_nCount, 100);
    svc.ExpectBox("来源列表已满(最多 100 个)，不能再添加来源!", "ERROR", 0x10);
    Type(*m, kEdit, "more");
    Click(*m, kAdd);
    EXPECT_EQ(m->m_nCount, 100);
    EXPECT_EQ(Rows(*m).back(), "s99");
}

TEST_F(SourceMangTest, MissingOrUnwritableListFileIsReported) {
    svc.ExpectBox("找不到文件 lib\\_ _SETS_ _\\source.list", "ERROR", 0x10);
    {
        Mang m(Gbk("lib\\_ _SETS_ _\\source.list"), nullptr);
        EXPECT_EQ(m.DoModal(), plat::IDCANCEL);
    }

    Sources({"A"});
    const std::string before = ListOnDisk();
    auto m = Make();
    Type(*m, kEdit, "B");
    Click(*m, kAdd);
    const std::string native = dir.Native() + "/lib/_ _SETS_ _/source.list";
    ASSERT_EQ(chmod(native.c_str(), 0444), 0);
    svc.ExpectBox("不能写入文件 lib\\_ _SETS_ _\\source.list：没有写入的权限", "ERROR", 0x10);
    Click(*m, kOK);
    EXPECT_FALSE(m->Ended());
    EXPECT_EQ(ListOnDisk(), before);

    std::filesystem::remove(native);
    svc.ExpectBox("找不到文件 lib\\_ _SETS_ _\\source.list", "ERROR", 0x10);
    Click(*m, kOK);
    EXPECT_FALSE(m->Ended());
}

TEST_F(SourceMangTest, ListLackingSlotLinesGetsThemAppendedOnOk) {
    dir.WriteFile("lib/_ _SETS_ _/source.list", ListText({"count=0"}));
    auto m = Make();
    Type(*m, kEdit, "甲");
    Click(*m, kAdd);
    Type(*m, kEdit, "乙");
    Click(*m, kAdd);
    Click(*m, kOK);
    EXPECT_EQ(ListOnDisk(), ListText({"count=2", "name0=甲", "name1=乙"}));
}

}  // namespace
