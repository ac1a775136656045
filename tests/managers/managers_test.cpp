// The class, source, style, index and bookmark managers over a temporary library, driven through their
// buttons: what reaches the disk, and when, and every refusal the user is shown.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTreeWidget>
#include <filesystem>

#include "managers/class_mang.h"
#include "managers/index_bookmark_mang.h"
#include "managers/mang_fixture.h"
#include "managers/source_mang.h"
#include "managers/style_mang.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "support/cards.h"
#include "support/scripted_services.h"
#include "support/temp_dir.h"

using namespace mangfx;
using plat::Gbk;
using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

enum { kOK = 1, kCancel = 2, kAdd = 3, kDelete = 4, kOpen = 6, kUp = 7, kDown = 8, kEdit = 1021 };

// A file dialog may leave the process in another directory; every manager sets it back.
class WanderingServices : public ScriptedServices {
public:
    std::string AskFileName(QWidget* p, bool open, const std::string& ext, const std::string& initial,
                            const std::string& filter) override {
        EXPECT_EQ(chdir("/"), 0);
        return ScriptedServices::AskFileName(p, open, ext, initial, filter);
    }
};

class ManagerTest : public ::testing::Test {
protected:
    TempProgramDir dir;
    WanderingServices svc;
    void Add(CDialog& m, const std::string& name) {
        Type(m, kEdit, name);
        Click(m, kAdd);
        svc.VerifyAllUsed();
    }
};

// The class list as the program ships it: `count` and 100 slot lines of name and path.
std::string ClassList(const Strings& names, size_t slotCount = 100) {
    Strings l{"count=" + std::to_string(names.size())};
    for (size_t i = 0; i < std::max(slotCount, names.size()); ++i) {
        l.push_back("name" + std::to_string(i) + "=" + (i < names.size() ? names[i] : ""));
        l.push_back("path" + std::to_string(i) + "=" + (i < names.size() ? "lib\\" + names[i] + "\\" : ""));
    }
    return ListText(l);
}

const char kClassList[] = "lib/_ _SETS_ _/class.list";
const char kDeleteQuestion[] =
    "该类别删除后,其中所有的资料都将一起移到回收站,需要时可以从回收站恢复。\n                   你确认现在要删除吗?";

TEST_F(ManagerTest, ClassesMakeAndRemoveFoldersAtOnceAndTheListOnOk) {
    dir.WriteFile(kClassList, ClassList({"A", "BA\\C"}, 2));
    dir.MakeDir("lib/BA/C");
    dir.WriteFile("lib/A/c.datum.xml", "card");
    Opened<CClassMang> m(Gbk("lib\\"), Gbk("lib\\_ _SETS_ _\\class.list"), nullptr);
    m.Init();
    Add(m, "乙类");
    Add(m, "乙类");  // already listed: nothing, no box
    Add(m, "A\\子");
    Add(m, "乗.");  // 乗 ends in 0x5C, which is no separator: one plain name
    svc.ExpectBox("创建目录 lib\\无父\\子\\  失败!", std::nullopt, 0x00);
    Add(m, "无父\\子");
    // Names that would make a folder outside the library, or no plain folder below it.
    for (const char* bad : {"..\\x", "A\\..\\..\\b", "\\abs", "A\\\\b", "A\\", ".", "A\\.", "x/y", "A/../c"}) {
        svc.ExpectBox("类别名称不能以 \\ 开头或结尾，不能含有 / 或连续的 \\，也不能有 . 或 .. 这样的路径部分!", "ERROR", 0x10);
        Add(m, bad);
    }
    EXPECT_TRUE(dir.Exists("lib/乙类") && dir.Exists("lib/A/子") && dir.Exists("lib/乗."));
    EXPECT_FALSE(dir.Exists("x") || dir.Exists("b") || dir.Exists("lib/c") || dir.Exists("lib/无父"));
    EXPECT_EQ(Rows(m), (Strings{"A", "BA\\C", "乙类", "A\\子", "乗."}));

    svc.ExpectBox(kDeleteQuestion, "QUES", 0x24, plat::IDYES);  // A\子 holds A back; BA\C does not
    svc.ExpectBox("该类别还有子类，请先删除其子类!", "ERROR", 0x10);
    Select(m, 0);
    Click(m, kDelete);
    svc.ExpectBox(kDeleteQuestion, "QUES", 0x24, plat::IDYES);
    Select(m, 3);
    Click(m, kDelete);
    EXPECT_FALSE(dir.Exists("lib/A/子"));
    svc.ExpectBox(kDeleteQuestion, "QUES", 0x24, plat::IDNO);  // No: the class and its cards stay
    Select(m, 0);
    Click(m, kDelete);
    EXPECT_EQ(dir.ReadFile("lib/A/c.datum.xml"), "card");
    svc.ExpectBox(kDeleteQuestion, "QUES", 0x24, plat::IDYES);  // the folder goes to the trash with its card
    Select(m, 0);
    Click(m, kDelete);
    EXPECT_FALSE(dir.Exists("lib/A"));
    EXPECT_EQ(ReadNativeFile(TrashedFrom(dir.Native() + "/lib/A") + "/c.datum.xml"), "card");
    Select(m, 2);
    Click(m, kUp);
    EXPECT_EQ(Rows(m), (Strings{"BA\\C", "乗.", "乙类"}));
    EXPECT_EQ(m.m_classes[1].path, Gbk("lib\\乗.\\")) << "the path moves with its name";
    EXPECT_EQ(dir.ReadFile(kClassList), ClassList({"A", "BA\\C"}, 2)) << "nothing is written before OK";

    const std::string native = dir.Native() + "/" + kClassList;
    ASSERT_EQ(chmod(native.c_str(), 0444), 0);
    svc.ExpectBox("不能写入文件 lib\\_ _SETS_ _\\class.list：没有写入的权限", "ERROR", 0x10);
    Click(m, kOK);
    EXPECT_FALSE(m.Ended());
    ASSERT_EQ(chmod(native.c_str(), 0644), 0);
    Click(m, kOK);
    EXPECT_TRUE(m.Ended());
    // The list lacked slot lines 2 and up: they are appended rather than lost.
    EXPECT_EQ(dir.ReadFile(kClassList), ClassList({"BA\\C", "乗.", "乙类"}, 0));

    // A count beyond the slot lines reads the missing ones as empty; a folder already there can be added.
    dir.WriteFile(kClassList, plat::ReplaceAll(ClassList({"A"}, 1), "count=1", "count=2"));
    dir.MakeDir("lib/旧类");
    Opened<CClassMang> again(Gbk("lib\\"), Gbk("lib\\_ _SETS_ _\\class.list"), nullptr);
    again.Init();
    Add(again, "旧类");
    Click(again, kOK);
    EXPECT_EQ(dir.ReadFile(kClassList), ListText({"count=3", "name0=A", "path0=lib\\A\\", "name1=", "path1=",
                                                  "name2=旧类", "path2=lib\\旧类\\"}));
}

