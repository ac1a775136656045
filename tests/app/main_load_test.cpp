// The main window's start-up: the load sequence stage by stage, each failure procedure, the registry rules,
// the library switch and the reloads after the manager dialogs.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "app/main_fixture.h"
#include "ui/combo.h"
#include "ui/dialog.h"

using namespace mainfx;
using plat::Gbk;

namespace {

using LoadTest = MainWindowTest;

// Each row binds the combo entry to the table slot whose name it shows.
template <class NameOf>
void ExpectBoundToTable(const QComboBox* cb, int count, NameOf nameOf) {
    ASSERT_EQ(cb->count(), count);
    for (int row = 0; row < cb->count(); ++row) {
        int slot = cb->itemData(row).toInt();
        ASSERT_GE(slot, 0);
        ASSERT_LT(slot, count);
        EXPECT_EQ(cb->itemText(row), plat::ToQ(nameOf(slot))) << "row " << row;
    }
}

int RowOf(const QComboBox* cb, const char* utf8) { return cb->findText(QString::fromUtf8(utf8)); }

TEST_F(LoadTest, GoodDirectoryFillsTreeCombosAndPathInStageOrder) {
    MakeStandardProgramDir(dir);
    CMainDlg& w = Load();

    EXPECT_EQ(progress, (std::vector<std::string>{"正在读取资料库的信息......", "正在扫描资料库目录......",
                                                  "正在读取类别信息......", "正在读取资料来源信息......",
                                                  "正在扫描已有的风格信息文件......"}));
    EXPECT_FALSE(w.m_msg->isVisible());
    EXPECT_FALSE(w.Ended());
    EXPECT_TRUE(svc.boxes.empty());

    // Library box in registry order, default selected, its path shown; the root built from it.
    EXPECT_EQ(ComboTexts(w.m_cbLibrary), (std::vector<std::string>{"资料一", "资料二"}));
    EXPECT_EQ(w.m_cbLibrary->currentIndex(), 0);
    EXPECT_EQ(U(w.m_edPath->text()), "lib");
    EXPECT_EQ(w.m_libRoot, "lib\\");
    EXPECT_EQ(w.m_progDir, dir.Internal());
    EXPECT_EQ(w.m_dtdPath, dir.Internal() + "\\xmlstyle\\qvrt_xml_1.0\\02_2003_datum01.dtd");

    EXPECT_EQ(Dump(w.m_tree), "art{Monet},Root card,Zoo,历史{甲午,近代{辛亥}}");
    ASSERT_NE(w.m_first, nullptr);
    EXPECT_EQ(w.m_current, w.m_first);
    EXPECT_EQ(w.m_tree->currentItem(), w.m_first->item);
    EXPECT_EQ(U(w.m_tree->currentItem()->text(0)), "art");

    // Sorted boxes, each row bound to its slot: within a script, ascending ignoring case / by pinyin.
    ExpectBoundToTable(w.m_cbClass, w.m_nClasses, [&](int i) { return w.m_classes[i].name; });
    EXPECT_EQ(w.m_nClasses, 4);
    EXPECT_EQ(w.m_classes[3].path, Gbk("lib\\历史\\近代\\"));
    EXPECT_LT(RowOf(w.m_cbClass, "art"), RowOf(w.m_cbClass, "Zoo"));
    EXPECT_LT(RowOf(w.m_cbClass, "历史"), RowOf(w.m_cbClass, "历史\\近代"));
    ExpectBoundToTable(w.m_cbSource, w.m_nSources, [&](int i) { return w.m_sources[i]; });
    EXPECT_LT(RowOf(w.m_cbSource, "报纸"), RowOf(w.m_cbSource, "杂志"));
    ExpectBoundToTable(w.m_cbStyle, static_cast<int>(w.m_styles.size()), [&](int i) { return w.m_styles[i].name; });
    EXPECT_EQ(ComboTexts(w.m_cbStyle), (std::vector<std::string>{"report", "simple"}));

    // Nothing is loaded into the form at start.
    EXPECT_TRUE(w.m_edTitle->text().isEmpty());
    EXPECT_TRUE(w.m_edFile->text().isEmpty());
}

TEST_F(LoadTest, ModalRunLoadsOnceAfterShowingAndEndsWithButtonOne) {
    MakeStandardProgramDir(dir);
    auto w = std::make_unique<CMainDlg>();
    int loadsSeen = 0;
    w->m_onProgress = [&](const std::string& t) {
        if (t == Gbk("正在读取资料库的信息......")) ++loadsSeen;
    };
    bool checked = false;
    QTimer::singleShot(300, [&] {
        checked = true;
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(w->m_startupDone, 1);
        EXPECT_EQ(Dump(w->m_tree), "art{Monet},Root card,Zoo,历史{甲午,近代{辛亥}}");
        // Enter in a field or a combo must not end the program; button "退     出" does.
        for (QWidget* field : std::initializer_list<QWidget*>{w->m_edTitle, w->m_cbClass, w->m_cbLibrary}) {
            field->setFocus();
            QTest::keyClick(field, field == w->m_cbLibrary ? Qt::Key_Enter : Qt::Key_Return);
        }
        EXPECT_FALSE(w->Ended());
        // Enter on a focused button presses it: "上一则" steps back from the first card to its class.
        w->m_current = w->m_first->next;
        auto* prev = w->ItemAs<QPushButton>(1019);
        prev->setFocus();
        QTest::keyClick(prev, Qt::Key_Return);
        EXPECT_EQ(w->m_current, w->m_first);
        w->ItemAs<QPushButton>(1)->click();
    });
    EXPECT_EQ(w->DoModal(), plat::IDOK);
    EXPECT_TRUE(checked);
    EXPECT_EQ(loadsSeen, 1);
    EXPECT_TRUE(svc.boxes.empty());
}

TEST_F(LoadTest, EscapeEndsTheWindow) {
    MakeStandardProgramDir(dir);
    auto w = std::make_unique<CMainDlg>();
    QTimer::singleShot(100, [&] { QTest::keyClick(w->m_edTitle, Qt::Key_Escape); });
    w->DoModal();
    EXPECT_TRUE(w->Ended());
}

TEST_F(LoadTest, ModalRunWithMissingRegistryEndsAfterTheBox) {
    MakeStyles(dir, {"simple.xsl"});
    auto w = std::make_unique<CMainDlg>();
    svc.ExpectBox("读取资料库信息时出错: 没有找到配置文件 set\\datumlib.lst", "ERROR", 0x10);
    w->DoModal();  // returns only because the failure ended the window
    EXPECT_TRUE(w->Ended());
    EXPECT_EQ(w->m_tree->topLevelItemCount(), 0);
}

struct FailureCase {
    const char* name;
    std::function<void(const TempProgramDir&)> breakIt;
    const char* failureText;
    const char* boxText;
    size_t stagesRun;        // progress texts shown up to the failure
    const char* treeAfter;   // the tree when the box came up
    friend void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }
};

