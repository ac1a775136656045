#include <gtest/gtest.h>

#include "platform/codec.h"
#include "platform/text.h"
#include "store/xml_record_set.h"
#include "support/temp_dir.h"

using plat::Gbk;

namespace {

// Every card here is saved at 9:07 on 5 February 2003 unless a test says otherwise.
class CardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetLocalTimeSource([](LocalTime& t) {
            t = {2003, 2, 5, 9, 7};
            return true;
        });
        DatumCard& c = rs.card;
        c.dtdPath = "\\home\\user\\korvane\\xmlstyle\\qvrt_xml_1.0\\02_2003_datum01.dtd";
        c.href = "xmlstyle\\datumstyle\\" + Gbk("经典") + ".xsl";
        c.title = Gbk("读书笔记");
        c.klass = Gbk("文学\\诗歌");
        c.source = Gbk("人民日报");
        c.keyword = Gbk("诗;唐代");
    }
    void TearDown() override { SetLocalTimeSource(nullptr); }

    std::string Write() {
        plat::StringSink sink;
        EXPECT_TRUE(rs.WriteCard(sink));
        return sink.data;
    }
    // Reads `text` into a fresh record whose fields all hold "old", so a test sees which ones a read set.
    bool Read(const std::string& text, XmlRecordSet& out) {
        out.card = {"old", "old", "old", "old", "old", "old", "old", "old", "old"};
        plat::LineReader reader = plat::LineReader::FromString(text);
        return out.ReadCard(reader);
    }

    XmlRecordSet rs;
};

TEST_F(CardTest, WritesTheExactBytes) {
    rs.card.content = Gbk("床前明月光，疑是地上霜。");
    EXPECT_EQ(Write(), Golden("card_one_paragraph.xml"));

    // A kept founddate is written as it is; modifieddate is always the new stamp.
    rs.card.founddate = "2001-12-31 23:59";
    rs.card.modifieddate = "1999-1-1 0:0";
    rs.card.content = Gbk("第一段") + "\r\nsecond paragraph\r\n" + Gbk("第三段");
    EXPECT_EQ(Write(), Golden("card_three_paragraphs.xml"));

    rs.card = {"", "", "", "", "", "", "", rs.card.href, rs.card.dtdPath};
    EXPECT_EQ(Write(), Golden("card_empty_body.xml"));
}

TEST_F(CardTest, EscapesTheBodyOnlyAndCharacterAware) {
    rs.card.title = "a<b & c>d";
    rs.card.content = "1 < 2 > 0 && x\r\n<part>";
    EXPECT_EQ(Write(), Golden("card_escapes.xml"));

    // Trail bytes that look like '\', '_' or '@' are half of a character, never a sign of their own.
    rs.card.title = "\x81\x5C\x81\x5F";
    rs.card.content = "\x81\x5C\x95\x5F<\x81\x40\r\n\x81\x5C";
    EXPECT_EQ(Write(), Golden("card_gbk_trail.xml"));
}

TEST_F(CardTest, FailedLocalTimeWritesMinusOnes) {
    SetLocalTimeSource([](LocalTime&) { return false; });
    rs.card.content = "x";
    EXPECT_EQ(Write(), Golden("card_no_clock.xml"));
    EXPECT_EQ(CurrentStamp(), "-1--1--1 -1:-1");
}

TEST_F(CardTest, RoundTripKeepsEveryReadField) {
    rs.card.content = Gbk("第一段") + "\r\n\r\nthird & <last>\r\n";
    rs.card.title = "a<b";
    std::string text = Write();

    XmlRecordSet back;
    ASSERT_TRUE(Read(text, back));
    EXPECT_EQ(back.card.title, "a<b");
    EXPECT_EQ(back.card.klass, rs.card.klass);
    EXPECT_EQ(back.card.founddate, "2003-2-5 9:7");
    EXPECT_EQ(back.card.modifieddate, "2003-2-5 9:7");
    EXPECT_EQ(back.card.source, rs.card.source);
    EXPECT_EQ(back.card.keyword, rs.card.keyword);
    EXPECT_EQ(back.card.href, rs.card.href);
    EXPECT_EQ(back.card.content, Gbk("第一段") + "\r\n\r\nthird \xA1\xEA \xA1\xDAlast\xA1\xDB\r\n");
    EXPECT_EQ(back.card.dtdPath, "old");  // never read

    // Saved again later: the creation stamp read back stays, the modification stamp moves on.
    SetLocalTimeSource([](LocalTime& t) {
        t = {2010, 11, 30, 23, 5};
        return true;
    });
    back.card.dtdPath = rs.card.dtdPath;
    XmlRecordSet again;
    plat::StringSink sink;
    ASSERT_TRUE(back.WriteCard(sink));
    ASSERT_TRUE(Read(sink.data, again));
    EXPECT_EQ(again.card.founddate, "2003-2-5 9:7");
    EXPECT_EQ(again.card.modifieddate, "2010-11-30 23:5");
}