TEST_F(ManagerTest, ListsAreFullAtAHundredAndSourcesChangeOnlyOnOk) {
    Strings names, sources{"count=101"};
    for (int i = 0; i < 101; ++i) names.push_back("c" + std::to_string(i)), sources.push_back("name" + std::to_string(i) + "=s" + std::to_string(i));
    dir.WriteFile(kClassList, plat::ReplaceAll(ClassList(names), "count=101", "count=100"));
    dir.WriteFile("lib/_ _SETS_ _/source.list", ListText(sources));
    Opened<CClassMang> classes(Gbk("lib\\"), Gbk("lib\\_ _SETS_ _\\class.list"), nullptr);
    classes.Init();
    svc.ExpectBox("类别列表已满(最多 100 个)，不能再添加类别!", "ERROR", 0x10);
    Add(classes, "more");
    Opened<CSourceMang> m(Gbk("lib\\_ _SETS_ _\\source.list"), nullptr);
    m.Init();
    svc.ExpectBox("来源列表已满(最多 100 个)，不能再添加来源!", "ERROR", 0x10);
    Add(m, "more");
    EXPECT_FALSE(dir.Exists("lib/more"));
    Select(m, 0);
    Click(m, kDelete);  // at once, no question
    Add(m, "网络\\博客");  // plain text here: nothing is created
    Select(m, 1), Click(m, kUp);  // s2 s1 s3
    Select(m, 1), Click(m, kDown);  // s2 s3 s1
    EXPECT_EQ(dir.ReadFile("lib/_ _SETS_ _/source.list"), ListText(sources)) << "nothing is written before OK";
    Click(m, kOK);
    EXPECT_FALSE(dir.Exists("lib/网络"));
    EXPECT_NE(dir.ReadFile("lib/_ _SETS_ _/source.list").find(Gbk("count=100\r\nname0=s2\r\nname1=s3\r\nname2=s1\r\n")), std::string::npos);
    EXPECT_NE(dir.ReadFile("lib/_ _SETS_ _/source.list").find(Gbk("name99=网络\\博客\r\n")), std::string::npos);
}

