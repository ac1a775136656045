// The main window's buttons 1003 "索 引 管 理", 1004 "书 签 管 理" and 1007 "加入书签" over a loaded
// program directory: which list each one works on, and what "加入书签" writes or reports.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAbstractButton>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "app/main_fixture.h"
#include "managers/index_bookmark_mang.h"
#include "platform/path.h"
#include "platform/text.h"

using plat::Gbk;

namespace {

std::string CardText(const std::string& title, const std::string& klass, const std::string& founddate) {
    XmlRecordSet x;
    x.card.title = Gbk(title);
    x.card.klass = Gbk(klass);
    x.card.founddate = founddate;
    x.card.keyword = Gbk("关键");
    x.card.source = Gbk("来源甲");
    x.card.content = Gbk("正文");
    x.card.href = "a.xsl";
    plat::StringSink s;
    x.WriteCard(s);
    return s.data;
}

// Links here are GBK already (urls may hold the temporary folder's path).
std::string ListFile(const std::string& title, const std::vector<IndexEntry>& links) {
    std::string t = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<!DOCTYPE lineindex SYSTEM \"" +
                    std::string(kLineIndexDtdUrl) + "\">\r\n\r\n\r\n<lineindex>\r\n\t<title>" + Gbk(title) +
                    "</title>\r\n\t<keyword>" + Gbk("资料卡") + "</keyword>\r\n";
    for (const IndexEntry& l : links) {
        t += "\t<link>\r\n\t\t<name>" + l.name + "</name>\r\n\t\t<url>" + l.url + "</url>\r\n\t\t<class>" + l.klass +
             "</class>\r\n\t\t<date>" + l.date + "</date>\r\n\t\t<keyword>" + l.keyword +
             "</keyword>\r\n\t\t<source>" + l.source + "</source>\r\n\t</link>\r\n";
    }
    return t + "</lineindex>\r\n\t\t\t\t<!-- QVRT.LINEINDEX.WRITE -->";
}

IndexEntry CardLink(const std::string& url) {
    return {Gbk("卡片"), url, "Klasse", "2003-2-5 9:7", Gbk("关键"), Gbk("来源甲")};
}

const IndexEntry kOld{"Old", "lib\\klasse\\old.datum.xml", "Klasse", "1", "", ""};

class BookmarkButtonTest : public MainWindowTest {
protected:
    const std::string bookmarks = "Lib/_ _SETS_ _/bookmark.list";
    const std::string index = "Lib/_ _SETS_ _/lineindex.list";

    void SetUp() override {
        mainfx::WriteRegistry(dir, {{"资料一", "Lib"}, {"空库", "Empty"}}, 0);
        mainfx::MakeLibrary(dir, "Lib", {"Klasse"}, {"来源甲"});
        dir.WriteFile("Lib/Klasse/Karte.datum.xml", CardText("卡片", "Klasse", "2003-2-5 9:7"));
        dir.WriteFile(bookmarks, ListFile("书签", {}));
        dir.WriteFile(index, ListFile("索引", {kOld}));
        mainfx::MakeLibrary(dir, "Empty", {}, {});
        dir.WriteFile("Empty/_ _SETS_ _/bookmark.list", ListFile("书签", {}));
        mainfx::MakeStyles(dir, {"a.xsl"});
    }

