// The class manager over a temporary library: the list file read and written byte for byte, class folders
// created and removed at once, the sub-class rule, Up and Down with the mark following, every failure box.
#include "managers/class_mang.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QLineEdit>
#include <QTreeWidget>
#include <filesystem>

#include "managers/mang_fixture.h"
#include "support/scripted_services.h"
#include "support/temp_dir.h"

using namespace mangfx;
using plat::Gbk;
namespace fs = std::filesystem;

namespace {

using Mang = Opened<CClassMang>;
enum { kEdit = 1021, kAdd = 3, kDelete = 4, kUp = 7, kDown = 8, kOK = 1, kCancel = 2 };

const char kQuestion[] =
    "该类别删除后,其中所有的资料都将被删除,请在删除前做好备份。\n                   你确认现在要删除吗?";

// class.list with `count` and 100 pre-made slot lines (or only the listed ones when `allSlots` is false).
std::string ClassListText(const std::vector<std::string>& names, bool allSlots = true, int count = -1) {
    std::vector<std::string> l{"# classes", "count=" + std::to_string(count < 0 ? int(names.size()) : count)};
    const size_t n = allSlots ? std::max<size_t>(100, names.size()) : names.size();
    for (size_t i = 0; i < n; ++i) {
        l.push_back("name" + std::to_string(i) + "=" + (i < names.size() ? names[i] : ""));
        l.push_back("path" + std::to_string(i) + "=" + (i < names.size() ? "lib\\" + names[i] + "\\" : ""));
    }
    return ListText(l);
}

class ClassMangTest : public ::testing::Test {
  protected:
    TempProgramDir dir;
    ScriptedServices svc;