class LoadFailureTest : public MainWindowTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(LoadFailureTest, RunsTheFailureProcedureAndEndsTheWindow) {
    const FailureCase& c = GetParam();
    MakeStandardProgramDir(dir);
    c.breakIt(dir);
    ExpectFailure(c.failureText, c.boxText);
    CMainDlg& w = Load();
    EXPECT_TRUE(w.Ended());
    EXPECT_EQ(svc.boxes.size(), 1u);
    EXPECT_EQ(svc.sleeps, std::vector<int>{1000});
    EXPECT_EQ(progress.size(), c.stagesRun);
    EXPECT_EQ(Dump(w.m_tree), c.treeAfter);
    EXPECT_FALSE(w.m_msg->isVisible());
}

const char kFullTree[] = "art{Monet},Root card,Zoo,历史{甲午,近代{辛亥}}";

INSTANTIATE_TEST_SUITE_P(
    Stages, LoadFailureTest,
    ::testing::Values(
        FailureCase{"MissingRegistry", [](const TempProgramDir& d) { std::filesystem::remove(d.Native() + "/set/datumlib.lst"); },
                    "读取资料库信息时出现错误!!", "读取资料库信息时出错: 没有找到配置文件 set\\datumlib.lst", 1, ""},
        FailureCase{"MissingLibraryFolder",
                    [](const TempProgramDir& d) { WriteRegistry(d, {{"资料一", "gone"}}, 0); },
                    "扫描资料库中的文件出现错误!!", "扫描资料库中的文件出现错误:目录 gone\\ 不存在", 2, ""},
        FailureCase{"MissingClassList",
                    [](const TempProgramDir& d) { std::filesystem::remove(d.Native() + "/lib/_ _SETS_ _/class.list"); },
                    "读取类别信息出现错误!!", "读取类别信息出现错误:找不到文件 lib\\_ _SETS_ _\\class.list", 3, kFullTree},
        FailureCase{"MissingSourceList",
                    [](const TempProgramDir& d) { std::filesystem::remove(d.Native() + "/lib/_ _SETS_ _/source.list"); },
                    "读取资料来源信息出现错误!!", "读取资料来源信息出现错误:找不到文件 lib\\_ _SETS_ _\\source.list", 4,
                    kFullTree},
        FailureCase{"MissingStyleFolder",
                    [](const TempProgramDir& d) { std::filesystem::remove_all(d.Native() + "/xmlstyle"); },
                    "扫描已有的风格信息文件出现错误!!", "扫描已有的风格信息文件现错误:目录 xmlstyle\\datumstyle\\ 不存在", 5,
                    kFullTree}),
    [](const ::testing::TestParamInfo<FailureCase>& i) { return std::string(i.param.name); });

