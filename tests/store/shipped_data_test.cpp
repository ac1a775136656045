// The program directory that ships (data/) is read by the program's own readers, and its cards and lists are
// held to the exact text the program writes: otherwise the first save of a sample card, or the first OK in a
// manager, would silently reshape a file the user never edited.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

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

namespace fs = std::filesystem;

const char kMissing[] = "\x02";

std::string Key(const char* stem, int i) { return stem + plat::FormatInt(i); }

// Internal (GBK, '\') form of a path below the shipped directory, given with '/' in UTF-8.
std::string ShippedPath(const std::string& rel) {
    std::optional<std::string> p = plat::FromNative(std::string(KORVANE_SHIPPED_DATA) + "/" + rel);
    EXPECT_TRUE(p.has_value()) << rel;
    return p.value_or("");
}

std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find("\r\n", from)) != std::string::npos; from = at + 2) {
        lines.push_back(text.substr(from, at - from));
    }
    lines.push_back(text.substr(from));
    return lines;
}

// Loads a list file and checks that every slot line a manager may rewrite is there from the start.
void ExpectSlots(CListFile& list, const std::string& path, int slotCount, bool withPaths) {
    ASSERT_EQ(list.Load(path), 1) << path;
    EXPECT_NE(list.GetValue("count"), kMissing) << path;
    for (int i = 0; i < slotCount; ++i) {
        EXPECT_NE(list.GetValue(Key("name", i)), kMissing) << path << " slot " << i;
        if (withPaths) {
            EXPECT_NE(list.GetValue(Key("path", i)), kMissing) << path << " slot " << i;
        }
    }
}

// The bytes the program writes for a list with these links.
std::string WrittenLineIndex(const std::vector<LineIndexLink>& links) {
    XmlRecordSet rs;
    plat::StringSink sink;
    rs.WriteLineIndexHead(sink, Gbk("索引;书签"), Gbk("资料卡"));
    for (const LineIndexLink& l : links) rs.WriteLineIndexLink(sink, l.name, l.url, l.klass, l.date, l.keyword, l.source);
    rs.WriteLineIndexEnd(sink);
    return sink.data;
}

// Reads a line index file as its owner does: the header, then links until the first false.
std::vector<LineIndexLink> ReadLineIndex(const std::string& path) {
    std::vector<LineIndexLink> links;
    XmlRecordSet rs;
    plat::LineReader reader;
    EXPECT_TRUE(reader.Open(path)) << path;
    EXPECT_TRUE(rs.ReadLineIndexHead(reader)) << path;
    EXPECT_EQ(rs.head.title, Gbk("索引;书签")) << path;
    EXPECT_EQ(rs.head.keyword, Gbk("资料卡")) << path;
    while (rs.ReadLineIndexLink(reader)) links.push_back(rs.link);
    return links;
}

TEST(ShippedData, EveryFileIsGbkTextWithCrLfLineEnds) {
    int files = 0;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(KORVANE_SHIPPED_DATA)) {
        const std::string rel = fs::relative(e.path(), KORVANE_SHIPPED_DATA).string();
        EXPECT_TRUE(plat::FromNative(e.path().string()).has_value()) << "name GBK cannot hold: " << rel;
        if (!e.is_regular_file()) continue;
        ++files;
        const std::string bytes = ReadNativeFile(e.path().string());
        std::string utf8;
        EXPECT_FALSE(bytes.empty()) << rel;
        EXPECT_TRUE(plat::TryGbkToUtf8(bytes, utf8)) << "not GBK: " << rel;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == '\n') {
                EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare LF at byte " << i << " of " << rel;
            } else if (bytes[i] == '\r') {
                EXPECT_TRUE(i + 1 < bytes.size() && bytes[i + 1] == '\n') << "bare CR at byte " << i << " of " << rel;
            }
        }
    }
    EXPECT_GE(files, 20);  // the walk really saw the tree
}