TEST_F(ManagerTest, StylesAreCopiedInNeverOverAnotherAndDeletedAtOnce) {
    const std::string folder = dir.Internal() + "\\xmlstyle\\datumstyle\\";
    for (const char* f : {"a.xsl.bak", "b.XSL", "report.xsl", "notes.txt"}) dir.WriteFile(std::string("xmlstyle/datumstyle/") + f, f);
    dir.MakeDir("xmlstyle/datumstyle/_ _y.xsl");
    dir.WriteFile("in/new.style.xsl", "<new/>");
    dir.WriteFile("in/report.xsl", "<other/>");
    Opened<CStyleMang> m;
    m.Init();
    EXPECT_EQ(Rows(m), (Strings{"a", "report", "_ _y"}));
    svc.QueueFileName(dir.Internal() + "\\in\\new.style.xsl");
    svc.QueueFileName(dir.Internal() + "\\in\\report.xsl");
    svc.ExpectBox("拷贝文件 " + dir.Internal() + "\\in\\report.xsl到 " + folder + "report.xsl 时出错了", "ERROR", 0x10);
    for (int i = 0; i < 2; ++i) Click(m, kAdd);
    EXPECT_EQ(plat::GetCurrentDir(), dir.Internal());
    EXPECT_EQ(dir.ReadFile("xmlstyle/datumstyle/new.style.xsl") + dir.ReadFile("xmlstyle/datumstyle/report.xsl"),
              "<new/>report.xsl");
    EXPECT_EQ(Rows(m), (Strings{"a", "report", "_ _y", "new.style"}));
    Select(m, 0);
    Click(m, kDelete);
    Select(m, 1);  // a folder by the stylesheet's name goes to the trash like a file
    Click(m, kDelete);
    EXPECT_EQ(Rows(m), (Strings{"report", "new.style"}));
    EXPECT_FALSE(dir.Exists("xmlstyle/datumstyle/a.xsl.bak") || dir.Exists("xmlstyle/datumstyle/_ _y.xsl"));
    EXPECT_EQ(ReadNativeFile(TrashedFrom(dir.Native() + "/xmlstyle/datumstyle/a.xsl.bak")), "a.xsl.bak");
    Click(m, kOK);
    EXPECT_TRUE(m.Ended());

    fs::remove_all(dir.Native() + "/xmlstyle");
    svc.ExpectBox("目录 xmlstyle\\datumstyle\\ 不存在", "ERROR", 0x10);
    CStyleMang missing;
    EXPECT_EQ(missing.DoModal(), plat::IDCANCEL);
}

std::string Card(const std::string& title, const std::string& klass, const std::string& date) {
    return CardBytes({Gbk(title), Gbk(klass), date, "", Gbk("报纸"), Gbk("关键"), Gbk("正文"), "a.xsl", "x.dtd"});
}

class LinkListTest : public ManagerTest {
protected:
    const std::string rel = "lib/_ _SETS_ _/lineindex.list";
    Opened<CIndexBookmarkMang> m{plat::AsciiLower(dir.Internal() + "\\lib\\"), nullptr};
    void SetUp() override {
        dir.WriteFile("lib/K/甲.datum.xml", Card("甲", "K", "2003-2-5 9:7"));
        dir.WriteFile("lib/Art/Monet.datum.xml", Card("Monet", "K", "2003-2-5 9:7"));
        m.m_strListPath = "lib\\\\_ _SETS_ _\\lineindex.list";
    }
    std::string Abs(const std::string& rel) const { return plat::ReplaceAll(dir.Internal() + "\\" + Gbk(rel), "/", "\\"); }
    std::string Row(const std::string& name, const std::string& url) {
        return name + "  (K,关键,报纸," + url + ",2003-2-5 9:7)";
    }
};

