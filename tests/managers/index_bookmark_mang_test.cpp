// The index and bookmark manager over a temporary program directory with real cards: loading, adding with
// its refusals, reordering, deleting, opening, and the bytes written on OK.
#include "managers/index_bookmark_mang.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QTimer>
#include <QTreeWidget>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "store/xml_record_set.h"
#include "support/scripted_services.h"
#include "support/temp_dir.h"

namespace {

using plat::Gbk;

// A real card file as the editor writes it.
std::string CardText(const std::string& title, const std::string& klass, const std::string& founddate,
                     const std::string& keyword, const std::string& source) {
    XmlRecordSet x;
    x.card.title = Gbk(title);
    x.card.klass = Gbk(klass);
    x.card.founddate = founddate;
    x.card.keyword = Gbk(keyword);
    x.card.source = Gbk(source);
    x.card.content = Gbk("第一段\r\n第二段");
    x.card.href = "\\xmlstyle\\datumstyle\\a.xsl";
    x.card.dtdPath = "\\xmlstyle\\qvrt_xml_1.0\\02_2003_datum01.dtd";
    plat::StringSink s;
    x.WriteCard(s);
    return s.data;
}

// One link, fields in UTF-8 (converted to the file's GBK).
struct Link {
    std::string name, url, klass, date, keyword, source;
};

// A line index file written out by hand, as the system's lists look on disk.
std::string ListFile(const std::string& title, const std::string& keyword, const std::vector<Link>& links) {
    std::string t = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<!DOCTYPE lineindex SYSTEM \"" +
                    std::string(kLineIndexDtdUrl) + "\">\r\n\r\n\r\n<lineindex>\r\n\t<title>" + Gbk(title) +
                    "</title>\r\n\t<keyword>" + Gbk(keyword) + "</keyword>\r\n";
    for (const Link& l : links) {
        t += "\t<link>\r\n\t\t<name>" + Gbk(l.name) + "</name>\r\n\t\t<url>" + Gbk(l.url) + "</url>\r\n\t\t<class>" +
             Gbk(l.klass) + "</class>\r\n\t\t<date>" + Gbk(l.date) + "</date>\r\n\t\t<keyword>" + Gbk(l.keyword) +
             "</keyword>\r\n\t\t<source>" + Gbk(l.source) + "</source>\r\n\t</link>\r\n";
    }
    return t + "</lineindex>\r\n\t\t\t\t<!-- QVRT.LINEINDEX.WRITE -->";
}

// What every save writes: the fixed header whatever the file had before.
std::string SavedList(const std::vector<Link>& links) { return ListFile("索引;书签", "资料卡", links); }

const Link kA{"甲午", "lib\\历史\\甲午.datum.xml", "历史", "2003-2-5 9:7", "战争", "报纸"};
const Link kB{"Monet", "lib\\art\\monet.datum.xml", "art", "2004-1-1 0:0", "画", "Book"};
const Link kC{"辛亥", "lib\\历史\\近代\\辛亥.datum.xml", "历史\\近代", "2005-10-10 10:10", "革命", "杂志"};

std::string RowOf(const Link& l) {
    return l.name + "  (" + l.klass + "," + l.keyword + "," + l.source + "," + l.url + "," + l.date + ")";
}

class IndexBookmarkTest : public ::testing::Test {
protected:
    TempProgramDir dir;
    ScriptedServices svc;
    const std::string listRel = "lib/_ _SETS_ _/lineindex.list";
    const std::string listPath = "lib\\\\_ _SETS_ _\\lineindex.list";  // root + '\' + tail, as the window forms it

    void SetUp() override {
        dir.MakeDir("lib/_ _SETS_ _");
        dir.WriteFile("lib/历史/甲午.datum.xml", CardText("甲午", "历史", "2003-2-5 9:7", "战争", "报纸"));
        dir.WriteFile("lib/Art/Monet.datum.xml", CardText("Monet", "art", "2004-1-1 0:0", "画", "Book"));
        dir.WriteFile("lib/历史/近代/辛亥.datum.xml",
                      CardText("辛亥", "历史\\近代", "2005-10-10 10:10", "革命", "杂志"));
    }

