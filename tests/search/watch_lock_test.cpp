// Who may call an index current: one holder of the watch lock at a time, which readers see while it lives, and
// indexers that write only while they hold it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/codec.h"
#include "search/indexer.h"
#include "search/watch_lock.h"
#include "support/cards.h"
#include "support/index_file.h"
#include "support/temp_dir.h"

namespace {

using search::WatchLock;

TEST(WatchLockTest, OneHolderAtATimeSeenLiveAndSettledByReaders) {
    TempProgramDir dir;
    const std::string file = dir.Native() + "/x.sqlite";
    EXPECT_FALSE(WatchLock::Live(file));  // no lock file: no watch
    {
        WatchLock a(file), b(file);
        ASSERT_TRUE(a.TryHold());
        EXPECT_TRUE(a.TryHold());
        EXPECT_FALSE(b.TryHold());
        EXPECT_TRUE(WatchLock::Live(file));
        EXPECT_FALSE(WatchLock::WaitSettled(file, 10)) << "a holder says nothing until it has applied what it saw";
        const struct {
            bool pending, settled;
        } states[] = {{false, true}, {true, false}, {false, true}};
        for (const auto& s : states) {
            a.SetPending(s.pending);
            EXPECT_EQ(WatchLock::WaitSettled(file, 10), s.settled) << s.pending;
        }
        EXPECT_FALSE(b.TryHold()) << "a reader's look does not let a second holder in";
    }
    EXPECT_FALSE(WatchLock::Live(file));
    EXPECT_FALSE(WatchLock::WaitSettled(file, 0)) << "a holder that let go left nothing settled";
    WatchLock c(file);
    EXPECT_TRUE(c.TryHold());
}

class WatchedIndexerTest : public ::testing::Test {
protected:
    TempProgramDir dir;
    std::string oldCache = getenv("XDG_CACHE_HOME") ? getenv("XDG_CACHE_HOME") : "";
    void SetUp() override { setenv("XDG_CACHE_HOME", (dir.Native() + "/cache").c_str(), 1); }
    void TearDown() override { setenv("XDG_CACHE_HOME", oldCache.c_str(), 1); }

    std::string Write(const std::string& name, const std::string& body) {
        dir.WriteFile("lib/" + name, CardBytes({name, "", "", "", "S", "", body, "simple.xsl", ""}));
        return "lib\\" + name;
    }
    std::int64_t Meta(const std::string& file, const char* key) {
        return IndexSql(file, (std::string("SELECT value FROM meta WHERE key='") + key + "'").c_str());
    }
    std::size_t Found(search::Indexer& indexer, const char* query) {
        std::string error;
        auto index = indexer.OpenForQuery(error);
        return index ? index->Query(query, 100, false).total : 0;
    }
};

// The holder records every change it applies; a second indexer of the same library writes nothing while the
// first holds the lock, and takes it with a full check once the first is gone.
TEST_F(WatchedIndexerTest, OnlyTheHolderWritesAndAnotherTakesOverWithAFullCheck) {
    Write("a.datum.xml", "one");
    auto first = std::make_unique<search::Indexer>();
    search::Indexer second;
    for (search::Indexer* i : {first.get(), &second}) {
        i->SetLibrary("lib\\");
        i->SetWatched(true);
        i->WaitIdle();
    }
    EXPECT_TRUE(first->HoldsWatch());
    EXPECT_FALSE(second.HoldsWatch());
    std::string error;
    const std::string file = first->OpenForQuery(error)->FilePath();
    EXPECT_EQ(Meta(file, "watch_current"), 1);
    EXPECT_TRUE(search::WatchLock::WaitSettled(file, 0));

    const std::int64_t before = Meta(file, "watch_generation");
    const std::string b = Write("b.datum.xml", "two");
    second.Touch(b);
    second.WaitIdle();
    EXPECT_EQ(Meta(file, "watch_generation"), before) << "the second indexer wrote";
    EXPECT_EQ(Found(second, "two"), 0u);
    first->Touch(b);
    first->WaitIdle();
    EXPECT_EQ(Meta(file, "watch_generation"), before + 1);
    EXPECT_EQ(Found(second, "two"), 1u);

    // Gone without telling about c: the new holder's full check finds it.
    first.reset();
    Write("c.datum.xml", "three");
    second.Touch("lib\\a.datum.xml");
    second.WaitIdle();
    EXPECT_TRUE(second.HoldsWatch());
    EXPECT_EQ(Found(second, "three"), 1u);
    EXPECT_EQ(Meta(file, "watch_current"), 1);

    // A watch that stops following (watches ran out) lets go: readers look for themselves.
    second.SetWatched(false);
    second.WaitIdle();
    EXPECT_FALSE(search::WatchLock::Live(file));
}

}  // namespace
