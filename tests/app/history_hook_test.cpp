// The window keeping the history of its library: the first history of the cards already there built in the
// background, every save recorded with the text it replaced, what another program writes recorded once it
// settles, and a history that cannot be written never standing in a save's way.
#include <QProcess>
#include <filesystem>
#include <fstream>

#include "app/card_history.h"
#include "app/history_dlg.h"
#include "app/main_fixture.h"

using mainfx::U;
using plat::Gbk;
namespace fs = std::filesystem;

namespace {

class HistoryHookTest : public MainWindowTest {
protected:
    void SetUp() override {
        mainfx::WriteRegistry(dir, {{"一号", "lib"}}, 0);
        mainfx::MakeLibrary(dir, "lib", {"A", "B"}, {});
        mainfx::MakeStyles(dir, {"s.xsl"});
        for (const char* c : {"A/a1", "A/a2", "B/b1"})
            dir.WriteFile(std::string("lib/") + c + ".datum.xml", mainfx::CardText(fs::path(c).filename(), "A", "正文"));
        Load();
        dlg->History().Flush();
    }
    history::Store& Store() {
        std::string error;
        history::Store* store = dlg->History().Store(error);
        EXPECT_NE(store, nullptr) << error;
        return *store;
    }
    // "本程序:<bytes>" for each version of the card, newest first.
    std::vector<std::string> Versions(const std::string& rel) {
        std::vector<std::string> out;
        std::string error, bytes;
        for (const history::Version& v : Store().Versions(rel, error)) {
            Store().BlobText(v.blob, bytes, error);
            out.push_back(std::string(history::WhoLabel(v.who)) + ":" + (v.Deleted() ? "<deleted>" : bytes));
        }
        return out;
    }
    bool Saw(const std::string& stripText) {
        return QTest::qWaitFor(
            [&] { return std::find(progress.begin(), progress.end(), stripText) != progress.end(); }, 20000);
    }
    void Shell(const std::string& script) {
        QProcess sh;
        sh.setWorkingDirectory(QString::fromStdString(dir.Native()));
        sh.start("sh", {"-c", QString::fromStdString(script)});
        ASSERT_TRUE(sh.waitForFinished(60000));
        ASSERT_EQ(sh.exitCode(), 0) << sh.readAllStandardError().toStdString();
    }
    // The watch has brought what the shell did and the history has recorded it: the card's newest version
    // is `newest`.
    void Settle(const std::string& rel, const std::string& newest) {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                dlg->History().Flush();
                const auto v = Versions(rel);
                return !v.empty() && v[0] == newest;
            },
            20000))
            << rel << ": " << testing::PrintToString(Versions(rel));
    }
};

TEST_F(HistoryHookTest, TheCardsAlreadyThereGetTheirFirstVersionInTheBackground) {
    EXPECT_TRUE(Saw("资料库的 3 张资料卡已记入历史")) << testing::PrintToString(progress);
    for (const char* rel : {"A/a1.datum.xml", "A/a2.datum.xml", "B/b1.datum.xml"})
        EXPECT_EQ(Versions(rel), std::vector<std::string>{"其他程序:" + dir.ReadFile(std::string("lib/") + rel)}) << rel;
}

TEST_F(HistoryHookTest, SavesAndChangesSeenOnDiskAreVersionsAndARenameTakesItsVersionsAlong) {
    const std::string first = dir.ReadFile("lib/A/a1.datum.xml");
    OpenCard("a1");
    Body()->setPlainText("第二版");
    Click(1006);
    const std::string second = dir.ReadFile("lib/A/a1.datum.xml");
    ASSERT_NE(second, first);
    EXPECT_EQ(Versions("A/a1.datum.xml"), (std::vector<std::string>{"本程序:" + second, "其他程序:" + first}));

    // Written by another program in a burst: one version, once it settles; the window's own save was none.
    dir.WriteFile("theirs.xml", mainfx::CardText("a1", "A", "他们的版本"));
    Shell("cat theirs.xml > lib/A/a1.datum.xml; cat theirs.xml > lib/A/a1.datum.xml");
    Settle("A/a1.datum.xml", "其他程序:" + dir.ReadFile("lib/A/a1.datum.xml"));
    EXPECT_EQ(Versions("A/a1.datum.xml").size(), 3u);

    // Renamed by another program, then removed: the versions go along, and the last is a delete.
    Shell("mv lib/A/a2.datum.xml lib/B/a2moved.datum.xml");
    Settle("A/a2.datum.xml", "其他程序:<deleted>");
    EXPECT_EQ(Versions("B/a2moved.datum.xml").size(), 1u);
    Shell("rm lib/B/b1.datum.xml");
    Settle("B/b1.datum.xml", "其他程序:<deleted>");
    EXPECT_EQ(Versions("B/b1.datum.xml").size(), 2u);
}

