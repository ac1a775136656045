// The history store as git sees it: versions recorded, listed newest first, read back byte for byte, moves
// followed, a damaged store set aside, and a second writer that moved the branch not lost.
#include <gtest/gtest.h>

#include <QProcess>
#include <filesystem>

#include "history/store.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using history::Store;
using history::Who;

namespace {

class StoreTest : public ::testing::Test {
protected:
    TempProgramDir dir;
    std::string folder = dir.Native() + "/history/lib.git";
    Store store;
    std::string error;

    void SetUp() override { ASSERT_TRUE(store.OpenAt(folder, error)) << error; }

    // `git ARGS` in the store, its standard output; the test fails on a failing git.
    std::string Git(const QStringList& args) {
        QProcess p;
        p.start("git", QStringList{"--git-dir=" + QString::fromStdString(folder)} + args);
        EXPECT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return p.readAllStandardOutput().toStdString();
    }
    std::vector<std::string> Texts(const std::string& path) {
        std::vector<std::string> out;
        for (const history::Version& v : store.Versions(path, error)) {
            std::string bytes;
            out.push_back(v.Deleted() ? "<deleted>" : (store.Text(path, v.id, bytes, error) ? bytes : "<unreadable>"));
        }
        return out;
    }
};

TEST_F(StoreTest, SavesKeepTheReplacedTextAndTheWrittenOneNewestFirst) {
    const std::string card = "类\xe4\xb8\x80/卡.datum.xml";
    ASSERT_TRUE(store.Saved(card, std::nullopt, "v1", Who::Program, error)) << error;
    // Another program wrote "v1b" unseen; the save that replaces it keeps it first, as theirs.
    ASSERT_TRUE(store.Saved(card, std::string("v1b"), "v2", Who::Program, error)) << error;
    // Saving what the store already has (a save without edits, the replaced text known) records nothing.
    ASSERT_TRUE(store.Saved(card, std::string("v2"), "v2", Who::Program, error)) << error;
    ASSERT_TRUE(store.Saved(card, std::string("v2"), "v1", Who::Restore, error)) << error;
    EXPECT_EQ(Texts(card), (std::vector<std::string>{"v1", "v2", "v1b", "v1"}));
    const auto versions = store.Versions(card, error);
    ASSERT_EQ(versions.size(), 4u);
    EXPECT_EQ(versions[0].who, Who::Restore);
    EXPECT_EQ(versions[1].who, Who::Program);
    EXPECT_EQ(versions[2].who, Who::Other);
    EXPECT_EQ(versions[1].size, 2);
    // git reads the same store: four commits, the card's text at the tip, the authors in the log.
    EXPECT_EQ(Git({"rev-list", "--count", "main"}), "4\n");
    EXPECT_EQ(Git({"show", "main:" + QString::fromStdString(card)}), "v1");
    EXPECT_EQ(Git({"log", "--format=%an"}), "恢复\n本程序\n其他程序\n本程序\n");
    Git({"fsck", "--strict"});
    EXPECT_FALSE(fs::exists(folder + "/index"));  // no index, no work tree
}

TEST_F(StoreTest, ChangesSeenOnDiskAreOneCommitAndMovesKeepTheirVersions) {
    ASSERT_TRUE(store.Saved("a/x.datum.xml", std::nullopt, "x1", Who::Program, error));
    ASSERT_TRUE(store.Saved("a/x.datum.xml", std::string("x1"), "x2", Who::Program, error));
    ASSERT_TRUE(store.Saved("a/y.datum.xml", std::nullopt, "y1", Who::Program, error));
    // A sync tool renamed x, rewrote y and brought z; the program's own last save comes back unchanged.
    ASSERT_TRUE(store.Apply({{"a/x.datum.xml", std::nullopt},
                             {"b/x2.datum.xml", std::string("x2")},
                             {"a/y.datum.xml", std::string("y2")},
                             {"a/z.datum.xml", std::string("z1")}},
                            error))
        << error;
    EXPECT_EQ(Git({"rev-list", "--count", "main"}), "4\n");
    EXPECT_EQ(Texts("b/x2.datum.xml"), (std::vector<std::string>{"x2", "x1"}));
    EXPECT_EQ(Texts("a/y.datum.xml"), (std::vector<std::string>{"y2", "y1"}));
    // The old place keeps its versions, the last of them a delete.
    EXPECT_EQ(Texts("a/x.datum.xml"), (std::vector<std::string>{"<deleted>", "x2", "x1"}));
    // Nothing new: no commit. A whole class folder gone: every card in it deleted.
    ASSERT_TRUE(store.Apply({{"a/z.datum.xml", std::string("z1")}}, error));
    ASSERT_TRUE(store.Apply({{"a", std::nullopt}}, error));
    EXPECT_EQ(Git({"rev-list", "--count", "main"}), "5\n");
    EXPECT_EQ(Texts("a/z.datum.xml"), (std::vector<std::string>{"<deleted>", "z1"}));
    EXPECT_EQ(Git({"ls-tree", "-r", "--name-only", "main"}), "b/x2.datum.xml\n");
}

TEST_F(StoreTest, DeletedCardsAreThoseGoneAndNotMovedNorBack) {
    for (const char* p : {"A/gone.datum.xml", "A/moved.datum.xml", "A/back.datum.xml", "B/only.datum.xml"})
        ASSERT_TRUE(store.Saved(p, std::nullopt, std::string("text of ") + p, Who::Program, error));
    ASSERT_TRUE(store.Apply({{"A/gone.datum.xml", std::nullopt},
                             {"A/moved.datum.xml", std::nullopt},
                             {"C/moved.datum.xml", std::string("text of A/moved.datum.xml")},
                             {"A/back.datum.xml", std::nullopt}},
                            error));
    ASSERT_TRUE(store.Saved("A/back.datum.xml", std::nullopt, "again", Who::Program, error));
    ASSERT_TRUE(store.Apply({{"B/only.datum.xml", std::nullopt}}, error));  // its class folder goes with it
    std::vector<std::string> gone;
    for (const history::DeletedCard& d : store.Deleted(error)) {
        std::string bytes;
        ASSERT_TRUE(store.BlobText(d.blob, bytes, error));
        gone.push_back(d.path + "=" + bytes);
    }
    EXPECT_EQ(gone, (std::vector<std::string>{"B/only.datum.xml=text of B/only.datum.xml",
                                              "A/gone.datum.xml=text of A/gone.datum.xml"}));
}

TEST_F(StoreTest, VersionIdsAreCheckedBeforeAnyIsRead) {
    ASSERT_TRUE(store.Saved("c.datum.xml", std::nullopt, "one", Who::Program, error));
    const std::string id = store.Versions("c.datum.xml", error).at(0).id;
    std::string bytes;
    const struct { std::string id; bool ok; } cases[] = {
        {id, true}, {id.substr(0, 4), true}, {"ABC", false}, {"zzzz", false}, {"0000000", false},
    };
    for (const auto& c : cases) {
        error.clear();
        EXPECT_EQ(store.Text("c.datum.xml", c.id, bytes, error), c.ok) << c.id;
        EXPECT_EQ(error.empty(), c.ok) << c.id;
    }
    EXPECT_FALSE(store.Text("other.datum.xml", id, bytes, error));  // a version of another card is not this one's
}

TEST_F(StoreTest, TwoWritersOnOneStoreLoseNothing) {
    Store second;
    ASSERT_TRUE(second.OpenAt(folder, error));
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(store.Saved("one.datum.xml", std::nullopt, "a" + std::to_string(i), Who::Program, error));
        ASSERT_TRUE(second.Saved("two.datum.xml", std::nullopt, "b" + std::to_string(i), Who::Program, error));
    }
    EXPECT_EQ(store.Versions("one.datum.xml", error).size(), 5u);
    EXPECT_EQ(store.Versions("two.datum.xml", error).size(), 5u);
    EXPECT_EQ(Git({"rev-list", "--count", "main"}), "10\n");
}