    static DatumNode* Node(CMainDlg& w, const std::string& utf8Label) {
        for (DatumNode* n = w.m_first; n && !n->IsEnd(); n = n->next)
            if (n->label == Gbk(utf8Label)) return n;
        ADD_FAILURE() << "no entry " << utf8Label;
        return nullptr;
    }
    static void Click(QWidget* dialog, int id) {
        auto* b = qobject_cast<QAbstractButton*>(qobject_cast<CDialog*>(dialog)->Item(id));
        ASSERT_NE(b, nullptr);
        b->click();
    }
};

TEST_F(BookmarkButtonTest, AddBookmarkAppendsTheCurrentCardOnceAndReportsTheDuplicate) {
    CMainDlg& w = Load();
    w.m_current = Node(w, "Karte");
    svc.ExpectBox("当前文件已经成功加入到书签中了!!", "INFOMATION", 0x40);
    Click(&w, 1007);
    const std::string once = ListFile("索引;书签", {CardLink("lib\\klasse\\karte.datum.xml")});
    EXPECT_EQ(dir.ReadFile(bookmarks), once);

    svc.ExpectBox("该文件已经在列表中了！", "ERROR", 0x10);
    Click(&w, 1007);
    EXPECT_EQ(dir.ReadFile(bookmarks), once);
}

TEST_F(BookmarkButtonTest, AddBookmarkOnAClassOrWithoutAnEntryDoesNothing) {
    CMainDlg& w = Load();
    const std::string before = dir.ReadFile(bookmarks);
    w.m_current = Node(w, "Klasse");
    Click(&w, 1007);
    w.m_current = nullptr;
    Click(&w, 1007);
    EXPECT_TRUE(svc.boxes.empty());
    EXPECT_EQ(dir.ReadFile(bookmarks), before);
}

TEST_F(BookmarkButtonTest, AddBookmarkInAnEmptyLibraryOrWithoutAListReportsIt) {
    mainfx::WriteRegistry(dir, {{"资料一", "Lib"}, {"空库", "Empty"}}, 1);
    CMainDlg& w = Load();
    ASSERT_TRUE(w.m_current && w.m_current->IsEnd());
    const std::string before = dir.ReadFile("Empty/_ _SETS_ _/bookmark.list");
    svc.ExpectBox("不是当前资料库中的文件!", "ERROR", 0x10);
    Click(&w, 1007);
    EXPECT_EQ(dir.ReadFile("Empty/_ _SETS_ _/bookmark.list"), before);

    std::filesystem::remove(dir.Native() + "/Empty/_ _SETS_ _/bookmark.list");
    svc.ExpectBox("不能打开文件 Empty\\\\_ _SETS_ _\\bookmark.list", "ERROR", 0x10);
    Click(&w, 1007);
    EXPECT_FALSE(dir.Exists("Empty/_ _SETS_ _/bookmark.list"));
}

TEST_F(BookmarkButtonTest, IndexAndBookmarkButtonsEachOpenTheirOwnList) {
    CMainDlg& w = Load();
    mainfx::WhenModal([&](QWidget* m) {
        auto* list = qobject_cast<CDialog*>(m)->ItemAs<QTreeWidget>(1020);
        ASSERT_EQ(list->topLevelItemCount(), 1);
        EXPECT_EQ(list->topLevelItem(0)->text(0).toStdString(), "Old  (Klasse,,,lib\\klasse\\old.datum.xml,1)");
        Click(m, 1);
    });
    Click(&w, 1003);
    EXPECT_EQ(dir.ReadFile(index), ListFile("索引;书签", {kOld}));

    const std::string before = dir.ReadFile(bookmarks);
    mainfx::WhenModal([&](QWidget* m) {
        EXPECT_EQ(qobject_cast<CDialog*>(m)->ItemAs<QTreeWidget>(1020)->topLevelItemCount(), 0);
        Click(m, 2);
    });
    Click(&w, 1004);
    EXPECT_EQ(dir.ReadFile(bookmarks), before);
}

TEST_F(BookmarkButtonTest, ButtonsDoNothingWithoutALibrary) {
    mainfx::WriteRegistry(dir, {}, 0);
    CMainDlg& w = Load();
    ASSERT_LT(w.m_nCurLib, 0);
    QTimer guard;  // closes any dialog that should not have come up, so the test fails instead of hanging
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (auto* m = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            ADD_FAILURE() << "a dialog came up";
            m->reject();
        }
    });
    guard.start(0);
    Click(&w, 1003);
    Click(&w, 1004);
    Click(&w, 1007);
    EXPECT_TRUE(svc.boxes.empty());
}

// A library registered with an absolute path outside the program directory.
class AbsoluteLibraryTest : public BookmarkButtonTest {
protected:
    std::string native;  // the folder holding the library

    void SetUp() override {
        BookmarkButtonTest::SetUp();
        std::string tmpl = (std::filesystem::temp_directory_path() / "korvane-Abs-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        native = tmpl;
        const std::string root = *plat::FromNative(native + "/Bib");
        namespace fs = std::filesystem;
        fs::create_directories(native + "/Bib/Klasse");
        fs::create_directories(native + "/Bib/_ _SETS_ _");
        auto write = [](const std::string& path, const std::string& bytes) {
            std::ofstream(path, std::ios::binary) << bytes;
        };
        write(native + "/Bib/Klasse/Karte.datum.xml", CardText("卡片", "Klasse", "2003-2-5 9:7"));
        write(native + "/Bib/_ _SETS_ _/class.list",
              mainfx::ListText({"count=1", "name0=Klasse", "path0=" + root + "\\Klasse\\"}));
        write(native + "/Bib/_ _SETS_ _/source.list", mainfx::ListText({"count=0"}));
        write(native + "/Bib/_ _SETS_ _/bookmark.list", ListFile("书签", {}));
        mainfx::WriteRegistry(dir, {{"外部", plat::GbkToUtf8(root)}}, 0);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(native, ec);
    }
};

TEST_F(AbsoluteLibraryTest, CardIsBookmarkedByItsAbsolutePathAndOpensFromTheList) {
    CMainDlg& w = Load();
    ASSERT_TRUE(plat::IsAbsolute(w.m_libRoot));
    w.m_current = Node(w, "Karte");
    svc.ExpectBox("当前文件已经成功加入到书签中了!!", "INFOMATION", 0x40);
    Click(&w, 1007);
    const std::string card = *plat::FromNative(native + "/Bib/Klasse/Karte.datum.xml");
    EXPECT_EQ(ReadNativeFile(native + "/Bib/_ _SETS_ _/bookmark.list"),
              ListFile("索引;书签", {CardLink(plat::AsciiLower(card))}));

    mainfx::WhenModal([&](QWidget* m) {
        auto* list = qobject_cast<CDialog*>(m)->ItemAs<QTreeWidget>(1020);
        ASSERT_EQ(list->topLevelItemCount(), 1);
        list->setCurrentItem(list->topLevelItem(0));
        Click(m, 6);
        Click(m, 2);
    });
    // The card's stylesheet a.xsl beside it does not exist: the card was found and read, nothing is opened.
    svc.ExpectBox("找不到风格文件 " + plat::GbkToUtf8(*plat::FromNative(native)) + "\\Bib\\Klasse\\a.xsl", "ERROR",
                  0x10);
    Click(&w, 1004);
    EXPECT_TRUE(svc.shellOpens.empty());
}

}  // namespace
