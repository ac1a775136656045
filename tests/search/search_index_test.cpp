// The index against a brute-force search of the written cards: random queries over text built to trip a
// byte search (GBK trail bytes that are '\' or ASCII letters, pairs whose middle bytes form another
// character), full-width letters, single characters; then the same after the library changes on disk,
// after the program tells it of single paths, and with a damaged or outdated index file.
#include <sqlite3.h>

#include <QDirIterator>
#include <filesystem>
#include <fstream>
#include <random>

#include "search/index.h"
#include "search_fixture.h"

namespace {

using searchfx::Card;

// GBK characters: ASCII letters in both cases and full-width; 中 文 and 形 (D0 CE, the middle bytes of
// 中文); three characters whose trail bytes are '\', 'a' and 'A'; '\' itself.
const std::vector<std::string> kAlphabet = {"a",        "b",        "A",        "\xA3\xC1", "\xA3\xE2",
                                            "\xD6\xD0", "\xCE\xC4", "\xD0\xCE", "\x81\x5C", "\x81\x61",
                                            "\x82\x41", "\\",       "x"};

std::string RandomText(std::mt19937& rng, int minChars, int maxChars, bool blanks) {
    std::string s;
    const int n = minChars + static_cast<int>(rng() % (maxChars - minChars + 1));
    for (int i = 0; i < n; ++i) {
        s += kAlphabet[rng() % kAlphabet.size()];
        if (blanks && rng() % 9 == 0) s += rng() % 2 ? " " : "\r\n";
    }
    return s;
}

std::set<std::string> Paths(const search::Result& r) {
    std::set<std::string> out;
    for (const auto& h : r.hits) out.insert(h.path);
    return out;
}

class SearchIndexTest : public searchfx::SearchLibrary {
protected:
    std::mt19937 rng{20261207};

    void WriteRandomLibrary(int n) {
        const char* folders[] = {"", "K/", "K/\xE5\xAD\x90/"};  // the root, a class, a nested class 子
        for (int i = 0; i < n; ++i) {
            Card c{RandomText(rng, 2, 6, false), RandomText(rng, 1, 4, true), "K", "S", RandomText(rng, 5, 60, true)};
            Write(std::string(folders[i % 3]) + "c" + std::to_string(i) + ".datum.xml", c);
        }
    }

