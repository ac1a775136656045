// The main window as a desktop window: its layout at the template size and larger or smaller, the bar between
// tree and form, the resizable managers and search window, and the place it is left in, kept across runs.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QScreen>
#include <QTest>

#include "app/main_fixture.h"
#include "support/cards.h"
#include "app/search_dlg.h"
#include "res/dialog_template.h"
#include "ui/split_bar.h"
#include "ui/window_settings.h"

namespace {

class WindowTest : public MainWindowTest {
protected:
    void SetUp() override { mainfx::MakeStandardProgramDir(dir); }
    QRect At(int id) { return dlg->Item(id)->geometry(); }
    QRect Du(int x, int y, int w, int h) { return dlg->MapDialogRect(x, y, w, h); }
    void Resize(QSize size) {
        dlg->resize(size);
        QCoreApplication::processEvents();
    }
    void DragBar(int dx) {
        auto* bar = dlg->findChild<ui::SplitBar*>();
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(2, 20));
        QTest::mouseMove(bar, QPoint(2 + dx, 20));
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(2 + dx, 20));
    }
    // Runs the window shown, lets `act` place it, and ends it as 退出 does.
    void RunAndLeave(const std::function<void()>& act) {
        Load();
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        act();
        QCoreApplication::processEvents();
        Click(1);
        ASSERT_TRUE(dlg->Ended());
    }
};

TEST_F(WindowTest, TheTreeGrowsInHeightTheFieldsInWidthAndTheBodyTakesTheRest) {
    Load();
    dlg->show();
    // The template size: every control at its template place.
    for (const res::ControlTemplate& c : res::Dialog(102).controls) {
        if (c.id < 0) continue;
        const QRect want = Du(c.x, c.y, c.w, c.h), got = At(c.id);
        EXPECT_EQ(got.topLeft(), want.topLeft()) << c.id;
        EXPECT_EQ(got.width(), want.width()) << c.id;
        if (!qobject_cast<QComboBox*>(dlg->Item(c.id))) EXPECT_EQ(got.height(), want.height()) << c.id;
    }
    const QRect tree = At(1005), title = At(1009), manage = At(1012), body = At(1018), save = At(1006);
    Resize(dlg->size() + QSize(400, 300));
    EXPECT_EQ(At(1005), tree.adjusted(0, 0, 0, 300));
    EXPECT_EQ(At(1009), title.adjusted(0, 0, 400, 0));
    EXPECT_EQ(At(1012), manage.translated(400, 0));
    EXPECT_EQ(At(1018), body.adjusted(0, 0, 400, 300));
    EXPECT_EQ(At(1006), save);

    // The bar moves the boundary: the tree takes what the form's fields give; the buttons at the right stay.
    DragBar(60);
    EXPECT_EQ(At(1005), tree.adjusted(0, 0, 60, 300));
    EXPECT_EQ(At(1009), title.adjusted(60, 0, 400, 0));
    EXPECT_EQ(At(1018), body.adjusted(60, 0, 400, 300));
    EXPECT_EQ(At(1012), manage.translated(400, 0));
    EXPECT_EQ(At(1006), save.translated(60, 0));
    // Neither pane can be dragged away, nor can the window be made too small for its controls.
    DragBar(-2000);
    EXPECT_EQ(At(1005).width(), Du(0, 0, 50, 0).width());
    DragBar(4000);
    EXPECT_EQ(At(1011).width(), Du(0, 0, 40, 0).width());
    Resize(QSize(10, 10));
    EXPECT_EQ(dlg->size(), QSize(Du(0, 0, 321, 203).size()));
    for (int id : {1005, 1008, 1009, 1011, 1017, 1018}) {
        EXPECT_TRUE(dlg->rect().contains(At(id))) << id;
        EXPECT_GE(At(id).width(), Du(0, 0, 40, 0).width()) << id;
    }
    EXPECT_GE(At(1018).height(), 4 * dlg->fontMetrics().height()) << "four lines of the body";
}

// The managers' lists and the search window's grow with them; their buttons keep their size and their
// distance from the right and bottom edges. The library form keeps its size.
TEST_F(WindowTest, ListDialogsGrowTheirListsAndKeepTheirButtons) {
    for (int id : {130, 132, 133, 134, 135}) {
        CDialog d(id);
        const QSize grow(200, 100);
        EXPECT_EQ(d.minimumSize(), d.TemplateSize()) << id;
        std::vector<std::pair<QWidget*, QRect>> before;
        for (QWidget* w : d.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) before.push_back({w, w->geometry()});
        d.resize(d.TemplateSize() + grow);
        d.show();
        for (const auto& [w, was] : before) {
            const QRect now = w->geometry();
            if (qobject_cast<QTreeWidget*>(w)) {
                EXPECT_EQ(now, was.adjusted(0, 0, grow.width(), grow.height())) << id;
            } else if (qobject_cast<QPushButton*>(w)) {
                EXPECT_EQ(now.size(), was.size()) << id;
                EXPECT_EQ(d.width() - now.right(), d.TemplateSize().width() - was.right()) << id;
            }
        }
    }
    CDialog form(131);
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
}

