// Export to a site and to Markdown, and import of text files, on real folders: what is on disk afterwards.
#include <gtest/gtest.h>

#include <sys/time.h>

#include <QString>
#include <QUrl>
#include <filesystem>
#include <regex>

#include "export/md_export.h"
#include "export/site_export.h"
#include "export/staged_folder.h"
#include "export/text_import.h"
#include "library/registry.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "support/cards.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using plat::Gbk;

namespace {

class ExportTest : public ::testing::Test {
protected:
    TempProgramDir dir;
    std::string lib;  // native root of the library "lib"
    ExportTest() {
        dir.CopyShippedData();
        lib = dir.Native() + "/lib";
        fs::create_directories(lib + "/_ _SETS_ _");
    }
    std::string Root() const { return dir.Internal() + "\\lib\\"; }
    // A card as the editor saves it in this program directory.
    void Card(const std::string& rel, const std::string& title, const std::string& body,
              const std::string& keyword = "", const std::string& style = "simple.xsl") {
        DatumCard c{Gbk(title), Gbk(fs::path(rel).parent_path().string()), "2003-2-5 9:7", "", Gbk("书"),
                    Gbk(keyword), Gbk(body), style.empty() ? "" : dir.Internal() + "\\xmlstyle\\datumstyle\\" + style,
                    dir.Internal() + "\\xmlstyle\\qvrt_xml_1.0\\02_2003_datum01.dtd"};
        c.klass = plat::ReplaceAll(c.klass, "/", "\\");
        FixedClock clock;
        dir.WriteFile("lib/" + rel, CardBytes(c));
    }
    std::string Read(const std::string& native) const { return ReadNativeFile(native); }
    // The files of a folder tree, relative, sorted.
    static std::vector<std::string> Tree(const std::string& folder) {
        std::vector<std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(folder))
            if (e.is_regular_file()) out.push_back(fs::relative(e.path(), folder).string());
        std::sort(out.begin(), out.end());
        return out;
    }
    exporting::ImportOutcome Import(const std::vector<std::string>& sources, const std::string& root,
                                    bool mark = false, const std::string& klass = "") {
        exporting::Progress progress;
        exporting::ImportOptions options{root, klass, mark};
        return exporting::ImportFiles(sources, options, progress);
    }
};

std::string Utf16Le(const std::u16string& s) {
    std::string out = "\xFF\xFE";
    for (char16_t c : s) out += static_cast<char>(c & 0xFF), out += static_cast<char>(c >> 8);
    return out;
}

}  // namespace

TEST(TextDecode, FindsTheEncodingOrRefuses) {
    const struct {
        const char* what;
        std::string bytes;
        bool ok;
        std::string utf8;
    } cases[] = {
        {"UTF-8", "中文", true, "中文"},
        {"UTF-8 with a BOM", "\xEF\xBB\xBF中文", true, "中文"},
        {"UTF-16 LE with its BOM", Utf16Le(u"中文"), true, "中文"},
        {"UTF-16 BE with its BOM", std::string("\xFE\xFF\x4E\x2D\x65\x87", 6), true, "中文"},
        {"GB18030 (GBK bytes)", "\xD6\xD0\xCE\xC4", true, "中文"},
        {"GB18030 four-byte character", "\x95\x32\x82\x36", true, "𠀀"},
        {"broken: a lone lead byte", "\xD6", false, ""},
        {"broken: 0xFF", "a\xFF" "b", false, ""},
        {"UTF-16 cut in a character", "\xFF\xFE\x2D\x4E\x87", false, ""},
        {"UTF-16 without a BOM", std::string("\x2D\x4E\x87\x65\x0A\x00", 6), false, ""},
    };
    for (const auto& c : cases) {
        std::string utf8;
        EXPECT_EQ(exporting::DecodeText(c.bytes, utf8), c.ok) << c.what;
        if (c.ok) EXPECT_EQ(utf8, c.utf8) << c.what;
    }
}

TEST(TextDecode, CountsWhatACardCannotHold) {
    const plat::Unstorable none = exporting::CardUnstorable(QString::fromUtf8("中文\t\r\n"));
    EXPECT_EQ(none.count, 0);
    // A card holds any character, an emoji too; a control character no XML file can hold.
    EXPECT_EQ(exporting::CardUnstorable(QString::fromUtf8("a😀b關")).count, 0);
    const plat::Unstorable controls = exporting::CardUnstorable(QString::fromUtf8("a\x1B[1mb\x01"));
    EXPECT_EQ(controls.count, 2);
    EXPECT_EQ(controls.first, U'\x1B');
}

