#include <gtest/gtest.h>

#include <vector>

#include "platform/codec.h"
#include "platform/text.h"
#include "store/xml_record_set.h"
#include "support/scripted_services.h"
#include "support/temp_dir.h"

using plat::Gbk;

namespace {

const std::vector<LineIndexLink> kLinks = {
    {Gbk("读书笔记"), "lib\\" + Gbk("文学") + "\\" + Gbk("读书笔记") + ".datum.xml", Gbk("文学"),
     "2003-2-5 9:7", Gbk("诗"), Gbk("人民日报")},
    {"a<b & c", "lib\\x.datum.xml", "", "", "", ""},
    {"\x81\x5C", "lib\\\x81\x5C\\y.datum.xml", "\x81\x5F", "2004-1-1 0:0", "k=v", "s"},
};

std::string WriteList(const std::vector<LineIndexLink>& links) {
    XmlRecordSet rs;
    plat::StringSink sink;
    EXPECT_TRUE(rs.WriteLineIndexHead(sink, Gbk("索引;书签"), Gbk("资料卡")));
    for (const LineIndexLink& l : links) {
        EXPECT_TRUE(rs.WriteLineIndexLink(sink, l.name, l.url, l.klass, l.date, l.keyword, l.source));
    }
    EXPECT_TRUE(rs.WriteLineIndexEnd(sink));
    return sink.data;
}

// Reads the header and then links until the first false, keeping copies as the owner does.
bool ReadList(const std::string& text, LineIndexHead& head, std::vector<LineIndexLink>& links) {
    XmlRecordSet rs;
    plat::LineReader reader = plat::LineReader::FromString(text);
    if (!rs.ReadLineIndexHead(reader)) return false;
    head = rs.head;
    links.clear();
    while (rs.ReadLineIndexLink(reader)) links.push_back(rs.link);
    return true;
}

void ExpectSameLinks(const std::vector<LineIndexLink>& a, const std::vector<LineIndexLink>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].name, b[i].name) << i;
        EXPECT_EQ(a[i].url, b[i].url) << i;
        EXPECT_EQ(a[i].klass, b[i].klass) << i;
        EXPECT_EQ(a[i].date, b[i].date) << i;
        EXPECT_EQ(a[i].keyword, b[i].keyword) << i;
        EXPECT_EQ(a[i].source, b[i].source) << i;
    }
}

TEST(LineIndexTest, WritesTheExactBytesAndReadsThemBack) {
    ScriptedServices svc;  // no box may appear
    const std::string empty = WriteList({});
    EXPECT_EQ(empty, Golden("lineindex_empty.xml"));
    const std::string full = WriteList(kLinks);
    EXPECT_EQ(full, Golden("lineindex_three_links.xml"));

    LineIndexHead head;
    std::vector<LineIndexLink> links{{}};
    ASSERT_TRUE(ReadList(empty, head, links));
    EXPECT_EQ(head.title, Gbk("索引;书签"));
    EXPECT_EQ(head.keyword, Gbk("资料卡"));
    EXPECT_TRUE(links.empty());

    ASSERT_TRUE(ReadList(full, head, links));
    ExpectSameLinks(links, kLinks);

    // The end marker is not needed, and LF-only files read the same.
    std::string bare = plat::ReplaceAll(full.substr(0, full.find("\t\t\t\t<!--")), "\r\n", "\n");
    ASSERT_TRUE(ReadList(bare, head, links));
    ExpectSameLinks(links, kLinks);
}

TEST(LineIndexTest, HeaderRules) {
    XmlRecordSet rs;
    auto read = [&rs](const std::string& text) {
        plat::LineReader reader = plat::LineReader::FromString(text);
        return rs.ReadLineIndexHead(reader);
    };
    EXPECT_TRUE(read("<!-- note -->\n\n<x>\n\t<title>T</title>\n\t<keyword>K</keyword>\n"));
    EXPECT_EQ(rs.head.title, "T");
    EXPECT_EQ(rs.head.keyword, "K");
    EXPECT_FALSE(read("\t<title>T2</title>\n\n\t<keyword>K2</keyword>\n"));
    EXPECT_EQ(rs.head.title, "T2");
    EXPECT_EQ(rs.head.keyword, "K");
    EXPECT_FALSE(read("<lineindex>\n\t<title>no end tag\n"));
    EXPECT_FALSE(read(""));
}

TEST(LineIndexTest, DamagedLinkShowsItsMessageAndStops) {
    const std::string full = Golden("lineindex_three_links.xml");
    const std::string line2 = "\t<link>\r\n\t\t<name>a<b & c</name>\r\n";
    const char* messages[] = {"No name Find!", "No url Find",     "No class Find",
                              "no date find",  "no keyword find", "no source find"};
    for (int field = 0; field < 6; ++field) {
        SCOPED_TRACE(field);
        // Remove the line of `field` from the second link.
        std::size_t at = full.find(line2) + std::string("\t<link>\r\n").size();
        for (int i = 0; i < field; ++i) at = full.find("\r\n", at) + 2;
        std::string damaged = full;
        damaged.erase(at, full.find("\r\n", at) + 2 - at);

        ScriptedServices svc;
        svc.ExpectBox(messages[field], "XML ERROR", plat::MB_OK);
        XmlRecordSet rs;
        plat::LineReader reader = plat::LineReader::FromString(damaged);
        ASSERT_TRUE(rs.ReadLineIndexHead(reader));
        ASSERT_TRUE(rs.ReadLineIndexLink(reader));
        EXPECT_EQ(rs.link.name, kLinks[0].name);
        EXPECT_FALSE(rs.ReadLineIndexLink(reader));
        // The fields before the damaged line hold the second link's values; the rest the first link's.
        EXPECT_EQ(rs.link.name, field > 0 ? kLinks[1].name : kLinks[0].name);
        EXPECT_EQ(rs.link.url, field > 1 ? kLinks[1].url : kLinks[0].url);
        EXPECT_EQ(rs.link.source, kLinks[0].source);
    }
}

TEST(LineIndexTest, ValuesAreNotEscaped) {
    ScriptedServices svc;
    LineIndexHead head;
    std::vector<LineIndexLink> links;
    ASSERT_TRUE(ReadList(WriteList({{"x</name>y", "u", "c", "d", "k", "s"}}), head, links));
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].name, "x");
    EXPECT_EQ(links[0].source, "s");
}

TEST(LineIndexTest, WriterReportsAFailedSink) {
    struct FailingSink : plat::Sink {
        bool Write(std::string_view) override { return false; }
    } sink;
    XmlRecordSet rs;
    EXPECT_FALSE(rs.WriteLineIndexHead(sink, "t", "k"));
    EXPECT_FALSE(rs.WriteLineIndexLink(sink, "n", "u", "c", "d", "k", "s"));
    EXPECT_FALSE(rs.WriteLineIndexEnd(sink));
}

}  // namespace