TEST_F(LoadTest, RegistryCountAndUseAreCapped) {
    std::vector<Lib> libs;
    for (int i = 0; i < 60; ++i) libs.push_back({"L" + std::to_string(i), "lib" + std::to_string(i)});
    WriteRegistry(dir, libs, 55);
    MakeLibrary(dir, "lib49", {}, {});
    MakeStyles(dir, {});
    CMainDlg& w = Load();
    EXPECT_EQ(w.m_cbLibrary->count(), 50);
    EXPECT_EQ(w.m_libs.count, 50);
    EXPECT_EQ(w.m_nCurLib, 49);
    EXPECT_EQ(U(w.m_cbLibrary->currentText()), "L49");
    EXPECT_EQ(U(w.m_edPath->text()), "lib49");
    EXPECT_EQ(w.m_libRoot, "lib49\\");
}

TEST_F(LoadTest, UseNamingAnExistingSlotSelectsIt) {
    WriteRegistry(dir, {{"A", "a"}, {"B", "b"}, {"C", "c"}}, 1);
    MakeLibrary(dir, "b", {"OnlyInB"}, {});
    MakeStyles(dir, {});
    CMainDlg& w = Load();
    EXPECT_EQ(w.m_nCurLib, 1);
    EXPECT_EQ(U(w.m_cbLibrary->currentText()), "B");
    EXPECT_EQ(Dump(w.m_tree), "OnlyInB");
}

TEST_F(LoadTest, ClassListCountAbove100LoadsTheFirst100) {
    MakeStandardProgramDir(dir);
    Lines names;
    for (int i = 0; i < 120; ++i) names.push_back("C" + std::to_string(i));
    WriteClassList(dir, "lib", "lib\\", names, 120);
    CMainDlg& w = Load();
    EXPECT_EQ(w.m_nClasses, 100);
    EXPECT_EQ(w.m_cbClass->count(), 100);
    EXPECT_EQ(RowOf(w.m_cbClass, "C100"), -1);
    EXPECT_NE(RowOf(w.m_cbClass, "C99"), -1);
}