    std::string Root() const { return plat::AsciiLower(dir.Internal() + "\\lib\\"); }
    // The full internal path of a file given relative to the program directory with '/'.
    std::string Abs(const std::string& utf8Rel) const {
        std::string p = dir.Internal() + "\\" + Gbk(utf8Rel);
        for (char& c : p)
            if (c == '/') c = '\\';
        return p;
    }

    std::unique_ptr<CIndexBookmarkMang> Make() {
        auto m = std::make_unique<CIndexBookmarkMang>(Root(), nullptr);
        m->m_strListPath = listPath;
        return m;
    }

    // Runs the dialog; `script` acts on it once it is up and must end it.
    int Run(CIndexBookmarkMang& m, const std::function<void()>& script) {
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            EXPECT_EQ(QApplication::activeModalWidget(), &m);
            script();
            if (!m.Ended()) {
                ADD_FAILURE() << "the script left the dialog open";
                Click(m, 2);
            }
        });
        timer.start(0);
        return m.DoModal();
    }

    static void Click(CIndexBookmarkMang& m, int id) {
        auto* b = qobject_cast<QAbstractButton*>(m.Item(id));
        ASSERT_NE(b, nullptr) << "button " << id;
        b->click();
    }
    static QTreeWidget* List(CIndexBookmarkMang& m) { return m.ItemAs<QTreeWidget>(1020); }
    static void Select(CIndexBookmarkMang& m, int row) { List(m)->setCurrentItem(List(m)->topLevelItem(row)); }
    static std::vector<std::string> Rows(CIndexBookmarkMang& m) {
        std::vector<std::string> out;
        for (int i = 0; i < List(m)->topLevelItemCount(); ++i)
            out.push_back(List(m)->topLevelItem(i)->text(0).toStdString());
        return out;
    }
};

TEST_F(IndexBookmarkTest, EmptyListOpensWithoutRowsAndOkWritesOnlyTheFixedHeaderAndEnd) {
    dir.WriteFile(listRel, ListFile("别的标题", "别的", {}));
    auto m = Make();
    int result = Run(*m, [&] {
        EXPECT_TRUE(Rows(*m).empty());
        EXPECT_EQ(m->Count(), 1);
        QTreeWidget* list = List(*m);
        EXPECT_EQ(list->columnCount(), 1);
        EXPECT_EQ(list->headerItem()->text(0).toStdString(), "标题 (类别,关键字,来源,文件,日期)");
        EXPECT_EQ(list->columnWidth(0), 320);
        EXPECT_FALSE(m->Item(5)->isEnabled()) << "编辑 is never available";
        Click(*m, 1);
    });
    EXPECT_EQ(result, plat::IDOK);
    EXPECT_EQ(dir.ReadFile(listRel), SavedList({}));
}

TEST_F(IndexBookmarkTest, ListThatCannotBeReadEndsTheDialogAtOnceWithoutWriting) {
    {  // missing file
        auto m = Make();
        svc.ExpectBox("不能打开文件 " + plat::GbkToUtf8(listPath), "ERROR", 0x10);
        EXPECT_EQ(m->DoModal(), plat::IDOK);
        EXPECT_FALSE(m->isVisible());
        EXPECT_FALSE(dir.Exists(listRel));
    }
    {  // no header
        const std::string junk = "<lineindex>\r\n<keyword>x</keyword>\r\n";
        dir.WriteFile(listRel, junk);
        auto m = Make();
        svc.ExpectBox("读取 XML 头部时出现错误", "ERROR", 0x10);
        EXPECT_EQ(m->DoModal(), plat::IDOK);
        EXPECT_EQ(dir.ReadFile(listRel), junk);
        EXPECT_EQ(m->Count(), 0);
    }
}

TEST_F(IndexBookmarkTest, DamagedLinkShowsItsBoxAndKeepsTheLinksBeforeIt) {
    std::string text = ListFile("t", "k", {kA, kB, kC});
    // Remove the url line of the second link, as a careless hand edit would.
    const std::string urlLine = "\t\t<url>" + Gbk(kB.url) + "</url>\r\n";
    text.erase(text.find(urlLine), urlLine.size());
    dir.WriteFile(listRel, text);

    auto m = Make();
    svc.ExpectBox("No url Find", "XML ERROR", 0x00);
    ASSERT_TRUE(m->LoadList());
    EXPECT_EQ(m->Count(), 2);
    ASSERT_EQ(m->m_entries.size(), 1u);
    EXPECT_EQ(plat::GbkToUtf8(m->m_entries.front().url), kA.url);
}