    // Random queries of one or two terms of one to four characters, each compared with the oracle.
    void ExpectAgreesWithOracle(search::Index& index, int queries) {
        for (int q = 0; q < queries; ++q) {
            std::string query = RandomText(rng, 1, 4, false);
            if (rng() % 3 == 0) query += " " + RandomText(rng, 1, 3, false);
            const search::Result r = index.Query(query, 100000, false);
            ASSERT_TRUE(r.ok) << r.error;
            EXPECT_EQ(Paths(r), Oracle(query)) << "query " << plat::GbkToUtf8(query);
            EXPECT_EQ(r.total, r.hits.size());
        }
    }
};

TEST_F(SearchIndexTest, AnswersEveryQueryAsTheCardTextsDoAndLivesInTheCacheFolder) {
    WriteRandomLibrary(60);
    // 中文 holds the bytes of 形 across its two characters; the trail bytes of the body are '\' and 'a'.
    const std::string zw = Write("zw.datum.xml", {"\xD6\xD0\xCE\xC4", "", "", "", "\x81\x5C\x81\x61"});
    search::Index index("lib\\");
    std::string error;
    ASSERT_TRUE(index.Open(error)) << error;
    ASSERT_TRUE(index.Refresh());
    ExpectAgreesWithOracle(index, 400);

    // Terms that a byte search gets wrong; each must agree with the oracle, and the first two find nothing.
    for (const std::string q : {"\xD0\xCE", "\\a", "a", "\\", "\xA3\xC1\xA3\xE2", "Ab", "\x81\x5C"}) {
        EXPECT_EQ(Paths(index.Query(q, 1000)), Oracle(q)) << plat::GbkToUtf8(q);
    }
    for (const std::string q : {"\xD0\xCE", "\\", "a"}) EXPECT_EQ(Paths(index.Query(q, 1000)).count(zw), 0u);

    // One file under the cache folder; nothing written into the library.
    EXPECT_EQ(index.FilePath().rfind(dir.Native() + "/cache/korvane/", 0), 0u) << index.FilePath();
    EXPECT_TRUE(std::filesystem::is_regular_file(index.FilePath()));
    int files = 0;
    for (QDirIterator it(QString::fromStdString(dir.Native() + "/lib"), QDir::Files | QDir::Hidden,
                         QDirIterator::Subdirectories);
         it.hasNext(); it.next())
        ++files;
    EXPECT_EQ(files, 61);
}

TEST_F(SearchIndexTest, HitsCarryTitleClassStampAndTextAroundTheFirstHit) {
    const std::string path = Write("K/t.datum.xml", {plat::Gbk("甲午"), "", plat::Gbk("历史"), "",
                                                     plat::Gbk("前文很长很长很长的一段。北洋水师覆没。后文")});
    search::Index index("lib\\");
    std::string error;
    ASSERT_TRUE(index.Open(error));
    ASSERT_TRUE(index.Refresh());
    const search::Result r = index.Query(plat::Gbk("水师"), 10);
    ASSERT_EQ(r.hits.size(), 1u);
    EXPECT_EQ(r.hits[0].path, path);
    EXPECT_EQ(plat::GbkToUtf8(r.hits[0].title), "甲午");
    EXPECT_EQ(plat::GbkToUtf8(r.hits[0].klass), "历史");
    EXPECT_FALSE(r.hits[0].modified.empty());
    EXPECT_NE(plat::GbkToUtf8(r.hits[0].snippet).find("北洋水师覆没"), std::string::npos);
    // Cut from the body: title and class have their own columns.
    EXPECT_EQ(plat::GbkToUtf8(r.hits[0].snippet).find("甲午"), std::string::npos);
}

TEST_F(SearchIndexTest, FollowsTheLibraryOnDiskAndThePathsTheProgramReports) {
    WriteRandomLibrary(30);
    // Cards the tree never shows are never found.
    dir.WriteFile("lib/_ _SETS_ _/s.datum.xml", "x");
    Write("K/c0.datum.xml", {"t", "", "", "", plat::Gbk("旧的正文")});
    cards.erase("lib\\_ _SETS_ _\\s.datum.xml");
    search::Index index("lib\\");
    std::string error;
    ASSERT_TRUE(index.Open(error));
    ASSERT_TRUE(index.Refresh());

    // Changed, added and removed cards, and a whole nested class removed, all found by the refresh.
    Write("K/c0.datum.xml", {"t", "", "", "", plat::Gbk("新的正文更长一些")});
    Write("K/new.datum.xml", {plat::Gbk("新卡"), "", "", "", "a\xA3\xC1"});
    std::filesystem::remove(dir.Native() + "/lib/c3.datum.xml");
    cards.erase("lib\\c3.datum.xml");
    std::filesystem::remove_all(dir.Native() + "/lib/K/\xE5\xAD\x90");
    std::erase_if(cards, [](const auto& kv) { return kv.first.rfind(plat::Gbk("lib\\K\\子\\"), 0) == 0; });
    dir.WriteFile("lib/.hidden/h.datum.xml", "a");
    ASSERT_TRUE(index.Refresh());
    for (const char* q : {"旧的", "新的 正文", "新卡", "a"}) EXPECT_EQ(Paths(index.Query(plat::Gbk(q), 1000)), Oracle(plat::Gbk(q))) << q;
    ExpectAgreesWithOracle(index, 100);

    // Paths the program reports: a card written, then removed, then a folder removed, each seen at once.
    const std::string told = Write("K/told.datum.xml", {plat::Gbk("告知"), "", "", "", ""});
    ASSERT_TRUE(index.Touch(told));
    EXPECT_EQ(Paths(index.Query(plat::Gbk("告知"), 10)), std::set<std::string>{told});
    std::filesystem::remove(dir.Native() + "/lib/K/told.datum.xml");
    ASSERT_TRUE(index.Touch(told));
    EXPECT_TRUE(index.Query(plat::Gbk("告知"), 10).hits.empty());
    std::filesystem::remove_all(dir.Native() + "/lib/K");
    ASSERT_TRUE(index.Touch("lib\\K\\"));
    EXPECT_TRUE(index.Query(plat::Gbk("新卡"), 10).hits.empty());
}

TEST_F(SearchIndexTest, DamagedOrOutdatedIndexIsBuiltAgain) {
    WriteRandomLibrary(20);
    std::string file, error;
    {
        search::Index index("lib\\");
        ASSERT_TRUE(index.Open(error));
        ASSERT_TRUE(index.Refresh());
        file = index.FilePath();
    }
    // Another version's file: reopened empty, then filled by the refresh.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE meta SET value=0 WHERE key='version'", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    {
        search::Index index("lib\\");
        ASSERT_TRUE(index.Open(error)) << error;
        EXPECT_EQ(index.CardCount(), 0);
        ASSERT_TRUE(index.Refresh());
        ExpectAgreesWithOracle(index, 50);
    }
    // Garbage where the index was.
    for (const char* suffix : {"-wal", "-shm"}) std::filesystem::remove(file + suffix);
    std::ofstream(file, std::ios::trunc) << std::string(5000, 'x');
    search::Index index("lib\\");
    ASSERT_TRUE(index.Open(error)) << error;
    ASSERT_TRUE(index.Refresh());
    ExpectAgreesWithOracle(index, 50);
}

}  // namespace