TEST(ShippedData, RegistryHoldsEveryPreMadeSlotAndOneRelativeLibrary) {
    const std::string path = ShippedPath("set/datumlib.lst");
    EXPECT_EQ(ReadNativeFile(std::string(KORVANE_SHIPPED_DATA) + "/set/datumlib.lst").substr(0, 1), "#");
    CListFile list;
    ExpectSlots(list, path, kMaxLibraries, true);
    EXPECT_EQ(list.GetValue("count"), "1");
    EXPECT_EQ(list.GetValue("use"), "0");
    const std::string libPath = list.GetValue("path0");
    EXPECT_FALSE(list.GetValue("name0").empty());
    EXPECT_FALSE(libPath.empty());
    EXPECT_FALSE(plat::IsAbsolute(libPath)) << "index and bookmark links work only below the program directory";
    EXPECT_NE(libPath.back(), '\\');
    for (int i = 1; i < kMaxLibraries; ++i) {
        EXPECT_EQ(list.GetValue(Key("name", i)), "") << i;
        EXPECT_EQ(list.GetValue(Key("path", i)), "") << i;
    }
}

// A list file in the exact form Save writes survives a manager's OK unchanged when nothing was edited.
TEST(ShippedData, ListFilesAreInTheFormTheProgramSaves) {
    TempProgramDir dir;
    dir.CopyShippedData();
    for (const char* rel : {"set/datumlib.lst", "set/null.daum/_ _SETS_ _/class.list",
                            "set/null.daum/_ _SETS_ _/source.list", "datum/示例/_ _SETS_ _/class.list",
                            "datum/示例/_ _SETS_ _/source.list"}) {
        const std::string before = dir.ReadFile(rel);
        ASSERT_FALSE(before.empty()) << rel;
        CListFile list;
        ASSERT_EQ(list.Load(*plat::FromNative(rel)), 1) << rel;
        ASSERT_EQ(list.Save(), 1) << rel;
        list.Close();
        EXPECT_EQ(dir.ReadFile(rel), before) << rel;
    }
}

TEST(ShippedData, TemplateHoldsEmptyListsWithEverySlot) {
    ScriptedServices svc;  // a damaged link would show a box, and no box is expected
    CListFile classes;
    ExpectSlots(classes, ShippedPath("set/null.daum/_ _SETS_ _/class.list"), kMaxListSlots, true);
    EXPECT_EQ(classes.GetValue("count"), "0");
    CListFile sources;
    ExpectSlots(sources, ShippedPath("set/null.daum/_ _SETS_ _/source.list"), kMaxListSlots, false);
    EXPECT_EQ(sources.GetValue("count"), "0");

    for (const char* rel : {"set/null.daum/_ _SETS_ _/lineindex.list", "set/null.daum/_ _SETS_ _/bookmark.list"}) {
        EXPECT_TRUE(ReadLineIndex(ShippedPath(rel)).empty()) << rel;
        EXPECT_EQ(ReadNativeFile(std::string(KORVANE_SHIPPED_DATA) + "/" + rel), WrittenLineIndex({})) << rel;
    }
    const std::string view = ReadNativeFile(std::string(KORVANE_SHIPPED_DATA) + "/set/null.daum/_ _VIEW_ _/ViewDatum.html");
    EXPECT_TRUE(plat::Contains(view, "charset=\"gb2312\"")) << "the browser must not guess the encoding";
}

// A new library is the template copied whole; what it gets must be readable as a library at once.
TEST(ShippedData, TemplateCopiesIntoAWorkingNewLibrary) {
    ScriptedServices svc;
    TempProgramDir dir;
    dir.CopyShippedData();
    const std::string root = Gbk("新库") + "\\";
    ASSERT_TRUE(plat::CreateDir(Gbk("新库")));
    ASSERT_EQ(CopyDirectoryTree(layout::kTemplate, root), 1);
    for (const char* rel : {layout::kClassList, layout::kSourceList, layout::kIndexList, layout::kBookmarkList,
                            layout::kViewPage}) {
        EXPECT_TRUE(plat::IsFile(root + rel)) << rel;
    }
    CListFile classes;
    EXPECT_EQ(classes.Load(root + layout::kClassList), 1);
    EXPECT_EQ(classes.GetValue("path99"), "");
}

