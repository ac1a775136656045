// The style manager over a temporary program directory: which entries the scan lists, Add copying without
// overwriting, Delete without a question, and "退出".
#include "managers/style_mang.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "managers/mang_fixture.h"
#include "platform/fs.h"
#include "support/scripted_services.h"
#include "support/temp_dir.h"

using namespace mangfx;
using plat::Gbk;

namespace {

using Mang = Opened<CStyleMang>;
enum { kAdd = 3, kDelete = 4, kExit = 1 };

// The file dialog may change the current directory; the manager sets it back.
class MovingFileDialog : public ScriptedServices {
  public:
    std::string AskFileName(QWidget* parent, bool open, const std::string& ext, const std::string& initial,
                            const std::string& filter) override {
        EXPECT_EQ(chdir("/"), 0);
        return ScriptedServices::AskFileName(parent, open, ext, initial, filter);
    }
};

class StyleMangTest : public ::testing::Test {
  protected:
    TempProgramDir dir;
    MovingFileDialog svc;

    void Sheet(const std::string& name, const std::string& body = "<xsl/>") {
        dir.WriteFile("xmlstyle/datumstyle/" + name, body);
    }
    std::string PathOf(const std::string& fileName) const {
        return dir.Internal() + "\\xmlstyle\\datumstyle\\" + Gbk(fileName);
    }
    std::unique_ptr<Mang> Open() {
        auto m = std::make_unique<Mang>();
        m->Init();
        return m;
    }
};

TEST_F(StyleMangTest, ScanListsXslNamesCaseSensitivelyAndSkipsPlainFolders) {
    Sheet("a.xsl.bak");
    Sheet("b.XSL");
    Sheet("report.xsl");
    Sheet("notes.txt");
    dir.MakeDir("xmlstyle/datumstyle/x.xsl");
    dir.MakeDir("xmlstyle/datumstyle/_ _y.xsl");
    auto m = Open();
    EXPECT_EQ(m->windowTitle().toStdString(), "STYLE MANG");
    EXPECT_EQ(Rows(*m), (std::vector<std::string>{"a", "report", "_ _y"}));
    ASSERT_EQ(m->m_styles.size(), 3u);
    EXPECT_EQ(m->m_styles[0].path, PathOf("a.xsl.bak"));
    EXPECT_EQ(m->m_styles[2].path, PathOf("_ _y.xsl"));
    EXPECT_FALSE(m->Ended());
}

TEST_F(StyleMangTest, EmptyFolderOpensQuietlyAndMissingFolderEndsWithCancel) {
    dir.MakeDir("xmlstyle/datumstyle");
    EXPECT_TRUE(Rows(*Open()).empty());

    std::filesystem::remove_all(dir.Native() + "/xmlstyle");
    svc.ExpectBox("目录 xmlstyle\\datumstyle\\ 不存在", "ERROR", 0x10);
    CStyleMang m;
    EXPECT_EQ(m.DoModal(), plat::IDCANCEL);
}

TEST_F(StyleMangTest, AddCopiesTheChosenSheetAndShowsItsNameWithoutExtension) {
    Sheet("report.xsl");
    dir.WriteFile("elsewhere/new.style.xsl", "<new/>");
    auto m = Open();
    svc.QueueFileName(dir.Internal() + "\\elsewhere\\new.style.xsl");
    Click(*m, kAdd);
    ASSERT_EQ(svc.fileDialogs.size(), 1u);
    EXPECT_TRUE(svc.fileDialogs[0].open);
    EXPECT_EQ(svc.fileDialogs[0].defaultExt, ".xsl");
    EXPECT_EQ(svc.fileDialogs[0].initialName, "");
    EXPECT_EQ(svc.fileDialogs[0].filter, "XSLT File|*.xsl|");
    EXPECT_EQ(plat::GetCurrentDir(), dir.Internal());

    EXPECT_EQ(Rows(*m), (std::vector<std::string>{"report", "new.style"}));
    EXPECT_EQ(m->m_styles[1].path, PathOf("new.style.xsl"));
    EXPECT_EQ(dir.ReadFile("xmlstyle/datumstyle/new.style.xsl"), "<new/>");

    svc.QueueFileName("");  // cancelled
    Click(*m, kAdd);
    EXPECT_EQ(Rows(*m).size(), 2u);
    EXPECT_EQ(plat::GetCurrentDir(), dir.Internal());
}

TEST_F(StyleMangTest, AddNeverOverwritesASheetOfTheSameName) {
    Sheet("report.xsl", "<old/>");
    dir.WriteFile("elsewhere/report.xsl", "<other/>");
    auto m = Open();
    const std::string src = dir.Internal() + "\\elsewhere\\report.xsl";
    svc.QueueFileName(src);
    svc.ExpectBox(
        "拷贝文件 " + plat::GbkToUtf8(src) + "到 " + plat::GbkToUtf8(PathOf("report.xsl")) + " 时出错了",
        "ERROR", 0x10);
    Click(*m, kAdd);

    // Picking the very file from the stylesheet folder fails the same way.
    svc.QueueFileName(plat::GbkToUtf8(PathOf("report.xsl")));
    svc.ExpectBox("拷贝文件 " + plat::GbkToUtf8(PathOf("report.xsl")) + "到 " +
                      plat::GbkToUtf8(PathOf("report.xsl")) + " 时出错了",
                  "ERROR", 0x10);
    Click(*m, kAdd);
    EXPECT_EQ(Rows(*m), std::vector<std::string>{"report"});
    EXPECT_EQ(dir.ReadFile("xmlstyle/datumstyle/report.xsl"), "<old/>");
}

TEST_F(StyleMangTest, DeleteRemovesTheFileAtOnceAndTheEntryEvenWhenTheFileStays) {
    Sheet("a.xsl");
    Sheet("b.xsl");
    dir.MakeDir("xmlstyle/datumstyle/_ _c.xsl");  // listed, but no file to delete
    auto m = Open();
    Click(*m, kDelete);  // no row marked: nothing
    EXPECT_EQ(Rows(*m).size(), 3u);

    Select(*m, 0);
    Click(*m, kDelete);
    EXPECT_FALSE(dir.Exists("xmlstyle/datumstyle/a.xsl"));
    EXPECT_EQ(Rows(*m), (std::vector<std::string>{"b", "_ _c"}));

    svc.ExpectBox("无法删除文件 " + plat::GbkToUtf8(PathOf("_ _c.xsl")), "ERROR", 0x10);
    Select(*m, 1);
    Click(*m, kDelete);
    EXPECT_EQ(Rows(*m), std::vector<std::string>{"b"});
    EXPECT_TRUE(dir.Exists("xmlstyle/datumstyle/_ _c.xsl"));

    Select(*m, 0);
    Click(*m, kDelete);
    EXPECT_TRUE(Rows(*m).empty());

    Click(*m, kExit);
    EXPECT_TRUE(m->Ended());
}

}  // namespace