TEST_F(CardTest, LoneLineBreaksBecomeParagraphBreaks) {
    rs.card.content = "a\nb\rc\r\n\nd";
    std::string lone = Write();
    rs.card.content = "a\r\nb\r\nc\r\n\r\nd";
    EXPECT_EQ(lone, Write());
    XmlRecordSet back;
    ASSERT_TRUE(Read(lone, back));
    EXPECT_EQ(back.card.content, "a\r\nb\r\nc\r\n\r\nd");
}

TEST_F(CardTest, ReadsLfOnlyFilesAndIgnoresIndentation) {
    std::string text = plat::ReplaceAll(Golden("card_three_paragraphs.xml"), "\r\n", "\n");
    text = plat::ReplaceAll(text, "\t<title>", "    <title>");
    XmlRecordSet back;
    ASSERT_TRUE(Read(text, back));
    EXPECT_EQ(back.card.content, Gbk("第一段") + "\r\nsecond paragraph\r\n" + Gbk("第三段"));
    EXPECT_EQ(back.card.founddate, "2001-12-31 23:59");
}

// Replaces line `n` (1-based) of the card text.
std::string WithLine(const std::string& text, int n, const std::string& replacement, bool remove = false) {
    std::string out;
    std::size_t pos = 0;
    for (int i = 1; pos <= text.size(); ++i) {
        std::size_t end = text.find("\r\n", pos);
        std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (i != n) {
            out += line + "\r\n";
        } else if (!remove) {
            out += replacement + "\r\n";
        }
        if (end == std::string::npos) break;
        pos = end + 2;
    }
    return out;
}

TEST_F(CardTest, FailedReadKeepsWhatItHadSet) {
    const std::string good = Golden("card_one_paragraph.xml");
    XmlRecordSet r;

    // founddate missing: href, title, class are new; the rest keep their values.
    EXPECT_FALSE(Read(WithLine(good, 9, "\t<founddate>2003-2-5 9:7"), r));
    EXPECT_EQ(r.card.href, rs.card.href);
    EXPECT_EQ(r.card.title, rs.card.title);
    EXPECT_EQ(r.card.klass, rs.card.klass);
    EXPECT_EQ(r.card.founddate, "old");
    EXPECT_EQ(r.card.modifieddate, "old");
    EXPECT_EQ(r.card.keyword, "old");
    EXPECT_EQ(r.card.content, "old");

    // Declaration and DOCTYPE on one line: everything moves up, line 04 is the empty line and line 07 is
    // not the title.
    std::string joined = good;
    joined.erase(joined.find("\r\n"), 2);
    EXPECT_FALSE(Read(joined, r));
    EXPECT_EQ(r.card.href, "");
    EXPECT_EQ(r.card.title, "old");

    // The line after keyword is not <content>: the head was read, the body was not.
    EXPECT_FALSE(Read(WithLine(good, 13, "\t<contents/>"), r));
    EXPECT_EQ(r.card.keyword, rs.card.keyword);
    EXPECT_EQ(r.card.content, "old");
    {
        plat::LineReader reader = plat::LineReader::FromString(WithLine(good, 13, "", true));
        EXPECT_TRUE(r.ReadCardHead(reader));
    }

    // A file that stops early fails at the first missing line.
    EXPECT_FALSE(Read(good.substr(0, good.find("\t<class>")), r));
    EXPECT_EQ(r.card.title, rs.card.title);
    EXPECT_EQ(r.card.klass, "old");
}

TEST_F(CardTest, OddButReadableCards) {
    const std::string good = Golden("card_one_paragraph.xml");
    XmlRecordSet r;

    EXPECT_TRUE(Read(WithLine(good, 4, "<?xml-stylesheet type=\"text/xsl\"?>"), r));
    EXPECT_EQ(r.card.href, "");

    // <content> followed directly by </content>: an empty body; lines after the failing one are not read.
    EXPECT_TRUE(Read(WithLine(WithLine(good, 14, "", true), 17, "garbage"), r));
    EXPECT_EQ(r.card.content, "");

    // ReadCardPart consumes its line either way and holds only the last paragraph.
    plat::LineReader reader =
        plat::LineReader::FromString("\t\t<part>one</part>\nnot a part\n\t\t<part>two</part>");
    EXPECT_TRUE(r.ReadCardPart(reader));
    EXPECT_EQ(r.card.content, "one");
    EXPECT_FALSE(r.ReadCardPart(reader));
    EXPECT_TRUE(r.ReadCardPart(reader));
    EXPECT_EQ(r.card.content, "two");
}

struct FailingSink : plat::Sink {
    bool Write(std::string_view) override { return false; }
};

TEST_F(CardTest, FailedSinkReportsFalse) {
    FailingSink sink;
    EXPECT_FALSE(rs.WriteCard(sink));
}

}  // namespace
