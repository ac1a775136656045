// 导出网站, 导出 Markdown and 导入 in the library manager: the folder asked for, the work under the strip, and
// what the user is told and asked.
#include <gtest/gtest.h>

#include <QDragEnterEvent>
#include <QMimeData>
#include <QUrl>
#include <filesystem>

#include "app/main_fixture.h"
#include "library/datum_lib_mang.h"
#include "managers/mang_fixture.h"
#include "platform/codec.h"
#include "support/cards.h"
#include "support/scripted_services.h"
#include "support/temp_dir.h"

using namespace mangfx;
using plat::Gbk;
namespace fs = std::filesystem;

namespace {

enum { kExportSite = 12, kExportMd = 13, kImport = 14 };

class ExportWindowTest : public ::testing::Test {
protected:
    TempProgramDir dir;
    ScriptedServices svc;
    Opened<CDatumLibMang> m;

    ExportWindowTest() {
        dir.CopyShippedData();
        m.Init();
    }
};

}  // namespace

TEST_F(ExportWindowTest, ExportsTheSelectedLibraryAndSaysWhere) {
    for (int id : {kExportSite, kExportMd, kImport}) EXPECT_FALSE(m.Item(id)->isEnabled()) << "no library chosen";
    Select(m, 0);
    for (int id : {kExportSite, kExportMd, kImport}) EXPECT_TRUE(m.Item(id)->isEnabled());

    svc.QueueFolder(dir.Internal() + "\\site");
    svc.ExpectBox("导出完成: 7 张资料卡，已写入 " + dir.Internal() + "\\site", "INFOMATION", 0x40);
    Click(m, kExportSite);
    EXPECT_TRUE(fs::is_regular_file(dir.Native() + "/site/index.html"));
    EXPECT_EQ(plat::GbkToUtf8(svc.folderBrowses.at(0)), "选择导出网站的目录");

    dir.WriteFile("mine/letter.txt", "mine");
    svc.QueueFolder(dir.Internal() + "\\mine");
    svc.ExpectBox("目录 " + dir.Native() + "/mine 不是空的，也不是本程序导出的，不会写入它", "ERROR", 0x10);
    Click(m, kExportMd);

    svc.QueueFolder("");  // the user thought better of it
    Click(m, kExportMd);
    svc.VerifyAllUsed();
}

TEST_F(ExportWindowTest, ImportAsksBeforeMarkingWhatACardCannotHold) {
    Select(m, 0);
    dir.WriteFile("notes/好.md", "# 好\n\n正文\n");
    dir.WriteFile("notes/笑.txt", "笑\x01\x01\n");
    dir.WriteFile("notes/坏.txt", "\xFF\xFE\xFF");
    const std::string notes = dir.Native() + "/notes";
    svc.QueueFolder(dir.Internal() + "\\notes");
    svc.ExpectBox("下面的文件中有资料卡无法保存的字符，还没有导入:\n" + notes +
                      "/笑.txt 中有 2 个 XML 文件不能容纳的字符（第一个是 U+0001）\n"
                      "\n要把这些字符换成 〓 后导入这些文件吗？选\"否\"则不导入它们。",
                  "QUESTION", 0x24, plat::IDYES);
    svc.ExpectBox("导入完成: 2 张资料卡\n\n没有导入的文件:\n文件不是 UTF-8、UTF-16 或 GB18030 文本，没有导入: " + notes +
                      "/坏.txt\n",
                  "ERROR", 0x10);
    Click(m, kImport);
    svc.VerifyAllUsed();
    EXPECT_TRUE(dir.Exists("datum/示例/好.datum.xml"));
    EXPECT_NE(dir.ReadFile("datum/示例/笑.datum.xml").find(Gbk("笑〓〓")), std::string::npos);

    // Said no: nothing of that file comes in, the others do.
    fs::remove(notes + "/坏.txt");
    svc.QueueFolder(dir.Internal() + "\\notes");
    svc.ExpectBox("下面的文件中有资料卡无法保存的字符，还没有导入:\n" + notes +
                      "/笑.txt 中有 2 个 XML 文件不能容纳的字符（第一个是 U+0001）\n"
                      "\n要把这些字符换成 〓 后导入这些文件吗？选\"否\"则不导入它们。",
                  "QUESTION", 0x24, plat::IDNO);
    svc.ExpectBox("导入完成: 1 张资料卡", "INFOMATION", 0x40);
    Click(m, kImport);
    EXPECT_TRUE(dir.Exists("datum/示例/好 (2).datum.xml"));
    EXPECT_FALSE(dir.Exists("datum/示例/笑 (2).datum.xml"));
}

// Files dropped onto a class in the tree become cards of that class, and appear in the tree; a drop onto a
// card is not taken.
class TreeImportTest : public MainWindowTest {};

TEST_F(TreeImportTest, FilesDroppedOntoAClassBecomeItsCards) {
    dir.CopyShippedData();
    Load();
    dir.WriteFile("notes/新笔记.md", "# 新笔记\n\n正文\n");
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir.Native() + "/notes/新笔记.md"))});
    auto drop = [&](const std::string& label) {
        QTreeWidgetItem* item = Item(label);
        const QPoint at = Tree()->visualItemRect(item).center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(Tree()->viewport(), &enter);
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(Tree()->viewport(), &dropped);
        return enter.isAccepted();
    };
    EXPECT_FALSE(drop("使用说明")) << "a card is no class";
    svc.ExpectBox("导入完成: 1 张资料卡", "INFOMATION", 0x40);
    EXPECT_TRUE(drop("技术资料"));
    svc.VerifyAllUsed();
    EXPECT_TRUE(dir.Exists("datum/示例/技术资料/新笔记.datum.xml"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Item("新笔记") != nullptr; }, 20000)) << "the watch shows it";
    EXPECT_EQ(Item("新笔记")->parent(), Item("技术资料"));
}
