// Cards rendered with their stylesheets: what the page shows, which stylesheet is used, what a stylesheet may
// not do, and how the view and the list's Open hand the page over.
#include <gtest/gtest.h>

#include <QPushButton>
#include <filesystem>
#include <fstream>

#include "support/cards.h"
#include "app/main_fixture.h"
#include "platform/path.h"
#include "render/card_render.h"
#include "render/card_view.h"
#include "render/view_cache.h"

namespace fs = std::filesystem;
using plat::Gbk;

namespace {

std::string Card(const std::string& title, const std::string& href, const std::string& body = "第一段\r\n第二段") {
    return CardBytes({Gbk(title), Gbk("读书笔记"), "2024-3-5 9:7", "", Gbk("书籍"), Gbk("论语;孔子"), Gbk(body), href, ""});
}

// A stylesheet that shows the title and paragraphs after `mark`, with `extra` inside its template.
std::string Style(const std::string& mark, const std::string& extra = "", const std::string& prolog = "") {
    return "<?xml version=\"1.0\" encoding=\"gb2312\"?>" + prolog +
           "<xsl:stylesheet version=\"1.1\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
           "<xsl:output method=\"html\" encoding=\"gb2312\"/><xsl:template match=\"/datum\"><html><body>" +
           mark + "|<h1><xsl:value-of select=\"title\"/></h1>" + extra +
           "<xsl:for-each select=\"content/part\"><p><xsl:value-of select=\".\"/></p></xsl:for-each>"
           "</body></html></xsl:template></xsl:stylesheet>";
}

class RenderTest : public ::testing::Test {
protected:
    TempProgramDir dir;
    ScriptedServices svc;
    const std::string card = "lib\\k\\c.datum.xml";
    std::string oldCache = qEnvironmentVariable("XDG_CACHE_HOME").toStdString();

