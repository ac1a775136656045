// The index against a brute-force search of the written cards: random queries over text built to trip a
// byte search (GBK trail bytes that are '\' or ASCII letters, pairs whose middle bytes form another
// character), full-width letters, runs of one letter, single characters, terms across a break; then the
// same after the library changes on disk, after the program tells it of single paths, after a compaction,
// and with a damaged or outdated index file. The order of answers, the private cache, huge cards and long
// or interrupted queries.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QStringList>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <functional>
#include <set>

#include "support/cards.h"
#include "platform/codec.h"
#include "search/index.h"
#include "search/indexer.h"
#include "search/watch_lock.h"
#include "support/index_file.h"
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
                      const std::string& keyword = "", const std::string& klass = "", const std::string& source = "S") {
        const DatumCard c{title, klass, "", "", source, keyword, body, "simple.xsl", ""};
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
    // Random queries of one to three terms of one to five characters, and `fixed` ones, against the
    // oracle; every third asks for only a few hits, which must still count every match.
    void ExpectAgreesWithOracle(search::Index& index, int queries, std::vector<std::string> fixed = {}) {
        for (int q = 0; q < queries; ++q) {
            std::string query = RandomText(1, 5, false);
            for (int more = rng() % 4; more > 1; --more) query += " " + RandomText(1, 3, false);
            fixed.push_back(query);
        }
        for (std::size_t q = 0; q < fixed.size(); ++q) {
            const std::size_t few = q % 3 ? 100000 : 3;
            const search::Result r = index.Query(fixed[q], few, false);
            ASSERT_TRUE(r.ok) << r.error;
            const std::set<std::string> expected = Oracle(fixed[q]);
            EXPECT_EQ(r.total, expected.size()) << "query " << plat::GbkToUtf8(fixed[q]);
            const std::set<std::string> got = Paths(r);
            if (few == 3) EXPECT_TRUE(std::includes(expected.begin(), expected.end(), got.begin(), got.end()));
            else EXPECT_EQ(got, expected) << "query " << plat::GbkToUtf8(fixed[q]);
        }
    }
    // Opens the index, then (with `refresh`) brings it up to date with the library.
    void Open(search::Index& index, bool refresh = true) {
        std::string error;
        ASSERT_TRUE(index.Open(error)) << error;
        ASSERT_TRUE(!refresh || index.Refresh());
    }
    // Builds the library's index in a connection of its own; its file.
    std::string Built() {
        search::Index index("lib\\");
        Open(index);
        return index.FilePath();
    }
};

