// The library scan: which folders are classes, which files are cards, labels and paths, scan order, the
// entry list behind the tree, and rescans.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "app/main_fixture.h"

using namespace mainfx;
using plat::Gbk;

namespace {

class ScanTest : public MainWindowTest {
protected:
    // The window initialised on library folder "lib" without running the rest of the start-up.
    CMainDlg& Scan() {
        Open();
        dlg->m_libRoot = "lib\\";
        EXPECT_EQ(dlg->ScanLibrary(), 1) << plat::GbkToUtf8(dlg->m_lastError);
        return *dlg;
    }
    int CountItems(QTreeWidgetItem* parent = nullptr) {
        int n = parent ? parent->childCount() : dlg->m_tree->topLevelItemCount(), total = n;
        for (int i = 0; i < n; ++i) total += CountItems(parent ? parent->child(i) : dlg->m_tree->topLevelItem(i));
        return total;
    }
};

TEST_F(ScanTest, ClassAndCardRulesLabelsPathsAndOrder) {
    dir.MakeDir("lib/_ _SETS_ _");
    MakeCard(dir, "lib/_ _SETS_ _/inside.datum.xml");  // service folder: not shown, not entered
    MakeCard(dir, "lib/_ _VIEW_ _/view.datum.xml");
    MakeCard(dir, "lib/.git/x.datum.xml");             // dot folder: not entered
    MakeCard(dir, "lib/.datum.xml");                   // a card with an empty label
    MakeCard(dir, "lib/x.txt");                        // not a card
    MakeCard(dir, "lib/K/a.datum.xml");
    MakeCard(dir, "lib/K/Sub/b.datum.html");           // nested class; any tail after ".datum."
    MakeCard(dir, "lib/L/a.datum.xml");                // same label in another class
    MakeCard(dir, "lib/root.datum.xml");               // a card beside the classes
    dir.MakeDir("lib/Empty");
    dir.MakeDir("lib/f.datum.d");                      // a plain folder is a class, whatever its name
    MakeCard(dir, "lib/RO/hidden.datum.xml");
    ASSERT_EQ(chmod((dir.Native() + "/lib/RO").c_str(), 0555), 0);  // read-only: not a class
    std::filesystem::create_directory_symlink(dir.Native() + "/lib/K", dir.Native() + "/lib/Link");
    MakeCard(dir, "lib/\xF0\x9F\x98\x80.datum.xml");     // a name GBK cannot hold

    CMainDlg& w = Scan();
    EXPECT_EQ(Dump(w.m_tree), ",Empty,f.datum.d,K{a,Sub{b}},L{a},root");
    EXPECT_EQ(Entries(w), (std::vector<std::string>{
                              "c:|lib\\.datum.xml", "d:Empty", "d:f.datum.d", "d:K", "c:a|lib\\K\\a.datum.xml",
                              "d:Sub", "c:b|lib\\K\\Sub\\b.datum.html", "d:L", "c:a|lib\\L\\a.datum.xml",
                              "c:root|lib\\root.datum.xml"}));
    // After the scan the current entry is the end entry.
    ASSERT_NE(w.m_current, nullptr);
    EXPECT_TRUE(w.m_current->IsEnd());

    // One item per entry and one entry per item; each item shows its entry's label and is found by it.
    std::set<QTreeWidgetItem*> items;
    for (DatumNode* n = w.m_first; !n->IsEnd(); n = n->next) {
        EXPECT_TRUE(items.insert(n->item).second);
        EXPECT_EQ(n->item->text(0), plat::ToQ(n->label));
        EXPECT_EQ(w.FindNodeByItem(n->item), n);
        EXPECT_FALSE(n->item->flags() & Qt::ItemIsEditable) << "labels are not edited in place";
    }
    EXPECT_EQ(static_cast<int>(items.size()), CountItems());
}

TEST_F(ScanTest, UnreadableSubFolderIsAnEmptyClass) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every folder";
    MakeCard(dir, "lib/Locked/c.datum.xml");
    MakeCard(dir, "lib/Open/d.datum.xml");
    ASSERT_EQ(chmod((dir.Native() + "/lib/Locked").c_str(), 0300), 0);  // writable, not listable
    CMainDlg& w = Scan();
    chmod((dir.Native() + "/lib/Locked").c_str(), 0755);
    EXPECT_EQ(Dump(w.m_tree), "Locked,Open{d}");
    EXPECT_TRUE(svc.boxes.empty());
}

