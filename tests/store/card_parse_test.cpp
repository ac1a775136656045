// Cards and link lists as XML: every character stored and read back, any well-formed layout opens, what the
// fields cannot hold is named, and the tools people use read what the program writes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/codec.h"
#include "platform/text.h"
#include "store/xml_record_set.h"
#include "support/cards.h"
#include "support/temp_dir.h"

using plat::Gbk;

namespace {

struct Read { bool ok; XmlRecordSet rs; };
Read ReadText(const std::string& text) {
    Read r{false, {}};
    plat::LineReader reader = plat::LineReader::FromString(text);
    return r.ok = r.rs.ReadCard(reader), r;
}

// Every byte of the file is ASCII or a two-byte EUC-CN code, as encoding="gb2312" declares.
bool IsGb2312Bytes(const std::string& s) {
    for (std::size_t i = 0; i < s.size(); i += static_cast<unsigned char>(s[i]) < 0x80 ? 1 : 2)
        if (const auto c = static_cast<unsigned char>(s[i]); c >= 0x80 && (c < 0xA1 || c > 0xF7 || i + 1 >= s.size() ||
                                                                           static_cast<unsigned char>(s[i + 1]) < 0xA1))
            return false;
    return true;
}

// Real text of every kind: markup signs, GBK-only and traditional characters, a GB2312 sign GBK reads
// otherwise (U+30FB), GBK's own U+2015, the middle dot, an emoji beyond the BMP, old look-alike signs.
const char* const kHard[] = {"R&D <草稿> a<b && b>c", "關於", "咏怀古迹・其一", "―破折号", "中·点", "笔记😀",
                             "≮≯￡ stay", "&amp; as typed", "]]> x"};

DatumCard HardCard(const std::string& text) {
    return {text, text, "", "", text, text, text + "\r\n" + text, "s.xsl", "d.dtd"};
}

TEST(CardXml, StoresEveryCharacterAsGb2312BytesAndReadsItBack) {
    FixedClock clock;
    for (const char* utf8 : kHard) {
        std::string text;
        ASSERT_TRUE(plat::TryUtf8ToGbk(utf8, text));
        const std::string bytes = CardBytes(HardCard(text));
        EXPECT_TRUE(IsGb2312Bytes(bytes)) << utf8;
        Read back = ReadText(bytes);
        ASSERT_TRUE(back.ok) << utf8 << ": " << back.rs.readError;
        const DatumCard& c = back.rs.card;
        EXPECT_EQ(c.title + "|" + c.klass + "|" + c.source + "|" + c.keyword + "|" + c.content + "|" + c.href,
                  text + "|" + text + "|" + text + "|" + text + "|" + text + "\r\n" + text + "|s.xsl") << utf8;
        EXPECT_TRUE(back.rs.unshown.empty()) << utf8;
    }
    const std::string bytes = CardBytes(HardCard(Gbk("關・😀")));
    EXPECT_NE(bytes.find("<title>&#x95DC;&#x30FB;&#x1F600;</title>"), std::string::npos);
}

TEST(CardXml, OpensAnyWellFormedLayoutAndRefusesWhatIsNotXmlByLine) {
    const std::string body = Gbk("正文");
    const struct { const char* what; std::string text, title, content, href; } opens[] = {
        {"one line, single quotes, no comment",
         "<?xml version='1.0' encoding='gb2312'?><?xml-stylesheet href='x.xsl' type='text/xsl'?><datum><title>T</title>"
         "<content><part>" + body + "</part></content></datum>", "T", body, "x.xsl"},
        {"other order, LF, comments, CDATA, no stylesheet",
         "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<datum>\n  <content>\n    <part>a &lt; b</part>\n"
         "    <part><![CDATA[<c> & d]]></part>\n  </content>\n  <keyword>k</keyword>\n  <title>T2</title>\n</datum>\n",
         "T2", "a < b\r\n<c> & d", ""},
        {"UTF-8 without a declaration, a title over lines", "<datum><title>\n  \xE9\x97\x9C\n  x\n</title></datum>",
         Gbk("關 x"), "", ""},
        {"an old card's GBK bytes under gb2312", "<?xml version=\"1.0\" encoding=\"gb2312\"?><datum><title>\xEA\x50</title></datum>",
         "\xEA\x50", "", ""},
        {"written before fields were escaped: its look-alike signs stay",
         plat::ReplaceAll(plat::ReplaceAll(plat::ReplaceAll(Golden("card_escapes.xml"), "a&lt;b &amp; c&gt;d", "a<b & c>d"), "&lt;part&gt;", "\xA1\xDA"),
                          "1 &lt; 2", "1 \xA1\xDA 2"),
         "a<b & c>d", "1 \xA1\xDA 2 &gt; 0 &amp;&amp; x\r\n\xA1\xDA", "xmlstyle\\datumstyle\\" + Gbk("经典") + ".xsl"},
    };
    for (const auto& r : opens) {
        Read back = ReadText(r.text);
        ASSERT_TRUE(back.ok) << r.what << ": " << back.rs.readError;
        EXPECT_EQ(back.rs.card.title + "|" + back.rs.card.content + "|" + back.rs.card.href,
                  r.title + "|" + r.content + "|" + r.href) << r.what;
    }
    const struct { std::string text; const char* line; } refused[] = {
        {"<?xml version=\"1.0\"?>\n<datum>\n<title>a</titel>\n</datum>", "\xB5\xDA 3 \xD0\xD0"},
        {"<?xml version=\"1.0\" encoding=\"gb2312\"?>\n\n<datum><title>\xFF</title></datum>", "\xB5\xDA 3 \xD0\xD0"},
        {"<?xml version=\"1.0\"?>\n<lineindex/>", "<datum>"},

        {std::string(), "\xB5\xDA 1 \xD0\xD0"},
    };
    for (const auto& r : refused) {
        Read back = ReadText(r.text);
        EXPECT_FALSE(back.ok) << r.text;
        EXPECT_NE(back.rs.readError.find(r.line), std::string::npos) << back.rs.readError;
    }
}

TEST(CardXml, NamesWhatTheFieldsDoNotShow) {
    const std::string head = "<?xml version=\"1.0\"?><datum>";
    const struct { std::string inner; std::size_t count; } rows[] = {
        {"<title>T</title><content><part>p</part></content><correlativelink>\n</correlativelink>", 0},
        {"<title>T</title><note>x</note>", 1},
        {"<!-- mine --><title lang=\"zh\">T</title>", 2},
        {"<title>T</title><content><part>a<b>bold</b></part>loose</content>", 2},
        {"<title>T</title><correlativelink><link href=\"u\">x</link></correlativelink>", 1},
        // A file outside the card is never read into it.
        {"<title>T</title><keyword>&x;</keyword>", 2},
    };
    for (const auto& r : rows) {
        Read back = ReadText((r.inner.find("&x;") != std::string::npos
                                  ? "<!DOCTYPE datum [<!ENTITY x SYSTEM \"file:///etc/hostname\">]><datum>"
                                  : head) + r.inner + "</datum>");
        ASSERT_TRUE(back.ok) << r.inner;
        EXPECT_EQ(back.rs.unshown.size(), r.count) << r.inner;
        EXPECT_EQ(back.rs.card.title + back.rs.card.keyword, "T");
    }
}

// (Every character in a link list: the line index test, and the tools' test below.) A list written before its
// fields were escaped, with a raw '&' in a name, is no XML: it reads by its lines as before.
TEST(LineIndexXml, ReadsOldListsToo) {
    XmlRecordSet rs;
    auto reader = plat::LineReader::FromString(plat::ReplaceAll(Golden("lineindex_three_links.xml"), "a&lt;b &amp; c", "a<b & c"));
    ASSERT_TRUE(rs.ReadLineIndexHead(reader) && rs.ReadLineIndexLink(reader) && rs.ReadLineIndexLink(reader));
    EXPECT_EQ(rs.link.name, "a<b & c");
}

bool Have(const std::string& probe) { return std::system((probe + " >/dev/null 2>&1").c_str()) == 0; }

// xmllint (libxml2's strict GB2312 decoder) and Python's xml.etree over its strict gb2312 codec read every
// written file into the same fields; cards written by Python and by an XSLT stylesheet in xsltproc open.
// Each part is skipped where its tool is not installed.
TEST(CardXml, TheToolsPeopleUseReadWhatIsWrittenAndWriteWhatOpens) {
    FixedClock clock;
    TempProgramDir dir;
    const std::string d = dir.Native() + "/";
    std::string want, files;
    std::vector<LineIndexLink> links;
    for (std::size_t i = 0; i < std::size(kHard); ++i) {
        std::string t;
        ASSERT_TRUE(plat::TryUtf8ToGbk(kHard[i], t));
        dir.WriteFile("c" + std::to_string(i), CardBytes(HardCard(t)));
        files += " " + d + "c" + std::to_string(i);
        want += std::string(kHard[i]) + "|" + kHard[i] + "|" + kHard[i] + "\n";
        links.push_back({t, "u", t, "d", t, t});
    }
    dir.WriteFile("list", LinkListBytes("t", "k", links));
    files += " " + d + "list";
    if (Have("xmllint --version"))
        EXPECT_EQ(std::system(("xmllint --noout" + files + " 2>" + d + "lint").c_str()), 0) << dir.ReadFile("lint");
    const std::string title = "R&D <草稿> 關😀";
    std::vector<std::string> written;
    if (Have("python3 -c 'import xml.etree'")) {
        dir.WriteFile("rw.py",
                      "import sys, xml.etree.ElementTree as ET\n"
                      "for f in sys.argv[1:]:\n"
                      "  r = ET.fromstring(open(f, 'rb').read().decode('gb2312'))\n"
                      "  if r.tag == 'datum': print(r.findtext('title') + '|' + r.findtext('keyword') + '|' + r.find('content')[1].text)\n"
                      "  for l in r.findall('link'): print(l.findtext('name') + '|' + l.findtext('class') + '|' + l.findtext('source'))\n"
                      "d = ET.Element('datum')\n"
                      "ET.SubElement(d, 'title').text = '" + title + "'\n"
                      "c = ET.SubElement(d, 'content')\n"
                      "for p in ('a < b', d[0].text): ET.SubElement(c, 'part').text = p\n"
                      "ET.ElementTree(d).write('" + d + "py.xml', encoding='gb2312', xml_declaration=True)\n");
        EXPECT_EQ(std::system(("python3 " + d + "rw.py" + files + " >" + d + "out 2>&1").c_str()), 0) << dir.ReadFile("out");
        EXPECT_EQ(dir.ReadFile("out"), want + want);
        written.push_back("py.xml");
    }
    if (Have("xsltproc --version")) {
        dir.WriteFile("in.xml", "<note><t>" + plat::ReplaceAll(plat::ReplaceAll(title, "&", "&amp;"), "<", "&lt;") + "</t></note>");
        dir.WriteFile("card.xsl",
                      "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                      "<xsl:output method=\"xml\" encoding=\"gb2312\" indent=\"yes\"/><xsl:template match=\"/note\">"
                      "<xsl:processing-instruction name=\"xml-stylesheet\">type=\"text/xsl\" href=\"s.xsl\"</xsl:processing-instruction>"
                      "<datum><title><xsl:value-of select=\"t\"/></title><content><part>a &lt; b</part><part>"
                      "<xsl:value-of select=\"t\"/></part></content></datum></xsl:template></xsl:stylesheet>");
        ASSERT_EQ(std::system(("xsltproc -o " + d + "xslt.xml " + d + "card.xsl " + d + "in.xml").c_str()), 0);
        written.push_back("xslt.xml");
    }
    std::string gbk;
    ASSERT_TRUE(plat::TryUtf8ToGbk(title, gbk));
    for (const std::string& f : written) {
        Read back = ReadText(dir.ReadFile(f));
        ASSERT_TRUE(back.ok) << f << ": " << back.rs.readError;
        EXPECT_EQ(back.rs.card.title + "|" + back.rs.card.content, gbk + "|a < b\r\n" + gbk) << f;
        EXPECT_TRUE(back.rs.unshown.empty()) << f << ": " << back.rs.UnshownSummary();
    }
}

}  // namespace