TEST_F(IndexBookmarkTest, RowsShowTheLinksAndUpDownStopAtBothEndsWithTheMarkFollowing) {
    dir.WriteFile(listRel, ListFile("t", "k", {kA, kB, kC}));
    auto m = Make();
    Run(*m, [&] {
        EXPECT_EQ(Rows(*m), (std::vector<std::string>{RowOf(kA), RowOf(kB), RowOf(kC)}));
        EXPECT_EQ(m->Count(), 4);

        Click(*m, 7);  // nothing marked yet
        EXPECT_EQ(Rows(*m), (std::vector<std::string>{RowOf(kA), RowOf(kB), RowOf(kC)}));

        Select(*m, 2);
        Click(*m, 7);
        EXPECT_EQ(m->Mark(), 1);
        EXPECT_TRUE(List(*m)->selectedItems().isEmpty()) << "the moved row is marked, not selected";
        EXPECT_EQ(m->focusWidget(), List(*m));
        Click(*m, 7);  // the mark followed, so the same link walks on to the top
        EXPECT_EQ(Rows(*m), (std::vector<std::string>{RowOf(kC), RowOf(kA), RowOf(kB)}));
        EXPECT_EQ(m->Mark(), 0);
        Click(*m, 7);  // already first
        EXPECT_EQ(Rows(*m), (std::vector<std::string>{RowOf(kC), RowOf(kA), RowOf(kB)}));

        Select(*m, 1);
        Click(*m, 8);
        EXPECT_EQ(m->Mark(), 2);
        Click(*m, 8);  // already last: the empty closing slot never moves up
        EXPECT_EQ(Rows(*m), (std::vector<std::string>{RowOf(kC), RowOf(kB), RowOf(kA)}));
        EXPECT_EQ(m->Count(), 4);
        Click(*m, 1);
    });
    EXPECT_EQ(dir.ReadFile(listRel), SavedList({kC, kB, kA}));
}

TEST_F(IndexBookmarkTest, DeleteAsksNothingClearsTheMarkAndCancelKeepsTheFileByteForByte) {
    const std::string original = ListFile("原标题", "原", {kA, kB, kC});
    dir.WriteFile(listRel, original);
    auto m = Make();
    int result = Run(*m, [&] {
        Select(*m, 0);
        Click(*m, 4);
        EXPECT_EQ(Rows(*m), (std::vector<std::string>{RowOf(kB), RowOf(kC)}));
        EXPECT_EQ(m->Mark(), -1);
        Click(*m, 4);  // no new choice: nothing more goes
        EXPECT_EQ(Rows(*m), (std::vector<std::string>{RowOf(kB), RowOf(kC)}));
        Select(*m, 1);
        Click(*m, 7);
        svc.QueueFileName(plat::GbkToUtf8(Abs("lib/历史/甲午.datum.xml")));
        Click(*m, 3);
        EXPECT_EQ(Rows(*m).size(), 3u);
        Click(*m, 2);
    });
    EXPECT_EQ(result, plat::IDCANCEL);
    EXPECT_EQ(dir.ReadFile(listRel), original);
}

TEST_F(IndexBookmarkTest, AddFileRefusalsComeInOrderWithTheirTexts) {
    dir.WriteFile(listRel, ListFile("t", "k", {kA}));
    dir.WriteFile("lib2/x.datum.xml", CardText("x", "", "1", "", ""));
    dir.WriteFile("lib/历史/坏.datum.xml", "not a card\r\n");
    dir.WriteFile("lib/历史/notes.xml", CardText("notes", "历史", "1", "", ""));
    auto m = Make();
    ASSERT_TRUE(m->LoadList());

    // Outside the library (a sibling whose name merely starts the same) and refused before it is opened.
    EXPECT_FALSE(m->AddFile(Abs("lib2/x.datum.xml")));
    EXPECT_EQ(plat::GbkToUtf8(m->m_strError), "不是当前资料库中的文件!");
    EXPECT_FALSE(m->AddFile(Abs("other/missing.datum.xml")));
    EXPECT_EQ(plat::GbkToUtf8(m->m_strError), "不是当前资料库中的文件!");

    const std::string missing = Abs("lib/历史/Missing.datum.xml");
    EXPECT_FALSE(m->AddFile(missing));
    EXPECT_EQ(m->m_strError, Gbk("不能打开文件 ") + plat::AsciiLower(missing));

    // The card test comes before the duplicate test: a broken card that the list already names is still
    // reported as broken.
    dir.WriteFile("lib/历史/甲午.datum.xml", "<?xml?>\r\n");
    EXPECT_FALSE(m->AddFile(Abs("lib/历史/甲午.datum.xml")));
    EXPECT_EQ(plat::GbkToUtf8(m->m_strError), "该文件不是资料卡格式的文件!");
    EXPECT_FALSE(m->AddFile(Abs("lib/历史/坏.datum.xml")));
    EXPECT_EQ(plat::GbkToUtf8(m->m_strError), "该文件不是资料卡格式的文件!");
    // Only card files are listed, whatever a file with another name holds.
    EXPECT_FALSE(m->AddFile(Abs("lib/历史/notes.xml")));
    EXPECT_EQ(plat::GbkToUtf8(m->m_strError), "该文件不是资料卡格式的文件!");

    EXPECT_EQ(m->Count(), 2) << "no refusal changes the list";
}

