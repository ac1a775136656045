// The main window over a temporary program directory: the start-up load and its failure procedure, the
// library scan and the tree (LibraryTree), the library switch, the style box, the buttons that hand files to the desktop,
// the managers' reloads and the bookmark buttons. And the window as a desktop window: its layout at the template
// size and larger or smaller, the bar between tree and form, and the place it is left in, kept across runs
// whatever the settings file holds.
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScreen>

#include "app/library_tree.h"
#include "app/main_fixture.h"
#include "app/search_dlg.h"
#include "platform/text.h"
#include "res/dialog_template.h"
#include "ui/split_bar.h"
#include "ui/window_settings.h"

using namespace mainfx;
using plat::Gbk;
using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

const char kTree[] = "art{Monet},Root card,Zoo,历史{甲午,近代{辛亥}}";

// A box's rows, Latin names before '|' and Chinese ones after: the order between the scripts is the collation's.
std::string Rows(const QComboBox* cb) {
    std::string latin, han;
    for (const std::string& t : ComboTexts(cb)) (static_cast<unsigned char>(t[0]) < 0x80 ? latin : han) += t + ",";
    return latin + "|" + han;
}

using MainTest = MainWindowTest;

TEST_F(MainTest, StartUpFillsTreeBoxesAndPathAndTheButtonsActOnThem) {
    MakeStandardProgramDir(dir);
    MakeStyles(dir, {"a.xsl.bak", "B.XSL", "notes.txt", "历史.xsl"});
    dir.MakeDir("xmlstyle/datumstyle/folder.xsl");  // an ordinary folder is never a style
    CMainDlg& w = Load();
    EXPECT_EQ(progress, (Strings{"正在读取资料库的信息......", "正在扫描资料库目录......", "正在读取类别信息......",
                                 "正在读取资料来源信息......", "正在扫描已有的风格信息文件......"}));
    EXPECT_FALSE(Strip()->isVisible() || w.Ended());
    EXPECT_EQ(ComboTexts(Combo(1000)), (Strings{"资料一", "资料二"}));
    EXPECT_EQ(U(Edit(1002)->text()), "lib");
    EXPECT_EQ(Dump(Tree()), kTree);
    EXPECT_EQ(Current(), "art") << "the first entry";
    // Boxes sorted ignoring case and by pinyin.
    EXPECT_EQ(Rows(Combo(1011)), "art,Zoo,|历史,历史\\近代,");
    EXPECT_EQ(Rows(Combo(1013)), "Book,|报纸,杂志,");
    EXPECT_EQ(Rows(Combo(1015)), "a,report,simple,|历史,");

    // The form names the line where the parser stopped; the view only that the card does not read.
    svc.ExpectBox("读取文件 lib\\art\\Monet.datum.xml 的XML数据时出错了!\n第 1 行：Document is empty", "ERROR", 0x10);
    svc.ExpectBox("读取文件 lib\\art\\Monet.datum.xml 的XML数据时出错了!", "ERROR", 0x10);
    OpenCard("Monet");
    Click(1021);  // a card that does not read is not shown
    Click(1022);
    ASSERT_EQ(svc.shellOpens.size(), 1u);
    EXPECT_EQ(svc.shellOpens[0].path, "lib\\_ _VIEW_ _\\ViewDatum.html");
    EXPECT_TRUE(svc.shellOpens[0].maximised);

    // Browse offers the file name and adds the card tail only where the choice lacks it.
    Edit(1008)->setText(QStringLiteral("lib\\K\\notes.txt"));
    Click(1010);  // no card name: no dialog
    Edit(1008)->setText(QString::fromUtf8("lib\\历史\\T.datum.xml"));
    for (const char* chosen : {"D:\\cards\\abc", "\\home\\新.datum.xml.old", ""}) svc.QueueFileName(chosen);
    for (const char* shown : {"D:\\cards\\abc.datum.xml", "\\home\\新.datum.xml.old", "\\home\\新.datum.xml.old"}) {
        Click(1010);
        EXPECT_EQ(U(Edit(1008)->text()), shown);
    }
    EXPECT_EQ(svc.fileDialogs[0].initialName, Gbk("lib\\历史\\T.datum.xml"));

    // Another library over the edited file name: asked first; discarded, the tree and both boxes are the new
    // library's.
    progress.clear();
    svc.ExpectBox(kUnsaved, "选择", kAsk, plat::IDNO);
    QTest::keyClick(Combo(1000), Qt::Key_Down);
    EXPECT_EQ(progress, (Strings{"正在重新扫描文件夹.....", "正在读取类别信息......", "正在读取资料来源信息......"}));
    EXPECT_EQ(Dump(Tree()) + Current(), "Other{x}Other");
    EXPECT_EQ(U(Edit(1002)->text()) + Rows(Combo(1011)) + Rows(Combo(1013)), "lib2Other,|Elsewhere,|");
}

