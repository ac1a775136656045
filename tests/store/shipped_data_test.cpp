// The shipped program directory (data/) is read by the program's own readers and held to the exact text the
// program writes: otherwise the first save of a sample card, or a manager's first OK, would reshape it.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>

#include "library/registry.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/text.h"
#include "store/copy_tree.h"
#include "store/list_file.h"
#include "store/xml_record_set.h"
#include "support/scripted_services.h"
#include "support/temp_dir.h"

using plat::Gbk;

namespace {

const std::string kShipped = KORVANE_SHIPPED_DATA;
std::string Key(const char* stem, int i) { return stem + plat::FormatInt(i); }

// Loads a list file; every slot line a manager may rewrite must be there from the start.
void ExpectSlots(CListFile& list, const std::string& path, int slotCount, bool withPaths, const char* count = nullptr) {
    ASSERT_EQ(list.Load(path), 1) << path;
    EXPECT_NE(list.GetValue("count"), "\x02") << path;
    if (count) {
        EXPECT_EQ(list.GetValue("count"), count) << path;
    }
    for (int i = 0; i < slotCount; ++i) {
        EXPECT_NE(list.GetValue(Key("name", i)), "\x02") << path << " slot " << i;
        EXPECT_TRUE(!withPaths || list.GetValue(Key("path", i)) != "\x02") << path << " slot " << i;
    }
}

std::string WrittenLineIndex(const std::vector<LineIndexLink>& links) {
    XmlRecordSet rs;
    plat::StringSink sink;
    rs.WriteLineIndexHead(sink, Gbk("索引;书签"), Gbk("资料卡"));
    for (const LineIndexLink& l : links) rs.WriteLineIndexLink(sink, l.name, l.url, l.klass, l.date, l.keyword, l.source);
    rs.WriteLineIndexEnd(sink);
    return sink.data;
}

// Reads a line index file as its owner does; its bytes must be exactly what the program writes for its links.
std::vector<LineIndexLink> ReadLineIndex(const std::string& path) {
    std::vector<LineIndexLink> links;
    XmlRecordSet rs;
    plat::LineReader reader;
    EXPECT_TRUE(reader.Open(path)) << path;
    EXPECT_TRUE(rs.ReadLineIndexHead(reader)) << path;
    while (rs.ReadLineIndexLink(reader)) links.push_back(rs.link);
    EXPECT_EQ(ReadNativeFile(plat::ToNative(path)), WrittenLineIndex(links)) << path;
    return links;
}

TEST(ShippedData, EveryFileIsGbkTextWithCrLfLineEnds) {
    int files = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(kShipped)) {
        const std::string rel = std::filesystem::relative(e.path(), kShipped).string();
        EXPECT_TRUE(plat::FromNative(e.path().string()).has_value()) << "name GBK cannot hold: " << rel;
        if (!e.is_regular_file()) continue;
        ++files;
        const std::string bytes = ReadNativeFile(e.path().string());
        std::string utf8;
        EXPECT_FALSE(bytes.empty()) << rel;
        EXPECT_TRUE(plat::TryGbkToUtf8(bytes, utf8)) << "not GBK: " << rel;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const bool bad = (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) ||
                             (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n'));
            EXPECT_FALSE(bad) << "bare CR or LF at byte " << i << " of " << rel;
        }
    }
    EXPECT_GE(files, 20);  // the walk really saw the tree
}

