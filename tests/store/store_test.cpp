// The file formats: card, settings list and line index, byte for byte against golden files written from the
// byte templates (not from the writers); what the readers make of damaged files; the template copy.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/codec.h"
#include "platform/text.h"
#include "store/copy_tree.h"
#include "store/list_file.h"
#include "store/xml_record_set.h"
#include "support/cards.h"
#include "support/scripted_services.h"
#include "support/temp_dir.h"

using plat::Gbk;

namespace {


bool Read(const std::string& text, DatumCard& out) {
    XmlRecordSet rs;
    rs.card = out;
    plat::LineReader reader = plat::LineReader::FromString(text);
    const bool ok = rs.ReadCard(reader);
    out = rs.card;
    return ok;
}

DatumCard Sample() {
    return {Gbk("读书笔记"), Gbk("文学\\诗歌"), "", "", Gbk("人民日报"), Gbk("诗;唐代"), "",
            "xmlstyle\\datumstyle\\" + Gbk("经典") + ".xsl",
            "\\home\\user\\korvane\\xmlstyle\\qvrt_xml_1.0\\02_2003_datum01.dtd"};
}

TEST(Card, WritesTheExactBytes) {
    FixedClock clock;
    const struct { const char* golden; std::function<void(DatumCard&)> edit; } rows[] = {
        {"card_one_paragraph.xml", [](DatumCard& c) { c.content = Gbk("床前明月光，疑是地上霜。"); }},
        // A kept founddate is written as it is; modifieddate is always the new stamp.
        {"card_three_paragraphs.xml", [](DatumCard& c) {
             c.founddate = "2001-12-31 23:59", c.modifieddate = "1999-1-1 0:0";
             c.content = Gbk("第一段") + "\r\nsecond paragraph\r\n" + Gbk("第三段");
         }},
        {"card_empty_body.xml", [](DatumCard& c) { c = {"", "", "", "", "", "", "", c.href, c.dtdPath}; }},
        // Every field is escaped, character-aware: trail bytes like '\', '_', '@' are half a character, and a
        // GBK-only character is a reference.
        {"card_escapes.xml", [](DatumCard& c) { c.title = "a<b & c>d", c.content = "1 < 2 > 0 && x\r\n<part>"; }},
        {"card_gbk_trail.xml", [](DatumCard& c) {
             c.title = "\x81\x5C\x81\x5F", c.content = "\x81\x5C\x95\x5F<\x81\x40\r\n\x81\x5C";
         }},
    };
    for (const auto& r : rows) {
        DatumCard c = Sample();
        r.edit(c);
        EXPECT_EQ(CardBytes(c), Golden(r.golden)) << r.golden;
    }
    // (A lone CR or LF is a paragraph break: see the test of body signs.)
    SetLocalTimeSource([](LocalTime&) { return false; });
    DatumCard noClock = Sample();
    noClock.content = "x";
    EXPECT_EQ(CardBytes(noClock), Golden("card_no_clock.xml"));
}

TEST(Card, ReadsBackWhatItWroteAndFailsOnDamage) {
    FixedClock clock;
    DatumCard c = Sample();
    c.content = Gbk("第一段") + "\r\n\r\nthird & <last>\r\n";
    DatumCard back;
    ASSERT_TRUE(Read(CardBytes(c), back));
    EXPECT_EQ(back.title + back.klass + back.founddate + back.source + back.keyword + back.href,
              c.title + c.klass + "2003-2-5 9:7" + c.source + c.keyword + c.href);
    EXPECT_EQ(back.content, c.content);
    // LF-only files with other indentation read the same.
    ASSERT_TRUE(Read(plat::ReplaceAll(plat::ReplaceAll(CardBytes(c), "\r\n", "\n"), "\t<title>", "  <title>"), back));
    const std::string good = Golden("card_one_paragraph.xml");
    for (const std::string& bad : {good.substr(0, good.find("\t<class>")), plat::ReplaceAll(good, "</founddate>", ""),
                                   plat::ReplaceAll(good, "\t<content>", "\t<contents/>"), std::string()})
        EXPECT_FALSE(Read(bad, back)) << bad.size();
}

TEST(ListFile, KeepsEveryLineAndSavesTheExactBytes) {
    TempProgramDir dir;
    dir.WriteFile("x.lst", Golden("list_in.lst"));
    CListFile f;
    ASSERT_EQ(f.Load("x.lst"), 1);
    // Comments, sections, dropped lines and other case never answer; the first of two equal keys does.
    const std::pair<const char*, std::string> rows[] = {
        {"count", "3"}, {"a", "b=c"}, {"", "empty key"}, {"last", ""}, {" #x", "1"}, {"name0", Gbk("第一")},
        {"no newline", "end"}, {"Count", "\x02"}, {"[tail]", "\x02"}, {"garbage line", "\x02"}};
    for (const auto& [key, value] : rows) EXPECT_EQ(f.GetValue(key), value) << '"' << key << '"';
    EXPECT_EQ(f.SetValue("count", "2"), 1);
    EXPECT_EQ(f.SetValue("name0", Gbk("新名字")), 1);
    EXPECT_EQ(f.SetValue("name1", "x"), -2);
    f.Put("name1", Gbk("追加"));
    ASSERT_EQ(f.Save(), 1);
    EXPECT_EQ(dir.ReadFile("x.lst"), Golden("list_saved.lst"));

    // (A failed save: the full-disk test.) What cannot be read whole is not loaded, so a later Save cannot
    // cut the file short.
    f.Close();
    EXPECT_EQ(f.Load("\\proc\\self\\mem"), -1);
    EXPECT_EQ(f.Save(), -2);
}

const std::vector<LineIndexLink> kLinks = {
    {Gbk("读书笔记"), "lib\\" + Gbk("文学\\读书笔记") + ".datum.xml", Gbk("文学"), "2003-2-5 9:7", Gbk("诗"),
     Gbk("人民日报")},
    {"a<b & c", "lib\\x.datum.xml", "", "", "", ""},
    {"\x81\x5C", "lib\\\x81\x5C\\y.datum.xml", "\x81\x5F", "2004-1-1 0:0", "k=v", "s"},
};

std::string WriteLinks(const std::vector<LineIndexLink>& links) { return LinkListBytes(Gbk("索引;书签"), Gbk("资料卡"), links); }

std::string Joined(const LineIndexLink& l) {
    return l.name + "|" + l.url + "|" + l.klass + "|" + l.date + "|" + l.keyword + "|" + l.source;
}

std::vector<std::string> ReadLinks(const std::string& text) {
    XmlRecordSet rs;
    plat::LineReader reader = plat::LineReader::FromString(text);
    std::vector<std::string> out;
    if (!rs.ReadLineIndexHead(reader)) return {"no head"};
    while (rs.ReadLineIndexLink(reader)) out.push_back(Joined(rs.link));
    return out;
}

TEST(LineIndex, WritesTheExactBytesReadsThemBackAndNamesTheDamagedLine) {
    ScriptedServices svc;
    const std::string full = WriteLinks(kLinks);
    EXPECT_EQ(WriteLinks({}), Golden("lineindex_empty.xml"));
    EXPECT_EQ(full, Golden("lineindex_three_links.xml"));
    std::vector<std::string> all;
    for (const auto& l : kLinks) all.push_back(Joined(l));
    EXPECT_EQ(ReadLinks(full), all);
    // The end marker is not needed, and LF-only files read the same.
    EXPECT_EQ(ReadLinks(plat::ReplaceAll(full.substr(0, full.find("\t\t\t\t<!--")), "\r\n", "\n")), all);

    const char* messages[] = {"No name Find!", "No url Find", "No class Find",
                              "no date find",  "no keyword find", "no source find"};
    for (int field = 0; field < 6; ++field) {
        std::size_t at = full.find("\t\t<name>a&lt;b");  // drop line `field` of the second link
        for (int i = 0; i < field; ++i) at = full.find("\r\n", at) + 2;
        std::string damaged = full;
        damaged.erase(at, full.find("\r\n", at) + 2 - at);
        svc.ExpectBox(messages[field], "XML ERROR", plat::MB_OK);
        EXPECT_EQ(ReadLinks(damaged), std::vector<std::string>(all.begin(), all.begin() + 1)) << messages[field];
        svc.VerifyAllUsed();
    }
}

TEST(CopyTree, StopsAtTheFirstFailureWithOneBox) {
    TempProgramDir dir;
    ScriptedServices svc;
    for (const char* f : {"src/a.txt", "src/b/c.txt", "src/z.txt", "dst/b/x", "dst2/z.txt"}) dir.WriteFile(f, f);
    chmod((dir.Native() + "/dst2/z.txt").c_str(), 0444);
    svc.ExpectBox("不能创建目录 dst\\b\\", "ERROR", plat::MB_OK | plat::MB_ICONERROR);
    svc.ExpectBox("不能把文件 src\\z.txt 拷贝到 dst2\\z.txt", "ERROR", plat::MB_OK | plat::MB_ICONERROR);
    EXPECT_EQ(CopyDirectoryTree("src\\", "dst\\") + CopyDirectoryTree("src\\", "dst2\\"), 0);
    EXPECT_EQ(dir.ReadFile("dst/a.txt") + dir.ReadFile("dst2/b/c.txt") + dir.ReadFile("dst2/z.txt"), "src/a.txtsrc/b/c.txtdst2/z.txt");
    EXPECT_FALSE(dir.Exists("dst/z.txt"));
}

}  // namespace