TEST_F(ScanTest, EmptyLibraryHoldsOnlyTheEndEntryAndSelectsNothing) {
    dir.MakeDir("lib/_ _SETS_ _");
    CMainDlg& w = Scan();
    EXPECT_EQ(w.m_tree->topLevelItemCount(), 0);
    EXPECT_TRUE(Entries(w).empty());
    ASSERT_NE(w.m_first, nullptr);
    EXPECT_TRUE(w.m_first->IsEnd());
    w.SelectEntryItem(w.m_first);
    EXPECT_EQ(w.m_tree->currentItem(), nullptr);
    EXPECT_TRUE(w.m_tree->selectedItems().isEmpty());
}

TEST_F(ScanTest, MissingLibraryFolderFailsWithItsPath) {
    Open();
    dlg->m_libRoot = "nowhere\\";
    EXPECT_EQ(dlg->ScanLibrary(), 0);
    EXPECT_EQ(plat::GbkToUtf8(dlg->m_lastError), "目录 nowhere\\ 不存在");
    ASSERT_NE(dlg->m_first, nullptr);
    EXPECT_TRUE(dlg->m_first->IsEnd());
}

TEST_F(ScanTest, FindNodeByItemAnswersNoneForForeignOrNoItem) {
    MakeCard(dir, "lib/K/a.datum.xml");
    CMainDlg& w = Scan();
    EXPECT_EQ(w.FindNodeByItem(nullptr), nullptr);
    QTreeWidgetItem foreign(QStringList(QStringLiteral("a")));
    EXPECT_EQ(w.FindNodeByItem(&foreign), nullptr);
}

TEST_F(ScanTest, SelectingAnEntryRevealsItsItem) {
    MakeCard(dir, "lib/K/Sub/deep.datum.xml");
    CMainDlg& w = Scan();
    DatumNode* deep = w.m_first->next->next;
    ASSERT_TRUE(deep->IsCard());
    w.SelectEntryItem(deep);
    EXPECT_EQ(w.m_tree->currentItem(), deep->item);
    EXPECT_TRUE(deep->item->isSelected());
    EXPECT_TRUE(deep->item->parent()->isExpanded());
    w.SelectEntryItem(nullptr);
    EXPECT_TRUE(w.m_tree->selectedItems().isEmpty());
}

TEST_F(ScanTest, RescanRebuildsTreeAndListFromDisk) {
    MakeCard(dir, "lib/K/a.datum.xml");
    CMainDlg& w = Scan();
    w.m_first->founddate = "2003-1-1 1:1";
    MakeCard(dir, "lib/K/b.datum.xml");
    std::filesystem::remove(dir.Native() + "/lib/K/a.datum.xml");
    w.m_msg->SetMessage(Gbk("正在重新扫描文件夹....."));

    EXPECT_EQ(w.RescanLibrary(), 1);
    EXPECT_EQ(Dump(w.m_tree), "K{b}");
    EXPECT_EQ(Entries(w), (std::vector<std::string>{"d:K", "c:b|lib\\K\\b.datum.xml"}));
    EXPECT_TRUE(w.m_first->founddate.empty());
    EXPECT_FALSE(w.m_msg->isVisible());
    EXPECT_FALSE(w.Ended());
}

TEST_F(ScanTest, RescanOfAVanishedLibraryRunsTheFailureProcedure) {
    MakeCard(dir, "lib/K/a.datum.xml");
    CMainDlg& w = Scan();
    std::filesystem::remove_all(dir.Native() + "/lib");
    ExpectFailure("扫描资料库中的文件出现错误!!", "扫描资料库中的文件出现错误:目录 lib\\ 不存在");
    EXPECT_EQ(w.RescanLibrary(), 0);
    EXPECT_TRUE(w.Ended());
    EXPECT_EQ(w.m_tree->topLevelItemCount(), 0);
}

TEST_F(ScanTest, LargeLibraryKeepsEveryCardInOrder) {
    // Enough cards that a per-item slip (a lost item, a wrong parent, a broken link) would show.
    for (int c = 0; c < 20; ++c)
        for (int k = 0; k < 50; ++k) {
            char name[64];
            std::snprintf(name, sizeof name, "lib/C%02d/S/card%03d.datum.xml", c, k);
            MakeCard(dir, name);
        }
    CMainDlg& w = Scan();
    auto entries = Entries(w);
    ASSERT_EQ(entries.size(), 20u * 52u);
    EXPECT_EQ(entries[0], "d:C00");
    EXPECT_EQ(entries[1], "d:S");
    EXPECT_EQ(entries[2], "c:card000|lib\\C00\\S\\card000.datum.xml");
    EXPECT_EQ(entries.back(), "c:card049|lib\\C19\\S\\card049.datum.xml");
    EXPECT_EQ(w.m_tree->topLevelItemCount(), 20);
    EXPECT_EQ(CountItems(), 20 * 52);
    EXPECT_EQ(w.m_tree->topLevelItem(19)->child(0)->childCount(), 50);
}

}  // namespace