TEST(ShippedData, RegistryAndTemplateListsHoldEverySlotInTheSavedForm) {
    ScriptedServices svc;  // a damaged link would show a box, and no box is expected
    TempProgramDir dir;
    dir.CopyShippedData();
    EXPECT_EQ(dir.ReadFile("set/datumlib.lst").substr(0, 1), "#");
    CListFile reg, classes, sources;
    ExpectSlots(reg, "set\\datumlib.lst", kMaxLibraries, true, "1");
    EXPECT_EQ(reg.GetValue("use"), "0");
    const std::string libPath = reg.GetValue("path0");
    EXPECT_FALSE(reg.GetValue("name0").empty());
    ASSERT_FALSE(libPath.empty());
    EXPECT_FALSE(plat::IsAbsolute(libPath)) << "index and bookmark links work only below the program directory";
    EXPECT_NE(libPath.back(), '\\');
    for (int i = 1; i < kMaxLibraries; ++i) EXPECT_EQ(reg.GetValue(Key("name", i)) + reg.GetValue(Key("path", i)), "");
    const std::string tpl = layout::kTemplate;
    ExpectSlots(classes, tpl + layout::kClassList, kMaxListSlots, true, "0");
    ExpectSlots(sources, tpl + layout::kSourceList, kMaxListSlots, false, "0");
    for (const char* rel : {layout::kIndexList, layout::kBookmarkList})
        EXPECT_TRUE(ReadLineIndex(tpl + rel).empty()) << rel;
    EXPECT_TRUE(plat::Contains(ReadNativeFile(plat::ToNative(tpl + layout::kViewPage)), "charset=\"gb2312\""));

    // A list in the exact form Save writes survives a manager's OK unchanged.
    for (const char* rel : {"set/datumlib.lst", "set/null.daum/_ _SETS_ _/class.list",
                            "set/null.daum/_ _SETS_ _/source.list", "datum/示例/_ _SETS_ _/class.list",
                            "datum/示例/_ _SETS_ _/source.list"}) {
        const std::string before = dir.ReadFile(rel);
        CListFile list;
        ASSERT_EQ(list.Load(*plat::FromNative(rel)), 1) << rel;
        ASSERT_EQ(list.Save(), 1) << rel;
        EXPECT_EQ(dir.ReadFile(rel), before) << rel;
    }

    // A new library is the template copied whole, readable at once; styles and DTD sit where cards name them.
    const std::string root = Gbk("新库") + "\\";
    ASSERT_TRUE(plat::CreateDir(Gbk("新库")));
    ASSERT_EQ(CopyDirectoryTree(layout::kTemplate, root), 1);
    for (const char* rel : {layout::kClassList, layout::kSourceList, layout::kIndexList, layout::kBookmarkList,
                            layout::kViewPage})
        EXPECT_TRUE(plat::IsFile(root + rel)) << rel;
    CListFile copied;
    EXPECT_EQ(copied.Load(root + layout::kClassList), 1);
    EXPECT_EQ(copied.GetValue("path99"), "");
    EXPECT_TRUE(plat::IsFile(layout::kDtd));
    std::vector<plat::DirEntry> styles;
    ASSERT_TRUE(plat::ListDir(layout::kStyleDir, styles));
    EXPECT_GE(std::count_if(styles.begin(), styles.end(), [](const plat::DirEntry& e) {
                  return e.attrs != plat::kAttrDirectory && plat::Contains(e.name, ".xsl");
              }), 2);
}

// The sample library, read from a copy of the program directory as the program finds it at start.
class ShippedLibrary : public ::testing::Test {
protected:
    struct CardFile {
        std::string path, name, klass;  // klass: the class the folder stands for; empty in the root
    };
    void SetUp() override {
        dir_.CopyShippedData();
        LibraryRegistry reg;
        std::string error;
        ASSERT_TRUE(ReadRegistry(reg, error)) << error;
        ASSERT_EQ(reg.count, 1);
        root_ = LibraryRoot(reg.entries[0]);
        Walk(root_, "");
    }
    // Enters folders exactly as the library scan does: plain directories not named "_ _..." or ".".
    void Walk(const std::string& folder, const std::string& klass) {
        std::vector<plat::DirEntry> entries;
        ASSERT_TRUE(plat::ListDir(folder, entries)) << folder;
        for (const plat::DirEntry& e : entries) {
            const bool service = e.name.rfind(layout::kServicePrefix, 0) == 0 || e.name.rfind(".", 0) == 0;
            if (plat::IsPlainDirectory(e.attrs) && !service) {
                const std::string sub = klass.empty() ? e.name : klass + "\\" + e.name;
                folders_.insert(sub);
                Walk(folder + e.name + "\\", sub);
            } else if (plat::Contains(e.name, layout::kCardMark)) {
                cards_.push_back({folder + e.name, e.name, klass});
            }
        }
    }
    // The names of a list; with paths, each path must be root + name + '\' (what a delete removes).
    std::set<std::string> ListNames(const char* rel, bool withPaths) {
        CListFile list;
        ExpectSlots(list, root_ + rel, kMaxListSlots, withPaths);
        const int count = plat::ParseInt(list.GetValue("count"));
        std::set<std::string> names;
        for (int i = 0; i < count; ++i) {
            names.insert(list.GetValue(Key("name", i)));
            const std::string path = root_ + list.GetValue(Key("name", i)) + "\\";
            EXPECT_TRUE(!withPaths || list.GetValue(Key("path", i)) == path) << path;
        }
        for (int i = count; i < kMaxListSlots; ++i) EXPECT_EQ(list.GetValue(Key("name", i)), "") << i;
        EXPECT_EQ(names.count(""), 0u);
        return names;
    }
    TempProgramDir dir_;
    std::string root_;
    std::set<std::string> folders_;
    std::vector<CardFile> cards_;
};