TEST_F(IndexBookmarkTest, AddedCardIsStoredLowerCaseRelativeAndFoundAgainInAnyLetterCase) {
    Link shouted = kA;
    shouted.url = "LIB\\历史\\甲午.DATUM.xml";  // as a hand edit might leave it
    dir.WriteFile(listRel, ListFile("t", "k", {shouted}));
    auto m = Make();
    ASSERT_TRUE(m->LoadList());
    EXPECT_EQ(plat::GbkToUtf8(m->m_entries.front().url), shouted.url) << "links keep the text as read";
    EXPECT_FALSE(m->AddFile(Abs("lib/历史/甲午.datum.xml")));
    EXPECT_EQ(plat::GbkToUtf8(m->m_strError), "该文件已经在列表中了！");

    ASSERT_TRUE(m->AddFile(Abs("lib/Art/Monet.datum.xml"))) << plat::GbkToUtf8(m->m_strError);
    const IndexEntry& e = m->m_entries.back();
    EXPECT_EQ(plat::GbkToUtf8(e.url), kB.url);
    EXPECT_EQ(plat::GbkToUtf8(e.date), kB.date) << "the creation date, not the modification date";
    EXPECT_EQ(RowOf({plat::GbkToUtf8(e.name), plat::GbkToUtf8(e.url), plat::GbkToUtf8(e.klass),
                     plat::GbkToUtf8(e.date), plat::GbkToUtf8(e.keyword), plat::GbkToUtf8(e.source)}),
              RowOf(kB));

    // Another file on this disk, but the same link: lists compare without letter case.
    dir.WriteFile("lib/ART/monet.DATUM.xml", dir.ReadFile("lib/Art/Monet.datum.xml"));
    EXPECT_FALSE(m->AddFile(Abs("lib/ART/monet.DATUM.xml")));
    EXPECT_EQ(plat::GbkToUtf8(m->m_strError), "该文件已经在列表中了！");
    EXPECT_EQ(m->Count(), 3);
}

// A file dialog that leaves the current directory elsewhere, as real ones may.
class WanderingServices : public ScriptedServices {
public:
    std::string AskFileName(QWidget* parent, bool open, const std::string& ext, const std::string& initial,
                            const std::string& filter) override {
        EXPECT_EQ(chdir("/"), 0);
        return ScriptedServices::AskFileName(parent, open, ext, initial, filter);
    }
};