    void Library(const std::vector<std::string>& names, bool allSlots = true) {
        dir.WriteFile("lib/_ _SETS_ _/class.list", ClassListText(names, allSlots));
        for (const auto& n : names) {
            std::string native = n;
            for (auto& c : native)
                if (c == '\\') c = '/';
            dir.MakeDir("lib/" + native);
        }
    }
    std::string ListOnDisk() const { return dir.ReadFile("lib/_ _SETS_ _/class.list"); }
    static Mang* Make() { return new Mang(Gbk("lib\\"), Gbk("lib\\_ _SETS_ _\\class.list"), nullptr); }
};

TEST_F(ClassMangTest, OpensWithTheClassesInListOrder) {
    Library({"历史", "Zoo", "历史\\近代"});
    std::unique_ptr<Mang> m(Make());
    m->Init();
    EXPECT_EQ(m->windowTitle().toStdString(), "CLASS/SOURCE MANG");
    EXPECT_EQ(Rows(*m), (std::vector<std::string>{"历史", "Zoo", "历史\\近代"}));
    EXPECT_EQ(m->m_classes[2].path, Gbk("lib\\历史\\近代\\"));
    EXPECT_TRUE(m->ItemAs<QTreeWidget>(1020)->isHeaderHidden());
    EXPECT_FALSE(m->Ended());
}

TEST_F(ClassMangTest, MissingListFileClosesTheDialogWithCancel) {
    svc.ExpectBox("找不到文件 lib\\_ _SETS_ _\\class.list", "ERROR", 0x10);
    std::unique_ptr<Mang> m(Make());
    EXPECT_EQ(m->DoModal(), plat::IDCANCEL);
}

TEST_F(ClassMangTest, AddCreatesTheFolderAndOkWritesTheListByteForByte) {
    Library({"A"});
    const std::string before = ListOnDisk();
    std::unique_ptr<Mang> m(Make());
    m->Init();

    Type(*m, kEdit, "乙类");
    Click(*m, kAdd);
    EXPECT_TRUE(dir.Exists("lib/乙类"));
    EXPECT_EQ(Rows(*m), (std::vector<std::string>{"A", "乙类"}));
    EXPECT_EQ(m->ItemAs<QLineEdit>(kEdit)->text().toStdString(), "乙类") << "the edit keeps its text";

    // Empty, or already listed (exact comparison): nothing happens and nothing is shown.
    Click(*m, kAdd);
    Type(*m, kEdit, "");
    Click(*m, kAdd);
    EXPECT_EQ(Rows(*m).size(), 2u);

    // A nested class inside an existing parent.
    Type(*m, kEdit, "A\\子");
    Click(*m, kAdd);
    EXPECT_TRUE(dir.Exists("lib/A/子"));
    EXPECT_EQ(ListOnDisk(), before) << "nothing is written before OK";

    Click(*m, kOK);
    EXPECT_TRUE(m->Ended());
    EXPECT_EQ(ListOnDisk(), ClassListText({"A", "乙类", "A\\子"}));
}

TEST_F(ClassMangTest, AddFailureShowsTheUncaptionedBoxAndAddsNothing) {
    Library({});
    std::unique_ptr<Mang> m(Make());
    m->Init();
    svc.ExpectBox("创建目录 lib\\无父\\子\\  失败!", std::nullopt, 0x00);
    Type(*m, kEdit, "无父\\子");
    Click(*m, kAdd);
    EXPECT_TRUE(Rows(*m).empty());
    EXPECT_FALSE(dir.Exists("lib/无父"));
}

TEST_F(ClassMangTest, NamesThatAreNoPlainFolderBelowTheLibraryAreRefused) {
    Library({"A"});
    std::unique_ptr<Mang> m(Make());
    m->Init();
    for (const char* bad : {"..\\x", "A\\..\\..\\b", "\\abs", "A\\\\b", "A\\", ".", "A\\.", "x/y", "A/../c"}) {
        SCOPED_TRACE(bad);
        svc.ExpectBox("类别名称不能以 \\ 开头或结尾，不能含有 / 或连续的 \\，也不能有 . 或 .. 这样的路径部分!", "ERROR",
                      0x10);
        Type(*m, kEdit, bad);
        Click(*m, kAdd);
        svc.VerifyAllUsed();
    }
    EXPECT_EQ(Rows(*m), std::vector<std::string>{"A"});
    EXPECT_FALSE(dir.Exists("x") || dir.Exists("b") || dir.Exists("lib/c") || dir.Exists("lib/A/b"));

    // 乗 is 0x81 0x5C: its trail byte is no separator, so "乗." is one plain part.
    Type(*m, kEdit, "乗.");
    Click(*m, kAdd);
    EXPECT_TRUE(dir.Exists("lib/乗."));
}

TEST_F(ClassMangTest, AHundredAndFirstClassIsRefused) {
    std::vector<std::string> names;
    for (int i = 0; i < 100; ++i) names.push_back("c" + std::to_string(i));
    Library(names);
    std::unique_ptr<Mang> m(Make());
    m->Init();
    svc.ExpectBox("类别列表已满(最多 100 个)，不能再添加类别!", "ERROR", 0x10);
    Type(*m, kEdit, "more");
    Click(*m, kAdd);
    EXPECT_FALSE(dir.Exists("lib/more"));
    EXPECT_EQ(m->m_nCount, 100);
}

TEST_F(ClassMangTest, ListLackingSlotLinesGetsThemAppendedOnOk) {
    Library({"A"}, false);
    std::unique_ptr<Mang> m(Make());
    m->Init();
    Type(*m, kEdit, "B");
    Click(*m, kAdd);
    Click(*m, kOK);
    EXPECT_EQ(ListOnDisk(),
              ListText({"# classes", "count=2", "name0=A", "path0=lib\\A\\", "name1=B", "path1=lib\\B\\"}));
}

TEST_F(ClassMangTest, DeleteAsksThenRemovesTheEmptyFolderAndTheEntry) {
    Library({"A", "B"});
    std::unique_ptr<Mang> m(Make());
    m->Init();
    Click(*m, kDelete);  // no row marked: no question, nothing removed
    EXPECT_EQ(Rows(*m).size(), 2u);

    svc.ExpectBox(kQuestion, "QUES", 0x24, plat::IDNO);
    Select(*m, 0);
    Click(*m, kDelete);
    EXPECT_EQ(Rows(*m), (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(dir.Exists("lib/A"));

    svc.ExpectBox(kQuestion, "QUES", 0x24, plat::IDYES);
    Select(*m, 0);
    Click(*m, kDelete);
    EXPECT_EQ(Rows(*m), std::vector<std::string>{"B"});
    EXPECT_FALSE(dir.Exists("lib/A"));
    EXPECT_EQ(Marked(*m), -1);
}

TEST_F(ClassMangTest, DeleteOfAFolderWithCardsLeavesThemAndDropsTheEntry) {
    Library({"A", "B"});
    dir.WriteFile("lib/A/c.datum.xml", "card");
    std::unique_ptr<Mang> m(Make());
    m->Init();
    svc.ExpectBox(kQuestion, "QUES", 0x24, plat::IDYES);
    svc.ExpectBox("无法删除目录 lib\\A\\ 请手动删除!", "ERROR", 0x40);
    Select(*m, 0);
    Click(*m, kDelete);
    EXPECT_EQ(Rows(*m), std::vector<std::string>{"B"});
    EXPECT_EQ(dir.ReadFile("lib/A/c.datum.xml"), "card");
    Click(*m, kOK);
    EXPECT_EQ(ListOnDisk(), [] {
        // count 1, slot 0 now B; slot 1 keeps its old B lines.
        std::string t = ClassListText({"B", "B"});
        return t.replace(t.find("count=2"), 7, "count=1");
    }());
}

TEST_F(ClassMangTest, OnlyARealSubClassBlocksDelete) {
    Library({"A", "BA\\C", "A\\B"});
    std::unique_ptr<Mang> m(Make());
    m->Init();
    svc.ExpectBox(kQuestion, "QUES", 0x24, plat::IDYES);
    svc.ExpectBox("该类别还有子类，请先删除其子类!", "ERROR", 0x10);
    Select(*m, 0);
    Click(*m, kDelete);
    EXPECT_EQ(Rows(*m).size(), 3u);
    EXPECT_TRUE(dir.Exists("lib/A"));

    // Once A\B is gone, BA\C (which merely contains "A\") does not hold A back.
    svc.ExpectBox(kQuestion, "QUES", 0x24, plat::IDYES);
    Select(*m, 2);
    Click(*m, kDelete);
    svc.ExpectBox(kQuestion, "QUES", 0x24, plat::IDYES);
    Select(*m, 0);
    Click(*m, kDelete);
    EXPECT_EQ(Rows(*m), std::vector<std::string>{"BA\\C"});
    EXPECT_FALSE(dir.Exists("lib/A"));
    EXPECT_TRUE(dir.Exists("lib/BA/C"));
}

TEST_F(ClassMangTest, UpAndDownMoveTheClassAndTheMarkFollows) {
    Library({"A", "B", "C"});
    std::unique_ptr<Mang> m(Make());
    m->Init();
    Select(*m, 2);
    Click(*m, kDown);  // last row: nothing
    EXPECT_EQ(Rows(*m), (std::vector<std::string>{"A", "B", "C"}));
    Click(*m, kUp);
    EXPECT_EQ(Rows(*m), (std::vector<std::string>{"A", "C", "B"}));
    EXPECT_EQ(Marked(*m), 1);
    Click(*m, kUp);
    EXPECT_EQ(Rows(*m), (std::vector<std::string>{"C", "A", "B"}));
    EXPECT_EQ(Marked(*m), 0);
    Click(*m, kUp);  // first row: nothing
    EXPECT_EQ(Rows(*m), (std::vector<std::string>{"C", "A", "B"}));
    Click(*m, kDown);
    EXPECT_EQ(Rows(*m), (std::vector<std::string>{"A", "C", "B"}));
    EXPECT_EQ(Marked(*m), 1);
    EXPECT_EQ(m->m_classes[1].path, Gbk("lib\\C\\")) << "the path moves with its name";

    Click(*m, kOK);
    EXPECT_EQ(ListOnDisk(), ClassListText({"A", "C", "B"}));
}

TEST_F(ClassMangTest, CancelKeepsTheListButNotTheFolderWork) {
    Library({"A"});
    const std::string before = ListOnDisk();
    std::unique_ptr<Mang> m(Make());
    m->Init();
    Type(*m, kEdit, "N");
    Click(*m, kAdd);
    Click(*m, kCancel);
    EXPECT_TRUE(m->Ended());
    EXPECT_EQ(ListOnDisk(), before);
    EXPECT_TRUE(dir.Exists("lib/N"));
}

TEST_F(ClassMangTest, FailedSaveIsReportedAndTheDialogStaysOpen) {
    Library({"A"});
    const std::string before = ListOnDisk();
    std::unique_ptr<Mang> m(Make());
    m->Init();
    Type(*m, kEdit, "N");
    Click(*m, kAdd);

    const std::string native = dir.Native() + "/lib/_ _SETS_ _/class.list";
    ASSERT_EQ(chmod(native.c_str(), 0444), 0);
    svc.ExpectBox("不能写入文件 lib\\_ _SETS_ _\\class.list：没有写入的权限", "ERROR", 0x10);
    Click(*m, kOK);
    EXPECT_FALSE(m->Ended());
    EXPECT_EQ(ListOnDisk(), before);

    fs::remove(native);
    svc.ExpectBox("找不到文件 lib\\_ _SETS_ _\\class.list", "ERROR", 0x10);
    Click(*m, kOK);
    EXPECT_FALSE(m->Ended());
    EXPECT_FALSE(dir.Exists("lib/_ _SETS_ _/class.list")) << "the list file is never created";
}

}  // namespace
