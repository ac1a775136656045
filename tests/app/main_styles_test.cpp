// The style list and the three buttons that hand files to the desktop or pick a card's file name.
#include <gtest/gtest.h>

#include <QPushButton>
#include <filesystem>
#include <map>

#include "app/main_fixture.h"
#include "platform/fs.h"

using namespace mainfx;
using plat::Gbk;

namespace {

using StylesTest = MainWindowTest;

TEST_F(StylesTest, StyleNamesPathsAndTheFolderRule) {
    MakeStyles(dir, {"simple.xsl", "report.xsl", "a.xsl.bak", "B.XSL", "notes.txt", "历史.xsl"});
    dir.MakeDir("xmlstyle/datumstyle/folder.xsl");  // an ordinary sub-folder is never a style
    Open();
    CMainDlg& w = *dlg;
    ASSERT_EQ(w.ScanStyles(), 1);

    std::map<std::string, std::string> byName;
    for (int i = 0; i < static_cast<int>(w.m_styles.size()); ++i)
        byName[plat::GbkToUtf8(w.m_styles[i].name)] = plat::GbkToUtf8(w.m_styles[i].path);
    const std::string folder = plat::GbkToUtf8(dir.Internal()) + "\\xmlstyle\\datumstyle\\";
    EXPECT_EQ(byName, (std::map<std::string, std::string>{{"a", folder + "a.xsl.bak"},
                                                          {"report", folder + "report.xsl"},
                                                          {"simple", folder + "simple.xsl"},
                                                          {"历史", folder + "历史.xsl"}}));
    ASSERT_EQ(w.m_cbStyle->count(), 4);
    for (int row = 0; row < w.m_cbStyle->count(); ++row)
        EXPECT_EQ(w.m_cbStyle->itemText(row), plat::ToQ(w.m_styles[w.m_cbStyle->itemData(row).toInt()].name));
    EXPECT_LT(w.m_cbStyle->findText("a"), w.m_cbStyle->findText("report"));
    EXPECT_LT(w.m_cbStyle->findText("report"), w.m_cbStyle->findText("simple"));
}

TEST_F(StylesTest, EmptyStyleFolderIsASuccessfulScan) {
    MakeStyles(dir, {});
    Open();
    EXPECT_EQ(dlg->ScanStyles(), 1);
    EXPECT_EQ(static_cast<int>(dlg->m_styles.size()), 0);
    EXPECT_EQ(dlg->m_cbStyle->count(), 0);
}

class ViewButtonsTest : public MainWindowTest {
protected:
    void SetUp() override {
        MakeStandardProgramDir(dir);
        Load();
    }
    void Click(int id) { dlg->ItemAs<QPushButton>(id)->click(); }
};

TEST_F(ViewButtonsTest, ViewOpensTheCurrentCardFileMaximisedAndNothingElse) {
    CMainDlg& w = *dlg;
    ASSERT_TRUE(w.m_current->IsClass());
    Click(1021);  // a class: nothing
    EXPECT_TRUE(svc.shellOpens.empty());

    DatumNode* card = w.m_first->next;  // art\Monet, an empty file: it is read, and not a card
    ASSERT_TRUE(card->IsCard());
    w.m_current = card;
    svc.ExpectBox("读取文件 lib\\art\\Monet.datum.xml 的XML数据时出错了!", "ERROR", 0x10);
    Click(1021);
    EXPECT_TRUE(svc.shellOpens.empty());

    DatumNode* end = w.m_first;
    while (!end->IsEnd()) end = end->next;
    w.m_current = end;
    Click(1021);
    w.m_current = nullptr;
    Click(1021);
    EXPECT_TRUE(svc.shellOpens.empty());
}

TEST_F(ViewButtonsTest, OpenViewPageOpensTheLibrarysPage) {
    Click(1022);
    ASSERT_EQ(svc.shellOpens.size(), 1u);
    EXPECT_EQ(plat::GbkToUtf8(svc.shellOpens[0].path), "lib\\_ _VIEW_ _\\ViewDatum.html");
    EXPECT_TRUE(svc.shellOpens[0].maximised);
}

TEST_F(ViewButtonsTest, BrowseWithoutCardMarkShowsNoDialog) {
    dlg->m_edFile->setText(QStringLiteral("lib\\K\\notes.txt"));
    Click(1010);
    EXPECT_TRUE(svc.fileDialogs.empty());
    EXPECT_EQ(U(dlg->m_edFile->text()), "lib\\K\\notes.txt");
}

TEST_F(ViewButtonsTest, BrowseAppendsTheTailOnlyWhenTheChoiceLacksIt) {
    const QString start = QString::fromUtf8("lib\\历史\\T.datum.xml");
    dlg->m_edFile->setText(start);

    svc.QueueFileName("D:\\cards\\abc");
    Click(1010);
    ASSERT_EQ(svc.fileDialogs.size(), 1u);
    EXPECT_FALSE(svc.fileDialogs[0].open);
    EXPECT_EQ(svc.fileDialogs[0].defaultExt, ".datum.xml");
    EXPECT_EQ(plat::GbkToUtf8(svc.fileDialogs[0].initialName), "lib\\历史\\T.datum.xml");
    EXPECT_EQ(svc.fileDialogs[0].filter, "All File(*.*)|*.*|");
    EXPECT_EQ(U(dlg->m_edFile->text()), "D:\\cards\\abc.datum.xml");

    svc.QueueFileName("\\home\\u\\新.datum.xml.old");
    Click(1010);
    EXPECT_EQ(U(dlg->m_edFile->text()), "\\home\\u\\新.datum.xml.old");

    svc.QueueFileName("");  // cancelled
    Click(1010);
    EXPECT_EQ(U(dlg->m_edFile->text()), "\\home\\u\\新.datum.xml.old");
    EXPECT_EQ(svc.fileDialogs.size(), 3u);
}

// A file dialog that leaves the process in another directory, as a real one may.
class WanderingServices : public ScriptedServices {
public:
    std::string elsewhere;
    std::string AskFileName(QWidget* p, bool open, const std::string& ext, const std::string& init,
                            const std::string& filter) override {
        plat::SetCurrentDir(elsewhere);
        return ScriptedServices::AskFileName(p, open, ext, init, filter);
    }
};

TEST_F(ViewButtonsTest, BrowseRestoresTheProgramDirectory) {
    WanderingServices wander;
    wander.elsewhere = dir.Internal() + "\\lib";
    for (const char* answer : {"", "x"}) {
        wander.QueueFileName(answer);
        dlg->m_edFile->setText(QStringLiteral("lib\\art\\Monet.datum.xml"));
        Click(1010);
        EXPECT_EQ(plat::GetCurrentDir(), dir.Internal()) << "after answer '" << answer << "'";
    }
    // The relative paths still resolve: the style folder is found again.
    EXPECT_EQ(dlg->ScanStyles(), 1);
}

}  // namespace
