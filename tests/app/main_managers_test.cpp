// The main window's manager buttons with the real managers driven through their own buttons: what each
// reload shows afterwards, and the failure procedure when a reload fails.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "app/main_fixture.h"
#include "managers/mang_fixture.h"

using mainfx::ComboTexts;
using mainfx::MakeStandardProgramDir;
using mangfx::Click;
using mangfx::Select;
using mangfx::Type;
using plat::Gbk;

namespace {

using Strings = std::vector<std::string>;
using ManagersTest = MainWindowTest;

bool Contains(const Strings& v, const std::string& s) { return std::find(v.begin(), v.end(), s) != v.end(); }

TEST_F(ManagersTest, ClassAddedInTheManagerAppearsInTheClassBoxAfterOk) {
    MakeStandardProgramDir(dir);
    CMainDlg& w = Load();
    const std::string tree = mainfx::Dump(w.m_tree);
    progress.clear();
    mangfx::WhenModal([](CDialog& m) {
        Type(m, 1021, "新类");
        Click(m, 3);
        Click(m, 1);
    });
    w.ItemAs<QPushButton>(1012)->click();
    EXPECT_TRUE(Contains(ComboTexts(w.m_cbClass), "新类"));
    EXPECT_EQ(w.m_nClasses, 5);
    EXPECT_TRUE(dir.Exists("lib/新类"));
    EXPECT_EQ(progress, Strings{"重新读取类别的信息......"});
    EXPECT_EQ(mainfx::Dump(w.m_tree), tree);
    EXPECT_FALSE(w.m_msg->isVisible());
    EXPECT_FALSE(w.Ended());
}

TEST_F(ManagersTest, ClassListGoneAfterOkRunsTheFailureProcedure) {
    MakeStandardProgramDir(dir);
    CMainDlg& w = Load();
    mangfx::WhenModal([this](CDialog& m) {
        Click(m, 1);
        std::filesystem::remove(dir.Native() + "/lib/_ _SETS_ _/class.list");
    });
    ExpectFailure("读取类别信息时出现错误!!", "读取类别信息时出错: 找不到文件 lib\\_ _SETS_ _\\class.list");
    w.ItemAs<QPushButton>(1012)->click();
    EXPECT_TRUE(w.Ended());
}

TEST_F(ManagersTest, ClassManagerThatCannotOpenItsListReloadsNothing) {
    MakeStandardProgramDir(dir);
    CMainDlg& w = Load();
    const Strings classes = ComboTexts(w.m_cbClass);
    progress.clear();
    std::filesystem::remove(dir.Native() + "/lib/_ _SETS_ _/class.list");
    svc.ExpectBox("找不到文件 lib\\_ _SETS_ _\\class.list", "ERROR", 0x10);
    w.ItemAs<QPushButton>(1012)->click();
    EXPECT_EQ(ComboTexts(w.m_cbClass), classes);
    EXPECT_TRUE(progress.empty());
    EXPECT_FALSE(w.Ended());
}

TEST_F(ManagersTest, SourceDeletedAndReorderedInTheManagerIsGoneFromTheSourceBox) {
    MakeStandardProgramDir(dir);
    CMainDlg& w = Load();
    mangfx::WhenModal([](CDialog& m) {
        Select(m, 1);  // Book
        Click(m, 4);
        Type(m, 1021, "网络");
        Click(m, 3);
        Click(m, 1);
    });
    w.ItemAs<QPushButton>(1014)->click();
    const Strings sources = ComboTexts(w.m_cbSource);
    EXPECT_FALSE(Contains(sources, "Book"));
    EXPECT_TRUE(Contains(sources, "网络"));
    EXPECT_EQ(w.m_nSources, 3);
    EXPECT_EQ(plat::GbkToUtf8(w.m_sources[2]), "网络");
}

TEST_F(ManagersTest, StyleBoxFollowsTheFolderHoweverTheStyleManagerCloses) {
    MakeStandardProgramDir(dir);
    dir.WriteFile("in/extra.xsl", "<x/>");
    CMainDlg& w = Load();
    svc.QueueFileName(dir.Internal() + "\\in\\extra.xsl");
    mangfx::WhenModal([](CDialog& m) {
        Click(m, 3);
        Click(m, 1);  // 退出
    });
    w.ItemAs<QPushButton>(1016)->click();
    EXPECT_EQ(ComboTexts(w.m_cbStyle), (Strings{"extra", "report", "simple"}));

    // Deleted, then closed with Escape: the folder changed all the same, and so does the box.
    mangfx::WhenModal([](CDialog& m) {
        Select(m, 0);
        Click(m, 4);
        QTest::keyClick(&m, Qt::Key_Escape);
    });
    w.ItemAs<QPushButton>(1016)->click();
    EXPECT_EQ(ComboTexts(w.m_cbStyle).size(), 2u);
    EXPECT_FALSE(w.Ended());
}

TEST_F(ManagersTest, LibraryCreatedAndMadeDefaultInTheManagerIsListedInTheLibraryBox) {
    MakeStandardProgramDir(dir);
    dir.WriteFile("set/null.daum/_ _SETS_ _/class.list", mangfx::ListText({"count=0"}));
    dir.WriteFile("set/null.daum/_ _SETS_ _/source.list", mangfx::ListText({"count=0"}));
    CMainDlg& w = Load();
    const std::string tree = mainfx::Dump(w.m_tree);
    svc.ExpectBox("目录 lib3\\ 不存在,现在创建它吗?", "QUESTION", 0x24, plat::IDYES);
    mangfx::WhenModal([](CDialog& m) {
        mangfx::WhenModal([](CDialog& form) {
            Type(form, 1021, "资料三");
            Type(form, 1022, "lib3");
            Click(form, 1);
        });
        Click(m, 3);
        Select(m, 2);
        Click(m, 5);
        Click(m, 1);
    });
    w.ItemAs<QPushButton>(1001)->click();
    EXPECT_EQ(ComboTexts(w.m_cbLibrary), (Strings{"资料一", "资料二", "资料三"}));
    // The box and the path go on naming the library the tree shows, not the new default.
    EXPECT_EQ(w.m_cbLibrary->currentText().toStdString(), "资料一");
    EXPECT_EQ(w.m_edPath->text().toStdString(), "lib");
    EXPECT_TRUE(dir.Exists("lib3/_ _SETS_ _/source.list"));
    EXPECT_EQ(mainfx::Dump(w.m_tree), tree) << "the tree stays on the library it showed";
    EXPECT_FALSE(w.Ended());
}

}  // namespace
