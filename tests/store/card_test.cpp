#include <algorithm>

#include <gtest/gtest.h>

#include "platform/codec.h"
#include "platform/text.h"
#include "store/xml_record_set.h"
#include "support/temp_dir.h"

using plat::Gbk;

namespace {

void Clock(int y, int mo, int d, int h, int mi) {
    static LocalTime at;
    at = {y, mo, d, h, mi};
    SetLocalTimeSource([](LocalTime& t) { return t = at, true; });
}

// Every card is saved at 9:07 on 5 February 2003 unless a test says otherwise.
class CardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Clock(2003, 2, 5, 9, 7);
        rs.card.dtdPath = "\\home\\user\\korvane\\xmlstyle\\qvrt_xml_1.0\\02_2003_datum01.dtd";
        rs.card.href = "xmlstyle\\datumstyle\\" + Gbk("经典") + ".xsl";
        rs.card.title = Gbk("读书笔记");
        rs.card.klass = Gbk("文学\\诗歌");
        rs.card.source = Gbk("人民日报");
        rs.card.keyword = Gbk("诗;唐代");
    }
    void TearDown() override { SetLocalTimeSource(nullptr); }
    std::string Write(XmlRecordSet& from) {
        plat::StringSink sink;
        EXPECT_TRUE(from.WriteCard(sink));
        return sink.data;
    }
    std::string Write() { return Write(rs); }
    // Reads into a record whose fields all hold "old", so a test sees which ones a read set.
    bool Read(const std::string& text) {
        back.card = {"old", "old", "old", "old", "old", "old", "old", "old", "old"};
        plat::LineReader reader = plat::LineReader::FromString(text);
        return back.ReadCard(reader);
    }
    XmlRecordSet rs, back;
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
    SetUp();
    // Only the body is escaped, character-aware: trail bytes like '\', '_', '@' are half a character.
    rs.card.title = "a<b & c>d";
    rs.card.content = "1 < 2 > 0 && x\r\n<part>";
    EXPECT_EQ(Write(), Golden("card_escapes.xml"));
    rs.card.title = "\x81\x5C\x81\x5F";
    rs.card.content = "\x81\x5C\x95\x5F<\x81\x40\r\n\x81\x5C";
    EXPECT_EQ(Write(), Golden("card_gbk_trail.xml"));
    // Lone line breaks become paragraph breaks.
    rs.card.content = "a\nb\rc\r\n\nd";
    const std::string lone = Write();
    rs.card.content = "a\r\nb\r\nc\r\n\r\nd";
    EXPECT_EQ(lone, Write());
}

TEST_F(CardTest, FailedClockAndFailedSink) {
    SetLocalTimeSource([](LocalTime&) { return false; });
    rs.card.content = "x";
    EXPECT_EQ(Write(), Golden("card_no_clock.xml"));
    EXPECT_EQ(CurrentStamp(), "-1--1--1 -1:-1");
    struct FailingSink : plat::Sink {
        bool Write(std::string_view) override { return false; }
    } sink;
    EXPECT_FALSE(rs.WriteCard(sink));
}

TEST_F(CardTest, RoundTripKeepsEveryReadField) {
    rs.card.content = Gbk("第一段") + "\r\n\r\nthird & <last>\r\n";
    rs.card.title = "a<b";
    ASSERT_TRUE(Read(Write()));
    const DatumCard& c = back.card;
    EXPECT_EQ(std::vector<std::string>({c.title, c.klass, c.founddate, c.modifieddate, c.source, c.keyword, c.href}),
              std::vector<std::string>({"a<b", rs.card.klass, "2003-2-5 9:7", "2003-2-5 9:7", rs.card.source,
                                        rs.card.keyword, rs.card.href}));
    EXPECT_EQ(c.content, Gbk("第一段") + "\r\n\r\nthird \xA1\xEA \xA1\xDAlast\xA1\xDB\r\n");
    EXPECT_EQ(c.dtdPath, "old");  // never read

    // Saved again later: the creation stamp stays, the modification stamp moves on.
    Clock(2010, 11, 30, 23, 5);
    XmlRecordSet again = back;
    again.card.dtdPath = rs.card.dtdPath;
    ASSERT_TRUE(Read(Write(again)));
    EXPECT_EQ(back.card.founddate, "2003-2-5 9:7");
    EXPECT_EQ(back.card.modifieddate, "2010-11-30 23:5");

    // LF-only files with other indentation read the same.
    std::string lf = plat::ReplaceAll(Golden("card_three_paragraphs.xml"), "\r\n", "\n");
    ASSERT_TRUE(Read(plat::ReplaceAll(lf, "\t<title>", "    <title>")));
    EXPECT_EQ(back.card.content, Gbk("第一段") + "\r\nsecond paragraph\r\n" + Gbk("第三段"));
    EXPECT_EQ(back.card.founddate, "2001-12-31 23:59");
}