TEST_F(LinkListTest, AddRefusalsOrderAndTheBytesWrittenOnOk) {
    dir.WriteFile(rel, LinkList("别的标题", {{"甲", "LIB\\K\\甲.DATUM.xml"}}));  // as a hand edit might leave it
    dir.WriteFile("lib2/x.datum.xml", Card("x", "", "1"));
    dir.WriteFile("lib/K/坏.datum.xml", "not a card\r\n");
    dir.WriteFile("lib/K/notes.xml", Card("notes", "K", "1"));
    m.Init();
    const std::pair<std::string, std::string> refusals[] = {
        {"lib2/x.datum.xml", "不是当前资料库中的文件!"},  // a sibling whose name merely starts the same
        {"lib/K/Missing.datum.xml", "不能打开文件 " + plat::AsciiLower(Abs("lib/K/Missing.datum.xml"))},
        {"lib/K/坏.datum.xml", "该文件不是资料卡格式的文件!"},
        {"lib/K/notes.xml", "该文件不是资料卡格式的文件!"},  // only card files, whatever the file holds
        {"lib/K/甲.datum.xml", "该文件已经在列表中了！"}};  // lists compare without letter case
    for (const auto& [file, error] : refusals) {
        EXPECT_FALSE(m.AddFile(Abs(file))) << file;
        EXPECT_EQ(plat::GbkToUtf8(m.m_strError), error);
    }
    svc.QueueFileName(plat::GbkToUtf8(Abs("lib/Art/Monet.datum.xml")));
    Click(m, kAdd);
    EXPECT_EQ(plat::GetCurrentDir(), dir.Internal());
    const std::string monet = "lib\\art\\monet.datum.xml";  // stored lower case, relative
    EXPECT_EQ(Rows(m), (Strings{Row("甲", "LIB\\K\\甲.DATUM.xml"), Row("Monet", monet)}));
    Select(m, 1);
    Click(m, kDown);  // already last: the empty closing slot never moves up
    EXPECT_EQ(m.Count(), 3);
    Click(m, kUp);
    EXPECT_EQ(Rows(m), (Strings{Row("Monet", monet), Row("甲", "LIB\\K\\甲.DATUM.xml")}));
    Click(m, kDown);  // the mark moved with the row: Monet goes back down
    Click(m, kOK);
    EXPECT_EQ(dir.ReadFile(rel), LinkList("索引;书签", {{"甲", "LIB\\K\\甲.DATUM.xml"}, {"Monet", monet}}));
}

TEST_F(LinkListTest, OpenHandsOverOnlyCardsThatExist) {
    dir.WriteFile("lib/evil.datum.sh", "#!/bin/sh\necho launched\n");  // a card's name, but no card
    dir.WriteFile(rel, LinkList("t", {{"a", "lib\\art\\monet.datum.xml"}, {"c", "lib\\art\\gone.datum.xml"},
                                      {"d", "lib\\evil.datum.sh"}}));
    dir.WriteFile("xmlstyle/datumstyle/a.xsl", "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                                               "<xsl:template match=\"/\"><html>OK</html></xsl:template></xsl:stylesheet>");
    m.Init();
    Click(m, kOpen);  // nothing marked
    const char* refused[] = {"", "lib\\art\\gone.datum.xml", "lib\\evil.datum.sh"};
    for (int row = 0; row < 3; ++row) {
        if (*refused[row]) svc.ExpectBox(std::string("该链接指向的不是一个存在的资料卡文件, 不能打开: ") + refused[row], "ERROR", 0x10);
        Select(m, row);
        Click(m, kOpen);
        svc.VerifyAllUsed();
    }
    ASSERT_EQ(svc.shellOpens.size(), 1u);  // the card's page, in the program's own style
    const std::string page = svc.shellOpens[0].path;
    EXPECT_EQ(page.substr(page.size() - 5), ".html");
    EXPECT_NE(page.find("korvane\\view\\"), std::string::npos) << page;
}

TEST_F(LinkListTest, DamagedUnreadableAndUnwritableListsLoseNothing) {
    std::string text = LinkList("t", {{"a", "lib\\a.datum.xml"}, {"b", "lib\\b.datum.xml"}, {"c", "lib\\c.datum.xml"}});
    text.erase(text.find("\t\t<url>lib\\b"), text.find("\r\n", text.find("\t\t<url>lib\\b")) + 2 - text.find("\t\t<url>lib\\b"));
    dir.WriteFile(rel, text);
    svc.ExpectBox("No url Find", "XML ERROR", 0x00);
    ASSERT_TRUE(m.LoadList());
    EXPECT_EQ(m.Count(), 2) << "the links before the damage are kept";
    svc.VerifyAllUsed();

    const std::string original = LinkList("t", {{"a", "lib\\a.datum.xml"}, {"b", "lib\\b.datum.xml"}});
    dir.WriteFile(rel, original);
    m.Init();
    Select(m, 0);
    Click(m, kDelete);
    plat::fault::FailWritesAfter(20, EIO);
    svc.ExpectBox("写入 XML 尾信息时出错了!!", "ERROR", 0x10);
    Click(m, kOK);
    plat::fault::Clear();
    EXPECT_FALSE(m.Ended());
    EXPECT_EQ(dir.ReadFile(rel), original);
    Click(m, kOK);
    EXPECT_EQ(dir.ReadFile(rel), LinkList("索引;书签", {{"b", "lib\\b.datum.xml"}}));

    // A list that cannot be read ends the dialog before anything could be written over it.
    Opened<CIndexBookmarkMang> bad{m.m_strLibRoot, nullptr};
    bad.m_strListPath = "lib\\missing.list";
    svc.ExpectBox("不能打开文件 lib\\missing.list", "ERROR", 0x10);
    bad.Init();
    EXPECT_TRUE(bad.Ended());
    EXPECT_FALSE(dir.Exists("lib/missing.list"));
}

}  // namespace
