// Cards rendered with their stylesheets: what the page shows, which stylesheet is used, what a stylesheet may
// not do, and how the view and the list's Open hand the page over.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <fstream>

#include "app/main_fixture.h"
#include "platform/path.h"
#include "render/card_render.h"
#include "render/view_cache.h"
#include "support/cards.h"
#include "ui/card_view.h"

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

// A program directory with styles a.xsl and b.xsl, and a stylesheet beside the cards of library folder lib.
class RenderTest : public MainWindowTest {
protected:
    const std::string card = "lib\\k\\c.datum.xml";
    std::string oldCache = qEnvironmentVariable("XDG_CACHE_HOME").toStdString();

    void SetUp() override {
        qputenv("XDG_CACHE_HOME", (dir.Native() + "/cache").c_str());
        dir.WriteFile("xmlstyle/datumstyle/a.xsl", Style("STYLE-A"));
        dir.WriteFile("xmlstyle/datumstyle/b.xsl", Style("STYLE-B"));
        dir.WriteFile("lib/k/local.xsl", Style("STYLE-L"));
    }
    void TearDown() override {
        dlg.reset();  // while its cache folder is still named
        qputenv("XDG_CACHE_HOME", oldCache.c_str());
    }
};

// Only the style folder's stylesheets are used for what a card names, found as a case-blind disk would;
// any other is replaced by the selected or first style, and the note says so. (Relative names with '/' are
// in every other test here; a card naming none: the command-line and window view tests.)
TEST_F(RenderTest, OnlyTheStyleFolderIsTrustedAndItsNamesAreFoundIgnoringCase) {
    const std::string b = dir.Native() + "/xmlstyle/datumstyle/b.xsl";
    const std::string selected = dir.Internal() + "\\xmlstyle\\datumstyle\\b.xsl";
    struct Case { std::string href, selected, mark; bool noted; } cases[] = {
        {"local.xsl", "", "STYLE-A", true},  // a stylesheet shipped beside a card, as in a foreign archive
        {"local.xsl", selected, "STYLE-B", true},
        {"gone.xsl", "", "STYLE-A", true},
        {"..\\..\\XMLSTYLE\\DatumStyle\\B.XSL", "", "STYLE-B", false},
        {dir.Internal() + "\\xmlstyle\\datumstyle\\b.xsl", "", "STYLE-B", false},
        {"file://" + b, "", "STYLE-B", false},
        {"http://example.com/b.xsl", "", "STYLE-A", true},
        {"D:\\styles\\b.xsl", selected, "STYLE-B", true},
    };
    for (const Case& c : cases) {
        dir.WriteFile("lib/k/c.datum.xml", Card("标题", c.href));
        render::Page page = render::RenderCard(card, c.selected);
        EXPECT_NE(page.html.find(c.mark + "|"), std::string::npos) << c.href << plat::GbkToUtf8(page.error);
        const std::string used = c.mark == "STYLE-A" ? "a.xsl" : "b.xsl";
        EXPECT_EQ(plat::GbkToUtf8(page.note), !c.noted ? "" : "资料卡指定的风格文件 " + c.href +
                  " 不在风格目录 xmlstyle\\datumstyle\\ 中或不存在，已改用风格 " + used) << c.href;
    }
}

