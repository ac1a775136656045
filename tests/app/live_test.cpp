// The window living on a library that another program changes: a shell in a process of its own writes,
// renames and removes cards and folders while the window runs, and the tree must come to show what a fresh
// scan of the disk shows, the form must keep or reload what it holds, the index must find what landed.
#include <QProcess>
#include <fstream>

#include "app/live_fixture.h"
#include "platform/folder_watch.h"
#include "search/indexer.h"

using mainfx::U;
using plat::Gbk;

namespace {

using livefx::Card;

// Cards and folders created, removed, renamed and moved by another program appear in their sorted place; the
// current entry, the selection and the unfolded classes stay where they were.
TEST_F(LiveTest, TheTreeFollowsWhatAnotherProgramDoes) {
    OpenCard("a2");
    Item("B")->setExpanded(true);
    ASSERT_TRUE(Settled());
    const std::pair<const char*, const char*> steps[] = {
        {"a card written", "echo x > lib/A/a0.datum.xml"},
        {"other files, temporary ones", "echo x > lib/A/notes.txt; mkdir lib/A/.hidden lib/_\\ _X"},
        {"nested folders with cards",
         "mkdir -p lib/N/M && echo > lib/N/M/m.datum.xml && echo > lib/N/n.datum.xml"},
        {"a folder renamed", "mv lib/N lib/Zn"},
        {"a folder moved in from outside", "mkdir -p out/O && echo > out/O/o.datum.xml && mv out/O lib/B/"},
        {"a folder moved below another", "mv lib/Zn lib/B/Sub/"},
        {"a card moved to another class", "mv lib/A/a3.datum.xml lib/B/"},
        {"a card renamed", "mv lib/B/b1.datum.xml lib/B/b0.datum.xml"},
        {"a class made read-only and back", "chmod a-w lib/B/Sub && echo > lib/A/ro.datum.xml"},
        {"made writable again", "chmod u+w lib/B/Sub"},
        {"a folder removed with everything in it", "rm -r lib/B/Sub/Zn"},
        {"a folder replaced by one of the same name",
         "rm -r lib/B/O && mkdir lib/B/O && echo > lib/B/O/p.datum.xml"},
        {"sync conflict copies",
         "echo > 'lib/A/a2.sync-conflict-20261207-103100-ABCDEFG.datum.xml' && "
         "echo > 'lib/A/a1 (conflicted copy 2026-12-07).datum.xml'"},
    };
    for (const auto& [what, script] : steps) {
        Shell(script);
        EXPECT_TRUE(Settled()) << what << "\nwindow: " << mainfx::Dump(Tree()) << "\ndisk:   " << OnDisk();
    }
    EXPECT_EQ(mainfx::Dump(Tree()),
              "A{a0,a1,a1 (conflicted copy 2026-12-07) [冲突],a2,a2.sync-conflict-20261207-103100-ABCDEFG "
              "[冲突],ro},"
              "B{a3,b0,O{p},Sub{s1}}");
    EXPECT_EQ(Current(), "A\\a2");
    EXPECT_TRUE(Item("B")->isExpanded());
    EXPECT_EQ(U(Edit(1009)->text()), "a2");
    EXPECT_TRUE(svc.boxes.empty());
}

// The current entry and the selection go to a neighbour with their card; the program's own saves are no
// second change; a conflict copy opens like any card.
TEST_F(LiveTest, ARemovedCurrentCardLeavesItsNeighbourCurrentAndOwnSavesChangeNothing) {
    OpenCard("a2");
    Edit(1017)->setText("mine");
    progress.clear();
    Click(1006);
    Shell("echo > lib/B/later.datum.xml");  // seen after the save's own events
    ASSERT_TRUE(Settled());
    ASSERT_NE(Item("later"), nullptr);
    EXPECT_EQ(Current(), "A\\a2");
    EXPECT_TRUE(progress.empty()) << "its own save is no change from elsewhere: " << progress.front();
    Shell("rm lib/A/a2.datum.xml");
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Current(), "A\\a3");
    ASSERT_TRUE(Saw("资料卡已被其他程序删除或移走；保存时会询问"));
    EXPECT_EQ(U(Edit(1009)->text()), "a2") << "the form keeps the card";
    EXPECT_FALSE(Edit(1008)->toolTip().isEmpty());
    Click(1019);  // 上一则 from the neighbour
    EXPECT_EQ(U(Edit(1009)->text()), "a1");
    Shell("cp lib/A/a1.datum.xml 'lib/A/a1.sync-conflict-20261207-103100-ABCDEFG.datum.xml'");
    ASSERT_TRUE(Settled());
    Click(1020);  // 下一则: the conflict copy comes right after its card
    EXPECT_EQ(Current(), "A\\a1.sync-conflict-20261207-103100-ABCDEFG [冲突]");
    EXPECT_EQ(U(Edit(1009)->text()), "a1");
}