TEST(ShippedData, StylesAndDtdSitWhereCardsNameThem) {
    TempProgramDir dir;
    dir.CopyShippedData();
    EXPECT_TRUE(plat::IsFile(layout::kDtd));
    std::vector<plat::DirEntry> styles;
    ASSERT_TRUE(plat::ListDir(layout::kStyleDir, styles));
    const auto xsl = std::count_if(styles.begin(), styles.end(), [](const plat::DirEntry& e) {
        return e.attrs != plat::kAttrDirectory && plat::Contains(e.name, ".xsl");
    });
    EXPECT_GE(xsl, 2);
}

// The sample library, read from a copy of the program directory as the program finds it at start.
class ShippedLibrary : public ::testing::Test {
protected:
    struct CardFile {
        std::string path;   // built on the library root, as the scan builds it
        std::string name;   // file name
        std::string klass;  // class name the folder stands for; empty in the root
    };

    void SetUp() override {
        dir_.CopyShippedData();
        LibraryRegistry reg;
        std::string error;
        ASSERT_TRUE(ReadRegistry(reg, error)) << error;
        ASSERT_EQ(reg.count, 1);
        ASSERT_EQ(reg.use, 0);
        ASSERT_TRUE(plat::IsDir(reg.entries[0].path));
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

    std::set<std::string> ListNames(const char* rel, int& count) {
        CListFile list;
        EXPECT_EQ(list.Load(root_ + rel), 1);
        count = plat::ParseInt(list.GetValue("count"));
        std::set<std::string> names;
        for (int i = 0; i < count; ++i) names.insert(list.GetValue(Key("name", i)));
        return names;
    }

    TempProgramDir dir_;
    std::string root_;
    std::set<std::string> folders_;
    std::vector<CardFile> cards_;
};

TEST_F(ShippedLibrary, ClassListMatchesTheClassFolders) {
    CListFile list;
    ExpectSlots(list, root_ + layout::kClassList, kMaxListSlots, true);
    const int count = plat::ParseInt(list.GetValue("count"));
    std::set<std::string> listed;
    bool nested = false;
    for (int i = 0; i < count; ++i) {
        const std::string name = list.GetValue(Key("name", i));
        listed.insert(name);
        nested = nested || plat::Contains(name, "\\");
        // The class manager records root + name + '\' and removes exactly that folder on delete.
        EXPECT_EQ(list.GetValue(Key("path", i)), root_ + name + "\\") << i;
        EXPECT_TRUE(plat::IsDir(root_ + name)) << i;
    }
    for (int i = count; i < kMaxListSlots; ++i) EXPECT_EQ(list.GetValue(Key("name", i)), "") << i;
    EXPECT_GE(count, 3);
    EXPECT_TRUE(nested) << "the sample shows a nested class";
    EXPECT_EQ(listed, folders_) << "a folder the scan shows must be a listed class, and the other way round";

    int sources = 0;
    const std::set<std::string> sourceNames = ListNames(layout::kSourceList, sources);
    EXPECT_GE(sources, 1);
    EXPECT_EQ(sourceNames.count(""), 0u);
    CListFile sourceList;
    ExpectSlots(sourceList, root_ + layout::kSourceList, kMaxListSlots, false);
}

TEST_F(ShippedLibrary, CardsReadAndRewriteToTheSameBytes) {
    struct FixedClock {
        FixedClock() {
            SetLocalTimeSource([](LocalTime& t) {
                t = {2031, 12, 30, 23, 59};
                return true;
            });
        }
        ~FixedClock() { SetLocalTimeSource(nullptr); }
    } clock;
    int classes = 0, sourceCount = 0;
    const std::set<std::string> classNames = ListNames(layout::kClassList, classes);
    const std::set<std::string> sources = ListNames(layout::kSourceList, sourceCount);
    const std::regex stamp("^[0-9]{4}-[1-9][0-9]?-[1-9][0-9]? (0|[1-9][0-9]?):(0|[1-9][0-9]?)$");
    bool inRoot = false, nested = false, fullWidthSigns = false;

    ASSERT_GE(cards_.size(), 5u);
    for (const CardFile& f : cards_) {
        SCOPED_TRACE(plat::GbkToUtf8(f.path));
        XmlRecordSet rs;
        plat::LineReader reader;
        ASSERT_TRUE(reader.Open(f.path));
        ASSERT_TRUE(rs.ReadCard(reader));
        reader.Close();
        const DatumCard& c = rs.card;

        // The editor names a saved card root + class + '\' + title + tail: the sample follows that rule.
        EXPECT_EQ(f.name, c.title + ".datum.xml");
        EXPECT_EQ(c.klass, f.klass);
        EXPECT_TRUE(c.klass.empty() || classNames.count(c.klass)) << "class not in the class list";
        EXPECT_TRUE(sources.count(c.source)) << "source not in the source list";
        EXPECT_TRUE(std::regex_match(c.founddate, stamp)) << c.founddate;
        EXPECT_TRUE(std::regex_match(c.modifieddate, stamp)) << c.modifieddate;
        EXPECT_GE(SplitCrLf(c.content).size(), 2u);

        // The stylesheet it names is one of the shipped ones (styles are matched by file name).
        const std::size_t slash = c.href.find_last_of("/\\");
        const std::string style = c.href.substr(slash == std::string::npos ? 0 : slash + 1);
        EXPECT_TRUE(plat::IsFile(std::string(layout::kStyleDir) + style)) << c.href;

        inRoot = inRoot || f.klass.empty();
        nested = nested || plat::Contains(f.klass, "\\");
        fullWidthSigns = fullWidthSigns || (plat::Contains(c.content, "\xA1\xDA") &&
                                            plat::Contains(c.content, "\xA1\xDB") &&
                                            plat::Contains(c.content, "\xA1\xEA"));

        // Saved again with its own DTD reference, only the modification time may change.
        const std::string original = ReadNativeFile(plat::ToNative(f.path));
        std::vector<std::string> lines = SplitCrLf(original);
        ASSERT_GE(lines.size(), 17u);
        const std::string doctype = "<!DOCTYPE datum SYSTEM \"";
        ASSERT_EQ(lines[1].rfind(doctype, 0), 0u);
        rs.card.dtdPath = lines[1].substr(doctype.size(), lines[1].size() - doctype.size() - 2);
        plat::StringSink sink;
        ASSERT_TRUE(rs.WriteCard(sink));
        lines[9] = "\t<modifieddate>2031-12-30 23:59</modifieddate>";
        std::string expected = lines[0];
        for (std::size_t i = 1; i < lines.size(); ++i) expected += "\r\n" + lines[i];
        EXPECT_EQ(sink.data, expected);
    }
    EXPECT_TRUE(inRoot) << "one card lies in the library root";
    EXPECT_TRUE(nested) << "one card lies in a nested class";
    EXPECT_TRUE(fullWidthSigns) << "one card body holds the three full-width signs";
}

TEST_F(ShippedLibrary, IndexAndBookmarkLinksLeadToTheirCards) {
    ScriptedServices svc;  // no link may be damaged
    std::size_t total = 0;
    for (const char* rel : {layout::kIndexList, layout::kBookmarkList}) {
        SCOPED_TRACE(rel);
        const std::vector<LineIndexLink> links = ReadLineIndex(root_ + rel);
        total += links.size();
        EXPECT_EQ(ReadNativeFile(plat::ToNative(root_ + rel)), WrittenLineIndex(links));
        for (const LineIndexLink& l : links) {
            // Links are relative to the program directory and lower case, as the manager stores them.
            EXPECT_EQ(l.url, plat::AsciiLower(l.url));
            EXPECT_EQ(l.url.rfind(root_, 0), 0u) << plat::GbkToUtf8(l.url);
            XmlRecordSet rs;
            plat::LineReader reader;
            ASSERT_TRUE(reader.Open(l.url)) << plat::GbkToUtf8(l.url);
            ASSERT_TRUE(rs.ReadCard(reader));
            EXPECT_EQ(l.name, rs.card.title);
            EXPECT_EQ(l.klass, rs.card.klass);
            EXPECT_EQ(l.date, rs.card.founddate);
            EXPECT_EQ(l.keyword, rs.card.keyword);
            EXPECT_EQ(l.source, rs.card.source);
        }
    }
    EXPECT_GE(total, 1u);
}

}  // namespace