// The entry list in order (end entry excluded): "d:label" for a class, "c:label|path" for a card, in UTF-8.
// Checks the links on the way: each entry has its item, prev and next agree, one end entry closes the list.
Strings Entries(const LibraryTree& tree) {
    Strings out;
    const DatumNode *prev = nullptr, *n = tree.First();
    for (; n && !n->IsEnd(); prev = n, n = n->next) {
        EXPECT_TRUE(n->prev == prev && tree.FindByItem(n->item) == n) << "broken links at " << n->label;
        out.push_back((n->IsClass() ? "d:" : "c:") + plat::GbkToUtf8(n->label) +
                      (n->IsCard() ? "|" + plat::GbkToUtf8(n->path) : ""));
    }
    EXPECT_TRUE(n && n == tree.End() && n->prev == prev && !n->next && !n->item) << "one end entry closes the list";
    return out;
}

// The scan takes plain folders as classes and card files as cards, in one order. Whatever then changes on disk,
// applying the names it touched (in any order, as often as they are reported) gives the tree and the entry list
// a fresh scan gives; the current entry goes to a neighbour with its class, to the one before when nothing
// follows.
TEST(LibraryTree, ScansPlainFoldersAndCardsAndAppliesChangesByNameAsAFreshScanDoes) {
    TempProgramDir dir;
    for (const char* f : {"_ _SETS_ _/inside.datum.xml", ".git/x.datum.xml", ".datum.xml", "x.txt", "K/a.datum.xml",
                          "K/c.datum.xml", "K/Sub/s.datum.html", "L/l.datum.xml", "top.datum.xml",
                          "RO/hidden.datum.xml", "\xFF\xFE.datum.xml"})
        dir.WriteFile(std::string("lib/") + f, "");
    dir.MakeDir("lib/f.datum.d");
    ASSERT_EQ(chmod((dir.Native() + "/lib/RO").c_str(), 0555), 0);  // read-only: not a class
    fs::create_directory_symlink(dir.Native() + "/lib/K", dir.Native() + "/lib/Link");
    QTreeWidget view;
    LibraryTree tree(&view);
    std::string error;
    ASSERT_TRUE(tree.Scan("lib\\", error));
    EXPECT_EQ(Entries(tree), (Strings{"c:|lib\\.datum.xml", "d:f.datum.d", "d:K", "c:a|lib\\K\\a.datum.xml",
                                      "c:c|lib\\K\\c.datum.xml", "d:Sub", "c:s|lib\\K\\Sub\\s.datum.html", "d:L",
                                      "c:l|lib\\L\\l.datum.xml", "c:top|lib\\top.datum.xml"}));
    const DatumNode* s = tree.FindByPath("lib\\K\\Sub\\s.datum.html");
    ASSERT_NE(s, nullptr);
    tree.Select(s);
    EXPECT_TRUE(s->item->isSelected() && s->item->parent()->isExpanded());
    EXPECT_EQ(tree.FindByItem(std::make_unique<QTreeWidgetItem>().get()), nullptr) << "an item of no entry";

    tree.MakeCurrent(tree.FindByPath("lib\\L\\l.datum.xml"));
    const std::string lib = dir.Native() + "/lib/";
    const struct {
        std::function<void()> change;
        std::vector<std::pair<std::string, std::string>> names;  // folder, name ("" for the whole folder)
    } steps[] = {
        {[&] { dir.WriteFile("lib/K/b.datum.xml", ""); }, {{"lib\\K\\", "b.datum.xml"}}},
        {[&] { fs::rename(lib + "K/Sub", lib + "L/Sub"); }, {{"lib\\K\\", "Sub"}, {"lib\\L\\", "Sub"}}},
        {[&] {
             dir.WriteFile("lib/A/B/x.datum.xml", ""),
                 dir.WriteFile("lib/K/b.sync-conflict-1-2-X.datum.xml", "");
         },
         {{"lib\\K\\", "b.sync-conflict-1-2-X.datum.xml"}, {"lib\\A\\", "B"}, {"lib\\", "A"}}},
        {[&] {
             fs::remove_all(lib + "L"), fs::remove(lib + "top.datum.xml"),
                 dir.WriteFile("lib/K/.datum.x", "");
         },
         {{"lib\\", ""}, {"lib\\K\\", ""}, {"lib\\L\\", "l.datum.xml"}, {"elsewhere\\", "top.datum.xml"}}},
    };
    for (const auto& step : steps) {
        step.change();
        std::vector<std::string> touched;
        for (int twice = 0; twice < 2; ++twice)
            for (const auto& [folder, name] : step.names) tree.Apply(Gbk(folder), Gbk(name), false, touched);
        QTreeWidget freshView;
        LibraryTree fresh(&freshView);
        ASSERT_TRUE(fresh.Scan("lib\\", error));
        EXPECT_EQ(Entries(tree), Entries(fresh));
        EXPECT_EQ(Dump(&view), Dump(&freshView));
    }
    EXPECT_EQ(Dump(&view), ",A{B{x}},f.datum.d,K{,a,b,b.sync-conflict-1-2-X [冲突],c}");
    ASSERT_NE(tree.Current(), nullptr);
    EXPECT_EQ(tree.Current()->path, "lib\\K\\c.datum.xml") << "gone with its class, then with the card after it";
    EXPECT_TRUE(tree.Current()->item->isSelected());
}