TEST_F(SearchIndexTest, AnswersAsTheCardTextsDoAndFollowsTheLibraryOnDiskAndThePathsTheProgramReports) {
    WriteRandomLibrary(60);
    // 中文 holds the bytes of 形 across its two characters; the trail bytes of the body are '\' and 'a'.
    Write("zw.datum.xml", "\xD6\xD0\xCE\xC4", "\x81\x5C\x81\x61");
    // A break ends a run: "ab" never matches "a b" or "a\r\nb", nor 中文 "中 文".
    Write("sp.datum.xml", "t", "xa bx\r\nax\r\nbxx\xD6\xD0 \xCE\xC4");
    dir.WriteFile("lib/_ _SETS_ _/s.datum.xml", "x");  // cards the tree never shows are never found
    Write("c0.datum.xml", "t", Gbk("旧的正文"));
    dir.WriteFile("lib/K/broken.datum.xml", "<?xml version=\"1.0\"?><datum><title>" + Gbk("残缺") + "</title>");
    const auto files = std::distance(fs::recursive_directory_iterator(dir.Native() + "/lib"), {});
    search::Index index("lib\\");
    Open(index);
    // A card the form cannot read is found by its text, never by its markup.
    EXPECT_EQ(Paths(index.Query(Gbk("残缺"), 10)), std::set<std::string>{"lib\\K\\broken.datum.xml"});
    EXPECT_TRUE(index.Query("xml", 10).hits.empty());
    fs::remove(dir.Native() + "/lib/K/broken.datum.xml");
    ASSERT_TRUE(index.Refresh());
    ExpectAgreesWithOracle(index, 600, {"\xD0\xCE", "\\a", "a", "\\", "\xA3\xC1\xA3\xE2", "Ab", "\x81\x5C", "ab",
                                        "xab", "\xD6\xD0\xCE\xC4", "bxx\xD6\xD0", "aaa", "xxx", "abab"});
    // Nothing is written into the library (the index lives in the cache folder: see the command-line and
    // private-cache tests).
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(dir.Native() + "/lib"), {}), files - 1);

    // Changed, added and removed cards, and a whole nested class removed, all found by the refresh.
    Write("c0.datum.xml", "t", Gbk("新的正文更长一些"));
    Write("K/new.datum.xml", Gbk("新卡"), "a\xA3\xC1");
    fs::remove(dir.Native() + "/lib/c3.datum.xml");
    Erase("lib\\c3.datum.xml");
    fs::remove_all(dir.Native() + "/lib/K/子");
    Erase(Gbk("lib\\K\\子\\"));
    dir.WriteFile("lib/.hidden/h.datum.xml", "a");
    ASSERT_TRUE(index.Refresh());
    ExpectAgreesWithOracle(index, 100, {Gbk("旧的"), Gbk("新的 正文"), Gbk("新卡"), "a"});
    // The rows the changed and removed cards left behind go with a compaction; the answers stay.
    EXPECT_GT(IndexSql(index.FilePath(), "SELECT count(*) FROM dead"), 0);
    ASSERT_TRUE(index.Compact());
    EXPECT_EQ(IndexSql(index.FilePath(), "SELECT count(*) FROM dead"), 0);
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
    Write("long.datum.xml", "t", RandomText(4000, 4000, true));  // text for more than one page of the index
    const std::string file = Built();
    // Another version's file, then garbage where the index was: each time rebuilt whole.
    ASSERT_EQ(IndexSql(file, "UPDATE meta SET value=0 WHERE key='version'"), -1);
    for (int round = 0; round < 2; ++round) {
        if (round == 1) {
            for (const char* suffix : {"-wal", "-shm"}) fs::remove(file + suffix);
            std::ofstream(file, std::ios::trunc) << std::string(5000, 'x');
        }
        search::Index index("lib\\");
        Open(index, false);
        EXPECT_EQ(index.CardCount(), 0);
        ASSERT_TRUE(index.Refresh());
        ExpectAgreesWithOracle(index, 50);
    }
    // Damage only a query meets: every leaf page of FTS5's segments but the first (which opening reads)
    // garbled. The query says the index is damaged, never "no match"; a rebuild answers again.
    ASSERT_EQ(IndexSql(file, kGarbleLeaves), -1);
    search::Index index("lib\\");
    std::string error;
    ASSERT_TRUE(index.Open(error, false)) << error;
    const std::string everyCharacter = "a b A \xA3\xC1 \xA3\xE2 \xD6\xD0 \xCE\xC4 \xD0\xCE \x81\x5C \x81\x61 \x82\x41 \\ x";
    EXPECT_TRUE(index.Query(everyCharacter, 10).damaged);
    ASSERT_TRUE(index.Rebuild(error)) << error;
    ASSERT_TRUE(index.Refresh());
    ExpectAgreesWithOracle(index, 20, {everyCharacter});
}

