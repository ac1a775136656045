// The library manager and its form over a temporary program directory: rows and the default mark, New with
// each of its folder cases, Edit, Delete and the default, Set default, OK and Cancel on disk.
#include "library/datum_lib_mang.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLineEdit>
#include <QTreeWidget>
#include <filesystem>
#include <utility>

#include "managers/mang_fixture.h"
#include "platform/fs.h"
#include "support/scripted_services.h"
#include "support/temp_dir.h"

using namespace mangfx;
using plat::Gbk;
namespace fs = std::filesystem;

namespace {

using Lib = std::pair<std::string, std::string>;  // name, stored path (UTF-8)
using Mang = Opened<CDatumLibMang>;

enum { kNew = 3, kEdit = 6, kDelete = 4, kSetDefault = 5, kOK = 1, kCancel = 2 };

// The registry as the program ships it: a comment, count, use and a line for each of the 50 slots.
std::string RegistryText(const std::vector<Lib>& libs, int use, int count = -1) {
    std::vector<std::string> l{"# registry", "count=" + std::to_string(count < 0 ? int(libs.size()) : count),
                               "use=" + std::to_string(use)};
    for (size_t i = 0; i < std::max<size_t>(50, libs.size()); ++i) {
        l.push_back("name" + std::to_string(i) + "=" + (i < libs.size() ? libs[i].first : ""));
        l.push_back("path" + std::to_string(i) + "=" + (i < libs.size() ? libs[i].second : ""));
    }
    return ListText(l);
}

class LibMangTest : public ::testing::Test {
  protected:
    TempProgramDir dir;
    ScriptedServices svc;

    void SetUp() override {
        dir.WriteFile("set/null.daum/_ _SETS_ _/class.list", ListText({"count=0"}));
        dir.WriteFile("set/null.daum/_ _VIEW_ _/ViewDatum.html", "<html></html>\r\n");
    }
    void Registry(const std::vector<Lib>& libs, int use) {
        dir.WriteFile("set/datumlib.lst", RegistryText(libs, use));
    }
    std::string RegistryOnDisk() const { return dir.ReadFile("set/datumlib.lst"); }