// A card replaced while open: without edits the form shows the new version; with edits it keeps them and says
// so at once.
TEST_F(LiveTest, TheOpenCardChangedElsewhereIsReloadedOrItsEditsKept) {
    OpenCard("a1");
    dir.WriteFile("theirs.xml", Card("a1", "他们的版本"));
    Shell("cp theirs.xml lib/A/.sync.tmp && mv lib/A/.sync.tmp lib/A/a1.datum.xml");  // as a sync tool does
    ASSERT_TRUE(QTest::qWaitFor([&] { return U(Body()->toPlainText()) == "他们的版本"; }, 20000));
    EXPECT_TRUE(Saw("资料卡已被其他程序更新"));
    EXPECT_FALSE(dlg->Form().HasEdits());
    EXPECT_EQ(mainfx::Dump(Tree()), OnDisk()) << "one change of that card, not a removal and a new card";
    EXPECT_EQ(Current(), "A\\a1");

    Body()->setPlainText("我的修改");
    dir.WriteFile("theirs.xml", Card("a1", "他们又改了"));
    Shell("cat theirs.xml > lib/A/a1.datum.xml");  // as an editor saves in place
    ASSERT_TRUE(Saw("资料卡已被其他程序修改过；你的修改仍在，保存时会询问"));
    EXPECT_EQ(U(Body()->toPlainText()), "我的修改");
    EXPECT_EQ(dlg->Form().Noticed(), CardForm::Disk::Changed);
    // What Save then asks: the no-loss tests. A card that changes into something unreadable while the form
    // holds it without edits leaves the form as it was and says so.
    OpenDiscarding("a2");
    Shell("echo '<datum>' > lib/A/a2.datum.xml");
    ASSERT_TRUE(Saw("资料卡已被其他程序修改过，但读不出来；表单中仍是原来的内容"));
    EXPECT_EQ(U(Body()->toPlainText()), "正文");
    EXPECT_EQ(dlg->Form().Noticed(), CardForm::Disk::Changed);
}

// A sync tool delivering a thousand cards at once: all of them in the tree and in the index.
TEST_F(LiveTest, ABurstOfAThousandCardsLandsInTheTreeAndTheIndex) {
    dir.WriteFile("card.xml", Card("成批", "一千张卡片之一"));
    Shell(
        "card=$(cat card.xml); i=0; while [ $i -lt 1000 ]; do printf '%s\\n' \"$card\" > "
        "lib/B/c$i.datum.xml; "
        "i=$((i+1)); done");
    EXPECT_TRUE(Settled());
    EXPECT_EQ(Item("B")->childCount(), 1002);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            std::string error;
            auto index = dlg->SearchIndex().OpenForQuery(error);
            return index && index->Query(Gbk("一千张卡片"), 10, false).total == 1000;
        },
        30000));
    EXPECT_TRUE(dlg->SearchIndex().HoldsWatch()) << "the window's watch says it keeps the index current";
    Shell("rm lib/B/c*.datum.xml");
    EXPECT_TRUE(Settled());
    dlg->SearchIndex().WaitIdle();
    std::string error;
    EXPECT_EQ(dlg->SearchIndex().OpenForQuery(error)->Query(Gbk("一千张卡片"), 10, false).total, 0u);
}

// When the kernel drops events, or watches run out, the window looks at the whole library once and says so;
// when the library folder itself goes, the tree empties and the form keeps its card.
TEST_F(LiveTest, LostEventsAndMissingWatchesFallBackToOneRescanThatTheStripNames) {
    std::ifstream limit("/proc/sys/fs/inotify/max_queued_events");
    int queued = 0;
    if (!(limit >> queued) || queued > 200000)
        GTEST_SKIP() << "the kernel's event queue is too long to fill here";
    struct Held {
        Held() { plat::FolderWatch::HoldReading(true); }
        ~Held() { plat::FolderWatch::HoldReading(false); }
    };
    {
        Held held;
        // More writes than the queue holds (two names in turn: the kernel merges a repeated event).
        Shell("i=0; while [ $i -lt " + std::to_string(queued / 2 + 500) +
              " ]; do : > lib/A/t0.datum.xml; : > lib/A/t1.datum.xml; i=$((i+1)); done; echo > "
              "lib/B/new.datum.xml");
    }
    EXPECT_TRUE(Saw("资料库中同时发生的变化太多，已重新扫描"));
    EXPECT_TRUE(Settled());
    EXPECT_NE(Item("new"), nullptr);
    Shell("rm lib/A/t*.datum.xml && echo > lib/B/Sub/after.datum.xml");
    EXPECT_TRUE(Settled()) << "the watches stand again after the overflow";

    struct Limited {
        Limited() { plat::FolderWatch::FailWatchesAfter(2); }  // the root and A
        ~Limited() { plat::FolderWatch::FailWatchesAfter(-1); }
    };
    {
        Limited limited;
        Shell("echo > lib/B/before.datum.xml");
        progress.clear();
        Load();
        EXPECT_TRUE(Saw("可监视的文件夹数已用完（max_user_watches），有些变化不会立刻显示；已重新扫描"));
        EXPECT_FALSE(dlg->SearchIndex().HoldsWatch()) << "a watch that misses folders lets readers look themselves";
    }
    Shell("echo > lib/A/still.datum.xml");
    EXPECT_TRUE(Settled()) << "the folders watched are still followed";

    OpenCard("a1");
    Shell("mv lib lib.gone");
    EXPECT_TRUE(Saw("资料库文件夹 lib\\ 已被删除或移走"));
    EXPECT_EQ(Tree()->topLevelItemCount(), 0);
    EXPECT_EQ(U(Edit(1009)->text()), "a1");
}

}  // namespace