    void SetUp() override {
        qputenv("XDG_CACHE_HOME", (dir.Native() + "/cache").c_str());
        dir.WriteFile("xmlstyle/datumstyle/a.xsl", Style("STYLE-A"));
        dir.WriteFile("xmlstyle/datumstyle/b.xsl", Style("STYLE-B"));
        dir.WriteFile("lib/k/local.xsl", Style("STYLE-L"));
    }
    void TearDown() override { qputenv("XDG_CACHE_HOME", oldCache.c_str()); }
    std::string Rendered(const std::string& href, const std::string& selected = "") {
        dir.WriteFile("lib/k/c.datum.xml", Card("标题", href));
        render::Page page = render::RenderCard(card, selected);
        EXPECT_TRUE(page.ok) << plat::GbkToUtf8(page.error);
        return plat::GbkToUtf8(page.html);
    }
};

TEST_F(RenderTest, HrefIsTakenAsItsWriterMeantItElseTheSelectedOrFirstStyle) {
    const std::string b = dir.Native() + "/xmlstyle/datumstyle/b.xsl";
    const std::string selected = dir.Internal() + "\\xmlstyle\\datumstyle\\b.xsl";
    struct Case { std::string href, selected, mark; } cases[] = {
        {"local.xsl", "", "STYLE-L"},
        {"..\\..\\xmlstyle\\datumstyle\\b.xsl", "", "STYLE-B"},
        {"../../xmlstyle/datumstyle/b.xsl", "", "STYLE-B"},
        {dir.Internal() + "\\xmlstyle\\datumstyle\\b.xsl", "", "STYLE-B"},
        {"file://" + b, "", "STYLE-B"},
        {"", selected, "STYLE-B"},
        {"", "", "STYLE-A"},
        {"http://example.com/b.xsl", "", "STYLE-A"},
        {"D:\\styles\\b.xsl", selected, "STYLE-B"},
    };
    for (const Case& c : cases) EXPECT_NE(Rendered(c.href, c.selected).find(c.mark + "|"), std::string::npos) << c.href;
}

TEST_F(RenderTest, FailuresNameTheCardOrTheStylesheetWithTheFirstErrorLine) {
    dir.WriteFile("lib/k/broken.xsl", "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">");
    dir.WriteFile("lib/k/bad.xsl", Style("X", "<xsl:value-of select=\"title[\"/>"));
    dir.WriteFile("lib/k/stop.xsl", Style("X", "<xsl:message terminate=\"yes\">halt here</xsl:message>"));
    struct Case { std::string href, start, line; } cases[] = {
        {"broken.xsl", "风格文件 lib\\k\\broken.xsl 有错误, 不能使用:\r\n", "broken.xsl"},
        {"bad.xsl", "风格文件 lib\\k\\bad.xsl 有错误, 不能使用:\r\n", "Invalid expression"},
        {"stop.xsl", "用风格文件 lib\\k\\stop.xsl 显示资料卡时出错:\r\n", "halt here"},
        {"gone.xsl", "找不到风格文件 lib\\k\\gone.xsl", ""},
    };
    for (const Case& c : cases) {
        dir.WriteFile("lib/k/c.datum.xml", Card("标题", c.href));
        const std::string error = plat::GbkToUtf8(render::RenderCard(card, "").error);
        EXPECT_EQ(error.substr(0, c.start.size()), c.start) << error;
        EXPECT_NE(error.find(c.line), std::string::npos) << error;
        EXPECT_EQ(error.find('\n', c.start.size()), std::string::npos) << "only the first line: " << error;
    }
    dir.WriteFile("lib/k/c.datum.xml", "<datum><title>x</title></datum>");
    svc.ExpectBox("读取文件 lib\\k\\c.datum.xml 的XML数据时出错了!", "ERROR", 0x10);
    render::ShowCard(nullptr, card, "");
    EXPECT_TRUE(svc.shellOpens.empty());
    EXPECT_FALSE(fs::exists(render::ViewFolder()));
}

TEST_F(RenderTest, StylesheetReadsOnlyItsOwnFolderAndWritesNothing) {
    dir.WriteFile("secret.txt", "TOP-SECRET");
    dir.WriteFile("lib/k/near.xml", "<n>NEAR-DATA</n>");
    const std::string secret = dir.Native() + "/secret.txt";
    const std::string written = dir.Native() + "/lib/k/written.html";
    struct Case { std::string style; bool ok; } cases[] = {
        {Style("X", "<xsl:value-of select=\"document('near.xml')\"/>"), true},
        {Style("X", "<xsl:value-of select=\"document('" + secret + "')\"/>"), false},
        {Style("X", "<xsl:value-of select=\"document('../../secret.txt')\"/>"), false},
        {Style("X", "<xsl:value-of select=\"document('http://127.0.0.1:9/x.xml')\"/>"), false},
        {Style("X", "<xsl:document href=\"" + written + "\">W</xsl:document>"), false},
        {"<?xml version=\"1.0\"?><xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
         "<xsl:import href=\"../../secret.txt\"/></xsl:stylesheet>",
         false},
        {Style("X", "<p>&ext;</p>", "<!DOCTYPE xsl:stylesheet [<!ENTITY ext SYSTEM \"" + secret + "\">]>"), true},
    };
    for (const Case& c : cases) {
        dir.WriteFile("lib/k/hostile.xsl", c.style);
        dir.WriteFile("lib/k/c.datum.xml", Card("标题", "hostile.xsl"));
        render::Page page = render::RenderCard(card, "");
        EXPECT_EQ(page.ok, c.ok) << c.style << "\n" << plat::GbkToUtf8(page.error);
        EXPECT_EQ(page.html.find("NEAR-DATA") != std::string::npos, c.style.find("near.xml") != std::string::npos);
        EXPECT_EQ(page.html.find("TOP-SECRET"), std::string::npos) << c.style;
        EXPECT_FALSE(fs::exists(written)) << c.style;
    }
    // The card's own entities are never expanded: the reader takes the title as the text it is.
    std::string hostile = Card("&xxe;", "local.xsl");
    const std::size_t doctype = hostile.find("<!DOCTYPE");
    hostile.replace(doctype, hostile.find('\r', doctype) - doctype,
                    "<!DOCTYPE datum [<!ENTITY xxe SYSTEM \"" + secret + "\">]>");
    dir.WriteFile("lib/k/c.datum.xml", hostile);
    render::Page page = render::RenderCard(card, "");
    ASSERT_TRUE(page.ok);
    EXPECT_NE(page.html.find("&amp;xxe;"), std::string::npos);
    EXPECT_EQ(page.html.find("TOP-SECRET"), std::string::npos);
}

TEST_F(RenderTest, ViewOpensANewPageMaximisedAndKeepsOnlyTheNewestPages) {
    const fs::path folder = render::ViewFolder();
    fs::create_directories(folder);
    for (int i = 0; i < render::kKeptPages + 5; ++i) {
        const fs::path old = folder / ("card-" + std::to_string(1000 + i) + ".html");
        std::ofstream(old) << i;
        fs::last_write_time(old, fs::file_time_type::clock::now() - std::chrono::hours(100 - i));
    }
    std::ofstream(folder / "notes.txt") << "mine";
    dir.WriteFile("lib/k/c.datum.xml", Card("标题", "local.xsl"));
    render::ShowCard(nullptr, card, "");
    ASSERT_EQ(svc.shellOpens.size(), 1u);
    EXPECT_TRUE(svc.shellOpens[0].maximised);
    const std::string opened = plat::ToNative(svc.shellOpens[0].path);
    EXPECT_EQ(fs::path(opened).parent_path(), folder);
    EXPECT_NE(plat::GbkToUtf8(ReadNativeFile(opened)).find("STYLE-L|<h1>标题</h1>"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), render::kKeptPages + 1);  // and notes.txt
    EXPECT_FALSE(fs::exists(folder / "card-1005.html")) << "the oldest go";
    EXPECT_TRUE(fs::exists(folder / "notes.txt"));
}

// The shipped styles through the window's view: a card without a stylesheet in the style the box selects,
// every field as typed, and the card left alone.
TEST_F(RenderTest, WindowViewShowsEveryFieldAsTypedInTheSelectedShippedStyle) {
    dir.CopyShippedData();
    const std::string rel = "datum/示例/读书笔记/R&D.datum.xml";
    const std::string text = Card("R&D <草稿> 一", "", "甲 & 乙\r\n<丙>");
    dir.WriteFile(rel, text);
    CMainDlg w;
    w.Initialise();
    w.RunStartupLoad();
    w.m_current = w.m_first;
    while (w.m_current && plat::GbkToUtf8(w.m_current->label) != "R&D") w.m_current = w.m_current->next;
    ASSERT_NE(w.m_current, nullptr);
    for (const std::string style : {"simple", "report"}) {
        SCOPED_TRACE(style);
        w.m_cbStyle->setCurrentIndex(w.m_cbStyle->findText(QString::fromStdString(style)));
        w.ItemAs<QPushButton>(1021)->click();
        ASSERT_FALSE(svc.shellOpens.empty());
        const std::string html = plat::GbkToUtf8(ReadNativeFile(plat::ToNative(svc.shellOpens.back().path)));
        EXPECT_EQ(html.find("<table class=\"info\">") != std::string::npos, style == "report") << html;
        // The body's signs are the full-width ones the card writer stores.
        for (const char* field : {"R&amp;D &lt;草稿&gt; 一", "读书笔记", "书籍", "论语;孔子", "2024-3-5 9:7",
                                  "甲 ￡ 乙", "≮丙≯"})
            EXPECT_NE(html.find(field), std::string::npos) << field << " missing in\n" << html;
    }
    EXPECT_EQ(dir.ReadFile(rel), text);
}

}  // namespace