TEST_F(WindowTest, PlaceSizeBoundaryAndSearchWindowAreKeptAcrossRuns) {
    const QRect place(40, 30, 700, 520), search(60, 50, 720, 480);
    RunAndLeave([&] {
        dlg->setGeometry(place);
        DragBar(-30);
        Click(1023);
        dlg->SearchWindow()->setGeometry(search);
    });
    EXPECT_TRUE(QFile::exists(config.dir.path() + "/korvane/korvane.ini"));
    const int tree = At(1005).width();
    RunAndLeave([&] {
        EXPECT_EQ(dlg->geometry(), place);
        EXPECT_EQ(At(1005).width(), tree);
        Click(1023);
        EXPECT_EQ(dlg->SearchWindow()->geometry(), search);
        dlg->showMaximized();
    });
    RunAndLeave([&] {
        EXPECT_TRUE(dlg->isMaximized());
        dlg->showNormal();
        QTest::qWait(50);
        EXPECT_EQ(dlg->geometry(), place) << "the size it had before it was maximised";
    });
}

TEST_F(WindowTest, KeysDoWhatTheirButtonsDoAndTheTooltipsNameThem) {
    for (const char* card : {"art/Monet", "Root card"})
        dir.WriteFile(std::string("lib/") + card + ".datum.xml", CardBytes({"t", "", "", "", "", "", "", "", ""}));
    dir.WriteFile("lib/_ _SETS_ _/bookmark.list", LinkListBytes("b", "k", {}));
    Load();
    dlg->show();
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    const std::pair<QWidget*, const char*> tips[] = {{dlg->Item(1006), "(Ctrl+S)"},  {dlg->Item(1019), "(Alt+Left)"},
                                                     {dlg->Item(1020), "(Alt+Right)"}, {dlg->Item(1007), "(Ctrl+B)"},
                                                     {dlg->Item(1023), "(Ctrl+F)"},  {Combo(1000), "(F5)"}};
    for (const auto& [widget, key] : tips) EXPECT_TRUE(widget->toolTip().endsWith(key)) << key;

    Body()->setFocus();
    auto press = [&](Qt::Key key, Qt::KeyboardModifiers mods = {}) {
        QTest::keyClick(QApplication::focusWidget(), key, mods);
        return Current();
    };
    EXPECT_EQ(press(Qt::Key_Right, Qt::AltModifier), "art\\Monet");
    EXPECT_EQ(press(Qt::Key_Right, Qt::AltModifier), "Root card");
    EXPECT_EQ(press(Qt::Key_Left, Qt::AltModifier), "art\\Monet");
    QTest::keyClicks(Body(), "typed");
    press(Qt::Key_S, Qt::ControlModifier);
    EXPECT_NE(dir.ReadFile("lib/art/Monet.datum.xml").find("typed"), std::string::npos);
    dir.WriteFile("lib/art/Manet.datum.xml", "");
    EXPECT_EQ(press(Qt::Key_F5), "art\\Monet") << "the card in the form stays current";
    EXPECT_EQ(mainfx::Dump(Tree()).substr(0, 16), "art{Manet,Monet}");
    svc.ExpectBox("当前文件已经成功加入到书签中了!!", "INFOMATION", 0x40);
    press(Qt::Key_B, Qt::ControlModifier);
    press(Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(dlg->SearchWindow() && dlg->SearchWindow()->isVisible());
}

// Nothing the file holds can stop the window or put it out of reach.
TEST_F(WindowTest, AMissingDamagedOrStrangeSettingsFileGivesTheDefaultsOrAPlaceOnTheScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const struct { const char* what; QByteArray file; QSize size; } rows[] = {
        {"missing", {}, {}},
        {"not text", QByteArray("\0\xff\xfe[[[=\x01", 9), {}},
        {"nonsense values", "[main]\ngeometry=wide\nsplit=far\nmaximized=maybe\n", {}},
        {"no size", "[main]\ngeometry=@Rect(10 10 -5 0)\n", {}},
        {"a screen no longer there", "[main]\ngeometry=@Rect(5000 -3000 600 500)\n", {600, 500}},
        {"larger than the screen", "[main]\ngeometry=@Rect(0 0 9000 9000)\n", screen.size()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        QFile::remove(ui::WindowSettings::File());
        QFile file(ui::WindowSettings::File());
        if (!row.file.isNull() && QDir().mkpath(config.dir.path() + "/korvane") && file.open(QIODevice::WriteOnly))
            file.write(row.file);
        file.close();
        Load();
        dlg->show();
        EXPECT_TRUE(svc.boxes.empty());
        EXPECT_EQ(dlg->size(), row.size.isValid() ? row.size : dlg->TemplateSize());
        EXPECT_EQ(At(1005), Du(5, 45, 117, 234).adjusted(0, 0, 0, dlg->height() - dlg->TemplateSize().height()));
        EXPECT_TRUE(screen.contains(dlg->geometry().topLeft())) << "on the screen";
    }
}

}  // namespace