struct Failure {
    const char* name;
    int button;          // 0: at start-up; -1: switching library; else the manager button closed with OK
    const char* spoiled;  // removed below the program directory, or after '=' the only library's path
    const char* failureText;
    const char* boxText;
    friend void PrintTo(const Failure& c, std::ostream* os) { *os << c.name; }
};

class FailureTest : public MainWindowTest, public ::testing::WithParamInterface<Failure> {
protected:
    void Spoil(const std::string& what) {
        if (what == "=") dir.WriteFile("set/datumlib.lst", ListText({"count=1", "name0=x"}));  // no path line
        else if (what[0] == '=') WriteRegistry(dir, {{"一", what.substr(1)}}, 0);
        else fs::remove_all(dir.Native() + "/" + what.substr(what[0] == '!'));
        // '!': still there, but no file to read (root reads any file, so a folder takes its place)
        if (what[0] == '!') fs::create_directory(dir.Native() + "/" + what.substr(1));
    }
};

// Whatever stage fails, the strip says so, the box follows after a second, and the window ends.
TEST_P(FailureTest, RunsTheFailureProcedureAndEndsTheWindow) {
    const Failure& c = GetParam();
    MakeStandardProgramDir(dir);
    if (c.button == 0) Spoil(c.spoiled);
    else Load();
    ExpectFailure(c.failureText, c.boxText);
    if (c.button > 0) {
        mangfx::WhenModal([&](CDialog& m) {
            Spoil(c.spoiled);
            m.EndDialog(plat::IDOK);
        });
        dlg->ItemAs<QPushButton>(c.button)->click();
    } else if (c.button < 0) {
        Spoil(c.spoiled);
        QTest::keyClick(Combo(1000), Qt::Key_Down);
    } else {
        Load();
    }
    EXPECT_TRUE(dlg->Ended());
    EXPECT_EQ(svc.boxes.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Stages, FailureTest,
    ::testing::Values(
        Failure{"Registry", 0, "set/datumlib.lst", "读取资料库信息时出现错误!!",
                "读取资料库信息时出错: 没有找到配置文件 set\\datumlib.lst"},
        Failure{"UnreadableRegistry", 0, "!set/datumlib.lst", "读取资料库信息时出现错误!!",
                "读取资料库信息时出错: 不能读取配置文件 set\\datumlib.lst"},
        Failure{"UnreadableClassList", 0, "!lib/_ _SETS_ _/class.list", "读取类别信息出现错误!!",
                "读取类别信息出现错误:不能读取文件 lib\\_ _SETS_ _\\class.list"},
        Failure{"UnreadableSourceList", 0, "!lib/_ _SETS_ _/source.list", "读取资料来源信息出现错误!!",
                "读取资料来源信息出现错误:不能读取文件 lib\\_ _SETS_ _\\source.list"},
        Failure{"LibraryFolder", 0, "lib", "扫描资料库中的文件出现错误!!", "扫描资料库中的文件出现错误:目录 lib\\ 不存在"},
        Failure{"LibraryIsACard", 0, "=lib\\art\\Monet.datum.xml", "扫描资料库中的文件出现错误!!",
                "扫描资料库中的文件出现错误:目录 lib\\art\\Monet.datum.xml\\ 不存在"},
        Failure{"SlotWithoutPath", 0, "=", "扫描资料库中的文件出现错误!!", "扫描资料库中的文件出现错误:目录 \x02\\ 不存在"},
        Failure{"ClassList", 0, "lib/_ _SETS_ _/class.list", "读取类别信息出现错误!!",
                "读取类别信息出现错误:找不到文件 lib\\_ _SETS_ _\\class.list"},
        Failure{"SourceList", 0, "lib/_ _SETS_ _/source.list", "读取资料来源信息出现错误!!",
                "读取资料来源信息出现错误:找不到文件 lib\\_ _SETS_ _\\source.list"},
        Failure{"StyleFolder", 0, "xmlstyle", "扫描已有的风格信息文件出现错误!!",
                "扫描已有的风格信息文件现错误:目录 xmlstyle\\datumstyle\\ 不存在"},
        Failure{"SwitchToMissingLibrary", -1, "lib2", "扫描资料库中的文件出现错误!!",
                "扫描资料库中的文件出现错误:目录 lib2\\ 不存在"},
        Failure{"LibraryReload", 1001, "set/datumlib.lst", "读取资料库信息时出现错误!!",
                "读取资料库信息时出错: 没有找到配置文件 set\\datumlib.lst"},
        Failure{"ClassReload", 1012, "lib/_ _SETS_ _/class.list", "读取类别信息时出现错误!!",
                "读取类别信息时出错: 找不到文件 lib\\_ _SETS_ _\\class.list"},
        Failure{"SourceReload", 1014, "lib/_ _SETS_ _/source.list", "读取来源信息时出现错误!!",
                "读取来源时出错: 找不到文件 lib\\_ _SETS_ _\\source.list"},
        Failure{"StyleReload", 1016, "xmlstyle", "读取风格信息时出现错误!!",
                "读取风格信息时出错: 目录 xmlstyle\\datumstyle\\ 不存在"}),
    [](const ::testing::TestParamInfo<Failure>& i) { return std::string(i.param.name); });

TEST_F(MainTest, ModalRunLoadsOnceAfterShowingAndOnlyButtonsEndIt) {
    MakeStandardProgramDir(dir);
    dlg = std::make_unique<CMainDlg>();
    CMainDlg& w = *dlg;
    int loads = 0;
    QObject::connect(Strip(), &CShowMsgDlg::MessageSet,
                     [&](const std::string& t) { loads += t == Gbk("正在读取资料库的信息......"); });
    QTimer::singleShot(300, [&] {
        EXPECT_EQ(Dump(Tree()), kTree);
        Edit(1009)->setFocus();
        QTest::keyClick(Edit(1009), Qt::Key_Return);
        EXPECT_FALSE(w.Ended());
        QTest::keyClick(Edit(1009), Qt::Key_Escape);
    });
    w.DoModal();
    EXPECT_TRUE(w.Ended());
    EXPECT_EQ(loads, 1);
}

TEST_F(MainTest, WithoutALibraryTheWindowStartsQuietAndLoadsTheFirstOneRegistered) {
    WriteRegistry(dir, {}, 0);
    MakeStyles(dir, {"simple.xsl"});
    CMainDlg& w = Load();
    EXPECT_FALSE(w.Ended());
    EXPECT_EQ(U(Combo(1000)->currentText() + Edit(1002)->text()) + Dump(Tree()), "");
    EXPECT_EQ(ComboTexts(Combo(1015)), Strings{"simple"});
    mangfx::ExpectNoModal();
    for (int button : {1003, 1004, 1007, 1012, 1014, 1021, 1022}) Click(button);  // all need a library
    mangfx::Drain();
    EXPECT_TRUE(svc.boxes.empty() && svc.shellOpens.empty());

    MakeLibrary(dir, "made", {"K"}, {"S"});
    MakeCard(dir, "made/K/c.datum.xml");
    mangfx::WhenModal([&](CDialog& m) {
        WriteRegistry(dir, {{"新", "made"}}, 0);
        m.EndDialog(plat::IDOK);
    });
    Click(1001);
    EXPECT_EQ(Dump(Tree()) + Rows(Combo(1011)), "K{c}K,|");
}

// The library lies outside the program directory, so its links are stored by their absolute path.
TEST_F(MainTest, AddBookmarkAppendsTheCurrentCardOnceAndTheListButtonsOpenTheirOwnList) {
    TempProgramDir outside;
    const std::string root = outside.Internal() + "\\Bib";
    MakeLibrary(outside, "Bib", {"K"}, {});
    outside.WriteFile("Bib/K/Karte.datum.xml", CardBytes({Gbk("卡片"), "K", "2003-2-5 9:7", "", Gbk("报纸"), Gbk("关键"), "", "", ""}));
    outside.WriteFile("Bib/_ _SETS_ _/bookmark.list", mangfx::LinkList("书签", {}));
    outside.WriteFile("Bib/_ _SETS_ _/lineindex.list", mangfx::LinkList("索引", {}));
    ASSERT_EQ(chdir(dir.Native().c_str()), 0);
    WriteRegistry(dir, {{"外部", plat::GbkToUtf8(root)}}, 0);
    MakeStyles(dir, {});
    Load();
    OpenCard("Karte");
    svc.ExpectBox("当前文件已经成功加入到书签中了!!", "INFOMATION", 0x40);
    Click(1007);
    svc.ExpectBox("该文件已经在列表中了！", "ERROR", 0x10);
    Click(1007);
    EXPECT_EQ(outside.ReadFile("Bib/_ _SETS_ _/bookmark.list"), mangfx::LinkList("索引;书签", {{"卡片", plat::AsciiLower(root + "\\K\\Karte.datum.xml")}}));
    mangfx::WhenModal([](CDialog& m) {
        EXPECT_TRUE(mangfx::Rows(m).empty()) << "the index list is another list";
        mangfx::Click(m, 2);
    });
    Click(1003);
    mangfx::WhenModal([](CDialog& m) {
        EXPECT_EQ(mangfx::Rows(m).size(), 1u) << "the bookmark list holds the card just added";
        mangfx::Select(m, 0);
        mangfx::Click(m, 6);
        mangfx::Click(m, 2);
    });
    // The card is shown rendered through a stylesheet; this program directory has none.
    svc.ExpectBox("资料卡没有指定可用的风格文件, 目录 xmlstyle\\datumstyle\\ 中也没有风格文件", "ERROR", 0x10);
    Click(1004);
    EXPECT_TRUE(svc.shellOpens.empty());
}

TEST_F(MainTest, TheShippedProgramDirectoryLoadsWithoutAnyBox) {
    dir.CopyShippedData();
    Load();
    EXPECT_TRUE(svc.boxes.empty());
    EXPECT_GT(Tree()->topLevelItemCount(), 0);
}

class WindowTest : public MainWindowTest {
protected:
    void SetUp() override {
        MakeStandardProgramDir(dir);
        QFile::remove(ui::WindowSettings::File());  // no place left by another test
    }
    QRect At(int id) { return dlg->Item(id)->geometry(); }
    int Du(int units) { return dlg->MapDialogRect(0, 0, units, units).width(); }
    void DragBar(int dx) {
        auto* bar = dlg->findChild<ui::SplitBar*>();
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(2, 20));
        QTest::mouseMove(bar, QPoint(2 + dx, 20));
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(2 + dx, 20));
    }
    // Starts the window shown, lets `act` use it, and ends it as 退出 does.
    void Run(const std::function<void()>& act) {
        Load();
        dlg->show();
        act();
        Click(1);
    }
};