// Broken, failing, runaway and cancelled stylesheets: each message names the stylesheet with the first error.
TEST_F(RenderTest, FailuresNameTheStylesheetAndRunawayStylesheetsAreStopped) {
    // A named template that calls itself twice a level, 60 levels deep: 2^60 calls, which only a stop ends.
    const std::string again =
        "<xsl:call-template name=\"r\"><xsl:with-param name=\"n\" select=\"$n - 1\"/></xsl:call-template>";
    dir.WriteFile("xmlstyle/datumstyle/runaway.xsl",
                  "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                  "<xsl:template match=\"/\"><xsl:call-template name=\"r\"><xsl:with-param name=\"n\" "
                  "select=\"60\"/></xsl:call-template></xsl:template><xsl:template name=\"r\"><xsl:param "
                  "name=\"n\"/><xsl:if test=\"$n &gt; 0\">" +
                      again + again + "</xsl:if></xsl:template></xsl:stylesheet>");
    dir.WriteFile("xmlstyle/datumstyle/broken.xsl", "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">");
    dir.WriteFile("xmlstyle/datumstyle/bad.xsl", Style("X", "<xsl:value-of select=\"title[\"/>"));
    dir.WriteFile("xmlstyle/datumstyle/stop.xsl", Style("X", "<xsl:message terminate=\"yes\">halt here</xsl:message>"));
    const std::string folder = "风格文件 lib\\k\\..\\..\\xmlstyle\\datumstyle\\";
    const std::string using_ = "用" + folder;
    std::atomic<bool> stop{true};
    struct Case { std::string href, start, line; const std::atomic<bool>* cancel = nullptr; } cases[] = {
        {"broken.xsl", folder + "broken.xsl 有错误, 不能使用:\r\n", "broken.xsl"},
        {"bad.xsl", folder + "bad.xsl 有错误, 不能使用:\r\n", "Invalid expression"},
        {"stop.xsl", using_ + "stop.xsl 显示资料卡时出错:\r\n", "halt here"},
        {"runaway.xsl", using_ + "runaway.xsl 显示资料卡时出错:\r\n", "，已停止"},  // by time or by steps
        {"runaway.xsl", "", "", &stop},
    };
    for (const Case& c : cases) {
        dir.WriteFile("lib/k/c.datum.xml", Card("标题", "../../xmlstyle/datumstyle/" + c.href));
        render::RenderControl control;
        control.seconds = 1;
        control.cancel = c.cancel;
        const render::Page page = render::RenderCard(card, "", control);
        const std::string error = plat::GbkToUtf8(page.error);
        EXPECT_EQ(page.cancelled, c.cancel != nullptr);
        EXPECT_EQ(error.substr(0, c.start.size()), c.start) << error;
        EXPECT_NE(error.find(c.line), std::string::npos) << error;
        EXPECT_EQ(error.find('\n', c.start.size()), std::string::npos) << "only the first line: " << error;
    }
    // In the window the runaway stylesheet runs under a strip whose 取消 stops it: no box, no page. (A card
    // that does not read: the main window's test.)
    dir.WriteFile("lib/k/c.datum.xml", Card("标题", "../../xmlstyle/datumstyle/runaway.xsl"));
    QTimer::singleShot(300, [] {
        QWidget* strip = QApplication::activeModalWidget();
        ASSERT_NE(strip, nullptr) << "the strip holds the window's input while the card renders";
        auto* cancel = strip->findChild<QPushButton*>("2");
        ASSERT_NE(cancel, nullptr);
        EXPECT_TRUE(strip->rect().contains(cancel->geometry())) << "取消 can be seen";
        cancel->click();
    });
    ui::ShowCard(nullptr, card, "");
    EXPECT_TRUE(svc.shellOpens.empty());
}

TEST_F(RenderTest, StylesheetReadsOnlyItsOwnFolderAndWritesNothing) {
    dir.WriteFile("secret.txt", "TOP-SECRET");
    dir.WriteFile("xmlstyle/datumstyle/near.xml", "<n>NEAR-DATA</n>");
    const std::string secret = dir.Native() + "/secret.txt";
    const std::string written = dir.Native() + "/xmlstyle/datumstyle/written.html";
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
        dir.WriteFile("xmlstyle/datumstyle/hostile.xsl", c.style);
        dir.WriteFile("lib/k/c.datum.xml", Card("标题", "../../xmlstyle/datumstyle/hostile.xsl"));
        render::Page page = render::RenderCard(card, "");
        EXPECT_EQ(page.ok, c.ok) << c.style << "\n" << plat::GbkToUtf8(page.error);
        EXPECT_EQ(page.html.find("NEAR-DATA") != std::string::npos, c.style.find("near.xml") != std::string::npos);
        EXPECT_EQ(page.html.find("TOP-SECRET"), std::string::npos) << c.style;
        EXPECT_FALSE(fs::exists(written)) << c.style;
    }
    // The card's own entities are never expanded: the reader takes the title as the text it is.
    std::string hostile = Card("&xxe;", "");
    const std::size_t doctype = hostile.find("<!DOCTYPE");
    hostile.replace(doctype, hostile.find('\r', doctype) - doctype,
                    "<!DOCTYPE datum [<!ENTITY xxe SYSTEM \"" + secret + "\">]>");
    dir.WriteFile("lib/k/c.datum.xml", hostile);
    render::Page page = render::RenderCard(card, "");
    ASSERT_TRUE(page.ok);
    EXPECT_NE(page.html.find("&amp;xxe;"), std::string::npos);
    EXPECT_EQ(page.html.find("TOP-SECRET"), std::string::npos);
}