    // Answers the library form with a name and a typed path, then OK.
    static void FillForm(const std::string& name, const std::string& path) {
        WhenModal([name, path](CDialog& form) {
            EXPECT_EQ(form.windowTitle().toStdString(), "Datum Lib Info");
            Type(form, 1021, name);
            Type(form, 1022, path);
            Click(form, kOK);
        });
    }
    void AskDelete(int answer) {
        svc.ExpectBox("资料库已经从列表中删除，你要把该目录彻底删除吗？删除后不可恢复哦。", "QUESTION", 0x24, answer);
    }
    bool TemplateCopiedInto(const std::string& rel) const {
        return dir.ReadFile(rel + "/_ _SETS_ _/class.list") == ListText({"count=0"}) &&
               dir.Exists(rel + "/_ _VIEW_ _/ViewDatum.html");
    }
};

TEST_F(LibMangTest, ListsLibrariesWithTheDefaultMarkedAndColumnTitles) {
    Registry({{"甲", "a"}, {"乙", "\\abs\\b"}, {"丙", "c"}}, 1);
    Mang m;
    m.Init();
    EXPECT_EQ(m.windowTitle().toStdString(), "Datum Lib");
    EXPECT_EQ(Rows(m, 0), (std::vector<std::string>{"甲", "乙 **", "丙"}));
    EXPECT_EQ(Rows(m, 1), (std::vector<std::string>{"a", "\\abs\\b", "c"}));
    EXPECT_EQ(m.ItemAs<QTreeWidget>(1020)->headerItem()->text(1).toStdString(), "保存路径");
    EXPECT_FALSE(m.Ended());
}

TEST_F(LibMangTest, MissingRegistryShowsEmptyListAndOkCannotWriteIt) {
    svc.ExpectBox("没有找到配置文件 set\\datumlib.lst", "ERROR", 0x10);
    Mang m;
    m.Init();
    EXPECT_TRUE(Rows(m).empty());
    EXPECT_FALSE(m.Ended());

    svc.ExpectBox("没有找到配置文件 set\\datumlib.lst", "ERROR", 0x10);
    Click(m, kOK);
    EXPECT_FALSE(m.Ended()) << "the dialog stays open when the registry cannot be written";
    EXPECT_FALSE(dir.Exists("set/datumlib.lst")) << "the registry is never created";
    Click(m, kCancel);
    EXPECT_TRUE(m.Ended());
}

TEST_F(LibMangTest, NewIntoFolderHoldingOnlyDotNamesCopiesTemplateAndOkWritesRegistry) {
    Registry({{"甲", "a"}}, 0);
    const std::string before = RegistryOnDisk();
    dir.WriteFile("fresh/.hidden", "x");
    dir.MakeDir("乗");  // its last byte is 0x5C, the byte of '\\': not a final separator
    Mang m;
    m.Init();
    FillForm("新库", "fresh\\");
    Click(m, kNew);
    FillForm("K", "乗");
    Click(m, kNew);
    EXPECT_TRUE(svc.boxes.empty());
    EXPECT_TRUE(TemplateCopiedInto("fresh"));
    EXPECT_TRUE(TemplateCopiedInto("乗"));
    EXPECT_EQ(Rows(m, 0), (std::vector<std::string>{"甲 **", "新库", "K"}));
    EXPECT_EQ(Rows(m, 1), (std::vector<std::string>{"a", "fresh", "乗"}));
    EXPECT_EQ(RegistryOnDisk(), before) << "nothing is written before OK";

    Click(m, kOK);
    EXPECT_TRUE(m.Ended());
    EXPECT_EQ(RegistryOnDisk(), RegistryText({{"甲", "a"}, {"新库", "fresh"}, {"K", "乗"}}, 0));
}

TEST_F(LibMangTest, NewIntoMissingFolderAsksCreatesOneLevelAndRefusesFullFolders) {
    Registry({}, 0);
    Mang m;
    m.Init();

    // No: nothing is created or added. The typed path gets its final '\'.
    svc.ExpectBox("目录 made\\ 不存在,现在创建它吗?", "QUESTION", 0x24, plat::IDNO);
    FillForm("M", "made");
    Click(m, kNew);
    EXPECT_FALSE(dir.Exists("made"));
    EXPECT_TRUE(Rows(m).empty());

    // A folder two levels down cannot be created in one step.
    svc.ExpectBox("目录 no\\deeper\\ 不存在,现在创建它吗?", "QUESTION", 0x24, plat::IDYES);
    svc.ExpectBox("创建目录 no\\deeper\\ 失败!", "ERROR", 0x10);
    FillForm("D", "no\\deeper\\");
    Click(m, kNew);
    EXPECT_FALSE(dir.Exists("no"));
    EXPECT_TRUE(Rows(m).empty());

    svc.ExpectBox("目录 made\\ 不存在,现在创建它吗?", "QUESTION", 0x24, plat::IDYES);
    FillForm("M", "made");
    Click(m, kNew);
    EXPECT_TRUE(TemplateCopiedInto("made"));
    EXPECT_EQ(Rows(m, 0), std::vector<std::string>{"M **"}) << "the only library is the default";
    EXPECT_EQ(Rows(m, 1), std::vector<std::string>{"made"});

    // Refused for a folder with files, and when the template cannot be copied.
    dir.WriteFile("full/card.datum.xml", "keep");
    svc.ExpectBox("目录 full\\ 非空!!", "ERROR", 0x10);
    FillForm("F", "full\\");
    Click(m, kNew);
    EXPECT_FALSE(dir.Exists("full/_ _SETS_ _"));
    EXPECT_EQ(dir.ReadFile("full/card.datum.xml"), "keep");
    EXPECT_EQ(Rows(m).size(), 1u);

    fs::remove_all(dir.Native() + "/set/null.daum");
    dir.MakeDir("empty");
    svc.ExpectBox("目录 set\\null.daum\\ 不存在", "ERROR", 0x10);
    svc.ExpectBox("拷贝系统文件时出错!!", "ERROR", 0x10);
    FillForm("E", "empty\\");
    Click(m, kNew);
    EXPECT_EQ(Rows(m).size(), 1u);
}

TEST_F(LibMangTest, AFiftyFirstLibraryIsRefusedWithoutOpeningTheForm) {
    std::vector<Lib> libs;
    for (int i = 0; i < 50; ++i) libs.push_back({"L" + std::to_string(i), "p" + std::to_string(i)});
    Registry(libs, 0);
    Mang m;
    m.Init();
    svc.ExpectBox("资料库列表已满(最多 50 个)，不能再新建资料库!", "ERROR", 0x10);
    ExpectNoModal();
    Click(m, kNew);
    Drain();
    EXPECT_EQ(Rows(m).size(), 50u);
}

TEST_F(LibMangTest, EditTakesOnlyTheNameWithPathAndBrowseDisabled) {
    Registry({{"甲", "a"}, {"乙", "b"}}, 0);
    Mang m;
    m.Init();
    ExpectNoModal();
    Click(m, kEdit);  // no row marked: nothing
    Drain();

    Select(m, 1);
    WhenModal([](CDialog& form) {
        EXPECT_EQ(form.ItemAs<QLineEdit>(1021)->text().toStdString(), "乙");
        EXPECT_EQ(form.ItemAs<QLineEdit>(1022)->text().toStdString(), "b\\");
        EXPECT_FALSE(form.Item(1022)->isEnabled());
        EXPECT_FALSE(form.Item(1023)->isEnabled());
        Type(form, 1021, "乙改");
        Click(form, kOK);
    });
    Click(m, kEdit);
    EXPECT_EQ(Rows(m, 0), (std::vector<std::string>{"甲 **", "乙改"}));
    EXPECT_EQ(Rows(m, 1), (std::vector<std::string>{"a", "b"}));

    Select(m, 0);
    WhenModal([](CDialog& form) {
        Type(form, 1021, "gone");
        Click(form, kCancel);
    });
    Click(m, kEdit);
    EXPECT_EQ(Rows(m, 0), (std::vector<std::string>{"甲 **", "乙改"}));
    Click(m, kOK);
    EXPECT_EQ(RegistryOnDisk(), RegistryText({{"甲", "a"}, {"乙改", "b"}}, 0));
}

TEST_F(LibMangTest, DeleteKeepsTheDefaultOnItsLibraryAndRemovesOnlyEmptyFolders) {
    Registry({{"A", "la"}, {"B", "lb"}, {"C", "lc"}, {"D", "ld"}}, 2);
    dir.MakeDir("la");
    dir.MakeDir("lb");
    dir.WriteFile("ld/card.datum.xml", "keep");
    Mang m;
    m.Init();

    // A row above the default: the default moves up with its library. Yes: the empty folder goes.
    AskDelete(plat::IDYES);
    Select(m, 1);
    Click(m, kDelete);
    EXPECT_EQ(Rows(m, 0), (std::vector<std::string>{"A", "C **", "D"}));
    EXPECT_FALSE(dir.Exists("lb"));

    // A folder that still holds files is left, with a notice, and the row stays removed.
    AskDelete(plat::IDYES);
    svc.ExpectBox("无法删除目录 ld，请手动删除!", "INFOMATION", 0x40);
    Select(m, 2);
    Click(m, kDelete);
    EXPECT_EQ(Rows(m, 0), (std::vector<std::string>{"A", "C **"}));
    EXPECT_EQ(dir.ReadFile("ld/card.datum.xml"), "keep");

    // The default itself: slot 0 becomes the default.
    AskDelete(plat::IDNO);
    Select(m, 1);
    Click(m, kDelete);
    EXPECT_EQ(Rows(m, 0), std::vector<std::string>{"A **"});
    AskDelete(plat::IDNO);  // the last row: use 0; No keeps the folder
    Select(m, 0);
    Click(m, kDelete);
    EXPECT_TRUE(Rows(m).empty());
    EXPECT_TRUE(dir.Exists("la"));

    Click(m, kOK);
    // Slots above the new count keep what they held.
    EXPECT_EQ(RegistryOnDisk(), RegistryText({{"A", "la"}, {"B", "lb"}, {"C", "lc"}, {"D", "ld"}}, 0, 0));
}

TEST_F(LibMangTest, SetDefaultMovesTheMarkButNeverIntoTheStoredName) {
    Registry({{"A", "la"}, {"B", "lb"}, {"C", "lc"}}, 0);
    Mang m;
    m.Init();
    Click(m, kSetDefault);  // no row marked: nothing
    EXPECT_EQ(Rows(m, 0), (std::vector<std::string>{"A **", "B", "C"}));
    Select(m, 2);
    Click(m, kSetDefault);
    EXPECT_EQ(Rows(m, 0), (std::vector<std::string>{"A", "B", "C **"}));
    EXPECT_EQ(Marked(m), -1) << "refilling clears the selection";
    Click(m, kOK);
    EXPECT_EQ(RegistryOnDisk(), RegistryText({{"A", "la"}, {"B", "lb"}, {"C", "lc"}}, 2));
}

TEST_F(LibMangTest, CancelWritesNothingButFolderWorkStays) {
    Registry({{"A", "la"}}, 0);
    const std::string before = RegistryOnDisk();
    dir.MakeDir("la");
    Mang m;
    m.Init();
    svc.ExpectBox("目录 nl\\ 不存在,现在创建它吗?", "QUESTION", 0x24, plat::IDYES);
    FillForm("N", "nl");
    Click(m, kNew);
    AskDelete(plat::IDYES);
    Select(m, 0);
    Click(m, kDelete);
    Click(m, kCancel);
    EXPECT_TRUE(m.Ended());
    EXPECT_EQ(RegistryOnDisk(), before);
    EXPECT_TRUE(TemplateCopiedInto("nl"));
    EXPECT_FALSE(dir.Exists("la"));
}

TEST_F(LibMangTest, RegistryThatCannotBeRewrittenKeepsTheDialogOpen) {
    Registry({{"A", "la"}, {"B", "lb"}}, 0);
    const std::string before = RegistryOnDisk();
    Mang m;
    m.Init();
    Select(m, 1);
    Click(m, kSetDefault);
    ASSERT_EQ(chmod((dir.Native() + "/set/datumlib.lst").c_str(), 0444), 0);
    svc.ExpectBox("不能写入配置文件 set\\datumlib.lst：没有写入的权限", "ERROR", 0x10);
    Click(m, kOK);
    EXPECT_FALSE(m.Ended());
    EXPECT_EQ(RegistryOnDisk(), before);

    // Once the file is writable again, the same OK goes through with the change still there.
    ASSERT_EQ(chmod((dir.Native() + "/set/datumlib.lst").c_str(), 0644), 0);
    Click(m, kOK);
    EXPECT_TRUE(m.Ended());
    EXPECT_EQ(RegistryOnDisk(), RegistryText({{"A", "la"}, {"B", "lb"}}, 1));
}

// The folder browser may change the current directory; the form sets it back.
class MovingBrowser : public ScriptedServices {
  public:
    std::string BrowseForFolder(QWidget* parent, const std::string& title) override {
        EXPECT_EQ(chdir("/"), 0);
        return ScriptedServices::BrowseForFolder(parent, title);
    }
};

TEST(LibInfoTest, BrowseAppendsOneSeparatorAndRestoresTheCurrentDirectory) {
    TempProgramDir dir;
    MovingBrowser svc;
    Opened<CDatumLibInfo> form;
    form.m_strName = Gbk("名");
    form.m_strPath = Gbk("old\\");
    form.Init();
    EXPECT_EQ(form.ItemAs<QLineEdit>(1021)->text().toStdString(), "名");
    EXPECT_TRUE(form.Item(1022)->isEnabled());

    svc.QueueFolder("\\home\\资料");
    Click(form, 1023);
    EXPECT_EQ(form.ItemAs<QLineEdit>(1022)->text().toStdString(), "\\home\\资料\\");
    EXPECT_EQ(plat::GetCurrentDir(), dir.Internal());

    svc.QueueFolder("\\");  // the root already ends with a separator
    Click(form, 1023);
    EXPECT_EQ(form.ItemAs<QLineEdit>(1022)->text().toStdString(), "\\");

    svc.QueueFolder("");  // cancelled: the field keeps its text
    Click(form, 1023);
    EXPECT_EQ(form.ItemAs<QLineEdit>(1022)->text().toStdString(), "\\");
    EXPECT_EQ(plat::GetCurrentDir(), dir.Internal());
    EXPECT_EQ(svc.folderBrowses, std::vector<std::string>(3, Gbk("请选择一个选择文件夹")));

    Click(form, 1);
    EXPECT_TRUE(form.Ended());
    EXPECT_EQ(form.m_strName, Gbk("名"));
    EXPECT_EQ(form.m_strPath, "\\");
}

TEST(LibInfoTest, TextThatGbkCannotHoldIsRefusedAndTheFormStaysOpen) {
    TempProgramDir dir;
    ScriptedServices svc;
    Opened<CDatumLibInfo> form;
    form.Init();
    form.ItemAs<QLineEdit>(1021)->setText(QString::fromUtf8("库\xF0\x9F\x98\x80"));
    Type(form, 1022, "p");
    svc.ExpectBox("输入的文字中有无法保存的字符，请修改后再试!", "ERROR", 0x10);
    Click(form, 1);
    EXPECT_FALSE(form.Ended());
    EXPECT_TRUE(form.m_strName.empty());
}

}  // namespace