TEST_F(WindowTest, TheTreeGrowsInHeightTheFieldsInWidthAndTheBodyTakesTheRest) {
    Load();
    dlg->show();
    for (const res::ControlTemplate& c : res::Dialog(102).controls) {  // the template size: the template places
        const QRect want = dlg->MapDialogRect(c.x, c.y, c.w, c.h);
        EXPECT_TRUE(c.id < 0 || At(c.id).adjusted(0, 0, 0, want.height() - At(c.id).height()) == want) << c.id;
    }
    const QRect tree = At(1005), title = At(1009), manage = At(1012), body = At(1018), save = At(1006);
    dlg->resize(dlg->size() + QSize(400, 300));
    DragBar(60);  // the boundary: the tree takes what the form's fields give; the buttons at the right stay
    const std::pair<QRect, QRect> split[] = {
        {At(1005), tree.adjusted(0, 0, 60, 300)},  {At(1009), title.adjusted(60, 0, 400, 0)},
        {At(1012), manage.translated(400, 0)},     {At(1018), body.adjusted(60, 0, 400, 300)},
        {At(1006), save.translated(60, 0)}};
    for (const auto& [got, want] : split) EXPECT_EQ(got, want);
    // Neither pane can be dragged away, nor can the window be made too small for its controls.
    DragBar(-2000);
    EXPECT_EQ(At(1005).width(), Du(50));
    DragBar(4000);
    EXPECT_EQ(At(1011).width(), Du(40));
    dlg->resize(10, 10);
    EXPECT_EQ(dlg->size(), dlg->MapDialogRect(0, 0, 321, 203).size());
    EXPECT_TRUE(dlg->rect().contains(At(1018)) && At(1018).height() >= 4 * dlg->fontMetrics().height());
}