// Exported to Markdown and imported into a new library, every card comes back byte for byte.
TEST_F(ExportTest, MarkdownRoundTripGivesEveryCardBack) {
    Card("根.datum.xml", "根", "", "", "");
    Card("历史/甲午.datum.xml", "甲午 *海战*", "  北洋  水师 \r\n\r\n# 不是标题\r\n1. 致远 <&> \\ `x`\r\n\t表", "海军 清");
    Card("历史/近代/定远.datum.xml", "定远", "---\r\n- 列\r\n&nbsp;關😀", "舰", "report.xsl");
    Card("历史/甲午.datum.old.xml", "旧的", "同名到 .datum. 为止");
    Card("历史/甲午.datum.zz/x.datum.xml", "x", "a class between two cards of one name");
    Card("历史/甲午.datum.zzz.xml", "更旧的", "");
    exporting::Progress progress;
    const exporting::Outcome out = exporting::ExportMarkdown(Root(), dir.Native() + "/md", progress);
    ASSERT_TRUE(out.ok) << plat::GbkToUtf8(out.error);
    EXPECT_EQ(out.cards, 6);
    EXPECT_EQ(progress.done.load(), 6);
    EXPECT_EQ(Tree(dir.Native() + "/md"),
              (std::vector<std::string>{".korvane-export", "历史/甲午 (2).md", "历史/甲午 (3).md", "历史/甲午.datum.zz/x.md",
                                        "历史/甲午.md", "历史/近代/定远.md", "根.md"}));

    fs::create_directories(dir.Native() + "/new");
    const exporting::ImportOutcome in = Import({dir.Native() + "/md"}, dir.Internal() + "\\new\\");
    ASSERT_TRUE(in.ok) << plat::GbkToUtf8(in.error);
    EXPECT_EQ(in.cards, 6);
    const std::vector<std::string> cards = Tree(lib);
    ASSERT_EQ(cards.size(), 6u);
    for (const std::string& rel : Tree(dir.Native() + "/new")) {
        // Cards come back under their titles.
        std::string from = rel == "历史/甲午 *海战*.datum.xml" ? "历史/甲午.datum.xml" : rel;
        if (rel == "历史/旧的.datum.xml") from = "历史/甲午.datum.old.xml";
        if (rel == "历史/更旧的.datum.xml") from = "历史/甲午.datum.zzz.xml";
        EXPECT_EQ(Read(dir.Native() + "/new/" + rel), Read(lib + "/" + from)) << rel;
    }
    // Imported again: nothing replaced, every name taken gets its number.
    const exporting::ImportOutcome again = Import({dir.Native() + "/md/根.md"}, dir.Internal() + "\\new\\");
    EXPECT_EQ(again.files, std::vector<std::string>{dir.Native() + "/new/根 (2).datum.xml"});
}

