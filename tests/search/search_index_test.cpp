// The index against a brute-force search of the written cards: random queries over text built to trip a
// byte search (GBK trail bytes that are '\' or ASCII letters, pairs whose middle bytes form another
// character), full-width letters, single characters; then the same after the library changes on disk,
// after the program tells it of single paths, and with a damaged or outdated index file.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <QStringList>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "support/cards.h"
#include "platform/codec.h"
#include "search/index.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using plat::Gbk;

namespace {

// GBK characters: ASCII letters in both cases and full-width; 中 文 and 形 (D0 CE, the middle bytes of
// 中文); three characters whose trail bytes are '\', 'a' and 'A'; '\' itself.
const std::vector<std::string> kAlphabet = {"a",        "b",        "A",        "\xA3\xC1", "\xA3\xE2",
                                            "\xD6\xD0", "\xCE\xC4", "\xD0\xCE", "\x81\x5C", "\x81\x61",
                                            "\x82\x41", "\\",       "x"};

// Full-width ASCII and capitals folded, as a user expects ａ, Ａ and A to find a.
QString Folded(const QString& s) {
    QString out = s;
    for (QChar& c : out) {
        char16_t u = c.unicode();
        if (u >= 0xFF01 && u <= 0xFF5E) u = static_cast<char16_t>(u - 0xFEE0);
        if (u >= 'A' && u <= 'Z') u = static_cast<char16_t>(u + 32);
        c = QChar(u);
    }
    return out;
}

std::set<std::string> Paths(const search::Result& r) {
    std::set<std::string> out;
    for (const auto& h : r.hits) out.insert(h.path);
    return out;
}

class SearchIndexTest : public ::testing::Test {
protected:
    TempProgramDir dir;
    std::map<std::string, DatumCard> cards;  // internal path -> what was written
    std::string oldCache = getenv("XDG_CACHE_HOME") ? getenv("XDG_CACHE_HOME") : "";
    std::mt19937 rng{20261207};

    void SetUp() override { setenv("XDG_CACHE_HOME", (dir.Native() + "/cache").c_str(), 1); }
    void TearDown() override { setenv("XDG_CACHE_HOME", oldCache.c_str(), 1); }

    // Writes a card below the library folder "lib" ('/' between UTF-8 folder names); GBK fields.
    std::string Write(const std::string& rel, const std::string& title, const std::string& body,
                      const std::string& keyword = "", const std::string& klass = "") {
        const DatumCard c{title, klass, "", "", "S", keyword, body, "simple.xsl", ""};
        dir.WriteFile("lib/" + rel, CardBytes(c));
        std::string internal = "lib\\" + plat::Utf8ToGbk(rel);
        std::replace(internal.begin(), internal.end(), '/', '\\');
        cards[internal] = c;
        return internal;
    }
    void Erase(const std::string& prefix) {
        std::erase_if(cards, [&](const auto& kv) { return kv.first.rfind(prefix, 0) == 0; });
    }

    // Every card whose text fields hold all the query's terms, compared as Unicode.
    std::set<std::string> Oracle(const std::string& queryGbk) const {
        const QStringList terms = Folded(plat::ToQ(queryGbk)).split(QChar(' '), Qt::SkipEmptyParts);
        std::set<std::string> out;
        for (const auto& [path, c] : cards) {
            const QString text = Folded(plat::ToQ(c.title + "\n" + c.keyword + "\n" + c.klass + "\n" + c.source +
                                                  "\n" + c.content));
            bool all = !terms.isEmpty();
            for (const QString& t : terms) all = all && text.contains(t);
            if (all) out.insert(path);
        }
        return out;
    }

