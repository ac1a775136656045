// A card as a Markdown note: what a notes program would take for markup or fold away comes back as it was.
#include <gtest/gtest.h>

#include "export/front_matter.h"
#include "export/note_text.h"

using notes::Note;

namespace {

Note Card(const std::string& body, const std::string& title = "题目") {
    Note n;
    n.title = title;
    n.keyword = "甲, 乙；丙";
    n.klass = "历史\\近代";
    n.source = "书";
    n.stylesheet = "simple.xsl";
    n.created = "2003-2-5 9:7";
    n.modified = "2024-12-31 23:59";
    n.body = body;
    return n;
}

}  // namespace

// Every field and every paragraph survives the trip, whatever characters it holds.
TEST(NoteText, EveryFieldComesBackFromItsMarkdown) {
    const struct {
        const char* what;
        std::string title, body;
    } cases[] = {
        {"plain paragraphs", "题目", "第一段\r\n第二段\r\n第三段"},
        {"empty paragraphs anywhere", "t", "\r\n中间\r\n\r\n\r\n"},
        {"one empty paragraph", "t", ""},
        {"runs of blanks and blanks at the ends", "t", "  两个在前  两个在中  \r\n \r\n   "},
        {"markup characters", "t", "*粗* _斜_ `码` [链](x) <b>&amp; # 标签 | 表 ~删~ %%注%% ==亮== $式$ \\"},
        {"line starts a list, a rule or a heading would take", "t", "- 项\r\n+ 项\r\n1. 项\r\n2) 项\r\n---\r\n# 题\r\n> 引"},
        {"what the writer itself uses, typed by the user", "t", "<br>\r\n&nbsp;\r\n&#9;\r\n\\&"},
        {"tabs and a lone CR inside a paragraph", "t", "\t缩进\r\na\rb"},
        {"a title of quotes, backslashes and a colon", "a \"b\" \\c: d #e", "x"},
        {"a title that looks like YAML", "- [1, 2]", "x"},
    };
    for (const auto& c : cases) {
        const Note in = Card(c.body, c.title);
        const Note out = notes::ReadMarkdown(notes::WriteMarkdown(in));
        EXPECT_EQ(out.body, in.body) << c.what << "\n" << notes::WriteMarkdown(in);
        EXPECT_EQ(out.title, in.title) << c.what;
        EXPECT_TRUE(out.hasTitle && out.hasKeyword && out.hasClass && out.hasSource && out.hasStylesheet &&
                    out.hasCreated && out.hasModified)
            << c.what;
        EXPECT_EQ(out.keyword, in.keyword);
        EXPECT_EQ(out.klass, in.klass);
        EXPECT_EQ(out.source, in.source);
        EXPECT_EQ(out.stylesheet, in.stylesheet);
        EXPECT_EQ(notes::IsoToStamp(out.created), in.created);
        EXPECT_EQ(notes::IsoToStamp(out.modified), in.modified);
        EXPECT_EQ(out.tags, (std::vector<std::string>{"甲", "乙", "丙"}));
    }
}

// What a notes program shows: the front matter's keys, and paragraphs with their markup escaped.
TEST(NoteText, WritesFrontMatterAndEscapedParagraphs) {
    EXPECT_EQ(notes::WriteMarkdown(Card("a  b *c*\r\n\r\n1. x")),
              "---\n"
              "title: \"题目\"\n"
              "keywords: \"甲, 乙；丙\"\n"
              "tags:\n  - \"甲\"\n  - \"乙\"\n  - \"丙\"\n"
              "class: \"历史\\\\近代\"\n"
              "source: \"书\"\n"
              "stylesheet: \"simple.xsl\"\n"
              "created: 2003-02-05T09:07:00\n"
              "modified: 2024-12-31T23:59:00\n"
              "---\n"
              "a &nbsp;b \\*c\\*\n\n<br>\n\n1\\. x\n");
    Note odd = Card("x");
    odd.keyword.clear();
    odd.created = "2003-02-05 09:07";  // not the writer's form: kept as text
    odd.modified.clear();
    const std::string md = notes::WriteMarkdown(odd);
    EXPECT_NE(md.find("tags: []\n"), std::string::npos) << md;
    EXPECT_NE(md.find("created: \"2003-02-05 09:07\"\nmodified: \"\"\n"), std::string::npos) << md;
    const Note back = notes::ReadMarkdown(md);
    EXPECT_EQ(back.created, "2003-02-05 09:07");
    EXPECT_EQ(back.modified, "");
}