// Text files from elsewhere: titles, stamps and classes from what the file says, else from the file.
TEST_F(ExportTest, ImportsTextFilesAndSaysWhatItDidNot) {
    dir.WriteFile("in/笔记.txt", Gbk("中文\r\n\r\n*行*\r\n"));
    dir.WriteFile("in/子/说明.md", "\xEF\xBB\xBF# 大标题\n\n段落 \\*一\\*\n");
    dir.WriteFile("in/子/表情.md", "笑\x01再笑\x01\n");
    dir.WriteFile("in/坏.txt", "\xFF\xFE\xFF");  // a BOM, then half a character
    dir.WriteFile("in/图.png", "PNG");
    dir.MakeDir("lib/历史");
    const std::time_t when = 1049534820;  // the file's own time, as the card's stamps
    const struct timeval times[2] = {{when, 0}, {when, 0}};
    utimes((dir.Native() + "/in/笔记.txt").c_str(), times);
    std::tm tm{};
    localtime_r(&when, &tm);
    const std::string stamp = std::to_string(tm.tm_year + 1900) + "-" + std::to_string(tm.tm_mon + 1) + "-" +
                              std::to_string(tm.tm_mday) + " " + std::to_string(tm.tm_hour) + ":" +
                              std::to_string(tm.tm_min);
    exporting::ImportOutcome out = Import({dir.Native() + "/in"}, Root(), false, Gbk("历史"));
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(plat::GbkToUtf8(out.error), "文件不是 UTF-8、UTF-16 或 GB18030 文本，没有导入: " + dir.Native() +
                                              "/in/坏.txt\r\n");
    EXPECT_EQ(plat::GbkToUtf8(out.notes), "跳过了 1 个不是 .txt 或 .md 的文件\r\n");
    ASSERT_EQ(out.unstorable.size(), 1u);
    EXPECT_EQ(out.unstorable[0].file, dir.Native() + "/in/子/表情.md");
    EXPECT_EQ(out.unstorable[0].count, 2);
    EXPECT_EQ(out.unstorable[0].first, U'\x01');
    EXPECT_EQ(out.files, (std::vector<std::string>{lib + "/历史/子/大标题.datum.xml", lib + "/历史/笔记.datum.xml"}));

    XmlRecordSet xml;
    plat::LineReader reader;
    ASSERT_TRUE(reader.Open(Root() + Gbk("历史\\笔记.datum.xml")) && xml.ReadCard(reader));
    EXPECT_EQ(plat::GbkToUtf8(xml.card.title), "笔记");
    EXPECT_EQ(plat::GbkToUtf8(xml.card.klass), "历史");
    EXPECT_EQ(xml.card.content, Gbk("中文\r\n\r\n*行*"));
    EXPECT_EQ(xml.card.founddate, xml.card.modifieddate);
    EXPECT_EQ(xml.card.founddate, stamp);
    reader.Close();
    ASSERT_TRUE(reader.Open(Root() + Gbk("历史\\子\\大标题.datum.xml")) && xml.ReadCard(reader));
    EXPECT_EQ(plat::GbkToUtf8(xml.card.klass), "历史\\子");
    EXPECT_EQ(plat::GbkToUtf8(xml.card.content), "段落 *一*");
    reader.Close();

    // The user lets the marks stand in: the file comes in with them.
    out = Import({dir.Native() + "/in/子/表情.md"}, Root(), true);
    ASSERT_EQ(out.cards, 1);
    EXPECT_TRUE(out.unstorable.empty());
    ASSERT_TRUE(reader.Open(Root() + Gbk("表情.datum.xml")) && xml.ReadCard(reader));
    EXPECT_EQ(plat::GbkToUtf8(xml.card.content), "笑〓再笑〓");

    // A class that is not there is said, and nothing is made.
    out = Import({dir.Native() + "/in/笔记.txt"}, Root(), false, Gbk("没有"));
    EXPECT_EQ(plat::GbkToUtf8(out.error), "类别目录 " + dir.Internal() + "\\lib\\没有 不存在");
    EXPECT_FALSE(fs::exists(lib + "/没有"));
}

TEST_F(ExportTest, CancelledImportKeepsWhatWasDone) {
    for (int i = 0; i < 3; ++i) dir.WriteFile("in/" + std::to_string(i) + ".txt", "x");
    std::atomic<bool> cancel{true};
    exporting::Progress progress;
    progress.cancel = &cancel;
    const exporting::ImportOutcome out = exporting::ImportFiles({dir.Native() + "/in"}, {Root(), "", false}, progress);
    EXPECT_TRUE(out.cancelled);
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.cards, 0);
    EXPECT_EQ(progress.total.load(), 3);
}