TEST_F(WindowTest, PlaceSizeMaximisedStateBoundaryAndSearchWindowAreKeptAcrossRuns) {
    const QRect place(40, 30, 700, 520), search(60, 50, 720, 480);
    Run([&] {
        dlg->setGeometry(place);
        DragBar(-30);
        Click(1023);
        dlg->SearchWindow()->setGeometry(search);
        dlg->showMaximized();
    });
    Run([&] {
        EXPECT_TRUE(dlg->isMaximized());
        Click(1023);
        EXPECT_EQ(dlg->SearchWindow()->geometry(), search);
        dlg->showNormal();
        EXPECT_EQ(dlg->geometry(), place) << "the size it had before it was maximised";
        EXPECT_EQ(At(1005).width(), Du(117) - 30);
    });
}

// Nothing the file holds can stop a window or put it out of reach.
TEST(WindowSettings, ADamagedOrStrangeFileKeepsNothingAndAPlaceOffTheScreensComesBackOnOne) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const std::pair<QByteArray, QRect> rows[] = {
        {QByteArray("\0\xff\xfe[[[=\x01", 9), {}},
        {"[w]\ngeometry=@Rect(10 20 300 200)\nmaximized=maybe\n", {10, 20, 300, 200}},
        {"[w]\ngeometry=@Rect(10 10 -5 0)\n", {}},
        {"[w]\ngeometry=@Rect(5000 -3000 600 500)\n", {QPoint(screen.right() - 599, screen.top()), QSize(600, 500)}},
        {"[w]\ngeometry=@Rect(0 0 9000 9000)\n", screen}};
    ASSERT_TRUE(QDir().mkpath(QFileInfo(ui::WindowSettings::File()).path()));
    for (const auto& [bytes, place] : rows) {
        QFile file(ui::WindowSettings::File());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
        file.close();
        QWidget w;
        w.setGeometry(1, 2, 3, 4);
        EXPECT_EQ(ui::WindowSettings().Restore(&w, "w"), place.isValid()) << bytes.toStdString();
        EXPECT_TRUE(w.geometry() == (place.isValid() ? place : QRect(1, 2, 3, 4)) && !w.isMaximized());
    }
}

}  // namespace