TEST_F(SearchIndexTest, BestMatchesComeFirst) {
    // Saved at the given year: the newer of equal matches comes first.
    static int year;
    SetLocalTimeSource([](LocalTime& t) { return t = {year, 3, 1, 12, 0}, true; });
    const struct { const char *name, *title, *keyword, *klass, *source, *body; int year; } rows[] = {
        {"body-once-old", "a", "", "", "", "茶", 2001}, {"body-once-new", "b", "", "", "", "茶", 2020},
        {"body-thrice", "c", "", "", "", "茶茶 茶", 2000},  {"source", "d", "", "", "茶", "", 2000},
        {"class", "e", "", "茶", "", "", 2000},             {"keyword", "f", "茶", "", "", "", 2000},
        {"title", "茶", "", "", "", "", 2000},               {"title-and-body", "茶", "", "", "", "水", 2000},
        {"keyword-both", "g", "茶 水", "", "", "", 2000}};
    for (const auto& r : rows) {
        year = r.year;
        Write(std::string(r.name) + ".datum.xml", Gbk(r.title), Gbk(r.body), Gbk(r.keyword), Gbk(r.klass), Gbk(r.source));
    }
    SetLocalTimeSource(nullptr);
    search::Index index("lib\\");
    Open(index);
    auto order = [&](const char* query) {
        std::vector<std::string> names;
        for (const search::Hit& h : index.Query(Gbk(query), 100).hits) names.push_back(h.path.substr(4, h.path.find('.') - 4));
        return names;
    };
    // Equal matches of one stamp list in the order of their places.
    EXPECT_EQ(order("茶"), (std::vector<std::string>{"title-and-body", "title", "keyword-both", "keyword", "class",
                                                    "source", "body-thrice", "body-once-new", "body-once-old"}));
    // Every term in one field counts; terms spread over fields rank with the body.
    EXPECT_EQ(order("茶 水"), (std::vector<std::string>{"keyword-both", "title-and-body"}));
}