// Notes written by other programs: plain and quoted values, flow and block lists, a heading for a title.
TEST(NoteText, ReadsNotesOfOtherPrograms) {
    const struct {
        const char* text;
        std::string title, keyword, body;
        std::vector<std::string> tags;
        bool hasTitle;
    } cases[] = {
        {"# 标题 #\n\n正文一\n正文二\n", "标题", "", "正文一\r\n正文二", {}, true},
        {"前言\n\n## 小节\n内容\n", "小节", "", "前言\r\n## 小节\r\n内容", {}, true},
        {"---\ntitle: 平常 # 注释\ntags: [a, 'b c', \"d\"]\n---\n# 不是标题\n", "平常", "", "# 不是标题", {"a", "b c", "d"}, true},
        {"---\ntitle: 'it''s'\nkeywords: k\ntags:\n- x\n-   y\n...\n正文", "it's", "k", "正文", {"x", "y"}, true},
        {"---\ntitle: \"\\u4E2D\\x41\\t\\\"\"\n---\n", "中A\t\"", "", "", {}, true},
        {"---\ntitle: 没有结尾\n正文\n", "", "", "---\r\ntitle: 没有结尾\r\n正文", {}, false},
        {"\xE6\xAD\xA3\xE6\x96\x87 \\\n", "", "", "正文 \\", {}, false},
    };
    for (const auto& c : cases) {
        const Note n = notes::ReadMarkdown(c.text);
        EXPECT_EQ(n.title, c.title) << c.text;
        EXPECT_EQ(n.hasTitle, c.hasTitle) << c.text;
        EXPECT_EQ(n.keyword, c.keyword) << c.text;
        EXPECT_EQ(n.body, c.body) << c.text;
        EXPECT_EQ(n.tags, c.tags) << c.text;
    }
    // A text file keeps every line as it stands, blank ones too; markup means nothing there.
    EXPECT_EQ(notes::ReadPlainText("一\r\n\r\n*二*  \n").body, "一\r\n\r\n*二*  ");
    EXPECT_FALSE(notes::ReadPlainText("# 一\n").hasTitle);
}

TEST(NoteText, StampsAsIso8601) {
    const struct {
        const char* stamp;
        const char* iso;
    } cases[] = {{"2003-2-5 9:7", "2003-02-05T09:07:00"},
                 {"1999-12-31 0:0", "1999-12-31T00:00:00"},
                 {"2003-02-05 9:7", ""},  // leading zeros: another program's text
                 {"-1--1--1 -1:-1", ""},  // the writer's stamp without a clock
                 {"2003-13-5 9:7", ""},
                 {"", ""}};
    for (const auto& c : cases) EXPECT_EQ(notes::StampToIso(c.stamp), c.iso) << c.stamp;
    const struct {
        const char* iso;
        const char* stamp;
    } back[] = {{"2003-02-05T09:07:00", "2003-2-5 9:7"}, {"2003-02-05 09:07", "2003-2-5 9:7"},
                {"2003-02-05T09:07:59.5+08:00", "2003-2-5 9:7"}, {"2003-02-05", "2003-2-5 0:0"},
                {"2003-2-5", ""}, {"昨天", ""}, {"2003-02-05T25:00", ""}};
    for (const auto& c : back) EXPECT_EQ(notes::IsoToStamp(c.iso), c.stamp) << c.iso;
}