TEST_F(IndexBookmarkTest, AddButtonAsksForAnXmlFileRestoresTheDirectoryAndReportsRefusals) {
    dir.WriteFile(listRel, ListFile("t", "k", {kA}));
    auto m = Make();
    {
        WanderingServices wander;  // stacked over the fixture's services until the end of this block
        Run(*m, [&] {
            wander.QueueFileName("");  // cancelled
            Click(*m, 3);
            EXPECT_EQ(Rows(*m).size(), 1u);

            wander.QueueFileName(plat::GbkToUtf8(Abs("lib/历史/近代/辛亥.datum.xml")));
            Click(*m, 3);
            EXPECT_EQ(Rows(*m), (std::vector<std::string>{RowOf(kA), RowOf(kC)}));

            wander.QueueFileName(plat::GbkToUtf8(Abs("lib/历史/甲午.datum.xml")));
            wander.ExpectBox("该文件已经在列表中了！", "ERROR", 0x10);
            Click(*m, 3);
            EXPECT_EQ(Rows(*m).size(), 2u);
            Click(*m, 1);
        });
        ASSERT_EQ(wander.fileDialogs.size(), 3u);
        EXPECT_TRUE(wander.fileDialogs[0].open);
        EXPECT_EQ(wander.fileDialogs[0].defaultExt, ".xml");
        EXPECT_EQ(wander.fileDialogs[0].initialName, "");
        EXPECT_EQ(wander.fileDialogs[0].filter, "XML File(*.xml)|*.xml");
    }
    EXPECT_EQ(plat::GetCurrentDir(), dir.Internal());
    EXPECT_EQ(dir.ReadFile(listRel), SavedList({kA, kC}));
}

TEST_F(IndexBookmarkTest, OpenFindsTheCardWhateverTheLetterCaseOnDiskAndRefusesAnythingElse) {
    dir.WriteFile("lib/run.sh", "#!/bin/sh\n");
    const Link script{"x", "lib\\run.sh", "", "", "", ""};
    const Link gone{"y", "lib\\art\\gone.datum.xml", "", "", "", ""};
    dir.WriteFile("lib/evil.datum.sh", "#!/bin/sh\necho launched\n");  // a card's name, but no card
    const Link evil{"z", "lib\\evil.datum.sh", "", "", "", ""};
    dir.WriteFile(listRel, ListFile("t", "k", {kB, script, gone, kA, evil}));
    auto m = Make();
    Run(*m, [&] {
        Click(*m, 6);  // nothing marked
        // Both cards are found and read; their stylesheet \xmlstyle\datumstyle\a.xsl does not exist here.
        svc.ExpectBox("找不到风格文件 \\xmlstyle\\datumstyle\\a.xsl", "ERROR", 0x10);
        Select(*m, 0);
        Click(*m, 6);
        svc.ExpectBox("找不到风格文件 \\xmlstyle\\datumstyle\\a.xsl", "ERROR", 0x10);
        Select(*m, 3);
        Click(*m, 6);

        svc.ExpectBox("该链接指向的不是一个存在的资料卡文件, 不能打开: lib\\run.sh", "ERROR", 0x10);
        Select(*m, 1);
        Click(*m, 6);
        svc.ExpectBox("该链接指向的不是一个存在的资料卡文件, 不能打开: lib\\art\\gone.datum.xml", "ERROR", 0x10);
        Select(*m, 2);
        Click(*m, 6);
        svc.ExpectBox("该链接指向的不是一个存在的资料卡文件, 不能打开: lib\\evil.datum.sh", "ERROR", 0x10);
        Select(*m, 4);
        Click(*m, 6);
        EXPECT_TRUE(svc.shellOpens.empty());
        Click(*m, 2);
    });
}

TEST_F(IndexBookmarkTest, FailedSaveKeepsTheOldListShowsTheErrorAndLetsTheUserRetry) {
    const std::string original = ListFile("t", "k", {kA, kB});
    dir.WriteFile(listRel, original);
    auto m = Make();
    int result = Run(*m, [&] {
        Select(*m, 0);
        Click(*m, 4);

        plat::fault::FailWritesAfter(20, EIO);
        svc.ExpectBox("写入 XML 尾信息时出错了!!", "ERROR", 0x10);
        Click(*m, 1);
        plat::fault::Clear();
        EXPECT_FALSE(m->Ended()) << "the dialog stays open after a failed save";
        EXPECT_EQ(dir.ReadFile(listRel), original);
        EXPECT_EQ(Rows(*m), std::vector<std::string>{RowOf(kB)});

        std::filesystem::permissions(dir.Native() + "/" + listRel, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::remove);
        svc.ExpectBox("不能打开文件 " + plat::GbkToUtf8(listPath) + " 进行写入!", "ERROR", 0x10);
        Click(*m, 1);
        std::filesystem::permissions(dir.Native() + "/" + listRel, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
        EXPECT_EQ(dir.ReadFile(listRel), original);

        Click(*m, 1);
    });
    EXPECT_EQ(result, plat::IDOK);
    EXPECT_EQ(dir.ReadFile(listRel), SavedList({kB}));
}

}  // namespace