TEST_F(SearchIndexTest, NoIndexWithoutAPrivateCache) {
    WriteRandomLibrary(3);
    const std::string cache = dir.Native() + "/cache", home = getenv("HOME") ? getenv("HOME") : "";
    const std::string file = Built();
    // Someone else's database, in the rollback journal: opening it would switch it to WAL.
    ASSERT_EQ(IndexSql(dir.Native() + "/victim.sqlite", "CREATE TABLE t(x)"), -1);
    const std::string victim = dir.ReadFile("victim.sqlite");
    const struct { const char* what; std::function<void()> setUp; const char* error; } rows[] = {
        // (No HOME and no XDG_CACHE_HOME: see the search window's test; the program's folder made private, or
        // a link in its place: the view's test.)
        {"a relative cache home is ignored", [&] { setenv("XDG_CACHE_HOME", "cache", 1), setenv("HOME", cache.c_str(), 1); }, ""},
        {"the index file is a link: replaced, never followed",
         [&] { fs::remove(file), fs::create_symlink(dir.Native() + "/victim.sqlite", file); }, ""},
        {"a cache home others may write to",
         [&] { fs::remove_all(cache + "/korvane"), fs::permissions(cache, fs::perms::all); },
         "不能建立检索索引: 缓存目录 $ 别的用户也能改动，不能使用"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        setenv("XDG_CACHE_HOME", cache.c_str(), 1);
        row.setUp();
        search::Index index("lib\\");
        std::string error;
        const bool opened = index.Open(error);
        setenv("HOME", home.c_str(), 1);
        std::string expected = row.error;
        if (const auto at = expected.find('$'); at != std::string::npos) expected.replace(at, 1, cache);
        EXPECT_EQ(plat::GbkToUtf8(error), expected);
        EXPECT_EQ(opened, expected.empty());
        EXPECT_TRUE(!opened || fs::status(cache + "/korvane").permissions() == fs::perms::owner_all);
        EXPECT_EQ(dir.ReadFile("victim.sqlite"), victim);
    }
}

TEST_F(SearchIndexTest, AHugeCardIsIndexedUpToTheOpenLimitInBoundedMemory) {
    // 2 GiB on disk, sparse after a text of blanks with a word at its start and one past 16 MiB.
    const std::string head = "<datum><content><part>" + Gbk("开头") + std::string(search::kMaxIndexedBytes, ' ');
    dir.WriteFile("lib/huge.datum.xml", head + Gbk("尾巴"));
    fs::resize_file(dir.Native() + "/lib/huge.datum.xml", std::uintmax_t(2) << 30);
    Write("small.datum.xml", "t", Gbk("开头"));
    // Indexed in a child whose address space ends `room` above what it holds (sanitizers reserve terabytes
    // of address space, so they go without the cap); its exit status is what `work` says.
    auto inChild = [](rlim_t room, const std::function<bool()>& work) {
        const pid_t child = fork();
        if (child == 0) {
#if !defined(__SANITIZE_ADDRESS__)
            long pages = 0;
            std::ifstream("/proc/self/statm") >> pages;
            const rlim_t cap = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + room;
            const rlimit limit{cap, cap};
            setrlimit(RLIMIT_AS, &limit);
#endif
            _exit(work() ? 0 : 1);
        }
        int status = 0;
        return waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    // With 20 MiB to spare the card cannot be read at all: the worker says so and the program goes on.
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_EQ(inChild(rlim_t(20) << 20, [] {
                  search::Indexer indexer;
                  indexer.SetLibrary("lib\\");
                  indexer.WaitIdle();
                  return !indexer.GetStatus().error.empty();
              }),
              0);
#endif
    // With 1 GiB to spare: reading the whole card (the old way) could not fit.
    EXPECT_EQ(inChild(rlim_t(1) << 30, [] {
                  search::Index index("lib\\");
                  std::string error;
                  return index.Open(error) && index.Refresh();
              }),
              0);
    search::Index index("lib\\");
    Open(index, false);
    EXPECT_EQ(Paths(index.Query(Gbk("开头"), 10)), (std::set<std::string>{"lib\\huge.datum.xml", "lib\\small.datum.xml"}));
    EXPECT_TRUE(index.Query(Gbk("尾巴"), 10).hits.empty());
}

TEST_F(SearchIndexTest, LongQueriesAreRefusedAndAnInterruptedQueryAnswersNothing) {
    WriteRandomLibrary(30);
    search::Index index("lib\\");
    Open(index);
    // (257 characters: see the command-line test.)
    EXPECT_TRUE(index.Query(std::string(256, 'a'), 10).ok);
    EXPECT_EQ(plat::GbkToUtf8(index.Query(std::string(40000, 'a'), 10).error), "检索内容太长: 最多 256 个字");
    // Stopped before it starts (as by a keystroke on the window's thread): no answer; then answers again.
    index.Interrupt();
    EXPECT_TRUE(index.Query("a", 10).cancelled);
    index.ClearInterrupt();
    EXPECT_EQ(Paths(index.Query("a", 100)), Oracle("a"));
}

}  // namespace

// One watched indexer holds the lock and records each change it applies; a second of the same library writes
// nothing while the first holds it, takes it with a full check once the first is gone, and lets go when its
// watch stops following (readers then look at the cards themselves).
TEST_F(SearchIndexTest, OnlyTheWatchHoldingTheLockWritesAndAnotherTakesOverWithAFullCheck) {
    Write("a.datum.xml", "a", "one");
    auto first = std::make_unique<search::Indexer>();
    search::Indexer second;
    for (search::Indexer* i : {first.get(), &second}) i->SetLibrary("lib\\"), i->SetWatched(true), i->WaitIdle();
    EXPECT_TRUE(first->HoldsWatch() && !second.HoldsWatch());
    const std::string file = Built();
    auto meta = [&](const char* key) { return IndexSql(file, (std::string("SELECT value FROM meta WHERE key='") + key + "'").c_str()); };
    auto found = [&](const char* query) { search::Index index("lib\\"); Open(index, false); return index.Query(query, 9, false).total; };
    EXPECT_TRUE(meta("watch_current") == 1 && search::WatchLock::WaitSettled(file, 0));
    const std::int64_t before = meta("watch_generation");
    for (search::Indexer* i : {&second, first.get()}) {
        i->Touch(Write("b.datum.xml", "b", "two"));
        i->WaitIdle();
    }
    EXPECT_EQ(meta("watch_generation"), before + 1) << "the second indexer wrote";
    EXPECT_EQ(found("two"), 1u);
    first.reset();
    Write("c.datum.xml", "c", "three");  // unseen by any watch
    second.Touch("lib\\a.datum.xml");
    second.WaitIdle();
    EXPECT_TRUE(second.HoldsWatch() && meta("watch_current") == 1 && found("three") == 1);
    second.SetWatched(false);
    EXPECT_FALSE(search::WatchLock::Live(file));
}