// The site: an index of the classes with their counts, a page per card, links that all lead somewhere.
TEST_F(ExportTest, SiteHasAPagePerCardAndNoLinkLeadsNowhere) {
    Card("历史/甲 #1?.datum.xml", "甲 <script>alert(1)</script>", "正文 <&>");
    Card("历史/近代/乙 100%.datum.xml", "乙", "");
    Card("丙.datum.xml", "丙", "x", "", "");
    dir.WriteFile("lib/历史/坏.datum.xml", "not a card");
    exporting::Progress progress;
    const exporting::Outcome out = exporting::ExportSite(Root(), dir.Native() + "/site", {}, progress);
    ASSERT_TRUE(out.ok) << plat::GbkToUtf8(out.error);
    EXPECT_EQ(out.cards, 3);
    EXPECT_NE(plat::GbkToUtf8(out.notes).find("坏.datum.xml"), std::string::npos);
    const std::string site = dir.Native() + "/site";
    EXPECT_EQ(Tree(site), (std::vector<std::string>{".korvane-export", "cards/丙.html", "cards/历史/坏.html",
                                                   "cards/历史/甲 #1?.html", "cards/历史/近代/乙 100%.html",
                                                   "index.html"}));
    const std::string index = Read(site + "/index.html");
    EXPECT_NE(index.find("<strong>历史</strong> <span class=\"count\">(3)</span>"), std::string::npos) << index;
    EXPECT_NE(index.find("<strong>近代</strong> <span class=\"count\">(1)</span>"), std::string::npos);
    EXPECT_NE(index.find("href=\"cards/%E5%8E%86%E5%8F%B2/%E7%94%B2%20%231%3F.html\">甲 &lt;script&gt;"),
              std::string::npos) << index;
    // Every href of every page names a file of the site.
    const std::regex href("href=\"([^\"]*)\"");
    int links = 0;
    for (const std::string& rel : Tree(site)) {
        if (rel.ends_with(".html") == false) continue;
        const std::string page = Read(site + "/" + rel);
        EXPECT_EQ(page.find("<script"), std::string::npos) << rel;
        if (rel != "index.html") EXPECT_NE(page.find("<meta charset=\"utf-8\">"), std::string::npos) << rel;
        for (std::sregex_iterator m(page.begin(), page.end(), href), end; m != end; ++m, ++links) {
            const QString target = QUrl::fromPercentEncoding(QByteArray::fromStdString((*m)[1]));
            EXPECT_TRUE(fs::is_regular_file(fs::path(site + "/" + rel).parent_path() / target.toStdString()))
                << rel << " -> " << (*m)[1];
        }
    }
    EXPECT_EQ(links, 4 + 4 * 2 + 4 * 2 * 2 - 2 * 2);  // the index's, each page's 目录, prev and next twice
    // In library order, the order of the names: 丙 comes first and has no 上一则, 乙 in the sub-class last.
    EXPECT_EQ(Read(site + "/cards/丙.html").find("rel=\"prev\""), std::string::npos);
    EXPECT_NE(Read(site + "/cards/丙.html").find("rel=\"next\""), std::string::npos);
    EXPECT_EQ(Read(site + "/cards/历史/近代/乙 100%.html").find("rel=\"next\""), std::string::npos);
}

// Where an export may go: a new folder, an empty one, or an earlier export, which is replaced whole.
TEST_F(ExportTest, ExportGoesOnlyWhereNothingIsLost) {
    Card("甲.datum.xml", "甲", "x");
    exporting::Progress progress;
    auto site = [&](const std::string& target) {
        return exporting::ExportSite(Root(), target, {}, progress);
    };
    dir.WriteFile("mine/a.txt", "the user's");
    dir.WriteFile("hidden/.git/HEAD", "ref");
    EXPECT_EQ(plat::GbkToUtf8(site(dir.Native() + "/mine").error),
              "目录 " + dir.Native() + "/mine 不是空的，也不是本程序导出的，不会写入它");
    EXPECT_FALSE(site(dir.Native() + "/hidden").ok);
    EXPECT_EQ(plat::GbkToUtf8(site(lib + "/web").error), "不能导出到资料库自己的目录中: " + lib + "/web");
    EXPECT_EQ(Read(dir.Native() + "/mine/a.txt"), "the user's");

    dir.MakeDir("empty");
    // What a killed export left beside its target goes; a folder of that name without the mark is not ours.
    dir.WriteFile(".empty-export-Ab12Cd/.korvane-export", "Korvane\n");
    dir.WriteFile(".empty-export-Ab12Cd/index.html", "half");
    dir.WriteFile(".empty-export-keepme/notes.txt", "someone's");
    ASSERT_TRUE(site(dir.Native() + "/empty").ok);
    EXPECT_FALSE(fs::exists(dir.Native() + "/.empty-export-Ab12Cd"));
    EXPECT_TRUE(fs::exists(dir.Native() + "/.empty-export-keepme/notes.txt"));
    fs::remove_all(dir.Native() + "/.empty-export-keepme");
    dir.WriteFile("empty/cards/stale.html", "left from before");
    Card("乙.datum.xml", "乙", "y");
    ASSERT_TRUE(site(dir.Native() + "/empty/").ok);
    EXPECT_EQ(Tree(dir.Native() + "/empty"),
              (std::vector<std::string>{".korvane-export", "cards/乙.html", "cards/甲.html", "index.html"}));

    // Cancelled: the earlier export stands as it was, and nothing is left beside it.
    std::atomic<bool> cancel{true};
    progress.cancel = &cancel;
    const exporting::Outcome stopped = exporting::ExportMarkdown(Root(), dir.Native() + "/empty", progress);
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_TRUE(fs::exists(dir.Native() + "/empty/index.html"));
    for (const auto& e : fs::directory_iterator(dir.Native()))
        EXPECT_EQ(e.path().filename().string().find("-export-"), std::string::npos) << e.path();
}