TEST_F(LoadTest, RegistryWithoutLibrariesStartsEmptyAndQuiet) {
    WriteRegistry(dir, {}, 0);
    MakeStyles(dir, {"simple.xsl"});
    CMainDlg& w = Load();
    EXPECT_TRUE(svc.boxes.empty());
    EXPECT_FALSE(w.Ended());
    EXPECT_FALSE(w.m_msg->isVisible());
    EXPECT_EQ(w.m_nCurLib, -1);
    EXPECT_FALSE(w.HasLibrary());
    EXPECT_EQ(w.m_cbLibrary->count(), 0);
    EXPECT_TRUE(w.m_edPath->text().isEmpty());
    EXPECT_EQ(w.m_tree->topLevelItemCount(), 0);
    EXPECT_EQ(w.m_cbClass->count(), 0);
    EXPECT_EQ(w.m_cbSource->count(), 0);
    EXPECT_EQ(ComboTexts(w.m_cbStyle), std::vector<std::string>{"simple"});

    // Buttons that need a library do nothing: no dialog, no shell open, no box.
    w.ItemAs<QPushButton>(1022)->click();
    w.ItemAs<QPushButton>(1012)->click();
    w.ItemAs<QPushButton>(1014)->click();
    w.ItemAs<QPushButton>(1021)->click();
    EXPECT_TRUE(svc.shellOpens.empty());
    EXPECT_FALSE(w.Ended());
}

TEST_F(LoadTest, LibrarySwitchRescansTreeAndReloadsTheLibrarysLists) {
    MakeStandardProgramDir(dir);
    CMainDlg& w = Load();
    progress.clear();

    QTest::keyClick(w.m_cbLibrary, Qt::Key_Down);  // the user picks the next library

    EXPECT_EQ(progress, (std::vector<std::string>{"正在重新扫描文件夹.....", "正在读取类别信息......",
                                                  "正在读取资料来源信息......"}));
    EXPECT_EQ(w.m_nCurLib, 1);
    EXPECT_EQ(U(w.m_edPath->text()), "lib2");
    EXPECT_EQ(w.m_libRoot, "lib2\\");
    EXPECT_EQ(Dump(w.m_tree), "Other{x}");
    EXPECT_EQ(Entries(w), (std::vector<std::string>{"d:Other", "c:x|lib2\\Other\\x.datum.xml"}));
    EXPECT_EQ(w.m_current, w.m_first);
    EXPECT_EQ(w.m_tree->currentItem(), w.m_first->item);
    EXPECT_FALSE(w.m_msg->isVisible());
    EXPECT_EQ(ComboTexts(w.m_cbClass), std::vector<std::string>{"Other"});
    EXPECT_EQ(ComboTexts(w.m_cbSource), std::vector<std::string>{"Elsewhere"});
    EXPECT_TRUE(svc.boxes.empty());
}

TEST_F(LoadTest, LibrarySwitchToAMissingFolderEndsTheProgram) {
    MakeStandardProgramDir(dir);
    std::filesystem::remove_all(dir.Native() + "/lib2");
    CMainDlg& w = Load();
    ExpectFailure("扫描资料库中的文件出现错误!!", "扫描资料库中的文件出现错误:目录 lib2\\ 不存在");
    QTest::keyClick(w.m_cbLibrary, Qt::Key_Down);
    EXPECT_TRUE(w.Ended());
    EXPECT_EQ(w.m_tree->topLevelItemCount(), 0);
    ASSERT_NE(w.m_first, nullptr);
    EXPECT_TRUE(w.m_first->IsEnd());  // the old library's entries are gone with its items
}

// --- the manager buttons: what each reloads

void EndModal(QWidget* w, int result) {
    auto* d = qobject_cast<CDialog*>(w);
    ASSERT_NE(d, nullptr);
    d->EndDialog(result);
}

TEST_F(LoadTest, CancelledManagersReloadNothing) {
    MakeStandardProgramDir(dir);
    CMainDlg& w = Load();
    auto libraries = ComboTexts(w.m_cbLibrary);
    auto classes = ComboTexts(w.m_cbClass);
    auto sources = ComboTexts(w.m_cbSource);
    progress.clear();
    // What a reload would show, were one run.
    WriteRegistry(dir, {{"Changed", "lib"}}, 0);
    WriteClassList(dir, "lib", "lib\\", {"Changed"});
    WriteSourceList(dir, "lib", {"Changed"});
    for (int button : {1001, 1012, 1014}) {
        WhenModal([](QWidget* m) { EndModal(m, plat::IDCANCEL); });
        w.ItemAs<QPushButton>(button)->click();
    }
    EXPECT_EQ(ComboTexts(w.m_cbLibrary), libraries);
    EXPECT_EQ(ComboTexts(w.m_cbClass), classes);
    EXPECT_EQ(ComboTexts(w.m_cbSource), sources);
    EXPECT_TRUE(progress.empty());
}

