// The tree of a library and its entry list: which folders and files the scan takes, in one order for both,
// how an item or a path leads to its entry, and what a rescan or a missing folder leaves.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTreeWidget>
#include <filesystem>

#include "app/library_tree.h"
#include "app/main_fixture.h"

using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

// The entry list in order (end entry excluded): "d:label" for a class, "c:label|path" for a card, in UTF-8.
// Checks the links on the way: each entry has its item, prev and next agree, one end entry closes the list.
Strings Entries(const LibraryTree& tree) {
    Strings out;
    const DatumNode* prev = nullptr;
    const DatumNode* n = tree.First();
    for (; n && !n->IsEnd(); prev = n, n = n->next) {
        EXPECT_EQ(n->prev, prev) << "broken prev link at " << n->label;
        EXPECT_EQ(tree.FindByItem(n->item), n);
        out.push_back(n->IsClass() ? "d:" + plat::GbkToUtf8(n->label)
                                   : "c:" + plat::GbkToUtf8(n->label) + "|" + plat::GbkToUtf8(n->path));
    }
    EXPECT_TRUE(n && n == tree.End() && n->prev == prev && !n->next && !n->item) << "one end entry closes the list";
    return out;
}

TEST(LibraryTree, TakesPlainFoldersAsClassesAndCardFilesAsCardsInOneOrder) {
    TempProgramDir dir;
    for (const char* f : {"_ _SETS_ _/inside.datum.xml", ".git/x.datum.xml", ".datum.xml", "x.txt", "K/a.datum.xml",
                          "K/Sub/b.datum.html", "L/a.datum.xml", "root.datum.xml", "RO/hidden.datum.xml",
                          "\xF0\x9F\x98\x80.datum.xml"})
        dir.WriteFile(std::string("lib/") + f, "");
    dir.MakeDir("lib/f.datum.d");
    ASSERT_EQ(chmod((dir.Native() + "/lib/RO").c_str(), 0555), 0);  // read-only: not a class
    fs::create_directory_symlink(dir.Native() + "/lib/K", dir.Native() + "/lib/Link");
    QTreeWidget view;
    LibraryTree tree(&view);
    std::string error;
    ASSERT_TRUE(tree.Scan("lib\\", error));
    EXPECT_EQ(Entries(tree), (Strings{"c:|lib\\.datum.xml", "d:f.datum.d", "d:K", "c:a|lib\\K\\a.datum.xml", "d:Sub",
                                      "c:b|lib\\K\\Sub\\b.datum.html", "d:L", "c:a|lib\\L\\a.datum.xml",
                                      "c:root|lib\\root.datum.xml"}));
    EXPECT_EQ(tree.Current(), tree.End());
    const DatumNode* b = tree.FindByPath("lib\\K\\Sub\\b.datum.html");
    ASSERT_NE(b, nullptr);
    tree.Select(b);
    EXPECT_TRUE(b->item->isSelected() && b->item->parent()->isExpanded());
    QTreeWidgetItem stranger;
    EXPECT_EQ(tree.FindByItem(&stranger), nullptr);
    EXPECT_EQ(tree.FindByPath("d"), nullptr) << "a class is found by its item, never by a path";

    fs::remove_all(dir.Native() + "/lib/L");
    ASSERT_TRUE(tree.Scan("lib\\", error));
    EXPECT_EQ(mainfx::Dump(&view), ",f.datum.d,K{a,Sub{b}},root");
    EXPECT_FALSE(tree.Scan("gone\\", error));
    EXPECT_EQ(error, plat::Gbk("目录 gone\\ 不存在"));
    tree.Free();
    EXPECT_TRUE(tree.First() == nullptr && view.topLevelItemCount() == 0);
}

}  // namespace