// Pages go to a folder of this user's only (0700), and pruning never reaches through a planted link.
TEST_F(RenderTest, ViewOpensANewPageMaximisedKeepsTheNewestPagesAndNeverFollowsLinks) {
    const fs::path folder = render::ViewFolder();
    fs::create_directories(folder);
    for (int i = 0; i < render::kKeptPages + 5; ++i) {
        const fs::path old = folder / ("card-" + std::to_string(1000 + i) + ".html");
        std::ofstream(old) << i;
        fs::last_write_time(old, fs::file_time_type::clock::now() - std::chrono::hours(100 - i));
    }
    std::ofstream(folder / "notes.txt") << "mine";
    dir.WriteFile("victim/card-1.html", "someone else's");
    fs::create_symlink(dir.Native() + "/victim/card-1.html", folder / "card-0999.html");
    dir.WriteFile("lib/k/c.datum.xml", Card("标题", "local.xsl"));
    ui::ShowCard(nullptr, card, "");
    ASSERT_EQ(svc.shellOpens.size(), 1u);
    EXPECT_TRUE(svc.shellOpens[0].maximised);
    const std::string opened = plat::ToNative(svc.shellOpens[0].path);
    EXPECT_EQ(fs::path(opened).parent_path(), folder);
    EXPECT_NE(plat::GbkToUtf8(ReadNativeFile(opened)).find("STYLE-A|<h1>标题</h1>"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), render::kKeptPages + 2);  // notes.txt, the link
    EXPECT_FALSE(fs::exists(folder / "card-1005.html")) << "the oldest go";
    EXPECT_TRUE(fs::exists(folder / "notes.txt"));
    EXPECT_EQ(dir.ReadFile("victim/card-1.html"), "someone else's");
    const QWidgetList shown = QApplication::topLevelWidgets();
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [](QWidget* w) {
        auto* note = qobject_cast<CShowMsgDlg*>(w);
        return note && note->isVisible() && plat::GbkToUtf8(note->Message()).ends_with("已改用风格 a.xsl");
    })) << "the strip says which style was used";
    for (const fs::path& f : {folder, folder.parent_path()})
        EXPECT_EQ(fs::status(f).permissions() & fs::perms::all, fs::perms::owner_all) << f;

    // The view folder, or the program's cache folder, swapped for a link: nothing is written or removed there.
    for (const fs::path& planted : {folder, folder.parent_path()}) {
        fs::remove_all(folder.parent_path());
        fs::create_directories(planted.parent_path());
        fs::create_symlink(dir.Native() + "/victim", planted);
        svc.ExpectBox("不能使用缓存目录 " + folder.string() + ": 不能创建，或者不是本用户自己的目录(例如是符号链接)",
                      "ERROR", 0x10);
        ui::ShowCard(nullptr, card, "");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.Native() + "/victim"), {}), 1) << planted;
    }
}

// The shipped styles through the window's view: a card without a stylesheet in the style the box selects,
// every field as typed, and the card left alone.
TEST_F(RenderTest, WindowViewShowsEveryFieldAsTypedInTheSelectedShippedStyle) {
    dir.CopyShippedData();
    const std::string rel = "datum/示例/读书笔记/R&D.datum.xml";
    const std::string text = Card("R&D <草稿> 一", "", "甲 & 乙\r\n<丙>");
    dir.WriteFile(rel, text);
    Load();
    OpenCard("R&D");
    for (const std::string style : {"simple", "report"}) {
        SCOPED_TRACE(style);
        Combo(1015)->setCurrentIndex(Combo(1015)->findText(QString::fromStdString(style)));
        Click(1021);
        ASSERT_FALSE(svc.shellOpens.empty());
        const std::string html = plat::GbkToUtf8(ReadNativeFile(plat::ToNative(svc.shellOpens.back().path)));
        EXPECT_EQ(html.find("<table class=\"info\">") != std::string::npos, style == "report") << html;
        // The body's signs as typed: the card stores them as entities.
        for (const char* field : {"R&amp;D &lt;草稿&gt; 一", "读书笔记", "书籍", "论语;孔子", "2024-3-5 9:7",
                                  "甲 &amp; 乙", "&lt;丙&gt;"})
            EXPECT_NE(html.find(field), std::string::npos) << field << " missing in\n" << html;
    }
    EXPECT_EQ(dir.ReadFile(rel), text);
}

}  // namespace