TEST_F(ShippedLibrary, ListsMatchFoldersAndCardsRewriteToTheSameBytes) {
    SetLocalTimeSource([](LocalTime& t) { return t = {2031, 12, 30, 23, 59}, true; });
    const std::set<std::string> classes = ListNames(layout::kClassList, true);
    const std::set<std::string> sources = ListNames(layout::kSourceList, false);
    EXPECT_EQ(classes, folders_) << "a folder the scan shows must be a listed class, and the other way round";
    EXPECT_GE(classes.size(), 3u);
    EXPECT_GE(sources.size(), 1u);
    const std::regex stamp("^[0-9]{4}-[1-9][0-9]?-[1-9][0-9]? (0|[1-9][0-9]?):(0|[1-9][0-9]?)$");
    bool inRoot = false, nested = false, fullWidthSigns = false;
    ASSERT_GE(cards_.size(), 5u);
    for (const CardFile& f : cards_) {
        SCOPED_TRACE(plat::GbkToUtf8(f.path));
        XmlRecordSet rs;
        plat::LineReader reader;
        ASSERT_TRUE(reader.Open(f.path));
        ASSERT_TRUE(rs.ReadCard(reader));
        const DatumCard& c = rs.card;
        // The editor names a saved card root + class + '\' + title + tail.
        EXPECT_EQ(f.name, c.title + ".datum.xml");
        EXPECT_EQ(c.klass, f.klass);
        EXPECT_TRUE(c.klass.empty() || classes.count(c.klass)) << "class not in the class list";
        EXPECT_TRUE(sources.count(c.source)) << "source not in the source list";
        EXPECT_TRUE(std::regex_match(c.founddate, stamp)) << c.founddate;
        EXPECT_TRUE(std::regex_match(c.modifieddate, stamp)) << c.modifieddate;
        EXPECT_TRUE(plat::Contains(c.content, "\r\n"));
        const std::string style = c.href.substr(c.href.find_last_of("/\\") + 1);  // matched by file name
        EXPECT_TRUE(plat::IsFile(std::string(layout::kStyleDir) + style)) << c.href;
        inRoot |= f.klass.empty();
        nested |= plat::Contains(f.klass, "\\");
        fullWidthSigns |= plat::Contains(c.content, "\xA1\xDA") && plat::Contains(c.content, "\xA1\xDB") &&
                          plat::Contains(c.content, "\xA1\xEA");

        // Saved again with its own DTD reference, only the modification time may change.
        std::string expected = ReadNativeFile(plat::ToNative(f.path));
        const std::size_t dtd = expected.find("SYSTEM \"") + 8;
        rs.card.dtdPath = expected.substr(dtd, expected.find('"', dtd) - dtd);
        const std::size_t mod = expected.find("\t<modifieddate>");
        ASSERT_NE(mod, std::string::npos);
        expected.replace(mod, expected.find("\r\n", mod) - mod, "\t<modifieddate>2031-12-30 23:59</modifieddate>");
        plat::StringSink sink;
        ASSERT_TRUE(rs.WriteCard(sink));
        EXPECT_EQ(sink.data, expected);
    }
    SetLocalTimeSource(nullptr);
    EXPECT_TRUE(inRoot && nested) << "cards lie in the library root and in a nested class";
    EXPECT_TRUE(fullWidthSigns) << "one card body holds the three full-width signs";
}

TEST_F(ShippedLibrary, IndexAndBookmarkLinksLeadToTheirCards) {
    ScriptedServices svc;  // no link may be damaged
    std::size_t total = 0;
    for (const char* rel : {layout::kIndexList, layout::kBookmarkList}) {
        const std::vector<LineIndexLink> links = ReadLineIndex(root_ + rel);
        total += links.size();
        for (const LineIndexLink& l : links) {
            SCOPED_TRACE(plat::GbkToUtf8(l.url));
            // Links are relative to the program directory and lower case, as the manager stores them.
            EXPECT_EQ(l.url, plat::AsciiLower(l.url));
            EXPECT_EQ(l.url.rfind(root_, 0), 0u);
            XmlRecordSet rs;
            plat::LineReader reader;
            ASSERT_TRUE(reader.Open(l.url));
            ASSERT_TRUE(rs.ReadCard(reader));
            const DatumCard& c = rs.card;
            EXPECT_EQ((std::vector<std::string>{l.name, l.klass, l.date, l.keyword, l.source}),
                      (std::vector<std::string>{c.title, c.klass, c.founddate, c.keyword, c.source}));
        }
    }
    EXPECT_GE(total, 1u);
}

}  // namespace