// Each reload's own failure text and prefix (they differ from the start-up's).
struct ReloadFailure {
    const char* name;
    int button;
    const char* removed;  // below the program directory
    const char* failureText;
    const char* boxText;
    friend void PrintTo(const ReloadFailure& c, std::ostream* os) { *os << c.name; }
};

class ReloadFailureTest : public MainWindowTest, public ::testing::WithParamInterface<ReloadFailure> {};

TEST_P(ReloadFailureTest, EndsTheProgramAfterTheBox) {
    const ReloadFailure& c = GetParam();
    MakeStandardProgramDir(dir);
    CMainDlg& w = Load();
    WhenModal([&](QWidget* m) {
        std::filesystem::remove_all(dir.Native() + "/" + c.removed);
        EndModal(m, plat::IDOK);
    });
    ExpectFailure(c.failureText, c.boxText);
    w.ItemAs<QPushButton>(c.button)->click();
    EXPECT_TRUE(w.Ended());
}

INSTANTIATE_TEST_SUITE_P(
    Managers, ReloadFailureTest,
    ::testing::Values(
        ReloadFailure{"Library", 1001, "set/datumlib.lst", "读取资料库信息时出现错误!!",
                      "读取资料库信息时出错: 没有找到配置文件 set\\datumlib.lst"},
        ReloadFailure{"Source", 1014, "lib/_ _SETS_ _/source.list", "读取来源信息时出现错误!!",
                      "读取来源时出错: 找不到文件 lib\\_ _SETS_ _\\source.list"},
        ReloadFailure{"Style", 1016, "xmlstyle", "读取风格信息时出现错误!!",
                      "读取风格信息时出错: 目录 xmlstyle\\datumstyle\\ 不存在"}),
    [](const ::testing::TestParamInfo<ReloadFailure>& i) { return std::string(i.param.name); });

TEST_F(LoadTest, FirstLibraryRegisteredInAnEmptyWindowIsLoaded) {
    WriteRegistry(dir, {}, 0);
    MakeStyles(dir, {"simple.xsl"});
    CMainDlg& w = Load();
    MakeLibrary(dir, "made", {"K"}, {"S"});
    MakeCard(dir, "made/K/c.datum.xml");
    progress.clear();
    WhenModal([&](QWidget* m) {
        WriteRegistry(dir, {{"新", "made"}}, 0);
        EndModal(m, plat::IDOK);
    });
    w.ItemAs<QPushButton>(1001)->click();
    EXPECT_EQ(progress, (std::vector<std::string>{"重新读取资料库的信息......", "正在扫描资料库目录......",
                                                  "正在读取类别信息......", "正在读取资料来源信息......"}));
    EXPECT_TRUE(w.HasLibrary());
    EXPECT_EQ(Dump(w.m_tree), "K{c}");
    EXPECT_EQ(ComboTexts(w.m_cbClass), std::vector<std::string>{"K"});
    EXPECT_EQ(ComboTexts(w.m_cbSource), std::vector<std::string>{"S"});
    EXPECT_EQ(ComboTexts(w.m_cbStyle), std::vector<std::string>{"simple"});
    EXPECT_FALSE(w.m_msg->isVisible());
}

TEST_F(LoadTest, ShippedProgramDirectoryLoadsWithoutAnyBox) {
    if (!std::filesystem::exists(KORVANE_SHIPPED_DATA "/set/datumlib.lst")) GTEST_SKIP() << "no shipped data yet";
    dir.CopyShippedData();
    CMainDlg& w = Load();
    EXPECT_TRUE(svc.boxes.empty());
    EXPECT_FALSE(w.Ended());
    EXPECT_GT(w.m_tree->topLevelItemCount(), 0);
    EXPECT_GE(static_cast<int>(w.m_styles.size()), 2);
    EXPECT_EQ(progress.size(), 5u);
}

}  // namespace