TEST_F(HistoryHookTest, AHistoryThatCannotBeWrittenLetsTheSaveHappenAndSaysSo) {
    // Its objects made unwritable: the store opens but cannot take a version.
    const std::string objects = Store().Folder() + "/objects";
    fs::remove_all(objects);
    std::ofstream(objects) << "not a folder";
    OpenCard("a2");
    Body()->setPlainText("没记入历史的版本");
    Click(1006);
    EXPECT_TRUE(svc.boxes.empty());
    EXPECT_TRUE(OnDisk("lib/A/a2.datum.xml", "没记入历史的版本"));
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().rfind("资料卡已保存，但这个版本没有记入历史：", 0), 0u) << progress.back();
    EXPECT_FALSE(dlg->Form().HasEdits());
}

// The window (Ctrl+H) of the card in the form: versions newest first, the differences against the card now,
// and a restore that is an unsaved edit until the user saves it, then a version of its own.
TEST_F(HistoryHookTest, TheHistoryWindowComparesAndRestoresAVersionAsAnUnsavedEdit) {
    OpenCard("a1");
    Body()->setPlainText("正文改了\n新的一段");
    Click(1006);
    QString shown, html;
    std::vector<std::string> rows;
    mangfx::WhenModal([&](CDialog& d) {
        auto& h = dynamic_cast<CHistoryDlg&>(d);
        for (int i = 0; i < h.Rows(); ++i)
            rows.push_back(U(h.findChild<QTreeWidget*>("1040")->topLevelItem(i)->text(2)));
        h.Select(1);  // the first version, against the card now
        shown = h.Shown();
        html = h.ShownHtml();
        h.OnRestore();
    });
    dlg->show();  // a shortcut works in a window on the screen
    QTest::keyClick(Body(), Qt::Key_H, Qt::ControlModifier);
    mangfx::Drain();
    EXPECT_EQ(rows, (std::vector<std::string>{"本程序", "其他程序"}));
    // The old paragraph changed into the new one (characters marked), the new paragraph added.
    EXPECT_TRUE(shown.contains("标题: a1")) << U(shown);
    EXPECT_TRUE(shown.contains("正文改了")) << U(shown);
    EXPECT_TRUE(shown.contains("新的一段")) << U(shown);
    EXPECT_TRUE(html.contains("#c8f0c8")) << U(html);
    // Restored into the form, not onto the disk.
    EXPECT_EQ(U(Body()->toPlainText()), "正文");
    EXPECT_TRUE(dlg->Form().HasEdits());
    EXPECT_TRUE(OnDisk("lib/A/a1.datum.xml", "新的一段"));
    Click(1006);
    EXPECT_FALSE(OnDisk("lib/A/a1.datum.xml", "新的一段"));
    ASSERT_EQ(Versions("A/a1.datum.xml").size(), 3u);
    EXPECT_EQ(Versions("A/a1.datum.xml")[0].rfind("恢复:", 0), 0u);
}

TEST_F(HistoryHookTest, ADeletedCardComesBackIntoItsClassButNeverOverAFileStandingThere) {
    const std::string before = dir.ReadFile("lib/B/b1.datum.xml");
    Shell("rm lib/B/b1.datum.xml");
    Settle("B/b1.datum.xml", "其他程序:<deleted>");
    OpenCard("a1");
    auto bringBack = [&](const std::string& expectCaption) {
        CHistoryDlg h(dlg->History(), dlg->Form().LoadedPath(), [](const std::string&) {}, dlg.get());
        h.OnDeleted();
        ASSERT_EQ(h.Rows(), 1);
        EXPECT_TRUE(h.Shown().contains("标题: b1")) << U(h.Shown());
        h.OnRestore();
        EXPECT_EQ(U(h.Caption()).rfind(expectCaption, 0), 0u) << U(h.Caption());
    };
    bringBack("已恢复: B/b1.datum.xml");
    EXPECT_EQ(dir.ReadFile("lib/B/b1.datum.xml"), before);
    EXPECT_EQ(Versions("B/b1.datum.xml")[0], "恢复:" + before);
    // Deleted again, and another card put at its name meanwhile: that one stays.
    Shell("rm lib/B/b1.datum.xml");
    Settle("B/b1.datum.xml", "其他程序:<deleted>");
    dir.WriteFile("lib/B/b1.datum.xml", "another card");
    bringBack("资料卡没有恢复：那里现在已有同名的文件");
    EXPECT_EQ(dir.ReadFile("lib/B/b1.datum.xml"), "another card");
}

}  // namespace