// Replaces (or removes) line `n` (1-based) of a CR LF text.
std::string WithLine(const std::string& text, int n, const std::string& repl, bool remove = false) {
    std::string out;
    std::size_t pos = 0;
    for (int i = 1; pos <= text.size(); ++i) {
        const std::size_t end = text.find("\r\n", pos);
        if (i != n) out += text.substr(pos, end == std::string::npos ? end : end - pos) + "\r\n";
        else if (!remove) out += repl + "\r\n";
        if (end == std::string::npos) break;
        pos = end + 2;
    }
    return out;
}

TEST_F(CardTest, FailedReadKeepsWhatItHadSet) {
    const std::string good = Golden("card_one_paragraph.xml");
    // founddate damaged: href, title, class are new; the rest keep their values.
    EXPECT_FALSE(Read(WithLine(good, 9, "\t<founddate>2003-2-5 9:7")));
    EXPECT_EQ(back.card.href + back.card.title + back.card.klass, rs.card.href + rs.card.title + rs.card.klass);
    EXPECT_EQ(back.card.founddate + back.card.modifieddate + back.card.keyword + back.card.content, "oldoldoldold");
    // Declaration and DOCTYPE on one line: line 04 is the empty line and line 07 is not the title.
    std::string joined = good;
    joined.erase(joined.find("\r\n"), 2);
    EXPECT_FALSE(Read(joined));
    EXPECT_EQ(back.card.href, "");
    EXPECT_EQ(back.card.title, "old");
    // The line after keyword is not <content>: the head was read, the body was not.
    EXPECT_FALSE(Read(WithLine(good, 13, "\t<contents/>")));
    EXPECT_EQ(back.card.keyword, rs.card.keyword);
    EXPECT_EQ(back.card.content, "old");
    plat::LineReader head = plat::LineReader::FromString(WithLine(good, 13, "", true));
    EXPECT_TRUE(back.ReadCardHead(head));
    // A file that stops early fails at the first missing line.
    EXPECT_FALSE(Read(good.substr(0, good.find("\t<class>"))));
    EXPECT_EQ(back.card.title, rs.card.title);
    EXPECT_EQ(back.card.klass, "old");
}

TEST_F(CardTest, OddButReadableCards) {
    const std::string good = Golden("card_one_paragraph.xml");
    EXPECT_TRUE(Read(WithLine(good, 4, "<?xml-stylesheet type=\"text/xsl\"?>")));
    EXPECT_EQ(back.card.href, "");
    // <content> directly followed by </content>: an empty body; later lines are not read.
    EXPECT_TRUE(Read(WithLine(WithLine(good, 14, "", true), 17, "garbage")));
    EXPECT_EQ(back.card.content, "");
    // ReadCardPart consumes its line either way and holds only the last paragraph.
    plat::LineReader r = plat::LineReader::FromString("\t\t<part>one</part>\nnot a part\n\t\t<part>two</part>");
    EXPECT_TRUE(back.ReadCardPart(r));
    EXPECT_EQ(back.card.content, "one");
    EXPECT_FALSE(back.ReadCardPart(r));
    EXPECT_TRUE(back.ReadCardPart(r));
    EXPECT_EQ(back.card.content, "two");
}

}  // namespace

// The body writer skips long runs of Chinese text eight bytes at a time; the signs it acts on must be found
// at every offset within such a run, and a '\' or '@' trail byte must never be taken for one of them.
TEST_F(CardTest, BodySignsAreFoundAtEveryOffsetOfLongChineseRuns) {
    const std::string han = Gbk("汉字乗"), sep = "</part>\r\n\t\t<part>";  // 乗 = 0x81 0x5C
    const struct {
        std::string sign, written;
    } signs[] = {{"<", "\xA1\xDA"}, {">", "\xA1\xDB"}, {"&", "\xA1\xEA"}, {"\r\n", sep}, {"\r", sep}, {"\n", sep}};
    std::string body, want;
    for (int run = 1; run < 20; ++run) {  // at least one character between signs: "\r" "\n" would be one break
        for (const auto& s : signs) {
            for (int k = 0; k < run; ++k) {  // pieces of 2, 4, 6 and 1 bytes: the sign lands at every offset
                const std::string piece = k % 4 == 3 ? std::string("x") : han.substr(0, 2 * (k % 4 + 1));
                body += piece;
                want += piece;
            }
            body += s.sign;
            want += s.written;
        }
    }
    rs.card.content = body;
    const std::string card = Write();
    const std::size_t start = card.find("<part>") + 6, end = card.rfind("</part>");
    ASSERT_LT(start, end);
    EXPECT_TRUE(card.compare(start, end - start, want) == 0);  // not EXPECT_EQ: a long diff helps nobody
    ASSERT_TRUE(Read(card));
    EXPECT_EQ(std::count(back.card.content.begin(), back.card.content.end(), '\n'),
              std::count(want.begin(), want.end(), '\n'));
}