TEST_F(StoreTest, ALeftOverLockOrADamagedStoreDoesNotStopTheNextVersion) {
    ASSERT_TRUE(store.Saved("c.datum.xml", std::nullopt, "one", Who::Program, error));
    // A lock held right now is another program's: the save is told, not delayed.
    const std::string lock = folder + "/refs/heads/main.lock";
    dir.WriteFile("history/lib.git/refs/heads/main.lock", "x");
    EXPECT_FALSE(store.Saved("c.datum.xml", std::string("one"), "two", Who::Program, error));
    EXPECT_NE(error.find("锁"), std::string::npos) << error;
    // One left by a program that ended long ago is taken away.
    fs::last_write_time(lock, fs::file_time_type::clock::now() - std::chrono::hours(1));
    EXPECT_TRUE(store.Saved("c.datum.xml", std::string("one"), "two", Who::Program, error)) << error;

    Store reopened;
    fs::remove(folder + "/HEAD");
    ASSERT_TRUE(reopened.OpenAt(folder, error)) << error;
    EXPECT_FALSE(reopened.SetAside().empty());
    EXPECT_TRUE(fs::exists(reopened.SetAside() + "/objects"));  // set aside, not deleted
    EXPECT_TRUE(reopened.Saved("c.datum.xml", std::nullopt, "three", Who::Program, error)) << error;
}

TEST_F(StoreTest, TheFirstHistoryIsOneCommitAndStopsWhenTold) {
    std::vector<std::string> paths = {"a/1.datum.xml", "a/b/2.datum.xml", "gone.datum.xml"};
    auto text = [](const std::string& p, std::string& bytes) { bytes = "text of " + p; return p != "gone.datum.xml"; };
    EXPECT_FALSE(store.Import(paths, text, [](int done, int) { return done < 2; }, error));
    EXPECT_TRUE(store.Empty());
    int last = -1;
    ASSERT_TRUE(store.Import(paths, text, [&](int done, int) { last = done; return true; }, error)) << error;
    EXPECT_EQ(last, 3);
    EXPECT_EQ(Git({"ls-tree", "-r", "--name-only", "main"}), "a/1.datum.xml\na/b/2.datum.xml\n");
    EXPECT_EQ(Texts("a/b/2.datum.xml"), (std::vector<std::string>{"text of a/b/2.datum.xml"}));
}

TEST(StoreFolder, OnePerLibraryUnderTheUsersDataFolder) {
    std::string error;
    const std::string a = Store::FolderFor("/x/笔记", error), b = Store::FolderFor("/y/笔记/", error);
    const std::string home = qEnvironmentVariable("XDG_DATA_HOME").toStdString();
    EXPECT_EQ(a.rfind(home + "/korvane/history/笔记-", 0), 0u) << a;
    EXPECT_NE(a, b);
    EXPECT_EQ(Store::FolderFor("/x/笔记/", error), a);
}

}  // namespace