    std::string RandomText(int minChars, int maxChars, bool blanks) {
        std::string s;
        for (int i = 0, n = minChars + static_cast<int>(rng() % (maxChars - minChars + 1)); i < n; ++i) {
            s += kAlphabet[rng() % kAlphabet.size()];
            if (blanks && rng() % 9 == 0) s += rng() % 2 ? " " : "\r\n";
        }
        return s;
    }
    void WriteRandomLibrary(int n) {
        const char* folders[] = {"", "K/", "K/子/"};  // the root, a class, a nested class
        for (int i = 0; i < n; ++i) {
            const std::string title = RandomText(2, 6, false), keyword = RandomText(1, 4, true);
            Write(std::string(folders[i % 3]) + "c" + std::to_string(i) + ".datum.xml", title,
                  RandomText(5, 60, true), keyword, "K");
        }
    }
    // Random queries of one or two terms of one to four characters, and `fixed` ones, against the oracle.
    void ExpectAgreesWithOracle(search::Index& index, int queries, std::vector<std::string> fixed = {}) {
        for (int q = 0; q < queries; ++q)
            fixed.push_back(RandomText(1, 4, false) + (rng() % 3 ? "" : " " + RandomText(1, 3, false)));
        for (const std::string& query : fixed) {
            const search::Result r = index.Query(query, 100000, false);
            ASSERT_TRUE(r.ok) << r.error;
            EXPECT_EQ(Paths(r), Oracle(query)) << "query " << plat::GbkToUtf8(query);
            EXPECT_EQ(r.total, r.hits.size());
        }
    }
    void Open(search::Index& index) {
        std::string error;
        ASSERT_TRUE(index.Open(error)) << error;
        ASSERT_TRUE(index.Refresh());
    }
};

TEST_F(SearchIndexTest, AnswersEveryQueryAsTheCardTextsDoAndLivesInTheCacheFolder) {
    WriteRandomLibrary(60);
    // 中文 holds the bytes of 形 across its two characters; the trail bytes of the body are '\' and 'a'.
    const std::string zw = Write("zw.datum.xml", "\xD6\xD0\xCE\xC4", "\x81\x5C\x81\x61");
    search::Index index("lib\\");
    Open(index);
    ExpectAgreesWithOracle(index, 400, {"\xD0\xCE", "\\a", "a", "\\", "\xA3\xC1\xA3\xE2", "Ab", "\x81\x5C"});
    for (const std::string q : {"\xD0\xCE", "\\", "a"}) EXPECT_EQ(Paths(index.Query(q, 1000)).count(zw), 0u);

    // One file under the cache folder; nothing written into the library.
    EXPECT_EQ(index.FilePath().rfind(dir.Native() + "/cache/korvane/", 0), 0u) << index.FilePath();
    EXPECT_TRUE(fs::is_regular_file(index.FilePath()));
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(dir.Native() + "/lib"), {}), 61 + 2);  // K, K/子
}

TEST_F(SearchIndexTest, FollowsTheLibraryOnDiskAndThePathsTheProgramReports) {
    WriteRandomLibrary(30);
    dir.WriteFile("lib/_ _SETS_ _/s.datum.xml", "x");  // cards the tree never shows are never found
    Write("K/c0.datum.xml", "t", Gbk("旧的正文"));
    dir.WriteFile("lib/K/broken.datum.xml", "<?xml version=\"1.0\"?><datum><title>" + Gbk("残缺") + "</title>");
    search::Index index("lib\\");
    Open(index);
    // A card the form cannot read is found by its text, never by its markup.
    EXPECT_EQ(Paths(index.Query(Gbk("残缺"), 10)), std::set<std::string>{"lib\\K\\broken.datum.xml"});
    EXPECT_TRUE(index.Query("xml", 10).hits.empty());
    fs::remove(dir.Native() + "/lib/K/broken.datum.xml");

    // Changed, added and removed cards, and a whole nested class removed, all found by the refresh.
    Write("K/c0.datum.xml", "t", Gbk("新的正文更长一些"));
    Write("K/new.datum.xml", Gbk("新卡"), "a\xA3\xC1");
    fs::remove(dir.Native() + "/lib/c3.datum.xml");
    Erase("lib\\c3.datum.xml");
    fs::remove_all(dir.Native() + "/lib/K/子");
    Erase(Gbk("lib\\K\\子\\"));
    dir.WriteFile("lib/.hidden/h.datum.xml", "a");
    ASSERT_TRUE(index.Refresh());
    ExpectAgreesWithOracle(index, 100, {Gbk("旧的"), Gbk("新的 正文"), Gbk("新卡"), "a"});

    // Paths the program reports: a card written, then removed, then a folder removed, each seen at once.
    const std::string told = Write("K/told.datum.xml", Gbk("告知"), "");
    ASSERT_TRUE(index.Touch(told));
    EXPECT_EQ(Paths(index.Query(Gbk("告知"), 10)), std::set<std::string>{told});
    fs::remove(dir.Native() + "/lib/K/told.datum.xml");
    ASSERT_TRUE(index.Touch(told));
    EXPECT_TRUE(index.Query(Gbk("告知"), 10).hits.empty());
    fs::remove_all(dir.Native() + "/lib/K");
    ASSERT_TRUE(index.Touch("lib\\K\\"));
    EXPECT_TRUE(index.Query(Gbk("新卡"), 10).hits.empty());
}

TEST_F(SearchIndexTest, DamagedOrOutdatedIndexIsBuiltAgain) {
    WriteRandomLibrary(20);
    std::string file;
    {
        search::Index index("lib\\");
        Open(index);
        file = index.FilePath();
    }
    // Another version's file, then garbage where the index was: each time rebuilt whole.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE meta SET value=0 WHERE key='version'", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    for (int round = 0; round < 2; ++round) {
        if (round == 1) {
            for (const char* suffix : {"-wal", "-shm"}) fs::remove(file + suffix);
            std::ofstream(file, std::ios::trunc) << std::string(5000, 'x');
        }
        search::Index index("lib\\");
        std::string error;
        ASSERT_TRUE(index.Open(error)) << error;
        EXPECT_EQ(index.CardCount(), 0);
        ASSERT_TRUE(index.Refresh());
        ExpectAgreesWithOracle(index, 50);
    }
}

}  // namespace
