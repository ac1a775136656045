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

std::vector<std::string> Fields(const LineIndexLink& l) { return {l.name, l.url, l.klass, l.date, l.keyword, l.source}; }

std::string WriteList(const std::vector<LineIndexLink>& links) {
    XmlRecordSet rs;
    plat::StringSink sink;
    EXPECT_TRUE(rs.WriteLineIndexHead(sink, Gbk("索引;书签"), Gbk("资料卡")));
    for (const LineIndexLink& l : links)
        EXPECT_TRUE(rs.WriteLineIndexLink(sink, l.name, l.url, l.klass, l.date, l.keyword, l.source));
    EXPECT_TRUE(rs.WriteLineIndexEnd(sink));
    return sink.data;
}

// Reads the header, then links until the first false, keeping copies as the owner does; the fields of each.
std::vector<std::vector<std::string>> ReadList(const std::string& text, LineIndexHead* head = nullptr) {
    XmlRecordSet rs;
    plat::LineReader reader = plat::LineReader::FromString(text);
    EXPECT_TRUE(rs.ReadLineIndexHead(reader));
    if (head) *head = rs.head;
    std::vector<std::vector<std::string>> out;
    while (rs.ReadLineIndexLink(reader)) out.push_back(Fields(rs.link));
    return out;
}

TEST(LineIndexTest, WritesTheExactBytesAndReadsThemBack) {
    ScriptedServices svc;  // no box may appear
    const std::string empty = WriteList({}), full = WriteList(kLinks);
    EXPECT_EQ(empty, Golden("lineindex_empty.xml"));
    EXPECT_EQ(full, Golden("lineindex_three_links.xml"));
    LineIndexHead head;
    EXPECT_TRUE(ReadList(empty, &head).empty());
    EXPECT_EQ(head.title, Gbk("索引;书签"));
    EXPECT_EQ(head.keyword, Gbk("资料卡"));
    std::vector<std::vector<std::string>> want;
    for (const auto& l : kLinks) want.push_back(Fields(l));
    EXPECT_EQ(ReadList(full), want);
    // The end marker is not needed, and LF-only files read the same.
    EXPECT_EQ(ReadList(plat::ReplaceAll(full.substr(0, full.find("\t\t\t\t<!--")), "\r\n", "\n")), want);
    // Values are not escaped: a name holding "</name>" ends there.
    const auto odd = ReadList(WriteList({{"x</name>y", "u", "c", "d", "k", "s"}}));
    ASSERT_EQ(odd.size(), 1u);
    EXPECT_EQ(odd[0][0], "x");
    EXPECT_EQ(odd[0][5], "s");
}

TEST(LineIndexTest, HeaderRulesAndFailedSink) {
    XmlRecordSet rs;
    auto read = [&rs](const std::string& text) {
        plat::LineReader reader = plat::LineReader::FromString(text);
        return rs.ReadLineIndexHead(reader);
    };
    EXPECT_TRUE(read("<!-- note -->\n\n<x>\n\t<title>T</title>\n\t<keyword>K</keyword>\n"));
    EXPECT_EQ(rs.head.title + rs.head.keyword, "TK");
    EXPECT_FALSE(read("\t<title>T2</title>\n\n\t<keyword>K2</keyword>\n"));
    EXPECT_EQ(rs.head.title + rs.head.keyword, "T2K");
    EXPECT_FALSE(read("<lineindex>\n\t<title>no end tag\n"));
    EXPECT_FALSE(read(""));

    struct FailingSink : plat::Sink {
        bool Write(std::string_view) override { return false; }
    } sink;
    EXPECT_FALSE(rs.WriteLineIndexHead(sink, "t", "k"));
    EXPECT_FALSE(rs.WriteLineIndexLink(sink, "n", "u", "c", "d", "k", "s"));
    EXPECT_FALSE(rs.WriteLineIndexEnd(sink));
}

TEST(LineIndexTest, DamagedLinkShowsItsMessageAndStops) {
    const std::string full = Golden("lineindex_three_links.xml");
    const char* messages[] = {"No name Find!", "No url Find",     "No class Find",
                              "no date find",  "no keyword find", "no source find"};
    for (int field = 0; field < 6; ++field) {
        SCOPED_TRACE(field);
        // Remove the line of `field` from the second link.
        std::size_t at = full.find("\t<link>\r\n\t\t<name>a<b & c</name>\r\n") + 9;
        for (int i = 0; i < field; ++i) at = full.find("\r\n", at) + 2;
        std::string damaged = full;
        damaged.erase(at, full.find("\r\n", at) + 2 - at);

        ScriptedServices svc;
        svc.ExpectBox(messages[field], "XML ERROR", plat::MB_OK);
        XmlRecordSet rs;
        plat::LineReader reader = plat::LineReader::FromString(damaged);
        ASSERT_TRUE(rs.ReadLineIndexHead(reader));
        ASSERT_TRUE(rs.ReadLineIndexLink(reader));
        EXPECT_FALSE(rs.ReadLineIndexLink(reader));
        // The fields before the damaged line hold the second link's values; the rest the first link's.
        EXPECT_EQ(rs.link.name, kLinks[field > 0 ? 1 : 0].name);
        EXPECT_EQ(rs.link.url, kLinks[field > 1 ? 1 : 0].url);
        EXPECT_EQ(rs.link.source, kLinks[0].source);
    }
}

}  // namespace
